#include "fonts/CMapResources.h"

#include <algorithm>
#include <climits>
#include <limits>
#include <mutex>

namespace velmo {

namespace {

// Parents are named by name; a chain of predefined CMaps is short, and this
// bounds a chain of names that never repeats one.
constexpr int kMaxUseCMapDepth = 16;
// Real CMaps have a handful of code-space ranges; a hostile one with
// thousands would make every split slow.
constexpr std::size_t kMaxCodespaceRanges = 1024;
// CMap text read from a stream.
constexpr std::int64_t kMaxCMapText = std::int64_t(256) << 20;

struct SharedCMapSlot {
    std::once_flag Once;
    std::unique_ptr<TKorbexPDFLibraryCMap> CMap;
};

std::unique_ptr<TKorbexPDFLibraryCMap> EmptyCMap(std::string_view Name) {
    auto cmap = std::make_unique<TKorbexPDFLibraryCMap>();
    cmap->FCMapName = std::string(Name);
    return cmap;
}

// The first 16-bit target of Code in one CMap, -1 when not mapped.
int FirstValue(const TKorbexPDFLibraryCMap& CMap, std::uint32_t Code) {
    if (CMap.IdentityMapping()) return Code > std::uint32_t(INT_MAX) ? -1 : int(Code);
    std::array<std::uint16_t, 4> units{};
    return CMap.GetValue(Code, units) >= 1 ? units[0] : -1;
}

struct CodespaceRange {
    int Size;  // bytes, 1..4
    std::array<std::uint8_t, 4> Lo;
    std::array<std::uint8_t, 4> Hi;
};

// Each byte of a code lies within the bounds' byte at its position.
bool Matches(const CodespaceRange& R, const unsigned char* Bytes) {
    for (int i = 0; i < R.Size; ++i)
        if (Bytes[i] < R.Lo[i] || Bytes[i] > R.Hi[i]) return false;
    return true;
}

std::vector<CodespaceRange> UsableCodespace(const TKorbexPDFLibraryCMap::TRanges& Ranges) {
    std::vector<CodespaceRange> out;
    for (const auto& r : Ranges) {
        if (out.size() >= kMaxCodespaceRanges) break;
        const int n = r.CodeSize;
        if (n < 1 || n > 4 || r.StartCode > r.EndCode) continue;
        if (n < 4 && r.EndCode >> (8 * n) != 0) continue;
        CodespaceRange c{n, {}, {}};
        for (int i = 0; i < n; ++i) {
            c.Lo[i] = std::uint8_t(r.StartCode >> (8 * (n - 1 - i)));
            c.Hi[i] = std::uint8_t(r.EndCode >> (8 * (n - 1 - i)));
        }
        out.push_back(c);
    }
    return out;
}

}  // namespace

const TKorbexPDFLibraryCMap* SharedPredefinedCMap(int K) {
    if (K < 1 || K > kPredefinedCMapCount) return nullptr;
    static SharedCMapSlot slots[kPredefinedCMapCount];
    SharedCMapSlot& slot = slots[K - 1];
    std::call_once(slot.Once, [&] {
        const std::string_view name = PredefinedCMapName(K);
        std::unique_ptr<TKorbexPDFLibraryCMap> cmap;
        try {
            cmap = ParseCMapString(name, PredefinedCMapText(K));
        } catch (const std::exception&) {
            cmap.reset();
        }
        if (!cmap) cmap = EmptyCMap(name);
        // Every reader after this one only reads.
        cmap->BuildIndexes();
        slot.CMap = std::move(cmap);
    });
    return slot.CMap.get();
}

// ---- The CMap list -----------------------------------------------------------------

int TPDFCMapResources::FindName(std::string_view Encoding) const {
    if (Encoding.empty()) return -1;
    auto it = FByName.find(std::string(Encoding));
    return it == FByName.end() ? -1 : it->second;
}

int TPDFCMapResources::AddSlot(std::string_view Encoding, const TKorbexPDFLibraryCMap* Shared,
                               std::unique_ptr<TKorbexPDFLibraryCMap> Owned) {
    Slot slot;
    slot.Name = std::string(Encoding);
    slot.CMap = Owned ? Owned.get() : Shared;
    slot.Owned = std::move(Owned);
    FSlots.push_back(std::move(slot));
    const int id = static_cast<int>(FSlots.size()) - 1;
    if (!Encoding.empty()) FByName[std::string(Encoding)] = id;
    return id;
}

int TPDFCMapResources::GetCMAP(std::string_view Encoding) {
    const int id = FindName(Encoding);
    if (id >= 0) return id;
    return LoadPredefined(Encoding, 0);
}

int TPDFCMapResources::LoadPredefined(std::string_view Encoding, int Depth) {
    const int k = PredefinedCMapIndex(Encoding);
    if (k == 0) return -1;
    const TKorbexPDFLibraryCMap* shared = SharedPredefinedCMap(k);
    // Registered before its parent is looked for, so a CMap that names itself
    // (or a chain back to itself) finds the slot instead of loading again.
    const int id = AddSlot(Encoding, shared, nullptr);
    const std::string& parentName = shared->UseCMapName();
    if (!parentName.empty() && Depth < kMaxUseCMapDepth) {
        int parent = FindName(parentName);
        if (parent < 0) parent = LoadPredefined(parentName, Depth + 1);
        FSlots[static_cast<std::size_t>(id)].UseCMap = parent;
    }
    return id;
}

int TPDFCMapResources::AddOwned(std::string_view Encoding, const std::string* Text) {
    std::unique_ptr<TKorbexPDFLibraryCMap> cmap;
    if (Text) {
        try {
            cmap = ParseCMapString(Encoding, *Text);
        } catch (const std::exception&) {
            cmap.reset();
        }
    }
    // Text that cannot be read still takes its slot under its name, so the
    // next CMap gets the next id and the name is not parsed again.
    if (!cmap) cmap = EmptyCMap(Encoding);
    return AddSlot(Encoding, nullptr, std::move(cmap));
}

int TPDFCMapResources::ResourcesAddCMapFromString(std::string_view Encoding,
                                                  std::string_view CMapAsString) {
    const int id = FindName(Encoding);
    if (id >= 0) return id;
    std::string text;
    try {
        text.assign(CMapAsString);
    } catch (const std::exception&) {
        return AddOwned(Encoding, nullptr);
    }
    return AddOwned(Encoding, &text);
}

int TPDFCMapResources::ResourcesAddCMapFromStream(std::string_view Encoding, TStream& FS) {
    const int id = FindName(Encoding);
    if (id >= 0) return id;
    std::string text;
    bool ok = true;
    try {
        char buffer[65536];
        for (;;) {
            const std::int64_t n = FS.Read(buffer, sizeof buffer);
            if (n <= 0) break;
            if (std::int64_t(text.size()) + n > kMaxCMapText) {
                ok = false;
                break;
            }
            text.append(buffer, static_cast<std::size_t>(n));
        }
    } catch (const std::exception&) {
        ok = false;
    }
    return AddOwned(Encoding, ok ? &text : nullptr);
}

const TKorbexPDFLibraryCMap* TPDFCMapResources::CMap(int CMapId) const {
    if (CMapId < 0 || CMapId >= CMapCount()) return nullptr;
    return FSlots[static_cast<std::size_t>(CMapId)].CMap;
}

const std::string& TPDFCMapResources::CMapName(int CMapId) const {
    static const std::string kNone;
    if (CMapId < 0 || CMapId >= CMapCount()) return kNone;
    return FSlots[static_cast<std::size_t>(CMapId)].Name;
}

int TPDFCMapResources::UseCMap(int CMapId) const {
    if (CMapId < 0 || CMapId >= CMapCount()) return -1;
    return FSlots[static_cast<std::size_t>(CMapId)].UseCMap;
}

int TPDFCMapResources::ResourceCMapGetValue(int CMapId, std::uint32_t Code) const {
    const TKorbexPDFLibraryCMap* cmap = CMap(CMapId);
    if (!cmap) return -1;
    const int value = FirstValue(*cmap, Code);
    if (value >= 0) return value;
    const TKorbexPDFLibraryCMap* parent = CMap(UseCMap(CMapId));
    return parent ? FirstValue(*parent, Code) : -1;
}

bool TPDFCMapResources::ResourceCMapCodeSplit(int GIDToCIDMap, std::string_view Text,
                                              TCMapCodeList& CodeList) const {
    const TKorbexPDFLibraryCMap* cmap = CMap(GIDToCIDMap);
    if (!cmap || Text.empty()) return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(Text.data());
    const std::size_t length = Text.size();

    // Code-space ranges are inherited through usecmap: a vertical CMap
    // usually has none of its own, nor sometimes its parent.
    std::vector<CodespaceRange> codespace = UsableCodespace(cmap->CodespaceRanges());
    int ancestor = UseCMap(GIDToCIDMap);
    for (int depth = 0; codespace.empty() && ancestor >= 0 && depth < kMaxUseCMapDepth; ++depth) {
        codespace =
            UsableCodespace(FSlots[static_cast<std::size_t>(ancestor)].CMap->CodespaceRanges());
        ancestor = UseCMap(ancestor);
    }

    TCMapCodeList codes;
    if (!codespace.empty()) {
        int smallest = 4;
        for (const auto& r : codespace) smallest = std::min(smallest, r.Size);
        std::size_t pos = 0;
        while (pos < length) {
            int size = 0;
            for (int n = 1; n <= 4 && size == 0 && pos + std::size_t(n) <= length; ++n)
                for (const auto& r : codespace)
                    if (r.Size == n && Matches(r, bytes + pos)) {
                        size = n;
                        break;
                    }
            if (size == 0) {
                // No range holds the bytes: take the length of the shortest
                // range whose first byte fits, else of the shortest range.
                size = 5;
                for (const auto& r : codespace)
                    if (bytes[pos] >= r.Lo[0] && bytes[pos] <= r.Hi[0])
                        size = std::min(size, r.Size);
                if (size == 5) size = smallest;
                if (pos + std::size_t(size) > length) break;  // an incomplete last code
            }
            std::uint32_t code = 0;
            for (int i = 0; i < size; ++i) code = code << 8 | bytes[pos + std::size_t(i)];
            codes.push_back(code);
            pos += std::size_t(size);
        }
        CodeList = std::move(codes);
        return !CodeList.empty();
    }

    if (cmap->SingleByteCMap()) {
        std::size_t pos = 0;
        int width = 1;
        while (pos < length) {
            const bool last = pos + 1 == length;
            const std::uint32_t code =
                width == 1 || last ? bytes[pos] : std::uint32_t(bytes[pos]) << 8 | bytes[pos + 1];
            if (width == 2 || ResourceCMapGetValue(GIDToCIDMap, code) != -1) {
                codes.push_back(code);
                pos += last ? 1 : std::size_t(width);
                width = 1;
            } else {
                width = 2;
            }
        }
        CodeList = std::move(codes);
        return !CodeList.empty();
    }

    for (std::size_t pos = 0; pos + 1 < length; pos += 2)
        codes.push_back(std::uint32_t(bytes[pos]) << 8 | bytes[pos + 1]);
    CodeList = std::move(codes);
    return true;
}

// ---- ToUnicode ranges ---------------------------------------------------------

namespace {

enum class ReadKind { Missing, Array, Value };

struct ReadResult {
    ReadKind Kind = ReadKind::Missing;
    std::vector<std::int32_t> Values;
    std::size_t Digits = 0;
};

std::int32_t HexValue(std::string_view Digits) {
    if (Digits.empty() || Digits.size() > 8) return -1;
    std::uint32_t v = 0;
    for (char c : Digits) {
        int d = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
        if (d < 0) return -1;
        v = v << 4 | std::uint32_t(d);
    }
    return v > std::uint32_t(INT32_MAX) ? -1 : std::int32_t(v);
}

// The next <...> string of Rest (or an array marker when "[" comes first),
// consuming through it. Results of more than four digits are cut into groups
// of four, one UTF-16 unit each (a shorter remainder is dropped).
ReadResult ReadHex(std::string_view& Rest, bool AsResult) {
    ReadResult r;
    const std::size_t lt = Rest.find('<');
    const std::size_t gt = Rest.find('>');
    const std::size_t br = Rest.find('[');
    if (br != std::string_view::npos && (lt == std::string_view::npos || br < lt)) {
        Rest.remove_prefix(br + 1);
        r.Kind = ReadKind::Array;
        return r;
    }
    if (lt == std::string_view::npos || gt == std::string_view::npos || lt >= gt) {
        Rest = {};
        return r;
    }
    std::string_view digits = Rest.substr(lt + 1, gt - lt - 1);
    Rest.remove_prefix(gt + 1);
    if (digits.size() == 5 && digits[4] == '\r') digits = digits.substr(0, 4);
    r.Kind = ReadKind::Value;
    r.Digits = digits.size();
    if (AsResult && digits.size() > 4) {
        for (std::size_t g = 0; g + 4 <= digits.size(); g += 4)
            r.Values.push_back(HexValue(digits.substr(g, 4)));
    } else {
        r.Values.push_back(HexValue(digits));
    }
    return r;
}

// A CID value: a decimal number (a hex string is read as one too).
ReadResult ReadDecimal(std::string_view& Rest) {
    ReadResult r;
    std::size_t p = 0;
    while (p < Rest.size() && static_cast<unsigned char>(Rest[p]) <= 32) ++p;
    if (p == Rest.size()) {
        Rest = {};
        return r;
    }
    if (Rest[p] == '<') {
        Rest.remove_prefix(p);
        return ReadHex(Rest, true);
    }
    if (Rest[p] == '[') {
        Rest.remove_prefix(p + 1);
        r.Kind = ReadKind::Array;
        return r;
    }
    std::size_t q = p;
    std::int64_t v = 0;
    while (q < Rest.size() && Rest[q] >= '0' && Rest[q] <= '9') {
        v = std::min<std::int64_t>(v * 10 + (Rest[q] - '0'), std::int64_t(INT32_MAX) + 1);
        ++q;
    }
    if (q == p) {
        Rest = {};
        return r;
    }
    Rest.remove_prefix(q);
    r.Kind = ReadKind::Value;
    r.Digits = q - p;
    r.Values.push_back(v > INT32_MAX ? -1 : std::int32_t(v));
    return r;
}

bool IsCode(const ReadResult& R) {
    return R.Kind == ReadKind::Value && R.Values[0] >= 0 && R.Values[0] <= 0xFFFF;
}

bool IsText(const ReadResult& R) {
    return R.Kind == ReadKind::Value && !R.Values.empty() && R.Values[0] >= 0;
}

// True when "]" comes next, before any further value; consumes it then.
bool CloseArray(std::string_view& Rest, bool Decimal) {
    const std::size_t br = Rest.find(']');
    if (br == std::string_view::npos) return false;
    std::size_t next;
    if (Decimal) {
        next = 0;
        while (next < Rest.size() && static_cast<unsigned char>(Rest[next]) <= 32) ++next;
    } else {
        next = Rest.find('<');
    }
    if (next != std::string_view::npos && next < br) return false;
    Rest.remove_prefix(br + 1);
    return true;
}

void AddEntry(TPDFCMap& Ranges, std::int32_t Start, std::int32_t End,
              std::vector<std::int32_t> Result) {
    TPDFCMapEntry e;
    e.StartCode = static_cast<std::uint16_t>(Start);
    e.EndCode = static_cast<std::uint16_t>(End);
    e.ResultCodes = std::move(Result);
    Ranges.push_back(std::move(e));
}

void ReadRangeSection(std::string_view Body, bool Decimal, TPDFCMap& Ranges) {
    auto result = [&](std::string_view& rest) {
        return Decimal ? ReadDecimal(rest) : ReadHex(rest, true);
    };
    for (;;) {
        ReadResult start = ReadHex(Body, false);
        if (start.Kind != ReadKind::Value) return;
        ReadResult end = ReadHex(Body, false);
        if (end.Kind != ReadKind::Value) return;
        ReadResult value = result(Body);
        if (value.Kind == ReadKind::Missing) return;
        if (value.Kind == ReadKind::Array) {
            // One text per code, up to the closing bracket at the latest.
            const std::int64_t first = start.Values[0];
            const std::int64_t last = end.Values[0];
            for (std::int64_t code = first; first >= 0 && code <= last; ++code) {
                if (CloseArray(Body, Decimal)) break;
                ReadResult item = result(Body);
                if (item.Kind != ReadKind::Value) return;
                if (code <= 0xFFFF && IsText(item) && item.Values[0] < 0xFFFF)
                    AddEntry(Ranges, std::int32_t(code), std::int32_t(code),
                             std::move(item.Values));
            }
            CloseArray(Body, Decimal);
            continue;
        }
        if (IsCode(start) && IsCode(end) && IsText(value))
            AddEntry(Ranges, start.Values[0], end.Values[0], std::move(value.Values));
    }
}

void ReadCharSection(std::string_view Body, bool Decimal, TPDFCMap& Ranges) {
    for (;;) {
        ReadResult code = ReadHex(Body, false);
        if (code.Kind != ReadKind::Value) return;
        ReadResult value = Decimal ? ReadDecimal(Body) : ReadHex(Body, true);
        if (value.Kind != ReadKind::Value) return;
        if (IsCode(code) && IsText(value))
            AddEntry(Ranges, code.Values[0], code.Values[0], std::move(value.Values));
    }
}

}  // namespace

void ParseToUnicodeRanges(std::string_view Text, TPDFCMap& Ranges, bool& SingleByte) {
    constexpr std::string_view kBeginCodespace = "begincodespacerange";
    constexpr std::string_view kEndCodespace = "endcodespacerange";
    constexpr std::size_t npos = std::string_view::npos;
    Ranges.clear();
    SingleByte = false;

    const std::size_t csBegin = Text.find(kBeginCodespace);
    const std::size_t csEnd = Text.find(kEndCodespace);
    if (csBegin != npos && csEnd != npos && csBegin < csEnd) {
        const std::size_t from = std::min(csBegin + kBeginCodespace.size() + 1, csEnd);
        std::string_view body = Text.substr(from, csEnd - from);
        ReadResult first = ReadHex(body, false);
        if (first.Kind != ReadKind::Value) return;
        if (first.Digits == 2) SingleByte = true;
        if (ReadHex(body, false).Kind != ReadKind::Value) return;
    }
    std::string_view rest = csEnd == npos ? Text : Text.substr(csEnd + kEndCodespace.size());

    for (;;) {
        bool cid = false;
        std::size_t range = rest.find("beginbfrange");
        std::size_t single = rest.find("beginbfchar");
        if (range == npos && single == npos) {
            cid = true;
            range = rest.find("begincidrange");
            single = rest.find("begincidchar");
            if (range == npos && single == npos) return;
        }
        if (range != npos && (single == npos || range < single)) {
            const std::string_view begin = cid ? "begincidrange" : "beginbfrange";
            const std::string_view endKey = cid ? "endcidrange" : "endbfrange";
            const std::size_t end = rest.find(endKey);
            if (end == npos || end < range) return;
            const std::size_t from = range + begin.size();
            ReadRangeSection(rest.substr(from, end - std::min(from, end)), cid, Ranges);
            rest = rest.substr(end + endKey.size());
        } else {
            const std::string_view begin = cid ? "begincidchar" : "beginbfchar";
            const std::size_t from = single + begin.size();
            std::string_view endKey = cid ? "endcidchar" : "endbfchar";
            std::size_t end = rest.find(endKey, from);
            if (end == npos) {
                endKey = "endcmap";
                end = rest.find(endKey, from);
            }
            if (end == npos) {
                ReadCharSection(rest.substr(from), cid, Ranges);
                return;
            }
            ReadCharSection(rest.substr(from, end - from), cid, Ranges);
            rest = rest.substr(end + endKey.size());
        }
    }
}

std::u16string CMapEntryText(const TPDFCMapEntry& Entry, std::uint32_t Code) {
    std::u16string text;
    text.reserve(Entry.ResultCodes.size());
    for (std::int32_t r : Entry.ResultCodes) text += static_cast<char16_t>(r & 0xFFFF);
    if (text.empty()) return text;
    const std::uint32_t offset = (Code - Entry.StartCode) & 0xFFFF;
    if (offset == 0) return text;
    const std::size_t last = text.size() - 1;
    const char16_t low = text[last];
    if (last > 0 && low >= 0xDC00 && low <= 0xDFFF && text[last - 1] >= 0xD800 &&
        text[last - 1] <= 0xDBFF) {
        const std::uint32_t cp =
            0x10000 + ((std::uint32_t(text[last - 1]) - 0xD800) << 10) + (low - 0xDC00) + offset;
        if (cp > 0x10FFFF) {
            text.resize(last);
            text[last - 1] = 0xFFFD;
        } else {
            text[last - 1] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            text[last] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        }
    } else {
        text[last] = static_cast<char16_t>((low + offset) & 0xFFFF);
    }
    return text;
}

void ApplyDisplayTable(std::array<std::u16string, 256>& DisplayCSW, const TPDFCMap& Ranges) {
    for (const auto& e : Ranges) {
        if (e.StartCode > e.EndCode || e.StartCode > 255) continue;
        const int last = std::min<int>(e.EndCode, 255);
        for (int i = e.StartCode; i <= last; ++i)
            DisplayCSW[static_cast<std::size_t>(i)] = CMapEntryText(e, std::uint32_t(i));
    }
}

}  // namespace velmo
