#include "core/StringHelpers.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <mutex>
#include <system_error>
#include <unordered_set>

#include "core/Digests.h"
#include "core/NumberLists.h"
#include "core/Random.h"
#include "core/Unicode.h"
#include "platform/com/ClassRegistry.h"
#include "platform/text/AnsiCodePage.h"

namespace velmo {

namespace {

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

// Parses the number part that starts at P (after spaces and minus signs have
// been consumed by the caller): digits, optionally '.', digits. Returns the
// magnitude, correctly rounded and always finite; End receives the position
// after the last consumed byte.
double ReadUnsignedDecimal(std::string_view S, size_t P, size_t& End) {
    size_t Start = P;
    size_t IntEnd;
    while (P < S.size() && IsDigit(S[P])) ++P;
    IntEnd = P;
    size_t FracDigits = 0;
    if (P < S.size() && S[P] == '.') {
        ++P;
        while (P < S.size() && IsDigit(S[P])) {
            ++P;
            ++FracDigits;
        }
    }
    End = P;
    if (IntEnd == Start && FracDigits == 0) return 0.0;
    double Value = 0.0;
    auto R = std::from_chars(S.data() + Start, S.data() + End, Value, std::chars_format::fixed);
    if (R.ec == std::errc::result_out_of_range) {
        // Too large, or a fraction too small to represent: keep it finite.
        for (size_t I = Start; I < IntEnd; ++I)
            if (S[I] != '0') return std::numeric_limits<double>::max();
        return 0.0;
    }
    if (R.ec != std::errc()) return 0.0;
    return Value;
}

const double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Largest double below 2^63: every value of magnitude up to it converts to int64.
constexpr double kMaxInt64Double = 9223372036854774784.0;

template <typename T>
std::string SignedToStr(T Value) {
    char Buf[32];
    auto R = std::to_chars(Buf, Buf + sizeof Buf, Value);
    return std::string(Buf, R.ptr);
}

template <typename SignedT>
bool ParseInteger(std::string_view S, SignedT& Out) {
    using UnsignedT = std::make_unsigned_t<SignedT>;
    size_t P = 0;
    while (P < S.size() && S[P] == ' ') ++P;
    bool Negative = false;
    if (P < S.size() && (S[P] == '+' || S[P] == '-')) {
        Negative = S[P] == '-';
        ++P;
    }
    bool Hex = false;
    if (P < S.size() && (S[P] == '$' || S[P] == 'x' || S[P] == 'X')) {
        Hex = true;
        ++P;
    } else if (P + 1 < S.size() && S[P] == '0' && (S[P + 1] == 'x' || S[P + 1] == 'X')) {
        Hex = true;
        P += 2;
    }
    if (P >= S.size()) return false;
    UnsignedT Value = 0;
    if (Hex) {
        constexpr UnsignedT Limit = std::numeric_limits<UnsignedT>::max() >> 4;
        for (; P < S.size(); ++P) {
            char C = S[P];
            unsigned D;
            if (C >= '0' && C <= '9')
                D = C - '0';
            else if (C >= 'a' && C <= 'f')
                D = C - 'a' + 10;
            else if (C >= 'A' && C <= 'F')
                D = C - 'A' + 10;
            else
                return false;
            if (Value > Limit) return false;
            Value = static_cast<UnsignedT>((Value << 4) | D);
        }
        // Every bit may be used; the bits are the two's complement value.
        if (Negative) Value = static_cast<UnsignedT>(UnsignedT(0) - Value);
        Out = static_cast<SignedT>(Value);
        return true;
    }
    const UnsignedT Limit = Negative ? UnsignedT(std::numeric_limits<SignedT>::max()) + 1
                                     : UnsignedT(std::numeric_limits<SignedT>::max());
    for (; P < S.size(); ++P) {
        char C = S[P];
        if (!IsDigit(C)) return false;
        unsigned D = C - '0';
        if (Value > (Limit - D) / 10) return false;
        Value = static_cast<UnsignedT>(Value * 10 + D);
    }
    Out = Negative ? static_cast<SignedT>(UnsignedT(0) - Value) : static_cast<SignedT>(Value);
    return true;
}

}  // namespace

// ---- Numbers of PDF syntax ------------------------------------------------

void ParseNumberInto(std::string_view S, double& Value) {
    size_t P = 0;
    while (P < S.size() && S[P] == ' ') ++P;
    bool Negative = false;
    while (P < S.size() && S[P] == '-') {
        Negative = true;
        ++P;
    }
    size_t End;
    double V = ReadUnsignedDecimal(S, P, End);
    Value = Negative ? -V : V;
}

double ParseNumber(std::string_view S) {
    double Value = 0.0;
    ParseNumberInto(S, Value);
    return Value;
}

double ParseScientificNumber(std::string_view S) {
    size_t E = S.find('E');
    if (E == std::string_view::npos) return 0.0;
    double Mantissa = ParseNumber(S.substr(0, E));
    int64_t Exponent = StrToInt64DefA(S.substr(E + 1), 0);
    if (Exponent == 0 || Mantissa == 0.0) return Mantissa;
    // Beyond these exponents every finite mantissa over- or underflows.
    if (Exponent > 700) Exponent = 700;
    if (Exponent < -700) Exponent = -700;
    double Result;
    if (Exponent > 0 && Exponent <= 22)
        Result = Mantissa * kPow10[Exponent];
    else if (Exponent < 0 && Exponent >= -22)
        Result = Mantissa / kPow10[-Exponent];
    else
        Result = Mantissa * std::pow(10.0, static_cast<double>(Exponent));
    if (std::isnan(Result)) return 0.0;
    if (std::isinf(Result))
        return Result > 0 ? std::numeric_limits<double>::max()
                          : -std::numeric_limits<double>::max();
    return Result;
}

bool IsNumberText(std::string_view S) {
    size_t B = 0, E = S.size();
    while (B < E && static_cast<unsigned char>(S[B]) < 33) ++B;
    while (E > B && static_cast<unsigned char>(S[E - 1]) < 33) --E;
    std::string_view T = S.substr(B, E - B);
    size_t Minus = T.find('-');
    if (Minus != std::string_view::npos && Minus != 0) return false;
    int Dots = 0;
    for (char C : T) {
        if (C == '.') {
            if (++Dots > 1) return false;
        } else if (!IsDigit(C) && C != '-') {
            return false;
        }
    }
    return true;
}

std::string FormatNumberVal(double Value, int Decimals) {
    if (!std::isfinite(Value)) return "0";
    if (Decimals > 22) Decimals = 22;
    double Scaled = Decimals > 0 ? Value * kPow10[Decimals] : Value;
    Scaled = std::nearbyint(Scaled);
    if (Scaled > kMaxInt64Double) Scaled = kMaxInt64Double;
    if (Scaled < -kMaxInt64Double) Scaled = -kMaxInt64Double;
    int64_t K = static_cast<int64_t>(Scaled);
    if (Decimals <= 0 || K == 0) return SignedToStr(K);

    char Digits[32];
    uint64_t Magnitude = K < 0 ? uint64_t(0) - uint64_t(K) : uint64_t(K);
    auto R = std::to_chars(Digits, Digits + sizeof Digits, Magnitude);
    std::string_view D(Digits, R.ptr - Digits);

    std::string Out;
    Out.reserve(Decimals + 24);
    if (K < 0) Out += '-';
    size_t Need = static_cast<size_t>(Decimals) + 1;
    if (D.size() < Need) Out.append(Need - D.size(), '0');
    Out += D;
    Out.insert(Out.size() - Decimals, 1, '.');
    while (Out.back() == '0') Out.pop_back();
    if (Out.back() == '.') Out.pop_back();
    return Out;
}

std::string FormatNumber(double Value, int Decimals) { return FormatNumberVal(Value, Decimals); }

// ---- Integers ---------------------------------------------------------------

std::string IntToStrA(int32_t Value) { return SignedToStr(Value); }

std::string Int64ToStrA(int64_t Value) { return SignedToStr(Value); }

int32_t StrToIntDefA(std::string_view S, int32_t Default) {
    int32_t V;
    return ParseInteger(S, V) ? V : Default;
}

int64_t StrToInt64DefA(std::string_view S, int64_t Default) {
    int64_t V;
    return ParseInteger(S, V) ? V : Default;
}

std::string IntToStrZeroPad(int64_t Value, int Width) {
    if (Value < 0) return std::string(Width > 0 ? Width : 0, '0');
    std::string S = SignedToStr(Value);
    if (Width > 0 && S.size() < static_cast<size_t>(Width)) S.insert(0, Width - S.size(), '0');
    return S;
}

std::string FormatNumberZeroPad(double Value, int Width, int Decimals) {
    if (Value < 0) return "-" + FormatNumberZeroPad(-Value, Width - 1, Decimals);
    std::string S = FormatNumber(Value, Decimals);
    if (Width > 0 && S.size() < static_cast<size_t>(Width)) S.insert(0, Width - S.size(), '0');
    return S;
}

bool SameDouble(double A, double B) {
    const double Epsilon = std::max(std::min(std::fabs(A), std::fabs(B)) * 1e-12, 1e-12);
    return std::fabs(A - B) <= Epsilon;
}

bool IsNaNSingle(uint32_t Bits) {
    return (Bits & 0x7F800000u) == 0x7F800000u && (Bits & 0x7FFFFFu);
}

uint32_t UInt128Mod(const TUInt128& Value, uint32_t Divisor) {
    if (Divisor == 0) return 0;
    uint64_t R = 0;
    for (int I = 3; I >= 0; --I) R = ((R << 32) | Value.Limbs[I]) % Divisor;
    return static_cast<uint32_t>(R);
}

// ---- Byte strings ---------------------------------------------------------

int32_t PosExA(std::string_view SubStr, std::string_view S, int32_t Offset) {
    if (SubStr.empty() || S.empty() || Offset < 1) return 0;
    if (static_cast<int64_t>(Offset) >
        static_cast<int64_t>(S.size()) - static_cast<int64_t>(SubStr.size()) + 1)
        return 0;
    size_t P = S.find(SubStr, static_cast<size_t>(Offset - 1));
    return P == std::string_view::npos ? 0 : static_cast<int32_t>(P + 1);
}

int32_t PosA(std::string_view SubStr, std::string_view S) { return PosExA(SubStr, S, 1); }

std::string TrimA(std::string_view S) {
    size_t B = 0, E = S.size();
    while (B < E && static_cast<unsigned char>(S[B]) < 33) ++B;
    while (E > B && static_cast<unsigned char>(S[E - 1]) < 33) --E;
    return std::string(S.substr(B, E - B));
}

std::string CopyA(std::string_view S, int64_t Index, int64_t Count) {
    if (Index < 1) Index = 1;
    if (Count < 1 || Index > static_cast<int64_t>(S.size())) return std::string();
    return std::string(S.substr(static_cast<size_t>(Index - 1), static_cast<size_t>(Count)));
}

bool StartsWithA(std::string_view S, std::string_view Prefix) {
    return S.size() >= Prefix.size() && S.compare(0, Prefix.size(), Prefix) == 0;
}

bool EndsWithA(std::string_view S, std::string_view Suffix) {
    return S.size() >= Suffix.size() &&
           S.compare(S.size() - Suffix.size(), Suffix.size(), Suffix) == 0;
}

std::string UpperCaseA(std::string_view S) {
    std::string R(S);
    for (char& C : R)
        if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 32);
    return R;
}

