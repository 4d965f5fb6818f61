// Our JBIG2 decoder against `jbig2dec -e` and our JPEG 2000 bitmap against
// `opj_decompress`, on the same data in one run:
//   - every JBIG2 image stream of the corpus files that name the filter
//     (extracted by tests/codecs/codec_streams.py through qpdf), with its
//     globals;
//   - a generated 5100 x 6600 page (A4 at 600 dpi) of text-like strokes as
//     one generic region (template 0, typical prediction);
//   - large opj_compress files made here from generated grey and RGB
//     pictures (lossless and at 20:1).
// Ours decodes in this process; each peer run is a process writing its
// result to /dev/shm (jbig2dec to /dev/null), and the time the peer takes
// to start on empty work is subtracted from its times. Best of three per
// item; the ratio printed is ours / peer (lower is better).
//   bench_jbig2_jpx_decode [--no-corpus]
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "codecs/JBIG2Decoder.h"
#include "codecs/Jpeg2000Bitmap.h"
#include "tests/codecs/JBIG2Fixtures.h"

namespace fs = std::filesystem;

namespace {

double BestOf(int N, const std::function<void()>& F) {
    double Best = 1e30;
    for (int I = 0; I < N; ++I) {
        const auto T0 = std::chrono::steady_clock::now();
        F();
        Best = std::min(Best, std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count());
    }
    return Best;
}

bool Run(const std::string& Command) { return std::system((Command + " >/dev/null 2>&1").c_str()) == 0; }

std::string ReadFile(const fs::path& P) {
    std::ifstream F(P, std::ios::binary);
    std::ostringstream S;
    S << F.rdbuf();
    return S.str();
}

void WriteFile(const fs::path& P, const std::string& Data) {
    std::ofstream F(P, std::ios::binary);
    F.write(Data.data(), std::streamsize(Data.size()));
}

struct TItem {
    std::string Name;
    double Ours = 0, Peer = 0;
    bool Ok = true;
};

void Print(const char* Title, const std::vector<TItem>& Items, double PeerStart, bool Each) {
    double Ours = 0, Peer = 0;
    std::printf("\n%s (peer start-up of %.2f ms subtracted)\n", Title, PeerStart * 1e3);
    if (Each) std::printf("%-44s %10s %10s %8s\n", "item", "ours ms", "peer ms", "ratio");
    for (const TItem& I : Items) {
        const double P = std::max(I.Peer - PeerStart, 1e-6);
        Ours += I.Ours;
        Peer += P;
        if (Each)
            std::printf("%-44s %10.2f %10.2f %8.2f%s\n", I.Name.c_str(), I.Ours * 1e3, P * 1e3, I.Ours / P,
                        I.Ok ? "" : "  (peer failed)");
    }
    std::printf("%-44s %10.2f %10.2f %8.2f\n", "total", Ours * 1e3, Peer * 1e3, Ours / std::max(Peer, 1e-6));
}

// A text-like page: lines of glyphs of a few thick strokes.
jbig2test::TPicture TextPage(int W, int H, uint32_t Seed) {
    jbig2test::TPicture P(W, H);
    std::mt19937 Rng(Seed);
    for (int Top = 300; Top + 80 < H - 300; Top += 100)
        for (int X = 300; X < W - 360;) {
            const int GW = 28 + int(Rng() % 24);
            for (int S = 0; S < 3; ++S) {
                const bool Vertical = Rng() % 2;
                const int X0 = X + int(Rng() % unsigned(GW)), Y0 = Top + int(Rng() % 60);
                const int Len = Vertical ? 20 + int(Rng() % 50) : 12 + int(Rng() % unsigned(GW));
                for (int I = 0; I < Len; ++I)
                    for (int T = 0; T < 6; ++T) {
                        const int PX = Vertical ? X0 + T : X0 + I, PY = Vertical ? Y0 + I : Y0 + T;
                        if (PX < W && PY < H) P.Set(PX, PY, 1);
                    }
            }
            X += GW + 8 + (Rng() % 9 == 0 ? 40 : 0);
        }
    return P;
}

std::vector<TItem> BenchJBIG2(const fs::path& Dir, bool Corpus, double& Start) {
    std::vector<TItem> Items;
    WriteFile(Dir / "empty.jb2", "");
    Start = BestOf(5, [&] { Run("jbig2dec -e -t pbm -o /dev/null " + (Dir / "empty.jb2").string()); });
    auto Time = [&](const std::string& Name, const fs::path& Data, const fs::path& Globals) {
        const std::string D = ReadFile(Data), G = Globals.empty() ? std::string() : ReadFile(Globals);
        TItem I;
        I.Name = Name;
        I.Ours = BestOf(3, [&] {
            velmo::TVPLJBIG2Decoder Dec;
            Dec.LoadFromBytes(D, G);
        });
        const std::string Cmd = "timeout 10 jbig2dec -e -t pbm -o /dev/null " +
                                (Globals.empty() ? std::string() : vplbench::Quote(Globals.string()) + " ") +
                                vplbench::Quote(Data.string());
        // A stream the peer cannot finish in 10 s (the corpus's decompression
        // bombs) is named and left out of the totals.
        const int Status = std::system((Cmd + " >/dev/null 2>&1").c_str());
        if (WIFEXITED(Status) && WEXITSTATUS(Status) == 124) {
            std::printf("jbig2dec timed out on %s: left out\n", Name.c_str());
            return;
        }
        I.Peer = BestOf(3, [&] { I.Ok = Run(Cmd); });
        Items.push_back(I);
    };
    // The generated page.
    {
        const jbig2test::TPicture P = TextPage(5100, 6600, 1);
        const int8_t AT[8] = {3, -1, -3, -1, 2, -2, -2, -2};
        const std::string Data = jbig2test::Segment(0, 48, {}, jbig2test::PageInfo(5100, 6600)) +
                                 jbig2test::Segment(1, 38, {}, jbig2test::GenericRegionData(P, 0, 0, 0, true, AT));
        WriteFile(Dir / "page.jb2", Data);
        Time("generated 5100 x 6600 generic region", Dir / "page.jb2", {});
    }
    if (!Corpus) return Items;
    const fs::path CorpusDir = vplbench::CorpusDir();
    std::vector<std::string> Files;
    if (fs::is_directory(CorpusDir))
        for (const auto& E : fs::recursive_directory_iterator(CorpusDir)) {
            if (!E.is_regular_file() || E.path().extension() != ".pdf") continue;
            if (ReadFile(E.path()).find("JBIG2Decode") != std::string::npos) Files.push_back(E.path().string());
        }
    if (Files.empty()) {
        std::printf("no corpus files with JBIG2 images under %s\n", CorpusDir.string().c_str());
        return Items;
    }
    std::sort(Files.begin(), Files.end());
    std::string Cmd = "python3 " + vplbench::Quote((fs::path(__FILE__).parent_path().parent_path() / "tests" /
                                                    "codecs" / "codec_streams.py")
                                                       .string()) +
                      " " + vplbench::Quote((Dir / "streams").string());
    for (const std::string& F : Files) Cmd += " " + vplbench::Quote(F);
    if (!Run(Cmd)) {
        std::printf("codec_streams.py failed\n");
        return Items;
    }
    std::ifstream Manifest(Dir / "streams" / "manifest.txt");
    std::string Line;
    int Count = 0;
    while (std::getline(Manifest, Line)) {
        std::istringstream L(Line);
        std::string Kind, Index, Object, Data, Globals;
        L >> Kind >> Index >> Object >> Data >> Globals;
        if (Kind != "jbig2") continue;
        Time(fs::path(Files[size_t(std::stoi(Index))]).filename().string() + " " + Object, Data,
             Globals == "-" ? fs::path() : fs::path(Globals));
        ++Count;
    }
    std::printf("%d corpus JBIG2 streams from %zu files\n", Count, Files.size());
    return Items;
}

// A W x H picture of smooth gradients with some noise, as PGM or PPM.
std::string Picture(int W, int H, int Channels, uint32_t Seed) {
    std::mt19937 Rng(Seed);
    std::string Out = (Channels == 1 ? "P5\n" : "P6\n") + std::to_string(W) + " " + std::to_string(H) + "\n255\n";
    Out.reserve(Out.size() + size_t(W) * H * Channels);
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X)
            for (int C = 0; C < Channels; ++C) {
                const int V = (X * (C + 1) / 16 + Y / (8 + C) + ((X / 64 + Y / 64) % 2) * 60 + int(Rng() % 12)) & 255;
                Out.push_back(char(V));
            }
    return Out;
}

