// The image decoder: sample unpacking per colour space and bit depth, masks
// and their fitting, colour keys, the filter chain, the DCT stage, format
// descriptions, the PNG palette patch and the pixel cap.
#include "codecs/ImageDecoder.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <lcms2.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "codecs/CodecServices.h"
#include "codecs/JPEGImage.h"
#include "core/ASCII85.h"
#include "core/Flate.h"
#include "core/PNG.h"
#include "core/Structure.h"
#include "fonts/Type3Rasterizer.h"
#include "platform/gdiplus/GdiPlusFlat.h"
#include "render/ColorManager.h"
#include "render/Picasso.h"

using namespace velmo;

namespace {

// A store of parsed objects; numbered streams are reached through the
// decoder's look-up.
struct TFixture {
    TPDFStructure S;
    std::vector<std::unique_ptr<TPDFStream>> Streams;
    std::map<int32_t, TPDFObject*> Objects;

    TPDFStream* Image(const std::string& Dict, std::string Data, int32_t Num = 0) {
        auto* D = ObjAs<TPDFDictionary>(S.Decode(Dict));
        EXPECT_NE(D, nullptr) << Dict;
        Streams.push_back(std::make_unique<TPDFStream>(&S, std::move(Data), D));
        TPDFStream* St = Streams.back().get();
        if (Num) {
            St->FIndObjNum = Num;
            Objects[Num] = St;
        }
        return St;
    }
    void Prepare(TPDFImageDecoder& Dec) {
        Dec.FOnFindObject = [this](TPDFIndRef* R) -> TPDFObject* {
            auto It = Objects.find(R->ObjNum);
            return It == Objects.end() ? nullptr : It->second;
        };
    }
};

std::string Bytes(std::initializer_list<int> V) {
    std::string S;
    for (int B : V) S.push_back(char(B));
    return S;
}

TColor RGB(int R, int G, int B) { return TColor(R | (G << 8) | (B << 16)); }

uint32_t Crc(std::string_view D) {
    uint32_t C = 0xFFFFFFFFu;
    for (unsigned char B : D) {
        C ^= B;
        for (int K = 0; K < 8; ++K) C = (C & 1) ? 0xEDB88320u ^ (C >> 1) : C >> 1;
    }
    return C ^ 0xFFFFFFFFu;
}

std::string Chunk(const std::string& Type, const std::string& Data) {
    std::string R;
    for (int S = 24; S >= 0; S -= 8) R.push_back(char((Data.size() >> S) & 0xFF));
    R += Type + Data;
    const uint32_t C = Crc(Type + Data);
    for (int S = 24; S >= 0; S -= 8) R.push_back(char((C >> S) & 0xFF));
    return R;
}

// A 1 x 1 PNG with a two-entry palette.
std::string PalettePNG(const std::string& Palette) {
    std::string P = "\x89PNG\r\n\x1a\n";
    P += Chunk("IHDR", Bytes({0, 0, 0, 1, 0, 0, 0, 1, 1, 3, 0, 0, 0}));
    P += Chunk("PLTE", Palette);
    P += Chunk("IDAT", FlateCompress(Bytes({0, 0x80})));
    P += Chunk("IEND", "");
    return P;
}

}  // namespace

// Direct colour, indexed and grey samples at every supported depth.
TEST(ImageDecoder, SamplesBecomePixels) {
    struct TCase {
        const char* Name;
        std::string Dict;
        std::string Data;
        std::vector<std::array<int, 3>> Pixels;  // x, y, colour
    };
    const std::vector<TCase> Cases = {
        {"2-bit grey",
         "<< /Width 4 /Height 1 /ColorSpace /DeviceGray /BitsPerComponent 2 >>",
         Bytes({0x1B}),
         {{0, 0, int(RGB(0, 0, 0))},
          {1, 0, int(RGB(85, 85, 85))},
          {2, 0, int(RGB(170, 170, 170))},
          {3, 0, int(RGB(255, 255, 255))}}},
        {"4-bit grey",
         "<< /Width 2 /Height 1 /ColorSpace /DeviceGray /BitsPerComponent 4 >>",
         Bytes({0xF0}),
         {{0, 0, int(RGB(255, 255, 255))}, {1, 0, 0}}},
        {"8-bit grey inverted",
         "<< /Width 1 /Height 1 /ColorSpace /DeviceGray /BitsPerComponent 8 /Decode [1 0] >>",
         Bytes({200}),
         {{0, 0, int(RGB(55, 55, 55))}}},
        {"8-bit RGB",
         "<< /Width 1 /Height 1 /ColorSpace /DeviceRGB /BitsPerComponent 8 >>",
         Bytes({10, 20, 30}),
         {{0, 0, int(RGB(10, 20, 30))}}},
        {"16-bit RGB high bytes",
         "<< /Width 1 /Height 1 /ColorSpace /DeviceRGB /BitsPerComponent 16 >>",
         Bytes({10, 99, 20, 99, 30, 99}),
         {{0, 0, int(RGB(10, 20, 30))}}},
        {"CalRGB array",
         "<< /Width 1 /Height 1 /ColorSpace [/CalRGB << >>] /BitsPerComponent 8 >>",
         Bytes({1, 2, 3}),
         {{0, 0, int(RGB(1, 2, 3))}}},
        {"indexed hival clamps",
         "<< /Width 2 /Height 1 /ColorSpace [/Indexed /DeviceRGB 1 <FF0000 00FF00>] "
         "/BitsPerComponent 8 >>",
         Bytes({0, 5}),
         {{0, 0, int(RGB(255, 0, 0))}, {1, 0, int(RGB(0, 255, 0))}}},
        {"indexed grey 4-bit",
         "<< /Width 2 /Height 1 /ColorSpace [/Indexed /DeviceGray 2 <00 40 80>] /BitsPerComponent "
         "4 >>",
         Bytes({0x12}),
         {{0, 0, int(RGB(64, 64, 64))}, {1, 0, int(RGB(128, 128, 128))}}},
        {"indexed short lookup is black",
         "<< /Width 1 /Height 1 /ColorSpace [/Indexed /DeviceRGB 3 <FFFFFF>] /BitsPerComponent 8 "
         ">>",
         Bytes({2}),
         {{0, 0, 0}}},
        {"short data reads as zero",
         "<< /Width 2 /Height 2 /ColorSpace /DeviceRGB /BitsPerComponent 8 >>",
         Bytes({9, 9, 9}),
         {{0, 0, int(RGB(9, 9, 9))}, {1, 1, 0}}},
        {"3 bits per component unsupported",
         "<< /Width 3 /Height 1 /ColorSpace /DeviceRGB /BitsPerComponent 3 >>",
         Bytes({255, 255, 255}),
         {{0, 0, 0}, {2, 0, 0}}},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TFixture F;
        TPDFImageDecoder Dec;
        F.Prepare(Dec);
        Dec.LoadFromPDFStream(F.Image(C.Dict, C.Data));
        ASSERT_FALSE(Dec.LoadException()) << Dec.LoadError();
        ASSERT_TRUE(Dec.ValidImage());
        ASSERT_NE(Dec.Bitmap(), nullptr);
        EXPECT_EQ(Dec.Bitmap()->PixelFormat(), pf24bit);
        for (const auto& P : C.Pixels)
            EXPECT_EQ(Dec.Bitmap()->GetPixel(P[0], P[1]), TColor(P[2])) << P[0] << "," << P[1];
        EXPECT_EQ(Dec.NativeType(), nitPNG);
        EXPECT_TRUE(Dec.FilteredData().empty());
    }
}

