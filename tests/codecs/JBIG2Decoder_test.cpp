#include "codecs/JBIG2Decoder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/codecs/JBIG2Fixtures.h"

using namespace velmo;
using namespace jbig2test;

namespace {

const int8_t NominalAT[4][8] = {{3, -1, -3, -1, 2, -2, -2, -2}, {3, -1}, {2, -1}, {2, -1}};

TPicture Page(const TVPLJBIG2Decoder& D) {
    TPicture P(D.Width(), D.Height());
    TJBIG2ByteArray Row;
    for (int Y = 0; Y < D.Height(); ++Y) {
        D.GetScanline(Y, Row);
        for (int X = 0; X < D.Width(); ++X) P.Set(X, Y, Row[size_t(X)]);
    }
    return P;
}

bool Decode(const std::string& Data, TVPLJBIG2Decoder& D, const std::string& Globals = {}) {
    return D.LoadFromBytes(Data, Globals);
}

}  // namespace

TEST(JBIG2Arithmetic, IntegerAndSymbolIDSequencesRoundTrip) {
    const std::vector<int64_t> Values = {0, 1, -1, 3, 4, -4, 19, 20, 83, 84, 339, 340, 4435, 4436, -70000, 1 << 30};
    TMQEncoder E;
    std::vector<uint8_t> A(512), B(512), IDs(1 << 6);
    for (int64_t V : Values) {
        E.EncodeInt(A, V);
        E.EncodeInt(B, -V);
    }
    E.EncodeInt(A, 0, true);
    for (uint32_t ID = 0; ID < 32; ID += 3) E.EncodeIAID(IDs, 5, ID);
    const std::string Data = E.Finish();

    jbig2::TArithmeticDecoder D(reinterpret_cast<const uint8_t*>(Data.data()), Data.size());
    D.Start(0);
    std::vector<uint8_t> DA(512), DB(512), DIDs(1 << 6);
    for (int64_t V : Values) {
        int32_t X = 0, Y = 0;
        ASSERT_TRUE(D.DecodeInt(DA, X));
        EXPECT_EQ(X, V);
        if (V == 0) {
            // -0 is the out-of-band value's sign with a zero: plain 0 here.
            D.DecodeInt(DB, Y);
            continue;
        }
        ASSERT_TRUE(D.DecodeInt(DB, Y));
        EXPECT_EQ(Y, -V);
    }
    int32_t X = 7;
    EXPECT_FALSE(D.DecodeInt(DA, X));
    for (uint32_t ID = 0; ID < 32; ID += 3) EXPECT_EQ(D.DecodeIAID(DIDs, 5), ID);
    // A finished code takes at most a couple of fill bytes at its marker.
    EXPECT_LE(D.PastEnd(), 2u);
}

TEST(JBIG2Generic, TemplatesPredictionAndAdaptivePixels) {
    const int8_t Custom[8] = {-2, 0, 4, -1, -5, -2, 1, -3};
    struct {
        int Template;
        bool TPGDON;
        bool CustomAT;
    } Cases[] = {{0, false, false}, {0, true, false}, {0, false, true}, {0, true, true},
                 {1, false, false}, {1, true, true},  {2, false, false}, {2, true, true},
                 {3, false, false}, {3, true, true}};
    TPicture P = RandomPicture(64, 32, 7);
    // Repeated and blank rows exercise typical prediction.
    for (int X = 0; X < 64; ++X) P.Set(X, 0, 0), P.Set(X, 10, P.Get(X, 9)), P.Set(X, 11, P.Get(X, 9));
    for (const auto& C : Cases) {
        const int8_t* AT = C.CustomAT ? Custom : NominalAT[C.Template];
        const std::string Data = Segment(0, 48, {}, PageInfo(64, 32)) +
                                 Segment(1, 38, {}, GenericRegionData(P, 0, 0, C.Template, C.TPGDON, AT));
        TVPLJBIG2Decoder D;
        ASSERT_TRUE(Decode(Data, D)) << C.Template;
        EXPECT_EQ(D.Width(), 64);
        EXPECT_EQ(D.Height(), 32);
        EXPECT_EQ(Page(D).Px, P.Px) << "template " << C.Template << " TPGDON " << C.TPGDON << " AT "
                                    << C.CustomAT;
    }
}