std::vector<TItem> BenchJPX(const fs::path& Dir, double& Start) {
    std::vector<TItem> Items;
    struct {
        const char* Name;
        int W, H, Channels;
        const char* Options;
    } Cases[] = {{"grey 6000 x 4000 lossless", 6000, 4000, 1, ""},
                 {"grey 6000 x 4000 at 20:1", 6000, 4000, 1, "-r 20"},
                 {"RGB 4000 x 3000 lossless", 4000, 3000, 3, ""},
                 {"RGB 4000 x 3000 at 20:1", 4000, 3000, 3, "-r 20"}};
    const fs::path Shm = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : Dir;
    const fs::path Out = Shm / ("vpl-bench-" + std::to_string(getpid()) + ".pgm");
    // Start-up: a 1 x 1 image.
    WriteFile(Dir / "tiny.pgm", "P5\n1 1\n255\n\x80");
    Run("opj_compress -i " + (Dir / "tiny.pgm").string() + " -o " + (Dir / "tiny.jp2").string());
    Start = BestOf(5, [&] { Run("opj_decompress -i " + (Dir / "tiny.jp2").string() + " -o " + Out.string()); });
    int N = 0;
    for (const auto& C : Cases) {
        const fs::path Src = Dir / ("src" + std::to_string(N) + (C.Channels == 1 ? ".pgm" : ".ppm"));
        const fs::path File = Dir / ("img" + std::to_string(N++) + ".jp2");
        WriteFile(Src, Picture(C.W, C.H, C.Channels, uint32_t(N)));
        if (!Run("opj_compress -i " + Src.string() + " -o " + File.string() + " " + C.Options)) {
            std::printf("opj_compress failed for %s\n", C.Name);
            continue;
        }
        const std::string Data = ReadFile(File);
        TItem I;
        I.Name = C.Name;
        I.Ours = BestOf(3, [&] {
            velmo::TJpeg2000Bitmap J;
            J.LoadFromBytes(Data);
            if (J.Failed()) I.Ok = false;
        });
        const fs::path PeerOut = Shm / ("vpl-bench-" + std::to_string(getpid()) + (C.Channels == 1 ? ".pgm" : ".ppm"));
        I.Peer = BestOf(3, [&] { I.Ok = Run("opj_decompress -i " + File.string() + " -o " + PeerOut.string()) && I.Ok; });
        fs::remove(PeerOut);
        Items.push_back(I);
    }
    fs::remove(Out);
    return Items;
}

}  // namespace

