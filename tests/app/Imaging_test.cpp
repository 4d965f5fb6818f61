#include "app/imaging/Imaging.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <filesystem>

#include "codecs/GIFWriter.h"
#include "codecs/JPEGImage.h"
#include "core/PNG.h"
#include "platform/files/Stream.h"
#include "platform/files/WideFile.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using namespace velmo;

namespace {

std::u16string W(const fs::path& p) { return FileSystemNameToWide(p.string()); }

// A smooth picture with a few distinct areas.
TBitmap Picture(int w, int h) {
    TBitmap b(w, h, pf24bit);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = b.ScanLine(y);
        for (int x = 0; x < w; ++x) {
            row[3 * x] = uint8_t(x * 255 / std::max(1, w - 1));
            row[3 * x + 1] = uint8_t(y * 255 / std::max(1, h - 1));
            row[3 * x + 2] = x < w / 2 ? 40 : 200;
        }
    }
    return b;
}

std::string Encoded(const TBitmap& b, TImageFormat f) {
    TMemoryStream s;
    switch (f) {
        case TImageFormat::BMP:
            b.SaveToStream(s);
            break;
        case TImageFormat::PNG: {
            TPNGWriter w(b);
            w.SaveToStream(s);
            break;
        }
        case TImageFormat::JPEG: {
            TPDFJPEGImage j;
            j.Assign(b);
            j.SaveToStream(s);
            break;
        }
        case TImageFormat::GIF:
            SaveBitmapAsGIF(b, s);
            break;
        default:
            break;
    }
    return s.Bytes();
}

// A PNG file of packed rows (each already prefixed with its filter byte 0).
std::string MakePng(uint32_t w, uint32_t h, uint8_t depth, uint8_t colorType, const std::string& palette,
                    const std::string& rows) {
    auto be32 = [](uint32_t v) {
        std::string r(4, '\0');
        for (int i = 0; i < 4; ++i) r[size_t(i)] = char((v >> (24 - 8 * i)) & 0xFF);
        return r;
    };
    auto chunk = [&](const std::string& type, const std::string& data) {
        const std::string body = type + data;
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()));
        return be32(uint32_t(data.size())) + body + be32(uint32_t(crc));
    };
    std::string z(compressBound(uLong(rows.size())), '\0');
    uLongf zlen = uLongf(z.size());
    compress(reinterpret_cast<Bytef*>(z.data()), &zlen, reinterpret_cast<const Bytef*>(rows.data()),
             uLong(rows.size()));
    z.resize(zlen);
    std::string ihdr = be32(w) + be32(h) + char(depth) + char(colorType) + std::string(3, '\0');
    std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr);
    if (!palette.empty())
        png += chunk("PLTE", palette);
    return png + chunk("IDAT", z) + chunk("IEND", "");
}

double MeanDifference(const TBitmap& a, const TBitmap& b) {
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width() * 3; ++x)
            sum += std::abs(int(a.ScanLine(y)[x]) - int(b.ScanLine(y)[x]));
    return sum / (double(a.Width()) * a.Height() * 3);
}

TEST(Imaging, DecodesByContent) {
    vpltest::TempDir dir;
    const TBitmap pic = Picture(40, 30);
    struct Case {
        TImageFormat format;
        const char* misleadingName;
        double maxDifference;
    };
    const Case cases[] = {
        {TImageFormat::BMP, "b.png", 0},
        {TImageFormat::PNG, "p.jpg", 0},
        {TImageFormat::JPEG, "j.gif", 4},
        {TImageFormat::GIF, "g.bmp", 12},
    };
    for (const auto& c : cases) {
        const fs::path file = dir / c.misleadingName;
        vpltest::WriteFile(file, Encoded(pic, c.format));
        TImagingImage image;
        image.LoadFromFile(W(file));
        EXPECT_EQ(image.LoadedFormat(), c.format) << c.misleadingName;
        EXPECT_EQ(image.SaveFormat(), c.format);
        ASSERT_EQ(image.Width(), 40);
        ASSERT_EQ(image.Height(), 30);
        EXPECT_LE(MeanDifference(image.Bitmap(), pic), c.maxDifference) << c.misleadingName;
        int w = 0, h = 0;
        GetImageSize(W(file), w, h);
        EXPECT_EQ(w * 1000 + h, 40030);
    }
    // What cannot be decoded raises, whatever its name.
    const std::string png = Encoded(pic, TImageFormat::PNG);
    const std::pair<const char*, std::string> bad[] = {
        {"text.png", "not an image at all"},
        {"empty.jpg", ""},
        {"cut.png", png.substr(0, 40)},
        {"cut.jpg", Encoded(pic, TImageFormat::JPEG).substr(0, 30)},
        {"cut.bmp", Encoded(pic, TImageFormat::BMP).substr(0, 60)},
        {"gif.gif", "GIF89a"},
    };
    for (const auto& [name, bytes] : bad) {
        vpltest::WriteFile(dir / name, bytes);
        TImagingImage image;
        EXPECT_ANY_THROW(image.LoadFromFile(W(dir / name))) << name;
    }
    TImagingImage image;
    EXPECT_ANY_THROW(image.LoadFromFile(W(dir / "missing.png")));
}

