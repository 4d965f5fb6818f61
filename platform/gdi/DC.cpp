#include "platform/gdi/DC.h"

#include <cairo.h>
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace velmo {

namespace {

enum class TObjectKind { Bitmap, Brush, Pen, Region, Font };

// Coordinates of regions are kept within ±2^27 so that no sum or extent
// overflows 32 bits.
constexpr int64_t RegionLimit = int64_t(1) << 27;

int64_t ClampRegion(int64_t V) { return std::clamp(V, -RegionLimit, RegionLimit); }

// An owned pixman region.
class TRegion {
public:
    TRegion() { pixman_region32_init(&FR); }
    TRegion(int64_t L, int64_t T, int64_t R, int64_t B) {
        L = ClampRegion(L), T = ClampRegion(T), R = ClampRegion(R), B = ClampRegion(B);
        if (L > R) std::swap(L, R);
        if (T > B) std::swap(T, B);
        pixman_region32_init_rect(&FR, int(L), int(T), unsigned(R - L), unsigned(B - T));
    }
    TRegion(const TRegion& O) {
        pixman_region32_init(&FR);
        pixman_region32_copy(&FR, const_cast<pixman_region32_t*>(&O.FR));
    }
    TRegion& operator=(const TRegion& O) {
        if (this != &O) pixman_region32_copy(&FR, const_cast<pixman_region32_t*>(&O.FR));
        return *this;
    }
    ~TRegion() { pixman_region32_fini(&FR); }

    pixman_region32_t* Get() { return &FR; }
    const pixman_region32_t* Get() const { return &FR; }
    pixman_region32_t* Mut() const { return const_cast<pixman_region32_t*>(&FR); }

    int Type() const {
        const int N = pixman_region32_n_rects(Mut());
        return N == 0 ? NULLREGION : N == 1 ? SIMPLEREGION : COMPLEXREGION;
    }
    bool Contains(int X, int Y) const {
        return pixman_region32_contains_point(Mut(), X, Y, nullptr) != 0;
    }
    // Whether the region combines with A by Mode into this one; false for an
    // unknown mode.
    bool Combine(const TRegion& A, const TRegion& B, int Mode) {
        TRegion Out;
        switch (Mode) {
            case RGN_AND:
                pixman_region32_intersect(Out.Get(), A.Mut(), B.Mut());
                break;
            case RGN_OR:
                pixman_region32_union(Out.Get(), A.Mut(), B.Mut());
                break;
            case RGN_XOR: {
                TRegion Both, Either;
                pixman_region32_intersect(Both.Get(), A.Mut(), B.Mut());
                pixman_region32_union(Either.Get(), A.Mut(), B.Mut());
                pixman_region32_subtract(Out.Get(), Either.Get(), Both.Get());
                break;
            }
            case RGN_DIFF:
                pixman_region32_subtract(Out.Get(), A.Mut(), B.Mut());
                break;
            case RGN_COPY:
                Out = A;
                break;
            default:
                return false;
        }
        *this = Out;
        return true;
    }

private:
    pixman_region32_t FR;
};

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
    // Set for an attached bitmap: the pixels live there, not in Bitmap.
    TBitmap* External = nullptr;
    // Regions.
    std::unique_ptr<TRegion> Region;
    // Fonts.
    LOGFONTW Font;

    TBitmap& Pixels() { return External ? *External : Bitmap; }
};

struct TDcSettings {
    COLORREF TextColor = 0x000000;
    COLORREF BkColor = 0xFFFFFF;
    int StretchMode = BLACKONWHITE;
    uintptr_t Brush = 0;
    uintptr_t Pen = 0;
    uintptr_t Font = 0;
    int PolyFillMode = ALTERNATE;
    int X = 0, Y = 0;  // current position
    int ViewX = 0, ViewY = 0;  // viewport origin: logical (0, 0) in device pixels
    int BkMode = OPAQUE;
    UINT TextAlign = 0;  // TA_* flags
    // No value: no clip region. Held in bitmap pixels.
    std::optional<TRegion> Clip;
};

// One element of a path: a move, a line end, one of the three points of a
// Bézier segment, or the close of a figure.
enum class TPathOp : uint8_t { Move, Line, Bezier, Close };
struct TPathElement {
    TPathOp Op;
    int X, Y;
};

enum class TPathState { None, Open, Done };

// Elements above this make the path calls fail instead of growing further.
constexpr size_t MaxPathElements = size_t(1) << 22;

struct TMemoryDc {
    TDcSettings Now;
    // A window DC: device (0, 0) lies at (OrgX, OrgY) of the bitmap, and
    // nothing outside System (bitmap pixels) is ever touched.
    int OrgX = 0, OrgY = 0;
    std::optional<TRegion> System;
    int ShiftX() const { return OrgX + Now.ViewX; }
    int ShiftY() const { return OrgY + Now.ViewY; }
    uintptr_t Bitmap = 0;
    std::vector<TDcSettings> Saved;
    TPathState PathState = TPathState::None;
    std::vector<TPathElement> Path;
    std::shared_ptr<TDcRecorder> Recorder;
};

// Every live DC and object by handle value. Values only grow, so a handle
// that was freed never names a later object.
struct TRegistry {
    std::mutex Lock;
    uintptr_t Next = 0x10000;
    std::unordered_map<uintptr_t, std::unique_ptr<TMemoryDc>> Dcs;
    std::unordered_map<uintptr_t, std::unique_ptr<TGdiObject>> Objects;
    uintptr_t WhiteBrush = 0, NullBrush = 0, BlackPen = 0, NullPen = 0, DefaultBitmap = 0;
    uintptr_t SystemFont = 0;

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
        SystemFont = Stock(TObjectKind::Font);
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

// The 1-bit mask of a masked blit: destination pixel (x, y) reads mask pixel
// (x + Dx, y + Dy); a 1 there applies the foreground code, a 0 Back.
struct TMaskSelect {
    const TBitmap* Mask = nullptr;
    int64_t Dx = 0, Dy = 0;
    uint8_t Back = 0;
    uint8_t Pick(uint8_t Fore, int X, int Y) const {
        if (!Mask) return Fore;
        return ReadValue(*Mask, int(X + Dx), int(Y + Dy)) ? Fore : Back;
    }
};

// Destination-only or brush-only fill of a rectangle.
void FillRop(TBitmap& Dst, const TRegion* Clip, int X, int Y, int W, int H, uint8_t Code,
             uint32_t P, const TMaskSelect& Select = {}) {
    int64_t X0, Wn, Y0, Hn;
    Normalise(X, W, X0, Wn);
    Normalise(Y, H, Y0, Hn);
    const int64_t XA = std::max<int64_t>(X0, 0), XB = std::min<int64_t>(X0 + Wn, Dst.Width());
    const int64_t YA = std::max<int64_t>(Y0, 0), YB = std::min<int64_t>(Y0 + Hn, Dst.Height());
    const uint32_t Mask = ValueMask(Dst);
    for (int64_t Yi = YA; Yi < YB; ++Yi)
        for (int64_t Xi = XA; Xi < XB; ++Xi) {
            if (Clip && !Clip->Contains(int(Xi), int(Yi))) continue;
            const uint32_t D = ReadValue(Dst, int(Xi), int(Yi));
            WriteValue(Dst, int(Xi), int(Yi),
                       ApplyRop3(Select.Pick(Code, int(Xi), int(Yi)), P, 0, D) & Mask);
        }
}

// Hands the clip region of a recording DC to its recorder.
void RecordClip(TMemoryDc& D) {
    if (!D.Recorder) return;
    if (!D.Now.Clip) {
        D.Recorder->ClipChanged(nullptr);
        return;
    }
    int N = 0;
    const pixman_box32_t* Boxes = pixman_region32_rectangles(D.Now.Clip->Mut(), &N);
    std::vector<RECT> Rects(size_t(std::max(N, 0)));
    for (int I = 0; I < N; ++I)
        Rects[size_t(I)] = RECT{Boxes[I].x1, Boxes[I].y1, Boxes[I].x2, Boxes[I].y2};
    D.Recorder->ClipChanged(&Rects);
}

// Hands the pixels of a rectangle a call changed to the DC's recorder, cut
// to the bitmap and the clip's bounds.
void RecordPixels(TMemoryDc& D, const TBitmap& B, int64_t X0, int64_t Y0, int64_t X1, int64_t Y1) {
    if (!D.Recorder) return;
    if (X1 < X0) std::swap(X0, X1);
    if (Y1 < Y0) std::swap(Y0, Y1);
    X0 = std::max<int64_t>(X0, 0), Y0 = std::max<int64_t>(Y0, 0);
    X1 = std::min<int64_t>(X1, B.Width()), Y1 = std::min<int64_t>(Y1, B.Height());
    if (D.Now.Clip) {
        const pixman_box32_t* E = pixman_region32_extents(D.Now.Clip->Mut());
        X0 = std::max<int64_t>(X0, E->x1), Y0 = std::max<int64_t>(Y0, E->y1);
        X1 = std::min<int64_t>(X1, E->x2), Y1 = std::min<int64_t>(Y1, E->y2);
    }
    if (X1 <= X0 || Y1 <= Y0) return;
    D.Recorder->PixelsChanged(B, RECT{LONG(X0), LONG(Y0), LONG(X1), LONG(Y1)});
}

TBitmap* TargetOf(TRegistry& R, TMemoryDc& D);

// A masked blit passes the mask bitmap (1-bit, at least the blit's size
// from MaskX, MaskY) and the background code.
struct TBlitMask {
    uintptr_t Bitmap = 0;
    int X = 0, Y = 0;
    uint8_t Back = 0;
};

BOOL BlitLocked(TRegistry& R, HDC Dc, int X, int Y, int W, int H, HDC Source, int XSrc,
                int YSrc, int WSrc, int HSrc, DWORD Rop, bool SourceAllowed,
                const TBlitMask* Masked = nullptr) {
    TMemoryDc* Target = R.FindDc(Dc);
    if (!Target) return 0;
    const uint8_t Code = Rop3Code(Rop);
    const uint8_t Back = Masked ? Masked->Back : Code;
    const bool NeedSource = UsesSource(Code) || UsesSource(Back);
    if (NeedSource && !SourceAllowed) return 0;
    TMemoryDc* SrcDc = nullptr;
    if (NeedSource) {
        SrcDc = R.FindDc(Source);
        if (!SrcDc) return 0;
    }
    TGdiObject* DstObject = R.FindObject(Target->Bitmap);
    if (!DstObject) return 0;
    TBitmap& Dst = DstObject->Pixels();
    X += Target->ShiftX();
    Y += Target->ShiftY();
    if (SrcDc) {
        XSrc += SrcDc->ShiftX();
        YSrc += SrcDc->ShiftY();
    }
    std::optional<TRegion> Limit = Target->Now.Clip;
    if (Target->System) {
        if (Limit) Limit->Combine(*Limit, *Target->System, RGN_AND);
        else Limit = Target->System;
    }
    const TRegion* Clip = Limit ? &*Limit : nullptr;
    TMaskSelect Select;
    std::unique_ptr<TBitmap> MaskCopy;
    if (Masked) {
        TGdiObject* M = R.FindObject(Masked->Bitmap);
        if (!M || M->Kind != TObjectKind::Bitmap) return 0;
        const TBitmap& MaskBits = M->Pixels();
        int64_t X0, Wn, Y0, Hn;
        Normalise(X, W, X0, Wn);
        Normalise(Y, H, Y0, Hn);
        if (MaskBits.PixelFormat() != pf1bit || Masked->X < 0 || Masked->Y < 0 ||
            Masked->X + Wn > MaskBits.Width() || Masked->Y + Hn > MaskBits.Height())
            return 0;
        // A mask that is also the target is read as it was before the blit.
        if (&MaskBits == &Dst) MaskCopy = std::make_unique<TBitmap>(MaskBits);
        Select.Mask = MaskCopy ? MaskCopy.get() : &MaskBits;
        Select.Dx = Masked->X - X0;
        Select.Dy = Masked->Y - Y0;
        Select.Back = Back;
    }
    uint32_t P = 0;
    if (UsesPattern(Code) || UsesPattern(Back)) {
        TGdiObject* Brush = R.FindObject(Target->Now.Brush);
        if (!Brush) return 0;
        if (Brush->Hollow) return 1;
        P = IsIndexed(Dst) ? TNearest(Dst)(Packed(Brush->Color)) : Packed(Brush->Color);
    }
    if (!NeedSource) {
        FillRop(Dst, Clip, X, Y, W, H, Code, P, Select);
        return 1;
    }
    if (WSrc == 0 || HSrc == 0) return W == 0 || H == 0 ? 1 : 0;
    TGdiObject* SrcObject = R.FindObject(SrcDc->Bitmap);
    if (!SrcObject) return 0;
    // A blit within one bitmap reads the pixels as they were before it.
    std::unique_ptr<TBitmap> Copy;
    if (&SrcObject->Pixels() == &Dst) Copy = std::make_unique<TBitmap>(Dst);
    const TBitmap& Src = Copy ? *Copy : SrcObject->Pixels();

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
            if (Clip && !Clip->Contains(Xs_.Dest, Ys_.Dest)) continue;
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
            WriteValue(Dst, Xs_.Dest, Ys_.Dest,
                       ApplyRop3(Select.Pick(Code, Xs_.Dest, Ys_.Dest), P, S & Mask, D) & Mask);
        }
    }
    return 1;
}

