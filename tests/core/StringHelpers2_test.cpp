// Byte-string, wide-string, date and list helpers.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <set>

#include "core/StringHelpers.h"
#include "platform/com/ClassRegistry.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

TEST(ByteStrings, PositionsAndSubstrings) {
    EXPECT_EQ(PosA("b", "abcb"), 2);
    EXPECT_EQ(PosA("", "abc"), 0);
    EXPECT_EQ(PosA("a", ""), 0);
    EXPECT_EQ(PosA("cd", "abc"), 0);
    EXPECT_EQ(PosA(std::string_view("\0b", 2), std::string_view("a\0b", 3)), 2);
    EXPECT_EQ(PosExA("b", "abcb", 3), 4);
    EXPECT_EQ(PosExA("b", "abcb", 4), 4);
    EXPECT_EQ(PosExA("b", "abcb", 5), 0);
    EXPECT_EQ(PosExA("cb", "abcb", 4), 0);
    EXPECT_EQ(PosExA("b", "abcb", 0), 0);

    EXPECT_EQ(TrimA(std::string(" \t\0x y\r\n", 8)), "x y");
    EXPECT_EQ(TrimA(" \x01 "), "");
    EXPECT_EQ(TrimA("\xA0x\xA0"), "\xA0x\xA0");

    EXPECT_EQ(CopyA("hello", 2, 3), "ell");
    EXPECT_EQ(CopyA("hello", 0, 2), "he");
    EXPECT_EQ(CopyA("hello", -5, 2), "he");
    EXPECT_EQ(CopyA("hello", 4, 100), "lo");
    EXPECT_EQ(CopyA("hello", 6, 1), "");
    EXPECT_EQ(CopyA("hello", 2, 0), "");
    EXPECT_EQ(CopyA("hello", 2, INT64_MAX), "ello");

    EXPECT_TRUE(StartsWithA("abc", "ab"));
    EXPECT_TRUE(StartsWithA("abc", ""));
    EXPECT_FALSE(StartsWithA("a", "ab"));
    EXPECT_TRUE(EndsWithA("abc", "bc"));
    EXPECT_FALSE(EndsWithA("c", "bc"));
    EXPECT_TRUE(EndsWithA("", ""));
}

TEST(ByteStrings, CaseAndComparisonIgnoreTheMachine) {
    // Bytes from 0x80 up are text of no known code page: they stay as they are.
    EXPECT_EQ(UpperCaseA("abz\x80\xE9\xFF[`{"), "ABZ\x80\xE9\xFF[`{");
    EXPECT_EQ(LowerCaseA("ABZ\x80\xC9\xDF@["), "abz\x80\xC9\xDF@[");
    const struct {
        const char* A;
        const char* B;
        int Str, Text;
    } Cases[] = {
        {"abc", "abc", 0, 0}, {"abc", "ABC", 1, 0}, {"ABC", "abd", -1, -1}, {"ab", "abc", -1, -1},
        {"b", "A", 1, 1},     {"_", "a", -1, -1},   {"\xE9", "\xC9", 1, 1}, {"", "", 0, 0},
        {"a", "", 1, 1},      {"Z", "a", -1, 1},
    };
    for (const auto& C : Cases) {
        EXPECT_EQ(CompareStrLocaleA(C.A, C.B), C.Str) << C.A << " " << C.B;
        EXPECT_EQ(CompareTextLocaleA(C.A, C.B), C.Text) << C.A << " " << C.B;
    }
}

