#include "codecs/JBIG2Decoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "codecs/CCITTDecoder.h"

namespace velmo {

namespace jbig2 {

namespace {

struct TQe {
    uint16_t Qe;
    uint8_t NMPS, NLPS, Switch;
};

constexpr TQe QeTable[47] = {
    {0x5601, 1, 1, 1},   {0x3401, 2, 6, 0},   {0x1801, 3, 9, 0},   {0x0AC1, 4, 12, 0},  {0x0521, 5, 29, 0},
    {0x0221, 38, 33, 0}, {0x5601, 7, 6, 1},   {0x5401, 8, 14, 0},  {0x4801, 9, 14, 0},  {0x3801, 10, 14, 0},
    {0x3001, 11, 17, 0}, {0x2401, 12, 18, 0}, {0x1C01, 13, 20, 0}, {0x1601, 29, 21, 0}, {0x5601, 15, 14, 1},
    {0x5401, 16, 14, 0}, {0x5101, 17, 15, 0}, {0x4801, 18, 16, 0}, {0x3801, 19, 17, 0}, {0x3401, 20, 18, 0},
    {0x3001, 21, 19, 0}, {0x2801, 22, 19, 0}, {0x2401, 23, 20, 0}, {0x2201, 24, 21, 0}, {0x1C01, 25, 22, 0},
    {0x1801, 26, 23, 0}, {0x1601, 27, 24, 0}, {0x1401, 28, 25, 0}, {0x1201, 29, 26, 0}, {0x1101, 30, 27, 0},
    {0x0AC1, 31, 28, 0}, {0x09C1, 32, 29, 0}, {0x08A1, 33, 30, 0}, {0x0521, 34, 31, 0}, {0x0441, 35, 32, 0},
    {0x02A1, 36, 33, 0}, {0x0221, 37, 34, 0}, {0x0141, 38, 35, 0}, {0x0111, 39, 36, 0}, {0x0085, 40, 37, 0},
    {0x0049, 41, 38, 0}, {0x0025, 42, 39, 0}, {0x0015, 43, 40, 0}, {0x0009, 44, 41, 0}, {0x0005, 45, 42, 0},
    {0x0001, 45, 43, 0}, {0x5601, 46, 46, 0}};

}  // namespace

void TArithmeticDecoder::ByteIn() {
    if (ByteAt(FPos) == 0xFF) {
        if (ByteAt(FPos + 1) > 0x8F) {
            // A marker (or the end of the data): ones from here on.
            FCLow += 0xFF00;
            FCt = 8;
            ++FPastEnd;
        } else {
            ++FPos;
            FCLow += uint32_t(ByteAt(FPos)) << 9;
            FCt = 7;
        }
    } else {
        ++FPos;
        if (FPos >= FSize) ++FPastEnd;
        FCLow += uint32_t(ByteAt(FPos)) << 8;
        FCt = 8;
    }
    if (FCLow > 0xFFFF) {
        FCHigh += FCLow >> 16;
        FCLow &= 0xFFFF;
    }
}

void TArithmeticDecoder::Start(size_t Pos) {
    FPos = Pos;
    FPastEnd = 0;
    FCHigh = ByteAt(FPos);
    FCLow = 0;
    ByteIn();
    FCHigh = ((FCHigh << 7) & 0xFFFF) | ((FCLow >> 9) & 0x7F);
    FCLow = (FCLow << 7) & 0xFFFF;
    FCt -= 7;
    FA = 0x8000;
}

int TArithmeticDecoder::DecodeBit(uint8_t& Cx) {
    int Index = Cx >> 1;
    int MPS = Cx & 1;
    const TQe& Q = QeTable[Index];
    FA -= Q.Qe;
    int D;
    if (FCHigh < Q.Qe) {
        if (FA < Q.Qe) {
            FA = Q.Qe;
            D = MPS;
            Index = Q.NMPS;
        } else {
            FA = Q.Qe;
            D = 1 ^ MPS;
            if (Q.Switch) MPS = D;
            Index = Q.NLPS;
        }
    } else {
        FCHigh -= Q.Qe;
        if (FA & 0x8000) return MPS;
        if (FA < Q.Qe) {
            D = 1 ^ MPS;
            if (Q.Switch) MPS = D;
            Index = Q.NLPS;
        } else {
            D = MPS;
            Index = Q.NMPS;
        }
    }
    do {
        if (FCt == 0) ByteIn();
        FA <<= 1;
        FCHigh = ((FCHigh << 1) & 0xFFFF) | ((FCLow >> 15) & 1);
        FCLow = (FCLow << 1) & 0xFFFF;
        --FCt;
    } while ((FA & 0x8000) == 0);
    Cx = uint8_t(Index << 1 | MPS);
    return D;
}

bool TArithmeticDecoder::DecodeInt(std::vector<uint8_t>& Stats, int32_t& Value) {
    uint32_t Prev = 1;
    auto Bit = [&]() {
        const int B = DecodeBit(Stats[Prev & 511]);
        Prev = Prev < 256 ? (Prev << 1 | uint32_t(B)) : (((Prev << 1 | uint32_t(B)) & 511) | 256);
        return B;
    };
    const int S = Bit();
    int Bits;
    uint32_t Offset;
    if (!Bit()) {
        Bits = 2, Offset = 0;
    } else if (!Bit()) {
        Bits = 4, Offset = 4;
    } else if (!Bit()) {
        Bits = 6, Offset = 20;
    } else if (!Bit()) {
        Bits = 8, Offset = 84;
    } else if (!Bit()) {
        Bits = 12, Offset = 340;
    } else {
        Bits = 32, Offset = 4436;
    }
    uint32_t V = 0;
    for (int I = 0; I < Bits; ++I) V = V << 1 | uint32_t(Bit());
    V += Offset;
    if (S && V == 0) return false;
    // Values beyond 32 bits wrap; they are nonsense either way.
    Value = S ? int32_t(0u - V) : int32_t(V);
    return true;
}

uint32_t TArithmeticDecoder::DecodeIAID(std::vector<uint8_t>& Stats, int CodeLen) {
    uint32_t Prev = 1;
    for (int I = 0; I < CodeLen; ++I) Prev = Prev << 1 | uint32_t(DecodeBit(Stats[Prev]));
    return Prev - (uint32_t(1) << CodeLen);
}

}  // namespace jbig2

namespace {

using jbig2::TArithmeticDecoder;

// Ends the stream as truncated data does: the page keeps what was composed.
struct TStop {};

// Pixel budget of one stream: every bitmap and the work of combining.
constexpr int64_t MinBitmapCharge = 4096;
struct TBudget {
    int64_t Pixels = 0;
    int64_t Combined = 0;
    void Take(int64_t W, int64_t H) {
        if (W < 0 || H < 0) throw TStop{};
        if (W > 0 && H > JBIG2MaxBitmapPixels / W) throw TStop{};
        // Every bitmap costs at least a small one's share, so that a stream
        // of countless empty or tiny bitmaps ends too.
        Pixels += std::max<int64_t>(W * H, MinBitmapCharge);
        if (Pixels > JBIG2MaxStreamPixels) throw TStop{};
    }
    void Work(int64_t N) {
        Combined += N;
        // Combining costs a bit per pixel; a few billion is seconds of work.
        if (Combined > (int64_t(1) << 35)) throw TStop{};
    }
};

// A packed bitmap: rows of (width + 7) / 8 bytes, most significant bit
// first, 1 = black.
struct TBitmap {
    int32_t W = 0, H = 0, Stride = 0;
    int32_t Number = -1;
    std::vector<uint8_t> Data;

