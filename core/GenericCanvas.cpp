#include "core/GenericCanvas.h"

#include <limits>

namespace velmo {

TPDFGenericShape::TPDFGenericShape()
    : FCommands(InitialSize), FCommandSize(InitialSize), FCommandCount(0) {}

void TPDFGenericShape::Append(TPDFGenericShapeCommandType Type, double X1, double Y1, double X2,
                              double Y2, double X3, double Y3) {
    FCommands[FCommandCount] = {Type, X1, Y1, X2, Y2, X3, Y3};
    ++FCommandCount;
    if (FCommandCount == FCommandSize) {
        if (FCommandSize > std::numeric_limits<int32_t>::max() / 2)
            throw std::length_error("Shape has too many commands");
        FCommandSize *= 2;
        FCommands.resize(static_cast<size_t>(FCommandSize));
    }
}

void TPDFGenericShape::MoveTo(double NewX, double NewY) { Append(ctMove, NewX, NewY); }

void TPDFGenericShape::AddLineToPath(double EndX, double EndY) { Append(ctLine, EndX, EndY); }

void TPDFGenericShape::AddBezierToPath(double CtAX, double CtAY, double CtBX, double CtBY,
                                       double EndX, double EndY) {
    Append(ctBezier, CtAX, CtAY, CtBX, CtBY, EndX, EndY);
}

void TPDFGenericShape::AddQBezierToPath(double QX, double QY, double EndX, double EndY) {
    Append(ctQBezier, QX, QY, EndX, EndY);
}

void TPDFGenericShape::ClosePath() { Append(ctClose); }
void TPDFGenericShape::StrokePath() { Append(ctStroke); }
void TPDFGenericShape::FillPath() { Append(ctFill); }
void TPDFGenericShape::StrokeAndFillPath() { Append(ctStrokeAndFill); }

namespace {

[[noreturn]] void Abstract() { throw EAbstractError("Abstract Error"); }

// How many of a command's coordinate pairs are points.
int PointCount(TPDFGenericShapeCommandType Type) {
    switch (Type) {
        case ctMove:
        case ctLine:
            return 1;
        case ctQBezier:
            return 2;
        case ctBezier:
            return 3;
        default:
            return 0;
    }
}

void MapPoints(const TPDFGenericShapeCommand& C, const TPDFXForm& Mat, TPDFDoublePoint (&Out)[3]) {
    const TPDFDoublePoint In[3] = {{C.X1, C.Y1}, {C.X2, C.Y2}, {C.X3, C.Y3}};
    const int N = PointCount(C.CommandType);
    for (int I = 0; I < N; ++I) TransformPoint(Mat, In[I], Out[I]);
}

}  // namespace

void TPDFGenericCanvas::BeginPath() { Abstract(); }
void TPDFGenericCanvas::MoveTo(double, double) { Abstract(); }
void TPDFGenericCanvas::AddLineToPath(double, double) { Abstract(); }
void TPDFGenericCanvas::AddBezierToPath(double, double, double, double, double, double) {
    Abstract();
}
void TPDFGenericCanvas::AddQBezierToPath(double, double, double, double) { Abstract(); }
void TPDFGenericCanvas::ClosePath() { Abstract(); }
void TPDFGenericCanvas::StrokePath() { Abstract(); }
void TPDFGenericCanvas::FillPath() { Abstract(); }
void TPDFGenericCanvas::StrokeAndFillPath() { Abstract(); }
void TPDFGenericCanvas::DrawBitmap(TBitmap*, double&, double&, double&, double&, double&, double&) {
    Abstract();
}
void TPDFGenericCanvas::SetCurrentXForm(const TPDFXForm&) {}
TPDFXForm TPDFGenericCanvas::GetCurrentXForm() { return TPDFXForm{}; }

void TPDFGenericCanvas::DrawShape(const TPDFGenericShape& Shape, const TPDFXForm& Mat) {
    const auto Commands = Shape.Commands();
    TPDFDoublePoint P[3];
    // A point that overflows raises here, before anything reaches the canvas.
    for (const auto& C : Commands) MapPoints(C, Mat, P);
    for (const auto& C : Commands) {
        MapPoints(C, Mat, P);
        switch (C.CommandType) {
            case ctBegin:
                BeginPath();
                break;
            case ctMove:
                MoveTo(P[0].X, P[0].Y);
                break;
            case ctLine:
                AddLineToPath(P[0].X, P[0].Y);
                break;
            case ctBezier:
                AddBezierToPath(P[0].X, P[0].Y, P[1].X, P[1].Y, P[2].X, P[2].Y);
                break;
            case ctQBezier:
                AddQBezierToPath(P[0].X, P[0].Y, P[1].X, P[1].Y);
                break;
            case ctClose:
                ClosePath();
                break;
            case ctStroke:
                StrokePath();
                break;
            case ctFill:
                FillPath();
                break;
            case ctStrokeAndFill:
                StrokeAndFillPath();
                break;
        }
    }
}

}  // namespace velmo
