#include "core/TextStrings.h"

#include <gtest/gtest.h>

#include <set>

#include "core/Unicode.h"

namespace velmo {
namespace {

std::string B(std::initializer_list<int> Bytes) {
    std::string S;
    for (int X : Bytes) S += static_cast<char>(X);
    return S;
}

std::u16string U(std::initializer_list<int> Units) {
    std::u16string S;
    for (int X : Units) S += static_cast<char16_t>(X);
    return S;
}

TEST(PDFDocEncoding, EveryByteRoundTripsWhereItHasAUniqueCharacter) {
    const auto& T = PDFDocEncodingTable();
    EXPECT_EQ(T[0x80], 0x2022);
    EXPECT_EQ(T[0xA0], 0x20AC);
    EXPECT_EQ(T[0x16], 0x0017);
    EXPECT_EQ(T[0x41], 0x41);
    EXPECT_EQ(T[0xE9], 0xE9);
    // Bytes whose character another byte already stands for cannot come back.
    const std::set<int> Lossy = {0x16, 0x9F, 0xAD};
    for (int Byte = 0; Byte < 256; ++Byte) {
        const std::string One(1, static_cast<char>(Byte));
        const std::u16string W = PDFTextStringToWideString(One);
        ASSERT_EQ(W.size(), 1u);
        ASSERT_EQ(W[0], T[Byte]);
        if (Lossy.count(Byte)) continue;
        EXPECT_EQ(UnicodeToPDFDocEncoding(W[0]), Byte) << Byte;
        EXPECT_EQ(WideStringToPDFDocEncoding(W), One) << Byte;
        EXPECT_EQ(WideStringToPDFTextString(W), One) << Byte;
    }
    EXPECT_EQ(UnicodeToPDFDocEncoding(0xFFFD), 0x7F);
    for (int Missing : {0x00A0, 0x00AD, 0x007F, 0x0016, 0x0018, 0x4E00})
        EXPECT_EQ(UnicodeToPDFDocEncoding(static_cast<char16_t>(Missing)), -1) << Missing;
}

TEST(PDFTextString, FromWideStrings) {
    EXPECT_EQ(WideStringToPDFTextString(u"Caf\u00e9"), B({0x43, 0x61, 0x66, 0xE9}));
    EXPECT_EQ(WideStringToPDFTextString(u"Caf\u00e9", true),
              B({0xFE, 0xFF, 0x00, 0x43, 0x00, 0x61, 0x00, 0x66, 0x00, 0xE9}));
    // One character without a code turns the whole text into UTF-16.
    EXPECT_EQ(WideStringToPDFTextString(u"a\u00a0b"),
              B({0xFE, 0xFF, 0x00, 0x61, 0x00, 0xA0, 0x00, 0x62}));
    EXPECT_EQ(WideStringToPDFTextString(u"\u2022"), B({0x80}));
    EXPECT_EQ(WideStringToPDFTextString(U({0xD800})), B({0xFE, 0xFF, 0xFF, 0xFD}));
    EXPECT_EQ(WideStringToPDFTextString(U({0xD83D, 0xDE00})),
              B({0xFE, 0xFF, 0xD8, 0x3D, 0xDE, 0x00}));
    EXPECT_EQ(WideStringToPDFTextString(u""), "");
    EXPECT_EQ(WideStringToPDFTextString(u"", true), "");
    EXPECT_EQ(WideStringToPDFTextString(U({0xE701, 0xF800, 'x', 'y'})), "x");
    EXPECT_EQ(WideStringToPDFDocEncoding(u"a\u4e00\u2122"), B({'a', '?', 0x92}));
}

TEST(PDFTextString, ToWideStrings) {
    EXPECT_EQ(PDFTextStringToWideString(B({0xFE, 0xFF, 0x00, 0x41})), u"A");
    EXPECT_EQ(PDFTextStringToWideString(B({0xFF, 0xFE, 0x41, 0x00})), u"A");
    EXPECT_EQ(PDFTextStringToWideString(B({0xFF, 0xFE, 0x41, 0x00, 0x42})), u"A");
    EXPECT_EQ(PDFTextStringToWideString(B({0x80})), U({0x2022}));
    EXPECT_EQ(PDFTextStringToWideString(B({0x7F})), U({0xFFFD}));
    EXPECT_EQ(PDFTextStringToWideString(B({0xFE, 0xFF})), u"");
    EXPECT_EQ(PDFTextStringToWideString(B({0xFE, 0xFF, 0x00, 0x41, 0x42})), U({0x41, 0x4200}));
    EXPECT_EQ(PDFTextStringToWideString(B({0xFE, 0xFF, 0xD8, 0x00, 0x00, 0x41})),
              U({0xFFFD}));  // the high surrogate takes the unit after it
    EXPECT_EQ(PDFTextStringToWideString(B({0xFE})), U({0xFE}));

    EXPECT_EQ(PDFTextStringToWideRaw(B({0xFE, 0xFF, 0xD8, 0x00, 0x41})), U({0xD800, 0x4100}));
    EXPECT_EQ(PDFTextStringToWideRaw(B({0xFF, 0xFE, 0x41})), U({0xFF, 0xFE, 0x41}));
    EXPECT_EQ(PDFTextStringToUTF8(B({0xFE, 0xFF, 0x00, 0xE9})), "\xC3\xA9");
    EXPECT_EQ(PDFTextStringToUTF8(B({0x80, 0x41})),
              "\xE2\x80\xA2"
              "A");
}

TEST(PDFTextString, SmallConverters) {
    EXPECT_EQ(WinAnsiToPDFDocEncoding(B({0x80})), B({0xA0}));
    EXPECT_EQ(WinAnsiToPDFDocEncoding(B({0x93})), B({0x8D}));
    EXPECT_EQ(WinAnsiToPDFDocEncoding(B({0xFE, 0xFF, 0x93})), B({0xFE, 0xFF, 0x93}));
    EXPECT_EQ(WinAnsiToPDFDocEncoding("abc"), "abc");
    // The re-coding keeps the character for every byte that both encodings hold.
    const char16_t WinAnsiHigh[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    for (int I = 0; I < 32; ++I) {
        if (!WinAnsiHigh[I]) continue;
        const std::string Re = WinAnsiToPDFDocEncoding(std::string(1, static_cast<char>(0x80 + I)));
        EXPECT_EQ(PDFDocEncodingTable()[static_cast<unsigned char>(Re[0])], WinAnsiHigh[I]) << I;
    }
    EXPECT_EQ(ASCIIToWideString(B({0x41, 0x7F, 0xE9})), U({0x41, 0xFFFD, 0xFFFD}));
    EXPECT_EQ(WideStringToLatin1(u"a\u20acb\u00ff"), "ab\xFF");
}

}  // namespace
}  // namespace velmo
