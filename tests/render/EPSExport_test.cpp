// The EPS writer's lines, its colour and image bookkeeping, and the
// monochrome Stucki ditherer.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/ASCII85.h"
#include "core/Flate.h"
#include "platform/gdi/Bitmap.h"
#include "render/Dither.h"
#include "render/EPSExport.h"

namespace {

using velmo::TBitmap;
using velmo::TPDFEPSExport;

// The lines written after the header.
std::vector<std::string> Body(const TPDFEPSExport& E) {
    const auto& L = E.Lines();
    auto It = std::find(L.begin(), L.end(), "%%KorbexPDFLibrary-End");
    return It == L.end() ? L : std::vector<std::string>(It + 1, L.end());
}

size_t Count(const std::vector<std::string>& L, const std::string& S) {
    return size_t(std::count(L.begin(), L.end(), S));
}

// The data item after the n-th "/ReusableStreamDecode filter", decoded.
std::string DataItem(const TPDFEPSExport& E, int N) {
    const auto& L = E.Lines();
    for (size_t I = 0; I + 1 < L.size(); ++I)
        if (L[I] == "/ReusableStreamDecode filter" && N-- == 0)
            return velmo::FlateDecompress(velmo::DecodeASCII85(L[I + 1]));
    return "<none>";
}

TEST(EPSExport, HeaderBoxAndTrailer) {
    TPDFEPSExport E;
    E.StartDocument(0, 0, 612.4, 792.5);
    E.FinishDocument();
    const auto& L = E.Lines();
    ASSERT_GE(L.size(), 8u);
    EXPECT_EQ(L[0], "%!PS-Adobe-3.0 EPSF-3.0");
    // Half to even: 792.5 gives 792.
    EXPECT_EQ(L[1], "%%BoundingBox: 0 0 612 792");
    EXPECT_EQ(Count(L, "/W* { eoclip } def"), 1u);
    EXPECT_EQ(L.back(), "%%EOF");
    const std::string T = E.Text();
    EXPECT_NE(T.find("%%EndComments\r\n"), std::string::npos);
    EXPECT_EQ(T.substr(T.size() - 7), "%%EOF\r\n");

    // A new document starts an empty buffer.
    E.StartDocument(-10.5, 20.5, 100.5, 200.5);
    EXPECT_EQ(E.Lines()[1], "%%BoundingBox: -10 20 100 200");
    EXPECT_EQ(Count(E.Lines(), "%%EOF"), 0u);
}

TEST(EPSExport, PathLinesAndNumbers) {
    TPDFEPSExport E;
    E.StartDocument(0, 0, 10, 10);
    E.PSNewPath();
    E.PSMoveTo(10.5, 20);
    E.PSLineTo(1.0 / 3, -0.00004);
    E.PSCurveTo(1, 2, 3, 4, 5, 6);
    E.PSCurveToV(1, 2, 3, 4);
    E.PSCurveToY(1, 2, 3, 4);
    E.PSClosePath();
    E.PSFill(true);
    E.PSClip(false);
    E.PSStroke();
    E.PSSetLineWidth(5000);
    E.PSSetLineWidth(0.25);
    E.PSSetLineCap(velmo::epsLineCapSquare);
    E.PSSetLineJoin(velmo::epsLineJoinRound);
    E.PSSetMiterLimit(10);
    E.PSConcat({1, 0, 0, -1, 0.5, 792});
    EXPECT_EQ(Body(E), (std::vector<std::string>{
                           "n", "10.5 20 m", "0.3333 0 l", "1 2 3 4 5 6 c", "cp 1 2 3 4 c",
                           "1 2 3 4 3 4 c", "h", "f*", "W", "s", "1 w", "0.25 w", "2 J", "1 j",
                           "10 M", "[ 1 0 0 -1 0.5 792 ] cm"}));
}

TEST(EPSExport, GenericCanvasSide) {
    TPDFEPSExport E;
    E.StartDocument(0, 0, 10, 10);
    E.BeginPath();
    E.MoveTo(0, 0);
    // The quadratic through (3, 3) to (6, 0) as a cubic.
    E.AddQBezierToPath(3, 3, 6, 0);
    E.AddLineToPath(6, 6);
    E.AddBezierToPath(1, 1, 2, 2, 3, 3);
    E.ClosePath();
    E.StrokeAndFillPath();
    E.FillPath();
    E.StrokePath();
    EXPECT_EQ(Body(E), (std::vector<std::string>{"n", "0 0 m", "2 2 4 2 6 0 c", "6 6 l",
                                                 "1 1 2 2 3 3 c", "h", "f", "s", "f", "s"}));
}

TEST(EPSExport, ColoursStartBlackAndAreNotRepeated) {
    struct Case {
        std::vector<std::string> Colors;
        std::vector<std::string> Written;
    };
    const Case Cases[] = {
        // PostScript's initial colour needs no line.
        {{"0 setgray"}, {}},
        // A first green fill is written (it used to be taken as current).
        {{"0 1 0 setrgbcolor"}, {"0 1 0 setrgbcolor"}},
        {{"1 0 0 setrgbcolor", "1 0 0 setrgbcolor", "0 setgray"},
         {"1 0 0 setrgbcolor", "0 setgray"}},
    };
    for (const Case& C : Cases) {
        TPDFEPSExport E;
        E.StartDocument(0, 0, 10, 10);
        for (const auto& Col : C.Colors) E.PSSetColor(Col);
        EXPECT_EQ(Body(E), C.Written) << C.Colors.front();
    }
}

TEST(EPSExport, ColourStackFollowsSaveAndRestore) {
    TPDFEPSExport E;
    E.StartDocument(0, 0, 10, 10);
    E.PSSetColor("1 0 0 setrgbcolor");
    E.PSSaveGraphicsState();
    E.PSSetColor("0 0 1 setrgbcolor");
    E.PSRestoreGraphicsState();
    // Red is current again after the restore: not written.
    E.PSSetColor("1 0 0 setrgbcolor");
    // A restore without a save leaves the colour.
    E.PSRestoreGraphicsState();
    E.PSSetColor("1 0 0 setrgbcolor");
    EXPECT_EQ(Body(E), (std::vector<std::string>{"1 0 0 setrgbcolor", "q", "0 0 1 setrgbcolor",
                                                 "Q", "Q"}));
}

TEST(EPSExport, CustomColourComments) {
    TPDFEPSExport E;
    E.StartDocument(0, 0, 10, 10);
    E.PSSetColor("0 0.2 1 0 (A) findcmykcustomcolor 0.5 setcustomcolor");
    E.PSSetColor("1 0 0 0 (B) findcmykcustomcolor 1 setcustomcolor");
    E.PSSetColor("0 0.2 1 0 (A) findcmykcustomcolor 0.5 setcustomcolor");
    E.PSSetColor("0 0 0 1 (P\\(1\\)) findcmykcustomcolor 1 setcustomcolor");
    E.FinishDocument();
    const auto& L = E.Lines();
    auto End = std::find(L.begin(), L.end(), "%%EndComments");
    ASSERT_NE(End, L.end());
    const std::vector<std::string> Comments(End - 6, End);
    EXPECT_EQ(Comments, (std::vector<std::string>{
                            "%%DocumentCustomColors: (A)", "%%+ (B)", "%%+ (P\\(1\\))",
                            "%%CMYKCustomColor: 0 0.2 1 0 (A)", "%%+ 1 0 0 0 (B)",
                            "%%+ 0 0 0 1 (P\\(1\\))"}));
}

TEST(EPSExport, ImageSamplesAndDictionaries) {
    struct Case {
        velmo::TPixelFormat Format;
        bool CMYK;
        const char* Space;
        const char* Decode;
        std::string Samples;  // pixel bytes are 10, 20, 30, ...
    };
    const Case Cases[] = {
        // Blue, green, red bytes are written red, green, blue.
        {velmo::pf24bit, false, "/DeviceRGB setcolorspace", "/Decode [ 0 1 0 1 0 1 ] def",
         "\x1e\x14\x0a\x3c\x32\x28"},
        // B, G, R, A bitmaps are RGB; only a bitmap marked CMYK is CMYK.
        {velmo::pf32bit, false, "/DeviceRGB setcolorspace", "/Decode [ 0 1 0 1 0 1 ] def",
         "\x1e\x14\x0a\x46\x3c\x32"},
        {velmo::pf32bit, true, "/DeviceCMYK setcolorspace", "/Decode [ 0 1 0 1 0 1 0 1 ] def",
         "\x0a\x14\x1e\x28\x32\x3c\x46\x50"},
    };
    for (const Case& C : Cases) {
        TBitmap BM(2, 1, C.Format);
        uint8_t* P = BM.ScanLine(0);
        const int N = C.Format == velmo::pf24bit ? 3 : 4;
        for (int I = 0; I < 2 * N; ++I) P[I] = uint8_t(10 * (I + 1));
        TPDFEPSExport E;
        E.StartDocument(0, 0, 10, 10);
        E.PSImageFromBitmap(BM, nullptr, "7.0.R", false, C.CMYK);
        const auto L = Body(E);
        EXPECT_EQ(DataItem(E, 0), C.Samples) << C.Space;
        EXPECT_EQ(Count(L, C.Space), 1u);
        EXPECT_EQ(Count(L, C.Decode), 1u);
        EXPECT_EQ(Count(L, "/Width 2 def"), 1u);
        EXPECT_EQ(Count(L, "/ImageMatrix [ 2 0 0 -1 0 1 ] def"), 1u);
        EXPECT_EQ(Count(L, "/datastreamfor7.0.R exch def"), 1u);
        EXPECT_EQ(L.back(), "ImageDataDictionaryfor7.0.R image");
    }
}

TEST(EPSExport, OneBitAndGreyImages) {
    // A black-and-white bitmap: the written bits are 1 where the pixel is
    // dark, whichever palette entry is black.
    TBitmap BW(3, 1, velmo::pf1bit);
    BW.SetPixel(1, 0, velmo::clWhite);
    TPDFEPSExport E;
    E.StartDocument(0, 0, 10, 10);
    E.PSImageFromBitmap(BW, nullptr, "A", false);
    EXPECT_EQ(DataItem(E, 0), std::string("\xA0"));
    EXPECT_EQ(Count(Body(E), "/Decode [ 1 0 ] def"), 1u);
    EXPECT_EQ(Count(Body(E), "/BitsPerComponent 1 def"), 1u);
    // A stencil paints in the current colour where it is light: 1 bits
    // with imagemask, no colour space, the colour kept.
    E.PSSetColor("1 0 0 setrgbcolor");
    const size_t Before = Body(E).size();
    E.PSImageFromBitmap(BW, nullptr, "S", true);
    EXPECT_EQ(DataItem(E, 1), std::string("\x40"));
    const auto L = Body(E);
    const std::vector<std::string> Stencil(L.begin() + long(Before), L.end());
    EXPECT_EQ(Count(Stencil, "/Decode [ 1 0 ] def"), 1u);
    EXPECT_EQ(Count(Stencil, "/DeviceGray setcolorspace"), 0u);
    EXPECT_EQ(Stencil.back(), "ImageDataDictionaryforS imagemask");
    E.PSSetColor("1 0 0 setrgbcolor");
    EXPECT_EQ(Body(E).back(), "ImageDataDictionaryforS imagemask");
    TBitmap Grey24(2, 1);
    Grey24.SetPixel(0, 0, velmo::clWhite);
    E.PSImageFromBitmap(Grey24, nullptr, "S24", true);
    EXPECT_EQ(DataItem(E, 2), std::string("\x80"));

    TBitmap Grey(2, 1, velmo::pf8bit);
    std::vector<velmo::TRGBQuad> Ramp(256);
    for (int I = 0; I < 256; ++I) Ramp[size_t(I)] = {uint8_t(I), uint8_t(I), uint8_t(I), 0};
    Grey.SetPalette(Ramp);
    Grey.ScanLine(0)[0] = 7;
    Grey.ScanLine(0)[1] = 200;
    TPDFEPSExport G;
    G.StartDocument(0, 0, 10, 10);
    G.PSImageFromBitmap(Grey, nullptr, "G", false);
    EXPECT_EQ(DataItem(G, 0), std::string("\x07\xC8"));
    EXPECT_EQ(Count(Body(G), "/DeviceGray setcolorspace"), 1u);
}

TEST(EPSExport, MaskIsDitheredAtTwiceItsSize) {
    TBitmap BM(3, 2);
    TBitmap Mask(3, 2);
    Mask.Canvas().Lock();
    for (int Y = 0; Y < 2; ++Y)
        for (int X = 0; X < 3; ++X) Mask.SetPixel(X, Y, X == 0 ? velmo::clBlack : velmo::clWhite);
    TPDFEPSExport E;
    E.StartDocument(0, 0, 10, 10);
    E.PSImageFromBitmap(BM, &Mask, "M", false);
    const auto L = Body(E);
    EXPECT_EQ(Count(L, "/Width 6 def"), 1u);
    EXPECT_EQ(Count(L, "/Height 4 def"), 1u);
    EXPECT_EQ(Count(L, "/ImageMatrix [ 6 0 0 -4 0 4 ] def"), 1u);
    EXPECT_EQ(Count(L, "/ImageType 3 def"), 1u);
    EXPECT_EQ(Count(L, "/maskstreamfor M exch def"), 0u);
    EXPECT_EQ(Count(L, "/maskstreamforM exch def"), 1u);
    // Black columns 0 and 1 are masked out, the white ones (1 bits) show.
    EXPECT_EQ(DataItem(E, 0), std::string("\x3C\x3C\x3C\x3C"));
    EXPECT_EQ(L.back(), "MaskedImageDictionaryforM image");
}

TEST(EPSExport, ImageObjectWrittenOncePerDocument) {
    TBitmap BM(4, 4);
    TPDFEPSExport E;
    E.StartDocument(0, 0, 10, 10);
    E.PSSetColor("1 0 0 setrgbcolor");
    E.PSImageFromBitmap(BM, nullptr, "12.0.R", false);
    E.PSImageFromBitmap(BM, nullptr, "12.0.R", false);
    EXPECT_TRUE(E.PSRepaintImage("12.0.R"));
    EXPECT_FALSE(E.PSRepaintImage("13.0.R"));
    auto L = Body(E);
    EXPECT_EQ(Count(L, "/ReusableStreamDecode filter"), 1u);
    EXPECT_EQ(Count(L, "/ImageDataDictionaryfor12.0.R 8 dict def"), 1u);
    EXPECT_EQ(Count(L, "datastreamfor12.0.R resetfile"), 3u);
    EXPECT_EQ(Count(L, "ImageDataDictionaryfor12.0.R image"), 3u);
    // Each paint sets the image's space, after which the colour is black:
    // the same red is written again.
    EXPECT_EQ(Count(L, "/DeviceRGB setcolorspace"), 3u);
    E.PSSetColor("1 0 0 setrgbcolor");
    EXPECT_EQ(Body(E).back(), "1 0 0 setrgbcolor");

    // Inline images are written at every draw; a new document forgets.
    E.PSImageFromBitmap(BM, nullptr, "Inline5", false, false, false);
    E.PSImageFromBitmap(BM, nullptr, "Inline5", false, false, false);
    EXPECT_EQ(Count(Body(E), "/ReusableStreamDecode filter"), 3u);
    E.StartDocument(0, 0, 10, 10);
    EXPECT_FALSE(E.PSRepaintImage("12.0.R"));
}

TEST(Dither, MonochromeLookup) {
    velmo::TMonochromeLookup L;
    uint8_t R, G, B;
    EXPECT_EQ(L.Lookup(255, 255, 255, R, G, B), 1);
    EXPECT_EQ(R, 255);
    EXPECT_EQ(L.Lookup(0, 0, 0, R, G, B), 0);
    EXPECT_EQ(G, 0);
    // 77 + 150 + 29 = 256 per unit: 127 is at the threshold, 128 above.
    EXPECT_EQ(L.Lookup(127, 127, 127, R, G, B), 0);
    EXPECT_EQ(L.Lookup(128, 128, 128, R, G, B), 1);
    // Green weighs most.
    EXPECT_EQ(L.Lookup(0, 255, 0, R, G, B), 1);
    EXPECT_EQ(L.Lookup(255, 0, 0, R, G, B), 0);
}

TBitmap Uniform(int W, int H, uint8_t V) {
    TBitmap BM(W, H);
    for (int Y = 0; Y < H; ++Y) std::fill(BM.ScanLine(Y), BM.ScanLine(Y) + 3 * W, V);
    return BM;
}

TEST(Dither, UniformRows) {
    struct Case {
        uint8_t Level;
        int MinWhite, MaxWhite;  // of 64 × 8 pixels
    };
    const Case Cases[] = {{0, 0, 0}, {255, 512, 512}, {128, 200, 312}, {64, 90, 170}};
    for (const Case& C : Cases) {
        TBitmap Target;
        velmo::DitherToMonochrome(Uniform(64, 8, C.Level), Target);
        ASSERT_EQ(Target.Width(), 64);
        ASSERT_EQ(Target.Height(), 8);
        EXPECT_EQ(Target.PixelFormat(), velmo::pf8bit);
        int White = 0;
        for (int Y = 0; Y < 8; ++Y)
            for (int X = 0; X < 64; ++X) {
                const uint8_t V = Target.ScanLine(Y)[X];
                ASSERT_LE(V, 1);
                White += V;
            }
        EXPECT_GE(White, C.MinWhite) << int(C.Level);
        EXPECT_LE(White, C.MaxWhite) << int(C.Level);
    }
}

TEST(Dither, StuckiSpreadsForwardAndRowsRunSerpentine) {
    // One mid-grey row: the first pixel (128 → white) leaves -127, of which
    // 8/42 lands on the next pixel; the rows alternate direction.
    velmo::TMonochromeLookup L;
    velmo::TStuckiDitherer D(4, &L);
    EXPECT_EQ(D.Column(), 0);
    EXPECT_EQ(D.Dither(128, 128, 128), 1);
    EXPECT_EQ(D.Column(), 1);
    // 150 - 127·8/42 ≈ 126: black.
    EXPECT_EQ(D.Dither(150, 150, 150), 0);
    D.NextLine();
    EXPECT_EQ(D.Direction(), -1);
    EXPECT_EQ(D.Column(), 3);
    D.NextLine();
    EXPECT_EQ(D.Direction(), 1);
    EXPECT_EQ(D.Column(), 0);

    // A one-pixel-wide image: taps beyond the edges land in the spare
    // entries and nothing breaks.
    TBitmap Target;
    velmo::DitherToMonochrome(Uniform(1, 5, 128), Target);
    EXPECT_EQ(Target.Width(), 1);
    TBitmap Empty;
    velmo::DitherToMonochrome(TBitmap(0, 0), Empty);
    EXPECT_TRUE(Empty.Empty());
}

}  // namespace
