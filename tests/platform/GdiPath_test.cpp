#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <vector>

#include "platform/gdi/Bitmap.h"
#include "platform/gdi/DC.h"

using namespace velmo;

namespace {

// A memory DC drawing into a W×H bitmap of one colour; frees everything.
class TPathDc {
public:
    TPathDc(int W, int H, TPixelFormat F = pf24bit, TColor Background = clWhite) : Pixels(W, H, F) {
        for (int Y = 0; Y < H; ++Y)
            for (int X = 0; X < W; ++X) Pixels.SetPixel(X, Y, Background);
        Dc = CreateCompatibleDC(nullptr);
        Bitmap = AttachBitmapObject(Pixels);
        OldBitmap = SelectObject(Dc, Bitmap);
    }
    ~TPathDc() {
        SelectObject(Dc, OldBitmap);
        SelectObject(Dc, GetStockObject(WHITE_BRUSH));
        SelectObject(Dc, GetStockObject(BLACK_PEN));
        DeleteDC(Dc);
        DetachBitmapObject(Bitmap);
        for (HGDIOBJ O : Made) DeleteObject(O);
    }
    void UseBrush(TColor C) {
        Made.push_back(CreateSolidBrush(COLORREF(C))), SelectObject(Dc, Made.back());
    }
    void UsePen(int Width, TColor C) {
        Made.push_back(CreatePen(PS_SOLID, Width, COLORREF(C)));
        SelectObject(Dc, Made.back());
    }
    // Pixels of colour C.
    int Count(TColor C) const {
        int N = 0;
        for (int Y = 0; Y < Pixels.Height(); ++Y)
            for (int X = 0; X < Pixels.Width(); ++X) N += Pixels.GetPixel(X, Y) == C;
        return N;
    }
    std::set<TColor> Colours() const {
        std::set<TColor> S;
        for (int Y = 0; Y < Pixels.Height(); ++Y)
            for (int X = 0; X < Pixels.Width(); ++X) S.insert(Pixels.GetPixel(X, Y));
        return S;
    }

    TBitmap Pixels;
    HDC Dc = nullptr;
    HBITMAP Bitmap = nullptr;
    HGDIOBJ OldBitmap = nullptr;
    std::vector<HGDIOBJ> Made;
};

// A five-point star drawn in one stroke, every other vertex, so that its
// outline crosses itself around the centre (Cx, Cy).
void StarPath(HDC Dc, int Cx, int Cy, int Radius) {
    const double Pi = std::acos(-1.0);
    for (int I = 0; I < 5; ++I) {
        const double A = -Pi / 2 + (I * 2 % 5) * 2 * Pi / 5;
        const int X = int(std::lround(Cx + Radius * std::cos(A)));
        const int Y = int(std::lround(Cy + Radius * std::sin(A)));
        if (I == 0)
            ASSERT_TRUE(MoveToEx(Dc, X, Y, nullptr));
        else
            ASSERT_TRUE(LineTo(Dc, X, Y));
    }
}

}  // namespace

TEST(GdiPath, StarFillModes) {
    // The centre of the star is wound twice: outside under ALTERNATE, inside
    // under WINDING; a point tip is inside under both. The figure is left
    // open: the fill closes it.
    struct {
        int Mode;
        TColor Centre;
    } const Cases[] = {{ALTERNATE, clWhite}, {WINDING, clBlack}};
    for (const auto& C : Cases) {
        TPathDc P(100, 100);
        P.UseBrush(clBlack);
        EXPECT_EQ(SetPolyFillMode(P.Dc, C.Mode), ALTERNATE);
        ASSERT_TRUE(BeginPath(P.Dc));
        StarPath(P.Dc, 50, 50, 45);
        ASSERT_TRUE(EndPath(P.Dc));
        ASSERT_TRUE(FillPath(P.Dc));
        EXPECT_EQ(P.Pixels.GetPixel(50, 50), C.Centre) << C.Mode;
        EXPECT_EQ(P.Pixels.GetPixel(50, 12), clBlack) << C.Mode;  // top tip
        EXPECT_EQ(P.Pixels.GetPixel(2, 2), clWhite) << C.Mode;
        EXPECT_EQ(P.Colours().size(), 2u) << C.Mode;
        // The path is used up.
        EXPECT_FALSE(FillPath(P.Dc));
    }
    EXPECT_EQ(SetPolyFillMode(nullptr, WINDING), 0);
}

