// Decode throughput of each stream filter, against a plain zlib inflate loop
// (the way minigzip inflates: fixed 16 KB output chunks appended to a string)
// of the same data. Every decoder produces the same bytes; the ratios at the
// end compare wall time per decoded byte with that zlib loop.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <unordered_map>

#include "core/ASCII85.h"
#include "core/Filters.h"
#include "core/Flate.h"
#include "core/LZW.h"

using namespace velmo;

namespace {

// Page-content-like text: operators with varied numbers and strings.
const std::string& Payload() {
    static const std::string data = [] {
        std::mt19937 rng(42);
        std::string s;
        s.reserve(8u << 20);
        char line[160];
        while (s.size() < (8u << 20)) {
            int n =
                std::snprintf(line, sizeof line,
                              "q 1 0 0 1 %u.%02u %u.%02u cm BT /F%u %u Tf (Text %u line) Tj ET Q\n"
                              "%u %u m %u %u l S\n",
                              unsigned(rng() % 600), unsigned(rng() % 100), unsigned(rng() % 800),
                              unsigned(rng() % 100), unsigned(rng() % 4), unsigned(8 + rng() % 10),
                              unsigned(rng() % 1000), unsigned(rng() % 600), unsigned(rng() % 800),
                              unsigned(rng() % 600), unsigned(rng() % 800));
            s.append(line, n);
        }
        return s;
    }();
    return data;
}

// A grey image with gradients, predicted with PNG Up rows (tag 2).
struct PngData {
    std::string raw, predicted;
    int columns = 1024;
};
const PngData& Image() {
    static const PngData d = [] {
        PngData p;
        const int rows = 4096;
        p.raw.resize(std::size_t(p.columns) * rows);
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < p.columns; ++x)
                p.raw[std::size_t(y) * p.columns + x] = static_cast<char>((x + y / 3) & 0xFF);
        for (int y = 0; y < rows; ++y) {
            p.predicted += '\x02';
            for (int x = 0; x < p.columns; ++x) {
                unsigned char cur = p.raw[std::size_t(y) * p.columns + x];
                unsigned char up = y ? p.raw[std::size_t(y - 1) * p.columns + x] : 0;
                p.predicted += static_cast<char>(cur - up);
            }
        }
        return p;
    }();
    return d;
}

// LZW encoder with early change (the PDF default), 9 to 12 bit codes.
std::string LzwEncode(const std::string& in) {
    std::string out;
    unsigned long long acc = 0;
    int bits = 0;
    unsigned width = 9;
    auto put = [&](unsigned code) {
        acc = (acc << width) | code;
        bits += width;
        while (bits >= 8) {
            out += static_cast<char>((acc >> (bits - 8)) & 0xFF);
            bits -= 8;
        }
    };
    std::unordered_map<unsigned, unsigned> table;  // (prefix << 8 | byte) -> code
    unsigned next = 258;
    put(256);
    if (in.empty()) {
        put(257);
    } else {
        unsigned cur = static_cast<unsigned char>(in[0]);
        for (std::size_t i = 1; i < in.size(); ++i) {
            unsigned c = static_cast<unsigned char>(in[i]);
            auto it = table.find(cur << 8 | c);
            if (it != table.end()) {
                cur = it->second;
                continue;
            }
            put(cur);
            table.emplace(cur << 8 | c, next++);
            if (next == (1u << width) && width < 12) ++width;
            if (next >= 4094) {
                put(256);
                table.clear();
                next = 258;
                width = 9;
            }
            cur = c;
        }
        put(cur);
        ++next;
        if (next == (1u << width) && width < 12) ++width;
        put(257);
    }
    if (bits) out += static_cast<char>((acc << (8 - bits)) & 0xFF);
    return out;
}

std::string RunLengthEncode(const std::string& in) {
    std::string out;
    std::size_t i = 0;
    while (i < in.size()) {
        std::size_t run = 1;
        while (i + run < in.size() && run < 128 && in[i + run] == in[i]) ++run;
        if (run >= 2) {
            out += static_cast<char>(257 - run);
            out += in[i];
            i += run;
            continue;
        }
        std::size_t lit = 1;
        while (i + lit < in.size() && lit < 128 &&
               !(i + lit + 1 < in.size() && in[i + lit] == in[i + lit + 1]))
            ++lit;
        out += static_cast<char>(lit - 1);
        out.append(in, i, lit);
        i += lit;
    }
    out += '\x80';
    return out;
}

std::string HexEncode(const std::string& in) {
    static const char* d = "0123456789ABCDEF";
    std::string out;
    out.reserve(in.size() * 2 + in.size() / 32 + 1);
    for (std::size_t i = 0; i < in.size(); ++i) {
        out += d[static_cast<unsigned char>(in[i]) >> 4];
        out += d[static_cast<unsigned char>(in[i]) & 15];
        if (i % 32 == 31) out += '\n';
    }
    out += '>';
    return out;
}

