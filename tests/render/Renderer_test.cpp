// The page renderer: page geometry and device sizes per destination, and the
// content interpreter (scanner, path, colour and optional-content operators)
// seen through a recording canvas and a recording EPS writer.
#include "render/Renderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <thread>
#include <vector>

#include "core/Structure.h"
#include "platform/gdiplus/GdiPlusFlat.h"
#include "platform/ui/Messages.h"
#include "render/ContentRun.h"
#include "tests/render/RendererTestKit.h"

namespace velmo {
namespace {

using namespace rendertest;

struct TRun {
    std::string Canvas;
    std::string EPS;
    std::string Error;
};

// Renders the page at 72 DPI through the recorder, and once more to EPS.
TRun RunPage(TPage& P, const TVPLOCGStateList& States = {}) {
    TRun Out;
    {
        TPDFRenderer R(nullptr);
        TRecorder Rec;
        P.Attach(R);
        R.SetDPI(72);
        R.OCGStateList() = States;
        R.SetCanvasRecorder(&Rec);
        R.Render();
        Out.Canvas = Rec.Log;
        Out.Error = R.ErrorDesc();
    }
    {
        TPDFRenderer R(nullptr);
        P.Attach(R);
        R.SetDestination(rdEPS);
        R.OCGStateList() = States;
        R.SetEPS(std::make_unique<TEPSRecorder>(&Out.EPS));
        R.Render();
    }
    return Out;
}

TRun RunContent(const std::string& Content) {
    TPage P(Content);
    return RunPage(P);
}

uint32_t PixelAt(TBitmap& B, int X, int Y) {
    const uint8_t* Row = B.ScanLine(Y);
    return uint32_t(Row[3 * X + 2]) << 16 | uint32_t(Row[3 * X + 1]) << 8 | Row[3 * X];
}

// ---------------------------------------------------------------------------
// Geometry

struct TGeometryCase {
    const char* Name;
    std::vector<double> Media;  // empty: none
    std::vector<double> Crop;   // empty: none
    double Rotate;              // NaN: none
    int32_t CropType;
    double DPI;
    int W, H;
};

TEST(RendererGeometry, SizesPerBoxRotationAndResolution) {
    const double None = std::numeric_limits<double>::quiet_NaN();
    const TGeometryCase Cases[] = {
        {"A4 at 72", {0, 0, 595, 842}, {}, None, 2, 72, 595, 842},
        {"A4 at 100", {0, 0, 595, 842}, {}, None, 2, 100, 827, 1170},
        {"rotate 90", {0, 0, 595, 842}, {}, 90, 2, 72, 842, 595},
        {"rotate -90", {0, 0, 595, 842}, {}, -90, 2, 72, 842, 595},
        {"rotate 270", {0, 0, 595, 842}, {}, 270, 2, 72, 842, 595},
        {"rotate 45", {0, 0, 595, 842}, {}, 45, 2, 72, 595, 842},
        {"rotate 100", {0, 0, 595, 842}, {}, 100, 2, 72, 842, 595},
        {"rotate 450", {0, 0, 595, 842}, {}, 450, 2, 72, 842, 595},
        {"crop larger than media", {0, 0, 595, 842}, {-10, -10, 700, 900}, None, 2, 72, 595, 842},
        {"crop exchanged corners", {0, 0, 1000, 1000}, {595, 842, 0, 0}, None, 2, 72, 595, 842},
        {"trim box on media-only page", {0, 0, 595, 842}, {}, None, 4, 72, 595, 842},
        {"no box", {}, {}, None, 2, 72, 612, 792},
        {"crop inside media", {0, 0, 595, 842}, {100, 100, 300, 200}, None, 2, 72, 200, 100},
        {"media type ignores crop", {0, 0, 595, 842}, {100, 100, 300, 200}, None, 1, 72, 595, 842},
    };
    for (const TGeometryCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TPDFStructure S;
        TPDFDictionary* Page = S.NewDictionary();
        if (!C.Media.empty()) Page->Add("MediaBox", S.NewDoubleArray(C.Media));
        if (!C.Crop.empty()) Page->Add("CropBox", S.NewDoubleArray(C.Crop));
        if (!std::isnan(C.Rotate)) Page->Add("Rotate", S.NewNumeric(C.Rotate));
        Page->Add("Contents", S.NewStream("", false));
        TPDFRenderer R(nullptr);
        R.SetPageDict(Page);
        R.SetDPI(C.DPI);
        R.SetCropType(C.CropType);
        R.Render();
        EXPECT_EQ(R.Bitmap()->Width(), C.W);
        EXPECT_EQ(R.Bitmap()->Height(), C.H);
        EXPECT_EQ(R.ErrorDesc(), "");
        EXPECT_EQ(PixelAt(*R.Bitmap(), C.W / 2, C.H / 2), 0xFFFFFFu);
    }
}

TEST(RendererGeometry, MinusNinetyAndTwoSeventyGiveTheSamePicture) {
    auto Render = [](double Rot) {
        TPage P("1 0 0 rg 0 0 30 10 re f 0 0 1 rg 0 90 10 10 re f");
        P.Page->Add("Rotate", P.S.NewNumeric(Rot));
        TPDFRenderer R(nullptr);
        P.Attach(R);
        R.SetDPI(72);
        R.Render();
        return *R.Bitmap();
    };
    TBitmap A = Render(-90), B = Render(270);
    ASSERT_EQ(A.Width(), B.Width());
    ASSERT_EQ(A.Height(), B.Height());
    for (int Y = 0; Y < A.Height(); ++Y)
        ASSERT_EQ(0, std::memcmp(A.ScanLine(Y), B.ScanLine(Y), size_t(A.Width()) * 3)) << Y;
    // 270: the page's top-left square goes to the bottom-left, and the bar
    // along its bottom edge runs up the right side.
    EXPECT_EQ(PixelAt(A, 5, 95), 0x0000FFu);
    EXPECT_EQ(PixelAt(A, 95, 85), 0xFF0000u);
    EXPECT_EQ(PixelAt(A, 95, 50), 0xFFFFFFu);
}

// A page whose box is no whole number of pixels high keeps its top edge on
// the device's top edge: a one-unit bar along the top fills the first row
// and leaves the second white, instead of being pushed down by the part
// pixel.
TEST(RendererGeometry, PartPixelHeightKeepsTheTopEdge) {
    struct TCase {
        const char* Name;
        std::vector<double> Media, Crop;
        double Rotate;  // 0: none
        const char* Content;
        int H;
    };
    const TCase Cases[] = {
        {"media", {0, 0, 200, 100.5}, {}, 0, "0 0 0 rg 0 99.5 200 1 re f", 101},
        {"crop with part-pixel origin",
         {0, 0, 300, 300},
         {10.3, 20.6, 110.3, 70.2},
         0,
         "0 0 0 rg 0 69.2 300 1 re f",
         50},
        {"rotated", {0, 0, 100.5, 200}, {}, 90, "0 0 0 rg 0 0 1 200 re f", 101},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TPage P(C.Content, C.Media);
        if (!C.Crop.empty()) P.Page->Add("CropBox", P.S.NewDoubleArray(C.Crop));
        if (C.Rotate != 0) P.Page->Add("Rotate", P.S.NewNumeric(C.Rotate));
        TPDFRenderer R(nullptr);
        P.Attach(R);
        R.SetDPI(72);
        R.Render();
        ASSERT_EQ(R.Bitmap()->Height(), C.H);
        const int X = R.Bitmap()->Width() / 2;
        EXPECT_EQ(PixelAt(*R.Bitmap(), X, 0), 0x000000u);
        EXPECT_EQ(PixelAt(*R.Bitmap(), X, 1), 0xFFFFFFu);
    }
}

TEST(RendererGeometry, MetafileEPSAndLibraryDestinations) {
    {
        TPage P("", {0, 0, 612, 792});
        TPDFRenderer R(nullptr);
        P.Attach(R);
        R.SetDPI(96);
        R.SetDestination(rdWMF);
        R.Render();
        EXPECT_EQ(R.Metafile()->Width(), 816);
        EXPECT_EQ(R.Metafile()->Height(), 1056);
        EXPECT_FALSE(R.Metafile()->Enhanced());
    }
    {
        TPage P("", {0, 0, 595.4, 842});
        P.Page->Add("CropBox", P.S.NewDoubleArray({-5, 10, 700, 800}));
        TPDFRenderer R(nullptr);
        std::string Log;
        P.Attach(R);
        R.SetDestination(rdEPS);
        R.SetEPS(std::make_unique<TEPSRecorder>(&Log));
        R.Render();
        EXPECT_EQ(Log, "doc0,10,595.4,800");
        EXPECT_EQ(R.MaxX(), 596);
        EXPECT_EQ(R.MaxY(), 801);
    }
    {
        // The renderer-library destination without a library name leaves
        // its target untouched.
        TPage P("0 0 10 10 re f", {0, 0, 50, 50});
        TPDFRenderer R(nullptr);
        P.Attach(R);
        R.Bitmap()->SetSize(3, 4);
        R.SetDestination(rdKPLRBitmap);
        R.Render();
        EXPECT_EQ(R.Bitmap()->Width(), 3);
        EXPECT_EQ(R.Bitmap()->Height(), 4);
        EXPECT_EQ(R.ErrorDesc(), "");
    }
}

TEST(RendererGeometry, DeviceSizeIsCheckedBeforeAllocating) {
    struct TCase {
        const char* Name;
        std::vector<double> Box;
        double DPI;
    } Cases[] = {
        {"side above 32767 px", {0, 0, 40000, 10}, 72},
        {"too many pixels", {0, 0, 30000, 30000}, 72},
        {"negative DPI", {0, 0, 100, 100}, -72},
        {"infinite DPI", {0, 0, 100, 100}, std::numeric_limits<double>::infinity()},
        {"NaN DPI", {0, 0, 100, 100}, std::numeric_limits<double>::quiet_NaN()},
        {"huge page", {0, 0, 1e300, 1e300}, 72},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TPage P("0 0 1 1 re f", C.Box);
        TPDFRenderer R(nullptr);
        P.Attach(R);
        R.SetDPI(C.DPI);
        EXPECT_NO_THROW(R.Render());
        EXPECT_EQ(R.Bitmap()->Width(), 1);
        EXPECT_EQ(R.Bitmap()->Height(), 1);
        EXPECT_EQ(PixelAt(*R.Bitmap(), 0, 0), 0xFFFFFFu);
        EXPECT_NE(R.ErrorDesc(), "");
    }
    TPage P("0 0 1 1 re f");
    TPDFRenderer R(nullptr);
    P.Attach(R);
    R.SetDPI(72);
    R.RenderSource(P.Page, nullptr, 0, 0, 0, 10);
    EXPECT_EQ(R.Bitmap()->Width(), 1);
    EXPECT_NE(R.ErrorDesc(), "");
}

TEST(RendererGeometry, SourceToStreamResolution) {
    struct TCase {
        double Size, DPI, Scale;
        int Pixels;
    } Cases[] = {{5, 72, 0.1, 50}, {100, 7200, 7200.0 / 2160, 3000}};
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Size);
        TPDFStructure S;
        TPDFString* Src = S.NewString("0 0 1 rg 0 0 1 1 re f", smLiteral);
        TPDFRenderer R(nullptr);
        R.SetDPI(C.DPI);
        TMemoryStream Out;
        double Scale = 0;
        R.RenderSourceToStream(Src, nullptr, Out, 0, 0, C.Size, C.Size, Scale);
        EXPECT_NEAR(Scale, C.Scale, 1e-9);
        EXPECT_EQ(Out.Position(), 0);
        TBitmap B;
        B.LoadFromStream(Out);
        EXPECT_EQ(B.Width(), C.Pixels);
        EXPECT_EQ(B.Height(), C.Pixels);
    }
}

