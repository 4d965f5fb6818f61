// Stream codecs: Flate with predictors, LZW, ASCII85, RunLength, ASCIIHex.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "core/ASCII85.h"
#include "core/Filters.h"
#include "core/Flate.h"
#include "core/LZW.h"
#include "tests/core/CodecTestHelpers.h"
#include "tests/support/TestSupport.h"

using namespace velmo;
using namespace vpltest;

namespace {

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

}  // namespace

TEST(Flate, StoredAbcBytesAndRoundTrips) {
    EXPECT_EQ(Hex(FlateCompressStored("abc")), "78 01 01 03 00 FC FF 61 62 63 02 4D 01 27");
    EXPECT_EQ(FlateDecompress(FlateCompressStored("abc")), "abc");
    EXPECT_EQ(FlateCompressStored(""), "");
    EXPECT_EQ(FlateDecompress(""), "");
    EXPECT_EQ(FlateDecompress("this is not zlib data"), "");
    const std::string big = RandomBytes(70000, 1);
    EXPECT_EQ(FlateDecompress(FlateCompressStored(big)), big);
    for (int level = 0; level <= 3; ++level)
        EXPECT_EQ(FlateDecompress(FlateCompressLevel(big, level)), big) << level;
    EXPECT_EQ(FlateCompress(""), "");
}

TEST(Flate, TruncatedStreamGivesPrefix) {
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i * 7919 % 10007) + "\n";
    const std::string z = FlateCompress(text);
    const std::string half = FlateDecompress(z.substr(0, z.size() / 2));
    ASSERT_FALSE(half.empty());
    EXPECT_LT(half.size(), text.size());
    EXPECT_EQ(text.compare(0, half.size(), half), 0);
    // A damaged byte in the middle still gives output from before it.
    std::string damaged = z;
    damaged[damaged.size() / 2] ^= 0x55;
    EXPECT_FALSE(FlateDecompress(damaged).empty());
}

TEST(Flate, LargeExpansionIsLinear) {
    // About 200 KB that inflate to 200 MB: the output doubles as it grows.
    const std::string zeros(200u << 20, '\0');
    const std::string z = FlateCompressLevel(zeros, 1);
    const double t0 = vpltest::ThreadSeconds();
    const std::string back = FlateDecompress(z);
    const double secs = vpltest::ThreadSeconds() - t0;
    EXPECT_EQ(back.size(), zeros.size());
    EXPECT_TRUE(back == zeros);
    EXPECT_LT(secs, 20.0);
}

struct PredictorCase {
    const char* name;
    int predictor, colors, bpc, columns;
    std::string raw;       // inflated, predicted data
    std::string expected;  // after undoing the predictor
};

TEST(Flate, PredictorVectors) {
    const std::vector<PredictorCase> cases = {
        {"png up, first row left alone", 12, 1, 8, 2, Bytes({2, 1, 2, 2, 1, 1}),
         Bytes({1, 2, 2, 3})},
        {"png sub, 4-bit rgb pixel distance 2", 15, 3, 4, 2, Bytes({1, 0x12, 0x34, 0x01}),
         Bytes({0x12, 0x34, 0x13})},
        {"png sub 8-bit", 10, 1, 8, 3, Bytes({1, 5, 1, 1}), Bytes({5, 6, 7})},
        {"png average", 11, 1, 8, 2, Bytes({0, 10, 20, 3, 1, 1}), Bytes({10, 20, 6, 14})},
        {"png paeth", 13, 1, 8, 2, Bytes({0, 10, 20, 4, 1, 1}), Bytes({10, 20, 11, 21})},
        {"png unknown tag keeps row", 12, 1, 8, 2, Bytes({7, 9, 9}), Bytes({9, 9})},
        {"png short last row padded", 12, 1, 8, 3, Bytes({0, 1, 2, 3, 2, 1}),
         Bytes({1, 2, 3, 2, 2, 3})},
        {"png 16-bit distance 2", 10, 1, 16, 2, Bytes({1, 1, 2, 1, 1}), Bytes({1, 2, 2, 3})},
        {"tiff rgb", 2, 3, 8, 2, Bytes({0x10, 0x20, 0x30, 1, 1, 1}),
         Bytes({0x10, 0x20, 0x30, 0x11, 0x21, 0x31})},
        {"tiff 1-bit", 2, 1, 1, 8, Bytes({0b01000000}), Bytes({0b01111111})},
        {"tiff 4-bit gray wraps", 2, 1, 4, 4, Bytes({0xF1, 0x11}), Bytes({0xF0, 0x12})},
        {"tiff 2-bit two colours", 2, 2, 2, 2, Bytes({0b01100101}), Bytes({0b01101011})},
        {"tiff 16-bit", 2, 1, 16, 2, Bytes({0x00, 0xFF, 0x00, 0x02}),
         Bytes({0x00, 0xFF, 0x01, 0x01})},
        {"tiff 12 components", 2, 12, 8, 2,
         Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}),
         Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13})},
        {"predictor 5 passes rows, pads", 5, 1, 8, 2, Bytes({1, 2, 3}), Bytes({1, 2, 3, 0})},
    };
    for (const auto& c : cases) {
        TPDFFlateParms p;
        p.Predictor = c.predictor;
        p.Colors = c.colors;
        p.BitsPerComponent = c.bpc;
        p.Columns = c.columns;
        EXPECT_EQ(Hex(FlateDecompressWithPredictor(FlateCompress(c.raw), p)), Hex(c.expected))
            << c.name;
    }
}

