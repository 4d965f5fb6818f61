// Password checks of the security handler against qpdf's, run on the same
// files in the same run. qpdf is timed as a process: its start-up and file
// parsing are measured on the same file without a password check (wrong
// password of a plain file), so the difference is its password check alone.
#include "document/Security.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace velmo;

namespace {

std::string Hex(std::string_view h) {
    std::string o;
    auto n = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    for (size_t i = 0; i + 1 < h.size(); i += 2) o += char(n(h[i]) * 16 + n(h[i + 1]));
    return o;
}

const char* kDir = "/tmp/vpl-bench-security";

void MakeFiles() {
    static bool done = false;
    if (done) return;
    done = true;
    std::string cmd = std::string("mkdir -p ") + kDir + " && cd " + kDir +
                      " && qpdf --empty plain.pdf && qpdf --encrypt user owner 256 -- plain.pdf "
                      "r6.pdf && qpdf --allow-weak-crypto --encrypt user owner 128 --use-aes=y -- "
                      "plain.pdf r4.pdf";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "qpdf missing\n");
}

double TimeCommand(const std::string& cmd, int runs) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i) (void)!std::system((cmd + " >/dev/null 2>&1").c_str());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / runs;
}

TPDFSecurityHandler R6Handler() {
    TPDFEncryption r;
    r.DictionaryPresent = true;
    r.V = 5, r.R = 6, r.Length = 256, r.Algorithm = eaAES256;
    r.O =
        Hex("54e6d9f0d5db7698be02a9eaf52db2821ec4ff8a8e7ddcbfc0b2575909d7da3d1a5372be563f03a9"
            "d6a9c35ed1d49fd9");
    r.U =
        Hex("8657aa07d6fc0d243d1a61a94ce97f4e1786a5ab0d20a943e8f3962cac59c07d2fb1dd7a54b8857a"
            "a7c1df72f1fb0f9c");
    r.OE = Hex("908f05d460248d5258e0b15762a01223a02b31fcf3b448ed115a8d1cadf54bb8");
    r.UE = Hex("129a73657ec37ce3cb98aac1faaaf931c63bef8ab1b87f622f4a2509c0953c09");
    r.Perms = Hex("4216daa472b6f9c5ded739e5bc4b8119");
    r.P = 0xFFFFFFFC;
    TPDFSecurityHandler h;
    h.SetEncryption(r);
    return h;
}

void BM_R6UserPassword(benchmark::State& st) {
    TPDFSecurityHandler h = R6Handler();
    for (auto _ : st) benchmark::DoNotOptimize(h.CheckUserPassword(u"user"));
}
BENCHMARK(BM_R6UserPassword)->Unit(benchmark::kMillisecond);

void BM_R6OwnerPassword(benchmark::State& st) {
    TPDFSecurityHandler h = R6Handler();
    for (auto _ : st) benchmark::DoNotOptimize(h.CheckOwnerPassword(u"owner"));
}
BENCHMARK(BM_R6OwnerPassword)->Unit(benchmark::kMillisecond);

void BM_ObjectDecryptAES256_1MB(benchmark::State& st) {
    const std::string key(32, 'k');
    const std::string cipher = EncryptObjectData(eaAES256, key, std::string(1 << 20, 'x'));
    for (auto _ : st) benchmark::DoNotOptimize(DecryptObjectData(eaAES256, key, cipher));
    st.SetBytesProcessed(int64_t(st.iterations()) * (1 << 20));
}
BENCHMARK(BM_ObjectDecryptAES256_1MB)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    MakeFiles();
    // Ours: one user-password check of revision 6.
    TPDFSecurityHandler h = R6Handler();
    const int n = 50;
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i) benchmark::DoNotOptimize(h.CheckUserPassword(u"user"));
    const double ours =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / n;
    const std::string dir = kDir;
    const double base = TimeCommand("qpdf --show-npages " + dir + "/plain.pdf", 20);
    const double peer = TimeCommand("qpdf --show-npages --password=user " + dir + "/r6.pdf", 20);
    std::printf(
        "R6 user password: ours %.3f ms, qpdf %.3f ms (process %.3f ms minus start-up "
        "%.3f ms), ratio ours/qpdf %.2f\n",
        ours * 1e3, (peer - base) * 1e3, peer * 1e3, base * 1e3, ours / (peer - base));
    benchmark::Shutdown();
    return 0;
}
