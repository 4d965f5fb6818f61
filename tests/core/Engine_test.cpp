#include "core/Engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

#include "core/CMap.h"
#include "core/Encodings.h"
#include "core/FontConst.h"
#include "core/Glyphs.h"
#include "core/NumberLists.h"
#include "core/Objects.h"
#include "core/Random.h"
#include "core/StringHelpers.h"
#include "core/StringList.h"
#include "core/Structure.h"
#include "core/TextStrings.h"
#include "platform/fonts/FontCatalog.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

TEST(Engine, TablesAreReadyAfterStartUp) {
    EngineStartup();
    EXPECT_TRUE(EngineStarted());
    EXPECT_EQ(GetStandardGlyphNumber("A"), 1);
    EXPECT_EQ(GlyphNameToUnicode("space"), 32);
    EXPECT_EQ(PDFTextStringToWideString("\x80"), u"\u2022");
    EngineShutdown();
    EXPECT_FALSE(EngineStarted());
    EngineShutdown();  // nothing to do twice
}

TEST(Engine, StepsRunInOrderAndReleaseInReverse) {
    // Steps stay registered for the life of the process: they share the log.
    auto log = std::make_shared<std::vector<std::string>>();
    AddEngineStep(
        18, [log] { log->push_back("up18"); }, [log] { log->push_back("down18"); });
    AddEngineStep(
        2, [log] { log->push_back("up2"); }, nullptr);
    AddEngineStep(
        9, [log] { log->push_back("up9"); }, [log] { log->push_back("down9"); });
    EngineStartup();
    EngineStartup();
    EngineShutdown();
    EXPECT_EQ(*log, (std::vector<std::string>{"up2", "up9", "up18", "down18", "down9"}));
}

TEST(Engine, ShutDownReleasesCachesThatLoadAgain) {
    EngineStartup();
    TVPLWordPairList* table = GetCIDToUnicodeTable(932);
    EXPECT_EQ(GetCIDToUnicodeTable(932), table);
    EngineShutdown();
    EngineStartup();
    TVPLWordPairList* again = GetCIDToUnicodeTable(932);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->GetValue(0), 0xFFFD);
    EngineShutdown();
}

TEST(Engine, TwoRunsDrawDifferentRandomSequences) {
    auto draw = [](std::string& report) {
        EngineStartup();
        report = RandomBytes(16);
        return 0;
    };
    vpltest::ChildResult a = vpltest::RunIsolated(draw, 60);
    vpltest::ChildResult b = vpltest::RunIsolated(draw, 60);
    ASSERT_EQ(a.outcome, vpltest::ChildOutcome::Ok);
    ASSERT_EQ(b.outcome, vpltest::ChildOutcome::Ok);
    EXPECT_EQ(a.report.size(), 16u);
    EXPECT_NE(a.report, b.report);
}

TEST(Encodings, ApplyDifferences) {
    TPDFStructure store;
    TPDFObject* o = store.Decode(
        "[ 24 /breve /caron 96 /grave -3 /neg /zero 255 /last /over "
        "2147483647 /max /past 1 5 0 R /x (str) /y ]");
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(o->SpyType, TPDFArray::Tag);
    TPDFCharsetNames n;
    ApplyDifferences(n, static_cast<TPDFArray*>(o));
    EXPECT_EQ(n[24], "breve");
    EXPECT_EQ(n[25], "caron");
    EXPECT_EQ(n[96], "grave");
    EXPECT_EQ(n[0], "");  // -3, -2: out of range, only the code advanced
    EXPECT_EQ(n[255], "last");
    EXPECT_EQ(n[1], "x");  // references and strings are passed over
    EXPECT_EQ(n[2], "y");
    ApplyDifferences(n, nullptr);
}

// The PDFDocEncoding column of the Latin set agrees with the text-string table.
TEST(StandardLatinSet, PDFDocColumnMatchesTheTextStringTable) {
    const auto& table = PDFDocEncodingTable();
    for (int i = 0; i < kStandardGlyphCount; ++i) {
        const TStandardGlyph& g = StandardLatinCharSet[i];
        ASSERT_GE(g.PDFDoc, 0) << g.Name;
        EXPECT_EQ(table[g.PDFDoc], GlyphNameToUnicode(g.Name)) << g.Name;
    }
}

