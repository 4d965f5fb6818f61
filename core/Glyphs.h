// Glyph names: the built-in glyph list, the standard Latin set, conversions
// to Unicode and WinAnsi, the widths of the standard 14 fonts and the
// built-in Dingbats font.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmo {

class TVelmoPDFStringList;

using TPDFCharsetNames = std::array<std::string, 256>;

// The inflated glyph list: a 58-entry index of 24-bit positions by first
// character ('A'..'z'), then entries of name length, name and a 16-bit
// little-endian Unicode value, sorted by name. Empty when the built-in data
// is damaged (every look-up then answers 0).
const std::string& GlyphList();

// The Unicode value of a glyph name in the glyph list, 0 when it lacks the
// name; "C" followed by decimal digits gives that number (low 16 bits).
std::uint16_t GlyphNameToUnicode(std::string_view Name);
// One single-character string per code (U+0000 for names the list lacks).
std::array<std::u16string, 256> GlyphNamesToUnicode(const TPDFCharsetNames& Names);
// One single-byte string per code: the WinAnsi code of each name's Unicode
// value; a name "CID:n" without one gives the byte n.
std::array<std::string, 256> GlyphNamesToWinAnsi(const TPDFCharsetNames& Names);
// The WinAnsi code of the first standard glyph with Unicode value U, 0 when none.
std::uint8_t UnicodeToWinAnsi(std::uint16_t U);
// The first standard glyph, else the Symbol glyph, with Unicode value U; empty when none.
std::string UnicodeToGlyphName(std::uint16_t U);
// 1-based number of Name in the standard Latin set (case-sensitive), 0 when absent.
int GetStandardGlyphNumber(std::string_view Name);

// Widths of the standard fonts 1..14 for 256 glyph names: 1..12 by Latin
// name, 13 by Symbol name (750 for names the set lacks), 14 by code for the
// codes 32..254 (other codes keep their value). Other indexes change nothing.
void GetStandardFontWidths(int FontIndex, const TPDFCharsetNames& Names,
                           std::array<double, 256>& Widths);

// The built-in Dingbats TrueType font, inflated afresh on every call.
std::string GetDingbatsFontData();

// The sorted family names of the installed fonts of a Windows character set
// (1: all families), made once per set and kept until ReleaseFontFamilies;
// callers never free it. Safe to call from several threads.
TVelmoPDFStringList* GetFontFamiliesByCharset(int CharSet);
// Frees the cached family lists (engine shut-down).
void ReleaseFontFamilies();

// Where the family lists come from: the platform's font catalogue, or the
// lists a test gives. Setting a source (nullptr: the catalogue again) frees
// the cached lists, so no earlier list may still be in use.
using TFontFamilySource = std::function<std::vector<std::string>(int CharSet)>;
void SetFontFamilySource(TFontFamilySource Source);

}  // namespace velmo
