// Images of the GDI+ facade: hostile files, multi-page TIFF frames, colour
// profiles on ICM loads, encoder round trips, bitmaps over memory, DIBs and
// bitmap objects, and the property store.
#include <cairo.h>
#include <gtest/gtest.h>
#include <lcms2.h>
#include <sys/resource.h>
#include <tiffio.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

// libjpeg needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "platform/files/WideFile.h"
#include "platform/gdi/Bitmap.h"
#include "platform/gdi/DC.h"
#include "platform/gdiplus/GdiPlusFlat.h"
#include "platform/gdiplus/Internal.h"
#include "tests/platform/GdiplusFixture.h"
#include "tests/platform/GdiplusImageFixtures.h"
#include "tests/support/TestSupport.h"

using namespace velmo;
namespace gp = velmo::gdiplus;
using vpltest::AsBitmap, vpltest::GreyPng, vpltest::LinearProfile, vpltest::Load, vpltest::Pixel,
    vpltest::TwoPageTiff;

namespace {

const CLSID kBmp = {0x557CF400, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
const CLSID kJpeg = {0x557CF401, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
const CLSID kTiff = {0x557CF405, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
const CLSID kPng = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

TGPStatus Save(GpImage* Image, const CLSID& Encoder, std::string& Out,
               const EncoderParameters* Params = nullptr) {
    TStringStream S;
    TStreamAdapter A(S);
    const TGPStatus R = gp::GdipSaveImageToStream(Image, &A, &Encoder, Params);
    Out = S.DataString();
    return R;
}

// An opaque 24-bit test picture with gradients and (unless Smooth) stripes
// of one or two pixels in red.
GpBitmap* MakePicture(int W, int H, bool Smooth = false) {
    TGPStatus S;
    GpBitmap* B = gp::NewBitmap(W, H, PixelFormat24bppRGB, S);
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X) {
            uint8_t* P = B->Row(Y) + X * 3;
            P[0] = uint8_t(X * 255 / std::max(1, W - 1));
            P[1] = uint8_t(Y * 255 / std::max(1, H - 1));
            P[2] = Smooth ? uint8_t(128 + X * 2 - Y) : uint8_t((X + Y) % 7 < 3 ? 40 : 220);
        }
    return B;
}

struct TOneLong {
    EncoderParameters Head;
    EncoderParameter More[1];
    uint32_t Values[2];
};

// Parameters of one or two long values (Count 1 or 2).
TOneLong Params(const TGUID& G1, uint32_t V1, const TGUID* G2 = nullptr, uint32_t V2 = 0) {
    TOneLong P;
    P.Values[0] = V1;
    P.Values[1] = V2;
    P.Head.Count = G2 ? 2 : 1;
    P.Head.Parameter[0] = EncoderParameter{G1, 1, EncoderParameterValueTypeLong, &P.Values[0]};
    if (G2) P.More[0] = EncoderParameter{*G2, 1, EncoderParameterValueTypeLong, &P.Values[1]};
    return P;
}

}  // namespace

TEST_F(Gdiplus, HostileInputs) {
    // Small valid files of each format, made by our own encoders and (the
    // two-page TIFF) by libtiff.
    vpltest::TempDir Dir;
    GpBitmap* Pic = MakePicture(9, 7);
    std::vector<std::pair<const char*, std::string>> Seeds;
    for (auto [Name, Clsid] :
         {std::pair{"bmp", kBmp}, {"png", kPng}, {"jpeg", kJpeg}, {"tiff", kTiff}}) {
        std::string Bytes;
        ASSERT_EQ(Save(Pic, Clsid, Bytes), gsOk) << Name;
        Seeds.emplace_back(Name, Bytes);
    }
    {
        const uint32_t G4 = EncoderValueCompressionCCITT4;
        TOneLong P = Params(EncoderCompression, G4);
        std::string Bytes;
        ASSERT_EQ(Save(Pic, kTiff, Bytes, &P.Head), gsOk);
        Seeds.emplace_back("g4", Bytes);
    }
    Seeds.emplace_back("pages", TwoPageTiff(Dir / "pages.tif"));
    Seeds.emplace_back("iccp", GreyPng(LinearProfile()));
    ASSERT_EQ(gp::GdipDisposeImage(Pic), gsOk);

    std::mt19937 Rng(20240515);
    int Loaded = 0, Refused = 0;
    for (const auto& [Name, Seed] : Seeds) {
        GpImage* Image = nullptr;
        ASSERT_EQ(Load(Seed, &Image, true), gsOk) << Name;
        ASSERT_EQ(gp::GdipDisposeImage(Image), gsOk);
        for (int Round = 0; Round < 250; ++Round) {
            std::string M = Seed;
            switch (Rng() % 4) {
                case 0:  // bit flips
                    for (int I = 0, N = 1 + int(Rng() % 4); I < N; ++I)
                        M[Rng() % M.size()] ^= char(1 << (Rng() % 8));
                    break;
                case 1:  // truncation
                    M.resize(Rng() % M.size());
                    break;
                case 2: {  // a length, count or offset field made extreme
                    const uint32_t Values[] = {0, 1, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x10000u, Rng()};
                    const uint32_t V = Values[Rng() % 6];
                    const size_t At = Rng() % std::min<size_t>(M.size() - 4, 96);
                    for (int I = 0; I < 4; ++I) M[At + size_t(I)] = char(V >> (8 * I));
                    break;
                }
                default:  // a run of random bytes in the body
                    for (size_t I = Rng() % M.size(), N = 1 + Rng() % 16; I < M.size() && N > 0;
                         ++I, --N)
                        M[I] = char(Rng());
            }
            SCOPED_TRACE(std::string(Name) + " round " + std::to_string(Round));
            Image = nullptr;
            const TGPStatus S = Load(M, &Image, Round % 2 == 0);
            if (S != gsOk) {
                EXPECT_EQ(Image, nullptr);
                ++Refused;
                continue;
            }
            ++Loaded;
            uint32_t W = 0, H = 0, Frames = 0;
            EXPECT_EQ(gp::GdipGetImageWidth(Image, &W), gsOk);
            EXPECT_EQ(gp::GdipGetImageHeight(Image, &H), gsOk);
            EXPECT_GT(uint64_t(W) * H, 0u);
            EXPECT_LE(uint64_t(W) * H, uint64_t(1) << 28);
            EXPECT_EQ(gp::GdipImageGetFrameCount(Image, &FrameDimensionPage, &Frames), gsOk);
            for (uint32_t F = 0; F < std::min<uint32_t>(Frames, 3); ++F)
                gp::GdipImageSelectActiveFrame(Image, &FrameDimensionPage, F);
            // Any status will do (cairo refuses PNGs wider than 32767).
            std::string Out;
            Save(Image, kPng, Out);
            EXPECT_EQ(gp::GdipDisposeImage(Image), gsOk);
        }
    }
    EXPECT_GT(Loaded, 50);
    EXPECT_GT(Refused, 50);

    // Not an image at all, and an empty stream.
    GpImage* Image = nullptr;
    EXPECT_EQ(Load("GIF89a....", &Image), gsUnknownImageFormat);
    EXPECT_EQ(Load("", &Image), gsUnknownImageFormat);
    // A PNG header claiming more than 2^28 pixels is refused before decoding.
    std::string Huge = GreyPng("");
    for (size_t At : {16, 20}) Huge.replace(At, 4, std::string("\x00\x01\x00\x00", 4));
    EXPECT_EQ(Load(Huge, &Image), gsOutOfMemory);

    // Handles: a double dispose and a stale handle give statuses.
    ASSERT_EQ(Load(Seeds[0].second, &Image), gsOk);
    EXPECT_EQ(gp::GdipDisposeImage(Image), gsOk);
    EXPECT_EQ(gp::GdipDisposeImage(Image), gsInvalidParameter);
    uint32_t W = 0;
    EXPECT_EQ(gp::GdipGetImageWidth(Image, &W), gsInvalidParameter);
    std::string Out;
    EXPECT_EQ(Save(Image, kPng, Out), gsInvalidParameter);
    EXPECT_EQ(gp::GdipDisposeImage(nullptr), gsInvalidParameter);
}

TEST_F(Gdiplus, ImageFilesAndPages) {
    vpltest::TempDir Dir;
    GpImage* Image = nullptr;
    uint32_t Count = 0;
    // A single-page image has one frame.
    GpBitmap* Pic = MakePicture(3, 3);
    EXPECT_EQ(gp::GdipImageGetFrameCount(Pic, &FrameDimensionPage, &Count), gsOk);
    EXPECT_EQ(Count, 1u);
    EXPECT_EQ(gp::GdipImageSelectActiveFrame(Pic, &FrameDimensionPage, 0), gsOk);
    EXPECT_EQ(gp::GdipImageSelectActiveFrame(Pic, &FrameDimensionPage, 1), gsInvalidParameter);

    // Files: a save goes through a temporary file and leaves nothing else.
    const std::u16string File = FileSystemNameToWide((Dir / "pic.png").string());
    EXPECT_EQ(gp::GdipSaveImageToFile(Pic, File.c_str(), &kPng, nullptr), gsOk);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir.path()),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_EQ(gp::GdipLoadImageFromFile(File.c_str(), &Image), gsOk);
    EXPECT_EQ(Pixel(Image, 2, 1), Pixel(Pic, 2, 1));
    EXPECT_EQ(gp::GdipDisposeImage(Image), gsOk);
    const std::u16string Missing = FileSystemNameToWide((Dir / "none.png").string());
    EXPECT_EQ(gp::GdipLoadImageFromFile(Missing.c_str(), &Image), gsFileNotFound);
    const std::u16string NoFolder = FileSystemNameToWide((Dir / "no" / "pic.png").string());
    EXPECT_NE(gp::GdipSaveImageToFile(Pic, NoFolder.c_str(), &kPng, nullptr), gsOk);
    EXPECT_EQ(gp::GdipDisposeImage(Pic), gsOk);
}

TEST_F(Gdiplus, EncodersAndRoundTrips) {
    uint32_t N = 0, Size = 0;
    ASSERT_EQ(gp::GdipGetImageEncodersSize(&N, &Size), gsOk);
    ASSERT_EQ(N, 4u);
    std::vector<uint8_t> Buffer(Size);
    auto* Codecs = reinterpret_cast<ImageCodecInfo*>(Buffer.data());
    EXPECT_EQ(gp::GdipGetImageEncoders(N, Size - 1, Codecs), gsInsufficientBuffer);
    ASSERT_EQ(gp::GdipGetImageEncoders(N, Size, Codecs), gsOk);
    const std::u16string Mimes[] = {u"image/bmp", u"image/jpeg", u"image/png", u"image/tiff"};
    const CLSID Ids[] = {kBmp, kJpeg, kPng, kTiff};
    for (uint32_t I = 0; I < N; ++I) {
        EXPECT_EQ(std::u16string(Codecs[I].MimeType), Mimes[I]);
        EXPECT_TRUE(Codecs[I].Clsid == Ids[I]);
        // Strings live inside the caller's buffer.
        const auto* P = reinterpret_cast<const uint8_t*>(Codecs[I].MimeType);
        EXPECT_TRUE(P >= Buffer.data() + N * sizeof(ImageCodecInfo) && P < Buffer.data() + Size);
    }

    GpBitmap* Pic = MakePicture(23, 11);
    ASSERT_EQ(gp::GdipBitmapSetResolution(Pic, 300, 150), gsOk);
    EXPECT_EQ(gp::GdipBitmapSetResolution(Pic, NAN, 150), gsInvalidParameter);
    EXPECT_EQ(gp::GdipBitmapSetResolution(Pic, 0, 150), gsInvalidParameter);

    // The TIFF encoder lists compression CCITT4 and depth 1.
    ASSERT_EQ(gp::GdipGetEncoderParameterListSize(Pic, &kTiff, &Size), gsOk);
    std::vector<uint64_t> ParamBuffer(Size / 8 + 1);
    auto* List = reinterpret_cast<EncoderParameters*>(ParamBuffer.data());
    EXPECT_EQ(gp::GdipGetEncoderParameterList(Pic, &kTiff, Size - 1, List), gsInsufficientBuffer);
    ASSERT_EQ(gp::GdipGetEncoderParameterList(Pic, &kTiff, Size, List), gsOk);
    ASSERT_EQ(List->Count, 2u);
    EXPECT_TRUE(List->Parameter[0].Guid == EncoderCompression);
    const auto* Schemes = static_cast<const uint32_t*>(List->Parameter[0].Value);
    EXPECT_NE(std::find(Schemes, Schemes + List->Parameter[0].NumberOfValues, 4u),
              Schemes + List->Parameter[0].NumberOfValues);
    EXPECT_TRUE((&List->Parameter[1])->Guid == EncoderColorDepth);
    EXPECT_EQ(static_cast<const uint32_t*>((&List->Parameter[1])->Value)[0], 1u);

    // Lossless encoders give back the same pixels and resolution.
    struct {
        const char* Name;
        CLSID Encoder;
        uint32_t Compression;  // 0: no parameter
        GpPixelFormat Format;
    } Lossless[] = {
        {"bmp", kBmp, 0, PixelFormat24bppRGB},
        {"png", kPng, 0, PixelFormat24bppRGB},
        {"tiff lzw", kTiff, 0, PixelFormat24bppRGB},
        {"tiff none", kTiff, EncoderValueCompressionNone, PixelFormat24bppRGB},
    };
    for (const auto& C : Lossless) {
        SCOPED_TRACE(C.Name);
        TOneLong P = Params(EncoderCompression, C.Compression);
        std::string Bytes;
        ASSERT_EQ(Save(Pic, C.Encoder, Bytes, C.Compression ? &P.Head : nullptr), gsOk);
        GpImage* Back = nullptr;
        ASSERT_EQ(Load(Bytes, &Back), gsOk);
        GpPixelFormat F = 0;
        GpREAL Dx = 0, Dy = 0;
        EXPECT_EQ(gp::GdipGetImagePixelFormat(Back, &F), gsOk);
        EXPECT_EQ(F, C.Format);
        gp::GdipGetImageHorizontalResolution(Back, &Dx);
        gp::GdipGetImageVerticalResolution(Back, &Dy);
        EXPECT_NEAR(Dx, 300, 0.02);
        EXPECT_NEAR(Dy, 150, 0.02);
        for (int Y = 0; Y < 11; ++Y)
            for (int X = 0; X < 23; ++X)
                ASSERT_EQ(Pixel(Back, X, Y), Pixel(Pic, X, Y)) << X << "," << Y;
        gp::GdipDisposeImage(Back);
    }

    // JPEG: close to the source at the default quality; quality 100 closer.
    GpBitmap* Smooth = MakePicture(23, 11, true);
    double Err[2] = {};
    for (int Q = 0; Q < 2; ++Q) {
        TOneLong P = Params(EncoderQuality, 100);
        std::string Bytes;
        ASSERT_EQ(Save(Smooth, kJpeg, Bytes, Q ? &P.Head : nullptr), gsOk);
        GpImage* Back = nullptr;
        ASSERT_EQ(Load(Bytes, &Back), gsOk);
        for (int Y = 0; Y < 11; ++Y)
            for (int X = 0; X < 23; ++X)
                for (int Shift : {0, 8, 16}) {
                    const int D = int((Pixel(Back, X, Y) >> Shift) & 0xFF) -
                                  int((Pixel(Smooth, X, Y) >> Shift) & 0xFF);
                    Err[Q] += D * D;
                }
        gp::GdipDisposeImage(Back);
    }
    gp::GdipDisposeImage(Smooth);
    EXPECT_LT(Err[1], Err[0]);
    EXPECT_LT(Err[0] / (23 * 11 * 3), 40.0);  // PSNR above 32 dB
    TOneLong BadQuality = Params(EncoderQuality, 101);
    std::string Bytes;
    EXPECT_EQ(Save(Pic, kJpeg, Bytes, &BadQuality.Head), gsInvalidParameter);

    // One bit: white where 0.299R + 0.587G + 0.114B >= 128, min-is-white,
    // CCITT group 4, resolution kept.
    vpltest::TempDir Dir;
    for (uint32_t Scheme : {EncoderValueCompressionCCITT4, EncoderValueCompressionCCITT3,
                            EncoderValueCompressionRle, EncoderValueCompressionLZW}) {
        SCOPED_TRACE(Scheme);
        const TGUID Depth = EncoderColorDepth;
        TOneLong P = Params(EncoderCompression, Scheme, &Depth, 1);
        const std::u16string File = FileSystemNameToWide((Dir / "bw.tif").string());
        ASSERT_EQ(gp::GdipSaveImageToFile(Pic, File.c_str(), &kTiff, &P.Head), gsOk);
        TIFF* T = TIFFOpen((Dir / "bw.tif").c_str(), "r");
        ASSERT_NE(T, nullptr);
        uint16_t Compression = 0, Photometric = 0, Bps = 0;
        float Xr = 0;
        TIFFGetField(T, TIFFTAG_COMPRESSION, &Compression);
        TIFFGetField(T, TIFFTAG_PHOTOMETRIC, &Photometric);
        TIFFGetField(T, TIFFTAG_BITSPERSAMPLE, &Bps);
        TIFFGetField(T, TIFFTAG_XRESOLUTION, &Xr);
        TIFFClose(T);
        const uint16_t Expected[] = {0,
                                     0,
                                     COMPRESSION_LZW,
                                     COMPRESSION_CCITTFAX3,
                                     COMPRESSION_CCITTFAX4,
                                     COMPRESSION_CCITTRLE};
        EXPECT_EQ(Compression, Expected[Scheme]);
        EXPECT_EQ(Photometric, PHOTOMETRIC_MINISWHITE);
        EXPECT_EQ(Bps, 1);
        EXPECT_FLOAT_EQ(Xr, 300);
        GpImage* Back = nullptr;
        ASSERT_EQ(gp::GdipLoadImageFromFile(File.c_str(), &Back), gsOk);
        for (int Y = 0; Y < 11; ++Y)
            for (int X = 0; X < 23; ++X) {
                const uint32_t S = Pixel(Pic, X, Y);
                const bool White =
                    299 * ((S >> 16) & 0xFF) + 587 * ((S >> 8) & 0xFF) + 114 * (S & 0xFF) >= 128000;
                ASSERT_EQ(Pixel(Back, X, Y), White ? 0xFFFFFFFFu : 0xFF000000u) << X << "," << Y;
            }
        gp::GdipDisposeImage(Back);
    }
    // Fax compression is one bit only; unknown parameters and encoders fail.
    const TGUID DepthGuid = EncoderColorDepth;
    TOneLong G4Colour = Params(EncoderCompression, EncoderValueCompressionCCITT4, &DepthGuid, 24);
    EXPECT_EQ(Save(Pic, kTiff, Bytes, &G4Colour.Head), gsInvalidParameter);
    TOneLong Depth7 = Params(EncoderColorDepth, 7);
    EXPECT_EQ(Save(Pic, kTiff, Bytes, &Depth7.Head), gsInvalidParameter);
    TOneLong ForPng = Params(EncoderQuality, 50);
    EXPECT_EQ(Save(Pic, kPng, Bytes, &ForPng.Head), gsInvalidParameter);
    CLSID Unknown = kPng;
    Unknown.D1 = 0x12345678;
    EXPECT_NE(Save(Pic, Unknown, Bytes), gsOk);

    // Depths 8 and 32 of the TIFF encoder.
    for (uint32_t D : {8u, 32u}) {
        TOneLong P = Params(EncoderColorDepth, D);
        ASSERT_EQ(Save(Pic, kTiff, Bytes, &P.Head), gsOk);
        GpImage* Back = nullptr;
        ASSERT_EQ(Load(Bytes, &Back), gsOk);
        const uint32_t S = Pixel(Pic, 5, 3), R = Pixel(Back, 5, 3);
        if (D == 32) {
            EXPECT_EQ(R, S);
        } else {
            const uint32_t Luma =
                (299 * ((S >> 16) & 0xFF) + 587 * ((S >> 8) & 0xFF) + 114 * (S & 0xFF) + 500) /
                1000;
            EXPECT_EQ(R, 0xFF000000u | Luma << 16 | Luma << 8 | Luma);
        }
        gp::GdipDisposeImage(Back);
    }
    gp::GdipDisposeImage(Pic);
}

TEST_F(Gdiplus, BitmapsFromMemory) {
    // Scan0: the caller's memory is used in place, bottom-up with a negative
    // stride.
    std::vector<uint8_t> Memory(3 * 8, 0);  // 3 rows of 2 pixels, 32 bpp
    GpBitmap* B = nullptr;
    EXPECT_EQ(gp::GdipCreateBitmapFromScan0(2, 3, 6, PixelFormat32bppARGB, Memory.data(), &B),
              gsInvalidParameter);
    EXPECT_EQ(gp::GdipCreateBitmapFromScan0(2, 3, 4, PixelFormat32bppARGB, Memory.data(), &B),
              gsInvalidParameter);
    EXPECT_EQ(gp::GdipCreateBitmapFromScan0(2, 3, 8, 0x12345, Memory.data(), &B),
              gsInvalidParameter);
    ASSERT_EQ(gp::GdipCreateBitmapFromScan0(2, 3, -8, PixelFormat32bppARGB, Memory.data() + 16, &B),
              gsOk);
    const uint8_t Blue[4] = {255, 0, 0, 255};
    std::memcpy(Memory.data() + 4, Blue, 4);  // last row in memory, right pixel
    EXPECT_EQ(Pixel(B, 1, 2), 0xFF0000FFu);
    std::string Bytes;
    ASSERT_EQ(Save(B, kPng, Bytes), gsOk);
    EXPECT_EQ(gp::GdipDisposeImage(B), gsOk);
    // Null Scan0: own zeroed memory.
    ASSERT_EQ(gp::GdipCreateBitmapFromScan0(5, 4, 0, PixelFormat24bppRGB, nullptr, &B), gsOk);
    EXPECT_EQ(Pixel(B, 4, 3), 0xFF000000u);
    EXPECT_EQ(gp::GdipDisposeImage(B), gsOk);
    EXPECT_EQ(gp::GdipCreateBitmapFromScan0(1 << 15, 1 << 14, 0, PixelFormat24bppRGB, nullptr, &B),
              gsOutOfMemory);

    // DIBs: positive height is bottom-up, negative top-down; a palette
    // follows the header.
    struct {
        GpBITMAPINFOHEADER Header;
        TRGBQuad Colors[2];
    } Info;
    Info.Header.biWidth = 2;
    Info.Header.biBitCount = 24;
    uint8_t Rows[2][8] = {{0, 0, 255, 0, 255, 0, 0, 0}, {255, 255, 255, 0, 0, 0, 0, 0}};
    for (int Height : {2, -2}) {
        Info.Header.biHeight = Height;
        ASSERT_EQ(gp::GdipCreateBitmapFromGdiDib(reinterpret_cast<GpBITMAPINFO*>(&Info), Rows, &B),
                  gsOk);
        // First row in memory: red, green. Second: white, black.
        EXPECT_EQ(Pixel(B, 0, Height > 0 ? 1 : 0), 0xFFFF0000u);
        EXPECT_EQ(Pixel(B, 1, Height > 0 ? 1 : 0), 0xFF00FF00u);
        EXPECT_EQ(Pixel(B, 0, Height > 0 ? 0 : 1), 0xFFFFFFFFu);
        EXPECT_EQ(gp::GdipDisposeImage(B), gsOk);
    }
    Info.Header.biBitCount = 1;
    Info.Header.biHeight = 1;
    Info.Colors[0] = RGBQuad(10, 20, 30);
    Info.Colors[1] = RGBQuad(200, 100, 50);
    uint8_t Mono[4] = {0x40, 0, 0, 0};
    ASSERT_EQ(gp::GdipCreateBitmapFromGdiDib(reinterpret_cast<GpBITMAPINFO*>(&Info), Mono, &B),
              gsOk);
    GpPixelFormat F = 0;
    EXPECT_EQ(gp::GdipGetImagePixelFormat(B, &F), gsOk);
    EXPECT_EQ(F, PixelFormat1bppIndexed);
    EXPECT_EQ(Pixel(B, 0, 0), 0xFF0A141Eu);
    EXPECT_EQ(Pixel(B, 1, 0), 0xFFC86432u);
    EXPECT_EQ(gp::GdipDisposeImage(B), gsOk);
    Info.Header.biBitCount = 7;
    EXPECT_EQ(gp::GdipCreateBitmapFromGdiDib(reinterpret_cast<GpBITMAPINFO*>(&Info), Mono, &B),
              gsInvalidParameter);

    // Bitmap objects are copied.
    TBitmap Platform(3, 2, pf24bit);
    Platform.SetPixel(2, 1, 0x00336699);
    HBITMAP Object = CreateBitmapObject(Platform);
    ASSERT_EQ(gp::GdipCreateBitmapFromHBITMAP(Object, nullptr, &B), gsOk);
    DeleteObject(Object);
    EXPECT_EQ(Pixel(B, 2, 1), 0xFF996633u);
    EXPECT_EQ(gp::GdipDisposeImage(B), gsOk);
    EXPECT_EQ(gp::GdipCreateBitmapFromHBITMAP(Object, nullptr, &B), gsInvalidParameter);

    // From a graphics: premultiplied ARGB at the graphics' resolution.
    GpBitmap* Target = MakePicture(4, 4);
    ASSERT_EQ(gp::GdipBitmapSetResolution(Target, 200, 120), gsOk);
    GpGraphics* G = nullptr;
    ASSERT_EQ(gp::GdipGetImageGraphicsContext(Target, &G), gsOk);
    ASSERT_EQ(gp::GdipCreateBitmapFromGraphics(6, 5, G, &B), gsOk);
    GpREAL Dx = 0, Dy = 0;
    EXPECT_EQ(gp::GdipGetImagePixelFormat(B, &F), gsOk);
    EXPECT_EQ(F, PixelFormat32bppPARGB);
    EXPECT_EQ(gp::GdipGetImageHorizontalResolution(B, &Dx), gsOk);
    EXPECT_EQ(gp::GdipGetImageVerticalResolution(B, &Dy), gsOk);
    EXPECT_FLOAT_EQ(Dx, 200);
    EXPECT_FLOAT_EQ(Dy, 120);
    EXPECT_EQ(Pixel(B, 5, 4), 0u);
    EXPECT_EQ(gp::GdipDisposeImage(B), gsOk);
    gp::GdipDeleteGraphics(G);
    gp::GdipDisposeImage(Target);
    // A graphics that is not live gives no bitmap.
    EXPECT_EQ(gp::GdipCreateBitmapFromGraphics(4, 4, reinterpret_cast<GpGraphics*>(&Info), &B),
              gsInvalidParameter);
}

TEST_F(Gdiplus, PropertyItems) {
    GpBitmap* B = MakePicture(2, 2);
    uint32_t Count = 9;
    EXPECT_EQ(gp::GdipGetPropertyCount(B, &Count), gsOk);
    EXPECT_EQ(Count, 0u);
    char Text[] = "velmo";
    uint16_t Short = 7;
    PropertyItem A{0x010E, 6, 2, Text}, S{0x0112, 2, 3, &Short};
    ASSERT_EQ(gp::GdipSetPropertyItem(B, &A), gsOk);
    ASSERT_EQ(gp::GdipSetPropertyItem(B, &S), gsOk);
    Short = 3;  // replaces the first value of that id
    ASSERT_EQ(gp::GdipSetPropertyItem(B, &S), gsOk);
    PropertyItem Bad{0x1, 4, 1, nullptr};
    EXPECT_EQ(gp::GdipSetPropertyItem(B, &Bad), gsInvalidParameter);
    EXPECT_EQ(gp::GdipGetPropertyCount(B, &Count), gsOk);
    EXPECT_EQ(Count, 2u);

    std::vector<uint64_t> Buffer(16);
    auto* Item = reinterpret_cast<PropertyItem*>(Buffer.data());
    EXPECT_EQ(gp::GdipGetPropertyItem(B, 0x010E, sizeof(PropertyItem) + 5, Item),
              gsInsufficientBuffer);
    ASSERT_EQ(gp::GdipGetPropertyItem(B, 0x010E, sizeof(PropertyItem) + 6, Item), gsOk);
    EXPECT_EQ(Item->length, 6u);
    EXPECT_EQ(Item->type, 2);
    EXPECT_STREQ(static_cast<const char*>(Item->value), "velmo");
    EXPECT_EQ(static_cast<const uint8_t*>(Item->value), reinterpret_cast<uint8_t*>(Item + 1));
    EXPECT_EQ(gp::GdipGetPropertyItem(B, 0x9999, 128, Item), gsPropertyNotFound);

    // All items: the records, then the values in the same order.
    const uint32_t Total = 2 * sizeof(PropertyItem) + 6 + 2;
    EXPECT_EQ(gp::GdipGetAllPropertyItems(B, Total - 1, 2, Item), gsInsufficientBuffer);
    EXPECT_EQ(gp::GdipGetAllPropertyItems(B, Total, 3, Item), gsInvalidParameter);
    ASSERT_EQ(gp::GdipGetAllPropertyItems(B, Total, 2, Item), gsOk);
    const auto* Base = reinterpret_cast<const uint8_t*>(Item);
    EXPECT_EQ(static_cast<const uint8_t*>(Item[0].value), Base + 2 * sizeof(PropertyItem));
    EXPECT_EQ(static_cast<const uint8_t*>(Item[1].value), Base + 2 * sizeof(PropertyItem) + 6);
    EXPECT_EQ(Item[1].id, 0x0112u);
    EXPECT_EQ(*static_cast<const uint16_t*>(Item[1].value), 3);
    // The store belongs to the image: a stale handle has none.
    gp::GdipDisposeImage(B);
    EXPECT_EQ(gp::GdipGetPropertyCount(B, &Count), gsInvalidParameter);
}

namespace {

// A one-bit TIFF page of W × H with the given photometric, fill order and
// compression; a pixel is black where (X / 3 + Y) % 2 is 1, or nowhere on a
// blank page.
std::string BilevelTiff(const std::filesystem::path& File, uint32_t W, uint32_t H,
                        uint16_t Photometric, uint16_t FillOrder, uint16_t Compression,
                        bool Blank = false, uint16_t Orientation = ORIENTATION_TOPLEFT) {
    TIFF* T = TIFFOpen(File.c_str(), "w");
    TIFFSetField(T, TIFFTAG_IMAGEWIDTH, W);
    TIFFSetField(T, TIFFTAG_IMAGELENGTH, H);
    TIFFSetField(T, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(T, TIFFTAG_SAMPLESPERPIXEL, 1);
    if (Photometric != 0xFFFF) TIFFSetField(T, TIFFTAG_PHOTOMETRIC, Photometric);
    TIFFSetField(T, TIFFTAG_ORIENTATION, Orientation);
    TIFFSetField(T, TIFFTAG_FILLORDER, FillOrder);
    TIFFSetField(T, TIFFTAG_COMPRESSION, Compression);
    const auto Black = [&](uint32_t X, uint32_t Y) { return !Blank && (X / 3 + Y) % 2 == 1; };
    const auto Bit = [&](uint32_t X, uint32_t Y) {
        if (Orientation == ORIENTATION_BOTLEFT) Y = H - 1 - Y;
        return Black(X, Y) == (Photometric == PHOTOMETRIC_MINISWHITE);
    };
    TIFFSetField(T, TIFFTAG_ROWSPERSTRIP, Blank ? H : 5);
    std::vector<uint8_t> Line((W + 7) / 8);
    for (uint32_t Y = 0; Y < H; ++Y) {
        std::fill(Line.begin(), Line.end(), 0);
        for (uint32_t X = 0; X < W; ++X)
            if (Bit(X, Y)) Line[X / 8] |= uint8_t(0x80 >> (X % 8));
        TIFFWriteScanline(T, Line.data(), Y, 0);
    }
    TIFFClose(T);
    return vpltest::ReadFile(File);
}

}  // namespace

TEST_F(Gdiplus, BilevelTiffPagesKeepEveryPixel) {
    vpltest::TempDir Dir;
    const struct {
        const char* Name;
        uint32_t W;
        uint16_t Photometric, FillOrder, Compression;
        uint16_t Orientation = ORIENTATION_TOPLEFT;
    } Cases[] = {
        {"min-is-white G4", 23, PHOTOMETRIC_MINISWHITE, FILLORDER_MSB2LSB, COMPRESSION_CCITTFAX4},
        {"min-is-black G4", 23, PHOTOMETRIC_MINISBLACK, FILLORDER_MSB2LSB, COMPRESSION_CCITTFAX4},
        {"reversed bits G3", 17, PHOTOMETRIC_MINISWHITE, FILLORDER_LSB2MSB, COMPRESSION_CCITTFAX3},
        {"plain, whole bytes", 32, PHOTOMETRIC_MINISBLACK, FILLORDER_MSB2LSB, COMPRESSION_NONE},
        {"packbits", 9, PHOTOMETRIC_MINISWHITE, FILLORDER_MSB2LSB, COMPRESSION_PACKBITS},
        {"bottom row first", 23, PHOTOMETRIC_MINISWHITE, FILLORDER_MSB2LSB, COMPRESSION_CCITTFAX4,
         ORIENTATION_BOTLEFT},
        {"no photometric tag", 12, 0xFFFF, FILLORDER_MSB2LSB, COMPRESSION_NONE},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        const uint32_t H = 13;
        const std::string File = BilevelTiff(Dir / "bw.tif", C.W, H, C.Photometric, C.FillOrder,
                                             C.Compression, false, C.Orientation);
        GpImage* Image = nullptr;
        ASSERT_EQ(Load(File, &Image), gsOk);
        GpPixelFormat F = 0;
        EXPECT_EQ(gp::GdipGetImagePixelFormat(Image, &F), gsOk);
        EXPECT_EQ(F, PixelFormat1bppIndexed);
        uint32_t W = 0, Height = 0;
        gp::GdipGetImageWidth(Image, &W);
        gp::GdipGetImageHeight(Image, &Height);
        ASSERT_EQ(W, C.W);
        ASSERT_EQ(Height, H);
        for (uint32_t Y = 0; Y < H; ++Y)
            for (uint32_t X = 0; X < C.W; ++X)
                ASSERT_EQ(Pixel(Image, int(X), int(Y)),
                          (X / 3 + Y) % 2 == 1 ? 0xFF000000u : 0xFFFFFFFFu)
                    << X << "," << Y;
        EXPECT_EQ(gp::GdipDisposeImage(Image), gsOk);
    }

    // A blank fax page at the pixel cap is a two-kilobyte file: it loads
    // into its one-bit store (32 MB) without a 32-bit copy of the page.
    const std::string Page = BilevelTiff(Dir / "page.tif", 16384, 16384, PHOTOMETRIC_MINISWHITE,
                                         FILLORDER_MSB2LSB, COMPRESSION_CCITTFAX4, true);
    EXPECT_LT(Page.size(), 4096u);
    rusage Before{}, After{};
    getrusage(RUSAGE_SELF, &Before);
    GpImage* Image = nullptr;
    ASSERT_EQ(Load(Page, &Image), gsOk);
    getrusage(RUSAGE_SELF, &After);
    EXPECT_LT(After.ru_maxrss - Before.ru_maxrss, 256 * 1024);  // kilobytes
    EXPECT_EQ(Pixel(Image, 16383, 16383), 0xFFFFFFFFu);
    EXPECT_EQ(gp::GdipDisposeImage(Image), gsOk);
}

namespace {

void JpegQuiet(j_common_ptr, int) {}

// A W × H JPEG of a busy picture, colour (4:2:0 or 4:4:4) or grey.
std::string BusyJpeg(int W, int H, int Components, bool FullChroma) {
    jpeg_compress_struct C{};
    jpeg_error_mgr E{};
    C.err = jpeg_std_error(&E);
    jpeg_create_compress(&C);
    unsigned char* Out = nullptr;
    unsigned long Size = 0;
    jpeg_mem_dest(&C, &Out, &Size);
    C.image_width = JDIMENSION(W);
    C.image_height = JDIMENSION(H);
    C.input_components = Components;
    C.in_color_space = Components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&C);
    if (FullChroma) C.comp_info[0].h_samp_factor = C.comp_info[0].v_samp_factor = 1;
    jpeg_start_compress(&C, TRUE);
    std::vector<uint8_t> Row(size_t(W * Components));
    for (int Y = 0; Y < H; ++Y) {
        for (size_t I = 0; I < Row.size(); ++I)
            Row[I] = uint8_t((I * 37 + size_t(Y) * 11) ^ (I * Y));
        JSAMPROW P = Row.data();
        jpeg_write_scanlines(&C, &P, 1);
    }
    jpeg_finish_compress(&C);
    std::string S(reinterpret_cast<char*>(Out), Size);
    jpeg_destroy_compress(&C);
    std::free(Out);
    return S;
}

// Every pixel of a JPEG as libjpeg gives it when left to decode all rows,
// however early the data ends: 0xFFRRGGBB.
std::vector<uint32_t> LibjpegPixels(const std::string& File) {
    jpeg_decompress_struct D{};
    jpeg_error_mgr E{};
    D.err = jpeg_std_error(&E);
    E.emit_message = JpegQuiet;
    jpeg_create_decompress(&D);
    jpeg_mem_src(&D, reinterpret_cast<const unsigned char*>(File.data()), File.size());
    jpeg_read_header(&D, TRUE);
    D.out_color_space = D.num_components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_start_decompress(&D);
    const int N = D.output_components;
    std::vector<uint8_t> Row(size_t(D.output_width) * size_t(N));
    std::vector<uint32_t> Pixels;
    while (D.output_scanline < D.output_height) {
        JSAMPROW P = Row.data();
        jpeg_read_scanlines(&D, &P, 1);
        for (size_t X = 0; X < D.output_width; ++X) {
            const uint8_t* V = Row.data() + X * size_t(N);
            Pixels.push_back(0xFF000000u | (uint32_t(V[0]) << 16) |
                             (uint32_t(V[N == 3 ? 1 : 0]) << 8) | V[N == 3 ? 2 : 0]);
        }
    }
    jpeg_finish_decompress(&D);
    jpeg_destroy_decompress(&D);
    return Pixels;
}

}  // namespace

TEST_F(Gdiplus, TruncatedJpegsLoadAsLibjpegDecodesThem) {
    // Rows after the end of the data are produced without decoding them;
    // they must be the rows libjpeg would have made.
    const int W = 40, H = 300;
    for (auto [Name, Components, FullChroma] :
         {std::tuple{"4:2:0", 3, false}, {"4:4:4", 3, true}, {"grey", 1, false}}) {
        const std::string Whole = BusyJpeg(W, H, Components, FullChroma);
        // Cuts into the data of the scan, and (0) the whole file claiming
        // ten times the rows.
        for (int Percent : {3, 40, 85, 0}) {
            SCOPED_TRACE(std::string(Name) + ", " + std::to_string(Percent) + "%");
            const size_t Sos = Whole.find("\xFF\xDA");
            ASSERT_NE(Sos, std::string::npos);
            std::string Cut =
                Whole.substr(0, Sos + 20 + (Whole.size() - Sos - 20) * size_t(Percent) / 100);
            int Rows = H;
            if (Percent == 0) {
                Cut = Whole;
                Rows = H * 10;
                Cut.replace(Cut.find("\xFF\xC0") + 5, 2, {char(Rows >> 8), char(Rows & 0xFF)});
            }
            const std::vector<uint32_t> Expected = LibjpegPixels(Cut);
            ASSERT_EQ(Expected.size(), size_t(W * Rows));
            GpImage* Image = nullptr;
            ASSERT_EQ(Load(Cut, &Image), gsOk);
            for (int Y = 0; Y < Rows; ++Y)
                for (int X = 0; X < W; ++X)
                    ASSERT_EQ(Pixel(Image, X, Y), Expected[size_t(Y * W + X)]) << X << "," << Y;
            EXPECT_EQ(gp::GdipDisposeImage(Image), gsOk);
        }
    }

    // A short file claiming a large picture loads (grey below its data) in
    // well under the time of decoding it all, up to 4096 x 4096 pixels; past
    // that, a picture claiming over 4096 pixels per byte of its file is
    // refused before anything is allocated, progressive ones too.
    std::string Tall = BusyJpeg(16, 16, 3, false);
    const size_t Sof = Tall.find("\xFF\xC0");
    ASSERT_NE(Sof, std::string::npos);
    Tall.replace(Sof + 5, 4, std::string("\x10\x00\x10\x00", 4));
    GpImage* Image = nullptr;
    ASSERT_EQ(Load(Tall, &Image), gsOk);
    EXPECT_EQ(Pixel(Image, 4095, 4095), 0xFF808080u);
    EXPECT_EQ(gp::GdipDisposeImage(Image), gsOk);
    Tall.replace(Sof + 5, 4, std::string("\x10\x01\x10\x00", 4));
    Image = nullptr;
    EXPECT_EQ(Load(Tall, &Image), gsOutOfMemory);
    EXPECT_EQ(Image, nullptr);
    Tall.replace(Sof + 5, 4, std::string("\x40\x00\x40\x00", 4));
    EXPECT_EQ(Load(Tall, &Image), gsOutOfMemory);
    EXPECT_EQ(Image, nullptr);
    const std::string Progressive =
        vpltest::ReadFile(vpltest::SourceDir() /
                          "tests/data/fuzz/gdiplus_images/oom-jpeg-progressive-claims-pixel-cap");
    ASSERT_NE(Progressive.find("\xFF\xC2\x00\x11\x08\x40\x00\x40\x00"), std::string::npos);
    Image = nullptr;
    EXPECT_EQ(Load(Progressive, &Image), gsOutOfMemory);
    EXPECT_EQ(Image, nullptr);
}
