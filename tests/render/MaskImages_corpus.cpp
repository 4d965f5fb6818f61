// Corpus pages (1-3) with an extended state holding a soft-mask dictionary,
// written as EMF, WMF and EMF+ and played back through our metafile player:
// each is judged against our bitmap render of the page by the render rule.
// Each file runs in a child with 60 s. Prints the pages and the agreeing
// count per format, and the pages that do not agree; fails on a crash, hang
// or sanitizer report, on a metafile that is not written or cannot be played
// back, or when a format agrees on fewer than four pages in five (pages
// also differ for reasons of the metafile path that have nothing to do
// with masks: its text and, on a few files, its page size).
#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "document/Document.h"
#include "document/PageTree.h"
#include "platform/files/Stream.h"
#include "platform/gdi/Bitmap.h"
#include "platform/metafile/MetafileReplay.h"
#include "tests/support/PageKinds.h"
#include "tests/support/RenderSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace velmo;

constexpr double kFileTimeout = 60;
constexpr int kDPI = 72;
constexpr double kMinAgreeing = 0.8;

struct TFormat {
    int32_t Options;
    const char* Name;
};
constexpr TFormat kFormats[] = {{3, "EMF"}, {2, "WMF"}, {8, "EMF+"}};

// Report lines: "<format> <page> agree", "<format> <page> differ <figures>"
// or "<format> <page> broken <reason>".
int JudgeFile(const std::filesystem::path& File, std::string& Report) {
    vpltest::InstallPageRenderServices();
    TPDFDocument Doc;
    if (Doc.LoadFromFile(File.u16string(), u"") != lrOkay) return 0;
    for (const int Page : vpltest::PagesOfKind(vpltest::PageKindsOf(Doc), "smask")) {
        vpltest::TRgbRaster Reference;
        std::string Error;
        if (!vpltest::RenderLoadedPageToPng(Doc, Page, kDPI, Reference, Error)) continue;
        for (const TFormat& F : kFormats) {
            const std::string Head = std::string(F.Name) + " " + std::to_string(Page) + " ";
            TMemoryStream Out;
            if (!Doc.PageTree()->RenderPageToStream(kDPI, Page, F.Options, 0, nullptr, Out, Error,
                                                    1, Doc.GetViewOCGList())) {
                Report += Head + "broken not written: " + Error + "\n";
                continue;
            }
            TBitmap Back;
            std::string Why;
            if (!metafile::ReplayMetafile(Out.Bytes(), Back, &Why)) {
                Report += Head + "broken no playback: " + Why + "\n";
                continue;
            }
            const auto C = vpltest::CompareRenders(vpltest::RasterFromBitmap(Back), Reference);
            Report += Head + (C.similar ? "agree" : "differ " + vpltest::DescribeComparison(C)) + "\n";
        }
    }
    return 0;
}

TEST(corpus, metafile_soft_masks) {
    VPL_REQUIRE_CORPUS();
    std::map<std::string, int> Pages, Agreeing;
    std::vector<std::string> Failures, Differing;
    for (const auto& File : vpltest::CorpusPdfs()) {
        const std::string Rel = std::filesystem::relative(File, vpltest::CorpusDir()).string();
        const vpltest::ChildResult Child = vpltest::RunIsolated(
            [&](std::string& Report) { return JudgeFile(File, Report); }, kFileTimeout);
        if (Child.outcome == vpltest::ChildOutcome::Crashed) {
            Failures.push_back(Rel + ": crashed (exit " + std::to_string(Child.exitCode) + ")\n" +
                               Child.report.substr(0, 2000));
            continue;
        }
        if (Child.outcome == vpltest::ChildOutcome::TimedOut) {
            Failures.push_back(Rel + ": timed out after 60 s");
            continue;
        }
        std::istringstream In(Child.report);
        std::string Line;
        while (std::getline(In, Line)) {
            std::istringstream Words(Line);
            std::string Format, Page, Verdict;
            if (!(Words >> Format >> Page >> Verdict)) continue;
            ++Pages[Format];
            if (Verdict == "agree")
                ++Agreeing[Format];
            else if (Verdict == "broken")
                Failures.push_back(Rel + ": " + Line);
            else
                Differing.push_back(Rel + ": " + Line);
        }
    }
    for (const TFormat& F : kFormats)
        std::cout << F.Name << ": " << Pages[F.Name] << " soft-mask pages, " << Agreeing[F.Name]
                  << " agree with the bitmap render\n";
    for (const std::string& D : Differing) std::cout << "  differs: " << D << "\n";
    std::string List;
    for (const std::string& F : Failures) List += "  " + F + "\n";
    EXPECT_TRUE(Failures.empty()) << List;
    for (const TFormat& F : kFormats)
        EXPECT_GE(Agreeing[F.Name], kMinAgreeing * Pages[F.Name]) << F.Name;
}

}  // namespace
