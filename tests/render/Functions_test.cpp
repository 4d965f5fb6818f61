#include "render/Functions.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/Structure.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

// Objects made from PDF text in one store; "N 0 R" references resolve among
// the objects numbered with Number().
class TFunctionFixture {
public:
    TPDFDictionary* Dict(std::string_view Text) {
        auto* D = ObjAs<TPDFDictionary>(S.Decode(Text));
        EXPECT_NE(D, nullptr) << Text;
        return D;
    }
    TPDFStream* Stream(std::string_view DictText, std::string Data) {
        return S.NewStreamWithDict(std::move(Data), Dict(DictText));
    }
    TPDFObject* Number(int32_t N, TPDFObject* O) {
        Objects[N] = O;
        return O;
    }
    std::unique_ptr<TPDFFunction> Make(TPDFObject* Source) {
        return TPDFFunction::FunctionFactory(Source, Lookup);
    }

    TPDFStructure S;
    std::map<int32_t, TPDFObject*> Objects;
    TPDFFindObjectEvent Lookup = [this](TPDFIndRef* Ref) -> TPDFObject* {
        auto It = Objects.find(Ref->ObjNum);
        return It == Objects.end() ? nullptr : It->second;
    };
};

std::vector<double> Eval(TPDFFunction& F, std::vector<double> X, size_t Outputs) {
    std::vector<double> Y(Outputs, -99.0);
    F.RunFunction(X, std::span<double>(Y));
    return Y;
}

void ExpectValues(const std::vector<double>& Got, const std::vector<double>& Want, double Tol,
                  const std::string& Where) {
    ASSERT_EQ(Got.size(), Want.size()) << Where;
    for (size_t I = 0; I < Got.size(); ++I)
        EXPECT_NEAR(Got[I], Want[I], Tol) << Where << " output " << I;
}