TEST(JBIG2Generic, FirstRowPredictedFromNothingIsWhite) {
    TPicture P(16, 4);
    for (int X = 0; X < 16; X += 2) P.Set(X, 2, 1);
    const std::string Data =
        Segment(0, 48, {}, PageInfo(16, 4)) + Segment(1, 38, {}, GenericRegionData(P, 0, 0, 0, true, NominalAT[0]));
    TVPLJBIG2Decoder D;
    ASSERT_TRUE(Decode(Data, D));
    EXPECT_EQ(Page(D).Px, P.Px);
}

TEST(JBIG2Page, RegionsAtNegativePositionsAreClipped) {
    TPicture P = RandomPicture(20, 10, 3);
    const std::string Data = Segment(0, 48, {}, PageInfo(16, 8)) +
                             Segment(1, 38, {}, GenericRegionData(P, -3, -2, 0, false, NominalAT[0]));
    TVPLJBIG2Decoder D;
    ASSERT_TRUE(Decode(Data, D));
    const TPicture Got = Page(D);
    for (int Y = 0; Y < 8; ++Y)
        for (int X = 0; X < 16; ++X) ASSERT_EQ(Got.Get(X, Y), P.Get(X + 3, Y + 2)) << X << "," << Y;
}

TEST(JBIG2Page, CombinationOperators) {
    TPicture A(8, 1), B(8, 1);
    for (int X = 0; X < 8; ++X) A.Set(X, 0, X & 1), B.Set(X, 0, (X >> 1) & 1);
    const int Expect[5][8] = {{0, 1, 1, 1, 0, 1, 1, 1},
                              {0, 0, 0, 1, 0, 0, 0, 1},
                              {0, 1, 1, 0, 0, 1, 1, 0},
                              {1, 0, 0, 1, 1, 0, 0, 1},
                              {0, 0, 1, 1, 0, 0, 1, 1}};
    for (int Op = 0; Op < 5; ++Op) {
        const std::string Data = Segment(0, 48, {}, PageInfo(10, 1)) +
                                 Segment(1, 38, {}, GenericRegionData(A, 1, 0, 2, false, NominalAT[2])) +
                                 Segment(2, 38, {}, GenericRegionData(B, 1, 0, 2, false, NominalAT[2], Op));
        TVPLJBIG2Decoder D;
        ASSERT_TRUE(Decode(Data, D));
        const TPicture Got = Page(D);
        EXPECT_EQ(Got.Get(0, 0), 0);
        EXPECT_EQ(Got.Get(9, 0), 0);
        for (int X = 0; X < 8; ++X) EXPECT_EQ(Got.Get(X + 1, 0), Expect[Op][X]) << "op " << Op << " x " << X;
    }
}

TEST(JBIG2Page, UnknownHeightGrowsWithRegions) {
    TPicture P = RandomPicture(32, 60, 11);
    const std::string Data = Segment(0, 48, {}, PageInfo(32, 0xFFFFFFFF, 0, 0x8000 | 128)) +
                             Segment(1, 38, {}, GenericRegionData(P, 0, 100, 1, false, NominalAT[1]));
    TVPLJBIG2Decoder D;
    ASSERT_TRUE(Decode(Data, D));
    EXPECT_EQ(D.Height(), 160);
    const TPicture Got = Page(D);
    for (int Y = 0; Y < 60; ++Y)
        for (int X = 0; X < 32; ++X) ASSERT_EQ(Got.Get(X, Y + 100), P.Get(X, Y));
}

