// PNG files read into the pieces a PDF image object needs (the samples as a
// Flate stream, a separate Flate alpha channel, the palette, resolution and
// ICC profile), and 24-bit bitmaps written as PNG files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/Stream.h"
#include "platform/gdi/Bitmap.h"

namespace velmo {

class TPNGReader {
public:
    // Images with more pixels than this are not decoded (their header and
    // chunks are still read): the header's sizes are not trusted.
    static constexpr uint64_t MaxPixels = uint64_t(1) << 28;

    TPNGReader() = default;

    // Opens the file for reading and parses it; every failure, a missing file
    // included, leaves the reader as far as it got.
    void LoadFromFile(const std::u16string& FileName);
    // Parses from the current position of InStream.
    void LoadFromStream(TStream& InStream);

    // "/DeviceRGB " + (PaletteSize - 1) + "<" + the palette bytes in
    // upper-case hexadecimal + ">".
    std::string MakePDFPalette() const;
    // A new bitmap of the image when ImageBitDepth is 8, else null: pf32bit
    // (B, G, R and straight alpha) when there is 8-bit alpha data, else
    // pf24bit. Grey and palette images are expanded to colour.
    std::unique_ptr<TBitmap> SaveToBitmap() const;

    uint32_t Width() const { return FWidth; }
    uint32_t Height() const { return FHeight; }
    uint32_t SourceBitDepth() const { return FSourceBitDepth; }
    uint32_t ImageBitDepth() const { return FImageBitDepth; }
    uint32_t AlphaBitDepth() const { return FAlphaBitDepth; }
    uint8_t ColorType() const { return FColorType; }
    uint8_t CompressionMethod() const { return FCompressionMethod; }
    uint8_t FilterMethod() const { return FFilterMethod; }
    uint8_t InterlaceMethod() const { return FInterlaceMethod; }
    int PaletteSize() const { return FPaletteSize; }
    const std::string& PaletteData() const { return FPaletteData; }
    // Flate stream of the colour samples (PNG-filtered when
    // EmbeddedPredictor is true).
    const std::string& ImageData() const { return FImageData; }
    // Flate stream of the alpha samples, or empty.
    const std::string& AlphaData() const { return FAlphaData; }
    uint32_t HorizontalDPI() const { return FHorizontalDPI; }
    uint32_t VerticalDPI() const { return FVerticalDPI; }
    bool EmbeddedPredictor() const { return FEmbeddedPredictor; }
    // Stream position of the PLTE data; of the tRNS chunk's length field; of
    // the first IDAT chunk's length field (0 when none).
    int64_t PalettePosition() const { return FPalettePosition; }
    int64_t TransparencyPosition() const { return FTransparencyPosition; }
    int64_t FirstDataPosition() const { return FFirstDataPosition; }
    // The zlib stream of the embedded ICC profile, or empty.
    const std::string& ICCData() const { return FICCData; }

    // Reduce 16-bit colour or alpha samples to 8 bits.
    bool DownSampleImage() const { return FDownSampleImage; }
    void SetDownSampleImage(bool V) { FDownSampleImage = V; }
    bool DownSampleAlpha() const { return FDownSampleAlpha; }
    void SetDownSampleAlpha(bool V) { FDownSampleAlpha = V; }
    // Parse the chunks only and keep no image data.
    bool SkipImageData() const { return FSkipImageData; }
    void SetSkipImageData(bool V) { FSkipImageData = V; }

private:
    void DecodeImageData();

    uint32_t FWidth = 0;
    uint32_t FHeight = 0;
    uint32_t FSourceBitDepth = 0;
    uint32_t FImageBitDepth = 0;
    uint32_t FAlphaBitDepth = 0;
    uint8_t FColorType = 0;
    uint8_t FCompressionMethod = 0;
    uint8_t FFilterMethod = 0;
    uint8_t FInterlaceMethod = 0;
    int FPaletteSize = 0;
    std::string FPaletteData;
    std::string FTransparencyData;
    std::string FSourceData;
    std::string FImageData;
    std::string FAlphaData;
    uint32_t FHorizontalDPI = 96;
    uint32_t FVerticalDPI = 96;
    bool FEmbeddedPredictor = false;
    bool FDownSampleImage = false;
    bool FDownSampleAlpha = false;
    bool FSkipImageData = false;
    int64_t FPalettePosition = 0;
    int64_t FTransparencyPosition = 0;
    int64_t FFirstDataPosition = 0;
    std::string FICCData;
};

class TPNGWriter {
public:
    // Writes FromBitmap itself when it is pf24bit (it must outlive the
    // writer), otherwise an own copy converted to 24 bits.
    explicit TPNGWriter(const TBitmap& FromBitmap);

    // Pixels per inch written as pHYs; 0 means 96.
    void SetDPI(int DPI) { FDPI = DPI; }
    // Writes a tRNS chunk making this colour ($00BBGGRR) transparent.
    void SetTransparencyColor(TColor Color);
    // Embeds the ICC profile (kept compressed).
    void AddColorProfile(std::string_view ProfileData);
    // Alpha from the blue byte of each pixel of a 24-bit copy of Mask (255
    // minus it with Reverse); a null or empty Mask adds nothing. The mask may
    // have another size than the bitmap: it is sampled so that the corners
    // match.
    void SetAlphaChannel(const TBitmap* Mask, bool Reverse);

    // Raises the stream's errors.
    void SaveToStream(TStream& Stream);
    // Writes the file through a temporary file that replaces it at the end.
    void SaveToFile(const std::u16string& FileName);

private:
    int FDPI = 0;
    const TBitmap* FBitmap = nullptr;
    std::unique_ptr<TBitmap> FOwnedBitmap;
    bool FHasMask = false;
    std::vector<std::string> FMask;  // one byte per mask pixel, row by row
    bool FHasTransparencyColor = false;
    TColor FTransparencyColor = 0;
    std::string FCompressedColorProfileData;
};

}  // namespace velmo
