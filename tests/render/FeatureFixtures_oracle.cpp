// Shading, pattern and transparency pages made here and drawn by us and by
// the peers (mutool, pdftoppm); each render must be similar to a peer's.
// Shadings: every type, painted by sh and as a pattern fill after a cm (the
// pattern keeps the page's space), at 72 and 150 DPI and on a page turned
// by /Rotate 90; axial ramps are also sampled at 10, 50 and 90 % of their
// axis against pdftoppm's pixels, and the ends with and without /Extend are
// checked. Transparency: fill and stroke alpha, coloured and uncoloured
// tiling patterns, and soft masks of both kinds with a backdrop and a
// transfer function.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/render/FeatureFixturePages.h"
#include "tests/support/RenderSupport.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

std::string Stream(const std::string& Keys, const std::string& Data) {
    return "<< " + Keys + " /Length " + std::to_string(Data.size()) + " >>\nstream\n" + Data +
           "\nendstream";
}

std::string Hex(const std::vector<int>& Bytes) {
    static const char* D = "0123456789ABCDEF";
    std::string S;
    for (int B : Bytes) {
        S += D[(B >> 4) & 15];
        S += D[B & 15];
    }
    return S + ">";
}

struct TShadingCase {
    const char* name;
    std::string shading;  // object 5: the shading (dictionary or stream)
};

const char* kRGB = "/ColorSpace /DeviceRGB";
const char* kRedBlue = "/Function << /FunctionType 2 /Domain [0 1] /C0 [1 0 0] /C1 [0 0 1] /N 1 >>";
const char* kRedGreenBlue =
    "/Function << /FunctionType 3 /Domain [0 1] /Bounds [0.5] /Encode [0 1 0 1] /Functions ["
    "<< /FunctionType 2 /Domain [0 1] /C0 [1 0 0] /C1 [0 1 0] /N 1 >> "
    "<< /FunctionType 2 /Domain [0 1] /C0 [0 1 0] /C1 [0 0 1] /N 1 >>] >>";