struct TTestPrinter : TVPLPrinter {
    TBitmap Paper{10, 10};
    TCanvas* Canvas() override { return &Paper.Canvas(); }
    int32_t PageWidth() override { return 2400; }  // 8 x 11 in at 300 DPI, landscape-free
    int32_t PageHeight() override { return 3300; }
    int32_t FullPageWidth() override { return 2550; }
    int32_t FullPageHeight() override { return 3300; }
    int32_t PrintOffsetX() override { return 75; }
    int32_t PrintOffsetY() override { return 0; }
};

TEST(RendererGeometry, PrinterScaling) {
    struct TCase {
        const char* Name;
        TPDFPageScaling Scaling;
        bool Center;
        std::string Corners;        // page corners (0, 0) and (W, H)
        double W = 1224, H = 1584;  // twice a letter page
    } Cases[] = {
        // None: 300/72 per point, the printable offset taken off, y flipped
        // over the page height.
        {"none", psNone, false, "B M-75,6600 L5025,0 S#000000w1"},
        // Fit: the 2400 x 3300 area holds 576 x 792 pt, so s = 576 / 1224.
        {"fit", psFitToPaper, false, "B M0,3105.88 L2400,0 S#000000w1"},
        {"shrink", psShrinkLargePages, false, "B M0,3105.88 L2400,0 S#000000w1"},
        // Centred: the 194-pixel gap split above and below.
        {"fit centred", psFitToPaper, true, "B M0,3202.94 L2400,97.06 S#000000w1"},
        // A landscape page on portrait paper is turned a quarter and centred.
        {"landscape turned", psFitToPaper, true, "B M0,97.06 L2400,3202.94 S#000000w1", 1584, 1224},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TPage P("0 0 m " + std::to_string(C.W) + " " + std::to_string(C.H) + " l S",
                {0, 0, C.W, C.H});
        TTestPrinter Printer;
        TPDFRenderer R(nullptr);
        TRecorder Rec;
        P.Attach(R);
        R.SetDPI(300);
        R.SetDestination(rdPrinter);
        R.FVPLPrinter = &Printer;
        R.PrintOptions().PageScaling = C.Scaling;
        R.PrintOptions().AutoRotateCenter = C.Center;
        R.SetCanvasRecorder(&Rec);
        R.Render();
        EXPECT_EQ(Rec.Log, C.Corners);
    }
}

