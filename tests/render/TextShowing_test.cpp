// Text shown on the canvas: glyph placement by widths, spacing, TJ
// adjustments and scaling, the rendering modes, vertical CMaps, composite
// glyph identifiers and Type 3 procedures, seen through a recording canvas
// and a rasterizer that marks each glyph's origin.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "fonts/FontCollection.h"
#include "fonts/TrueTypeRasterizer.h"
#include "fonts/Type3Rasterizer.h"
#include "tests/render/RendererTestKit.h"

namespace velmo {
namespace {

using namespace rendertest;

// Marks each glyph by a move to its origin on the canvas and notes its name
// and device position.
class TMarkRasterizer : public TPDFFontRasterizer {
public:
    std::vector<std::string>* Names;
    explicit TMarkRasterizer(std::vector<std::string>* Out) : Names(Out) {}
    bool RenderToCanvas(double& RX, double& RY, TPDFGenericCanvas* Canvas, const TPDFXForm& Mat,
                        const std::string& CharName, TPDFEncodingVector) override {
        const double X = RX * Mat.eM11 + RY * Mat.eM21 + Mat.eDx;
        const double Y = RX * Mat.eM12 + RY * Mat.eM22 + Mat.eDy;
        Canvas->MoveTo(X, Y);
        Names->push_back(CharName);
        return true;
    }
    double FontMatrixScaling() override { return 1; }
};

// The substitute rasterizer's kind, marking like the one above.
class TMarkSubstitute : public TPDFTrueTypeRasterizer2 {
public:
    std::vector<std::string>* Names;
    explicit TMarkSubstitute(std::vector<std::string>* Out) : Names(Out) {}
    bool RenderToCanvas(double& RX, double& RY, TPDFGenericCanvas* Canvas, const TPDFXForm& Mat,
                        const std::string& CharName, TPDFEncodingVector) override {
        Canvas->MoveTo(RX * Mat.eM11 + Mat.eDx, RY * Mat.eM22 + Mat.eDy);
        Names->push_back(CharName);
        return true;
    }
    int32_t ResolveGlyph(const std::string&) override { return kByName; }
};

// A page whose font /F1 is object 7 of a collection holding one entry.
struct TTextPage : TPage {
    TPDFFontCollection Fonts;
    TPDFFontCollectionData* Font = nullptr;
    std::vector<std::string> Glyphs;

    explicit TTextPage(const std::string& Content, bool Composite = false) : TPage(Content) {
        auto E = std::make_unique<TPDFFontCollectionData>();
        E->ObjNum = 7;
        E->FontName = "Test";
        E->Widths.fill(500);
        for (int C = 0; C < 256; ++C) E->Encoding[size_t(C)] = std::string(1, char(C));
        E->Encoding[0] = ".notdef";
        E->Rasterizer = std::make_unique<TMarkRasterizer>(&Glyphs);
        E->SubType = "Type1";
        E->Embedded = true;
        if (Composite) {
            E->IsComposite = true;
            E->SubType = "CIDFontType2";
            E->CIDWidths = std::make_unique<TPDFCIDWidths>();
            E->CIDWidths->AddDefault(500);
        }
        Font = Fonts.AddFontData(std::move(E));
        auto* FontRes = S.NewDictionary();
        FontRes->Add("F1", Ref(7));
        Resources->Add("Font", FontRes);
        Objects[7] = S.NewDictionary();
    }

