// PDF functions: sampled (type 0), exponential (type 2), stitching (type 3)
// and PostScript calculator (type 4) functions, built once from their
// dictionary or stream and evaluated many times by tint transforms, shadings
// and soft-mask transfer functions.
//
// Evaluation never hands out an infinity or a NaN: an arithmetic fault, an
// inconsistent dictionary found at evaluation time or a result that is not
// finite raises EPDFFunctionError, which the content-stream interpreter
// catches like any other math error.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/Objects.h"
#include "core/XForm.h"

namespace velmo {

// The one exception type of function evaluation.
class EPDFFunctionError : public EMathError {
public:
    using EMathError::EMathError;
};

// Largest number of sample values a type 0 function stores (Π Size × outputs).
inline constexpr uint32_t kMaxFunctionSamples = 1u << 24;
// Largest Steps value any function reports, so that a caller sizing a colour
// ramp by it stays bounded.
inline constexpr int32_t kMaxFunctionSteps = 4096;
// Largest nesting of stitching functions; deeper items stay nil.
inline constexpr int kMaxFunctionNesting = 16;
// Operand stack of a PostScript calculator function.
inline constexpr int kPSStackSize = 1000;
// Deepest brace nesting of a PostScript calculator program; deeper is a
// malformed construct.
inline constexpr int kPSMaxBlockDepth = 100;

class TPDFFunction {
public:
    virtual ~TPDFFunction();
    TPDFFunction(const TPDFFunction&) = delete;
    TPDFFunction& operator=(const TPDFFunction&) = delete;

    // The function described by Source (a dictionary, or a stream whose
    // dictionary is used), chosen by /FunctionType 0, 2, 3 or 4; nil for
    // anything else. References are resolved through OnFindObject when set,
    // else through the reference's own store. Construction never raises.
    static std::unique_ptr<TPDFFunction> FunctionFactory(TPDFObject* Source,
                                                         const TPDFFindObjectEvent& OnFindObject);

    // Evaluates the function. Inputs that X lacks read 0. Outputs go to
    // Y[0 .. OutputValueCount-1]; those beyond Y's end are dropped. Raises
    // EPDFFunctionError on an arithmetic fault or an inconsistent dictionary.
    // Not re-entrant: one function object serves one thread.
    void RunFunction(std::span<const double> X, std::span<double> Y);
    // The same, Y first grown to OutputValueCount entries when shorter.
    void RunFunction(std::span<const double> X, std::vector<double>& Y);

    int32_t InputValueCount() const { return FInputValueCount; }
    int32_t OutputValueCount() const { return FOutputValueCount; }
    // Number of pieces a caller should sample the function at (2 by default,
    // the first /Size of a sampled function, 2 + the pieces of a stitching
    // function), at most kMaxFunctionSteps.
    int32_t Steps() const { return FSteps; }
    const std::vector<double>& Domain() const { return FDomain; }
    const std::vector<double>& Range() const { return FRange; }
    int32_t FunctionType() const { return FFunctionType; }

protected:
    // The build state shared by a function and the subfunctions it creates:
    // the sources still being built (a reference back to one stays nil) and
    // the nesting depth.
    struct TBuildContext;

    TPDFFunction(int32_t AFunctionType, TPDFObject* Source,
                 const TPDFFindObjectEvent& OnFindObject);
    static std::unique_ptr<TPDFFunction> Build(TPDFObject* Source,
                                               const TPDFFindObjectEvent& OnFindObject,
                                               TBuildContext& Context);

    // One evaluation; X holds at least InputValueCount values.
    virtual void Evaluate(std::span<const double> X, std::span<double> Y) = 0;

    TPDFObject* Resolve(TPDFObject* O) const;
    std::vector<double> NumberArray(std::string_view Key) const;
    // Clips V to [Lo, Hi]: Lo unless V > Lo, Hi when V ≥ Hi (a NaN gives Lo).
    static double Clip(double V, double Lo, double Hi) {
        if (!(V > Lo)) return Lo;
        if (V >= Hi) return Hi;
        return V;
    }

    TPDFFindObjectEvent FOnFindObject;
    TPDFDictionary* FDict = nullptr;
    std::string FStream;  // decoded data of a stream source
    std::vector<double> FDomain;
    std::vector<double> FRange;
    int32_t FInputValueCount = 0;
    int32_t FOutputValueCount = 0;
    int32_t FSteps = 2;
    int32_t FFunctionType = 0;

private:
    std::vector<double> FPaddedInputs;  // inputs the caller did not pass, as 0
};

// Sampled function.
class TPDFType0Function final : public TPDFFunction {
public:
    TPDFType0Function(TPDFObject* Source, const TPDFFindObjectEvent& OnFindObject);
    // 1 linear, 3 cubic interpolation.
    int32_t Order() const { return FOrder; }

protected:
    void Evaluate(std::span<const double> X, std::span<double> Y) override;

private:
    friend class TPDFFunction;
    // The number of sample values the grid would store, at most one more than
    // kMaxFunctionSamples (a grid that would raise counts as 0).
    uint64_t PlannedSamples() const;
    void ExpandSamples();
    double Interpolate(int Level, uint64_t Offset, int32_t Output) const;

