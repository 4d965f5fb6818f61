// The device canvas's parts that only the two run-time libraries use: cairo
// pattern sources and layer surfaces for transparency groups, and the
// pattern and shading set-up of the renderer library.
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "render/Picasso.h"

namespace velmo {

#define VPL_CAIRO(Name, ...) \
    if (FCairoDLL && FCairoDLL->Name) FCairoDLL->Name(__VA_ARGS__)
#define VPL_KPLR(Name, ...) \
    if (FRendererDLL && FRendererDLL->Name) FRendererDLL->Name(__VA_ARGS__)

namespace {

double Unit(uint32_t Color, int Shift) { return ((Color >> Shift) & 0xFF) / 255.0; }

}  // namespace

// ---------------------------------------------------------------------------
// cairo pattern paint

void TPDFPicasso::SetupCairoPattern(const TVPLPattern* Pattern, bool Stroke) {
    if (FModel != pmCairo || Pattern == nullptr || FCairoHandle == nullptr) return;
    const double Alpha = Stroke ? FStrokeAlpha : FFillAlpha;
    const TPDFXForm M = PatternToDevice(Stroke);
    if (Pattern->FShading) {
        CairoImageSource(*Pattern->FShading, M, Alpha);
        return;
    }
    const int32_t N = Pattern->GetRGBCount();
    if ((Pattern->FPatternType == ptAxial || Pattern->FPatternType == ptRadial) && N > 0) {
        // A ramp without its shading: the same rasteriser over its stops,
        // which pads exactly the ends that extend (a cairo gradient pads
        // both or neither).
        TVPLShading Ramp;
        Ramp.ShadingType = Pattern->FPatternType == ptAxial ? 2 : 3;
        Ramp.Components = 3;
        for (size_t I = 0; I < 6; ++I) Ramp.Coords[I] = Pattern->GetCoords(int32_t(I));
        Ramp.Extend = {Pattern->GetExtend(0) != 0, Pattern->GetExtend(1) != 0};
        for (int32_t I = 0; I < N; ++I)
            Ramp.Ramp.push_back(
                uint32_t(std::lround(std::clamp(Pattern->GetRGB(0, I), 0.0, 1.0) * 255)) << 16 |
                uint32_t(std::lround(std::clamp(Pattern->GetRGB(1, I), 0.0, 1.0) * 255)) << 8 |
                uint32_t(std::lround(std::clamp(Pattern->GetRGB(2, I), 0.0, 1.0) * 255)));
        Ramp.ToRGB = [](const double*, int32_t) { return 0u; };
        CairoImageSource(Ramp, M, Alpha);
        return;
    }
    if (Pattern->FPatternType == ptColorTile) {
        CairoTileSource(*Pattern, Stroke, Alpha);
        return;
    }
    // Anything else paints nothing: keeping the previous source would fill
    // the shape with whatever colour came before.
    FCairoDLL->cairo_set_source_rgba(FCairoHandle, 0, 0, 0, 0);
}

namespace {

const cairo_user_data_key_t ShadingPixelsKey{};

void FreeShadingPixels(void* P) { delete static_cast<std::vector<uint32_t>*>(P); }

}  // namespace

void TPDFPicasso::CairoImageSource(const TVPLShading& Shading, const TPDFXForm& ToDevice,
                                   double Alpha) {
    TCairoDLL& C = *FCairoDLL;
    // Nothing is painted unless the image becomes the source.
    C.cairo_set_source_rgba(FCairoHandle, 0, 0, 0, 0);
    if (C.cairo_image_surface_create_for_data == nullptr ||
        C.cairo_surface_set_user_data == nullptr)
        return;
    // Paths reach cairo in device pixels, so the clip's extents are device
    // pixels too; the surface bounds them in any case.
    double X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
    C.cairo_clip_extents(FCairoHandle, &X0, &Y0, &X1, &Y1);
    if (FCairoSurface != nullptr) {
        const int W = C.cairo_image_surface_get_width(FCairoSurface);
        const int H = C.cairo_image_surface_get_height(FCairoSurface);
        if (W > 0 && H > 0) {
            X0 = std::max(X0, 0.0), Y0 = std::max(Y0, 0.0);
            X1 = std::min(X1, double(W)), Y1 = std::min(Y1, double(H));
        }
    }
    TShadingImage Img;
    if (!RasteriseShadingOver(Shading, ToDevice, X0, Y0, X1, Y1, Alpha, Img)) return;
    // cairo's pixels are premultiplied.
    auto Pixels = std::make_unique<std::vector<uint32_t>>(std::move(Img.ARGB));
    for (uint32_t& P : *Pixels) {
        const uint32_t A = P >> 24;
        if (A == 255) continue;
        auto Mul = [A](uint32_t V) { return (V * A + 127) / 255; };
        P = (A << 24) | (Mul((P >> 16) & 0xFF) << 16) | (Mul((P >> 8) & 0xFF) << 8) | Mul(P & 0xFF);
    }
    cairo_surface_t* Surface =
        C.cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(Pixels->data()),
                                              CAIRO_FORMAT_ARGB32, Img.W, Img.H, Img.W * 4);
    if (Surface == nullptr) return;
    if (C.cairo_surface_status(Surface) != CAIRO_STATUS_SUCCESS ||
        C.cairo_surface_set_user_data(Surface, &ShadingPixelsKey, Pixels.get(),
                                      FreeShadingPixels) != CAIRO_STATUS_SUCCESS) {
        C.cairo_surface_destroy(Surface);
        return;
    }
    // The surface owns the pixels now and lives as long as a source uses it.
    Pixels.release();
    C.cairo_set_source_surface(FCairoHandle, Surface, Img.X0, Img.Y0);
    C.cairo_surface_destroy(Surface);
}

