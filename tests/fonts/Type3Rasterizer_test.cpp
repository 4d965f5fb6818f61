// Type 3 fonts: loading the font matrix and glyph procedures, and the small
// procedure interpreter of RenderToCanvas on a recording canvas.
#include "fonts/Type3Rasterizer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/Structure.h"
#include "tests/fonts/RecordingCanvas.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

using namespace velmo::test;

// Begin and fill are told apart: B and F.
class TPaintCanvas : public TRecordingCanvas {
public:
    void BeginPath() override { Calls.push_back({'B', {}}); }
    void FillPath() override { Calls.push_back({'F', {}}); }
};

// A Type 3 font made from PDF text; the glyph procedures are streams
// numbered from 10 in the order given.
class TType3Fixture {
public:
    TType3Fixture() { R.FOnFindObject = Lookup; }

    TPDFDictionary* Dict(std::string_view Text) {
        auto* D = ObjAs<TPDFDictionary>(S.Decode(Text));
        EXPECT_NE(D, nullptr) << Text;
        return D;
    }
    TPDFDictionary* Font(const std::vector<std::pair<std::string, std::string>>& Glyphs,
                         std::string_view FontMatrix = "[0.001 0 0 0.001 0 0]") {
        std::string Text = "<< /Type /Font /Subtype /Type3 /FontMatrix ";
        Text += FontMatrix;
        Text += " /CharProcs <<";
        int32_t N = 10;
        for (const auto& [Name, Proc] : Glyphs) {
            Objects[N] = S.NewStream(Proc, false);
            Text += " /" + Name + " " + std::to_string(N) + " 0 R";
            ++N;
        }
        Text += " >> >>";
        return Dict(Text);
    }
    void Load(const std::vector<std::pair<std::string, std::string>>& Glyphs) {
        R.LoadFromPDFDict(Font(Glyphs));
    }
    std::string Draw(const std::string& Name, double RX = 0, double RY = 0,
                     const TPDFXForm& Mat = IdentityXForm) {
        TPaintCanvas C;
        EXPECT_TRUE(R.RenderToCanvas(RX, RY, &C, Mat, Name, peStandard)) << Name;
        return C.Text();
    }

    TPDFStructure S;
    std::map<int32_t, TPDFObject*> Objects;
    TPDFFindObjectEvent Lookup = [this](TPDFIndRef* Ref) -> TPDFObject* {
        auto It = Objects.find(Ref->ObjNum);
        return It == Objects.end() ? nullptr : It->second;
    };
    TPDFType3Rasterizer R;
};

bool SameXForm(const TPDFXForm& A, const TPDFXForm& B) {
    return A.eM11 == B.eM11 && A.eM12 == B.eM12 && A.eM21 == B.eM21 && A.eM22 == B.eM22 &&
           A.eDx == B.eDx && A.eDy == B.eDy;
}

TEST(Type3Rasterizer, FontMatrixTakesOnlySixItems) {
    struct TCase {
        const char* Matrix;
        TPDFXForm Want;
    };
    const TCase Cases[] = {
        {"[0.001 0 0 0.001 0 0]", {0.001, 0, 0, 0.001, 0, 0}},
        {"[2 0.5 -0.5 3 10 -20]", {2, 0.5, -0.5, 3, 10, -20}},
        // Five or seven items leave the identity.
        {"[0.001 0 0 0.001 0]", IdentityXForm},
        {"[0.001 0 0 0.001 0 0 0]", IdentityXForm},
        // An item that is not a number keeps its identity value.
        {"[0.01 /x 0 (y) 4 null]", {0.01, 0, 0, 1, 4, 0}},
        {"/Identity", IdentityXForm},
        // A reference is followed.
        {"7 0 R", {0.5, 0, 0, 0.25, 1, 2}},
        {"8 0 R", IdentityXForm},  // to nothing
    };
    for (const TCase& C : Cases) {
        TType3Fixture F;
        F.Objects[7] = F.S.Decode("[0.5 0 0 0.25 1 2]");
        F.R.LoadFromPDFDict(F.Font({{"A", "0 0 m"}}, C.Matrix));
        EXPECT_TRUE(SameXForm(F.R.FontMatrix, C.Want)) << C.Matrix;
        EXPECT_NE(F.R.Type3FontDict(), nullptr);
    }

    // Numbers that are not finite never become part of the matrix.
    TType3Fixture F;
    auto* D = F.Font({{"A", ""}}, "[3 0 0 3 0 0]");
    auto* A = ObjAs<TPDFArray>(D->FindValueByKeyName("FontMatrix", false));
    ASSERT_NE(A, nullptr);
    ObjAs<TPDFNumeric>(A->GetItem(0))->FValue = std::numeric_limits<double>::infinity();
    ObjAs<TPDFNumeric>(A->GetItem(3))->FValue = std::nan("");
    F.R.LoadFromPDFDict(D);
    EXPECT_TRUE(SameXForm(F.R.FontMatrix, IdentityXForm));
}

