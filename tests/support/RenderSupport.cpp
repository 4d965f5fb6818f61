#include "tests/support/RenderSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "core/Digests.h"
#include "core/PNG.h"
#include "core/Unicode.h"
#include "platform/gdi/Bitmap.h"

namespace fs = std::filesystem;

namespace vpltest {

TRgbRaster::TRgbRaster(int Width, int Height, uint8_t R, uint8_t G, uint8_t B)
    : width(std::max(Width, 0)), height(std::max(Height, 0)) {
    rgb.resize(size_t(width) * size_t(height) * 3);
    for (size_t i = 0; i < rgb.size(); i += 3) {
        rgb[i] = R;
        rgb[i + 1] = G;
        rgb[i + 2] = B;
    }
}

void TRgbRaster::SetPixel(int X, int Y, uint8_t R, uint8_t G, uint8_t B) {
    if (X < 0 || Y < 0 || X >= width || Y >= height) return;
    uint8_t* p = Pixel(X, Y);
    p[0] = R;
    p[1] = G;
    p[2] = B;
}

TRgbRaster RasterFromBitmap(const velmo::TBitmap& Bitmap, bool AlphaOverWhite) {
    TRgbRaster out(Bitmap.Width(), Bitmap.Height());
    const auto format = Bitmap.PixelFormat();
    for (int y = 0; y < out.height; ++y) {
        const uint8_t* row = Bitmap.ScanLine(y);
        for (int x = 0; x < out.width; ++x) {
            uint8_t* d = out.Pixel(x, y);
            if (format == velmo::pf24bit || format == velmo::pf32bit) {
                const int n = format == velmo::pf24bit ? 3 : 4;
                const uint8_t* s = row + size_t(x) * n;
                uint8_t r = s[2], g = s[1], b = s[0];
                if (n == 4 && AlphaOverWhite) {
                    const unsigned a = s[3];
                    r = uint8_t((r * a + 255 * (255 - a) + 127) / 255);
                    g = uint8_t((g * a + 255 * (255 - a) + 127) / 255);
                    b = uint8_t((b * a + 255 * (255 - a) + 127) / 255);
                }
                d[0] = r, d[1] = g, d[2] = b;
            } else {
                const velmo::TColor c = Bitmap.GetPixel(x, y);
                d[0] = uint8_t(c & 0xFF), d[1] = uint8_t((c >> 8) & 0xFF),
                d[2] = uint8_t((c >> 16) & 0xFF);
            }
        }
    }
    return out;
}

bool ReadPngRaster(const fs::path& File, TRgbRaster& Out, std::string* Error) {
    auto fail = [&](const std::string& why) {
        if (Error) *Error = why;
        Out = TRgbRaster();
        return false;
    };
    std::error_code ec;
    if (!fs::is_regular_file(File, ec)) return fail("no file " + File.string());
    try {
        velmo::TPNGReader reader;
        reader.SetDownSampleImage(true);
        reader.SetDownSampleAlpha(true);
        reader.LoadFromFile(velmo::UTF8ToWide(File.string()));
        if (reader.Width() == 0 || reader.Height() == 0)
            return fail("not a readable PNG: " + File.string());
        std::unique_ptr<velmo::TBitmap> bitmap = reader.SaveToBitmap();
        if (!bitmap) return fail("PNG of an unsupported depth: " + File.string());
        Out = RasterFromBitmap(*bitmap, true);
        return true;
    } catch (const std::exception& e) {
        return fail(std::string("PNG read failed: ") + e.what());
    }
}

namespace {

// A name beside Final that no other process or thread uses.
fs::path TempNameBeside(const fs::path& Final) {
    static std::atomic<unsigned> counter{0};
    thread_local std::mt19937 gen(std::random_device{}());
    return fs::path(Final.string() + ".tmp-" + std::to_string(::getpid()) + "-" +
                    std::to_string(counter++) + "-" + std::to_string(gen()));
}

bool WriteTextAtomically(const fs::path& Final, const std::string& Text) {
    const fs::path tmp = TempNameBeside(Final);
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(Text.data(), std::streamsize(Text.size()));
        if (!out) return false;
    }
    std::error_code ec;
    fs::rename(tmp, Final, ec);
    if (ec) fs::remove(tmp, ec);
    return !ec;
}

std::string Hex(const uint8_t* Data, size_t N) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < N; ++i) {
        s += digits[Data[i] >> 4];
        s += digits[Data[i] & 15];
    }
    return s;
}

