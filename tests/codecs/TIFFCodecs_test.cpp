// The TIFF reader, the page writers through the graphics platform's encoder
// and the joining of page files into one multipage file.
#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "codecs/CCITTDecoder.h"
#include "codecs/TIFFReader.h"
#include "codecs/TIFFWriters.h"
#include "render/Picasso.h"
#include "tests/codecs/TIFFFiles.h"
#include "tests/support/TestSupport.h"

using namespace velmo;
using namespace tifftest;

namespace {

TIFD SizedPage(uint32_t W, uint32_t H) { return RGBPage(W, H, std::string(size_t(W) * H * 3, '\x7F')); }

TBitmap Picture(int W, int H) {
    TBitmap B(W, H, pf24bit);
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X) B.SetPixel(X, Y, TColor((X * 40) % 256 | ((Y * 70) % 256) << 8 | 0x400000));
    return B;
}

void ExpectSamePixels(const TBitmap& A, const TBitmap& B) {
    ASSERT_EQ(A.Width(), B.Width());
    ASSERT_EQ(A.Height(), B.Height());
    for (int Y = 0; Y < A.Height(); ++Y)
        for (int X = 0; X < A.Width(); ++X)
            ASSERT_EQ(A.GetPixel(X, Y), B.GetPixel(X, Y)) << X << "," << Y;
}

// ---------------------------------------------------------------------------
// Reader

TEST(TIFFReader, PagesOfAChain) {
    std::vector<TIFD> Pages;
    for (uint32_t I = 1; I <= 5; ++I) Pages.push_back(SizedPage(I, 1));
    const std::string S = Build(Pages);
    TPDFTIFF T;
    T.LoadFromString(S, 2);
    ASSERT_TRUE(T.ValidTIFF());
    EXPECT_EQ(T.PageCount(), 1);
    TTIFFPage P;
    ASSERT_TRUE(T.GetPage(1, P));
    EXPECT_EQ(P.Width, 3);
    T.LoadFromString(S, 9);  // beyond the chain: the first page
    ASSERT_TRUE(T.GetPage(1, P));
    EXPECT_EQ(P.Width, 1);
    T.LoadFromString(S, -1);
    EXPECT_EQ(T.PageCount(), 5);
    ASSERT_TRUE(T.GetPage(5, P));
    EXPECT_EQ(P.Width, 5);
    P.Width = 77;
    EXPECT_FALSE(T.GetPage(6, P));
    EXPECT_EQ(P.Width, 77);
    EXPECT_EQ(T.GetIFDPointer(0), "");
    EXPECT_EQ(T.GetIFDPointer(1).size(), 4u);
}

TEST(TIFFReader, TagEdgeCases) {
    struct TCase {
        const char* Name;
        std::vector<TEntry> Extra;
        int XRes;
        TTIFFCompression Kind;
        bool Align;
    };
    const TCase Cases[] = {
        {"centimetres", {{282, 5, 1, {11811, 100}}, {296, 3, 1, {3}}}, 300, ttUnknown, false},
        {"inches", {{282, 5, 1, {300, 1}}, {296, 3, 1, {2}}}, 300, ttUnknown, false},
        {"zero denominator", {{282, 5, 1, {300, 0}}}, 0, ttUnknown, false},
        {"T4 options 5", {{259, 3, 1, {3}}, {292, 4, 1, {5}}}, 0, ttCCITT32d, true},
        {"T4 options 0", {{259, 3, 1, {3}}, {292, 4, 1, {0}}}, 0, ttCCITT31d, false},
        {"LZW", {{259, 3, 1, {5}}}, 0, ttComp, false},
        {"old JPEG", {{259, 3, 1, {6}}}, 0, ttJPEG, false},
        {"unknown", {{259, 3, 1, {99}}}, 0, ttUnknown, false},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TIFD D;
        D.Entries = {{256, 4, 1, {4}}, {257, 4, 1, {4}}};
        D.Entries.insert(D.Entries.end(), C.Extra.begin(), C.Extra.end());
        TPDFTIFF T;
        T.LoadFromString(Build({D}), 0);
        TTIFFPage P;
        ASSERT_TRUE(T.GetPage(1, P));
        EXPECT_EQ(P.XRes, C.XRes);
        EXPECT_EQ(P.Compression, C.Kind);
        EXPECT_EQ(P.EncodedByteAlign, C.Align);
    }
}