void TPDFPicasso::CairoTileSource(const TVPLPattern& Pattern, bool Stroke, double Alpha) {
    TCairoDLL& C = *FCairoDLL;
    C.cairo_set_source_rgba(FCairoHandle, 0, 0, 0, 0);
    const int32_t W = Pattern.FTilePixelWidth, H = Pattern.FTilePixelHeight;
    if (W <= 0 || H <= 0 || Pattern.FTilePixels.size() != size_t(W) * size_t(H) ||
        C.cairo_image_surface_create_for_data == nullptr ||
        C.cairo_surface_set_user_data == nullptr || C.cairo_pattern_create_for_surface == nullptr ||
        C.cairo_pattern_destroy == nullptr)
        return;
    // The rendered tile is one step whole, row 0 at the top of the step:
    // tile pixels to pattern space, then pattern space to the device.
    const double CW = Pattern.FXStep, CH = Pattern.FYStep;
    if (!(CW > 0) || !(CH > 0)) return;
    const TPDFXForm Cell{CW / W, 0, 0, -CH / H, Pattern.FBBox[0], Pattern.FBBox[1] + CH};
    TPDFXForm T;
    MultiplyXForm(T, Cell, PatternToDevice(Stroke));
    cairo_matrix_t M{T.eM11, T.eM12, T.eM21, T.eM22, T.eDx, T.eDy};
    if (!std::isfinite(M.xx) || !std::isfinite(M.yx) || !std::isfinite(M.xy) ||
        !std::isfinite(M.yy) || !std::isfinite(M.x0) || !std::isfinite(M.y0) ||
        C.cairo_matrix_invert(&M) != CAIRO_STATUS_SUCCESS)
        return;
    // cairo's pixels are premultiplied; the paint's alpha goes in too.
    const double A0 = std::clamp(Alpha, 0.0, 1.0);
    auto Pixels = std::make_unique<std::vector<uint32_t>>(Pattern.FTilePixels);
    for (uint32_t& P : *Pixels) {
        const double A = (P >> 24) * A0;
        auto Mul = [A](uint32_t V) { return uint32_t(std::lround(V * A / 255)); };
        P = uint32_t(std::lround(A)) << 24 | Mul((P >> 16) & 0xFF) << 16 | Mul((P >> 8) & 0xFF) << 8 |
            Mul(P & 0xFF);
    }
    cairo_surface_t* Surface =
        C.cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(Pixels->data()),
                                              CAIRO_FORMAT_ARGB32, W, H, W * 4);
    if (Surface == nullptr) return;
    if (C.cairo_surface_status(Surface) != CAIRO_STATUS_SUCCESS ||
        C.cairo_surface_set_user_data(Surface, &ShadingPixelsKey, Pixels.get(),
                                      FreeShadingPixels) != CAIRO_STATUS_SUCCESS) {
        C.cairo_surface_destroy(Surface);
        return;
    }
    Pixels.release();
    cairo_pattern_t* Source = C.cairo_pattern_create_for_surface(Surface);
    C.cairo_surface_destroy(Surface);
    if (Source == nullptr) return;
    C.cairo_pattern_set_extend(Source, CAIRO_EXTEND_REPEAT);
    C.cairo_pattern_set_matrix(Source, &M);
    C.cairo_set_source(FCairoHandle, Source);
    C.cairo_pattern_destroy(Source);
}

