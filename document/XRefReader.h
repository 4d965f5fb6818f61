// Reader of the cross-reference data of a PDF file: finds the last
// "startxref", reads classic tables and cross-reference streams, follows
// /XRefStm and /Prev, and hands every entry, trailer and section position to
// its owner through three events. It keeps no table of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace velmo {

class TPDFStructure;

// One entry: object number, offset (or next free object, or object stream),
// generation (or index in the object stream), type byte 'n', 'f', 'c' or ' '.
using TPDFXRefItemEvent = std::function<void(int O, int64_t N, int G, char T)>;
// The trailer dictionary of one section as PDF syntax.
using TPDFXRefTrailerEvent = std::function<void(const std::string& Trailer)>;
// A section is about to be read at Pos, or (negated) the section at Pos failed.
using TPDFXRefReadEvent = std::function<void(int64_t Pos)>;

class TPDFXRefReader {
public:
    // Data is the file (or its mapping); it must outlive the reader.
    explicit TPDFXRefReader(std::string_view Data);

    TPDFXRefItemEvent OnXRefItem;
    TPDFXRefTrailerEvent OnXRefTrailer;
    TPDFXRefReadEvent OnXRefRead;

    bool HasXRefStream() const { return FHasXRefStream; }
    bool Hybrid() const { return FHybrid; }
    int64_t LastStartPos() const { return FLastStartPos; }
    int64_t Offset() const { return FOffset; }
    void SetOffset(int64_t Value) { FOffset = Value; }

    // The value written after the last "startxref"; 0 when none is found.
    int64_t FindXRefPos();
    // Reads the section at or near Start and every older one; True when the
    // whole chain was read.
    bool ReadXRef(int64_t Start);

    // Count bytes at Position + Offset (a negative sum reads from 0), clipped
    // to the data.
    std::string_view ReadBlock(int64_t Count, int64_t Position) const;

    // Upper bound of sections read in one chain; a longer chain fails.
    static constexpr int MaxSections = 100000;
    // Upper bound of the entries one cross-reference stream delivers.
    static constexpr int64_t MaxStreamEntries = int64_t{1} << 23;

private:
    enum class SectionKind { Failed, Table, Stream };
    // Result of reading one section: its own success and where the chain goes.
    struct Section {
        bool Ok = false;
        bool Fatal = false;  // the whole read ends (an entry raised)
        int64_t XRefStm = -1;
        int64_t Prev = -1;
    };
    SectionKind Locate(int64_t Start, int64_t& KeywordEnd);
    Section ReadXRefTable(int64_t Position);
    Section ReadXRefStream(int64_t Position);

    std::string_view FData;
    bool FHasXRefStream = false;
    bool FHybrid = false;
    int64_t FLastStartPos = -1;
    int64_t FOffset = 0;
};

}  // namespace velmo
