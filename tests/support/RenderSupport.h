// Render helpers shared by the tests that compare page renders: a plain
// 24-bit RGB raster, the one rule that says when two renders of a page are
// similar, and the render cache that keeps our page rasters and the peers'
// renders (mutool, pdftoppm) in the build tree so that every test process
// reuses them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace velmo {
class TBitmap;
class TPDFDocument;
}  // namespace velmo

namespace vpltest {

// A raster of width × height pixels, rows top first, R, G, B bytes per pixel
// and no row padding.
struct TRgbRaster {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;

    TRgbRaster() = default;
    // A raster of that size filled with one colour.
    TRgbRaster(int Width, int Height, uint8_t R = 255, uint8_t G = 255, uint8_t B = 255);

    bool Empty() const { return width <= 0 || height <= 0; }
    uint8_t* Pixel(int X, int Y) {
        return rgb.data() + (size_t(Y) * size_t(width) + size_t(X)) * 3;
    }
    const uint8_t* Pixel(int X, int Y) const {
        return rgb.data() + (size_t(Y) * size_t(width) + size_t(X)) * 3;
    }
    void SetPixel(int X, int Y, uint8_t R, uint8_t G, uint8_t B);
};

// The pixels of a bitmap of any format; straight alpha of a 32-bit bitmap is
// laid over white only when AlphaOverWhite is set (a 32-bit render target
// keeps an undefined fourth byte).
TRgbRaster RasterFromBitmap(const velmo::TBitmap& Bitmap, bool AlphaOverWhite = false);

// Reads a PNG file through the engine's reader (alpha laid over white).
// False with a reason when the file is missing or not a readable 8-bit PNG.
bool ReadPngRaster(const std::filesystem::path& File, TRgbRaster& Out,
                   std::string* Error = nullptr);
// Writes the raster as a 24-bit PNG; the file appears whole or not at all.
bool WritePngRaster(const std::filesystem::path& File, const TRgbRaster& Raster,
                    std::string* Error = nullptr);

// Limits of the render comparison: the sizes may differ by one pixel; over
// the common area the mean absolute R, G, B difference may be at most 6 of
// 255 and at most 4 % of the pixels may differ by more than 96 in some
// channel.
inline constexpr int kRenderMaxSizeDifference = 1;
inline constexpr int kRenderMaxMeanDifference = 6;
inline constexpr int kRenderFarChannelDifference = 96;
inline constexpr int kRenderMaxFarPercent = 4;

struct TRenderComparison {
    bool similar = false;
    int widthDifference = 0;  // |width A - width B|
    int heightDifference = 0;
    double meanDifference = 0;  // mean absolute channel difference, 0 .. 255
    double farShare = 0;        // share of far pixels, 0 .. 1
};

// Compares two renders of the same page. Two empty rasters are not similar:
// a render that produced nothing never agrees.
TRenderComparison CompareRenders(const TRgbRaster& A, const TRgbRaster& B);
// "similar" or "differs", with the sizes and both figures, for test output.
std::string DescribeComparison(const TRenderComparison& C);

enum class TRenderPeer { Mutool, Pdftoppm };
const char* PeerName(TRenderPeer Peer);

enum class TRenderStatus {
    Ok,        // raster holds the render
    Failed,    // the renderer reported a failure or wrote no readable image
    Crashed,   // our renderer crashed or a sanitizer reported (isolated runs)
    TimedOut,  // the renderer ran out of time
};

struct TRenderResult {
    TRenderStatus status = TRenderStatus::Failed;
    TRgbRaster raster;
    std::string error;       // reason when not Ok
    bool fromCache = false;  // taken from the cache without rendering
    bool Ok() const { return status == TRenderStatus::Ok; }
};

// Runs a command: argv and a time-out in seconds, as RunCommand.
using TToolRunner = std::function<CommandResult(const std::vector<std::string>&, double)>;
// Renders a page (1-based) of a file at a resolution into Out; false with a
// reason in Error when the engine reports a failure.
using TPageRenderFn = std::function<bool(const std::filesystem::path& File, int Page, int DPI,
                                         TRgbRaster& Out, std::string& Error)>;

// A small PDF file with one page per content stream (uncompressed), every
// page of the given MediaBox size in points and without resources.
std::string MinimalPdf(const std::vector<std::string>& PageContents, double Width = 595,
                       double Height = 842);

// A file of one page (uncompressed, with a cross-reference table): object 1
// the catalog (with CatalogKeys), 2 the page list, 3 the page (PageKeys
// besides /Type /Parent /Contents, Resources inside its /Resources
// dictionary), 4 its content; Objects become objects 5, 6, ...
std::string OnePagePdf(const std::string& PageKeys, const std::string& Resources,
                       const std::string& Content, const std::vector<std::string>& Objects = {},
                       const std::string& CatalogKeys = "");

// Our render of a page (1-based) as a 24-bit raster: the document is loaded
// (empty password), the page's renderer made by the installed factory draws
// it to a bitmap (rdBitmap) at DPI over the page tree's render fonts. A
// test installs the renderer library's services first; without them the
// render fails with the base renderer's text. True whenever a raster came
// out; Error then holds what the renderer reported (empty after a clean
// render). False with the reason when the file does not load, the page does
// not exist or nothing was drawn.
bool RenderPageToRaster(const std::filesystem::path& File, int Page, double DPI, TRgbRaster& Out,
                        std::string& Error);

// The page raster every render test compares: page Page (1-based) of Doc
// drawn through the page tree's file entry point (PNG) at DPI with the
// document's view state of optional content, read back as an RGB raster.
// True whenever a PNG came out; Error then holds the renderer's error text
// (empty after a clean render). False with the reason when no readable
// image was written. The corpus tests share the cached rasters of this one
// road, so a page is drawn once per engine build whichever test asks first.
bool RenderLoadedPageToPng(velmo::TPDFDocument& Doc, int Page, int DPI, TRgbRaster& Out,
                           std::string& Error);
// As above for a file: loaded with the empty password.
bool RenderFilePageToPng(const std::filesystem::path& File, int Page, int DPI, TRgbRaster& Out,
                         std::string& Error);

// Installs the services every cached raster is drawn with: the renderer
// library's and the image codecs' (without the latter image XObjects and
// inline images are not drawn). TRenderCache::Ours installs them before it
// renders, so a cached page is the same whichever test process drew it.
void InstallPageRenderServices();

// The identity of the engine build the rasters come from:
// $VPL_RENDER_BUILD_ID when set, else a digest of the names, sizes and
// modification times of the engine libraries the tests were linked against.
// A rebuilt engine gets a new identity, so its pages are rendered afresh.
std::string EngineBuildId();

struct TPageRef;

// Render cache in a folder shared by every test process. An entry is keyed
// by the SHA-256 of the file's bytes, the page and the resolution; our
// rasters also by the engine build (a folder per build), the peers' renders
// by the peer's version only, so a peer renders a page once ever. The
// default cache keeps the peers' renders in a folder of the user's cache
// that outlives build trees (a clean clone does not render them again); a
// cache made on an explicit folder keeps everything there. Entries are written to a
// temporary name and renamed into place, and a lock file per entry keeps
// concurrent processes from rendering the same page twice. Failures are
// kept too (a peer that refuses a file is not asked again); time-outs of a
// peer are not, as a loaded machine may cause them.
class TRenderCache {
public:
    // $VPL_RENDER_CACHE when set (the test environment points it into the
    // build tree), else a folder below the system temporary folder.
    static std::filesystem::path DefaultDir();

