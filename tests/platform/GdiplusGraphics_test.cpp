#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <vector>

#include "platform/gdi/DC.h"
#include "platform/gdiplus/GraphicsCore.h"
#include "tests/platform/GdiplusFixture.h"
#include "tests/platform/GdiplusImageFixtures.h"

using namespace velmo;
namespace gp = velmo::gdiplus;

namespace {

// A white 24-bit bitmap selected into a memory DC, with a graphics on it.
class TDcTarget {
public:
    TDcTarget(int W, int H) : Pixels(W, H, pf24bit) {
        for (int Y = 0; Y < H; ++Y) std::memset(Pixels.ScanLine(Y), 0xFF, size_t(W) * 3);
        Dc = CreateCompatibleDC(nullptr);
        Bitmap = AttachBitmapObject(Pixels);
        Old = SelectObject(Dc, Bitmap);
        EXPECT_EQ(gp::GdipCreateFromHDC(Dc, &G), gsOk);
    }
    ~TDcTarget() {
        EXPECT_EQ(gp::GdipDeleteGraphics(G), gsOk);
        SelectObject(Dc, Old);
        DeleteDC(Dc);
        DetachBitmapObject(Bitmap);
    }
    // Pixel as 0xRRGGBB.
    uint32_t At(int X, int Y) const {
        const uint8_t* P = Pixels.ScanLine(Y) + 3 * X;
        return (uint32_t(P[2]) << 16) | (uint32_t(P[1]) << 8) | P[0];
    }
    TBitmap Pixels;
    HDC Dc = nullptr;
    HGDIOBJ Bitmap = nullptr, Old = nullptr;
    GpGraphics* G = nullptr;
};

// A white 24bppRGB image with a graphics on it.
class TImageTarget {
public:
    TImageTarget(int W, int H) {
        TGPStatus S;
        B = gp::NewBitmap(W, H, PixelFormat24bppRGB, S);
        EXPECT_EQ(S, gsOk);
        for (int Y = 0; Y < H; ++Y) std::memset(B->Row(Y), 0xFF, size_t(W) * 3);
        EXPECT_EQ(gp::GdipGetImageGraphicsContext(B, &G), gsOk);
    }
    ~TImageTarget() {
        EXPECT_EQ(gp::GdipDeleteGraphics(G), gsOk);
        gp::DisposeLiveImage(B);
    }
    uint32_t At(int X, int Y) const {
        const uint8_t* P = B->Row(Y) + 3 * X;
        return (uint32_t(P[2]) << 16) | (uint32_t(P[1]) << 8) | P[0];
    }
    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> Out;
        for (int Y = 0; Y < B->Height; ++Y)
            Out.insert(Out.end(), B->Row(Y), B->Row(Y) + B->Width * 3);
        return Out;
    }
    GpBitmap* B = nullptr;
    GpGraphics* G = nullptr;
};

GpPath* Line(float X1, float Y1, float X2, float Y2) {
    GpPath* P = nullptr;
    EXPECT_EQ(gp::GdipCreatePath(FillModeAlternate, &P), gsOk);
    EXPECT_EQ(gp::GdipAddPathLine(P, X1, Y1, X2, Y2), gsOk);
    return P;
}

GpPath* Rect(float X, float Y, float W, float H) {
    GpPath* P = Line(X, Y, X + W, Y);
    EXPECT_EQ(gp::GdipAddPathLine(P, X + W, Y + H, X, Y + H), gsOk);
    EXPECT_EQ(gp::GdipClosePathFigure(P), gsOk);
    return P;
}

// An ellipse of four Bézier arcs.
GpPath* Ellipse(float Cx, float Cy, float Rx, float Ry) {
    const float K = 0.5523f;
    GpPath* P = nullptr;
    EXPECT_EQ(gp::GdipCreatePath(FillModeWinding, &P), gsOk);
    gp::GdipAddPathBezier(P, Cx + Rx, Cy, Cx + Rx, Cy + K * Ry, Cx + K * Rx, Cy + Ry, Cx, Cy + Ry);
    gp::GdipAddPathBezier(P, Cx, Cy + Ry, Cx - K * Rx, Cy + Ry, Cx - Rx, Cy + K * Ry, Cx - Rx, Cy);
    gp::GdipAddPathBezier(P, Cx - Rx, Cy, Cx - Rx, Cy - K * Ry, Cx - K * Rx, Cy - Ry, Cx, Cy - Ry);
    gp::GdipAddPathBezier(P, Cx, Cy - Ry, Cx + K * Rx, Cy - Ry, Cx + Rx, Cy - K * Ry, Cx + Rx, Cy);
    EXPECT_EQ(gp::GdipClosePathFigure(P), gsOk);
    return P;
}

// The painted pixels of a row and a column.
struct TStrokeResult {
    std::vector<bool> Row, Column;
};

}  // namespace

