// Pattern and shading look-up for the interpreter: the renderer's pattern
// cache, and the tiling cells drawn by a second renderer.
#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_set>
#include <vector>

#include "render/ContentRun.h"
#include "render/Picasso.h"
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

// A cell drawn finer than the device is averaged down to OW × OH pixels,
// as the device samples an image: thin lines keep their weight in grey
// rather than falling on or between the texture's samples. Straight ARGB in
// and out; colours are averaged by their coverage.
void AverageCellDown(std::vector<uint32_t>& Cell, int32_t& PW, int32_t& PH, int32_t OW,
                     int32_t OH) {
    std::vector<uint32_t> Out(size_t(OW) * size_t(OH));
    for (int32_t Y = 0; Y < OH; ++Y) {
        const int32_t Y0 = int32_t(int64_t(Y) * PH / OH), Y1 = int32_t(int64_t(Y + 1) * PH / OH);
        for (int32_t X = 0; X < OW; ++X) {
            const int32_t X0 = int32_t(int64_t(X) * PW / OW),
                          X1 = int32_t(int64_t(X + 1) * PW / OW);
            uint64_t A = 0, C[3] = {};
            for (int32_t SY = Y0; SY < std::max(Y1, Y0 + 1); ++SY)
                for (int32_t SX = X0; SX < std::max(X1, X0 + 1); ++SX) {
                    const uint32_t P = Cell[size_t(SY) * size_t(PW) + size_t(SX)];
                    const uint32_t PA = P >> 24;
                    A += PA;
                    for (int K = 0; K < 3; ++K) C[K] += uint64_t(P >> (16 - 8 * K) & 0xFF) * PA;
                }
            const uint64_t N = uint64_t(std::max(Y1 - Y0, 1)) * uint64_t(std::max(X1 - X0, 1));
            uint32_t P = uint32_t((A + N / 2) / N) << 24;
            if (A > 0)
                for (int K = 0; K < 3; ++K) P |= uint32_t(std::min<uint64_t>(255, C[K] / A)) << (16 - 8 * K);
            Out[size_t(Y) * size_t(OW) + size_t(X)] = P;
        }
    }
    Cell = std::move(Out);
    PW = OW;
    PH = OH;
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

    if (auto It = FPatternIndex.find(Source); It != FPatternIndex.end()) return It->second;

    auto Make = [&] {
        auto P = std::make_unique<TVPLPattern>(FColorManager.get());
        P->FOnFindObject = OnFindObject;
        P->FOnDecrypt = OnDecrypt;
        P->FOnEncrypt = OnEncrypt;
        if (Run.Library) P->UseRendererModel();
        P->Populate(Source, Stream, Ref);
        return P;
    };
    // The shape of a tiling pattern met before: a cache hit needs no new
    // digest (which decodes the cell's content).
    std::unique_ptr<TVPLPattern> Pattern;
    auto Shape = FTileShapes.find(Source);
    if (Shape == FTileShapes.end()) {
        Pattern = Make();
        TTileShape New;
        New.Matrix = Pattern->FMatrix;
        New.W = std::min(Pattern->FXStep, Pattern->FBBox[2] - Pattern->FBBox[0]);
        New.H = std::min(Pattern->FYStep, Pattern->FBBox[3] - Pattern->FBBox[1]);
        // A cell or step of no size, or not finite, paints nothing.
        New.Empty = !(New.W > 0) || !(New.H > 0) || !std::isfinite(New.W) ||
                    !std::isfinite(New.H) || !(Pattern->FXStep > 0) || !(Pattern->FYStep > 0);
        New.Drawn = Pattern->FPatternType == ptColorTile && Stream != nullptr && !Run.Library &&
                    !Run.EPS;
        New.Uncoloured = Pattern->FPaintType == 2 && !Run.Library;
        if (!New.Drawn && !New.Uncoloured) {
            TVPLPattern* Result = Pattern.get();
            FPatterns.push_back(std::move(Pattern));
            FPatternIndex[Source] = Result;
            return Result;
        }
        Shape = FTileShapes.emplace(Source, New).first;
    }
    const TTileShape Cell = Shape->second;

    // A drawn cell depends on its dictionary, on its size in device pixels
    // where it is chosen and, for an uncoloured cell, on the colour: a cell
    // used again with all three alike is taken from the cache.
    const double W = Cell.W, H = Cell.H;
    TPDFXForm M = Cell.Matrix;
    TContentRun::SafeMul(Cell.Matrix, Run.PatternBase, M);
    const double Det = std::fabs(M.eM11 * M.eM22 - M.eM12 * M.eM21);
    // A whole number of pixels across the cell, so that a cell that meets
    // the pixel grid is not resampled.
    double Pixels = 0;
    if (Cell.Drawn && !Cell.Empty && std::isfinite(Det) && Det > 0)
        Pixels = std::clamp(std::nearbyint(W * std::sqrt(Det)), 1.0, kMaxTileSide);
    std::string Base;
    std::vector<double> Values;
    if (Cell.Uncoloured) Base = UncolouredColor(Run, Values);
    std::string CacheKey = std::to_string(reinterpret_cast<uintptr_t>(Source)) + ":" +
                      std::to_string(int64_t(Pixels));
    if (Cell.Uncoloured) {
        CacheKey += ":" + Base;
        for (double V : Values) CacheKey += " " + std::to_string(std::lround(V * 1000));
    }
    if (auto It = FTileIndex.find(CacheKey); It != FTileIndex.end()) {
        It->second.LastUse = ++FTileCacheClock;
        return It->second.Pattern;
    }

    if (!Pattern) Pattern = Make();
    if (Cell.Uncoloured) Pattern->SetColorComponents(Base, Values);
    if (!Cell.Drawn) {
        // Not drawn here (EPS): the digest keeps the colour only.
    } else if (Cell.Empty) {
        Pattern->FPatternType = ptUnknown;
    } else {
        // The cell is drawn at about the device's resolution of pattern
        // space where it is chosen. A cell in pattern units far larger than
        // points asks for a resolution well below one pixel per inch.
        const double SavedDPI = FDPI;
        if (Pixels > 0) FDPI = std::min(72 * Pixels / W * (1 - 1e-9), 2400.0);
        if (!(FDPI > 0) || !std::isfinite(FDPI)) FDPI = SavedDPI;
        // Drawn over white and over black, the cell shows where it
        // paints and how opaquely: the tile is transparent elsewhere.
        double Scale = 1;
        const TColor CellColor = Pattern->FUncoloredPatternColor;
        const TColor* Colour = Cell.Uncoloured ? &CellColor : nullptr;
        const TColor White = 0xFFFFFF, Black = 0;
        TBitmap OnWhite, OnBlack;
        ++FPatternCellRenders;
        RenderSourceToBitmap(Stream, Ref, Pattern->FBBox[0], Pattern->FBBox[1], W, H, Scale,
                             Colour, &White, OnWhite);
        RenderSourceToBitmap(Stream, Ref, Pattern->FBBox[0], Pattern->FBBox[1], W, H, Scale,
                             Colour, &Black, OnBlack);
        FDPI = SavedDPI;
        Pattern->FTileScale = Scale;
        int32_t PW = OnWhite.Width(), PH = OnWhite.Height();
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
            const int32_t DW = int32_t(Pixels);
            const int32_t DH = int32_t(std::clamp(std::nearbyint(Pixels * H / W), 1.0, kMaxTileSide));
            if (DW > 0 && PW >= 2 * DW && PH >= 2 * DH) AverageCellDown(Cell, PW, PH, DW, DH);
            TileOfOneStep(*Pattern, Cell, PW, PH, W, H);
        }
    }

    const size_t TilePixels = Pattern->FTilePixels.size();
    TrimTileCache(TilePixels);
    TVPLPattern* Result = Pattern.get();
    FPatterns.push_back(std::move(Pattern));
    FTileIndex[CacheKey] = TTileCacheEntry{Result, ++FTileCacheClock, TilePixels};
    FTileCachePixels += TilePixels;
    return Result;
}