TEST(Type3Rasterizer, GlyphProceduresByExactName) {
    TType3Fixture F;
    // A compressed procedure is decoded; a direct value is an empty glyph.
    F.Objects[20] = F.S.NewStream("0 0 m 5 5 l f", true);
    F.Objects[21] = F.S.Decode("<< /Not /AStream >>");
    F.R.LoadFromPDFDict(
        F.Dict("<< /FontMatrix [1 0 0 1 0 0] /CharProcs << /A 10 0 R /a 20 0 R /d 0 "
               "/n 21 0 R /gone 99 0 R >> >>"));
    EXPECT_EQ(F.R.GlyphCount(), 5u);
    EXPECT_EQ(F.R.GetCharProc("a"), "0 0 m 5 5 l f");
    EXPECT_EQ(F.R.GetCharProc("A"), "");
    EXPECT_EQ(F.R.GetCharProc("d"), "");
    EXPECT_TRUE(F.R.HasGlyph("d"));
    EXPECT_TRUE(F.R.HasGlyph("gone"));
    EXPECT_FALSE(F.R.HasGlyph("D"));
    EXPECT_EQ(F.Draw("a"), "B M 0 0 L 5 5 F");
    EXPECT_EQ(F.Draw("d"), "B");

    // A glyph the font does not have draws nothing and answers False.
    TPaintCanvas C;
    double RX = 0, RY = 0;
    EXPECT_FALSE(F.R.RenderToCanvas(RX, RY, &C, IdentityXForm, "D", peStandard));
    EXPECT_FALSE(F.R.RenderToCanvas(RX, RY, &C, IdentityXForm, "", peStandard));
    EXPECT_TRUE(C.Calls.empty());
    EXPECT_EQ(F.R.GetCharProc("D"), "");

    // No /CharProcs dictionary: no glyphs, the font dictionary kept.
    auto* Bare = F.Dict("<< /CharProcs [1 2] >>");
    F.R.LoadFromPDFDict(Bare);
    EXPECT_EQ(F.R.GlyphCount(), 0u);
    EXPECT_EQ(F.R.Type3FontDict(), Bare);
}

TEST(Type3Rasterizer, StreamsAreDecryptedAroundReadingAndSharedOnce) {
    TType3Fixture F;
    std::vector<std::string> Log;
    F.R.FOnDecrypt = [&Log](TPDFStream* S, TPDFIndRef* Ref) {
        Log.push_back("D" + std::to_string(Ref->ObjNum));
        S->FStream = "1 1 m";  // what the decryption leaves for the reading
    };
    F.R.FOnEncrypt = [&Log](TPDFStream*, TPDFIndRef* Ref) {
        Log.push_back("E" + std::to_string(Ref->ObjNum));
    };
    F.Objects[10] = F.S.NewStream("secret", false);
    F.R.LoadFromPDFDict(F.Dict("<< /CharProcs << /one 10 0 R /two 10 0 R /three 10 0 R >> >>"));
    EXPECT_EQ(Log, (std::vector<std::string>{"D10", "E10"}));
    for (const char* N : {"one", "two", "three"}) EXPECT_EQ(F.R.GetCharProc(N), "1 1 m") << N;
}

struct TDrawCase {
    const char* What;
    const char* Proc;
    double RX, RY;
    TPDFXForm Mat;
    const char* Want;
};