TEST(GdiPath, BracketRules) {
    TPathDc P(20, 20);
    P.UseBrush(clBlack);
    // No path, or one still open, cannot be painted.
    EXPECT_FALSE(FillPath(P.Dc));
    EXPECT_FALSE(EndPath(P.Dc));
    ASSERT_TRUE(BeginPath(P.Dc));
    ASSERT_TRUE(MoveToEx(P.Dc, 2, 2, nullptr));
    ASSERT_TRUE(LineTo(P.Dc, 10, 2));
    ASSERT_TRUE(LineTo(P.Dc, 10, 10));
    EXPECT_FALSE(FillPath(P.Dc));
    EXPECT_FALSE(StrokePath(P.Dc));
    EXPECT_FALSE(SelectClipPath(P.Dc, RGN_AND));
    // Bézier points come in threes.
    const POINT Four[] = {{1, 1}, {2, 2}, {3, 3}, {4, 4}};
    EXPECT_FALSE(PolyBezierTo(P.Dc, Four, 4));
    EXPECT_FALSE(PolyBezierTo(P.Dc, Four, 0));
    EXPECT_TRUE(PolyBezierTo(P.Dc, Four, 3));
    EXPECT_EQ(P.Count(clBlack), 0) << "lines inside a path draw nothing";
    ASSERT_TRUE(EndPath(P.Dc));
    // After EndPath, lines draw at once and leave the completed path alone.
    ASSERT_TRUE(MoveToEx(P.Dc, 0, 19, nullptr));
    ASSERT_TRUE(LineTo(P.Dc, 5, 19));
    EXPECT_EQ(P.Count(clBlack), 5);
    EXPECT_TRUE(FillPath(P.Dc));
    EXPECT_GT(P.Count(clBlack), 5 + 30);
    // AbortPath drops a path: nothing left to fill.
    ASSERT_TRUE(BeginPath(P.Dc));
    ASSERT_TRUE(MoveToEx(P.Dc, 0, 0, nullptr));
    ASSERT_TRUE(LineTo(P.Dc, 5, 5));
    ASSERT_TRUE(EndPath(P.Dc));
    ASSERT_TRUE(AbortPath(P.Dc));
    EXPECT_FALSE(FillPath(P.Dc));
    // A handle that names no DC.
    EXPECT_FALSE(BeginPath(reinterpret_cast<HDC>(P.Bitmap)));
}

TEST(GdiPath, RectangleCoversExactlyItsPixels) {
    // A rectangle 3 .. 11 by 4 .. 9 covers 8 × 5 pixels: the right and bottom
    // edges are outside, with no blended edge pixels, on every target format.
    for (TPixelFormat F : {pf24bit, pf32bit, pf8bit, pf1bit}) {
        TPathDc P(16, 12, F);
        P.UseBrush(clBlack);
        ASSERT_TRUE(BeginPath(P.Dc));
        MoveToEx(P.Dc, 3, 4, nullptr);
        LineTo(P.Dc, 11, 4);
        LineTo(P.Dc, 11, 9);
        LineTo(P.Dc, 3, 9);
        CloseFigure(P.Dc);
        ASSERT_TRUE(EndPath(P.Dc));
        ASSERT_TRUE(FillPath(P.Dc));
        for (int Y = 0; Y < 12; ++Y)
            for (int X = 0; X < 16; ++X) {
                const bool Inside = X >= 3 && X < 11 && Y >= 4 && Y < 9;
                ASSERT_EQ(P.Pixels.GetPixel(X, Y), Inside ? clBlack : clWhite)
                    << "format " << F << " at " << X << "," << Y;
            }
        EXPECT_EQ(P.Colours().size(), 2u);
    }
}

