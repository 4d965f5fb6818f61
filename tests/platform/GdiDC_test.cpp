#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/gdi/DC.h"

using namespace velmo;

namespace {

// A memory DC drawing into a white W×H 24-bit bitmap, with a black brush.
class TClipDc {
public:
    TClipDc(int W, int H) : Pixels(W, H) {
        Dc = CreateCompatibleDC(nullptr);
        Bitmap = AttachBitmapObject(Pixels);
        OldBitmap = SelectObject(Dc, Bitmap);
        White = GetStockObject(WHITE_BRUSH);
        Black = CreateSolidBrush(0);
        const RECT All{0, 0, W, H};
        FillRect(Dc, &All, White);
    }
    ~TClipDc() {
        SelectObject(Dc, OldBitmap);
        DeleteDC(Dc);
        DetachBitmapObject(Bitmap);
        DeleteObject(Black);
    }
    void Clear() {
        SelectClipRgn(Dc, nullptr);
        const RECT All{0, 0, Pixels.Width(), Pixels.Height()};
        FillRect(Dc, &All, White);
    }
    // Fills everything through the clip and returns the painted pixels.
    std::vector<bool> Painted() {
        const RECT All{0, 0, Pixels.Width(), Pixels.Height()};
        EXPECT_TRUE(FillRect(Dc, &All, Black));
        std::vector<bool> Out;
        for (int Y = 0; Y < Pixels.Height(); ++Y)
            for (int X = 0; X < Pixels.Width(); ++X)
                Out.push_back(Pixels.GetPixel(X, Y) == clBlack);
        return Out;
    }

    TBitmap Pixels;
    HDC Dc = nullptr;
    HBITMAP Bitmap = nullptr;
    HGDIOBJ OldBitmap = nullptr, White = nullptr, Black = nullptr;
};

bool SameRect(const RECT& A, const RECT& B) {
    return A.left == B.left && A.top == B.top && A.right == B.right && A.bottom == B.bottom;
}

}  // namespace

