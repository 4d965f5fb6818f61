#include "core/Glyphs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <sstream>

#include "core/Encodings.h"
#include "core/Flate.h"
#include "core/FontConst.h"
#include "resources/Resources.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

const char* const kAfmDir = "/usr/share/fonts/type1/urw-base35/";

struct Afm {
    std::map<std::string, int> WidthByName;
    std::map<int, int> WidthByCode;
    std::map<int, std::string> NameByCode;
};

Afm ReadAfm(const std::string& file) {
    Afm afm;
    std::istringstream in(vpltest::ReadFile(std::string(kAfmDir) + file));
    std::string line;
    while (std::getline(in, line)) {
        int code = 0;
        int width = 0;
        char name[128];
        if (std::sscanf(line.c_str(), "C %d ; WX %d ; N %127s", &code, &width, name) != 3) continue;
        afm.WidthByName.emplace(name, width);
        if (code >= 0) {
            afm.WidthByCode[code] = width;
            afm.NameByCode[code] = name;
        }
    }
    return afm;
}

TEST(GlyphList, EveryNameOfTheListGivesItsFirstCodePoint) {
    std::istringstream in(vpltest::ReadFile(vpltest::SourceDir() / "resources/data/glyphlist.txt"));
    std::string line;
    int names = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        auto semi = line.find(';');
        std::string name = line.substr(0, semi);
        unsigned expected = std::stoul(line.substr(semi + 1, 4), nullptr, 16);
        ASSERT_EQ(GlyphNameToUnicode(name), expected) << name;
        ++names;
    }
    EXPECT_EQ(names, 4281);
    EXPECT_EQ(GlyphList().size(), 62992u);
}

TEST(GlyphList, NameConversions) {
    struct Case {
        const char* Name;
        std::uint16_t Expected;
    };
    const Case cases[] = {
        {"A", 65},
        {"uni0041", 0},
        {"C65", 65},
        {"Cx", 0},
        {".notdef", 0},
        {"a1", 0},
        {"", 0},
        {"space", 32},
        {"C", 0x43},
        {"C70000", 70000 & 0xFFFF},
        {"C2147483647", 0xFFFF},
        // Digit runs beyond 32 bits are no number: the plain look-up answers.
        {"C99999999999", 0},
        {"C2147483648", 0},
        {"Delta", 0x2206},
        {"zeta", 0x03B6},
        {"[bracket", 0},
        {"~", 0},
        {"aabengali", 0x0986},
    };
    for (const Case& c : cases) EXPECT_EQ(GlyphNameToUnicode(c.Name), c.Expected) << c.Name;
}

TEST(GlyphList, NamesToWinAnsiAndUnicode) {
    TPDFCharsetNames names;
    names[0] = "A";
    names[1] = "CID:66";
    names[2] = "CID:x";  // bad number text: code 0, no exception
    names[3] = "CID:99999999999";
    names[4] = "Euro";
    names[5] = "fi";     // no WinAnsi code
    names[6] = "minus";  // U+2212 in the glyph list: no WinAnsi code
    names[7] = "CID: 67";
    std::array<std::string, 256> win;
    ASSERT_NO_THROW(win = GlyphNamesToWinAnsi(names));
    EXPECT_EQ(win[0], "A");
    EXPECT_EQ(win[1], "B");
    EXPECT_EQ(win[2], std::string(1, '\0'));
    EXPECT_EQ(win[3], std::string(1, '\0'));
    EXPECT_EQ(win[4], "\x80");
    EXPECT_EQ(win[5], std::string(1, '\0'));
    EXPECT_EQ(win[6], std::string(1, '\0'));
    EXPECT_EQ(win[7], "C");
    EXPECT_EQ(win[255], std::string(1, '\0'));

    auto uni = GlyphNamesToUnicode(names);
    EXPECT_EQ(uni[0], u"A");
    EXPECT_EQ(uni[4], u"\u20AC");
    EXPECT_EQ(uni[2], std::u16string(1, u'\0'));
}

TEST(GlyphList, UnicodeLookups) {
    EXPECT_EQ(UnicodeToWinAnsi(0xFB01), 0);
    EXPECT_EQ(UnicodeToWinAnsi(0x20AC), 128);
    EXPECT_EQ(UnicodeToWinAnsi(0x002D), 45);
    EXPECT_EQ(UnicodeToWinAnsi(0x0041), 65);
    EXPECT_EQ(UnicodeToWinAnsi(0x4E00), 0);
    EXPECT_EQ(UnicodeToGlyphName(0x0041), "A");
    EXPECT_EQ(UnicodeToGlyphName(0x002D), "hyphen");
    EXPECT_EQ(UnicodeToGlyphName(0x0391), "Alpha");  // from the Symbol set
    EXPECT_EQ(UnicodeToGlyphName(0x4E00), "");
    EXPECT_EQ(GetStandardGlyphNumber("A"), 1);
    EXPECT_EQ(GetStandardGlyphNumber("zero"), 229);
    EXPECT_EQ(GetStandardGlyphNumber("a"), GetStandardGlyphNumber("Zcaron") + 1);
    EXPECT_EQ(GetStandardGlyphNumber("SPACE"), 0);
    EXPECT_EQ(GetStandardGlyphNumber(""), 0);
}

