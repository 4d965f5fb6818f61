#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/GenericCanvas.h"
#include "core/XForm.h"

namespace velmo {
namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Max = std::numeric_limits<double>::max();

std::string Str(const TPDFXForm& M) {
    return "(" + std::to_string(M.eM11) + ", " + std::to_string(M.eM12) + ", " +
           std::to_string(M.eM21) + ", " + std::to_string(M.eM22) + ", " + std::to_string(M.eDx) +
           ", " + std::to_string(M.eDy) + ")";
}

void ExpectXForm(const TPDFXForm& Got, const TPDFXForm& Want, const std::string& Where) {
    EXPECT_EQ(Str(Got), Str(Want)) << Where;
}

// One canvas call: its name and its numbers.
struct Call {
    std::string Op;
    std::vector<double> Args;
    bool operator==(const Call&) const = default;
};

std::ostream& operator<<(std::ostream& S, const Call& C) {
    S << C.Op;
    for (double A : C.Args) S << ' ' << A;
    return S;
}

class RecordingCanvas : public TPDFGenericCanvas {
public:
    std::vector<Call> Calls;
    void BeginPath() override { Calls.push_back({"begin", {}}); }
    void MoveTo(double X, double Y) override { Calls.push_back({"move", {X, Y}}); }
    void AddLineToPath(double X, double Y) override { Calls.push_back({"line", {X, Y}}); }
    void AddBezierToPath(double AX, double AY, double BX, double BY, double X, double Y) override {
        Calls.push_back({"bezier", {AX, AY, BX, BY, X, Y}});
    }
    void AddQBezierToPath(double QX, double QY, double X, double Y) override {
        Calls.push_back({"qbezier", {QX, QY, X, Y}});
    }
    void ClosePath() override { Calls.push_back({"close", {}}); }
    void StrokePath() override { Calls.push_back({"stroke", {}}); }
    void FillPath() override { Calls.push_back({"fill", {}}); }
    void StrokeAndFillPath() override { Calls.push_back({"strokefill", {}}); }
};

TEST(Matrix, TransformAndShape) {
    // cm prepends: translate first, then scale.
    const TPDFXForm Translate{1, 0, 0, 1, 10, 20};
    const TPDFXForm Scale{2, 0, 0, 2, 0, 0};
    TPDFXForm M = Scale;
    MultiplyXForm(M, Translate, M);
    ExpectXForm(M, {2, 0, 0, 2, 20, 40}, "translate then scale");
    M = Translate;
    MultiplyXForm(M, Scale, M);
    ExpectXForm(M, {2, 0, 0, 2, 10, 20}, "scale then translate");

    TPDFDoublePoint R{-7, -7};
    TransformPoint({0, -1, 1, 0, 0, 5}, {1, 0}, R);
    EXPECT_EQ(R.X, 0);
    EXPECT_EQ(R.Y, 4);

    // A new shape replays to nothing.
    RecordingCanvas Canvas;
    TPDFGenericShape Shape;
    EXPECT_EQ(Shape.CommandCount(), 0);
    EXPECT_EQ(Shape.CommandSize(), 20);
    Canvas.DrawShape(Shape, IdentityXForm);
    EXPECT_TRUE(Canvas.Calls.empty());

    // The capacity doubles the moment the count reaches it, and stays above
    // the count in between.
    const struct {
        int Commands;
        int Size;
    } Steps[] = {{1, 20}, {19, 20}, {20, 40}, {21, 40}, {39, 40}, {40, 80}, {79, 80}, {80, 160}};
    for (const auto& S : Steps) {
        while (Shape.CommandCount() < S.Commands) Shape.AddLineToPath(Shape.CommandCount(), 1);
        EXPECT_EQ(Shape.CommandSize(), S.Size) << S.Commands << " commands";
    }
    // Nothing recorded before a growth is lost by it.
    Canvas.DrawShape(Shape, IdentityXForm);
    ASSERT_EQ(Canvas.Calls.size(), 80u);
    for (int I = 0; I < 80; ++I) EXPECT_EQ(Canvas.Calls[I], (Call{"line", {double(I), 1}})) << I;

    // The base canvas keeps no matrix and reports six zeros, not the identity.
    TPDFGenericCanvas Base;
    Base.SetCurrentXForm({1, 2, 3, 4, 5, 6});
    ExpectXForm(Base.GetCurrentXForm(), {0, 0, 0, 0, 0, 0}, "base canvas");
}

// A × B must act as A then B on every point, for every pair of matrices.
TEST(Matrix, ProductActsAsFirstThenSecond) {
    const TPDFXForm Ms[] = {
        IdentityXForm,
        {2, 0, 0, 3, 0, 0},
        {0, 1, -1, 0, 0, 0},
        {1, 0, 0, 1, 7, -4},
        {1, 0.5, 0.25, 1, 3, 9},
        {0, -1, 1, 0, 0, 5},
        {1.5, -2, 0.75, 4, -11, 13},
        {0, 0, 0, 0, 1, 2},
    };
    const TPDFDoublePoint Ps[] = {{0, 0}, {1, 0}, {0, 1}, {3.5, -2.25}};
    for (const auto& A : Ms) {
        for (const auto& B : Ms) {
            TPDFXForm AB;
            MultiplyXForm(AB, A, B);
            // The result may be either argument.
            TPDFXForm InA = A, InB = B;
            MultiplyXForm(InA, InA, B);
            MultiplyXForm(InB, A, InB);
            ExpectXForm(InA, AB, "result in first: " + Str(A) + Str(B));
            ExpectXForm(InB, AB, "result in second: " + Str(A) + Str(B));
            for (const auto& P : Ps) {
                TPDFDoublePoint Direct, Mid, Stepwise;
                TransformPoint(AB, P, Direct);
                TransformPoint(A, P, Mid);
                TransformPoint(B, Mid, Stepwise);
                EXPECT_NEAR(Direct.X, Stepwise.X, 1e-12) << Str(A) << Str(B);
                EXPECT_NEAR(Direct.Y, Stepwise.Y, 1e-12) << Str(A) << Str(B);
            }
        }
    }
    // A rotation and a translation do not commute: the order is kept.
    TPDFXForm RT, TR;
    MultiplyXForm(RT, {0, 1, -1, 0, 0, 0}, {1, 0, 0, 1, 5, 0});
    MultiplyXForm(TR, {1, 0, 0, 1, 5, 0}, {0, 1, -1, 0, 0, 0});
    ExpectXForm(RT, {0, 1, -1, 0, 5, 0}, "rotate then translate");
    ExpectXForm(TR, {0, 1, -1, 0, 0, 5}, "translate then rotate");

    // The output may be the input point.
    TPDFDoublePoint P{1, 2};
    TransformPoint({0, 1, -1, 0, 10, 20}, P, P);
    EXPECT_EQ(P.X, 8);
    EXPECT_EQ(P.Y, 21);
}

// Results that would be infinite or not a number raise and leave the output
// as it was.
TEST(Matrix, NonFiniteResultsRaise) {
    const struct {
        const char* Name;
        TPDFXForm A, B;
        bool Overflow;  // else invalid
    } Products[] = {
        {"scale overflows", {Max, 0, 0, 1, 0, 0}, {2, 0, 0, 1, 0, 0}, true},
        {"translation overflows", {1, 0, 0, 1, Max, 0}, {1, 0, 0, 1, Max, 0}, true},
        {"infinite input", {1, 0, 0, 1, Inf, 0}, {1, 1, 1, 1, 0, 0}, true},
        {"infinity meets a zero", {Inf, 0, 0, 1, 0, 0}, IdentityXForm, false},
        {"infinity times zero", {Inf, 0, 0, 1, 0, 0}, {0, 0, 0, 1, 0, 0}, false},
        {"infinities cancel", {1, 1, 0, 1, 0, 0}, {Inf, 0, -Inf, 1, 0, 0}, false},
        {"NaN translation", IdentityXForm, {1, 0, 0, 1, 0, NaN}, false},
    };
    for (const auto& C : Products) {
        TPDFXForm R{9, 9, 9, 9, 9, 9};
        if (C.Overflow)
            EXPECT_THROW(MultiplyXForm(R, C.A, C.B), EOverflow) << C.Name;
        else
            EXPECT_THROW(MultiplyXForm(R, C.A, C.B), EInvalidOp) << C.Name;
        ExpectXForm(R, {9, 9, 9, 9, 9, 9}, C.Name);
    }

    const struct {
        const char* Name;
        TPDFXForm M;
        TPDFDoublePoint P;
        bool Overflow;
    } Points[] = {
        {"x overflows", {Max, 0, 0, 1, 0, 0}, {2, 0}, true},
        {"y overflows", {1, 0, 0, 1, 0, Max}, {0, Max}, true},
        {"infinite point", {1, 1, 1, 1, 0, 0}, {Inf, 0}, true},
        {"infinite point meets a zero", IdentityXForm, {Inf, 0}, false},
        {"infinite times zero", {0, 0, 0, 0, 0, 0}, {Inf, 0}, false},
        {"NaN point", IdentityXForm, {0, NaN}, false},
    };
    for (const auto& C : Points) {
        TPDFDoublePoint R{9, 9};
        if (C.Overflow)
            EXPECT_THROW(TransformPoint(C.M, C.P, R), EOverflow) << C.Name;
        else
            EXPECT_THROW(TransformPoint(C.M, C.P, R), EInvalidOp) << C.Name;
        EXPECT_EQ(R.X, 9) << C.Name;
        EXPECT_EQ(R.Y, 9) << C.Name;
    }
}

TEST(Matrix, ShapeReplaysEveryCommandThroughTheMatrix) {
    TPDFGenericShape Shape;
    Shape.MoveTo(1, 2);
    Shape.AddLineToPath(3, 4);
    Shape.AddBezierToPath(5, 6, 7, 8, 9, 10);
    Shape.AddQBezierToPath(11, 12, 13, 14);
    Shape.ClosePath();
    Shape.StrokePath();
    Shape.FillPath();
    Shape.StrokeAndFillPath();
    ASSERT_EQ(Shape.CommandCount(), 8);
    EXPECT_EQ(Shape.Commands()[2].CommandType, ctBezier);
    EXPECT_EQ(Shape.Commands()[3].Y2, 14);

    // (x, y) -> (2x + 100, -y + 50): a mix-up of x and y or of the points'
    // order shows.
    const TPDFXForm Mat{2, 0, 0, -1, 100, 50};
    const std::vector<Call> Want = {
        {"move", {102, 48}},
        {"line", {106, 46}},
        {"bezier", {110, 44, 114, 42, 118, 40}},
        {"qbezier", {122, 38, 126, 36}},
        {"close", {}},
        {"stroke", {}},
        {"fill", {}},
        {"strokefill", {}},
    };
    RecordingCanvas Canvas;
    Canvas.DrawShape(Shape, Mat);
    EXPECT_EQ(Canvas.Calls, Want);
    // The shape is kept: a second replay draws the same again.
    Canvas.Calls.clear();
    Canvas.DrawShape(Shape, Mat);
    EXPECT_EQ(Canvas.Calls, Want);
    EXPECT_EQ(Shape.CommandCount(), 8);

    // A point that overflows in the last command stops the replay before the
    // first canvas call, so no half-built path is left behind.
    TPDFGenericShape Far;
    Far.MoveTo(0, 0);
    Far.AddLineToPath(1, 1);
    Far.AddQBezierToPath(0, 0, Max, 0);
    Far.FillPath();
    RecordingCanvas Untouched;
    EXPECT_THROW(Untouched.DrawShape(Far, {4, 0, 0, 4, 0, 0}), EOverflow);
    EXPECT_TRUE(Untouched.Calls.empty());
    // Coordinates of commands that use none never fail a replay.
    TPDFGenericShape Closed;
    Closed.ClosePath();
    Untouched.DrawShape(Closed, {Max, 0, 0, Max, Max, Max});
    EXPECT_EQ(Untouched.Calls, (std::vector<Call>{{"close", {}}}));
}

// Operations the base canvas does not provide raise instead of doing nothing.
TEST(Matrix, BaseCanvasOperationsAreAbstract) {
    TPDFGenericCanvas C;
    double D[6] = {};
    EXPECT_THROW(C.BeginPath(), EAbstractError);
    EXPECT_THROW(C.MoveTo(0, 0), EAbstractError);
    EXPECT_THROW(C.AddLineToPath(0, 0), EAbstractError);
    EXPECT_THROW(C.AddBezierToPath(0, 0, 0, 0, 0, 0), EAbstractError);
    EXPECT_THROW(C.AddQBezierToPath(0, 0, 0, 0), EAbstractError);
    EXPECT_THROW(C.ClosePath(), EAbstractError);
    EXPECT_THROW(C.StrokePath(), EAbstractError);
    EXPECT_THROW(C.FillPath(), EAbstractError);
    EXPECT_THROW(C.StrokeAndFillPath(), EAbstractError);
    EXPECT_THROW(C.DrawBitmap(nullptr, D[0], D[1], D[2], D[3], D[4], D[5]), EAbstractError);
    // Replaying onto it reaches the first missing operation.
    TPDFGenericShape S;
    S.MoveTo(1, 1);
    EXPECT_THROW(C.DrawShape(S, IdentityXForm), EAbstractError);
}

}  // namespace
}  // namespace velmo
