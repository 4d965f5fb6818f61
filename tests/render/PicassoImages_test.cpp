// The device canvas's images, its GDI+ stream conversions, the byte-access
// stream adapter and the GDI+ pattern brushes.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/PNG.h"
#include "core/Unicode.h"
#include "platform/modules/Modules.h"
#include "render/Picasso.h"
#include "tests/platform/GdiplusImageFixtures.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

constexpr TColor White = 0xFFFFFF;  // $00BBGGRR
constexpr TColor Red = 0x0000FF;
constexpr TColor Green = 0x00FF00;
constexpr TColor Blue = 0xFF0000;
constexpr TColor Black = 0x000000;

// ---------------------------------------------------------------------------
// A recording GDI+ module: the facade with the image, attribute and gradient
// calls counted, so a test sees what the canvas asked for and what it gave
// back.

struct TImageRecord {
    int ImagesLoaded = 0;
    int ImagesDisposed = 0;
    int AttributesMade = 0;
    int AttributesDisposed = 0;
    int MatricesMade = 0;
    int MatricesDeleted = 0;
    int PointDraws = 0;                            // GdipDrawImagePoints
    std::vector<GpRectF> SourceRects;              // per GdipDrawImagePointsRect
    std::vector<std::vector<GpARGB>> LineBrushes;  // the two end colours per line brush
    std::vector<std::vector<GpREAL>> BlendPositions;
    std::vector<std::vector<GpARGB>> BlendColors;
};
TImageRecord Rec;

TGPStatus RecLoad(GpIStream* S, GpImage** I) {
    TGPStatus R = gdiplus::GdipLoadImageFromStream(S, I);
    if (R == gsOk) ++Rec.ImagesLoaded;
    return R;
}
TGPStatus RecLoadICM(GpIStream* S, GpImage** I) {
    TGPStatus R = gdiplus::GdipLoadImageFromStreamICM(S, I);
    if (R == gsOk) ++Rec.ImagesLoaded;
    return R;
}
TGPStatus RecLoadFile(const GpWCHAR* F, GpImage** I) {
    TGPStatus R = gdiplus::GdipLoadImageFromFile(F, I);
    if (R == gsOk) ++Rec.ImagesLoaded;
    return R;
}
// Bitmaps over the caller's rows count as images made too.
TGPStatus RecFromScan0(int32_t W, int32_t H, int32_t Stride, GpPixelFormat F, uint8_t* Scan0,
                       GpBitmap** B) {
    TGPStatus R = gdiplus::GdipCreateBitmapFromScan0(W, H, Stride, F, Scan0, B);
    if (R == gsOk) ++Rec.ImagesLoaded;
    return R;
}
TGPStatus RecDispose(GpImage* I) {
    TGPStatus R = gdiplus::GdipDisposeImage(I);
    if (R == gsOk) ++Rec.ImagesDisposed;
    return R;
}
TGPStatus RecMakeAttributes(GpImageAttributes** A) {
    TGPStatus R = gdiplus::GdipCreateImageAttributes(A);
    if (R == gsOk) ++Rec.AttributesMade;
    return R;
}
TGPStatus RecDisposeAttributes(GpImageAttributes* A) {
    TGPStatus R = gdiplus::GdipDisposeImageAttributes(A);
    if (R == gsOk) ++Rec.AttributesDisposed;
    return R;
}
TGPStatus RecMatrix(GpREAL A, GpREAL B, GpREAL C, GpREAL D, GpREAL E, GpREAL F, GpMatrix** M) {
    TGPStatus R = gdiplus::GdipCreateMatrix2(A, B, C, D, E, F, M);
    if (R == gsOk) ++Rec.MatricesMade;
    return R;
}
TGPStatus RecDeleteMatrix(GpMatrix* M) {
    TGPStatus R = gdiplus::GdipDeleteMatrix(M);
    if (R == gsOk) ++Rec.MatricesDeleted;
    return R;
}
TGPStatus RecDrawPoints(GpGraphics* G, GpImage* I, const GpPointF* P, int32_t N) {
    ++Rec.PointDraws;
    return gdiplus::GdipDrawImagePoints(G, I, P, N);
}
TGPStatus RecDrawPointsRect(GpGraphics* G, GpImage* I, const GpPointF* P, int32_t N, GpREAL X,
                            GpREAL Y, GpREAL W, GpREAL H, GpUnit U, const GpImageAttributes* A,
                            GpDrawImageAbort C, void* D) {
    Rec.SourceRects.push_back({X, Y, W, H});
    return gdiplus::GdipDrawImagePointsRect(G, I, P, N, X, Y, W, H, U, A, C, D);
}
TGPStatus RecLineBrush(const GpPointF* P1, const GpPointF* P2, GpARGB C1, GpARGB C2, GpWrapMode W,
                       GpLineGradient** B) {
    Rec.LineBrushes.push_back({C1, C2});
    return gdiplus::GdipCreateLineBrush(P1, P2, C1, C2, W, B);
}
TGPStatus RecPresetBlend(GpLineGradient* B, const GpARGB* C, const GpREAL* P, int32_t N) {
    Rec.BlendColors.emplace_back(C, C + N);
    Rec.BlendPositions.emplace_back(P, P + N);
    return gdiplus::GdipSetLinePresetBlend(B, C, P, N);
}