TEST(TIFFReader, FewerByteCountsThanOffsetsGiveEmptyStrips) {
    TIFD D;
    D.Strip = "abcdefgh";
    D.Entries = {{256, 4, 1, {2}}, {257, 4, 1, {3}}, {273, 4, 3, {8, 10, 12}}, {279, 4, 2, {2, 2}}};
    TPDFTIFF T;
    T.LoadFromString(Build({D}), -1);
    TTIFFPage P;
    ASSERT_TRUE(T.GetPage(1, P));
    EXPECT_EQ(P.Strips, std::vector<std::string>(3));
}

TEST(TIFFReader, StripAndTileTagsTogetherAreInvalid) {
    TIFD D;
    D.Entries = {{256, 4, 1, {2}}, {273, 4, 1, {8}}, {324, 4, 1, {8}}};
    TPDFTIFF T;
    T.LoadFromString(Build({D}), -1);
    EXPECT_FALSE(T.ValidTIFF());
    T.LoadFromString("II*", -1);
    EXPECT_FALSE(T.ValidTIFF());
    T.LoadFromString(std::string("II\x2B\0\x08\0\0\0", 8), -1);
    EXPECT_FALSE(T.ValidTIFF());
}

TEST(TIFFReader, UncompressedRGBRowIsStoredBlueGreenRed) {
    TPDFTIFF T;
    T.LoadFromString(Build({RGBPage(2, 1, std::string("\x0A\x14\x1E\x28\x32\x3C", 6))}), 0);
    T.SimpleExtract(1);
    ASSERT_EQ(T.Bitmap().Width(), 2);
    const uint8_t* Row = T.Bitmap().ScanLine(0);
    EXPECT_EQ(std::vector<int>(Row, Row + 6), (std::vector<int>{30, 20, 10, 60, 50, 40}));
}

TEST(TIFFReader, ShortStripPadsWithWhite) {
    TPDFTIFF T;
    T.LoadFromString(Build({RGBPage(2, 2, std::string("\x01\x02\x03", 3))}), 0);
    T.SimpleExtract(1);
    EXPECT_EQ(T.Bitmap().GetPixel(0, 0), TColor(0x030201));
    EXPECT_EQ(T.Bitmap().GetPixel(1, 1), TColor(0xFFFFFF));
}

TEST(TIFFReader, HostileFilesEndCleanly) {
    // A chain that points back at itself, and one that points past the end.
    std::vector<size_t> At;
    std::string Loop = Build({SizedPage(1, 1), SizedPage(2, 1)}, true, &At);
    Put(Loop, Loop.size() - 4, At[0], 4, true);
    TPDFTIFF T;
    T.LoadFromString(Loop, -1);
    EXPECT_EQ(T.PageCount(), 2);
    std::string Past = Build({SizedPage(1, 1)});
    Put(Past, Past.size() - 4, 0xFFFFFFF0u, 4, true);
    T.LoadFromString(Past, -1);
    EXPECT_EQ(T.PageCount(), 1);

    // Count × type size wraps in 32 bits (2^29 DOUBLEs are 2^32 bytes); a
    // strip count of 2^30 LONGs points nowhere.
    TIFD D = SizedPage(1, 1);
    D.Entries.push_back({282, 12, 0x20000000u, {}});
    D.Entries.push_back({324, 4, 0x40000000u, {}});
    T.LoadFromString(Build({D}), -1);
    EXPECT_FALSE(T.ValidTIFF());  // strip and tile offsets mixed
    TIFD Big;
    Big.Entries = {{256, 4, 1, {70000}}, {257, 4, 1, {70000}}, {273, 4, 0x40000000u, {}},
                   {279, 4, 1, {100}}};
    T.LoadFromString(Build({Big}), -1);
    ASSERT_EQ(T.PageCount(), 1);
    TTIFFPage P;
    T.GetPage(1, P);
    EXPECT_TRUE(P.Strips.empty());
    // Beyond the pixel cap nothing is decoded.
    T.SimpleExtract(1);
    T.CompDecode(1);
    EXPECT_TRUE(T.Bitmap().Empty());

    // Thousands of strips all naming the whole file copy no more than a
    // bounded multiple of the file.
    TIFD Many = SizedPage(1, 1);
    Many.Entries[5] = {273, 4, 20000, std::vector<uint32_t>(20000, 0)};
    Many.Entries[8] = {279, 4, 20000, std::vector<uint32_t>(20000, 200000)};
    const std::string M = Build({Many});
    T.LoadFromString(M, -1);
    T.GetPage(1, P);
    size_t Total = 0;
    for (const std::string& S : P.Strips) Total += S.size();
    EXPECT_LE(Total, 2 * M.size() + (size_t(1) << 24));
}

