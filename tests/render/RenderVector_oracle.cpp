// Vector pages made here, rendered by us through the page tree's file entry
// point and by the peers (mutool, pdftoppm) at the same resolution: every
// page must be similar to at least one peer's render. The pages exercise
// line caps and joins, dashes, curves, both fill rules, nested clips, every
// page rotation, an offset crop box, each colour-space family the
// interpreter fills with, and a group of optional content that the default
// configuration turns off.
#include <cairo.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "document/Document.h"
#include "document/PageTree.h"
#include "render/Renderer.h"
#include "tests/render/FeatureFixturePages.h"
#include "tests/support/RenderSupport.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

struct TVectorPage {
    const char* name;
    const char* content;
    const char* pageKeys = "/MediaBox [0 0 200 200]";  // besides /Type /Parent /Contents
    const char* resources = "";                        // inside the /Resources dictionary
    // Objects 5, 6, ... of the file (1 catalog, 2 pages, 3 page, 4 content).
    std::vector<std::string> objects = {};
    const char* catalogKeys = "";
};

// A file of one page: uncompressed, with a cross-reference table.
std::string OnePagePdf(const TVectorPage& P) {
    return vpltest::OnePagePdf(P.pageKeys, P.resources, P.content, P.objects, P.catalogKeys);
}

std::string StreamObject(const std::string& Keys, const std::string& Data) {
    return "<< " + Keys + " /Length " + std::to_string(Data.size()) + " >>\nstream\n" + Data +
           "\nendstream";
}

// A shape that shows which way the page is turned: a bar along the bottom,
// a block in the top left corner and a diagonal stroke.
const char* kMarks =
    "0 0 1 rg 10 10 180 20 re f 1 0 0 rg 10 230 50 60 re f "
    "0 g 6 w 30 60 m 170 270 l S";

