// Masked blits, focus rectangles, edges, image lists, icons, DIB read-out
// and the smaller clip and region calls.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/gdi/DC.h"
#include "platform/ui/Icons.h"
#include "platform/ui/ImageLists.h"
#include "tests/platform/WindowFixture.h"

namespace velmo {
namespace {

// A memory DC over its own bitmap.
struct TTarget {
    TBitmap Pixels;
    HDC Dc = nullptr;
    HBITMAP Object = nullptr;
    HGDIOBJ Old = nullptr;
    explicit TTarget(int W, int H, TPixelFormat F = pf24bit, COLORREF Fill = 0xFF00FF) : Pixels(W, H, F) {
        Dc = CreateCompatibleDC(nullptr);
        Object = AttachBitmapObject(Pixels);
        Old = SelectObject(Dc, Object);
        for (int Y = 0; Y < H; ++Y)
            for (int X = 0; X < W; ++X) Pixels.SetPixel(X, Y, TColor(Fill));
    }
    ~TTarget() {
        SelectObject(Dc, Old);
        DeleteDC(Dc);
        DetachBitmapObject(Object);
    }
    COLORREF At(int X, int Y) const { return COLORREF(Pixels.GetPixel(X, Y)); }
};

// Distinct colours for the system colour entries the painters use, so a
// golden can tell every one apart.
COLORREF TestSysColour(int Index) {
    switch (Index) {
        case 5: return 0x0000C0;   // window              'w'
        case 6: return 0x00C000;   // window frame        'f'
        case 15: return 0xC0C0C0;  // button face         'F'
        case 16: return 0x808080;  // button shadow       'S'
        case 20: return 0xFFFFFF;  // button highlight    'H'
        case 21: return 0x404040;  // dark shadow         'D'
        case 22: return 0xE0E0E0;  // light               'L'
    }
    return 0x123456;
}

const std::map<char, COLORREF> Legend = {
    {'w', 0x0000C0}, {'f', 0x00C000}, {'F', 0xC0C0C0}, {'S', 0x808080}, {'H', 0xFFFFFF},
    {'D', 0x404040}, {'L', 0xE0E0E0}, {'.', 0xFF00FF}, {'K', 0x000000},
    {'r', 0x0000FF}, {'g', 0x00FF00}, {'b', 0xFF0000}, {'y', 0x00FFFF}, {'B', 0x808000},
};

// The target's pixels as legend letters ('?' for colours outside it).
std::vector<std::string> Picture(const TTarget& T) {
    std::vector<std::string> Rows;
    for (int Y = 0; Y < T.Pixels.Height(); ++Y) {
        std::string Row;
        for (int X = 0; X < T.Pixels.Width(); ++X) {
            char C = '?';
            for (const auto& [Letter, Colour] : Legend)
                if (Colour == T.At(X, Y)) C = Letter;
            Row += C;
        }
        Rows.push_back(Row);
    }
    return Rows;
}

class SysColourSwap {
public:
    SysColourSwap() { SetGdiSysColorSource(&TestSysColour); }
    ~SysColourSwap() { SetGdiSysColorSource(&GetSysColor); }
};

HBITMAP OneBitBitmap(const std::vector<int>& Bits, int W, int H) {
    TBitmap B(W, H, pf1bit);
    for (int I = 0; I < W * H; ++I) B.SetPixel(I % W, I / W, Bits[size_t(I)] ? 0xFFFFFF : 0);
    return CreateBitmapObject(B);
}

TEST(GdiWindow, PaintersAndMasks) {
    // MaskBlt on single pixels: white is all ones, black all zeros, so each
    // row is one line of the operations' truth tables. 0xE2 takes the brush
    // where the source is set and keeps the destination elsewhere.
    const DWORD Transparent = 0x00E20746;
    struct TRow {
        int M, P, S, D;
        int ForeE2BackCopy, ForeCopyBackE2;
    };
    const TRow Table[] = {
        {0, 0, 0, 0, 0, 0}, {0, 0, 0, 1, 0, 1}, {0, 0, 1, 0, 1, 0}, {0, 0, 1, 1, 1, 0},
        {0, 1, 0, 0, 0, 0}, {0, 1, 0, 1, 0, 1}, {0, 1, 1, 0, 1, 1}, {0, 1, 1, 1, 1, 1},
        {1, 0, 0, 0, 0, 0}, {1, 0, 0, 1, 1, 0}, {1, 0, 1, 0, 0, 1}, {1, 0, 1, 1, 0, 1},
        {1, 1, 0, 0, 0, 0}, {1, 1, 0, 1, 1, 0}, {1, 1, 1, 0, 1, 1}, {1, 1, 1, 1, 1, 1},
    };
    auto Bw = [](int V) { return COLORREF(V ? 0xFFFFFF : 0); };
    for (const TRow& R : Table) {
        for (int Reverse = 0; Reverse < 2; ++Reverse) {
            TTarget Dst(1, 1, pf24bit, Bw(R.D)), Src(1, 1, pf24bit, Bw(R.S));
            HBITMAP Mask = OneBitBitmap({R.M}, 1, 1);
            HBRUSH Brush = CreateSolidBrush(Bw(R.P));
            HGDIOBJ OldBrush = SelectObject(Dst.Dc, Brush);
            const DWORD Rop = Reverse ? MAKEROP4(SRCCOPY, Transparent) : MAKEROP4(Transparent, SRCCOPY);
            ASSERT_TRUE(MaskBlt(Dst.Dc, 0, 0, 1, 1, Src.Dc, 0, 0, Mask, 0, 0, Rop));
            EXPECT_EQ(Dst.At(0, 0), Bw(Reverse ? R.ForeCopyBackE2 : R.ForeE2BackCopy))
                << "mask " << R.M << " brush " << R.P << " source " << R.S << " dest " << R.D
                << (Reverse ? " reversed" : "");
            SelectObject(Dst.Dc, OldBrush);
            DeleteObject(Brush);
            DeleteObject(Mask);
        }
    }
    {
        // The mask is read from its own origin; one too small, or not 1-bit,
        // makes the blit fail; no mask applies the foreground everywhere.
        TTarget Dst(2, 1, pf24bit, 0), Src(2, 1, pf24bit, 0xFFFFFF);
        HBITMAP Mask = OneBitBitmap({0, 1, 0}, 3, 1);
        ASSERT_TRUE(MaskBlt(Dst.Dc, 0, 0, 2, 1, Src.Dc, 0, 0, Mask, 1, 0, MAKEROP4(SRCCOPY, 0x00AA0029)));
        EXPECT_EQ(Dst.At(0, 0), 0xFFFFFFu);
        EXPECT_EQ(Dst.At(1, 0), 0u);
        EXPECT_FALSE(MaskBlt(Dst.Dc, 0, 0, 2, 1, Src.Dc, 0, 0, Mask, 2, 0, SRCCOPY));
        TBitmap Colour(2, 1, pf24bit);
        HBITMAP NotMono = CreateBitmapObject(Colour);
        EXPECT_FALSE(MaskBlt(Dst.Dc, 0, 0, 2, 1, Src.Dc, 0, 0, NotMono, 0, 0, SRCCOPY));
        EXPECT_TRUE(MaskBlt(Dst.Dc, 0, 0, 2, 1, Src.Dc, 0, 0, nullptr, 0, 0, MAKEROP4(SRCCOPY, 0x00AA0029)));
        EXPECT_EQ(Dst.At(1, 0), 0xFFFFFFu);
        DeleteObject(Mask);
        DeleteObject(NotMono);
    }

    // DrawFocusRect inverts a dotted frame, every pixel of it at most once;
    // drawn again it restores the pixels, thin rectangles included.
    {
        TTarget T(16, 10, pf32bit);
        for (int Y = 0; Y < 10; ++Y)
            for (int X = 0; X < 16; ++X) T.Pixels.SetPixel(X, Y, TColor(0x010203 * (X + 16 * Y)));
        const TBitmap Before = T.Pixels;
        const RECT Frames[] = {{2, 1, 14, 9}, {5, 3, 6, 8}, {1, 4, 15, 5}, {3, 3, 3, 9}};
        for (const RECT& Rc : Frames) {
            ASSERT_TRUE(DrawFocusRect(T.Dc, &Rc));
            int Changed = 0;
            for (int Y = 0; Y < 10; ++Y)
                for (int X = 0; X < 16; ++X) {
                    const bool OnFrame = X >= Rc.left && X < Rc.right && Y >= Rc.top && Y < Rc.bottom &&
                                         (X == Rc.left || X == Rc.right - 1 || Y == Rc.top || Y == Rc.bottom - 1);
                    const bool Differs = T.At(X, Y) != COLORREF(Before.GetPixel(X, Y));
                    if (Differs) {
                        ++Changed;
                        EXPECT_TRUE(OnFrame) << X << "," << Y;
                        EXPECT_EQ(T.At(X, Y), COLORREF(Before.GetPixel(X, Y)) ^ 0xFFFFFFu);
                    }
                }
            if (Rc.right > Rc.left) {
                EXPECT_GT(Changed, 0);
            }
            ASSERT_TRUE(DrawFocusRect(T.Dc, &Rc));
            for (int Y = 0; Y < 10; ++Y)
                for (int X = 0; X < 16; ++X) ASSERT_EQ(T.At(X, Y), COLORREF(Before.GetPixel(X, Y))) << X << "," << Y;
        }
    }

    // DrawEdge in the system colours against small goldens.
    {
        SysColourSwap Colours;
        struct TEdgeCase {
            int W, H;
            UINT Edge, Flags;
            std::vector<std::string> Golden;
            RECT Adjusted;
        };
        const TEdgeCase Cases[] = {
            {6, 5, EDGE_RAISED, BF_RECT, {"LLLLLD", "LHHHSD", "LH..SD", "LSSSSD", "DDDDDD"}, {0, 0, 6, 5}},
            {6, 5, EDGE_SUNKEN, BF_RECT, {"SSSSSH", "SDDDLH", "SD..LH", "SLLLLH", "HHHHHH"}, {0, 0, 6, 5}},
            {6, 3, EDGE_ETCHED, BF_TOP, {"SSSSSS", "HHHHHH", "......"}, {0, 0, 6, 3}},
            {5, 4, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST, {"SSSSH", "S...H", "S...H", "HHHHH"}, {1, 1, 4, 3}},
            {4, 4, BDR_RAISEDINNER, BF_LEFT | BF_BOTTOM | BF_MIDDLE | BF_ADJUST,
             {"HFFF", "HFFF", "HFFF", "SSSS"}, {1, 0, 4, 3}},
            {4, 3, EDGE_SUNKEN, BF_RECT | BF_FLAT | BF_MIDDLE, {"SSSS", "SFFS", "SSSS"}, {0, 0, 4, 3}},
            {4, 3, EDGE_RAISED, BF_RECT | BF_MONO, {"ffff", "fwwf", "ffff"}, {0, 0, 4, 3}},
        };
        for (const TEdgeCase& C : Cases) {
            TTarget T(C.W, C.H);
            RECT Rc{0, 0, C.W, C.H};
            ASSERT_TRUE(DrawEdge(T.Dc, &Rc, C.Edge, C.Flags));
            EXPECT_EQ(Picture(T), C.Golden) << "edge " << C.Edge << " flags " << C.Flags;
            EXPECT_TRUE(Rc.left == C.Adjusted.left && Rc.top == C.Adjusted.top && Rc.right == C.Adjusted.right &&
                        Rc.bottom == C.Adjusted.bottom)
                << "edge " << C.Edge << " flags " << C.Flags;
        }
        RECT Rc{0, 0, 2, 2};
        EXPECT_FALSE(DrawEdge(reinterpret_cast<HDC>(uintptr_t(0x42)), &Rc, EDGE_RAISED, BF_RECT));
    }

    // Image lists: a key-coloured bitmap of two images drawn transparent,
    // with a background colour, and as its mask.
    {
        TBitmap Strip(8, 3, pf24bit);
        const char* Rows[3] = {"r.r.bbbb", ".r.rb..b", "r.r.bbbb"};
        for (int Y = 0; Y < 3; ++Y)
            for (int X = 0; X < 8; ++X) Strip.SetPixel(X, Y, TColor(Legend.at(Rows[Y][X])));
        HBITMAP StripObject = CreateBitmapObject(Strip);
        HIMAGELIST List = ImageList_Create(4, 3, ILC_MASK | ILC_COLOR24, 2, 2);
        ASSERT_NE(List, nullptr);
        EXPECT_EQ(ImageList_AddMasked(List, StripObject, 0xFF00FF), 0);
        EXPECT_EQ(ImageList_GetImageCount(List), 2);
        int Cx = 0, Cy = 0;
        EXPECT_TRUE(ImageList_GetIconSize(List, &Cx, &Cy));
        EXPECT_EQ(Cx, 4);
        EXPECT_EQ(Cy, 3);

        struct TDrawCase {
            int Index;
            UINT Style;
            COLORREF Background;
            std::vector<std::string> Golden;
        };
        const TDrawCase Draws[] = {
            {0, ILD_TRANSPARENT, CLR_NONE, {"yyyyyy", "yr.r.y", "y.r.ry", "yr.r.y", "yyyyyy"}},
            {1, ILD_TRANSPARENT, 0x00FF00, {"yyyyyy", "ybbbby", "yb..by", "ybbbby", "yyyyyy"}},
            {0, ILD_NORMAL, CLR_NONE, {"yyyyyy", "yr.r.y", "y.r.ry", "yr.r.y", "yyyyyy"}},
            {1, ILD_NORMAL, 0x00FF00, {"yyyyyy", "ybbbby", "ybggby", "ybbbby", "yyyyyy"}},
            {0, ILD_MASK, CLR_NONE, {"yyyyyy", "yKHKHy", "yHKHKy", "yKHKHy", "yyyyyy"}},
        };
        for (const TDrawCase& D : Draws) {
            TTarget T(6, 5);
            // Pixels the image keeps clear show the target's magenta; the
            // frame around shows where nothing may be touched.
            for (int Y = 0; Y < 5; ++Y)
                for (int X = 0; X < 6; ++X)
                    if (X == 0 || Y == 0 || X == 5 || Y == 4) T.Pixels.SetPixel(X, Y, TColor(0x00FFFF));
            ImageList_SetBkColor(List, D.Background);
            ASSERT_TRUE(ImageList_Draw(List, D.Index, T.Dc, 1, 1, D.Style));
            EXPECT_EQ(Picture(T), D.Golden) << "image " << D.Index << " style " << D.Style;
        }
        EXPECT_FALSE(ImageList_Draw(List, 2, nullptr, 0, 0, ILD_NORMAL));
        EXPECT_TRUE(ImageList_Destroy(List));
        EXPECT_FALSE(ImageList_Destroy(List));
        EXPECT_EQ(ImageList_GetImageCount(List), 0);
        EXPECT_EQ(ImageList_AddMasked(List, StripObject, 0), -1);
        DeleteObject(StripObject);
    }
}

TEST(GdiPainters, FrameInvertClipAndBackgroundMode) {
    TTarget T(8, 6, pf24bit, 0xFFFFFF);
    HBRUSH Red = CreateSolidBrush(0x0000FF);
    const RECT Rc{1, 1, 7, 5};
    ASSERT_TRUE(FrameRect(T.Dc, &Rc, Red));
    const std::vector<std::string> Framed = {"........", ".rrrrrr.", ".r....r.", ".r....r.", ".rrrrrr.", "........"};
    auto Letters = [&](char Inside) {
        std::vector<std::string> Out;
        for (int Y = 0; Y < 6; ++Y) {
            std::string Row;
            for (int X = 0; X < 8; ++X) Row += T.At(X, Y) == 0x0000FF ? 'r' : T.At(X, Y) == 0xFFFFFF ? '.' : Inside;
            Out.push_back(Row);
        }
        return Out;
    };
    EXPECT_EQ(Letters('?'), Framed);
    ASSERT_TRUE(InvertRect(T.Dc, &Rc));
    EXPECT_EQ(T.At(1, 1), 0xFFFF00u);
    EXPECT_EQ(T.At(2, 2), 0u);
    ASSERT_TRUE(InvertRect(T.Dc, &Rc));
    EXPECT_EQ(Letters('?'), Framed);

    // ExcludeClipRect and RectVisible work in logical units.
    POINT Prev;
    SetViewportOrgEx(T.Dc, 2, 1, &Prev);
    EXPECT_EQ(ExcludeClipRect(T.Dc, 0, 0, 2, 2), COMPLEXREGION);
    const RECT Inside{0, 0, 2, 2}, Touching{1, 1, 3, 3}, Outside{6, 5, 9, 9};
    EXPECT_FALSE(RectVisible(T.Dc, &Inside));
    EXPECT_TRUE(RectVisible(T.Dc, &Touching));
    EXPECT_FALSE(RectVisible(T.Dc, &Outside));
    const RECT All{-2, -1, 6, 5};
    FillRect(T.Dc, &All, Red);
    EXPECT_EQ(T.At(2, 2), 0xFFFFFFu);  // excluded: untouched
    EXPECT_EQ(T.At(3, 2), 0xFFFFFFu);
    EXPECT_EQ(T.At(4, 3), 0x0000FFu);
    EXPECT_EQ(T.At(0, 0), 0x0000FFu);
    EXPECT_FALSE(RectVisible(T.Dc, nullptr));

    // The background mode belongs to the saved state.
    EXPECT_EQ(GetBkMode(T.Dc), OPAQUE);
    const int Saved = SaveDC(T.Dc);
    EXPECT_EQ(SetBkMode(T.Dc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(SetBkMode(T.Dc, 7), 0);
    EXPECT_EQ(GetBkMode(T.Dc), TRANSPARENT);
    RestoreDC(T.Dc, Saved);
    EXPECT_EQ(GetBkMode(T.Dc), OPAQUE);
    EXPECT_EQ(GetBkMode(nullptr), 0);
    DeleteObject(Red);
}

TEST(GdiPainters, RegionsFromRectangleData) {
    struct TData {
        RGNDATAHEADER Header;
        RECT Rects[3];
    } D;
    D.Header.nCount = 3;
    D.Rects[0] = {0, 0, 4, 1};
    D.Rects[1] = {2, 1, 6, 2};
    D.Rects[2] = {5, 5, 5, 9};  // empty: ignored
    HRGN R = ExtCreateRegion(nullptr, sizeof D, &D);
    ASSERT_NE(R, nullptr);
    RECT Box;
    EXPECT_EQ(GetRgnBox(R, &Box), COMPLEXREGION);
    EXPECT_EQ(Box.right, 6);
    EXPECT_EQ(Box.bottom, 2);
    EXPECT_TRUE(PtInRegion(R, 3, 0));
    EXPECT_FALSE(PtInRegion(R, 1, 1));
    DeleteObject(R);

    // Malformed data never yields a region nor reads past what it claims.
    struct TBad {
        DWORD Count;
        DWORD Size, Type, N;
    };
    const TBad Bad[] = {
        {sizeof D - 1, 32, 1, 3},       // rectangles beyond the given bytes
        {sizeof D, 40, 1, 3},           // header of another size
        {sizeof D, 32, 2, 3},           // another data type
        {16, 32, 1, 0},                 // shorter than a header
        {sizeof D, 32, 1, 0xFFFFFFFFu}, // a count that would overflow
    };
    for (const TBad& B : Bad) {
        TData Copy = D;
        Copy.Header.dwSize = B.Size;
        Copy.Header.iType = B.Type;
        Copy.Header.nCount = B.N;
        EXPECT_EQ(ExtCreateRegion(nullptr, B.Count, &Copy), nullptr) << B.Count << " " << B.Size;
    }
    EXPECT_EQ(ExtCreateRegion(nullptr, sizeof D, nullptr), nullptr);
    D.Header.nCount = 0;
    HRGN Empty = ExtCreateRegion(nullptr, sizeof D.Header, &D);
    ASSERT_NE(Empty, nullptr);
    EXPECT_EQ(GetRgnBox(Empty, &Box), NULLREGION);
    DeleteObject(Empty);
}

TEST(GdiPainters, DibReadOutInEveryDepth) {
    // A 3 × 2 bitmap: top row red, green, blue; bottom row white, black, grey.
    TBitmap B(3, 2, pf24bit);
    const COLORREF Top[3] = {0x0000FF, 0x00FF00, 0xFF0000}, Bottom[3] = {0xFFFFFF, 0x000000, 0x808080};
    for (int X = 0; X < 3; ++X) {
        B.SetPixel(X, 0, TColor(Top[X]));
        B.SetPixel(X, 1, TColor(Bottom[X]));
    }
    HBITMAP Object = CreateBitmapObject(B);
    HDC Dc = CreateCompatibleDC(nullptr);

    BITMAPINFO Info{};
    EXPECT_EQ(GetDIBits(Dc, Object, 0, 2, nullptr, &Info, DIB_RGB_COLORS), 2);
    EXPECT_EQ(Info.bmiHeader.biWidth, 3);
    EXPECT_EQ(Info.bmiHeader.biHeight, 2);
    EXPECT_EQ(Info.bmiHeader.biBitCount, 24);

    auto Read = [&](int Bits, int Height, UINT Start, UINT Lines, std::vector<uint8_t>& Out) {
        BITMAPINFO I{};
        I.bmiHeader.biWidth = 3;
        I.bmiHeader.biHeight = Height;
        I.bmiHeader.biBitCount = uint16_t(Bits);
        Out.assign(64, 0xEE);
        const int N = GetDIBits(Dc, Object, Start, Lines, Out.data(), &I, DIB_RGB_COLORS);
        return std::make_pair(N, I);
    };
    std::vector<uint8_t> Px;
    // 32 bits, bottom-up: the bottom row first.
    auto [N32, I32] = Read(32, 2, 0, 2, Px);
    EXPECT_EQ(N32, 2);
    EXPECT_EQ(I32.bmiHeader.biSizeImage, 24u);
    EXPECT_EQ(std::vector<uint8_t>(Px.begin(), Px.begin() + 24),
              (std::vector<uint8_t>{255, 255, 255, 0, 0, 0, 0, 0, 128, 128, 128, 0,  //
                                    0, 0, 255, 0,  0, 255, 0, 0,  255, 0, 0, 0}));
    // 24 bits, top-down, rows padded to four bytes.
    auto [N24, I24] = Read(24, -2, 0, 2, Px);
    EXPECT_EQ(N24, 2);
    EXPECT_EQ(std::vector<uint8_t>(Px.begin(), Px.begin() + 24),
              (std::vector<uint8_t>{0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0,  //
                                    255, 255, 255, 0, 0, 0, 128, 128, 128, 0, 0, 0}));
    // One line from the second scan line, bottom-up: the top row.
    auto [N1, I1] = Read(24, 2, 1, 5, Px);
    EXPECT_EQ(N1, 1);
    EXPECT_EQ(std::vector<uint8_t>(Px.begin(), Px.begin() + 9), (std::vector<uint8_t>{0, 0, 255, 0, 255, 0, 255, 0, 0}));
    EXPECT_EQ(Px[12], 0xEE);  // nothing past the lines asked for
    // Palette depths use the default colour tables.
    auto [N8, I8] = Read(8, -2, 0, 2, Px);
    EXPECT_EQ(N8, 2);
    for (int X = 0; X < 3; ++X) {
        const RGBQUAD& Q = I8.bmiColors[Px[size_t(X)]];
        EXPECT_EQ(COLORREF(Q.rgbRed | (Q.rgbGreen << 8) | (Q.rgbBlue << 16)), Top[X]);
    }
    auto [N4, I4] = Read(4, -2, 0, 2, Px);
    EXPECT_EQ(N4, 2);
    {
        const RGBQUAD& Q = I4.bmiColors[Px[4] >> 4];  // second row, first pixel
        EXPECT_EQ(COLORREF(Q.rgbRed | (Q.rgbGreen << 8) | (Q.rgbBlue << 16)), 0xFFFFFFu);
    }
    auto [NMono, IMono] = Read(1, -2, 0, 2, Px);
    EXPECT_EQ(NMono, 2);
    EXPECT_EQ(Px[4] & 0xE0, 0xA0);  // white, black, and grey nearer white
    EXPECT_EQ(IMono.bmiColors[1].rgbRed, 255);

    // Failures: a dead handle, a depth without a layout, another colour use.
    std::vector<uint8_t> Buf(64);
    BITMAPINFO Bad{};
    Bad.bmiHeader.biWidth = 3;
    Bad.bmiHeader.biHeight = 2;
    Bad.bmiHeader.biBitCount = 16;
    EXPECT_EQ(GetDIBits(Dc, Object, 0, 2, Buf.data(), &Bad, DIB_RGB_COLORS), 0);
    Bad.bmiHeader.biBitCount = 32;
    EXPECT_EQ(GetDIBits(Dc, Object, 0, 2, Buf.data(), &Bad, 1), 0);
    EXPECT_EQ(GetDIBits(Dc, Object, 2, 2, Buf.data(), &Bad, DIB_RGB_COLORS), 0);
    DeleteObject(Object);
    EXPECT_EQ(GetDIBits(Dc, Object, 0, 2, Buf.data(), &Bad, DIB_RGB_COLORS), 0);
    DeleteDC(Dc);
}

TEST(GdiPainters, CheckMarkBitmap) {
    HBITMAP Check = LoadBitmapW(nullptr, MAKEINTRESOURCEW(OBM_CHECK));
    ASSERT_NE(Check, nullptr);
    EXPECT_EQ(LoadBitmapW(nullptr, MAKEINTRESOURCEW(1)), nullptr);
    TBitmap Glyph;
    ASSERT_TRUE(GetBitmapObject(Check, Glyph));
    EXPECT_EQ(Glyph.PixelFormat(), pf1bit);
    EXPECT_EQ(Glyph.Width(), CheckMarkSize);
    // Drawn from a 1-bit source, the mark takes the text colour.
    TTarget T(CheckMarkSize, CheckMarkSize, pf24bit, 0xFFFFFF);
    HDC Src = CreateCompatibleDC(nullptr);
    HGDIOBJ Old = SelectObject(Src, Check);
    SetTextColor(T.Dc, 0x0000FF);
    ASSERT_TRUE(BitBlt(T.Dc, 0, 0, CheckMarkSize, CheckMarkSize, Src, 0, 0, SRCAND));
    int Marked = 0, Left = CheckMarkSize, Right = -1;
    for (int Y = 0; Y < CheckMarkSize; ++Y)
        for (int X = 0; X < CheckMarkSize; ++X)
            if (T.At(X, Y) == 0x0000FF) {
                ++Marked;
                Left = std::min(Left, X);
                Right = std::max(Right, X);
            } else {
                EXPECT_EQ(T.At(X, Y), 0xFFFFFFu);
            }
    EXPECT_GT(Marked, 12);
    EXPECT_EQ(Left + Right, CheckMarkSize - 1);  // centred
    SelectObject(Src, Old);
    DeleteDC(Src);
    DeleteObject(Check);
}

}  // namespace
}  // namespace velmo
