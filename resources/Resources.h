#pragma once
// Numbered data built into the engine (the engine's stand-in for the
// numbered resources of an executable).
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace velmo {

// Raised when a resource that must exist is absent.
class EResNotFound : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace Resources {

constexpr int kCMapBase = 11000;  // 11001..11165: predefined CMap texts, zlib
constexpr int kCMapCount = 165;
constexpr int kCIDToUnicodeBase = 11000;  // + code page 932/936/949/950, zlib
constexpr int kSRGBProfile = 12101;       // ICC profile, stored as it stands
constexpr int kGlyphList = 15902;         // indexed glyph list, zlib
constexpr int kDingbatsFont = 15903;      // TrueType font, zlib
constexpr int kSymbolFont = 15904;        // TrueType font, as it stands
constexpr int kFontAliases = 15905;       // fontconfig rules, as they stand

// The bytes of resource Id as stored, or nothing when there is none.
std::optional<std::string_view> Find(int Id);
// The bytes of resource Id as stored; raises EResNotFound when there is none.
std::string_view Get(int Id);
// The name of predefined CMap K (1-based, 1..kCMapCount), empty outside.
std::string_view PredefinedCMapName(int K);

}  // namespace Resources
}  // namespace velmo
