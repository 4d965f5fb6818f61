#include "core/CMap.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>

namespace velmo {
namespace {

using Units = std::array<std::uint16_t, 4>;

std::unique_ptr<TKorbexPDFLibraryCMap> Parse(const std::string& body) {
    return ParseCMapString("/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n" +
                           body + "\nendcmap\n");
}

TEST(CMapParser, PublishedCases) {
    Units u;
    auto cs = Parse("1 begincodespacerange <00> <FF> endcodespacerange");
    EXPECT_EQ(cs->CodespaceRanges().size(), 1u);
    EXPECT_FALSE(cs->SingleByteCMap());

    auto chars = Parse("2 beginbfchar <01> <0041> <02> <D83DDE00> endbfchar");
    EXPECT_TRUE(chars->SingleByteCMap());
    EXPECT_EQ(chars->GetValue(1, u), 1);
    EXPECT_EQ(u, (Units{0x41, 0, 0, 0}));
    EXPECT_EQ(chars->GetValue(2, u), 2);
    EXPECT_EQ(u, (Units{0xD83D, 0xDE00, 0, 0}));
    EXPECT_EQ(chars->GetValue(3, u), -1);

    auto range = Parse("1 beginbfrange <10> <12> <0061> endbfrange");
    EXPECT_EQ(range->GetValue(0x11, u), 1);
    EXPECT_EQ(u[0], 0x62);

    auto arr = Parse("2 beginbfrange <01> <02> [<0041> <0042>] <05> <05> <0043> endbfrange");
    EXPECT_EQ(arr->GetValue(1, u), 1);
    EXPECT_EQ(u[0], 0x41);
    EXPECT_EQ(arr->GetValue(2, u), 1);
    EXPECT_EQ(u[0], 0x42);
    EXPECT_EQ(arr->GetValue(5, u), 1);
    EXPECT_EQ(u[0], 0x43);

    auto cid = ParseCMapString(
        "/CMapType 1 def begincmap 1 begincidrange <8140> <817E> 633 "
        "endcidrange endcmap ");
    EXPECT_EQ(cid->CMapType(), cmapGIDToCID);
    EXPECT_EQ(cid->GetValue(0x8141, u), 1);
    EXPECT_EQ(u[0], 634);
    EXPECT_EQ(cid->GetValue(0x817F, u), -1);

    auto nobegin = ParseCMapString("1 beginbfchar <01> <0041> endbfchar endcmap ");
    EXPECT_TRUE(nobegin->BFRanges().empty());

    auto typed = ParseCMapString("/CMapType 2 def /Foo usecmap begincmap endcmap ");
    EXPECT_EQ(typed->CMapType(), cmapToUnicode);
    EXPECT_EQ(typed->UseCMapName(), "Foo");
    EXPECT_EQ(typed->UseCMap(), -1);
    EXPECT_EQ(ParseCMapString("Name-H", "begincmap endcmap ")->CMapName(), "Name-H");
}

TEST(CMapParser, SectionRules) {
    Units u;
    // Entries beyond the count are ignored; an end keyword ends only its own section.
    auto m = Parse(
        "1 beginbfchar <01> <0041> <02> <0042> endbfchar\n"
        "1 beginbfchar <03> <0043> endbfrange <04> <0044> endbfchar");
    EXPECT_EQ(m->GetValue(1, u), 1);
    EXPECT_EQ(m->GetValue(2, u), -1);
    EXPECT_EQ(m->GetValue(3, u), 1);
    EXPECT_EQ(m->GetValue(4, u), -1);
    // cidrange with an array abandons the rest of its section.
    auto c = ParseCMapString(
        "/CMapType 1 def begincmap 3 begincidrange <01> <02> [ 5 6 ] "
        "<10> <10> 7 endcidrange 1 begincidchar <20> 9 endcidchar endcmap ");
    EXPECT_EQ(c->CIDRanges().size(), 1u);
    EXPECT_EQ(c->GetValue(0x20, u), 1);
    EXPECT_EQ(u[0], 9);
    // Mismatched code lengths make an entry invalid.
    auto l = Parse("2 beginbfrange <01> <0002> <0041> <05> <06> <0045> endbfrange");
    ASSERT_EQ(l->BFRanges().size(), 1u);
    EXPECT_EQ(l->BFRanges()[0].StartCode, 5u);
    // Destinations: groups of four digits, at most four units, short groups dropped;
    // a decimal destination is one unit.
    auto d = Parse(
        "4 beginbfchar <01> <00410042004300440045> <02> <004> <03> <0041004> "
        "<04> 66 endbfchar");
    EXPECT_EQ(d->GetValue(1, u), 4);
    EXPECT_EQ(u, (Units{0x41, 0x42, 0x43, 0x44}));
    EXPECT_EQ(d->GetValue(2, u), -1);
    EXPECT_EQ(d->GetValue(3, u), 1);
    EXPECT_EQ(u[0], 0x41);
    EXPECT_EQ(d->GetValue(4, u), 1);
    EXPECT_EQ(u[0], 66);
    // Comments and dictionaries are tokens of their own.
    auto k = ParseCMapString(
        "%!PS\n/CIDSystemInfo << /Registry (Adobe) >> def\nbegincmap\n"
        "% 2 beginbfchar\n1 beginbfchar <01> <0041> endbfchar endcmap\n");
    EXPECT_EQ(k->BFRanges().size(), 1u);
    // A word at the very end of the data is no token.
    EXPECT_TRUE(ParseCMapString("begincmap 1 beginbfchar <01> <0041> endbfchar").get());
}

// A token that is no number skips its entry only; the rest of the map stays.
TEST(CMapParser, BadTokenSkipsOnlyItsEntry) {
    Units u;
    std::unique_ptr<TKorbexPDFLibraryCMap> m;
    ASSERT_NO_THROW(m = Parse("4 beginbfchar <01> <0041> <02> /space <0G> <0043> <04> <0044> "
                              "endbfchar 2 beginbfrange <10> <11> <00ZZ> <20> <21> <0061> "
                              "endbfrange 1 begincidrange abc <FF> 5 endcidrange"));
    EXPECT_EQ(m->GetValue(1, u), 1);
    EXPECT_EQ(m->GetValue(2, u), -1);
    EXPECT_EQ(m->GetValue(4, u), 1);
    EXPECT_EQ(u[0], 0x44);
    EXPECT_EQ(m->GetValue(0x10, u), -1);
    EXPECT_EQ(m->GetValue(0x21, u), 1);
    EXPECT_EQ(u[0], 0x62);
    EXPECT_TRUE(m->CIDRanges().empty());
    // Hex numbers beyond 64 bits or negative are invalid, not wrapped.
    auto big =
        Parse("2 beginbfchar <FFFFFFFFFFFFFFFFFF> <0041> <8000000000000001> <0042> endbfchar");
    EXPECT_TRUE(big->BFRanges().empty());
}

TEST(CMapParser, HugeRangesAreBounded) {
    Units u;
    const double start = vpltest::ThreadSeconds();
    auto m = Parse(
        "1 beginbfrange <00000000> <FFFFFFFF> [<0041> <0042>] endbfrange "
        "1 beginbfrange <0000> <FFFF> [] endbfrange "
        "1 beginbfchar <00000005> <0045> endbfchar "
        "1 beginbfrange <FFFFFFF0> <FFFFFFFF> <0030> endbfrange");
    EXPECT_LT(vpltest::ThreadSeconds() - start, 5);
    EXPECT_EQ(m->GetValue(0, u), 1);
    EXPECT_EQ(u[0], 0x41);
    EXPECT_EQ(m->GetValue(1, u), 1);
    EXPECT_EQ(u[0], 0x42);
    EXPECT_EQ(m->GetValue(5, u), 1);  // the entry after the arrays was not eaten
    EXPECT_EQ(u[0], 0x45);
    EXPECT_EQ(m->GetValue(0xFFFFFFFF, u), 1);
    EXPECT_EQ(u[0], 0x3F);
    // An array shorter than its range stops at its bracket.
    auto s = Parse("2 beginbfrange <01> <05> [<0041>] <07> <07> <0047> endbfrange");
    EXPECT_EQ(s->GetValue(7, u), 1);
    EXPECT_EQ(u[0], 0x47);
    EXPECT_EQ(s->GetValue(2, u), -1);
    // A one-byte range cannot reach beyond 0xFF (here through a decimal end code).
    auto b = Parse("1 beginbfrange <FE> 1000 [<0041> <0042> <0043>] endbfrange");
    EXPECT_EQ(b->BFRanges().size(), 2u);
}

TEST(CMapParser, RangeDestinationAdvancesInItsLastUnit) {
    Units u;
    auto m = Parse(
        "3 beginbfrange <01> <03> <00660066> <10> <12> <D83DDFFE> "
        "<20> <21> <DBFFDFFF> endbfrange");
    EXPECT_EQ(m->GetValue(2, u), 2);
    EXPECT_EQ(u, (Units{0x66, 0x67, 0, 0}));  // "fg"
    EXPECT_EQ(m->GetValue(0x11, u), 2);
    EXPECT_EQ(u, (Units{0xD83D, 0xDFFF, 0, 0}));
    EXPECT_EQ(m->GetValue(0x12, u), 2);  // carries into the high surrogate
    EXPECT_EQ(u, (Units{0xD83E, 0xDC00, 0, 0}));
    EXPECT_EQ(m->GetValue(0x21, u), 1);  // beyond U+10FFFF
    EXPECT_EQ(u[0], 0xFFFD);
}

TEST(CMapRanges, FirstRangeAddedWins) {
    TKorbexPDFLibraryCMap m;
    m.AddBFRange(10, 20, u"a");
    m.AddBFRange(5, 30, u"A");
    m.AddBFRange(15, 15, u"z");
    Units u;
    EXPECT_EQ(m.GetValue(15, u), 1);
    EXPECT_EQ(u[0], u'a' + 5);
    EXPECT_EQ(m.GetValue(25, u), 1);
    EXPECT_EQ(u[0], u'A' + 20);
    EXPECT_EQ(m.GetValue(4, u), -1);
    m.AddBFRange(0, 4, u"0");
    EXPECT_EQ(m.GetValue(4, u), 1);
    EXPECT_EQ(u[0], u'4');
    m.SetIdentityMapping();
    EXPECT_EQ(m.GetValue(1234, u), 1234);
    EXPECT_EQ(u, (Units{0, 0, 0, 0}));

    TKorbexPDFLibraryCMap::TRanges r(3);
    r[0].StartCode = 9;
    r[1].StartCode = 2;
    r[2].StartCode = 5;
    TKorbexPDFLibraryCMap::Sort(r);
    EXPECT_EQ(r[0].StartCode, 2u);
    EXPECT_EQ(r[2].StartCode, 9u);
}

TEST(CMapSections, MappingLookups) {
    TKorbexPDFLibraryCMap m;
    std::vector<std::uint8_t> t;
    EXPECT_TRUE(m.GetMappingToByteArray(2, 0x1234, t));
    EXPECT_EQ(t, (std::vector<std::uint8_t>{0x12, 0x34}));
    EXPECT_FALSE(m.GetMappingToByteArray(1, 0x12, t));
    EXPECT_FALSE(m.ContainsCode(1, 5));

    m.AddMapping(1, 7, {0x00, 0x41});
    m.AddMapping(1, 5, {0x00, 0x42});
    m.AddMapping(1, 32, {0x00, 0x20});
    m.AddMapping(1, 9, {0x43});
    m.AddMapping(2, 0x8140, {0x30, 0x00, 0xD8});
    ASSERT_EQ(m.Sections().size(), 3u);
    EXPECT_EQ(m.Sections()[0]->Inputs, (std::vector<std::uint32_t>{5, 7, 32}));
    EXPECT_TRUE(m.ContainsCode(1, 7));
    EXPECT_FALSE(m.ContainsCode(2, 7));
    EXPECT_TRUE(m.GetMappingToByteArray(1, 5, t));
    EXPECT_EQ(t, (std::vector<std::uint8_t>{0x00, 0x42}));
    EXPECT_TRUE(m.GetMappingToByteArray(1, 99, t));  // falls back on the space
    EXPECT_EQ(t, (std::vector<std::uint8_t>{0x00, 0x20}));
    EXPECT_EQ(m.GetMappingToWideString(1, 7), u"A");
    EXPECT_EQ(m.GetMappingToWideString(1, 9), u"C");
    EXPECT_EQ(m.GetMappingToWideString(2, 0x8140), std::u16string(u"\u3000\xD800"));
    EXPECT_EQ(m.GetMappingToWideString(1, 99), u"");
    EXPECT_EQ(m.GetMappingToWord(1, 7), 0x41);
    EXPECT_EQ(m.GetMappingToWord(0, 9), 0x43);
    EXPECT_EQ(m.GetMappingToWord(0, 0x8140), 0);
    EXPECT_EQ(m.GetMappingToWord(2, 7), 0);
    m.SetIdentityMapping();
    EXPECT_TRUE(m.ContainsCode(3, 77));
    EXPECT_FALSE(m.GetMappingToByteArray(1, 5, t));
    EXPECT_TRUE(m.GetMappingToByteArray(2, 5, t));
    EXPECT_EQ(t, (std::vector<std::uint8_t>{0, 5}));
}

std::string SavedBytes(const TKorbexPDFLibraryCMap& m) {
    TStringStream s;
    m.SaveToStream(s);
    return s.DataString();
}

TEST(CMapBinary, SaveAndLoad) {
    TKorbexPDFLibraryCMapSection s;
    s.InputSize = 3;
    s.TargetSize = 2;
    for (std::uint32_t c : {9u, 1u, 5u}) s.AddMapping(c, {0, static_cast<std::uint8_t>(c)});
    TStringStream out;
    s.SaveToStream(out);
    const std::string expected(
        "\x03\0\0\0\x02\0\0\0\x03\0\0\0"
        "\x01\0\0\0\x04\0\0\0\x04\0\0\0"
        "\0\x01\0\x05\0\x09",
        30);
    EXPECT_EQ(out.DataString(), expected);
    TStringStream in(expected);
    TKorbexPDFLibraryCMapSection back;
    ASSERT_TRUE(back.LoadFromStream(in));
    EXPECT_EQ(back.Inputs, (std::vector<std::uint32_t>{1, 5, 9}));
    EXPECT_EQ(back.Targets, s.Targets);

    // More than 65535 mappings in one section load back whole.
    TKorbexPDFLibraryCMap big;
    for (std::uint32_t c = 0; c < 70000; ++c)
        big.AddMapping(2, c * 2, {std::uint8_t(c >> 8), std::uint8_t(c)});
    big.AddMapping(4, 0x10000000, {1, 2, 3});
    std::string bytes = SavedBytes(big);
    TStringStream bigIn(bytes);
    TKorbexPDFLibraryCMap bigBack;
    big.AddBFRange(1, 2, u"x");
    ASSERT_TRUE(bigBack.LoadFromStream(bigIn));
    ASSERT_EQ(bigBack.Sections().size(), 2u);
    EXPECT_EQ(bigBack.Sections()[0]->Inputs, big.Sections()[0]->Inputs);
    EXPECT_EQ(bigBack.Sections()[0]->Targets, big.Sections()[0]->Targets);
    EXPECT_EQ(bigBack.Sections()[1]->Inputs, big.Sections()[1]->Inputs);
    EXPECT_EQ(SavedBytes(bigBack), bytes);
}

TEST(CMapBinary, RejectedAndDamagedSectionsDoNotDerailLoading) {
    TKorbexPDFLibraryCMap good;
    good.AddMapping(1, 65, {0x41});
    std::string goodSection = SavedBytes(good).substr(4);
    // A section with TargetSize 100 is passed over, the next one still loads.
    std::string rejected("\x01\0\0\0\x64\0\0\0\x02\0\0\0", 12);
    rejected += std::string(2 + 200, '\x7F');
    std::string data = std::string("\x02\0\0\0", 4) + rejected + goodSection;
    TStringStream in(data);
    TKorbexPDFLibraryCMap m;
    m.AddBFRange(1, 1, u"q");
    ASSERT_TRUE(m.LoadFromStream(in));
    EXPECT_TRUE(m.BFRanges().empty());
    ASSERT_EQ(m.Sections().size(), 2u);
    EXPECT_TRUE(m.Sections()[0]->Inputs.empty());
    EXPECT_EQ(m.GetMappingToWord(1, 65), 0x41);

    // A count far beyond the data is refused without allocating for it.
    std::string huge = std::string("\x01\0\0\0", 4) + std::string("\x02\0\0\0\x40\0\0\0", 8) +
                       std::string("\xFF\xFF\xFF\xFF", 4) + "short";
    TStringStream hugeIn(huge);
    EXPECT_FALSE(m.LoadFromStream(hugeIn));
    EXPECT_TRUE(m.Sections().empty());
    // Truncated header.
    TStringStream cut(std::string("\x01\0\0\0\x01\0", 6));
    EXPECT_FALSE(m.LoadFromStream(cut));
    TStringStream empty;
    EXPECT_FALSE(m.LoadFromStream(empty));
}

TEST(PredefinedCMaps, AllParseAndTheirParentsResolve) {
    ASSERT_EQ(PredefinedCMapName(98), "Identity-H");
    EXPECT_EQ(PredefinedCMapIndex("Identity-H"), 98);
    EXPECT_EQ(PredefinedCMapIndex("WP-Symbol"), 165);
    EXPECT_EQ(PredefinedCMapIndex("nope"), 0);
    EXPECT_TRUE(PredefinedCMapText(0).empty());
    EXPECT_TRUE(PredefinedCMapText(166).empty());
    int withParent = 0;
    for (int k = 1; k <= kPredefinedCMapCount; ++k) {
        std::string name(PredefinedCMapName(k));
        std::string text = PredefinedCMapText(k);
        ASSERT_FALSE(text.empty()) << name;
        std::unique_ptr<TKorbexPDFLibraryCMap> m;
        ASSERT_NO_THROW(m = ParseCMapString(name, text)) << name;
        EXPECT_EQ(m->CMapName(), name);
        EXPECT_FALSE(m->CodespaceRanges().empty() && m->UseCMapName().empty()) << name;
        if (name.rfind("Adobe-", 0) == 0) {
            EXPECT_EQ(m->CMapType(), cmapGIDToCID) << name;
        }
        EXPECT_FALSE(m->CIDRanges().empty() && m->UseCMapName().empty()) << name;
        if (!m->UseCMapName().empty()) {
            ++withParent;
            EXPECT_GT(PredefinedCMapIndex(m->UseCMapName()), 0)
                << name << " -> " << m->UseCMapName();
        }
        // Sections made from the CID ranges survive the binary form.
        TKorbexPDFLibraryCMap::TRanges ranges = m->CIDRanges();
        TKorbexPDFLibraryCMap::Sort(ranges);
        TKorbexPDFLibraryCMap sections;
        std::size_t added = 0;
        for (const auto& r : ranges) {
            std::uint32_t size = r.EndCode <= 0xFF       ? 1
                                 : r.EndCode <= 0xFFFF   ? 2
                                 : r.EndCode <= 0xFFFFFF ? 3
                                                         : 4;
            for (std::uint64_t c = r.StartCode; c <= r.EndCode && added < 5000; ++c, ++added) {
                std::uint16_t cid = static_cast<std::uint16_t>(r.Value[0] + (c - r.StartCode));
                sections.AddMapping(size, static_cast<std::uint32_t>(c),
                                    {std::uint8_t(cid >> 8), std::uint8_t(cid)});
            }
        }
        std::string bytes = SavedBytes(sections);
        TStringStream in(bytes);
        TKorbexPDFLibraryCMap back;
        ASSERT_TRUE(back.LoadFromStream(in)) << name;
        EXPECT_EQ(SavedBytes(back), bytes) << name;
    }
    EXPECT_GT(withParent, 40);
    // The CID of a code through a predefined CMap.
    auto rksj = ParseCMapString(PredefinedCMapText(PredefinedCMapIndex("90ms-RKSJ-H")));
    Units u;
    EXPECT_EQ(rksj->GetValue(0x8140, u), 1);
    EXPECT_EQ(u[0], 633);
    EXPECT_EQ(rksj->GetValue(0x41, u), 1);
    EXPECT_EQ(u[0], 231 + 0x41 - 0x20);
}

}  // namespace
}  // namespace velmo
