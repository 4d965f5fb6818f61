// The two run-time library bindings: loading, refusal of incomplete
// libraries, blend maps, the cairo read function, the cairo model on a
// device bitmap with its layers, and the call sequences the renderer
// library receives (through a recording module in the module table).
#include "render/LibraryBindings.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/files/Stream.h"
#include "platform/gdi/DC.h"
#include "platform/modules/Modules.h"
#include "document/Document.h"
#include "document/PageTree.h"
#include "render/Picasso.h"
#include "render/Renderer.h"
#include "tests/support/RenderSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/render/KPLRRecorder.h"

namespace velmo {
namespace {

// Registers the recording library once under "kplr-rec.dll", and one
// lacking a single name under "kplr-partial.dll".
void RegisterRecordingLibrary() {
    static const bool Done = [] {
        RegisterModule(u"kplr-rec.dll", KPLRExports());
        RegisterModule(u"kplr-partial.dll", KPLRExports("KPLR_draw_shading"));
        return true;
    }();
    (void)Done;
    KLog = TKPLRLog{};
}

// ---------------------------------------------------------------------------
// cairo

const char16_t* const kCairo = u"libcairo.so.2";

TEST(CairoBinding, AttachLoadsCompleteLibrariesOnly) {
    {
        TCairoDLL D;
        EXPECT_FALSE(D.Attach(u""));
        EXPECT_EQ(D.DLLHandle, nullptr);
        EXPECT_FALSE(D.Attach(u"/nonexistent/libcairo.so.2"));
        EXPECT_EQ(D.DLLHandle, nullptr);
    }
    {
        TCairoDLL D;
        ASSERT_TRUE(D.Attach(kCairo));
        EXPECT_NE(D.DLLHandle, nullptr);
#define VPL_BOUND(Name, Result, Params) EXPECT_NE(D.Name, nullptr) << #Name;
        VPL_CAIRO_ENTRY_POINTS(VPL_BOUND)
#undef VPL_BOUND
    }
    // A library lacking one name (here cairo_fill) is refused and unloaded.
    TModuleExports Partial;
    TCairoDLL Real;
    ASSERT_TRUE(Real.Attach(kCairo));
#define VPL_EXPORT(Name, Result, Params)                                              \
    if (std::string(#Name) != "cairo_fill" && std::string(#Name).find("win32") == std::string::npos) \
        Partial.push_back({#Name, reinterpret_cast<FARPROC>(Real.Name)});
    VPL_CAIRO_ENTRY_POINTS(VPL_EXPORT)
#undef VPL_EXPORT
    for (const char* Extra : {"cairo_image_surface_create_for_data", "cairo_surface_set_user_data",
                              "cairo_surface_get_user_data", "cairo_pattern_destroy",
                              "cairo_pattern_create_for_surface"})
        Partial.push_back({Extra, GetProcAddress(Real.DLLHandle, Extra)});
    ASSERT_TRUE(RegisterModule(u"cairo-partial.dll", Partial));
    {
        TCairoDLL D;
        EXPECT_FALSE(D.Attach(u"cairo-partial.dll"));
        EXPECT_EQ(D.DLLHandle, nullptr);
        EXPECT_EQ(D.cairo_create, nullptr);
        EXPECT_EQ(GetModuleHandleW(u"cairo-partial.dll"), nullptr);
    }
    // With the missing name added it attaches.
    UnregisterModule(u"cairo-partial.dll");
    Partial.push_back({"cairo_fill", reinterpret_cast<FARPROC>(Real.cairo_fill)});
    ASSERT_TRUE(RegisterModule(u"cairo-partial.dll", Partial));
    {
        TCairoDLL D;
        EXPECT_TRUE(D.Attach(u"cairo-partial.dll"));
    }
    UnregisterModule(u"cairo-partial.dll");
}

TEST(CairoBinding, BlendModeMaps) {
    struct {
        TPDFBlendMode Mode;
        int Cairo, Library;
    } const Cases[] = {
        {bmNormal, CAIRO_OPERATOR_OVER, 0},      {bmMultiply, CAIRO_OPERATOR_MULTIPLY, 1},
        {bmScreen, 15, 2},                       {bmDifference, CAIRO_OPERATOR_DIFFERENCE, 10},
        {bmHue, CAIRO_OPERATOR_HSL_HUE, 12},     {bmLuminosity, 28, 15},
        {TPDFBlendMode(16), CAIRO_OPERATOR_OVER, 0},
    };
    for (const auto& C : Cases) {
        EXPECT_EQ(int(TCairoDLL::GetBlendMode(C.Mode)), C.Cairo) << int(C.Mode);
        EXPECT_EQ(TKorbexPDFLibraryKPLR::GetBlendMode(C.Mode), C.Library) << int(C.Mode);
    }
}

TEST(CairoBinding, StreamReaderReportsShortReads) {
    TMemoryStream S;
    S.Write("0123456789", 10);
    S.Seek(0, soBeginning);
    unsigned char Buffer[16];
    EXPECT_EQ(CairoStreamReader(&S, Buffer, 6), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(Buffer), 6), "012345");
    // Four bytes remain: a read of six is a read error.
    EXPECT_EQ(CairoStreamReader(&S, Buffer, 6), CAIRO_STATUS_READ_ERROR);
    EXPECT_EQ(CairoStreamReader(nullptr, Buffer, 1), CAIRO_STATUS_READ_ERROR);
}

struct TPage {
    TBitmap BM;
    TPage(int W, int H) : BM(W, H, pf24bit) {
        BM.Canvas().Brush().Color = clWhite;
        BM.Canvas().Brush().Style = bsSolid;
        BM.Canvas().FillRect(RECT{0, 0, W, H});
    }
    HDC Dc() { return BM.Canvas().Handle(); }
    uint32_t At(int X, int Y) const { return uint32_t(BM.GetPixel(X, Y)) & 0xFFFFFF; }
};

void Rect(TPDFPicasso& P, double X0, double Y0, double X1, double Y1) {
    P.BeginPath();
    P.MoveTo(X0, Y0);
    P.AddLineToPath(X1, Y0);
    P.AddLineToPath(X1, Y1);
    P.AddLineToPath(X0, Y1);
    P.ClosePath();
}

TEST(CairoBinding, ModelDrawsOnTheDeviceBitmapThroughItsClip) {
    TPage Page(60, 40);
    IntersectClipRect(Page.Dc(), 0, 0, 50, 40);
    {
        TPDFPicasso P;
        P.SetCurrentXForm(IdentityXForm);
        P.UseCairoModel(Page.Dc(), kCairo, false);
        ASSERT_EQ(P.Model(), pmCairo);
        P.SetFillColor(255, 0, 0);
        P.SetFillMode(pfWinding);
        Rect(P, 10, 10, 60, 30);
        P.FillPath();
        // Nothing reaches the bitmap before the canvas is freed.
    }
    EXPECT_EQ(Page.At(5, 5), 0xFFFFFFu);
    EXPECT_EQ(Page.At(20, 20), 0x0000FFu);
    EXPECT_EQ(Page.At(49, 20), 0x0000FFu);
    EXPECT_EQ(Page.At(55, 20), 0xFFFFFFu) << "outside the device's clip";
}

TEST(CairoBinding, LayersCoverTheWholeSurface) {
    // A layer of an isolated group on a 2000-pixel page is not cut at 1000.
    TPage Page(2000, 20);
    {
        TPDFPicasso P;
        P.SetCurrentXForm(IdentityXForm);
        P.UseCairoModel(Page.Dc(), kCairo, true);
        ASSERT_EQ(P.Model(), pmCairo);
        cairo_surface_t *PageS, *Coverage, *Colour;
        cairo_t *PageC, *CoverageC, *ColourC;
        P.NewCairoSurface(PageS, Coverage, PageC, CoverageC, true);
        ASSERT_NE(Coverage, nullptr);
        auto Draw = [&P] {
            P.SetFillColor(0, 0, 255);
            P.SetFillMode(pfWinding);
            Rect(P, 1500, 5, 1900, 15);
            P.FillPath();
        };
        Draw();
        P.SelectCairoSurface(PageS, PageC);
        P.NewCairoSurface(PageS, Colour, PageC, ColourC, false);
        Draw();
        P.SelectCairoSurface(PageS, PageC);
        P.DrawIsolatedCairoSurface(Coverage, Colour);
        P.RemoveCairoSurface(Colour, ColourC);
        P.RemoveCairoSurface(Coverage, CoverageC);
    }
    EXPECT_EQ(Page.At(1700, 10), 0xFF0000u);
    EXPECT_EQ(Page.At(1200, 10), 0xFFFFFFu);
}

TEST(CairoBinding, KnockOutShowsTheLastObjectOverTheBackdrop) {
    TPage Page(100, 40);
    {
        TPDFPicasso P;
        P.SetCurrentXForm(IdentityXForm);
        P.UseCairoModel(Page.Dc(), kCairo, true);
        ASSERT_EQ(P.Model(), pmCairo);
        cairo_surface_t *PageS, *Backdrop, *Punch;
        cairo_t *PageC, *BackdropC, *PunchC;
        P.NewCairoSurface(PageS, Backdrop, PageC, BackdropC, false);
        P.SelectCairoSurface(PageS, PageC);
        P.NewCairoSurface(PageS, Punch, PageC, PunchC, true);
        P.SelectCairoSurface(PageS, PageC);
        P.SetCairoBackdrop(Punch, Backdrop, PunchC, BackdropC, false);
        P.SetFillMode(pfWinding);
        P.SetFillColor(255, 0, 0);
        Rect(P, 0, 0, 60, 40);
        P.FillPath();
        P.SetFillColor(0, 0, 255);
        P.SetFillAlpha(0.5);
        Rect(P, 40, 0, 100, 40);
        P.FillPath();
        P.CancelCairoBackdrop(PageS, PageC);
        P.RemoveCairoSurface(Punch, PunchC);
        P.RemoveCairoSurface(Backdrop, BackdropC);
    }
    auto Near = [](uint32_t C, int R, int G, int B) {
        return std::abs(int(C & 0xFF) - R) <= 2 && std::abs(int((C >> 8) & 0xFF) - G) <= 2 &&
               std::abs(int((C >> 16) & 0xFF) - B) <= 2;
    };
    EXPECT_TRUE(Near(Page.At(20, 20), 255, 0, 0));
    // The overlap: half blue over white, not over red.
    EXPECT_TRUE(Near(Page.At(50, 20), 127, 127, 255)) << std::hex << Page.At(50, 20);
    EXPECT_TRUE(Near(Page.At(80, 20), 127, 127, 255)) << std::hex << Page.At(80, 20);
}

TEST(CairoBinding, AxialPatternPadsOnlyTheEndsThatExtend) {
    const bool Extends[][2] = {{false, false}, {true, true}, {true, false}, {false, true}};
    for (const auto& E : Extends) {
        SCOPED_TRACE(std::string("extend ") + (E[0] ? "true " : "false ") +
                     (E[1] ? "true" : "false"));
        TPage Page(100, 10);
        TVPLPattern Ramp;
        Ramp.FPatternType = ptAxial;
        Ramp.FPDFPatternType = ptShading;
        Ramp.FCoords = {20, 0, 80, 0, 0, 0};
        Ramp.FStops = {{1, 0, 0}, {0, 0, 1}};
        Ramp.FExtend = {E[0], E[1]};
        {
            TPDFPicasso P;
            P.SetCurrentXForm(IdentityXForm);
            P.UseCairoModel(Page.Dc(), kCairo, true);
            P.SetFillPattern(&Ramp);
            P.SetFillMode(pfWinding);
            Rect(P, 0, 0, 100, 10);
            P.FillPath();
        }
        EXPECT_EQ(Page.At(5, 5), E[0] ? 0x0000FFu : 0xFFFFFFu);
        EXPECT_EQ(Page.At(95, 5), E[1] ? 0xFF0000u : 0xFFFFFFu);
        const uint32_t Mid = Page.At(50, 5);
        EXPECT_NEAR(int(Mid & 0xFF), 128, 8);
        EXPECT_NEAR(int((Mid >> 16) & 0xFF), 128, 8);
    }
}

// ---------------------------------------------------------------------------
// The renderer library

TEST(RendererLibrary, AttachNeedsEveryName) {
    RegisterRecordingLibrary();
    TKorbexPDFLibraryKPLR D;
    EXPECT_FALSE(D.Attach(u""));
    EXPECT_FALSE(D.Attach(u"/nonexistent/kplr.so"));
    EXPECT_FALSE(D.Attach(u"kplr-partial.dll"));
    EXPECT_EQ(D.KPLR_renderer_create, nullptr);
    EXPECT_EQ(GetModuleHandleW(u"kplr-partial.dll"), nullptr);
    ASSERT_TRUE(D.Attach(u"kplr-rec.dll"));
    EXPECT_EQ(KPLRExportNames().size(), 75u);
    // The stream field is bound to the buffer export.
    D.KPLR_shading_set_stream(nullptr, 0, nullptr, 3);
    EXPECT_EQ(KLog.Joined(), "KPLR_shading_set_buffer(0,0,0,3)");

    // Canvases given the incomplete library stay blank.
    TPDFPicasso P;
    P.UseRendererModelMemory(10, 10, u"kplr-partial.dll");
    EXPECT_EQ(P.Model(), pmUnknown);
}

TVPLPattern TilingPattern() {
    TVPLPattern T;
    T.FPDFPatternType = ptTiling;
    T.FPatternType = ptColorTile;
    T.FMatrix = {1, 0, 0, 1, 5, 6};
    T.FBBox = {0, 0, 10, 20};
    T.FXStep = 12;
    T.FYStep = 22;
    T.FTilingType = 1;
    T.FPaintType = 1;
    T.FTileRenderBuf.assign(4 * 4 * 4, 0);
    T.FTileWidth = 4;
    T.FTileHeight = 4;
    return T;
}

TVPLPattern ShadingPattern(int Type) {
    TVPLPattern S;
    S.FPDFPatternType = ptShading;
    S.FPatternType = ptAxial;
    S.FShadingType = Type;
    S.FMatrix = {2, 0, 0, 2, 0, 0};
    S.FCoords = {0, 0, 100, 0, 0, 0};
    S.FExtend = {true, false};
    S.FColorComponents = 3;
    S.FBBox = {0, 0, 0, 0};
    S.FHasBackground = Type == 2;
    S.FBackColor = {0, 1, 0};
    if (Type >= 4) {
        S.FBitsPerCoordinate = 16;
        S.FBitsPerComponent = 8;
        S.FBitsPerFlag = 8;
        S.FVerticesPerRow = Type == 5 ? 2 : 0;
        S.FDecodeArray = {0, 100, 0, 100, 0, 1, 0, 1, 0, 1};
        S.FDecodeStream = "abcdefgh";
    }
    return S;
}

TEST(RendererLibrary, PatternSetUpSequences) {
    RegisterRecordingLibrary();
    struct TCase {
        const char* Name;
        TVPLPattern Pattern;
        std::string Expected;
    } const Cases[] = {
        {"tiling", TilingPattern(),
         "KPLR_pattern_init(H,0,1) KPLR_pattern_set_matrix(H,0,1,0,0,1,5,6) "
         "KPLR_pattern_set_bBox(H,0,1,0,0,10,20) KPLR_pattern_set_stepX(H,0,12) "
         "KPLR_pattern_set_stepY(H,0,22) KPLR_pattern_set_tilingType(H,0,1) "
         "KPLR_pattern_set_paintType(H,0,1) KPLR_pattern_set_tile_buffer(H,0,p) "
         "KPLR_pattern_set_tile_size(H,0,4,4) KPLR_fill_path(H)"},
        {"axial shading", ShadingPattern(2),
         "KPLR_pattern_set_matrix(H,0,2,0,0,2,0,0) KPLR_pattern_init(H,0,2) "
         "KPLR_shading_init(H,0,2) KPLR_shading_set_background_color(H,0,0,1,0) "
         "KPLR_shading_set_bBox(H,0,0,0,0,0,0) KPLR_shading_set_domain(H,0,0,1,0,1) "
         "KPLR_shading_set_coords(H,0,0,0,100,0,0,0) KPLR_shading_set_matrix(H,0,2,0,0,2,0,0) "
         "KPLR_shading_set_shading_matrix(H,0,1,0,0,1,0,0) KPLR_shading_set_extend(H,0,1,0) "
         "KPLR_shading_set_function(H,0,fn,p) KPLR_shading_set_color_components(H,0,3) "
         "KPLR_fill_path(H)"},
        {"lattice mesh", ShadingPattern(5),
         "KPLR_pattern_set_matrix(H,0,2,0,0,2,0,0) KPLR_pattern_init(H,0,2) "
         "KPLR_shading_init(H,0,5) KPLR_shading_set_bBox(H,0,0,0,0,0,0) "
         "KPLR_shading_set_domain(H,0,0,1,0,1) KPLR_shading_set_coords(H,0,0,0,100,0,0,0) "
         "KPLR_shading_set_matrix(H,0,2,0,0,2,0,0) "
         "KPLR_shading_set_shading_matrix(H,0,1,0,0,1,0,0) KPLR_shading_set_extend(H,0,1,0) "
         "KPLR_shading_set_function(H,0,fn,p) KPLR_shading_set_color_components(H,0,3) "
         "KPLR_shading_set_bitsPerCoordinate(H,0,16) KPLR_shading_set_bitsPerComponent(H,0,8) "
         "KPLR_shading_set_bitsPerFlag(H,0,8) KPLR_shading_set_verticesPerRow(H,0,2) "
         "KPLR_shading_set_decode(H,0,p,10) KPLR_shading_set_buffer(H,0,p,8) "
         "KPLR_fill_path(H)"},
        {"shading type 0 sets the matrix only", ShadingPattern(0),
         "KPLR_pattern_set_matrix(H,0,2,0,0,2,0,0) KPLR_fill_path(H)"},
        {"shading type 8 likewise", ShadingPattern(8),
         "KPLR_pattern_set_matrix(H,0,2,0,0,2,0,0) KPLR_fill_path(H)"},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        KLog = TKPLRLog{};
        TPDFPicasso P;
        P.UseRendererModelMemory(10, 10, u"kplr-rec.dll");
        ASSERT_EQ(P.Model(), pmKPLR);
        P.SetCurrentXForm(IdentityXForm);
        P.SetFillPattern(&C.Pattern);
        P.BeginPath();
        P.MoveTo(0, 0);
        P.AddLineToPath(1, 1);
        P.FillPath();
        const std::string Log = KLog.Joined();
        const size_t From = Log.find(C.Expected.substr(0, C.Expected.find(' ')));
        ASSERT_NE(From, std::string::npos) << Log;
        EXPECT_EQ(Log.substr(From, C.Expected.size()), C.Expected) << Log;
    }
    // A stroke uses slot 1.
    KLog = TKPLRLog{};
    const TVPLPattern Tiling = TilingPattern();
    TPDFPicasso P;
    P.UseRendererModelMemory(10, 10, u"kplr-rec.dll");
    P.SetStrokePattern(&Tiling);
    P.BeginPath();
    P.StrokePath();
    EXPECT_NE(KLog.Joined().find("KPLR_pattern_init(H,1,1)"), std::string::npos) << KLog.Joined();
}

TEST(RendererLibrary, DrawShadingAndItsCallback) {
    RegisterRecordingLibrary();
    // A grey shading without a function: the library's input is the grey.
    TVPLPattern Shading = ShadingPattern(3);
    Shading.FColorComponents = 1;
    TPDFPicasso P;
    P.UseRendererModelMemory(10, 10, u"kplr-rec.dll");
    P.SetCurrentXForm({1, 0, 0, 1, 3, 4});
    P.SetBlendMode(bmScreen);
    P.SetFillAlpha(0.5);
    KLog = TKPLRLog{};
    // Without a shading fill pattern nothing is drawn.
    P.DrawShading();
    EXPECT_EQ(KLog.Joined(), "");
    P.SetFillPattern(&Shading);
    P.DrawShading();
    const std::string Log = KLog.Joined();
    EXPECT_EQ(Log.substr(0, Log.find(" KPLR_pattern_set_matrix")),
              "KPLR_gState_init(H) KPLR_set_matrix(H,1,0,0,1,3,4) KPLR_set_operator(H,2) "
              "KPLR_set_fill_alpha(H,0.5)");
    EXPECT_EQ(KLog.Calls.back(), "KPLR_draw_shading(H)");
    EXPECT_NE(Log.find("KPLR_shading_init(H,0,3)"), std::string::npos);

    // The library asks back for colours through the canvas field.
    ASSERT_NE(KLog.ShadingFunc, nullptr);
    const double In[2] = {0.25, 9};
    double R = -1, G = -1, B = -1;
    EXPECT_EQ(KLog.ShadingFunc(KLog.ShadingData, In, 2, &R, &G, &B), 0);
    EXPECT_DOUBLE_EQ(R, 0.25);
    EXPECT_DOUBLE_EQ(G, 0.25);
    EXPECT_DOUBLE_EQ(B, 0.25);
    // A null field gives black.
    const TVPLPattern* None = nullptr;
    EXPECT_EQ(ShadingFunctionCallback(&None, In, 2, &R, &G, &B), 0);
    EXPECT_EQ(R + G + B, 0);
}

TEST(RendererLibrary, SoftmaskCallbackGivesTheTransfer) {
    struct TInvert : TKPLRSoftmaskFunction {
        double GetFunctionValue(const std::vector<double>& In) const override {
            return 1 - In.at(0);
        }
    } Invert;
    double V = -1;
    EXPECT_EQ(SoftmaskFunctionCallback(&Invert, 0.25, &V), 1);
    EXPECT_DOUBLE_EQ(V, 0.75);
    EXPECT_EQ(SoftmaskFunctionCallback(nullptr, 0.25, &V), 1);
    EXPECT_DOUBLE_EQ(V, 0.25);
}


// ---------------------------------------------------------------------------
// Pages drawn through the renderer library

std::string Stream(const std::string& Keys, const std::string& Data) {
    return "<< " + Keys + " /Length " + std::to_string(Data.size()) + " >>\nstream\n" + Data +
           "\nendstream";
}

// Page 1 of a file of Objects (object 3 the page, 4 its content) drawn into
// memory through Library; the renderer's error text comes back.
// While the renderer lives, AfterRender may call back what it handed the
// library.
std::string RenderThroughLibrary(const std::vector<std::string>& Objects,
                                 const std::u16string& Library, std::vector<uint8_t>* Pixels = nullptr,
                                 const std::function<void()>& AfterRender = {}) {
    vpltest::InstallPageRenderServices();
    vpltest::TempDir Tmp;
    const auto File = Tmp / std::string("page.pdf");
    vpltest::WriteFile(File, vpltest::PdfFromObjects(Objects));
    TPDFDocument Doc;
    EXPECT_EQ(Doc.LoadFromFile(File.u16string(), u""), lrOkay);
    TPDFPageTree* Tree = Doc.PageTree();
    auto R = NewPageRenderer(Tree->RRenderFontCol());
    std::vector<uint8_t> Buffer(100 * 100 * 3, 0xAB);
    R->FDPI = 72;
    R->FDestination = rdKPLRMemory;
    R->SetKPLRMemoryTarget(Library, Buffer.data(), 100, 100, 24, false, 0, 0);
    R->FPageDict = Tree->GetPage(1);
    KLog = TKPLRLog{};
    R->Render();
    if (AfterRender) AfterRender();
    if (Pixels) *Pixels = Buffer;
    return R->FErrorDesc;
}

std::vector<std::string> PageObjects(const std::string& Content, const std::string& Resources,
                                     const std::vector<std::string>& More = {}) {
    std::vector<std::string> O = {
        "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Resources << " + Resources +
            " >> /Contents 4 0 R >>",
        Stream("", Content)};
    O.insert(O.end(), More.begin(), More.end());
    return O;
}

TEST(RendererLibrary, MissingLibraryGivesABlankPageWithoutError) {
    RegisterRecordingLibrary();
    std::vector<uint8_t> Pixels;
    EXPECT_EQ(RenderThroughLibrary(PageObjects("1 0 0 rg 0 0 50 50 re f", ""),
                                   u"/nonexistent/kplr.so", &Pixels),
              "");
    // The caller's buffer is not touched.
    EXPECT_EQ(Pixels, std::vector<uint8_t>(100 * 100 * 3, 0xAB));
    EXPECT_TRUE(KLog.Calls.empty());
    EXPECT_EQ(RenderThroughLibrary(PageObjects("1 0 0 rg 0 0 50 50 re f", ""), u"kplr-partial.dll"),
              "");
    EXPECT_TRUE(KLog.Calls.empty());
    // With the whole library the page is drawn and delivered.
    EXPECT_EQ(RenderThroughLibrary(PageObjects("1 0 0 rg 0 0 50 50 re f", ""), u"kplr-rec.dll"),
              "");
    EXPECT_NE(KLog.Joined().find("KPLR_set_fill_rgba(H,1,0,0) KPLR_fill_path(H)"),
              std::string::npos)
        << KLog.Joined();
    EXPECT_EQ(KLog.Calls.back(), "KPLR_renderer_destroy(H)");
}

TEST(RendererLibrary, LuminositySoftMaskGroup) {
    RegisterRecordingLibrary();
    double Transfer = -1;
    int32_t Status = -1;
    RenderThroughLibrary(
        PageObjects("/M gs 0 0 1 rg 0 0 100 100 re f", "/ExtGState << /M 5 0 R >>",
                    {"<< /Type /ExtGState /SMask << /S /Luminosity /BC [1 0 0] /G 6 0 R "
                     "/TR << /FunctionType 2 /Domain [0 1] /C0 [1] /C1 [0] /N 1 >> >> >>",
                     Stream("/Type /XObject /Subtype /Form /BBox [0 0 100 100] "
                            "/Group << /S /Transparency /CS /DeviceRGB >>",
                            "0 g 10 10 80 80 re f")}),
        u"kplr-rec.dll", nullptr, [&] {
            // The library asks for the transfer while the page is drawn.
            ASSERT_NE(KLog.SoftmaskFunc, nullptr);
            Status = KLog.SoftmaskFunc(KLog.SoftmaskData, 0.25, &Transfer);
        });
    const std::string Log = KLog.Joined("KPLR_renderer_group_create");
    // The group is made, cleared to the backdrop red, drawn into, made the
    // mask and destroyed; later painting goes to the page again.
    EXPECT_EQ(Log.substr(0, Log.find(" KPLR_set_fill_rule")),
              "KPLR_renderer_group_create(H,1,0,1) KPLR_renderer_clear_softmask(G) "
              "KPLR_renderer_clear_surface(G,1,0,0,1)")
        << Log;
    const size_t Fill = Log.find("KPLR_set_fill_rgba(G,0,0,0) KPLR_fill_path(G)");
    const size_t Mask = Log.find("KPLR_renderer_set_softmask(G,1,fn,p) KPLR_renderer_destroy(G)");
    ASSERT_NE(Mask, std::string::npos) << Log;
    EXPECT_LT(Fill, Mask) << Log;
    EXPECT_NE(Log.find("KPLR_set_fill_rgba(H,0,0,1)", Mask), std::string::npos) << Log;
    EXPECT_EQ(Status, 1);
    EXPECT_DOUBLE_EQ(Transfer, 0.75);
}

TEST(RendererLibrary, FormGroupSequences) {
    const std::string Form = "/Type /XObject /Subtype /Form /BBox [0 0 100 100] ";
    struct TCase {
        const char* Name;
        std::string GroupKeys;
        bool Grouped;
        const char* Create;
    } const Cases[] = {
        {"knock-out isolated group", "/Group << /S /Transparency /K true /I true >>", true,
         "KPLR_renderer_group_create(H,1,1,1)"},
        {"plain transparency group", "/Group << /S /Transparency >>", true,
         "KPLR_renderer_group_create(H,1,0,0)"},
        {"form without a group", "", false, ""},
        {"group of another kind", "/Group << /S /Other >>", false, ""},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        RegisterRecordingLibrary();
        RenderThroughLibrary(
            PageObjects("/A gs /F Do 0 1 0 rg 0 0 5 5 re f",
                        "/ExtGState << /A << /ca 0.5 /BM /Multiply >> >> /XObject << /F 5 0 R >>",
                        {Stream(Form + C.GroupKeys, "1 0 0 rg 0 0 50 50 re f")}),
            u"kplr-rec.dll");
        const std::string Log = KLog.Joined();
        if (!C.Grouped) {
            EXPECT_EQ(Log.find("KPLR_renderer_group_create"), std::string::npos) << Log;
            EXPECT_NE(Log.find("KPLR_set_fill_rgba(H,1,0,0) KPLR_fill_path(H)"), std::string::npos)
                << Log;
            continue;
        }
        // The group is made and its mask cleared, the form's fill goes into
        // it at full opacity, then the group is laid onto the page with the
        // state's opacity and blend mode and destroyed; the page's own fill
        // follows on the page.
        const size_t Create = Log.find(std::string(C.Create) + " KPLR_renderer_clear_softmask(G)");
        ASSERT_NE(Create, std::string::npos) << Log;
        const size_t Fill = Log.find("KPLR_set_fill_rgba(G,1,0,0) KPLR_fill_path(G)", Create);
        ASSERT_NE(Fill, std::string::npos) << Log;
        const size_t Alpha = Log.find("KPLR_set_fill_alpha(G,", Create);
        EXPECT_EQ(Log.substr(Alpha, 24), "KPLR_set_fill_alpha(G,1)") << Log;
        const size_t Blend =
            Log.find("KPLR_renderer_blend_group(G,0.5,1) KPLR_renderer_destroy(G)", Fill);
        ASSERT_NE(Blend, std::string::npos) << Log;
        EXPECT_NE(Log.find("KPLR_set_fill_rgba(H,0,1,0) KPLR_fill_path(H)", Blend),
                  std::string::npos)
            << Log;
        EXPECT_EQ(KLog.GroupsMade, 1);
    }
}

TEST(RendererLibrary, TilingCellsAndTheirCap) {
    RegisterRecordingLibrary();
    const TVPLPattern Digest = TilingPattern();
    struct TCase {
        const char* Name;
        double Side;
        bool Drawn;
    } const Cases[] = {{"a 20-point cell", 20, true}, {"a 4096-pixel cell", 4096, true},
                       {"a 4097-pixel cell", 4097, false}, {"a cell of no size", 0, false}};
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        // The cell's stream, named by the page's /Pattern resources.
        const std::string Side = std::to_string(C.Side);
        const auto Objects = PageObjects(
            "/Pattern cs /P scn 0 0 100 100 re f", "/Pattern << /P 5 0 R >>",
            {Stream("/Type /Pattern /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 " + Side +
                        " " + Side + "] /XStep 30 /YStep 30 /Resources << >>",
                    "1 0 0 rg 0 0 5 5 re f")});
        vpltest::InstallPageRenderServices();
        vpltest::TempDir Tmp;
        const auto File = Tmp / std::string("tile.pdf");
        vpltest::WriteFile(File, vpltest::PdfFromObjects(Objects));
        TPDFDocument Doc;
        ASSERT_EQ(Doc.LoadFromFile(File.u16string(), u""), lrOkay);
        TPDFPageTree* Tree = Doc.PageTree();
        auto Base = NewPageRenderer(Tree->RRenderFontCol());
        auto* R = dynamic_cast<TPDFRenderer*>(Base.get());
        ASSERT_NE(R, nullptr);
        TVPLPattern Cell = Digest;
        Cell.FBBox = {0, 0, C.Side, C.Side};
        Cell.FTileRenderBuf.clear();
        R->FDPI = 72;
        R->FDestination = rdKPLRMemory;
        std::vector<uint8_t> Buffer(100 * 100 * 3);
        R->SetKPLRMemoryTarget(u"kplr-rec.dll", Buffer.data(), 100, 100, 24, false, 0, 0);
        R->FPageDict = Tree->GetPage(1);
        R->SetPatternForTest(u"P", &Cell);
        KLog = TKPLRLog{};
        R->Render();
        const std::string Log = KLog.Joined();
        const std::string Size = std::to_string(int(C.Side));
        EXPECT_EQ(Log.find("KPLR_renderer_tile_create(" + Size + "," + Size + ")") !=
                      std::string::npos,
                  C.Drawn)
            << Log;
        EXPECT_EQ(Cell.FPDFPatternType, C.Drawn ? ptTiling : ptNone);
        if (C.Drawn) {
            EXPECT_EQ(Cell.FTileWidth, int(C.Side));
            EXPECT_EQ(Cell.FTileRenderBuf.size(), size_t(C.Side * C.Side * 4));
            EXPECT_NE(Log.find("KPLR_set_fill_rgba(G,1,0,0) KPLR_fill_path(G)"), std::string::npos)
                << Log;
            EXPECT_NE(Log.find("KPLR_renderer_tile_copy_buffer(G,p) KPLR_renderer_destroy(G)"),
                      std::string::npos)
                << Log;
            EXPECT_NE(Log.find("KPLR_pattern_set_tile_size(H,0," + Size + "," + Size + ")"),
                      std::string::npos);
        } else {
            EXPECT_EQ(Log.find("KPLR_pattern_init"), std::string::npos) << Log;
        }
    }
}

}  // namespace
}  // namespace velmo