    // The canvas log of a render at 72 DPI on the 100 x 100 page.
    std::string Run() {
        Glyphs.clear();
        TPDFRenderer R(&Fonts);
        TRecorder Rec;
        Attach(R);
        R.SetDPI(72);
        R.SetCanvasRecorder(&Rec);
        R.Render();
        return Rec.Log;
    }
};

// The device x of every glyph origin in a log.
std::vector<std::string> Moves(const std::string& Log) {
    std::vector<std::string> Out;
    size_t P = 0;
    while ((P = Log.find('M', P)) != std::string::npos) {
        const size_t E = Log.find(' ', P);
        Out.push_back(Log.substr(P + 1, E == std::string::npos ? E : E - P - 1));
        P = E == std::string::npos ? Log.size() : E;
    }
    return Out;
}

TEST(TextShowing, AdvancesSpacingAndAdjustments) {
    struct TCase {
        const char* Name;
        const char* Content;
        std::vector<std::string> Want;  // glyph origins, device x,y
    } Cases[] = {
        // Width 500 at size 10: each glyph moves 5 units; the page's y runs
        // down from 100.
        {"Tj", "BT /F1 10 Tf 10 20 Td (AB) Tj (A) Tj ET", {"10,80", "15,80", "20,80"}},
        // An adjustment of -1000 moves B one em (10) further right; TM moves
        // by (500 + 1000 + 500) / 1000 * 10 = 20.
        {"TJ", "BT /F1 10 Tf 10 20 Td [(A) -1000 (B)] TJ (A) Tj ET", {"10,80", "25,80", "30,80"}},
        // Th 50 halves the adjustment before the matrix halves it again.
        {"Th 50", "BT /F1 10 Tf 50 Tz 10 20 Td [(A) -1000 (B)] TJ ET", {"10,80", "15,80"}},
        // Word spacing after byte 32 only; character spacing after each.
        {"Tw", "BT /F1 10 Tf 3 Tw 10 20 Td (A B) Tj ET", {"10,80", "15,80", "23,80"}},
        {"Tc", "BT /F1 10 Tf 1 Tc 10 20 Td (AB) Tj ET", {"10,80", "16,80"}},
        // Size 0: nothing drawn, the text matrix stays.
        {"Tfs 0", "BT /F1 0 Tf 10 20 Td (AB) Tj /F1 10 Tf (A) Tj ET", {"10,80"}},
        // A rise lifts the glyph, not the advance.
        {"Ts", "BT /F1 10 Tf 2 Ts 10 20 Td (A) Tj ET", {"10,78"}},
        // ' and " move to the next line first.
        {"quote", "BT /F1 10 Tf 12 TL 10 20 Td (A) ' 2 0 (B) \" ET", {"10,92", "10,104"}},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TTextPage P(C.Content);
        EXPECT_EQ(Moves(P.Run()), C.Want);
    }
}

TEST(TextShowing, RenderingModesPaintOnce) {
    struct TCase {
        int Mode;
        const char* Paint;  // the last word of the log
    } Cases[] = {{0, "F#000000"}, {1, "S#000000w1"}, {2, "SF#000000w1#000000"},
                 {3, "N"},        {4, "F#000000"},   {7, "N"}};
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Mode);
        TTextPage P("BT /F1 10 Tf " + std::to_string(C.Mode) + " Tr 10 20 Td (AB) Tj (A) Tj ET");
        const std::string Log = P.Run();
        EXPECT_EQ(Log.substr(Log.rfind(' ') + 1), C.Paint);
        // One path per show: two begins for two shows, whatever the mode.
        size_t Begins = 0;
        for (size_t Pos = 0; (Pos = Log.find("B ", Pos)) != std::string::npos; ++Pos) ++Begins;
        EXPECT_EQ(Begins, 2u) << Log;
        EXPECT_EQ(Log.find("W") != std::string::npos, C.Mode >= 4) << Log;
        EXPECT_EQ(Moves(Log).size(), 3u);  // mode 3 still advances
    }
}

TEST(TextShowing, HiddenContentAdvancesWithoutDrawing) {
    TTextPage P("BT /F1 10 Tf 10 20 Td /OC /G BDC (AB) Tj EMC (A) Tj ET");
    P.Objects[30] = P.S.Decode("<< /Type /OCG /Name (g) >>");
    auto* Props = P.S.NewDictionary();
    Props->Add("G", P.Ref(30));
    P.Resources->Add("Properties", Props);
    TPDFRenderer R(&P.Fonts);
    TRecorder Rec;
    P.Attach(R);
    R.SetDPI(72);
    R.SetCanvasRecorder(&Rec);
    R.OCGStateList().push_back({P.Ref(30), false});
    R.Render();
    EXPECT_EQ(Moves(Rec.Log), std::vector<std::string>({"20,80"}));
}

TEST(TextShowing, SubstituteSkipsNotdefButAdvances) {
    TTextPage P("BT /F1 10 Tf 10 20 Td (\\000A) Tj ET");
    P.Font->Rasterizer = std::make_unique<TMarkSubstitute>(&P.Glyphs);
    P.Font->Embedded = false;
    EXPECT_EQ(Moves(P.Run()), std::vector<std::string>({"15,80"}));
    EXPECT_EQ(P.Glyphs, std::vector<std::string>({"A"}));
    // An embedded program draws its .notdef.
    P.Font->Embedded = true;
    EXPECT_EQ(Moves(P.Run()).size(), 2u);
}

