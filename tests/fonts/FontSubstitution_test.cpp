// Installed faces chosen for fonts without a program, asserted as the
// platform font request (family, style, character set) over family lists
// the test gives.
#include "fonts/FontSubstitution.h"

#include <gtest/gtest.h>

#include <string>

#include "core/Glyphs.h"
#include "tests/fonts/FamilyLists.h"

namespace velmo {
namespace {

const std::vector<std::string> kLatin = {
    "Arial", "Courier New", "Foo Bar",         "Gill Sans", "Minion Pro",
    "Segoe", "Segoe Bold",  "Times New Roman", "Verdana",
};

TEST(FontSubstitution, MatchSystemFontNamesAndFlags) {
    TGivenFamilies Given({{1, kLatin}});
    struct TCase {
        const char* BaseFont;
        int32_t Flags;
        const char* Family;
        bool Bold, Italic;
    };
    const TCase Cases[] = {
        {"Arial-BoldMT", 0, "Arial", true, false},
        {"ABCDEF+Helvetica-Oblique", 0, "Arial", false, true},
        {"Helvetica-BoldOblique", 0, "Arial", true, true},
        {"Times-Roman", 0, "Times New Roman", false, false},  // standard name, compact form
        {"CourierNewPS-BoldMT", 0, "Courier New", true, false},
        {"Verdana-Bold", 0, "Verdana", true, false},
        {"FooBar-Italic", 0, "Foo Bar", false, true},  // compact form of the family
        {"MinionPro-It", 0, "Minion Pro", false, true},
        {"GillSans-Regular", 0, "Gill Sans", false, false},  // "Regular" dropped
        {"Segoe-Bold", 0, "Segoe Bold", true, false},        // family named with the style
        {"abcdef+Verdana", 0, "Arial", false, false},        // lower case: no subset tag
        // Nothing found: the flags choose, and the name's style is not kept.
        {"NoSuchFont", 66, "Times New Roman", false, true},
        {"NoSuchFont-Bold", 0, "Arial", false, false},
        {"NoSuchFont", 1, "Courier New", false, false},
        {"NoSuchFont", 3, "Times New Roman", false, false},
        {"", 64, "Arial", false, true},
    };
    for (const TCase& C : Cases) {
        platform::TPlatformFont Font;
        MatchSystemFont(Font, C.BaseFont, C.Flags);
        EXPECT_EQ(Font.Family, C.Family) << C.BaseFont;
        EXPECT_EQ(Font.Bold, C.Bold) << C.BaseFont;
        EXPECT_EQ(Font.Italic, C.Italic) << C.BaseFont;
    }
}

TEST(FontSubstitution, CIDToUnicodeTableByCMap) {
    struct TCase {
        const char* Encoding;
        const char* SystemInfo;
        int CharSet;
        int CodePage;  // 0: no table
    };
    const TCase Cases[] = {
        {"UniJIS-UCS2-H", "Adobe-Japan1-6", 128, 932},
        {"90ms-RKSJ-H", "", 128, 932},
        {"H", "", 128, 932},
        {"78-EUC-V", "", 128, 932},
        {"Hiragana", "", 128, 932},
        {"GBK-EUC-H", "", 134, 936},
        {"KSC-EUC-H", "", 129, 949},
        {"UniKS-UCS2-H", "", 129, 949},
        {"ETen-B5-H", "", 136, 950},
        {"UniCNS-UCS2-V", "", 136, 950},
        {"Identity-H", "Adobe-Korea1-2", 129, 949},
        {"Identity-V", "Adobe-GB1-5", 134, 936},
        {"Identity-H", "Adobe-CNS1-0", 136, 950},
        {"Identity-H", "Adobe-Japan1-4", 128, 932},
        {"Identity-H", "Adobe-Identity-0", 0, 0},
        {"Foo-H", "Adobe-Japan1-4", 0, 0},  // only Identity looks at the collection
    };
    TPDFCMapResources CMaps;
    for (const TCase& C : Cases) {
        const TCIDTableChoice R = SelectCIDToUnicodeTable(CMaps, C.Encoding, C.SystemInfo);
        EXPECT_EQ(R.CharSet, C.CharSet) << C.Encoding << " " << C.SystemInfo;
        EXPECT_EQ(R.Table, C.CodePage ? GetCIDToUnicodeTable(C.CodePage) : nullptr) << C.Encoding;
        EXPECT_EQ(R.CMapId, CMaps.GetCMAP(C.Encoding)) << C.Encoding;
    }
}

TEST(FontSubstitution, CJKFaceByNamePanoseAndFlags) {
    struct TCase {
        const char* BaseFont;
        std::string Panose;
        int32_t Flags;
        bool TrueType;
        const char* Face;
        int CharSet;  // in 134; out as given
    };
    const std::string GothicP("\x02\x0b\x06\x09\x00", 5), Gothic("\x02\x0b\x06\x00", 4),
        MinchoP("\x02\x02\x06\x09", 4), Mincho("\x02\x02\x06\x00", 4), Other("\x03\x01\x01\x01", 4);
    const TCase Cases[] = {
        {"HGPGothicE", "", 0, true, "MS PGothic", 134},
        {"HGPSoeiKakugothicUB", "", 14, true, "MS PMincho", 134},
        {"HGSSoeiKakugothicUB", "", 6, true, "MS PGothic", 134},
        {"MS-Mincho", "", 0, true, "MS Mincho", 128},  // the character set is forced
        {"ＭＳＰ明朝", "", 0, true, "MS PMincho", 134},
        {"ＭＳ ゴシック", "", 0, true, "MS Gothic", 134},
        {"新細明體", "", 0, true, "PMingLiu", 134},
        {"標楷體-Bold", "", 0, true, "DFKai-SB", 134},
        {"PMingLiU", "", 0, true, "PMingLiU", 134},
        {"MatissePlus-M", "", 0, true, "MS PGothic", 134},
        {"MatissePlus-M", "", 0, false, "MS PMincho", 134},
        {"KozMinPr6N-Regular", "", 0, false, "MS PMincho", 134},
        {"HeiseiKakuGo-W5", "", 0, false, "MS Gothic", 134},
        {"HYGoThic-Medium", "", 0, false, "Dotum", 134},
        {"HYGoThic-Medium", "", 0, true, "HYGoThic-Medium", 134},  // a Type 1 name only
        // No name rule: Panose bytes 1, 2 and 4.
        {"Foo", GothicP, 0, true, "MS PGothic", 134},
        {"Foo", Gothic, 2, false, "MS Gothic", 134},
        {"Foo", MinchoP, 0, true, "MS PMincho", 134},
        {"Foo", Mincho, 0, true, "MS Mincho", 134},
        {"Foo", Other, 4, true, "MS Mincho", 134},
        // Then the flags, per flavour.
        {"Foo", "", 3, true, "MS Mincho", 134},
        {"Foo", "", 3, false, "MS PMincho", 134},
        {"Foo", "", 5, true, "MS Gothic", 134},
        {"Foo", "", 5, false, "MS PGothic", 134},
        {"Foo", "", 9, true, "MS Mincho", 134},
        {"Foo", "", 9, false, "MS PMincho", 134},
        {"Foo", "", 1, true, "MS Mincho", 134},
        {"Foo", "", 1, false, "MS Mincho", 134},
        {"Foo", "", 14, true, "MS PMincho", 134},
        {"Foo", "", 14, false, "MS Mincho", 134},
        {"Foo", "", 2, true, "MS PMincho", 134},
        {"Foo", "", 4, true, "MS PGothic", 134},
        {"Foo", "", 4, false, "MS Gothic", 134},
        {"Foo", "", 8, true, "MS PMincho", 134},
        {"Foo", "", 8, false, "MS Mincho", 134},
        {"Foo", "", 32, true, "Foo", 134},
        {"", "", 32, true, "MS Mincho", 134},
        {"Foo", "", 32, false, "MS Mincho", 134},
    };
    for (const TCase& C : Cases) {
        int CharSet = 134;
        EXPECT_EQ(ChooseCJKFace(C.BaseFont, C.Panose, C.Flags, C.TrueType, CharSet), C.Face)
            << C.BaseFont << " flags " << C.Flags << " truetype " << C.TrueType;
        EXPECT_EQ(CharSet, C.CharSet) << C.BaseFont;
    }
}

TEST(FontSubstitution, CJKSystemFontByFamilyListsOfTheCharacterSet) {
    struct TCase {
        std::vector<std::string> Families;  // of the character set
        const char* BaseFont;
        int CharSet;
        const char* Face;
        const char* Family;  // empty: left as made
        bool Bold, Italic;
    };
    const TCase Cases[] = {
        {{"MS PMincho"}, "KozMinPr6N-Regular", 128, "MS PMincho", "MS PMincho", false, false},
        {{"ms pmincho"}, "Foo,Bold", 128, "MS PMincho", "MS PMincho", true, false},
        {{"ＭＳＰ明朝"}, "Foo,Italic", 128, "MS PMincho", "ＭＳＰ明朝", false, true},
        {{"ＭＳ Ｐ明朝"}, "Foo,BoldItalic", 128, "MS PMincho", "ＭＳ Ｐ明朝", true, true},
        {{"ＭＳ ゴシック", "ＭＳゴシック"}, "Foo", 128, "MS Gothic", "ＭＳゴシック", false, false},
        {{"新細明體"}, "Foo", 136, "PMingLiu", "新細明體", false, false},
        {{"宋體"}, "Foo", 134, "SimSun", "宋體", false, false},
        // Nothing of that name: the Latin match over all families, which
        // ends in the default face.
        {{"Batang"}, "Foo", 129, "Dotum", "Arial", false, false},
        // No family at all in the character set: the font stays as made.
        {{}, "Foo", 129, "Dotum", "", false, false},
    };
    for (const TCase& C : Cases) {
        TGivenFamilies Given({{C.CharSet, C.Families}, {1, kLatin}});
        platform::TPlatformFont Font;
        Font.Family.clear();
        SetupCJKSystemFont(Font, C.BaseFont, C.CharSet, C.Face);
        EXPECT_EQ(Font.Family, C.Family) << C.Face;
        EXPECT_EQ(Font.CharSet, C.CharSet) << C.Face;
        EXPECT_EQ(Font.Bold, C.Bold) << C.BaseFont;
        EXPECT_EQ(Font.Italic, C.Italic) << C.BaseFont;
    }
}

}  // namespace
}  // namespace velmo
