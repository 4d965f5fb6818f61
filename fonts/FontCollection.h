// The fonts of an existing document that a render pass or a text extraction
// meets: one analysed entry per font, found again by object number, with the
// CMap list the composite fonts share, the split of shown strings into codes
// and the Unicode text of codes.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/CMap.h"
#include "core/Encodings.h"
#include "core/NumberLists.h"
#include "core/Objects.h"
#include "document/PageServices.h"
#include "fonts/CMapResources.h"
#include "fonts/FontRasterizer.h"

namespace velmo {

// Values over intervals of 32-bit codes in which the first definition of a
// code wins: a later interval only fills the codes no earlier one covered.
// Adding and looking up take logarithmic time (amortised), whatever the
// order or overlap of the intervals, so hostile width arrays and ToUnicode
// ranges cannot make filling quadratic.
template <class V>
class TPDFIntervalMap {
public:
    // Gives Value to every code of First..Last that has none yet; nothing
    // when Last < First.
    void Add(std::uint32_t First, std::uint32_t Last, const V& Value) {
        if (Last < First) return;
        std::uint64_t cur = First;
        // Walk the gaps of First..Last between the covered runs.
        auto it = FCovered.upper_bound(First);
        if (it != FCovered.begin()) {
            auto prev = std::prev(it);
            if (prev->second >= First) cur = std::uint64_t(prev->second) + 1;
        }
        while (cur <= Last) {
            auto next = FCovered.lower_bound(std::uint32_t(cur));
            const bool inside = next != FCovered.end() && next->first <= Last;
            const std::uint64_t gapEnd = inside ? std::uint64_t(next->first) - 1 : Last;
            if (cur <= gapEnd)
                FPieces.emplace(std::uint32_t(cur), Piece{std::uint32_t(gapEnd), Value});
            if (!inside) break;
            cur = std::uint64_t(next->second) + 1;
        }
        Cover(First, Last);
    }

    // The value of Code; nullptr when no interval holds it.
    const V* Find(std::uint32_t Code) const {
        auto it = FPieces.upper_bound(Code);
        if (it == FPieces.begin()) return nullptr;
        --it;
        return Code <= it->second.Last ? &it->second.Value : nullptr;
    }

    bool Empty() const { return FPieces.empty(); }
    // Number of disjoint stretches holding one value each.
    std::size_t PieceCount() const { return FPieces.size(); }
    void Clear() {
        FPieces.clear();
        FCovered.clear();
    }

private:
    struct Piece {
        std::uint32_t Last;
        V Value;
    };

    // Merges First..Last into the covered runs (runs that touch are joined).
    void Cover(std::uint32_t First, std::uint32_t Last) {
        std::uint32_t lo = First, hi = Last;
        auto it = FCovered.upper_bound(First);
        if (it != FCovered.begin()) {
            auto prev = std::prev(it);
            if (std::uint64_t(prev->second) + 1 >= First) it = prev;
        }
        while (it != FCovered.end() && std::uint64_t(it->first) <= std::uint64_t(hi) + 1) {
            lo = std::min(lo, it->first);
            hi = std::max(hi, it->second);
            it = FCovered.erase(it);
        }
        FCovered.emplace(lo, hi);
    }

