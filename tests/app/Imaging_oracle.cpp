// The imaging layer against ImageMagick: scaled pixels close to its
// -resize, and every written file read back by identify.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "app/Utilities.h"
#include "app/imaging/Imaging.h"
#include "codecs/JPEGImage.h"
#include "core/PNG.h"
#include "platform/files/Stream.h"
#include "platform/files/WideFile.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using namespace velmo;

namespace {

std::u16string W(const fs::path& p) { return FileSystemNameToWide(p.string()); }

// Soft shapes over gradients, like a photo without noise.
TBitmap Photo(int w, int h) {
    TBitmap b(w, h, pf24bit);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = b.ScanLine(y);
        for (int x = 0; x < w; ++x) {
            if (w < 10 || h < 10) {  // a few pixels: a plain ramp
                row[3 * x] = uint8_t(60 + 40 * x + 20 * y);
                row[3 * x + 1] = uint8_t(200 - 30 * x);
                row[3 * x + 2] = uint8_t(90 + 25 * y);
                continue;
            }
            const double u = double(x) / w, v = double(y) / h;
            const double d = std::hypot(u - 0.4, v - 0.5);
            row[3 * x] = uint8_t(255 * u);
            row[3 * x + 1] = uint8_t(127.5 + 127 * std::sin(6 * v + 3 * u));
            row[3 * x + 2] = uint8_t(d < 0.25 ? 230 - 200 * d : 40 + 100 * v);
        }
    }
    return b;
}

void SavePng(const TBitmap& b, const fs::path& p) {
    TPNGWriter w(b);
    w.SaveToFile(W(p));
}

TBitmap LoadPng(const fs::path& p) {
    TImagingImage i;
    i.LoadFromFile(W(p));
    return i.Bitmap();
}

std::string Identify(const std::string& format, const fs::path& p) {
    auto r = vpltest::RunCommand({"identify", "-format", format, p.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
}

TEST(ImagingOracle, ScaleAgreesWithImageMagick) {
    VPL_REQUIRE_TOOL("convert");
    vpltest::TempDir dir;
    struct Case {
        int w, h, width;  // source size and the width asked for
        int outW, outH;
    };
    const Case cases[] = {
        {1000, 750, 800, 800, 600},
        {3, 2, 2, 2, 1},
        {2, 3, 1, 1, 2},
        {120, 90, 300, 300, 225},  // enlarging
    };
    for (const auto& c : cases) {
        const fs::path src = dir / "src.png", ours = dir / "ours.png", ref = dir / "ref.png";
        SavePng(Photo(c.w, c.h), src);
        int w = 0, h = 0;
        GetImageSize(W(src), w, h);
        const int H = int(RoundHalfUp(h * (double(c.width) / w)));
        ASSERT_EQ(H, c.outH);
        fs::copy_file(src, ours, fs::copy_options::overwrite_existing);
        ResizeImageFile(W(ours), W(ours), c.width, H);
        const std::string geometry = std::to_string(c.outW) + "x" + std::to_string(c.outH) + "!";
        auto r = vpltest::RunCommand({"convert", src.string(), "-resize", geometry, ref.string()});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(Identify("%m %w %h", ours),
                  "PNG " + std::to_string(c.outW) + " " + std::to_string(c.outH));
        const TBitmap a = LoadPng(ours), b = LoadPng(ref);
        ASSERT_EQ(a.Width(), b.Width());
        ASSERT_EQ(a.Height(), b.Height());
        double sum = 0;
        for (int y = 0; y < a.Height(); ++y)
            for (int x = 0; x < a.Width() * 3; ++x)
                sum += std::abs(int(a.ScanLine(y)[x]) - int(b.ScanLine(y)[x]));
        const double mean = sum / (double(a.Width()) * a.Height() * 3);
        EXPECT_LE(mean, 3.0) << c.w << "x" << c.h << " -> " << geometry;
    }
}

TEST(ImagingOracle, EncodersReadBack) {
    VPL_REQUIRE_TOOL("identify");
    vpltest::TempDir dir;
    SavePng(Photo(64, 48), dir / "src.png");
    struct Case {
        const char* dest;
        const char* magick;
        TImageFormat format;
    };
    const Case cases[] = {{"o.jpg", "JPEG", TImageFormat::JPEG},
                          {"o.bmp", "BMP", TImageFormat::BMP},
                          {"o.gif", "GIF", TImageFormat::GIF},
                          {"o.png", "PNG", TImageFormat::PNG}};
    for (const auto& c : cases) {
        // A scale to the same size marks the image changed, so every format
        // goes through its encoder.
        TImagingImage image;
        image.LoadFromFile(W(dir / "src.png"));
        image.Scale(64, 48);
        image.SetSaveFormat(c.format);
        ConvertImageFile(W(dir / "src.png"), W(dir / c.dest));
        image.SaveToFile(W(dir / (std::string("scaled-") + c.dest)));
        for (const fs::path p : {dir / c.dest, dir / (std::string("scaled-") + c.dest)}) {
            const std::string got = Identify("%m %w %h", p);
            EXPECT_TRUE(got.rfind(c.magick, 0) == 0 && got.ends_with(" 64 48")) << p << ": " << got;
        }
    }
    // The default JPEG quality, and the re-encoding table.
    EXPECT_EQ(Identify("%Q", dir / "o.jpg"), std::to_string(DefaultJPEGQuality));
    const std::pair<double, int> table[] = {{75.9, 75}, {0, 1}, {256, 1}, {150, 100}};
    for (auto [given, used] : table) {
        fs::copy_file(dir / "o.jpg", dir / "q.jpg", fs::copy_options::overwrite_existing);
        RecompressJPEGFile(W(dir / "q.jpg"), int(given));
        EXPECT_EQ(Identify("%Q", dir / "q.jpg"), std::to_string(used)) << given;
    }
}

}  // namespace
