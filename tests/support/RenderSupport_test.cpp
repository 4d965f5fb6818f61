#include "tests/support/RenderSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "document/PageServices.h"
#include "platform/gdi/Bitmap.h"

namespace fs = std::filesystem;
using namespace vpltest;

namespace {

// A 40 × 25 (1000 pixel) white raster with N pixels changed by Delta in the
// red channel only.
TRgbRaster WithChangedPixels(int N, int Delta) {
    TRgbRaster r(40, 25);
    for (int i = 0; i < N; ++i) r.Pixel(i % 40, i / 40)[0] = uint8_t(255 - Delta);
    return r;
}

struct CompareCase {
    const char* name;
    TRgbRaster a;
    TRgbRaster b;
    bool similar;
    double mean;
    double farShare;
};

TEST(RenderCompare, LimitsOfTheRule) {
    TRgbRaster white(40, 25);
    TRgbRaster grey6(40, 25, 249, 249, 249);
    TRgbRaster grey6AndOne = grey6;
    grey6AndOne.Pixel(7, 3)[1] = 248;  // one channel step above the mean limit
    TRgbRaster wideBlackEdge(41, 25);
    for (int y = 0; y < 25; ++y) wideBlackEdge.SetPixel(40, y, 0, 0, 0);  // outside the common area

    const CompareCase cases[] = {
        {"identical", white, white, true, 0, 0},
        {"one column wider", white, TRgbRaster(41, 25), true, 0, 0},
        {"one row taller", white, TRgbRaster(40, 26), true, 0, 0},
        {"one wider and taller", white, TRgbRaster(41, 26), true, 0, 0},
        {"two columns wider", white, TRgbRaster(42, 25), false, 0, 0},
        {"two rows shorter", white, TRgbRaster(40, 23), false, 0, 0},
        {"only the common area counts", white, wideBlackEdge, true, 0, 0},
        {"mean exactly 6", white, grey6, true, 6, 0},
        {"mean just above 6", white, grey6AndOne, false, 6 + 1.0 / 3000, 0},
        {"far share exactly 4 %", white, WithChangedPixels(40, 97), true, 40 * 97 / 3000.0, 0.04},
        {"far share 4.1 %", white, WithChangedPixels(41, 97), false, 41 * 97 / 3000.0, 0.041},
        {"96 is not far", white, WithChangedPixels(100, 96), true, 100 * 96 / 3000.0, 0},
        {"both empty", TRgbRaster(), TRgbRaster(), false, 255, 1},
        {"one empty", white, TRgbRaster(), false, 255, 1},
    };
    for (const CompareCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TRenderComparison r = CompareRenders(c.a, c.b);
        EXPECT_EQ(r.similar, c.similar) << DescribeComparison(r);
        EXPECT_NEAR(r.meanDifference, c.mean, 1e-9);
        EXPECT_NEAR(r.farShare, c.farShare, 1e-9);
        // The rule does not depend on the order of the two renders.
        EXPECT_EQ(CompareRenders(c.b, c.a).similar, c.similar);
    }
}

TEST(RenderCompare, FarPixelCountsOnceWhateverTheChannels) {
    // All three channels far apart on one pixel is still one far pixel.
    TRgbRaster a(10, 10, 255, 255, 255);
    TRgbRaster b = a;
    b.SetPixel(0, 0, 0, 0, 0);
    const TRenderComparison r = CompareRenders(a, b);
    EXPECT_DOUBLE_EQ(r.farShare, 0.01);
    EXPECT_DOUBLE_EQ(r.meanDifference, 255.0 * 3 / 300);
    EXPECT_TRUE(r.similar);
}

TEST(RenderRaster, BitmapsOfEveryDepthGiveRgbInOrder) {
    velmo::TBitmap b24(2, 1, velmo::pf24bit);
    b24.SetPixel(0, 0, 0x00332211);  // $00BBGGRR: red 0x11
    b24.SetPixel(1, 0, 0x00FFFFFF);
    TRgbRaster r = RasterFromBitmap(b24);
    ASSERT_EQ(r.width, 2);
    ASSERT_EQ(r.height, 1);
    EXPECT_EQ(r.Pixel(0, 0)[0], 0x11);
    EXPECT_EQ(r.Pixel(0, 0)[1], 0x22);
    EXPECT_EQ(r.Pixel(0, 0)[2], 0x33);

    velmo::TBitmap b32(1, 1, velmo::pf32bit);
    uint8_t* p = b32.ScanLine(0);
    p[0] = 0, p[1] = 0, p[2] = 200, p[3] = 0;  // red, fully transparent
    EXPECT_EQ(RasterFromBitmap(b32).Pixel(0, 0)[0], 200);
    EXPECT_EQ(RasterFromBitmap(b32, true).Pixel(0, 0)[1], 255);  // white shows through

    velmo::TBitmap b1(3, 1, velmo::pf1bit);
    b1.SetPixel(1, 0, 0x00FFFFFF);
    TRgbRaster mono = RasterFromBitmap(b1);
    EXPECT_EQ(mono.Pixel(0, 0)[0], 0);
    EXPECT_EQ(mono.Pixel(1, 0)[2], 255);
}

TEST(RenderRaster, PngRoundTripAndUnreadableFiles) {
    TempDir dir;
    TRgbRaster r(5, 3);
    r.SetPixel(4, 2, 10, 20, 30);
    r.SetPixel(0, 1, 200, 0, 100);
    ASSERT_TRUE(WritePngRaster(dir / "a.png", r));
    TRgbRaster back;
    ASSERT_TRUE(ReadPngRaster(dir / "a.png", back));
    EXPECT_EQ(back.width, 5);
    EXPECT_EQ(back.height, 3);
    EXPECT_EQ(back.rgb, r.rgb);

    std::string error;
    EXPECT_FALSE(ReadPngRaster(dir / "missing.png", back, &error));
    EXPECT_FALSE(error.empty());
    WriteFile(dir / "bad.png", "\x89PNG\r\n\x1a\n garbage");
    EXPECT_FALSE(ReadPngRaster(dir / "bad.png", back, &error));
    EXPECT_TRUE(back.Empty());
    EXPECT_FALSE(WritePngRaster(dir / "empty.png", TRgbRaster(), &error));
    EXPECT_FALSE(fs::exists(dir / "empty.png"));
}

// A stand-in for the peers: records each command and writes a PNG where the
// tool would.
struct FakePeers {
    std::atomic<int> runs{0};
    std::vector<std::string> lastArgv;
    TRgbRaster image = TRgbRaster(8, 6, 0, 128, 255);
    int exitCode = 0;
    bool writeImage = true;
    bool timeOut = false;
    double delay = 0;