TEST(JBIG2Page, UnknownLengthRegionEndsAtItsMarkerAndRowCount) {
    TPicture P = RandomPicture(24, 12, 5);
    std::string Region = GenericRegionData(P, 0, 0, 0, false, NominalAT[0], 0, 0xFFFFFFFF);
    Put32(Region, 12);
    TPicture Q = RandomPicture(24, 4, 9);
    const std::string Data = Segment(0, 48, {}, PageInfo(24, 16)) + Segment(1, 38, {}, Region, true) +
                             Segment(2, 38, {}, GenericRegionData(Q, 0, 12, 3, false, NominalAT[3]));
    TVPLJBIG2Decoder D;
    ASSERT_TRUE(Decode(Data, D));
    const TPicture Got = Page(D);
    for (int Y = 0; Y < 16; ++Y)
        for (int X = 0; X < 24; ++X) ASSERT_EQ(Got.Get(X, Y), Y < 12 ? P.Get(X, Y) : Q.Get(X, Y - 12)) << Y;
}

TEST(JBIG2Stream, SegmentHeadersAndSkippedSegments) {
    TPicture P = RandomPicture(16, 8, 2);
    const std::string Region = GenericRegionData(P, 0, 0, 2, false, NominalAT[2]);
    // Long-form referred-to count (10 segments, 2 retention bytes), an
    // extension of 10 bytes, and numbers needing 2- and 4-byte references.
    std::string Long;
    Put32(Long, 5);
    Long.push_back(char(62));
    Long += std::string("\xE0\x00\x00\x0A", 4) + std::string(2, '\0');
    for (int I = 0; I < 10; ++I) Long.push_back(char(I));
    Long.push_back(char(1));
    Put32(Long, 10);
    Long += std::string(10, '\x55');
    const std::string Data = Segment(0, 48, {}, PageInfo(16, 8)) + Long + Segment(300, 62, {1, 2}, "abc") +
                             Segment(70000, 38, {1}, Region);
    TVPLJBIG2Decoder D;
    ASSERT_TRUE(Decode(Data, D));
    EXPECT_EQ(Page(D).Px, P.Px);
}

TEST(JBIG2Stream, ScanlinesOutsideThePage) {
    TPicture P = RandomPicture(9, 3, 4);
    TVPLJBIG2Decoder D;
    ASSERT_TRUE(Decode(Segment(0, 48, {}, PageInfo(9, 3)) +
                           Segment(1, 38, {}, GenericRegionData(P, 0, 0, 0, false, NominalAT[0])),
                       D));
    TJBIG2ByteArray Row;
    for (int R : {-1, 3}) {
        EXPECT_FALSE(D.GetScanline(R, Row));
        EXPECT_EQ(Row, TJBIG2ByteArray(9, 0));
    }
    EXPECT_TRUE(D.GetScanline(2, Row));
}

TEST(JBIG2Stream, FailuresAndTruncation) {
    TVPLJBIG2Decoder D;
    EXPECT_FALSE(Decode("", D));
    // No page information segment.
    TPicture P = RandomPicture(16, 16, 8);
    const std::string Region = Segment(1, 38, {}, GenericRegionData(P, 0, 0, 0, false, NominalAT[0]));
    EXPECT_FALSE(Decode(Region, D));
    // A truncated region keeps the page; an unknown type stops the loop.
    const std::string Full = Segment(0, 48, {}, PageInfo(16, 16, 1)) + Region;
    EXPECT_TRUE(Decode(Full.substr(0, Full.size() - 10), D));
    EXPECT_EQ(D.Height(), 16);
    EXPECT_TRUE(Decode(Segment(0, 48, {}, PageInfo(16, 16, 1)) + Segment(1, 33, {}, "xx") + Region, D));
    EXPECT_EQ(Page(D).Px, std::vector<uint8_t>(256, 1));
}

TEST(JBIG2Stream, GlobalSegmentsComeFirst) {
    // The page information in the globals, the region in the data.
    TPicture P = RandomPicture(16, 8, 6);
    TVPLJBIG2Decoder D;
    ASSERT_TRUE(Decode(Segment(1, 38, {}, GenericRegionData(P, 0, 0, 0, false, NominalAT[0])), D,
                       Segment(0, 48, {}, PageInfo(16, 8))));
    EXPECT_EQ(Page(D).Px, P.Px);
}

