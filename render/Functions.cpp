#include "render/Functions.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "core/StringHelpers.h"

namespace velmo {

namespace {

// Most functions one factory call builds, subfunctions of every level
// included: shared items would otherwise multiply at each nesting level.
constexpr int32_t kMaxFunctionsPerBuild = 4096;
// Most sample values the sampled functions of one factory call may store
// together: each piece of a stitching function keeps its own samples, so
// pieces sharing one large grid would otherwise multiply it.
constexpr uint64_t kMaxSamplesPerBuild = uint64_t(kMaxFunctionSamples) * 2;

[[noreturn]] void FunctionError(const char* Message) { throw EPDFFunctionError(Message); }

double CheckFinite(double V, const char* Message) {
    if (!std::isfinite(V)) FunctionError(Message);
    return V;
}

int32_t CapSteps(double V) {
    if (!(V >= 1)) return 1;
    if (V >= kMaxFunctionSteps) return kMaxFunctionSteps;
    return static_cast<int32_t>(std::nearbyint(V));
}

}  // namespace

struct TPDFFunction::TBuildContext {
    std::vector<TPDFDictionary*> Building;  // stitching functions under way
    int Depth = 0;
    int32_t Budget = kMaxFunctionsPerBuild;
    uint64_t SampleBudget = kMaxSamplesPerBuild;
};

// ---- Common ------------------------------------------------------------

TPDFFunction::TPDFFunction(int32_t AFunctionType, TPDFObject* Source,
                           const TPDFFindObjectEvent& OnFindObject)
    : FOnFindObject(OnFindObject), FFunctionType(AFunctionType) {
    if (auto* D = ObjAs<TPDFDictionary>(Source)) {
        FDict = D;
    } else if (auto* S = ObjAs<TPDFStream>(Source)) {
        FDict = S->FDictionary;
        // A stream whose filters fail gives a function without data rather
        // than a failed construction.
        try {
            FStream = S->GetDecodedStreamWithLookup(OnFindObject);
        } catch (const std::exception&) {
            FStream.clear();
        }
    }
    if (!FDict) return;
    FDomain = NumberArray("Domain");
    FRange = NumberArray("Range");
    FInputValueCount = static_cast<int32_t>(FDomain.size() / 2);
    FOutputValueCount = static_cast<int32_t>(FRange.size() / 2);
}

TPDFFunction::~TPDFFunction() = default;

TPDFObject* TPDFFunction::Resolve(TPDFObject* O) const {
    if (auto* Ref = ObjAs<TPDFIndRef>(O)) return FOnFindObject ? FOnFindObject(Ref) : Ref->Obj();
    return O;
}

std::vector<double> TPDFFunction::NumberArray(std::string_view Key) const {
    std::vector<double> Result;
    if (!FDict) return Result;
    auto* A = ObjAs<TPDFArray>(Resolve(FDict->FindValueByKeyName(Key, false)));
    if (!A) return Result;
    Result.reserve(size_t(A->Count()));
    for (TPDFObject* Item : A->LiveItems()) {
        auto* N = ObjAs<TPDFNumeric>(Resolve(Item));
        Result.push_back(N && std::isfinite(N->FValue) ? N->FValue : 0.0);
    }
    return Result;
}

std::unique_ptr<TPDFFunction> TPDFFunction::FunctionFactory(
    TPDFObject* Source, const TPDFFindObjectEvent& OnFindObject) {
    TBuildContext Context;
    return Build(Source, OnFindObject, Context);
}

std::unique_ptr<TPDFFunction> TPDFFunction::Build(TPDFObject* Source,
                                                  const TPDFFindObjectEvent& OnFindObject,
                                                  TBuildContext& Context) {
    TPDFDictionary* Dict = ObjAs<TPDFDictionary>(Source);
    if (auto* S = ObjAs<TPDFStream>(Source)) Dict = S->FDictionary;
    if (!Dict) return nullptr;
    if (Context.Budget <= 0) return nullptr;
    TPDFObject* TypeObj = Dict->FindValueByKeyName("FunctionType", false);
    if (auto* Ref = ObjAs<TPDFIndRef>(TypeObj))
        TypeObj = OnFindObject ? OnFindObject(Ref) : Ref->Obj();
    auto* Type = ObjAs<TPDFNumeric>(TypeObj);
    if (!Type) return nullptr;
    --Context.Budget;
    switch (Type->AsInteger()) {
        case 0: {
            auto F = std::make_unique<TPDFType0Function>(Source, OnFindObject);
            // A sampled function whose grid would pass the build's sample
            // budget is left out, as an absent piece.
            const uint64_t Planned = F->PlannedSamples();
            if (Planned > Context.SampleBudget) return nullptr;
            Context.SampleBudget -= Planned;
            return F;
        }
        case 2:
            return std::make_unique<TPDFType2Function>(Source, OnFindObject);
        case 3:
            return std::make_unique<TPDFType3Function>(Source, OnFindObject, Context);
        case 4:
            return std::make_unique<TPDFType4Function>(Source, OnFindObject);
        default:
            return nullptr;
    }
}

void TPDFFunction::RunFunction(std::span<const double> X, std::span<double> Y) {
    const size_t M = size_t(FInputValueCount);
    if (X.size() < M) {
        if (FPaddedInputs.size() != M) FPaddedInputs.assign(M, 0.0);
        std::copy(X.begin(), X.end(), FPaddedInputs.begin());
        std::fill(FPaddedInputs.begin() + std::ptrdiff_t(X.size()), FPaddedInputs.end(), 0.0);
        X = FPaddedInputs;
    }
    Evaluate(X, Y);
    const size_t N = std::min(Y.size(), size_t(FOutputValueCount));
    for (size_t K = 0; K < N; ++K) CheckFinite(Y[K], "function result is not a finite number");
}

void TPDFFunction::RunFunction(std::span<const double> X, std::vector<double>& Y) {
    if (Y.size() < size_t(FOutputValueCount)) Y.resize(size_t(FOutputValueCount));
    RunFunction(X, std::span<double>(Y));
}

// ---- Type 0: sampled ---------------------------------------------------

TPDFType0Function::TPDFType0Function(TPDFObject* Source, const TPDFFindObjectEvent& OnFindObject)
    : TPDFFunction(0, Source, OnFindObject) {
    if (!FDict) return;
    FSize = NumberArray("Size");
    if (auto* B = ObjAs<TPDFNumeric>(Resolve(FDict->FindValueByKeyName("BitsPerSample", false))))
        FBitsPerSample = B->AsInteger();
    if (auto* O = ObjAs<TPDFNumeric>(Resolve(FDict->FindValueByKeyName("Order", false))))
        FOrder = O->AsInteger();
    FEncode = NumberArray("Encode");
    FDecode = NumberArray("Decode");
    if (!FSize.empty()) FSteps = CapSteps(FSize[0]);
}

uint64_t TPDFType0Function::PlannedSamples() const {
    const size_t M = size_t(FInputValueCount);
    if (FSize.size() < M) return 0;
    uint64_t Total = uint64_t(FOutputValueCount);
    for (size_t I = 0; I < M; ++I) {
        const double S = std::nearbyint(FSize[I]);
        if (!(S >= 1)) return 0;
        if (S > double(kMaxFunctionSamples)) return uint64_t(kMaxFunctionSamples) + 1;
        Total *= uint64_t(S);
        if (Total > kMaxFunctionSamples) return uint64_t(kMaxFunctionSamples) + 1;
    }
    return Total;
}

void TPDFType0Function::ExpandSamples() {
    switch (FBitsPerSample) {
        case 1:
        case 2:
        case 4:
        case 8:
        case 12:
        case 16:
        case 24:
        case 32:
            break;
        default:
            FunctionError("sampled function: unsupported BitsPerSample");
    }
    const size_t M = size_t(FInputValueCount);
    const uint64_t N = uint64_t(FOutputValueCount);
    if (FSize.size() < M) FunctionError("sampled function: /Size shorter than the inputs");
    // The grid's value count, checked against the cap before anything is
    // allocated; every size is at least 1, so the product only grows.
    std::vector<uint32_t> Sizes(M);
    uint64_t Total = N;
    for (size_t I = 0; I < M; ++I) {
        const double S = std::nearbyint(FSize[I]);
        if (!(S >= 1)) FunctionError("sampled function: /Size entry below 1");
        if (S > double(kMaxFunctionSamples)) FunctionError("sampled function: grid too large");
        Sizes[I] = static_cast<uint32_t>(S);
        Total *= Sizes[I];
        if (Total > kMaxFunctionSamples) FunctionError("sampled function: grid too large");
    }
    FGridSize = std::move(Sizes);
    FStride.assign(M, 0);
    uint64_t Stride = N;
    for (size_t I = 0; I < M; ++I) {
        FStride[I] = Stride;
        Stride *= FGridSize[I];
    }
    // Samples as unsigned integers, most significant bit first, without
    // padding; those beyond the end of the data read 0.
    const auto* Data = reinterpret_cast<const uint8_t*>(FStream.data());
    const uint64_t Len = FStream.size();
    const uint32_t Bps = uint32_t(FBitsPerSample);
    const uint64_t Available = Len * 8 / Bps;
    const uint64_t Mask = (uint64_t(1) << Bps) - 1;
    FSamples.assign(size_t(Total), 0);
    const uint64_t Have = std::min(Total, Available);
    for (uint64_t J = 0; J < Have; ++J) {
        const uint64_t Bit = J * Bps;
        const uint64_t Byte = Bit >> 3;
        const uint32_t Need = uint32_t(Bit & 7) + Bps;
        const uint32_t Bytes = (Need + 7) / 8;
        uint64_t Acc = 0;
        for (uint32_t B = 0; B < Bytes; ++B)
            Acc = (Acc << 8) | (Byte + B < Len ? Data[Byte + B] : 0);
        FSamples[size_t(J)] = static_cast<uint32_t>((Acc >> (Bytes * 8 - Need)) & Mask);
    }
    FSampleMax = double(Mask);
    FE0.assign(M, 0);
    FE1.assign(M, 0);
    FT.assign(M, 0.0);
    FActive.reserve(M);
    FExpanded = true;
}

double TPDFType0Function::Interpolate(int Level, uint64_t Offset, int32_t Output) const {
    if (Level < 0) return double(FSamples[size_t(Offset)]);
    const int32_t D = FActive[size_t(Level)];
    const double A = Interpolate(Level - 1, Offset, Output);
    const double B = Interpolate(Level - 1, Offset + FStride[size_t(D)], Output);
    return A + (B - A) * FT[size_t(D)];
}

void TPDFType0Function::Evaluate(std::span<const double> X, std::span<double> Y) {
    if (!FExpanded) ExpandSamples();
    const int32_t M = FInputValueCount;
    uint64_t Base = 0;
    FActive.clear();
    for (int32_t I = 0; I < M; ++I) {
        const double D0 = FDomain[size_t(2 * I)], D1 = FDomain[size_t(2 * I + 1)];
        const double Last = double(FGridSize[size_t(I)] - 1);
        double E0, E1;
        if (size_t(2 * I + 1) < FEncode.size()) {
            E0 = FEncode[size_t(2 * I)];
            E1 = FEncode[size_t(2 * I + 1)];
        } else {
            E0 = 0;
            E1 = Last;
        }
        const double Xi = Clip(X[size_t(I)], D0, D1);
        double E = D1 - D0 == 0 ? E0 : E0 + (E1 - E0) * (Xi - D0) / (D1 - D0);
        E = Clip(E, 0, Last);  // a NaN from extreme entries lands on 0
        const double F = std::floor(E);
        FE0[size_t(I)] = uint32_t(F);
        FE1[size_t(I)] = uint32_t(std::ceil(E));
        FT[size_t(I)] = E - F;
        Base += uint64_t(FE0[size_t(I)]) * FStride[size_t(I)];
        // Inputs that fall on a grid line need no interpolation.
        if (FE1[size_t(I)] != FE0[size_t(I)]) FActive.push_back(I);
    }
    const int32_t N = FOutputValueCount;
    const int Top = static_cast<int>(FActive.size()) - 1;
    for (int32_t K = 0; K < N && size_t(K) < Y.size(); ++K) {
        const double S = Interpolate(Top, Base + uint64_t(K), K);
        double Lo, Hi;
        if (size_t(2 * K + 1) < FDecode.size()) {
            Lo = FDecode[size_t(2 * K)];
            Hi = FDecode[size_t(2 * K + 1)];
        } else {
            Lo = FRange[size_t(2 * K)];
            Hi = FRange[size_t(2 * K + 1)];
        }
        const double V = Lo + (Hi - Lo) * S / FSampleMax;
        Y[size_t(K)] = Clip(V, FRange[size_t(2 * K)], FRange[size_t(2 * K + 1)]);
    }
}

// ---- Type 2: exponential -----------------------------------------------

TPDFType2Function::TPDFType2Function(TPDFObject* Source, const TPDFFindObjectEvent& OnFindObject)
    : TPDFFunction(2, Source, OnFindObject) {
    if (!FDict) return;
    FC0 = NumberArray("C0");
    if (FC0.empty()) FC0 = {0.0};
    FC1 = NumberArray("C1");
    if (FC1.empty()) FC1 = {1.0};
    if (auto* N = ObjAs<TPDFNumeric>(Resolve(FDict->FindValueByKeyName("N", false))))
        FN = std::isfinite(N->FValue) ? N->FValue : 1.0;
    if (FOutputValueCount == 0) FOutputValueCount = static_cast<int32_t>(FC0.size());
}

void TPDFType2Function::Evaluate(std::span<const double> X, std::span<double> Y) {
    const double X0 = X.empty() ? 0.0 : X[0];
    const double P = CheckFinite(std::pow(X0, FN), "exponential function: result is not finite");
    const size_t N = std::min(Y.size(), size_t(FOutputValueCount));
    for (size_t K = 0; K < N; ++K) {
        // Entries that C0 or C1 lack take their defaults.
        const double C0 = K < FC0.size() ? FC0[K] : 0.0;
        const double C1 = K < FC1.size() ? FC1[K] : 1.0;
        Y[K] = CheckFinite(C0 + P * (C1 - C0), "exponential function: result is not finite");
    }
}

// ---- Type 3: stitching -------------------------------------------------

TPDFType3Function::TPDFType3Function(TPDFObject* Source, const TPDFFindObjectEvent& OnFindObject)
    : TPDFFunction(3, Source, OnFindObject) {
    TBuildContext Context;
    Load(Context);
}

TPDFType3Function::TPDFType3Function(TPDFObject* Source, const TPDFFindObjectEvent& OnFindObject,
                                     TBuildContext& Context)
    : TPDFFunction(3, Source, OnFindObject) {
    Load(Context);
}

void TPDFType3Function::Load(TBuildContext& Context) {
    if (!FDict) return;
    FBounds = NumberArray("Bounds");
    if (FDomain.size() >= 2) FBounds.push_back(FDomain[1]);
    FEncode = NumberArray("Encode");
    auto* Items = ObjAs<TPDFArray>(Resolve(FDict->FindValueByKeyName("Functions", false)));
    if (!Items) return;
    // This function counts as under way, so an item leading back to it or
    // to any function around it stays nil however it was reached.
    Context.Building.push_back(FDict);
    ++Context.Depth;
    int64_t Steps = 2;
    FFunctions.reserve(size_t(Items->Count()));
    for (TPDFObject* Item : Items->LiveItems()) {
        TPDFObject* Sub = Resolve(Item);
        TPDFDictionary* SubDict = ObjAs<TPDFDictionary>(Sub);
        if (auto* S = ObjAs<TPDFStream>(Sub)) SubDict = S->FDictionary;
        std::unique_ptr<TPDFFunction> F;
        if (SubDict && Context.Depth < kMaxFunctionNesting &&
            std::find(Context.Building.begin(), Context.Building.end(), SubDict) ==
                Context.Building.end())
            F = Build(Sub, FOnFindObject, Context);
        if (F) Steps += F->Steps();
        FFunctions.push_back(std::move(F));
    }
    --Context.Depth;
    Context.Building.pop_back();
    FSteps = CapSteps(double(std::min<int64_t>(Steps, kMaxFunctionSteps)));
}

void TPDFType3Function::Evaluate(std::span<const double> X, std::span<double> Y) {
    if (FDomain.size() < 2) FunctionError("stitching function without a two-number /Domain");
    const double D0 = FDomain[0];
    const double Xc = Clip(X.empty() ? 0.0 : X[0], D0, FDomain[1]);
    const size_t Count = std::min(FFunctions.size(), FBounds.size());
    for (size_t I = 0; I < Count; ++I) {
        const double Lo = I == 0 ? D0 : FBounds[I - 1];
        const double Hi = FBounds[I];
        if (!(Lo <= Xc && Xc <= Hi)) continue;
        double E0 = 0, E1 = 1;
        if (2 * I + 1 < FEncode.size()) {
            E0 = FEncode[2 * I];
            E1 = FEncode[2 * I + 1];
        }
        const double Xe = Hi == Lo ? E0 : E0 + (E1 - E0) * (Xc - Lo) / (Hi - Lo);
        CheckFinite(Xe, "stitching function: encoded input is not finite");
        TPDFFunction* F = FFunctions[I].get();
        if (!F) {
            const size_t N =
                FOutputValueCount > 0 ? std::min(Y.size(), size_t(FOutputValueCount)) : Y.size();
            std::fill(Y.begin(), Y.begin() + std::ptrdiff_t(N), 0.0);
            return;
        }
        F->RunFunction(std::span<const double>(&Xe, 1), Y);
        return;
    }
    // No subdomain holds x (bounds out of order): Y stays as it was.
}

// ---- Type 4: PostScript calculator ------------------------------------

namespace {

using T4 = TPDFType4Function;

bool IsPSWhite(char C) {
    return C == 0 || C == '\t' || C == '\n' || C == '\f' || C == '\r' || C == ' ';
}

// Next token of Text from Pos: a brace alone, or a run up to white space or a
// brace. Empty at the end of the text.
std::string_view NextPSToken(std::string_view Text, size_t& Pos) {
    while (Pos < Text.size() && IsPSWhite(Text[Pos])) ++Pos;
    if (Pos >= Text.size()) return {};
    const size_t Start = Pos;
    if (Text[Pos] == '{' || Text[Pos] == '}') return Text.substr(Pos++, 1);
    while (Pos < Text.size() && !IsPSWhite(Text[Pos]) && Text[Pos] != '{' && Text[Pos] != '}')
        ++Pos;
    return Text.substr(Start, Pos - Start);
}

struct TPSWord {
    std::string_view Word;
    T4::TPDFOp Op;
};

// Operator words in enumeration order; if and ifelse only follow blocks.
constexpr TPSWord kPSWords[] = {
    {"abs", T4::psOpAbs},
    {"add", T4::psOpAdd},
    {"and", T4::psOpAnd},
    {"atan", T4::psOpAtan},
    {"bitshift", T4::psOpBitshift},
    {"ceiling", T4::psOpCeiling},
    {"copy", T4::psOpCopy},
    {"cos", T4::psOpCos},
    {"cvi", T4::psOpCvi},
    {"cvr", T4::psOpCvr},
    {"div", T4::psOpDiv},
    {"dup", T4::psOpDup},
    {"eq", T4::psOpEq},
    {"exch", T4::psOpExch},
    {"exp", T4::psOpExp},
    {"false", T4::psOpFalse},
    {"floor", T4::psOpFloor},
    {"ge", T4::psOpGe},
    {"gt", T4::psOpGt},
    {"idiv", T4::psOpIdiv},
    {"index", T4::psOpIndex},
    {"le", T4::psOpLe},
    {"ln", T4::psOpLn},
    {"log", T4::psOpLog},
    {"lt", T4::psOpLt},
    {"mod", T4::psOpMod},
    {"mul", T4::psOpMul},
    {"ne", T4::psOpNe},
    {"neg", T4::psOpNeg},
    {"not", T4::psOpNot},
    {"or", T4::psOpOr},
    {"pop", T4::psOpPop},
    {"roll", T4::psOpRoll},
    {"round", T4::psOpRound},
    {"sin", T4::psOpSin},
    {"sqrt", T4::psOpSqrt},
    {"sub", T4::psOpSub},
    {"true", T4::psOpTrue},
    {"truncate", T4::psOpTruncate},
    {"xor", T4::psOpXor},
    {"if", T4::psOpIf},
    {"ifelse", T4::psOpIfelse},
};

bool FindPSWord(std::string_view Word, T4::TPDFOp& Op) {
    for (const TPSWord& W : kPSWords)
        if (W.Word == Word) {
            Op = W.Op;
            return true;
        }
    return false;
}

bool IsPSNumberToken(std::string_view Tok) { return !(Tok[0] >= 'a' && Tok[0] <= 'z'); }

// The program between its braces: a first "{" is dropped, the text is cut
// before its last "}" (without one, the last character goes).
std::string_view ProgramText(std::string_view S) {
    if (!S.empty() && S[0] == '{') S.remove_prefix(1);
    const size_t Close = S.rfind('}');
    if (Close != std::string_view::npos)
        S = S.substr(0, Close);
    else if (!S.empty())
        S.remove_suffix(1);
    return S;
}

}  // namespace

// Compiles blocks recursively, one call per block, at most kPSMaxBlockDepth
// deep. A fault (unknown word, malformed construct) ends compilation; the
// token array is then cut at the outermost construct left unfinished, so the
// program runs up to it and stops.
class TPDFType4Function::TCompiler {
public:
    TCompiler(std::string_view AText, std::vector<TPDFToken>& ATokens)
        : Text(AText), Tokens(ATokens) {}