double TPDFPicasso::CairoLineWidth() const {
    // Paths reach cairo in device pixels, the width in user units: scale it
    // as the GDI+ pen transform does, and give width 0 the thinnest line.
    const double W = FLineWidth * TransformScale();
    return std::isfinite(W) && W > 0 ? W : 1.0;
}

void TPDFPicasso::CairoSource(bool Stroke) {
    const TVPLPattern* Pattern = Stroke ? FStrokePattern : FFillPattern;
    const uint32_t Color = Stroke ? FStrokeColor : FFillColor;
    // A pattern that gives no paint (an empty digest) paints nothing.
    if (Pattern != nullptr)
        SetupCairoPattern(Pattern, Stroke);
    else
        VPL_CAIRO(cairo_set_source_rgba, FCairoHandle, Unit(Color, 0), Unit(Color, 8),
                  Unit(Color, 16), Stroke ? FStrokeAlpha : FFillAlpha);
}

// ---------------------------------------------------------------------------
// cairo layers

void TPDFPicasso::NewCairoSurface(cairo_surface_t*& OldSurface, cairo_surface_t*& NewSurface,
                                  cairo_t*& OldContext, cairo_t*& NewContext, bool OnlyAlpha) {
    OldSurface = FCairoSurface;
    OldContext = FCairoHandle;
    NewSurface = nullptr;
    NewContext = nullptr;
    if (FModel != pmCairo || FCairoSurface == nullptr) return;
    // As large as the surface it is made for, so that nothing of a group is
    // cut on a large page.
    int W = FCairoDLL->cairo_image_surface_get_width(FCairoSurface);
    int H = FCairoDLL->cairo_image_surface_get_height(FCairoSurface);
    if (W <= 0 || H <= 0) W = H = 1;
    NewSurface = FCairoDLL->cairo_surface_create_similar(
        FCairoSurface, OnlyAlpha ? CAIRO_CONTENT_ALPHA : CAIRO_CONTENT_COLOR_ALPHA, W, H);
    if (NewSurface == nullptr) return;
    NewContext = FCairoDLL->cairo_create(NewSurface);
    SelectCairoSurface(NewSurface, NewContext);
}

void TPDFPicasso::SelectCairoSurface(cairo_surface_t* Surface, cairo_t* Context) {
    if (FModel != pmCairo || Surface == nullptr || Context == nullptr) return;
    FCairoSurface = Surface;
    FCairoHandle = Context;
}

void TPDFPicasso::RemoveCairoSurface(cairo_surface_t* Surface, cairo_t* Context) {
    if (FModel != pmCairo) return;
    if (Context != nullptr) VPL_CAIRO(cairo_destroy, Context);
    if (Surface != nullptr) VPL_CAIRO(cairo_surface_destroy, Surface);
}

void TPDFPicasso::SetCairoBackdrop(cairo_surface_t* PunchSurface, cairo_surface_t* BackdropSurface,
                                   cairo_t* PunchContext, cairo_t* BackdropContext, bool Isolate) {
    if (FModel != pmCairo || PunchSurface == nullptr || BackdropSurface == nullptr ||
        PunchContext == nullptr || BackdropContext == nullptr)
        return;
    FCairoHasBackdrop = true;
    if (Isolate)
        FCairoDLL->cairo_set_source_rgba(BackdropContext, 1, 1, 1, 1);
    else
        FCairoDLL->cairo_set_source_surface(BackdropContext, FCairoSurface, 0, 0);
    FCairoDLL->cairo_paint(BackdropContext);
    FCairoPunchSurface = PunchSurface;
    FCairoBackdropSurface = BackdropSurface;
    FCairoPunchContext = PunchContext;
    FCairoBackdropContext = BackdropContext;
    CairoClearPunchSurface();
}

void TPDFPicasso::CancelCairoBackdrop(cairo_surface_t* Surface, cairo_t* Context) {
    FCairoHasBackdrop = false;
    FCairoPunchSurface = FCairoBackdropSurface = nullptr;
    FCairoPunchContext = FCairoBackdropContext = nullptr;
    SelectCairoSurface(Surface, Context);
}