// The zlib-only peer: inflate into 16 KB chunks appended to the output.
std::string ZlibInflate(const std::string& in) {
    z_stream zs{};
    inflateInit(&zs);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    zs.avail_in = static_cast<uInt>(in.size());
    std::string out;
    unsigned char buf[16384];
    int ret;
    do {
        zs.next_out = buf;
        zs.avail_out = sizeof buf;
        ret = inflate(&zs, Z_NO_FLUSH);
        out.append(reinterpret_cast<char*>(buf), sizeof buf - zs.avail_out);
    } while (ret == Z_OK);
    inflateEnd(&zs);
    return out;
}

template <typename Fn>
void Run(benchmark::State& state, const std::string& expected, Fn&& decode) {
    if (decode() != expected) {
        state.SkipWithError("decoded data differs");
        return;
    }
    for (auto _ : state) {
        std::string out = decode();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(expected.size()));
}

void BM_ZlibInflate(benchmark::State& state) {
    static const std::string z = FlateCompress(Payload());
    Run(state, Payload(), [] { return ZlibInflate(z); });
}
void BM_FlateDecode(benchmark::State& state) {
    static const std::string z = FlateCompress(Payload());
    Run(state, Payload(), [] { return FlateDecompress(z); });
}
void BM_ZlibInflateImage(benchmark::State& state) {
    static const std::string z = FlateCompress(Image().predicted);
    Run(state, Image().predicted, [] { return ZlibInflate(z); });
}
void BM_FlatePredictorImage(benchmark::State& state) {
    static const std::string z = FlateCompress(Image().predicted);
    TPDFFlateParms p;
    p.Predictor = 12;
    p.Colors = 1;
    p.BitsPerComponent = 8;
    p.Columns = Image().columns;
    Run(state, Image().raw, [p] { return FlateDecompressWithPredictor(z, p); });
}
void BM_LZWDecode(benchmark::State& state) {
    static const std::string enc = LzwEncode(Payload());
    Run(state, Payload(), [] {
        TPDFLZWDecompressor d;
        d.SetEarlyChange(true);
        return d.Decompress(enc);
    });
}
void BM_ASCII85Decode(benchmark::State& state) {
    static const std::string enc = EncodeASCII85(Payload());
    Run(state, Payload(), [] { return DecodeASCII85(enc); });
}
void BM_RunLengthDecode(benchmark::State& state) {
    static const std::string enc = RunLengthEncode(Image().raw);
    Run(state, Image().raw, [] { return DecodeRunLength(enc); });
}
void BM_ASCIIHexDecode(benchmark::State& state) {
    static const std::string enc = HexEncode(Payload());
    Run(state, Payload(), [] { return DecodeASCIIHex(enc); });
}

BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlateDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflateImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlatePredictorImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LZWDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ASCII85Decode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunLengthDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ASCIIHexDecode)->Unit(benchmark::kMillisecond);

// Keeps the time per decoded byte of every run, to print the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& r : runs)
            if (!r.error_occurred && r.iterations > 0)
                msPerRun_[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
    std::map<std::string, double> msPerRun_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.msPerRun_;
    auto ratio = [&](const char* ours, const char* peer, std::size_t oursBytes,
                     std::size_t peerBytes) {
        if (!t.count(ours) || !t.count(peer)) return;
        const double oursPerByte = t[ours] / double(oursBytes);
        const double peerPerByte = t[peer] / double(peerBytes);
        std::printf("%-24s %8.1f MB/s decoded   time per byte vs zlib inflate (%s): %.2fx\n", ours,
                    double(oursBytes) / (t[ours] * 1e-3) / 1e6, peer, oursPerByte / peerPerByte);
    };
    const std::size_t text = Payload().size(), img = Image().raw.size(),
                      imgPred = Image().predicted.size();
    std::printf("\nRatios (1.00x = as fast as zlib's own inflate of the same data):\n");
    ratio("BM_FlateDecode", "BM_ZlibInflate", text, text);
    ratio("BM_FlatePredictorImage", "BM_ZlibInflateImage", img, imgPred);
    ratio("BM_LZWDecode", "BM_ZlibInflate", text, text);
    ratio("BM_ASCII85Decode", "BM_ZlibInflate", text, text);
    ratio("BM_RunLengthDecode", "BM_ZlibInflateImage", img, imgPred);
    ratio("BM_ASCIIHexDecode", "BM_ZlibInflate", text, text);
    benchmark::Shutdown();
    return 0;
}