    TToolRunner Runner() {
        return [this](const std::vector<std::string>& argv, double) {
            ++runs;
            lastArgv = argv;
            if (delay > 0) std::this_thread::sleep_for(std::chrono::duration<double>(delay));
            CommandResult r;
            r.exitCode = exitCode;
            r.timedOut = timeOut;
            if (timeOut) r.exitCode = -1;
            if (writeImage && !timeOut) {
                fs::path out;
                if (argv[0] == "mutool") {
                    for (size_t i = 0; i + 1 < argv.size(); ++i)
                        if (argv[i] == "-o") out = argv[i + 1];
                } else {
                    out = argv.back() + ".png";
                }
                WritePngRaster(out, image);
            } else if (!timeOut) {
                r.err = "error: cannot open document";
            }
            return r;
        };
    }
};

class RenderCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        pdf = dir / "doc.pdf";
        WriteFile(pdf, "%PDF-1.4 any bytes: the cache keys on content only\n");
    }
    TempDir dir;
    fs::path pdf;
    fs::path cacheDir() const { return dir.path() / "cache"; }
};

TEST_F(RenderCacheTest, PeerRenderIsReusedAcrossProcessesAndKeyedByContentPageAndDpi) {
    FakePeers fake;
    for (TRenderPeer peer : {TRenderPeer::Mutool, TRenderPeer::Pdftoppm}) {
        SCOPED_TRACE(PeerName(peer));
        fake.runs = 0;
        {
            TRenderCache cache(cacheDir(), "build-a");
            cache.SetToolRunner(fake.Runner());
            TRenderResult first = cache.Peer(peer, pdf, 2, 72);
            ASSERT_TRUE(first.Ok()) << first.error;
            EXPECT_FALSE(first.fromCache);
            EXPECT_EQ(first.raster.rgb, fake.image.rgb);
            EXPECT_EQ(fake.lastArgv[0], PeerName(peer));
            if (peer == TRenderPeer::Pdftoppm) {
                EXPECT_NE(std::find(fake.lastArgv.begin(), fake.lastArgv.end(), "-singlefile"),
                          fake.lastArgv.end());
            }
        }
        // A new cache object (another test process) with another engine
        // build: the peers' renders do not depend on our build.
        TRenderCache again(cacheDir(), "build-b");
        again.SetToolRunner(fake.Runner());
        TRenderResult second = again.Peer(peer, pdf, 2, 72);
        ASSERT_TRUE(second.Ok());
        EXPECT_TRUE(second.fromCache);
        EXPECT_EQ(second.raster.rgb, fake.image.rgb);
        EXPECT_EQ(fake.runs, 1);

        // The same bytes under another name are the same entry.
        fs::copy_file(pdf, dir / (std::string(PeerName(peer)) + "-copy.pdf"));
        EXPECT_TRUE(
            again.Peer(peer, dir / (std::string(PeerName(peer)) + "-copy.pdf"), 2, 72).fromCache);
        EXPECT_EQ(fake.runs, 1);
        // Another page or resolution is rendered.
        EXPECT_FALSE(again.Peer(peer, pdf, 3, 72).fromCache);
        EXPECT_FALSE(again.Peer(peer, pdf, 2, 150).fromCache);
        EXPECT_EQ(fake.runs, 3);
    }
    // No temporary files are left behind.
    for (const auto& e : fs::recursive_directory_iterator(cacheDir()))
        EXPECT_EQ(e.path().string().find(".tmp-"), std::string::npos) << e.path();
}

