// Tiling patterns of converted metafile brushes: the recoloured samples, the
// pattern dictionary, and the colour variants a page gets through UseImage.
#include <gtest/gtest.h>

#include "core/Flate.h"
#include "core/Structure.h"
#include "document/Document.h"
#include "document/ImageBase.h"
#include "document/PageTree.h"
#include "platform/gdi/Bitmap.h"
#include "render/MetafilePattern.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

// The samples between "ID\r" and "\r\nEI" of a pattern's content, inflated.
std::string PatternSamples(const TPDFStream* S) {
    const std::string& C = S->FStream;
    const size_t Start = C.find("ID\r");
    const size_t End = C.rfind("\r\nEI\r\n");
    if (Start == std::string::npos || End == std::string::npos || End < Start + 3) return "<none>";
    return FlateDecompress(std::string_view(C).substr(Start + 3, End - Start - 3));
}

// A structure whose new indirect objects are numbered from 10 and kept.
struct TStore {
    TPDFStructure S;
    std::vector<TPDFObject*> Objects;
    TStore() {
        S.OnNewIndObj = [this](TObject*, TPDFObject* Obj, int32_t& Num, int32_t& Gen) {
            Objects.push_back(Obj);
            Num = int32_t(9 + Objects.size());
            Gen = 0;
        };
    }
    TPDFStream* Last() { return ObjAs<TPDFStream>(Objects.back()); }
};

TBitmap BlackAndWhite() {
    TBitmap BM(2, 1);
    BM.SetPixel(0, 0, clBlack);
    BM.SetPixel(1, 0, clWhite);
    return BM;
}

TEST(MetafilePattern, RecolouredSamples) {
    struct Case {
        TColor Color;
        std::string Samples;
    };
    const Case Cases[] = {
        // Red (0x0000FF): black becomes red, white stays white.
        {0x0000FF, std::string("\xFF\x00\x00\xFF\xFF\xFF", 6)},
        {0xFF0000, std::string("\x00\x00\xFF\xFF\xFF\xFF", 6)},
    };
    for (const Case& C : Cases) {
        TStore St;
        TPDFPattern P(&St.S, "VPLP1");
        const TBitmap BM = BlackAndWhite();
        EXPECT_TRUE(P.NewPatternBitMap(BM, C.Color));
        ASSERT_NE(P.IndRef(), nullptr);
        EXPECT_EQ(P.IndRef()->ObjNum, 10);
        EXPECT_EQ(PatternSamples(St.Last()), C.Samples);
        // The caller's bitmap is left as it was.
        EXPECT_EQ(BM.GetPixel(0, 0), clBlack);
    }
}

TEST(MetafilePattern, GreyKeepsItsColour) {
    TBitmap BM(3, 1);
    BM.SetPixel(0, 0, 0x808080);
    BM.SetPixel(1, 0, clBlack);
    BM.SetPixel(2, 0, 0x010101);
    for (TColor C : {TColor(0x0000FF), TColor(0x00FF00)}) {
        TBitmap Copy(BM);
        TPDFPattern::SetBWToColor(Copy, C, clWhite);
        EXPECT_EQ(Copy.PixelFormat(), pf24bit);
        EXPECT_EQ(Copy.GetPixel(0, 0), 0x808080);
        EXPECT_EQ(Copy.GetPixel(1, 0), C);
        EXPECT_EQ(Copy.GetPixel(2, 0), 0x010101);
    }
    // A palette bitmap is made 24-bit first.
    TBitmap Mono(2, 1, pf1bit);
    Mono.SetPixel(1, 0, clWhite);
    EXPECT_EQ(TPDFPattern::InlineSamples(TPDFPattern::SetBWToColor(Mono, 0x00FF00, 0x0000FF)),
              std::string("\x00\xFF\x00\xFF\x00\x00", 6));
}

