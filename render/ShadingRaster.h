// A rasteriser of our own for every shading type (function-based, axial,
// radial, free-form and lattice Gouraud triangles, Coons and tensor
// patches): the shading is drawn into a device-space ARGB image covering a
// given pixel box, which a drawing model then paints as a texture. Any model
// can use it; it knows nothing of PDF objects beyond the functions.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/XForm.h"
#include "render/Functions.h"

namespace velmo {

// A shading as the rasteriser reads it.
struct TVPLShading {
    int32_t ShadingType = 0;  // 1 … 7
    // Colour components of the shading's space.
    int32_t Components = 0;
    // Axial x0 y0 x1 y1; radial x0 y0 r0 x1 y1 r1.
    std::array<double, 6> Coords{};
    // t0 t1 (axial, radial); x0 x1 y0 y1 (function-based).
    std::array<double, 4> Domain{0, 1, 0, 1};
    std::array<bool, 2> Extend{};
    // Function-based: the map from the domain to shading space.
    TPDFXForm Matrix = IdentityXForm;
    bool HasBBox = false;
    std::array<double, 4> BBox{};  // shading space, normalised
    // One function of all outputs, or one per component; empty: none.
    std::vector<std::shared_ptr<TPDFFunction>> Functions;
    // Colour components (after the functions) to 0x00RRGGBB.
    std::function<uint32_t(const double* Values, int32_t Count)> ToRGB;
    // Axial and radial: when not empty, colours interpolated from these
    // evenly spaced stops (0x00RRGGBB) instead of the function.
    std::vector<uint32_t> Ramp;
    // Mesh shadings (types 4 … 7).
    std::string Data;
    int32_t BitsPerCoordinate = 0, BitsPerComponent = 0, BitsPerFlag = 0, VerticesPerRow = 0;
    std::vector<double> Decode;

    // Values of a vertex or a pixel: the parametric t with a function,
    // else the colour components.
    int32_t VertexValues() const { return Functions.empty() ? Components : 1; }
};

// Work limits: beyond these the rasteriser stops and reports failure.
inline constexpr int64_t kMaxShadingTriangles = 4'000'000;
inline constexpr int32_t kMaxPatchSubdivision = 64;  // cells per patch side

// Draws Shading, mapped to the device by ToDevice, into ARGB (W × H pixels,
// 0xAARRGGBB, not premultiplied, row-major) whose pixel (0, 0) is device
// pixel (X0, Y0). Pixels the shading does not cover stay transparent.
// False, with the image cleared, when the input cannot be drawn (singular
// matrix, box too large, a function fault, no colour conversion).
bool RasteriseShading(const TVPLShading& Shading, const TPDFXForm& ToDevice, int32_t X0,
                      int32_t Y0, int32_t W, int32_t H, std::vector<uint32_t>& ARGB);

// A shading drawn over a device-space box: the box cut by the shading's
// /BBox (through ToDevice) and widened to whole pixels. The image is never
// larger than the box it is given, which the caller takes from the visible
// clip, so never larger than the page.
struct TShadingImage {
    int32_t X0 = 0, Y0 = 0, W = 0, H = 0;
    std::vector<uint32_t> ARGB;  // as RasteriseShading gives it
};

// False when nothing of the box remains or the shading cannot be drawn.
// Alpha (0 … 1) scales the opacity of every covered pixel.
bool RasteriseShadingOver(const TVPLShading& Shading, const TPDFXForm& ToDevice, double X0,
                          double Y0, double X1, double Y1, double Alpha, TShadingImage& Out);

}  // namespace velmo