std::string LowerCaseA(std::string_view S) {
    std::string R(S);
    for (char& C : R)
        if (C >= 'A' && C <= 'Z') C = static_cast<char>(C + 32);
    return R;
}

std::string IntToHexA(int64_t Value, int Digits) {
    char Buf[16];
    auto R = std::to_chars(Buf, Buf + sizeof Buf, static_cast<uint32_t>(Value), 16);
    std::string S(Buf, R.ptr);
    for (char& C : S)
        if (C >= 'a' && C <= 'f') C = static_cast<char>(C - 32);
    if (Digits > 0 && S.size() < static_cast<size_t>(Digits)) S.insert(0, Digits - S.size(), '0');
    return S;
}

int32_t StrToIntA(std::string_view S) {
    int32_t V;
    if (!ParseInteger(S, V))
        throw EConvertError("'" + std::string(S) + "' is not a valid integer value");
    return V;
}

namespace {

// Decimal digits and exponent of Value (finite, non-zero) rounded to at most
// Precision significant digits, trailing zeros removed. Value = 0.d1d2... x 10^Exp.
void DecimalDigits(double Value, int Precision, std::string& Digits, int& Exp) {
    char Buf[64];
    auto R = std::to_chars(Buf, Buf + sizeof Buf, std::fabs(Value), std::chars_format::scientific,
                           Precision - 1);
    std::string_view T(Buf, R.ptr - Buf);
    size_t EPos = T.find('e');
    Digits.clear();
    for (char C : T.substr(0, EPos))
        if (IsDigit(C)) Digits += C;
    while (Digits.size() > 1 && Digits.back() == '0') Digits.pop_back();
    int E10 = 0;
    std::from_chars(T.data() + EPos + 1 + (T[EPos + 1] == '+'), T.data() + T.size(), E10);
    Exp = E10 + 1;
}

}  // namespace

