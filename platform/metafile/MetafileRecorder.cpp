#include "platform/metafile/MetafileRecorder.h"

#include <algorithm>
#include <cmath>

#include "platform/gdi/Bitmap.h"
#include "platform/gdi/Canvas.h"
#include "platform/gdiplus/GraphicsCore.h"

namespace velmo::metafile {

using gdiplus::TDevicePath;
using gdiplus::TGpDevice;
using gdiplus::TGpDrawState;
using gdiplus::TGpSource;
using gdiplus::TGpStroke;
using gdiplus::TGpXForm;

namespace {

constexpr double CoordLimit = double(1 << 22);

// GDI+ device path to DC path points (rounded device pixels); false when a
// coordinate is not finite or out of range.
bool ToPoints(const TDevicePath& P, std::vector<TDcPathPoint>& Out) {
    Out.clear();
    const size_t N = std::min(P.Types.size(), P.XY.size() / 2);
    for (size_t I = 0; I < N; ++I) {
        const double X = P.XY[2 * I], Y = P.XY[2 * I + 1];
        if (!std::isfinite(X) || !std::isfinite(Y) || std::fabs(X) > CoordLimit ||
            std::fabs(Y) > CoordLimit)
            return false;
        const uint8_t T = P.Types[I];
        TDcPathPoint Q;
        Q.X = int(std::lround(X)), Q.Y = int(std::lround(Y));
        switch (T & PathPointTypePathTypeMask) {
            case PathPointTypeStart:
                Q.Op = TDcPathPoint::Move;
                break;
            case PathPointTypeBezier:
                Q.Op = TDcPathPoint::Bezier;
                break;
            default:
                Q.Op = TDcPathPoint::Line;
                break;
        }
        Out.push_back(Q);
        if (T & PathPointTypeCloseSubpath) Out.push_back({TDcPathPoint::Close, Q.X, Q.Y});
    }
    // Bézier runs must come in threes: anything else is drawn as raster.
    int Run = 0;
    for (const TDcPathPoint& Q : Out) {
        if (Q.Op == TDcPathPoint::Bezier)
            ++Run;
        else if (Run % 3)
            return false;
        else
            Run = 0;
    }
    return Run % 3 == 0;
}

int Figures(const TDevicePath& P) {
    int N = 0;
    for (uint8_t T : P.Types)
        if ((T & PathPointTypePathTypeMask) == PathPointTypeStart) ++N;
    return N;
}

// A paint the vector records can carry: an opaque solid colour, and for a
// stroke a pen that scales alike in every direction, without dashes.
bool OpaqueSolid(const TGpDrawState& State, const TGpSource& Source, const TGpStroke* Stroke,
                 uint32_t& Color, double& Width) {
    if (Source.Image) return false;
    if (Source.Brush && Source.Brush->Kind != TGpBrushKind::Solid) return false;
    Color = Source.Brush ? Source.Brush->Color : Source.Color;
    if ((Color >> 24) != 0xFF) return false;
    if (State.Clip && State.Clip->Empty) return false;
    Width = 0;
    if (Stroke) {
        const GpPen& Pen = *Stroke->Pen;
        if (!Pen.Dashes.empty() || Pen.StartCap != Pen.EndCap || Pen.StartCap == LineCapTriangle)
            return false;
        const TGpXForm L = Stroke->PenToDevice.Linear();
        const double Det = std::fabs(L.Det());
        if (!L.Finite() || !(Det > 1e-12) || !std::isfinite(Det)) return false;
        const double Scale = std::sqrt(Det);
        const double A = std::hypot(L.M11, L.M12), B = std::hypot(L.M21, L.M22);
        if (std::fabs(A - B) > 0.01 * Scale || std::fabs(L.M11 * L.M21 + L.M12 * L.M22) > 0.01 * Det)
            return false;
        Width = std::max(1.0, Pen.Width * Scale);
        if (!std::isfinite(Width) || Width > 1e5) return false;
    }
    return true;
}

void Bounds(const std::vector<double>& XY, double Pad, double& X0, double& Y0, double& X1,
            double& Y1) {
    double A = 1e300, B = 1e300, C = -1e300, D = -1e300;
    for (size_t I = 0; I + 1 < XY.size(); I += 2) {
        if (!std::isfinite(XY[I]) || !std::isfinite(XY[I + 1])) continue;
        A = std::min(A, XY[I]), C = std::max(C, XY[I]);
        B = std::min(B, XY[I + 1]), D = std::max(D, XY[I + 1]);
    }
    X0 = std::max(X0, A - Pad), Y0 = std::max(Y0, B - Pad);
    X1 = std::min(X1, C + Pad), Y1 = std::min(Y1, D + Pad);
}

// Paints one operation onto a transparent bitmap over its bounds within
// the limit rectangle: Px gets its premultiplied pixels, Box its place.
// False when it paints nothing.
bool Rasterise(const TGpDrawState& State, const TDevicePath* Path, const TGpStroke* Stroke,
               const TGpSource& Source, int LX0, int LY0, int LX1, int LY1,
               std::vector<uint32_t>& Px, RECT& Box) {
    double X0 = LX0, Y0 = LY0, X1 = LX1, Y1 = LY1;
    if (State.Clip && State.Clip->Empty) return false;
    if (State.Clip && !State.Clip->Infinite)
        for (const TDevicePath& Item : State.Clip->Items) Bounds(Item.XY, 2, X0, Y0, X1, Y1);
    if (Path) {
        double Pad = 2;
        if (Stroke) {
            const TGpXForm& L = Stroke->PenToDevice;
            const double Norm =
                std::fabs(L.M11) + std::fabs(L.M12) + std::fabs(L.M21) + std::fabs(L.M22);
            const double Miter = std::max(2.0, Stroke->Pen->MiterLimit);
            Pad += std::min(CoordLimit, std::max(1.0, Stroke->Pen->Width * Norm) * Miter) + 2;
        }
        Bounds(Path->XY, Pad, X0, Y0, X1, Y1);
    }
    if (!(X1 > X0) || !(Y1 > Y0)) return false;
    const int BX0 = int(std::floor(X0)), BY0 = int(std::floor(Y0));
    const int BX1 = int(std::ceil(X1)), BY1 = int(std::ceil(Y1));
    const int W = BX1 - BX0, H = BY1 - BY0;
    if (W <= 0 || H <= 0 || int64_t(W) * H > GpBitmap::MaxPixels) return false;
    TGPStatus Status = gsOk;
    GpBitmap* B = gdiplus::NewBitmap(W, H, PixelFormat32bppPARGB, Status);
    if (!B) return false;
    auto Device = gdiplus::NewBitmapDevice(B);
    // Everything moves by (−BX0, −BY0).
    auto Shift = [&](TDevicePath P) {
        for (size_t I = 0; I + 1 < P.XY.size(); I += 2) P.XY[I] -= BX0, P.XY[I + 1] -= BY0;
        return P;
    };
    TGpDrawState S = State;
    GpRegion ShiftedClip;
    if (State.Clip) {
        ShiftedClip = *State.Clip;
        for (TDevicePath& Item : ShiftedClip.Items) Item = Shift(Item);
        S.Clip = &ShiftedClip;
    }
    TGpSource Src = Source;
    Src.WorldToDevice.Dx -= BX0, Src.WorldToDevice.Dy -= BY0;
    Src.ImageToDevice.Dx -= BX0, Src.ImageToDevice.Dy -= BY0;
    if (Path) {
        const TDevicePath Moved = Shift(*Path);
        Device->Paint(S, Moved, Stroke, Src);
    } else {
        Device->Clear(S, Source.Color);
    }
    Px.assign(size_t(W) * size_t(H), 0);
    bool Any = false;
    for (int Y = 0; Y < H; ++Y) {
        gdiplus::ReadRowPARGB(*B, Y, Px.data() + size_t(Y) * size_t(W));
        if (!Any)
            for (int X = 0; X < W && !Any; ++X) Any = (Px[size_t(Y) * size_t(W) + size_t(X)] >> 24) != 0;
    }
    Device.reset();
    gdiplus::DisposeLiveImage(B);
    Box = RECT{BX0, BY0, BX1, BY1};
    return Any;
}

// The GDI+ device of a recording DC: draws on the DC's bitmap as the
// raster device does and records the operation.
class TEmfGpDevice : public TGpDevice {
public:
    TEmfGpDevice(HDC Dc, std::shared_ptr<TEmfRecorder> Recorder)
        : FRaster(gdiplus::NewRasterDcDevice(Dc)), FRecorder(std::move(Recorder)) {}
    void Resolution(double& DpiX, double& DpiY) override { FRaster->Resolution(DpiX, DpiY); }
    bool Size(int& Width, int& Height) override { return FRaster->Size(Width, Height); }
    bool ClipBox(int& X0, int& Y0, int& X1, int& Y1) override {
        return FRaster->ClipBox(X0, Y0, X1, Y1);
    }
    TGPStatus Paint(const TGpDrawState& State, const TDevicePath& Path, const TGpStroke* Stroke,
                    const TGpSource& Source) override {
        const TGPStatus Status = FRaster->Paint(State, Path, Stroke, Source);
        if (Status != gsOk) return Status;
        uint32_t Color = 0;
        double Width = 0;
        if (OpaqueSolid(State, Source, Stroke, Color, Width)) {
            std::vector<TEmfRecorder::TFigurePath> Clip;
            TEmfRecorder::TFigurePath Shape;
            bool Ok = ToPoints(Path, Shape.Points);
            Shape.FillMode = Path.Fill == FillModeAlternate ? ALTERNATE : WINDING;
            if (Ok && State.Clip && !State.Clip->Infinite)
                for (const TDevicePath& Item : State.Clip->Items) {
                    Clip.emplace_back();
                    Clip.back().FillMode = Item.Fill == FillModeAlternate ? ALTERNATE : WINDING;
                    Ok = Ok && ToPoints(Item, Clip.back().Points);
                }
            if (Ok) {
                const COLORREF C = ((Color >> 16) & 0xFF) | (Color & 0xFF00) | ((Color & 0xFF) << 16);
                uint32_t Style = PS_GEOMETRIC;
                if (Stroke) {
                    const GpPen& Pen = *Stroke->Pen;
                    Style |= Pen.StartCap == LineCapRound    ? PS_ENDCAP_ROUND
                             : Pen.StartCap == LineCapSquare ? PS_ENDCAP_SQUARE
                                                             : PS_ENDCAP_FLAT;
                    Style |= Pen.Join == LineJoinRound   ? PS_JOIN_ROUND
                             : Pen.Join == LineJoinBevel ? PS_JOIN_BEVEL
                                                         : PS_JOIN_MITER;
                }
                FRecorder->VectorPaint(Clip, Shape, Stroke == nullptr, C, Style,
                                       uint32_t(std::lround(Width)));
                return gsOk;
            }
        }
        Raster(State, &Path, Stroke, Source);
        return gsOk;
    }
    TGPStatus Clear(const TGpDrawState& State, GpARGB Color) override {
        const TGPStatus Status = FRaster->Clear(State, Color);
        if (Status != gsOk) return Status;
        TGpSource Source;
        Source.Color = Color;
        Raster(State, nullptr, nullptr, Source);
        return gsOk;
    }

private:
    void Raster(const TGpDrawState& State, const TDevicePath* Path, const TGpStroke* Stroke,
                const TGpSource& Source) {
        int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
        if (!FRaster->ClipBox(X0, Y0, X1, Y1)) return;
        std::vector<uint32_t> Px;
        RECT Box;
        if (Rasterise(State, Path, Stroke, Source, X0, Y0, X1, Y1, Px, Box))
            FRecorder->PlaceBitmap(Box.left, Box.top, Box.right - Box.left, Box.bottom - Box.top, Px);
    }

