// The font collection: entries found again by object number, the codes of
// shown strings, the Unicode text of codes, and the interval maps behind CID
// widths and ToUnicode ranges.
#include "fonts/FontCollection.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "core/Structure.h"

namespace velmo {
namespace {

std::string Bytes(std::initializer_list<int> Values) {
    std::string s;
    for (int v : Values) s += static_cast<char>(v);
    return s;
}

TPDFCMap Ranges(std::string_view ToUnicode) {
    TPDFCMap r;
    bool singleByte = false;
    ParseToUnicodeRanges(ToUnicode, r, singleByte);
    return r;
}

// A collection whose current font is one entry filled by the test.
struct Current {
    TPDFFontCollection Col;
    TPDFFontCollectionData* Font;
    Current() {
        TPDFStructure s;
        Col.GetFontData(s.NewIndirectRef(3, 0));
        Font = Col.FoundFontData();
    }
};

TEST(FontCollection, FontsAreFoundAgainByObjectNumber) {
    TPDFStructure s;
    TPDFFontCollection col;
    EXPECT_EQ(col.FoundFontData(), nullptr);
    col.FastGetFontData(12);
    EXPECT_EQ(col.FoundFontData(), nullptr);

    col.GetFontData(s.NewIndirectRef(12, 0));
    TPDFFontCollectionData* twelve = col.FoundFontData();
    col.GetFontData(s.NewIndirectRef(7, 0));
    TPDFFontCollectionData* seven = col.FoundFontData();
    ASSERT_NE(twelve, nullptr);
    ASSERT_NE(seven, nullptr);
    EXPECT_NE(twelve, seven);
    EXPECT_EQ(twelve->ObjNum, 12);
    EXPECT_EQ(seven->ObjNum, 7);
    EXPECT_EQ(col.FontDataCount(), 2u);

    // Found again without a new analysis, in either order and by either call.
    col.GetFontData(s.NewIndirectRef(12, 0));
    EXPECT_EQ(col.FoundFontData(), twelve);
    col.FastGetFontData(7);
    EXPECT_EQ(col.FoundFontData(), seven);
    col.GetFontData(s.NewIndirectRef(7, 0));
    EXPECT_EQ(col.FoundFontData(), seven);
    EXPECT_EQ(col.FontDataCount(), 2u);
    // An unknown number leaves the current font.
    col.FastGetFontData(99);
    EXPECT_EQ(col.FoundFontData(), seven);
    col.GetFontData(nullptr);
    EXPECT_EQ(col.FoundFontData(), seven);
}

TEST(FontCollection, NewEntryHoldsTheInitialValues) {
    TPDFStructure s;
    TPDFFontCollection col;
    col.GetFontData(s.NewIndirectRef(5, 0));
    const TPDFFontCollectionData* f = col.FoundFontData();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->FontName, "Arial");
    EXPECT_EQ(f->Encoding[65], "A");
    EXPECT_EQ(f->Encoding[32], "space");
    EXPECT_EQ(f->DisplayCSW[65], u"A");
    EXPECT_EQ(f->Widths[65], 0);
    EXPECT_EQ(f->DW2_v, 880);
    EXPECT_EQ(f->DW2_w1, -1000);
    EXPECT_EQ(f->GIDToCIDMap, -1);
    EXPECT_EQ(f->Rasterizer, nullptr);
    EXPECT_EQ(f->CIDWidths, nullptr);
    EXPECT_EQ(f->ToUnicodeMap, nullptr);
    EXPECT_EQ(f->CIDToGIDMap, nullptr);
    EXPECT_FALSE(f->IsComposite || f->Embedded || f->Subsetted || f->HasOwnCIDToGIDMap);
    EXPECT_EQ(f->Enc, peStandard);
    EXPECT_TRUE(f->CIDSystemInfo.empty());
    EXPECT_TRUE(f->DisplayCS2.Empty());
}

TEST(FontCollection, DirectDictionariesAppendEveryTimeAndJoinTheIndexLater) {
    TPDFStructure s;
    TPDFFontCollection col;
    TPDFDictionary* dict = s.NewDictionary();
    col.GetFontDataFromDict(dict);
    TPDFFontCollectionData* first = col.FoundFontData();
    col.GetFontDataFromDict(dict);
    TPDFFontCollectionData* second = col.FoundFontData();
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(second->ObjNum, 0);
    EXPECT_EQ(col.FontDataCount(), 2u);

    // Number 0 is not indexed until a font is next analysed by reference;
    // then the first entry holding it keeps it.
    col.FastGetFontData(0);
    EXPECT_EQ(col.FoundFontData(), second);
    col.GetFontData(s.NewIndirectRef(9, 0));
    col.FastGetFontData(0);
    EXPECT_EQ(col.FoundFontData(), first);
}

TEST(FontCollection, ReferencesResolveThroughTheLookupWhenAssigned) {
    TPDFStructure s;
    TPDFFontCollection col;
    TPDFDictionary* target = s.NewDictionary();
    TPDFIndRef* ref = s.NewIndirectRef(4, 0);
    EXPECT_EQ(col.FindObject(ref), nullptr);  // no lookup anywhere
    EXPECT_EQ(col.FindObject(target), target);
    int calls = 0;
    col.FOnFindObject = [&](TPDFIndRef* R) -> TPDFObject* {
        ++calls;
        return R->ObjNum == 4 ? target : nullptr;
    };
    EXPECT_EQ(col.FindObject(ref), target);
    EXPECT_EQ(calls, 1);
}

TEST(FontCollection, CodeLists) {
    Current c;
    TCMapCodeList codes{0xDEAD};
    // Without a character collection: byte pairs, an odd last byte dropped.
    c.Col.GetCodeList(Bytes({0x00, 0x41, 0x00}), codes);
    EXPECT_EQ(codes, (TCMapCodeList{65}));
    c.Col.GetCodeList("", codes);
    EXPECT_TRUE(codes.empty());

    // A character collection without a CMap gives no codes.
    c.Font->IsComposite = true;
    c.Font->CIDSystemInfo = "Adobe-Japan1-6";
    codes = {0xDEAD};
    c.Col.GetCodeList(Bytes({0x00, 0x41}), codes);
    EXPECT_TRUE(codes.empty());

    // With one, the CMap splits: one byte where it maps, two otherwise.
    c.Font->GIDToCIDMap = c.Col.CMaps().ResourcesAddCMapFromString(
        "mixed",
        "/CMapType 1 def begincmap 2 begincodespacerange <00> <80> <8140> <9FFC> "
        "endcodespacerange 1 begincidrange <41> <41> 7 endcidrange "
        "1 begincidrange <8140> <8140> 9 endcidrange endcmap");
    c.Col.GetCodeList(Bytes({0x41, 0x81, 0x40}), codes);
    EXPECT_EQ(codes, (TCMapCodeList{0x41, 0x8140}));
    EXPECT_EQ(c.Col.ResourceCMapGetValue(c.Font->GIDToCIDMap, 0x8140), 9);
    c.Font->GIDToCIDMap = c.Col.CMaps().GetCMAP("Identity-H");
    c.Col.GetCodeList(Bytes({0x12, 0x34, 0x00, 0x41}), codes);
    EXPECT_EQ(codes, (TCMapCodeList{0x1234, 0x41}));
}

TEST(FontCollection, WideMapOfCompositeFonts) {
    Current c;
    c.Font->IsComposite = true;
    c.Font->DisplayCS2.Assign(
        Ranges("1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
               "4 beginbfrange\n"
               "<0020> <0022> <0041>\n"
               "<0030> <0031> [<0061> <0062>]\n"
               "<0040> <0040> <00410042>\n"
               "<0041> <0041> <004100>\n"
               "endbfrange\n"
               "3 beginbfrange\n"
               "<0050> <0052> <00660069>\n"
               "<0060> <006F> <0058>\n"
               "<0065> <0065> <0059>\n"
               "endbfrange\n"));
    const struct {
        std::int64_t Code;
        std::u16string Text;
    } cases[] = {
        {0x20, u"A"},  {0x21, u"B"},   {0x22, u"C"},  // a range counts up from its text
        {0x30, u"a"},  {0x31, u"b"},                  // an array gives one text per code
        {0x40, u"AB"},                                // eight digits: two units
        {0x41, u"A"},                                 // six digits: the last two are dropped
        {0x50, u"fi"}, {0x52, u"fk"},                 // only the last unit counts up
        {0x65, u"]"},                                 // the first range holding the code
        {0x23, u""},   {0x10041, u""}, {-1, u""},     // no range holds these
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.Code);
        EXPECT_EQ(c.Col.GetWideMap(k.Code), k.Text);
    }