// The default cache keeps the peers' renders apart from our rasters, in a
// folder that outlives the build tree, under the peer's name and version;
// a second build tree finds them there.
TEST_F(RenderCacheTest, DefaultCacheKeepsPeerRendersOutsideTheBuildTree) {
    const fs::path Ours = dir.path() / "build-tree-cache", Peers = dir.path() / "user-cache";
    ScopedEnv OursEnv("VPL_RENDER_CACHE", Ours.string());
    ScopedEnv PeersEnv("VPL_PEER_CACHE", Peers.string());
    FakePeers fake;
    {
        TRenderCache cache;
        cache.SetToolRunner(fake.Runner());
        ASSERT_TRUE(cache.Peer(TRenderPeer::Pdftoppm, pdf, 1, 72).Ok());
    }
    int InPeers = 0;
    for (const auto& e : fs::recursive_directory_iterator(Peers))
        if (e.path().extension() == ".png") {
            ++InPeers;
            EXPECT_EQ(e.path().parent_path().filename().string().rfind("pdftoppm-", 0), 0u)
                << e.path();
        }
    EXPECT_EQ(InPeers, 1);
    if (fs::exists(Ours))
        for (const auto& e : fs::recursive_directory_iterator(Ours))
            EXPECT_NE(e.path().extension(), ".png") << e.path();

    // A clean clone: a new build-tree cache, the same user cache.
    fs::remove_all(Ours);
    TRenderCache fresh;
    fresh.SetToolRunner(fake.Runner());
    EXPECT_TRUE(fresh.Peer(TRenderPeer::Pdftoppm, pdf, 1, 72).fromCache);
    EXPECT_EQ(fake.runs, 1);
}

TEST_F(RenderCacheTest, PeerFailureIsKeptButATimeOutIsTriedAgain) {
    FakePeers fake;
    fake.writeImage = false;
    fake.exitCode = 1;
    TRenderCache cache(cacheDir(), "b");
    cache.SetToolRunner(fake.Runner());
    TRenderResult r = cache.Peer(TRenderPeer::Mutool, pdf, 1, 72);
    EXPECT_EQ(r.status, TRenderStatus::Failed);
    EXPECT_NE(r.error.find("cannot open document"), std::string::npos) << r.error;
    r = cache.Peer(TRenderPeer::Mutool, pdf, 1, 72);
    EXPECT_EQ(r.status, TRenderStatus::Failed);
    EXPECT_TRUE(r.fromCache);
    EXPECT_NE(r.error.find("cannot open document"), std::string::npos);
    EXPECT_EQ(fake.runs, 1);

    fake.timeOut = true;
    EXPECT_EQ(cache.Peer(TRenderPeer::Pdftoppm, pdf, 1, 72).status, TRenderStatus::TimedOut);
    fake.timeOut = false;
    fake.writeImage = true;
    r = cache.Peer(TRenderPeer::Pdftoppm, pdf, 1, 72);
    EXPECT_TRUE(r.Ok());
    EXPECT_FALSE(r.fromCache);
    EXPECT_EQ(fake.runs, 3);
}

