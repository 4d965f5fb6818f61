#include "fonts/TrueTypeParser.h"

#include <algorithm>
#include <cstdlib>

#include "platform/text/AnsiCodePage.h"

namespace velmo {

const std::array<const char*, 258> kMacGlyphNames = {".notdef",
                                                     ".null",
                                                     "nonmarkingreturn",
                                                     "space",
                                                     "exclam",
                                                     "quotedbl",
                                                     "numbersign",
                                                     "dollar",
                                                     "percent",
                                                     "ampersand",
                                                     "quotesingle",
                                                     "parenleft",
                                                     "parenright",
                                                     "asterisk",
                                                     "plus",
                                                     "comma",
                                                     "hyphen",
                                                     "period",
                                                     "slash",
                                                     "zero",
                                                     "one",
                                                     "two",
                                                     "three",
                                                     "four",
                                                     "five",
                                                     "six",
                                                     "seven",
                                                     "eight",
                                                     "nine",
                                                     "colon",
                                                     "semicolon",
                                                     "less",
                                                     "equal",
                                                     "greater",
                                                     "question",
                                                     "at",
                                                     "A",
                                                     "B",
                                                     "C",
                                                     "D",
                                                     "E",
                                                     "F",
                                                     "G",
                                                     "H",
                                                     "I",
                                                     "J",
                                                     "K",
                                                     "L",
                                                     "M",
                                                     "N",
                                                     "O",
                                                     "P",
                                                     "Q",
                                                     "R",
                                                     "S",
                                                     "T",
                                                     "U",
                                                     "V",
                                                     "W",
                                                     "X",
                                                     "Y",
                                                     "Z",
                                                     "bracketleft",
                                                     "backslash",
                                                     "bracketright",
                                                     "asciicircum",
                                                     "underscore",
                                                     "grave",
                                                     "a",
                                                     "b",
                                                     "c",
                                                     "d",
                                                     "e",
                                                     "f",
                                                     "g",
                                                     "h",
                                                     "i",
                                                     "j",
                                                     "k",
                                                     "l",
                                                     "m",
                                                     "n",
                                                     "o",
                                                     "p",
                                                     "q",
                                                     "r",
                                                     "s",
                                                     "t",
                                                     "u",
                                                     "v",
                                                     "w",
                                                     "x",
                                                     "y",
                                                     "z",
                                                     "braceleft",
                                                     "bar",
                                                     "braceright",
                                                     "asciitilde",
                                                     "Adieresis",
                                                     "Aring",
                                                     "Ccedilla",
                                                     "Eacute",
                                                     "Ntilde",
                                                     "Odieresis",
                                                     "Udieresis",
                                                     "aacute",
                                                     "agrave",
                                                     "acircumflex",
                                                     "adieresis",
                                                     "atilde",
                                                     "aring",
                                                     "ccedilla",
                                                     "eacute",
                                                     "egrave",
                                                     "ecircumflex",
                                                     "edieresis",
                                                     "iacute",
                                                     "igrave",
                                                     "icircumflex",
                                                     "idieresis",
                                                     "ntilde",
                                                     "oacute",
                                                     "ograve",
                                                     "ocircumflex",
                                                     "odieresis",
                                                     "otilde",
                                                     "uacute",
                                                     "ugrave",
                                                     "ucircumflex",
                                                     "udieresis",
                                                     "dagger",
                                                     "degree",
                                                     "cent",
                                                     "sterling",
                                                     "section",
                                                     "bullet",
                                                     "paragraph",
                                                     "germandbls",
                                                     "registered",
                                                     "copyright",
                                                     "trademark",
                                                     "acute",
                                                     "dieresis",
                                                     "notequal",
                                                     "AE",
                                                     "Oslash",
                                                     "infinity",
                                                     "plusminus",
                                                     "lessequal",
                                                     "greaterequal",
                                                     "yen",
                                                     "mu",
                                                     "partialdiff",
                                                     "summation",
                                                     "product",
                                                     "pi",
                                                     "integral",
                                                     "ordfeminine",
                                                     "ordmasculine",
                                                     "Omega",
                                                     "ae",
                                                     "oslash",
                                                     "questiondown",
                                                     "exclamdown",
                                                     "logicalnot",
                                                     "radical",
                                                     "florin",
                                                     "approxequal",
                                                     "Delta",
                                                     "guillemotleft",
                                                     "guillemotright",
                                                     "ellipsis",
                                                     "nonbreakingspace",
                                                     "Agrave",
                                                     "Atilde",
                                                     "Otilde",
                                                     "OE",
                                                     "oe",
                                                     "endash",
                                                     "emdash",
                                                     "quotedblleft",
                                                     "quotedblright",
                                                     "quoteleft",
                                                     "quoteright",
                                                     "divide",
                                                     "lozenge",
                                                     "ydieresis",
                                                     "Ydieresis",
                                                     "fraction",
                                                     "currency",
                                                     "guilsinglleft",
                                                     "guilsinglright",
                                                     "fi",
                                                     "fl",
                                                     "daggerdbl",
                                                     "periodcentered",
                                                     "quotesinglbase",
                                                     "quotedblbase",
                                                     "perthousand",
                                                     "Acircumflex",
                                                     "Ecircumflex",
                                                     "Aacute",
                                                     "Edieresis",
                                                     "Egrave",
                                                     "Iacute",
                                                     "Icircumflex",
                                                     "Idieresis",
                                                     "Igrave",
                                                     "Oacute",
                                                     "Ocircumflex",
                                                     "apple",
                                                     "Ograve",
                                                     "Uacute",
                                                     "Ucircumflex",
                                                     "Ugrave",
                                                     "dotlessi",
                                                     "circumflex",
                                                     "tilde",
                                                     "macron",
                                                     "breve",
                                                     "dotaccent",
                                                     "ring",
                                                     "cedilla",
                                                     "hungarumlaut",
                                                     "ogonek",
                                                     "caron",
                                                     "Lslash",
                                                     "lslash",
                                                     "Scaron",
                                                     "scaron",
                                                     "Zcaron",
                                                     "zcaron",
                                                     "brokenbar",
                                                     "Eth",
                                                     "eth",
                                                     "Yacute",
                                                     "yacute",
                                                     "Thorn",
                                                     "thorn",
                                                     "minus",
                                                     "multiply",
                                                     "onesuperior",
                                                     "twosuperior",
                                                     "threesuperior",
                                                     "onehalf",
                                                     "onequarter",
                                                     "threequarters",
                                                     "franc",
                                                     "Gbreve",
                                                     "gbreve",
                                                     "Idotaccent",
                                                     "Scedilla",
                                                     "scedilla",
                                                     "Cacute",
                                                     "cacute",
                                                     "Ccaron",
                                                     "ccaron",
                                                     "dcroat"};

namespace {

constexpr uint32_t kVersion1 = 0x00010000;

// Big-endian reads over one table. A read that runs past the end gives zero
// and marks the reader short; the table reader then ends the table.
class TReader {
public:
    explicit TReader(std::string_view Data, size_t Pos = 0) : FData(Data), FPos(Pos) {}