std::string Sha256Hex(std::string_view Data) {
    velmo::TSHA256Digest d;
    velmo::SHA256OfBytes(Data, d);
    return Hex(d.data(), d.size());
}

// "path|size|modification time" of a file, empty when it does not exist.
std::string FileStamp(const fs::path& File) {
    struct stat st;
    if (::stat(File.c_str(), &st) != 0) return {};
    return File.string() + "|" + std::to_string(st.st_size) + "|" +
           std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
}

// An exclusive lock on a file, held until destruction.
class TFileLock {
public:
    explicit TFileLock(const fs::path& File) {
        FFd = ::open(File.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
        if (FFd >= 0)
            while (::flock(FFd, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~TFileLock() {
        if (FFd >= 0) ::close(FFd);  // closing releases the lock
    }
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;

private:
    int FFd = -1;
};

const char* StatusWord(TRenderStatus S) {
    switch (S) {
        case TRenderStatus::Ok:
            return "ok";
        case TRenderStatus::Failed:
            return "failed";
        case TRenderStatus::Crashed:
            return "crashed";
        case TRenderStatus::TimedOut:
            return "timed-out";
    }
    return "failed";
}

TRenderStatus StatusFromWord(const std::string& W) {
    if (W == "crashed") return TRenderStatus::Crashed;
    if (W == "timed-out") return TRenderStatus::TimedOut;
    return TRenderStatus::Failed;
}

fs::path FailPath(const fs::path& Entry) { return fs::path(Entry.string() + ".fail"); }

// A finished entry: the PNG, or the failure note beside it.
bool LookUp(const fs::path& Entry, TRenderResult& Out) {
    std::error_code ec;
    if (fs::is_regular_file(Entry, ec)) {
        if (ReadPngRaster(Entry, Out.raster, &Out.error)) {
            Out.status = TRenderStatus::Ok;
            Out.error.clear();
            Out.fromCache = true;
            return true;
        }
        fs::remove(Entry, ec);  // unreadable: render it again
        return false;
    }
    const fs::path fail = FailPath(Entry);
    if (fs::is_regular_file(fail, ec)) {
        std::ifstream in(fail, std::ios::binary);
        std::string word;
        std::getline(in, word);
        std::ostringstream rest;
        rest << in.rdbuf();
        Out.status = StatusFromWord(word);
        Out.error = rest.str();
        Out.raster = TRgbRaster();
        Out.fromCache = true;
        return true;
    }
    return false;
}

void StoreFailure(const fs::path& Entry, TRenderStatus Status, const std::string& Reason) {
    WriteTextAtomically(FailPath(Entry), std::string(StatusWord(Status)) + "\n" + Reason);
}

std::string Shorten(const std::string& S, size_t Max = 400) {
    return S.size() <= Max ? S : S.substr(0, Max) + "...";
}

// False when mutool's progress lines ("page <file> <n>") name pages but not
// the one asked for.
bool MutoolDrewPage(const std::string& Err, int Page) {
    const std::string want = " " + std::to_string(Page);
    bool sawPage = false;
    std::istringstream in(Err);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("page ", 0) != 0) continue;
        sawPage = true;
        if (line.size() >= want.size() &&
            line.compare(line.size() - want.size(), want.size(), want) == 0)
            return true;
    }
    return !sawPage;
}

}  // namespace

bool WritePngRaster(const fs::path& File, const TRgbRaster& Raster, std::string* Error) {
    auto fail = [&](const std::string& why) {
        if (Error) *Error = why;
        return false;
    };
    if (Raster.Empty() || Raster.rgb.size() != size_t(Raster.width) * size_t(Raster.height) * 3)
        return fail("empty or malformed raster");
    const fs::path tmp = TempNameBeside(File);
    try {
        velmo::TBitmap bitmap(Raster.width, Raster.height, velmo::pf24bit);
        for (int y = 0; y < Raster.height; ++y) {
            uint8_t* row = bitmap.ScanLine(y);
            for (int x = 0; x < Raster.width; ++x) {
                const uint8_t* s = Raster.Pixel(x, y);
                row[3 * x] = s[2], row[3 * x + 1] = s[1], row[3 * x + 2] = s[0];
            }
        }
        velmo::TPNGWriter writer(bitmap);
        writer.SaveToFile(velmo::UTF8ToWide(tmp.string()));
    } catch (const std::exception& e) {
        std::error_code ec;
        fs::remove(tmp, ec);
        return fail(std::string("PNG write failed: ") + e.what());
    }
    std::error_code ec;
    fs::rename(tmp, File, ec);
    if (ec) {
        fs::remove(tmp, ec);
        return fail("cannot rename into " + File.string());
    }
    return true;
}

TRenderComparison CompareRenders(const TRgbRaster& A, const TRgbRaster& B) {
    TRenderComparison c;
    c.widthDifference = std::abs(A.width - B.width);
    c.heightDifference = std::abs(A.height - B.height);
    const int w = std::min(A.width, B.width);
    const int h = std::min(A.height, B.height);
    if (w <= 0 || h <= 0) {
        c.meanDifference = 255;
        c.farShare = 1;
        return c;
    }
    uint64_t sum = 0;
    uint64_t far = 0;
    for (int y = 0; y < h; ++y) {
        const uint8_t* a = A.Pixel(0, y);
        const uint8_t* b = B.Pixel(0, y);
        for (int x = 0; x < w; ++x, a += 3, b += 3) {
            int most = 0;
            for (int k = 0; k < 3; ++k) {
                const int d = std::abs(int(a[k]) - int(b[k]));
                sum += unsigned(d);
                most = std::max(most, d);
            }
            if (most > kRenderFarChannelDifference) ++far;
        }
    }
    const uint64_t pixels = uint64_t(w) * uint64_t(h);
    c.meanDifference = double(sum) / double(pixels * 3);
    c.farShare = double(far) / double(pixels);
    // Whole numbers decide, so a figure exactly at its limit passes.
    c.similar = c.widthDifference <= kRenderMaxSizeDifference &&
                c.heightDifference <= kRenderMaxSizeDifference &&
                sum <= uint64_t(kRenderMaxMeanDifference) * pixels * 3 &&
                far * 100 <= uint64_t(kRenderMaxFarPercent) * pixels;
    return c;
}

std::string DescribeComparison(const TRenderComparison& C) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%s (size difference %d x %d, mean %.2f, far %.2f %%)",
                  C.similar ? "similar" : "differs", C.widthDifference, C.heightDifference,
                  C.meanDifference, C.farShare * 100);
    return buf;
}

