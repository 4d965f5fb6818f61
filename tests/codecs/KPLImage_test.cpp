// Component rasters: packing at every depth, the transforms and the BMP
// output, with the arguments that must be ignored.
#include "codecs/KPLImage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velmo;

namespace {

// Values of every row, concatenated.
std::vector<int32_t> AllValues(const TKPLImage& I) {
    std::vector<int32_t> All, Row;
    for (int Y = 0; Y < I.Height(); ++Y) {
        I.GetRowValues(Y, Row);
        All.insert(All.end(), Row.begin(), Row.end());
    }
    return All;
}

std::vector<uint8_t> Bytes(const TKPLImage& I) {
    return {I.GetDataPointer(), I.GetDataPointer() + I.DataSizeBytes()};
}

uint32_t Le32At(const std::string& S, size_t At) {
    return uint32_t(uint8_t(S[At])) | uint32_t(uint8_t(S[At + 1])) << 8 |
           uint32_t(uint8_t(S[At + 2])) << 16 | uint32_t(uint8_t(S[At + 3])) << 24;
}

}  // namespace

TEST(KPLImage, CreateSizesAndFallBack) {
    const struct {
        int W, H, C, B;
        int WantW, WantH, WantC, WantB, WantStride;
    } cases[] = {
        {3, 2, 3, 8, 3, 2, 3, 8, 9},
        {3, 1, 1, 1, 3, 1, 1, 1, 1},
        {5, 1, 3, 2, 5, 1, 3, 2, 4},
        {2, 2, 1, 16, 2, 2, 1, 16, 4},
        {0, 10, 3, 8, 1, 1, 1, 8, 1},
        {10, -1, 3, 8, 1, 1, 1, 8, 1},
        {10, 10, 0, 8, 1, 1, 1, 8, 1},
        {10, 10, 1, 3, 1, 1, 1, 8, 1},
        {10, 10, 1, 12, 1, 1, 1, 8, 1},
        // Hostile sizes give the fall-back, not an allocation of gigabytes.
        {1 << 30, 1 << 30, 4, 16, 1, 1, 1, 8, 1},
        {0x7FFFFFFF, 1, 255, 16, 1, 1, 1, 8, 1},
    };
    for (const auto& c : cases) {
        TKPLImage I(c.W, c.H, c.C, c.B);
        SCOPED_TRACE(testing::Message() << c.W << "x" << c.H << "x" << c.C << "@" << c.B);
        EXPECT_EQ(I.Width(), c.WantW);
        EXPECT_EQ(I.Height(), c.WantH);
        EXPECT_EQ(I.Components(), c.WantC);
        EXPECT_EQ(I.BitsPerComponent(), c.WantB);
        EXPECT_EQ(I.Stride(), c.WantStride);
        EXPECT_EQ(I.DataSizeBytes(), c.WantStride * c.WantH);
        for (uint8_t B : Bytes(I)) EXPECT_EQ(B, 0);
    }
}

TEST(KPLImage, SamplePacking) {
    // 1 bit: the third pixel is bit 5 of the only byte.
    TKPLImage A(3, 1, 1, 1);
    A.SetValue(2, 0, 0, 1);
    EXPECT_EQ(Bytes(A), std::vector<uint8_t>{0x20});
    // 16 bits: big-endian.
    TKPLImage B(1, 1, 1, 16);
    B.SetValue(0, 0, 0, 0x1234);
    EXPECT_EQ(Bytes(B), (std::vector<uint8_t>{0x12, 0x34}));
    EXPECT_EQ(AllValues(B), std::vector<int32_t>{4660});
    // 2 and 4 bits never straddle a byte; rows are padded separately.
    TKPLImage C(3, 2, 1, 4);
    C.SetRowValues(1, {1, 2, 15});
    EXPECT_EQ(Bytes(C), (std::vector<uint8_t>{0, 0, 0x12, 0xF0}));
    TKPLImage D(5, 1, 1, 2);
    D.SetRowValues(0, {3, 2, 1, 0, 3});
    EXPECT_EQ(Bytes(D), (std::vector<uint8_t>{0xE4, 0xC0}));

    // Ignored writes.
    TKPLImage E(2, 2, 2, 4);
    const std::vector<uint8_t> Before = Bytes(E);
    E.SetValue(-1, 0, 0, 1);
    E.SetValue(2, 0, 0, 1);
    E.SetValue(0, 2, 0, 1);
    E.SetValue(0, 0, 2, 1);
    E.SetValue(0, 0, 0, 16);
    E.SetValue(0, 0, 0, -1);
    E.SetRowValues(0, {1, 2, 3});
    E.SetRowValues(5, {1, 2, 3, 4});
    EXPECT_EQ(Bytes(E), Before);
    std::vector<int32_t> Row{9};
    E.GetRowValues(7, Row);
    EXPECT_TRUE(Row.empty());
    EXPECT_EQ(E.GetRowPointer(-1), nullptr);
    EXPECT_EQ(E.GetRowPointer(2), nullptr);
    // Row values are masked to the depth; below 8 bits the row is cleared.
    E.SetRowValues(0, {0x1F, 0x10, 7, 8});
    E.GetRowValues(0, Row);
    EXPECT_EQ(Row, (std::vector<int32_t>{15, 0, 7, 8}));
}

