// The Type 1 and CFF decoder on small programs built here: loading in every
// form, the font dictionary, the Private conventions, both charstring
// interpreters, the CFF structures, and the limits that keep damaged
// programs from reading outside their data or running without end.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "fonts/CffTables.h"
#include "fonts/Type1Decoder.h"
#include "tests/fonts/RecordingCanvas.h"
#include "tests/fonts/SfntWriter.h"
#include "tests/fonts/Type1CffFixtures.h"

namespace velmo {
namespace {

using namespace velmo::test;

// The outline of glyph Name drawn with the identity matrix; "(none)" when
// RenderToCanvas says the glyph is not there.
std::string Draw(TPDFType1Decoder& D, const std::string& Name, double RX = 0, double RY = 0) {
    TRecordingCanvas C;
    if (!D.RenderToCanvas(RX, RY, &C, IdentityXForm, Name, peStandard)) return "(none)";
    return C.Text();
}

std::string Join(const std::vector<std::string>& V) {
    std::string S;
    for (const auto& X : V) S += (S.empty() ? "" : " | ") + X;
    return S;
}

// ---- Type 1 programs ----

struct TType1Recipe {
    std::vector<std::pair<std::string, std::string>> Glyphs;
    std::vector<std::string> Subrs = StandardSubrs();
    std::string RD = "RD", ND = "ND", NP = "NP";
    int LenIV = 4;
    std::string Encoding = "/Encoding StandardEncoding def\n";
    std::string FontMatrix = "[0.001 0 0 0.001 0 0]";
    std::string SubrsCount;  // the count written, when not the real one
};

// A program whose Private dictionary defines its own procedure names and
// lenIV (-1: charstrings stored plain).
TType1Portions MakeProgram(const TType1Recipe& S) {
    TType1Portions P;
    P.Clear = "%!PS-AdobeFont-1.0: Built 001.000\n11 dict begin\n/FontName /Built def\n" +
              S.Encoding + "/PaintType 0 def\n/FontType 1 def\n/FontMatrix " + S.FontMatrix +
              " readonly def\n/FontBBox {0 -100 1000 900} readonly def\ncurrentdict end\n"
              "currentfile eexec\n";
    auto Enc = [&](const std::string& Text) {
        const std::string C = Type1Charstring(Text);
        return S.LenIV < 0 ? C : Type1Encrypt(C, 4330, S.LenIV);
    };
    std::string Private = "dup /Private 8 dict dup begin\n/" + S.RD +
                          "{string currentfile exch readstring pop}executeonly def\n/" + S.ND +
                          "{noaccess def}executeonly def\n/" + S.NP +
                          "{noaccess put}executeonly def\n/lenIV " + std::to_string(S.LenIV) +
                          " def\n/password 5839 def\n/Subrs " +
                          (S.SubrsCount.empty() ? std::to_string(S.Subrs.size()) : S.SubrsCount) +
                          " array\n";
    for (size_t K = 0; K < S.Subrs.size(); ++K) {
        const std::string C = Enc(S.Subrs[K]);
        Private += "dup " + std::to_string(K) + " " + std::to_string(C.size()) + " " + S.RD +
                   " " + C + " " + S.NP + "\n";
    }
    Private += S.ND + "\n2 index /CharStrings " + std::to_string(S.Glyphs.size()) +
               " dict dup begin\n";
    for (const auto& [Name, Text] : S.Glyphs) {
        const std::string C = Enc(Text);
        Private += "/" + Name + " " + std::to_string(C.size()) + " " + S.RD + " " + C + " " +
                   S.ND + "\n";
    }
    Private += "end\nend\nreadonly put\nnoaccess put\ndup/FontName get exch definefont pop\n"
               "mark currentfile closefile\n";
    P.Encrypted = Type1Encrypt(Private, 55665);
    for (int K = 0; K < 8; ++K) P.Trailer += std::string(64, '0') + "\n";
    P.Trailer += "cleartomark\n";
    return P;
}

const std::vector<std::pair<std::string, std::string>> kSquare = {
    {".notdef", "0 500 hsbw endchar"},
    {"A", "100 600 hsbw 0 0 rmoveto 400 0 rlineto 0 400 rlineto -400 0 rlineto closepath endchar"},
};

bool LoadType1(TPDFType1Decoder& D, const std::string& Bytes) {
    return D.LoadPFBFromString(Bytes) && D.DecodeFontDict() && D.DecodeEncryptedPortion();
}

const char* const kSquareA = "M 100 0 L 500 0 L 500 400 L 100 400 Z";

// Every form a program reaches the decoder in draws the same glyph.
TEST(Type1Decoder, LoadForms) {
    const TType1Portions P = MakeProgram({kSquare});
    struct TCase {
        const char* Form;
        std::string Bytes;
        int64_t L1 = -1, L2 = 0, L3 = 0;  // L1 -1: loaded as a file
    };
    const TFontFileStream Bin = MakeFontFileStream(P, false), Hex = MakeFontFileStream(P, true);
    std::vector<TCase> Cases = {
        {"PFB", MakePfb(P)},
        {"PFB, encrypted part in two segments", MakePfb(P, true)},
        {"PFA", MakePfa(P)},
        {"program without PFB headers (FontFile2)", P.Clear + P.Encrypted + P.Trailer},
        {"font stream, binary", Bin.Data, int64_t(Bin.Length1), int64_t(Bin.Length2),
         int64_t(Bin.Length3)},
        {"font stream, hexadecimal encrypted part", Hex.Data, int64_t(Hex.Length1),
         int64_t(Hex.Length2), int64_t(Hex.Length3)},
        {"font stream, Length2 past the data", Bin.Data, int64_t(Bin.Length1), 1 << 30, 1 << 30},
        {"font stream, Length1 that misses eexec", Bin.Data, 40, int64_t(Bin.Length2),
         int64_t(Bin.Length3)},
        {"font stream without lengths", Bin.Data, 0, 0, 0},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Form);
        TPDFType1Decoder D;
        const bool Loaded = C.L1 < 0 ? D.LoadPFBFromString(C.Bytes)
                                     : D.LoadFontFileData(C.Bytes, C.L1, C.L2, C.L3);
        EXPECT_TRUE(Loaded);
        EXPECT_EQ(D.ClearTextPortion(), P.Clear);
        // A Length2 past the data takes the rest of it.
        EXPECT_EQ(D.EncryptedPortion().substr(0, P.Encrypted.size()), P.Encrypted);
        if (C.L2 < (1 << 30)) EXPECT_EQ(D.EncryptedPortion(), P.Encrypted);
        ASSERT_TRUE(D.DecodeFontDict());
        ASSERT_TRUE(D.DecodeEncryptedPortion());
        EXPECT_EQ(D.CharStringCount(), 2);
        EXPECT_EQ(Draw(D, "A"), kSquareA);
    }
}

// PFB segments: their lengths are bounded by the data; a damaged file keeps
// what it read.
TEST(Type1Decoder, PfbSegmentLengthsBounded) {
    const TType1Portions P = MakeProgram({kSquare});
    std::string Pfb = MakePfb(P);
    // The encrypted segment claims far more bytes than there are.
    const size_t Second = 6 + P.Clear.size();
    Pfb[Second + 5] = char(0x7F);
    TPDFType1Decoder D;
    EXPECT_FALSE(D.LoadPFBFromString(Pfb));
    EXPECT_EQ(D.ClearTextPortion(), P.Clear);
    EXPECT_GE(D.EncryptedPortion().size(), P.Encrypted.size());
    EXPECT_TRUE(D.DecodeEncryptedPortion());
    EXPECT_EQ(Draw(D, "A"), kSquareA);
    // A segment that does not start with 128.
    TPDFType1Decoder E;
    EXPECT_FALSE(E.LoadPFBFromString(std::string("\x80\x01\x02\x00\x00\x00%!\x7f", 9)));
    EXPECT_EQ(E.ClearTextPortion(), "%!");
    EXPECT_FALSE(E.LoadPFBFromString(""));
}

// The Private dictionary's own names for RD, ND and NP, lenIV, Subrs.
TEST(Type1Decoder, PrivateConventions) {
    struct TCase {
        const char* Name;
        TType1Recipe Recipe;
        std::string RD, ND, NP;
    };
    TType1Recipe Bars{kSquare};
    Bars.RD = "-|";
    Bars.ND = "|-";
    Bars.NP = "|";
    TType1Recipe Plain{kSquare};
    Plain.LenIV = -1;
    TType1Recipe Zero{kSquare};
    Zero.LenIV = 0;
    TType1Recipe Named{kSquare};
    Named.RD = "rd";
    Named.ND = "nd";
    Named.NP = "np";
    TType1Recipe ManySubrs{kSquare};
    ManySubrs.SubrsCount = "1000000000";
    const std::vector<TCase> Cases = {
        {"-| |- |", Bars, "-|", "|-", "|"},
        {"lenIV -1: plain charstrings", Plain, "RD", "ND", "NP"},
        {"lenIV 0", Zero, "RD", "ND", "NP"},
        {"names of its own", Named, "rd", "nd", "np"},
        {"a Subrs count beyond the entries", ManySubrs, "RD", "ND", "NP"},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TPDFType1Decoder D;
        ASSERT_TRUE(LoadType1(D, MakePfb(MakeProgram(C.Recipe))));
        EXPECT_EQ(D.RDName(), C.RD);
        EXPECT_EQ(D.NDName(), C.ND);
        EXPECT_EQ(D.NPName(), C.NP);
        EXPECT_EQ(D.LenIV(), C.Recipe.LenIV);
        EXPECT_EQ(D.SubrCount(), 4u);
        EXPECT_EQ(D.CharStringCount(), 2);
        EXPECT_EQ(Draw(D, "A"), kSquareA);
    }
}

TEST(Type1Decoder, FontDictionary) {
    // An Encoding array filled by a loop and given three entries, one with a
    // code inside the table and two outside it.
    TType1Recipe S{kSquare};
    S.Encoding =
        "/Encoding 256 array\n0 1 255 {1 index exch /.notdef put} for\ndup 65 /A put\n"
        "dup 300 /B put\ndup -1 /C put\nreadonly def\n";
    S.FontMatrix = "[0.0005 0 0 0.0005 0 0]";
    TPDFType1Decoder D;
    ASSERT_TRUE(LoadType1(D, MakePfb(MakeProgram(S))));
    EXPECT_EQ(D.GetEncoding()[65], "A");
    EXPECT_EQ(D.GetEncoding()[66], ".notdef");
    EXPECT_EQ(D.GetEncoding()[44], ".notdef");
    EXPECT_EQ(D.FontMatrixScaling(), 0.5);
    ASSERT_TRUE(D.FontBBox());
    EXPECT_EQ(D.FontBBox()->Count(), 4);
    // A 2000-unit em at 0.0005 draws at 1000.
    EXPECT_EQ(Draw(D, "A"), "M 50 0 L 250 0 L 250 200 L 50 200 Z");
    // The standard encoding by name.
    TPDFType1Decoder E;
    ASSERT_TRUE(LoadType1(E, MakePfb(MakeProgram({kSquare}))));
    EXPECT_EQ(E.GetEncoding()[65], "A");
    EXPECT_EQ(E.GetEncoding()[44], "comma");
    // A clear text that cannot be tokenized does not parse.
    TPDFType1Decoder F;
    TType1Portions P = MakeProgram({kSquare});
    P.Clear = "#!" + P.Clear;
    ASSERT_TRUE(F.LoadPFBFromString(MakePfb(P)));
    EXPECT_FALSE(F.DecodeFontDict());
    EXPECT_EQ(F.GetEncoding()[65], "A");
}

TEST(Type1Decoder, Type1Charstrings) {
    TType1Recipe S{SeacFlexGlyphs()};
    S.Glyphs.push_back({"L", "100 0 hsbw 10 20 rlineto endchar"});
    S.Glyphs.push_back({"Sub", "0 500 hsbw 0 0 rmoveto 5000 callsubr 10 0 rlineto endchar"});
    TPDFType1Decoder D;
    ASSERT_TRUE(LoadType1(D, MakePfb(MakeProgram(S))));
    ASSERT_TRUE(D.DecodeCharstring("L"));
    EXPECT_EQ(Join(D.CharStack()), "hsbw(100,0) | rlineto(10,20) | endchar");
    EXPECT_EQ(Draw(D, "L"), "M 100 0 L 110 20 Z");
    // Flex: seven rmoveto points make two curves; the point ends where the
    // flex ends.
    ASSERT_TRUE(D.DecodeCharstring("F"));
    EXPECT_EQ(Join(D.CharStack()),
              "hsbw(50,600) | rmoveto(0,0) | flex(100,0,50,20,50,0,50,-20,50,20,50,0,50,-20) | "
              "setcurrentpoint(450,0) | rlineto(0,300) | closepath | endchar");
    EXPECT_EQ(Draw(D, "F"), "M 50 0 C 200 20 250 20 300 0 C 350 20 400 20 450 0 L 450 300 Z");
    // seac: the accent placed by adx less its side bearing given to seac,
    // then moved by its own side bearing.
    EXPECT_EQ(Draw(D, "Aacute"),
              "M 100 0 L 500 0 L 500 400 L 100 400 Z M 300 500 L 400 500 L 400 600 L 300 600 Z");
    EXPECT_EQ(Draw(D, "Acircumflex"),
              "M 100 0 L 500 0 L 500 400 L 100 400 Z M 330 500 L 430 500 L 430 600 L 330 600 Z");
    // A subroutine number outside the Subrs draws nothing; the glyph goes on.
    EXPECT_EQ(Draw(D, "Sub"), "M 0 0 L 10 0 Z");
    // A glyph the font does not have.
    EXPECT_EQ(Draw(D, "nothere"), "(none)");
    EXPECT_FALSE(D.DecodeCharstring("nothere"));
}

// Subroutines that call themselves, or others many times, end.
TEST(Type1Decoder, Type1Limits) {
    TType1Recipe S{{{".notdef", "0 500 hsbw endchar"},
                  {"self", "0 500 hsbw 0 0 rmoveto 4 callsubr 1 0 rlineto endchar"},
                  {"fan", "0 500 hsbw 0 0 rmoveto 5 callsubr 1 0 rlineto endchar"}}};
    S.Subrs.push_back("1 1 rlineto 4 callsubr return");
    std::string Fan = "";
    for (int K = 0; K < 30; ++K) Fan += "5 callsubr ";
    S.Subrs.push_back(Fan + "return");
    TPDFType1Decoder D;
    ASSERT_TRUE(LoadType1(D, MakePfb(MakeProgram(S))));
    ASSERT_TRUE(D.DecodeCharstring("self"));
    // 18 nested calls are interpreted below the glyph's own level.
    size_t Lines = 0;
    for (const auto& E : D.CharStack()) Lines += E == "rlineto(1,1)";
    EXPECT_EQ(Lines, size_t(TPDFType1Decoder::kType1Depth - 2));
    ASSERT_TRUE(D.DecodeCharstring("fan"));
    EXPECT_LE(D.CharStack().size(), 10u);
}

TEST(Type1Decoder, GlyphCache) {
    TPDFType1Decoder D;
    ASSERT_TRUE(LoadType1(D, MakePfb(MakeProgram({kSquare}))));
    // Without a canvas the whole shape is still built and kept.
    double X = 0, Y = 0;
    EXPECT_TRUE(D.RenderToCanvas(X, Y, nullptr, IdentityXForm, "A", peStandard));
    EXPECT_EQ(Draw(D, "A"), kSquareA);
    EXPECT_EQ(Draw(D, "A", 10, 20), "M 110 20 L 510 20 L 510 420 L 110 420 Z");
    const TPDFGenericShape* S = D.GlyphShape("A");
    EXPECT_EQ(S, D.GlyphShape("GID:1"));
    TRecordingCanvas C;
    TPDFXForm Twice{2, 0, 0, 2, 5, 0};
    EXPECT_TRUE(D.RenderToCanvas(X, Y, &C, Twice, "A", peStandard));
    EXPECT_EQ(C.Text(), "M 205 0 L 1005 0 L 1005 800 L 205 800 Z");
}

// ---- CFF programs ----

std::string Type2(std::string_view Text) {
    static const std::map<std::string, std::vector<uint8_t>> Ops = {
        {"hstem", {1}},        {"vstem", {3}},        {"vmoveto", {4}},     {"rlineto", {5}},
        {"hlineto", {6}},      {"vlineto", {7}},      {"rrcurveto", {8}},   {"callsubr", {10}},
        {"return", {11}},      {"endchar", {14}},     {"hstemhm", {18}},    {"hintmask", {19}},
        {"cntrmask", {20}},    {"rmoveto", {21}},     {"hmoveto", {22}},    {"vstemhm", {23}},
        {"rcurveline", {24}},  {"rlinecurve", {25}}, {"vvcurveto", {26}},  {"hhcurveto", {27}},
        {"callgsubr", {29}},   {"vhcurveto", {30}},   {"hvcurveto", {31}},  {"and", {12, 3}},
        {"or", {12, 4}},       {"not", {12, 5}},      {"abs", {12, 9}},     {"add", {12, 10}},
        {"sub", {12, 11}},     {"div", {12, 12}},     {"neg", {12, 14}},    {"eq", {12, 15}},
        {"drop", {12, 18}},    {"put", {12, 20}},     {"get", {12, 21}},    {"ifelse", {12, 22}},
        {"mul", {12, 24}},     {"sqrt", {12, 26}},    {"dup", {12, 27}},    {"exch", {12, 28}},
        {"index", {12, 29}},   {"roll", {12, 30}},    {"hflex", {12, 34}},  {"flex", {12, 35}},
        {"hflex1", {12, 36}},  {"flex1", {12, 37}},
    };
    std::string Out;
    size_t At = 0;
    while (At < Text.size()) {
        while (At < Text.size() && Text[At] == ' ') ++At;
        size_t End = Text.find(' ', At);
        if (End == std::string_view::npos) End = Text.size();
        const std::string Token(Text.substr(At, End - At));
        At = End;
        if (Token.empty()) continue;
        if (const auto It = Ops.find(Token); It != Ops.end()) {
            Out.append(It->second.begin(), It->second.end());
        } else if (Token.rfind("0x", 0) == 0) {
            Out.push_back(char(std::stoi(Token.substr(2), nullptr, 16)));
        } else {
            const int V = std::stoi(Token);
            if (V >= -107 && V <= 107) {
                Out.push_back(char(V + 139));
            } else if (V >= 108 && V <= 1131) {
                Out.push_back(char(247 + ((V - 108) >> 8)));
                Out.push_back(char((V - 108) & 255));
            } else if (V <= -108 && V >= -1131) {
                Out.push_back(char(251 + ((-V - 108) >> 8)));
                Out.push_back(char((-V - 108) & 255));
            } else {
                Out.push_back(char(28));
                Out += BE16(uint32_t(V) & 0xFFFF);
            }
        }
    }
    return Out;
}

std::string Index(const std::vector<std::string>& Items) {
    if (Items.empty()) return BE16(0);
    std::string S = BE16(uint32_t(Items.size())) + char(4);
    uint32_t Off = 1;
    std::string Data;
    for (const auto& I : Items) {
        S += BE32(Off);
        Off += uint32_t(I.size());
        Data += I;
    }
    return S + BE32(Off) + Data;
}

std::string Int(int32_t V) { return char(29) + BE32(uint32_t(V)); }

struct TCffFont {
    std::vector<std::string> CharStrings;  // Type 2 text
    std::vector<std::string> Subrs;
    int CharsetNumber = 0;
    std::string Charset;  // bytes of an own charset, used when not empty
    int EncodingNumber = 0;
    std::string Encoding;
    std::string ExtraTop;  // more Top DICT bytes
    bool Cid = false;
    std::string FDSelect;
    std::vector<std::vector<std::string>> FDSubrs;
};

// A CFF program of the fonts given. Offsets are written as 5-byte integers
// so that the Top DICTs keep their size whatever they point to.
std::string BuildCff(const std::vector<TCffFont>& Fonts, const std::vector<std::string>& Strings = {},
                     const std::vector<std::string>& GSubrs = {}, int HdrSize = 4) {
    auto TopDict = [&](const TCffFont& F, const std::vector<int32_t>& O) {
        std::string T;
        if (F.Cid) T += Int(391) + Int(392) + Int(0) + "\x0c\x1e";
        T += F.ExtraTop;
        T += (F.Charset.empty() ? Int(F.CharsetNumber) : Int(O[0])) + "\x0f";
        T += (F.Encoding.empty() ? Int(F.EncodingNumber) : Int(O[1])) + "\x10";
        T += Int(O[2]) + "\x11";
        T += Int(6) + Int(O[3]) + "\x12";
        if (F.Cid) T += Int(O[4]) + "\x0c\x25" + Int(O[5]) + "\x0c\x24";
        return T;
    };
    std::vector<std::string> Tops(Fonts.size());
    for (size_t K = 0; K < Fonts.size(); ++K) Tops[K] = TopDict(Fonts[K], {0, 0, 0, 0, 0, 0});
    std::string Head = std::string("\x01\x00", 2) + char(HdrSize) + char(4) +
                       std::string(size_t(HdrSize - 4), '\0');
    std::string Front = Head + Index(std::vector<std::string>(Fonts.size(), "Test")) +
                        Index(Tops) + Index(Strings);
    std::vector<std::string> G;
    for (const auto& S : GSubrs) G.push_back(Type2(S));
    Front += Index(G);
    std::string Body;
    for (size_t K = 0; K < Fonts.size(); ++K) {
        const TCffFont& F = Fonts[K];
        const auto At = [&]() { return int32_t(Front.size() + Body.size()); };
        std::vector<int32_t> O(6, 0);
        O[0] = At();
        Body += F.Charset;
        O[1] = At();
        Body += F.Encoding;
        O[2] = At();
        std::vector<std::string> C;
        for (const auto& S : F.CharStrings) C.push_back(Type2(S));
        Body += Index(C);
        // Private: Subrs right after its 6 bytes.
        O[3] = At();
        std::vector<std::string> L;
        for (const auto& S : F.Subrs) L.push_back(Type2(S));
        Body += Int(6) + "\x13" + Index(L);
        if (F.Cid) {
            O[4] = At();
            Body += F.FDSelect;
            // Font DICTs with Privates after the FDArray.
            std::vector<std::string> Fds;
            for (size_t J = 0; J < F.FDSubrs.size(); ++J) Fds.push_back(Int(6) + Int(0) + "\x12");
            const int32_t FdArray = At();
            const size_t FdSize = Index(Fds).size();
            int32_t Next = FdArray + int32_t(FdSize);
            std::string Privates;
            for (size_t J = 0; J < F.FDSubrs.size(); ++J) {
                Fds[J] = Int(6) + Int(Next + int32_t(Privates.size())) + "\x12";
                std::vector<std::string> LS;
                for (const auto& S : F.FDSubrs[J]) LS.push_back(Type2(S));
                Privates += Int(6) + "\x13" + Index(LS);
            }
            O[5] = FdArray;
            Body += Index(Fds) + Privates;
        }
        Tops[K] = TopDict(F, O);
    }
    return Head + Index(std::vector<std::string>(Fonts.size(), "Test")) + Index(Tops) +
           Index(Strings) + Index(G) + Body;
}

TEST(CffDecoder, DictNumbers) {
    TPDFType1Decoder D;
    struct TCase {
        std::string Bytes;
        const char* Text;
    };
    const TCase Cases[] = {
        {std::string("\x1c\xff\x38\x0d", 4), "<< /UniqueID -200 >>"},
        {std::string("\xf7\x00\x0d", 3), "<< /UniqueID 108 >>"},
        {std::string("\xfb\x00\x0d", 3), "<< /UniqueID -108 >>"},
        {"\x8b\x0d", "<< /UniqueID 0 >>"},
        {std::string("\x1e\xe2\xa2\x5f\x0c\x02", 6), "<< /italicAngle -2.25 >>"},
        {"\x8b\x8c\x8d\x8e\x05", "<< /FontBBox [ 0 1 2 3 ] >>"},
        {std::string("\xb3\xfa\x7c\x12", 4), "<< /Private [ 1000 40 ] >>"},
        // A real number too large to hold counts as 0.
        {std::string("\x1e\x1b\x99\x9f\x0d", 5), "<< /UniqueID 0 >>"},
        // Operands of an unknown operator do not reach the next entry.
        {std::string("\x8c\x8d\x0c\x63\x8e\x8f\x90\x91\x05", 9), "<< /FontBBox [ 3 4 5 6 ] >>"},
        // A string operand: the SID's string, escaped.
        {std::string("\x8b\x00", 2), "<< /version (.notdef) >>"},
    };
    for (const TCase& C : Cases) EXPECT_EQ(D.CffDictText(C.Bytes, false), C.Text);
    EXPECT_EQ(D.CffDictText("\x8b\x13", true), "<< /Subrs 0 >>");
}

TEST(CffDecoder, StringsAndIndexes) {
    // String INDEX with one item; Global Subr INDEX after an empty String
    // INDEX, header of 5 bytes.
    TPDFType1Decoder D;
    TCffFont F;
    F.CharStrings = {"endchar", "0 0 rmoveto 10 0 rlineto endchar"};
    ASSERT_TRUE(D.LoadCFFFromString(BuildCff({F}, {"(odd\\name"}, {}, 5)));
    EXPECT_EQ(D.CffString(391), "(odd\\name");
    EXPECT_EQ(D.CffString(392), "");
    EXPECT_EQ(D.CffString(-1), "");
    EXPECT_EQ(D.CffString(390), "Semibold");
    EXPECT_EQ(D.CharStringCount(), 2);
    EXPECT_EQ(D.CharStringType(), 2);
    TPDFType1Decoder E;
    ASSERT_TRUE(E.LoadCFFFromString(BuildCff({F}, {}, {"5 5 rlineto return"}, 5)));
    EXPECT_EQ(E.GlobalSubrCount(), 1u);
    EXPECT_EQ(E.CharStringCount(), 2);
}

TEST(CffDecoder, CharsetsAndEncodings) {
    const std::vector<std::string> Four = {"endchar", "endchar", "endchar", "endchar"};
    struct TCase {
        const char* Name;
        TCffFont Font;
        std::vector<std::string> Names;
    };
    TCffFont C0{Four};
    TCffFont C1{Four};
    C1.CharsetNumber = 1;
    TCffFont C2{Four};
    C2.CharsetNumber = 2;
    TCffFont Own{Four};
    Own.Charset = std::string("\x01\x00\x22\x02", 4);
    TCffFont OwnCid = Own;
    OwnCid.Cid = true;
    OwnCid.FDSelect = std::string("\x00\x00\x00\x00\x00", 5);
    OwnCid.FDSubrs = {{}};
    TCffFont Short{Four};
    Short.Charset = std::string("\x02\x00\x22", 3);  // a range cut by the end of data
    const std::vector<TCase> Cases = {
        {"charset 0", C0, {".notdef", "space", "exclam", "quotedbl"}},
        {"charset 1", C1, {".notdef", "space", "exclamsmall", "Hungarumlautsmall"}},
        {"charset 2", C2, {".notdef", "space", "dollaroldstyle", "dollarsuperior"}},
        {"format 1, 34 and 2 more", Own, {".notdef", "A", "B", "C"}},
        {"format 1 in a CID-keyed font", OwnCid, {"CID:0", "CID:34", "CID:35", "CID:36"}},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TPDFType1Decoder D;
        ASSERT_TRUE(D.LoadCFFFromString(BuildCff({C.Font})));
        std::vector<std::string> Names;
        for (int32_t K = 0; K < D.CharStringCount(); ++K) Names.push_back(D.GetCharStringName(K));
        EXPECT_EQ(Names, C.Names);
    }
    // Encodings: the predefined standard one, and format 0 of the font's own.
    TPDFType1Decoder D;
    ASSERT_TRUE(D.LoadCFFFromString(BuildCff({C0})));
    EXPECT_EQ(D.GetEncoding()[65], "A");
    EXPECT_EQ(D.GetEncoding()[10], ".notdef");
    TCffFont E{Four};
    E.Encoding = std::string("\x00\x02\x41\x42", 4);
    TPDFType1Decoder F;
    ASSERT_TRUE(F.LoadCFFFromString(BuildCff({E})));
    EXPECT_EQ(F.GetEncoding()[65], "space");
    EXPECT_EQ(F.GetEncoding()[66], "exclam");
    EXPECT_EQ(F.GetEncoding()[67], ".notdef");
    // A format 0 encoding that lists more codes than the data holds.
    TCffFont Long{Four};
    Long.Encoding = std::string("\x00\xff\x41", 3);
    TPDFType1Decoder G;
    ASSERT_TRUE(G.LoadCFFFromString(BuildCff({Long})));
    EXPECT_EQ(G.GetEncoding()[65], "space");
}

TEST(CffDecoder, FDSelectAndFontDicts) {
    TCffFont F;
    F.Cid = true;
    F.CharStrings = {"endchar", "0 0 rmoveto -107 callsubr endchar", "0 0 rmoveto -107 callsubr endchar",
                     "0 0 rmoveto -107 callsubr endchar"};
    F.Charset = std::string("\x02\x00\x01\x00\x02", 5);
    F.FDSelect = std::string("\x03\x00\x02\x00\x00\x00\x00\x02\x01\x00\x04", 11);
    F.FDSubrs = {{"10 0 rlineto return"}, {"0 10 rlineto return"}};
    TPDFType1Decoder D;
    ASSERT_TRUE(D.LoadCFFFromString(BuildCff({F})));
    EXPECT_TRUE(D.IsCIDFont());
    EXPECT_EQ(D.FDSelect(), (std::vector<uint8_t>{0, 0, 1, 1}));
    EXPECT_EQ(Draw(D, "CID:1"), "M 0 0 L 10 0 Z");
    EXPECT_EQ(Draw(D, "CID:2"), "M 0 0 L 0 10 Z");
    EXPECT_EQ(Draw(D, "GID:3"), "M 0 0 L 0 10 Z");
    // An FD index beyond the FDArray gives no local subroutines.
    F.FDSelect = std::string("\x00\x00\x00\x07\x07", 5);
    TPDFType1Decoder E;
    ASSERT_TRUE(E.LoadCFFFromString(BuildCff({F})));
    EXPECT_EQ(Draw(E, "CID:1"), "M 0 0 L 10 0 Z");
    EXPECT_EQ(Draw(E, "CID:2"), "");
}

TEST(CffDecoder, TwoTopDicts) {
    TCffFont A{{"endchar", "0 0 rmoveto 1 0 rlineto endchar"}};
    TCffFont B{{"endchar", "0 0 rmoveto 2 0 rlineto endchar", "endchar"}};
    B.CharsetNumber = 0;
    TPDFType1Decoder D;
    ASSERT_TRUE(D.LoadCFFFromString(BuildCff({A, B})));
    EXPECT_EQ(D.CharStringCount(), 3);
    EXPECT_EQ(Draw(D, "space"), "M 0 0 L 2 0 Z");
}

TEST(CffDecoder, OpenType) {
    TCffFont F{{"endchar", "0 0 rmoveto 5 0 rlineto endchar"}};
    TSfntWriter W;
    W.AddTable("CFF ", BuildCff({F}));
    TPDFType1Decoder D;
    ASSERT_TRUE(D.LoadCFFFromString(W.Build(0x4F54544F)));
    EXPECT_EQ(Draw(D, "space"), "M 0 0 L 5 0 Z");
    TSfntWriter None;
    None.AddTable("head", HeadTable(1000));
    TPDFType1Decoder E;
    EXPECT_FALSE(E.LoadCFFFromString(None.Build(0x4F54544F)));
    EXPECT_EQ(E.CharStringCount(), 0);
}

TEST(CffDecoder, Type2Charstrings) {
    struct TCase {
        const char* Name;
        std::string Charstring;
        std::string Entries;  // empty: not checked
        std::string Outline;
    };
    const std::vector<TCase> Cases = {
        {"rmoveto of two operands takes no width", "50 100 rmoveto endchar",
         "hsbw(0,0) | rmoveto(50,100) | endchar", ""},
        {"rmoveto of three takes the first as the width", "10 50 100 rmoveto endchar",
         "hsbw(0,0) | rmoveto(50,100) | endchar", ""},
        {"hmoveto of two takes the width", "10 50 hmoveto endchar",
         "hsbw(0,0) | rmoveto(50,0) | endchar", ""},
        {"hintmask after three hstem and two vstem pairs: one byte, five bits",
         "1 2 3 4 5 6 hstem 7 8 9 10 vstem hintmask 0xA8 5 5 rmoveto endchar",
         "hsbw(0,0) | hstem(1,2,3,4,5,6) | vstem(7,8,9,10) | hintmask(1,0,1,0,1) | "
         "rmoveto(5,5) | endchar",
         ""},
        {"callsubr out of range", "0 0 rmoveto 50 callsubr 10 0 rlineto endchar", "",
         "M 0 0 L 10 0 Z"},
        {"lines", "0 0 rmoveto 10 20 hlineto 5 vlineto endchar", "", "M 0 0 L 10 0 L 10 20 L 10 25 Z"},
        {"curves", "0 0 rmoveto 10 20 30 40 hvcurveto endchar", "", "M 0 0 C 10 0 30 30 30 70 Z"},
        {"hflex", "0 0 rmoveto 10 20 5 30 40 50 60 hflex endchar", "",
         "M 0 0 C 10 0 30 5 60 5 C 100 5 150 0 210 0 Z"},
        {"arithmetic and stack", "0 0 rmoveto 3 4 add 2 mul 0 put 0 get 0 rlineto endchar", "",
         "M 0 0 L 14 0 Z"},
        {"div by zero, sqrt of a negative", "0 0 rmoveto 5 0 div -4 sqrt rlineto endchar", "", ""},
        {"index and roll outside the stack", "0 0 rmoveto 1 9 index 2 50 3 roll 7 -9 put 40 get "
                                             "rlineto endchar", "", ""},
        {"seac through endchar of glyphs the font lacks", "0 30 20 65 194 endchar", "", ""},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TCffFont F{{"endchar", C.Charstring}};
        TPDFType1Decoder D;
        ASSERT_TRUE(D.LoadCFFFromString(BuildCff({F})));
        ASSERT_TRUE(D.DecodeCharstring("GID:1"));
        if (!C.Entries.empty()) EXPECT_EQ(Join(D.CharStack()), C.Entries);
        if (!C.Outline.empty()) EXPECT_EQ(Draw(D, "GID:1"), C.Outline);
        // Every number that reaches the outline is finite.
        for (double V : D.Operations().Args) EXPECT_TRUE(std::isfinite(V));
    }
}

// endchar with four operands draws an accented glyph: the base, then the
// accent moved by adx and ady.
TEST(CffDecoder, SeacThroughEndchar) {
    auto Sid = [](const char* Name) {
        for (size_t K = 0; K < kCffStandardStrings.size(); ++K)
            if (std::string(kCffStandardStrings[K]) == Name) return uint32_t(K);
        return 0u;
    };
    TCffFont F{{"endchar", "100 0 rmoveto 400 0 rlineto 0 400 rlineto endchar",
                "0 500 rmoveto 100 0 rlineto 0 100 rlineto endchar", "300 200 65 194 endchar"}};
    F.Charset = std::string(1, '\0') + BE16(Sid("A")) + BE16(Sid("acute")) + BE16(Sid("Aacute"));
    TPDFType1Decoder D;
    ASSERT_TRUE(D.LoadCFFFromString(BuildCff({F})));
    EXPECT_EQ(D.GetCharStringName(3), "Aacute");
    EXPECT_EQ(Draw(D, "Aacute"),
              "M 100 0 L 500 0 L 500 400 Z M 300 700 L 400 700 L 400 800 Z");
}

TEST(CffDecoder, SubroutineBias) {
    // Subroutine 0 draws; the others return. The number that reaches
    // subroutine 0 is minus the bias of the list's size.
    struct TCase {
        size_t Count;
        int Bias;
    };
    for (const TCase& C : {TCase{1239, 107}, TCase{1240, 1131}, TCase{33899, 1131},
                           TCase{33900, 32768}}) {
        SCOPED_TRACE(C.Count);
        TCffFont F{{"endchar", "0 0 rmoveto " + std::to_string(-C.Bias) + " callsubr endchar"}};
        F.Subrs.assign(C.Count, "return");
        F.Subrs[0] = "7 0 rlineto return";
        TPDFType1Decoder D;
        ASSERT_TRUE(D.LoadCFFFromString(BuildCff({F})));
        EXPECT_EQ(D.SubrCount(), C.Count);
        EXPECT_EQ(Draw(D, "GID:1"), "M 0 0 L 7 0 Z");
    }
}

// Subroutines calling themselves stop at ten levels, and calls fanning out
// stop at the operator budget.
TEST(CffDecoder, Type2Limits) {
    std::string Fan;
    for (int K = 0; K < 40; ++K) Fan += "-106 callsubr ";
    TCffFont F{{"endchar", "0 0 rmoveto -107 callsubr endchar", "0 0 rmoveto -106 callsubr endchar"},
               {"1 0 rlineto -107 callsubr return", Fan + "return"}};
    TPDFType1Decoder D;
    ASSERT_TRUE(D.LoadCFFFromString(BuildCff({F})));
    ASSERT_TRUE(D.DecodeCharstring("GID:1"));
    size_t Lines = 0;
    for (const auto& E : D.CharStack()) Lines += E == "rlineto(1,0)";
    EXPECT_EQ(Lines, size_t(TPDFType1Decoder::kType2Depth - 1));
    ASSERT_TRUE(D.DecodeCharstring("GID:2"));
    EXPECT_LE(D.CharStack().size(), 3u);
}

TEST(CffDecoder, FontMatrix) {
    // FontMatrix 0.0005: a 2000-unit em draws at 1000.
    TCffFont F{{"endchar", "0 0 rmoveto 2000 0 rlineto endchar"}};
    F.ExtraTop = std::string("\x1e\x0a\x00\x05\xff", 5) + "\x8b\x8b" +
                 std::string("\x1e\x0a\x00\x05\xff", 5) + "\x8b\x8b\x0c\x07";
    TPDFType1Decoder D;
    ASSERT_TRUE(D.LoadCFFFromString(BuildCff({F})));
    EXPECT_EQ(D.FontMatrixScaling(), 0.5);
    EXPECT_EQ(Draw(D, "GID:1"), "M 0 0 L 1000 0 Z");
}

}  // namespace
}  // namespace velmo