TEST_F(RenderCacheTest, MutoolDrawingAnotherPageIsAFailure) {
    // mutool draws the last page when asked for one beyond it.
    FakePeers fake;
    TRenderCache cache(cacheDir(), "b");
    auto inner = fake.Runner();
    cache.SetToolRunner([&](const std::vector<std::string>& argv, double t) {
        CommandResult r = inner(argv, t);
        r.err = "warning: something\npage " + pdf.string() + " 1\n";
        return r;
    });
    EXPECT_TRUE(cache.Peer(TRenderPeer::Mutool, pdf, 1, 72).Ok());
    TRenderResult r = cache.Peer(TRenderPeer::Mutool, pdf, 11, 72);
    EXPECT_EQ(r.status, TRenderStatus::Failed);
    EXPECT_TRUE(cache.Peer(TRenderPeer::Mutool, pdf, 11, 72).fromCache);
    EXPECT_EQ(fake.runs, 2);
}

// One run per peer and file fills the cache; a page that run did not draw
// (no image, or mutool did not name it) is left to a run of its own.
TEST_F(RenderCacheTest, PrefetchDrawsAFilesPagesInOneRunAndLeavesTheRestToPeer) {
    const TRgbRaster image(8, 6, 0, 128, 255);
    std::atomic<int> runs{0};
    FakePeers single;
    auto singleRunner = single.Runner();
    auto runner = [&](const std::vector<std::string>& argv, double t) {
        const bool batch = argv[0] == "mutool" ? argv.back().find(',') != std::string::npos
                                               : std::find(argv.begin(), argv.end(),
                                                           "-singlefile") == argv.end();
        if (!batch) return singleRunner(argv, t);
        ++runs;
        CommandResult r;
        r.exitCode = 0;
        if (argv[0] == "mutool") {
            std::string pattern;
            for (size_t i = 0; i + 1 < argv.size(); ++i)
                if (argv[i] == "-o") pattern = argv[i + 1];
            const fs::path dir = fs::path(pattern).parent_path();
            // Pages 1, 2 and 4 drawn, page 4 not named on standard error.
            for (int page : {1, 2, 4})
                WritePngRaster(dir / ("p" + std::to_string(page) + ".png"), image);
            r.err = "page " + pdf.string() + " 1\npage " + pdf.string() + " 2\n";
        } else {
            // Zero-padded numbers; page 2 not drawn.
            for (const char* suffix : {"-01.png", "-04.png"})
                WritePngRaster(argv.back() + suffix, image);
        }
        return r;
    };
    TRenderCache cache(cacheDir(), "b");
    cache.SetToolRunner(runner);
    std::vector<TPageRef> pages = {{pdf, 1}, {pdf, 2}, {pdf, 4}};
    cache.PrefetchPeers(pages, 72, 2);
    EXPECT_EQ(runs, 2);
    for (int page : {1, 2}) EXPECT_TRUE(cache.Peer(TRenderPeer::Mutool, pdf, page, 72).fromCache);
    EXPECT_FALSE(cache.Peer(TRenderPeer::Mutool, pdf, 4, 72).fromCache);
    for (int page : {1, 4})
        EXPECT_TRUE(cache.Peer(TRenderPeer::Pdftoppm, pdf, page, 72).fromCache);
    EXPECT_FALSE(cache.Peer(TRenderPeer::Pdftoppm, pdf, 2, 72).fromCache);
    EXPECT_EQ(single.runs, 2);
    // Nothing is drawn again, and no temporary files are left behind.
    cache.PrefetchPeers(pages, 72, 2);
    EXPECT_EQ(runs, 2);
    for (const auto& e : fs::recursive_directory_iterator(cacheDir()))
        EXPECT_EQ(e.path().string().find(".tmp-"), std::string::npos) << e.path();
}