TEST(TextShowing, CompositeGlyphsAndVerticalText) {
    // Codes are byte pairs (no character collection); width 500 by default.
    {
        TTextPage P("BT /F1 10 Tf 10 20 Td <00410020> Tj 3 Tw <00200041> Tj ET", true);
        P.Run();
        EXPECT_EQ(P.Glyphs, std::vector<std::string>({"GID:65", "GID:32", "GID:32", "GID:65"}));
        // Word spacing after code 32 only with a one-byte CMap.
        EXPECT_EQ(Moves(P.Run()), std::vector<std::string>({"10,80", "15,80", "20,80", "25,80"}));
        P.Font->SingleByteCMap = true;
        EXPECT_EQ(Moves(P.Run()), std::vector<std::string>({"10,80", "15,80", "20,80", "28,80"}));
    }
    {
        // Non-embedded Adobe-ordered fonts take the collection's glyph:
        // CID 1 is glyph 32 of a CFF font and 30 of a TrueType one.
        TTextPage P("BT /F1 10 Tf <0001> Tj ET", true);
        P.Font->AdobeGIDType0 = true;
        P.Font->Embedded = false;
        P.Font->SubType = "CIDFontType0";
        P.Run();
        EXPECT_EQ(P.Glyphs, std::vector<std::string>({"GID:32"}));
        P.Font->SubType = "CIDFontType2";
        P.Run();
        EXPECT_EQ(P.Glyphs, std::vector<std::string>({"GID:30"}));
        // Past the end of the table the CID is its own glyph.
        TTextPage Q("BT /F1 10 Tf <7000> Tj ET", true);
        Q.Font->AdobeGIDType0 = true;
        Q.Font->Embedded = false;
        Q.Run();
        EXPECT_EQ(Q.Glyphs, std::vector<std::string>({"GID:28672"}));
    }
    {
        // A vertical CMap centres each glyph on x and moves down by DW2_w1.
        TTextPage P("BT /F1 10 Tf 50 50 Td <00410042> Tj ET", true);
        P.Font->CIDEncoding = "Identity-V";
        EXPECT_EQ(Moves(P.Run()), std::vector<std::string>({"47.5,58.8", "47.5,68.8"}));
    }
}

TEST(TextShowing, Type3ProceduresDrawThroughTheInterpreter) {
    TTextPage P("BT /F1 10 Tf 10 20 Td (ab) Tj 0 0 1 rg 0 0 5 5 re f ET");
    auto T3 = std::make_unique<TPDFType3Rasterizer>();
    // /a fills a square of its glyph space; /b shows text in its own font,
    // which the nesting guard stops.
    P.Objects[40] = P.S.NewStream("1000 0 0 0 500 500 d1 0 0 500 500 re f", false);
    P.Objects[41] = P.S.NewStream("500 0 d0 BT /F1 1 Tf (a) Tj ET 0 0 100 100 re f", false);
    auto* FontDict = ObjAs<TPDFDictionary>(P.S.Decode(
        "<< /Type /Font /Subtype /Type3 /FontMatrix [0.001 0 0 0.001 0 0]"
        " /CharProcs << /a 40 0 R /b 41 0 R >> /Resources << /Font << /F1 7 0 R >> >> >>"));
    T3->FOnFindObject = [&P](TPDFIndRef* Ref) -> TPDFObject* { return P.Objects[Ref->ObjNum]; };
    T3->LoadFromPDFDict(FontDict);
    P.Font->Rasterizer = std::move(T3);
    P.Font->Widths.fill(1000);
    const std::string Log = P.Run();
    // /a at (10, 20): a 5 x 5 square; /b one em further: its own square,
    // without the nested text.
    EXPECT_NE(Log.find("M10,80 L15,80 L15,75 L10,75 H F#000000"), std::string::npos) << Log;
    EXPECT_NE(Log.find("M20,80 L21,80 L21,79 L20,79 H F#000000"), std::string::npos) << Log;
    // The page goes on in its own font and colour after the glyphs.
    EXPECT_NE(Log.find("F#0000FF"), std::string::npos) << Log;
}

// A rasterizer whose font matrix scales by 0.
class TZeroScaleRasterizer : public TMarkRasterizer {
public:
    using TMarkRasterizer::TMarkRasterizer;
    double FontMatrixScaling() override { return 0; }
};

bool AllFinite(const std::string& Log) {
    for (const char* Bad : {"nan", "inf", "NaN", "Inf"})
        if (Log.find(Bad) != std::string::npos) return false;
    return true;
}

