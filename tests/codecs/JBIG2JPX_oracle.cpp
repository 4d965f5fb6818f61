// JBIG2 streams written by the test (arithmetic generic regions of every
// template, MMR regions around Group 4 strips from tiffcp, unknown-length
// regions, pages of unknown height) decode to their source bits and equal
// jbig2dec's page. JPEG 2000 files from opj_compress decode within one of
// opj_decompress, and our saves read back through opj_decompress.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codecs/JBIG2Decoder.h"
#include "codecs/Jpeg2000Bitmap.h"
#include "core/Flate.h"
#include "platform/files/Stream.h"
#include "tests/codecs/JBIG2Fixtures.h"
#include "tests/codecs/PNM.h"
#include "tests/support/TestSupport.h"

using namespace velmo;
using namespace jbig2test;

namespace {

std::string Le16(uint32_t V) { return {char(V & 0xFF), char((V >> 8) & 0xFF)}; }
std::string Le32(uint32_t V) { return Le16(V & 0xFFFF) + Le16(V >> 16); }

// An uncompressed min-is-white TIFF of one strip.
std::string PlainTiff(const TPicture& P) {
    const int RowBytes = (P.W + 7) / 8;
    std::string Data(size_t(RowBytes) * size_t(P.H), '\0');
    for (int Y = 0; Y < P.H; ++Y)
        for (int X = 0; X < P.W; ++X)
            if (P.Get(X, Y)) Data[size_t(Y * RowBytes + X / 8)] |= char(0x80 >> (X % 8));
    const uint16_t Tags[9][2] = {{256, 4}, {257, 4}, {258, 3}, {259, 3}, {262, 3},
                                 {273, 4}, {277, 3}, {278, 4}, {279, 4}};
    const uint32_t Values[9] = {uint32_t(P.W), uint32_t(P.H), 1, 1, 0, 8 + 2 + 12 * 9 + 4, 1, uint32_t(P.H),
                                uint32_t(Data.size())};
    std::string T = "II" + Le16(42) + Le32(8) + Le16(9);
    for (int I = 0; I < 9; ++I)
        T += Le16(Tags[I][0]) + Le16(Tags[I][1]) + Le32(1) +
             (Tags[I][1] == 3 ? Le16(Values[I]) + Le16(0) : Le32(Values[I]));
    return T + Le32(0) + Data;
}

uint32_t Get(const std::string& S, size_t At, int Bytes) {
    uint32_t V = 0;
    for (int I = Bytes - 1; I >= 0; --I) V = (V << 8) | uint8_t(S.at(At + size_t(I)));
    return V;
}

// The single strip of a TIFF that tiffcp wrote.
std::string FirstStrip(const std::string& F) {
    const uint32_t Ifd = Get(F, 4, 4), N = Get(F, Ifd, 2);
    uint32_t Offset = 0, Count = 0;
    for (uint32_t I = 0; I < N; ++I) {
        const size_t E = Ifd + 2 + 12 * I;
        const uint32_t Tag = Get(F, E, 2), Type = Get(F, E + 2, 2);
        const uint32_t V = Type == 3 ? Get(F, E + 8, 2) : Get(F, E + 8, 4);
        if (Tag == 273) Offset = V;
        if (Tag == 279) Count = V;
    }
    return F.substr(Offset, Count);
}

std::string G4Strip(const TPicture& P, const vpltest::TempDir& Dir) {
    const std::string Src = (Dir / "src.tif").string(), Coded = (Dir / "g4.tif").string();
    vpltest::WriteFile(Src, PlainTiff(P));
    const auto R = vpltest::RunCommand({"tiffcp", "-r", std::to_string(P.H), "-c", "g4", Src, Coded});
    EXPECT_EQ(R.exitCode, 0) << R.err;
    return FirstStrip(vpltest::ReadFile(Coded));
}

TPicture Ours(const std::string& Data) {
    TVPLJBIG2Decoder D;
    EXPECT_TRUE(D.LoadFromBytes(Data));
    TPicture P(D.Width(), D.Height());
    TJBIG2ByteArray Row;
    for (int Y = 0; Y < D.Height(); ++Y) {
        D.GetScanline(Y, Row);
        for (int X = 0; X < D.Width(); ++X) P.Set(X, Y, Row[size_t(X)]);
    }
    return P;
}

TPicture Jbig2dec(const std::string& Data, const vpltest::TempDir& Dir) {
    const std::string In = (Dir / "in.jb2").string(), Out = (Dir / "out.pbm").string();
    vpltest::WriteFile(In, Data);
    std::remove(Out.c_str());
    vpltest::RunCommand({"jbig2dec", "-e", "-t", "pbm", "-o", Out, In});
    TPNM N;
    TPicture P;
    if (!std::filesystem::exists(Out) || !ReadPNM(vpltest::ReadFile(Out), N)) return P;
    P = TPicture(N.W, N.H);
    for (size_t I = 0; I < N.Samples.size(); ++I) P.Px[I] = uint8_t(N.Samples[I]);
    return P;
}

const int8_t NominalAT[4][8] = {{3, -1, -3, -1, 2, -2, -2, -2}, {3, -1}, {2, -1}, {2, -1}};

}  // namespace

