// Graphics, paths, pens, brushes, regions, matrices and image drawing.
//
// Every call checks its handles against the live objects of their kind and
// refuses NaN, infinite values and singular matrices with InvalidParameter
// before anything reaches the rasteriser. Deleting removes a handle from the
// live table before the object is freed, so a second delete gives a status.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/fonts/PlatformFonts.h"
#include "platform/gdiplus/GraphicsCore.h"

namespace velmo {

// A font taken from a device context: the platform font it held and its
// installed face, at the DC font's em height in pixels.
struct GpFont {
    platform::TPlatformFont Font;
    std::unique_ptr<platform::TOutlineFace> Face;
};

struct GpGraphics {
    std::unique_ptr<gdiplus::TGpDevice> Device;
    GpSmoothingMode Smoothing = SmoothingModeDefault;
    GpPixelOffsetMode PixelOffset = PixelOffsetModeDefault;
    GpInterpolationMode Interpolation = InterpolationModeBilinear;
    GpCompositingMode Compositing = CompositingModeSourceOver;
    GpCompositingQuality Quality = 0;
    GpUnit PageUnit = UnitDisplay;
    gdiplus::TGpXForm World;
    GpRegion Clip;
};

}  // namespace velmo

namespace velmo::gdiplus {

namespace {

bool Finite(double V) { return std::isfinite(V); }
template <class... T>
bool Finite(double V, T... Rest) {
    return std::isfinite(V) && Finite(Rest...);
}

bool LiveGraphics(GpGraphics* G) { return IsLive(G, TGpKind::Graphics); }
bool LivePath(const GpPath* P) { return IsLive(P, TGpKind::Path); }
bool LiveBrush(const GpBrush* B) { return IsLive(B, TGpKind::Brush); }
bool LivePen(const GpPen* P) { return IsLive(P, TGpKind::Pen); }
bool LiveMatrix(const GpMatrix* M) { return IsLive(M, TGpKind::Matrix); }
bool LiveRegion(const GpRegion* R) { return IsLive(R, TGpKind::Region); }

// Allocates an object and registers it; nullptr when memory or the table
// runs out.
template <class T, class Base = T>
T* Register(TGpKind Kind) {
    T* Object = new (std::nothrow) T;
    if (!Object) return nullptr;
    if (!AddLive(static_cast<Base*>(Object), Kind)) {
        delete Object;
        return nullptr;
    }
    return Object;
}

// Units per device pixel of a page unit at a resolution.
double PixelsPerUnit(GpUnit Unit, double Dpi) {
    switch (Unit) {
        case UnitPoint:
            return Dpi / 72;
        case UnitInch:
            return Dpi;
        case UnitDocument:
            return Dpi / 300;
        case UnitMillimeter:
            return Dpi / 25.4;
        default:
            return 1;
    }
}

TGpXForm PageScale(GpGraphics& G) {
    double Dx = 96, Dy = 96;
    G.Device->Resolution(Dx, Dy);
    if (!(Dx > 0) || !Finite(Dx)) Dx = 96;
    if (!(Dy > 0) || !Finite(Dy)) Dy = 96;
    return {PixelsPerUnit(G.PageUnit, Dx), 0, 0, PixelsPerUnit(G.PageUnit, Dy), 0, 0};
}

TGpXForm WorldToDevice(GpGraphics& G) { return Multiply(G.World, PageScale(G)); }

TDevicePath ToDevice(const GpPath& P, const TGpXForm& M) {
    TDevicePath D;
    D.Fill = P.Fill;
    D.Types = P.Types;
    D.XY.resize(P.Points.size() * 2);
    for (size_t I = 0; I < P.Points.size(); ++I)
        M.Apply(P.Points[I].X, P.Points[I].Y, D.XY[2 * I], D.XY[2 * I + 1]);
    return D;
}

TGpDrawState StateOf(GpGraphics& G) {
    TGpDrawState S;
    S.AntiAlias = G.Smoothing == SmoothingModeAntiAlias ||
                  G.Smoothing == SmoothingModeHighQuality || G.Smoothing == 5;
    S.HalfPixelCentres =
        G.PixelOffset == PixelOffsetModeHalf || G.PixelOffset == PixelOffsetModeHighQuality;
    S.Interpolation = G.Interpolation;
    S.SourceCopy = G.Compositing == CompositingModeSourceCopy;
    S.Clip = &G.Clip;
    return S;
}

TGPStatus AddPoint(GpPath* Path, GpREAL X, GpREAL Y, uint8_t Type) {
    try {
        Path->Points.push_back({X, Y});
        Path->Types.push_back(Type);
    } catch (const std::bad_alloc&) {
        return gsOutOfMemory;
    }
    return gsOk;
}

// Brush space is fixed by transforms the caller sets; they must stay
// invertible.
TGPStatus SetTransform(TGpXForm& Target, const TGpXForm& Value) {
    if (!Value.Invertible()) return gsInvalidParameter;
    Target = Value;
    return gsOk;
}

TGPStatus Combine(TGpXForm& Target, const TGpXForm& M, GpMatrixOrder Order) {
    if (Order != MatrixOrderPrepend && Order != MatrixOrderAppend) return gsInvalidParameter;
    if (!M.Invertible()) return gsInvalidParameter;
    return SetTransform(Target,
                        Order == MatrixOrderPrepend ? Multiply(M, Target) : Multiply(Target, M));
}

bool ValidCap(GpLineCap Cap) { return Cap >= LineCapFlat && Cap <= LineCapTriangle; }

// Bounds of a cubic Bézier's extent along one axis.
void CubicRange(double P0, double P1, double P2, double P3, double& Lo, double& Hi) {
    Lo = std::min(Lo, std::min(P0, P3));
    Hi = std::max(Hi, std::max(P0, P3));
    // Derivative roots: a t² + b t + c = 0.
    const double A = -P0 + 3 * P1 - 3 * P2 + P3, B = 2 * (P0 - 2 * P1 + P2), C = P1 - P0;
    auto At = [&](double T) {
        if (T > 0 && T < 1) {
            const double U = 1 - T;
            const double V =
                U * U * U * P0 + 3 * U * U * T * P1 + 3 * U * T * T * P2 + T * T * T * P3;
            Lo = std::min(Lo, V), Hi = std::max(Hi, V);
        }
    };
    if (std::fabs(A) < 1e-12) {
        if (std::fabs(B) > 1e-12) At(-C / B);
        return;
    }
    const double D = B * B - 4 * A * C;
    if (D < 0) return;
    const double S = std::sqrt(D);
    At((-B + S) / (2 * A));
    At((-B - S) / (2 * A));
}

}  // namespace

bool GraphicsResolution(GpGraphics* Graphics, GpREAL& DpiX, GpREAL& DpiY) {
    if (!LiveGraphics(Graphics)) return false;
    double X = 96, Y = 96;
    Graphics->Device->Resolution(X, Y);
    DpiX = GpREAL(X), DpiY = GpREAL(Y);
    return true;
}

// ---- Graphics ----

namespace {

// A metafile being recorded into a caller's stream. Freeing it (disposing
// of the image) ends the recording and writes the metafile at the stream's
// position; graphics still made on it then draw nothing.
struct TGpRecordedMetafile : GpImage {
    GpIStream* Stream = nullptr;  // one reference held
    std::unique_ptr<TGpRecording> Recording;
    // No graphics was made on it: nothing is written.
    bool Used = false;

