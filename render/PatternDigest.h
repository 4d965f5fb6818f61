// The digest of a pattern or shading that the device canvas paints with:
// what kind of paint it gives, the pattern matrix, the geometry, the colour
// stops of an axial gradient, the shading for our own rasteriser and, for a
// tiling cell, one rendered cell image. The renderer's pattern cache owns
// the digests; a canvas only points at them while they are its fill or
// stroke.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/Objects.h"
#include "core/XForm.h"
#include "platform/files/Stream.h"
#include "render/ColorManager.h"
#include "render/ColorSpaces.h"
#include "render/Functions.h"
#include "render/ShadingRaster.h"

namespace velmo {

// The paint a digest gives the canvas.
enum TVPLPatternType : uint8_t { ptUnknown, ptAxial, ptRadial, ptColorTile };
// The PDF pattern type behind it.
enum TVPLPDFPatternType : uint8_t { ptNone, ptTiling, ptShading };
// Who paints it: the renderer library gets raw shading data.
enum TVPLPatternModel : uint8_t { pmUnknownModel, pmKPLRModel };

struct TVPLPatternStop {
    double Red = 0, Green = 0, Blue = 0;  // each 0 … 1
};

// Most stops sampled from one (sub)function whose pieces are not linear.
inline constexpr int32_t kCurvedRampStops = 64;

class TVPLPattern {
public:
    explicit TVPLPattern(TPDFColorManager* ColorManager = nullptr)
        : FColorManager(ColorManager) {}

    TVPLPatternModel FModel = pmUnknownModel;
    TPDFDictionary* FSource = nullptr;  // the cache key
    TPDFFindObjectEvent FOnFindObject;
    TPDFCryptStreamEvent FOnDecrypt, FOnEncrypt;
    TVPLPatternType FPatternType = ptUnknown;
    TVPLPDFPatternType FPDFPatternType = ptNone;
    // The pattern matrix a … f.
    TPDFXForm FMatrix = IdentityXForm;
    TPDFColorManager* FColorManager = nullptr;  // not owned
    // Decoded data of the pattern or shading stream.
    std::string FDecodeStream;
    // Axial: x0, y0, x1, y1; radial: x0, y0, r0, x1, y1, r1.
    std::array<double, 6> FCoords{};
    std::array<double, 4> FDomain{0, 1, 0, 1};
    // Extension before the start and beyond the end.
    std::array<bool, 2> FExtend{};
    // Colours sampled along the gradient, evenly spaced from start to end.
    std::vector<TVPLPatternStop> FStops;
    // Tiling cell, or shading bounds (0, 0, -1, -1: none).
    std::array<double, 4> FBBox{0, 0, -1, -1};
    double FXStep = 0, FYStep = 0;
    // One rendered tile as an encoded image (tiling cells); not owned by
    // the canvas.
    std::shared_ptr<TStream> FTileImageData;
    // Scale from tile pixels to pattern space.
    double FTileScale = 1.0;
    // The same cell as straight ARGB pixels (0xAARRGGBB), transparent where
    // the cell paints nothing; used before FTileImageData when present.
    std::vector<uint32_t> FTilePixels;
    int32_t FTilePixelWidth = 0, FTilePixelHeight = 0;
    int32_t FShadingType = 0;
    std::shared_ptr<TPDFFunction> FPDFFunction;
    TPDFRGBColor FBackColor;
    std::vector<double> FBackgroundArray;
    bool FHasBackground = false;
    std::shared_ptr<TPDFDeviceNColorSpace> FDeviceNColorSpace;
    std::shared_ptr<TPDFSeparationColorSpace> FSeparationColorSpace;
    int32_t FColorComponents = 0;
    int32_t FBitsPerCoordinate = 0, FBitsPerComponent = 0, FBitsPerFlag = 0,
            FVerticesPerRow = 0;
    std::vector<double> FDecodeArray;
    int32_t FTilingType = 0, FPaintType = 0;
    // Renderer-library cell: FTileWidth × FTileHeight pixels of 4 bytes.
    std::vector<uint8_t> FTileRenderBuf;
    TPDFXForm FShadingMatrix = IdentityXForm;
    int32_t FTileWidth = 0, FTileHeight = 0;
    TColor FUncoloredPatternColor = 0;
    std::string FUncoloredPatternCS;
    // The shading as our rasteriser draws it (every type, default models);
    // null when the shading cannot be drawn.
    std::shared_ptr<TVPLShading> FShading;

    void UseRendererModel() { FModel = pmKPLRModel; }
    // Reads a pattern dictionary, or a shading dictionary, with the stream
    // it belongs to (null for a dictionary object) and the reference it
    // was reached through (null when direct).
    void Populate(TPDFDictionary* Source, TPDFStream* Stream, TPDFIndRef* StreamRef);
    // Gives an uncoloured tiling cell its colour.
    void SetColorComponents(const std::string& CS, std::span<const double> Values);
    // Colours for the renderer library's call-backs; Result is left as it
    // is for an unknown component count.
    void GetColor(std::span<const double> FunctionOutput, TPDFRGBColor& Result);
    void GetFunctionColor(std::span<const double> FunctionInput, TPDFRGBColor& Result);

    // Value I (0 … 5) of the pattern matrix; 0 outside.
    double GetMatrix(int I) const;
    double GetShadingMatrix(int I) const;
    // Coordinate I (0 … 5); 0 outside.
    double GetCoords(int I) const;
    double GetBBox(int I) const;
    double GetDomain(int I) const;
    int32_t GetRGBCount() const { return static_cast<int32_t>(FStops.size()); }
    // Part 0, 1, 2 (red, green, blue) of stop Index; 0 outside.
    double GetRGB(int Part, int Index) const;
    // 1 when the gradient extends at end I (0 start, 1 end), else 0.
    int32_t GetExtend(int I) const;
    // 0: XStep, 1: YStep, any other index 1.
    double GetStep(int I) const;
    const double* GetDecodeArray() const {
        return FDecodeArray.empty() ? nullptr : FDecodeArray.data();
    }
    int32_t GetDecodeLength() const { return int32_t(FDecodeArray.size()); }
    bool HasBackColor() const { return FHasBackground; }
    int32_t GetTilingType() const { return FTilingType; }
    int32_t GetPaintType() const { return FPaintType; }

    // The stops a colour ramp samples from a function: its own count for
    // piecewise-linear functions, kCurvedRampStops for each curved piece.
    static int32_t RampStops(TPDFFunction& F);

private:
    TPDFObject* Resolve(TPDFObject* O) const;
    void ReadTiling(TPDFDictionary* D);
    void ReadShading(TPDFDictionary* D);
    void ReadRendererShading(TPDFDictionary* D);
    // Components of a shading colour space and, in ToRGB, the conversion
    // of its values; 0 when the space is not known.
    int32_t ShadingSpace(TPDFObject* Space, bool AllowGray,
                         std::function<uint32_t(const double*, int32_t)>* ToRGB);
};

}  // namespace velmo