    std::vector<double> FSize;
    int32_t FBitsPerSample = 0;
    int32_t FOrder = 1;
    std::vector<double> FEncode;
    std::vector<double> FDecode;
    bool FExpanded = false;
    std::vector<uint32_t> FSamples;
    std::vector<uint64_t> FStride;  // per input; output k adds k
    std::vector<uint32_t> FGridSize;
    // Per evaluation, kept to avoid allocation.
    std::vector<uint32_t> FE0, FE1;
    std::vector<double> FT;
    std::vector<int32_t> FActive;  // inputs whose two grid indices differ
    double FSampleMax = 0;
};

// Exponential interpolation function.
class TPDFType2Function final : public TPDFFunction {
public:
    TPDFType2Function(TPDFObject* Source, const TPDFFindObjectEvent& OnFindObject);
    double Exponent() const { return FN; }

protected:
    void Evaluate(std::span<const double> X, std::span<double> Y) override;

private:
    std::vector<double> FC0;
    std::vector<double> FC1;
    double FN = 1;
};

// Stitching function; owns its subfunctions.
class TPDFType3Function final : public TPDFFunction {
public:
    TPDFType3Function(TPDFObject* Source, const TPDFFindObjectEvent& OnFindObject);
    TPDFType3Function(TPDFObject* Source, const TPDFFindObjectEvent& OnFindObject,
                      TBuildContext& Context);

    int32_t FunctionCount() const { return static_cast<int32_t>(FFunctions.size()); }
    // Subfunction I, nil when its item did not give a function.
    TPDFFunction* Functions(int32_t I) const { return FFunctions[size_t(I)].get(); }

protected:
    void Evaluate(std::span<const double> X, std::span<double> Y) override;

private:
    void Load(TBuildContext& Context);

    std::vector<double> FBounds;  // /Bounds and Domain[1]
    std::vector<double> FEncode;
    std::vector<std::unique_ptr<TPDFFunction>> FFunctions;
};

// PostScript calculator function: the program is compiled once into a token
// array and run from it.
class TPDFType4Function final : public TPDFFunction {
public:
    enum TPDFTokenType : uint8_t { psBool, psInt, psReal, psOperator, psBlock };
    enum TPDFOp : uint8_t {
        psOpAbs,
        psOpAdd,
        psOpAnd,
        psOpAtan,
        psOpBitshift,
        psOpCeiling,
        psOpCopy,
        psOpCos,
        psOpCvi,
        psOpCvr,
        psOpDiv,
        psOpDup,
        psOpEq,
        psOpExch,
        psOpExp,
        psOpFalse,
        psOpFloor,
        psOpGe,
        psOpGt,
        psOpIdiv,
        psOpIndex,
        psOpLe,
        psOpLn,
        psOpLog,
        psOpLt,
        psOpMod,
        psOpMul,
        psOpNe,
        psOpNeg,
        psOpNot,
        psOpOr,
        psOpPop,
        psOpRoll,
        psOpRound,
        psOpSin,
        psOpSqrt,
        psOpSub,
        psOpTrue,
        psOpTruncate,
        psOpXor,
        psOpIf,
        psOpIfelse,
        psOpReturn
    };
    struct TPDFToken {
        TPDFTokenType TokenType = psBool;
        TPDFOp Op = psOpAbs;
        int32_t Blk = 0;  // psBlock: a token index
        double Real = 0;
    };

    TPDFType4Function(TPDFObject* Source, const TPDFFindObjectEvent& OnFindObject);

    // The same program run by a second interpreter that reads the text on
    // every call instead of the compiled tokens (slower; for comparison).
    void RunFunctionNonOpt(std::span<const double> X, std::span<double> Y);

    const std::vector<TPDFToken>& Tokens() const { return FTokens; }

protected:
    void Evaluate(std::span<const double> X, std::span<double> Y) override;

private:
    class TCompiler;
    void Execute();
    // Runs one operator other than if, ifelse and return.
    void Operate(TPDFOp Op);
    void Push(double V);
    double Pop() { return FStackCount > 0 ? FStack[--FStackCount] : 0.0; }
    int32_t PopInt();
    void PushInputs(std::span<const double> X);
    void PopOutputs(std::span<double> Y);

    std::string FProgram;  // the text between the outer braces
    std::vector<TPDFToken> FTokens;
    double FStack[kPSStackSize];
    int32_t FStackCount = 0;
};

}  // namespace velmo