BOOL Blit(HDC Dc, int X, int Y, int W, int H, HDC Source, int XSrc, int YSrc, int WSrc, int HSrc,
          DWORD Rop, bool SourceAllowed, const TBlitMask* Masked = nullptr) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    const BOOL Done = BlitLocked(R, Dc, X, Y, W, H, Source, XSrc, YSrc, WSrc, HSrc, Rop,
                                 SourceAllowed, Masked);
    if (Done) {
        TMemoryDc* Target = R.FindDc(Dc);
        if (TBitmap* B = Target && Target->Recorder ? TargetOf(R, *Target) : nullptr)
            RecordPixels(*Target, *B, X, Y, int64_t(X) + W, int64_t(Y) + H);
    }
    return Done;
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
    New->Now.Font = R.SystemFont;
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
        case TObjectKind::Font:
            Previous = D->Now.Font;
            D->Now.Font = H;
            break;
        case TObjectKind::Region:
            return nullptr;  // clip regions are selected by SelectClipRgn
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
        case OBJ_FONT:
            return ToHandle(D->Now.Font);
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
        case SYSTEM_FONT:
            return ToHandle(R.SystemFont);
    }
    return nullptr;
}

BOOL DeleteObject(HGDIOBJ Object) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TGdiObject* O = R.FindObject(Object);
    if (!O) return 0;
    if (O->Stock) return 1;
    if (O->External) return 0;  // freed with the bitmap it draws into
    const uintptr_t H = reinterpret_cast<uintptr_t>(Object);
    if (O->SelectedIn) return 0;
    for (const auto& [Handle, D] : R.Dcs) {
        if (D->Now.Brush == H || D->Now.Pen == H || D->Now.Font == H) return 0;
        for (const TDcSettings& S : D->Saved)
            if (S.Brush == H || S.Pen == H || S.Font == H) return 0;
    }
    R.Objects.erase(H);
    return 1;
}