// TIFF predictor 2 over packed samples, one sample at a time: the reference
// for the padded rows below.
std::string ReferenceTiff(std::string row, int colors, int bpc, std::uint64_t samples) {
    auto bit = [&](std::uint64_t p) { return (std::uint8_t(row[p / 8]) >> (7 - p % 8)) & 1; };
    std::vector<std::uint64_t> last(std::size_t(colors), 0);
    for (std::uint64_t s = 0; s < samples; ++s) {
        std::uint64_t v = 0;
        for (int b = 0; b < bpc; ++b) v = v << 1 | bit(s * bpc + b);
        v = (v + last[s % colors]) & ((std::uint64_t(1) << bpc) - 1);
        last[s % colors] = v;
        for (int b = 0; b < bpc; ++b) {
            const std::uint64_t p = s * bpc + b;
            const char m = char(0x80 >> (p % 8));
            row[p / 8] = ((v >> (bpc - 1 - b)) & 1) ? char(row[p / 8] | m) : char(row[p / 8] & ~m);
        }
    }
    return row;
}

TEST(Flate, TiffPaddedRowRepeatsTheLastPixel) {
    // A row much wider than its data: past the data every pixel repeats the
    // last one, up to the end of the samples; the bits after them stay 0.
    struct Case {
        int colors, bpc, columns;
    };
    for (const Case& c : std::vector<Case>{
             {3, 1, 4001}, {1, 2, 999}, {5, 4, 777}, {3, 12, 501}, {2, 32, 300}, {47, 2, 333}}) {
        const std::string data = RandomBytes(13, unsigned(c.colors * 100 + c.bpc));
        const std::size_t rowBytes = (std::size_t(c.colors) * c.bpc * c.columns + 7) / 8;
        std::string padded = data;
        padded.resize(rowBytes, '\0');
        TPDFFlateParms p;
        p.Predictor = 2;
        p.Colors = c.colors;
        p.BitsPerComponent = c.bpc;
        p.Columns = c.columns;
        EXPECT_EQ(FlateDecompressWithPredictor(FlateCompress(data), p),
                  ReferenceTiff(padded, c.colors, c.bpc, std::uint64_t(c.columns) * c.colors))
            << c.colors << " colours, " << c.bpc << " bits, " << c.columns << " columns";
    }
    // A few bytes padded to a row of about 12 MB stay quick; a row of about
    // 200 MB is wider than any image and refused.
    TPDFFlateParms wide;
    wide.Predictor = 2;
    wide.Colors = 47;
    wide.BitsPerComponent = 2;
    wide.Columns = 1 << 20;
    const double start = vpltest::ThreadSeconds();
    const std::string out = FlateDecompressWithPredictor(FlateCompress("\x9c\xe3"), wide);
    EXPECT_EQ(out.size(), (std::size_t(47) * 2 * (1 << 20) + 7) / 8);
    EXPECT_LT(vpltest::ThreadSeconds() - start, 10);
    wide.Columns = 1 << 24;
    EXPECT_EQ(FlateDecompressWithPredictor(FlateCompress("\x9c\xe3"), wide), "");
}