TEST(ByteStrings, NumberText) {
    EXPECT_EQ(IntToHexA(255, 4), "00FF");
    EXPECT_EQ(IntToHexA(-1, 2), "FFFFFFFF");
    EXPECT_EQ(IntToHexA(0, 0), "0");
    EXPECT_EQ(StrToIntA(" -12"), -12);
    EXPECT_EQ(StrToIntA("$FFFFFFFC"), -4);
    EXPECT_THROW(StrToIntA("12x"), EConvertError);
    EXPECT_THROW(StrToIntA(""), EConvertError);

    const struct {
        double V;
        const char* S;
    } Floats[] = {
        {0, "0"},
        {1.5, "1.5"},
        {-2.25, "-2.25"},
        {0.1, "0.1"},
        {1e14, "100000000000000"},
        {1e15, "1E15"},
        {0.00001, "0.00001"},
        {0.000001, "1E-6"},
        {1.5e-7, "1.5E-7"},
        {123456.789, "123456.789"},
        {1.0 / 3, "0.333333333333333"},
        {45000.5, "45000.5"},
    };
    for (const auto& F : Floats) EXPECT_EQ(FloatToStrA(F.V), F.S) << F.V;
    EXPECT_EQ(FloatToStrA(std::nan("")), "NAN");

    const struct {
        const char* Format;
        double V;
        const char* S;
    } Pictures[] = {
        {"00", 5, "05"},
        {"00", 123, "123"},
        {"00", 2.5, "03"},
        {"0", -2.5, "-3"},
        {"0.00", 1.005, "1.00"},
        {"0.00", 3.14159, "3.14"},
        {"0.##", 2.5, "2.5"},
        {"0.##", 2, "2"},
        {"#,##0", 1234567, "1,234,567"},
        {"00000000", 42, "00000042"},
        {"0000000000", 1234, "0000001234"},
        {"0.00000000", 0.5, "0.50000000"},
        {"#", 0, "0"},
        {"0", -0.2, "0"},
        {"'x'0'y'", 7, "x7y"},
    };
    for (const auto& P : Pictures) EXPECT_EQ(FormatFloatA(P.Format, P.V), P.S) << P.Format;

    EXPECT_DOUBLE_EQ(StrToFloatA(" 1.5 "), 1.5);
    EXPECT_DOUBLE_EQ(StrToFloatA("-2e3"), -2000);
    EXPECT_DOUBLE_EQ(StrToFloatA("+.5"), 0.5);
    for (const char* Bad : {"", "1,5", "abc", "1.5x", "1e999", "-", "nan"})
        EXPECT_THROW(StrToFloatA(Bad), EConvertError) << Bad;
}

TEST(ByteStrings, ReplaceFieldsAndConversions) {
    EXPECT_EQ(StringReplaceAllA("a  b", " ", ""), "ab");
    EXPECT_EQ(StringReplaceAllA("x\\y", "\\", "\\\\"), "x\\\\y");
    EXPECT_EQ(StringReplaceAllA("aaa", "aa", "b"), "ba");
    EXPECT_EQ(StringReplaceAllA("abc", "", "x"), "abc");
    EXPECT_EQ(StringReplaceA("a(b)", "(", "\\(", 0), "a\\(b)");

    EXPECT_EQ(BoolToTF(true), "T");
    EXPECT_EQ(BoolToTF(false), "F");
    EXPECT_TRUE(TFToBool("T"));
    EXPECT_FALSE(TFToBool("t"));
    EXPECT_FALSE(TFToBool("T "));

    EXPECT_EQ(FieldCountA("", ' '), 1);
    EXPECT_EQ(FieldCountA(" a b", ' '), 3);
    const struct {
        const char* S;
        int Index;
        const char* Field;
    } Fields[] = {
        {"10 20 30", 2, "20"}, {"10 20 30", 4, ""}, {"", 1, ""},      {" a b", 1, " a"},
        {" a b", 2, "b"},      {"a  b", 2, ""},     {"a  b", 3, "b"}, {"10 20 30", 0, ""},
        {"a b", 1, "a"},       {"a b ", 3, ""},
    };
    for (const auto& F : Fields)
        EXPECT_EQ(GetFieldA(F.S, ' ', F.Index), F.Field) << F.S << " #" << F.Index;
    EXPECT_EQ(GetFieldA(std::string_view("a b\0c d", 7), ' ', 2), "b");
    EXPECT_EQ(GetFieldA(std::string_view("a b\0c d", 7), ' ', 3), "");
    EXPECT_EQ(GetFieldWide(u"x,y,z", u',', 3), u"z");
    EXPECT_EQ(FieldCountWide(u"x,y,z", u','), 3);

    EXPECT_EQ(AnsiBytesToString("a\x80\xFF"), u"a\u0080\u00ff");
    EXPECT_EQ(AnsiBytesToWide("\xE9"), u"\u00e9");
    EXPECT_EQ(StringToAnsiBytes(u"a\u20ac"), "a\xAC");
    EXPECT_EQ(WideToAnsiACP(u"a\u20ac\u4e00"), "a\x80?");
}