    ~TGpRecordedMetafile() override {
        if (Recording && Stream && Used) {
            const std::string Bytes = Recording->Finish();
            size_t At = 0;
            while (At < Bytes.size()) {
                const uint32_t Part = uint32_t(std::min<size_t>(Bytes.size() - At, 1u << 30));
                uint32_t Done = 0;
                if (Stream->Write(Bytes.data() + At, Part, &Done) < 0 || Done == 0) break;
                At += Done;
            }
        }
        if (Stream) Stream->Release();
    }
};

}  // namespace

TGPStatus GdipCreateFromHDC(HDC Dc, GpGraphics** Graphics) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!Graphics) return gsInvalidParameter;
    if (!WithDcTarget(Dc, [](TBitmap&, const pixman_region32*) {})) return gsInvalidParameter;
    GpGraphics* G = Register<GpGraphics>(TGpKind::Graphics);
    if (!G) return gsOutOfMemory;
    G->Device = NewDcDevice(Dc);
    *Graphics = G;
    return gsOk;
}

TGPStatus GdipGetImageGraphicsContext(GpImage* Image, GpGraphics** Graphics) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!Graphics || !IsLive(Image, TGpKind::Image)) return gsInvalidParameter;
    if (auto* M = dynamic_cast<TGpRecordedMetafile*>(Image)) {
        GpGraphics* G = Register<GpGraphics>(TGpKind::Graphics);
        if (!G) return gsOutOfMemory;
        G->Device = M->Recording->NewDevice();
        M->Used = true;
        *Graphics = G;
        return gsOk;
    }
    if (Image->IsMetafile) return gsNotImplemented;
    auto* B = dynamic_cast<GpBitmap*>(Image);
    if (!B) return gsInvalidParameter;
    // As the platform: no graphics on indexed formats.
    if (B->Format != PixelFormat24bppRGB && B->Format != PixelFormat32bppRGB &&
        B->Format != PixelFormat32bppARGB && B->Format != PixelFormat32bppPARGB)
        return gsOutOfMemory;
    GpGraphics* G = Register<GpGraphics>(TGpKind::Graphics);
    if (!G) return gsOutOfMemory;
    G->Device = NewBitmapDevice(B);
    *Graphics = G;
    return gsOk;
}

TGPStatus GdipDeleteGraphics(GpGraphics* Graphics) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!RemoveLive(Graphics, TGpKind::Graphics)) return gsInvalidParameter;
    delete Graphics;
    return gsOk;
}

TGPStatus GdipSetSmoothingMode(GpGraphics* Graphics, GpSmoothingMode Mode) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveGraphics(Graphics) || Mode < SmoothingModeDefault || Mode > 5)
        return gsInvalidParameter;
    Graphics->Smoothing = Mode;
    return gsOk;
}

TGPStatus GdipSetPixelOffsetMode(GpGraphics* Graphics, GpPixelOffsetMode Mode) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveGraphics(Graphics) || Mode < PixelOffsetModeDefault || Mode > PixelOffsetModeHalf)
        return gsInvalidParameter;
    Graphics->PixelOffset = Mode;
    return gsOk;
}

TGPStatus GdipSetInterpolationMode(GpGraphics* Graphics, GpInterpolationMode Mode) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveGraphics(Graphics) || Mode < InterpolationModeDefault ||
        Mode > InterpolationModeHighQualityBicubic)
        return gsInvalidParameter;
    Graphics->Interpolation = Mode;
    return gsOk;
}

TGPStatus GdipSetCompositingMode(GpGraphics* Graphics, GpCompositingMode Mode) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveGraphics(Graphics) ||
        (Mode != CompositingModeSourceOver && Mode != CompositingModeSourceCopy))
        return gsInvalidParameter;
    Graphics->Compositing = Mode;
    return gsOk;
}

TGPStatus GdipSetCompositingQuality(GpGraphics* Graphics, GpCompositingQuality Quality) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveGraphics(Graphics) || Quality < 0 || Quality > 4) return gsInvalidParameter;
    Graphics->Quality = Quality;
    return gsOk;
}

TGPStatus GdipSetPageUnit(GpGraphics* Graphics, GpUnit Unit) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveGraphics(Graphics) || Unit < UnitDisplay || Unit > UnitMillimeter)
        return gsInvalidParameter;
    Graphics->PageUnit = Unit;
    return gsOk;
}

TGPStatus GdipSetWorldTransform(GpGraphics* Graphics, GpMatrix* Matrix) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveGraphics(Graphics) || !LiveMatrix(Matrix)) return gsInvalidParameter;
    return SetTransform(Graphics->World, Matrix->X);
}

TGPStatus GdipGraphicsClear(GpGraphics* Graphics, GpARGB Color) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveGraphics(Graphics)) return gsInvalidParameter;
    return Graphics->Device->Clear(StateOf(*Graphics), Color);
}

TGPStatus GdipGetVisibleClipBounds(GpGraphics* Graphics, GpRectF* Rect) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveGraphics(Graphics) || !Rect) return gsInvalidParameter;
    int X0, Y0, X1, Y1;
    if (!Graphics->Device->ClipBox(X0, Y0, X1, Y1)) return gsInvalidParameter;
    double L = X0, T = Y0, R = X1, B = Y1;
    const GpRegion& C = Graphics->Clip;
    if (C.Empty) R = L, B = T;
    if (!C.Infinite)
        for (const TDevicePath& Item : C.Items) {
            if (Item.XY.empty()) {
                R = L, B = T;
                continue;
            }
            double IL = Item.XY[0], IT = Item.XY[1], IR = IL, IB = IT;
            for (size_t I = 0; I + 1 < Item.XY.size(); I += 2) {
                IL = std::min(IL, Item.XY[I]), IR = std::max(IR, Item.XY[I]);
                IT = std::min(IT, Item.XY[I + 1]), IB = std::max(IB, Item.XY[I + 1]);
            }
            L = std::max(L, IL), T = std::max(T, IT), R = std::min(R, IR), B = std::min(B, IB);
        }
    if (R < L) R = L;
    if (B < T) B = T;
    // Back into world units: the bounds of the corners.
    const TGpXForm Back = WorldToDevice(*Graphics).Inverse();
    double WL = INFINITY, WT = INFINITY, WR = -INFINITY, WB = -INFINITY;
    const double Corners[4][2] = {{L, T}, {R, T}, {L, B}, {R, B}};
    for (const auto& Corner : Corners) {
        double X, Y;
        Back.Apply(Corner[0], Corner[1], X, Y);
        WL = std::min(WL, X), WR = std::max(WR, X), WT = std::min(WT, Y), WB = std::max(WB, Y);
    }
    *Rect = GpRectF{GpREAL(WL), GpREAL(WT), GpREAL(WR - WL), GpREAL(WB - WT)};
    return gsOk;
}

// ---- Regions and clipping ----

TGPStatus GdipCreateRegion(GpRegion** Region) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!Region) return gsInvalidParameter;
    GpRegion* R = Register<GpRegion>(TGpKind::Region);
    if (!R) return gsOutOfMemory;
    *Region = R;
    return gsOk;
}

TGPStatus GdipDeleteRegion(GpRegion* Region) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!RemoveLive(Region, TGpKind::Region)) return gsInvalidParameter;
    delete Region;
    return gsOk;
}

TGPStatus GdipGetClip(GpGraphics* Graphics, GpRegion* Region) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveGraphics(Graphics) || !LiveRegion(Region)) return gsInvalidParameter;
    try {
        *Region = Graphics->Clip;
    } catch (const std::bad_alloc&) {
        return gsOutOfMemory;
    }
    return gsOk;
}