TEST(StandardLatinSet, SortedWithTheUnicodeValuesOfTheGlyphList) {
    for (int i = 0; i < kStandardGlyphCount; ++i) {
        const char* name = StandardLatinCharSet[i].Name;
        if (i > 0) {
            EXPECT_LT(std::string_view(StandardLatinCharSet[i - 1].Name), name);
        }
        std::uint16_t expected =
            std::string_view(name) == "minus" ? 0x2D : GlyphNameToUnicode(name);
        EXPECT_EQ(StandardGlyphUnicodes[i], expected) << name;
        EXPECT_EQ(GetStandardGlyphNumber(name), i + 1);
        EXPECT_EQ(StandardGlyphMacRomanCodes()[i], StandardLatinCharSet[i].MacRoman);
    }
}

// The Latin encodings of PDF (the four columns of the Latin character set).
TEST(StandardLatinSet, EncodingColumns) {
    struct Row {
        const char* Name;
        int Std, Mac, Win, Pdf;
    };
    const Row rows[] = {
        {"A", 65, 65, 65, 65},
        {"AE", 225, 174, 198, 198},
        {"Euro", -1, -1, 128, 160},
        {"quoteright", 39, 213, 146, 144},
        {"quotesingle", 169, 39, 39, 39},
        {"grave", 193, 96, 96, 96},
        {"quoteleft", 96, 212, 145, 143},
        {"bullet", 183, 165, 149, 128},
        {"fi", 174, 222, -1, 147},
        {"dotlessi", 245, 245, -1, 154},
        {"currency", 168, 219, 164, 164},
        {"Lslash", 232, -1, -1, 149},
        {"tilde", 196, 247, 152, 31},
        {"space", 32, 32, 32, 32},
        {"hyphen", 45, 45, 45, 45},
        {"minus", -1, -1, -1, 138},
        {"breve", 198, 249, -1, 24},
        {"Ydieresis", -1, 217, 159, 152},
        {"onehalf", -1, -1, 189, 189},
        {"germandbls", 251, 167, 223, 223},
        {"fraction", 164, 218, -1, 135},
        {"florin", 166, 196, 131, 134},
        {"brokenbar", -1, -1, 166, 166},
        {"mu", -1, 181, 181, 181},
        {"ydieresis", -1, 216, 255, 255},
        {"zcaron", -1, -1, 158, 158},
    };
    for (const Row& r : rows) {
        int n = GetStandardGlyphNumber(r.Name);
        ASSERT_GT(n, 0) << r.Name;
        const TStandardGlyph& g = StandardLatinCharSet[n - 1];
        EXPECT_EQ(g.Standard, r.Std) << r.Name;
        EXPECT_EQ(g.MacRoman, r.Mac) << r.Name;
        EXPECT_EQ(g.WinAnsi, r.Win) << r.Name;
        EXPECT_EQ(g.PDFDoc, r.Pdf) << r.Name;
    }
    int counts[4] = {};
    std::set<int> seen[4];
    std::vector<std::string> noWinAnsi;
    for (const TStandardGlyph& g : StandardLatinCharSet) {
        const int codes[4] = {g.Standard, g.MacRoman, g.WinAnsi, g.PDFDoc};
        for (int k = 0; k < 4; ++k) {
            if (codes[k] < 0) continue;
            ++counts[k];
            EXPECT_TRUE(seen[k].insert(codes[k]).second) << "code used twice: " << codes[k];
        }
        if (g.WinAnsi < 0) noWinAnsi.push_back(g.Name);
    }
    EXPECT_EQ(counts[0], 149);
    EXPECT_EQ(counts[1], 207);
    EXPECT_EQ(counts[2], 216);
    EXPECT_EQ(counts[3], 229);
    EXPECT_EQ(noWinAnsi, (std::vector<std::string>{
                             "Lslash", "breve", "caron", "dotaccent", "dotlessi", "fi", "fl",
                             "fraction", "hungarumlaut", "lslash", "minus", "ogonek", "ring"}));
    // StandardEncoding is the built-in encoding of the Latin standard fonts.
    Afm helvetica = ReadAfm("NimbusSans-Regular.afm");
    for (const TStandardGlyph& g : StandardLatinCharSet) {
        if (g.Standard >= 0) {
            EXPECT_EQ(helvetica.NameByCode[g.Standard], g.Name);
        }
    }
    EXPECT_EQ(helvetica.NameByCode.size(), 149u);
}