const std::vector<TShadingCase>& Cases() {
    static const std::vector<TShadingCase> cases = {
        {"axial_type2", std::string("<< /ShadingType 2 ") + kRGB +
                            " /Coords [0 0 200 0] /Extend [true true] " + kRedBlue + " >>"},
        {"axial_type3", std::string("<< /ShadingType 2 ") + kRGB +
                            " /Coords [0 0 200 0] /Extend [true true] " + kRedGreenBlue + " >>"},
        {"axial_no_extend", std::string("<< /ShadingType 2 ") + kRGB +
                                " /Coords [50 0 150 0] " + kRedBlue + " >>"},
        {"axial_extend", std::string("<< /ShadingType 2 ") + kRGB +
                             " /Coords [50 0 150 0] /Extend [true true] " + kRedBlue + " >>"},
        {"axial_gray",
         "<< /ShadingType 2 /ColorSpace /DeviceGray /Coords [0 0 0 100] /Extend [true true] "
         "/Function << /FunctionType 2 /Domain [0 1] /C0 [0] /C1 [1] /N 1 >> >>"},
        {"axial_curved", std::string("<< /ShadingType 2 ") + kRGB +
                             " /Coords [0 0 200 0] /Extend [true true] /Function << "
                             "/FunctionType 2 /Domain [0 1] /C0 [1 1 0] /C1 [0 0 1] /N 3 >> >>"},
        {"axial_start_extends", std::string("<< /ShadingType 2 ") + kRGB +
                                    " /Coords [50 0 150 0] /Extend [true false] " + kRedBlue +
                                    " >>"},
        {"axial_end_extends", std::string("<< /ShadingType 2 ") + kRGB +
                                  " /Coords [50 0 150 0] /Extend [false true] " + kRedBlue +
                                  " >>"},
        {"radial", std::string("<< /ShadingType 3 ") + kRGB + " /Coords [100 50 5 100 50 45] " +
                       kRedBlue + " >>"},
        {"radial_extend", std::string("<< /ShadingType 3 ") + kRGB +
                              " /Coords [80 50 5 110 50 45] /Extend [true true] " + kRedBlue +
                              " >>"},
        {"radial_end_extends", std::string("<< /ShadingType 3 ") + kRGB +
                                   " /Coords [80 50 5 110 50 30] /Extend [false true] " +
                                   kRedBlue + " >>"},
        {"function_based",
         std::string("<< /ShadingType 1 ") + kRGB +
             " /Domain [0 1 0 1] /Matrix [200 0 0 100 0 0] /Function " +
             "6 0 R >>"},
        {"free_form",
         Stream(std::string("/ShadingType 4 ") + kRGB +
                    " /BitsPerCoordinate 8 /BitsPerComponent 8 /BitsPerFlag 8 "
                    "/Decode [0 200 0 100 0 1 0 1 0 1] /Filter /ASCIIHexDecode",
                Hex({0, 10, 10, 255, 0, 0, 0, 190, 20, 0, 255, 0, 0, 100, 90, 0, 0, 255,
                     1, 190, 90, 255, 255, 0}))},
        {"lattice",
         Stream(std::string("/ShadingType 5 ") + kRGB +
                    " /BitsPerCoordinate 8 /BitsPerComponent 8 /VerticesPerRow 3 "
                    "/Decode [0 200 0 100 0 1 0 1 0 1] /Filter /ASCIIHexDecode",
                Hex({10, 10, 255, 0, 0, 100, 20, 0, 255, 0, 190, 10, 0, 0, 255,
                     10, 90, 0, 0, 0, 100, 80, 255, 255, 255, 190, 90, 255, 0, 255}))},
        {"coons",
         Stream(std::string("/ShadingType 6 ") + kRGB +
                    " /BitsPerCoordinate 8 /BitsPerComponent 8 /BitsPerFlag 8 "
                    "/Decode [0 200 0 100 0 1 0 1 0 1] /Filter /ASCIIHexDecode",
                Hex({0,  20,  10, 20,  40, 20,  60,  20,  90, 70,  95,  130, 80,  180, 90,
                     180, 60, 190, 40, 180, 10, 130, 15, 70,  5,   255, 0,   0,   0,   255,
                     0,   0,  0,   255, 255, 255, 0}))},
        {"tensor",
         Stream(std::string("/ShadingType 7 ") + kRGB +
                    " /BitsPerCoordinate 8 /BitsPerComponent 8 /BitsPerFlag 8 "
                    "/Decode [0 200 0 100 0 1 0 1 0 1] /Filter /ASCIIHexDecode",
                Hex({0,  20,  10, 20,  40, 20,  60,  20,  90, 70,  95,  130, 80,  180, 90,
                     180, 60, 190, 40, 180, 10, 130, 15, 70,  5,   60,  30,  60,  70,  140,
                     70, 140, 30, 255, 0,   0,   0,  255, 0,   0,   0,   255, 255, 255, 0}))},
    };
    return cases;
}

// Object 6: the function of the function-based shading.
const std::string kPostScriptFunction =
    Stream("/FunctionType 4 /Domain [0 1 0 1] /Range [0 1 0 1 0 1]", "{ 2 copy mul 3 1 roll }");

enum TPaint { bySh, byPattern };

std::string PagePdf(const TShadingCase& C, TPaint Paint, bool Rotated) {
    const std::string content =
        Paint == bySh ? "/Sh0 sh"
                      : "q 0.5 0 0 0.5 0 0 cm /Pattern cs /P0 scn 0 0 400 200 re f Q";
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        std::string("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] ") +
            (Rotated ? "/Rotate 90 " : "") +
            "/Resources << /Shading << /Sh0 5 0 R >> /Pattern << /P0 7 0 R >> >> "
            "/Contents 4 0 R >>",
        Stream("", content),
        C.shading,
        kPostScriptFunction,
        "<< /PatternType 2 /Shading 5 0 R >>"};
    return vpltest::PdfFromObjects(objects, "1.5");
}