TEST(GdiPath, StrokesByPenWidth) {
    struct {
        int Width;
        int Rows;     // rows painted by a horizontal line
        int Columns;  // columns painted on its axis
    } const Cases[] = {
        {0, 1, 10},  // one pixel, last one left out
        {1, 1, 10},
        {5, 5, 15},  // round caps reach half the width past each end
    };
    for (const auto& C : Cases) {
        TPathDc P(40, 20);
        P.UsePen(C.Width, clBlack);
        ASSERT_TRUE(MoveToEx(P.Dc, 10, 10, nullptr));
        ASSERT_TRUE(LineTo(P.Dc, 20, 10));  // outside a path: draws at once
        int Rows = 0, Columns = 0;
        for (int Y = 0; Y < 20; ++Y) Rows += P.Pixels.GetPixel(15, Y) == clBlack;
        for (int X = 0; X < 40; ++X) Columns += P.Pixels.GetPixel(X, 10) == clBlack;
        EXPECT_EQ(Rows, C.Rows) << C.Width;
        EXPECT_EQ(Columns, C.Columns) << C.Width;
        if (C.Width <= 1) {
            EXPECT_EQ(P.Pixels.GetPixel(10, 10), clBlack);
            EXPECT_EQ(P.Pixels.GetPixel(20, 10), clWhite);
        }
        EXPECT_EQ(P.Colours().size(), 2u);
    }
}

TEST(GdiPath, ClosedOutlineAndStrokeAndFill) {
    // A closed one-pixel outline of a 10 × 10 square: every edge pixel, from
    // 2 to 12 inclusive, since the close returns to the first point.
    TPathDc P(16, 16);
    P.UsePen(1, clBlack);
    P.UseBrush(RGB(255, 0, 0));
    ASSERT_TRUE(BeginPath(P.Dc));
    MoveToEx(P.Dc, 2, 2, nullptr);
    LineTo(P.Dc, 12, 2);
    LineTo(P.Dc, 12, 12);
    LineTo(P.Dc, 2, 12);
    CloseFigure(P.Dc);
    EndPath(P.Dc);
    ASSERT_TRUE(StrokeAndFillPath(P.Dc));
    EXPECT_EQ(P.Count(clBlack), 40);
    // The fill covers 2 .. 11 both ways; the outline overwrites its top row
    // and its left column below that.
    EXPECT_EQ(P.Count(RGB(255, 0, 0)), 100 - 10 - 9);
}

TEST(GdiPath, ClipPathLimitsLaterDrawing) {
    // A Bézier lens as the clip: a fill of the whole bitmap paints the lens
    // only, and a clear region (null) lifts it.
    TPathDc P(40, 40);
    P.UseBrush(clBlack);
    ASSERT_TRUE(BeginPath(P.Dc));
    MoveToEx(P.Dc, 5, 20, nullptr);
    const POINT Curve[] = {{15, 0}, {25, 0}, {35, 20}, {25, 40}, {15, 40}, {5, 20}};
    ASSERT_TRUE(PolyBezierTo(P.Dc, Curve, 6));
    ASSERT_TRUE(EndPath(P.Dc));
    ASSERT_TRUE(SelectClipPath(P.Dc, RGN_AND));
    const RECT All{0, 0, 40, 40};
    HBRUSH Black = P.Made.back();
    ASSERT_TRUE(FillRect(P.Dc, &All, Black));
    EXPECT_EQ(P.Pixels.GetPixel(20, 20), clBlack);
    EXPECT_EQ(P.Pixels.GetPixel(6, 5), clWhite);
    EXPECT_EQ(P.Pixels.GetPixel(20, 1), clWhite);
    // Each arc rises 60·t·(1 − t) over x = 5 + 30·t: the lens has an area of
    // 2 · 30 · 60 / 6 = 600 pixels.
    const int Lens = P.Count(clBlack);
    EXPECT_NEAR(Lens, 600, 15);
    RECT Box;
    EXPECT_EQ(GetClipBox(P.Dc, &Box), COMPLEXREGION);
    EXPECT_EQ(Box.left, 5);
    EXPECT_EQ(Box.right, 35);
    EXPECT_EQ(SelectClipRgn(P.Dc, nullptr), SIMPLEREGION);
    ASSERT_TRUE(FillRect(P.Dc, &All, Black));
    EXPECT_EQ(P.Count(clBlack), 1600);
}

