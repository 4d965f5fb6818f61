#include "core/GenericCanvas.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace velmo {

TPDFGenericShape::TPDFGenericShape() : FCommandSize(InitialSize) {}

TPDFGenericShape::TPDFGenericShape(const TPDFGenericShape& Other)
    : FPoints(Other.FPoints),
      FMarks(Other.FMarks),
      FCommandSize(Other.FCommandSize),
      FMaxAbs(Other.FMaxAbs) {
    FTypes.reserve(static_cast<size_t>(FCommandSize));
    FTypes = Other.FTypes;
}

TPDFGenericShape& TPDFGenericShape::operator=(const TPDFGenericShape& Other) {
    if (this != &Other) {
        TPDFGenericShape Copy(Other);
        *this = std::move(Copy);
    }
    return *this;
}

void TPDFGenericShape::GrowCommands() {
    if (FCommandSize > std::numeric_limits<int32_t>::max() / 2)
        throw std::length_error("Shape has too many commands");
    FCommandSize *= 2;
    FTypes.reserve(static_cast<size_t>(FCommandSize));
}

void TPDFGenericShape::GrowPoints(size_t More) {
    // Geometric growth without filling: only appended points are written.
    FPoints.reserve(std::max({FPoints.size() + More, FPoints.capacity() * 2, size_t(32)}));
}

void TPDFGenericShape::Reserve(int32_t MoreCommands, size_t MorePoints) {
    if (MoreCommands > 0) {
        const int64_t Want = int64_t(FTypes.size()) + MoreCommands;
        int64_t Size = FCommandSize;
        while (Size <= Want) Size *= 2;
        if (Size > std::numeric_limits<int32_t>::max())
            throw std::length_error("Shape has too many commands");
        FCommandSize = static_cast<int32_t>(Size);
        FTypes.reserve(static_cast<size_t>(FCommandSize));
        const size_t Marks = static_cast<size_t>(Want) / kMarkEvery;
        if (Marks > FMarks.size()) FMarks.reserve(Marks);
    }
    if (MorePoints > FPoints.capacity() - FPoints.size())
        FPoints.reserve(FPoints.size() + MorePoints);
}

size_t TPDFGenericShapeCommands::size() const { return FShape->FTypes.size(); }

TPDFGenericShapeCommand TPDFGenericShapeCommands::iterator::operator*() const {
    const auto Type = FShape->FTypes[FIndex];
    TPDFGenericShapeCommand C;
    C.CommandType = Type;
    const TPDFDoublePoint* P = FShape->FPoints.data() + FPoint;
    double* Out[3][2] = {{&C.X1, &C.Y1}, {&C.X2, &C.Y2}, {&C.X3, &C.Y3}};
    for (int K = 0; K < GenericShapePointCount(Type); ++K) {
        *Out[K][0] = P[K].X;
        *Out[K][1] = P[K].Y;
    }
    return C;
}

TPDFGenericShapeCommands::iterator& TPDFGenericShapeCommands::iterator::operator++() {
    FPoint += static_cast<size_t>(GenericShapePointCount(FShape->FTypes[FIndex]));
    ++FIndex;
    return *this;
}

TPDFGenericShapeCommand TPDFGenericShapeCommands::operator[](size_t Index) const {
    if (Index >= size()) throw std::out_of_range("Shape command index out of range");
    const size_t Block = Index / TPDFGenericShape::kMarkEvery;
    iterator It(FShape, Block * TPDFGenericShape::kMarkEvery,
                Block == 0 ? 0 : FShape->FMarks[Block - 1]);
    while (It.FIndex < Index) ++It;
    return *It;
}

namespace {

[[noreturn]] void Abstract() { throw EAbstractError("Abstract Error"); }

// P mapped by Mat with TransformPoint's arithmetic, unchecked.
inline TPDFDoublePoint MapPoint(const TPDFXForm& Mat, const TPDFDoublePoint& P) {
    return {P.X * Mat.eM11 + P.Y * Mat.eM21 + Mat.eDx, P.X * Mat.eM12 + P.Y * Mat.eM22 + Mat.eDy};
}

// The same; a result that is not finite goes through TransformPoint so that
// it raises the same way.
inline void CheckedMapPoint(const TPDFXForm& Mat, const TPDFDoublePoint& P) {
    TPDFDoublePoint R = MapPoint(Mat, P);
    if (!std::isfinite(R.X) || !std::isfinite(R.Y)) TransformPoint(Mat, P, R);
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
    const auto Types = Shape.CommandTypes();
    const auto Points = Shape.Points();
    // A point that overflows raises here, before anything reaches the canvas.
    // No point can when every coordinate and the matrix are small enough.
    // Sums, not maxima, so that a NaN anywhere carries through to Reach.
    const double Reach = Shape.MaxAbs() * (std::fabs(Mat.eM11) + std::fabs(Mat.eM12) +
                                           std::fabs(Mat.eM21) + std::fabs(Mat.eM22)) +
                         std::fabs(Mat.eDx) + std::fabs(Mat.eDy);
    if (!(Reach < 1e300))
        for (const TPDFDoublePoint& P : Points) CheckedMapPoint(Mat, P);
    const TPDFDoublePoint* In = Points.data();
    for (const TPDFGenericShapeCommandType Type : Types) {
        TPDFDoublePoint P[3];
        const int N = GenericShapePointCount(Type);
        for (int K = 0; K < N; ++K) P[K] = MapPoint(Mat, In[K]);
        In += N;
        switch (Type) {
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
