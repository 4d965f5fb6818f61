// Constant tables of glyph names, encodings and the metrics of the standard
// 14 fonts.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace velmo {

inline constexpr int kStandardGlyphCount = 229;  // the standard Latin character set
inline constexpr int kSymbolGlyphCount = 190;    // glyphs of the Symbol font's encoding
inline constexpr int kMacExpertGlyphCount = 93;
inline constexpr int kSymbolicWidthCount = 223;  // codes 32..254
inline constexpr int kCIDUnicodeCount = 355;
inline constexpr int kMissingGlyphWidth = 750;  // width of a name a font does not hold

// A glyph of the standard Latin set with its code in StandardEncoding,
// MacRomanEncoding, WinAnsiEncoding and PDFDocEncoding; -1 where the
// encoding lacks the glyph.
struct TStandardGlyph {
    const char* Name;
    std::int16_t Standard;
    std::int16_t MacRoman;
    std::int16_t WinAnsi;
    std::int16_t PDFDoc;
};

// The 229 glyphs, in ascending byte order of their names; a glyph's number is
// its 1-based position.
extern const TStandardGlyph StandardLatinCharSet[kStandardGlyphCount];
// The Unicode value of each glyph (the glyph list's, except minus: U+002D).
extern const std::uint16_t StandardGlyphUnicodes[kStandardGlyphCount];
// Entry n - 1: the MacRomanEncoding code of standard glyph n, -1 for none.
const std::array<int, kStandardGlyphCount>& StandardGlyphMacRomanCodes();

// Widths in thousandths of the text size of the twelve Latin standard fonts
// (Courier, -Bold, -BoldOblique, -Oblique, Helvetica, -Bold, -BoldOblique,
// -Oblique, Times-Roman, -Bold, -Italic, -BoldItalic), by standard glyph.
extern const std::int16_t StandardFontWidths[12][kStandardGlyphCount];

// A glyph of the Symbol font's built-in encoding.
struct TSymbolGlyph {
    const char* Name;
    std::uint8_t Code;
    std::uint16_t Unicode;
    std::int16_t Width;
};
extern const TSymbolGlyph SymbolEncodingTable[kSymbolGlyphCount];

// Widths of the codes 32..254 (entry code - 32) in the built-in encodings of
// Symbol and ZapfDingbats; codes without a glyph are 0. The Symbol view is
// made from SymbolEncodingTable.
const std::array<std::int16_t, kSymbolicWidthCount>& SymbolFontWidths();
extern const std::int16_t DingbatsFontWidths[kSymbolicWidthCount];

struct TMacExpertGlyph {
    const char* Name;
    std::uint8_t Code;
};
extern const TMacExpertGlyph MacExpertGlyphs[kMacExpertGlyphCount];

// The Unicode value of each standard string id 0..354 of compact font
// programs, -1 for .notdef.
extern const std::int32_t CIDUnicodeTable[kCIDUnicodeCount];

// Width data of the CJK fonts, zlib-compressed: the code-width table and the
// W array of HeiseiKakuGo-W5, then of the Korean fonts. Only the last one
// inflates (to the Korean W array); the others inflate to nothing.
const std::array<std::string, 4>& CJKWidthData();

}  // namespace velmo
