// Annotations drawn with the page: which ones by flags and settings, in
// which pass, how an appearance is mapped into its rectangle, and the
// built-in looks of links and stamps.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/ContentRun.h"
#include "render/Renderer.h"
#include "tests/render/RendererTestKit.h"

namespace velmo {
namespace {

using namespace rendertest;

uint32_t PixelAt(TBitmap& B, int X, int Y) {
    const uint8_t* Row = B.ScanLine(Y);
    return uint32_t(Row[3 * X + 2]) << 16 | uint32_t(Row[3 * X + 1]) << 8 | Row[3 * X];
}

// A page of 100 × 100 points with annotations numbered from 10 on; each
// appearance stream gets the number after its annotation's.
struct TAnnotPage : TPage {
    TPDFArray* Annots = nullptr;
    int32_t Next = 10;

    explicit TAnnotPage(const std::string& Content = "") : TPage(Content) {
        Annots = S.NewArray();
        Page->Add("Annots", Annots);
    }

    TPDFStream* Appearance(const std::string& Content, std::vector<double> BBox,
                           std::vector<double> Matrix = {}) {
        TPDFStream* A = S.NewStream(Content, false);
        A->FDictionary->Add("Type", S.NewName("XObject"));
        A->FDictionary->Add("Subtype", S.NewName("Form"));
        A->FDictionary->Add("BBox", S.NewDoubleArray(BBox));
        if (!Matrix.empty()) A->FDictionary->Add("Matrix", S.NewDoubleArray(Matrix));
        return A;
    }

