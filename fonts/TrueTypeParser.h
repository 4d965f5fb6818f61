// Reader of sfnt font files: TrueType with glyf outlines, TrueType
// collections and OpenType files with a "CFF " table.
//
// The parser works in place over one shared, immutable byte buffer. Every
// table is read at load except glyf, whose glyphs are decoded through loca
// when asked for; after the load nothing in the parser changes, so one parsed
// font can serve several readers. Every read is bounded by its table and by
// the data: a read past either end gives zeros and ends that table.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/fonts/PlatformFonts.h"

namespace velmo {

struct TPDFTTttcfTable {
    uint32_t tag = 0;
    double version = 0;
    uint32_t numFonts = 0;
    std::vector<uint32_t> offsets;
    uint32_t ulDsigTag = 0;
    uint32_t ulDsigLength = 0;
    uint32_t ulDsigOffset = 0;
};

struct TPDFTTOffsetTable {
    double snftVersion = 0;
    uint16_t numTables = 0;
    uint16_t searchRange = 0;
    uint16_t entrySelector = 0;
    uint16_t rangeShift = 0;
};

struct TPDFTTDirectoryEntry {
    uint32_t tag = 0;
    std::string tagName;  // the four tag bytes, first byte first
    uint32_t checkSum = 0;
    uint32_t offset = 0;  // offset in the data: the file offset minus TableOffset
    uint32_t length = 0;
    int64_t readPosition = 0;  // where this entry's offset field lies in the data
};

struct TPDFTTheadTable {
    double version = 0;
    double fontRevision = 0;
    uint16_t flags = 0;
    uint16_t unitsPerEm = 0;
    uint32_t created = 0;              // low half of the 64-bit date
    uint32_t modified = 0;             // low half of the 64-bit date
    int32_t Bounds[4] = {0, 0, 0, 0};  // xMin, yMin, xMax, yMax in font units
    uint16_t macStyle = 0;
    int32_t indexToLocFormat = 0;
    int32_t glyphDataFormat = 0;
};

struct TPDFTTmaxpTable {
    double version = 0;
    uint32_t numGlyphs = 0;
};

struct TPDFTTPoint {
    int32_t X = 0;
    int32_t Y = 0;
};

struct TPDFTTComposite {
    int32_t flags = 0;
    int32_t glyphIndex = 0;
    int32_t argument1 = 0;
    int32_t argument2 = 0;
    double xscale = 1.0;
    double yscale = 1.0;
    double scale01 = 0;
    double scale10 = 0;
};

// A composite glyph has numberOfContours 0 and components; an empty glyph
// has numberOfContours 0 and none.
struct TPDFTTglyfTable {
    int32_t numberOfContours = 0;
    int32_t xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    std::vector<uint16_t> endPtsOfContours;
    std::vector<TPDFTTPoint> Points;
    std::vector<uint8_t> Flags;  // one per point; bit 0 set: on the curve
    std::vector<TPDFTTComposite> Composites;
};

struct TPDFTTpostTable {
    double version = 0;
    double italicAngle = 0;
    int32_t underlinePosition = 0;
    int32_t underlineThickness = 0;
    uint32_t isFixedPitch = 0;
    std::vector<std::string> GlyphNames;  // one per glyph index
};

// One cmap subtable as parallel arrays: code Codes[k] maps to glyph
// GlyfID[k]. Each code appears once, with the first glyph the subtable gave
// it; entries keep the subtable's order.
struct TPDFTTEncodingRecord {
    uint16_t platformID = 0;
    uint16_t encodingID = 0;
    uint32_t offset = 0;  // from the start of the cmap table
    uint16_t language = 0;
    uint16_t format = 0;
    std::vector<uint16_t> Codes;
    std::vector<uint16_t> GlyfID;

    // The glyph of Code, -1 when the subtable lacks it.
    int32_t GlyphOfCode(uint32_t Code) const;
    // The glyph of the first entry whose code's low byte is LowByte, -1 when
    // none (or LowByte is not a byte).
    int32_t GlyphOfLowByte(int64_t LowByte) const;

    // Filled by the parser: (code, glyph) sorted by code, and per low byte
    // the position of its first entry (-1 when none).
    std::vector<std::pair<uint16_t, uint16_t>> ByCode;
    std::array<int32_t, 256> FirstByLowByte{};
};

struct TPDFTTcmapTable {
    uint16_t version = 0;
    uint16_t numTables = 0;
    std::vector<TPDFTTEncodingRecord> encodingRecords;
};

// Metrics in thousandths of an em, except the caret fields.
struct TPDFTThheaTable {
    int32_t Ascender = 0, Descender = 0, LineGap = 0, advanceWidthMax = 0;
    int32_t minLeftSideBearing = 0, minRightSideBearing = 0, xMaxExtent = 0;
    int32_t caretSlopeRise = 0, caretSlopeRun = 0, caretOffset = 0;
    int32_t numberOfHMetrics = 0;
};

struct TPDFTThmtxTable {
    std::vector<uint16_t> Widths;  // advance widths in thousandths of an em
};

struct TPDFTTNameRecord {
    uint16_t platformID = 0, encodingID = 0, languageID = 0, nameID = 0, length = 0, offset = 0;
};

// The 258 glyph names of the standard Macintosh glyph order.
extern const std::array<const char*, 258> kMacGlyphNames;

class TPDFTrueTypeParser {
public:
    TPDFTrueTypeParser() = default;

    // Reads only the headers and the table directory when set (and leaves it
    // set); LoadTables sets it.
    bool OnlyTables = false;
    // For the data of one face cut out of a collection: the collection's
    // size minus the size of the data held. Subtracted from every table
    // offset of the directory.
    uint32_t TableOffset = 0;