TEST_F(RenderCacheTest, ConcurrentRequestsForOnePageRunThePeerOnce) {
    FakePeers fake;
    fake.delay = 0.2;
    std::atomic<int> ok{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i) {
        threads.emplace_back([&] {
            TRenderCache cache(cacheDir(), "b");
            cache.SetToolRunner(fake.Runner());
            if (cache.Peer(TRenderPeer::Mutool, pdf, 1, 72).Ok()) ++ok;
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(ok, 3);
    EXPECT_EQ(fake.runs, 1);
}

TEST_F(RenderCacheTest, OursIsRenderedOncePerEngineBuild) {
    int renders = 0;
    TPageRenderFn render = [&](const fs::path&, int page, int dpi, TRgbRaster& out, std::string&) {
        ++renders;
        out = TRgbRaster(page, dpi, 1, 2, 3);
        return true;
    };
    {
        TRenderCache cache(cacheDir(), "build-1");
        cache.SetOursTimeout(0);  // in this process, so the count is seen
        TRenderResult r = cache.Ours(pdf, 4, 9, render);
        ASSERT_TRUE(r.Ok()) << r.error;
        EXPECT_EQ(r.raster.width, 4);
        EXPECT_EQ(r.raster.height, 9);
        EXPECT_TRUE(cache.Ours(pdf, 4, 9, render).fromCache);
        EXPECT_EQ(renders, 1);
    }
    TRenderCache same(cacheDir(), "build-1");
    same.SetOursTimeout(0);
    EXPECT_TRUE(same.Ours(pdf, 4, 9, render).fromCache);
    EXPECT_EQ(renders, 1);

    // A rebuilt engine renders again; the old build's rasters go.
    TRenderCache rebuilt(cacheDir(), "build-2");
    rebuilt.SetOursTimeout(0);
    EXPECT_FALSE(rebuilt.Ours(pdf, 4, 9, render).fromCache);
    EXPECT_EQ(renders, 2);
    EXPECT_FALSE(fs::exists(cacheDir() / "ours-build-1"));
    EXPECT_TRUE(fs::exists(cacheDir() / "ours-build-2"));
}

TEST_F(RenderCacheTest, OursIsolatedReportsFailuresCrashesAndHangsPerPage) {
    TRenderCache cache(cacheDir(), "iso");
    cache.SetOursTimeout(2);
    TPageRenderFn good = [](const fs::path&, int, int, TRgbRaster& out, std::string&) {
        out = TRgbRaster(3, 3, 9, 9, 9);
        return true;
    };
    TPageRenderFn refuses = [](const fs::path&, int, int, TRgbRaster&, std::string& error) {
        error = "page tree damaged";
        return false;
    };
    TPageRenderFn crashes = [](const fs::path&, int, int, TRgbRaster&, std::string&) -> bool {
        std::abort();
    };
    TPageRenderFn hangs = [](const fs::path&, int, int, TRgbRaster&, std::string&) -> bool {
        for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
    };

    TRenderResult r = cache.Ours(pdf, 1, 72, good);
    ASSERT_TRUE(r.Ok()) << r.error;
    EXPECT_EQ(r.raster.rgb, TRgbRaster(3, 3, 9, 9, 9).rgb);

    r = cache.Ours(pdf, 2, 72, refuses);
    EXPECT_EQ(r.status, TRenderStatus::Failed);
    EXPECT_EQ(r.error, "page tree damaged");

    r = cache.Ours(pdf, 3, 72, crashes);
    EXPECT_EQ(r.status, TRenderStatus::Crashed);
    r = cache.Ours(pdf, 4, 72, hangs);
    EXPECT_EQ(r.status, TRenderStatus::TimedOut);

    // Within one build each outcome stands: nothing renders again.
    for (int page = 1; page <= 4; ++page) {
        r = cache.Ours(pdf, page, 72, hangs);
        EXPECT_TRUE(r.fromCache) << page;
    }
    EXPECT_EQ(cache.Ours(pdf, 2, 72, hangs).error, "page tree damaged");
    EXPECT_EQ(cache.Ours(pdf, 3, 72, hangs).status, TRenderStatus::Crashed);
    EXPECT_FALSE(cache.Ours(pdf, 5, 72, TPageRenderFn()).Ok());
}

TEST_F(RenderCacheTest, ReferenceRateAndAgreementWithPeers) {
    // Page 1: both peers draw the same; page 2: pdftoppm draws black;
    // page 3: mutool fails, so the page is not compared.
    auto runner = [](const std::vector<std::string>& argv, double) {
        CommandResult r;
        r.exitCode = 0;
        const bool mutool = argv[0] == "mutool";
        const std::string page = mutool ? argv.back() : argv[5];
        if (mutool && page == "3") {
            r.exitCode = 1;
            return r;
        }
        const fs::path out = mutool ? fs::path(argv[7]) : fs::path(argv.back() + ".png");
        const bool black = !mutool && page == "2";
        WritePngRaster(out, black ? TRgbRaster(10, 10, 0, 0, 0) : TRgbRaster(10, 10));
        return r;
    };
    TRenderCache cache(cacheDir(), "b");
    cache.SetToolRunner(runner);
    const std::vector<TPageRef> pages = {{pdf, 1}, {pdf, 2}, {pdf, 3}};
    const TReferenceRate rate = ReferenceRate(cache, pages, 72);
    EXPECT_EQ(rate.pages, 3);
    EXPECT_EQ(rate.compared, 2);
    EXPECT_EQ(rate.similar, 1);
    EXPECT_DOUBLE_EQ(rate.Rate(), 0.5);

    // Ours white on page 2 agrees with mutool alone; black with pdftoppm.
    const TRenderResult m = cache.Peer(TRenderPeer::Mutool, pdf, 2, 72);
    const TRenderResult p = cache.Peer(TRenderPeer::Pdftoppm, pdf, 2, 72);
    TPeerVerdict v = JudgeAgainstPeers(TRgbRaster(10, 10), m, p);
    EXPECT_TRUE(v.agrees);
    EXPECT_TRUE(v.vsMutool.similar);
    EXPECT_FALSE(v.vsPdftoppm.similar);
    EXPECT_TRUE(JudgeAgainstPeers(TRgbRaster(10, 10, 0, 0, 0), m, p).agrees);
    EXPECT_FALSE(JudgeAgainstPeers(TRgbRaster(10, 10, 128, 0, 0), m, p).agrees);
    // A missing peer render never counts as agreement.
    const TRenderResult none = cache.Peer(TRenderPeer::Mutool, pdf, 3, 72);
    v = JudgeAgainstPeers(TRgbRaster(10, 10), none, TRenderResult());
    EXPECT_FALSE(v.agrees);
    EXPECT_FALSE(v.haveMutool);
}

}  // namespace

namespace {

// Draws a white bitmap as wide as the page object's number and as tall as
// the DPI, so the test sees which page and resolution reached the renderer.
class TSizeRenderer : public velmo::TPDFRendererBase {
public:
    using TPDFRendererBase::TPDFRendererBase;
    void Render() override {
        FBitmap.SetSize(FPageDict->IndObjNum(), int(FDPI));
        for (int y = 0; y < FBitmap.Height(); ++y)
            for (int x = 0; x < FBitmap.Width(); ++x) FBitmap.SetPixel(x, y, 0x00FFFFFF);
        FBitmap.SetPixel(0, 0, 0x000000FF);
        if (FDestination != velmo::rdBitmap)
            FErrorDesc = "wrong destination";
        else if (FDPI > 100)
            FErrorDesc = "drawn with a warning";
    }
};

TEST(RenderPageRaster, RendersThePageAskedThroughTheInstalledRenderer) {
    TempDir dir;
    WriteFile(dir / "two.pdf", MinimalPdf({"0 0 1 rg 0 0 9 9 re f", "q Q"}, 200, 100));
    TRgbRaster raster;
    std::string error;

    // Without the renderer library the base renderer draws nothing.
    auto& factory = velmo::PageServiceFactories().NewRenderer;
    const auto saved = factory;
    factory = nullptr;
    EXPECT_FALSE(RenderPageToRaster(dir / "two.pdf", 1, 72, raster, error));
    EXPECT_EQ(error, "No renderer installed");
    EXPECT_TRUE(raster.Empty());

    factory = [](velmo::TPDFFontCollectionBase* fonts) {
        return std::make_unique<TSizeRenderer>(fonts);
    };
    // Pages are objects 3 and 5 of the file.
    ASSERT_TRUE(RenderPageToRaster(dir / "two.pdf", 2, 72, raster, error)) << error;
    EXPECT_EQ(error, "");
    EXPECT_EQ(raster.width, 5);
    EXPECT_EQ(raster.height, 72);
    EXPECT_EQ(raster.Pixel(0, 0)[0], 255);  // $000000FF is red
    EXPECT_EQ(raster.Pixel(0, 0)[2], 0);
    ASSERT_TRUE(RenderPageToRaster(dir / "two.pdf", 1, 150, raster, error));
    EXPECT_EQ(raster.width, 3);
    EXPECT_EQ(error, "drawn with a warning");  // a raster with the renderer's text

    for (int page : {0, 3}) {
        EXPECT_FALSE(RenderPageToRaster(dir / "two.pdf", page, 72, raster, error));
        EXPECT_EQ(error, "no page " + std::to_string(page));
    }
    EXPECT_FALSE(RenderPageToRaster(dir / "missing.pdf", 1, 72, raster, error));
    EXPECT_FALSE(error.empty());
    WriteFile(dir / "junk.pdf", "not a pdf at all");
    EXPECT_FALSE(RenderPageToRaster(dir / "junk.pdf", 1, 72, raster, error));
    EXPECT_FALSE(error.empty());
    factory = saved;
}

}  // namespace
