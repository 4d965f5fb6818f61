// Image XObjects of every kind, one per page of a PDF the test writes: the
// file is clean under qpdf --check, pdfimages lists one image or stencil per
// page with the dictionary's size, each image decodes to the samples the
// test computes from its source data, each page drawn by us agrees with a
// peer's render, and the page image list matches pdfimages' list and its
// JPEG files.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "codecs/ImageDecoder.h"
#include "codecs/JPEGImage.h"
#include "core/ASCII85.h"
#include "core/Flate.h"
#include "core/Structure.h"
#include "document/Document.h"
#include "document/PageTree.h"
#include "render/ColorManager.h"
#include "render/ImageList.h"
#include "tests/support/RenderSupport.h"
#include "tests/support/TestSupport.h"

using namespace velmo;

namespace {

constexpr int W = 8, H = 4;
constexpr TColor DontCare = 0xFFFFFFFFu;

TColor RGB(int R, int G, int B) { return TColor(R | (G << 8) | (B << 16)); }

// Packs samples of Bits bits, rows starting on byte boundaries.
std::string Pack(const std::vector<int>& Samples, int PerRow, int Bits) {
    std::string Out;
    for (size_t Row = 0; Row * PerRow < Samples.size(); ++Row) {
        uint32_t Acc = 0;
        int N = 0;
        for (int I = 0; I < PerRow; ++I) {
            const int V = Samples[Row * PerRow + size_t(I)] & ((1 << Bits) - 1);
            if (Bits == 16) {
                Out.push_back(char(V >> 8));
                Out.push_back(char(V & 0xFF));
                continue;
            }
            Acc = (Acc << Bits) | uint32_t(V);
            N += Bits;
            if (N == 8) {
                Out.push_back(char(Acc));
                Acc = 0;
                N = 0;
            }
        }
        if (N > 0) Out.push_back(char(Acc << (8 - N)));
    }
    return Out;
}

std::string Hex(const std::string& B) {
    static const char* D = "0123456789ABCDEF";
    std::string S;
    for (unsigned char C : B) {
        S += D[C >> 4];
        S += D[C & 15];
    }
    return S;
}

// Literal runs of at most 128 bytes.
std::string RunLength(const std::string& B) {
    std::string S;
    for (size_t I = 0; I < B.size(); I += 128) {
        const size_t N = std::min<size_t>(128, B.size() - I);
        S.push_back(char(N - 1));
        S += B.substr(I, N);
    }
    S.push_back(char(128));
    return S;
}

// LZW of literal codes only: clear, one 9-bit code per byte, end.
std::string LZWLiteral(const std::string& B) {
    std::string S;
    uint32_t Acc = 0;
    int N = 0;
    auto Put = [&](uint32_t Code) {
        Acc = (Acc << 9) | Code;
        N += 9;
        while (N >= 8) {
            S.push_back(char((Acc >> (N - 8)) & 0xFF));
            N -= 8;
        }
    };
    Put(256);
    for (unsigned char C : B) Put(C);
    Put(257);
    if (N > 0) S.push_back(char((Acc << (8 - N)) & 0xFF));
    return S;
}

// PNG Up predictor over rows of RowBytes.
std::string PredictUp(const std::string& B, size_t RowBytes) {
    std::string S;
    for (size_t R = 0; R * RowBytes < B.size(); ++R) {
        S.push_back(char(2));
        for (size_t I = 0; I < RowBytes; ++I) {
            const uint8_t Cur = uint8_t(B[R * RowBytes + I]);
            const uint8_t Up = R ? uint8_t(B[(R - 1) * RowBytes + I]) : 0;
            S.push_back(char(uint8_t(Cur - Up)));
        }
    }
    return S;
}

std::string Jpeg(int JW, int JH, bool Grey) {
    TBitmap B(JW, JH, pf24bit);
    for (int Y = 0; Y < JH; ++Y)
        for (int X = 0; X < JW; ++X)
            B.SetPixel(X, Y, X < JW / 2 ? RGB(240, 20, 20) : RGB(20, 20, 240));
    TPDFJPEGImage J;
    J.Assign(B);
    if (Grey) J.SetGrayscale(true);
    J.SetCompressionQuality(95);
    TMemoryStream S;
    J.SaveToStream(S);
    return S.Bytes();
}

// An 8 x 4 CMYK JPEG of one colour made by ImageMagick; empty without it.
std::string ImageMagickCmykJpeg() {
    if (!vpltest::HaveTool("convert")) return std::string();
    vpltest::TempDir Dir;
    const auto File = Dir / "cmyk.jpg";
    const auto R = vpltest::RunCommand(
        {"convert", "-size", "8x4", "xc:cmyk(205,51,1,25)", "-quality", "100", File.string()});
    return R.exitCode == 0 ? vpltest::ReadFile(File) : std::string();
}

// Embedded profiles made with lcms2, each mapping samples visibly away from
// the space's plain reading, so a page that ignores its profile shows it.
std::string SavedProfile(cmsHPROFILE P) {
    cmsUInt32Number Size = 0;
    std::string Bytes;
    if (P && cmsSaveProfileToMem(P, nullptr, &Size) && Size > 0) {
        Bytes.resize(Size);
        if (!cmsSaveProfileToMem(P, Bytes.data(), &Size)) Bytes.clear();
    }
    if (P) cmsCloseProfile(P);
    return Bytes;
}

// Grey of gamma 1: a sample is a linear light level.
std::string LinearGreyProfile() {
    cmsToneCurve* Linear = cmsBuildGamma(nullptr, 1.0);
    std::string B = SavedProfile(cmsCreateGrayProfile(cmsD50_xyY(), Linear));
    cmsFreeToneCurve(Linear);
    return B;
}

// RGB of gamma 2.2 whose first two primaries are sRGB's green and red.
std::string SwappedRgbProfile() {
    const cmsCIExyY White = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE Primaries = {{0.30, 0.60, 1.0}, {0.64, 0.33, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* G = cmsBuildGamma(nullptr, 2.2);
    cmsToneCurve* Curves[3] = {G, G, G};
    std::string B = SavedProfile(cmsCreateRGBProfile(&White, &Primaries, Curves));
    cmsFreeToneCurve(G);
    return B;
}

// CMYK to Lab through a table: the inks taken as the complements of red,
// blue and green (magenta and yellow trade places), dimmed by black.
std::string SwappedCmykProfile() {
    cmsHPROFILE Srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE Lab = cmsCreateLab2Profile(nullptr);
    cmsHTRANSFORM ToLab =
        cmsCreateTransform(Srgb, TYPE_RGB_DBL, Lab, TYPE_Lab_16, INTENT_PERCEPTUAL, 0);
    cmsCloseProfile(Srgb);
    cmsCloseProfile(Lab);
    if (!ToLab) return std::string();
    cmsHPROFILE P = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(P, 2.1);
    cmsSetDeviceClass(P, cmsSigOutputClass);
    cmsSetColorSpace(P, cmsSigCmykData);
    cmsSetPCS(P, cmsSigLabData);
    cmsPipeline* Pipe = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* Table = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
    auto Sample = [](const cmsUInt16Number In[], cmsUInt16Number Out[], void* Cargo) {
        const double C = In[0] / 65535.0, M = In[1] / 65535.0, Y = In[2] / 65535.0,
                     K = In[3] / 65535.0;
        const double Rgb[3] = {(1 - C) * (1 - K), (1 - Y) * (1 - K), (1 - M) * (1 - K)};
        cmsDoTransform(static_cast<cmsHTRANSFORM>(Cargo), Rgb, Out, 1);
        return cmsInt32Number(TRUE);
    };
    cmsStageSampleCLut16bit(Table, Sample, ToLab, 0);
    cmsPipelineInsertStage(Pipe, cmsAT_END, Table);
    cmsWriteTag(P, cmsSigAToB0Tag, Pipe);
    cmsPipelineFree(Pipe);
    cmsDeleteTransform(ToLab);
    return SavedProfile(P);
}

// One pixel of InType samples through a profile into sRGB.
TColor ThroughProfile(const std::string& Profile, cmsUInt32Number InType, const uint8_t* In) {
    cmsHPROFILE P = cmsOpenProfileFromMem(Profile.data(), cmsUInt32Number(Profile.size()));
    cmsHPROFILE Srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM T = cmsCreateTransform(P, InType, Srgb, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    uint8_t Out[3] = {0, 0, 0};
    if (T) cmsDoTransform(T, In, Out, 1);
    if (T) cmsDeleteTransform(T);
    cmsCloseProfile(Srgb);
    if (P) cmsCloseProfile(P);
    return RGB(Out[0], Out[1], Out[2]);
}

struct TExtra {
    int32_t Num;
    std::string Dict, Data;
};

struct TCase {
    std::string Name;
    std::string Dict;  // entries after /Type /XObject /Subtype /Image
    std::string Data;
    std::function<TColor(int, int)> Expected;
    int Tolerance = 0;
    std::vector<TExtra> Extra;  // objects the dictionary refers to
    TPDFMaskType Mask = mtNone;
    bool Stencil = false;
    bool InFile = true;
    // qpdf --check decodes DCT data and warns about a leading line feed;
    // pdfimages -j writes the stored bytes with it, our list item is the
    // JPEG without it.
    bool LeadingLF = false;
    // Both peers lay a JPEG larger than its dictionary out in the
    // dictionary's rows (the page shows stripes); we resample it to the
    // dictionary's size, so that page is not judged against them.
    bool PeersReinterpret = false;
    // The dictionary's size when it is not the common W x H.
    int Width = W, Height = H;
};

std::vector<TCase> Cases() {
    std::vector<TCase> C;
    auto Grey = [](int V) { return RGB(V, V, V); };
    for (int Bits : {1, 2, 4, 8, 16}) {
        const int Max = (1 << Bits) - 1;
        std::vector<int> S;
        for (int Y = 0; Y < H; ++Y)
            for (int X = 0; X < W; ++X) S.push_back((X + 3 * Y) % (Max + 1) * (Bits == 16 ? 1 : 1));
        if (Bits == 16)
            for (int& V : S) V = V * 4099 % 65536;
        C.push_back({"grey " + std::to_string(Bits),
                     "/ColorSpace /DeviceGray /BitsPerComponent " + std::to_string(Bits),
                     Pack(S, W, Bits), [=](int X, int Y) {
                         const int V = S[size_t(Y * W + X)];
                         return Grey(Bits == 16 ? V >> 8 : V * 255 / Max);
                     }});
    }
    {
        std::vector<int> S;
        for (int I = 0; I < W * H; ++I) S.push_back(I * 7);
        C.push_back({"grey decode 1 0", "/ColorSpace /DeviceGray /BitsPerComponent 8 /Decode [1 0]",
                     Pack(S, W, 8),
                     [=](int X, int Y) { return Grey(255 - S[size_t(Y * W + X)]); }});
    }
    std::vector<int> Rgb;
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X) {
            Rgb.push_back(X * 30);
            Rgb.push_back(Y * 60);
            Rgb.push_back((X + Y) * 10);
        }
    auto RgbAt = [=](int X, int Y) { return RGB(X * 30, Y * 60, (X + Y) * 10); };
    C.push_back(
        {"RGB 8", "/ColorSpace /DeviceRGB /BitsPerComponent 8", Pack(Rgb, 3 * W, 8), RgbAt});
    {
        std::vector<int> S;
        for (int V : Rgb) S.push_back(V * 256 + 77);
        C.push_back(
            {"RGB 16", "/ColorSpace /DeviceRGB /BitsPerComponent 16", Pack(S, 3 * W, 16), RgbAt});
    }
    const std::string Raw = Pack(Rgb, 3 * W, 8);
    C.push_back({"ASCII85 and Flate with predictor",
                 "/ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter [/ASCII85Decode /FlateDecode] "
                 "/DecodeParms [null << /Predictor 15 /Colors 3 /Columns 8 >>]",
                 EncodeASCII85(FlateCompress(PredictUp(Raw, 3 * W))), RgbAt});
    C.push_back({"ASCIIHex", "/ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /ASCIIHexDecode",
                 Hex(Raw) + ">", RgbAt});
    C.push_back({"LZW", "/ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /LZWDecode",
                 LZWLiteral(Raw), RgbAt});
    C.push_back({"RunLength", "/ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /RunLengthDecode",
                 RunLength(Raw), RgbAt});
    {
        TPDFSimpleColorManager M;
        std::vector<int> S;
        for (int Y = 0; Y < H; ++Y)
            for (int X = 0; X < W; ++X) {
                S.push_back(X * 32);
                S.push_back(Y * 64);
                S.push_back(0);
                S.push_back(X == Y ? 255 : 0);
            }
        C.push_back({"CMYK 8", "/ColorSpace /DeviceCMYK /BitsPerComponent 8", Pack(S, 4 * W, 8),
                     [=](int X, int Y) mutable {
                         TPDFCMYKColor K{X * 32 / 255.0, Y * 64 / 255.0, 0, X == Y ? 1.0 : 0.0};
                         TPDFRGBColor R = M.CMYK2RGB(K);
                         return M.RGB2Color(R);
                     },
                     1});
        C.push_back({"ICCBased N 4 falls back to CMYK",
                     "/ColorSpace [/ICCBased 24 0 R] /BitsPerComponent 8",
                     Pack(S, 4 * W, 8),
                     [=](int X, int Y) mutable {
                         TPDFCMYKColor K{X * 32 / 255.0, Y * 64 / 255.0, 0, X == Y ? 1.0 : 0.0};
                         TPDFRGBColor R = M.CMYK2RGB(K);
                         return M.RGB2Color(R);
                     },
                     1,
                     {{24, "<< /N 4 >>", "not a profile"}}});
        const std::string Cmyk = SwappedCmykProfile();
        C.push_back({"ICCBased N 4 with its profile",
                     "/ColorSpace [/ICCBased 27 0 R] /BitsPerComponent 8",
                     Pack(S, 4 * W, 8),
                     [=](int X, int Y) {
                         const uint8_t In[4] = {uint8_t(X * 32), uint8_t(Y * 64), 0,
                                                uint8_t(X == Y ? 255 : 0)};
                         return ThroughProfile(Cmyk, TYPE_CMYK_8, In);
                     },
                     1,
                     {{27, "<< /N 4 /Alternate /DeviceCMYK >>", Cmyk}}});
        // CIE L*a*b* over D65: L* 25..100 across, a* -60..60 and b* 40..-40
        // down, converted by the CIE and sRGB formulas.
        std::vector<int> L;
        for (int Y = 0; Y < H; ++Y)
            for (int X = 0; X < W; ++X) {
                L.push_back(64 + X * 27);
                L.push_back(8 + Y * 80);
                L.push_back(200 - Y * 50);
            }
        C.push_back({"Lab",
                     "/ColorSpace [/Lab << /WhitePoint [0.9505 1 1.089] /Range [-100 100 -100 100] "
                     ">>] /BitsPerComponent 8",
                     Pack(L, 3 * W, 8),
                     [=](int X, int Y) {
                         const size_t K = size_t(3 * (Y * W + X));
                         const double Ls = L[K] * 100.0 / 255, As = -100 + L[K + 1] * 200.0 / 255,
                                      Bs = -100 + L[K + 2] * 200.0 / 255;
                         const double Fy = (Ls + 16) / 116, Fx = Fy + As / 500, Fz = Fy - Bs / 200;
                         auto G = [](double T) {
                             return T > 6.0 / 29 ? T * T * T : 3 * 36.0 / 841 * (T - 4.0 / 29);
                         };
                         const double Xv = 0.9505 * G(Fx), Yv = G(Fy), Zv = 1.089 * G(Fz);
                         const double Rl = 3.2406 * Xv - 1.5372 * Yv - 0.4986 * Zv;
                         const double Gl = -0.9689 * Xv + 1.8758 * Yv + 0.0415 * Zv;
                         const double Bl = 0.0557 * Xv - 0.2040 * Yv + 1.0570 * Zv;
                         auto Enc = [](double V) {
                             V = std::clamp(V, 0.0, 1.0);
                             V = V <= 0.0031308 ? 12.92 * V : 1.055 * std::pow(V, 1 / 2.4) - 0.055;
                             return int(std::lround(V * 255));
                         };
                         return RGB(Enc(Rl), Enc(Gl), Enc(Bl));
                     },
                     12});
    }
    {
        std::vector<int> S;
        for (int I = 0; I < W * H; ++I) S.push_back(I % 8);
        const int Pal[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}};
        C.push_back(
            {"indexed RGB, hex lookup, hival clamp",
             "/ColorSpace [/Indexed /DeviceRGB 3 <FF000000FF000000FF0A141E>] /BitsPerComponent 4",
             Pack(S, W, 4), [=](int X, int Y) {
                 const int I = std::min(S[size_t(Y * W + X)], 3);
                 return RGB(Pal[I][0], Pal[I][1], Pal[I][2]);
             }});
        C.push_back({"indexed grey, stream lookup",
                     "/ColorSpace [/Indexed /DeviceGray 7 20 0 R] /BitsPerComponent 8",
                     Pack(S, W, 8),
                     [=](int X, int Y) { return Grey(S[size_t(Y * W + X)] * 30); },
                     0,
                     {{20, "<< /Filter /FlateDecode >>",
                       FlateCompress(Pack({0, 30, 60, 90, 120, 150, 180, 210}, 8, 8))}}});
        TPDFSimpleColorManager M;
        C.push_back({"indexed CMYK",
                     "/ColorSpace [/Indexed /DeviceCMYK 1 <00000000 000000FF>] /BitsPerComponent 1",
                     Pack(S, W, 1),
                     [=](int X, int Y) mutable {
                         TPDFCMYKColor K{0, 0, 0, (S[size_t(Y * W + X)] & 1) ? 1.0 : 0.0};
                         TPDFRGBColor R = M.CMYK2RGB(K);
                         return M.RGB2Color(R);
                     },
                     1});
    }
    {
        std::vector<int> S;
        for (int I = 0; I < W * H; ++I) S.push_back(I * 8);
        C.push_back({"Separation",
                     "/ColorSpace [/Separation /Spot /DeviceRGB << /FunctionType 2 /Domain [0 1] "
                     "/C0 [1 1 1] /C1 [0 0 1] /N 1 >>] /BitsPerComponent 8",
                     Pack(S, W, 8),
                     [=](int X, int Y) {
                         const int V = S[size_t(Y * W + X)];
                         const int G = int(std::lround(255 - V));
                         return RGB(G, G, 255);
                     },
                     1});
        C.push_back({"DeviceN",
                     "/ColorSpace [/DeviceN [/Spot] /DeviceRGB << /FunctionType 2 /Domain [0 1] "
                     "/C0 [1 1 1] /C1 [1 0 0] /N 1 >>] /BitsPerComponent 8",
                     Pack(S, W, 8),
                     [=](int X, int Y) {
                         const int V = 255 - S[size_t(Y * W + X)];
                         return RGB(255, V, V);
                     },
                     1});
        C.push_back({"ICCBased N 1 falls back to its alternate",
                     "/ColorSpace [/ICCBased 21 0 R] /BitsPerComponent 8",
                     Pack(S, W, 8),
                     [=](int X, int Y) { return Grey(S[size_t(Y * W + X)]); },
                     0,
                     {{21, "<< /N 1 /Alternate /DeviceGray >>", "not a profile"}}});
        C.push_back({"ICCBased N 3",
                     "/ColorSpace [/ICCBased 21 0 R] /BitsPerComponent 8",
                     Raw,
                     RgbAt,
                     0,
                     {{21, "<< /N 3 >>", "not a profile"}}});
        const std::string Grey1 = LinearGreyProfile();
        C.push_back({"ICCBased N 1 with its profile",
                     "/ColorSpace [/ICCBased 25 0 R] /BitsPerComponent 8",
                     Pack(S, W, 8),
                     [=](int X, int Y) {
                         const uint8_t In = uint8_t(S[size_t(Y * W + X)]);
                         return ThroughProfile(Grey1, TYPE_GRAY_8, &In);
                     },
                     1,
                     {{25, "<< /N 1 /Alternate /DeviceGray >>", Grey1}}});
        const std::string Rgb3 = SwappedRgbProfile();
        C.push_back(
            {"ICCBased N 3 with its profile",
             "/ColorSpace [/ICCBased 26 0 R] /BitsPerComponent 8",
             Raw,
             [=](int X, int Y) {
                 const uint8_t In[3] = {uint8_t(X * 30), uint8_t(Y * 60), uint8_t((X + Y) * 10)};
                 return ThroughProfile(Rgb3, TYPE_RGB_8, In);
             },
             1,
             {{26, "<< /N 3 /Alternate /DeviceRGB >>", Rgb3}}});
    }
    {
        // A stencil: bit 0 paints.
        std::vector<int> S;
        for (int Y = 0; Y < H; ++Y)
            for (int X = 0; X < W; ++X) S.push_back(X < Y ? 0 : 1);
        TCase T{"image mask", "/ImageMask true", Pack(S, W, 1),
                [=](int X, int Y) { return X < Y ? RGB(255, 255, 255) : 0; }};
        T.Stencil = true;
        T.Mask = mtStencil;
        C.push_back(T);
        TCase E{"explicit mask stream", "/ColorSpace /DeviceRGB /BitsPerComponent 8 /Mask 22 0 R",
                Raw, RgbAt};
        E.Extra = {{22, "<< /Type /XObject /Subtype /Image /Width 8 /Height 4 /ImageMask true >>",
                    Pack(S, W, 1)}};
        E.Mask = mtExplicit;
        C.push_back(E);
        TCase M{"soft mask of another size",
                "/ColorSpace /DeviceRGB /BitsPerComponent 8 /SMask 23 0 R", Raw, RgbAt};
        M.Extra = {{23,
                    "<< /Type /XObject /Subtype /Image /Width 4 /Height 2 /ColorSpace /DeviceGray "
                    "/BitsPerComponent 8 >>",
                    Pack({0, 64, 128, 255, 255, 128, 64, 0}, 4, 8)}};
        M.Mask = mtSoft;
        C.push_back(M);
        TCase K{"colour key", "/ColorSpace /DeviceRGB /BitsPerComponent 8 /Mask [0 30 0 0 0 10]",
                Raw, RgbAt};
        K.Mask = mtColorKey;
        C.push_back(K);
    }
    // Columns at the colour edge ring in JPEG; they are not compared.
    auto Halves = [](int X, int) {
        if (X == W / 2 - 1 || X == W / 2) return DontCare;
        return X < W / 2 ? RGB(240, 20, 20) : RGB(20, 20, 240);
    };
    C.push_back({"DCT RGB", "/ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /DCTDecode",
                 Jpeg(W, H, false), Halves, 40});
    TCase LF{"DCT with a leading line feed",
             "/ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /DCTDecode",
             "\n" + Jpeg(W, H, false), Halves, 40};
    LF.LeadingLF = true;
    C.push_back(LF);
    // A CMYK JPEG's samples are taken as inverted (255 - ink), as the
    // peers take them: ImageMagick's inks show complemented without Decode
    // and as they are with Decode 1 0 pairs.
    const std::string CmykJpeg = ImageMagickCmykJpeg();
    if (!CmykJpeg.empty()) {
        auto Ink = [](bool Complement) {
            return [Complement](int, int) {
                TPDFSimpleColorManager M;
                const double I[4] = {205 / 255.0, 51 / 255.0, 1 / 255.0, 25 / 255.0};
                TPDFCMYKColor K{I[0], I[1], I[2], I[3]};
                if (Complement) K = {1 - I[0], 1 - I[1], 1 - I[2], 1 - I[3]};
                TPDFRGBColor R = M.CMYK2RGB(K);
                return M.RGB2Color(R);
            };
        };
        C.push_back({"DCT CMYK", "/ColorSpace /DeviceCMYK /BitsPerComponent 8 /Filter /DCTDecode",
                     CmykJpeg, Ink(true), 4});
        C.push_back(
            {"DCT CMYK with Decode 1 0",
             "/ColorSpace /DeviceCMYK /BitsPerComponent 8 /Filter /DCTDecode /Decode [1 0 1 "
             "0 1 0 1 0]",
             CmykJpeg, Ink(false), 4});
    }
    TCase Larger{"DCT larger than its dictionary",
                 "/ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /DCTDecode",
                 Jpeg(2 * W, 2 * H, false), Halves, 40};
    Larger.PeersReinterpret = true;
    C.push_back(Larger);
    // The same at photo size: 100 x 100 samples in a 50 x 50 dictionary,
    // resampled to the dictionary's size.
    TCase Hundred{"DCT 100 x 100 in a 50 x 50 dictionary",
                  "/ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /DCTDecode",
                  Jpeg(100, 100, false),
                  [](int X, int) {
                      if (X >= 23 && X <= 26) return DontCare;
                      return X < 25 ? RGB(240, 20, 20) : RGB(20, 20, 240);
                  },
                  40};
    Hundred.Width = Hundred.Height = 50;
    Hundred.PeersReinterpret = true;
    C.push_back(Hundred);
    C.push_back({"DCT grey", "/ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /DCTDecode",
                 Jpeg(W, H, true),
                 [](int X, int) {
                     if (X == W / 2 - 1 || X == W / 2) return DontCare;
                     return X < W / 2 ? RGB(86, 86, 86) : RGB(45, 45, 45);
                 },
                 40});
    return C;
}

// The file: catalog 1, pages 2, then page, content and image per case, and
// the extra objects under their own numbers.
std::string MakePDF(const std::vector<TCase>& Cases) {
    std::map<int, std::string> Objects;
    std::string Kids;
    int Next = 100;
    for (const TCase& C : Cases) {
        const int Page = Next++, Content = Next++, Image = Next++;
        Kids += std::to_string(Page) + " 0 R ";
        Objects[Page] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 72 72] /Contents " +
                        std::to_string(Content) + " 0 R /Resources << /XObject << /Im0 " +
                        std::to_string(Image) + " 0 R >> >> >>";
        const std::string Draw =
            C.Stencil ? "q 1 0 0 rg 72 0 0 72 0 0 cm /Im0 Do Q" : "q 72 0 0 72 0 0 cm /Im0 Do Q";
        Objects[Content] =
            "<< /Length " + std::to_string(Draw.size()) + " >>\nstream\n" + Draw + "\nendstream";
        Objects[Image] = "<< /Type /XObject /Subtype /Image /Width " + std::to_string(C.Width) +
                         " /Height " + std::to_string(C.Height) + " " + C.Dict + " /Length " +
                         std::to_string(C.Data.size()) + " >>\nstream\n" + C.Data + "\nendstream";
    }
    std::string Pdf = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
    std::map<int, size_t> Offsets;
    auto Add = [&](int Num, const std::string& Body) {
        Offsets[Num] = Pdf.size();
        Pdf += std::to_string(Num) + " 0 obj\n" + Body + "\nendobj\n";
    };
    Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    Add(2, "<< /Type /Pages /Kids [" + Kids + "] /Count " + std::to_string(Cases.size()) + " >>");
    // Extra objects are shared by number; the first definition wins.
    std::map<int, std::string> Extras;
    for (const TCase& C : Cases)
        for (const TExtra& E : C.Extra) {
            std::string D = E.Dict;
            D.insert(D.size() - 2, " /Length " + std::to_string(E.Data.size()) + " ");
            Extras.emplace(E.Num, D + "\nstream\n" + E.Data + "\nendstream");
        }
    // Cases share numbers 21 for different profiles: the file keeps one,
    // the decode checks use their own.
    for (auto& [N, B] : Extras) Add(N, B);
    for (auto& [N, B] : Objects) Add(N, B);
    const int Size = Next;
    const size_t XRef = Pdf.size();
    Pdf += "xref\n0 " + std::to_string(Size) + "\n0000000000 65535 f \n";
    for (int N = 1; N < Size; ++N) {
        char Line[24];
        auto It = Offsets.find(N);
        if (It == Offsets.end())
            std::snprintf(Line, sizeof Line, "0000000000 65535 f \n");
        else
            std::snprintf(Line, sizeof Line, "%010zu 00000 n \n", It->second);
        Pdf += Line;
    }
    Pdf += "trailer\n<< /Size " + std::to_string(Size) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(XRef) + "\n%%EOF\n";
    return Pdf;
}

}  // namespace

