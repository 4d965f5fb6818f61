#include "platform/fonts/FontCatalog.h"

#include <fontconfig/fontconfig.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_set>

#include "platform/fonts/CatalogConfig.h"
#include "resources/Resources.h"

namespace velmo::platform {

namespace {

FcConfig* Config() {
    // The catalogue's own configuration, loaded on first use and released at
    // exit; fontconfig's default one is left to other users.
    static std::unique_ptr<FcConfig, decltype(&FcConfigDestroy)> config(NewCatalogConfig(),
                                                                        &FcConfigDestroy);
    return config.get();
}

std::string_view AliasRules() {
    const auto Rules = Resources::Find(Resources::kFontAliases);
    return Rules ? *Rules : std::string_view();
}

// The content of every <Tag …>…</Tag> inside Text, in order.
std::vector<std::string> Elements(std::string_view Text, std::string_view Tag) {
    std::vector<std::string> Out;
    const std::string Open = "<" + std::string(Tag), Close = "</" + std::string(Tag) + ">";
    for (size_t P = Text.find(Open); P != std::string_view::npos; P = Text.find(Open, P)) {
        P = Text.find('>', P);
        if (P == std::string_view::npos) break;
        ++P;
        const size_t E = Text.find(Close, P);
        if (E == std::string_view::npos) break;
        Out.emplace_back(Text.substr(P, E - P));
        P = E + Close.size();
    }
    return Out;
}

bool SameFamily(std::string_view A, std::string_view B) {
    // fontconfig's own comparison: ASCII case and blanks ignored.
    size_t I = 0, J = 0;
    for (;;) {
        while (I < A.size() && A[I] == ' ') ++I;
        while (J < B.size() && B[J] == ' ') ++J;
        if (I == A.size() || J == B.size()) return I == A.size() && J == B.size();
        auto Low = [](char C) { return C >= 'A' && C <= 'Z' ? char(C - 'A' + 'a') : C; };
        if (Low(A[I]) != Low(B[J])) return false;
        ++I;
        ++J;
    }
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
    // Names that documents use for fonts we stand in for are listed where
    // their stand-in is, so a search by such a name finds it.
    const size_t installed = families.size();
    for (const TFontAlias& alias : FontAliases()) {
        const bool present = std::any_of(families.begin(), families.begin() + long(installed),
                                         [&](const std::string& f) {
                                             for (const std::string& t : alias.Targets)
                                                 if (SameFamily(f, t)) return true;
                                             return false;
                                         });
        if (present && seen.insert(alias.Name).second) families.push_back(alias.Name);
    }
    if (CharSet == DEFAULT_CHARSET && !BuiltinSymbolFontFile().empty() &&
        seen.insert(kBuiltinSymbolFamily).second)
        families.emplace_back(kBuiltinSymbolFamily);
    return families;
}

FcConfig* NewCatalogConfig() {
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config) return nullptr;
    const std::string rules(AliasRules());
    // Without its rules the catalogue still lists and resolves the installed
    // fonts; only the stand-ins are missing.
    if (!rules.empty())
        FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(rules.c_str()),
                                       FcFalse);
    return config;
}

const std::vector<TFontAlias>& FontAliases() {
    static const std::vector<TFontAlias> aliases = [] {
        std::vector<TFontAlias> out;
        for (const std::string& block : Elements(AliasRules(), "alias")) {
            std::vector<std::string> names = Elements(block, "family");
            if (names.size() < 2) continue;
            TFontAlias a;
            a.Name = names.front();
            a.Targets.assign(names.begin() + 1, names.end());
            out.push_back(std::move(a));
        }
        return out;
    }();
    return aliases;
}

const std::string& BuiltinSymbolFontFile() {
    // The font lives in an anonymous memory file of the process, opened by
    // path like any installed font; it is made once and never closed.
    static const std::string path = []() -> std::string {
        const auto data = Resources::Find(Resources::kSymbolFont);
        if (!data || data->empty()) return {};
        const int fd = ::memfd_create("velmo-symbol-font", MFD_CLOEXEC);
        if (fd < 0) return {};
        size_t done = 0;
        while (done < data->size()) {
            const ssize_t n = ::write(fd, data->data() + done, data->size() - done);
            if (n <= 0) {
                ::close(fd);
                return {};
            }
            done += size_t(n);
        }
        return "/proc/self/fd/" + std::to_string(fd);
    }();
    return path;
}

}  // namespace velmo::platform
