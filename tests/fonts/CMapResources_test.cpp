// CMap resources of a font collection: predefined CMaps shared by the process,
// parents, code splits by code space, and the ranges of ToUnicode CMaps.
#include "fonts/CMapResources.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace velmo {
namespace {

std::string Bytes(std::initializer_list<int> Values) {
    std::string s;
    for (int v : Values) s += static_cast<char>(v);
    return s;
}

TCMapCodeList Split(const TPDFCMapResources& R, int Id, const std::string& Text) {
    TCMapCodeList codes{0xDEAD};
    R.ResourceCMapCodeSplit(Id, Text, codes);
    return codes;
}

TEST(CMapResources, EveryPredefinedNameLoadsOnceWithItsParent) {
    TPDFCMapResources r;
    for (int k = 1; k <= kPredefinedCMapCount; ++k) {
        const std::string name(PredefinedCMapName(k));
        SCOPED_TRACE(name);
        const int id = r.GetCMAP(name);
        ASSERT_GE(id, 0);
        EXPECT_EQ(r.CMapName(id), name);
        // The collection refers to the process-wide CMap, never a copy.
        EXPECT_EQ(r.CMap(id), SharedPredefinedCMap(k));
        const std::string& parent = r.CMap(id)->UseCMapName();
        if (parent.empty()) {
            EXPECT_EQ(r.UseCMap(id), -1);
        } else {
            ASSERT_GE(r.UseCMap(id), 0);
            EXPECT_EQ(r.CMapName(r.UseCMap(id)), parent);
        }
    }
    // Parents loaded with their children are found again by name.
    EXPECT_EQ(r.CMapCount(), kPredefinedCMapCount);

    // A second collection shares the same parsed CMaps.
    TPDFCMapResources other;
    const int id = other.GetCMAP("UniJIS-UTF32-V");
    ASSERT_EQ(id, 0);
    EXPECT_EQ(other.CMap(id), r.CMap(r.GetCMAP("UniJIS-UTF32-V")));
    EXPECT_EQ(other.CMapName(other.UseCMap(id)), "UniJIS-UTF32-H");
    EXPECT_EQ(other.CMapCount(), 2);
}

TEST(CMapResources, UnknownNamesGiveNoCMap) {
    TPDFCMapResources r;
    for (const char* name : {"UniGB-UTF32-V", "", "identity-h", "Identity-H ", "Nope"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(r.GetCMAP(name), -1);
    }
    EXPECT_EQ(r.CMapCount(), 0);
    EXPECT_EQ(r.CMap(-1), nullptr);
    EXPECT_EQ(r.CMap(0), nullptr);
    EXPECT_EQ(r.ResourceCMapGetValue(-1, 0x41), -1);
    EXPECT_EQ(r.ResourceCMapGetValue(0, 0x41), -1);
    TCMapCodeList codes{7};
    EXPECT_FALSE(r.ResourceCMapCodeSplit(-1, "AB", codes));
    EXPECT_FALSE(r.ResourceCMapCodeSplit(3, "AB", codes));
    EXPECT_EQ(codes, TCMapCodeList{7});
}

TEST(CMapResources, IdIsReusedWithoutGrowingTheList) {
    TPDFCMapResources r;
    const int identity = r.GetCMAP("Identity-H");
    ASSERT_EQ(identity, 0);
    EXPECT_EQ(r.GetCMAP("Identity-H"), identity);
    // A name already registered parses nothing, whatever text comes with it.
    EXPECT_EQ(r.ResourcesAddCMapFromString("Identity-H", "garbage"), identity);
    EXPECT_EQ(r.CMapCount(), 1);
    EXPECT_EQ(r.ResourceCMapGetValue(identity, 0x1234), 0x1234);

    // The parent loaded with a child is the one found by its own name.
    const int vertical = r.GetCMAP("UniJIS-UTF32-V");
    EXPECT_EQ(r.GetCMAP("UniJIS-UTF32-H"), r.UseCMap(vertical));
    EXPECT_EQ(r.CMapCount(), 3);

    // An empty name never matches: each call adds a CMap.
    const std::string text =
        "/CMapType 1 def begincmap 1 begincidrange <00> <FF> 5 endcidrange endcmap";
    EXPECT_EQ(r.ResourcesAddCMapFromString("", text), 3);
    EXPECT_EQ(r.ResourcesAddCMapFromString("", text), 4);
    // A name registered from text is found by GetCMAP before any predefined one.
    const int own = r.ResourcesAddCMapFromString("90ms-RKSJ-H", text);
    EXPECT_EQ(r.GetCMAP("90ms-RKSJ-H"), own);
    EXPECT_EQ(r.ResourceCMapGetValue(own, 0x41), 5 + 0x41);
}

TEST(CMapResources, ParentAnswersOneLevelOnly) {
    // ETenms-B5-V uses ETenms-B5-H, which uses ETen-B5-H.
    TPDFCMapResources r;
    const int v = r.GetCMAP("ETenms-B5-V");
    const int h = r.UseCMap(v);
    ASSERT_GE(h, 0);
    EXPECT_EQ(r.CMapName(h), "ETenms-B5-H");
    const int grand = r.UseCMap(h);
    ASSERT_GE(grand, 0);
    EXPECT_EQ(r.CMapName(grand), "ETen-B5-H");
    EXPECT_EQ(r.CMapCount(), 3);

    EXPECT_EQ(r.ResourceCMapGetValue(v, 0xA15D), 130);            // its own
    EXPECT_EQ(r.ResourceCMapGetValue(v, 0x41), 0x41 - 0x20 + 1);  // its parent's
    EXPECT_EQ(r.ResourceCMapGetValue(grand, 0xA140), 99);
    EXPECT_EQ(r.ResourceCMapGetValue(h, 0xA140), 99);  // parent of h
    EXPECT_EQ(r.ResourceCMapGetValue(v, 0xA140), -1);  // grandparent of v
    EXPECT_EQ(r.ResourceCMapGetValue(r.GetCMAP("90ms-RKSJ-H"), 0x8140), 633);
}

TEST(CMapResources, SplitOfOneAndTwoByteCMaps) {
    TPDFCMapResources r;
    // One-byte CMaps, with and without code-space ranges: 41 maps, 81 does not.
    const int plain = r.ResourcesAddCMapFromString(
        "plain",
        "/CMapType 1 def begincmap 1 begincidrange <41> <41> 7 endcidrange "
        "1 begincidrange <8140> <8140> 9 endcidrange endcmap");
    const int spaced = r.ResourcesAddCMapFromString(
        "spaced",
        "/CMapType 1 def begincmap 2 begincodespacerange <00> <80> <8140> <9FFC> endcodespacerange "
        "1 begincidrange <41> <41> 7 endcidrange "
        "1 begincidrange <8140> <8140> 9 endcidrange endcmap");
    const int pairs = r.ResourcesAddCMapFromString(
        "pairs", "/CMapType 1 def begincmap 1 begincidrange <0000> <FFFF> 0 endcidrange endcmap");
    ASSERT_TRUE(r.CMap(plain)->SingleByteCMap());
    const std::string text = Bytes({0x41, 0x81, 0x40});
    EXPECT_EQ(Split(r, plain, text), (TCMapCodeList{0x41, 0x8140}));
    EXPECT_EQ(Split(r, spaced, text), (TCMapCodeList{0x41, 0x8140}));
    EXPECT_EQ(r.ResourceCMapGetValue(plain, 0x8140), 9);
    // Byte pairs; the odd last byte is dropped.
    EXPECT_EQ(Split(r, pairs, text), (TCMapCodeList{0x4181}));
    // Empty text: no codes, the list untouched.
    TCMapCodeList codes{1, 2};
    EXPECT_FALSE(r.ResourceCMapCodeSplit(plain, "", codes));
    EXPECT_EQ(codes, (TCMapCodeList{1, 2}));

    // A mixed one- and two-byte encoding whose vertical CMap and its parent
    // have no code space of their own splits by the grandparent's.
    const int v = r.GetCMAP("ETenms-B5-V");
    EXPECT_EQ(Split(r, v, Bytes({0x41, 0xA1, 0x5D, 0x20})), (TCMapCodeList{0x41, 0xA15D, 0x20}));
}

TEST(CMapResources, UnicodeCMapsSplitByTheirCodeSpace) {
    TPDFCMapResources r;
    const int utf8 = r.GetCMAP("UniJIS-UTF8-H");
    const int utf8v = r.GetCMAP("UniJIS-UTF8-V");
    const int utf16 = r.GetCMAP("UniJIS-UTF16-H");
    const int utf32 = r.GetCMAP("UniJIS-UTF32-H");
    const int utf32v = r.GetCMAP("UniJIS-UTF32-V");

    // "A", U+4E00, U+2000B and U+00E9 in each form.
    const std::string u8 = Bytes({0x41, 0xE4, 0xB8, 0x80, 0xF0, 0xA0, 0x80, 0x8B, 0xC3, 0xA9});
    const TCMapCodeList want8{0x41, 0xE4B880, 0xF0A0808B, 0xC3A9};
    EXPECT_EQ(Split(r, utf8, u8), want8);
    EXPECT_EQ(Split(r, utf8v, u8), want8);
    const std::string u32 = Bytes({0, 0, 0, 0x41, 0, 0, 0x4E, 0, 0, 2, 0, 0x0B, 0, 0, 0, 0xE9});
    const TCMapCodeList want32{0x41, 0x4E00, 0x2000B, 0xE9};
    EXPECT_EQ(Split(r, utf32, u32), want32);
    EXPECT_EQ(Split(r, utf32v, u32), want32);
    const std::string u16 = Bytes({0, 0x41, 0x4E, 0, 0xD8, 0x40, 0xDC, 0x0B, 0, 0xE9});
    EXPECT_EQ(Split(r, utf16, u16), (TCMapCodeList{0x41, 0x4E00, 0xD840DC0B, 0xE9}));

    // Every form reaches the same CIDs.
    for (std::size_t i = 0; i < want8.size(); ++i) {
        SCOPED_TRACE(i);
        const int cid = r.ResourceCMapGetValue(utf32, want32[i]);
        EXPECT_GT(cid, 0);
        EXPECT_EQ(r.ResourceCMapGetValue(utf8, want8[i]), cid);
    }
    EXPECT_EQ(r.ResourceCMapGetValue(utf32, 0x4E00), 1200);

    // A truncated last character is dropped, and a stray byte outside every
    // range is taken alone.
    EXPECT_EQ(Split(r, utf8, Bytes({0x41, 0xE4, 0xB8})), (TCMapCodeList{0x41}));
    EXPECT_EQ(Split(r, utf8, Bytes({0x80, 0x41})), (TCMapCodeList{0x80, 0x41}));
    EXPECT_EQ(Split(r, utf32, Bytes({0, 0, 0x4E})), TCMapCodeList{});
}

// A stream that fails in the middle of reading.
class FailingStream : public TStream {
public:
    int64_t Read(void*, int64_t) override { throw std::runtime_error("read failed"); }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t, TSeekOrigin) override { return 0; }
};

TEST(CMapResources, CMapThatCannotBeReadTakesAnEmptySlot) {
    TPDFCMapResources r;
    const int first = r.ResourcesAddCMapFromString(
        "first", "/CMapType 1 def begincmap 1 begincidrange <0000> <00FF> 3 endcidrange endcmap");
    FailingStream failing;
    const int broken = r.ResourcesAddCMapFromStream("broken", failing);
    EXPECT_EQ(broken, first + 1);
    ASSERT_NE(r.CMap(broken), nullptr);
    EXPECT_EQ(r.CMapName(broken), "broken");
    EXPECT_EQ(r.ResourceCMapGetValue(broken, 0x41), -1);
    // The name is registered: asking again parses nothing and adds nothing.
    EXPECT_EQ(r.ResourcesAddCMapFromStream("broken", failing), broken);
    EXPECT_EQ(r.GetCMAP("broken"), broken);
    // The next CMap gets the next id and works.
    TStringStream good(
        "/CMapType 1 def begincmap 1 begincidrange <0000> <00FF> 10 endcidrange endcmap");
    const int next = r.ResourcesAddCMapFromStream("next", good);
    EXPECT_EQ(next, broken + 1);
    EXPECT_EQ(r.CMapCount(), 3);
    EXPECT_EQ(r.ResourceCMapGetValue(next, 2), 12);
    EXPECT_EQ(r.ResourceCMapGetValue(first, 2), 5);
}

// ---- ToUnicode ranges ---------------------------------------------------------

struct RangeCase {
    const char* Name;
    std::string Text;
    bool SingleByte;
    // Each expected entry: start, end, results.
    std::vector<std::tuple<int, int, std::vector<std::int32_t>>> Entries;
};

TEST(ToUnicodeRanges, SectionsAndValues) {
    const std::string cs1 = "1 begincodespacerange <00> <FF> endcodespacerange\n";
    const std::string cs2 = "1 begincodespacerange <0000> <FFFF> endcodespacerange\n";
    const RangeCase cases[] = {
        {"bf sections",
         cs1 + "2 beginbfchar <01> <0041> <02> <00660069> endbfchar\n"
               "1 beginbfrange <20> <22> <0030> endbfrange endcmap",
         true,
         {{1, 1, {0x41}}, {2, 2, {0x66, 0x69}}, {0x20, 0x22, {0x30}}}},
        {"bf range array stops at its bracket",
         cs2 + "2 beginbfrange <0010> <0013> [<0061> <0062>] <0020> <0020> <0040> endbfrange",
         false,
         {{0x10, 0x10, {0x61}}, {0x11, 0x11, {0x62}}, {0x20, 0x20, {0x40}}}},
        // Without bf sections, the CID sections give their values in decimal.
        {"cid range and char, decimal",
         cs1 + "1 begincidrange <20> <7E> 32 endcidrange\n"
               "2 begincidchar <80> 8364 <81> 65 endcidchar endcmap",
         true,
         {{0x20, 0x7E, {32}}, {0x80, 0x80, {8364}}, {0x81, 0x81, {65}}}},
        {"cid char alone",
         cs2 + "1 begincidchar <0003> 97 endcidchar endcmap",
         false,
         {{3, 3, {97}}}},
        {"cid range array",
         cs1 + "1 begincidrange <01> <02> [ 65 66 ] endcidrange",
         true,
         {{1, 1, {65}}, {2, 2, {66}}}},
        {"bf sections win over cid ones",
         cs1 + "1 begincidchar <05> 97 endcidchar 1 beginbfchar <06> <0062> endbfchar",
         true,
         {{6, 6, {0x62}}}},
        {"char section without end runs to endcmap",
         cs1 + "1 beginbfchar <07> <0063> endcmap <08> <0064>",
         true,
         {{7, 7, {0x63}}}},
        {"range section without end stops", cs1 + "1 beginbfrange <07> <08> <0063>", true, {}},
        {"codes beyond 16 bits and bad values are left out",
         cs2 + "3 beginbfchar <10000> <0041> <0001> <zz> <0002> <0042> endbfchar",
         false,
         {{2, 2, {0x42}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TPDFCMap ranges{{9, 9, {9}}};
        bool single = !c.SingleByte;
        ParseToUnicodeRanges(c.Text, ranges, single);
        EXPECT_EQ(single, c.SingleByte);
        ASSERT_EQ(ranges.size(), c.Entries.size());
        for (std::size_t i = 0; i < ranges.size(); ++i) {
            EXPECT_EQ(ranges[i].StartCode, std::get<0>(c.Entries[i])) << i;
            EXPECT_EQ(ranges[i].EndCode, std::get<1>(c.Entries[i])) << i;
            EXPECT_EQ(ranges[i].ResultCodes, std::get<2>(c.Entries[i])) << i;
        }
    }
}

TEST(ToUnicodeRanges, RangeOfSeveralUnitsAdvancesItsLastUnit) {
    const TPDFCMapEntry ligature{0x41, 0x43, {0x66, 0x69}};
    EXPECT_EQ(CMapEntryText(ligature, 0x41), u"fi");
    EXPECT_EQ(CMapEntryText(ligature, 0x42), u"fj");
    EXPECT_EQ(CMapEntryText(ligature, 0x43), u"fk");
    // A surrogate pair advances as one code point, across its low half.
    const TPDFCMapEntry astral{0x10, 0x12, {0x20, 0xD835, 0xDFFE}};
    EXPECT_EQ(CMapEntryText(astral, 0x11), (std::u16string{0x20, 0xD835, 0xDFFF}));
    EXPECT_EQ(CMapEntryText(astral, 0x12), (std::u16string{0x20, 0xD836, 0xDC00}));
    EXPECT_EQ(CMapEntryText(TPDFCMapEntry{0, 5, {}}, 3), u"");

    // The display table takes the same text; a later range overrides.
    std::array<std::u16string, 256> table;
    table[0x41] = u"A";
    table[0x50] = u"P";
    ApplyDisplayTable(table, {ligature, {0x43, 0x43, {0x78}}, {0x100, 0x200, {0x79}}});
    EXPECT_EQ(table[0x41], u"fi");
    EXPECT_EQ(table[0x42], u"fj");
    EXPECT_EQ(table[0x43], u"x");
    EXPECT_EQ(table[0x50], u"P");
}

}  // namespace
}  // namespace velmo