void TPDFPicasso::CairoClearPunchSurface() {
    if (FModel != pmCairo || FCairoPunchContext == nullptr) return;
    FCairoDLL->cairo_set_source_rgba(FCairoPunchContext, 0, 0, 0, 0);
    FCairoDLL->cairo_set_operator(FCairoPunchContext, CAIRO_OPERATOR_SOURCE);
    FCairoDLL->cairo_paint(FCairoPunchContext);
}

void TPDFPicasso::CairoKnockOut() {
    if (!FCairoHasBackdrop || FCairoPunchContext == nullptr || FCairoHandle == nullptr) return;
    FCairoDLL->cairo_set_source_rgba(FCairoPunchContext, 0, 0, 0, 1);
    FCairoDLL->cairo_fill(FCairoPunchContext);
    FCairoDLL->cairo_set_operator(FCairoHandle, CAIRO_OPERATOR_OVER);
    FCairoDLL->cairo_set_source_surface(FCairoHandle, FCairoBackdropSurface, 0, 0);
    // The mask must not consume the path the fill is about to paint.
    FCairoDLL->cairo_mask_surface(FCairoHandle, FCairoPunchSurface, 0, 0);
    CairoClearPunchSurface();
}

void TPDFPicasso::DrawIsolatedCairoSurface(cairo_surface_t* PunchSurface,
                                           cairo_surface_t* LayerSurface) {
    if (FModel != pmCairo || FCairoHandle == nullptr || PunchSurface == nullptr ||
        LayerSurface == nullptr)
        return;
    FCairoDLL->cairo_set_source_rgba(FCairoHandle, 1, 1, 1, 1);
    FCairoDLL->cairo_mask_surface(FCairoHandle, PunchSurface, 0, 0);
    FCairoDLL->cairo_set_source_surface(FCairoHandle, LayerSurface, 0, 0);
    FCairoDLL->cairo_mask_surface(FCairoHandle, PunchSurface, 0, 0);
}

void TPDFPicasso::BeginGroup() {
    if (FModel != pmCairo) return;
    VPL_CAIRO(cairo_push_group, FCairoHandle);
}

void TPDFPicasso::EndGroup(double Alpha, TPDFBlendMode BlendMode) {
    if (FModel != pmCairo) return;
    VPL_CAIRO(cairo_pop_group_to_source, FCairoHandle);
    VPL_CAIRO(cairo_set_operator, FCairoHandle, TCairoDLL::GetBlendMode(BlendMode));
    VPL_CAIRO(cairo_paint_with_alpha, FCairoHandle, std::isfinite(Alpha) ? Alpha : 1.0);
}

// ---------------------------------------------------------------------------
// Renderer-library pattern paint

