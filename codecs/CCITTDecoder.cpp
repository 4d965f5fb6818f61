#include "codecs/CCITTDecoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace velmo {

namespace {

// Run-length code look-up: every code is at most 13 bits long, so the next
// 13 bits index a table whose entries give the code's length and meaning.
enum TRunKind : uint8_t { rkInvalid, rkTerminating, rkMakeUp, rkEOL };

struct TRunEntry {
    uint16_t Run = 0;
    uint8_t Len = 0;
    uint8_t Kind = rkInvalid;
};

struct TCodeDef {
    const char* Bits;
    uint16_t Run;
};

constexpr int RunBits = 13;
using TRunTable = std::array<TRunEntry, 1 << RunBits>;

const TCodeDef WhiteTerminating[] = {
    {"00110101", 0},  {"000111", 1},    {"0111", 2},      {"1000", 3},      {"1011", 4},
    {"1100", 5},      {"1110", 6},      {"1111", 7},      {"10011", 8},     {"10100", 9},
    {"00111", 10},    {"01000", 11},    {"001000", 12},   {"000011", 13},   {"110100", 14},
    {"110101", 15},   {"101010", 16},   {"101011", 17},   {"0100111", 18},  {"0001100", 19},
    {"0001000", 20},  {"0010111", 21},  {"0000011", 22},  {"0000100", 23},  {"0101000", 24},
    {"0101011", 25},  {"0010011", 26},  {"0100100", 27},  {"0011000", 28},  {"00000010", 29},
    {"00000011", 30}, {"00011010", 31}, {"00011011", 32}, {"00010010", 33}, {"00010011", 34},
    {"00010100", 35}, {"00010101", 36}, {"00010110", 37}, {"00010111", 38}, {"00101000", 39},
    {"00101001", 40}, {"00101010", 41}, {"00101011", 42}, {"00101100", 43}, {"00101101", 44},
    {"00000100", 45}, {"00000101", 46}, {"00001010", 47}, {"00001011", 48}, {"01010010", 49},
    {"01010011", 50}, {"01010100", 51}, {"01010101", 52}, {"00100100", 53}, {"00100101", 54},
    {"01011000", 55}, {"01011001", 56}, {"01011010", 57}, {"01011011", 58}, {"01001010", 59},
    {"01001011", 60}, {"00110010", 61}, {"00110011", 62}, {"00110100", 63},
};

const TCodeDef WhiteMakeUp[] = {
    {"11011", 64},       {"10010", 128},      {"010111", 192},     {"0110111", 256},
    {"00110110", 320},   {"00110111", 384},   {"01100100", 448},   {"01100101", 512},
    {"01101000", 576},   {"01100111", 640},   {"011001100", 704},  {"011001101", 768},
    {"011010010", 832},  {"011010011", 896},  {"011010100", 960},  {"011010101", 1024},
    {"011010110", 1088}, {"011010111", 1152}, {"011011000", 1216}, {"011011001", 1280},
    {"011011010", 1344}, {"011011011", 1408}, {"010011000", 1472}, {"010011001", 1536},
    {"010011010", 1600}, {"011000", 1664},    {"010011011", 1728},
};

const TCodeDef BlackTerminating[] = {
    {"0000110111", 0},
    {"010", 1},
    {"11", 2},
    {"10", 3},
    {"011", 4},
    {"0011", 5},
    {"0010", 6},
    {"00011", 7},
    {"000101", 8},
    {"000100", 9},
    {"0000100", 10},
    {"0000101", 11},
    {"0000111", 12},
    {"00000100", 13},
    {"00000111", 14},
    {"000011000", 15},
    {"0000010111", 16},
    {"0000011000", 17},
    {"0000001000", 18},
    {"00001100111", 19},
    {"00001101000", 20},
    {"00001101100", 21},
    {"00000110111", 22},
    {"00000101000", 23},
    {"00000010111", 24},
    {"00000011000", 25},
    {"000011001010", 26},
    {"000011001011", 27},
    {"000011001100", 28},
    {"000011001101", 29},
    {"000001101000", 30},
    {"000001101001", 31},
    {"000001101010", 32},
    {"000001101011", 33},
    {"000011010010", 34},
    {"000011010011", 35},
    {"000011010100", 36},
    {"000011010101", 37},
    {"000011010110", 38},
    {"000011010111", 39},
    {"000001101100", 40},
    {"000001101101", 41},
    {"000011011010", 42},
    {"000011011011", 43},
    {"000001010100", 44},
    {"000001010101", 45},
    {"000001010110", 46},
    {"000001010111", 47},
    {"000001100100", 48},
    {"000001100101", 49},
    {"000001010010", 50},
    {"000001010011", 51},
    {"000000100100", 52},
    {"000000110111", 53},
    {"000000111000", 54},
    {"000000100111", 55},
    {"000000101000", 56},
    {"000001011000", 57},
    {"000001011001", 58},
    {"000000101011", 59},
    {"000000101100", 60},
    {"000001011010", 61},
    {"000001100110", 62},
    {"000001100111", 63},
};

const TCodeDef BlackMakeUp[] = {
    {"0000001111", 64},      {"000011001000", 128},   {"000011001001", 192},
    {"000001011011", 256},   {"000000110011", 320},   {"000000110100", 384},
    {"000000110101", 448},   {"0000001101100", 512},  {"0000001101101", 576},
    {"0000001001010", 640},  {"0000001001011", 704},  {"0000001001100", 768},
    {"0000001001101", 832},  {"0000001110010", 896},  {"0000001110011", 960},
    {"0000001110100", 1024}, {"0000001110101", 1088}, {"0000001110110", 1152},
    {"0000001110111", 1216}, {"0000001010010", 1280}, {"0000001010011", 1344},
    {"0000001010100", 1408}, {"0000001010101", 1472}, {"0000001011010", 1536},
    {"0000001011011", 1600}, {"0000001100100", 1664}, {"0000001100101", 1728},
};

// Make-up codes shared by both colours.
const TCodeDef ExtendedMakeUp[] = {
    {"00000001000", 1792},  {"00000001100", 1856},  {"00000001101", 1920},  {"000000010010", 1984},
    {"000000010011", 2048}, {"000000010100", 2112}, {"000000010101", 2176}, {"000000010110", 2240},
    {"000000010111", 2304}, {"000000011100", 2368}, {"000000011101", 2432}, {"000000011110", 2496},
    {"000000011111", 2560},
};

void AddCodes(TRunTable& Table, const TCodeDef* Defs, size_t Count, TRunKind Kind) {
    for (size_t I = 0; I < Count; ++I) {
        const size_t Len = std::strlen(Defs[I].Bits);
        uint32_t Value = 0;
        for (size_t B = 0; B < Len; ++B) Value = (Value << 1) | uint32_t(Defs[I].Bits[B] == '1');
        const uint32_t Shift = RunBits - uint32_t(Len);
        for (uint32_t Suffix = 0; Suffix < (1u << Shift); ++Suffix) {
            TRunEntry& E = Table[(Value << Shift) | Suffix];
            E.Run = Defs[I].Run;
            E.Len = uint8_t(Len);
            E.Kind = Kind;
        }
    }
}

TRunTable BuildRunTable(bool White) {
    TRunTable Table{};
    if (White) {
        AddCodes(Table, WhiteTerminating, std::size(WhiteTerminating), rkTerminating);
        AddCodes(Table, WhiteMakeUp, std::size(WhiteMakeUp), rkMakeUp);
    } else {
        AddCodes(Table, BlackTerminating, std::size(BlackTerminating), rkTerminating);
        AddCodes(Table, BlackMakeUp, std::size(BlackMakeUp), rkMakeUp);
    }
    AddCodes(Table, ExtendedMakeUp, std::size(ExtendedMakeUp), rkMakeUp);
    const TCodeDef EOL[] = {{"000000000001", 0}};
    AddCodes(Table, EOL, 1, rkEOL);
    return Table;
}

const TRunTable& RunTable(bool White) {
    static const TRunTable WhiteTable = BuildRunTable(true);
    static const TRunTable BlackTable = BuildRunTable(false);
    return White ? WhiteTable : BlackTable;
}

// Two-dimensional mode codes, looked up by the next 7 bits.
enum TMode : uint8_t {
    mdInvalid,
    mdPass,
    mdHorizontal,
    mdV0,
    mdVR1,
    mdVR2,
    mdVR3,
    mdVL1,
    mdVL2,
    mdVL3,
    mdExtension
};

struct TModeEntry {
    uint8_t Mode = mdInvalid;
    uint8_t Len = 0;
};

using TModeTable = std::array<TModeEntry, 128>;

TModeTable BuildModeTable() {
    TModeTable Table{};
    const std::pair<const char*, TMode> Codes[] = {
        {"1", mdV0},           {"011", mdVR1},           {"000011", mdVR2},  {"0000011", mdVR3},
        {"010", mdVL1},        {"000010", mdVL2},        {"0000010", mdVL3}, {"0001", mdPass},
        {"001", mdHorizontal}, {"0000001", mdExtension},
    };
    for (const auto& [Bits, Mode] : Codes) {
        const size_t Len = std::strlen(Bits);
        uint32_t Value = 0;
        for (size_t B = 0; B < Len; ++B) Value = (Value << 1) | uint32_t(Bits[B] == '1');
        const uint32_t Shift = 7 - uint32_t(Len);
        for (uint32_t Suffix = 0; Suffix < (1u << Shift); ++Suffix)
            Table[(Value << Shift) | Suffix] = {uint8_t(Mode), uint8_t(Len)};
    }
    return Table;
}

const TModeTable& ModeTable() {
    static const TModeTable Table = BuildModeTable();
    return Table;
}

uint8_t ReverseBits(uint8_t B) {
    B = uint8_t((B & 0xF0) >> 4 | (B & 0x0F) << 4);
    B = uint8_t((B & 0xCC) >> 2 | (B & 0x33) << 2);
    B = uint8_t((B & 0xAA) >> 1 | (B & 0x55) << 1);
    return B;
}

// How a two-dimensional line ended.
enum TLineEnd { leDone, leOverflow, leUnknownCode };

int ToInt(TLineEnd E) { return int(E); }

const char* const TextInvalidCode = "Invalid code encountered.";
const char* const TextInvalid2D3 =
    "Invalid code encountered while decoding 2D group 3 compressed data.";
const char* const TextInvalid2D4 =
    "Invalid code encountered while decoding 2D group 4 compressed data.";
const char* const TextBadSize = "Image size out of range.";

}  // namespace

