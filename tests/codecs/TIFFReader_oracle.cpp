// The TIFF reader against libtiff's tools on files made at test time by
// ImageMagick and tiffcp: one multipage file of many kinds, whose page
// records must equal tiffinfo's and whose uncompressed and LZW pages must
// decode to the source samples.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "codecs/TIFFReader.h"
#include "tests/codecs/PNM.h"
#include "tests/support/TestSupport.h"

using namespace velmo;

namespace {

struct TInfo {
    int Width = 0, Height = 0, Bits = 0, Samples = 1, RowsPerStrip = 0, TileW = 0, TileH = 0;
    std::string Compression, Photometric;
    double XRes = 0;
    bool Centimetre = false;
};

std::vector<TInfo> TiffInfo(const std::string& Path) {
    const auto R = vpltest::RunCommand({"tiffinfo", Path});
    std::vector<TInfo> Out;
    std::istringstream In(R.out);
    std::string Line;
    std::smatch M;
    while (std::getline(In, Line)) {
        if (Line.rfind("=== TIFF directory", 0) == 0) Out.emplace_back();
        if (Out.empty()) continue;
        TInfo& I = Out.back();
        if (std::regex_search(Line, M, std::regex("Image Width: (\\d+) Image Length: (\\d+)"))) {
            I.Width = std::stoi(M[1]);
            I.Height = std::stoi(M[2]);
        } else if (std::regex_search(Line, M, std::regex("Tile Width: (\\d+) Tile Length: (\\d+)"))) {
            I.TileW = std::stoi(M[1]);
            I.TileH = std::stoi(M[2]);
        } else if (std::regex_search(Line, M, std::regex("Bits/Sample: (\\d+)"))) {
            I.Bits = std::stoi(M[1]);
        } else if (std::regex_search(Line, M, std::regex("Samples/Pixel: (\\d+)"))) {
            I.Samples = std::stoi(M[1]);
        } else if (std::regex_search(Line, M, std::regex("Rows/Strip: (\\d+)"))) {
            I.RowsPerStrip = std::stoi(M[1]);
        } else if (std::regex_search(Line, M, std::regex("Compression Scheme: (.*)$"))) {
            I.Compression = M[1];
        } else if (std::regex_search(Line, M, std::regex("Photometric Interpretation: (.*)$"))) {
            I.Photometric = M[1];
        } else if (std::regex_search(Line, M, std::regex("Resolution: ([0-9.]+), [0-9.]+ (.*)$"))) {
            I.XRes = std::stod(M[1]);
            I.Centimetre = M[2].str().find("cm") != std::string::npos;
        }
    }
    return Out;
}

TTIFFCompression KindOf(const std::string& Scheme) {
    static const std::map<std::string, TTIFFCompression> Kinds = {
        {"None", ttNone}, {"LZW", ttComp}, {"CCITT Group 4", ttCCITT4}, {"CCITT Group 3", ttCCITT31d},
        {"JPEG", ttJPEG}, {"AdobeDeflate", ttDeflate}, {"PackBits", ttPackbits}};
    auto It = Kinds.find(Scheme);
    return It == Kinds.end() ? ttUnknown : It->second;
}

TTIFFPhotometricInterpretation PhotometricOf(const std::string& P) {
    if (P == "min-is-white") return piWhiteIsZero;
    if (P == "min-is-black") return piBlackIsZero;
    if (P == "RGB color") return piRGB;
    if (P == "palette color (RGB from colormap)") return piRGBPalette;
    if (P == "separated") return piCMYK;
    if (P == "YCbCr") return piYCbCr;
    return piCIELab;
}

bool Tool(const std::vector<std::string>& Argv) {
    const auto R = vpltest::RunCommand(Argv);
    EXPECT_EQ(R.exitCode, 0) << Argv[0] << ": " << R.err;
    return R.exitCode == 0;
}

TEST(TIFFReaderOracle, PagesOfManyKindsMatchTiffinfo) {
    VPL_REQUIRE_TOOL("tiffcp");
    VPL_REQUIRE_TOOL("tiffinfo");
    VPL_REQUIRE_TOOL("convert");
    vpltest::TempDir D;
    auto P = [&](const std::string& N) { return (D / N).string(); };
    ASSERT_TRUE(Tool({"convert", "-size", "37x23", "plasma:fractal", "-seed", "5", "-depth", "8", "+noise",
                     "Uniform", P("src.ppm")}));
    ASSERT_TRUE(Tool({"convert", P("src.ppm"), "-compress", "none", P("none.tif")}));
    ASSERT_TRUE(Tool({"tiffcp", "-c", "lzw", P("none.tif"), P("lzw.tif")}));
    ASSERT_TRUE(Tool({"tiffcp", "-c", "lzw:2", P("none.tif"), P("lzw2.tif")}));
    ASSERT_TRUE(Tool({"tiffcp", "-c", "lzw", "-r", "7", P("none.tif"), P("rows7.tif")}));
    ASSERT_TRUE(Tool({"tiffcp", "-c", "none", "-r", "7", P("none.tif"), P("none7.tif")}));
    ASSERT_TRUE(Tool({"tiffcp", "-t", "-w", "16", "-l", "16", P("none.tif"), P("tiles.tif")}));
    ASSERT_TRUE(Tool({"convert", P("src.ppm"), "-colorspace", "cmyk", "-compress", "none", P("cmyk.tif")}));
    ASSERT_TRUE(Tool({"convert", P("src.ppm"), "-colors", "8", "-type", "palette", "-compress", "none", P("pal.tif")}));
    ASSERT_TRUE(Tool({"convert", P("src.ppm"), "-monochrome", "-depth", "1", "-compress", "none", P("bw.tif")}));
    ASSERT_TRUE(Tool({"tiffcp", "-c", "g3:2d", P("bw.tif"), P("g3.tif")}));
    ASSERT_TRUE(Tool({"tiffcp", "-c", "g4", P("bw.tif"), P("g4.tif")}));
    ASSERT_TRUE(Tool({"tiffcp", "-c", "jpeg", P("none.tif"), P("jpeg.tif")}));
    ASSERT_TRUE(Tool({"convert", P("src.ppm"), "-units", "PixelsPerCentimeter", "-density", "118.11", "-compress",
                     "none", P("cm.tif")}));
    const std::vector<std::string> Parts = {"none", "lzw", "lzw2", "rows7", "none7", "tiles", "cmyk",
                                            "pal",  "bw",  "g3",   "g4",    "jpeg",  "cm"};
    std::vector<std::string> Join = {"tiffcp"};
    for (const std::string& N : Parts) Join.push_back(P(N + ".tif"));
    Join.push_back(P("all.tif"));
    ASSERT_TRUE(Tool(Join));

    const std::vector<TInfo> Info = TiffInfo(P("all.tif"));
    ASSERT_EQ(Info.size(), Parts.size());
    const std::string Bytes = vpltest::ReadFile(D / "all.tif");
    TPDFTIFF T;
    T.LoadFromString(Bytes, -1);
    ASSERT_TRUE(T.ValidTIFF());
    ASSERT_EQ(T.PageCount(), Info.size());
    TPNM Src;
    ASSERT_TRUE(ReadPNM(vpltest::ReadFile(D / "src.ppm"), Src));
    for (size_t I = 0; I < Info.size(); ++I) {
        SCOPED_TRACE(Parts[I]);
        const TInfo& E = Info[I];
        TTIFFPage Pg;
        ASSERT_TRUE(T.GetPage(int32_t(I + 1), Pg));
        EXPECT_EQ(Pg.Width, E.Width);
        EXPECT_EQ(Pg.Height, E.Height);
        EXPECT_EQ(Pg.BitsPerSample, E.Bits);
        EXPECT_EQ(Pg.SamplesPerPixel, E.Samples);
        EXPECT_EQ(Pg.Compression == ttCCITT32d ? ttCCITT31d : Pg.Compression, KindOf(E.Compression));
        EXPECT_EQ(Pg.PhotometricInterpretation, PhotometricOf(E.Photometric));
        EXPECT_EQ(Pg.StripsAreTiles, E.TileW > 0);
        if (E.TileW > 0) {
            EXPECT_EQ(Pg.ColumnsPerTile, E.TileW);
            EXPECT_EQ(Pg.RowsPerTile, E.TileH);
        } else {
            EXPECT_EQ(Pg.RowsPerStrip, std::min(E.RowsPerStrip, E.Height));
        }
        if (E.XRes > 0)
            EXPECT_EQ(Pg.XRes, int(std::lround(E.XRes * (E.Centimetre ? 2.54 : 1.0))));
        if (Parts[I] == "pal") EXPECT_EQ(Pg.PaletteValues.size(), 3u << E.Bits);
        if (Parts[I] == "jpeg") {
            // Each strip is a whole JPEG: the tables, then the strip's data.
            ASSERT_FALSE(Pg.Strips.empty());
            EXPECT_EQ(Pg.Strips[0].substr(0, 4), "\xFF\xD8\xFF\xDB");
        }
        // Uncompressed and LZW RGB pages decode to the source samples.
        if (Pg.PhotometricInterpretation == piRGB && (Pg.Compression == ttNone || Pg.Compression == ttComp) &&
            !Pg.StripsAreTiles) {
            if (Pg.Compression == ttNone)
                T.SimpleExtract(int32_t(I + 1));
            else
                T.CompDecode(int32_t(I + 1));
            const TBitmap& B = T.Bitmap();
            ASSERT_EQ(B.Width(), Src.W);
            for (int Y = 0; Y < Src.H; ++Y)
                for (int X = 0; X < Src.W; ++X) {
                    const size_t S = 3 * (size_t(Y) * size_t(Src.W) + size_t(X));
                    const TColor C = B.GetPixel(X, Y);
                    ASSERT_EQ(int(C & 0xFF), Src.Samples[S]) << X << "," << Y;
                    ASSERT_EQ(int((C >> 8) & 0xFF), Src.Samples[S + 1]);
                    ASSERT_EQ(int((C >> 16) & 0xFF), Src.Samples[S + 2]);
                }
        }
    }
}

}  // namespace