std::string FloatToStrA(double Value) {
    if (std::isnan(Value)) return "NAN";
    if (std::isinf(Value)) return Value > 0 ? "INF" : "-INF";
    if (Value == 0) return "0";
    std::string Digits;
    int Exp;
    DecimalDigits(Value, 15, Digits, Exp);
    std::string Out = Value < 0 ? "-" : "";
    if (Exp > 15 || std::fabs(Value) < 0.00001) {
        Out += Digits[0];
        if (Digits.size() > 1) {
            Out += '.';
            Out.append(Digits, 1);
        }
        Out += 'E';
        Out += std::to_string(Exp - 1);
        return Out;
    }
    if (Exp <= 0) {
        Out += "0.";
        Out.append(static_cast<size_t>(-Exp), '0');
        Out += Digits;
    } else if (static_cast<size_t>(Exp) >= Digits.size()) {
        Out += Digits;
        Out.append(Exp - Digits.size(), '0');
    } else {
        Out.append(Digits, 0, Exp);
        Out += '.';
        Out.append(Digits, Exp);
    }
    return Out;
}

std::string FormatFloatA(std::string_view Format, double Value) {
    // Split the picture into the literal text before and after its placeholders.
    std::string Prefix, Suffix;
    int IntZeros = 0, FracZeros = 0, FracHashes = 0;
    bool Grouping = false, Point = false, SeenPlaceholder = false;
    for (size_t I = 0; I < Format.size(); ++I) {
        const char C = Format[I];
        if (C == '"' || C == '\'') {
            size_t E = Format.find(C, I + 1);
            if (E == std::string_view::npos) E = Format.size();
            (SeenPlaceholder ? Suffix : Prefix).append(Format.substr(I + 1, E - I - 1));
            I = E;
            continue;
        }
        const bool Placeholder = C == '0' || C == '#' || C == '.' || C == ',';
        if (Placeholder && Suffix.empty()) {
            SeenPlaceholder = true;
            if (C == '.') {
                Point = true;
            } else if (C == ',') {
                Grouping = Grouping || !Point;
            } else if (!Point) {
                if (C == '0') ++IntZeros;
            } else if (C == '0') {
                FracZeros += 1 + FracHashes;  // a '#' before a '0' is written too
                FracHashes = 0;
            } else {
                ++FracHashes;
            }
            continue;
        }
        (SeenPlaceholder ? Suffix : Prefix) += C;
    }
    if (!std::isfinite(Value)) return Prefix + FloatToStrA(Value) + Suffix;
    const int FracMax = std::min(FracZeros + FracHashes, 18);
    const int FracMin = std::min(FracZeros, FracMax);

    // Round half away from zero at FracMax places.
    std::string IntPart, FracPart;
    const double Scaled = std::fabs(Value) * std::pow(10.0, FracMax);
    if (Scaled < 1e15) {
        const auto K = static_cast<uint64_t>(std::round(Scaled));
        std::string D = std::to_string(K);
        if (D.size() <= static_cast<size_t>(FracMax)) D.insert(0, FracMax + 1 - D.size(), '0');
        IntPart = D.substr(0, D.size() - FracMax);
        FracPart = D.substr(D.size() - FracMax);
    } else {
        char Buf[400];
        auto R = std::to_chars(Buf, Buf + sizeof Buf, std::fabs(Value), std::chars_format::fixed,
                               FracMax);
        std::string D(Buf, R.ptr);
        size_t Dot = D.find('.');
        IntPart = D.substr(0, Dot);
        FracPart = Dot == std::string::npos ? "" : D.substr(Dot + 1);
    }
    while (static_cast<int>(FracPart.size()) > FracMin && FracPart.back() == '0')
        FracPart.pop_back();
    const bool Zero = IntPart.find_first_not_of('0') == std::string::npos &&
                      FracPart.find_first_not_of('0') == std::string::npos;
    size_t FirstNonZero = IntPart.find_first_not_of('0');
    IntPart = FirstNonZero == std::string::npos ? "" : IntPart.substr(FirstNonZero);
    if (IntPart.size() < static_cast<size_t>(IntZeros))
        IntPart.insert(0, IntZeros - IntPart.size(), '0');
    if (Grouping && IntPart.size() > 3) {
        std::string G;
        for (size_t I = 0; I < IntPart.size(); ++I) {
            if (I > 0 && (IntPart.size() - I) % 3 == 0) G += ',';
            G += IntPart[I];
        }
        IntPart = G;
    }
    std::string Out = Prefix;
    if (Value < 0 && !Zero) Out += '-';
    Out += IntPart;
    if (Point && !FracPart.empty()) Out += '.' + FracPart;
    if (IntPart.empty() && FracPart.empty()) Out += '0';
    return Out + Suffix;
}

