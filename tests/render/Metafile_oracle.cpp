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

// Every page carries two small corner marks, so that the picture's extent
// can be found in another reader's output wherever it placed the picture.
const char* const kMarks = " q 0 g 0 788 4 4 re f 608 0 4 4 re f Q";

// Four 612 × 792 pages: vector paint with a translucent fill and a clip,
// text, a shading and an image.
std::string FixturePdf() {
    const std::string Vector =
        "1 0 0 rg 50 600 200 100 re f 0 0 1 RG 6 w 60 500 m 300 500 l 300 300 l S "
        "0 0.6 0 rg 100 100 m 100 250 300 250 300 100 c h f "
        "q 320 320 200 200 re W n 0.2 g 300 300 300 300 re f Q "
        "/GS1 gs 1 1 0 rg 150 550 250 200 re f" + std::string(kMarks);
    const std::string Text =
        "BT /F1 48 Tf 72 650 Td (Metafile pages) Tj ET BT /F1 24 Tf 72 500 Td (Second line) Tj ET "
        "0 0 1 rg 72 200 468 40 re f" + std::string(kMarks);
    const std::string Shading =
        "q 100 150 400 300 re W n /Sh1 sh Q 0 g 100 600 50 50 re f" + std::string(kMarks);
    const std::string Image =
        "q 300 0 0 200 150 300 cm /Im1 Do Q 0 0 1 rg 50 50 40 40 re f" + std::string(kMarks);
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
    double X0 = 1, Y0 = 1, X1 = 0, Y1 = 0;  // fractions of the marks' extent
};

bool Inked(const uint8_t* P) { return P[0] < 235 || P[1] < 235 || P[2] < 235; }

// The ink bounding box of the content between the corner marks, as
// fractions of the extent the marks span.
TInk ContentBox(const vpltest::TRgbRaster& R) {
    int X0 = R.width, Y0 = R.height, X1 = -1, Y1 = -1;
    for (int Y = 0; Y < R.height; ++Y)
        for (int X = 0; X < R.width; ++X)
            if (Inked(R.Pixel(X, Y)))
                X0 = std::min(X0, X), Y0 = std::min(Y0, Y), X1 = std::max(X1, X), Y1 = std::max(Y1, Y);
    TInk I;
    if (X1 <= X0 || Y1 <= Y0) return I;
    const double W = X1 + 1 - X0, H = Y1 + 1 - Y0;
    const double Zone = 0.015;
    int A = R.width, B = R.height, C = -1, D = -1;
    for (int Y = Y0; Y <= Y1; ++Y)
        for (int X = X0; X <= X1; ++X) {
            if (!Inked(R.Pixel(X, Y))) continue;
            const double U = (X - X0) / W, V = (Y - Y0) / H;
            if ((U < Zone && V < Zone) || (U > 1 - Zone && V > 1 - Zone)) continue;
            A = std::min(A, X), B = std::min(B, Y), C = std::max(C, X), D = std::max(D, Y);
        }
    if (C < 0) return I;
    I.Any = true;
    I.X0 = (A - X0) / W, I.Y0 = (B - Y0) / H;
    I.X1 = (C + 1 - X0) / W, I.Y1 = (D + 1 - Y0) / H;
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
        const TInk A1 = ContentBox(W.Ours), B1 = ContentBox(Theirs);
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