    // Without ranges: the code itself for a font with a character collection.
    c.Font->DisplayCS2.Assign({});
    c.Font->CIDSystemInfo = "Adobe-Japan1-6";
    EXPECT_EQ(c.Col.GetWideMap(0x4E00), u"\u4E00");
    c.Font->CIDSystemInfo.clear();
    EXPECT_EQ(c.Col.GetWideMap(0x4E00), u"");
}

TEST(FontCollection, WideMapOfSimpleFonts) {
    Current c;
    c.Font->Encoding[66] = "not-a-glyph-name";
    c.Font->DisplayCSW = GlyphNamesToUnicode(c.Font->Encoding);
    // A ToUnicode range of several units laid over the display table.
    ApplyDisplayTable(c.Font->DisplayCSW, Ranges("1 beginbfrange <50> <52> <00660069> endbfrange"));
    EXPECT_EQ(c.Col.GetWideMap(65), u"A");
    EXPECT_EQ(c.Col.GetWideMap(66), u"B");  // unknown name: the code itself
    EXPECT_EQ(c.Col.GetWideMap(0x52), u"fk");
    EXPECT_EQ(c.Col.GetWideMap(256), u"");
    EXPECT_EQ(c.Col.GetWideMap(-1), u"");

    TPDFFontCollection empty;
    EXPECT_EQ(empty.GetWideMap(65), u"");
    TCMapCodeList codes{1};
    empty.GetCodeList("AB", codes);
    EXPECT_TRUE(codes.empty());
}