TEST(KPLImage, BitDepthChanges) {
    const struct {
        int From;
        std::vector<int32_t> In;
        int To;
        bool Rescale;
        std::vector<int32_t> Want;
    } cases[] = {
        {1, {0, 1}, 8, true, {0, 255}},
        {8, {200, 15}, 4, false, {15, 15}},
        {8, {200, 3}, 4, true, {12, 0}},
        {8, {128, 127}, 1, true, {1, 0}},
        {2, {0, 1, 2, 3}, 8, true, {0, 85, 170, 255}},
        {16, {0x1234, 65535}, 8, true, {18, 255}},
        {8, {200, 1}, 16, false, {200, 1}},
        {4, {8, 7}, 8, true, {136, 119}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.From << " -> " << c.To << (c.Rescale ? " rescaled" : ""));
        TKPLImage I(int(c.In.size()), 1, 1, c.From);
        I.SetRowValues(0, c.In);
        I.SetBitsPerComponent(c.To, c.Rescale);
        EXPECT_EQ(I.BitsPerComponent(), c.To);
        EXPECT_EQ(I.Stride(), (int(c.In.size()) * c.To + 7) / 8);
        EXPECT_EQ(AllValues(I), c.Want);
    }
    TKPLImage Same(2, 1, 1, 8);
    Same.SetBitsPerComponent(3, true);
    EXPECT_EQ(Same.BitsPerComponent(), 8);
}

TEST(KPLImage, PaletteComponentsAndInversion) {
    TKPLImage P(3, 1, 1, 2);
    P.SetRowValues(0, {0, 1, 3});
    const std::vector<uint8_t> Pal{10, 20, 30, 40, 50, 60};
    TKPLImage Q = P;
    Q.ApplyPalette({1, 2, 3, 4});  // not a multiple of 3: unchanged
    EXPECT_EQ(Bytes(Q), Bytes(P));
    P.ApplyPalette(Pal);
    EXPECT_EQ(P.Components(), 3);
    EXPECT_EQ(P.BitsPerComponent(), 8);
    EXPECT_EQ(Bytes(P), (std::vector<uint8_t>{10, 20, 30, 40, 50, 60, 0, 0, 0}));

    TKPLImage Alpha(3, 1, 1, 8);
    Alpha.SetRowValues(0, {7, 8, 9});
    TKPLImage Wrong(2, 1, 1, 8);
    TKPLImage Before = P;
    P.AddComponentFromImage(Wrong);
    EXPECT_EQ(Bytes(P), Bytes(Before));
    P.AddComponentFromImage(Alpha);
    EXPECT_EQ(P.Components(), 4);
    EXPECT_EQ(Bytes(P), (std::vector<uint8_t>{10, 20, 30, 7, 40, 50, 60, 8, 0, 0, 0, 9}));
    // Below 8 bits through row values.
    TKPLImage Low(2, 1, 2, 4), LowAdd(2, 1, 1, 4);
    Low.SetRowValues(0, {1, 2, 3, 4});
    LowAdd.SetRowValues(0, {5, 6});
    Low.AddComponentFromImage(LowAdd);
    EXPECT_EQ(AllValues(Low), (std::vector<int32_t>{1, 2, 5, 3, 4, 6}));

    // 1 bit: padding bits are inverted too.
    TKPLImage Bits(3, 1, 1, 1);
    Bits.SetValue(0, 0, 0, 1);
    Bits.Invert();
    EXPECT_EQ(Bytes(Bits), std::vector<uint8_t>{0x7F});
    TKPLImage Four(2, 1, 1, 4);
    Four.SetRowValues(0, {0, 5});
    Four.Invert();
    EXPECT_EQ(AllValues(Four), (std::vector<int32_t>{15, 10}));
    TKPLImage Sixteen(1, 1, 1, 16);
    Sixteen.SetValue(0, 0, 0, 1);
    Sixteen.Invert();
    EXPECT_EQ(AllValues(Sixteen), std::vector<int32_t>{65534});
}

