#include "resources/Resources.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

namespace velmo {
namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::uint32_t Le24(const std::string& s, std::size_t i)
{
    return static_cast<unsigned char>(s[i]) | static_cast<unsigned char>(s[i + 1]) << 8 |
           static_cast<unsigned char>(s[i + 2]) << 16;
}

TEST(Resources, MissingResourceRaisesAndFindAnswersNothing)
{
    EXPECT_FALSE(Resources::Find(4711).has_value());
    EXPECT_THROW(Resources::Get(4711), EResNotFound);
    EXPECT_THROW(Resources::GetInflated(11000), EResNotFound);
    EXPECT_TRUE(Resources::PredefinedCMapName(0).empty());
    EXPECT_TRUE(Resources::PredefinedCMapName(166).empty());
}

TEST(Resources, InflateRejectsDamagedAndTruncatedData)
{
    std::string good(Resources::Get(Resources::kGlyphList));
    EXPECT_EQ(Resources::Inflate(good).size(), 62992u);
    EXPECT_TRUE(Resources::Inflate(good.substr(0, good.size() / 2)).empty());
    EXPECT_TRUE(Resources::Inflate("not zlib at all").empty());
    EXPECT_TRUE(Resources::Inflate("").empty());
}

TEST(Resources, GlyphListLayout)
{
    std::string list = Resources::GetInflated(Resources::kGlyphList);
    ASSERT_EQ(list.size(), 62992u);
    // The entries start right after the 58 three-byte index entries; "A" is first.
    EXPECT_EQ(Le24(list, 0), 175u);
    EXPECT_EQ(list.substr(174, 4), std::string("\x01" "A" "\x41\x00", 4));
    // Every index entry points at an entry whose name starts at or after its letter.
    for (int c = 'A'; c <= 'z'; ++c) {
        std::uint32_t pos = Le24(list, 3 * (c - 'A'));
        ASSERT_GE(pos, 175u);
        if (pos <= list.size()) {
            EXPECT_GE(static_cast<unsigned char>(list[pos]), c) << char(c);
        }
    }
    // Characters without names ('[' .. '`') point at the "a" group.
    EXPECT_EQ(Le24(list, 3 * ('[' - 'A')), Le24(list, 3 * ('a' - 'A')));
}

TEST(Resources, PredefinedCMapsCarryTheirNames)
{
    for (int k = 1; k <= Resources::kCMapCount; ++k) {
        std::string name(Resources::PredefinedCMapName(k));
        ASSERT_FALSE(name.empty()) << k;
        std::string text = Resources::GetInflated(Resources::kCMapBase + k);
        ASSERT_FALSE(text.empty()) << name;
        EXPECT_NE(text.find("/CMapName /" + name + " def"), std::string::npos) << name;
    }
    EXPECT_EQ(Resources::PredefinedCMapName(98), "Identity-H");
}

TEST(Resources, ProfileAndFontAreStoredAsInstalled)
{
    std::string_view icc = Resources::Get(Resources::kSRGBProfile);
    EXPECT_EQ(std::string(icc), ReadFile("/usr/share/color/icc/sRGB.icc"));
    EXPECT_EQ(icc.substr(36, 4), "acsp");
    std::string ttf = Resources::GetInflated(Resources::kDingbatsFont);
    ASSERT_GT(ttf.size(), 12u);
    EXPECT_EQ(ttf.substr(0, 4), std::string("\0\1\0\0", 4)); // TrueType outlines
    EXPECT_NE(ttf.find("glyf"), std::string::npos);
}

} // namespace
} // namespace velmo
