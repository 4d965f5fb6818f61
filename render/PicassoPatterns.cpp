// GDI+ brushes of pattern paint: a line gradient for an axial ramp and a
// texture for a rendered coloured tile.
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

bool Finite(const TPDFDoublePoint& P) { return std::isfinite(P.X) && std::isfinite(P.Y); }

}  // namespace

GpBrush* TPDFPicasso::CreatePatternBrush(const TVPLPattern* Pattern) {
    if (Pattern == nullptr || !FGDIPlus || FGDIPlus->GDIPlusStatus != gpReady) return nullptr;
    switch (Pattern->FPatternType) {
        case ptAxial: {
            const int32_t N = Pattern->GetRGBCount();
            if (N <= 0) return nullptr;
            TPDFXForm M;
            const TPDFXForm PatternMatrix{Pattern->GetMatrix(0), Pattern->GetMatrix(1),
                                          Pattern->GetMatrix(2), Pattern->GetMatrix(3),
                                          Pattern->GetMatrix(4), Pattern->GetMatrix(5)};
            MultiplyXForm(M, PatternMatrix, FCurrentXForm);
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
            const GpPointF P1{GpREAL(Start.X), GpREAL(Start.Y)};
            const GpPointF P2{GpREAL(End.X), GpREAL(End.Y)};
            GpLineGradient* Brush = nullptr;
            if (FGDIPlus->GdipCreateLineBrush(&P1, &P2, Colors.front(), Colors.back(), WrapModeTile,
                                              &Brush) != gsOk)
                return nullptr;
            if (Brush != nullptr && N > 2)
                FGDIPlus->GdipSetLinePresetBlend(Brush, Colors.data(), Positions.data(), N);
            return reinterpret_cast<GpBrush*>(Brush);
        }
        case ptColorTile: {
            if (!Pattern->FTileImageData) return nullptr;
            TStream& Tile = *Pattern->FTileImageData;
            // The digest outlives many fills: each one reads the tile from
            // its start.
            Tile.Seek(0, soBeginning);
            auto* Adapter = new TImageBytesStreamAdapter(Tile);
            GpImage* Image = nullptr;
            const TGPStatus Loaded = FGDIPlus->GdipLoadImageFromStream(Adapter, &Image);
            Adapter->Release();
            if (Loaded != gsOk || Image == nullptr) return nullptr;
            GpTexture* Brush = nullptr;
            uint32_t W = 0, H = 0;
            if (FGDIPlus->GdipGetImageWidth(Image, &W) == gsOk &&
                FGDIPlus->GdipGetImageHeight(Image, &H) == gsOk &&
                FGDIPlus->GdipCreateTexture2(Image, WrapModeTile, 0, 0, GpREAL(W), GpREAL(H),
                                             &Brush) == gsOk &&
                Brush != nullptr) {
                const double F = Pattern->GetMatrix(5);
                GpMatrix* Matrix = nullptr;
                if (FGDIPlus->GdipCreateMatrix2(
                        GpREAL(Pattern->GetMatrix(0)), GpREAL(Pattern->GetMatrix(1)),
                        GpREAL(Pattern->GetMatrix(2)), GpREAL(Pattern->GetMatrix(3)),
                        GpREAL(Pattern->GetMatrix(4)),
                        GpREAL(FPageHeight > 0 ? FPageHeight - F : F), &Matrix) == gsOk &&
                    Matrix != nullptr) {
                    FGDIPlus->GdipSetTextureTransform(Brush, Matrix);
                    if (Pattern->FTileScale != 1.0)
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

}  // namespace velmo