namespace {

TGPStatus CombineClip(GpRegion& Clip, const GpRegion& With, GpCombineMode Mode) {
    try {
        if (Mode == CombineModeReplace) {
            Clip = With;
            return gsOk;
        }
        if (Mode != CombineModeIntersect) {
            return Mode >= CombineModeUnion && Mode <= CombineModeComplement ? gsNotImplemented
                                                                             : gsInvalidParameter;
        }
        if (With.Empty) {
            Clip = GpRegion{false, true, {}};
        } else if (!With.Infinite && !Clip.Empty) {
            Clip.Infinite = false;
            Clip.Items.insert(Clip.Items.end(), With.Items.begin(), With.Items.end());
        }
    } catch (const std::bad_alloc&) {
        return gsOutOfMemory;
    }
    return gsOk;
}

}  // namespace

TGPStatus GdipSetClipRegion(GpGraphics* Graphics, GpRegion* Region, GpCombineMode Mode) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveGraphics(Graphics) || !LiveRegion(Region)) return gsInvalidParameter;
    if (Region == &Graphics->Clip) return gsOk;
    const GpRegion Copy = *Region;
    return CombineClip(Graphics->Clip, Copy, Mode);
}

TGPStatus GdipSetClipPath(GpGraphics* Graphics, GpPath* Path, GpCombineMode Mode) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveGraphics(Graphics) || !LivePath(Path)) return gsInvalidParameter;
    GpRegion R;
    R.Infinite = false;
    if (Path->Points.empty()) {
        R.Empty = true;
    } else {
        try {
            R.Items.push_back(ToDevice(*Path, WorldToDevice(*Graphics)));
        } catch (const std::bad_alloc&) {
            return gsOutOfMemory;
        }
    }
    return CombineClip(Graphics->Clip, R, Mode);
}

// ---- Paths ----

TGPStatus GdipCreatePath(GpFillMode Mode, GpPath** Path) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!Path || (Mode != FillModeAlternate && Mode != FillModeWinding)) return gsInvalidParameter;
    GpPath* P = Register<GpPath>(TGpKind::Path);
    if (!P) return gsOutOfMemory;
    P->Fill = Mode;
    *Path = P;
    return gsOk;
}

TGPStatus GdipCreatePath2(const GpPointF* Points, const uint8_t* Types, int32_t Count,
                          GpFillMode Mode, GpPath** Path) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!Path || Count < 0 || (Count > 0 && (!Points || !Types)) ||
        (Mode != FillModeAlternate && Mode != FillModeWinding))
        return gsInvalidParameter;
    // Every figure begins with a start point; Bézier points come in threes.
    int Run = 0;
    for (int32_t I = 0; I < Count; ++I) {
        const uint8_t Kind = Types[I] & PathPointTypePathTypeMask;
        if (!Finite(Points[I].X, Points[I].Y)) return gsInvalidParameter;
        if (I == 0 && Kind != PathPointTypeStart) return gsInvalidParameter;
        if (Kind == PathPointTypeBezier) {
            ++Run;
        } else {
            if (Run % 3 != 0) return gsInvalidParameter;
            Run = 0;
            if (Kind != PathPointTypeStart && Kind != PathPointTypeLine) return gsInvalidParameter;
        }
        if (Types[I] & PathPointTypeCloseSubpath) {
            if (Run % 3 != 0) return gsInvalidParameter;
            Run = 0;
        }
    }
    if (Run % 3 != 0) return gsInvalidParameter;
    GpPath* P = Register<GpPath>(TGpKind::Path);
    if (!P) return gsOutOfMemory;
    try {
        P->Points.assign(Points, Points + Count);
        P->Types.assign(Types, Types + Count);
    } catch (const std::bad_alloc&) {
        RemoveLive(P, TGpKind::Path);
        delete P;
        return gsOutOfMemory;
    }
    P->Fill = Mode;
    P->StartFigure = Count == 0 || (Types[Count - 1] & PathPointTypeCloseSubpath) != 0;
    *Path = P;
    return gsOk;
}

TGPStatus GdipDeletePath(GpPath* Path) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!RemoveLive(Path, TGpKind::Path)) return gsInvalidParameter;
    delete Path;
    return gsOk;
}

TGPStatus GdipAddPathLine(GpPath* Path, GpREAL X1, GpREAL Y1, GpREAL X2, GpREAL Y2) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LivePath(Path) || !Finite(X1, Y1, X2, Y2)) return gsInvalidParameter;
    TGPStatus S =
        AddPoint(Path, X1, Y1, Path->StartFigure ? PathPointTypeStart : PathPointTypeLine);
    if (S == gsOk) S = AddPoint(Path, X2, Y2, PathPointTypeLine);
    if (S == gsOk) Path->StartFigure = false;
    return S;
}

TGPStatus GdipAddPathBezier(GpPath* Path, GpREAL X1, GpREAL Y1, GpREAL X2, GpREAL Y2, GpREAL X3,
                            GpREAL Y3, GpREAL X4, GpREAL Y4) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LivePath(Path) || !Finite(X1, Y1, X2, Y2, X3, Y3, X4, Y4)) return gsInvalidParameter;
    const size_t Before = Path->Points.size();
    TGPStatus S =
        AddPoint(Path, X1, Y1, Path->StartFigure ? PathPointTypeStart : PathPointTypeLine);
    if (S == gsOk) S = AddPoint(Path, X2, Y2, PathPointTypeBezier);
    if (S == gsOk) S = AddPoint(Path, X3, Y3, PathPointTypeBezier);
    if (S == gsOk) S = AddPoint(Path, X4, Y4, PathPointTypeBezier);
    if (S != gsOk) {
        Path->Points.resize(Before);
        Path->Types.resize(Before);
        return S;
    }
    Path->StartFigure = false;
    return gsOk;
}

TGPStatus GdipStartPathFigure(GpPath* Path) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LivePath(Path)) return gsInvalidParameter;
    Path->StartFigure = true;
    return gsOk;
}

TGPStatus GdipClosePathFigure(GpPath* Path) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LivePath(Path)) return gsInvalidParameter;
    if (!Path->Types.empty() && !Path->StartFigure) Path->Types.back() |= PathPointTypeCloseSubpath;
    Path->StartFigure = true;
    return gsOk;
}

TGPStatus GdipSetPathFillMode(GpPath* Path, GpFillMode Mode) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LivePath(Path) || (Mode != FillModeAlternate && Mode != FillModeWinding))
        return gsInvalidParameter;
    Path->Fill = Mode;
    return gsOk;
}

TGPStatus GdipGetPointCount(GpPath* Path, int32_t* Count) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LivePath(Path) || !Count) return gsInvalidParameter;
    *Count = int32_t(std::min<size_t>(Path->Points.size(), INT32_MAX));
    return gsOk;
}

TGPStatus GdipGetPathWorldBounds(GpPath* Path, GpRectF* Bounds, const GpMatrix* Matrix,
                                 const GpPen* Pen) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LivePath(Path) || !Bounds || (Matrix && !LiveMatrix(Matrix)) || (Pen && !LivePen(Pen)))
        return gsInvalidParameter;
    if (Path->Points.empty()) {
        *Bounds = GpRectF{};
        return gsOk;
    }
    const TGpXForm M = Matrix ? Matrix->X : TGpXForm{};
    if (!M.Finite()) return gsInvalidParameter;
    const TDevicePath D = ToDevice(*Path, M);
    const size_t N = D.Types.size();
    double L = INFINITY, T = INFINITY, R = -INFINITY, B = -INFINITY;
    for (size_t I = 0; I < N; ++I) {
        const bool Curve =
            (D.Types[I] & PathPointTypePathTypeMask) == PathPointTypeBezier && I > 0 && I + 2 < N;
        if (Curve) {
            CubicRange(D.XY[2 * I - 2], D.XY[2 * I], D.XY[2 * I + 2], D.XY[2 * I + 4], L, R);
            CubicRange(D.XY[2 * I - 1], D.XY[2 * I + 1], D.XY[2 * I + 3], D.XY[2 * I + 5], T, B);
            I += 2;
        } else {
            L = std::min(L, D.XY[2 * I]), R = std::max(R, D.XY[2 * I]);
            T = std::min(T, D.XY[2 * I + 1]), B = std::max(B, D.XY[2 * I + 1]);
        }
    }
    if (Pen) {
        // Half the pen's width, through its transform, on every side.
        const TGpXForm& P = Pen->Transform;
        const double Scale = std::max(std::hypot(P.M11, P.M12), std::hypot(P.M21, P.M22));
        const double Half = Pen->Width * Scale / 2;
        L -= Half, T -= Half, R += Half, B += Half;
    }
    *Bounds = GpRectF{GpREAL(L), GpREAL(T), GpREAL(R - L), GpREAL(B - T)};
    return gsOk;
}

