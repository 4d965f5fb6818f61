// PDF functions and colour conversion, timed per million samples.
//
// Functions: a sampled function (one input, three 8-bit outputs), an
// exponential one, a three-piece stitching one and a typical PostScript tint
// transform (one input to CMYK), the last both compiled and through the text
// interpreter; the ratio of those two is the gain of compiling.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "core/Structure.h"
#include "render/Functions.h"

namespace {

using velmo::TPDFFunction;

constexpr int kBatch = 4096;  // samples per iteration

// Inputs spread over [0, 1], the same for every function.
const std::vector<double>& Inputs() {
    static const std::vector<double> V = [] {
        std::vector<double> R(kBatch);
        for (int I = 0; I < kBatch; ++I) R[size_t(I)] = double((I * 2654435761u) % 1000) / 999.0;
        return R;
    }();
    return V;
}

// Seconds per million samples, as a column of the report.
void PerMillion(benchmark::State& State) {
    State.SetItemsProcessed(int64_t(State.iterations()) * kBatch);
    State.counters["s/Msample"] =
        benchmark::Counter(double(kBatch) / 1e6, benchmark::Counter::kIsIterationInvariantRate |
                                                     benchmark::Counter::kInvert);
}

struct TFunctionBench {
    velmo::TPDFStructure S;
    std::unique_ptr<TPDFFunction> F;

    TFunctionBench(const std::string& Dict, const std::string& Data, bool IsStream) {
        velmo::TPDFObject* D = S.Decode(Dict);
        velmo::TPDFObject* Source =
            IsStream ? S.NewStreamWithDict(Data, velmo::ObjAs<velmo::TPDFDictionary>(D)) : D;
        F = TPDFFunction::FunctionFactory(Source, nullptr);
    }
};

void RunBatch(benchmark::State& State, TPDFFunction& F) {
    const auto& X = Inputs();
    double Y[4] = {0, 0, 0, 0};
    for (auto _ : State) {
        for (double V : X) {
            F.RunFunction(std::span<const double>(&V, 1), std::span<double>(Y));
            benchmark::DoNotOptimize(Y);
        }
    }
    PerMillion(State);
}

void BM_Function_Type0_3x8bit(benchmark::State& State) {
    std::string Samples;
    for (int I = 0; I < 256; ++I) {
        Samples.push_back(char(I));
        Samples.push_back(char(255 - I));
        Samples.push_back(char((I * 7) & 255));
    }
    TFunctionBench B(
        "<< /FunctionType 0 /Domain [0 1] /Range [0 1 0 1 0 1] /Size [256] "
        "/BitsPerSample 8 >>",
        Samples, true);
    RunBatch(State, *B.F);
}
BENCHMARK(BM_Function_Type0_3x8bit);

void BM_Function_Type2(benchmark::State& State) {
    TFunctionBench B("<< /FunctionType 2 /Domain [0 1] /C0 [1 0.9 0.2] /C1 [0.1 0.3 0.8] /N 2.2 >>",
                     "", false);
    RunBatch(State, *B.F);
}
BENCHMARK(BM_Function_Type2);

void BM_Function_Type3_ThreePieces(benchmark::State& State) {
    TFunctionBench B(
        "<< /FunctionType 3 /Domain [0 1] /Bounds [0.3 0.7] /Encode [0 1 0 1 0 1] "
        "/Functions [ << /FunctionType 2 /Domain [0 1] /C0 [1 0 0] /C1 [0 1 0] /N 1 >> "
        "<< /FunctionType 2 /Domain [0 1] /C0 [0 1 0] /C1 [0 0 1] /N 1 >> "
        "<< /FunctionType 2 /Domain [0 1] /C0 [0 0 1] /C1 [1 1 1] /N 1 >> ] >>",
        "", false);
    RunBatch(State, *B.F);
}
BENCHMARK(BM_Function_Type3_ThreePieces);

// One tint to CMYK, the form spot-colour tint transforms usually take.
const char* const kTintDict = "<< /FunctionType 4 /Domain [0 1] /Range [0 1 0 1 0 1 0 1] >>";
const char* const kTintProgram = "{ dup 0 mul exch dup 0.62 mul exch dup 0.05 mul exch 0.1 mul }";

void BM_Function_Type4_Tint_Compiled(benchmark::State& State) {
    TFunctionBench B(kTintDict, kTintProgram, true);
    RunBatch(State, *B.F);
}
BENCHMARK(BM_Function_Type4_Tint_Compiled);

void BM_Function_Type4_Tint_Text(benchmark::State& State) {
    TFunctionBench B(kTintDict, kTintProgram, true);
    auto& F = static_cast<velmo::TPDFType4Function&>(*B.F);
    const auto& X = Inputs();
    double Y[4] = {0, 0, 0, 0};
    for (auto _ : State) {
        for (double V : X) {
            F.RunFunctionNonOpt(std::span<const double>(&V, 1), std::span<double>(Y));
            benchmark::DoNotOptimize(Y);
        }
    }
    PerMillion(State);
}
BENCHMARK(BM_Function_Type4_Tint_Text);

}  // namespace

BENCHMARK_MAIN();
