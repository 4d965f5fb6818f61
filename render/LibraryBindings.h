// Run-time bindings of the two optional drawing libraries of the device
// canvas: cairo (with a surface on the target device) and the separate page
// renderer library (exports named KPLR_...).
//
// Each binding holds a module handle and one function-pointer field per
// export, named exactly as the export, loaded through platform/modules from
// the file the caller names (an in-process module of that name included). A
// library that cannot be loaded, or that lacks any name the binding looks
// up, is refused: Attach answers false, nothing stays loaded, and a canvas
// asked for that model stays at pmUnknown and draws a blank page without an
// error. A half-bound library would later jump through a null pointer.
//
// cairo on this platform has no win32 surfaces: the three win32 fields are
// filled with functions of our own that make an image surface
// (cairo_image_surface_create_for_data, from the same file) over a copy of
// the pixels of the bitmap selected into the target device context; the
// pixels go back to that bitmap, through its clip, when cairo frees the
// surface, so everything drawn has reached the device once the context and
// the surface are destroyed.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdi/Graphics.h"
#include "platform/modules/Modules.h"

namespace velmo {

enum TPDFBlendMode : uint8_t {
    bmNormal,
    bmMultiply,
    bmScreen,
    bmOverlay,
    bmDarken,
    bmLighten,
    bmColorDodge,
    bmColorBurn,
    bmHardLight,
    bmSoftLight,
    bmDifference,
    bmExclusion,
    bmHue,
    bmSaturation,
    bmColor,
    bmLuminosity
};

// Every cairo export the binding looks up, as X(name, result, parameters).
// clang-format off
#define VPL_CAIRO_ENTRY_POINTS(X)                                                                  \
    X(cairo_win32_surface_create_with_dib, cairo_surface_t*,                                      \
      (cairo_format_t Format, int Width, int Height))                                              \
    X(cairo_create, cairo_t*, (cairo_surface_t* Target))                                           \
    X(cairo_set_source_rgba, void, (cairo_t* Cr, double Red, double Green, double Blue,           \
                                    double Alpha))                                                 \
    X(cairo_paint, void, (cairo_t* Cr))                                                            \
    X(cairo_move_to, void, (cairo_t* Cr, double X, double Y))                                      \
    X(cairo_line_to, void, (cairo_t* Cr, double X, double Y))                                      \
    X(cairo_close_path, void, (cairo_t* Cr))                                                       \
    X(cairo_fill, void, (cairo_t* Cr))                                                             \
    X(cairo_destroy, void, (cairo_t* Cr))                                                          \
    X(cairo_win32_surface_get_dc, HDC, (cairo_surface_t* Surface))                                 \
    X(cairo_surface_destroy, void, (cairo_surface_t* Surface))                                     \
    X(cairo_win32_surface_create, cairo_surface_t*, (HDC Dc))                                      \
    X(cairo_new_path, void, (cairo_t* Cr))                                                         \
    X(cairo_stroke, void, (cairo_t* Cr))                                                           \
    X(cairo_curve_to, void, (cairo_t* Cr, double X1, double Y1, double X2, double Y2, double X3,  \
                             double Y3))                                                           \
    X(cairo_set_line_width, void, (cairo_t* Cr, double Width))                                     \
    X(cairo_set_line_cap, void, (cairo_t* Cr, cairo_line_cap_t Cap))                               \
    X(cairo_set_line_join, void, (cairo_t* Cr, cairo_line_join_t Join))                            \
    X(cairo_set_dash, void, (cairo_t* Cr, const double* Dashes, int Count, double Offset))        \
    X(cairo_set_miter_limit, void, (cairo_t* Cr, double Limit))                                    \
    X(cairo_image_surface_create_from_png_stream, cairo_surface_t*,                                \
      (cairo_read_func_t Read, void* Closure))                                                     \
    X(cairo_set_source_surface, void, (cairo_t* Cr, cairo_surface_t* Surface, double X, double Y)) \
    X(cairo_rectangle, void, (cairo_t* Cr, double X, double Y, double Width, double Height))      \
    X(cairo_set_matrix, void, (cairo_t* Cr, const cairo_matrix_t* Matrix))                         \
    X(cairo_identity_matrix, void, (cairo_t* Cr))                                                  \
    X(cairo_transform, void, (cairo_t* Cr, const cairo_matrix_t* Matrix))                          \
    X(cairo_image_surface_get_width, int, (cairo_surface_t* Surface))                              \
    X(cairo_image_surface_get_height, int, (cairo_surface_t* Surface))                             \
    X(cairo_push_group, void, (cairo_t* Cr))                                                       \
    X(cairo_pop_group_to_source, void, (cairo_t* Cr))                                              \
    X(cairo_paint_with_alpha, void, (cairo_t* Cr, double Alpha))                                   \
    X(cairo_set_operator, void, (cairo_t* Cr, cairo_operator_t Op))                                \
    X(cairo_surface_create_similar, cairo_surface_t*,                                              \
      (cairo_surface_t* Other, cairo_content_t Content, int Width, int Height))                    \
    X(cairo_mask_surface, void, (cairo_t* Cr, cairo_surface_t* Surface, double X, double Y))      \
    X(cairo_pattern_create_linear, cairo_pattern_t*, (double X0, double Y0, double X1, double Y1)) \
    X(cairo_pattern_add_color_stop_rgb, void,                                                      \
      (cairo_pattern_t* Pattern, double Offset, double Red, double Green, double Blue))           \
    X(cairo_set_source, void, (cairo_t* Cr, cairo_pattern_t* Source))                              \
    X(cairo_pattern_set_matrix, void, (cairo_pattern_t* Pattern, const cairo_matrix_t* Matrix))   \
    X(cairo_matrix_invert, cairo_status_t, (cairo_matrix_t* Matrix))                               \
    X(cairo_save, void, (cairo_t* Cr))                                                             \
    X(cairo_restore, void, (cairo_t* Cr))                                                          \
    X(cairo_fill_preserve, void, (cairo_t* Cr))                                                    \
    X(cairo_status, cairo_status_t, (cairo_t* Cr))                                                 \
    X(cairo_clip, void, (cairo_t* Cr))                                                             \
    X(cairo_clip_preserve, void, (cairo_t* Cr))                                                    \
    X(cairo_set_fill_rule, void, (cairo_t* Cr, cairo_fill_rule_t Rule))                            \
    X(cairo_stroke_preserve, void, (cairo_t* Cr))                                                  \
    X(cairo_clip_extents, void, (cairo_t* Cr, double* X1, double* Y1, double* X2, double* Y2))    \
    X(cairo_surface_status, cairo_status_t, (cairo_surface_t* Surface))                            \
    X(cairo_pattern_set_extend, void, (cairo_pattern_t* Pattern, cairo_extend_t Extend))
// clang-format on

class TCairoDLL {
public:
#define VPL_CAIRO_FIELD_TYPE(Name, Result, Params) using T##Name = Result(*) Params;
    VPL_CAIRO_ENTRY_POINTS(VPL_CAIRO_FIELD_TYPE)
#undef VPL_CAIRO_FIELD_TYPE

