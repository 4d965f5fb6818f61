// Graphics-state parameter dictionaries, soft masks, pattern digests and
// the pattern cache, and the shading rasteriser's limits: pages made in
// memory and drawn through the default model.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/metafile/MetafileReplay.h"
#include "render/PatternDigest.h"
#include "render/ShadingRaster.h"
#include "render/SoftMask.h"
#include "tests/render/RendererTestKit.h"
#include "tests/support/RenderSupport.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

using rendertest::TPage;

// A page whose objects are given as text: "<< … >>" dictionaries, or
// streams as a dictionary and content.
struct TObjectPage : TPage {
    explicit TObjectPage(const std::string& Content, std::vector<double> Box = {0, 0, 100, 100})
        : TPage(Content, std::move(Box)) {}
    void Object(int32_t Num, const std::string& Dict) { Objects[Num] = S.Decode(Dict); }
    void StreamObject(int32_t Num, const std::string& Dict, const std::string& Data) {
        Objects[Num] = S.NewStreamWithDict(Data, ObjAs<TPDFDictionary>(S.Decode(Dict)));
    }
    void Resource(const std::string& Kind, const std::string& Dict) {
        Resources->Add(Kind, S.Decode(Dict));
    }
    // Draws the page at 72 DPI; the renderer is kept for inspection.
    // Before sets the renderer up ahead of the drawing.
    TPDFRenderer& Draw(const std::function<void(TPDFRenderer&)>& Before = {}) {
        R = std::make_unique<TPDFRenderer>(nullptr);
        Attach(*R);
        R->SetDPI(72);
        if (Before) Before(*R);
        R->Render();
        return *R;
    }
    // R, G, B of a pixel of the last drawing.
    std::array<int, 3> At(int X, int Y) {
        const TColor C = R->Bitmap()->GetPixel(X, Y);
        return {int(C & 0xFF), int(C >> 8 & 0xFF), int(C >> 16 & 0xFF)};
    }
    std::unique_ptr<TPDFRenderer> R;
};

// ---- Graphics-state parameters ---------------------------------------------

// The state a form is started from shows what gs left in the state.
TEST(ExtGState, ValuesInTheState) {
    struct TCase {
        const char* Name;
        const char* Dict;
        std::function<void(const TPDFGraphicsState&)> Check;
    } Cases[] = {
        {"alphas", "<< /CA 0.5 /ca 0.25 >>",
         [](const TPDFGraphicsState& S) {
             EXPECT_EQ(S.StrokeAlpha, 0.5);
             EXPECT_EQ(S.FillAlpha, 0.25);
         }},
        {"multiply", "<< /BM /Multiply >>",
         [](const TPDFGraphicsState& S) { EXPECT_EQ(S.BlendMode, bmMultiply); }},
        {"hue outside the library", "<< /BM /Hue >>",
         [](const TPDFGraphicsState& S) { EXPECT_EQ(S.BlendMode, bmNormal); }},
        {"blend mode array", "<< /BM [/Multiply] >>",
         [](const TPDFGraphicsState& S) { EXPECT_EQ(S.BlendMode, bmNormal); }},
        {"font", "<< /Font [12 0 R 9] >>",
         [](const TPDFGraphicsState& S) {
             EXPECT_EQ(S.TextFont, "12 0 R");
             EXPECT_EQ(S.TextSize, 9);
         }},
        {"dash", "<< /D [[3 2] 1] >>",
         [](const TPDFGraphicsState& S) {
             EXPECT_EQ(S.DashArray, (std::vector<double>{3, 2}));
             EXPECT_EQ(S.DashPhase, 1);
         }},
        {"soft mask flag", "<< /SMask << /S /Luminosity /G 9 0 R >> >>",
         [](const TPDFGraphicsState& S) { EXPECT_TRUE(S.Softmask); }},
        {"soft mask none", "<< /SMask /None >>",
         [](const TPDFGraphicsState& S) { EXPECT_FALSE(S.Softmask); }},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TObjectPage P("/G gs /X Do");
        P.Resource("ExtGState", std::string("<< /G ") + C.Dict + " >>");
        P.Resource("XObject", "<< /X 8 0 R >>");
        P.StreamObject(8, "<< /Subtype /Form /BBox [0 0 10 10] >>", "");
        P.StreamObject(9, "<< /Subtype /Form /BBox [0 0 10 10] >>", "");
        C.Check(P.Draw().FInitialState);
    }
}

// ---- Soft masks ----------------------------------------------------------------