constexpr char16_t ModuleName[] = u"picimgrec.dll";

void RegisterRecordingModule() {
    static const bool Done = [] {
        RegisterGdiPlusModule();
        TModuleExports Exports = GdiPlusExports();
        auto Put = [&Exports](const char* Name, FARPROC Proc) {
            for (TModuleExport& E : Exports)
                if (E.Name == Name) E.Proc = Proc;
        };
        Put("GdipLoadImageFromStream", reinterpret_cast<FARPROC>(&RecLoad));
        Put("GdipLoadImageFromStreamICM", reinterpret_cast<FARPROC>(&RecLoadICM));
        Put("GdipLoadImageFromFile", reinterpret_cast<FARPROC>(&RecLoadFile));
        Put("GdipCreateBitmapFromScan0", reinterpret_cast<FARPROC>(&RecFromScan0));
        Put("GdipDisposeImage", reinterpret_cast<FARPROC>(&RecDispose));
        Put("GdipCreateImageAttributes", reinterpret_cast<FARPROC>(&RecMakeAttributes));
        Put("GdipDisposeImageAttributes", reinterpret_cast<FARPROC>(&RecDisposeAttributes));
        Put("GdipCreateMatrix2", reinterpret_cast<FARPROC>(&RecMatrix));
        Put("GdipDeleteMatrix", reinterpret_cast<FARPROC>(&RecDeleteMatrix));
        Put("GdipDrawImagePoints", reinterpret_cast<FARPROC>(&RecDrawPoints));
        Put("GdipDrawImagePointsRect", reinterpret_cast<FARPROC>(&RecDrawPointsRect));
        Put("GdipCreateLineBrush", reinterpret_cast<FARPROC>(&RecLineBrush));
        Put("GdipSetLinePresetBlend", reinterpret_cast<FARPROC>(&RecPresetBlend));
        return RegisterModule(ModuleName, Exports);
    }();
    ASSERT_TRUE(Done);
}

TGDIPlusSettings RecordingSettings() {
    TGDIPlusSettings S;
    InitGDIPlusSettings(S);
    S.FileName = ModuleName;
    return S;  // smoothing on, smooth images off: images nearest neighbour
}

// A white page and a GDI+ canvas on it. The canvas is freed before pixels
// are read, so everything it drew has reached the bitmap.
struct TPage {
    TBitmap BM;
    std::unique_ptr<TPDFPicasso> P;
    TPage(int W, int H, const TGDIPlusSettings& S = RecordingSettings()) : BM(W, H, pf24bit) {
        for (int Y = 0; Y < H; ++Y)
            for (int X = 0; X < W; ++X) BM.SetPixel(X, Y, White);
        P = std::make_unique<TPDFPicasso>();
        P->UseGDIPlusModel(&BM.Canvas(), S);
    }
    TColor At(int X, int Y) {
        P.reset();
        return BM.GetPixel(X, Y);
    }
};

bool Near(TColor A, TColor B, int Tolerance) {
    for (int Shift = 0; Shift < 24; Shift += 8)
        if (std::abs(int((A >> Shift) & 0xFF) - int((B >> Shift) & 0xFF)) > Tolerance) return false;
    return true;
}

std::string Hex(TColor C) {
    char Buf[16];
    std::snprintf(Buf, sizeof Buf, "%06X", unsigned(C));
    return Buf;
}

// ---------------------------------------------------------------------------
// Image files made here.

TBitmap Quad() {
    // Red, green on the top row; blue, black below.
    TBitmap B(2, 2, pf24bit);
    B.SetPixel(0, 0, Red);
    B.SetPixel(1, 0, Green);
    B.SetPixel(0, 1, Blue);
    B.SetPixel(1, 1, Black);
    return B;
}

std::string BmpBytes(const TBitmap& B) {
    TMemoryStream S;
    B.SaveToStream(S);
    return S.Bytes();
}

std::string PngBytes(const TBitmap& B) {
    TMemoryStream S;
    TPNGWriter W(B);
    W.SaveToStream(S);
    return S.Bytes();
}

TBitmap Solid(int W, int H, TColor C) {
    TBitmap B(W, H, pf24bit);
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X) B.SetPixel(X, Y, C);
    return B;
}

// A JPEG of a solid colour, made by the facade's encoder.
std::string JpegBytes(int W, int H, TColor C) {
    RegisterRecordingModule();
    TBitmap Canvas(1, 1, pf24bit);
    TPDFPicasso P;
    P.UseGDIPlusModel(&Canvas.Canvas(), RecordingSettings());
    CLSID Jpeg;
    EXPECT_TRUE(P.GDIPlus() && P.GDIPlus()->GetEncoderClsid(u"image/jpeg", Jpeg));
    TStringStream In(BmpBytes(Solid(W, H, C)));
    TMemoryStream Out;
    EXPECT_TRUE(P.ConvertStream(In, Out, Jpeg));
    return Out.Bytes();
}