    std::map<std::uint32_t, Piece> FPieces;           // first code → stretch
    std::map<std::uint32_t, std::uint32_t> FCovered;  // disjoint runs, first → last
};

// Widths of the CIDs of a composite font, in thousandths of the text space
// unit: intervals of CIDs and the default width. The first width given to a
// CID wins, and so does the first default.
class TPDFCIDWidths {
public:
    void AddRange(std::uint32_t FirstCID, std::uint32_t LastCID, std::int32_t Width) {
        FRanges.Add(FirstCID, LastCID, Width);
    }
    void AddDefault(std::int32_t Width) {
        if (!FDefault) FDefault = Width;
    }
    // The width given to CID; empty when none was.
    std::optional<std::int32_t> Width(std::uint32_t CID) const {
        if (const std::int32_t* w = FRanges.Find(CID)) return *w;
        return std::nullopt;
    }
    std::optional<std::int32_t> Default() const { return FDefault; }
    bool Empty() const { return FRanges.Empty() && !FDefault; }

private:
    TPDFIntervalMap<std::int32_t> FRanges;
    std::optional<std::int32_t> FDefault;
};

// The ranges of a font's ToUnicode CMap with an index that finds, for a
// code, the first range holding it.
class TPDFDisplayRanges {
public:
    void Assign(TPDFCMap Ranges);
    const TPDFCMap& Ranges() const { return FRanges; }
    bool Empty() const { return FRanges.empty(); }
    // The first range with StartCode <= Code <= EndCode; nullptr when none.
    const TPDFCMapEntry* Find(std::uint32_t Code) const;

private:
    TPDFCMap FRanges;
    TPDFIntervalMap<std::uint32_t> FIndex;  // code → index in FRanges
};

// The font bounding box: Left = llx, Top = ury, Right = urx, Bottom = lly.
struct TPDFFontBound {
    std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// Type 1 (PFB or PFA text, or the three parts of a font stream) and CFF
// programs (bare or OpenType) are read by the Type 1 decoder, which installs
// the loader at start-up. The loader returns null when the program does not
// load, and may replace Encoding (the font's glyph names so far) by the
// program's own encoding. StreamDict is the font stream's dictionary, when
// the program came from one; Find resolves references met in it.
enum class TPDFProgramKind { Type1, CFF };
using TPDFProgramLoader = std::function<std::unique_ptr<TPDFFontRasterizer>(
    TPDFProgramKind Kind, const std::string& Data, TPDFDictionary* StreamDict,
    const TPDFFindObjectEvent& Find, TPDFCharsetNames& Encoding)>;
// Without an installed loader such fonts are drawn with an installed face.
TPDFProgramLoader& Type1ProgramLoader();

// The format of an embedded font program by its first bytes: documents
// label programs wrongly (a TrueType program as CFF data), and the program
// is read as what it is.
enum class TPDFProgramFormat { Unknown, TrueType, OpenTypeCFF, CFF, Type1 };
TPDFProgramFormat SniffFontProgram(std::string_view Data);

// One analysed font of a document.
class TPDFFontCollectionData {
public:
    TPDFFontCollectionData();
    TPDFFontCollectionData(const TPDFFontCollectionData&) = delete;
    TPDFFontCollectionData& operator=(const TPDFFontCollectionData&) = delete;

    // Object number of the font's reference; 0 for a direct dictionary.
    std::int32_t ObjNum = 0;
    // Advance of each one-byte code, thousandths of the text space unit.
    std::array<double, 256> Widths{};
    std::int32_t DW2_v = 880, DW2_w1 = -1000;
    std::string FontName;
    std::unique_ptr<TPDFFontRasterizer> Rasterizer;
    // Glyph name of each one-byte code.
    TPDFCharsetNames Encoding;
    bool IsComposite = false;
    // Widths of a composite font's CIDs; nil for simple fonts.
    std::unique_ptr<TPDFCIDWidths> CIDWidths;
    double Ascent = 0, Descent = 0;
    TPDFFontBound Bound;
    // Unicode text of each one-byte code.
    std::array<std::u16string, 256> DisplayCSW;
    // Ranges of the font's ToUnicode CMap.
    TPDFDisplayRanges DisplayCS2;
    std::int32_t FirstChar = 0, LastChar = 0;
    // CID to glyph index, or for non-embedded CJK fonts a shared CID to
    // Unicode table; nil when neither. Owned only with HasOwnCIDToGIDMap.
    const TVPLWordPairList* CIDToGIDMap = nullptr;
    bool HasOwnCIDToGIDMap = false;
    bool EncodingBuiltIn = false;
    // CMap id of a composite font's encoding CMap; -1 when none.
    std::int32_t GIDToCIDMap = -1;
    std::unique_ptr<TKorbexPDFLibraryCMap> ToUnicodeMap;
    bool SingleByteCMap = false;
    std::string CIDEncoding;
    // Registry-Ordering-Supplement of a descendant font; empty for simple fonts.
    std::string CIDSystemInfo;
    bool AdobeGIDType0 = false;
    TPDFEncodingVector Enc = peStandard;
    std::string Panose;
    bool Embedded = false;
    bool Subsetted = false;
    // The kind of embedded program the analysis found (whether or not it
    // loaded): none, a TrueType (FontFile2), Type 1 (FontFile) or CFF
    // (FontFile3, or CFF data in FontFile2) program.
    enum TProgram : std::uint8_t { fpNone, fpTrueType, fpType1, fpCFF } Program = fpNone;
    std::string SubType;

    // What the rasterizer resolved each code's glyph to
    // (TPDFFontRasterizer::ResolveGlyph), filled by the renderer the first
    // time a code is shown; kUnresolved until then. NotdefCodes: the codes
    // resolved so far whose glyph name is ".notdef". Composite fonts keep
    // the same per glyph number below 65536 (empty until the first show).
    // ResolvedFor is the rasterizer the answers came from.
    static constexpr std::int32_t kUnresolved = -3;
    std::array<std::int32_t, 256> ResolvedGlyphs;
    std::bitset<256> NotdefCodes;
    std::vector<std::int32_t> ResolvedGlyphIds;
    const TPDFFontRasterizer* ResolvedFor = nullptr;
    // Forgets the answers when the rasterizer is not the one they came from.
    void CheckResolvedGlyphs() {
        if (ResolvedFor == Rasterizer.get()) return;
        ResolvedFor = Rasterizer.get();
        ResolvedGlyphs.fill(kUnresolved);
        NotdefCodes.reset();
        ResolvedGlyphIds.clear();
    }

