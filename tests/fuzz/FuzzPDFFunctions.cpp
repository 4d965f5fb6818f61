// The PDF-function target's work, apart from the other targets: it needs the
// object parser and the render library's functions.
//
// An input is either a run of "N G obj ... endobj" objects (dictionaries and
// streams, references resolved among them, so a function can reach itself)
// or, when it does not start with a digit, a raw PostScript calculator
// program: its first byte gives the input count, its second the output count.
// Every function is evaluated at the ends and the middle of its domain; the
// function error is an expected outcome, any other failure is a fault.
#include <cmath>
#include <cstdlib>
#include <unordered_map>
#include <vector>

#include "core/Structure.h"
#include "render/Functions.h"
#include "tests/fuzz/FuzzTargets.h"

namespace velmo::fuzz {

namespace {

constexpr size_t kMaxObjects = 256;
constexpr size_t kMaxOutputs = 1024;

bool IsWhite(char C) {
    return C == ' ' || C == '\n' || C == '\r' || C == '\t' || C == '\f' || C == 0;
}

void SkipWhite(std::string_view D, size_t& P) {
    while (P < D.size() && IsWhite(D[P])) ++P;
}

bool ReadInt(std::string_view D, size_t& P, int32_t& V) {
    SkipWhite(D, P);
    const size_t Start = P;
    int64_t R = 0;
    while (P < D.size() && D[P] >= '0' && D[P] <= '9' && P - Start < 9) R = R * 10 + (D[P++] - '0');
    V = int32_t(R);
    return P > Start;
}

// The objects of the input, in order, entered in Objects by number.
void ParseObjects(TPDFStructure& S, std::string_view D, std::vector<TPDFObject*>& Order,
                  std::unordered_map<int32_t, TPDFObject*>& Objects) {
    size_t P = 0;
    while (Order.size() < kMaxObjects) {
        int32_t Num, Gen;
        if (!ReadInt(D, P, Num) || !ReadInt(D, P, Gen)) return;
        SkipWhite(D, P);
        if (D.substr(P, 3) != "obj") return;
        P += 3;
        size_t End = D.find("endobj", P);
        if (End == std::string_view::npos) End = D.size();
        std::string_view Body = D.substr(P, End - P);
        P = std::min(D.size(), End + 6);
        TPDFObject* O = nullptr;
        const size_t Kw = Body.find("stream");
        if (Kw != std::string_view::npos) {
            auto* Dict = ObjAs<TPDFDictionary>(S.Decode(Body.substr(0, Kw)));
            size_t Start = Kw + 6;
            if (Start < Body.size() && Body[Start] == '\r') ++Start;
            if (Start < Body.size() && Body[Start] == '\n') ++Start;
            size_t Stop = Body.rfind("endstream");
            if (Stop == std::string_view::npos || Stop < Start) Stop = Body.size();
            if (Dict) O = S.NewStreamWithDict(std::string(Body.substr(Start, Stop - Start)), Dict);
        }
        if (!O) O = S.Decode(Body);
        O->Own(Num, Gen);
        Objects[Num] = O;
        Order.push_back(O);
    }
}

void Check(bool Ok) {
    if (!Ok) std::abort();
}

void Evaluate(TPDFFunction& F) {
    const size_t M = size_t(F.InputValueCount());
    const std::vector<double>& Domain = F.Domain();
    std::vector<double> X(M);
    std::vector<double> Y(std::min<size_t>(size_t(F.OutputValueCount()), kMaxOutputs) + 1);
    auto* Ps = F.FunctionType() == 4 ? static_cast<TPDFType4Function*>(&F) : nullptr;
    for (int Point = 0; Point < 3; ++Point) {
        for (size_t I = 0; I < M; ++I) {
            const double Lo = Domain[2 * I], Hi = Domain[2 * I + 1];
            X[I] = Point == 0 ? Lo : Point == 1 ? Lo / 2 + Hi / 2 : Hi;
        }
        for (int Way = 0; Way < (Ps ? 2 : 1); ++Way) {
            std::fill(Y.begin(), Y.end(), 0.0);
            try {
                if (Way == 0)
                    F.RunFunction(X, std::span<double>(Y));
                else
                    Ps->RunFunctionNonOpt(X, Y);
            } catch (const EPDFFunctionError&) {
                continue;
            }
            for (double V : Y) Check(std::isfinite(V));
        }
    }
    // Fewer inputs than the function takes read 0.
    try {
        F.RunFunction({}, std::span<double>(Y));
    } catch (const EPDFFunctionError&) {
    }
}

}  // namespace

void PDFFunctions(std::string_view Data) {
    TPDFStructure S;
    std::vector<TPDFObject*> Order;
    std::unordered_map<int32_t, TPDFObject*> Objects;
    if (!Data.empty() && Data[0] >= '0' && Data[0] <= '9') {
        ParseObjects(S, Data, Order, Objects);
    } else if (Data.size() >= 2) {
        const int M = uint8_t(Data[0]) % 8, N = uint8_t(Data[1]) % 8;
        std::string D = "<< /FunctionType 4 /Domain [";
        for (int I = 0; I < M; ++I) D += "-2 3 ";
        D += "] /Range [";
        for (int I = 0; I < N; ++I) D += "-1000 1000 ";
        D += "] >>";
        Order.push_back(
            S.NewStreamWithDict(std::string(Data.substr(2)), ObjAs<TPDFDictionary>(S.Decode(D))));
    }
    const TPDFFindObjectEvent Lookup = [&](TPDFIndRef* Ref) -> TPDFObject* {
        auto It = Objects.find(Ref->ObjNum);
        return It == Objects.end() ? nullptr : It->second;
    };
    for (TPDFObject* O : Order) {
        std::unique_ptr<TPDFFunction> F = TPDFFunction::FunctionFactory(O, Lookup);
        if (!F) continue;
        Check(F->Steps() >= 1 && F->Steps() <= kMaxFunctionSteps);
        Evaluate(*F);
    }
}

}  // namespace velmo::fuzz
