#include "fonts/FontSubstitution.h"

#include <array>
#include <cctype>

#include "core/CMap.h"
#include "core/Glyphs.h"
#include "core/StringList.h"

namespace velmo {

namespace {

struct TStandardRow {
    const char* Names;  // every accepted name followed by "*"
    const char* StandsFor;
};

constexpr std::array<TStandardRow, 14> kStandardFonts = {{
    {"Courier*CourierNew*CourierNewPS*", "CourierNew"},
    {"Courier-Bold*Courier,Bold*CourierNew-Bold*CourierNew,Bold*CourierNewPS,Bold*"
     "CourierNewPS,BoldMT,Bold*CourierNewPS-Bold*",
     "CourierNew,Bold"},
    {"Courier-BoldOblique*Courier,BoldItalic*CourierNew-BoldItalic*CourierNew,BoldItalic*"
     "CourierNewPS-BoldItalic*",
     "CourierNew,BoldItalic"},
    {"Courier-Oblique*Courier,Italic*CourierNew-Italic*CourierNew,Italic*CourierNewPS-Italic*"
     "CourierNewPS,ItalicMT,Italic*",
     "CourierNew,Italic"},
    {"Helvetica*Arial*ArialMT*HelveticaNeue-Roman*HelveticaNeue-UltraLight*", "Arial"},
    {"Helvetica-Bold*Arial,BoldMT,Bold*Helvetica,Bold*Arial-Bold*Arial,Bold*Arial-Bold*"
     "HelveticaNeue,Bold*",
     "Arial,Bold"},
    {"Helvetica-BoldOblique*Helvetica-BoldItalic*Helvetica,BoldItalic*Arial-BoldItalic*"
     "Arial,BoldItalic*",
     "Arial,BoldItalic"},
    {"Helvetica-Oblique*Helvetica-Italic*Helvetica,Italic*Arial-Italic*Arial,Italic*",
     "Arial,Italic"},
    {"Times-Roman*TimesNewRoman*TimesNewRomanPS*", "TimesNewRoman"},
    {"Times-Bold*TimesNewRoman-Bold*TimesNewRoman,Bold*TimesNewRomanPS-Bold*"
     "TimesNewRomanPS,Bold*",
     "TimesNewRoman,Bold"},
    {"Times-Italic*TimesNewRoman-Italic*TimesNewRoman,Italic*TimesNewRomanPS-Italic*",
     "TimesNewRoman,Italic"},
    {"Times-BoldItalic*TimesNewRoman-BoldItalic*TimesNewRoman,BoldItalic*"
     "TimesNewRomanPS-BoldItalic*",
     "TimesNewRoman,BoldItalic"},
    {"Symbol*", "Symbol"},
    {"ZapfDingbats*", "ZapfDingbats"},
}};

bool EndsWith(std::string_view S, std::string_view T) {
    return S.size() >= T.size() && S.substr(S.size() - T.size()) == T;
}

bool SameNoCase(std::string_view A, std::string_view B) {
    if (A.size() != B.size()) return false;
    for (size_t I = 0; I < A.size(); ++I)
        if (std::tolower(static_cast<unsigned char>(A[I])) !=
            std::tolower(static_cast<unsigned char>(B[I])))
            return false;
    return true;
}

std::string Compact(std::string_view Family) {
    std::string C;
    for (char Ch : Family)
        if (Ch != ' ' && Ch != '-') C.push_back(Ch);
    return C;
}

void ReplaceAll(std::string& S, std::string_view From, std::string_view To) {
    for (size_t P = S.find(From); P != std::string::npos; P = S.find(From, P + To.size()))
        S.replace(P, From.size(), To);
}

// True when Family is installed for character set Charset (its list
// compared without case).
bool Installed(int Charset, std::string_view Family) {
    TVelmoPDFStringList* List = GetFontFamiliesByCharset(Charset);
    if (List == nullptr) return false;
    for (int32_t I = 0; I < List->Count(); ++I)
        if (SameNoCase(List->Strings(I), Family)) return true;
    return false;
}

bool StartsWith(std::string_view S, std::string_view P) { return S.substr(0, P.size()) == P; }

}  // namespace

int StandardFontRow(std::string_view Name) {
    if (Name.empty()) return 0;
    const std::string Key = std::string(Name) + "*";
    int Row = 0;
    for (size_t I = 0; I < kStandardFonts.size(); ++I)
        if (std::string_view(kStandardFonts[I].Names).find(Key) != std::string_view::npos)
            Row = int(I) + 1;
    return Row;
}

std::string StandardFontName(int Row) {
    if (Row < 1 || Row > int(kStandardFonts.size())) return {};
    return kStandardFonts[size_t(Row - 1)].StandsFor;
}

void MatchSystemFont(platform::TPlatformFont& Font, std::string_view BaseFont, int32_t Flags) {
    std::string N(BaseFont);
    if (EndsWith(N, "MT")) N.resize(N.size() - 2);
    if (const size_t P = N.find("MT-"); P != std::string::npos) N.erase(P, 3);
    if (N.size() > 7 && N[6] == '+') {
        bool Tag = true;
        for (int I = 0; I < 6; ++I) Tag = Tag && N[size_t(I)] >= 'A' && N[size_t(I)] <= 'Z';
        if (Tag) N.erase(0, 7);
    }
    if (const int Row = StandardFontRow(N); Row > 0) N = StandardFontName(Row);
    if (const size_t P = N.find('+'); P != std::string::npos) N.resize(P);
    for (auto [From, To] : {std::pair{"-Bold", ",Bold"},
                            {"-Medium", ",Bold"},
                            {"-Italic", ",Italic"},
                            {"-It", ",Italic"},
                            {"-Oblique", ",Italic"},
                            {"-BoldItalic", ",BoldItalic"},
                            {"-BoldOblique", ",BoldItalic"}})
        if (EndsWith(N, From)) ReplaceAll(N, From, To);
    ReplaceAll(N, ",Bold,Bold", ",Bold");
    std::erase(N, '-');
    bool Bold = false, Italic = false;
    if (EndsWith(N, ",Bold")) {
        N.resize(N.size() - 5);
        Bold = true;
    }
    if (EndsWith(N, ",Italic")) {
        N.resize(N.size() - 7);
        Italic = true;
    }
    if (EndsWith(N, ",BoldItalic")) {
        N.resize(N.size() - 11);
        Bold = Italic = true;
    }

    if (!N.empty()) {
        TVelmoPDFStringList* List = GetFontFamiliesByCharset(1);
        const int32_t Count = List ? List->Count() : 0;
        auto Search = [&](auto&& Accept) -> bool {
            for (int32_t I = 0; I < Count; ++I) {
                const std::string& Family = List->Strings(I);
                if (Family.empty() || Family[0] != N[0]) continue;
                if (Accept(Family)) {
                    Font.Family = Family;
                    return true;
                }
            }
            return false;
        };
        bool Found = false;
        if (Bold || Italic)
            Found = Search([&](const std::string& F) {
                const std::string C = Compact(F);
                return (Bold && C == N + "Bold") || (Italic && C == N + "Italic");
            });
        if (!Found)
            Found = Search([&](const std::string& F) {
                if (F == N || Compact(F) == N) return true;
                if (F + "Italic" == N) {
                    Italic = true;
                    return true;
                }
                return false;
            });
        if (!Found && EndsWith(N, "Regular")) {
            N.resize(N.size() - 7);
            if (!N.empty())
                Found = Search([&](const std::string& F) { return F == N || Compact(F) == N; });
        }
        if (Found) {
            Font.Bold = Bold;
            Font.Italic = Italic;
            return;
        }
    }
    Font.Family = "Arial";
    if (Flags & 1) Font.Family = "Courier New";
    if (Flags & 2) Font.Family = "Times New Roman";
    if (Flags & 64) Font.Italic = true;
}

TCIDTableChoice SelectCIDToUnicodeTable(TPDFCMapResources& CMaps, std::string_view Encoding,
                                        std::string_view CIDSystemInfo) {
    TCIDTableChoice R;
    R.CMapId = CMaps.GetCMAP(Encoding);
    int CodePage = 0;
    const std::string Starred = "*" + std::string(Encoding) + "*";
    constexpr std::string_view kJapanese =
        "*H*V*78-H*78-V*EUC-H*EUC-V*78-EUC-H*78-EUC-V*Ext-H*Ext-V*NWP-H*NWP-V*Add-H*Add-V*"
        "Hankaku*Hiragana*Katakana*Roman*WP-Symbol*";
    auto Has = [&](std::string_view T) { return Encoding.find(T) != std::string_view::npos; };
    if (Has("JIS") || Has("RKSJ") || kJapanese.find(Starred) != std::string_view::npos) {
        CodePage = 932;
    } else if (Has("GB")) {
        CodePage = 936;
    } else if (Has("KSC") || Has("UniKS")) {
        CodePage = 949;
    } else if (Has("B5") || Has("CNS")) {
        CodePage = 950;
    } else if (StartsWith(Encoding, "Identity-")) {
        if (StartsWith(CIDSystemInfo, "Adobe-Japan1-"))
            CodePage = 932;
        else if (StartsWith(CIDSystemInfo, "Adobe-GB1-"))
            CodePage = 936;
        else if (StartsWith(CIDSystemInfo, "Adobe-Korea1-"))
            CodePage = 949;
        else if (StartsWith(CIDSystemInfo, "Adobe-CNS1-"))
            CodePage = 950;
    }
    switch (CodePage) {
        case 932:
            R.CharSet = 128;
            break;
        case 936:
            R.CharSet = 134;
            break;
        case 949:
            R.CharSet = 129;
            break;
        case 950:
            R.CharSet = 136;
            break;
        default:
            return R;
    }
    try {
        R.Table = GetCIDToUnicodeTable(CodePage);
    } catch (const std::exception&) {
        R.Table = nullptr;
    }
    return R;
}

std::string ChooseCJKFace(std::string_view BaseFont, std::string_view Panose, int32_t Flags,
                          bool TrueTypeFlavour, int& Charset) {
    struct TRule {
        const char* Prefix;
        const char* Face;
    };
    if (TrueTypeFlavour) {
        if (StartsWith(BaseFont, "HGPSoeiKakugothicUB") ||
            StartsWith(BaseFont, "HGSSoeiKakugothicUB"))
            return (Flags & 14) == 14 ? "MS PMincho" : "MS PGothic";
        if (StartsWith(BaseFont, "MS-Mincho")) {
            Charset = 128;
            return "MS Mincho";
        }
        static constexpr TRule kRules[] = {
            {"HGPGothicE", "MS PGothic"},
            {"HGSSoeiKakupoptai", "MS PGothic"},
            {"SimSun", "SimSun"},
            {"HYSMyeongJo", "SimSun"},
            {"HGPSoeiKakupoptai", "MS PMincho"},
            {"YentiEGP-Medium-SJIS", "MS PGothic"},
            {"HGPSoeiPresenceEB", "MS PMincho"},
            {"MS-PGothic", "MS PGothic"},
            {"MS-Gothic", "MS Gothic"},
            {"Century", "MS Gothic"},
            {"ＭＳＰ明朝", "MS PMincho"},
            {"ＭＳ明朝", "MS Mincho"},
            {"ＭＳＰゴシック", "MS PGothic"},
            {"ＭＳゴシック", "MS Gothic"},
            {"ＭＳＰ 明朝", "MS PMincho"},
            {"ＭＳ 明朝", "MS Mincho"},
            {"ＭＳＰ ゴシック", "MS PGothic"},
            {"ＭＳ ゴシック", "MS Gothic"},
            {"Meiryo", "MS PGothic"},
            {"細明體", "MingLiu"},
            {"新細明體", "PMingLiu"},
            {"標楷體", "DFKai-SB"},
            {"宋體", "SimSun"},
            {"新宋體", "NSimSun"},
            {"RodinPlus-DB", "MS PGothic"},
            {"MatissePlus-DB", "MS PGothic"},
            {"MatissePlus-M", "MS PGothic"},
            {"MatissePlus-B", "MS PGothic"},
            {"HGMaruGothicMPRO", "MS PMincho"},
            {"DFKaiShu-SB-Estd-BF", "DFKai-SB"},
            {"PMingLiU", "PMingLiU"},
        };
        for (const TRule& R : kRules)
            if (StartsWith(BaseFont, R.Prefix)) return R.Face;
    } else {
        static constexpr TRule kRules[] = {
            {"HeiseiKakuGo-W5", "MS Gothic"},      {"HYGoThic", "Dotum"},
            {"STSongStd-Light-Acro", "MS Mincho"}, {"AdobeSongStd-Light", "MS PMincho"},
            {"AdobeMingStd-Light", "MS Mincho"},   {"KozMinPr6N", "MS PMincho"},
            {"KozGoPr6N", "MS PGothic"},           {"GothicBBB", "MS PGothic"},
            {"Ryumin-Light", "MS Mincho"},         {"RodinPlus-DB", "MS PGothic"},
            {"MatissePlus-DB", "MS PMincho"},      {"MatissePlus-M", "MS PMincho"},
            {"MatissePlus-B", "MS Mincho"},
        };
        for (const TRule& R : kRules)
            if (StartsWith(BaseFont, R.Prefix)) return R.Face;
    }
    if (!Panose.empty()) {
        auto At = [&](size_t I) { return I < Panose.size() ? uint8_t(Panose[I]) : 0; };
        const uint8_t A = At(0), B = At(1), D = At(3);
        if (A == 2 && B == 11 && D == 9) return "MS PGothic";
        if (A == 2 && B == 11 && D == 0) return "MS Gothic";
        if (A == 2 && B == 2 && D == 9) return "MS PMincho";
        return "MS Mincho";
    }
    const bool Fixed = Flags & 1, Serif = Flags & 2, Symbolic = Flags & 4, Script = Flags & 8;
    if (Fixed) {
        if (Serif) return TrueTypeFlavour ? "MS Mincho" : "MS PMincho";
        if (Symbolic) return TrueTypeFlavour ? "MS Gothic" : "MS PGothic";
        if (Script) return TrueTypeFlavour ? "MS Mincho" : "MS PMincho";
        return "MS Mincho";
    }
    if ((Flags & 14) == 14 || Serif || Script) return TrueTypeFlavour ? "MS PMincho" : "MS Mincho";
    if (Symbolic) return TrueTypeFlavour ? "MS PGothic" : "MS Gothic";
    if (TrueTypeFlavour && !BaseFont.empty()) return std::string(BaseFont);
    return "MS Mincho";
}

void SetupCJKSystemFont(platform::TPlatformFont& Font, std::string_view BaseFont, int Charset,
                        std::string_view Face) {
    if (EndsWith(BaseFont, ",BoldItalic")) {
        Font.Bold = Font.Italic = true;
    } else if (EndsWith(BaseFont, ",Bold")) {
        Font.Bold = true;
    } else if (EndsWith(BaseFont, ",Italic")) {
        Font.Italic = true;
    }
    Font.CharSet = Charset;
    if (Installed(Charset, Face)) {
        Font.Family = std::string(Face);
        return;
    }
    struct TNative {
        const char* Latin;
        const char* Native;
        const char* Spaced;
    };
    static constexpr TNative kNative[] = {
        {"MS PMincho", "ＭＳＰ明朝", "ＭＳ Ｐ明朝"},
        {"MS Mincho", "ＭＳ明朝", "ＭＳ 明朝"},
        {"MS PGothic", "ＭＳＰゴシック", "ＭＳ Ｐゴシック"},
        {"MS Gothic", "ＭＳゴシック", "ＭＳ ゴシック"},
        {"PMingLiu", "新細明體", nullptr},
        {"MingLiu", "細明體", nullptr},
        {"DFKai-SB", "標楷體", nullptr},
        {"NSimSun", "新宋體", nullptr},
        {"SimSun", "宋體", nullptr},
    };
    for (const TNative& N : kNative) {
        if (!StartsWith(Face, N.Latin)) continue;
        if (Installed(Charset, N.Native)) {
            Font.Family = N.Native;
            return;
        }
        if (N.Spaced && Installed(Charset, N.Spaced)) {
            Font.Family = N.Spaced;
            return;
        }
        break;
    }
    TVelmoPDFStringList* List = GetFontFamiliesByCharset(Charset);
    if (List != nullptr && List->Count() > 0) {
        MatchSystemFont(Font, Face, 0);
        Font.CharSet = Charset;
    }
}

}  // namespace velmo
