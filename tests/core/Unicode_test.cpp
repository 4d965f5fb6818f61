#include "core/Unicode.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

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

TEST(Unicode, EverydayWrappersHandleMarksAndInvalidSequences) {
    const struct {
        std::string In;
        std::u16string Replaced;
        std::u16string Skipped;
    } Cases[] = {
        {B({0xEF, 0xBB, 0xBF, 0x41}), u"A", u"A"},
        {B({0xEF, 0xBB, 0xBF, 0xEF, 0xBB, 0xBF, 0x41}), u"A", u"A"},
        {B({0x41, 0xEF, 0xBB, 0xBF}), U({0x41, 0xFEFF}), U({0x41, 0xFEFF})},
        {B({0xC3, 0xA9}), U({0xE9}), U({0xE9})},
        {B({0xF0, 0x9F, 0x98, 0x80}), U({0xD83D, 0xDE00}), U({0xD83D, 0xDE00})},
        // An encoded surrogate: two bytes consumed, then the lone 80.
        {B({0xED, 0xA0, 0x80}), U({0xFFFD, 0xFFFD}), u""},
        // Replacing consumes E0 41; skipping drops only the lead byte.
        {B({0xE0, 0x41, 0x42}), U({0xFFFD, 0x42}), u"AB"},
        {B({0xE0, 0x41}), U({0xFFFD, 0x41}), u"A"},
        // C3 41: the 'A' goes with the invalid sequence.
        {B({0xC3, 0x41}), U({0xFFFD}), u""},
        {B({0xC0, 0x80}), U({0xFFFD, 0xFFFD}), u""},
        {B({0xF5, 0x41}), U({0xFFFD, 0x41}), u"A"},
        // Four-byte lead with exactly two bytes after it: two consumed, then one.
        {B({0xF0, 0x9F, 0x98}), U({0xFFFD, 0xFFFD}), u""},
        {B({0xF0, 0x9F}), U({0xFFFD, 0xFFFD}), u""},
        {B({0xF4, 0x90, 0x80, 0x80}), U({0xFFFD, 0xFFFD, 0xFFFD}), u""},
        {B({0xF0, 0x9F, 0x41, 0x80}), U({0xFFFD, 0xFFFD}), u""},
        {B({0xEF, 0xBF, 0xBE}), U({0xFFFD}), u""},  // U+FFFE
        {B({0xEF, 0xB7, 0x90}), U({0xFFFD}), u""},  // U+FDD0
        {B({0xEF, 0xBF, 0xBD, 0x41}), U({0xFFFD, 0x41}), u"A"},
        {"", u"", u""},
    };
    for (const auto& C : Cases) {
        EXPECT_EQ(UTF8ToWide(C.In), C.Replaced) << testing::PrintToString(C.In);
        EXPECT_EQ(UTF8ToWideSkipInvalid(C.In), C.Skipped) << testing::PrintToString(C.In);
    }
    EXPECT_FALSE(IsValidUTF8(B({0xEF, 0xBF, 0xBD})));
    EXPECT_TRUE(IsValidUTF8(""));
    EXPECT_TRUE(IsValidUTF8("plain \xC3\xA9"));
    EXPECT_FALSE(IsValidUTF8(B({0x41, 0xC3})));
}

TEST(Unicode, WideToUTF8ReplacesLoneSurrogatesAndDropsTheMark) {
    EXPECT_EQ(WideToUTF8(U({0xD800})), B({0xEF, 0xBF, 0xBD}));
    EXPECT_EQ(WideToUTF8(U({0xDC00, 0x41})), B({0xEF, 0xBF, 0xBD, 0x41}));
    // A high surrogate followed by a non-surrogate swallows it.
    EXPECT_EQ(WideToUTF8(U({0xD800, 0x41, 0x42})), B({0xEF, 0xBF, 0xBD, 0x42}));
    EXPECT_EQ(WideToUTF8(U({0xFEFF, 0xFEFF, 0x41})), "A");
    EXPECT_EQ(WideToUTF8(U({0xD83D, 0xDE00})), B({0xF0, 0x9F, 0x98, 0x80}));
    // A length-tagged string is unwrapped first.
    EXPECT_EQ(WideToUTF8(U({0xE702, 0xF800, 'h', 'i', 'x'})), "hi");
}

