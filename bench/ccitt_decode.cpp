// Decoding Group 4 and two-dimensional Group 3 strips with our fax decoder
// against libtiff's decoder on the same strips in the same run. The strips
// are encoded here by libtiff from generated pages: an A4 page at 300 dpi
// of text-like glyphs, a 1728-wide fax page of the same kind, and a page of
// noise (every row dense with changes).
//
// Google Benchmark times each decode; afterwards the best of five decodes
// of each side gives the ratio printed per page (ours / libtiff, lower is
// better).
#include <benchmark/benchmark.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "codecs/CCITTDecoder.h"

namespace {

struct TPage {
    std::string Name;
    int Width = 0, Height = 0;
    std::vector<uint8_t> Bits;  // 1 = black, rows of (width + 7) / 8 bytes
    std::string Path;           // the encoded TIFF file
    std::string Strip;          // its one strip
    int K = -1;
};

TPage MakePage(std::string Name, int W, int H, bool Noise, uint32_t Seed) {
    TPage P{std::move(Name), W, H, {}, {}, {}, -1};
    const int RowBytes = (W + 7) / 8;
    P.Bits.assign(size_t(RowBytes) * size_t(H), 0);
    std::mt19937 Rng(Seed);
    auto Set = [&](int X, int Y) {
        if (X >= 0 && X < W && Y >= 0 && Y < H)
            P.Bits[size_t(Y) * size_t(RowBytes) + size_t(X / 8)] |= uint8_t(0x80 >> (X % 8));
    };
    if (Noise) {
        for (int Y = 0; Y < H; ++Y)
            for (int X = 0; X < W; ++X)
                if (Rng() % 2) Set(X, Y);
        return P;
    }
    // Lines of glyphs made of a few strokes each.
    for (int Top = 150; Top + 40 < H - 150; Top += 50) {
        for (int X = 150; X < W - 180;) {
            const int GW = 14 + int(Rng() % 12);
            for (int S = 0; S < 3; ++S) {
                const bool Vertical = Rng() % 2;
                const int X0 = X + int(Rng() % unsigned(GW)), Y0 = Top + int(Rng() % 30);
                const int Len = Vertical ? 10 + int(Rng() % 25) : 6 + int(Rng() % unsigned(GW));
                for (int I = 0; I < Len; ++I)
                    for (int T = 0; T < 3; ++T)
                        Vertical ? Set(X0 + T, Y0 + I) : Set(X0 + I, Y0 + T);
            }
            X += GW + 4 + (Rng() % 7 == 0 ? 20 : 0);
        }
    }
    return P;
}

bool Encode(TPage& P, int K) {
    char Name[] = "/tmp/vpl-ccitt-bench-XXXXXX";
    const int Fd = mkstemp(Name);
    if (Fd < 0) return false;
    close(Fd);
    P.Path = Name;
    P.K = K;
    TIFF* T = TIFFOpen(Name, "w");
    if (!T) return false;
    TIFFSetField(T, TIFFTAG_IMAGEWIDTH, uint32_t(P.Width));
    TIFFSetField(T, TIFFTAG_IMAGELENGTH, uint32_t(P.Height));
    TIFFSetField(T, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(T, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(T, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(T, TIFFTAG_ROWSPERSTRIP, uint32_t(P.Height));
    if (K < 0) {
        TIFFSetField(T, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    } else {
        TIFFSetField(T, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3);
        TIFFSetField(T, TIFFTAG_GROUP3OPTIONS, uint32_t(GROUP3OPT_2DENCODING));
    }
    const size_t RowBytes = size_t((P.Width + 7) / 8);
    for (int Y = 0; Y < P.Height; ++Y)
        if (TIFFWriteScanline(T, P.Bits.data() + size_t(Y) * RowBytes, uint32_t(Y), 0) < 0) {
            TIFFClose(T);
            return false;
        }
    TIFFClose(T);
    T = TIFFOpen(Name, "r");
    if (!T) return false;
    const tmsize_t Raw = tmsize_t(TIFFGetStrileByteCount(T, 0));
    P.Strip.resize(size_t(Raw));
    const bool Ok = TIFFReadRawStrip(T, 0, P.Strip.data(), Raw) == Raw;
    TIFFClose(T);
    return Ok;
}

bool DecodeOurs(const TPage& P, std::vector<uint8_t>& Out) {
    velmo::TCCITTParams Params;
    Params.K = P.K;
    Params.Columns = P.Width;
    Params.Rows = P.Height;
    return velmo::DecodeCCITTFax(Params, P.Strip, Out);
}

// libtiff decodes the strip of the open file (read from the page cache).
bool DecodeLibtiff(TIFF* T, const TPage& P, std::vector<uint8_t>& Out) {
    Out.assign(size_t((P.Width + 7) / 8) * size_t(P.Height), 0);
    return TIFFReadEncodedStrip(T, 0, Out.data(), tmsize_t(Out.size())) == tmsize_t(Out.size());
}

std::vector<TPage>& Pages() {
    static std::vector<TPage> All = [] {
        std::vector<TPage> V;
        struct TDef {
            const char* Name;
            int W, H;
            bool Noise;
            int K;
        };
        for (const TDef& D : {TDef{"A4 300 dpi text, G4", 2480, 3508, false, -1},
                              TDef{"A4 300 dpi text, G3 2-D", 2480, 3508, false, 1},
                              TDef{"fax 1728 text, G4", 1728, 2200, false, -1},
                              TDef{"noise 1000 x 1000, G4", 1000, 1000, true, -1}}) {
            TPage P = MakePage(D.Name, D.W, D.H, D.Noise, 5);
            if (!Encode(P, D.K)) {
                std::fprintf(stderr, "libtiff could not encode %s\n", D.Name);
                std::exit(1);
            }
            V.push_back(std::move(P));
        }
        return V;
    }();
    return All;
}

void BM_Ours(benchmark::State& State) {
    const TPage& P = Pages()[size_t(State.range(0))];
    std::vector<uint8_t> Out;
    for (auto _ : State) benchmark::DoNotOptimize(DecodeOurs(P, Out));
    State.SetLabel(P.Name);
}

void BM_Libtiff(benchmark::State& State) {
    const TPage& P = Pages()[size_t(State.range(0))];
    TIFF* T = TIFFOpen(P.Path.c_str(), "r");
    std::vector<uint8_t> Out;
    for (auto _ : State) benchmark::DoNotOptimize(DecodeLibtiff(T, P, Out));
    TIFFClose(T);
    State.SetLabel(P.Name);
}

BENCHMARK(BM_Ours)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libtiff)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

double BestOf(int N, const std::function<void()>& F) {
    double Best = 1e30;
    for (int I = 0; I < N; ++I) {
        const auto T0 = std::chrono::steady_clock::now();
        F();
        Best = std::min(
            Best, std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count());
    }
    return Best;
}

}  // namespace

int main(int argc, char** argv) {
    TIFFSetWarningHandler(nullptr);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    int Status = 0;
    std::printf("\n%-28s %10s %10s %8s\n", "page", "ours ms", "libtiff ms", "ratio");
    for (const TPage& P : Pages()) {
        std::vector<uint8_t> A, B;
        bool OkA = false, OkB = false;
        const double Ours = BestOf(5, [&] { OkA = DecodeOurs(P, A); });
        TIFF* T = TIFFOpen(P.Path.c_str(), "r");
        const double Peer = BestOf(5, [&] { OkB = DecodeLibtiff(T, P, B); });
        TIFFClose(T);
        const bool Same = OkA && OkB && A == B && A == P.Bits;
        if (!Same) Status = 1;
        std::printf("%-28s %10.2f %10.2f %8.2f%s\n", P.Name.c_str(), Ours * 1e3, Peer * 1e3,
                    Ours / Peer, Same ? "" : "  (results differ)");
    }
    for (const TPage& P : Pages()) std::remove(P.Path.c_str());
    return Status;
}
