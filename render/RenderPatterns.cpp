// Pattern and shading look-up for the interpreter: the renderer's pattern
// cache, and the tiling cells drawn by a second renderer.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "render/ContentRun.h"
#include "render/SoftMask.h"

namespace velmo {

namespace {

// The components of an uncoloured cell's colour on the operand stack, in
// the pattern space's base ("Pattern[DeviceRGB]"); the base is guessed from
// their count when it is not a device space.
std::string UncolouredColor(TPDFRenderer::TContentRun& Run, std::vector<double>& Values) {
    std::string Base;
    const std::string_view CS = Run.PatternCS;
    const size_t Open = CS.find('['), Close = CS.find(']');
    if (Open != std::string_view::npos && Close != std::string_view::npos && Close > Open)
        Base = std::string(CS.substr(Open + 1, Close - Open - 1));
    size_t Count = Base == "DeviceRGB" ? 3 : Base == "DeviceCMYK" ? 4 : Base == "DeviceGray" ? 1 : 0;
    if (Count == 0) {
        Count = std::min<size_t>(Run.Operands.size(), 4);
        if (Count == 2) Count = 1;
        Base = Count == 4 ? "DeviceCMYK" : Count == 3 ? "DeviceRGB" : "DeviceGray";
    }
    Count = std::min(Count, Run.Operands.size());
    Values.assign(Count, 0);
    for (size_t I = 0; I < Count; ++I) {
        double V = 0;
        ParseNumberInto(Run.Operands[Run.Operands.size() - Count + I], V);
        Values[I] = std::isfinite(V) ? V : 0;
    }
    return Base;
}

// The longest side of a tile: a step far larger than its cell is drawn
// coarser rather than as a huge bitmap.
constexpr double kMaxTileSide = 4096;

// The tile of one step from the cell's pixels (PW × PH, drawn over W × H of
// pattern space from the box's lower left corner): a step wider or taller
// than the cell leaves the rest of the tile transparent, so the gaps between
// cells stay unpainted. Row 0 is the top of the step.
void TileOfOneStep(TVPLPattern& Pattern, const std::vector<uint32_t>& Cell, int32_t PW,
                   int32_t PH, double W, double H) {
    const double SX = std::max(1.0, Pattern.FXStep / W), SY = std::max(1.0, Pattern.FYStep / H);
    const double TW = std::max(1.0, std::round(PW * SX)), TH = std::max(1.0, std::round(PH * SY));
    const double F = std::min(1.0, kMaxTileSide / std::max(TW, TH));
    if (SX == 1 && SY == 1) {
        Pattern.FTilePixels = Cell;
        Pattern.FTilePixelWidth = PW;
        Pattern.FTilePixelHeight = PH;
        return;
    }
    const int32_t OW = std::max(1, int32_t(TW * F)), OH = std::max(1, int32_t(TH * F));
    Pattern.FTilePixels.assign(size_t(OW) * size_t(OH), 0);
    // The cell fills the lowest PH rows and the first PW columns.
    const double Top = TH - PH;
    for (int32_t Y = 0; Y < OH; ++Y) {
        const double CY = std::floor((Y + 0.5) / F - Top);
        if (CY < 0 || CY >= PH) continue;
        for (int32_t X = 0; X < OW; ++X) {
            const double CX = std::floor((X + 0.5) / F);
            if (CX >= PW) break;
            Pattern.FTilePixels[size_t(Y) * size_t(OW) + size_t(X)] =
                Cell[size_t(CY) * size_t(PW) + size_t(CX)];
        }
    }
    Pattern.FTilePixelWidth = OW;
    Pattern.FTilePixelHeight = OH;
}

}  // namespace

const TVPLPattern* TPDFRenderer::FindPattern(TContentRun& Run, std::string_view Name) {
    if (const TVPLPattern* Preset = PresetPattern(Name)) return Preset;
    if (Run.Resources == nullptr || Name.size() < 2) return nullptr;
    const std::string_view Key = Name.substr(1);
    TPDFObject* Entry = nullptr;
    if (TPDFDictionary* P = Run.SubDict(Run.Resources, "Pattern"))
        Entry = P->FindValueByKeyName(Key, false);
    if (Entry == nullptr)
        if (TPDFDictionary* S = Run.SubDict(Run.Resources, "Shading"))
            Entry = S->FindValueByKeyName(Key, false);
    if (Entry == nullptr) return nullptr;
    TPDFIndRef* Ref = ObjAs<TPDFIndRef>(Entry);
    TPDFObject* Value = Run.Resolve(Entry);
    TPDFStream* Stream = ObjAs<TPDFStream>(Value);
    TPDFDictionary* Source = Stream ? Stream->FDictionary : ObjAs<TPDFDictionary>(Value);
    if (Source == nullptr) return nullptr;

    // Uncoloured cells are cached per colour.
    std::string ColourKey;
    std::string Base;
    std::vector<double> Values;
    if (auto It = FPatternIndex.find(Source); It != FPatternIndex.end()) {
        TVPLPattern* Cached = It->second;
        if (!(Cached->FPatternType == ptColorTile && Cached->FPaintType == 2) || Run.Library)
            return Cached;
    }
    auto* PaintType =
        ObjAs<TPDFNumeric>(Run.Resolve(Source->FindValueByKeyName("PaintType", false)));
    const bool Uncoloured = PaintType != nullptr && PaintType->AsDouble() == 2;
    if (Uncoloured && !Run.Library) {
        Base = UncolouredColor(Run, Values);
        ColourKey = std::to_string(reinterpret_cast<uintptr_t>(Source)) + ":" + Base;
        for (double V : Values) ColourKey += " " + std::to_string(std::lround(V * 1000));
        if (auto It = FUncolouredIndex.find(ColourKey); It != FUncolouredIndex.end())
            return It->second;
    }

    auto Pattern = std::make_unique<TVPLPattern>(FColorManager.get());
    Pattern->FOnFindObject = OnFindObject;
    Pattern->FOnDecrypt = OnDecrypt;
    Pattern->FOnEncrypt = OnEncrypt;
    if (Run.Library) Pattern->UseRendererModel();
    Pattern->Populate(Source, Stream, Ref);
    if (Uncoloured && !Run.Library) Pattern->SetColorComponents(Base, Values);

    if (Pattern->FPatternType == ptColorTile && Stream != nullptr && !Run.Library && !Run.EPS) {
        const double W = std::min(Pattern->FXStep, Pattern->FBBox[2] - Pattern->FBBox[0]);
        const double H = std::min(Pattern->FYStep, Pattern->FBBox[3] - Pattern->FBBox[1]);
        // A cell or step of no size, or not finite, paints nothing.
        if (!(W > 0) || !(H > 0) || !std::isfinite(W) || !std::isfinite(H) ||
            !(Pattern->FXStep > 0) || !(Pattern->FYStep > 0)) {
            Pattern->FPatternType = ptUnknown;
        } else {
            // The cell is drawn at about the device's resolution of pattern
            // space where it is chosen.
            TPDFXForm M = Pattern->FMatrix;
            TContentRun::SafeMul(Pattern->FMatrix, Run.PatternBase, M);
            const double Det = std::fabs(M.eM11 * M.eM22 - M.eM12 * M.eM21);
            const double SavedDPI = FDPI;
            if (std::isfinite(Det) && Det > 0) {
                // A whole number of pixels across the cell, so that a cell
                // that meets the pixel grid is not resampled.
                const double Pixels = std::max(1.0, std::nearbyint(W * std::sqrt(Det)));
                FDPI = std::clamp(72 * Pixels / W * (1 - 1e-9), 1.0, 2400.0);
            }
            // Drawn over white and over black, the cell shows where it
            // paints and how opaquely: the tile is transparent elsewhere.
            double Scale = 1;
            const TColor CellColor = Pattern->FUncoloredPatternColor;
            const TColor* Colour = Pattern->FPaintType == 2 ? &CellColor : nullptr;
            const TColor White = 0xFFFFFF, Black = 0;
            TBitmap OnWhite, OnBlack;
            RenderSourceToBitmap(Stream, Ref, Pattern->FBBox[0], Pattern->FBBox[1], W, H, Scale,
                                 Colour, &White, OnWhite);
            RenderSourceToBitmap(Stream, Ref, Pattern->FBBox[0], Pattern->FBBox[1], W, H, Scale,
                                 Colour, &Black, OnBlack);
            FDPI = SavedDPI;
            Pattern->FTileScale = Scale;
            const int32_t PW = OnWhite.Width(), PH = OnWhite.Height();
            if (PW > 0 && PH > 0 && OnBlack.Width() == PW && OnBlack.Height() == PH) {
                std::vector<uint32_t> Cell(size_t(PW) * size_t(PH));
                for (int32_t Y = 0; Y < PH; ++Y)
                    for (int32_t X = 0; X < PW; ++X) {
                        const TColor B = OnBlack.GetPixel(X, Y);
                        const int Alpha = AlphaOverBackdrops(OnWhite.GetPixel(X, Y), B);
                        uint32_t P = uint32_t(Alpha) << 24;
                        if (Alpha > 0)
                            for (int Shift = 0; Shift <= 16; Shift += 8) {
                                const int C = std::min(255, int((B >> Shift) & 0xFF) * 255 / Alpha);
                                P |= uint32_t(C) << (16 - Shift);
                            }
                        Cell[size_t(Y) * size_t(PW) + size_t(X)] = P;
                    }
                TileOfOneStep(*Pattern, Cell, PW, PH, W, H);
            }
        }
    }

    TVPLPattern* Result = Pattern.get();
    FPatterns.push_back(std::move(Pattern));
    if (!ColourKey.empty())
        FUncolouredIndex[ColourKey] = Result;
    else
        FPatternIndex[Source] = Result;
    return Result;
}

void TPDFRenderer::RenderPatternTile(TContentRun& Run, const TVPLPattern* Pattern,
                                     std::string_view Name) {
    // The other destinations drew their cell when the pattern was found.
    if (Run.Library) RenderLibraryPatternTile(Run, Pattern, Name);
}

}  // namespace velmo
