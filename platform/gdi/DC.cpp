#include "platform/gdi/DC.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace velmo {

namespace {

enum class TObjectKind { Bitmap, Brush, Pen };

struct TGdiObject {
    TObjectKind Kind = TObjectKind::Brush;
    bool Stock = false;
    // Brushes and pens.
    COLORREF Color = 0;
    bool Hollow = false;
    int Style = PS_SOLID;
    int Width = 0;
    // Bitmaps; SelectedIn is the DC that holds it (0 when none).
    TBitmap Bitmap;
    uintptr_t SelectedIn = 0;
};

struct TDcSettings {
    COLORREF TextColor = 0x000000;
    COLORREF BkColor = 0xFFFFFF;
    int StretchMode = BLACKONWHITE;
    uintptr_t Brush = 0;
    uintptr_t Pen = 0;
};

struct TMemoryDc {
    TDcSettings Now;
    uintptr_t Bitmap = 0;
    std::vector<TDcSettings> Saved;
};

// Every live DC and object by handle value. Values only grow, so a handle
// that was freed never names a later object.
struct TRegistry {
    std::mutex Lock;
    uintptr_t Next = 0x10000;
    std::unordered_map<uintptr_t, std::unique_ptr<TMemoryDc>> Dcs;
    std::unordered_map<uintptr_t, std::unique_ptr<TGdiObject>> Objects;
    uintptr_t WhiteBrush = 0, NullBrush = 0, BlackPen = 0, NullPen = 0, DefaultBitmap = 0;

    TRegistry() {
        auto Stock = [this](TObjectKind Kind) {
            auto Object = std::make_unique<TGdiObject>();
            Object->Kind = Kind;
            Object->Stock = true;
            return Add(std::move(Object));
        };
        WhiteBrush = Stock(TObjectKind::Brush);
        Objects[WhiteBrush]->Color = 0xFFFFFF;
        NullBrush = Stock(TObjectKind::Brush);
        Objects[NullBrush]->Hollow = true;
        BlackPen = Stock(TObjectKind::Pen);
        NullPen = Stock(TObjectKind::Pen);
        Objects[NullPen]->Style = PS_NULL;
        DefaultBitmap = Stock(TObjectKind::Bitmap);
        Objects[DefaultBitmap]->Bitmap = TBitmap(1, 1, pf1bit);
    }