// CMYK samples (direct and through a palette) go through the colour manager.
TEST(ImageDecoder, CMYKThroughColorManager) {
    TPDFSimpleColorManager M;
    auto Expect = [&](int C, int Mg, int Y, int K) {
        TPDFCMYKColor X{C / 255.0, Mg / 255.0, Y / 255.0, K / 255.0};
        TPDFRGBColor R = M.CMYK2RGB(X);
        return M.RGB2Color(R);
    };
    const std::vector<std::pair<std::string, std::string>> Cases = {
        {"<< /Width 2 /Height 1 /ColorSpace /DeviceCMYK /BitsPerComponent 8 >>",
         Bytes({0, 0, 0, 0, 0, 128, 255, 0})},
        {"<< /Width 2 /Height 1 /ColorSpace [/Indexed /DeviceCMYK 1 <00000000 0080FF00>] "
         "/BitsPerComponent 1 >>",
         Bytes({0x40})},
    };
    for (const auto& [Dict, Data] : Cases) {
        SCOPED_TRACE(Dict);
        TFixture F;
        TPDFImageDecoder Dec;
        Dec.LoadFromPDFStream(F.Image(Dict, Data));
        ASSERT_TRUE(Dec.ValidImage());
        EXPECT_EQ(Dec.Bitmap()->GetPixel(0, 0), Expect(0, 0, 0, 0));
        EXPECT_EQ(Dec.Bitmap()->GetPixel(1, 0), Expect(0, 128, 255, 0));
    }
}

