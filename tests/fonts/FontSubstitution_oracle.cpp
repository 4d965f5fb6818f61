// The installed files that stand in for the fonts documents name: the file
// our font layer opens is the one fontconfig's own tool picks under the same
// rules, its family is one of the free families the rules name, the CJK
// faces hold their language's characters, and "Symbol" is the built-in font.
#include <ft2build.h>
#include <gtest/gtest.h>
#include FT_FREETYPE_H

#include <fstream>
#include <set>
#include <sstream>

#include "core/Structure.h"
#include "fonts/FontCollection.h"
#include "fonts/TrueTypeRasterizer.h"
#include "platform/fonts/FontCatalog.h"
#include "platform/fonts/PlatformFonts.h"
#include "resources/Resources.h"
#include "tests/support/CatalogFcTools.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

TEST(oracle, font_substitution) {
    VPL_REQUIRE_TOOL("fc-match");
    const vpltest::TCatalogFcTools Tools;
    auto FcMatch = [&](const std::string& Pattern) { return Tools.Match(Pattern); };
    FT_Library Lib = nullptr;
    ASSERT_EQ(FT_Init_FreeType(&Lib), 0);

    const std::set<std::string> CJKFamilies = {"Noto Serif CJK JP", "Noto Sans CJK JP",
                                               "Noto Serif CJK SC", "Noto Serif CJK TC",
                                               "Noto Sans CJK KR",  "WenQuanYi Zen Hei"};
    struct TCase {
        const char* Family;
        bool Bold, Italic;
        int CharSet;
        const char* Pattern;  // fc-match's spelling of the same request
        std::set<std::string> Expected;
        char32_t Sample;  // a character of the language, 0 for none
    };
    const TCase Cases[] = {
        {"Arial", false, false, 1, "Arial:weight=80:slant=0", {"Liberation Sans"}, 0},
        {"Arial", true, false, 1, "Arial:weight=200:slant=0", {"Liberation Sans"}, 0},
        {"Times New Roman",
         false,
         true,
         1,
         "Times New Roman:weight=80:slant=100",
         {"Liberation Serif"},
         0},
        {"Courier New", false, false, 1, "Courier New:weight=80:slant=0", {"Liberation Mono"}, 0},
        {"MS Mincho", false, false, 128, "MS Mincho:weight=80:slant=0:lang=ja", CJKFamilies, U'あ'},
        {"MS PGothic", false, false, 128, "MS PGothic:weight=80:slant=0:lang=ja", CJKFamilies,
         U'あ'},
        {"ＭＳ明朝", false, false, 128, "ＭＳ明朝:weight=80:slant=0:lang=ja", CJKFamilies, U'あ'},
        {"SimSun", false, false, 134, "SimSun:weight=80:slant=0:lang=zh-cn", CJKFamilies, U'中'},
        {"MingLiu", false, false, 136, "MingLiu:weight=80:slant=0:lang=zh-tw", CJKFamilies, U'中'},
        {"DFKai-SB", false, false, 136, "DFKai-SB:weight=80:slant=0:lang=zh-tw", CJKFamilies,
         U'中'},
        {"Dotum", false, false, 129, "Dotum:weight=80:slant=0:lang=ko", CJKFamilies, U'한'},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Pattern);
        const auto [File, Index] = FcMatch(C.Pattern);
        ASSERT_FALSE(File.empty());
        platform::TPlatformFont F{C.Family, C.Bold, C.Italic, C.CharSet, 16};
        platform::TResolvedFont R;
        ASSERT_TRUE(platform::ResolvePlatformFont(F, R));
        EXPECT_EQ(R.File, File);
        EXPECT_EQ(R.FaceIndex, Index);
        FT_Face Face = nullptr;
        ASSERT_EQ(FT_New_Face(Lib, R.File.c_str(), R.FaceIndex, &Face), 0);
        const std::string Family = Face->family_name ? Face->family_name : "";
        EXPECT_TRUE(C.Expected.count(Family)) << "family " << Family;
        if (C.Sample) EXPECT_NE(FT_Get_Char_Index(Face, FT_ULong(C.Sample)), 0u);
        FT_Done_Face(Face);
    }

    // "Symbol" is the built-in font, whatever is installed.
    platform::TResolvedFont Sym;
    ASSERT_TRUE(platform::ResolvePlatformFont({"Symbol", false, false, 1, 16}, Sym));
    EXPECT_EQ(Sym.File, platform::BuiltinSymbolFontFile());
    FT_Face SymFace = nullptr;
    ASSERT_EQ(FT_New_Face(Lib, Sym.File.c_str(), 0, &SymFace), 0);
    const FT_UInt Alpha = FT_Get_Name_Index(SymFace, const_cast<char*>("alpha"));
    EXPECT_NE(Alpha, 0u);
    FT_Done_Face(SymFace);
    FT_Done_FreeType(Lib);

    // /Symbol text: the alpha glyph by the "U+" name of code 0x61, and with
    // a descriptor by the standard name "a" through the byte map.
    TPDFStructure S;
    std::map<int32_t, TPDFObject*> Objects;
    Objects[1] = S.Decode("<< /Type /Font /Subtype /Type1 /BaseFont /Symbol >>");
    Objects[2] =
        S.Decode("<< /Type /Font /Subtype /Type1 /BaseFont /Symbol /FontDescriptor 3 0 R >>");
    Objects[3] = S.Decode("<< /Type /FontDescriptor /FontName /Symbol /Flags 4 >>");
    TPDFFontCollection Col;
    Col.FInstallFonts = true;
    Col.FOnFindObject = [&](TPDFIndRef* Ref) -> TPDFObject* {
        auto It = Objects.find(Ref->ObjNum);
        return It == Objects.end() ? nullptr : It->second;
    };
    for (int32_t Num : {1, 2}) {
        SCOPED_TRACE(Num);
        Col.GetFontData(S.NewIndirectRef(Num, 0));
        TPDFFontCollectionData* E = Col.FoundFontData();
        ASSERT_NE(E, nullptr);
        if (Num == 1) EXPECT_EQ(E->Encoding['a'], "U+03B1");
        auto* T = dynamic_cast<TPDFTrueTypeRasterizer2*>(E->Rasterizer.get());
        ASSERT_NE(T, nullptr);
        EXPECT_EQ(T->GlyphIndexOf(E->Encoding['a']), int32_t(Alpha)) << E->Encoding['a'];
    }
}

}  // namespace
}  // namespace velmo
