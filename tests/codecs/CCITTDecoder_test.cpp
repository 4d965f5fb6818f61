// The fax decoder on small hand-coded bit strings: the three codings, EOL
// handling, end of block, byte alignment, fill order, uncompressed mode,
// rows dense with colour changes, and hostile data that must end cleanly.
#include "codecs/CCITTDecoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velmo;

namespace {

// Builds coded data from strings of '0' and '1' (other characters ignored).
class TBits {
public:
    TBits& operator<<(std::string_view S) {
        for (char C : S)
            if (C == '0' || C == '1') FBits += C;
        return *this;
    }
    // Zero bits up to the next byte boundary.
    TBits& Align() {
        while (FBits.size() % 8) FBits += '0';
        return *this;
    }
    // Zero fill bits so that an EOL written next ends on a byte boundary.
    TBits& FillForEOL() {
        while ((FBits.size() + 12) % 8) FBits += '0';
        return *this;
    }
    std::string Bytes() const {
        std::string Out((FBits.size() + 7) / 8, '\0');
        for (size_t I = 0; I < FBits.size(); ++I)
            if (FBits[I] == '1') Out[I / 8] = char(Out[I / 8] | (0x80 >> (I % 8)));
        return Out;
    }

private:
    std::string FBits;
};

const char* const EOL = "000000000001";
const char* const EOFB = "000000000001 000000000001";

// Row 0 of the small images: pixels 2 to 4 black in a row of 8 (0x38).
// One-dimensional: white 2, black 3, white 3.
const char* const Row38OneD = "0111 10 1000";
// Group 4 against an all-white reference: horizontal (white 2, black 3),
// then vertical 0 to the end.
const char* const Row38G4First = "001 0111 10 1";
// The same row again against itself: three vertical 0 codes.
const char* const Row38Again = "1 1 1";

TCCITTByteArray Decode(int K, int W, int H, const std::string& Data, bool& Ok, bool Align = false,
                       int FillOrder = 1) {
    TCCITTByteArray Buf(size_t((W + 7) / 8 * H), 0);
    TVPLCCITTDecoder D(W, H, FillOrder, Align, false, 1);
    if (K < 0)
        Ok = D.DecodeT6(Buf, Data);
    else if (K == 0)
        Ok = D.DecodeT41D(Buf, Data);
    else
        D.DecodeT42D(Buf, Data), Ok = true;
    return Buf;
}

std::string Reversed(std::string S) {
    for (char& C : S) {
        uint8_t B = uint8_t(C), R = 0;
        for (int I = 0; I < 8; ++I) R = uint8_t(R | (((B >> I) & 1) << (7 - I)));
        C = char(R);
    }
    return S;
}

TEST(CCITTDecoder, OneDimensionalRowsOfFullWidth) {
    bool Ok = false;
    // 1728 white: the make-up code 1728 and the terminating code 0.
    auto White = Decode(0, 1728, 1,
                        (TBits() << "010011011"
                                 << "00110101")
                            .Bytes(),
                        Ok);
    EXPECT_TRUE(Ok);
    EXPECT_EQ(White, TCCITTByteArray(216, 0));
    // 1728 black: white 0, black make-up 1728 and black terminating 0.
    auto Black = Decode(0, 1728, 1,
                        (TBits() << "00110101"
                                 << "0000001100101"
                                 << "0000110111")
                            .Bytes(),
                        Ok);
    EXPECT_TRUE(Ok);
    EXPECT_EQ(Black, TCCITTByteArray(216, 0xFF));
    // 2560 black through the extended make-up code, clipped to a width of 2000.
    auto Wide = Decode(0, 2000, 1,
                       (TBits() << "00110101"
                                << "000000011111"
                                << "0000110111")
                           .Bytes(),
                       Ok);
    EXPECT_TRUE(Ok);
    EXPECT_EQ(Wide, TCCITTByteArray(250, 0xFF));
}

TEST(CCITTDecoder, OneDimensionalWithEOLsBeforeSomeLines) {
    TBits B;
    B << EOL << "10011";  // row 0: white 8
    B << Row38OneD;       // row 1: no EOL
    B << EOL << "00110101"
      << "000101";  // row 2: white 0, black 8
    bool Ok = false;
    auto Buf = Decode(0, 8, 3, B.Bytes(), Ok);
    EXPECT_TRUE(Ok);
    EXPECT_EQ(Buf, (TCCITTByteArray{0x00, 0x38, 0xFF}));

    // An EOL where a white run should start ends decoding early.
    TBits Short;
    Short << Row38OneD << "0111" << EOL << EOL;
    Buf = Decode(0, 8, 3, Short.Bytes(), Ok);
    EXPECT_FALSE(Ok);
    EXPECT_EQ(Buf[0], 0x38);

    // An invalid white code fails.
    Buf = Decode(0, 8, 1, std::string(4, '\0'), Ok);
    EXPECT_FALSE(Ok);
}

TEST(CCITTDecoder, OneDimensionalByteAlignedRows) {
    TBits B;
    B << Row38OneD;
    B.Align() << "10011";
    B.Align() << "00110101 000101";
    bool Ok = false;
    EXPECT_EQ(Decode(0, 8, 3, B.Bytes(), Ok, true), (TCCITTByteArray{0x38, 0x00, 0xFF}));
    EXPECT_TRUE(Ok);
    auto Loose = Decode(0, 8, 3, B.Bytes(), Ok, false);
    EXPECT_FALSE(Ok && Loose == (TCCITTByteArray{0x38, 0x00, 0xFF}));
}

TEST(CCITTDecoder, GroupFourEndOfBlockEndsOnlyWhenRowsRemain) {
    const std::string Data = (TBits() << Row38G4First << Row38Again << EOFB).Bytes();
    struct TCase {
        int Height;
        bool Ok;
    };
    for (TCase C : {TCase{1, true}, TCase{2, true}, TCase{3, false}, TCase{5, false}}) {
        SCOPED_TRACE(C.Height);
        bool Ok = !C.Ok;
        auto Buf = Decode(-1, 8, C.Height, Data, Ok);
        EXPECT_EQ(Ok, C.Ok);
        // The rows before the end-of-block code stay; the rest are white.
        TCCITTByteArray Want(size_t(C.Height), 0);
        for (int Y = 0; Y < std::min(C.Height, 2); ++Y) Want[size_t(Y)] = 0x38;
        EXPECT_EQ(Buf, Want);
    }
}

TEST(CCITTDecoder, GroupFourByteAlignmentAndFillOrder) {
    const std::string Aligned =
        (TBits() << Row38G4First).Align().operator<<(Row38Again).Align().Bytes();
    bool Ok = false;
    EXPECT_EQ(Decode(-1, 8, 2, Aligned, Ok, true), (TCCITTByteArray{0x38, 0x38}));
    EXPECT_TRUE(Ok);
    // Without alignment the padding is read as codes: not the same image.
    auto Loose = Decode(-1, 8, 2, Aligned, Ok, false);
    EXPECT_FALSE(Ok && Loose == (TCCITTByteArray{0x38, 0x38}));

    // Fill order 2 reads the same image from bit-reversed bytes.
    const std::string Plain = (TBits() << Row38G4First << Row38Again).Bytes();
    EXPECT_EQ(Decode(-1, 8, 2, Reversed(Plain), Ok, false, 2), (TCCITTByteArray{0x38, 0x38}));
    EXPECT_TRUE(Ok);
    // Any other fill order fails.
    Decode(-1, 8, 2, Plain, Ok, false, 3);
    EXPECT_FALSE(Ok);
}

TEST(CCITTDecoder, CheckerboardRowsHaveAChangeAtEveryPixel) {
    // Row 0 is B W B W B W B W: horizontal pairs (white 0, black 1), then
    // three (white 1, black 1), then vertical 0. Row 1 is W B W B W B W B:
    // vertical right 1, six vertical left 1, vertical 0.
    TBits B;
    B << "001 00110101 010";
    for (int I = 0; I < 3; ++I) B << "001 000111 010";
    B << "1";
    B << "011";
    for (int I = 0; I < 6; ++I) B << "010";
    B << "1";
    // Row 2 repeats row 1 against it.
    B << "1 1 1 1 1 1 1 1";
    bool Ok = false;
    auto Buf = Decode(-1, 8, 3, B.Bytes(), Ok);
    EXPECT_TRUE(Ok);
    EXPECT_EQ(Buf, (TCCITTByteArray{0xAA, 0x55, 0x55}));

    // A row that claims more changes than it has pixels ends decoding.
    TBits Bad;
    for (int I = 0; I < 3; ++I) Bad << "001 00110101 0000110111";  // runs 0 and 0
    auto BadBuf = Decode(-1, 4, 2, Bad.Bytes(), Ok);
    EXPECT_FALSE(Ok);
}

TEST(CCITTDecoder, GroupFourUncompressedMode) {
    struct TCase {
        const char* Bits;
        uint8_t Row;
    };
    const TCase Cases[] = {
        // black; white, black; exit with no white, next run white; V0 to the end
        {"0000001111 1 01 0000001 0 1", 0xA0},
        // five white; black; exit, next white; V0
        {"0000001111 000001 1 0000001 0 1", 0x04},
        // exit with two white pixels, next run black; V0 (b1 at the end)
        // paints the rest black
        {"0000001111 000000001 1 1", 0x3F},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Bits);
        bool Ok = false;
        auto Buf = Decode(-1, 8, 1, (TBits() << C.Bits).Bytes(), Ok);
        EXPECT_TRUE(Ok);
        EXPECT_EQ(Buf, TCCITTByteArray{C.Row});
    }
    // An extension code other than uncompressed mode zeroes the whole image.
    bool Ok = true;
    auto Buf = Decode(-1, 8, 2, (TBits() << Row38G4First << "0000001 110").Bytes(), Ok);
    EXPECT_FALSE(Ok);
    EXPECT_EQ(Buf, (TCCITTByteArray{0, 0}));
}

