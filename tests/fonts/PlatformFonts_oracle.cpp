// Installed fonts against fontconfig's own tool and FreeType linked into the
// test.
#include <ft2build.h>
#include <gtest/gtest.h>
#include FT_FREETYPE_H
#include FT_FONT_FORMATS_H
#include FT_OUTLINE_H

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "fonts/PlatformOutlines.h"
#include "tests/fonts/RecordingCanvas.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

std::pair<std::string, int> FcMatch(const std::string& Pattern) {
    auto R = vpltest::RunCommand({"fc-match", "-f", "%{file}\n%{index}", Pattern}, 60);
    std::istringstream In(R.out);
    std::string File;
    int Index = -1;
    std::getline(In, File);
    In >> Index;
    return {File, Index};
}

// Every call with full precision, so equal texts mean equal numbers.
std::string Exact(const test::TRecordingCanvas& C) {
    std::string S;
    for (const auto& Call : C.Calls) {
        S += Call.Op;
        for (double V : Call.P) {
            char B[40];
            std::snprintf(B, sizeof B, " %.17g", V);
            S += B;
        }
        S += ' ';
    }
    return S;
}

std::string ReadFile(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), {});
}

// FreeType's unhinted outline of a character at 1000 pixels per em, with
// each conic made cubic by controls (2B + S) / 3 and (2B + E) / 3, written
// like the recording canvas writes paths.
struct TFreeTypeOutline {
    test::TRecordingCanvas Canvas;
    double X = 0, Y = 0;
    bool Open = false;
    static double V(FT_Pos P) { return double(P) / 64.0; }
    static int Move(const FT_Vector* To, void* U) {
        auto* O = static_cast<TFreeTypeOutline*>(U);
        if (O->Open) O->Canvas.ClosePath();
        O->Open = true;
        O->X = V(To->x), O->Y = V(To->y);
        O->Canvas.MoveTo(O->X, O->Y);
        return 0;
    }
    static int Line(const FT_Vector* To, void* U) {
        auto* O = static_cast<TFreeTypeOutline*>(U);
        O->X = V(To->x), O->Y = V(To->y);
        O->Canvas.AddLineToPath(O->X, O->Y);
        return 0;
    }
    static int Conic(const FT_Vector* C, const FT_Vector* To, void* U) {
        auto* O = static_cast<TFreeTypeOutline*>(U);
        const double BX = V(C->x), BY = V(C->y), EX = V(To->x), EY = V(To->y);
        O->Canvas.AddBezierToPath((2 * BX + O->X) / 3, (2 * BY + O->Y) / 3, (2 * BX + EX) / 3,
                                  (2 * BY + EY) / 3, EX, EY);
        O->X = EX, O->Y = EY;
        return 0;
    }
    static int Cubic(const FT_Vector* A, const FT_Vector* B, const FT_Vector* To, void* U) {
        auto* O = static_cast<TFreeTypeOutline*>(U);
        O->X = V(To->x), O->Y = V(To->y);
        O->Canvas.AddBezierToPath(V(A->x), V(A->y), V(B->x), V(B->y), O->X, O->Y);
        return 0;
    }
};

