// Object parsing and writing over the whole corpus, against qpdf rewriting the
// same files; and editing a store of a million objects.
//
// The corpus files are first rewritten by qpdf in QDF form (one "N G obj" per
// object, no object streams, stream data as stored; not timed). Then:
//   BM_ParseOutputCorpus  parses every object body of every file and writes it
//                         back into one buffer per file;
//   BM_QpdfRewriteCorpus  runs qpdf rewriting each of those files the same way
//                         (its parse and write of every object, plus its file
//                         reading and writing and process start);
// and the ratio of the two is printed at the end.
//   BM_StoreEdits         10,000 PurgeKey and Delete calls in a store of a
//                         million objects.
#include <benchmark/benchmark.h>

#include "bench/BenchSupport.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/Structure.h"

using namespace velmo;
namespace fs = std::filesystem;

namespace {

using vplbench::CorpusDir;
using vplbench::Quote;

std::string ReadAll(const fs::path& P) {
    std::ifstream In(P, std::ios::binary);
    std::ostringstream Os;
    Os << In.rdbuf();
    return Os.str();
}

struct QdfFile {
    std::string Path;
    std::string Data;
    std::vector<int64_t> Bodies;  // 1-based start of each object body
};

// Object bodies from the classic cross-reference table qpdf writes.
std::vector<int64_t> FindBodies(std::string_view F) {
    std::vector<int64_t> Bodies;
    size_t SX = F.rfind("startxref");
    if (SX == std::string_view::npos) return Bodies;
    int64_t XRef = std::atoll(F.data() + SX + 10);
    if (XRef <= 0 || size_t(XRef) >= F.size() || F.substr(XRef, 4) != "xref") return Bodies;
    size_t P = XRef + 4;
    while (P < F.size()) {
        while (P < F.size() && (F[P] == '\r' || F[P] == '\n' || F[P] == ' ')) ++P;
        int64_t First = -1, Count = -1;
        auto R1 = std::from_chars(F.data() + P, F.data() + F.size(), First);
        if (R1.ec != std::errc()) break;
        auto R2 = std::from_chars(R1.ptr + 1, F.data() + F.size(), Count);
        if (R2.ec != std::errc()) break;
        P = R2.ptr - F.data();
        while (P < F.size() && (F[P] == '\r' || F[P] == '\n' || F[P] == ' ')) ++P;
        for (int64_t I = 0; I < Count && P + 20 <= F.size(); ++I, P += 20) {
            if (F[P + 17] != 'n') continue;
            int64_t Off = std::atoll(F.data() + P);
            size_t Obj = F.find(" obj", Off);
            if (Obj != std::string_view::npos && Obj < size_t(Off) + 30)
                Bodies.push_back(int64_t(Obj) + 4 + 1);
        }
    }
    return Bodies;
}

const std::vector<QdfFile>& Corpus() {
    static const std::vector<QdfFile> Files = [] {
        std::vector<QdfFile> Out;
        fs::path Dir = CorpusDir();
        if (!fs::exists(Dir)) return Out;
        fs::path Tmp =
            fs::temp_directory_path() / ("vpl_bench_objects_" + std::to_string(getpid()));
        fs::create_directories(Tmp);
        std::vector<fs::path> Pdfs;
        for (const auto& E : fs::recursive_directory_iterator(Dir)) {
            std::string Ext = E.path().extension().string();
            for (auto& C : Ext) C = char(std::tolower(C));
            if (E.is_regular_file() && Ext == ".pdf") Pdfs.push_back(E.path());
        }
        std::sort(Pdfs.begin(), Pdfs.end());
        int N = 0;
        for (const auto& P : Pdfs) {
            fs::path Q = Tmp / ("f" + std::to_string(N++) + ".pdf");
            std::string Cmd = "qpdf --qdf --object-streams=disable --stream-data=preserve " +
                              Quote(P.string()) + " " + Quote(Q.string()) + " >/dev/null 2>&1";
            int Rc = std::system(Cmd.c_str());
            if (!WIFEXITED(Rc) || (WEXITSTATUS(Rc) != 0 && WEXITSTATUS(Rc) != 3) || !fs::exists(Q))
                continue;
            QdfFile F;
            F.Path = Q.string();
            F.Data = ReadAll(Q);
            F.Bodies = FindBodies(F.Data);
            Out.push_back(std::move(F));
        }
        return Out;
    }();
    return Files;
}

double gOursSeconds = 0, gQpdfSeconds = 0, gOursBig = 0, gQpdfBig = 0;
int64_t gObjects = 0;

// Parses and writes every object of one file; returns the number of objects.
int64_t ParseOutputFile(const QdfFile& F) {
    TPDFStructure S;
    std::string Out;
    for (int64_t Body : F.Bodies) {
        int64_t Length = 0;
        TPDFObject* O = S.DecodeWithLength(F.Data, Length, Body);
        O->OutputTo(Out);
        Out.push_back('\n');
    }
    benchmark::DoNotOptimize(Out.data());
    return int64_t(F.Bodies.size());
}

// The file with the most objects: there qpdf's process start is negligible.
const QdfFile& Biggest() {
    const auto& Files = Corpus();
    size_t Best = 0;
    for (size_t I = 1; I < Files.size(); ++I)
        if (Files[I].Bodies.size() > Files[Best].Bodies.size()) Best = I;
    return Files[Best];
}

void RunQpdf(const std::string& In, const fs::path& Out) {
    std::string Cmd = "qpdf --qdf --object-streams=disable --stream-data=preserve " + Quote(In) +
                      " " + Quote(Out.string()) + " >/dev/null 2>&1";
    benchmark::DoNotOptimize(std::system(Cmd.c_str()));
}

template <class Fn>
void Timed(double& Best, Fn&& F) {
    auto T0 = std::chrono::steady_clock::now();
    F();
    double Secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
    if (Best == 0 || Secs < Best) Best = Secs;
}

void BM_ParseOutputCorpus(benchmark::State& State) {
    const auto& Files = Corpus();
    if (Files.empty()) {
        State.SkipWithError("no corpus");
        return;
    }
    int64_t Bytes = 0, Objects = 0;
    for (auto _ : State) {
        Timed(gOursSeconds, [&] {
            Bytes = 0;
            Objects = 0;
            for (const auto& F : Files) {
                Objects += ParseOutputFile(F);
                Bytes += int64_t(F.Data.size());
            }
        });
    }
    gObjects = Objects;
    State.counters["objects"] = double(Objects);
    State.SetBytesProcessed(State.iterations() * Bytes);
}
BENCHMARK(BM_ParseOutputCorpus)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_QpdfRewriteCorpus(benchmark::State& State) {
    const auto& Files = Corpus();
    if (Files.empty()) {
        State.SkipWithError("no corpus");
        return;
    }
    fs::path Out =
        fs::temp_directory_path() / ("vpl_bench_qpdf_" + std::to_string(getpid()) + ".pdf");
    for (auto _ : State)
        Timed(gQpdfSeconds, [&] {
            for (const auto& F : Files) RunQpdf(F.Path, Out);
        });
    fs::remove(Out);
}
BENCHMARK(BM_QpdfRewriteCorpus)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ParseOutputBiggest(benchmark::State& State) {
    if (Corpus().empty()) {
        State.SkipWithError("no corpus");
        return;
    }
    for (auto _ : State) Timed(gOursBig, [] { ParseOutputFile(Biggest()); });
    State.counters["objects"] = double(Biggest().Bodies.size());
}
BENCHMARK(BM_ParseOutputBiggest)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_QpdfRewriteBiggest(benchmark::State& State) {
    if (Corpus().empty()) {
        State.SkipWithError("no corpus");
        return;
    }
    fs::path Out =
        fs::temp_directory_path() / ("vpl_bench_qpdf_" + std::to_string(getpid()) + ".pdf");
    for (auto _ : State) Timed(gQpdfBig, [&] { RunQpdf(Biggest().Path, Out); });
    fs::remove(Out);
}
BENCHMARK(BM_QpdfRewriteBiggest)->Unit(benchmark::kMillisecond)->Iterations(3);

// 200,000 dictionaries of two entries (a number and a one-number array)
// under one /Kids array: a million objects. Each iteration purges the array
// entry of 5,000 dictionaries and deletes 5,000 items of /Kids.
void BM_StoreEdits(benchmark::State& State) {
    int64_t Objects = 0;
    for (auto _ : State) {
        State.PauseTiming();
        auto* S = new TPDFStructure;
        auto* Root = S->NewDictionary();
        auto* Kids = S->NewArray();
        Root->Add("Kids", Kids);
        for (int I = 0; I < 200000; ++I) {
            auto* D = S->NewDictionary();
            D->Add("K", S->NewNumeric(I));
            D->Add("V", S->NewArray({S->NewNumeric(I)}));
            Kids->Add(D);
        }
        Objects = S->ObjectCount();
        State.ResumeTiming();
        for (int I = 0; I < 5000; ++I)
            static_cast<TPDFDictionary*>(Kids->GetItem(I * 7))->PurgeKey("V");
        for (int I = 0; I < 5000; ++I) Kids->Delete(I * 3);
        State.PauseTiming();
        delete S;
        State.ResumeTiming();
    }
    State.counters["store_objects"] = double(Objects);
}
BENCHMARK(BM_StoreEdits)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (gOursSeconds > 0 && gQpdfSeconds > 0) {
        std::printf(
            "\ncorpus: %zu files, %lld objects\n"
            "parse + write every object: ours %.3f s, qpdf rewrite %.3f s, ratio ours/qpdf %.3f\n",
            Corpus().size(), static_cast<long long>(gObjects), gOursSeconds, gQpdfSeconds,
            gOursSeconds / gQpdfSeconds);
    }
    if (gOursBig > 0 && gQpdfBig > 0) {
        std::printf("largest file (%zu objects): ours %.3f s, qpdf rewrite %.3f s, ratio %.3f\n",
                    Biggest().Bodies.size(), gOursBig, gQpdfBig, gOursBig / gQpdfBig);
    }
    return 0;
}
