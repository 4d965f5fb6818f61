#include "platform/ui/ImageLists.h"

#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace velmo {

namespace {

struct TImage {
    TBitmap Colour;  // pf32bit
    TBitmap Mask;    // pf1bit, 1 = transparent; empty for none
    bool Alpha = false;
};

struct TImageList {
    int Cx = 0, Cy = 0;
    UINT Flags = 0;
    COLORREF Background = CLR_NONE;
    std::vector<std::shared_ptr<const TImage>> Images;
};

// Images per list, a bound on what hostile bitmaps can make a list hold.
constexpr size_t MaxImages = 1 << 16;

struct TListTable {
    std::mutex Lock;
    uintptr_t Next = 0x7B0000;
    std::map<uintptr_t, std::unique_ptr<TImageList>> Lists;
};

TListTable& Table() {
    static TListTable* T = new TListTable;
    return *T;
}

// Runs Body on a live list under the table's lock; Failure otherwise.
template <typename T, typename F>
T WithList(HIMAGELIST List, T Failure, F Body) {
    TListTable& Tb = Table();
    std::lock_guard<std::mutex> Guard(Tb.Lock);
    auto It = Tb.Lists.find(reinterpret_cast<uintptr_t>(List));
    return It == Tb.Lists.end() ? Failure : Body(*It->second);
}

// Appends the images of Source cut into the list's size; Transparent(x, y,
// colour) says which pixels the mask marks when Masked; ChangeKey stores
// those pixels black.
template <typename F>
int AddPieces(HIMAGELIST List, const TBitmap& Source, F Transparent, bool Masked, bool ChangeKey) {
    return WithList(List, -1, [&](TImageList& L) {
        if (Source.Width() < L.Cx || Source.Height() < L.Cy) return -1;
        const size_t Count = size_t(Source.Width() / L.Cx);
        if (L.Images.size() + Count > MaxImages) return -1;
        const bool KeepAlpha = (L.Flags & 0xFE) == ILC_COLOR32 && Source.PixelFormat() == pf32bit;
        const bool UseMask = Masked && (L.Flags & ILC_MASK);
        const int First = int(L.Images.size());
        for (size_t N = 0; N < Count; ++N) {
            auto Img = std::make_shared<TImage>();
            Img->Colour = TBitmap(L.Cx, L.Cy, pf32bit);
            if (UseMask) Img->Mask = TBitmap(L.Cx, L.Cy, pf1bit);
            for (int Y = 0; Y < L.Cy; ++Y)
                for (int X = 0; X < L.Cx; ++X) {
                    const int Sx = int(N) * L.Cx + X;
                    const TColor C = Source.GetPixel(Sx, Y);
                    const bool Clear = UseMask && Transparent(Sx, Y, C);
                    uint8_t* P = Img->Colour.ScanLine(Y) + size_t(X) * 4;
                    const TColor Stored = Clear && ChangeKey ? 0 : C;
                    P[0] = GetBValue(Stored), P[1] = GetGValue(Stored), P[2] = GetRValue(Stored);
                    P[3] = KeepAlpha ? Source.ScanLine(Y)[size_t(Sx) * 4 + 3] : 0;
                    if (P[3]) Img->Alpha = true;
                    if (Clear) Img->Mask.SetPixel(X, Y, 0xFFFFFF);
                }
            L.Images.push_back(std::move(Img));
        }
        return First;
    });
}

}  // namespace

HIMAGELIST ImageList_Create(int Cx, int Cy, UINT Flags, int, int) {
    if (Cx < 1 || Cy < 1 || Cx > 4096 || Cy > 4096) return nullptr;
    auto L = std::make_unique<TImageList>();
    L->Cx = Cx;
    L->Cy = Cy;
    L->Flags = Flags;
    TListTable& T = Table();
    std::lock_guard<std::mutex> Guard(T.Lock);
    T.Next += 8;
    T.Lists.emplace(T.Next, std::move(L));
    return reinterpret_cast<HIMAGELIST>(T.Next);
}

BOOL ImageList_Destroy(HIMAGELIST List) {
    TListTable& T = Table();
    std::lock_guard<std::mutex> Guard(T.Lock);
    return T.Lists.erase(reinterpret_cast<uintptr_t>(List)) ? TRUE : FALSE;
}

int ImageList_Add(HIMAGELIST List, HBITMAP Image, HBITMAP Mask) {
    TBitmap Source, MaskBits;
    if (!GetBitmapObject(Image, Source)) return -1;
    const bool Masked = Mask && GetBitmapObject(Mask, MaskBits);
    if (Mask && !Masked) return -1;
    if (Masked && (MaskBits.Width() < Source.Width() || MaskBits.Height() < Source.Height())) return -1;
    return AddPieces(
        List, Source, [&](int X, int Y, TColor) { return MaskBits.GetPixel(X, Y) == 0xFFFFFF; }, Masked, false);
}