TEST(TextShowing, ZeroScalingsLeaveTheirTermOut) {
    // A font matrix scaling of 0: widths and spacing are not divided by it
    // and a TJ adjustment, which would be, is passed over.
    TTextPage Zero("BT /F1 10 Tf 10 20 Td [(A) -1000 (B)] TJ (A) Tj ET 0 0 5 5 re f");
    Zero.Font->Rasterizer = std::make_unique<TZeroScaleRasterizer>(&Zero.Glyphs);
    const std::string Log = Zero.Run();
    EXPECT_TRUE(AllFinite(Log)) << Log;
    const std::vector<std::string> Got = Moves(Log);
    ASSERT_EQ(Got.size(), 4u) << Log;  // three glyphs and the square
    EXPECT_EQ(std::vector<std::string>(Got.begin(), Got.begin() + 3),
              std::vector<std::string>({"10,80", "15,80", "20,80"}));

    // A Type 3 font whose matrix has eM11 0: adjustments and advances stay
    // finite and the page goes on.
    TTextPage T("BT /F1 10 Tf 10 20 Td [(a) -1000 (a)] TJ (a) Tj ET 0 0 1 rg 0 0 5 5 re f");
    auto T3 = std::make_unique<TPDFType3Rasterizer>();
    T.Objects[40] = T.S.NewStream("1000 0 0 0 500 500 d1 0 0 500 500 re f", false);
    auto* FontDict = ObjAs<TPDFDictionary>(
        T.S.Decode("<< /Type /Font /Subtype /Type3 /FontMatrix [0 0 0 0.001 0 0]"
                   " /CharProcs << /a 40 0 R >> >>"));
    T3->FOnFindObject = [&T](TPDFIndRef* Ref) -> TPDFObject* { return T.Objects[Ref->ObjNum]; };
    T3->LoadFromPDFDict(FontDict);
    T.Font->Rasterizer = std::move(T3);
    const std::string T3Log = T.Run();
    EXPECT_TRUE(AllFinite(T3Log)) << T3Log;
    EXPECT_NE(T3Log.find("F#0000FF"), std::string::npos) << T3Log;
}

TEST(TextShowing, APageWhoseFontFailsAnalysisStillRenders) {
    struct TLoaderGuard {
        TPDFProgramLoader Saved = Type1ProgramLoader();
        ~TLoaderGuard() { Type1ProgramLoader() = Saved; }
    } Guard;
    Type1ProgramLoader() = [](auto&&...) -> std::unique_ptr<TPDFFontRasterizer> {
        throw std::runtime_error("broken program");
    };
    TPage P("BT /F1 10 Tf 10 20 Td (H) Tj ET 0 0 1 rg 0 0 5 5 re f");
    P.Objects[7] =
        P.S.Decode("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /FontDescriptor 8 0 R >>");
    P.Objects[8] = P.S.Decode(
        "<< /Type /FontDescriptor /FontName /Helvetica /Flags 32 "
        "/FontFile3 9 0 R >>");
    P.Objects[9] = P.S.NewStream("not a program", false);
    auto* FontRes = P.S.NewDictionary();
    FontRes->Add("F1", P.Ref(7));
    P.Resources->Add("Font", FontRes);
    TPDFFontCollection Fonts;
    Fonts.FInstallFonts = true;
    Fonts.FOnFindObject = [&P](TPDFIndRef* Ref) -> TPDFObject* {
        auto It = P.Objects.find(Ref->ObjNum);
        return It == P.Objects.end() ? nullptr : It->second;
    };
    TPDFRenderer R(&Fonts);
    TRecorder Rec;
    P.Attach(R);
    R.SetDPI(72);
    R.SetCanvasRecorder(&Rec);
    R.Render();
    ASSERT_EQ(Fonts.AnalysisErrors().size(), 1u);
    EXPECT_EQ(Fonts.AnalysisErrors()[0].Message, "broken program");
    // The installed face draws the letter, and the page goes on after it.
    const size_t Text = Rec.Log.find("F#000000");
    EXPECT_NE(Text, std::string::npos) << Rec.Log;
    EXPECT_NE(Rec.Log.find("F#0000FF", Text == std::string::npos ? 0 : Text), std::string::npos)
        << Rec.Log;
}

}  // namespace
}  // namespace velmo

