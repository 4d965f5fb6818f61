#include "core/CMap.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <mutex>

#include "core/ByteReader.h"
#include "core/Flate.h"
#include "core/NumberLists.h"
#include "core/StringHelpers.h"
#include "resources/Resources.h"

namespace velmo {

namespace {

// Width of one stored input code in the binary form.
std::uint32_t DeltaWidth(std::uint32_t InputSize) {
    return InputSize == 1 ? 1 : InputSize == 2 ? 2 : 4;
}

void WriteUInt32(TStream& s, std::uint32_t v) {
    const std::uint8_t b[4] = {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16),
                               std::uint8_t(v >> 24)};
    s.WriteBuffer(b, 4);
}

bool ReadExact(TStream& s, void* buffer, std::uint64_t count) {
    return count == 0 || s.Read(buffer, static_cast<int64_t>(count)) == static_cast<int64_t>(count);
}

bool ReadUInt32(TStream& s, std::uint32_t& v) {
    std::uint8_t b[4];
    if (!ReadExact(s, b, 4)) return false;
    v = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
        std::uint32_t(b[3]) << 24;
    return true;
}

std::uint64_t Remaining(TStream& s) {
    int64_t pos = s.Position();
    int64_t size = s.Size();
    return pos < 0 || size < pos ? 0 : static_cast<std::uint64_t>(size - pos);
}

bool IsHexToken(std::string_view t) { return t.size() >= 2 && t.front() == '<' && t.back() == '>'; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Hexadecimal digits as a non-negative 64-bit number.
bool ParseHex(std::string_view digits, std::uint64_t& value) {
    if (digits.empty() || digits.size() > 16) return false;
    value = 0;
    for (char c : digits) {
        int d = HexDigit(c);
        if (d < 0) return false;
        value = value << 4 | unsigned(d);
    }
    return value <= std::uint64_t(std::numeric_limits<std::int64_t>::max());
}

// The number of a token: a hex string gives its low 32 bits, any other token
// its decimal value. Text that is neither, and negative values, give false.
bool TokenNumber(std::string_view t, std::uint32_t& value) {
    if (IsHexToken(t)) {
        std::uint64_t v = 0;
        if (!ParseHex(t.substr(1, t.size() - 2), v)) return false;
        value = static_cast<std::uint32_t>(v);
        return true;
    }
    std::int32_t v = StrToIntDefA(t, -1);
    if (v < 0) return false;
    value = static_cast<std::uint32_t>(v);
    return true;
}

bool IsWhitespace(char c) { return c == 0 || c == 9 || c == 12 || c == 32 || c == 10 || c == 13; }

bool IsNonCharacter(char c) { return IsWhitespace(c) || c == '%' || c == '[' || c == ']'; }

enum class Section { None, Codespace, BfChar, BfRange, CidChar, CidRange };

struct SectionKeyword {
    std::string_view Begin;
    std::string_view End;
    Section Kind;
    int Tokens;  // tokens per entry
};

constexpr SectionKeyword kSectionKeywords[] = {
    {"begincodespacerange", "endcodespacerange", Section::Codespace, 2},
    {"beginbfchar", "endbfchar", Section::BfChar, 2},
    {"beginbfrange", "endbfrange", Section::BfRange, 3},
    {"begincidchar", "endcidchar", Section::CidChar, 2},
    {"begincidrange", "endcidrange", Section::CidRange, 3},
};

std::string HexCode4(std::uint64_t c) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string digits;
    do {
        digits.insert(digits.begin(), kHex[c & 0xF]);
        c >>= 4;
    } while (c != 0);
    while (digits.size() < 4) digits.insert(digits.begin(), '0');
    return "<" + digits + ">";
}

}  // namespace

// ---- Sections ----------------------------------------------------------------

std::size_t TKorbexPDFLibraryCMapSection::IndexOf(std::uint32_t Code) const {
    auto it = std::lower_bound(Inputs.begin(), Inputs.end(), Code);
    if (it == Inputs.end() || *it != Code) return Inputs.size();
    return static_cast<std::size_t>(it - Inputs.begin());
}

