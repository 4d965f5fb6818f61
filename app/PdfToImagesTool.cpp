// Page 1 of the main window: every page of one PDF written as image files.
#include <stdexcept>

#include "api/VelmoPDF.h"
#include "app/MainWindow.h"
#include "app/Utilities.h"
#include "platform/files/WideFile.h"

namespace velmo::app {

namespace {

// The output folder proposed for a PDF: its name without the extension at
// its end ("/d/a.pdf/b.PDF" gives "/d/a.pdf/b"). Only the last part of the
// path can carry the extension; a name without one is kept as it is.
std::u16string FolderForPdf(const std::u16string& Name) {
    const size_t Slash = Name.find_last_of(u'/');
    const size_t Base = Slash == std::u16string::npos ? 0 : Slash + 1;
    const size_t Dot = Name.find_last_of(u'.');
    if (Dot == std::u16string::npos || Dot < Base) return Name;
    return Name.substr(0, Dot);
}

bool IsFolder(const std::u16string& Path) {
    const uint32_t A = GetFileAttributesW(Path);
    return A != INVALID_FILE_ATTRIBUTES && (A & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

void TForm_main::btn4Click(TObject*) {
    OpenDialog1->SetFilter(u"*.pdf|*.pdf");
    if (!OpenDialog1->Execute()) return;
    edt1->SetText(OpenDialog1->FileName());
    edt2->SetText(FolderForPdf(edt1->Text()));
}

void TForm_main::dp1DragFile(TObject*, const std::vector<std::u16string>& FileList) {
    if (FileList.empty()) return;
    edt1->SetText(FileList.front());
    edt2->SetText(FolderForPdf(FileList.front()));
}

void TForm_main::btn6Click(TObject*) {
    // A cancel raises the silent abort before edt2 is touched.
    edt2->SetText(PickFolder());
}

void TForm_main::btn5Click(TObject*) {
    TVelmoPDF PDF;
    // An empty name raises here, before anything is loaded or written.
    if (!IsFolder(edt2->Text())) MakeFolder(edt2->Text());
    std::u16string Folder = edt2->Text();
    if (!Folder.empty() && Folder.back() == u'/') Folder.pop_back();
    lbl8->SetCaption(u"进度：正在生成图片，请稍候...");
    LetMessagesRun();
    // A PDF that does not load would leave the library's blank page selected;
    // writing that page as if it were the document's would hide the failure.
    const std::u16string Source = edt1->Text();
    if (PDF.LoadFromFile(Source, u"") == 0) {
        lbl8->SetCaption(u"进度：无法打开PDF文件：" + Source);
        return;
    }
    const int32_t Pages = PDF.PageCount();
    const std::u16string Name = Folder + u"/ORVK_" + LowerAscii(u"." + cbb1->Text());
    // A page file that cannot be created raises out of the call. A page the
    // image writer refused is reported the same way rather than as done.
    if (PDF.RenderDocumentToFile(72, 1, Pages, cbb1->ItemIndex(), Name) == 0) {
        std::u16string Reason = PDF.LastRenderError();
        throw std::runtime_error(Reason.empty() ? std::string("Error")
                                                : WideToFileSystemName(Reason));
    }
    lbl8->SetCaption(u"进度：转换完成！");
}

}  // namespace velmo::app