const std::vector<TVectorPage>& Pages() {
    static const std::vector<TVectorPage> pages = {
        {"caps",
         "20 w 0 J 40 150 m 160 150 l S 1 J 40 100 m 160 100 l S 2 J 40 50 m 160 50 l S "
         "1 0 0 RG 1 w 40 30 m 40 170 l S 160 30 m 160 170 l S"},
        {"joins",
         "14 w 0 j 20 40 m 45 160 l 70 40 l S 1 j 80 40 m 105 160 l 130 40 l S "
         "2 j 140 40 m 165 160 l 190 40 l S 0 j 1.5 M 8 w 20 185 m 100 170 l 180 185 l S"},
        {"dashes",
         "0 0 1 RG 6 w [12 6] 0 d 20 170 m 180 170 l S [20 5 5 5] 3 d 20 140 m 180 140 l S "
         "1 J [0 12] 0 d 20 110 m 180 110 l S 2 J [15 10] 0 d 20 60 m 100 20 l 180 60 l S "
         "[] 0 d 1 w 0 G 20 30 160 160 re S"},
        {"curves",
         "0 0.5 0 rg 20 100 m 20 190 180 190 180 100 c 150 40 100 20 v 40 40 20 100 y f "
         "1 0 0 RG 4 w 20 20 m 60 120 140 -40 180 80 c S 1 J 0 0 1 RG "
         "100 100 m 100 140 130 140 y 160 140 160 100 v S"},
        {"fill_nonzero",
         "0 0 1 rg 100 190 m 155 20 l 10 125 l 190 125 l 45 20 l h f "
         "1 0 0 rg 20 20 m 80 20 l 80 80 l 20 80 l h 30 30 m 70 30 l 70 70 l 30 70 l h f"},
        {"fill_evenodd",
         "0 0 1 rg 100 190 m 155 20 l 10 125 l 190 125 l 45 20 l h f* "
         "1 0 0 rg 20 20 m 80 20 l 80 80 l 20 80 l h 30 30 m 70 30 l 70 70 l 30 70 l h f* "
         "0 0.6 0 rg 0 0 0 RG 3 w 120 20 60 60 re 135 35 30 30 re B*"},
        {"nested_clips",
         "q 20 20 160 160 re W n 0.8 g 0 0 200 200 re f "
         "q 100 20 m 180 100 l 100 180 l 20 100 l h W n 0 0 1 rg 0 0 200 200 re f "
         "q 60 60 m 60 160 140 160 140 60 c h W* n 1 0 0 rg 0 0 200 200 re f Q "
         "0 1 0 rg 90 0 20 200 re f Q 0 g 0 95 200 10 re f Q 1 0 1 rg 0 0 15 15 re f"},
        {"rotate_90", kMarks, "/MediaBox [0 0 200 300] /Rotate 90"},
        {"rotate_180", kMarks, "/MediaBox [0 0 200 300] /Rotate 180"},
        {"rotate_270", kMarks, "/MediaBox [0 0 200 300] /Rotate 270"},
        {"rotate_minus_90", kMarks, "/MediaBox [0 0 200 300] /Rotate -90"},
        {"rotate_0", kMarks, "/MediaBox [0 0 200 300] /Rotate 0"},
        {"crop_offset",
         "0.9 g 0 0 300 300 re f 0 0 1 rg 60 90 40 40 re f 1 0 0 rg 200 170 40 40 re f "
         "0 g 4 w 0 0 m 300 300 l S",
         "/MediaBox [0 0 300 300] /CropBox [50 80 250 220]"},
        {"gray",
         "0.25 g 20 20 70 160 re f 0.75 g 110 20 70 160 re f 0.5 G 10 w 10 100 m 190 100 l S"},
        {"rgb",
         "1 0 0 rg 20 120 60 60 re f 0 1 0 rg 120 120 60 60 re f 0 0 1 rg 20 20 60 60 re f "
         "0.2 0.6 0.8 rg 120 20 60 60 re f 1 0.5 0 RG 8 w 10 100 m 190 100 l S"},
        {"cmyk",
         "1 0 0 0 k 20 120 60 60 re f 0 1 0 0 k 120 120 60 60 re f 0 0 1 0 k 20 20 60 60 re f "
         "0 0 0 1 k 120 20 60 60 re f 0.2 0.4 0 0.1 K 8 w 10 100 m 190 100 l S"},
        {"indexed",
         "/I cs 0 sc 20 120 60 60 re f 1 sc 120 120 60 60 re f 2 sc 20 20 60 60 re f "
         "/I CS 3 SC 8 w 10 100 m 190 100 l S",
         "/MediaBox [0 0 200 200]",
         "/ColorSpace << /I [/Indexed /DeviceRGB 3 <FF000000C0000000FF804000>] >>"},
        {"separation",
         "/S cs 1 sc 20 20 70 160 re f 0.4 sc 110 20 70 160 re f /S CS 0.7 SC 8 w 10 100 m "
         "190 100 l S",
         "/MediaBox [0 0 200 200]",
         "/ColorSpace << /S 5 0 R >>",
         {"[/Separation /Spot /DeviceRGB << /FunctionType 2 /Domain [0 1] /C0 [1 1 1] "
          "/C1 [0.8 0.1 0.3] /N 1 >>]"}},
        {"devicen",
         "/D cs 1 0 sc 20 120 60 60 re f 0 1 sc 120 120 60 60 re f 0.5 0.5 sc 20 20 60 60 re f "
         "/D CS 1 1 SC 8 w 10 100 m 190 100 l S",
         "/MediaBox [0 0 200 200]",
         "/ColorSpace << /D [/DeviceN [/A /B] /DeviceRGB 5 0 R] >>",
         {StreamObject("/FunctionType 4 /Domain [0 1 0 1] /Range [0 1 0 1 0 1]",
                       "{ 1 exch sub exch 1 exch sub exch 0.5 }")}},
        {"lab",
         "/L cs 50 60 40 sc 20 120 60 60 re f 70 -50 30 sc 120 120 60 60 re f "
         "40 10 -60 sc 20 20 60 60 re f 90 0 0 sc 120 20 60 60 re f",
         "/MediaBox [0 0 200 200]",
         "/ColorSpace << /L [/Lab << /WhitePoint [0.9505 1 1.089] /Range [-100 100 -100 100] "
         ">>] >>"},
        {"optional_content_off",
         "/OC /On BDC 0 0 1 rg 20 20 70 160 re f EMC /OC /Off BDC 1 0 0 rg 110 20 70 160 re f "
         "EMC 0 g 10 90 180 20 re f",
         "/MediaBox [0 0 200 200]",
         "/Properties << /On 5 0 R /Off 6 0 R >>",
         {"<< /Type /OCG /Name (Shown) >>", "<< /Type /OCG /Name (Hidden) >>"},
         "/OCProperties << /OCGs [5 0 R 6 0 R] /D << /Order [5 0 R 6 0 R] /OFF [6 0 R] >> >>"},
    };
    return pages;
}

TEST(oracle, render_vector_fixtures) {
    VPL_REQUIRE_TOOL("mutool");
    VPL_REQUIRE_TOOL("pdftoppm");
    vpltest::InstallPageRenderServices();
    vpltest::TRenderCache cache;
    vpltest::TempDir tmp;
    for (const TVectorPage& p : Pages()) {
        const fs::path file = tmp / (std::string(p.name) + ".pdf");
        vpltest::WriteFile(file, OnePagePdf(p));
        for (int dpi : {72, 150}) {
            vpltest::ExpectPageAgreesWithPeers(cache, file, dpi, p.name);
        }
    }
}


// The cairo library of this system, bound by its path as a caller would.
std::u16string CairoLibraryPath() {
    Dl_info Info{};
    if (dladdr(reinterpret_cast<void*>(&cairo_create), &Info) == 0 || Info.dli_fname == nullptr)
        return {};
    return fs::path(Info.dli_fname).u16string();
}