TEST(Functions, SampledAndExponential) {
    TFunctionFixture Fx;
    // One input, two 8-bit samples 0 and 255.
    auto Ramp = Fx.Make(
        Fx.Stream("<< /FunctionType 0 /Domain [0 1] /Range [0 1] /Size [2] /BitsPerSample 8 >>",
                  std::string("\x00\xFF", 2)));
    ASSERT_NE(Ramp, nullptr);
    EXPECT_EQ(Ramp->FunctionType(), 0);
    EXPECT_DOUBLE_EQ(Eval(*Ramp, {0.5}, 1)[0], 0.5);
    EXPECT_DOUBLE_EQ(Eval(*Ramp, {2.0}, 1)[0], 1.0);
    EXPECT_DOUBLE_EQ(Eval(*Ramp, {-3.0}, 1)[0], 0.0);
    // Inputs the caller did not pass read 0.
    EXPECT_DOUBLE_EQ(Eval(*Ramp, {}, 1)[0], 0.0);
    EXPECT_EQ(Ramp->Steps(), 2);

    // Four-bit samples: high nibble first.
    auto Nibbles =
        Fx.Make(Fx.Stream("<< /FunctionType 0 /Domain [0 1] /Range [0 15] /Decode [0 15] "
                          "/Size [2] /BitsPerSample 4 >>",
                          "\x12"));
    EXPECT_DOUBLE_EQ(Eval(*Nibbles, {0.0}, 1)[0], 1.0);
    EXPECT_DOUBLE_EQ(Eval(*Nibbles, {1.0}, 1)[0], 2.0);

    // Two inputs over a 2 × 3 grid, bilinear; the expected value is computed
    // here from the grid.
    const int G[3][2] = {{10, 200}, {40, 90}, {250, 0}};  // [g1][g0]
    std::string Grid;
    for (auto& Row : G)
        for (int V : Row) Grid.push_back(char(V));
    auto Bilinear =
        Fx.Make(Fx.Stream("<< /FunctionType 0 /Domain [0 1 0 1] /Range [0 255] "
                          "/Decode [0 255] /Size [2 3] /BitsPerSample 8 >>",
                          Grid));
    for (auto [X0, X1] : {std::pair{0.3, 0.6}, {0.0, 1.0}, {1.0, 0.25}, {0.5, 0.5}}) {
        const double E0 = X0 * 1, E1 = X1 * 2;
        const int A0 = int(std::floor(E0)), B0 = int(std::ceil(E0));
        const int A1 = int(std::floor(E1)), B1 = int(std::ceil(E1));
        const double T0 = E0 - A0, T1 = E1 - A1;
        const double Lo = G[A1][A0] + (G[A1][B0] - G[A1][A0]) * T0;
        const double Hi = G[B1][A0] + (G[B1][B0] - G[B1][A0]) * T0;
        EXPECT_NEAR(Eval(*Bilinear, {X0, X1}, 1)[0], Lo + (Hi - Lo) * T1, 1e-9) << X0 << "," << X1;
    }

    // Dictionaries that cannot be evaluated raise at the first evaluation.
    struct TBad {
        const char* Dict;
        const char* Why;
    };
    const TBad Bad[] = {
        {"<< /FunctionType 0 /Domain [0 1 0 1] /Range [0 1] /Size [2] /BitsPerSample 8 >>",
         "Size shorter than the inputs"},
        {"<< /FunctionType 0 /Domain [0 1] /Range [0 1] /Size [0] /BitsPerSample 8 >>", "Size 0"},
        {"<< /FunctionType 0 /Domain [0 1] /Range [0 1] /Size [-4] /BitsPerSample 8 >>",
         "Size negative"},
        {"<< /FunctionType 0 /Domain [0 1] /Range [0 1] /Size [2] >>", "BitsPerSample missing"},
        {"<< /FunctionType 0 /Domain [0 1] /Range [0 1] /Size [2] /BitsPerSample 3 >>",
         "BitsPerSample 3"},
        {"<< /FunctionType 0 /Domain [0 1] /Range [0 1] /Size [2] /BitsPerSample 64 >>",
         "BitsPerSample 64"},
        {"<< /FunctionType 0 /Domain [0 1 0 1] /Range [0 1] /Size [65536 65536] /BitsPerSample 8 "
         ">>",
         "grid beyond the cap"},
        {"<< /FunctionType 0 /Domain [0 1] /Range [0 1 0 1 0 1] /Size [16777216] /BitsPerSample 8 "
         ">>",
         "grid times outputs beyond the cap"},
        {"<< /FunctionType 0 /Domain [0 1] /Range [0 1] /Size [1000000000000000000000000000000] "
         "/BitsPerSample 8 >>",
         "huge Size"},
    };
    for (const TBad& B : Bad) {
        auto F = Fx.Make(Fx.Stream(B.Dict, "\x10\x20"));
        ASSERT_NE(F, nullptr) << B.Why;
        const double Start = vpltest::ThreadSeconds();
        for (int Twice = 0; Twice < 2; ++Twice)
            EXPECT_THROW(Eval(*F, {0.5, 0.5}, 3), EPDFFunctionError) << B.Why;
        EXPECT_LT(vpltest::ThreadSeconds() - Start, 1) << B.Why;
    }

    // A short /Encode takes (0, Size-1) for the inputs it lacks; a short
    // /Decode takes the /Range pairs.
    auto ShortEncode =
        Fx.Make(Fx.Stream("<< /FunctionType 0 /Domain [0 1 0 1] /Range [0 255] "
                          "/Decode [0 255] /Encode [1 0] /Size [2 2] "
                          "/BitsPerSample 8 >>",
                          std::string("\x00\x64\xC8\xFF", 4)));
    // Input 0 reversed by its pair, input 1 default: (x0, x1) = (0, 1) gives
    // grid (1, 1).
    EXPECT_DOUBLE_EQ(Eval(*ShortEncode, {0.0, 1.0}, 1)[0], 255.0);
    EXPECT_DOUBLE_EQ(Eval(*ShortEncode, {1.0, 1.0}, 1)[0], 200.0);
    auto ShortDecode =
        Fx.Make(Fx.Stream("<< /FunctionType 0 /Domain [0 1] /Range [0 1 0 10] "
                          "/Decode [1 0] /Size [1] /BitsPerSample 8 >>",
                          std::string("\x33\xFF", 2)));
    ExpectValues(Eval(*ShortDecode, {0.0}, 2), {0.8, 10.0}, 1e-12, "short Decode");

    // A stream shorter than the grid reads 0 beyond its end.
    auto Short = Fx.Make(
        Fx.Stream("<< /FunctionType 0 /Domain [0 1] /Range [0 1] /Size [1000] /BitsPerSample 16 >>",
                  std::string("\xFF\xFF\xFF", 3)));
    EXPECT_DOUBLE_EQ(Eval(*Short, {0.0}, 1)[0], 1.0);
    EXPECT_DOUBLE_EQ(Eval(*Short, {1.0}, 1)[0], 0.0);
    EXPECT_DOUBLE_EQ(Eval(*Short, {0.5}, 1)[0], 0.0);
    // 32-bit samples and 12-bit samples straddling bytes.
    auto Wide = Fx.Make(
        Fx.Stream("<< /FunctionType 0 /Domain [0 1] /Range [0 1] /Size [2] /BitsPerSample 32 >>",
                  std::string("\x00\x00\x00\x00\xFF\xFF\xFF\xFF", 8)));
    EXPECT_DOUBLE_EQ(Eval(*Wide, {1.0}, 1)[0], 1.0);
    auto Twelve =
        Fx.Make(Fx.Stream("<< /FunctionType 0 /Domain [0 1] /Range [0 4095] "
                          "/Decode [0 4095] /Size [2] /BitsPerSample 12 >>",
                          "\xAB\xCD\xEF"));
    ExpectValues(Eval(*Twelve, {0.0}, 1), {double(0xABC)}, 0, "12 bits first");
    ExpectValues(Eval(*Twelve, {1.0}, 1), {double(0xDEF)}, 0, "12 bits second");

    // Many inputs on grid lines: only the inputs between grid lines cost work.
    std::string Dom, Size;
    for (int I = 0; I < 20; ++I) Dom += "0 1 ", Size += "2 ";
    auto Many = Fx.Make(Fx.Stream("<< /FunctionType 0 /Domain [" + Dom + "] /Range [0 1] /Size [" +
                                      Size + "] /BitsPerSample 1 >>",
                                  std::string(1 << 17, '\xAA')));
    std::vector<double> X(20, 1.0);
    X[0] = 0.5;
    EXPECT_DOUBLE_EQ(Eval(*Many, X, 1)[0], 0.5);

    // Steps follow Size[0], capped.
    EXPECT_EQ(Fx.Make(Fx.Dict("<< /FunctionType 0 /Size [10] >>"))->Steps(), 10);
    EXPECT_EQ(Fx.Make(Fx.Dict("<< /FunctionType 0 /Size [100000000] >>"))->Steps(),
              kMaxFunctionSteps);

    // Exponential: the textbook case, no clipping of the input.
    auto Exp = Fx.Make(Fx.Dict("<< /FunctionType 2 /Domain [0 1] /C0 [0 0 0] /C1 [1 0 0] /N 2 >>"));
    ASSERT_NE(Exp, nullptr);
    EXPECT_EQ(Exp->OutputValueCount(), 3);
    ExpectValues(Eval(*Exp, {0.5}, 3), {0.25, 0, 0}, 1e-15, "N 2 at 0.5");
    ExpectValues(Eval(*Exp, {2.0}, 3), {4, 0, 0}, 1e-15, "N 2 at 2");
    // Entries that C0 and C1 lack read 0 and 1.
    auto Defaults =
        Fx.Make(Fx.Dict("<< /FunctionType 2 /Domain [0 1] /Range [0 1 0 1 0 1] "
                        "/C0 [0.2] /N 1 >>"));
    ExpectValues(Eval(*Defaults, {0.5}, 3), {0.6, 0.5, 0.5}, 1e-15, "C0 and C1 defaults");
    // Results that are not finite raise.
    auto Neg = Fx.Make(Fx.Dict("<< /FunctionType 2 /Domain [-1 1] /N 0.5 >>"));
    EXPECT_THROW(Eval(*Neg, {-1.0}, 1), EPDFFunctionError);
    auto Zero = Fx.Make(Fx.Dict("<< /FunctionType 2 /Domain [0 1] /N -1 >>"));
    EXPECT_THROW(Eval(*Zero, {0.0}, 1), EPDFFunctionError);

    // Not functions.
    EXPECT_EQ(Fx.Make(Fx.Dict("<< /FunctionType 1 >>")), nullptr);
    EXPECT_EQ(Fx.Make(Fx.Dict("<< /Domain [0 1] >>")), nullptr);
    EXPECT_EQ(Fx.Make(Fx.S.NewNumeric(2)), nullptr);
    EXPECT_EQ(Fx.Make(nullptr), nullptr);
}

