// Reads TIFF files for image import: the IFD chain and the tags an importer
// needs, each page's strips (or tiles) as stored, and the decoding of
// uncompressed and LZW pages into a bitmap. Parsing runs over the loaded
// bytes in place; CCITT, JPEG, Deflate and PackBits data are left to others.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/TIFFTypes.h"
#include "platform/files/Stream.h"
#include "platform/gdi/Bitmap.h"

namespace velmo {

enum TTIFFPhotometricInterpretation {
    piWhiteIsZero,
    piBlackIsZero,
    piRGB,
    piRGBPalette,
    piTransparencyMask,
    piCMYK,
    piYCbCr,
    piCIELab
};

enum TTIFFPlanarConfiguration { pcChunky, pcPlanar };

struct TTIFFPage {
    int32_t Width = 0;
    int32_t Height = 0;
    TTIFFCompression Compression = ttUnknown;
    TTIFFPhotometricInterpretation PhotometricInterpretation = piWhiteIsZero;
    int32_t XRes = 0;  // dots per inch, rounded
    int32_t YRes = 0;
    int32_t RowsPerStrip = 0;
    bool Reversed = false;  // photometric value 1
    int32_t BitsPerSample = 0;
    int32_t SamplesPerPixel = 1;
    int32_t ExtraSamples = 0;
    int32_t Predictor = 1;
    int32_t FillOrder = 0;
    bool StripsAreTiles = false;
    int32_t ColumnsPerTile = 0;
    int32_t RowsPerTile = 0;
    std::vector<std::string> Strips;  // the bytes of each strip or tile
    bool EncodedByteAlign = false;
    std::vector<int32_t> PaletteValues;  // the ColorMap values
    TTIFFPlanarConfiguration PlanarConfiguration = pcChunky;
};

class TPDFTIFF {
public:
    TPDFTIFF();
    // An object holding that one page: valid, one page, no decoding done.
    explicit TPDFTIFF(const TTIFFPage& Page);
    ~TPDFTIFF();

    // ReqPageNo counts from 0 and parses only that IFD (the first when the
    // chain is shorter); -1 parses every IFD.
    void LoadFromString(std::string_view Source, int32_t ReqPageNo);
    // Rewinds InStream and reads all of it.
    void LoadFromStream(TStream& InStream, int32_t ReqPageNo);
    // All pages of a file.
    void LoadFromFile(const std::u16string& FileName);

    // Copies page Index (1-based); false, Page untouched, outside the pages.
    bool GetPage(int32_t Index, TTIFFPage& Page) const;
    // Uncompressed and LZW pages decoded into Bitmap(); pages that do not
    // fit a bitmap format, or would need a bitmap above 128 MB, leave it
    // alone.
    void SimpleExtract(int32_t Page);
    void CompDecode(int32_t Page);
    // The raw 4 bytes of the page's IFD pointer, empty outside the pages.
    std::string GetIFDPointer(int32_t Page) const;

    // Page 1 as a little-endian Group 4 TIFF of one strip.
    void SaveToStream(TStream& OutStream) const;
    std::string SaveToString() const;

    bool ValidTIFF() const { return FValidTIFF; }
    uint16_t PageCount() const { return FPageCount; }
    TBitmap& Bitmap();
    int32_t FirstIFDPosition() const { return 4; }
    bool HasJPEGTags() const { return FHasJPEGTags; }

private:
    bool FValidTIFF = false;
    uint16_t FPageCount = 0;
    std::vector<TTIFFPage> FPages;
    std::unique_ptr<TBitmap> FBitmap;
    std::vector<std::string> FIFDPointers;
    bool FHasJPEGTags = false;
};

}  // namespace velmo