TEST(SoftMask, Populate) {
    TPDFStructure S;
    struct TCase {
        const char* Name;
        const char* Dict;
        TVPLSoftmaskType Type;
        int BCLength;
        double In, Out;  // the transfer
    } Cases[] = {
        {"luminosity backdrop", "<< /S /Luminosity /BC [0 0 1] >>", ptLuminosity, 3, 0.25, 0.25},
        {"alpha ignores the backdrop", "<< /S /Alpha /BC [0 0 1] >>", ptAlpha, 0, 0.25, 0.25},
        {"unknown kind", "<< /S /Colour >>", ptAlpha, 0, 0.5, 0.5},
        {"inverting transfer",
         "<< /S /Alpha /TR << /FunctionType 2 /Domain [0 1] /C0 [1] /C1 [0] /N 1 >> >>", ptAlpha,
         0, 0.25, 0.75},
        {"transfer of three outputs",
         "<< /S /Alpha /TR << /FunctionType 2 /Domain [0 1] /C0 [1 1 1] /C1 [0 0 0] /N 1 >> >>",
         ptAlpha, 0, 0.25, 0.25},
        {"identity transfer", "<< /S /Alpha /TR /Identity >>", ptAlpha, 0, 0.4, 0.4},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TVPLSoftmask M(nullptr);
        M.Populate(ObjAs<TPDFDictionary>(S.Decode(C.Dict)));
        EXPECT_EQ(M.SoftmaskType(), C.Type);
        EXPECT_EQ(M.GetBCLength(), C.BCLength);
        EXPECT_EQ(M.GetBCArray(3), 0);
        if (C.BCLength == 3) EXPECT_EQ(M.GetBCArray(2), 1);
        const double X = C.In;
        EXPECT_NEAR(M.GetFunctionValue(std::span<const double>(&X, 1)), C.Out, 1e-9);
    }
}

// A luminosity group of black to white over a red fill on rdBitmap: red
// fading in from white.
TEST(SoftMask, LuminosityGroupMasksWhatFollows) {
    TObjectPage P("/M gs 1 0 0 rg 0 0 100 100 re f");
    P.Resource("ExtGState", "<< /M << /SMask << /S /Luminosity /G 5 0 R >> >> >>");
    P.StreamObject(5,
                   "<< /Subtype /Form /BBox [0 0 100 100] /Group << /S /Transparency >> "
                   "/Resources << /Shading << /S << /ShadingType 2 /ColorSpace /DeviceGray "
                   "/Coords [0 0 100 0] /Function << /FunctionType 2 /Domain [0 1] /C0 [0] "
                   "/C1 [1] /N 1 >> >> >> >> >>",
                   "/S sh");
    P.Draw();
    EXPECT_EQ(P.R->ErrorDesc(), "");
    const auto Left = P.At(1, 50), Mid = P.At(50, 50), Right = P.At(98, 50);
    EXPECT_GE(Left[1], 245);
    EXPECT_NEAR(Mid[1], 128, 10);
    EXPECT_EQ(Mid[0], 255);
    EXPECT_GE(Right[0], 250);
    EXPECT_LE(Right[1], 8);
}

// The backdrop colour of the group's space shows where the group paints
// nothing; the mask ends with the state that set it.
TEST(SoftMask, BackdropAndEnd) {
    TObjectPage P("q /M gs 0 0 1 rg 0 0 100 50 re f Q 0 0 1 rg 0 50 100 50 re f");
    P.Resource("ExtGState",
               "<< /M << /SMask << /S /Luminosity /BC [0] /G 5 0 R >> >> >>");
    P.StreamObject(5,
                   "<< /Subtype /Form /BBox [0 0 100 100] /Group << /S /Transparency /CS "
                   "/DeviceGray >> >>",
                   "1 g 0 0 50 100 re f");
    P.Draw();
    EXPECT_EQ(P.At(25, 75)[2], 255);  // masked white: the fill shows
    EXPECT_EQ(P.At(25, 75)[0], 0);
    EXPECT_EQ(P.At(75, 75)[0], 255);  // black backdrop: nothing
    EXPECT_EQ(P.At(75, 25)[0], 0);    // after Q: no mask
}

// A mask group whose content sets the same mask ends with an error text.
TEST(SoftMask, GroupThatSetsItsOwnMask) {
    TObjectPage P("/M gs 1 0 0 rg 0 0 100 100 re f");
    P.Resource("ExtGState", "<< /M 6 0 R >>");
    P.Object(6, "<< /SMask << /S /Alpha /G 5 0 R >> >>");
    P.StreamObject(5,
                   "<< /Subtype /Form /BBox [0 0 100 100] /Resources << /ExtGState << /M 6 0 R "
                   ">> >> >>",
                   "/M gs 0 g 0 0 100 100 re f");
    P.Draw();
    EXPECT_NE(P.R->ErrorDesc().find("refers to itself"), std::string::npos) << P.R->ErrorDesc();
}