    uintptr_t NewHandle() {
        Next += 16;
        return Next;
    }
    uintptr_t Add(std::unique_ptr<TGdiObject> Object) {
        uintptr_t H = NewHandle();
        Objects.emplace(H, std::move(Object));
        return H;
    }
    TMemoryDc* FindDc(HDC Dc) {
        auto It = Dcs.find(reinterpret_cast<uintptr_t>(Dc));
        return It == Dcs.end() ? nullptr : It->second.get();
    }
    TGdiObject* FindObject(uintptr_t H) {
        auto It = Objects.find(H);
        return It == Objects.end() ? nullptr : It->second.get();
    }
    TGdiObject* FindObject(HGDIOBJ H) { return FindObject(reinterpret_cast<uintptr_t>(H)); }
};

TRegistry& Registry() {
    // Never destroyed, so handles stay checkable during process exit.
    static TRegistry* R = new TRegistry;
    return *R;
}

HGDIOBJ ToHandle(uintptr_t H) { return reinterpret_cast<HGDIOBJ>(H); }

// Pixel values: palette formats hold the index; 24- and 32-bit formats hold
// B | G << 8 | R << 16 (| A << 24), the byte order of the row.
uint32_t ReadValue(const TBitmap& B, int X, int Y) {
    const uint8_t* Row = B.ScanLine(Y);
    switch (B.PixelFormat()) {
        case pf1bit:
            return (Row[X >> 3] >> (7 - (X & 7))) & 1;
        case pf4bit:
            return (Row[X >> 1] >> ((X & 1) ? 0 : 4)) & 0xF;
        case pf8bit:
            return Row[X];
        case pf24bit:
            Row += size_t(X) * 3;
            return uint32_t(Row[0]) | (uint32_t(Row[1]) << 8) | (uint32_t(Row[2]) << 16);
        case pf32bit:
            Row += size_t(X) * 4;
            return uint32_t(Row[0]) | (uint32_t(Row[1]) << 8) | (uint32_t(Row[2]) << 16) |
                   (uint32_t(Row[3]) << 24);
    }
    return 0;
}

void WriteValue(TBitmap& B, int X, int Y, uint32_t V) {
    uint8_t* Row = B.ScanLine(Y);
    switch (B.PixelFormat()) {
        case pf1bit: {
            const uint8_t Bit = uint8_t(0x80 >> (X & 7));
            Row[X >> 3] = uint8_t((V & 1) ? (Row[X >> 3] | Bit) : (Row[X >> 3] & ~Bit));
            break;
        }
        case pf4bit: {
            const int Shift = (X & 1) ? 0 : 4;
            Row[X >> 1] = uint8_t((Row[X >> 1] & ~(0xF << Shift)) | ((V & 0xF) << Shift));
            break;
        }
        case pf8bit:
            Row[X] = uint8_t(V);
            break;
        case pf24bit:
            Row += size_t(X) * 3;
            Row[0] = uint8_t(V);
            Row[1] = uint8_t(V >> 8);
            Row[2] = uint8_t(V >> 16);
            break;
        case pf32bit:
            Row += size_t(X) * 4;
            Row[0] = uint8_t(V);
            Row[1] = uint8_t(V >> 8);
            Row[2] = uint8_t(V >> 16);
            Row[3] = uint8_t(V >> 24);
            break;
    }
}

bool IsIndexed(const TBitmap& B) { return B.BitsPerPixel() <= 8; }

uint32_t ValueMask(const TBitmap& B) {
    switch (B.PixelFormat()) {
        case pf1bit:
            return 1;
        case pf4bit:
            return 0xF;
        case pf8bit:
            return 0xFF;
        case pf24bit:
            return 0xFFFFFF;
        case pf32bit:
            return 0xFFFFFFFF;
    }
    return 0xFFFFFF;
}

// COLORREF ($00BBGGRR) to the packed B | G << 8 | R << 16 form and back.
uint32_t Packed(COLORREF C) { return ((C & 0xFF) << 16) | (C & 0xFF00) | ((C >> 16) & 0xFF); }

// Colour (packed, no fourth byte) of a pixel value of B.
uint32_t ColourOf(const TBitmap& B, uint32_t V) {
    if (!IsIndexed(B)) return V & 0xFFFFFF;
    const auto& Pal = B.Palette();
    if (V >= Pal.size()) return 0;
    const TRGBQuad& Q = Pal[V];
    return uint32_t(Q.rgbBlue) | (uint32_t(Q.rgbGreen) << 8) | (uint32_t(Q.rgbRed) << 16);
}

// Maps colours to the nearest palette entry of one bitmap (the first of equal
// distance), remembering the answers of one blit.
class TNearest {
public:
    explicit TNearest(const TBitmap& B) : FPalette(B.Palette()) {}
    uint32_t operator()(uint32_t Colour) {
        auto It = FCache.find(Colour);
        if (It != FCache.end()) return It->second;
        const int R = int((Colour >> 16) & 0xFF), G = int((Colour >> 8) & 0xFF),
                  B = int(Colour & 0xFF);
        uint32_t Best = 0;
        int BestDistance = 1 << 30;
        for (size_t I = 0; I < FPalette.size(); ++I) {
            const int Dr = R - FPalette[I].rgbRed, Dg = G - FPalette[I].rgbGreen,
                      Db = B - FPalette[I].rgbBlue;
            const int Distance = Dr * Dr + Dg * Dg + Db * Db;
            if (Distance < BestDistance) {
                BestDistance = Distance;
                Best = uint32_t(I);
            }
        }
        FCache.emplace(Colour, Best);
        return Best;
    }

private:
    const std::vector<TRGBQuad>& FPalette;
    std::unordered_map<uint32_t, uint32_t> FCache;
};

// Turns source pixel values into values of the target format.
class TConverter {
public:
    TConverter(const TBitmap& Src, COLORREF SrcBk, const TBitmap& Dst, COLORREF DstText,
               COLORREF DstBk)
        : FSrc(Src),
          FDst(Dst),
          FSrcBk(Packed(SrcBk)),
          FDstText(Packed(DstText)),
          FDstBk(Packed(DstBk)),
          FNearest(Dst),
          FSamePalette(Src.PixelFormat() == Dst.PixelFormat() && IsIndexed(Src) &&
                       Src.Palette() == Dst.Palette()) {}

