// The one-strip TIFF wrapper: layout offsets, entries by compression kind
// and resolution, every unwritten byte zero; and the all-ones strip.
#include "codecs/TIFFMaker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velmo;

namespace {

uint32_t Le(const std::string& S, size_t At, int Bytes) {
    uint32_t V = 0;
    for (int I = Bytes - 1; I >= 0; --I) V = (V << 8) | uint8_t(S.at(At + size_t(I)));
    return V;
}

struct TEntry {
    uint16_t Tag, Type;
    uint32_t Count, Value;
    bool operator==(const TEntry&) const = default;
};

std::vector<TEntry> ReadIFD(const std::string& F, size_t At) {
    std::vector<TEntry> Out;
    const uint32_t N = Le(F, At, 2);
    for (uint32_t I = 0; I < N; ++I) {
        const size_t E = At + 2 + 12 * I;
        Out.push_back(
            {uint16_t(Le(F, E, 2)), uint16_t(Le(F, E + 2, 2)), Le(F, E + 4, 4), Le(F, E + 8, 4)});
    }
    EXPECT_EQ(Le(F, At + 2 + 12 * N, 4), 0u);  // no next IFD
    EXPECT_EQ(F.size(), At + 2 + 12 * N + 4);
    return Out;
}

TEST(TIFFMaker, LayoutByKindAndResolution) {
    struct TCase {
        TTIFFCompression Kind;
        size_t Length;
        int Dpi;
        bool Align;
        size_t A, IFD, Entries;
        int Compression;  // -1: no entry
        int Options;      // T4 or T6 options, -1: no entry
    };
    const TCase Cases[] = {
        {ttCCITT4, 100, 96, false, 256, 320, 14, 4, 0},
        {ttCCITT31d, 100, 96, false, 256, 320, 14, 3, 0},
        {ttCCITT32d, 100, 96, true, 256, 320, 14, 3, 5},
        {ttCCITT31d, 100, 96, true, 256, 320, 14, 3, 4},
        {ttComp, 100, 96, false, 256, 320, 13, 5, -1},
        {ttNone, 100, 96, false, 256, 320, 12, -1, -1},
        {ttCCITT4, 100, 0, false, 256, 288, 11, 4, 0},
        {ttNone, 100, 0, false, 256, 288, 9, -1, -1},
        {ttCCITT4, 0, 96, false, 128, 192, 14, 4, 0},
        {ttCCITT4, 0, 0, false, 128, 160, 11, 4, 0},
        {ttCCITT4, 128, 300, false, 256, 320, 14, 4, 0},
        {ttUnknown, 3, 96, false, 160, 224, 12, -1, -1},
        {ttPackbits, 3, 96, false, 160, 224, 12, -1, -1},
        {ttJPEG, 3, 96, false, 160, 224, 12, -1, -1},
        {ttDeflate, 3, 96, false, 160, 224, 12, -1, -1},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(testing::Message()
                     << "kind " << C.Kind << " length " << C.Length << " dpi " << C.Dpi);
        TPDFTIFFMaker M;
        M.Source = std::string(C.Length, '\x5A');
        M.Width = 1728;
        M.Height = 33;
        M.Compression = C.Kind;
        M.Reversed = C.Kind == ttNone;
        M.HorizontalDPI = C.Dpi;
        M.VerticalDPI = C.Dpi;
        M.EncodedByteAlign = C.Align;
        const std::string F = M.WriteTIFFToString();

        EXPECT_EQ(F.substr(0, 4), std::string("II\x2A\x00", 4));
        EXPECT_EQ(Le(F, 4, 4), C.IFD);
        EXPECT_EQ(F.substr(128, C.Length), M.Source);
        std::vector<TEntry> Want = {{256, 4, 1, 1728}, {257, 4, 1, 33}, {258, 3, 1, 1}};
        if (C.Compression >= 0) Want.push_back({259, 3, 1, uint32_t(C.Compression)});
        Want.push_back({262, 3, 1, M.Reversed ? 1u : 0u});
        Want.push_back({266, 3, 1, 1});
        Want.push_back({273, 4, 1, 128});
        Want.push_back({277, 3, 1, 1});
        Want.push_back({278, 4, 1, 33});
        Want.push_back({279, 4, 1, uint32_t(C.Length)});
        if (C.Dpi > 0) {
            Want.push_back({282, 5, 1, uint32_t(C.A)});
            Want.push_back({283, 5, 1, uint32_t(C.A + 8)});
        }
        if (C.Options >= 0)
            Want.push_back(
                {C.Kind == ttCCITT4 ? uint16_t(293) : uint16_t(292), 4, 1, uint32_t(C.Options)});
        if (C.Dpi > 0) Want.push_back({296, 3, 1, 2});
        EXPECT_EQ(ReadIFD(F, C.IFD), Want);
        EXPECT_EQ(Want.size(), C.Entries);
        EXPECT_EQ(M.Tags().size(), C.Entries);

        // The rationals, and zeros wherever nothing is written.
        size_t DataEnd = C.A;
        if (C.Dpi > 0) {
            EXPECT_EQ(Le(F, C.A, 4), uint32_t(C.Dpi));
            EXPECT_EQ(Le(F, C.A + 4, 4), 1u);
            EXPECT_EQ(Le(F, C.A + 8, 4), uint32_t(C.Dpi));
            EXPECT_EQ(Le(F, C.A + 12, 4), 1u);
            DataEnd = C.A + 16;
        }
        EXPECT_EQ(F.substr(8, 120), std::string(120, '\0'));
        EXPECT_EQ(F.substr(128 + C.Length, C.A - 128 - C.Length),
                  std::string(C.A - 128 - C.Length, '\0'));
        EXPECT_EQ(F.substr(DataEnd, C.IFD - DataEnd), std::string(C.IFD - DataEnd, '\0'));
    }
}

TEST(TIFFMaker, WritesFromPositionZeroOfAUsedStream) {
    TPDFTIFFMaker M;
    M.Source = "abc";
    M.Compression = ttCCITT4;
    TMemoryStream S;
    S.WriteBuffer(std::string(10, 'x'));
    M.WriteTIFFToStream(S);
    EXPECT_EQ(S.Bytes(), M.WriteTIFFToString());
    EXPECT_EQ(S.Bytes().substr(0, 2), "II");
}

TEST(TIFFMaker, AllOnesString) {
    for (auto [Bits, Bytes] :
         {std::pair{0, 1}, {1, 1}, {7, 1}, {8, 2}, {15, 2}, {16, 3}, {-1, 1}, {-8, 0}, {-20, 0}}) {
        const std::string S = MakeAllOnesString(Bits);
        EXPECT_EQ(S, std::string(size_t(Bytes), '\xFF')) << Bits;
    }
}

}  // namespace
