// Pages 1-3 of every corpus file rendered at 72 DPI through the page tree's
// file entry point, each file in a child with a time limit: no crash, hang or
// sanitizer report. Our rasters go into the shared render cache, where the
// page-selecting render tests find them. The vector pages (no text, images,
// XObjects, shadings, extended states, patterns or annotations) are judged
// against the peers' renders.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "document/Document.h"
#include "document/PageTree.h"
#include "render/ContentRun.h"
#include "render/Renderer.h"
#include "tests/support/PageKinds.h"
#include "tests/support/RenderSupport.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

constexpr int kDPI = 72;
constexpr int kPagesPerFile = vpltest::kPageKindPages;
constexpr double kFileTimeout = 60;
// Files whose render pass takes longer are listed.
constexpr double kSlowFile = 5;

std::string Rel(const fs::path& File) { return fs::relative(File, vpltest::CorpusDir()).string(); }

std::string OneLine(std::string S, size_t Max = 300) {
    for (char& c : S)
        if (c == '\r' || c == '\n') c = ' ';
    return S.size() <= Max ? S : S.substr(0, Max) + "...";
}

// A note of this engine build per file: what a pass over the file found, so
// a later test or a rerun of the same build does not load it again. Notes
// of other builds are removed once per process. Empty path when the file
// cannot be read.
fs::path NotePath(vpltest::TRenderCache& Cache, const fs::path& File, const std::string& Kind) {
    const std::string digest = Cache.FileDigest(File);
    if (digest.empty()) return {};
    const std::string mine = "notes-" + Cache.BuildId();
    static bool pruned = false;
    std::error_code ec;
    if (!pruned) {
        pruned = true;
        for (auto it = fs::directory_iterator(Cache.Dir(), ec);
             !ec && it != fs::directory_iterator(); it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (name.rfind("notes-", 0) == 0 && name != mine) {
                std::error_code rm;
                fs::remove_all(it->path(), rm);
            }
        }
    }
    const fs::path dir = Cache.Dir() / mine;
    fs::create_directories(dir, ec);
    return dir / (digest + "-" + Kind + ".txt");
}

bool ReadNote(const fs::path& Note, std::string& Text) {
    std::error_code ec;
    if (Note.empty() || !fs::is_regular_file(Note, ec)) return false;
    Text = vpltest::ReadFile(Note);
    return true;
}

void WriteNote(const fs::path& Note, const std::string& Text) {
    if (Note.empty()) return;
    const fs::path tmp = Note.string() + ".tmp-" + std::to_string(::getpid());
    vpltest::WriteFile(tmp, Text);
    std::error_code ec;
    fs::rename(tmp, Note, ec);
    if (ec) fs::remove(tmp, ec);
}

std::vector<std::string> Lines(const std::string& Text) {
    std::vector<std::string> out;
    std::istringstream in(Text);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty()) out.push_back(line);
    return out;
}

// The selection pass over one file alone, run in a child.
int SelectPageKinds(const fs::path& File, std::string& Report) {
    velmo::TPDFDocument doc;
    if (doc.LoadFromFile(File.u16string(), u"") == velmo::lrOkay) Report = vpltest::PageKindsOf(doc);
    return 0;
}

// The render pass over one file, run in the child: one load, pages 1-3
// drawn into the cache. Report lines: "load <reason>" when the file does not
// load, "page <n> ok", "page <n> error <text>" (drawn with an error text) or
// "page <n> failed <reason>". The vector pages found on the way go into
// VectorNote for the peer comparison.
int RenderFilePages(vpltest::TRenderCache& Cache, const fs::path& File, const fs::path& VectorNote,
                    std::string& Report) {
    velmo::TPDFDocument doc;
    const velmo::TVPLLoadResult loaded = doc.LoadFromFile(File.u16string(), u"");
    WriteNote(VectorNote, loaded == velmo::lrOkay ? vpltest::PageKindsOf(doc) : std::string());
    if (loaded != velmo::lrOkay) {
        Report = std::string("load ") +
                 (loaded == velmo::lrWrongPassword ? "needs a password" : "does not load") + "\n";
        return 0;
    }
    const int pages = std::min(doc.PageCount(), kPagesPerFile);
    if (pages < 1) Report += "load no pages\n";
    for (int page = 1; page <= pages; ++page) {
        std::string renderError;
        bool rendered = false;
        const vpltest::TRenderResult r = Cache.Ours(
            File, page, kDPI,
            [&](const fs::path&, int Page, int DPI, vpltest::TRgbRaster& Out, std::string& Error) {
                rendered = true;
                const bool ok = vpltest::RenderLoadedPageToPng(doc, Page, DPI, Out, Error);
                renderError = Error;
                return ok;
            });
        Report += "page " + std::to_string(page);
        if (!r.Ok())
            Report += " failed " + OneLine(r.error) + "\n";
        else if (rendered && !renderError.empty())
            Report += " error " + OneLine(renderError) + "\n";
        else
            Report += " ok\n";
    }
    return 0;
}