int main(int argc, char** argv) {
    bool Corpus = true;
    for (int I = 1; I < argc; ++I)
        if (std::string(argv[I]) == "--no-corpus") Corpus = false;
    for (const char* Tool : {"jbig2dec", "opj_compress", "opj_decompress", "qpdf"})
        if (!Run(std::string("command -v ") + Tool)) {
            std::fprintf(stderr, "%s is not installed (tools/deps)\n", Tool);
            return 1;
        }
    const fs::path Dir = fs::temp_directory_path() / ("vpl-bench-jbig2-jpx-" + std::to_string(getpid()));
    fs::create_directories(Dir);
    double JStart = 0, PStart = 0;
    const std::vector<TItem> J = BenchJBIG2(Dir, Corpus, JStart);
    const std::vector<TItem> P = BenchJPX(Dir, PStart);
    if (!J.empty()) {
        Print("JBIG2: generated page (ours / jbig2dec -e)", {J.front()}, JStart, true);
        if (J.size() > 1)
            Print("JBIG2: corpus streams (ours / jbig2dec -e)", std::vector<TItem>(J.begin() + 1, J.end()), JStart,
                  false);
    }
    Print("JPEG 2000 (ours / opj_decompress)", P, PStart, true);
    fs::remove_all(Dir);
    return 0;
}