TEST(ImageDecoder, LabAndSeparationTables) {
    TFixture F;
    TPDFImageDecoder Lab;
    Lab.LoadFromPDFStream(
        F.Image("<< /Width 1 /Height 1 /ColorSpace [/Lab << /WhitePoint [0.9505 1 1.089] >>] "
                "/BitsPerComponent 8 >>",
                Bytes({255, 128, 128})));
    ASSERT_TRUE(Lab.ValidImage());
    const TColor C = Lab.Bitmap()->GetPixel(0, 0);
    EXPECT_GE(C & 0xFF, 240u);
    EXPECT_GE((C >> 8) & 0xFF, 240u);
    EXPECT_GE((C >> 16) & 0xFF, 240u);

    // Tint 1 of a separation whose alternate is RGB red through a linear
    // function: red; tint 0: white.
    TPDFImageDecoder Sep;
    Sep.LoadFromPDFStream(F.Image(
        "<< /Width 2 /Height 1 /ColorSpace [/Separation /Spot /DeviceRGB << /FunctionType 2 "
        "/Domain [0 1] /C0 [1 1 1] /C1 [1 0 0] /N 1 >>] /BitsPerComponent 8 >>",
        Bytes({255, 0})));
    ASSERT_TRUE(Sep.ValidImage()) << Sep.LoadError();
    EXPECT_EQ(Sep.Bitmap()->GetPixel(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(Sep.Bitmap()->GetPixel(1, 0), RGB(255, 255, 255));
}

// 1-bit grey stays 1 bit per pixel; Decode [1 0] inverts the bits.
TEST(ImageDecoder, OneBitGrey) {
    for (const bool Inverted : {false, true}) {
        TFixture F;
        TPDFImageDecoder Dec;
        Dec.LoadFromPDFStream(F.Image(std::string("<< /Width 10 /Height 2 /ColorSpace /DeviceGray "
                                                  "/BitsPerComponent 1 ") +
                                          (Inverted ? "/Decode [1 0] >>" : ">>"),
                                      Bytes({0x80, 0x40, 0x00, 0x00})));
        ASSERT_TRUE(Dec.ValidImage());
        ASSERT_EQ(Dec.Bitmap()->PixelFormat(), pf1bit);
        EXPECT_EQ(Dec.Bitmap()->Width(), 10);
        const TColor White = RGB(255, 255, 255);
        EXPECT_EQ(Dec.Bitmap()->GetPixel(0, 0), Inverted ? 0 : White);
        EXPECT_EQ(Dec.Bitmap()->GetPixel(1, 0), Inverted ? White : 0);
        EXPECT_EQ(Dec.Bitmap()->GetPixel(9, 0), Inverted ? 0 : White);
        EXPECT_EQ(Dec.Bitmap()->GetPixel(0, 1), Inverted ? White : 0);
        EXPECT_EQ(Dec.Decode(), "[ 0 1 ]");
        EXPECT_EQ(Dec.NativeType(), nitUnknown);
    }
}

// An image mask is white where it paints (samples 0 by default).
TEST(ImageDecoder, StencilMask) {
    for (const bool Inverted : {false, true}) {
        TFixture F;
        TPDFImageDecoder Dec;
        Dec.LoadFromPDFStream(F.Image(std::string("<< /Width 2 /Height 1 /ImageMask true ") +
                                          (Inverted ? "/Decode [1 0] >>" : ">>"),
                                      Bytes({0x40})));
        ASSERT_TRUE(Dec.ValidImage());
        EXPECT_EQ(Dec.MaskType(), mtStencil);
        EXPECT_EQ(Dec.BitsPerComponent(), 1);
        const TColor White = RGB(255, 255, 255);
        EXPECT_EQ(Dec.Bitmap()->GetPixel(0, 0), Inverted ? 0 : White);
        EXPECT_EQ(Dec.Bitmap()->GetPixel(1, 0), Inverted ? White : 0);
    }
}

// A colour key on an indexed image becomes an explicit mask; on other spaces
// it stays a key whose range is handed to the back end.
TEST(ImageDecoder, ColorKeys) {
    for (const char* Base : {"/DeviceRGB 1 <FF0000 0000FF>", "/DeviceCMYK 1 <00000000 FF000000>"}) {
        SCOPED_TRACE(Base);
        TFixture F;
        TPDFImageDecoder Dec;
        Dec.LoadFromPDFStream(F.Image(std::string("<< /Width 3 /Height 1 /ColorSpace [/Indexed ") +
                                          Base + "] /BitsPerComponent 8 /Mask [0 0] >>",
                                      Bytes({0, 1, 0})));
        ASSERT_TRUE(Dec.ValidImage());
        EXPECT_EQ(Dec.MaskType(), mtExplicit);
        ASSERT_NE(Dec.MaskBitmap(), nullptr);
        EXPECT_EQ(Dec.MaskBitmap()->GetPixel(0, 0), 0);
        EXPECT_EQ(Dec.MaskBitmap()->GetPixel(1, 0), RGB(255, 255, 255));
        EXPECT_EQ(Dec.MaskBitmap()->GetPixel(2, 0), 0);
    }

    TPDFSimpleColorManager M;
    auto Col = [&](double R, double G, double B) {
        TPDFRGBColor C{R, G, B};
        return M.RGB2Color(C);
    };
    struct TKey {
        std::string CS, Key;
        TColor Low, High;
    };
    TPDFCMYKColor CK{0, 0, 0, 0};
    TPDFRGBColor White = M.CMYK2RGB(CK);
    const std::vector<TKey> Keys = {
        {"/DeviceRGB", "[255 250 0 10 0 10]", Col(0, 0, 250 / 255.0),
         Col(10 / 255.0, 10 / 255.0, 1)},
        {"/DeviceGray", "[20 10]", Col(10 / 255.0, 10 / 255.0, 10 / 255.0),
         Col(20 / 255.0, 20 / 255.0, 20 / 255.0)},
        {"/DeviceCMYK", "[0 0 0 0 0 0 0 0]", M.RGB2Color(White), M.RGB2Color(White)},
        {"/DeviceRGB", "[0 10]", 0, 0},
        {"[/Lab << /WhitePoint [1 1 1] >>]", "[0 1 0 1 0 1]", 0, 0},
    };
    for (const TKey& K : Keys) {
        SCOPED_TRACE(K.CS + K.Key);
        TFixture F;
        TPDFImageDecoder Dec;
        Dec.LoadFromPDFStream(F.Image("<< /Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace " +
                                          K.CS + " /Mask " + K.Key + " >>",
                                      std::string(4, '\0')));
        EXPECT_EQ(Dec.MaskType(), mtColorKey);
        TColor L = 1, H = 1;
        Dec.ColorKeyRange(L, H);
        EXPECT_EQ(L, K.Low);
        EXPECT_EQ(H, K.High);
    }
}

// Image and mask of different sizes meet at the larger width and height; a
// 1 x 1 image fills the mask's size with its colour; a mask decoded with
// Decode [1 0] gives inverted alpha. Extraction of masked images gives a PNG
// with that alpha.
TEST(ImageDecoder, MaskFittingAndAlpha) {
    struct TCase {
        const char* Name;
        std::string Image, ImageData, Mask, MaskData;
        uint32_t W, H;
        int Alpha;  // at (0, 0)
        TColor Colour;
    };
    const std::vector<TCase> Cases = {
        {"8x8 image, 16x4 soft mask",
         "<< /Width 8 /Height 8 /ColorSpace /DeviceRGB /BitsPerComponent 8 /SMask 5 0 R >>",
         std::string(8 * 8 * 3, '\x40'),
         "<< /Width 16 /Height 4 /ColorSpace /DeviceGray /BitsPerComponent 8 >>",
         std::string(16 * 4, '\x80'), 16, 8, 0x80, RGB(0x40, 0x40, 0x40)},
        {"soft mask with Decode [1 0]",
         "<< /Width 1 /Height 1 /ColorSpace /DeviceRGB /BitsPerComponent 8 /SMask 5 0 R >>",
         Bytes({1, 2, 3}),
         "<< /Width 1 /Height 1 /ColorSpace /DeviceGray /BitsPerComponent 8 /Decode [1 0] >>",
         Bytes({0x30}), 1, 1, 255 - 0x30, RGB(1, 2, 3)},
        {"1x1 image, 4x4 explicit mask",
         "<< /Width 1 /Height 1 /ColorSpace /DeviceRGB /BitsPerComponent 8 /Mask 5 0 R >>",
         Bytes({200, 100, 50}), "<< /Width 4 /Height 4 /ImageMask true >>", Bytes({0, 0, 0, 0}), 4,
         4, 255, RGB(200, 100, 50)},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TFixture F;
        F.Image(C.Mask, C.MaskData, 5);
        TPDFImageDecoder Dec;
        F.Prepare(Dec);
        Dec.FIsImageExtraction = true;
        Dec.LoadFromPDFStream(F.Image(C.Image, C.ImageData));
        ASSERT_TRUE(Dec.ValidImage());
        ASSERT_NE(Dec.MaskBitmap(), nullptr);
        EXPECT_EQ(Dec.FDecodeMode, dmToNative);
        EXPECT_EQ(Dec.NativeType(), nitPNG);
        TMemoryStream S;
        const std::string Png = Dec.NativeImageData();
        S.Write(Png.data(), int64_t(Png.size()));
        S.Seek(0, soBeginning);
        TPNGReader R;
        R.LoadFromStream(S);
        EXPECT_EQ(R.Width(), C.W);
        EXPECT_EQ(R.Height(), C.H);
        auto B = R.SaveToBitmap();
        ASSERT_NE(B, nullptr);
        ASSERT_EQ(B->PixelFormat(), pf32bit);
        for (uint32_t Y = 0; Y < C.H; Y += C.H - 1 ? C.H - 1 : 1) {
            const uint8_t* P = B->ScanLine(int(Y));
            EXPECT_EQ(P[3], C.Alpha);
            EXPECT_EQ(TColor(P[2] | P[1] << 8 | P[0] << 16), C.Colour);
            if (C.H == 1) break;
        }
        // Counted with the rasters.
        EXPECT_GE(Dec.ImageDataSize(), int64_t(Png.size()));
    }
}

TEST(ImageDecoder, FilterChain) {
    const std::string Raw = Bytes({1, 2, 3, 4, 5, 6});
    const std::string Z = FlateCompress(Raw);
    std::string Hex;
    for (unsigned char B : Z) {
        static const char* D = "0123456789ABCDEF";
        Hex += D[B >> 4];
        Hex += D[B & 15];
    }
    // PNG Up predictor over two rows of 3 bytes: row 2 = row 1 + delta.
    const std::string Pred = FlateCompress(Bytes({2, 1, 2, 3, 2, 3, 3, 3}));
    struct TCase {
        const char* Name;
        std::string Filter;
        std::string Data;
    };
    const std::string Base = "<< /Width 2 /Height 1 /ColorSpace /DeviceRGB /BitsPerComponent 8 ";
    const std::vector<TCase> Cases = {
        {"single name", "/Filter /FlateDecode >>", Z},
        {"array", "/Filter [/FlateDecode] >>", Z},
        {"abbreviation", "/Filter /Fl >>", Z},
        {"chain", "/Filter [/AHx /FlateDecode] >>", Hex + ">"},
        {"not a name skipped", "/Filter [7 /FlateDecode] /DecodeParms [null null] >>", Z},
        {"second filter gets no parameters",
         "/Filter [/ASCIIHexDecode /FlateDecode] /DecodeParms [<< /Predictor 12 /Columns 3 >>] >>",
         Hex},
        {"predictor",
         "/Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 3 /Colors 1 >> >>", Pred},
        {"run length", "/Filter /RunLengthDecode >>", Bytes({5, 1, 2, 3, 4, 5, 6, 128})},
        {"ASCII85", "/Filter /A85 >>", EncodeASCII85(Raw)},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TFixture F;
        TPDFImageDecoder Dec;
        Dec.LoadFromPDFStream(F.Image(Base + C.Filter, C.Data));
        ASSERT_TRUE(Dec.ValidImage());
        EXPECT_EQ(Dec.Bitmap()->GetPixel(0, 0), RGB(1, 2, 3));
        EXPECT_EQ(Dec.Bitmap()->GetPixel(1, 0), RGB(4, 5, 6));
        EXPECT_EQ(Dec.Filter().front(), '[');
    }
}

TEST(ImageDecoder, ColorSpaceReading) {
    struct TCase {
        std::string CS;
        std::string Expected;
        int32_t Hival;
        size_t LookupSize;
    };
    TFixture F;
    F.Image("<< /N 3 >>", "profile", 7);
    F.Image("<< /N 2 >>", "profile", 8);
    F.Image("<< /N 4 /Alternate /DeviceCMYK >>", "profile", 9);
    const std::vector<TCase> Cases = {
        {"/DeviceRGB", "DeviceRGB", -1, 0},
        {"/CalRGB", "CalRGB", -1, 0},
        {"[/CalGray << >>]", "DeviceGray", -1, 0},
        {"[/ICCBased 7 0 R]", "DeviceRGB", -1, 0},
        {"[/ICCBased 8 0 R]", "", -1, 0},
        {"[/ICCBased 9 0 R]", "DeviceCMYK", -1, 0},
        {"[/Indexed /DeviceRGB 1 <000000FFFFFF>]", "Indexed", 1, 6},
        {"[/Indexed /DeviceRGB /x <000000>]", "Indexed", -1, 3},
        {"[/Pattern]", "", -1, 0},
        {"42", "", -1, 0},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.CS);
        TPDFImageDecoder Dec;
        F.Prepare(Dec);
        Dec.LoadFromPDFStream(
            F.Image("<< /Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace " + C.CS + " >>",
                    std::string(4, '\0')));
        EXPECT_EQ(Dec.ColorSpace(), C.Expected);
        EXPECT_EQ(Dec.IndexedHival(), C.Hival);
        EXPECT_EQ(Dec.IndexedData().size(), C.LookupSize);
    }
    // The profile is read once per object: the renderer's one-entry cache.
    TPDFImageDecoder A;
    F.Prepare(A);
    A.LoadFromPDFStream(
        F.Image("<< /Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace [/ICCBased 7 0 R] >>",
                std::string(3, '\0')));
    EXPECT_EQ(A.LastFICCProfileIndObj, 7);
    EXPECT_FALSE(A.LastFICCProfile.empty());
}

TEST(ImageDecoder, FormatDescriptions) {
    struct TCase {
        std::string Dict;
        std::string Key, Readable;
    };
    TFixture F;
    F.Image(
        "<< /Width 4 /Height 2 /ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /FlateDecode >>",
        FlateCompress(std::string(8, '\0')), 5);
    F.Image("<< /Alternate /DeviceRGB /N 3 >>", "", 6);
    const std::string RGB8(640 * 480 * 3 > 0 ? 12 : 0, '\0');
    const std::vector<TCase> Cases = {
        {"<< /Width 2 /Height 2 /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /FlateDecode >>",
         "W:2;H:2;BPC:8;CS:RGB;C:Flate;", "2x2 24-bit Flate RGB"},
        {"<< /Width 2 /Height 2 /ColorSpace /DeviceRGB /BitsPerComponent 8 /Decode [1 0 1 0 1 0] "
         ">>",
         "W:2;H:2;BPC:8;CS:RGB;C:Uncompressed;", "2x2 24-bit Uncompressed RGBInverse "},
        {"<< /Width 2 /Height 2 /ImageMask true >>", "W:2;H:2;BPC:1;CS:;C:Uncompressed;M:Stencil;",
         "2x2 1-bit Uncompressed "},
        {"<< /Width 2 /Height 2 /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter [/A85 /Fl] >>",
         "W:2;H:2;BPC:8;CS:RGB;C:Unknown;", "2x2 24-bit Unknown RGB"},
        {"<< /Width 2 /Height 2 /ColorSpace [/ICCBased 6 0 R] /BitsPerComponent 8 >>",
         "W:2;H:2;BPC:8;CS:ICC[RGB];C:Uncompressed;", "2x2 8-bit Uncompressed ICC[RGB]"},
        {"<< /Width 2 /Height 2 /ColorSpace [/Indexed /DeviceCMYK 0 <00000000>] /BitsPerComponent "
         "8 >>",
         "W:2;H:2;BPC:8;CS:Indexed[CMYK];C:Uncompressed;", "2x2 8-bit Uncompressed Indexed[CMYK]"},
        {"<< /Width 2 /Height 2 /ColorSpace /DeviceRGB /BitsPerComponent 8 /SMask 5 0 R >>",
         "W:2;H:2;BPC:8;CS:RGB;C:Uncompressed;M:Soft;MW:4;MH:2;MBPC:8;MC:Flate;",
         "2x2 24-bit Uncompressed RGB SoftMask 4x2 8-bit Flate "},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Dict);
        TPDFImageDecoder Dec;
        F.Prepare(Dec);
        Dec.LoadFromPDFStream(F.Image(C.Dict, std::string(12, '\0')));
        EXPECT_EQ(Dec.GetFormatDesc(nullptr, 0, false), C.Key);
        EXPECT_EQ(Dec.GetFormatDesc(nullptr, 1, false), C.Readable);
    }
}