    void CompileProgram() {
        Block(0);
        if (Failed) Tokens.resize(FailAt);
    }

private:
    // Compiles until "}" (written as a return) or the end of the text; false
    // on a fault, or when a nested block meets the end of the text.
    bool Block(int Depth) {
        for (;;) {
            const std::string_view Tok = NextPSToken(Text, Pos);
            if (Tok.empty()) {
                if (Depth == 0) return true;
                return Fail(Tokens.size());
            }
            if (Tok == "}") {
                Tokens.push_back({psOperator, psOpReturn, 0, 0});
                return true;
            }
            if (Tok == "{") {
                if (!Construct(Depth)) return false;
                continue;
            }
            if (IsPSNumberToken(Tok)) {
                Tokens.push_back({psReal, psOpAbs, 0, ParseNumber(Tok)});
                continue;
            }
            TPDFOp Op;
            if (!FindPSWord(Tok, Op) || Op == psOpIf || Op == psOpIfelse)
                return Fail(Tokens.size());
            Tokens.push_back({psOperator, Op, 0, 0});
        }
    }

    // "{" was read: then-block, optional else-block, then if or ifelse.
    bool Construct(int Depth) {
        const size_t B = Tokens.size();
        if (Depth + 1 > kPSMaxBlockDepth) return Fail(B);
        Tokens.resize(B + 3);
        if (!Block(Depth + 1)) return Fail(B);
        size_t Else = 0;
        std::string_view Tok = NextPSToken(Text, Pos);
        if (Tok == "{") {
            Else = Tokens.size();
            if (!Block(Depth + 1)) return Fail(B);
            Tok = NextPSToken(Text, Pos);
        }
        if (Tok == "if" && Else == 0) {
            Tokens[B] = {psOperator, psOpIf, 0, 0};
        } else if (Tok == "ifelse" && Else != 0) {
            Tokens[B] = {psOperator, psOpIfelse, 0, 0};
            Tokens[B + 1] = {psBlock, psOpAbs, int32_t(Else), 0};
        } else {
            return Fail(B);
        }
        Tokens[B + 2] = {psBlock, psOpAbs, int32_t(Tokens.size()), 0};
        return true;
    }

