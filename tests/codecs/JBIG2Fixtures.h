// Test-side JBIG2 writer: the MQ arithmetic encoder, integer and symbol-ID
// encoders, a generic-region encoder and segment builders, for fixtures the
// decoder (and the reference decoder) read back.
#pragma once

#include <cstdint>
#include <string>
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

}  // namespace jbig2test
