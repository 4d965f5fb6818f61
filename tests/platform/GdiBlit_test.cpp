#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/gdi/DC.h"

using namespace velmo;

namespace {

// A memory DC holding a bitmap object made from Bitmap; frees both.
class TTestDc {
public:
    explicit TTestDc(const TBitmap& Bitmap) {
        Dc = CreateCompatibleDC(nullptr);
        Bitmap_ = CreateBitmapObject(Bitmap);
        Old = SelectObject(Dc, Bitmap_);
    }
    ~TTestDc() {
        SelectObject(Dc, Old);
        DeleteDC(Dc);
        DeleteObject(Bitmap_);
    }
    TBitmap Pixels() const {
        TBitmap B;
        EXPECT_TRUE(GetBitmapObject(Bitmap_, B));
        return B;
    }
    HDC Dc = nullptr;
    HBITMAP Bitmap_ = nullptr;
    HGDIOBJ Old = nullptr;
};

TBitmap Filled(int W, int H, TPixelFormat F, TColor C) {
    TBitmap B(W, H, F);
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X) B.SetPixel(X, Y, C);
    return B;
}

// COLORREF and TColor share the $00BBGGRR layout.
COLORREF Ref(TColor C) { return COLORREF(C); }

}  // namespace

TEST(GdiBlit, Rop3TruthTable) {
    // With brush F0, source CC and destination AA in every channel, bit i of
    // each channel is bit (P?4:0)|(S?2:0)|(D?1:0) of the code, for every bit
    // position i: the result is the code byte itself.
    const TColor P = RGB(0xF0, 0xF0, 0xF0), S = RGB(0xCC, 0xCC, 0xCC), D = RGB(0xAA, 0xAA, 0xAA);
    for (TPixelFormat F : {pf24bit, pf32bit}) {
        TTestDc Src(Filled(1, 1, F, S));
        HBRUSH Brush = CreateSolidBrush(Ref(P));
        for (int Code = 0; Code < 256; ++Code) {
            TTestDc Dst(Filled(1, 1, F, D));
            HGDIOBJ OldBrush = SelectObject(Dst.Dc, Brush);
            ASSERT_NE(OldBrush, nullptr);
            const DWORD Rop = DWORD(Code) << 16 | 0x20;
            ASSERT_EQ(BitBlt(Dst.Dc, 0, 0, 1, 1, Src.Dc, 0, 0, Rop), 1) << Code;
            EXPECT_EQ(Dst.Pixels().GetPixel(0, 0), RGB(Code, Code, Code))
                << "format " << F << " code " << Code;
            // The same through a 1:1 stretch.
            TTestDc Dst2(Filled(1, 1, F, D));
            SelectObject(Dst2.Dc, Brush);
            ASSERT_EQ(StretchBlt(Dst2.Dc, 0, 0, 1, 1, Src.Dc, 0, 0, 1, 1, Rop), 1);
            EXPECT_EQ(Dst2.Pixels().GetPixel(0, 0), RGB(Code, Code, Code)) << Code;
            SelectObject(Dst.Dc, OldBrush);
            SelectObject(Dst2.Dc, OldBrush);
        }
        EXPECT_EQ(DeleteObject(Brush), 1);
    }

    // Operations without a source through PatBlt; one with a source fails.
    const DWORD NoSource[] = {PATCOPY, PATINVERT, DSTINVERT, BLACKNESS, WHITENESS};
    HBRUSH Brush = CreateSolidBrush(Ref(P));
    for (DWORD Rop : NoSource) {
        TTestDc Dst(Filled(3, 2, pf24bit, D));
        HGDIOBJ OldBrush = SelectObject(Dst.Dc, Brush);
        ASSERT_EQ(PatBlt(Dst.Dc, 1, 0, 2, 2, Rop), 1);
        const int Code = Rop3Code(Rop);
        TBitmap Out = Dst.Pixels();
        for (int Y = 0; Y < 2; ++Y) {
            EXPECT_EQ(Out.GetPixel(0, Y), D) << "outside the rectangle, rop " << Rop;
            EXPECT_EQ(Out.GetPixel(1, Y), RGB(Code, Code, Code)) << Rop;
            EXPECT_EQ(Out.GetPixel(2, Y), RGB(Code, Code, Code)) << Rop;
        }
        EXPECT_EQ(PatBlt(Dst.Dc, 0, 0, 1, 1, SRCCOPY), 0);
        SelectObject(Dst.Dc, OldBrush);
    }
    // On a palette target the operation works on indices.
    {
        TBitmap B(2, 1, pf4bit);
        B.ScanLine(0)[0] = 0x3A;
        TTestDc Dst(B);
        ASSERT_EQ(PatBlt(Dst.Dc, 0, 0, 2, 1, DSTINVERT), 1);
        EXPECT_EQ(Dst.Pixels().ScanLine(0)[0], 0xC5);
    }
    // A null brush leaves brush operations undone.
    {
        TTestDc Dst(Filled(1, 1, pf24bit, D));
        HGDIOBJ OldBrush = SelectObject(Dst.Dc, GetStockObject(NULL_BRUSH));
        EXPECT_EQ(PatBlt(Dst.Dc, 0, 0, 1, 1, PATCOPY), 1);
        EXPECT_EQ(Dst.Pixels().GetPixel(0, 0), D);
        SelectObject(Dst.Dc, OldBrush);
    }
    EXPECT_EQ(DeleteObject(Brush), 1);
}