TEST(ImageXObjectsOracle, GeneratedFileDecodes) {
    VPL_REQUIRE_TOOL("qpdf");
    VPL_REQUIRE_TOOL("pdfimages");
    const std::vector<TCase> All = Cases();
    std::vector<TCase> InFile;
    for (const TCase& C : All)
        if (C.InFile) InFile.push_back(C);
    vpltest::TempDir Dir;
    const auto File = Dir / "images.pdf";
    vpltest::WriteFile(File, MakePDF(InFile));

    // Clean but for qpdf's own DCT check of the JPEG behind a line feed.
    const auto Check = vpltest::RunCommand({"qpdf", "--check", File.string()});
    std::vector<std::string> Allowed;
    for (size_t I = 0; I < InFile.size(); ++I)
        if (InFile[I].LeadingLF) Allowed.push_back("object " + std::to_string(102 + 3 * I) + " 0");
    EXPECT_TRUE(Check.exitCode == 0 || (Check.exitCode == 3 && !Allowed.empty()))
        << Check.out << Check.err;
    {
        std::istringstream Warnings(Check.out + Check.err);
        std::string Line;
        while (std::getline(Warnings, Line)) {
            if (Line.find("WARNING") == std::string::npos ||
                Line.find("re-processed without filtering") != std::string::npos)
                continue;
            const bool Known = std::any_of(
                Allowed.begin(), Allowed.end(),
                [&](const std::string& A) { return Line.find(A) != std::string::npos; });
            EXPECT_TRUE(Known) << Line;
        }
    }

    // One image or stencil row per page, with the dictionary's size.
    const auto List = vpltest::RunCommand({"pdfimages", "-list", File.string()});
    ASSERT_EQ(List.exitCode, 0) << List.err;
    std::istringstream Lines(List.out);
    std::string Line;
    std::getline(Lines, Line);
    std::getline(Lines, Line);
    std::vector<int> Pages;
    while (std::getline(Lines, Line)) {
        std::istringstream F(Line);
        int Page = 0, Num = 0, Wd = 0, Ht = 0;
        std::string Type;
        F >> Page >> Num >> Type >> Wd >> Ht;
        if (Type != "image" && Type != "stencil") continue;
        Pages.push_back(Page);
        ASSERT_LE(size_t(Page), InFile.size());
        const TCase& C = InFile[size_t(Page - 1)];
        EXPECT_EQ(Type, C.Stencil ? "stencil" : "image") << C.Name;
        EXPECT_EQ(Wd, C.Width) << C.Name;
        EXPECT_EQ(Ht, C.Height) << C.Name;
    }
    ASSERT_EQ(Pages.size(), InFile.size());

    // Each image through the decoder, against the computed samples.
    for (const TCase& C : All) {
        SCOPED_TRACE(C.Name);
        TPDFStructure S;
        std::vector<std::unique_ptr<TPDFStream>> Keep;
        std::map<int32_t, TPDFObject*> Objects;
        for (const TExtra& E : C.Extra) {
            Keep.push_back(
                std::make_unique<TPDFStream>(&S, E.Data, ObjAs<TPDFDictionary>(S.Decode(E.Dict))));
            Keep.back()->FIndObjNum = E.Num;
            Objects[E.Num] = Keep.back().get();
        }
        auto* D = ObjAs<TPDFDictionary>(S.Decode("<< /Type /XObject /Subtype /Image /Width " +
                                                 std::to_string(C.Width) + " /Height " +
                                                 std::to_string(C.Height) + " " + C.Dict + " >>"));
        ASSERT_NE(D, nullptr);
        TPDFStream Image(&S, C.Data, D);
        TPDFImageDecoder Dec;
        Dec.FOnFindObject = [&](TPDFIndRef* R) -> TPDFObject* {
            auto It = Objects.find(R->ObjNum);
            return It == Objects.end() ? nullptr : It->second;
        };
        Dec.LoadFromPDFStream(&Image);
        ASSERT_TRUE(Dec.ValidImage()) << Dec.LoadError();
        EXPECT_EQ(Dec.MaskType(), C.Mask);
        ASSERT_EQ(Dec.Bitmap()->Width(), C.Width);
        ASSERT_EQ(Dec.Bitmap()->Height(), C.Height);
        int Bad = 0;
        for (int Y = 0; Y < C.Height; ++Y)
            for (int X = 0; X < C.Width; ++X) {
                const TColor Got = Dec.Bitmap()->GetPixel(X, Y), Want = C.Expected(X, Y);
                if (Want == DontCare) continue;
                for (int Sh = 0; Sh < 24; Sh += 8)
                    if (std::abs(int((Got >> Sh) & 0xFF) - int((Want >> Sh) & 0xFF)) >
                        C.Tolerance) {
                        if (++Bad <= 3)
                            ADD_FAILURE() << "pixel " << X << "," << Y << " got " << std::hex << Got
                                          << " want " << Want << std::dec;
                        break;
                    }
            }
        if (C.Mask == mtSoft) {
            ASSERT_NE(Dec.MaskBitmap(), nullptr);
            EXPECT_EQ(Dec.MaskBitmap()->Width(), 4);
            EXPECT_EQ(Dec.MaskBitmap()->GetPixel(1, 0), RGB(64, 64, 64));
        }
        if (C.Mask == mtExplicit) {
            ASSERT_NE(Dec.MaskBitmap(), nullptr);
            // Painted (opaque) where the mask's bit is 0.
            EXPECT_EQ(Dec.MaskBitmap()->GetPixel(0, 1), RGB(255, 255, 255));
            EXPECT_EQ(Dec.MaskBitmap()->GetPixel(5, 1), 0);
        }
    }
}

