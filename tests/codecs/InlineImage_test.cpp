// The inline-image parser: dictionary forms, colour spaces from the
// resources, and the end of the image bytes under every filter rule,
// including the mended ones (64-bit unfiltered size, Flate ends found
// without inflating from the start at every candidate, indexed lookups
// shielded from the colour-space normalisation).
#include "codecs/InlineImage.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>

#include "codecs/JPEGImage.h"
#include "core/Filters.h"
#include "core/Flate.h"
#include "core/Structure.h"
#include "tests/support/TestSupport.h"

using namespace velmo;

namespace {

struct TParsed {
    bool Ok = false;
    int64_t Pos = 0;
    TPDFInlineImage Img;
};

// Parses the inline image after the first "BI" of Content.
TParsed Parse(const std::string& Content, TPDFDictionary* Resources = nullptr) {
    TParsed R;
    R.Pos = int64_t(Content.find("BI")) + 3;
    R.Ok = ParseInlineImage(Content, R.Pos, R.Img, nullptr, Resources);
    return R;
}

// 1-based index of the first "EI" at or after From (0-based search start).
int64_t EIAt(const std::string& Content, size_t From = 0) {
    return int64_t(Content.find("EI", From)) + 1;
}

bool White(unsigned char C) { return C == 0 || C == 9 || C == 10 || C == 12 || C == 13 || C == 32; }

// The end of Flate image data by the rule's letter: every candidate's
// prefix inflated from the start.
int64_t ReferenceFlateEnd(const std::string& C, int64_t P0, int64_t Expected, bool RunLength) {
    const int64_t Len = int64_t(C.size());
    auto At = [&](int64_t P) { return P >= 1 && P <= Len ? (unsigned char)C[size_t(P - 1)] : 0; };
    for (int64_t P = P0; P <= Len - 1; ++P) {
        if (At(P) != 'E' || At(P + 1) != 'I' || !White(At(P + 2))) continue;
        bool Ok = true;
        if (P + 2 <= Len - 10)
            for (int64_t I = P + 3; I <= P + 12; ++I)
                if (!((At(I) >= 32 && At(I) <= 122) || White(At(I)))) Ok = false;
        if (!Ok) continue;
        std::string D = FlateDecompress(C.substr(size_t(P0), size_t(P + 1 - P0)));
        if (RunLength) D = DecodeRunLength(D);
        if (Expected - int64_t(D.size()) < 4) return P - 1;
    }
    return Len - 2;
}

}  // namespace