TEST_F(Gdiplus, PensAndBrushes) {
    // Strokes the line (0, 20) → (100, 20) with a black pen set up by Setup,
    // pixel centres at half-integers, no anti-aliasing; returns which
    // pixels of row 20 and of column 50 were painted.
    auto Stroke = [](auto Setup, float X1 = 0, float X2 = 100) {
        TDcTarget T(110, 40);
        EXPECT_EQ(gp::GdipSetPixelOffsetMode(T.G, PixelOffsetModeHalf), gsOk);
        GpPen* Pen = nullptr;
        EXPECT_EQ(gp::GdipCreatePen1(0xFF000000, 4, UnitWorld, &Pen), gsOk);
        Setup(Pen);
        GpPath* P = Line(X1, 20, X2, 20);
        EXPECT_EQ(gp::GdipDrawPath(T.G, Pen, P), gsOk);
        gp::GdipDeletePath(P);
        gp::GdipDeletePen(Pen);
        TStrokeResult R;
        for (int X = 0; X < 110; ++X) R.Row.push_back(T.At(X, 20) == 0);
        for (int Y = 0; Y < 40; ++Y) R.Column.push_back(T.At(50, Y) == 0);
        return R;
    };
    auto Count = [](const std::vector<bool>& V) {
        return int(std::count(V.begin(), V.end(), true));
    };

    // Dashes in pen widths: [3 1] at width 4 is 12 px on, 4 px off.
    const float Dash[2] = {3, 1};
    const TStrokeResult Dashed = Stroke([&](GpPen* Pen) { gp::GdipSetPenDashArray(Pen, Dash, 2); });
    for (int X = 0; X < 100; ++X) EXPECT_EQ(Dashed.Row[size_t(X)], X % 16 < 12) << "x " << X;
    // An offset of one pen width moves the pattern 4 px back.
    const TStrokeResult Offset = Stroke([&](GpPen* Pen) {
        gp::GdipSetPenDashArray(Pen, Dash, 2);
        gp::GdipSetPenDashOffset(Pen, 1);
    });
    for (int X = 0; X < 100; ++X) EXPECT_EQ(Offset.Row[size_t(X)], (X + 4) % 16 < 12) << "x " << X;

    // Caps: flat ends at the end points; square caps add half the width.
    auto Cap = [&](GpLineCap C) {
        return Count(Stroke(
                         [&](GpPen* Pen) {
                             gp::GdipSetPenStartCap(Pen, C);
                             gp::GdipSetPenEndCap(Pen, C);
                         },
                         10, 30)
                         .Row);
    };
    EXPECT_EQ(Cap(LineCapFlat), 20);
    EXPECT_EQ(Cap(LineCapSquare), 24);
    // Mixed caps are drawn separately: square at the start only.
    EXPECT_EQ(
        Count(Stroke([&](GpPen* Pen) { gp::GdipSetPenStartCap(Pen, LineCapSquare); }, 10, 30).Row),
        22);

    // Width: 4 px, doubled by a pen transform of scale 2, and never below
    // one pixel.
    EXPECT_EQ(Count(Stroke([](GpPen*) {}).Column), 4);
    EXPECT_EQ(Count(Stroke([](GpPen* Pen) {
                        EXPECT_EQ(gp::GdipScalePenTransform(Pen, 2, 2, MatrixOrderPrepend), gsOk);
                    }).Column),
              8);
    EXPECT_EQ(Count(Stroke([](GpPen* Pen) {
                        EXPECT_EQ(gp::GdipScalePenTransform(Pen, 0.01f, 0.01f, MatrixOrderAppend),
                                  gsOk);
                    }).Column),
              1);

    // A preset blend of five stops along 0 → 1000: with pixel centres at
    // integers, pixel 250·k sits on stop k.
    {
        TDcTarget T(1001, 4);
        const GpPointF P1{0, 0}, P2{1000, 0};
        GpLineGradient* Brush = nullptr;
        ASSERT_EQ(gp::GdipCreateLineBrush(&P1, &P2, 0xFF000000, 0xFFFFFFFF, WrapModeTile, &Brush),
                  gsOk);
        const GpARGB Colors[5] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF808080, 0xFF20C0A0};
        const GpREAL Positions[5] = {0, 0.25f, 0.5f, 0.75f, 1};
        ASSERT_EQ(gp::GdipSetLinePresetBlend(Brush, Colors, Positions, 5), gsOk);
        const GpREAL Bad[5] = {0, 0.5f, 0.25f, 0.75f, 1};
        EXPECT_EQ(gp::GdipSetLinePresetBlend(Brush, Colors, Bad, 5), gsInvalidParameter);
        GpPath* R = Rect(-1, 0, 1003, 4);
        ASSERT_EQ(gp::GdipFillPath(T.G, Brush, R), gsOk);
        // (The last pixel before the pattern repeats stands for stop 4.)
        for (int K = 0; K < 5; ++K) {
            const uint32_t Got = T.At(std::min(250 * K, 999), 1);
            for (int Shift : {16, 8, 0})
                EXPECT_NEAR(int((Got >> Shift) & 0xFF), int((Colors[K] >> Shift) & 0xFF), 1)
                    << "stop " << K;
        }
        gp::GdipDeletePath(R);
        gp::GdipDeleteBrush(Brush);
    }

    // Smoothing: off gives exactly the two colours, anti-aliasing blends.
    auto Colours = [](GpSmoothingMode Mode) {
        TDcTarget T(60, 60);
        EXPECT_EQ(gp::GdipSetSmoothingMode(T.G, Mode), gsOk);
        GpSolidFill* Brush = nullptr;
        gp::GdipCreateSolidFill(0xFF000000, &Brush);
        GpPath* E = Ellipse(30, 30, 22.3f, 17.7f);
        EXPECT_EQ(gp::GdipFillPath(T.G, Brush, E), gsOk);
        gp::GdipDeletePath(E);
        gp::GdipDeleteBrush(Brush);
        std::set<uint32_t> Seen;
        for (int Y = 0; Y < 60; ++Y)
            for (int X = 0; X < 60; ++X) Seen.insert(T.At(X, Y));
        return Seen.size();
    };
    EXPECT_EQ(Colours(SmoothingModeNone), 2u);
    EXPECT_GT(Colours(SmoothingModeAntiAlias), 2u);

    // A texture brush keeps its own copy of the image.
    {
        TGPStatus S;
        GpBitmap* Image = gp::NewBitmap(2, 2, PixelFormat24bppRGB, S);
        ASSERT_EQ(S, gsOk);
        std::memset(Image->Row(0), 0x40, 6);
        std::memset(Image->Row(1), 0x40, 6);
        GpTexture* Brush = nullptr;
        ASSERT_EQ(gp::GdipCreateTexture2(Image, WrapModeTile, 0, 0, 2, 2, &Brush), gsOk);
        EXPECT_EQ(gp::GdipScaleTextureTransform(Brush, 2, 2, MatrixOrderPrepend), gsOk);
        std::memset(Image->Row(0), 0x00, 6);
        gp::DisposeLiveImage(Image);
        TDcTarget T(8, 8);
        GpPath* R = Rect(0, 0, 8, 8);
        ASSERT_EQ(gp::GdipFillPath(T.G, Brush, R), gsOk);
        EXPECT_EQ(T.At(5, 5), 0x404040u);
        gp::GdipDeletePath(R);
        gp::GdipDeleteBrush(Brush);
    }
}

