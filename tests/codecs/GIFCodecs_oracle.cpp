// The GIF writer's files read by giflib's tools as by our decoder, and the GIF decoder against
// ImageMagick on files it made.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "codecs/GIFDecoder.h"
#include "codecs/GIFWriter.h"
#include "tests/support/TestSupport.h"

using namespace velmo;

namespace {

TEST(GIFCodecsOracle, WriterOutputReadByGiflib) {
    VPL_REQUIRE_TOOL("giftext");
    VPL_REQUIRE_TOOL("gif2rgb");
    vpltest::TempDir D;
    std::srand(3);
    for (auto [W, H, Colours] : {std::tuple{97, 41, 200}, std::tuple{1, 1, 1}, std::tuple{300, 120, 256}}) {
        SCOPED_TRACE(W);
        TBitmap B(W, H, pf24bit);
        std::vector<TColor> Table;
        for (int I = 0; I < Colours; ++I) Table.push_back(TColor(std::rand() & 0xFFFFFF));
        for (int Y = 0; Y < H; ++Y)
            for (int X = 0; X < W; ++X) B.SetPixel(X, Y, Table[size_t(std::rand() % Colours)]);
        TMemoryStream S;
        SaveBitmapAsGIF(B, S);
        vpltest::WriteFile(D / "p.gif", S.Bytes());
        const auto Text = vpltest::RunCommand({"giftext", (D / "p.gif").string()});
        ASSERT_EQ(Text.exitCode, 0) << Text.err;
        EXPECT_NE(Text.out.find("Width = " + std::to_string(W) + ", Height = " + std::to_string(H)),
                  std::string::npos)
            << Text.out;
        EXPECT_NE(Text.out.find("Image #1"), std::string::npos);
        EXPECT_EQ(Text.out.find("Image #2"), std::string::npos);
        EXPECT_NE(Text.out.find("BitsPerPixel = 8"), std::string::npos) << Text.out;
        const auto Rgb = vpltest::RunCommand({"gif2rgb", "-1", "-o", (D / "p.rgb").string(), (D / "p.gif").string()});
        ASSERT_EQ(Rgb.exitCode, 0) << Rgb.err;
        // At most 256 colours: giflib sees the page's own colours, also
        // those that share a 5-5-5 cell.
        const std::string Px = vpltest::ReadFile(D / "p.rgb");
        ASSERT_EQ(Px.size(), size_t(W) * size_t(H) * 3);
        for (int Y = 0; Y < H; ++Y)
            for (int X = 0; X < W; ++X) {
                const size_t I = 3 * (size_t(Y) * size_t(W) + size_t(X));
                const TColor C = B.GetPixel(X, Y);
                ASSERT_EQ(TColor(uint8_t(Px[I]) | uint8_t(Px[I + 1]) << 8 | uint8_t(Px[I + 2]) << 16), C)
                    << X << "," << Y;
            }
    }
}

TEST(GIFCodecsOracle, DecoderMatchesImageMagick) {
    VPL_REQUIRE_TOOL("convert");
    vpltest::TempDir D;
    for (const char* Interlace : {"none", "gif"}) {
        SCOPED_TRACE(Interlace);
        const std::string Gif = (D / "x.gif").string();
        ASSERT_EQ(vpltest::RunCommand({"convert", "-size", "53x29", "plasma:fractal", "-seed", "9", "-colors", "64",
                                       "-interlace", Interlace, Gif}).exitCode, 0);
        const auto Rgb = vpltest::RunCommand({"convert", Gif, "-depth", "8", "rgb:-"});
        ASSERT_EQ(Rgb.exitCode, 0);
        TPDFGIFDecoder G;
        G.LoadFromString(vpltest::ReadFile(Gif));
        TBitmap B;
        G.SaveToBitmap(B);
        ASSERT_EQ(B.Width(), 53);
        ASSERT_EQ(Rgb.out.size(), 53u * 29u * 3u);
        for (int Y = 0; Y < 29; ++Y)
            for (int X = 0; X < 53; ++X) {
                const size_t I = 3 * (size_t(Y) * 53 + size_t(X));
                ASSERT_EQ(B.GetPixel(X, Y), TColor(uint8_t(Rgb.out[I]) | uint8_t(Rgb.out[I + 1]) << 8 |
                                                   uint8_t(Rgb.out[I + 2]) << 16))
                    << X << "," << Y;
            }
    }
}

}  // namespace