    TCairoDLL() = default;
    ~TCairoDLL();
    TCairoDLL(const TCairoDLL&) = delete;
    TCairoDLL& operator=(const TCairoDLL&) = delete;

    // False for an empty name (nothing loaded), a file that cannot be
    // loaded, or a library lacking any bound name.
    bool Attach(const std::u16string& DLLFileName);
    // The cairo operator of a PDF blend mode (over for normal, then multiply
    // … HSL luminosity in PDF order).
    static cairo_operator_t GetBlendMode(TPDFBlendMode PDFBlendMode);

    HMODULE DLLHandle = nullptr;
#define VPL_CAIRO_FIELD(Name, Result, Params) T##Name Name = nullptr;
    VPL_CAIRO_ENTRY_POINTS(VPL_CAIRO_FIELD)
#undef VPL_CAIRO_FIELD
    // Bound from the same file beside the fields above: a pattern set as a
    // source is released at once (the context keeps its own reference),
    // else every gradient fill would leak one.
    using Tcairo_pattern_destroy = void (*)(cairo_pattern_t* Pattern);
    Tcairo_pattern_destroy cairo_pattern_destroy = nullptr;
    // A repeating image source (tiling patterns) is a pattern over a surface.
    using Tcairo_pattern_create_for_surface = cairo_pattern_t* (*)(cairo_surface_t* Surface);
    Tcairo_pattern_create_for_surface cairo_pattern_create_for_surface = nullptr;
    // Also from the same file: image surfaces over pixels of our own (a
    // rasterised shading), which cairo hands back through the user data's
    // destroy function when it lets the surface go.
    using Tcairo_image_surface_create_for_data = cairo_surface_t* (*)(unsigned char* Data,
                                                                      cairo_format_t Format,
                                                                      int Width, int Height,
                                                                      int Stride);
    using Tcairo_surface_set_user_data = cairo_status_t (*)(cairo_surface_t* Surface,
                                                            const cairo_user_data_key_t* Key,
                                                            void* Data,
                                                            cairo_destroy_func_t Destroy);
    Tcairo_image_surface_create_for_data cairo_image_surface_create_for_data = nullptr;
    Tcairo_surface_set_user_data cairo_surface_set_user_data = nullptr;

private:
    void Clear();
    // The set of win32 surface functions serving this library (-1: none).
    int FSurfaceSlot = -1;
};

// The cairo read function over a TStream (the closure): success when exactly
// Length bytes were read, else a read error.
cairo_status_t CairoStreamReader(void* Closure, unsigned char* Data, unsigned int Length);

// Types of the renderer library.
struct KPLR_renderer;
using PKPLR_renderer_t = KPLR_renderer*;
enum KPLR_status_t : int32_t { KPLR_ERROR = 0, KPLR_SUCCESS = 1 };
enum KPLR_line_cap_t : int32_t { KPLR_LINE_CAP_BUTT, KPLR_LINE_CAP_ROUND, KPLR_LINE_CAP_SQUARE };
enum KPLR_line_join_t : int32_t {
    KPLR_LINE_JOIN_MITER,
    KPLR_LINE_JOIN_ROUND,
    KPLR_LINE_JOIN_BEVEL
};
enum KPLR_fill_rule_t : int32_t { KPLR_FILL_RULE_WINDING, KPLR_FILL_RULE_EVEN_ODD };
using KPLR_shading_func_t = KPLR_status_t (*)(void* Sh, const double* Data, int32_t Length,
                                              double* Red, double* Green, double* Blue);
using KPLR_softmask_func_t = KPLR_status_t (*)(void* Sm, double Data, double* Value);

// The renderer library's exports, as X(field, export name, result, params).
// Matrices are six doubles a, b, c, d, e, f.
// clang-format off
#define VPL_KPLR_M double Sx, double Shy, double Shx, double Sy, double Tx, double Ty
#define VPL_KPLR_ENTRY_POINTS(X)                                                                   \
    X(KPLR_renderer_win32_create, "KPLR_renderer_win32_create", PKPLR_renderer_t, (HDC Dc))       \
    X(KPLR_renderer_create, "KPLR_renderer_create", PKPLR_renderer_t, (int32_t W, int32_t H))     \
    X(KPLR_renderer_destroy, "KPLR_renderer_destroy", void, (PKPLR_renderer_t Dr))                \
    X(KPLR_renderer_draw_to_DC, "KPLR_renderer_draw_to_DC", KPLR_status_t,                        \
      (PKPLR_renderer_t Dr, HDC Dc, int32_t W, int32_t H, int32_t Bpp))                            \
    X(KPLR_renderer_draw_to_memory, "KPLR_renderer_draw_to_memory", KPLR_status_t,                \
      (PKPLR_renderer_t Dr, uint8_t* Data, int32_t Width, int32_t Height, int32_t Bpp))            \
    X(KPLR_renderer_group_create, "KPLR_renderer_group_create", PKPLR_renderer_t,                 \
      (PKPLR_renderer_t Parent, int32_t Transparency, int32_t Knockout, int32_t Isolated))        \
    X(KPLR_renderer_blend_group, "KPLR_renderer_blend_group", KPLR_status_t,                      \
      (PKPLR_renderer_t Dr, double Alpha, int32_t Blending))                                       \
    X(KPLR_renderer_clear_surface, "KPLR_renderer_clear_surface", KPLR_status_t,                  \
      (PKPLR_renderer_t Dr, double Red, double Green, double Blue, double Alpha))                  \
    X(KPLR_renderer_set_softmask, "KPLR_renderer_set_softmask", KPLR_status_t,                    \
      (PKPLR_renderer_t Dr, int32_t SType, KPLR_softmask_func_t Func, void* Sh))                   \
    X(KPLR_renderer_clear_softmask, "KPLR_renderer_clear_softmask", KPLR_status_t,                \
      (PKPLR_renderer_t Dr))                                                                       \
    X(KPLR_renderer_tile_create, "KPLR_renderer_tile_create", PKPLR_renderer_t,                   \
      (int32_t Width, int32_t Height))                                                             \
    X(KPLR_renderer_tile_copy_buffer, "KPLR_renderer_tile_copy_buffer", void,                     \
      (PKPLR_renderer_t Dr, uint8_t* Tb))                                                          \
    X(KPLR_renderer_has_softmask, "KPLR_renderer_has_softmask", int32_t, (PKPLR_renderer_t Dr))   \
    X(KPLR_save, "KPLR_save", KPLR_status_t, (PKPLR_renderer_t Dr))                                \
    X(KPLR_restore, "KPLR_restore", KPLR_status_t, (PKPLR_renderer_t Dr))                          \
    X(KPLR_gState_init, "KPLR_gState_init", void, (PKPLR_renderer_t Dr))                           \
    X(KPLR_set_matrix, "KPLR_set_matrix", void, (PKPLR_renderer_t Dr, VPL_KPLR_M))                 \
    X(KPLR_set_page_matrix, "KPLR_set_page_matrix", void, (PKPLR_renderer_t Dr, VPL_KPLR_M))       \
    X(KPLR_set_clip, "KPLR_set_clip", KPLR_status_t, (PKPLR_renderer_t Dr))                        \
    X(KPLR_set_bin_clip, "KPLR_set_bin_clip", KPLR_status_t, (PKPLR_renderer_t Dr))                \
    X(KPLR_set_image_clip, "KPLR_set_image_clip", KPLR_status_t,                                   \
      (PKPLR_renderer_t Dr, const uint8_t* Data, int32_t Width, int32_t Height, int32_t Stride,   \
       int32_t Interpolate, const uint8_t* Palette))                                               \
    X(KPLR_intersect_clip, "KPLR_intersect_clip", int32_t,                                         \
      (PKPLR_renderer_t Dr, double Left, double Top, double Right, double Bottom))                 \
    X(KPLR_has_clip, "KPLR_has_clip", int32_t, (PKPLR_renderer_t Dr))                              \
    X(KPLR_set_text_clip, "KPLR_set_text_clip", KPLR_status_t, (PKPLR_renderer_t Dr))              \
    X(KPLR_add_to_text_clip, "KPLR_add_to_text_clip", void, (PKPLR_renderer_t Dr))                 \
    X(KPLR_clear_text_clip, "KPLR_clear_text_clip", void, (PKPLR_renderer_t Dr))                   \
    X(KPLR_new_path, "KPLR_new_path", void, (PKPLR_renderer_t Dr))                                 \
    X(KPLR_clear_path, "KPLR_clear_path", void, (PKPLR_renderer_t Dr))                             \
    X(KPLR_move_to, "KPLR_move_to", void, (PKPLR_renderer_t Dr, double X, double Y))               \
    X(KPLR_line_to, "KPLR_line_to", void, (PKPLR_renderer_t Dr, double X, double Y))               \
    X(KPLR_curve_to, "KPLR_curve_to", void,                                                        \
      (PKPLR_renderer_t Dr, double X1, double Y1, double X2, double Y2, double X3, double Y3))    \
    X(KPLR_rectangle, "KPLR_rectangle", void,                                                      \
      (PKPLR_renderer_t Dr, double X, double Y, double Width, double Height))                      \
    X(KPLR_close_path, "KPLR_close_path", void, (PKPLR_renderer_t Dr))                             \
    X(KPLR_fill_path, "KPLR_fill_path", KPLR_status_t, (PKPLR_renderer_t Dr))                      \
    X(KPLR_stroke_path, "KPLR_stroke_path", KPLR_status_t, (PKPLR_renderer_t Dr))                  \
    X(KPLR_stroke_and_fill_path, "KPLR_stroke_and_fill_path", KPLR_status_t,                       \
      (PKPLR_renderer_t Dr))                                                                       \
    X(KPLR_draw_image, "KPLR_draw_image", KPLR_status_t,                                           \
      (PKPLR_renderer_t Dr, const uint8_t* Data, int32_t Width, int32_t Height, int32_t Stride,   \
       int32_t Format, int32_t Interpolate, int32_t MinC, int32_t MaxC))                           \
    X(KPLR_draw_palette_image, "KPLR_draw_palette_image", KPLR_status_t,                           \
      (PKPLR_renderer_t Dr, const uint8_t* Data, int32_t Width, int32_t Height, int32_t Stride,   \
       int32_t Format, int32_t Interpolate, const uint8_t* Palette, int32_t MinC, int32_t MaxC))   \
    X(KPLR_shading_init, "KPLR_shading_init", void,                                                \
      (PKPLR_renderer_t Dr, int32_t SType, int32_t ShType))                                        \
    X(KPLR_shading_set_bBox, "KPLR_shading_set_bBox", void,                                        \
      (PKPLR_renderer_t Dr, int32_t SType, int32_t BBox, double Left, double Top, double Right,   \
       double Bottom))                                                                             \
    X(KPLR_shading_set_background_color, "KPLR_shading_set_background_color", void,                \
      (PKPLR_renderer_t Dr, int32_t SType, double Red, double Green, double Blue))                 \
    X(KPLR_shading_set_domain, "KPLR_shading_set_domain", void,                                    \
      (PKPLR_renderer_t Dr, int32_t SType, double XMin, double XMax, double YMin, double YMax))    \
    X(KPLR_shading_set_coords, "KPLR_shading_set_coords", void,                                    \
      (PKPLR_renderer_t Dr, int32_t SType, double C0, double C1, double C2, double C3, double C4, \
       double C5))                                                                                 \
    X(KPLR_shading_set_extend, "KPLR_shading_set_extend", void,                                    \
      (PKPLR_renderer_t Dr, int32_t SType, int32_t E0, int32_t E1))                                \
    X(KPLR_shading_set_matrix, "KPLR_shading_set_matrix", void,                                    \
      (PKPLR_renderer_t Dr, int32_t SType, VPL_KPLR_M))                                            \
    X(KPLR_shading_set_shading_matrix, "KPLR_shading_set_shading_matrix", void,                    \
      (PKPLR_renderer_t Dr, int32_t SType, VPL_KPLR_M))                                            \
    X(KPLR_shading_set_function, "KPLR_shading_set_function", void,                                \
      (PKPLR_renderer_t Dr, int32_t SType, KPLR_shading_func_t Func, void* Sh))                    \
    X(KPLR_shading_set_color_components, "KPLR_shading_set_color_components", void,                \
      (PKPLR_renderer_t Dr, int32_t SType, int32_t Value))                                         \
    X(KPLR_shading_set_bitsPerCoordinate, "KPLR_shading_set_bitsPerCoordinate", void,              \
      (PKPLR_renderer_t Dr, int32_t SType, int32_t Value))                                         \
    X(KPLR_shading_set_bitsPerComponent, "KPLR_shading_set_bitsPerComponent", void,                \
      (PKPLR_renderer_t Dr, int32_t SType, int32_t Value))                                         \
    X(KPLR_shading_set_bitsPerFlag, "KPLR_shading_set_bitsPerFlag", void,                          \
      (PKPLR_renderer_t Dr, int32_t SType, int32_t Value))                                         \
    X(KPLR_shading_set_verticesPerRow, "KPLR_shading_set_verticesPerRow", void,                    \
      (PKPLR_renderer_t Dr, int32_t SType, int32_t Value))                                         \
    X(KPLR_shading_set_decode, "KPLR_shading_set_decode", void,                                    \
      (PKPLR_renderer_t Dr, int32_t SType, const double* Decode, int32_t Length))                  \
    X(KPLR_shading_set_stream, "KPLR_shading_set_buffer", void,                                    \
      (PKPLR_renderer_t Dr, int32_t SType, const uint8_t* Stream, int32_t Length))                 \
    X(KPLR_draw_shading, "KPLR_draw_shading", KPLR_status_t, (PKPLR_renderer_t Dr))                \
    X(KPLR_pattern_init, "KPLR_pattern_init", void,                                                \
      (PKPLR_renderer_t Dr, int32_t SType, int32_t PtType))                                        \
    X(KPLR_pattern_set_matrix, "KPLR_pattern_set_matrix", void,                                    \
      (PKPLR_renderer_t Dr, int32_t SType, VPL_KPLR_M))                                            \
    X(KPLR_pattern_set_bBox, "KPLR_pattern_set_bBox", void,                                        \
      (PKPLR_renderer_t Dr, int32_t SType, int32_t BBox, double Left, double Top, double Right,   \
       double Bottom))                                                                             \
    X(KPLR_pattern_set_stepX, "KPLR_pattern_set_stepX", void,                                      \
      (PKPLR_renderer_t Dr, int32_t SType, double Value))                                          \
    X(KPLR_pattern_set_stepY, "KPLR_pattern_set_stepY", void,                                      \
      (PKPLR_renderer_t Dr, int32_t SType, double Value))                                          \
    X(KPLR_pattern_set_tilingType, "KPLR_pattern_set_tilingType", void,                            \
      (PKPLR_renderer_t Dr, int32_t SType, int32_t Value))                                         \
    X(KPLR_pattern_set_paintType, "KPLR_pattern_set_paintType", void,                              \
      (PKPLR_renderer_t Dr, int32_t SType, int32_t Value))                                         \
    X(KPLR_pattern_set_tile_buffer, "KPLR_pattern_set_tile_buffer", void,                          \
      (PKPLR_renderer_t Dr, int32_t SType, uint8_t* Tb))                                           \
    X(KPLR_pattern_set_tile_size, "KPLR_pattern_set_tile_size", void,                              \
      (PKPLR_renderer_t Dr, int32_t SType, int32_t W, int32_t H))                                  \
    X(KPLR_set_fill_rgba, "KPLR_set_fill_rgba", void,                                              \
      (PKPLR_renderer_t Dr, double Red, double Green, double Blue))                                \
    X(KPLR_set_stroke_rgba, "KPLR_set_stroke_rgba", void,                                          \
      (PKPLR_renderer_t Dr, double Red, double Green, double Blue))                                \
    X(KPLR_set_line_width, "KPLR_set_line_width", void, (PKPLR_renderer_t Dr, double Width))       \
    X(KPLR_set_line_cap, "KPLR_set_line_cap", void, (PKPLR_renderer_t Dr, KPLR_line_cap_t Cap))    \
    X(KPLR_set_line_join, "KPLR_set_line_join", void,                                              \
      (PKPLR_renderer_t Dr, KPLR_line_join_t Join))                                                \
    X(KPLR_set_dash, "KPLR_set_dash", void,                                                        \
      (PKPLR_renderer_t Dr, const double* Dashes, int32_t NumDashes, double Offset))               \
    X(KPLR_set_miter_limit, "KPLR_set_miter_limit", void, (PKPLR_renderer_t Dr, double Limit))     \
    X(KPLR_set_fill_alpha, "KPLR_set_fill_alpha", void, (PKPLR_renderer_t Dr, double Alpha))       \
    X(KPLR_set_stroke_alpha, "KPLR_set_stroke_alpha", void, (PKPLR_renderer_t Dr, double Alpha))   \
    X(KPLR_set_operator, "KPLR_set_operator", void, (PKPLR_renderer_t Dr, int32_t Op))             \
    X(KPLR_set_fill_rule, "KPLR_set_fill_rule", void,                                              \
      (PKPLR_renderer_t Dr, KPLR_fill_rule_t Rule))
// clang-format on

class TKorbexPDFLibraryKPLR {
public:
#define VPL_KPLR_FIELD_TYPE(Field, Export, Result, Params) using T##Field = Result(*) Params;
    VPL_KPLR_ENTRY_POINTS(VPL_KPLR_FIELD_TYPE)
#undef VPL_KPLR_FIELD_TYPE

