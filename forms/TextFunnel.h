// The collecting text funnel: the renderer hands it every shown text run; it
// drops runs by its options, joins each run to an earlier block when the two
// belong together and keeps the blocks in page space.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "render/TextFunnelBase.h"

namespace velmo {

struct TPDFTextFunnelBlock {
    // Corners in page space: start and end of the baseline side, end and
    // start of the top side.
    TPDFDoublePoint P1, P2, P3, P4;
    std::u16string Text;
    // Page-space x of the start of each character of Text.
    std::vector<double> DXoffsets;
    std::string FontName;  // of the first run
    std::string MatDump;   // the first run's linear transform as text
    std::string Color;     // the first run's hex colour
    double TextSize = 0;   // font size of the first run
    // Layout box and neighbours, filled by the outputs.
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0, Width = 0, Height = 0;
    int32_t LeftLine = -1, RightLine = -1, UpLine = -1, DownLine = -1;
    bool Used = false;
    int32_t HCentre = 0, VCentre = 0;
    std::vector<double> ColorArray;
};

class TPDFTextFunnel : public TPDFTextFunnelBase {
public:
    TPDFTextFunnel();
    ~TPDFTextFunnel() override;

    // Blocks in order of creation.
    std::vector<TPDFTextFunnelBlock> FTextBlocks;
    // Output order as block numbers, built by the outputs.
    std::vector<size_t> SList;
    std::vector<TPDFTextFunnelImage> FImages;

    int32_t FOrigin = 0;
    double FScale = 1.0;
    double FPageWidth = 0;
    double FPageHeight = 0;
    bool FOutputWidths = false;
    double FWordGap = 0.7;
    bool FIgnoreFont = false;
    bool FIgnoreColor = false;
    bool FIgnoreBlocks = false;
    bool FSortBlocks = false;
    bool FIgnoreOverlaps = false;
    bool FIgnoreDuplicates = false;
    bool FTrimCharsOutsideArea = false;
    bool FSpecialMatch = false;
    bool FIgnoreRotated = false;
    bool FTrimWhitespace = false;
    bool FRemoveUnderscoreLines = false;
    bool FHasArea = false;
    double FAreaLeft = 0, FAreaTop = 0, FAreaRight = 0, FAreaBottom = 0;
    double FVertScaleFactor = 8.0;
    double FHorzScaleFactor = 5.0;

    void Clear() override;
    void AddText(const TPDFXForm& Matrix, std::u16string_view Text, const TPDFTextColor& Color,
                 std::string_view FontName, double FontSize, double X, double Y, double Width,
                 double Height, std::span<const double> Offsets) override;
    void AddImage(const TPDFTextFunnelImage& Image) override { FImages.push_back(Image); }

    // Limits collection to a rectangle in page space (y upwards; Top above
    // Top - Height).
    void SetArea(double Left, double Top, double Width, double Height);

    int32_t BlockCount() const { return static_cast<int32_t>(FTextBlocks.size()); }
    // Block number Index (0-based, creation order); an empty block when out
    // of range.
    TPDFTextFunnelBlock GetBlock(int32_t Index) const;
    // Block number I of the output order; null when out of range.
    TPDFTextFunnelBlock* TextBlock(int32_t I);
    int32_t ImageCount() const { return static_cast<int32_t>(FImages.size()); }
    TPDFTextFunnelImage GetImage(int32_t Index) const;

private:
    // Index of the blocks by style, so a run meets only blocks it could join.
    struct TStyleIndex;
    struct TBlockPlace;
    std::unordered_map<std::string, std::unique_ptr<TStyleIndex>> FIndex;
    std::vector<TBlockPlace> FPlaces;
    // The ignore flags the index was built with.
    int FIndexFlags = -1;

    std::string StyleKey(std::string_view FontName, std::string_view Color,
                         std::string_view MatDump) const;
    int IndexFlags() const;
    void RebuildIndex();
    void IndexBlock(size_t B);
    // First block of the style (creation order) that the run starting at S
    // may join; Kind 1 adjacent, 2 gap, 3 tiny gap; -1 when none.
    int64_t FindMatch(TStyleIndex& Idx, const TPDFDoublePoint& S, double FontSize, int& Kind);
};

// Makes every renderer's funnel a collecting one. Called once at start-up.
void InstallTextFunnel();

}  // namespace velmo