void TKorbexPDFLibraryCMapSection::AddMapping(std::uint32_t Code,
                                              const std::vector<std::uint8_t>& Target) {
    auto it = std::upper_bound(Inputs.begin(), Inputs.end(), Code);
    std::size_t index = static_cast<std::size_t>(it - Inputs.begin());
    Inputs.insert(it, Code);
    std::vector<std::uint8_t> bytes(
        Target.begin(), Target.begin() + std::min<std::size_t>(Target.size(), TargetSize));
    bytes.resize(TargetSize, 0);
    Targets.insert(Targets.begin() + static_cast<std::ptrdiff_t>(index * TargetSize), bytes.begin(),
                   bytes.end());
}

bool TKorbexPDFLibraryCMapSection::ContainsCode(std::uint32_t Code) const {
    return IndexOf(Code) < Inputs.size();
}

void TKorbexPDFLibraryCMapSection::GetMappingToByteArray(std::uint32_t Code,
                                                         std::vector<std::uint8_t>& Target) const {
    Target.clear();
    std::size_t i = IndexOf(Code);
    if (i == Inputs.size()) return;
    auto first = Targets.begin() + static_cast<std::ptrdiff_t>(i * TargetSize);
    Target.assign(first, first + TargetSize);
}

std::u16string TKorbexPDFLibraryCMapSection::GetMappingToWideString(std::uint32_t Code) const {
    std::size_t i = IndexOf(Code);
    if (i == Inputs.size()) return {};
    const std::uint8_t* t = Targets.data() + i * TargetSize;
    if (TargetSize == 1) return std::u16string(1, static_cast<char16_t>(t[0]));
    std::u16string s;
    for (std::uint32_t k = 0; k < TargetSize; k += 2) {
        std::uint16_t lo = k + 1 < TargetSize ? t[k + 1] : 0;
        s += static_cast<char16_t>(t[k] << 8 | lo);
    }
    return s;
}

std::uint16_t TKorbexPDFLibraryCMapSection::GetMappingToWord(std::uint32_t Code) const {
    std::size_t i = IndexOf(Code);
    if (i == Inputs.size()) return 0;
    const std::uint8_t* t = Targets.data() + i * TargetSize;
    if (TargetSize == 1) return t[0];
    if (TargetSize == 2) return static_cast<std::uint16_t>(t[0] << 8 | t[1]);
    return 0;
}

void TKorbexPDFLibraryCMapSection::SaveToStream(TStream& OutputStream) const {
    const std::uint32_t n = static_cast<std::uint32_t>(Inputs.size());
    WriteUInt32(OutputStream, InputSize);
    WriteUInt32(OutputStream, TargetSize);
    WriteUInt32(OutputStream, n);
    if (n == 0) return;
    const std::uint32_t width = DeltaWidth(InputSize);
    std::string deltas;
    deltas.reserve(std::size_t(n) * width);
    std::uint32_t previous = 0;
    for (std::uint32_t code : Inputs) {
        std::uint32_t d = code - previous;
        previous = code;
        for (std::uint32_t b = 0; b < width; ++b) deltas += static_cast<char>(d >> (8 * b));
    }
    OutputStream.WriteBuffer(deltas);
    OutputStream.WriteBuffer(Targets.data(), static_cast<int64_t>(Targets.size()));
}

