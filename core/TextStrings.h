// PDF text strings (PDFDocEncoding, or UTF-16 big-endian after the mark
// FE FF) and the PDFDocEncoding table.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmo {

// PDFDocEncoding byte -> Unicode. Read-only, shared by the whole process.
const std::array<char16_t, 256>& PDFDocEncodingTable();

// The PDFDocEncoding byte for U, -1 when the encoding has none.
int UnicodeToPDFDocEncoding(char16_t U);

// PDFDocEncoding when every character has a code and ForceUnicode is off,
// else UTF-16 big-endian with the mark FE FF.
std::string WideStringToPDFTextString(std::u16string_view W, bool ForceUnicode = false);

// A PDF text string as UTF-16: FE FF gives checked UTF-16 big-endian, FF FE
// unchecked UTF-16 little-endian, anything else PDFDocEncoding.
std::u16string PDFTextStringToWideString(std::string_view S);

// The unchecked variant: FE FF gives the big-endian units as they stand.
std::u16string PDFTextStringToWideRaw(std::string_view S);

// UTF-8 of PDFTextStringToWideRaw(S).
std::string PDFTextStringToUTF8(std::string_view S);

// Each character through UnicodeToPDFDocEncoding, "?" for those without a code.
std::string WideStringToPDFDocEncoding(std::u16string_view W);

// Re-codes Windows-1252 bytes as PDFDocEncoding; text that begins FE FF is kept.
std::string WinAnsiToPDFDocEncoding(std::string_view S);

// Bytes 00-7E become the same unit, 7F-FF become U+FFFD.
std::u16string ASCIIToWideString(std::string_view S);

// Units up to 00FF as one byte each; higher units are left out.
std::string WideStringToLatin1(std::u16string_view W);

}  // namespace velmo
