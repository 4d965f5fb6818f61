// BMP files compared with ImageMagick: files it writes (palettes, RLE, bit
// fields, 16 and 32 bits, the v5 header) read as it reads them, and files we
// write decoded by it to our pixels.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/files/WideFile.h"
#include "platform/gdi/Bitmap.h"
#include "tests/support/TestSupport.h"

using namespace velmo;

namespace {

constexpr const char* kIM = "convert-im6.q16";

std::string MagickRGBA8(const std::filesystem::path& file) {
    vpltest::CommandResult r = vpltest::RunCommand({kIM, file.string(), "-depth", "8", "rgba:-"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
}

}  // namespace

TEST(oracle, bmp_reader_matches_imagemagick) {
    VPL_REQUIRE_TOOL(kIM);
    vpltest::TempDir dir;
    struct Case {
        const char* name;
        std::vector<std::string> args;  // after the source image, before the output
        const char* prefix;
        bool alpha;  // ImageMagick's alpha is compared
        int shift = 0;  // low bits not compared: ImageMagick widens 4-bit
                        // fields by shifting, we repeat the bits (4 -> 0x44)
    } cases[] = {
        {"rgb24", {}, "BMP3:", false},
        {"v5_32_alpha", {"-alpha", "set", "-channel", "A", "-fx", "(i+j)/12", "+channel"}, "BMP:", true},
        {"rgb565", {"-define", "bmp:subtype=RGB565"}, "BMP:", false},
        {"rgb555", {"-define", "bmp:subtype=RGB555"}, "BMP:", false},
        {"argb4444", {"-alpha", "set", "-channel", "A", "-fx", "j/6", "+channel", "-define", "bmp:subtype=ARGB4444"}, "BMP:", true, 4},
        {"pal8", {"+dither", "-colors", "200", "-type", "palette"}, "BMP3:", false},
        {"rle8", {"+dither", "-colors", "40", "-type", "palette", "-compress", "RLE"}, "BMP3:", false},
        {"pal4", {"+dither", "-colors", "12", "-type", "palette"}, "BMP3:", false},
        {"mono", {"-type", "bilevel"}, "BMP3:", false},
        {"os2", {"+dither", "-colors", "16", "-type", "palette"}, "BMP2:", false},
    };
    for (const Case& c : cases)
        for (const char* size : {"7x5", "1x1", "13x4"}) {
            std::string name = std::string(c.name) + "_" + size + ".bmp";
            SCOPED_TRACE(name);
            std::vector<std::string> argv = {kIM, "-seed", "11", "-size", size, "plasma:fractal"};
            argv.insert(argv.end(), c.args.begin(), c.args.end());
            argv.push_back(c.prefix + (dir / name).string());
            vpltest::CommandResult made = vpltest::RunCommand(argv);
            ASSERT_EQ(made.exitCode, 0) << made.err;

            TBitmap bm;
            bm.LoadFromFile(FileSystemNameToWide((dir / name).string()));
            std::string im = MagickRGBA8(dir / name);
            ASSERT_EQ(im.size(), size_t(bm.Width()) * size_t(bm.Height()) * 4);
            for (int y = 0; y < bm.Height(); ++y)
                for (int x = 0; x < bm.Width(); ++x) {
                    const char* q = &im[4 * (size_t(y) * size_t(bm.Width()) + size_t(x))];
                    TColor px = bm.GetPixel(x, y);
                    const int k = c.shift;
                    ASSERT_EQ(GetRValue(px) >> k, uint8_t(q[0]) >> k) << x << "," << y;
                    ASSERT_EQ(GetGValue(px) >> k, uint8_t(q[1]) >> k) << x << "," << y;
                    ASSERT_EQ(GetBValue(px) >> k, uint8_t(q[2]) >> k) << x << "," << y;
                    if (c.alpha) {
                        ASSERT_EQ(bm.PixelFormat(), pf32bit);
                        ASSERT_EQ(bm.ScanLine(y)[4 * x + 3] >> k, uint8_t(q[3]) >> k) << x << "," << y;
                    }
                }
        }
}

TEST(oracle, bmp_writer_decodes_in_imagemagick) {
    VPL_REQUIRE_TOOL(kIM);
    vpltest::TempDir dir;
    std::mt19937 rng(7);
    for (TPixelFormat f : {pf1bit, pf4bit, pf8bit, pf24bit, pf32bit})
        for (int w = 1; w <= 7; ++w) {
            SCOPED_TRACE(std::to_string(BitsPerPixel(f)) + " bits, width " + std::to_string(w));
            TBitmap bm(w, 3, f);
            if (BitsPerPixel(f) <= 8) {
                std::vector<TRGBQuad> pal(size_t(1) << BitsPerPixel(f));
                for (auto& q : pal)
                    q = RGBQuad(uint8_t(rng()), uint8_t(rng()), uint8_t(rng()));
                bm.SetPalette(pal);
                for (int y = 0; y < 3; ++y)
                    for (int x = 0; x < w; ++x) {
                        const TRGBQuad& q = pal[rng() % pal.size()];
                        bm.SetPixel(x, y, RGB(q.rgbRed, q.rgbGreen, q.rgbBlue));
                    }
            } else {
                for (int y = 0; y < 3; ++y)
                    for (int x = 0; x < w; ++x)
                        bm.SetPixel(x, y, TColor(rng() & 0xFFFFFF));
            }
            std::filesystem::path file = dir / "w.bmp";
            bm.SaveToFile(FileSystemNameToWide(file.string()));
            std::string im = MagickRGBA8(file);
            ASSERT_EQ(im.size(), size_t(w) * 3 * 4);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < w; ++x) {
                    const char* q = &im[4 * (size_t(y) * size_t(w) + size_t(x))];
                    TColor px = bm.GetPixel(x, y);
                    ASSERT_EQ(RGB(uint8_t(q[0]), uint8_t(q[1]), uint8_t(q[2])), px) << x << "," << y;
                }
        }
}