namespace {

// The expected result of stretching Src (W×H) onto Dw×Dh in one mode,
// computed from the sampling rules independently of the blit code.
std::vector<uint32_t> ExpectedStretch(const std::vector<uint32_t>& Src, int W, int H, int Dw,
                                      int Dh, int Mode) {
    auto Span = [&](int d, int S, int D, int& Lo, int& Hi) {
        if (Mode == COLORONCOLOR || S <= D) {
            Lo = Hi = (2 * d + 1) * S / (2 * D);
        } else {
            Lo = d * S / D;
            Hi = (d + 1) * S / D - 1;
        }
    };
    std::vector<uint32_t> Out(size_t(Dw) * Dh);
    for (int Y = 0; Y < Dh; ++Y)
        for (int X = 0; X < Dw; ++X) {
            int X0, X1, Y0, Y1;
            Span(X, W, Dw, X0, X1);
            Span(Y, H, Dh, Y0, Y1);
            uint32_t And = 0xFFFFFF, Or = 0, N = 0, Sum[3] = {0, 0, 0};
            for (int Sy = Y0; Sy <= Y1; ++Sy)
                for (int Sx = X0; Sx <= X1; ++Sx) {
                    const uint32_t C = Src[size_t(Sy) * W + Sx];
                    And &= C;
                    Or |= C;
                    for (int K = 0; K < 3; ++K) Sum[K] += (C >> (8 * K)) & 0xFF;
                    ++N;
                }
            uint32_t R = 0;
            if (Mode == BLACKONWHITE)
                R = And;
            else if (Mode == WHITEONBLACK)
                R = Or;
            else if (N == 1)
                R = Or;
            else
                for (int K = 0; K < 3; ++K) R |= ((Sum[K] + N / 2) / N) << (8 * K);
            Out[size_t(Y) * Dw + X] = R;
        }
    return Out;
}

}  // namespace

