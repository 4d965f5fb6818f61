// Reading PNM files (P4, P5, P6 and P7) that the peer decoders write.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A PNM file's header fields and samples (P4 bits unpacked to 0/1).
struct TPNM {
    int Kind = 0, W = 0, H = 0, Depth = 1, Max = 1;
    std::vector<int> Samples;
};

inline bool ReadPNM(const std::string& Bytes, TPNM& P) {
    std::istringstream In(Bytes);
    std::string Magic;
    In >> Magic;
    if (Magic.size() != 2 || Magic[0] != 'P') return false;
    P.Kind = Magic[1] - '0';
    auto Next = [&]() {
        std::string T;
        while (In >> T) {
            if (T[0] == '#') {
                std::getline(In, T);
                continue;
            }
            return T;
        }
        return std::string();
    };
    if (P.Kind == 7) {
        for (std::string K = Next(); !K.empty() && K != "ENDHDR"; K = Next()) {
            if (K == "WIDTH") P.W = std::stoi(Next());
            else if (K == "HEIGHT") P.H = std::stoi(Next());
            else if (K == "DEPTH") P.Depth = std::stoi(Next());
            else if (K == "MAXVAL") P.Max = std::stoi(Next());
            else if (K == "TUPLTYPE") Next();
        }
    } else {
        P.W = std::stoi(Next());
        P.H = std::stoi(Next());
        if (P.Kind != 4) P.Max = std::stoi(Next());
        P.Depth = P.Kind == 6 ? 3 : 1;
    }
    In.get();
    const size_t Pos = size_t(In.tellg());
    const auto* D = reinterpret_cast<const uint8_t*>(Bytes.data()) + Pos;
    const size_t Left = Bytes.size() - Pos;
    if (P.Kind == 4) {
        const size_t Row = size_t(P.W + 7) / 8;
        if (Left < Row * size_t(P.H)) return false;
        for (int Y = 0; Y < P.H; ++Y)
            for (int X = 0; X < P.W; ++X) P.Samples.push_back((D[size_t(Y) * Row + size_t(X / 8)] >> (7 - X % 8)) & 1);
        return true;
    }
    const size_t N = size_t(P.W) * size_t(P.H) * size_t(P.Depth);
    const size_t Bytes1 = P.Max > 255 ? 2 : 1;
    if (Left < N * Bytes1) return false;
    for (size_t I = 0; I < N; ++I) P.Samples.push_back(Bytes1 == 2 ? D[2 * I] << 8 | D[2 * I + 1] : D[I]);
    return true;
}

}  // namespace
