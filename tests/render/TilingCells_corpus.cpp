// A corpus page that fills fifty small areas each with its own tiling
// pattern, whose cells are a million units wide scaled down to a few points:
// it renders in a few seconds and cleanly.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <string>

#include "tests/support/RenderSupport.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(TilingCellsCorpus, ManySmallPatternsRenderQuickly) {
    VPL_REQUIRE_CORPUS();
    const std::filesystem::path File = vpltest::CorpusDir() / "pdfjs" / "tracemonkey.pdf";
    if (!std::filesystem::exists(File)) GTEST_SKIP() << File << " is not in the corpus";
    constexpr int kPage = 13, kDPI = 72;
    vpltest::InstallPageRenderServices();
    vpltest::TRgbRaster Ours;
    std::string Error;
    const double Start = vpltest::ThreadSeconds();
    ASSERT_TRUE(vpltest::RenderFilePageToPng(File, kPage, kDPI, Ours, Error)) << Error;
    const double Seconds = vpltest::ThreadSeconds() - Start;
    EXPECT_EQ(Error, "");
    // Well under a second in a Release build; the bound leaves room for
    // the sanitizers.
    EXPECT_LT(Seconds, 20.0);
    std::cout << "tracemonkey.pdf page " << kPage << ": " << Seconds << " s of processor time\n";

    VPL_REQUIRE_TOOL("mutool");
    VPL_REQUIRE_TOOL("pdftoppm");
    vpltest::TRenderCache Cache;
    const vpltest::TPeerVerdict V = vpltest::JudgeAgainstPeers(
        Ours, Cache.Peer(vpltest::TRenderPeer::Mutool, File, kPage, kDPI),
        Cache.Peer(vpltest::TRenderPeer::Pdftoppm, File, kPage, kDPI));
    // The page's text lines sit apart from both peers' (which differ from
    // each other as much), so the verdict is shown, not asserted here; the
    // page-set corpus tests count it.
    std::cout << (V.agrees ? "agrees" : "does not agree") << " with the peers: mutool "
              << vpltest::DescribeComparison(V.vsMutool) << "; pdftoppm "
              << vpltest::DescribeComparison(V.vsPdftoppm) << "\n";
}

}  // namespace