TEST(TIFFReader, SavedPageHoldsOneStripByteCount) {
    TTIFFPage Page;
    Page.Width = 16;
    Page.Height = 4;
    Page.BitsPerSample = 1;
    Page.RowsPerStrip = 4;
    Page.Strips = {std::string(11, '\x55')};
    const std::string S = TPDFTIFF(Page).SaveToString();
    const uint32_t IFD = uint32_t(Get(S, 4, 4, true));
    const uint32_t N = uint32_t(Get(S, IFD, 2, true));
    int Counts = 0;
    uint32_t PrevTag = 0;
    for (uint32_t K = 0; K < N; ++K) {
        const size_t E = IFD + 2 + 12 * K;
        const uint32_t Tag = uint32_t(Get(S, E, 2, true));
        EXPECT_GT(Tag, PrevTag);
        PrevTag = Tag;
        if (Tag == 279) {
            ++Counts;
            EXPECT_EQ(Get(S, E + 8, 4, true), 11u);
        }
    }
    EXPECT_EQ(Counts, 1);
    TPDFTIFF Back;
    Back.LoadFromString(S, -1);
    TTIFFPage P;
    ASSERT_TRUE(Back.GetPage(1, P));
    EXPECT_EQ(P.Compression, ttCCITT4);
    EXPECT_EQ(P.Strips, Page.Strips);
    EXPECT_EQ(P.XRes, 96);
}

// Both byte orders of one image give the same pages and pixels.
TEST(TIFFReader, BigEndianFilesMadeByTiffcp) {
    VPL_REQUIRE_TOOL("tiffcp");
    VPL_REQUIRE_TOOL("convert");
    vpltest::TempDir Dir;
    const auto Src = Dir / "src.ppm";
    ASSERT_EQ(vpltest::RunCommand({"convert", "-size", "21x9", "gradient:orange-navy", "-depth", "8",
                                   Src.string()}).exitCode, 0);
    struct TCase {
        const char* Name;
        std::vector<std::string> Args;
    };
    const TCase Cases[] = {{"none", {"-c", "none"}},
                           {"lzw", {"-c", "lzw", "-r", "4"}},
                           {"lzw predictor", {"-c", "lzw:2", "-r", "7"}}};
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        const auto Tif = Dir / "le.tif", Le = Dir / "l.tif", Be = Dir / "b.tif";
        ASSERT_EQ(vpltest::RunCommand({"convert", Src.string(), "-compress", "none", Tif.string()}).exitCode, 0);
        std::vector<std::string> A = {"tiffcp"};
        A.insert(A.end(), C.Args.begin(), C.Args.end());
        auto L = A, B = A;
        L.insert(L.end(), {"-L", Tif.string(), Le.string()});
        B.insert(B.end(), {"-B", Tif.string(), Be.string()});
        ASSERT_EQ(vpltest::RunCommand(L).exitCode, 0);
        ASSERT_EQ(vpltest::RunCommand(B).exitCode, 0);
        const std::string LS = vpltest::ReadFile(Le), BS = vpltest::ReadFile(Be);
        ASSERT_EQ(BS.substr(0, 2), "MM");
        TPDFTIFF TL, TB;
        TL.LoadFromString(LS, -1);
        TB.LoadFromString(BS, -1);
        ASSERT_EQ(TB.PageCount(), 1);
        TTIFFPage PL, PB;
        TL.GetPage(1, PL);
        TB.GetPage(1, PB);
        EXPECT_EQ(PB.Width, 21);
        EXPECT_EQ(PB.Height, 9);
        EXPECT_EQ(PB.RowsPerStrip, PL.RowsPerStrip);
        EXPECT_EQ(PB.Strips.size(), PL.Strips.size());
        if (PB.Compression == ttComp) {
            TL.CompDecode(1);
            TB.CompDecode(1);
        } else {
            TL.SimpleExtract(1);
            TB.SimpleExtract(1);
        }
        ExpectSamePixels(TL.Bitmap(), TB.Bitmap());
        EXPECT_FALSE(TB.Bitmap().Empty());
    }
}