namespace velmo {
namespace {

// Keeps every run the renderer hands over, with the match flag it came with.
class TRecordingFunnel : public TPDFTextFunnelBase {
public:
    struct TRun {
        std::u16string Text;
        double X, Width, Height, FontSize;
        bool Match;
        std::string Color;
        std::vector<double> Components;
    };
    std::vector<TRun> Runs;
    void AddText(const TPDFXForm&, std::u16string_view Text, const TPDFTextColor& Color,
                 std::string_view, double FontSize, double X, double, double Width, double Height,
                 std::span<const double>) override {
        Runs.push_back({std::u16string(Text), X, Width, Height, FontSize, FMatch, Color.HexColor,
                        Color.Color});
    }
};

std::vector<std::u16string> Texts(const TRecordingFunnel& F) {
    std::vector<std::u16string> Out;
    for (const auto& R : F.Runs) Out.push_back(R.Text);
    return Out;
}

void Extract(TTextPage& P, TRecordingFunnel& F) {
    TPDFRenderer R(&P.Fonts);
    P.Attach(R);
    R.SetDestination(rdTextFunnel);
    R.SetTextFunnel(&F);
    R.Render();
}

TEST(TextFunnelRuns, WordsSpacingAndAdjustments) {
    struct TCase {
        const char* Name;
        const char* Content;
        bool SplitWords;
        std::vector<std::u16string> Want;
    } Cases[] = {
        {"whole string", "BT /F1 10 Tf (Hello World) Tj ET", false, {u"Hello World"}},
        {"split words", "BT /F1 10 Tf (Hello World) Tj ET", true, {u"Hello", u"World"}},
        {"adjustment splits", "BT /F1 10 Tf [(A) 1000 (B)] TJ ET", false, {u"A", u"B"}},
        {"Tc 2: one run per character", "BT /F1 10 Tf 2 Tc (ABC) Tj ET", false, {u"A", u"B", u"C"}},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TTextPage P(C.Content);
        TRecordingFunnel F;
        F.FSplitWords = C.SplitWords;
        Extract(P, F);
        EXPECT_EQ(Texts(F), C.Want);
    }
    // "World" starts after the space's advance: six glyphs of 500.
    TTextPage P("BT /F1 10 Tf (Hello World) Tj ET");
    TRecordingFunnel F;
    F.FSplitWords = true;
    Extract(P, F);
    ASSERT_EQ(F.Runs.size(), 2u);
    EXPECT_DOUBLE_EQ(F.Runs[1].X, 3000);
    EXPECT_DOUBLE_EQ(F.Runs[0].Width, 2500);
}

TEST(TextFunnelRuns, CompositeSpacesAndSingleCharacters) {
    // A no-break space of a composite font's ToUnicode splits words.
    TTextPage P("BT /F1 10 Tf <004100200042> Tj ET", true);
    P.Font->ToUnicodeMap = std::make_unique<TKorbexPDFLibraryCMap>();
    P.Font->ToUnicodeMap->AddBFRange(0x41, 0x42, u"A");
    P.Font->ToUnicodeMap->AddBFRange(0x20, 0x20, u"\u00A0");
    TRecordingFunnel F;
    F.FSplitWords = true;
    Extract(P, F);
    EXPECT_EQ(Texts(F), (std::vector<std::u16string>{u"A", u"B"}));
    // From a simple font the same character stays in the word.
    TTextPage Q("BT /F1 10 Tf (A\\240B) Tj ET");
    Q.Font->DisplayCSW[0xA0] = u"\u00A0";
    TRecordingFunnel G;
    G.FSplitWords = true;
    Extract(Q, G);
    EXPECT_EQ(Texts(G), (std::vector<std::u16string>{u"A\u00A0B"}));
    // With Tw 2 a composite font's space goes alone, and the word before it
    // is kept.
    TTextPage V("BT /F1 10 Tf 2 Tw <00480069002000570021> Tj ET", true);
    V.Font->SingleByteCMap = true;
    V.Font->ToUnicodeMap = std::make_unique<TKorbexPDFLibraryCMap>();
    V.Font->ToUnicodeMap->SetIdentityMapping();
    TRecordingFunnel H;
    Extract(V, H);
    EXPECT_EQ(Texts(H), (std::vector<std::u16string>{u"Hi", u" ", u"W!"}));
}

TEST(TextFunnelRuns, HeightAndColour) {
    TTextPage P("BT /F1 10 Tf 0 0 0 1 k (A) Tj 1 0 0 rg (B) Tj ET");
    P.Font->Ascent = 900;
    P.Font->Descent = -2000;
    TRecordingFunnel F;
    F.FOutputCMYK = true;
    Extract(P, F);
    ASSERT_EQ(F.Runs.size(), 2u);
    EXPECT_NEAR(F.Runs[0].Height, 1000, 1e-9);
    EXPECT_EQ(F.Runs[0].Color, "000000FF");
    EXPECT_EQ(F.Runs[0].Components, (std::vector<double>{0, 0, 0, 1}));
    EXPECT_EQ(F.Runs[1].Color, "#FF0000");
    EXPECT_DOUBLE_EQ(F.Runs[0].FontSize, 10);
}

}  // namespace
}  // namespace velmo