TGPStatus GdipFillPath(GpGraphics* Graphics, GpBrush* Brush, GpPath* Path) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveGraphics(Graphics) || !LiveBrush(Brush) || !LivePath(Path)) return gsInvalidParameter;
    if (Path->Points.empty()) return gsOk;
    TGpSource Source;
    Source.Brush = Brush;
    Source.WorldToDevice = WorldToDevice(*Graphics);
    TDevicePath D;
    try {
        D = ToDevice(*Path, Source.WorldToDevice);
    } catch (const std::bad_alloc&) {
        return gsOutOfMemory;
    }
    return Graphics->Device->Paint(StateOf(*Graphics), D, nullptr, Source);
}

TGPStatus GdipDrawPath(GpGraphics* Graphics, GpPen* Pen, GpPath* Path) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveGraphics(Graphics) || !LivePen(Pen) || !LivePath(Path)) return gsInvalidParameter;
    if (Path->Points.empty()) return gsOk;
    TGpSource Source;
    Source.Color = Pen->Color;
    Source.Brush = Pen->Brush.get();
    Source.WorldToDevice = WorldToDevice(*Graphics);
    TGpStroke Stroke;
    Stroke.Pen = Pen;
    if (Pen->Unit == UnitWorld) {
        Stroke.PenToDevice = Multiply(Pen->Transform.Linear(), Source.WorldToDevice.Linear());
    } else {
        double Dx = 96, Dy = 96;
        Graphics->Device->Resolution(Dx, Dy);
        Stroke.PenToDevice = Multiply(
            Pen->Transform.Linear(),
            TGpXForm{PixelsPerUnit(Pen->Unit, Dx), 0, 0, PixelsPerUnit(Pen->Unit, Dy), 0, 0});
    }
    TDevicePath D;
    try {
        D = ToDevice(*Path, Source.WorldToDevice);
    } catch (const std::bad_alloc&) {
        return gsOutOfMemory;
    }
    return Graphics->Device->Paint(StateOf(*Graphics), D, &Stroke, Source);
}

// ---- Brushes ----

TGPStatus GdipCreateSolidFill(GpARGB Color, GpSolidFill** Brush) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!Brush) return gsInvalidParameter;
    GpSolidFill* B = Register<GpSolidFill, GpBrush>(TGpKind::Brush);
    if (!B) return gsOutOfMemory;
    B->Kind = TGpBrushKind::Solid;
    B->Color = Color;
    *Brush = B;
    return gsOk;
}

TGPStatus GdipCreateLineBrush(const GpPointF* Point1, const GpPointF* Point2, GpARGB Color1,
                              GpARGB Color2, GpWrapMode Wrap, GpLineGradient** Brush) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!Point1 || !Point2 || !Brush || !Finite(Point1->X, Point1->Y, Point2->X, Point2->Y) ||
        Wrap < WrapModeTile || Wrap > WrapModeTileFlipXY)
        return gsInvalidParameter;
    if (Point1->X == Point2->X && Point1->Y == Point2->Y) return gsInvalidParameter;
    GpLineGradient* B = Register<GpLineGradient, GpBrush>(TGpKind::Brush);
    if (!B) return gsOutOfMemory;
    B->Kind = TGpBrushKind::LineGradient;
    B->Point1 = *Point1;
    B->Point2 = *Point2;
    B->Wrap = Wrap;
    B->Stops = {{Color1, 0}, {Color2, 1}};
    *Brush = B;
    return gsOk;
}

TGPStatus GdipSetLinePresetBlend(GpLineGradient* Brush, const GpARGB* Blend,
                                 const GpREAL* Positions, int32_t Count) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveBrush(Brush) || Brush->Kind != TGpBrushKind::LineGradient || !Blend || !Positions ||
        Count < 2)
        return gsInvalidParameter;
    // Positions run from 0 to 1 without going back.
    if (Positions[0] != 0 || Positions[Count - 1] != 1) return gsInvalidParameter;
    for (int32_t I = 0; I < Count; ++I)
        if (!Finite(Positions[I]) || (I > 0 && Positions[I] < Positions[I - 1]))
            return gsInvalidParameter;
    try {
        std::vector<TGpStop> Stops(static_cast<size_t>(Count));
        for (int32_t I = 0; I < Count; ++I) Stops[size_t(I)] = {Blend[I], Positions[I]};
        Brush->Stops = std::move(Stops);
    } catch (const std::bad_alloc&) {
        return gsOutOfMemory;
    }
    return gsOk;
}

TGPStatus GdipSetLineTransform(GpLineGradient* Brush, const GpMatrix* Matrix) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveBrush(Brush) || Brush->Kind != TGpBrushKind::LineGradient || !LiveMatrix(Matrix))
        return gsInvalidParameter;
    return SetTransform(Brush->Transform, Matrix->X);
}

TGPStatus GdipCreateTexture2(GpImage* Image, GpWrapMode Wrap, GpREAL X, GpREAL Y, GpREAL Width,
                             GpREAL Height, GpTexture** Texture) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!Texture || !IsLive(Image, TGpKind::Image) || !Finite(X, Y, Width, Height) ||
        Wrap < WrapModeTile || Wrap > WrapModeClamp)
        return gsInvalidParameter;
    auto* Bitmap = dynamic_cast<GpBitmap*>(Image);
    if (!Bitmap || Image->IsMetafile) return gsNotImplemented;
    const double X0 = std::nearbyint(X), Y0 = std::nearbyint(Y);
    const double W = std::nearbyint(Width), H = std::nearbyint(Height);
    if (X0 < 0 || Y0 < 0 || W < 1 || H < 1 || X0 + W > Bitmap->Width || Y0 + H > Bitmap->Height)
        return gsInvalidParameter;
    GpTexture* B = Register<GpTexture, GpBrush>(TGpKind::Brush);
    if (!B) return gsOutOfMemory;
    B->Kind = TGpBrushKind::Texture;
    B->Wrap = Wrap;
    B->TextureWidth = int(W);
    B->TextureHeight = int(H);
    try {
        // The brush keeps its own copy: the image may change or go.
        std::vector<uint32_t> Row(size_t(Bitmap->Width));
        B->Texture.resize(size_t(W) * size_t(H));
        for (int Y1 = 0; Y1 < int(H); ++Y1) {
            ReadRowPARGB(*Bitmap, int(Y0) + Y1, Row.data());
            std::copy_n(Row.begin() + ptrdiff_t(X0), size_t(W),
                        B->Texture.begin() + ptrdiff_t(size_t(Y1) * size_t(W)));
        }
    } catch (const std::bad_alloc&) {
        RemoveLive(static_cast<GpBrush*>(B), TGpKind::Brush);
        delete B;
        return gsOutOfMemory;
    }
    *Texture = B;
    return gsOk;
}

