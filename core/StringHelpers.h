// Small vocabulary of string, number and date routines shared by the whole
// engine. Byte strings are std::string (bytes, no code page); wide strings
// are UTF-16 std::u16string. Positions at these interfaces are 1-based.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velmo {

// Raised by StrToIntA and StrToFloatA on text that is not a number.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A point in time as a day count since 1899-12-30 00:00; the fraction is the
// time of day.
using TDateTime = double;

// Calendar date and clock time, as the system clock reports them.
struct TSystemTime {
    uint16_t wYear = 0;
    uint16_t wMonth = 0;
    uint16_t wDayOfWeek = 0;
    uint16_t wDay = 0;
    uint16_t wHour = 0;
    uint16_t wMinute = 0;
    uint16_t wSecond = 0;
    uint16_t wMilliseconds = 0;
};

// Unsigned 128-bit integer, least significant 32-bit limb first.
struct TUInt128 {
    uint32_t Limbs[4] = {0, 0, 0, 0};
};

// Page numbers.
using TVelmoPDFPageList = std::vector<int32_t>;

// The characters of number text.
inline constexpr std::string_view NumberChars = "0123456789.-";

// ---- Byte strings (case-sensitive, byte-exact; positions 1-based) ---------

int32_t PosA(std::string_view SubStr, std::string_view S);
int32_t PosExA(std::string_view SubStr, std::string_view S, int32_t Offset);
// Without leading and trailing bytes below 33.
std::string TrimA(std::string_view S);
std::string CopyA(std::string_view S, int64_t Index, int64_t Count);
bool StartsWithA(std::string_view S, std::string_view Prefix);
bool EndsWithA(std::string_view S, std::string_view Suffix);
// ASCII letters only; bytes from 0x80 up are left as they are.
std::string UpperCaseA(std::string_view S);
std::string LowerCaseA(std::string_view S);
// Upper-case hexadecimal of the 32-bit value, at least Digits digits.
std::string IntToHexA(int64_t Value, int Digits);
// Integer conversion as StrToIntDefA; raises EConvertError on bad text.
int32_t StrToIntA(std::string_view S);
// General format, at most 15 significant digits, '.' as decimal separator.
std::string FloatToStrA(double Value);
// Picture formatting: '0' a digit always written, '#' a digit written when
// significant, '.' the decimal point, ',' thousands grouping; other
// characters and quoted text are copied. Halves round away from zero.
std::string FormatFloatA(std::string_view Format, double Value);
// Decimal text with '.', optional sign and exponent; raises EConvertError.
double StrToFloatA(std::string_view S);
// Date-time picture: yyyy yy m mm d dd h hh n nn s ss zzz (m after h means
// minutes), quoted text copied; hh is the 24-hour clock.
std::string FormatDateTimeA(std::string_view Format, TDateTime Value);
// Every non-overlapping occurrence, left to right; inserted text is not searched.
std::string StringReplaceAllA(std::string_view S, std::string_view OldPattern,
                              std::string_view NewPattern);
// Flags are ignored: always StringReplaceAllA.
std::string StringReplaceA(std::string_view S, std::string_view OldPattern,
                           std::string_view NewPattern, int Flags = 0);
std::string BoolToTF(bool Value);
bool TFToBool(std::string_view S);
// The user-locale comparisons: ordinal, the second with ASCII case folding,
// so that sorted lists order the same on every machine. Result -1, 0 or 1.
int CompareStrLocaleA(std::string_view S1, std::string_view S2);
int CompareTextLocaleA(std::string_view S1, std::string_view S2);
// Each byte one unit of the same value, and back (low byte of each unit).
std::u16string AnsiBytesToString(std::string_view S);
std::u16string AnsiBytesToWide(std::string_view S);
std::string StringToAnsiBytes(std::u16string_view S);
// Through the ANSI code page; characters it lacks become '?'.
std::string WideToAnsiACP(std::u16string_view W);
// Separator-delimited fields: FieldCountA is 1 + the separators in S.
// GetFieldA: the first byte always belongs to field 1; a NUL ends S; an
// Index outside the fields gives the empty string.
int32_t FieldCountA(std::string_view S, char Separator);
std::string GetFieldA(std::string_view S, char Separator, int32_t Index);

// ---- Wide strings (positions 1-based) ---------------------------------------

int32_t PosWide(std::u16string_view SubStr, std::u16string_view S);
void InsertWide(std::u16string_view Source, std::u16string& S, int64_t Index);
std::u16string TrimSpacesWide(std::u16string_view S);
// Flags: 1 replaces every occurrence (else the first), 2 compares without case.
std::u16string StringReplaceWide(std::u16string_view S, std::u16string_view OldPattern,
                                 std::u16string_view NewPattern, int Flags);
int32_t FieldCountWide(std::u16string_view S, char16_t Separator);
std::u16string GetFieldWide(std::u16string_view S, char16_t Separator, int32_t Index);
// The payload of a length-tagged wide string (units 1 and 2 tagged E7xx F8xx,
// their low bytes the length), else S unchanged.
std::u16string UnwrapTaggedWide(std::u16string_view S);
// The same as a view into S.
std::u16string_view UnwrapTaggedWideView(std::u16string_view S);

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

// Value formatted as FormatNumber, left-padded with '0' to Width; a negative
// Value is "-" and its magnitude padded to Width - 1.
std::string FormatNumberZeroPad(double Value, int Width, int Decimals);

// True when A and B differ by at most max(min(|A|,|B|) * 1e-12, 1e-12).
bool SameDouble(double A, double B);
// True when the bits of a 32-bit float are a NaN.
bool IsNaNSingle(uint32_t Bits);
// Value mod Divisor; 0 for a zero Divisor.
uint32_t UInt128Mod(const TUInt128& Value, uint32_t Divisor);

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

// ---- Dates, identifiers, lists ---------------------------------------------

// "D:yyyymmddhhmmss" and the zone: "Z", or +hh'mm' / -hh'mm'. With ToLocal,
// Value is UTC and is written as local time; without, Value is local time.
// The zone is the one in force at that date.
std::string DateTimeToPDFDate(TDateTime Value, bool ToLocal);
// The local clock as a PDF date.
std::string NowAsPDFDate();
// Milliseconds from Time to now, in the low 32 bits. Unless IsUTC, Time is local.
int32_t MillisecondsSince(const TSystemTime& Time, bool IsUTC);
// Eight lower-case hexadecimal digits, never repeated within the process.
std::string NewUniqueID();

// Page numbers from text such as "1,3-5" (see the implementation for the
// rules); Pages is empty when the list is invalid.
void ParsePageRangeList(std::string_view Text, int32_t MinPage, int32_t MaxPage, bool StrictRange,
                        bool StrictChars, bool StrictDuplicates, bool AllowDuplicates,
                        bool SortList, TVelmoPDFPageList& Pages);

// The text of an XMP packet, UTF-8 or UTF-16 by the "<?xpacket" found; empty
// when there is none.
std::u16string XMPPacketToWide(std::string_view Data);

// True when the platform resolves the class name to a class.
bool ProgIDExists(std::u16string_view ProgID);

// Calendar conversions of TDateTime (proleptic Gregorian calendar).
TDateTime EncodeDateTime(int Year, int Month, int Day, int Hour, int Minute, int Second,
                         int MilliSecond);
void DecodeDateTime(TDateTime Value, int& Year, int& Month, int& Day, int& Hour, int& Minute,
                    int& Second, int& MilliSecond);

}  // namespace velmo
