// Writes the seeds of the gdiplus_images fuzz target: small valid BMP, PNG,
// JPEG and TIFF files. Not part of the build; run it by hand when the seeds
// need making again:
//   c++ -std=c++20 tests/fuzz/MakeGdiplusSeeds.cpp -ljpeg -ltiff -llcms2 -lz -o /tmp/seeds
//   /tmp/seeds tests/fuzz/seeds/gdiplus_images
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// libjpeg needs size_t and FILE declared before it.
#include <jpeglib.h>
#include <lcms2.h>
#include <tiffio.h>
#include <zlib.h>

namespace {

std::string Dir;

void Write(const char* Name, const std::string& Bytes) {
    std::ofstream(Dir + "/" + Name, std::ios::binary) << Bytes;
    std::printf("%-20s %zu bytes\n", Name, Bytes.size());
}

std::string ReadBack(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    std::string S{std::istreambuf_iterator<char>(In), {}};
    std::remove(Path.c_str());
    return S;
}

void PutLE(std::string& S, uint32_t V, int Bytes) {
    for (int I = 0; I < Bytes; ++I) S.push_back(char(V >> (8 * I)));
}

void PutBE32(std::string& S, uint32_t V) {
    for (int I = 3; I >= 0; --I) S.push_back(char(V >> (8 * I)));
}

// A colour of a small test picture: a gradient with a diagonal band.
void Rgb(int X, int Y, uint8_t& R, uint8_t& G, uint8_t& B) {
    R = uint8_t(X * 32);
    G = uint8_t(Y * 32);
    B = (X + Y) % 5 == 0 ? 255 : 40;
}

// ---- BMP: 8×8 at 24 bits, 8×8 at 8 bits with a 16-entry palette.
std::string Bmp(int Bits) {
    const int W = 8, H = 8, Colours = Bits == 8 ? 16 : 0;
    const int Stride = ((W * Bits + 31) / 32) * 4;
    const int Offset = 14 + 40 + Colours * 4;
    std::string S = "BM";
    PutLE(S, uint32_t(Offset + Stride * H), 4);
    PutLE(S, 0, 4);
    PutLE(S, uint32_t(Offset), 4);
    PutLE(S, 40, 4);
    PutLE(S, W, 4);
    PutLE(S, H, 4);
    PutLE(S, 1, 2);
    PutLE(S, uint32_t(Bits), 2);
    PutLE(S, 0, 4);
    PutLE(S, uint32_t(Stride * H), 4);
    PutLE(S, 3780, 4);
    PutLE(S, 3780, 4);
    PutLE(S, uint32_t(Colours), 4);
    PutLE(S, 0, 4);
    for (int I = 0; I < Colours; ++I) PutLE(S, uint32_t(I * 0x0F0F0F), 4);
    for (int Y = H - 1; Y >= 0; --Y) {
        std::string Row;
        for (int X = 0; X < W; ++X) {
            uint8_t R, G, B;
            Rgb(X, Y, R, G, B);
            if (Bits == 8) {
                Row.push_back(char((X + Y) & 15));
            } else {
                Row.push_back(char(B));
                Row.push_back(char(G));
                Row.push_back(char(R));
            }
        }
        Row.resize(size_t(Stride), '\0');
        S += Row;
    }
    return S;
}

// ---- A small RGB profile: sRGB primaries, D65 white, gamma 2.2 curves.
std::string Profile() {
    cmsCIExyY White = {0.3127, 0.3290, 1.0};
    cmsCIExyYTRIPLE Primaries = {{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* Gamma = cmsBuildGamma(nullptr, 2.2);
    cmsToneCurve* Curves[3] = {Gamma, Gamma, Gamma};
    cmsHPROFILE P = cmsCreateRGBProfile(&White, &Primaries, Curves);
    cmsUInt32Number Size = 0;
    cmsSaveProfileToMem(P, nullptr, &Size);
    std::string Bytes(Size, '\0');
    cmsSaveProfileToMem(P, Bytes.data(), &Size);
    cmsCloseProfile(P);
    cmsFreeToneCurve(Gamma);
    return Bytes;
}

// ---- PNG: 8×8 RGB, optionally with an iCCP chunk.
void Chunk(std::string& Png, const char* Type, const std::string& Body) {
    PutBE32(Png, uint32_t(Body.size()));
    const std::string Typed = std::string(Type, 4) + Body;
    Png += Typed;
    PutBE32(Png,
            uint32_t(crc32(0, reinterpret_cast<const Bytef*>(Typed.data()), uInt(Typed.size()))));
}

std::string Deflate(const std::string& In) {
    uLongf Size = compressBound(uLong(In.size()));
    std::string Out(Size, '\0');
    compress2(reinterpret_cast<Bytef*>(Out.data()), &Size,
              reinterpret_cast<const Bytef*>(In.data()), uLong(In.size()), 9);
    Out.resize(Size);
    return Out;
}

std::string Png(bool WithProfile) {
    const int W = 8, H = 8;
    std::string Png = "\x89PNG\r\n\x1A\n";
    std::string Ihdr;
    PutBE32(Ihdr, W);
    PutBE32(Ihdr, H);
    Ihdr += std::string("\x08\x02\x00\x00\x00", 5);
    Chunk(Png, "IHDR", Ihdr);
    if (WithProfile)
        Chunk(Png, "iCCP", std::string("gamma22", 7) + std::string(2, '\0') + Deflate(Profile()));
    std::string Phys;
    PutBE32(Phys, 5906);
    PutBE32(Phys, 5906);
    Phys.push_back('\x01');
    Chunk(Png, "pHYs", Phys);
    std::string Raw;
    for (int Y = 0; Y < H; ++Y) {
        Raw.push_back('\0');
        for (int X = 0; X < W; ++X) {
            uint8_t R, G, B;
            Rgb(X, Y, R, G, B);
            Raw += {char(R), char(G), char(B)};
        }
    }
    Chunk(Png, "IDAT", Deflate(Raw));
    Chunk(Png, "IEND", "");
    // The target loads with colour management when the last byte is odd.
    if (WithProfile) Png.push_back('\x01');
    return Png;
}

// ---- JPEG: 16×16 baseline (with an ICC profile), progressive, and CMYK
// with the Adobe marker.
enum TJpegKind { jkBaseline, jkProgressive, jkCmyk };

std::string Jpeg(TJpegKind Kind) {
    const int W = 16, H = 16;
    jpeg_compress_struct C{};
    jpeg_error_mgr E{};
    C.err = jpeg_std_error(&E);
    jpeg_create_compress(&C);
    unsigned char* Out = nullptr;
    unsigned long Size = 0;
    jpeg_mem_dest(&C, &Out, &Size);
    C.image_width = W;
    C.image_height = H;
    C.input_components = Kind == jkCmyk ? 4 : 3;
    C.in_color_space = Kind == jkCmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&C);
    jpeg_set_quality(&C, 75, TRUE);
    if (Kind == jkProgressive) jpeg_simple_progression(&C);
    jpeg_start_compress(&C, TRUE);
    if (Kind == jkBaseline) {
        const std::string P = Profile();
        jpeg_write_icc_profile(&C, reinterpret_cast<const JOCTET*>(P.data()), unsigned(P.size()));
    }
    std::vector<uint8_t> Row(size_t(W) * 4);
    while (C.next_scanline < C.image_height) {
        const int Y = int(C.next_scanline);
        for (int X = 0; X < W; ++X) {
            uint8_t R, G, B;
            Rgb(X / 2, Y / 2, R, G, B);
            if (Kind == jkCmyk) {
                // Adobe's inverted CMYK: 255 is no ink.
                Row[size_t(X) * 4] = R;
                Row[size_t(X) * 4 + 1] = G;
                Row[size_t(X) * 4 + 2] = B;
                Row[size_t(X) * 4 + 3] = uint8_t(255 - X * 8);
            } else {
                Row[size_t(X) * 3] = R;
                Row[size_t(X) * 3 + 1] = G;
                Row[size_t(X) * 3 + 2] = B;
            }
        }
        JSAMPROW P = Row.data();
        jpeg_write_scanlines(&C, &P, 1);
    }
    jpeg_finish_compress(&C);
    std::string S(reinterpret_cast<char*>(Out), Size);
    jpeg_destroy_compress(&C);
    std::free(Out);
    return S;
}

// ---- TIFF: pages of RGB (LZW) or bilevel (G4) pixels.
void TiffPage(TIFF* T, bool Bilevel, uint32_t W, uint32_t H) {
    TIFFSetField(T, TIFFTAG_IMAGEWIDTH, W);
    TIFFSetField(T, TIFFTAG_IMAGELENGTH, H);
    TIFFSetField(T, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(T, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(T, TIFFTAG_XRESOLUTION, 150.0);
    TIFFSetField(T, TIFFTAG_YRESOLUTION, 150.0);
    TIFFSetField(T, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    std::vector<uint8_t> Line(size_t(W) * 3);
    if (Bilevel) {
        TIFFSetField(T, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(T, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(T, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(T, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    } else {
        TIFFSetField(T, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(T, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(T, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(T, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    }
    TIFFSetField(T, TIFFTAG_ROWSPERSTRIP, H);
    for (uint32_t Y = 0; Y < H; ++Y) {
        std::fill(Line.begin(), Line.end(), 0);
        for (uint32_t X = 0; X < W; ++X) {
            uint8_t R, G, B;
            Rgb(int(X), int(Y), R, G, B);
            if (Bilevel) {
                if ((X / 4 + Y / 4) % 2) Line[X / 8] |= uint8_t(0x80 >> (X % 8));
            } else {
                Line[X * 3] = R;
                Line[X * 3 + 1] = G;
                Line[X * 3 + 2] = B;
            }
        }
        TIFFWriteScanline(T, Line.data(), Y, 0);
    }
    TIFFWriteDirectory(T);
}

std::string Tiff(std::initializer_list<bool> Pages) {
    const std::string Path = Dir + "/.tmp.tif";
    TIFF* T = TIFFOpen(Path.c_str(), "w");
    for (bool Bilevel : Pages) TiffPage(T, Bilevel, Bilevel ? 32 : 8, Bilevel ? 16 : 8);
    TIFFClose(T);
    return ReadBack(Path);
}

}  // namespace

int main(int Argc, char** Argv) {
    if (Argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", Argv[0]);
        return 2;
    }
    Dir = Argv[1];
    Write("bmp_rgb24", Bmp(24));
    Write("bmp_pal8", Bmp(8));
    Write("png_rgb", Png(false));
    Write("png_iccp", Png(true));
    Write("jpeg_baseline_icc", Jpeg(jkBaseline));
    Write("jpeg_progressive", Jpeg(jkProgressive));
    Write("jpeg_cmyk", Jpeg(jkCmyk));
    Write("tiff_lzw", Tiff({false}));
    Write("tiff_g4", Tiff({true}));
    Write("tiff_two_pages", Tiff({false, true}));
    return 0;
}
