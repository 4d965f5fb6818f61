// Installed fonts drawn directly as text through the GDI+ canvas land where
// their outlines do: a page of CJK text in a font without a program,
// rendered both ways, gives similar pictures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "fonts/FontCollection.h"
#include "tests/render/RendererTestKit.h"

namespace velmo {
namespace {

using namespace rendertest;

struct TPixels {
    int W = 0, H = 0;
    std::vector<uint32_t> RGB;
};

TPixels RenderCJKPage(bool Direct) {
    // 中文字 in UCS-2 through a Chinese CMap; the font has no program, so an
    // installed face stands in.
    TPage P("BT /F1 36 Tf 8 40 Td <4E2D65875B57> Tj ET 0 0 1 rg 10 10 20 5 re f", {0, 0, 130, 80});
    P.Objects[1] = P.S.Decode(
        "<< /Type /Font /Subtype /Type0 /BaseFont /SimSun /Encoding /UniGB-UCS2-H "
        "/DescendantFonts [2 0 R] >>");
    P.Objects[2] = P.S.Decode(
        "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /SimSun /FontDescriptor 3 0 R "
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (GB1) /Supplement 2 >> /DW 1000 >>");
    P.Objects[3] = P.S.Decode(
        "<< /Type /FontDescriptor /FontName /SimSun /Flags 6 /Ascent 859 /Descent -140 "
        "/FontBBox [0 -141 996 855] /ItalicAngle 0 /StemV 80 /CapHeight 700 >>");
    auto* Fonts = P.S.NewDictionary();
    Fonts->Add("F1", P.Ref(1));
    P.Resources->Add("Font", Fonts);

    TPDFFontCollection Col;
    Col.FInstallFonts = true;
    Col.FOnFindObject = [&P](TPDFIndRef* Ref) -> TPDFObject* {
        auto It = P.Objects.find(Ref->ObjNum);
        return It == P.Objects.end() ? nullptr : It->second;
    };
    TPDFRenderer R(&Col);
    P.Attach(R);
    R.GDIPlusSettings().DirectFonts = Direct;
    R.SetDPI(144);
    R.Render();
    EXPECT_EQ(R.ErrorDesc(), "");
    TPixels Out;
    Out.W = R.Bitmap()->Width();
    Out.H = R.Bitmap()->Height();
    for (int Y = 0; Y < Out.H; ++Y)
        for (int X = 0; X < Out.W; ++X) {
            const TColor C = R.Bitmap()->GetPixel(X, Y);
            Out.RGB.push_back(uint32_t(C) & 0xFFFFFF);
        }
    return Out;
}

int Channel(uint32_t C, int K) { return int(C >> (8 * K) & 0xFF); }

TEST(DirectFonts, CJKTextDrawnAsTextMatchesItsOutlines) {
    const TPixels Outlines = RenderCJKPage(false), Direct = RenderCJKPage(true);
    ASSERT_EQ(Outlines.W, Direct.W);
    ASSERT_EQ(Outlines.H, Direct.H);
    ASSERT_GT(Outlines.W, 0);
    // The text is there in both: dark pixels in the text's band.
    auto Dark = [](const TPixels& P) {
        int N = 0;
        for (int Y = 0; Y < P.H * 3 / 4; ++Y)
            for (int X = 0; X < P.W; ++X)
                if (Channel(P.RGB[size_t(Y * P.W + X)], 0) < 96 &&
                    Channel(P.RGB[size_t(Y * P.W + X)], 2) < 96)
                    ++N;
        return N;
    };
    const int DarkOutlines = Dark(Outlines), DarkDirect = Dark(Direct);
    EXPECT_GT(DarkOutlines, 200);
    EXPECT_GT(DarkDirect, DarkOutlines / 2);
    // Similar: a small mean difference and few pixels far apart.
    double Sum = 0;
    int64_t Far = 0;
    for (size_t I = 0; I < Outlines.RGB.size(); ++I) {
        int Worst = 0;
        for (int K = 0; K < 3; ++K) {
            const int D = std::abs(Channel(Outlines.RGB[I], K) - Channel(Direct.RGB[I], K));
            Sum += D;
            Worst = std::max(Worst, D);
        }
        if (Worst > 96) ++Far;
    }
    const double Mean = Sum / (3.0 * double(Outlines.RGB.size()));
    EXPECT_LE(Mean, 6.0);
    EXPECT_LE(double(Far), 0.04 * double(Outlines.RGB.size()));
}

}  // namespace
}  // namespace velmo
