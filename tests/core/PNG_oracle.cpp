// PNG files of every colour type and depth, interlaced and not, made by
// ImageMagick, read into the reader's pieces and compared with ImageMagick's
// own decoding of the same files; written files decoded by ImageMagick.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Flate.h"
#include "core/PNG.h"
#include "platform/files/WideFile.h"
#include "tests/support/TestSupport.h"

using namespace velmo;

namespace {

constexpr const char* kIM = "convert-im6.q16";

std::u16string W(const std::filesystem::path& p) { return FileSystemNameToWide(p.string()); }

// ImageMagick's decoding of a file as 16-bit RGBA samples.
std::vector<uint16_t> MagickRGBA16(const std::filesystem::path& file) {
    vpltest::CommandResult r = vpltest::RunCommand({kIM, file.string(), "-depth", "16", "-endian", "MSB", "rgba:-"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<uint16_t> v(r.out.size() / 2);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = uint16_t(uint8_t(r.out[2 * i]) << 8 | uint8_t(r.out[2 * i + 1]));
    return v;
}

uint32_t Be32At(const std::string& s, size_t at) {
    return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 |
           uint32_t(uint8_t(s[at + 2])) << 8 | uint8_t(s[at + 3]);
}

// Sample I of a row of Depth-bit samples.
uint32_t Sample(const std::string& row, size_t i, uint32_t depth) {
    if (depth == 16)
        return uint32_t(uint8_t(row[2 * i])) << 8 | uint8_t(row[2 * i + 1]);
    if (depth == 8)
        return uint8_t(row[i]);
    size_t bit = i * depth;
    return (uint8_t(row[bit / 8]) >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
}

uint16_t Scale16(uint32_t v, uint32_t depth) { return uint16_t(v * 65535 / ((1u << depth) - 1)); }

// The image as 16-bit RGBA, rebuilt from the reader's pieces the way a PDF
// consumer would: Flate (with the PNG predictor when embedded), the indexed
// palette, the alpha stream, and for small palettes the tRNS entries found at
// the reported position.
std::vector<uint16_t> FromPieces(const TPNGReader& r, const std::string& file) {
    const uint32_t w = r.Width(), h = r.Height();
    const bool palette = r.ColorType() == 3;
    const int colors = (r.ColorType() == 2 || r.ColorType() == 6) ? 3 : 1;
    const uint32_t depth = r.ImageBitDepth();
    std::string samples = FlateDecompress(r.ImageData());
    if (r.EmbeddedPredictor()) {
        std::string out;
        EXPECT_TRUE(UndoPredictor(samples, 15, colors, int(depth), int(w), false, out));
        samples = out;
    }
    const size_t rowBytes = (size_t(colors) * w * depth + 7) / 8;
    EXPECT_GE(samples.size(), rowBytes * h);
    samples.resize(rowBytes * h);
    std::string alpha = r.AlphaData().empty() ? "" : FlateDecompress(r.AlphaData());
    const uint32_t adepth = r.AlphaBitDepth();
    std::string trns;
    if (palette && r.TransparencyPosition() != 0 && alpha.empty()) {
        size_t at = size_t(r.TransparencyPosition());
        trns = file.substr(at + 8, Be32At(file, at));
    }
    std::vector<uint16_t> out;
    for (uint32_t y = 0; y < h; ++y) {
        std::string row = samples.substr(y * rowBytes, rowBytes);
        for (uint32_t x = 0; x < w; ++x) {
            if (palette) {
                uint32_t i = Sample(row, x, depth);
                for (int c = 0; c < 3; ++c)
                    out.push_back(uint16_t(uint8_t(r.PaletteData()[3 * i + c]) * 257));
                if (!trns.empty())
                    out.push_back(uint16_t((i < trns.size() ? uint8_t(trns[i]) : 255) * 257));
            } else if (colors == 3) {
                for (int c = 0; c < 3; ++c)
                    out.push_back(Scale16(Sample(row, 3 * x + c, depth), depth));
            } else {
                uint16_t g = Scale16(Sample(row, x, depth), depth);
                out.insert(out.end(), {g, g, g});
            }
            if (!alpha.empty()) {
                std::string arow = alpha.substr(size_t(y) * w * adepth / 8, size_t(w) * adepth / 8);
                out.push_back(Scale16(Sample(arow, x, adepth), adepth));
            } else if (trns.empty()) {
                out.push_back(65535);
            }
        }
    }
    return out;
}

struct Made {
    int colorType;
    int depth;
};

// ImageMagick arguments that make a 13 × 11 image of the colour type; the
// palette images have transparent pixels.
std::vector<std::string> SourceArgs(int colorType, int depth, const std::string& size) {
    const std::string s = "-size";
    switch (colorType) {
        case 0:
            return {s, size, "gradient:black-white"};
        case 2:
            return {s, size, "plasma:fractal", "-seed", "3"};
        case 3:
            return {"-seed", "5", s, size, "plasma:fractal", "+dither", "-colors",
                    std::to_string((1 << depth) - 1), "(", s, size, "gradient:white-black",
                    "-threshold", "60%", ")", "-alpha", "off", "-compose", "CopyOpacity",
                    "-composite"};
        default:
            return {"-seed", "7", s,      size,        colorType == 4 ? "gradient:black-white" : "plasma:fractal",
                    "(", s,      size,   "gradient:white-black", ")", "-alpha", "off",
                    "-compose", "CopyOpacity", "-composite"};
    }
}

}  // namespace

TEST(oracle, png_reader_matches_imagemagick) {
    VPL_REQUIRE_TOOL(kIM);
    vpltest::TempDir dir;
    const Made kinds[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8},  {2, 16}, {3, 1},
                          {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
    int checked = 0;
    for (const Made& k : kinds) {
        for (const std::string size : {"13x11", "1x1", "5x3"}) {
            for (bool interlace : {false, true}) {
                std::string name = "t" + std::to_string(k.colorType) + "_" + std::to_string(k.depth) +
                                   "_" + size + (interlace ? "_i" : "") + ".png";
                SCOPED_TRACE(name);
                std::vector<std::string> argv = {kIM};
                for (auto& a : SourceArgs(k.colorType, k.depth, size))
                    argv.push_back(a);
                // Palette images with transparency come out right only through
                // the PNG8 writer.
                std::vector<std::string> tail = {"-define", "png:exclude-chunk=bKGD", "-define",
                                                 "png:bit-depth=" + std::to_string(k.depth),
                                                 "-interlace", interlace ? "PNG" : "None"};
                if (k.colorType == 3) {
                    tail.push_back("PNG8:" + (dir / name).string());
                } else {
                    tail.insert(tail.end(), {"-define", "png:color-type=" + std::to_string(k.colorType),
                                             (dir / name).string()});
                }
                argv.insert(argv.end(), tail.begin(), tail.end());
                vpltest::CommandResult made = vpltest::RunCommand(argv);
                ASSERT_EQ(made.exitCode, 0) << made.err;
                const std::string file = vpltest::ReadFile(dir / name);

                TPNGReader r;
                r.LoadFromFile(W(dir / name));
                // ImageMagick made what was asked for.
                ASSERT_EQ(r.ColorType(), k.colorType);
                ASSERT_EQ(int(r.SourceBitDepth()), k.depth);
                ASSERT_EQ(r.InterlaceMethod(), interlace ? 1 : 0);
                EXPECT_EQ(r.EmbeddedPredictor(),
                          !interlace && k.colorType != 4 && k.colorType != 6);
                EXPECT_EQ(int(r.ImageBitDepth()), k.depth);
                EXPECT_EQ(r.FirstDataPosition(), int64_t(file.find("IDAT") - 4));
                EXPECT_EQ(FromPieces(r, file), MagickRGBA16(dir / name));
                if (k.colorType == 3 && size == "13x11") {
                    // Palette transparency: tRNS, as an alpha channel at depth 8.
                    EXPECT_NE(r.TransparencyPosition(), 0);
                    EXPECT_EQ(r.AlphaData().empty(), k.depth != 8);
                }

                // 16-bit samples reduced to their high bytes.
                if (k.depth == 16) {
                    TPNGReader d;
                    d.SetDownSampleImage(true);
                    d.SetDownSampleAlpha(true);
                    d.LoadFromFile(W(dir / name));
                    EXPECT_EQ(d.ImageBitDepth(), 8u);
                    EXPECT_FALSE(d.EmbeddedPredictor());
                    std::vector<uint16_t> full = FromPieces(r, file), low = FromPieces(d, file);
                    ASSERT_EQ(full.size(), low.size());
                    for (size_t i = 0; i < full.size(); ++i)
                        ASSERT_EQ(low[i], (full[i] >> 8) * 257) << i;
                }

                // The bitmap of 8-bit and narrower images matches ImageMagick's
                // decoding; narrow images come out opaque, so only their
                // colours are compared.
                if (r.ImageBitDepth() <= 8) {
                    std::unique_ptr<TBitmap> bm = r.SaveToBitmap();
                    ASSERT_TRUE(bm);
                    const bool a = !r.AlphaData().empty();
                    if (r.ImageBitDepth() == 8) EXPECT_EQ(bm->PixelFormat(), a ? pf32bit : pf24bit);
                    const bool wide = bm->PixelFormat() == pf32bit;
                    std::vector<uint16_t> im = MagickRGBA16(dir / name);
                    for (int y = 0; y < bm->Height(); ++y)
                        for (int x = 0; x < bm->Width(); ++x) {
                            const uint8_t* p = bm->ScanLine(y) + (wide ? 4 : 3) * x;
                            const uint16_t* q = &im[4 * (size_t(y) * size_t(bm->Width()) + size_t(x))];
                            ASSERT_EQ(p[2] * 257, q[0]);
                            ASSERT_EQ(p[1] * 257, q[1]);
                            ASSERT_EQ(p[0] * 257, q[2]);
                            if (a) {
                                ASSERT_EQ(p[3] * 257, q[3]);
                            }
                        }
                } else {
                    EXPECT_FALSE(r.SaveToBitmap());
                }
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, 90);
}

TEST(oracle, png_writer_decodes_to_source) {
    VPL_REQUIRE_TOOL(kIM);
    vpltest::TempDir dir;
    for (auto [w, h] : {std::pair{17, 9}, std::pair{1, 1}, std::pair{1, 6}, std::pair{300, 2}}) {
        TBitmap bm(w, h, pf24bit);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                bm.SetPixel(x, y, RGB(uint8_t(x * 37 + y), uint8_t(y * 91 + x * 3), uint8_t(x ^ y)));
        // A mask of another size, sampled so that its corners meet the bitmap's.
        TBitmap mask(3, 2, pf8bit);
        mask.SetPalette({RGBQuad(0, 0, 0), RGBQuad(255, 255, 255), RGBQuad(10, 20, 30)});
        for (int x = 0; x < 3; ++x)
            mask.SetPixel(x, 0, x == 2 ? RGB(10, 20, 30) : RGB(255, 255, 255));
        for (bool withMask : {false, true}) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + (withMask ? " mask" : ""));
            std::filesystem::path file = dir / "out.png";
            TPNGWriter writer(bm);
            if (withMask)
                writer.SetAlphaChannel(&mask, false);
            writer.SaveToFile(W(file));
            std::vector<uint16_t> im = MagickRGBA16(file);
            ASSERT_EQ(im.size(), size_t(w) * size_t(h) * 4);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const uint16_t* q = &im[4 * (size_t(y) * size_t(w) + size_t(x))];
                    TColor c = bm.GetPixel(x, y);
                    ASSERT_EQ(q[0], GetRValue(c) * 257);
                    ASSERT_EQ(q[1], GetGValue(c) * 257);
                    ASSERT_EQ(q[2], GetBValue(c) * 257);
                    int mx = w > 1 ? 2 * x / (w - 1) : 0, my = h > 1 ? 1 * y / (h - 1) : 0;
                    int expected = !withMask ? 255 : mask.GetPixel(mx, my) == clWhite ? 255
                                                 : mask.GetPixel(mx, my) == clBlack ? 0
                                                                                    : 30;
                    ASSERT_EQ(q[3], expected * 257) << x << "," << y;
                }
        }
    }
}