    bool Short() const { return FShort; }
    size_t Pos() const { return FPos; }
    size_t Size() const { return FData.size(); }
    size_t Left() const { return FPos < FData.size() ? FData.size() - FPos : 0; }
    void Seek(size_t Pos) { FPos = Pos; }
    void Skip(size_t N) {
        if (N > Left()) FShort = true;
        FPos = N > Left() ? FData.size() : FPos + N;
    }

    uint8_t U8() {
        if (Left() < 1) return Fail<uint8_t>();
        return static_cast<uint8_t>(FData[FPos++]);
    }
    int8_t S8() { return static_cast<int8_t>(U8()); }
    uint16_t U16() {
        if (Left() < 2) return Fail<uint16_t>();
        const auto* P = reinterpret_cast<const uint8_t*>(FData.data() + FPos);
        FPos += 2;
        return static_cast<uint16_t>(P[0] << 8 | P[1]);
    }
    int16_t S16() { return static_cast<int16_t>(U16()); }
    uint32_t U32() {
        if (Left() < 4) return Fail<uint32_t>();
        const auto* P = reinterpret_cast<const uint8_t*>(FData.data() + FPos);
        FPos += 4;
        return uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | P[3];
    }
    double Fixed() { return U32() / 65536.0; }
    double F2Dot14() { return S16() / 16384.0; }
    std::string_view Bytes(size_t N) {
        if (N > Left() || FPos > FData.size()) return Fail<std::string_view>();
        std::string_view R = FData.substr(FPos, N);
        FPos += N;
        return R;
    }

private:
    template <class T>
    T Fail() {
        FShort = true;
        FPos = FData.size();
        return T{};
    }

