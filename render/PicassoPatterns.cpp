// GDI+ brushes of pattern paint: a line gradient for an axial ramp and a
// texture for a rendered coloured tile.
#include <algorithm>
#include <cmath>
#include <vector>

#include "render/Picasso.h"

namespace velmo {

namespace {

// A colour component 0 … 1 as a byte; outside that range it is clamped and
// NaN counts as 0, so a stray value never spills into the next channel.
GpARGB ComponentByte(double V) {
    if (!(V >= 0)) V = 0;
    if (V > 1) V = 1;
    return static_cast<GpARGB>(std::nearbyint(V * 255));
}

GpARGB OpaqueStop(const TVPLPattern& Pattern, int Index) {
    return 0xFF000000u | (ComponentByte(Pattern.GetRGB(0, Index)) << 16) |
           (ComponentByte(Pattern.GetRGB(1, Index)) << 8) | ComponentByte(Pattern.GetRGB(2, Index));
}

// Device pixels an extended ramp end pads over: more than any page.
constexpr double kPadLength = 65536;

bool Finite(const TPDFDoublePoint& P) { return std::isfinite(P.X) && std::isfinite(P.Y); }

}  // namespace

GpBrush* TPDFPicasso::CreatePatternBrush(const TVPLPattern* Pattern, bool Stroke) {
    if (Pattern == nullptr || !FGDIPlus || FGDIPlus->GDIPlusStatus != gpReady) return nullptr;
    switch (Pattern->FPatternType) {
        case ptAxial: {
            const int32_t N = Pattern->GetRGBCount();
            if (N <= 0) return nullptr;
            const TPDFXForm M = PatternToDevice(Stroke);
            TPDFDoublePoint Start, End;
            TransformPoint(M, {Pattern->GetCoords(0), Pattern->GetCoords(1)}, Start);
            TransformPoint(M, {Pattern->GetCoords(2), Pattern->GetCoords(3)}, End);
            if (!Finite(Start) || !Finite(End)) return nullptr;
            std::vector<GpARGB> Colors(static_cast<size_t>(N));
            std::vector<GpREAL> Positions(static_cast<size_t>(N));
            for (int32_t I = 0; I < N; ++I) {
                Colors[size_t(I)] = OpaqueStop(*Pattern, I);
                // One stop is its colour at both ends of the axis.
                Positions[size_t(I)] = N > 1 ? GpREAL(I) / GpREAL(N - 1) : 0;
            }
            // A line brush repeats its ramp beyond the axis: an extended end
            // instead gets its colour over a stretch longer than any page,
            // and an end that does not extend is cut off where the brush is
            // used.
            const double Len = std::hypot(End.X - Start.X, End.Y - Start.Y);
            const double PadA = Pattern->GetExtend(0) && Len > 0 ? kPadLength : 0;
            const double PadB = Pattern->GetExtend(1) && Len > 0 ? kPadLength : 0;
            if (PadA > 0 || PadB > 0) {
                const double UX = (End.X - Start.X) / Len, UY = (End.Y - Start.Y) / Len;
                const double Total = PadA + Len + PadB;
                for (GpREAL& P : Positions) P = GpREAL((PadA + double(P) * Len) / Total);
                if (PadA > 0) {
                    Colors.insert(Colors.begin(), Colors.front());
                    Positions.insert(Positions.begin(), 0);
                }
                if (PadB > 0) {
                    Colors.push_back(Colors.back());
                    Positions.push_back(1);
                }
                Start = {Start.X - UX * PadA, Start.Y - UY * PadA};
                End = {End.X + UX * PadB, End.Y + UY * PadB};
            }
            const int32_t Count = int32_t(Colors.size());
            const GpPointF P1{GpREAL(Start.X), GpREAL(Start.Y)};
            const GpPointF P2{GpREAL(End.X), GpREAL(End.Y)};
            GpLineGradient* Brush = nullptr;
            if (FGDIPlus->GdipCreateLineBrush(&P1, &P2, Colors.front(), Colors.back(), WrapModeTile,
                                              &Brush) != gsOk)
                return nullptr;
            if (Brush != nullptr && Count > 2)
                FGDIPlus->GdipSetLinePresetBlend(Brush, Colors.data(), Positions.data(), Count);
            return reinterpret_cast<GpBrush*>(Brush);
        }
        case ptColorTile: {
            GpImage* Image = nullptr;
            // The bitmap borrows the pixels, which stay in the digest.
            std::vector<uint32_t> Pixels;
            if (!Pattern->FTilePixels.empty()) {
                Pixels = Pattern->FTilePixels;
                GpBitmap* B = nullptr;
                if (FGDIPlus->GdipCreateBitmapFromScan0(
                        Pattern->FTilePixelWidth, Pattern->FTilePixelHeight,
                        Pattern->FTilePixelWidth * 4, PixelFormat32bppARGB,
                        reinterpret_cast<uint8_t*>(Pixels.data()), &B) != gsOk ||
                    B == nullptr)
                    return nullptr;
                Image = reinterpret_cast<GpImage*>(B);
            } else {
                if (!Pattern->FTileImageData) return nullptr;
                TStream& Tile = *Pattern->FTileImageData;
                // The digest outlives many fills: each one reads the tile
                // from its start.
                Tile.Seek(0, soBeginning);
                auto* Adapter = new TImageBytesStreamAdapter(Tile);
                const TGPStatus Loaded = FGDIPlus->GdipLoadImageFromStream(Adapter, &Image);
                Adapter->Release();
                if (Loaded != gsOk || Image == nullptr) return nullptr;
            }
            GpTexture* Brush = nullptr;
            uint32_t W = 0, H = 0;
            if (FGDIPlus->GdipGetImageWidth(Image, &W) == gsOk &&
                FGDIPlus->GdipGetImageHeight(Image, &H) == gsOk &&
                FGDIPlus->GdipCreateTexture2(Image, WrapModeTile, 0, 0, GpREAL(W), GpREAL(H),
                                             &Brush) == gsOk &&
                Brush != nullptr) {
                // Tile pixels map onto one step (its top left corner first),
                // the step into pattern space, and pattern space onto the
                // device. A rendered tile is one step whole, gaps beyond the
                // cell included; else it is the cell cut to the step.
                const bool Rendered = !Pattern->FTilePixels.empty();
                const double BW = Pattern->FBBox[2] - Pattern->FBBox[0];
                const double BH = Pattern->FBBox[3] - Pattern->FBBox[1];
                const double CW = Rendered ? Pattern->FXStep : std::min(Pattern->FXStep, BW);
                const double CH = Rendered ? Pattern->FYStep : std::min(Pattern->FYStep, BH);
                TPDFXForm T;
                const bool HasSpace = Stroke ? FHasStrokePatternSpace : FHasFillPatternSpace;
                if (HasSpace && CW > 0 && CH > 0) {
                    const TPDFXForm Cell{CW / W, 0, 0, -CH / H, Pattern->FBBox[0],
                                         Pattern->FBBox[1] + CH};
                    MultiplyXForm(T, Cell, PatternToDevice(Stroke));
                } else {
                    const double F = Pattern->GetMatrix(5);
                    T = {Pattern->GetMatrix(0), Pattern->GetMatrix(1), Pattern->GetMatrix(2),
                         Pattern->GetMatrix(3), Pattern->GetMatrix(4),
                         FPageHeight > 0 ? FPageHeight - F : F};
                }
                GpMatrix* Matrix = nullptr;
                if (std::isfinite(T.eM11) && std::isfinite(T.eM12) && std::isfinite(T.eM21) &&
                    std::isfinite(T.eM22) && std::isfinite(T.eDx) && std::isfinite(T.eDy) &&
                    FGDIPlus->GdipCreateMatrix2(GpREAL(T.eM11), GpREAL(T.eM12), GpREAL(T.eM21),
                                                GpREAL(T.eM22), GpREAL(T.eDx), GpREAL(T.eDy),
                                                &Matrix) == gsOk &&
                    Matrix != nullptr) {
                    FGDIPlus->GdipSetTextureTransform(Brush, Matrix);
                    if (!HasSpace && Pattern->FTileScale != 1.0)
                        FGDIPlus->GdipScaleTextureTransform(Brush, GpREAL(Pattern->FTileScale),
                                                            GpREAL(Pattern->FTileScale),
                                                            MatrixOrderPrepend);
                    FGDIPlus->GdipDeleteMatrix(Matrix);
                }
            } else {
                Brush = nullptr;
            }
            FGDIPlus->GdipDisposeImage(Image);
            return reinterpret_cast<GpBrush*>(Brush);
        }
        default:
            return nullptr;
    }
}

TPDFXForm TPDFPicasso::PatternToDevice(bool Stroke) const {
    if (Stroke ? FHasStrokePatternSpace : FHasFillPatternSpace)
        return Stroke ? FStrokePatternSpace : FFillPatternSpace;
    const TVPLPattern* P = Stroke ? FStrokePattern : FFillPattern;
    TPDFXForm M;
    MultiplyXForm(M, P ? P->FMatrix : IdentityXForm, FCurrentXForm);
    return M;
}

GpBrush* TPDFPicasso::CreateShadingBrush(const TVPLPattern* Pattern, bool Stroke) {
    if (Pattern == nullptr || !Pattern->FShading || FPath == nullptr) return nullptr;
    GpRectF PB{}, CB{};
    if (FGDIPlus->GdipGetVisibleClipBounds(FGraphics, &CB) != gsOk) return nullptr;
    // A stroke reaches beyond its path by the pen, joins and caps: it gets
    // the whole visible clip.
    if (Stroke)
        PB = CB;
    else if (FGDIPlus->GdipGetPathWorldBounds(FPath, &PB, nullptr, nullptr) != gsOk)
        return nullptr;
    // The visible clip lies on the device, so the image is never larger
    // than the page.
    const double X0 = std::max(PB.X, CB.X), Y0 = std::max(PB.Y, CB.Y);
    const double X1 = std::min(PB.X + PB.Width, CB.X + CB.Width);
    const double Y1 = std::min(PB.Y + PB.Height, CB.Y + CB.Height);
    TShadingImage Img;
    if (!RasteriseShadingOver(*Pattern->FShading, PatternToDevice(Stroke), X0, Y0, X1, Y1,
                              Stroke ? FStrokeAlpha : FFillAlpha, Img))
        return nullptr;
    const int32_t IX0 = Img.X0, IY0 = Img.Y0, W = Img.W, H = Img.H;
    std::vector<uint32_t>& Pixels = Img.ARGB;
    GpBitmap* Image = nullptr;
    if (FGDIPlus->GdipCreateBitmapFromScan0(W, H, W * 4, PixelFormat32bppARGB,
                                            reinterpret_cast<uint8_t*>(Pixels.data()),
                                            &Image) != gsOk ||
        Image == nullptr)
        return nullptr;
    GpTexture* Brush = nullptr;
    if (FGDIPlus->GdipCreateTexture2(reinterpret_cast<GpImage*>(Image), WrapModeClamp, 0, 0,
                                     GpREAL(W), GpREAL(H), &Brush) == gsOk &&
        Brush != nullptr) {
        GpMatrix* Matrix = nullptr;
        if (FGDIPlus->GdipCreateMatrix2(1, 0, 0, 1, GpREAL(IX0), GpREAL(IY0), &Matrix) == gsOk &&
            Matrix != nullptr) {
            FGDIPlus->GdipSetTextureTransform(Brush, Matrix);
            FGDIPlus->GdipDeleteMatrix(Matrix);
        }
    } else {
        Brush = nullptr;
    }
    FGDIPlus->GdipDisposeImage(reinterpret_cast<GpImage*>(Image));
    return reinterpret_cast<GpBrush*>(Brush);
}

void TPDFPicasso::GDIPlusFillWith(GpBrush* Brush) {
    const TVPLPattern* P = FFillPattern;
    if (P != nullptr && P->FHasBackground && !FFillForShading) {
        GpSolidFill* Back = nullptr;
        const GpARGB C = (GpARGB(std::lround(std::clamp(FFillAlpha, 0.0, 1.0) * 255)) << 24) |
                         (ComponentByte(P->FBackColor.Red) << 16) |
                         (ComponentByte(P->FBackColor.Green) << 8) |
                         ComponentByte(P->FBackColor.Blue);
        if (FGDIPlus->GdipCreateSolidFill(C, &Back) == gsOk && Back != nullptr) {
            FGDIPlus->GdipFillPath(FGraphics, reinterpret_cast<GpBrush*>(Back), FPath);
            FGDIPlus->GdipDeleteBrush(reinterpret_cast<GpBrush*>(Back));
        }
    }
    // A line brush pads both ends; an end without extension is cut off
    // half a pixel beyond the axis end.
    const bool Band = P != nullptr && P->FPatternType == ptAxial &&
                      !(P->FShading && FHasFillPatternSpace) &&
                      !(P->GetExtend(0) && P->GetExtend(1));
    GpRegion* Saved = nullptr;
    GpPath* Strip = nullptr;
    if (Band) {
        const TPDFXForm M = PatternToDevice(false);
        TPDFDoublePoint S, E;
        TransformPoint(M, {P->GetCoords(0), P->GetCoords(1)}, S);
        TransformPoint(M, {P->GetCoords(2), P->GetCoords(3)}, E);
        const double L = std::hypot(E.X - S.X, E.Y - S.Y);
        if (L > 0 && std::isfinite(L)) {
            const double UX = (E.X - S.X) / L, UY = (E.Y - S.Y) / L;
            const double Far = 1e6;
            const double A = P->GetExtend(0) ? Far : 0.5, B = P->GetExtend(1) ? Far : 0.5;
            const double SX = S.X - UX * A, SY = S.Y - UY * A, EX = E.X + UX * B, EY = E.Y + UY * B;
            const double NX = -UY * Far, NY = UX * Far;
            if (FGDIPlus->GdipCreateRegion(&Saved) == gsOk && Saved != nullptr &&
                FGDIPlus->GdipGetClip(FGraphics, Saved) == gsOk &&
                FGDIPlus->GdipCreatePath(FillModeWinding, &Strip) == gsOk && Strip != nullptr) {
                FGDIPlus->GdipStartPathFigure(Strip);
                FGDIPlus->GdipAddPathLine(Strip, GpREAL(SX + NX), GpREAL(SY + NY),
                                          GpREAL(EX + NX), GpREAL(EY + NY));
                FGDIPlus->GdipAddPathLine(Strip, GpREAL(EX + NX), GpREAL(EY + NY),
                                          GpREAL(EX - NX), GpREAL(EY - NY));
                FGDIPlus->GdipAddPathLine(Strip, GpREAL(EX - NX), GpREAL(EY - NY),
                                          GpREAL(SX - NX), GpREAL(SY - NY));
                FGDIPlus->GdipClosePathFigure(Strip);
                FGDIPlus->GdipSetClipPath(FGraphics, Strip, CombineModeIntersect);
            }
        }
    }
    FGDIPlus->GdipFillPath(FGraphics, Brush, FPath);
    if (Strip != nullptr) {
        FGDIPlus->GdipSetClipRegion(FGraphics, Saved, CombineModeReplace);
        FGDIPlus->GdipDeletePath(Strip);
    }
    if (Saved != nullptr) FGDIPlus->GdipDeleteRegion(Saved);
}

}  // namespace velmo