TEST(JBIG2Stream, HostileCountsEndQuickly) {
    // Text regions and dictionaries with counts far beyond their data, and a
    // page beyond the pixel cap.
    std::string Text = RegionInfo(64, 64, 0, 0);
    Text += std::string("\x00\x00", 2);
    Put32(Text, 0xFFFFFFFF);
    Text += std::string(40, '\x00');
    std::string Dict("\x00\x00", 2);
    Dict += std::string("\x03\xFF\xFD\xFF\xFE\xFE\xFE\xFE", 8);
    Put32(Dict, 0xFFFFFFFF);
    Put32(Dict, 0xFFFFFFFF);
    Dict += std::string(40, '\x00');
    const std::string Data = Segment(0, 48, {}, PageInfo(64, 64)) + Segment(1, 0, {}, Dict) +
                             Segment(2, 6, {1}, Text) + Segment(3, 48, {}, PageInfo(1 << 30, 1 << 30));
    const auto Start = std::chrono::steady_clock::now();
    TVPLJBIG2Decoder D;
    EXPECT_TRUE(Decode(Data, D));
    EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(5));
    TVPLJBIG2Decoder Big;
    EXPECT_FALSE(Decode(Segment(0, 48, {}, PageInfo(1 << 30, 1 << 30)), Big));
}

namespace {

// Symbols of two height classes, widths rising within each class.
std::vector<TPicture> TestSymbols() {
    return {RandomPicture(3, 4, 21), RandomPicture(5, 4, 22), RandomPicture(6, 4, 23), RandomPicture(4, 7, 24),
            RandomPicture(9, 7, 25)};
}

// The instances' symbols ORed into a W x H picture, clipped at its edges.
TPicture Place(int W, int H, const std::vector<TPicture>& Symbols, const std::vector<TInstance>& Instances) {
    TPicture P(W, H);
    for (const TInstance& I : Instances) {
        const TPicture& S = Symbols[size_t(I.Symbol)];
        for (int Y = 0; Y < S.H; ++Y)
            for (int X = 0; X < S.W; ++X) {
                const int PX = I.X + X, PY = I.Y + Y;
                if (S.Get(X, Y) && PX >= 0 && PY >= 0 && PX < W && PY < H) P.Set(PX, PY, 1);
            }
    }
    return P;
}

}  // namespace

TEST(JBIG2Text, DictionarySymbolsPlacedByEveryCornerAndStripLayout) {
    const std::vector<TPicture> Symbols = TestSymbols();
    // Some instances cross the region's edges, the first at a negative x.
    const std::vector<TInstance> Instances = {{0, -2, 1}, {3, 6, 0},  {1, 12, 2}, {4, 24, 3},
                                              {2, 2, 9},  {0, 10, 10}, {4, 27, 12}, {1, 5, -3}};
    struct {
        int Corner;
        bool Transposed;
        int LogStrips, DSOffset, Template;
    } Cases[] = {{1, false, 0, 0, 0}, {0, false, 1, 0, 1}, {3, false, 2, 2, 2}, {2, false, 0, -3, 3},
                 {1, true, 0, 0, 0},  {2, true, 1, 1, 0},  {0, true, 3, -1, 1}};
    const TPicture Want = Place(30, 16, Symbols, Instances);
    for (const auto& C : Cases) {
        SCOPED_TRACE("corner " + std::to_string(C.Corner) + " transposed " + std::to_string(C.Transposed) +
                     " strips " + std::to_string(1 << C.LogStrips) + " offset " + std::to_string(C.DSOffset));
        const std::string Data =
            Segment(0, 48, {}, PageInfo(30, 16)) + Segment(1, 0, {}, SymbolDictionaryData(Symbols, C.Template)) +
            Segment(2, 6, {1},
                    TextRegionData(30, 16, Symbols, Instances, C.Corner, C.Transposed, C.LogStrips, C.DSOffset));
        TVPLJBIG2Decoder D;
        ASSERT_TRUE(Decode(Data, D));
        EXPECT_EQ(Page(D).Px, Want.Px);
    }
}

