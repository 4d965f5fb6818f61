// The device canvas's parts that only the two run-time libraries use: cairo
// pattern sources and layer surfaces for transparency groups, and the
// pattern and shading set-up of the renderer library.
#include <algorithm>
#include <cmath>

#include "render/Picasso.h"

namespace velmo {

#define VPL_CAIRO(Name, ...) \
    if (FCairoDLL && FCairoDLL->Name) FCairoDLL->Name(__VA_ARGS__)
#define VPL_KPLR(Name, ...) \
    if (FRendererDLL && FRendererDLL->Name) FRendererDLL->Name(__VA_ARGS__)

namespace {

double Unit(uint32_t Color, int Shift) { return ((Color >> Shift) & 0xFF) / 255.0; }

bool FiniteMatrix(const cairo_matrix_t& M) {
    return std::isfinite(M.xx) && std::isfinite(M.yx) && std::isfinite(M.xy) &&
           std::isfinite(M.yy) && std::isfinite(M.x0) && std::isfinite(M.y0);
}

}  // namespace

// ---------------------------------------------------------------------------
// cairo pattern paint

void TPDFPicasso::SetupCairoPattern(const TVPLPattern* Pattern) {
    if (FModel != pmCairo || Pattern == nullptr || FCairoHandle == nullptr) return;
    if (Pattern->FPatternType != ptAxial) {
        // SHADING RASTERISER CALL SITE: radial and mesh shadings are to be
        // painted from the shading rasteriser's device-space image here.
        // Until then they paint nothing: keeping the previous source would
        // fill the shape with whatever colour came before.
        FCairoDLL->cairo_set_source_rgba(FCairoHandle, 0, 0, 0, 0);
        return;
    }
    const int32_t N = Pattern->GetRGBCount();
    if (N <= 0) return;
    cairo_pattern_t* P = FCairoDLL->cairo_pattern_create_linear(
        Pattern->GetCoords(0), Pattern->GetCoords(1), Pattern->GetCoords(2), Pattern->GetCoords(3));
    if (P == nullptr) return;
    for (int32_t I = 0; I < N; ++I)
        FCairoDLL->cairo_pattern_add_color_stop_rgb(P, N > 1 ? double(I) / double(N - 1) : 0,
                                                    Pattern->GetRGB(0, I), Pattern->GetRGB(1, I),
                                                    Pattern->GetRGB(2, I));
    // Pattern space → device is the pattern matrix followed by the current
    // transform, as for the GDI+ brush; cairo wants the inverse.
    const TPDFXForm PatternMatrix{Pattern->GetMatrix(0), Pattern->GetMatrix(1),
                                  Pattern->GetMatrix(2), Pattern->GetMatrix(3),
                                  Pattern->GetMatrix(4), Pattern->GetMatrix(5)};
    TPDFXForm M;
    MultiplyXForm(M, PatternMatrix, FCurrentXForm);
    cairo_matrix_t CM{M.eM11, M.eM12, M.eM21, M.eM22, M.eDx, M.eDy};
    if (!FiniteMatrix(CM) || FCairoDLL->cairo_matrix_invert(&CM) != CAIRO_STATUS_SUCCESS ||
        !FiniteMatrix(CM)) {
        // A ramp that cannot be placed paints nothing rather than garbage.
        FCairoDLL->cairo_pattern_set_extend(P, CAIRO_EXTEND_NONE);
        CM = cairo_matrix_t{1, 0, 0, 1, -1e7, -1e7};
    }
    FCairoDLL->cairo_pattern_set_matrix(P, &CM);
    FCairoDLL->cairo_pattern_set_extend(P, Pattern->GetExtend(0) ? CAIRO_EXTEND_PAD
                                                                 : CAIRO_EXTEND_NONE);
    FCairoDLL->cairo_set_source(FCairoHandle, P);
    // The context holds its own reference.
    FCairoDLL->cairo_pattern_destroy(P);
}

double TPDFPicasso::CairoLineWidth() const {
    // Paths reach cairo in device pixels, the width in user units: scale it
    // as the GDI+ pen transform does, and give width 0 the thinnest line.
    const double W = FLineWidth * TransformScale();
    return std::isfinite(W) && W > 0 ? W : 1.0;
}

void TPDFPicasso::CairoSource(const TVPLPattern* Pattern, uint32_t Color, double Alpha) {
    if (Pattern != nullptr && Pattern->FPatternType != ptUnknown)
        SetupCairoPattern(Pattern);
    else
        VPL_CAIRO(cairo_set_source_rgba, FCairoHandle, Unit(Color, 0), Unit(Color, 8),
                  Unit(Color, 16), Alpha);
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
