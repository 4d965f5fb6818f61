// Type 1 and CFF outlines: every URW base font program loaded from memory
// and every glyph's outline built, ours against FreeType on the same bytes.
//
//   BM_Ours/N      the decoder's load (both decode steps for Type 1), then
//                  every glyph's outline built by index (and kept, as the
//                  decoder keeps it) and replayed onto a canvas that counts
//                  path calls
//   BM_FreeType/N  FT_New_Memory_Face, then every glyph loaded unscaled and
//                  unhinted and decomposed into counting callbacks
//
// N: 0 the 35 .t1 programs, 1 the 35 .otf faces (through their "CFF "
// table). The ratios ours / FreeType are printed at the end.
#include <benchmark/benchmark.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fonts/Type1Decoder.h"

namespace {

using namespace velmo;

const char* const kFolders[] = {"/usr/share/fonts/type1/urw-base35",
                                "/usr/share/fonts/opentype/urw-base35"};
const char* const kExtensions[] = {".t1", ".otf"};
constexpr int kKinds = 2;
double gOursSecs[kKinds], gFreeTypeSecs[kKinds];
long gGlyphs[kKinds];
size_t gFiles[kKinds];

const std::vector<std::string>& Programs(int K) {
    static std::vector<std::string> Cache[kKinds];
    if (Cache[K].empty()) {
        std::vector<std::filesystem::path> Paths;
        std::error_code E;
        for (const auto& Entry : std::filesystem::directory_iterator(kFolders[K], E))
            if (Entry.path().extension() == kExtensions[K]) Paths.push_back(Entry.path());
        std::sort(Paths.begin(), Paths.end());
        for (const auto& P : Paths) {
            std::ifstream In(P, std::ios::binary);
            Cache[K].emplace_back(std::istreambuf_iterator<char>(In),
                                  std::istreambuf_iterator<char>());
        }
        gFiles[K] = Cache[K].size();
    }
    return Cache[K];
}

class TCountingCanvas : public TPDFGenericCanvas {
public:
    size_t Calls = 0;
    void MoveTo(double, double) override { ++Calls; }
    void AddLineToPath(double, double) override { ++Calls; }
    void AddBezierToPath(double, double, double, double, double, double) override { ++Calls; }
    void AddQBezierToPath(double, double, double, double) override { ++Calls; }
    void ClosePath() override { ++Calls; }
};

void BM_Ours(benchmark::State& State) {
    const int K = static_cast<int>(State.range(0));
    const auto& Files = Programs(K);
    if (Files.empty()) return State.SkipWithError("fonts-urw-base35 missing (tools/deps)");
    size_t Calls = 0;
    long Glyphs = 0;
    double Secs = 0;
    for (auto _ : State) {
        const auto T0 = std::chrono::steady_clock::now();
        Calls = 0;
        Glyphs = 0;
        for (const std::string& Data : Files) {
            TPDFType1Decoder D;
            if (K == 0) {
                D.LoadPFBFromString(Data);
                D.DecodeFontDict();
                D.DecodeEncryptedPortion();
            } else {
                D.LoadCFFFromString(Data);
            }
            TCountingCanvas C;
            for (int32_t G = 0; G < D.CharStringCount(); ++G) {
                double X = 0, Y = 0;
                D.RenderToCanvas(X, Y, &C, IdentityXForm, "GID:" + std::to_string(G),
                                 peStandard);
            }
            Calls += C.Calls;
            Glyphs += D.CharStringCount();
        }
        Secs += std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
    }
    gGlyphs[K] = Glyphs;
    gOursSecs[K] = Secs / static_cast<double>(State.iterations());
    State.counters["glyphs"] = static_cast<double>(Glyphs);
    State.counters["calls"] = static_cast<double>(Calls);
}
BENCHMARK(BM_Ours)->DenseRange(0, kKinds - 1)->Unit(benchmark::kMillisecond);

int Count(const FT_Vector*, void* U) { return ++*static_cast<size_t*>(U), 0; }
int Count2(const FT_Vector*, const FT_Vector*, void* U) { return ++*static_cast<size_t*>(U), 0; }
int Count3(const FT_Vector*, const FT_Vector*, const FT_Vector*, void* U) {
    return ++*static_cast<size_t*>(U), 0;
}

void BM_FreeType(benchmark::State& State) {
    const int K = static_cast<int>(State.range(0));
    const auto& Files = Programs(K);
    if (Files.empty()) return State.SkipWithError("fonts-urw-base35 missing (tools/deps)");
    FT_Library Lib;
    FT_Init_FreeType(&Lib);
    const FT_Outline_Funcs Funcs{Count, Count, Count2, Count3, 0, 0};
    size_t Calls = 0;
    double Secs = 0;
    for (auto _ : State) {
        const auto T0 = std::chrono::steady_clock::now();
        Calls = 0;
        for (const std::string& Data : Files) {
            FT_Face Face;
            if (FT_New_Memory_Face(Lib, reinterpret_cast<const FT_Byte*>(Data.data()),
                                   static_cast<FT_Long>(Data.size()), 0, &Face))
                continue;
            for (FT_Long G = 0; G < Face->num_glyphs; ++G) {
                if (FT_Load_Glyph(Face, static_cast<FT_UInt>(G),
                                  FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING))
                    continue;
                FT_Outline_Decompose(&Face->glyph->outline, &Funcs, &Calls);
            }
            FT_Done_Face(Face);
        }
        Secs += std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
    }
    FT_Done_FreeType(Lib);
    gFreeTypeSecs[K] = Secs / static_cast<double>(State.iterations());
    State.counters["calls"] = static_cast<double>(Calls);
}
BENCHMARK(BM_FreeType)->DenseRange(0, kKinds - 1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    for (int K = 0; K < kKinds; ++K)
        std::printf("%zu %s programs: %ld glyphs, ours %.2f ms, FreeType %.2f ms, ratio %.2f\n",
                    gFiles[K], kExtensions[K], gGlyphs[K], gOursSecs[K] * 1e3,
                    gFreeTypeSecs[K] * 1e3,
                    gFreeTypeSecs[K] > 0 ? gOursSecs[K] / gFreeTypeSecs[K] : 0.0);
    benchmark::Shutdown();
    return 0;
}
