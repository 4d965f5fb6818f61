// Pages 1-3 of every corpus file rendered at 72 DPI through the page tree's
// file entry point, each file in a child with a time limit: no crash, hang or
// sanitizer report. Our rasters go into the shared render cache, where the
// page-selecting render tests find them. The vector pages (no text, images,
// XObjects, shadings, extended states, patterns or annotations) are judged
// against the peers' renders.
#include <gtest/gtest.h>
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
#include "tests/support/RenderSupport.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

constexpr int kDPI = 72;
constexpr int kPagesPerFile = 3;
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

// Operators that mark a page as more than paths, colours and text: inline
// and XObject images, shadings, extended states and patterns.
bool NonTextOperator(std::string_view T) {
    static const std::set<std::string_view> ops = {"BI", "Do", "sh", "gs", "scn", "SCN"};
    return ops.count(T) != 0;
}

bool TextOperator(std::string_view T) { return T == "Tj" || T == "TJ" || T == "'" || T == "\""; }

velmo::TPDFObject* Deref(velmo::TPDFObject* O) {
    auto* R = velmo::ObjAs<velmo::TPDFIndRef>(O);
    return R ? R->Obj() : O;
}

velmo::TPDFDictionary* DictOf(velmo::TPDFObject* O) {
    return velmo::ObjAs<velmo::TPDFDictionary>(Deref(O));
}

bool NonEmptyDict(velmo::TPDFDictionary* D, std::string_view Key) {
    auto* V = D ? DictOf(D->FindValueByKeyName(Key, false)) : nullptr;
    return V && V->GetCount() > 0;
}

// Whether resources (or those of the forms they name, to a depth) hold
// shadings or patterns, or an extended state with a soft-mask dictionary
// (SMask set).
bool DrawsFeatures(velmo::TPDFDictionary* Res, int Depth, std::set<const void*>& Seen,
                   bool& SMask) {
    if (!Res || Depth > 8 || !Seen.insert(Res).second) return false;
    bool found = NonEmptyDict(Res, "Shading") || NonEmptyDict(Res, "Pattern");
    if (velmo::TPDFDictionary* states = DictOf(Res->FindValueByKeyName("ExtGState", false)))
        for (int32_t i = 0; i < states->GetCount() && i < 1000; ++i)
            if (velmo::TPDFDictionary* gs = DictOf(states->GetEntry(i).Value))
                if (DictOf(gs->FindValueByKeyName("SMask", false))) found = SMask = true;
    if (velmo::TPDFDictionary* xobjects = DictOf(Res->FindValueByKeyName("XObject", false)))
        for (int32_t i = 0; i < xobjects->GetCount() && i < 1000; ++i) {
            auto* form = velmo::ObjAs<velmo::TPDFStream>(Deref(xobjects->GetEntry(i).Value));
            if (!form || !form->FDictionary) continue;
            velmo::TPDFDictionary* inner =
                DictOf(form->FDictionary->FindValueByKeyName("Resources", false));
            if (DrawsFeatures(inner, Depth + 1, Seen, SMask)) found = true;
        }
    return found;
}

// The page's resources, inherited through at most 32 parents.
velmo::TPDFDictionary* PageResources(velmo::TPDFDictionary* Page) {
    for (int i = 0; Page && i < 32; ++i) {
        if (velmo::TPDFDictionary* r = DictOf(Page->FindValueByKeyName("Resources", false)))
            return r;
        Page = DictOf(Page->FindValueByKeyName("Parent", false));
    }
    return nullptr;
}

// Annotations of the page with an appearance dictionary.
bool HasAppearances(velmo::TPDFDictionary* Page) {
    auto* list = velmo::ObjAs<velmo::TPDFArray>(Deref(Page->FindValueByKeyName("Annots", false)));
    if (!list) return false;
    for (int32_t i = 0; i < list->GetCount() && i < 10000; ++i)
        if (velmo::TPDFDictionary* a = DictOf(list->GetItem(i)))
            if (DictOf(a->FindValueByKeyName("AP", false))) return true;
    return false;
}