HFONT CreateFontIndirectW(const LOGFONTW& Font) {
    auto O = std::make_unique<TGdiObject>();
    O->Kind = TObjectKind::Font;
    O->Font = Font;
    if (O->Font.lfFaceName.size() > 31) O->Font.lfFaceName.resize(31);
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    return ToHandle(R.Add(std::move(O)));
}

bool GetFontObject(HFONT Font, LOGFONTW& Out) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TGdiObject* O = R.FindObject(Font);
    if (!O || O->Kind != TObjectKind::Font) return false;
    Out = O->Font;
    return true;
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
    Out = O->Pixels();
    return true;
}

HBITMAP AttachBitmapObject(TBitmap& Bitmap) {
    auto O = std::make_unique<TGdiObject>();
    O->Kind = TObjectKind::Bitmap;
    O->External = &Bitmap;
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    return ToHandle(R.Add(std::move(O)));
}

void DetachBitmapObject(HBITMAP Bitmap) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TGdiObject* O = R.FindObject(Bitmap);
    if (!O || O->Kind != TObjectKind::Bitmap || !O->External) return;
    const uintptr_t H = reinterpret_cast<uintptr_t>(Bitmap);
    for (auto& [Handle, D] : R.Dcs)
        if (D->Bitmap == H) D->Bitmap = R.DefaultBitmap;
    R.Objects.erase(H);
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
UINT SetTextAlign(HDC Dc, UINT Align) {
    return WithDc(Dc, UINT(0xFFFFFFFF), [&](TMemoryDc& D) { return std::exchange(D.Now.TextAlign, Align); });
}
UINT GetTextAlign(HDC Dc) {
    return WithDc(Dc, UINT(0xFFFFFFFF), [](TMemoryDc& D) { return D.Now.TextAlign; });
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
        RecordClip(D);
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

namespace {

TRegion* FindRegion(TRegistry& R, HRGN H) {
    TGdiObject* O = R.FindObject(H);
    return O && O->Kind == TObjectKind::Region ? O->Region.get() : nullptr;
}

TBitmap* TargetOf(TRegistry& R, TMemoryDc& D) {
    TGdiObject* O = R.FindObject(D.Bitmap);
    return O ? &O->Pixels() : nullptr;
}

// The pixels a drawing call may touch: the clip region within the bitmap.
TRegion Drawable(const TMemoryDc& D, const TBitmap& B) {
    TRegion Area(0, 0, B.Width(), B.Height());
    if (D.System) Area.Combine(Area, *D.System, RGN_AND);
    if (D.Now.Clip) Area.Combine(Area, *D.Now.Clip, RGN_AND);
    return Area;
}

// A region given in device pixels, moved to bitmap pixels.
TRegion ToBitmap(const TMemoryDc& D, const TRegion& Device) {
    TRegion Out = Device;
    if (D.OrgX || D.OrgY) pixman_region32_translate(Out.Get(), D.OrgX, D.OrgY);
    return Out;
}

// A path in logical units, moved to bitmap pixels.
std::vector<TPathElement> Shifted(const TMemoryDc& D, std::vector<TPathElement> Path) {
    if (D.ShiftX() || D.ShiftY())
        for (TPathElement& E : Path) {
            E.X += D.ShiftX();
            E.Y += D.ShiftY();
        }
    return Path;
}

void WriteBox(const TRegion& Region, RECT* Box) {
    if (!Box) return;
    const pixman_box32_t* E = pixman_region32_extents(Region.Mut());
    if (pixman_region32_not_empty(Region.Mut()))
        *Box = RECT{E->x1, E->y1, E->x2, E->y2};
    else
        *Box = RECT{};
}

// The value of a colour in the pixel format of B.
uint32_t ValueOf(const TBitmap& B, COLORREF Color) {
    return IsIndexed(B) ? TNearest(B)(Packed(Color)) : Packed(Color);
}

// Sets every pixel of Area (in B) to Value.
void PaintRegion(TBitmap& B, const TRegion& Area, uint32_t Value) {
    int N = 0;
    const pixman_box32_t* Boxes = pixman_region32_rectangles(Area.Mut(), &N);
    for (int I = 0; I < N; ++I)
        for (int Y = Boxes[I].y1; Y < Boxes[I].y2; ++Y)
            for (int X = Boxes[I].x1; X < Boxes[I].x2; ++X) WriteValue(B, X, Y, Value);
}

// Path coordinates are cut to this, within the range cairo holds exactly.
constexpr double PathLimit = double(1 << 22);

// An A8 coverage mask over the box Origin .. Origin + size of the device,
// every byte 0 or 255.
class TMask {
public:
    TMask(int X0, int Y0, int W, int H)
        : FX0(X0),
          FY0(Y0),
          FW(W),
          FH(H),
          FSurface(cairo_image_surface_create(CAIRO_FORMAT_A8, std::max(W, 1), std::max(H, 1))),
          FCr(cairo_create(FSurface)) {
        cairo_set_antialias(FCr, CAIRO_ANTIALIAS_NONE);
        cairo_translate(FCr, -X0, -Y0);
    }
    ~TMask() {
        cairo_destroy(FCr);
        cairo_surface_destroy(FSurface);
    }
    TMask(const TMask&) = delete;
    TMask& operator=(const TMask&) = delete;

    bool Ok() const {
        return cairo_status(FCr) == CAIRO_STATUS_SUCCESS &&
               cairo_surface_status(FSurface) == CAIRO_STATUS_SUCCESS;
    }
    cairo_t* Cr() { return FCr; }

    // Builds the path in the context, shifted by Shift, closing open figures
    // when Close is set.
    void SetPath(const std::vector<TPathElement>& Path, double Shift, bool Close) {
        auto C = [](int V) { return std::clamp(double(V), -PathLimit, PathLimit); };
        cairo_new_path(FCr);
        bool Open = false;
        for (size_t I = 0; I < Path.size(); ++I) {
            const TPathElement& E = Path[I];
            switch (E.Op) {
                case TPathOp::Move:
                    if (Open && Close) cairo_close_path(FCr);
                    cairo_move_to(FCr, C(E.X) + Shift, C(E.Y) + Shift);
                    Open = true;
                    break;
                case TPathOp::Line:
                    cairo_line_to(FCr, C(E.X) + Shift, C(E.Y) + Shift);
                    break;
                case TPathOp::Bezier:
                    if (I + 2 < Path.size()) {
                        const TPathElement& B = Path[I + 1];
                        const TPathElement& D = Path[I + 2];
                        cairo_curve_to(FCr, C(E.X) + Shift, C(E.Y) + Shift, C(B.X) + Shift,
                                       C(B.Y) + Shift, C(D.X) + Shift, C(D.Y) + Shift);
                    }
                    I += 2;
                    break;
                case TPathOp::Close:
                    cairo_close_path(FCr);
                    Open = false;
                    break;
            }
        }
        if (Open && Close) cairo_close_path(FCr);
    }

    void Fill(const std::vector<TPathElement>& Path, int Mode) {
        SetPath(Path, 0, true);
        cairo_set_fill_rule(FCr,
                            Mode == WINDING ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
        cairo_fill(FCr);
    }

    void Stroke(const std::vector<TPathElement>& Path, int Width) {
        if (Width > 1) {
            // Through pixel centres, so that thin and wide lines share an axis.
            SetPath(Path, 0.5, false);
            cairo_set_line_width(FCr, Width);
            cairo_set_line_cap(FCr, CAIRO_LINE_CAP_ROUND);
            cairo_set_line_join(FCr, CAIRO_LINE_JOIN_ROUND);
            cairo_stroke(FCr);
            return;
        }
        // One-pixel lines: each flattened segment from its start pixel up to,
        // not including, its end pixel.
        SetPath(Path, 0, false);
        cairo_path_t* Flat = cairo_copy_path_flat(FCr);
        cairo_new_path(FCr);
        cairo_surface_flush(FSurface);
        if (Flat->status == CAIRO_STATUS_SUCCESS) {
            double Fx = 0, Fy = 0, Cx = 0, Cy = 0;
            for (int I = 0; I < Flat->num_data; I += Flat->data[I].header.length) {
                const cairo_path_data_t* D = &Flat->data[I];
                switch (D->header.type) {
                    case CAIRO_PATH_MOVE_TO:
                        Fx = Cx = D[1].point.x;
                        Fy = Cy = D[1].point.y;
                        break;
                    case CAIRO_PATH_LINE_TO:
                        Line(Cx, Cy, D[1].point.x, D[1].point.y);
                        Cx = D[1].point.x;
                        Cy = D[1].point.y;
                        break;
                    case CAIRO_PATH_CLOSE_PATH:
                        Line(Cx, Cy, Fx, Fy);
                        Cx = Fx;
                        Cy = Fy;
                        break;
                    default:
                        break;
                }
            }
        }
        cairo_path_destroy(Flat);
        cairo_surface_mark_dirty(FSurface);
    }

    bool Covered(int X, int Y) const {
        const int Lx = X - FX0, Ly = Y - FY0;
        if (Lx < 0 || Ly < 0 || Lx >= FW || Ly >= FH) return false;
        return cairo_image_surface_get_data(FSurface)[size_t(Ly) * Stride() + size_t(Lx)] != 0;
    }

    // Writes Value to the covered pixels of Area.
    void Paint(TBitmap& B, const TRegion& Area, uint32_t Value) {
        cairo_surface_flush(FSurface);
        int N = 0;
        const pixman_box32_t* Boxes = pixman_region32_rectangles(Area.Mut(), &N);
        for (int I = 0; I < N; ++I)
            for (int Y = Boxes[I].y1; Y < Boxes[I].y2; ++Y)
                for (int X = Boxes[I].x1; X < Boxes[I].x2; ++X)
                    if (Covered(X, Y)) WriteValue(B, X, Y, Value);
    }

    // The covered pixels as a region.
    TRegion ToRegion() {
        cairo_surface_flush(FSurface);
        TRegion Out;
        std::vector<pixman_box32_t> Spans;
        for (int Y = 0; Y < FH; ++Y)
            for (int X = 0; X < FW;) {
                if (!Covered(X + FX0, Y + FY0)) {
                    ++X;
                    continue;
                }
                int E = X;
                while (E < FW && Covered(E + FX0, Y + FY0)) ++E;
                Spans.push_back({X + FX0, Y + FY0, E + FX0, Y + FY0 + 1});
                X = E;
            }
        if (!Spans.empty()) {
            pixman_region32_fini(Out.Get());
            pixman_region32_init_rects(Out.Get(), Spans.data(), int(Spans.size()));
        }
        return Out;
    }

private:
    size_t Stride() const { return size_t(cairo_image_surface_get_stride(FSurface)); }

    void Set(int64_t X, int64_t Y) {
        const int64_t Lx = X - FX0, Ly = Y - FY0;
        if (Lx < 0 || Ly < 0 || Lx >= FW || Ly >= FH) return;
        cairo_image_surface_get_data(FSurface)[size_t(Ly) * Stride() + size_t(Lx)] = 0xFF;
    }

    // Bresenham from (X0, Y0) towards (X1, Y1), leaving out the end pixel.
    void Line(double Ax, double Ay, double Bx, double By) {
        int64_t X0 = std::llround(Ax), Y0 = std::llround(Ay);
        const int64_t X1 = std::llround(Bx), Y1 = std::llround(By);
        const int64_t Dx = X1 > X0 ? X1 - X0 : X0 - X1, Dy = Y1 > Y0 ? Y0 - Y1 : Y1 - Y0;
        const int Sx = X0 < X1 ? 1 : -1, Sy = Y0 < Y1 ? 1 : -1;
        int64_t Err = Dx + Dy;
        while (X0 != X1 || Y0 != Y1) {
            Set(X0, Y0);
            const int64_t E2 = 2 * Err;
            if (E2 >= Dy) {
                Err += Dy;
                X0 += Sx;
            }
            if (E2 <= Dx) {
                Err += Dx;
                Y0 += Sy;
            }
        }
    }

    int FX0, FY0, FW, FH;
    cairo_surface_t* FSurface;
    cairo_t* FCr;
};

// The mask covering the extents of Area.
std::unique_ptr<TMask> MaskFor(const TRegion& Area) {
    const pixman_box32_t* E = pixman_region32_extents(Area.Mut());
    return std::make_unique<TMask>(E->x1, E->y1, E->x2 - E->x1, E->y2 - E->y1);
}

// A box holding every pixel that filling or stroking Path with a pen of
// Width may cover: the box of its points (a Bézier segment stays within its
// control points) grown by half the pen and a margin for rounding. Drawing
// costs in proportion to this box rather than to the whole clip. Empty for
// an empty path.
TRegion PathBox(const std::vector<TPathElement>& Path, int64_t Width) {
    if (Path.empty()) return TRegion();
    auto C = [](int V) { return int64_t(std::clamp(double(V), -PathLimit, PathLimit)); };
    int64_t L = C(Path[0].X), R = L, T = C(Path[0].Y), B = T;
    for (const TPathElement& E : Path) {
        L = std::min(L, C(E.X)), R = std::max(R, C(E.X));
        T = std::min(T, C(E.Y)), B = std::max(B, C(E.Y));
    }
    const int64_t Grow = 2 + (Width > 1 ? std::min(Width, RegionLimit) / 2 + 2 : 0);
    return TRegion(L - Grow, T - Grow, R + Grow + 1, B + Grow + 1);
}

// Drawing Path with a pen of Width into Area: Part is what may be painted,
// the mask spans the extents of Area cut to the path's box. Each edge of the
// mask is thus either an edge of Area's extents or lies beyond every point of
// the geometry; cairo cuts what crosses the surface's edges (and a cut
// zero-area figure can leave a stray pixel on that edge), so this keeps the
// coverage the same as a mask over all of Area's extents.
struct TReach {
    TRegion Part;
    std::unique_ptr<TMask> Mask;
};

TReach Reach(const TRegion& Area, const std::vector<TPathElement>& Path, int64_t Width) {
    const TRegion Box = PathBox(Path, Width);
    TReach Out;
    Out.Part.Combine(Area, Box, RGN_AND);
    if (!pixman_region32_not_empty(Out.Part.Mut())) return Out;
    const pixman_box32_t* E = pixman_region32_extents(Area.Mut());
    TRegion Limits(E->x1, E->y1, E->x2, E->y2);
    Limits.Combine(Limits, Box, RGN_AND);
    Out.Mask = MaskFor(Limits);
    return Out;
}

enum TPaint { PaintFill = 1, PaintStroke = 2 };

// Paints Path into D's bitmap with its brush and/or pen, through the clip.
BOOL Render(TRegistry& R, TMemoryDc& D, const std::vector<TPathElement>& Path, int What) {
    TBitmap* B = TargetOf(R, D);
    TGdiObject* Brush = R.FindObject(D.Now.Brush);
    TGdiObject* Pen = R.FindObject(D.Now.Pen);
    if (!B || !Brush || !Pen) return 0;
    const TRegion Area = Drawable(D, *B);
    if (!pixman_region32_not_empty(Area.Mut())) return 1;
    if ((What & PaintFill) && !Brush->Hollow) {
        TReach To = Reach(Area, Path, 0);
        if (To.Mask) {
            if (!To.Mask->Ok()) return 0;
            To.Mask->Fill(Path, D.Now.PolyFillMode);
            To.Mask->Paint(*B, To.Part, ValueOf(*B, Brush->Color));
        }
    }
    if ((What & PaintStroke) && Pen->Style != PS_NULL) {
        TReach To = Reach(Area, Path, Pen->Width);
        if (To.Mask) {
            if (!To.Mask->Ok()) return 0;
            To.Mask->Stroke(Path, Pen->Width);
            To.Mask->Paint(*B, To.Part, ValueOf(*B, Pen->Color));
        }
    }
    if (D.Recorder) {
        std::vector<TDcPathPoint> Points(Path.size());
        for (size_t I = 0; I < Path.size(); ++I)
            Points[I] = {TDcPathPoint::TOp(Path[I].Op), Path[I].X, Path[I].Y};
        D.Recorder->PathPainted(Points, What, D.Now.PolyFillMode,
                                TDcPenInfo{Pen->Style, Pen->Width, Pen->Color},
                                TDcBrushInfo{Brush->Hollow, Brush->Color});
    }
    return 1;
}

// Paints the completed path of a DC and drops it.
BOOL PaintPath(HDC Dc, int What) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TMemoryDc* D = R.FindDc(Dc);
    if (!D || D->PathState != TPathState::Done) return 0;
    const std::vector<TPathElement> Path = Shifted(*D, std::move(D->Path));
    D->Path.clear();
    D->PathState = TPathState::None;
    return Render(R, *D, Path, What);
}

// Appends to an open path; false when the path would grow past its cap.
bool Append(TMemoryDc& D, std::initializer_list<TPathElement> Elements) {
    if (D.Path.size() + Elements.size() > MaxPathElements) return false;
    // A figure starts at the current position when no move opened it.
    if (Elements.begin()->Op != TPathOp::Move &&
        (D.Path.empty() || D.Path.back().Op == TPathOp::Close))
        D.Path.push_back({TPathOp::Move, D.Now.X, D.Now.Y});
    D.Path.insert(D.Path.end(), Elements);
    return true;
}

// Draws one figure from the current position with the pen, outside any
// path (a completed path waiting to be painted stays).
BOOL DrawFigure(HDC Dc, std::initializer_list<TPathElement> Elements) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TMemoryDc* D = R.FindDc(Dc);
    if (!D) return 0;
    std::vector<TPathElement> Figure{{TPathOp::Move, D->Now.X, D->Now.Y}};
    Figure.insert(Figure.end(), Elements);
    D->Now.X = (Elements.end() - 1)->X;
    D->Now.Y = (Elements.end() - 1)->Y;
    return Render(R, *D, Shifted(*D, std::move(Figure)), PaintStroke);
}

}  // namespace