double StrToFloatA(std::string_view S) {
    std::string_view T = S;
    while (!T.empty() && T.front() == ' ') T.remove_prefix(1);
    while (!T.empty() && T.back() == ' ') T.remove_suffix(1);
    bool Negative = false;
    if (!T.empty() && (T.front() == '+' || T.front() == '-')) {
        Negative = T.front() == '-';
        T.remove_prefix(1);
    }
    double V = 0;
    bool Ok = !T.empty() && (IsDigit(T.front()) || T.front() == '.');
    if (Ok) {
        auto R = std::from_chars(T.data(), T.data() + T.size(), V, std::chars_format::general);
        Ok = R.ec == std::errc() && R.ptr == T.data() + T.size() && std::isfinite(V);
    }
    if (!Ok) throw EConvertError("'" + std::string(S) + "' is not a valid floating point value");
    return Negative ? -V : V;
}

namespace {

constexpr int64_t kDaysTo1970 = 25569;  // 1899-12-30 to 1970-01-01

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t Y, unsigned M, unsigned D) {
    Y -= M <= 2;
    const int64_t Era = (Y >= 0 ? Y : Y - 399) / 400;
    const unsigned Yoe = static_cast<unsigned>(Y - Era * 400);
    const unsigned Doy = (153 * (M + (M > 2 ? -3 : 9)) + 2) / 5 + D - 1;
    const unsigned Doe = Yoe * 365 + Yoe / 4 - Yoe / 100 + Doy;
    return Era * 146097 + static_cast<int64_t>(Doe) - 719468;
}

void CivilFromDays(int64_t Z, int& Y, int& M, int& D) {
    Z += 719468;
    const int64_t Era = (Z >= 0 ? Z : Z - 146096) / 146097;
    const unsigned Doe = static_cast<unsigned>(Z - Era * 146097);
    const unsigned Yoe = (Doe - Doe / 1460 + Doe / 36524 - Doe / 146096) / 365;
    const unsigned Doy = Doe - (365 * Yoe + Yoe / 4 - Yoe / 100);
    const unsigned Mp = (5 * Doy + 2) / 153;
    D = static_cast<int>(Doy - (153 * Mp + 2) / 5 + 1);
    M = static_cast<int>(Mp < 10 ? Mp + 3 : Mp - 9);
    Y = static_cast<int>(static_cast<int64_t>(Yoe) + Era * 400 + (M <= 2));
}