TGPStatus GdipSetTextureTransform(GpTexture* Texture, const GpMatrix* Matrix) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveBrush(Texture) || Texture->Kind != TGpBrushKind::Texture || !LiveMatrix(Matrix))
        return gsInvalidParameter;
    return SetTransform(Texture->Transform, Matrix->X);
}

TGPStatus GdipMultiplyTextureTransform(GpTexture* Texture, const GpMatrix* Matrix,
                                       GpMatrixOrder Order) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveBrush(Texture) || Texture->Kind != TGpBrushKind::Texture || !LiveMatrix(Matrix))
        return gsInvalidParameter;
    return Combine(Texture->Transform, Matrix->X, Order);
}

TGPStatus GdipScaleTextureTransform(GpTexture* Texture, GpREAL Sx, GpREAL Sy, GpMatrixOrder Order) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveBrush(Texture) || Texture->Kind != TGpBrushKind::Texture) return gsInvalidParameter;
    return Combine(Texture->Transform, TGpXForm{Sx, 0, 0, Sy, 0, 0}, Order);
}

TGPStatus GdipDeleteBrush(GpBrush* Brush) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!RemoveLive(Brush, TGpKind::Brush)) return gsInvalidParameter;
    delete Brush;
    return gsOk;
}

// ---- Pens ----

TGPStatus GdipCreatePen1(GpARGB Color, GpREAL Width, GpUnit Unit, GpPen** Pen) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!Pen || !Finite(Width) || Width < 0 || Unit == UnitDisplay || Unit < UnitWorld ||
        Unit > UnitMillimeter)
        return gsInvalidParameter;
    GpPen* P = Register<GpPen>(TGpKind::Pen);
    if (!P) return gsOutOfMemory;
    P->Color = Color;
    P->Width = Width;
    P->Unit = Unit;
    *Pen = P;
    return gsOk;
}

TGPStatus GdipCreatePen2(GpBrush* Brush, GpREAL Width, GpUnit Unit, GpPen** Pen) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveBrush(Brush)) return gsInvalidParameter;
    std::shared_ptr<const GpBrush> Copy;
    try {
        Copy = std::make_shared<const GpBrush>(*Brush);
    } catch (const std::bad_alloc&) {
        return gsOutOfMemory;
    }
    const TGPStatus Status = GdipCreatePen1(Brush->Color, Width, Unit, Pen);
    if (Status == gsOk) (*Pen)->Brush = std::move(Copy);
    return Status;
}

TGPStatus GdipDeletePen(GpPen* Pen) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!RemoveLive(Pen, TGpKind::Pen)) return gsInvalidParameter;
    delete Pen;
    return gsOk;
}

TGPStatus GdipSetPenDashArray(GpPen* Pen, const GpREAL* Dash, int32_t Count) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LivePen(Pen) || !Dash || Count <= 0) return gsInvalidParameter;
    double Sum = 0;
    for (int32_t I = 0; I < Count; ++I) {
        if (!Finite(Dash[I]) || Dash[I] < 0) return gsInvalidParameter;
        Sum += Dash[I];
    }
    if (!(Sum > 0) || !Finite(Sum)) return gsInvalidParameter;
    try {
        Pen->Dashes.assign(Dash, Dash + Count);
    } catch (const std::bad_alloc&) {
        return gsOutOfMemory;
    }
    return gsOk;
}

TGPStatus GdipSetPenDashOffset(GpPen* Pen, GpREAL Offset) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LivePen(Pen) || !Finite(Offset)) return gsInvalidParameter;
    Pen->DashOffset = Offset;
    return gsOk;
}

TGPStatus GdipSetPenLineJoin(GpPen* Pen, GpLineJoin Join) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LivePen(Pen) || Join < LineJoinMiter || Join > LineJoinMiterClipped)
        return gsInvalidParameter;
    Pen->Join = Join;
    return gsOk;
}

TGPStatus GdipSetPenStartCap(GpPen* Pen, GpLineCap Cap) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LivePen(Pen) || !ValidCap(Cap)) return gsInvalidParameter;
    Pen->StartCap = Cap;
    return gsOk;
}

TGPStatus GdipSetPenEndCap(GpPen* Pen, GpLineCap Cap) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LivePen(Pen) || !ValidCap(Cap)) return gsInvalidParameter;
    Pen->EndCap = Cap;
    return gsOk;
}

TGPStatus GdipSetPenMiterLimit(GpPen* Pen, GpREAL Limit) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LivePen(Pen) || !Finite(Limit)) return gsInvalidParameter;
    Pen->MiterLimit = std::max<double>(1, Limit);
    return gsOk;
}

TGPStatus GdipSetPenDashCap197819(GpPen* Pen, GpDashCap Cap) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LivePen(Pen) || (Cap != DashCapFlat && Cap != DashCapRound && Cap != DashCapTriangle))
        return gsInvalidParameter;
    Pen->DashCap = Cap;
    return gsOk;
}

TGPStatus GdipSetPenTransform(GpPen* Pen, GpMatrix* Matrix) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LivePen(Pen) || !LiveMatrix(Matrix)) return gsInvalidParameter;
    return SetTransform(Pen->Transform, Matrix->X);
}

TGPStatus GdipGetPenTransform(GpPen* Pen, GpMatrix* Matrix) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LivePen(Pen) || !LiveMatrix(Matrix)) return gsInvalidParameter;
    Matrix->X = Pen->Transform;
    return gsOk;
}

TGPStatus GdipResetPenTransform(GpPen* Pen) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LivePen(Pen)) return gsInvalidParameter;
    Pen->Transform = TGpXForm{};
    return gsOk;
}

TGPStatus GdipScalePenTransform(GpPen* Pen, GpREAL Sx, GpREAL Sy, GpMatrixOrder Order) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LivePen(Pen)) return gsInvalidParameter;
    return Combine(Pen->Transform, TGpXForm{Sx, 0, 0, Sy, 0, 0}, Order);
}

// ---- Matrices ----

TGPStatus GdipCreateMatrix2(GpREAL M11, GpREAL M12, GpREAL M21, GpREAL M22, GpREAL Dx, GpREAL Dy,
                            GpMatrix** Matrix) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!Matrix || !Finite(M11, M12, M21, M22, Dx, Dy)) return gsInvalidParameter;
    GpMatrix* M = Register<GpMatrix>(TGpKind::Matrix);
    if (!M) return gsOutOfMemory;
    M->X = TGpXForm{M11, M12, M21, M22, Dx, Dy};
    *Matrix = M;
    return gsOk;
}

TGPStatus GdipDeleteMatrix(GpMatrix* Matrix) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!RemoveLive(Matrix, TGpKind::Matrix)) return gsInvalidParameter;
    delete Matrix;
    return gsOk;
}

TGPStatus GdipGetMatrixElements(const GpMatrix* Matrix, GpREAL* Elements) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveMatrix(Matrix) || !Elements) return gsInvalidParameter;
    const TGpXForm& X = Matrix->X;
    const double E[6] = {X.M11, X.M12, X.M21, X.M22, X.Dx, X.Dy};
    for (int I = 0; I < 6; ++I) Elements[I] = GpREAL(E[I]);
    return gsOk;
}

TGPStatus GdipSetMatrixElements(GpMatrix* Matrix, GpREAL M11, GpREAL M12, GpREAL M21, GpREAL M22,
                                GpREAL Dx, GpREAL Dy) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveMatrix(Matrix) || !Finite(M11, M12, M21, M22, Dx, Dy)) return gsInvalidParameter;
    Matrix->X = TGpXForm{M11, M12, M21, M22, Dx, Dy};
    return gsOk;
}