    TBitmap() = default;
    TBitmap(TBudget& B, int64_t AW, int64_t AH) {
        B.Take(AW, AH);
        W = int32_t(AW);
        H = int32_t(AH);
        Stride = (W + 7) / 8;
        Data.assign(size_t(Stride) * size_t(H), 0);
    }
    uint8_t* Row(int32_t Y) { return Data.data() + size_t(Y) * size_t(Stride); }
    const uint8_t* Row(int32_t Y) const { return Data.data() + size_t(Y) * size_t(Stride); }
    int Get(int64_t X, int64_t Y) const {
        if (X < 0 || Y < 0 || X >= W || Y >= H) return 0;
        return (Data[size_t(Y) * size_t(Stride) + size_t(X >> 3)] >> (7 - (X & 7))) & 1;
    }
    void Set(int64_t X, int64_t Y, int V) {
        if (X < 0 || Y < 0 || X >= W || Y >= H) return;
        uint8_t& B = Data[size_t(Y) * size_t(Stride) + size_t(X >> 3)];
        const uint8_t M = uint8_t(0x80 >> (X & 7));
        B = V ? (B | M) : (B & ~M);
    }
    void Clear(int V) {
        std::fill(Data.begin(), Data.end(), uint8_t(V ? 0xFF : 0));
        if (V && (W & 7))
            for (int32_t Y = 0; Y < H; ++Y) Row(Y)[Stride - 1] &= uint8_t(0xFF00 >> (W & 7));
    }
    void Expand(TBudget& B, int64_t NewH, int V) {
        if (NewH <= H) return;
        B.Take(W, NewH - H);
        const int32_t Old = H;
        H = int32_t(NewH);
        Data.resize(size_t(Stride) * size_t(H), 0);
        if (V) {
            std::fill(Data.begin() + std::ptrdiff_t(size_t(Stride) * size_t(Old)), Data.end(), uint8_t(0xFF));
            if (W & 7)
                for (int32_t Y = Old; Y < H; ++Y) Row(Y)[Stride - 1] &= uint8_t(0xFF00 >> (W & 7));
        }
    }
    // Places the source at (X, Y), clipped on every side.
    void Combine(TBudget& B, const TBitmap& S, int64_t X, int64_t Y, int Op) {
        if (Op < 0 || Op > 4) return;
        const int64_t SX = std::max<int64_t>(0, -X), SY = std::max<int64_t>(0, -Y);
        const int64_t DX = X + SX, DY = Y + SY;
        const int64_t CW = std::min<int64_t>(S.W - SX, W - DX);
        const int64_t CH = std::min<int64_t>(S.H - SY, H - DY);
        if (CW <= 0 || CH <= 0) return;
        B.Work(CW * CH);
        for (int64_t R = 0; R < CH; ++R) {
            const uint8_t* Src = S.Row(int32_t(SY + R));
            uint8_t* Dst = Row(int32_t(DY + R));
            int64_t D = DX, Sp = SX, N = CW;
            while (N > 0) {
                const int Bit = int(D & 7);
                const int Take = int(std::min<int64_t>(8 - Bit, N));
                const size_t I = size_t(Sp >> 3);
                uint32_t Win = uint32_t(Src[I]) << 8;
                if (I + 1 < size_t(S.Stride)) Win |= Src[I + 1];
                const uint32_t Bits = ((Win << (Sp & 7)) >> 8 & 0xFF) >> (8 - Take);
                const int Shift = 8 - Bit - Take;
                const uint8_t Mask = uint8_t(((1u << Take) - 1) << Shift);
                const uint8_t V = uint8_t(Bits << Shift);
                uint8_t& T = Dst[size_t(D >> 3)];
                uint8_t R8;
                switch (Op) {
                    case 0: R8 = T | V; break;
                    case 1: R8 = T & (V | uint8_t(~Mask)); break;
                    case 2: R8 = T ^ V; break;
                    case 3: R8 = T ^ uint8_t(~V & Mask); break;
                    default: R8 = uint8_t((T & ~Mask) | V); break;
                }
                T = uint8_t((T & ~Mask) | (R8 & Mask));
                D += Take;
                Sp += Take;
                N -= Take;
            }
        }
    }
    TBitmap Slice(TBudget& B, int64_t X, int64_t Y, int64_t AW, int64_t AH) const {
        TBitmap R(B, AW, AH);
        R.Combine(B, *this, -X, -Y, 4);
        return R;
    }
};

// Bits and bytes of the segment data, most significant bit first; reads
// past the end give zeros and are counted.
class TReader {
public:
    TReader(const uint8_t* Data, size_t Size) : FData(Data), FSize(Size) {}
    size_t Size() const { return FSize; }
    const uint8_t* Data() const { return FData; }
    size_t Pos() const { return FPos; }
    void SetPos(size_t P) {
        FPos = std::min(P, FSize + 64);
        FBit = 0;
    }
    bool Overrun() const { return FOverrun; }
    size_t PastEnd() const { return FPastEnd; }
    uint8_t Byte() {
        FBit = 0;
        if (FPos >= FSize) {
            FOverrun = true;
            return 0;
        }
        return FData[FPos++];
    }
    uint32_t U32() {
        uint32_t V = 0;
        for (int I = 0; I < 4; ++I) V = V << 8 | Byte();
        return V;
    }
    uint16_t U16() {
        const uint16_t H = Byte();
        return uint16_t(H << 8 | Byte());
    }
    int Bit() {
        if (FPos >= FSize) {
            FOverrun = true;
            ++FPastEnd;
            if (++FBit == 8) FBit = 0, ++FPos;
            return 0;
        }
        const int B = (FData[FPos] >> (7 - FBit)) & 1;
        if (++FBit == 8) FBit = 0, ++FPos;
        return B;
    }
    uint32_t Bits(int N) {
        uint32_t V = 0;
        for (int I = 0; I < N; ++I) V = V << 1 | uint32_t(Bit());
        return V;
    }
    void Align() {
        if (FBit) FBit = 0, ++FPos;
    }
    bool Exhausted() const { return FPastEnd > 64; }

private:
    const uint8_t* FData;
    size_t FSize;
    size_t FPos = 0;
    int FBit = 0;
    bool FOverrun = false;
    size_t FPastEnd = 0;
};

// ---------------------------------------------------------------------------
// Huffman tables

struct TLine {
    int64_t Low;
    int PrefLen;
    int RangeLen;
    int Kind;  // 0 normal, 1 lower range, 2 out-of-band
};

class THuffmanTable {
public:
    THuffmanTable() = default;
    explicit THuffmanTable(const std::vector<TLine>& Lines) { Build(Lines); }
    bool Empty() const { return FNodes.size() <= 1; }
    // False for the out-of-band value.
    bool Decode(TReader& R, int64_t& Value) const {
        int32_t N = 0;
        for (int Depth = 0; Depth < 40; ++Depth) {
            const TNode& Node = FNodes[size_t(N)];
            if (Node.Line >= 0) {
                const TLine& L = FLines[size_t(Node.Line)];
                if (L.Kind == 2) return false;
                const int64_t Off = R.Bits(L.RangeLen);
                Value = L.Kind == 1 ? L.Low - Off : L.Low + Off;
                return true;
            }
            const int32_t Next = FNodes[size_t(N)].Child[R.Bit()];
            if (Next < 0) {
                // No code of the table: read as out-of-band.
                return false;
            }
            N = Next;
        }
        return false;
    }

private:
    struct TNode {
        int32_t Child[2] = {-1, -1};
        int32_t Line = -1;
    };
    void Build(const std::vector<TLine>& Lines) {
        FLines = Lines;
        FNodes.assign(1, TNode{});
        int LenMax = 0;
        for (const TLine& L : Lines) LenMax = std::max(LenMax, L.PrefLen);
        std::vector<uint32_t> Count(size_t(LenMax) + 1, 0);
        for (const TLine& L : Lines) ++Count[size_t(L.PrefLen)];
        Count[0] = 0;
        uint32_t First = 0;
        for (int Len = 1; Len <= LenMax; ++Len) {
            First = (First + Count[size_t(Len) - 1]) << 1;
            uint32_t Code = First;
            for (size_t I = 0; I < Lines.size(); ++I) {
                if (Lines[I].PrefLen != Len) continue;
                Insert(Code++, Len, int32_t(I));
            }
        }
    }
    void Insert(uint32_t Code, int Len, int32_t Line) {
        if (Len > 32) return;
        int32_t N = 0;
        for (int B = Len - 1; B >= 0; --B) {
            if (FNodes[size_t(N)].Line >= 0) return;  // a prefix is taken
            const int Bit = int((Code >> B) & 1);
            if (FNodes[size_t(N)].Child[Bit] < 0) {
                FNodes[size_t(N)].Child[Bit] = int32_t(FNodes.size());
                FNodes.push_back(TNode{});
            }
            N = FNodes[size_t(N)].Child[Bit];
        }
        if (FNodes[size_t(N)].Child[0] < 0 && FNodes[size_t(N)].Child[1] < 0) FNodes[size_t(N)].Line = Line;
    }
    std::vector<TLine> FLines;
    std::vector<TNode> FNodes;
};

// The standard tables B.1 to B.15: lines in table order (lower and upper
// range lines and out-of-band last), codes assigned from the lengths.
const THuffmanTable& StandardTable(int N) {
    static const std::vector<TLine> Lines[15] = {
        {{0, 1, 4, 0}, {16, 2, 8, 0}, {272, 3, 16, 0}, {65808, 3, 32, 0}},
        {{0, 1, 0, 0}, {1, 2, 0, 0}, {2, 3, 0, 0}, {3, 4, 3, 0}, {11, 5, 6, 0}, {75, 6, 32, 0}, {0, 6, 0, 2}},
        {{-256, 8, 8, 0},
         {0, 1, 0, 0},
         {1, 2, 0, 0},
         {2, 3, 0, 0},
         {3, 4, 3, 0},
         {11, 5, 6, 0},
         {-257, 8, 32, 1},
         {75, 7, 32, 0},
         {0, 6, 0, 2}},
        {{1, 1, 0, 0}, {2, 2, 0, 0}, {3, 3, 0, 0}, {4, 4, 3, 0}, {12, 5, 6, 0}, {76, 5, 32, 0}},
        {{-255, 7, 8, 0},
         {1, 1, 0, 0},
         {2, 2, 0, 0},
         {3, 3, 0, 0},
         {4, 4, 3, 0},
         {12, 5, 6, 0},
         {-256, 7, 32, 1},
         {76, 6, 32, 0}},
        {{-2048, 5, 10, 0},
         {-1024, 4, 9, 0},
         {-512, 4, 8, 0},
         {-256, 4, 7, 0},
         {-128, 5, 6, 0},
         {-64, 5, 5, 0},
         {-32, 4, 5, 0},
         {0, 2, 7, 0},
         {128, 3, 7, 0},
         {256, 3, 8, 0},
         {512, 4, 9, 0},
         {1024, 4, 10, 0},
         {-2049, 6, 32, 1},
         {2048, 6, 32, 0}},
        {{-1024, 4, 9, 0},
         {-512, 3, 8, 0},
         {-256, 4, 7, 0},
         {-128, 5, 6, 0},
         {-64, 5, 5, 0},
         {-32, 4, 5, 0},
         {0, 4, 5, 0},
         {32, 5, 5, 0},
         {64, 5, 6, 0},
         {128, 4, 7, 0},
         {256, 3, 8, 0},
         {512, 3, 9, 0},
         {1024, 3, 10, 0},
         {-1025, 5, 32, 1},
         {2048, 5, 32, 0}},
        {{-15, 8, 3, 0}, {-7, 9, 1, 0},  {-5, 8, 1, 0},  {-3, 9, 0, 0},   {-2, 7, 0, 0},     {-1, 4, 0, 0},
         {0, 2, 1, 0},   {2, 5, 0, 0},   {3, 6, 0, 0},   {4, 3, 4, 0},    {20, 6, 1, 0},     {22, 4, 4, 0},
         {38, 4, 5, 0},  {70, 5, 6, 0},  {134, 5, 7, 0}, {262, 6, 7, 0},  {390, 7, 8, 0},    {646, 6, 10, 0},
         {-16, 9, 32, 1}, {1670, 9, 32, 0}, {0, 2, 0, 2}},
        {{-31, 8, 4, 0},  {-15, 9, 2, 0},  {-11, 8, 2, 0},  {-7, 9, 1, 0},    {-5, 7, 1, 0},     {-3, 4, 1, 0},
         {-1, 3, 1, 0},   {1, 3, 1, 0},    {3, 5, 1, 0},    {5, 6, 1, 0},     {7, 3, 5, 0},      {39, 6, 2, 0},
         {43, 4, 5, 0},   {75, 4, 6, 0},   {139, 5, 7, 0},  {267, 5, 8, 0},   {523, 6, 8, 0},    {779, 7, 9, 0},
         {1291, 6, 11, 0}, {-32, 9, 32, 1}, {3339, 9, 32, 0}, {0, 2, 0, 2}},
        {{-21, 7, 4, 0},   {-5, 8, 0, 0},    {-4, 7, 0, 0},    {-3, 5, 0, 0},   {-2, 2, 2, 0},
         {2, 5, 0, 0},     {3, 6, 0, 0},     {4, 7, 0, 0},     {5, 8, 0, 0},    {6, 2, 6, 0},
         {70, 5, 5, 0},    {102, 6, 5, 0},   {134, 6, 6, 0},   {198, 6, 7, 0},  {326, 6, 8, 0},
         {582, 6, 9, 0},   {1094, 6, 10, 0}, {2118, 7, 11, 0}, {-22, 8, 32, 1}, {4166, 8, 32, 0},
         {0, 2, 0, 2}},
        {{1, 1, 0, 0},
         {2, 2, 1, 0},
         {4, 4, 0, 0},
         {5, 4, 1, 0},
         {7, 5, 1, 0},
         {9, 5, 2, 0},
         {13, 6, 2, 0},
         {17, 7, 2, 0},
         {21, 7, 3, 0},
         {29, 7, 4, 0},
         {45, 7, 5, 0},
         {77, 7, 6, 0},
         {141, 7, 32, 0}},
        {{1, 1, 0, 0},
         {2, 2, 0, 0},
         {3, 3, 1, 0},
         {5, 5, 0, 0},
         {6, 5, 1, 0},
         {8, 6, 1, 0},
         {10, 7, 0, 0},
         {11, 7, 1, 0},
         {13, 7, 2, 0},
         {17, 7, 3, 0},
         {25, 7, 4, 0},
         {41, 8, 5, 0},
         {73, 8, 32, 0}},
        {{1, 1, 0, 0},
         {2, 3, 0, 0},
         {3, 4, 0, 0},
         {4, 5, 0, 0},
         {5, 4, 1, 0},
         {7, 3, 3, 0},
         {15, 6, 1, 0},
         {17, 6, 2, 0},
         {21, 6, 3, 0},
         {29, 6, 4, 0},
         {45, 6, 5, 0},
         {77, 7, 6, 0},
         {141, 7, 32, 0}},
        {{-2, 3, 0, 0}, {-1, 3, 0, 0}, {0, 1, 0, 0}, {1, 3, 0, 0}, {2, 3, 0, 0}},
        {{-24, 7, 4, 0},
         {-8, 6, 2, 0},
         {-4, 5, 1, 0},
         {-2, 4, 0, 0},
         {-1, 3, 0, 0},
         {0, 1, 0, 0},
         {1, 3, 0, 0},
         {2, 4, 0, 0},
         {3, 5, 1, 0},
         {5, 6, 2, 0},
         {9, 7, 4, 0},
         {-25, 7, 32, 1},
         {25, 7, 32, 0}},
    };
    static const std::vector<THuffmanTable> Tables = [] {
        std::vector<THuffmanTable> T;
        for (const auto& L : Lines) T.emplace_back(L);
        return T;
    }();
    return Tables[size_t(N - 1)];
}

// A code-table segment's lines.
bool ReadCodeTable(TReader& R, std::vector<TLine>& Lines) {
    const uint8_t Flags = R.Byte();
    const bool HasOOB = Flags & 1;
    const int PS = ((Flags >> 1) & 7) + 1;
    const int RS = ((Flags >> 4) & 7) + 1;
    const int64_t Low = int32_t(R.U32());
    const int64_t High = int32_t(R.U32());
    if (R.Overrun() || High < Low) return false;
    int64_t Cur = Low;
    while (Cur < High) {
        const int PL = int(R.Bits(PS));
        const int RL = int(R.Bits(RS));
        if (R.Exhausted() || Lines.size() > 65536 || RL > 32) return false;
        Lines.push_back({Cur, PL, RL, 0});
        Cur += int64_t(1) << RL;
    }
    Lines.push_back({Low - 1, int(R.Bits(PS)), 32, 1});
    Lines.push_back({High, int(R.Bits(PS)), 32, 0});
    if (HasOOB) Lines.push_back({0, int(R.Bits(PS)), 0, 2});
    return !R.Exhausted();
}

// ---------------------------------------------------------------------------
// Decoding procedures

constexpr size_t GenericContexts = 65536;
// Bytes of fill an arithmetic decoder may take past the end of its coded
// data (a marker or the end of the segment) before its region or
// dictionary stops: a finished code needs a few at most.
constexpr size_t PastEndLimit = 16;
constexpr size_t RefinementContexts = 8192;
constexpr int64_t MaxPatterns = int64_t(1) << 16;

struct TIntStats {
    std::vector<uint8_t> IADH, IADW, IAEX, IAAI, IADT, IAFS, IADS, IAIT, IARI, IARDW, IARDH, IARDX, IARDY, IAID;
    int CodeLen = 0;
    explicit TIntStats(int ACodeLen)
        : IADH(512), IADW(512), IAEX(512), IAAI(512), IADT(512), IAFS(512), IADS(512), IAIT(512),
          IARI(512), IARDW(512), IARDH(512), IARDX(512), IARDY(512),
          IAID(size_t(1) << (ACodeLen + 1)), CodeLen(ACodeLen) {}
};

struct TGenericParams {
    int Template = 0;
    bool TPGDON = false;
    int8_t AT[8] = {3, -1, -3, -1, 2, -2, -2, -2};
    const TBitmap* Skip = nullptr;
};

// Where the context bits of each template come from: the last N0 pixels of
// the row, N1 pixels of the row above whose lowest bit is the pixel A1 to the
// right (shifted to bit S1), and N2 pixels two rows above, lowest A2 to the
// right (shifted to S2). The nominal adaptive pixels lie inside these
// windows; other positions are read one by one into their bits.
struct TTemplateShape {
    int N0, A1, N1, S1, A2, N2, S2, NAT;
    int8_t Nominal[8];
    uint8_t ATBit[4];
};
constexpr TTemplateShape TemplateShapes[4] = {
    {4, 3, 7, 4, 2, 5, 11, 4, {3, -1, -3, -1, 2, -2, -2, -2}, {4, 10, 11, 15}},
    {3, 3, 6, 3, 2, 4, 9, 1, {3, -1}, {3}},
    {2, 2, 5, 2, 1, 3, 7, 1, {2, -1}, {2}},
    {4, 2, 6, 4, 0, 0, 0, 1, {2, -1}, {4}},
};

// Arithmetic generic region decoding; stops early (the rest left white)
// once the decoder has run well past the end of its data. Contexts are built
// from the packed rows a byte at a time: each pixel takes a few shifts.
void DecodeGeneric(TBitmap& B, const TGenericParams& P, TArithmeticDecoder& AD, std::vector<uint8_t>& Stats) {
    static constexpr uint32_t SLTPContext[4] = {0x9B25, 0x0795, 0x00E5, 0x0195};
    const int T = P.Template & 3;
    const TTemplateShape& Sh = TemplateShapes[T];
    bool Nominal = true;
    uint32_t ATClear = 0;
    for (int K = 0; K < 2 * Sh.NAT; ++K) Nominal = Nominal && P.AT[K] == Sh.Nominal[K];
    if (!Nominal)
        for (int K = 0; K < Sh.NAT; ++K) ATClear |= 1u << Sh.ATBit[K];
    const uint32_t M0 = (1u << Sh.N0) - 1, M1 = (1u << Sh.N1) - 1, M2 = (1u << Sh.N2) - 1;
    const int64_t W = B.W, Stride = B.Stride;
    // An empty region has nothing to decode, however many rows it claims.
    if (W <= 0 || B.H <= 0) return;
    auto ByteOf = [Stride](const uint8_t* Row, int64_t I) -> uint32_t {
        return Row && I >= 0 && I < Stride ? Row[I] : 0;
    };
    bool LTP = false;
    for (int32_t Y = 0; Y < B.H; ++Y) {
        if (AD.PastEnd() > PastEndLimit) return;
        uint8_t* Row0 = B.Row(Y);
        const uint8_t* Row1 = Y >= 1 ? B.Row(Y - 1) : nullptr;
        const uint8_t* Row2 = Y >= 2 ? B.Row(Y - 2) : nullptr;
        if (P.TPGDON) {
            LTP = LTP != (AD.DecodeBit(Stats[SLTPContext[T]]) != 0);
            if (LTP) {
                if (Row1) std::memcpy(Row0, Row1, size_t(Stride));
                continue;
            }
        }
        const uint8_t* SkipRow = P.Skip ? P.Skip->Row(Y) : nullptr;
        // Bytes I - 1, I and I + 1 of the rows above: pixel 8 I + K is bit
        // 15 - K.
        uint32_t V1 = ByteOf(Row1, 0) << 8 | ByteOf(Row1, 1);
        uint32_t V2 = ByteOf(Row2, 0) << 8 | ByteOf(Row2, 1);
        uint32_t W0 = 0;
        for (int64_t I = 0; I < Stride; ++I) {
            if (AD.PastEnd() > PastEndLimit) return;
            const int Count = int(std::min<int64_t>(8, W - 8 * I));
            const uint8_t SkipByte = SkipRow ? SkipRow[I] : 0;
            uint32_t Out = 0;
            for (int K = 0; K < Count; ++K) {
                if (SkipByte & (0x80 >> K)) {
                    W0 <<= 1;
                    continue;
                }
                uint32_t Cx = (W0 & M0) | ((V1 >> (15 - K - Sh.A1)) & M1) << Sh.S1 |
                              ((V2 >> (15 - K - Sh.A2)) & M2) << Sh.S2;
                if (!Nominal) {
                    // Pixels of this row decoded so far are in Row0 already.
                    Row0[I] = uint8_t(Out);
                    const int64_t X = 8 * I + K;
                    Cx &= ~ATClear;
                    for (int A = 0; A < Sh.NAT; ++A)
                        Cx |= uint32_t(B.Get(X + P.AT[2 * A], int64_t(Y) + P.AT[2 * A + 1])) << Sh.ATBit[A];
                }
                const uint32_t Pix = uint32_t(AD.DecodeBit(Stats[Cx]));
                W0 = W0 << 1 | Pix;
                Out |= Pix << (7 - K);
            }
            Row0[I] = uint8_t(Out);
            V1 = (V1 << 8 | ByteOf(Row1, I + 2)) & 0xFFFFFF;
            V2 = (V2 << 8 | ByteOf(Row2, I + 2)) & 0xFFFFFF;
        }
    }
}

// MMR generic region decoding; returns the bytes used (the end-of-block
// code included when present).
size_t DecodeMMR(TBitmap& B, const uint8_t* Data, size_t Size) {
    if (B.W <= 0 || B.H <= 0) return 0;
    TVPLCCITTDecoder D(B.W, B.H, 1, false, false, 1);
    // The bitmap's rows are the decoder's rows; it is all white here.
    D.DecodeT6(B.Data, std::string_view(reinterpret_cast<const char*>(Data), Size));
    int64_t Bits = D.BitsRead();
    // The end-of-block code: two EOLs (000000000001 twice).
    auto BitAt = [&](int64_t I) {
        return I / 8 < int64_t(Size) ? (Data[I / 8] >> (7 - I % 8)) & 1 : 0;
    };
    bool EOFB = Bits + 24 <= int64_t(Size) * 8;
    for (int I = 0; I < 24 && EOFB; ++I) EOFB = BitAt(Bits + I) == (I == 11 || I == 23 ? 1 : 0);
    if (EOFB) Bits += 24;
    return size_t(std::min<int64_t>((Bits + 7) / 8, int64_t(Size)));
}

struct TRefineParams {
    int Template = 0;
    bool TPGRON = false;
    int8_t AT[4] = {-1, -1, -1, -1};
};

// Whether rows Y - 1 to Y + 1 of Ref hold no black pixel from X0 to X1
// (outside the bitmap is white).
bool RefRowsWhite(const TBitmap& Ref, int64_t Y, int64_t X0, int64_t X1) {
    X0 = std::max<int64_t>(X0, 0);
    X1 = std::min<int64_t>(X1, int64_t(Ref.W) - 1);
    if (X0 > X1) return true;
    for (int64_t R = Y - 1; R <= Y + 1; ++R) {
        if (R < 0 || R >= Ref.H) continue;
        const uint8_t* Row = Ref.Row(int32_t(R));
        const int64_t B0 = X0 >> 3, B1 = X1 >> 3;
        for (int64_t I = B0; I <= B1; ++I) {
            uint8_t V = Row[I];
            if (I == B0) V &= uint8_t(0xFF >> (X0 & 7));
            if (I == B1) V &= uint8_t(0xFF00 >> ((X1 & 7) + 1));
            if (V) return false;
        }
    }
    return true;
}

void DecodeRefinement(TBitmap& B, const TRefineParams& P, const TBitmap& Ref, int64_t DX, int64_t DY,
                      TArithmeticDecoder& AD, std::vector<uint8_t>& Stats) {
    if (B.W <= 0 || B.H <= 0) return;
    bool LTP = false;
    auto Context = [&](int64_t X, int64_t Y) {
        const int64_t RX = X - DX, RY = Y - DY;
        if (P.Template == 0)
            return uint32_t(B.Get(X - 1, Y)) | uint32_t(B.Get(X + 1, Y - 1)) << 1 | uint32_t(B.Get(X, Y - 1)) << 2 |
                   uint32_t(B.Get(X + P.AT[0], Y + P.AT[1])) << 3 | uint32_t(Ref.Get(RX + 1, RY + 1)) << 4 |
                   uint32_t(Ref.Get(RX, RY + 1)) << 5 | uint32_t(Ref.Get(RX - 1, RY + 1)) << 6 |
                   uint32_t(Ref.Get(RX + 1, RY)) << 7 | uint32_t(Ref.Get(RX, RY)) << 8 |
                   uint32_t(Ref.Get(RX - 1, RY)) << 9 | uint32_t(Ref.Get(RX + 1, RY - 1)) << 10 |
                   uint32_t(Ref.Get(RX, RY - 1)) << 11 | uint32_t(Ref.Get(RX + P.AT[2], RY + P.AT[3])) << 12;
        return uint32_t(B.Get(X - 1, Y)) | uint32_t(B.Get(X + 1, Y - 1)) << 1 | uint32_t(B.Get(X, Y - 1)) << 2 |
               uint32_t(B.Get(X - 1, Y - 1)) << 3 | uint32_t(Ref.Get(RX + 1, RY + 1)) << 4 |
               uint32_t(Ref.Get(RX, RY + 1)) << 5 | uint32_t(Ref.Get(RX + 1, RY)) << 6 |
               uint32_t(Ref.Get(RX, RY)) << 7 | uint32_t(Ref.Get(RX - 1, RY)) << 8 |
               uint32_t(Ref.Get(RX, RY - 1)) << 9;
    };
    for (int32_t Y = 0; Y < B.H; ++Y) {
        if (AD.PastEnd() > PastEndLimit) return;
        if (P.TPGRON) LTP = LTP != (AD.DecodeBit(Stats[P.Template == 0 ? 0x0010 : 0x0008]) != 0);
        // A predicted row over white reference rows stays white: nothing
        // to decode (a hostile region could otherwise spin over millions
        // of such pixels without reading a byte).
        if (LTP && RefRowsWhite(Ref, int64_t(Y) - DY, -DX - 1, int64_t(B.W) - DX + 1)) continue;
        for (int32_t X = 0; X < B.W; ++X) {
            if ((X & 255) == 255 && AD.PastEnd() > PastEndLimit) return;
            if (LTP) {
                const int64_t RX = X - DX, RY = Y - DY;
                const int V = Ref.Get(RX, RY);
                bool Same = true;
                for (int J = -1; J <= 1 && Same; ++J)
                    for (int I = -1; I <= 1 && Same; ++I) Same = Ref.Get(RX + I, RY + J) == V;
                if (Same) {
                    if (V) B.Set(X, Y, 1);
                    continue;
                }
            }
            if (AD.DecodeBit(Stats[Context(X, Y)])) B.Set(X, Y, 1);
        }
    }
}

int CeilLog2(uint64_t N) {
    int L = 0;
    while ((uint64_t(1) << L) < N) ++L;
    return L;
}

// ---------------------------------------------------------------------------
// The stream

struct TSegment {
    uint32_t Number = 0;
    int Type = 0;
    std::vector<uint32_t> Refs;
    uint32_t Page = 0;
    bool UnknownLength = false;
    // Results other segments use.
    std::vector<std::shared_ptr<TBitmap>> Symbols;  // symbol dictionary
    std::vector<std::shared_ptr<TBitmap>> Patterns;  // pattern dictionary
    std::shared_ptr<TBitmap> Region;                 // intermediate region
    std::vector<TLine> Table;                        // code table
    bool HasTable = false;
    std::vector<uint8_t> GenericStats, RefinementStats;
    bool HasStats = false;
};

struct TRegionInfo {
    uint32_t W = 0, H = 0;
    int32_t X = 0, Y = 0;
    int Op = 0;
};

class TStreamDecoder {
public:
    TBudget Budget;
    std::vector<std::unique_ptr<TSegment>> Segments;
    std::unique_ptr<TBitmap> Page;
    bool PageUnknownHeight = false;
    int PageDefault = 0;