TEST(Renderer, LookUps) {
    TPDFStructure S;
    TPDFDictionary* A = S.NewDictionary();
    TPDFDictionary* B = S.NewDictionary();
    A->Add("Parent", S.NewIndirectRef(2, 0));
    B->Add("Parent", S.NewIndirectRef(1, 0));
    B->Add("Rotate", S.NewNumeric(90));
    TPDFRenderer R(nullptr);
    R.OnFindObject = [&](TPDFIndRef* Ref) -> TPDFObject* { return Ref->ObjNum == 1 ? A : B; };
    // The loop A -> B -> A ends the look-up.
    EXPECT_EQ(R.FindInheritedValue(A, "MediaBox"), nullptr);
    EXPECT_NE(R.FindInheritedValue(A, "Rotate"), nullptr);
    EXPECT_EQ(R.FindInheritedValue(nullptr, "Rotate"), nullptr);

    int X = 0, Y = 0;
    const int32_t IX = R.ObjectToID(&X);
    EXPECT_EQ(IX, 0x58000000);
    EXPECT_EQ(R.ObjectToID(&Y), 0x58000001);
    EXPECT_EQ(R.ObjectToID(&X), IX);
    EXPECT_EQ(R.IDToObject(IX), &X);
    EXPECT_EQ(R.IDToObject(0), nullptr);
    EXPECT_EQ(R.IDToObject(0x58000002), nullptr);
    EXPECT_EQ(R.ObjectToID(nullptr), 0);
}

// ---------------------------------------------------------------------------
// Scanner and path operators, through the recorder (100 x 100 pt page, 72
// DPI: device y = 100 - y).

struct TContentCase {
    const char* Content;
    const char* Canvas;
};

TEST(ContentScanner, Tokens) {
    const TContentCase Cases[] = {
        {"0 0 m 10 10 l S", "B M0,100 L10,90 S#000000w1"},
        // m10 is one token, an operand: no move is made.
        {"0 0 m10 10 l S", "L0,90 S#000000w1"},
        {"q\nQ", "q Q"},
        {"q", "q"},
        // A one-byte token right after a delimiter-ended token, at the end.
        {"(a)Q", "Q"},
        {"[1 2]0 d 0 0 m 10 0 l S", "B M0,100 L10,100 S#000000w1d1,2@0"},
        {"[1 2]0 d [ ] 0 d 0 0 m 10 0 l S", "B M0,100 L10,100 S#000000w1"},
        // Comment words never execute.
        {"% q Q\n0 0 m 1 0 l S %S", "B M0,100 L1,100 S#000000w1"},
        {"0 0 m 1 0 l%q\rS", "B M0,100 L1,100 S#000000w1"},
        // Strings with nested and escaped parentheses are one token.
        {"0 0 m (a (b) 5 5 l S) 20 20 l S", "B M0,100 L20,80 S#000000w1"},
        {"0 0 m (a\\) 5 5 l S) 20 20 l S", "B M0,100 L20,80 S#000000w1"},
        // An inline marked-content dictionary is one operand and changes
        // nothing.
        {"/Span <</ActualText (x) /Lang (en)>> BDC 0 0 m 1 0 l S EMC",
         "B M0,100 L1,100 S#000000w1"},
        // Q at depth 0 keeps the state.
        {"3 w Q 0 0 m 1 0 l S", "Q B M0,100 L1,100 S#000000w3"},
        {"/A/B 0 0 m 1 0 l S", "B M0,100 L1,100 S#000000w1"},
        // Inline image data is skipped to the EI, never run as operators.
        {"BI /W 1 /H 1 ID S f q EI 0 0 m 1 0 l S", "B M0,100 L1,100 S#000000w1"},
        {"BI /W 1 ID xEIx f EI", ""},
    };
    // The scanner's own stepping over inline images is what is checked: an
    // image drawer that another test of this process installed is set aside.
    const TInlineImageDrawer Saved = std::exchange(InlineImageDrawer(), nullptr);
    struct TRestore {
        const TInlineImageDrawer& D;
        ~TRestore() { InlineImageDrawer() = D; }
    } Restore{Saved};
    for (const TContentCase& C : Cases) {
        SCOPED_TRACE(C.Content);
        EXPECT_EQ(RunContent(C.Content).Canvas, C.Canvas);
    }
}

// The scanner hands out every token up to the content's last byte, however
// the token before it ended.
TEST(ContentScanner, EveryTokenToTheLastByte) {
    const std::pair<const char*, std::vector<std::string>> Cases[] = {
        {"(a)Q", {"(a)", "Q"}},
        {"[1 2]", {"[", "1", "2", "]"}},
        {"[(x)]", {"[", "(x)", "]"}},
        {"<ab>]", {"<ab>", "]"}},
        {"<</A 1>>Q", {"<</A 1>>", "Q"}},
        {"/A/B", {"/A", "/B"}},
        {"q", {"q"}},
        {"% q\nQ", {"Q"}},
        {"Q %q", {"Q"}},
        {"", {}},
    };
    TPDFRenderer R(nullptr);
    for (const auto& [Content, Expected] : Cases) {
        SCOPED_TRACE(Content);
        TPDFRenderer::TContentRun Run(R);
        Run.Text = Content;
        std::vector<std::string> Got;
        for (std::string_view T = Run.NextToken(); !T.empty(); T = Run.NextToken())
            Got.emplace_back(T);
        EXPECT_EQ(Got, Expected);
    }
}

TEST(ContentScanner, ErrorKeepsWhatWasDrawn) {
    TPage P("0 0 m 5 5 l S 0 0 5 5 re f 1 1 m 2 2 l S");
    TPDFRenderer R(nullptr);
    TRecorder Rec;
    Rec.ThrowOnFill = true;
    P.Attach(R);
    R.SetDPI(72);
    R.SetCanvasRecorder(&Rec);
    R.Render();
    EXPECT_EQ(Rec.Log, "B M0,100 L5,95 S#000000w1 B M0,100 L5,100 L5,95 L0,95 H");
    EXPECT_EQ(R.ErrorDesc(), "Rendering exception: boom\r\nToken position 27");
}

TEST(ContentScanner, ProgressReachesTheWindow) {
    HWND Wnd = reinterpret_cast<HWND>(0x1234);
    std::vector<intptr_t> Seen;
    RegisterWindowMessageHandler(Wnd, [&](HWND, UINT Msg, WPARAM W, LPARAM L) -> LRESULT {
        EXPECT_EQ(Msg, 777u);
        EXPECT_EQ(W, 5u);
        Seen.push_back(L);
        return 0;
    });
    TPage P("0 0 m 10 10 l S 0 0 m 10 10 l S");
    TPDFRenderer R(nullptr);
    TRecorder Rec;
    P.Attach(R);
    R.SetDPI(72);
    R.SetCanvasRecorder(&Rec);
    R.GDIPlusSettings().ProgressWindow = Wnd;
    R.GDIPlusSettings().ProgressMessage = 777;
    R.GDIPlusSettings().ProgressData = 5;
    R.Render();
    UnregisterWindowMessageHandler(Wnd);
    ASSERT_FALSE(Seen.empty());
    EXPECT_EQ(Seen.back(), 2100);
    for (size_t I = 1; I < Seen.size(); ++I) EXPECT_LT(Seen[I - 1], Seen[I]);
}