// The same file's pages drawn by us and by the peers at 72 DPI: every page
// agrees with at least one peer by the shared render rule (but the one
// whose JPEG the peers do not resample). The page image
// list matches pdfimages -list row for row (count, order, width, height),
// and its JPEG items are byte for byte the files pdfimages -j writes.
TEST(ImageXObjectsOracle, PagesRenderAndListLikeThePeers) {
    VPL_REQUIRE_TOOL("pdfimages");
    VPL_REQUIRE_TOOL("mutool");
    VPL_REQUIRE_TOOL("pdftoppm");
    vpltest::InstallPageRenderServices();
    std::vector<TCase> InFile;
    for (const TCase& C : Cases())
        if (C.InFile) InFile.push_back(C);
    vpltest::TempDir Dir;
    const auto File = Dir / "images.pdf";
    vpltest::WriteFile(File, MakePDF(InFile));

    vpltest::TRenderCache Cache;
    for (size_t I = 0; I < InFile.size(); ++I) {
        const int Page = int(I) + 1;
        SCOPED_TRACE(InFile[I].Name);
        const auto Mutool = Cache.Peer(vpltest::TRenderPeer::Mutool, File, Page, 72);
        const auto Pdftoppm = Cache.Peer(vpltest::TRenderPeer::Pdftoppm, File, Page, 72);
        vpltest::TRgbRaster Ours;
        std::string Error;
        ASSERT_TRUE(vpltest::RenderFilePageToPng(File, Page, 72, Ours, Error)) << Error;
        EXPECT_EQ(Error, "");
        const vpltest::TPeerVerdict V = vpltest::JudgeAgainstPeers(Ours, Mutool, Pdftoppm);
        if (InFile[I].PeersReinterpret) {
            // Shown, not judged: the peers' layout of the larger JPEG.
            std::printf("%s (ours resampled to the dictionary's size): mutool: %s; pdftoppm: %s\n",
                        InFile[I].Name.c_str(),
                        V.haveMutool ? vpltest::DescribeComparison(V.vsMutool).c_str()
                                     : Mutool.error.c_str(),
                        V.havePdftoppm ? vpltest::DescribeComparison(V.vsPdftoppm).c_str()
                                       : Pdftoppm.error.c_str());
            continue;
        }
        EXPECT_TRUE(V.agrees)
            << "mutool: " << (V.haveMutool ? vpltest::DescribeComparison(V.vsMutool) : Mutool.error)
            << "; pdftoppm: "
            << (V.havePdftoppm ? vpltest::DescribeComparison(V.vsPdftoppm) : Pdftoppm.error);
    }

    // pdfimages' image and stencil rows per page, in order.
    const auto List = vpltest::RunCommand({"pdfimages", "-list", File.string()});
    ASSERT_EQ(List.exitCode, 0) << List.err;
    struct TRow {
        int Num, W, H;
    };
    std::map<int, std::vector<TRow>> Rows;
    std::istringstream Lines(List.out);
    std::string Line;
    std::getline(Lines, Line);
    std::getline(Lines, Line);
    while (std::getline(Lines, Line)) {
        std::istringstream F(Line);
        int Page = 0, Num = 0, Wd = 0, Ht = 0;
        std::string Type;
        F >> Page >> Num >> Type >> Wd >> Ht;
        if (Type == "image" || Type == "stencil") Rows[Page].push_back({Num, Wd, Ht});
    }
    // pdfimages -j writes DCT images as they are stored, named by page and
    // image number.
    const auto Jpegs =
        vpltest::RunCommand({"pdfimages", "-j", "-p", File.string(), (Dir / "x").string()});
    ASSERT_EQ(Jpegs.exitCode, 0) << Jpegs.err;

    TPDFDocument Doc;
    ASSERT_EQ(Doc.LoadFromFile(File.u16string(), u""), lrOkay);
    TPDFPageTree* Tree = Doc.PageTree();
    int JpegItems = 0;
    for (size_t I = 0; I < InFile.size(); ++I) {
        const int Page = int(I) + 1;
        SCOPED_TRACE(InFile[I].Name);
        Tree->SetPage(Page);
        auto* L = dynamic_cast<TPDFImageList*>(Tree->GetImageList());
        ASSERT_NE(L, nullptr);
        const auto& Want = Rows[Page];
        ASSERT_EQ(size_t(L->ImageCount()), Want.size());
        for (int K = 1; K <= L->ImageCount(); ++K) {
            const TRow& R = Want[size_t(K - 1)];
            EXPECT_EQ(L->ImagePixelWidth(K), R.W);
            EXPECT_EQ(L->ImagePixelHeight(K), R.H);
            if (L->ImageType(K) != nitJPEG) continue;
            ++JpegItems;
            char Name[32];
            std::snprintf(Name, sizeof Name, "x-%03d-%03d.jpg", Page, R.Num);
            std::string Theirs = vpltest::ReadFile(Dir / Name);
            EXPECT_FALSE(Theirs.empty()) << Name;
            // The stored bytes keep the line feed before the JPEG; ours
            // is the JPEG itself.
            if (InFile[I].LeadingLF) {
                ASSERT_EQ(Theirs.substr(0, 3), "\n\xFF\xD8") << Name;
                Theirs.erase(0, 1);
            }
            EXPECT_TRUE(L->ImageData(K) == Theirs) << Name;
        }
    }
    EXPECT_GE(JpegItems, 3);
}