// Page 1 of File drawn through the cairo model into a PNG, read back.
bool RenderThroughCairo(const fs::path& File, int DPI, vpltest::TRgbRaster& Out,
                        std::string& Error) {
    velmo::TPDFDocument Doc;
    if (Doc.LoadFromFile(File.u16string(), u"") != velmo::lrOkay) {
        Error = "does not load";
        return false;
    }
    vpltest::TempDir Tmp;
    const fs::path Name = Tmp / std::string("page.png");
    std::string RenderError;
    if (!Doc.PageTree()->RenderPageToCairoFile(DPI, 1, 1, 5, 80, CairoLibraryPath(),
                                               Name.u16string(), false, 0, RenderError,
                                               Doc.GetViewOCGList())) {
        Error = "RenderPageToCairoFile failed";
        return false;
    }
    Error = RenderError;
    for (const auto& E : fs::directory_iterator(Tmp.path()))
        if (E.path().extension() == ".png") return vpltest::ReadPngRaster(E.path(), Out, &Error);
    Error = "no page written";
    return false;
}

bool Near(const uint8_t* P, int R, int G, int B, int Tolerance = 3) {
    return std::abs(P[0] - R) <= Tolerance && std::abs(P[1] - G) <= Tolerance &&
           std::abs(P[2] - B) <= Tolerance;
}

// cairo strokes receive the width only (no caps, joins or dashes): pages
// whose point is one of those are left out of the comparison.
bool CairoDrawsAlike(const TVectorPage& P) {
    const std::string N = P.name;
    return N != "caps" && N != "joins" && N != "dashes";
}

TEST(oracle, cairo_model) {
    vpltest::InstallPageRenderServices();
    const std::u16string Cairo = CairoLibraryPath();
    ASSERT_FALSE(Cairo.empty()) << "the cairo library's path is not known";
    vpltest::TempDir tmp;
    // A page file drawn by cairo and by our default model at 72 and 150 DPI
    // agrees.
    auto ExpectAlike = [&](const std::string& Label, const std::string& Pdf) {
        const fs::path file = tmp / (Label + ".pdf");
        vpltest::WriteFile(file, Pdf);
        for (int dpi : {72, 150}) {
            SCOPED_TRACE(Label + " at " + std::to_string(dpi) + " DPI");
            vpltest::TRgbRaster ours, cairo;
            std::string error;
            ASSERT_TRUE(vpltest::RenderFilePageToPng(file, 1, dpi, ours, error)) << error;
            ASSERT_TRUE(RenderThroughCairo(file, dpi, cairo, error)) << error;
            EXPECT_EQ(error, "");
            const vpltest::TRenderComparison c = vpltest::CompareRenders(cairo, ours);
            EXPECT_TRUE(c.similar) << vpltest::DescribeComparison(c);
        }
    };
    for (const TVectorPage& p : Pages())
        if (CairoDrawsAlike(p)) ExpectAlike(p.name, OnePagePdf(p));

    // Every shading type, by sh and as a pattern fill, with each end
    // extended or not, drawn as the default model draws it.
    for (const vpltest::TFixturePage& p : vpltest::ShadingFixturePages()) ExpectAlike(p.label, p.pdf);

    // The transparency fixtures: alpha, tiling patterns coloured and
    // uncoloured (steps larger than the cell too), pattern strokes and soft
    // masks of both kinds.
    for (const vpltest::TFixturePage& p : vpltest::TransparencyFixturePages())
        ExpectAlike(p.label, p.pdf);

    // A knock-out group of two overlapping rectangles, the second half
    // transparent: the overlap shows the second over the page, not over the
    // first. A group on a page 2000 pixels wide is drawn to its far end.
    const std::string Group = "/Type /XObject /Subtype /Form /BBox [0 0 2000 100] ";
    const std::string Shapes = "1 0 0 rg 0 0 120 100 re f /H gs 0 0 1 rg 80 0 120 100 re f";
    struct TCase {
        const char* Name;
        std::string GroupKeys, Content;
        int X;
        int R, G, B;
    } const Cases[] = {
        {"knock-out overlap", "/K true", Shapes, 100, 127, 127, 255},
        {"knock-out first only", "/K true", Shapes, 40, 255, 0, 0},
        {"ordinary group overlap", "", Shapes, 100, 127, 0, 127},
        {"isolated group beyond 1000 px", "/I true", "0 0 1 rg 1500 0 400 100 re f", 1700, 0, 0,
         255},
        {"knock-out group beyond 1000 px", "/K true", "0 1 0 rg 1500 0 400 100 re f", 1700, 0,
         255, 0},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TVectorPage page{C.Name, "/G1 Do", "/MediaBox [0 0 2000 100]",
                         "/XObject << /G1 5 0 R >>"};
        page.objects = {StreamObject(Group + "/Group << /S /Transparency " + C.GroupKeys +
                                         " >> /Resources << /ExtGState << /H << /ca 0.5 >> >> >>",
                                     C.Content)};
        const fs::path file = tmp / "group.pdf";
        vpltest::WriteFile(file, OnePagePdf(page));
        vpltest::TRgbRaster cairo;
        std::string error;
        ASSERT_TRUE(RenderThroughCairo(file, 72, cairo, error)) << error;
        ASSERT_EQ(cairo.width, 2000);
        const uint8_t* Px = cairo.Pixel(C.X, 50);
        EXPECT_TRUE(Near(Px, C.R, C.G, C.B))
            << int(Px[0]) << "," << int(Px[1]) << "," << int(Px[2]);
    }
}

}  // namespace