// A caller may read the bitmap from another thread only between renders:
// while the content runs, the bitmap's canvas cannot be taken.
TEST(Renderer, BitmapIsLockedWhileRendering) {
    HWND Wnd = reinterpret_cast<HWND>(0x1235);
    TPDFRenderer R(nullptr);
    int Calls = 0, Taken = 0;
    RegisterWindowMessageHandler(Wnd, [&](HWND, UINT, WPARAM, LPARAM) -> LRESULT {
        ++Calls;
        std::thread Reader([&] {
            if (R.Bitmap()->Canvas().TryLock()) {
                ++Taken;
                R.Bitmap()->Canvas().Unlock();
            }
        });
        Reader.join();
        return 0;
    });
    for (bool Source : {false, true}) {
        TPage P("0 0 m 10 10 l S 0 0 m 10 10 l S");
        P.Attach(R);
        R.SetDPI(72);
        R.GDIPlusSettings().ProgressWindow = Wnd;
        R.GDIPlusSettings().ProgressMessage = 777;
        if (Source)
            R.RenderSource(P.Page, nullptr, 0, 0, 50, 50);
        else
            R.Render();
    }
    UnregisterWindowMessageHandler(Wnd);
    EXPECT_GT(Calls, 0);
    EXPECT_EQ(Taken, 0);
    EXPECT_TRUE(R.Bitmap()->Canvas().TryLock());
    R.Bitmap()->Canvas().Unlock();
}

TEST(ContentScanner, SelfReachingContentIsSkipped) {
    TPage P("0 0 m 1 1 l S");
    TPDFRenderer R(nullptr);
    TRecorder Rec;
    P.Attach(R);
    R.SetDPI(72);
    R.SetCanvasRecorder(&Rec);
    ASSERT_TRUE(R.Nesting()->Enter(P.Page));
    R.Render();
    EXPECT_EQ(Rec.Log, "");
    EXPECT_NE(R.ErrorDesc().find("refers to itself"), std::string::npos);
    R.Nesting()->Leave(P.Page);

    TPDFRenderNesting N;
    int Keys[TPDFRenderNesting::MaxDepth + 1];
    for (int I = 0; I < TPDFRenderNesting::MaxDepth; ++I) ASSERT_TRUE(N.Enter(&Keys[I]));
    EXPECT_FALSE(N.Enter(&Keys[TPDFRenderNesting::MaxDepth]));
    N.Leave(&Keys[0]);
    EXPECT_TRUE(N.Enter(&Keys[0]));
}

TEST(PathOperators, DeviceFamily) {
    const TContentCase Cases[] = {
        {"10 10 m 20 10 l S", "B M10,90 L20,90 S#000000w1"},
        // The zero-length segment becomes a dot.
        {"2 w 10 10 m 10 10 l S", "B M10,90 L9.98,89.98 S#000000w2"},
        // Two rectangles, one path.
        {"0 0 10 10 re 20 0 10 10 re f",
         "B M0,100 L10,100 L10,90 L0,90 H M20,100 L30,100 L30,90 L20,90 H F#000000"},
        {"0 0 10 10 re W n", "B M0,100 L10,100 L10,90 L0,90 H W N"},
        {"0 0 10 10 re W* n", "B M0,100 L10,100 L10,90 L0,90 H W* N"},
        {"0 0 m 1 0 l 1 1 l b*", "B M0,100 L1,100 L1,99 H SF#000000w1#000000eo"},
        {"0 0 m 1 0 l s", "B M0,100 L1,100 H S#000000w1"},
        {"0 0 m 3 0 6 3 9 9 c S", "B M0,100 C3,100,6,97,9,91 S#000000w1"},
        {"0 0 m 6 3 9 9 v S", "B M0,100 C0,100,6,97,9,91 S#000000w1"},
        {"0 0 m 3 0 9 9 y S", "B M0,100 C3,100,9,91,9,91 S#000000w1"},
        {"2 0 0 2 0 0 cm 5 5 m 10 5 l S", "B M10,90 L20,90 S#000000w1"},
        // Width 0 stays 0: the device draws its thinnest line.
        {"0 w 0 0 m 1 0 l S", "B M0,100 L1,100 S#000000w0"},
        {"5000 w 0 0 m 1 0 l S", "B M0,100 L1,100 S#000000w1"},
        // A singular or overflowing matrix paints nothing until Q.
        {"q 0 0 0 0 0 0 cm 0 0 9 9 re f Q 0 0 1 rg 10 10 50 50 re f",
         "q Q B M10,90 L60,90 L60,40 L10,40 H F#0000FF"},
    };
    for (const TContentCase& C : Cases) {
        SCOPED_TRACE(C.Content);
        EXPECT_EQ(RunContent(C.Content).Canvas, C.Canvas);
    }
}

TEST(PathOperators, OverflowNeverReachesTheCanvas) {
    const std::string Huge = "1" + std::string(200, '0');
    const std::string Tiny = "0." + std::string(199, '0') + "1";
    struct TCase {
        std::string Content;
        const char* Canvas;
    };
    const TCase Cases[] = {
        // The product of two finite matrices overflows.
        {("q " + Huge + " 0 0 " + Huge + " 0 0 cm " + Huge + " 0 0 " + Huge +
          " 0 0 cm 0 0 9 9 re f Q 1 1 m 2 1 l S"),
         "q Q B M1,99 L2,99 S#000000w1"},
        // A point that overflows discards its path.
        {("q " + Huge + " 0 0 " + Tiny + " 0 0 cm 0 0 m " + Huge + " 0 l S Q 1 1 m 2 1 l S"),
         "q B M0,100 N Q B M1,99 L2,99 S#000000w1"},
    };
    for (const TCase& C : Cases) EXPECT_EQ(RunContent(C.Content).Canvas, C.Canvas);
}

TEST(PathOperators, EPSFamily) {
    const TContentCase Cases[] = {
        {"10 10 m 20 10 l S", "doc0,0,100,100 newpath m10,10 l20,10 [0 setgray] stroke"},
        {"0 0 5 5 re f*", "doc0,0,100,100 newpath m0,0 l5,0 l5,5 l0,5 h [0 setgray] eofill"},
        {"1 0 0 RG 0 0 m 1 1 l 0 1 0 rg b",
         "doc0,0,100,100 newpath m0,0 l1,1 h [0 1 0 setrgbcolor] fill [1 0 0 setrgbcolor] stroke"},
        {"0 0 5 5 re W n", "doc0,0,100,100 newpath m0,0 l5,0 l5,5 l0,5 h clip"},
        {"2 w", "doc0,0,100,100 w2"},
    };
    for (const TContentCase& C : Cases) {
        SCOPED_TRACE(C.Content);
        EXPECT_EQ(RunContent(C.Content).EPS, C.Canvas);
    }
}

