// The PDF-to-images page driven through the window's handlers on the null
// host, its files read back by ImageMagick and Ghostscript and each page
// held against pdftoppm's render at 72 dots per inch by the render rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/MainWindow.h"
#include "platform/files/WideFile.h"
#include "platform/ui/host/NullHost.h"
#include "tests/app/PdfToImagesFixture.h"
#include "tests/support/RenderSupport.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using velmo::app::TForm_main;

namespace {

std::u16string W(const std::string& S) { return velmo::FileSystemNameToWide(S); }

std::vector<std::string> FilesIn(const fs::path& Dir) {
    std::vector<std::string> Names;
    if (!fs::is_directory(Dir)) return Names;
    for (const auto& E : fs::directory_iterator(Dir)) Names.push_back(E.path().filename());
    std::sort(Names.begin(), Names.end());
    return Names;
}

std::vector<std::string> PageNames(const std::string& Ext) {
    return {"ORVK_0001" + Ext, "ORVK_0002" + Ext, "ORVK_0003" + Ext};
}

// Sets the format as a user picks it: the item and the text it shows.
void PickFormat(TForm_main& Form, int Index) {
    Form.cbb1->SetItemIndex(Index);
    Form.cbb1->SetText(Form.cbb1->Items()[size_t(Index)]);
}

void Convert(TForm_main& Form, const fs::path& Pdf, const std::string& Folder) {
    Form.edt1->SetText(W(Pdf.string()));
    Form.edt2->SetText(W(Folder));
    Form.btn5Click(Form.btn5);
}

}  // namespace