TEST(WideStrings, Operations) {
    EXPECT_EQ(PosWide(u"c", u"abc"), 3);
    EXPECT_EQ(PosWide(u"", u"abc"), 1);
    EXPECT_EQ(PosWide(u"", u""), 0);
    EXPECT_EQ(PosWide(u"x", u"abc"), 0);

    std::u16string S = u"held";
    InsertWide(u"llo wor", S, 3);
    EXPECT_EQ(S, u"hello world");
    InsertWide(u"!", S, 100);
    EXPECT_EQ(S, u"hello world!");
    InsertWide(u">", S, 0);
    EXPECT_EQ(S, u">hello world!");

    EXPECT_EQ(TrimSpacesWide(u"  a b\t "), u"a b\t");
    EXPECT_EQ(TrimSpacesWide(u"   "), u"");

    EXPECT_EQ(StringReplaceWide(u"aXbxc", u"x", u"-", 0), u"aXb-c");
    EXPECT_EQ(StringReplaceWide(u"aXbxc", u"x", u"-", 2), u"a-bxc");
    EXPECT_EQ(StringReplaceWide(u"aXbxc", u"x", u"-", 3), u"a-b-c");
    EXPECT_EQ(StringReplaceWide(u"aaa", u"a", u"aa", 1), u"aaaaaa");
    EXPECT_EQ(StringReplaceWide(u"", u"a", u"b", 1), u"");
    EXPECT_EQ(StringReplaceWide(u"abc", u"", u"b", 1), u"abc");

    const std::u16string Tagged = {0xE703, 0xF800, u'a', u'b', u'c', u'd'};
    EXPECT_EQ(UnwrapTaggedWide(Tagged), u"abc");
    const std::u16string LongTag = {0xE7FF, 0xF8FF, u'a', u'b'};
    EXPECT_EQ(UnwrapTaggedWide(LongTag), u"ab");
    const std::u16string Bare = {0xE703};
    EXPECT_EQ(UnwrapTaggedWide(Bare), Bare);
    EXPECT_EQ(UnwrapTaggedWide(u"plain"), u"plain");
    const std::u16string Big = {0x0201, 0xF800, u'a', 0x0100 + 0xE700};  // first tag byte wrong
    EXPECT_EQ(UnwrapTaggedWide(Big), Big);
    const std::u16string TagOnly = {0xE700 + 2, 0xF800};
    EXPECT_EQ(UnwrapTaggedWide(TagOnly), u"");
}