    // $VPL_PEER_CACHE when set, else velmo-tests/peer-renders in
    // $XDG_CACHE_HOME or ~/.cache, else DefaultDir().
    static std::filesystem::path DefaultPeerDir();

    // Our rasters in DefaultDir(), the peers' in DefaultPeerDir().
    TRenderCache();
    explicit TRenderCache(std::filesystem::path Dir, std::string BuildId = EngineBuildId());

    const std::filesystem::path& Dir() const { return FDir; }
    const std::string& BuildId() const { return FBuildId; }

    // The command runner used for the peers (RunCommand by default).
    void SetToolRunner(TToolRunner Runner) { FRunner = std::move(Runner); }
    void SetPeerTimeout(double Seconds) { FPeerTimeout = Seconds; }
    // Our renders run in a forked child with this time limit so that a crash
    // or hang is reported per page; 0 renders in this process.
    void SetOursTimeout(double Seconds) { FOursTimeout = Seconds; }

    // A peer's render of the page at DPI pixels per inch.
    TRenderResult Peer(TRenderPeer Which, const std::filesystem::path& File, int Page, int DPI);
    // Fills the cache with both peers' renders of the pages: each peer draws
    // the missing pages of a file in one run, files in up to Threads runs at
    // once. A page such a run did not draw cleanly is left to Peer, which
    // asks for it alone (and keeps its failure), so the results are those
    // of page-by-page runs.
    void PrefetchPeers(const std::vector<TPageRef>& Pages, int DPI, int Threads);
    // Our render of the page through Render (see TPageRenderFn).
    TRenderResult Ours(const std::filesystem::path& File, int Page, int DPI,
                       const TPageRenderFn& Render);