const char* PeerName(TRenderPeer Peer) {
    return Peer == TRenderPeer::Mutool ? "mutool" : "pdftoppm";
}

std::string EngineBuildId() {
    if (const char* env = std::getenv("VPL_RENDER_BUILD_ID"); env && *env) return env;
    std::string stamps;
#ifdef VPL_ENGINE_LIBS_FILE
    {
        std::ifstream in(VPL_ENGINE_LIBS_FILE);
        std::string line;
        while (std::getline(in, line))
            if (!line.empty()) stamps += FileStamp(line) + "\n";
    }
#endif
    if (stamps.empty()) stamps = FileStamp(fs::read_symlink("/proc/self/exe"));
    return Sha256Hex(stamps).substr(0, 16);
}

fs::path TRenderCache::DefaultDir() {
    if (const char* env = std::getenv("VPL_RENDER_CACHE"); env && *env) return env;
#ifdef VPL_RENDER_CACHE_DIR
    return VPL_RENDER_CACHE_DIR;
#endif
    return fs::temp_directory_path() / ("vpl-render-cache-" + std::to_string(::getuid()));
}

fs::path TRenderCache::DefaultPeerDir() {
    if (const char* env = std::getenv("VPL_PEER_CACHE"); env && *env) return env;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg)
        return fs::path(xdg) / "velmo-tests" / "peer-renders";
    if (const char* home = std::getenv("HOME"); home && *home)
        return fs::path(home) / ".cache" / "velmo-tests" / "peer-renders";
    return DefaultDir();
}

