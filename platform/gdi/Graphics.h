// Basic graphics types of the platform layer: colours, palette entries,
// pixel formats and the errors of the graphics classes.
#pragma once

#include <cstdint>
#include <stdexcept>

namespace velmo {

// A colour as $00BBGGRR: red in the low byte. Negative values are reserved
// for system colours.
using TColor = int32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;

constexpr TColor RGB(uint8_t R, uint8_t G, uint8_t B) {
    return TColor(uint32_t(R) | (uint32_t(G) << 8) | (uint32_t(B) << 16));
}
constexpr uint8_t GetRValue(TColor C) { return uint8_t(C & 0xFF); }
constexpr uint8_t GetGValue(TColor C) { return uint8_t((C >> 8) & 0xFF); }
constexpr uint8_t GetBValue(TColor C) { return uint8_t((C >> 16) & 0xFF); }

// One palette entry, in the byte order of a BMP colour table.
struct TRGBQuad {
    uint8_t rgbBlue = 0;
    uint8_t rgbGreen = 0;
    uint8_t rgbRed = 0;
    uint8_t rgbReserved = 0;
    friend bool operator==(const TRGBQuad&, const TRGBQuad&) = default;
};

constexpr TRGBQuad RGBQuad(uint8_t R, uint8_t G, uint8_t B) { return TRGBQuad{B, G, R, 0}; }

// Pixel formats of a bitmap. pf24bit rows hold B, G, R per pixel; pf32bit
// rows B, G, R, A; the palette formats hold indices, the leftmost pixel in
// the high bits of a byte.
enum TPixelFormat { pf1bit, pf4bit, pf8bit, pf24bit, pf32bit };

// Bits per pixel of a format.
constexpr int BitsPerPixel(TPixelFormat F) {
    switch (F) {
        case pf1bit:
            return 1;
        case pf4bit:
            return 4;
        case pf8bit:
            return 8;
        case pf24bit:
            return 24;
        case pf32bit:
            return 32;
    }
    return 24;
}

// Handles of the device-context calls (DC.h): opaque values naming a live
// device context or drawing object.
struct HDC__;
struct HGDIOBJ__;
using HDC = HDC__*;
using HGDIOBJ = HGDIOBJ__*;

using LONG = int32_t;

// A rectangle of device pixels: left .. right − 1 by top .. bottom − 1.
struct RECT {
    LONG left = 0;
    LONG top = 0;
    LONG right = 0;
    LONG bottom = 0;
};

struct POINT {
    LONG x = 0;
    LONG y = 0;
};

// Data that is no valid image of the expected kind.
class EInvalidGraphic : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// An image too large to be held.
class EOutOfResources : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace velmo