// A soft-mask box of fewer than four numbers is no clip.
TEST(SoftMask, ShortBox) {
    TObjectPage P("/M gs 1 0 0 rg 0 0 100 100 re f");
    P.Resource("ExtGState", "<< /M << /SMask << /S /Alpha /G 5 0 R >> >> >>");
    P.StreamObject(5, "<< /Subtype /Form /BBox [0 0 100] >>", "0 g 0 0 100 100 re f");
    P.Draw();
    EXPECT_EQ(P.At(50, 50)[0], 255);
    EXPECT_EQ(P.At(50, 50)[1], 0);
}

// ---- Soft masks where the destination cannot composite ---------------------------

// The masks of the transparency fixtures: a black-to-white luminosity ramp,
// and an alpha group of an opaque disc and a half-transparent bar.
std::string RampGroup(const std::string& MoreResources) {
    return "<< /Subtype /Form /BBox [0 0 200 100] /Group << /S /Transparency /CS /DeviceRGB >> "
           "/Resources << /Shading << /S0 << /ShadingType 2 /ColorSpace /DeviceGray /Coords [0 0 "
           "200 0] /Function << /FunctionType 2 /Domain [0 1] /C0 [0] /C1 [1] /N 1 >> >> >> " +
           MoreResources + " >> >>";
}
const std::string kLuminosityRamp = RampGroup("");
const char* const kAlphaShapes =
    "<< /Subtype /Form /BBox [0 0 200 100] /Group << /S /Transparency >> "
    "/Resources << /ExtGState << /H << /ca 0.5 >> >> >> >>";
const char* const kAlphaShapesContent =
    "0 g 60 50 m 60 72 42 90 20 90 c -2 90 -20 72 -20 50 c -20 28 -2 10 20 10 c 42 10 60 28 60 "
    "50 c f /H gs 120 20 70 60 re f";

struct TMaskCase {
    const char* Name;
    const char* Content;
    const char* State;
    std::string Group;
    const char* GroupContent;
};
const TMaskCase kMaskCases[] = {
    {"luminosity", "0 0 1 rg 0 0 40 100 re f /M gs 1 0 0 rg 0 0 200 100 re f",
     "<< /M << /SMask << /S /Luminosity /G 5 0 R >> >> >>", kLuminosityRamp, "/S0 sh"},
    {"alpha", "q /M gs 0 0.5 0 rg 0 0 200 100 re f Q 0 0 1 rg 0 0 10 10 re f",
     "<< /M << /SMask << /S /Alpha /G 5 0 R >> >> >>", kAlphaShapes, kAlphaShapesContent},
};

// The page drawn on Dest at 96 DPI and brought back as a bitmap: metafiles
// through our player, a device context from its target. UseGDIPlus false
// draws with plain GDI.
TBitmap DrawMasked(const TMaskCase& C, TPDFRenderDest Dest, bool UseGDIPlus, std::string& Error) {
    TObjectPage P(C.Content, {0, 0, 200, 100});
    P.Resource("ExtGState", C.State);
    P.StreamObject(5, C.Group, C.GroupContent);
    TPDFRenderer R(nullptr);
    P.Attach(R);
    R.SetDPI(96);
    R.SetDestination(Dest);
    R.GDIPlusSettings().UseGDIPlus = UseGDIPlus;
    TMemoryStream Plus;
    TBitmap Target(267, 133);
    if (Dest == rdEMFPlus) R.SetEMFPlusTarget(&Plus);
    if (Dest == rdDeviceContext) R.SetDeviceContextTarget(Target.Canvas().Handle(), true, 0, 0);
    R.Render();
    Error = R.ErrorDesc();
    TBitmap Back;
    if (Dest == rdBitmap) return *R.Bitmap();
    if (Dest == rdDeviceContext) return Target;
    std::string Data;
    if (Dest == rdEMFPlus) {
        Data = Plus.Bytes();
    } else {
        TMemoryStream Out;
        R.SaveMetafileToStream(Out);
        Data = Out.Bytes();
    }
    std::string Why;
    if (!metafile::ReplayMetafile(Data, Back, &Why)) Error += "replay: " + Why;
    return Back;
}