TEST(ShadingFixtures, EveryTypeAgreesWithThePeers) {
    VPL_REQUIRE_TOOL("mutool");
    VPL_REQUIRE_TOOL("pdftoppm");
    vpltest::InstallPageRenderServices();
    vpltest::TRenderCache cache;
    vpltest::TempDir tmp;
    for (const TShadingCase& c : Cases())
        for (TPaint paint : {bySh, byPattern})
            for (bool rotated : {false, true}) {
                const std::string label = std::string(c.name) +
                                          (paint == bySh ? "-sh" : "-pattern") +
                                          (rotated ? "-rotated" : "");
                const fs::path file = tmp / (label + ".pdf");
                vpltest::WriteFile(file, PagePdf(c, paint, rotated));
                for (int dpi : {72, 150}) {
                    if (rotated && dpi == 150) continue;
                    vpltest::ExpectPageAgreesWithPeers(cache, file, dpi, label);
                }
            }
}

// Pixels along an axial ramp at 10, 50 and 90 % of the axis, and beyond its
// ends, against pdftoppm's.
TEST(ShadingFixtures, AxialRampsMatchPdftoppm) {
    VPL_REQUIRE_TOOL("pdftoppm");
    vpltest::InstallPageRenderServices();
    vpltest::TRenderCache cache;
    vpltest::TempDir tmp;
    struct TProbe {
        const char* name;
        std::vector<int> xs;  // pixel columns at 72 DPI
    };
    const TProbe probes[] = {
        {"axial_type2", {20, 100, 180, 0}},
        {"axial_type3", {20, 100, 180, 0}},
        {"axial_no_extend", {10, 60, 100, 140, 190}},
        {"axial_extend", {10, 60, 100, 140, 190}},
        {"axial_start_extends", {10, 60, 100, 140, 190}},
        {"axial_end_extends", {10, 60, 100, 140, 190}},
    };
    for (const TProbe& probe : probes) {
        const TShadingCase* c = nullptr;
        for (const TShadingCase& k : Cases())
            if (std::string(k.name) == probe.name) c = &k;
        ASSERT_NE(c, nullptr);
        for (TPaint paint : {bySh, byPattern}) {
            SCOPED_TRACE(std::string(probe.name) + (paint == bySh ? " by sh" : " as a pattern"));
            const fs::path file = tmp / (std::string(probe.name) + ".pdf");
            vpltest::WriteFile(file, PagePdf(*c, paint, false));
            const vpltest::TRenderResult peer =
                cache.Peer(vpltest::TRenderPeer::Pdftoppm, file, 1, 72);
            ASSERT_TRUE(peer.Ok()) << peer.error;
            vpltest::TRgbRaster ours;
            std::string error;
            ASSERT_TRUE(vpltest::RenderFilePageToPng(file, 1, 72, ours, error)) << error;
            for (int x : probe.xs) {
                const uint8_t* a = ours.Pixel(x, 50);
                const uint8_t* b = peer.raster.Pixel(x, 50);
                for (int k = 0; k < 3; ++k)
                    EXPECT_NEAR(a[k], b[k], 8) << "x " << x << " channel " << k;
            }
        }
    }
    // The left end of red to blue is red.
    const fs::path file = tmp / "left.pdf";
    vpltest::WriteFile(file, PagePdf(Cases()[0], bySh, false));
    vpltest::TRgbRaster ours;
    std::string error;
    ASSERT_TRUE(vpltest::RenderFilePageToPng(file, 1, 72, ours, error)) << error;
    EXPECT_GE(ours.Pixel(0, 50)[0], 250);
    EXPECT_LE(ours.Pixel(0, 50)[2], 5);
}

// ---- Transparency and tiling patterns -----------------------------------

struct TTransparencyPage {
    const char* name;
    const char* content;
    const char* resources;  // inside /Resources
    std::vector<std::string> objects = {};  // objects 5, 6, ...
};

const std::string kCheckerCell = Stream(
    "/PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 24 24] /XStep 24 /YStep 24 "
    "/Resources << >>",
    "1 0 0 rg 0 0 12 12 re f 0 0 1 rg 12 12 12 12 re f");
const std::string kStripeCell = Stream(
    "/PatternType 1 /PaintType 2 /TilingType 1 /BBox [0 0 24 24] /XStep 24 /YStep 24 "
    "/Resources << >>",
    "0 0 12 24 re f");
