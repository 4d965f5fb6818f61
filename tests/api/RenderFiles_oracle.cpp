// Pages written as image files through the public class, read back by
// other programs: libtiff's and giflib's tools, ImageMagick, pdfimages.
#include <gtest/gtest.h>
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "api/VelmoPDF.h"
#include "platform/files/Stream.h"
#include "platform/files/WideFile.h"
#include "platform/gdi/Bitmap.h"
#include "platform/gdi/DC.h"
#include "tests/support/RenderSupport.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

namespace fs = std::filesystem;
using vpltest::TRgbRaster;

constexpr double kDPI = 72;

std::u16string Wide(const fs::path& P) { return FileSystemNameToWide(P.string()); }

std::string StreamObject(const std::string& Dict, const std::string& Data) {
    return "<< " + Dict + " /Length " + std::to_string(Data.size()) + " >>\nstream\n" + Data +
           "\nendstream";
}

// Three pages of 160 × 80 points:
// 1. flat colours on whole points: at most 256 colours at 72 DPI, among
//    them 64 greys one step apart (eight to a 5-5-5 cell) and a green
//    (0, 255, 100) that is light by luminance but dark by channel sum;
// 2. text and a diagonal line: anti-aliased, many colours;
// 3. a red square, then a content stream whose compressed data is broken
//    and one drawing a form that draws itself, which ends the content with
//    an error.
std::string ThreePagePdf() {
    std::string Flat =
        "1 0 0 rg 0 0 40 40 re f 0 1 0.392 rg 40 0 40 40 re f "
        "0.784 g 80 0 40 40 re f 0 0 0.6 rg 120 0 40 40 re f ";
    for (int I = 0; I < 64; ++I) {
        const double G = (128 + I) / 255.0;
        char Bar[96];
        std::snprintf(Bar, sizeof Bar, "%.4f %.4f %.4f rg %d 40 1 40 re f ", G, G, G, 8 + I);
        Flat += Bar;
    }
    const std::string Text =
        "0 0 1 RG 3 w 0 0 m 160 80 l S BT /F1 20 Tf 0.2 0.5 0.1 rg 8 30 Td (Page two) Tj ET";
    const std::string Red = "1 0 0 rg 10 10 30 30 re f";
    const std::string Page = "/Type /Page /Parent 2 0 R /MediaBox [0 0 160 80] ";
    return vpltest::PdfFromObjects({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R 5 0 R 7 0 R] /Count 3 >>",
        "<< " + Page + "/Contents 4 0 R >>",
        StreamObject("", Flat),
        "<< " + Page +
            "/Contents 6 0 R /Resources << /Font << /F1 << /Type /Font /Subtype /Type1 "
            "/BaseFont /Helvetica >> >> >> >>",
        StreamObject("", Text),
        "<< " + Page + "/Contents [8 0 R 9 0 R 10 0 R] /Resources << /XObject << /X 11 0 R >> >> >>",
        StreamObject("", Red),
        StreamObject("/Filter /FlateDecode", std::string("x\x9c\xff\xfe garbage \x01\x02")),
        StreamObject("", "/X Do"),
        StreamObject("/Type /XObject /Subtype /Form /BBox [0 0 160 80]", "/X Do"),
    });
}

TRgbRaster BmpRaster(const std::string& Bytes) {
    TStringStream S(Bytes);
    TBitmap B;
    B.LoadFromStream(S);
    return vpltest::RasterFromBitmap(B);
}

uint32_t LE32(const std::string& S, size_t At) {
    return uint32_t(uint8_t(S[At])) | uint32_t(uint8_t(S[At + 1])) << 8 |
           uint32_t(uint8_t(S[At + 2])) << 16 | uint32_t(uint8_t(S[At + 3])) << 24;
}
uint32_t BE32(const std::string& S, size_t At) {
    return uint32_t(uint8_t(S[At])) << 24 | uint32_t(uint8_t(S[At + 1])) << 16 |
           uint32_t(uint8_t(S[At + 2])) << 8 | uint32_t(uint8_t(S[At + 3]));
}

