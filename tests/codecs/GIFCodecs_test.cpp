// The GIF writer (octree quantizer, LZW encoder) and the GIF decoder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "codecs/GIFDecoder.h"
#include "codecs/GIFWriter.h"
#include "codecs/TIFFWriters.h"

using namespace velmo;

namespace {

std::string GIFOf(const TBitmap& B) {
    TMemoryStream S;
    SaveBitmapAsGIF(B, S);
    return S.Bytes();
}

TBitmap Decode(const std::string& File) {
    TPDFGIFDecoder D;
    D.LoadFromString(File);
    TBitmap B;
    D.SaveToBitmap(B);
    return B;
}

TEST(GIFWriter, OnePixelFile) {
    TBitmap B(1, 1, pf24bit);
    B.SetPixel(0, 0, TColor(0x1E140A));  // red 10, green 20, blue 30
    const std::string F = GIFOf(B);
    std::string Expected = std::string("GIF87a\x01\x00\x01\x00\x70\x00\x00", 13) +
                           std::string(",\0\0\0\0\x01\x00\x01\x00\x87", 10) + std::string("\x0A\x14\x1E", 3) +
                           std::string(255 * 3, '\0') +
                           // minimum code size 8; clear 256, pixel 0, end 257 at 9 bits
                           std::string("\x08\x04\x00\x01\x04\x04\x00;", 8);
    EXPECT_EQ(F, Expected);
}

TEST(GIFWriter, OneColourIsOneLeafAndUnusedEntriesAreBlack) {
    TBitmap B(40, 9, pf24bit);
    for (int Y = 0; Y < 9; ++Y)
        for (int X = 0; X < 40; ++X) B.SetPixel(X, Y, TColor(0xC0FFEE));
    TPDFGIFWriter W;
    W.Assign(B);
    ASSERT_NE(W.Bitmap(), nullptr);
    for (int Y = 0; Y < 9; ++Y)
        for (int X = 0; X < 40; ++X) ASSERT_EQ(W.Bitmap()->GetPixelIndex(X, Y), 0);
    TMemoryStream S;
    W.SaveToStream(S);
    const std::string& F = S.Bytes();
    EXPECT_EQ(F.substr(23, 3), "\xEE\xFF\xC0");
    EXPECT_EQ(F.substr(26, 255 * 3), std::string(255 * 3, '\0'));
}

TEST(GIFWriter, SidesAboveTheHeaderLimitAreRefused) {
    for (auto [W, H] : {std::pair{70000, 1}, std::pair{1, 70000}}) {
        TBitmap B(W, H, pf24bit);
        TMemoryStream S;
        EXPECT_THROW(SaveBitmapAsGIF(B, S), EPageWriterError);
        EXPECT_EQ(S.Size(), 0);
    }
    TBitmap Edge(65535, 1, pf24bit);
    TMemoryStream S;
    SaveBitmapAsGIF(Edge, S);
    EXPECT_EQ(S.Bytes().substr(6, 4), std::string("\xFF\xFF\x01\x00", 4));
}

// Up to 256 colours come back exactly, also colours that share a 5-5-5
// cell (anti-aliased shades of grey: eight to a cell, all 256 of them).
// Noise of 200 colours over 60,000 pixels assigns code 4094 many times, so
// the file holds clears and codes restarting at 9 bits.
TEST(GIFWriter, FewColoursRoundTripExactly) {
    std::vector<TColor> Random, Greys, Near;
    std::srand(7);
    for (int I = 0; I < 200; ++I) Random.push_back(TColor(std::rand() & 0xFFFFFF));
    for (int I = 0; I < 256; ++I) Greys.push_back(TColor(uint32_t(I) * 0x010101));
    // Two colours one step apart, in one cell.
    Near = {TColor(0x808080), TColor(0x818080)};
    struct TCase {
        const char* Name;
        int W, H;
        const std::vector<TColor>* Colours;
        bool Noise;  // random picks, else colour (X + Y) mod Count
        int Count;
    };
    const TCase Cases[] = {
        {"noise", 300, 200, &Random, true, 200},
        {"one pixel", 1, 1, &Random, false, 5},
        {"five colours", 17, 3, &Random, false, 5},
        {"noise, two rows", 255, 2, &Random, true, 200},
        {"every grey", 256, 3, &Greys, false, 256},
        {"two colours of one cell", 9, 4, &Near, false, 2},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        const std::vector<TColor>& Colours = *C.Colours;
        TBitmap B(C.W, C.H, pf24bit);
        for (int Y = 0; Y < C.H; ++Y)
            for (int X = 0; X < C.W; ++X)
                B.SetPixel(X, Y, Colours[size_t(C.Noise ? std::rand() % C.Count : (X + Y) % C.Count)]);
        const TBitmap D = Decode(GIFOf(B));
        ASSERT_EQ(D.Width(), C.W);
        ASSERT_EQ(D.Height(), C.H);
        for (int Y = 0; Y < C.H; ++Y)
            for (int X = 0; X < C.W; ++X) ASSERT_EQ(D.GetPixel(X, Y), B.GetPixel(X, Y)) << X << "," << Y;
    }
}

// More than 256 colours on one row: the row's reductions bring the tree
// back to 256 leaves, and every pixel maps to a colour near its own.
TEST(GIFWriter, ManyColoursAreReducedNearby) {
    TBitmap B(600, 4, pf24bit);
    for (int Y = 0; Y < 4; ++Y)
        for (int X = 0; X < 600; ++X) B.SetPixel(X, Y, TColor((X * 7) % 256 | ((X / 3) % 256) << 8 | (Y * 60) << 16));
    TPDFGIFWriter W;
    W.Assign(B);
    std::set<int> Used;
    for (int Y = 0; Y < 4; ++Y)
        for (int X = 0; X < 600; ++X) Used.insert(W.Bitmap()->GetPixelIndex(X, Y));
    EXPECT_LE(Used.size(), 256u);
    const TBitmap D = Decode([&] {
        TMemoryStream S;
        W.SaveToStream(S);
        return S.Bytes();
    }());
    for (int Y = 0; Y < 4; ++Y)
        for (int X = 0; X < 600; ++X) {
            const TColor A = B.GetPixel(X, Y), C = D.GetPixel(X, Y);
            int Sum = 0;
            for (int Shift : {0, 8, 16}) Sum += std::abs(int((A >> Shift) & 0xFF) - int((C >> Shift) & 0xFF));
            ASSERT_LE(Sum, 96) << X << "," << Y;
        }
}

// ---------------------------------------------------------------------------
// Decoder

// A file of one screen and the given images; each image a list of indices
// coded with minimum code size 2 as raw 3-bit codes after a clear.
std::string Indices3Bit(const std::vector<int>& Ix) {
    // Clear (4), then each index, then end (5); the code width stays 3 bits
    // only while fewer than 4 entries are added, so a clear precedes every
    // second index.
    std::vector<int> Codes = {4};
    for (size_t I = 0; I < Ix.size(); ++I) {
        Codes.push_back(Ix[I]);
        if (I % 2 == 1 && I + 1 < Ix.size()) Codes.push_back(4);
    }
    Codes.push_back(5);
    std::string Out;
    uint32_t Acc = 0;
    int Bits = 0;
    for (int C : Codes) {
        Acc |= uint32_t(C) << Bits;
        Bits += 3;
        while (Bits >= 8) {
            Out.push_back(char(Acc & 0xFF));
            Acc >>= 8;
            Bits -= 8;
        }
    }
    if (Bits > 0) Out.push_back(char(Acc & 0xFF));
    return Out;
}

std::string Image(int L, int T, int W, int H, const std::vector<int>& Ix, uint8_t Packed = 0,
                  const std::string& Table = "") {
    std::string S = ",";
    for (int V : {L, T, W, H}) {
        S.push_back(char(V & 0xFF));
        S.push_back(char(V >> 8));
    }
    S.push_back(char(Packed));
    S += Table;
    S.push_back(2);
    const std::string Data = Indices3Bit(Ix);
    S.push_back(char(Data.size()));
    S += Data;
    S.push_back(0);
    return S;
}

// Screen W × H with a global table of 4 entries: black, red, green, blue.
std::string Screen(int W, int H, uint8_t Aspect = 0) {
    std::string S = "GIF89a";
    S.push_back(char(W & 0xFF));
    S.push_back(char(W >> 8));
    S.push_back(char(H & 0xFF));
    S.push_back(char(H >> 8));
    S.push_back(char(0x81));  // global table of 4 entries
    S.push_back(0);
    S.push_back(char(Aspect));
    S += std::string("\0\0\0\xFF\0\0\0\xFF\0\0\0\xFF", 12);
    return S;
}

TEST(GIFDecoder, FramesPaintOverEachOther) {
    const std::string F = Screen(4, 2) + Image(0, 0, 4, 2, {1, 1, 1, 1, 1, 1, 1, 1}) +
                          std::string("!\xF9\x04\x01\x00\x00\x00\x00", 8) +  // transparent index 0
                          Image(1, 1, 2, 1, {0, 3}) + ";";
    const TBitmap B = Decode(F);
    ASSERT_EQ(B.Width(), 4);
    EXPECT_EQ(B.GetPixel(0, 0), TColor(0x0000FF));
    EXPECT_EQ(B.GetPixel(1, 1), TColor(0));         // index 0 painted opaquely
    EXPECT_EQ(B.GetPixel(2, 1), TColor(0xFF0000));  // blue
    EXPECT_EQ(B.GetPixel(3, 1), TColor(0x0000FF));
}

TEST(GIFDecoder, InterlacedRowsComeInFourPasses) {
    // Ten rows, one pixel each; stored order 0, 8, 4, 2, 6, 1, 3, 5, 7, 9.
    const std::vector<int> Stored = {1, 2, 3, 1, 2, 3, 1, 2, 3, 0};
    const std::vector<int> Rows = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
    const TBitmap B = Decode(Screen(1, 10) + Image(0, 0, 1, 10, Stored, 0x40) + ";");
    const TColor Table[4] = {0, 0x0000FF, 0x00FF00, 0xFF0000};
    for (size_t I = 0; I < 10; ++I) EXPECT_EQ(B.GetPixel(0, Rows[I]), Table[Stored[I]]) << Rows[I];
}

TEST(GIFDecoder, HeaderFields) {
    TPDFGIFDecoder D;
    D.LoadFromString(Screen(3, 3, 49) + ";");
    EXPECT_EQ(D.Version(), "89a");
    EXPECT_DOUBLE_EQ(D.PixelAspectRatio(), 1.0);
    EXPECT_EQ(D.ColorTableSize(), 4);
    D.LoadFromString("GIF90a");
    EXPECT_FALSE(D.ValidVersion());
    D.LoadFromString(Screen(3, 3) + std::string("!\xF9\x05", 3));
    EXPECT_TRUE(D.Error());
}

TEST(GIFDecoder, HostileSizesAndIndices) {
    // A frame reaching past the screen is clipped; a local table of 2
    // entries makes index 3 black; a frame larger than the pixel cap and a
    // screen larger than it paint nothing.
    const std::string Local = std::string("\xFF\xFF\xFF\x80\x80\x80", 6);
    const TBitmap B = Decode(Screen(3, 2) + Image(2, 1, 5000, 3000, {1, 3}, 0x80, Local) + ";");
    ASSERT_EQ(B.Width(), 3);
    EXPECT_EQ(B.GetPixel(2, 1), TColor(0x808080));
    EXPECT_EQ(B.GetPixel(0, 0), TColor(0));
    const TBitmap Huge = Decode(Screen(65535, 65535) + Image(0, 0, 65535, 65535, {1}) + ";");
    EXPECT_TRUE(Huge.Empty());
    const TBitmap Frame = Decode(Screen(2, 2) + Image(0, 0, 65535, 65535, {3, 1}) + ";");
    EXPECT_EQ(Frame.GetPixel(0, 0), TColor(0));  // too large a frame is skipped
    const TBitmap Out = Decode(Screen(2, 2) + Image(60000, 0, 2, 2, {3, 3, 3, 3}) + ";");
    EXPECT_EQ(Out.GetPixel(0, 0), TColor(0));
}

}  // namespace
