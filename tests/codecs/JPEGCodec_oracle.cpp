// The JPEG picture against libjpeg's own tools: files made by cjpeg in
// several layouts decode bit for bit like djpeg's (slow integer DCT), an
// ImageMagick CMYK file goes through the colour manager, and our encoding
// is a baseline JFIF file that djpeg reads back close to the source.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include "codecs/JPEGImage.h"
#include "render/ColorManager.h"
#include "tests/support/TestSupport.h"

using namespace velmo;
using namespace vpltest;

namespace {

// A binary PNM (P5 or P6) read back: width, height, channels, samples.
struct TPnm {
    int W = 0, H = 0, Channels = 0;
    std::string Samples;
};

bool ReadPnm(const std::string& Data, TPnm& P) {
    if (Data.size() < 2 || Data[0] != 'P' || (Data[1] != '5' && Data[1] != '6')) return false;
    P.Channels = Data[1] == '6' ? 3 : 1;
    size_t I = 2;
    int Numbers[3];
    for (int& N : Numbers) {
        while (I < Data.size() && std::isspace((unsigned char)Data[I])) ++I;
        N = 0;
        while (I < Data.size() && std::isdigit((unsigned char)Data[I]))
            N = N * 10 + (Data[I++] - '0');
    }
    ++I;  // the single white-space byte before the samples
    P.W = Numbers[0];
    P.H = Numbers[1];
    P.Samples = Data.substr(I);
    return Numbers[2] == 255 && P.Samples.size() == size_t(P.W) * P.H * P.Channels;
}

// A test picture with detail in every channel; Smooth keeps it to
// gradients and gentle waves, as a photograph's.
std::string MakePpm(int W, int H, bool Smooth = false) {
    std::string S = "P6\n" + std::to_string(W) + " " + std::to_string(H) + "\n255\n";
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X) {
            S += char((X * 255) / std::max(1, W - 1));
            S += char(Smooth ? (X + Y) * 255 / std::max(1, W + H - 2)
                             : ((X * Y) / 3 + Y * 5) & 0xFF);
            S += char(128 + int(100 * std::sin(X * 0.3) * std::cos(Y * 0.2)));
        }
    return S;
}

// Our decode as RGB (or grey) samples in PNM order.
std::string OurSamples(TPDFJPEGImage& J, int Channels) {
    TBitmap& B = J.DecodedBitmap();
    std::string S;
    for (int Y = 0; Y < B.Height(); ++Y) {
        const uint8_t* Row = B.ScanLine(Y);
        for (int X = 0; X < B.Width(); ++X) {
            if (Channels == 1) {
                S += char(Row[X]);
            } else {
                S += char(Row[3 * X + 2]);
                S += char(Row[3 * X + 1]);
                S += char(Row[3 * X]);
            }
        }
    }
    return S;
}

std::vector<uint8_t> RawCMYK(const std::string& J, int& W, int& H, bool& Adobe) {
    jpeg_decompress_struct D{};
    jpeg_error_mgr E{};
    D.err = jpeg_std_error(&E);
    jpeg_create_decompress(&D);
    jpeg_mem_src(&D, reinterpret_cast<const unsigned char*>(J.data()), J.size());
    jpeg_read_header(&D, TRUE);
    Adobe = D.saw_Adobe_marker;
    D.out_color_space = JCS_CMYK;
    jpeg_start_decompress(&D);
    W = int(D.output_width);
    H = int(D.output_height);
    std::vector<uint8_t> Out(size_t(W) * H * 4);
    while (D.output_scanline < D.output_height) {
        JSAMPROW Row = Out.data() + size_t(D.output_scanline) * size_t(W) * 4;
        jpeg_read_scanlines(&D, &Row, 1);
    }
    jpeg_finish_decompress(&D);
    jpeg_destroy_decompress(&D);
    return Out;
}

}  // namespace

