// The raster devices: cairo rasterises each operation into an A8 coverage
// mask over the clip ∩ the operation's extents, band by band, and pixman
// composites the source through that mask onto the target's rows in place.
#include <cairo.h>
#include <pixman.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>

#include "platform/gdiplus/GraphicsCore.h"

namespace velmo::gdiplus {

namespace {

std::atomic<int64_t> Faults{0};

void Check(cairo_t* Cr) {
    if (cairo_status(Cr) != CAIRO_STATUS_SUCCESS) ++Faults;
}

// cairo keeps coordinates in 24.8 fixed point; everything handed to it stays
// well inside that range.
constexpr double CoordLimit = double(1 << 22);
double Clamp(double V) { return std::isfinite(V) ? std::clamp(V, -CoordLimit, CoordLimit) : 0.0; }

// Mask pixels rasterised at a time.
constexpr int64_t BandPixels = int64_t(1) << 20;

// The pixels of a target: direct (pixman reads and writes Bits) or through
// premultiplied rows read and written whole.
struct TPixels {
    int Width = 0, Height = 0;
    pixman_format_code_t Format = PIXMAN_a8r8g8b8;
    uint8_t* Bits = nullptr;
    int Stride = 0;
    std::function<void(int, uint32_t*)> Read;
    std::function<void(int, const uint32_t*)> Write;
    const pixman_region32_t* Clip = nullptr;  // the device's own clip; null: none
};

struct TRect {
    int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
    bool Empty() const { return X1 <= X0 || Y1 <= Y0; }
    void Intersect(const TRect& O) {
        X0 = std::max(X0, O.X0), Y0 = std::max(Y0, O.Y0);
        X1 = std::min(X1, O.X1), Y1 = std::min(Y1, O.Y1);
    }
};

// Integer bounds of device points grown by Pad (and half a pixel of shift),
// cut to the int range.
TRect BoundsOf(const std::vector<double>& XY, double Pad) {
    if (XY.empty()) return {};
    double L = XY[0], T = XY[1], R = XY[0], B = XY[1];
    for (size_t I = 0; I + 1 < XY.size(); I += 2) {
        L = std::min(L, XY[I]), R = std::max(R, XY[I]);
        T = std::min(T, XY[I + 1]), B = std::max(B, XY[I + 1]);
    }
    auto Cut = [](double V) { return int(std::clamp(V, -CoordLimit, CoordLimit)); };
    return {Cut(std::floor(L - Pad)), Cut(std::floor(T - Pad)), Cut(std::ceil(R + Pad)),
            Cut(std::ceil(B + Pad))};
}

void AppendPath(cairo_t* Cr, const TDevicePath& P, double Ox, double Oy) {
    const size_t N = std::min(P.Types.size(), P.XY.size() / 2);
    auto X = [&](size_t I) { return Clamp(P.XY[2 * I] + Ox); };
    auto Y = [&](size_t I) { return Clamp(P.XY[2 * I + 1] + Oy); };
    for (size_t I = 0; I < N; ++I) {
        const uint8_t Kind = P.Types[I] & PathPointTypePathTypeMask;
        if (Kind == PathPointTypeStart) {
            cairo_move_to(Cr, X(I), Y(I));
        } else if (Kind == PathPointTypeBezier && I + 2 < N) {
            cairo_curve_to(Cr, X(I), Y(I), X(I + 1), Y(I + 1), X(I + 2), Y(I + 2));
            I += 2;
        } else {
            cairo_line_to(Cr, X(I), Y(I));
        }
        if (P.Types[I] & PathPointTypeCloseSubpath) cairo_close_path(Cr);
    }
}

// Adds the cap shape at end point (Ex, Ey) pointing along unit (Dx, Dy), in
// user space of half-width H.
void AddCap(cairo_t* Cr, int Cap, double Ex, double Ey, double Dx, double Dy, double H) {
    const double Nx = -Dy * H, Ny = Dx * H;
    switch (Cap) {
        case LineCapSquare:
            cairo_move_to(Cr, Ex + Nx, Ey + Ny);
            cairo_line_to(Cr, Ex + Nx + Dx * H, Ey + Ny + Dy * H);
            cairo_line_to(Cr, Ex - Nx + Dx * H, Ey - Ny + Dy * H);
            cairo_line_to(Cr, Ex - Nx, Ey - Ny);
            cairo_close_path(Cr);
            break;
        case LineCapRound:
            cairo_new_sub_path(Cr);
            cairo_arc(Cr, Ex, Ey, H, 0, 2 * M_PI);
            cairo_close_path(Cr);
            break;
        case LineCapTriangle:
            cairo_move_to(Cr, Ex + Nx, Ey + Ny);
            cairo_line_to(Cr, Ex + Dx * H, Ey + Dy * H);
            cairo_line_to(Cr, Ex - Nx, Ey - Ny);
            cairo_close_path(Cr);
            break;
        default:
            break;
    }
}

// The caps of the open figures of P (device coordinates offset by Ox, Oy),
// drawn under the current (pen) matrix.
void AddCaps(cairo_t* Cr, const TDevicePath& P, double Ox, double Oy, const GpPen& Pen, double H) {
    const size_t N = std::min(P.Types.size(), P.XY.size() / 2);
    size_t Begin = 0;
    while (Begin < N) {
        size_t End = Begin + 1;
        while (End < N && (P.Types[End] & PathPointTypePathTypeMask) != PathPointTypeStart) ++End;
        const bool Closed = (P.Types[End - 1] & PathPointTypeCloseSubpath) != 0;
        if (!Closed && End - Begin >= 2) {
            auto User = [&](size_t I, double& X, double& Y) {
                X = Clamp(P.XY[2 * I] + Ox), Y = Clamp(P.XY[2 * I + 1] + Oy);
                cairo_device_to_user(Cr, &X, &Y);
            };
            auto Direction = [&](size_t From, bool Forward, int Cap) {
                double Ex, Ey;
                User(From, Ex, Ey);
                for (size_t K = 1; K < End - Begin; ++K) {
                    const size_t I = Forward ? From + K : From - K;
                    double X, Y;
                    User(I, X, Y);
                    const double L = std::hypot(Ex - X, Ey - Y);
                    if (L > 1e-9) {
                        AddCap(Cr, Cap, Ex, Ey, (Ex - X) / L, (Ey - Y) / L, H);
                        return;
                    }
                }
            };
            Direction(Begin, true, Pen.StartCap);
            Direction(End - 1, false, Pen.EndCap);
        }
        Begin = End;
    }
}

cairo_line_cap_t CairoCap(int Cap) {
    switch (Cap) {
        case LineCapSquare:
            return CAIRO_LINE_CAP_SQUARE;
        case LineCapRound:
            return CAIRO_LINE_CAP_ROUND;
        default:
            return CAIRO_LINE_CAP_BUTT;
    }
}

void StrokeInto(cairo_t* Cr, const TDevicePath& P, double Ox, double Oy, const TGpStroke& S) {
    const GpPen& Pen = *S.Pen;
    TGpXForm L = S.PenToDevice.Linear();
    double Det = std::fabs(L.Det());
    if (!L.Finite() || !(Det > 1e-12) || !std::isfinite(Det)) L = TGpXForm{}, Det = 1;
    const double Scale = std::sqrt(Det);
    double W = Pen.Width;
    // Never thinner than one device pixel.
    if (!(W * Scale >= 1)) W = 1 / Scale;

    AppendPath(Cr, P, Ox, Oy);  // identity matrix: device coordinates
    cairo_matrix_t M;
    cairo_matrix_init(&M, L.M11, L.M12, L.M21, L.M22, 0, 0);
    cairo_set_matrix(Cr, &M);
    cairo_set_line_width(Cr, W);
    switch (Pen.Join) {
        case LineJoinBevel:
            cairo_set_line_join(Cr, CAIRO_LINE_JOIN_BEVEL);
            break;
        case LineJoinRound:
            cairo_set_line_join(Cr, CAIRO_LINE_JOIN_ROUND);
            break;
        default:
            cairo_set_line_join(Cr, CAIRO_LINE_JOIN_MITER);
    }
    cairo_set_miter_limit(Cr, std::max(1.0, Pen.MiterLimit));
    const bool Dashed = !Pen.Dashes.empty();
    bool OwnCaps = false;
    if (Dashed) {
        std::vector<double> D(Pen.Dashes.size());
        double Sum = 0;
        for (size_t I = 0; I < D.size(); ++I) Sum += D[I] = Pen.Dashes[I] * W;
        double Offset = std::fmod(Pen.DashOffset * W, Sum);
        if (Offset < 0) Offset += Sum;
        cairo_set_dash(Cr, D.data(), int(D.size()), Offset);
        cairo_set_line_cap(
            Cr, Pen.DashCap == DashCapRound ? CAIRO_LINE_CAP_ROUND : CAIRO_LINE_CAP_BUTT);
        OwnCaps = Pen.StartCap != LineCapFlat || Pen.EndCap != LineCapFlat;
    } else if (Pen.StartCap == Pen.EndCap && Pen.StartCap != LineCapTriangle) {
        cairo_set_line_cap(Cr, CairoCap(Pen.StartCap));
    } else {
        cairo_set_line_cap(Cr, CAIRO_LINE_CAP_BUTT);
        OwnCaps = true;
    }
    cairo_stroke(Cr);
    Check(Cr);
    if (OwnCaps) {
        cairo_set_fill_rule(Cr, CAIRO_FILL_RULE_WINDING);
        AddCaps(Cr, P, Ox, Oy, Pen, W / 2);
        cairo_fill(Cr);
        Check(Cr);
    }
    cairo_identity_matrix(Cr);
}

pixman_filter_t FilterOf(GpInterpolationMode Mode) {
    switch (Mode) {
        case InterpolationModeNearestNeighbor:
            return PIXMAN_FILTER_NEAREST;
        case InterpolationModeBicubic:
        case InterpolationModeHighQuality:
        case InterpolationModeHighQualityBicubic:
            return PIXMAN_FILTER_BEST;
        default:
            return PIXMAN_FILTER_BILINEAR;
    }
}

uint32_t Premultiplied(GpARGB C) {
    const uint32_t A = C >> 24;
    auto P = [A](uint32_t V) { return (V * A + 127) / 255; };
    return (A << 24) | (P((C >> 16) & 0xFF) << 16) | (P((C >> 8) & 0xFF) << 8) | P(C & 0xFF);
}

pixman_color_t ColorOf(uint32_t C) {
    auto E = [](uint32_t V) { return uint16_t(V * 257); };
    return {E((C >> 16) & 0xFF), E((C >> 8) & 0xFF), E(C & 0xFF), E(C >> 24)};
}

// Sets on Image the transform from target pixel space to the space ToDevice
// maps from; false when it does not fit pixman's fixed point.
bool SetSourceTransform(pixman_image_t* Image, const TGpXForm& ToDevice, double Shift) {
    if (!ToDevice.Invertible()) return false;
    const TGpXForm Back = Multiply(TGpXForm{1, 0, 0, 1, -Shift, -Shift}, ToDevice.Inverse());
    pixman_f_transform F;
    F.m[0][0] = Back.M11, F.m[0][1] = Back.M21, F.m[0][2] = Back.Dx;
    F.m[1][0] = Back.M12, F.m[1][1] = Back.M22, F.m[1][2] = Back.Dy;
    F.m[2][0] = 0, F.m[2][1] = 0, F.m[2][2] = 1;
    pixman_transform T;
    if (!pixman_transform_from_pixman_f_transform(&T, &F)) return false;
    return pixman_image_set_transform(Image, &T) != 0;
}

struct TImageRef {
    pixman_image_t* P = nullptr;
    ~TImageRef() {
        if (P) pixman_image_unref(P);
    }
};

// The source as a pixman image in target pixel space; null when there is
// nothing to draw (a mapping out of range).
pixman_image_t* MakeSource(const TGpSource& S, const TGpDrawState& State, double Shift) {
    if (S.Image) {
        const pixman_format_code_t Format = S.ImageBits == TGpImageBits::BGR24    ? PIXMAN_r8g8b8
                                            : S.ImageBits == TGpImageBits::XRGB32 ? PIXMAN_x8r8g8b8
                                                                                  : PIXMAN_a8r8g8b8;
        pixman_image_t* I = pixman_image_create_bits(
            Format, S.ImageWidth, S.ImageHeight, static_cast<uint32_t*>(const_cast<void*>(S.Image)),
            S.ImageStride > 0 ? S.ImageStride : S.ImageWidth * 4);
        if (!I) return nullptr;
        pixman_image_set_repeat(I, PIXMAN_REPEAT_PAD);
        pixman_image_set_filter(I, FilterOf(State.Interpolation), nullptr, 0);
        if (!SetSourceTransform(I, S.ImageToDevice, Shift)) {
            pixman_image_unref(I);
            return nullptr;
        }
        return I;
    }
    if (!S.Brush || S.Brush->Kind == TGpBrushKind::Solid) {
        const pixman_color_t C = ColorOf(Premultiplied(S.Brush ? S.Brush->Color : S.Color));
        return pixman_image_create_solid_fill(&C);
    }
    const GpBrush& B = *S.Brush;
    const TGpXForm ToDevice = Multiply(B.Transform, S.WorldToDevice);
    pixman_image_t* I = nullptr;
    if (B.Kind == TGpBrushKind::LineGradient) {
        std::vector<pixman_gradient_stop_t> Stops;
        for (const TGpStop& Stop : B.Stops)
            Stops.push_back({pixman_double_to_fixed(Stop.Position), ColorOf(Stop.Color)});
        pixman_point_fixed_t P1{pixman_double_to_fixed(Clamp(B.Point1.X)),
                                pixman_double_to_fixed(Clamp(B.Point1.Y))};
        pixman_point_fixed_t P2{pixman_double_to_fixed(Clamp(B.Point2.X)),
                                pixman_double_to_fixed(Clamp(B.Point2.Y))};
        I = pixman_image_create_linear_gradient(&P1, &P2, Stops.data(), int(Stops.size()));
        if (!I) return nullptr;
        pixman_image_set_repeat(I, B.Wrap == WrapModeTile    ? PIXMAN_REPEAT_NORMAL
                                   : B.Wrap == WrapModeClamp ? PIXMAN_REPEAT_PAD
                                                             : PIXMAN_REPEAT_REFLECT);
    } else {
        I = pixman_image_create_bits(PIXMAN_a8r8g8b8, B.TextureWidth, B.TextureHeight,
                                     const_cast<uint32_t*>(B.Texture.data()), B.TextureWidth * 4);
        if (!I) return nullptr;
        pixman_image_set_repeat(I, B.Wrap == WrapModeTile    ? PIXMAN_REPEAT_NORMAL
                                   : B.Wrap == WrapModeClamp ? PIXMAN_REPEAT_NONE
                                                             : PIXMAN_REPEAT_REFLECT);
        pixman_image_set_filter(I, FilterOf(State.Interpolation), nullptr, 0);
    }
    if (!SetSourceTransform(I, ToDevice, Shift)) {
        pixman_image_unref(I);
        return nullptr;
    }
    return I;
}

// What to rasterise: a fill of Path, a stroke of it, or everything (Path null).
struct TShape {
    const TDevicePath* Path = nullptr;
    const TGpStroke* Stroke = nullptr;
};

// Renders the coverage of Shape within the clip into an A8 surface whose
// pixel (0, 0) is target pixel (X0, Y0).
cairo_surface_t* RenderMask(const TGpDrawState& State, const TShape& Shape, int X0, int Y0, int W,
                            int H, double Shift) {
    cairo_surface_t* Surface = cairo_image_surface_create(CAIRO_FORMAT_A8, W, H);
    if (cairo_surface_status(Surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(Surface);
        return nullptr;
    }
    cairo_t* Cr = cairo_create(Surface);
    cairo_set_antialias(Cr, State.AntiAlias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
    cairo_set_tolerance(Cr, 0.1);
    const double Ox = Shift - X0, Oy = Shift - Y0;
    if (State.Clip && !State.Clip->Infinite) {
        for (const TDevicePath& Item : State.Clip->Items) {
            cairo_new_path(Cr);
            AppendPath(Cr, Item, Ox, Oy);
            cairo_set_fill_rule(Cr, Item.Fill == FillModeWinding ? CAIRO_FILL_RULE_WINDING
                                                                 : CAIRO_FILL_RULE_EVEN_ODD);
            cairo_clip(Cr);
            Check(Cr);
        }
    }
    cairo_new_path(Cr);
    cairo_set_source_rgba(Cr, 0, 0, 0, 1);
    if (!Shape.Path) {
        cairo_paint(Cr);
    } else if (Shape.Stroke) {
        StrokeInto(Cr, *Shape.Path, Ox, Oy, *Shape.Stroke);
    } else {
        AppendPath(Cr, *Shape.Path, Ox, Oy);
        cairo_set_fill_rule(Cr, Shape.Path->Fill == FillModeWinding ? CAIRO_FILL_RULE_WINDING
                                                                    : CAIRO_FILL_RULE_EVEN_ODD);
        cairo_fill(Cr);
    }
    Check(Cr);
    cairo_destroy(Cr);
    cairo_surface_flush(Surface);
    return Surface;
}

// Zeroes the mask outside the device's own clip.
void ApplyDeviceClip(const TPixels& T, uint8_t* Mask, int Stride, int X0, int Y0, int W, int H) {
    if (!T.Clip) return;
    pixman_region32_t Band, Outside;
    pixman_region32_init_rect(&Band, X0, Y0, unsigned(W), unsigned(H));
    pixman_region32_init(&Outside);
    pixman_region32_subtract(&Outside, &Band, const_cast<pixman_region32_t*>(T.Clip));
    int N = 0;
    const pixman_box32_t* Boxes = pixman_region32_rectangles(&Outside, &N);
    for (int I = 0; I < N; ++I)
        for (int Y = Boxes[I].y1; Y < Boxes[I].y2; ++Y)
            std::memset(Mask + size_t(Y - Y0) * size_t(Stride) + (Boxes[I].x1 - X0), 0,
                        size_t(Boxes[I].x2 - Boxes[I].x1));
    pixman_region32_fini(&Outside);
    pixman_region32_fini(&Band);
}

void Composite(pixman_image_t* Src, pixman_image_t* Mask, pixman_image_t* Dst, bool Copy, int X,
               int Y, int DstX, int DstY, int W, int H) {
    if (Copy) {
        // Replace within the shape, blend at anti-aliased edges: clear the
        // covered part, then add the source through the same coverage.
        const pixman_color_t White{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
        pixman_image_t* Solid = pixman_image_create_solid_fill(&White);
        pixman_image_composite32(PIXMAN_OP_OUT_REVERSE, Solid, Mask, Dst, 0, 0, 0, 0, DstX, DstY, W,
                                 H);
        pixman_image_unref(Solid);
        pixman_image_composite32(PIXMAN_OP_ADD, Src, Mask, Dst, X, Y, 0, 0, DstX, DstY, W, H);
    } else {
        pixman_image_composite32(PIXMAN_OP_OVER, Src, Mask, Dst, X, Y, 0, 0, DstX, DstY, W, H);
    }
}

TGPStatus RasterPaint(TPixels& T, const TGpDrawState& State, const TShape& Shape,
                      const TGpSource& Source, bool Copy) {
    if (T.Width <= 0 || T.Height <= 0) return gsOk;
    if (State.Clip && State.Clip->Empty) return gsOk;
    const double Shift = State.HalfPixelCentres ? 0.0 : 0.5;
    TRect Area{0, 0, T.Width, T.Height};
    if (T.Clip) {
        const pixman_box32_t* E = pixman_region32_extents(const_cast<pixman_region32_t*>(T.Clip));
        Area.Intersect({E->x1, E->y1, E->x2, E->y2});
    }
    if (State.Clip && !State.Clip->Infinite)
        for (const TDevicePath& Item : State.Clip->Items)
            Area.Intersect(BoundsOf(Item.XY, Shift + 1));
    if (Shape.Path) {
        double Pad = Shift + 1;
        if (Shape.Stroke) {
            const TGpXForm& L = Shape.Stroke->PenToDevice;
            const double Norm =
                std::fabs(L.M11) + std::fabs(L.M12) + std::fabs(L.M21) + std::fabs(L.M22);
            const double Miter = std::max(2.0, Shape.Stroke->Pen->MiterLimit);
            Pad += std::min(CoordLimit, std::max(1.0, Shape.Stroke->Pen->Width * Norm) * Miter) + 2;
        }
        Area.Intersect(BoundsOf(Shape.Path->XY, Pad));
    }
    if (Area.Empty()) return gsOk;

    // An image read in place from the target's own pixels (a bitmap drawn
    // onto itself) is read from a copy made first.
    TGpSource Own;
    std::vector<uint32_t> OwnPixels;
    const TGpSource* S = &Source;
    if (Source.Image && T.Bits && Source.ImageWidth > 0 && Source.ImageHeight > 0) {
        const int SStride = Source.ImageStride > 0 ? Source.ImageStride : Source.ImageWidth * 4;
        const auto* SB = static_cast<const uint8_t*>(Source.Image);
        const uint8_t* SEnd = SB + size_t(SStride) * size_t(Source.ImageHeight);
        const uint8_t* TEnd = T.Bits + size_t(T.Stride) * size_t(T.Height);
        if (SB < TEnd && T.Bits < SEnd) {
            try {
                OwnPixels.resize(size_t(Source.ImageWidth) * size_t(Source.ImageHeight));
            } catch (const std::bad_alloc&) {
                return gsOutOfMemory;
            }
            for (int Y = 0; Y < Source.ImageHeight; ++Y) {
                const uint8_t* R = SB + size_t(SStride) * size_t(Y);
                uint32_t* O = OwnPixels.data() + size_t(Y) * size_t(Source.ImageWidth);
                for (int X = 0; X < Source.ImageWidth; ++X) {
                    if (Source.ImageBits == TGpImageBits::BGR24)
                        O[X] = 0xFF000000u | (uint32_t(R[3 * X + 2]) << 16) |
                               (uint32_t(R[3 * X + 1]) << 8) | R[3 * X];
                    else
                        std::memcpy(&O[X], R + 4 * X, 4);
                    if (Source.ImageBits == TGpImageBits::XRGB32) O[X] |= 0xFF000000u;
                }
            }
            Own = Source;
            Own.Image = OwnPixels.data();
            Own.ImageStride = 0;
            Own.ImageBits = TGpImageBits::PARGB32;
            S = &Own;
        }
    }
    TImageRef Src;
    Src.P = MakeSource(*S, State, Shift);
    if (!Src.P) return gsOk;

    const int W = Area.X1 - Area.X0;
    const bool Direct = T.Bits != nullptr;
    const int64_t RowWidth = Direct ? W : T.Width;
    const int BandH =
        int(std::clamp<int64_t>(BandPixels / std::max<int64_t>(1, RowWidth), 1, Area.Y1 - Area.Y0));
    TImageRef Dst;
    std::vector<uint32_t> Rows;
    if (Direct) {
        Dst.P = pixman_image_create_bits(T.Format, T.Width, T.Height,
                                         reinterpret_cast<uint32_t*>(T.Bits), T.Stride);
        if (!Dst.P) return gsOutOfMemory;
    } else {
        try {
            Rows.resize(size_t(T.Width) * size_t(BandH));
        } catch (const std::bad_alloc&) {
            return gsOutOfMemory;
        }
    }
    for (int Y0 = Area.Y0; Y0 < Area.Y1; Y0 += BandH) {
        const int H = std::min(BandH, Area.Y1 - Y0);
        cairo_surface_t* Surface = RenderMask(State, Shape, Area.X0, Y0, W, H, Shift);
        if (!Surface) return gsOutOfMemory;
        uint8_t* MaskBits = cairo_image_surface_get_data(Surface);
        const int MaskStride = cairo_image_surface_get_stride(Surface);
        ApplyDeviceClip(T, MaskBits, MaskStride, Area.X0, Y0, W, H);
        pixman_image_t* Mask = pixman_image_create_bits(
            PIXMAN_a8, W, H, reinterpret_cast<uint32_t*>(MaskBits), MaskStride);
        if (!Mask) {
            cairo_surface_destroy(Surface);
            return gsOutOfMemory;
        }
        if (Direct) {
            Composite(Src.P, Mask, Dst.P, Copy, Area.X0, Y0, Area.X0, Y0, W, H);
        } else {
            for (int Y = 0; Y < H; ++Y) T.Read(Y0 + Y, Rows.data() + size_t(Y) * size_t(T.Width));
            pixman_image_t* Band =
                pixman_image_create_bits(PIXMAN_a8r8g8b8, T.Width, H, Rows.data(), T.Width * 4);
            if (Band) {
                Composite(Src.P, Mask, Band, Copy, Area.X0, Y0, Area.X0, 0, W, H);
                pixman_image_unref(Band);
            }
            for (int Y = 0; Y < H; ++Y) T.Write(Y0 + Y, Rows.data() + size_t(Y) * size_t(T.Width));
        }
        pixman_image_unref(Mask);
        cairo_surface_destroy(Surface);
    }
    return gsOk;
}

// Fills Pixels from a platform bitmap.
void Describe(TBitmap& B, const pixman_region32_t* Clip, TPixels& P) {
    P.Width = B.Width();
    P.Height = B.Height();
    P.Clip = Clip;
    P.Stride = int(B.BytesPerScanLine());
    if (B.Empty()) return;
    if (B.PixelFormat() == pf24bit || B.PixelFormat() == pf32bit) {
        P.Format = B.PixelFormat() == pf24bit ? PIXMAN_r8g8b8 : PIXMAN_x8r8g8b8;
        P.Bits = B.ScanLine(0);
        return;
    }
    // Palette formats go through premultiplied rows; written pixels take the
    // nearest palette entry, untouched ones keep their index.
    P.Read = [&B](int Y, uint32_t* Out) {
        for (int X = 0; X < B.Width(); ++X) {
            const uint32_t C = uint32_t(B.GetPixel(X, Y));
            Out[X] = 0xFF000000u | ((C & 0xFF) << 16) | (C & 0xFF00) | ((C >> 16) & 0xFF);
        }
    };
    P.Write = [&B](int Y, const uint32_t* In) {
        for (int X = 0; X < B.Width(); ++X) {
            const uint32_t C = uint32_t(B.GetPixel(X, Y));
            const uint32_t Was =
                0xFF000000u | ((C & 0xFF) << 16) | (C & 0xFF00) | ((C >> 16) & 0xFF);
            if (In[X] != Was)
                B.SetPixel(
                    X, Y,
                    TColor(((In[X] >> 16) & 0xFF) | (In[X] & 0xFF00) | ((In[X] & 0xFF) << 16)));
        }
    };
}

class TDcDevice : public TGpDevice {
public:
    explicit TDcDevice(HDC Dc) : FDc(Dc) {}
    void Resolution(double& DpiX, double& DpiY) override { DpiX = DpiY = 96; }
    bool Size(int& Width, int& Height) override {
        return WithDcTarget(FDc, [&](TBitmap& B, const pixman_region32*) {
            Width = B.Width(), Height = B.Height();
        });
    }
    bool ClipBox(int& X0, int& Y0, int& X1, int& Y1) override {
        return WithDcTarget(FDc, [&](TBitmap& B, const pixman_region32* Clip) {
            X0 = 0, Y0 = 0, X1 = B.Width(), Y1 = B.Height();
            if (Clip) {
                const pixman_box32_t* E =
                    pixman_region32_extents(const_cast<pixman_region32_t*>(Clip));
                X0 = std::max(X0, E->x1), Y0 = std::max(Y0, E->y1);
                X1 = std::min(X1, E->x2), Y1 = std::min(Y1, E->y2);
            }
        });
    }
    TGPStatus Paint(const TGpDrawState& State, const TDevicePath& Path, const TGpStroke* Stroke,
                    const TGpSource& Source) override {
        return Run(State, TShape{&Path, Stroke}, Source, State.SourceCopy);
    }
    TGPStatus Clear(const TGpDrawState& State, GpARGB Color) override {
        TGpSource Source;
        Source.Color = Color;
        return Run(State, TShape{}, Source, true);
    }

private:
    TGPStatus Run(const TGpDrawState& State, const TShape& Shape, const TGpSource& Source,
                  bool Copy) {
        TGPStatus Status = gsOk;
        if (!WithDcTarget(FDc, [&](TBitmap& B, const pixman_region32* Clip) {
                TPixels P;
                Describe(B, Clip, P);
                Status = RasterPaint(P, State, Shape, Source, Copy);
            }))
            return gsInvalidParameter;
        return Status;
    }
    HDC FDc;
};

class TBitmapDevice : public TGpDevice {
public:
    explicit TBitmapDevice(GpBitmap* Bitmap) : FBitmap(Bitmap) {}
    void Resolution(double& DpiX, double& DpiY) override {
        DpiX = DpiY = 96;
        if (Live()) DpiX = FBitmap->DpiX, DpiY = FBitmap->DpiY;
    }
    bool Size(int& Width, int& Height) override {
        if (!Live()) return false;
        Width = FBitmap->Width, Height = FBitmap->Height;
        return true;
    }
    bool ClipBox(int& X0, int& Y0, int& X1, int& Y1) override {
        X0 = Y0 = 0;
        return Size(X1, Y1);
    }
    TGPStatus Paint(const TGpDrawState& State, const TDevicePath& Path, const TGpStroke* Stroke,
                    const TGpSource& Source) override {
        return Run(State, TShape{&Path, Stroke}, Source, State.SourceCopy);
    }
    TGPStatus Clear(const TGpDrawState& State, GpARGB Color) override {
        TGpSource Source;
        Source.Color = Color;
        return Run(State, TShape{}, Source, true);
    }

private:
    bool Live() const { return IsLive(static_cast<GpImage*>(FBitmap), TGpKind::Image); }
    TGPStatus Run(const TGpDrawState& State, const TShape& Shape, const TGpSource& Source,
                  bool Copy) {
        if (!Live()) return gsInvalidParameter;
        GpBitmap& B = *FBitmap;
        TPixels P;
        P.Width = B.Width, P.Height = B.Height;
        const bool Aligned = B.Stride > 0 && B.Stride % 4 == 0 && B.Stride <= INT32_MAX &&
                             reinterpret_cast<uintptr_t>(B.Scan0) % 4 == 0;
        if (Aligned && B.Format == PixelFormat24bppRGB)
            P.Format = PIXMAN_r8g8b8;
        else if (Aligned && B.Format == PixelFormat32bppRGB)
            P.Format = PIXMAN_x8r8g8b8;
        else if (Aligned && B.Format == PixelFormat32bppPARGB)
            P.Format = PIXMAN_a8r8g8b8;
        else
            P.Format = PIXMAN_a1;  // not direct
        if (P.Format != PIXMAN_a1) {
            P.Bits = B.Scan0;
            P.Stride = int(B.Stride);
        } else {
            P.Read = [&B](int Y, uint32_t* Out) { ReadRowPARGB(B, Y, Out); };
            P.Write = [&B](int Y, const uint32_t* In) { WriteRowPARGB(B, Y, In); };
        }
        return RasterPaint(P, State, Shape, Source, Copy);
    }
    GpBitmap* FBitmap;
};

}  // namespace

bool TGpXForm::Finite() const {
    return std::isfinite(M11) && std::isfinite(M12) && std::isfinite(M21) && std::isfinite(M22) &&
           std::isfinite(Dx) && std::isfinite(Dy);
}

bool TGpXForm::Invertible() const {
    const double D = Det();
    return Finite() && std::isfinite(D) && D != 0 && std::isfinite(1 / D);
}

TGpXForm TGpXForm::Inverse() const {
    const double D = Det();
    TGpXForm R;
    R.M11 = M22 / D, R.M12 = -M12 / D, R.M21 = -M21 / D, R.M22 = M11 / D;
    R.Dx = -(Dx * R.M11 + Dy * R.M21);
    R.Dy = -(Dx * R.M12 + Dy * R.M22);
    return R;
}

TGpXForm Multiply(const TGpXForm& A, const TGpXForm& B) {
    TGpXForm R;
    R.M11 = A.M11 * B.M11 + A.M12 * B.M21;
    R.M12 = A.M11 * B.M12 + A.M12 * B.M22;
    R.M21 = A.M21 * B.M11 + A.M22 * B.M21;
    R.M22 = A.M21 * B.M12 + A.M22 * B.M22;
    R.Dx = A.Dx * B.M11 + A.Dy * B.M21 + B.Dx;
    R.Dy = A.Dx * B.M12 + A.Dy * B.M22 + B.Dy;
    return R;
}

namespace {
std::atomic<TDcDeviceHook> DcDeviceHook{nullptr};
std::atomic<TGpRecordingFactory> RecordingHook{nullptr};
}  // namespace

void SetRecordingHooks(TDcDeviceHook DcDevice, TGpRecordingFactory Recording) {
    DcDeviceHook.store(DcDevice);
    RecordingHook.store(Recording);
}

TGpRecordingFactory RecordingFactory() { return RecordingHook.load(); }

std::unique_ptr<TGpDevice> NewDcDevice(HDC Dc) {
    if (TDcDeviceHook Hook = DcDeviceHook.load())
        if (auto Device = Hook(Dc)) return Device;
    return std::make_unique<TDcDevice>(Dc);
}

std::unique_ptr<TGpDevice> NewRasterDcDevice(HDC Dc) { return std::make_unique<TDcDevice>(Dc); }
std::unique_ptr<TGpDevice> NewBitmapDevice(GpBitmap* Bitmap) {
    return std::make_unique<TBitmapDevice>(Bitmap);
}

int64_t CairoFaults() { return Faults.load(); }

}  // namespace velmo::gdiplus