TEST(JBIG2DecodeOracle, FixturesEqualSourceAndJbig2dec) {
    VPL_REQUIRE_TOOL("jbig2dec");
    VPL_REQUIRE_TOOL("tiffcp");
    vpltest::TempDir Dir;
    const int8_t Custom[8] = {-3, 0, 5, -1, -6, -2, 1, -4};
    struct TCase {
        std::string Name;
        std::string Data;
        TPicture Source;
    };
    std::vector<TCase> Cases;
    for (int T = 0; T < 4; ++T)
        for (bool TP : {false, true})
            for (bool AT : {false, true}) {
                TPicture P = RandomPicture(203, 77, uint32_t(T * 4 + TP * 2 + AT + 1));
                for (int X = 0; X < P.W; ++X) P.Set(X, 40, P.Get(X, 39)), P.Set(X, 41, P.Get(X, 39));
                Cases.push_back({"template " + std::to_string(T) + (TP ? " TPGDON" : "") + (AT ? " custom AT" : ""),
                                 Segment(0, 48, {}, PageInfo(203, 77)) +
                                     Segment(1, 38, {}, GenericRegionData(P, 0, 0, T, TP, AT ? Custom : NominalAT[T])),
                                 P});
            }
    // MMR regions around Group 4 strips, one of unknown length.
    for (uint32_t Seed : {3u, 4u}) {
        const TPicture P = RandomPicture(1728, 40, Seed, 30);
        const std::string Strip = G4Strip(P, Dir);
        Cases.push_back({"MMR " + std::to_string(Seed),
                         Segment(0, 48, {}, PageInfo(1728, 40)) + Segment(1, 38, {}, MMRRegionData(1728, 40, 0, 0, Strip)),
                         P});
    }
    {
        const TPicture P = RandomPicture(300, 50, 9, 30);
        std::string Region = MMRRegionData(300, 50, 0, 0, G4Strip(P, Dir));
        Region.replace(4, 4, std::string("\xFF\xFF\xFF\xFF", 4));
        Region += std::string(2, '\0');
        Put32(Region, 50);
        Cases.push_back({"MMR unknown length", Segment(0, 48, {}, PageInfo(300, 50)) + Segment(1, 38, {}, Region, true), P});
    }
    {
        const TPicture P = RandomPicture(120, 33, 12);
        std::string Region = GenericRegionData(P, 0, 0, 1, true, NominalAT[1], 0, 0xFFFFFFFF);
        Put32(Region, 33);
        Cases.push_back({"arithmetic unknown length",
                         Segment(0, 48, {}, PageInfo(120, 33)) + Segment(1, 38, {}, Region, true), P});
    }
    {
        // A page of unknown height built of two stripes.
        const TPicture A = RandomPicture(96, 20, 21), B = RandomPicture(96, 25, 22);
        TPicture P(96, 45);
        for (int Y = 0; Y < 45; ++Y)
            for (int X = 0; X < 96; ++X) P.Set(X, Y, Y < 20 ? A.Get(X, Y) : B.Get(X, Y - 20));
        std::string E1, E2;
        Put32(E1, 19);
        Put32(E2, 44);
        Cases.push_back({"unknown height",
                         Segment(0, 48, {}, PageInfo(96, 0xFFFFFFFF, 0, 0x8000 | 32)) +
                             Segment(1, 38, {}, GenericRegionData(A, 0, 0, 0, false, NominalAT[0])) +
                             Segment(2, 50, {}, E1) +
                             Segment(3, 38, {}, GenericRegionData(B, 0, 20, 0, false, NominalAT[0])) +
                             Segment(4, 50, {}, E2) + Segment(5, 49, {}, ""),
                         P});
    }
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        const TPicture Mine = Ours(C.Data);
        EXPECT_EQ(Mine.W, C.Source.W);
        EXPECT_EQ(Mine.H, C.Source.H);
        EXPECT_TRUE(Mine.Px == C.Source.Px);
        const TPicture Peer = Jbig2dec(C.Data, Dir);
        EXPECT_EQ(Peer.W, Mine.W);
        EXPECT_EQ(Peer.H, Mine.H);
        EXPECT_TRUE(Peer.Px == Mine.Px);
    }
}