TEST(Encodings, GlyphNamesOfTheBaseEncodings) {
    TPDFCharsetNames n;
    GetEncodingGlyphNames(peWinAnsi, n);
    EXPECT_EQ(n[65], "A");
    EXPECT_EQ(n[128], "Euro");
    EXPECT_EQ(n[129], "bullet");
    EXPECT_EQ(n[160], "space");
    EXPECT_EQ(n[173], "hyphen");
    EXPECT_EQ(n[31], ".notdef");
    EXPECT_EQ(n[32], "space");
    EXPECT_EQ(n[39], "quotesingle");

    GetEncodingGlyphNames(peMacExpertEncoding, n);
    EXPECT_EQ(n[190], "AEsmall");
    EXPECT_EQ(n[32], "space");
    EXPECT_EQ(n[65], ".notdef");

    GetEncodingGlyphNames(peMacRoman, n);
    EXPECT_EQ(n[202], "space");
    EXPECT_EQ(n[219], "currency");
    EXPECT_EQ(n[240], ".notdef");

    GetEncodingGlyphNames(peStandard, n);
    EXPECT_EQ(n[39], "quoteright");
    EXPECT_EQ(n[96], "quoteleft");
    EXPECT_EQ(n[128], ".notdef");

    GetEncodingGlyphNames(pePDFDoc, n);
    EXPECT_EQ(n[24], "breve");
    EXPECT_EQ(n[160], "Euro");
    EXPECT_EQ(n[173], ".notdef");

    GetEncodingGlyphNames(peSymbol, n);
    EXPECT_EQ(n[65], "Alpha");
    EXPECT_EQ(n[68], "Delta");
    EXPECT_EQ(n[160], "Euro");
    EXPECT_EQ(n[0], "");
    EXPECT_EQ(n[127], "");

    GetEncodingGlyphNames(peIdentityH, n);
    for (const auto& name : n) EXPECT_EQ(name, ".notdef");

    TPDFCharsetNames u;
    u[7] = "stale";
    GetEncodingUnicodeNames(peSymbol, u);
    EXPECT_EQ(u[65], "U+0391");
    EXPECT_EQ(u[68], "U+2206");
    EXPECT_EQ(u[160], "U+20AC");
    EXPECT_EQ(u[7], "");
    GetEncodingUnicodeNames(peWinAnsi, u);
    EXPECT_EQ(u[65], "");
}

TEST(StandardFonts, EveryWidthEqualsTheInstalledMetrics) {
    const char* const files[12] = {
        "NimbusMonoPS-Regular.afm",  "NimbusMonoPS-Bold.afm",  "NimbusMonoPS-BoldItalic.afm",
        "NimbusMonoPS-Italic.afm",   "NimbusSans-Regular.afm", "NimbusSans-Bold.afm",
        "NimbusSans-BoldItalic.afm", "NimbusSans-Italic.afm",  "NimbusRoman-Regular.afm",
        "NimbusRoman-Bold.afm",      "NimbusRoman-Italic.afm", "NimbusRoman-BoldItalic.afm"};
    TPDFCharsetNames names;
    for (int i = 0; i < 256; ++i)
        names[i] = i < kStandardGlyphCount ? StandardLatinCharSet[i].Name : "foo";
    for (int f = 0; f < 12; ++f) {
        Afm afm = ReadAfm(files[f]);
        std::array<double, 256> w{};
        GetStandardFontWidths(f + 1, names, w);
        for (int i = 0; i < kStandardGlyphCount; ++i) {
            ASSERT_TRUE(afm.WidthByName.count(names[i])) << files[f] << " " << names[i];
            EXPECT_EQ(StandardFontWidths[f][i], afm.WidthByName[names[i]]) << files[f] << names[i];
            EXPECT_EQ(w[i], afm.WidthByName[names[i]]);
        }
        EXPECT_EQ(w[255], 750);
    }

    Afm symbol = ReadAfm("StandardSymbolsPS.afm");
    ASSERT_EQ(symbol.NameByCode.size(), static_cast<std::size_t>(kSymbolGlyphCount));
    for (const TSymbolGlyph& g : SymbolEncodingTable) {
        EXPECT_EQ(symbol.NameByCode[g.Code], g.Name);
        EXPECT_EQ(symbol.WidthByCode[g.Code], g.Width) << g.Name;
    }
    for (int code = 32; code <= 254; ++code)
        EXPECT_EQ(SymbolFontWidths()[code - 32],
                  symbol.WidthByCode.count(code) ? symbol.WidthByCode[code] : 0);
    TPDFCharsetNames symNames;
    GetEncodingGlyphNames(peSymbol, symNames);
    symNames[0] = "foo";
    std::array<double, 256> w{};
    GetStandardFontWidths(13, symNames, w);
    EXPECT_EQ(w[65], 722);  // Alpha
    EXPECT_EQ(w[66], 667);  // Beta
    EXPECT_EQ(w[0], 750);

    Afm dingbats = ReadAfm("D050000L.afm");
    for (int code = 32; code <= 254; ++code)
        EXPECT_EQ(DingbatsFontWidths[code - 32],
                  dingbats.WidthByCode.count(code) ? dingbats.WidthByCode[code] : 0)
            << code;
    std::array<double, 256> d;
    d.fill(-1);
    GetStandardFontWidths(14, names, d);
    EXPECT_EQ(d[32], 278);
    EXPECT_EQ(d[33], 974);
    EXPECT_EQ(d[254], 918);
    EXPECT_EQ(d[31], -1);
    EXPECT_EQ(d[255], -1);

    std::array<double, 256> untouched;
    untouched.fill(3);
    GetStandardFontWidths(15, names, untouched);
    GetStandardFontWidths(0, names, untouched);
    EXPECT_EQ(untouched[65], 3);
}