TEST(Type3Rasterizer, ProcedureInterpreter) {
    const TPDFXForm Id = IdentityXForm;
    const TDrawCase Cases[] = {
        // A triangle through the origin (RX, RY), then Mat.
        {"triangle",
         "0 0 m 100 0 l 100 100 l h f",
         10,
         20,
         {2, 0, 0, 3, 5, 7},
         "B M 25 67 L 225 67 L 225 367 Z F"},
        {"rotated",
         "0 0 m 100 0 l 100 100 l h f",
         0,
         0,
         {0, 1, -1, 0, 0, 0},
         "B M 0 0 L 0 100 L -100 100 Z F"},
        {"curve", "1 2 m 3 4 5 6 7 8 c f", 0, 0, Id, "B M 1 2 C 3 4 5 6 7 8 F"},
        // re, S, q and Q draw nothing and stay on the stack: cm takes the
        // six topmost operands.
        {"cm after re S q Q", "1 2 3 4 re S q 2 0 0 2 10 0 cm 5 5 m Q f", 0, 0, Id, "B M 20 10 F"},
        {"cm before Mat", "1 0 0 1 100 0 cm 0 0 m", 1, 2, {2, 0, 0, 2, 0, 0}, "B M 202 4"},
        {"cm after cm", "2 0 0 2 0 0 cm 1 0 0 1 5 0 cm 1 1 m", 0, 0, Id, "B M 12 2"},
        // Other operators are operands; a missing operand reads 0.
        {"unknown operators", "0 0 m 1 2 3 foo 50 60 l d0 7 8 re 9 10 l f", 0, 0, Id,
         "B M 0 0 L 50 60 L 9 10 F"},
        {"empty stack", "m 5 l 1 2 3 c", 0, 0, Id, "B M 0 0 L 0 5 C 0 0 0 1 2 3"},
        {"d1 and colour", "750 0 0 0 700 700 d1 0.5 g 0 0 m 1 1 l f", 0, 0, Id, "B M 0 0 L 1 1 F"},
        // Numbers: a point and fraction, leading minus signs, no exponent, and
        // tokens without digits read 0.
        {"numbers", "1.5 -2.25 m -.5 1e3 l /N (9) l", 0, 0, Id, "B M 1.5 -2.25 L -0.5 1 L 0 0"},
        // Tokens: strings, hexadecimal strings, arrays and delimiters.
        {"strings", "(a(b)c\\)) 4 5 m <0A>7 8 l[3]f", 0, 0, Id, "B M 4 5 L 7 8 F"},
        {"names end tokens", "1 2 m/x/y 3 4 l", 0, 0, Id, "B M 1 2 L 3 4"},
        {"several paths", "0 0 m 1 0 l f 5 5 m 6 5 l h f", 0, 0, Id,
         "B M 0 0 L 1 0 F M 5 5 L 6 5 Z F"},
        {"empty procedure", "", 3, 4, Id, "B"},
        {"white space only", " \r\n\t\f", 3, 4, Id, "B"},
        // A singular matrix draws nothing from there on, and reads on.
        {"singular cm", "0 0 m 0 0 0 0 0 0 cm 1 1 l h f 1 0 0 1 0 0 cm 2 2 l f", 0, 0, Id,
         "B M 0 0"},
        {"singular Mat", "0 0 m 1 1 l f", 0, 0, {0, 0, 0, 0, 5, 5}, "B"},
        {"flat Mat", "0 0 m 1 1 l f", 0, 0, {1, 2, 2, 4, 0, 0}, "B"},
    };
    for (const TDrawCase& C : Cases) {
        TType3Fixture F;
        F.Load({{"g", C.Proc}});
        EXPECT_EQ(F.Draw("g", C.RX, C.RY, C.Mat), C.Want) << C.What;
    }
}

TEST(Type3Rasterizer, NulBytesSeparateTokens) {
    TType3Fixture F;
    F.Load({{"g", std::string("1\0"
                              "2 m\0"
                              "3\0"
                              "4 l\0f",
                              13)}});
    EXPECT_EQ(F.Draw("g"), "B M 1 2 L 3 4 F");
}

