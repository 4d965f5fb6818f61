// The images-to-PDF road checked with poppler, qpdf and ImageMagick: JPEG
// files of every kind the road meets (made with ImageMagick) and PNG files of
// every colour type at 8 and 16 bits become one page each of their pixel
// size; each JPEG stream is the file's bytes; every page renders.
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "content/Image.h"
#include "core/StringHelpers.h"
#include "platform/files/Stream.h"
#include "tests/content/ImageFixtures.h"
#include "tests/content/ImagePages.h"
#include "tests/support/TestSupport.h"

using namespace velmo;
using namespace vpltest;

namespace {

struct TListRow {
    int Page = 0;
    std::string Type, Color;
    int Width = 0, Height = 0, Bpc = 0;
    std::string Enc;
};

// The rows of "pdfimages -list".
std::vector<TListRow> ListImages(const std::filesystem::path& Pdf) {
    auto r = RunCommand({"pdfimages", "-list", Pdf.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<TListRow> rows;
    std::istringstream in(r.out);
    std::string line;
    std::getline(in, line);
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream f(line);
        TListRow row;
        int num = 0, comp = 0;
        f >> row.Page >> num >> row.Type >> row.Width >> row.Height >> row.Color >> comp >>
            row.Bpc >> row.Enc;
        rows.push_back(row);
    }
    return rows;
}

// "rgb", "gray", "cmyk" or "index", as pdfimages names them, from identify.
std::string IdentifyColor(const std::filesystem::path& File) {
    auto r = RunCommand({"/usr/bin/identify", "-format", "%m %[colorspace]", File.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::istringstream f(r.out);
    std::string format, cs;
    f >> format >> cs;
    if (format == "PNG") {
        auto t = RunCommand(
            {"/usr/bin/identify", "-format", "%[png:IHDR.color-type-orig]", File.string()});
        if (t.out == "3") return "index";
    }
    if (cs == "Gray") return "gray";
    if (cs == "CMYK") return "cmyk";
    return "rgb";
}

std::pair<int, int> IdentifySize(const std::filesystem::path& File) {
    auto r = RunCommand({"/usr/bin/identify", "-format", "%w %h", File.string()});
    std::istringstream f(r.out);
    int w = 0, h = 0;
    f >> w >> h;
    return {w, h};
}

// The file without its JFIF segment, with Segment inserted after SOI.
std::string ReplaceJFIF(const std::string& File, const std::string& Segment) {
    size_t p = 2;
    if (uint8_t(File[2]) == 0xFF && uint8_t(File[3]) == 0xE0)
        p = 4 + (size_t(uint8_t(File[4])) << 8 | uint8_t(File[5]));
    return File.substr(0, 2) + Segment + File.substr(p);
}

// qpdf --check passes; with Damaged, the only complaints allowed are about
// decoding the damaged JPEG data, which qpdf then keeps unfiltered.
void CheckPdf(const std::filesystem::path& Pdf, size_t Pages, bool Damaged = false) {
    auto check = RunCommand({"qpdf", "--check", Pdf.string()});
    if (!Damaged) {
        EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    } else {
        EXPECT_TRUE(check.exitCode == 0 || check.exitCode == 3) << check.out << check.err;
        std::istringstream lines(check.out + check.err);
        for (std::string line; std::getline(lines, line);)
            if (line.find("WARNING") != std::string::npos)
                EXPECT_TRUE(line.find("jpeg") != std::string::npos ||
                            line.find("without filtering") != std::string::npos)
                    << line;
    }
    auto n = RunCommand({"qpdf", "--show-npages", Pdf.string()});
    EXPECT_EQ(std::stoul("0" + n.out), Pages);
    const auto renderDir = Pdf.parent_path() / ("render-" + Pdf.stem().string());
    std::filesystem::create_directories(renderDir);
    auto render =
        RunCommand({"pdftoppm", "-r", "9", "-png", Pdf.string(), (renderDir / "p").string()});
    EXPECT_EQ(render.exitCode, 0) << render.err;
    size_t rendered = 0;
    for (const auto& e : std::filesystem::directory_iterator(renderDir))
        rendered += e.is_regular_file();
    EXPECT_EQ(rendered, Pages);
}

}  // namespace

TEST(oracle, images_to_pdf) {
    VPL_REQUIRE_TOOL("/usr/bin/convert");
    VPL_REQUIRE_TOOL("pdfimages");
    VPL_REQUIRE_TOOL("pdftoppm");
    VPL_REQUIRE_TOOL("qpdf");
    TempDir dir;
    auto magick = [&](const std::string& Name, std::vector<std::string> Args) {
        std::vector<std::string> argv = {"/usr/bin/convert", "-size", "64x48", "gradient:red-blue"};
        argv.insert(argv.end(), Args.begin(), Args.end());
        argv.push_back((dir / Name).string());
        auto r = RunCommand(argv);
        EXPECT_EQ(r.exitCode, 0) << Name << r.err;
        return ReadFile(dir / Name);
    };
    struct TFile {
        std::string Name;
        std::string Bytes;
        bool Jpeg;
    };
    std::vector<TFile> files;
    const std::string base = magick("base.jpg", {"-quality", "90"});
    files.push_back({"base.jpg", base, true});
    files.push_back({"progressive.jpg", magick("progressive.jpg", {"-interlace", "JPEG"}), true});
    files.push_back({"gray.jpg", magick("gray.jpg", {"-colorspace", "Gray"}), true});
    files.push_back({"cmyk.jpg", magick("cmyk.jpg", {"-colorspace", "CMYK"}), true});
    files.push_back({"units0.jpg", magick("units0.jpg", {"-units", "Undefined", "-density", "2"}), true});
    files.push_back({"units1.jpg", magick("units1.jpg", {"-units", "PixelsPerInch", "-density", "300"}), true});
    files.push_back({"units2.jpg", magick("units2.jpg", {"-units", "PixelsPerCentimeter", "-density", "118"}), true});
    files.push_back({"exif.jpg", ReplaceJFIF(base, Exif(300)), true});
    files.push_back({"badexif.jpg", ReplaceJFIF(base, JFIF(0, 1, 1) + Exif(300, true)), true});
    files.push_back({"truncated.jpg", base.substr(0, base.size() * 7 / 10), true});
    for (uint8_t type : {0, 2, 3, 4, 6})
        for (uint8_t depth : {8, 16}) {
            if (type == 3 && depth == 16) continue;  // palettes have at most 8 bits
            files.push_back({"png" + std::to_string(type) + "_" + std::to_string(depth) + ".png",
                             Png(type, depth, 37, 23), false});
        }
    files.push_back({"png3_4.png", Png(3, 4, 37, 23), false});

    TImagePages pdf;
    std::vector<TPDFImage*> images;
    for (const TFile& f : files) {
        WriteFile(dir / f.Name, f.Bytes);
        TPDFImage* img = pdf.AddImagePage(f.Bytes);
        ASSERT_NE(img, nullptr) << f.Name;
        images.push_back(img);
    }
    // The resolution the JPEG header gave.
    EXPECT_EQ(images[4]->FDPIUnits, 1);
    EXPECT_EQ(images[5]->FDPIUnits, 2);
    EXPECT_EQ(images[5]->FHDPI, 300);
    EXPECT_EQ(images[6]->FDPIUnits, 3);
    EXPECT_EQ(images[7]->FDPIUnits, 0);
    EXPECT_EQ(images[8]->FDPIUnits, 1);
    const auto pdfPath = dir / "images.pdf";
    ASSERT_TRUE(pdf.Doc->SaveToFile(pdfPath.u16string()));
    CheckPdf(pdfPath, files.size(), true);
    // Without the damaged file qpdf has nothing at all to complain about.
    {
        TImagePages clean;
        for (const TFile& f : files) {
            if (f.Name == "truncated.jpg") continue;
            ASSERT_NE(clean.AddImagePage(f.Bytes), nullptr) << f.Name;
        }
        WriteFile(dir / "clean.pdf", clean.Doc->SaveToString());
        CheckPdf(dir / "clean.pdf", files.size() - 1);
    }

    // Page size, image size and colour agree with identify.
    const auto rows = ListImages(pdfPath);
    std::vector<TListRow> imageRows;
    for (const auto& r : rows)
        if (r.Type == "image") imageRows.push_back(r);
    ASSERT_EQ(imageRows.size(), files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        const auto [w, h] = IdentifySize(dir / files[i].Name);
        EXPECT_EQ(imageRows[i].Width, w) << files[i].Name;
        EXPECT_EQ(imageRows[i].Height, h) << files[i].Name;
        EXPECT_EQ(images[i]->FWidth, w);
        EXPECT_EQ(imageRows[i].Page, int(i + 1));
        if (files[i].Name != "truncated.jpg")
            EXPECT_EQ(imageRows[i].Color, IdentifyColor(dir / files[i].Name)) << files[i].Name;
        EXPECT_EQ(imageRows[i].Enc, files[i].Jpeg ? "jpeg" : "image") << files[i].Name;
    }
    // Each JPEG stream holds the file's bytes.
    const auto out = dir / "extract";
    std::filesystem::create_directories(out);
    auto j = RunCommand({"pdfimages", "-j", pdfPath.string(), (out / "img").string()});
    ASSERT_EQ(j.exitCode, 0) << j.err;
    for (size_t i = 0; i < files.size(); ++i) {
        if (!files[i].Jpeg) continue;
        char name[32];
        std::snprintf(name, sizeof name, "img-%03zu.jpg", i);
        EXPECT_EQ(ReadFile(out / name), files[i].Bytes) << files[i].Name;
    }
}

// What each Options value builds from a 16-bit PNG with alpha, as poppler
// lists it: the image, and the soft mask that follows it.
TEST(oracle, png_options) {
    VPL_REQUIRE_TOOL("pdfimages");
    VPL_REQUIRE_TOOL("qpdf");
    VPL_REQUIRE_TOOL("pdftoppm");
    TempDir dir;
    const std::string png = Png(6, 16, 20, 10);
    TImagePages pdf;
    for (int32_t options = 0; options <= 8; ++options) {
        const bool ok = pdf.AddImagePage(png, options) != nullptr;
        EXPECT_EQ(ok, options <= 7) << options;
    }
    const auto pdfPath = dir / "options.pdf";
    WriteFile(pdfPath, pdf.Doc->SaveToString());
    CheckPdf(pdfPath, 8);
    // Per page: colour and bits of the image, bits of its soft mask (0: none).
    const struct {
        const char* Color;
        int Bpc, MaskBpc;
    } expected[8] = {{"rgb", 16, 0}, {"gray", 16, 0}, {"rgb", 16, 8},  {"rgb", 8, 0},
                     {"gray", 8, 0}, {"rgb", 8, 8},   {"rgb", 16, 16}, {"rgb", 16, 0}};
    const auto rows = ListImages(pdfPath);
    for (int page = 1; page <= 8; ++page) {
        const auto& e = expected[page - 1];
        const TListRow* image = nullptr;
        const TListRow* mask = nullptr;
        for (const auto& r : rows) {
            if (r.Page != page) continue;
            if (r.Type == "image") image = &r;
            if (r.Type == "smask") mask = &r;
        }
        ASSERT_NE(image, nullptr) << page;
        EXPECT_EQ(image->Color, e.Color) << "Options " << page - 1;
        EXPECT_EQ(image->Bpc, e.Bpc) << "Options " << page - 1;
        EXPECT_EQ(mask ? mask->Bpc : 0, e.MaskBpc) << "Options " << page - 1;
    }
}