// Masked drawing on metafiles, device contexts and plain-GDI bitmaps looks
// as the bitmap model draws it: the ramp gives red fading in from white
// over what was drawn before (not an opaque block), the alpha group shows
// its disc and its half-transparent bar.
TEST(SoftMask, DestinationsThatCannotCompositeGetTheMaskedImage) {
    struct TDest {
        const char* Name;
        TPDFRenderDest Dest;
        bool UseGDIPlus;
    } Dests[] = {
        {"EMF", rdEMF, true},           {"EMF plain GDI", rdEMF, false},
        {"WMF", rdWMF, true},           {"EMF+", rdEMFPlus, true},
        {"device context", rdDeviceContext, true},
        {"bitmap plain GDI", rdBitmap, false},
    };
    for (const TMaskCase& C : kMaskCases) {
        std::string Error;
        const TBitmap Reference = DrawMasked(C, rdBitmap, true, Error);
        ASSERT_EQ(Error, "") << C.Name;
        for (const TDest& D : Dests) {
            SCOPED_TRACE(std::string(C.Name) + " on " + D.Name);
            const TBitmap Got = DrawMasked(C, D.Dest, D.UseGDIPlus, Error);
            EXPECT_EQ(Error, "");
            const auto Cmp = vpltest::CompareRenders(vpltest::RasterFromBitmap(Got),
                                                     vpltest::RasterFromBitmap(Reference));
            EXPECT_TRUE(Cmp.similar) << vpltest::DescribeComparison(Cmp);
            auto At = [&](int X, int Y) {
                const TColor P = Got.GetPixel(X, Y);
                return std::array<int, 3>{int(P & 0xFF), int(P >> 8 & 0xFF), int(P >> 16 & 0xFF)};
            };
            if (std::string(C.Name) == "luminosity") {
                EXPECT_GE(At(2, 66)[2], 240);   // the blue drawn before, beneath a clear mask
                EXPECT_LE(At(2, 66)[0], 20);
                EXPECT_GE(At(66, 66)[1], 140);  // a third along: light
                EXPECT_EQ(At(66, 66)[0], 255);
                EXPECT_NEAR(At(133, 66)[1], 128, 12);  // half way: half
                EXPECT_GE(At(264, 66)[0], 245);  // the right end: red
                EXPECT_LE(At(264, 66)[1], 12);
            } else {
                EXPECT_LE(At(27, 66)[0], 10);  // the disc: green
                EXPECT_NEAR(At(27, 66)[1], 128, 4);
                EXPECT_NEAR(At(206, 66)[0], 128, 6);  // the bar: half
                EXPECT_EQ(At(100, 66), (std::array<int, 3>{255, 255, 255}));
                EXPECT_EQ(At(3, 129), (std::array<int, 3>{0, 0, 255}));  // after Q: drawn
            }
        }
    }
}

// A masked fill inside a tiling cell of a metafile page: the cell is drawn
// with its mask, and a cell that reaches itself through its mask group ends
// with the error text.
TEST(SoftMask, MaskInsideAPatternCellKeepsTheNestingGuard) {
    auto Draw = [](const char* GroupContent, std::string& Error) {
        TObjectPage P("/Pattern cs /P scn 0 0 200 100 re f", {0, 0, 200, 100});
        P.Resource("Pattern", "<< /P 6 0 R >>");
        P.StreamObject(6,
                       "<< /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 200 100] "
                       "/XStep 200 /YStep 100 /Resources << /ExtGState << /M << /SMask << /S "
                       "/Luminosity /G 5 0 R >> >> >> >> >>",
                       "/M gs 1 0 0 rg 0 0 200 100 re f");
        P.StreamObject(5, RampGroup("/Pattern << /P 6 0 R >>"), GroupContent);
        TPDFRenderer R(nullptr);
        P.Attach(R);
        R.SetDPI(72);
        R.SetDestination(rdEMF);
        R.Render();
        Error = R.ErrorDesc();
        TMemoryStream Out;
        R.SaveMetafileToStream(Out);
        TBitmap Back;
        std::string Why;
        EXPECT_TRUE(metafile::ReplayMetafile(Out.Bytes(), Back, &Why)) << Why;
        return Back;
    };
    std::string Error;
    const TBitmap B = Draw("/S0 sh", Error);
    EXPECT_EQ(Error, "");
    ASSERT_GE(B.Width(), 198);
    EXPECT_GE(int(B.GetPixel(3, 50) >> 8 & 0xFF), 235);  // white at the left
    EXPECT_GE(int(B.GetPixel(196, 50) & 0xFF), 240);      // red at the right
    EXPECT_LE(int(B.GetPixel(196, 50) >> 8 & 0xFF), 20);
    Draw("/Pattern cs /P scn 0 0 200 100 re f", Error);
    EXPECT_NE(Error.find("refers to itself"), std::string::npos) << Error;
}

// ---- Pattern digests -------------------------------------------------------------

