// Pages 1-3 of every corpus file through the public class: LoadFromFile and
// RenderDocumentToFile at 72 DPI to PNG, each file with its own time limit in
// a child that works through many files, every page judged against the
// peers' renders by the render rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "api/VelmoPDF.h"
#include "platform/files/WideFile.h"
#include "tests/support/RenderSupport.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

constexpr int kDPI = 72;
constexpr int kPagesPerFile = 3;
constexpr double kFileTimeout = 60;
constexpr double kSlack = 5;  // points below the reference rate we accept

std::string OneLine(std::string S, size_t Max = 200) {
    for (char& C : S)
        if (C == '\r' || C == '\n') C = ' ';
    return S.size() <= Max ? S : S.substr(0, Max) + "...";
}

std::string Narrow(const std::u16string& S) {
    std::string Out;
    for (char16_t C : S) Out += C < 0x80 ? char(C) : '?';
    return Out;
}

// The child's work: the file loaded and its first pages written as
// Folder/p0001.png ... Report: "load <result> <error code>" when it does not
// load, else "pages <n> <result> <render error>".
int RenderThroughTheClass(const fs::path& File, const fs::path& Folder, std::string& Report) {
    velmo::TVelmoPDF Lib;
    const int32_t Loaded = Lib.LoadFromFile(velmo::FileSystemNameToWide(File.string()), u"");
    if (Loaded != 1) {
        Report = "load " + std::to_string(Loaded) + " " + std::to_string(Lib.LastErrorCode());
        return 0;
    }
    const int Pages = std::min(Lib.PageCount(), kPagesPerFile);
    int32_t Result = 0;
    if (Pages >= 1)
        Result = Lib.RenderDocumentToFile(kDPI, 1, kPagesPerFile, 5,
                                          velmo::FileSystemNameToWide((Folder / "p.png").string()));
    Report = "pages " + std::to_string(Pages) + " " + std::to_string(Result) + " " +
             OneLine(Narrow(Lib.LastRenderError()));
    return 0;
}

// Lazy set-ups (fonts, codecs, writers) done once here are inherited by
// every child instead of being repeated per file.
void WarmUp() {
    velmo::TVelmoPDF Lib;
    if (Lib.LoadFromString(vpltest::MinimalPdf({"BT /F1 12 Tf 10 10 Td (a) Tj ET 0 0 5 5 re f"}),
                           u"") == 1)
        (void)Lib.RenderPageToString(kDPI, 1, 5);
}

}  // namespace

