// Pages 1-3 of the corpus files that carry images (per pdfimages -list),
// except pages with fax, JBIG2 or JPEG 2000 images, rendered at 72 DPI and
// judged against the peers' renders. Our rasters come from the shared
// render cache (the corpus page render fills it; a page not there yet is
// drawn here in a child with a time limit): a crash, hang or sanitizer
// report fails. The agreement rate may lie at most 10 points below the rate
// at which pdftoppm agrees with mutool on the same pages.
#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/RenderSupport.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

constexpr int kDPI = 72;
constexpr int kPagesPerFile = 3;

std::string OneLine(std::string S) {
    for (char& C : S)
        if (C == '\n' || C == '\r') C = ' ';
    return S.size() > 300 ? S.substr(0, 300) + "..." : S;
}

// Pages 1-3 that list an image, mask or stencil, none of them in an
// encoding this decoder does not read yet. False with the reason when
// pdfimages cannot list the file.
bool ImagePages(const fs::path& File, std::vector<int>& Out, std::string& Why) {
    Out.clear();
    const auto R = vpltest::RunCommand(
        {"pdfimages", "-f", "1", "-l", std::to_string(kPagesPerFile), "-list", File.string()}, 30);
    if (R.timedOut) {
        Why = "pdfimages -list timed out";
        return false;
    }
    if (R.exitCode != 0) {
        Why = "pdfimages -list exit " + std::to_string(R.exitCode) + ": " + OneLine(R.err);
        return false;
    }
    std::map<int, bool> Pages;  // page -> every image readable
    std::istringstream In(R.out);
    std::string Line;
    std::getline(In, Line);  // column titles
    std::getline(In, Line);  // rule
    while (std::getline(In, Line)) {
        std::istringstream F(Line);
        int Page = 0, Num = 0, W = 0, H = 0, Comp = 0, Bpc = 0;
        std::string Type, Color, Enc;
        if (!(F >> Page >> Num >> Type >> W >> H >> Color >> Comp >> Bpc >> Enc)) continue;
        if (Page < 1 || Page > kPagesPerFile) continue;
        const bool Unread = Enc == "ccitt" || Enc == "jbig2" || Enc == "jpx";
        auto It = Pages.try_emplace(Page, true).first;
        It->second = It->second && !Unread;
    }
    for (const auto& [Page, Usable] : Pages)
        if (Usable) Out.push_back(Page);
    return true;
}

std::string Figures(const char* Peer, bool Have, const vpltest::TRenderComparison& C,
                    const vpltest::TRenderResult& R) {
    return std::string(Peer) + " " +
           (Have ? vpltest::DescribeComparison(C) : "no render (" + OneLine(R.error) + ")");
}

}  // namespace

TEST(corpus, render_images) {
    VPL_REQUIRE_CORPUS();
    VPL_REQUIRE_TOOL("pdfimages");
    VPL_REQUIRE_TOOL("mutool");
    VPL_REQUIRE_TOOL("pdftoppm");
    vpltest::TRenderCache Cache;
    Cache.SetOursTimeout(60);
    // A peer draws such a page in well under a second; one that hangs is
    // not kept, so every run waits this long for it.
    Cache.SetPeerTimeout(30);

    std::vector<vpltest::TPageRef> Pages;
    std::vector<std::string> Unlisted;
    for (const fs::path& File : vpltest::CorpusPdfs()) {
        std::vector<int> Found;
        std::string Why;
        if (!ImagePages(File, Found, Why)) {
            Unlisted.push_back(fs::relative(File, vpltest::CorpusDir()).string() + ": " + Why);
            continue;
        }
        for (int Page : Found) Pages.push_back({File, Page});
    }
    ASSERT_FALSE(Pages.empty());

    // The reference comes from the same peer renders as the verdicts.
    vpltest::TReferenceRate Ref;
    int Judged = 0, Agreed = 0, OursFailed = 0;
    std::vector<std::string> Failures, Unhandled, Disagreeing;
    for (const vpltest::TPageRef& P : Pages) {
        const std::string Name =
            fs::relative(P.file, vpltest::CorpusDir()).string() + " page " + std::to_string(P.page);
        const auto Mutool = Cache.Peer(vpltest::TRenderPeer::Mutool, P.file, P.page, kDPI);
        const auto Pdftoppm = Cache.Peer(vpltest::TRenderPeer::Pdftoppm, P.file, P.page, kDPI);
        ++Ref.pages;
        if (Mutool.Ok() && Pdftoppm.Ok()) {
            ++Ref.compared;
            if (vpltest::CompareRenders(Pdftoppm.raster, Mutool.raster).similar) ++Ref.similar;
        }
        const vpltest::TRenderResult Ours =
            Cache.Ours(P.file, P.page, kDPI, vpltest::RenderFilePageToPng);
        if (Ours.status == vpltest::TRenderStatus::Crashed ||
            Ours.status == vpltest::TRenderStatus::TimedOut)
            Failures.push_back(Name + ": " + Ours.error);
        if (!Mutool.Ok() && !Pdftoppm.Ok()) continue;  // no peer drew it: nothing to judge by
        ++Judged;
        if (!Ours.Ok()) {
            ++OursFailed;
            Unhandled.push_back(Name + ": " + OneLine(Ours.error));
            continue;
        }
        const vpltest::TPeerVerdict V = vpltest::JudgeAgainstPeers(Ours.raster, Mutool, Pdftoppm);
        if (V.agrees) {
            ++Agreed;
            continue;
        }
        Disagreeing.push_back(Name + ": " + Figures("mutool", V.haveMutool, V.vsMutool, Mutool) +
                              "; " + Figures("pdftoppm", V.havePdftoppm, V.vsPdftoppm, Pdftoppm));
    }
    const double Rate = Judged ? double(Agreed) / Judged : 0.0;
    std::cout << "pages with images: " << Pages.size() << ", judged " << Judged << ", agree "
              << Agreed << " (" << 100 * Rate << " %), our render failed on " << OursFailed
              << "; reference: pdftoppm like mutool on " << Ref.similar << " of " << Ref.compared
              << " (" << 100 * Ref.Rate() << " %); files pdfimages cannot list: " << Unlisted.size()
              << "\n";
    for (const std::string& S : Unlisted) std::cout << "not listed: " << S << "\n";
    for (const std::string& S : Unhandled) std::cout << "unhandled: " << S << "\n";
    for (const std::string& S : Disagreeing) std::cout << "disagrees: " << S << "\n";
    for (const std::string& S : Failures) ADD_FAILURE() << "crash or hang: " << S;
    EXPECT_GE(Rate, Ref.Rate() - 0.10)
        << Agreed << " of " << Judged << " pages agree with a peer; reference " << Ref.similar
        << " of " << Ref.compared;
}
