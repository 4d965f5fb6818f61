// The GDI+ facade's image encoders and decoders compared with libtiff's
// tools, libjpeg's tools and ImageMagick.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/files/WideFile.h"
#include "platform/gdiplus/GdiPlusFlat.h"
#include "platform/gdiplus/Internal.h"
#include "tests/support/TestSupport.h"

using namespace velmo;
namespace gp = velmo::gdiplus;

namespace {

constexpr const char* kConvert = "convert-im6.q16";
constexpr const char* kIdentify = "identify-im6.q16";

const CLSID kBmp = {0x557CF400, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
const CLSID kJpeg = {0x557CF401, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
const CLSID kTiff = {0x557CF405, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
const CLSID kPng = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

struct TStarted {
    TStarted() {
        GdiplusStartupInput In;
        gp::GdiplusStartup(&Token, &In, nullptr);
    }
    ~TStarted() { gp::GdiplusShutdown(Token); }
    GpULONG_PTR Token = 0;
};

// A white page with anti-aliased shapes drawn by cairo (RGB24: B, G, R, x).
cairo_surface_t* DrawPage(int W, int H) {
    cairo_surface_t* S = cairo_image_surface_create(CAIRO_FORMAT_RGB24, W, H);
    cairo_t* C = cairo_create(S);
    cairo_set_source_rgb(C, 1, 1, 1);
    cairo_paint(C);
    cairo_set_antialias(C, CAIRO_ANTIALIAS_GRAY);
    cairo_arc(C, W * 0.3, H * 0.4, H * 0.25, 0, 2 * M_PI);
    cairo_set_source_rgb(C, 0.8, 0.1, 0.1);
    cairo_fill(C);
    cairo_save(C);
    cairo_translate(C, W * 0.65, H * 0.5);
    cairo_rotate(C, 0.4);
    cairo_rectangle(C, -W * 0.15, -H * 0.2, W * 0.3, H * 0.4);
    cairo_set_source_rgb(C, 0.1, 0.3, 0.7);
    cairo_fill(C);
    cairo_restore(C);
    cairo_move_to(C, W * 0.05, H * 0.9);
    cairo_curve_to(C, W * 0.3, H * 0.2, W * 0.6, H * 1.2, W * 0.95, H * 0.1);
    cairo_set_line_width(C, 7.5);
    cairo_set_source_rgb(C, 0.1, 0.6, 0.2);
    cairo_stroke(C);
    cairo_destroy(C);
    cairo_surface_flush(S);
    return S;
}

// The surface as R, G, B bytes, rows top first.
std::string SurfaceRGB(cairo_surface_t* S) {
    const int W = cairo_image_surface_get_width(S), H = cairo_image_surface_get_height(S);
    const int Stride = cairo_image_surface_get_stride(S);
    const uint8_t* D = cairo_image_surface_get_data(S);
    std::string Out;
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X) {
            const uint8_t* P = D + Y * Stride + X * 4;
            Out += char(P[2]);
            Out += char(P[1]);
            Out += char(P[0]);
        }
    return Out;
}

// A decoded image as R, G, B bytes.
std::string ImageRGB(GpImage* Image) {
    auto* B = dynamic_cast<GpBitmap*>(Image);
    std::string Out;
    std::vector<uint32_t> Row(size_t(B->Width));
    for (int Y = 0; Y < B->Height; ++Y) {
        gp::ReadRowPARGB(*B, Y, Row.data());
        for (uint32_t P : Row) {
            Out += char(P >> 16);
            Out += char(P >> 8);
            Out += char(P);
        }
    }
    return Out;
}

std::string MagickRGB(const std::filesystem::path& File) {
    vpltest::CommandResult R =
        vpltest::RunCommand({kConvert, File.string(), "-depth", "8", "rgb:-"});
    EXPECT_EQ(R.exitCode, 0) << R.err;
    return R.out;
}

// The samples of a binary PPM or PGM, as R, G, B bytes.
std::string PnmRGB(const std::string& Pnm) {
    int W = 0, H = 0, Max = 0, Used = 0;
    char Kind = 0;
    if (std::sscanf(Pnm.c_str(), "P%c %d %d %d%n", &Kind, &W, &H, &Max, &Used) != 4) return {};
    const std::string Body = Pnm.substr(size_t(Used) + 1);
    if (Kind == '6') return Body;
    std::string Out;
    for (char C : Body) Out.append(3, C);
    return Out;
}

double Psnr(const std::string& A, const std::string& B) {
    double Sum = 0;
    for (size_t I = 0; I < A.size(); ++I) {
        const double D = double(uint8_t(A[I])) - uint8_t(B[I]);
        Sum += D * D;
    }
    const double Mse = Sum / double(A.size());
    return Mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / Mse);
}

GpImage* LoadFile(const std::filesystem::path& File) {
    GpImage* Image = nullptr;
    const std::u16string Name = FileSystemNameToWide(File.string());
    EXPECT_EQ(gp::GdipLoadImageFromFile(Name.c_str(), &Image), gsOk) << File;
    return Image;
}

}  // namespace

TEST(oracle, gdiplus_encoders) {
    VPL_REQUIRE_TOOL("tiffinfo");
    VPL_REQUIRE_TOOL(kConvert);
    VPL_REQUIRE_TOOL(kIdentify);
    TStarted Started;
    vpltest::TempDir Dir;
    constexpr int W = 620, H = 410;
    cairo_surface_t* Page = DrawPage(W, H);
    const std::string Source = SurfaceRGB(Page);
    GpBitmap* Bitmap = nullptr;
    ASSERT_EQ(gp::GdipCreateBitmapFromScan0(W, H, cairo_image_surface_get_stride(Page),
                                            PixelFormat32bppRGB, cairo_image_surface_get_data(Page),
                                            &Bitmap),
              gsOk);
    ASSERT_EQ(gp::GdipBitmapSetResolution(Bitmap, 300, 300), gsOk);

    uint32_t Values[2] = {EncoderValueCompressionCCITT4, 1};
    struct {
        EncoderParameters Head;
        EncoderParameter Second;
    } G4;
    G4.Head.Count = 2;
    G4.Head.Parameter[0] = {EncoderCompression, 1, EncoderParameterValueTypeLong, &Values[0]};
    G4.Second = {EncoderColorDepth, 1, EncoderParameterValueTypeLong, &Values[1]};

    struct {
        const char* File;
        CLSID Encoder;
        const EncoderParameters* Params;
        const char* Identify;  // format, size and depth
    } Files[] = {
        {"page.bmp", kBmp, nullptr, "BMP3 620 410 8"},  // BMP3: the 40-byte header
        {"page.png", kPng, nullptr, "PNG 620 410 8"},
        {"page.jpg", kJpeg, nullptr, "JPEG 620 410 8"},
        {"page.tif", kTiff, nullptr, "TIFF 620 410 8"},
        {"g4.tif", kTiff, &G4.Head, "TIFF 620 410 1"},
    };
    for (const auto& F : Files) {
        SCOPED_TRACE(F.File);
        const std::u16string Name = FileSystemNameToWide((Dir / F.File).string());
        ASSERT_EQ(gp::GdipSaveImageToFile(Bitmap, Name.c_str(), &F.Encoder, F.Params), gsOk);
        vpltest::CommandResult Id =
            vpltest::RunCommand({kIdentify, "-format", "%m %w %h %z", (Dir / F.File).string()});
        ASSERT_EQ(Id.exitCode, 0) << Id.err;
        EXPECT_EQ(Id.out, F.Identify);
        const std::string Decoded = MagickRGB(Dir / F.File);
        ASSERT_EQ(Decoded.size(), Source.size());
        if (std::string(F.File) == "page.jpg") {
            EXPECT_GE(Psnr(Decoded, Source), 35.0);
        } else if (std::string(F.File) == "g4.tif") {
            std::string Threshold = Source;
            for (size_t I = 0; I < Source.size(); I += 3) {
                const uint32_t L = 299 * uint8_t(Source[I]) + 587 * uint8_t(Source[I + 1]) +
                                   114 * uint8_t(Source[I + 2]);
                Threshold.replace(I, 3, 3, L >= 128000 ? char(255) : char(0));
            }
            EXPECT_TRUE(Decoded == Threshold);
        } else {
            EXPECT_TRUE(Decoded == Source);
        }
    }
    vpltest::CommandResult G4Info = vpltest::RunCommand({"tiffinfo", (Dir / "g4.tif").string()});
    EXPECT_NE(G4Info.out.find("Compression Scheme: CCITT Group 4"), std::string::npos)
        << G4Info.out;
    EXPECT_NE(G4Info.out.find("Bits/Sample: 1"), std::string::npos) << G4Info.out;
    EXPECT_NE(G4Info.out.find("Resolution: 300, 300 pixels/inch"), std::string::npos) << G4Info.out;
    EXPECT_NE(G4Info.out.find("min-is-white"), std::string::npos) << G4Info.out;
    vpltest::CommandResult Info = vpltest::RunCommand({"tiffinfo", (Dir / "page.tif").string()});
    EXPECT_NE(Info.out.find("Compression Scheme: LZW"), std::string::npos) << Info.out;
    EXPECT_EQ(gp::GdipDisposeImage(Bitmap), gsOk);
    cairo_surface_destroy(Page);
}

TEST(oracle, gdiplus_decoders) {
    VPL_REQUIRE_TOOL("tiffcp");
    VPL_REQUIRE_TOOL("cjpeg");
    VPL_REQUIRE_TOOL("djpeg");
    VPL_REQUIRE_TOOL(kConvert);
    TStarted Started;
    vpltest::TempDir Dir;
    constexpr int W = 203, H = 131;
    cairo_surface_t* Page = DrawPage(W, H);
    const std::string Source = SurfaceRGB(Page);
    cairo_surface_destroy(Page);
    vpltest::WriteFile(Dir / "src.ppm",
                       "P6\n" + std::to_string(W) + " " + std::to_string(H) + "\n255\n" + Source);
    auto Run = [](const std::vector<std::string>& Argv) {
        vpltest::CommandResult R = vpltest::RunCommand(Argv);
        EXPECT_EQ(R.exitCode, 0) << Argv[0] << ": " << R.err;
    };
    const std::string Src = (Dir / "src.ppm").string();

    // JPEG from cjpeg: bit-identical to djpeg's decode.
    for (std::vector<std::string> Options : {std::vector<std::string>{"-quality", "85"},
                                             {"-quality", "60", "-progressive"},
                                             {"-grayscale"},
                                             {"-sample", "1x1", "-optimize"}}) {
        SCOPED_TRACE(Options[0]);
        std::vector<std::string> Argv = {"cjpeg"};
        Argv.insert(Argv.end(), Options.begin(), Options.end());
        Argv.insert(Argv.end(), {"-outfile", (Dir / "a.jpg").string(), Src});
        Run(Argv);
        Run({"djpeg", "-pnm", "-outfile", (Dir / "ref.pnm").string(), (Dir / "a.jpg").string()});
        GpImage* Image = LoadFile(Dir / "a.jpg");
        ASSERT_NE(Image, nullptr);
        EXPECT_TRUE(ImageRGB(Image) == PnmRGB(vpltest::ReadFile(Dir / "ref.pnm")));
        gp::GdipDisposeImage(Image);
    }

    // PNG, BMP and TIFF files from ImageMagick and tiffcp decode as
    // ImageMagick decodes them.
    Run({kConvert, Src, "-compress", "none", (Dir / "rgb.tif").string()});
    Run({kConvert, Src, "-threshold", "60%", "-type", "bilevel", "-depth", "1", "-compress", "none",
         (Dir / "bw.tif").string()});
    Run({kConvert, Src, (Dir / "a.png").string()});
    Run({kConvert, Src, "-alpha", "set", "-channel", "A", "-evaluate", "set", "100%", "+channel",
         (Dir / "rgba.png").string()});
    Run({kConvert, Src, "-colors", "16", "-type", "palette", (Dir / "pal.png").string()});
    Run({kConvert, Src, "BMP3:" + (Dir / "a.bmp").string()});
    Run({"tiffcp", "-c", "lzw", (Dir / "rgb.tif").string(), (Dir / "lzw.tif").string()});
    Run({"tiffcp", "-c", "packbits", (Dir / "rgb.tif").string(), (Dir / "packbits.tif").string()});
    Run({"tiffcp", "-c", "g3", (Dir / "bw.tif").string(), (Dir / "g3.tif").string()});
    Run({"tiffcp", "-c", "g3:2d", (Dir / "bw.tif").string(), (Dir / "g32d.tif").string()});
    Run({"tiffcp", "-c", "g4", (Dir / "bw.tif").string(), (Dir / "g4.tif").string()});
    Run({"tiffcp", "-c", "lzw", (Dir / "g4.tif").string(), (Dir / "rgb.tif").string(),
         (Dir / "two.tif").string()});
    for (const char* Name : {"a.png", "rgba.png", "pal.png", "a.bmp", "rgb.tif", "lzw.tif",
                             "packbits.tif", "g3.tif", "g32d.tif", "g4.tif"}) {
        SCOPED_TRACE(Name);
        GpImage* Image = LoadFile(Dir / Name);
        ASSERT_NE(Image, nullptr);
        EXPECT_TRUE(ImageRGB(Image) == MagickRGB(Dir / Name));
        gp::GdipDisposeImage(Image);
    }
    GpImage* Two = LoadFile(Dir / "two.tif");
    ASSERT_NE(Two, nullptr);
    uint32_t Count = 0;
    EXPECT_EQ(gp::GdipImageGetFrameCount(Two, &FrameDimensionPage, &Count), gsOk);
    EXPECT_EQ(Count, 2u);
    for (uint32_t Page = 0; Page < 2; ++Page) {
        SCOPED_TRACE(Page);
        ASSERT_EQ(gp::GdipImageSelectActiveFrame(Two, &FrameDimensionPage, Page), gsOk);
        EXPECT_TRUE(ImageRGB(Two) ==
                    MagickRGB((Dir / "two.tif").string() + "[" + std::to_string(Page) + "]"));
    }
    gp::GdipDisposeImage(Two);
}