    void Decode(const uint8_t* Data, size_t Size) {
        TReader R(Data, Size);
        size_t Pos = 0;
        if (Size >= 8 && std::memcmp(Data, "\x97JB2\r\n\x1A\n", 8) == 0) {
            R.SetPos(8);
            const uint8_t Flags = R.Byte();
            if (!(Flags & 1)) {
                // Random-access organisation: headers first, then data.
                if (!(Flags & 2)) R.U32();
                DecodeRandomAccess(R);
                return;
            }
            if (!(Flags & 2)) R.U32();
            Pos = R.Pos();
        }
        R.SetPos(Pos);
        while (R.Pos() < Size) {
            TSegment* S = nullptr;
            uint32_t Length = 0;
            if (!ReadHeader(R, S, Length)) return;
            size_t Start = R.Pos();
            size_t End;
            if (Length == 0xFFFFFFFF) {
                if (S->Type != 38 && S->Type != 39) return;
                End = UnknownLengthEnd(Data, Size, Start);
                S->UnknownLength = true;
            } else {
                End = Start + std::min<size_t>(Length, Size - Start);
            }
            if (!ReadSegment(*S, Data + Start, End - Start)) return;
            R.SetPos(End);
            if (S->Type == 51) return;
        }
    }

private:
    void DecodeRandomAccess(TReader& R) {
        std::vector<std::pair<TSegment*, uint32_t>> Headers;
        for (;;) {
            if (R.Pos() >= R.Size()) break;
            TSegment* S = nullptr;
            uint32_t Length = 0;
            if (!ReadHeader(R, S, Length) || Length == 0xFFFFFFFF) break;
            Headers.emplace_back(S, Length);
            if (S->Type == 51) break;
        }
        size_t Pos = R.Pos();
        for (auto& [S, Length] : Headers) {
            if (Pos >= R.Size()) return;
            const size_t End = Pos + std::min<size_t>(Length, R.Size() - Pos);
            if (!ReadSegment(*S, R.Data() + Pos, End - Pos)) return;
            Pos = End;
        }
    }

