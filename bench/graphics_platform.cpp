// The GDI+ facade against the libraries and tools it stands beside, on an
// A4 page at 300 DPI (2480 × 3508, 24 bits):
//
//   BM_FacadeGlyphFills  10,000 anti-aliased glyph-sized Bézier shapes, each a
//                        path made, filled with a solid brush and freed,
//                        through a graphics made on a memory DC
//   BM_CairoGlyphFills   the same shapes filled straight on a cairo surface
//   BM_FacadeEncode/N    the page saved by the facade's G4 TIFF, JPEG
//                        (quality 75) and PNG encoders
//   BM_PeerEncode/N      tiffcp -c g4, cjpeg -quality 75 and convert on the
//                        same page (a 1-bit TIFF or a PPM written beforehand)
//   BM_GdiStrokes        35,000 short one-pixel strokes (MoveToEx, LineTo)
//                        through a memory DC, drawn without anti-aliasing
//   BM_CairoStrokes      the same strokes on a cairo surface, anti-aliasing
//                        off, one stroke call each
//
// The ratios facade / peer and GDI / cairo are printed at the end.
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "platform/gdi/DC.h"
#include "platform/gdiplus/GdiPlusFlat.h"

namespace fs = std::filesystem;
using namespace velmo;
namespace gp = velmo::gdiplus;

namespace {

constexpr int kWidth = 2480;
constexpr int kHeight = 3508;
constexpr int kGlyphs = 10000;

// One glyph-like shape: an outer and an inner contour of four Bézier arcs
// each (an "o" about 24 × 32 px), at grid cell I.
struct TGlyph {
    float X, Y;
};

std::vector<TGlyph> Glyphs() {
    std::vector<TGlyph> G;
    const int PerRow = (kWidth - 100) / 26;
    for (int I = 0; I < kGlyphs; ++I)
        G.push_back(
            {50.0f + float(I % PerRow) * 26.0f + 0.37f, 60.0f + float(I / PerRow) * 40.0f + 0.21f});
    return G;
}

// The four arcs of an ellipse centred at (Cx, Cy), as a start point and
// 4 × 3 control points.
void Ellipse(float Cx, float Cy, float Rx, float Ry, float Out[26]) {
    constexpr float K = 0.5523f;
    const float P[26] = {Cx + Rx, Cy,      Cx + Rx,     Cy + K * Ry, Cx + K * Rx, Cy + Ry,
                         Cx,      Cy + Ry, Cx - K * Rx, Cy + Ry,     Cx - Rx,     Cy + K * Ry,
                         Cx - Rx, Cy,      Cx - Rx,     Cy - K * Ry, Cx - K * Rx, Cy - Ry,
                         Cx,      Cy - Ry, Cx + K * Rx, Cy - Ry,     Cx + Rx,     Cy - K * Ry,
                         Cx + Rx, Cy};
    for (int I = 0; I < 26; ++I) Out[I] = P[I];
}

double gFacadeFillSecs = 0, gCairoFillSecs = 0;
double gFacadeEncodeSecs[3] = {}, gPeerEncodeSecs[3] = {};
const char* const kEncodeNames[3] = {"G4 TIFF", "JPEG", "PNG"};

struct TPage {
    TBitmap Pixels{kWidth, kHeight, pf24bit};
    GpULONG_PTR Token = 0;
    fs::path Dir;