TVPLCCITTDecoder::TVPLCCITTDecoder(int32_t AWidth, int32_t AHeight, int32_t AFillOrder, bool AAlign,
                                   bool AFillBits, int32_t BitsPerComponent)
    : FWidth(AWidth),
      FHeight(AHeight),
      FBitsPerComponent(BitsPerComponent),
      FEncodedByteAlign(AAlign),
      FFillOrder(AFillOrder),
      FFillBits(AFillBits) {
    // A row has at most one change per pixel; two more entries close the
    // reference line. The lines grow as rows need them: a wide image of a
    // few codes takes no memory for changes it never has.
    if (SizeIsSound()) {
        const size_t Initial = size_t(std::min(FWidth, 4096)) + 2;
        PrevChangingElems.assign(Initial, 0);
        CurrChangingElems.assign(Initial, 0);
    }
}

bool TVPLCCITTDecoder::SizeIsSound() const {
    if (FWidth < 1 || FWidth > CCITTMaxWidth || FHeight < 0) return false;
    return (int64_t(FWidth) + 7) / 8 * FHeight <= CCITTMaxRasterBytes;
}

void TVPLCCITTDecoder::Start(TCCITTByteArray& Buffer, std::string_view CompData) {
    FBytePointer = 0;
    FBitPointer = 0;
    LastChangingElement = 0;
    FCurrCount = 0;
    if (!SizeIsSound()) throw ECCITTError(TextBadSize);
    if (FFillOrder == 2) {
        FReversed.resize(CompData.size());
        for (size_t I = 0; I < CompData.size(); ++I)
            FReversed[I] = char(ReverseBits(uint8_t(CompData[I])));
        FCompData = FReversed;
    } else if (FFillOrder == 1) {
        FCompData = CompData;
    } else {
        throw ECCITTError("tag must be either 1 or 2.");
    }
    const size_t Needed = size_t((FWidth + 7) / 8) * size_t(FHeight);
    if (Buffer.size() < Needed) Buffer.resize(Needed, 0);
}

