// Glyph lookup, outlines and widths of the TrueType rasterizer over fixture
// fonts.
#include "fonts/TrueTypeRasterizer.h"

#include <gtest/gtest.h>

#include <chrono>

#include "tests/fonts/RecordingCanvas.h"
#include "tests/fonts/SfntWriter.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

using namespace velmo::test;

std::string Square(int X0, int Size) {
    return SimpleGlyph({{{X0, 0}, {X0 + Size, 0}, {X0 + Size, Size}, {X0, Size}}});
}

// 70 glyphs; glyph k is a square at x = k.
std::vector<std::string> Squares() {
    std::vector<std::string> G;
    for (int K = 0; K < 70; ++K) G.push_back(Square(K, 10));
    return G;
}

std::string Draw(TPDFTrueTypeRasterizer2& R, const std::string& Name, double RX = 0, double RY = 0,
                 const TPDFXForm& Mat = IdentityXForm) {
    TRecordingCanvas C;
    EXPECT_TRUE(R.RenderToCanvas(RX, RY, &C, Mat, Name, peStandard));
    return C.Text();
}

struct TLookupCase {
    const char* Name;
    const char* Font;  // which fixture
    bool Symbolic;
    int32_t Glyph;
};

void PrintTo(const TLookupCase& C, std::ostream* Os) { *Os << C.Font << " " << C.Name; }

std::string FixtureFont(const std::string& Kind) {
    TTestFont F;
    F.Glyphs = Squares();
    F.Advances = {500};
    if (Kind == "unicode") {
        F.Cmaps = {{3, 1, CmapFormat4({{0x41, 10}, {0x20AC, 11}, {0x261E, 12}, {0xF042, 13}})},
                   {1, 0, CmapFormat0({{0xDB, 14}, {0x41, 15}})}};
    } else if (Kind == "post") {  // no (3,1) subtable
        F.PostNames = std::vector<std::string>(70, "");
        F.PostNames[20] = "A";
        F.PostNames[21] = "Euro";
        F.PostNames[22] = "odd.name";
        F.Cmaps = {{1, 0, CmapFormat0({{0x41, 23}})}};
    } else if (Kind == "symbol30") {
        F.Cmaps = {{3, 0, CmapFormat4({{0xF041, 36}})}};
    } else if (Kind == "symbol31") {
        F.Cmaps = {{3, 1, CmapFormat4({{0x0141, 37}, {0xF041, 38}})}};
    } else if (Kind == "mac") {  // a (1,0) subtable alone
        F.Cmaps = {{1, 0, CmapFormat0({{0xF3, 40}})}};
    } else if (Kind == "platform0") {
        F.Cmaps = {{0, 3, CmapFormat4({{0x41, 41}})}};
    }
    return F.Build();
}

class Lookup : public testing::TestWithParam<TLookupCase> {};

TEST_P(Lookup, NameResolvesToGlyph) {
    const TLookupCase& C = GetParam();
    TPDFTrueTypeRasterizer2 R;
    R.Parser().LoadFromString(FixtureFont(C.Font));
    R.SetFlags(C.Symbolic ? 4 : 32);
    EXPECT_EQ(R.GlyphIndexOf(C.Name), C.Glyph);
    const std::string Drawn = Draw(R, C.Name);
    if (C.Glyph < 0)
        EXPECT_EQ(Drawn, "");
    else
        EXPECT_EQ(Drawn.substr(0, Drawn.find(' ', 2)), "M " + std::to_string(C.Glyph)) << Drawn;
}