    std::unique_ptr<TGpDevice> FRaster;
    std::shared_ptr<TEmfRecorder> FRecorder;
};

// ---- EMF+ ----

struct TEmfPlusState {
    std::mutex Lock;
    TEmfPlusWriter Writer;
    int Width, Height;
    bool Finished = false;
    bool ClipSet = false;
    TEmfPlusState(int W, int H) : Writer(W, H), Width(W), Height(H) {}
};

std::vector<float> FloatPoints(const TDevicePath& P, bool& Ok) {
    std::vector<float> XY(P.Types.size() * 2);
    Ok = P.XY.size() >= XY.size();
    for (size_t I = 0; Ok && I < XY.size(); ++I) {
        const double V = P.XY[I];
        Ok = std::isfinite(V) && std::fabs(V) <= CoordLimit;
        XY[I] = float(V);
    }
    return XY;
}

class TEmfPlusGpDevice : public TGpDevice {
public:
    explicit TEmfPlusGpDevice(std::shared_ptr<TEmfPlusState> State) : FState(std::move(State)) {}
    void Resolution(double& DpiX, double& DpiY) override { DpiX = DpiY = 96; }
    bool Size(int& Width, int& Height) override {
        Width = FState->Width, Height = FState->Height;
        return true;
    }
    bool ClipBox(int& X0, int& Y0, int& X1, int& Y1) override {
        X0 = Y0 = 0;
        return Size(X1, Y1);
    }
    TGPStatus Paint(const TGpDrawState& State, const TDevicePath& Path, const TGpStroke* Stroke,
                    const TGpSource& Source) override {
        uint32_t Color = 0;
        double Width = 0;
        // The records carry no fill mode: paths of several figures filled by
        // the winding rule are placed as raster.
        auto Plain = [](const TDevicePath& P) {
            return P.Fill == FillModeAlternate || Figures(P) <= 1;
        };
        bool Vector = OpaqueSolid(State, Source, Stroke, Color, Width) && (Stroke || Plain(Path));
        if (Vector && State.Clip && !State.Clip->Infinite)
            for (const TDevicePath& Item : State.Clip->Items) Vector = Vector && Plain(Item);
        if (Vector) {
            bool Ok = true;
            const std::vector<float> XY = FloatPoints(Path, Ok);
            std::vector<std::vector<float>> ClipXY;
            if (State.Clip && !State.Clip->Infinite)
                for (const TDevicePath& Item : State.Clip->Items) {
                    bool ItemOk = true;
                    ClipXY.push_back(FloatPoints(Item, ItemOk));
                    Ok = Ok && ItemOk;
                }
            if (Ok) {
                std::lock_guard<std::mutex> Guard(FState->Lock);
                if (FState->Finished) return gsOk;
                TEmfPlusWriter& W = FState->Writer;
                if (!ClipXY.empty()) {
                    for (size_t I = 0; I < ClipXY.size(); ++I) {
                        W.PathObject(2, ClipXY[I], State.Clip->Items[I].Types);
                        W.SetClipPath(2, I == 0 ? 0 : 1);
                    }
                    FState->ClipSet = true;
                } else if (FState->ClipSet) {
                    W.ResetClip();
                    FState->ClipSet = false;
                }
                W.PathObject(0, XY, Path.Types);
                if (Stroke) {
                    const GpPen& Pen = *Stroke->Pen;
                    W.PenObject(1, Color, float(Width), Pen.Join, Pen.StartCap, Pen.EndCap,
                                float(std::max(1.0, Pen.MiterLimit)));
                    W.DrawPath(0, 1);
                } else {
                    W.FillPath(0, Color);
                }
                return gsOk;
            }
        }
        Raster(State, &Path, Stroke, Source);
        return gsOk;
    }
    TGPStatus Clear(const TGpDrawState& State, GpARGB Color) override {
        TGpSource Source;
        Source.Color = Color;
        Raster(State, nullptr, nullptr, Source);
        return gsOk;
    }

private:
    void Raster(const TGpDrawState& State, const TDevicePath* Path, const TGpStroke* Stroke,
                const TGpSource& Source) {
        std::vector<uint32_t> Px;
        RECT Box;
        if (!Rasterise(State, Path, Stroke, Source, 0, 0, FState->Width, FState->Height, Px, Box))
            return;
        std::lock_guard<std::mutex> Guard(FState->Lock);
        if (FState->Finished) return;
        TEmfPlusWriter& W = FState->Writer;
        if (FState->ClipSet) {
            W.ResetClip();
            FState->ClipSet = false;
        }
        const int Bw = Box.right - Box.left, Bh = Box.bottom - Box.top;
        W.ImageObject(3, Px.data(), Bw, Bh);
        W.DrawImage(3, float(Box.left), float(Box.top), float(Bw), float(Bh), Bw, Bh);
    }

