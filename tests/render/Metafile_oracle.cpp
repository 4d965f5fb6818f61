// Fixture pages written through the page tree as WMF (option 2), EMF (3)
// and EMF+ (8): every file passes the validator and plays back like our
// bitmap render at the same resolution; a second reader (LibreOffice,
// `soffice --convert-to png`) converts each into a picture whose ink lies
// where ours does.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "document/Document.h"
#include "document/PageTree.h"
#include "platform/files/Stream.h"
#include "platform/gdi/Bitmap.h"
#include "platform/metafile/MetafileReader.h"
#include "platform/metafile/MetafileReplay.h"
#include "tests/support/RenderSupport.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace velmo;
using namespace velmo::metafile;

std::string Stream(const std::string& Content) {
    return "<< /Length " + std::to_string(Content.size()) + " >>\nstream\n" + Content +
           "\nendstream";
}

// Four 612 × 792 pages: vector paint with a translucent fill and a clip,
// text, a shading and an image.
std::string FixturePdf() {
    const std::string Vector =
        "1 0 0 rg 50 600 200 100 re f 0 0 1 RG 6 w 60 500 m 300 500 l 300 300 l S "
        "0 0.6 0 rg 100 100 m 100 250 300 250 300 100 c h f "
        "q 320 320 200 200 re W n 0.2 g 300 300 300 300 re f Q "
        "/GS1 gs 1 1 0 rg 150 550 250 200 re f";
    const std::string Text =
        "BT /F1 48 Tf 72 650 Td (Metafile pages) Tj ET BT /F1 24 Tf 72 500 Td (Second line) Tj ET "
        "0 0 1 rg 72 200 468 40 re f";
    const std::string Shading = "q 100 150 400 300 re W n /Sh1 sh Q 0 g 100 600 50 50 re f";
    const std::string Image = "q 300 0 0 200 150 300 cm /Im1 Do Q 0 0 1 rg 50 50 40 40 re f";
    std::string Pixels;
    for (int Y = 0; Y < 4; ++Y)
        for (int X = 0; X < 4; ++X) {
            Pixels += char((X + Y) % 2 ? 255 : 0);
            Pixels += char(X * 60);
            Pixels += char(Y * 60);
        }
    auto Page = [](const std::string& Contents, const std::string& Resources) {
        return "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources " + Resources +
               " /Contents " + Contents + " 0 R >>";
    };
    return vpltest::PdfFromObjects({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R 5 0 R 7 0 R 9 0 R] /Count 4 >>",
        Page("4", "<< /ExtGState << /GS1 << /ca 0.5 >> >> >>"),
        Stream(Vector),
        Page("6", "<< /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >>"),
        Stream(Text),
        Page("8", "<< /Shading << /Sh1 << /ShadingType 2 /ColorSpace /DeviceRGB /Coords [100 0 500 0] "
                  "/Function << /FunctionType 2 /Domain [0 1] /C0 [1 0 0] /C1 [0 0 1] /N 1 >> "
                  "/Extend [true true] >> >> >>"),
        Stream(Shading),
        Page("10", "<< /XObject << /Im1 11 0 R >> >>"),
        Stream(Image),
        "<< /Type /XObject /Subtype /Image /Width 4 /Height 4 /ColorSpace /DeviceRGB "
        "/BitsPerComponent 8 /Length " + std::to_string(Pixels.size()) + " >>\nstream\n" + Pixels +
            "\nendstream",
    });
}

struct TInk {
    bool Any = false;
    double X0 = 1, Y0 = 1, X1 = 0, Y1 = 0;  // fractions of the picture's size
};

TInk InkBox(const vpltest::TRgbRaster& R) {
    TInk I;
    int X0 = R.width, Y0 = R.height, X1 = -1, Y1 = -1;
    for (int Y = 0; Y < R.height; ++Y)
        for (int X = 0; X < R.width; ++X) {
            const uint8_t* P = R.Pixel(X, Y);
            if (P[0] < 235 || P[1] < 235 || P[2] < 235)
                X0 = std::min(X0, X), Y0 = std::min(Y0, Y), X1 = std::max(X1, X), Y1 = std::max(Y1, Y);
        }
    if (X1 < 0) return I;
    I.Any = true;
    I.X0 = double(X0) / R.width, I.Y0 = double(Y0) / R.height;
    I.X1 = double(X1 + 1) / R.width, I.Y1 = double(Y1 + 1) / R.height;
    return I;
}

// A page of the loaded fixture written in the format of Options.
std::string Write(TPDFDocument& Doc, int Page, int Options, double DPI) {
    TMemoryStream Out;
    std::string Error;
    EXPECT_TRUE(Doc.PageTree()->RenderPageToStream(DPI, Page, Options, 0, nullptr, Out, Error, 1,
                                                   Doc.GetViewOCGList()))
        << Error;
    return Out.Bytes();
}