// A stream whose position is left at its end, as a writer leaves it.
std::unique_ptr<TMemoryStream> AtEnd(const std::string& Bytes) {
    auto S = std::make_unique<TMemoryStream>();
    S->WriteBuffer(Bytes);
    return S;
}

// ---------------------------------------------------------------------------
// The recording stand-in of the printer pass-through.

struct TPassThrough {
    int Calls = 0;
    int Left = 0, Top = 0, Width = 0, Height = 0, PrintMode = 0, BitmapWidth = 0;
    bool Answer = true;
};
TPassThrough Pass;

bool RecordPassThrough(HDC, TBitmap& BM, int32_t Left, int32_t Top, int32_t Width, int32_t Height,
                       int32_t PrintMode) {
    ++Pass.Calls;
    Pass.Left = Left;
    Pass.Top = Top;
    Pass.Width = Width;
    Pass.Height = Height;
    Pass.PrintMode = PrintMode;
    Pass.BitmapWidth = BM.Width();
    return Pass.Answer;
}

struct THookGuard {
    explicit THookGuard(TPrintBitmapPassThroughProc Hook)
        : Old(SetPrintBitmapPassThroughHook(Hook)) {}
    ~THookGuard() { SetPrintBitmapPassThroughHook(Old); }
    TPrintBitmapPassThroughProc Old;
};

void ExpectAllReleased() {
    EXPECT_EQ(Rec.ImagesLoaded, Rec.ImagesDisposed) << "every loaded image is disposed";
    EXPECT_EQ(Rec.AttributesMade, Rec.AttributesDisposed) << "image attributes are disposed";
    EXPECT_EQ(Rec.MatricesMade, Rec.MatricesDeleted) << "matrices are deleted";
}

}  // namespace