    uint32_t operator()(uint32_t V) {
        const bool SrcMono = FSrc.PixelFormat() == pf1bit;
        if (FDst.PixelFormat() == pf1bit) {
            if (SrcMono) return V & 1;
            return ColourOf(FSrc, V) == FSrcBk ? 1 : 0;
        }
        if (FSamePalette) return V;
        uint32_t Colour;
        if (SrcMono)
            Colour = (V & 1) ? FDstBk : FDstText;
        else if (!IsIndexed(FSrc))
            Colour = V;  // keeps a 32-bit source's fourth byte
        else
            Colour = ColourOf(FSrc, V);
        if (IsIndexed(FDst)) return FNearest(Colour & 0xFFFFFF);
        return Colour;
    }

    uint32_t Nearest(uint32_t Colour) { return FNearest(Colour); }

private:
    const TBitmap& FSrc;
    const TBitmap& FDst;
    uint32_t FSrcBk, FDstText, FDstBk;
    TNearest FNearest;
    bool FSamePalette;
};

// One axis of a blit: the destination positions inside the target and the
// source pixels (Lo .. Hi, inside the source) that each one takes.
struct TAxisStep {
    int Dest;
    int Lo, Hi;
};

// The start and extent of x .. x + w − 1, or of x + w .. x − 1 for w < 0.
void Normalise(int Pos, int Extent, int64_t& Start, int64_t& Length) {
    if (Extent < 0) {
        Start = int64_t(Pos) + Extent;
        Length = -int64_t(Extent);
    } else {
        Start = Pos;
        Length = Extent;
    }
}

std::vector<TAxisStep> MapAxis(int DPos, int DExt, int DLimit, int SPos, int SExt, int SLimit,
                               bool Combine) {
    std::vector<TAxisStep> Steps;
    int64_t D0, D, S0, S;
    Normalise(DPos, DExt, D0, D);
    Normalise(SPos, SExt, S0, S);
    if (D == 0 || S == 0) return Steps;
    const bool Mirror = (DExt < 0) != (SExt < 0);
    const int64_t First = std::max<int64_t>(0, -D0);
    const int64_t Last = std::min<int64_t>(D, int64_t(DLimit) - D0);  // exclusive
    const bool Span = Combine && S > D;
    for (int64_t d = First; d < Last; ++d) {
        // A mirrored blit is the unmirrored result turned around.
        const int64_t e = Mirror ? D - 1 - d : d;
        int64_t Lo, Hi;
        if (Span) {
            Lo = e * S / D;
            Hi = (e + 1) * S / D - 1;
        } else {
            Lo = Hi = (2 * e + 1) * S / (2 * D);
        }
        Lo = std::max<int64_t>(Lo + S0, 0);
        Hi = std::min<int64_t>(Hi + S0, int64_t(SLimit) - 1);
        if (Lo > Hi) continue;
        Steps.push_back({int(D0 + d), int(Lo), int(Hi)});
    }
    return Steps;
}

bool UsesSource(uint8_t Code) { return (((Code >> 2) ^ Code) & 0x33) != 0; }
bool UsesPattern(uint8_t Code) { return (((Code >> 4) ^ Code) & 0x0F) != 0; }

// Destination-only or brush-only fill of a rectangle.
void FillRect(TBitmap& Dst, int X, int Y, int W, int H, uint8_t Code, uint32_t P) {
    int64_t X0, Wn, Y0, Hn;
    Normalise(X, W, X0, Wn);
    Normalise(Y, H, Y0, Hn);
    const int64_t XA = std::max<int64_t>(X0, 0), XB = std::min<int64_t>(X0 + Wn, Dst.Width());
    const int64_t YA = std::max<int64_t>(Y0, 0), YB = std::min<int64_t>(Y0 + Hn, Dst.Height());
    const uint32_t Mask = ValueMask(Dst);
    for (int64_t Yi = YA; Yi < YB; ++Yi)
        for (int64_t Xi = XA; Xi < XB; ++Xi) {
            const uint32_t D = ReadValue(Dst, int(Xi), int(Yi));
            WriteValue(Dst, int(Xi), int(Yi), ApplyRop3(Code, P, 0, D) & Mask);
        }
}

BOOL Blit(HDC Dc, int X, int Y, int W, int H, HDC Source, int XSrc, int YSrc, int WSrc, int HSrc,
          DWORD Rop, bool SourceAllowed) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TMemoryDc* Target = R.FindDc(Dc);
    if (!Target) return 0;
    const uint8_t Code = Rop3Code(Rop);
    const bool NeedSource = UsesSource(Code);
    if (NeedSource && !SourceAllowed) return 0;
    TMemoryDc* SrcDc = nullptr;
    if (NeedSource) {
        SrcDc = R.FindDc(Source);
        if (!SrcDc) return 0;
    }
    TGdiObject* DstObject = R.FindObject(Target->Bitmap);
    if (!DstObject) return 0;
    TBitmap& Dst = DstObject->Bitmap;
    uint32_t P = 0;
    if (UsesPattern(Code)) {
        TGdiObject* Brush = R.FindObject(Target->Now.Brush);
        if (!Brush) return 0;
        if (Brush->Hollow) return 1;
        P = IsIndexed(Dst) ? TNearest(Dst)(Packed(Brush->Color)) : Packed(Brush->Color);
    }
    if (!NeedSource) {
        FillRect(Dst, X, Y, W, H, Code, P);
        return 1;
    }
    if (WSrc == 0 || HSrc == 0) return W == 0 || H == 0 ? 1 : 0;
    TGdiObject* SrcObject = R.FindObject(SrcDc->Bitmap);
    if (!SrcObject) return 0;
    // A blit within one bitmap reads the pixels as they were before it.
    std::unique_ptr<TBitmap> Copy;
    if (SrcObject == DstObject) Copy = std::make_unique<TBitmap>(SrcObject->Bitmap);
    const TBitmap& Src = Copy ? *Copy : SrcObject->Bitmap;

