// CMap resources of a font collection: the CMaps that the fonts of a document
// name or embed, each under an integer id, with the predefined CMaps parsed
// once per process and shared; the split of composite-font strings into codes;
// and the ranges of ToUnicode CMaps that give the Unicode text of codes.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/CMap.h"
#include "platform/files/Stream.h"

namespace velmo {

// The predefined CMap K (1-based, 1..kPredefinedCMapCount), parsed on first
// use and shared by the whole process: it is never changed afterwards and its
// look-up indexes are built before anyone else sees it. A resource that is
// missing or does not inflate gives an empty CMap. nullptr for K out of range.
const TKorbexPDFLibraryCMap* SharedPredefinedCMap(int K);

// Codes of a composite-font string; codes of up to four bytes, so 32 bits.
using TCMapCodeList = std::vector<std::uint32_t>;

// The CMap list of one collection. A CMap id is an index into it; -1 means
// no CMap. Predefined CMaps are referred to, not copied; CMaps given as text
// are owned. Each slot keeps the id of its parent (the CMap named after
// usecmap) itself, so that shared CMaps stay untouched.
class TPDFCMapResources {
public:
    TPDFCMapResources() = default;
    TPDFCMapResources(const TPDFCMapResources&) = delete;
    TPDFCMapResources& operator=(const TPDFCMapResources&) = delete;

    // The id of the CMap registered under Encoding (the last one of that
    // name), loading a predefined CMap and its parent on first use; -1 when
    // the name is neither registered nor predefined.
    int GetCMAP(std::string_view Encoding);
    // Registers the CMap source text under Encoding and returns its id; a name
    // already registered returns its id and parses nothing. An empty name
    // always adds a new CMap. Text that cannot be read registers an empty
    // CMap under the name, so ids stay consistent.
    int ResourcesAddCMapFromString(std::string_view Encoding, std::string_view CMapAsString);
    // The same with the text read from FS's current position to its end.
    int ResourcesAddCMapFromStream(std::string_view Encoding, TStream& FS);

    // The first 16-bit target of Code (a CID for CID CMaps), asking the
    // parent when the CMap itself does not map it (one level only); -1 when
    // CMapId is out of range or the code is not mapped.
    int ResourceCMapGetValue(int CMapId, std::uint32_t Code) const;
    // Splits the bytes of a string shown with a composite font into codes.
    // With code-space ranges (the CMap's own, else its nearest ancestor's) the bytes are
    // matched against them, so codes of one to four bytes come out whole;
    // without them a one-byte CMap takes one byte when it maps and two
    // otherwise, and any other CMap takes byte pairs. False for CMapId -1 or
    // empty Text (CodeList is then left as it was) and when no code results.
    bool ResourceCMapCodeSplit(int GIDToCIDMap, std::string_view Text,
                               TCMapCodeList& CodeList) const;

    int CMapCount() const { return static_cast<int>(FSlots.size()); }
    // The CMap of an id; nullptr out of range.
    const TKorbexPDFLibraryCMap* CMap(int CMapId) const;
    // The name the CMap is registered under.
    const std::string& CMapName(int CMapId) const;
    // The parent id of a slot, -1 when none.
    int UseCMap(int CMapId) const;

private:
    struct Slot {
        const TKorbexPDFLibraryCMap* CMap = nullptr;
        std::unique_ptr<TKorbexPDFLibraryCMap> Owned;  // CMaps from text
        std::string Name;
        int UseCMap = -1;
    };
    int FindName(std::string_view Encoding) const;
    int AddSlot(std::string_view Encoding, const TKorbexPDFLibraryCMap* Shared,
                std::unique_ptr<TKorbexPDFLibraryCMap> Owned);
    int LoadPredefined(std::string_view Encoding, int Depth);
    int AddOwned(std::string_view Encoding, const std::string* Text);

    std::vector<Slot> FSlots;
    std::unordered_map<std::string, int> FByName;  // name → last id
};

// ---- ToUnicode ranges ---------------------------------------------------------

// One range of a ToUnicode CMap: codes StartCode..EndCode and the UTF-16 units
// of the first code's text (only the low 16 bits of each are used).
struct TPDFCMapEntry {
    std::uint16_t StartCode = 0;
    std::uint16_t EndCode = 0;
    std::vector<std::int32_t> ResultCodes;
};
using TPDFCMap = std::vector<TPDFCMapEntry>;

// Reads the ranges and single codes of ToUnicode CMap text with plain
// substring searches. SingleByte tells that the first code-space range has
// one-byte codes. CID sections serve when the text has no bf section; their
// values are decimal.
void ParseToUnicodeRanges(std::string_view Text, TPDFCMap& Ranges, bool& SingleByte);

// The text of Code (StartCode <= Code <= EndCode) in a range: every unit of
// the first code's text but the last as it stands, the last advanced by the
// code's distance from StartCode (a surrogate pair advances as one code
// point).
std::u16string CMapEntryText(const TPDFCMapEntry& Entry, std::uint32_t Code);

// Overlays the ranges on the text of the 256 one-byte codes: every range
// holding a code gives it its text, a later range overriding an earlier one.
void ApplyDisplayTable(std::array<std::u16string, 256>& DisplayCSW, const TPDFCMap& Ranges);

}  // namespace velmo