// A cell of 10 × 10 stepped every 25 units: white gaps between red squares.
const std::string kSparseCell = Stream(
    "/PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 10 10] /XStep 25 /YStep 25 "
    "/Resources << >>",
    "1 0 0 rg 0 0 10 10 re f");
// A shading pattern of red to blue along the page.
const std::string kRampPattern =
    "<< /PatternType 2 /Shading << /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 200 0] "
    "/Extend [true true] /Function << /FunctionType 2 /Domain [0 1] /C0 [1 0 0] /C1 [0 0 1] "
    "/N 1 >> >> >>";
// A luminosity mask from black at the left to white at the right.
const std::string kRampGroup =
    Stream("/Type /XObject /Subtype /Form /BBox [0 0 200 100] /Group << /S /Transparency /CS "
           "/DeviceRGB >> /Resources << /Shading << /S0 << /ShadingType 2 /ColorSpace "
           "/DeviceGray /Coords [0 0 200 0] /Function << /FunctionType 2 /Domain [0 1] /C0 [0] "
           "/C1 [1] /N 1 >> >> >> >>",
           "/S0 sh");
// An alpha mask: an opaque disc and a half-transparent bar.
const std::string kAlphaGroup = Stream(
    "/Type /XObject /Subtype /Form /BBox [0 0 200 100] /Group << /S /Transparency >> "
    "/Resources << /ExtGState << /H << /ca 0.5 >> >> >>",
    "0 g 60 50 m 60 72 42 90 20 90 c -2 90 -20 72 -20 50 c -20 28 -2 10 20 10 c 42 10 60 28 60 "
    "50 c f /H gs 120 20 70 60 re f");

const std::vector<TTransparencyPage>& TransparencyPages() {
    static const std::vector<TTransparencyPage> pages = {
        {"fill_alpha", "/A gs 1 0 0 rg 20 20 160 60 re f", "/ExtGState << /A << /ca 0.25 >> >>"},
        {"stroke_alpha", "/A gs 0 0 1 RG 12 w 20 20 m 180 80 l S 1 0 0 rg 60 10 40 80 re f",
         "/ExtGState << /A << /CA 0.5 >> >>"},
        {"coloured_tiling", "q 1 0 0 1 7 3 cm /Pattern cs /P0 scn 10 10 170 80 re f Q",
         "/Pattern << /P0 5 0 R >>", {kCheckerCell}},
        {"uncoloured_tiling",
         "/CS0 cs 1 0 0 /P0 scn 10 10 85 80 re f 0 0.6 0 /P0 scn 105 10 85 80 re f",
         "/ColorSpace << /CS0 [/Pattern /DeviceRGB] >> /Pattern << /P0 5 0 R >>", {kStripeCell}},
        {"tiling_large_steps", "q 1 0 0 1 3 2 cm /Pattern cs /P0 scn 0 0 200 100 re f Q",
         "/Pattern << /P0 5 0 R >>", {kSparseCell}},
        {"pattern_strokes",
         "/Pattern CS /P0 SCN 16 w 20 30 m 180 30 l S /P1 SCN 20 70 m 180 70 l S",
         "/Pattern << /P0 5 0 R /P1 6 0 R >>", {kRampPattern, kCheckerCell}},
        {"luminosity_mask", "/M gs 1 0 0 rg 0 0 200 100 re f",
         "/ExtGState << /M << /SMask << /S /Luminosity /G 5 0 R >> >> >>", {kRampGroup}},
        {"luminosity_backdrop", "/M gs 0 0 1 rg 0 0 200 100 re f",
         "/ExtGState << /M << /SMask << /S /Luminosity /BC [1 1 1] /G 5 0 R >> >> >>",
         {Stream("/Type /XObject /Subtype /Form /BBox [0 0 200 100] /Group << /S /Transparency "
                 "/CS /DeviceRGB >>",
                 "0 g 20 20 60 60 re f")}},
        {"luminosity_transfer", "/M gs 1 0 0 rg 0 0 200 100 re f",
         "/ExtGState << /M << /SMask << /S /Luminosity /G 5 0 R /TR << /FunctionType 2 "
         "/Domain [0 1] /C0 [1] /C1 [0] /N 1 >> >> >> >>",
         {kRampGroup}},
        {"alpha_mask", "q /M gs 0 0.5 0 rg 0 0 200 100 re f Q 0 0 1 rg 0 0 10 10 re f",
         "/ExtGState << /M << /SMask << /S /Alpha /G 5 0 R >> >> >>", {kAlphaGroup}},
    };
    return pages;
}