    // Where data of unknown length ends: after the end marker of the
    // region's coding (00 00 for MMR, FF AC for arithmetic) and the row
    // count that follows it.
    static size_t UnknownLengthEnd(const uint8_t* Data, size_t Size, size_t Start) {
        // The region information field (17 bytes) and the flags byte.
        if (Size - Start < 18) return Size;
        const bool MMR = Data[Start + 17] & 1;
        for (size_t I = Start + 18; I + 6 <= Size; ++I) {
            if (MMR ? (Data[I] == 0 && Data[I + 1] == 0) : (Data[I] == 0xFF && Data[I + 1] == 0xAC))
                return I + 6;
        }
        return Size;
    }

    bool ReadHeader(TReader& R, TSegment*& Out, uint32_t& Length) {
        auto S = std::make_unique<TSegment>();
        S->Number = R.U32();
        const uint8_t Flags = R.Byte();
        S->Type = Flags & 63;
        const bool LongPage = Flags & 64;
        if (R.Overrun()) return false;
        const uint8_t C = R.Byte();
        uint32_t Count = C >> 5;
        if (Count == 7) {
            Count = uint32_t(C & 31) << 24;
            Count |= uint32_t(R.Byte()) << 16;
            Count |= uint32_t(R.Byte()) << 8;
            Count |= R.Byte();
            if (Count > R.Size()) return false;
            R.SetPos(R.Pos() + (Count + 8) / 8);
        }
        const int RefSize = S->Number <= 256 ? 1 : S->Number <= 65536 ? 2 : 4;
        for (uint32_t I = 0; I < Count && !R.Overrun(); ++I)
            S->Refs.push_back(RefSize == 1 ? R.Byte() : RefSize == 2 ? R.U16() : R.U32());
        S->Page = LongPage ? R.U32() : R.Byte();
        Length = R.U32();
        if (R.Overrun()) return false;
        Segments.push_back(std::move(S));
        Out = Segments.back().get();
        return true;
    }

