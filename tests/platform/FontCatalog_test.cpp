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
        EXPECT_EQ(unique, FcListFamilies(c.Pattern)) << c.Pattern;
    }
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