TEST(GdiDC, ClipsRegionsLevels) {
    TClipDc D(20, 20);
    RECT Box;

    // Without a clip the whole bitmap is drawable.
    EXPECT_EQ(GetClipBox(D.Dc, &Box), SIMPLEREGION);
    EXPECT_TRUE(SameRect(Box, RECT{0, 0, 20, 20}));

    // IntersectClipRect then FillRect paints exactly the intersection.
    EXPECT_EQ(IntersectClipRect(D.Dc, 5, 5, 15, 15), SIMPLEREGION);
    const RECT Fill{0, 0, 10, 12};
    ASSERT_TRUE(FillRect(D.Dc, &Fill, D.Black));
    for (int Y = 0; Y < 20; ++Y)
        for (int X = 0; X < 20; ++X)
            ASSERT_EQ(D.Pixels.GetPixel(X, Y) == clBlack, X >= 5 && X < 10 && Y >= 5 && Y < 12)
                << X << "," << Y;
    // Blits keep to the clip too.
    ASSERT_TRUE(PatBlt(D.Dc, 0, 0, 20, 20, BLACKNESS));
    EXPECT_EQ(D.Pixels.GetPixel(14, 14), clBlack);
    EXPECT_EQ(D.Pixels.GetPixel(15, 15), clWhite);
    EXPECT_EQ(D.Pixels.GetPixel(4, 10), clWhite);
    // A disjoint rectangle leaves nothing drawable.
    EXPECT_EQ(IntersectClipRect(D.Dc, 16, 0, 20, 20), NULLREGION);
    EXPECT_EQ(GetClipBox(D.Dc, &Box), NULLREGION);
    D.Clear();

    // CombineRgn result types per mode.
    HRGN A = CreateRectRgn(0, 0, 10, 10), B = CreateRectRgn(5, 5, 15, 15),
         Far = CreateRectRgn(30, 30, 40, 40), Out = CreateRectRgn(0, 0, 0, 0);
    struct {
        HRGN S1, S2;
        int Mode, Type;
    } const Cases[] = {
        {A, B, RGN_AND, SIMPLEREGION},
        {A, Far, RGN_AND, NULLREGION},
        {A, B, RGN_OR, COMPLEXREGION},
        {A, A, RGN_OR, SIMPLEREGION},
        {A, B, RGN_XOR, COMPLEXREGION},
        {A, A, RGN_XOR, NULLREGION},
        {A, B, RGN_DIFF, COMPLEXREGION},
        {A, Far, RGN_DIFF, SIMPLEREGION},
        {A, A, RGN_DIFF, NULLREGION},
        {A, nullptr, RGN_COPY, SIMPLEREGION},
        {Out, nullptr, RGN_COPY, SIMPLEREGION},  // Dest may be the source
        {A, B, 0, ERROR},
        {A, B, 6, ERROR},
        {A, nullptr, RGN_AND, ERROR},
    };
    for (const auto& C : Cases) EXPECT_EQ(CombineRgn(Out, C.S1, C.S2, C.Mode), C.Type) << C.Mode;
    EXPECT_EQ(CombineRgn(Out, A, B, RGN_XOR), COMPLEXREGION);
    EXPECT_TRUE(PtInRegion(Out, 2, 2));
    EXPECT_FALSE(PtInRegion(Out, 7, 7));
    EXPECT_TRUE(PtInRegion(Out, 12, 12));
    EXPECT_FALSE(PtInRegion(Out, 15, 15));  // right and bottom edges excluded
    EXPECT_EQ(GetRgnBox(Out, &Box), COMPLEXREGION);
    EXPECT_TRUE(SameRect(Box, RECT{0, 0, 15, 15}));
    EXPECT_EQ(OffsetRgn(Out, 3, -2), COMPLEXREGION);
    EXPECT_EQ(GetRgnBox(Out, &Box), COMPLEXREGION);
    EXPECT_TRUE(SameRect(Box, RECT{3, -2, 18, 13}));
    // A move past the coordinate range fails and leaves the region alone.
    EXPECT_EQ(OffsetRgn(Out, 0x7FFFFFFF, 0), ERROR);
    EXPECT_EQ(GetRgnBox(Out, &Box), COMPLEXREGION);
    EXPECT_EQ(Box.left, 3);
    // Reversed corners make the same rectangle.
    HRGN Reversed = CreateRectRgn(10, 10, 0, 0);
    EXPECT_EQ(GetRgnBox(Reversed, &Box), SIMPLEREGION);
    EXPECT_TRUE(SameRect(Box, RECT{0, 0, 10, 10}));

    // SaveDC / RestoreDC bring back each level's clip exactly.
    ASSERT_EQ(CombineRgn(Out, A, B, RGN_XOR), COMPLEXREGION);
    ASSERT_EQ(SaveDC(D.Dc), 1);  // no clip
    EXPECT_EQ(SelectClipRgn(D.Dc, Out), COMPLEXREGION);
    const std::vector<bool> Xor = D.Painted();
    D.Clear();
    ASSERT_EQ(SelectClipRgn(D.Dc, Out), COMPLEXREGION);
    ASSERT_EQ(SaveDC(D.Dc), 2);  // the XOR clip
    // The DC keeps a copy: changing or deleting the region later is not seen.
    ASSERT_EQ(CombineRgn(Out, A, A, RGN_COPY), SIMPLEREGION);
    EXPECT_EQ(IntersectClipRect(D.Dc, 0, 0, 4, 4), SIMPLEREGION);
    EXPECT_EQ(SelectClipRgn(D.Dc, Far), SIMPLEREGION);
    ASSERT_TRUE(RestoreDC(D.Dc, -1));
    EXPECT_EQ(GetClipBox(D.Dc, &Box), COMPLEXREGION);
    EXPECT_EQ(D.Painted(), Xor);
    int Count = 0;
    for (bool P : Xor) Count += P;
    EXPECT_EQ(Count, 100 + 100 - 2 * 25);
    D.Clear();
    ASSERT_TRUE(SelectClipRgn(D.Dc, Far));
    ASSERT_TRUE(RestoreDC(D.Dc, 1));
    EXPECT_EQ(GetClipBox(D.Dc, &Box), SIMPLEREGION);
    EXPECT_TRUE(SameRect(Box, RECT{0, 0, 20, 20}));
    EXPECT_FALSE(RestoreDC(D.Dc, 1));

    // Stale and foreign handles fail.
    ASSERT_TRUE(DeleteObject(Out));
    EXPECT_EQ(CombineRgn(Out, A, B, RGN_OR), ERROR);
    EXPECT_EQ(CombineRgn(A, Out, B, RGN_OR), ERROR);
    EXPECT_EQ(OffsetRgn(Out, 1, 1), ERROR);
    EXPECT_EQ(GetRgnBox(Out, &Box), ERROR);
    EXPECT_FALSE(PtInRegion(Out, 2, 2));
    EXPECT_EQ(SelectClipRgn(D.Dc, Out), ERROR);
    EXPECT_FALSE(DeleteObject(Out));
    EXPECT_EQ(SelectClipRgn(D.Dc, D.Black), ERROR);  // a brush is no region
    EXPECT_EQ(GetRgnBox(D.Black, &Box), ERROR);
    const RECT All{0, 0, 20, 20};
    EXPECT_FALSE(FillRect(D.Dc, &All, A));  // a region is no brush
    EXPECT_EQ(SelectObject(D.Dc, A), nullptr);
    EXPECT_EQ(IntersectClipRect(reinterpret_cast<HDC>(A), 0, 0, 1, 1), ERROR);
    EXPECT_EQ(GetClipBox(nullptr, &Box), ERROR);
    for (HRGN R : {A, B, Far, Reversed}) EXPECT_TRUE(DeleteObject(R));
}