TEST(Numbers, PaddingAndSmallTests) {
    EXPECT_EQ(FormatNumberZeroPad(-1.5, 6, 4), "-001.5");
    EXPECT_EQ(FormatNumberZeroPad(1.5, 6, 4), "0001.5");
    EXPECT_EQ(FormatNumberZeroPad(1234567, 3, 0), "1234567");

    EXPECT_TRUE(SameDouble(1.0, 1.0 + 1e-13));
    EXPECT_FALSE(SameDouble(1.0, 1.0 + 1e-11));
    EXPECT_TRUE(SameDouble(0.0, 1e-12));
    EXPECT_TRUE(SameDouble(1e20, 1e20 + 1e7));
    EXPECT_FALSE(SameDouble(1e20, 1.00000001e20));

    EXPECT_TRUE(IsNaNSingle(0x7FC00000u));
    EXPECT_TRUE(IsNaNSingle(0xFF800001u));
    EXPECT_FALSE(IsNaNSingle(0x7F800000u));  // infinity
    EXPECT_FALSE(IsNaNSingle(0x3F800000u));

    TUInt128 V;
    V.Limbs[0] = 7;
    EXPECT_EQ(UInt128Mod(V, 3), 1u);
    // 2^96 mod 3 = 1; 2^96 mod 1000003 checked against 128-bit arithmetic.
    TUInt128 W;
    W.Limbs[3] = 1;
    EXPECT_EQ(UInt128Mod(W, 3), 1u);
    unsigned __int128 Full = (static_cast<unsigned __int128>(0xDEADBEEFu) << 96) |
                             (static_cast<unsigned __int128>(0x01234567u) << 64) |
                             (static_cast<unsigned __int128>(0x89ABCDEFu) << 32) | 0xFFFFFFFFu;
    TUInt128 X;
    X.Limbs[3] = 0xDEADBEEFu;
    X.Limbs[2] = 0x01234567u;
    X.Limbs[1] = 0x89ABCDEFu;
    X.Limbs[0] = 0xFFFFFFFFu;
    for (uint32_t D : {3u, 1000003u, 0xFFFFFFFFu})
        EXPECT_EQ(UInt128Mod(X, D), static_cast<uint32_t>(Full % D)) << D;
    EXPECT_EQ(UInt128Mod(X, 0), 0u);
}

