#include <gtest/gtest.h>

#include "tests/support/RenderSupport.h"

namespace fs = std::filesystem;
using namespace vpltest;

namespace {

TEST(RenderPeers, BothPeersRenderThePageAsked) {
    VPL_REQUIRE_TOOL("mutool");
    VPL_REQUIRE_TOOL("pdftoppm");
    TempDir dir;
    // A red rectangle from (100, 100) to (300, 400) points on an A4 page.
    WriteFile(dir / "page.pdf", MinimalPdf({"1 0 0 rg 100 100 200 300 re f"}));
    TRenderCache cache(dir / "cache", "oracle");
    for (int dpi : {72, 150}) {
        const int w = (595 * dpi + 36) / 72, h = (842 * dpi + 36) / 72;
        TRenderResult m = cache.Peer(TRenderPeer::Mutool, dir / "page.pdf", 1, dpi);
        TRenderResult p = cache.Peer(TRenderPeer::Pdftoppm, dir / "page.pdf", 1, dpi);
        ASSERT_TRUE(m.Ok()) << m.error;
        ASSERT_TRUE(p.Ok()) << p.error;
        for (const TRenderResult* r : {&m, &p}) {
            SCOPED_TRACE(dpi);
            EXPECT_NEAR(r->raster.width, w, 1);
            EXPECT_NEAR(r->raster.height, h, 1);
            const uint8_t* inside = r->raster.Pixel(200 * dpi / 72, (842 - 250) * dpi / 72);
            EXPECT_EQ(inside[0], 255);
            EXPECT_EQ(inside[1], 0);
            EXPECT_EQ(inside[2], 0);
            EXPECT_EQ(r->raster.Pixel(5, 5)[1], 255);
        }
        const TRenderComparison c = CompareRenders(m.raster, p.raster);
        EXPECT_TRUE(c.similar) << DescribeComparison(c);
        EXPECT_TRUE(cache.Peer(TRenderPeer::Mutool, dir / "page.pdf", 1, dpi).fromCache);
    }
    // A page beyond the last is a failure for both, never another page.
    EXPECT_EQ(cache.Peer(TRenderPeer::Mutool, dir / "page.pdf", 2, 72).status,
              TRenderStatus::Failed);
    EXPECT_EQ(cache.Peer(TRenderPeer::Pdftoppm, dir / "page.pdf", 2, 72).status,
              TRenderStatus::Failed);
}

}  // namespace
