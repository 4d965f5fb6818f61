// The PDF-to-images page's handlers on the null host: the folder proposed
// for a chosen or dropped PDF, the file and folder pickers, and the
// conversion's failures (the pages' pixels are checked by the oracle test).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>

#include "app/MainWindow.h"
#include "app/Utilities.h"
#include "platform/files/WideFile.h"
#include "platform/ui/host/NullHost.h"
#include "tests/app/PdfToImagesFixture.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace velmo::app {
namespace {

std::u16string W(const fs::path& P) { return FileSystemNameToWide(P.string()); }

// An open dialog that answers with a scripted name, or cancels without one.
class TScriptedOpenDialog : public vcl::TOpenDialog {
public:
    using vcl::TOpenDialog::TOpenDialog;
    std::optional<std::u16string> Answer;
    std::u16string FilterSeen;
    bool Execute() override {
        FilterSeen = FFilter;
        if (!Answer) return false;
        FFileName = *Answer;
        return true;
    }
};

class PdfToImagesTool : public ::testing::Test {
protected:
    void SetUp() override {
        SetWindowHost(std::make_shared<TNullHost>());
        Form = std::make_unique<TForm_main>(nullptr);
        Form->Show();
    }
    void TearDown() override {
        Form.reset();
        SetWindowHost(std::make_shared<TNullHost>());
    }
    std::vector<std::string> FilesIn(const fs::path& Dir) {
        std::vector<std::string> Names;
        for (const auto& E : fs::directory_iterator(Dir)) Names.push_back(E.path().filename());
        std::sort(Names.begin(), Names.end());
        return Names;
    }
    std::unique_ptr<TForm_main> Form;
};

TEST_F(PdfToImagesTool, FolderIsTheNameWithoutItsLastExtension) {
    struct Case {
        std::u16string Name, Folder;
    };
    const Case Cases[] = {
        {u"/docs/report.pdf", u"/docs/report"},
        {u"/d/a.pdf/b.PDF", u"/d/a.pdf/b"},
        {u"/d/x.pdf.pdf", u"/d/x.pdf"},
        {u"/d/x.Pdf", u"/d/x"},
        {u"/d/no-extension", u"/d/no-extension"},
        {u"/d/a.b/c", u"/d/a.b/c"},
        {u"report.pdf", u"report"},
        {u"/文档/报告.pdf", u"/文档/报告"},
        {u"/d/image.jpg", u"/d/image"},
    };
    for (const Case& C : Cases) {
        Form->dp1DragFile(Form->dp1, {C.Name});
        EXPECT_EQ(Form->edt1->Text(), C.Name);
        EXPECT_EQ(Form->edt2->Text(), C.Folder);
    }
}

TEST_F(PdfToImagesTool, DropTakesTheFirstNameOnly) {
    const std::u16string Long = u"/d/" + std::u16string(300, u'n') + u".pdf";
    Form->dp1DragFile(Form->dp1, {Long, u"/e/second.pdf", u"/f/third.jpg"});
    EXPECT_EQ(Form->edt1->Text(), Long);
    EXPECT_EQ(Form->edt2->Text(), Long.substr(0, Long.size() - 4));
    // A drop without names changes nothing.
    Form->dp1DragFile(Form->dp1, {});
    EXPECT_EQ(Form->edt1->Text(), Long);
}

TEST_F(PdfToImagesTool, ChooseFileSetsBothFieldsAndCancelKeepsThem) {
    auto* Dialog = new TScriptedOpenDialog(Form.get());
    Form->OpenDialog1 = Dialog;
    Dialog->Answer = u"/home/u/Report.PDF";
    Form->btn4Click(Form->btn4);
    EXPECT_EQ(Dialog->FilterSeen, u"*.pdf|*.pdf");
    EXPECT_EQ(Form->edt1->Text(), u"/home/u/Report.PDF");
    EXPECT_EQ(Form->edt2->Text(), u"/home/u/Report");

    Dialog->Answer.reset();
    Form->btn4Click(Form->btn4);
    EXPECT_EQ(Form->edt1->Text(), u"/home/u/Report.PDF");
    EXPECT_EQ(Form->edt2->Text(), u"/home/u/Report");
}

TEST_F(PdfToImagesTool, PickFolderFillsTheFolderAndCancelLeavesIt) {
    std::optional<std::u16string> Pick = u"/srv/out";
    TFolderPicker Old = SetFolderPicker([&] { return Pick; });
    Form->btn6Click(Form->btn6);
    EXPECT_EQ(Form->edt2->Text(), u"/srv/out");
    Pick.reset();
    EXPECT_THROW(Form->btn6Click(Form->btn6), EAbort);
    EXPECT_EQ(Form->edt2->Text(), u"/srv/out");
    SetFolderPicker(Old);
}

TEST_F(PdfToImagesTool, PdfThatDoesNotLoadIsReportedAndWritesNothing) {
    vpltest::TempDir Dir;
    const fs::path Out = Dir / "out";
    fs::create_directory(Out);
    vpltest::WriteFile(Dir / "garbage.pdf", "this is no PDF at all\n");
    // Cut after its header: nothing left to repair.
    vpltest::WriteFile(Dir / "truncated.pdf", vpltest::ThreePagePdf().substr(0, 9));
    const fs::path Cases[] = {Dir / "missing.pdf", Dir / "garbage.pdf", Dir / "truncated.pdf",
                              Dir.path()};
    for (const fs::path& Pdf : Cases) {
        Form->edt1->SetText(W(Pdf));
        Form->edt2->SetText(W(Out));
        Form->btn5Click(Form->btn5);
        EXPECT_EQ(Form->lbl8->Caption(), u"进度：无法打开PDF文件：" + W(Pdf));
        EXPECT_TRUE(FilesIn(Out).empty()) << Pdf;
    }
    Form->edt1->SetText(u"");
    Form->btn5Click(Form->btn5);
    EXPECT_EQ(Form->lbl8->Caption(), u"进度：无法打开PDF文件：");
    EXPECT_TRUE(FilesIn(Out).empty());
}

TEST_F(PdfToImagesTool, FolderFailuresRaiseAndKeepTheProgressLine) {
    vpltest::TempDir Dir;
    vpltest::WriteFile(Dir / "doc.pdf", vpltest::ThreePagePdf());
    vpltest::WriteFile(Dir / "plain-file", "x");
    Form->edt1->SetText(W(Dir / "doc.pdf"));
    const std::u16string Before = Form->lbl8->Caption();

    // An empty folder name: nothing is loaded or written, the line stays.
    Form->edt2->SetText(u"");
    try {
        Form->btn5Click(Form->btn5);
        ADD_FAILURE() << "an empty folder was accepted";
    } catch (const EInOutError& E) {
        EXPECT_STREQ(E.what(), "Unable to create directory");
    }
    EXPECT_EQ(Form->lbl8->Caption(), Before);

    // A folder that cannot be made: the first page file cannot be created.
    Form->edt2->SetText(W(Dir / "plain-file" / "sub"));
    EXPECT_ANY_THROW(Form->btn5Click(Form->btn5));
    EXPECT_EQ(Form->lbl8->Caption(), u"进度：正在生成图片，请稍候...");
}

TEST_F(PdfToImagesTool, ConvertsIntoANewNestedFolderWithOrWithoutTrailingSlash) {
    vpltest::TempDir Dir;
    vpltest::WriteFile(Dir / "doc.pdf", vpltest::ThreePagePdf());
    Form->edt1->SetText(W(Dir / "doc.pdf"));
    Form->cbb1->SetItemIndex(5);
    Form->cbb1->SetText(u"PNG");
    const std::vector<std::string> Expected = {"ORVK_0001.png", "ORVK_0002.png",
                                               "ORVK_0003.png"};
    for (const char* Folder : {"a/b/c", "d/e/f/"}) {
        Form->edt2->SetText(W(Dir.path()) + u"/" + FileSystemNameToWide(Folder));
        Form->btn5Click(Form->btn5);
        EXPECT_EQ(Form->lbl8->Caption(), u"进度：转换完成！");
        EXPECT_EQ(FilesIn(Dir / Folder), Expected) << Folder;
    }
}

TEST_F(PdfToImagesTool, TypedExtensionNamesTheFilesAndTheItemPicksTheFormat) {
    vpltest::TempDir Dir;
    vpltest::WriteFile(Dir / "doc.pdf", vpltest::ThreePagePdf());
    Form->edt1->SetText(W(Dir / "doc.pdf"));
    Form->edt2->SetText(W(Dir / "out"));
    // No item selected: the library writes one empty file per page.
    Form->cbb1->SetItemIndex(-1);
    Form->cbb1->SetText(u"Raw");
    Form->btn5Click(Form->btn5);
    EXPECT_EQ(FilesIn(Dir / "out"),
              (std::vector<std::string>{"ORVK_0001.raw", "ORVK_0002.raw", "ORVK_0003.raw"}));
    for (const auto& E : fs::directory_iterator(Dir / "out")) EXPECT_EQ(fs::file_size(E), 0u);
}

}  // namespace
}  // namespace velmo::app