TEST(Imaging, DecodesNarrowPngSamples) {
    // 1-bit grey: 1010 / 0101.
    TImagingImage grey;
    grey.LoadFromBytes(MakePng(4, 2, 1, 0, "", std::string("\0\xA0\0\x50", 4)));
    const TColor greyWant[2][4] = {{0xFFFFFF, 0, 0xFFFFFF, 0}, {0, 0xFFFFFF, 0, 0xFFFFFF}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(grey.Bitmap().GetPixel(x, y), greyWant[y][x]) << x << "," << y;
    // 2-bit palette of red, green, blue: indices 0 1 2 3 (3 lies beyond the
    // palette and reads as black).
    TImagingImage pal;
    pal.LoadFromBytes(MakePng(4, 1, 2, 3, std::string("\xFF\0\0\0\xFF\0\0\0\xFF", 9),
                              std::string("\0\x1B", 2)));
    const TColor palWant[4] = {0x0000FF, 0x00FF00, 0xFF0000, 0};
    for (int x = 0; x < 4; ++x) EXPECT_EQ(pal.Bitmap().GetPixel(x, 0), palWant[x]) << x;
    // 4-bit grey scales 15 to white.
    TImagingImage four;
    four.LoadFromBytes(MakePng(2, 1, 4, 0, "", std::string("\0\xF5", 2)));
    EXPECT_EQ(four.Bitmap().GetPixel(0, 0), 0xFFFFFF);
    EXPECT_EQ(four.Bitmap().GetPixel(1, 0), 0x555555);
}

TEST(Imaging, UnchangedImageKeepsItsBytes) {
    vpltest::TempDir dir;
    const TBitmap pic = Picture(20, 10);
    for (auto f : {TImageFormat::JPEG, TImageFormat::PNG, TImageFormat::BMP, TImageFormat::GIF}) {
        const std::string bytes = Encoded(pic, f);
        vpltest::WriteFile(dir / "src", bytes);
        // Same format (by content, any extension that names no other): same bytes.
        ConvertImageFile(W(dir / "src"), W(dir / "copy.tmp"));
        EXPECT_EQ(vpltest::ReadFile(dir / "copy.tmp"), bytes);
    }
    const std::string jpeg = Encoded(pic, TImageFormat::JPEG);
    vpltest::WriteFile(dir / "c.JPG", jpeg);
    ConvertImageFile(W(dir / "c.JPG"), W(dir / "c.jpg"));
    EXPECT_EQ(vpltest::ReadFile(dir / "c.jpg"), jpeg);

    // Another format, or a scaled image, is encoded anew.
    vpltest::WriteFile(dir / "a.png", Encoded(pic, TImageFormat::PNG));
    struct Case {
        const char* dest;
        TImageFormat format;
    };
    for (const Case& c : {Case{"a.jpg", TImageFormat::JPEG}, Case{"a.bmp", TImageFormat::BMP},
                          Case{"a.gif", TImageFormat::GIF}, Case{"a.JPG", TImageFormat::JPEG}}) {
        ConvertImageFile(W(dir / "a.png"), W(dir / c.dest));
        EXPECT_EQ(DetectImageFormat(vpltest::ReadFile(dir / c.dest)), c.format) << c.dest;
    }
    ConvertImageFile(W(dir / "a.png"), W(dir / "a.jpeg"));  // ".jpeg" names no save format
    EXPECT_EQ(DetectImageFormat(vpltest::ReadFile(dir / "a.jpeg")), TImageFormat::PNG);
    TImagingImage scaled;
    scaled.LoadFromFile(W(dir / "a.png"));
    scaled.Scale(10, 5);
    EXPECT_TRUE(scaled.Modified());
    TImagingImage back;
    back.LoadFromBytes(scaled.Encode());
    EXPECT_EQ(back.LoadedFormat(), TImageFormat::PNG);
    EXPECT_EQ(back.Width() * 100 + back.Height(), 1005);
}

TEST(Imaging, ScalerValues) {
    // A row of two pixels enlarged to four interpolates between the centres;
    // four shrunk to two average pairs.
    TBitmap two(2, 1, pf24bit);
    two.SetPixel(0, 0, 0x000000);
    two.SetPixel(1, 0, 0xFFFFFF);
    TBitmap four = ScaleBitmap(two, 4, 1);
    const int enlarged[] = {0, 64, 191, 255};
    for (int x = 0; x < 4; ++x) EXPECT_EQ(four.ScanLine(0)[3 * x], enlarged[x]) << x;

    TBitmap row(4, 1, pf24bit);
    const int src[] = {0, 100, 200, 255};
    for (int x = 0; x < 4; ++x) row.SetPixel(x, 0, TColor(src[x] * 0x010101));
    TBitmap half = ScaleBitmap(row, 2, 1);
    EXPECT_EQ(half.ScanLine(0)[0], 50);
    EXPECT_EQ(half.ScanLine(0)[3], 228);
    TBitmap third = ScaleBitmap(row, 3, 1);  // each covers 4/3 source pixels
    EXPECT_EQ(third.ScanLine(0)[0], 25);     // (0 + 100/3) * 3/4
    EXPECT_EQ(third.ScanLine(0)[3], 150);

    // A uniform picture stays uniform at any size.
    TBitmap grey(7, 5, pf24bit);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) grey.SetPixel(x, y, 0x808080);
    for (auto [w, h] : {std::pair{3, 2}, std::pair{20, 13}, std::pair{1, 1}, std::pair{7, 1}}) {
        TBitmap s = ScaleBitmap(grey, w, h);
        ASSERT_EQ(s.Width(), w);
        ASSERT_EQ(s.Height(), h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) EXPECT_EQ(s.GetPixel(x, y), 0x808080);
    }

    // Transparent pixels lend no colour to their neighbours.
    TBitmap alpha(2, 1, pf32bit);
    uint8_t* p = alpha.ScanLine(0);
    const uint8_t px[] = {0, 0, 255, 0, 255, 0, 0, 255};  // red clear, blue opaque
    std::copy(px, px + 8, p);
    TBitmap one = ScaleBitmap(alpha, 1, 1);
    EXPECT_EQ(one.ScanLine(0)[0], 255);
    EXPECT_EQ(one.ScanLine(0)[2], 0);
    EXPECT_EQ(one.ScanLine(0)[3], 128);

    for (auto [w, h] : {std::pair{0, 1}, std::pair{1, 0}, std::pair{-5, 3}, std::pair{65536, 1}})
        EXPECT_THROW(ScaleBitmap(grey, w, h), EImagingError) << w << "x" << h;
    EXPECT_THROW(ScaleBitmap(TBitmap(), 2, 2), EImagingError);
}

