#include "platform/fonts/FontCatalog.h"

#include <fontconfig/fontconfig.h>

#include <memory>
#include <mutex>
#include <unordered_set>

namespace velmo::platform {

namespace {

FcConfig* Config() {
    // The catalogue's own configuration, loaded on first use and released at
    // exit; fontconfig's default one is left to other users.
    static std::unique_ptr<FcConfig, decltype(&FcConfigDestroy)> config(FcInitLoadConfigAndFonts(),
                                                                        &FcConfigDestroy);
    return config.get();
}

std::mutex& ConfigMutex() {
    static std::mutex m;
    return m;
}

}  // namespace

const char* CharsetLanguage(int CharSet) {
    switch (CharSet) {
        case ANSI_CHARSET:
            return "en";
        case DEFAULT_CHARSET:
            return "";
        case SHIFTJIS_CHARSET:
            return "ja";
        case HANGUL_CHARSET:
            return "ko";
        case GB2312_CHARSET:
            return "zh-cn";
        case CHINESEBIG5_CHARSET:
            return "zh-tw";
        case GREEK_CHARSET:
            return "el";
        case TURKISH_CHARSET:
            return "tr";
        case HEBREW_CHARSET:
            return "he";
        case ARABIC_CHARSET:
            return "ar";
        case BALTIC_CHARSET:
            return "lt";
        case RUSSIAN_CHARSET:
            return "ru";
        case THAI_CHARSET:
            return "th";
        case EASTEUROPE_CHARSET:
            return "pl";
        default:
            return nullptr;
    }
}

std::vector<std::string> EnumFontFamiliesByCharset(int CharSet) {
    std::vector<std::string> families;
    const char* lang = CharsetLanguage(CharSet);
    if (!lang) return families;
    std::lock_guard<std::mutex> lock(ConfigMutex());
    FcConfig* config = Config();
    if (!config) return families;
    std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> pattern(FcPatternCreate(),
                                                                    &FcPatternDestroy);
    if (!pattern) return families;
    if (*lang) FcPatternAddString(pattern.get(), FC_LANG, reinterpret_cast<const FcChar8*>(lang));
    std::unique_ptr<FcObjectSet, decltype(&FcObjectSetDestroy)> objects(
        FcObjectSetBuild(FC_FAMILY, nullptr), &FcObjectSetDestroy);
    if (!objects) return families;
    std::unique_ptr<FcFontSet, decltype(&FcFontSetDestroy)> set(
        FcFontList(config, pattern.get(), objects.get()), &FcFontSetDestroy);
    if (!set) return families;
    // Fonts of one family may differ in their further (localised) names and
    // then come as separate patterns: keep the first of each family.
    std::unordered_set<std::string> seen;
    families.reserve(set->nfont);
    for (int i = 0; i < set->nfont; ++i) {
        FcChar8* family = nullptr;
        if (FcPatternGetString(set->fonts[i], FC_FAMILY, 0, &family) != FcResultMatch || !family)
            continue;
        std::string name(reinterpret_cast<const char*>(family));
        if (seen.insert(name).second) families.push_back(std::move(name));
    }
    return families;
}

}  // namespace velmo::platform