TEST(CCITTDecoder, TwoDimensionalGroupThree) {
    // Tag 1 then a one-dimensional row, tag 0 then a two-dimensional row.
    TBits B;
    B << EOL << "1" << Row38OneD << EOL << "0" << Row38Again;
    bool Ok = false;
    EXPECT_EQ(Decode(1, 8, 2, B.Bytes(), Ok), (TCCITTByteArray{0x38, 0x38}));

    // Fill bits before each EOL, found at the first one.
    TBits F;
    F.FillForEOL() << EOL << "1" << Row38OneD;
    F.FillForEOL() << EOL << "0" << Row38Again;
    {
        TCCITTByteArray Buf(2, 0);
        TVPLCCITTDecoder D(8, 2, 1, false, true, 1);
        D.DecodeT42D(Buf, F.Bytes());
        EXPECT_EQ(Buf, (TCCITTByteArray{0x38, 0x38}));
    }
    // Fill bits announced but absent: the first EOL says so.
    {
        TCCITTByteArray Buf(2, 0);
        TVPLCCITTDecoder D(8, 2, 1, false, true, 1);
        D.DecodeT42D(Buf, B.Bytes());
        EXPECT_EQ(Buf, (TCCITTByteArray{0x38, 0x38}));
    }
}

TEST(CCITTDecoder, TwoDimensionalGroupThreeFaults) {
    struct TCase {
        std::string Data;
        const char* Text;
        TCCITTByteArray Rows;  // what stays decoded
    };
    const TCase Cases[] = {
        {(TBits() << EOL << "0" << Row38Again).Bytes(),
         "First scanline must be 1D encoded.",
         {0, 0}},
        {(TBits() << EOL << "1" << Row38OneD).Bytes(), "EOL not found", {0x38, 0}},
        {(TBits() << EOL << "1" << Row38OneD << EOL << "0"
                  << "0000001 111")
             .Bytes(),
         "Invalid code encountered while decoding 2D group 3 compressed data.",
         {0x38, 0}},
        {(TBits() << EOL << "1" << Row38OneD << EOL << "0"
                  << "001 0111" << EOL)
             .Bytes(),
         "EOL code word encountered in Black run.",
         {0x38, 0}},
        {(TBits() << EOL << "1" << Row38OneD << EOL << "0"
                  << "001" << EOL)
             .Bytes(),
         "EOL code word encountered in White run.",
         {0x38, 0}},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Text);
        TCCITTByteArray Buf(2, 0);
        TVPLCCITTDecoder D(8, 2, 1, false, false, 1);
        try {
            D.DecodeT42D(Buf, C.Data);
            ADD_FAILURE() << "no exception";
        } catch (const ECCITTError& E) {
            EXPECT_STREQ(E.what(), C.Text);
        }
        EXPECT_EQ(Buf, C.Rows);

        // Through the image decoder's call the rows so far make the image.
        TCCITTParams P;
        P.K = 1;
        P.Columns = 8;
        P.Rows = 2;
        std::string Message;
        TCCITTByteArray Out;
        EXPECT_TRUE(DecodeCCITTFax(P, C.Data, Out, &Message));
        EXPECT_EQ(Message, C.Text);
        EXPECT_EQ(Out, C.Rows);
    }
}

