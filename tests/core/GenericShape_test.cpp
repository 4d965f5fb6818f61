// Recorded shapes: compact storage, bulk appends and replay checks.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

#include "core/GenericCanvas.h"
#include "core/XForm.h"

namespace velmo {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

// Every canvas call as its type and numbers, compared bit for bit.
class TRecorder : public TPDFGenericCanvas {
public:
    struct TCall {
        TPDFGenericShapeCommandType Type;
        std::vector<double> P;
        bool operator==(const TCall&) const = default;
    };
    std::vector<TCall> Calls;

    void BeginPath() override { Calls.push_back({ctBegin, {}}); }
    void MoveTo(double X, double Y) override { Calls.push_back({ctMove, {X, Y}}); }
    void AddLineToPath(double X, double Y) override { Calls.push_back({ctLine, {X, Y}}); }
    void AddBezierToPath(double AX, double AY, double BX, double BY, double X, double Y) override {
        Calls.push_back({ctBezier, {AX, AY, BX, BY, X, Y}});
    }
    void AddQBezierToPath(double QX, double QY, double X, double Y) override {
        Calls.push_back({ctQBezier, {QX, QY, X, Y}});
    }
    void ClosePath() override { Calls.push_back({ctClose, {}}); }
    void StrokePath() override { Calls.push_back({ctStroke, {}}); }
    void FillPath() override { Calls.push_back({ctFill, {}}); }
    void StrokeAndFillPath() override { Calls.push_back({ctStrokeAndFill, {}}); }
};

std::vector<TRecorder::TCall> Replay(const TPDFGenericShape& S,
                                     const TPDFXForm& Mat = IdentityXForm) {
    TRecorder R;
    R.DrawShape(S, Mat);
    return R.Calls;
}

// Command K of a mixed sequence: every type, and points that differ per
// command (some not held by single precision when Odd is set).
struct TMixed {
    std::vector<TPDFGenericShapeCommandType> Types;
    std::vector<TPDFDoublePoint> Points;
};

TMixed Mixed(int Count, bool Odd) {
    static const TPDFGenericShapeCommandType Cycle[] = {ctMove,   ctLine,  ctQBezier,
                                                        ctBezier, ctClose, ctFill};
    TMixed M;
    for (int K = 0; K < Count; ++K) {
        const auto T = Cycle[K % 6];
        M.Types.push_back(T);
        for (int J = 0; J < GenericShapePointCount(T); ++J)
            M.Points.push_back({K + J * 0.25 + (Odd && K % 7 == 3 ? 0.1 : 0), -K - J * 0.5});
    }
    return M;
}

void AppendOneByOne(TPDFGenericShape& S, const TMixed& M, size_t From, size_t To) {
    size_t P = 0;
    for (size_t K = 0; K < From; ++K) P += size_t(GenericShapePointCount(M.Types[K]));
    const auto* Q = M.Points.data() + P;
    for (size_t K = From; K < To; ++K) {
        switch (M.Types[K]) {
            case ctMove:
                S.MoveTo(Q[0].X, Q[0].Y);
                break;
            case ctLine:
                S.AddLineToPath(Q[0].X, Q[0].Y);
                break;
            case ctQBezier:
                S.AddQBezierToPath(Q[0].X, Q[0].Y, Q[1].X, Q[1].Y);
                break;
            case ctBezier:
                S.AddBezierToPath(Q[0].X, Q[0].Y, Q[1].X, Q[1].Y, Q[2].X, Q[2].Y);
                break;
            case ctClose:
                S.ClosePath();
                break;
            default:
                S.FillPath();
                break;
        }
        Q += GenericShapePointCount(M.Types[K]);
    }
}

// A coordinate is given back exactly as it was recorded, whether single
// precision holds it (and the shape keeps it so) or not.
TEST(GenericShape, CoordinatesReplayExactlyInEitherPrecision) {
    const struct {
        double V;
        bool Single;
    } Cases[] = {
        {1.5, true},
        {-48.828125, true},  // 100 units at 2048 per em
        {16777216.0, true},
        {0.1, false},
        {16777217.0, false},                                     // 2^24 + 1
        {1e-310, false},                                         // below single precision's range
        {double(std::numeric_limits<float>::max()) * 2, false},  // beyond it
        {1e300, false},
        {Inf, false},
    };
    for (const auto& C : Cases) {
        TPDFGenericShape S;
        S.MoveTo(1.25, 2.5);
        S.AddLineToPath(C.V, -C.V);
        S.AddQBezierToPath(3.75, C.V, 0.5, 0.5);
        EXPECT_EQ(S.IsSinglePrecision(), C.Single) << C.V;
        ASSERT_EQ(S.PointCount(), 4u);
        EXPECT_EQ(S.Point(0).X, 1.25) << "recorded before the change of precision";
        EXPECT_EQ(S.Point(1).X, C.V);
        EXPECT_EQ(S.Point(1).Y, -C.V);
        EXPECT_EQ(S.Commands()[2].Y1, C.V);
        if (std::isfinite(C.V)) {
            const auto Calls = Replay(S);
            ASSERT_EQ(Calls.size(), 3u);
            EXPECT_EQ(Calls[1].P, (std::vector<double>{C.V, -C.V})) << C.V;
        }
    }
    // A NaN cannot be compared, but it still moves the shape to double
    // precision rather than being converted.
    TPDFGenericShape S;
    S.MoveTo(NaN, 1);
    EXPECT_FALSE(S.IsSinglePrecision());
    EXPECT_TRUE(std::isnan(S.Point(0).X));
}

// Read by position, by iteration and by replay, a long mixed shape gives
// the same commands, also past the points where positions are marked.
TEST(GenericShape, CommandsByPositionMatchTheReplay) {
    for (const bool Odd : {false, true}) {
        const TMixed M = Mixed(700, Odd);
        TPDFGenericShape S;
        AppendOneByOne(S, M, 0, M.Types.size());
        EXPECT_EQ(S.IsSinglePrecision(), !Odd);
        const auto Calls = Replay(S);
        ASSERT_EQ(Calls.size(), 700u);
        const auto Commands = S.Commands();
        ASSERT_EQ(Commands.size(), 700u);
        size_t K = 0;
        for (const TPDFGenericShapeCommand C : Commands) {
            for (const size_t At : {K, 699 - K}) {
                const TPDFGenericShapeCommand D = Commands[At];
                ASSERT_EQ(D.CommandType, Calls[At].Type) << At;
                const double Got[6] = {D.X1, D.Y1, D.X2, D.Y2, D.X3, D.Y3};
                for (size_t J = 0; J < 6; ++J)
                    EXPECT_EQ(Got[J], J < Calls[At].P.size() ? Calls[At].P[J] : 0) << At;
            }
            EXPECT_EQ(C.CommandType, Calls[K].Type) << K;
            EXPECT_EQ(C.X1, Commands[K].X1) << K;
            ++K;
        }
        EXPECT_THROW(Commands[700], std::out_of_range);
    }
}

// A bulk append records what the calls one by one would, the command room
// included, whatever came before it.
TEST(GenericShape, BulkAppendsMatchAppendsOneByOne) {
    const struct {
        size_t Before, Count;
        bool Odd;
    } Cases[] = {{0, 0, false},  {0, 19, false}, {0, 20, false}, {0, 300, false}, {7, 300, false},
                 {19, 1, false}, {3, 20, true},  {255, 2, true}, {7, 600, true}};
    for (const auto& C : Cases) {
        const TMixed M = Mixed(int(C.Before + C.Count), C.Odd);
        TPDFGenericShape One, Bulk;
        AppendOneByOne(One, M, 0, M.Types.size());
        AppendOneByOne(Bulk, M, 0, C.Before);
        size_t P = 0;
        for (size_t K = 0; K < C.Before; ++K) P += size_t(GenericShapePointCount(M.Types[K]));
        Bulk.AppendCommands(std::span(M.Types).subspan(C.Before), std::span(M.Points).subspan(P));
        EXPECT_EQ(Bulk.CommandCount(), One.CommandCount()) << C.Before << "+" << C.Count;
        EXPECT_EQ(Bulk.CommandSize(), One.CommandSize()) << C.Before << "+" << C.Count;
        EXPECT_EQ(Bulk.IsSinglePrecision(), One.IsSinglePrecision());
        EXPECT_EQ(Replay(Bulk), Replay(One)) << C.Before << "+" << C.Count;
        for (size_t K = 0; K < M.Types.size(); K += 37)
            EXPECT_EQ(Bulk.Commands()[K].X1, One.Commands()[K].X1) << K;
    }
    // Points that do not match the commands append nothing.
    TPDFGenericShape S;
    S.MoveTo(1, 1);
    const TPDFGenericShapeCommandType Line[] = {ctLine, ctClose};
    const TPDFDoublePoint Two[] = {{1, 2}, {3, 4}};
    EXPECT_THROW(S.AppendCommands(Line, std::span(Two, 0)), std::invalid_argument);
    EXPECT_THROW(S.AppendCommands(Line, Two), std::invalid_argument);
    EXPECT_EQ(S.CommandCount(), 1);
    EXPECT_EQ(S.PointCount(), 1u);
    S.AppendCommands(Line, std::span(Two, 1));
    EXPECT_EQ(Replay(S).back().Type, ctClose);
}

// A replay that cannot overflow skips the check of every point; one that
// meets a NaN or an infinity in the shape or the matrix, or a result out of
// range, still raises before the first canvas call.
TEST(GenericShape, ReplayChecksWhatCanFail) {
    const struct {
        double X;
        TPDFXForm Mat;
        int Raises;  // 0 none, 1 EInvalidOp, 2 EOverflow
    } Cases[] = {
        {1e200, {1e100, 0, 0, 1, 0, 0}, 0},  // 1e300 is finite
        {1e200, {1e200, 0, 0, 1, 0, 0}, 2},
        {NaN, IdentityXForm, 1},
        {Inf, IdentityXForm, 1},  // its y meets a zero: ∞ × 0
        {0, {NaN, 0, 0, 1, 0, 0}, 1},
        {0, {Inf, 0, 0, 1, 0, 0}, 1},  // 0 × ∞
        {1, {1, 0, 0, 1, Inf, 0}, 2},
        {1, {1, 0, 0, 1, 0, NaN}, 1},
    };
    for (const auto& C : Cases) {
        TPDFGenericShape S;
        S.MoveTo(0, 0);
        S.AddLineToPath(1, 1);
        S.AddLineToPath(C.X, 0);
        TRecorder R;
        switch (C.Raises) {
            case 0:
                R.DrawShape(S, C.Mat);
                EXPECT_EQ(R.Calls.size(), 3u);
                EXPECT_TRUE(std::isfinite(R.Calls[2].P[0]));
                break;
            case 1:
                EXPECT_THROW(R.DrawShape(S, C.Mat), EInvalidOp) << C.X;
                break;
            default:
                EXPECT_THROW(R.DrawShape(S, C.Mat), EOverflow) << C.X;
                break;
        }
        if (C.Raises) EXPECT_TRUE(R.Calls.empty()) << C.X;
    }
}

// Copies keep the commands, the precision and the command room.
TEST(GenericShape, CopiesAreIndependent) {
    const TMixed M = Mixed(50, true);
    TPDFGenericShape A;
    AppendOneByOne(A, M, 0, M.Types.size());
    TPDFGenericShape B(A);
    EXPECT_EQ(B.CommandSize(), A.CommandSize());
    EXPECT_EQ(B.IsSinglePrecision(), A.IsSinglePrecision());
    EXPECT_EQ(Replay(B), Replay(A));
    B.ClosePath();
    EXPECT_EQ(A.CommandCount(), 50);
    A = B;
    EXPECT_EQ(Replay(A), Replay(B));
}

}  // namespace
}  // namespace velmo