TEST(Functions, Stitching) {
    TFunctionFixture Fx;
    Fx.Number(10, Fx.Dict("<< /FunctionType 2 /Domain [0 1] /C0 [0] /C1 [1] /N 1 >>"));
    Fx.Number(11, Fx.Dict("<< /FunctionType 2 /Domain [0 1] /C0 [10] /C1 [11] /N 1 >>"));

    auto Two =
        Fx.Make(Fx.Dict("<< /FunctionType 3 /Domain [0 1] /Bounds [0.5] /Encode [0 1 0 1] "
                        "/Functions [10 0 R 11 0 R] >>"));
    ASSERT_NE(Two, nullptr);
    EXPECT_EQ(Two->Steps(), 6);
    // A value on an inner bound goes to the lower piece.
    EXPECT_DOUBLE_EQ(Eval(*Two, {0.5}, 1)[0], 1.0);
    EXPECT_DOUBLE_EQ(Eval(*Two, {0.75}, 1)[0], 10.5);
    EXPECT_DOUBLE_EQ(Eval(*Two, {5.0}, 1)[0], 11.0);

    // Bounds out of order leave Y as it was.
    for (const char* D : {"<< /FunctionType 3 /Domain [0 1] /Bounds [0.5 0.3] /Encode [0 1 0 1] "
                          "/Functions [10 0 R 11 0 R] >>",
                          "<< /FunctionType 3 /Domain [1 0] /Functions [10 0 R] >>"}) {
        auto F = Fx.Make(Fx.Dict(D));
        EXPECT_EQ(Eval(*F, {0.7}, 1)[0], -99.0) << D;
    }

    // A short /Bounds limits the search to the pieces that have bounds.
    auto ShortBounds =
        Fx.Make(Fx.Dict("<< /FunctionType 3 /Domain [0 1] /Encode [0 1 0 1 0 1] "
                        "/Functions [10 0 R 11 0 R 11 0 R] >>"));
    EXPECT_DOUBLE_EQ(Eval(*ShortBounds, {0.9}, 1)[0], 0.9);
    // A missing /Encode pair reads (0, 1).
    auto ShortEncode =
        Fx.Make(Fx.Dict("<< /FunctionType 3 /Domain [0 1] /Bounds [0.5] "
                        "/Encode [1 0] /Functions [10 0 R 11 0 R] >>"));
    EXPECT_DOUBLE_EQ(Eval(*ShortEncode, {0.25}, 1)[0], 0.5);
    EXPECT_DOUBLE_EQ(Eval(*ShortEncode, {0.75}, 1)[0], 10.5);
    auto NoEncode =
        Fx.Make(Fx.Dict("<< /FunctionType 3 /Domain [0 1] /Bounds [0.5] "
                        "/Functions [10 0 R 11 0 R] >>"));
    EXPECT_DOUBLE_EQ(Eval(*NoEncode, {0.75}, 1)[0], 10.5);

    // A nil piece gives zeros of the output length.
    auto Nil =
        Fx.Make(Fx.Dict("<< /FunctionType 3 /Domain [0 1] /Bounds [0.5] /Range [0 20 0 20] "
                        "/Functions [10 0 R 99 0 R] >>"));
    ExpectValues(Eval(*Nil, {0.75}, 3), {0, 0, -99}, 0, "nil piece with Range");
    auto NilNoRange = Fx.Make(Fx.Dict("<< /FunctionType 3 /Domain [0 1] /Functions [null] >>"));
    ExpectValues(Eval(*NilNoRange, {0.75}, 2), {0, 0}, 0, "nil piece without Range");

    // A /Functions item that leads back to a function being built stays nil:
    // itself, and a cycle through another object.
    Fx.Number(5, Fx.Dict("<< /FunctionType 3 /Domain [0 1] /Bounds [0.5] /Encode [0 1 0 1] "
                         "/Functions [5 0 R 11 0 R] >>"));
    auto Self = Fx.Make(Fx.Objects[5]);
    ASSERT_NE(Self, nullptr);
    auto* Self3 = static_cast<TPDFType3Function*>(Self.get());
    EXPECT_EQ(Self3->Functions(0), nullptr);
    ASSERT_NE(Self3->Functions(1), nullptr);
    EXPECT_DOUBLE_EQ(Eval(*Self, {0.25}, 1)[0], 0.0);
    EXPECT_DOUBLE_EQ(Eval(*Self, {0.75}, 1)[0], 10.5);
    Fx.Number(6, Fx.Dict("<< /FunctionType 3 /Domain [0 1] /Functions [7 0 R] >>"));
    Fx.Number(7, Fx.Dict("<< /FunctionType 3 /Domain [0 1] /Functions [6 0 R] >>"));
    auto Cycle = Fx.Make(Fx.Objects[6]);
    auto* Inner = static_cast<TPDFType3Function*>(Cycle.get())->Functions(0);
    ASSERT_NE(Inner, nullptr);
    EXPECT_EQ(static_cast<TPDFType3Function*>(Inner)->Functions(0), nullptr);
    EXPECT_DOUBLE_EQ(Eval(*Cycle, {0.3}, 1)[0], 0.0);

    // Nesting: 16 levels are built, deeper pieces stay nil.
    auto Chain = [&](int Levels) {
        const int Base = 1000 * Levels;
        Fx.Number(Base, Fx.Dict("<< /FunctionType 2 /Domain [0 1] /C0 [7] /C1 [7] >>"));
        for (int L = 1; L < Levels; ++L)
            Fx.Number(Base + L, Fx.Dict("<< /FunctionType 3 /Domain [0 1] /Functions [" +
                                        std::to_string(Base + L - 1) + " 0 R] >>"));
        return Fx.Make(Fx.Objects[Base + Levels - 1]);
    };
    EXPECT_DOUBLE_EQ(Eval(*Chain(kMaxFunctionNesting), {0.5}, 1)[0], 7.0);
    EXPECT_DOUBLE_EQ(Eval(*Chain(kMaxFunctionNesting + 1), {0.5}, 1)[0], 0.0);

    // Shared pieces at every level build a bounded number of functions.
    Fx.Number(2000, Fx.Dict("<< /FunctionType 2 /Domain [0 1] /C0 [3] /C1 [3] >>"));
    for (int L = 1; L < 16; ++L) {
        std::string Items;
        for (int K = 0; K < 8; ++K) Items += std::to_string(2000 + L - 1) + " 0 R ";
        Fx.Number(2000 + L,
                  Fx.Dict("<< /FunctionType 3 /Domain [0 1] /Functions [" + Items + "] >>"));
    }
    const double Start = vpltest::ThreadSeconds();
    auto Wide = Fx.Make(Fx.Objects[2015]);
    EXPECT_LT(vpltest::ThreadSeconds() - Start, 2);
    EXPECT_LE(Wide->Steps(), kMaxFunctionSteps);
    EXPECT_DOUBLE_EQ(Eval(*Wide, {0.0}, 1)[0], 3.0);

    // Pieces sharing one large sampled grid each keep their own samples, so
    // one build stores at most two full grids' worth: later pieces stay nil.
    Fx.Number(3000, Fx.Stream("<< /FunctionType 0 /Domain [0 1] /Range [0 1] /Size [8388608] "
                              "/BitsPerSample 8 >>",
                              "\x01"));
    auto Shared =
        Fx.Make(Fx.Dict("<< /FunctionType 3 /Domain [0 1] /Functions [3000 0 R 3000 0 R "
                        "3000 0 R 3000 0 R 3000 0 R 3000 0 R] >>"));
    auto* Shared3 = static_cast<TPDFType3Function*>(Shared.get());
    for (int I = 0; I < 6; ++I) EXPECT_EQ(Shared3->Functions(I) != nullptr, I < 4) << "piece " << I;

    // Without a two-number /Domain an evaluation raises.
    for (const char* D : {"<< /FunctionType 3 /Functions [10 0 R] >>",
                          "<< /FunctionType 3 /Domain [0] /Functions [10 0 R] >>"}) {
        auto F = Fx.Make(Fx.Dict(D));
        ASSERT_NE(F, nullptr);
        EXPECT_THROW(Eval(*F, {0.5}, 1), EPDFFunctionError) << D;
    }
}

