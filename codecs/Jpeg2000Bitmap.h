// A platform bitmap that loads itself from JPEG 2000 data (a JP2 file or a
// raw codestream) and saves itself as a JP2 file, on OpenJPEG.
//
// Loading maps each decoded component to one byte of the pixel (blue, green,
// red, fourth byte) by its channel type; 3 components give 24 bits per pixel,
// 4 give 32 (the fourth byte alpha unless SetCMYK(true)), any other count 8
// bits with a grey palette from the first component. Samples of other
// precisions are scaled to 0..255, subsampled components are repeated over
// their cells and sYCC images are converted to RGB.
//
// Untrusted data: the header's size, component count and subsampling are
// checked against the pixel cap before the codec decodes anything. Data the
// codec cannot decode leaves a 1 × 1 black grey-palette bitmap and Failed()
// reports true, so callers can tell it from a real one-pixel image.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/files/Stream.h"
#include "platform/gdi/Bitmap.h"
#include "platform/gdi/Graphics.h"

namespace velmo {

class EJpeg2000Error : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};

class TJpeg2000Bitmap : public TBitmap {
public:
    TJpeg2000Bitmap();

    // Decodes from the stream's position; afterwards the stream stands just
    // after the JPEG 2000 data (the end of the jp2c box or the EOC marker).
    // Raises EJpeg2000Error ("Unknown JPEG 2000 file type") for other data.
    void LoadFromStream(TStream& Stream);
    // The same over bytes held by the caller; returns the bytes consumed.
    size_t LoadFromBytes(std::string_view Bytes);
    // Encodes the bitmap as a JP2 file at the stream's position.
    void SaveToStream(TStream& Stream) const;

    void SetCMYK(bool UseCMYK) { FUseCMYK = UseCMYK; }
    bool LosslessCompression() const { return FLossless; }
    void SetLosslessCompression(bool Value) { FLossless = Value; }
    int CompressionQuality() const { return FQuality; }
    // Clamped into 1..100.
    void SetCompressionQuality(int Value);

    // True when the last load found data the codec could not decode (the
    // bitmap is then the 1 × 1 placeholder).
    bool Failed() const { return FFailed; }
    // The fourth byte of a 32-bit result is alpha.
    bool HasAlpha() const { return FAlpha; }
    // Channel type of each component of the last load (0 unspecified, 1..3
    // red, green, blue, 4 grey or luminance, 5, 6 chroma, 7 opacity).
    const std::vector<int>& ChannelTypes() const { return FChannelTypes; }

    // Largest width × height accepted from a header (at most
    // TBitmap::MaxPixels); also bounds the samples the codec may allocate.
    void SetPixelCap(int64_t Cap);
    int64_t PixelCap() const { return FPixelCap; }

    // The rate of the single quality layer for a bitmap of Width × Height
    // and Components (3 or 4): 0 for lossless, else the compression ratio.
    static float TargetRate(int Width, int Height, int Components, int Quality, bool Lossless);
    // Number of bytes a JP2 file or codestream at the start of Bytes spans
    // by its boxes or markers; Bytes.size() when the walk cannot tell.
    static size_t JPEG2000Length(std::string_view Bytes);

private:
    void MakePlaceholder();

    bool FLossless = false;
    int FQuality = 80;
    bool FUseCMYK = false;
    bool FFailed = false;
    bool FAlpha = false;
    int64_t FPixelCap = TBitmap::MaxPixels;
    std::vector<int> FChannelTypes;
};

// Registers the "jp2", "j2k" and "jpc" picture formats ("JPEG 2000 Image").
// Done once when the codecs library is loaded; calling again is harmless.
void RegisterJpeg2000Formats();
void UnregisterJpeg2000Formats();

}  // namespace velmo