TEST(GdiBlit, StretchModes) {
    // 7×3 → 3×7 and 3×7 → 7×3: each axis once shrinking, once enlarging.
    struct Case {
        int W, H, Dw, Dh;
    } Cases[] = {{7, 3, 3, 7}, {3, 7, 7, 3}, {7, 7, 3, 3}, {3, 3, 7, 7}};
    for (const Case& C : Cases) {
        std::vector<uint32_t> Src(size_t(C.W) * C.H);
        TBitmap SrcBm(C.W, C.H, pf24bit);
        for (size_t I = 0; I < Src.size(); ++I) {
            // Distinct, uneven colours so that AND, OR and averages differ.
            Src[I] = uint32_t(0x1F3A5C + I * 0x2B1D37) & 0xFFFFFF;
            SrcBm.SetPixel(int(I % C.W), int(I / C.W), TColor(Src[I]));
        }
        TTestDc S(SrcBm);
        for (int Mode : {BLACKONWHITE, WHITEONBLACK, COLORONCOLOR, HALFTONE}) {
            const auto Want = ExpectedStretch(Src, C.W, C.H, C.Dw, C.Dh, Mode);
            // Negative extents: none, destination, source, both. A negative
            // width spans x + w .. x - 1; differing signs mirror.
            for (int Variant = 0; Variant < 4; ++Variant) {
                const bool DNeg = Variant & 1, SNeg = Variant & 2, Mirror = DNeg != SNeg;
                TTestDc D(TBitmap(C.Dw, C.Dh, pf24bit));
                ASSERT_EQ(SetStretchBltMode(D.Dc, Mode), BLACKONWHITE);
                const BOOL Ok =
                    StretchBlt(D.Dc, DNeg ? C.Dw : 0, 0, DNeg ? -C.Dw : C.Dw, C.Dh, S.Dc,
                               SNeg ? C.W : 0, 0, SNeg ? -C.W : C.W, C.H, SRCCOPY);
                ASSERT_EQ(Ok, 1);
                TBitmap Out = D.Pixels();
                for (int Y = 0; Y < C.Dh; ++Y)
                    for (int X = 0; X < C.Dw; ++X) {
                        const int Xo = Mirror ? C.Dw - 1 - X : X;
                        EXPECT_EQ(uint32_t(Out.GetPixel(Xo, Y)), Want[size_t(Y) * C.Dw + X])
                            << C.W << "x" << C.H << " to " << C.Dw << "x" << C.Dh << " mode "
                            << Mode << " mirror " << Mirror << " at " << X << "," << Y;
                    }
            }
        }
    }

    // Clipping: a blit hanging over the destination's edges writes only the
    // pixels inside, from the matching source pixels; a source rectangle
    // beyond the source writes nothing there.
    {
        TBitmap SrcBm(4, 1, pf24bit);
        for (int X = 0; X < 4; ++X) SrcBm.SetPixel(X, 0, RGB(uint8_t(10 * (X + 1)), 0, 0));
        TTestDc S(SrcBm);
        TTestDc D(Filled(3, 1, pf24bit, clWhite));
        ASSERT_EQ(BitBlt(D.Dc, -1, 0, 6, 1, S.Dc, 0, 0, SRCCOPY), 1);
        TBitmap Out = D.Pixels();
        EXPECT_EQ(Out.GetPixel(0, 0), RGB(20, 0, 0));
        EXPECT_EQ(Out.GetPixel(1, 0), RGB(30, 0, 0));
        EXPECT_EQ(Out.GetPixel(2, 0), RGB(40, 0, 0));
        TTestDc D2(Filled(3, 1, pf24bit, clWhite));
        ASSERT_EQ(BitBlt(D2.Dc, 0, 0, 3, 1, S.Dc, 2, 0, SRCCOPY), 1);
        Out = D2.Pixels();
        EXPECT_EQ(Out.GetPixel(0, 0), RGB(30, 0, 0));
        EXPECT_EQ(Out.GetPixel(1, 0), RGB(40, 0, 0));
        EXPECT_EQ(Out.GetPixel(2, 0), clWhite);
        // A huge stretch costs only the destination's pixels.
        ASSERT_EQ(StretchBlt(D2.Dc, -0x40000000, 0, 0x7FFFFFFF, 1, S.Dc, 0, 0, 4, 1, SRCCOPY), 1);
        EXPECT_EQ(D2.Pixels().GetPixel(1, 0), RGB(30, 0, 0));
    }

    // Across formats. Into 1-bit: the source DC's background colour gives 1,
    // every other colour 0. Out of 1-bit: 0 becomes the target's text colour,
    // 1 its background colour.
    {
        const TColor Bk = RGB(0x12, 0x34, 0x56);
        TBitmap Colour(4, 1, pf24bit);
        Colour.SetPixel(0, 0, Bk);
        Colour.SetPixel(1, 0, RGB(0x12, 0x34, 0x57));
        Colour.SetPixel(2, 0, clWhite);
        Colour.SetPixel(3, 0, Bk);
        TTestDc S(Colour);
        SetBkColor(S.Dc, Ref(Bk));
        TTestDc Mono(TBitmap(4, 1, pf1bit));
        ASSERT_EQ(BitBlt(Mono.Dc, 0, 0, 4, 1, S.Dc, 0, 0, SRCCOPY), 1);
        TBitmap M = Mono.Pixels();
        EXPECT_EQ(M.GetPixelIndex(0, 0), 1);
        EXPECT_EQ(M.GetPixelIndex(1, 0), 0);
        EXPECT_EQ(M.GetPixelIndex(2, 0), 0);
        EXPECT_EQ(M.GetPixelIndex(3, 0), 1);

        const TColor Text = RGB(200, 10, 30), Back = RGB(5, 150, 250);
        TTestDc Back24(Filled(4, 1, pf24bit, clBlack));
        SetTextColor(Back24.Dc, Ref(Text));
        SetBkColor(Back24.Dc, Ref(Back));
        ASSERT_EQ(BitBlt(Back24.Dc, 0, 0, 4, 1, Mono.Dc, 0, 0, SRCCOPY), 1);
        TBitmap C = Back24.Pixels();
        EXPECT_EQ(C.GetPixel(0, 0), Back);
        EXPECT_EQ(C.GetPixel(1, 0), Text);
        EXPECT_EQ(C.GetPixel(2, 0), Text);
        EXPECT_EQ(C.GetPixel(3, 0), Back);

        // 1-bit to 1-bit copies the bits; a colour stretch into 1 bit in
        // BLACKONWHITE ANDs the converted bits.
        TTestDc Mono2(TBitmap(4, 1, pf1bit));
        ASSERT_EQ(BitBlt(Mono2.Dc, 0, 0, 4, 1, Mono.Dc, 0, 0, SRCCOPY), 1);
        EXPECT_EQ(Mono2.Pixels().ScanLine(0)[0] & 0xF0, 0x90);
        TTestDc Mono3(TBitmap(2, 1, pf1bit));
        ASSERT_EQ(StretchBlt(Mono3.Dc, 0, 0, 2, 1, S.Dc, 0, 0, 4, 1, SRCCOPY), 1);
        EXPECT_EQ(Mono3.Pixels().GetPixelIndex(0, 0), 0);
        EXPECT_EQ(Mono3.Pixels().GetPixelIndex(1, 0), 0);
        SetStretchBltMode(Mono3.Dc, WHITEONBLACK);
        ASSERT_EQ(StretchBlt(Mono3.Dc, 0, 0, 2, 1, S.Dc, 0, 0, 4, 1, SRCCOPY), 1);
        EXPECT_EQ(Mono3.Pixels().GetPixelIndex(0, 0), 1);
        EXPECT_EQ(Mono3.Pixels().GetPixelIndex(1, 0), 1);
    }

    // Into a palette target colours take the nearest entry; between 32-bit
    // bitmaps the fourth byte travels with the colour.
    {
        TBitmap Colour(2, 1, pf32bit);
        Colour.ScanLine(0)[0] = 0x10;  // B
        Colour.ScanLine(0)[1] = 0x20;  // G
        Colour.ScanLine(0)[2] = 0xF0;  // R
        Colour.ScanLine(0)[3] = 0x7F;  // A
        Colour.SetPixel(1, 0, RGB(0x08, 0x08, 0xF8));
        TTestDc S(Colour);
        TBitmap Pal(2, 1, pf8bit);
        Pal.SetPalette({RGBQuad(0, 0, 0), RGBQuad(0xFF, 0, 0), RGBQuad(0xF0, 0x20, 0x20),
                        RGBQuad(0, 0, 0xFF)});
        TTestDc P(Pal);
        ASSERT_EQ(BitBlt(P.Dc, 0, 0, 2, 1, S.Dc, 0, 0, SRCCOPY), 1);
        EXPECT_EQ(P.Pixels().GetPixelIndex(0, 0), 2);
        EXPECT_EQ(P.Pixels().GetPixelIndex(1, 0), 3);  // nearly pure blue
        TTestDc D(TBitmap(2, 1, pf32bit));
        ASSERT_EQ(BitBlt(D.Dc, 0, 0, 2, 1, S.Dc, 0, 0, SRCCOPY), 1);
        const TBitmap Out = D.Pixels();
        const uint8_t* Row = Out.ScanLine(0);
        EXPECT_EQ(Row[0], 0x10);
        EXPECT_EQ(Row[2], 0xF0);
        EXPECT_EQ(Row[3], 0x7F);
    }

    // Extreme rectangles neither overflow nor touch memory outside.
    {
        TTestDc S(Filled(2, 2, pf24bit, clWhite));
        TTestDc D(Filled(2, 2, pf24bit, clBlack));
        const int Big = 0x7FFFFFFF, Small = -0x7FFFFFFF - 1;
        for (int V : {Big, Small + 1, 0, 1, -1}) {
            for (int Mode : {BLACKONWHITE, HALFTONE}) {
                SetStretchBltMode(D.Dc, Mode);
                StretchBlt(D.Dc, V, V, Small, Big, S.Dc, V, -V, Big, Small, SRCCOPY);
                StretchBlt(D.Dc, 0, 0, 2, 2, S.Dc, Small, Small, Small, Small, SRCCOPY);
                StretchBlt(D.Dc, Small, Small, Big, Big, S.Dc, 0, 0, 2, 2, SRCCOPY);
                BitBlt(D.Dc, V, -V, Big, Small, S.Dc, -V, V, SRCCOPY);
                PatBlt(D.Dc, V, V, Small, Small, DSTINVERT);
            }
        }
        EXPECT_EQ(D.Pixels().Width(), 2);
    }

    // A blit within one bitmap reads the source as it was before.
    {
        TBitmap B(4, 1, pf24bit);
        for (int X = 0; X < 4; ++X) B.SetPixel(X, 0, RGB(uint8_t(X + 1), 0, 0));
        TTestDc D(B);
        ASSERT_EQ(BitBlt(D.Dc, 1, 0, 3, 1, D.Dc, 0, 0, SRCCOPY), 1);
        TBitmap Out = D.Pixels();
        for (int X = 0; X < 4; ++X)
            EXPECT_EQ(Out.GetPixel(X, 0), RGB(uint8_t(X == 0 ? 1 : X), 0, 0)) << X;
    }
}

