#include "platform/fonts/FontCatalog.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "tests/support/TestSupport.h"

namespace velmo::platform {
namespace {

// The first family name of every line `fc-list` prints for a pattern.
std::set<std::string> FcListFamilies(const std::string& pattern) {
    auto r = vpltest::RunCommand({"fc-list", pattern, "family"}, 60);
    EXPECT_EQ(r.exitCode, 0);
    std::set<std::string> names;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        std::string first = line.substr(0, line.find(','));
        if (!first.empty()) names.insert(first);
    }
    return names;
}

TEST(FontCatalog, FamiliesMatchFontconfigByLanguage) {
    VPL_REQUIRE_TOOL("fc-list");
    struct Case {
        int CharSet;
        const char* Pattern;
    };
    const Case cases[] = {{ANSI_CHARSET, ":lang=en"},     {DEFAULT_CHARSET, ":"},
                          {SHIFTJIS_CHARSET, ":lang=ja"}, {GB2312_CHARSET, ":lang=zh-cn"},
                          {RUSSIAN_CHARSET, ":lang=ru"},  {HEBREW_CHARSET, ":lang=he"}};
    for (const Case& c : cases) {
        std::vector<std::string> families = EnumFontFamiliesByCharset(c.CharSet);
        std::set<std::string> unique(families.begin(), families.end());
        EXPECT_EQ(unique.size(), families.size()) << "a family listed twice for " << c.CharSet;
        // fc-list's families, then the names the built-in rules stand in
        // for where their stand-in is listed, and the built-in Symbol font
        // among all families.
        std::set<std::string> expected = FcListFamilies(c.Pattern);
        const std::set<std::string> listed = expected;
        for (const TFontAlias& alias : FontAliases())
            for (const std::string& target : alias.Targets)
                if (listed.count(target)) expected.insert(alias.Name);
        if (c.CharSet == DEFAULT_CHARSET) expected.insert("Symbol");
        EXPECT_EQ(unique, expected) << c.Pattern;
    }
    // The rules name the stand-ins of the families documents use most.
    std::set<std::string> aliases;
    for (const TFontAlias& alias : FontAliases()) aliases.insert(alias.Name);
    for (const char* name :
         {"Arial", "Times New Roman", "Courier New", "MS Mincho", "MS PGothic", "ＭＳ明朝",
          "ＭＳ Ｐゴシック", "SimSun", "宋体", "宋體", "MingLiu", "細明體", "DFKai-SB", "Dotum"})
        EXPECT_TRUE(aliases.count(name)) << name;
    EXPECT_FALSE(EnumFontFamiliesByCharset(ANSI_CHARSET).empty());
}

TEST(FontCatalog, UnmappedCharacterSetsHaveNoFonts) {
    EXPECT_EQ(CharsetLanguage(2), nullptr);
    EXPECT_EQ(CharsetLanguage(255), nullptr);
    EXPECT_STREQ(CharsetLanguage(DEFAULT_CHARSET), "");
    EXPECT_STREQ(CharsetLanguage(CHINESEBIG5_CHARSET), "zh-tw");
    EXPECT_TRUE(EnumFontFamiliesByCharset(2).empty());
    EXPECT_TRUE(EnumFontFamiliesByCharset(-7).empty());
}

}  // namespace
}  // namespace velmo::platform
