// Digests, ciphers, PNG and BMP against the library calls that do the bare
// work on the same data in the same run: OpenSSL's one-shot SHA-1 and AES,
// zlib's compress and inflate of the PNG rows, and a copy of the bitmap
// bytes. The ratios printed at the end are our time over the bare time.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/sha.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>

#include "core/Ciphers.h"
#include "core/Digests.h"
#include "core/PNG.h"
#include "platform/gdi/Bitmap.h"

using namespace velmo;

namespace {

const std::string& Data32M() {
    static const std::string d = [] {
        std::mt19937 rng(1);
        std::string s(32u << 20, '\0');
        for (auto& c : s)
            c = char(rng());
        return s;
    }();
    return d;
}

// A rendered page: white with text-like dark runs and a colour gradient.
const TBitmap& Page() {
    static const TBitmap bm = [] {
        TBitmap b(1275, 1650, pf24bit);
        std::mt19937 rng(2);
        for (int y = 0; y < b.Height(); ++y) {
            uint8_t* row = b.ScanLine(y);
            for (int x = 0; x < b.Width(); ++x) {
                bool ink = (y / 12) % 3 == 1 && (rng() % 5) < 2 && x > 100 && x < 1175;
                bool band = y > 1300;
                row[3 * x] = ink ? 20 : band ? uint8_t(x / 5) : 255;
                row[3 * x + 1] = ink ? 20 : band ? uint8_t(y / 7) : 255;
                row[3 * x + 2] = ink ? 20 : 255;
            }
        }
        return b;
    }();
    return bm;
}

std::string PageRows(bool alpha) {
    const TBitmap& b = Page();
    std::string raw;
    for (int y = 0; y < b.Height(); ++y) {
        raw += '\0';
        const uint8_t* row = b.ScanLine(y);
        for (int x = 0; x < b.Width(); ++x) {
            raw += char(row[3 * x + 2]);
            raw += char(row[3 * x + 1]);
            raw += char(row[3 * x]);
            if (alpha)
                raw += char(0xFF);
        }
    }
    return raw;
}

std::string PagePng(bool alpha) {
    TPNGWriter w(Page());
    TBitmap mask(1, 1, pf24bit);
    mask.SetPixel(0, 0, clWhite);
    if (alpha)
        w.SetAlphaChannel(&mask, false);
    TStringStream s;
    w.SaveToStream(s);
    return s.DataString();
}

std::map<std::string, double>& Times() {
    static std::map<std::string, double> t;
    return t;
}

template <class F>
void Run(benchmark::State& state, const std::string& name, size_t bytes, F f) {
    auto start = std::chrono::steady_clock::now();
    int64_t n = 0;
    for (auto _ : state) {
        f();
        ++n;
    }
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Times()[name] = secs / double(std::max<int64_t>(n, 1));
    state.SetBytesProcessed(int64_t(bytes) * n);
}

void BM_Sha1Ranges(benchmark::State& state) {
    TStringStream s(Data32M());
    const int64_t size = int64_t(Data32M().size());
    Run(state, "sha1_ranges", Data32M().size(), [&] {
        benchmark::DoNotOptimize(SHA1OfStreamRanges(s, size / 2, size / 2, size - size / 2));
    });
}
void BM_Sha1Bare(benchmark::State& state) {
    unsigned char d[20];
    Run(state, "sha1_bare", Data32M().size(), [&] {
        SHA1(reinterpret_cast<const unsigned char*>(Data32M().data()), Data32M().size(), d);
        benchmark::DoNotOptimize(d);
    });
}
void BM_Sha256(benchmark::State& state) {
    TSHA256Digest d;
    Run(state, "sha256", Data32M().size(), [&] {
        SHA256OfBytes(Data32M(), d);
        benchmark::DoNotOptimize(d);
    });
}
void BM_Sha256Bare(benchmark::State& state) {
    unsigned char d[32];
    Run(state, "sha256_bare", Data32M().size(), [&] {
        SHA256(reinterpret_cast<const unsigned char*>(Data32M().data()), Data32M().size(), d);
        benchmark::DoNotOptimize(d);
    });
}

void BM_AesDecryptPadded(benchmark::State& state) {
    const std::string key(16, 'k');
    const std::string c = AESEncryptPadded(key, std::string_view(Data32M()).substr(0, 4u << 20));
    Run(state, "aes_decrypt", c.size(),
        [&] { benchmark::DoNotOptimize(AESDecryptPadded(key, c)); });
}
void BM_AesDecryptBare(benchmark::State& state) {
    const std::string key(16, 'k');
    const std::string c = AESEncryptPadded(key, std::string_view(Data32M()).substr(0, 4u << 20));
    std::string out(c.size(), '\0');
    Run(state, "aes_decrypt_bare", c.size(), [&] {
        EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
        int len = 0, tail = 0;
        EVP_DecryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr,
                           reinterpret_cast<const unsigned char*>(key.data()),
                           reinterpret_cast<const unsigned char*>(c.data()));
        EVP_DecryptUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &len,
                          reinterpret_cast<const unsigned char*>(c.data()) + 16, int(c.size() - 16));
        EVP_DecryptFinal_ex(ctx, reinterpret_cast<unsigned char*>(out.data()) + len, &tail);
        EVP_CIPHER_CTX_free(ctx);
        benchmark::DoNotOptimize(out);
    });
}

