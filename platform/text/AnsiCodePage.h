// The system's ANSI code page. On every machine it is Windows-1252, so text
// converted through it gives the same bytes everywhere.
#pragma once

#include <string>
#include <string_view>

namespace velmo {

// The character of one ANSI byte. The five bytes that Windows-1252 leaves
// unassigned (81, 8D, 8F, 90, 9D) stand for the control characters of the
// same number.
char16_t AnsiCharToWide(unsigned char C);

// The ANSI byte of one UTF-16 unit, -1 when the code page has none.
int WideCharToAnsi(char16_t U);

// Byte string in the ANSI code page -> UTF-16.
std::u16string AnsiToWide(std::string_view S);

// UTF-16 -> ANSI code page; a character without a byte (a surrogate pair
// counts as one character) becomes DefaultChar.
std::string WideToAnsi(std::u16string_view W, char DefaultChar = '?');

}  // namespace velmo