HRGN CreateRectRgn(int Left, int Top, int Right, int Bottom) {
    auto O = std::make_unique<TGdiObject>();
    O->Kind = TObjectKind::Region;
    O->Region = std::make_unique<TRegion>(Left, Top, Right, Bottom);
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    return ToHandle(R.Add(std::move(O)));
}

int CombineRgn(HRGN Dest, HRGN Src1, HRGN Src2, int Mode) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TRegion* Out = FindRegion(R, Dest);
    TRegion* A = FindRegion(R, Src1);
    TRegion* B = Mode == RGN_COPY ? A : FindRegion(R, Src2);
    if (!Out || !A || !B) return ERROR;
    if (!Out->Combine(*A, *B, Mode)) return ERROR;
    return Out->Type();
}

int OffsetRgn(HRGN Region, int Dx, int Dy) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TRegion* G = FindRegion(R, Region);
    if (!G) return ERROR;
    if (pixman_region32_not_empty(G->Mut())) {
        const pixman_box32_t* E = pixman_region32_extents(G->Mut());
        // A move that would carry the region beyond the coordinate range
        // fails and leaves it in place.
        if (int64_t(E->x1) + Dx < -RegionLimit || int64_t(E->x2) + Dx > RegionLimit ||
            int64_t(E->y1) + Dy < -RegionLimit || int64_t(E->y2) + Dy > RegionLimit)
            return ERROR;
        pixman_region32_translate(G->Get(), Dx, Dy);
    }
    return G->Type();
}