// The palette patch: bytes, the transparency chunk and its CRC.
TEST(ImageDecoder, PatchPNGPalette) {
    struct TCase {
        std::string Palette;
        std::string AfterSet;  // palette after SetTrans with red
        std::string Trns;      // the inserted chunk
    };
    const std::vector<TCase> Cases = {
        {Bytes({0, 0, 0, 255, 255, 255}), Bytes({0, 0, 0, 255, 0, 0}),
         Bytes({0, 0, 0, 2, 't', 'R', 'N', 'S', 0x00, 0xFF, 0x5B, 0x91, 0x22, 0xB5})},
        {Bytes({255, 255, 255, 0, 0, 0}), Bytes({255, 0, 0, 0, 0, 0}),
         Bytes({0, 0, 0, 2, 't', 'R', 'N', 'S', 0xFF, 0x00, 0xE5, 0xB7, 0x30, 0x4A})},
    };
    for (const TCase& C : Cases) {
        const std::string Png = PalettePNG(C.Palette);
        const size_t PlteData = Png.find("PLTE") + 4;
        const size_t Idat = Png.find("IDAT") - 4;
        TPDFImageDecoder Dec;
        TMemoryStream S;
        S.Write(Png.data(), int64_t(Png.size()));
        Dec.PatchPNGPalette(S, "SetTrans", RGB(255, 0, 0));
        const std::string& B = S.Bytes();
        EXPECT_EQ(B.substr(PlteData, 6), C.AfterSet);
        EXPECT_EQ(B.substr(Idat, 14), C.Trns);
        EXPECT_EQ(B.size(), Png.size() + 14);
        Dec.PatchPNGPalette(S, "Reset", 0);
        EXPECT_EQ(S.Bytes().substr(PlteData, 6), C.Palette);
        EXPECT_EQ(S.Bytes().substr(Idat, 14), C.Trns);  // stays
        // A second SetTrans overwrites the chunk in place.
        Dec.PatchPNGPalette(S, "SetTrans", RGB(0, 0, 255));
        EXPECT_EQ(S.Bytes().size(), Png.size() + 14);
        Dec.PatchPNGPalette(S, "Reset", 0);
        Dec.PatchPNGPalette(S, "Swap", 0);
        EXPECT_EQ(S.Bytes().substr(PlteData, 6), C.Palette.substr(3) + C.Palette.substr(0, 3));
    }
    // Not a two-entry palette: untouched.
    const std::string Three = PalettePNG(Bytes({0, 0, 0, 1, 1, 1, 2, 2, 2}));
    TMemoryStream S;
    S.Write(Three.data(), int64_t(Three.size()));
    TPDFImageDecoder Dec;
    Dec.PatchPNGPalette(S, "SetTrans", RGB(255, 0, 0));
    EXPECT_EQ(S.Bytes(), Three);
}