    // Makes Map the entry's own CID to glyph table.
    void SetOwnCIDToGIDMap(std::unique_ptr<TVPLWordPairList> Map);

private:
    std::unique_ptr<TVPLWordPairList> FOwnCIDToGIDMap;
};

class TPDFFontCollection : public TPDFFontCollectionBase {
public:
    TPDFFontCollection() = default;
    TPDFFontCollection(const TPDFFontCollection&) = delete;
    TPDFFontCollection& operator=(const TPDFFontCollection&) = delete;
    ~TPDFFontCollection() override;

    TPDFFindObjectEvent FOnFindObject;
    TPDFCryptStreamEvent FOnDecrypt;
    TPDFCryptStreamEvent FOnEncrypt;
    // Set by the renderer before each render: True for a text-extraction pass.
    bool FUsingTextFunnel = false;
    // Set to True by the renderer when its settings ask for installed fonts
    // drawn directly; never cleared by it.
    bool FDirectFonts = false;

    // The current font; nil before any font was selected.
    TPDFFontCollectionData* FoundFontData() const { return FFoundFontData; }
    // Makes an entry of this collection current again (the renderer keeps
    // the entries of fonts given as direct dictionaries, which have no
    // object number to find them by).
    void SetFoundFontData(TPDFFontCollectionData* Data) { FFoundFontData = Data; }

    // Makes the font of Ref current, analysing it on first use.
    void GetFontData(TPDFIndRef* Ref);
    // Makes the analysed font with that object number current again;
    // nothing when none has it.
    void FastGetFontData(std::int32_t ObjNum);
    // Analyses a font dictionary given directly (every call appends a new
    // entry, object number 0) and makes the new entry current.
    void GetFontDataFromDict(TPDFDictionary* Dict);
    // Appends exactly one entry for one font, whatever its dictionary holds.
    // ParentDict is the composite font whose descendant RefOrDict is, else
    // nil. A failure while the font's data is read (a filter, a program)
    // gives the font the installed face of its name and is noted in
    // AnalysisErrors.
    void AnalyseFont(TPDFObject* RefOrDict, TPDFDictionary* ParentDict);
    struct TAnalysisError {
        std::int32_t ObjNum;
        std::string Message;
    };
    const std::vector<TAnalysisError>& AnalysisErrors() const { return FAnalysisErrors; }

    // The codes of a string shown with the current font: byte pairs, first
    // byte high, for a font without a character collection; otherwise split
    // by its encoding CMap (no CMap: no codes).
    void GetCodeList(std::string_view Text, TCMapCodeList& CodeList) const;
    // The Unicode text of a code of the current font.
    std::u16string GetWideMap(std::int64_t CharCode) const;

    // The CMap list of the collection.
    TPDFCMapResources& CMaps() { return FCMaps; }
    const TPDFCMapResources& CMaps() const { return FCMaps; }
    int ResourceCMapGetValue(int CMapId, std::uint32_t Code) const {
        return FCMaps.ResourceCMapGetValue(CMapId, Code);
    }

    std::size_t FontDataCount() const { return FFontData.size(); }
    TPDFFontCollectionData* FontData(std::size_t Index) const {
        return Index < FFontData.size() ? FFontData[Index].get() : nullptr;
    }
    // Appends Entry as analysed (used by the analysis) and returns it.
    TPDFFontCollectionData* AddFontData(std::unique_ptr<TPDFFontCollectionData> Entry);

    // Ref's object through OnFindObject when assigned, else through Ref
    // itself; an object that is not a reference is its own answer.
    TPDFObject* FindObject(TPDFObject* RefOrObj) const;

private:
    void AnalyseFontEntry(TPDFObject* RefOrDict, TPDFDictionary* ParentDict);
    std::vector<TAnalysisError> FAnalysisErrors;
    // Adds the entries appended since the last rebuild to the object number
    // index; the first entry of a number keeps it.
    void RebuildMap();

    std::vector<std::unique_ptr<TPDFFontCollectionData>> FFontData;
    std::unordered_map<std::int32_t, std::size_t> FMap;  // object number → entry index
    std::size_t FMapped = 0;                             // entries already in FMap
    TPDFFontCollectionData* FFoundFontData = nullptr;
    TPDFCMapResources FCMaps;
};

// Installs the font collection's factory into the page services (once, at
// start-up); until then pages get collections that analyse nothing.
void InstallFontCollectionServices();

}  // namespace velmo