void TPDFRenderer::TrimTileCache(size_t Incoming) {
    if (FTileCachePixels + Incoming <= FTileCachePixelCap) return;
    // What a content state (saved ones included) or the device still holds
    // is painted again later, so it stays.
    std::unordered_set<const TVPLPattern*> Held;
    auto Hold = [&](const TPDFGraphicsState& S) {
        Held.insert(S.FillPattern);
        Held.insert(S.StrokePattern);
    };
    for (const TContentRun* Run : FLiveRuns) {
        Hold(Run->GS);
        for (const TPDFGraphicsState& S : Run->States) Hold(S);
    }
    Hold(FInitialState);
    if (Picasso) {
        Held.insert(Picasso->FillPattern());
        Held.insert(Picasso->StrokePattern());
    }
    std::vector<std::pair<uint64_t, std::string>> ByAge;
    ByAge.reserve(FTileIndex.size());
    for (const auto& [Key, Entry] : FTileIndex)
        if (!Held.contains(Entry.Pattern)) ByAge.emplace_back(Entry.LastUse, Key);
    std::sort(ByAge.begin(), ByAge.end());
    for (const auto& [Use, Key] : ByAge) {
        if (FTileCachePixels + Incoming <= FTileCachePixelCap) break;
        auto It = FTileIndex.find(Key);
        TVPLPattern* Gone = It->second.Pattern;
        FTileCachePixels -= It->second.Pixels;
        FTileIndex.erase(It);
        std::erase_if(FPatterns, [&](const auto& P) { return P.get() == Gone; });
    }
}

void TPDFRenderer::RenderPatternTile(TContentRun& Run, const TVPLPattern* Pattern,
                                     std::string_view Name) {
    // The other destinations drew their cell when the pattern was found.
    if (Run.Library) RenderLibraryPatternTile(Run, Pattern, Name);
}

}  // namespace velmo