// ---- Interval maps --------------------------------------------------------------

TEST(IntervalMap, FirstDefinitionWinsWhateverTheOrder) {
    const struct {
        const char* Name;
        std::vector<std::array<std::uint32_t, 3>> Adds;     // first, last, value
        std::vector<std::pair<std::uint32_t, int>> Expect;  // code, value (-1: none)
    } cases[] = {
        {"disjoint",
         {{1, 3, 10}, {7, 9, 20}},
         {{0, -1}, {1, 10}, {3, 10}, {4, -1}, {9, 20}, {10, -1}}},
        {"later wider", {{5, 6, 1}, {0, 10, 2}}, {{4, 2}, {5, 1}, {6, 1}, {7, 2}, {0, 2}, {10, 2}}},
        {"later inside", {{0, 10, 1}, {3, 4, 2}}, {{3, 1}, {4, 1}, {10, 1}}},
        {"spans two", {{0, 2, 1}, {6, 8, 2}, {1, 7, 3}}, {{2, 1}, {3, 3}, {5, 3}, {6, 2}, {8, 2}}},
        {"touching runs",
         {{0, 4, 1}, {5, 9, 2}, {0, 9, 3}, {10, 10, 4}},
         {{4, 1}, {5, 2}, {10, 4}}},
        {"reversed ignored", {{9, 3, 1}}, {{3, -1}, {9, -1}}},
        {"top of range",
         {{0xFFFFFFF0u, 0xFFFFFFFFu, 1}, {0, 0xFFFFFFFFu, 2}},
         {{0xFFFFFFFFu, 1}, {0xFFFFFFEFu, 2}, {0, 2}}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.Name);
        TPDFIntervalMap<int> m;
        for (const auto& a : k.Adds) m.Add(a[0], a[1], int(a[2]));
        for (const auto& [code, value] : k.Expect) {
            const int* got = m.Find(code);
            EXPECT_EQ(got ? *got : -1, value) << code;
        }
    }
}

TEST(IntervalMap, AgreesWithAPlainTable) {
    std::mt19937 rng(19);
    for (int round = 0; round < 20; ++round) {
        TPDFIntervalMap<int> m;
        std::vector<int> plain(300, -1);
        for (int op = 0; op < 200; ++op) {
            const std::uint32_t a = rng() % 300, b = a + rng() % 40;
            for (std::uint32_t c = a; c <= b && c < plain.size(); ++c)
                if (plain[c] < 0) plain[c] = op;
            m.Add(a, std::min<std::uint32_t>(b, 299), op);
        }
        for (std::uint32_t c = 0; c < plain.size(); ++c) {
            const int* got = m.Find(c);
            ASSERT_EQ(got ? *got : -1, plain[c]) << "round " << round << " code " << c;
        }
        EXPECT_LE(m.PieceCount(), 400u);
    }
}

TEST(IntervalMap, HostileFillStaysFast) {
    // Scattered single codes, then many ranges over all of them: each range
    // fills only the gaps that remain, so the work stays near linear.
    TPDFIntervalMap<int> m;
    constexpr std::uint32_t n = 50000;
    for (std::uint32_t i = 0; i < n; ++i) m.Add(2 * i, 2 * i, 1);
    for (std::uint32_t i = 0; i < n; ++i) m.Add(0, 2 * n, 2);
    EXPECT_EQ(m.PieceCount(), 2 * n);
    EXPECT_EQ(*m.Find(2 * n - 2), 1);
    EXPECT_EQ(*m.Find(2 * n - 1), 2);
    EXPECT_EQ(*m.Find(2 * n), 2);
}

TEST(CIDWidths, FirstWidthOfACIDAndFirstDefaultWin) {
    TPDFCIDWidths w;
    EXPECT_TRUE(w.Empty());
    EXPECT_FALSE(w.Default());
    w.AddDefault(500);
    w.AddDefault(1000);
    w.AddRange(10, 20, 600);
    w.AddRange(15, 25, 700);
    w.AddRange(5, 5, 300);
    w.AddRange(5, 5, 400);
    EXPECT_EQ(w.Default(), 500);
    EXPECT_EQ(w.Width(10), 600);
    EXPECT_EQ(w.Width(20), 600);
    EXPECT_EQ(w.Width(21), 700);
    EXPECT_EQ(w.Width(5), 300);
    EXPECT_EQ(w.Width(4), std::nullopt);
    EXPECT_EQ(w.Width(26), std::nullopt);
}

TEST(FontCollection, InstalledThroughThePageServices) {
    const TPDFPageServiceFactories saved = PageServiceFactories();
    PageServiceFactories().NewFontCollection = nullptr;
    EXPECT_EQ(dynamic_cast<TPDFFontCollection*>(NewPageFontCollection().get()), nullptr);
    InstallFontCollectionServices();
    auto col = NewPageFontCollection();
    EXPECT_NE(dynamic_cast<TPDFFontCollection*>(col.get()), nullptr);
    PageServiceFactories() = saved;
}

}  // namespace
}  // namespace velmo
