// The text items extracted from one page, each with its box, font, colour and
// character widths, and the line-based text-block record of one item.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Objects.h"
#include "render/TextFunnelBase.h"

namespace velmo {

struct TPDFTextListItem {
    // Corners X1, Y1 .. X4, Y4 in page space: start and end of the baseline
    // side, then end and start of the top side.
    double Bounds[8] = {};
    std::u16string Text;
    TPDFTextColor Color;
    std::string FontName;
    double FontSize = 0;
    // One advance width per character of Text.
    std::vector<double> Widths;
};

// Indexes are 1-based; out of range means below 1 or above the count.
class TPDFTextList : public TObject {
public:
    std::vector<TPDFTextListItem> FTexts;

    void AddText(const TPDFTextListItem& Item) { FTexts.push_back(Item); }
    int32_t TextCount() const;
    // Empty when out of range.
    std::u16string TextString(int32_t TextIndex) const;
    // Corner value BoundsIndex (1 to 8); -1 when either index is out of range.
    double TextBounds(int32_t TextIndex, int32_t BoundsIndex) const;
    std::string TextFontName(int32_t TextIndex) const;
    // -1 when out of range.
    double TextFontSize(int32_t TextIndex) const;
    // Number of colour components; -1 when out of range.
    int32_t TextColorType(int32_t TextIndex) const;
    double TextColor(int32_t TextIndex, int32_t ColorComponent) const;
    // -1 when the item is out of range, its text is empty or Position is not
    // a character with a width.
    double TextCharWidth(int32_t TextIndex, int32_t Position) const;
    // Fourteen lines joined by CR LF (none after the last): CNT, FNT, SIZ,
    // CLR, TX1, TY1 .. TX4, TY4, WID, TXT. Origin 0 keeps the bottom-left
    // origin, 1 is top left, 2 top right, 3 bottom right; corners are then
    // multiplied by Scale. Empty when Index is out of range.
    std::u16string TextBlockAsString(int32_t Index, int32_t Origin, double PageWidth,
                                     double PageHeight, double Scale) const;

private:
    const TPDFTextListItem* Item(int32_t TextIndex) const;
};

}  // namespace velmo