TEST(GdiDC, ExtSelectClipRgnCombinesWithTheClip) {
    // Clip [2, 6) × [0, 4) of an 8×4 bitmap combined with region [4, 8) × [1, 3).
    struct TCase {
        int Mode;
        int Type;
        bool (*Inside)(int X, int Y);
    };
    const TCase Cases[] = {
        {RGN_AND, SIMPLEREGION, [](int X, int Y) { return X >= 4 && X < 6 && Y >= 1 && Y < 3; }},
        {RGN_OR, COMPLEXREGION, [](int X, int Y) { return (X >= 2 && X < 6) || (X >= 4 && Y >= 1 && Y < 3); }},
        {RGN_XOR, COMPLEXREGION,
         [](int X, int Y) { return (X >= 2 && X < 6) != (X >= 4 && Y >= 1 && Y < 3); }},
        {RGN_DIFF, COMPLEXREGION, [](int X, int Y) { return X >= 2 && X < 6 && !(X >= 4 && Y >= 1 && Y < 3); }},
        {RGN_COPY, SIMPLEREGION, [](int X, int Y) { return X >= 4 && Y >= 1 && Y < 3; }},
    };
    TClipDc D(8, 4);
    HRGN Region = CreateRectRgn(4, 1, 8, 3);
    for (const TCase& C : Cases) {
        D.Clear();
        IntersectClipRect(D.Dc, 2, 0, 6, 4);
        EXPECT_EQ(ExtSelectClipRgn(D.Dc, Region, C.Mode), C.Type) << C.Mode;
        const std::vector<bool> Got = D.Painted();
        for (int Y = 0; Y < 4; ++Y)
            for (int X = 0; X < 8; ++X)
                EXPECT_EQ(Got[size_t(Y * 8 + X)], C.Inside(X, Y)) << C.Mode << ": " << X << "," << Y;
    }
    // Without a clip the bitmap is the clip; a null region only with COPY,
    // where it removes the clip.
    D.Clear();
    EXPECT_EQ(ExtSelectClipRgn(D.Dc, Region, RGN_DIFF), COMPLEXREGION);
    EXPECT_EQ(ExtSelectClipRgn(D.Dc, nullptr, RGN_AND), ERROR);
    EXPECT_EQ(ExtSelectClipRgn(D.Dc, Region, 99), ERROR);
    EXPECT_EQ(ExtSelectClipRgn(D.Dc, nullptr, RGN_COPY), SIMPLEREGION);
    const std::vector<bool> All = D.Painted();
    EXPECT_EQ(std::count(All.begin(), All.end(), true), 32);
    DeleteObject(Region);
    EXPECT_EQ(ExtSelectClipRgn(D.Dc, Region, RGN_AND), ERROR);
}