// The pixels of any TIFF page libtiff reads, as RGB (alpha ignored).
TRgbRaster TiffRaster(const fs::path& File) {
    TRgbRaster Out;
    TIFF* T = TIFFOpen(File.c_str(), "r");
    if (T == nullptr) return Out;
    uint32_t W = 0, H = 0;
    TIFFGetField(T, TIFFTAG_IMAGEWIDTH, &W);
    TIFFGetField(T, TIFFTAG_IMAGELENGTH, &H);
    std::vector<uint32_t> Px(size_t(W) * H);
    if (W > 0 && H > 0 && TIFFReadRGBAImageOriented(T, W, H, Px.data(), ORIENTATION_TOPLEFT, 0)) {
        Out = TRgbRaster(int(W), int(H));
        for (uint32_t Y = 0; Y < H; ++Y)
            for (uint32_t X = 0; X < W; ++X) {
                const uint32_t P = Px[size_t(Y) * W + X];
                Out.SetPixel(int(X), int(Y), uint8_t(TIFFGetR(P)), uint8_t(TIFFGetG(P)),
                             uint8_t(TIFFGetB(P)));
            }
    }
    TIFFClose(T);
    return Out;
}

// The first pixel where two rasters differ, or "" when they are equal.
std::string FirstDifference(const TRgbRaster& A, const TRgbRaster& B) {
    if (A.width != B.width || A.height != B.height)
        return "sizes " + std::to_string(A.width) + "x" + std::to_string(A.height) + " and " +
               std::to_string(B.width) + "x" + std::to_string(B.height);
    for (int Y = 0; Y < A.height; ++Y)
        for (int X = 0; X < A.width; ++X)
            if (!std::equal(A.Pixel(X, Y), A.Pixel(X, Y) + 3, B.Pixel(X, Y))) {
                const uint8_t *P = A.Pixel(X, Y), *Q = B.Pixel(X, Y);
                return "pixel " + std::to_string(X) + "," + std::to_string(Y) + ": " +
                       std::to_string(P[0]) + " " + std::to_string(P[1]) + " " +
                       std::to_string(P[2]) + " vs " + std::to_string(Q[0]) + " " +
                       std::to_string(Q[1]) + " " + std::to_string(Q[2]);
            }
    return "";
}

size_t ColourCount(const TRgbRaster& R) {
    std::set<uint32_t> Colours;
    for (size_t I = 0; I + 2 < R.rgb.size(); I += 3)
        Colours.insert(uint32_t(R.rgb[I]) << 16 | uint32_t(R.rgb[I + 1]) << 8 | R.rgb[I + 2]);
    return Colours.size();
}

// What the Group 4 page must hold: pixels whose channel sum is below
// 3 × Threshold are first made black (when Threshold ≥ 1), then the
// encoder's 1-bit rule makes a pixel black when its luminance
// (0.299 R + 0.587 G + 0.114 B) is below 128.
TRgbRaster BilevelOf(const TRgbRaster& Page, int Threshold) {
    TRgbRaster Out(Page.width, Page.height);
    for (int Y = 0; Y < Page.height; ++Y)
        for (int X = 0; X < Page.width; ++X) {
            const uint8_t* P = Page.Pixel(X, Y);
            const bool Dark = (Threshold >= 1 && P[0] + P[1] + P[2] < 3 * Threshold) ||
                              299 * P[0] + 587 * P[1] + 114 * P[2] < 128000;
            const uint8_t V = Dark ? 0 : 255;
            Out.SetPixel(X, Y, V, V, V);
        }
    return Out;
}

std::string Tiffinfo(const fs::path& File) {
    const auto R = vpltest::RunCommand({"tiffinfo", File.string()});
    EXPECT_EQ(R.exitCode, 0) << R.err;
    return R.out;
}

#define EXPECT_HAS(Text, Part) \
    EXPECT_NE((Text).find(Part), std::string::npos) << "no \"" << (Part) << "\" in:\n" << (Text)

// The render resolution in dots per inch: the BMP's whole pixels per metre
// (2834 at 72 DPI) read back, 71.98.
void ExpectInchResolution(const std::string& Info) {
    std::smatch M;
    ASSERT_TRUE(std::regex_search(Info, M, std::regex(R"(Resolution: ([0-9.]+), ([0-9.]+) pixels/inch)")))
        << Info;
    EXPECT_NEAR(std::stod(M[1]), kDPI, 0.05);
    EXPECT_NEAR(std::stod(M[2]), kDPI, 0.05);
}

