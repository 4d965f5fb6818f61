// A plain component raster: Width × Height pixels of Components samples of
// 1, 2, 4, 8 or 16 bits, packed row by row with no padding except at the
// end of a row. Below 8 bits samples are packed from the most significant
// bit of a byte downwards; 16-bit samples are big-endian. The raster knows
// nothing of colour: its owner knows what the components mean.
//
// Bad arguments (rows outside the image, unsupported depths, mismatched
// images) are ignored, never raised. Sizes are computed in 64 bits and a
// raster above TKPLImage::MaxSamplesBytes is refused (the 1 × 1 fall-back),
// so a hostile size cannot claim unbounded memory.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/files/Stream.h"

namespace velmo {

using TKPLImageByteArray = std::vector<uint8_t>;
using TKPLImageIntegerArray = std::vector<int32_t>;

enum TKPLImageTransformMethod { tmNearestNeighbour };

enum TKPLImageBitmapFormat { bf24BitRGB, bf24BitBGR, bf8BitGray, bf1BitGray, bf32BitRGBA };

class TKPLImage {
public:
    // Sample bytes above this are refused: the raster becomes the 1 × 1
    // fall-back (1 GiB, four bytes for each of the bitmap cap's pixels).
    static constexpr int64_t MaxSamplesBytes = int64_t(1) << 30;

    // Width, height and components above 0 and a depth of 1, 2, 4, 8 or 16
    // give that image with every sample 0; anything else a 1 × 1 image of
    // one 8-bit component holding 0.
    TKPLImage(int InitWidth, int InitHeight, int InitComponents, int InitBitsPerComponent);

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    int Stride() const { return FStride; }
    int Components() const { return FComponents; }
    int BitsPerComponent() const { return FBitsPerComponent; }

    // Stride × Height.
    int DataSizeBytes() const { return int(FImageData.size()); }
    uint8_t* GetDataPointer() { return FImageData.data(); }
    const uint8_t* GetDataPointer() const { return FImageData.data(); }
    // Start of a row (0 is the top); null outside the image.
    uint8_t* GetRowPointer(int Row);
    const uint8_t* GetRowPointer(int Row) const;
    // Copies DataSizeBytes bytes from Source.
    void SetFromPointer(const void* Source);

    // Width × Components samples of a row; empty outside the image.
    void GetRowValues(int Row, TKPLImageIntegerArray& RowValues) const;
    // Ignored unless the row exists and RowValues has Width × Components
    // entries; each value is masked to the depth.
    void SetRowValues(int Row, const TKPLImageIntegerArray& RowValues);
    // Ignored outside the image or for a value that does not fit the depth.
    void SetValue(int X, int Y, int Component, int NewValue);
    // One sample; 0 outside the image.
    int GetValue(int X, int Y, int Component) const;

    // Changes the depth: with Rescale every value is scaled to the new
    // range (rounded half to even), without it values are clamped.
    void SetBitsPerComponent(int NewBitsPerComponent, bool Rescale);
    // One-component indexes to 3 × 8-bit colours from RGB triples; an index
    // beyond the palette gives black. A palette whose length is no multiple
    // of 3 changes nothing.
    void ApplyPalette(const TKPLImageByteArray& Palette);
    // Appends the one-component image's sample to every pixel; ignored
    // unless width, height and depth agree.
    void AddComponentFromImage(const TKPLImage& NewComponentImage);
    // (2^depth − 1) − v; at 1 bit every byte is complemented, padding bits
    // included.
    void Invert();
    void FlipVertical();
    // Nearest-neighbour resampling to the new size; ignored unless both
    // sizes are above 0.
    void SetSizeScale(int NewWidth, int NewHeight, TKPLImageTransformMethod Method);
    // Rows cut or padded with zero bytes to the new stride, rows added as
    // zeros or dropped; the top-left samples stay where they were.
    void SetSizeTruncatePad(int NewWidth, int NewHeight);
    // A BMP file of the image when it fits the format (3 × 8 bits for the
    // 24-bit formats, 1 × 8 for grey, 4 × 8 for RGBA); nothing otherwise.
    void GenerateBitmap(TStream& OutStream, TKPLImageBitmapFormat BitmapFormat) const;

private:
    static bool ValidDepth(int Bits);
    // Bytes of a row, or -1 when the sizes are out of range.
    static int64_t RowBytes(int Width, int Components, int Bits);
    void Reset(int Width, int Height, int Components, int Bits);

    TKPLImageByteArray FImageData;
    int FWidth = 1;
    int FHeight = 1;
    int FStride = 1;
    int FComponents = 1;
    int FBitsPerComponent = 8;
};

}  // namespace velmo
