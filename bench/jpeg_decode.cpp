// Decoding large JPEG files with the JPEG picture, against `djpeg -bmp` on
// the same files in the same run. The files are made here: a 4:2:0 photo
// encoded by the picture itself, and 4:4:4, progressive and grey files made
// by cjpeg from one generated picture.
//
// In process, Google Benchmark times each decode. As programs, this binary
// started with --decode FILE (load, decode into the bitmap) runs against
// `djpeg -bmp -outfile /dev/null FILE`, best of three, and the ratio is
// printed per file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "codecs/JPEGImage.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

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
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string ReadAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// A photo-like picture: smooth gradients with waves and some fine detail.
velmo::TBitmap MakePicture(int W, int H) {
    velmo::TBitmap B(W, H, velmo::pf24bit);
    for (int Y = 0; Y < H; ++Y) {
        uint8_t* P = B.ScanLine(Y);
        for (int X = 0; X < W; ++X) {
            const double V = std::sin(X * 0.01) * std::cos(Y * 0.013);
            P[3 * X] = uint8_t(128 + 100 * V);
            P[3 * X + 1] = uint8_t((X + Y) * 255 / (W + H));
            P[3 * X + 2] = uint8_t(((X ^ Y) & 31) * 4 + 64);
        }
    }
    return B;
}

void WritePpm(const velmo::TBitmap& B, const fs::path& p) {
    std::ofstream f(p, std::ios::binary);
    f << "P6\n" << B.Width() << " " << B.Height() << "\n255\n";
    std::string Row(size_t(B.Width()) * 3, '\0');
    for (int Y = 0; Y < B.Height(); ++Y) {
        const uint8_t* S = B.ScanLine(Y);
        for (int X = 0; X < B.Width(); ++X) {
            Row[3 * X] = char(S[3 * X + 2]);
            Row[3 * X + 1] = char(S[3 * X + 1]);
            Row[3 * X + 2] = char(S[3 * X]);
        }
        f.write(Row.data(), std::streamsize(Row.size()));
    }
}

int DecodeFile(const std::string& file) {
    velmo::TPDFJPEGImage J;
    J.LoadFromBytes(ReadAll(file));
    return J.DecodedBitmap().Width() > 0 ? 0 : 1;
}

struct TFile {
    std::string Name;
    fs::path Path;
};
std::vector<TFile> gFiles;

void BM_Decode(benchmark::State& state, const std::string& data) {
    for (auto _ : state) {
        velmo::TPDFJPEGImage J;
        J.LoadFromBytes(data);
        benchmark::DoNotOptimize(J.DecodedBitmap().ScanLine(0));
    }
}

double BestOf3(const std::vector<std::string>& argv) {
    double best = 1e30;
    for (int i = 0; i < 3; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        if (!Run(argv)) return -1;
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--decode") return DecodeFile(argv[2]);
    const fs::path dir = fs::temp_directory_path() / ("vpl-jpeg-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    {
        const velmo::TBitmap photo = MakePicture(6000, 4000);
        velmo::TPDFJPEGImage J;
        J.Assign(photo);
        J.SetCompressionQuality(85);
        velmo::TStringStream out;
        J.SaveToStream(out);
        std::ofstream(dir / "photo420.jpg", std::ios::binary) << out.DataString();
        gFiles.push_back({"6000x4000 4:2:0 q85 (ours)", dir / "photo420.jpg"});
        WritePpm(MakePicture(4000, 3000), dir / "src.ppm");
    }
    const std::string src = (dir / "src.ppm").string();
    struct {
        const char* name;
        const char* file;
        std::vector<std::string> opts;
    } made[] = {
        {"4000x3000 4:4:4 q90 (cjpeg)", "s444.jpg", {"-sample", "1x1", "-quality", "90"}},
        {"4000x3000 progressive (cjpeg)", "prog.jpg", {"-progressive"}},
        {"4000x3000 grey (cjpeg)", "grey.jpg", {"-grayscale"}},
    };
    for (auto& m : made) {
        std::vector<std::string> a{"cjpeg"};
        a.insert(a.end(), m.opts.begin(), m.opts.end());
        a.insert(a.end(), {"-outfile", (dir / m.file).string(), src});
        if (Run(a))
            gFiles.push_back({m.name, dir / m.file});
        else
            std::fprintf(stderr, "cjpeg not available: %s skipped\n", m.name);
    }
    fs::remove(dir / "src.ppm");

    std::vector<std::string> datas;
    for (const auto& f : gFiles) datas.push_back(ReadAll(f.Path));
    for (size_t i = 0; i < gFiles.size(); ++i)
        benchmark::RegisterBenchmark(("Decode/" + gFiles[i].Name).c_str(), BM_Decode, datas[i])
            ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const std::string self = fs::absolute(argv[0]).string();
    std::printf("\nOne process per file, best of 3:\n");
    double sumOurs = 0, sumPeer = 0;
    for (const auto& f : gFiles) {
        const double ours = BestOf3({self, "--decode", f.Path.string()});
        const double peer = BestOf3({"djpeg", "-bmp", "-outfile", "/dev/null", f.Path.string()});
        if (ours < 0 || peer < 0) {
            std::printf("%-32s failed (ours %s, djpeg %s)\n", f.Name.c_str(),
                        ours < 0 ? "failed" : "ok", peer < 0 ? "failed" : "ok");
            continue;
        }
        sumOurs += ours;
        sumPeer += peer;
        std::printf("%-32s ours %.3f s, djpeg -bmp %.3f s, ratio ours/djpeg %.2f\n", f.Name.c_str(),
                    ours, peer, ours / peer);
    }
    if (sumPeer > 0)
        std::printf("all files: ours %.3f s, djpeg -bmp %.3f s, ratio ours/djpeg %.2f\n", sumOurs,
                    sumPeer, sumOurs / sumPeer);
    fs::remove_all(dir);
    return 0;
}
