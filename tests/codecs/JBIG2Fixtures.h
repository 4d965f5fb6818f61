// Test-side JBIG2 writer: the MQ arithmetic encoder, integer and symbol-ID
// encoders, a generic-region encoder and segment builders, for fixtures the
// decoder (and the reference decoder) read back.
#pragma once

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace jbig2test {

struct TQe {
    uint16_t Qe;
    uint8_t NMPS, NLPS, Switch;
};

inline const TQe* QeTable() {
    static const TQe T[47] = {
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
    return T;
}

// The MQ encoder of the software conventions; contexts hold state * 2 + MPS.
class TMQEncoder {
public:
    void Encode(uint8_t& Cx, int D) {
        int Index = Cx >> 1, MPS = Cx & 1;
        const TQe& Q = QeTable()[Index];
        if (D == MPS) {
            A -= Q.Qe;
            if ((A & 0x8000) == 0) {
                if (A < Q.Qe) A = Q.Qe;
                else C += Q.Qe;
                Index = Q.NMPS;
                Renorm();
            } else {
                C += Q.Qe;
            }
        } else {
            A -= Q.Qe;
            if (A < Q.Qe) C += Q.Qe;
            else A = Q.Qe;
            if (Q.Switch) MPS = 1 - MPS;
            Index = Q.NLPS;
            Renorm();
        }
        Cx = uint8_t(Index << 1 | MPS);
    }
    // Ends the data with the FF AC marker.
    std::string Finish() {
        const uint32_t Temp = C + A;
        C |= 0xFFFF;
        if (C >= Temp) C -= 0x8000;
        C <<= CT;
        ByteOut();
        C <<= CT;
        ByteOut();
        if (!HaveB || B != 0xFF) Advance(0xFF);
        Out.push_back(char(B));
        Out.push_back(char(0xAC));
        return Out;
    }
    // Integer encoding with 512 contexts; Oob encodes the out-of-band value.
    void EncodeInt(std::vector<uint8_t>& Stats, int64_t Value, bool Oob = false) {
        uint32_t Prev = 1;
        auto Bit = [&](int B) {
            Encode(Stats[Prev & 511], B);
            Prev = Prev < 256 ? (Prev << 1 | uint32_t(B)) : (((Prev << 1 | uint32_t(B)) & 511) | 256);
        };
        const int S = Oob || Value < 0;
        const uint64_t V = Oob ? 0 : uint64_t(Value < 0 ? -Value : Value);
        struct TRange {
            uint64_t Low;
            int Prefix, Bits;
        };
        static const TRange Ranges[6] = {{0, 0, 2}, {4, 1, 4}, {20, 2, 6}, {84, 3, 8}, {340, 4, 12}, {4436, 5, 32}};
        int R = 5;
        for (int I = 0; I < 5; ++I)
            if (V < Ranges[I + 1].Low) {
                R = I;
                break;
            }
        Bit(S);
        for (int I = 0; I < Ranges[R].Prefix; ++I) Bit(1);
        if (R < 5) Bit(0);
        const uint64_t Off = V - Ranges[R].Low;
        for (int I = Ranges[R].Bits - 1; I >= 0; --I) Bit(int((Off >> I) & 1));
    }
    void EncodeIAID(std::vector<uint8_t>& Stats, int CodeLen, uint32_t ID) {
        uint32_t Prev = 1;
        for (int I = CodeLen - 1; I >= 0; --I) {
            const int B = int((ID >> I) & 1);
            Encode(Stats[Prev], B);
            Prev = Prev << 1 | uint32_t(B);
        }
    }

private:
    void Renorm() {
        do {
            A <<= 1;
            C <<= 1;
            if (--CT == 0) ByteOut();
        } while ((A & 0x8000) == 0);
    }
    void Advance(uint8_t Next) {
        if (HaveB) Out.push_back(char(B));
        B = Next;
        HaveB = true;
    }
    void ByteOut() {
        if (HaveB && B == 0xFF) {
            Advance(uint8_t(C >> 20));
            C &= 0xFFFFF;
            CT = 7;
        } else if (C < 0x8000000) {
            Advance(uint8_t(C >> 19));
            C &= 0x7FFFF;
            CT = 8;
        } else {
            if (HaveB) ++B;
            if (HaveB && B == 0xFF) {
                C &= 0x7FFFFFF;
                Advance(uint8_t(C >> 20));
                C &= 0xFFFFF;
                CT = 7;
            } else {
                Advance(uint8_t(C >> 19));
                C &= 0x7FFFF;
                CT = 8;
            }
        }
    }
    std::string Out;
    uint32_t A = 0x8000, C = 0;
    int CT = 12;
    uint8_t B = 0;
    bool HaveB = false;
};

// A bilevel picture: one byte per pixel, 1 = black.
struct TPicture {
    int W = 0, H = 0;
    std::vector<uint8_t> Px;
    TPicture() = default;
    TPicture(int AW, int AH) : W(AW), H(AH), Px(size_t(AW) * size_t(AH), 0) {}
    int Get(int X, int Y) const { return X < 0 || Y < 0 || X >= W || Y >= H ? 0 : Px[size_t(Y) * W + X]; }
    void Set(int X, int Y, int V) { Px[size_t(Y) * W + X] = uint8_t(V); }
};

inline uint32_t GenericContext(const TPicture& P, int T, const int8_t* AT, int X, int Y) {
    auto G = [&](int DX, int DY) { return uint32_t(P.Get(X + DX, Y + DY)); };
    switch (T) {
        case 0:
            return G(-1, 0) | G(-2, 0) << 1 | G(-3, 0) << 2 | G(-4, 0) << 3 | G(AT[0], AT[1]) << 4 |
                   G(2, -1) << 5 | G(1, -1) << 6 | G(0, -1) << 7 | G(-1, -1) << 8 | G(-2, -1) << 9 |
                   G(AT[2], AT[3]) << 10 | G(AT[4], AT[5]) << 11 | G(1, -2) << 12 | G(0, -2) << 13 |
                   G(-1, -2) << 14 | G(AT[6], AT[7]) << 15;
        case 1:
            return G(-1, 0) | G(-2, 0) << 1 | G(-3, 0) << 2 | G(AT[0], AT[1]) << 3 | G(2, -1) << 4 | G(1, -1) << 5 |
                   G(0, -1) << 6 | G(-1, -1) << 7 | G(-2, -1) << 8 | G(2, -2) << 9 | G(1, -2) << 10 |
                   G(0, -2) << 11 | G(-1, -2) << 12;
        case 2:
            return G(-1, 0) | G(-2, 0) << 1 | G(AT[0], AT[1]) << 2 | G(1, -1) << 3 | G(0, -1) << 4 |
                   G(-1, -1) << 5 | G(-2, -1) << 6 | G(1, -2) << 7 | G(0, -2) << 8 | G(-1, -2) << 9;
        default:
            return G(-1, 0) | G(-2, 0) << 1 | G(-3, 0) << 2 | G(-4, 0) << 3 | G(AT[0], AT[1]) << 4 |
                   G(1, -1) << 5 | G(0, -1) << 6 | G(-1, -1) << 7 | G(-2, -1) << 8 | G(-3, -1) << 9;
    }
}

// Arithmetic generic-region coding of a picture into the encoder.
inline void EncodeGeneric(TMQEncoder& E, std::vector<uint8_t>& Stats, const TPicture& P, int T, bool TPGDON,
                          const int8_t* AT) {
    static const uint32_t SLTP[4] = {0x9B25, 0x0795, 0x00E5, 0x0195};
    bool LTP = false;
    for (int Y = 0; Y < P.H; ++Y) {
        if (TPGDON) {
            bool Same = true;
            for (int X = 0; X < P.W && Same; ++X) Same = P.Get(X, Y) == P.Get(X, Y - 1);
            E.Encode(Stats[SLTP[T]], Same != LTP);
            LTP = Same;
            if (Same) continue;
        }
        for (int X = 0; X < P.W; ++X) E.Encode(Stats[GenericContext(P, T, AT, X, Y)], P.Get(X, Y));
    }
}

inline void Put32(std::string& S, uint32_t V) {
    for (int I = 3; I >= 0; --I) S.push_back(char(V >> (8 * I)));
}

// A segment: header (page 1, short forms) and data; Length ~0u writes the
// unknown length.
inline std::string Segment(uint32_t Number, int Type, const std::vector<uint32_t>& Refs, const std::string& Data,
                           bool UnknownLength = false) {
    std::string S;
    Put32(S, Number);
    S.push_back(char(Type));
    S.push_back(char(Refs.size() << 5));
    for (uint32_t R : Refs) {
        if (Number <= 256) S.push_back(char(R));
        else if (Number <= 65536) S.push_back(char(R >> 8)), S.push_back(char(R));
        else Put32(S, R);
    }
    S.push_back(char(1));
    Put32(S, UnknownLength ? 0xFFFFFFFFu : uint32_t(Data.size()));
    return S + Data;
}

inline std::string PageInfo(uint32_t W, uint32_t H, int DefaultPixel = 0, uint16_t Striping = 0) {
    std::string D;
    Put32(D, W);
    Put32(D, H);
    Put32(D, 0);
    Put32(D, 0);
    D.push_back(char(DefaultPixel << 2));
    D.push_back(char(Striping >> 8));
    D.push_back(char(Striping));
    return D;
}

inline std::string RegionInfo(uint32_t W, uint32_t H, int32_t X, int32_t Y, int Op = 0) {
    std::string D;
    Put32(D, W);
    Put32(D, H);
    Put32(D, uint32_t(X));
    Put32(D, uint32_t(Y));
    D.push_back(char(Op));
    return D;
}

// Data of an arithmetic generic region segment for the picture.
inline std::string GenericRegionData(const TPicture& P, int32_t X, int32_t Y, int T, bool TPGDON,
                                     const int8_t* AT, int Op = 0, uint32_t HeightField = 0) {
    std::string D = RegionInfo(uint32_t(P.W), HeightField ? HeightField : uint32_t(P.H), X, Y, Op);
    D.push_back(char(T << 1 | (TPGDON ? 8 : 0)));
    for (int I = 0; I < (T == 0 ? 8 : 2); ++I) D.push_back(char(AT[I]));
    TMQEncoder E;
    std::vector<uint8_t> Stats(65536, 0);
    EncodeGeneric(E, Stats, P, T, TPGDON, AT);
    return D + E.Finish();
}

// Data of an MMR generic region segment around a Group 4 strip.
inline std::string MMRRegionData(int W, int H, int32_t X, int32_t Y, const std::string& Strip) {
    std::string D = RegionInfo(uint32_t(W), uint32_t(H), X, Y);
    D.push_back(char(1));
    return D + Strip;
}

inline TPicture RandomPicture(int W, int H, uint32_t Seed, int Density = 50) {
    TPicture P(W, H);
    uint32_t S = Seed;
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X) {
            S = S * 1103515245u + 12345u;
            // Blobs rather than noise, so that contexts matter.
            const int V = ((X / 5 + Y / 3) % 4 == 0) ^ (int((S >> 16) % 100) < Density / 10);
            P.Set(X, Y, V);
        }
    return P;
}


// ---------------------------------------------------------------------------
// Symbol dictionaries, text regions, patterns and halftones (arithmetic).

// Integer contexts of one coding pass (512 each) and the symbol-ID contexts.
struct TIntContexts {
    std::vector<uint8_t> IADH, IADW, IAEX, IADT, IAFS, IADS, IAIT, IAID;
    explicit TIntContexts(int CodeLen)
        : IADH(512), IADW(512), IAEX(512), IADT(512), IAFS(512), IADS(512), IAIT(512),
          IAID(size_t(1) << (CodeLen + 1)) {}
};

inline int CeilLog2(uint64_t N) {
    int L = 0;
    while ((uint64_t(1) << L) < N) ++L;
    return L;
}

inline void Put16(std::string& S, uint16_t V) {
    S.push_back(char(V >> 8));
    S.push_back(char(V));
}

// Data of an arithmetic symbol dictionary of new symbols only, all
// exported; symbols of one height form a height class, in the given order
// (heights must not decrease). Generic template T with its nominal pixels.
inline std::string SymbolDictionaryData(const std::vector<TPicture>& Symbols, int T = 0) {
    static const int8_t AT[8] = {3, -1, -3, -1, 2, -2, -2, -2};
    static const int8_t AT1[2] = {3, -1};
    static const int8_t AT23[2] = {2, -1};
    const int8_t* A = T == 0 ? AT : T == 1 ? AT1 : AT23;
    std::string D;
    Put16(D, uint16_t(T << 10));
    for (int I = 0; I < (T == 0 ? 8 : 2); ++I) D.push_back(char(A[I]));
    Put32(D, uint32_t(Symbols.size()));
    Put32(D, uint32_t(Symbols.size()));
    TMQEncoder E;
    TIntContexts C(0);
    std::vector<uint8_t> Stats(65536, 0);
    int Height = 0;
    for (size_t I = 0; I < Symbols.size();) {
        E.EncodeInt(C.IADH, Symbols[I].H - Height);
        Height = Symbols[I].H;
        int Width = 0;
        for (; I < Symbols.size() && Symbols[I].H == Height; ++I) {
            E.EncodeInt(C.IADW, Symbols[I].W - Width);
            Width = Symbols[I].W;
            EncodeGeneric(E, Stats, Symbols[I], T, false, A);
        }
        E.EncodeInt(C.IADW, 0, true);
    }
    // Export runs: none not exported, then all.
    E.EncodeInt(C.IAEX, 0);
    E.EncodeInt(C.IAEX, int64_t(Symbols.size()));
    return D + E.Finish();
}

// One symbol instance: its symbol and the top-left corner of its bitmap.
struct TInstance {
    int Symbol;
    int X, Y;
};

// Where an instance sits along its strip (S) and across it (T), for a
// reference corner (0 bottom left, 1 top left, 2 bottom right, 3 top
// right) and transposition.
inline void InstanceST(const TInstance& I, const TPicture& P, int Corner, bool Transposed, int64_t& S,
                       int64_t& T, int64_t& Along) {
    const bool Top = Corner & 1, Right = Corner >= 2;
    if (!Transposed) {
        S = I.X;
        T = Top ? I.Y : I.Y + P.H - 1;
        Along = P.W;
    } else {
        S = I.Y;
        T = Right ? I.X + P.W - 1 : I.X;
        Along = P.H;
    }
}

// Data of an arithmetic text region of W x H at (0, 0) over the symbols;
// instances are coded in the order given, strips of 2^LogStrips rows.
inline std::string TextRegionData(int W, int H, const std::vector<TPicture>& Symbols,
                                  const std::vector<TInstance>& Instances, int Corner = 1, bool Transposed = false,
                                  int LogStrips = 0, int DSOffset = 0) {
    std::string D = RegionInfo(uint32_t(W), uint32_t(H), 0, 0);
    const uint16_t Flags = uint16_t(LogStrips << 2 | Corner << 4 | (Transposed ? 64 : 0) | (DSOffset & 31) << 10);
    Put16(D, Flags);
    Put32(D, uint32_t(Instances.size()));
    const int CodeLen = CeilLog2(Symbols.size());
    const int64_t Strips = int64_t(1) << LogStrips;
    TMQEncoder E;
    TIntContexts C(CodeLen);
    E.EncodeInt(C.IADT, 0);
    int64_t StripT = 0, FirstS = 0, CurS = 0;
    for (size_t I = 0; I < Instances.size();) {
        int64_t S, T, Along;
        InstanceST(Instances[I], Symbols[size_t(Instances[I].Symbol)], Corner, Transposed, S, T, Along);
        const int64_t Strip = (T >= 0 ? T / Strips : -((-T + Strips - 1) / Strips)) * Strips;
        E.EncodeInt(C.IADT, (Strip - StripT) / Strips);
        StripT = Strip;
        bool First = true;
        for (; I < Instances.size(); ++I) {
            InstanceST(Instances[I], Symbols[size_t(Instances[I].Symbol)], Corner, Transposed, S, T, Along);
            if (T < StripT || T >= StripT + Strips) break;
            if (First) {
                E.EncodeInt(C.IAFS, S - FirstS);
                FirstS = S;
                First = false;
            } else {
                E.EncodeInt(C.IADS, S - CurS - DSOffset);
            }
            if (Strips > 1) E.EncodeInt(C.IAIT, T - StripT);
            E.EncodeIAID(C.IAID, CodeLen, uint32_t(Instances[I].Symbol));
            CurS = S + Along - 1;
        }
        E.EncodeInt(C.IADS, 0, true);
    }
    return D + E.Finish();
}

// A pattern dictionary of equal patterns (arithmetic, template T).
inline std::string PatternDictionaryData(const std::vector<TPicture>& Patterns, int T = 0) {
    const int PW = Patterns[0].W, PH = Patterns[0].H;
    std::string D;
    D.push_back(char(T << 1));
    D.push_back(char(PW));
    D.push_back(char(PH));
    Put32(D, uint32_t(Patterns.size() - 1));
    TPicture Collective(PW * int(Patterns.size()), PH);
    for (size_t K = 0; K < Patterns.size(); ++K)
        for (int Y = 0; Y < PH; ++Y)
            for (int X = 0; X < PW; ++X) Collective.Set(int(K) * PW + X, Y, Patterns[K].Get(X, Y));
    const int8_t AT[8] = {int8_t(-PW), 0, -3, -1, 2, -2, -2, -2};
    TMQEncoder E;
    std::vector<uint8_t> Stats(65536, 0);
    EncodeGeneric(E, Stats, Collective, T, false, AT);
    return D + E.Finish();
}

// A halftone region of W x H at (0, 0): a grid of Values (GW x GH, row
// by row) at (GX, GY) in 1/256 pixels with the vector (RX, RY), its
// Gray-coded bit planes coded with template T.
inline std::string HalftoneRegionData(int W, int H, int GW, int GH, const std::vector<uint32_t>& Values,
                                      int Patterns, int32_t GX, int32_t GY, uint16_t RX, uint16_t RY, int T = 0,
                                      int Op = 0, int DefPixel = 0) {
    std::string D = RegionInfo(uint32_t(W), uint32_t(H), 0, 0);
    D.push_back(char(T << 1 | Op << 4 | DefPixel << 7));
    Put32(D, uint32_t(GW));
    Put32(D, uint32_t(GH));
    Put32(D, uint32_t(GX));
    Put32(D, uint32_t(GY));
    Put16(D, RX);
    Put16(D, RY);
    const int BPP = CeilLog2(uint64_t(Patterns));
    const int8_t AT[8] = {int8_t(T <= 1 ? 3 : 2), -1, -3, -1, 2, -2, -2, -2};
    TMQEncoder E;
    std::vector<uint8_t> Stats(65536, 0);
    for (int J = BPP - 1; J >= 0; --J) {
        TPicture Plane(GW, GH);
        for (int M = 0; M < GH; ++M)
            for (int N = 0; N < GW; ++N) {
                const uint32_t V = Values[size_t(M * GW + N)];
                const uint32_t Bit = (V >> J) & 1, Above = J + 1 < BPP ? (V >> (J + 1)) & 1 : 0;
                Plane.Set(N, M, int(Bit ^ Above));
            }
        EncodeGeneric(E, Stats, Plane, T, false, AT);
    }
    return D + E.Finish();
}

// ---------------------------------------------------------------------------
// Huffman coding

// Bits, most significant first.
class TBitWriter {
public:
    void Put(uint64_t V, int N) {
        for (int I = N - 1; I >= 0; --I) {
            if (FBit == 0) FOut.push_back('\0');
            if ((V >> I) & 1) FOut.back() = char(uint8_t(FOut.back()) | (0x80 >> FBit));
            FBit = (FBit + 1) & 7;
        }
    }
    void Align() { FBit = 0; }
    const std::string& Bytes() const { return FOut; }

private:
    std::string FOut;
    int FBit = 0;
};

// A table line: values Low .. Low + 2^RangeLen - 1 (Kind 0), Low and below
// (Kind 1, the lower range), or the out-of-band value (Kind 2).
struct THuffLine {
    int64_t Low;
    int PrefLen, RangeLen, Kind;
};

class THuffEncoder {
public:
    explicit THuffEncoder(std::vector<THuffLine> Lines) : FLines(std::move(Lines)), FCodes(FLines.size(), 0) {
        int Max = 0;
        for (const THuffLine& L : FLines) Max = std::max(Max, L.PrefLen);
        std::vector<uint32_t> Count(size_t(Max) + 1, 0);
        for (const THuffLine& L : FLines) ++Count[size_t(L.PrefLen)];
        Count[0] = 0;
        uint32_t First = 0;
        for (int Len = 1; Len <= Max; ++Len) {
            First = (First + Count[size_t(Len) - 1]) << 1;
            uint32_t Code = First;
            for (size_t I = 0; I < FLines.size(); ++I)
                if (FLines[I].PrefLen == Len) FCodes[I] = Code++;
        }
    }
    void Encode(TBitWriter& W, int64_t V) const {
        for (size_t I = 0; I < FLines.size(); ++I) {
            const THuffLine& L = FLines[I];
            if (L.Kind == 0 && V >= L.Low && (L.RangeLen >= 32 || V < L.Low + (int64_t(1) << L.RangeLen))) {
                W.Put(FCodes[I], L.PrefLen);
                W.Put(uint64_t(V - L.Low), L.RangeLen);
                return;
            }
        }
        for (size_t I = 0; I < FLines.size(); ++I)
            if (FLines[I].Kind == 1 && V <= FLines[I].Low) {
                W.Put(FCodes[I], FLines[I].PrefLen);
                W.Put(uint64_t(FLines[I].Low - V), 32);
                return;
            }
        throw std::runtime_error("value outside the table");
    }
    void EncodeOOB(TBitWriter& W) const {
        for (size_t I = 0; I < FLines.size(); ++I)
            if (FLines[I].Kind == 2) return W.Put(FCodes[I], FLines[I].PrefLen);
        throw std::runtime_error("table without out-of-band value");
    }

private:
    std::vector<THuffLine> FLines;
    std::vector<uint32_t> FCodes;
};

// The standard tables the fixtures use.
inline const THuffEncoder& TableB1() {
    static const THuffEncoder T({{0, 1, 4, 0}, {16, 2, 8, 0}, {272, 3, 16, 0}, {65808, 3, 32, 0}});
    return T;
}
inline const THuffEncoder& TableB2() {
    static const THuffEncoder T(
        {{0, 1, 0, 0}, {1, 2, 0, 0}, {2, 3, 0, 0}, {3, 4, 3, 0}, {11, 5, 6, 0}, {75, 6, 32, 0}, {0, 6, 0, 2}});
    return T;
}
inline const THuffEncoder& TableB4() {
    static const THuffEncoder T(
        {{1, 1, 0, 0}, {2, 2, 0, 0}, {3, 3, 0, 0}, {4, 4, 3, 0}, {12, 5, 6, 0}, {76, 5, 32, 0}});
    return T;
}
inline const THuffEncoder& TableB6() {
    static const THuffEncoder T({{-2048, 5, 10, 0}, {-1024, 4, 9, 0}, {-512, 4, 8, 0}, {-256, 4, 7, 0},
                                 {-128, 5, 6, 0},   {-64, 5, 5, 0},   {-32, 4, 5, 0},  {0, 2, 7, 0},
                                 {128, 3, 7, 0},    {256, 3, 8, 0},   {512, 4, 9, 0},  {1024, 4, 10, 0},
                                 {-2049, 6, 32, 1}, {2048, 6, 32, 0}});
    return T;
}
inline const THuffEncoder& TableB8() {
    static const THuffEncoder T({{-15, 8, 3, 0},  {-7, 9, 1, 0},    {-5, 8, 1, 0},   {-3, 9, 0, 0},  {-2, 7, 0, 0},
                                 {-1, 4, 0, 0},   {0, 2, 1, 0},     {2, 5, 0, 0},    {3, 6, 0, 0},   {4, 3, 4, 0},
                                 {20, 6, 1, 0},   {22, 4, 4, 0},    {38, 4, 5, 0},   {70, 5, 6, 0},  {134, 5, 7, 0},
                                 {262, 6, 7, 0},  {390, 7, 8, 0},   {646, 6, 10, 0}, {-16, 9, 32, 1}, {1670, 9, 32, 0},
                                 {0, 2, 0, 2}});
    return T;
}
inline const THuffEncoder& TableB11() {
    static const THuffEncoder T({{1, 1, 0, 0},
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
                                 {141, 7, 32, 0}});
    return T;
}

// Data of a Huffman symbol dictionary (standard tables B.4, B.2, B.1) of
// new symbols only, all exported; each height class's symbols follow as an
// uncompressed collective bitmap.
inline std::string HuffmanSymbolDictionaryData(const std::vector<TPicture>& Symbols) {
    std::string D;
    Put16(D, 1);
    Put32(D, uint32_t(Symbols.size()));
    Put32(D, uint32_t(Symbols.size()));
    TBitWriter W;
    int Height = 0;
    for (size_t I = 0; I < Symbols.size();) {
        TableB4().Encode(W, Symbols[I].H - Height);
        Height = Symbols[I].H;
        int Width = 0, Total = 0;
        const size_t First = I;
        for (; I < Symbols.size() && Symbols[I].H == Height; ++I) {
            TableB2().Encode(W, Symbols[I].W - Width);
            Width = Symbols[I].W;
            Total += Width;
        }
        TableB2().EncodeOOB(W);
        TableB1().Encode(W, 0);  // uncompressed
        W.Align();
        for (int Y = 0; Y < Height; ++Y) {
            int X0 = 0;
            std::vector<int> Row(size_t((Total + 7) / 8) * 8, 0);
            for (size_t K = First; K < I; ++K) {
                for (int X = 0; X < Symbols[K].W; ++X) Row[size_t(X0 + X)] = Symbols[K].Get(X, Y);
                X0 += Symbols[K].W;
            }
            for (int B : Row) W.Put(uint64_t(B), 1);
        }
    }
    TableB1().Encode(W, 0);
    TableB1().Encode(W, int64_t(Symbols.size()));
    return D + W.Bytes();
}

// Data of a Huffman text region of W x H at (0, 0) with the top-left corner:
// first S by B.6, T steps by B.11, S steps by B.8 or, with UserDS, by the
// first referred code table; every symbol ID takes CodeLen bits.
inline std::string HuffmanTextRegionData(int W, int H, const std::vector<TPicture>& Symbols,
                                         const std::vector<TInstance>& Instances, const THuffEncoder* UserDS = nullptr) {
    std::string D = RegionInfo(uint32_t(W), uint32_t(H), 0, 0);
    Put16(D, uint16_t(1 | 1 << 4));
    Put16(D, uint16_t(UserDS ? 3 << 2 : 0));
    Put32(D, uint32_t(Instances.size()));
    // The symbol ID table: run code 0..31 are lengths; all symbols take
    // CodeLen bits, coded as run code CodeLen of one bit.
    const int CodeLen = std::max(1, CeilLog2(Symbols.size()));
    TBitWriter B;
    for (int K = 0; K < 35; ++K) B.Put(K == CodeLen ? 1 : 0, 4);
    for (size_t K = 0; K < Symbols.size(); ++K) B.Put(0, 1);
    B.Align();
    const THuffEncoder& DS = UserDS ? *UserDS : TableB8();
    // Strips of one row: T is the top row; the first strip starts from -1.
    TableB11().Encode(B, 1);
    int64_t StripT = -1, FirstS = 0, CurS = 0;
    for (size_t I = 0; I < Instances.size();) {
        const int64_t T = Instances[I].Y;
        TableB11().Encode(B, T - StripT);
        StripT = T;
        bool First = true;
        for (; I < Instances.size() && Instances[I].Y == T; ++I) {
            const int64_t S = Instances[I].X;
            if (First) {
                TableB6().Encode(B, S - FirstS);
                FirstS = S;
                First = false;
            } else {
                DS.Encode(B, S - CurS);
            }
            B.Put(uint64_t(Instances[I].Symbol), CodeLen);
            CurS = S + Symbols[size_t(Instances[I].Symbol)].W - 1;
        }
        DS.EncodeOOB(B);
    }
    return D + B.Bytes();
}

// A code-table segment's data for lines of the given (prefix length, range
// length) from Low, then the lower-range, upper-range and out-of-band
// prefix lengths; with the same table for encoding.
inline std::pair<std::string, THuffEncoder> CodeTableData(int32_t Low, const std::vector<std::pair<int, int>>& Lines,
                                                          int LowerLen, int UpperLen, int OOBLen) {
    int PS = 1, RS = 1;
    for (auto [P, R] : Lines) {
        while ((1 << PS) <= P) ++PS;
        while ((1 << RS) <= R) ++RS;
    }
    while ((1 << PS) <= std::max({LowerLen, UpperLen, OOBLen})) ++PS;
    std::string D;
    D.push_back(char(1 | (PS - 1) << 1 | (RS - 1) << 4));
    int64_t High = Low;
    std::vector<THuffLine> Table;
    for (auto [P, R] : Lines) {
        Table.push_back({High, P, R, 0});
        High += int64_t(1) << R;
    }
    Put32(D, uint32_t(Low));
    Put32(D, uint32_t(High));
    TBitWriter W;
    for (auto [P, R] : Lines) W.Put(uint64_t(P), PS), W.Put(uint64_t(R), RS);
    W.Put(uint64_t(LowerLen), PS);
    W.Put(uint64_t(UpperLen), PS);
    W.Put(uint64_t(OOBLen), PS);
    Table.push_back({int64_t(Low) - 1, LowerLen, 32, 1});
    Table.push_back({High, UpperLen, 32, 0});
    Table.push_back({0, OOBLen, 0, 2});
    return {D + W.Bytes(), THuffEncoder(Table)};
}

}  // namespace jbig2test
