// Pages rendered to metafiles: the recording canvas of rdEMF and rdWMF and
// the EMF+ recording of rdEMFPlus produce valid files whose playback looks
// like the bitmap render; TMetafile saves placeable WMF or EMF and loads
// them back. Device-context targets draw only into their rectangle.
#include <gtest/gtest.h>

#include <string>

#include "platform/gdi/DC.h"
#include "platform/metafile/MetafileReader.h"
#include "platform/metafile/MetafileReplay.h"
#include "render/Renderer.h"
#include "tests/render/RendererTestKit.h"
#include "tests/support/RenderSupport.h"

namespace velmo {
namespace {

using namespace velmo::rendertest;
using namespace velmo::metafile;

// Opaque and translucent fills, a stroke, curves and a clip.
const char* const kContent =
    "1 0 0 rg 50 600 200 100 re f "
    "0 0 1 RG 6 w 60 500 m 300 500 l 300 300 l S "
    "0 0.6 0 rg 100 100 m 100 250 300 250 300 100 c h f "
    "q 320 320 200 200 re W n 0.2 g 300 300 300 300 re f Q "
    "/GS1 gs 1 1 0 rg 150 550 250 200 re f";

void AddTranslucentState(TPage& P) {
    TPDFDictionary* Ext = P.S.NewDictionary();
    TPDFDictionary* GS = P.S.NewDictionary();
    GS->Add("ca", P.S.NewNumeric(0.5));
    Ext->Add("GS1", GS);
    P.Resources->Add("ExtGState", Ext);
}

TBitmap RenderBitmap(double DPI) {
    TPage P(kContent, {0, 0, 612, 792});
    AddTranslucentState(P);
    TPDFRenderer R(nullptr);
    P.Attach(R);
    R.SetDPI(DPI);
    R.SetDestination(rdBitmap);
    R.Render();
    return *R.Bitmap();
}

std::string RenderMetafile(TPDFRenderDest Dest, double DPI) {
    TPage P(kContent, {0, 0, 612, 792});
    AddTranslucentState(P);
    TPDFRenderer R(nullptr);
    P.Attach(R);
    R.SetDPI(DPI);
    R.SetDestination(Dest);
    TMemoryStream Out;
    if (Dest == rdEMFPlus) R.SetEMFPlusTarget(&Out);
    R.Render();
    EXPECT_EQ(R.ErrorDesc(), "");
    if (Dest != rdEMFPlus) R.SaveMetafileToStream(Out);
    return Out.Bytes();
}

void ExpectLikeBitmap(const std::string& Data, const TBitmap& Bitmap) {
    TBitmap Back;
    std::string Error;
    ASSERT_TRUE(ReplayMetafile(Data, Back, &Error)) << Error;
    const auto C = vpltest::CompareRenders(vpltest::RasterFromBitmap(Back),
                                           vpltest::RasterFromBitmap(Bitmap));
    EXPECT_TRUE(C.similar) << vpltest::DescribeComparison(C);
}

TEST(MetafileRecords, PagesRecordAsEmfWmfAndEmfPlus) {
    const TBitmap Bitmap = RenderBitmap(96);
    const std::string Emf = RenderMetafile(rdEMF, 96);
    std::string Error;
    ASSERT_TRUE(ValidateEmf(Emf, &Error)) << Error;
    TMetafileInfo Info;
    ASSERT_TRUE(ReadMetafileInfo(Emf, Info));
    EXPECT_EQ(Info.WidthPixels, 816);
    EXPECT_EQ(Info.HeightPixels, 1056);
    EXPECT_EQ(DetectMetafile(Emf), TMetafileKind::Emf);
    ExpectLikeBitmap(Emf, Bitmap);

    const std::string Wmf = RenderMetafile(rdWMF, 96);
    ASSERT_TRUE(ValidateWmf(Wmf, &Error)) << Error;
    ASSERT_TRUE(ReadMetafileInfo(Wmf, Info));
    EXPECT_EQ(Info.WmfInch, 96);
    EXPECT_EQ(Info.WmfBox[2] - Info.WmfBox[0], 816);
    EXPECT_EQ(Info.WmfBox[3] - Info.WmfBox[1], 1056);
    ExpectLikeBitmap(Wmf, Bitmap);

    const std::string Plus = RenderMetafile(rdEMFPlus, 96);
    ASSERT_TRUE(ValidateEmfPlus(Plus, &Error)) << Error;
    ExpectLikeBitmap(Plus, Bitmap);
}

TEST(MetafileRecords, EmfPlusFrameFollowsTheResolution) {
    const std::string Plus = RenderMetafile(rdEMFPlus, 150);
    std::string Error;
    ASSERT_TRUE(ValidateEmfPlus(Plus, &Error)) << Error;
    TMetafileInfo Info;
    ASSERT_TRUE(ReadMetafileInfo(Plus, Info));
    EXPECT_EQ(Info.WidthPixels, 1275);
    EXPECT_EQ(Info.HeightPixels, 1650);
    EXPECT_FALSE(Info.EmfPlusDual);
    std::vector<uint32_t> Types;
    EnumerateEmf(Plus, [&](const TEmfRecord& R) {
        Types.push_back(R.Type);
        return true;
    });
    for (uint32_t T : Types) EXPECT_TRUE(T == 1 || T == 70 || T == 14) << T;
}

TEST(MetafileRecords, MetafileSavesAndLoads) {
    TPage P(kContent, {0, 0, 612, 792});
    TPDFRenderer R(nullptr);
    P.Attach(R);
    R.SetDPI(96);
    R.SetDestination(rdEMF);
    R.Render();
    TMetafile* M = R.Metafile();
    ASSERT_TRUE(M->Enhanced());
    TMemoryStream Enhanced;
    M->SaveToStream(Enhanced);
    EXPECT_EQ(Enhanced.Bytes(), M->Data());
    M->SetEnhanced(false);
    TMemoryStream Placeable;
    M->SaveToStream(Placeable);
    const std::string& W = Placeable.Bytes();
    ASSERT_GT(W.size(), 40u);
    EXPECT_EQ(uint8_t(W[0]), 0xD7);  // the placeable key
    uint16_t Sum = 0;
    for (int I = 0; I < 10; ++I) Sum ^= uint16_t(uint8_t(W[2 * I]) | uint8_t(W[2 * I + 1]) << 8);
    EXPECT_EQ(Sum, uint16_t(uint8_t(W[20]) | uint8_t(W[21]) << 8));
    EXPECT_EQ(uint8_t(W[14]) | uint8_t(W[15]) << 8, 96);

    TMetafile Back;
    Enhanced.Seek(0, soBeginning);
    ASSERT_TRUE(Back.LoadFromStream(Enhanced));
    EXPECT_TRUE(Back.Enhanced());
    EXPECT_EQ(Back.Width(), 816);
    EXPECT_EQ(Back.Height(), 1056);
    Placeable.Seek(0, soBeginning);
    ASSERT_TRUE(Back.LoadFromStream(Placeable));
    EXPECT_FALSE(Back.Enhanced());
    EXPECT_EQ(Back.Width(), 816);
    TMemoryStream Junk;
    Junk.WriteBuffer(std::string("not a metafile at all"));
    Junk.Seek(0, soBeginning);
    EXPECT_FALSE(Back.LoadFromStream(Junk));
    EXPECT_EQ(Back.Width(), 0);
    // An empty metafile writes nothing.
    TMetafile Empty;
    TMemoryStream None;
    Empty.SaveToStream(None);
    EXPECT_EQ(None.Size(), 0);
}

// ---- Device-context targets ----

constexpr TColor kGrey = 0x808080;

struct TTarget {
    TBitmap B{300, 200};
    TTarget() {
        TCanvasLock L(B.Canvas());
        B.Canvas().Brush().Color = kGrey;
        B.Canvas().FillRect(RECT{0, 0, 300, 200});
    }
    bool Inside(int X, int Y, const RECT& R) const {
        return X >= R.left && X < R.right && Y >= R.top && Y < R.bottom;
    }
    // Every pixel outside Box is still grey.
    int OutsideChanged(const RECT& Box) {
        int N = 0;
        for (int Y = 0; Y < B.Height(); ++Y)
            for (int X = 0; X < B.Width(); ++X)
                if (!Inside(X, Y, Box) && B.GetPixel(X, Y) != kGrey) ++N;
        return N;
    }
    int InsideNot(const RECT& Box, TColor C) {
        int N = 0;
        for (int Y = Box.top; Y < Box.bottom; ++Y)
            for (int X = Box.left; X < Box.right; ++X)
                if (B.GetPixel(X, Y) != C) ++N;
        return N;
    }
};

// A PW × PH page (72 DPI: points are pixels) rendered onto the target.
std::string RenderOnto(TTarget& T, const std::string& Content, int PW, int PH, bool Erase,
                       int OX, int OY, const std::vector<RECT>& Clip = {}) {
    TPage P(Content, {0, 0, double(PW), double(PH)});
    TPDFRenderer R(nullptr);
    P.Attach(R);
    R.SetDPI(72);
    R.SetDestination(rdDeviceContext);
    R.SetDeviceContextTarget(T.B.Canvas().Handle(), Erase, OX, OY);
    for (const RECT& C : Clip) R.AddToInitialClip(C.left, C.top, C.right - C.left, C.bottom - C.top);
    R.Render();
    return R.ErrorDesc();
}

TEST(DeviceContextTarget, OffsetsPlaceThePageAndNothingLeavesIt) {
    TTarget T;
    EXPECT_EQ(RenderOnto(T, "0 g -100 -100 1000 1000 re f", 120, 90, false, 50, 20), "");
    const RECT Page{50, 20, 170, 110};
    EXPECT_EQ(T.OutsideChanged(Page), 0);
    EXPECT_EQ(T.InsideNot(Page, 0), 0);
    EXPECT_EQ(T.B.GetPixel(50, 20), 0);  // the page's top left
    EXPECT_EQ(T.B.Width(), 300);
    EXPECT_EQ(T.B.Height(), 200);
}

TEST(DeviceContextTarget, ErasePagePaintsItsRectangleWhite) {
    TTarget T;
    EXPECT_EQ(RenderOnto(T, "", 120, 90, true, 50, 20), "");
    const RECT Page{50, 20, 170, 110};
    EXPECT_EQ(T.InsideNot(Page, clWhite), 0);
    EXPECT_EQ(T.OutsideChanged(Page), 0);
    // Without erasing, an empty page leaves the target as it was.
    TTarget U;
    EXPECT_EQ(RenderOnto(U, "", 120, 90, false, 50, 20), "");
    EXPECT_EQ(U.InsideNot(Page, kGrey), 0);
}

TEST(DeviceContextTarget, InitialClipRectanglesHoldAndTheTargetKeepsItsSize) {
    TTarget T;
    // A page larger than the target: the target is not resized.
    EXPECT_EQ(RenderOnto(T, "0 g -100 -100 2000 2000 re f", 400, 400, false, 0, 0,
                         {RECT{10, 10, 40, 30}, RECT{100, 50, 120, 80}}),
              "");
    EXPECT_EQ(T.B.Width(), 300);
    EXPECT_EQ(T.B.Height(), 200);
    EXPECT_EQ(T.InsideNot(RECT{10, 10, 40, 30}, 0), 0);
    EXPECT_EQ(T.InsideNot(RECT{100, 50, 120, 80}, 0), 0);
    EXPECT_EQ(T.B.GetPixel(60, 40), kGrey);
    EXPECT_EQ(T.B.GetPixel(5, 5), kGrey);
    EXPECT_EQ(T.B.GetPixel(150, 150), kGrey);
}

}  // namespace
}  // namespace velmo
