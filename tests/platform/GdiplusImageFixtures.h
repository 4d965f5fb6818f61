// Image files made in the tests of the GDI+ facade: a two-page TIFF, a grey
// PNG with or without an embedded colour profile, a linear-gamma profile, and
// loading from bytes.
#pragma once

#include <cairo.h>
#include <lcms2.h>
#include <tiffio.h>
#include <zlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/com/StreamAdapter.h"
#include "platform/files/Stream.h"
#include "platform/gdiplus/GdiPlusFlat.h"
#include "platform/gdiplus/Internal.h"
#include "tests/support/TestSupport.h"

namespace vpltest {

using namespace velmo;

inline TGPStatus Load(const std::string& Bytes, GpImage** Image, bool Icm = false) {
    TStringStream S(Bytes);
    TStreamAdapter A(S);
    return Icm ? velmo::gdiplus::GdipLoadImageFromStreamICM(&A, Image)
               : velmo::gdiplus::GdipLoadImageFromStream(&A, Image);
}

// A TIFF of two pages made with libtiff: 4×3 red, then 5×2 blue.
inline std::string TwoPageTiff(const std::filesystem::path& File) {
    TIFF* T = TIFFOpen(File.c_str(), "w");
    const struct {
        uint32_t W, H;
        uint8_t R, G, B;
    } Pages[] = {{4, 3, 255, 0, 0}, {5, 2, 0, 0, 255}};
    for (const auto& P : Pages) {
        TIFFSetField(T, TIFFTAG_IMAGEWIDTH, P.W);
        TIFFSetField(T, TIFFTAG_IMAGELENGTH, P.H);
        TIFFSetField(T, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(T, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(T, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(T, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(T, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
        TIFFSetField(T, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        std::vector<uint8_t> Line(P.W * 3);
        for (uint32_t X = 0; X < P.W; ++X) {
            Line[X * 3] = P.R;
            Line[X * 3 + 1] = P.G;
            Line[X * 3 + 2] = P.B;
        }
        for (uint32_t Y = 0; Y < P.H; ++Y) TIFFWriteScanline(T, Line.data(), Y, 0);
        TIFFWriteDirectory(T);
    }
    TIFFClose(T);
    return vpltest::ReadFile(File);
}

inline cairo_status_t AppendPng(void* Closure, const unsigned char* Data, unsigned int Length) {
    static_cast<std::string*>(Closure)->append(reinterpret_cast<const char*>(Data), Length);
    return CAIRO_STATUS_SUCCESS;
}

inline void PutBE32(std::string& S, uint32_t V) {
    for (int I = 3; I >= 0; --I) S.push_back(char(V >> (8 * I)));
}

// A 2×2 PNG of grey 128 with, when Profile is not empty, an iCCP chunk.
inline std::string GreyPng(const std::string& Profile) {
    cairo_surface_t* S = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 2, 2);
    cairo_t* C = cairo_create(S);
    cairo_set_source_rgb(C, 128 / 255.0, 128 / 255.0, 128 / 255.0);
    cairo_paint(C);
    cairo_destroy(C);
    std::string Png;
    cairo_surface_write_to_png_stream(S, AppendPng, &Png);
    cairo_surface_destroy(S);
    if (Profile.empty()) return Png;
    uLongf Size = compressBound(uLong(Profile.size()));
    std::string Packed(Size, '\0');
    compress(reinterpret_cast<Bytef*>(Packed.data()), &Size,
             reinterpret_cast<const Bytef*>(Profile.data()), uLong(Profile.size()));
    Packed.resize(Size);
    std::string Body = std::string("linear", 6) + std::string(2, '\0') + Packed;
    std::string Chunk;
    PutBE32(Chunk, uint32_t(Body.size()));
    Chunk += "iCCP" + Body;
    PutBE32(Chunk, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(Chunk.data() + 4),
                                  uInt(Chunk.size() - 4))));
    Png.insert(33, Chunk);
    return Png;
}

// An RGB profile with the sRGB primaries, a D65 white and linear curves.
inline std::string LinearProfile() {
    cmsCIExyY White = {0.3127, 0.3290, 1.0};
    cmsCIExyYTRIPLE Primaries = {{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* Linear = cmsBuildGamma(nullptr, 1.0);
    cmsToneCurve* Curves[3] = {Linear, Linear, Linear};
    cmsHPROFILE P = cmsCreateRGBProfile(&White, &Primaries, Curves);
    cmsUInt32Number Size = 0;
    cmsSaveProfileToMem(P, nullptr, &Size);
    std::string Bytes(Size, '\0');
    cmsSaveProfileToMem(P, Bytes.data(), &Size);
    cmsCloseProfile(P);
    cmsFreeToneCurve(Linear);
    return Bytes;
}

inline GpBitmap* AsBitmap(GpImage* Image) { return dynamic_cast<GpBitmap*>(Image); }

// Premultiplied ARGB of one pixel.
inline uint32_t Pixel(GpImage* Image, int X, int Y) {
    GpBitmap* B = AsBitmap(Image);
    std::vector<uint32_t> Row(size_t(B->Width));
    velmo::gdiplus::ReadRowPARGB(*B, Y, Row.data());
    return Row[size_t(X)];
}

}  // namespace vpltest