std::string TransparencyPdf(const TTransparencyPage& P, bool Rotated) {
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        std::string("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] ") +
            (Rotated ? "/Rotate 90 " : "") + "/Resources << " + P.resources +
            " >> /Contents 4 0 R >>",
        Stream("", P.content)};
    for (const std::string& o : P.objects) objects.push_back(o);
    return vpltest::PdfFromObjects(objects, "1.5");
}

TEST(TransparencyFixtures, PagesAgreeWithThePeers) {
    VPL_REQUIRE_TOOL("mutool");
    VPL_REQUIRE_TOOL("pdftoppm");
    vpltest::InstallPageRenderServices();
    vpltest::TRenderCache cache;
    vpltest::TempDir tmp;
    for (const TTransparencyPage& p : TransparencyPages())
        for (bool rotated : {false, true}) {
            const std::string label = std::string(p.name) + (rotated ? "-rotated" : "");
            const fs::path file = tmp / (label + ".pdf");
            vpltest::WriteFile(file, TransparencyPdf(p, rotated));
            for (int dpi : {72, 150}) {
                if (rotated && dpi == 150) continue;
                vpltest::ExpectPageAgreesWithPeers(cache, file, dpi, label);
            }
        }
}

// Pixels with known values: a quarter-alpha red over white, and a red fill
// under a black-to-white luminosity mask fading from white to red.
TEST(TransparencyFixtures, KnownPixels) {
    vpltest::InstallPageRenderServices();
    vpltest::TempDir tmp;
    auto Render = [&](const char* Name) {
        for (const TTransparencyPage& p : TransparencyPages())
            if (std::string(p.name) == Name) {
                const fs::path file = tmp / (std::string(Name) + ".pdf");
                vpltest::WriteFile(file, TransparencyPdf(p, false));
                vpltest::TRgbRaster ours;
                std::string error;
                EXPECT_TRUE(vpltest::RenderFilePageToPng(file, 1, 72, ours, error)) << error;
                EXPECT_EQ(error, "");
                return ours;
            }
        ADD_FAILURE() << Name;
        return vpltest::TRgbRaster();
    };
    const vpltest::TRgbRaster alpha = Render("fill_alpha");
    ASSERT_FALSE(alpha.Empty());
    EXPECT_NEAR(alpha.Pixel(100, 50)[0], 255, 1);
    EXPECT_NEAR(alpha.Pixel(100, 50)[1], 191, 1);
    EXPECT_NEAR(alpha.Pixel(100, 50)[2], 191, 1);

    const vpltest::TRgbRaster mask = Render("luminosity_mask");
    ASSERT_FALSE(mask.Empty());
    // Left: the mask is black, nothing shows; right: white, full red.
    EXPECT_GE(mask.Pixel(2, 50)[1], 245);
    EXPECT_GE(mask.Pixel(197, 50)[0], 245);
    EXPECT_LE(mask.Pixel(197, 50)[1], 10);
    EXPECT_NEAR(mask.Pixel(100, 50)[1], 128, 12);

    // The transfer function inverts the mask.
    const vpltest::TRgbRaster inverted = Render("luminosity_transfer");
    ASSERT_FALSE(inverted.Empty());
    EXPECT_LE(inverted.Pixel(2, 50)[1], 10);
    EXPECT_GE(inverted.Pixel(197, 50)[1], 245);

    // Cells of 10 units stepped by 25 (moved by 3, 2): gaps stay white.
    const vpltest::TRgbRaster sparse = Render("tiling_large_steps");
    ASSERT_FALSE(sparse.Empty());
    auto AtPage = [](const vpltest::TRgbRaster& R, int X, int Y) { return R.Pixel(X, 99 - Y); };
    EXPECT_GE(AtPage(sparse, 8, 7)[0], 245);
    EXPECT_LE(AtPage(sparse, 8, 7)[1], 10);
    EXPECT_GE(AtPage(sparse, 20, 7)[1], 245) << "gap right of a cell";
    EXPECT_GE(AtPage(sparse, 8, 20)[1], 245) << "gap above a cell";
    EXPECT_GE(AtPage(sparse, 33, 32)[0], 245);
    EXPECT_LE(AtPage(sparse, 33, 32)[1], 10);

    // Strokes paint their pattern: the ramp goes red to blue along the line.
    const vpltest::TRgbRaster strokes = Render("pattern_strokes");
    ASSERT_FALSE(strokes.Empty());
    EXPECT_GE(AtPage(strokes, 25, 30)[0], 200);
    EXPECT_LE(AtPage(strokes, 25, 30)[2], 60);
    EXPECT_GE(AtPage(strokes, 175, 30)[2], 200);
    EXPECT_LE(AtPage(strokes, 175, 30)[0], 60);
    EXPECT_GE(AtPage(strokes, 100, 50)[1], 245) << "between the strokes";

    // The backdrop white lets the blue fill through outside the black square.
    const vpltest::TRgbRaster backdrop = Render("luminosity_backdrop");
    ASSERT_FALSE(backdrop.Empty());
    EXPECT_GE(backdrop.Pixel(150, 50)[2], 245);
    EXPECT_LE(backdrop.Pixel(150, 50)[0], 10);
    EXPECT_GE(backdrop.Pixel(50, 50)[0], 245);

}