TEST(KPLImage, FlipScaleAndTruncate) {
    TKPLImage I(4, 4, 1, 8);
    for (int Y = 0; Y < 4; ++Y)
        for (int X = 0; X < 4; ++X) I.SetValue(X, Y, 0, Y * 4 + X);
    TKPLImage F = I;
    F.FlipVertical();
    EXPECT_EQ(F.GetValue(1, 0, 0), 13);
    EXPECT_EQ(F.GetValue(1, 3, 0), 1);

    TKPLImage S = I;
    S.SetSizeScale(2, 2, tmNearestNeighbour);
    EXPECT_EQ(AllValues(S), (std::vector<int32_t>{0, 2, 8, 10}));
    TKPLImage Up(2, 1, 1, 1);
    Up.SetValue(1, 0, 0, 1);
    Up.SetSizeScale(4, 2, tmNearestNeighbour);
    EXPECT_EQ(AllValues(Up), (std::vector<int32_t>{0, 0, 1, 1, 0, 0, 1, 1}));
    TKPLImage Ignored = I;
    Ignored.SetSizeScale(0, 3, tmNearestNeighbour);
    EXPECT_EQ(Ignored.Width(), 4);

    TKPLImage T = I;
    T.SetSizeTruncatePad(2, 5);
    EXPECT_EQ(T.Stride(), 2);
    EXPECT_EQ(AllValues(T), (std::vector<int32_t>{0, 1, 4, 5, 8, 9, 12, 13, 0, 0}));
    TKPLImage W = I;
    W.SetSizeTruncatePad(5, 1);
    EXPECT_EQ(AllValues(W), (std::vector<int32_t>{0, 1, 2, 3, 0}));
}

TEST(KPLImage, GenerateBitmap) {
    const struct {
        const char* Name;
        int W, H, C, B;
        TKPLImageBitmapFormat Format;
        size_t Size;  // 0: nothing written
        uint32_t Offset, Header;
    } cases[] = {
        {"RGB 3x1", 3, 1, 3, 8, bf24BitRGB, 66, 54, 40},
        {"BGR 1x2", 1, 2, 3, 8, bf24BitBGR, 62, 54, 40},
        {"grey 2x1", 2, 1, 1, 8, bf8BitGray, 1082, 1078, 40},
        {"RGBA 1x1", 1, 1, 4, 8, bf32BitRGBA, 126, 122, 108},
        {"1-bit refused", 8, 1, 1, 1, bf1BitGray, 0, 0, 0},
        {"RGB of grey refused", 2, 1, 1, 8, bf24BitRGB, 0, 0, 0},
        {"16-bit refused", 1, 1, 3, 16, bf24BitRGB, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TKPLImage I(c.W, c.H, c.C, c.B);
        for (int Y = 0; Y < c.H; ++Y)
            for (int X = 0; X < c.W; ++X)
                for (int K = 0; K < c.C; ++K) I.SetValue(X, Y, K, 1 + K + 10 * X + 100 * Y);
        TStringStream Out;
        I.GenerateBitmap(Out, c.Format);
        const std::string& S = Out.DataString();
        ASSERT_EQ(S.size(), c.Size);
        if (c.Size == 0) continue;
        EXPECT_EQ(S.substr(0, 2), "BM");
        EXPECT_EQ(Le32At(S, 2), c.Size);
        EXPECT_EQ(Le32At(S, 10), c.Offset);
        EXPECT_EQ(Le32At(S, 14), c.Header);
        EXPECT_EQ(Le32At(S, 38), 2835u);
        const std::string Pixels = S.substr(c.Offset);
        if (c.Format == bf24BitRGB)  // row of 9 bytes, channels swapped, 3 padding
            EXPECT_EQ(Pixels, std::string("\x03\x02\x01\x0D\x0C\x0B\x17\x16\x15\0\0\0", 12));
        if (c.Format == bf24BitBGR)  // bottom-up rows
            EXPECT_EQ(Pixels, std::string("\x65\x66\x67\0\x01\x02\x03\0", 8));
        if (c.Format == bf32BitRGBA) {
            EXPECT_EQ(Pixels, std::string("\x03\x02\x01\x04", 4));
            EXPECT_EQ(Le32At(S, 54 + 12), 0xFF000000u);
            EXPECT_EQ(Le32At(S, 54 + 16), 0x57696E20u);
        }
        if (c.Format == bf8BitGray) {
            EXPECT_EQ(Le32At(S, 46), 256u);
            EXPECT_EQ(Le32At(S, 54 + 4 * 200), 0x00C8C8C8u);
            EXPECT_EQ(Pixels, std::string("\x01\x0B\0\0", 4));
        }
    }
}