TGPStatus GdipInvertMatrix(GpMatrix* Matrix) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveMatrix(Matrix) || !Matrix->X.Invertible()) return gsInvalidParameter;
    const TGpXForm R = Matrix->X.Inverse();
    if (!R.Finite()) return gsInvalidParameter;
    Matrix->X = R;
    return gsOk;
}

// ---- Image attributes and image drawing ----

TGPStatus GdipCreateImageAttributes(GpImageAttributes** Attributes) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!Attributes) return gsInvalidParameter;
    GpImageAttributes* A = Register<GpImageAttributes>(TGpKind::ImageAttributes);
    if (!A) return gsOutOfMemory;
    *Attributes = A;
    return gsOk;
}

TGPStatus GdipDisposeImageAttributes(GpImageAttributes* Attributes) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!RemoveLive(Attributes, TGpKind::ImageAttributes)) return gsInvalidParameter;
    delete Attributes;
    return gsOk;
}

TGPStatus GdipSetImageAttributesColorKeys(GpImageAttributes* Attributes, GpColorAdjustType Type,
                                          int32_t Enable, GpARGB Low, GpARGB High) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!IsLive(Attributes, TGpKind::ImageAttributes) || Type < ColorAdjustTypeDefault || Type > 4)
        return gsInvalidParameter;
    // Only images are drawn through attributes; other adjust types keep
    // nothing.
    if (Type > ColorAdjustTypeBitmap) return gsOk;
    Attributes->KeyEnabled = Enable != 0;
    Attributes->KeyLow = Low;
    Attributes->KeyHigh = High;
    return gsOk;
}

TGPStatus GdipSetImageAttributesColorMatrix(GpImageAttributes* Attributes, GpColorAdjustType Type,
                                            int32_t Enable, const GpColorMatrix* ColorMatrix,
                                            const GpColorMatrix* GrayMatrix,
                                            GpColorMatrixFlags Flags) {
    if (!Started()) return gsGdiplusNotInitialized;
    (void)GrayMatrix;
    if (!IsLive(Attributes, TGpKind::ImageAttributes) || Type < ColorAdjustTypeDefault || Type > 4)
        return gsInvalidParameter;
    if (Enable && !ColorMatrix) return gsInvalidParameter;
    if (Flags != ColorMatrixFlagsDefault) return gsNotImplemented;
    if (Enable)
        for (const auto& Row : ColorMatrix->m)
            for (GpREAL V : Row)
                if (!Finite(V)) return gsInvalidParameter;
    if (Type > ColorAdjustTypeBitmap) return gsOk;
    Attributes->MatrixEnabled = Enable != 0;
    if (Enable) Attributes->Matrix = *ColorMatrix;
    return gsOk;
}

namespace {

// Applies colour keys and the colour matrix to premultiplied pixels.
void Adjust(std::vector<uint32_t>& Pixels, const GpImageAttributes& A) {
    if (!A.KeyEnabled && !A.MatrixEnabled) return;
    auto Ch = [](uint32_t C, int Shift) { return (C >> Shift) & 0xFF; };
    for (uint32_t& P : Pixels) {
        uint32_t Alpha = P >> 24;
        double C[4] = {0, 0, 0, double(Alpha)};
        if (Alpha != 0)
            for (int I = 0; I < 3; ++I)
                C[I] = std::min(255.0, std::nearbyint(Ch(P, 16 - 8 * I) * 255.0 / Alpha));
        if (A.KeyEnabled) {
            bool In = true;
            for (int I = 0; I < 3; ++I)
                In = In && C[I] >= Ch(A.KeyLow, 16 - 8 * I) && C[I] <= Ch(A.KeyHigh, 16 - 8 * I);
            if (In) {
                P = 0;
                continue;
            }
        }
        if (A.MatrixEnabled) {
            double Out[4];
            for (int J = 0; J < 4; ++J) {
                double V = A.Matrix.m[4][J];
                for (int I = 0; I < 4; ++I) V += C[I] / 255.0 * A.Matrix.m[I][J];
                Out[J] = std::nearbyint(std::clamp(V, 0.0, 1.0) * 255);
            }
            std::copy(Out, Out + 4, C);
        }
        Alpha = uint32_t(C[3]);
        auto Pre = [Alpha](double V) { return (uint32_t(V) * Alpha + 127) / 255; };
        P = (Alpha << 24) | (Pre(C[0]) << 16) | (Pre(C[1]) << 8) | Pre(C[2]);
    }
}

// Draws the source rectangle (in pixels) of Image onto the parallelogram
// whose upper-left, upper-right and lower-left corners are Points (world).
TGPStatus DrawImageCore(GpGraphics* Graphics, GpImage* Image, const GpPointF* Points, double SrcX,
                        double SrcY, double SrcW, double SrcH,
                        const GpImageAttributes* Attributes) {
    if (!LiveGraphics(Graphics) || !IsLive(Image, TGpKind::Image) || !Points ||
        (Attributes && !IsLive(Attributes, TGpKind::ImageAttributes)))
        return gsInvalidParameter;
    if (Image->IsMetafile) return gsNotImplemented;
    auto* Bitmap = dynamic_cast<GpBitmap*>(Image);
    if (!Bitmap) return gsInvalidParameter;
    for (int I = 0; I < 3; ++I)
        if (!Finite(Points[I].X, Points[I].Y)) return gsInvalidParameter;
    if (!Finite(SrcX, SrcY, SrcW, SrcH) || SrcW == 0 || SrcH == 0) return gsInvalidParameter;

    const TGpXForm W2D = WorldToDevice(*Graphics);
    const TGpXForm Par{double(Points[1].X) - Points[0].X,
                       double(Points[1].Y) - Points[0].Y,
                       double(Points[2].X) - Points[0].X,
                       double(Points[2].Y) - Points[0].Y,
                       Points[0].X,
                       Points[0].Y};
    // Collinear corners cover nothing.
    const TGpXForm ParToDevice = Multiply(Par, W2D);
    if (!ParToDevice.Invertible() || std::fabs(ParToDevice.Det()) < 1e-9) return gsOk;

    // The source pixels, transparent where the rectangle leaves the image.
    const double IX0 = std::floor(std::min(SrcX, SrcX + SrcW));
    const double IY0 = std::floor(std::min(SrcY, SrcY + SrcH));
    const double IX1 = std::ceil(std::max(SrcX, SrcX + SrcW));
    const double IY1 = std::ceil(std::max(SrcY, SrcY + SrcH));
    // Each side is bounded too: a side of 0 would let the other be any size.
    const double Cap = double(GpBitmap::MaxPixels);
    if (!(IX1 - IX0 <= Cap) || !(IY1 - IY0 <= Cap) || (IX1 - IX0) * (IY1 - IY0) > Cap)
        return gsOutOfMemory;
    const int CW = int(IX1 - IX0), CH = int(IY1 - IY0);
    TGpSource Source;
    Source.ImageWidth = CW;
    Source.ImageHeight = CH;
    Source.WorldToDevice = W2D;
    const TGpXForm CopyToUnit{1 / SrcW, 0, 0, 1 / SrcH, (IX0 - SrcX) / SrcW, (IY0 - SrcY) / SrcH};
    Source.ImageToDevice = Multiply(CopyToUnit, ParToDevice);

    GpPath Shape;
    Shape.Points = {
        Points[0],
        Points[1],
        {Points[1].X + Points[2].X - Points[0].X, Points[1].Y + Points[2].Y - Points[0].Y},
        Points[2]};
    Shape.Types = {PathPointTypeStart, PathPointTypeLine, PathPointTypeLine,
                   PathPointTypeLine | PathPointTypeCloseSubpath};

    // The whole of a bitmap stored the way the rasteriser reads, with
    // nothing to adjust, is drawn from its own rows: a page-sized scan is
    // not copied pixel by pixel for every draw.
    const bool Adjusting = Attributes && (Attributes->KeyEnabled || Attributes->MatrixEnabled);
    const bool Whole = IX0 == 0 && IY0 == 0 && CW == Bitmap->Width && CH == Bitmap->Height;
    const bool InPlaceFormat = Bitmap->Format == PixelFormat24bppRGB ||
                               Bitmap->Format == PixelFormat32bppRGB ||
                               Bitmap->Format == PixelFormat32bppPARGB;
    if (!Adjusting && Whole && InPlaceFormat && Bitmap->Stride > 0 && Bitmap->Stride % 4 == 0 &&
        Bitmap->Stride <= INT32_MAX && reinterpret_cast<uintptr_t>(Bitmap->Scan0) % 4 == 0) {
        Source.Image = Bitmap->Scan0;
        Source.ImageStride = int(Bitmap->Stride);
        Source.ImageBits = Bitmap->Format == PixelFormat24bppRGB   ? TGpImageBits::BGR24
                           : Bitmap->Format == PixelFormat32bppRGB ? TGpImageBits::XRGB32
                                                                   : TGpImageBits::PARGB32;
        return Graphics->Device->Paint(StateOf(*Graphics), ToDevice(Shape, W2D), nullptr, Source);
    }

    std::vector<uint32_t> Copy, Row;
    try {
        Copy.assign(size_t(CW) * size_t(CH), 0);
        Row.resize(size_t(Bitmap->Width));
    } catch (const std::bad_alloc&) {
        return gsOutOfMemory;
    }
    for (int Y = 0; Y < CH; ++Y) {
        const double SY = IY0 + Y;
        if (SY < 0 || SY >= Bitmap->Height) continue;
        ReadRowPARGB(*Bitmap, int(SY), Row.data());
        for (int X = 0; X < CW; ++X) {
            const double SX = IX0 + X;
            if (SX >= 0 && SX < Bitmap->Width)
                Copy[size_t(Y) * size_t(CW) + size_t(X)] = Row[size_t(SX)];
        }
    }
    if (Attributes) Adjust(Copy, *Attributes);

    Source.Image = Copy.data();
    return Graphics->Device->Paint(StateOf(*Graphics), ToDevice(Shape, W2D), nullptr, Source);
}

// The size of Width × Height image pixels in world units at the image's
// resolution.
void NaturalSize(GpGraphics* G, const GpBitmap& B, double Width, double Height, double& W,
                 double& H) {
    double Dx = 96, Dy = 96;
    G->Device->Resolution(Dx, Dy);
    const double IX = B.DpiX > 0 && Finite(B.DpiX) ? B.DpiX : 96;
    const double IY = B.DpiY > 0 && Finite(B.DpiY) ? B.DpiY : 96;
    const TGpXForm Page = PageScale(*G);
    W = Width * Dx / IX / Page.M11;
    H = Height * Dy / IY / Page.M22;
}

}  // namespace