int GetRgnBox(HRGN Region, RECT* Box) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TRegion* G = FindRegion(R, Region);
    if (!G) return ERROR;
    WriteBox(*G, Box);
    return G->Type();
}

BOOL PtInRegion(HRGN Region, int X, int Y) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TRegion* G = FindRegion(R, Region);
    return G && G->Contains(X, Y) ? 1 : 0;
}

bool GetRegionRects(HRGN Region, std::vector<RECT>& Out) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TRegion* G = FindRegion(R, Region);
    if (!G) return false;
    int N = 0;
    const pixman_box32_t* B = pixman_region32_rectangles(G->Mut(), &N);
    Out.clear();
    for (int I = 0; I < N; ++I) Out.push_back(RECT{B[I].x1, B[I].y1, B[I].x2, B[I].y2});
    return true;
}

int SelectClipRgn(HDC Dc, HRGN Region) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TMemoryDc* D = R.FindDc(Dc);
    if (!D) return ERROR;
    if (!Region) {
        D->Now.Clip.reset();
        RecordClip(*D);
        return SIMPLEREGION;
    }
    TRegion* G = FindRegion(R, Region);
    if (!G) return ERROR;
    D->Now.Clip = ToBitmap(*D, *G);
    RecordClip(*D);
    return G->Type();
}

