// Small image files made in code for the image-object tests: JPEG marker
// sequences (the header scan decodes no pixels), PNG files of every colour
// type, and a structure that registers indirect objects as a document does.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/Objects.h"
#include "core/Structure.h"

namespace vpltest {

inline std::string Be16(uint32_t v) { return {char(v >> 8), char(v & 0xFF)}; }
inline std::string Be32(uint32_t v) { return Be16(v >> 16) + Be16(v & 0xFFFF); }

// A marker segment: FF, code, length (data + 2), data.
inline std::string Segment(uint8_t Code, const std::string& Data) {
    return std::string{char(0xFF), char(Code)} + Be16(uint32_t(Data.size()) + 2) + Data;
}

inline std::string JFIF(uint8_t Units, uint16_t HD, uint16_t VD) {
    return Segment(0xE0, std::string("JFIF\0", 5) + std::string{1, 2} + char(Units) + Be16(HD) +
                             Be16(VD) + std::string{0, 0});
}

// An Exif segment whose first directory holds X and Y resolutions of Res/1.
inline std::string Exif(uint32_t Res, bool Broken = false) {
    std::string tiff = "MM" + Be16(42) + Be32(Broken ? 0xFFFFFF00u : 8);
    tiff += Be16(2);
    tiff += Be16(282) + Be16(5) + Be32(1) + Be32(8 + 2 + 24 + 4);
    tiff += Be16(283) + Be16(5) + Be32(1) + Be32(8 + 2 + 24 + 4 + 8);
    tiff += Be32(0);
    tiff += Be32(Res) + Be32(1) + Be32(Res) + Be32(1);
    return Segment(0xE1, std::string("Exif\0\0", 6) + tiff);
}

inline std::string Frame(uint8_t Code, uint16_t W, uint16_t H, uint8_t Comps,
                         uint8_t Precision = 8) {
    std::string d{char(Precision)};
    d += Be16(H) + Be16(W) + char(Comps);
    for (int i = 0; i < Comps; ++i) d += std::string{char(i + 1), 0x11, 0};
    return Segment(Code, d);
}

inline std::string SOI() { return std::string{char(0xFF), char(0xD8)}; }
inline std::string EOI() { return std::string{char(0xFF), char(0xD9)}; }

// SOI, the segments, a frame, a short scan and EOI.
inline std::string Jpeg(const std::string& Before, const std::string& FrameSeg) {
    return SOI() + Before + FrameSeg + Segment(0xDA, std::string(8, '\1')) + "scan" + EOI();
}

inline std::string PngChunk(const std::string& Type, const std::string& Data) {
    std::string c = Be32(uint32_t(Data.size())) + Type + Data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(c.data() + 4), uInt(c.size() - 4));
    return c + Be32(uint32_t(crc));
}

inline std::string Deflate(const std::string& Raw) {
    uLongf n = compressBound(uLong(Raw.size()));
    std::string out(n, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(Raw.data()),
             uLong(Raw.size()));
    out.resize(n);
    return out;
}

// A PNG of the colour type and depth, W x H, with rows of filter type 0 and
// sample bytes counting upwards; palette images get a 4-colour palette.
inline std::string Png(uint8_t ColorType, uint8_t Depth, uint32_t W, uint32_t H,
                       const std::string& Extra = "") {
    const int channels = ColorType == 0 || ColorType == 3 ? 1
                         : ColorType == 2                 ? 3
                         : ColorType == 4                 ? 2
                                                          : 4;
    const size_t rowBytes = (size_t(W) * channels * Depth + 7) / 8;
    std::string raw;
    for (uint32_t y = 0; y < H; ++y) {
        raw += '\0';
        for (size_t i = 0; i < rowBytes; ++i) raw += char(ColorType == 3 ? 0 : (y * 7 + i) & 0xFF);
    }
    std::string ihdr = Be32(W) + Be32(H) + char(Depth) + char(ColorType) + std::string(3, '\0');
    std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", ihdr);
    if (ColorType == 3) png += PngChunk("PLTE", std::string("\x00\x00\x00\xff\x00\x00\x00\xff\x00\x00\x00\xff", 12));
    png += Extra;
    png += PngChunk("IDAT", Deflate(raw));
    png += PngChunk("IEND", "");
    return png;
}

// A structure that numbers new indirect objects from 1, as a document does.
struct TRegistry {
    velmo::TPDFStructure S;
    std::vector<velmo::TPDFObject*> Objects;
    TRegistry() {
        S.OnNewIndObj = [this](velmo::TObject*, velmo::TPDFObject* Obj, int32_t& ObjNum,
                               int32_t& GenNum) {
            Objects.push_back(Obj);
            ObjNum = int32_t(Objects.size());
            GenNum = 0;
            Obj->Own(ObjNum, 0);
        };
        S.OnIndObjLookup = [this](velmo::TObject*, int32_t ObjNum, int32_t,
                                  velmo::TPDFObject*& Obj) {
            Obj = ObjNum >= 1 && size_t(ObjNum) <= Objects.size() ? Objects[ObjNum - 1] : nullptr;
        };
    }
};

}  // namespace vpltest