TEST_F(Gdiplus, PenOfABrushPaintsTheBrush) {
    TDcTarget T(110, 40);
    const GpPointF From{0, 0}, To{100, 0};
    GpLineGradient* Ramp = nullptr;
    ASSERT_EQ(gp::GdipCreateLineBrush(&From, &To, 0xFFFF0000, 0xFF0000FF, WrapModeTile, &Ramp),
              gsOk);
    GpPen* Pen = nullptr;
    ASSERT_EQ(gp::GdipCreatePen2(Ramp, 6, UnitWorld, &Pen), gsOk);
    // The pen keeps its own copy: the brush may go first.
    EXPECT_EQ(gp::GdipDeleteBrush(Ramp), gsOk);
    GpPath* P = Line(5, 20, 95, 20);
    EXPECT_EQ(gp::GdipDrawPath(T.G, Pen, P), gsOk);
    gp::GdipDeletePath(P);
    gp::GdipDeletePen(Pen);
    const uint32_t Left = T.At(10, 20), Right = T.At(90, 20);
    EXPECT_GT(Left >> 16, 200u) << std::hex << Left;
    EXPECT_LT(Left & 0xFF, 60u) << std::hex << Left;
    EXPECT_GT(Right & 0xFF, 200u) << std::hex << Right;
    EXPECT_LT(Right >> 16, 60u) << std::hex << Right;
    EXPECT_EQ(T.At(50, 30), 0xFFFFFFu);
    // A missing or deleted brush makes no pen.
    Pen = nullptr;
    EXPECT_EQ(gp::GdipCreatePen2(nullptr, 1, UnitWorld, &Pen), gsInvalidParameter);
    EXPECT_EQ(gp::GdipCreatePen2(Ramp, 1, UnitWorld, &Pen), gsInvalidParameter);
    EXPECT_EQ(Pen, nullptr);
}

TEST_F(Gdiplus, ClipSnapshotsRestoreExactly) {
    const float Shapes[3][4] = {{10, 8, 110, 90}, {25, 20, 80, 70}, {33, 37, 50, 40}};
    const GpARGB Inner[3] = {0xFFD02020, 0xFF20D020, 0xFF2020D0};
    const GpARGB Outer[3] = {0xFF804000, 0xFF008040, 0xC0400080};
    GpSolidFill* Brushes[2][3];
    for (int K = 0; K < 3; ++K) {
        gp::GdipCreateSolidFill(Inner[K], &Brushes[0][K]);
        gp::GdipCreateSolidFill(Outer[K], &Brushes[1][K]);
    }
    // A at level K: an ellipse inside the previous one; B: a thin rectangle.
    auto A = [&](int K) {
        return Ellipse(Shapes[K][0] + Shapes[K][2] / 2, Shapes[K][1] + Shapes[K][3] / 2,
                       Shapes[K][2] / 2, Shapes[K][3] / 2);
    };
    auto B = [&](int K) { return Rect(Shapes[K][0] + 3.3f * K, 40.6f, 60.25f, 9.5f); };
    auto Everything = [] { return Rect(-5, -5, 200, 200); };

    // With snapshots: clip A, snapshot, intersect B, fill, restore, fill.
    TImageTarget Snap(140, 110), Fresh(140, 110);
    for (TImageTarget* T : {&Snap, &Fresh}) gp::GdipSetSmoothingMode(T->G, SmoothingModeAntiAlias);
    GpRegion* Saved[3];
    for (int K = 0; K < 3; ++K) {
        GpPath *PA = A(K), *PB = B(K), *All = Everything();
        ASSERT_EQ(gp::GdipSetClipPath(Snap.G, PA, CombineModeIntersect), gsOk);
        ASSERT_EQ(gp::GdipCreateRegion(&Saved[K]), gsOk);
        ASSERT_EQ(gp::GdipGetClip(Snap.G, Saved[K]), gsOk);
        ASSERT_EQ(gp::GdipSetClipPath(Snap.G, PB, CombineModeIntersect), gsOk);
        ASSERT_EQ(gp::GdipFillPath(Snap.G, Brushes[0][K], All), gsOk);
        ASSERT_EQ(gp::GdipSetClipRegion(Snap.G, Saved[K], CombineModeReplace), gsOk);
        ASSERT_EQ(gp::GdipFillPath(Snap.G, Brushes[1][K], All), gsOk);

        // The same, with the clip after the inner fill built from the A's
        // alone.
        GpRegion* Infinite = nullptr;
        gp::GdipCreateRegion(&Infinite);
        ASSERT_EQ(gp::GdipSetClipRegion(Fresh.G, Infinite, CombineModeReplace), gsOk);
        for (int J = 0; J <= K; ++J) {
            GpPath* PJ = A(J);
            gp::GdipSetClipPath(Fresh.G, PJ, CombineModeIntersect);
            if (J == K) {
                gp::GdipSetClipPath(Fresh.G, PB, CombineModeIntersect);
                gp::GdipFillPath(Fresh.G, Brushes[0][K], All);
                gp::GdipSetClipRegion(Fresh.G, Infinite, CombineModeReplace);
                for (int I = 0; I <= K; ++I) {
                    GpPath* PI = A(I);
                    gp::GdipSetClipPath(Fresh.G, PI, CombineModeIntersect);
                    gp::GdipDeletePath(PI);
                }
                gp::GdipFillPath(Fresh.G, Brushes[1][K], All);
            }
            gp::GdipDeletePath(PJ);
        }
        gp::GdipDeleteRegion(Infinite);
        gp::GdipDeletePath(PA);
        gp::GdipDeletePath(PB);
        gp::GdipDeletePath(All);
        ASSERT_EQ(Snap.Bytes(), Fresh.Bytes()) << "level " << K;
    }
    // The restore reached beyond B: the outer colour of level 0 shows
    // outside the inner ellipses, and the untouched corner stays white.
    EXPECT_EQ(Snap.At(15, 49), 0x804000u);
    EXPECT_EQ(Snap.At(0, 0), 0xFFFFFFu);
    // Union and the other modes are not offered.
    EXPECT_EQ(gp::GdipSetClipRegion(Snap.G, Saved[0], CombineModeUnion), gsNotImplemented);
    EXPECT_EQ(gp::GdipSetClipRegion(Snap.G, Saved[0], CombineModeXor), gsNotImplemented);
    for (int K = 0; K < 3; ++K) {
        gp::GdipDeleteRegion(Saved[K]);
        gp::GdipDeleteBrush(Brushes[0][K]);
        gp::GdipDeleteBrush(Brushes[1][K]);
    }
}