TEST(GdiBlit, StaleHandlesFail) {
    // Deleted objects and DCs, handles of the wrong kind and made-up values
    // all give failure results.
    HBRUSH Brush = CreateSolidBrush(0x0000FF);
    HPEN Pen = CreatePen(PS_DASH, 3, 0x00FF00);
    ASSERT_NE(Brush, nullptr);
    ASSERT_NE(Pen, nullptr);
    EXPECT_EQ(DeleteObject(Brush), 1);
    EXPECT_EQ(DeleteObject(Brush), 0);
    EXPECT_EQ(DeleteObject(Pen), 1);
    EXPECT_EQ(DeleteObject(Pen), 0);
    EXPECT_EQ(DeleteObject(nullptr), 0);
    EXPECT_EQ(DeleteObject(reinterpret_cast<HGDIOBJ>(uintptr_t(0xDEADBEE0))), 0);

    HDC Dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(Dc, nullptr);
    EXPECT_EQ(SelectObject(Dc, Brush), nullptr);
    EXPECT_EQ(SelectObject(Dc, Pen), nullptr);
    EXPECT_EQ(SelectObject(Dc, reinterpret_cast<HGDIOBJ>(Dc)), nullptr);
    EXPECT_EQ(DeleteObject(reinterpret_cast<HGDIOBJ>(Dc)), 0);
    // A new object never takes the old one's handle value.
    HBRUSH Brush2 = CreateSolidBrush(0x0000FF);
    EXPECT_NE(Brush2, Brush);

    // Objects in use cannot be deleted; a bitmap goes into one DC only.
    HBITMAP Bm = CreateBitmapObject(TBitmap(2, 2, pf24bit));
    HGDIOBJ OldBm = SelectObject(Dc, Bm);
    ASSERT_NE(OldBm, nullptr);
    EXPECT_EQ(GetCurrentObject(Dc, OBJ_BITMAP), Bm);
    HDC Dc2 = CreateCompatibleDC(Dc);
    ASSERT_NE(Dc2, nullptr);
    EXPECT_EQ(SelectObject(Dc2, Bm), nullptr);
    EXPECT_EQ(DeleteObject(Bm), 0);
    HGDIOBJ OldBrush = SelectObject(Dc, Brush2);
    EXPECT_EQ(OldBrush, GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(DeleteObject(Brush2), 0);

    // SaveDC / RestoreDC bring back colours, mode and brush; a saved brush
    // stays in use.
    EXPECT_EQ(SetTextColor(Dc, 0x112233), 0u);
    EXPECT_EQ(SaveDC(Dc), 1);
    SetTextColor(Dc, 0x445566);
    SetBkColor(Dc, 0x778899);
    SetStretchBltMode(Dc, HALFTONE);
    SelectObject(Dc, OldBrush);
    EXPECT_EQ(DeleteObject(Brush2), 0);
    EXPECT_EQ(SaveDC(Dc), 2);
    EXPECT_EQ(RestoreDC(Dc, 0), 0);
    EXPECT_EQ(RestoreDC(Dc, 3), 0);
    EXPECT_EQ(RestoreDC(Dc, -3), 0);
    EXPECT_EQ(RestoreDC(Dc, 1), 1);
    EXPECT_EQ(GetTextColor(Dc), 0x112233u);
    EXPECT_EQ(GetBkColor(Dc), 0xFFFFFFu);
    EXPECT_EQ(GetStretchBltMode(Dc), BLACKONWHITE);
    EXPECT_EQ(GetCurrentObject(Dc, OBJ_BRUSH), Brush2);
    EXPECT_EQ(RestoreDC(Dc, -1), 0);
    EXPECT_EQ(SetStretchBltMode(Dc, 0), 0);
    EXPECT_EQ(SetStretchBltMode(Dc, 5), 0);

    // Deleting the DC releases its objects; after that the DC is stale.
    EXPECT_EQ(DeleteDC(Dc), 1);
    EXPECT_EQ(DeleteDC(Dc), 0);
    EXPECT_EQ(SetBkColor(Dc, 0), CLR_INVALID);
    EXPECT_EQ(SetTextColor(Dc, 0), CLR_INVALID);
    EXPECT_EQ(SetStretchBltMode(Dc, COLORONCOLOR), 0);
    EXPECT_EQ(SaveDC(Dc), 0);
    EXPECT_EQ(RestoreDC(Dc, -1), 0);
    EXPECT_EQ(GetCurrentObject(Dc, OBJ_BRUSH), nullptr);
    EXPECT_EQ(SelectObject(Dc, GetStockObject(NULL_PEN)), nullptr);
    EXPECT_EQ(PatBlt(Dc, 0, 0, 1, 1, BLACKNESS), 0);
    EXPECT_EQ(BitBlt(Dc2, 0, 0, 1, 1, Dc, 0, 0, SRCCOPY), 0);
    EXPECT_EQ(StretchBlt(Dc2, 0, 0, 1, 1, Dc, 0, 0, 1, 1, SRCCOPY), 0);
    EXPECT_EQ(CreateCompatibleDC(Dc), nullptr);
    // Operations that need no source accept a null one.
    EXPECT_EQ(BitBlt(Dc2, 0, 0, 1, 1, nullptr, 0, 0, WHITENESS), 1);
    EXPECT_EQ(BitBlt(Dc2, 0, 0, 1, 1, nullptr, 0, 0, SRCCOPY), 0);

    EXPECT_EQ(SelectObject(Dc2, Bm), OldBm);
    EXPECT_NE(SelectObject(Dc2, OldBm), nullptr);
    EXPECT_EQ(DeleteObject(Bm), 1);
    EXPECT_EQ(DeleteObject(Brush2), 1);
    TBitmap Out;
    EXPECT_FALSE(GetBitmapObject(Bm, Out));
    EXPECT_EQ(DeleteDC(Dc2), 1);
    // Stock objects survive deletion.
    EXPECT_EQ(DeleteObject(GetStockObject(NULL_BRUSH)), 1);
    HDC Dc3 = CreateCompatibleDC(nullptr);
    EXPECT_EQ(GetCurrentObject(Dc3, OBJ_PEN), GetStockObject(BLACK_PEN));
    EXPECT_NE(SelectObject(Dc3, GetStockObject(NULL_BRUSH)), nullptr);
    EXPECT_EQ(DeleteDC(Dc3), 1);
}