// The pages rendered as BMP files, the reference of every other format.
struct TPageFiles {
    void Load() {
        ASSERT_NE(Lib.LoadFromString(ThreePagePdf(), u""), 0);
        for (int Page = 1; Page <= 3; ++Page) {
            const fs::path F = Dir / ("p" + std::to_string(Page) + ".bmp");
            ASSERT_EQ(Lib.RenderPageToFile(kDPI, Page, 0, Wide(F)), 1);
            Bmp[Page] = vpltest::ReadFile(F);
            Pixels[Page] = BmpRaster(Bmp[Page]);
            ASSERT_FALSE(Pixels[Page].Empty());
        }
    }
    fs::path Render(int Page, int Format, const std::string& Name) {
        const fs::path F = Dir / Name;
        EXPECT_EQ(Lib.RenderPageToFile(kDPI, Page, Format, Wide(F)), 1) << Name;
        return F;
    }

    void BmpPngJpeg();
    void TiffAndGroup4Tiff();
    void Gif();
    void FolderErrorsAndDeviceContexts();
    void CairoBackEnd();

    vpltest::TempDir Dir;
    TVelmoPDF Lib;
    std::map<int, std::string> Bmp;
    std::map<int, TRgbRaster> Pixels;
};

void TPageFiles::BmpPngJpeg() {
    // 72 DPI is 2834 pixels per metre (truncated) in the BMP header.
    EXPECT_EQ(LE32(Bmp[1], 38), 2834u);
    EXPECT_EQ(LE32(Bmp[1], 42), 2834u);
    EXPECT_EQ(Pixels[1].width, 160);
    EXPECT_EQ(Pixels[1].height, 80);
    for (int Page = 1; Page <= 3; ++Page) {
        SCOPED_TRACE(Page);
        const fs::path Png = Render(Page, 5, "p" + std::to_string(Page) + ".png");
        TRgbRaster P;
        std::string Error;
        ASSERT_TRUE(vpltest::ReadPngRaster(Png, P, &Error)) << Error;
        EXPECT_EQ(FirstDifference(P, Pixels[Page]), "");
        // pHYs: pixels per metre in both directions, unit metre.
        const std::string Bytes = vpltest::ReadFile(Png);
        const size_t At = Bytes.find("pHYs");
        ASSERT_NE(At, std::string::npos);
        EXPECT_NEAR(double(BE32(Bytes, At + 4)), 2834.6, 1);
        EXPECT_NEAR(double(BE32(Bytes, At + 8)), 2834.6, 1);
        EXPECT_EQ(Bytes[At + 12], 1);
    }
    for (const int Quality : {30, 90}) {
        SCOPED_TRACE(Quality);
        ASSERT_EQ(Lib.SetJPEGQuality(Quality), 1);
        const fs::path Jpg = Render(2, 1, "q" + std::to_string(Quality) + ".jpg");
        const std::string Bytes = vpltest::ReadFile(Jpg);
        // Baseline: a SOF0 frame, no progressive or extended one.
        EXPECT_NE(Bytes.find("\xFF\xC0"), std::string::npos);
        EXPECT_EQ(Bytes.find("\xFF\xC2"), std::string::npos);
        EXPECT_EQ(Bytes.find("\xFF\xC1"), std::string::npos);
        const auto Id = vpltest::RunCommand(
            {"identify", "-format", "%Q %x %y %U %w %h %[jpeg:sampling-factor]", Jpg.string()});
        ASSERT_EQ(Id.exitCode, 0) << Id.err;
        EXPECT_EQ(Id.out.substr(0, Id.out.find(' ')), std::to_string(Quality)) << Id.out;
        EXPECT_HAS(Id.out, " 72 72 PixelsPerInch 160 80");
    }
}