TGPStatus GdipDrawImageRect(GpGraphics* Graphics, GpImage* Image, GpREAL X, GpREAL Y, GpREAL Width,
                            GpREAL Height) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!IsLive(Image, TGpKind::Image)) return gsInvalidParameter;
    auto* B = dynamic_cast<GpBitmap*>(Image);
    if (!B) return Image->IsMetafile ? gsNotImplemented : gsInvalidParameter;
    const GpPointF P[3] = {{X, Y}, {X + Width, Y}, {X, Y + Height}};
    if (!Finite(X, Y, Width, Height)) return gsInvalidParameter;
    return DrawImageCore(Graphics, Image, P, 0, 0, B->Width, B->Height, nullptr);
}

TGPStatus GdipDrawImagePoints(GpGraphics* Graphics, GpImage* Image, const GpPointF* Points,
                              int32_t Count) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (Count != 3 || !Points || !IsLive(Image, TGpKind::Image)) return gsInvalidParameter;
    auto* B = dynamic_cast<GpBitmap*>(Image);
    if (!B) return Image->IsMetafile ? gsNotImplemented : gsInvalidParameter;
    return DrawImageCore(Graphics, Image, Points, 0, 0, B->Width, B->Height, nullptr);
}

TGPStatus GdipDrawImagePointsRect(GpGraphics* Graphics, GpImage* Image, const GpPointF* Points,
                                  int32_t Count, GpREAL SrcX, GpREAL SrcY, GpREAL SrcWidth,
                                  GpREAL SrcHeight, GpUnit SrcUnit,
                                  const GpImageAttributes* Attributes, GpDrawImageAbort Callback,
                                  void* CallbackData) {
    if (!Started()) return gsGdiplusNotInitialized;
    (void)Callback, (void)CallbackData;
    if (Count != 3 || !Points) return gsInvalidParameter;
    if (SrcUnit != UnitPixel) return gsNotImplemented;
    return DrawImageCore(Graphics, Image, Points, SrcX, SrcY, SrcWidth, SrcHeight, Attributes);
}

TGPStatus GdipDrawImageI(GpGraphics* Graphics, GpImage* Image, int32_t X, int32_t Y) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveGraphics(Graphics) || !IsLive(Image, TGpKind::Image)) return gsInvalidParameter;
    auto* B = dynamic_cast<GpBitmap*>(Image);
    if (!B) return Image->IsMetafile ? gsNotImplemented : gsInvalidParameter;
    double W, H;
    NaturalSize(Graphics, *B, B->Width, B->Height, W, H);
    const GpPointF P[3] = {
        {GpREAL(X), GpREAL(Y)}, {GpREAL(X + W), GpREAL(Y)}, {GpREAL(X), GpREAL(Y + H)}};
    return DrawImageCore(Graphics, Image, P, 0, 0, B->Width, B->Height, nullptr);
}

TGPStatus GdipDrawImageRectI(GpGraphics* Graphics, GpImage* Image, int32_t X, int32_t Y,
                             int32_t Width, int32_t Height) {
    if (!Started()) return gsGdiplusNotInitialized;
    return GdipDrawImageRect(Graphics, Image, GpREAL(X), GpREAL(Y), GpREAL(Width), GpREAL(Height));
}

TGPStatus GdipDrawImagePointRectI(GpGraphics* Graphics, GpImage* Image, int32_t X, int32_t Y,
                                  int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight,
                                  GpUnit SrcUnit) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveGraphics(Graphics) || !IsLive(Image, TGpKind::Image)) return gsInvalidParameter;
    if (SrcUnit != UnitPixel) return gsNotImplemented;
    auto* B = dynamic_cast<GpBitmap*>(Image);
    if (!B) return Image->IsMetafile ? gsNotImplemented : gsInvalidParameter;
    double W, H;
    NaturalSize(Graphics, *B, SrcWidth, SrcHeight, W, H);
    const GpPointF P[3] = {
        {GpREAL(X), GpREAL(Y)}, {GpREAL(X + W), GpREAL(Y)}, {GpREAL(X), GpREAL(Y + H)}};
    return DrawImageCore(Graphics, Image, P, SrcX, SrcY, SrcWidth, SrcHeight, nullptr);
}

// ---- Left for later ----

TGPStatus GdipRecordMetafileFileName(const GpWCHAR* FileName, HDC ReferenceDc, GpEmfType Type,
                                     const GpRectF* FrameRect, GpMetafileFrameUnit FrameUnit,
                                     const GpWCHAR* Description, GpMetafile** Metafile) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}