    const int Mode = Target->Now.StretchMode;
    const bool Combine = Mode != COLORONCOLOR;
    const auto Xs = MapAxis(X, W, Dst.Width(), XSrc, WSrc, Src.Width(), Combine);
    const auto Ys = MapAxis(Y, H, Dst.Height(), YSrc, HSrc, Src.Height(), Combine);
    if (Xs.empty() || Ys.empty()) return 1;

    TConverter Convert(Src, SrcDc->Now.BkColor, Dst, Target->Now.TextColor, Target->Now.BkColor);
    const uint32_t Mask = ValueMask(Dst);
    const bool Indexed = IsIndexed(Dst);
    for (const TAxisStep& Ys_ : Ys) {
        for (const TAxisStep& Xs_ : Xs) {
            uint32_t S;
            if (Xs_.Lo == Xs_.Hi && Ys_.Lo == Ys_.Hi) {
                S = Convert(ReadValue(Src, Xs_.Lo, Ys_.Lo));
            } else if (Mode == HALFTONE) {
                uint64_t Sum[4] = {0, 0, 0, 0};
                uint64_t N = 0;
                for (int Sy = Ys_.Lo; Sy <= Ys_.Hi; ++Sy)
                    for (int Sx = Xs_.Lo; Sx <= Xs_.Hi; ++Sx) {
                        uint32_t V = Convert(ReadValue(Src, Sx, Sy));
                        if (Indexed) V = ColourOf(Dst, V);
                        for (int C = 0; C < 4; ++C) Sum[C] += (V >> (8 * C)) & 0xFF;
                        ++N;
                    }
                S = 0;
                for (int C = 0; C < 4; ++C) S |= uint32_t((Sum[C] + N / 2) / N) << (8 * C);
                if (Indexed) S = Convert.Nearest(S & 0xFFFFFF);
            } else {
                const bool And = Mode != WHITEONBLACK;
                S = And ? 0xFFFFFFFF : 0;
                for (int Sy = Ys_.Lo; Sy <= Ys_.Hi; ++Sy)
                    for (int Sx = Xs_.Lo; Sx <= Xs_.Hi; ++Sx) {
                        const uint32_t V = Convert(ReadValue(Src, Sx, Sy));
                        S = And ? (S & V) : (S | V);
                    }
            }
            const uint32_t D = ReadValue(Dst, Xs_.Dest, Ys_.Dest);
            WriteValue(Dst, Xs_.Dest, Ys_.Dest, ApplyRop3(Code, P, S & Mask, D) & Mask);
        }
    }
    return 1;
}

}  // namespace

