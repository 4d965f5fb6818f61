// CMaps: code-indexed sections of byte targets, the CID and bf ranges read
// from CMap text, a binary form of the sections, the predefined CMap names
// and the CID-to-Unicode tables.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/Stream.h"

namespace velmo {

class TVPLBuffer;
class TVPLWordPairList;

struct TKorbexPDFLibraryCMapRange {
    std::uint32_t StartCode = 0;
    std::uint32_t EndCode = 0;
    // CID ranges: the first CID in Value[0]. bf ranges: up to four UTF-16
    // units of the first destination, the rest 0; along a range the last
    // non-zero unit advances with the code.
    std::array<std::uint16_t, 4> Value{};
    // Code-space ranges: the number of bytes of their codes (0 when the
    // bounds were not written as hexadecimal strings).
    int CodeSize = 0;
};

// All mappings of one input size and one target size.
class TKorbexPDFLibraryCMapSection {
public:
    std::vector<std::uint32_t> Inputs;  // ascending
    std::vector<std::uint8_t> Targets;  // TargetSize bytes per input, in the order of Inputs
    std::uint32_t InputSize = 0;
    std::uint32_t TargetSize = 0;

    // Inserts Code after the inputs equal to or less than it, with its
    // TargetSize bytes at the same position (missing bytes are 0).
    void AddMapping(std::uint32_t Code, const std::vector<std::uint8_t>& Target);
    bool ContainsCode(std::uint32_t Code) const;
    // The target of the first input equal to Code; empty when none.
    void GetMappingToByteArray(std::uint32_t Code, std::vector<std::uint8_t>& Target) const;
    // TargetSize 1: one character of the byte's value; otherwise the target as
    // big-endian UTF-16 units (a missing last byte taken as 0). Empty when none.
    std::u16string GetMappingToWideString(std::uint32_t Code) const;
    // TargetSize 1: the byte; 2: the big-endian word; otherwise 0. 0 when none.
    std::uint16_t GetMappingToWord(std::uint32_t Code) const;

    void SaveToStream(TStream& OutputStream) const;
    // Reads one section. A header out of bounds (InputSize > 4, TargetSize > 64)
    // leaves the section empty and its data is skipped. False when the stream
    // runs short; the section is then empty.
    bool LoadFromStream(TStream& InputStream);

private:
    std::size_t IndexOf(std::uint32_t Code) const;  // Inputs.size() when absent
};

enum TPDFKorbexPDFLibraryCMapType { cmapToCode, cmapToUnicode, cmapGIDToCID };

class TKorbexPDFLibraryCMap {
public:
    using TRanges = std::vector<TKorbexPDFLibraryCMapRange>;

    TKorbexPDFLibraryCMap();
    virtual ~TKorbexPDFLibraryCMap();
    TKorbexPDFLibraryCMap(const TKorbexPDFLibraryCMap&) = delete;
    TKorbexPDFLibraryCMap& operator=(const TKorbexPDFLibraryCMap&) = delete;

    void AddMapping(std::uint32_t InputSize, std::uint32_t Code,
                    const std::vector<std::uint8_t>& Target);
    bool ContainsCode(std::uint32_t InputSize, std::uint32_t Code) const;
    bool GetMappingToByteArray(std::uint32_t InputSize, std::uint32_t Code,
                               std::vector<std::uint8_t>& Target) const;
    std::u16string GetMappingToWideString(std::uint32_t InputSize, std::uint32_t Code) const;
    std::uint16_t GetMappingToWord(std::uint32_t InputSize, std::uint32_t Code) const;
    void SetIdentityMapping() { FIdentityMapping = true; }

    void AddCodespaceRange(std::uint32_t StartCode, std::uint32_t EndCode, int CodeSize);
    void AddBFRange(std::uint32_t StartCode, std::uint32_t EndCode, std::u16string_view S);
    void AddCIDRange(std::uint32_t StartCode, std::uint32_t EndCode, std::uint16_t Ch);

    // The value of Code: an identity CMap gives Code; otherwise the number of
    // UTF-16 units (or 1 for a CID) written to Units, -1 when Code is not mapped.
    int GetValue(std::uint32_t Code, std::array<std::uint16_t, 4>& Units) const;