TEST(JBIG2Text, HuffmanDictionaryTextRegionAndUserTable) {
    const std::vector<TPicture> Symbols = TestSymbols();
    // Rows of instances (strips of one row), S steps of every sign and size.
    const std::vector<TInstance> Instances = {{0, -2, 1}, {1, 5, 1}, {3, 13, 1}, {2, 3, 5},
                                              {4, 20, 5}, {0, 1, 11}, {1, 0, 11}, {2, -8, 11}};
    const TPicture Want = Place(30, 18, Symbols, Instances);
    // Standard tables throughout.
    {
        const std::string Data = Segment(0, 48, {}, PageInfo(30, 18)) +
                                 Segment(1, 0, {}, HuffmanSymbolDictionaryData(Symbols)) +
                                 Segment(2, 6, {1}, HuffmanTextRegionData(30, 18, Symbols, Instances));
        TVPLJBIG2Decoder D;
        ASSERT_TRUE(Decode(Data, D));
        EXPECT_EQ(Page(D).Px, Want.Px);
    }
    // S steps from a code-table segment: -4 .. 11 in three lines, lower
    // and upper ranges and out-of-band.
    {
        const auto [Table, Encoder] = CodeTableData(-4, {{3, 2}, {1, 2}, {2, 3}}, 5, 5, 4);
        const std::string Data = Segment(0, 48, {}, PageInfo(30, 18)) +
                                 Segment(1, 0, {}, HuffmanSymbolDictionaryData(Symbols)) + Segment(2, 53, {}, Table) +
                                 Segment(3, 6, {1, 2}, HuffmanTextRegionData(30, 18, Symbols, Instances, &Encoder));
        TVPLJBIG2Decoder D;
        ASSERT_TRUE(Decode(Data, D));
        EXPECT_EQ(Page(D).Px, Want.Px);
    }
}

TEST(JBIG2Halftone, PatternsPlacedByGreyValuesOnAClippedGrid) {
    // Pattern K of 4 x 4 has K pixels set in a fixed order.
    const int Order[16] = {0, 10, 2, 8, 5, 15, 7, 13, 1, 11, 3, 9, 4, 14, 6, 12};
    std::vector<TPicture> Patterns;
    for (int K = 0; K < 8; ++K) {
        TPicture P(4, 4);
        for (int I = 0; I < 2 * K; ++I) P.Set(Order[I] % 4, Order[I] / 4, 1);
        Patterns.push_back(P);
    }
    const int GW = 9, GH = 5;
    std::vector<uint32_t> Values;
    uint32_t Seed = 5;
    for (int I = 0; I < GW * GH; ++I) Values.push_back((Seed = Seed * 1103515245u + 12345u) >> 16 & 7);
    struct {
        int Template, Op, DefPixel;
    } Cases[] = {{0, 0, 0}, {1, 2, 0}, {2, 0, 1}, {3, 4, 1}, {0, 1, 1}, {1, 3, 0}};
    for (const auto& C : Cases) {
        SCOPED_TRACE("template " + std::to_string(C.Template) + " op " + std::to_string(C.Op));
        // The grid starts 2 pixels left of and 1 above the region.
        TPicture Want(32, 18);
        for (int Y = 0; Y < 18; ++Y)
            for (int X = 0; X < 32; ++X) Want.Set(X, Y, C.DefPixel);
        for (int M = 0; M < GH; ++M)
            for (int N = 0; N < GW; ++N) {
                const TPicture& P = Patterns[Values[size_t(M * GW + N)]];
                for (int Y = 0; Y < 4; ++Y)
                    for (int X = 0; X < 4; ++X) {
                        const int PX = -2 + 4 * N + X, PY = -1 + 4 * M + Y;
                        if (PX < 0 || PY < 0 || PX >= 32 || PY >= 18) continue;
                        const int D = Want.Get(PX, PY), S = P.Get(X, Y);
                        const int R[5] = {D | S, D & S, D ^ S, 1 - (D ^ S), S};
                        Want.Set(PX, PY, R[C.Op]);
                    }
            }
        const std::string Data =
            Segment(0, 48, {}, PageInfo(32, 18)) + Segment(1, 16, {}, PatternDictionaryData(Patterns, C.Template)) +
            Segment(2, 22, {1},
                    HalftoneRegionData(32, 18, GW, GH, Values, 8, -2 * 256, -256, 4 * 256, 0, C.Template, C.Op,
                                       C.DefPixel));
        TVPLJBIG2Decoder D;
        ASSERT_TRUE(Decode(Data, D));
        EXPECT_EQ(Page(D).Px, Want.Px);
    }
}