TEST(GdiPath, CanvasDrawsIntoItsBitmap) {
    TBitmap B(10, 10);
    TCanvas& C = B.Canvas();
    C.Brush().Color = clWhite;
    C.FillRect(RECT{0, 0, 10, 10});
    C.Brush().Color = RGB(0, 0, 255);
    C.FillRect(RECT{2, 3, 5, 7});
    EXPECT_EQ(B.GetPixel(2, 3), RGB(0, 0, 255));
    EXPECT_EQ(B.GetPixel(4, 6), RGB(0, 0, 255));
    EXPECT_EQ(B.GetPixel(5, 6), clWhite);
    EXPECT_EQ(B.GetPixel(4, 7), clWhite);
    // A clear brush paints nothing.
    C.Brush().Style = bsClear;
    C.FillRect(RECT{0, 0, 10, 10});
    EXPECT_EQ(B.GetPixel(0, 0), clWhite);
    // Paths on the handle use the canvas pen.
    C.Pen().Color = RGB(255, 0, 0);
    HDC Dc = C.Handle();
    ASSERT_NE(Dc, nullptr);
    MoveToEx(Dc, 0, 9, nullptr);
    LineTo(Dc, 10, 9);
    EXPECT_EQ(B.GetPixel(9, 9), RGB(255, 0, 0));
    // CopyRect stretches a 2 × 2 block of another canvas onto 4 × 4.
    TBitmap Other(2, 2);
    Other.SetPixel(0, 0, clBlack);
    Other.SetPixel(1, 1, clBlack);
    Other.SetPixel(1, 0, clWhite);
    Other.SetPixel(0, 1, clWhite);
    C.CopyRect(RECT{6, 0, 10, 4}, Other.Canvas(), RECT{0, 0, 2, 2});
    EXPECT_EQ(B.GetPixel(6, 0), clBlack);
    EXPECT_EQ(B.GetPixel(9, 0), clWhite);
    EXPECT_EQ(B.GetPixel(9, 3), clBlack);
    // The bitmap object belongs to the bitmap: it cannot be freed apart.
    EXPECT_FALSE(DeleteObject(B.Handle()));
    // A size change of the bitmap is seen by the handle.
    B.SetSize(20, 20);
    C.Brush().Style = bsSolid;
    C.FillRect(RECT{15, 15, 20, 20});
    EXPECT_EQ(B.GetPixel(19, 19), RGB(0, 0, 255));
}

