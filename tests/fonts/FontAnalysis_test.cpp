// The analysis of font dictionaries made in the test: kinds, glyph names,
// widths, metrics, the composite machinery, and the faults it must survive
// (hostile width arrays, composite fonts that nest, programs that fail).
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "core/CMap.h"
#include "core/Structure.h"
#include "fonts/FontCollection.h"
#include "fonts/Type1Decoder.h"
#include "tests/fonts/RecordingCanvas.h"
#include "tests/fonts/Type1CffFixtures.h"
#include "fonts/PlatformOutlines.h"
#include "fonts/TrueTypeRasterizer.h"
#include "fonts/Type3Rasterizer.h"
#include "tests/fonts/FamilyLists.h"
#include "tests/fonts/SfntWriter.h"

namespace velmo {
namespace {

// Fonts made from PDF text; objects are numbered by the test and found
// through the collection's look-up.
class TFonts {
public:
    TFonts() {
        Col.FInstallFonts = true;
        Col.FOnFindObject = [this](TPDFIndRef* Ref) -> TPDFObject* {
            auto It = Objects.find(Ref->ObjNum);
            return It == Objects.end() ? nullptr : It->second;
        };
    }
    TPDFObject* Add(int32_t Num, std::string_view Text) {
        TPDFObject* O = S.Decode(Text);
        Objects[Num] = O;
        return O;
    }
    TPDFStream* AddStream(int32_t Num, std::string Data, std::string_view Dict = "<< >>") {
        auto* D = ObjAs<TPDFDictionary>(S.Decode(Dict));
        TPDFStream* St = S.NewStreamWithDict(std::move(Data), D);
        Objects[Num] = St;
        return St;
    }
    // Analyses object Num and returns its entry.
    TPDFFontCollectionData& Analyse(int32_t Num) {
        TPDFIndRef* Ref = S.NewIndirectRef(Num, 0);
        const size_t Before = Col.FontDataCount();
        Col.GetFontData(Ref);
        EXPECT_EQ(Col.FontDataCount(), Before + 1) << "one entry per font";
        return *Col.FoundFontData();
    }