std::unique_ptr<TVPLPattern> Digest(TPDFStructure& S, const std::string& Dict) {
    auto P = std::make_unique<TVPLPattern>(nullptr);
    P->Populate(ObjAs<TPDFDictionary>(S.Decode(Dict)), nullptr, nullptr);
    return P;
}

TEST(PatternDigest, Ramps) {
    TPDFStructure S;
    const std::string T2 = "<< /FunctionType 2 /Domain [0 1] /C0 [1 0 0] /C1 [0 0 1] /N 1 >>";
    struct TCase {
        const char* Name;
        std::string Dict;
        TVPLPatternType Kind;
        int Stops;
    } Cases[] = {
        {"type 2 function",
         "<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 1 0] /Function " + T2 + " >>",
         ptAxial, 2},
        {"type 3 of two type 2",
         "<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 1 0] /Function << "
         "/FunctionType 3 /Domain [0 1] /Bounds [0.5] /Encode [0 1 0 1] /Functions [" +
             T2 + " " + T2 + "] >> >>",
         ptAxial, 6},
        {"curved type 2",
         "<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 1 0] /Function << "
         "/FunctionType 2 /Domain [0 1] /C0 [1 0 0] /C1 [0 0 1] /N 2 >> >>",
         ptAxial, kCurvedRampStops},
        {"gray", "<< /ShadingType 2 /ColorSpace /DeviceGray /Coords [0 0 1 0] /Function << "
                 "/FunctionType 2 /Domain [0 1] /C0 [0] /C1 [1] /N 1 >> >>",
         ptAxial, 2},
        {"radial", "<< /ShadingType 3 /ColorSpace /DeviceRGB /Coords [0 0 0 0 0 1] /Function " +
                       T2 + " >>",
         ptRadial, 2},
        {"wrong outputs",
         "<< /ShadingType 2 /ColorSpace /DeviceCMYK /Coords [0 0 1 0] /Function " + T2 + " >>",
         ptUnknown, 0},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        auto P = Digest(S, C.Dict);
        EXPECT_EQ(P->FPatternType, C.Kind);
        EXPECT_EQ(P->GetRGBCount(), C.Stops);
        if (C.Stops == 2 && C.Kind == ptAxial && std::string(C.Name) != "gray") {
            EXPECT_EQ(P->GetRGB(0, 0), 1);
            EXPECT_EQ(P->GetRGB(2, 1), 1);
        }
    }
}

TEST(PatternDigest, TilingCellsAndAccessors) {
    TPDFStructure S;
    auto P = Digest(S, "<< /PatternType 1 /PaintType 2 /TilingType 1 /BBox [10 20 0 0] "
                       "/XStep 7 /Matrix [2 0 0 2 5 6] >>");
    EXPECT_EQ(P->FPatternType, ptColorTile);
    EXPECT_EQ(P->FPDFPatternType, ptTiling);
    EXPECT_EQ(P->GetPaintType(), 2);
    EXPECT_EQ(P->GetBBox(0), 0);
    EXPECT_EQ(P->GetBBox(3), 20);
    EXPECT_EQ(P->GetStep(0), 7);
    EXPECT_EQ(P->GetStep(1), 20);  // no /YStep: the box height
    EXPECT_EQ(P->GetStep(2), 1);
    EXPECT_EQ(P->GetCoords(6), 0);
    EXPECT_EQ(P->GetMatrix(4), 5);
    EXPECT_EQ(P->GetMatrix(6), 0);
    EXPECT_EQ(P->GetExtend(2), 0);
    auto Bad = Digest(S, "<< /PatternType 1 /TilingType 4 /BBox [0 0 1 1] >>");
    EXPECT_EQ(Bad->FPatternType, ptUnknown);
}

// Two scn of one pattern give one cached digest; an uncoloured cell is
// cached per colour, and each colour paints.
TEST(PatternDigest, CachePerPatternAndColour) {
    TObjectPage P(
        "/Pattern cs /P scn 0 0 50 50 re f /P scn 50 0 50 50 re f "
        "/CS0 cs 1 0 0 /U scn 0 50 50 50 re f 0 0 1 /U scn 50 50 50 50 re f 1 0 0 /U scn");
    P.Resource("Pattern", "<< /P 5 0 R /U 6 0 R >>");
    P.Resource("ColorSpace", "<< /CS0 [/Pattern /DeviceRGB] >>");
    P.StreamObject(5,
                   "<< /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 10 10] /XStep 10 "
                   "/YStep 10 >>",
                   "0 1 0 rg 0 0 10 10 re f");
    P.StreamObject(6,
                   "<< /PatternType 1 /PaintType 2 /TilingType 1 /BBox [0 0 10 10] /XStep 10 "
                   "/YStep 10 >>",
                   "0 1 0 rg 0 0 10 10 re f");
    TPDFRenderer& R = P.Draw();
    EXPECT_EQ(R.ErrorDesc(), "");
    EXPECT_EQ(R.FPatterns.size(), 3u);
    EXPECT_EQ(P.At(25, 75), (std::array<int, 3>{0, 255, 0}));
    EXPECT_EQ(P.At(75, 75), (std::array<int, 3>{0, 255, 0}));
    EXPECT_EQ(P.At(25, 25), (std::array<int, 3>{255, 0, 0}));  // the scn colour, not the cell's
    EXPECT_EQ(P.At(75, 25), (std::array<int, 3>{0, 0, 255}));
}