    TKorbexPDFLibraryKPLR() = default;
    ~TKorbexPDFLibraryKPLR();
    TKorbexPDFLibraryKPLR(const TKorbexPDFLibraryKPLR&) = delete;
    TKorbexPDFLibraryKPLR& operator=(const TKorbexPDFLibraryKPLR&) = delete;

    // False for an empty name (nothing loaded), a file that cannot be
    // loaded, or a library lacking any of the 75 names.
    bool Attach(const std::u16string& DLLFileName);
    // The library's operator of a PDF blend mode: the mode's ordinal.
    static int32_t GetBlendMode(TPDFBlendMode PDFBlendMode);

    HMODULE DLLHandle = nullptr;
#define VPL_KPLR_FIELD(Field, Export, Result, Params) T##Field Field = nullptr;
    VPL_KPLR_ENTRY_POINTS(VPL_KPLR_FIELD)
#undef VPL_KPLR_FIELD

private:
    void Clear();
};

// What the renderer library's soft-mask callback asks of a soft mask: the
// transfer function of one value. The soft mask the group code registers
// with KPLR_renderer_set_softmask implements it.
class TKPLRSoftmaskFunction {
public:
    virtual ~TKPLRSoftmaskFunction() = default;
    virtual double GetFunctionValue(const std::vector<double>& FunctionInput) const = 0;
};

// Callbacks handed to the renderer library. Sh is the address of the canvas
// field holding the pattern (const TVPLPattern*); the colour of the Length
// inputs at Data goes through the three pointers; the result is 0. Sm is a
// TKPLRSoftmaskFunction; Value := its transfer of Data; the result is 1.
KPLR_status_t ShadingFunctionCallback(void* Sh, const double* Data, int32_t Length, double* Red,
                                      double* Green, double* Blue);
KPLR_status_t SoftmaskFunctionCallback(void* Sm, double Data, double* Value);

// The export names the renderer-library binding looks up, in field order.
const std::vector<std::string>& KPLRExportNames();

}  // namespace velmo