TEST(Type3Rasterizer, InlineImagesArePassedOverWithoutADecoder) {
    ASSERT_FALSE(Type3InlineImageParser());
    struct TCase {
        const char* Proc;
        const char* Want;
    };
    const TCase Cases[] = {
        // The image data holds operators and an EI inside a word.
        {"0 0 m BI /W 1 /H 1 /IM true ID 9 9 m xEIx EIy 9 9 l\nEI 3 4 l f", "B M 0 0 L 3 4 F"},
        {"0 0 m BI /W 1 ID 9 9 m EI", "B M 0 0"},
        // No EI: the rest of the procedure is image data.
        {"0 0 m BI /W 1 ID 9 9 m f", "B M 0 0"},
        {"0 0 m BI", "B M 0 0"},
        {"BI ID \nEI\n1 1 m BI ID EI 2 2 l", "B M 1 1 L 2 2"},
    };
    for (const TCase& C : Cases) {
        TType3Fixture F;
        F.Load({{"g", C.Proc}});
        EXPECT_EQ(F.Draw("g"), C.Want) << C.Proc;
    }
}

// An inline-image parser for the tests: an image is "BI <name> ID ... EI";
// parsing fails for the name "bad". Every draw is logged with its matrix and
// colour.
struct TImageLog {
    int Parsed = 0;
    std::vector<std::string> Draws;
};

class TFakeImage : public TPDFType3InlineImage {
public:
    TFakeImage(std::string AName, TImageLog& ALog) : Name(std::move(AName)), Log(ALog) {}
    void Draw(TPDFGenericCanvas* Canvas, const TPDFXForm& M, TColor FillColor) override {
        char B[160];
        std::snprintf(B, sizeof B, "%s [%g %g %g %g %g %g] %06X", Name.c_str(), M.eM11, M.eM12,
                      M.eM21, M.eM22, M.eDx, M.eDy, unsigned(FillColor));
        Log.Draws.push_back(B);
        Canvas->AddLineToPath(-1, -1);  // a mark of where the image is drawn
    }
    std::string Name;
    TImageLog& Log;
};

class TInstalledParser {
public:
    explicit TInstalledParser(TPDFType3InlineImageParser P) {
        Type3InlineImageParser() = std::move(P);
    }
    ~TInstalledParser() { Type3InlineImageParser() = nullptr; }
};

TPDFType3InlineImageParser FakeParser(TImageLog& Log) {
    return [&Log](std::string_view Text, size_t& Pos) -> std::unique_ptr<TPDFType3InlineImage> {
        ++Log.Parsed;
        const size_t Id = Text.find(" ID ", Pos);
        const size_t Ei = Text.find(" EI", Pos);
        if (Id == std::string_view::npos || Ei == std::string_view::npos) return nullptr;
        std::string Name(Text.substr(Pos, Id - Pos));
        while (!Name.empty() && Name.front() == ' ') Name.erase(0, 1);
        if (Name == "bad") return nullptr;
        Pos = Ei + 3;
        return std::make_unique<TFakeImage>(Name, Log);
    };
}

TEST(Type3Rasterizer, InlineImagesParsedOncePerGlyphAndPosition) {
    TImageLog Log;
    TInstalledParser Installed(FakeParser(Log));
    TType3Fixture F;
    const std::string Two = "0 0 m BI one ID data EI 2 0 0 2 0 0 cm BI two ID 1 1 m EI 1 1 l f";
    F.Load({{"g", Two}, {"h", Two}, {"k", "BI bad ID 9 9 m EI 5 5 m"}});
    F.R.SetFillColor(0x0000FF);

    const std::string Want = "B M 0 0 L -1 -1 L -1 -1 L 2 2 F";
    EXPECT_EQ(F.Draw("g"), Want);
    EXPECT_EQ(Log.Parsed, 2);
    EXPECT_EQ(Log.Draws,
              (std::vector<std::string>{"one [1 0 0 1 0 0] 0000FF", "two [2 0 0 2 0 0] 0000FF"}));
    // Drawn again from the cache, through this drawing's matrix and colour.
    Log.Draws.clear();
    F.R.SetFillColor(0x00FF00);
    EXPECT_EQ(F.Draw("g", 10, 0), "B M 10 0 L -1 -1 L -1 -1 L 12 2 F");
    EXPECT_EQ(Log.Parsed, 2);
    EXPECT_EQ(Log.Draws,
              (std::vector<std::string>{"one [1 0 0 1 10 0] 00FF00", "two [2 0 0 2 10 0] 00FF00"}));
    // Another glyph name keeps images of its own.
    F.Draw("h");
    EXPECT_EQ(Log.Parsed, 4);
    EXPECT_EQ(F.R.InlineImageCount(), 4u);

    // An image that does not parse is passed over to its EI, once.
    Log.Draws.clear();
    EXPECT_EQ(F.Draw("k"), "B M 5 5");
    EXPECT_EQ(F.Draw("k"), "B M 5 5");
    EXPECT_EQ(Log.Parsed, 5);
    EXPECT_TRUE(Log.Draws.empty());

    // Loading again forgets the images.
    F.Load({{"g", "BI one ID EI"}});
    EXPECT_EQ(F.R.InlineImageCount(), 0u);
}