// Runs the body under a time zone and restores the previous one.
class ZoneTest : public ::testing::Test {
protected:
    void SetZone(const char* Zone) {
        setenv("TZ", Zone, 1);
        tzset();
    }
    void SetUp() override {
        const char* Old = getenv("TZ");
        FHadZone = Old != nullptr;
        if (Old) FOldZone = Old;
    }
    void TearDown() override {
        if (FHadZone)
            setenv("TZ", FOldZone.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    bool FHadZone = false;
    std::string FOldZone;
};

TEST_F(ZoneTest, PDFDatesCarryTheZoneOfTheDate) {
    const TDateTime July = EncodeDateTime(2023, 7, 10, 14, 30, 5, 999);
    SetZone("UTC0");
    EXPECT_EQ(DateTimeToPDFDate(July, false), "D:20230710143005Z");
    EXPECT_EQ(DateTimeToPDFDate(July, true), "D:20230710143005Z");
    SetZone("<+08>-8");
    EXPECT_EQ(DateTimeToPDFDate(July, false), "D:20230710143005+08'00'");
    EXPECT_EQ(DateTimeToPDFDate(July, true), "D:20230710223005+08'00'");
    SetZone("<-05>5");
    EXPECT_EQ(DateTimeToPDFDate(July, false), "D:20230710143005-05'00'");
    EXPECT_EQ(DateTimeToPDFDate(July, true), "D:20230710093005-05'00'");
    SetZone("<+0530>-5:30");
    EXPECT_EQ(DateTimeToPDFDate(July, true), "D:20230710200005+05'30'");
    // Daylight saving: each date has the offset in force on that date.
    SetZone("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(DateTimeToPDFDate(July, false), "D:20230710143005+02'00'");
    const TDateTime January = EncodeDateTime(2023, 1, 10, 12, 0, 0, 0);
    EXPECT_EQ(DateTimeToPDFDate(January, false), "D:20230110120000+01'00'");
    EXPECT_EQ(DateTimeToPDFDate(January, true), "D:20230110130000+01'00'");
    // Nonsense values still give a date.
    EXPECT_EQ(DateTimeToPDFDate(std::nan(""), false).substr(0, 10), "D:18991230");
    EXPECT_EQ(DateTimeToPDFDate(1e300, false).substr(0, 6), "D:9999");
}

TEST_F(ZoneTest, NowAsPDFDateMatchesTheClock) {
    SetZone("<-05>5");
    const std::time_t Before = std::time(nullptr);
    const std::string S = NowAsPDFDate();
    ASSERT_EQ(S.size(), 23u) << S;
    EXPECT_EQ(S.substr(16), "-05'00'");
    std::time_t Shifted = Before - 5 * 3600;
    std::tm T{};
    gmtime_r(&Shifted, &T);
    char Day[16];
    std::strftime(Day, sizeof Day, "D:%Y%m%d", &T);
    EXPECT_EQ(S.substr(0, 10), Day);
}

TEST_F(ZoneTest, MillisecondsSinceCountsFromUTCOrLocalTime) {
    SetZone("<+03>-3");
    const std::time_t Then = std::time(nullptr) - 60;
    std::tm G{};
    gmtime_r(&Then, &G);
    TSystemTime T;
    T.wYear = static_cast<uint16_t>(G.tm_year + 1900);
    T.wMonth = static_cast<uint16_t>(G.tm_mon + 1);
    T.wDay = static_cast<uint16_t>(G.tm_mday);
    T.wHour = static_cast<uint16_t>(G.tm_hour);
    T.wMinute = static_cast<uint16_t>(G.tm_min);
    T.wSecond = static_cast<uint16_t>(G.tm_sec);
    const int32_t Utc = MillisecondsSince(T, true);
    EXPECT_GE(Utc, 60000);
    EXPECT_LT(Utc, 70000);
    // The same fields read as local time lie three hours earlier.
    const int32_t Local = MillisecondsSince(T, false);
    EXPECT_NEAR(Local - Utc, 3 * 3600 * 1000, 5000);
}

TEST(DateTime, EncodeDecodeAndPictures) {
    EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30, 0, 0, 0, 0), 0);
    EXPECT_DOUBLE_EQ(EncodeDateTime(1900, 1, 1, 12, 0, 0, 0), 2.5);
    EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0, 0), -1.25);
    int Y, Mo, D, H, Mi, S, Ms;
    DecodeDateTime(EncodeDateTime(2024, 2, 29, 23, 59, 59, 999), Y, Mo, D, H, Mi, S, Ms);
    EXPECT_EQ(std::vector<int>({Y, Mo, D, H, Mi, S, Ms}),
              std::vector<int>({2024, 2, 29, 23, 59, 59, 999}));
    DecodeDateTime(-1.25, Y, Mo, D, H, Mi, S, Ms);
    EXPECT_EQ(std::vector<int>({Y, Mo, D, H}), std::vector<int>({1899, 12, 29, 6}));
    const TDateTime V = EncodeDateTime(2023, 7, 4, 9, 5, 3, 7);
    EXPECT_EQ(FormatDateTimeA("yyyymmdd", V), "20230704");
    EXPECT_EQ(FormatDateTimeA("hhmmss", V), "090503");
    EXPECT_EQ(FormatDateTimeA("yy-m-d h:nn:ss.zzz", V), "23-7-4 9:05:03.007");
    EXPECT_EQ(FormatDateTimeA("dd/mm 'at' hh:mm", V), "04/07 at 09:05");
}

TEST(NewUniqueID, EightHexDigitsNeverRepeated) {
    std::set<std::string> Seen;
    for (int I = 0; I < 20000; ++I) {
        const std::string Id = NewUniqueID();
        ASSERT_EQ(Id.size(), 8u);
        ASSERT_EQ(Id.find_first_not_of("0123456789abcdef"), std::string::npos) << Id;
        ASSERT_TRUE(Seen.insert(Id).second) << Id;
    }
}