TEST(oracle, app_pdf_to_images_tool) {
    for (const char* Tool : {"identify", "convert", "pdftoppm", "gs", "qpdf"})
        VPL_REQUIRE_TOOL(Tool);
    velmo::SetWindowHost(std::make_shared<velmo::TNullHost>());
    vpltest::TempDir Dir;
    const fs::path Pdf = Dir / "three pages.pdf";
    vpltest::WriteFile(Pdf, vpltest::ThreePagePdf());
    vpltest::TRenderCache Cache;
    const char* const Sizes[] = {"596 842", "842 596", "612 792"};
    {
        TForm_main Form(nullptr);
        Form.Show();

        struct Format {
            int Index;
            std::string Item, Ext;
        };
        const Format Formats[] = {
            {1, "JPG", ".jpg"}, {5, "PNG", ".png"}, {0, "BMP", ".bmp"},
            {7, "TIFF", ".tiff"}, {6, "GIF", ".gif"},
        };
        for (const Format& F : Formats) {
            SCOPED_TRACE(F.Item);
            PickFormat(Form, F.Index);
            ASSERT_EQ(Form.cbb1->Text(), W(F.Item));
            // A folder missing several levels deep is made first.
            const fs::path Out = Dir / F.Item / "several" / "levels" / "deep";
            Convert(Form, Pdf, Out.string());
            EXPECT_EQ(Form.lbl8->Caption(), u"进度：转换完成！");
            ASSERT_EQ(FilesIn(Out), PageNames(F.Ext));
            for (int Page = 1; Page <= 3; ++Page) {
                SCOPED_TRACE("page " + std::to_string(Page));
                const fs::path File = Out / PageNames(F.Ext)[size_t(Page - 1)];
                auto Id = vpltest::RunCommand({"identify", "-format", "%w %h", File.string()});
                ASSERT_EQ(Id.exitCode, 0) << Id.err;
                EXPECT_EQ(Id.out, Sizes[Page - 1]);
                const fs::path Png = Dir / "read-back.png";
                auto Conv = vpltest::RunCommand(
                    {"convert", File.string() + "[0]", "-alpha", "off", "PNG24:" + Png.string()});
                ASSERT_EQ(Conv.exitCode, 0) << Conv.err;
                vpltest::TRgbRaster Ours;
                std::string Why;
                ASSERT_TRUE(vpltest::ReadPngRaster(Png, Ours, &Why)) << Why;
                const vpltest::TRenderResult Peer =
                    Cache.Peer(vpltest::TRenderPeer::Pdftoppm, Pdf, Page, 72);
                ASSERT_TRUE(Peer.Ok()) << Peer.error;
                const vpltest::TRenderComparison C = vpltest::CompareRenders(Ours, Peer.raster);
                EXPECT_TRUE(C.similar) << vpltest::DescribeComparison(C);
            }
        }

        // A trailing "/" names the same files.
        PickFormat(Form, 1);
        Convert(Form, Pdf, (Dir / "slash").string() + "/");
        EXPECT_EQ(FilesIn(Dir / "slash"), PageNames(".jpg"));
        for (const std::string& Name : PageNames(".jpg"))
            EXPECT_EQ(vpltest::ReadFile(Dir / "slash" / Name),
                      vpltest::ReadFile(Dir / "JPG" / "several" / "levels" / "deep" / Name));

        // Encapsulated PostScript pages run in Ghostscript. They are written
        // in the page's own space, which /Rotate does not turn, so they are
        // held against the same pages without it.
        const fs::path Upright = Dir / "upright.pdf";
        vpltest::WriteFile(Upright, vpltest::ThreePagePdf(false));
        PickFormat(Form, 4);
        Convert(Form, Pdf, (Dir / "eps").string());
        EXPECT_EQ(Form.lbl8->Caption(), u"进度：转换完成！");
        ASSERT_EQ(FilesIn(Dir / "eps"), PageNames(".eps"));
        for (int Page = 1; Page <= 3; ++Page) {
            SCOPED_TRACE("EPS page " + std::to_string(Page));
            const fs::path Eps = Dir / "eps" / PageNames(".eps")[size_t(Page - 1)];
            const fs::path Png = Dir / "eps-page.png";
            auto Gs = vpltest::RunCommand({"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE",
                                           "-dEPSCrop", "-sDEVICE=png16m", "-r72",
                                           "-sOutputFile=" + Png.string(), Eps.string()});
            EXPECT_EQ(Gs.exitCode, 0) << Gs.err;
            EXPECT_EQ(Gs.err, "");
            vpltest::TRgbRaster Raster;
            std::string Why;
            ASSERT_TRUE(vpltest::ReadPngRaster(Png, Raster, &Why)) << Why;
            const vpltest::TRenderResult Peer =
                Cache.Peer(vpltest::TRenderPeer::Pdftoppm, Upright, Page, 72);
            ASSERT_TRUE(Peer.Ok()) << Peer.error;
            const vpltest::TRenderComparison C = vpltest::CompareRenders(Raster, Peer.raster);
            EXPECT_TRUE(C.similar) << vpltest::DescribeComparison(C);
        }

        // A PDF that cannot be loaded: the failure is shown and nothing is
        // written, also for a file whose user password is not empty.
        fs::create_directory(Dir / "failed");
        const fs::path Locked = Dir / "locked.pdf";
        const fs::path OwnerOnly = Dir / "owner-only.pdf";
        ASSERT_EQ(vpltest::RunCommand({"qpdf", "--encrypt", "user", "owner", "256", "--",
                                       Pdf.string(), Locked.string()})
                      .exitCode,
                  0);
        ASSERT_EQ(vpltest::RunCommand({"qpdf", "--encrypt", "", "owner", "256", "--",
                                       Pdf.string(), OwnerOnly.string()})
                      .exitCode,
                  0);
        for (const fs::path& Bad : {Dir / "missing.pdf", Locked}) {
            Convert(Form, Bad, (Dir / "failed").string());
            EXPECT_EQ(Form.lbl8->Caption(), u"进度：无法打开PDF文件：" + W(Bad.string()));
            EXPECT_TRUE(FilesIn(Dir / "failed").empty()) << Bad;
        }
        // Only an owner password: the empty user password opens it.
        PickFormat(Form, 1);
        Convert(Form, OwnerOnly, (Dir / "owner-only").string());
        EXPECT_EQ(Form.lbl8->Caption(), u"进度：转换完成！");
        EXPECT_EQ(FilesIn(Dir / "owner-only"), PageNames(".jpg"));
    }
    velmo::SetWindowHost(std::make_shared<velmo::TNullHost>());
}