namespace {

std::string PNMFile(int Kind, int W, int H, int Max, const std::vector<int>& S, int Depth = 1) {
    std::string F;
    if (Kind == 7)
        F = "P7\nWIDTH " + std::to_string(W) + "\nHEIGHT " + std::to_string(H) + "\nDEPTH " + std::to_string(Depth) +
            "\nMAXVAL " + std::to_string(Max) + "\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    else
        F = "P" + std::to_string(Kind) + "\n" + std::to_string(W) + " " + std::to_string(H) + "\n" +
            std::to_string(Max) + "\n";
    for (int V : S) {
        if (Max > 255) F.push_back(char(V >> 8));
        F.push_back(char(V & 0xFF));
    }
    return F;
}

// An RGBA PNG: opj_compress writes the channel definition for its alpha.
std::string RGBAPng(int W, int H, const std::vector<int>& S) {
    auto Crc = [](const std::string& D) {
        uint32_t C = 0xFFFFFFFF;
        for (unsigned char B : D) {
            C ^= B;
            for (int K = 0; K < 8; ++K) C = (C >> 1) ^ (0xEDB88320u & (0u - (C & 1)));
        }
        return ~C;
    };
    auto Be = [](uint32_t V) { return std::string{char(V >> 24), char(V >> 16), char(V >> 8), char(V)}; };
    auto Chunk = [&](const std::string& T, const std::string& D) { return Be(uint32_t(D.size())) + T + D + Be(Crc(T + D)); };
    std::string Raw;
    for (int Y = 0; Y < H; ++Y) {
        Raw.push_back('\0');
        for (int I = 0; I < W * 4; ++I) Raw.push_back(char(S[size_t(Y * W * 4 + I)]));
    }
    return std::string("\x89PNG\r\n\x1A\n", 8) +
           Chunk("IHDR", Be(uint32_t(W)) + Be(uint32_t(H)) + std::string("\x08\x06\x00\x00\x00", 5)) +
           Chunk("IDAT", FlateCompress(Raw)) + Chunk("IEND", "");
}

std::vector<int> Ramp(size_t N, int Max, uint32_t Seed) {
    std::mt19937 R(Seed);
    std::vector<int> S(N);
    for (size_t I = 0; I < N; ++I) S[I] = int((I * 7 + R() % 5) % size_t(Max + 1));
    return S;
}

// Our samples in the peer's component order (grey; red, green, blue; alpha).
int OurSample(const TJpeg2000Bitmap& J, int X, int Y, int C) {
    const int N = J.PixelFormat() == pf24bit ? 3 : J.PixelFormat() == pf32bit ? 4 : 1;
    const int Byte = N == 1 ? 0 : C == 3 ? 3 : 2 - C;
    return J.ScanLine(Y)[X * N + Byte];
}

TPNM Opj(const std::string& Path, const std::string& Ext, const vpltest::TempDir& Dir) {
    const std::string Out = (Dir / ("peer" + Ext)).string();
    std::remove(Out.c_str());
    const auto R = vpltest::RunCommand({"opj_decompress", "-i", Path, "-o", Out});
    EXPECT_EQ(R.exitCode, 0) << R.err;
    TPNM P;
    EXPECT_TRUE(ReadPNM(vpltest::ReadFile(Out), P));
    return P;
}

}  // namespace