    std::shared_ptr<TEmfPlusState> FState;
};

class TEmfPlusRecording : public gdiplus::TGpRecording {
public:
    TEmfPlusRecording(int Width, int Height)
        : FState(std::make_shared<TEmfPlusState>(Width, Height)) {}
    std::unique_ptr<TGpDevice> NewDevice() override {
        return std::make_unique<TEmfPlusGpDevice>(FState);
    }
    std::string Finish() override {
        std::lock_guard<std::mutex> Guard(FState->Lock);
        if (FState->Finished) return {};
        FState->Finished = true;
        return FState->Writer.Finish();
    }

private:
    std::shared_ptr<TEmfPlusState> FState;
};

std::unique_ptr<TGpDevice> RecordingDcDevice(HDC Dc) {
    auto Recorder = std::dynamic_pointer_cast<TEmfRecorder>(GetDcRecorder(Dc));
    if (!Recorder) return nullptr;
    return std::make_unique<TEmfGpDevice>(Dc, std::move(Recorder));
}

std::unique_ptr<gdiplus::TGpRecording> NewEmfPlusRecording(int Width, int Height) {
    return std::make_unique<TEmfPlusRecording>(Width, Height);
}

}  // namespace

void InstallMetafileRecording() {
    static std::once_flag Once;
    std::call_once(Once, [] { gdiplus::SetRecordingHooks(RecordingDcDevice, NewEmfPlusRecording); });
}

// ---- EMF recorder ----

TEmfRecorder::TEmfRecorder(int Width, int Height) : FEmf(Width, Height) {
    FEmf.Value(EMR_SETBKMODE, 1);  // transparent
}

void TEmfRecorder::UseFillMode(int Mode) {
    if (FFillMode == Mode) return;
    FFillMode = Mode;
    FEmf.Value(EMR_SETPOLYFILLMODE, uint32_t(Mode));
}

void TEmfRecorder::UsePen(uint32_t Style, uint32_t Width, COLORREF Color, bool Geometric) {
    if (Style == uint32_t(PS_NULL)) {
        if (FHasPen && FPenNull) return;
        FEmf.Select(StockObjectFlag | NULL_PEN);
        if (FPen) FEmf.Delete(FPen), FPen = 0;
        FHasPen = true, FPenNull = true;
        return;
    }
    if (FHasPen && !FPenNull && FPen && FPenStyle == Style && FPenWidth == Width &&
        FPenColor == Color)
        return;
    const uint32_t H = Geometric ? FEmf.ExtCreatePen(Style, Width, Color)
                                 : FEmf.CreatePen(Style, Width, Color);
    FEmf.Select(H);
    if (FPen) FEmf.Delete(FPen);
    FPen = H, FPenStyle = Style, FPenWidth = Width, FPenColor = Color;
    FHasPen = true, FPenNull = false;
}

void TEmfRecorder::UseBrush(bool Hollow, COLORREF Color) {
    if (Hollow) {
        if (FHasBrush && FBrushHollow) return;
        FEmf.Select(StockObjectFlag | NULL_BRUSH);
        if (FBrush) FEmf.Delete(FBrush), FBrush = 0;
        FHasBrush = true, FBrushHollow = true;
        return;
    }
    if (FHasBrush && !FBrushHollow && FBrush && FBrushColor == Color) return;
    const uint32_t H = FEmf.CreateBrush(false, Color);
    FEmf.Select(H);
    if (FBrush) FEmf.Delete(FBrush);
    FBrush = H, FBrushColor = Color;
    FHasBrush = true, FBrushHollow = false;
}

void TEmfRecorder::PathRecords(const std::vector<TDcPathPoint>& Path) {
    FEmf.Simple(EMR_BEGINPATH);
    size_t I = 0;
    while (I < Path.size()) {
        const TDcPathPoint& Q = Path[I];
        switch (Q.Op) {
            case TDcPathPoint::Move:
                FEmf.Point(EMR_MOVETOEX, Q.X, Q.Y);
                ++I;
                break;
            case TDcPathPoint::Close:
                FEmf.Simple(EMR_CLOSEFIGURE);
                ++I;
                break;
            case TDcPathPoint::Line:
            case TDcPathPoint::Bezier: {
                std::vector<POINT> Run;
                const TDcPathPoint::TOp Op = Q.Op;
                while (I < Path.size() && Path[I].Op == Op && Run.size() < 16383 * 3) {
                    Run.push_back(POINT{Path[I].X, Path[I].Y});
                    ++I;
                }
                if (Op == TDcPathPoint::Bezier) {
                    const size_t Keep = Run.size() - Run.size() % 3;
                    Run.resize(Keep);
                    if (!Run.empty()) FEmf.Points(EMR_POLYBEZIERTO, Run);
                } else {
                    FEmf.Points(EMR_POLYLINETO, Run);
                }
                break;
            }
        }
    }
    FEmf.Simple(EMR_ENDPATH);
}

void TEmfRecorder::PathPainted(const std::vector<TDcPathPoint>& Path, int What, int FillMode,
                               const TDcPenInfo& Pen, const TDcBrushInfo& Brush) {
    std::lock_guard<std::mutex> Guard(FLock);
    if (FFinished || Path.empty()) return;
    const bool Fill = (What & 1) && !Brush.Hollow;
    const bool Stroke = (What & 2) && Pen.Style != PS_NULL;
    if (!Fill && !Stroke) return;
    UseFillMode(FillMode);
    if (Stroke)
        UsePen(PS_SOLID, uint32_t(std::max(Pen.Width, 0)), Pen.Color, false);
    else
        UsePen(PS_NULL, 0, 0, false);
    UseBrush(!Fill, Brush.Color);
    PathRecords(Path);
    FEmf.Bounds(Fill && Stroke ? EMR_STROKEANDFILLPATH : Fill ? EMR_FILLPATH : EMR_STROKEPATH);
}

void TEmfRecorder::PixelsChanged(const TBitmap& Bitmap, const RECT& Area) {
    std::lock_guard<std::mutex> Guard(FLock);
    if (FFinished) return;
    FEmf.StretchDIBits(Area.left, Area.top, Area.right - Area.left, Area.bottom - Area.top,
                       DibFromBitmap(Bitmap, Area));
}

void TEmfRecorder::ClipChanged(const std::vector<RECT>* Rects) {
    std::lock_guard<std::mutex> Guard(FLock);
    if (FFinished) return;
    FEmf.ClipRegion(Rects);
}

void TEmfRecorder::VectorPaint(const std::vector<TFigurePath>& Clip, const TFigurePath& Path,
                               bool Fill, COLORREF Color, uint32_t PenStyle, uint32_t PenWidth) {
    std::lock_guard<std::mutex> Guard(FLock);
    if (FFinished || Path.Points.empty()) return;
    // Objects are chosen before the saved state, so restoring it never
    // selects an object that was deleted meanwhile.
    if (Fill) {
        UsePen(PS_NULL, 0, 0, false);
        UseBrush(false, Color);
    } else {
        UsePen(PenStyle, std::max<uint32_t>(PenWidth, 1), Color, true);
        UseBrush(true, 0);
    }
    if (!Clip.empty()) {
        FEmf.Simple(EMR_SAVEDC);
        for (const TFigurePath& C : Clip) {
            UseFillMode(C.FillMode);
            PathRecords(C.Points);
            FEmf.Value(EMR_SELECTCLIPPATH, RGN_AND);
        }
    }
    UseFillMode(Path.FillMode);
    PathRecords(Path.Points);
    FEmf.Bounds(Fill ? EMR_FILLPATH : EMR_STROKEPATH);
    if (!Clip.empty()) {
        FEmf.Value(EMR_RESTOREDC, uint32_t(-1));
        FFillMode = 0;  // restored with the state: set again when next needed
    }
}

void TEmfRecorder::PlaceBitmap(int X, int Y, int W, int H, const std::vector<uint32_t>& PARGB) {
    std::lock_guard<std::mutex> Guard(FLock);
    if (FFinished || W <= 0 || H <= 0) return;
    bool Opaque = true;
    for (uint32_t P : PARGB)
        if ((P >> 24) != 0xFF) {
            Opaque = false;
            break;
        }
    if (Opaque) {
        // Opaque rows need no alpha: 24-bit bits for a plain bitmap draw.
        TBitmap B(W, H, pf24bit);
        for (int Yy = 0; Yy < H; ++Yy)
            for (int Xx = 0; Xx < W; ++Xx) {
                const uint32_t P = PARGB[size_t(Yy) * size_t(W) + size_t(Xx)];
                B.SetPixel(Xx, Yy, RGB(uint8_t(P >> 16), uint8_t(P >> 8), uint8_t(P)));
            }
        FEmf.StretchDIBits(X, Y, W, H, DibFromBitmap(B, RECT{0, 0, W, H}));
    } else {
        FEmf.AlphaBlend(X, Y, W, H, DibFromPremultiplied(PARGB.data(), W, H));
    }
}

std::string TEmfRecorder::Finish() {
    std::lock_guard<std::mutex> Guard(FLock);
    if (FFinished) return {};
    FFinished = true;
    // Objects still selected are left to the reader, as recorders do; the
    // stock objects are put back so every made object can be deleted.
    if (FPen) {
        FEmf.Select(StockObjectFlag | BLACK_PEN);
        FEmf.Delete(FPen);
    }
    if (FBrush) {
        FEmf.Select(StockObjectFlag | WHITE_BRUSH);
        FEmf.Delete(FBrush);
    }
    return FEmf.Finish();
}

// ---- Recording DC ----

TEmfRecordingDc::TEmfRecordingDc(int Width, int Height)
    : FBitmap(std::make_unique<TBitmap>(std::max(Width, 1), std::max(Height, 1), pf24bit)),
      FRecorder(std::make_shared<TEmfRecorder>(std::max(Width, 1), std::max(Height, 1))) {
    InstallMetafileRecording();
    {
        TCanvasLock Lock(FBitmap->Canvas());
        FBitmap->Canvas().Brush().Color = clWhite;
        FBitmap->Canvas().Brush().Style = bsSolid;
        FBitmap->Canvas().FillRect(RECT{0, 0, FBitmap->Width(), FBitmap->Height()});
    }
    FDc = CreateCompatibleDC(nullptr);
    FObject = AttachBitmapObject(*FBitmap);
    if (FDc && FObject) FOld = SelectObject(FDc, FObject);
    if (FDc) SetDcRecorder(FDc, FRecorder);
}

TEmfRecordingDc::~TEmfRecordingDc() {
    if (FDc) {
        SetDcRecorder(FDc, nullptr);
        if (FOld) SelectObject(FDc, FOld);
        DeleteDC(FDc);
    }
    if (FObject) DetachBitmapObject(FObject);
}

std::string TEmfRecordingDc::Finish() {
    if (FDc) SetDcRecorder(FDc, nullptr);
    return FRecorder->Finish();
}

}  // namespace velmo::metafile
