// The application's imaging layer for the batch image tools: BMP, PNG, JPEG
// and GIF files decoded by their content (whatever their name says), scaled
// with area averaging when shrinking and bilinear interpolation when
// enlarging, and encoded in any of the four formats with default options.
// An image saved unchanged in the format it was loaded from is written as
// the loaded bytes.
//
// Default encoder options: JPEG baseline at quality 90 (the quality most
// photo tools default to: visually lossless for photos at about a third of
// the size of quality 100), PNG 24-bit colour (32-bit sources keep their
// alpha channel), BMP 24-bit, GIF with an optimised 256-colour palette.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/gdi/Bitmap.h"

namespace velmo {

// An image that cannot be read, scaled or written.
class EImagingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TImageFormat { Unknown, BMP, PNG, JPEG, GIF };

// The format of the bytes by their signature.
TImageFormat DetectImageFormat(std::string_view Bytes);

constexpr int DefaultJPEGQuality = 90;

// Scales a pf24bit or pf32bit bitmap (others are converted to pf24bit
// first) to Width × Height. Alpha is averaged premultiplied. The scaler
// holds one intermediate image of the width of one side and the height of
// the other in floats, at most this many pixels.
constexpr int64_t MaxIntermediatePixels = int64_t(1) << 26;
// Raises EImagingError for a size below 1 or above 65,535, or beyond the
// bitmap or intermediate limits.
TBitmap ScaleBitmap(const TBitmap& Source, int Width, int Height);

class TImagingImage {
public:
    // Decodes the file by its content. Raises EImagingError (or the file's
    // error) when it cannot be read or decoded.
    void LoadFromFile(const std::u16string& FileName);
    void LoadFromBytes(std::string Bytes);

    int Width() const { return FBitmap.Width(); }
    int Height() const { return FBitmap.Height(); }
    // pf24bit, or pf32bit with straight alpha (PNG with alpha).
    const TBitmap& Bitmap() const { return FBitmap; }
    TImageFormat LoadedFormat() const { return FLoadedFormat; }
    bool Modified() const { return FModified; }

    // The format the next save writes; the loaded one after loading.
    TImageFormat SaveFormat() const { return FSaveFormat; }
    void SetSaveFormat(TImageFormat Format) { FSaveFormat = Format; }

    // Replaces the bitmap by its scaled form and marks the image changed.
    void Scale(int NewWidth, int NewHeight);

    // The encoded bytes in the save format.
    std::string Encode() const;
    // Writes the file through a temporary file that replaces it at the end,
    // so a failure leaves any file of that name as it was.
    void SaveToFile(const std::u16string& FileName) const;

private:
    TBitmap FBitmap;
    std::string FLoadedBytes;
    TImageFormat FLoadedFormat = TImageFormat::Unknown;
    TImageFormat FSaveFormat = TImageFormat::Unknown;
    bool FModified = false;
};

// The image helpers of the batch tools.

// Width and height of the image in the file.
void GetImageSize(const std::u16string& FileName, int& Width, int& Height);
// Scales the image to NewWidth × NewHeight and marks it changed. A side
// below 1 or above 65,535 raises EImagingError and leaves the image as it
// was (a wider number is never cut to 16 bits: that would distort it).
void ScaleWICImage(TImagingImage& Image, int NewWidth, int NewHeight);
// Loads Source, scales it and saves it to Dest in its own format (Dest may
// be Source: it is replaced only once the new file is complete).
void ResizeImageFile(const std::u16string& Source, const std::u16string& Dest, int NewWidth,
                     int NewHeight);
// Loads Source and saves it to Dest in the format of Dest's extension
// (".bmp", ".png", ".jpg", ".gif"; any other keeps the loaded format).
void ConvertImageFile(const std::u16string& Source, const std::u16string& Dest);
// Decodes a JPEG file and encodes it again at Quality (its low 8 bits, then
// kept within 1..100), replacing the file.
void RecompressJPEGFile(const std::u16string& FileName, int Quality);

}  // namespace velmo
