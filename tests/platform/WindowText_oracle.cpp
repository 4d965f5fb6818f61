// The faces the window layer's text is drawn with against fontconfig's own
// tools under the catalogue's configuration.
#include <gtest/gtest.h>

#include "platform/fonts/DCText.h"
#include "tests/support/CatalogFcTools.h"

namespace velmo {
namespace {

TEST(oracle, ui_font_fallback_agrees_with_fc_match) {
    VPL_REQUIRE_TOOL("fc-match");
    VPL_REQUIRE_TOOL("fc-query");
    const vpltest::TCatalogFcTools Tools;
    const std::u16string Caption = u"OrvekanPDF图片转换工具";
    struct TCase {
        const char16_t* Face;
        int Height, Weight;
        const char* Pattern;  // fc-match's spelling of the same request
    };
    const TCase Cases[] = {
        {u"宋体", -16, FW_NORMAL, "宋体:lang=zh-cn"},
        {u"微软雅黑", 29, FW_NORMAL, "微软雅黑:lang=zh-cn"},
        {u"微软雅黑", 29, FW_BOLD, "微软雅黑:weight=200:lang=zh-cn"},
    };
    TBitmap Pixels(8, 8, pf32bit);
    HDC Dc = CreateCompatibleDC(nullptr);
    HBITMAP Bitmap = AttachBitmapObject(Pixels);
    HGDIOBJ OldBitmap = SelectObject(Dc, Bitmap);
    HGDIOBJ OldFont = nullptr;
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Pattern);
        LOGFONTW L;
        L.lfFaceName = C.Face;
        L.lfHeight = C.Height;
        L.lfWeight = C.Weight;
        L.lfCharSet = 134;  // GB2312
        HFONT Font = CreateFontIndirectW(L);
        HGDIOBJ Old = SelectObject(Dc, Font);
        if (OldFont) DeleteObject(Old);
        else OldFont = Old;
        const auto [Expected, ExpectedIndex] = Tools.Match(C.Pattern);
        ASSERT_FALSE(Expected.empty());
        std::string File;
        int Index = -1;
        ASSERT_TRUE(GetTextFontFile(Dc, 0, File, Index));
        EXPECT_EQ(File, Expected);
        EXPECT_EQ(Index, ExpectedIndex);
        // The caption needs no fallback there: every character is the face's.
        for (char16_t Ch : Caption) {
            EXPECT_TRUE(Tools.Covers(File, Index, Ch)) << int(Ch);
            std::string CharFile;
            int CharIndex = -1;
            EXPECT_TRUE(GetTextFontFile(Dc, Ch, CharFile, CharIndex));
            EXPECT_EQ(CharFile, File);
        }
    }

    // A character the face lacks comes from the first face of fontconfig's
    // sorted list that has it.
    LOGFONTW Latin;
    Latin.lfFaceName = u"Arial";
    Latin.lfHeight = -16;
    HFONT LatinFont = CreateFontIndirectW(Latin);
    DeleteObject(SelectObject(Dc, LatinFont));
    std::string Own, ForCjk;
    int OwnIndex = -1, CjkIndex = -1;
    ASSERT_TRUE(GetTextFontFile(Dc, 0, Own, OwnIndex));
    if (Tools.Covers(Own, OwnIndex, U'图')) GTEST_SKIP() << "the Latin face has CJK characters itself";
    ASSERT_TRUE(GetTextFontFile(Dc, U'图', ForCjk, CjkIndex));
    EXPECT_NE(ForCjk, Own);
    EXPECT_TRUE(Tools.Covers(ForCjk, CjkIndex, U'图'));
    const auto [Sorted, SortedIndex] = Tools.Match("Arial:charset=56fe");
    EXPECT_EQ(ForCjk, Sorted);
    EXPECT_EQ(CjkIndex, SortedIndex);

    DeleteObject(SelectObject(Dc, OldFont));
    SelectObject(Dc, OldBitmap);
    DeleteDC(Dc);
    DetachBitmapObject(Bitmap);
}

}  // namespace
}  // namespace velmo
