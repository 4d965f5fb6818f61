// The printer region list of two-pass printing: adjusting rectangles to the
// page, the cover test, insertion with cutting and the merges, the cap on
// the list, and the first pass on a printer page (regions recorded for
// elements a plain device cannot reproduce, the list emptied when a page
// starts, a shading or transparency group covering the whole page under
// GDI, and nothing copied onto the paper when the renderer library cannot
// be bound), and soft-masked drawing on the one-pass printer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/print/Print.h"
#include "platform/print/Printer.h"
#include "fonts/FontCollection.h"
#include "render/Printing.h"
#include "render/Renderer.h"
#include "tests/render/KPLRRecorder.h"
#include "tests/render/RendererTestKit.h"

namespace velmo {
namespace {

using rendertest::TPage;

bool operator==(const TKPLRPrinterBBox& A, const TKPLRPrinterBBox& B) {
    return A.Left == B.Left && A.Top == B.Top && A.Right == B.Right && A.Bottom == B.Bottom;
}
std::string Show(const TPrinterBBoxArray& L) {
    std::string S;
    for (const auto& B : L)
        S += "(" + std::to_string(B.Left) + "," + std::to_string(B.Top) + "," +
             std::to_string(B.Right) + "," + std::to_string(B.Bottom) + ")";
    return S;
}

constexpr const char* kPrinter = "vpl-regions-72";

// Region lists on a 1000 × 1000 page, and printer pages on a 200 × 200
// printer of 72 DPI registered inside the program.
struct PrinterRegions : ::testing::Test {
    TPDFRenderer R{nullptr};
    TPrinter Printer;
    std::unique_ptr<TVPLPrinterJob> Job;
    void SetUp() override {
        R.SetMaxXY(1000, 1000);
        static const bool Done = [] {
            TLocalPrinterInfo Info;
            Info.Name = kPrinter;
            Info.Caps.DPIX = Info.Caps.DPIY = 72;
            Info.Caps.PhysicalWidth = Info.Caps.HorzRes = 200;
            Info.Caps.PhysicalHeight = Info.Caps.VertRes = 200;
            RegisterLocalPrinter(Info);
            return true;
        }();
        (void)Done;
        Printer.SetPrinter(kPrinter, "WINSPOOL", "", nullptr);
        Job = std::make_unique<TVPLPrinterJob>(&Printer, u"", false);
    }
    // A renderer printing through the renderer library Library (by default
    // one that cannot be bound).
    void Prepare(TPDFRenderer& Rr, TPage& P, bool GDIPlus) {
        P.Attach(Rr);
        P.Resources->Add("ExtGState", P.S.Decode("<< /GS0 << /ca 0.5 >> >>"));
        Rr.SetDestination(rdKPLRPrinter);
        Rr.FKPLRFileName = u"vpl-no-such-renderer.so";
        Rr.FVPLPrinter = Job.get();
        Rr.SetDPI(Job->GetDPI());
        Rr.GDIPlusSettings().UseGDIPlus = GDIPlus;
    }
    TColor At(int X, int Y) { return PrinterDCPage(Printer.Handle())->GetPixel(X, Y); }
};

TEST_F(PrinterRegions, AdjustBBoxOrdersRoundsOutwardsAndClips) {
    struct Case {
        double L, T, Rt, B;
        bool Ok;
        double EL, ET, ER, EB;
    };
    const Case Cases[] = {
        {10.2, 20.7, 5.5, 40.1, true, 5, 20, 11, 41},
        {-50, -50, -10, 10, false, 0, 0, 0, 0},
        {990.5, 10, 1200, 20, true, 990, 10, 1000, 20},
        {5, 5, 5, 9, false, 0, 0, 0, 0},          // no width
        {-20, -30, 40, 50, true, 0, 0, 40, 50},    // cut at the top left
        {10, 1001, 20, 1200, false, 0, 0, 0, 0},   // below the page
        {1e300, 0, -1e300, 10, true, 0, 0, 1000, 10},
    };
    for (const Case& C : Cases) {
        double L = C.L, T = C.T, Rt = C.Rt, B = C.B;
        EXPECT_EQ(R.AdjustBBox(&L, &T, &Rt, &B), C.Ok) << C.L << "," << C.T;
        if (C.Ok) {
            EXPECT_EQ(L, C.EL);
            EXPECT_EQ(T, C.ET);
            EXPECT_EQ(Rt, C.ER);
            EXPECT_EQ(B, C.EB);
        }
    }
    double Nan = std::nan(""), Z = 0, One = 1;
    EXPECT_FALSE(R.AdjustBBox(&Nan, &Z, &One, &One));
}

TEST_F(PrinterRegions, OverlappingRectanglesCutAndMergeIntoOne) {
    R.AddToPrinterBBoxArray(0, 0, 100, 100);
    EXPECT_EQ(Show(R.PrinterBBoxArray()), "(0,0,100,100)");
    // Cut into (0,0,100,49) and (0,50,49,100) after the new one; the merges
    // give (0,50,150,150) and then (0,0,150,150).
    R.AddToPrinterBBoxArray(50, 50, 150, 150);
    EXPECT_EQ(Show(R.PrinterBBoxArray()), "(0,0,150,150)");
    // An equal rectangle leaves one region.
    R.AddToPrinterBBoxArray(0, 0, 150, 150);
    EXPECT_EQ(Show(R.PrinterBBoxArray()), "(0,0,150,150)");
    // The two remainders alone (ratio 0.735) stay apart.
    R.PrinterBBoxArray() = {{0, 0, 100, 49}};
    R.AddToPrinterBBoxArray(0, 50, 49, 100);
    EXPECT_EQ(Show(R.PrinterBBoxArray()), "(0,50,49,100)(0,0,100,49)");
    // Empty or off-page rectangles are not recorded.
    R.AddToPrinterBBoxArray(-50, -50, -10, -10);
    R.AddToPrinterBBoxArray(5, 5, 5, 50);
    EXPECT_EQ(R.PrinterBBoxArray().size(), 2u);
}

TEST_F(PrinterRegions, CoverTestNeedsOneRegionHoldingTheRectangle) {
    R.PrinterBBoxArray() = {{0, 0, 100, 49}, {0, 50, 100, 100}};
    EXPECT_TRUE(R.IsBBoxInPrinterArray(10, 10, 20, 20));
    EXPECT_TRUE(R.IsBBoxInPrinterArray(10.5, 50.5, 99.5, 99.5));
    EXPECT_FALSE(R.IsBBoxInPrinterArray(10, 40, 20, 60));  // straddles both
    EXPECT_FALSE(R.IsBBoxInPrinterArray(90, 10, 110, 20));
    // Nothing to draw counts as covered.
    EXPECT_TRUE(R.IsBBoxInPrinterArray(2000, 2000, 3000, 3000));
    EXPECT_TRUE(R.IsBBoxInPrinterArray(10, 10, 10, 20));
}

TEST_F(PrinterRegions, ManyRegionsAreReplacedByTheirUnion) {
    // Small rectangles far apart never merge; beyond 256 the list becomes
    // their union, and stays within the cap as more arrive.
    for (int I = 0; I < 300; ++I) {
        const double X = (I % 20) * 50, Y = (I / 20) * 60;
        R.AddToPrinterBBoxArray(X, Y, X + 10, Y + 10);
        ASSERT_LE(R.PrinterBBoxArray().size(), TPDFRenderer::kMaxPrinterRegions);
        if (I == 255) {
            EXPECT_EQ(R.PrinterBBoxArray().size(), 256u);
        }
        if (I == 256) {
            EXPECT_EQ(Show(R.PrinterBBoxArray()), "(0,0,960,730)");
        }
    }
}

// ---------------------------------------------------------------------------
// The first pass on a printer page.

TEST_F(PrinterRegions, TransparentPathIsLeftOutAndRecordedAndTheListIsPerPage) {
    TPage P1("0 g 70 10 20 20 re f /GS0 gs 1 0 0 rg 10 10 50 50 re f");
    Prepare(R, P1, false);
    R.Render();
    EXPECT_EQ(Show(R.PrinterBBoxArray()), "(10,40,60,90)");
    EXPECT_EQ(At(80, 80), clBlack);  // the opaque square is printed
    // Without the renderer library the region is left as paper: no
    // unwritten buffer lands on it.
    EXPECT_EQ(At(30, 60), clWhite);
    EXPECT_EQ(At(59, 89), clWhite);

    // The next page starts with an empty list: its opaque element inside
    // the earlier region is printed.
    TPage P2("0 g 20 20 20 20 re f");
    P2.Attach(R);
    R.Render();
    EXPECT_TRUE(R.PrinterBBoxArray().empty()) << Show(R.PrinterBBoxArray());
    EXPECT_EQ(At(30, 70), clBlack);
}

TEST_F(PrinterRegions, ElementsInsideARegionAreLeftToTheSecondPass) {
    // A stencil image is never plain; an opaque square inside its region is
    // skipped, one outside is printed.
    TPage P("q 50 0 0 50 10 10 cm BI /W 1 /H 1 /IM true ID \xFF EI Q "
            "0 g 20 20 10 10 re f 80 80 10 10 re f");
    Prepare(R, P, false);
    R.Render();
    EXPECT_EQ(Show(R.PrinterBBoxArray()), "(10,40,60,90)");
    EXPECT_EQ(At(25, 75), clWhite);
    EXPECT_EQ(At(85, 15), clBlack);
}

// On the one-pass printer a soft mask is printed as the image of what the
// bitmap model draws: a black-to-white luminosity ramp over a red fill
// prints red fading in from white, not a red block, with GDI and GDI+.
TEST_F(PrinterRegions, SoftMaskedDrawingPrintsAsTheBitmapModelsImage) {
    for (const bool GDIPlus : {false, true}) {
        SCOPED_TRACE(GDIPlus ? "GDI+" : "GDI");
        TPage P("0 0 1 rg 0 0 30 200 re f /M gs 1 0 0 rg 0 0 200 200 re f", {0, 0, 200, 200});
        P.Resources->Add("ExtGState",
                         P.S.Decode("<< /M << /SMask << /S /Luminosity /G 5 0 R >> >> >>"));
        P.Objects[5] = P.S.NewStreamWithDict(
            "/S0 sh",
            ObjAs<TPDFDictionary>(P.S.Decode(
                "<< /Subtype /Form /BBox [0 0 200 200] /Group << /S /Transparency >> /Resources "
                "<< /Shading << /S0 << /ShadingType 2 /ColorSpace /DeviceGray /Coords [0 0 200 "
                "0] /Function << /FunctionType 2 /Domain [0 1] /C0 [0] /C1 [1] /N 1 >> >> >> >> "
                ">>")));
        TPDFRenderer Rr(nullptr);
        P.Attach(Rr);
        Rr.SetDestination(rdPrinter);
        Rr.FVPLPrinter = Job.get();
        Rr.SetDPI(Job->GetDPI());
        Rr.GDIPlusSettings().UseGDIPlus = GDIPlus;
        Rr.Render();
        EXPECT_EQ(Rr.ErrorDesc(), "");
        // The blue drawn before shows where the mask is nearly clear.
        EXPECT_GE(int(At(5, 100) >> 16), 240);
        EXPECT_LE(int(At(5, 100) & 0xFF), 15);
        const TColor Mid = At(100, 100), Right = At(197, 100);
        EXPECT_EQ(Mid & 0xFF, 0xFFu);
        EXPECT_NEAR(int(Mid >> 8 & 0xFF), 128, 12);
        EXPECT_GE(int(Right & 0xFF), 245);
        EXPECT_LE(int(Right >> 8 & 0xFF), 10);
    }
}

// Glyphs drawn as filled boxes of 500 × 700 glyph units from the origin.
class TBoxRasterizer : public TPDFFontRasterizer {
public:
    bool RenderToCanvas(double& RX, double& RY, TPDFGenericCanvas* Canvas, const TPDFXForm& Mat,
                        const std::string&, TPDFEncodingVector) override {
        auto Pt = [&](double X, double Y, bool Move) {
            X += RX;
            Y += RY;
            const double DX = X * Mat.eM11 + Y * Mat.eM21 + Mat.eDx;
            const double DY = X * Mat.eM12 + Y * Mat.eM22 + Mat.eDy;
            Move ? Canvas->MoveTo(DX, DY) : Canvas->AddLineToPath(DX, DY);
        };
        Pt(0, 0, true);
        Pt(500, 0, false);
        Pt(500, 700, false);
        Pt(0, 700, false);
        Canvas->ClosePath();
        return true;
    }
    double FontMatrixScaling() override { return 1; }
};

TEST_F(PrinterRegions, TextTakesTheSameRuleAsPaths) {
    TPDFFontCollection Fonts;
    auto E = std::make_unique<TPDFFontCollectionData>();
    E->ObjNum = 7;
    E->FontName = "Box";
    E->Widths.fill(500);
    for (int C = 0; C < 256; ++C) E->Encoding[size_t(C)] = std::string(1, char(C));
    E->Rasterizer = std::make_unique<TBoxRasterizer>();
    E->SubType = "Type1";
    E->Embedded = true;
    Fonts.AddFontData(std::move(E));
    auto Page = [&](const std::string& Content) {
        auto P = std::make_unique<TPage>(Content);
        auto* FontRes = P->S.NewDictionary();
        FontRes->Add("F1", P->Ref(7));
        P->Resources->Add("Font", FontRes);
        P->Objects[7] = P->S.NewDictionary();
        return P;
    };
    auto Count = [&](int X0, int X1) {
        int N = 0;
        for (int Y = 0; Y < 200; ++Y)
            for (int X = X0; X < X1; ++X) N += At(X, Y) != clWhite;
        return N;
    };
    {
        // Half-transparent text: the box of the whole show (two glyphs of
        // 20 × 28 at 20, 20 on the 100-unit page) becomes a region and
        // nothing is printed.
        TPDFRenderer Rr(&Fonts);
        Rr.SetMaxXY(1000, 1000);
        auto P = Page("/GS0 gs 0 g BT /F1 40 Tf 20 20 Td (HH) Tj ET");
        Prepare(Rr, *P, false);
        Rr.Render();
        EXPECT_EQ(Show(Rr.PrinterBBoxArray()), "(20,52,60,80)");
        EXPECT_EQ(Count(0, 200), 0);
    }
    {
        // Opaque text inside a stencil's region is left to the second pass;
        // outside it, it is printed.
        TPDFRenderer Rr(&Fonts);
        Rr.SetMaxXY(1000, 1000);
        auto P = Page("q 40 0 0 40 10 10 cm BI /W 1 /H 1 /IM true ID \xFF EI Q "
                      "0 g BT /F1 20 Tf 15 15 Td (H) Tj ET BT /F1 20 Tf 60 60 Td (H) Tj ET");
        Prepare(Rr, *P, false);
        Rr.Render();
        EXPECT_EQ(Show(Rr.PrinterBBoxArray()), "(10,50,50,90)");
        EXPECT_EQ(Count(0, 50), 0);
        EXPECT_EQ(Count(55, 200), 10 * 14);
    }
}

TEST_F(PrinterRegions, ShadingsAndGroupsCoverTheWholePageUnderGDI) {
    const char* Shading =
        "<< /Sh0 << /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 100 0] "
        "/Function << /FunctionType 2 /Domain [0 1] /C0 [1 0 0] /C1 [0 0 1] /N 1 >> >> >>";
    {
        TPage P("q 20 20 30 30 re W n /Sh0 sh Q");
        Prepare(R, P, false);
        P.Resources->Add("Shading", P.S.Decode(Shading));
        R.Render();
        EXPECT_EQ(Show(R.PrinterBBoxArray()), "(0,0,200,200)");
    }
    {
        // Under GDI+ the shading's region is the visible clip.
        TPage P("q 20 20 30 30 re W n /Sh0 sh Q");
        Prepare(R, P, true);
        P.Resources->Add("Shading", P.S.Decode(Shading));
        R.Render();
        EXPECT_EQ(Show(R.PrinterBBoxArray()), "(20,50,50,80)");
    }
    {
        // An isolated transparency group needs a surface of its own; a plain
        // form is printed.
        TPage P("/Fg Do /Fp Do");
        Prepare(R, P, false);
        P.Objects[5] = P.S.NewStreamWithDict(
            "0 g 0 0 10 10 re f",
            ObjAs<TPDFDictionary>(P.S.Decode("<< /Type /XObject /Subtype /Form /BBox [0 0 10 10] "
                                             "/Group << /S /Transparency /I true >> >>")));
        P.Objects[6] = P.S.NewStreamWithDict(
            "0 g 80 80 10 10 re f",
            ObjAs<TPDFDictionary>(
                P.S.Decode("<< /Type /XObject /Subtype /Form /BBox [0 0 100 100] >>")));
        P.Resources->Add("XObject", P.S.Decode("<< /Fg 5 0 R /Fp 6 0 R >>"));
        R.Render();
        EXPECT_EQ(Show(R.PrinterBBoxArray()), "(0,0,200,200)");
        // Once the whole page is a region, the plain form is left to the
        // second pass too.
        EXPECT_EQ(At(85, 15), clWhite);
    }
}


// ---------------------------------------------------------------------------
// The second pass through a recording renderer library, whose picture is
// black everywhere: the regions, and only they, become black on the paper.

KPLR_status_t BlackPicture(PKPLR_renderer_t Dr, uint8_t* Buffer, int32_t Width, int32_t Height,
                           int32_t BitsPerPixel) {
    KLog.Calls.push_back("draw_to_memory(" + std::to_string(Width) + "," +
                         std::to_string(Height) + "," + std::to_string(BitsPerPixel) + ")");
    std::fill(Buffer, Buffer + size_t(Width) * Height * (BitsPerPixel / 8), uint8_t(0));
    return KPLR_SUCCESS;
}

void RegisterBlackLibrary() {
    static const bool Done = [] {
        TModuleExports E = KPLRExports();
        for (TModuleExport& X : E)
            if (X.Name == "KPLR_renderer_draw_to_memory")
                X.Proc = reinterpret_cast<FARPROC>(&BlackPicture);
        RegisterModule(u"kplr-printer-pass.dll", E);
        return true;
    }();
    (void)Done;
    KLog = TKPLRLog{};
}

TEST_F(PrinterRegions, SecondPassCopiesTheRegionsFromThePagesStartingMatrix) {
    RegisterBlackLibrary();
    // The content's own matrix stays in force after it (no q/Q): the second
    // pass must not apply it twice.
    TPage P("1 0 0 1 30 0 cm /GS0 gs 1 0 0 rg 10 10 20 20 re f");
    Prepare(R, P, false);
    R.FKPLRFileName = u"kplr-printer-pass.dll";
    R.Render();
    EXPECT_EQ(Show(R.PrinterBBoxArray()), "(40,70,60,90)");
    const std::string Log = KLog.Joined();
    EXPECT_NE(Log.find("draw_to_memory(20,20,24)"), std::string::npos) << Log;
    // The library's page matrix is the page's starting one moved by the
    // buffer's corner: (x, 100 − y) − (40, 70).
    EXPECT_NE(Log.find("KPLR_set_page_matrix(H,1,0,0,-1,-40,30)"), std::string::npos) << Log;
    // Its clip is the region in the buffer's pixels.
    EXPECT_NE(Log.find("KPLR_move_to(H,0,0) KPLR_line_to(H,20,0) KPLR_line_to(H,20,20) "
                       "KPLR_line_to(H,0,20) KPLR_close_path(H) KPLR_set_bin_clip(H)"),
              std::string::npos)
        << Log;
    EXPECT_EQ(At(40, 70), clBlack);
    EXPECT_EQ(At(59, 89), clBlack);
    EXPECT_EQ(At(39, 70), clWhite);
    EXPECT_EQ(At(60, 89), clWhite);
    EXPECT_EQ(At(50, 69), clWhite);
}

}  // namespace
}  // namespace velmo