TEST(PathOperators, FillRulesOnPixels) {
    const char* Squares = "0 0 100 100 re 25 25 50 50 re";
    for (const char* Op : {"f", "f*"}) {
        SCOPED_TRACE(Op);
        TPage P(std::string(Squares) + " " + Op);
        TPDFRenderer R(nullptr);
        P.Attach(R);
        R.SetDPI(72);
        R.Render();
        EXPECT_EQ(R.ErrorDesc(), "");
        EXPECT_EQ(PixelAt(*R.Bitmap(), 10, 10), 0u);
        EXPECT_EQ(PixelAt(*R.Bitmap(), 50, 50), std::string(Op) == "f*" ? 0xFFFFFFu : 0u);
    }
    // A clip ends at its Q; a Q at depth 0 keeps the page drawable.
    {
        TPage Q("Q q 0 0 10 10 re W n 0 0 100 100 re f Q 1 0 0 rg 20 20 60 60 re f");
        TPDFRenderer R(nullptr);
        Q.Attach(R);
        R.SetDPI(72);
        R.Render();
        EXPECT_EQ(PixelAt(*R.Bitmap(), 5, 95), 0u);
        EXPECT_EQ(PixelAt(*R.Bitmap(), 15, 85), 0xFFFFFFu);
        EXPECT_EQ(PixelAt(*R.Bitmap(), 50, 50), 0xFF0000u);
    }
    // The degenerate matrix does not stop the rest of the page.
    TPage P("q 0 0 0 0 0 0 cm 0 0 9 9 re f Q 0 0 1 rg 10 10 50 50 re f");
    TPDFRenderer R(nullptr);
    P.Attach(R);
    R.SetDPI(72);
    R.Render();
    EXPECT_EQ(PixelAt(*R.Bitmap(), 30, 70), 0x0000FFu);
    EXPECT_EQ(PixelAt(*R.Bitmap(), 5, 97), 0xFFFFFFu);
}

// ---------------------------------------------------------------------------
// Colour operators

struct TColourCase {
    const char* Content;
    const char* Canvas;
    const char* EPS;
};

TEST(ColorOperators, DeviceAndResourceSpaces) {
    const TColourCase Cases[] = {
        {"0.5 g 0 0 1 1 re f", "F#808080", "[0.5 setgray]"},
        {"1 0 0 rg 0 0 1 1 re f", "F#FF0000", "[1 0 0 setrgbcolor]"},
        {"1.5 0 0 rg 0 0 1 1 re f", "F#FF0000", "[1 0 0 setrgbcolor]"},
        {"0 0 0 1 k 0 0 1 1 re f", nullptr, "[0 0 0 1 setcmykcolor]"},
        {"/CS0 cs 1 sc 0 0 1 1 re f", "F#00FF00", "[0 1 0 setrgbcolor]"},
        {"/Unknown cs 0.2 0.4 0.6 sc 0 0 1 1 re f", "F#336699", "[0.2 0.4 0.6 setrgbcolor]"},
        {"/DeviceRGB CS 0 0 1 SC 0 0 m 1 0 l S", "S#0000FFw1", "[0 0 1 setrgbcolor]"},
        // A pattern that cannot be found paints white.
        {"/Pattern cs /P1 scn 0 0 1 1 re f", "F#FFFFFF", "[0 setgray]"},
        // After d1, colour operators change nothing.
        {"d1 1 0 0 rg 0 0 1 1 re f", "F#000000", "[0 setgray]"},
        {"/Lab0 cs 100 0 0 sc 0 0 1 1 re f", nullptr, "setrgbcolor]"},
        {"q 1 0 0 rg Q 0 0 1 1 re f", "F#000000", "[0 setgray]"},
    };
    for (const TColourCase& C : Cases) {
        SCOPED_TRACE(C.Content);
        TPage P(C.Content);
        TPDFDictionary* CS = P.S.NewDictionary();
        TPDFArray* Indexed = P.S.NewArray();
        Indexed->Add(P.S.NewName("Indexed"));
        Indexed->Add(P.S.NewName("DeviceRGB"));
        Indexed->Add(P.S.NewNumeric(1));
        Indexed->Add(P.S.NewString(std::string("\xFF\x00\x00\x00\xFF\x00", 6), smHex));
        CS->Add("CS0", Indexed);
        TPDFArray* Lab = P.S.NewArray();
        Lab->Add(P.S.NewName("Lab"));
        TPDFDictionary* LabDict = P.S.NewDictionary();
        LabDict->Add("WhitePoint", P.S.NewDoubleArray({0.9505, 1, 1.089}));
        Lab->Add(LabDict);
        CS->Add("Lab0", Lab);
        P.Resources->Add("ColorSpace", CS);
        TRun Out = RunPage(P);
        if (C.Canvas) EXPECT_NE(Out.Canvas.find(C.Canvas), std::string::npos) << Out.Canvas;
        EXPECT_NE(Out.EPS.find(C.EPS), std::string::npos) << Out.EPS;
    }
}

TEST(ColorOperators, EachColourSpaceUseMakesItsOwnObject) {
    TPage P("/S0 cs 1 sc /S0 cs 1 sc");
    TPDFDictionary* CS = P.S.NewDictionary();
    TPDFArray* Sep = P.S.NewArray();
    Sep->Add(P.S.NewName("Separation"));
    Sep->Add(P.S.NewName("Spot"));
    Sep->Add(P.S.NewName("DeviceGray"));
    TPDFDictionary* Fn = P.S.NewDictionary();
    Fn->Add("FunctionType", P.S.NewNumeric(2));
    Fn->Add("Domain", P.S.NewDoubleArray({0, 1}));
    Fn->Add("C0", P.S.NewDoubleArray({1}));
    Fn->Add("C1", P.S.NewDoubleArray({0}));
    Fn->Add("N", P.S.NewNumeric(1));
    Sep->Add(Fn);
    CS->Add("S0", Sep);
    P.Resources->Add("ColorSpace", CS);
    TPDFRenderer R(nullptr);
    TRecorder Rec;
    P.Attach(R);
    R.SetDPI(72);
    R.SetCanvasRecorder(&Rec);
    R.Render();
    EXPECT_EQ(R.FSeparationColors.size(), 2u);
    EXPECT_NE(R.ObjectToID(R.FSeparationColors[0].get()),
              R.ObjectToID(R.FSeparationColors[1].get()));
}

// ---------------------------------------------------------------------------
// Optional content