// The render pass of a file as any render test runs it, in a batch child:
// the first test to reach a file renders it and leaves its notes, the others
// read them. A file another process is rendering is not waited for unless
// Wait is set: the report is then "busy" and the caller comes back to it.
// Report: the pass's lines (see RenderFilePages), then "took <seconds>" when
// this call rendered the file, or "noted" when the notes were there.
int SharedRenderPass(vpltest::TRenderCache& Cache, const fs::path& File, bool Wait,
                     std::string& Report) {
    Cache.SetOursTimeout(0);  // the whole file runs in this child
    const fs::path note = NotePath(Cache, File, "pages-r72");
    const fs::path vectorNote = NotePath(Cache, File, "page-kinds");
    if (note.empty()) {
        Report = "load does not load\n";
        return 0;
    }
    const int fd = ::open((note.string() + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
    if (fd >= 0)
        while (::flock(fd, Wait ? LOCK_EX : LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            Report = "busy";
            return 0;
        }
    std::string kinds;
    if (ReadNote(note, Report) && ReadNote(vectorNote, kinds)) {
        Report += "noted\n";
    } else {
        const auto start = std::chrono::steady_clock::now();
        Report.clear();
        RenderFilePages(Cache, File, vectorNote, Report);
        WriteNote(note, Report);
        Report +=
            "took " +
            std::to_string(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()) +
            "\n";
    }
    if (fd >= 0) ::close(fd);
    return 0;
}

// SharedRenderPass over Files in batch children: files busy in another
// process are taken last, when that process has most likely noted them.
std::vector<vpltest::ChildResult> SharedRenderPasses(vpltest::TRenderCache& Cache,
                                                     const std::vector<fs::path>& Files) {
    std::vector<vpltest::ChildResult> results = vpltest::RunIsolatedBatch(
        Files.size(),
        [&](size_t i, std::string& rep) { return SharedRenderPass(Cache, Files[i], false, rep); },
        kFileTimeout);
    std::vector<size_t> busy;
    for (size_t i = 0; i < Files.size(); ++i)
        if (results[i].outcome == vpltest::ChildOutcome::Ok && results[i].report == "busy")
            busy.push_back(i);
    const std::vector<vpltest::ChildResult> later = vpltest::RunIsolatedBatch(
        busy.size(),
        [&](size_t i, std::string& rep) {
            return SharedRenderPass(Cache, Files[busy[i]], true, rep);
        },
        // The wait for the other process counts against the limit as well.
        2 * kFileTimeout);
    for (size_t i = 0; i < busy.size(); ++i) results[busy[i]] = later[i];
    return results;
}

}  // namespace

TEST(corpus, render_pages) {
    VPL_REQUIRE_CORPUS();
    vpltest::InstallPageRenderServices();
    const auto files = vpltest::CorpusPdfs();
    ASSERT_FALSE(files.empty());
    vpltest::TRenderCache cache;
    cache.SetOursTimeout(0);  // the whole file runs in one child
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> unloadable, pageErrors, failures, slow;
    int pagesDone = 0, filesFromNotes = 0;
    // Files an earlier pass of this build noted are read from the notes; the
    // others go through the shared render pass.
    std::vector<fs::path> toRender;
    std::vector<std::string> reports(files.size());
    std::vector<bool> haveReport(files.size(), false);
    for (size_t i = 0; i < files.size(); ++i)
        if (ReadNote(NotePath(cache, files[i], "pages-r72"), reports[i])) {
            haveReport[i] = true;
            ++filesFromNotes;
        } else {
            toRender.push_back(files[i]);
        }
    const std::vector<vpltest::ChildResult> passes = SharedRenderPasses(cache, toRender);
    for (size_t i = 0, k = 0; i < files.size(); ++i) {
        const fs::path& file = files[i];
        const std::string rel = Rel(file);
        std::string report = reports[i];
        if (!haveReport[i]) {
            const vpltest::ChildResult& child = passes[k++];
            if (child.outcome == vpltest::ChildOutcome::Crashed ||
                child.outcome == vpltest::ChildOutcome::TimedOut) {
                failures.push_back(
                    rel + ": " +
                    (child.outcome == vpltest::ChildOutcome::Crashed
                         ? "crashed (exit " + std::to_string(child.exitCode) + ")"
                         : "timed out after 60 s") +
                    (child.report.empty() ? "" : "\n" + child.report.substr(0, 2000)));
                continue;
            }
            if (child.outcome != vpltest::ChildOutcome::Ok) {
                failures.push_back(rel + ": render pass failed: " + OneLine(child.report));
                continue;
            }
            report = child.report;
            for (const std::string& line : Lines(report)) {
                if (line == "noted") ++filesFromNotes;
                if (line.rfind("took ", 0) == 0 && std::atof(line.c_str() + 5) >= kSlowFile)
                    slow.push_back(rel + ": " + std::to_string(int(std::atof(line.c_str() + 5))) +
                                   " s");
            }
        }
        for (const std::string& line : Lines(report)) {
            if (line.rfind("load ", 0) == 0) {
                unloadable.push_back(rel + ": " + line.substr(5));
            } else if (line.rfind("page ", 0) == 0) {
                ++pagesDone;
                if (line.find(" ok") == std::string::npos) pageErrors.push_back(rel + " " + line);
            }
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << files.size() << " files, " << pagesDone << " pages rendered at " << kDPI
              << " DPI (" << filesFromNotes << " files known from an earlier pass of this build), "
              << unloadable.size() << " files not loaded, " << pageErrors.size()
              << " pages with an error, " << failures.size() << " files crashed or hung; "
              << int(seconds) << " s\n";
    for (const auto& s : slow) std::cout << "slow: " << s << "\n";
    for (const auto& s : unloadable) std::cout << "not loaded: " << s << "\n";
    for (const auto& s : pageErrors) std::cout << "page error: " << s << "\n";
    for (const auto& f : failures) ADD_FAILURE() << f;
}

namespace {

// Pages 1-3 of every corpus file whose kind (PageKindsOf) is Kind, drawn
// at 72 DPI and judged against both peers: fails when our agreement rate is
// more than Slack points below the rate at which pdftoppm agrees with mutool
// on the same pages.
void JudgePagesOfKind(const std::string& Kind, double Slack,
                      const std::vector<std::string>& Apart = {}) {
    vpltest::InstallPageRenderServices();
    const auto files = vpltest::CorpusPdfs();
    ASSERT_FALSE(files.empty());
    vpltest::TRenderCache cache;
    // A peer draws such a page in well under a second; a peer that hangs
    // (pdftoppm on one corpus page does) is not kept in the cache, so every
    // run waits this long for it.
    cache.SetPeerTimeout(30);
    const auto start = std::chrono::steady_clock::now();

    std::vector<vpltest::TPageRef> pages;
    // Pages also listed under one of the Apart kinds, by kind.
    std::map<std::string, std::set<std::pair<std::string, int>>> apart;
    std::vector<std::string> failures;
    // The page kinds come from the shared render pass, which also draws our
    // pages once for every render test; a file whose pass crashed or hung
    // (render_pages reports that) is only sorted, alone in a child.
    std::vector<std::string> kinds(files.size());
    std::vector<fs::path> unsorted;
    for (size_t i = 0; i < files.size(); ++i)
        if (!ReadNote(NotePath(cache, files[i], "page-kinds"), kinds[i]))
            unsorted.push_back(files[i]);
    const std::vector<vpltest::ChildResult> passes = SharedRenderPasses(cache, unsorted);
    for (size_t i = 0, k = 0; i < files.size(); ++i) {
        const fs::path& file = files[i];
        const fs::path note = NotePath(cache, file, "page-kinds");
        std::string report = kinds[i];
        if (k < unsorted.size() && unsorted[k] == file) {
            const bool passed = passes[k++].outcome == vpltest::ChildOutcome::Ok;
            if (!passed || !ReadNote(note, report)) {
                const vpltest::ChildResult child = vpltest::RunIsolated(
                    [&](std::string& rep) { return SelectPageKinds(file, rep); }, kFileTimeout);
                if (child.outcome != vpltest::ChildOutcome::Ok) {
                    failures.push_back(Rel(file) + ": page selection " +
                                       (child.outcome == vpltest::ChildOutcome::TimedOut
                                            ? std::string("timed out")
                                            : "ended with exit " + std::to_string(child.exitCode)) +
                                       ": " + OneLine(child.report));
                    continue;
                }
                report = child.report;
                WriteNote(note, report);
            }
        }
        for (const int page : vpltest::PagesOfKind(report, Kind)) pages.push_back({file, page});
        for (const std::string& a : Apart)
            for (const int page : vpltest::PagesOfKind(report, a))
                apart[a].insert({file.string(), page});
    }
    std::map<std::string, std::pair<int, int>> apartCounts;  // kind: judged, agreeing

    // The reference is taken from the same peer renders (as
    // vpltest::ReferenceRate), so a peer that times out is waited for once.
    cache.PrefetchPeers(pages, kDPI, 4);
    vpltest::TReferenceRate ref;
    int judged = 0, agreeing = 0, oursFailed = 0;
    std::vector<std::string> peerTimeouts;
    std::vector<std::string> disagreements;
    for (const vpltest::TPageRef& p : pages) {
        const vpltest::TRenderResult mutool =
            cache.Peer(vpltest::TRenderPeer::Mutool, p.file, p.page, kDPI);
        const vpltest::TRenderResult pdftoppm =
            cache.Peer(vpltest::TRenderPeer::Pdftoppm, p.file, p.page, kDPI);
        ++ref.pages;
        if (mutool.Ok() && pdftoppm.Ok()) {
            ++ref.compared;
            if (vpltest::CompareRenders(pdftoppm.raster, mutool.raster).similar) ++ref.similar;
        }
        for (const vpltest::TRenderResult* r : {&mutool, &pdftoppm})
            if (r->status == vpltest::TRenderStatus::TimedOut)
                peerTimeouts.push_back(Rel(p.file) + " page " + std::to_string(p.page) + ": " +
                                       r->error);
        if (!mutool.Ok() && !pdftoppm.Ok()) continue;  // no peer drew it: nothing to judge by
        ++judged;
        const vpltest::TRenderResult ours =
            cache.Ours(p.file, p.page, kDPI, vpltest::RenderFilePageToPng);
        const std::string where = Rel(p.file) + " page " + std::to_string(p.page);
        if (ours.status == vpltest::TRenderStatus::Crashed ||
            ours.status == vpltest::TRenderStatus::TimedOut)
            failures.push_back(where + ": " + ours.error);
        if (!ours.Ok()) {
            ++oursFailed;
            disagreements.push_back(where + ": our render failed: " + OneLine(ours.error));
            continue;
        }
        const vpltest::TPeerVerdict v = vpltest::JudgeAgainstPeers(ours.raster, mutool, pdftoppm);
        for (const std::string& a : Apart)
            if (apart[a].count({p.file.string(), p.page})) {
                ++apartCounts[a].first;
                if (v.agrees) ++apartCounts[a].second;
            }
        if (v.agrees) {
            ++agreeing;
            continue;
        }
        std::string line = where + ":";
        if (v.haveMutool) line += " mutool " + vpltest::DescribeComparison(v.vsMutool);
        if (v.havePdftoppm) line += "; pdftoppm " + vpltest::DescribeComparison(v.vsPdftoppm);
        disagreements.push_back(line);
    }
    const double ourRate = judged ? double(agreeing) / judged : 0.0;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf(
        "%zu %s pages selected, %d judged (a peer drew them), %d agree (%.1f %%), %d "
        "not rendered by us; reference: pdftoppm similar to mutool on %d of %d (%.1f %%); "
        "%d s\n",
        pages.size(), Kind.c_str(), judged, agreeing, ourRate * 100, oursFailed, ref.similar, ref.compared,
        ref.Rate() * 100, int(seconds));
    for (const std::string& a : Apart)
        std::printf("of these, %s pages: %d judged, %d agree\n", a.c_str(), apartCounts[a].first,
                    apartCounts[a].second);
    for (const auto& t : peerTimeouts) std::printf("peer timed out: %s\n", t.c_str());
    for (const auto& d : disagreements) std::printf("differs: %s\n", d.c_str());
    std::fflush(stdout);
    for (const auto& f : failures) ADD_FAILURE() << f;
    EXPECT_GE(ourRate * 100, ref.Rate() * 100 - Slack)
        << "our agreement rate is more than " << Slack << " points below the reference rate";
}

}  // namespace

TEST(corpus, render_vector_peers) {
    VPL_REQUIRE_CORPUS();
    VPL_REQUIRE_TOOL("mutool");
    VPL_REQUIRE_TOOL("pdftoppm");
    JudgePagesOfKind("vector", 5);
}

// Pages whose resources (or the forms they draw) use shadings, patterns or
// a soft-mask dictionary, or that have annotations with appearances; the
// soft-mask and annotation pages are also counted apart.
TEST(corpus, render_feature_peers) {
    VPL_REQUIRE_CORPUS();
    VPL_REQUIRE_TOOL("mutool");
    VPL_REQUIRE_TOOL("pdftoppm");
    JudgePagesOfKind("feature", 5, {"smask", "annots"});
}

// Pages whose content shows text and holds no images, shadings, extended
// states or patterns (and that have no annotations).
TEST(corpus, text_render) {
    VPL_REQUIRE_CORPUS();
    VPL_REQUIRE_TOOL("mutool");
    VPL_REQUIRE_TOOL("pdftoppm");
    JudgePagesOfKind("text", 5);
}