void TPageFiles::TiffAndGroup4Tiff() {
    for (int Page = 1; Page <= 3; ++Page) {
        SCOPED_TRACE(Page);
        const fs::path Tif = Render(Page, 7, "p" + std::to_string(Page) + ".tif");
        const std::string Info = Tiffinfo(Tif);
        EXPECT_HAS(Info, "Image Width: 160 Image Length: 80");
        ExpectInchResolution(Info);
        EXPECT_HAS(Info, "Bits/Sample: 8");
        EXPECT_HAS(Info, "Samples/Pixel: 3");
        EXPECT_HAS(Info, "Compression Scheme: LZW");
        EXPECT_HAS(Info, "Photometric Interpretation: RGB color");
        const fs::path Rgba = Dir / "rgba.tif";
        const auto R = vpltest::RunCommand({"tiff2rgba", "-c", "none", Tif.string(), Rgba.string()});
        ASSERT_EQ(R.exitCode, 0) << R.err;
        EXPECT_EQ(FirstDifference(TiffRaster(Rgba), Pixels[Page]), "");
    }
    for (const int Threshold : {0, 128}) {
        SCOPED_TRACE(Threshold);
        ASSERT_EQ(Lib.SetGDIPlusOptions(5, Threshold), 1);
        for (int Page = 1; Page <= 2; ++Page) {
            SCOPED_TRACE(Page);
            const fs::path Tif = Render(Page, 10, "g" + std::to_string(Page) + ".tif");
            const std::string Info = Tiffinfo(Tif);
            EXPECT_HAS(Info, "Compression Scheme: CCITT Group 4");
            EXPECT_HAS(Info, "Bits/Sample: 1");
            EXPECT_HAS(Info, "Photometric Interpretation: min-is-white");
            ExpectInchResolution(Info);
            const fs::path Rgba = Dir / "g.tif";
            const auto R =
                vpltest::RunCommand({"tiff2rgba", "-c", "none", Tif.string(), Rgba.string()});
            ASSERT_EQ(R.exitCode, 0) << R.err;
            EXPECT_EQ(FirstDifference(TiffRaster(Rgba), BilevelOf(Pixels[Page], Threshold)), "");
        }
    }
    // The threshold pass decides the green square: light by luminance,
    // dark by its channel sum.
    EXPECT_NE(FirstDifference(BilevelOf(Pixels[1], 0), BilevelOf(Pixels[1], 128)), "");
}

void TPageFiles::Gif() {
    // The flat page has at most 256 colours, greys of one cell among them.
    ASSERT_LE(ColourCount(Pixels[1]), 256u);
    ASSERT_GE(ColourCount(Pixels[1]), 64u);
    for (int Page = 1; Page <= 2; ++Page) {
        SCOPED_TRACE(Page);
        const fs::path Gif = Render(Page, 6, "p" + std::to_string(Page) + ".gif");
        const auto Text = vpltest::RunCommand({"giftext", Gif.string()});
        ASSERT_EQ(Text.exitCode, 0) << Text.err;
        EXPECT_HAS(Text.out, "Screen Size - Width = 160, Height = 80");
        EXPECT_HAS(Text.out, "Image #1:");
        EXPECT_EQ(Text.out.find("Image #2"), std::string::npos);
        // No global table; a local one of 256 entries (8 bits per pixel).
        EXPECT_HAS(Text.out, "No Global Color Map.");
        EXPECT_HAS(Text.out, "Image is Non Interlaced, BitsPerPixel = 8.\n\tImage Has Color Map.");
        const fs::path Rgb = Dir / "p.rgb";
        const auto R = vpltest::RunCommand({"gif2rgb", "-1", "-o", Rgb.string(), Gif.string()});
        ASSERT_EQ(R.exitCode, 0) << R.err;
        const std::string Px = vpltest::ReadFile(Rgb);
        TRgbRaster G(160, 80);
        ASSERT_EQ(Px.size(), G.rgb.size());
        std::copy(Px.begin(), Px.end(), G.rgb.begin());
        if (ColourCount(Pixels[Page]) <= 256)
            EXPECT_EQ(FirstDifference(G, Pixels[Page]), "");
        else
            EXPECT_TRUE(vpltest::CompareRenders(G, Pixels[Page]).similar)
                << vpltest::DescribeComparison(vpltest::CompareRenders(G, Pixels[Page]));
    }
}