HDC CreateCompatibleDC(HDC Dc) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    if (Dc && !R.FindDc(Dc)) return nullptr;
    auto New = std::make_unique<TMemoryDc>();
    New->Bitmap = R.DefaultBitmap;
    New->Now.Brush = R.WhiteBrush;
    New->Now.Pen = R.BlackPen;
    const uintptr_t H = R.NewHandle();
    R.Dcs.emplace(H, std::move(New));
    return reinterpret_cast<HDC>(H);
}

BOOL DeleteDC(HDC Dc) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TMemoryDc* D = R.FindDc(Dc);
    if (!D) return 0;
    if (TGdiObject* B = R.FindObject(D->Bitmap); B && !B->Stock) B->SelectedIn = 0;
    R.Dcs.erase(reinterpret_cast<uintptr_t>(Dc));
    return 1;
}

HGDIOBJ SelectObject(HDC Dc, HGDIOBJ Object) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TMemoryDc* D = R.FindDc(Dc);
    TGdiObject* O = R.FindObject(Object);
    if (!D || !O) return nullptr;
    const uintptr_t H = reinterpret_cast<uintptr_t>(Object);
    const uintptr_t DcH = reinterpret_cast<uintptr_t>(Dc);
    uintptr_t Previous = 0;
    switch (O->Kind) {
        case TObjectKind::Bitmap: {
            if (!O->Stock && O->SelectedIn != 0 && O->SelectedIn != DcH) return nullptr;
            Previous = D->Bitmap;
            if (TGdiObject* Old = R.FindObject(Previous); Old && !Old->Stock) Old->SelectedIn = 0;
            D->Bitmap = H;
            if (!O->Stock) O->SelectedIn = DcH;
            break;
        }
        case TObjectKind::Brush:
            Previous = D->Now.Brush;
            D->Now.Brush = H;
            break;
        case TObjectKind::Pen:
            Previous = D->Now.Pen;
            D->Now.Pen = H;
            break;
    }
    return ToHandle(Previous);
}

HGDIOBJ GetCurrentObject(HDC Dc, UINT Kind) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TMemoryDc* D = R.FindDc(Dc);
    if (!D) return nullptr;
    switch (Kind) {
        case OBJ_BITMAP:
            return ToHandle(D->Bitmap);
        case OBJ_BRUSH:
            return ToHandle(D->Now.Brush);
        case OBJ_PEN:
            return ToHandle(D->Now.Pen);
    }
    return nullptr;
}

HBRUSH CreateSolidBrush(COLORREF Color) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    auto O = std::make_unique<TGdiObject>();
    O->Kind = TObjectKind::Brush;
    O->Color = Color & 0xFFFFFF;
    return ToHandle(R.Add(std::move(O)));
}

HPEN CreatePen(int Style, int Width, COLORREF Color) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    auto O = std::make_unique<TGdiObject>();
    O->Kind = TObjectKind::Pen;
    O->Style = Style;
    O->Width = Width;
    O->Color = Color & 0xFFFFFF;
    return ToHandle(R.Add(std::move(O)));
}

HGDIOBJ GetStockObject(int Index) {
    TRegistry& R = Registry();
    switch (Index) {
        case WHITE_BRUSH:
            return ToHandle(R.WhiteBrush);
        case NULL_BRUSH:
            return ToHandle(R.NullBrush);
        case BLACK_PEN:
            return ToHandle(R.BlackPen);
        case NULL_PEN:
            return ToHandle(R.NullPen);
    }
    return nullptr;
}