namespace {

// The version in the first line a peer prints for -v, so an
// upgraded peer starts a folder of its own. Empty when it prints nothing.
std::string PeerVersionTag(TRenderPeer Peer) {
    static std::mutex Lock;
    static std::map<TRenderPeer, std::string> Tags;
    std::lock_guard<std::mutex> G(Lock);
    if (auto It = Tags.find(Peer); It != Tags.end()) return It->second;
    const CommandResult Run = RunCommand({PeerName(Peer), "-v"}, 20);
    std::string Text = Run.out + Run.err;
    Text = Text.substr(0, Text.find('\n'));
    std::string Tag;
    // "pdftoppm version 22.12.0" gives "22.12.0".
    for (char C : Text)
        if (std::isdigit(static_cast<unsigned char>(C)) || (C == '.' && !Tag.empty())) Tag += C;
    if (Tag.size() > 40) Tag = Sha256Hex(Tag).substr(0, 16);
    return Tags[Peer] = Tag;
}

}  // namespace

TRenderCache::TRenderCache() : TRenderCache(DefaultDir()) {
    FPeerDir = DefaultPeerDir();
    std::error_code ec;
    fs::create_directories(FPeerDir, ec);
    if (ec) FPeerDir = FDir;
}

TRenderCache::TRenderCache(fs::path Dir, std::string BuildId)
    : FDir(std::move(Dir)), FPeerDir(FDir), FBuildId(std::move(BuildId)) {
    FRunner = [](const std::vector<std::string>& argv, double timeout) {
        return RunCommand(argv, timeout);
    };
    std::error_code ec;
    fs::create_directories(FDir, ec);
}

std::string TRenderCache::FileDigest(const fs::path& File) {
    const std::string stamp = FileStamp(File);
    if (stamp.empty()) return {};
    {
        std::lock_guard<std::mutex> lock(FLock);
        if (auto it = FDigests.find(stamp); it != FDigests.end()) return it->second;
    }
    std::string digest;
    try {
        digest = Sha256Hex(ReadFile(File));
    } catch (const std::exception&) {
        return {};
    }
    std::lock_guard<std::mutex> lock(FLock);
    FDigests[stamp] = digest;
    return digest;
}

fs::path TRenderCache::EntryPath(const std::string& Folder, const fs::path& File, int Page,
                                 int DPI) {
    const std::string digest = FileDigest(File);
    if (digest.empty()) return {};
    std::error_code ec;
    fs::create_directories(FDir / Folder, ec);
    return FDir / Folder /
           (digest + "-p" + std::to_string(Page) + "-r" + std::to_string(DPI) + ".png");
}

fs::path TRenderCache::PeerEntryPath(TRenderPeer Which, const fs::path& File, int Page,
                                     int DPI) {
    if (FPeerDir == FDir) return EntryPath(PeerName(Which), File, Page, DPI);
    const std::string digest = FileDigest(File);
    if (digest.empty()) return {};
    const fs::path Folder = FPeerDir / (std::string(PeerName(Which)) + "-" + PeerVersionTag(Which));
    std::error_code ec;
    fs::create_directories(Folder, ec);
    return Folder / (digest + "-p" + std::to_string(Page) + "-r" + std::to_string(DPI) + ".png");
}

void TRenderCache::PruneOtherBuilds() {
    // Rasters of earlier engine builds are never read again.
    std::lock_guard<std::mutex> lock(FLock);
    if (FPruned) return;
    FPruned = true;
    const std::string mine = "ours-" + FBuildId;
    std::error_code ec;
    if (fs::exists(FDir / mine, ec)) return;  // pruned by whoever made it
    for (auto it = fs::directory_iterator(FDir, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("ours-", 0) == 0 && name != mine) {
            std::error_code rm;
            fs::remove_all(it->path(), rm);
        }
    }
}