INSTANTIATE_TEST_SUITE_P(
    TrueTypeRasterizer, Lookup,
    testing::Values(
        TLookupCase{"GID:65", "unicode", false, 65}, TLookupCase{"GID:x", "unicode", false, 0},
        TLookupCase{"GID:", "unicode", false, 0}, TLookupCase{"U+0041", "unicode", false, 10},
        TLookupCase{"U+0041", "post", false, 20}, TLookupCase{"U+20AC", "post", false, 21},
        TLookupCase{"PS:A", "post", false, 20}, TLookupCase{"PS:odd.name", "post", false, 22},
        TLookupCase{"PS:", "post", false, -1}, TLookupCase{"A", "unicode", false, 10},
        TLookupCase{"A", "post", false, 23}, TLookupCase{"A", "platform0", false, 41},
        TLookupCase{"Euro", "unicode", false, 11}, TLookupCase{"uni20AC", "unicode", false, 11},
        TLookupCase{"uni20AC", "post", false, 21}, TLookupCase{"a12", "unicode", false, 12},
        TLookupCase{"Ucircumflex", "mac", false, 40}, TLookupCase{"CID:65", "symbol30", true, 36},
        TLookupCase{"CID:65", "symbol31", true, 37},
        TLookupCase{"CID:66", "unicode", true, 0},  // (1,0) before (3,1)
        TLookupCase{"CID:65", "symbol30", false, -1},
        TLookupCase{"nosuchglyph", "unicode", false, -1}, TLookupCase{"a999", "unicode", false, -1},
        TLookupCase{"uniZZZZ", "unicode", false, -1}));

TEST(TrueTypeRasterizer, UnresolvedNamesAreRememberedAndCaseMatters) {
    TPDFTrueTypeRasterizer2 R;
    R.Parser().LoadFromString(FixtureFont("unicode"));
    double X = 0, Y = 0;
    EXPECT_TRUE(R.RenderToCanvas(X, Y, nullptr, IdentityXForm, "nosuchglyph", peStandard));
    EXPECT_EQ(Draw(R, "nosuchglyph"), "");
    EXPECT_EQ(R.GlyphIndexOf("A"), 10);
    // "a" is not in the (3,1) subtable but is code 61 of the 256-code (1,0)
    // one, which maps it to glyph 0.
    EXPECT_EQ(R.GlyphIndexOf("a"), 0);
    EXPECT_EQ(Draw(R, "GID:500"), "") << "an index beyond the font draws nothing";
    TPDFTrueTypeRasterizer2 Empty;
    TRecordingCanvas C;
    EXPECT_FALSE(Empty.RenderToCanvas(X, Y, &C, IdentityXForm, "A", peStandard));
}

TEST(TrueTypeRasterizer, OriginThenMatrixAndNoPainting) {
    TTestFont F;
    F.UnitsPerEm = 2000;
    F.Glyphs = {Square(0, 100)};
    F.Advances = {500};
    TPDFTrueTypeRasterizer2 R;
    R.Parser().LoadFromString(F.Build());
    // Glyph space is 1000 per em: the square is 50 wide, moved by (10, 20),
    // then scaled by 2 and moved by (1, 1).
    EXPECT_EQ(Draw(R, "GID:0", 10, 20, TPDFXForm{2, 0, 0, 2, 1, 1}),
              "M 21 41 L 121 41 L 121 141 L 21 141 Z");
}

// An outline handed out stays where it is, unchanged, while the outlines of
// other glyphs are built after it.
TEST(TrueTypeRasterizer, BuiltOutlinesStayWhereTheyAre) {
    TTestFont F;
    F.Glyphs = Squares();
    F.Advances = {500};
    TPDFTrueTypeRasterizer2 R;
    R.Parser().LoadFromString(F.Build());
    auto Text = [](const TPDFGenericShape* S) {
        TRecordingCanvas C;
        C.DrawShape(*S, IdentityXForm);
        return C.Text();
    };
    const TPDFGenericShape* Five = R.GlyphShape(5);
    ASSERT_NE(Five, nullptr);
    const std::string Want = Text(Five);
    EXPECT_EQ(Want, "M 5 0 L 15 0 L 15 10 L 5 10 Z");
    for (int32_t G = 69; G >= 0; --G) ASSERT_NE(R.GlyphShape(G), nullptr) << G;
    EXPECT_EQ(R.GlyphShape(5), Five);
    EXPECT_EQ(Text(Five), Want);
    EXPECT_EQ(R.GlyphShape(70), nullptr);
    EXPECT_EQ(Text(R.GlyphShape(69)), "M 69 0 L 79 0 L 79 10 L 69 10 Z");
}