TEST(ImageDecoder, DCTStage) {
    TBitmap Src(100, 100, pf24bit);
    for (int Y = 0; Y < 100; ++Y)
        for (int X = 0; X < 100; ++X)
            Src.SetPixel(X, Y, X < 50 ? RGB(250, 10, 10) : RGB(10, 10, 250));
    TPDFJPEGImage J;
    J.Assign(Src);
    TMemoryStream JS;
    J.SaveToStream(JS);
    const std::string Jpeg = JS.Bytes();
    struct TCase {
        const char* Name;
        int W, H;
        std::string Data;
    };
    const std::vector<TCase> Cases = {
        {"as stored", 100, 100, Jpeg},
        {"leading line feed", 100, 100, "\n" + Jpeg},
        {"resampled to the dictionary", 50, 50, Jpeg},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TFixture F;
        TPDFImageDecoder Dec;
        Dec.LoadFromPDFStream(
            F.Image("<< /Width " + std::to_string(C.W) + " /Height " + std::to_string(C.H) +
                        " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /DCTDecode >>",
                    C.Data));
        ASSERT_TRUE(Dec.ValidImage()) << Dec.LoadError();
        ASSERT_EQ(Dec.Bitmap()->Width(), C.W);
        ASSERT_EQ(Dec.Bitmap()->Height(), C.H);
        const TColor L = Dec.Bitmap()->GetPixel(C.W / 4, C.H / 2);
        const TColor R = Dec.Bitmap()->GetPixel(3 * C.W / 4, C.H / 2);
        EXPECT_GT(L & 0xFF, 200u);
        EXPECT_GT((R >> 16) & 0xFF, 200u);
        EXPECT_EQ(Dec.ImageFilter(), "DCTDecode");
    }
    // Native mode keeps the JPEG bytes, without the line feed.
    TFixture F;
    TPDFImageDecoder Nat;
    Nat.FDecodeMode = dmToNative;
    Nat.LoadFromPDFStream(
        F.Image("<< /Width 100 /Height 100 /ColorSpace /DeviceRGB /BitsPerComponent 8 "
                "/Filter [/DCTDecode] >>",
                "\n" + Jpeg));
    EXPECT_EQ(Nat.NativeType(), nitJPEG);
    EXPECT_EQ(Nat.NativeImageData(), Jpeg);
    // Damaged data: no image, nothing thrown.
    TPDFImageDecoder Bad;
    Bad.LoadFromPDFStream(
        F.Image("<< /Width 8 /Height 8 /ColorSpace /DeviceRGB /BitsPerComponent 8 "
                "/Filter /DCTDecode >>",
                Jpeg.substr(0, 40)));
    EXPECT_FALSE(Bad.ValidImage());
}