// The dates the calendar routines accept: 0001-01-01 to 9999-12-31.
TDateTime ClampDate(TDateTime V) {
    if (!std::isfinite(V)) return 0;
    return std::clamp(V, -693593.0, 2958465.99999);
}

// Seconds since 1970-01-01 UTC of a date-time read as UTC (seconds truncated).
int64_t UnixSeconds(TDateTime V) {
    return static_cast<int64_t>(std::floor((V - kDaysTo1970) * 86400.0 + 1e-6));
}

std::string ZoneSuffix(long OffsetSeconds) {
    const long Minutes = OffsetSeconds / 60;
    if (Minutes == 0) return "Z";
    const long A = Minutes < 0 ? -Minutes : Minutes;
    char Buf[40];
    std::snprintf(Buf, sizeof Buf, "%c%02ld'%02ld'", Minutes > 0 ? '+' : '-', A / 60, A % 60);
    return Buf;
}

std::string PDFDate(int Y, int Mo, int D, int H, int Mi, int S, long OffsetSeconds) {
    char Buf[64];
    std::snprintf(Buf, sizeof Buf, "D:%04d%02d%02d%02d%02d%02d", Y, Mo, D, H, Mi, S);
    return Buf + ZoneSuffix(OffsetSeconds);
}

// Offset from UTC, in seconds, of local time at the given UTC instant.
long LocalOffsetAtUTC(int64_t Seconds) {
    std::time_t T = static_cast<std::time_t>(Seconds);
    std::tm L{};
    if (!localtime_r(&T, &L)) return 0;
    return L.tm_gmtoff;
}

// Converts local calendar fields to UTC seconds; Offset receives the zone's
// offset in force at that local time.
int64_t LocalToUTC(int Y, int Mo, int D, int H, int Mi, int S, long& Offset) {
    std::tm L{};
    L.tm_year = Y - 1900;
    L.tm_mon = Mo - 1;
    L.tm_mday = D;
    L.tm_hour = H;
    L.tm_min = Mi;
    L.tm_sec = S;
    L.tm_isdst = -1;
    std::time_t T = mktime(&L);
    const int64_t AsUTC = (DaysFromCivil(Y, Mo, D) * 86400) + H * 3600 + Mi * 60 + S;
    if (T == static_cast<std::time_t>(-1)) {
        Offset = LocalOffsetAtUTC(AsUTC);
        return AsUTC - Offset;
    }
    Offset = L.tm_gmtoff;
    return AsUTC - Offset;
}

TDateTime NowLocal() {
    using namespace std::chrono;
    const auto Now = system_clock::now();
    const int64_t Ms = duration_cast<milliseconds>(Now.time_since_epoch()).count();
    const long Offset = LocalOffsetAtUTC(Ms / 1000);
    return kDaysTo1970 + (static_cast<double>(Ms) + Offset * 1000.0) / 86400000.0;
}

}  // namespace

TDateTime EncodeDateTime(int Year, int Month, int Day, int Hour, int Minute, int Second,
                         int MilliSecond) {
    const double Days = static_cast<double>(DaysFromCivil(Year, Month, Day) + kDaysTo1970);
    const double Time =
        (Hour * 3600000.0 + Minute * 60000.0 + Second * 1000.0 + MilliSecond) / 86400000.0;
    // Before the origin the fraction still counts forward from midnight.
    return Days >= 0 ? Days + Time : Days - Time;
}

void DecodeDateTime(TDateTime Value, int& Year, int& Month, int& Day, int& Hour, int& Minute,
                    int& Second, int& MilliSecond) {
    Value = ClampDate(Value);
    double IntPart;
    double Frac = std::fabs(std::modf(Value, &IntPart));
    int64_t Ms = static_cast<int64_t>(std::llround(Frac * 86400000.0));
    int64_t DayNum = static_cast<int64_t>(IntPart);
    if (Ms >= 86400000) {
        Ms -= 86400000;
        DayNum += Value >= 0 ? 1 : -1;
    }
    CivilFromDays(DayNum - kDaysTo1970, Year, Month, Day);
    Hour = static_cast<int>(Ms / 3600000);
    Minute = static_cast<int>(Ms / 60000 % 60);
    Second = static_cast<int>(Ms / 1000 % 60);
    MilliSecond = static_cast<int>(Ms % 1000);
}