// ---------------------------------------------------------------------------
// Page writers

TEST(TIFFWriters, RGBPageReadsBack) {
    const TBitmap B = Picture(37, 11);
    TMemoryStream Out;
    SaveBitmapAsTIFF(B, Out, nullptr, 300);
    TPDFTIFF T;
    T.LoadFromString(Out.Bytes(), -1);
    ASSERT_EQ(T.PageCount(), 1);
    TTIFFPage P;
    T.GetPage(1, P);
    EXPECT_EQ(P.Compression, ttComp);
    EXPECT_EQ(P.PhotometricInterpretation, piRGB);
    EXPECT_EQ(P.SamplesPerPixel, 3);
    EXPECT_EQ(P.BitsPerSample, 8);
    EXPECT_EQ(P.XRes, 300);
    EXPECT_EQ(P.YRes, 300);
    T.CompDecode(1);
    ExpectSamePixels(T.Bitmap(), B);
}

// The joiner moves only LONG strip offsets: the encoder's pages must hold
// them so, and no tiles.
TEST(TIFFWriters, PagesHoldLongStripOffsets) {
    for (bool G4 : {false, true}) {
        TMemoryStream Out;
        const TBitmap B = Picture(300, 200);
        if (G4)
            SaveBitmapAsG4TIFF(B, Out, nullptr, 72);
        else
            SaveBitmapAsTIFF(B, Out, nullptr, 72);
        const std::string& S = Out.Bytes();
        ASSERT_EQ(S.substr(0, 2), "II");
        const uint32_t IFD = uint32_t(Get(S, 4, 4, true));
        bool Found = false;
        for (uint32_t K = 0; K < Get(S, IFD, 2, true); ++K) {
            const size_t E = IFD + 2 + 12 * K;
            const uint64_t Tag = Get(S, E, 2, true);
            EXPECT_NE(Tag, 324u);
            if (Tag == 273) {
                Found = true;
                EXPECT_EQ(Get(S, E + 2, 2, true), 4u) << "G4 " << G4;
            }
        }
        EXPECT_TRUE(Found);
    }
}

TEST(TIFFWriters, GroupFourThreshold) {
    // Light greys the encoder's own rule leaves white; a threshold of 200
    // blackens those whose sum is below 600.
    TBitmap B(16, 2, pf24bit);
    for (int X = 0; X < 16; ++X) {
        B.SetPixel(X, 0, X < 8 ? TColor(0xBEBEBE) : TColor(0xC8C8C8));  // 190 and 200
        B.SetPixel(X, 1, TColor(0xFFFFFF));
    }
    for (int Threshold : {0, 200}) {
        SCOPED_TRACE(Threshold);
        TGDIPlusSettings S;
        InitGDIPlusSettings(S);
        S.MonoThreshold = Threshold;
        TMemoryStream Out;
        SaveBitmapAsG4TIFF(B, Out, &S, 96);
        EXPECT_EQ(B.GetPixel(0, 0), TColor(0xBEBEBE));  // the caller's bitmap is kept
        TPDFTIFF T;
        T.LoadFromString(Out.Bytes(), -1);
        TTIFFPage P;
        ASSERT_TRUE(T.GetPage(1, P));
        EXPECT_EQ(P.Compression, ttCCITT4);
        EXPECT_EQ(P.BitsPerSample, 1);
        EXPECT_EQ(P.PhotometricInterpretation, piWhiteIsZero);
        ASSERT_EQ(P.Strips.size(), 1u);
        TCCITTByteArray Bits(4, 0);
        TVPLCCITTDecoder D(16, 2, 1, false, false, 1);
        ASSERT_TRUE(D.DecodeT6(Bits, P.Strips[0]));
        const int Expected = Threshold ? 0xFF : 0;
        EXPECT_EQ(int(Bits[0]), Expected);
        EXPECT_EQ(int(Bits[1]), 0);
        EXPECT_EQ(int(Bits[2]), 0);
    }
}