TEST(OptionalContent, MarkedContentAndMembershipDictionaries) {
    struct TCase {
        const char* Name;
        const char* Content;
        std::vector<bool> Shows;  // L1, L2 (empty: no list)
        const char* Policy;       // OCMD /P (nullptr: none)
        bool EmptyOCGs;
        bool Drawn;
    } Cases[] = {
        {"shown", "/OC /L1 BDC 0 0 m 1 0 l S EMC", {true, true}, nullptr, false, true},
        {"hidden", "/OC /L1 BDC 0 0 m 1 0 l S EMC", {false, true}, nullptr, false, false},
        {"not listed", "/OC /L1 BDC 0 0 m 1 0 l S EMC", {}, nullptr, false, true},
        {"hidden inside shown",
         "/OC /L2 BDC /OC /L1 BDC 0 0 m 1 0 l S EMC EMC",
         {false, true},
         nullptr,
         false,
         false},
        {"shown inside hidden",
         "/OC /L1 BDC /OC /L2 BDC 0 0 m 1 0 l S EMC EMC",
         {false, true},
         nullptr,
         false,
         false},
        {"resumes after EMC", "/OC /L1 BDC EMC 0 0 m 1 0 l S", {false, true}, nullptr, false, true},
        {"BMC keeps visibility",
         "/Tag BMC 0 0 m 1 0 l S EMC",
         {false, false},
         nullptr,
         false,
         true},
        {"unbalanced EMC shows",
         "/OC /L1 BDC EMC EMC 0 0 m 1 0 l S",
         {false, true},
         nullptr,
         false,
         true},
        {"AnyOff one hidden",
         "/OC /MD BDC 0 0 m 1 0 l S EMC",
         {false, true},
         "AnyOff",
         false,
         true},
        {"AllOn one hidden", "/OC /MD BDC 0 0 m 1 0 l S EMC", {false, true}, "AllOn", false, false},
        {"AnyOn default", "/OC /MD BDC 0 0 m 1 0 l S EMC", {false, true}, nullptr, false, true},
        {"AllOff both hidden",
         "/OC /MD BDC 0 0 m 1 0 l S EMC",
         {false, false},
         "AllOff",
         false,
         true},
        {"unknown policy",
         "/OC /MD BDC 0 0 m 1 0 l S EMC",
         {true, true},
         "Sometimes",
         false,
         false},
        {"empty AllOn", "/OC /MD BDC 0 0 m 1 0 l S EMC", {}, "AllOn", true, true},
        {"empty AllOff", "/OC /MD BDC 0 0 m 1 0 l S EMC", {}, "AllOff", true, true},
        {"empty AnyOn", "/OC /MD BDC 0 0 m 1 0 l S EMC", {}, "AnyOn", true, false},
        {"empty AnyOff", "/OC /MD BDC 0 0 m 1 0 l S EMC", {}, "AnyOff", true, false},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TPage P(C.Content);
        TPDFDictionary* L1 = P.S.NewDictionary();
        L1->Add("Type", P.S.NewName("OCG"));
        TPDFDictionary* L2 = P.S.NewDictionary();
        L2->Add("Type", P.S.NewName("OCG"));
        TPDFDictionary* MD = P.S.NewDictionary();
        MD->Add("Type", P.S.NewName("OCMD"));
        TPDFArray* Groups = P.S.NewArray();
        if (!C.EmptyOCGs) {
            Groups->Add(P.Ref(11));
            Groups->Add(P.Ref(12));
        }
        MD->Add("OCGs", Groups);
        if (C.Policy) MD->Add("P", P.S.NewName(C.Policy));
        P.Objects = {{11, L1}, {12, L2}, {13, MD}};
        TPDFDictionary* Props = P.S.NewDictionary();
        Props->Add("L1", P.Ref(11));
        Props->Add("L2", P.Ref(12));
        Props->Add("MD", P.Ref(13));
        P.Resources->Add("Properties", Props);
        TVPLOCGStateList States;
        std::vector<std::unique_ptr<TPDFStructure>> Keep;
        for (size_t I = 0; I < C.Shows.size(); ++I)
            States.push_back({P.Ref(int32_t(11 + I)), C.Shows[I]});
        TRun Out = RunPage(P, States);
        const bool Stroked = Out.Canvas.find("S#") != std::string::npos;
        EXPECT_EQ(Stroked, C.Drawn) << Out.Canvas;
        if (!C.Drawn) EXPECT_NE(Out.Canvas.find(" N"), std::string::npos) << Out.Canvas;
        // EPS gets the colour either way, the stroke only when shown.
        EXPECT_NE(Out.EPS.find("[0 setgray]"), std::string::npos);
        EXPECT_EQ(Out.EPS.find("stroke") != std::string::npos, C.Drawn) << Out.EPS;
    }
}

}  // namespace
}  // namespace velmo

namespace velmo {
namespace {

TEST(Renderer, FirstErrorOfARenderIsKept) {
    TPage P("0 0 5 5 re f");
    TPDFRenderer R(nullptr);
    TRecorder Rec;
    Rec.ThrowOnFill = true;
    P.Attach(R);
    R.SetDPI(72);
    R.SetCanvasRecorder(&Rec);
    R.Render();
    const std::string First = R.ErrorDesc();
    ASSERT_NE(First, "");
    // A later content of the same render (a form, an appearance) does not
    // wipe the page's error, and its own error does not replace it.
    TPDFStructure S;
    R.RenderContent(S.NewString("0 0 m 1 1 l S", smLiteral), {}, nullptr);
    EXPECT_EQ(R.ErrorDesc(), First);
    R.RenderContent(S.NewString("1 1 2 2 re f", smLiteral), {}, nullptr);
    EXPECT_EQ(R.ErrorDesc(), First);
    // The next render starts clean.
    Rec.ThrowOnFill = false;
    R.Render();
    EXPECT_EQ(R.ErrorDesc(), "");
}

TEST(Renderer, SecondRendererSharesTheNestingGuard) {
    TPDFStructure S;
    TPDFString* Src = S.NewString("0 0 1 1 re f", smLiteral);
    TPDFRenderer R(nullptr);
    R.SetDPI(72);
    ASSERT_TRUE(R.Nesting()->Enter(Src));
    TMemoryStream Out;
    double Scale = 0;
    R.RenderSourceToStream(Src, nullptr, Out, 0, 0, 10, 10, Scale);
    EXPECT_NE(R.ErrorDesc().find("refers to itself"), std::string::npos);
    R.Nesting()->Leave(Src);
    EXPECT_EQ(R.Nesting()->Depth(), 0);
}

TEST(Renderer, DecodedImagesAreCachedPerDocument) {
    TPDFStructure A, B;
    TPDFRenderer R(nullptr);
    struct TDecoder : TPDFImageDecoderBase {
        int64_t ImageDataSize() const override { return 10; }
    };
    auto* DA = new TDecoder;
    auto* DB = new TDecoder;
    R.ImageCollection().push_back({&A, int64_t(5) << 32, std::unique_ptr<TDecoder>(DA)});
    R.ImageCollection().push_back({&B, int64_t(5) << 32, std::unique_ptr<TDecoder>(DB)});
    EXPECT_EQ(R.FindCachedImage(&A, 5, 0), DA);
    EXPECT_EQ(R.FindCachedImage(&B, 5, 0), DB);
    EXPECT_EQ(R.FindCachedImage(&A, 5, 1), nullptr);
    // The same object decoded in another mode is another entry.
    EXPECT_EQ(R.FindCachedImage(&A, 5, 0, 1), nullptr);
    auto* DN = new TDecoder;
    R.ImageCollection().push_back({&A, int64_t(5) << 32, std::unique_ptr<TDecoder>(DN), 1});
    EXPECT_EQ(R.FindCachedImage(&A, 5, 0, 1), DN);
    EXPECT_EQ(R.FindCachedImage(&A, 5, 0), DA);
    R.TrimImageCache();
    EXPECT_EQ(R.ImageCollection().size(), 3u);
    R.ClearCachedResources();
    EXPECT_TRUE(R.ImageCollection().empty());
}

TEST(RendererGeometry, TextFunnelPassRunsInUserSpace) {
    struct TFunnel : TPDFTextFunnelBase {
        int Clears = 0;
        void Clear() override { ++Clears; }
    } Funnel;
    TPage P("0 0 m 1 1 l S (x) Tj", {0, 0, 200.4, 300});
    TPDFRenderer R(nullptr);
    P.Attach(R);
    R.SetTextFunnel(&Funnel);
    EXPECT_EQ(R.TextFunnel(), &Funnel);
    R.SetDPI(300);
    R.SetDestination(rdTextFunnel);
    R.Render();
    EXPECT_EQ(Funnel.Clears, 1);
    EXPECT_EQ(R.DPI(), 72);
    EXPECT_EQ(R.MaxX(), 201);
    EXPECT_EQ(R.MaxY(), 301);
    EXPECT_EQ(R.ErrorDesc(), "");
}

}  // namespace
}  // namespace velmo

