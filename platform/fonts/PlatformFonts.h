// Installed fonts behind the font objects of device contexts: a font's
// attributes resolved by fontconfig to a TrueType or OpenType file and face,
// the font-data call over the mapped file, outline text metrics, and glyph
// outlines in the native record format, read through FreeType.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/gdi/DC.h"

namespace velmo::platform {

// The font a device context holds: family (UTF-8), style, character set and
// em height in pixels.
struct TPlatformFont {
    std::string Family;
    bool Bold = false;
    bool Italic = false;
    int CharSet = 1;  // DEFAULT_CHARSET
    int Size = 16;
};

// The installed font fontconfig chose. The synthetic flags are set when the
// style asked for is not the face's own (a regular face standing for bold,
// an upright one for italic).
struct TResolvedFont {
    std::string File;
    int FaceIndex = 0;
    bool SyntheticBold = false;
    bool SyntheticOblique = false;
};

// Resolves Font by family, weight, slant and the character set's language to
// the best TrueType or OpenType face (Type 1 and bitmap files are passed
// over: they have no font data to give). False when none is installed or
// fontconfig cannot be initialised.
bool ResolvePlatformFont(const TPlatformFont& Font, TResolvedFont& Out);

// The first face of fontconfig's sorted list for Font that holds CodePoint
// (the face a character missing in Font's own face is drawn with). Not
// cached: callers keep what they found. False when no installed face has it.
bool ResolvePlatformFontFor(const TPlatformFont& Font, char32_t CodePoint, TResolvedFont& Out);

// The font selected into Dc as a record; false when Dc holds none.
bool GetDCFont(HDC Dc, TPlatformFont& Out);

// The bytes of an installed font file, mapped once per process for each
// (file, size, modification time) and shared; nullptr when the file cannot
// be opened, is empty or is 2 GiB or more.
struct TMappedFontFile {
    const uint8_t* Data = nullptr;
    size_t Size = 0;
    ~TMappedFontFile();
};
std::shared_ptr<const TMappedFontFile> MapFontFile(const std::string& File);

// The face's own data: the file from the face's table directory to its end,
// built once per process for each (file, face index, size, modification
// time) and shared by every user; nullptr when the file is not an sfnt
// font or collection or has no such face.
std::shared_ptr<const std::string> GetFaceData(const std::string& File, int FaceIndex);

constexpr uint32_t GDI_ERROR = 0xFFFFFFFF;
// The tag of a font collection, as the font-data call takes tags: the four
// characters in file order read as a little-endian number.
constexpr uint32_t FontTag(const char (&T)[5]) {
    return uint32_t(uint8_t(T[0])) | uint32_t(uint8_t(T[1])) << 8 | uint32_t(uint8_t(T[2])) << 16 |
           uint32_t(uint8_t(T[3])) << 24;
}
constexpr uint32_t TTCF_TAG = FontTag("ttcf");

// Font data of the font selected into Dc. Table 0: the face's data (see
// GetFaceData); TTCF_TAG: the whole collection file when the face comes from
// one, else GDI_ERROR; any other tag: that table of the face. Copies up to
// Size bytes from Offset into Buffer and returns the count; with a null
// Buffer or a Size of 0 returns the bytes available from Offset. GDI_ERROR
// for a DC without an installed font, a missing table or an Offset beyond
// the data.
uint32_t GetFontData(HDC Dc, uint32_t Table, uint32_t Offset, void* Buffer, uint32_t Size);

// The outline text metrics fields the font code reads.
struct OUTLINETEXTMETRICW {
    int32_t tmHeight = 0, tmAscent = 0, tmDescent = 0;
    int32_t tmInternalLeading = 0, tmExternalLeading = 0;
    int32_t tmAveCharWidth = 0, tmMaxCharWidth = 0;
    uint8_t tmPitchAndFamily = 0, tmCharSet = 0;
    RECT otmrcFontBox;
    int32_t otmAscent = 0, otmDescent = 0;
    int32_t otmItalicAngle = 0;  // tenths of a degree
    uint32_t otmEMSquare = 0;
};

// Glyph-outline records, in the native TrueType layout: per contour a
// header {cb (bytes of the contour, header included), type 24, start point}
// then records {type, count, points}, points as 16.16 fixed values.
// TT_PRIM_CSPLINE records hold cubic segments of CFF faces, three points
// each (two controls and the end).
constexpr uint32_t TT_POLYGON_TYPE = 24;
constexpr uint16_t TT_PRIM_LINE = 1;
constexpr uint16_t TT_PRIM_QSPLINE = 2;
constexpr uint16_t TT_PRIM_CSPLINE = 3;
constexpr uint32_t GGO_NATIVE = 2;
constexpr uint32_t GGO_GLYPH_INDEX = 0x80;

struct GLYPHMETRICS {
    uint32_t gmBlackBoxX = 0, gmBlackBoxY = 0;
    POINT gmptGlyphOrigin;
    int16_t gmCellIncX = 0, gmCellIncY = 0;
};

// The outline of character Char (a UTF-16 unit; with GGO_GLYPH_INDEX a glyph
// index) of the font selected into Dc, unhinted, at the font's em height in
// pixels, y growing upwards, without a transform. Symbol fonts also find
// 0xF000 + Char. Format must be GGO_NATIVE. Returns the byte count of the
// records (with a null Buffer or a Size of 0 only the count), 0 for a glyph
// without contours, GDI_ERROR on failure or when Size is too small. Metrics
// receives the advance in pixels.
uint32_t GetGlyphOutlineW(HDC Dc, uint32_t Char, uint32_t Format, GLYPHMETRICS* Metrics,
                          uint32_t Size, void* Buffer);

// One FreeType face of an installed font, for outlines at the font's em
// height. Used by one thread at a time.
class TOutlineFace {
public:
    // Nullptr when the font resolves to no file FreeType can open.
    static std::unique_ptr<TOutlineFace> Open(const TPlatformFont& Font);
    ~TOutlineFace();
    TOutlineFace(const TOutlineFace&) = delete;
    TOutlineFace& operator=(const TOutlineFace&) = delete;

    // The records of GetGlyphOutlineW for Char into Out (empty for a glyph
    // without contours) and the advance in pixels. False when the glyph
    // cannot be loaded.
    bool NativeOutline(uint32_t Char, bool GlyphIndex, std::string& Out, int16_t& Advance);
    int GlyphCount() const;
    const TResolvedFont& Resolved() const { return FResolved; }

private:
    TOutlineFace() = default;
    struct TState;
    std::unique_ptr<TState> FState;
    TResolvedFont FResolved;
};

// Horizontal pixels per inch of the screen.
int ScreenPixelsPerInch();

}  // namespace velmo::platform
