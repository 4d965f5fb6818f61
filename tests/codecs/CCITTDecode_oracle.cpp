// Fax strips made by libtiff's encoder (tiffcp) from bilevel images built
// here decode to the source bits exactly, in every coding and fill order;
// the one-strip wrapper of each strip reads in tiffinfo and decodes through
// libtiff to the same bits.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "codecs/CCITTDecoder.h"
#include "codecs/TIFFMaker.h"
#include "tests/support/TestSupport.h"

using namespace velmo;

namespace {

struct TImage {
    std::string Name;
    int32_t Width = 0;
    int32_t Height = 0;
    TCCITTByteArray Bits;  // rows of (width + 7) / 8 bytes, 1 = black
};

std::string Le16(uint32_t V) { return {char(V & 0xFF), char((V >> 8) & 0xFF)}; }
std::string Le32(uint32_t V) { return Le16(V & 0xFFFF) + Le16(V >> 16); }

uint32_t Get(const std::string& S, size_t At, int Bytes) {
    uint32_t V = 0;
    for (int I = Bytes - 1; I >= 0; --I) V = (V << 8) | uint8_t(S.at(At + size_t(I)));
    return V;
}

// An uncompressed min-is-white TIFF of one strip.
std::string PlainTiff(const TImage& Im) {
    const std::string Data(Im.Bits.begin(), Im.Bits.end());
    struct E {
        uint16_t Tag, Type;
        uint32_t Value;
    };
    const E Entries[] = {{256, 4, uint32_t(Im.Width)},
                         {257, 4, uint32_t(Im.Height)},
                         {258, 3, 1},
                         {259, 3, 1},
                         {262, 3, 0},
                         {273, 4, 0},
                         {277, 3, 1},
                         {278, 4, uint32_t(Im.Height)},
                         {279, 4, uint32_t(Data.size())}};
    const uint32_t DataAt = 8 + 2 + 12 * uint32_t(std::size(Entries)) + 4;
    std::string T = "II" + Le16(42) + Le32(8) + Le16(uint32_t(std::size(Entries)));
    for (const E& En : Entries) {
        T += Le16(En.Tag) + Le16(En.Type) + Le32(1);
        const uint32_t V = En.Tag == 273 ? DataAt : En.Value;
        T += En.Type == 3 ? Le16(V) + Le16(0) : Le32(V);
    }
    return T + Le32(0) + Data;
}

// The first strip and a few tags of a TIFF that tiffcp wrote.
struct TStrip {
    std::string Data;
    uint32_t Compression = 1, FillOrder = 1, T4Options = 0, Strips = 0;
};

TStrip ReadStrip(const std::string& F) {
    TStrip S;
    EXPECT_EQ(F.substr(0, 2), "II");
    const uint32_t Ifd = Get(F, 4, 4);
    const uint32_t N = Get(F, Ifd, 2);
    uint32_t Offset = 0, Count = 0;
    for (uint32_t I = 0; I < N; ++I) {
        const size_t E = Ifd + 2 + 12 * I;
        const uint32_t Tag = Get(F, E, 2), Type = Get(F, E + 2, 2), Cnt = Get(F, E + 4, 4);
        const uint32_t V = Type == 3 ? Get(F, E + 8, 2) : Get(F, E + 8, 4);
        if (Tag == 259) S.Compression = V;
        if (Tag == 266) S.FillOrder = V;
        if (Tag == 292) S.T4Options = V;
        if (Tag == 273) Offset = V, S.Strips = Cnt;
        if (Tag == 279) Count = V;
    }
    S.Data = F.substr(Offset, Count);
    return S;
}

TImage MakeImage(std::string Name, int32_t W, int32_t H, auto Pixel) {
    TImage Im{std::move(Name), W, H, {}};
    const size_t RowBytes = size_t((W + 7) / 8);
    Im.Bits.assign(RowBytes * size_t(H), 0);
    for (int32_t Y = 0; Y < H; ++Y)
        for (int32_t X = 0; X < W; ++X)
            if (Pixel(X, Y))
                Im.Bits[size_t(Y) * RowBytes + size_t(X / 8)] |= uint8_t(0x80 >> (X % 8));
    return Im;
}

// Rows of runs whose lengths mix short ones with long ones, so that every
// make-up code, the extended ones included, turns up.
TImage RunImage(std::string Name, int32_t W, int32_t H, uint32_t Seed) {
    std::mt19937 Rng(Seed);
    std::vector<std::vector<bool>> Rows(size_t(H), std::vector<bool>(size_t(W), false));
    for (auto& Row : Rows) {
        bool Black = Rng() % 2;
        for (int32_t X = 0; X < W;) {
            const uint32_t Kind = Rng() % 4;
            int32_t Run = Kind == 0   ? int32_t(Rng() % 3000)
                          : Kind == 1 ? int32_t(Rng() % 200)
                                      : int32_t(1 + Rng() % 6);
            for (int32_t I = 0; I < Run && X < W; ++I) Row[size_t(X++)] = Black;
            Black = !Black;
        }
    }
    return MakeImage(std::move(Name), W, H,
                     [&](int X, int Y) { return bool(Rows[size_t(Y)][size_t(X)]); });
}

std::vector<TImage> Images() {
    std::vector<TImage> Out;
    Out.push_back(MakeImage("white 1728", 1728, 6, [](int, int) { return false; }));
    Out.push_back(MakeImage("black 1728", 1728, 6, [](int, int) { return true; }));
    Out.push_back(
        MakeImage("1728 halves", 1728, 8, [](int X, int Y) { return (X < 864) == (Y % 2 == 0); }));
    Out.push_back(MakeImage("black 100", 100, 7, [](int, int) { return true; }));
    Out.push_back(RunImage("runs 1728", 1728, 40, 1));
    Out.push_back(RunImage("runs 2600", 2600, 30, 2));
    for (int32_t W : {8, 33, 64, 1728})
        Out.push_back(MakeImage("checkerboard " + std::to_string(W), W, 12,
                                [](int X, int Y) { return (X + Y / 3) % 2 == 0; }));
    std::mt19937 Rng(7);
    for (int32_t W = 1; W <= 33; ++W) {
        std::vector<uint8_t> Noise(size_t(W) * 9);
        for (auto& N : Noise) N = uint8_t(Rng() % 3 == 0);
        Out.push_back(MakeImage("random width " + std::to_string(W), W, 9,
                                [&, W](int X, int Y) { return Noise[size_t(Y * W + X)] != 0; }));
    }
    std::vector<uint8_t> Big(size_t(300) * 80);
    for (auto& N : Big) N = uint8_t(Rng() % 2);
    Out.push_back(MakeImage("random 300", 300, 80,
                            [&](int X, int Y) { return Big[size_t(Y * 300 + X)] != 0; }));
    return Out;
}

struct TCoding {
    const char* Tiffcp;  // -c argument
    bool Lsb;            // -f lsb2msb
    int K;
};

const TCoding Codings[] = {
    {"g4", false, -1},   {"g4", true, -1},         {"g3", false, 0},
    {"g3:2d", false, 1}, {"g3:2d:fill", false, 1}, {"g3:2d", true, 1},
};

TCCITTByteArray DecodeOurs(const TImage& Im, const TStrip& S, int K, bool& Ok) {
    TCCITTByteArray Buf(Im.Bits.size(), 0);
    TVPLCCITTDecoder D(Im.Width, Im.Height, int32_t(S.FillOrder), false, false, 1);
    Ok = false;
    if (K < 0) {
        Ok = D.DecodeT6(Buf, S.Data);
    } else if (K == 0) {
        Ok = D.DecodeT41D(Buf, S.Data);
    } else {
        try {
            D.DecodeT42D(Buf, S.Data);
            Ok = true;
        } catch (const ECCITTError& E) {
            ADD_FAILURE() << E.what();
        }
    }
    return Buf;
}

// The rows libtiff decodes from a file.
TCCITTByteArray DecodeLibtiff(const std::string& Path, const TImage& Im) {
    TCCITTByteArray Out;
    TIFF* T = TIFFOpen(Path.c_str(), "r");
    if (!T) return Out;
    const size_t RowBytes = size_t((Im.Width + 7) / 8);
    std::vector<uint8_t> Row(size_t(TIFFScanlineSize(T)) + RowBytes);
    for (int32_t Y = 0; Y < Im.Height; ++Y) {
        if (TIFFReadScanline(T, Row.data(), uint32_t(Y), 0) < 0) break;
        Out.insert(Out.end(), Row.begin(), Row.begin() + std::ptrdiff_t(RowBytes));
    }
    TIFFClose(T);
    return Out;
}

TEST(CCITTDecodeOracle, LibtiffStripsDecodeToTheSourceBits) {
    VPL_REQUIRE_TOOL("tiffcp");
    VPL_REQUIRE_TOOL("tiffinfo");
    TIFFSetWarningHandler(nullptr);
    vpltest::TempDir Dir;
    const std::string Src = (Dir / "src.tif").string(), Coded = (Dir / "coded.tif").string(),
                      Wrapped = (Dir / "wrapped.tif").string();
    int Checked = 0;
    std::vector<std::string> Refused;
    for (const TImage& Im : Images()) {
        vpltest::WriteFile(Src, PlainTiff(Im));
        for (const TCoding& C : Codings) {
            SCOPED_TRACE(Im.Name + " " + C.Tiffcp + (C.Lsb ? " lsb2msb" : ""));
            std::vector<std::string> Args = {"tiffcp", "-r", std::to_string(Im.Height), "-c",
                                             C.Tiffcp};
            if (C.Lsb) Args.insert(Args.end(), {"-f", "lsb2msb"});
            Args.insert(Args.end(), {Src, Coded});
            const auto R = vpltest::RunCommand(Args);
            ASSERT_EQ(R.exitCode, 0) << R.err;
            const TStrip S = ReadStrip(vpltest::ReadFile(Coded));
            ASSERT_EQ(S.Strips, 1u);
            ASSERT_EQ(S.FillOrder, C.Lsb ? 2u : 1u);
            ASSERT_EQ(S.Compression, C.K < 0 ? 4u : 3u);

            bool Ok = false;
            EXPECT_EQ(DecodeOurs(Im, S, C.K, Ok), Im.Bits);
            EXPECT_TRUE(Ok);
            ++Checked;

            if (C.K < 0) {
                // One row more than the strip holds: the end-of-block code
                // ends decoding with the rows before it.
                TCCITTByteArray More(Im.Bits.size() + size_t((Im.Width + 7) / 8), 0);
                TVPLCCITTDecoder D(Im.Width, Im.Height + 1, int32_t(S.FillOrder), false, false, 1);
                EXPECT_FALSE(D.DecodeT6(More, S.Data));
                More.resize(Im.Bits.size());
                EXPECT_EQ(More, Im.Bits);
            }
            if (C.Lsb) continue;  // the wrapper always says fill order 1

            // The wrapper of the strip, as the image decoder makes it.
            TPDFTIFFMaker M;
            M.Source = S.Data;
            M.Width = Im.Width;
            M.Height = Im.Height;
            M.Compression = C.K < 0 ? ttCCITT4 : C.K == 0 ? ttCCITT31d : ttCCITT32d;
            M.EncodedByteAlign = (S.T4Options & 4) != 0;
            M.HorizontalDPI = M.VerticalDPI = Im.Width % 2 ? 0 : 96;
            vpltest::WriteFile(Wrapped, M.WriteTIFFToString());
            const auto Info = vpltest::RunCommand({"tiffinfo", Wrapped});
            EXPECT_EQ(Info.exitCode, 0) << Info.err;
            EXPECT_EQ(Info.err.find("Error"), std::string::npos) << Info.err;
            EXPECT_NE(Info.out.find("Image Width: " + std::to_string(Im.Width)), std::string::npos)
                << Info.out;
            // libtiff's one-dimensional decoder refuses rows that change
            // colour at (nearly) every pixel, its own strips included: such
            // strips are listed, not compared.
            if (DecodeLibtiff(Coded, Im) != Im.Bits) {
                Refused.push_back(Im.Name + " " + C.Tiffcp);
                continue;
            }
            EXPECT_EQ(DecodeLibtiff(Wrapped, Im), Im.Bits);
        }
    }
    EXPECT_GT(Checked, 200);
    for (const std::string& R : Refused)
        std::printf("libtiff refuses its own strip: %s\n", R.c_str());
    EXPECT_LT(Refused.size(), 5u);
}

}  // namespace