// The kinds of pages 1-3 of a loaded file: "feature <n>" for a page whose
// resources (or a form they draw) use shadings, patterns or an extended
// state with a soft-mask dictionary, or that has annotations with
// appearances, followed by "smask <n>" and "annots <n>" for those reasons;
// and for pages that have no annotations and whose content holds none of
// the operators above, "vector <n>" when it shows no text either, "text
// <n>" when it does. Files that stay encrypted in memory are left out, as
// their content bytes are not plain.
std::string PageKindsOf(velmo::TPDFDocument& doc) {
    std::string Report;
    if (doc.GetEncrypted() != velmo::peDecrypted) return Report;
    velmo::TPDFPageTree* tree = doc.PageTree();
    if (!tree) return Report;
    velmo::TPDFRenderer renderer(nullptr);
    const int pages = std::min(doc.PageCount(), kPagesPerFile);
    for (int page = 1; page <= pages; ++page) {
        velmo::TPDFDictionary* dict = tree->GetPage(page);
        if (!dict) continue;
        {
            std::set<const void*> seen;
            bool smask = false;
            const bool drawn = DrawsFeatures(PageResources(dict), 0, seen, smask);
            const bool annots = HasAppearances(dict);
            if (drawn || annots) Report += "feature " + std::to_string(page) + "\n";
            if (smask) Report += "smask " + std::to_string(page) + "\n";
            if (annots) Report += "annots " + std::to_string(page) + "\n";
        }
        // Annotations of any form but an empty array count as present.
        if (velmo::TPDFObject* a = dict->FindValueByKeyName("Annots", false)) {
            auto* list = velmo::ObjAs<velmo::TPDFArray>(Deref(a));
            if (!list || list->Count() > 0) continue;
        }
        std::string content;
        try {
            velmo::TPDFObject* c = Deref(dict->FindValueByKeyName("Contents", false));
            if (auto* s = velmo::ObjAs<velmo::TPDFStream>(c)) {
                content = s->GetDecodedStream();
            } else if (auto* a = velmo::ObjAs<velmo::TPDFArray>(c)) {
                for (velmo::TPDFObject* it : a->LiveItems())
                    if (auto* s = velmo::ObjAs<velmo::TPDFStream>(Deref(it))) {
                        content += s->GetDecodedStream();
                        content += ' ';
                    }
            }
        } catch (const std::exception&) {
            continue;  // content that does not decode is judged by no test
        }
        velmo::TPDFRenderer::TContentRun run(renderer);
        run.Text = content;
        bool plain = true, text = false;
        for (std::string_view t = run.NextToken(); !t.empty() && plain; t = run.NextToken()) {
            if (NonTextOperator(t)) plain = false;
            text = text || TextOperator(t);
        }
        if (plain) Report += (text ? "text " : "vector ") + std::to_string(page) + "\n";
    }
    return Report;
}

// The selection pass over one file alone, run in a child.
int SelectPageKinds(const fs::path& File, std::string& Report) {
    velmo::TPDFDocument doc;
    if (doc.LoadFromFile(File.u16string(), u"") == velmo::lrOkay) Report = PageKindsOf(doc);
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
    WriteNote(VectorNote, loaded == velmo::lrOkay ? PageKindsOf(doc) : std::string());
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
    for (const fs::path& file : files) {
        const std::string rel = Rel(file);
        const fs::path note = NotePath(cache, file, "pages-r72");
        const fs::path vectorNote = NotePath(cache, file, "page-kinds");
        std::string report;
        if (ReadNote(note, report)) {
            ++filesFromNotes;
        } else {
            const auto fileStart = std::chrono::steady_clock::now();
            const vpltest::ChildResult child = vpltest::RunIsolated(
                [&](std::string& rep) { return RenderFilePages(cache, file, vectorNote, rep); },
                kFileTimeout);
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
            const double took =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - fileStart).count();
            if (took >= kSlowFile) slow.push_back(rel + ": " + std::to_string(int(took)) + " s");
            report = child.report;
            WriteNote(note, report);
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
    for (const fs::path& file : files) {
        const fs::path note = NotePath(cache, file, "page-kinds");
        std::string report;
        if (!ReadNote(note, report)) {
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
        for (const std::string& line : Lines(report)) {
            if (line.rfind(Kind + " ", 0) == 0)
                pages.push_back({file, std::atoi(line.c_str() + Kind.size() + 1)});
            for (const std::string& a : Apart)
                if (line.rfind(a + " ", 0) == 0)
                    apart[a].insert({file.string(), std::atoi(line.c_str() + a.size() + 1)});
        }
    }
    std::map<std::string, std::pair<int, int>> apartCounts;  // kind: judged, agreeing

    // The reference is taken from the same peer renders (as
    // vpltest::ReferenceRate), so a peer that times out is waited for once.
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