TEST(Type3Rasterizer, InlineImageParserThatMisbehaves) {
    TImageLog Log;
    // Claims success without moving, or past the end of the text.
    for (size_t Claim : {size_t(0), size_t(1000)}) {
        TInstalledParser Installed(
            [&Log, Claim](std::string_view, size_t& Pos) -> std::unique_ptr<TPDFType3InlineImage> {
                ++Log.Parsed;
                Pos = Claim == 0 ? Pos : Claim;
                return std::make_unique<TFakeImage>("x", Log);
            });
        TType3Fixture F;
        F.Load({{"g", "BI x ID 9 9 m EI 1 1 m"}});
        EXPECT_EQ(F.Draw("g"), "B M 1 1") << Claim;
        EXPECT_TRUE(Log.Draws.empty());
    }

    // A parser that raises leaves nothing cached: the next drawing parses.
    bool Raise = true;
    TInstalledParser Installed(FakeParser(Log));
    auto Inner = FakeParser(Log);
    Type3InlineImageParser() = [&Raise, Inner](std::string_view T, size_t& Pos) {
        if (Raise) throw std::runtime_error("codec failure");
        return Inner(T, Pos);
    };
    TType3Fixture F;
    F.Load({{"g", "BI one ID EI 1 1 m"}});
    TPaintCanvas C;
    double RX = 0, RY = 0;
    EXPECT_THROW(F.R.RenderToCanvas(RX, RY, &C, IdentityXForm, "g", peStandard),
                 std::runtime_error);
    EXPECT_TRUE(C.Calls.empty());
    EXPECT_EQ(F.R.InlineImageCount(), 0u);
    Raise = false;
    EXPECT_EQ(F.Draw("g"), "B L -1 -1 M 1 1");
}

TEST(Type3Rasterizer, ImagesUnderASingularMatrixAreNotDrawn) {
    TImageLog Log;
    TInstalledParser Installed(FakeParser(Log));
    TType3Fixture F;
    F.Load({{"g", "1 0 0 0 0 0 cm BI one ID EI"}});
    EXPECT_EQ(F.Draw("g"), "B");
    EXPECT_TRUE(Log.Draws.empty());
}

TEST(Type3Rasterizer, NonFiniteResultsNeverReachTheCanvas) {
    const std::string Huge(400, '9');  // read as a finite number near the largest
    struct TCase {
        std::string Proc;
        TPDFXForm Mat;
    };
    const TCase Cases[] = {
        {"0 0 m 1 1 l f " + Huge + " 0 l f", {10, 0, 0, 10, 0, 0}},
        {"0 0 m 10 0 0 10 0 0 cm " + Huge + " 1 l", IdentityXForm},
        {"0 0 m 1 0 0 1 " + Huge + " 0 cm 1 0 0 1 " + Huge + " 0 cm f", IdentityXForm},
        {"0 0 m", {std::numeric_limits<double>::infinity(), 0, 0, 1, 0, 0}},
        {"", {1, 0, 0, 1, std::nan(""), 0}},
    };
    for (const TCase& C : Cases) {
        TType3Fixture F;
        F.Load({{"g", C.Proc}});
        TPaintCanvas Canvas;
        double RX = 0, RY = 0;
        EXPECT_THROW(F.R.RenderToCanvas(RX, RY, &Canvas, C.Mat, "g", peStandard), EMathError)
            << C.Proc.substr(0, 40);
        EXPECT_TRUE(Canvas.Calls.empty()) << C.Proc.substr(0, 40);
    }
    // An origin that is not finite raises the same way.
    TType3Fixture F;
    F.Load({{"g", "0 0 m"}});
    TPaintCanvas Canvas;
    double RX = std::numeric_limits<double>::infinity(), RY = 0;
    EXPECT_THROW(F.R.RenderToCanvas(RX, RY, &Canvas, IdentityXForm, "g", peStandard), EMathError);
    EXPECT_TRUE(Canvas.Calls.empty());
}

