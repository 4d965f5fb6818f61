// The device canvas in the GDI+ model against cairo, on an A4 text page at
// 300 DPI (2480 × 3508, 24 bits): the outlines of 10,000 glyphs, each a
// filled path of Bézier and line segments in device pixels, the way the
// text of a dense page reaches the canvas.
//
//   BM_CanvasNormalPaths    through TPDFPicasso, one GDI+ path per glyph
//   BM_CanvasCombinedPaths  through TPDFPicasso, points gathered into arrays
//                           and turned into one path when the glyph is filled
//   BM_CairoPaths           the same outlines filled straight with cairo
//
// All draw anti-aliased with the nonzero rule. The ratios canvas / cairo
// (fastest iteration of each) and the ink each page received are printed
// at the end.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/XForm.h"
#include "platform/gdi/Bitmap.h"
#include "platform/gdiplus/GdiPlusFlat.h"
#include "render/Picasso.h"

using namespace velmo;

namespace {

constexpr int kWidth = 2480;
constexpr int kHeight = 3508;
constexpr int kGlyphs = 10000;
constexpr double kAdvance = 26, kLine = 40;

// One outline segment in a 24 × 32 px glyph box, y downward.
struct TSeg {
    char Op;  // 'M'ove, 'L'ine, 'C'urve (three points), 'Z' close
    double P[6];
};

// Three glyph outlines with counters, straight stems and curved bowls: an
// "o" (two contours wound opposite ways), an "n" and a "d".
std::vector<std::vector<TSeg>> Outlines() {
    constexpr double K = 0.5523;
    auto Oval = [&](std::vector<TSeg>& O, double Cx, double Cy, double Rx, double Ry, bool Ccw) {
        const double S = Ccw ? -1 : 1;
        O.push_back({'M', {Cx + Rx, Cy}});
        O.push_back({'C', {Cx + Rx, Cy + S * K * Ry, Cx + K * Rx, Cy + S * Ry, Cx, Cy + S * Ry}});
        O.push_back({'C', {Cx - K * Rx, Cy + S * Ry, Cx - Rx, Cy + S * K * Ry, Cx - Rx, Cy}});
        O.push_back({'C', {Cx - Rx, Cy - S * K * Ry, Cx - K * Rx, Cy - S * Ry, Cx, Cy - S * Ry}});
        O.push_back({'C', {Cx + K * Rx, Cy - S * Ry, Cx + Rx, Cy - S * K * Ry, Cx + Rx, Cy}});
        O.push_back({'Z', {}});
    };
    std::vector<std::vector<TSeg>> G(3);
    Oval(G[0], 12, 20, 10, 11, false);
    Oval(G[0], 12, 20, 6, 8, true);

    G[1] = {{'M', {2, 31}},
            {'L', {2, 9}},
            {'L', {6, 9}},
            {'L', {6, 12}},
            {'C', {8, 10, 11, 9, 14, 9}},
            {'C', {19, 9, 22, 12, 22, 17}},
            {'L', {22, 31}},
            {'L', {18, 31}},
            {'L', {18, 17.5}},
            {'C', {18, 14.5, 16.5, 12.8, 13.5, 12.8}},
            {'C', {9.5, 12.8, 6, 15.5, 6, 19}},
            {'L', {6, 31}},
            {'Z', {}}};

    Oval(G[2], 11, 20, 9, 11, false);
    Oval(G[2], 11, 20, 5, 8, true);
    G[2].push_back({'M', {18, 1}});
    G[2].push_back({'L', {22, 1}});
    G[2].push_back({'L', {22, 31}});
    G[2].push_back({'L', {18, 31}});
    G[2].push_back({'Z', {}});
    return G;
}

struct TPlace {
    double X, Y;
    int Glyph;
};

// Rows of glyphs across the page, a space now and then, at fractional
// pixel positions as scaled text lands.
std::vector<TPlace> Places() {
    std::vector<TPlace> P;
    double X = 50.37, Y = 60.21;
    for (int I = 0; int(P.size()) < kGlyphs; ++I) {
        if (I % 7 != 6) P.push_back({X, Y, (I * 5 + I / 3) % 3});
        X += kAdvance;
        if (X > kWidth - 50 - kAdvance) {
            X = 50.37;
            Y += kLine;
        }
    }
    return P;
}

// The fastest of the iterations, which the other helpers' load on the
// machine disturbs least.
double gNormalSecs = 1e300, gCombinedSecs = 1e300, gCairoSecs = 1e300;
// Ink of the last page each way drew, in pixels of full black: the runs
// must agree on what they drew for their times to compare.
double gNormalInk = 0, gCombinedInk = 0, gCairoInk = 0;

double Ink(const uint8_t* Pixels, int Stride, int Step) {
    double Sum = 0;
    for (int Y = 0; Y < kHeight; ++Y)
        for (int X = 0; X < kWidth; ++X) Sum += 255 - Pixels[ptrdiff_t(Y) * Stride + X * Step];
    return Sum / 255.0;
}

struct TPage {
    TBitmap BM{kWidth, kHeight, pf24bit};
    void Clear() {
        for (int Y = 0; Y < kHeight; ++Y) std::memset(BM.ScanLine(Y), 0xFF, BM.BytesPerScanLine());
    }
    // Some ink landed where the first glyph's outer ring is.
    bool Inked() const {
        const uint8_t* Row = BM.ScanLine(80);
        for (int X = 50; X < 76; ++X)
            if (Row[X * 3] < 0x80) return true;
        return false;
    }
};

TPage& Page() {
    static TPage P;
    return P;
}

void DrawThroughCanvas(benchmark::State& State, TKPLPathCombineMode Combine, double& Secs,
                       double& InkOut) {
    TPage& Pg = Page();
    const auto G = Outlines();
    const auto Where = Places();
    TGDIPlusSettings Settings;
    InitGDIPlusSettings(Settings);
    Settings.UseGDIPlus = true;
    Settings.Smoothing = true;
    for (auto _ : State) {
        Pg.Clear();
        const auto T0 = std::chrono::steady_clock::now();
        {
            TPDFPicasso P;
            P.SetCurrentXForm(IdentityXForm);
            P.UseGDIPlusModel(&Pg.BM.Canvas(), Settings);
            if (P.Model() != pmGDIPlus) {
                State.SkipWithError("the canvas did not get the GDI+ model");
                break;
            }
            P.SetPathCombineMode(Combine);
            P.SetFillColor(0x101010);
            P.SetFillMode(pfWinding);
            for (const TPlace& At : Where) {
                P.BeginPath();
                for (const TSeg& S : G[size_t(At.Glyph)]) {
                    const double* Q = S.P;
                    switch (S.Op) {
                        case 'M':
                            P.MoveTo(At.X + Q[0], At.Y + Q[1]);
                            break;
                        case 'L':
                            P.AddLineToPath(At.X + Q[0], At.Y + Q[1]);
                            break;
                        case 'C':
                            P.AddBezierToPath(At.X + Q[0], At.Y + Q[1], At.X + Q[2], At.Y + Q[3],
                                              At.X + Q[4], At.Y + Q[5]);
                            break;
                        default:
                            P.ClosePath();
                    }
                }
                P.FillPath();
            }
        }
        Secs = std::min(
            Secs, std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count());
        if (!Pg.Inked()) State.SkipWithError("nothing was drawn");
    }
    InkOut = Ink(Pg.BM.ScanLine(0), int(Pg.BM.ScanLine(1) - Pg.BM.ScanLine(0)), 3);
}

void BM_CanvasNormalPaths(benchmark::State& State) {
    DrawThroughCanvas(State, cmNormalPaths, gNormalSecs, gNormalInk);
}
BENCHMARK(BM_CanvasNormalPaths)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_CanvasCombinedPaths(benchmark::State& State) {
    DrawThroughCanvas(State, cmCombinePaths, gCombinedSecs, gCombinedInk);
}
BENCHMARK(BM_CanvasCombinedPaths)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_CairoPaths(benchmark::State& State) {
    const auto G = Outlines();
    const auto Where = Places();
    cairo_surface_t* Surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    for (auto _ : State) {
        cairo_t* Cr = cairo_create(Surface);
        cairo_set_source_rgb(Cr, 1, 1, 1);
        cairo_paint(Cr);
        const auto T0 = std::chrono::steady_clock::now();
        cairo_set_source_rgb(Cr, 16 / 255.0, 16 / 255.0, 16 / 255.0);
        cairo_set_fill_rule(Cr, CAIRO_FILL_RULE_WINDING);
        for (const TPlace& At : Where) {
            for (const TSeg& S : G[size_t(At.Glyph)]) {
                const double* Q = S.P;
                switch (S.Op) {
                    case 'M':
                        cairo_move_to(Cr, At.X + Q[0], At.Y + Q[1]);
                        break;
                    case 'L':
                        cairo_line_to(Cr, At.X + Q[0], At.Y + Q[1]);
                        break;
                    case 'C':
                        cairo_curve_to(Cr, At.X + Q[0], At.Y + Q[1], At.X + Q[2], At.Y + Q[3],
                                       At.X + Q[4], At.Y + Q[5]);
                        break;
                    default:
                        cairo_close_path(Cr);
                }
            }
            cairo_fill(Cr);
        }
        cairo_surface_flush(Surface);
        gCairoSecs =
            std::min(gCairoSecs,
                     std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count());
        cairo_destroy(Cr);
    }
    gCairoInk =
        Ink(cairo_image_surface_get_data(Surface), cairo_image_surface_get_stride(Surface), 4);
    cairo_surface_destroy(Surface);
}
BENCHMARK(BM_CairoPaths)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RegisterGdiPlusModule();
    Page();
    benchmark::RunSpecifiedBenchmarks();
    auto Ratio = [](double A, double B) { return B > 0 && B < 1e300 && A < 1e300 ? A / B : 0.0; };
    std::printf(
        "%d glyph outlines on %dx%d: canvas normal paths %.3f s, combined paths %.3f s, "
        "cairo %.3f s\n",
        kGlyphs, kWidth, kHeight, gNormalSecs, gCombinedSecs, gCairoSecs);
    std::printf("ratios: normal / cairo %.2f, combined / cairo %.2f, combined / normal %.2f\n",
                Ratio(gNormalSecs, gCairoSecs), Ratio(gCombinedSecs, gCairoSecs),
                Ratio(gCombinedSecs, gNormalSecs));
    std::printf("ink in black pixels: normal %.0f, combined %.0f, cairo %.0f\n", gNormalInk,
                gCombinedInk, gCairoInk);
    benchmark::Shutdown();
    return 0;
}