    std::string_view FData;
    size_t FPos;
    bool FShort = false;
};

std::string TagText(uint32_t Tag) {
    std::string S(4, ' ');
    for (int I = 0; I < 4; ++I) S[I] = static_cast<char>(Tag >> (24 - 8 * I));
    return S;
}

// Bytes of coordinates that a point with these flags takes: per axis one
// when short, none when the same as before, else two.
constexpr std::array<uint8_t, 256> kCoordinateBytes = [] {
    std::array<uint8_t, 256> T{};
    for (int F = 0; F < 256; ++F) {
        const int X = (F & 2) ? 1 : (F & 16) ? 0 : 2;
        const int Y = (F & 4) ? 1 : (F & 32) ? 0 : 2;
        T[static_cast<size_t>(F)] = static_cast<uint8_t>(X + Y);
    }
    return T;
}();

// Scales a font-unit metric to thousandths of an em, truncating toward zero.
int32_t Thousandths(int32_t Value, uint32_t UnitsPerEm) {
    return static_cast<int32_t>(int64_t(Value) * 1000 / int64_t(UnitsPerEm));
}

const TPDFTTEncodingRecord& EmptyRecord() {
    static const TPDFTTEncodingRecord R = [] {
        TPDFTTEncodingRecord E;
        E.FirstByLowByte.fill(-1);
        return E;
    }();
    return R;
}

// Adds code -> glyph unless the code already has a glyph (the first wins).
class TSubtableBuilder {
public:
    explicit TSubtableBuilder(TPDFTTEncodingRecord& R) : FR(R), FSeen(65536, 0) {}
    void Add(uint32_t Code, uint32_t Glyph) {
        if (Code > 0xFFFF || FSeen[Code]) return;
        FSeen[Code] = 1;
        FR.Codes.push_back(static_cast<uint16_t>(Code));
        FR.GlyfID.push_back(static_cast<uint16_t>(Glyph));
    }
    bool Seen(uint32_t Code) const { return FSeen[Code] != 0; }

private:
    TPDFTTEncodingRecord& FR;
    std::vector<uint8_t> FSeen;
};

void ReadFormat4(TReader& R, TPDFTTEncodingRecord& Rec, size_t SubtableStart, uint16_t Length) {
    const uint16_t SegCountX2 = R.U16();
    R.Skip(6);
    const uint32_t SegCount = SegCountX2 / 2u;
    const size_t ArraysStart = R.Pos();
    // Four arrays of SegCount words and the pad word must be there.
    if (R.Short() || R.Left() < size_t(SegCount) * 8 + 2) return;
    const std::string_view Arrays = R.Bytes(size_t(SegCount) * 8 + 2);
    // endCode, the pad word, startCode, idDelta, idRangeOffset.
    auto Word = [&](size_t Array, uint32_t S) {
        const size_t At = Array * (size_t(SegCount) * 2) + (Array >= 1 ? 2 : 0) + size_t(S) * 2;
        return static_cast<uint16_t>(uint8_t(Arrays[At]) << 8 | uint8_t(Arrays[At + 1]));
    };
    const size_t GlyphArrayStart = ArraysStart + size_t(SegCount) * 8 + 2;
    // The glyph-index array runs to the end of the subtable (its length),
    // never beyond the data.
    size_t GlyphArrayEnd = std::min(SubtableStart + Length, R.Size());
    const size_t GlyphWords =
        GlyphArrayEnd > GlyphArrayStart ? (GlyphArrayEnd - GlyphArrayStart) / 2 : 0;
    TReader G = R;

    TSubtableBuilder B(Rec);
    auto Visit = [&](uint32_t S, uint32_t C, uint32_t Start, uint16_t Delta, uint32_t RangeOffset) {
        uint32_t Glyph;
        if (RangeOffset == 0) {
            Glyph = (C + Delta) & 0xFFFF;
        } else {
            const int64_t Index =
                int64_t(RangeOffset / 2) + int64_t(C - Start) - (int64_t(SegCount) - int64_t(S));
            Glyph = 0;
            if (Index >= 0 && uint64_t(Index) < GlyphWords) {
                G.Seek(GlyphArrayStart + size_t(Index) * 2);
                const uint16_t Gl = G.U16();
                Glyph = Gl == 0 ? 0 : (Gl + Delta) & 0xFFFF;
            }
        }
        B.Add(C, Glyph);
    };
    // Segments normally rise without overlapping and are walked code by
    // code. Once one overlaps an earlier one, Next[c] leads to the next
    // code at or after c without a glyph yet, so that overlapping segments
    // cost no more than the codes they add.
    int64_t Covered = -1;
    std::vector<uint32_t> Next;
    auto Find = [&](uint32_t C) {
        uint32_t Root = C;
        while (Next[Root] != Root) Root = Next[Root];
        while (Next[C] != Root) {
            const uint32_t N = Next[C];
            Next[C] = Root;
            C = N;
        }
        return Root;
    };
    for (uint32_t S = 0; S < SegCount; ++S) {
        const uint32_t End = Word(0, S);
        const uint32_t Start = Word(1, S);
        const uint16_t Delta = Word(2, S);
        const uint32_t RangeOffset = Word(3, S);
        if (End == 0xFFFF || End < Start) continue;
        if (Next.empty() && int64_t(Start) > Covered) {
            for (uint32_t C = Start; C <= End; ++C) Visit(S, C, Start, Delta, RangeOffset);
        } else {
            if (Next.empty()) {
                Next.resize(65537);
                for (uint32_t C = 0; C <= 65536; ++C) Next[C] = C < 65536 && B.Seen(C) ? C + 1 : C;
            }
            for (uint32_t C = Find(Start); C <= End; C = Find(C)) {
                Visit(S, C, Start, Delta, RangeOffset);
                Next[C] = C + 1;
            }
        }
        Covered = std::max<int64_t>(Covered, End);
    }
}

}  // namespace

int32_t TPDFTTEncodingRecord::GlyphOfCode(uint32_t Code) const {
    auto It = std::lower_bound(ByCode.begin(), ByCode.end(), Code,
                               [](const auto& E, uint32_t C) { return E.first < C; });
    if (It == ByCode.end() || It->first != Code) return -1;
    return It->second;
}

int32_t TPDFTTEncodingRecord::GlyphOfLowByte(int64_t LowByte) const {
    if (LowByte < 0 || LowByte > 255) return -1;
    const int32_t K = FirstByLowByte[static_cast<size_t>(LowByte)];
    return K < 0 ? -1 : GlyfID[static_cast<size_t>(K)];
}

void TPDFTrueTypeParser::Clear() {
    FttcfTable = {};
    FOffsetTable = {};
    FTableDirectory.clear();
    FmaxpTable = {};
    FheadTable = {};
    FGlyphOffsets.clear();
    FGlyf = {};
    FHasGlyf = false;
    FpostTable = {};
    FPostIndex.clear();
    FcmapTable = {};
    FhheaTable = {};
    FhmtxTable = {};
}

void TPDFTrueTypeParser::LoadFromBuffer(std::shared_ptr<const std::string> Data,
                                        uint32_t FaceIndex) {
    FData = Data ? std::move(Data) : std::make_shared<const std::string>();
    Load(FaceIndex);
}

void TPDFTrueTypeParser::LoadFromString(std::string Source, uint32_t FaceIndex) {
    LoadFromBuffer(std::make_shared<const std::string>(std::move(Source)), FaceIndex);
}

void TPDFTrueTypeParser::LoadTablesFromBuffer(std::shared_ptr<const std::string> Data) {
    OnlyTables = true;
    LoadFromBuffer(std::move(Data));
}

void TPDFTrueTypeParser::Load(uint32_t FaceIndex) {
    Clear();
    const std::string_view All(*FData);
    if (All.empty()) return;
    TReader R(All);
    uint32_t V = R.U32();
    if (TagText(V) == "ttcf") {
        FttcfTable.tag = V;
        FttcfTable.version = R.Fixed();
        FttcfTable.numFonts = R.U32();
        // Only the offsets that the data holds.
        const uint32_t Count =
            static_cast<uint32_t>(std::min<uint64_t>(FttcfTable.numFonts, R.Left() / 4));
        FttcfTable.offsets.reserve(Count);
        for (uint32_t I = 0; I < Count; ++I) FttcfTable.offsets.push_back(R.U32());
        if (FttcfTable.version == 2.0) {
            FttcfTable.ulDsigTag = R.U32();
            FttcfTable.ulDsigLength = R.U32();
            FttcfTable.ulDsigOffset = R.U32();
        }
        if (FttcfTable.numFonts >= 1) {
            if (FaceIndex >= FttcfTable.offsets.size()) return;
            R.Seek(FttcfTable.offsets[FaceIndex]);
        }
        V = R.U32();
    }
    FOffsetTable.snftVersion = V / 65536.0;
    const std::string Tag = TagText(V);
    if (V != kVersion1 && Tag != "true" && Tag != "typ1" && Tag != "OTTO") return;
    FOffsetTable.numTables = R.U16();
    FOffsetTable.searchRange = R.U16();
    FOffsetTable.entrySelector = R.U16();
    FOffsetTable.rangeShift = R.U16();
    const size_t Entries = std::min<size_t>(FOffsetTable.numTables, R.Left() / 16);
    FTableDirectory.reserve(Entries);
    for (size_t I = 0; I < Entries; ++I) {
        TPDFTTDirectoryEntry E;
        E.tag = R.U32();
        E.tagName = TagText(E.tag);
        E.checkSum = R.U32();
        E.readPosition = static_cast<int64_t>(R.Pos());
        E.offset = R.U32() - TableOffset;
        E.length = R.U32();
        FTableDirectory.push_back(std::move(E));
    }
    if (OnlyTables) return;

    auto Table = [&](std::string_view Name, auto Reader) {
        const int32_t I = FindTable(Name);
        if (I >= 0) (this->*Reader)(TableData(I));
        return I >= 0;
    };
    if (!Table("head", &TPDFTrueTypeParser::ReadHead)) FheadTable.unitsPerEm = 2048;
    Table("maxp", &TPDFTrueTypeParser::ReadMaxp);
    Table("loca", &TPDFTrueTypeParser::ReadLoca);
    if (const int32_t I = FindTable("glyf"); I >= 0) {
        FGlyf = TableData(I);
        FHasGlyf = true;
    }
    Table("post", &TPDFTrueTypeParser::ReadPost);
    Table("cmap", &TPDFTrueTypeParser::ReadCmap);
    Table("hhea", &TPDFTrueTypeParser::ReadHhea);
    Table("hmtx", &TPDFTrueTypeParser::ReadHmtx);
    for (size_t I = 0; I < FpostTable.GlyphNames.size(); ++I)
        FPostIndex.insert_or_assign(FpostTable.GlyphNames[I], static_cast<int32_t>(I));
}

std::string_view TPDFTrueTypeParser::TableData(int32_t Index) const {
    if (Index < 0 || static_cast<size_t>(Index) >= FTableDirectory.size()) return {};
    const TPDFTTDirectoryEntry& E = FTableDirectory[static_cast<size_t>(Index)];
    const std::string_view All(*FData);
    if (E.offset >= All.size()) return {};
    return All.substr(E.offset, std::min<size_t>(E.length, All.size() - E.offset));
}

uint32_t TPDFTrueTypeParser::ScalingUnitsPerEm() const {
    return FheadTable.unitsPerEm == 0 ? 1000 : FheadTable.unitsPerEm;
}

void TPDFTrueTypeParser::ReadHead(std::string_view T) {
    TReader R(T);
    TPDFTTheadTable H;
    H.version = R.Fixed();
    H.fontRevision = R.Fixed();
    R.Skip(8);
    H.flags = R.U16();
    H.unitsPerEm = R.U16();
    R.U32();
    H.created = R.U32();
    R.U32();
    H.modified = R.U32();
    for (int32_t& B : H.Bounds) B = R.S16();
    H.macStyle = R.U16();
    R.Skip(4);
    H.indexToLocFormat = R.S16();
    H.glyphDataFormat = R.S16();
    FheadTable = H;
}

void TPDFTrueTypeParser::ReadMaxp(std::string_view T) {
    TReader R(T);
    FmaxpTable.version = R.Fixed();
    FmaxpTable.numGlyphs = R.U16();
}

void TPDFTrueTypeParser::ReadLoca(std::string_view T) {
    TReader R(T);
    FGlyphOffsets.assign(size_t(FmaxpTable.numGlyphs) + 1, 0);
    const int32_t Format = FheadTable.indexToLocFormat;
    if (Format != 0 && Format != 1 && Format != 256) return;
    for (uint32_t& Offset : FGlyphOffsets) {
        uint32_t V = Format == 0 ? uint32_t(R.U16()) * 2 : R.U32();
        if (R.Short()) break;
        if (Format != 0 && V > 0xFFFFFF) V = 0;
        Offset = V;
    }
}

int32_t TPDFTrueTypeParser::GlyphCount() const {
    return static_cast<int32_t>(FmaxpTable.numGlyphs);
}

TPDFTTglyfTable TPDFTrueTypeParser::GetGlyphData(int32_t Index) const {
    TPDFTTglyfTable G;
    GetGlyphData(Index, G);
    return G;
}

void TPDFTrueTypeParser::GetGlyphData(int32_t Index, TPDFTTglyfTable& G) const {
    G.numberOfContours = 0;
    G.xMin = G.yMin = G.xMax = G.yMax = 0;
    G.endPtsOfContours.clear();
    G.Points.clear();
    G.Flags.clear();
    G.Composites.clear();
    if (!FHasGlyf || Index < 0 || static_cast<uint32_t>(Index) >= FmaxpTable.numGlyphs) return;
    const size_t I = static_cast<size_t>(Index);
    if (I + 1 >= FGlyphOffsets.size()) return;
    const uint32_t Start = FGlyphOffsets[I];
    const uint32_t Next = FGlyphOffsets[I + 1];
    const uint32_t Length = Next > Start ? Next - Start : Start - Next;
    if (Length == 0 || Start >= FGlyf.size()) return;
    TReader R(FGlyf.substr(Start, std::min<size_t>(Length, FGlyf.size() - Start)));
    const int32_t Contours = R.S16();
    G.xMin = R.S16();
    G.yMin = R.S16();
    G.xMax = R.S16();
    G.yMax = R.S16();
    if (R.Left() == 0) return;

    if (Contours < 1) {
        for (;;) {
            TPDFTTComposite C;
            C.flags = R.U16();
            C.glyphIndex = R.U16();
            if (C.flags & 1) {
                C.argument1 = R.S16();
                C.argument2 = R.S16();
            } else {
                C.argument1 = R.S8();
                C.argument2 = R.S8();
            }
            if (C.flags & 8) {
                C.xscale = C.yscale = R.F2Dot14();
            } else if (C.flags & 64) {
                C.xscale = R.F2Dot14();
                C.yscale = R.F2Dot14();
            } else if (C.flags & 128) {
                C.xscale = R.F2Dot14();
                C.scale01 = R.F2Dot14();
                C.scale10 = R.F2Dot14();
                C.yscale = R.F2Dot14();
            }
            if (R.Short()) break;  // a component cut short is left out
            G.Composites.push_back(C);
            if (!(C.flags & 32)) break;
        }
        return;
    }

    G.numberOfContours = Contours;
    G.endPtsOfContours.resize(static_cast<size_t>(Contours));
    for (uint16_t& E : G.endPtsOfContours) E = R.U16();
    R.Skip(R.U16());
    if (R.Short()) {
        // The contour ends or the instructions run past the glyph: no
        // points can follow.
        G.numberOfContours = 0;
        G.endPtsOfContours.clear();
        return;
    }
    const size_t N = size_t(G.endPtsOfContours.back()) + 1;
    // Missing flags read as zero: off-curve points with 16-bit deltas, which
    // the short coordinate reads then make zero.
    G.Flags.resize(N, 0);
    // The flags also tell how many coordinate bytes follow; when the glyph
    // holds them all, they are read without a check per byte.
    size_t CoordinateBytes = 0;
    for (size_t K = 0; K < N;) {
        const uint8_t F = R.U8();
        if (R.Short()) break;
        size_t Count = 1;
        if (F & 8) Count += std::min<size_t>(R.U8(), N - K - 1);
        std::fill_n(G.Flags.begin() + static_cast<ptrdiff_t>(K), Count, F);
        K += Count;
        CoordinateBytes += Count * kCoordinateBytes[F];
    }
    G.Points.resize(N);
    if (!R.Short() && CoordinateBytes <= R.Left()) {
        const std::string_view Rest = R.Bytes(CoordinateBytes);
        const auto* P = reinterpret_cast<const uint8_t*>(Rest.data());
        const size_t Size = Rest.size();
        size_t At = 0;
        // Without branches on the flags, whose pattern is too irregular to
        // predict: both bytes are read (zero past the end) and masked.
        auto Decode = [&](int ShortShift, int SameShift, int32_t TPDFTTPoint::*Field) {
            int32_t V = 0;
            for (size_t K = 0; K < N; ++K) {
                const uint32_t F = G.Flags[K];
                const int32_t Short = static_cast<int32_t>((F >> ShortShift) & 1);
                const int32_t Same = static_cast<int32_t>((F >> SameShift) & 1);
                const int32_t Long = (Short | Same) ^ 1;
                const int32_t B0 = At < Size ? P[At] : 0;
                const int32_t B1 = At + 1 < Size ? P[At + 1] : 0;
                // Same sign bit: +B0, else -B0.
                const int32_t ShortDelta = (B0 ^ -(Same ^ 1)) + (Same ^ 1);
                const int32_t LongDelta = static_cast<int16_t>(B0 << 8 | B1);
                V += (ShortDelta & -Short) | (LongDelta & -Long);
                At += static_cast<size_t>(Short + 2 * Long);
                G.Points[K].*Field = V;
            }
        };
        Decode(1, 4, &TPDFTTPoint::X);
        Decode(2, 5, &TPDFTTPoint::Y);
        return;
    }
    int32_t X = 0;
    for (size_t K = 0; K < N; ++K) {
        const uint8_t F = G.Flags[K];
        if (F & 2) {
            const int32_t D = R.U8();
            X += (F & 16) ? D : -D;
        } else if (!(F & 16)) {
            X += R.S16();
        }
        G.Points[K].X = X;
    }
    int32_t Y = 0;
    for (size_t K = 0; K < N; ++K) {
        const uint8_t F = G.Flags[K];
        if (F & 4) {
            const int32_t D = R.U8();
            Y += (F & 32) ? D : -D;
        } else if (!(F & 32)) {
            Y += R.S16();
        }
        G.Points[K].Y = Y;
    }
}

void TPDFTrueTypeParser::ReadPost(std::string_view T) {
    TReader R(T);
    const uint32_t NumGlyphs = FmaxpTable.numGlyphs;
    FpostTable.GlyphNames.assign(NumGlyphs, std::string());
    const uint32_t Version = R.U32();
    FpostTable.version = Version / 65536.0;
    FpostTable.italicAngle = R.Fixed();
    FpostTable.underlinePosition = R.S16();
    FpostTable.underlineThickness = R.S16();
    FpostTable.isFixedPitch = R.U32();
    R.Skip(16);
    if (R.Short()) return;
    auto& Names = FpostTable.GlyphNames;
    switch (Version) {
        case 0x00010000:
            for (uint32_t I = 0; I < std::min<uint32_t>(NumGlyphs, 258); ++I)
                Names[I] = kMacGlyphNames[I];
            break;
        case 0x00020000: {
            const uint16_t Count = R.U16();
            std::vector<int32_t> Custom(NumGlyphs, -1);  // custom name number per glyph
            int32_t CustomCount = 0;
            for (uint32_t I = 0; I < Count; ++I) {
                const uint16_t Index = R.U16();
                if (R.Short()) break;
                if (I >= NumGlyphs) continue;
                if (Index < 258) {
                    Names[I] = kMacGlyphNames[Index];
                } else {
                    Custom[I] = Index - 258;
                    CustomCount = std::max(CustomCount, Index - 257);
                }
            }
            std::vector<std::string_view> Strings;
            Strings.reserve(static_cast<size_t>(std::min<size_t>(CustomCount, R.Left())));
            for (int32_t K = 0; K < CustomCount; ++K) {
                const std::string_view S = R.Bytes(R.U8());
                if (R.Short()) break;
                Strings.push_back(S);
            }
            for (uint32_t I = 0; I < NumGlyphs; ++I)
                if (Custom[I] >= 0 && static_cast<size_t>(Custom[I]) < Strings.size())
                    Names[I] = std::string(Strings[static_cast<size_t>(Custom[I])]);
            break;
        }
        case 0x00028000: {
            const uint32_t Count = std::min<uint32_t>(R.U16(), NumGlyphs);
            for (uint32_t I = 0; I < Count; ++I) {
                const int32_t D = R.S8();
                if (R.Short()) break;
                const int64_t K = int64_t(I) + D;
                if (K >= 1 && K <= 257) Names[I] = kMacGlyphNames[static_cast<size_t>(K)];
            }
            break;
        }
        case 0x00030000:
            Names.clear();
            break;
        default:
            break;
    }
}

void TPDFTrueTypeParser::ReadCmap(std::string_view T) {
    FpostTable.GlyphNames.resize(FmaxpTable.numGlyphs);
    TReader R(T);
    FcmapTable.version = R.U16();
    FcmapTable.numTables = R.U16();
    const size_t Count = std::min<size_t>(FcmapTable.numTables, R.Left() / 8);
    FcmapTable.encodingRecords.resize(Count);
    for (TPDFTTEncodingRecord& Rec : FcmapTable.encodingRecords) {
        Rec.platformID = R.U16();
        Rec.encodingID = R.U16();
        Rec.offset = R.U32();
    }
    for (TPDFTTEncodingRecord& Rec : FcmapTable.encodingRecords) {
        Rec.FirstByLowByte.fill(-1);
        if (Rec.offset >= T.size()) continue;
        TReader S(T, Rec.offset);
        Rec.format = S.U16();
        const uint16_t Length = S.U16();
        Rec.language = S.U16();
        if (S.Short()) continue;
        TSubtableBuilder B(Rec);
        switch (Rec.format) {
            case 0:
                for (uint32_t K = 0; K < 256; ++K) {
                    const uint8_t Glyph = S.U8();
                    if (S.Short()) break;
                    B.Add(K, Glyph);
                }
                break;
            case 4:
                ReadFormat4(S, Rec, Rec.offset, Length);
                break;
            case 6: {
                const uint32_t First = S.U16();
                const uint32_t Entries = S.U16();
                for (uint32_t K = 0; K < Entries; ++K) {
                    const uint16_t Glyph = S.U16();
                    if (S.Short()) break;
                    B.Add(First + K, Glyph);
                }
                break;
            }
            default:
                break;
        }
        Rec.ByCode.reserve(Rec.Codes.size());
        for (size_t K = 0; K < Rec.Codes.size(); ++K) {
            Rec.ByCode.emplace_back(Rec.Codes[K], Rec.GlyfID[K]);
            int32_t& First = Rec.FirstByLowByte[Rec.Codes[K] & 0xFF];
            if (First < 0) First = static_cast<int32_t>(K);
        }
        std::sort(Rec.ByCode.begin(), Rec.ByCode.end());
    }
}

void TPDFTrueTypeParser::ReadHhea(std::string_view T) {
    TReader R(T);
    if (R.U32() != kVersion1) return;
    const uint32_t Em = ScalingUnitsPerEm();
    TPDFTThheaTable H;
    H.Ascender = Thousandths(R.S16(), Em);
    H.Descender = Thousandths(R.S16(), Em);
    H.LineGap = Thousandths(R.S16(), Em);
    H.advanceWidthMax = Thousandths(R.U16(), Em);
    H.minLeftSideBearing = Thousandths(R.S16(), Em);
    H.minRightSideBearing = Thousandths(R.S16(), Em);
    H.xMaxExtent = Thousandths(R.S16(), Em);
    H.caretSlopeRise = R.S16();
    H.caretSlopeRun = R.S16();
    H.caretOffset = R.S16();
    R.Skip(10);
    // An unsigned count: read as signed, fonts with more than 32767
    // metrics (large CJK fonts) would lose every width.
    H.numberOfHMetrics = R.U16();
    FhheaTable = H;
}

void TPDFTrueTypeParser::ReadHmtx(std::string_view T) {
    if (FhheaTable.numberOfHMetrics <= 0) return;
    TReader R(T);
    const uint32_t Em = ScalingUnitsPerEm();
    const size_t Count = std::min<size_t>(size_t(FhheaTable.numberOfHMetrics), R.Left() / 4);
    FhmtxTable.Widths.reserve(Count);
    for (size_t I = 0; I < Count; ++I) {
        const uint32_t W = R.U16();
        R.U16();
        FhmtxTable.Widths.push_back(static_cast<uint16_t>(W * 1000u / Em));
    }
}

int32_t TPDFTrueTypeParser::FindTable(std::string_view TagName) const {
    for (size_t I = 0; I < FTableDirectory.size(); ++I)
        if (FTableDirectory[I].tagName == TagName) return static_cast<int32_t>(I);
    return -1;
}

int32_t TPDFTrueTypeParser::Findcmap(uint16_t PlatformID, uint16_t EncodingID) const {
    const auto& Recs = FcmapTable.encodingRecords;
    for (size_t I = Recs.size(); I-- > 0;)
        if (Recs[I].platformID == PlatformID && Recs[I].encodingID == EncodingID)
            return static_cast<int32_t>(I);
    return -1;
}

int32_t TPDFTrueTypeParser::FindUnicodecmap() const {
    const auto& Recs = FcmapTable.encodingRecords;
    for (size_t I = Recs.size(); I-- > 0;)
        if (Recs[I].platformID == 0) return static_cast<int32_t>(I);
    return -1;
}

const TPDFTTEncodingRecord& TPDFTrueTypeParser::Getcmap(int32_t Index) const {
    const auto& Recs = FcmapTable.encodingRecords;
    if (Index < 0 || static_cast<size_t>(Index) >= Recs.size()) return EmptyRecord();
    return Recs[static_cast<size_t>(Index)];
}

int32_t TPDFTrueTypeParser::GetWidth(int32_t Index) const {
    const auto& W = FhmtxTable.Widths;
    if (Index < 0 || W.empty()) return 750;
    if (static_cast<size_t>(Index) >= W.size()) return W.back();
    return W[static_cast<size_t>(Index)];
}

int32_t TPDFTrueTypeParser::HasPostName(std::string_view CharName) const {
    const auto It = FPostIndex.find(CharName);
    return It == FPostIndex.end() ? -1 : It->second;
}

void TPDFTrueTypeParser::ReadNameTable() {
    const std::string_view T = TableData(FindTable("name"));
    TReader R(T);
    R.U16();
    const uint16_t Count = R.U16();
    const uint16_t StringOffset = R.U16();
    for (uint32_t I = 0; I < Count; ++I) {
        TPDFTTNameRecord N;
        N.platformID = R.U16();
        N.encodingID = R.U16();
        N.languageID = R.U16();
        N.nameID = R.U16();
        N.length = R.U16();
        N.offset = R.U16();
        if (R.Short()) break;
        if (N.nameID != 4 || N.platformID != 1 || N.encodingID != 0) continue;
        TReader S(T, size_t(StringOffset) + N.offset);
        const std::string_view Text = S.Bytes(N.length);
        if (!S.Short()) FFontName = AnsiToWide(Text);
    }
}

std::string TPDFTrueTypeParser::GetCFFData() const {
    return std::string(TableData(FindTable("CFF ")));
}

uint32_t TPDFTrueTypeParser::GetCFFDataPosition() const {
    const int32_t I = FindTable("CFF ");
    return I < 0 ? 0 : FTableDirectory[static_cast<size_t>(I)].offset;
}

void TPDFTrueTypeParser::ShiftTableOffsets(std::string& Source, uint32_t Offset) {
    OnlyTables = true;
    LoadFromString(Source);
    for (const TPDFTTDirectoryEntry& E : FTableDirectory) {
        const uint32_t V = E.offset - Offset;
        const size_t At = static_cast<size_t>(E.readPosition);
        if (At + 4 > Source.size()) continue;
        for (int K = 0; K < 4; ++K) Source[At + K] = static_cast<char>(V >> (24 - 8 * K));
    }
}

}  // namespace velmo