uint32_t TVPLCCITTDecoder::PeekBits(int N) {
    uint32_t V = 0;
    if (FBytePointer + 4 <= int64_t(FCompData.size())) {
        const auto* P = reinterpret_cast<const uint8_t*>(FCompData.data()) + FBytePointer;
        V = uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | P[3];
        return (V << FBitPointer) >> (32 - N);
    }
    for (int K = 0; K < 4; ++K) {
        const int64_t Index = FBytePointer + K;
        const uint8_t B = Index < int64_t(FCompData.size()) ? uint8_t(FCompData[size_t(Index)]) : 0;
        V = (V << 8) | B;
    }
    return (V << FBitPointer) >> (32 - N);
}

void TVPLCCITTDecoder::SetBitPosition(int64_t Pos) {
    FBytePointer = Pos >> 3;
    FBitPointer = int32_t(Pos & 7);
}

void TVPLCCITTDecoder::SkipBits(int N) { SetBitPosition(BitPosition() + N); }

uint32_t TVPLCCITTDecoder::ReadBits(int N) {
    const uint32_t V = PeekBits(N);
    SkipBits(N);
    return V;
}

void TVPLCCITTDecoder::AlignToByte() {
    if (FBitPointer != 0) {
        FBitPointer = 0;
        ++FBytePointer;
    }
}