TEST(TrueTypeRasterizer, AMatrixThatOverflowsRaisesBeforeDrawing) {
    TTestFont F;
    F.Glyphs = {Square(0, 100)};
    F.Advances = {500};
    TPDFTrueTypeRasterizer2 R;
    R.Parser().LoadFromString(F.Build());
    TRecordingCanvas C;
    double X = 0, Y = 0;
    EXPECT_THROW(
        R.RenderToCanvas(X, Y, &C, TPDFXForm{1e308, 0, 0, 1e308, 0, 0}, "GID:0", peStandard),
        EMathError);
    EXPECT_TRUE(C.Calls.empty());
    EXPECT_EQ(Draw(R, "GID:0"), "M 0 0 L 100 0 L 100 100 L 0 100 Z") << "the cache is intact";
}

// Contours as the outline code builds them: starts off the curve, trailing
// off-curve points and runs of off-curve points split at their midpoints.
TEST(TrueTypeRasterizer, ContourStartsAndOffCurvePoints) {
    struct TCase {
        const char* What;
        std::vector<TSfntContour> Contours;
        const char* Outline;
    };
    const TCase Cases[] = {
        {"on-curve start, trailing off-curve point closes with a curve",
         {{{0, 0}, {100, 0}, {100, 100, false}}},
         "M 0 0 L 100 0 Q 100 100 0 0 Z"},
        {"two off-curve points split at their midpoint",
         {{{0, 0}, {100, 0, false}, {100, 100, false}, {0, 100}}},
         "M 0 0 Q 100 0 100 50 Q 100 100 0 100 Z"},
        {"trailing run of off-curve points back to the start",
         {{{0, 0}, {100, 0, false}, {100, 100, false}, {0, 100, false}}},
         "M 0 0 Q 100 0 100 50 Q 100 100 50 100 Q 0 100 0 0 Z"},
        {"first point off the curve: starts at the last point",
         {{{0, 0, false}, {100, 0}, {100, 100}}},
         "M 100 100 Q 0 0 100 0 Z"},
        {"first and last off the curve: starts at their midpoint",
         {{{0, 0, false}, {100, 0}, {100, 100, false}}},
         "M 50 50 Q 0 0 100 0 Q 100 100 50 50 Z"},
        {"every contour, not only the first, may start off the curve",
         {{{0, 0}, {10, 0}, {10, 10}}, {{20, 0, false}, {30, 0}, {30, 10}}},
         "M 0 0 L 10 0 L 10 10 Z M 30 10 Q 20 0 30 0 Z"},
        {"a single point", {{{5, 5}}}, "M 5 5 Z"},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.What);
        TTestFont F;
        F.Glyphs = {SimpleGlyph(C.Contours)};
        F.Advances = {500};
        TPDFTrueTypeRasterizer2 R;
        R.Parser().LoadFromString(F.Build());
        EXPECT_EQ(Draw(R, "GID:0"), C.Outline);
    }
}

TEST(TrueTypeRasterizer, ContourEndsThatFallAreNotFollowed) {
    // Three contours ending at points 2, 5 and 3: four points, the second
    // contour would run past them.
    std::string G = BE16(3) + std::string(8, '\0') + BE16(2) + BE16(5) + BE16(3) + BE16(0);
    G += std::string(4, '\x01');
    for (int X : {0, 10, 0, 20}) G += BE16(static_cast<uint16_t>(X));
    for (int Y : {0, 0, 10, 0}) G += BE16(static_cast<uint16_t>(Y));
    TTestFont F;
    F.Glyphs = {G};
    F.Advances = {500};
    TPDFTrueTypeRasterizer2 R;
    R.Parser().LoadFromString(F.Build());
    EXPECT_EQ(Draw(R, "GID:0"), "M 0 0 L 10 0 L 10 10 Z");
}

