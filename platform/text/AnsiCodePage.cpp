#include "platform/text/AnsiCodePage.h"

#include <array>

namespace velmo {

namespace {

constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

char16_t AnsiCharToWide(unsigned char C) {
    return C >= 0x80 && C < 0xA0 ? kHigh[C - 0x80] : static_cast<char16_t>(C);
}

int WideCharToAnsi(char16_t U) {
    if (U < 0x80 || (U >= 0xA0 && U <= 0xFF)) return U;
    for (int I = 0; I < 32; ++I)
        if (kHigh[I] == U) return 0x80 + I;
    return -1;
}

std::u16string AnsiToWide(std::string_view S) {
    std::u16string W(S.size(), u'\0');
    for (size_t I = 0; I < S.size(); ++I) W[I] = AnsiCharToWide(static_cast<unsigned char>(S[I]));
    return W;
}

std::string WideToAnsi(std::u16string_view W, char DefaultChar) {
    std::string Out;
    Out.reserve(W.size());
    for (size_t I = 0; I < W.size(); ++I) {
        const char16_t U = W[I];
        const int B = WideCharToAnsi(U);
        if (B >= 0) {
            Out += static_cast<char>(B);
            continue;
        }
        Out += DefaultChar;
        if (U >= 0xD800 && U <= 0xDBFF && I + 1 < W.size() && W[I + 1] >= 0xDC00 &&
            W[I + 1] <= 0xDFFF)
            ++I;
    }
    return Out;
}

}  // namespace velmo
