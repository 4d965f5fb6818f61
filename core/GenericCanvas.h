// A vector drawing surface that knows nothing of its output, and a recorded
// path that replays onto any such surface through a matrix.
//
// The renderer's device canvas and the EPS writer implement the canvas; glyph
// rasterizers and the image decoder draw on it without knowing which one they
// have. A glyph rasterizer records each outline once as a TPDFGenericShape and
// replays it with the glyph-to-device matrix (DrawShape).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <stdexcept>
#include <vector>

#include "core/XForm.h"

namespace velmo {

class TBitmap;

// Raised by a canvas operation that the implementation does not provide.
class EAbstractError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

enum TPDFGenericShapeCommandType : uint8_t {
    ctBegin,
    ctMove,
    ctLine,
    ctBezier,
    ctQBezier,
    ctClose,
    ctStroke,
    ctFill,
    ctStrokeAndFill
};

// ctMove, ctLine: (X1, Y1) is the end point. ctBezier: two control points,
// then the end point. ctQBezier: the control point, then the end point. The
// other commands use no coordinates.
struct TPDFGenericShapeCommand {
    TPDFGenericShapeCommandType CommandType = ctBegin;
    double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0, X3 = 0, Y3 = 0;
};

// How many points a command of this type carries (0 to 3).
constexpr int GenericShapePointCount(TPDFGenericShapeCommandType Type) {
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

class TPDFGenericShape;

// The commands of a shape, read by position or in order. Each command is
// handed out as a record built from the shape's compact storage.
class TPDFGenericShapeCommands {
public:
    class iterator {
    public:
        TPDFGenericShapeCommand operator*() const;
        iterator& operator++();
        bool operator==(const iterator& O) const { return FIndex == O.FIndex; }

    private:
        friend class TPDFGenericShapeCommands;
        iterator(const TPDFGenericShape* S, size_t Index, size_t Point)
            : FShape(S), FIndex(Index), FPoint(Point) {}
        const TPDFGenericShape* FShape;
        size_t FIndex;
        size_t FPoint;  // where this command's points start
    };

    size_t size() const;
    bool empty() const { return size() == 0; }
    // Walks at most 63 commands to find the command's points.
    TPDFGenericShapeCommand operator[](size_t Index) const;
    iterator begin() const { return {FShape, 0, 0}; }
    iterator end() const { return {FShape, size(), 0}; }

private:
    friend class TPDFGenericShape;
    explicit TPDFGenericShapeCommands(const TPDFGenericShape* S) : FShape(S) {}
    const TPDFGenericShape* FShape;
};

class TPDFGenericShape {
public:
    static constexpr int32_t InitialSize = 20;

    // A new shape holds no storage until its first command.
    TPDFGenericShape();
    TPDFGenericShape(const TPDFGenericShape& Other);
    TPDFGenericShape& operator=(const TPDFGenericShape& Other);
    TPDFGenericShape(TPDFGenericShape&&) noexcept = default;
    TPDFGenericShape& operator=(TPDFGenericShape&&) noexcept = default;

    // Each appends one command; nothing is ever removed. There is no command
    // that starts a path: a replayed shape continues whatever path the canvas
    // already holds.
    void MoveTo(double NewX, double NewY) { Append(ctMove, {{NewX, NewY}}); }
    void AddLineToPath(double EndX, double EndY) { Append(ctLine, {{EndX, EndY}}); }
    void AddBezierToPath(double CtAX, double CtAY, double CtBX, double CtBY, double EndX,
                         double EndY) {
        Append(ctBezier, {{CtAX, CtAY}, {CtBX, CtBY}, {EndX, EndY}});
    }
    void AddQBezierToPath(double QX, double QY, double EndX, double EndY) {
        Append(ctQBezier, {{QX, QY}, {EndX, EndY}});
    }
    void ClosePath() { Append(ctClose); }
    void StrokePath() { Append(ctStroke); }
    void FillPath() { Append(ctFill); }
    void StrokeAndFillPath() { Append(ctStrokeAndFill); }

    // Appends Types with their points in order (GenericShapePointCount of
    // each; std::invalid_argument and nothing appended when Points holds
    // another number), as the calls above one by one would, but with one
    // allocation per array. The command room ends as those calls leave it.
    void AppendCommands(std::span<const TPDFGenericShapeCommandType> Types,
                        std::span<const TPDFDoublePoint> Points);

    int32_t CommandCount() const { return static_cast<int32_t>(FTypes.size()); }
    // Room for commands; always more than CommandCount. It doubles when the
    // count reaches it, so long outlines cost few reallocations. A command
    // takes one byte of this room; its points are kept apart.
    int32_t CommandSize() const { return FCommandSize; }
    TPDFGenericShapeCommands Commands() const { return TPDFGenericShapeCommands(this); }

    // The compact storage: one type per command, and the points of all
    // commands in order (GenericShapePointCount of each).
    std::span<const TPDFGenericShapeCommandType> CommandTypes() const { return FTypes; }
    size_t PointCount() const { return FIsWide ? FWide.size() : FNarrow.size(); }
    TPDFDoublePoint Point(size_t Index) const {
        return FIsWide ? FWide[Index] : TPDFDoublePoint{FNarrow[Index].X, FNarrow[Index].Y};
    }
    // True while every coordinate is held in single precision, which it
    // represents exactly; the first one that it cannot represent moves all
    // to double precision.
    bool IsSinglePrecision() const { return !FIsWide; }
    // The largest magnitude of any coordinate, infinite when one is not
    // finite: bounds where a matrix can take the shape.
    double MaxAbs() const { return FMaxAbs; }

private:
    friend class TPDFGenericShapeCommands;
    friend class TPDFGenericCanvas;
    static constexpr size_t kMarkEvery = 256;

    struct TSinglePoint {
        float X, Y;
        TSinglePoint(float AX, float AY) : X(AX), Y(AY) {}
        // Only for points that FitsFloat.
        TSinglePoint(const TPDFDoublePoint& P)
            : X(static_cast<float>(P.X)), Y(static_cast<float>(P.Y)) {}
    };

    // Whether single precision holds V exactly. Clamped first, so that a
    // value beyond its range converts to the largest float (and fails).
    static bool FitsFloat(double V) {
        constexpr double Max = std::numeric_limits<float>::max();
        return static_cast<double>(static_cast<float>(std::min(std::max(V, -Max), Max))) == V;
    }
    // Forced inline: outline builders append millions of commands.
    template <size_t N>
    [[gnu::always_inline]] void Append(TPDFGenericShapeCommandType Type,
                                       const TPDFDoublePoint (&P)[N]) {
        // Everything that may allocate comes first, so that a failure
        // leaves the shape as it was.
        if (!FIsWide) {
            bool Fits = true;
            for (const TPDFDoublePoint& Q : P) Fits = Fits && FitsFloat(Q.X) && FitsFloat(Q.Y);
            if (!Fits) Widen(N);
        }
        if (FIsWide ? FWide.capacity() - FWide.size() < N : FNarrow.capacity() - FNarrow.size() < N)
            GrowPoints(N);
        MakeCommandRoom();
        MarkCommand();
        // The pushes below never reallocate: the room was made above.
        for (const TPDFDoublePoint& Q : P) {
            if (FIsWide) {
                FWide.push_back(Q);
            } else {
                FNarrow.emplace_back(Q);
            }
            // A NaN counts as infinite, so that it always makes DrawShape check.
            const double AX = Q.X == Q.X ? std::fabs(Q.X) : HUGE_VAL;
            const double AY = Q.Y == Q.Y ? std::fabs(Q.Y) : HUGE_VAL;
            FMaxAbs = std::max(FMaxAbs, std::max(AX, AY));
        }
        EndCommand(Type);
    }
    [[gnu::always_inline]] void Append(TPDFGenericShapeCommandType Type) {
        MakeCommandRoom();
        MarkCommand();
        EndCommand(Type);
    }
    // The room for commands is taken with the first command.
    [[gnu::always_inline]] void MakeCommandRoom() {
        if (FTypes.capacity() < static_cast<size_t>(FCommandSize))
            FTypes.reserve(static_cast<size_t>(FCommandSize));
    }
    [[gnu::always_inline]] void MarkCommand() {
        if (FTypes.size() % kMarkEvery == 0 && !FTypes.empty()) FMarks.push_back(PointCount());
    }
    [[gnu::always_inline]] void EndCommand(TPDFGenericShapeCommandType Type) {
        FTypes.push_back(Type);  // never reallocates: the room was made before
        if (FTypes.size() == static_cast<size_t>(FCommandSize)) GrowCommands();
    }
    void GrowCommands();
    void GrowPoints(size_t More);
    // Moves the points to double precision, with room for More more.
    void Widen(size_t More);

    std::vector<TPDFGenericShapeCommandType> FTypes;  // capacity FCommandSize
    // The points: x, y pairs in single precision until one coordinate needs
    // more, then in FWide (and FNarrow empty).
    std::vector<TSinglePoint> FNarrow;
    std::vector<TPDFDoublePoint> FWide;
    bool FIsWide = false;
    // Where the points of commands 64, 128, ... start, so that a command
    // is found without walking the whole shape.
    std::vector<size_t> FMarks;
    int32_t FCommandSize = 0;
    // The largest magnitude of any coordinate; infinite once one is not
    // finite.
    double FMaxAbs = 0;
};

// The path and drawing operations raise EAbstractError unless an
// implementation overrides them.
class TPDFGenericCanvas {
public:
    TPDFGenericCanvas() = default;
    virtual ~TPDFGenericCanvas() = default;

    virtual void BeginPath();
    virtual void MoveTo(double NewX, double NewY);
    virtual void AddLineToPath(double EndX, double EndY);
    virtual void AddBezierToPath(double CtAX, double CtAY, double CtBX, double CtBY, double EndX,
                                 double EndY);
    virtual void AddQBezierToPath(double QX, double QY, double EndX, double EndY);
    virtual void ClosePath();
    virtual void StrokePath();
    virtual void FillPath();
    virtual void StrokeAndFillPath();
    // Maps the whole bitmap onto the parallelogram with these upper-left,
    // upper-right and lower-left corners (device coordinates); the fourth
    // corner follows.
    virtual void DrawBitmap(TBitmap* BM, double& ULX, double& ULY, double& URX, double& URY,
                            double& LLX, double& LLY);
    // The matrix an implementation applies to what it draws itself (images,
    // text), where it applies one. The base keeps nothing and hands back the
    // all-zero matrix, not the identity.
    virtual void SetCurrentXForm(const TPDFXForm& NewCurrentXForm);
    virtual TPDFXForm GetCurrentXForm();

    // Replays Shape from first command to last, each point mapped by Mat.
    // Every point is mapped before the first canvas call, so a point that
    // does not map to finite numbers raises (EMathError) with the canvas
    // untouched. Allocates nothing; SetCurrentXForm is not called.
    void DrawShape(const TPDFGenericShape& Shape, const TPDFXForm& Mat);
};

}  // namespace velmo
