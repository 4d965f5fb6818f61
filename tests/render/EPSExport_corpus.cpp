// Page 1 of every tenth corpus file (by sorted name) written as EPS in a
// child with a time limit, then read by Ghostscript: every file must run
// without an error and declare the page's clipped box (poppler's crop box,
// which it clips to the media box). Crashes, hangs and sanitizer reports
// fail; other failures are listed with their reason and fail too.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "document/Document.h"
#include "tests/render/EPSTestKit.h"
#include "tests/support/RenderSupport.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

constexpr double kFileTimeout = 60;

// Poppler's crop box of page 1, rounded; false when pdfinfo cannot read it.
bool PopplerCropBox(const fs::path& File, long Box[4]) {
    const auto R = vpltest::RunCommand({"pdfinfo", "-box", "-f", "1", "-l", "1", File.string()}, 60);
    if (R.exitCode != 0) return false;
    const size_t P = R.out.find("CropBox:");
    if (P == std::string::npos) return false;
    double V[4];
    if (std::sscanf(R.out.c_str() + P + 8, "%lf %lf %lf %lf", &V[0], &V[1], &V[2], &V[3]) != 4)
        return false;
    for (int I = 0; I < 4; ++I) Box[I] = long(std::nearbyint(V[I]));
    return true;
}

TEST(corpus, eps_pages) {
    VPL_REQUIRE_CORPUS();
    VPL_REQUIRE_TOOL("gs");
    vpltest::InstallPageRenderServices();
    const auto Files = vpltest::CorpusPdfs();
    ASSERT_FALSE(Files.empty());
    vpltest::TempDir Dir;
    const auto Start = std::chrono::steady_clock::now();
    std::vector<std::string> Failures, NotLoaded;
    int Written = 0, Checked = 0;
    for (size_t I = 0; I < Files.size(); I += 10) {
        const fs::path& File = Files[I];
        const std::string Rel = fs::relative(File, vpltest::CorpusDir()).string();
        const fs::path Eps = Dir / ("page-" + std::to_string(I) + ".eps");
        const vpltest::ChildResult Child = vpltest::RunIsolated(
            [&](std::string& Report) {
                velmo::TPDFDocument Doc;
                if (Doc.LoadFromFile(File.u16string(), u"") != velmo::lrOkay ||
                    Doc.PageCount() < 1) {
                    Report = "not loaded";
                    return 0;
                }
                std::string Error;
                if (!vpltest::WritePageEPS(Doc, 1, Eps, Error)) {
                    Report = "no EPS: " + Error;
                    return 1;
                }
                return 0;
            },
            kFileTimeout);
        if (Child.outcome == vpltest::ChildOutcome::Crashed ||
            Child.outcome == vpltest::ChildOutcome::TimedOut) {
            Failures.push_back(Rel + ": " +
                               (Child.outcome == vpltest::ChildOutcome::Crashed
                                    ? "crashed (exit " + std::to_string(Child.exitCode) + ")"
                                    : std::string("timed out after 60 s")) +
                               (Child.report.empty() ? "" : "\n" + Child.report.substr(0, 2000)));
            continue;
        }
        if (Child.outcome != vpltest::ChildOutcome::Ok) {
            Failures.push_back(Rel + ": " + Child.report);
            continue;
        }
        if (Child.report == "not loaded") {
            NotLoaded.push_back(Rel);
            continue;
        }
        ++Written;
        const std::string Problem = vpltest::GhostscriptProblem(Eps, 120);
        if (!Problem.empty()) {
            Failures.push_back(Rel + ": " + Problem);
            continue;
        }
        long Ours[4], Theirs[4];
        if (!vpltest::EPSBoundingBox(vpltest::ReadFile(Eps), Ours)) {
            Failures.push_back(Rel + ": no %%BoundingBox");
            continue;
        }
        if (PopplerCropBox(File, Theirs)) {
            ++Checked;
            if (Ours[0] != Theirs[0] || Ours[1] != Theirs[1] || Ours[2] != Theirs[2] ||
                Ours[3] != Theirs[3])
                Failures.push_back(Rel + ": box " + std::to_string(Ours[0]) + " " +
                                   std::to_string(Ours[1]) + " " + std::to_string(Ours[2]) + " " +
                                   std::to_string(Ours[3]) + ", page's clipped box " +
                                   std::to_string(Theirs[0]) + " " + std::to_string(Theirs[1]) +
                                   " " + std::to_string(Theirs[2]) + " " +
                                   std::to_string(Theirs[3]));
        }
        std::error_code Ec;
        fs::remove(Eps, Ec);
    }
    const double Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    std::cout << (Files.size() + 9) / 10 << " files, " << Written << " EPS pages written, "
              << Checked << " boxes compared, " << NotLoaded.size() << " not loaded, "
              << Failures.size() << " failures; " << int(Seconds) << " s\n";
    for (const auto& S : NotLoaded) std::cout << "not loaded: " << S << "\n";
    for (const auto& F : Failures) ADD_FAILURE() << F;
}

}  // namespace
