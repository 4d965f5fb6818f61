// Glyph-name look-ups, CMap parsing and CMap value look-ups. There is no
// Debian command that does these alone, so the figures are absolute: bytes of
// CMap text parsed per second and look-ups per second.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "core/CMap.h"
#include "core/Glyphs.h"

namespace {

using namespace velmo;

void BM_ParsePredefinedCMaps(benchmark::State& state) {
    std::vector<std::string> texts;
    std::size_t bytes = 0;
    for (int k = 1; k <= kPredefinedCMapCount; ++k) {
        texts.push_back(PredefinedCMapText(k));
        bytes += texts.back().size();
    }
    for (auto _ : state)
        for (const auto& t : texts) benchmark::DoNotOptimize(ParseCMapString(t));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_ParsePredefinedCMaps)->Unit(benchmark::kMillisecond);

// A ToUnicode map of 20,000 one-code ranges, looked up code by code.
void BM_ToUnicodeGetValue(benchmark::State& state) {
    std::string text = "begincmap\n100 beginbfrange\n";
    char line[64];
    for (int i = 0; i < 20000; ++i) {
        std::snprintf(line, sizeof line, "<%04X> <%04X> <%04X>\n", i * 2, i * 2 + 1, 0x4E00 + i);
        text += line;
        if (i % 100 == 99) text += "endbfrange\n100 beginbfrange\n";
    }
    text += "endbfrange\nendcmap\n";
    auto cmap = ParseCMapString(text);
    std::array<std::uint16_t, 4> units;
    for (auto _ : state)
        for (std::uint32_t code = 0; code < 40000; ++code)
            benchmark::DoNotOptimize(cmap->GetValue(code, units));
    state.SetItemsProcessed(state.iterations() * 40000);
}
BENCHMARK(BM_ToUnicodeGetValue)->Unit(benchmark::kMillisecond);

void BM_GlyphNameToUnicode(benchmark::State& state) {
    const char* names[] = {"A", "zcaron", "uni4E00", "afii10017", "C65", "space", "g123", "Euro"};
    for (auto _ : state)
        for (const char* n : names) benchmark::DoNotOptimize(GlyphNameToUnicode(n));
    state.SetItemsProcessed(state.iterations() * 8);
}
BENCHMARK(BM_GlyphNameToUnicode);

}  // namespace

BENCHMARK_MAIN();
