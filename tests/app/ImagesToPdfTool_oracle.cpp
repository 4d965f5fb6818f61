// The images-to-PDF page against qpdf and poppler: JPEG files made here are
// listed and built into a PDF through the window's handlers on the null
// host; the PDF is checked by qpdf, its pages by pdfinfo and its images by
// pdfimages, which must give back the very bytes of the inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/MainWindow.h"
#include "app/Utilities.h"
#include "platform/files/WideFile.h"
#include "platform/ui/host/NullHost.h"
#include "tests/support/TestSupport.h"

namespace velmo::app {
namespace {

namespace fs = std::filesystem;

using TSize = std::pair<int, int>;

std::u16string Wide(const fs::path& P) { return FileSystemNameToWide(P.string()); }

void RequireTools() {
    for (const char* Tool : {"qpdf", "pdfinfo", "pdfimages", "convert"})
        ASSERT_TRUE(vpltest::HaveTool(Tool)) << Tool << " is missing: run tools/deps";
}

void MakeJpeg(const fs::path& P, TSize S) {
    auto R = vpltest::RunCommand({"convert", "-size", std::to_string(S.first) + "x" + std::to_string(S.second),
                                  "plasma:fractal", "-quality", "85", P.string()});
    ASSERT_EQ(R.exitCode, 0) << R.err;
}

// Page sizes in points as pdfinfo gives them.
std::vector<TSize> PageSizes(const fs::path& Pdf) {
    auto R = vpltest::RunCommand({"pdfinfo", "-f", "1", "-l", "1000", Pdf.string()});
    EXPECT_EQ(R.exitCode, 0) << R.err;
    std::vector<TSize> Sizes;
    std::istringstream Lines(R.out);
    for (std::string Line; std::getline(Lines, Line);) {
        int Number = 0;
        double W = 0, H = 0;
        if (std::sscanf(Line.c_str(), "Page %d size: %lf x %lf pts", &Number, &W, &H) == 3)
            Sizes.push_back({int(W), int(H)});
    }
    return Sizes;
}

std::set<fs::path> Listing(const fs::path& Folder) {
    std::set<fs::path> S;
    for (const auto& E : fs::directory_iterator(Folder)) S.insert(E.path());
    return S;
}

// The window on the null host with a folder picker that answers Folder.
class TImagesToPdfPage {
public:
    TImagesToPdfPage() {
        SetWindowHost(std::make_shared<TNullHost>());
        FOldPicker = SetFolderPicker([this] { return Folder; });
        Form = std::make_unique<TForm_main>(nullptr);
        Form->Show();
        Form->btn3->Click();
    }
    ~TImagesToPdfPage() {
        Form.reset();
        SetFolderPicker(FOldPicker);
        SetWindowHost(std::make_shared<TNullHost>());
    }
    // Lists the folder's JPEG files and builds Output from them.
    void Build(const fs::path& From, const std::u16string& Output) {
        Folder = Wide(From);
        Form->btn13->Click();
        Form->edt8->SetText(Output);
        Form->btn17->Click();
    }
    std::u16string Progress() const { return Form->lbl19->Caption(); }

