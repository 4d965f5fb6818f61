// The device canvas: model set-up and the GDI fall-back, quality modes,
// paths, fills, strokes and clips per model, and GDI+ clip snapshots.
#include "render/Picasso.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "platform/files/Stream.h"
#include "platform/gdi/DC.h"
#include "platform/modules/Modules.h"

namespace velmo {
namespace {

constexpr uint32_t White = 0xFFFFFF;
constexpr uint32_t Red = 0x0000FF;  // $00BBGGRR
constexpr uint32_t Blue = 0xFF0000;
constexpr uint32_t Green = 0x00FF00;

// ---------------------------------------------------------------------------
// A recording GDI+ module: the facade's entry points, with a few of them
// wrapped so a test sees what the canvas asked for.

struct TRecord {
    int Starts = 0;
    int Shutdowns = 0;
    int MatricesMade = 0;
    int MatricesDeleted = 0;
    std::vector<int32_t> DrawnPointCounts;        // per GdipDrawPath
    std::vector<std::pair<char, int32_t>> Modes;  // 'S'mooth, 'I'nterp, 'P'ixel, 'C', 'Q'
};
TRecord Rec;

TGPStatus RecStartup(GpULONG_PTR* Token, const GdiplusStartupInput* In,
                     TGdiplusStartupOutput* Out) {
    TGPStatus S = gdiplus::GdiplusStartup(Token, In, Out);
    if (S == gsOk) ++Rec.Starts;
    return S;
}
void RecShutdown(GpULONG_PTR Token) {
    ++Rec.Shutdowns;
    gdiplus::GdiplusShutdown(Token);
}
TGPStatus RecCreateMatrix2(GpREAL A, GpREAL B, GpREAL C, GpREAL D, GpREAL E, GpREAL F,
                           GpMatrix** M) {
    TGPStatus S = gdiplus::GdipCreateMatrix2(A, B, C, D, E, F, M);
    if (S == gsOk) ++Rec.MatricesMade;
    return S;
}
TGPStatus RecDeleteMatrix(GpMatrix* M) {
    TGPStatus S = gdiplus::GdipDeleteMatrix(M);
    if (S == gsOk) ++Rec.MatricesDeleted;
    return S;
}
TGPStatus RecDrawPath(GpGraphics* G, GpPen* Pen, GpPath* Path) {
    int32_t Count = -1;
    gdiplus::GdipGetPointCount(Path, &Count);
    Rec.DrawnPointCounts.push_back(Count);
    return gdiplus::GdipDrawPath(G, Pen, Path);
}
TGPStatus RecSmoothing(GpGraphics* G, GpSmoothingMode M) {
    Rec.Modes.push_back({'S', M});
    return gdiplus::GdipSetSmoothingMode(G, M);
}
TGPStatus RecInterpolation(GpGraphics* G, GpInterpolationMode M) {
    Rec.Modes.push_back({'I', M});
    return gdiplus::GdipSetInterpolationMode(G, M);
}
TGPStatus RecPixelOffset(GpGraphics* G, GpPixelOffsetMode M) {
    Rec.Modes.push_back({'P', M});
    return gdiplus::GdipSetPixelOffsetMode(G, M);
}
TGPStatus RecCompositingMode(GpGraphics* G, GpCompositingMode M) {
    Rec.Modes.push_back({'C', M});
    return gdiplus::GdipSetCompositingMode(G, M);
}
TGPStatus RecCompositingQuality(GpGraphics* G, GpCompositingQuality Q) {
    Rec.Modes.push_back({'Q', Q});
    return gdiplus::GdipSetCompositingQuality(G, Q);
}

template <typename F>
TModuleExport Export(const char* Name, F* Proc) {
    return {Name, reinterpret_cast<FARPROC>(Proc)};
}

// Registers "picrec.dll" (recording) and "piclack.dll" (lacking one entry
// point) once for the whole test program.
void RegisterTestModules() {
    static bool Done = [] {
        RegisterGdiPlusModule();
        TModuleExports Exports = {
            Export("GdiplusStartup", RecStartup),
            Export("GdiplusShutdown", RecShutdown),
            Export("GdipCreateMatrix2", RecCreateMatrix2),
            Export("GdipDeleteMatrix", RecDeleteMatrix),
            Export("GdipDrawPath", RecDrawPath),
            Export("GdipSetSmoothingMode", RecSmoothing),
            Export("GdipSetInterpolationMode", RecInterpolation),
            Export("GdipSetPixelOffsetMode", RecPixelOffset),
            Export("GdipSetCompositingMode", RecCompositingMode),
            Export("GdipSetCompositingQuality", RecCompositingQuality),
        };
        for (const TModuleExport& E : GdiPlusExports()) Exports.push_back(E);
        RegisterModule(u"picrec.dll", Exports);
        TModuleExports Lacking;
        for (const TModuleExport& E : GdiPlusExports())
            if (E.Name != "GdipSetPenMiterLimit") Lacking.push_back(E);
        RegisterModule(u"piclack.dll", Lacking);
        return true;
    }();
    (void)Done;
}

// ---------------------------------------------------------------------------
// Bitmaps and figures

struct TPage {
    TBitmap BM{200, 200, pf24bit};
    TPage() {
        BM.Canvas().Brush().Color = clWhite;
        BM.Canvas().Brush().Style = bsSolid;
        BM.Canvas().FillRect(RECT{0, 0, 200, 200});
    }
    uint32_t At(int X, int Y) const { return uint32_t(BM.GetPixel(X, Y)); }
    std::string Bytes() const {
        std::string S;
        for (int Y = 0; Y < BM.Height(); ++Y)
            S.append(reinterpret_cast<const char*>(BM.ScanLine(Y)), size_t(BM.Width()) * 3);
        return S;
    }
    // Darkness of one column between two rows, in pixels of full black.
    double InkInColumn(int X, int Y0, int Y1) const {
        double Ink = 0;
        for (int Y = Y0; Y <= Y1; ++Y) Ink += (255 - (At(X, Y) & 0xFF)) / 255.0;
        return Ink;
    }
};

TGDIPlusSettings Settings(const std::u16string& File = u"gdiplus.dll", bool Smoothing = false) {
    TGDIPlusSettings S;
    InitGDIPlusSettings(S);
    S.FileName = File;
    S.Smoothing = Smoothing;
    return S;
}

void Rect(TPDFPicasso& P, double L, double T, double R, double B) {
    P.BeginPath();
    P.MoveTo(L, T);
    P.AddLineToPath(R, T);
    P.AddLineToPath(R, B);
    P.AddLineToPath(L, B);
    P.ClosePath();
}

// A pentagram around (100, 100): its centre has winding number 2.
void Star(TPDFPicasso& P) {
    P.BeginPath();
    for (int K = 0; K < 5; ++K) {
        const double A = (-90.0 + K * 144.0) * M_PI / 180.0;
        const double X = 100 + 90 * std::cos(A), Y = 100 + 90 * std::sin(A);
        if (K == 0)
            P.MoveTo(X, Y);
        else
            P.AddLineToPath(X, Y);
    }
    P.ClosePath();
}

struct TSample {
    int X, Y;
    uint32_t Colour;
};

enum TModelUnderTest { mGDI, mGDIPlusSharp, mGDIPlusSmooth };

struct TFigure {
    const char* Name;
    std::function<void(TPDFPicasso&)> Draw;
    // Expected colour per model family: GDI first, then GDI+.
    std::vector<TSample> GDI;
    std::vector<TSample> GDIPlus;
};

std::vector<TFigure> FigureTable() {
    return {
        {"rectangle fill",
         [](TPDFPicasso& P) {
             P.SetFillColor(Red);
             Rect(P, 40, 50, 160, 150);
             P.FillPath();
         },
         {{41, 51, Red}, {100, 100, Red}, {158, 148, Red}, {38, 100, White}, {100, 152, White}},
         {{42, 52, Red}, {100, 100, Red}, {157, 147, Red}, {37, 100, White}, {100, 153, White}}},
        {"star even-odd",
         [](TPDFPicasso& P) {
             P.SetFillColor(Blue);
             P.SetFillMode(pfAlternate);
             Star(P);
             P.FillPath();
         },
         {{100, 100, White}, {100, 25, Blue}, {5, 5, White}},
         {{100, 100, White}, {100, 25, Blue}, {5, 5, White}}},
        {"star nonzero",
         [](TPDFPicasso& P) {
             P.SetFillColor(Blue);
             P.SetFillMode(pfWinding);
             Star(P);
             P.FillPath();
         },
         {{100, 100, Blue}, {100, 25, Blue}, {5, 5, White}},
         {{100, 100, Blue}, {100, 25, Blue}, {5, 5, White}}},
        {"4-px stroke",
         [](TPDFPicasso& P) {
             P.SetStrokeColor(Red);
             P.SetLineWidth(4);
             P.BeginPath();
             P.MoveTo(20, 100);
             P.AddLineToPath(180, 100);
             P.StrokePath();
         },
         {{100, 99, Red}, {100, 100, Red}, {100, 94, White}, {100, 106, White}},
         {{100, 99, Red}, {100, 100, Red}, {100, 94, White}, {100, 106, White}}},
        {"clip then larger fill",
         [](TPDFPicasso& P) {
             Rect(P, 50, 50, 150, 150);
             P.SetClippingPath(pfWinding);
             P.NullPath();
             P.SetFillColor(Blue);
             Rect(P, 0, 0, 200, 200);
             P.FillPath();
         },
         // GDI has no clipping: the whole page is filled.
         {{100, 100, Blue}, {20, 20, Blue}, {190, 190, Blue}},
         {{100, 100, Blue}, {20, 20, White}, {190, 190, White}, {45, 100, White}}},
    };
}

// Draws one figure on a fresh page through one model.
void DrawFigure(TPage& Page, TModelUnderTest Model, const TFigure& F,
                TKPLPathCombineMode Combine = cmNormalPaths) {
    TPDFPicasso P;
    P.SetCurrentXForm(IdentityXForm);
    if (Model == mGDI) {
        P.UseGDIModel(&Page.BM.Canvas());
    } else {
        P.UseGDIPlusModel(&Page.BM.Canvas(), Settings(u"gdiplus.dll", Model == mGDIPlusSmooth));
        ASSERT_EQ(P.Model(), pmGDIPlus);
        P.SetPathCombineMode(Combine);
    }
    F.Draw(P);
}

// ---------------------------------------------------------------------------

TEST(Picasso, SetupAndFallback) {
    RegisterTestModules();

    {
        SCOPED_TRACE("defaults");
        TGDIPlusSettings S;
        InitGDIPlusSettings(S);
        EXPECT_EQ(S.FileName, u"gdiplus.dll");
        EXPECT_TRUE(S.Smoothing);
        EXPECT_TRUE(S.UseGDIPlus);
        EXPECT_TRUE(S.AccurateInterpolation);
        EXPECT_FALSE(S.SmoothImages);
        EXPECT_TRUE(S.ProcessNullPath);
        EXPECT_EQ(S.MonoThreshold, 0);
        EXPECT_TRUE(S.DLLSuppressBackgroundThread);
        EXPECT_FALSE(S.DLLAllowPiggyBack);
        EXPECT_EQ(S.DLLStartup, dsNotIfPiggyback);
        EXPECT_EQ(S.UpdateAppearanceStreams, 0);
        EXPECT_TRUE(S.RenderFormFields);
        EXPECT_TRUE(S.RenderAnnotations);
        EXPECT_TRUE(S.UseGammaCorrection);
        EXPECT_FALSE(S.IgnoreICCProfiles);
        EXPECT_FALSE(S.RenderFormFieldsOnly);
        EXPECT_FALSE(S.IsPrinting);
        EXPECT_EQ(S.EnhanceThinLines, 0);
        EXPECT_EQ(S.SmoothingMode, 0);
        EXPECT_EQ(S.InterpolationMode, 0);
        EXPECT_EQ(S.PixelOffsetMode, 0);
        EXPECT_EQ(S.PathCombineMode, cmNormalPaths);
        EXPECT_FALSE(S.DirectFonts);
        EXPECT_EQ(S.ProgressWindow, nullptr);
        EXPECT_EQ(S.ProgressMessage, 0);
        EXPECT_EQ(S.ProgressData, 0);
        EXPECT_EQ(S.PrintMode, 0);

        TPDFPicasso Fresh;
        EXPECT_EQ(Fresh.Model(), pmUnknown);
        EXPECT_EQ(Fresh.ClipRegionCapacity(), 100u);
        EXPECT_EQ(Fresh.ClipRegionCount(), 0);
        EXPECT_NE(Fresh.CustomColors(), nullptr);
        EXPECT_EQ(Fresh.FillARGB(), 0xFF000000u);
    }
    {
        SCOPED_TRACE("empty file name loads the built-in module");
        TPage Page;
        TPDFPicasso P;
        P.UseGDIPlusModel(&Page.BM.Canvas(), Settings(u""));
        EXPECT_EQ(P.Model(), pmGDIPlus);
        ASSERT_NE(P.GDIPlus(), nullptr);
        EXPECT_EQ(P.GDIPlus()->GDIPlusHandle, GetModuleHandleW(u"gdiplus.dll"));
        EXPECT_NE(P.Graphics(), nullptr);
        EXPECT_TRUE(P.GDIPlusCallStartup());
        // Both encoders are found once the library runs.
        EXPECT_FALSE(P.BMPEncoderGUID() == CLSID{});
        EXPECT_FALSE(P.PNGEncoderGUID() == CLSID{});
    }
    struct {
        const char* Name;
        std::u16string File;
    } const FallBacks[] = {
        {"unknown name, then beside the program", u"no-such-gdiplus-module.dll"},
        {"a module lacking one entry point", u"piclack.dll"},
    };
    for (const auto& C : FallBacks) {
        SCOPED_TRACE(C.Name);
        TPage Page;
        TPDFPicasso P;
        P.UseGDIPlusModel(&Page.BM.Canvas(), Settings(C.File));
        EXPECT_EQ(P.Model(), pmGDI);
        EXPECT_EQ(P.GDIPlus(), nullptr);
        EXPECT_EQ(P.Graphics(), nullptr);
        EXPECT_FALSE(P.GDIPlusCallStartup());
    }
    {
        SCOPED_TRACE("host loaded and started the library: piggy-back, no start");
        HMODULE Host = LoadLibraryW(u"picrec.dll");
        ASSERT_NE(Host, nullptr);
        using TStartup =
            TGPStatus (*)(GpULONG_PTR*, const GdiplusStartupInput*, TGdiplusStartupOutput*);
        using TShutdown = void (*)(GpULONG_PTR);
        auto HostStartup = reinterpret_cast<TStartup>(GetProcAddress(Host, "GdiplusStartup"));
        auto HostShutdown = reinterpret_cast<TShutdown>(GetProcAddress(Host, "GdiplusShutdown"));
        GdiplusStartupInput In;
        GpULONG_PTR HostToken = 0;
        ASSERT_EQ(HostStartup(&HostToken, &In, nullptr), gsOk);
        Rec = TRecord{};
        {
            TPage Page;
            TGDIPlusSettings S = Settings(u"picrec.dll");
            S.DLLAllowPiggyBack = true;
            TPDFPicasso P;
            P.UseGDIPlusModel(&Page.BM.Canvas(), S);
            EXPECT_EQ(P.Model(), pmGDIPlus);
            EXPECT_TRUE(P.GDIPlus()->PiggyBack());
            EXPECT_FALSE(P.GDIPlusCallStartup());
        }
        EXPECT_EQ(Rec.Starts, 0);
        EXPECT_EQ(Rec.Shutdowns, 0);
        // The canvas counted no load of its own and left the host's.
        EXPECT_EQ(GetModuleHandleW(u"picrec.dll"), Host);
        HostShutdown(HostToken);
        EXPECT_TRUE(FreeLibrary(Host));
        EXPECT_EQ(GetModuleHandleW(u"picrec.dll"), nullptr);
    }
    {
        SCOPED_TRACE("host loaded but did not start: the canvas starts and shuts down");
        HMODULE Host = LoadLibraryW(u"picrec.dll");
        ASSERT_NE(Host, nullptr);
        Rec = TRecord{};
        {
            TPage Page;
            TGDIPlusSettings S = Settings(u"picrec.dll");
            S.DLLAllowPiggyBack = true;
            TPDFPicasso P;
            P.UseGDIPlusModel(&Page.BM.Canvas(), S);
            EXPECT_EQ(P.Model(), pmGDIPlus);
            EXPECT_TRUE(P.GDIPlus()->PiggyBack());
            EXPECT_TRUE(P.GDIPlusCallStartup());
            EXPECT_EQ(Rec.Starts, 1);
        }
        EXPECT_EQ(Rec.Shutdowns, 1);
        EXPECT_EQ(GetModuleHandleW(u"picrec.dll"), Host);
        EXPECT_TRUE(FreeLibrary(Host));
        EXPECT_EQ(GetModuleHandleW(u"picrec.dll"), nullptr);
    }
    {
        SCOPED_TRACE("no piggy-back: a load and a start of the canvas's own");
        HMODULE Host = LoadLibraryW(u"picrec.dll");
        ASSERT_NE(Host, nullptr);
        Rec = TRecord{};
        {
            TPage Page;
            TPDFPicasso P;
            P.UseGDIPlusModel(&Page.BM.Canvas(), Settings(u"picrec.dll"));
            EXPECT_EQ(P.Model(), pmGDIPlus);
            EXPECT_FALSE(P.GDIPlus()->PiggyBack());
            EXPECT_EQ(Rec.Starts, 1);
            // The host's load goes; the canvas's own keeps the module.
            EXPECT_TRUE(FreeLibrary(Host));
            EXPECT_NE(GetModuleHandleW(u"picrec.dll"), nullptr);
        }
        EXPECT_EQ(Rec.Shutdowns, 1);
        EXPECT_EQ(GetModuleHandleW(u"picrec.dll"), nullptr);
    }
    {
        SCOPED_TRACE("device-context target");
        TPage Page;
        {
            TPDFPicasso P;
            P.SetupDeviceContext(200, 200, Page.BM.Canvas().Handle());
            P.UseGDIPlusModel(nullptr, Settings(u"gdiplus.dll"));
            ASSERT_EQ(P.Model(), pmGDIPlus);
            EXPECT_EQ(P.GetDeviceContext(), Page.BM.Canvas().Handle());
            P.SetFillColor(Red);
            Rect(P, 10, 10, 50, 50);
            P.FillPath();
        }
        EXPECT_EQ(Page.At(30, 30), Red);
        EXPECT_EQ(Page.At(60, 60), White);
    }
    // A fill, a stroke and a null path: none may reach a target the GDI
    // fall-back has no canvas for.
    auto DrawFigures = [&](TPDFPicasso& P) {
        P.SetFillColor(Red);
        Rect(P, 10, 10, 50, 50);
        P.FillPath();
        P.SetLineWidth(3);
        P.BeginPath();
        P.MoveTo(0, 0);
        P.AddBezierToPath(10, 10, 20, 20, 30, 0);
        P.StrokeAndFillPath();
        P.NullPath();
    };
    {
        SCOPED_TRACE("device-context target falling back draws nothing");
        TPage Page;
        const std::string Before = Page.Bytes();
        {
            TPDFPicasso P;
            P.SetupDeviceContext(200, 200, Page.BM.Canvas().Handle());
            P.UseGDIPlusModel(nullptr, Settings(u"piclack.dll"));
            ASSERT_EQ(P.Model(), pmGDI);
            DrawFigures(P);
        }
        EXPECT_EQ(Page.Bytes(), Before);
    }
    {
        // With no canvas to fall back on, the metafile target stays empty and
        // every drawing call is a no-op.
        SCOPED_TRACE("metafile target falling back draws nothing");
        TMemoryStream Target;
        {
            TPDFPicasso P;
            P.SetupMetafile(200, 200, Target);
            P.UseGDIPlusModel(nullptr, Settings(u"piclack.dll"));
            ASSERT_EQ(P.Model(), pmGDI);
            DrawFigures(P);
        }
        EXPECT_EQ(Target.Size(), 0);
    }

    // Quality modes: the calls each mode makes, in order.
    using TModes = std::vector<std::pair<char, int32_t>>;
    struct TQualityCase {
        const char* Name;
        std::function<void(TGDIPlusSettings&)> Setup;
        std::function<void(TPDFPicasso&)> Call;
        TModes Expected;
    };
    auto Text = [](TPDFPicasso& P) { P.SetGDIPlusTextMode(); };
    auto Image = [](TPDFPicasso& P) { P.SetGDIPlusImageMode(); };
    auto Fastest = [](TPDFPicasso& P) { P.SetFastestMode(); };
    auto Force = [](TGDIPlusSettings& S) {
        S.SmoothingMode = 1;
        S.InterpolationMode = 7;
        S.PixelOffsetMode = 3;
    };
    const TModes Forced = {{'S', 1}, {'I', 7}, {'P', 3}};
    auto With = [](TModes A, const TModes& B) {
        A.insert(A.end(), B.begin(), B.end());
        return A;
    };
    const std::vector<TQualityCase> Quality = {
        {"text, printing",
         [&](TGDIPlusSettings& S) { S.IsPrinting = true, Force(S); },
         Text,
         {{'S', 2}, {'I', 2}, {'P', 2}}},
        {"text, smoothing", [&](TGDIPlusSettings& S) { S.Smoothing = true, Force(S); }, Text,
         With({{'S', 4}, {'I', 4}, {'P', 4}}, Forced)},
        {"text, no smoothing", [&](TGDIPlusSettings& S) { S.Smoothing = false, Force(S); }, Text,
         With({{'S', 3}, {'I', 5}, {'P', 4}}, Forced)},
        {"text, nothing forced",
         [](TGDIPlusSettings& S) { S.Smoothing = false; },
         Text,
         {{'S', 3}, {'I', 5}, {'P', 4}}},
        {"image, printing", [&](TGDIPlusSettings& S) { S.IsPrinting = true, Force(S); }, Image, {}},
        {"image, smooth images",
         [&](TGDIPlusSettings& S) { S.SmoothImages = true, S.Smoothing = true, Force(S); }, Image,
         With({{'S', 2}, {'I', 6}, {'P', 2}}, Forced)},
        {"image, smoothing only",
         [](TGDIPlusSettings& S) { S.Smoothing = true; },
         Image,
         {{'S', 3}, {'I', 5}, {'P', 4}}},
        {"image, neither",
         [](TGDIPlusSettings& S) { S.Smoothing = false; },
         Image,
         {{'S', 2}, {'I', 4}, {'P', 2}}},
        {"fastest", Force, Fastest, {{'C', 1}, {'Q', 1}, {'S', 3}, {'I', 0}, {'P', 1}}},
    };
    for (const TQualityCase& C : Quality) {
        SCOPED_TRACE(C.Name);
        TPage Page;
        TGDIPlusSettings S = Settings(u"picrec.dll");
        C.Setup(S);
        TPDFPicasso P;
        P.UseGDIPlusModel(&Page.BM.Canvas(), S);
        ASSERT_EQ(P.Model(), pmGDIPlus);
        Rec = TRecord{};
        C.Call(P);
        EXPECT_EQ(Rec.Modes, C.Expected);
    }
    {
        SCOPED_TRACE("the graphics is made in text mode");
        TPage Page;
        Rec = TRecord{};
        TPDFPicasso P;
        P.UseGDIPlusModel(&Page.BM.Canvas(), Settings(u"picrec.dll", true));
        EXPECT_EQ(Rec.Modes, (TModes{{'S', 4}, {'I', 4}, {'P', 4}}));
    }

    {
        SCOPED_TRACE("GDI fall-back page");
        TPage Page;
        {
            TPDFPicasso P;
            P.SetCurrentXForm(IdentityXForm);
            P.UseGDIPlusModel(&Page.BM.Canvas(), Settings(u"no-such-gdiplus-module.dll"));
            ASSERT_EQ(P.Model(), pmGDI);
            // Lines: an L in the top left corner.
            P.SetStrokeColor(0x000000);
            P.SetLineWidth(1);
            P.BeginPath();
            P.MoveTo(10, 10);
            P.AddLineToPath(10, 40);
            P.AddLineToPath(40, 40);
            P.StrokePath();
            // A curve whose middle passes (70, 25).
            P.BeginPath();
            P.MoveTo(50, 10);
            P.AddBezierToPath(50, 30, 90, 30, 90, 10);
            P.StrokePath();
            // The star with both rules, side by side at half size.
            for (int Rule = 0; Rule < 2; ++Rule) {
                P.SetFillColor(Blue);
                P.SetFillMode(Rule == 0 ? pfAlternate : pfWinding);
                P.SetCurrentXForm(IdentityXForm);
                P.BeginPath();
                for (int K = 0; K < 5; ++K) {
                    const double A = (-90.0 + K * 144.0) * M_PI / 180.0;
                    const double X = 50 + Rule * 100 + 45 * std::cos(A);
                    const double Y = 120 + 45 * std::sin(A);
                    if (K == 0)
                        P.MoveTo(X, Y);
                    else
                        P.AddLineToPath(X, Y);
                }
                P.ClosePath();
                P.FillPath();
            }
            // A 3-px stroke.
            P.SetStrokeColor(Red);
            P.SetLineWidth(3);
            P.BeginPath();
            P.MoveTo(20, 185);
            P.AddLineToPath(180, 185);
            P.StrokePath();
            // A clip request: no effect in this model.
            Rect(P, 150, 10, 160, 20);
            P.SetClippingPath(pfWinding);
            P.NullPath();
            P.SetFillColor(Red);
            Rect(P, 170, 10, 190, 30);
            P.FillPath();
            // Images: this model copies a bitmap into its rectangle and
            // draws no other image.
            TBitmap GreenBitmap(4, 4);
            for (int Y = 0; Y < 4; ++Y)
                for (int X = 0; X < 4; ++X) GreenBitmap.SetPixel(X, Y, Green);
            EXPECT_NO_THROW(P.DrawImage(100, 50, 40, 20, GreenBitmap));
            TMemoryStream Bmp;
            GreenBitmap.SaveToStream(Bmp);
            Bmp.SetPosition(0);
            EXPECT_NO_THROW(P.DrawAnyImage(150, 40, 40, 20, Bmp, 1, false));
            EXPECT_NO_THROW(P.DrawImagePoints(150, 40, 190, 40, 150, 60, GreenBitmap));
            Bmp.SetPosition(0);
            EXPECT_NO_THROW(P.DrawAnyImagePoints(150, 40, 190, 40, 150, 60, Bmp));
        }
        const TSample Golden[] = {
            {10, 25, 0x000000}, {25, 40, 0x000000}, {20, 25, White},   // the L
            {70, 25, 0x000000}, {70, 15, White},                       // the curve
            {50, 120, White},   {50, 80, Blue},     {150, 120, Blue},  // star rules
            {150, 80, Blue},    {5, 120, White},                       //
            {100, 184, Red},    {100, 185, Red},    {100, 186, Red},   // 3 px
            {100, 182, White},  {100, 188, White},                     //
            {180, 20, Red},     {165, 15, White},                      // clip ignored
            {100, 50, Green},   {139, 69, Green},   {140, 60, White},  // the copied bitmap
            {99, 60, White},    {170, 50, White},   {151, 41, White},  // no other image
        };
        for (const TSample& S : Golden) EXPECT_EQ(Page.At(S.X, S.Y), S.Colour) << S.X << "," << S.Y;
    }
}

TEST(Picasso, PathsPerModel) {
    RegisterTestModules();
    const std::vector<TFigure> Figures = FigureTable();
    for (TModelUnderTest Model : {mGDI, mGDIPlusSharp, mGDIPlusSmooth}) {
        for (const TFigure& F : Figures) {
            SCOPED_TRACE(std::string(F.Name) + (Model == mGDI            ? " / GDI"
                                                : Model == mGDIPlusSharp ? " / GDI+ sharp"
                                                                         : " / GDI+ smooth"));
            TPage Page;
            DrawFigure(Page, Model, F);
            for (const TSample& S : Model == mGDI ? F.GDI : F.GDIPlus)
                EXPECT_EQ(Page.At(S.X, S.Y), S.Colour) << S.X << "," << S.Y;
        }
    }
    struct {
        const char* Name;
        std::function<void(TPDFPicasso&, HDC)> Use;
    } const Unbound[] = {
        {"cairo", [](TPDFPicasso& P, HDC Dc) { P.UseCairoModel(Dc, u"/nonexistent/libcairo.so.2", true); }},
        {"renderer library",
         [](TPDFPicasso& P, HDC Dc) { P.UseRendererModel(Dc, u"kplr-renderer.dll", true); }},
        {"renderer library in memory",
         [](TPDFPicasso& P, HDC) { P.UseRendererModelMemory(200, 200, u"kplr-renderer.dll"); }},
    };
    for (const auto& C : Unbound) {
        SCOPED_TRACE(C.Name);
        TPage Page;
        const std::string Before = Page.Bytes();
        {
            TPDFPicasso P;
            C.Use(P, Page.BM.Canvas().Handle());
            EXPECT_EQ(P.Model(), pmUnknown);
            for (const TFigure& F : Figures) F.Draw(P);
            P.SaveState();
            P.RestoreState();
            P.FillClippingPath();
            P.FinishKPLR(Page.BM.Canvas().Handle());
        }
        EXPECT_EQ(Page.Bytes(), Before);
    }
}

TEST(Picasso, GdiPlusPathRules) {
    RegisterTestModules();
    auto Canvas = [](TPage& Page, TGDIPlusSettings S, TPDFPicasso& P) {
        P.SetCurrentXForm(IdentityXForm);
        P.UseGDIPlusModel(&Page.BM.Canvas(), S);
        ASSERT_EQ(P.Model(), pmGDIPlus);
    };
    {
        SCOPED_TRACE("a single line gets a zero-length line at its end");
        TPage Page;
        TPDFPicasso P;
        Canvas(Page, Settings(u"picrec.dll"), P);
        Rec = TRecord{};
        P.BeginPath();
        P.MoveTo(10, 10);
        P.AddLineToPath(100, 10);
        P.StrokePath();
        EXPECT_EQ(Rec.DrawnPointCounts, std::vector<int32_t>{4});
        // Pen matrices do not outlive the stroke.
        EXPECT_EQ(Rec.MatricesMade, 1);
        EXPECT_EQ(Rec.MatricesDeleted, 1);
    }
    // Dash lengths are user units: at scale 2 they are twice as long in
    // pixels, whether or not the canvas prints.
    struct {
        TGPDashArray Dash;
        TGPDashArray Field;
        double Scale;
        bool Printing;
    } const Dashes[] = {{{3}, {3, 3}, 1, false},
                        {{1, 2, 3}, {1, 2, 3, 1, 2, 3}, 1, false},
                        {{3}, {3, 3}, 2, false},
                        {{3}, {3, 3}, 2, true}};
    for (const auto& C : Dashes) {
        SCOPED_TRACE(::testing::PrintToString(C.Dash) + " scale " + std::to_string(C.Scale) +
                     (C.Printing ? " printing" : ""));
        TPage Page;
        {
            TGDIPlusSettings S = Settings(u"gdiplus.dll", true);
            S.IsPrinting = C.Printing;
            TPDFPicasso P;
            Canvas(Page, S, P);
            P.SetCurrentXForm(TPDFXForm{C.Scale, 0, 0, C.Scale, 0, 0});
            P.SetLineDash(C.Dash, 0);
            P.SetLineWidth(1);
            // Dash ends fall a quarter pixel into a pixel, so each pixel is
            // mostly ink or mostly gap.
            P.BeginPath();
            P.MoveTo(10.25, 50.5);
            P.AddLineToPath(190.25, 50.5);
            P.StrokePath();
            EXPECT_EQ(P.LineDashArray(), C.Field);
        }
        // The inked row, read as runs of ink and gaps from its first ink.
        int Row = -1;
        int First = -1;
        for (int Y = 45; Y <= 55 && Row < 0; ++Y)
            for (int X = 5; X < 20 && Row < 0; ++X)
                if ((Page.At(X, Y) & 0xFF) < 128) Row = Y, First = X;
        ASSERT_GE(Row, 0);
        std::vector<int> Runs;
        bool Ink = true;
        int Length = 0;
        for (int X = First; X < 100; ++X) {
            const bool Dark = (Page.At(X, Row) & 0xFF) < 128;
            if (Dark == Ink) {
                ++Length;
            } else {
                Runs.push_back(Length);
                Ink = Dark;
                Length = 1;
            }
        }
        ASSERT_GE(Runs.size(), C.Field.size()) << ::testing::PrintToString(Runs);
        for (size_t I = 0; I < C.Field.size(); ++I)
            EXPECT_EQ(Runs[I], int(C.Field[I] * C.Scale)) << I;
    }
    {
        SCOPED_TRACE("quadratic curve raised to a cubic one");
        TPage Page;
        TPDFPicasso P;
        Canvas(Page, Settings(), P);
        P.SetPathCombineMode(cmCombinePaths);
        P.BeginPath();
        EXPECT_EQ(P.CombinedPathPoints().size(), 32u);
        P.MoveTo(0, 0);
        P.AddQBezierToPath(3, 3, 6, 0);
        ASSERT_EQ(P.CombinedPathPointCount(), 4);
        const auto& Pt = P.CombinedPathPoints();
        const auto& Ty = P.CombinedPathPointTypes();
        EXPECT_FLOAT_EQ(Pt[1].X, 2);
        EXPECT_FLOAT_EQ(Pt[1].Y, 2);
        EXPECT_FLOAT_EQ(Pt[2].X, 4);
        EXPECT_FLOAT_EQ(Pt[2].Y, 2);
        EXPECT_FLOAT_EQ(Pt[3].X, 6);
        EXPECT_FLOAT_EQ(Pt[3].Y, 0);
        EXPECT_EQ(std::vector<uint8_t>(Ty.begin(), Ty.begin() + 4),
                  (std::vector<uint8_t>{0, 3, 3, 3}));
        P.ClosePath();
        EXPECT_EQ(Ty[3], 0x83);
        // The arrays double when full.
        for (int I = 0; I < 40; ++I) P.AddLineToPath(I, I);
        EXPECT_EQ(P.CombinedPathPointCount(), 44);
        EXPECT_EQ(P.CombinedPathPoints().size(), 64u);
    }
    for (TModelUnderTest Model : {mGDIPlusSharp, mGDIPlusSmooth}) {
        for (const TFigure& F : FigureTable()) {
            SCOPED_TRACE(std::string("combined = normal: ") + F.Name);
            TPage Normal, Combined;
            DrawFigure(Normal, Model, F, cmNormalPaths);
            DrawFigure(Combined, Model, F, cmCombinePaths);
            EXPECT_TRUE(Normal.Bytes() == Combined.Bytes());
        }
    }
    for (bool Process : {false, true}) {
        SCOPED_TRACE(Process ? "ProcessNullPath on" : "ProcessNullPath off");
        TPage Page;
        {
            TGDIPlusSettings S = Settings();
            S.ProcessNullPath = Process;
            TPDFPicasso P;
            Canvas(Page, S, P);
            Rect(P, 50, 50, 150, 150);
            P.SetClippingPath(pfWinding);
            P.NullPath();
            P.SetFillColor(Red);
            Rect(P, 0, 0, 200, 200);
            P.FillPath();
        }
        EXPECT_EQ(Page.At(100, 100), Red);
        EXPECT_EQ(Page.At(20, 20), Process ? White : Red);
    }
    {
        SCOPED_TRACE("thin lines enhanced");
        TPage Page;
        TGDIPlusSettings S = Settings();
        S.EnhanceThinLines = 2;
        TPDFPicasso P;
        Canvas(Page, S, P);
        P.SetLineWidth(0.5);
        EXPECT_EQ(P.LineWidth(), 2.0);
        P.SetLineWidth(1.5);
        EXPECT_EQ(P.LineWidth(), 1.5);
        TPDFPicasso G;
        G.UseGDIModel(&Page.BM.Canvas());
        G.SetLineWidth(0.5);
        EXPECT_EQ(G.LineWidth(), 0.5);
    }
    // Line widths in device pixels, measured as the ink of one column.
    struct TWidthCase {
        const char* Name;
        bool Printing;
        double Scale, Width, Ink;
    };
    const TWidthCase Widths[] = {
        {"width 0 at scale 4: one pixel", false, 4, 0, 1},
        {"width 1 at scale 4", false, 4, 1, 4},
        {"printing, width 1 at scale 3", true, 3, 1, 3},
        {"printing, width 0 at scale 3: one pixel", true, 3, 0, 1},
    };
    for (const TWidthCase& C : Widths) {
        SCOPED_TRACE(C.Name);
        TPage Page;
        {
            TGDIPlusSettings S = Settings();
            S.IsPrinting = C.Printing;
            TPDFPicasso P;
            Canvas(Page, S, P);
            P.SetCurrentXForm(TPDFXForm{C.Scale, 0, 0, C.Scale, 0, 0});
            P.SetLineWidth(C.Width);
            P.BeginPath();
            P.MoveTo(20, 100);
            P.AddLineToPath(180, 100);
            P.StrokePath();
            if (C.Printing) EXPECT_DOUBLE_EQ(P.LineWidth(), C.Width == 0 ? 1 : C.Width * C.Scale);
        }
        EXPECT_NEAR(Page.InkInColumn(100, 80, 120), C.Ink, 0.15);
    }
}

TEST(Picasso, ClipSnapshots) {
    RegisterTestModules();
    auto Canvas = [](TPage& Page, TPDFPicasso& P) {
        P.SetCurrentXForm(IdentityXForm);
        P.UseGDIPlusModel(&Page.BM.Canvas(), Settings(u"gdiplus.dll", true));
        ASSERT_EQ(P.Model(), pmGDIPlus);
    };
    {
        SCOPED_TRACE("q clip fill Q restores the clip exactly");
        TPage Clipped, Plain;
        {
            TPDFPicasso P;
            Canvas(Clipped, P);
            GpRegion* Saved = P.GetCurrentClipRegion();  // q
            ASSERT_NE(Saved, nullptr);
            Rect(P, 30.5, 30.25, 120.75, 110.5);
            P.SetClippingPath(pfWinding);
            P.NullPath();
            P.SetFillColor(Red);
            Rect(P, 40, 40, 100, 100);
            P.FillPath();
            P.SetClippingRegion(Saved);  // Q
            P.SetFillColor(Blue);
            P.SetFillMode(pfAlternate);
            Star(P);
            P.FillPath();
        }
        {
            TPDFPicasso P;
            Canvas(Plain, P);
            P.SetFillColor(Red);
            Rect(P, 40, 40, 100, 100);
            P.FillPath();
            P.SetFillColor(Blue);
            P.SetFillMode(pfAlternate);
            Star(P);
            P.FillPath();
        }
        EXPECT_TRUE(Clipped.Bytes() == Plain.Bytes());
    }
    {
        SCOPED_TRACE("no change, one region");
        TPage Page;
        TPDFPicasso P;
        Canvas(Page, P);
        GpRegion* A = P.GetCurrentClipRegion();
        GpRegion* B = P.GetCurrentClipRegion();
        EXPECT_NE(A, nullptr);
        EXPECT_EQ(A, B);
        EXPECT_EQ(P.ClipRegionCount(), 1);
    }
    {
        SCOPED_TRACE("growth by 100, nothing refused");
        TPage Page;
        TPDFPicasso P;
        Canvas(Page, P);
        std::vector<GpRegion*> Seen;
        for (int I = 0; I < 250; ++I) {
            Rect(P, 0, 0, 200 - I * 0.5, 200);
            P.SetClippingPath(pfWinding);
            P.NullPath();
            GpRegion* R = P.GetCurrentClipRegion();
            ASSERT_NE(R, nullptr) << I;
            Seen.push_back(R);
            if (I == 98) EXPECT_EQ(P.ClipRegionCapacity(), 100u);
            if (I == 99) EXPECT_EQ(P.ClipRegionCapacity(), 200u);
        }
        EXPECT_EQ(P.ClipRegionCount(), 250);
        EXPECT_EQ(P.ClipRegionCapacity(), 300u);
        std::sort(Seen.begin(), Seen.end());
        EXPECT_EQ(std::unique(Seen.begin(), Seen.end()), Seen.end());
        // Outside the GDI+ model there are no snapshots.
        TPDFPicasso G;
        G.UseGDIModel(&Page.BM.Canvas());
        EXPECT_EQ(G.GetCurrentClipRegion(), nullptr);
    }
}

// Faults of the painting rules that the canvas mends.
TEST(Picasso, PaintingFaultsMended) {
    RegisterTestModules();
    {
        SCOPED_TRACE("alphas clamped before they become a byte");
        struct {
            double Alpha;
            uint32_t Byte;
        } const Alphas[] = {{2.0, 255},
                            {-1.0, 0},
                            {std::numeric_limits<double>::quiet_NaN(), 0},
                            {0.5, 128},
                            {1.0, 255}};
        for (const auto& C : Alphas) {
            TPDFPicasso P;
            P.SetFillAlpha(C.Alpha);
            P.SetStrokeAlpha(C.Alpha);
            EXPECT_EQ(P.FillARGB() >> 24, C.Byte) << C.Alpha;
            EXPECT_EQ(P.StrokeARGB() >> 24, C.Byte) << C.Alpha;
        }
        TPDFPicasso P;
        P.SetFillColor(0x10, 0x20, 0x30);
        EXPECT_EQ(P.FillARGB(), 0xFF102030u);
    }
    for (TModelUnderTest Model : {mGDI, mGDIPlusSharp}) {
        SCOPED_TRACE(Model == mGDI ? "non-finite path, GDI" : "non-finite path, GDI+");
        TPage Page;
        const std::string Before = Page.Bytes();
        {
            TPDFPicasso P;
            P.SetCurrentXForm(IdentityXForm);
            if (Model == mGDI)
                P.UseGDIModel(&Page.BM.Canvas());
            else
                P.UseGDIPlusModel(&Page.BM.Canvas(), Settings());
            P.SetFillColor(Red);
            P.SetStrokeColor(Red);
            P.BeginPath();
            P.MoveTo(10, 10);
            P.AddLineToPath(190, 10);
            P.AddLineToPath(std::numeric_limits<double>::infinity(), 190);
            P.AddLineToPath(10, 190);
            P.ClosePath();
            P.StrokeAndFillPath();
            P.BeginPath();
            P.MoveTo(std::nan(""), 5);
            P.AddBezierToPath(1, 2, 3, 4, 5, 6);
            P.FillPath();
        }
        EXPECT_EQ(Page.Bytes(), Before);
    }
    {
        SCOPED_TRACE("GDI pen width scales with the transform");
        struct {
            double Scale, Width, Ink;
        } const Cases[] = {{4, 1, 4}, {4, 0, 1}, {1, 0.3, 1}, {2, 1.5, 3}};
        for (const auto& C : Cases) {
            TPage Page;
            {
                TPDFPicasso P;
                P.UseGDIModel(&Page.BM.Canvas());
                P.SetCurrentXForm(TPDFXForm{C.Scale, 0, 0, C.Scale, 0, 0});
                P.SetLineWidth(C.Width);
                P.BeginPath();
                P.MoveTo(20, 100);
                P.AddLineToPath(180, 100);
                P.StrokePath();
            }
            EXPECT_NEAR(Page.InkInColumn(100, 80, 120), C.Ink, 0.01) << C.Scale << " " << C.Width;
        }
    }
}

}  // namespace
}  // namespace velmo