// Inline images, one per page, through each way their end is found: plain
// samples whose bytes hold "EI", Flate data, ASCIIHex and ASCII85 text
// (searched end), LZW, Flate then RunLength, a JPEG, and an Indexed space
// whose lookup holds "/". Each decodes to its samples, each
// page agrees with a peer and the page image lists match pdfimages -list.
TEST(ImageXObjectsOracle, InlineImages) {
    VPL_REQUIRE_TOOL("pdfimages");
    VPL_REQUIRE_TOOL("mutool");
    VPL_REQUIRE_TOOL("pdftoppm");
    vpltest::InstallPageRenderServices();
    // Two grey samples across, two rows: 0x45 0x49 ("EI") then 0x20 0x0A.
    const std::string Grey = std::string("EI \n", 4);
    auto GreyAt = [](int X, int Y) {
        const int V = Y == 0 ? (X == 0 ? 0x45 : 0x49) : (X == 0 ? 0x20 : 0x0A);
        return RGB(V, V, V);
    };
    struct TInline {
        const char* Name;
        std::string Content;
        std::function<TColor(int, int)> Expected;
        int Width = 2, Height = 2;
        int Tolerance = 0;
    };
    const std::vector<TInline> Cases = {
        {"plain samples holding EI", "BI /W 2 /H 2 /CS /G /BPC 8 ID " + Grey + " EI", GreyAt},
        {"Flate", "BI /W 2 /H 2 /CS /G /BPC 8 /F /Fl ID " + FlateCompress(Grey) + "\nEI", GreyAt},
        {"ASCIIHex", "BI /W 2 /H 2 /CS /G /BPC 8 /F /AHx ID 4549200A> EI", GreyAt},
        {"ASCII85", "BI /W 2 /H 2 /CS /G /BPC 8 /F /A85 ID " + EncodeASCII85(Grey) + " EI", GreyAt},
        {"Indexed with / in its lookup",
         "BI /W 2 /H 2 /CS [/I /RGB 1 (/\\(\\)\\\\//)] /BPC 8 ID " +
             std::string("\x00\x01\x01\x00", 4) + " EI",
         [](int X, int Y) { return X == Y ? RGB('/', '(', ')') : RGB('\\', '/', '/'); }},
        {"LZW", "BI /W 2 /H 2 /CS /G /BPC 8 /F /LZW ID " + LZWLiteral(Grey) + " EI", GreyAt},
        {"Flate then RunLength",
         "BI /W 2 /H 2 /CS /G /BPC 8 /F [/Fl /RL] ID " + FlateCompress(RunLength(Grey)) + "\nEI",
         GreyAt},
        {"DCT", "BI /W 8 /H 4 /CS /G /BPC 8 /F /DCT ID " + Jpeg(W, H, true) + "\nEI",
         [](int X, int) {
             if (X == W / 2 - 1 || X == W / 2) return DontCare;
             return X < W / 2 ? RGB(86, 86, 86) : RGB(45, 45, 45);
         },
         W, H, 40},
    };
    std::vector<std::string> Pages;
    for (const TInline& C : Cases) Pages.push_back("q 72 0 0 72 0 0 cm " + C.Content + " Q");
    vpltest::TempDir Dir;
    const auto File = Dir / "inline.pdf";
    vpltest::WriteFile(File, vpltest::MinimalPdf(Pages, 72, 72));

    const auto List = vpltest::RunCommand({"pdfimages", "-list", File.string()});
    ASSERT_EQ(List.exitCode, 0) << List.err;
    std::map<int, int> Listed;
    std::istringstream Lines(List.out);
    std::string Line;
    std::getline(Lines, Line);
    std::getline(Lines, Line);
    while (std::getline(Lines, Line)) {
        std::istringstream F(Line);
        int Page = 0;
        F >> Page;
        ++Listed[Page];
    }

    vpltest::TRenderCache Cache;
    TPDFDocument Doc;
    ASSERT_EQ(Doc.LoadFromFile(File.u16string(), u""), lrOkay);
    for (size_t I = 0; I < Cases.size(); ++I) {
        const TInline& C = Cases[I];
        const int Page = int(I) + 1;
        SCOPED_TRACE(C.Name);
        // The decoder's samples.
        TPDFInlineImage Img;
        int64_t Pos = 4;  // after "BI"
        ASSERT_TRUE(ParseInlineImage(C.Content, Pos, Img, nullptr, nullptr));
        // The reader stops at EI or just after it.
        const std::string Rest = C.Content.substr(size_t(Pos - 1));
        EXPECT_TRUE(Rest.rfind("EI", 0) == 0 || Rest.empty()) << Rest;
        TPDFImageDecoder Dec;
        Dec.LoadFromInlineImage(Img, nullptr);
        ASSERT_TRUE(Dec.ValidImage()) << Dec.LoadError();
        ASSERT_EQ(Dec.Bitmap()->Width(), C.Width);
        ASSERT_EQ(Dec.Bitmap()->Height(), C.Height);
        for (int Y = 0; Y < C.Height; ++Y)
            for (int X = 0; X < C.Width; ++X) {
                const TColor Got = Dec.Bitmap()->GetPixel(X, Y), Want = C.Expected(X, Y);
                if (Want == DontCare) continue;
                for (int Sh = 0; Sh < 24; Sh += 8)
                    EXPECT_LE(std::abs(int((Got >> Sh) & 0xFF) - int((Want >> Sh) & 0xFF)),
                              C.Tolerance)
                        << X << "," << Y << " got " << std::hex << Got << " want " << Want;
            }
        // The page against the peers.
        const auto Mutool = Cache.Peer(vpltest::TRenderPeer::Mutool, File, Page, 72);
        const auto Pdftoppm = Cache.Peer(vpltest::TRenderPeer::Pdftoppm, File, Page, 72);
        vpltest::TRgbRaster Ours;
        std::string Error;
        ASSERT_TRUE(vpltest::RenderFilePageToPng(File, Page, 72, Ours, Error)) << Error;
        const vpltest::TPeerVerdict V = vpltest::JudgeAgainstPeers(Ours, Mutool, Pdftoppm);
        EXPECT_TRUE(V.agrees)
            << "mutool: " << (V.haveMutool ? vpltest::DescribeComparison(V.vsMutool) : Mutool.error)
            << "; pdftoppm: "
            << (V.havePdftoppm ? vpltest::DescribeComparison(V.vsPdftoppm) : Pdftoppm.error);
        // The page's image list.
        Doc.PageTree()->SetPage(Page);
        auto* L = dynamic_cast<TPDFImageList*>(Doc.PageTree()->GetImageList());
        ASSERT_NE(L, nullptr);
        EXPECT_EQ(L->ImageCount(), Listed[Page]);
        if (L->ImageCount() == 1) {
            EXPECT_EQ(L->ImagePixelWidth(1), C.Width);
            EXPECT_EQ(L->ImageRef(1), nullptr);
        }
    }
}