    std::optional<std::u16string> Folder;
    std::unique_ptr<TForm_main> Form;

private:
    TFolderPicker FOldPicker;
};

TEST(oracle, app_images_to_pdf_tool) {
    RequireTools();
    vpltest::TempDir Tmp;
    const fs::path In = Tmp / "in";
    fs::create_directories(In);
    // List order is name order; the second name is not ASCII, and the
    // corrupt file stands between two pictures.
    const std::vector<std::pair<fs::path, TSize>> Pictures = {
        {In / "a.jpg", {800, 600}}, {In / "b 图片.jpg", {1024, 768}}, {In / "c.jpg", {600, 800}}};
    for (const auto& [P, S] : Pictures) MakeJpeg(P, S);
    const fs::path Bad = In / "b9 broken.jpg";
    vpltest::WriteFile(Bad, "this is no picture at all\n");

    TImagesToPdfPage Page;
    const fs::path Out = Tmp / "out 输出.pdf";
    Page.Build(In, Wide(Out));
    ASSERT_EQ(Page.Form->lst1->ItemCount(), 4);
    EXPECT_EQ(Page.Form->lst1->Item(2), Wide(Bad));
    ASSERT_TRUE(fs::exists(Out)) << "nothing written";
    auto Check = vpltest::RunCommand({"qpdf", "--check", Out.string()});
    EXPECT_EQ(Check.exitCode, 0) << Check.out << Check.err;
    EXPECT_EQ(PageSizes(Out), (std::vector<TSize>{{800, 600}, {1024, 768}, {600, 800}}));

    // The JPEG data is embedded unchanged, one image per page in order.
    const fs::path Extracted = Tmp / "x";
    fs::create_directories(Extracted);
    auto Images = vpltest::RunCommand({"pdfimages", "-j", Out.string(), (Extracted / "img").string()});
    ASSERT_EQ(Images.exitCode, 0) << Images.err;
    std::vector<fs::path> Got;
    for (const auto& E : fs::directory_iterator(Extracted)) Got.push_back(E.path());
    std::sort(Got.begin(), Got.end());
    ASSERT_EQ(Got.size(), Pictures.size());
    for (size_t I = 0; I < Got.size(); ++I) {
        EXPECT_EQ(Got[I].extension(), ".jpg");
        EXPECT_TRUE(vpltest::ReadFile(Got[I]) == vpltest::ReadFile(Pictures[I].first)) << Got[I];
    }
    EXPECT_EQ(Page.Progress(), u"进度：生成PDF完成，文件大小为：" + FormatFileSize(fs::file_size(Out)) +
                                   u"，已跳过1个无法读取的文件：" + Wide(Bad));

    // No file read, or none listed: the document's one blank Letter page.
    const fs::path AllBad = Tmp / "allbad", Empty = Tmp / "empty";
    fs::create_directories(AllBad);
    fs::create_directories(Empty);
    vpltest::WriteFile(AllBad / "1.jpg", "");
    vpltest::WriteFile(AllBad / "2.jpeg", std::string("\xFF\xD8\xFF", 3));
    struct TBlank {
        fs::path From;
        std::u16string Note;
    };
    for (const TBlank& B : {TBlank{AllBad, u"，已跳过2个无法读取的文件：" + Wide(AllBad / "1.jpg")},
                            TBlank{Empty, u""}}) {
        const fs::path Blank = Tmp / (B.From.filename().string() + ".pdf");
        Page.Build(B.From, Wide(Blank));
        ASSERT_TRUE(fs::exists(Blank)) << B.From;
        EXPECT_EQ(vpltest::RunCommand({"qpdf", "--check", Blank.string()}).exitCode, 0) << B.From;
        EXPECT_EQ(PageSizes(Blank), (std::vector<TSize>{{612, 792}})) << B.From;
        EXPECT_EQ(Page.Progress(),
                  u"进度：生成PDF完成，文件大小为：" + FormatFileSize(fs::file_size(Blank)) + B.Note);
    }

    // No file can be written: the failure is said and nothing appears.
    const std::set<fs::path> Before = Listing(Tmp.path());
    const fs::path Cwd = fs::current_path();
    const std::set<fs::path> CwdBefore = Listing(Cwd);
    for (const std::u16string& Name : {std::u16string(), Wide(Tmp / "missing" / "out.pdf")}) {
        Page.Build(In, Name);
        EXPECT_EQ(Page.Progress(), u"进度：生成PDF失败，无法写入文件：" + Name);
    }
    EXPECT_EQ(Listing(Tmp.path()), Before);
    EXPECT_EQ(Listing(Cwd), CwdBefore);
}

}  // namespace
}  // namespace velmo::app