void TVPLCCITTDecoder::SetBlack(uint8_t* Row, int32_t From, int32_t To) {
    From = std::max(From, 0);
    To = std::min(To, FWidth);
    if (From >= To) return;
    int32_t First = From >> 3;
    const int32_t Last = (To - 1) >> 3;
    const uint8_t HeadMask = uint8_t(0xFF >> (From & 7));
    const uint8_t TailMask = uint8_t(0xFF << (7 - ((To - 1) & 7)));
    if (First == Last) {
        Row[First] |= uint8_t(HeadMask & TailMask);
        return;
    }
    Row[First++] |= HeadMask;
    if (Last > First) std::memset(Row + First, 0xFF, size_t(Last - First));
    Row[Last] |= TailMask;
}

bool TVPLCCITTDecoder::AddChange(int32_t Pos) {
    // A change at or past the right edge says nothing the closing entries do
    // not already say.
    if (Pos >= FWidth) return true;
    if (FCurrCount >= FWidth) return false;
    if (size_t(FCurrCount) + 2 >= CurrChangingElems.size()) {
        const size_t Size = std::min(size_t(FWidth) + 2, CurrChangingElems.size() * 2);
        CurrChangingElems.resize(Size, 0);
        PrevChangingElems.resize(Size, 0);
    }
    CurrChangingElems[size_t(FCurrCount++)] = Pos;
    return true;
}

void TVPLCCITTDecoder::ResetReference() {
    PrevChangingElems[0] = FWidth;
    PrevChangingElems[1] = FWidth;
    ChangingElemSize = 2;
    LastChangingElement = 0;
    FCurrCount = 0;
}

void TVPLCCITTDecoder::SwapLines() {
    CurrChangingElems[size_t(FCurrCount)] = FWidth;
    CurrChangingElems[size_t(FCurrCount) + 1] = FWidth;
    std::swap(PrevChangingElems, CurrChangingElems);
    ChangingElemSize = FCurrCount + 2;
    LastChangingElement = 0;
    FCurrCount = 0;
}

