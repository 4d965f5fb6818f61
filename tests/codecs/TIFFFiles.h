// Small TIFF files built entry by entry for the TIFF reader and joiner
// tests, in either byte order, with any pointer patched by hand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tifftest {

struct TEntry {
    uint16_t Tag, Type;
    uint32_t Count;
    std::vector<uint32_t> Values;  // numbers of the entry's type (rationals: num, den)
};

struct TIFD {
    std::vector<TEntry> Entries;
    std::string Strip;  // one strip whose offset fills tag 273 (count 1) when present
};

inline void Put(std::string& S, size_t At, uint64_t V, int Bytes, bool Intel) {
    for (int I = 0; I < Bytes; ++I)
        S[At + size_t(I)] = char((V >> (8 * (Intel ? I : Bytes - 1 - I))) & 0xFF);
}
inline uint64_t Get(const std::string& S, size_t At, int Bytes, bool Intel) {
    uint64_t V = 0;
    for (int I = 0; I < Bytes; ++I)
        V |= uint64_t(uint8_t(S.at(At + size_t(I)))) << (8 * (Intel ? I : Bytes - 1 - I));
    return V;
}

inline int TypeSize(uint16_t T) {
    return T == 3 || T == 8 ? 2 : T == 4 || T == 9 || T == 11 ? 4 : T == 5 || T == 10 || T == 12 ? 8 : 1;
}

// The file: header, then per IFD its strip, its out-of-line values and the
// IFD itself, chained in order. IFDPos receives each IFD's position.
inline std::string Build(const std::vector<TIFD>& IFDs, bool Intel = true,
                         std::vector<size_t>* IFDPos = nullptr) {
    std::string S(8, '\0');
    S[0] = S[1] = Intel ? 'I' : 'M';
    Put(S, 2, 42, 2, Intel);
    size_t PrevPointer = 4;
    for (const TIFD& D : IFDs) {
        const size_t StripAt = S.size();
        S += D.Strip;
        std::vector<uint32_t> Fields;
        for (const TEntry& E : D.Entries) {
            const int Size = TypeSize(E.Type);
            const size_t Total = size_t(Size) * E.Count;
            if (E.Values.empty() && Total > 4) {
                Fields.push_back(8);  // values not given: a pointer into the header
                continue;
            }
            std::string Bytes(std::max<size_t>(Total, 4), '\0');
            const int Width = E.Type == 5 || E.Type == 10 ? 4 : Size;
            for (size_t I = 0; I < E.Values.size() && (I + 1) * size_t(Width) <= Bytes.size(); ++I)
                Put(Bytes, I * size_t(Width), E.Values[I], Width, Intel);
            if (E.Tag == 273 && E.Count == 1 && !D.Strip.empty()) Put(Bytes, 0, StripAt, 4, Intel);
            if (Total <= 4) {
                Fields.push_back(uint32_t(Get(Bytes, 0, 4, Intel)));
            } else {
                while (S.size() % 2) S.push_back('\0');
                Fields.push_back(uint32_t(S.size()));
                S += Bytes.substr(0, Total);
            }
        }
        while (S.size() % 2) S.push_back('\0');
        const size_t At = S.size();
        if (IFDPos) IFDPos->push_back(At);
        Put(S, PrevPointer, At, 4, Intel);
        S.resize(At + 2 + 12 * D.Entries.size() + 4, '\0');
        Put(S, At, D.Entries.size(), 2, Intel);
        for (size_t K = 0; K < D.Entries.size(); ++K) {
            const size_t E = At + 2 + 12 * K;
            Put(S, E, D.Entries[K].Tag, 2, Intel);
            Put(S, E + 2, D.Entries[K].Type, 2, Intel);
            Put(S, E + 4, D.Entries[K].Count, 4, Intel);
            Put(S, E + 8, Fields[K], 4, Intel);
        }
        PrevPointer = At + 2 + 12 * D.Entries.size();
    }
    return S;
}

// An uncompressed 8-bit RGB page of the given pixels (one strip).
inline TIFD RGBPage(uint32_t W, uint32_t H, const std::string& Pixels) {
    TIFD D;
    D.Strip = Pixels;
    D.Entries = {{256, 4, 1, {W}},      {257, 4, 1, {H}},   {258, 3, 3, {8, 8, 8}},
                 {259, 3, 1, {1}},      {262, 3, 1, {2}},   {273, 4, 1, {0}},
                 {277, 3, 1, {3}},      {278, 4, 1, {H}},   {279, 4, 1, {uint32_t(Pixels.size())}}};
    return D;
}

}  // namespace tifftest