    TSegment* Find(uint32_t Number) {
        for (auto& S : Segments)
            if (S->Number == Number) return S.get();
        return nullptr;
    }

    // False ends the segment loop.
    bool ReadSegment(TSegment& S, const uint8_t* Data, size_t Size) {
        TReader R(Data, Size);
        switch (S.Type) {
            case 0: SymbolDictionary(S, R); return true;
            case 4: case 6: case 7: TextRegion(S, R, S.Type != 4); return true;
            case 16: PatternDictionary(S, R); return true;
            case 20: case 22: case 23: HalftoneRegion(S, R, S.Type != 20); return true;
            case 36: case 38: case 39: GenericRegion(S, R, S.Type != 36); return true;
            case 40: case 42: case 43: RefinementRegion(S, R, S.Type != 40); return true;
            case 48: PageInformation(S, R); return true;
            case 49: return true;
            case 50: EndOfStripe(R); return true;
            case 51: return true;
            case 52: return true;
            case 53: S.HasTable = ReadCodeTable(R, S.Table); return true;
            case 62: return true;
            default: return false;
        }
    }

    void PageInformation(TSegment& S, TReader& R) {
        if (S.Page != 1 || Page) return;
        const uint32_t W = R.U32();
        const uint32_t H = R.U32();
        R.U32();
        R.U32();
        const uint8_t Flags = R.Byte();
        const uint16_t Striping = R.U16();
        if (R.Overrun()) return;
        PageDefault = (Flags >> 2) & 1;
        PageUnknownHeight = H == 0xFFFFFFFF;
        const int64_t Height = PageUnknownHeight ? (Striping & 0x7FFF) : int64_t(H);
        Page = std::make_unique<TBitmap>(Budget, int64_t(W), Height);
        Page->Clear(PageDefault);
    }

    void EndOfStripe(TReader& R) {
        const uint32_t Row = R.U32();
        if (R.Overrun() || !Page || !PageUnknownHeight) return;
        Page->Expand(Budget, int64_t(Row) + 1, PageDefault);
    }

    static TRegionInfo ReadRegionInfo(TReader& R) {
        TRegionInfo I;
        I.W = R.U32();
        I.H = R.U32();
        I.X = int32_t(R.U32());
        I.Y = int32_t(R.U32());
        I.Op = R.Byte() & 7;
        return I;
    }

    void Compose(TSegment& S, std::shared_ptr<TBitmap> B, const TRegionInfo& I, bool Immediate,
                 bool Grows) {
        if (!Immediate) {
            B->Number = int32_t(S.Number);
            S.Region = std::move(B);
            return;
        }
        if (!Page || S.Page != 1) return;
        if (Grows && PageUnknownHeight) Page->Expand(Budget, int64_t(I.Y) + B->H, PageDefault);
        Page->Combine(Budget, *B, I.X, I.Y, I.Op);
    }

    void GenericRegion(TSegment& S, TReader& R, bool Immediate) {
        TRegionInfo I = ReadRegionInfo(R);
        const uint8_t Flags = R.Byte();
        const bool MMR = Flags & 1;
        TGenericParams P;
        P.Template = (Flags >> 1) & 3;
        P.TPGDON = (Flags >> 3) & 1;
        if (!MMR) {
            const int N = P.Template == 0 ? 4 : 1;
            for (int K = 0; K < N; ++K) {
                P.AT[2 * K] = int8_t(R.Byte());
                P.AT[2 * K + 1] = int8_t(R.Byte());
            }
        }
        if (R.Overrun()) return;
        // Data of unknown length ends with its row count.
        if (S.UnknownLength && R.Size() >= 4) {
            const uint8_t* E = R.Data() + R.Size() - 4;
            I.H = uint32_t(E[0]) << 24 | uint32_t(E[1]) << 16 | uint32_t(E[2]) << 8 | E[3];
        }
        auto B = std::make_shared<TBitmap>(Budget, int64_t(I.W), int64_t(I.H));
        if (MMR) {
            DecodeMMR(*B, R.Data() + R.Pos(), R.Size() - R.Pos());
        } else {
            std::vector<uint8_t> Stats(GenericContexts, 0);
            TArithmeticDecoder AD(R.Data(), R.Size());
            AD.Start(R.Pos());
            DecodeGeneric(*B, P, AD, Stats);
        }
        Compose(S, std::move(B), I, Immediate, true);
    }

    void RefinementRegion(TSegment& S, TReader& R, bool Immediate) {
        TRegionInfo I = ReadRegionInfo(R);
        const uint8_t Flags = R.Byte();
        TRefineParams P;
        P.Template = Flags & 1;
        P.TPGRON = (Flags >> 1) & 1;
        if (P.Template == 0)
            for (int K = 0; K < 4; ++K) P.AT[K] = int8_t(R.Byte());
        if (R.Overrun() || S.Refs.size() > 1) return;
        if ((S.Refs.empty() || Immediate) && Page && PageUnknownHeight)
            Page->Expand(Budget, int64_t(I.Y) + int64_t(I.H), PageDefault);
        TBitmap Ref;
        if (S.Refs.size() == 1) {
            TSegment* T = Find(S.Refs[0]);
            if (!T || !T->Region) return;
            Ref = *T->Region;
            Budget.Take(Ref.W, Ref.H);
        } else {
            if (!Page) return;
            Ref = Page->Slice(Budget, I.X, I.Y, I.W, I.H);
        }
        // A refinement of the page's own pixels replaces them: any other
        // operator could not take a pixel away.
        if (S.Refs.empty()) I.Op = 4;
        auto B = std::make_shared<TBitmap>(Budget, int64_t(I.W), int64_t(I.H));
        std::vector<uint8_t> Stats(RefinementContexts, 0);
        TArithmeticDecoder AD(R.Data(), R.Size());
        AD.Start(R.Pos());
        DecodeRefinement(*B, P, Ref, 0, 0, AD, Stats);
        Compose(S, std::move(B), I, Immediate, true);
    }