int ExtSelectClipRgn(HDC Dc, HRGN Region, int Mode) {
    if (Mode == RGN_COPY) return SelectClipRgn(Dc, Region);
    if (Mode < RGN_AND || Mode > RGN_DIFF || !Region) return ERROR;
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TMemoryDc* D = R.FindDc(Dc);
    TRegion* G = FindRegion(R, Region);
    if (!D || !G) return ERROR;
    TBitmap* B = TargetOf(R, *D);
    if (!B) return ERROR;
    TRegion Clip = D->Now.Clip ? *D->Now.Clip : TRegion(0, 0, B->Width(), B->Height());
    Clip.Combine(Clip, ToBitmap(*D, *G), Mode);
    D->Now.Clip = Clip;
    RecordClip(*D);
    return Clip.Type();
}

bool WithDcTarget(HDC Dc,
                  const std::function<void(TBitmap& Bitmap, const pixman_region32* Clip)>& Body) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TMemoryDc* D = R.FindDc(Dc);
    if (!D) return false;
    TBitmap* B = TargetOf(R, *D);
    if (!B) return false;
    if (D->System) {
        const TRegion Area = Drawable(*D, *B);
        Body(*B, Area.Get());
        return true;
    }
    Body(*B, D->Now.Clip ? D->Now.Clip->Get() : nullptr);
    return true;
}

namespace {

// The clip region (or the whole bitmap when there is none) combined with a
// rectangle in logical units.
int CombineClipRect(HDC Dc, int Left, int Top, int Right, int Bottom, int Mode) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TMemoryDc* D = R.FindDc(Dc);
    if (!D) return ERROR;
    TBitmap* B = TargetOf(R, *D);
    if (!B) return ERROR;
    TRegion Clip = D->Now.Clip ? *D->Now.Clip : TRegion(0, 0, B->Width(), B->Height());
    const int64_t Dx = D->ShiftX(), Dy = D->ShiftY();
    Clip.Combine(Clip, TRegion(Left + Dx, Top + Dy, Right + Dx, Bottom + Dy), Mode);
    D->Now.Clip = Clip;
    RecordClip(*D);
    return Clip.Type();
}

}  // namespace

int IntersectClipRect(HDC Dc, int Left, int Top, int Right, int Bottom) {
    return CombineClipRect(Dc, Left, Top, Right, Bottom, RGN_AND);
}

int GetClipBox(HDC Dc, RECT* Box) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TMemoryDc* D = R.FindDc(Dc);
    if (!D) return ERROR;
    TBitmap* B = TargetOf(R, *D);
    if (!B) return ERROR;
    TRegion Area = Drawable(*D, *B);
    if (D->ShiftX() || D->ShiftY()) pixman_region32_translate(Area.Get(), -D->ShiftX(), -D->ShiftY());
    WriteBox(Area, Box);
    return Area.Type();
}

int FillRect(HDC Dc, const RECT* Rect, HBRUSH Brush) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TMemoryDc* D = R.FindDc(Dc);
    TGdiObject* Br = R.FindObject(Brush);
    if (!D || !Rect || !Br || Br->Kind != TObjectKind::Brush) return 0;
    TBitmap* B = TargetOf(R, *D);
    if (!B) return 0;
    if (Br->Hollow || Rect->right <= Rect->left || Rect->bottom <= Rect->top) return 1;
    TRegion Area = Drawable(*D, *B);
    const int64_t Dx = D->ShiftX(), Dy = D->ShiftY();
    Area.Combine(Area, TRegion(Rect->left + Dx, Rect->top + Dy, Rect->right + Dx, Rect->bottom + Dy), RGN_AND);
    PaintRegion(*B, Area, ValueOf(*B, Br->Color));
    if (D->Recorder) {
        const RECT& Rc = *Rect;
        D->Recorder->PathPainted({{TDcPathPoint::Move, Rc.left, Rc.top},
                                  {TDcPathPoint::Line, Rc.right, Rc.top},
                                  {TDcPathPoint::Line, Rc.right, Rc.bottom},
                                  {TDcPathPoint::Line, Rc.left, Rc.bottom},
                                  {TDcPathPoint::Close, Rc.left, Rc.top}},
                                 PaintFill, ALTERNATE, TDcPenInfo{PS_NULL, 0, 0},
                                 TDcBrushInfo{false, Br->Color});
    }
    return 1;
}

BOOL BeginPath(HDC Dc) {
    return WithDc(Dc, BOOL(0), [](TMemoryDc& D) -> BOOL {
        D.Path.clear();
        D.PathState = TPathState::Open;
        return 1;
    });
}

BOOL EndPath(HDC Dc) {
    return WithDc(Dc, BOOL(0), [](TMemoryDc& D) -> BOOL {
        if (D.PathState != TPathState::Open) return 0;
        D.PathState = TPathState::Done;
        return 1;
    });
}

BOOL AbortPath(HDC Dc) {
    return WithDc(Dc, BOOL(0), [](TMemoryDc& D) -> BOOL {
        D.Path.clear();
        D.PathState = TPathState::None;
        return 1;
    });
}

BOOL MoveToEx(HDC Dc, int X, int Y, POINT* Previous) {
    return WithDc(Dc, BOOL(0), [&](TMemoryDc& D) -> BOOL {
        if (D.PathState == TPathState::Open && !Append(D, {{TPathOp::Move, X, Y}})) return 0;
        if (Previous) *Previous = POINT{D.Now.X, D.Now.Y};
        D.Now.X = X;
        D.Now.Y = Y;
        return 1;
    });
}

BOOL LineTo(HDC Dc, int X, int Y) {
    const int InPath = WithDc(Dc, -1, [&](TMemoryDc& D) -> int {
        if (D.PathState != TPathState::Open) return 0;
        if (!Append(D, {{TPathOp::Line, X, Y}})) return -1;
        D.Now.X = X;
        D.Now.Y = Y;
        return 1;
    });
    if (InPath != 0) return InPath > 0 ? 1 : 0;
    return DrawFigure(Dc, {{TPathOp::Line, X, Y}});
}