TEST(Picasso, ImagesAndConversions) {
    RegisterRecordingModule();
    Rec = {};

    // A 2 × 2 image turned a quarter turn clockwise: its x axis runs down
    // the page, its y axis to the left. Nearest neighbour gives each source
    // pixel a clean 5 × 5 square. The stream is handed over at its end.
    {
        TPage Pg(20, 20);
        ASSERT_EQ(Pg.P->Model(), pmGDIPlus);
        auto S = AtEnd(BmpBytes(Quad()));
        Pg.P->DrawAnyImagePoints(14, 4, 14, 14, 4, 4, *S);
        EXPECT_EQ(Rec.PointDraws, 1);
        struct {
            int X0, Y0;
            TColor C;
        } const Blocks[] = {{9, 4, Red}, {9, 9, Green}, {4, 4, Blue}, {4, 9, Black}};
        Pg.P.reset();
        for (const auto& B : Blocks)
            for (int Y = B.Y0; Y < B.Y0 + 5; ++Y)
                for (int X = B.X0; X < B.X0 + 5; ++X)
                    EXPECT_EQ(Pg.BM.GetPixel(X, Y), B.C) << X << "," << Y;
        for (int I = 0; I < 20; ++I) {
            EXPECT_EQ(Pg.BM.GetPixel(I, 3), White) << I;
            EXPECT_EQ(Pg.BM.GetPixel(I, 14), White) << I;
            EXPECT_EQ(Pg.BM.GetPixel(3, I), White) << I;
            EXPECT_EQ(Pg.BM.GetPixel(14, I), White) << I;
        }
    }

    // Chroma keys: the pixels whose colour lies in the key range are left
    // out; the attributes are disposed after the draw.
    {
        TPage Pg(10, 10);
        TStringStream S(BmpBytes(Quad()));
        Pg.P->DrawAnyImagePointsChroma(0, 0, 10, 0, 0, 10, S, 2, 2, 0xFFFF0000, 0xFFFF0000);
        EXPECT_EQ(Rec.AttributesMade, 1);
        EXPECT_EQ(Rec.AttributesDisposed, 1);
        EXPECT_EQ(Pg.At(2, 2), White) << "keyed red";
        EXPECT_EQ(Pg.BM.GetPixel(7, 2), Green);
        EXPECT_EQ(Pg.BM.GetPixel(2, 7), Blue);
        EXPECT_EQ(Pg.BM.GetPixel(7, 7), Black);
    }

    // DrawAnyImage selects pages 1-based; a page the file lacks draws
    // nothing, and the image is still disposed.
    {
        vpltest::TempDir Dir;
        const std::string Tiff = vpltest::TwoPageTiff(Dir / "two.tif");
        const struct {
            int Page;
            TColor Expected;
        } Cases[] = {{0, Red}, {1, Red}, {2, Blue}, {3, White}};
        for (const auto& C : Cases) {
            const int Loaded = Rec.ImagesLoaded;
            TPage Pg(8, 8);
            TStringStream S(Tiff);
            Pg.P->DrawAnyImage(0, 0, 8, 8, S, C.Page, false);
            EXPECT_EQ(Rec.ImagesLoaded, Loaded + 1);
            EXPECT_EQ(Rec.ImagesDisposed, Rec.ImagesLoaded) << "page " << C.Page;
            EXPECT_EQ(Pg.At(4, 4), C.Expected) << "page " << C.Page;
        }
    }

    // Direct printing of images: an axis-aligned JPEG reaches the printer
    // hook as a 24-bit bitmap with its rounded box; a rotated one (ULX and
    // LLX 0.1 apart) is drawn through GDI+; and without a printer hook the
    // pass-through answers false, so the aligned image is drawn too.
    {
        const std::string Jpeg = JpegBytes(8, 8, Red);
        ASSERT_GE(Jpeg.size(), 2u);
        ASSERT_EQ(uint8_t(Jpeg[0]), 0xFF);
        TGDIPlusSettings S = RecordingSettings();
        S.PrintMode = 7;
        {
            THookGuard Hook(&RecordPassThrough);
            Pass = {};
            TPage Pg(20, 20, S);
            Pg.P->SetImagePrintMode(pmOptimizeImages);
            const int Draws = Rec.PointDraws;
            TStringStream In(Jpeg);
            Pg.P->DrawAnyImagePoints(2.4, 3.6, 12.4, 3.6, 2.4, 13.6, In);
            EXPECT_EQ(Pass.Calls, 1);
            EXPECT_EQ(Pass.Left, 2);
            EXPECT_EQ(Pass.Top, 4);
            EXPECT_EQ(Pass.Width, 10);
            EXPECT_EQ(Pass.Height, 10);
            EXPECT_EQ(Pass.PrintMode, 7);
            EXPECT_EQ(Pass.BitmapWidth, 8);
            EXPECT_EQ(Rec.PointDraws, Draws) << "printed directly, not drawn";
            EXPECT_EQ(Pg.At(8, 8), White);

            TPage Rot(20, 20, S);
            Rot.P->SetImagePrintMode(pmOptimizeImages);
            TStringStream In2(Jpeg);
            Rot.P->DrawAnyImagePoints(2, 2, 12, 2, 2.1, 12, In2);
            EXPECT_EQ(Pass.Calls, 1) << "a rotated image is not printed directly";
            EXPECT_EQ(Rec.PointDraws, Draws + 1);
            EXPECT_TRUE(Near(Rot.At(7, 7), Red, 12)) << Hex(Rot.BM.GetPixel(7, 7));
        }
        {
            THookGuard Hook(nullptr);
            TPage Pg(20, 20, S);
            Pg.P->SetImagePrintMode(pmOptimizeImages);
            TStringStream In(Jpeg);
            Pg.P->DrawAnyImagePoints(2, 2, 12, 2, 2, 12, In);
            EXPECT_TRUE(Near(Pg.At(7, 7), Red, 12)) << Hex(Pg.BM.GetPixel(7, 7));
        }
    }

    // DrawTransparentImage maps the whole image, whatever its size, and
    // scales its alpha; the scale is clamped to 0 … 1.
    {
        const struct {
            double Transparency;
            TColor Expected;
        } Cases[] = {{1.0, Red},
                     {0.5, 0x8080FF},
                     {2.0, Red},
                     {-1.0, White},
                     {std::numeric_limits<double>::quiet_NaN(), White}};
        for (const auto& C : Cases) {
            const size_t Before = Rec.SourceRects.size();
            TPage Pg(10, 10);
            TStringStream S(BmpBytes(Quad()));
            Pg.P->DrawTransparentImage(0, 0, 10, 0, 0, 10, S, C.Transparency);
            ASSERT_EQ(Rec.SourceRects.size(), Before + 1);
            const GpRectF R = Rec.SourceRects.back();
            EXPECT_EQ(R.Width, 2);
            EXPECT_EQ(R.Height, 2);
            EXPECT_TRUE(Near(Pg.At(2, 2), C.Expected, 1))
                << C.Transparency << ": " << Hex(Pg.BM.GetPixel(2, 2));
            if (C.Transparency == 1.0) {
                EXPECT_EQ(Pg.BM.GetPixel(7, 7), Black);
            }
        }
    }

    // The placement examples: a 2 × 1 inch image in a 4 × 4 inch box.
    {
        TPDFPicassoImageAlign Small;
        Small.SmallHorizontalAlignment = haCenter;
        Small.SmallVerticalAlignment = vaCenter;
        TPDFPicassoImageAlign Expand;
        Expand.ExpandSmallImages = true;
        Expand.HorizontalAlignment = haCenter;
        Expand.VerticalAlignment = vaCenter;
        TPDFPicassoImageAlign Shrink;
        Shrink.ShrinkLargeImages = true;
        TPDFPicassoImageAlign Turn;
        Turn.RotateMatchAspec = raClockwise;
        const struct {
            const char* Name;
            TPDFPicassoImageAlign A;
            double IW, IH, BW, BH;
            double Expected[8];
        } Cases[] = {
            {"small centred", Small, 2, 1, 4, 4, {1, 1.5, 3, 1.5, 3, 2.5, 1, 2.5}},
            {"expanded", Expand, 2, 1, 4, 4, {0, 1, 4, 1, 4, 3, 0, 3}},
            {"shrunk", Shrink, 8, 2, 4, 4, {0, 0, 4, 0, 4, 1, 0, 1}},
            {"turned clockwise", Turn, 1, 2, 4, 2, {2, 0, 2, 1, 0, 1, 0, 0}},
        };
        for (const auto& C : Cases) {
            const auto P =
                TPDFPicasso::ComputeAlignedImagePoints(C.IW, C.IH, 0, 0, C.BW, C.BH, C.A);
            for (int I = 0; I < 4; ++I) {
                EXPECT_DOUBLE_EQ(P[size_t(I)].X, C.Expected[I * 2]) << C.Name << " corner " << I;
                EXPECT_DOUBLE_EQ(P[size_t(I)].Y, C.Expected[I * 2 + 1])
                    << C.Name << " corner " << I;
            }
        }
    }

    // cairo reads PNG only: a JPEG and a BMP are re-encoded as PNG, a PNG
    // (or anything else) is handed over unchanged.
    {
        TPDFPicasso P;
        TStringStream Bmp(BmpBytes(Quad()));
        auto FromBmp = P.CairoConvertImage(Bmp);
        ASSERT_TRUE(FromBmp);
        EXPECT_EQ(FromBmp->Position(), 0);
        TPNGReader R1;
        R1.LoadFromStream(*FromBmp);
        auto B1 = R1.SaveToBitmap();
        ASSERT_TRUE(B1);
        ASSERT_EQ(B1->Width(), 2);
        EXPECT_EQ(B1->GetPixel(0, 0), Red);
        EXPECT_EQ(B1->GetPixel(1, 0), Green);
        EXPECT_EQ(B1->GetPixel(0, 1), Blue);
        EXPECT_EQ(B1->GetPixel(1, 1), Black);

        TStringStream Jpeg(JpegBytes(16, 8, Blue));
        auto FromJpeg = P.CairoConvertImage(Jpeg);
        ASSERT_TRUE(FromJpeg);
        TPNGReader R2;
        R2.LoadFromStream(*FromJpeg);
        auto B2 = R2.SaveToBitmap();
        ASSERT_TRUE(B2);
        EXPECT_EQ(B2->Width(), 16);
        EXPECT_EQ(B2->Height(), 8);
        EXPECT_TRUE(Near(B2->GetPixel(5, 5), Blue, 12)) << Hex(B2->GetPixel(5, 5));

        for (const std::string& Other :
             {PngBytes(Quad()), std::string("GIF89a"), std::string("BM\x10", 3), std::string()}) {
            TStringStream S(Other);
            EXPECT_FALSE(P.CairoConvertImage(S)) << Other.size() << " bytes";
            EXPECT_EQ(S.Position(), 0);
        }
        TStringStream BadJpeg(std::string("\xFF\xD8\xFF\xE0 broken", 11));
        EXPECT_FALSE(P.CairoConvertImage(BadJpeg));
    }

    // The renderer library takes bitmaps: BMP and PNG are read directly,
    // other formats through GDI+ (a private binding on a canvas without
    // one).
    {
        const struct {
            const char* Name;
            std::string Bytes;
            int W, H;
            TColor Corner;
            int Tolerance;
        } Cases[] = {{"BMP", BmpBytes(Quad()), 2, 2, Red, 0},
                     {"PNG", PngBytes(Quad()), 2, 2, Red, 0},
                     {"JPEG", JpegBytes(9, 5, Green), 9, 5, Green, 12}};
        for (const auto& C : Cases) {
            for (bool OwnBinding : {false, true}) {
                TBitmap Page(1, 1, pf24bit);
                TPDFPicasso P;
                if (OwnBinding) P.UseGDIPlusModel(&Page.Canvas(), RecordingSettings());
                TStringStream S(C.Bytes);
                auto B = P.KPLRConvertImage(S);
                ASSERT_TRUE(B) << C.Name;
                EXPECT_EQ(B->Width(), C.W) << C.Name;
                EXPECT_EQ(B->Height(), C.H) << C.Name;
                EXPECT_TRUE(Near(B->GetPixel(0, 0), C.Corner, C.Tolerance))
                    << C.Name << ": " << Hex(B->GetPixel(0, 0));
            }
        }
        TPDFPicasso P;
        TStringStream Junk(std::string("not an image"));
        EXPECT_FALSE(P.KPLRConvertImage(Junk));
    }

    // Row layout for the renderer library.
    {
        const struct {
            TPixelFormat F;
            int W;
            int32_t Format, RowLength;
        } Cases[] = {{pf24bit, 3, 1, 9},
                     {pf4bit, 3, -1, 0},
                     {pf1bit, 9, 3, 2},
                     {pf8bit, 5, 2, 5},
                     {pf32bit, 3, 0, 12}};
        for (const auto& C : Cases) {
            TBitmap B(C.W, 2, C.F);
            int32_t Format = 99, RowLength = 99;
            TPDFPicasso::KPLRImageLayout(B, Format, RowLength);
            EXPECT_EQ(Format, C.Format) << int(C.F);
            EXPECT_EQ(RowLength, C.RowLength) << int(C.F);
        }
    }

    // CCITT G4: a bilevel TIFF with group 4 compression.
    {
        TBitmap Page(1, 1, pf24bit);
        TPDFPicasso P;
        P.UseGDIPlusModel(&Page.Canvas(), RecordingSettings());
        TBitmap Src = Solid(40, 20, White);
        for (int X = 0; X < 20; ++X) Src.SetPixel(X, 5, Black);
        TStringStream In(BmpBytes(Src));
        TMemoryStream Out;
        ASSERT_TRUE(P.ConvertStreamToG4(In, Out));
        vpltest::TempDir Dir;
        vpltest::WriteFile(Dir / "g4.tif", Out.Bytes());
        TIFF* T = TIFFOpen((Dir / "g4.tif").c_str(), "r");
        ASSERT_NE(T, nullptr);
        uint16_t Compression = 0, Bits = 0;
        uint32_t W = 0;
        TIFFGetField(T, TIFFTAG_COMPRESSION, &Compression);
        TIFFGetField(T, TIFFTAG_BITSPERSAMPLE, &Bits);
        TIFFGetField(T, TIFFTAG_IMAGEWIDTH, &W);
        TIFFClose(T);
        EXPECT_EQ(Compression, COMPRESSION_CCITTFAX4);
        EXPECT_EQ(Bits, 1);
        EXPECT_EQ(W, 40u);
        if (vpltest::HaveTool("tiffinfo")) {
            const auto R = vpltest::RunCommand({"tiffinfo", (Dir / "g4.tif").string()});
            EXPECT_EQ(R.exitCode, 0) << R.err;
            EXPECT_NE(R.out.find("CCITT Group 4"), std::string::npos) << R.out;
        } else {
            ADD_FAILURE() << "tiffinfo (libtiff-tools) is missing";
        }
        TStringStream Junk(std::string("not an image"));
        TMemoryStream Out2;
        EXPECT_FALSE(P.ConvertStreamToG4(Junk, Out2));
    }

    // Bitmaps through GDI+ (rectangle and corner points), and a file
    // converted to another format. A rectangle is drawn in the text mode,
    // which without smoothing is nearest neighbour too.
    {
        TGDIPlusSettings Sharp = RecordingSettings();
        Sharp.Smoothing = false;
        TPage Pg(10, 10, Sharp);
        TBitmap Q = Quad();
        Pg.P->DrawImage(0, 0, 10, 10, Q);
        TBitmap G = Solid(1, 1, Green);
        double ULX = 0, ULY = 0, URX = 4, URY = 0, LLX = 0, LLY = 4;
        Pg.P->DrawBitmap(&G, ULX, ULY, URX, URY, LLX, LLY);
        EXPECT_EQ(Pg.At(2, 2), Green);
        EXPECT_EQ(Pg.BM.GetPixel(7, 2), Green);
        EXPECT_EQ(Pg.BM.GetPixel(2, 7), Blue);
        EXPECT_EQ(Pg.BM.GetPixel(7, 7), Black);

        TBitmap Page(1, 1, pf24bit);
        TPDFPicasso P;
        P.UseGDIPlusModel(&Page.Canvas(), RecordingSettings());
        vpltest::TempDir Dir;
        vpltest::WriteFile(Dir / "in.bmp", BmpBytes(Q));
        const std::u16string In = UTF8ToWide((Dir / "in.bmp").string());
        const std::u16string Out = UTF8ToWide((Dir / "out.png").string());
        EXPECT_TRUE(P.ConvertFile(In, Out, P.PNGEncoderGUID()));
        EXPECT_EQ(vpltest::ReadFile(Dir / "out.png").substr(0, 4), "\x89PNG");
        EXPECT_FALSE(
            P.ConvertFile(UTF8ToWide((Dir / "missing.bmp").string()), Out, P.PNGEncoderGUID()));
    }

    // The byte-access stream: sizes, locked ranges, and unlocking.
    {
        TStringStream S(std::string("0123456789"));
        auto* A = new TImageBytesStreamAdapter(S);
        void* Same = nullptr;
        ASSERT_EQ(A->QueryInterface(TImageBytesStreamAdapter::IID_ByteAccess, &Same), S_OK);
        EXPECT_EQ(Same, static_cast<void*>(A));
        A->Release();
        uint64_t Count = 0;
        EXPECT_EQ(A->CountBytes(&Count), S_OK);
        EXPECT_EQ(Count, 10u);
        void* First = nullptr;
        void* Second = nullptr;
        ASSERT_EQ(A->LockBytes(3, 2, &First), S_OK);
        ASSERT_EQ(A->LockBytes(4, 6, &Second), S_OK);
        // Later locks leave the earlier bytes where they were handed out.
        for (int I = 0; I < 50; ++I) {
            void* More = nullptr;
            A->LockBytes(1, 0, &More);
        }
        EXPECT_EQ(std::string(static_cast<char*>(First), 3), "234");
        EXPECT_EQ(std::string(static_cast<char*>(Second), 4), "6789");
        const std::deque<std::string> Before = A->LockedBytes;
        char Stranger[4] = {};
        EXPECT_EQ(A->UnlockBytes(Stranger, 3, 2), S_OK);
        EXPECT_EQ(A->UnlockBytes(nullptr, 3, 2), S_OK);
        EXPECT_EQ(A->LockedBytes, Before) << "an unknown pointer changes nothing";
        EXPECT_EQ(A->UnlockBytes(First, 3, 2), S_OK);
        EXPECT_EQ(A->LockedBytes.size(), Before.size());
        EXPECT_EQ(A->LockedBytes[0], "");
        EXPECT_EQ(A->LockedBytes[1], "6789");
        // Ranges beyond the stream are refused, and nothing is kept.
        void* Out = &Count;
        EXPECT_EQ(A->LockBytes(5, 8, &Out), E_INVALIDARG);
        EXPECT_EQ(Out, nullptr);
        EXPECT_EQ(A->LockBytes(0xFFFFFFFFu, 0, &Out), E_INVALIDARG);
        EXPECT_EQ(A->LockBytes(1, 11, &Out), E_INVALIDARG);
        EXPECT_EQ(A->LockedBytes.size(), Before.size());
        A->Release();
    }

    // Other models draw no encoded images, and a canvas without a model
    // takes every call.
    {
        TBitmap Page = Solid(10, 10, White);
        TPDFPicasso Gdi;
        Gdi.UseGDIModel(&Page.Canvas());
        TStringStream S(BmpBytes(Quad()));
        Gdi.DrawAnyImagePoints(0, 0, 10, 0, 0, 10, S);
        Gdi.DrawAnyImage(0, 0, 10, 10, S, 1, false);
        EXPECT_EQ(Page.GetPixel(5, 5), White);
        TPDFPicasso None;
        None.DrawAnyImagePoints(0, 0, 10, 0, 0, 10, S);
        None.DrawTransparentImage(0, 0, 10, 0, 0, 10, S, 1);
        None.DrawDirectImage(nullptr, 3, 1, 1, 1, false, -1, -1);
        // The GDI model copies bitmaps.
        Gdi.DrawImage(0, 0, 10, 10, *std::make_unique<TBitmap>(Quad()));
        EXPECT_EQ(Page.GetPixel(2, 2), Red);
        EXPECT_EQ(Page.GetPixel(7, 7), Black);
    }

    // Images that GDI+ cannot read draw nothing and leave nothing behind.
    {
        TPage Pg(10, 10);
        TStringStream Junk(std::string("BM junk that is not a bitmap"));
        Pg.P->DrawAnyImagePoints(0, 0, 10, 0, 0, 10, Junk);
        Pg.P->DrawAnyImagePointsChroma(0, 0, 10, 0, 0, 10, Junk, 2, 2, 0, 0);
        Pg.P->DrawTransparentImage(0, 0, 10, 0, 0, 10, Junk, 1);
        Pg.P->DrawAnyImageFast(0, 0, 10, 10, Junk);
        EXPECT_EQ(Pg.At(5, 5), White);
    }
    ExpectAllReleased();
}