TEST(Type3Rasterizer, HostileProceduresEndQuickly) {
    const double Start = vpltest::ThreadSeconds();
    struct TCase {
        std::string Proc;
        const char* Want;
    };
    std::string Operands;
    for (int I = 0; I < 300000; ++I) Operands += std::to_string(I % 1000) + ' ';
    std::string Images;
    for (int I = 0; I < 200000; ++I) Images += "BI ID x EI ";
    const TCase Cases[] = {
        // Operands far past the cap: the newest are the ones popped.
        {Operands + "m", "B M 998 999"},
        {std::string(1000000, '(') + " 1 1 m", "B"},
        {"1 1 m " + std::string(1000000, '<'), "B M 1 1"},
        {"1 1 m " + std::string(1000000, '['), "B M 1 1"},
        {"1 1 m (" + std::string(1000000, '\\'), "B M 1 1"},
        {"2 2 m " + std::string(1000000, 'x'), "B M 2 2"},
        {Images + "3 3 m", "B M 3 3"},
        {"0 0 m " + std::string(200000, 'h') + " f", "B M 0 0 F"},
    };
    for (const TCase& C : Cases) {
        TType3Fixture F;
        F.Load({{"g", C.Proc}});
        EXPECT_EQ(F.Draw("g"), C.Want) << C.Proc.substr(0, 30);
    }
    EXPECT_LT(vpltest::ThreadSeconds() - Start, 20);
}

TEST(Type3Rasterizer, ImagesPastTheCapArePassedOver) {
    TImageLog Log;
    TInstalledParser Installed(FakeParser(Log));
    std::string Proc;
    const size_t N = TPDFType3Rasterizer::kMaxInlineImages + 3;
    for (size_t I = 0; I < N; ++I) Proc += "BI i ID EI ";
    TType3Fixture F;
    F.Load({{"g", Proc + "1 1 m"}});
    TRecordingCanvas C;
    double RX = 0, RY = 0;
    EXPECT_TRUE(F.R.RenderToCanvas(RX, RY, &C, IdentityXForm, "g", peStandard));
    EXPECT_EQ(F.R.InlineImageCount(), TPDFType3Rasterizer::kMaxInlineImages);
    EXPECT_EQ(Log.Draws.size(), TPDFType3Rasterizer::kMaxInlineImages);
    EXPECT_EQ(C.Calls.back().Op, 'M');
}

// A canvas that draws the same glyph again from inside each move.
class TReentrantCanvas : public TRecordingCanvas {
public:
    TPDFType3Rasterizer* R = nullptr;
    int Nested = 0;
    int Refused = 0;
    void MoveTo(double X, double Y) override {
        TRecordingCanvas::MoveTo(X, Y);
        double RX = 0, RY = 0;
        ++Nested;
        if (!R->RenderToCanvas(RX, RY, this, IdentityXForm, "g", peStandard)) ++Refused;
    }
};

TEST(Type3Rasterizer, NestedDrawingIsBounded) {
    TType3Fixture F;
    F.Load({{"g", "0 0 m"}});
    TReentrantCanvas C;
    C.R = &F.R;
    double RX = 0, RY = 0;
    EXPECT_TRUE(F.R.RenderToCanvas(RX, RY, &C, IdentityXForm, "g", peStandard));
    EXPECT_EQ(C.Nested, TPDFType3Rasterizer::kMaxDepth);
    EXPECT_EQ(C.Refused, 1);
    // The guard is released: a later drawing works again.
    TPaintCanvas P;
    EXPECT_TRUE(F.R.RenderToCanvas(RX, RY, &P, IdentityXForm, "g", peStandard));
    EXPECT_EQ(P.Text(), "B M 0 0");
}

TEST(Type3Rasterizer, WithoutACanvasNothingIsDrawnButTheGlyphIsFound) {
    TType3Fixture F;
    F.Load({{"g", "0 0 m 1 1 l f"}});
    double RX = 0, RY = 0;
    EXPECT_TRUE(F.R.RenderToCanvas(RX, RY, nullptr, IdentityXForm, "g", peStandard));
    EXPECT_FALSE(F.R.RenderToCanvas(RX, RY, nullptr, IdentityXForm, "x", peStandard));
    EXPECT_EQ(F.R.FontMatrixScaling(), 1.0);
}

}  // namespace
}  // namespace velmo