// Filters without a decoder yet give no image; rasters beyond the pixel cap
// are load failures.
TEST(ImageDecoder, UndecodableAndOversized) {
    TFixture F;
    // (Fax data that decode to nothing keep their white rows: see
    // ImageDecoderCodecs.)
    for (const char* Filter : {"/JBIG2Decode", "/JPXDecode"}) {
        TPDFImageDecoder Dec;
        Dec.LoadFromPDFStream(F.Image(std::string("<< /Width 8 /Height 8 /ColorSpace /DeviceGray "
                                                  "/BitsPerComponent 1 /Filter ") +
                                          Filter + " >>",
                                      std::string(8, '\0')));
        EXPECT_FALSE(Dec.ValidImage()) << Filter;
        EXPECT_FALSE(Dec.LoadException());
    }
    struct TCase {
        std::string Dict;
    };
    for (const std::string& Dict :
         {std::string("<< /Width 2000000000 /Height 2000000000 /ColorSpace /DeviceRGB "
                      "/BitsPerComponent 8 >>"),
          std::string(
              "<< /Width 70000 /Height 70000 /ColorSpace /DeviceGray /BitsPerComponent 1 >>")}) {
        TPDFImageDecoder Dec;
        Dec.LoadFromPDFStream(F.Image(Dict, "x"));
        EXPECT_TRUE(Dec.LoadException()) << Dict;
        EXPECT_FALSE(Dec.ValidImage());
    }
    TPDFImageDecoder Small;
    Small.FMaxPixels = 100;
    Small.LoadFromPDFStream(
        F.Image("<< /Width 11 /Height 10 /ColorSpace /DeviceGray /BitsPerComponent 8 >>", ""));
    EXPECT_TRUE(Small.LoadException());
    // Negative and zero sizes: no image, no failure.
    TPDFImageDecoder Neg;
    Neg.LoadFromPDFStream(
        F.Image("<< /Width -4 /Height 10 /ColorSpace /DeviceGray /BitsPerComponent 8 >>", ""));
    EXPECT_FALSE(Neg.ValidImage());
    EXPECT_FALSE(Neg.LoadException());
}

TEST(ImageDecoder, ImageDataSizeCountsRasters) {
    TFixture F;
    F.Image("<< /Width 4 /Height 4 /ColorSpace /DeviceGray /BitsPerComponent 8 >>",
            std::string(16, '\x10'), 5);
    TPDFImageDecoder Dec;
    F.Prepare(Dec);
    Dec.LoadFromPDFStream(
        F.Image("<< /Width 4 /Height 4 /ColorSpace /DeviceRGB /BitsPerComponent 8 /SMask 5 0 R >>",
                std::string(48, '\x20')));
    ASSERT_NE(Dec.MaskBitmap(), nullptr);
    EXPECT_EQ(Dec.ImageDataSize(), int64_t(Dec.Bitmap()->BytesPerScanLine() * 4 +
                                           Dec.MaskBitmap()->BytesPerScanLine() * 4));
}

// Inline images: abbreviations are expanded before the lookup only, so a
// lookup holding "/" or "G" keeps its bytes.
TEST(ImageDecoder, InlineImages) {
    struct TCase {
        const char* Name;
        std::string ColorSpace;
        std::string Data;
        int BPC;
        TColor Pixel0;
    };
    const std::vector<TCase> Cases = {
        {"grey abbreviation", "/G", Bytes({77}), 8, RGB(77, 77, 77)},
        {"RGB abbreviation", "/RGB", Bytes({1, 2, 3}), 8, RGB(1, 2, 3)},
        {"indexed with slash in lookup", "[ /I /RGB 1 (/G//RGB) ]", Bytes({1}), 8,
         RGB('/', 'R', 'G')},
        {"indexed hex lookup", "[ /Indexed /DeviceRGB 1 <102030405060> ]", Bytes({0x80}), 1,
         RGB(0x40, 0x50, 0x60)},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TPDFInlineImage I;
        I.Width = 1;
        I.Height = 1;
        I.BitsPerComponent = C.BPC;
        I.ColorSpace = C.ColorSpace;
        I.ImageData = C.Data;
        TPDFImageDecoder Dec;
        Dec.LoadFromInlineImage(I, nullptr);
        ASSERT_TRUE(Dec.ValidImage()) << Dec.LoadError();
        EXPECT_EQ(Dec.Bitmap()->GetPixel(0, 0), C.Pixel0);
    }
    // A filtered inline image.
    TPDFInlineImage I;
    I.Width = 2;
    I.Height = 1;
    I.BitsPerComponent = 8;
    I.ColorSpace = "DeviceGray";
    I.Filter = "[ /ASCIIHexDecode ]";
    I.ImageData = "10 F0>";
    TPDFImageDecoder Dec;
    Dec.LoadFromInlineImage(I, nullptr);
    ASSERT_TRUE(Dec.ValidImage());
    EXPECT_EQ(Dec.Bitmap()->GetPixel(1, 0), RGB(0xF0, 0xF0, 0xF0));
}

namespace {

// A linear-light profile (gamma 1 on sRGB primaries), RGB or grey.
std::string LinearProfile(bool Gray) {
    cmsToneCurve* Curve = cmsBuildGamma(nullptr, 1.0);
    cmsHPROFILE P;
    if (Gray) {
        P = cmsCreateGrayProfile(cmsD50_xyY(), Curve);
    } else {
        cmsCIExyY White;
        cmsWhitePointFromTemp(&White, 6504);
        const cmsCIExyYTRIPLE Primaries = {{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}};
        cmsToneCurve* Curves[3] = {Curve, Curve, Curve};
        P = cmsCreateRGBProfile(&White, &Primaries, Curves);
    }
    cmsUInt32Number Size = 0;
    cmsSaveProfileToMem(P, nullptr, &Size);
    std::string Bytes(Size, '\0');
    cmsSaveProfileToMem(P, Bytes.data(), &Size);
    cmsCloseProfile(P);
    cmsFreeToneCurve(Curve);
    return Bytes;
}

}  // namespace

// An embedded profile converts the samples it describes; a profile of
// another kind, or profiles switched off, leave them as they are.
TEST(ImageDecoder, ICCProfiles) {
    struct TCase {
        const char* Name;
        bool GrayProfile;
        std::string CS;  // the image's space beside the profile's N
        bool Ignore;
        bool Converted;
    };
    const std::vector<TCase> Cases = {
        {"RGB profile, RGB samples", false, "DeviceRGB", false, true},
        {"grey profile, grey samples", true, "DeviceGray", false, true},
        {"switched off", false, "DeviceRGB", true, false},
        {"grey profile on RGB samples", true, "DeviceRGB", false, false},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TFixture F;
        const int N = C.CS == "DeviceRGB" ? 3 : 1;
        F.Image("<< /N " + std::to_string(N) + " /Alternate /" + C.CS + " >>",
                LinearProfile(C.GrayProfile), 7);
        TPDFImageDecoder Dec;
        F.Prepare(Dec);
        Dec.IgnoreICCProfiles = C.Ignore;
        Dec.LoadFromPDFStream(
            F.Image("<< /Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace [/ICCBased 7 0 R] >>",
                    std::string(size_t(N), '\x80')));
        ASSERT_TRUE(Dec.ValidImage());
        const TColor P = Dec.Bitmap()->GetPixel(0, 0);
        if (C.Converted) {
            // Linear 0.5 is about 188 in sRGB.
            EXPECT_NEAR(int(P & 0xFF), 188, 4);
            EXPECT_NEAR(int((P >> 16) & 0xFF), 188, 4);
        } else {
            EXPECT_EQ(P, RGB(128, 128, 128));
        }
    }
}