TEST(ParsePageRangeList, Table) {
    const struct {
        const char* Text;
        int Min, Max;
        bool StrictRange, StrictChars, StrictDup, AllowDup, Sort;
        std::vector<int32_t> Pages;
    } Cases[] = {
        {"1-3,2,9", 1, 5, false, false, false, true, false, {1, 2, 3, 2}},
        {"1-3,2,9", 1, 5, false, false, false, false, false, {1, 2, 3}},
        {"3-1", 1, 5, false, false, false, true, false, {3, 2, 1}},
        {"3-1", 1, 5, false, false, false, true, true, {1, 2, 3}},
        {"5-3,1", 1, 9, false, false, false, true, true, {1, 3, 4, 5}},
        {"a", 1, 5, false, false, false, true, false, {}},
        {"", 1, 5, false, false, false, true, false, {}},
        {"1 2", 1, 20, false, false, false, true, false, {12}},
        {"1 2", 1, 20, false, true, false, true, false, {}},
        {",-5,3-,1-3-5,,2", 1, 9, false, false, false, true, false, {2}},
        {"0-2", 1, 5, false, false, false, true, false, {1, 2}},
        {"0-2", 1, 5, true, false, false, true, false, {}},
        {"1,1", 1, 5, false, false, true, false, false, {}},
        {"1,1", 1, 5, false, false, true, true, false, {1, 1}},
        {"99999999999,2", 1, 5, false, false, false, true, false, {2}},
        {"4-2000000000", 1, 6, false, false, false, true, false, {4, 5, 6}},
        {"2000000000-1", 1, 3, false, false, false, true, false, {3, 2, 1}},
        {"1-2147483647",
         2147483640,
         2147483647,
         false,
         false,
         false,
         true,
         false,
         {2147483640, 2147483641, 2147483642, 2147483643, 2147483644, 2147483645, 2147483646,
          2147483647}},
    };
    for (const auto& C : Cases) {
        TVelmoPDFPageList Pages = {77};
        ParsePageRangeList(C.Text, C.Min, C.Max, C.StrictRange, C.StrictChars, C.StrictDup,
                           C.AllowDup, C.Sort, Pages);
        EXPECT_EQ(Pages, C.Pages) << C.Text;
    }
}

TEST(ParsePageRangeList, HugeRangesAreClampedBeforeTheWalk) {
    const double Start = vpltest::ThreadSeconds();
    TVelmoPDFPageList Pages;
    ParsePageRangeList("1-2000000000", 1, 10, false, false, false, true, false, Pages);
    EXPECT_EQ(Pages.size(), 10u);
    // Repeated ranges with duplicates allowed stay bounded too.
    std::string Many;
    for (int I = 0; I < 200; ++I) Many += "1-2000000000,";
    ParsePageRangeList(Many, 1, 2000000000, false, false, false, true, false, Pages);
    EXPECT_LE(Pages.size(), size_t(1) << 22);
    EXPECT_LT(vpltest::ThreadSeconds() - Start, 20);
}

TEST(XMPPacketToWide, FindsTheEncodingByThePacketHeader) {
    EXPECT_EQ(XMPPacketToWide("<?xpacket begin=\"\xC3\xA9\"?>"), u"<?xpacket begin=\"\u00e9\"?>");
    EXPECT_EQ(XMPPacketToWide("<x:xmpmeta/>"), u"");
    std::string LE, BE;
    for (char16_t C : std::u16string(u"\uFEFF<?xpacket?>")) {
        LE += static_cast<char>(C & 0xFF);
        LE += static_cast<char>(C >> 8);
        BE += static_cast<char>(C >> 8);
        BE += static_cast<char>(C & 0xFF);
    }
    EXPECT_EQ(XMPPacketToWide(LE), u"\uFEFF<?xpacket?>");  // the mark stays
    EXPECT_EQ(XMPPacketToWide(BE), u"<?xpacket?>");
    EXPECT_EQ(XMPPacketToWide(LE + "x"), u"\uFEFF<?xpacket?>");  // odd byte dropped
}

TEST(ProgIDExists, AsksTheClassRegistry) {
    EXPECT_FALSE(ProgIDExists(u"Velmo.Test.Class"));
    RegisterProgID(u"Velmo.Test.Class");
    EXPECT_TRUE(ProgIDExists(u"velmo.test.CLASS"));
}

}  // namespace
}  // namespace velmo