    TPDFStructure S;
    std::map<int32_t, TPDFObject*> Objects;
    TPDFFontCollection Col;
};

TEST(FontAnalysis, StandardFontsWithoutDescriptor) {
    TFonts F;
    F.Add(1,
          "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold /Encoding /WinAnsiEncoding >>");
    TPDFFontCollectionData& E = F.Analyse(1);
    EXPECT_EQ(E.FontName, "Arial,Bold");
    EXPECT_EQ(E.Ascent, 718);
    EXPECT_EQ(E.Descent, -207);
    EXPECT_EQ(E.Widths['A'], 722);  // Helvetica-Bold's A
    EXPECT_EQ(E.Widths[' '], 278);
    EXPECT_NE(dynamic_cast<TPDFTrueTypeRasterizer2*>(E.Rasterizer.get()), nullptr);
    EXPECT_FALSE(E.Embedded);

    F.Add(2, "<< /Type /Font /Subtype /Type1 /BaseFont /Symbol >>");
    TPDFFontCollectionData& Sym = F.Analyse(2);
    EXPECT_EQ(Sym.Encoding[0x61], "U+03B1");  // alpha
    EXPECT_EQ(Sym.Enc, peSymbol);

    // ZapfDingbats draws from the built-in program, with or without a
    // descriptor.
    F.Add(3, "<< /Type /Font /Subtype /Type1 /BaseFont /ZapfDingbats >>");
    F.Add(4, "<< /Type /Font /Subtype /Type1 /BaseFont /ZapfDingbats /FontDescriptor 5 0 R >>");
    F.Add(5, "<< /Type /FontDescriptor /Flags 4 >>");
    for (int32_t Num : {3, 4}) {
        auto* T = dynamic_cast<TPDFTrueTypeRasterizer2*>(F.Analyse(Num).Rasterizer.get());
        ASSERT_NE(T, nullptr) << Num;
        EXPECT_TRUE(T->IsZapfDingbats);
        EXPECT_GT(T->Parser().GlyphCount(), 100) << Num;
    }
}

TEST(FontAnalysis, SimpleFontFields) {
    TFonts F;
    // Widths: FirstChar 32, LastChar clamped to 255, MissingWidth below.
    std::string W = "[";
    for (int I = 32; I <= 300; ++I) W += std::to_string(I) + " ";
    W += "]";
    F.Add(1,
          "<< /Type /Font /Subtype /TrueType /BaseFont /ABCDEF+Foo /FirstChar 32 "
          "/LastChar 300 /Widths " +
              W + " /FontDescriptor 2 0 R >>");
    F.Add(2, "<< /Type /FontDescriptor /MissingWidth 111 /Ascent 0.8 /Descent -0.2 /Flags 32 >>");
    TPDFFontCollectionData& E = F.Analyse(1);
    EXPECT_TRUE(E.Subsetted);
    EXPECT_EQ(E.FirstChar, 32);
    EXPECT_EQ(E.LastChar, 255);
    EXPECT_EQ(E.Widths[31], 111);
    EXPECT_EQ(E.Widths[32], 32);
    EXPECT_EQ(E.Widths[255], 255);
    EXPECT_DOUBLE_EQ(E.Ascent, 800);
    EXPECT_DOUBLE_EQ(E.Descent, -200);

    // Ascent and descent 0: the cap height stands in.
    F.Add(3, "<< /Type /Font /Subtype /TrueType /BaseFont /Bar /FontDescriptor 4 0 R >>");
    F.Add(4, "<< /Type /FontDescriptor /Ascent 0 /Descent 0 /CapHeight 700 >>");
    TPDFFontCollectionData& Cap = F.Analyse(3);
    EXPECT_DOUBLE_EQ(Cap.Ascent, 700);
    EXPECT_DOUBLE_EQ(Cap.Descent, 0);

    // An unknown subtype still gets a drawing face.
    F.Add(5, "<< /Type /Font /Subtype /Foo /BaseFont /Times-Roman >>");
    EXPECT_NE(F.Analyse(5).Rasterizer, nullptr);
    // Not a dictionary at all: one plain entry.
    F.Add(6, "42");
    EXPECT_EQ(F.Analyse(6).FontName, "Arial");
}

TEST(FontAnalysis, CompositeFonts) {
    TFonts F;
    F.Add(1,
          "<< /Type /Font /Subtype /Type0 /BaseFont /Foo /Encoding /Identity-H "
          "/DescendantFonts [2 0 R] >>");
    F.Add(2,
          "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Foo /CIDToGIDMap /Identity "
          "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> "
          "/DW 1000 /W [1 [500 600] 10 12 700 5 [500 /x 700]] /DW2 [900 -900] >>");
    TPDFFontCollectionData& E = F.Analyse(1);
    EXPECT_TRUE(E.IsComposite);
    EXPECT_EQ(E.CIDEncoding, "Identity-H");
    EXPECT_NE(E.GIDToCIDMap, -1);
    EXPECT_EQ(E.CIDToGIDMap, nullptr);
    EXPECT_FALSE(E.SingleByteCMap);
    EXPECT_EQ(E.CIDSystemInfo, "Adobe-Identity-0");
    ASSERT_NE(E.CIDWidths, nullptr);
    EXPECT_EQ(E.CIDWidths->Default(), 1000);
    EXPECT_EQ(E.CIDWidths->Width(1), 500);
    EXPECT_EQ(E.CIDWidths->Width(2), 600);
    EXPECT_EQ(E.CIDWidths->Width(11), 700);
    // 5 [500 /x 700]: CID 6 has no width of its own, 7 does. CID 5 came
    // earlier from nothing: first definition wins.
    EXPECT_EQ(E.CIDWidths->Width(6), std::nullopt);
    EXPECT_EQ(E.CIDWidths->Width(7), 700);
    EXPECT_EQ(E.DW2_v, 900);
    EXPECT_EQ(E.DW2_w1, -900);

    // DW2 with one number keeps the defaults.
    F.Add(3, "<< /Type /Font /Subtype /Type0 /Encoding /Identity-H /DescendantFonts [4 0 R] >>");
    F.Add(4, "<< /Type /Font /Subtype /CIDFontType2 /DW2 [900] >>");
    TPDFFontCollectionData& D = F.Analyse(3);
    EXPECT_EQ(D.DW2_v, 880);
    EXPECT_EQ(D.DW2_w1, -1000);
}

TEST(FontAnalysis, CompositeFontsWithoutProgramGetCJKFaces) {
    TGivenFamilies Given({{128, {"MS Mincho", "MS PMincho"}},
                          {0, {"Arial", "Courier"}},
                          {1, {"Arial", "Courier", "MS Mincho", "MS PMincho"}}});
    TFonts F;
    F.Add(1,
          "<< /Type /Font /Subtype /Type0 /BaseFont /KozMinPr6N-Regular-UniJIS-UCS2-H "
          "/Encoding /UniJIS-UCS2-H /DescendantFonts [2 0 R] >>");
    F.Add(2,
          "<< /Type /Font /Subtype /CIDFontType0 /BaseFont /KozMinPr6N-Regular "
          "/CIDSystemInfo << /Registry (Adobe) /Ordering (Japan1) /Supplement 6 >> "
          "/FontDescriptor 3 0 R >>");
    F.Add(3, "<< /Type /FontDescriptor /FontName /KozMinPr6N-Regular /Flags 4 >>");
    TPDFFontCollectionData& J = F.Analyse(1);
    EXPECT_EQ(J.CIDToGIDMap, GetCIDToUnicodeTable(932));
    EXPECT_FALSE(J.AdobeGIDType0);
    auto* JR = dynamic_cast<TPDFSimpleTrueTypeRasterizer*>(J.Rasterizer.get());
    ASSERT_NE(JR, nullptr);
    EXPECT_EQ(JR->Font().Family, "MS PMincho");
    EXPECT_EQ(JR->Font().CharSet, 128);

    F.Add(4,
          "<< /Type /Font /Subtype /Type0 /BaseFont /CourierStd /Encoding /Identity-H "
          "/DescendantFonts [5 0 R] >>");
    F.Add(5,
          "<< /Type /Font /Subtype /CIDFontType0 /BaseFont /CourierStd "
          "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> "
          "/FontDescriptor 6 0 R >>");
    F.Add(6, "<< /Type /FontDescriptor /FontName /CourierStd /Flags 1 >>");
    TPDFFontCollectionData& C = F.Analyse(4);
    EXPECT_TRUE(C.AdobeGIDType0);
    EXPECT_EQ(C.CIDToGIDMap, nullptr);
    auto* CR = dynamic_cast<TPDFSimpleTrueTypeRasterizer*>(C.Rasterizer.get());
    ASSERT_NE(CR, nullptr);
    EXPECT_EQ(CR->Font().Family, "Courier");
    EXPECT_EQ(CR->Font().CharSet, 0);
}

TEST(FontAnalysis, EmbeddedEncodingCMapIsShared) {
    TFonts F;
    const std::string CMap =
        "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /Foo-H def "
        "/CMapType 1 def "
        "1 begincodespacerange <00> <FF> endcodespacerange 1 begincidrange <20> <7E> 1 "
        "endcidrange endcmap CMapName currentdict /CMap defineresource pop end end";
    F.AddStream(9, CMap, "<< /Type /CMap /CMapName /Foo-H >>");
    for (int32_t Num : {1, 3}) {
        F.Add(Num, "<< /Type /Font /Subtype /Type0 /Encoding 9 0 R /DescendantFonts [" +
                       std::to_string(Num + 1) + " 0 R] >>");
        F.Add(Num + 1, "<< /Type /Font /Subtype /CIDFontType2 >>");
    }
    TPDFFontCollectionData& A = F.Analyse(1);
    TPDFFontCollectionData& B = F.Analyse(3);
    EXPECT_TRUE(A.EncodingBuiltIn);
    EXPECT_EQ(A.CIDEncoding, "Foo-H");
    EXPECT_EQ(A.GIDToCIDMap, B.GIDToCIDMap);
    EXPECT_TRUE(A.SingleByteCMap);
    EXPECT_EQ(F.Col.ResourceCMapGetValue(A.GIDToCIDMap, 0x41), 0x41 - 0x20 + 1);
}

TEST(FontAnalysis, HostileAndBrokenFonts) {
    TFonts F;
    // A width range over every CID costs one range.
    F.Add(1, "<< /Type /Font /Subtype /Type0 /Encoding /Identity-H /DescendantFonts [2 0 R] >>");
    F.Add(2, "<< /Type /Font /Subtype /CIDFontType2 /W [0 2147483647 500 -5 [1] 3 /x 9] >>");
    TPDFFontCollectionData& E = F.Analyse(1);
    EXPECT_EQ(E.CIDWidths->Width(65535), 500);
    EXPECT_EQ(E.CIDWidths->Width(65536), std::nullopt);

    // Composite fonts whose descendant is a composite font again (here
    // itself), or no font, or several: one entry each, no recursion.
    F.Add(3,
          "<< /Type /Font /Subtype /Type0 /BaseFont /Loop /Encoding /Identity-H "
          "/DescendantFonts [3 0 R] >>");
    F.Add(4, "<< /Type /Font /Subtype /Type0 /DescendantFonts [5 0 R 2 0 R] >>");
    F.Add(5, "<< /Type /Font /Subtype /Type0 /DescendantFonts 99 0 R >>");
    for (int32_t Num : {3, 4, 5}) {
        TPDFFontCollectionData& B = F.Analyse(Num);
        EXPECT_TRUE(B.IsComposite) << Num;
        EXPECT_EQ(B.GIDToCIDMap, -1) << Num;
    }

    // A program whose filter fails: the installed face of the font's name,
    // one entry, and the failure noted.
    F.Add(6, "<< /Type /Font /Subtype /TrueType /BaseFont /Arial /FontDescriptor 7 0 R >>");
    F.Add(7, "<< /Type /FontDescriptor /FontFile2 8 0 R >>");
    F.AddStream(8, "not a deflate stream", "<< /Filter /FlateDecode /Length 20 >>");
    const size_t Errors = F.Col.AnalysisErrors().size();
    TPDFFontCollectionData& Broken = F.Analyse(6);
    EXPECT_NE(Broken.Rasterizer, nullptr);
    EXPECT_LE(F.Col.AnalysisErrors().size(), Errors + 1);
}

TEST(FontAnalysis, WidthArraysCutToTheCIDRangeAndStopAtAStrayItem) {
    struct TCase {
        const char* W;
        std::vector<std::pair<uint32_t, std::optional<int32_t>>> Widths;
    };
    const TCase Cases[] = {
        // A negative first CID is cut to 0, in both forms.
        {"[-5 3 400]", {{0, 400}, {3, 400}, {4, std::nullopt}}},
        {"[-2 [100 200 300]]", {{0, 300}, {1, std::nullopt}}},
        {"[-2147483648 [1 2]]", {{0, std::nullopt}}},
        {"[65534 [1 2 3]]", {{65534, 1}, {65535, 2}, {65536, std::nullopt}}},
        // A name where a last CID or a list belongs ends the parse: nothing
        // after it counts.
        {"[1 [500] 3 /x 9 20 [800]]",
         {{1, 500}, {3, std::nullopt}, {9, std::nullopt}, {20, std::nullopt}}},
        // Inside a list a name only leaves its own CID without a width.
        {"[5 [500 /x 700] 20 [800]]", {{5, 500}, {6, std::nullopt}, {7, 700}, {20, 800}}},
    };
    for (const TCase& C : Cases) {
        TFonts F;
        F.Add(1,
              "<< /Type /Font /Subtype /Type0 /Encoding /Identity-H /DescendantFonts [2 0 R] >>");
        F.Add(2, std::string("<< /Type /Font /Subtype /CIDFontType2 /W ") + C.W + " >>");
        TPDFFontCollectionData& E = F.Analyse(1);
        ASSERT_NE(E.CIDWidths, nullptr);
        for (auto [CID, Width] : C.Widths)
            EXPECT_EQ(E.CIDWidths->Width(CID), Width) << C.W << " " << CID;
    }

    // This face's built-in width table is empty: every CID takes DW and the
    // font's W is not read.
    TFonts F;
    F.Add(1,
          "<< /Type /Font /Subtype /Type0 /BaseFont /HeiseiKakuGo-W5-UniJIS-UCS2-H "
          "/Encoding /UniJIS-UCS2-H /DescendantFonts [2 0 R] >>");
    F.Add(2,
          "<< /Type /Font /Subtype /CIDFontType0 /BaseFont /HeiseiKakuGo-W5 /DW 800 "
          "/W [1 [500]] /FontDescriptor 3 0 R "
          "/CIDSystemInfo << /Registry (Adobe) /Ordering (Japan1) /Supplement 2 >> >>");
    F.Add(3, "<< /Type /FontDescriptor /FontName /HeiseiKakuGo-W5 /Flags 4 >>");
    TPDFFontCollectionData& H = F.Analyse(1);
    ASSERT_NE(H.CIDWidths, nullptr);
    EXPECT_EQ(H.CIDWidths->Width(1), std::nullopt);
    EXPECT_EQ(H.CIDWidths->Default(), 800);
}

TEST(FontAnalysis, AFailingProgramLoaderGivesTheInstalledFaceAndOneEntry) {
    struct TLoaderGuard {
        TPDFProgramLoader Saved = Type1ProgramLoader();
        ~TLoaderGuard() { Type1ProgramLoader() = Saved; }
    } Guard;
    int Calls = 0;
    Type1ProgramLoader() = [&](auto&&...) -> std::unique_ptr<TPDFFontRasterizer> {
        ++Calls;
        throw std::runtime_error("broken charstrings");
    };
    TFonts F;
    F.Add(1, "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Bold /FontDescriptor 2 0 R >>");
    F.Add(2, "<< /Type /FontDescriptor /FontName /Times-Bold /Flags 34 /FontFile3 3 0 R >>");
    F.AddStream(3, "not a program", "<< /Subtype /Type1C >>");
    const size_t Errors = F.Col.AnalysisErrors().size();
    TPDFFontCollectionData& E = F.Analyse(1);
    EXPECT_EQ(Calls, 1);
    ASSERT_EQ(F.Col.AnalysisErrors().size(), Errors + 1);
    EXPECT_EQ(F.Col.AnalysisErrors().back().ObjNum, 1);
    EXPECT_EQ(F.Col.AnalysisErrors().back().Message, "broken charstrings");
    EXPECT_EQ(E.FontName, "Times-Bold");
    auto* T = dynamic_cast<TPDFTrueTypeRasterizer2*>(E.Rasterizer.get());
    ASSERT_NE(T, nullptr) << "the substitute system font";
}

TEST(FontAnalysis, SymbolicTrueTypeWithDifferencesDrawsByCode) {
    test::TTestFont Program;
    Program.Glyphs = {test::SimpleGlyph({}),
                      test::SimpleGlyph({{{0, 0, true}, {100, 0, true}, {100, 100, true}}})};
    Program.Advances = {500, 600};
    Program.Cmaps = {{3, 0, test::CmapFormat4({{0xF041, 1}, {0xF042, 1}})}};
    for (bool Funnel : {false, true}) {
        SCOPED_TRACE(Funnel ? "text funnel" : "drawing");
        TFonts F;
        F.Col.FUsingTextFunnel = Funnel;
        F.Add(1,
              "<< /Type /Font /Subtype /TrueType /BaseFont /ABCDEF+Sym /FontDescriptor 2 0 R "
              "/Encoding << /Differences [65 /alpha] >> /FirstChar 65 /LastChar 66 "
              "/Widths [600 600] >>");
        F.Add(2, "<< /Type /FontDescriptor /FontName /ABCDEF+Sym /Flags 4 /FontFile2 3 0 R >>");
        F.AddStream(3, Program.Build());
        TPDFFontCollectionData& E = F.Analyse(1);
        auto* T = dynamic_cast<TPDFTrueTypeRasterizer2*>(E.Rasterizer.get());
        ASSERT_NE(T, nullptr);
        // Drawing goes by code through the symbol cmap; the text funnel
        // keeps the names of the differences.
        EXPECT_EQ(E.Encoding['A'], Funnel ? "alpha" : "CID:65");
        EXPECT_EQ(E.Encoding['B'], "CID:66");
        EXPECT_EQ(T->GlyphIndexOf(E.Encoding['B']), 1);
        if (!Funnel) EXPECT_EQ(T->GlyphIndexOf(E.Encoding['A']), 1);
        // Either way the text of code 65 is the difference's character.
        EXPECT_EQ(E.DisplayCSW['A'], u"\u03B1");
    }
}

TEST(FontAnalysis, Type3AndDirectDictionaries) {
    TFonts F;
    F.AddStream(2, "0 0 m 1 1 l f");
    F.Add(1,
          "<< /Type /Font /Subtype /Type3 /FontMatrix [0.001 0 0 0.001 0 0] "
          "/CharProcs << /a 2 0 R >> /Encoding << /Differences [65 /a] >> "
          "/FirstChar 65 /LastChar 65 /Widths [1000] >>");
    TPDFFontCollectionData& E = F.Analyse(1);
    auto* T = dynamic_cast<TPDFType3Rasterizer*>(E.Rasterizer.get());
    ASSERT_NE(T, nullptr);
    EXPECT_TRUE(T->HasGlyph("a"));
    EXPECT_EQ(E.Encoding['A'], "a");
    EXPECT_EQ(E.Widths['A'], 1000);
}

// Embedded Type 1 and CFF programs draw with their own glyphs once the
// decoder is installed as the analysis's loader: a FontFile with its three
// lengths (the program's own encoding taken when the font names none), a
// FontFile2 that holds a Type 1 program, and a FontFile3 of subtype Type1C.
TEST(FontAnalysis, EmbeddedType1AndCffPrograms) {
    using namespace velmo::test;
    InstallType1ProgramLoader();
    TFonts F;
    const TType1Portions P = MakeType1Program(
        {{".notdef", "0 500 hsbw endchar"},
         {"A", "100 600 hsbw 0 0 rmoveto 400 0 rlineto 0 400 rlineto closepath endchar"}},
        StandardSubrs());
    const TFontFileStream Stream = MakeFontFileStream(P, true);
    F.Add(1, "<< /Type /Font /Subtype /Type1 /BaseFont /BuiltTest /FontDescriptor 2 0 R >>");
    F.Add(2, "<< /Type /FontDescriptor /FontFile 3 0 R >>");
    F.AddStream(3, Stream.Data,
                "<< /Length1 " + std::to_string(Stream.Length1) + " /Length2 " +
                    std::to_string(Stream.Length2) + " /Length3 " +
                    std::to_string(Stream.Length3) + " >>");
    F.Add(4, "<< /Type /Font /Subtype /TrueType /BaseFont /BuiltTest /FontDescriptor 5 0 R >>");
    F.Add(5, "<< /Type /FontDescriptor /FontFile2 6 0 R >>");
    F.AddStream(6, P.Clear + P.Encrypted + P.Trailer);
    for (int32_t Num : {1, 4}) {
        SCOPED_TRACE(Num);
        TPDFFontCollectionData& E = F.Analyse(Num);
        auto* D = dynamic_cast<TPDFType1Decoder*>(E.Rasterizer.get());
        ASSERT_NE(D, nullptr);
        EXPECT_EQ(E.Encoding['A'], "A");
        TRecordingCanvas C;
        double X = 0, Y = 0;
        EXPECT_TRUE(D->RenderToCanvas(X, Y, &C, IdentityXForm, "A", peStandard));
        EXPECT_EQ(C.Text(), "M 100 0 L 500 0 L 500 400 Z");
    }
    // Header; Name INDEX "T"; Top DICT INDEX: CharStrings at 33; no strings,
    // no global subroutines; filler up to 33; the CharStrings INDEX:
    // .notdef (endchar) and space (0 0 rmoveto 16 0 rlineto endchar).
    const std::string Cff = std::string("\x01\x00\x04\x01", 4) +
                            std::string("\x00\x01\x01\x01\x02T", 6) +
                            std::string("\x00\x01\x01\x01\x03\xac\x11", 7) +
                            std::string("\x00\x00\x00\x00", 4) + std::string(12, '\x8b') +
                            std::string("\x00\x02\x01\x01\x02\x09\x0e", 7) +
                            std::string("\x8b\x8b\x15\x9b\x8b\x05\x0e", 7);
    F.Add(7, "<< /Type /Font /Subtype /Type1 /BaseFont /Cff /FontDescriptor 8 0 R >>");
    F.Add(8, "<< /Type /FontDescriptor /FontFile3 9 0 R >>");
    F.AddStream(9, Cff, "<< /Subtype /Type1C >>");
    TPDFFontCollectionData& E = F.Analyse(7);
    auto* D = dynamic_cast<TPDFType1Decoder*>(E.Rasterizer.get());
    ASSERT_NE(D, nullptr);
    TRecordingCanvas C;
    double X = 0, Y = 0;
    EXPECT_TRUE(D->RenderToCanvas(X, Y, &C, IdentityXForm, "space", peStandard));
    EXPECT_EQ(C.Text(), "M 0 0 L 16 0 Z");
    Type1ProgramLoader() = nullptr;
}

}  // namespace
}  // namespace velmo