    // Hex SHA-256 of the file's bytes (kept per path, size and time for the
    // life of this object); empty when the file cannot be read.
    std::string FileDigest(const std::filesystem::path& File);

private:
    std::filesystem::path EntryPath(const std::string& Folder, const std::filesystem::path& File,
                                    int Page, int DPI);
    // The entry of a peer's render: in the shared peer folder under the
    // peer's name and version.
    std::filesystem::path PeerEntryPath(TRenderPeer Which, const std::filesystem::path& File,
                                        int Page, int DPI);
    void PruneOtherBuilds();

    std::filesystem::path FDir;
    std::filesystem::path FPeerDir;
    std::string FBuildId;
    TToolRunner FRunner;
    double FPeerTimeout = 120;
    double FOursTimeout = 60;
    bool FPruned = false;
    std::mutex FLock;
    std::map<std::string, std::string> FDigests;  // path|size|time -> digest
};

// A page of a file, as the page-selecting corpus tests list them.
struct TPageRef {
    std::filesystem::path file;
    int page = 1;
};

// How often pdftoppm's render is similar to mutool's over the same pages:
// the reference our agreement rate is measured against.
struct TReferenceRate {
    int pages = 0;     // pages asked for
    int compared = 0;  // pages both peers rendered
    int similar = 0;   // of those, pages whose renders are similar
    double Rate() const { return compared ? double(similar) / compared : 0.0; }
};
TReferenceRate ReferenceRate(TRenderCache& Cache, const std::vector<TPageRef>& Pages, int DPI);

// Our raster judged against both peers: it agrees when it is similar to at
// least one peer's render that exists.
struct TPeerVerdict {
    bool agrees = false;
    bool haveMutool = false;
    bool havePdftoppm = false;
    TRenderComparison vsMutool;
    TRenderComparison vsPdftoppm;
};
TPeerVerdict JudgeAgainstPeers(const TRgbRaster& Ours, const TRenderResult& Mutool,
                               const TRenderResult& Pdftoppm);

// Test assertion: page 1 of File rendered by us at Dpi agrees with the
// peers by the render rule (a page no peer draws fails). With
// $VPL_KEEP_RENDERS set, a page that does not agree is kept there as
// <Label>-<Dpi>-ours.png beside mutool's.
void ExpectPageAgreesWithPeers(TRenderCache& Cache, const std::filesystem::path& File, int Dpi,
                               const std::string& Label);

}  // namespace vpltest