    TPage() {
        GdiplusStartupInput Input;
        gp::GdiplusStartup(&Token, &Input, nullptr);
        Dir = fs::temp_directory_path() / ("vpl-bench-graphics-" + std::to_string(getpid()));
        fs::create_directories(Dir);
        Clear();
    }
    void Clear() {
        for (int Y = 0; Y < kHeight; ++Y)
            std::memset(Pixels.ScanLine(Y), 0xFF, Pixels.BytesPerScanLine());
    }
};

TPage& Page() {
    static TPage P;
    return P;
}

void BM_FacadeGlyphFills(benchmark::State& State) {
    TPage& P = Page();
    const std::vector<TGlyph> G = Glyphs();
    HDC Dc = CreateCompatibleDC(nullptr);
    HBITMAP Bitmap = AttachBitmapObject(P.Pixels);
    HGDIOBJ Old = SelectObject(Dc, Bitmap);
    for (auto _ : State) {
        P.Clear();
        const auto T0 = std::chrono::steady_clock::now();
        GpGraphics* Graphics = nullptr;
        if (gp::GdipCreateFromHDC(Dc, &Graphics) != gsOk) {
            State.SkipWithError("GdipCreateFromHDC failed");
            break;
        }
        gp::GdipSetSmoothingMode(Graphics, SmoothingModeAntiAlias);
        GpSolidFill* Brush = nullptr;
        gp::GdipCreateSolidFill(0xFF101010, &Brush);
        float Outer[26], Inner[26];
        for (const TGlyph& Glyph : G) {
            GpPath* Path = nullptr;
            gp::GdipCreatePath(FillModeAlternate, &Path);
            Ellipse(Glyph.X + 12, Glyph.Y + 16, 11, 15, Outer);
            Ellipse(Glyph.X + 12, Glyph.Y + 16, 6, 10, Inner);
            for (const float* C : {Outer, Inner}) {
                gp::GdipStartPathFigure(Path);
                for (int A = 0; A < 4; ++A) {
                    const float* Q = C + 6 * A;
                    gp::GdipAddPathBezier(Path, Q[0], Q[1], Q[2], Q[3], Q[4], Q[5], Q[6], Q[7]);
                }
                gp::GdipClosePathFigure(Path);
            }
            gp::GdipFillPath(Graphics, reinterpret_cast<GpBrush*>(Brush), Path);
            gp::GdipDeletePath(Path);
        }
        gp::GdipDeleteBrush(reinterpret_cast<GpBrush*>(Brush));
        gp::GdipDeleteGraphics(Graphics);
        gFacadeFillSecs =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
    }
    SelectObject(Dc, Old);
    DeleteDC(Dc);
    DetachBitmapObject(Bitmap);
}
BENCHMARK(BM_FacadeGlyphFills)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_CairoGlyphFills(benchmark::State& State) {
    const std::vector<TGlyph> G = Glyphs();
    cairo_surface_t* Surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    for (auto _ : State) {
        cairo_t* Cr = cairo_create(Surface);
        cairo_set_source_rgb(Cr, 1, 1, 1);
        cairo_paint(Cr);
        const auto T0 = std::chrono::steady_clock::now();
        cairo_set_source_rgb(Cr, 16 / 255.0, 16 / 255.0, 16 / 255.0);
        cairo_set_fill_rule(Cr, CAIRO_FILL_RULE_EVEN_ODD);
        float Outer[26], Inner[26];
        for (const TGlyph& Glyph : G) {
            Ellipse(Glyph.X + 12, Glyph.Y + 16, 11, 15, Outer);
            Ellipse(Glyph.X + 12, Glyph.Y + 16, 6, 10, Inner);
            for (const float* C : {Outer, Inner}) {
                cairo_move_to(Cr, C[0], C[1]);
                for (int A = 0; A < 4; ++A) {
                    const float* Q = C + 2 + 6 * A;
                    cairo_curve_to(Cr, Q[0], Q[1], Q[2], Q[3], Q[4], Q[5]);
                }
                cairo_close_path(Cr);
            }
            cairo_fill(Cr);
        }
        cairo_surface_flush(Surface);
        gCairoFillSecs =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
        cairo_destroy(Cr);
    }
    cairo_surface_destroy(Surface);
}
BENCHMARK(BM_CairoGlyphFills)->Unit(benchmark::kMillisecond)->Iterations(3);

bool EncoderClsid(const char16_t* Mime, CLSID& Clsid) {
    uint32_t Count = 0, Size = 0;
    if (gp::GdipGetImageEncodersSize(&Count, &Size) != gsOk || Size == 0) return false;
    std::vector<uint64_t> Buffer((Size + 7) / 8);
    auto* Codecs = reinterpret_cast<ImageCodecInfo*>(Buffer.data());
    if (gp::GdipGetImageEncoders(Count, Size, Codecs) != gsOk) return false;
    for (uint32_t I = 0; I < Count; ++I)
        if (Codecs[I].MimeType != nullptr && std::u16string(Codecs[I].MimeType) == Mime) {
            Clsid = Codecs[I].Clsid;
            return true;
        }
    return false;
}

// The page as a facade bitmap over its own rows, at 300 DPI.
GpBitmap* PageBitmap() {
    TPage& P = Page();
    GpBitmap* B = nullptr;
    gp::GdipCreateBitmapFromScan0(kWidth, kHeight, int32_t(P.Pixels.BytesPerScanLine()),
                                  PixelFormat24bppRGB, P.Pixels.ScanLine(0), &B);
    if (B != nullptr) gp::GdipBitmapSetResolution(B, 300, 300);
    return B;
}

bool Save(GpBitmap* B, const fs::path& File, const char16_t* Mime, uint32_t Compression,
          uint32_t Depth) {
    CLSID Clsid;
    if (!EncoderClsid(Mime, Clsid)) return false;
    struct {
        EncoderParameters Head;
        EncoderParameter More;
    } Params;
    uint32_t Values[2] = {Compression, Depth};
    Params.Head.Count = 0;
    if (Compression != 0) {
        Params.Head.Count = 2;
        Params.Head.Parameter[0] = {EncoderCompression, 1, EncoderParameterValueTypeLong,
                                    &Values[0]};
        Params.More = {EncoderColorDepth, 1, EncoderParameterValueTypeLong, &Values[1]};
    }
    const std::string Name = File.string();
    const std::u16string Wide(Name.begin(), Name.end());
    return gp::GdipSaveImageToFile(reinterpret_cast<GpImage*>(B), Wide.c_str(), &Clsid,
                                   Compression != 0 ? &Params.Head : nullptr) == gsOk;
}

void BM_FacadeEncode(benchmark::State& State) {
    TPage& P = Page();
    const int Kind = int(State.range(0));
    GpBitmap* B = PageBitmap();
    const fs::path Out = P.Dir / (std::string("facade") + std::to_string(Kind));
    for (auto _ : State) {
        const auto T0 = std::chrono::steady_clock::now();
        bool Ok = false;
        if (Kind == 0) Ok = Save(B, Out, u"image/tiff", EncoderValueCompressionCCITT4, 1);
        if (Kind == 1) Ok = Save(B, Out, u"image/jpeg", 0, 0);
        if (Kind == 2) Ok = Save(B, Out, u"image/png", 0, 0);
        if (!Ok) State.SkipWithError("facade encoder failed");
        gFacadeEncodeSecs[Kind] =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
    }
    gp::GdipDisposeImage(reinterpret_cast<GpImage*>(B));
}
BENCHMARK(BM_FacadeEncode)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PeerEncode(benchmark::State& State) {
    TPage& P = Page();
    const int Kind = int(State.range(0));
    // The peers' inputs: a bilevel uncompressed TIFF for tiffcp, a PPM for
    // cjpeg and convert.
    const fs::path Ppm = P.Dir / "page.ppm", Bilevel = P.Dir / "page-1bit.tif";
    if (!fs::exists(Ppm)) {
        std::ofstream F(Ppm, std::ios::binary);
        F << "P6\n" << kWidth << " " << kHeight << "\n255\n";
        std::vector<char> Row(size_t(kWidth) * 3);
        for (int Y = 0; Y < kHeight; ++Y) {
            const uint8_t* S = P.Pixels.ScanLine(Y);
            for (int X = 0; X < kWidth; ++X) {
                Row[size_t(X) * 3] = char(S[X * 3 + 2]);
                Row[size_t(X) * 3 + 1] = char(S[X * 3 + 1]);
                Row[size_t(X) * 3 + 2] = char(S[X * 3]);
            }
            F.write(Row.data(), std::streamsize(Row.size()));
        }
    }
    if (!fs::exists(Bilevel)) {
        GpBitmap* B = PageBitmap();
        Save(B, Bilevel, u"image/tiff", EncoderValueCompressionNone, 1);
        gp::GdipDisposeImage(reinterpret_cast<GpImage*>(B));
    }
    const fs::path Out = P.Dir / (std::string("peer") + std::to_string(Kind));
    std::string Cmd;
    if (Kind == 0)
        Cmd = "tiffcp -c g4 " + vplbench::Quote(Bilevel.string()) + " " +
              vplbench::Quote(Out.string() + ".tif");
    if (Kind == 1)
        Cmd = "cjpeg -quality 75 -outfile " + vplbench::Quote(Out.string() + ".jpg") + " " +
              vplbench::Quote(Ppm.string());
    if (Kind == 2)
        Cmd = "convert " + vplbench::Quote(Ppm.string()) + " " +
              vplbench::Quote(Out.string() + ".png");
    for (auto _ : State) {
        const auto T0 = std::chrono::steady_clock::now();
        if (std::system(Cmd.c_str()) != 0) State.SkipWithError("peer failed");
        gPeerEncodeSecs[Kind] =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
    }
}
BENCHMARK(BM_PeerEncode)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(3);

constexpr int kStrokes = 35000;
double gGdiStrokeSecs = 0, gCairoStrokeSecs = 0;

// Short segments of 6 to 14 pixels at varied angles, one per grid cell.
struct TStroke {
    int X0, Y0, X1, Y1;
};

std::vector<TStroke> Strokes() {
    std::vector<TStroke> S;
    const int PerRow = (kWidth - 40) / 14;
    for (int I = 0; I < kStrokes; ++I) {
        const int X = 20 + (I % PerRow) * 14, Y = 20 + (I / PerRow) * 24;
        const int Dx = (I * 7) % 13 - 6, Dy = (I * 5) % 11 - 5;
        S.push_back({X, Y, X + Dx, Y + Dy + (Dx == 0 && Dy == 0)});
    }
    return S;
}

void BM_GdiStrokes(benchmark::State& State) {
    TPage& P = Page();
    const std::vector<TStroke> S = Strokes();
    HDC Dc = CreateCompatibleDC(nullptr);
    HBITMAP Bitmap = AttachBitmapObject(P.Pixels);
    HGDIOBJ Old = SelectObject(Dc, Bitmap);
    HPEN Pen = CreatePen(PS_SOLID, 1, 0x101010);
    HGDIOBJ OldPen = SelectObject(Dc, Pen);
    for (auto _ : State) {
        P.Clear();
        const auto T0 = std::chrono::steady_clock::now();
        for (const TStroke& T : S) {
            MoveToEx(Dc, T.X0, T.Y0, nullptr);
            LineTo(Dc, T.X1, T.Y1);
        }
        gGdiStrokeSecs =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
    }
    SelectObject(Dc, OldPen);
    DeleteObject(Pen);
    SelectObject(Dc, Old);
    DeleteDC(Dc);
    DetachBitmapObject(Bitmap);
}
BENCHMARK(BM_GdiStrokes)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_CairoStrokes(benchmark::State& State) {
    const std::vector<TStroke> S = Strokes();
    cairo_surface_t* Surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    for (auto _ : State) {
        cairo_t* Cr = cairo_create(Surface);
        cairo_set_source_rgb(Cr, 1, 1, 1);
        cairo_paint(Cr);
        const auto T0 = std::chrono::steady_clock::now();
        cairo_set_source_rgb(Cr, 16 / 255.0, 16 / 255.0, 16 / 255.0);
        cairo_set_antialias(Cr, CAIRO_ANTIALIAS_NONE);
        cairo_set_line_width(Cr, 1);
        for (const TStroke& T : S) {
            cairo_move_to(Cr, T.X0 + 0.5, T.Y0 + 0.5);
            cairo_line_to(Cr, T.X1 + 0.5, T.Y1 + 0.5);
            cairo_stroke(Cr);
        }
        cairo_surface_flush(Surface);
        gCairoStrokeSecs =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
        cairo_destroy(Cr);
    }
    cairo_surface_destroy(Surface);
}
BENCHMARK(BM_CairoStrokes)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Page();
    benchmark::RunSpecifiedBenchmarks();
    std::printf("%d glyph fills on %dx%d: facade on a DC %.3f s, cairo %.3f s, ratio %.2f\n",
                kGlyphs, kWidth, kHeight, gFacadeFillSecs, gCairoFillSecs,
                gCairoFillSecs > 0 ? gFacadeFillSecs / gCairoFillSecs : 0.0);
    for (int K = 0; K < 3; ++K)
        std::printf("%s encoding: facade %.3f s, peer %.3f s, ratio %.2f\n", kEncodeNames[K],
                    gFacadeEncodeSecs[K], gPeerEncodeSecs[K],
                    gPeerEncodeSecs[K] > 0 ? gFacadeEncodeSecs[K] / gPeerEncodeSecs[K] : 0.0);
    std::printf("%d one-pixel strokes on %dx%d: GDI on a DC %.3f s, cairo %.3f s, ratio %.2f\n",
                kStrokes, kWidth, kHeight, gGdiStrokeSecs, gCairoStrokeSecs,
                gCairoStrokeSecs > 0 ? gGdiStrokeSecs / gCairoStrokeSecs : 0.0);
    fs::remove_all(Page().Dir);
    benchmark::Shutdown();
    return 0;
}