// A tiling cell is drawn once per pattern, colour (uncoloured cells) and
// size in device pixels, however often the content chooses it.
TEST(PatternCache, CellDrawnOncePerPatternColourAndScale) {
    auto Repeat = [](const std::string& Piece, int Count) {
        std::string Out;
        for (int I = 0; I < Count; ++I) Out += Piece;
        return Out;
    };
    const char* Coloured =
        "<< /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 10 10] /XStep 10 /YStep 10 >>";
    const char* Uncoloured =
        "<< /PatternType 1 /PaintType 2 /TilingType 1 /BBox [0 0 10 10] /XStep 10 /YStep 10 >>";
    struct TCase {
        const char* Name;
        std::string Content;
        const char* Cell;
        int64_t Draws;
        std::array<int, 3> At50;
    } Cases[] = {
        {"one pattern chosen 2000 times", Repeat("/Pattern cs /P scn 40 40 20 20 re f ", 2000),
         Coloured, 1, {0, 255, 0}},
        {"uncoloured, two colours 1000 times each",
         Repeat("/CS0 cs 1 0 0 /P scn 40 40 20 20 re f 0 0 1 /P scn 40 40 20 20 re f ", 1000),
         Uncoloured, 2, {0, 0, 255}},
        {"same size in a form", "/Pattern cs /P scn 40 40 20 20 re f /Fm Do", Coloured, 1,
         {0, 255, 0}},
        {"twice the size in a scaled form",
         "/Pattern cs /P scn 0 0 10 10 re f q 2 0 0 2 0 0 cm /Fm Do Q", Coloured, 2,
         {0, 255, 0}},
    };
    // The pixels of one drawn cell, measured on the first, uncapped case.
    size_t CellPixels = 0;
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TObjectPage P(C.Content);
        P.Resource("Pattern", "<< /P 5 0 R >>");
        P.Resource("ColorSpace", "<< /CS0 [/Pattern /DeviceRGB] >>");
        P.Resource("XObject", "<< /Fm 6 0 R >>");
        P.StreamObject(5, C.Cell, "0 1 0 rg 0 0 10 10 re f");
        P.StreamObject(6,
                       "<< /Type /XObject /Subtype /Form /BBox [0 0 100 100] "
                       "/Resources << /Pattern << /P 5 0 R >> >> >>",
                       "/Pattern cs /P scn 20 20 10 10 re f");
        const double Start = vpltest::ThreadSeconds();
        TPDFRenderer& R = P.Draw();
        EXPECT_EQ(R.ErrorDesc(), "");
        EXPECT_EQ(R.FPatternCellRenders, C.Draws);
        EXPECT_EQ(P.At(50, 50), C.At50);
        EXPECT_LT(vpltest::ThreadSeconds() - Start, 20.0);
    }
}

// A cell measured in units far smaller than points (a cell a million units
// wide scaled down to a few points) is drawn at its few device pixels, not
// as a bitmap thousands of pixels wide.
TEST(PatternCache, HugeUnitCellDrawnAtItsDeviceSize) {
    TObjectPage P("/Pattern cs /P scn 0 0 100 100 re f");
    P.Resource("Pattern", "<< /P 5 0 R >>");
    P.StreamObject(5,
                   "<< /PatternType 1 /PaintType 1 /TilingType 3 /BBox [0 0 1016000 1016000] "
                   "/XStep 1016000 /YStep 1016000 /Matrix [0.000008 0 0 0.000008 0 0] >>",
                   "0 1 0 rg 0 0 508000 1016000 re f 0 0 1 rg 508000 0 508000 1016000 re f");
    TPDFRenderer& R = P.Draw();
    EXPECT_EQ(R.ErrorDesc(), "");
    ASSERT_EQ(R.FPatterns.size(), 1u);
    // About 8 pixels across, drawn at most ten times finer.
    EXPECT_GT(R.FPatterns[0]->FTilePixelWidth, 0);
    EXPECT_LE(R.FPatterns[0]->FTilePixelWidth, 100);
    EXPECT_LE(R.FPatterns[0]->FTilePixels.size(), 100u * 100u);
    // The cell's halves repeat every 8.128 points.
    EXPECT_EQ(P.At(1, 50), (std::array<int, 3>{0, 255, 0}));
    EXPECT_EQ(P.At(6, 50), (std::array<int, 3>{0, 0, 255}));
    EXPECT_EQ(P.At(9, 50), (std::array<int, 3>{0, 255, 0}));
}

