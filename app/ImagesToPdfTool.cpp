// Page 3 of the main window: one PDF from a list of JPEG files, one page per
// file in list order, each page as many points as its image has pixels.
#include <memory>
#include <string>

#include "api/VelmoPDF.h"
#include "app/MainWindow.h"
#include "app/Utilities.h"
#include "core/Unicode.h"

namespace velmo::app {

// Fill the list from a folder. The list is cleared before the folder is
// asked for, so a cancel (the silent abort out of PickFolder) leaves it
// empty and the progress line as it was.
void TForm_main::btn13Click(TObject*) {
    TotalSize = 0;
    lst1->ClearItems();
    const std::u16string Folder = PickFolder();
    ForEachFile(Folder, u"*.jpg;*.jpeg", [this](const std::u16string& FileName, bool IsFolder, bool& Stop) {
        AddImageToList(FileName, IsFolder, Stop);
    });
    lbl19->SetCaption(u"进度：当前目录下图片文件总大小为：" + FormatFileSize(TotalSize));
}

void TForm_main::AddImageToList(const std::u16string& FileName, bool IsFolder, bool&) {
    if (IsFolder) return;
    lst1->AddItem(FileName);
    TotalSize += FileSizeOf(FileName);
}

void TForm_main::btn14Click(TObject*) {
    const int I = lst1->ItemIndex();
    if (I <= 0 || I >= lst1->ItemCount()) return;
    lst1->ExchangeItems(I, I - 1);
    lst1->SetItemIndex(I - 1);
}

void TForm_main::btn15Click(TObject*) {
    const int I = lst1->ItemIndex();
    if (I < 0 || I >= lst1->ItemCount() - 1) return;
    lst1->ExchangeItems(I, I + 1);
    lst1->SetItemIndex(I + 1);
}

void TForm_main::btn16Click(TObject*) {
    if (SaveDialog1->Execute()) edt8->SetText(AppendExtIfMissing(SaveDialog1->FileName(), u".pdf"));
}

// Build the PDF. Only files the library reads as images make pages: a file
// it refuses would otherwise repeat the previous picture, or give a page of
// 0 x 0 points before the first one read. With no file read the document
// keeps its one blank 612 x 792 page.
void TForm_main::btn17Click(TObject*) {
    // Freed on every way out of the handler.
    auto Pdf = std::make_unique<TVelmoPDF>();
    lbl19->SetCaption(u"进度：正在生成PDF，请等待...");
    LetMessagesRun();
    Pdf->NewDocument();

    int Pages = 0, Skipped = 0;
    std::u16string FirstSkipped;
    const int Count = lst1->ItemCount();
    for (int I = 0; I < Count; ++I) {
        const std::u16string Path = lst1->Item(I);
        int W = 0, H = 0;
        if (Pdf->AddImageFromFile(Path, 1) != 0) {
            W = Pdf->ImageWidth();
            H = Pdf->ImageHeight();
        }
        if (W <= 0 || H <= 0) {
            if (Skipped++ == 0) FirstSkipped = Path;
            continue;
        }
        // The new document's first page takes the first image; every
        // later image gets a page of its own.
        if (Pages > 0) Pdf->NewPage();
        Pdf->SetPageDimensions(W, H);
        Pdf->DrawImage(0, H, W, H);
        ++Pages;
    }

    const std::u16string Output = edt8->Text();
    if (Pdf->SaveToFile(Output) == 0) {
        lbl19->SetCaption(u"进度：生成PDF失败，无法写入文件：" + Output);
        return;
    }
    std::u16string Done = u"进度：生成PDF完成，文件大小为：" + FormatFileSize(FileSizeOf(Output));
    if (Skipped > 0)
        Done += u"，已跳过" + UTF8ToWide(std::to_string(Skipped)) + u"个无法读取的文件：" + FirstSkipped;
    lbl19->SetCaption(Done);
}

}  // namespace velmo::app