TEST(GdiPath, ExtremeCoordinates) {
    // Coordinates at the ends of the int range are cut, not wrapped: a huge
    // square still covers the bitmap and a line across it still crosses it.
    const int Lo = std::numeric_limits<int>::min(), Hi = std::numeric_limits<int>::max();
    TPathDc P(8, 8);
    P.UseBrush(clBlack);
    ASSERT_TRUE(BeginPath(P.Dc));
    MoveToEx(P.Dc, Lo, Lo, nullptr);
    LineTo(P.Dc, Hi, Lo);
    LineTo(P.Dc, Hi, Hi);
    LineTo(P.Dc, Lo, Hi);
    ASSERT_TRUE(EndPath(P.Dc));
    ASSERT_TRUE(FillPath(P.Dc));
    EXPECT_EQ(P.Count(clBlack), 64);

    TPathDc L(8, 8);
    L.UsePen(1, clBlack);
    MoveToEx(L.Dc, Lo, 3, nullptr);
    ASSERT_TRUE(LineTo(L.Dc, Hi, 3));
    EXPECT_EQ(L.Count(clBlack), 8);
    L.UsePen(3, RGB(255, 0, 0));
    MoveToEx(L.Dc, 4, Lo, nullptr);
    ASSERT_TRUE(LineTo(L.Dc, 4, Hi));
    EXPECT_EQ(L.Count(RGB(255, 0, 0)), 24);

    HRGN Huge = CreateRectRgn(Lo, Lo, Hi, Hi);
    RECT Box;
    EXPECT_EQ(GetRgnBox(Huge, &Box), SIMPLEREGION);
    EXPECT_EQ(Box.left, -(1 << 27));
    EXPECT_EQ(Box.right, 1 << 27);
    EXPECT_EQ(OffsetRgn(Huge, Lo, 0), ERROR);
    EXPECT_EQ(SelectClipRgn(L.Dc, Huge), SIMPLEREGION);
    EXPECT_EQ(GetClipBox(L.Dc, &Box), SIMPLEREGION);
    EXPECT_EQ(Box.right, 8);
    EXPECT_TRUE(DeleteObject(Huge));
}

TEST(GdiPath, ClipOnlyCutsWhatAPathPaints) {
    // A fill that holds zero-area figures crossing its other figures, drawn
    // through clips whose pieces end close to the path: each clipped result
    // is the unclipped one within the clip, pixel for pixel, and none of the
    // clip's or the path's edges leaves a stray pixel.
    auto Draw = [](TPathDc& P, int Mode) {
        P.UseBrush(clBlack);
        ASSERT_NE(SetPolyFillMode(P.Dc, Mode), 0);
        ASSERT_TRUE(BeginPath(P.Dc));
        const POINT Lobe[] = {{88, 293}, {66, 292}, {59, 280}};
        MoveToEx(P.Dc, 74, 273, nullptr);
        PolyBezierTo(P.Dc, Lobe, 3);
        CloseFigure(P.Dc);
        MoveToEx(P.Dc, 97, 241, nullptr);  // zero area
        LineTo(P.Dc, 49, 299);
        CloseFigure(P.Dc);
        const POINT Twist[] = {{81, 304}, {62, 253}, {80, 287}};
        MoveToEx(P.Dc, 39, 255, nullptr);
        LineTo(P.Dc, 108, 256);
        LineTo(P.Dc, 71, 295);
        PolyBezierTo(P.Dc, Twist, 3);
        CloseFigure(P.Dc);
        MoveToEx(P.Dc, 90, 238, nullptr);  // zero area
        LineTo(P.Dc, 64, 279);
        CloseFigure(P.Dc);
        ASSERT_TRUE(EndPath(P.Dc));
        ASSERT_TRUE(FillPath(P.Dc));
    };
    const RECT Clips[][2] = {
        {{96, 0, 120, 310}, {0, 0, 50, 100}},     // the part near the path starts at 96
        {{0, 240, 120, 310}, {0, 0, 120, 10}},    // ... at row 240
        {{0, 0, 97, 310}, {110, 0, 120, 10}},     // ends at column 97
        {{40, 250, 100, 300}, {0, 0, 120, 310}},  // the whole bitmap
    };
    for (int Mode : {ALTERNATE, WINDING}) {
        TPathDc Whole(120, 310);
        Draw(Whole, Mode);
        ASSERT_GT(Whole.Count(clBlack), 500);
        for (const auto& C : Clips) {
            TPathDc P(120, 310);
            HRGN A = CreateRectRgn(C[0].left, C[0].top, C[0].right, C[0].bottom);
            HRGN B = CreateRectRgn(C[1].left, C[1].top, C[1].right, C[1].bottom);
            P.Made.push_back(A), P.Made.push_back(B);
            ASSERT_NE(CombineRgn(A, A, B, RGN_OR), ERROR);
            ASSERT_NE(SelectClipRgn(P.Dc, A), ERROR);
            Draw(P, Mode);
            int Wrong = 0;
            for (int Y = 0; Y < 310; ++Y)
                for (int X = 0; X < 120; ++X) {
                    const bool In = PtInRegion(A, X, Y) != 0;
                    Wrong +=
                        P.Pixels.GetPixel(X, Y) != (In ? Whole.Pixels.GetPixel(X, Y) : clWhite);
                }
            EXPECT_EQ(Wrong, 0) << Mode << " " << C[0].left << "," << C[0].top;
        }
    }
}