BOOL PolyBezierTo(HDC Dc, const POINT* Points, DWORD Count) {
    if (!Points || Count == 0 || Count % 3 != 0) return 0;
    BOOL Ok = 1;
    for (DWORD I = 0; I < Count && Ok; I += 3) {
        const std::initializer_list<TPathElement> Segment = {
            {TPathOp::Bezier, Points[I].x, Points[I].y},
            {TPathOp::Bezier, Points[I + 1].x, Points[I + 1].y},
            {TPathOp::Bezier, Points[I + 2].x, Points[I + 2].y}};
        const int InPath = WithDc(Dc, -1, [&](TMemoryDc& D) -> int {
            if (D.PathState != TPathState::Open) return 0;
            if (!Append(D, Segment)) return -1;
            D.Now.X = Points[I + 2].x;
            D.Now.Y = Points[I + 2].y;
            return 1;
        });
        Ok = InPath != 0 ? InPath > 0 : DrawFigure(Dc, Segment);
    }
    return Ok;
}

BOOL CloseFigure(HDC Dc) {
    return WithDc(Dc, BOOL(0), [](TMemoryDc& D) -> BOOL {
        if (D.PathState != TPathState::Open || D.Path.empty() || D.Path.back().Op == TPathOp::Close)
            return 0;
        return Append(D, {{TPathOp::Close, D.Now.X, D.Now.Y}}) ? 1 : 0;
    });
}

BOOL FillPath(HDC Dc) { return PaintPath(Dc, PaintFill); }
BOOL StrokePath(HDC Dc) { return PaintPath(Dc, PaintStroke); }
BOOL StrokeAndFillPath(HDC Dc) { return PaintPath(Dc, PaintFill | PaintStroke); }

BOOL SelectClipPath(HDC Dc, int Mode) {
    if (Mode < RGN_AND || Mode > RGN_COPY) return 0;
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TMemoryDc* D = R.FindDc(Dc);
    if (!D || D->PathState != TPathState::Done) return 0;
    TBitmap* B = TargetOf(R, *D);
    if (!B) return 0;
    const std::vector<TPathElement> Path = Shifted(*D, std::move(D->Path));
    D->Path.clear();
    D->PathState = TPathState::None;
    const TRegion Bounds(0, 0, B->Width(), B->Height());
    TRegion Shape;
    TReach To = Reach(Bounds, Path, 0);
    if (To.Mask) {
        auto& M = To.Mask;
        if (!M->Ok()) return 0;
        M->Fill(Path, D->Now.PolyFillMode);
        Shape = M->ToRegion();
    }
    TRegion Clip = D->Now.Clip ? *D->Now.Clip : Bounds;
    if (Mode == RGN_COPY)
        Clip = Shape;
    else
        Clip.Combine(Clip, Shape, Mode);
    D->Now.Clip = Clip;
    RecordClip(*D);
    return 1;
}

int SetPolyFillMode(HDC Dc, int Mode) {
    if (Mode != ALTERNATE && Mode != WINDING) return 0;
    return WithDc(Dc, 0, [&](TMemoryDc& D) { return std::exchange(D.Now.PolyFillMode, Mode); });
}

int GetPolyFillMode(HDC Dc) {
    return WithDc(Dc, 0, [](TMemoryDc& D) { return D.Now.PolyFillMode; });
}

bool SetDcRecorder(HDC Dc, std::shared_ptr<TDcRecorder> Recorder) {
    return WithDc(Dc, false, [&](TMemoryDc& D) {
        D.Recorder = std::move(Recorder);
        return true;
    });
}

std::shared_ptr<TDcRecorder> GetDcRecorder(HDC Dc) {
    return WithDc(Dc, std::shared_ptr<TDcRecorder>(), [](TMemoryDc& D) { return D.Recorder; });
}

}  // namespace velmo

namespace velmo {

BOOL SetViewportOrgEx(HDC Dc, int X, int Y, POINT* Previous) {
    return WithDc(Dc, BOOL(0), [&](TMemoryDc& D) -> BOOL {
        if (Previous) *Previous = POINT{D.Now.ViewX, D.Now.ViewY};
        D.Now.ViewX = X;
        D.Now.ViewY = Y;
        return 1;
    });
}

BOOL GetViewportOrgEx(HDC Dc, POINT* Origin) {
    return WithDc(Dc, BOOL(0), [&](TMemoryDc& D) -> BOOL {
        if (Origin) *Origin = POINT{D.Now.ViewX, D.Now.ViewY};
        return 1;
    });
}

BOOL SetDeviceOrigin(HDC Dc, int X, int Y, HRGN System) {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TMemoryDc* D = R.FindDc(Dc);
    if (!D) return 0;
    D->OrgX = X;
    D->OrgY = Y;
    if (!System) {
        D->System.reset();
        return 1;
    }
    TRegion* G = FindRegion(R, System);
    if (!G) return 0;
    D->System = *G;
    return 1;
}

BOOL GetDeviceOrigin(HDC Dc, POINT* Origin) {
    return WithDc(Dc, BOOL(0), [&](TMemoryDc& D) -> BOOL {
        if (Origin) *Origin = POINT{D.OrgX, D.OrgY};
        return 1;
    });
}

}  // namespace velmo