bool TVPLCCITTDecoder::ReadRun(bool White, int32_t& Run) {
    const TRunTable& Table = RunTable(White);
    int64_t Sum = 0;
    for (;;) {
        const TRunEntry& E = Table[PeekBits(RunBits)];
        if (E.Kind == rkEOL) {
            Run = int32_t(std::min<int64_t>(Sum, FWidth));
            return false;
        }
        if (E.Kind == rkInvalid) throw ECCITTError(TextInvalidCode);
        SkipBits(E.Len);
        // Clipped as it grows: a long chain of make-up codes cannot overflow.
        Sum = std::min<int64_t>(Sum + E.Run, int64_t(FWidth) + 1);
        if (E.Kind == rkTerminating) {
            Run = int32_t(std::min<int64_t>(Sum, FWidth));
            return true;
        }
    }
}

bool TVPLCCITTDecoder::DecodeOneDLine(uint8_t* Row, bool Record) {
    int32_t Pos = 0;
    bool White = true;
    while (Pos < FWidth) {
        int32_t Run = 0;
        if (!ReadRun(White, Run)) {
            // An EOL: in a white run it tells the caller; in a black run the
            // line simply ends. It stays unread either way, for the next line.
            if (White) return true;
            return false;
        }
        const int32_t End = int32_t(std::min<int64_t>(int64_t(Pos) + Run, FWidth));
        if (!White) SetBlack(Row, Pos, End);
        Pos = End;
        if (Record && !AddChange(Pos)) throw ECCITTError(TextInvalidCode);
        White = !White;
    }
    if (FEncodedByteAlign) AlignToByte();
    return false;
}

void TVPLCCITTDecoder::FindB1B2(int32_t A0, bool White, int32_t& B1, int32_t& B2) {
    B1 = FWidth;
    B2 = FWidth;
    int32_t Start = LastChangingElement > 0 ? LastChangingElement - 1 : 0;
    // Changes to black stand at even indexes, changes to white at odd ones.
    Start = White ? (Start & ~1) : (Start | 1);
    for (int32_t I = Start; I < ChangingElemSize; I += 2) {
        const int32_t E = PrevChangingElems[size_t(I)];
        if (E > A0) {
            LastChangingElement = I;
            B1 = E;
            if (I + 1 < ChangingElemSize) B2 = PrevChangingElems[size_t(I) + 1];
            return;
        }
    }
}