    bool Fail(size_t At) {
        Failed = true;
        FailAt = At;  // outer constructs overwrite this as the fault unwinds
        return false;
    }

    std::string_view Text;
    std::vector<TPDFToken>& Tokens;
    size_t Pos = 0;
    bool Failed = false;
    size_t FailAt = 0;
};

TPDFType4Function::TPDFType4Function(TPDFObject* Source, const TPDFFindObjectEvent& OnFindObject)
    : TPDFFunction(4, Source, OnFindObject) {
    FProgram = std::string(ProgramText(FStream));
    TCompiler(FProgram, FTokens).CompileProgram();
    FTokens.shrink_to_fit();
}

void TPDFType4Function::Push(double V) {
    if (FStackCount >= kPSStackSize) FunctionError("PostScript function: stack overflow");
    FStack[FStackCount++] = V;
}

int32_t TPDFType4Function::PopInt() {
    const double V = std::nearbyint(Pop());
    if (!(V >= -2147483648.0 && V <= 2147483647.0))
        FunctionError("PostScript function: integer operand out of range");
    return static_cast<int32_t>(V);
}

void TPDFType4Function::Operate(TPDFOp Op) {
    constexpr double kDegToRad = 0.017453292519943295769;
    constexpr double kRadToDeg = 57.295779513082320877;
    double A, B;
    int32_t I, J;
    switch (Op) {
        case psOpAdd:
            B = Pop(), A = Pop();
            Push(CheckFinite(A + B, "PostScript function: overflow"));
            break;
        case psOpSub:
            B = Pop(), A = Pop();
            Push(CheckFinite(A - B, "PostScript function: overflow"));
            break;
        case psOpMul:
            B = Pop(), A = Pop();
            Push(CheckFinite(A * B, "PostScript function: overflow"));
            break;
        case psOpDiv:
            B = Pop(), A = Pop();
            if (B == 0) FunctionError("PostScript function: division by zero");
            Push(CheckFinite(A / B, "PostScript function: overflow"));
            break;
        case psOpIdiv:
            J = PopInt(), I = PopInt();
            if (J == 0) FunctionError("PostScript function: division by zero");
            if (I == INT32_MIN && J == -1) FunctionError("PostScript function: overflow");
            Push(double(I / J));
            break;
        case psOpMod:
            J = PopInt(), I = PopInt();
            if (J == 0) FunctionError("PostScript function: division by zero");
            Push(J == -1 ? 0.0 : double(I % J));
            break;
        case psOpNeg:
            Push(-Pop());
            break;
        case psOpAbs:
            Push(std::fabs(Pop()));
            break;
        case psOpCeiling:
            Push(std::ceil(Pop()));
            break;
        case psOpFloor:
            Push(std::floor(Pop()));
            break;
        case psOpRound:
        case psOpCvi:
            Push(std::nearbyint(Pop()));
            break;
        case psOpTruncate:
            Push(std::trunc(Pop()));
            break;
        case psOpCvr:
            Push(Pop());
            break;
        case psOpSqrt:
            B = Pop();
            if (B < 0) FunctionError("PostScript function: square root of a negative number");
            Push(std::sqrt(B));
            break;
        case psOpLn:
        case psOpLog:
            B = Pop();
            if (!(B > 0)) FunctionError("PostScript function: logarithm of a number not above 0");
            Push(Op == psOpLn ? std::log(B) : std::log10(B));
            break;
        case psOpSin:
            Push(std::sin(Pop() * kDegToRad));
            break;
        case psOpCos:
            Push(std::cos(Pop() * kDegToRad));
            break;
        case psOpAtan:
            B = Pop(), A = Pop();
            A = std::atan2(A, B) * kRadToDeg;
            Push(A < 0 ? A + 360.0 : A);
            break;
        case psOpExp:
            B = Pop(), A = Pop();
            Push(CheckFinite(std::pow(A, B), "PostScript function: exp result is not finite"));
            break;
        case psOpEq:
            B = Pop(), A = Pop();
            Push(A == B ? 1.0 : 0.0);
            break;
        case psOpNe:
            B = Pop(), A = Pop();
            Push(A != B ? 1.0 : 0.0);
            break;
        case psOpGt:
            B = Pop(), A = Pop();
            Push(A > B ? 1.0 : 0.0);
            break;
        case psOpGe:
            B = Pop(), A = Pop();
            Push(A >= B ? 1.0 : 0.0);
            break;
        case psOpLt:
            B = Pop(), A = Pop();
            Push(A < B ? 1.0 : 0.0);
            break;
        case psOpLe:
            B = Pop(), A = Pop();
            Push(A <= B ? 1.0 : 0.0);
            break;
        case psOpAnd:
            J = PopInt(), I = PopInt();
            Push(double(I & J));
            break;
        case psOpOr:
            J = PopInt(), I = PopInt();
            Push(double(I | J));
            break;
        case psOpXor:
            J = PopInt(), I = PopInt();
            Push(double(I ^ J));
            break;
        case psOpNot:
            Push(double(~PopInt()));
            break;
        case psOpBitshift: {
            J = PopInt(), I = PopInt();
            const auto U = static_cast<uint32_t>(I);
            uint32_t R = U;
            if (J >= 32 || J <= -32)
                R = 0;
            else if (J > 0)
                R = U << J;
            else if (J < 0)
                R = U >> -J;
            Push(double(static_cast<int32_t>(R)));
            break;
        }
        case psOpTrue:
            Push(1.0);
            break;
        case psOpFalse:
            Push(0.0);
            break;
        case psOpPop:
            Pop();
            break;
        case psOpExch:
            B = Pop(), A = Pop();
            Push(B);
            Push(A);
            break;
        case psOpDup:
            // An empty stack duplicates the 0 that popping it would give.
            Push(FStackCount > 0 ? FStack[FStackCount - 1] : 0.0);
            break;
        case psOpCopy: {
            I = PopInt();
            if (I <= 0) break;
            const int32_t N = std::min(I, FStackCount);
            if (FStackCount + N > kPSStackSize)
                FunctionError("PostScript function: stack overflow");
            std::memcpy(FStack + FStackCount, FStack + FStackCount - N, sizeof(double) * size_t(N));
            FStackCount += N;
            break;
        }
        case psOpIndex:
            I = PopInt();
            if (I < 0) break;
            Push(I < FStackCount ? FStack[FStackCount - 1 - I] : 0.0);
            break;
        case psOpRoll: {
            J = PopInt(), I = PopInt();
            if (I <= 0) break;
            const int32_t N = std::min(I, FStackCount);
            if (N == 0) break;
            // One rotation by j mod n, whatever the size of j.
            const int32_t Shift = ((J % N) + N) % N;
            if (Shift == 0) break;
            double* First = FStack + FStackCount - N;
            std::rotate(First, First + (N - Shift), FStack + FStackCount);
            break;
        }
        case psOpIf:
        case psOpIfelse:
        case psOpReturn:
            break;
    }
}

void TPDFType4Function::Execute() {
    // Where each entered block continues; nesting is bounded by the compiler.
    int32_t Returns[kPSMaxBlockDepth + 1];
    int Depth = 0;
    const auto Count = static_cast<int32_t>(FTokens.size());
    int32_t Ip = 0;
    while (Ip < Count) {
        const TPDFToken& T = FTokens[size_t(Ip)];
        if (T.TokenType == psReal) {
            Push(T.Real);
            ++Ip;
            continue;
        }
        if (T.TokenType != psOperator) return;
        switch (T.Op) {
            case psOpReturn:
                if (Depth == 0) return;
                Ip = Returns[--Depth];
                break;
            case psOpIf:
            case psOpIfelse: {
                const int32_t After = FTokens[size_t(Ip) + 2].Blk;
                const int32_t Cond = PopInt();
                if (Depth > kPSMaxBlockDepth)
                    FunctionError("PostScript function: nesting too deep");
                if (Cond == 1) {
                    Returns[Depth++] = After;
                    Ip += 3;
                } else if (T.Op == psOpIfelse) {
                    Returns[Depth++] = After;
                    Ip = FTokens[size_t(Ip) + 1].Blk;
                } else {
                    Ip = After;
                }
                break;
            }
            default:
                Operate(T.Op);
                ++Ip;
                break;
        }
    }
}

void TPDFType4Function::PushInputs(std::span<const double> X) {
    FStackCount = 0;
    for (int32_t I = 0; I < FInputValueCount; ++I) Push(X[size_t(I)]);
}

void TPDFType4Function::PopOutputs(std::span<double> Y) {
    for (int32_t K = FOutputValueCount - 1; K >= 0; --K) {
        const double V = Pop();
        if (size_t(K) < Y.size())
            Y[size_t(K)] = Clip(V, FRange[size_t(2 * K)], FRange[size_t(2 * K + 1)]);
    }
}

void TPDFType4Function::Evaluate(std::span<const double> X, std::span<double> Y) {
    PushInputs(X);
    Execute();
    PopOutputs(Y);
}

void TPDFType4Function::RunFunctionNonOpt(std::span<const double> X, std::span<double> Y) {
    if (X.size() < size_t(FInputValueCount)) {
        std::vector<double> Padded(X.begin(), X.end());
        Padded.resize(size_t(FInputValueCount), 0.0);
        RunFunctionNonOpt(Padded, Y);
        return;
    }
    PushInputs(X);
    std::string Text(FProgram);
    std::vector<std::string> Pending;
    size_t Pos = 0;
    for (;;) {
        const std::string_view Tok = NextPSToken(Text, Pos);
        if (Tok.empty()) break;
        if (Tok == "{") {
            // The block's inner text, tokens joined by single spaces, kept
            // until an if or ifelse picks it; nesting as deep as the compiler
            // allows, deeper ends the program.
            std::string Inner;
            int Depth = 1;
            for (;;) {
                const std::string_view T = NextPSToken(Text, Pos);
                if (T.empty()) break;
                if (T == "{" && ++Depth > kPSMaxBlockDepth) goto Done;
                if (T == "}" && --Depth == 0) break;
                if (!Inner.empty()) Inner += ' ';
                Inner += T;
            }
            Pending.push_back(std::move(Inner));
            continue;
        }
        if (Tok == "}") continue;
        if (IsPSNumberToken(Tok)) {
            Push(ParseNumber(Tok));
            continue;
        }
        TPDFOp Op;
        if (!FindPSWord(Tok, Op)) continue;  // unknown words are skipped
        if (Op == psOpIf || Op == psOpIfelse) {
            const int32_t Cond = PopInt();
            const std::string* Pick = nullptr;
            if (Op == psOpIf && Cond == 1 && !Pending.empty()) Pick = &Pending[0];
            if (Op == psOpIfelse && Pending.size() >= 2) Pick = &Pending[Cond == 1 ? 0 : 1];
            if (Pick) Text.insert(Pos, " " + *Pick + " ");
            Pending.clear();
            continue;
        }
        Operate(Op);
    }
Done:
    PopOutputs(Y);
    const size_t N = std::min(Y.size(), size_t(FOutputValueCount));
    for (size_t K = 0; K < N; ++K) CheckFinite(Y[K], "function result is not a finite number");
}

}  // namespace velmo