    // Parses Data (kept shared, never changed). In a collection, face
    // FaceIndex is read (0: the first); a face the collection lacks leaves
    // the parser empty.
    void LoadFromBuffer(std::shared_ptr<const std::string> Data, uint32_t FaceIndex = 0);
    void LoadFromString(std::string Source, uint32_t FaceIndex = 0);
    void LoadTablesFromBuffer(std::shared_ptr<const std::string> Data);

    const std::shared_ptr<const std::string>& Data() const { return FData; }
    const TPDFTTttcfTable& ttcfTable() const { return FttcfTable; }
    const TPDFTTOffsetTable& OffsetTable() const { return FOffsetTable; }
    const std::vector<TPDFTTDirectoryEntry>& TableDirectory() const { return FTableDirectory; }
    const TPDFTTmaxpTable& maxpTable() const { return FmaxpTable; }
    const TPDFTTpostTable& postTable() const { return FpostTable; }
    const TPDFTTcmapTable& cmapTable() const { return FcmapTable; }
    const TPDFTThheaTable& hheaTable() const { return FhheaTable; }
    const TPDFTThmtxTable& hmtxTable() const { return FhmtxTable; }
    const std::vector<uint32_t>& GlyphOffsets() const { return FGlyphOffsets; }

    // Index of the first directory entry with this tag, -1 when none.
    int32_t FindTable(std::string_view TagName) const;
    // Index of the last encoding record with both IDs, -1 when none.
    int32_t Findcmap(uint16_t PlatformID, uint16_t EncodingID) const;
    // Index of the last encoding record of platform 0, -1 when none.
    int32_t FindUnicodecmap() const;
    // The record; out of range, an empty record with IDs 0.
    const TPDFTTEncodingRecord& Getcmap(int32_t Index) const;
    // Glyph Index decoded from glyf; out of range, an empty glyph.
    TPDFTTglyfTable GetGlyphData(int32_t Index) const;
    // The same into Glyph, whose arrays are reused: a caller decoding many
    // glyphs allocates only when one is larger than any before.
    void GetGlyphData(int32_t Index, TPDFTTglyfTable& Glyph) const;
    const TPDFTTheadTable& GetHeadTable() const { return FheadTable; }
    // Sets the font box (head, font units) and the ascent and descent (hhea,
    // thousandths of an em) of Metrics; its other fields stay as they are.
    void ReadMetrics(platform::OUTLINETEXTMETRICW& Metrics) const {
        Metrics.otmrcFontBox.left = FheadTable.Bounds[0];
        Metrics.otmrcFontBox.bottom = FheadTable.Bounds[1];
        Metrics.otmrcFontBox.right = FheadTable.Bounds[2];
        Metrics.otmrcFontBox.top = FheadTable.Bounds[3];
        Metrics.otmAscent = FhheaTable.Ascender;
        Metrics.otmDescent = FhheaTable.Descender;
    }
    // unitsPerEm as every scaling uses it: 0 counts as 1000.
    uint32_t ScalingUnitsPerEm() const;
    int32_t GlyphCount() const;
    // Advance in thousandths of an em; the last width beyond them; 750 for
    // a negative index or when there are none.
    int32_t GetWidth(int32_t Index) const;
    int32_t PostCount() const { return static_cast<int32_t>(FpostTable.GlyphNames.size()); }
    // Index of the last glyph whose post name is CharName, -1 when none.
    int32_t HasPostName(std::string_view CharName) const;

    // Reads the full name (name id 4 of platform 1, encoding 0; the last
    // such record) from the name table into FontName; unchanged without one.
    void ReadNameTable();
    const std::u16string& FontName() const { return FFontName; }
    void SetFontName(std::u16string Name) { FFontName = std::move(Name); }

    // The "CFF " table's bytes (empty when none) and its offset (0 when none).
    std::string GetCFFData() const;
    uint32_t GetCFFDataPosition() const;

    // Rewrites the table directory inside Source so that every table offset
    // becomes its value minus Offset. Parses Source with OnlyTables set.
    void ShiftTableOffsets(std::string& Source, uint32_t Offset);

private:
    void Clear();
    void Load(uint32_t FaceIndex);
    std::string_view TableData(int32_t Index) const;
    void ReadHead(std::string_view T);
    void ReadMaxp(std::string_view T);
    void ReadLoca(std::string_view T);
    void ReadPost(std::string_view T);
    void ReadCmap(std::string_view T);
    void ReadHhea(std::string_view T);
    void ReadHmtx(std::string_view T);

    std::shared_ptr<const std::string> FData;
    TPDFTTttcfTable FttcfTable;
    TPDFTTOffsetTable FOffsetTable;
    std::vector<TPDFTTDirectoryEntry> FTableDirectory;
    TPDFTTmaxpTable FmaxpTable;
    TPDFTTheadTable FheadTable;
    std::vector<uint32_t> FGlyphOffsets;
    std::string_view FGlyf;  // the glyf table inside FData
    bool FHasGlyf = false;
    TPDFTTpostTable FpostTable;
    struct TNameHash {
        using is_transparent = void;
        size_t operator()(std::string_view S) const { return std::hash<std::string_view>{}(S); }
    };
    // post name -> last glyph with that name
    std::unordered_map<std::string, int32_t, TNameHash, std::equal_to<>> FPostIndex;
    TPDFTTcmapTable FcmapTable;
    TPDFTThheaTable FhheaTable;
    TPDFTThmtxTable FhmtxTable;
    std::u16string FFontName;
};

}  // namespace velmo