int TVPLCCITTDecoder::DecodeTwoDLine(uint8_t* Row, bool GroupFour) {
    const TModeTable& Modes = ModeTable();
    int32_t A0 = -1;  // the imaginary white pixel before the line
    int32_t Pos = 0;  // the first pixel not yet coded
    bool White = true;
    FCurrCount = 0;
    LastChangingElement = 0;
    while (Pos < FWidth) {
        int32_t B1 = 0, B2 = 0;
        FindB1B2(A0, White, B1, B2);
        const TModeEntry M = Modes[PeekBits(7)];
        switch (M.Mode) {
            case mdPass:
                SkipBits(M.Len);
                if (!White) SetBlack(Row, Pos, B2);
                Pos = std::min(std::max(B2, Pos), FWidth);
                A0 = Pos;
                break;
            case mdHorizontal: {
                SkipBits(M.Len);
                int32_t Run1 = 0, Run2 = 0;
                if (!ReadRun(White, Run1))
                    throw ECCITTError(White ? "EOL code word encountered in White run."
                                            : "EOL code word encountered in Black run.");
                if (!ReadRun(!White, Run2))
                    throw ECCITTError(White ? "EOL code word encountered in Black run."
                                            : "EOL code word encountered in White run.");
                const int32_t End1 = int32_t(std::min<int64_t>(int64_t(Pos) + Run1, FWidth));
                const int32_t End2 = int32_t(std::min<int64_t>(int64_t(End1) + Run2, FWidth));
                if (White)
                    SetBlack(Row, End1, End2);
                else
                    SetBlack(Row, Pos, End1);
                if (!AddChange(End1) || !AddChange(End2)) return ToInt(leOverflow);
                Pos = End2;
                A0 = Pos;
                break;
            }
            case mdV0:
            case mdVR1:
            case mdVR2:
            case mdVR3:
            case mdVL1:
            case mdVL2:
            case mdVL3: {
                SkipBits(M.Len);
                static const int32_t Offsets[] = {0, 0, 0, 0, 1, 2, 3, -1, -2, -3};
                const int32_t A1 = std::clamp(B1 + Offsets[M.Mode], 0, FWidth);
                if (!White) SetBlack(Row, Pos, A1);
                if (!AddChange(A1)) return ToInt(leOverflow);
                Pos = std::max(A1, 0);
                A0 = Pos;
                White = !White;
                break;
            }
            case mdExtension: {
                if (!GroupFour) throw ECCITTError(TextInvalid2D3);
                SkipBits(M.Len);
                if (ReadBits(3) != 7) throw ECCITTError(TextInvalid2D4);
                // Uncompressed mode: patterns of up to four zeros and a one
                // give that many white pixels and one black; five zeros and
                // a one give five white pixels; six to ten zeros and a one
                // give zero to four white pixels, end the mode, and the next
                // bit is the colour of the next run.
                for (;;) {
                    int32_t Zeros = 0;
                    while (ReadBits(1) == 0)
                        if (++Zeros > 10) throw ECCITTError(TextInvalid2D4);
                    const int32_t Whites = Zeros <= 5 ? Zeros : Zeros - 6;
                    if (Whites > 0) {
                        if (!White && !AddChange(Pos)) return ToInt(leOverflow);
                        White = true;
                        Pos = int32_t(std::min<int64_t>(int64_t(Pos) + Whites, FWidth));
                    }
                    if (Zeros < 5) {
                        if (White && !AddChange(Pos)) return ToInt(leOverflow);
                        White = false;
                        SetBlack(Row, Pos, Pos + 1);
                        Pos = std::min(Pos + 1, FWidth);
                    } else if (Zeros > 5) {
                        const bool NextWhite = ReadBits(1) == 0;
                        if (NextWhite != White && !AddChange(Pos)) return ToInt(leOverflow);
                        White = NextWhite;
                        break;
                    }
                }
                A0 = Pos;
                break;
            }
            default:
                // Seven zero bits: an EOL or the end-of-block code, or junk.
                if (!GroupFour) throw ECCITTError(TextInvalid2D3);
                return ToInt(leUnknownCode);
        }
    }
    return ToInt(leDone);
}

bool TVPLCCITTDecoder::DecodeT41D(TCCITTByteArray& Buffer, std::string_view CompData) {
    try {
        Start(Buffer, CompData);
        const size_t RowBytes = size_t((FWidth + 7) / 8);
        for (int32_t Y = 0; Y < FHeight; ++Y) {
            if (PeekBits(12) == 1) SkipBits(12);
            if (DecodeOneDLine(Buffer.data() + size_t(Y) * RowBytes, false)) return false;
        }
        return true;
    } catch (const ECCITTError&) {
        return false;
    }
}