void TPageFiles::FolderErrorsAndDeviceContexts() {
    // A folder that does not exist gives 2.
    EXPECT_EQ(Lib.RenderPageToFile(kDPI, 1, 5, Wide(Dir / "none" / "p.png")), 2);
    // The broken page reports its error and is still written, with what
    // came before the broken stream.
    const fs::path Broken = Dir / "broken.png";
    ASSERT_EQ(Lib.RenderPageToFile(kDPI, 3, 5, Wide(Broken)), 1);
    EXPECT_NE(Lib.LastRenderError(), u"");
    TRgbRaster P;
    ASSERT_TRUE(vpltest::ReadPngRaster(Broken, P));
    EXPECT_EQ(FirstDifference(P, Pixels[3]), "");
    const uint8_t* Red = P.Pixel(20, 50);
    EXPECT_EQ(Red[0], 255);
    EXPECT_EQ(Red[1], 0);
    // On a memory device context the page comes out as the BMP's pixels.
    for (int Page = 1; Page <= 3; ++Page) {
        SCOPED_TRACE(Page);
        TBitmap Target(Pixels[Page].width, Pixels[Page].height, pf24bit);
        HDC Dc = CreateCompatibleDC(nullptr);
        HBITMAP Object = CreateBitmapObject(Target);
        HGDIOBJ Old = SelectObject(Dc, Object);
        EXPECT_EQ(Lib.RenderPageToDC(kDPI, Page, Dc), 1);
        SelectObject(Dc, Old);
        DeleteDC(Dc);
        TBitmap Drawn;
        EXPECT_TRUE(GetBitmapObject(Object, Drawn));
        DeleteObject(Object);
        EXPECT_EQ(FirstDifference(vpltest::RasterFromBitmap(Drawn), Pixels[Page]), "");
    }
}

void TPageFiles::CairoBackEnd() {
    const fs::path Cairo = "/usr/lib/x86_64-linux-gnu/libcairo.so.2";
    ASSERT_TRUE(fs::exists(Cairo)) << "no system cairo library (libcairo2)";
    ASSERT_EQ(Lib.SetCairoFileName(Wide(Cairo)), 1);
    ASSERT_EQ(Lib.SelectRenderer(2), 2);
    for (int Page = 1; Page <= 3; ++Page) {
        SCOPED_TRACE(Page);
        const fs::path Png = Render(Page, 5, "c" + std::to_string(Page) + ".png");
        TRgbRaster P;
        std::string Error;
        ASSERT_TRUE(vpltest::ReadPngRaster(Png, P, &Error)) << Error;
        const vpltest::TRenderComparison C = vpltest::CompareRenders(P, Pixels[Page]);
        EXPECT_TRUE(C.similar) << vpltest::DescribeComparison(C);
    }
}

}  // namespace

// The three pages through RenderPageToFile in formats 0, 1, 5, 6, 7 and 10,
// on a device context and through the cairo back end.
TEST(oracle, page_files) {
    for (const char* Tool : {"identify", "tiffinfo", "tiff2rgba", "giftext", "gif2rgb"})
        VPL_REQUIRE_TOOL(Tool);
    TPageFiles F;
    F.Load();
    if (testing::Test::HasFatalFailure()) return;
    {
        SCOPED_TRACE("BMP, PNG and JPEG");
        F.BmpPngJpeg();
    }
    {
        SCOPED_TRACE("TIFF and Group 4 TIFF");
        F.TiffAndGroup4Tiff();
    }
    {
        SCOPED_TRACE("GIF");
        F.Gif();
    }
    {
        SCOPED_TRACE("folder, broken page, device context");
        F.FolderErrorsAndDeviceContexts();
    }
    {
        SCOPED_TRACE("cairo");
        F.CairoBackEnd();
    }
}