TEST(Unicode, ErrorModesAndMarks) {
    std::u16string W;
    const std::string Bad = B({0x41, 0xC3, 0x42});
    EXPECT_FALSE(
        UTF8ToUTF16(Bad, W, false, TUTF16Form::UTF16LE, TBOMMode::Write, TInvalidMode::Fail));
    EXPECT_EQ(W, U({0xFEFF}));
    EXPECT_FALSE(
        UTF8ToUTF16(Bad, W, false, TUTF16Form::UTF16LE, TBOMMode::Keep, TInvalidMode::Stop));
    EXPECT_EQ(W, u"A");
    EXPECT_TRUE(
        UTF8ToUTF16(Bad, W, false, TUTF16Form::UTF16BE, TBOMMode::Write, TInvalidMode::Replace));
    EXPECT_EQ(W, U({0xFFFE, 0x4100, 0xFDFF}));
    EXPECT_FALSE(
        UTF8ToUTF16("A", W, true, TUTF16Form::UTF16LE, TBOMMode::Keep, TInvalidMode::Replace));
    EXPECT_FALSE(
        UTF8ToUTF16("A", W, false, TUTF16Form::None, TBOMMode::Keep, TInvalidMode::Replace));
    // Pass writes the decoded value of a well-formed but invalid character.
    EXPECT_TRUE(UTF8ToUTF16(B({0xEF, 0xBF, 0xBE}), W, false, TUTF16Form::UTF16LE, TBOMMode::Keep,
                            TInvalidMode::Pass));
    EXPECT_EQ(W, U({0xFFFE}));
    // UCS-2 has no room above U+FFFF.
    EXPECT_TRUE(UTF8ToUTF16(B({0xF0, 0x9F, 0x98, 0x80}), W, false, TUTF16Form::UCS2LE,
                            TBOMMode::Keep, TInvalidMode::Replace));
    EXPECT_EQ(W, U({0xFFFD}));

    // From UCS-2 a valid pair is two invalid units.
    EXPECT_TRUE(UTF16ToUTF16(U({0xD83D, 0xDE00}), W, TUTF16Form::UCS2LE, TUTF16Form::UTF16LE,
                             TBOMMode::Keep, TInvalidMode::Replace));
    EXPECT_EQ(W, U({0xFFFD, 0xFFFD}));
    // Big-endian in, little-endian out, the mark dropped.
    EXPECT_TRUE(UTF16ToUTF16(U({0xFFFE, 0x4100, 0x3DD8, 0x00DE}), W, TUTF16Form::UTF16BE,
                             TUTF16Form::UTF16LE, TBOMMode::Drop, TInvalidMode::Replace));
    EXPECT_EQ(W, U({0x41, 0xD83D, 0xDE00}));
    // Converting in place works.
    W = U({0x4100, 0x4200});
    EXPECT_TRUE(UTF16ToUTF16(W, W, TUTF16Form::UTF16BE, TUTF16Form::UTF16LE, TBOMMode::Keep,
                             TInvalidMode::Replace));
    EXPECT_EQ(W, u"AB");

    std::string S;
    EXPECT_TRUE(
        UTF16ToUTF8(u"A", S, TUTF16Form::UTF16LE, TBOMMode::Write, TInvalidMode::Fail, false));
    EXPECT_EQ(S, B({0xEF, 0xBB, 0xBF, 0x41}));
    EXPECT_FALSE(UTF16ToUTF8(U({0x41, 0xDC00}), S, TUTF16Form::UTF16LE, TBOMMode::Write,
                             TInvalidMode::Fail, false));
    EXPECT_EQ(S, B({0xEF, 0xBB, 0xBF}));
}

TEST(Unicode, UnicodeBytesToWide) {
    EXPECT_EQ(UnicodeBytesToWide(B({0xFE, 0xFF, 0x00, 0x41, 0x00})), U({0x41, 0x00}));
    EXPECT_EQ(UnicodeBytesToWide(B({0xFE, 0xFF})), u"");
    EXPECT_EQ(UnicodeBytesToWide(B({0xFE, 0xFF, 0xD8, 0x3D, 0xDE, 0x00})), U({0xD83D, 0xDE00}));
    EXPECT_EQ(UnicodeBytesToWide(B({0xC3, 0xA9})), U({0xE9}));
    EXPECT_EQ(UnicodeBytesToWide(B({0xFE})), U({0xFFFD}));
}

std::string IconvUTF16LEToUTF8(const std::u16string& W) {
    iconv_t Cd = iconv_open("UTF-8", "UTF-16LE");
    if (Cd == reinterpret_cast<iconv_t>(-1)) return "iconv unavailable";
    std::string In(reinterpret_cast<const char*>(W.data()), W.size() * 2);
    std::string Out(W.size() * 4 + 16, '\0');
    char* InP = In.data();
    size_t InLeft = In.size();
    char* OutP = Out.data();
    size_t OutLeft = Out.size();
    size_t R = iconv(Cd, &InP, &InLeft, &OutP, &OutLeft);
    iconv_close(Cd);
    if (R == static_cast<size_t>(-1)) return "iconv failed";
    Out.resize(Out.size() - OutLeft);
    return Out;
}

TEST(Unicode, EveryScalarValueRoundTripsAndAgreesWithIconv) {
    // All scalar values in one text, in blocks so that a mismatch is easy to place.
    for (uint32_t Block = 0; Block <= 0x10FFFF; Block += 0x10000) {
        std::u16string W, Expected;
        auto Put = [](std::u16string& T, uint32_t CP) {
            if (CP < 0x10000) {
                T += static_cast<char16_t>(CP);
            } else {
                T += static_cast<char16_t>(0xD800 + ((CP - 0x10000) >> 10));
                T += static_cast<char16_t>(0xDC00 + ((CP - 0x10000) & 0x3FF));
            }
        };
        for (uint32_t CP = Block; CP < Block + 0x10000; ++CP) {
            if (CP >= 0xD800 && CP <= 0xDFFF) continue;
            Put(W, CP);
            const bool NonCharacter = (CP >= 0xFDD0 && CP <= 0xFDEF) || (CP & 0xFFFE) == 0xFFFE;
            Put(Expected, NonCharacter || CP == 0xFFFD ? 0xFFFD : CP);
        }
        std::string S;
        ASSERT_TRUE(
            UTF16ToUTF8(W, S, TUTF16Form::UTF16LE, TBOMMode::Keep, TInvalidMode::Pass, false));
        ASSERT_EQ(S, IconvUTF16LEToUTF8(W)) << "block " << Block;
        std::u16string Back;
        ASSERT_TRUE(
            UTF8ToUTF16(S, Back, false, TUTF16Form::UTF16LE, TBOMMode::Keep, TInvalidMode::Pass));
        ASSERT_EQ(Back, W) << "block " << Block;
        // The everyday wrappers keep every valid character and replace the rest.
        ASSERT_EQ(UTF8ToWide(S), Expected) << "block " << Block;
        ASSERT_EQ(WideToUTF8(W), IconvUTF16LEToUTF8(Expected)) << "block " << Block;
    }
}

}  // namespace
}  // namespace velmo
