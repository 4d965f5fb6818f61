#include "platform/fonts/PlatformFonts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tests/support/TestSupport.h"

namespace velmo::platform {
namespace {

std::string ReadFile(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), {});
}

uint32_t BE32(const std::string& S, size_t At) {
    return uint32_t(uint8_t(S[At])) << 24 | uint32_t(uint8_t(S[At + 1])) << 16 |
           uint32_t(uint8_t(S[At + 2])) << 8 | uint8_t(S[At + 3]);
}

// A memory DC holding a font of Face at Pixels per em.
struct TFontDC {
    HDC Dc = CreateCompatibleDC(nullptr);
    HFONT Font = nullptr;
    TFontDC(const std::u16string& Face, int Pixels = 1000) {
        LOGFONTW L;
        L.lfFaceName = Face;
        L.lfHeight = -Pixels;
        Font = CreateFontIndirectW(L);
        SelectObject(Dc, Font);
    }
    ~TFontDC() {
        DeleteDC(Dc);
        DeleteObject(Font);
    }
};

// The file and face fontconfig's own tool names for a pattern.
std::pair<std::string, int> FcMatch(const std::string& Pattern) {
    auto R = vpltest::RunCommand({"fc-match", "-f", "%{file}\n%{index}", Pattern}, 60);
    std::istringstream In(R.out);
    std::string File;
    int Index = -1;
    std::getline(In, File);
    In >> Index;
    return {File, Index};
}

TEST(PlatformFonts, FontObjectsAreSelectedSavedAndKept) {
    HDC Dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(GetCurrentObject(Dc, OBJ_FONT), GetStockObject(SYSTEM_FONT));
    LOGFONTW L;
    L.lfFaceName = std::u16string(40, u'x');
    L.lfWeight = FW_BOLD;
    HFONT F = CreateFontIndirectW(L);
    LOGFONTW Out;
    ASSERT_TRUE(GetFontObject(F, Out));
    EXPECT_EQ(Out.lfFaceName.size(), 31u);
    EXPECT_EQ(Out.lfWeight, FW_BOLD);
    EXPECT_EQ(SelectObject(Dc, F), GetStockObject(SYSTEM_FONT));
    EXPECT_EQ(GetCurrentObject(Dc, OBJ_FONT), F);
    EXPECT_FALSE(DeleteObject(F)) << "selected";
    const int Depth = SaveDC(Dc);
    SelectObject(Dc, GetStockObject(SYSTEM_FONT));
    EXPECT_FALSE(DeleteObject(F)) << "kept by a save";
    RestoreDC(Dc, Depth);
    EXPECT_EQ(GetCurrentObject(Dc, OBJ_FONT), F);
    SelectObject(Dc, GetStockObject(SYSTEM_FONT));
    EXPECT_TRUE(DeleteObject(F));
    EXPECT_FALSE(GetFontObject(F, Out));
    // The stock font names no installed font.
    EXPECT_EQ(GetFontData(Dc, 0, 0, nullptr, 0), GDI_ERROR);
    DeleteDC(Dc);
}