std::string FreeTypeOutline(FT_Library Lib, const std::string& File, int Face, uint32_t Char,
                            bool* HasCubic = nullptr) {
    FT_Face F = nullptr;
    if (FT_New_Face(Lib, File.c_str(), Face, &F) != 0) return "cannot open";
    std::string Result = "cannot load";
    if (FT_Set_Pixel_Sizes(F, 0, 1000) == 0 &&
        FT_Load_Char(F, Char, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0) {
        TFreeTypeOutline O;
        FT_Outline_Funcs Funcs{};
        Funcs.move_to = &TFreeTypeOutline::Move;
        Funcs.line_to = &TFreeTypeOutline::Line;
        Funcs.conic_to = &TFreeTypeOutline::Conic;
        Funcs.cubic_to = &TFreeTypeOutline::Cubic;
        FT_Outline_Decompose(&F->glyph->outline, &Funcs, &O);
        if (O.Open) O.Canvas.ClosePath();
        if (HasCubic) *HasCubic = std::string(FT_Get_Font_Format(F)) == "CFF";
        Result = Exact(O.Canvas);
    }
    FT_Done_Face(F);
    return Result;
}

std::string OurOutline(const std::string& Family, uint32_t Char, int Dpi,
                       int32_t* Width = nullptr) {
    TTTFToVectorConverter C;
    C.PixelsPerInch = Dpi;
    platform::TPlatformFont F;
    F.Family = Family;
    F.Size = int(std::nearbyint(72000.0 / Dpi));
    C.SetFont(F);
    C.GetCharacterGlyphs(int32_t(Char));
    if (Width) *Width = C.CharWidth();
    test::TRecordingCanvas Canvas;
    const TFontCurveCollection& Curves = C.CurveCollection();
    for (size_t K = 0; K < Curves.Parts.size(); ++K) {
        Canvas.MoveTo(Curves.StartPoints[K].X, Curves.StartPoints[K].Y);
        for (const TFontCurveItem& I : Curves.Parts[K]) {
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
    return Exact(Canvas);
}

TEST(oracle, platform_fonts) {
    VPL_REQUIRE_TOOL("fc-match");
    FT_Library Lib = nullptr;
    ASSERT_EQ(FT_Init_FreeType(&Lib), 0);

    // The fonts {Arial, bold} and {Times New Roman, italic} stand for open
    // the file fontconfig names, and their data is that file's.
    struct Style {
        const char* Family;
        bool Bold, Italic;
        const char* Pattern;
    };
    for (const Style& S : {Style{"Arial", true, false, "Arial:bold"},
                           Style{"Times New Roman", false, true, "Times New Roman:italic"}}) {
        const auto [File, Index] = FcMatch(S.Pattern);
        ASSERT_FALSE(File.empty()) << S.Pattern;
        platform::TPlatformFont F{S.Family, S.Bold, S.Italic, 1, 16};
        platform::TResolvedFont R;
        ASSERT_TRUE(platform::ResolvePlatformFont(F, R)) << S.Pattern;
        EXPECT_EQ(R.File, File) << S.Pattern;
        EXPECT_EQ(R.FaceIndex, Index) << S.Pattern;
        TPDFPlatformInstalledFont Installed(F);
        auto Data = Installed.FaceData();
        ASSERT_TRUE(Data);
        EXPECT_EQ(Installed.FaceDataSize(), Data->size());
        EXPECT_TRUE(*Data == ReadFile(File)) << S.Pattern;
        EXPECT_EQ(Installed.CollectionSize(), TPDFInstalledFont::kFontDataError);
    }

    // Face 1 of the WenQuanYi collection loads through LoadFromFont with
    // FreeType's glyph count for that face.
    {
        const auto [File, Index] = FcMatch("WenQuanYi Zen Hei Mono");
        ASSERT_EQ(Index, 1) << File;
        TPDFTrueTypeRasterizer2 R;
        platform::TPlatformFont F;
        F.Family = "WenQuanYi Zen Hei Mono";
        R.SetFont(std::make_unique<TPDFPlatformInstalledFont>(F));
        R.LoadFromFont();
        FT_Face Face = nullptr;
        ASSERT_EQ(FT_New_Face(Lib, File.c_str(), 1, &Face), 0);
        EXPECT_EQ(R.Parser().GlyphCount(), Face->num_glyphs);
        const std::string Whole = ReadFile(File);
        EXPECT_EQ(R.Parser().TableOffset, Whole.size() - R.Parser().Data()->size());
        EXPECT_FALSE(R.HasCFFTable());
        // The metrics record: the head box and hhea ascent and descent.
        platform::OUTLINETEXTMETRICW M;
        M.tmHeight = 77;
        R.Parser().ReadMetrics(M);
        EXPECT_EQ(M.otmrcFontBox.left, Face->bbox.xMin);
        EXPECT_EQ(M.otmrcFontBox.bottom, Face->bbox.yMin);
        EXPECT_EQ(M.otmrcFontBox.right, Face->bbox.xMax);
        EXPECT_EQ(M.otmrcFontBox.top, Face->bbox.yMax);
        EXPECT_EQ(M.otmAscent, int32_t(Face->ascender * 1000 / Face->units_per_EM));
        EXPECT_EQ(M.otmDescent, int32_t(Face->descender * 1000 / Face->units_per_EM));
        EXPECT_EQ(M.tmHeight, 77) << "other fields stay";
        // The glyph drawn by name is FreeType's glyph of U+4E2D.
        EXPECT_EQ(R.GlyphIndexOf("uni4E2D"), int32_t(FT_Get_Char_Index(Face, 0x4E2D)));
        FT_Done_Face(Face);
    }

    // Outlines of 'A': Liberation Sans through conics made cubic, Nimbus
    // Sans (an OpenType CFF face) through FreeType's own cubics; at 96 and
    // 120 pixels per inch alike.
    {
        struct Case {
            const char* Family;
            const char* Extension;
            bool Cff;
        };
        for (const Case& C :
             {Case{"Liberation Sans", ".ttf", false}, Case{"Nimbus Sans", ".otf", true}}) {
            const auto [File, Index] = FcMatch(C.Family);
            ASSERT_TRUE(File.size() > 4 && File.substr(File.size() - 4) == C.Extension) << File;
            bool Cff = false;
            const std::string Expected = FreeTypeOutline(Lib, File, Index, 'A', &Cff);
            EXPECT_EQ(Cff, C.Cff) << C.Family;
            EXPECT_GT(Expected.size(), 100u) << C.Family;
            for (int Dpi : {96, 120}) {
                int32_t Width = 0;
                EXPECT_EQ(OurOutline(C.Family, 'A', Dpi, &Width), Expected) << C.Family << Dpi;
                EXPECT_GT(Width, 500);
            }
            // The rasterizer draws the same outline at glyph origin (RX, RY).
            TPDFSimpleTrueTypeRasterizer R(96);
            R.Font().Family = C.Family;
            test::TRecordingCanvas Canvas;
            double RX = 0, RY = 0;
            EXPECT_TRUE(R.RenderToCanvas(RX, RY, &Canvas, IdentityXForm, "CID:65", peStandard));
            EXPECT_EQ(Exact(Canvas), Expected) << C.Family;
        }
    }
    FT_Done_FreeType(Lib);
}

}  // namespace
}  // namespace velmo