bool TKorbexPDFLibraryCMapSection::LoadFromStream(TStream& InputStream) {
    Inputs.clear();
    Targets.clear();
    std::uint32_t inputSize = 0;
    std::uint32_t targetSize = 0;
    std::uint32_t n = 0;
    if (!ReadUInt32(InputStream, inputSize) || !ReadUInt32(InputStream, targetSize) ||
        !ReadUInt32(InputStream, n))
        return false;
    InputSize = inputSize;
    TargetSize = targetSize;
    if (n == 0) return true;
    // The data must really be there before anything is allocated for it.
    const std::uint64_t perEntry = std::uint64_t(DeltaWidth(inputSize)) + targetSize;
    const std::uint64_t remaining = Remaining(InputStream);
    if (perEntry > remaining / n) return false;
    const std::uint64_t dataSize = perEntry * n;
    if (inputSize > 4 || targetSize > 64) {
        // Rejected: pass over its data so that the next section is read from
        // its own header.
        InputStream.Seek(static_cast<int64_t>(dataSize), soCurrent);
        return true;
    }
    const std::uint32_t width = DeltaWidth(inputSize);
    std::vector<std::uint8_t> deltas(std::size_t(n) * width);
    Targets.resize(std::size_t(n) * targetSize);
    if (!ReadExact(InputStream, deltas.data(), deltas.size()) ||
        !ReadExact(InputStream, Targets.data(), Targets.size())) {
        Targets.clear();
        return false;
    }
    Inputs.resize(n);
    std::uint32_t code = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        std::uint32_t d = 0;
        for (std::uint32_t b = 0; b < width; ++b)
            d |= std::uint32_t(deltas[std::size_t(i) * width + b]) << (8 * b);
        code += d;
        Inputs[i] = code;
    }
    // Stored codes that are out of order cannot be searched: keep the pairs
    // but restore the ascending order.
    if (!std::is_sorted(Inputs.begin(), Inputs.end())) {
        std::vector<std::uint32_t> order(n);
        for (std::uint32_t i = 0; i < n; ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return Inputs[a] < Inputs[b]; });
        std::vector<std::uint32_t> inputs(n);
        std::vector<std::uint8_t> targets(Targets.size());
        for (std::uint32_t i = 0; i < n; ++i) {
            inputs[i] = Inputs[order[i]];
            std::copy_n(Targets.begin() + std::ptrdiff_t(order[i]) * targetSize, targetSize,
                        targets.begin() + std::ptrdiff_t(i) * targetSize);
        }
        Inputs.swap(inputs);
        Targets.swap(targets);
    }
    return true;
}

// ---- CMap ------------------------------------------------------------------------

TKorbexPDFLibraryCMap::TKorbexPDFLibraryCMap() = default;
TKorbexPDFLibraryCMap::~TKorbexPDFLibraryCMap() = default;

void TKorbexPDFLibraryCMap::AddMapping(std::uint32_t InputSize, std::uint32_t Code,
                                       const std::vector<std::uint8_t>& Target) {
    const std::uint32_t targetSize = static_cast<std::uint32_t>(Target.size());
    for (auto& s : FSections) {
        if (s->InputSize == InputSize && s->TargetSize == targetSize) {
            s->AddMapping(Code, Target);
            return;
        }
    }
    auto section = std::make_unique<TKorbexPDFLibraryCMapSection>();
    section->InputSize = InputSize;
    section->TargetSize = targetSize;
    section->AddMapping(Code, Target);
    FSections.push_back(std::move(section));
}

bool TKorbexPDFLibraryCMap::ContainsCode(std::uint32_t InputSize, std::uint32_t Code) const {
    if (FIdentityMapping) return true;
    for (const auto& s : FSections)
        if (s->InputSize == InputSize && s->ContainsCode(Code)) return true;
    return false;
}

bool TKorbexPDFLibraryCMap::GetMappingToByteArray(std::uint32_t InputSize, std::uint32_t Code,
                                                  std::vector<std::uint8_t>& Target) const {
    if (!FIdentityMapping) {
        for (const auto& s : FSections) {
            if (s->InputSize != InputSize) continue;
            if (s->ContainsCode(Code)) {
                s->GetMappingToByteArray(Code, Target);
                return true;
            }
            if (s->ContainsCode(32)) {
                s->GetMappingToByteArray(32, Target);
                return true;
            }
        }
    }
    if (InputSize == 2) {
        Target = {static_cast<std::uint8_t>(Code >> 8), static_cast<std::uint8_t>(Code & 255)};
        return true;
    }
    return false;
}

std::u16string TKorbexPDFLibraryCMap::GetMappingToWideString(std::uint32_t InputSize,
                                                             std::uint32_t Code) const {
    for (const auto& s : FSections)
        if (s->InputSize == InputSize && s->ContainsCode(Code))
            return s->GetMappingToWideString(Code);
    return {};
}

std::uint16_t TKorbexPDFLibraryCMap::GetMappingToWord(std::uint32_t InputSize,
                                                      std::uint32_t Code) const {
    for (const auto& s : FSections)
        if ((InputSize == 0 || s->InputSize == InputSize) && s->ContainsCode(Code))
            return s->GetMappingToWord(Code);
    return 0;
}

void TKorbexPDFLibraryCMap::AddCodespaceRange(std::uint32_t StartCode, std::uint32_t EndCode,
                                              int CodeSize) {
    TKorbexPDFLibraryCMapRange r;
    r.StartCode = StartCode;
    r.EndCode = EndCode;
    r.CodeSize = CodeSize;
    FCodespaceRanges.push_back(r);
}