void TPDFPicasso::SetupKPLRPattern(const TVPLPattern* const* PatternP, int32_t Stroke) {
    if (FModel != pmKPLR || PatternP == nullptr || *PatternP == nullptr) return;
    const TVPLPattern& P = **PatternP;
    PKPLR_renderer_t H = FRendererHandle;
    const int32_t S = Stroke;
    auto& L = *FRendererDLL;
    const bool ValidBox = P.GetBBox(2) > P.GetBBox(0) && P.GetBBox(3) > P.GetBBox(1);
    auto M = [&P](int I) { return P.GetMatrix(I); };
    switch (P.FPDFPatternType) {
        case ptTiling:
            L.KPLR_pattern_init(H, S, int32_t(P.FPDFPatternType));
            L.KPLR_pattern_set_matrix(H, S, M(0), M(1), M(2), M(3), M(4), M(5));
            L.KPLR_pattern_set_bBox(H, S, ValidBox ? 1 : 0, P.GetBBox(0), P.GetBBox(1),
                                    P.GetBBox(2), P.GetBBox(3));
            L.KPLR_pattern_set_stepX(H, S, P.GetStep(0));
            L.KPLR_pattern_set_stepY(H, S, P.GetStep(1));
            L.KPLR_pattern_set_tilingType(H, S, P.GetTilingType());
            L.KPLR_pattern_set_paintType(H, S, P.GetPaintType());
            // The library only reads the buffer.
            L.KPLR_pattern_set_tile_buffer(
                H, S, const_cast<uint8_t*>(P.FTileRenderBuf.empty() ? nullptr
                                                                    : P.FTileRenderBuf.data()));
            L.KPLR_pattern_set_tile_size(H, S, P.FTileWidth, P.FTileHeight);
            break;
        case ptShading: {
            L.KPLR_pattern_set_matrix(H, S, M(0), M(1), M(2), M(3), M(4), M(5));
            if (P.FShadingType < 1 || P.FShadingType > 7) break;
            L.KPLR_pattern_init(H, S, int32_t(P.FPDFPatternType));
            L.KPLR_shading_init(H, S, P.FShadingType);
            if (P.HasBackColor())
                L.KPLR_shading_set_background_color(H, S, P.FBackColor.Red, P.FBackColor.Green,
                                                    P.FBackColor.Blue);
            L.KPLR_shading_set_bBox(H, S, ValidBox ? 1 : 0, P.GetBBox(0), P.GetBBox(1),
                                    P.GetBBox(2), P.GetBBox(3));
            L.KPLR_shading_set_domain(H, S, P.GetDomain(0), P.GetDomain(1), P.GetDomain(2),
                                      P.GetDomain(3));
            L.KPLR_shading_set_coords(H, S, P.GetCoords(0), P.GetCoords(1), P.GetCoords(2),
                                      P.GetCoords(3), P.GetCoords(4), P.GetCoords(5));
            L.KPLR_shading_set_matrix(H, S, M(0), M(1), M(2), M(3), M(4), M(5));
            L.KPLR_shading_set_shading_matrix(H, S, P.GetShadingMatrix(0), P.GetShadingMatrix(1),
                                              P.GetShadingMatrix(2), P.GetShadingMatrix(3),
                                              P.GetShadingMatrix(4), P.GetShadingMatrix(5));
            L.KPLR_shading_set_extend(H, S, P.GetExtend(0), P.GetExtend(1));
            L.KPLR_shading_set_function(H, S, ShadingFunctionCallback,
                                        const_cast<TVPLPattern**>(PatternP));
            L.KPLR_shading_set_color_components(H, S, P.FColorComponents);
            if (P.FShadingType >= 4) {
                L.KPLR_shading_set_bitsPerCoordinate(H, S, P.FBitsPerCoordinate);
                L.KPLR_shading_set_bitsPerComponent(H, S, P.FBitsPerComponent);
                L.KPLR_shading_set_bitsPerFlag(H, S, P.FBitsPerFlag);
                L.KPLR_shading_set_verticesPerRow(H, S, P.FVerticesPerRow);
                L.KPLR_shading_set_decode(H, S, P.GetDecodeArray(), P.GetDecodeLength());
                const size_t Length = std::min<size_t>(P.FDecodeStream.size(), INT32_MAX);
                L.KPLR_shading_set_stream(
                    H, S, reinterpret_cast<const uint8_t*>(P.FDecodeStream.data()),
                    int32_t(Length));
            }
            break;
        }
        default:
            break;
    }
}

void TPDFPicasso::KPLRSource(bool Stroke) {
    const TVPLPattern* Pattern = Stroke ? FStrokePattern : FFillPattern;
    if (Pattern != nullptr && Pattern->FPDFPatternType != ptNone) {
        SetupKPLRPattern(Stroke ? &FStrokePattern : &FFillPattern, Stroke ? 1 : 0);
        return;
    }
    const uint32_t C = Stroke ? FStrokeColor : FFillColor;
    if (Stroke) {
        VPL_KPLR(KPLR_set_stroke_rgba, FRendererHandle, Unit(C, 0), Unit(C, 8), Unit(C, 16));
    } else {
        VPL_KPLR(KPLR_set_fill_rgba, FRendererHandle, Unit(C, 0), Unit(C, 8), Unit(C, 16));
    }
}

void TPDFPicasso::DrawShading() {
    if (FModel != pmKPLR || FFillPattern == nullptr || FFillPattern->FPDFPatternType != ptShading)
        return;
    KPLRPrepare();
    VPL_KPLR(KPLR_set_operator, FRendererHandle, TKorbexPDFLibraryKPLR::GetBlendMode(FBlendMode));
    VPL_KPLR(KPLR_set_fill_alpha, FRendererHandle, FFillAlpha);
    SetupKPLRPattern(&FFillPattern, 0);
    VPL_KPLR(KPLR_draw_shading, FRendererHandle);
}

}  // namespace velmo
