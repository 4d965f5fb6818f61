// Record enumeration and validation of EMF, WMF and EMF+ data. Every
// record's size, count and offset is checked against the bytes that are
// really there before a record is handed out, so a damaged or hostile file
// ends the enumeration with an error instead of a read out of bounds.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmo::metafile {

enum class TMetafileKind { Unknown, Emf, EmfPlus, Wmf };

struct TEmfRecord {
    uint32_t Type = 0;
    size_t Offset = 0;       // from the start of the file
    std::string_view Bytes;  // the whole record, header included
};

// The placement and pixels of an EMR_STRETCHDIBITS or EMR_ALPHABLEND
// record: destination rectangle, and premultiplied ARGB words (rows top
// first) of the bitmap it carries.
struct TEmfImage {
    int32_t X = 0, Y = 0, Width = 0, Height = 0;
    int PixelsWide = 0, PixelsHigh = 0;
    std::vector<uint32_t> Pixels;
};
// False when the record is short, its bitmap lies outside it, or the bitmap
// is of a kind this layer does not decode.
bool ReadEmfImage(const TEmfRecord& R, TEmfImage& Out);

struct TWmfRecord {
    uint16_t Function = 0;
    size_t Offset = 0;
    std::string_view Bytes;   // the whole record
    std::string_view Params;  // after the 6-byte record header
};

struct TEmfPlusRecord {
    uint16_t Type = 0;
    uint16_t Flags = 0;
    std::string_view Data;  // DataSize bytes after the 12-byte header
};

// Visit returns false to stop. False with Error when the data is malformed
// (records seen before the fault were visited).
bool EnumerateEmf(std::string_view Data, const std::function<bool(const TEmfRecord&)>& Visit,
                  std::string* Error = nullptr);
// Plain or placeable WMF.
bool EnumerateWmf(std::string_view Data, const std::function<bool(const TWmfRecord&)>& Visit,
                  std::string* Error = nullptr);
// The EMF+ records in the comment records of an EMF.
bool EnumerateEmfPlus(std::string_view Emf,
                      const std::function<bool(const TEmfPlusRecord&)>& Visit,
                      std::string* Error = nullptr);

// What the bytes are: an EMF whose comments hold EMF+ records counts as
// EmfPlus.
TMetafileKind DetectMetafile(std::string_view Data);

// Full structural checks of a file: header fields against the data (sizes,
// record count, handle count, checksum), every record's size and the
// counts and offsets inside it, object handles used only while they exist,
// paths opened and closed in pairs, and the end record last. EMF+ data must
// also hold a well-formed EMF+ record stream (header first, end last,
// objects defined before use). False with the reason otherwise.
bool ValidateEmf(std::string_view Data, std::string* Error = nullptr);
bool ValidateWmf(std::string_view Data, std::string* Error = nullptr);
bool ValidateEmfPlus(std::string_view Data, std::string* Error = nullptr);
bool ValidateMetafile(std::string_view Data, std::string* Error = nullptr);

// Header facts of a metafile: EMF bounds and frame, the EMF+ header's
// dual flag, the placeable WMF box and units per inch.
struct TMetafileInfo {
    TMetafileKind Kind = TMetafileKind::Unknown;
    int32_t Bounds[4] = {0, 0, 0, 0};  // EMF device bounds, inclusive
    int32_t Frame[4] = {0, 0, 0, 0};   // EMF, 0.01 mm, inclusive
    bool EmfPlusDual = false;
    int32_t EmfPlusDpiX = 0, EmfPlusDpiY = 0;
    int16_t WmfBox[4] = {0, 0, 0, 0};
    uint16_t WmfInch = 0;
    int WidthPixels = 0, HeightPixels = 0;  // the picture's size at 96 DPI
};
bool ReadMetafileInfo(std::string_view Data, TMetafileInfo& Info);

}  // namespace velmo::metafile
