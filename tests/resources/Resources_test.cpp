#include "resources/Resources.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace velmo {
namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(Resources, MissingResourceRaisesAndFindAnswersNothing) {
    EXPECT_FALSE(Resources::Find(4711).has_value());
    EXPECT_THROW(Resources::Get(4711), EResNotFound);
    EXPECT_THROW(Resources::Get(11000), EResNotFound);
    EXPECT_TRUE(Resources::PredefinedCMapName(0).empty());
    EXPECT_TRUE(Resources::PredefinedCMapName(166).empty());
}

TEST(Resources, EveryResourceIsThere) {
    for (int id : {11932, 11936, 11949, 11950, Resources::kSRGBProfile, Resources::kGlyphList,
                   Resources::kDingbatsFont})
        EXPECT_GT(Resources::Get(id).size(), 1000u) << id;
    for (int k = 1; k <= Resources::kCMapCount; ++k) {
        EXPECT_FALSE(Resources::PredefinedCMapName(k).empty()) << k;
        EXPECT_FALSE(Resources::Get(Resources::kCMapBase + k).empty()) << k;
    }
    EXPECT_EQ(Resources::PredefinedCMapName(1), "78-EUC-H");
    EXPECT_EQ(Resources::PredefinedCMapName(98), "Identity-H");
    EXPECT_EQ(Resources::PredefinedCMapName(165), "WP-Symbol");
}

TEST(Resources, ProfileIsStoredAsInstalled) {
    std::string_view icc = Resources::Get(Resources::kSRGBProfile);
    EXPECT_EQ(std::string(icc), ReadFile("/usr/share/color/icc/sRGB.icc"));
    EXPECT_EQ(icc.substr(36, 4), "acsp");
}

}  // namespace
}  // namespace velmo
