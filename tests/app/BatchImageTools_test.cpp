// The batch image tools of the main window on the null host: the quality
// edit emptied by any mouse press, folder picks, and files that fail (bad
// numbers, impossible sizes, missing folders) left as they were with a
// total of "0 B".
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>

#include "app/MainWindow.h"
#include "app/Utilities.h"
#include "codecs/JPEGImage.h"
#include "core/PNG.h"
#include "platform/files/Stream.h"
#include "platform/files/WideFile.h"
#include "platform/ui/components/Forms.h"
#include "platform/ui/host/NullHost.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace velmo::app {
namespace {

const std::u16string NoneWritten = u"进度：转换完成！生成文件总大小为：0 B";

std::u16string W(const fs::path& p) { return FileSystemNameToWide(p.string()); }

TBitmap Ramp(int w, int h) {
    TBitmap b(w, h, pf24bit);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 3; ++x) b.ScanLine(y)[x] = uint8_t(x * 7 + y * 13);
    return b;
}

void WritePng(const fs::path& p, int w, int h) {
    const TBitmap b = Ramp(w, h);  // the writer keeps a reference
    TPNGWriter writer(b);
    writer.SaveToFile(W(p));
}

void WriteJpeg(const fs::path& p, int w, int h) {
    TPDFJPEGImage j;
    j.Assign(Ramp(w, h));
    TMemoryStream s;
    j.SaveToStream(s);
    vpltest::WriteFile(p, s.Bytes());
}

// The form on a fresh null host, shown on the batch page.
class BatchImageTools : public ::testing::Test {
protected:
    void SetUp() override {
        Host = std::make_shared<TNullHost>();
        SetWindowHost(Host);
        Form = std::make_unique<TForm_main>(nullptr);
        Form->Show();
        Form->btn2Click(nullptr);
        vcl::Application()->ProcessMessages();
    }
    void TearDown() override {
        Form.reset();
        SetFolderPicker(nullptr);
        SetWindowHost(std::make_shared<TNullHost>());
    }
    // Every file name of the folder with its bytes.
    std::map<std::string, std::string> Snapshot() const {
        std::map<std::string, std::string> r;
        for (const auto& e : fs::directory_iterator(Dir.path()))
            r[e.path().filename().string()] =
                e.is_regular_file() ? vpltest::ReadFile(e.path()) : "<dir>";
        return r;
    }

    std::shared_ptr<TNullHost> Host;
    std::unique_ptr<TForm_main> Form;
    vpltest::TempDir Dir;
};

TEST_F(BatchImageTools, QualityEditEmptiedByEveryMousePress) {
    ASSERT_EQ(Form->edt7->Text(), u"100");
    const POINT at = Form->edt7->ClientToScreen({5, 5});
    for (int button : {0, 1, 2}) {
        Form->edt7->SetText(u"85");
        Host->MouseDown(at.x, at.y, button);
        Host->MouseUp(at.x, at.y, button);
        vcl::Application()->ProcessMessages();
        EXPECT_EQ(Form->edt7->Text(), u"") << "button " << button;
    }
    // A press elsewhere leaves it.
    Form->edt7->SetText(u"85");
    const POINT other = Form->edt6->ClientToScreen({5, 5});
    Host->MouseDown(other.x, other.y);
    Host->MouseUp(other.x, other.y);
    vcl::Application()->ProcessMessages();
    EXPECT_EQ(Form->edt7->Text(), u"85");
}

// The file in hand is on the progress line, without its folder, before the
// walk lets pending messages run: a press queued before the walk sees it.
TEST_F(BatchImageTools, ProgressLineNamesTheFileInHand) {
    WritePng(Dir / "a.png", 4, 4);
    WritePng(Dir / "b.png", 4, 4);
    Form->edt4->SetText(W(Dir.path()));
    Form->edt6->SetText(u"2");
    std::vector<std::u16string> seen;
    Form->edt7->OnMouseDown = [&](TObject*, vcl::TMouseButton, vcl::TShiftState, int, int) {
        seen.push_back(Form->lbl13->Caption());
    };
    const POINT at = Form->edt7->ClientToScreen({5, 5});
    Host->MouseDown(at.x, at.y);
    Host->MouseUp(at.x, at.y);
    Form->btn10Click(nullptr);
    EXPECT_EQ(seen, std::vector<std::u16string>{u"进度：正在转换a.png"});
    EXPECT_EQ(Form->lbl13->Caption(),
              u"进度：转换完成！生成文件总大小为：" +
                  FormatFileSize(FileSizeOf(W(Dir / "a.png")) + FileSizeOf(W(Dir / "b.png"))));
}

TEST_F(BatchImageTools, FolderPicksFillTheirEdits) {
    std::optional<std::u16string> answer = u"/chosen/folder";
    SetFolderPicker([&] { return answer; });
    Form->btn7Click(nullptr);
    Form->btn9Click(nullptr);
    Form->btn11Click(nullptr);
    EXPECT_EQ(Form->edt3->Text(), u"/chosen/folder");
    EXPECT_EQ(Form->edt4->Text(), u"/chosen/folder");
    EXPECT_EQ(Form->edt5->Text(), u"/chosen/folder");
    // A cancel is the silent abort and changes nothing.
    answer.reset();
    EXPECT_THROW(Form->btn7Click(nullptr), EAbort);
    EXPECT_THROW(Form->btn9Click(nullptr), EAbort);
    EXPECT_THROW(Form->btn11Click(nullptr), EAbort);
    EXPECT_EQ(Form->edt3->Text(), u"/chosen/folder");
    EXPECT_EQ(Form->edt5->Text(), u"/chosen/folder");
}