std::string FormatDateTimeA(std::string_view Format, TDateTime Value) {
    int Y, Mo, D, H, Mi, S, Ms;
    DecodeDateTime(Value, Y, Mo, D, H, Mi, S, Ms);
    std::string Out;
    bool AfterHour = false;
    auto Num = [&](int V, int Width) {
        char Buf[16];
        std::snprintf(Buf, sizeof Buf, "%0*d", Width, V);
        Out += Buf;
    };
    for (size_t I = 0; I < Format.size();) {
        const char C = Format[I];
        if (C == '"' || C == '\'') {
            size_t E = Format.find(C, I + 1);
            if (E == std::string_view::npos) E = Format.size();
            Out.append(Format.substr(I + 1, E - I - 1));
            I = E + 1;
            continue;
        }
        const char L = static_cast<char>(C >= 'A' && C <= 'Z' ? C + 32 : C);
        size_t Run = 1;
        while (I + Run < Format.size() &&
               (Format[I + Run] == C || Format[I + Run] == (L == C ? C - 32 : L)))
            ++Run;
        switch (L) {
            case 'y':
                if (Run <= 2)
                    Num(Y % 100, 2);
                else
                    Num(Y, 4);
                break;
            case 'm':
                if (AfterHour)
                    Num(Mi, Run >= 2 ? 2 : 1);
                else
                    Num(Mo, Run >= 2 ? 2 : 1);
                break;
            case 'd':
                Num(D, Run >= 2 ? 2 : 1);
                break;
            case 'h':
                Num(H, Run >= 2 ? 2 : 1);
                break;
            case 'n':
                Num(Mi, Run >= 2 ? 2 : 1);
                break;
            case 's':
                Num(S, Run >= 2 ? 2 : 1);
                break;
            case 'z':
                Num(Ms, Run >= 3 ? 3 : 1);
                break;
            default:
                Out.append(Format.substr(I, Run));
                break;
        }
        if (L == 'h')
            AfterHour = true;
        else if (L == 'y' || L == 'd' || L == 'm' || L == 'n' || L == 's')
            AfterHour = false;
        I += Run;
    }
    return Out;
}

std::string StringReplaceAllA(std::string_view S, std::string_view OldPattern,
                              std::string_view NewPattern) {
    if (OldPattern.empty()) return std::string(S);
    std::string Out;
    Out.reserve(S.size());
    size_t From = 0;
    for (;;) {
        size_t P = S.find(OldPattern, From);
        if (P == std::string_view::npos) break;
        Out.append(S.substr(From, P - From));
        Out.append(NewPattern);
        From = P + OldPattern.size();
    }
    Out.append(S.substr(From));
    return Out;
}

std::string StringReplaceA(std::string_view S, std::string_view OldPattern,
                           std::string_view NewPattern, int) {
    return StringReplaceAllA(S, OldPattern, NewPattern);
}

std::string BoolToTF(bool Value) { return Value ? "T" : "F"; }

bool TFToBool(std::string_view S) { return S == "T"; }

namespace {

unsigned char FoldA(char C) {
    const auto B = static_cast<unsigned char>(C);
    return B >= 'A' && B <= 'Z' ? static_cast<unsigned char>(B + 32) : B;
}

}  // namespace

int CompareStrLocaleA(std::string_view S1, std::string_view S2) {
    const int C = S1.compare(S2);
    return C < 0 ? -1 : (C > 0 ? 1 : 0);
}

int CompareTextLocaleA(std::string_view S1, std::string_view S2) {
    const size_t N = std::min(S1.size(), S2.size());
    for (size_t I = 0; I < N; ++I) {
        const unsigned char A = FoldA(S1[I]), B = FoldA(S2[I]);
        if (A != B) return A < B ? -1 : 1;
    }
    return S1.size() < S2.size() ? -1 : (S1.size() > S2.size() ? 1 : 0);
}

std::u16string AnsiBytesToString(std::string_view S) {
    std::u16string W(S.size(), u'\0');
    for (size_t I = 0; I < S.size(); ++I) W[I] = static_cast<unsigned char>(S[I]);
    return W;
}

std::u16string AnsiBytesToWide(std::string_view S) { return AnsiBytesToString(S); }

std::string StringToAnsiBytes(std::u16string_view S) {
    std::string Out(S.size(), '\0');
    for (size_t I = 0; I < S.size(); ++I) Out[I] = static_cast<char>(S[I] & 0xFF);
    return Out;
}

std::string WideToAnsiACP(std::u16string_view W) { return WideToAnsi(W); }

namespace {

template <typename CharT>
int32_t FieldCount(std::basic_string_view<CharT> S, CharT Separator) {
    return 1 + static_cast<int32_t>(std::count(S.begin(), S.end(), Separator));
}

template <typename CharT>
std::basic_string<CharT> GetField(std::basic_string_view<CharT> S, CharT Separator, int32_t Index) {
    const size_t Nul = S.find(CharT(0));
    if (Nul != std::basic_string_view<CharT>::npos) S = S.substr(0, Nul);
    if (S.empty() || Index < 1) return {};
    int32_t Field = 1;
    size_t Start = 0;
    // The first unit always belongs to the first field, even a separator.
    for (size_t I = 1; I < S.size(); ++I) {
        if (S[I] != Separator) continue;
        if (Field == Index) return std::basic_string<CharT>(S.substr(Start, I - Start));
        ++Field;
        Start = I + 1;
    }
    if (Field == Index) return std::basic_string<CharT>(S.substr(Start));
    return {};
}

}  // namespace