TEST(MetafilePattern, PatternDictionaryAndContent) {
    TStore St;
    TPDFPattern P(&St.S, "VPLP2");
    TBitmap BM(8, 8);
    P.NewPatternBitMap(BM, 0x0000FF);
    TPDFStream* S = St.Last();
    ASSERT_NE(S, nullptr);
    std::string Dict;
    S->FDictionary->OutputTo(Dict);
    // As written: a tile pixel must come out at exactly 0.00072 page units,
    // which four-decimal numbers cannot hold as one factor.
    for (const char* Key :
         {"/Type /Pattern\n/PatternType 1\n/PaintType 1\n/TilingType 1\n/BBox [ 0 0 0.8 0.8 ]\n"
          "/XStep 0.8\n/YStep 0.8\n/Matrix [ 0.0072 0 0 0.0072 0 0 ]",
          "/Resources <<\n/ProcSet [ /PDF /Text /ImageB /ImageC /ImageI ]"})
        EXPECT_NE(Dict.find(Key), std::string::npos) << Key << " in " << Dict;
    const std::string& C = S->FStream;
    EXPECT_EQ(C.rfind("q \r\n0.8 0 0 0.8 0 0 cm\r\nBI\r\n/BPC 8\r\n/H 8\r\n/W 8\r\n/CS /RGB\r\n/F /Fl\r\nID\r", 0), 0u);
    EXPECT_EQ(PatternSamples(S).size(), 8u * 8 * 3);
    // Each call writes a new object.
    P.NewPatternBitMap(BM, 0x00FF00);
    EXPECT_EQ(P.IndRef()->ObjNum, 11);

    // An empty bitmap gives an empty image.
    TPDFPattern E(&St.S, "VPLP3");
    EXPECT_TRUE(E.NewPatternBitMap(TBitmap(0, 0), 0));
    EXPECT_EQ(PatternSamples(St.Last()), "");
}

// An image of the content writer's kind, reduced to what UseImage reads.
class TTestImage : public TPDFImageBase {
public:
    using TPDFImageBase::TPDFImageBase;
    bool NewImageFromStream(TStream&, int32_t) override { return false; }
    bool NewImageDirectFromString(const std::string&, int32_t, int32_t, int32_t,
                                  const std::u16string&, const std::u16string&,
                                  const std::u16string&, bool) override {
        return false;
    }
    void Populate(int32_t, int32_t, int32_t, int32_t) override {}
};

TEST(MetafilePattern, PageWithTwoColourVariantsPassesQpdf) {
    VPL_REQUIRE_TOOL("qpdf");
    TPDFDocument D;
    D.CreateBlank();
    TPDFStructure* S = D.Structure();
    TPDFPageTree* Tree = D.PageTree();
    ASSERT_TRUE(S && Tree && S->OnNewIndObj);

    // The converted picture: a form filling with both variants.
    TTestImage Img(S, "Im1", nullptr);
    TPDFStream* Form = S->NewStream(
        "/Pattern cs /VPLP7_0 scn 0 0 100 100 re f /Pattern cs /VPLP7_1 scn 100 0 100 100 re f",
        false);
    Form->FDictionary->Add("Type", S->NewName("XObject"));
    Form->FDictionary->Add("Subtype", S->NewName("Form"));
    Form->FDictionary->Add("BBox", S->NewDoubleArray({0, 0, 200, 100}));
    int32_t Num = 0, Gen = 0;
    S->OnNewIndObj(nullptr, Form, Num, Gen);
    Img.FIndRef = S->NewIndirectRef(Num, Gen);
    auto Pattern = std::make_unique<TPDFPattern>(S, "VPLP7");
    TBitmap Hatch(8, 8);
    for (int I = 0; I < 8; ++I)
        for (int J = 0; J < 8; ++J) Hatch.SetPixel(I, J, I == J ? clBlack : clWhite);
    Pattern->SetBitmap(std::make_unique<TBitmap>(Hatch));
    Pattern->Colors() = {0x0000FF, 0xFF0000};
    Img.FIncludedPatterns.push_back(std::move(Pattern));

    Tree->UseImage(&Img);
    Tree->SetContent("q 1 0 0 1 50 50 cm /Im1 Do Q");

    TPDFDictionary* Res = Tree->Resources();
    ASSERT_NE(Res, nullptr);
    std::string Text;
    Res->OutputTo(Text);
    EXPECT_NE(Text.find("/VPLP7_0"), std::string::npos) << Text;
    EXPECT_NE(Text.find("/VPLP7_1"), std::string::npos) << Text;

    vpltest::TempDir Dir;
    const auto File = Dir / "patterns.pdf";
    ASSERT_TRUE(D.SaveToFile(File.u16string()));
    const auto Check = vpltest::RunCommand({"qpdf", "--check", File.string()});
    EXPECT_EQ(Check.exitCode, 0) << Check.out << Check.err;
    // Both variants are pattern objects of their own.
    const auto Shown = vpltest::RunCommand({"qpdf", "--qdf", "--object-streams=disable",
                                            File.string(), (Dir / "qdf.pdf").string()});
    const std::string Saved = vpltest::ReadFile(Dir / "qdf.pdf");
    size_t Patterns = 0;
    for (size_t P = Saved.find("/Type /Pattern"); P != std::string::npos;
         P = Saved.find("/Type /Pattern", P + 1))
        ++Patterns;
    EXPECT_EQ(Patterns, 2u) << Shown.err;
}

}  // namespace
}  // namespace velmo