    // An annotation with Subtype and Rect; Appear (may be null) becomes its
    // /AP /N.
    TPDFDictionary* Add(const std::string& Subtype, std::vector<double> Rect,
                        TPDFStream* Appear = nullptr) {
        TPDFDictionary* A = S.NewDictionary();
        A->Add("Type", S.NewName("Annot"));
        A->Add("Subtype", S.NewName(Subtype));
        A->Add("Rect", S.NewDoubleArray(Rect));
        const int32_t Num = Next;
        Next += 2;
        Objects[Num] = A;
        Annots->Add(Ref(Num));
        if (Appear != nullptr) {
            Objects[Num + 1] = Appear;
            TPDFDictionary* AP = S.NewDictionary();
            AP->Add("N", Ref(Num + 1));
            A->Add("AP", AP);
        }
        return A;
    }
};

TBitmap RenderBitmap(TAnnotPage& P, void (*Adjust)(TGDIPlusSettings&) = nullptr) {
    TPDFRenderer R(nullptr);
    P.Attach(R);
    R.SetDPI(72);
    if (Adjust != nullptr) Adjust(R.GDIPlusSettings());
    R.Render();
    EXPECT_EQ(R.ErrorDesc(), "");
    return *R.Bitmap();
}

std::string RenderLog(TAnnotPage& P) {
    TPDFRenderer R(nullptr);
    TRecorder Rec;
    P.Attach(R);
    R.SetDPI(72);
    R.SetCanvasRecorder(&Rec);
    R.Render();
    return Rec.Log;
}

TEST(AnnotationAppearances, FlagsDecideWhatTheScreenShows) {
    // Hidden (2) and NoView (32) keep an annotation off the screen; Print
    // (4) does not matter there.
    for (int32_t Flags = 0; Flags < 8; ++Flags) {
        const int32_t F = (Flags & 1 ? 2 : 0) | (Flags & 2 ? 4 : 0) | (Flags & 4 ? 32 : 0);
        SCOPED_TRACE(F);
        TAnnotPage P;
        TPDFDictionary* A =
            P.Add("Square", {20, 20, 80, 80}, P.Appearance("1 0 0 rg 0 0 10 10 re f", {0, 0, 10, 10}));
        A->Add("F", P.S.NewNumeric(F));
        TBitmap B = RenderBitmap(P);
        const bool Drawn = (F & (2 | 32)) == 0;
        EXPECT_EQ(PixelAt(B, 50, 50), Drawn ? 0xFF0000u : 0xFFFFFFu);
    }
}

TEST(AnnotationAppearances, HighlightLiesBeneathTheContent) {
    // The content paints a blue square over the middle; the highlight's
    // yellow shows around it, the content's blue over it.
    TAnnotPage P("0 0 1 rg 40 40 20 20 re f");
    P.Add("Highlight", {20, 20, 80, 80}, P.Appearance("1 1 0 rg 0 0 1 1 re f", {0, 0, 1, 1}));
    P.Add("Square", {45, 45, 55, 55}, P.Appearance("0 1 0 rg 0 0 1 1 re f", {0, 0, 1, 1}));
    TBitmap B = RenderBitmap(P);
    EXPECT_EQ(PixelAt(B, 25, 25), 0xFFFF00u);
    EXPECT_EQ(PixelAt(B, 42, 42), 0x0000FFu);
    EXPECT_EQ(PixelAt(B, 50, 50), 0x00FF00u);  // a square is drawn after the content
}

TEST(AnnotationAppearances, SettingsChooseWidgetsOrAnnotations) {
    struct TCase {
        const char* Name;
        void (*Adjust)(TGDIPlusSettings&);
        bool Widget, Other;
    };
    const TCase Cases[] = {
        {"defaults", nullptr, true, true},
        {"no annotations", [](TGDIPlusSettings& S) { S.RenderAnnotations = false; }, true, false},
        {"no fields", [](TGDIPlusSettings& S) { S.RenderFormFields = false; }, false, true},
        {"fields only", [](TGDIPlusSettings& S) { S.RenderFormFieldsOnly = true; }, true, false},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TAnnotPage P("0 0 1 rg 0 90 10 10 re f");
        TPDFDictionary* W =
            P.Add("Widget", {10, 10, 40, 40}, P.Appearance("1 0 0 rg 0 0 1 1 re f", {0, 0, 1, 1}));
        W->Add("FT", P.S.NewName("Btn"));
        P.Add("Square", {60, 60, 90, 90}, P.Appearance("0 1 0 rg 0 0 1 1 re f", {0, 0, 1, 1}));
        TBitmap B = RenderBitmap(P, C.Adjust);
        EXPECT_EQ(PixelAt(B, 25, 75), C.Widget ? 0xFF0000u : 0xFFFFFFu);
        EXPECT_EQ(PixelAt(B, 75, 25), C.Other ? 0x00FF00u : 0xFFFFFFu);
        // Page content is suppressed only when fields alone are asked for.
        EXPECT_EQ(PixelAt(B, 5, 5), C.Name == std::string("fields only") ? 0xFFFFFFu : 0x0000FFu);
    }
}

TEST(AnnotationAppearances, AppearanceStatesFollowAS) {
    struct TCase {
        const char* Name;
        const char* AS;  // nullptr: none
        uint32_t Centre;
    };
    const TCase Cases[] = {
        {"on", "Yes", 0x000000u}, {"off", "Off", 0xFF0000u}, {"no state", nullptr, 0xFFFFFFu},
        {"unknown state", "Maybe", 0xFFFFFFu}};
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TAnnotPage P;
        TPDFDictionary* A = P.Add("Widget", {20, 20, 80, 80});
        A->Add("FT", P.S.NewName("Btn"));
        P.Objects[100] = P.Appearance("0 g 0 0 1 1 re f", {0, 0, 1, 1});
        P.Objects[101] = P.Appearance("1 0 0 rg 0 0 1 1 re f", {0, 0, 1, 1});
        TPDFDictionary* N = P.S.NewDictionary();
        N->Add("Yes", P.Ref(100));
        N->Add("Off", P.Ref(101));
        TPDFDictionary* AP = P.S.NewDictionary();
        AP->Add("N", N);
        A->Add("AP", AP);
        if (C.AS != nullptr) A->Add("AS", P.S.NewName(C.AS));
        TBitmap B = RenderBitmap(P);
        EXPECT_EQ(PixelAt(B, 50, 50), C.Centre);
    }
}

TEST(AnnotationAppearances, BoxIsMappedOntoTheRectangle) {
    // BBox 10 × 10 in a 50 × 20 rectangle: 5 across, 2 up. The recorder
    // shows device points (y down on a 100-point page).
    struct TCase {
        const char* Name;
        std::vector<double> BBox, Matrix;
        const char* Expected;
    };
    const TCase Cases[] = {
        {"scaled", {0, 0, 10, 10}, {}, "M100,0 L150,0 L150,-20 L100,-20"},
        {"box origin", {5, 5, 15, 15}, {}, "M75,10 L125,10 L125,-10 L75,-10"},
        {"short matrix is absent", {0, 0, 10, 10}, {2, 0, 0, 2, 0}, "M100,0 L150,0 L150,-20 L100,-20"},
        {"rotated", {0, 0, 20, 10}, {0, 1, -1, 0, 0, 0}, "M150,0 L150,-10 L100,-10 L100,0"},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TAnnotPage P;
        P.Add("Square", {100, 100, 150, 120},
              P.Appearance("0 0 m 10 0 l 10 10 l 0 10 l f", C.BBox, C.Matrix));
        const std::string Log = RenderLog(P);
        EXPECT_NE(Log.find(C.Expected), std::string::npos) << Log;
    }
}

TEST(AnnotationAppearances, MalformedEntriesSkipTheAnnotation) {
    struct TCase {
        const char* Name;
        std::vector<double> Rect, BBox;
    };
    const TCase Cases[] = {
        {"three-number rect", {10, 10, 20}, {0, 0, 1, 1}},
        {"short bbox", {10, 10, 20, 20}, {0, 0, 1}},
        {"flat bbox", {10, 10, 20, 20}, {0, 0, 1, 0}},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TAnnotPage P;
        P.Add("Square", C.Rect, P.Appearance("0 0 1 1 re f", C.BBox));
        EXPECT_EQ(RenderLog(P).find('F'), std::string::npos);
    }
    // A direct annotation dictionary and a direct appearance stream are
    // not drawn; the page still renders.
    TAnnotPage P;
    TPDFDictionary* Direct = P.S.NewDictionary();
    Direct->Add("Subtype", P.S.NewName("Square"));
    Direct->Add("Rect", P.S.NewDoubleArray({0, 0, 10, 10}));
    P.Annots->Add(Direct);
    TPDFDictionary* A = P.Add("Square", {0, 0, 10, 10});
    TPDFDictionary* AP = P.S.NewDictionary();
    AP->Add("N", P.Appearance("0 0 1 1 re f", {0, 0, 1, 1}));
    A->Add("AP", AP);
    EXPECT_EQ(RenderLog(P).find('F'), std::string::npos);
}

TEST(AnnotationAppearances, LinkBorders) {
    struct TCase {
        const char* Name;
        void (*Setup)(TAnnotPage&, TPDFDictionary*);
        const char* Expected;  // the stroke, or "" for none
    };
    const TCase Cases[] = {
        {"default", [](TAnnotPage&, TPDFDictionary*) {}, "S#000000w1"},
        {"no border",
         [](TAnnotPage& P, TPDFDictionary* A) { A->Add("Border", P.S.NewDoubleArray({0, 0, 0})); },
         ""},
        {"dashed",
         [](TAnnotPage& P, TPDFDictionary* A) {
             TPDFArray* B = P.S.NewDoubleArray({0, 0, 2});
             B->Add(P.S.NewDoubleArray({3, 2}));
             A->Add("Border", B);
         },
         "S#000000w2d3,2@0"},
        {"fourth item not an array",
         [](TAnnotPage& P, TPDFDictionary* A) { A->Add("Border", P.S.NewDoubleArray({0, 0, 2, 1})); },
         ""},
        {"border style and colour",
         [](TAnnotPage& P, TPDFDictionary* A) {
             TPDFDictionary* BS = P.S.NewDictionary();
             BS->Add("W", P.S.NewNumeric(3));
             BS->Add("D", P.S.NewDoubleArray({2.4, 1.6}));
             A->Add("BS", BS);
             A->Add("C", P.S.NewDoubleArray({0, 0, 1}));
         },
         "S#0000FFw3d2,2@0"},
        {"grey", [](TAnnotPage& P, TPDFDictionary* A) { A->Add("C", P.S.NewDoubleArray({0.5})); },
         "S#808080w1"},
        {"empty colour array",
         [](TAnnotPage& P, TPDFDictionary* A) { A->Add("C", P.S.NewArray()); }, ""},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TAnnotPage P;
        C.Setup(P, P.Add("Link", {10, 10, 50, 30}));
        const std::string Log = RenderLog(P);
        const size_t Rect = Log.find("M10,90 L10,70 L50,70 L50,90 H W*");
        ASSERT_NE(Rect, std::string::npos) << Log;
        if (*C.Expected == 0)
            EXPECT_EQ(Log.find(" S", Rect), std::string::npos) << Log;
        else
            EXPECT_NE(Log.find(C.Expected, Rect), std::string::npos) << Log;
    }
}

TEST(AnnotationAppearances, StampPictureFitsTheRectangleUpright) {
    TAnnotPage P;
    P.Add("Stamp", {10, 10, 70, 40});  // 60 × 30: the 120 × 31 picture at half size
    // Without a picture source such a stamp draws nothing.
    EXPECT_EQ(RenderLog(P).find('F'), std::string::npos);
    std::string Asked;
    StampPictureSource() = [&](std::string_view Name) {
        Asked = std::string(Name);
        return std::string("0 0 m 120 0 l 120 31 l 0 31 l f");
    };
    const std::string Log = RenderLog(P);
    StampPictureSource() = nullptr;
    EXPECT_EQ(Asked, "Draft");
    EXPECT_NE(Log.find("M10,90 L70,90 L70,74.5 L10,74.5"), std::string::npos) << Log;
}

TEST(AnnotationAppearances, AnnotationsStartFromThePageMatrix) {
    // The content leaves a transform and an unbalanced clip behind; the
    // annotation is placed by the page's matrix and is not clipped away.
    TAnnotPage P("q 2 0 0 2 0 0 cm 0 0 1 1 re W n");
    P.Add("Square", {50, 50, 60, 60}, P.Appearance("1 0 0 rg 0 0 1 1 re f", {0, 0, 1, 1}));
    TBitmap B = RenderBitmap(P);
    EXPECT_EQ(PixelAt(B, 55, 45), 0xFF0000u);
}

TEST(AnnotationAppearances, SelfDrawingAppearanceEndsWithAnErrorText) {
    // An appearance whose resources name itself as a form.
    TAnnotPage P;
    TPDFStream* A = P.Appearance("1 0 0 rg 0 0 1 1 re f /Me Do", {0, 0, 1, 1});
    P.Add("Square", {20, 20, 80, 80}, A);
    TPDFDictionary* XObjects = P.S.NewDictionary();
    XObjects->Add("Me", P.Ref(11));
    TPDFDictionary* Res = P.S.NewDictionary();
    Res->Add("XObject", XObjects);
    A->FDictionary->Add("Resources", Res);
    TPDFRenderer R(nullptr);
    P.Attach(R);
    R.SetDPI(72);
    R.Render();
    EXPECT_NE(R.ErrorDesc(), "");
    EXPECT_EQ(PixelAt(*R.Bitmap(), 50, 50), 0xFF0000u);
}

}  // namespace
}  // namespace velmo