// A PostScript function with M inputs and N outputs over wide ranges.
std::unique_ptr<TPDFFunction> PostScript(TFunctionFixture& Fx, const std::string& Program, int M,
                                         int N) {
    std::string D = "<< /FunctionType 4 /Domain [";
    for (int I = 0; I < M; ++I) D += "-1000000000 1000000000 ";
    D += "] /Range [";
    for (int I = 0; I < N; ++I) D += "-10000000000 10000000000 ";
    D += "] >>";
    return Fx.Make(Fx.Stream(D, Program));
}

std::vector<double> RunNonOpt(TPDFFunction& F, std::vector<double> X, size_t Outputs) {
    std::vector<double> Y(Outputs, -99.0);
    static_cast<TPDFType4Function&>(F).RunFunctionNonOpt(X, Y);
    return Y;
}

TEST(Functions, PostScript) {
    TFunctionFixture Fx;
    struct TCase {
        const char* Program;
        std::vector<double> X;
        std::vector<double> Y;
        double Tol = 1e-12;
    };
    const TCase Cases[] = {
        {"{ 2 mul }", {3}, {6}},
        {"{ 3 4 atan }", {}, {36.8699}, 1e-4},
        {"{ -1 4 atan }", {}, {345.9638}, 1e-4},
        {"{ 0 -1 atan }", {}, {180}},
        {"{ 2 1 roll }", {1, 2, 3}, {1, 3, 2}},
        {"{ 3 -1 roll }", {1, 2, 3}, {2, 3, 1}},
        {"{ 3 2147483647 roll }", {1, 2, 3}, {3, 1, 2}},
        {"{ 3 -2147483648 roll }", {1, 2, 3}, {3, 1, 2}},
        {"{ 5 1 roll }", {1, 2}, {2, 1}},  // acts on the values present
        {"{ -2 1 roll }", {1, 2}, {1, 2}},
        {"{ 0.5 cvi }", {}, {0}},
        {"{ 1.5 cvi }", {}, {2}},
        {"{ -1.7 truncate }", {}, {-1}},
        {"{ 2.5 round 3.5 round -2.5 round }", {}, {2, 4, -2}},
        {"{ 1.2 ceiling -1.2 floor 7 cvr }", {}, {2, -2, 7}},
        {"{ 1 1 eq { 5 } { 6 } ifelse }", {}, {5}},
        {"{ 0 { 5 } { 6 } ifelse }", {}, {6}},
        {"{ 0 { 5 } if 3 }", {}, {3}},
        {"{ 1 { 1 { 7 } if 8 } if 9 }", {}, {7, 8, 9}},
        {"{ pop pop }", {9}, {0}},
        {"{ 8 -1 bitshift }", {}, {4}},
        {"{ 1 3 bitshift }", {}, {8}},
        {"{ 1 32 bitshift 1 -40 bitshift 5 0 bitshift }", {}, {0, 0, 5}},
        {"{ -8 -1 bitshift }", {}, {2147483644}},
        {"{ 12 10 and 12 10 or 12 10 xor 0 not }", {}, {8, 14, 6, -1}},
        {"{ 7 -2 idiv -7 2 mod -2147483648 -1 mod }", {}, {-3, -1, 0}},
        {"{ 4 sqrt 100 log 1 ln 2 3 exp }", {}, {2, 2, 0, 8}},
        {"{ 30 sin 60 cos }", {}, {0.5, 0.5}, 1e-12},
        {"{ 3 neg -4 abs 1 2 exch }", {}, {-3, 4, 2, 1}},
        {"{ 2 3 gt 2 3 ge 2 2 le 2 3 lt 2 3 ne true false }", {}, {0, 0, 1, 1, 1, 1, 0}},
        {"{ 1 2 3 dup }", {}, {1, 2, 3, 3}},
        {"{ pop dup }", {4}, {0, 0}},  // an empty stack duplicates 0
        {"{ 2 copy }", {1, 2}, {1, 2, 1, 2}},
        {"{ 5 copy }", {1, 2}, {1, 2, 1, 2}},
        {"{ -1 copy }", {1, 2}, {1, 2}},
        {"{ 1 index }", {1, 2}, {1, 2, 1}},
        {"{ 2 index }", {1, 2}, {1, 2, 0}},
        {"{ -1 index }", {1, 2}, {0, 1, 2}},
        {"{ 2147483647 1 add }", {}, {2147483648.0}},
        {"  { 2 mul }", {3}, {3}},  // leading space keeps the brace: the program is malformed
    };
    for (const TCase& C : Cases) {
        auto F = PostScript(Fx, C.Program, int(C.X.size()), int(C.Y.size()));
        ASSERT_NE(F, nullptr) << C.Program;
        ExpectValues(Eval(*F, C.X, C.Y.size()), C.Y, C.Tol, std::string("compiled ") + C.Program);
        if (std::string_view(C.Program).starts_with("  {")) continue;
        ExpectValues(RunNonOpt(*F, C.X, C.Y.size()), C.Y, C.Tol, std::string("text ") + C.Program);
    }
    // Outputs are clipped to the range.
    auto Clipped =
        Fx.Make(Fx.Stream("<< /FunctionType 4 /Domain [0 1] /Range [0 1] >>", "{ 5 mul }"));
    EXPECT_DOUBLE_EQ(Eval(*Clipped, {0.5}, 1)[0], 1.0);

    // An unknown word ends the compiled program; the text interpreter skips
    // it.
    auto Unknown = PostScript(Fx, "{ 5 foo 7 }", 0, 1);
    EXPECT_DOUBLE_EQ(Eval(*Unknown, {}, 1)[0], 5.0);
    EXPECT_DOUBLE_EQ(RunNonOpt(*Unknown, {}, 1)[0], 7.0);
    // So does a malformed construct: the tokens before it run.
    for (const char* P : {"{ 5 { 6 } 7 }", "{ 5 { 6 } { 7 } if }", "{ 5 { 6 } ifelse }",
                          "{ 5 { 6 if }", "{ 5 if 6 }"}) {
        auto F = PostScript(Fx, P, 0, 1);
        EXPECT_DOUBLE_EQ(Eval(*F, {}, 1)[0], 5.0) << P;
    }

    // Faults raise the function error, in both interpreters.
    std::string Overflow = "{", CopyOverflow = "{";
    for (int I = 0; I <= kPSStackSize; ++I) Overflow += " 1";
    Overflow += " }";
    for (int I = 0; I < 600; ++I) CopyOverflow += " 1";
    CopyOverflow += " 600 copy }";
    for (const std::string& P :
         {std::string("{ 4294967296 1 and }"), std::string("{ 1 -2147483649 bitshift }"),
          std::string("{ 1 0 div }"), std::string("{ 1 0 idiv }"), std::string("{ 1 0 mod }"),
          std::string("{ -2147483648 -1 idiv }"), std::string("{ -1 sqrt }"),
          std::string("{ 0 ln }"), std::string("{ -1 log }"), std::string("{ 10 400 exp }"),
          std::string("{ -8 0.5 exp }"), std::string("{ 0 -1 exp }"),
          std::string("{ 10 300 exp dup mul }"), std::string("{ 10 308 exp dup add }"),
          std::string("{ 10 300 exp 10 -300 exp div }"), std::string("{ 3000000000 { 1 } if }"),
          CopyOverflow, Overflow}) {
        auto F = PostScript(Fx, P, 1, 1);
        EXPECT_THROW(Eval(*F, {1}, 1), EPDFFunctionError) << P;
        EXPECT_THROW(RunNonOpt(*F, {1}, 1), EPDFFunctionError) << P;
        // The stack is emptied at the next evaluation.
        auto Fine = PostScript(Fx, "{ 2 mul }", 1, 1);
        EXPECT_DOUBLE_EQ(Eval(*Fine, {2}, 1)[0], 4.0);
    }

    // 100,000 nested braces, and ifs nested past the depth limit, finish at
    // once; the construct too deep to compile stops the program.
    const double Start = vpltest::ThreadSeconds();
    auto Deep =
        PostScript(Fx, "{ 5 " + std::string(100000, '{') + std::string(100000, '}') + " }", 0, 1);
    EXPECT_DOUBLE_EQ(Eval(*Deep, {}, 1)[0], 5.0);
    RunNonOpt(*Deep, {}, 1);
    std::string Nested = "{ 5 ";
    for (int I = 0; I < 150; ++I) Nested += "1 { ";
    Nested += "7 ";
    for (int I = 0; I < 150; ++I) Nested += "} if ";
    auto TooDeep = PostScript(Fx, Nested + "}", 0, 2);
    ExpectValues(Eval(*TooDeep, {}, 2), {5, 1}, 0, "too deep");
    RunNonOpt(*TooDeep, {}, 2);
    std::string Allowed = "{ ";
    for (int I = 0; I < kPSMaxBlockDepth; ++I) Allowed += "1 { ";
    Allowed += "7 ";
    for (int I = 0; I < kPSMaxBlockDepth; ++I) Allowed += "} if ";
    auto Deepest = PostScript(Fx, Allowed + "}", 0, 1);
    EXPECT_DOUBLE_EQ(Eval(*Deepest, {}, 1)[0], 7.0);
    EXPECT_DOUBLE_EQ(RunNonOpt(*Deepest, {}, 1)[0], 7.0);
    EXPECT_LT(vpltest::ThreadSeconds() - Start, 2);

    // The compiled layout: operator, else block, end block, then-block.
    auto Layout = PostScript(Fx, "{ 1 { 5 } { 6 } ifelse 2 }", 0, 2);
    const auto& T = static_cast<TPDFType4Function&>(*Layout).Tokens();
    ASSERT_EQ(T.size(), 9u);
    EXPECT_EQ(T[1].Op, TPDFType4Function::psOpIfelse);
    EXPECT_EQ(T[2].Blk, 6);
    EXPECT_EQ(T[3].Blk, 8);
    EXPECT_EQ(T[5].Op, TPDFType4Function::psOpReturn);
}

}  // namespace
}  // namespace velmo
