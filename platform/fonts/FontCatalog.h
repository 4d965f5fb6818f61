// Catalogue of the installed fonts by family and Windows character set, over
// fontconfig.
#pragma once

#include <string>
#include <vector>

namespace velmo::platform {

// Windows character-set numbers the catalogue knows.
enum : int {
    ANSI_CHARSET = 0,
    DEFAULT_CHARSET = 1,
    SHIFTJIS_CHARSET = 128,
    HANGUL_CHARSET = 129,
    GB2312_CHARSET = 134,
    CHINESEBIG5_CHARSET = 136,
    GREEK_CHARSET = 161,
    TURKISH_CHARSET = 162,
    HEBREW_CHARSET = 177,
    ARABIC_CHARSET = 178,
    BALTIC_CHARSET = 186,
    RUSSIAN_CHARSET = 204,
    THAI_CHARSET = 222,
    EASTEUROPE_CHARSET = 238,
};

// The fontconfig language whose fonts make up a character set: "" for
// DEFAULT_CHARSET (every font), nullptr for a set the catalogue does not map.
const char* CharsetLanguage(int CharSet);

// The family names of the installed fonts of a character set, each family
// once (its first name), in fontconfig's order, followed by the aliases of
// the built-in rules whose target is among them and, for DEFAULT_CHARSET,
// the built-in "Symbol". Empty for unmapped sets or when fontconfig cannot
// be initialised.
std::vector<std::string> EnumFontFamiliesByCharset(int CharSet);

// The built-in alias rules: each alias with the families it stands for, in
// order of preference.
struct TFontAlias {
    std::string Name;
    std::vector<std::string> Targets;
};
const std::vector<TFontAlias>& FontAliases();

// The family the built-in symbol font answers to.
inline constexpr const char* kBuiltinSymbolFamily = "Symbol";
// A path by which this process opens the built-in symbol font; empty when it
// cannot be made available.
const std::string& BuiltinSymbolFontFile();

}  // namespace velmo::platform
