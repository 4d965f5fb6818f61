// Loading every corpus PDF and counting its pages, against
// `qpdf --show-npages` on the same files in the same run.
//
// Two comparisons: in process (our load against nothing, for a per-file
// figure) and as programs (this binary started with --npages FILE once per
// file, against qpdf started the same way), whose ratio is printed.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "document/Document.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

fs::path FindCorpus(const char* argv0) {
    if (const char* env = std::getenv("CORPUS_DIR")) return env;
    for (fs::path p = fs::absolute(argv0).parent_path(); !p.empty() && p != p.root_path();
         p = p.parent_path())
        if (fs::is_directory(p / "shared" / "corpus")) return p / "shared" / "corpus";
    return {};
}

std::vector<std::string> CorpusFiles(const fs::path& dir) {
    std::vector<std::string> out;
    if (dir.empty()) return out;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        std::string ext = e.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (e.is_regular_file() && ext == ".pdf") out.push_back(e.path().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

int32_t CountPages(const std::string& file) {
    velmo::TPDFDocument d;
    const std::u16string name(file.begin(), file.end());
    try {
        if (d.LoadFromFile(name, u"") != velmo::lrOkay) return -1;
    } catch (...) {
        return -1;
    }
    return d.PageCount();
}

// Runs argv with its output sent to /dev/null; true when it could start.
bool Run(std::vector<std::string> argv) {
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return true;
}

std::vector<std::string> gFiles;
std::string gSelf;

void BM_LoadAndCountPages(benchmark::State& state) {
    int64_t pages = 0;
    for (auto _ : state) {
        for (const auto& f : gFiles) pages += std::max(0, CountPages(f));
    }
    state.counters["files"] = static_cast<double>(gFiles.size());
    state.counters["pages/iter"] = static_cast<double>(pages) / static_cast<double>(state.iterations());
}

double TimeEach(const std::vector<std::string>& prefix) {
    const auto t0 = std::chrono::steady_clock::now();
    for (const auto& f : gFiles) {
        std::vector<std::string> argv = prefix;
        argv.push_back(f);
        Run(argv);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "--npages") {
        for (int i = 2; i < argc; ++i) std::printf("%d\n", CountPages(argv[i]));
        return 0;
    }
    gSelf = fs::absolute(argv[0]).string();
    gFiles = CorpusFiles(FindCorpus(argv[0]));
    if (gFiles.empty()) {
        std::cerr << "corpus folder not found (set CORPUS_DIR)\n";
        return 0;
    }
    benchmark::RegisterBenchmark("LoadAndCountPages/corpus", BM_LoadAndCountPages)
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    // As programs: one start per file each, three rounds, best round kept.
    double ours = 1e30, qpdf = 1e30;
    for (int round = 0; round < 3; ++round) {
        ours = std::min(ours, TimeEach({gSelf, "--npages"}));
        qpdf = std::min(qpdf, TimeEach({"qpdf", "--show-npages"}));
    }
    std::printf("%zu files, one process per file: ours %.3f s, qpdf --show-npages %.3f s, "
                "ratio ours/qpdf %.2f\n",
                gFiles.size(), ours, qpdf, ours / qpdf);
    return 0;
}