TEST(corpus, render_api) {
    VPL_REQUIRE_CORPUS();
    VPL_REQUIRE_TOOL("mutool");
    VPL_REQUIRE_TOOL("pdftoppm");
    const auto Files = vpltest::CorpusPdfs();
    ASSERT_FALSE(Files.empty());
    WarmUp();
    vpltest::TRenderCache Cache;
    Cache.SetPeerTimeout(30);
    const auto Start = std::chrono::steady_clock::now();

    // Every file is rendered first, many files per child, each with its own
    // time limit; the peers then draw the pages we wrote, several files at
    // once, before the pages are judged.
    vpltest::TempDir Out;
    auto FolderOf = [&](size_t I) { return Out.path() / std::to_string(I); };
    const std::vector<vpltest::ChildResult> Children = vpltest::RunIsolatedBatch(
        Files.size(),
        [&](size_t I, std::string& Report) {
            fs::create_directories(FolderOf(I));
            return RenderThroughTheClass(Files[I], FolderOf(I), Report);
        },
        kFileTimeout);

    std::vector<int> PagesOf(Files.size(), 0);
    std::vector<vpltest::TPageRef> Wanted;
    for (size_t I = 0; I < Files.size(); ++I) {
        const vpltest::ChildResult& Child = Children[I];
        if (Child.outcome != vpltest::ChildOutcome::Ok) continue;
        if (Child.report.rfind("load ", 0) == 0) {
            Wanted.push_back({Files[I], 1});
            continue;
        }
        std::sscanf(Child.report.c_str(), "pages %d", &PagesOf[I]);
        for (int Page = 1; Page <= PagesOf[I]; ++Page) Wanted.push_back({Files[I], Page});
    }
    Cache.PrefetchPeers(Wanted, kDPI, 4);

    vpltest::TReferenceRate Ref;
    int Judged = 0, Agreeing = 0, PagesWritten = 0, Unopened = 0;
    std::vector<std::string> Failures, Disagreements, Unopenable, RenderErrors;
    for (size_t I = 0; I < Files.size(); ++I) {
        const fs::path& File = Files[I];
        const std::string Rel = fs::relative(File, vpltest::CorpusDir()).string();
        const vpltest::ChildResult& Child = Children[I];
        if (Child.outcome != vpltest::ChildOutcome::Ok) {
            Failures.push_back(Rel + ": " +
                               (Child.outcome == vpltest::ChildOutcome::TimedOut
                                    ? "timed out after " + std::to_string(int(kFileTimeout)) + " s"
                                    : "ended with exit " + std::to_string(Child.exitCode)) +
                               (Child.report.empty() ? "" : ": " + OneLine(Child.report, 2000)));
            continue;
        }
        if (Child.report.rfind("load ", 0) == 0) {
            // Not opened: a peer that draws page 1 shows the file is usable.
            ++Unopened;
            const vpltest::TRenderResult M =
                Cache.Peer(vpltest::TRenderPeer::Mutool, File, 1, kDPI);
            const vpltest::TRenderResult P =
                Cache.Peer(vpltest::TRenderPeer::Pdftoppm, File, 1, kDPI);
            if (M.Ok() || P.Ok()) {
                Unopenable.push_back(Rel + ": " + Child.report + " (result, error code); drawn by " +
                                     (M.Ok() ? "mutool" : "pdftoppm"));
                ++Judged;  // a page a peer draws and we do not
            }
            continue;
        }
        const int Pages = PagesOf[I];
        int Result = 0;
        std::sscanf(Child.report.c_str(), "pages %*d %d", &Result);
        if (Result != 1 && Pages >= 1) RenderErrors.push_back(Rel + ": " + Child.report);
        for (int Page = 1; Page <= Pages; ++Page) {
            const std::string Where = Rel + " page " + std::to_string(Page);
            const vpltest::TRenderResult M =
                Cache.Peer(vpltest::TRenderPeer::Mutool, File, Page, kDPI);
            const vpltest::TRenderResult P =
                Cache.Peer(vpltest::TRenderPeer::Pdftoppm, File, Page, kDPI);
            ++Ref.pages;
            if (M.Ok() && P.Ok()) {
                ++Ref.compared;
                if (vpltest::CompareRenders(P.raster, M.raster).similar) ++Ref.similar;
            }
            if (!M.Ok() && !P.Ok()) continue;  // no peer drew it: nothing to judge by
            ++Judged;
            char Name[32];
            std::snprintf(Name, sizeof Name, "p%04d.png", Page);
            vpltest::TRgbRaster Ours;
            std::string Why;
            if (!vpltest::ReadPngRaster(FolderOf(I) / Name, Ours, &Why)) {
                Disagreements.push_back(Where + ": no page file: " + Why);
                continue;
            }
            ++PagesWritten;
            const vpltest::TPeerVerdict V = vpltest::JudgeAgainstPeers(Ours, M, P);
            if (V.agrees) {
                ++Agreeing;
                continue;
            }
            std::string Line = Where + ":";
            if (V.haveMutool) Line += " mutool " + vpltest::DescribeComparison(V.vsMutool);
            if (V.havePdftoppm) Line += "; pdftoppm " + vpltest::DescribeComparison(V.vsPdftoppm);
            Disagreements.push_back(Line);
        }
    }
    const double Rate = Judged ? double(Agreeing) / Judged : 0.0;
    const double Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    std::printf(
        "%zu files (%d not opened), %d pages written, %d pages judged (a peer drew them), %d "
        "agree (%.1f %%); reference: pdftoppm similar to mutool on %d of %d (%.1f %%); %d s\n",
        Files.size(), Unopened, PagesWritten, Judged, Agreeing, Rate * 100, Ref.similar,
        Ref.compared, Ref.Rate() * 100, int(Seconds));
    for (const auto& U : Unopenable) std::printf("not opened, a peer draws it: %s\n", U.c_str());
    for (const auto& E : RenderErrors) std::printf("render reported: %s\n", E.c_str());
    for (const auto& D : Disagreements) std::printf("differs: %s\n", D.c_str());
    std::fflush(stdout);
    for (const auto& F : Failures) ADD_FAILURE() << F;
    EXPECT_GE(Rate * 100, Ref.Rate() * 100 - kSlack)
        << "our agreement rate is more than " << kSlack << " points below the reference rate";
}
