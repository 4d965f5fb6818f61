// The component-raster mode of the image decoder: when pages are drawn
// through the external renderer library the decoder makes component rasters
// (TKPLImage) instead of platform bitmaps, finishes them into one of the
// shapes that library draws directly, and sends them to it.
//
// Raster shapes and the format numbers of the three draw calls:
//   4 × 8 bits red, green, blue, alpha ........ 0
//   3 × 8 bits blue, green, red ............... 1
//   1 × 8 bits grey ........................... 2
//   1 × 1 bit ................................. 3
//   1 × 8 bits with 256 BGRA palette entries .. 4
//   1 × 1 bit with 2 BGRA palette entries ..... 5
//
// The state lives in the decoder; these functions do the work on it, so the
// decoder's members of this mode are thin and the work can be tested alone.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codecs/KPLImage.h"
#include "platform/gdi/Graphics.h"

namespace velmo {

class TPDFColorManager;
class TPDFLabColorSpace;
class TPDFSeparationColorSpace;
class TPDFDeviceNColorSpace;

// The decoder's mask kinds, as this mode sees them.
enum TKPLRMaskKind : uint8_t { kmNone, kmStencil, kmExplicit, kmSoft, kmColorKey };

// Rasters of this mode are fitted into this size where a mask needs it.
inline constexpr int KPLRMaxFitSize = 6000;

struct TKPLRImageState {
    // The image and its mask; components in PDF order until finished.
    std::unique_ptr<TKPLImage> MainImage;
    std::unique_ptr<TKPLImage> MaskImage;
    // 4 bytes per entry: blue, green, red, alpha.
    std::vector<uint8_t> Palette;
    // The filtered data a builder takes (and empties).
    std::string ImageData;

    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitsPerComponent = 0;
    // "DeviceGray", "DeviceRGB", "DeviceCMYK", "Lab", "DeviceN",
    // "Separation", "Indexed", and "DeviceBGR" once turned so.
    std::string ColorSpace;
    std::string Decode;
    TKPLRMaskKind MaskType = kmNone;
    // An inline image that is a stencil mask.
    bool InlineStencil = false;
    bool Interpolate = true;
    // Colour-key range of a kmColorKey image (-1 otherwise).
    int32_t KeyMin = -1;
    int32_t KeyMax = -1;

    // Indexed spaces: base family, hival and lookup bytes.
    std::string IndexedBase;
    int32_t IndexedHival = -1;
    std::string IndexedLookup;

    // Converters of the decoder (not owned; null where not needed).
    TPDFColorManager* ColorManager = nullptr;
    TPDFLabColorSpace* LabSpace = nullptr;
    TPDFSeparationColorSpace* SeparationSpace = nullptr;
    TPDFDeviceNColorSpace* DeviceNSpace = nullptr;
};

// The raster calls of the renderer library's back end.
class TKPLRImageTarget {
public:
    virtual ~TKPLRImageTarget() = default;
    virtual void DrawDirectImage(const void* Source, int32_t RowLength, int32_t Width,
                                 int32_t Height, int32_t Format, bool Interpolate, int32_t Min,
                                 int32_t Max) = 0;
    virtual void DrawDirectImageWithPalette(const void* Source, int32_t RowLength, int32_t Width,
                                            int32_t Height, int32_t Format, const void* Palette,
                                            bool Interpolate, int32_t Min, int32_t Max) = 0;
    virtual void DrawStencilImage(const void* Source, int32_t RowLength, int32_t Width,
                                  int32_t Height, int32_t Format, const void* Palette,
                                  bool Interpolate) = 0;
    // A fill pattern other than none is set.
    virtual bool FillPatternActive() const = 0;
};

// Components of a colour space's samples in this mode.
int KPLRComponents(const TKPLRImageState& State);

// Unfiltered samples: a Width × Height raster of the space's components,
// filled from the data when it holds enough, else left empty (zeros).
void BuildKPLRImage(TKPLRImageState& State);
// DCT data decoded through the JPEG picture (a leading line feed before the
// JPEG start dropped, CMYK inverted where the dictionary asks): 24-bit
// pictures give blue, green, red rasters ("DeviceBGR" for RGB and CMYK),
// 8-bit ones grey rasters. Codec errors propagate.
void DecodeDCTToKPLR(TKPLRImageState& State);
// The finishing step by colour space, then the mask rules and the final
// red-blue order; nothing without a main raster.
void FinishKPLRImage(TKPLRImageState& State);
// Nearest-neighbour fit into MaxWidth × MaxHeight keeping the aspect.
void FitKPLRImage(int MaxWidth, int MaxHeight, TKPLImage& Image);
// Bytes 0 and 2 of every pixel exchanged (3 or 4 components of 8 bits).
void SwapKPLRRedBlue(TKPLImage& Image);
// Sends the finished raster to the back end (nothing without one or for
// other shapes). A stencil takes the fill colour ($00BBGGRR).
void DrawKPLRImage(TKPLRImageState& State, TKPLRImageTarget& Target, TColor FillColor);

}  // namespace velmo
