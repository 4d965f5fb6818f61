// Byte classes of PDF syntax and the hex-string decoder shared by the object
// parser (TPDFStructure::Decode and kin, Parser.cpp) and the ASCIIHex filter.
#pragma once

#include <string>
#include <string_view>

namespace velmo {

// 00, 09, 0A, 0C, 0D, 20.
constexpr bool IsPDFWhitespace(char C) {
    return C == 0x20 || C == 0x0A || C == 0x0D || C == 0x09 || C == 0x0C || C == 0x00;
}

// ( ) < > [ ] / % {  -- the closing brace is not a delimiter.
constexpr bool IsPDFDelimiter(char C) {
    switch (C) {
        case '(':
        case ')':
        case '<':
        case '>':
        case '[':
        case ']':
        case '/':
        case '%':
        case '{':
            return true;
        default:
            return false;
    }
}

constexpr bool IsDecimalDigit(char C) { return C >= '0' && C <= '9'; }

constexpr bool IsHexDigit(char C) {
    return (C >= '0' && C <= '9') || (C >= 'a' && C <= 'f') || (C >= 'A' && C <= 'F');
}

// Bytes of "<...>" text: empty unless Source starts with '<' and ends with
// '>'; between them ASCII letters and digits count (upper-cased), everything
// else is dropped, an odd count gets a trailing '0', and each pair gives one
// byte (00 for a pair that is not hexadecimal).
std::string DecodeHexString(std::string_view Source);

// True for a group of one to three decimal digits whose value is at most 7,
// 77 or 777 respectively.
bool IsOctalEscapeText(std::string_view Group);

}  // namespace velmo