TEST_F(BatchImageTools, MissingOrEmptyFolderWritesNothing) {
    fs::create_directory(Dir / "empty");
    for (const std::u16string& folder : {W(Dir / "missing"), W(Dir / "empty"), std::u16string()}) {
        Form->edt3->SetText(folder);
        Form->edt4->SetText(folder);
        Form->edt5->SetText(folder);
        Form->chk1->SetChecked(true);
        Form->btn8Click(nullptr);
        Form->btn10Click(nullptr);
        Form->btn12Click(nullptr);
        EXPECT_EQ(Form->lbl11->Caption(), NoneWritten);
        EXPECT_EQ(Form->lbl13->Caption(), NoneWritten);
        EXPECT_EQ(Form->lbl15->Caption(), NoneWritten);
    }
    EXPECT_FALSE(fs::exists(Dir / "missing"));
    EXPECT_TRUE(fs::is_empty(Dir / "empty"));
}

// Widths that cannot be made and texts that are no numbers fail every file:
// nothing changes, nothing is counted, and the total from a run before is
// not carried over.
TEST_F(BatchImageTools, BadWidthsLeaveEveryFile) {
    WritePng(Dir / "a.png", 30, 20);
    WritePng(Dir / "flat.png", 3, 1);  // width 1 gives the height 0.33
    WriteJpeg(Dir / "b.jpg", 16, 16);
    const auto before = Snapshot();
    Form->edt4->SetText(W(Dir.path()));
    const std::u16string widths[] = {u"abc",  u"",   u"0",     u"-10",
                                     u"12.5", u"١٢", u"65536", u"99999999999"};
    for (const auto& width : widths) {
        Form->edt6->SetText(u"30");
        Form->btn10Click(nullptr);  // unchanged sizes: a non-zero total first
        ASSERT_NE(Form->lbl13->Caption(), NoneWritten);
        Form->edt6->SetText(width);
        Form->btn10Click(nullptr);
        EXPECT_EQ(Form->lbl13->Caption(), NoneWritten) << std::string(width.begin(), width.end());
    }
    Form->edt6->SetText(u"1");  // 30 x 20 -> 1 x 1 works; 3 x 1 -> 1 x 0 does not
    const std::string flat = vpltest::ReadFile(Dir / "flat.png");
    Form->btn10Click(nullptr);
    EXPECT_EQ(vpltest::ReadFile(Dir / "flat.png"), flat);
    EXPECT_EQ(Form->lbl13->Caption(),
              u"进度：转换完成！生成文件总大小为：" +
                  FormatFileSize(FileSizeOf(W(Dir / "a.png")) + FileSizeOf(W(Dir / "b.jpg"))));
    // No temporary file is left behind by the failures.
    auto after = Snapshot();
    EXPECT_EQ(after.size(), before.size());
    for (const auto& [name, bytes] : after) EXPECT_TRUE(before.count(name)) << name;
}

TEST_F(BatchImageTools, BadQualityLeavesEveryFile) {
    WriteJpeg(Dir / "a.jpg", 20, 10);
    WriteJpeg(Dir / "b.jpeg", 10, 20);
    const auto before = Snapshot();
    Form->edt5->SetText(W(Dir.path()));
    const std::u16string qualities[] = {u"x", u"", u"1e300", u"nan", u"７５"};
    for (const auto& q : qualities) {
        Form->edt7->SetText(q);
        Form->btn12Click(nullptr);
        EXPECT_EQ(Form->lbl15->Caption(), NoneWritten) << std::string(q.begin(), q.end());
    }
    EXPECT_EQ(Snapshot(), before);
}

// Conversion without deleting: sources stay, the total counts each JPEG
// written; a corrupt image is neither converted nor deleted.
TEST_F(BatchImageTools, ConvertKeepsSourcesUnlessAsked) {
    WritePng(Dir / "a.png", 12, 8);
    vpltest::WriteFile(Dir / "bad.png", "\x89PNG\r\n\x1a\n broken");
    Form->edt3->SetText(W(Dir.path()) + u"/");
    Form->chk1->SetChecked(false);
    Form->btn8Click(nullptr);
    EXPECT_TRUE(fs::exists(Dir / "a.png"));
    EXPECT_TRUE(fs::exists(Dir / "a.jpg"));
    EXPECT_FALSE(fs::exists(Dir / "bad.jpg"));
    EXPECT_EQ(Form->lbl11->Caption(),
              u"进度：转换完成！生成文件总大小为：" + FormatFileSize(FileSizeOf(W(Dir / "a.jpg"))));
    fs::remove(Dir / "a.jpg");
    Form->chk1->SetChecked(true);
    Form->btn8Click(nullptr);
    EXPECT_FALSE(fs::exists(Dir / "a.png"));
    EXPECT_TRUE(fs::exists(Dir / "a.jpg"));
    EXPECT_TRUE(fs::exists(Dir / "bad.png"));
}

}  // namespace
}  // namespace velmo::app