TEST(CIDToUnicode, TablesEqualTheInstalledCollections) {
    struct Case {
        int CodePage;
        const char* File;
    };
    const Case cases[] = {
        {932, "Adobe-Japan1"}, {936, "Adobe-GB1"}, {949, "Adobe-Korea1"}, {950, "Adobe-CNS1"}};
    for (const Case& c : cases) {
        TVPLWordPairList* t = GetCIDToUnicodeTable(c.CodePage);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(GetCIDToUnicodeTable(c.CodePage), t);
        EXPECT_EQ(t->GetValue(0), 0xFFFD);
        std::istringstream in(
            vpltest::ReadFile(std::string("/usr/share/poppler/cidToUnicode/") + c.File));
        std::string line;
        int cid = 0;
        int compared = 0;
        while (std::getline(in, line)) {
            unsigned long value = std::stoul(line, nullptr, 16);
            if (cid > 0 && value <= 0xFFFF) {
                ASSERT_EQ(t->GetValue(static_cast<std::uint16_t>(cid)), value)
                    << c.File << " " << cid;
                ++compared;
            }
            ++cid;
        }
        EXPECT_EQ(t->Count(), cid) << c.File;
        EXPECT_GT(compared, 17000) << c.File;
    }
    EXPECT_EQ(GetCIDToUnicodeTable(1252), GetCIDToUnicodeTable(932));
}

// The sorted, de-duplicated families that fontconfig lists for a language,
// plus the built-in aliases whose stand-in is among them and, for the list
// of every font (no language), the built-in Symbol font.
std::vector<std::string> ExpectedFamilies(const std::string& pattern) {
    auto r = vpltest::RunCommand({"fc-list", pattern, "family"}, 60);
    std::vector<std::string> names;
    std::set<std::string> listed;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        std::string first = line.substr(0, line.find(','));
        listed.insert(first);
        first = first.substr(0, 32);
        if (!first.empty() && first[0] != '@') names.push_back(first);
    }
    for (const platform::TFontAlias& alias : platform::FontAliases())
        for (const std::string& target : alias.Targets)
            if (listed.count(target)) names.push_back(alias.Name);
    if (pattern == ":") names.push_back("Symbol");
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return CompareTextLocaleA(a, b) < 0;
    });
    names.erase(std::unique(names.begin(), names.end(),
                            [](const std::string& a, const std::string& b) {
                                return CompareTextLocaleA(a, b) == 0;
                            }),
                names.end());
    return names;
}

bool Lists(TVelmoPDFStringList* list, const std::string& name) {
    for (int i = 0; i < list->Count(); ++i)
        if (list->Get(i) == name) return true;
    return false;
}

TEST(FontFamilies, ListsMatchFontconfigWithTheStandInsAndAreCached) {
    VPL_REQUIRE_TOOL("fc-list");
    for (auto [charset, pattern] :
         {std::pair{0, ":lang=en"}, std::pair{1, ":"}, std::pair{134, ":lang=zh-cn"}}) {
        TVelmoPDFStringList* list = GetFontFamiliesByCharset(charset);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(GetFontFamiliesByCharset(charset), list);
        std::vector<std::string> got;
        for (int i = 0; i < list->Count(); ++i) got.push_back(list->Get(i));
        EXPECT_EQ(got, ExpectedFamilies(pattern)) << pattern;
    }
    EXPECT_GT(GetFontFamiliesByCharset(0)->Count(), 0);
    EXPECT_EQ(GetFontFamiliesByCharset(2)->Count(), 0);
    // The names documents use are found by the searches (tools/deps installs
    // the Liberation fonts and a CJK font).
    TVelmoPDFStringList* all = GetFontFamiliesByCharset(1);
    for (const char* name : {"Arial", "Times New Roman", "Courier New", "Symbol"})
        EXPECT_TRUE(Lists(all, name)) << name;
    for (const char* name : {"MS Mincho", "ＭＳＰ明朝", "ＭＳ Ｐゴシック"})
        EXPECT_TRUE(Lists(GetFontFamiliesByCharset(128), name)) << name;
    for (const char* name : {"SimSun", "宋体", "宋體"})
        EXPECT_TRUE(Lists(GetFontFamiliesByCharset(134), name)) << name;
    EXPECT_TRUE(Lists(GetFontFamiliesByCharset(129), "Dotum"));
    EXPECT_TRUE(Lists(GetFontFamiliesByCharset(136), "PMingLiu"));
    EXPECT_FALSE(Lists(GetFontFamiliesByCharset(0), "Symbol"));
}

}  // namespace
}  // namespace velmo