TEST(JPEGCodecOracle, CjpegFilesDecodeLikeDjpeg) {
    VPL_REQUIRE_TOOL("cjpeg");
    VPL_REQUIRE_TOOL("djpeg");
    TempDir Dir;
    const struct {
        const char* Name;
        int W, H;
        std::vector<std::string> Options;
        int Channels;
    } cases[] = {
        {"4:2:0", 61, 37, {"-sample", "2x2"}, 3},
        {"4:4:4", 40, 33, {"-sample", "1x1"}, 3},
        {"4:2:2", 33, 20, {"-sample", "2x1"}, 3},
        {"progressive", 70, 45, {"-progressive"}, 3},
        {"restart every row", 50, 50, {"-restart", "1"}, 3},
        {"grayscale", 45, 31, {"-grayscale"}, 1},
        {"1x1", 1, 1, {}, 3},
        {"optimized tables, quality 30", 64, 64, {"-optimize", "-quality", "30"}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto Ppm = Dir / "in.ppm";
        const auto Jpg = Dir / "out.jpg";
        WriteFile(Ppm, MakePpm(c.W, c.H));
        std::vector<std::string> Argv{"cjpeg"};
        Argv.insert(Argv.end(), c.Options.begin(), c.Options.end());
        Argv.insert(Argv.end(), {"-outfile", Jpg.string(), Ppm.string()});
        ASSERT_EQ(RunCommand(Argv).exitCode, 0);
        const CommandResult D = RunCommand({"djpeg", "-dct", "int", "-pnm", Jpg.string()});
        ASSERT_EQ(D.exitCode, 0);
        TPnm Want;
        ASSERT_TRUE(ReadPnm(D.out, Want));
        ASSERT_EQ(Want.Channels, c.Channels);
        const std::string Data = ReadFile(Jpg);
        TPDFJPEGImage J;
        J.LoadFromBytes(Data);
        EXPECT_EQ(J.Width(), c.W);
        EXPECT_EQ(J.Height(), c.H);
        EXPECT_EQ(J.Grayscale(), c.Channels == 1);
        EXPECT_EQ(J.ProgressiveEncoding(), std::string(c.Name) == "progressive");
        if (c.Channels == 1) EXPECT_EQ(J.DecodedBitmap().PixelFormat(), pf8bit);
        EXPECT_TRUE(OurSamples(J, c.Channels) == Want.Samples)
            << "decoded samples differ from djpeg";
        // An unchanged file re-saves byte for byte.
        TStringStream Out;
        J.SaveToStream(Out);
        EXPECT_TRUE(Out.DataString() == Data);
    }
}

TEST(JPEGCodecOracle, CutFilesDecodeLikeDjpeg) {
    // Data that ends early: the rows after the end are the codec's, the
    // same as djpeg writes, however they are produced.
    VPL_REQUIRE_TOOL("cjpeg");
    VPL_REQUIRE_TOOL("djpeg");
    TempDir Dir;
    const struct {
        const char* Name;
        std::vector<std::string> Options;
        double Keep;
    } cases[] = {
        {"4:2:0 cut at 30 %", {}, 0.3},
        {"4:4:4 cut at 60 %", {"-sample", "1x1"}, 0.6},
        {"grey cut at 10 %", {"-grayscale"}, 0.1},
        {"restart markers cut at 50 %", {"-restart", "2"}, 0.5},
        {"progressive cut at 40 %", {"-progressive"}, 0.4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto Ppm = Dir / "tall.ppm";
        const auto Jpg = Dir / "tall.jpg";
        const auto Cut = Dir / "cut.jpg";
        WriteFile(Ppm, MakePpm(48, 900));
        std::vector<std::string> Argv{"cjpeg"};
        Argv.insert(Argv.end(), c.Options.begin(), c.Options.end());
        Argv.insert(Argv.end(), {"-outfile", Jpg.string(), Ppm.string()});
        ASSERT_EQ(RunCommand(Argv).exitCode, 0);
        const std::string Full = ReadFile(Jpg);
        const std::string Data = Full.substr(0, size_t(double(Full.size()) * c.Keep));
        WriteFile(Cut, Data);
        const CommandResult D = RunCommand({"djpeg", "-dct", "int", "-pnm", Cut.string()});
        TPnm Want;
        ASSERT_TRUE(ReadPnm(D.out, Want)) << D.err;
        TPDFJPEGImage J;
        J.LoadFromBytes(Data);
        EXPECT_TRUE(OurSamples(J, Want.Channels) == Want.Samples)
            << "decoded samples differ from djpeg";
    }
}

TEST(JPEGCodecOracle, ImageMagickCMYK) {
    VPL_REQUIRE_TOOL("convert");
    TempDir Dir;
    const auto Ppm = Dir / "in.ppm";
    const auto Jpg = Dir / "cmyk.jpg";
    WriteFile(Ppm, MakePpm(24, 16));
    ASSERT_EQ(
        RunCommand({"convert", Ppm.string(), "-colorspace", "CMYK", "-quality", "95", Jpg.string()})
            .exitCode,
        0);
    const std::string Data = ReadFile(Jpg);
    int W = 0, H = 0;
    bool Adobe = false;
    const std::vector<uint8_t> Raw = RawCMYK(Data, W, H, Adobe);
    ASSERT_EQ(W, 24);
    ASSERT_EQ(H, 16);
    TPDFSimpleColorManager Manager;
    for (const bool Invert : {false, true}) {
        SCOPED_TRACE(Invert ? "after InvertCMYK" : "as loaded");
        TPDFJPEGImage J;
        J.LoadFromBytes(Data);
        if (Invert) J.InvertCMYK();
        TBitmap& B = J.DecodedBitmap();
        ASSERT_EQ(B.PixelFormat(), pf24bit);
        int Wrong = 0;
        for (int Y = 0; Y < H; ++Y)
            for (int X = 0; X < W; ++X) {
                const uint8_t* S = &Raw[(size_t(Y) * W + X) * 4];
                auto Ink = [&](uint8_t V) { return Invert ? V / 255.0 : 1 - V / 255.0; };
                TPDFCMYKColor C{Ink(S[0]), Ink(S[1]), Ink(S[2]), Ink(S[3])};
                const TPDFRGBColor R = Manager.CMYK2RGB(C);
                auto Byte = [](double V) {
                    return uint8_t(std::nearbyint(std::clamp(V, 0.0, 1.0) * 255));
                };
                const uint8_t* P = B.ScanLine(Y) + 3 * X;
                if (P[0] != Byte(R.Blue) || P[1] != Byte(R.Green) || P[2] != Byte(R.Red)) ++Wrong;
            }
        EXPECT_EQ(Wrong, 0);
    }
}

TEST(JPEGCodecOracle, OurEncodingReadByDjpeg) {
    VPL_REQUIRE_TOOL("djpeg");
    TempDir Dir;
    TPnm Source;
    ASSERT_TRUE(ReadPnm(MakePpm(96, 64, true), Source));
    TBitmap B(96, 64, pf24bit);
    for (int Y = 0; Y < 64; ++Y)
        for (int X = 0; X < 96; ++X)
            for (int K = 0; K < 3; ++K)
                B.ScanLine(Y)[3 * X + K] =
                    uint8_t(Source.Samples[(size_t(Y) * 96 + X) * 3 + (2 - K)]);
    for (const bool Grey : {false, true}) {
        SCOPED_TRACE(Grey ? "grey" : "colour");
        TPDFJPEGImage J;
        J.Assign(B);
        J.SetCompressionQuality(75);
        J.SetDPI(150);
        J.SetGrayscale(Grey);
        TStringStream Out;
        J.SaveToStream(Out);
        const std::string& D = Out.DataString();
        // SOI, then the JFIF segment with density unit 1 and 150 × 150.
        ASSERT_GT(D.size(), 20u);
        EXPECT_EQ(D.substr(0, 4), "\xFF\xD8\xFF\xE0");
        EXPECT_EQ(D.substr(6, 5), std::string("JFIF\0", 5));
        EXPECT_EQ(D.substr(13, 5), std::string("\x01\x00\x96\x00\x96", 5));
        EXPECT_NE(D.find("\xFF\xC0"), std::string::npos);
        EXPECT_EQ(D.find("\xFF\xC2"), std::string::npos);
        const auto Jpg = Dir / "ours.jpg";
        WriteFile(Jpg, D);
        const CommandResult R = RunCommand({"djpeg", "-pnm", Jpg.string()});
        ASSERT_EQ(R.exitCode, 0);
        TPnm Back;
        ASSERT_TRUE(ReadPnm(R.out, Back));
        EXPECT_EQ(Back.Channels, Grey ? 1 : 3);
        ASSERT_EQ(Back.W, 96);
        ASSERT_EQ(Back.H, 64);
        if (Grey) continue;
        double Sum = 0;
        for (size_t I = 0; I < Back.Samples.size(); ++I) {
            const double E = double(uint8_t(Back.Samples[I])) - double(uint8_t(Source.Samples[I]));
            Sum += E * E;
        }
        const double Psnr = 10 * std::log10(255.0 * 255.0 / (Sum / double(Back.Samples.size())));
        std::printf("quality 75 re-decoded by djpeg: PSNR %.2f dB\n", Psnr);
        EXPECT_GE(Psnr, 35.0);
    }
}
