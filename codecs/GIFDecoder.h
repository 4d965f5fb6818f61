// Reads GIF files (87a and 89a) for image import: every image of the file
// is painted, in file order and opaquely, onto one 24-bit bitmap of the
// logical screen's size. Timing, disposal and transparency are read but not
// applied.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/Stream.h"
#include "platform/gdi/Bitmap.h"

namespace velmo {

struct TPDFGIFRGB {
    uint8_t Red = 0, Green = 0, Blue = 0;
};

struct TPDFGIFLogicalScreen {
    uint16_t Width = 0, Height = 0;
    bool GlobalColorTable = false;
    uint16_t Colors = 0;
    bool GCTSorted = false;
    uint16_t GCTSize = 0;
    uint8_t BackgroundColorIndex = 0;
    double PixelAspectRatio = 0;
};

struct TPDFGIFGraphicControlExtension {
    bool Valid = false;
    int32_t DisposalMethod = 0;
    bool UserInput = false;
    bool Transparent = false;
    uint16_t DelayTime = 0;
    int32_t TransparentColorIndex = 0;
};

struct TPDFGIFImageBlock {
    uint16_t Left = 0, Top = 0, Width = 0, Height = 0;
    bool HasLocalColorTable = false;
    bool Interlaced = false;
    bool LCTSorted = false;
    uint16_t LCTSize = 0;
    std::vector<TPDFGIFRGB> LocalColorTable;
    uint8_t LZWMinimumCodeSize = 0;
    std::string ImageData;  // the data sub-blocks joined
    TPDFGIFGraphicControlExtension Control;
};

class TPDFGIFDecoder {
public:
    // Parses from Source's current position.
    void LoadFromStream(TStream& Source);
    void LoadFromString(std::string_view Source);
    // Paints every image onto Target (made pf24bit of the screen's size).
    // A screen above 2^26 pixels leaves Target empty; frames paint at most
    // 2^26 pixels in all (later frames are skipped).
    void SaveToBitmap(TBitmap& Target) const;

    const std::string& Version() const { return FVersion; }
    bool ValidVersion() const { return FValidVersion; }
    uint16_t Width() const { return FLogicalScreen.Width; }
    uint16_t Height() const { return FLogicalScreen.Height; }
    uint16_t Colors() const { return FLogicalScreen.Colors; }
    uint16_t ColorTableSize() const { return FLogicalScreen.GCTSize; }
    // Red + green × 256 + blue × 65536 of the global table's background
    // entry; 0 without a global table.
    TColor BackgroundColor() const;
    double PixelAspectRatio() const { return FLogicalScreen.PixelAspectRatio; }
    bool Error() const { return FError; }
    const std::vector<TPDFGIFImageBlock>& ImageBlocks() const { return FImageBlocks; }

private:
    std::string FVersion;
    bool FValidVersion = false;
    TPDFGIFLogicalScreen FLogicalScreen;
    std::vector<TPDFGIFRGB> FGlobalColorTable;
    std::vector<TPDFGIFImageBlock> FImageBlocks;
    bool FError = false;
    TPDFGIFGraphicControlExtension FLastGraphicControl;
};

}  // namespace velmo
