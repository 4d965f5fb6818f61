// A vector drawing surface that knows nothing of its output, and a recorded
// path that replays onto any such surface through a matrix.
//
// The renderer's device canvas and the EPS writer implement the canvas; glyph
// rasterizers and the image decoder draw on it without knowing which one they
// have. A glyph rasterizer records each outline once as a TPDFGenericShape and
// replays it with the glyph-to-device matrix (DrawShape).
#pragma once

#include <cstdint>
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

class TPDFGenericShape {
public:
    static constexpr int32_t InitialSize = 20;

    TPDFGenericShape();

    // Each appends one command; nothing is ever removed. There is no command
    // that starts a path: a replayed shape continues whatever path the canvas
    // already holds.
    void MoveTo(double NewX, double NewY);
    void AddLineToPath(double EndX, double EndY);
    void AddBezierToPath(double CtAX, double CtAY, double CtBX, double CtBY, double EndX,
                         double EndY);
    void AddQBezierToPath(double QX, double QY, double EndX, double EndY);
    void ClosePath();
    void StrokePath();
    void FillPath();
    void StrokeAndFillPath();

    int32_t CommandCount() const { return FCommandCount; }
    // Allocated commands; always more than CommandCount. It doubles when the
    // count reaches it, so long outlines cost few reallocations.
    int32_t CommandSize() const { return FCommandSize; }
    std::span<const TPDFGenericShapeCommand> Commands() const {
        return {FCommands.data(), static_cast<size_t>(FCommandCount)};
    }

private:
    void Append(TPDFGenericShapeCommandType Type, double X1 = 0, double Y1 = 0, double X2 = 0,
                double Y2 = 0, double X3 = 0, double Y3 = 0);

    std::vector<TPDFGenericShapeCommand> FCommands;
    int32_t FCommandSize = 0;
    int32_t FCommandCount = 0;
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
