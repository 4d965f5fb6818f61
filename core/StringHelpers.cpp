#include "core/StringHelpers.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

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

const double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10,
                         1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21,
                         1e22};

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

}  // namespace velmo