// Over the cap on the cells' pixels the least recently used cell goes, and
// is drawn again when chosen again; a cell that a saved state or the device
// still holds stays and paints after Q.
TEST(PatternCache, PixelCapEvictsOldCells) {
    struct TCase {
        const char* Name;
        const char* Content;
        double CapInCells;  // 0: the default cap
        int64_t Draws;
        std::array<int, 3> At5, At95;
    } Cases[] = {
        {"uncapped: three cells",
         "q /Pattern cs /A scn 0 0 10 10 re f Q q /Pattern cs /B scn 40 40 10 10 re f Q "
         "q /Pattern cs /C scn 50 50 10 10 re f Q q /Pattern cs /A scn 90 90 10 10 re f Q",
         0, 3, {255, 0, 0}, {255, 0, 0}},
        {"room for one cell: A drawn again",
         "q /Pattern cs /A scn 0 0 10 10 re f Q q /Pattern cs /B scn 40 40 10 10 re f Q "
         "q /Pattern cs /C scn 50 50 10 10 re f Q q /Pattern cs /A scn 90 90 10 10 re f Q",
         1.5, 4, {255, 0, 0}, {255, 0, 0}},
        {"a saved state keeps its cell",
         "/Pattern cs /A scn q 0 g q /Pattern cs /B scn Q q /Pattern cs /C scn Q Q "
         "0 0 10 10 re f /Pattern cs /B scn 90 90 10 10 re f",
         1.5, 4, {255, 0, 0}, {0, 255, 0}},
    };
    // The pixels of one drawn cell, measured on the first, uncapped case.
    size_t CellPixels = 0;
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TObjectPage P(C.Content);
        P.Resource("Pattern", "<< /A 5 0 R /B 6 0 R /C 7 0 R >>");
        const char* Dict =
            "<< /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 10 10] /XStep 10 "
            "/YStep 10 >>";
        P.StreamObject(5, Dict, "1 0 0 rg 0 0 10 10 re f");
        P.StreamObject(6, Dict, "0 1 0 rg 0 0 10 10 re f");
        P.StreamObject(7, Dict, "0 0 1 rg 0 0 10 10 re f");
        TPDFRenderer& R = P.Draw([&](TPDFRenderer& Fresh) {
            if (C.CapInCells > 0) Fresh.FTileCachePixelCap = size_t(C.CapInCells * CellPixels);
        });
        EXPECT_EQ(R.ErrorDesc(), "");
        EXPECT_EQ(R.FPatternCellRenders, C.Draws);
        EXPECT_EQ(P.At(5, 95), C.At5);   // bitmap rows run downwards
        EXPECT_EQ(P.At(95, 5), C.At95);
        if (C.CapInCells == 0) {
            CellPixels = R.FTileCachePixels / 3;
            ASSERT_GT(CellPixels, 0u);
        } else {
            // Over the cap only while every cell in it is held.
            EXPECT_LE(R.FTileCachePixels, 2 * CellPixels);
        }
    }
}

// A pattern whose cell fills with itself, directly or through another
// pattern, ends with an error text; a cell of no size paints nothing.
TEST(PatternDigest, RecursionAndEmptyCells) {
    for (const char* Cell : {"/Pattern cs /P scn 0 0 10 10 re f", "/Pattern cs /Q scn 0 0 10 10 re f"}) {
        SCOPED_TRACE(Cell);
        TObjectPage P("/Pattern cs /P scn 0 0 100 100 re f");
        P.Resource("Pattern", "<< /P 5 0 R >>");
        P.Object(7, "<< /P 5 0 R /Q 6 0 R >>");
        P.StreamObject(5,
                       "<< /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 10 10] /XStep 10 "
                       "/YStep 10 /Resources << /Pattern 7 0 R >> >>",
                       Cell);
        P.StreamObject(6,
                       "<< /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 10 10] /XStep 10 "
                       "/YStep 10 /Resources << /Pattern 7 0 R >> >>",
                       "/Pattern cs /P scn 0 0 10 10 re f");
        P.Draw();
        EXPECT_NE(P.R->ErrorDesc().find("skipped"), std::string::npos) << P.R->ErrorDesc();
    }
    for (const char* Steps : {"/XStep 0 /YStep 10", "/XStep -10 /YStep 10", "/XStep 10 /YStep 0"}) {
        SCOPED_TRACE(Steps);
        TObjectPage P("/Pattern cs /P scn 0 0 100 100 re f");
        P.Resource("Pattern", "<< /P 5 0 R >>");
        P.StreamObject(5,
                       std::string("<< /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 10 10] ") +
                           Steps + " >>",
                       "1 0 0 rg 0 0 10 10 re f");
        P.Draw();
        EXPECT_EQ(P.At(50, 50), (std::array<int, 3>{255, 255, 255}));
    }
}