TEST(CCITTDecoder, SizesAndHostileData) {
    // Sizes that cannot be decoded give false without touching memory.
    TCCITTParams P;
    P.K = -1;
    TCCITTByteArray Out;
    for (auto [Columns, Rows] :
         {std::pair{0, 10}, {-5, 10}, {8, -1}, {1 << 25, 1}, {1 << 20, 1 << 20}}) {
        P.Columns = Columns;
        P.Rows = Rows;
        EXPECT_FALSE(DecodeCCITTFax(P, "\xFF", Out)) << Columns << " x " << Rows;
    }
    // A buffer shorter than the image grows to it.
    TCCITTByteArray Small;
    TVPLCCITTDecoder D(8, 2, 1, false, false, 1);
    EXPECT_TRUE(D.DecodeT6(Small, (TBits() << Row38G4First << Row38Again).Bytes()));
    EXPECT_EQ(Small, (TCCITTByteArray{0x38, 0x38}));

    // Fax data carry one bit per pixel: a larger BitsPerComponent decodes
    // the same rows, no more.
    TCCITTByteArray Two(2, 0);
    TVPLCCITTDecoder Eight(8, 2, 1, false, false, 8);
    EXPECT_TRUE(Eight.DecodeT6(Two, (TBits() << Row38G4First << Row38Again).Bytes()));
    EXPECT_EQ(Two, (TCCITTByteArray{0x38, 0x38}));

    // Many rows over a few bytes end at the data's end, in every coding.
    for (int K : {-1, 0, 1}) {
        P.K = K;
        P.Columns = 64;
        P.Rows = 100000;
        const bool Ok = DecodeCCITTFax(P, std::string("\xFF\x00\x13", 3), Out);
        if (K <= 0) {
            EXPECT_FALSE(Ok) << K;
        }
    }
    // Long chains of make-up codes clip instead of overflowing.
    TBits Long;
    for (int I = 0; I < 2000; ++I) Long << "000000011111";
    Long << "00110101";
    bool Ok = false;
    auto Buf = Decode(0, 16, 1, Long.Bytes(), Ok);
    EXPECT_EQ(Buf, TCCITTByteArray(2, 0));
    // The same bytes as every coding, at several widths: no fault.
    for (int K : {-1, 0, 1})
        for (int W : {1, 7, 33, 1728}) {
            P.K = K;
            P.Columns = W;
            P.Rows = 20;
            DecodeCCITTFax(P, Long.Bytes(), Out);
        }
}

}  // namespace