void BM_PngWrite(benchmark::State& state) {
    const std::string raw = PageRows(false);
    Run(state, "png_write", raw.size(), [&] {
        TPNGWriter w(Page());
        TStringStream s;
        w.SaveToStream(s);
        benchmark::DoNotOptimize(s.DataString());
    });
}
void BM_PngWriteBare(benchmark::State& state) {
    const std::string raw = PageRows(false);
    std::string out(compressBound(uLong(raw.size())), '\0');
    Run(state, "png_write_bare", raw.size(), [&] {
        uLongf n = uLongf(out.size());
        compress2(reinterpret_cast<Bytef*>(out.data()), &n,
                  reinterpret_cast<const Bytef*>(raw.data()), uLong(raw.size()), Z_DEFAULT_COMPRESSION);
        benchmark::DoNotOptimize(out);
    });
}

// Reading an RGBA file: inflate, unfilter, split the alpha, compress both.
void BM_PngReadRgba(benchmark::State& state) {
    const std::string file = PagePng(true);
    Run(state, "png_read_rgba", file.size(), [&] {
        TPNGReader r;
        TStringStream s(file);
        r.LoadFromStream(s);
        benchmark::DoNotOptimize(r.ImageData());
    });
}
// The floor for that: inflating its rows and compressing them again.
void BM_PngReadRgbaBare(benchmark::State& state) {
    const std::string file = PagePng(true);
    const std::string raw = PageRows(true);
    size_t at = file.find("IDAT");
    uint32_t len = uint32_t(uint8_t(file[at - 4])) << 24 | uint32_t(uint8_t(file[at - 3])) << 16 |
                   uint32_t(uint8_t(file[at - 2])) << 8 | uint8_t(file[at - 1]);
    const std::string idat = file.substr(at + 4, len);
    std::string rows(raw.size(), '\0');
    std::string out(compressBound(uLong(raw.size())), '\0');
    Run(state, "png_read_rgba_bare", file.size(), [&] {
        uLongf n = uLongf(rows.size());
        uncompress(reinterpret_cast<Bytef*>(rows.data()), &n,
                   reinterpret_cast<const Bytef*>(idat.data()), uLong(idat.size()));
        uLongf m = uLongf(out.size());
        compress2(reinterpret_cast<Bytef*>(out.data()), &m,
                  reinterpret_cast<const Bytef*>(rows.data()), n, Z_DEFAULT_COMPRESSION);
        benchmark::DoNotOptimize(out);
    });
}

void BM_BmpRoundTrip(benchmark::State& state) {
    const size_t bytes = Page().BytesPerScanLine() * size_t(Page().Height());
    Run(state, "bmp_round_trip", bytes, [&] {
        TStringStream s;
        Page().SaveToStream(s);
        s.Seek(0, soBeginning);
        TBitmap b;
        b.LoadFromStream(s);
        benchmark::DoNotOptimize(b.ScanLine(0));
    });
}
void BM_BmpRoundTripBare(benchmark::State& state) {
    const size_t bytes = Page().BytesPerScanLine() * size_t(Page().Height());
    std::string a(bytes, '\0'), b(bytes, '\0');
    Run(state, "bmp_round_trip_bare", bytes, [&] {
        std::memcpy(a.data(), Page().ScanLine(0), bytes);
        std::memcpy(b.data(), a.data(), bytes);
        benchmark::DoNotOptimize(b);
    });
}

BENCHMARK(BM_Sha1Ranges)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sha1Bare)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sha256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sha256Bare)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AesDecryptPadded)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AesDecryptBare)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngWriteBare)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngReadRgba)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngReadRgbaBare)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpRoundTrip)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpRoundTripBare)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nratio (ours / bare library call on the same data):\n");
    for (const char* k : {"sha1_ranges", "sha256", "aes_decrypt", "png_write", "png_read_rgba",
                          "bmp_round_trip"}) {
        auto& t = Times();
        std::string bare = std::string(k) == "sha1_ranges" ? "sha1_bare"
                           : std::string(k) + "_bare";
        if (t.count(k) && t.count(bare) && t[bare] > 0)
            std::printf("  %-16s %6.2f\n", k, t[k] / t[bare]);
    }
    return 0;
}
