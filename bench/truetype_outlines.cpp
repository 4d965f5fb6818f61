// TrueType outlines: a font loaded from memory and every glyph's outline
// built, ours against FreeType on the same bytes.
//
//   BM_Ours/N      parser load, then every glyph's outline built by index
//                  (and kept, as the rasterizer keeps it) and replayed onto a
//                  canvas that counts path calls
//   BM_FreeType/N  FT_New_Memory_Face, then every glyph loaded unscaled and
//                  unhinted and decomposed into counting callbacks
//
// N: DejaVu Sans, Liberation Serif, WenQuanYi Zen Hei (first face of the
// collection). The ratios ours / FreeType are printed at the end.
//
//   BM_InstalledLoad/N  the same font as an installed font (family name),
//                  loaded through the font-data call: the first load, which
//                  maps the file and builds the face's data, is timed once;
//                  the iterations time later loads, served by the
//                  process-wide face cache
//
// Both sides take glyphs by index: resolving a name such as "GID:12" is
// work FreeType is not asked to do, so BM_OursByName measures it apart.
#include <benchmark/benchmark.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>

#include "fonts/PlatformOutlines.h"
#include "fonts/TrueTypeRasterizer.h"

namespace {

using namespace velmo;

const char* const kFonts[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf",
    "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc",
};
const char* const kFamilies[] = {"DejaVu Sans", "Liberation Serif", "WenQuanYi Zen Hei"};
constexpr int kFontCount = 3;
double gOursSecs[kFontCount], gFreeTypeSecs[kFontCount];
double gFirstLoadSecs[kFontCount], gCachedLoadSecs[kFontCount];
long gGlyphs[kFontCount];

std::shared_ptr<const std::string> FontData(int K) {
    static std::shared_ptr<const std::string> Cache[kFontCount];
    if (!Cache[K]) {
        std::ifstream In(kFonts[K], std::ios::binary);
        Cache[K] = std::make_shared<const std::string>(std::istreambuf_iterator<char>(In),
                                                       std::istreambuf_iterator<char>());
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
    const auto Data = FontData(K);
    if (Data->empty()) return State.SkipWithError("font missing (tools/deps)");
    size_t Calls = 0;
    double Secs = 0;
    for (auto _ : State) {
        const auto T0 = std::chrono::steady_clock::now();
        {
            // Freeing the rasterizer (and its outlines) is timed, as
            // FT_Done_Face is on FreeType's side.
            TPDFTrueTypeRasterizer2 R;
            R.Parser().LoadFromBuffer(Data);
            TCountingCanvas C;
            for (int32_t G = 0; G < R.Parser().GlyphCount(); ++G)
                if (const TPDFGenericShape* Shape = R.GlyphShape(G))
                    C.DrawShape(*Shape, IdentityXForm);
            Calls = C.Calls;
            gGlyphs[K] = R.Parser().GlyphCount();
        }
        Secs += std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
    }
    gOursSecs[K] = Secs / static_cast<double>(State.iterations());
    State.counters["glyphs"] = static_cast<double>(gGlyphs[K]);
    State.counters["calls"] = static_cast<double>(Calls);
}
BENCHMARK(BM_Ours)->DenseRange(0, kFontCount - 1)->Unit(benchmark::kMillisecond);

// The same through glyph names "GID:n", each resolved and remembered once.
void BM_OursByName(benchmark::State& State) {
    const int K = static_cast<int>(State.range(0));
    const auto Data = FontData(K);
    if (Data->empty()) return State.SkipWithError("font missing (tools/deps)");
    size_t Calls = 0;
    for (auto _ : State) {
        TPDFTrueTypeRasterizer2 R;
        R.Parser().LoadFromBuffer(Data);
        TCountingCanvas C;
        for (int32_t G = 0; G < R.Parser().GlyphCount(); ++G) {
            double X = 0, Y = 0;
            R.RenderToCanvas(X, Y, &C, IdentityXForm, "GID:" + std::to_string(G), peStandard);
        }
        Calls = C.Calls;
    }
    State.counters["calls"] = static_cast<double>(Calls);
}
BENCHMARK(BM_OursByName)->DenseRange(0, kFontCount - 1)->Unit(benchmark::kMillisecond);

// A new rasterizer loading the installed font: the platform font resolved
// and selected, its data taken through the font-data call and parsed.
// Returns the glyph count (0 when the font is not installed).
int32_t LoadInstalled(int K) {
    TPDFTrueTypeRasterizer2 R;
    platform::TPlatformFont Font;
    Font.Family = kFamilies[K];
    R.SetFont(std::make_unique<TPDFPlatformInstalledFont>(Font));
    R.LoadFromFont();
    return std::as_const(R).Parser().GlyphCount();
}

void BM_InstalledLoad(benchmark::State& State) {
    const int K = static_cast<int>(State.range(0));
    if (gFirstLoadSecs[K] == 0) {
        const auto T0 = std::chrono::steady_clock::now();
        const int32_t Glyphs = LoadInstalled(K);
        gFirstLoadSecs[K] =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
        if (Glyphs == 0) return State.SkipWithError("font not installed (tools/deps)");
    }
    double Secs = 0;
    for (auto _ : State) {
        const auto T0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(LoadInstalled(K));
        Secs += std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
    }
    gCachedLoadSecs[K] = Secs / static_cast<double>(State.iterations());
}
BENCHMARK(BM_InstalledLoad)->DenseRange(0, kFontCount - 1)->Unit(benchmark::kMillisecond);

int Count(const FT_Vector*, void* U) { return ++*static_cast<size_t*>(U), 0; }
int Count2(const FT_Vector*, const FT_Vector*, void* U) { return ++*static_cast<size_t*>(U), 0; }
int Count3(const FT_Vector*, const FT_Vector*, const FT_Vector*, void* U) {
    return ++*static_cast<size_t*>(U), 0;
}

void BM_FreeType(benchmark::State& State) {
    const int K = static_cast<int>(State.range(0));
    const auto Data = FontData(K);
    if (Data->empty()) return State.SkipWithError("font missing (tools/deps)");
    FT_Library Lib;
    FT_Init_FreeType(&Lib);
    const FT_Outline_Funcs Funcs{Count, Count, Count2, Count3, 0, 0};
    size_t Calls = 0;
    double Secs = 0;
    for (auto _ : State) {
        const auto T0 = std::chrono::steady_clock::now();
        FT_Face Face;
        if (FT_New_Memory_Face(Lib, reinterpret_cast<const FT_Byte*>(Data->data()),
                               static_cast<FT_Long>(Data->size()), 0, &Face)) {
            State.SkipWithError("FreeType cannot open the font");
            break;
        }
        Calls = 0;
        for (FT_Long G = 0; G < Face->num_glyphs; ++G) {
            if (FT_Load_Glyph(Face, static_cast<FT_UInt>(G), FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING))
                continue;
            FT_Outline_Decompose(&Face->glyph->outline, &Funcs, &Calls);
        }
        FT_Done_Face(Face);
        Secs += std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
    }
    FT_Done_FreeType(Lib);
    gFreeTypeSecs[K] = Secs / static_cast<double>(State.iterations());
    State.counters["calls"] = static_cast<double>(Calls);
}
BENCHMARK(BM_FreeType)->DenseRange(0, kFontCount - 1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    for (int K = 0; K < kFontCount; ++K)
        std::printf("%s: %ld glyphs, ours %.2f ms, FreeType %.2f ms, ratio %.2f\n", kFonts[K],
                    gGlyphs[K], gOursSecs[K] * 1e3, gFreeTypeSecs[K] * 1e3,
                    gFreeTypeSecs[K] > 0 ? gOursSecs[K] / gFreeTypeSecs[K] : 0.0);
    for (int K = 0; K < kFontCount; ++K)
        std::printf("%s installed: first load %.2f ms, load through the face cache %.2f ms\n",
                    kFamilies[K], gFirstLoadSecs[K] * 1e3, gCachedLoadSecs[K] * 1e3);
    benchmark::Shutdown();
    return 0;
}
