// Full save of the larger corpus files, against qpdf rewriting them:
//   BM_LoadSave   loads each file and saves it in full to a temporary file
//                 (every object parsed and written, a new table)
//   BM_QpdfWrite  runs `qpdf in.pdf out.pdf` on the same files
// Both read the file and write a complete new one; the ratio of the total
// wall times over all iterations is printed at the end. qpdf's process start is part of its
// figure, so the files are the largest ones of the corpus that load.
#include <benchmark/benchmark.h>

#include "bench/BenchSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "document/Document.h"

using namespace velmo;
namespace fs = std::filesystem;

namespace {

using vplbench::CorpusDir;
using vplbench::Quote;

// The 12 largest corpus files that load and that qpdf rewrites cleanly.
const std::vector<fs::path>& Files() {
    static const std::vector<fs::path> files = [] {
        std::vector<std::pair<uintmax_t, fs::path>> all;
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(CorpusDir(), ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            std::string ext = it->path().extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
            if (it->is_regular_file() && ext == ".pdf") all.push_back({it->file_size(), it->path()});
        }
        std::sort(all.rbegin(), all.rend());
        std::vector<fs::path> out;
        const fs::path tmp = fs::temp_directory_path() / ("vpl_bench_pick_" + std::to_string(getpid()) + ".pdf");
        for (const auto& [size, p] : all) {
            if (out.size() >= 12) break;
            TPDFDocument d;
            if (d.LoadFromFile(p.u16string(), u"") != lrOkay) continue;
            const std::string cmd = "qpdf " + Quote(p.string()) + " " + Quote(tmp.string()) + " >/dev/null 2>&1";
            if (std::system(cmd.c_str()) != 0) continue;
            out.push_back(p);
        }
        fs::remove(tmp);
        return out;
    }();
    return files;
}

double gOurs = 0, gQpdf = 0;
uintmax_t gBytes = 0;

void BM_LoadSave(benchmark::State& State) {
    const fs::path out = fs::temp_directory_path() / ("vpl_bench_save_" + std::to_string(getpid()) + ".pdf");
    for (auto _ : State) {
        const auto t0 = std::chrono::steady_clock::now();
        for (const fs::path& p : Files()) {
            TPDFDocument d;
            d.LoadFromFile(p.u16string(), u"");
            benchmark::DoNotOptimize(d.SaveToFile(out.u16string()));
        }
        gOurs += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    gBytes = 0;
    for (const fs::path& p : Files()) gBytes += fs::file_size(p);
    State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(gBytes));
    fs::remove(out);
}
BENCHMARK(BM_LoadSave)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_QpdfWrite(benchmark::State& State) {
    const fs::path out = fs::temp_directory_path() / ("vpl_bench_qpdf_" + std::to_string(getpid()) + ".pdf");
    for (auto _ : State) {
        const auto t0 = std::chrono::steady_clock::now();
        for (const fs::path& p : Files()) {
            const std::string cmd = "qpdf " + Quote(p.string()) + " " + Quote(out.string()) + " >/dev/null 2>&1";
            benchmark::DoNotOptimize(std::system(cmd.c_str()));
        }
        gQpdf += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    fs::remove(out);
}
BENCHMARK(BM_QpdfWrite)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (gOurs > 0 && gQpdf > 0)
        std::printf("\n%zu files, %.1f MB: load + full save ours %.3f s, qpdf in.pdf out.pdf %.3f s, "
                    "ratio ours/qpdf %.3f\n",
                    Files().size(), static_cast<double>(gBytes) / 1e6, gOurs, gQpdf, gOurs / gQpdf);
    return 0;
}
