#include "platform/ui/Icons.h"

#include <pixman.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

namespace velmo {

namespace {

struct TIcon {
    bool IsIcon = true;
    DWORD HotX = 0, HotY = 0;
    TBitmap Colour;  // pf32bit
    TBitmap Mask;    // pf1bit, 1 = keep the destination
    bool Alpha = false;
    bool Shared = false;  // a predefined icon: destroying it keeps it
};

struct TIconTable {
    std::mutex Lock;
    uintptr_t Next = 0x7A0000;
    std::map<uintptr_t, std::shared_ptr<const TIcon>> Icons;
};

TIconTable& Table() {
    static TIconTable* T = new TIconTable;
    return *T;
}

HICON AddIcon(std::shared_ptr<const TIcon> Icon) {
    TIconTable& T = Table();
    std::lock_guard<std::mutex> Guard(T.Lock);
    T.Next += 8;
    T.Icons.emplace(T.Next, std::move(Icon));
    return reinterpret_cast<HICON>(T.Next);
}

std::shared_ptr<const TIcon> FindIcon(HICON Icon) {
    TIconTable& T = Table();
    std::lock_guard<std::mutex> Guard(T.Lock);
    auto It = T.Icons.find(reinterpret_cast<uintptr_t>(Icon));
    return It == T.Icons.end() ? nullptr : It->second;
}

// Pixel Dest of an extent of D pixels samples source pixel Src of S.
int Sample(int Dest, int D, int S) { return int((2 * int64_t(Dest) + 1) * S / (2 * int64_t(D))); }

// Bitmap scaled to Cx × Cy by sampling, in its own format.
TBitmap Scaled(const TBitmap& B, int Cx, int Cy) {
    if (B.Width() == Cx && B.Height() == Cy) return B;
    TBitmap Out(Cx, Cy, B.PixelFormat());
    if (B.BitsPerPixel() <= 8) Out.SetPalette(B.Palette());
    const size_t Bytes = size_t(B.BitsPerPixel() / 8);
    for (int Y = 0; Y < Cy; ++Y) {
        const int Sy = Sample(Y, Cy, B.Height());
        for (int X = 0; X < Cx; ++X) {
            const int Sx = Sample(X, Cx, B.Width());
            if (Bytes >= 3)
                std::copy_n(B.ScanLine(Sy) + size_t(Sx) * Bytes, Bytes, Out.ScanLine(Y) + size_t(X) * Bytes);
            else
                Out.SetPixel(X, Y, B.GetPixel(Sx, Sy));
        }
    }
    return Out;
}

bool HasAlpha(const TBitmap& B) {
    if (B.PixelFormat() != pf32bit) return false;
    for (int Y = 0; Y < B.Height(); ++Y)
        for (int X = 0; X < B.Width(); ++X)
            if (B.ScanLine(Y)[size_t(X) * 4 + 3]) return true;
    return false;
}

// A 1-bit copy of B (1 where the pixel is white).
TBitmap AsMask(const TBitmap& B) {
    if (B.PixelFormat() == pf1bit) return B;
    TBitmap Out(B.Width(), B.Height(), pf1bit);
    for (int Y = 0; Y < B.Height(); ++Y)
        for (int X = 0; X < B.Width(); ++X) Out.SetPixel(X, Y, B.GetPixel(X, Y) == 0xFFFFFF ? 0xFFFFFF : 0);
    return Out;
}

// A 32-bit copy of B whose fourth byte is alpha only when Alpha is kept.
TBitmap AsColour(const TBitmap& B, bool KeepAlpha) {
    TBitmap Out(B.Width(), B.Height(), pf32bit);
    for (int Y = 0; Y < B.Height(); ++Y)
        for (int X = 0; X < B.Width(); ++X) {
            uint8_t* P = Out.ScanLine(Y) + size_t(X) * 4;
            const TColor C = B.GetPixel(X, Y);
            P[0] = GetBValue(C), P[1] = GetGValue(C), P[2] = GetRValue(C);
            P[3] = KeepAlpha ? B.ScanLine(Y)[size_t(X) * 4 + 3] : 0;
        }
    return Out;
}

bool MaskBit(const TBitmap& Mask, int X, int Y) { return (Mask.ScanLine(Y)[X >> 3] >> (7 - (X & 7))) & 1; }

}  // namespace

COLORREF BlendColour(COLORREF Dst, COLORREF Src, uint8_t Alpha) {
    COLORREF Out = 0;
    for (int Shift = 0; Shift < 24; Shift += 8) {
        const uint32_t S = (Src >> Shift) & 0xFF, D = (Dst >> Shift) & 0xFF;
        Out |= ((S * Alpha + D * (255u - Alpha) + 127) / 255) << Shift;
    }
    return Out;
}

bool PaintImage(HDC Dc, int X, int Y, int Cx, int Cy, const TBitmap& Colour, const TBitmap* Mask,
                const TPixelCombine& Combine) {
    if (Colour.Empty() || Colour.PixelFormat() != pf32bit) return false;
    if (Mask && (Mask->PixelFormat() != pf1bit || Mask->Width() != Colour.Width() ||
                 Mask->Height() != Colour.Height()))
        return false;
    POINT Org, View;
    if (!GetDeviceOrigin(Dc, &Org) || !GetViewportOrgEx(Dc, &View)) return false;
    if (Cx <= 0 || Cy <= 0) return true;
    const int64_t Bx = int64_t(X) + Org.x + View.x, By = int64_t(Y) + Org.y + View.y;
    return WithDcTarget(Dc, [&](TBitmap& Target, const pixman_region32* Clip) {
        const int64_t X0 = std::max<int64_t>(Bx, 0), X1 = std::min<int64_t>(Bx + Cx, Target.Width());
        const int64_t Y0 = std::max<int64_t>(By, 0), Y1 = std::min<int64_t>(By + Cy, Target.Height());
        auto* Region = const_cast<pixman_region32*>(Clip);
        for (int64_t Ty = Y0; Ty < Y1; ++Ty) {
            const int Sy = Sample(int(Ty - By), Cy, Colour.Height());
            const uint8_t* Row = Colour.ScanLine(Sy);
            for (int64_t Tx = X0; Tx < X1; ++Tx) {
                if (Region && !pixman_region32_contains_point(Region, int(Tx), int(Ty), nullptr)) continue;
                const int Sx = Sample(int(Tx - Bx), Cx, Colour.Width());
                const uint8_t* P = Row + size_t(Sx) * 4;
                const COLORREF Src = COLORREF(P[2]) | (COLORREF(P[1]) << 8) | (COLORREF(P[0]) << 16);
                const bool Transparent = Mask && MaskBit(*Mask, Sx, Sy);
                const COLORREF Dst = COLORREF(Target.GetPixel(int(Tx), int(Ty)));
                Target.SetPixel(int(Tx), int(Ty), TColor(Combine(Dst, Src, P[3], Transparent) & 0xFFFFFF));
            }
        }
    });
}

bool GetIconImages(HICON Icon, TBitmap& Colour, TBitmap& Mask, bool& Alpha) {
    auto I = FindIcon(Icon);
    if (!I) return false;
    Colour = I->Colour;
    Mask = I->Mask;
    Alpha = I->Alpha;
    return true;
}

HICON CreateIconIndirect(const ICONINFO* Info) {
    if (!Info) return nullptr;
    TBitmap MaskBits, ColourBits;
    if (!GetBitmapObject(Info->hbmMask, MaskBits)) return nullptr;
    auto Icon = std::make_shared<TIcon>();
    Icon->IsIcon = Info->fIcon != 0;
    Icon->HotX = Info->xHotspot;
    Icon->HotY = Info->yHotspot;
    if (Info->hbmColor) {
        if (!GetBitmapObject(Info->hbmColor, ColourBits)) return nullptr;
        if (ColourBits.Width() != MaskBits.Width() || ColourBits.Height() != MaskBits.Height()) return nullptr;
        Icon->Alpha = HasAlpha(ColourBits);
        Icon->Colour = AsColour(ColourBits, Icon->Alpha);
        Icon->Mask = AsMask(MaskBits);
    } else {
        // A monochrome icon: AND mask on top, XOR image below.
        const int H = MaskBits.Height() / 2;
        if (H <= 0) return nullptr;
        const TBitmap Mono = AsMask(MaskBits);
        Icon->Mask = TBitmap(Mono.Width(), H, pf1bit);
        TBitmap Xor(Mono.Width(), H, pf1bit);
        for (int Y = 0; Y < H; ++Y)
            for (int X = 0; X < Mono.Width(); ++X) {
                Icon->Mask.SetPixel(X, Y, Mono.GetPixel(X, Y));
                Xor.SetPixel(X, Y, Mono.GetPixel(X, Y + H));
            }
        Icon->Colour = AsColour(Xor, false);
    }
    return AddIcon(std::move(Icon));
}

BOOL GetIconInfo(HICON Icon, ICONINFO* Out) {
    auto I = FindIcon(Icon);
    if (!I || !Out) return FALSE;
    Out->fIcon = I->IsIcon;
    Out->xHotspot = I->HotX;
    Out->yHotspot = I->HotY;
    Out->hbmColor = CreateBitmapObject(I->Colour);
    Out->hbmMask = CreateBitmapObject(I->Mask);
    return TRUE;
}

BOOL DestroyIcon(HICON Icon) {
    TIconTable& T = Table();
    std::lock_guard<std::mutex> Guard(T.Lock);
    auto It = T.Icons.find(reinterpret_cast<uintptr_t>(Icon));
    if (It == T.Icons.end()) return FALSE;
    if (!It->second->Shared) T.Icons.erase(It);
    return TRUE;
}

BOOL DrawIconEx(HDC Dc, int X, int Y, HICON Icon, int Cx, int Cy, UINT, HBRUSH FlickerFree, UINT Flags) {
    auto I = FindIcon(Icon);
    if (!I || !(Flags & DI_NORMAL)) return FALSE;
    if (Cx == 0) Cx = (Flags & DI_DEFAULTSIZE) ? GetSystemMetrics(SM_CXICON) : I->Colour.Width();
    if (Cy == 0) Cy = (Flags & DI_DEFAULTSIZE) ? GetSystemMetrics(SM_CYICON) : I->Colour.Height();
    if (FlickerFree) {
        const RECT Rc{X, Y, X + Cx, Y + Cy};
        FillRect(Dc, &Rc, FlickerFree);
    }
    const bool Alpha = I->Alpha;
    TPixelCombine Combine;
    if ((Flags & DI_NORMAL) == DI_NORMAL)
        Combine = [Alpha](COLORREF D, COLORREF S, uint8_t A, bool Keep) {
            if (Alpha) return BlendColour(D, S, A);
            return (Keep ? D : 0) ^ S;
        };
    else if (Flags & DI_MASK)
        Combine = [](COLORREF D, COLORREF, uint8_t, bool Keep) { return Keep ? D : 0; };
    else
        Combine = [](COLORREF, COLORREF S, uint8_t, bool) { return S; };
    return PaintImage(Dc, X, Y, Cx, Cy, I->Colour, &I->Mask, Combine) ? TRUE : FALSE;
}

HANDLE CopyImage(HANDLE Image, UINT Type, int Cx, int Cy, UINT Flags) {
    if (Type != IMAGE_ICON) return nullptr;
    auto I = FindIcon(static_cast<HICON>(Image));
    if (!I || Cx < 0 || Cy < 0) return nullptr;
    if (Cx == 0) Cx = (Flags & LR_DEFAULTSIZE) ? GetSystemMetrics(SM_CXICON) : I->Colour.Width();
    if (Cy == 0) Cy = (Flags & LR_DEFAULTSIZE) ? GetSystemMetrics(SM_CYICON) : I->Colour.Height();
    // Icons are small; a copy larger than a screen is refused.
    if (Cx > 4096 || Cy > 4096) return nullptr;
    auto Copy = std::make_shared<TIcon>(*I);
    Copy->Shared = false;
    Copy->Colour = Scaled(I->Colour, Cx, Cy);
    Copy->Mask = Scaled(I->Mask, Cx, Cy);
    Copy->HotX = DWORD(int64_t(I->HotX) * Cx / std::max(1, I->Colour.Width()));
    Copy->HotY = DWORD(int64_t(I->HotY) * Cy / std::max(1, I->Colour.Height()));
    HICON Out = AddIcon(std::move(Copy));
    if (Flags & LR_COPYDELETEORG) DestroyIcon(static_cast<HICON>(Image));
    return Out;
}

namespace {

// The predefined icons are drawn: a disc (a triangle for the warning) with
// a glyph of 5 x 7 cells, each cell three pixels square.
struct TGlyph {
    COLORREF Back, Fore;
    bool Triangle;
    const char* Rows[7];
};
const TGlyph* GlyphOf(uintptr_t Id) {
    static const TGlyph Hand{0x2020C8, 0xFFFFFF, false, {"X...X", ".X.X.", "..X..", "..X..", ".X.X.", "X...X", "....."}};
    static const TGlyph Question{0xC06020, 0xFFFFFF, false,
                                 {".XXX.", "X...X", "...X.", "..X..", "..X..", ".....", "..X.."}};
    static const TGlyph Exclamation{0x20C8F0, 0x000000, true,
                                    {"..X..", "..X..", "..X..", "..X..", "..X..", ".....", "..X.."}};
    static const TGlyph Asterisk{0xC06020, 0xFFFFFF, false,
                                 {"..X..", ".....", ".XX..", "..X..", "..X..", "..X..", ".XXX."}};
    static const TGlyph Application{0xC0C0C0, 0x800000, false,
                                    {"XXXXX", "X...X", "X...X", "X...X", "X...X", "XXXXX", "....."}};
    switch (Id) {
        case IDI_HAND: return &Hand;
        case IDI_QUESTION: return &Question;
        case IDI_EXCLAMATION: return &Exclamation;
        case IDI_ASTERISK: return &Asterisk;
        case IDI_APPLICATION: return &Application;
        default: return nullptr;
    }
}

std::shared_ptr<const TIcon> DrawnIcon(const TGlyph& G) {
    const int N = 32;
    auto I = std::make_shared<TIcon>();
    I->Shared = true;
    I->Colour = TBitmap(N, N, pf32bit);
    I->Mask = TBitmap(N, N, pf1bit);
    for (int Y = 0; Y < N; ++Y) {
        uint8_t* C = I->Colour.ScanLine(Y);
        uint8_t* M = I->Mask.ScanLine(Y);
        for (int X = 0; X < N; ++X) {
            bool Inside;
            if (G.Triangle)  // apex at the top centre, base along the bottom
                Inside = Y >= 1 && Y <= 30 && 2 * std::abs(2 * X + 1 - N) <= 2 * (Y - 1) + 2;
            else
                Inside = (2 * X + 1 - N) * (2 * X + 1 - N) + (2 * Y + 1 - N) * (2 * Y + 1 - N) <= 30 * 30;
            int Gx = (X - 8) / 3, Gy = (Y - (G.Triangle ? 10 : 6)) / 3;
            bool Ink = Inside && X >= 8 && Y >= (G.Triangle ? 10 : 6) && Gx < 5 && Gy < 7 && G.Rows[Gy][Gx] == 'X';
            COLORREF Px = Inside ? (Ink ? G.Fore : G.Back) : 0;
            C[4 * X] = uint8_t(Px >> 16), C[4 * X + 1] = uint8_t(Px >> 8), C[4 * X + 2] = uint8_t(Px);
            C[4 * X + 3] = 0;
            if (!Inside) M[X / 8] |= uint8_t(0x80 >> (X % 8));
            else M[X / 8] &= uint8_t(~(0x80 >> (X % 8)));
        }
    }
    return I;
}

}  // namespace

HICON LoadIconW(HINSTANCE Instance, LPCWSTR Name) {
    if (Instance || !IS_INTRESOURCE(Name)) return nullptr;
    const TGlyph* G = GlyphOf(uintptr_t(Name));
    if (!G) return nullptr;
    // Made once per id and never destroyed: every caller shares it.
    static std::mutex Lock;
    static std::map<uintptr_t, HICON>* Made = new std::map<uintptr_t, HICON>;
    std::lock_guard<std::mutex> Guard(Lock);
    HICON& Icon = (*Made)[uintptr_t(Name)];
    if (!Icon) Icon = AddIcon(DrawnIcon(*G));
    return Icon;
}

HBITMAP LoadBitmapW(HINSTANCE Instance, LPCWSTR Name) {
    if (Instance || !IS_INTRESOURCE(Name)) return nullptr;
    if (uintptr_t(Name) == OBM_CHECK) return CreateBitmapObject(CheckMarkBitmap());
    return nullptr;
}

}  // namespace velmo
