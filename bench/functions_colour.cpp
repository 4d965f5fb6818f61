// PDF functions and colour conversion, timed per million samples.
//
// Functions: a sampled function (one input, three 8-bit outputs), an
// exponential one, a three-piece stitching one and a typical PostScript tint
// transform (one input to CMYK), the last both compiled and through the text
// interpreter; the ratio of those two is the gain of compiling.
#include <benchmark/benchmark.h>
#include <lcms2.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/Structure.h"
#include "render/ColorSpaces.h"
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

// ---- Colour ------------------------------------------------------------------
//
// CMYK and Lab to device colour through the colour manager, and DeviceN
// colours through the space's cache (Fast, as images call it): all hits, and
// all misses (every value new). The peer is lcms2 converting the same samples
// to 8-bit sRGB in one cmsDoTransform call per batch: CMYK through
// Ghostscript's default_cmyk.icc when it is installed, Lab through lcms2's
// own Lab profile.

namespace {

struct TCMYKSample {
    double C, M, Y, K;
};

const std::vector<TCMYKSample>& CMYKSamples() {
    static const std::vector<TCMYKSample> V = [] {
        std::vector<TCMYKSample> R(kBatch);
        for (int I = 0; I < kBatch; ++I) {
            uint32_t H = uint32_t(I) * 2654435761u;
            R[size_t(I)] = {(H & 255) / 255.0, ((H >> 8) & 255) / 255.0, ((H >> 16) & 255) / 255.0,
                            ((H >> 24) & 255) / 255.0};
        }
        return R;
    }();
    return V;
}

const std::vector<cmsCIELab>& LabSamples() {
    static const std::vector<cmsCIELab> V = [] {
        std::vector<cmsCIELab> R(kBatch);
        for (int I = 0; I < kBatch; ++I) {
            uint32_t H = uint32_t(I) * 2654435761u;
            R[size_t(I)] = {(H & 255) * 100.0 / 255.0, double(int((H >> 8) & 255) - 128),
                            double(int((H >> 16) & 255) - 128)};
        }
        return R;
    }();
    return V;
}

void BM_Colour_CMYK2RGB(benchmark::State& State) {
    velmo::TPDFSimpleColorManager M;
    const auto& S = CMYKSamples();
    for (auto _ : State) {
        for (const TCMYKSample& P : S) {
            velmo::TPDFCMYKColor C{P.C, P.M, P.Y, P.K};
            velmo::TPDFRGBColor RGB = M.CMYK2RGB(C);
            benchmark::DoNotOptimize(M.RGB2Color(RGB));
        }
    }
    PerMillion(State);
}
BENCHMARK(BM_Colour_CMYK2RGB);

void BM_Colour_Lab2RGB(benchmark::State& State) {
    velmo::TPDFSimpleColorManager M;
    const auto& S = LabSamples();
    for (auto _ : State) {
        for (const cmsCIELab& P : S) {
            velmo::TPDFLabColor C{P.L, P.a, P.b};
            velmo::TPDFRGBColor RGB = M.Lab2RGB(C);
            benchmark::DoNotOptimize(M.RGB2Color(RGB));
        }
    }
    PerMillion(State);
}
BENCHMARK(BM_Colour_Lab2RGB);

// A one-colorant DeviceN space over CMYK with the tint transform above.
struct TDeviceNBench {
    velmo::TPDFStructure S;
    velmo::TPDFSimpleColorManager M;
    velmo::TPDFDeviceNColorSpace CS{&M};