void TKorbexPDFLibraryCMap::AddBFRange(std::uint32_t StartCode, std::uint32_t EndCode,
                                       std::u16string_view S) {
    TKorbexPDFLibraryCMapRange r;
    r.StartCode = StartCode;
    r.EndCode = EndCode;
    for (std::size_t i = 0; i < S.size() && i < 4; ++i) r.Value[i] = S[i];
    FBFRanges.push_back(r);
    FBFIndex.Valid = false;
}

void TKorbexPDFLibraryCMap::AddCIDRange(std::uint32_t StartCode, std::uint32_t EndCode,
                                        std::uint16_t Ch) {
    TKorbexPDFLibraryCMapRange r;
    r.StartCode = StartCode;
    r.EndCode = EndCode;
    r.Value[0] = Ch;
    FCIDRanges.push_back(r);
    FCIDIndex.Valid = false;
}

void TKorbexPDFLibraryCMap::BuildIndex(const TRanges& Ranges, RangeIndex& Index) {
    // Elementary intervals between all range boundaries; each is owned by the
    // earliest range that covers it. A sweep over the boundaries keeps the
    // open ranges ordered by their position in the list.
    struct Event {
        std::uint64_t At;
        bool Open;
        int Range;
    };
    std::vector<Event> events;
    events.reserve(Ranges.size() * 2);
    for (int i = 0; i < static_cast<int>(Ranges.size()); ++i) {
        const auto& r = Ranges[i];
        if (r.StartCode > r.EndCode) continue;
        events.push_back({r.StartCode, true, i});
        events.push_back({std::uint64_t(r.EndCode) + 1, false, i});
    }
    std::sort(events.begin(), events.end(),
              [](const Event& a, const Event& b) { return a.At < b.At; });
    Index.Starts.clear();
    Index.Owner.clear();
    std::vector<int> heap;  // min-heap of open range indexes, closed ones removed lazily
    std::vector<char> open(Ranges.size(), 0);
    std::size_t e = 0;
    while (e < events.size()) {
        std::uint64_t at = events[e].At;
        for (; e < events.size() && events[e].At == at; ++e) {
            open[events[e].Range] = events[e].Open;
            if (events[e].Open) {
                heap.push_back(events[e].Range);
                std::push_heap(heap.begin(), heap.end(), std::greater<int>());
            }
        }
        while (!heap.empty() && !open[heap.front()]) {
            std::pop_heap(heap.begin(), heap.end(), std::greater<int>());
            heap.pop_back();
        }
        int owner = heap.empty() ? -1 : heap.front();
        if (Index.Owner.empty() || Index.Owner.back() != owner) {
            Index.Starts.push_back(at);
            Index.Owner.push_back(owner);
        }
    }
    Index.Valid = true;
}

void TKorbexPDFLibraryCMap::BuildIndexes() const {
    if (!FCIDIndex.Valid) BuildIndex(FCIDRanges, FCIDIndex);
    if (!FBFIndex.Valid) BuildIndex(FBFRanges, FBFIndex);
}

int TKorbexPDFLibraryCMap::FindRange(const TRanges& Ranges, RangeIndex& Index, std::uint32_t Code) {
    if (!Index.Valid) BuildIndex(Ranges, Index);
    auto it = std::upper_bound(Index.Starts.begin(), Index.Starts.end(), std::uint64_t(Code));
    if (it == Index.Starts.begin()) return -1;
    return Index.Owner[static_cast<std::size_t>(it - Index.Starts.begin()) - 1];
}