namespace {

// A white page with a GDI+ canvas; the canvas is freed before reading.
struct TDrawPage {
    TBitmap BM;
    std::unique_ptr<TPDFPicasso> P;
    TDrawPage(int W, int H) : BM(W, H, pf24bit) {
        RegisterGdiPlusModule();
        for (int Y = 0; Y < H; ++Y)
            for (int X = 0; X < W; ++X) BM.SetPixel(X, Y, RGB(255, 255, 255));
        TGDIPlusSettings S;
        InitGDIPlusSettings(S);
        S.SmoothImages = false;
        P = std::make_unique<TPDFPicasso>();
        P->UseGDIPlusModel(&BM.Canvas(), S);
    }
    TColor At(int X, int Y) {
        P.reset();
        return BM.GetPixel(X, Y);
    }
};

bool Near(TColor A, TColor B) {
    for (int S = 0; S < 24; S += 8)
        if (std::abs(int((A >> S) & 0xFF) - int((B >> S) & 0xFF)) > 8) return false;
    return true;
}

}  // namespace

// Drawn through the unit square: the first row at the top edge, masks as
// alpha, stencils in the fill colour, colour keys transparent.
TEST(ImageDecoder, DrawThroughBackEnd) {
    const TPDFXForm Page{20, 0, 0, -20, 0, 20};  // unit square to a 20 x 20 page
    const TColor White = RGB(255, 255, 255), Red = RGB(255, 0, 0), Blue = RGB(0, 0, 255);
    struct TCase {
        const char* Name;
        std::string Dict, Data;
        std::string Mask, MaskData;
        TColor Fill;
        TColor Top, Bottom;  // at (10, 5) and (10, 15)
    };
    const std::vector<TCase> Cases = {
        {"rows top first", "<< /Width 1 /Height 2 /ColorSpace /DeviceRGB /BitsPerComponent 8 >>",
         Bytes({255, 0, 0, 0, 0, 255}), "", "", 0, Red, Blue},
        {"soft mask",
         "<< /Width 1 /Height 2 /ColorSpace /DeviceRGB /BitsPerComponent 8 /SMask 5 0 R >>",
         Bytes({255, 0, 0, 255, 0, 0}),
         "<< /Width 1 /Height 2 /ColorSpace /DeviceGray /BitsPerComponent 8 >>", Bytes({255, 0}), 0,
         Red, White},
        {"stencil in the fill colour", "<< /Width 1 /Height 2 /ImageMask true >>",
         Bytes({0x00, 0x80}), "", "", Blue, Blue, White},
        {"colour key",
         "<< /Width 1 /Height 2 /ColorSpace /DeviceGray /BitsPerComponent 8 /Mask [0 10] >>",
         Bytes({5, 100}), "", "", 0, White, RGB(100, 100, 100)},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TFixture F;
        if (!C.Mask.empty()) F.Image(C.Mask, C.MaskData, 5);
        TPDFImageDecoder Dec;
        F.Prepare(Dec);
        Dec.LoadFromPDFStream(F.Image(C.Dict, C.Data));
        ASSERT_TRUE(Dec.ValidImage());
        TDrawPage Pg(20, 20);
        Dec.Draw(*Pg.P, Page, C.Fill);
        Pg.P.reset();
        EXPECT_TRUE(Near(Pg.BM.GetPixel(10, 5), C.Top)) << std::hex << Pg.BM.GetPixel(10, 5);
        EXPECT_TRUE(Near(Pg.BM.GetPixel(10, 15), C.Bottom)) << std::hex << Pg.BM.GetPixel(10, 15);
        EXPECT_FALSE(Dec.DrawException());
    }
}

namespace {

// A 8 x 8 four-component JPEG whose stored samples are all V.
std::string CMYKJpeg(uint8_t V) {
    jpeg_compress_struct C{};
    jpeg_error_mgr E{};
    C.err = jpeg_std_error(&E);
    jpeg_create_compress(&C);
    unsigned char* Out = nullptr;
    unsigned long Size = 0;
    jpeg_mem_dest(&C, &Out, &Size);
    C.image_width = 8;
    C.image_height = 8;
    C.input_components = 4;
    C.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&C);
    jpeg_set_quality(&C, 100, TRUE);
    jpeg_start_compress(&C, TRUE);
    std::vector<uint8_t> Row(32, V);
    while (C.next_scanline < C.image_height) {
        JSAMPROW R = Row.data();
        jpeg_write_scanlines(&C, &R, 1);
    }
    jpeg_finish_compress(&C);
    std::string Bytes(reinterpret_cast<char*>(Out), Size);
    jpeg_destroy_compress(&C);
    free(Out);
    return Bytes;
}

}  // namespace

// The decoded CMYK samples are inks as they stand (full samples are black);
// a Decode array of 1 0 pairs turns them into their complements.
TEST(ImageDecoder, DCTCMYKInversion) {
    const std::string Jpeg = CMYKJpeg(255);
    struct TCase {
        const char* Decode;
        TColor Expected;
    };
    const std::vector<TCase> Cases = {
        {"", RGB(0, 0, 0)},
        {"/Decode [0 1 0 1 0 1 0 1]", RGB(0, 0, 0)},
        {"/Decode [1 0 1 0 1 0 1 0]", RGB(255, 255, 255)},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Decode);
        TFixture F;
        TPDFImageDecoder Dec;
        Dec.LoadFromPDFStream(F.Image(std::string("<< /Width 8 /Height 8 /ColorSpace /DeviceCMYK "
                                                  "/BitsPerComponent 8 /Filter /DCTDecode ") +
                                          C.Decode + " >>",
                                      Jpeg));
        ASSERT_TRUE(Dec.ValidImage()) << Dec.LoadError();
        EXPECT_TRUE(Near(Dec.Bitmap()->GetPixel(4, 4), C.Expected))
            << std::hex << Dec.Bitmap()->GetPixel(4, 4);
    }
}