    TDeviceNBench() {
        auto* D = velmo::ObjAs<velmo::TPDFDictionary>(S.Decode(kTintDict));
        velmo::TPDFStream* Fn = S.NewStreamWithDict(kTintProgram, D);
        velmo::TPDFArray* A =
            velmo::ObjAs<velmo::TPDFArray>(S.Decode("[/DeviceN [/Spot] /DeviceCMYK null]"));
        A->Replace(3, Fn);
        CS.LoadFromArray(A, "/CS0");
    }
};

void BM_Colour_DeviceN_Fast_Hits(benchmark::State& State) {
    TDeviceNBench B;
    const auto& X = Inputs();  // 1,000 distinct values: every one cached after the first pass
    for (double V : X) B.CS.GetColor(std::span<const double>(&V, 1), true);
    for (auto _ : State) {
        for (double V : X) {
            B.CS.GetColor(std::span<const double>(&V, 1), true);
            benchmark::DoNotOptimize(B.CS.FResultColor);
        }
    }
    PerMillion(State);
}
BENCHMARK(BM_Colour_DeviceN_Fast_Hits);

void BM_Colour_DeviceN_Fast_Misses(benchmark::State& State) {
    TDeviceNBench B;
    int64_t Count = 0;
    for (auto _ : State) {
        for (int I = 0; I < kBatch; ++I) {
            // A value not seen before: its thousandths never repeat.
            const double Next = double(++Count) / 1000.0;
            B.CS.GetColor(std::span<const double>(&Next, 1), true);
            benchmark::DoNotOptimize(B.CS.FResultColor);
        }
    }
    PerMillion(State);
}
BENCHMARK(BM_Colour_DeviceN_Fast_Misses);

// Ghostscript's default CMYK profile, when installed.
std::string DefaultCMYKProfile() {
    std::error_code Ec;
    for (auto It = std::filesystem::recursive_directory_iterator(
             "/usr/share", std::filesystem::directory_options::skip_permission_denied, Ec);
         It != std::filesystem::recursive_directory_iterator(); It.increment(Ec)) {
        if (Ec) break;
        if (It->path().filename() == "default_cmyk.icc") return It->path().string();
    }
    return std::string();
}

void BM_Peer_lcms2_CMYK2sRGB(benchmark::State& State) {
    static const std::string Path = DefaultCMYKProfile();
    if (Path.empty()) {
        State.SkipWithError("default_cmyk.icc is not installed");
        return;
    }
    cmsHPROFILE In = cmsOpenProfileFromFile(Path.c_str(), "r");
    cmsHPROFILE Out = cmsCreate_sRGBProfile();
    cmsHTRANSFORM X = In ? cmsCreateTransform(In, TYPE_CMYK_DBL, Out, TYPE_RGB_8,
                                              INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE)
                         : nullptr;
    if (!X) {
        State.SkipWithError("lcms2 refused the CMYK profile");
    } else {
        // lcms2 takes CMYK doubles in percent.
        std::vector<double> Src;
        for (const TCMYKSample& P : CMYKSamples())
            Src.insert(Src.end(), {P.C * 100, P.M * 100, P.Y * 100, P.K * 100});
        std::vector<uint8_t> Dst(size_t(kBatch) * 3);
        for (auto _ : State) {
            cmsDoTransform(X, Src.data(), Dst.data(), kBatch);
            benchmark::DoNotOptimize(Dst.data());
        }
        PerMillion(State);
        cmsDeleteTransform(X);
    }
    if (In) cmsCloseProfile(In);
    cmsCloseProfile(Out);
}
BENCHMARK(BM_Peer_lcms2_CMYK2sRGB);

void BM_Peer_lcms2_Lab2sRGB(benchmark::State& State) {
    cmsHPROFILE In = cmsCreateLab4Profile(nullptr);
    cmsHPROFILE Out = cmsCreate_sRGBProfile();
    cmsHTRANSFORM X = cmsCreateTransform(In, TYPE_Lab_DBL, Out, TYPE_RGB_8,
                                         INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    const auto& Src = LabSamples();
    std::vector<uint8_t> Dst(size_t(kBatch) * 3);
    for (auto _ : State) {
        cmsDoTransform(X, Src.data(), Dst.data(), kBatch);
        benchmark::DoNotOptimize(Dst.data());
    }
    PerMillion(State);
    cmsDeleteTransform(X);
    cmsCloseProfile(In);
    cmsCloseProfile(Out);
}
BENCHMARK(BM_Peer_lcms2_Lab2sRGB);

// Keeps the time of every run, to print the ratios.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& Runs) override {
        ConsoleReporter::ReportRuns(Runs);
        for (const auto& R : Runs)
            if (!R.error_occurred && R.iterations > 0)
                Seconds[R.benchmark_name()] = R.GetAdjustedRealTime();
    }
    std::map<std::string, double> Seconds;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    TRatioReporter Reporter;
    benchmark::RunSpecifiedBenchmarks(&Reporter);
    auto& T = Reporter.Seconds;
    auto Ratio = [&](const char* A, const char* B, const char* What) {
        if (!T.count(A) || !T.count(B)) {
            std::printf("%-34s (not measured: %s or %s missing)\n", What, A, B);
            return;
        }
        std::printf("%-34s %.2fx\n", What, T[A] / T[B]);
    };
    std::printf("\nRatios of time per sample (below 1.00x: the first is faster):\n");
    Ratio("BM_Function_Type4_Tint_Compiled", "BM_Function_Type4_Tint_Text",
          "type 4 compiled / text interpreter");
    Ratio("BM_Colour_CMYK2RGB", "BM_Peer_lcms2_CMYK2sRGB", "CMYK2RGB / lcms2 CMYK->sRGB");
    Ratio("BM_Colour_Lab2RGB", "BM_Peer_lcms2_Lab2sRGB", "Lab2RGB / lcms2 Lab->sRGB");
    Ratio("BM_Colour_DeviceN_Fast_Hits", "BM_Colour_DeviceN_Fast_Misses",
          "DeviceN cache hit / miss");
    Ratio("BM_Colour_DeviceN_Fast_Misses", "BM_Function_Type4_Tint_Compiled",
          "DeviceN miss / its tint transform");
    benchmark::Shutdown();
    return 0;
}
