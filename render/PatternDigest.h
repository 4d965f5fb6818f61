// The digest of a pattern or shading that the device canvas paints with:
// what kind of paint it gives, the pattern matrix, the geometry, the colour
// stops of an axial gradient and, for a coloured tile, one rendered tile
// image. The renderer's pattern cache owns the digests; a canvas only points
// at them while they are its fill or stroke.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <memory>
#include <vector>

#include "core/XForm.h"
#include "platform/files/Stream.h"

namespace velmo {

// The paint a digest gives the canvas.
enum TVPLPatternType : uint8_t { ptUnknown, ptAxial, ptRadial, ptColorTile };
// The PDF pattern type behind it.
enum TVPLPDFPatternType : uint8_t { ptNone, ptTiling, ptShading };

struct TVPLPatternStop {
    double Red = 0, Green = 0, Blue = 0;  // each 0 … 1
};

class TVPLPattern {
public:
    TVPLPatternType FPatternType = ptUnknown;
    TVPLPDFPatternType FPDFPatternType = ptNone;
    // The pattern matrix a … f.
    TPDFXForm FMatrix = IdentityXForm;
    // Axial: x0, y0, x1, y1; radial: x0, y0, r0, x1, y1, r1.
    std::array<double, 6> FCoords{};
    // Colours sampled along the gradient, evenly spaced from start to end.
    std::vector<TVPLPatternStop> FStops;
    // Extension before the start and beyond the end.
    std::array<bool, 2> FExtend{};
    // One rendered tile as an encoded image (coloured tiles); not owned by
    // the canvas.
    std::shared_ptr<TStream> FTileImageData;
    // Scale from tile pixels to pattern space.
    double FTileScale = 1.0;

    // Value I (0 … 5) of the pattern matrix; 0 outside.
    double GetMatrix(int I) const;
    // Coordinate I (0 … 5); 0 outside.
    double GetCoords(int I) const;
    int32_t GetRGBCount() const { return static_cast<int32_t>(FStops.size()); }
    // Part 0, 1, 2 (red, green, blue) of stop Index; 0 outside.
    double GetRGB(int Part, int Index) const;
    // 1 when the gradient extends at end I (0 start, 1 end), else 0.
    int32_t GetExtend(int I) const;

    // ---- Raw data for the renderer library (PatternLibrary.cpp) ----
    // The renderer library receives every shading as its data and asks back
    // for colours; tiling cells arrive as a rendered pixel buffer.
    bool FForLibrary = false;          // made for the renderer library
    int32_t FShadingType = 0;          // /ShadingType, 0 when none
    int32_t FColorComponents = 0;      // components of the shading's space
    int32_t FBitsPerCoordinate = 0;    // mesh shadings
    int32_t FBitsPerComponent = 0;
    int32_t FBitsPerFlag = 0;
    int32_t FVerticesPerRow = 0;
    std::vector<double> FDecode;       // mesh /Decode
    std::string FDecodeStream;         // mesh data, decoded
    std::array<double, 4> FBBox{};     // /BBox (tiling cell or shading)
    std::array<double, 2> FStep{};     // /XStep, /YStep
    int32_t FTilingType = 0, FPaintType = 0;
    std::array<double, 4> FDomain{0, 1, 0, 1};
    TPDFXForm FShadingMatrix = IdentityXForm;  // type 1 /Matrix
    bool FHasBackColor = false;
    TVPLPatternStop FBackColor;
    // The rendered tile: FTileWidth × FTileHeight pixels of four bytes.
    std::vector<uint8_t> FTileRenderBuf;
    int32_t FTileWidth = 0, FTileHeight = 0;
    // The colour (0x00BBGGRR) and space an uncoloured cell is drawn in.
    uint32_t FUncoloredPatternColor = 0;
    std::string FUncoloredPatternCS = "DeviceGray";
    // The shading's colour at function input In (its function, then its
    // colour space); black without one.
    std::function<TVPLPatternStop(const std::vector<double>& In)> FFunctionColor;

    double GetBBox(int I) const;
    double GetStep(int I) const;
    int32_t GetTilingType() const { return FTilingType; }
    int32_t GetPaintType() const { return FPaintType; }
    double GetDomain(int I) const;
    double GetShadingMatrix(int I) const;
    bool HasBackColor() const { return FHasBackColor; }
    const double* GetDecodeArray() const { return FDecode.data(); }
    int32_t GetDecodeLength() const { return static_cast<int32_t>(FDecode.size()); }
    TVPLPatternStop GetFunctionColor(const std::vector<double>& FunctionInput) const;
};

}  // namespace velmo