    // Builds the look-up indexes now, so that a CMap shared between threads is
    // only read afterwards.
    void BuildIndexes() const;

    // Orders ranges by StartCode.
    static void Sort(TRanges& Ranges);

    void SaveToStream(TStream& OutputStream) const;
    // Removes every section and range, then reads the binary form. False when
    // the data is cut short; what was read completely is kept.
    bool LoadFromStream(TStream& InputStream);

    const std::vector<std::unique_ptr<TKorbexPDFLibraryCMapSection>>& Sections() const {
        return FSections;
    }
    const TRanges& CodespaceRanges() const { return FCodespaceRanges; }
    const TRanges& CIDRanges() const { return FCIDRanges; }
    const TRanges& BFRanges() const { return FBFRanges; }

    const std::string& CMapName() const { return FCMapName; }
    TPDFKorbexPDFLibraryCMapType CMapType() const { return FCMapType; }
    bool SingleByteCMap() const { return FSingleByteCMap; }
    int UseCMap() const { return FUseCMap; }
    const std::string& UseCMapName() const { return FUseCMapName; }
    bool IdentityMapping() const { return FIdentityMapping; }

    std::string FCMapName;
    bool FIdentityMapping = false;
    TPDFKorbexPDFLibraryCMapType FCMapType = cmapToCode;
    bool FSingleByteCMap = false;
    int FUseCMap = -1;
    std::string FUseCMapName;
    int CIDCount = 0;
    int BFCount = 0;

private:
    // For each code, the first range (in the order added) that holds it:
    // boundaries of elementary intervals and the range index of each (-1 none).
    struct RangeIndex {
        bool Valid = false;
        std::vector<std::uint64_t> Starts;
        std::vector<int> Owner;
    };
    static void BuildIndex(const TRanges& Ranges, RangeIndex& Index);
    static int FindRange(const TRanges& Ranges, RangeIndex& Index, std::uint32_t Code);

    std::vector<std::unique_ptr<TKorbexPDFLibraryCMapSection>> FSections;
    TRanges FCodespaceRanges;
    TRanges FCIDRanges;
    TRanges FBFRanges;
    mutable RangeIndex FCIDIndex;
    mutable RangeIndex FBFIndex;
};

class TKorbexPDFLibraryCMapParser {
public:
    TKorbexPDFLibraryCMapParser() = default;
    // Parses CMap text into a new CMap that the caller owns. Entries that do
    // not parse are left out; the rest of the text is still read.
    std::unique_ptr<TKorbexPDFLibraryCMap> ParseCMap(std::string_view Text);
    // The same over the bytes of a buffer from its current position.
    std::unique_ptr<TKorbexPDFLibraryCMap> ParseCMap(TVPLBuffer& Buffer);

private:
    std::string_view NextToken();

    std::string_view FText;
    std::size_t FPos = 0;
    std::unique_ptr<TKorbexPDFLibraryCMap> FCMap;
    std::array<std::string_view, 10> FTokenStack{};  // most recent first
};

// CMap text parsed into a new CMap; the two-argument form names it.
std::unique_ptr<TKorbexPDFLibraryCMap> ParseCMapString(std::string_view Text);
std::unique_ptr<TKorbexPDFLibraryCMap> ParseCMapString(std::string_view Name,
                                                       std::string_view Text);

// The predefined CMaps: name number K (1-based) has resource 11000 + K.
inline constexpr int kPredefinedCMapCount = 165;
std::string_view PredefinedCMapName(int K);
// 1-based number of a predefined CMap name, 0 when it is none.
int PredefinedCMapIndex(std::string_view Name);
// The inflated text of predefined CMap K; empty when K is out of range.
std::string PredefinedCMapText(int K);

// The CID-to-Unicode table of code page 936, 949 or 950 (932 for any other
// value), loaded once on first use; the caller does not free it. Raises
// EResNotFound when the built-in table is missing (the slot then keeps an
// empty list).
TVPLWordPairList* GetCIDToUnicodeTable(int CodePage);
// Frees the loaded tables (engine shut-down); they load again when asked for.
void ReleaseCIDToUnicodeTables();

}  // namespace velmo
