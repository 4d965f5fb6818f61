// Tiling patterns of converted metafile brushes. A brush made from a bitmap
// (or a hatch drawn into one) has no PDF colour: the converter keeps it as a
// TPDFPattern with the colours it is drawn with, and the page tree has one
// pattern object written per colour, the bitmap's black pixels in that
// colour and its white ones white.
#pragma once

#include <cstdint>
#include <string>

#include "core/XForm.h"
#include "document/PatternBase.h"

namespace velmo {

struct TPDFPatternBBox {
    double Left = 0, Top = 0, Right = 0, Bottom = 0;
};

class TPDFPattern : public TPDFPatternBase {
public:
    TPDFPattern(TPDFStructure* AStructure, const std::string& AName);

    // A new pattern object: Bitmap recoloured (black to Color, white to
    // white) as an inline 8-bit RGB image filling one w × h cell. Always
    // true; an empty bitmap gives an empty image.
    bool NewPatternBitMap(const TBitmap& Bitmap, TColor Color) override;

    // Makes Bitmap 24-bit and recolours it in place: exact black becomes
    // BColor, exact white WColor, every other colour stays.
    static TBitmap& SetBWToColor(TBitmap& Bitmap, TColor BColor, TColor WColor);
    // The pixels as R, G, B rows from the top without padding, compressed.
    static std::string GetInlineStream(const TBitmap& BM);
    // The same before compression.
    static std::string InlineSamples(const TBitmap& BM);

    // Defaults kept for the converter; the written objects use fixed values.
    TPDFXForm FMatrix = IdentityXForm;
    double FPatternType = 1, FPaintType = 1, FTilingType = 1;
    TPDFPatternBBox FBBox;
    double FXStep = 0, FYStep = 0;
    std::string FFilter, FStream;
};

}  // namespace velmo