TEST(JPXCodecOracle, OpjFilesMatchOpjDecompress) {
    VPL_REQUIRE_TOOL("opj_compress");
    VPL_REQUIRE_TOOL("opj_decompress");
    vpltest::TempDir Dir;
    const int W = 61, H = 37;
    struct TCase {
        std::string Name, Input, Output, PeerExt;
        std::vector<std::string> Args;
        int Components;
    } Cases[] = {
        {"grey 8", PNMFile(5, W, H, 255, Ramp(W * H, 255, 1)), "g8.jp2", ".pgm", {}, 1},
        {"grey 12", PNMFile(5, W, H, 4095, Ramp(W * H, 4095, 2)), "g12.jp2", ".pgm", {}, 1},
        {"rgb", PNMFile(6, W, H, 255, Ramp(W * H * 3, 255, 3)), "rgb.jp2", ".ppm", {}, 3},
        {"rgb lossy", PNMFile(6, W, H, 255, Ramp(W * H * 3, 255, 4)), "rgbq.jp2", ".ppm", {"-r", "20"}, 3},
        {"raw codestream", PNMFile(6, W, H, 255, Ramp(W * H * 3, 255, 5)), "raw.j2k", ".ppm", {}, 3},
        {"rgba with cdef", RGBAPng(W, H, Ramp(W * H * 4, 255, 6)), "rgba.jp2", ".pnm", {}, 4},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        const std::string Src = (Dir / ("src" + std::string(C.Components == 1 ? ".pgm" : C.Components == 3 ? ".ppm" : ".png"))).string();
        vpltest::WriteFile(Src, C.Input);
        const std::string Coded = (Dir / C.Output).string();
        std::vector<std::string> Args = {"opj_compress", "-i", Src, "-o", Coded};
        Args.insert(Args.end(), C.Args.begin(), C.Args.end());
        const auto R = vpltest::RunCommand(Args);
        ASSERT_EQ(R.exitCode, 0) << R.err;
        const TPNM Peer = Opj(Coded, C.PeerExt, Dir);
        ASSERT_EQ(Peer.Depth, C.Components);
        TJpeg2000Bitmap J;
        // Followed by other bytes: the stream stops right after the data.
        const std::string Bytes = vpltest::ReadFile(Coded);
        TMemoryStream S;
        S.WriteBuffer(Bytes + "trailing bytes");
        S.SetPosition(0);
        J.LoadFromStream(S);
        EXPECT_EQ(S.Position(), int64_t(Bytes.size()));
        ASSERT_FALSE(J.Failed());
        ASSERT_EQ(J.Width(), W);
        ASSERT_EQ(J.Height(), H);
        int Worst = 0;
        for (int Y = 0; Y < H; ++Y)
            for (int X = 0; X < W; ++X)
                for (int Ch = 0; Ch < C.Components; ++Ch) {
                    int Want = Peer.Samples[size_t((Y * W + X) * C.Components + Ch)];
                    if (Peer.Max != 255) Want = int(int64_t(Want) * 255 / Peer.Max);
                    Worst = std::max(Worst, std::abs(OurSample(J, X, Y, Ch) - Want));
                }
        EXPECT_LE(Worst, 1);
        if (C.Components == 4) {
            EXPECT_TRUE(J.HasAlpha());
            EXPECT_EQ(J.ChannelTypes(), (std::vector<int>{1, 2, 3, 7}));
        }
    }
    // Luma at full size and both chroma components at half in each
    // direction, coded without a component transform from raw planes: the
    // reference decoder reads such a file as sYCC and turns it into RGB.
    {
        const int SW = 62, SH = 38;
        const std::vector<int> Luma = Ramp(SW * SH, 255, 7), Cb = Ramp(SW * SH / 4, 255, 8),
                               Cr = Ramp(SW * SH / 4, 255, 9);
        std::string Raw;
        for (const auto* Plane : {&Luma, &Cb, &Cr})
            for (int V : *Plane) Raw.push_back(char(V));
        const std::string Src = (Dir / "sycc.raw").string(), Coded = (Dir / "sycc.jp2").string();
        vpltest::WriteFile(Src, Raw);
        const auto R = vpltest::RunCommand({"opj_compress", "-i", Src, "-o", Coded, "-F",
                                            std::to_string(SW) + "," + std::to_string(SH) + ",3,8,u@1x1:2x2:2x2",
                                            "-mct", "0"});
        ASSERT_EQ(R.exitCode, 0) << R.err;
        const TPNM Peer = Opj(Coded, ".ppm", Dir);
        ASSERT_EQ(Peer.Depth, 3);
        TJpeg2000Bitmap J;
        J.LoadFromBytes(vpltest::ReadFile(Coded));
        ASSERT_FALSE(J.Failed());
        ASSERT_EQ(J.Width(), SW);
        ASSERT_EQ(J.Height(), SH);
        ASSERT_EQ(J.PixelFormat(), pf24bit);
        int64_t Sum = 0;
        for (int Y = 0; Y < SH; ++Y)
            for (int X = 0; X < SW; ++X)
                for (int Ch = 0; Ch < 3; ++Ch)
                    Sum += std::abs(OurSample(J, X, Y, Ch) - Peer.Samples[size_t((Y * SW + X) * 3 + Ch)]);
        EXPECT_LE(double(Sum) / (SW * SH * 3), 2.0);
    }
    // Twelve-bit extremes scale as the bitmap scales them.
    {
        const std::string Src = (Dir / "ext.pgm").string(), Coded = (Dir / "ext.jp2").string();
        vpltest::WriteFile(Src, PNMFile(5, 2, 1, 4095, {4095, 2048}));
        ASSERT_EQ(vpltest::RunCommand({"opj_compress", "-i", Src, "-o", Coded, "-n", "1"}).exitCode, 0);
        TJpeg2000Bitmap J;
        J.LoadFromBytes(vpltest::ReadFile(Coded));
        EXPECT_EQ(J.ScanLine(0)[0], 255);
        EXPECT_EQ(J.ScanLine(0)[1], 127);
    }
    TJpeg2000Bitmap J;
    EXPECT_THROW(J.LoadFromBytes(PNMFile(5, 2, 2, 255, {1, 2, 3, 4})), EJpeg2000Error);
}