TEST(InlineImage, DictionaryForms) {
    const struct {
        const char* Name;
        std::string Content;
        int W, H, BPC;
        const char* ColorSpace;
        const char* Filter;
        const char* DecodeParms;
        const char* Decode;
        bool Mask;
    } cases[] = {
        {"gray abbreviations", "BI /W 2 /H 2 /BPC 8 /CS /G ID \x01\x02\x03\x04\nEI", 2, 2, 8,
         "DeviceGray", "", "", "", false},
        {"full keys",
         "BI /Width 3 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceRGB ID abcdefghi EI", 3, 1,
         8, "DeviceRGB", "", "", "", false},
        {"mask without depth", "BI /W 8 /H 1 /IM true ID \xAA EI", 8, 1, 1, "/DeviceGray", "", "",
         "", true},
        {"mask false", "BI /W 8 /H 1 /IM false /BPC 1 ID \xAA EI", 8, 1, 1, "", "", "", "", false},
        {"filter array", "BI /W 1 /H 1 /F [/AHx /DCT] ID 00> EI", 1, 1, 0, "",
         "[ /ASCIIHexDecode /DCTDecode ]", "", "", false},
        {"parameters dictionary",
         "BI /W 8 /H 1 /BPC 1 /F /CCF /DP << /K -1 /Columns 8 >> ID \x01 EI", 8, 1, 1, "",
         "/CCITTFaxDecode", "[ << /K -1 /Columns 8 >> ]", "", false},
        {"parameters array", "BI /W 8 /H 1 /DP [ null ] /D [1 0] ID \x01 EI", 8, 1, 0, "", "",
         "[ null ]", "[ 1 0 ]", false},
        {"unknown keys skipped", "BI /I true /W 4 /Intent /Perceptual /H 1 /BPC 8 ID abcd EI", 4, 1,
         8, "", "", "", "", false},
        {"numbers that do not parse", "BI /W 2.5 /H x /BPC 8 ID \x01 EI", 0, 0, 8, "", "", "", "",
         false},
        {"array colour space", "BI /W 1 /H 1 /BPC 8 /CS [/I /RGB 1 <00FF00FF00FF>] ID \x01 EI", 1,
         1, 8, "[ /Indexed /DeviceRGB 1 <00FF00FF00FF> ]", "", "", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const TParsed R = Parse(c.Content);
        ASSERT_TRUE(R.Ok);
        EXPECT_EQ(R.Img.Width, c.W);
        EXPECT_EQ(R.Img.Height, c.H);
        EXPECT_EQ(R.Img.BitsPerComponent, c.BPC);
        EXPECT_EQ(R.Img.ColorSpace, c.ColorSpace);
        EXPECT_EQ(R.Img.Filter, c.Filter);
        EXPECT_EQ(R.Img.DecodeParms, c.DecodeParms);
        EXPECT_EQ(R.Img.Decode, c.Decode);
        EXPECT_EQ(R.Img.ImageMask, c.Mask);
        EXPECT_EQ(R.Img.ColorSpaceObj, nullptr);
    }
}

TEST(InlineImage, EndRules) {
    std::string Stored = FlateCompressStored(std::string("EI 0123456789abc", 16));
    TPDFJPEGImage J;
    {
        TBitmap B(20, 12, pf24bit);
        for (int Y = 0; Y < 12; ++Y)
            for (int X = 0; X < 60; ++X) B.ScanLine(Y)[X] = uint8_t(X * 7 + Y * 13);
        J.Assign(B);
    }
    TStringStream JS;
    J.SaveToStream(JS);
    const std::string Jpeg = JS.DataString();
    const std::string Gray = "q BI /W 2 /H 2 /BPC 8 /CS /G ID \x01\x02\x03\x04\nEI Q";
    const std::string High =
        std::string("BI /W 4 /H 1 /BPC 8 ID ab") + "EI \x80" + "xxxxxxxxx cd EI Q";
    const std::string FlateIn = "BI /W 16 /H 1 /BPC 8 /F /Fl ID " + Stored + "\nEI Q";
    const std::string Dct = "BI /W 20 /H 12 /BPC 8 /CS /RGB /F /DCT ID " + Jpeg + "\nEI Q";
    const std::string NotJpeg = "BI /W 2 /H 2 /F /DCT ID xyz EI Q";
    const std::string A85 = "BI /W 2 /H 1 /BPC 8 /F [/A85] ID 87cURD]i,\"Ebo80~> EI Q";
    const std::string A85NoEnd = "BI /W 2 /H 1 /BPC 8 /F /A85 ID 87cU EI Q";
    const std::string Tail = "BI /W 2 /H 1 /F /AHx ID 0102>EI \x80";
    const std::string CrLf = "BI /W 1 /H 1 /BPC 8 ID\r\n\x41 EI";
    // One literal run of 128 bytes with a false candidate inside.
    const std::string RunPayload =
        "\x7F" + std::string(50, 'a') + "EI 0123456789abc" + std::string(62, 'b');
    const std::string Run =
        "BI /W 128 /H 1 /BPC 8 /F [/Fl /RL] ID " + FlateCompressStored(RunPayload) + " EI Q";
    // Runs holding "EI " and ending in the end mark, then the same without
    // the mark.
    const std::string RlPayload = std::string("\x05" "aEI bc" "\xFD" "z") + '\x80';
    const std::string Rl = "BI /W 10 /H 1 /BPC 8 /F /RL ID " + RlPayload + " EI Q";
    const std::string RlNoEnd = "BI /W 10 /H 1 /BPC 8 /F [/RL] ID \x01xy EI Q";
    const struct {
        const char* Name;
        std::string Content;
        bool Ok;
        std::string Data;  // expected ImageData
        int64_t Pos;       // expected Pos after the call
    } cases[] = {
        {"unfiltered keeps the byte before EI", Gray, true, "\x01\x02\x03\x04\n", EIAt(Gray)},
        {"EI followed by a high byte is data", High, true, "abEI \x80xxxxxxxxx cd ",
         EIAt(High, High.find("cd"))},
        {"Flate: an early candidate inflates short", FlateIn, true, Stored + "\n",
         EIAt(FlateIn, 40)},
        {"DCT: markers walked to EOI", Dct, true, Jpeg + "\n", EIAt(Dct, Dct.size() - 6) + 2},
        {"DCT without a JPEG start: generic search", NotJpeg, true, "xyz ", EIAt(NotJpeg, 20)},
        {"ASCII85 to its end mark", A85, true, "87cURD]i,\"Ebo80~>", EIAt(A85, A85.find("~>")) + 2},
        {"ASCII85 without end mark", A85NoEnd, true, "", EIAt(A85NoEnd, 28) + 2},
        {"EI near the end: white space alone", Tail, true, "0102>", EIAt(Tail, 20)},
        {"CR LF after ID", CrLf, true, "\n\x41 ", EIAt(CrLf)},
        {"Flate then RunLength", Run, true, FlateCompressStored(RunPayload) + " ",
         int64_t(Run.size()) - 3},
        {"RunLength: runs walked to the end mark", Rl, true, RlPayload,
         EIAt(Rl, Rl.find('\x80')) + 2},
        {"RunLength without end mark: generic search", RlNoEnd, true, "\x01xy ", EIAt(RlNoEnd)},
        {"no ID", "BI /W 1 /H 1 EI Q", false, "", 18},
        {"unfiltered without EI", "BI /W 1 /H 1 /BPC 8 ID abc", false, "", 27},
        {"DCT EOI without EI", "BI /F /DCT ID \xFF\xD8\xFF\xD9 Q", false, "", 21},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const TParsed R = Parse(c.Content);
        EXPECT_EQ(R.Ok, c.Ok);
        EXPECT_EQ(R.Pos, c.Pos);
        if (!c.Ok) continue;
        EXPECT_EQ(R.Img.ImageData, c.Data);
        EXPECT_EQ(R.Img.ImageEnd - R.Img.ImageStart + 1, int64_t(c.Data.size()));
    }
}

TEST(InlineImage, ExpectedSizeNeverWrapsOrMovesBack) {
    const struct {
        const char* Name;
        std::string Content;
        bool Ok;
    } cases[] = {
        {"sizes that wrap 32 bits", "BI /W 2147483647 /H 2147483647 /BPC 8 /CS /RGB ID abcd EI Q",
         false},
        {"wrap to a small positive", "BI /W 65536 /H 65536 /BPC 8 /CS /CMYK ID abcd EI Q", false},
        {"negative width", "BI /W -5 /H 3 /BPC 8 ID abcd EI Q", true},
        {"negative depth", "BI /W 5 /H 3 /BPC -8 ID abcd EI Q", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const int64_t Start = int64_t(c.Content.find("BI")) + 3;
        const TParsed R = Parse(c.Content);
        EXPECT_EQ(R.Ok, c.Ok);
        EXPECT_GE(R.Pos, Start);
        if (c.Ok) EXPECT_EQ(R.Img.ImageData, "abcd ");
    }
}

TEST(InlineImage, NamedColourSpaces) {
    TPDFStructure S;
    auto* Res = S.NewDictionary();
    auto* Spaces = S.NewDictionary();
    Res->Add("ColorSpace", Spaces);
    // A lookup holding a slash, parentheses, a backslash and a line feed.
    const std::string Lookup("/G)\\(\n", 6);
    Spaces->Add("P", S.NewArray({S.NewName("Indexed"), S.NewName("DeviceRGB"), S.NewNumeric(1),
                                 S.NewString(Lookup, smLiteral)}));
    Spaces->Add("Short", S.NewArray({S.NewName("Indexed"), S.NewName("DeviceCMYK"), S.NewNumeric(1),
                                     S.NewString("ab", smHex)}));
    auto* Stream = S.NewStreamWithDict(std::string("\x01\x02\x03", 3), S.NewDictionary());
    Spaces->Add("Big", S.NewArray({S.NewName("Indexed"), S.NewArray({S.NewName("CalRGB")}),
                                   S.NewNumeric(100000000), Stream}));
    Spaces->Add("Cal", S.NewArray({S.NewName("CalRGB"), S.NewDictionary()}));
    Spaces->Add("Icc", S.NewArray({S.NewName("ICCBased"), S.NewNull()}));
    Spaces->Add("One", S.NewArray({S.NewName("Pattern")}));
    const struct {
        const char* Name;
        std::string CS;
        bool WithResources;
        std::string Want;
        std::string WantLookup;
    } cases[] = {
        {"indexed resource", "/P", true, "[ /Indexed /DeviceRGB 1 (/G\\)\\\\\\(\\n) ]", Lookup},
        {"CMYK lookup extended", "/Short", true,
         std::string("[ /Indexed /DeviceCMYK 1 (ab\0\0\0\0\0\0) ]", 37),
         std::string("ab\0\0\0\0\0\0", 8)},
        {"hival beyond a palette: lookup grows to 256 entries", "/Big", true, "",
         std::string(768, '\0')},
        {"CalRGB", "/Cal", true, "DeviceRGB", ""},
        {"ICCBased", "/Icc", true, "ICCBased", ""},
        {"one-element array", "/One", true, "/DeviceRGB", ""},
        {"missing entry", "/Nope", true, "/DeviceRGB", ""},
        {"no resources", "/P", false, "", ""},
        {"device name", "/DeviceCMYK", false, "DeviceCMYK", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const TParsed R = Parse("BI /W 1 /H 1 /BPC 8 /CS " + c.CS + " ID \x01\x02\x03\x04 EI",
                                c.WithResources ? Res : nullptr);
        ASSERT_TRUE(R.Ok);
        if (c.CS == "/Big") {
            std::string Want = std::string("\x01\x02\x03", 3);
            Want.resize(768, '\0');
            EXPECT_EQ(R.Img.IndexedLookup, Want);
            EXPECT_EQ(R.Img.ColorSpace.substr(0, 35),
                      std::string("[ /Indexed /CalRGB 100000000 (\x01\x02\x03\0\0", 35));
            continue;
        }
        EXPECT_EQ(R.Img.ColorSpace, c.Want);
        EXPECT_EQ(R.Img.IndexedLookup, c.WantLookup);
    }
    // The decoder's normalisation leaves the lookup alone.
    EXPECT_EQ(NormalizeInlineColorSpace("[ /I /RGB 1 (/G/RGB/I ) ]"),
              "[ Indexed DeviceRGB 1 (/G/RGB/I ) ]");
    EXPECT_EQ(NormalizeInlineColorSpace("/G"), "DeviceGray");
    EXPECT_EQ(NormalizeInlineColorSpace("[ /Indexed /CMYK 3 <0A/0B> ]"),
              "[ Indexed DeviceCMYK 3 <0A/0B> ]");
}

TEST(InlineImage, FlateEndsMatchInflatingEveryPrefix) {
    // Random stored and compressed data strewn with EI candidates: the
    // incremental search ends where inflating each prefix from the start
    // ends.
    std::mt19937 Rng(7);
    for (int Round = 0; Round < 60; ++Round) {
        SCOPED_TRACE(Round);
        std::string Payload;
        const int N = 20 + int(Rng() % 300);
        for (int I = 0; I < N; ++I) {
            if (Rng() % 9 == 0)
                Payload += "EI abcdefghij";
            else
                Payload += char(Rng() % 3 == 0 ? 0x80 + Rng() % 128 : 32 + Rng() % 90);
        }
        const bool RunLength = Round % 3 == 2;
        const std::string Data = Round % 2 ? FlateCompressStored(Payload) : FlateCompress(Payload);
        const int W = int(Payload.size()) + int(Rng() % 40) - 20;
        const std::string Dict = std::string("BI /W ") + std::to_string(std::max(W, 1)) +
                                 " /H 1 /BPC 8 /F " + (RunLength ? "[/Fl /RL]" : "/Fl") + " ID ";
        const std::string Content = Dict + Data + (Rng() % 2 ? "\nEI Q" : " EI");
        const TParsed R = Parse(Content);
        ASSERT_TRUE(R.Ok);
        const int64_t P0 = int64_t(Dict.size());
        const int64_t Expected = std::min<int64_t>(std::max(W, 1), int64_t(Content.size()));
        EXPECT_EQ(R.Img.ImageEnd, ReferenceFlateEnd(Content, P0, Expected, RunLength));
    }
}

TEST(InlineImage, ManyFlateCandidatesStayLinear) {
    // 40000 false candidates inside one stored block: inflating from the
    // start at each would decode gigabytes.
    std::string Payload;
    for (int I = 0; I < 40000; ++I) Payload += "EI abcdefghij";
    const std::string Content =
        "BI /W 100000000 /H 1 /BPC 8 /F /Fl ID " + FlateCompressStored(Payload) + " EI Q";
    const double T0 = vpltest::ThreadSeconds();
    const TParsed R = Parse(Content);
    const double Seconds = vpltest::ThreadSeconds() - T0;
    EXPECT_TRUE(R.Ok);
    EXPECT_EQ(R.Img.ImageEnd, int64_t(Content.size()) - 2);
    EXPECT_LT(Seconds, 5.0);
}
