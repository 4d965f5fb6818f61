// The conversion tool's images-to-PDF build, call for call, through the
// public class; the file is checked with pdfinfo, pdfimages and qpdf.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "api/VelmoPDF.h"
#include "platform/files/WideFile.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace velmo {
namespace {

std::u16string Wide(const fs::path& p) { return FileSystemNameToWide(p.string()); }

// The build of the tool: one page per file, sized to the image in points,
// the image over the whole page; no result is examined.
void BuildPdf(const std::vector<fs::path>& Files, const fs::path& Out) {
    TVelmoPDF lib;
    lib.NewDocument();
    for (size_t i = 0; i < Files.size(); ++i) {
        lib.AddImageFromFile(Wide(Files[i]), 1);
        const int32_t w = lib.ImageWidth();
        const int32_t h = lib.ImageHeight();
        lib.SetPageDimensions(w, h);
        lib.DrawImage(0, h, w, h);
        if (Files.size() != i + 1) lib.NewPage();
    }
    lib.SaveToFile(Wide(Out));
}

TEST(oracle, api_images_to_pdf) {
    VPL_REQUIRE_TOOL("pdfinfo");
    VPL_REQUIRE_TOOL("pdfimages");
    VPL_REQUIRE_TOOL("qpdf");
    if (!fs::exists("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick is not installed";
    vpltest::TempDir dir;
    const std::pair<int, int> sizes[] = {{800, 600}, {1024, 768}, {600, 800}};
    std::vector<fs::path> files;
    for (const auto& [w, h] : sizes) {
        const fs::path f = dir / ("img" + std::to_string(files.size() + 1) + ".jpg");
        auto r = vpltest::RunCommand({"/usr/bin/convert", "-size",
                                      std::to_string(w) + "x" + std::to_string(h), "plasma:fractal",
                                      "-quality", "85", f.string()});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        files.push_back(f);
    }
    const fs::path out = dir / "out.pdf";
    BuildPdf(files, out);
    ASSERT_TRUE(fs::exists(out));

    auto check = vpltest::RunCommand({"qpdf", "--check", out.string()});
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;

    auto info = vpltest::RunCommand({"pdfinfo", "-f", "1", "-l", "3", out.string()});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_NE(info.out.find("Pages:           3"), std::string::npos) << info.out;
    for (size_t i = 0; i < 3; ++i) {
        char want[96];
        std::snprintf(want, sizeof want, "Page    %zu size:  %d x %d pts", i + 1, sizes[i].first,
                      sizes[i].second);
        EXPECT_NE(info.out.find(want), std::string::npos) << want << "\n" << info.out;
    }

    const fs::path prefix = dir / "x";
    auto images = vpltest::RunCommand({"pdfimages", "-j", out.string(), prefix.string()});
    ASSERT_EQ(images.exitCode, 0) << images.err;
    for (size_t i = 0; i < 3; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "x-%03zu.jpg", i);
        ASSERT_TRUE(fs::exists(dir / name)) << name;
        EXPECT_EQ(vpltest::ReadFile(dir / name), vpltest::ReadFile(files[i])) << name;
    }
}

}  // namespace
}  // namespace velmo