TEST(JBIG2Stream, EmptyAndCountlessBitmapsEndQuickly) {
    const auto Start = std::chrono::steady_clock::now();
    // A generic region without columns but with 2^31 rows, and a halftone
    // grid without columns, over a page that stays blank.
    std::string Empty = RegionInfo(0, 0x7FFFFFFF, 0, 0);
    Empty += std::string(9, '\0') + std::string(40, '\x5A');
    std::string Grid = RegionInfo(8, 8, 0, 0);
    Grid.push_back('\0');
    Put32(Grid, 0);
    Put32(Grid, 0xFFFFFFFF);
    Grid += std::string(12, '\0') + std::string(40, '\x5A');
    std::vector<TPicture> One = {TPicture(1, 1)};
    TVPLJBIG2Decoder D;
    ASSERT_TRUE(Decode(Segment(0, 48, {}, PageInfo(8, 8)) + Segment(1, 38, {}, Empty) +
                           Segment(2, 16, {}, PatternDictionaryData(One)) + Segment(3, 22, {2}, Grid),
                       D));
    EXPECT_EQ(Page(D).Px, std::vector<uint8_t>(64, 0));
    // Sixteen million 1 x 1 patterns: the stream ends there.
    std::string Many("\x00\x01\x01", 3);
    Put32(Many, 0x00FFFFFF);
    Many += std::string(40, '\0');
    TVPLJBIG2Decoder M;
    EXPECT_TRUE(Decode(Segment(0, 48, {}, PageInfo(8, 8)) + Segment(1, 16, {}, Many), M));
    EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(5));
}

TEST(JBIG2Halftone, MMRPlanesEachEndWithTheirEndOfBlock) {
    // Bits as text, each plane padded to a byte.
    auto Bytes = [](const std::string& Bits) {
        std::string Out((Bits.size() + 7) / 8, '\0');
        for (size_t I = 0; I < Bits.size(); ++I)
            if (Bits[I] == '1') Out[I / 8] = char(Out[I / 8] | (0x80 >> (I % 8)));
        return Out;
    };
    // Rows of 8 in Group 4: black under white (horizontal: white 0, black
    // 8), white under black (horizontal: white 8, black 0), white under
    // white (vertical 0).
    const std::string BlackOnWhite = "001" "00110101" "000101", WhiteOnBlack = "001" "10011" "0000110111",
                      WhiteOnWhite = "1", EOFB = "000000000001" "000000000001";
    // Grey 3 on the first row of cells, 1 on the second: Gray-coded planes
    // 1 0 / 0 1 (high plane first).
    const std::string Planes = Bytes(BlackOnWhite + WhiteOnBlack + EOFB) + Bytes(WhiteOnWhite + BlackOnWhite + EOFB);
    std::vector<TPicture> Patterns;
    for (int K = 0; K < 4; ++K) {
        TPicture P(2, 2);
        for (int I = 0; I < K; ++I) P.Set(I % 2, I / 2, 1);
        Patterns.push_back(P);
    }
    std::string Halftone = RegionInfo(16, 4, 0, 0);
    Halftone.push_back('\x01');
    Put32(Halftone, 8);
    Put32(Halftone, 2);
    Put32(Halftone, 0);
    Put32(Halftone, 0);
    Halftone += std::string("\x02\x00\x00\x00", 4);
    const std::string Data = Segment(0, 48, {}, PageInfo(16, 4)) + Segment(1, 16, {}, PatternDictionaryData(Patterns)) +
                             Segment(2, 22, {1}, Halftone + Planes);
    TVPLJBIG2Decoder D;
    ASSERT_TRUE(Decode(Data, D));
    const TPicture Got = Page(D);
    for (int Y = 0; Y < 4; ++Y)
        for (int X = 0; X < 16; ++X) EXPECT_EQ(Got.Get(X, Y), Patterns[Y < 2 ? 3 : 1].Get(X % 2, Y % 2)) << X << "," << Y;
}