// Image drawing. Further image cases (pages, colour management) may join
// this test below the drawing cases.
TEST_F(Gdiplus, ImagesAndAttributes) {
    // A 2×2 image drawn through three points rotated 90° clockwise, nearest
    // neighbour, pixel centres at half-integers.
    {
        TGPStatus S;
        GpBitmap* Image = gp::NewBitmap(2, 2, PixelFormat32bppARGB, S);
        ASSERT_EQ(S, gsOk);
        const uint32_t Texels[2][2] = {{0xFFFF0000, 0xFF00FF00}, {0xFF0000FF, 0xFF000000}};
        for (int Y = 0; Y < 2; ++Y) std::memcpy(Image->Row(Y), Texels[Y], 8);
        TImageTarget T(6, 6);
        gp::GdipSetPixelOffsetMode(T.G, PixelOffsetModeHalf);
        gp::GdipSetInterpolationMode(T.G, InterpolationModeNearestNeighbor);
        // Upper-left corner of the image at (5, 1), upper-right at (5, 5),
        // lower-left at (1, 1).
        const GpPointF P[3] = {{5, 1}, {5, 5}, {1, 1}};
        ASSERT_EQ(gp::GdipDrawImagePoints(T.G, Image, P, 3), gsOk);
        for (int Y = 0; Y < 6; ++Y)
            for (int X = 0; X < 6; ++X) {
                uint32_t Want = 0xFFFFFF;
                if (X >= 1 && X < 5 && Y >= 1 && Y < 5) {
                    // Device (x, y) = (5 − 2v, 1 + 2u) for image point (u, v).
                    const double U = (Y + 0.5 - 1) / 2, V = (5 - (X + 0.5)) / 2;
                    Want = Texels[int(V)][int(U)] & 0xFFFFFF;
                }
                EXPECT_EQ(T.At(X, Y), Want) << X << "," << Y;
            }
        // Collinear corners draw nothing.
        const GpPointF Flat[3] = {{0, 0}, {3, 3}, {6, 6}};
        const std::vector<uint8_t> Before = T.Bytes();
        EXPECT_EQ(gp::GdipDrawImagePoints(T.G, Image, Flat, 3), gsOk);
        EXPECT_EQ(T.Bytes(), Before);
        gp::DisposeLiveImage(Image);
    }
    // Colour keys (inclusive per channel) and a colour matrix with alpha 0.5.
    {
        TGPStatus S;
        GpBitmap* Image = gp::NewBitmap(2, 1, PixelFormat32bppARGB, S);
        ASSERT_EQ(S, gsOk);
        const uint32_t Texels[2] = {0xFF6496C8, 0xFFFF0000};  // (100, 150, 200), red
        std::memcpy(Image->Row(0), Texels, 8);
        auto Draw = [&](auto Setup) {
            TImageTarget T(2, 1);
            gp::GdipSetPixelOffsetMode(T.G, PixelOffsetModeHalf);
            gp::GdipSetInterpolationMode(T.G, InterpolationModeNearestNeighbor);
            GpImageAttributes* A = nullptr;
            EXPECT_EQ(gp::GdipCreateImageAttributes(&A), gsOk);
            Setup(A);
            const GpPointF P[3] = {{0, 0}, {2, 0}, {0, 1}};
            EXPECT_EQ(gp::GdipDrawImagePointsRect(T.G, Image, P, 3, 0, 0, 2, 1, UnitPixel, A,
                                                  nullptr, nullptr),
                      gsOk);
            EXPECT_EQ(gp::GdipDisposeImageAttributes(A), gsOk);
            return std::array<uint32_t, 2>{T.At(0, 0), T.At(1, 0)};
        };
        auto Keys = [&](GpARGB Low, GpARGB High) {
            return Draw([&](GpImageAttributes* A) {
                EXPECT_EQ(
                    gp::GdipSetImageAttributesColorKeys(A, ColorAdjustTypeBitmap, 1, Low, High),
                    gsOk);
            });
        };
        EXPECT_EQ(Keys(0xFF5A8CBE, 0xFF6496C8), (std::array<uint32_t, 2>{0xFFFFFF, 0xFF0000}));
        EXPECT_EQ(Keys(0xFF5A8CBE, 0xFF6496C7), (std::array<uint32_t, 2>{0x6496C8, 0xFF0000}));
        // Alpha × 0.5 gives 128 (127.5 to even); red at 128/255 over white
        // is (128 + 127, 127, 127).
        const auto Half = Draw([](GpImageAttributes* A) {
            GpColorMatrix M;
            for (int I = 0; I < 5; ++I) M.m[I][I] = 1;
            M.m[3][3] = 0.5f;
            EXPECT_EQ(gp::GdipSetImageAttributesColorMatrix(A, ColorAdjustTypeBitmap, 1, &M,
                                                            nullptr, ColorMatrixFlagsDefault),
                      gsOk);
        });
        EXPECT_EQ(Half[1], 0xFF7F7Fu);
        const auto Blue = [](uint32_t C) { return int(C & 0xFF); };
        // (100, 150, 200) at alpha 128 over white: 50 + 127, 75 + 127, 100 + 127.
        EXPECT_NEAR(int(Half[0] >> 16), 177, 1);
        EXPECT_NEAR(Blue(Half[0]), 227, 1);
        gp::DisposeLiveImage(Image);
    }
    // Images drawn at their natural size follow the resolutions.
    {
        TGPStatus S;
        GpBitmap* Image = gp::NewBitmap(4, 4, PixelFormat24bppRGB, S);
        ASSERT_EQ(S, gsOk);
        Image->DpiX = Image->DpiY = 48;  // twice the size at 96 DPI
        TImageTarget T(12, 12);
        EXPECT_EQ(gp::GdipDrawImageI(T.G, Image, 1, 1), gsOk);
        EXPECT_EQ(T.At(8, 8), 0u);
        EXPECT_EQ(T.At(9, 9), 0xFFFFFFu);
        EXPECT_EQ(T.At(0, 0), 0xFFFFFFu);
        gp::DisposeLiveImage(Image);
    }
    // Indexed images take no graphics.
    {
        TGPStatus S;
        GpBitmap* Image = gp::NewBitmap(4, 4, PixelFormat8bppIndexed, S);
        GpGraphics* G = nullptr;
        EXPECT_NE(gp::GdipGetImageGraphicsContext(Image, &G), gsOk);
        gp::DisposeLiveImage(Image);
    }
    // Pages of a multi-page TIFF are its frames, selected by 0-based index.
    {
        vpltest::TempDir Dir;
        using vpltest::Load, vpltest::TwoPageTiff, vpltest::Pixel;
        // Two pages: page 2 selected by its 0-based frame index, a third refused.
        GpImage* Image = nullptr;
        ASSERT_EQ(Load(TwoPageTiff(Dir / "two.tif"), &Image), gsOk);
        uint32_t Count = 0, W = 0, DimCount = 0;
        TGUID Dim;
        EXPECT_EQ(gp::GdipImageGetFrameDimensionsCount(Image, &DimCount), gsOk);
        EXPECT_EQ(DimCount, 1u);
        EXPECT_EQ(gp::GdipImageGetFrameDimensionsList(Image, &Dim, 1), gsOk);
        EXPECT_TRUE(Dim == FrameDimensionPage);
        EXPECT_EQ(gp::GdipImageGetFrameCount(Image, &FrameDimensionPage, &Count), gsOk);
        EXPECT_EQ(Count, 2u);
        EXPECT_EQ(gp::GdipImageGetFrameCount(Image, &FrameDimensionTime, &Count),
                  gsInvalidParameter);
        EXPECT_EQ(gp::GdipGetImageWidth(Image, &W), gsOk);
        EXPECT_EQ(W, 4u);
        EXPECT_EQ(Pixel(Image, 0, 0), 0xFFFF0000u);
        EXPECT_EQ(gp::GdipImageSelectActiveFrame(Image, &FrameDimensionPage, 1), gsOk);
        EXPECT_EQ(gp::GdipGetImageWidth(Image, &W), gsOk);
        EXPECT_EQ(W, 5u);
        EXPECT_EQ(Pixel(Image, 4, 1), 0xFF0000FFu);
        EXPECT_EQ(gp::GdipImageSelectActiveFrame(Image, &FrameDimensionPage, 2),
                  gsInvalidParameter);
        EXPECT_EQ(gp::GdipImageSelectActiveFrame(Image, &FrameDimensionPage, 0), gsOk);
        EXPECT_EQ(gp::GdipGetImageWidth(Image, &W), gsOk);
        EXPECT_EQ(W, 4u);
        EXPECT_EQ(gp::GdipDisposeImage(Image), gsOk);
    }
    // Colour-managed loads convert through the embedded profile.
    {
        GpImage* Image = nullptr;
        using vpltest::Load, vpltest::GreyPng, vpltest::LinearProfile, vpltest::Pixel;
        // A linear-gamma profile with the sRGB primaries: 128 is 188 in sRGB.
        struct {
            bool WithProfile, Icm;
            int Expected;
        } Cases[] = {{true, true, 188}, {true, false, 128}, {false, true, 128}};
        const std::string Profile = LinearProfile();
        for (const auto& C : Cases) {
            SCOPED_TRACE(std::to_string(C.WithProfile) + std::to_string(C.Icm));
            ASSERT_EQ(Load(GreyPng(C.WithProfile ? Profile : ""), &Image, C.Icm), gsOk);
            const uint32_t P = Pixel(Image, 1, 1);
            for (int Shift : {0, 8, 16}) EXPECT_NEAR(int((P >> Shift) & 0xFF), C.Expected, 1);
            EXPECT_EQ(gp::GdipDisposeImage(Image), gsOk);
        }
    }
}