TEST(oracle, metafile_pages) {
    vpltest::InstallPageRenderServices();
    vpltest::TempDir Dir;
    const fs::path File = Dir.path() / "fixture.pdf";
    std::ofstream(File, std::ios::binary) << FixturePdf();
    TPDFDocument Doc;
    ASSERT_EQ(Doc.LoadFromFile(File.u16string(), u""), lrOkay);
    struct TWritten {
        fs::path Path;
        vpltest::TRgbRaster Ours;
    };
    std::vector<TWritten> Written;
    for (int Page = 1; Page <= 4; ++Page) {
        vpltest::TRgbRaster Bitmap;
        std::string Error;
        ASSERT_TRUE(vpltest::RenderLoadedPageToPng(Doc, Page, 96, Bitmap, Error)) << Error;
        for (const auto& [Options, Ext] : {std::pair{2, "wmf"}, {3, "emf"}, {8, "emf"}}) {
            SCOPED_TRACE("page " + std::to_string(Page) + " option " + std::to_string(Options));
            const std::string Data = Write(Doc, Page, Options, 96);
            ASSERT_TRUE(ValidateMetafile(Data, &Error)) << Error;
            EXPECT_EQ(DetectMetafile(Data), Options == 2   ? TMetafileKind::Wmf
                                            : Options == 3 ? TMetafileKind::Emf
                                                           : TMetafileKind::EmfPlus);
            TMetafileInfo Info;
            ASSERT_TRUE(ReadMetafileInfo(Data, Info));
            EXPECT_EQ(Info.WidthPixels, 816);
            EXPECT_EQ(Info.HeightPixels, 1056);
            if (Options == 2) {
                EXPECT_EQ(Info.WmfInch, 96);
                EXPECT_EQ(Info.WmfBox[2], 816);
                EXPECT_EQ(Info.WmfBox[3], 1056);
            }
            TBitmap Back;
            ASSERT_TRUE(ReplayMetafile(Data, Back, &Error)) << Error;
            const vpltest::TRgbRaster Ours = vpltest::RasterFromBitmap(Back);
            const auto C = vpltest::CompareRenders(Ours, Bitmap);
            EXPECT_TRUE(C.similar) << vpltest::DescribeComparison(C);
            const fs::path Out = Dir.path() / ("p" + std::to_string(Page) + "-o" +
                                               std::to_string(Options) + "." + Ext);
            std::ofstream(Out, std::ios::binary) << Data;
            Written.push_back({Out, Ours});
        }
    }
    // EMF+ at 150 DPI: a 1275 × 1650 pixel frame and an EMF+-only header.
    {
        const std::string Plus = Write(Doc, 1, 8, 150);
        std::string Error;
        ASSERT_TRUE(ValidateEmfPlus(Plus, &Error)) << Error;
        TMetafileInfo Info;
        ASSERT_TRUE(ReadMetafileInfo(Plus, Info));
        EXPECT_EQ(Info.WidthPixels, 1275);
        EXPECT_EQ(Info.HeightPixels, 1650);
        EXPECT_FALSE(Info.EmfPlusDual);
    }

    // The second reader.
    if (vpltest::RunCommand({"sh", "-c", "command -v soffice"}, 10).exitCode != 0)
        GTEST_SKIP() << "soffice not installed (package libreoffice-draw-nogui)";
    const fs::path OutDir = Dir.path() / "png";
    fs::create_directories(OutDir);
    const std::string Profile = "-env:UserInstallation=file://" + (Dir.path() / "profile").string();
    std::vector<std::string> Argv{"soffice", Profile, "--headless", "--convert-to", "png",
                                  "--outdir", OutDir.string()};
    // One run per file: a file LibreOffice cannot read must not hide the others.
    for (const TWritten& W : Written) {
        SCOPED_TRACE(W.Path.filename().string());
        std::vector<std::string> A = Argv;
        A.push_back(W.Path.string());
        const auto R = vpltest::RunCommand(A, 180);
        ASSERT_EQ(R.exitCode, 0) << R.err;
        const fs::path Png = OutDir / (W.Path.stem().string() + ".png");
        vpltest::TRgbRaster Theirs;
        std::string Error;
        ASSERT_TRUE(vpltest::ReadPngRaster(Png, Theirs, &Error)) << Error << "\n" << R.err;
        const TInk A1 = InkBox(W.Ours), B1 = InkBox(Theirs);
        ASSERT_TRUE(B1.Any) << "blank picture";
        ASSERT_TRUE(A1.Any);
        EXPECT_NEAR(A1.X0, B1.X0, 0.02);
        EXPECT_NEAR(A1.Y0, B1.Y0, 0.02);
        EXPECT_NEAR(A1.X1, B1.X1, 0.02);
        EXPECT_NEAR(A1.Y1, B1.Y1, 0.02);
        fs::remove(Png);
    }
}

}  // namespace