// ---------------------------------------------------------------------------
// Joining

// A page of 1,000 bytes: strip offsets in the entry (count 1) and in an
// array (count 8, second IFD), ASCII of 4 and of 5 bytes, a rational.
std::string JoinPage(bool Intel, std::vector<size_t>* At) {
    TIFD A = SizedPage(10, 10);  // 300 bytes of strip
    A.Entries.push_back({270, 2, 4, {}});
    A.Entries.push_back({305, 2, 5, {}});
    A.Entries.push_back({282, 5, 1, {72, 1}});
    TIFD B;
    B.Strip = std::string(400, 'b');
    std::vector<uint32_t> Offs;
    for (uint32_t I = 0; I < 8; ++I) Offs.push_back(8 + 300 + 50 * I);  // anywhere; checked as moved
    B.Entries = {{256, 4, 1, {8}}, {257, 4, 1, {8}}, {273, 4, 8, Offs}, {279, 4, 8, std::vector<uint32_t>(8, 50)}};
    std::string S = Build({A, B}, Intel, At);
    S.resize(1000, '\0');
    return S;
}

struct TRawEntry {
    uint64_t Tag, Type, Count, Value;
};
std::vector<TRawEntry> Entries(const std::string& S, size_t IFD, bool Intel) {
    std::vector<TRawEntry> Out;
    for (uint64_t K = 0; K < Get(S, IFD, 2, Intel); ++K) {
        const size_t E = IFD + 2 + 12 * K;
        Out.push_back({Get(S, E, 2, Intel), Get(S, E + 2, 2, Intel), Get(S, E + 4, 4, Intel), Get(S, E + 8, 4, Intel)});
    }
    return Out;
}

TEST(TIFFJoin, OffsetsMoveByTheOutputSize) {
    for (bool Intel : {true, false}) {
        SCOPED_TRACE(Intel ? "II" : "MM");
        std::vector<size_t> At, Unused;
        const std::string Page = JoinPage(Intel, &At);
        std::string First = Build({SizedPage(30, 20)}, Intel, &Unused);
        First.resize(5000, '\0');
        TMemoryStream Target, Source;
        Target.WriteBuffer(First);
        Source.WriteBuffer(Page);
        ASSERT_TRUE(AppendTIFFStream(Target, Source));
        const std::string& Out = Target.Bytes();
        ASSERT_EQ(Out.size(), 6000u);
        const size_t Link = Unused[0] + 2 + 12 * Get(First, Unused[0], 2, Intel);
        EXPECT_EQ(Get(Out, Link, 4, Intel), 5000 + At[0]);
        const auto Old = Entries(Page, At[0], Intel), New = Entries(Out, 5000 + At[0], Intel);
        for (size_t K = 0; K < Old.size(); ++K) {
            const bool Moves = Old[K].Tag == 273 || TypeSize(uint16_t(Old[K].Type)) * Old[K].Count > 4;
            EXPECT_EQ(New[K].Value, Old[K].Value + (Moves ? 5000 : 0)) << "tag " << Old[K].Tag;
        }
        // The second IFD: reached from the first, its array of offsets moved,
        // its own next pointer still 0.
        const size_t Next = 5000 + At[0] + 2 + 12 * Old.size();
        EXPECT_EQ(Get(Out, Next, 4, Intel), 5000 + At[1]);
        const auto Second = Entries(Out, 5000 + At[1], Intel);
        const auto SecondOld = Entries(Page, At[1], Intel);
        EXPECT_EQ(Second[2].Value, SecondOld[2].Value + 5000);
        for (uint64_t J = 0; J < 8; ++J)
            EXPECT_EQ(Get(Out, Second[2].Value + 4 * J, 4, Intel),
                      Get(Page, SecondOld[2].Value + 4 * J, 4, Intel) + 5000);
        EXPECT_EQ(Get(Out, 5000 + At[1] + 2 + 12 * Second.size(), 4, Intel), 0u);
        TPDFTIFF T;
        T.LoadFromString(Out, -1);
        EXPECT_EQ(T.PageCount(), 3);
    }
}