// A codec stage's 8-bit index bitmap becomes 24-bit colour through the
// lookup of the image's Indexed space.
TEST(ImageDecoder, ExpandIndexedBitmap) {
    // Stands for black ink as the decoder's colour manager shows it.
    const TColor InkBlack = TColor(0x7F000000);
    struct TCase {
        const char* Name;
        std::string Space;
        int Bpc;
        std::vector<uint8_t> Indexes;  // one row of three
        std::vector<TColor> Expected;  // 0 .. 2; empty: the bitmap stays 8-bit
    };
    const std::vector<TCase> Cases = {
        {"grey lookup",
         "[/Indexed /DeviceGray 2 <10 80 F0>]",
         8,
         {0, 1, 2},
         {RGB(16, 16, 16), RGB(128, 128, 128), RGB(240, 240, 240)}},
        {"RGB lookup, indexes above hival take hival",
         "[/Indexed /DeviceRGB 1 <FF0000 00FF00 0000FF>]",
         8,
         {0, 1, 200},
         {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 255, 0)}},
        {"CMYK lookup through the colour manager",
         "[/Indexed /DeviceCMYK 1 <00000000 000000FF>]",
         8,
         {0, 1, 1},
         {RGB(255, 255, 255), InkBlack, InkBlack}},
        {"a short lookup gives black",
         "[/Indexed /DeviceRGB 2 <FFFFFF>]",
         8,
         {0, 1, 2},
         {RGB(255, 255, 255), RGB(0, 0, 0), RGB(0, 0, 0)}},
        {"a negative hival gives black",
         "[/Indexed /DeviceRGB -1 <FFFFFF>]",
         8,
         {0, 1, 2},
         {RGB(0, 0, 0), RGB(0, 0, 0), RGB(0, 0, 0)}},
        {"not 8 bits per component: left",
         "[/Indexed /DeviceRGB 1 <FFFFFF 000000>]",
         4,
         {0, 1, 1},
         {}},
        {"not Indexed: left", "/DeviceGray", 8, {0, 1, 1}, {}},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TFixture F;
        TPDFImageDecoder Dec;
        F.Prepare(Dec);
        const int RowBytes = C.Bpc == 8 ? 3 : 2;
        Dec.LoadFromPDFStream(F.Image("<< /Width 3 /Height 2 /BitsPerComponent " +
                                          std::to_string(C.Bpc) + " /ColorSpace " + C.Space + " >>",
                                      std::string(size_t(2 * RowBytes), '\0')));
        ASSERT_FALSE(Dec.LoadException());
        // The stage's bitmap: one row of indexes, the image two rows high.
        auto Stage = std::make_unique<TBitmap>(3, 1, pf8bit);
        for (int X = 0; X < 3; ++X) Stage->ScanLine(0)[X] = C.Indexes[size_t(X)];
        Dec.SetBitmap(std::move(Stage));
        Dec.ExpandIndexedBitmap();
        EXPECT_FALSE(Dec.LoadException());
        ASSERT_NE(Dec.Bitmap(), nullptr);
        if (C.Expected.empty()) {
            EXPECT_EQ(Dec.Bitmap()->PixelFormat(), pf8bit);
            continue;
        }
        ASSERT_EQ(Dec.Bitmap()->PixelFormat(), pf24bit);
        ASSERT_EQ(Dec.Bitmap()->Width(), 3);
        ASSERT_EQ(Dec.Bitmap()->Height(), 2);
        TPDFCMYKColor Black{0, 0, 0, 1};
        TPDFRGBColor BlackRGB = Dec.ColorManager()->CMYK2RGB(Black);
        for (int X = 0; X < 3; ++X) {
            TColor Want = C.Expected[size_t(X)];
            if (Want == InkBlack) {
                Want = RGB(int(std::lround(BlackRGB.Red * 255)),
                           int(std::lround(BlackRGB.Green * 255)),
                           int(std::lround(BlackRGB.Blue * 255)));
            }
            EXPECT_EQ(Dec.Bitmap()->GetPixel(X, 0), Want) << X;
            EXPECT_EQ(Dec.Bitmap()->GetPixel(X, 1), RGB(0, 0, 0)) << X;  // beyond the stage's rows
        }
    }
}

// The codec services give the Type 3 rasterizer its inline-image reader:
// the image is read up to its EI, and drawn through the glyph's matrix on
// the device canvas, a stencil in the fill colour.
TEST(ImageDecoder, Type3GlyphInlineImages) {
    InstallCodecServices();
    ASSERT_TRUE(Type3InlineImageParser());
    struct TCase {
        const char* Name;
        std::string Text;  // after BI
        bool Parses;
        TColor Left, Right;  // drawn at the left and right half
    };
    const std::vector<TCase> Cases = {
        {"RGB samples",
         " /W 2 /H 1 /CS /RGB /BPC 8 ID " + Bytes({255, 0, 0, 0, 0, 255}) + " EI 1 1 m", true,
         RGB(255, 0, 0), RGB(0, 0, 255)},
        {"stencil in the fill colour", " /W 2 /H 1 /IM true ID " + Bytes({0x40}) + "\nEI\n1 1 m",
         true, RGB(0, 128, 0), RGB(255, 255, 255)},
        {"abbreviated filter", " /W 2 /H 1 /CS /G /BPC 8 /F /AHx ID 00FF> EI 1 1 m", true,
         RGB(0, 0, 0), RGB(255, 255, 255)},
        {"no ID", " /W 2 /H 1", false, RGB(255, 255, 255), RGB(255, 255, 255)},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        size_t Pos = 0;
        std::unique_ptr<TPDFType3InlineImage> Img = Type3InlineImageParser()(C.Text, Pos);
        if (!C.Parses) {
            EXPECT_EQ(Img, nullptr);
            EXPECT_EQ(Pos, 0u);
            continue;
        }
        ASSERT_NE(Img, nullptr);
        // Reading stops after EI: what follows is the procedure again.
        ASSERT_LE(Pos, C.Text.size());
        EXPECT_EQ(C.Text.substr(Pos).find("1 1 m"), C.Text.substr(Pos).find_first_not_of(" \n"));
        EXPECT_EQ(C.Text.substr(Pos - 2, 2), "EI");
        TDrawPage Page(20, 10);
        Img->Draw(Page.P.get(), TPDFXForm{20, 0, 0, 10, 0, 0}, RGB(0, 128, 0));
        EXPECT_TRUE(Near(Page.BM.GetPixel(5, 5), C.Left)) << std::hex << Page.BM.GetPixel(5, 5);
        EXPECT_TRUE(Near(Page.At(15, 5), C.Right)) << std::hex << Page.BM.GetPixel(15, 5);
    }
}