    void PatternDictionary(TSegment& S, TReader& R) {
        const uint8_t Flags = R.Byte();
        const bool MMR = Flags & 1;
        const int Template = (Flags >> 1) & 3;
        const int PW = R.Byte(), PH = R.Byte();
        const uint32_t GrayMax = R.U32();
        if (R.Overrun() || PW == 0 || PH == 0) return;
        const int64_t Count = int64_t(GrayMax) + 1;
        // Grey values of 16 bits are far beyond any halftone; more patterns
        // are a hostile count of bitmaps.
        if (Count > MaxPatterns) throw TStop{};
        TBitmap Collective(Budget, Count * PW, PH);
        if (MMR) {
            DecodeMMR(Collective, R.Data() + R.Pos(), R.Size() - R.Pos());
        } else {
            TGenericParams P;
            P.Template = Template;
            const int8_t AT[8] = {int8_t(-PW), 0, -3, -1, 2, -2, -2, -2};
            std::memcpy(P.AT, AT, 8);
            std::vector<uint8_t> Stats(GenericContexts, 0);
            TArithmeticDecoder AD(R.Data(), R.Size());
            AD.Start(R.Pos());
            DecodeGeneric(Collective, P, AD, Stats);
        }
        for (int64_t I = 0; I < Count; ++I)
            S.Patterns.push_back(std::make_shared<TBitmap>(Collective.Slice(Budget, I * PW, 0, PW, PH)));
    }

    void HalftoneRegion(TSegment& S, TReader& R, bool Immediate) {
        const TRegionInfo I = ReadRegionInfo(R);
        const uint8_t Flags = R.Byte();
        const bool MMR = Flags & 1;
        const int Template = (Flags >> 1) & 3;
        const bool EnableSkip = (Flags >> 3) & 1;
        const int CombOp = (Flags >> 4) & 7;
        const int DefPixel = (Flags >> 7) & 1;
        const uint32_t GW = R.U32();
        uint32_t GH = R.U32();
        const int64_t GX = int32_t(R.U32()), GY = int32_t(R.U32());
        const int64_t RX = R.U16(), RY = R.U16();
        if (R.Overrun() || S.Refs.empty()) return;
        // A grid without columns has no rows either (its row loops would
        // run on empty).
        if (GW == 0) GH = 0;
        TSegment* D = Find(S.Refs[0]);
        if (!D || D->Type != 16 || D->Patterns.empty()) return;
        const auto& Patterns = D->Patterns;
        const int64_t PW = Patterns[0]->W, PH = Patterns[0]->H;
        const int BPP = CeilLog2(Patterns.size());
        auto B = std::make_shared<TBitmap>(Budget, int64_t(I.W), int64_t(I.H));
        B->Clear(DefPixel);
        auto CellX = [&](int64_t M, int64_t N) { return (GX + M * RY + N * RX) >> 8; };
        auto CellY = [&](int64_t M, int64_t N) { return (GY + M * RX - N * RY) >> 8; };
        TBitmap Skip;
        if (EnableSkip) {
            Skip = TBitmap(Budget, GW, GH);
            for (int64_t M = 0; M < GH; ++M)
                for (int64_t N = 0; N < GW; ++N) {
                    const int64_t X = CellX(M, N), Y = CellY(M, N);
                    if (X + PW <= 0 || X >= int64_t(I.W) || Y + PH <= 0 || Y >= int64_t(I.H)) Skip.Set(N, M, 1);
                }
        }
        // Gray-scale values, one bit plane after the other (Gray-coded).
        std::vector<uint32_t> Values;
        {
            TBitmap Plane(Budget, GW, GH);
            Budget.Take(GW, int64_t(GH) * 4);
            Values.assign(size_t(GW) * GH, 0);
            TGenericParams P;
            P.Template = Template;
            const int8_t AT[8] = {int8_t(Template <= 1 ? 3 : 2), -1, -3, -1, 2, -2, -2, -2};
            std::memcpy(P.AT, AT, 8);
            P.Skip = EnableSkip ? &Skip : nullptr;
            std::vector<uint8_t> Stats(GenericContexts, 0);
            TArithmeticDecoder AD(R.Data(), R.Size());
            size_t Pos = R.Pos();
            if (!MMR) AD.Start(Pos);
            for (int J = BPP - 1; J >= 0; --J) {
                std::fill(Plane.Data.begin(), Plane.Data.end(), uint8_t(0));
                if (MMR) {
                    if (Pos >= R.Size()) break;
                    Pos += DecodeMMR(Plane, R.Data() + Pos, R.Size() - Pos);
                } else {
                    DecodeGeneric(Plane, P, AD, Stats);
                    if (AD.PastEnd() > PastEndLimit) break;
                }
                for (int64_t M = 0; M < GH; ++M)
                    for (int64_t N = 0; N < GW; ++N) {
                        uint32_t& V = Values[size_t(M * GW + N)];
                        V = (V << 1) | (uint32_t(Plane.Get(N, M)) ^ (V & 1));
                    }
            }
        }
        for (int64_t M = 0; M < GH; ++M)
            for (int64_t N = 0; N < GW; ++N) {
                if (EnableSkip && Skip.Get(N, M)) continue;
                const uint32_t V = Values[size_t(M * GW + N)];
                if (V >= Patterns.size()) continue;
                B->Combine(Budget, *Patterns[V], CellX(M, N), CellY(M, N), CombOp);
            }
        Compose(S, std::move(B), I, Immediate, false);
    }

    // The user tables of the referred-to code-table segments, in order.
    std::vector<const std::vector<TLine>*> UserTables(const TSegment& S) {
        std::vector<const std::vector<TLine>*> T;
        for (uint32_t N : S.Refs)
            if (TSegment* C = Find(N); C && C->Type == 53 && C->HasTable) T.push_back(&C->Table);
        return T;
    }

    struct TTextParams {
        bool Huffman = false, Refine = false;
        int LogStrips = 0, RefCorner = 0, CombOp = 0, DefPixel = 0;
        bool Transposed = false;
        int32_t DSOffset = 0;
        TRefineParams RP;
        const THuffmanTable *FS = nullptr, *DS = nullptr, *DT = nullptr, *RDW = nullptr, *RDH = nullptr,
                            *RDX = nullptr, *RDY = nullptr, *RSize = nullptr;
        const THuffmanTable* SymbolIDs = nullptr;
        int CodeLen = 0;
        uint32_t NumInstances = 0;
    };

    // Text region decoding into B over the symbols; stops (keeping the
    // instances placed) when the data run out.
    void DecodeText(TBitmap& B, const TTextParams& P, const std::vector<std::shared_ptr<TBitmap>>& Symbols,
                    TReader& R, TArithmeticDecoder* AD, TIntStats* IS, std::vector<uint8_t>* RStats) {
        B.Clear(P.DefPixel);
        const int64_t Strips = int64_t(1) << P.LogStrips;
        auto Exhausted = [&]() { return AD ? AD->PastEnd() > PastEndLimit : R.Exhausted(); };
        auto DecodeHuff = [&](const THuffmanTable* T, int64_t& V) { return T && T->Decode(R, V); };
        auto DecodeArith = [&](std::vector<uint8_t>& Stats, int64_t& V) {
            int32_t X;
            if (!AD->DecodeInt(Stats, X)) return false;
            V = X;
            return true;
        };
        int64_t V = 0;
        if (!(AD ? DecodeArith(IS->IADT, V) : DecodeHuff(P.DT, V))) return;
        int64_t StripT = -V * Strips, FirstS = 0;
        uint32_t Instances = 0;
        while (Instances < P.NumInstances) {
            if (Exhausted()) return;
            if (!(AD ? DecodeArith(IS->IADT, V) : DecodeHuff(P.DT, V))) return;
            StripT += V * Strips;
            bool First = true;
            int64_t CurS = 0;
            for (;;) {
                if (Exhausted()) return;
                if (First) {
                    if (!(AD ? DecodeArith(IS->IAFS, V) : DecodeHuff(P.FS, V))) return;
                    FirstS += V;
                    CurS = FirstS;
                    First = false;
                } else {
                    if (Instances >= P.NumInstances) break;
                    if (!(AD ? DecodeArith(IS->IADS, V) : DecodeHuff(P.DS, V))) break;
                    CurS += V + P.DSOffset;
                }
                int64_t CurT = 0;
                if (Strips != 1) {
                    if (AD) {
                        if (!DecodeArith(IS->IAIT, CurT)) CurT = 0;
                    } else {
                        CurT = R.Bits(P.LogStrips);
                    }
                }
                const int64_t T = StripT + CurT;
                uint64_t ID;
                if (AD) {
                    ID = AD->DecodeIAID(IS->IAID, IS->CodeLen);
                } else if (P.SymbolIDs) {
                    int64_t X = -1;
                    if (!P.SymbolIDs->Decode(R, X)) X = -1;
                    ID = uint64_t(X);
                } else {
                    ID = R.Bits(P.CodeLen);
                }
                ++Instances;
                if (ID >= Symbols.size() || !Symbols[size_t(ID)]) continue;
                std::shared_ptr<TBitmap> IB = Symbols[size_t(ID)];
                int RI = 0;
                if (P.Refine) {
                    if (AD) {
                        int64_t X;
                        RI = DecodeArith(IS->IARI, X) ? int(X) : 0;
                    } else {
                        RI = R.Bit();
                    }
                }
                if (RI) {
                    int64_t RDW = 0, RDH = 0, RDX = 0, RDY = 0;
                    if (AD) {
                        DecodeArith(IS->IARDW, RDW);
                        DecodeArith(IS->IARDH, RDH);
                        DecodeArith(IS->IARDX, RDX);
                        DecodeArith(IS->IARDY, RDY);
                    } else {
                        DecodeHuff(P.RDW, RDW);
                        DecodeHuff(P.RDH, RDH);
                        DecodeHuff(P.RDX, RDX);
                        DecodeHuff(P.RDY, RDY);
                    }
                    const int64_t NW = IB->W + RDW, NH = IB->H + RDH;
                    if (NW < 0 || NH < 0) return;
                    auto Refined = std::make_shared<TBitmap>(Budget, NW, NH);
                    const int64_t DX = (RDW >> 1) + RDX, DY = (RDH >> 1) + RDY;
                    if (AD) {
                        DecodeRefinement(*Refined, P.RP, *IB, DX, DY, *AD, *RStats);
                    } else {
                        int64_t Size = 0;
                        DecodeHuff(P.RSize, Size);
                        R.Align();
                        const size_t Pos = R.Pos();
                        TArithmeticDecoder RD(R.Data(), R.Size());
                        RD.Start(Pos);
                        DecodeRefinement(*Refined, P.RP, *IB, DX, DY, RD, *RStats);
                        R.SetPos(Pos + size_t(std::max<int64_t>(Size, 0)));
                    }
                    IB = std::move(Refined);
                }
                const int64_t W = IB->W, H = IB->H;
                if (!P.Transposed && P.RefCorner > 1) CurS += W - 1;
                else if (P.Transposed && !(P.RefCorner & 1)) CurS += H - 1;
                const int64_t S = CurS;
                // Corners: 0 bottom left, 1 top left, 2 bottom right, 3 top right.
                const bool Right = P.RefCorner >= 2, Top = P.RefCorner & 1;
                const int64_t X = Right ? (P.Transposed ? T : S) - W + 1 : (P.Transposed ? T : S);
                const int64_t Y = Top ? (P.Transposed ? S : T) : (P.Transposed ? S : T) - H + 1;
                B.Combine(Budget, *IB, X, Y, P.CombOp);
                if (!P.Transposed && P.RefCorner < 2) CurS += W - 1;
                else if (P.Transposed && (P.RefCorner & 1)) CurS += H - 1;
            }
        }
    }