int TKorbexPDFLibraryCMap::GetValue(std::uint32_t Code, std::array<std::uint16_t, 4>& Units) const {
    Units = {0, 0, 0, 0};
    if (FIdentityMapping) return static_cast<int>(Code);
    if (FCMapType == cmapGIDToCID && !FCIDRanges.empty()) {
        int i = FindRange(FCIDRanges, FCIDIndex, Code);
        if (i < 0) return -1;
        const auto& r = FCIDRanges[i];
        Units[0] = static_cast<std::uint16_t>(r.Value[0] + (Code - r.StartCode));
        return 1;
    }
    int i = FindRange(FBFRanges, FBFIndex, Code);
    if (i < 0) return -1;
    const auto& r = FBFRanges[i];
    Units = r.Value;
    int last = -1;
    for (int j = 0; j < 4; ++j)
        if (r.Value[j] != 0) last = j;
    if (last < 0) return -1;
    // Along a range only the last unit of the destination advances; a
    // surrogate pair advances as one code point and stays a pair.
    const std::uint32_t offset = Code - r.StartCode;
    const std::uint16_t lastUnit = r.Value[last];
    if (offset != 0) {
        if (last > 0 && lastUnit >= 0xDC00 && lastUnit <= 0xDFFF && r.Value[last - 1] >= 0xD800 &&
            r.Value[last - 1] <= 0xDBFF) {
            std::uint64_t cp = 0x10000 + ((std::uint64_t(r.Value[last - 1]) - 0xD800) << 10) +
                               (lastUnit - 0xDC00) + offset;
            if (cp > 0x10FFFF) {
                Units[last - 1] = 0xFFFD;
                Units[last] = 0;
            } else {
                Units[last - 1] = static_cast<std::uint16_t>(0xD800 + ((cp - 0x10000) >> 10));
                Units[last] = static_cast<std::uint16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            }
        } else {
            Units[last] = static_cast<std::uint16_t>(lastUnit + offset);
        }
    }
    int result = -1;
    for (int j = 0; j < 4; ++j)
        if (Units[j] != 0) result = j + 1;
    return result;
}

void TKorbexPDFLibraryCMap::Sort(TRanges& Ranges) {
    std::stable_sort(Ranges.begin(), Ranges.end(),
                     [](const TKorbexPDFLibraryCMapRange& a, const TKorbexPDFLibraryCMapRange& b) {
                         return a.StartCode < b.StartCode;
                     });
}

void TKorbexPDFLibraryCMap::SaveToStream(TStream& OutputStream) const {
    WriteUInt32(OutputStream, static_cast<std::uint32_t>(FSections.size()));
    for (const auto& s : FSections) s->SaveToStream(OutputStream);
}

bool TKorbexPDFLibraryCMap::LoadFromStream(TStream& InputStream) {
    FSections.clear();
    FCodespaceRanges.clear();
    FCIDRanges.clear();
    FBFRanges.clear();
    FCIDIndex.Valid = false;
    FBFIndex.Valid = false;
    std::uint32_t count = 0;
    if (!ReadUInt32(InputStream, count)) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        auto section = std::make_unique<TKorbexPDFLibraryCMapSection>();
        if (!section->LoadFromStream(InputStream)) return false;
        FSections.push_back(std::move(section));
    }
    return true;
}

// ---- Parser ------------------------------------------------------------------------

std::string_view TKorbexPDFLibraryCMapParser::NextToken() {
    const std::size_t n = FText.size();
    std::size_t p = FPos;
    while (p < n && IsWhitespace(FText[p])) ++p;
    if (p >= n) return {};  // only whitespace remains
    FPos = p;
    const char c = FText[p];
    if (c == '%') {
        std::size_t eol = FText.find_first_of("\n\r", p);
        if (eol == std::string_view::npos) {
            FPos = n;
            return {};
        }
        FPos = eol;
        return FText.substr(p, eol - p);
    }
    if (c == '[' || c == ']') {
        FPos = p + 1;
        return FText.substr(p, 1);
    }
    if (c == '<') {
        if (p + 1 < n && FText[p + 1] == '<') {
            std::size_t gt = FText.find('>', p + 1);
            if (gt == std::string_view::npos) {
                FPos = n;
                return {};
            }
            std::size_t end = std::min(gt + 2, n);
            FPos = end;
            return FText.substr(p, end - p);
        }
        std::size_t gt = FText.find('>', p);
        if (gt == std::string_view::npos) {
            FPos = n;
            return {};
        }
        FPos = gt + 1;
        return FText.substr(p, gt + 1 - p);
    }
    std::size_t q = p;
    while (q < n && !IsNonCharacter(FText[q])) ++q;
    FPos = q;
    if (q >= n) return {};  // a word at the very end of the data
    return FText.substr(p, q - p);
}

