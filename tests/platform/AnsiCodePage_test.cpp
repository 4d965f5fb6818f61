#include "platform/text/AnsiCodePage.h"

#include <gtest/gtest.h>
#include <iconv.h>

namespace velmo {
namespace {

// glibc's CP1252 table is the reference for every assigned byte.
TEST(AnsiCodePage, AgreesWithIconvAndRoundTrips) {
    iconv_t Cd = iconv_open("UTF-16LE", "CP1252");
    if (Cd == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "iconv has no CP1252";
    int Compared = 0;
    for (int Byte = 0; Byte < 256; ++Byte) {
        char In = static_cast<char>(Byte);
        char Out[4];
        char* InP = &In;
        char* OutP = Out;
        size_t InLeft = 1, OutLeft = sizeof Out;
        if (iconv(Cd, &InP, &InLeft, &OutP, &OutLeft) != static_cast<size_t>(-1)) {
            const char16_t Ref = static_cast<char16_t>(static_cast<unsigned char>(Out[0]) |
                                                       (static_cast<unsigned char>(Out[1]) << 8));
            EXPECT_EQ(AnsiCharToWide(static_cast<unsigned char>(Byte)), Ref) << Byte;
            ++Compared;
        }
        EXPECT_EQ(WideCharToAnsi(AnsiCharToWide(static_cast<unsigned char>(Byte))), Byte);
    }
    iconv_close(Cd);
    EXPECT_GE(Compared, 251);
}

TEST(AnsiCodePage, StringsAndMissingCharacters) {
    EXPECT_EQ(AnsiToWide("a\x80\xE9"), u"a\u20ac\u00e9");
    EXPECT_EQ(WideToAnsi(u"a\u20ac\u00e9"), "a\x80\xE9");
    EXPECT_EQ(WideToAnsi(u"\u4e00x"), "?x");
    EXPECT_EQ(WideToAnsi(u"\U0001F600x"), "?x");  // one character, one '?'
    EXPECT_EQ(WideToAnsi(u"\xD800x"), "?x");
    EXPECT_EQ(WideCharToAnsi(0x0100), -1);
}

}  // namespace
}  // namespace velmo