    void SymbolDictionary(TSegment& S, TReader& R) {
        const uint16_t Flags = R.U16();
        const bool Huff = Flags & 1;
        const bool RefAgg = (Flags >> 1) & 1;
        const int SelDH = (Flags >> 2) & 3, SelDW = (Flags >> 4) & 3, SelBM = (Flags >> 6) & 1,
                  SelAgg = (Flags >> 7) & 1;
        const bool CCUsed = (Flags >> 8) & 1, CCRetained = (Flags >> 9) & 1;
        const int Template = (Flags >> 10) & 3;
        const int RTemplate = (Flags >> 12) & 1;
        TGenericParams GP;
        GP.Template = Template;
        if (!Huff) {
            const int N = Template == 0 ? 4 : 1;
            for (int K = 0; K < N; ++K) {
                GP.AT[2 * K] = int8_t(R.Byte());
                GP.AT[2 * K + 1] = int8_t(R.Byte());
            }
        }
        TRefineParams RP;
        RP.Template = RTemplate;
        if (RefAgg && RTemplate == 0)
            for (int K = 0; K < 4; ++K) RP.AT[K] = int8_t(R.Byte());
        const uint32_t NumEx = R.U32(), NumNew = R.U32();
        if (R.Overrun()) return;

        std::vector<std::shared_ptr<TBitmap>> Symbols;
        TSegment* LastDict = nullptr;
        for (uint32_t N : S.Refs) {
            TSegment* D = Find(N);
            if (!D || D->Type != 0) continue;
            Symbols.insert(Symbols.end(), D->Symbols.begin(), D->Symbols.end());
            LastDict = D;
        }
        const size_t NumIn = Symbols.size();
        // New symbols are at least a bit of data each; more than the data
        // can hold is a hostile count.
        if (uint64_t(NumNew) > uint64_t(R.Size()) * 8 + 64) return;
        const int CodeLen = CeilLog2(uint64_t(NumIn) + NumNew);
        if (CodeLen > 24) return;

        const auto Users = UserTables(S);
        size_t NextUser = 0;
        auto User = [&](std::unique_ptr<THuffmanTable>& Own) -> const THuffmanTable* {
            if (NextUser >= Users.size()) return nullptr;
            Own = std::make_unique<THuffmanTable>(*Users[NextUser++]);
            return Own.get();
        };
        std::unique_ptr<THuffmanTable> U1, U2, U3, U4;
        const THuffmanTable* TDH = SelDH == 0 ? &StandardTable(4) : SelDH == 1 ? &StandardTable(5) : User(U1);
        const THuffmanTable* TDW = SelDW == 0 ? &StandardTable(2) : SelDW == 1 ? &StandardTable(3) : User(U2);
        const THuffmanTable* TBM = SelBM == 0 ? &StandardTable(1) : User(U3);
        const THuffmanTable* TAgg = SelAgg == 0 ? &StandardTable(1) : User(U4);

        std::vector<uint8_t> GStats(GenericContexts, 0), RStats(RefinementContexts, 0);
        if (CCUsed && LastDict && LastDict->HasStats) {
            GStats = LastDict->GenericStats;
            RStats = LastDict->RefinementStats;
        }
        TIntStats IS(CodeLen);
        TArithmeticDecoder AD(R.Data(), R.Size());
        if (!Huff) AD.Start(R.Pos());
        auto Exhausted = [&]() { return Huff ? R.Exhausted() : AD.PastEnd() > PastEndLimit; };
        auto DecodeValue = [&](const THuffmanTable* T, std::vector<uint8_t>& Stats, int64_t& V) {
            if (Huff) return T && T->Decode(R, V);
            int32_t X;
            if (!AD.DecodeInt(Stats, X)) return false;
            V = X;
            return true;
        };

        std::vector<int64_t> NewWidths;
        int64_t HCHeight = 0;
        uint32_t Decoded = 0;
        int EmptyClasses = 0;
        bool Stopped = false;
        while (Decoded < NumNew && !Stopped) {
            int64_t DH;
            if (!DecodeValue(TDH, IS.IADH, DH) || Exhausted()) break;
            HCHeight += DH;
            if (HCHeight < 0 || HCHeight > (int64_t(1) << 24)) break;
            int64_t SymWidth = 0, TotWidth = 0;
            const uint32_t First = Decoded;
            for (;;) {
                int64_t DW;
                if (!DecodeValue(TDW, IS.IADW, DW)) break;
                if (Decoded >= NumNew || Exhausted()) {
                    Stopped = true;
                    break;
                }
                SymWidth += DW;
                if (SymWidth < 0 || SymWidth > (int64_t(1) << 24)) {
                    Stopped = true;
                    break;
                }
                TotWidth += SymWidth;
                if (!Huff || RefAgg) {
                    std::shared_ptr<TBitmap> Sym;
                    if (!RefAgg) {
                        Sym = std::make_shared<TBitmap>(Budget, SymWidth, HCHeight);
                        DecodeGeneric(*Sym, GP, AD, GStats);
                    } else {
                        int64_t NInst = 0;
                        if (!DecodeValue(TAgg, IS.IAAI, NInst)) NInst = 0;
                        if (NInst == 1) {
                            uint64_t ID;
                            int64_t RDX = 0, RDY = 0;
                            Sym = std::make_shared<TBitmap>(Budget, SymWidth, HCHeight);
                            if (Huff) {
                                ID = R.Bits(CodeLen);
                                StandardTable(15).Decode(R, RDX);
                                StandardTable(15).Decode(R, RDY);
                                int64_t Size = 0;
                                StandardTable(1).Decode(R, Size);
                                R.Align();
                                const size_t Pos = R.Pos();
                                const size_t End = std::min(R.Size(), Pos + size_t(std::max<int64_t>(Size, 0)));
                                // The coded refinement may be read past its size, as
                                // the other decoders do: into the following bytes.
                                TArithmeticDecoder RD(R.Data(), R.Size());
                                RD.Start(Pos);
                                if (ID < Symbols.size() && Symbols[size_t(ID)])
                                    DecodeRefinement(*Sym, RP, *Symbols[size_t(ID)], RDX, RDY, RD, RStats);
                                R.SetPos(End);
                            } else {
                                ID = AD.DecodeIAID(IS.IAID, CodeLen);
                                int32_t X;
                                if (AD.DecodeInt(IS.IARDX, X)) RDX = X;
                                if (AD.DecodeInt(IS.IARDY, X)) RDY = X;
                                if (ID < Symbols.size() && Symbols[size_t(ID)])
                                    DecodeRefinement(*Sym, RP, *Symbols[size_t(ID)], RDX, RDY, AD, RStats);
                            }
                        } else if (NInst > 1) {
                            Sym = std::make_shared<TBitmap>(Budget, SymWidth, HCHeight);
                            TTextParams TP;
                            TP.Huffman = Huff;
                            TP.Refine = true;
                            TP.RefCorner = 1;
                            TP.RP = RP;
                            TP.CodeLen = CodeLen;
                            TP.NumInstances = uint32_t(std::min<int64_t>(NInst, 0xFFFFFFFF));
                            TP.FS = &StandardTable(6);
                            TP.DS = &StandardTable(8);
                            TP.DT = &StandardTable(11);
                            TP.RDW = TP.RDH = TP.RDX = TP.RDY = &StandardTable(15);
                            TP.RSize = &StandardTable(1);
                            DecodeText(*Sym, TP, Symbols, R, Huff ? nullptr : &AD, &IS, &RStats);
                        } else {
                            Sym = std::make_shared<TBitmap>(Budget, SymWidth, HCHeight);
                        }
                    }
                    Symbols.push_back(std::move(Sym));
                } else {
                    NewWidths.push_back(SymWidth);
                    Symbols.push_back(nullptr);
                }
                ++Decoded;
            }
            if (Decoded == First && ++EmptyClasses > 256) break;
            if (Huff && !RefAgg && Decoded > First) {
                int64_t Size = 0;
                if (!TBM || !TBM->Decode(R, Size)) break;
                R.Align();
                TBitmap Collective(Budget, TotWidth, HCHeight);
                const size_t Pos = R.Pos();
                if (Size == 0) {
                    for (int64_t Y = 0; Y < HCHeight; ++Y)
                        for (int64_t X = 0; X < Collective.Stride; ++X) Collective.Row(int32_t(Y))[X] = R.Byte();
                    if (TotWidth & 7)
                        for (int64_t Y = 0; Y < HCHeight; ++Y)
                            Collective.Row(int32_t(Y))[Collective.Stride - 1] &= uint8_t(0xFF00 >> (TotWidth & 7));
                } else {
                    const size_t End = std::min(R.Size(), Pos + size_t(Size));
                    DecodeMMR(Collective, R.Data() + Pos, End - Pos);
                    R.SetPos(End);
                }
                int64_t X = 0;
                for (uint32_t K = First; K < Decoded; ++K) {
                    const int64_t W = NewWidths[size_t(K - First)];
                    Symbols[NumIn + K] = std::make_shared<TBitmap>(Collective.Slice(Budget, X, 0, W, HCHeight));
                    X += W;
                }
                NewWidths.clear();
            }
        }
        // Exported symbols: runs alternate between not exported and
        // exported, over the input and the new symbols.
        const size_t Total = Symbols.size();
        bool Export = false;
        size_t Index = 0;
        while (Index < Total) {
            int64_t Run;
            if (!DecodeValue(&StandardTable(1), IS.IAEX, Run) || Run < 0 || Exhausted()) break;
            const size_t End = Index + size_t(std::min<int64_t>(Run, int64_t(Total - Index)));
            if (Export)
                for (size_t K = Index; K < End; ++K)
                    if (Symbols[K] && S.Symbols.size() < NumEx) S.Symbols.push_back(Symbols[K]);
            Index = End;
            Export = !Export;
        }
        if (!Huff && CCRetained) {
            S.GenericStats = std::move(GStats);
            S.RefinementStats = std::move(RStats);
            S.HasStats = true;
        }
    }