TEST(TrueTypeRasterizer, CompositeFlags) {
    struct TCase {
        const char* What;
        TSfntComponent Component;
        const char* Outline;
    };
    // Component glyph 1: the square (0,0)-(10,10).
    const TCase Cases[] = {
        {"offsets", {2 | 1, 1, 100, -50, {}}, "M 100 -50 L 110 -50 L 110 -40 L 100 -40 Z"},
        {"byte offsets", {2, 1, 5, -6, {}}, "M 5 -6 L 15 -6 L 15 4 L 5 4 Z"},
        {"point numbers: no offset", {1, 1, 100, 50, {}}, "M 0 0 L 10 0 L 10 10 L 0 10 Z"},
        {"one scale", {2 | 8, 1, 1, 2, {0.5}}, "M 1 2 L 6 2 L 6 7 L 1 7 Z"},
        {"x and y scales", {2 | 64, 1, 0, 0, {1.5, -1}}, "M 0 0 L 15 0 L 15 -10 L 0 -10 Z"},
        {"two by two, offsets even with point numbers",
         {128, 1, 3, 4, {0, 1, -1, 0}},
         "M 3 4 L 3 14 L -7 14 L -7 4 Z"},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.What);
        TTestFont F;
        F.Glyphs = {"", SimpleGlyph({{{0, 0}, {10, 0}, {10, 10}, {0, 10}}}),
                    CompositeGlyph({C.Component})};
        F.Advances = {500};
        TPDFTrueTypeRasterizer2 R;
        R.Parser().LoadFromString(F.Build());
        EXPECT_EQ(Draw(R, "GID:2"), C.Outline);
    }
    // Nested: glyph 3 places glyph 2 (which places glyph 1) at (1000, 0).
    TTestFont F;
    F.Glyphs = {"", SimpleGlyph({{{0, 0}, {10, 0}, {10, 10}}}),
                CompositeGlyph({{2 | 1, 1, 0, 0, {2}}}), CompositeGlyph({{2 | 1, 2, 1000, 0, {}}})};
    F.Glyphs[2] = CompositeGlyph({{2 | 1 | 8, 1, 0, 0, {0.5}}});
    F.Advances = {500};
    TPDFTrueTypeRasterizer2 R;
    R.Parser().LoadFromString(F.Build());
    EXPECT_EQ(Draw(R, "GID:3"), "M 1000 0 L 1005 0 L 1005 5 Z");
}

TEST(TrueTypeRasterizerFaults, CompositeExpansionEndsQuickly) {
    const std::string Leaf = SimpleGlyph({{{0, 0}, {10, 0}, {10, 10}}});
    // Glyph 1 names itself; glyph 2 names itself three times over: without
    // limits 3^n expansions.
    TTestFont F;
    F.Glyphs = {Leaf, CompositeGlyph({{2 | 1, 0, 0, 0, {}}, {2 | 1, 1, 0, 0, {}}}),
                CompositeGlyph({{2 | 1, 2, 0, 0, {}},
                                {2 | 1, 2, 0, 0, {}},
                                {2 | 1, 2, 0, 0, {}},
                                {2 | 1, 0, 0, 0, {}}})};
    F.Advances = {500};
    TPDFTrueTypeRasterizer2 R;
    R.Parser().LoadFromString(F.Build());
    const double Start = vpltest::ThreadSeconds();
    const TPDFGenericShape* One = R.GlyphShape(1);
    const TPDFGenericShape* Two = R.GlyphShape(2);
    EXPECT_LT(vpltest::ThreadSeconds() - Start, 2);
    ASSERT_TRUE(One && Two);
    // Each drawn leaf adds 4 commands (move, two lines, close).
    EXPECT_EQ(One->CommandCount(), 4 * TPDFTrueTypeRasterizer2::kMaxCompositeDepth);
    EXPECT_LE(Two->CommandCount(), 4 * TPDFTrueTypeRasterizer2::kMaxGlyphComponents);
    EXPECT_GT(Two->CommandCount(), 0);
}

