// Pages 1-3 of the corpus files that carry images (per pdfimages -list),
// fax, JBIG2 and JPEG 2000 images included, rendered at 72 DPI and judged
// against the peers' renders. Our rasters come from the shared
// render cache (the corpus page render fills it; a page not there yet is
// drawn here in a child with a time limit): a crash, hang or sanitizer
// report fails. The agreement rate may lie at most 5 points below the rate
// at which pdftoppm agrees with mutool on the same pages; the pages with
// codec images are also counted on their own.
#include <gtest/gtest.h>

#include <iostream>
#include <set>
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

// Pages 1-3 that list an image, mask or stencil; Codec holds those with a
// fax, JBIG2 or JPEG 2000 image. False with the reason when pdfimages cannot
// list the file.
bool ImagePages(const fs::path& File, std::vector<int>& Out, std::set<int>& Codec, std::string& Why) {
    Out.clear();
    Codec.clear();
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
    std::set<int> Pages;
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
        Pages.insert(Page);
        if (Enc == "ccitt" || Enc == "jbig2" || Enc == "jpx") Codec.insert(Page);
    }
    Out.assign(Pages.begin(), Pages.end());
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
    std::vector<bool> WithCodec;
    std::vector<std::string> Unlisted;
    for (const fs::path& File : vpltest::CorpusPdfs()) {
        std::vector<int> Found;
        std::set<int> Codec;
        std::string Why;
        if (!ImagePages(File, Found, Codec, Why)) {
            Unlisted.push_back(fs::relative(File, vpltest::CorpusDir()).string() + ": " + Why);
            continue;
        }
        for (int Page : Found) {
            Pages.push_back({File, Page});
            WithCodec.push_back(Codec.count(Page) != 0);
        }
    }
    ASSERT_FALSE(Pages.empty());

    // The reference comes from the same peer renders as the verdicts.
    vpltest::TReferenceRate Ref;
    int Judged = 0, Agreed = 0, OursFailed = 0, CodecJudged = 0, CodecAgreed = 0;
    std::vector<std::string> Failures, Unhandled, Disagreeing;
    for (size_t I = 0; I < Pages.size(); ++I) {
        const vpltest::TPageRef& P = Pages[I];
        const std::string Name = fs::relative(P.file, vpltest::CorpusDir()).string() + " page " +
                                 std::to_string(P.page) + (WithCodec[I] ? " (codec images)" : "");
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
        if (WithCodec[I]) ++CodecJudged;
        if (!Ours.Ok()) {
            ++OursFailed;
            Unhandled.push_back(Name + ": " + OneLine(Ours.error));
            continue;
        }
        const vpltest::TPeerVerdict V = vpltest::JudgeAgainstPeers(Ours.raster, Mutool, Pdftoppm);
        if (V.agrees) {
            ++Agreed;
            if (WithCodec[I]) ++CodecAgreed;
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
              << "\npages with fax, JBIG2 or JPEG 2000 images: judged " << CodecJudged << ", agree "
              << CodecAgreed << "\n";
    for (const std::string& S : Unlisted) std::cout << "not listed: " << S << "\n";
    for (const std::string& S : Unhandled) std::cout << "unhandled: " << S << "\n";
    for (const std::string& S : Disagreeing) std::cout << "disagrees: " << S << "\n";
    for (const std::string& S : Failures) ADD_FAILURE() << "crash or hang: " << S;
    EXPECT_GE(Rate, Ref.Rate() - 0.05)
        << Agreed << " of " << Judged << " pages agree with a peer; reference " << Ref.similar
        << " of " << Ref.compared;
}