int ImageList_AddMasked(HIMAGELIST List, HBITMAP Image, COLORREF Key) {
    TBitmap Source;
    if (!GetBitmapObject(Image, Source)) return -1;
    const TColor K = TColor(Key & 0xFFFFFF);
    return AddPieces(List, Source, [&](int, int, TColor C) { return C == K; }, true, true);
}

int ImageList_ReplaceIcon(HIMAGELIST List, int Index, HICON Icon) {
    TBitmap Colour, Mask;
    bool Alpha = false;
    int Cx = 0, Cy = 0;
    if (!ImageList_GetIconSize(List, &Cx, &Cy)) return -1;
    HICON Fitted = static_cast<HICON>(CopyImage(Icon, IMAGE_ICON, Cx, Cy, 0));
    if (!Fitted) return -1;
    const bool Got = GetIconImages(Fitted, Colour, Mask, Alpha);
    DestroyIcon(Fitted);
    if (!Got) return -1;
    return WithList(List, -1, [&](TImageList& L) {
        auto Img = std::make_shared<TImage>();
        Img->Alpha = Alpha && (L.Flags & 0xFE) == ILC_COLOR32;
        Img->Colour = std::move(Colour);
        if (L.Flags & ILC_MASK) Img->Mask = std::move(Mask);
        if (Index == -1) {
            if (L.Images.size() >= MaxImages) return -1;
            L.Images.push_back(std::move(Img));
            return int(L.Images.size() - 1);
        }
        if (Index < 0 || size_t(Index) >= L.Images.size()) return -1;
        L.Images[size_t(Index)] = std::move(Img);
        return Index;
    });
}

int ImageList_GetImageCount(HIMAGELIST List) {
    return WithList(List, 0, [](TImageList& L) { return int(L.Images.size()); });
}

BOOL ImageList_GetIconSize(HIMAGELIST List, int* Cx, int* Cy) {
    if (!Cx || !Cy) return FALSE;
    return WithList(List, FALSE, [&](TImageList& L) {
        *Cx = L.Cx;
        *Cy = L.Cy;
        return TRUE;
    });
}

COLORREF ImageList_SetBkColor(HIMAGELIST List, COLORREF Colour) {
    return WithList(List, CLR_NONE, [&](TImageList& L) {
        return std::exchange(L.Background, Colour == CLR_NONE ? CLR_NONE : Colour & 0xFFFFFF);
    });
}

COLORREF ImageList_GetBkColor(HIMAGELIST List) {
    return WithList(List, CLR_NONE, [](TImageList& L) { return L.Background; });
}

BOOL ImageList_Draw(HIMAGELIST List, int Index, HDC Dc, int X, int Y, UINT Style) {
    return ImageList_DrawEx(List, Index, Dc, X, Y, 0, 0, CLR_DEFAULT, CLR_DEFAULT, Style);
}

BOOL ImageList_DrawEx(HIMAGELIST List, int Index, HDC Dc, int X, int Y, int Dx, int Dy,
                      COLORREF Background, COLORREF, UINT Style) {
    std::shared_ptr<const TImage> Img;
    int Cx = 0, Cy = 0;
    COLORREF Bk = CLR_NONE;
    const bool Found = WithList(List, false, [&](TImageList& L) {
        if (Index < 0 || size_t(Index) >= L.Images.size()) return false;
        Img = L.Images[size_t(Index)];
        Cx = L.Cx, Cy = L.Cy;
        Bk = Background == CLR_DEFAULT ? L.Background : Background;
        return true;
    });
    if (!Found) return FALSE;
    if (Dx <= 0) Dx = Cx;
    if (Dy <= 0) Dy = Cy;
    const TBitmap* Mask = Img->Mask.Empty() ? nullptr : &Img->Mask;
    const bool Alpha = Img->Alpha;
    TPixelCombine Combine;
    if (Style & ILD_MASK) {
        Combine = [](COLORREF, COLORREF, uint8_t, bool Clear) { return Clear ? 0xFFFFFFu : 0u; };
    } else if (!Mask && !Alpha) {
        Combine = [](COLORREF, COLORREF S, uint8_t, bool) { return S; };
    } else {
        // Masked-off pixels keep the destination, or take the background
        // colour in a normal drawing of a list that has one.
        const bool Fill = !(Style & ILD_TRANSPARENT) && Bk != CLR_NONE;
        Combine = [Alpha, Fill, Bk](COLORREF D, COLORREF S, uint8_t A, bool Clear) {
            const COLORREF Under = Fill ? Bk : D;
            if (Alpha) return BlendColour(Under, S, A);
            return Clear ? Under : S;
        };
    }
    return PaintImage(Dc, X, Y, Dx, Dy, Img->Colour, Mask, Combine) ? TRUE : FALSE;
}

}  // namespace velmo