std::unique_ptr<TKorbexPDFLibraryCMap> TKorbexPDFLibraryCMapParser::ParseCMap(
    std::string_view Text) {
    FText = Text;
    FPos = 0;
    FTokenStack.fill({});
    FCMap = std::make_unique<TKorbexPDFLibraryCMap>();
    TKorbexPDFLibraryCMap& cmap = *FCMap;

    auto push = [this](std::string_view t) {
        std::move_backward(FTokenStack.begin(), FTokenStack.end() - 1, FTokenStack.end());
        FTokenStack[0] = t;
    };
    auto oneByte = [&cmap](std::string_view start) {
        if (!cmap.FSingleByteCMap && IsHexToken(start) && start.size() == 4)
            cmap.FSingleByteCMap = true;
    };
    auto addBf = [&](std::string_view start, std::string_view end, std::string_view dst) {
        std::uint32_t lo = 0;
        std::uint32_t hi = 0;
        if (start.size() != end.size() || !TokenNumber(start, lo) || !TokenNumber(end, hi)) return;
        std::u16string units;
        if (IsHexToken(dst)) {
            std::string_view digits = dst.substr(1, dst.size() - 2);
            for (std::size_t g = 0; g + 4 <= digits.size() && units.size() < 4; g += 4) {
                std::uint64_t v = 0;
                if (!ParseHex(digits.substr(g, 4), v)) return;
                units += static_cast<char16_t>(v);
            }
        } else {
            std::uint32_t v = 0;
            if (!TokenNumber(dst, v)) return;
            units += static_cast<char16_t>(v);
        }
        oneByte(start);
        cmap.AddBFRange(lo, hi, units);
    };
    auto addCid = [&](std::string_view start, std::string_view end, std::string_view cid) {
        std::uint32_t lo = 0;
        std::uint32_t hi = 0;
        std::uint32_t value = 0;
        if (start.size() != end.size() || !TokenNumber(start, lo) || !TokenNumber(end, hi) ||
            !TokenNumber(cid, value))
            return;
        oneByte(start);
        cmap.AddCIDRange(lo, hi, static_cast<std::uint16_t>(value));
    };

    bool inCMap = false;
    const SectionKeyword* section = nullptr;
    int count = 0;
    int position = 0;
    std::string_view entry[3];

    for (;;) {
        std::string_view token = NextToken();
        if (token.empty() || token == "endcmap") break;
        std::string_view previous = FTokenStack[0];
        push(token);

        if (token == "/CMapType") {
            std::string_view type = NextToken();
            push(type);
            if (type == "0" || type == "1")
                cmap.FCMapType = cmapGIDToCID;
            else if (type == "2")
                cmap.FCMapType = cmapToUnicode;
            continue;
        }
        if (token == "usecmap") {
            cmap.FUseCMapName = std::string(previous.empty() ? previous : previous.substr(1));
            continue;
        }
        if (token == "begincmap") {
            inCMap = true;
            section = nullptr;
            count = 0;
            continue;
        }
        if (!section) {
            if (!inCMap) continue;
            for (const auto& k : kSectionKeywords) {
                if (token == k.Begin) {
                    section = &k;
                    count = StrToIntDefA(previous, 0);
                    position = 0;
                    break;
                }
            }
            continue;
        }
        if (token == section->End) {
            section = nullptr;
            count = 0;
            continue;
        }
        if (count <= 0) continue;  // entries beyond the count
        entry[position++] = token;

        if (position == 3 && token == "[") {
            if (section->Kind == Section::CidRange) {
                count = 0;  // the rest of the section is abandoned
                position = 0;
                continue;
            }
            // bfrange <lo> <hi> [ <dst> ... ]: one destination per code, up to
            // the closing bracket. The codes never go beyond what the width of
            // <lo> can express, nor beyond the array.
            std::uint32_t lo = 0;
            std::uint32_t hi = 0;
            bool valid = entry[0].size() == entry[1].size() && TokenNumber(entry[0], lo) &&
                         TokenNumber(entry[1], hi);
            std::string_view t;
            if (valid) {
                std::uint64_t last = hi;
                if (IsHexToken(entry[0]) && entry[0].size() - 2 < 8) {
                    std::size_t bytes = (entry[0].size() - 2 + 1) / 2;
                    last = std::min<std::uint64_t>(last, (std::uint64_t(1) << (8 * bytes)) - 1);
                }
                for (std::uint64_t c = lo; c <= last; ++c) {
                    t = NextToken();
                    push(t);
                    if (t.empty() || t == "]") break;
                    std::string code = HexCode4(c);
                    addBf(code, code, t);
                }
            }
            while (!t.empty() && t != "]") {
                t = NextToken();
                push(t);
            }
            position = 0;
            --count;
            if (t.empty()) break;
            continue;
        }

        if (position < section->Tokens) continue;
        position = 0;
        --count;
        switch (section->Kind) {
            case Section::Codespace: {
                std::uint32_t lo = 0;
                std::uint32_t hi = 0;
                if (TokenNumber(entry[0], lo) && TokenNumber(entry[1], hi))
                    cmap.AddCodespaceRange(
                        lo, hi,
                        IsHexToken(entry[0]) ? static_cast<int>((entry[0].size() - 2) / 2) : 0);
                break;
            }
            case Section::BfChar:
                addBf(entry[0], entry[0], entry[1]);
                break;
            case Section::BfRange:
                addBf(entry[0], entry[1], entry[2]);
                break;
            case Section::CidChar:
                addCid(entry[0], entry[0], entry[1]);
                break;
            case Section::CidRange:
                addCid(entry[0], entry[1], entry[2]);
                break;
            case Section::None:
                break;
        }
    }
    return std::move(FCMap);
}

