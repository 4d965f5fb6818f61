#include "core/Glyphs.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "core/Flate.h"
#include "core/FontConst.h"
#include "core/StringHelpers.h"
#include "core/StringList.h"
#include "platform/fonts/FontCatalog.h"
#include "resources/Resources.h"

namespace velmo {

namespace {

constexpr std::size_t kGlyphListIndexSize = ('z' - 'A' + 1) * 3;

struct GlyphListTables {
    std::string Bytes;
    std::unordered_map<std::string_view, std::uint16_t> ByName;
    // First standard glyph (0-based) per Unicode value; -1 for none.
    std::unordered_map<std::uint16_t, int> LatinByUnicode;
    std::unordered_map<std::uint16_t, int> SymbolByUnicode;
};

const GlyphListTables& Tables() {
    static const GlyphListTables tables = [] {
        GlyphListTables t;
        t.Bytes = FlateDecompress(Resources::Get(Resources::kGlyphList));
        const std::string& b = t.Bytes;
        std::size_t pos = kGlyphListIndexSize;
        while (b.size() >= kGlyphListIndexSize && pos < b.size()) {
            std::size_t len = static_cast<unsigned char>(b[pos]);
            if (len == 0 || pos + 1 + len + 2 > b.size()) break;
            std::string_view name(b.data() + pos + 1, len);
            std::uint16_t value = static_cast<unsigned char>(b[pos + 1 + len]) |
                                  static_cast<unsigned char>(b[pos + 2 + len]) << 8;
            t.ByName.emplace(name, value);  // the first entry of a name counts
            pos += 1 + len + 2;
        }
        for (int i = 0; i < kStandardGlyphCount; ++i)
            t.LatinByUnicode.emplace(StandardGlyphUnicodes[i], i);
        for (int i = 0; i < kSymbolGlyphCount; ++i)
            t.SymbolByUnicode.emplace(SymbolEncodingTable[i].Unicode, i);
        return t;
    }();
    return tables;
}

// "C" followed only by decimal digits, read as a 32-bit integer. A run of
// digits beyond that range is no number: the name then converts as any other.
bool CodeGlyphName(std::string_view Name, std::uint16_t& Value) {
    if (Name.size() < 2 || Name[0] != 'C') return false;
    std::int32_t v = 0;
    std::string_view digits = Name.substr(1);
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (ec != std::errc() || end != digits.data() + digits.size()) return false;
    Value = static_cast<std::uint16_t>(v);
    return true;
}

int SymbolGlyphIndex(std::string_view Name) {
    static const std::unordered_map<std::string_view, int> byName = [] {
        std::unordered_map<std::string_view, int> m;
        for (int i = 0; i < kSymbolGlyphCount; ++i) m.emplace(SymbolEncodingTable[i].Name, i);
        return m;
    }();
    auto it = byName.find(Name);
    return it == byName.end() ? -1 : it->second;
}

}  // namespace

const std::string& GlyphList() { return Tables().Bytes; }

std::uint16_t GlyphNameToUnicode(std::string_view Name) {
    if (Name.empty()) return 0;
    std::uint16_t code = 0;
    if (CodeGlyphName(Name, code)) return code;
    if (Name[0] < 'A' || Name[0] > 'z') return 0;
    const auto& byName = Tables().ByName;
    auto it = byName.find(Name);
    return it == byName.end() ? 0 : it->second;
}

std::array<std::u16string, 256> GlyphNamesToUnicode(const TPDFCharsetNames& Names) {
    std::array<std::u16string, 256> result;
    for (int i = 0; i < 256; ++i)
        result[i] = std::u16string(1, static_cast<char16_t>(GlyphNameToUnicode(Names[i])));
    return result;
}

std::array<std::string, 256> GlyphNamesToWinAnsi(const TPDFCharsetNames& Names) {
    std::array<std::string, 256> result;
    for (int i = 0; i < 256; ++i) {
        std::uint8_t b = UnicodeToWinAnsi(GlyphNameToUnicode(Names[i]));
        std::string_view name = Names[i];
        if (b == 0 && name.substr(0, 4) == "CID:") {
            // Text after "CID:" that is no 32-bit integer leaves the code 0.
            constexpr std::int64_t kBad = std::numeric_limits<std::int64_t>::min();
            std::int64_t v = StrToInt64DefA(name.substr(4), kBad);
            if (v >= std::numeric_limits<std::int32_t>::min() &&
                v <= std::numeric_limits<std::int32_t>::max())
                b = static_cast<std::uint8_t>(v);
        }
        result[i] = std::string(1, static_cast<char>(b));
    }
    return result;
}

std::uint8_t UnicodeToWinAnsi(std::uint16_t U) {
    const auto& m = Tables().LatinByUnicode;
    auto it = m.find(U);
    if (it == m.end()) return 0;
    int code = StandardLatinCharSet[it->second].WinAnsi;
    return code < 0 ? 0 : static_cast<std::uint8_t>(code);
}

std::string UnicodeToGlyphName(std::uint16_t U) {
    const auto& t = Tables();
    if (auto it = t.LatinByUnicode.find(U); it != t.LatinByUnicode.end())
        return StandardLatinCharSet[it->second].Name;
    if (auto it = t.SymbolByUnicode.find(U); it != t.SymbolByUnicode.end())
        return SymbolEncodingTable[it->second].Name;
    return {};
}

int GetStandardGlyphNumber(std::string_view Name) {
    // The set is stored in ascending byte order of the names.
    const TStandardGlyph* first = StandardLatinCharSet;
    const TStandardGlyph* last = StandardLatinCharSet + kStandardGlyphCount;
    const TStandardGlyph* it = std::lower_bound(
        first, last, Name,
        [](const TStandardGlyph& g, std::string_view n) { return std::string_view(g.Name) < n; });
    if (it == last || std::string_view(it->Name) != Name) return 0;
    return static_cast<int>(it - first) + 1;
}

void GetStandardFontWidths(int FontIndex, const TPDFCharsetNames& Names,
                           std::array<double, 256>& Widths) {
    if (FontIndex >= 1 && FontIndex <= 12) {
        for (int i = 0; i < 256; ++i) {
            int n = GetStandardGlyphNumber(Names[i]);
            Widths[i] = n > 0 ? StandardFontWidths[FontIndex - 1][n - 1] : kMissingGlyphWidth;
        }
    } else if (FontIndex == 13) {
        for (int i = 0; i < 256; ++i) {
            int n = SymbolGlyphIndex(Names[i]);
            Widths[i] = n >= 0 ? SymbolEncodingTable[n].Width : kMissingGlyphWidth;
        }
    } else if (FontIndex == 14) {
        for (int code = 32; code <= 254; ++code) Widths[code] = DingbatsFontWidths[code - 32];
    }
}

std::string GetDingbatsFontData() {
    static const std::string_view compressed = Resources::Get(Resources::kDingbatsFont);
    return FlateDecompress(compressed);
}

namespace {

struct FontFamilyCache {
    std::mutex Lock;
    // Lists stay at their address for the life of the cache.
    std::map<int, std::unique_ptr<TVelmoPDFStringList>> Lists;
    TFontFamilySource Source;  // empty: the platform catalogue
};

FontFamilyCache& FamilyCache() {
    static FontFamilyCache cache;
    return cache;
}

// Longest face name the platform hands out.
constexpr std::size_t kFaceNameSize = 32;

}  // namespace

TVelmoPDFStringList* GetFontFamiliesByCharset(int CharSet) {
    FontFamilyCache& cache = FamilyCache();
    std::lock_guard<std::mutex> lock(cache.Lock);
    auto& slot = cache.Lists[CharSet];
    if (slot) return slot.get();
    slot = std::make_unique<TVelmoPDFStringList>();
    std::string previous;
    bool first = true;
    std::vector<std::string> families =
        cache.Source ? cache.Source(CharSet) : platform::EnumFontFamiliesByCharset(CharSet);
    for (std::string& family : families) {
        if (family.size() > kFaceNameSize) family.resize(kFaceNameSize);
        if (family.empty() || family[0] == '@')  // vertical fonts
            continue;
        if (!first && slot->CompareStrings(family, previous) == 0) continue;
        slot->Add(family);
        previous = family;
        first = false;
    }
    slot->Sort();
    return slot.get();
}

void ReleaseFontFamilies() {
    FontFamilyCache& cache = FamilyCache();
    std::lock_guard<std::mutex> lock(cache.Lock);
    // Last made first.
    while (!cache.Lists.empty()) cache.Lists.erase(std::prev(cache.Lists.end()));
}

void SetFontFamilySource(TFontFamilySource Source) {
    FontFamilyCache& cache = FamilyCache();
    std::lock_guard<std::mutex> lock(cache.Lock);
    while (!cache.Lists.empty()) cache.Lists.erase(std::prev(cache.Lists.end()));
    cache.Source = std::move(Source);
}

}  // namespace velmo