TEST(Flate, BadPredictorParametersFail) {
    const std::string z = FlateCompress(Bytes({2, 1, 2, 2, 1, 1}));
    struct Bad {
        int colors, bpc, columns;
    };
    for (const Bad& b : std::vector<Bad>{{0, 8, 2},
                                         {1, 0, 2},
                                         {1, 8, 0},
                                         {-1, 8, 2},
                                         {1, -8, 2},
                                         {1, 8, -2},
                                         {100000, 8, 2},
                                         {1, 8, 2147483647},
                                         {256, 32, 2147483647}}) {
        for (int predictor : {2, 12}) {
            TPDFFlateParms p;
            p.Predictor = predictor;
            p.Colors = b.colors;
            p.BitsPerComponent = b.bpc;
            p.Columns = b.columns;
            EXPECT_EQ(FlateDecompressWithPredictor(z, p), "")
                << predictor << " " << b.colors << " " << b.bpc << " " << b.columns;
        }
    }
}

TEST(Flate, Paeth) {
    EXPECT_EQ(PaethPredictor(10, 20, 10), 20);
    EXPECT_EQ(PaethPredictor(10, 20, 20), 10);
    EXPECT_EQ(PaethPredictor(10, 10, 10), 10);
    EXPECT_EQ(PaethPredictor(0, 100, 255), 0);
    EXPECT_EQ(PaethPredictor(200, 50, 100), 200);  // ties go to the left
}

TEST(LZW, ClassicExample) {
    TPDFLZWDecompressor d;
    d.SetFillOrder(foTop);
    d.SetEarlyChange(true);
    d.SetInitialCodeSize(9);
    EXPECT_EQ(Hex(d.Decompress(Bytes({0x80, 0x0B, 0x60, 0x50, 0x22, 0x0C, 0x0C, 0x85, 0x01}))),
              "2D 2D 2D 2D 2D 41 2D 2D 2D 42");
    // A second input on the same object decodes from a fresh table.
    EXPECT_EQ(Hex(d.Decompress(Bytes({0x80, 0x0B, 0x60, 0x50, 0x22, 0x0C, 0x0C, 0x85, 0x01}))),
              "2D 2D 2D 2D 2D 41 2D 2D 2D 42");
}

TEST(LZW, WidthChangesAtEntry510Or511) {
    // The first code makes no entry; each later literal code makes entry
    // 258, 259, ... Code k (1-based after the first) makes entry 257 + k.
    struct Case {
        bool early;
        int nineBitCodes;  // literal codes written 9 bits wide after the first
    };
    for (const Case c : {Case{true, 253}, Case{false, 254}}) {
        CodeWriter w;
        std::string expected;
        w.Put(256, 9);
        w.Put('A', 9);
        expected += 'A';
        for (int i = 0; i < c.nineBitCodes; ++i) {
            w.Put('a' + i % 26, 9);
            expected += static_cast<char>('a' + i % 26);
        }
        for (int i = 0; i < 10; ++i) {
            w.Put('0' + i, 10);
            expected += static_cast<char>('0' + i);
        }
        w.Put(257, 10);
        const std::string data = w.Finish();
        TPDFLZWDecompressor d;
        d.SetEarlyChange(c.early);
        EXPECT_EQ(d.Decompress(data), expected) << "early " << c.early;
        d.SetEarlyChange(!c.early);
        EXPECT_NE(d.Decompress(data), expected) << "early " << !c.early;
    }
}

