#include "fonts/PlatformOutlines.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/fonts/RecordingCanvas.h"

namespace velmo {
namespace {

// Native outline records, built point by point in pixel units.
class TRecords {
public:
    void Contour(double X, double Y) {
        EndContour();
        FHeader = FData.size();
        U32(0);
        U32(platform::TT_POLYGON_TYPE);
        Fixed(X);
        Fixed(Y);
    }
    void Record(uint16_t Type, std::initializer_list<std::pair<double, double>> Points) {
        U16(Type);
        U16(uint16_t(Points.size()));
        for (auto [X, Y] : Points) {
            Fixed(X);
            Fixed(Y);
        }
    }
    std::string Done() {
        EndContour();
        return FData;
    }

private:
    void EndContour() {
        if (FHeader == std::string::npos) return;
        const uint32_t Cb = uint32_t(FData.size() - FHeader);
        std::memcpy(&FData[FHeader], &Cb, 4);
        FHeader = std::string::npos;
    }
    void U16(uint16_t V) { FData.append(reinterpret_cast<const char*>(&V), 2); }
    void U32(uint32_t V) { FData.append(reinterpret_cast<const char*>(&V), 4); }
    void Fixed(double V) { U32(uint32_t(int32_t(V * 65536))); }
    std::string FData;
    size_t FHeader = std::string::npos;
};

std::string Describe(const TFontCurveCollection& C) {
    test::TRecordingCanvas Canvas;
    for (size_t K = 0; K < C.Parts.size(); ++K) {
        Canvas.MoveTo(C.StartPoints[K].X, C.StartPoints[K].Y);
        for (const TFontCurveItem& I : C.Parts[K]) {
            if (const auto* L = std::get_if<TFontLine>(&I)) {
                Canvas.AddLineToPath(L->EndPoint.X, L->EndPoint.Y);
            } else {
                const auto& S = std::get<TFontSpline>(I);
                Canvas.AddBezierToPath(S.ControlA.X, S.ControlA.Y, S.ControlB.X, S.ControlB.Y,
                                       S.EndPoint.X, S.EndPoint.Y);
            }
        }
        Canvas.ClosePath();
    }
    return Canvas.Text();
}

void Walk(const std::string& Data, TFontCurveCollection& C) {
    TTTFToVectorConverter::AddNativeOutline(reinterpret_cast<const uint8_t*>(Data.data()),
                                            Data.size(), C);
}

TEST(PlatformOutlines, NativeRecordsBecomeLinesAndCubics) {
    struct Case {
        const char* Name;
        std::string Data;
        const char* Expected;
    };
    auto Make = [](auto Fill) {
        TRecords R;
        Fill(R);
        return R.Done();
    };
    const Case Cases[] = {
        {"two quadratic controls split at their midpoint", Make([](TRecords& R) {
             R.Contour(0, 0);
             R.Record(platform::TT_PRIM_QSPLINE, {{3, 6}, {9, 6}, {12, 0}});
         }),
         "M 0 0 C 2 4 4 6 6 6 C 8 6 10 4 12 0 Z"},
        {"lines run on from the start point", Make([](TRecords& R) {
             R.Contour(1, 1);
             R.Record(platform::TT_PRIM_LINE, {{5, 1}, {5, 5}});
         }),
         "M 1 1 L 5 1 L 5 5 Z"},
        {"cubic records of CFF faces are kept, and the current point follows them",
         Make([](TRecords& R) {
             R.Contour(0, 0);
             R.Record(platform::TT_PRIM_CSPLINE,
                      {{1, 2}, {3, 4}, {5, 6}, {7, 8}, {9, 10}, {11, 0}});
             R.Record(platform::TT_PRIM_QSPLINE, {{14, 3}, {17, 0}});
         }),
         "M 0 0 C 1 2 3 4 5 6 C 7 8 9 10 11 0 C 13 2 15 2 17 0 Z"},
        {"an unknown record type adds nothing; two contours make two parts", Make([](TRecords& R) {
             R.Contour(0, 0);
             R.Record(7, {{1, 1}});
             R.Record(platform::TT_PRIM_LINE, {{2, 0}});
             R.Contour(10, 10);
             R.Record(platform::TT_PRIM_LINE, {{0.5, -0.25}});
         }),
         "M 0 0 L 2 0 Z M 10 10 L 0.5 -0.25 Z"},
    };
    for (const Case& C : Cases) {
        TFontCurveCollection Curves;
        Walk(C.Data, Curves);
        EXPECT_EQ(Describe(Curves), C.Expected) << C.Name;
    }
}

TEST(PlatformOutlines, HostileRecordsStayInsideTheData) {
    TRecords R;
    R.Contour(0, 0);
    R.Record(platform::TT_PRIM_LINE, {{1, 0}, {1, 1}});
    const std::string Good = R.Done();
    // A first contour of another type gives nothing.
    std::string Other = Good;
    Other[4] = 25;
    // A point count beyond the contour ends the contour; a byte count
    // beyond the data or below a header ends the walk.
    std::string LongCount = Good;
    LongCount[16 + 2] = char(0xFF);
    std::string LongCb = Good;
    LongCb[0] = char(0xF0);
    std::string ShortCb = Good + Good;
    std::memset(&ShortCb[Good.size()], 0, 4);
    struct Case {
        std::string Data;
        const char* Expected;
    };
    const Case Cases[] = {
        {Other, ""},
        {LongCount, "M 0 0 Z"},
        {LongCb, ""},
        {ShortCb, "M 0 0 L 1 0 L 1 1 Z"},
        {Good.substr(0, Good.size() - 3), ""},
        {std::string(8, '\0'), ""},
    };
    for (const Case& C : Cases) {
        TFontCurveCollection Curves;
        Walk(C.Data, Curves);
        EXPECT_EQ(Describe(Curves), C.Expected);
    }
}

TEST(PlatformOutlines, SecondGlyphAppendsUntilCleared) {
    TRecords R;
    R.Contour(0, 0);
    R.Record(platform::TT_PRIM_LINE, {{1, 0}});
    const std::string Data = R.Done();
    TTTFToVectorConverter Converter;
    Walk(Data, Converter.CurveCollection());
    Walk(Data, Converter.CurveCollection());
    EXPECT_EQ(Converter.CurveCollection().Parts.size(), 2u);
    Converter.Clear();
    EXPECT_TRUE(Converter.CurveCollection().Parts.empty());
    EXPECT_TRUE(Converter.CurveCollection().StartPoints.empty());
}

TEST(PlatformOutlines, OutlineFontSizeGivesAnEmOfAThousandPixels) {
    const std::pair<int, int> Cases[] = {{96, 750}, {120, 600}, {144, 500}, {0, 750}, {-5, 750}};
    for (auto [Dpi, Points] : Cases)
        EXPECT_EQ(TPDFSimpleTrueTypeRasterizer(Dpi).OutlineFontSize(), Points) << Dpi;
}

TEST(PlatformOutlines, CharacterCodesOfNames) {
    const std::pair<const char*, uint32_t> Cases[] = {
        {"CID:65", 65},    {"GID:65", 65}, {"CID:0", 0}, {"CID:x", 0},  {"CID:65x", 0},
        {"CID:", 0},       {"CID:-3", 0},  {"A", 0},     {"cid:65", 0}, {"CID:99999999999", 0},
        {"GID:8364", 8364}};
    for (auto [Name, Code] : Cases)
        EXPECT_EQ(TPDFSimpleTrueTypeRasterizer::CharCodeOf(Name), Code) << Name;
}

// A GDI+ canvas for the direct path: records the strings it is asked to
// draw, and path calls like the recording canvas.
class TDirectCanvas : public test::TRecordingCanvas, public TPDFDirectFontCanvas {
public:
    TKVPLGDIPlus* Binding = nullptr;
    struct TString {
        GpFont* Font;
        char16_t Char;
        TPDFXForm M;
    };
    std::vector<TString> Strings;
    TKVPLGDIPlus* DirectFontGDIPlus() override { return Binding; }
    void DrawDirectString(GpFont* Font, char16_t Char, const TPDFXForm& M) override {
        Strings.push_back({Font, Char, M});
    }
};

int GFontsMade = 0;
std::vector<GpFont*> GFontsDeleted;
TGPStatus FakeCreateFontFromDC(HDC Dc, GpFont** Font) {
    LOGFONTW L;
    if (!GetFontObject(GetCurrentObject(Dc, OBJ_FONT), L) || L.lfFaceName != u"Liberation Sans")
        return gsInvalidParameter;
    *Font = reinterpret_cast<GpFont*>(uintptr_t(0x1000 + 16 * ++GFontsMade));
    return gsOk;
}
TGPStatus FakeDeleteFont(GpFont* Font) {
    GFontsDeleted.push_back(Font);
    return gsOk;
}
TGPStatus NotImplementedFontFromDC(HDC, GpFont**) { return gsNotImplemented; }

TEST(PlatformOutlines, DirectPathDrawsTheNamedCharacterAtItsOrigin) {
    TKVPLGDIPlus Binding;
    Binding.GdipCreateFontFromDC = &FakeCreateFontFromDC;
    Binding.GdipDeleteFont = &FakeDeleteFont;
    GFontsMade = 0;
    GFontsDeleted.clear();
    TDirectCanvas Canvas;
    Canvas.Binding = &Binding;
    GpFont* First = nullptr;
    {
        TPDFSimpleTrueTypeRasterizer R(96);
        R.Font().Family = "Liberation Sans";
        R.SetupDirectFont(&Canvas);
        First = R.DirectFontHandle;
        ASSERT_NE(First, nullptr);
        double RX = 500, RY = 20;
        const TPDFXForm Mat{0.01, 0, 0, 0.02, 100, 200};
        EXPECT_TRUE(R.RenderToCanvas(RX, RY, &Canvas, Mat, "CID:65", peStandard));
        EXPECT_FALSE(R.RenderToCanvas(RX, RY, &Canvas, Mat, "CID:0", peStandard));
        ASSERT_EQ(Canvas.Strings.size(), 1u);
        EXPECT_EQ(Canvas.Strings[0].Char, u'A');
        EXPECT_EQ(Canvas.Strings[0].Font, First);
        // The origin moves by (RX, RY) of glyph space before Mat.
        EXPECT_DOUBLE_EQ(Canvas.Strings[0].M.eDx, 105);
        EXPECT_DOUBLE_EQ(Canvas.Strings[0].M.eDy, 200.4);
        EXPECT_DOUBLE_EQ(Canvas.Strings[0].M.eM22, 0.02);
        EXPECT_TRUE(Canvas.Calls.empty()) << "no outline beside the direct string";
        // A new set-up releases the earlier font.
        R.SetupDirectFont(&Canvas);
        EXPECT_NE(R.DirectFontHandle, First);
        ASSERT_EQ(GFontsDeleted.size(), 1u);
        EXPECT_EQ(GFontsDeleted[0], First);
    }
    // And destruction the last one.
    ASSERT_EQ(GFontsDeleted.size(), 2u);
    EXPECT_EQ(GFontsMade, 2);
}

TEST(PlatformOutlines, WithoutAGdiPlusFontOutlinesAreDrawn) {
    TPDFSimpleTrueTypeRasterizer R(96);
    R.Font().Family = "Liberation Sans";
    {
        TPDFSimpleTrueTypeRasterizer Probe(96);
        Probe.Font().Family = "Liberation Sans";
        test::TRecordingCanvas C;
        double RX = 0, RY = 0;
        Probe.RenderToCanvas(RX, RY, &C, IdentityXForm, "CID:65", peStandard);
        if (C.Calls.empty()) GTEST_SKIP() << "Liberation Sans is not installed";
    }
    TKVPLGDIPlus Binding;
    Binding.GdipCreateFontFromDC = &NotImplementedFontFromDC;
    TDirectCanvas Canvas;
    Canvas.Binding = &Binding;
    R.SetupDirectFont(&Canvas);
    EXPECT_EQ(R.DirectFontHandle, nullptr);
    double RX = 0, RY = 0;
    EXPECT_TRUE(R.RenderToCanvas(RX, RY, &Canvas, IdentityXForm, "GID:65", peStandard));
    EXPECT_TRUE(Canvas.Strings.empty());
    ASSERT_FALSE(Canvas.Calls.empty());
    EXPECT_EQ(Canvas.Calls.front().Op, 'M');
    EXPECT_EQ(Canvas.Calls.back().Op, 'Z');
    for (const auto& Call : Canvas.Calls) EXPECT_NE(Call.Op, '!') << "the caller paints";
    // The letter A of a 1000-unit em: its top at the cap height, 1409 of
    // 2048 font units, its right foot inside the advance of 1366.
    double MaxX = 0, MaxY = 0;
    for (const auto& Call : Canvas.Calls)
        for (size_t I = 0; I + 1 < Call.P.size(); I += 2) {
            MaxX = std::max(MaxX, Call.P[I]);
            MaxY = std::max(MaxY, Call.P[I + 1]);
        }
    EXPECT_GT(MaxX, 600);
    EXPECT_LT(MaxX, 1366 * 1000 / 2048.0);
    EXPECT_NEAR(MaxY, 1409 * 1000 / 2048.0, 0.02);
    // A direct font on a canvas that cannot draw it still gives outlines.
    test::TRecordingCanvas Plain;
    R.DirectFontHandle = reinterpret_cast<GpFont*>(uintptr_t(16));
    EXPECT_TRUE(R.RenderToCanvas(RX, RY, &Plain, IdentityXForm, "CID:65", peStandard));
    R.DirectFontHandle = nullptr;
    EXPECT_EQ(Plain.Text(), Canvas.Text());
    // A matrix that overflows raises before anything is drawn.
    test::TRecordingCanvas Before;
    const TPDFXForm Huge{1e308, 0, 0, 1e308, 0, 0};
    EXPECT_THROW(R.RenderToCanvas(RX, RY, &Before, Huge, "CID:65", peStandard), EMathError);
    EXPECT_TRUE(Before.Calls.empty());
}

}  // namespace
}  // namespace velmo