TRenderResult TRenderCache::Peer(TRenderPeer Which, const fs::path& File, int Page, int DPI) {
    TRenderResult result;
    const fs::path entry = PeerEntryPath(Which, File, Page, DPI);
    if (entry.empty()) {
        result.error = "cannot read " + File.string();
        return result;
    }
    TFileLock lock(entry.string() + ".lock");
    if (LookUp(entry, result)) return result;

    const fs::path tmp = TempNameBeside(entry);
    fs::path produced;
    std::vector<std::string> argv;
    if (Which == TRenderPeer::Mutool) {
        produced = tmp.string() + ".png";
        argv = {"mutool",      "draw",
                "-r",          std::to_string(DPI),
                "-F",          "png",
                "-o",          produced.string(),
                File.string(), std::to_string(Page)};
    } else {
        produced = tmp.string() + ".png";  // -singlefile adds the extension
        argv = {"pdftoppm",           "-r", std::to_string(DPI),  "-png",        "-f",
                std::to_string(Page), "-l", std::to_string(Page), "-singlefile", File.string(),
                tmp.string()};
    }
    const CommandResult run = FRunner(argv, FPeerTimeout);
    std::error_code ec;
    if (run.timedOut) {
        fs::remove(produced, ec);
        result.status = TRenderStatus::TimedOut;
        result.error = std::string(PeerName(Which)) + " timed out";
        return result;
    }
    // mutool draws the last page for a page number beyond it; it names the
    // page it drew on standard error.
    if (Which == TRenderPeer::Mutool && !MutoolDrewPage(run.err, Page)) {
        fs::remove(produced, ec);
        result.status = TRenderStatus::Failed;
        result.error = "mutool: no page " + std::to_string(Page);
        StoreFailure(entry, result.status, result.error);
        return result;
    }
    // A readable image counts even when the tool also reported errors: the
    // peers draw what they can of a damaged page.
    std::string readError;
    if (ReadPngRaster(produced, result.raster, &readError)) {
        fs::rename(produced, entry, ec);
        if (ec) fs::remove(produced, ec);
        result.status = TRenderStatus::Ok;
        return result;
    }
    fs::remove(produced, ec);
    result.status = TRenderStatus::Failed;
    result.error = std::string(PeerName(Which)) + " exit " + std::to_string(run.exitCode) + ": " +
                   Shorten(run.err.empty() ? readError : run.err);
    StoreFailure(entry, result.status, result.error);
    return result;
}

