#include <gtest/gtest.h>

#include "tests/support/RenderSupport.h"

namespace fs = std::filesystem;
using namespace vpltest;

namespace {

// One A4 page with a red rectangle from (100, 100) to (300, 400) points.
std::string RedRectanglePdf() {
    const std::string content = "1 0 0 rg 100 100 200 300 re f";
    const std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
    };
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t off : offsets) {
        char line[24];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", off);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

TEST(RenderPeers, BothPeersRenderThePageAsked) {
    VPL_REQUIRE_TOOL("mutool");
    VPL_REQUIRE_TOOL("pdftoppm");
    TempDir dir;
    WriteFile(dir / "page.pdf", RedRectanglePdf());
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
