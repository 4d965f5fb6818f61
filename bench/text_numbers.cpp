// Number text and UTF transcoding against the C library's routines doing the
// same work (snprintf, strtod, iconv) on the same data in the same run.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "core/StringHelpers.h"
#include "core/Unicode.h"

namespace {

std::vector<double> Values() {
    std::mt19937_64 Rng(1);
    std::uniform_real_distribution<double> D(-2000, 2000);
    std::vector<double> V(4096);
    for (double& X : V) X = D(Rng);
    return V;
}

void BM_FormatNumber(benchmark::State& State) {
    const auto V = Values();
    size_t I = 0;
    for (auto _ : State) benchmark::DoNotOptimize(velmo::FormatNumber(V[I++ & 4095], 4));
}
BENCHMARK(BM_FormatNumber);

void BM_snprintf_fixed4(benchmark::State& State) {
    const auto V = Values();
    size_t I = 0;
    char Buf[64];
    for (auto _ : State) {
        int N = std::snprintf(Buf, sizeof Buf, "%.4f", V[I++ & 4095]);
        benchmark::DoNotOptimize(std::string(Buf, N));
    }
}
BENCHMARK(BM_snprintf_fixed4);

std::vector<std::string> Texts() {
    std::vector<std::string> T;
    for (double X : Values()) T.push_back(velmo::FormatNumber(X, 4));
    return T;
}

void BM_ParseNumber(benchmark::State& State) {
    const auto T = Texts();
    size_t I = 0;
    for (auto _ : State) benchmark::DoNotOptimize(velmo::ParseNumber(T[I++ & 4095]));
}
BENCHMARK(BM_ParseNumber);

void BM_strtod(benchmark::State& State) {
    const auto T = Texts();
    size_t I = 0;
    for (auto _ : State) benchmark::DoNotOptimize(std::strtod(T[I++ & 4095].c_str(), nullptr));
}
BENCHMARK(BM_strtod);

std::string MixedUTF8() {
    std::u16string W;
    for (int I = 0; I < 20000; ++I) W += u"Text \u00e9\u00e8 \u4e2d\u6587 \U0001F600 ";
    return velmo::WideToUTF8(W);
}

void BM_UTF8ToWide(benchmark::State& State) {
    const std::string S = MixedUTF8();
    for (auto _ : State) benchmark::DoNotOptimize(velmo::UTF8ToWide(S));
    State.SetBytesProcessed(int64_t(State.iterations()) * int64_t(S.size()));
}
BENCHMARK(BM_UTF8ToWide);

std::string Iconv(iconv_t Cd, const std::string& In, size_t OutFactor) {
    std::string Out(In.size() * OutFactor + 16, '\0');
    char* InP = const_cast<char*>(In.data());
    size_t InLeft = In.size();
    char* OutP = Out.data();
    size_t OutLeft = Out.size();
    iconv(Cd, &InP, &InLeft, &OutP, &OutLeft);
    Out.resize(Out.size() - OutLeft);
    return Out;
}

void BM_iconv_UTF8_to_UTF16(benchmark::State& State) {
    const std::string S = MixedUTF8();
    iconv_t Cd = iconv_open("UTF-16LE", "UTF-8");
    for (auto _ : State) benchmark::DoNotOptimize(Iconv(Cd, S, 2));
    iconv_close(Cd);
    State.SetBytesProcessed(int64_t(State.iterations()) * int64_t(S.size()));
}
BENCHMARK(BM_iconv_UTF8_to_UTF16);

void BM_WideToUTF8(benchmark::State& State) {
    const std::u16string W = velmo::UTF8ToWide(MixedUTF8());
    for (auto _ : State) benchmark::DoNotOptimize(velmo::WideToUTF8(W));
    State.SetBytesProcessed(int64_t(State.iterations()) * int64_t(W.size() * 2));
}
BENCHMARK(BM_WideToUTF8);

void BM_iconv_UTF16_to_UTF8(benchmark::State& State) {
    const std::u16string W = velmo::UTF8ToWide(MixedUTF8());
    const std::string Bytes(reinterpret_cast<const char*>(W.data()), W.size() * 2);
    iconv_t Cd = iconv_open("UTF-8", "UTF-16LE");
    for (auto _ : State) benchmark::DoNotOptimize(Iconv(Cd, Bytes, 2));
    iconv_close(Cd);
    State.SetBytesProcessed(int64_t(State.iterations()) * int64_t(Bytes.size()));
}
BENCHMARK(BM_iconv_UTF16_to_UTF8);

}  // namespace

BENCHMARK_MAIN();
