// Small vocabulary of string, number and date routines shared by the whole
// engine. Byte strings are std::string (bytes, no code page); wide strings
// are UTF-16 std::u16string. Positions at these interfaces are 1-based.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmo {

// ---- Numbers of PDF syntax ------------------------------------------------

// Reads spaces, any number of leading '-', digits, an optional '.' and digits;
// whatever follows is ignored. Never fails: text without digits gives 0, and
// the result is always finite.
double ParseNumber(std::string_view S);
void ParseNumberInto(std::string_view S, double& Value);

// Mantissa "E" exponent (upper-case E); 0 when S has no 'E'. Always finite.
double ParseScientificNumber(std::string_view S);

// True for text made only of "0123456789.-" with at most one '.', and a '-'
// (if any) first. Blank text counts as number text.
bool IsNumberText(std::string_view S);

// The number form of PDF output: rounded half to even at Decimals places,
// trailing zeros and a bare point dropped, never an exponent, never "-0".
// NaN and infinities give "0"; values beyond the 64-bit range are clamped.
std::string FormatNumber(double Value, int Decimals);
std::string FormatNumberVal(double Value, int Decimals);

// ---- Integers ---------------------------------------------------------------

std::string IntToStrA(int32_t Value);
std::string Int64ToStrA(int64_t Value);

// Integer conversion: leading spaces, one sign, decimal digits or hexadecimal
// after "$", "x", "X", "0x" or "0X". Nothing may follow the digits. A decimal
// value must fit the signed type; a hexadecimal one may use every bit (read as
// two's complement, so "$FFFFFFFC" is -4). Bad text gives Default.
int32_t StrToIntDefA(std::string_view S, int32_t Default);
int64_t StrToInt64DefA(std::string_view S, int64_t Default);

// Decimal text left-padded with '0' to Width; a negative Value gives Width zeros.
std::string IntToStrZeroPad(int64_t Value, int Width);

}  // namespace velmo