    void TextRegion(TSegment& S, TReader& R, bool Immediate) {
        const TRegionInfo I = ReadRegionInfo(R);
        const uint16_t Flags = R.U16();
        TTextParams P;
        P.Huffman = Flags & 1;
        P.Refine = (Flags >> 1) & 1;
        P.LogStrips = (Flags >> 2) & 3;
        P.RefCorner = (Flags >> 4) & 3;
        P.Transposed = (Flags >> 6) & 1;
        P.CombOp = (Flags >> 7) & 3;
        P.DefPixel = (Flags >> 9) & 1;
        P.DSOffset = (Flags >> 10) & 31;
        if (P.DSOffset > 15) P.DSOffset -= 32;
        P.RP.Template = (Flags >> 15) & 1;
        uint16_t HFlags = 0;
        if (P.Huffman) HFlags = R.U16();
        if (P.Refine && P.RP.Template == 0)
            for (int K = 0; K < 4; ++K) P.RP.AT[K] = int8_t(R.Byte());
        P.NumInstances = R.U32();
        if (R.Overrun()) return;

        std::vector<std::shared_ptr<TBitmap>> Symbols;
        for (uint32_t N : S.Refs) {
            TSegment* D = Find(N);
            if (D && D->Type == 0) Symbols.insert(Symbols.end(), D->Symbols.begin(), D->Symbols.end());
        }
        P.CodeLen = CeilLog2(Symbols.size());
        if (P.CodeLen > 24) return;
        // Every instance takes at least a bit.
        if (uint64_t(P.NumInstances) > uint64_t(R.Size()) * 8 + 64) P.NumInstances = uint32_t(R.Size() * 8 + 64);

        const auto Users = UserTables(S);
        size_t NextUser = 0;
        std::vector<std::unique_ptr<THuffmanTable>> Own;
        auto Pick = [&](int Sel, std::initializer_list<int> Std) -> const THuffmanTable* {
            if (Sel < int(Std.size())) return &StandardTable(*(Std.begin() + Sel));
            if (NextUser >= Users.size()) return nullptr;
            Own.push_back(std::make_unique<THuffmanTable>(*Users[NextUser++]));
            return Own.back().get();
        };
        std::unique_ptr<THuffmanTable> IDTable;
        if (P.Huffman) {
            P.FS = Pick(HFlags & 3, {6, 7});
            P.DS = Pick((HFlags >> 2) & 3, {8, 9, 10});
            P.DT = Pick((HFlags >> 4) & 3, {11, 12, 13});
            P.RDW = Pick((HFlags >> 6) & 3, {14, 15});
            P.RDH = Pick((HFlags >> 8) & 3, {14, 15});
            P.RDX = Pick((HFlags >> 10) & 3, {14, 15});
            P.RDY = Pick((HFlags >> 12) & 3, {14, 15});
            P.RSize = Pick((HFlags >> 14) & 1, {1});
            // The symbol ID table: run-code lengths, then the code lengths.
            std::vector<TLine> Run;
            for (int K = 0; K < 35; ++K) Run.push_back({K, int(R.Bits(4)), 0, 0});
            THuffmanTable RunTable(Run);
            std::vector<TLine> Lens;
            int Prev = 0;
            while (Lens.size() < Symbols.size()) {
                if (R.Exhausted()) return;
                int64_t Code;
                if (!RunTable.Decode(R, Code)) return;
                int Len = 0, Repeat = 1;
                if (Code < 32) {
                    Len = int(Code);
                } else if (Code == 32) {
                    Len = Prev, Repeat = 3 + int(R.Bits(2));
                } else if (Code == 33) {
                    Repeat = 3 + int(R.Bits(3));
                } else {
                    Repeat = 11 + int(R.Bits(7));
                }
                for (int K = 0; K < Repeat && Lens.size() < Symbols.size(); ++K)
                    Lens.push_back({int64_t(Lens.size()), Len, 0, 0});
                Prev = Len;
            }
            R.Align();
            IDTable = std::make_unique<THuffmanTable>(Lens);
            P.SymbolIDs = IDTable.get();
        }
        auto B = std::make_shared<TBitmap>(Budget, int64_t(I.W), int64_t(I.H));
        std::vector<uint8_t> RStats(RefinementContexts, 0);
        if (P.Huffman) {
            DecodeText(*B, P, Symbols, R, nullptr, nullptr, &RStats);
        } else {
            TIntStats IS(P.CodeLen);
            TArithmeticDecoder AD(R.Data(), R.Size());
            AD.Start(R.Pos());
            DecodeText(*B, P, Symbols, R, &AD, &IS, &RStats);
        }
        Compose(S, std::move(B), I, Immediate, false);
    }
};

}  // namespace

bool TVPLJBIG2Decoder::LoadFromByteArray(const TJBIG2ByteArray& ImageData, const TJBIG2ByteArray& GlobalData) {
    return LoadFromBytes(std::string_view(reinterpret_cast<const char*>(ImageData.data()), ImageData.size()),
                         std::string_view(reinterpret_cast<const char*>(GlobalData.data()), GlobalData.size()));
}

bool TVPLJBIG2Decoder::LoadFromByteArray(const TJBIG2ByteArray& ImageData) {
    return LoadFromByteArray(ImageData, {});
}

bool TVPLJBIG2Decoder::LoadFromBytes(std::string_view ImageData, std::string_view GlobalData) {
    FPacked.clear();
    FWidth = FHeight = 0;
    if (ImageData.empty()) return false;
    TStreamDecoder D;
    try {
        // Global segments first; they stay for the data's segments.
        if (!GlobalData.empty()) {
            const auto* G = reinterpret_cast<const uint8_t*>(GlobalData.data());
            // The globals carry no file header.
            if (!(GlobalData.size() >= 8 && std::memcmp(G, "\x97JB2\r\n\x1A\n", 8) == 0))
                D.Decode(G, GlobalData.size());
        }
    } catch (const TStop&) {
    }
    try {
        D.Decode(reinterpret_cast<const uint8_t*>(ImageData.data()), ImageData.size());
    } catch (const TStop&) {
    }
    if (!D.Page || D.Page->W <= 0 || D.Page->H <= 0) return false;
    FWidth = D.Page->W;
    FHeight = D.Page->H;
    FPacked = std::move(D.Page->Data);
    return true;
}

bool TVPLJBIG2Decoder::GetScanline(int32_t Row, TJBIG2ByteArray& Data) const {
    Data.assign(size_t(std::max(FWidth, 0)), 0);
    if (Row < 0 || Row >= FHeight) return false;
    const size_t Stride = size_t(FWidth + 7) / 8;
    const uint8_t* P = FPacked.data() + size_t(Row) * Stride;
    for (int32_t X = 0; X < FWidth; ++X) Data[size_t(X)] = (P[X >> 3] >> (7 - (X & 7))) & 1;
    return true;
}

}  // namespace velmo