TEST(JPXCodecOracle, SavesReadBackThroughOpjDecompress) {
    VPL_REQUIRE_TOOL("opj_decompress");
    vpltest::TempDir Dir;
    const int W = 97, H = 64;
    for (bool Alpha : {false, true})
        for (bool Lossless : {true, false}) {
            SCOPED_TRACE(std::string(Alpha ? "rgba" : "rgb") + (Lossless ? " lossless" : " quality 80"));
            TJpeg2000Bitmap B;
            B.SetSize(W, H);
            B.SetPixelFormat(Alpha ? pf32bit : pf24bit);
            const int N = Alpha ? 4 : 3;
            for (int Y = 0; Y < H; ++Y)
                for (int X = 0; X < W; ++X)
                    for (int C = 0; C < N; ++C)
                        B.ScanLine(Y)[X * N + C] =
                            uint8_t(128 + 100 * std::sin((X + 3 * C) / 9.0) * std::cos((Y - C) / 7.0));
            B.SetLosslessCompression(Lossless);
            TMemoryStream S;
            B.SaveToStream(S);
            std::string File(size_t(S.Size()), '\0');
            S.SetPosition(0);
            S.ReadBuffer(File.data(), int64_t(File.size()));
            // The channel definition: red, green, blue (and opacity).
            const size_t Cdef = File.find("cdef");
            ASSERT_NE(Cdef, std::string::npos);
            std::string Want = std::string(1, '\0') + char(N);
            for (int C = 0; C < N; ++C)
                Want += std::string{0, char(C), 0, char(C == 3 ? 1 : 0), 0, char(C == 3 ? 0 : C + 1)};
            EXPECT_EQ(File.substr(Cdef + 4, Want.size()), Want);
            const std::string Path = (Dir / "saved.jp2").string();
            vpltest::WriteFile(Path, File);
            const TPNM Peer = Opj(Path, Alpha ? ".pnm" : ".ppm", Dir);
            ASSERT_EQ(Peer.W, W);
            ASSERT_EQ(Peer.H, H);
            ASSERT_EQ(Peer.Depth, N);
            double Sq = 0;
            int Worst = 0;
            for (int Y = 0; Y < H; ++Y)
                for (int X = 0; X < W; ++X)
                    for (int C = 0; C < N; ++C) {
                        const int Ours = B.ScanLine(Y)[X * N + (C == 3 ? 3 : 2 - C)];
                        const int D = Ours - Peer.Samples[size_t((Y * W + X) * N + C)];
                        Sq += D * D;
                        Worst = std::max(Worst, std::abs(D));
                    }
            if (Lossless) {
                EXPECT_EQ(Worst, 0);
            } else {
                const double Mse = Sq / (W * H * N);
                EXPECT_GE(Mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / Mse), 30.0);
            }
        }
}