namespace velmo {
namespace {

TEST(FontAnalysis, ProgramFormatByItsBytes) {
    const struct {
        std::string Data;
        TPDFProgramFormat Format;
    } Cases[] = {
        {std::string("\0\1\0\0\0\x0b", 6), TPDFProgramFormat::TrueType},
        {"true\0\x0b", TPDFProgramFormat::TrueType},
        {"OTTO\0\x0b", TPDFProgramFormat::OpenTypeCFF},
        {"%!PS-AdobeFont-1.0: X", TPDFProgramFormat::Type1},
        {"\x80\x01\x10\0\0\0%!", TPDFProgramFormat::Type1},
        {std::string("\1\0\4\1", 4), TPDFProgramFormat::CFF},
        {std::string("\1\0\4\7", 4), TPDFProgramFormat::Unknown},
        {"", TPDFProgramFormat::Unknown},
        {"junk", TPDFProgramFormat::Unknown},
    };
    for (const auto& C : Cases) EXPECT_EQ(SniffFontProgram(C.Data), C.Format) << C.Data;
}

// Programs whose key or stream Subtype names another format are read as
// what their bytes are: a TrueType program in a FontFile3 labelled
// CIDFontType0C (or Type1C) draws through the TrueType rasterizer, by CID
// as glyph index for the composite font.
TEST(FontAnalysis, MislabelledTrueTypeProgramGoesToTheTrueTypeRasterizer) {
    InstallType1ProgramLoader();
    test::TTestFont Program;
    Program.Glyphs = {test::SimpleGlyph({}),
                      test::SimpleGlyph({{{0, 0, true}, {100, 0, true}, {100, 100, true}}})};
    Program.Advances = {500, 600};
    Program.Cmaps = {{3, 1, test::CmapFormat4({{0x41, 1}})}};
    const struct {
        const char* Font;
        const char* Stream;
    } Cases[] = {
        {"<< /Type /Font /Subtype /Type0 /BaseFont /F0 /Encoding /Identity-H "
         "/DescendantFonts [<< /Type /Font /Subtype /CIDFontType0 /BaseFont /F0 "
         "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> "
         "/FontDescriptor 2 0 R /DW 1000 >>] >>",
         "<< /Subtype /CIDFontType0C >>"},
        {"<< /Type /Font /Subtype /Type1 /BaseFont /F0 /FontDescriptor 2 0 R >>",
         "<< /Subtype /Type1C >>"},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Font);
        TFonts F;
        F.Add(1, Case.Font);
        F.Add(2, "<< /Type /FontDescriptor /FontName /F0 /Flags 32 /FontFile3 3 0 R >>");
        F.AddStream(3, Program.Build(), Case.Stream);
        TPDFFontCollectionData& E = F.Analyse(1);
        EXPECT_EQ(E.Program, TPDFFontCollectionData::fpTrueType);
        EXPECT_TRUE(E.Embedded);
        auto* T = dynamic_cast<TPDFTrueTypeRasterizer2*>(E.Rasterizer.get());
        ASSERT_NE(T, nullptr);
        test::TRecordingCanvas C;
        double X = 0, Y = 0;
        if (E.IsComposite)
            T->RenderGlyphToCanvas(X, Y, &C, IdentityXForm, 1, peStandard);
        else
            T->RenderToCanvas(X, Y, &C, IdentityXForm, "A", peStandard);
        EXPECT_FALSE(C.Text().empty());
    }
    // And a bare CFF program in a FontFile2 goes to the CFF decoder.
    const std::string Cff = std::string("\x01\x00\x04\x01", 4) +
                            std::string("\x00\x01\x01\x01\x02T", 6) +
                            std::string("\x00\x01\x01\x01\x03\xac\x11", 7) +
                            std::string("\x00\x00\x00\x00", 4) + std::string(12, '\x8b') +
                            std::string("\x00\x02\x01\x01\x02\x09\x0e", 7) +
                            std::string("\x8b\x8b\x15\x9b\x8b\x05\x0e", 7);
    TFonts F;
    F.Add(1, "<< /Type /Font /Subtype /TrueType /BaseFont /Cff /FontDescriptor 2 0 R >>");
    F.Add(2, "<< /Type /FontDescriptor /FontFile2 3 0 R >>");
    F.AddStream(3, Cff);
    TPDFFontCollectionData& E = F.Analyse(1);
    EXPECT_EQ(E.Program, TPDFFontCollectionData::fpCFF);
    EXPECT_NE(dynamic_cast<TPDFType1Decoder*>(E.Rasterizer.get()), nullptr);
    Type1ProgramLoader() = nullptr;
}

}  // namespace
}  // namespace velmo