BOOL DeleteObject(HGDIOBJ Object) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TGdiObject* O = R.FindObject(Object);
    if (!O) return 0;
    if (O->Stock) return 1;
    const uintptr_t H = reinterpret_cast<uintptr_t>(Object);
    if (O->SelectedIn) return 0;
    for (const auto& [Handle, D] : R.Dcs) {
        if (D->Now.Brush == H || D->Now.Pen == H) return 0;
        for (const TDcSettings& S : D->Saved)
            if (S.Brush == H || S.Pen == H) return 0;
    }
    R.Objects.erase(H);
    return 1;
}

HBITMAP CreateBitmapObject(const TBitmap& Bitmap) {
    if (Bitmap.Empty()) return nullptr;
    auto O = std::make_unique<TGdiObject>();
    O->Kind = TObjectKind::Bitmap;
    O->Bitmap = Bitmap;
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    return ToHandle(R.Add(std::move(O)));
}

bool GetBitmapObject(HBITMAP Bitmap, TBitmap& Out) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TGdiObject* O = R.FindObject(Bitmap);
    if (!O || O->Kind != TObjectKind::Bitmap) return false;
    Out = O->Bitmap;
    return true;
}

namespace {

// Runs Change on a live DC's settings under the lock; Failure otherwise.
template <typename T, typename F>
T WithDc(HDC Dc, T Failure, F Change) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TMemoryDc* D = R.FindDc(Dc);
    return D ? Change(*D) : Failure;
}

}  // namespace

COLORREF SetTextColor(HDC Dc, COLORREF Color) {
    return WithDc(Dc, CLR_INVALID,
                  [&](TMemoryDc& D) { return std::exchange(D.Now.TextColor, Color & 0xFFFFFF); });
}
COLORREF GetTextColor(HDC Dc) {
    return WithDc(Dc, CLR_INVALID, [](TMemoryDc& D) { return D.Now.TextColor; });
}
COLORREF SetBkColor(HDC Dc, COLORREF Color) {
    return WithDc(Dc, CLR_INVALID,
                  [&](TMemoryDc& D) { return std::exchange(D.Now.BkColor, Color & 0xFFFFFF); });
}
COLORREF GetBkColor(HDC Dc) {
    return WithDc(Dc, CLR_INVALID, [](TMemoryDc& D) { return D.Now.BkColor; });
}
int SetStretchBltMode(HDC Dc, int Mode) {
    if (Mode < BLACKONWHITE || Mode > HALFTONE) return 0;
    return WithDc(Dc, 0, [&](TMemoryDc& D) { return std::exchange(D.Now.StretchMode, Mode); });
}
int GetStretchBltMode(HDC Dc) {
    return WithDc(Dc, 0, [](TMemoryDc& D) { return D.Now.StretchMode; });
}

int SaveDC(HDC Dc) {
    return WithDc(Dc, 0, [](TMemoryDc& D) {
        if (D.Saved.size() >= 0x7FFF) return 0;
        D.Saved.push_back(D.Now);
        return int(D.Saved.size());
    });
}

BOOL RestoreDC(HDC Dc, int Saved) {
    return WithDc(Dc, BOOL(0), [&](TMemoryDc& D) -> BOOL {
        const int64_t Depth = int64_t(D.Saved.size());
        const int64_t Level = Saved > 0 ? Saved : Depth + 1 + int64_t(Saved);
        if (Saved == 0 || Level < 1 || Level > Depth) return 0;
        D.Now = D.Saved[size_t(Level - 1)];
        D.Saved.resize(size_t(Level - 1));
        return 1;
    });
}

BOOL PatBlt(HDC Dc, int X, int Y, int Width, int Height, DWORD Rop) {
    return Blit(Dc, X, Y, Width, Height, nullptr, 0, 0, Width, Height, Rop, false);
}

BOOL BitBlt(HDC Dc, int X, int Y, int Width, int Height, HDC Source, int XSrc, int YSrc,
            DWORD Rop) {
    return Blit(Dc, X, Y, Width, Height, Source, XSrc, YSrc, Width, Height, Rop, true);
}

BOOL StretchBlt(HDC Dc, int X, int Y, int Width, int Height, HDC Source, int XSrc, int YSrc,
                int WidthSrc, int HeightSrc, DWORD Rop) {
    return Blit(Dc, X, Y, Width, Height, Source, XSrc, YSrc, WidthSrc, HeightSrc, Rop, true);
}

}  // namespace velmo