TEST(TrueTypeRasterizerFaults, WidthsWithoutPostNamesFollowTheLookup) {
    TTestFont F;
    F.Glyphs = Squares();
    F.Advances = {100, 200, 300, 400, 500};
    F.Cmaps = {{3, 1, CmapFormat4({{0x41, 3}, {0x20AC, 4}})}};
    TPDFTrueTypeRasterizer2 R;
    R.Parser().LoadFromString(F.Build());
    TPDFCharsetNames Names;
    Names[65] = "A";
    Names[66] = "Euro";
    Names[67] = "GID:1";
    Names[68] = "nosuchglyph";
    std::array<double, 256> W;
    W.fill(-1);
    R.GetWidths(Names, W);
    EXPECT_EQ(W[65], 400);
    EXPECT_EQ(W[66], 500);
    EXPECT_EQ(W[67], 200);
    EXPECT_EQ(W[68], -1) << "unresolved names keep their width";
    EXPECT_EQ(W[0], -1);
    // With post names the post glyph wins.
    F.PostNames = std::vector<std::string>(70, "");
    F.PostNames[2] = "A";
    R.Parser().LoadFromString(F.Build());
    W.fill(-1);
    R.GetWidths(Names, W);
    EXPECT_EQ(W[65], 300);
}

class TFakeInstalledFont : public TPDFInstalledFont {
public:
    uint32_t Collection = 0;
    std::shared_ptr<const std::string> Data;
    uint32_t Size = 0;
    std::u16string Renamed;
    uint32_t CollectionSize() override { return Collection; }
    uint32_t FaceDataSize() override { return Renamed.empty() ? Size : 0; }
    std::shared_ptr<const std::string> FaceData() override { return Data; }
    void SetName(const std::u16string& Name) override { Renamed = Name; }
};

TEST(TrueTypeRasterizer, LoadFromFontReadsTheInstalledFontData) {
    TSfntWriter Cff;
    Cff.AddTable("maxp", MaxpTable(1));
    Cff.AddTable("CFF ", "cff");
    const std::string Inside = Cff.Build(0x4F54544F, 1000);
    {
        auto Font = std::make_unique<TFakeInstalledFont>();
        Font->Data = std::make_shared<const std::string>(Inside);
        Font->Size = static_cast<uint32_t>(Inside.size());
        Font->Collection = Font->Size + 1000;
        TPDFTrueTypeRasterizer2 R;
        R.SetFont(std::move(Font));
        R.LoadFromFont();
        EXPECT_EQ(R.Parser().TableOffset, 1000u);
        EXPECT_TRUE(R.HasCFFTable());
        ASSERT_TRUE(R.FontData());
        EXPECT_EQ(*R.FontData(), Inside);
    }
    {  // 100 MiB or more: retried as Arial, which has nothing here
        auto Font = std::make_unique<TFakeInstalledFont>();
        Font->Size = TPDFInstalledFont::kFontDataError;
        auto* Raw = Font.get();
        TPDFTrueTypeRasterizer2 R;
        R.SetFont(std::move(Font));
        R.LoadFromFont();
        EXPECT_EQ(Raw->Renamed, u"Arial");
        EXPECT_FALSE(R.HasCFFTable());
        EXPECT_EQ(R.Parser().GlyphCount(), 0);
    }
    {  // a glyf font: the data is not kept
        auto Font = std::make_unique<TFakeInstalledFont>();
        Font->Data = std::make_shared<const std::string>(FixtureFont("unicode"));
        Font->Size = static_cast<uint32_t>(Font->Data->size());
        TPDFTrueTypeRasterizer2 R;
        R.SetFont(std::move(Font));
        R.LoadFromFont();
        EXPECT_EQ(R.Parser().GlyphCount(), 70);
        EXPECT_FALSE(R.HasCFFTable());
        EXPECT_FALSE(R.FontData());
    }
}

TEST(TrueTypeRasterizer, DingbatsNames) {
    EXPECT_EQ(DingbatsNameToUnicode("a1"), 0x2701);
    EXPECT_EQ(DingbatsNameToUnicode("a12"), 0x261E);
    EXPECT_EQ(DingbatsNameToUnicode("a206"), 0xF8DF);
    EXPECT_EQ(DingbatsNameToUnicode("a80"), 0);
    EXPECT_EQ(DingbatsNameToUnicode("A1"), 0);
}

}  // namespace
}  // namespace velmo
