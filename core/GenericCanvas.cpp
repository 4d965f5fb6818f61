#include "core/GenericCanvas.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace velmo {

TPDFGenericShape::TPDFGenericShape() : FCommandSize(InitialSize) {}

TPDFGenericShape::TPDFGenericShape(const TPDFGenericShape& Other)
    : FNarrow(Other.FNarrow),
      FWide(Other.FWide),
      FIsWide(Other.FIsWide),
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
    const size_t Count = PointCount();
    const size_t Room =
        std::max({Count + More, (FIsWide ? FWide.capacity() : FNarrow.capacity()) * 2, size_t(16)});
    if (FIsWide)
        FWide.reserve(Room);
    else
        FNarrow.reserve(Room);
}

void TPDFGenericShape::Widen(size_t More) {
    std::vector<TPDFDoublePoint> Wide;
    Wide.reserve(std::max(FNarrow.capacity(), FNarrow.size() + More));
    for (const TSinglePoint& P : FNarrow) Wide.push_back({P.X, P.Y});
    FWide = std::move(Wide);
    FIsWide = true;
    std::vector<TSinglePoint>().swap(FNarrow);
}

void TPDFGenericShape::AppendCommands(std::span<const TPDFGenericShapeCommandType> Types,
                                      std::span<const TPDFDoublePoint> Points) {
    size_t Need = 0;
    for (const auto T : Types) Need += static_cast<size_t>(GenericShapePointCount(T));
    if (Need != Points.size())
        throw std::invalid_argument("Shape commands and points do not agree");
    if (Types.empty()) return;
    const size_t Count = FTypes.size();
    const size_t PointsBefore = PointCount();
    if (Count + Types.size() > size_t(std::numeric_limits<int32_t>::max()))
        throw std::length_error("Shape has too many commands");

    // Everything that may allocate or raise comes first, so that a failure
    // leaves the shape as it was.
    int64_t Size = FCommandSize;
    while (Size <= int64_t(Count + Types.size())) Size *= 2;
    if (Size > std::numeric_limits<int32_t>::max())
        throw std::length_error("Shape has too many commands");
    // Written without branches, so that the compiler can vectorise it.
    bool Fits = true, AnyNaN = false;
    double MaxAbs = FMaxAbs;
    for (const TPDFDoublePoint& Q : Points) {
        Fits &= FitsFloat(Q.X) & FitsFloat(Q.Y);
        AnyNaN |= (Q.X != Q.X) | (Q.Y != Q.Y);
        MaxAbs = std::max(MaxAbs, std::max(std::fabs(Q.X), std::fabs(Q.Y)));
    }
    // A NaN counts as infinite, so that it always makes DrawShape check.
    if (AnyNaN) MaxAbs = HUGE_VAL;
    Fits &= !FIsWide;
    FTypes.reserve(static_cast<size_t>(Size));
    FMarks.reserve((Count + Types.size() - 1) / kMarkEvery);
    if (!FIsWide && !Fits) Widen(Points.size());
    if (FIsWide)
        FWide.reserve(PointsBefore + Points.size());
    else
        FNarrow.reserve(PointsBefore + Points.size());

    // Nothing below allocates.
    FCommandSize = static_cast<int32_t>(Size);
    FMaxAbs = MaxAbs;
    size_t At = PointsBefore;
    // Short shapes have no marks to write.
    const size_t Marked = Count + Types.size() > kMarkEvery ? Types.size() : 0;
    for (size_t I = 0; I < Marked; ++I) {
        if ((Count + I) % kMarkEvery == 0 && Count + I > 0) FMarks.push_back(At);
        At += static_cast<size_t>(GenericShapePointCount(Types[I]));
    }
    FTypes.insert(FTypes.end(), Types.begin(), Types.end());
    if (FIsWide)
        FWide.insert(FWide.end(), Points.begin(), Points.end());
    else
        FNarrow.insert(FNarrow.end(), Points.begin(), Points.end());
}

size_t TPDFGenericShapeCommands::size() const { return FShape->FTypes.size(); }

TPDFGenericShapeCommand TPDFGenericShapeCommands::iterator::operator*() const {
    const auto Type = FShape->FTypes[FIndex];
    TPDFGenericShapeCommand C;
    C.CommandType = Type;
    double* Out[3][2] = {{&C.X1, &C.Y1}, {&C.X2, &C.Y2}, {&C.X3, &C.Y3}};
    for (int K = 0; K < GenericShapePointCount(Type); ++K) {
        const TPDFDoublePoint P = FShape->Point(FPoint + static_cast<size_t>(K));
        *Out[K][0] = P.X;
        *Out[K][1] = P.Y;
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

namespace {

// Replays Types onto Canvas with the points that Read(0), Read(1), ...
// gives, each mapped by Mat.
template <class TRead>
void Replay(TPDFGenericCanvas& Canvas, std::span<const TPDFGenericShapeCommandType> Types,
            size_t PointCount, double MaxAbs, const TPDFXForm& Mat, TRead Read) {
    // A point that overflows raises here, before anything reaches the canvas.
    // No point can when every coordinate and the matrix are small enough;
    // sums, not maxima, so that a NaN anywhere carries through to Reach.
    const double Reach = MaxAbs * (std::fabs(Mat.eM11) + std::fabs(Mat.eM12) + std::fabs(Mat.eM21) +
                                   std::fabs(Mat.eM22)) +
                         std::fabs(Mat.eDx) + std::fabs(Mat.eDy);
    if (!(Reach < 1e300))
        for (size_t I = 0; I < PointCount; ++I) CheckedMapPoint(Mat, Read(I));
    size_t In = 0;
    for (const TPDFGenericShapeCommandType Type : Types) {
        TPDFDoublePoint P[3];
        const int N = GenericShapePointCount(Type);
        for (int K = 0; K < N; ++K) P[K] = MapPoint(Mat, Read(In++));
        switch (Type) {
            case ctBegin:
                Canvas.BeginPath();
                break;
            case ctMove:
                Canvas.MoveTo(P[0].X, P[0].Y);
                break;
            case ctLine:
                Canvas.AddLineToPath(P[0].X, P[0].Y);
                break;
            case ctBezier:
                Canvas.AddBezierToPath(P[0].X, P[0].Y, P[1].X, P[1].Y, P[2].X, P[2].Y);
                break;
            case ctQBezier:
                Canvas.AddQBezierToPath(P[0].X, P[0].Y, P[1].X, P[1].Y);
                break;
            case ctClose:
                Canvas.ClosePath();
                break;
            case ctStroke:
                Canvas.StrokePath();
                break;
            case ctFill:
                Canvas.FillPath();
                break;
            case ctStrokeAndFill:
                Canvas.StrokeAndFillPath();
                break;
        }
    }
}

}  // namespace

void TPDFGenericCanvas::DrawShape(const TPDFGenericShape& Shape, const TPDFXForm& Mat) {
    if (Shape.FIsWide) {
        const TPDFDoublePoint* W = Shape.FWide.data();
        Replay(*this, Shape.FTypes, Shape.PointCount(), Shape.FMaxAbs, Mat,
               [W](size_t I) { return W[I]; });
    } else {
        const auto* F = Shape.FNarrow.data();
        Replay(*this, Shape.FTypes, Shape.PointCount(), Shape.FMaxAbs, Mat, [F](size_t I) {
            return TPDFDoublePoint{F[I].X, F[I].Y};
        });
    }
}

}  // namespace velmo