// Painters: background mode, clip exclusion and visibility, regions from
// rectangle data, masked blits and reading bitmaps out in DIB layout.
namespace velmo {

int SetBkMode(HDC Dc, int Mode) {
    if (Mode != TRANSPARENT && Mode != OPAQUE) return 0;
    return WithDc(Dc, 0, [&](TMemoryDc& D) { return std::exchange(D.Now.BkMode, Mode); });
}

int GetBkMode(HDC Dc) {
    return WithDc(Dc, 0, [](TMemoryDc& D) { return D.Now.BkMode; });
}

int ExcludeClipRect(HDC Dc, int Left, int Top, int Right, int Bottom) {
    return CombineClipRect(Dc, Left, Top, Right, Bottom, RGN_DIFF);
}

BOOL RectVisible(HDC Dc, const RECT* Rect) {
    if (!Rect) return 0;
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TMemoryDc* D = R.FindDc(Dc);
    if (!D) return 0;
    TBitmap* B = TargetOf(R, *D);
    if (!B) return 0;
    TRegion Area = Drawable(*D, *B);
    const int64_t Dx = D->ShiftX(), Dy = D->ShiftY();
    Area.Combine(Area,
                 TRegion(Rect->left + Dx, Rect->top + Dy, Rect->right + Dx, Rect->bottom + Dy),
                 RGN_AND);
    return Area.Type() != NULLREGION;
}

HRGN ExtCreateRegion(const void* Transform, DWORD Count, const void* Data) {
    // Transformed regions are not made: every caller passes none.
    if (Transform || !Data || Count < sizeof(RGNDATAHEADER)) return nullptr;
    RGNDATAHEADER Header;
    std::memcpy(&Header, Data, sizeof Header);
    if (Header.dwSize != sizeof(RGNDATAHEADER) || Header.iType != 1) return nullptr;
    // The rectangles must lie within the bytes the caller vouches for.
    if (uint64_t(Header.nCount) > (uint64_t(Count) - sizeof Header) / sizeof(RECT)) return nullptr;
    const auto* Bytes = static_cast<const uint8_t*>(Data) + sizeof Header;
    std::vector<pixman_box32_t> Boxes;
    Boxes.reserve(Header.nCount);
    for (DWORD I = 0; I < Header.nCount; ++I) {
        RECT Rc;
        std::memcpy(&Rc, Bytes + size_t(I) * sizeof(RECT), sizeof Rc);
        int64_t L = ClampRegion(Rc.left), T = ClampRegion(Rc.top), Ri = ClampRegion(Rc.right),
                B = ClampRegion(Rc.bottom);
        if (L > Ri) std::swap(L, Ri);
        if (T > B) std::swap(T, B);
        if (L == Ri || T == B) continue;
        Boxes.push_back({int32_t(L), int32_t(T), int32_t(Ri), int32_t(B)});
    }
    auto O = std::make_unique<TGdiObject>();
    O->Kind = TObjectKind::Region;
    O->Region = std::make_unique<TRegion>();
    if (!Boxes.empty() &&
        !pixman_region32_init_rects(O->Region->Get(), Boxes.data(), int(Boxes.size())))
        return nullptr;
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    return ToHandle(R.Add(std::move(O)));
}

BOOL MaskBlt(HDC Dc, int X, int Y, int Width, int Height, HDC Source, int XSrc, int YSrc,
             HBITMAP Mask, int XMask, int YMask, DWORD Rop) {
    if (!Mask) return Blit(Dc, X, Y, Width, Height, Source, XSrc, YSrc, Width, Height, Rop, true);
    TBlitMask Masked;
    Masked.Bitmap = reinterpret_cast<uintptr_t>(Mask);
    Masked.X = XMask;
    Masked.Y = YMask;
    Masked.Back = uint8_t((Rop >> 24) & 0xFF);
    return Blit(Dc, X, Y, Width, Height, Source, XSrc, YSrc, Width, Height, Rop, true, &Masked);
}

int GetDIBits(HDC Dc, HBITMAP Bitmap, UINT Start, UINT Lines, void* Bits, BITMAPINFO* Info,
              UINT Usage) {
    if (!Info || Usage != DIB_RGB_COLORS) return 0;
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    TGdiObject* O = R.FindObject(Bitmap);
    if (!R.FindDc(Dc) || !O || O->Kind != TObjectKind::Bitmap) return 0;
    const TBitmap& B = O->Pixels();
    BITMAPINFOHEADER& H = Info->bmiHeader;
    auto Stride = [](int64_t Width, int Bpp) { return ((Width * Bpp + 31) / 32) * 4; };
    if (H.biBitCount == 0) {
        // Only the header is asked for: the bitmap's own size and depth.
        H.biWidth = B.Width();
        H.biHeight = B.Height();
        H.biPlanes = 1;
        H.biBitCount = uint16_t(B.BitsPerPixel());
        H.biCompression = 0;
        H.biSizeImage = DWORD(Stride(B.Width(), B.BitsPerPixel()) * B.Height());
        H.biClrUsed = H.biClrImportant = 0;
        return B.Height();
    }
    const int Bpp = H.biBitCount;
    if ((Bpp != 1 && Bpp != 4 && Bpp != 8 && Bpp != 24 && Bpp != 32) || H.biCompression != 0 ||
        H.biWidth <= 0 || H.biHeight == 0 || H.biHeight == INT32_MIN)
        return 0;
    const bool TopDown = H.biHeight < 0;
    const int64_t Rows = TopDown ? -int64_t(H.biHeight) : int64_t(H.biHeight);
    const int64_t RowBytes = Stride(H.biWidth, Bpp);
    if (RowBytes * Rows > (int64_t(1) << 31)) return 0;
    H.biSizeImage = DWORD(RowBytes * Rows);
    H.biPlanes = 1;

    // The colour table: the bitmap's own one at its own depth, else the
    // default one of that depth.
    TPixelFormat Format = Bpp == 1 ? pf1bit : Bpp == 4 ? pf4bit : Bpp == 8 ? pf8bit
                          : Bpp == 24 ? pf24bit : pf32bit;
    TBitmap Table(1, 1, Format);
    const bool SameIndices = Bpp <= 8 && B.BitsPerPixel() == Bpp;
    if (Bpp <= 8) {
        Table.SetPalette(SameIndices ? B.Palette() : TBitmap::DefaultPalette(Format));
        const auto& Pal = Table.Palette();
        for (size_t I = 0; I < 256; ++I) Info->bmiColors[I] = RGBQUAD{};
        for (size_t I = 0; I < Pal.size() && I < 256; ++I)
            Info->bmiColors[I] = RGBQUAD{Pal[I].rgbBlue, Pal[I].rgbGreen, Pal[I].rgbRed, 0};
        H.biClrUsed = 0;
    }
    if (!Bits) return int(std::min<int64_t>(Rows, INT32_MAX));
    if (int64_t(Start) >= Rows) return 0;
    const int64_t Count = std::min<int64_t>(Lines, Rows - int64_t(Start));
    TNearest Nearest(Table);
    auto* Out = static_cast<uint8_t*>(Bits);
    for (int64_t I = 0; I < Count; ++I) {
        const int64_t Scan = int64_t(Start) + I;  // DIB scan line, in storage order
        const int64_t Row = TopDown ? Scan : Rows - 1 - Scan;  // from the top
        uint8_t* Dest = Out + I * RowBytes;
        std::memset(Dest, 0, size_t(RowBytes));
        if (Row >= B.Height()) continue;
        const int Width = int(std::min<int64_t>(H.biWidth, B.Width()));
        for (int X = 0; X < Width; ++X) {
            const uint32_t V = ReadValue(B, X, int(Row));
            switch (Bpp) {
                case 32:
                    Dest[size_t(X) * 4 + 3] = uint8_t(B.PixelFormat() == pf32bit ? V >> 24 : 0);
                    [[fallthrough]];
                case 24: {
                    const uint32_t C = ColourOf(B, V);
                    uint8_t* P = Dest + size_t(X) * (Bpp / 8);
                    P[0] = uint8_t(C), P[1] = uint8_t(C >> 8), P[2] = uint8_t(C >> 16);
                    break;
                }
                default: {
                    const uint32_t Index = SameIndices ? V : Nearest(ColourOf(B, V));
                    const int Bit = X * Bpp;
                    const int Shift = 8 - Bpp - (Bit & 7);
                    Dest[Bit >> 3] = uint8_t(Dest[Bit >> 3] | ((Index & ((1u << Bpp) - 1)) << Shift));
                    break;
                }
            }
        }
    }
    return int(Count);
}

}  // namespace velmo
