// The metafile layer: EMF, EMF+ and WMF written, validated, read back and
// played; the validator's refusals; damaged files never crash the reader;
// recording DCs and the facade's EMF+ recordings.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/com/StreamAdapter.h"
#include "platform/files/Stream.h"
#include "platform/gdi/Bitmap.h"
#include "platform/gdi/DC.h"
#include "platform/gdiplus/GraphicsCore.h"
#include "platform/metafile/MetafileReader.h"
#include "platform/metafile/MetafileRecorder.h"
#include "platform/metafile/MetafileRecords.h"
#include "platform/metafile/MetafileReplay.h"
#include "tests/platform/GdiplusFixture.h"

namespace {

using namespace velmo;
using namespace velmo::metafile;
namespace gp = velmo::gdiplus;

std::vector<uint32_t> EmfTypes(const std::string& Data) {
    std::vector<uint32_t> T;
    EnumerateEmf(Data, [&](const TEmfRecord& R) {
        T.push_back(R.Type);
        return true;
    });
    return T;
}

std::vector<uint16_t> WmfFunctions(const std::string& Data) {
    std::vector<uint16_t> T;
    EnumerateWmf(Data, [&](const TWmfRecord& R) {
        T.push_back(R.Function);
        return true;
    });
    return T;
}

bool Has(const std::vector<uint32_t>& V, uint32_t X) {
    return std::find(V.begin(), V.end(), X) != V.end();
}

void Square(TEmfWriter& W, int X0, int Y0, int X1, int Y1) {
    W.Simple(EMR_BEGINPATH);
    W.Point(EMR_MOVETOEX, X0, Y0);
    W.Points(EMR_POLYLINETO, {{X1, Y0}, {X1, Y1}, {X0, Y1}});
    W.Simple(EMR_CLOSEFIGURE);
    W.Simple(EMR_ENDPATH);
}

// A 100 × 80 picture using every record kind the writer makes.
std::string EveryKindEmf() {
    TEmfWriter W(100, 80);
    W.Value(EMR_SETBKMODE, 1);
    W.Value(EMR_SETPOLYFILLMODE, WINDING);
    const uint32_t Brush = W.CreateBrush(false, 0x0000FF);  // red
    const uint32_t Pen = W.CreatePen(PS_SOLID, 1, 0xFF0000);
    const uint32_t Wide = W.ExtCreatePen(PS_GEOMETRIC | PS_ENDCAP_FLAT | PS_JOIN_MITER, 3, 0x00FF00);
    W.Select(Brush);
    W.Select(StockObjectFlag | NULL_PEN);
    Square(W, 10, 10, 40, 30);
    W.Bounds(EMR_FILLPATH);
    W.Select(Pen);
    W.Simple(EMR_BEGINPATH);
    W.Point(EMR_MOVETOEX, 50, 10);
    W.Points(EMR_POLYBEZIERTO, {{60, 0}, {70, 20}, {80, 10}});
    W.Simple(EMR_ENDPATH);
    W.Bounds(EMR_STROKEPATH);
    W.Select(Wide);
    Square(W, 50, 40, 90, 70);
    W.Bounds(EMR_STROKEANDFILLPATH);
    W.Simple(EMR_SAVEDC);
    Square(W, 0, 0, 20, 20);
    W.Value(EMR_SELECTCLIPPATH, RGN_AND);
    std::vector<RECT> Rects{{0, 0, 10, 10}, {0, 10, 20, 20}};
    W.ClipRegion(&Rects, RGN_AND);
    W.Value(EMR_RESTOREDC, uint32_t(-1));
    W.ClipRegion(nullptr);
    TBitmap B(4, 2, pf24bit);
    for (int X = 0; X < 4; ++X) B.SetPixel(X, 0, RGB(0, 0, 255)), B.SetPixel(X, 1, RGB(0, 0, 0));
    W.StretchDIBits(10, 50, 8, 4, DibFromBitmap(B, RECT{0, 0, 4, 2}));
    const std::vector<uint32_t> Half(4, 0x80000000u);  // 50 % black
    W.AlphaBlend(20, 50, 2, 2, DibFromPremultiplied(Half.data(), 2, 2));
    W.Comment("note");
    W.Point(EMR_MOVETOEX, 0, 79);
    W.Point(EMR_LINETO, 99, 79);
    W.Select(StockObjectFlag | BLACK_PEN);
    W.Select(StockObjectFlag | WHITE_BRUSH);
    W.Delete(Brush);
    W.Delete(Pen);
    W.Delete(Wide);
    return W.Finish();
}

TBitmap Played(const std::string& Data) {
    TBitmap B;
    std::string Error;
    EXPECT_TRUE(ReplayMetafile(Data, B, &Error)) << Error;
    return B;
}

TEST(MetafileRecords, EveryEmfRecordKindWritesValidatesAndReadsBack) {
    const std::string Emf = EveryKindEmf();
    std::string Error;
    ASSERT_TRUE(ValidateEmf(Emf, &Error)) << Error;
    EXPECT_EQ(DetectMetafile(Emf), TMetafileKind::Emf);
    const auto T = EmfTypes(Emf);
    for (uint32_t K : {EMR_HEADER, EMR_SETBKMODE, EMR_SETPOLYFILLMODE, EMR_CREATEBRUSHINDIRECT,
                       EMR_CREATEPEN, EMR_EXTCREATEPEN, EMR_SELECTOBJECT, EMR_BEGINPATH,
                       EMR_MOVETOEX, EMR_POLYLINETO, EMR_POLYBEZIERTO, EMR_CLOSEFIGURE,
                       EMR_ENDPATH, EMR_FILLPATH, EMR_STROKEPATH, EMR_STROKEANDFILLPATH,
                       EMR_SAVEDC, EMR_SELECTCLIPPATH, EMR_EXTSELECTCLIPRGN, EMR_RESTOREDC,
                       EMR_STRETCHDIBITS, EMR_ALPHABLEND, EMR_COMMENT, EMR_LINETO,
                       EMR_DELETEOBJECT, EMR_EOF})
        EXPECT_TRUE(Has(T, K)) << K;
    EXPECT_EQ(T.front(), EMR_HEADER);
    EXPECT_EQ(T.back(), EMR_EOF);
    TMetafileInfo Info;
    ASSERT_TRUE(ReadMetafileInfo(Emf, Info));
    EXPECT_EQ(Info.WidthPixels, 100);
    EXPECT_EQ(Info.HeightPixels, 80);
    EXPECT_EQ(Info.Frame[2], 2645);  // 100 px at 96 DPI = 26.46 mm, right edge included

    const TBitmap B = Played(Emf);
    ASSERT_EQ(B.Width(), 100);
    EXPECT_EQ(B.GetPixel(20, 20), RGB(255, 0, 0));  // the winding fill
    EXPECT_EQ(B.GetPixel(5, 5), clWhite);
    EXPECT_EQ(B.GetPixel(12, 50), RGB(0, 0, 255));   // stretched bitmap, top row blue
    EXPECT_EQ(B.GetPixel(12, 53), RGB(0, 0, 0));
    EXPECT_NEAR(GetRValue(B.GetPixel(20, 50)), 128, 2);  // alpha blend over white
    EXPECT_EQ(B.GetPixel(70, 55), RGB(255, 0, 0));   // filled and stroked square
    EXPECT_EQ(B.GetPixel(50, 55), RGB(0, 255, 0));
}

TEST(MetafileRecords, EmfPlusRecordsWriteValidateAndReadBack) {
    TEmfPlusWriter W(60, 40);
    W.PathObject(0, {5, 5, 25, 5, 25, 25, 5, 25}, {0, 1, 1, 0x81});
    W.FillPath(0, 0xFF0000FFu);  // blue
    W.PenObject(1, 0xFFFF0000u, 3, LineJoinMiter, LineCapFlat, LineCapFlat, 10);
    W.PathObject(0, {30, 10, 55, 10}, {0, 1});
    W.DrawPath(0, 1);
    W.PathObject(2, {30, 20, 60, 20, 60, 40, 30, 40}, {0, 1, 1, 0x81});
    W.SetClipPath(2, 0);
    const std::vector<uint32_t> Px(4 * 4, 0xFF00FF00u);  // green
    W.ImageObject(3, Px.data(), 4, 4);
    W.DrawImage(3, 28, 18, 10, 10, 4, 4);
    W.ResetClip();
    const std::string Emf = W.Finish();
    std::string Error;
    ASSERT_TRUE(ValidateEmfPlus(Emf, &Error)) << Error;
    EXPECT_EQ(DetectMetafile(Emf), TMetafileKind::EmfPlus);
    std::vector<uint16_t> Types;
    EnumerateEmfPlus(Emf, [&](const TEmfPlusRecord& R) {
        Types.push_back(R.Type);
        return true;
    });
    const std::vector<uint16_t> Want{EmfPlusHeader,  EmfPlusSetPageTransform, EmfPlusObject,
                                     EmfPlusFillPath, EmfPlusObject, EmfPlusObject,
                                     EmfPlusDrawPath, EmfPlusObject, EmfPlusSetClipPath,
                                     EmfPlusObject,   EmfPlusDrawImage, EmfPlusResetClip,
                                     EmfPlusEndOfFile};
    EXPECT_EQ(Types, Want);
    // Only EMF+ records: the EMF around them draws nothing.
    for (uint32_t T : EmfTypes(Emf)) EXPECT_TRUE(T == EMR_HEADER || T == EMR_COMMENT || T == EMR_EOF);
    TMetafileInfo Info;
    ASSERT_TRUE(ReadMetafileInfo(Emf, Info));
    EXPECT_FALSE(Info.EmfPlusDual);
    EXPECT_EQ(Info.EmfPlusDpiX, 96);

    const TBitmap B = Played(Emf);
    EXPECT_EQ(B.GetPixel(15, 15), RGB(0, 0, 255));
    EXPECT_EQ(B.GetPixel(40, 10), RGB(255, 0, 0));
    EXPECT_EQ(B.GetPixel(33, 23), RGB(0, 255, 0));  // image inside the clip
    EXPECT_EQ(B.GetPixel(29, 19), clWhite);         // and cut by it
}

TEST(MetafileRecords, WmfFromEmfFlattensPathsAndClipsByRegions) {
    const std::string Emf = EveryKindEmf();
    const std::string Wmf = EmfToWmf(Emf, 100, 80);
    std::string Error;
    ASSERT_TRUE(ValidateWmf(Wmf, &Error)) << Error;
    TMetafileInfo Info;
    ASSERT_TRUE(ReadMetafileInfo(Wmf, Info));
    EXPECT_EQ(Info.WmfInch, 96);
    EXPECT_EQ(Info.WmfBox[2], 100);
    EXPECT_EQ(Info.WmfBox[3], 80);
    const auto F = WmfFunctions(Wmf);
    auto Count = [&](uint16_t K) { return std::count(F.begin(), F.end(), K); };
    EXPECT_GE(Count(META_POLYPOLYGON), 2);  // the fill and the filled and stroked square
    EXPECT_GE(Count(META_POLYLINE), 1);     // the flattened Bézier, open
    EXPECT_GE(Count(META_CREATEREGION), 2);
    EXPECT_GE(Count(META_SELECTCLIPREGION), 2);
    EXPECT_EQ(Count(META_STRETCHDIB), 2);  // the bitmap and the blend over white
    EXPECT_EQ(F.back(), META_EOF);

    const TBitmap B = Played(Wmf);
    ASSERT_EQ(B.Width(), 100);
    ASSERT_EQ(B.Height(), 80);
    EXPECT_EQ(B.GetPixel(20, 20), RGB(255, 0, 0));
    EXPECT_EQ(B.GetPixel(12, 53), RGB(0, 0, 0));
    EXPECT_NEAR(GetRValue(B.GetPixel(20, 50)), 128, 2);
    EXPECT_EQ(B.GetPixel(70, 55), RGB(255, 0, 0));
}

TEST(MetafileRecords, ValidatorRefusesDamagedFiles) {
    const std::string Good = EveryKindEmf();
    auto Patch32 = [](std::string S, size_t At, uint32_t V) {
        for (int I = 0; I < 4; ++I) S[At + size_t(I)] = char((V >> (8 * I)) & 0xFF);
        return S;
    };
    auto Le32 = [](const std::string& S, size_t At) {
        uint32_t V = 0;
        for (int I = 0; I < 4; ++I) V |= uint32_t(uint8_t(S[At + size_t(I)])) << (8 * I);
        return V;
    };
    // Offset of the first record of a type.
    auto Find = [&](const std::string& S, uint32_t Type) {
        size_t At = 0;
        EnumerateEmf(S, [&](const TEmfRecord& R) {
            if (R.Type != Type) return true;
            At = R.Offset;
            return false;
        });
        return At;
    };
    std::string UnclosedPath;
    {
        TEmfWriter W(10, 10);
        W.Simple(EMR_BEGINPATH);
        W.Point(EMR_MOVETOEX, 1, 1);
        UnclosedPath = W.Finish();
    }
    std::string PaintedOpenPath;
    {
        TEmfWriter W(10, 10);
        W.Simple(EMR_BEGINPATH);
        W.Point(EMR_MOVETOEX, 1, 1);
        W.Bounds(EMR_FILLPATH);
        PaintedOpenPath = W.Finish();
    }
    std::string UnknownHandle;
    {
        TEmfWriter W(10, 10);
        W.Select(7);
        UnknownHandle = W.Finish();
    }
    const size_t Sel = Find(Good, EMR_SELECTOBJECT);
    struct TCase {
        const char* Name;
        std::string Data;
    } Cases[] = {
        {"truncated", Good.substr(0, Good.size() - 20)},
        {"header only", Good.substr(0, 108)},
        {"wrong nBytes", Patch32(Good, 48, uint32_t(Good.size() + 4))},
        {"wrong record count", Patch32(Good, 52, Le32(Good, 52) + 1)},
        {"size no multiple of 4", Patch32(Good, Sel + 4, Le32(Good, Sel + 4) + 2)},
        {"size past the end", Patch32(Good, Sel + 4, 0x7FFFFFF0)},
        {"unknown object handle", UnknownHandle},
        {"unclosed path", UnclosedPath},
        {"path painted while open", PaintedOpenPath},
        {"no signature", Patch32(Good, 40, 0)},
    };
    for (const TCase& C : Cases) {
        std::string Error;
        EXPECT_FALSE(ValidateEmf(C.Data, &Error)) << C.Name;
        EXPECT_FALSE(Error.empty()) << C.Name;
        TBitmap B;
        EXPECT_FALSE(ReplayMetafile(C.Data, B, &Error)) << C.Name;
    }
    // WMF: checksum and object indices.
    const std::string Wmf = EmfToWmf(Good, 100, 80);
    std::string BadSum = Wmf;
    BadSum[20] = char(BadSum[20] ^ 1);
    EXPECT_FALSE(ValidateWmf(BadSum));
    std::string BadSize = Wmf;
    BadSize[22 + 6] = char(BadSize[22 + 6] + 1);
    EXPECT_FALSE(ValidateWmf(BadSize));
    EXPECT_FALSE(ValidateWmf(Wmf.substr(0, Wmf.size() - 6)));
    // EMF+ objects used before they exist.
    TEmfPlusWriter P(10, 10);
    P.FillPath(5, 0xFF000000u);
    std::string Error;
    EXPECT_FALSE(ValidateEmfPlus(P.Finish(), &Error));
    EXPECT_NE(Error.find("undefined"), std::string::npos) << Error;
}

TEST(MetafileRecords, DamagedFilesNeverCrashTheReader) {
    TEmfPlusWriter P(30, 30);
    P.PathObject(0, {1, 1, 20, 1, 20, 20}, {0, 1, 0x81});
    P.FillPath(0, 0xFF102030u);
    const std::vector<uint32_t> Px(9, 0x80808080u);
    P.ImageObject(1, Px.data(), 3, 3);
    P.DrawImage(1, 2, 2, 6, 6, 3, 3);
    const std::string Emf = EveryKindEmf();
    const std::string Files[] = {Emf, EmfToWmf(Emf, 100, 80), P.Finish()};
    std::mt19937 Rng(7);
    for (const std::string& F : Files) {
        for (int I = 0; I < 150; ++I) {
            std::string D = F;
            if (I % 3 == 0) {
                D.resize(Rng() % D.size());
            } else {
                for (int K = 0; K < 1 + I % 4; ++K) D[Rng() % D.size()] = char(Rng());
            }
            (void)ValidateMetafile(D);
            TMetafileInfo Info;
            (void)ReadMetafileInfo(D, Info);
            EnumerateEmfPlus(D, [](const TEmfPlusRecord&) { return true; });
            EnumerateWmf(D, [](const TWmfRecord&) { return true; });
            TBitmap B(40, 40, pf24bit);
            (void)ReplayEmf(D, B);
            (void)ReplayWmf(D, B);
            (void)ReplayEmfPlus(D, B);
        }
    }
}

bool SameBitmaps(const TBitmap& A, const TBitmap& B, int Tolerance, int* Differ = nullptr) {
    if (A.Width() != B.Width() || A.Height() != B.Height()) return false;
    int N = 0;
    for (int Y = 0; Y < A.Height(); ++Y)
        for (int X = 0; X < A.Width(); ++X) {
            const TColor P = A.GetPixel(X, Y), Q = B.GetPixel(X, Y);
            if (std::abs(GetRValue(P) - GetRValue(Q)) > Tolerance ||
                std::abs(GetGValue(P) - GetGValue(Q)) > Tolerance ||
                std::abs(GetBValue(P) - GetBValue(Q)) > Tolerance)
                ++N;
        }
    if (Differ) *Differ = N;
    return N == 0;
}

TEST(MetafileRecords, RecordingDcRecordsDcCalls) {
    TEmfRecordingDc R(60, 50);
    HDC Dc = R.Dc();
    ASSERT_NE(Dc, nullptr);
    HBRUSH Blue = CreateSolidBrush(0xFF0000);
    RECT Rc{5, 5, 25, 20};
    FillRect(Dc, &Rc, Blue);
    IntersectClipRect(Dc, 0, 0, 40, 40);
    HGDIOBJ OldBrush = SelectObject(Dc, Blue);
    HPEN Pen = CreatePen(PS_SOLID, 3, 0x0000FF);
    HGDIOBJ OldPen = SelectObject(Dc, Pen);
    BeginPath(Dc);
    MoveToEx(Dc, 10, 25, nullptr);
    LineTo(Dc, 55, 25);
    LineTo(Dc, 55, 45);
    CloseFigure(Dc);
    EndPath(Dc);
    StrokeAndFillPath(Dc);
    SelectClipRgn(Dc, nullptr);
    HDC Src = CreateCompatibleDC(nullptr);
    TBitmap Chip(3, 3, pf24bit);
    for (int Y = 0; Y < 3; ++Y)
        for (int X = 0; X < 3; ++X) Chip.SetPixel(X, Y, RGB(0, 200, 0));
    HBITMAP ChipObject = CreateBitmapObject(Chip);
    HGDIOBJ OldChip = SelectObject(Src, ChipObject);
    BitBlt(Dc, 50, 2, 3, 3, Src, 0, 0, SRCCOPY);
    SelectObject(Src, OldChip);
    DeleteDC(Src);
    DeleteObject(ChipObject);
    SelectObject(Dc, OldPen);
    SelectObject(Dc, OldBrush);
    DeleteObject(Pen);
    DeleteObject(Blue);
    const TBitmap Drawn = R.Bitmap();
    const std::string Emf = R.Finish();
    std::string Error;
    ASSERT_TRUE(ValidateEmf(Emf, &Error)) << Error;
    const auto T = EmfTypes(Emf);
    EXPECT_TRUE(Has(T, EMR_FILLPATH));
    EXPECT_TRUE(Has(T, EMR_STROKEANDFILLPATH));
    EXPECT_TRUE(Has(T, EMR_EXTSELECTCLIPRGN));
    EXPECT_TRUE(Has(T, EMR_STRETCHDIBITS));
    int Differ = 0;
    EXPECT_TRUE(SameBitmaps(Played(Emf), Drawn, 0, &Differ)) << Differ << " pixels differ";
    EXPECT_TRUE(SameBitmaps(Played(EmfToWmf(Emf, 60, 50)), Drawn, 0, &Differ))
        << Differ << " pixels differ";
}

TEST_F(Gdiplus, RecordingDcTurnsFacadeDrawingIntoRecords) {
    TEmfRecordingDc R(80, 60);
    GpGraphics* G = nullptr;
    ASSERT_EQ(gp::GdipCreateFromHDC(R.Dc(), &G), gsOk);
    GpPath* Path = nullptr;
    const GpPointF Pts[4] = {{10, 10}, {50, 10}, {50, 40}, {10, 40}};
    const uint8_t Types[4] = {0, 1, 1, 0x81};
    ASSERT_EQ(gp::GdipCreatePath2(Pts, Types, 4, 0, &Path), gsOk);
    GpSolidFill* Opaque = nullptr;
    GpSolidFill* Clear = nullptr;
    gp::GdipCreateSolidFill(0xFFFF0000u, &Opaque);
    gp::GdipCreateSolidFill(0x800000FFu, &Clear);
    EXPECT_EQ(gp::GdipFillPath(G, reinterpret_cast<GpBrush*>(Opaque), Path), gsOk);
    const std::string Before = "";
    GpPath* Second = nullptr;
    const GpPointF Pts2[4] = {{30, 20}, {70, 20}, {70, 55}, {30, 55}};
    gp::GdipCreatePath2(Pts2, Types, 4, 0, &Second);
    EXPECT_EQ(gp::GdipFillPath(G, reinterpret_cast<GpBrush*>(Clear), Second), gsOk);
    GpPen* Pen = nullptr;
    gp::GdipCreatePen1(0xFF00FF00u, 2, UnitPixel, &Pen);
    EXPECT_EQ(gp::GdipDrawPath(G, Pen, Path), gsOk);
    gp::GdipDeletePen(Pen);
    gp::GdipDeletePath(Path);
    gp::GdipDeletePath(Second);
    gp::GdipDeleteBrush(reinterpret_cast<GpBrush*>(Opaque));
    gp::GdipDeleteBrush(reinterpret_cast<GpBrush*>(Clear));
    gp::GdipDeleteGraphics(G);
    const TBitmap Drawn = R.Bitmap();
    const std::string Emf = R.Finish();
    std::string Error;
    ASSERT_TRUE(ValidateEmf(Emf, &Error)) << Error;
    const auto T = EmfTypes(Emf);
    EXPECT_TRUE(Has(T, EMR_FILLPATH));      // the opaque fill as a path
    EXPECT_TRUE(Has(T, EMR_STROKEPATH));    // the opaque stroke with a geometric pen
    EXPECT_TRUE(Has(T, EMR_EXTCREATEPEN));
    EXPECT_TRUE(Has(T, EMR_ALPHABLEND));    // the translucent fill as pixels
    const TBitmap Back = Played(Emf);
    EXPECT_EQ(Back.GetPixel(20, 15), RGB(255, 0, 0));
    EXPECT_EQ(Back.GetPixel(20, 15), Drawn.GetPixel(20, 15));
    const TColor Mixed = Back.GetPixel(60, 50), Want = Drawn.GetPixel(60, 50);
    EXPECT_NEAR(GetBValue(Mixed), GetBValue(Want), 2);
    EXPECT_NEAR(GetRValue(Mixed), GetRValue(Want), 2);
}

TEST_F(Gdiplus, RecordMetafileStreamWritesEmfPlusOnly) {
    metafile::InstallMetafileRecording();
    TMemoryStream Target;
    auto* Adapter = new TStreamAdapter(Target);
    GpMetafile* M = nullptr;
    const GpRectF Frame{0, 0, 1275, 1650};
    HDC Ref = CreateCompatibleDC(nullptr);
    // Dual and plain-EMF recordings are not made.
    EXPECT_EQ(gp::GdipRecordMetafileStream(Adapter, Ref, 3, &Frame, UnitPixel, nullptr, &M),
              gsNotImplemented);
    ASSERT_EQ(gp::GdipRecordMetafileStream(Adapter, Ref, 4, &Frame, UnitPixel, nullptr, &M), gsOk);
    GpGraphics* G = nullptr;
    ASSERT_EQ(gp::GdipGetImageGraphicsContext(reinterpret_cast<GpImage*>(M), &G), gsOk);
    GpPath* Path = nullptr;
    const GpPointF Pts[3] = {{100, 100}, {600, 100}, {600, 900}};
    const uint8_t Types[3] = {0, 1, 0x81};
    gp::GdipCreatePath2(Pts, Types, 3, 0, &Path);
    GpSolidFill* Fill = nullptr;
    gp::GdipCreateSolidFill(0xFF204060u, &Fill);
    EXPECT_EQ(gp::GdipFillPath(G, reinterpret_cast<GpBrush*>(Fill), Path), gsOk);
    EXPECT_EQ(Target.Size(), 0);  // nothing is written before the image goes
    EXPECT_EQ(gp::GdipDisposeImage(reinterpret_cast<GpImage*>(M)), gsOk);
    // The graphics outlives the metafile and then draws nothing.
    EXPECT_EQ(gp::GdipFillPath(G, reinterpret_cast<GpBrush*>(Fill), Path), gsOk);
    gp::GdipDeleteGraphics(G);
    gp::GdipDeletePath(Path);
    gp::GdipDeleteBrush(reinterpret_cast<GpBrush*>(Fill));
    Adapter->Release();
    DeleteDC(Ref);
    const std::string Data(static_cast<const char*>(Target.Memory()), size_t(Target.Size()));
    std::string Error;
    ASSERT_TRUE(ValidateEmfPlus(Data, &Error)) << Error;
    TMetafileInfo Info;
    ASSERT_TRUE(ReadMetafileInfo(Data, Info));
    EXPECT_EQ(Info.WidthPixels, 1275);
    EXPECT_EQ(Info.HeightPixels, 1650);
    EXPECT_FALSE(Info.EmfPlusDual);
    const TBitmap B = Played(Data);
    EXPECT_EQ(B.GetPixel(550, 200), RGB(0x20, 0x40, 0x60));
    EXPECT_EQ(B.GetPixel(150, 800), clWhite);
}

}  // namespace