// An image with a soft mask of its own ignores the state's mask, which
// hides everything else here (an empty group over black): the blue fills
// before and after the image vanish, the image shows red.
TEST(TransparencyFixtures, ImageSoftMaskOverridesTheStateMask) {
    VPL_REQUIRE_TOOL("mutool");
    VPL_REQUIRE_TOOL("pdftoppm");
    vpltest::InstallPageRenderServices();
    vpltest::TempDir tmp;
    const TTransparencyPage page =
        {"image_smask_over_state_mask",
         "/M gs 0 0 1 rg 0 0 100 100 re f q 80 0 0 60 110 20 cm /Im0 Do Q 0 0 1 rg 100 0 10 10 re f",
         "/ExtGState << /M << /SMask << /S /Luminosity /G 5 0 R >> >> >> /XObject << /Im0 6 0 R >>",
         {Stream("/Type /XObject /Subtype /Form /BBox [0 0 200 100] /Group << /S /Transparency "
                 "/CS /DeviceRGB >>",
                 "q Q"),
          Stream("/Type /XObject /Subtype /Image /Width 2 /Height 1 /ColorSpace /DeviceRGB "
                 "/BitsPerComponent 8 /SMask 7 0 R /Filter /ASCIIHexDecode",
                 "FF0000FF0000>"),
          Stream("/Type /XObject /Subtype /Image /Width 2 /Height 1 /ColorSpace /DeviceGray "
                 "/BitsPerComponent 8 /Filter /ASCIIHexDecode",
                 "FFFF>")}};
    const fs::path file = tmp / "image_smask_over_state_mask.pdf";
    vpltest::WriteFile(file, TransparencyPdf(page, false));
    vpltest::TRgbRaster own;
    std::string error;
    ASSERT_TRUE(vpltest::RenderFilePageToPng(file, 1, 72, own, error)) << error;
    ASSERT_EQ(own.height, 100);
    EXPECT_GE(own.Pixel(50, 50)[0], 245) << "masked fill before the image";
    EXPECT_GE(own.Pixel(105, 94)[0], 245) << "masked fill after the image";
    EXPECT_GE(own.Pixel(150, 50)[0], 245);
    EXPECT_LE(own.Pixel(150, 50)[1], 10);
    EXPECT_LE(own.Pixel(150, 50)[2], 10);
    vpltest::TRenderCache cache;
    for (int dpi : {72, 150})
        vpltest::ExpectPageAgreesWithPeers(cache, file, dpi, "image_smask_over_state_mask");
}

