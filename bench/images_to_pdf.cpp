// A PDF from 200 JPEG files of about 1 MB each, built by the engine (blank
// document, image registry, page tree's painter, document save), against
// img2pdf on the same files in the same run. The JPEG data is carried unchanged by both. Also reported: the peak
// memory of one engine run (in a child process) against the input size, to
// show that each file's bytes are held once.
//
//   BM_EngineImagesToPdf  reads each file, builds its image object and page,
//                         and writes the PDF
//   BM_Img2pdf            runs img2pdf on the same files
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "content/Image.h"
#include "core/FileHelpers.h"
#include "core/StringHelpers.h"
#include "tests/content/ImagePages.h"

namespace fs = std::filesystem;
using namespace velmo;

namespace {

constexpr int kFiles = 200;

struct TInput {
    fs::path Dir;
    std::vector<fs::path> Files;
    uint64_t Bytes = 0;
};

const TInput& Input() {
    static TInput in = [] {
        TInput t;
        t.Dir = fs::temp_directory_path() / ("vpl_bench_jpegs_" + std::to_string(getpid()));
        fs::create_directories(t.Dir);
        // A few distinct noisy photos of about 1 MB, copied to 200 names.
        std::vector<fs::path> sources;
        for (int i = 0; i < 4; ++i) {
            fs::path p = t.Dir / ("src" + std::to_string(i) + ".jpg");
            std::string cmd = "/usr/bin/convert -seed " + std::to_string(i + 1) +
                              " -size 1400x1000 xc:gray +noise Random -quality 90 '" + p.string() +
                              "'";
            if (std::system(cmd.c_str()) != 0) std::abort();
            sources.push_back(p);
        }
        for (int i = 0; i < kFiles; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "img%03d.jpg", i);
            fs::path p = t.Dir / name;
            fs::copy_file(sources[i % sources.size()], p, fs::copy_options::overwrite_existing);
            t.Files.push_back(p);
            t.Bytes += fs::file_size(p);
        }
        for (const auto& s : sources) fs::remove(s);
        return t;
    }();
    return in;
}

// One engine run: every file becomes an image object and a page.
bool EngineRun(const fs::path& Out) {
    vpltest::TImagePages pdf;
    for (const fs::path& f : Input().Files) {
        TVelmoPDFWideFileStream in(f.u16string(), fmOpenRead | fmShareDenyWrite);
        if (pdf.AddImagePage(in) == nullptr) return false;
    }
    return pdf.Doc->SaveToFile(Out.u16string());
}

fs::path OutPath(const char* Tag) {
    return fs::temp_directory_path() /
           (std::string("vpl_bench_") + Tag + "_" + std::to_string(getpid()) + ".pdf");
}

double gEngineSecs = 0, gPeerSecs = 0;

void BM_EngineImagesToPdf(benchmark::State& State) {
    const fs::path out = OutPath("engine");
    for (auto _ : State) {
        const auto t0 = std::chrono::steady_clock::now();
        if (!EngineRun(out)) State.SkipWithError("engine failed");
        gEngineSecs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    State.SetBytesProcessed(int64_t(State.iterations() * Input().Bytes));
    fs::remove(out);
}
BENCHMARK(BM_EngineImagesToPdf)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Img2pdf(benchmark::State& State) {
    const fs::path out = OutPath("img2pdf");
    std::string cmd = "img2pdf -o '" + out.string() + "'";
    for (const auto& f : Input().Files) cmd += " '" + f.string() + "'";
    for (auto _ : State) {
        const auto t0 = std::chrono::steady_clock::now();
        if (std::system(cmd.c_str()) != 0) State.SkipWithError("img2pdf failed");
        gPeerSecs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    State.SetBytesProcessed(int64_t(State.iterations() * Input().Bytes));
    fs::remove(out);
}
BENCHMARK(BM_Img2pdf)->Unit(benchmark::kMillisecond)->Iterations(3);

// Peak resident memory of one engine run in a child process, in bytes.
long ChildPeakBytes() {
    const pid_t pid = fork();
    if (pid == 0) {
        const fs::path out = OutPath("engine_mem");
        const bool ok = EngineRun(out);
        fs::remove(out);
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    struct rusage ru {};
    wait4(pid, &status, 0, &ru);
    return ru.ru_maxrss * 1024L;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Input();
    benchmark::RunSpecifiedBenchmarks();
    const long peak = ChildPeakBytes();
    std::printf("%d JPEGs, %.1f MB: engine %.3f s, img2pdf %.3f s, ratio engine/img2pdf %.3f\n",
                kFiles, Input().Bytes / 1e6, gEngineSecs, gPeerSecs,
                gPeerSecs > 0 ? gEngineSecs / gPeerSecs : 0.0);
    std::printf("engine peak memory %.1f MB for %.1f MB of JPEG data (%.2f x)\n", peak / 1e6,
                Input().Bytes / 1e6, double(peak) / double(Input().Bytes));
    fs::remove_all(Input().Dir);
    benchmark::Shutdown();
    return 0;
}