int32_t FieldCountA(std::string_view S, char Separator) { return FieldCount(S, Separator); }

std::string GetFieldA(std::string_view S, char Separator, int32_t Index) {
    return GetField(S, Separator, Index);
}

// ---- Wide strings -----------------------------------------------------------

int32_t PosWide(std::u16string_view SubStr, std::u16string_view S) {
    if (S.empty()) return 0;
    if (SubStr.empty()) return 1;
    size_t P = S.find(SubStr);
    return P == std::u16string_view::npos ? 0 : static_cast<int32_t>(P + 1);
}

void InsertWide(std::u16string_view Source, std::u16string& S, int64_t Index) {
    if (Index < 1) Index = 1;
    const size_t At = std::min(static_cast<size_t>(Index - 1), S.size());
    S.insert(At, Source);
}

std::u16string TrimSpacesWide(std::u16string_view S) {
    size_t B = 0, E = S.size();
    while (B < E && S[B] == u' ') ++B;
    while (E > B && S[E - 1] == u' ') --E;
    return std::u16string(S.substr(B, E - B));
}

std::u16string StringReplaceWide(std::u16string_view S, std::u16string_view OldPattern,
                                 std::u16string_view NewPattern, int Flags) {
    if (S.empty()) return std::u16string();
    if (OldPattern.empty()) return std::u16string(S);
    const bool All = (Flags & 1) != 0;
    const bool IgnoreCase = (Flags & 2) != 0;
    auto Lower = [](std::u16string_view T) {
        std::u16string L(T);
        for (char16_t& C : L)
            if (C >= u'A' && C <= u'Z') C = static_cast<char16_t>(C + 32);
        return L;
    };
    // Case folding keeps every unit in place, so positions in the folded
    // text are positions in S.
    std::u16string FoldedS, FoldedOld;
    std::u16string_view Hay = S, Needle = OldPattern;
    if (IgnoreCase) {
        FoldedS = Lower(S);
        FoldedOld = Lower(OldPattern);
        Hay = FoldedS;
        Needle = FoldedOld;
    }
    std::u16string Out;
    Out.reserve(S.size());
    size_t From = 0;
    for (;;) {
        size_t P = Hay.find(Needle, From);
        if (P == std::u16string_view::npos) break;
        Out.append(S.substr(From, P - From));
        Out.append(NewPattern);
        From = P + Needle.size();
        if (!All) break;
    }
    Out.append(S.substr(From));
    return Out;
}

int32_t FieldCountWide(std::u16string_view S, char16_t Separator) {
    return FieldCount(S, Separator);
}

std::u16string GetFieldWide(std::u16string_view S, char16_t Separator, int32_t Index) {
    return GetField(S, Separator, Index);
}

std::u16string_view UnwrapTaggedWideView(std::u16string_view S) {
    if (S.size() < 2 || (S[0] >> 8) != 0xE7 || (S[1] >> 8) != 0xF8) return S;
    const size_t N = static_cast<size_t>((S[1] & 0xFF) * 256 + (S[0] & 0xFF));
    return S.substr(2, std::min(N, S.size() - 2));
}

std::u16string UnwrapTaggedWide(std::u16string_view S) {
    return std::u16string(UnwrapTaggedWideView(S));
}

// ---- Dates, identifiers, lists ---------------------------------------------

std::string DateTimeToPDFDate(TDateTime Value, bool ToLocal) {
    Value = ClampDate(Value);
    long Offset;
    if (ToLocal) {
        Offset = LocalOffsetAtUTC(UnixSeconds(Value));
        Value = ClampDate(Value + Offset / 86400.0);
    }
    int Y, Mo, D, H, Mi, S, Ms;
    // Seconds are truncated: take the time of day from whole milliseconds down.
    DecodeDateTime(Value, Y, Mo, D, H, Mi, S, Ms);
    if (!ToLocal) LocalToUTC(Y, Mo, D, H, Mi, S, Offset);
    return PDFDate(Y, Mo, D, H, Mi, S, Offset);
}

std::string NowAsPDFDate() {
    std::time_t T = std::time(nullptr);
    std::tm L{};
    localtime_r(&T, &L);
    return PDFDate(L.tm_year + 1900, L.tm_mon + 1, L.tm_mday, L.tm_hour, L.tm_min, L.tm_sec,
                   L.tm_gmtoff);
}

int32_t MillisecondsSince(const TSystemTime& Time, bool IsUTC) {
    int64_t Seconds;
    if (IsUTC) {
        Seconds = DaysFromCivil(Time.wYear, Time.wMonth, Time.wDay) * 86400 + Time.wHour * 3600 +
                  Time.wMinute * 60 + Time.wSecond;
    } else {
        long Offset;
        Seconds = LocalToUTC(Time.wYear, Time.wMonth, Time.wDay, Time.wHour, Time.wMinute,
                             Time.wSecond, Offset);
    }
    const int64_t Then = Seconds * 1000 + Time.wMilliseconds;
    using namespace std::chrono;
    const int64_t Now = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(Now - Then)));
}