TEST(StandardFonts, PublishedSamples) {
    TPDFCharsetNames win;
    GetEncodingGlyphNames(peWinAnsi, win);
    win[1] = "foo";
    std::array<double, 256> w{};
    GetStandardFontWidths(5, win, w);
    EXPECT_EQ(w[32], 278);
    EXPECT_EQ(w[65], 667);
    EXPECT_EQ(w[97], 556);
    EXPECT_EQ(w[1], 750);
    GetStandardFontWidths(6, win, w);
    EXPECT_EQ(w[65], 722);
    GetStandardFontWidths(9, win, w);
    EXPECT_EQ(w[65], 722);
    EXPECT_EQ(w[97], 444);
    EXPECT_EQ(w[32], 250);
    GetStandardFontWidths(10, win, w);
    EXPECT_EQ(w['W'], 1000);
    GetStandardFontWidths(11, win, w);
    EXPECT_EQ(w[65], 611);
    GetStandardFontWidths(1, win, w);
    EXPECT_EQ(w[65], 600);
}

TEST(FontConst, CIDUnicodeTableAndCJKWidths) {
    EXPECT_EQ(CIDUnicodeTable[0], -1);
    EXPECT_EQ(CIDUnicodeTable[1], 0x20);
    EXPECT_EQ(CIDUnicodeTable[8], 0x2019);
    EXPECT_EQ(CIDUnicodeTable[65], 0x2018);
    EXPECT_EQ(CIDUnicodeTable[95], 0x7E);
    const auto& cjk = CJKWidthData();
    EXPECT_EQ(FlateDecompress(cjk[0]), "");
    EXPECT_EQ(FlateDecompress(cjk[1]), "");
    EXPECT_EQ(FlateDecompress(cjk[2]), "");
    std::string w = FlateDecompress(cjk[3]);
    EXPECT_EQ(w.size(), 429u);
    EXPECT_EQ(w.substr(0, 12), "[ 1 [ 278 27");
    EXPECT_EQ(w.substr(w.size() - 17), "8094 8190 500 ]\r\n");
    EXPECT_EQ(&CJKWidthData(), &cjk);
}

TEST(FontConst, DingbatsFontHasTrueTypeOutlines) {
    std::string ttf = GetDingbatsFontData();
    ASSERT_GT(ttf.size(), 12u);
    EXPECT_EQ(ttf.substr(0, 4), std::string("\0\1\0\0", 4));
    // Table directory: a glyf and a loca table, no CFF outlines.
    int tables = static_cast<unsigned char>(ttf[4]) << 8 | static_cast<unsigned char>(ttf[5]);
    std::set<std::string> tags;
    for (int i = 0; i < tables; ++i) tags.insert(ttf.substr(12 + 16 * i, 4));
    EXPECT_TRUE(tags.count("glyf"));
    EXPECT_TRUE(tags.count("loca"));
    EXPECT_TRUE(tags.count("cmap"));
    EXPECT_FALSE(tags.count("CFF "));
    EXPECT_EQ(GetDingbatsFontData(), ttf);
}

}  // namespace
}  // namespace velmo