void TRenderCache::PrefetchPeers(const std::vector<TPageRef>& Pages, int DPI, int Threads) {
    std::map<std::string, std::pair<fs::path, std::set<int>>> byFile;
    for (const TPageRef& p : Pages) {
        auto& slot = byFile[p.file.string()];
        slot.first = p.file;
        slot.second.insert(p.page);
    }
    struct TJob {
        TRenderPeer peer;
        fs::path file;
        std::vector<int> pages;
    };
    std::vector<TJob> jobs;
    for (const auto& [name, slot] : byFile)
        for (TRenderPeer peer : {TRenderPeer::Mutool, TRenderPeer::Pdftoppm})
            jobs.push_back({peer, slot.first, {slot.second.begin(), slot.second.end()}});

    auto runJob = [&](const TJob& job) {
        // Locks in page order, as every process takes them one at a time.
        std::vector<std::unique_ptr<TFileLock>> locks;
        std::vector<std::pair<int, fs::path>> missing;  // page, entry
        for (int page : job.pages) {
            const fs::path entry = PeerEntryPath(job.peer, job.file, page, DPI);
            if (entry.empty()) return;
            std::error_code ec;
            if (fs::exists(entry, ec) || fs::exists(FailPath(entry), ec)) continue;
            locks.push_back(std::make_unique<TFileLock>(entry.string() + ".lock"));
            if (fs::exists(entry, ec) || fs::exists(FailPath(entry), ec)) continue;
            missing.push_back({page, entry});
        }
        if (missing.empty()) return;
        const fs::path dir = TempNameBeside(missing.front().second);
        std::error_code ec;
        if (!fs::create_directory(dir, ec)) return;
        std::vector<std::string> argv;
        const int first = missing.front().first, last = missing.back().first;
        if (job.peer == TRenderPeer::Mutool) {
            std::string list;
            for (const auto& m : missing)
                list += (list.empty() ? "" : ",") + std::to_string(m.first);
            argv = {"mutool",
                    "draw",
                    "-r",
                    std::to_string(DPI),
                    "-F",
                    "png",
                    "-o",
                    (dir / "p%d.png").string(),
                    job.file.string(),
                    list};
        } else {
            argv = {"pdftoppm",
                    "-r",
                    std::to_string(DPI),
                    "-png",
                    "-f",
                    std::to_string(first),
                    "-l",
                    std::to_string(last),
                    job.file.string(),
                    (dir / "p").string()};
        }
        const CommandResult run = FRunner(argv, FPeerTimeout * double(missing.size()));
        if (!run.timedOut) {
            // pdftoppm pads the page number to the width of the page count.
            std::map<int, fs::path> produced;
            for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator();
                 it.increment(ec)) {
                std::string name = it->path().filename().string();
                if (name.size() < 6 || name.compare(name.size() - 4, 4, ".png") != 0) continue;
                const size_t digits = name.find_first_of("0123456789");
                if (digits == std::string::npos) continue;
                produced[std::atoi(name.c_str() + digits)] = it->path();
            }
            for (const auto& [page, entry] : missing) {
                auto it = produced.find(page);
                if (it == produced.end()) continue;
                if (job.peer == TRenderPeer::Mutool && !MutoolDrewPage(run.err, page)) continue;
                TRgbRaster raster;
                if (!ReadPngRaster(it->second, raster)) continue;
                std::error_code rn;
                fs::rename(it->second, entry, rn);
            }
        }
        fs::remove_all(dir, ec);
    };

    std::atomic<size_t> next{0};
    auto worker = [&] {
        for (size_t i; (i = next++) < jobs.size();) runJob(jobs[i]);
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < std::max(Threads, 1); ++t) pool.emplace_back(worker);
    worker();
    for (std::thread& t : pool) t.join();
}

TRenderResult TRenderCache::Ours(const fs::path& File, int Page, int DPI,
                                 const TPageRenderFn& Render) {
    TRenderResult result;
    if (!Render) {
        result.error = "no page renderer installed";
        return result;
    }
    // The key does not name the services a raster was drawn with: every
    // raster is drawn with all of them.
    InstallPageRenderServices();
    PruneOtherBuilds();
    const fs::path entry = EntryPath("ours-" + FBuildId, File, Page, DPI);
    if (entry.empty()) {
        result.error = "cannot read " + File.string();
        return result;
    }
    TFileLock lock(entry.string() + ".lock");
    if (LookUp(entry, result)) return result;

    // Exit status of the child when the cache could not be written: that is
    // not the engine's failure and is not kept.
    constexpr int kStoreFailed = 4;
    auto renderAndStore = [&](std::string& report) {
        TRgbRaster raster;
        std::string error;
        if (!Render(File, Page, DPI, raster, error)) {
            report = error.empty() ? "render failed" : error;
            return 2;
        }
        if (raster.Empty()) {
            report = "render gave an empty raster";
            return 2;
        }
        if (!WritePngRaster(entry, raster, &error)) {
            report = "cannot store the raster: " + error;
            return kStoreFailed;
        }
        return 0;
    };

    if (FOursTimeout > 0) {
        const ChildResult child = RunIsolated(renderAndStore, FOursTimeout);
        switch (child.outcome) {
            case ChildOutcome::Ok:
                if (ReadPngRaster(entry, result.raster, &result.error)) {
                    result.status = TRenderStatus::Ok;
                    return result;
                }
                result.status = TRenderStatus::Failed;
                return result;
            case ChildOutcome::Failed:
                result.status = TRenderStatus::Failed;
                result.error = child.report;
                if (child.exitCode == kStoreFailed) return result;
                break;
            case ChildOutcome::Crashed:
                result.status = TRenderStatus::Crashed;
                result.error = "crashed (exit " + std::to_string(child.exitCode) + ")" +
                               (child.report.empty() ? "" : ": " + child.report);
                break;
            case ChildOutcome::TimedOut:
                result.status = TRenderStatus::TimedOut;
                result.error = "timed out after " + std::to_string(int(FOursTimeout)) + " s";
                break;
        }
        StoreFailure(entry, result.status, result.error);
        return result;
    }

    std::string report;
    int code = 2;
    try {
        code = renderAndStore(report);
    } catch (const std::exception& e) {
        report = std::string("exception escaped: ") + e.what();
    }
    if (code == 0 && ReadPngRaster(entry, result.raster, &result.error)) {
        result.status = TRenderStatus::Ok;
        return result;
    }
    result.status = TRenderStatus::Failed;
    result.error = report;
    if (code != kStoreFailed) StoreFailure(entry, result.status, result.error);
    return result;
}