// A pattern chosen in the page keeps the page's space after a cm; sh uses
// the current one. /Background paints for pattern fills, not for sh.
TEST(PatternDigest, PlacementAndBackground) {
    const std::string Shading =
        "<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 25 0] /Background [0 1 0] "
        "/Function << /FunctionType 2 /Domain [0 1] /C0 [1 0 0] /C1 [1 0 0] /N 1 >> >>";
    {
        TObjectPage P("2 0 0 2 0 0 cm /Pattern cs /P scn 0 0 50 50 re f");
        P.Resource("Pattern", "<< /P << /PatternType 2 /Shading " + Shading + " >> >>");
        P.Draw();
        EXPECT_EQ(P.At(10, 50), (std::array<int, 3>{255, 0, 0}));  // on the axis
        EXPECT_EQ(P.At(75, 50), (std::array<int, 3>{0, 255, 0}));  // beyond it: background
    }
    {
        TObjectPage P("2 0 0 2 0 0 cm /S sh");
        P.Resource("Shading", "<< /S " + Shading + " >>");
        P.Draw();
        EXPECT_EQ(P.At(40, 50), (std::array<int, 3>{255, 0, 0}));  // axis 0 … 50 on the device
        EXPECT_EQ(P.At(75, 50), (std::array<int, 3>{255, 255, 255}));
    }
}

// ---- The shading rasteriser's limits -------------------------------------------

TEST(ShadingRaster, RefusesAndStops) {
    TVPLShading S;
    S.ShadingType = 4;
    S.Components = 3;
    S.ToRGB = [](const double* V, int32_t N) { return 0xFF0000u; };
    S.BitsPerCoordinate = 8;
    S.BitsPerComponent = 8;
    S.BitsPerFlag = 8;
    S.Decode = {0, 10, 0, 10, 0, 1, 0, 1, 0, 1};
    std::vector<uint32_t> Px;
    // Data that ends inside a vertex draws what was complete.
    S.Data = std::string("\0\0\0\xff\0\0\0\x0a\0\0\0\0\0\0\x0a\x0a", 16);
    EXPECT_TRUE(RasteriseShading(S, IdentityXForm, 0, 0, 10, 10, Px));
    // A box beyond the cap, a singular matrix, a bad bit depth.
    EXPECT_FALSE(RasteriseShading(S, IdentityXForm, 0, 0, 1 << 14, 1 << 14, Px));
    EXPECT_TRUE(Px.empty());
    EXPECT_FALSE(RasteriseShading(S, TPDFXForm{0, 0, 0, 0, 0, 0}, 0, 0, 10, 10, Px));
    S.BitsPerCoordinate = 7;
    EXPECT_FALSE(RasteriseShading(S, IdentityXForm, 0, 0, 10, 10, Px));
    // Many large patches stop at the work cap.
    TVPLShading C = S;
    C.ShadingType = 6;
    C.BitsPerCoordinate = 8;
    C.Data.assign(37 * 2000, '\0');
    for (size_t I = 0; I < C.Data.size(); I += 37) C.Data[I + 5] = char(0xFF);
    EXPECT_FALSE(RasteriseShading(C, TPDFXForm{1000, 0, 0, 1000, 0, 0}, 0, 0, 64, 64, Px));
    // A ramp of one stop paints its colour.
    TVPLShading A;
    A.ShadingType = 2;
    A.Components = 3;
    A.ToRGB = S.ToRGB;
    A.Coords = {0, 0, 10, 0, 0, 0};
    A.Extend = {true, true};
    A.Ramp = {0x112233};
    ASSERT_TRUE(RasteriseShading(A, IdentityXForm, 0, 0, 10, 1, Px));
    EXPECT_EQ(Px[5], 0xFF112233u);
    EXPECT_EQ(Px[0], 0xFF112233u);
}

}  // namespace
}  // namespace velmo