namespace velmo {
namespace {

TEST(RendererGeometry, DeviceContextOffsetsPlaceAndClipThePage) {
    TPage P("-100 -100 1000 1000 re f", {0, 0, 50, 50});
    TBitmap Target(200, 200);
    Target.Canvas().Brush().Color = 0x808080;
    RECT All;
    All.right = 200;
    All.bottom = 200;
    Target.Canvas().FillRect(All);
    TPDFRenderer R(nullptr);
    P.Attach(R);
    R.SetDPI(72);
    R.SetDestination(rdDeviceContext);
    R.SetDeviceContextTarget(Target.Canvas().Handle(), false, 50, 20);
    R.Render();
    EXPECT_EQ(R.ErrorDesc(), "");
    EXPECT_EQ(PixelAt(Target, 50, 20), 0u);
    EXPECT_EQ(PixelAt(Target, 99, 69), 0u);
    EXPECT_EQ(PixelAt(Target, 49, 20), 0x808080u);
    EXPECT_EQ(PixelAt(Target, 50, 19), 0x808080u);
    EXPECT_EQ(PixelAt(Target, 100, 50), 0x808080u);
    EXPECT_EQ(PixelAt(Target, 60, 70), 0x808080u);
}

}  // namespace
}  // namespace velmo

namespace velmo {
namespace {

TEST(ContentScanner, StacksStayBounded) {
    // Deep q nesting: saves past the limit are counted and matched by their
    // Q, so the outer states come back in order.
    std::string Content = "q 1 0 0 rg ";
    for (int I = 0; I < 5000; ++I) Content += "q ";
    Content += "0 0 1 rg ";
    for (int I = 0; I < 5000; ++I) Content += "Q ";
    Content += "0 0 1 1 re f Q 0 0 1 1 re f ";
    // Operands piling up past the bound lose their oldest ones only.
    for (int I = 0; I < 70000; ++I) Content += "7 ";
    Content += "2 w 0 0 m 1 0 l S";
    TPage P(Content);
    TPDFRenderer R(nullptr);
    TRecorder Rec;
    P.Attach(R);
    R.SetDPI(72);
    R.SetCanvasRecorder(&Rec);
    R.Render();
    const size_t At = Rec.Log.find("F#FF0000");
    ASSERT_NE(At, std::string::npos);
    EXPECT_EQ(Rec.Log.substr(At, 49), "F#FF0000 Q B M0,100 L1,100 L1,99 L0,99 H F#000000");
    EXPECT_NE(Rec.Log.find("S#000000w2"), std::string::npos);
    EXPECT_EQ(R.ErrorDesc(), "");
}

TEST(ColorOperators, RepeatedColourSpacesAreBounded) {
    std::string Content;
    for (int I = 0; I < 5000; ++I) Content += "/I0 cs ";
    Content += "1 sc 0 0 1 1 re f";
    TPage P(Content);
    TPDFDictionary* CS = P.S.NewDictionary();
    TPDFArray* Indexed = P.S.NewArray();
    Indexed->Add(P.S.NewName("Indexed"));
    Indexed->Add(P.S.NewName("DeviceRGB"));
    Indexed->Add(P.S.NewNumeric(1));
    Indexed->Add(P.S.NewString(std::string("\xFF\x00\x00\x00\xFF\x00", 6), smHex));
    CS->Add("I0", Indexed);
    P.Resources->Add("ColorSpace", CS);
    TPDFRenderer R(nullptr);
    TRecorder Rec;
    P.Attach(R);
    R.SetDPI(72);
    R.SetCanvasRecorder(&Rec);
    R.Render();
    EXPECT_LE(R.FIndexedColors.size(), 4096u);
    EXPECT_NE(Rec.Log.find("F#00FF00"), std::string::npos);
}

}  // namespace
}  // namespace velmo

namespace velmo {
namespace {

TEST(PathOperators, ZeroWidthStrokesOneDevicePixel) {
    // At 600 DPI one user unit is over 8 pixels; a zero width stays the
    // thinnest line, under a scaling matrix too.
    for (const char* Content : {"0 w 0 5 m 10 5 l S", "4 0 0 4 0 0 cm 0 w 0 1.25 m 2.5 1.25 l S"}) {
        SCOPED_TRACE(Content);
        TPage P(Content, {0, 0, 10, 10});
        TPDFRenderer R(nullptr);
        P.Attach(R);
        R.SetDPI(600);
        R.Render();
        ASSERT_EQ(R.Bitmap()->Width(), 84);
        int Inked = 0;
        for (int Y = 0; Y < R.Bitmap()->Height(); ++Y)
            if (PixelAt(*R.Bitmap(), 40, Y) != 0xFFFFFFu) ++Inked;
        EXPECT_GE(Inked, 1);
        EXPECT_LE(Inked, 2);
    }
}

}  // namespace
}  // namespace velmo