TReferenceRate ReferenceRate(TRenderCache& Cache, const std::vector<TPageRef>& Pages, int DPI) {
    TReferenceRate rate;
    for (const TPageRef& p : Pages) {
        ++rate.pages;
        const TRenderResult m = Cache.Peer(TRenderPeer::Mutool, p.file, p.page, DPI);
        if (!m.Ok()) continue;
        const TRenderResult t = Cache.Peer(TRenderPeer::Pdftoppm, p.file, p.page, DPI);
        if (!t.Ok()) continue;
        ++rate.compared;
        if (CompareRenders(t.raster, m.raster).similar) ++rate.similar;
    }
    return rate;
}

TPeerVerdict JudgeAgainstPeers(const TRgbRaster& Ours, const TRenderResult& Mutool,
                               const TRenderResult& Pdftoppm) {
    TPeerVerdict v;
    v.haveMutool = Mutool.Ok();
    v.havePdftoppm = Pdftoppm.Ok();
    if (v.haveMutool) v.vsMutool = CompareRenders(Ours, Mutool.raster);
    if (v.havePdftoppm) v.vsPdftoppm = CompareRenders(Ours, Pdftoppm.raster);
    v.agrees = (v.haveMutool && v.vsMutool.similar) || (v.havePdftoppm && v.vsPdftoppm.similar);
    return v;
}

void ExpectPageAgreesWithPeers(TRenderCache& Cache, const std::filesystem::path& File, int Dpi,
                               const std::string& Label) {
    namespace fs = std::filesystem;
    SCOPED_TRACE(Label + " at " + std::to_string(Dpi) + " DPI");
    const TRenderResult mutool = Cache.Peer(TRenderPeer::Mutool, File, 1, Dpi);
    const TRenderResult pdftoppm =
        Cache.Peer(TRenderPeer::Pdftoppm, File, 1, Dpi);
    ASSERT_TRUE(mutool.Ok() || pdftoppm.Ok())
        << "no peer drew the page: " << mutool.error << " / " << pdftoppm.error;
    TRgbRaster ours;
    std::string error;
    ASSERT_TRUE(RenderFilePageToPng(File, 1, Dpi, ours, error)) << error;
    EXPECT_EQ(error, "");
    const TPeerVerdict v = JudgeAgainstPeers(ours, mutool, pdftoppm);
    EXPECT_TRUE(v.agrees) << "mutool: "
                          << (v.haveMutool ? DescribeComparison(v.vsMutool)
                                           : mutool.error)
                          << "; pdftoppm: "
                          << (v.havePdftoppm ? DescribeComparison(v.vsPdftoppm)
                                             : pdftoppm.error);
    if (!v.agrees && std::getenv("VPL_KEEP_RENDERS")) {
        const fs::path keep = fs::path(std::getenv("VPL_KEEP_RENDERS"));
        WritePngRaster(keep / (Label + "-" + std::to_string(Dpi) + "-ours.png"), ours);
        if (mutool.Ok())
            WritePngRaster(keep / (Label + "-" + std::to_string(Dpi) + "-mutool.png"),
                                    mutool.raster);
    }
}

}  // namespace vpltest