std::string NewUniqueID() {
    // Eight hexadecimal digits collide by chance after some ten thousand
    // names; two equal names would make one resource stand for another, so
    // every id handed out is remembered and a repeat is drawn again.
    static std::mutex Lock;
    static std::unordered_set<std::string> Issued;
    for (;;) {
        std::string Data = RandomBytes(16);  // a new GUID
        Data += FloatToStrA(NowLocal());
        std::string Id = MD5DigestToHex(MD5OfString(Data)).substr(0, 8);
        std::lock_guard<std::mutex> G(Lock);
        if (Issued.insert(Id).second) return Id;
    }
}

// Rules: only the bytes "0123456789,-" count (any other byte is dropped, or
// with StrictChars makes the list invalid); items split at ',' are a page or
// a range "first-last" walked up or down; an item with a missing or bad
// number is skipped; pages outside MinPage..MaxPage are skipped (StrictRange:
// invalid); a page already listed is skipped unless AllowDuplicates
// (StrictDuplicates: invalid). An invalid list comes back empty.
void ParsePageRangeList(std::string_view Text, int32_t MinPage, int32_t MaxPage, bool StrictRange,
                        bool StrictChars, bool StrictDuplicates, bool AllowDuplicates,
                        bool SortList, TVelmoPDFPageList& Pages) {
    // More pages than any document has: a text that repeats long ranges with
    // duplicates allowed stops growing here.
    constexpr size_t kMaxPages = size_t(1) << 22;
    Pages.clear();
    std::string Kept;
    Kept.reserve(Text.size());
    for (char C : Text) {
        if (IsDigit(C) || C == ',' || C == '-')
            Kept += C;
        else if (StrictChars)
            return;
    }
    if (Kept.empty()) return;
    TVPLSortedUniqueIntegerList Seen;  // pages already listed
    bool Invalid = false, Full = false;
    size_t Start = 0;
    while (Start <= Kept.size() && !Invalid && !Full) {
        size_t Comma = Kept.find(',', Start);
        if (Comma == std::string::npos) Comma = Kept.size();
        std::string_view Item(Kept.data() + Start, Comma - Start);
        Start = Comma + 1;
        int32_t First, Last;
        const size_t Dash = Item.find('-');
        if (Dash == std::string_view::npos) {
            First = Last = StrToIntDefA(Item, -1);
        } else {
            First = StrToIntDefA(Item.substr(0, Dash), -1);
            Last = StrToIntDefA(Item.substr(Dash + 1), -1);
        }
        if (First < 0 || Last < 0) continue;
        // Only the part of the range inside MinPage..MaxPage is walked; the
        // rest would be skipped page by page, or makes the list invalid.
        const int64_t Lo = std::min(First, Last), Hi = std::max(First, Last);
        if (StrictRange && (Lo < MinPage || Hi > MaxPage)) {
            Invalid = true;
            break;
        }
        const int64_t From = std::max<int64_t>(Lo, MinPage);
        const int64_t To = std::min<int64_t>(Hi, MaxPage);
        if (From > To) continue;
        const int64_t Step = First <= Last ? 1 : -1;
        const int64_t End = Step > 0 ? To : From;
        for (int64_t P = Step > 0 ? From : To;; P += Step) {
            const auto Page = static_cast<int32_t>(P);
            if (!AllowDuplicates && !Seen.AddUnique(static_cast<uint32_t>(Page))) {
                if (StrictDuplicates) {
                    Invalid = true;
                    break;
                }
            } else if (Pages.size() >= kMaxPages) {
                Full = true;
                break;
            } else {
                Pages.push_back(Page);
            }
            if (P == End) break;
        }
    }
    if (Invalid) {
        Pages.clear();
        return;
    }
    if (SortList) std::stable_sort(Pages.begin(), Pages.end());
}

std::u16string XMPPacketToWide(std::string_view Data) {
    static constexpr std::string_view Marker = "<?xpacket";
    if (Data.find(Marker) != std::string_view::npos) return UTF8ToWide(Data);
    std::string Wide;
    for (char C : Marker) {
        Wide += C;
        Wide += '\0';
    }
    const size_t At = Data.find(Wide);
    if (At == std::string_view::npos) return std::u16string();
    std::u16string Units(Data.size() / 2, u'\0');
    for (size_t I = 0; I < Units.size(); ++I)
        Units[I] = static_cast<char16_t>(static_cast<unsigned char>(Data[2 * I]) |
                                         (static_cast<unsigned char>(Data[2 * I + 1]) << 8));
    if (At % 2 == 0) return Units;
    std::u16string W;
    UTF16ToUTF16(Units, W, TUTF16Form::UTF16BE, TUTF16Form::UTF16LE, TBOMMode::Drop,
                 TInvalidMode::Replace);
    return W;
}

bool ProgIDExists(std::u16string_view ProgID) { return CLSIDFromProgID(ProgID); }

}  // namespace velmo