namespace velmo {
namespace {

// A page whose resources name forms 20, 21, ... made from (dictionary text,
// content) pairs.
struct TFormPage : TPage {
    explicit TFormPage(const std::string& Content) : TPage(Content) {}
    void AddForm(const std::string& Name, const std::string& Dict, const std::string& Content) {
        const int32_t Num = 20 + int32_t(Objects.size());
        auto* D = ObjAs<TPDFDictionary>(S.Decode(Dict));
        Objects[Num] = S.NewStreamWithDict(Content, D);
        TPDFDictionary* X = ObjAs<TPDFDictionary>(Resources->FindValueByKeyName("XObject", false));
        if (X == nullptr) {
            X = S.NewDictionary();
            Resources->Add("XObject", X);
        }
        X->Add(Name, Ref(Num));
    }
    TBitmap Render(std::string* Error = nullptr, const TVPLOCGStateList& States = {}) {
        TPDFRenderer R(nullptr);
        Attach(R);
        R.SetDPI(72);
        R.OCGStateList() = States;
        R.Render();
        if (Error) *Error = R.ErrorDesc();
        return *R.Bitmap();
    }
};

constexpr const char* kForm = "<< /Type /XObject /Subtype /Form /BBox [0 0 10 10]";

TEST(FormXObjects, MatrixBoxAndCallerState) {
    // The form fills far beyond its box: the box, scaled by the form's
    // matrix, clips it to a 20 x 20 square at the current origin; after Do
    // the caller's matrix and colour hold again.
    TFormPage P("q 1 0 0 1 10 10 cm /Fm Do 0 0 1 rg 50 50 10 10 re f Q");
    P.AddForm("Fm", std::string(kForm) + " /Matrix [2 0 0 2 0 0] >>", "0 1 0 rg -50 -50 200 200 re f");
    TBitmap B = P.Render();
    EXPECT_EQ(PixelAt(B, 11, 89), 0x00FF00u);  // inside, just past the origin
    EXPECT_EQ(PixelAt(B, 29, 71), 0x00FF00u);  // inside, at the far corner
    EXPECT_EQ(PixelAt(B, 31, 89), 0xFFFFFFu);  // right of the box
    EXPECT_EQ(PixelAt(B, 11, 69), 0xFFFFFFu);  // above the box
    EXPECT_EQ(PixelAt(B, 8, 92), 0xFFFFFFu);   // before the origin
    EXPECT_EQ(PixelAt(B, 65, 35), 0x0000FFu);  // the caller's square, unscaled
}

TEST(FormXObjects, ResourcesNamesAndStartingState) {
    struct TCase {
        const char* Name;
        std::string Content;
        std::string FormDict;
        std::string FormContent;
        uint32_t Want;  // pixel (5, 95)
    } Cases[] = {
        // The form inherits the caller's fill colour.
        {"caller state", "1 0 0 rg /Fm Do", std::string(kForm) + " >>", "0 0 10 10 re f",
         0xFF0000u},
        // A name with #-escapes finds its entry.
        {"escaped name", "/F#6d Do", std::string(kForm) + " >>", "0 0 10 10 re f", 0x000000u},
        // A form without resources uses its caller's: /Fm draws itself
        // through them, which the guard stops after one level.
        {"self through parent resources", "/Fm Do", std::string(kForm) + " >>",
         "0 0 10 10 re f /Fm Do", 0x000000u},
        // A subtype other than Form or Image draws nothing.
        {"other subtype", "/Fm Do", "<< /Subtype /PS /BBox [0 0 10 10] >>", "0 0 10 10 re f",
         0xFFFFFFu},
        // A box of fewer than four numbers: drawn unclipped.
        {"short box", "/Fm Do", "<< /Subtype /Form /BBox [0 0 1] >>", "0 0 10 10 re f",
         0x000000u},
        // A singular matrix: the form draws nothing.
        {"singular matrix", "/Fm Do", std::string(kForm) + " /Matrix [0 0 0 0 0 0] >>",
         "0 0 10 10 re f", 0xFFFFFFu},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TFormPage P(C.Content);
        P.AddForm("Fm", C.FormDict, C.FormContent);
        std::string Error;
        TBitmap B = P.Render(&Error);
        EXPECT_EQ(PixelAt(B, 5, 95), C.Want);
        if (std::string(C.Name) == "self through parent resources")
            EXPECT_NE(Error.find("refers to itself"), std::string::npos);
    }
}

TEST(FormXObjects, OptionalContentOfTheForm) {
    // Group 30 is the form's /OC; the state list decides, and without a
    // matching entry the form follows the current visibility.
    for (int Show = -1; Show <= 1; ++Show) {
        SCOPED_TRACE(Show);
        TFormPage P("/Fm Do");
        P.Objects[30] = P.S.Decode("<< /Type /OCG /Name (g) >>");
        P.AddForm("Fm", std::string(kForm) + " /OC 30 0 R >>", "0 0 10 10 re f");
        TVPLOCGStateList States;
        if (Show >= 0) States.push_back({P.Ref(30), Show == 1});
        TBitmap B = P.Render(nullptr, States);
        EXPECT_EQ(PixelAt(B, 5, 95), Show == 0 ? 0xFFFFFFu : 0x000000u);
    }
}

TEST(FormXObjects, FormThatDrawsItselfThroughACycleEnds) {
    TFormPage P("/A Do 0 0 1 rg 50 50 10 10 re f");
    P.AddForm("A", std::string(kForm) + " /Resources << /XObject << /B 21 0 R >> >> >>",
              "0 0 5 5 re f /B Do");
    P.AddForm("B", std::string(kForm) + " /Resources << /XObject << /A 20 0 R >> >> >>",
              "5 5 5 5 re f /A Do");
    std::string Error;
    TBitmap B = P.Render(&Error);
    EXPECT_EQ(PixelAt(B, 2, 97), 0x000000u);
    EXPECT_EQ(PixelAt(B, 7, 92), 0x000000u);
    EXPECT_EQ(PixelAt(B, 55, 45), 0x0000FFu);
    EXPECT_NE(Error.find("refers to itself"), std::string::npos);
}

}  // namespace
}  // namespace velmo

namespace velmo {
namespace {

TEST(ExtGState, EntriesReachTheState) {
    struct TCase {
        const char* Name;
        const char* Dict;
        const char* Content;
        const char* Want;  // in the canvas log
    } Cases[] = {
        {"line width", "<< /LW 3 >>", "/G gs 0 0 m 10 10 l S", "S#000000w3"},
        {"dash", "<< /D [[3 2] 1] >>", "/G gs 0 0 m 10 10 l S", "d3,2@1"},
        {"dash of a non-array", "<< /D [5 1] >>", "[4] 0 d /G gs 0 0 m 10 10 l S",
         "S#000000w1 "},
        {"other type", "<< /Type /Pattern /LW 7 >>", "/G gs 0 0 m 10 10 l S", "S#000000w1"},
        {"wrong value type", "<< /LW /Thick >>", "/G gs 0 0 m 10 10 l S", "S#000000w1"},
        {"unknown name", "<< /LW 7 >>", "/H gs 0 0 m 10 10 l S", "S#000000w1"},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TPage P(C.Content);
        auto* States = P.S.NewDictionary();
        States->Add("G", P.S.Decode(C.Dict));
        P.Resources->Add("ExtGState", States);
        const std::string Log = RunPage(P).Canvas + " ";
        EXPECT_NE(Log.find(C.Want), std::string::npos) << Log;
    }
}

TEST(ExtGState, AlphaReachesThePixels) {
    TPage P("/G gs 1 0 0 rg 0 0 50 50 re f 0 0 1 RG 10 w 60 0 m 60 100 l S");
    auto* States = P.S.NewDictionary();
    States->Add("G", P.S.Decode("<< /ca 0.5 /CA 0.25 /BM /Multiply >>"));
    P.Resources->Add("ExtGState", States);
    TPDFRenderer R(nullptr);
    P.Attach(R);
    R.SetDPI(72);
    R.Render();
    const uint32_t Fill = PixelAt(*R.Bitmap(), 25, 75), Stroke = PixelAt(*R.Bitmap(), 60, 50);
    EXPECT_NEAR(double(Fill >> 16 & 0xFF), 255, 1);
    EXPECT_NEAR(double(Fill >> 8 & 0xFF), 128, 2);
    EXPECT_NEAR(double(Stroke >> 16 & 0xFF), 191, 2);
    EXPECT_NEAR(double(Stroke & 0xFF), 255, 1);
}

}  // namespace
}  // namespace velmo