TEST(PlatformFonts, FontDataOfCollectionsFacesAndTables) {
    VPL_REQUIRE_TOOL("fc-match");
    const auto [WqyFile, WqyIndex] = FcMatch("WenQuanYi Zen Hei Mono");
    const auto [SansFile, SansIndex] = FcMatch("Liberation Sans");
    if (WqyIndex != 1 || SansFile.find("LiberationSans") == std::string::npos)
        GTEST_SKIP() << "WenQuanYi Zen Hei and Liberation Sans are not installed";
    const std::string Wqy = ReadFile(WqyFile);
    const std::string Sans = ReadFile(SansFile);
    const uint32_t Face1 = BE32(Wqy, 16);  // second entry of the collection's offsets

    TFontDC Collection(u"WenQuanYi Zen Hei Mono");
    TFontDC Single(u"Liberation Sans");
    struct Case {
        HDC Dc;
        uint32_t Table, Offset;
        uint32_t Expected;
    };
    const Case Cases[] = {
        {Collection.Dc, TTCF_TAG, 0, uint32_t(Wqy.size())},
        {Collection.Dc, 0, 0, uint32_t(Wqy.size() - Face1)},
        {Collection.Dc, 0, 100, uint32_t(Wqy.size() - Face1 - 100)},
        {Collection.Dc, FontTag("head"), 0, 54},
        {Collection.Dc, FontTag("head"), 54, 0},
        {Collection.Dc, FontTag("head"), 55, GDI_ERROR},
        {Collection.Dc, FontTag("zzzz"), 0, GDI_ERROR},
        {Single.Dc, TTCF_TAG, 0, GDI_ERROR},
        {Single.Dc, 0, 0, uint32_t(Sans.size())},
        {Single.Dc, 0, uint32_t(Sans.size()) + 1, GDI_ERROR},
    };
    for (const Case& C : Cases)
        EXPECT_EQ(GetFontData(C.Dc, C.Table, C.Offset, nullptr, 0), C.Expected)
            << std::hex << C.Table << " at " << std::dec << C.Offset;

    // Copies: the face's data starts at its table directory, so the
    // collection size less the face size is the face's offset.
    std::string Buffer(64, '\0');
    EXPECT_EQ(GetFontData(Collection.Dc, 0, 0, Buffer.data(), 64), 64u);
    EXPECT_EQ(Buffer, Wqy.substr(Face1, 64));
    EXPECT_EQ(GetFontData(Single.Dc, 0, uint32_t(Sans.size()) - 10, Buffer.data(), 64), 10u);
    EXPECT_EQ(Buffer.substr(0, 10), Sans.substr(Sans.size() - 10));
    // The shared face data is the same bytes, built once.
    auto Data = GetFaceData(WqyFile, 1);
    ASSERT_TRUE(Data);
    EXPECT_EQ(*Data, Wqy.substr(Face1));
    EXPECT_EQ(Data.get(), GetFaceData(WqyFile, 1).get());
    EXPECT_EQ(GetFaceData(WqyFile, 3), nullptr);
    EXPECT_EQ(GetFaceData(SansFile, 1), nullptr);
}

TEST(PlatformFonts, GlyphOutlineCallSizesCopiesAndMeasures) {
    TFontDC Sans(u"Liberation Sans");
    if (GetFontData(Sans.Dc, 0, 0, nullptr, 0) == GDI_ERROR) GTEST_SKIP() << "no Liberation Sans";
    GLYPHMETRICS M;
    const uint32_t Size = GetGlyphOutlineW(Sans.Dc, 'A', GGO_NATIVE, &M, 0, nullptr);
    ASSERT_NE(Size, GDI_ERROR);
    ASSERT_GT(Size, 16u);
    // Advance 1366 of 2048 units at 1000 pixels per em.
    EXPECT_EQ(M.gmCellIncX, 667);
    std::string Buffer(Size, '\0');
    EXPECT_EQ(GetGlyphOutlineW(Sans.Dc, 'A', GGO_NATIVE, nullptr, Size, Buffer.data()), Size);
    uint32_t Type;
    std::memcpy(&Type, Buffer.data() + 4, 4);
    EXPECT_EQ(Type, TT_POLYGON_TYPE);
    EXPECT_EQ(GetGlyphOutlineW(Sans.Dc, 'A', GGO_NATIVE, nullptr, Size - 1, Buffer.data()),
              GDI_ERROR);
    EXPECT_EQ(GetGlyphOutlineW(Sans.Dc, 'A', 1 /* GGO_BITMAP */, nullptr, 0, nullptr), GDI_ERROR);
    // A space has an advance and no contours.
    EXPECT_EQ(GetGlyphOutlineW(Sans.Dc, ' ', GGO_NATIVE, &M, 0, nullptr), 0u);
    EXPECT_EQ(M.gmCellIncX, 278);
}

TEST(PlatformFonts, SyntheticStylesAreKept) {
    TResolvedFont R;
    // Liberation Sans has a bold italic face; WenQuanYi Zen Hei has only a
    // regular one, which stands for both.
    if (!ResolvePlatformFont({"Liberation Sans", true, true, 1, 16}, R)) GTEST_SKIP();
    EXPECT_FALSE(R.SyntheticBold);
    EXPECT_FALSE(R.SyntheticOblique);
    TResolvedFont W;
    ASSERT_TRUE(ResolvePlatformFont({"WenQuanYi Zen Hei", true, true, 1, 16}, W));
    if (W.File.find("wqy") == std::string::npos) GTEST_SKIP();
    EXPECT_TRUE(W.SyntheticBold);
    EXPECT_TRUE(W.SyntheticOblique);
}

}  // namespace
}  // namespace velmo::platform