// A stencil mask of four stripes (painted, clear, painted, clear from the
// top) over x 20 … 180, y 10 … 90, filled with a red-to-blue ramp along x
// that has a green /Background: the stencil shows the ramp, never the plain
// fill colour. As an image XObject or as an inline image.
std::string StencilPatternPdf(bool Inline) {
    const std::string stencil = "/W 8 /H 4 /BPC 1 /IM true /F /AHx";
    const std::string data = "00FF00FF>";
    const std::string content =
        "q /Pattern cs /P0 scn 160 0 0 80 20 10 cm " +
        (Inline ? "BI " + stencil + " ID " + data + " EI" : std::string("/Im0 Do")) + " Q";
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Resources << /Pattern << /P0 5 "
        "0 R >> /XObject << /Im0 6 0 R >> >> /Contents 4 0 R >>",
        Stream("", content),
        "<< /PatternType 2 /Shading << /ShadingType 2 /ColorSpace /DeviceRGB /Background [0 1 "
        "0] /Coords [20 0 180 0] /Function << /FunctionType 2 /Domain [0 1] /C0 [1 0 0] /C1 [0 "
        "0 1] /N 1 >> >> >>",
        Stream("/Type /XObject /Subtype /Image /Width 8 /Height 4 /BitsPerComponent 1 "
               "/ImageMask true /Filter /ASCIIHexDecode",
               data)};
    return vpltest::PdfFromObjects(objects, "1.5");
}

TEST(StencilFixtures, PatternFillShowsThroughTheStencil) {
    VPL_REQUIRE_TOOL("mutool");
    VPL_REQUIRE_TOOL("pdftoppm");
    vpltest::InstallPageRenderServices();
    vpltest::TempDir tmp;
    vpltest::TRenderCache cache;
    for (bool inlined : {false, true}) {
        const std::string label = inlined ? "stencil_pattern_inline" : "stencil_pattern";
        const fs::path file = tmp / (label + ".pdf");
        vpltest::WriteFile(file, StencilPatternPdf(inlined));
        vpltest::TRgbRaster ours;
        std::string error;
        ASSERT_TRUE(vpltest::RenderFilePageToPng(file, 1, 72, ours, error)) << error;
        ASSERT_EQ(ours.width, 200);
        auto At = [&](int X, int PageY) { return ours.Pixel(X, 99 - PageY); };
        // Painted stripes: red at the left end, blue at the right end.
        for (int y : {80, 40}) {
            EXPECT_GE(At(30, y)[0], 200) << label << " y " << y;
            EXPECT_LE(At(30, y)[2], 80) << label << " y " << y;
            EXPECT_LE(At(170, y)[0], 80) << label << " y " << y;
            EXPECT_GE(At(170, y)[2], 200) << label << " y " << y;
            EXPECT_LE(At(100, y)[1], 40) << label << " no background under the ramp";
        }
        // Clear stripes and the page around the image stay white.
        for (auto [x, y] : {std::pair{100, 60}, std::pair{100, 20}, std::pair{10, 80},
                            std::pair{190, 40}, std::pair{100, 95}}) {
            EXPECT_GE(At(x, y)[0], 245) << label << " at " << x << ", " << y;
            EXPECT_GE(At(x, y)[1], 245) << label << " at " << x << ", " << y;
        }
        for (int dpi : {72, 150}) vpltest::ExpectPageAgreesWithPeers(cache, file, dpi, label);
    }
}

}  // namespace

std::vector<vpltest::TFixturePage> vpltest::ShadingFixturePages() {
    std::vector<TFixturePage> pages;
    for (const TShadingCase& c : Cases())
        for (TPaint paint : {bySh, byPattern})
            pages.push_back({std::string(c.name) + (paint == bySh ? "-sh" : "-pattern"),
                             PagePdf(c, paint, false)});
    return pages;
}

std::vector<vpltest::TFixturePage> vpltest::TransparencyFixturePages() {
    std::vector<TFixturePage> pages;
    for (const TTransparencyPage& p : TransparencyPages())
        pages.push_back({p.name, TransparencyPdf(p, false)});
    return pages;
}