// Pages 3, 1, 1 as one TIFF file, plain (0) and Group 4 (1): three
// directories, each equal to the page the single-page road writes.
TEST(oracle, multipage_tiff) {
    for (const char* Tool : {"tiffinfo", "tiffsplit", "tiffcmp"}) VPL_REQUIRE_TOOL(Tool);
    vpltest::TempDir Dir;
    TVelmoPDF Lib;
    ASSERT_NE(Lib.LoadFromString(ThreePagePdf(), u""), 0);
    for (const int Mode : {0, 1}) {
        SCOPED_TRACE(Mode);
        const std::string M = std::to_string(Mode);
        const fs::path File = Dir / ("m" + M + ".tif");
        ASSERT_EQ(Lib.RenderAsMultipageTIFFToFile(kDPI, u"3,1,1", Mode, 0, Wide(File)), 1);
        const std::string Info = Tiffinfo(File);
        size_t Directories = 0;
        for (size_t At = Info.find("TIFF Directory at offset"); At != std::string::npos;
             At = Info.find("TIFF Directory at offset", At + 1))
            ++Directories;
        EXPECT_EQ(Directories, 3u) << Info;
        const std::string Prefix = (Dir / ("piece" + M + "-")).string();
        const auto Split = vpltest::RunCommand({"tiffsplit", File.string(), Prefix});
        ASSERT_EQ(Split.exitCode, 0) << Split.err;
        const char* Pieces[] = {"aaa", "aab", "aac"};
        const int Pages[] = {3, 1, 1};
        for (int I = 0; I < 3; ++I) {
            SCOPED_TRACE(Pieces[I]);
            const fs::path Single = Dir / ("single" + M + "-" + std::to_string(I) + ".tif");
            ASSERT_EQ(Lib.RenderPageToFile(kDPI, Pages[I], Mode == 0 ? 7 : 10, Wide(Single)), 1);
            const auto Cmp = vpltest::RunCommand(
                {"tiffcmp", Prefix + Pieces[I] + ".tif", Single.string()});
            EXPECT_EQ(Cmp.exitCode, 0) << Cmp.out << Cmp.err;
        }
        EXPECT_FALSE(fs::exists(Prefix + "aad.tif"));
    }
    // Other image or output options, or an empty range, give 0.
    EXPECT_EQ(Lib.RenderAsMultipageTIFFToFile(kDPI, u"1", 2, 0, Wide(Dir / "x.tif")), 0);
    EXPECT_EQ(Lib.RenderAsMultipageTIFFToFile(kDPI, u"1", -1, 0, Wide(Dir / "x.tif")), 0);
    EXPECT_EQ(Lib.RenderAsMultipageTIFFToFile(kDPI, u"1", 0, 1, Wide(Dir / "x.tif")), 0);
    EXPECT_EQ(Lib.RenderAsMultipageTIFFToFile(kDPI, u"", 0, 0, Wide(Dir / "x.tif")), 0);
    EXPECT_EQ(Lib.RenderAsMultipageTIFFToFile(kDPI, u"", 1, 0, Wide(Dir / "x.tif")), 0);
}