// Only EMF+-only recordings (type 4) of a frame in pixels are made: the
// records are the published EMF+ format, written by the metafile layer.
TGPStatus GdipRecordMetafileStream(GpIStream* Stream, HDC ReferenceDc, GpEmfType Type,
                                   const GpRectF* FrameRect, GpMetafileFrameUnit FrameUnit,
                                   const GpWCHAR* Description, GpMetafile** Metafile) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!Stream || !FrameRect || !Metafile) return gsInvalidParameter;
    const TGpRecordingFactory Factory = RecordingFactory();
    if (!Factory || Type != 4 || FrameUnit != UnitPixel) return gsNotImplemented;
    const double W = std::nearbyint(double(FrameRect->Width)),
                 H = std::nearbyint(double(FrameRect->Height));
    if (!std::isfinite(W) || !std::isfinite(H) || W < 1 || H < 1 || W > 1e6 || H > 1e6 ||
        W * H > double(GpBitmap::MaxPixels))
        return gsInvalidParameter;
    auto M = std::make_unique<TGpRecordedMetafile>();
    M->IsMetafile = true;
    M->Recording = Factory(int(W), int(H));
    if (!M->Recording) return gsOutOfMemory;
    if (!AddLive(static_cast<GpImage*>(M.get()), TGpKind::Image)) return gsOutOfMemory;
    Stream->AddRef();
    M->Stream = Stream;
    *Metafile = reinterpret_cast<GpMetafile*>(static_cast<GpImage*>(M.release()));
    return gsOk;
}

// ---- Fonts and driver strings ----

namespace {

bool LiveFont(const GpFont* F) { return IsLive(F, TGpKind::Font); }

int32_t ReadI32(const std::string& B, size_t At) {
    int32_t V;
    std::memcpy(&V, B.data() + At, 4);
    return V;
}
uint16_t ReadU16(const std::string& B, size_t At) {
    uint16_t V;
    std::memcpy(&V, B.data() + At, 2);
    return V;
}

// Appends a glyph's native outline records (pixels, y up) to Out, each point
// moved to the origin (OX, OY) of the text space (y down) and mapped by M.
// False when the records are malformed.
bool AppendGlyph(const std::string& R, double OX, double OY, const TGpXForm& M, TDevicePath& Out) {
    auto Add = [&](double X, double Y, uint8_t Type) {
        double DX, DY;
        M.Apply(OX + X, OY - Y, DX, DY);
        Out.XY.push_back(DX);
        Out.XY.push_back(DY);
        Out.Types.push_back(Type);
    };
    auto Fixed = [&](size_t At, double& X, double& Y) {
        X = ReadI32(R, At) / 65536.0;
        Y = ReadI32(R, At + 4) / 65536.0;
    };
    size_t At = 0;
    while (At < R.size()) {
        if (R.size() - At < 16) return false;
        const uint32_t Cb = uint32_t(ReadI32(R, At));
        if (Cb < 16 || Cb > R.size() - At) return false;
        const size_t End = At + Cb;
        double CX, CY;
        Fixed(At + 8, CX, CY);
        Add(CX, CY, PathPointTypeStart);
        size_t P = At + 16;
        while (P < End) {
            if (End - P < 4) return false;
            const uint16_t Type = ReadU16(R, P), Count = ReadU16(R, P + 2);
            P += 4;
            if (Count == 0 || (End - P) / 8 < Count) return false;
            std::vector<std::pair<double, double>> Pts(Count);
            for (uint16_t K = 0; K < Count; ++K)
                Fixed(P + 8 * size_t(K), Pts[K].first, Pts[K].second);
            P += 8 * size_t(Count);
            if (Type == 1) {  // lines
                for (auto [X, Y] : Pts) Add(X, Y, PathPointTypeLine), CX = X, CY = Y;
            } else if (Type == 2) {  // quadratic, on-curve points implied between controls
                for (size_t K = 0; K + 1 < Pts.size(); ++K) {
                    const auto [QX, QY] = Pts[K];
                    const bool Last = K + 2 == Pts.size();
                    const double EX = Last ? Pts[K + 1].first : (QX + Pts[K + 1].first) / 2;
                    const double EY = Last ? Pts[K + 1].second : (QY + Pts[K + 1].second) / 2;
                    Add(CX + 2.0 / 3 * (QX - CX), CY + 2.0 / 3 * (QY - CY), PathPointTypeBezier);
                    Add(EX + 2.0 / 3 * (QX - EX), EY + 2.0 / 3 * (QY - EY), PathPointTypeBezier);
                    Add(EX, EY, PathPointTypeBezier);
                    CX = EX;
                    CY = EY;
                }
            } else if (Type == 3) {  // cubic, three points a segment
                if (Count % 3 != 0) return false;
                for (auto [X, Y] : Pts) Add(X, Y, PathPointTypeBezier);
                CX = Pts.back().first;
                CY = Pts.back().second;
            } else {
                return false;
            }
        }
        Out.Types.back() |= PathPointTypeCloseSubpath;
        At = End;
    }
    return true;
}

}  // namespace

TGPStatus GdipCreateFontFromDC(HDC Dc, GpFont** Font) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!Font) return gsInvalidParameter;
    platform::TPlatformFont Selected;
    if (!platform::GetDCFont(Dc, Selected)) return gsInvalidParameter;
    auto Face = platform::TOutlineFace::Open(Selected);
    // A family that resolves to no installed face has nothing to draw with.
    if (!Face) return gsFontFamilyNotFound;
    GpFont* F = Register<GpFont>(TGpKind::Font);
    if (!F) return gsOutOfMemory;
    F->Font = Selected;
    F->Face = std::move(Face);
    *Font = F;
    return gsOk;
}

TGPStatus GdipDeleteFont(GpFont* Font) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!RemoveLive(Font, TGpKind::Font)) return gsInvalidParameter;
    delete Font;
    return gsOk;
}

TGPStatus GdipDrawDriverString(GpGraphics* Graphics, const uint16_t* Text, int32_t Length,
                               const GpFont* Font, const GpBrush* Brush, const GpPointF* Positions,
                               int32_t Flags, const GpMatrix* Matrix) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (!LiveGraphics(Graphics) || !LiveFont(Font) || !LiveBrush(Brush) || !Text || !Positions ||
        Length < 0 || (Matrix && !LiveMatrix(Matrix)))
        return gsInvalidParameter;
    constexpr int32_t kCmapLookup = 1, kRealizedAdvance = 4;
    TGpSource Source;
    Source.Brush = const_cast<GpBrush*>(Brush);
    Source.WorldToDevice = WorldToDevice(*Graphics);
    const TGpXForm M = Matrix ? Multiply(Matrix->X, Source.WorldToDevice) : Source.WorldToDevice;
    if (!M.Finite()) return gsInvalidParameter;
    TDevicePath Path;
    Path.Fill = FillModeWinding;
    double X = Positions[0].X, Y = Positions[0].Y;
    std::string Records;
    try {
        for (int32_t I = 0; I < Length; ++I) {
            if (!(Flags & kRealizedAdvance)) {
                X = Positions[I].X;
                Y = Positions[I].Y;
            }
            if (!Finite(X, Y)) return gsInvalidParameter;
            int16_t Advance = 0;
            if (Font->Face->NativeOutline(Text[I], !(Flags & kCmapLookup), Records, Advance) &&
                !AppendGlyph(Records, X, Y, M, Path))
                return gsGenericError;
            X += Advance;
        }
    } catch (const std::bad_alloc&) {
        return gsOutOfMemory;
    }
    if (Path.XY.empty()) return gsOk;
    return Graphics->Device->Paint(StateOf(*Graphics), Path, nullptr, Source);
}

}  // namespace velmo::gdiplus
