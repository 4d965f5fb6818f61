// Fixture pages written as EPS and read by Ghostscript: every file runs
// without an error, declares the page's clipped box, and looks like our own
// bitmap of the page.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/Document.h"
#include "tests/render/EPSTestKit.h"
#include "tests/support/RenderSupport.h"
#include "tests/support/TestSupport.h"

namespace {

struct TEPSPage {
    const char* name;
    const char* content;
    const char* pageKeys;   // besides /Type /Parent /Contents /Resources
    const char* resources;  // inside the /Resources dictionary
    std::vector<std::string> objects;  // objects 5, 6, ...
    long box[4];                       // the rounded clipped page box
    bool rotated = false;              // /Rotate 90: EPS keeps user space upright
};

std::string Hex(const std::string& Bytes) {
    static const char* D = "0123456789ABCDEF";
    std::string S;
    for (unsigned char C : Bytes) {
        S += D[C >> 4];
        S += D[C & 15];
    }
    return S + ">";
}

// An image object of 16 × 16 RGB samples: four coloured quadrants.
std::string QuadrantImage(const std::string& Extra) {
    std::string Px;
    for (int Y = 0; Y < 16; ++Y)
        for (int X = 0; X < 16; ++X) {
            const bool L = X < 8, T = Y < 8;
            Px += T ? (L ? std::string("\xFF\x00\x00", 3) : std::string("\x00\x00\xFF", 3))
                    : (L ? std::string("\x00\xA0\x00", 3) : std::string("\xFF\xC0\x00", 3));
        }
    const std::string Data = Hex(Px);
    return "<< /Type /XObject /Subtype /Image /Width 16 /Height 16 /ColorSpace /DeviceRGB "
           "/BitsPerComponent 8 /Filter /ASCIIHexDecode " +
           Extra + " /Length " + std::to_string(Data.size()) + " >>\nstream\n" + Data +
           "\nendstream";
}

// A mask of 8 × 8: a ring of masked-out samples around a shown middle.
std::string MaskObject(bool Stencil) {
    std::string Px;
    if (Stencil) {
        // 1 bit per sample, one byte per row; 1 masks out.
        for (int Y = 0; Y < 8; ++Y) Px += char(Y < 2 || Y > 5 ? 0xFF : 0xC3);
        const std::string Data = Hex(Px);
        return "<< /Type /XObject /Subtype /Image /Width 8 /Height 8 /ImageMask true "
               "/BitsPerComponent 1 /Filter /ASCIIHexDecode /Length " +
               std::to_string(Data.size()) + " >>\nstream\n" + Data + "\nendstream";
    }
    for (int Y = 0; Y < 8; ++Y)
        for (int X = 0; X < 8; ++X) Px += char(X >= 2 && X < 6 && Y >= 2 && Y < 6 ? 0xFF : 0x00);
    const std::string Data = Hex(Px);
    return "<< /Type /XObject /Subtype /Image /Width 8 /Height 8 /ColorSpace /DeviceGray "
           "/BitsPerComponent 8 /Filter /ASCIIHexDecode /Length " +
           std::to_string(Data.size()) + " >>\nstream\n" + Data + "\nendstream";
}

const char* kMarks =
    "0 0 1 rg 10 10 180 20 re f 1 0 0 rg 10 130 50 60 re f "
    "0 g 6 w 30 60 m 170 170 l S";

std::vector<TEPSPage> Pages() {
    return {
        {"vector",
         "0 0.6 0 rg 20 20 160 60 re f 1 0 0 RG 4 w 1 J 1 j 20 100 m 60 180 100 100 180 180 c S "
         "0 0 1 rg 100 120 m 180 120 l 140 190 l h 120 130 m 160 130 l 140 170 l h f* "
         "0.5 g 30 110 40 40 re f q 0.2 0 0.8 rg 150 20 m 190 60 l 150 100 l W n 140 10 60 100 re f Q",
         "/MediaBox [0 0 200 200]", "", {}, {0, 0, 200, 200}},
        {"indexed_lab",
         "/CS0 cs 1 sc 10 10 80 180 re f /CS1 cs 60 70 40 sc 110 10 80 180 re f",
         "/MediaBox [0 0 200 200]",
         "/ColorSpace << /CS0 [/Indexed /DeviceRGB 1 <FF000000A000>] "
         "/CS1 [/Lab << /WhitePoint [0.9505 1 1.089] /Range [-100 100 -100 100] >>] >>",
         {}, {0, 0, 200, 200}},
        {"separation",
         "/CS0 cs 0.8 scn 10 10 180 80 re f /CS0 CS 0.4 SCN 8 w 10 150 m 190 150 l S",
         "/MediaBox [0 0 200 200]", "/ColorSpace << /CS0 5 0 R >>",
         {"[/Separation /Gold /DeviceCMYK << /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] "
          "/C1 [0 0.2 1 0] /N 1 >>]"},
         {0, 0, 200, 200}},
        {"stencil_masked_image",
         "0.9 0.9 0.6 rg 0 0 200 200 re f q 160 0 0 160 20 20 cm /Im1 Do Q "
         "q 40 0 0 40 150 150 cm /Im1 Do Q",
         "/MediaBox [0 0 200 200]", "/XObject << /Im1 5 0 R >>",
         {QuadrantImage("/Mask 6 0 R"), MaskObject(true)}, {0, 0, 200, 200}},
        {"stencil_mask_in_fill_colour",
         "0.9 0.9 0.6 rg 0 0 200 200 re f 0.8 0 0 rg q 160 0 0 160 20 20 cm /Im1 Do Q "
         "0 0 0.7 rg q 40 0 0 40 150 150 cm /Im1 Do Q",
         "/MediaBox [0 0 200 200]", "/XObject << /Im1 5 0 R >>", {MaskObject(true)},
         {0, 0, 200, 200}},
        {"soft_masked_image",
         "0.6 0.8 0.9 rg 0 0 200 200 re f q 160 0 0 160 20 20 cm /Im1 Do Q",
         "/MediaBox [0 0 200 200]", "/XObject << /Im1 5 0 R >>",
         {QuadrantImage("/SMask 6 0 R"), MaskObject(false)}, {0, 0, 200, 200}},
        {"rotate_90", kMarks, "/MediaBox [0 0 200 200] /Rotate 90", "", {}, {0, 0, 200, 200},
         true},
        {"offset_cropbox", kMarks, "/MediaBox [0 0 200 200] /CropBox [20.4 30.6 180.5 190.2]",
         "", {}, {20, 31, 180, 190}},
    };
}

// The upright page of a raster drawn turned by 90 degrees clockwise.
vpltest::TRgbRaster TurnBack(const vpltest::TRgbRaster& R) {
    vpltest::TRgbRaster Out(R.height, R.width);
    for (int Y = 0; Y < Out.height; ++Y)
        for (int X = 0; X < Out.width; ++X) {
            const uint8_t* P = R.Pixel(R.width - 1 - Y, X);
            Out.SetPixel(X, Y, P[0], P[1], P[2]);
        }
    return Out;
}

TEST(oracle, eps_ghostscript) {
    VPL_REQUIRE_TOOL("gs");
    vpltest::InstallPageRenderServices();
    vpltest::TempDir Dir;
    for (const TEPSPage& P : Pages()) {
        SCOPED_TRACE(P.name);
        const auto Pdf = Dir / (std::string(P.name) + ".pdf");
        const auto Eps = Dir / (std::string(P.name) + ".eps");
        vpltest::WriteFile(Pdf, vpltest::OnePagePdf(P.pageKeys, P.resources, P.content, P.objects));
        velmo::TPDFDocument Doc;
        ASSERT_EQ(Doc.LoadFromFile(Pdf.u16string(), u""), velmo::lrOkay);
        std::string Error;
        ASSERT_TRUE(vpltest::WritePageEPS(Doc, 1, Eps, Error)) << Error;
        EXPECT_EQ(Error, "");
        const std::string Text = vpltest::ReadFile(Eps);
        if (std::string(P.name) == "stencil_masked_image") {
            // Drawn twice, the image and its mask are written once.
            size_t Streams = 0, Paints = 0;
            for (size_t Q = Text.find("/ReusableStreamDecode filter"); Q != std::string::npos;
                 Q = Text.find("/ReusableStreamDecode filter", Q + 1))
                ++Streams;
            for (size_t Q = Text.find("MaskedImageDictionaryfor5.0.R image"); Q != std::string::npos;
                 Q = Text.find("MaskedImageDictionaryfor5.0.R image", Q + 1))
                ++Paints;
            EXPECT_EQ(Streams, 2u);
            EXPECT_EQ(Paints, 2u);
        }

        EXPECT_EQ(vpltest::GhostscriptProblem(Eps), "");
        long Box[4];
        ASSERT_TRUE(vpltest::EPSBoundingBox(Text, Box));
        for (int I = 0; I < 4; ++I) EXPECT_EQ(Box[I], P.box[I]) << I;

        vpltest::TRgbRaster Theirs, Ours;
        ASSERT_TRUE(vpltest::GhostscriptRaster(Eps, Theirs, Error)) << Error;
        EXPECT_EQ(Theirs.width, P.box[2] - P.box[0]);
        EXPECT_EQ(Theirs.height, P.box[3] - P.box[1]);
        ASSERT_TRUE(vpltest::RenderFilePageToPng(Pdf, 1, 72, Ours, Error)) << Error;
        if (P.rotated) Ours = TurnBack(Ours);
        const vpltest::TRenderComparison C = vpltest::CompareRenders(Theirs, Ours);
        EXPECT_TRUE(C.similar) << vpltest::DescribeComparison(C);
    }
}

}  // namespace