namespace {

// One row of `pdfimages -list`.
struct TListedImage {
    std::string type;  // image, stencil, smask, ...
    int width = 0, height = 0;
    std::string encoding;
};

std::vector<TListedImage> PdfimagesList(const fs::path& File, int Page) {
    const std::string P = std::to_string(Page);
    const auto R = vpltest::RunCommand({"pdfimages", "-f", P, "-l", P, "-list", File.string()});
    EXPECT_EQ(R.exitCode, 0) << R.err;
    std::vector<TListedImage> Out;
    std::istringstream In(R.out);
    std::string Line;
    for (int Skip = 0; Skip < 2 && std::getline(In, Line); ++Skip) {
    }
    while (std::getline(In, Line)) {
        std::istringstream Fields(Line);
        std::string PageNo, Num, Colour, Comp, Bpc;
        TListedImage I;
        if (Fields >> PageNo >> Num >> I.type >> I.width >> I.height >> Colour >> Comp >> Bpc >>
            I.encoding)
            Out.push_back(I);
    }
    return Out;
}

// A binary PPM (P6, maximum 255) as a raster; empty when it is not one.
TRgbRaster PpmRaster(const std::string& Bytes) {
    std::istringstream In(Bytes);
    std::string Magic;
    int W = 0, H = 0, Max = 0;
    if (!(In >> Magic >> W >> H >> Max) || Magic != "P6" || Max != 255 || W <= 0 || H <= 0)
        return {};
    const size_t Start = size_t(In.tellg()) + 1;
    TRgbRaster Out(W, H);
    if (Bytes.size() < Start + Out.rgb.size()) return {};
    std::copy(Bytes.begin() + std::ptrdiff_t(Start),
              Bytes.begin() + std::ptrdiff_t(Start + Out.rgb.size()), Out.rgb.begin());
    return Out;
}

// The pixels of an image list item's data by its kind (400): a BMP, TIFF
// or PNG file.
TRgbRaster ItemRaster(const std::string& Data, int Kind, const fs::path& Scratch,
                      std::string& Why) {
    TRgbRaster Out;
    if (Kind == 2) return BmpRaster(Data);
    vpltest::WriteFile(Scratch, Data);
    if (Kind == 3) return TiffRaster(Scratch);
    if (Kind == 4) vpltest::ReadPngRaster(Scratch, Out, &Why);
    else Why = "kind " + std::to_string(Kind);
    return Out;
}

// The selected page's image list against pdfimages: count and sizes as
// listed, JPEG data as `pdfimages -j` writes it, the pixels of every other
// image as `pdfimages -png` writes them (of stencil masks only when
// StencilPixels is set).
void CompareImageList(TVelmoPDF& Lib, const fs::path& File, int Page, const fs::path& Dir,
                      bool StencilPixels) {
    const std::vector<TListedImage> Listed = PdfimagesList(File, Page);
    const int32_t List = Lib.GetPageImageList(0);
    ASSERT_NE(List, 0);
    ASSERT_EQ(Lib.GetImageListCount(List), int32_t(Listed.size()));
    const std::string P = std::to_string(Page);
    const std::string JPrefix = (Dir / "j").string(), PPrefix = (Dir / "p").string();
    ASSERT_EQ(vpltest::RunCommand({"pdfimages", "-f", P, "-l", P, "-j", File.string(), JPrefix})
                  .exitCode,
              0);
    ASSERT_EQ(vpltest::RunCommand({"pdfimages", "-f", P, "-l", P, "-png", File.string(), PPrefix})
                  .exitCode,
              0);
    for (size_t I = 0; I < Listed.size(); ++I) {
        SCOPED_TRACE(testing::Message() << "image " << I << " (" << Listed[I].type << ", "
                                        << Listed[I].encoding << ")");
        const int32_t Index = int32_t(I) + 1;
        EXPECT_EQ(Lib.GetImageListItemIntProperty(List, Index, 401), Listed[I].width);
        EXPECT_EQ(Lib.GetImageListItemIntProperty(List, Index, 402), Listed[I].height);
        const int Kind = Lib.GetImageListItemIntProperty(List, Index, 400);
        const std::string Data = Lib.GetImageListItemDataToString(List, Index, 0);
        char Number[8];
        std::snprintf(Number, sizeof Number, "-%03zu", I);
        if (Listed[I].encoding == "jpeg") {
            EXPECT_EQ(Kind, 1);
            EXPECT_TRUE(Data == vpltest::ReadFile(JPrefix + Number + ".jpg"))
                << "the JPEG data differs from pdfimages -j";
            continue;
        }
        if (Listed[I].type == "stencil" && !StencilPixels) continue;
        // pdfimages writes 1-bit PNGs too; ImageMagick turns any of them into
        // 8-bit RGB.
        const TRgbRaster Theirs = PpmRaster(
            vpltest::RunCommand({"convert", PPrefix + Number + ".png", "-depth", "8", "ppm:-"}).out);
        ASSERT_FALSE(Theirs.Empty());
        std::string Why;
        const TRgbRaster Ours = ItemRaster(Data, Kind, Dir / "item.bin", Why);
        ASSERT_FALSE(Ours.Empty()) << "kind " << Kind << ": " << Why;
        EXPECT_EQ(FirstDifference(Ours, Theirs), "") << "kind " << Kind;
    }
    // A released list's ID names nothing any more.
    EXPECT_EQ(Lib.ReleaseImageList(List), 1);
    EXPECT_EQ(Lib.GetImageListCount(List), 0);
    EXPECT_EQ(Lib.GetImageListItemIntProperty(List, 1, 401), 0);
    EXPECT_EQ(Lib.GetImageListItemDataToString(List, 1, 0), "");
    EXPECT_EQ(Lib.ReleaseImageList(List), 0);
}

std::string Deflated(const std::string& Data) {
    uLongf Size = compressBound(uLong(Data.size()));
    std::string Out(Size, '\0');
    compress2(reinterpret_cast<Bytef*>(Out.data()), &Size,
              reinterpret_cast<const Bytef*>(Data.data()), uLong(Data.size()), 9);
    Out.resize(Size);
    return Out;
}

}  // namespace