int TVPLCCITTDecoder::ReadEOL(bool First) {
    // Find the next EOL (eleven zeros and a one) and stand at its start.
    const int64_t Total = int64_t(FCompData.size()) * 8;
    int64_t Found = -1;
    int32_t Zeros = 0;
    for (int64_t P = BitPosition(); P < Total; ++P) {
        const uint8_t Byte = uint8_t(FCompData[size_t(P >> 3)]);
        if (((Byte >> (7 - (P & 7))) & 1) == 0) {
            ++Zeros;
        } else {
            if (Zeros >= 11) {
                Found = P - 11;
                break;
            }
            Zeros = 0;
        }
    }
    if (Found < 0) throw ECCITTError("EOL not found");
    SetBitPosition(Found);
    if (FFillBits) {
        const int BitsLeft = 8 - FBitPointer;
        if (ReadBits(BitsLeft) != 0)
            throw ECCITTError("All fill bits preceding EOL code must be 0.");
        if (BitsLeft < 4 && ReadBits(8) != 0)
            throw ECCITTError("All fill bits preceding EOL code must be 0.");
        for (;;) {
            if (FBytePointer >= int64_t(FCompData.size())) throw ECCITTError("EOL not found");
            const uint32_t N = ReadBits(8);
            if (N == 1) break;
            if (N == 0) continue;
            if (First && (N & 0xF0) == 0x10) {
                // The EOL stood on a byte boundary: these data have no fill
                // bits.
                FFillBits = false;
                SetBitPosition(BitPosition() - 4);
                break;
            }
            throw ECCITTError("0 bits expected before EOL");
        }
    } else if (ReadBits(12) != 1) {
        throw ECCITTError("Scanline must begin with EOL code word.");
    }
    return int(ReadBits(1));
}

void TVPLCCITTDecoder::DecodeT42D(TCCITTByteArray& Buffer, std::string_view CompData) {
    Start(Buffer, CompData);
    if (FHeight == 0) return;
    const size_t RowBytes = size_t((FWidth + 7) / 8);
    ResetReference();
    if (ReadEOL(true) != 1) throw ECCITTError("First scanline must be 1D encoded.");
    DecodeOneDLine(Buffer.data(), true);
    SwapLines();
    for (int32_t Y = 1; Y < FHeight; ++Y) {
        uint8_t* Row = Buffer.data() + size_t(Y) * RowBytes;
        if (ReadEOL(false) == 1) {
            DecodeOneDLine(Row, true);
        } else if (DecodeTwoDLine(Row, false) != ToInt(leDone)) {
            throw ECCITTError(TextInvalid2D3);
        }
        SwapLines();
    }
}

bool TVPLCCITTDecoder::DecodeT6(TCCITTByteArray& Buffer, std::string_view CompData) {
    int32_t Y = 0;
    const size_t RowBytes = size_t((std::max(FWidth, 0) + 7) / 8);
    try {
        Start(Buffer, CompData);
        ResetReference();
        for (; Y < FHeight; ++Y) {
            // The end-of-block code, or any code that is not a mode, ends
            // the image; the rows before it stay.
            if (DecodeTwoDLine(Buffer.data() + size_t(Y) * RowBytes, true) != ToInt(leDone))
                return false;
            SwapLines();
            if (FEncodedByteAlign) AlignToByte();
        }
        return true;
    } catch (const ECCITTError&) {
        const size_t From = KeepRowsOnFault ? std::min(Buffer.size(), size_t(Y) * RowBytes) : 0;
        std::fill(Buffer.begin() + std::ptrdiff_t(From), Buffer.end(), uint8_t(0));
        return false;
    }
}

bool DecodeCCITTFax(const TCCITTParams& Params, std::string_view Data, TCCITTByteArray& Buffer,
                    std::string* Message) {
    if (Params.Columns < 1 || Params.Columns > CCITTMaxWidth || Params.Rows < 0) return false;
    const int64_t Size = (int64_t(Params.Columns) + 7) / 8 * Params.Rows;
    if (Size > CCITTMaxRasterBytes) return false;
    Buffer.assign(size_t(Size), 0);
    TVPLCCITTDecoder Decoder(Params.Columns, Params.Rows, 1, Params.EncodedByteAlign, false, 1);
    Decoder.KeepRowsOnFault = true;
    if (Params.K < 0) return Decoder.DecodeT6(Buffer, Data);
    if (Params.K == 0) return Decoder.DecodeT41D(Buffer, Data);
    try {
        Decoder.DecodeT42D(Buffer, Data);
    } catch (const ECCITTError& E) {
        if (Message) *Message = E.what();
    }
    return true;
}

}  // namespace velmo