std::unique_ptr<TKorbexPDFLibraryCMap> TKorbexPDFLibraryCMapParser::ParseCMap(TVPLBuffer& Buffer) {
    const std::int64_t left = Buffer.BufferLength() - Buffer.Position();
    std::string text = Buffer.ReadAnsiString(
        static_cast<int>(std::clamp<std::int64_t>(left, 0, std::numeric_limits<int>::max())));
    return ParseCMap(text);
}

std::unique_ptr<TKorbexPDFLibraryCMap> ParseCMapString(std::string_view Text) {
    TKorbexPDFLibraryCMapParser parser;
    return parser.ParseCMap(Text);
}

std::unique_ptr<TKorbexPDFLibraryCMap> ParseCMapString(std::string_view Name,
                                                       std::string_view Text) {
    auto cmap = ParseCMapString(Text);
    cmap->FCMapName = std::string(Name);
    return cmap;
}

// ---- Predefined CMaps ----------------------------------------------------------------

std::string_view PredefinedCMapName(int K) { return Resources::PredefinedCMapName(K); }

int PredefinedCMapIndex(std::string_view Name) {
    for (int k = 1; k <= kPredefinedCMapCount; ++k)
        if (PredefinedCMapName(k) == Name) return k;
    return 0;
}

std::string PredefinedCMapText(int K) {
    if (K < 1 || K > kPredefinedCMapCount) return {};
    return FlateDecompress(Resources::Get(Resources::kCMapBase + K));
}

namespace {

struct CIDTableSlots {
    std::mutex Lock;
    std::unique_ptr<TVPLWordPairList> Tables[4];  // 932, 936, 949, 950
};

CIDTableSlots& CIDSlots() {
    static CIDTableSlots slots;
    return slots;
}

}  // namespace

TVPLWordPairList* GetCIDToUnicodeTable(int CodePage) {
    static const int kCodePages[4] = {932, 936, 949, 950};
    int slot = 0;
    for (int i = 1; i < 4; ++i)
        if (CodePage == kCodePages[i]) slot = i;
    CIDTableSlots& slots = CIDSlots();
    std::lock_guard<std::mutex> lock(slots.Lock);
    auto& table = slots.Tables[slot];
    if (table) return table.get();
    table = std::make_unique<TVPLWordPairList>();
    std::string data;
    try {
        data = FlateDecompress(Resources::Get(Resources::kCIDToUnicodeBase + kCodePages[slot]));
    } catch (...) {
        table->Sort();
        throw;
    }
    const std::size_t count = std::min<std::size_t>(data.size() / 2, 65536);
    for (std::size_t i = 0; i < count; ++i)
        table->Add(static_cast<std::uint16_t>(i),
                   static_cast<std::uint16_t>(static_cast<unsigned char>(data[2 * i]) |
                                              static_cast<unsigned char>(data[2 * i + 1]) << 8));
    table->Sort();
    return table.get();
}

void ReleaseCIDToUnicodeTables() {
    CIDTableSlots& slots = CIDSlots();
    std::lock_guard<std::mutex> lock(slots.Lock);
    for (auto& t : slots.Tables) t.reset();
}

}  // namespace velmo