namespace {

// An axial gradient along x from StartX to EndX on a page without a
// transform, with the given stops.
TVPLPattern Axial(double StartX, double EndX, std::vector<TVPLPatternStop> Stops) {
    TVPLPattern P;
    P.FPatternType = ptAxial;
    P.FPDFPatternType = ptShading;
    P.FCoords = {StartX, 0, EndX, 0, 0, 0};
    P.FStops = std::move(Stops);
    return P;
}

void FillRect(TPDFPicasso& P, double X0, double Y0, double X1, double Y1) {
    P.BeginPath();
    P.MoveTo(X0, Y0);
    P.AddLineToPath(X1, Y0);
    P.AddLineToPath(X1, Y1);
    P.AddLineToPath(X0, Y1);
    P.ClosePath();
    P.FillPath();
}

TColor StopColor(const TVPLPatternStop& S) {
    return TColor(std::lround(S.Red * 255)) | TColor(std::lround(S.Green * 255)) << 8 |
           TColor(std::lround(S.Blue * 255)) << 16;
}

}  // namespace

TEST(Picasso, PatternBrushes) {
    RegisterRecordingModule();
    Rec = {};
    TGDIPlusSettings S = RecordingSettings();
    S.Smoothing = false;

    // Two stops: a two-colour line brush, no preset blend.
    {
        TPage Pg(101, 4, S);
        Pg.P->SetCurrentXForm(IdentityXForm);
        const TVPLPattern Pat = Axial(0.5, 100.5, {{1, 0, 0}, {0, 0, 1}});
        Pg.P->SetFillPattern(&Pat);
        FillRect(*Pg.P, 0, 0, 101, 4);
        ASSERT_EQ(Rec.LineBrushes.size(), 1u);
        EXPECT_EQ(Rec.LineBrushes[0], (std::vector<GpARGB>{0xFFFF0000, 0xFF0000FF}));
        EXPECT_TRUE(Rec.BlendPositions.empty());
        EXPECT_TRUE(Near(Pg.At(0, 2), Red, 3)) << Hex(Pg.BM.GetPixel(0, 2));
        EXPECT_TRUE(Near(Pg.BM.GetPixel(50, 2), 0x800080, 3)) << Hex(Pg.BM.GetPixel(50, 2));
    }

    // Five stops: evenly spaced positions, and each stop's colour where
    // the axis reaches it. The axis is long enough that the last pixel
    // before its end is within one level of the last stop (the end itself
    // starts the next tile).
    {
        Rec.LineBrushes.clear();
        const std::vector<TVPLPatternStop> Stops = {
            {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {0.2, 0.4, 0.6}};
        TPage Pg(2001, 2, S);
        Pg.P->SetCurrentXForm(IdentityXForm);
        const TVPLPattern Pat = Axial(0.5, 2000.5, Stops);
        Pg.P->SetFillPattern(&Pat);
        FillRect(*Pg.P, 0, 0, 2001, 2);
        ASSERT_EQ(Rec.BlendPositions.size(), 1u);
        EXPECT_EQ(Rec.BlendPositions[0], (std::vector<GpREAL>{0, 0.25f, 0.5f, 0.75f, 1}));
        EXPECT_EQ(Rec.BlendColors[0], (std::vector<GpARGB>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF,
                                                           0xFFFFFF00, 0xFF336699}));
        Pg.P.reset();
        const int Xs[] = {0, 500, 1000, 1500, 1999};
        for (int I = 0; I < 5; ++I) {
            const TColor Want = StopColor(Stops[size_t(I)]);
            EXPECT_TRUE(Near(Pg.BM.GetPixel(Xs[I], 1), Want, 1))
                << "stop " << I << ": " << Hex(Pg.BM.GetPixel(Xs[I], 1)) << " want " << Hex(Want);
        }
    }

    // One stop paints its colour at both ends; components outside 0 … 1
    // are clamped instead of spilling into the next channel.
    {
        Rec.LineBrushes.clear();
        Rec.BlendPositions.clear();
        TPage Pg(20, 4, S);
        Pg.P->SetCurrentXForm(IdentityXForm);
        const TVPLPattern Pat = Axial(0, 20, {{1.5, -0.2, 0.4}});
        Pg.P->SetFillPattern(&Pat);
        FillRect(*Pg.P, 0, 0, 20, 4);
        ASSERT_EQ(Rec.LineBrushes.size(), 1u);
        EXPECT_EQ(Rec.LineBrushes[0], (std::vector<GpARGB>{0xFFFF0066, 0xFFFF0066}));
        EXPECT_TRUE(Rec.BlendPositions.empty());
        for (int X : {0, 10, 19}) EXPECT_EQ(Pg.At(X, 2), TColor(0x6600FF)) << X;
    }

    // No stops, a radial or an unknown kind: no brush, nothing painted.
    {
        TPage Pg(10, 10, S);
        Pg.P->SetCurrentXForm(IdentityXForm);
        const TVPLPattern None = Axial(0, 10, {});
        EXPECT_EQ(Pg.P->CreatePatternBrush(&None), nullptr);
        TVPLPattern Radial = Axial(0, 10, {{1, 0, 0}, {0, 0, 1}});
        Radial.FPatternType = ptRadial;
        EXPECT_EQ(Pg.P->CreatePatternBrush(&Radial), nullptr);
        EXPECT_EQ(Pg.P->CreatePatternBrush(nullptr), nullptr);
        TVPLPattern NoTile;
        NoTile.FPatternType = ptColorTile;
        EXPECT_EQ(Pg.P->CreatePatternBrush(&NoTile), nullptr);
        Pg.P->SetFillPattern(&None);
        FillRect(*Pg.P, 0, 0, 10, 10);
        EXPECT_EQ(Pg.At(5, 5), White);
    }

    // A coloured tile fills with the tile's pixels, on every fill (the tile
    // stream is read from its start each time); the texture matrix is
    // deleted and the tile image disposed.
    {
        TVPLPattern Tile;
        Tile.FPatternType = ptColorTile;
        Tile.FPDFPatternType = ptTiling;
        Tile.FTileImageData = std::make_shared<TStringStream>(BmpBytes(Solid(4, 4, Green)));
        Tile.FTileScale = 0.5;
        TPage Pg(20, 20, S);
        Pg.P->SetCurrentXForm(IdentityXForm);
        Pg.P->SetFillPattern(&Tile);
        FillRect(*Pg.P, 0, 0, 10, 20);
        FillRect(*Pg.P, 10, 0, 20, 20);
        EXPECT_EQ(Pg.At(5, 10), Green);
        EXPECT_EQ(Pg.BM.GetPixel(15, 10), Green);
        EXPECT_GE(Rec.MatricesMade, 2);
    }
    ExpectAllReleased();
}

}  // namespace velmo
