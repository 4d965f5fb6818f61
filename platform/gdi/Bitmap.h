// The platform bitmap: a device-independent bitmap of 1, 4, 8, 24 or 32 bits
// per pixel with an optional palette, row access, reading and writing of BMP
// files, and a canvas that is locked while the bitmap is in use.
//
// Memory layout: rows are kept top row first, each padded to a multiple of
// four bytes (BytesPerScanLine); ScanLine(0) is the top row. pf24bit pixels
// are B, G, R; pf32bit pixels B, G, R, A (the fourth byte is whatever was
// stored: alpha where a reader fills it, not premultiplied). Palette formats
// hold indices into Palette(), the leftmost pixel in the high bits.
//
// New or added pixels are zero bytes (black, or palette index 0). The size
// is capped (MaxPixels) so that a hostile header cannot claim unbounded
// memory; a larger size raises EOutOfResources.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/files/Stream.h"
#include "platform/gdi/Canvas.h"
#include "platform/gdi/Graphics.h"

namespace velmo {

class TBitmap {
public:
    // Width × height above this is refused.
    static constexpr int64_t MaxPixels = int64_t(1) << 28;

    // An empty pf24bit bitmap.
    TBitmap();
    TBitmap(int Width, int Height, TPixelFormat Format = pf24bit);
    TBitmap(const TBitmap& Other);
    TBitmap& operator=(const TBitmap& Other);
    // Moving takes the pixels and palette without copying them; the source
    // is left an empty bitmap of its format. Canvases and handles stay with
    // their own objects.
    TBitmap(TBitmap&& Other);
    TBitmap& operator=(TBitmap&& Other);
    ~TBitmap();

    // Copies size, format, palette and pixels (not the canvas state).
    void Assign(const TBitmap& Source);

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    bool Empty() const { return FWidth == 0 || FHeight == 0; }
    void SetWidth(int Width) { SetSize(Width, FHeight); }
    void SetHeight(int Height) { SetSize(FWidth, Height); }
    // Keeps the pixels of the overlapping top-left area; negative sizes
    // count as 0.
    void SetSize(int Width, int Height);

    TPixelFormat PixelFormat() const { return FPixelFormat; }
    // Converts the pixels to the new format. Into a palette format, colours
    // map to the nearest entry of that format's default palette, unless the
    // bitmap already has a palette that fits, which is kept.
    void SetPixelFormat(TPixelFormat Format);
    int BitsPerPixel() const { return velmo::BitsPerPixel(FPixelFormat); }

    // Bytes of one row, padded to a multiple of 4.
    size_t BytesPerScanLine() const { return FStride; }
    // The bytes of a row (0 is the top); null outside 0 .. Height - 1.
    uint8_t* ScanLine(int Row);
    const uint8_t* ScanLine(int Row) const;

    // The colour table of a palette format (at most 2^bits entries); empty
    // for 24 and 32 bits.
    const std::vector<TRGBQuad>& Palette() const { return FPalette; }
    // Replaces the colour table (cut to 2^bits entries); indices stay.
    void SetPalette(std::vector<TRGBQuad> Palette);
    // The default colour table of a palette format: black and white; the 16
    // standard colours; or a 6×6×6 colour cube followed by 24 greys and
    // black (8 bits).
    static std::vector<TRGBQuad> DefaultPalette(TPixelFormat Format);

    // Colour of a pixel ($00BBGGRR); -1 outside the bitmap. An index beyond
    // the palette reads as black.
    TColor GetPixel(int X, int Y) const;
    // Sets a pixel (palette formats: the nearest entry); ignored outside.
    void SetPixel(int X, int Y, TColor Color);
    // Palette index of a pixel of a palette format, else 0.
    uint8_t GetPixelIndex(int X, int Y) const;

    // BMP files. Reading accepts the 12-byte core header and the 40-, 52-,
    // 56-, 64-, 108- and 124-byte info headers; 1, 4, 8, 16, 24 and 32 bits;
    // uncompressed, RLE8, RLE4 and bit-field data; rows bottom-up or
    // top-down. 16-bit files become pf24bit; 32-bit bit fields fill the
    // fourth byte from the alpha mask (0 without one). Invalid data raises
    // EInvalidGraphic and leaves the bitmap unchanged. Writing produces an
    // uncompressed bottom-up file with a 40-byte header.
    void LoadFromStream(TStream& Stream);
    void SaveToStream(TStream& Stream) const;
    void LoadFromFile(const std::u16string& FileName);
    void SaveToFile(const std::u16string& FileName) const;

    TCanvas& Canvas() { return *FCanvas; }
    // A bitmap object (DC.h) whose pixels are this bitmap's, made on first
    // use and freed with the bitmap.
    HGDIOBJ Handle();

private:
    void Allocate(int Width, int Height, TPixelFormat Format);
    // Moves Source's image into this bitmap (the canvas stays).
    void TakeFrom(TBitmap& Source);
    uint8_t NearestIndex(uint8_t R, uint8_t G, uint8_t B) const;

    int FWidth = 0;
    int FHeight = 0;
    TPixelFormat FPixelFormat = pf24bit;
    size_t FStride = 0;
    std::vector<uint8_t> FPixels;
    std::vector<TRGBQuad> FPalette;
    std::unique_ptr<TCanvas> FCanvas;
    HGDIOBJ FHandle = nullptr;
};

}  // namespace velmo