TEST(GdiPath, ManyStrokesOnALargeBitmap) {
    // Each stroke costs what its own pixels cost, not what the bitmap or the
    // clip holds: 20,000 strokes on a 4000 × 4000 bitmap take moments (a
    // stroke that walked the bitmap would take hours and meet the time-out).
    // One-pixel strokes, a wide one and a filled path each paint their own
    // pixels through a clip that leaves out one band.
    TPathDc P(4000, 4000);
    HRGN Clip = CreateRectRgn(0, 0, 4000, 4000);
    HRGN Band = CreateRectRgn(0, 2000, 4000, 2040);
    P.Made.push_back(Clip), P.Made.push_back(Band);
    ASSERT_EQ(CombineRgn(Clip, Clip, Band, RGN_DIFF), COMPLEXREGION);
    ASSERT_NE(SelectClipRgn(P.Dc, Clip), ERROR);
    P.UsePen(1, clBlack);
    constexpr int Strokes = 20000;
    auto Start = [](int I) { return POINT{(I % 200) * 20 + 1, (I / 200) * 40 + 1}; };
    for (int I = 0; I < Strokes; ++I) {
        const POINT S = Start(I);
        ASSERT_TRUE(MoveToEx(P.Dc, S.x, S.y, nullptr));
        ASSERT_TRUE(LineTo(P.Dc, S.x + 2, S.y));
    }
    int Painted = 0, Stray = 0;
    for (int I = 0; I < Strokes; ++I) {
        const POINT S = Start(I);
        const bool Clipped = S.y >= 2000 && S.y < 2040;
        for (int X = S.x - 1; X <= S.x + 2; ++X) {
            const bool Ink = P.Pixels.GetPixel(X, S.y) == clBlack;
            if ((X == S.x || X == S.x + 1) && !Clipped)
                Painted += Ink;
            else
                Stray += Ink;
        }
        Stray += P.Pixels.GetPixel(S.x, S.y + 1) == clBlack;
    }
    EXPECT_EQ(Painted, 2 * (Strokes - 200));
    EXPECT_EQ(Stray, 0);
    // A wide stroke and a fill far from the bitmap's origin.
    P.UsePen(9, RGB(255, 0, 0));
    ASSERT_TRUE(MoveToEx(P.Dc, 3900, 3905, nullptr));
    ASSERT_TRUE(LineTo(P.Dc, 3950, 3905));
    EXPECT_EQ(P.Pixels.GetPixel(3925, 3901), RGB(255, 0, 0));
    EXPECT_EQ(P.Pixels.GetPixel(3925, 3909), RGB(255, 0, 0));
    EXPECT_EQ(P.Pixels.GetPixel(3925, 3911), clWhite);
    P.UseBrush(RGB(0, 0, 255));
    P.UsePen(0, RGB(0, 0, 255));
    ASSERT_TRUE(BeginPath(P.Dc));
    MoveToEx(P.Dc, 3990, 1990, nullptr);
    LineTo(P.Dc, 3998, 1990);
    LineTo(P.Dc, 3998, 2050);
    LineTo(P.Dc, 3990, 2050);
    CloseFigure(P.Dc);
    ASSERT_TRUE(EndPath(P.Dc));
    ASSERT_TRUE(FillPath(P.Dc));
    int Blue = 0;
    for (int Y = 1980; Y < 2060; ++Y)
        for (int X = 3985; X < 4000; ++X) Blue += P.Pixels.GetPixel(X, Y) == RGB(0, 0, 255);
    EXPECT_EQ(Blue, 8 * (60 - 40));
}