// A generated page holding a JPEG, a Flate RGB image and an image mask,
// and the first page of a corpus file with several kinds of images.
TEST(oracle, api_image_list) {
    for (const char* Tool : {"pdfimages", "convert"}) VPL_REQUIRE_TOOL(Tool);
    vpltest::TempDir Dir;
    const fs::path Jpeg = Dir / "g.jpg";
    ASSERT_EQ(vpltest::RunCommand({"convert", "-size", "24x16", "gradient:red-blue", "-quality",
                                   "85", "-interlace", "none", Jpeg.string()})
                  .exitCode,
              0);
    std::string Rgb, Mask;
    for (int Y = 0; Y < 12; ++Y)
        for (int X = 0; X < 20; ++X) {
            Rgb.push_back(char(X * 12));
            Rgb.push_back(char(Y * 20));
            Rgb.push_back(char((X * Y) & 0xFF));
        }
    for (int Y = 0; Y < 8; ++Y) {
        Mask.push_back(char(Y % 2 ? 0xF0 : 0x0F));
        Mask.push_back(char(0xFF >> Y));
    }
    const std::string Content =
        "q 48 0 0 32 10 10 cm /J Do Q q 40 0 0 24 70 10 cm /F Do Q "
        "q 0 0.5 0 rg 32 0 0 16 130 10 cm /M Do Q";
    const std::string Pdf = vpltest::PdfFromObjects({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 4 0 R "
        "/Resources << /XObject << /J 5 0 R /F 6 0 R /M 7 0 R >> >> >>",
        StreamObject("", Content),
        StreamObject("/Type /XObject /Subtype /Image /Width 24 /Height 16 /ColorSpace /DeviceRGB "
                     "/BitsPerComponent 8 /Filter /DCTDecode",
                     vpltest::ReadFile(Jpeg)),
        StreamObject("/Type /XObject /Subtype /Image /Width 20 /Height 12 /ColorSpace /DeviceRGB "
                     "/BitsPerComponent 8 /Filter /FlateDecode",
                     Deflated(Rgb)),
        StreamObject("/Type /XObject /Subtype /Image /Width 16 /Height 8 /ImageMask true "
                     "/BitsPerComponent 1",
                     Mask),
    });
    const fs::path Generated = Dir / "images.pdf";
    vpltest::WriteFile(Generated, Pdf);
    {
        SCOPED_TRACE("generated page");
        TVelmoPDF Lib;
        ASSERT_NE(Lib.LoadFromFile(Wide(Generated), u""), 0);
        ASSERT_EQ(PdfimagesList(Generated, 1).size(), 3u);
        CompareImageList(Lib, Generated, 1, Dir.path(), true);
    }
    if (vpltest::CorpusDir().empty()) return;  // the generated page suffices without it
    const fs::path Corpus = vpltest::CorpusDir() / "pdfjs" / "images_1bit_grayscale.pdf";
    if (!fs::exists(Corpus)) return;
    {
        SCOPED_TRACE(Corpus.string());
        vpltest::TempDir CorpusDir;
        TVelmoPDF Lib;
        ASSERT_NE(Lib.LoadFromFile(Wide(Corpus), u""), 0);
        ASSERT_GE(PdfimagesList(Corpus, 1).size(), 3u);
        // Its stencil masks are left to sizes: one is an inline CCITT mask
        // pdfimages writes all black, the other also names a colour space
        // and inverts its samples by /Decode, which pdfimages applies and
        // the list's data of a grey image does not.
        CompareImageList(Lib, Corpus, 1, CorpusDir.path(), false);
    }
}

}  // namespace velmo