// Whole bitmaps of the rasteriser's own layouts are read in place; one
// drawn onto itself (through its own graphics) still reads the pixels it
// had before the draw, in every such layout.
TEST_F(Gdiplus, BitmapDrawnOntoItselfReadsItsOldPixels) {
    const uint32_t Column[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    for (GpPixelFormat Format : {PixelFormat24bppRGB, PixelFormat32bppRGB, PixelFormat32bppPARGB}) {
        SCOPED_TRACE(Format);
        TGPStatus S;
        GpBitmap* Image = gp::NewBitmap(1, 4, Format, S);
        ASSERT_EQ(S, gsOk);
        for (int Y = 0; Y < 4; ++Y) {
            const uint32_t P = 0xFF000000u | Column[Y];
            std::memcpy(Image->Row(Y), &P, Format == PixelFormat24bppRGB ? 3 : 4);
        }
        GpGraphics* G = nullptr;
        ASSERT_EQ(gp::GdipGetImageGraphicsContext(Image, &G), gsOk);
        gp::GdipSetPixelOffsetMode(G, PixelOffsetModeHalf);
        gp::GdipSetInterpolationMode(G, InterpolationModeNearestNeighbor);
        // One row down: rows 1..3 take the old rows 0..2.
        const GpPointF P[3] = {{0, 1}, {1, 1}, {0, 5}};
        ASSERT_EQ(gp::GdipDrawImagePoints(G, Image, P, 3), gsOk);
        gp::GdipDeleteGraphics(G);
        const uint32_t Want[4] = {Column[0], Column[0], Column[1], Column[2]};
        for (int Y = 0; Y < 4; ++Y) {
            uint32_t Got = 0;
            std::memcpy(&Got, Image->Row(Y), 3);
            EXPECT_EQ(Got & 0xFFFFFF, Want[Y]) << "row " << Y;
        }
        gp::DisposeLiveImage(Image);
    }
}

TEST(GdiplusStartup, CallsBeforeStartupAreRefused) {
    ASSERT_FALSE(gp::Started());
    GpPath* P = nullptr;
    GpRegion* R = nullptr;
    GpMatrix* M = nullptr;
    GpPen* Pen = nullptr;
    EXPECT_EQ(gp::GdipCreatePath(FillModeAlternate, &P), gsGdiplusNotInitialized);
    EXPECT_EQ(gp::GdipCreateRegion(&R), gsGdiplusNotInitialized);
    EXPECT_EQ(gp::GdipCreateMatrix2(1, 0, 0, 1, 0, 0, &M), gsGdiplusNotInitialized);
    EXPECT_EQ(gp::GdipCreatePen1(0, 1, UnitWorld, &Pen), gsGdiplusNotInitialized);
    EXPECT_EQ(gp::GdipDeleteGraphics(nullptr), gsGdiplusNotInitialized);
    EXPECT_EQ(P, nullptr);
}

TEST_F(Gdiplus, BadValuesAndStaleHandles) {
    const float NaN = std::numeric_limits<float>::quiet_NaN();
    const float Inf = std::numeric_limits<float>::infinity();
    TImageTarget T(20, 20);
    GpPath* P = nullptr;
    ASSERT_EQ(gp::GdipCreatePath(FillModeAlternate, &P), gsOk);
    EXPECT_EQ(gp::GdipAddPathLine(P, NaN, 0, 1, 1), gsInvalidParameter);
    EXPECT_EQ(gp::GdipAddPathBezier(P, 0, 0, 1, 1, Inf, 2, 3, 3), gsInvalidParameter);
    int32_t Count = -1;
    EXPECT_EQ(gp::GdipGetPointCount(P, &Count), gsOk);
    EXPECT_EQ(Count, 0);
    // Both points of every line are kept.
    gp::GdipAddPathLine(P, 0, 0, 5, 5);
    gp::GdipAddPathLine(P, 5, 5, 9, 1);
    gp::GdipGetPointCount(P, &Count);
    EXPECT_EQ(Count, 4);

    // Matrices: non-finite values and singular transforms are refused.
    GpMatrix* M = nullptr;
    EXPECT_EQ(gp::GdipCreateMatrix2(1, 0, 0, Inf, 0, 0, &M), gsInvalidParameter);
    ASSERT_EQ(gp::GdipCreateMatrix2(1, 2, 2, 4, 0, 0, &M), gsOk);
    EXPECT_EQ(gp::GdipSetWorldTransform(T.G, M), gsInvalidParameter);
    EXPECT_EQ(gp::GdipInvertMatrix(M), gsInvalidParameter);
    EXPECT_EQ(gp::GdipSetMatrixElements(M, NaN, 0, 0, 1, 0, 0), gsInvalidParameter);
    GpPen* Pen = nullptr;
    ASSERT_EQ(gp::GdipCreatePen1(0xFF000000, 2, UnitWorld, &Pen), gsOk);
    EXPECT_EQ(gp::GdipSetPenTransform(Pen, M), gsInvalidParameter);
    EXPECT_EQ(gp::GdipScalePenTransform(Pen, 0, 1, MatrixOrderPrepend), gsInvalidParameter);
    EXPECT_EQ(gp::GdipSetPenDashOffset(Pen, NaN), gsInvalidParameter);
    const float BadDashes[3][2] = {{0, 0}, {1, -1}, {NaN, 1}};
    for (const auto& D : BadDashes)
        EXPECT_EQ(gp::GdipSetPenDashArray(Pen, D, 2), gsInvalidParameter);
    ASSERT_EQ(gp::GdipSetMatrixElements(M, 2, 0, 0, 2, 1, 1), gsOk);
    EXPECT_EQ(gp::GdipInvertMatrix(M), gsOk);
    float E[6];
    gp::GdipGetMatrixElements(M, E);
    EXPECT_FLOAT_EQ(E[0], 0.5f);
    EXPECT_FLOAT_EQ(E[4], -0.5f);

    // Path sequences: a start first, Bézier points in threes.
    const GpPointF Pts[4] = {{0, 0}, {1, 1}, {2, 0}, {3, 1}};
    struct TCase {
        std::vector<uint8_t> Types;
        TGPStatus Want;
    };
    const TCase Cases[] = {
        {{0, 1, 1, 1}, gsOk},
        {{0, 3, 3, 3}, gsOk},
        {{1, 1, 1, 1}, gsInvalidParameter},
        {{0, 3, 3, 1}, gsInvalidParameter},
        {{0, 3, 3 | 0x80, 0}, gsInvalidParameter},
        {{0, 1, 7, 1}, gsInvalidParameter},
    };
    for (const TCase& C : Cases) {
        GpPath* Q = nullptr;
        EXPECT_EQ(gp::GdipCreatePath2(Pts, C.Types.data(), 4, FillModeWinding, &Q), C.Want);
        if (Q) gp::GdipDeletePath(Q);
    }

    // Far-away coordinates are cut to the rasteriser's range, not handed on.
    GpSolidFill* Brush = nullptr;
    gp::GdipCreateSolidFill(0xFF000000, &Brush);
    GpPath* Huge = Line(-1e30f, -1e30f, 1e30f, -1e30f);
    gp::GdipAddPathLine(Huge, 1e30f, 10, -1e30f, 10);
    EXPECT_EQ(gp::GdipFillPath(T.G, Brush, Huge), gsOk);
    EXPECT_EQ(T.At(3, 3), 0u);
    EXPECT_EQ(T.At(3, 15), 0xFFFFFFu);
    EXPECT_EQ(gp::GdipDrawPath(T.G, Pen, Huge), gsOk);
    gp::GdipDeletePath(Huge);

    // World bounds, with and without the pen.
    GpRectF B;
    EXPECT_EQ(gp::GdipGetPathWorldBounds(P, &B, nullptr, nullptr), gsOk);
    EXPECT_FLOAT_EQ(B.X, 0);
    EXPECT_FLOAT_EQ(B.Width, 9);
    EXPECT_EQ(gp::GdipGetPathWorldBounds(P, &B, nullptr, Pen), gsOk);
    EXPECT_FLOAT_EQ(B.X, -1);
    EXPECT_FLOAT_EQ(B.Width, 11);

    // Every kind of handle: a second delete, and use after delete, give a
    // status.
    GpRegion* R = nullptr;
    GpImageAttributes* A = nullptr;
    gp::GdipCreateRegion(&R);
    gp::GdipCreateImageAttributes(&A);
    GpGraphics* G = nullptr;
    ASSERT_EQ(gp::GdipGetImageGraphicsContext(T.B, &G), gsOk);
    EXPECT_EQ(gp::GdipDeletePath(P), gsOk);
    EXPECT_EQ(gp::GdipDeletePath(P), gsInvalidParameter);
    EXPECT_EQ(gp::GdipAddPathLine(P, 0, 0, 1, 1), gsInvalidParameter);
    EXPECT_EQ(gp::GdipDeleteMatrix(M), gsOk);
    EXPECT_EQ(gp::GdipDeleteMatrix(M), gsInvalidParameter);
    EXPECT_EQ(gp::GdipDeletePen(Pen), gsOk);
    EXPECT_EQ(gp::GdipDeletePen(Pen), gsInvalidParameter);
    EXPECT_EQ(gp::GdipDeleteBrush(Brush), gsOk);
    EXPECT_EQ(gp::GdipDeleteBrush(Brush), gsInvalidParameter);
    EXPECT_EQ(gp::GdipDeleteRegion(R), gsOk);
    EXPECT_EQ(gp::GdipDeleteRegion(R), gsInvalidParameter);
    EXPECT_EQ(gp::GdipDisposeImageAttributes(A), gsOk);
    EXPECT_EQ(gp::GdipDisposeImageAttributes(A), gsInvalidParameter);
    EXPECT_EQ(gp::GdipDeleteGraphics(G), gsOk);
    EXPECT_EQ(gp::GdipDeleteGraphics(G), gsInvalidParameter);
    EXPECT_EQ(gp::GdipGraphicsClear(G, 0), gsInvalidParameter);
    // A handle of another kind is no handle.
    EXPECT_EQ(gp::GdipDeletePen(reinterpret_cast<GpPen*>(T.G)), gsInvalidParameter);
}

TEST_F(Gdiplus, GraphicsSettings) {
    GpSolidFill* Black = nullptr;
    ASSERT_EQ(gp::GdipCreateSolidFill(0xFF000000, &Black), gsOk);
    auto Fill = [&](GpGraphics* G, float X, float Y, float W, float H) {
        GpPath* P = Rect(X, Y, W, H);
        EXPECT_EQ(gp::GdipFillPath(G, reinterpret_cast<GpBrush*>(Black), P), gsOk);
        gp::GdipDeletePath(P);
    };
    // A graphics made on a DC keeps the clip the DC had.
    {
        TBitmap Pixels(40, 40, pf24bit);
        for (int Y = 0; Y < 40; ++Y) std::memset(Pixels.ScanLine(Y), 0xFF, 40 * 3);
        HDC Dc = CreateCompatibleDC(nullptr);
        HGDIOBJ Bitmap = AttachBitmapObject(Pixels);
        HGDIOBJ Old = SelectObject(Dc, Bitmap);
        IntersectClipRect(Dc, 10, 10, 20, 30);
        GpGraphics* G = nullptr;
        ASSERT_EQ(gp::GdipCreateFromHDC(Dc, &G), gsOk);
        Fill(G, 0, 0, 40, 40);
        EXPECT_EQ(gp::GdipDeleteGraphics(G), gsOk);
        for (int Y = 0; Y < 40; ++Y)
            for (int X = 0; X < 40; ++X) {
                const bool Inside = X >= 10 && X < 20 && Y >= 10 && Y < 30;
                EXPECT_EQ(Pixels.ScanLine(Y)[3 * X], Inside ? 0 : 0xFF) << X << "," << Y;
            }
        SelectObject(Dc, Old);
        DeleteDC(Dc);
        DetachBitmapObject(Bitmap);
    }
    // Smoothing: HighQuality anti-aliases like AntiAlias; None paints two
    // colours only.
    {
        auto GreysOf = [&](GpSmoothingMode Mode) {
            TImageTarget T(12, 12);
            EXPECT_EQ(gp::GdipSetSmoothingMode(T.G, Mode), gsOk);
            Fill(T.G, 2.3f, 2.3f, 6.4f, 6.4f);
            std::set<uint32_t> Colours;
            for (int Y = 0; Y < 12; ++Y)
                for (int X = 0; X < 12; ++X) Colours.insert(T.At(X, Y));
            return Colours;
        };
        EXPECT_GT(GreysOf(SmoothingModeHighQuality).size(), 2u);
        EXPECT_EQ(GreysOf(SmoothingModeHighQuality), GreysOf(SmoothingModeAntiAlias));
        EXPECT_EQ(GreysOf(SmoothingModeNone).size(), 2u);
    }
    // Page units go through the target's resolution (96 DPI here): a quarter
    // inch and 18 points are both 24 pixels.
    for (const auto& [Unit, Side] :
         {std::pair{UnitInch, 0.25f}, std::pair{UnitPoint, 18.0f}, std::pair{UnitPixel, 24.0f}}) {
        SCOPED_TRACE(Unit);
        TImageTarget T(40, 40);
        EXPECT_EQ(gp::GdipSetPageUnit(T.G, Unit), gsOk);
        gp::GdipSetPixelOffsetMode(T.G, PixelOffsetModeHalf);
        Fill(T.G, 0, 0, Side, Side);
        EXPECT_EQ(T.At(23, 23), 0u);
        EXPECT_EQ(T.At(24, 23), 0xFFFFFFu);
        EXPECT_EQ(T.At(23, 24), 0xFFFFFFu);
    }
    // Interpolation: a black-white pair stretched to 16 pixels keeps two
    // values under nearest neighbour and gains greys under the bilinear and
    // bicubic modes.
    {
        TGPStatus S;
        GpBitmap* Image = gp::NewBitmap(2, 1, PixelFormat32bppARGB, S);
        ASSERT_EQ(S, gsOk);
        const uint32_t Texels[2] = {0xFF000000, 0xFFFFFFFF};
        std::memcpy(Image->Row(0), Texels, 8);
        auto Values = [&](GpInterpolationMode Mode) {
            TImageTarget T(16, 1);
            gp::GdipSetPixelOffsetMode(T.G, PixelOffsetModeHalf);
            EXPECT_EQ(gp::GdipSetInterpolationMode(T.G, Mode), gsOk);
            const GpPointF P[3] = {{0, 0}, {16, 0}, {0, 1}};
            EXPECT_EQ(gp::GdipDrawImagePoints(T.G, Image, P, 3), gsOk);
            std::set<uint32_t> Seen;
            for (int X = 0; X < 16; ++X) Seen.insert(T.At(X, 0) & 0xFF);
            return Seen;
        };
        EXPECT_EQ(Values(InterpolationModeNearestNeighbor), (std::set<uint32_t>{0, 0xFF}));
        EXPECT_GT(Values(InterpolationModeBilinear).size(), 2u);
        EXPECT_GT(Values(InterpolationModeHighQualityBicubic).size(), 2u);
        gp::DisposeLiveImage(Image);
    }
    // SourceCopy replaces the target's pixels, alpha included; SourceOver
    // blends over them.
    {
        GpSolidFill* HalfRed = nullptr;
        ASSERT_EQ(gp::GdipCreateSolidFill(0x80FF0000, &HalfRed), gsOk);
        auto AlphaAfter = [&](GpCompositingMode Mode) {
            TGPStatus S;
            GpBitmap* B = gp::NewBitmap(4, 4, PixelFormat32bppARGB, S);
            EXPECT_EQ(S, gsOk);
            for (int Y = 0; Y < 4; ++Y) std::memset(B->Row(Y), 0xFF, 16);
            GpGraphics* G = nullptr;
            EXPECT_EQ(gp::GdipGetImageGraphicsContext(B, &G), gsOk);
            EXPECT_EQ(gp::GdipSetCompositingMode(G, Mode), gsOk);
            GpPath* P = Rect(0, 0, 4, 4);
            EXPECT_EQ(gp::GdipFillPath(G, reinterpret_cast<GpBrush*>(HalfRed), P), gsOk);
            gp::GdipDeletePath(P);
            EXPECT_EQ(gp::GdipDeleteGraphics(G), gsOk);
            const int Alpha = B->Row(1)[4 + 3];
            gp::DisposeLiveImage(B);
            return Alpha;
        };
        EXPECT_EQ(AlphaAfter(CompositingModeSourceOver), 0xFF);
        EXPECT_NEAR(AlphaAfter(CompositingModeSourceCopy), 0x80, 1);
        gp::GdipDeleteBrush(reinterpret_cast<GpBrush*>(HalfRed));
    }
    gp::GdipDeleteBrush(reinterpret_cast<GpBrush*>(Black));
}

// A font taken from a DC draws characters by its outlines: placed at their
// positions (baseline origin, y down), moved and scaled by the matrix, in
// the brush's colour; bad handles and a DC without a font are refused.
TEST_F(Gdiplus, DriverStringsWithAFontFromADC) {
    LOGFONTW L;
    L.lfHeight = -40;
    L.lfFaceName = u"Liberation Sans";
    HFONT F = CreateFontIndirectW(L);
    HDC Dc = CreateCompatibleDC(nullptr);
    HGDIOBJ Old = SelectObject(Dc, F);
    GpFont* Font = nullptr;
    ASSERT_EQ(gp::GdipCreateFontFromDC(Dc, &Font), gsOk);
    ASSERT_NE(Font, nullptr);
    GpSolidFill* Brush = nullptr;
    ASSERT_EQ(gp::GdipCreateSolidFill(0xFFFF0000, &Brush), gsOk);

    // "I" at (10, 50): a bar from the baseline up about 29 px (the cap
    // height of a 40 px em), a little right of the origin.
    auto Bounds = [&](const GpMatrix* M, int32_t Flags, const uint16_t* Text, int32_t N,
                      const GpPointF* At) {
        TDcTarget T(120, 80);
        EXPECT_EQ(gp::GdipDrawDriverString(T.G, Text, N, Font, Brush, At, Flags, M), gsOk);
        std::array<int, 5> B = {1000, 1000, -1, -1, 0};  // x0 y0 x1 y1 count
        for (int Y = 0; Y < 80; ++Y)
            for (int X = 0; X < 120; ++X)
                if (T.At(X, Y) != 0xFFFFFF) {
                    B[0] = std::min(B[0], X), B[1] = std::min(B[1], Y);
                    B[2] = std::max(B[2], X), B[3] = std::max(B[3], Y);
                    ++B[4];
                }
        if (B[4] > 0 && N == 1) EXPECT_EQ(T.At((B[0] + B[2]) / 2, (B[1] + B[3]) / 2), 0xFF0000u);
        return B;
    };
    const uint16_t I[1] = {'I'};
    const GpPointF At{10, 50};
    const auto Plain = Bounds(nullptr, 1, I, 1, &At);
    ASSERT_GT(Plain[4], 50);
    EXPECT_GE(Plain[0], 10);
    EXPECT_LE(Plain[2], 22);
    EXPECT_NEAR(Plain[3], 49, 1);  // sits on the baseline
    EXPECT_NEAR(Plain[1], 50 - 29, 2);
    // A matrix halves the size and moves it 40 px right.
    GpMatrix* M = nullptr;
    ASSERT_EQ(gp::GdipCreateMatrix2(0.5f, 0, 0, 0.5f, 40, 0, &M), gsOk);
    const auto Half = Bounds(M, 1, I, 1, &At);
    EXPECT_NEAR(Half[3], 24, 1);
    EXPECT_NEAR(Half[1], 25 - 15, 2);
    EXPECT_GE(Half[0], 44);
    EXPECT_LE(Half[2], 52);
    // Realized advance: the second "I" follows the first by its advance.
    const uint16_t II[2] = {'I', 'I'};
    const GpPointF Two[2] = {{10, 50}, {0, 0}};
    const auto Pair = Bounds(nullptr, 1 | 4, II, 2, Two);
    EXPECT_EQ(Pair[4], 2 * Plain[4]);
    EXPECT_GT(Pair[2], Plain[2] + 8);

    TDcTarget T(10, 10);
    EXPECT_EQ(gp::GdipDrawDriverString(T.G, I, 1, nullptr, Brush, &At, 1, nullptr),
              gsInvalidParameter);
    EXPECT_EQ(gp::GdipDrawDriverString(T.G, I, 1, Font, Brush, nullptr, 1, nullptr),
              gsInvalidParameter);
    HDC Bare = CreateCompatibleDC(nullptr);
    GpFont* None = nullptr;
    EXPECT_EQ(gp::GdipCreateFontFromDC(Bare, &None), gsInvalidParameter);
    DeleteDC(Bare);
    EXPECT_EQ(gp::GdipDeleteMatrix(M), gsOk);
    EXPECT_EQ(gp::GdipDeleteBrush(Brush), gsOk);
    EXPECT_EQ(gp::GdipDeleteFont(Font), gsOk);
    EXPECT_EQ(gp::GdipDeleteFont(Font), gsInvalidParameter);
    SelectObject(Dc, Old);
    DeleteDC(Dc);
    DeleteObject(F);
}