TEST(Imaging, FailedResizeLeavesTheFile) {
    vpltest::TempDir dir;
    const std::string bytes = Encoded(Picture(30, 20), TImageFormat::PNG);
    vpltest::WriteFile(dir / "a.png", bytes);
    EXPECT_THROW(ResizeImageFile(W(dir / "a.png"), W(dir / "a.png"), 0, 0), EImagingError);
    EXPECT_THROW(ResizeImageFile(W(dir / "a.png"), W(dir / "a.png"), 10, 0), EImagingError);
    EXPECT_EQ(vpltest::ReadFile(dir / "a.png"), bytes);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    ResizeImageFile(W(dir / "a.png"), W(dir / "a.png"), 15, 10);
    TImagingImage back;
    back.LoadFromFile(W(dir / "a.png"));
    EXPECT_EQ(back.LoadedFormat(), TImageFormat::PNG);
    EXPECT_EQ(back.Width(), 15);
    EXPECT_EQ(back.Height(), 10);
}

TEST(Imaging, RecompressQuality) {
    vpltest::TempDir dir;
    const std::string jpeg = Encoded(Picture(64, 48), TImageFormat::JPEG);
    auto at = [&](int q) {
        vpltest::WriteFile(dir / "q.jpg", jpeg);
        RecompressJPEGFile(W(dir / "q.jpg"), q);
        return vpltest::ReadFile(dir / "q.jpg");
    };
    // The quality is one byte kept within 1..100.
    const std::pair<int, int> table[] = {{0, 1}, {256, 1}, {150, 100}, {257, 1}};
    for (auto [given, used] : table) EXPECT_EQ(at(given), at(used)) << given;
    EXPECT_NE(at(75), at(100));
    EXPECT_LT(at(20).size(), at(95).size());

    vpltest::WriteFile(dir / "not.jpg", Encoded(Picture(8, 8), TImageFormat::PNG));
    EXPECT_ANY_THROW(RecompressJPEGFile(W(dir / "not.jpg"), 80));
    EXPECT_EQ(DetectImageFormat(vpltest::ReadFile(dir / "not.jpg")), TImageFormat::PNG);
}

}  // namespace