TEST(TIFFJoin, EmptyTargetTakesThePageUnchanged) {
    std::vector<size_t> At;
    const std::string Page = JoinPage(true, &At);
    TMemoryStream Target, Source;
    Source.WriteBuffer(Page);
    ASSERT_TRUE(AppendTIFFStream(Target, Source));
    EXPECT_EQ(Target.Bytes(), Page);
}

TEST(TIFFJoin, LoopingChainsEnd) {
    std::vector<size_t> At, TAt;
    std::string Page = Build({SizedPage(2, 2), SizedPage(3, 3)}, true, &At);
    Put(Page, Page.size() - 4, At[0], 4, true);  // the second IFD points to the first
    std::string First = Build({SizedPage(4, 4)}, true, &TAt);
    Put(First, First.size() - 4, TAt[0], 4, true);  // the output's IFD points to itself
    TMemoryStream Target, Source;
    Target.WriteBuffer(First);
    Source.WriteBuffer(Page);
    ASSERT_TRUE(AppendTIFFStream(Target, Source));
    const std::string& Out = Target.Bytes();
    EXPECT_EQ(Get(Out, TAt[0] + 2 + 12 * 9, 4, true), First.size() + At[0]);
    EXPECT_EQ(Get(Out, Out.size() - 4, 4, true), 0u);  // the loop is cut
    TPDFTIFF T;
    T.LoadFromString(Out, -1);
    EXPECT_EQ(T.PageCount(), 3);
}

// A stream that claims a size past the classic format's offsets.
class THugeStream : public TMemoryStream {
public:
    int64_t Claimed = 0;
    int64_t GetSize() override { return Claimed; }
};

TEST(TIFFJoin, RefusesToPassTheOffsetLimit) {
    const std::string Page = Build({SizedPage(2, 2)});
    for (int64_t Size : {int64_t(std::numeric_limits<int32_t>::max()) + 1,
                         int64_t(std::numeric_limits<uint32_t>::max()) - 10}) {
        THugeStream Target;
        Target.Claimed = Size;
        TMemoryStream Source;
        Source.WriteBuffer(Page);
        EXPECT_FALSE(AppendTIFFStream(Target, Source));
        EXPECT_EQ(Target.Bytes().size(), 0u);
        EXPECT_EQ(Source.Bytes(), Page);
    }
}

TEST(TIFFJoin, MultipageWriterKeepsEveryPage) {
    const std::vector<TBitmap> Pages = {Picture(20, 10), Picture(7, 31), Picture(64, 3)};
    TMemoryStream Out;
    TMultipageTIFFWriter W(Out);
    for (const TBitmap& B : Pages) {
        TMemoryStream P;
        SaveBitmapAsTIFF(B, P, nullptr, 150);
        ASSERT_TRUE(W.AddPage(P));
    }
    TMemoryStream NotTIFF;
    NotTIFF.WriteBuffer("GIF89a");
    EXPECT_FALSE(W.AddPage(NotTIFF));
    EXPECT_EQ(W.PageCount(), 3);
    TPDFTIFF T;
    T.LoadFromString(Out.Bytes(), -1);
    ASSERT_EQ(T.PageCount(), 3);
    for (int I = 0; I < 3; ++I) {
        T.CompDecode(I + 1);
        ExpectSamePixels(T.Bitmap(), Pages[size_t(I)]);
    }
}

}  // namespace