TEST(LZW, BottomFillOrderAndDefinedCodes) {
    // Codes 65 66 258 (AB, defined as the code being made) 259, LSB first.
    TPDFLZWDecompressor d;
    d.SetFillOrder(foBottom);
    std::string out;
    std::vector<unsigned> codes = {256, 65, 66, 258, 260, 257};
    unsigned long long acc = 0;
    int bits = 0;
    for (unsigned c : codes) {
        acc |= static_cast<unsigned long long>(c) << bits;
        bits += 9;
        while (bits >= 8) {
            out += static_cast<char>(acc & 0xFF);
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits) out += static_cast<char>(acc & 0xFF);
    // 65 -> A; 66 -> B (258 = AB); 258 -> AB (259 = BA); 260 is the code being
    // defined: ABA (260 = ABA).
    EXPECT_EQ(d.Decompress(out), "ABABABA");
}

TEST(LZW, InitialCodeSizeIsBounded) {
    const std::string data = LzwLiterals("hello");
    for (unsigned size : {0u, 1u, 13u, 32u, 40u, 4000000000u}) {
        TPDFLZWDecompressor d;
        d.SetInitialCodeSize(size);
        EXPECT_EQ(d.Decompress(data), "") << size;
    }
    TPDFLZWDecompressor d;
    EXPECT_EQ(d.Decompress(data), "hello");
}

TEST(LZW, PredictorsAfterDecoding) {
    struct Case {
        const char* name;
        int predictor, colors, bpc, columns;
        std::string raw, expected;
    };
    const std::vector<Case> cases = {
        {"png up", 12, 1, 8, 2, Bytes({2, 1, 2, 2, 1, 1}), Bytes({1, 2, 2, 3})},
        {"tiff rgb", 2, 3, 8, 2, Bytes({0x10, 0x20, 0x30, 1, 1, 1}),
         Bytes({0x10, 0x20, 0x30, 0x11, 0x21, 0x31})},
        {"tiff 4-bit, partial row kept", 2, 1, 4, 4, Bytes({0xF1, 0x11, 0x77}),
         Bytes({0xF0, 0x12, 0x77})},
        {"tiff bpc 0 counts as 8", 2, 1, 0, 2, Bytes({1, 1, 2, 2}), Bytes({1, 2, 2, 4})},
    };
    for (const auto& c : cases) {
        TPDFLZWParms p;
        p.Predictor = c.predictor;
        p.Colors = c.colors;
        p.BitsPerComponent = c.bpc;
        p.Columns = c.columns;
        TPDFLZWDecompressor d;
        EXPECT_EQ(Hex(d.Decompress(LzwLiterals(c.raw), p)), Hex(c.expected)) << c.name;
    }
    TPDFLZWParms bad;
    bad.Predictor = 12;
    bad.Colors = 1;
    bad.Columns = 0;
    TPDFLZWDecompressor d;
    EXPECT_EQ(d.Decompress(LzwLiterals("abc"), bad), "");
}

TEST(LZW, FullTableWithoutClearStaysBounded) {
    // Thousands of codes naming the last table slot, with no clear code: the
    // output grows linearly with the input.
    CodeWriter w;
    w.Put(256, 9);
    w.Put('x', 9);
    unsigned next = 258, width = 9;
    auto put = [&](unsigned code) {
        w.Put(code, width);
        if (next < 4095) {
            if (next == (1u << width) - 2 && width < 12) ++width;
            ++next;
        }
    };
    for (int i = 0; i < 3837; ++i) put('x');
    for (int i = 0; i < 20000; ++i) put(4095);
    put(257);
    TPDFLZWDecompressor d;
    d.SetEarlyChange(true);
    const std::string out = d.Decompress(w.Finish());
    EXPECT_GT(out.size(), 3838u);
    EXPECT_LT(out.size(), 20000u * 4096u);
}

TEST(ASCII85, DecodeVectors) {
    struct Case {
        std::string in, hex;
    };
    for (const Case& c : std::vector<Case>{
             {"9jqo^~>", "4D 61 6E 20"},
             {"9jqo~>", "4D 61 6E"},
             {"9jqo^ ~>\r\n", "4D 61 6E 20"},
             {"9j\nqo\t^~>", "4D 61 6E 20"},
             {"z~>", "00 00 00 00"},
             {"!!~>", "00"},
             {"!~>", ""},
             {"~>", ""},
             {"", ""},
             {"s8W-!~>", "FF FF FF FF"},
             {"uuuuu~>", "00 00 00 00"},         // above 2^32 - 1
             {"9jqo^", "4D 61 6E 20"},           // no end mark: decoded to the end
             {"9jqo^~>9jqo^~>", "4D 61 6E 20"},  // nothing after the end mark
             {"9jqo^9j~qo^", "4D 61 6E 20 4D"},  // a lone '~' ends the data too
         }) {
        EXPECT_EQ(Hex(DecodeASCII85(c.in)), c.hex) << c.in;
    }
}

TEST(ASCII85, EncodeVectorsAndRoundTrip) {
    EXPECT_EQ(EncodeASCII85(std::string(4, '\0')), "z~>");
    EXPECT_EQ(EncodeASCII85(""), "~>");
    EXPECT_EQ(EncodeASCII85(std::string(1, '\0')), "!!~>");
    EXPECT_EQ(EncodeASCII85("Man "), "9jqo^~>");
    // 'z' stands only for a whole zero group: a group ending in "!!" followed
    // by two zero bytes ("!!!") must not collapse into 'z'.
    const std::string tricky = Bytes({0x00, 0x00, 0x1C, 0x39, 0x00, 0x00});
    EXPECT_EQ(EncodeASCII85(tricky), "!!\"!!!!!~>");
    EXPECT_EQ(DecodeASCII85(EncodeASCII85(tricky)), tricky);
    EXPECT_EQ(EncodeASCII85(std::string(5, '\0')), "z!!~>");
    for (std::size_t n : {1u, 2u, 3u, 4u, 5u, 57u, 1000u}) {
        std::string data = RandomBytes(n, static_cast<unsigned>(n));
        for (std::size_t i = 0; i < n; i += 7) data[i] = 0;
        const std::string enc = EncodeASCII85(data);
        EXPECT_EQ(DecodeASCII85(enc), data) << n;
        std::size_t lineStart = 0;
        for (std::size_t p = enc.find("\r\n"); p != std::string::npos;
             p = enc.find("\r\n", lineStart)) {
            EXPECT_LE(p - lineStart, 75u);
            lineStart = p + 2;
        }
    }
}

TEST(RunLength, Vectors) {
    EXPECT_EQ(DecodeRunLength(Bytes({0x02, 0x41, 0x42, 0x43, 0xFD, 0x5A, 0x80, 0x41})), "ABCZZZZ");
    EXPECT_EQ(DecodeRunLength(""), "");
    EXPECT_EQ(DecodeRunLength(Bytes({0x05, 0x41, 0x42})), "AB");  // literal cut short
    EXPECT_EQ(DecodeRunLength(Bytes({0x81})), "");                // run without its byte
    EXPECT_EQ(DecodeRunLength(Bytes({0x81, 0x41})), std::string(128, 'A'));
    // Long runs grow the buffer without a copy per run.
    std::string runs;
    for (int i = 0; i < 100000; ++i) runs += Bytes({0x81, 'x'});
    EXPECT_EQ(DecodeRunLength(runs).size(), 12800000u);
}

TEST(ASCIIHex, Vectors) {
    EXPECT_EQ(Hex(DecodeASCIIHex("41 42\n4>")), "41 42 40");
    EXPECT_EQ(DecodeASCIIHex(">"), "");
    EXPECT_EQ(Hex(DecodeASCIIHex("4a4B")), "4A 4B");
    EXPECT_EQ(Hex(DecodeASCIIHex("GZ41")), "00 41");  // a pair that is not hex
    EXPECT_EQ(Hex(DecodeASCIIHex("41>42")), "41");    // nothing after the end mark
}

TEST(Codecs, RandomInputNeverCrashes) {
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        std::string data = RandomBytes(1 + rng() % 3000, rng());
        (void)FlateDecompress(data);
        (void)DecodeASCII85(data);
        (void)DecodeRunLength(data);
        (void)DecodeASCIIHex(data);
        for (bool early : {false, true})
            for (auto order : {foTop, foBottom}) {
                TPDFLZWDecompressor d;
                d.SetEarlyChange(early);
                d.SetFillOrder(order);
                d.SetInitialCodeSize(2 + rng() % 11);
                TPDFLZWParms p;
                p.Predictor = (round % 2) ? 2 : 12;
                p.Colors = 1 + rng() % 4;
                p.BitsPerComponent = 1 << (rng() % 5);
                p.Columns = 1 + rng() % 50;
                (void)d.Decompress(data, p);
            }
        TPDFFlateParms p;
        p.Predictor = 10 + rng() % 5;
        p.Colors = 1 + rng() % 4;
        p.BitsPerComponent = 1 << (rng() % 5);
        p.Columns = 1 + rng() % 50;
        (void)FlateDecompressWithPredictor(FlateCompress(data), p);
        p.Predictor = 2;
        (void)FlateDecompressWithPredictor(FlateCompress(data), p);
    }
}
