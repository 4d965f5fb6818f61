// Type 1 and CFF font programs against FreeType linked into the test: the
// URW base fonts (.t1 in every form a Type 1 program reaches the decoder
// in, .otf through their "CFF " table) and CID-keyed CFF programs built
// with fontTools.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fonts/Type1Decoder.h"
#include "tests/fonts/Type1CffFixtures.h"
#include FT_CID_H
#include FT_TYPE1_TABLES_H
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

using namespace velmo::test;

struct TFreeType {
    FT_Library Lib = nullptr;
    TFreeType() { FT_Init_FreeType(&Lib); }
    ~TFreeType() { FT_Done_FreeType(Lib); }
};

struct TFace {
    FT_Face Face = nullptr;
    TFace(FT_Library Lib, const std::string& Data) {
        if (FT_New_Memory_Face(Lib, reinterpret_cast<const FT_Byte*>(Data.data()),
                               static_cast<FT_Long>(Data.size()), 0, &Face))
            Face = nullptr;
    }
    ~TFace() {
        if (Face) FT_Done_Face(Face);
    }
};

// One program as FreeType reads it: glyph names in glyph order, the
// built-in encoding (code → name, empty where unset) and each outline in
// thousandths of an em.
struct TProgram {
    std::vector<std::string> Names;
    std::vector<std::string> Encoding;
    std::vector<std::vector<TRecordedCall>> Outlines;
    std::vector<unsigned> Cids;  // CID-keyed programs: CID of each glyph
    bool Loaded = false;
};

TProgram ReadWithFreeType(FT_Library Lib, const std::string& Data) {
    TProgram P;
    TFace F(Lib, Data);
    if (!F.Face) return P;
    P.Loaded = true;
    // Font units to thousandths: Type 1 programs carry their FontMatrix in
    // units_per_EM.
    const double Scale = 1000.0 / F.Face->units_per_EM;
    FT_Bool IsCid = 0;
    FT_Get_CID_Is_Internally_CID_Keyed(F.Face, &IsCid);
    for (FT_Long G = 0; G < F.Face->num_glyphs; ++G) {
        char Name[256] = {};
        if (FT_HAS_GLYPH_NAMES(F.Face))
            FT_Get_Glyph_Name(F.Face, static_cast<FT_UInt>(G), Name, sizeof Name);
        P.Names.emplace_back(Name);
        if (IsCid) {
            FT_UInt Cid = 0;
            FT_Get_CID_From_Glyph_Index(F.Face, static_cast<FT_UInt>(G), &Cid);
            P.Cids.push_back(Cid);
        }
        TFreeTypeOutline O;
        if (!FreeTypeOutline(F.Face, static_cast<FT_UInt>(G), Scale, O)) O.Calls = {{'?', {}}};
        P.Outlines.push_back(NormalisedOutline(O.Calls));
    }
    PS_FontInfoRec Info;
    if (FT_Get_PS_Font_Info(F.Face, &Info) == 0) {
        P.Encoding.assign(256, std::string());
        for (FT_Long Code = 0; Code < 256; ++Code) {
            FT_Long Len = 0;
            // The built-in encoding's glyph name of each code.
            char Name[256] = {};
            Len = FT_Get_PS_Font_Value(F.Face, PS_DICT_ENCODING_ENTRY, FT_UInt(Code), Name,
                                       sizeof Name);
            if (Len > 0 && std::string(Name) != ".notdef") P.Encoding[size_t(Code)] = Name;
        }
    }
    return P;
}

// Differences between two readings of the same program, empty when none.
std::string CompareReadings(const TProgram& A, const TProgram& B) {
    if (!A.Loaded || !B.Loaded)
        return std::string("not loaded: ") + (A.Loaded ? "second" : "first");
    if (A.Names != B.Names) return "glyph names differ";
    if (A.Encoding != B.Encoding) return "built-in encodings differ";
    for (size_t G = 0; G < A.Outlines.size(); ++G)
        if (!SameOutline(A.Outlines[G], B.Outlines[G]))
            return "glyph " + A.Names[G] + ": " + OutlineText(A.Outlines[G]) + " / " +
                   OutlineText(B.Outlines[G]);
    return {};
}

// One program as the decoder reads it, in the same terms. Type 1 programs
// keep their own glyph order (FreeType moves .notdef first), so glyphs are
// matched by name.
enum class TForm { Pfb, FontFile, Cff };

TProgram ReadWithDecoder(const std::string& Data, TForm Form, const TFontFileStream* Stream = nullptr) {
    TProgram P;
    TPDFType1Decoder D;
    if (Form == TForm::Cff) {
        if (!D.LoadCFFFromString(Data)) return P;
    } else {
        const bool Loaded = Stream ? D.LoadFontFileData(Data, int64_t(Stream->Length1),
                                                        int64_t(Stream->Length2),
                                                        int64_t(Stream->Length3))
                                   : D.LoadPFBFromString(Data);
        if (!Loaded || !D.DecodeFontDict() || !D.DecodeEncryptedPortion()) return P;
    }
    P.Loaded = true;
    for (int32_t G = 0; G < D.CharStringCount(); ++G) {
        const std::string Name = D.GetCharStringName(G);
        P.Names.push_back(Name);
        TRecordingCanvas C;
        double X = 0, Y = 0;
        // CFF glyphs by index, CID-keyed ones by CID ("GID:n" names CID n
        // first), Type 1 glyphs by name.
        const bool ByIndex = Form == TForm::Cff && Name.rfind("CID:", 0) != 0;
        D.RenderToCanvas(X, Y, &C, IdentityXForm, ByIndex ? "GID:" + std::to_string(G) : Name,
                         peStandard);
        P.Outlines.push_back(NormalisedOutline(C.Calls));
    }
    P.Encoding.assign(256, std::string());
    for (size_t Code = 0; Code < 256; ++Code)
        if (D.GetEncoding()[Code] != ".notdef") P.Encoding[Code] = D.GetEncoding()[Code];
    return P;
}

// The decoder's reading against FreeType's: the same glyph names (as a set)
// and, per name, the same outline; the built-in encoding where FreeType
// reports one. Returns the differences, empty when none; Differing counts
// the glyphs whose outlines differ.
std::string CompareByName(const TProgram& Ours, const TProgram& Ref, size_t* Differing = nullptr) {
    if (!Ours.Loaded) return "decoder did not load";
    std::map<std::string, const std::vector<TRecordedCall>*> Theirs;
    for (size_t G = 0; G < Ref.Names.size(); ++G) Theirs[Ref.Names[G]] = &Ref.Outlines[G];
    std::set<std::string> OurNames(Ours.Names.begin(), Ours.Names.end());
    std::set<std::string> RefNames(Ref.Names.begin(), Ref.Names.end());
    if (OurNames != RefNames || Ours.Names.size() != Ref.Names.size())
        return "glyph names differ: " + std::to_string(Ours.Names.size()) + " / " +
               std::to_string(Ref.Names.size());
    if (!Ref.Encoding.empty())
        for (size_t Code = 0; Code < 256; ++Code)
            if (!Ref.Encoding[Code].empty() && Ref.Encoding[Code] != Ours.Encoding[Code])
                return "encoding of code " + std::to_string(Code) + ": " + Ours.Encoding[Code] +
                       " / " + Ref.Encoding[Code];
    std::string First;
    size_t Count = 0;
    for (size_t G = 0; G < Ours.Names.size(); ++G) {
        const auto* R = Theirs[Ours.Names[G]];
        if (!SameOutline(Ours.Outlines[G], *R)) {
            ++Count;
            if (First.empty())
                First = "glyph " + Ours.Names[G] + ": " + OutlineText(Ours.Outlines[G]) + " / " +
                        OutlineText(*R);
        }
    }
    if (Differing) *Differing = Count;
    return First;
}

// Every URW .t1 split into its portions and put back together as PFB (one
// and two encrypted segments), PDF font stream data (binary and hex
// encrypted part) and PFA: the split keeps the whole encrypted part, and
// FreeType reads every form as it reads the file.
TEST(oracle, type1_outlines) {
    const std::vector<std::string> Files = PackageFiles("fonts-urw-base35", ".t1");
    ASSERT_FALSE(Files.empty()) << "fonts-urw-base35 is not installed (tools/deps)";
    TFreeType FT;
    int Fonts = 0, Forms = 0;
    long Glyphs = 0;
    for (const std::string& File : Files) {
        SCOPED_TRACE(File);
        const auto Data = ReadBytes(File);
        ASSERT_TRUE(Data);
        TType1Portions Parts;
        ASSERT_TRUE(SplitType1(*Data, Parts));
        EXPECT_EQ(Parts.Clear + Parts.Encrypted + Parts.Trailer, *Data);
        const std::string Plain = EexecDecrypt(Parts.Encrypted);
        const size_t Close = Plain.rfind("closefile");
        ASSERT_NE(Close, std::string::npos);
        EXPECT_LT(Plain.size() - Close, 16u) << "encrypted part cut or overlong";
        EXPECT_EQ(Parts.Trailer.find_first_not_of("0\r\n "), Parts.Trailer.find("cleartomark"));
        const TProgram Reference = ReadWithFreeType(FT.Lib, *Data);
        ASSERT_TRUE(Reference.Loaded);
        ++Fonts;
        Glyphs += long(Reference.Names.size());
        const std::pair<const char*, std::string> Wrapped[] = {
            {"PFB", MakePfb(Parts)},
            {"PFB, encrypted part in two segments", MakePfb(Parts, true)},
            {"font stream, binary", MakeFontFileStream(Parts, false).Data},
            {"font stream, hex encrypted part", MakeFontFileStream(Parts, true).Data},
            {"PFA", MakePfa(Parts)},
        };
        for (const auto& [Form, Bytes] : Wrapped) {
            SCOPED_TRACE(Form);
            EXPECT_EQ(CompareReadings(Reference, ReadWithFreeType(FT.Lib, Bytes)), "");
            ++Forms;
        }
        // Our decoder, from the file and from every wrapped form.
        EXPECT_EQ(CompareByName(ReadWithDecoder(*Data, TForm::Pfb), Reference), "") << "file";
        for (bool Hex : {false, true}) {
            const TFontFileStream S = MakeFontFileStream(Parts, Hex);
            EXPECT_EQ(CompareByName(ReadWithDecoder(S.Data, TForm::FontFile, &S), Reference), "")
                << (Hex ? "font stream, hex" : "font stream, binary");
        }
        for (const auto& [Form, Bytes] : Wrapped)
            EXPECT_EQ(CompareByName(ReadWithDecoder(Bytes, TForm::Pfb), Reference), "") << Form;
    }
    // seac and flex, which the URW programs do not use, in a program built
    // here: the accent placed as the peers place it, flex as two curves.
    const TType1Portions Built = MakeType1Program(SeacFlexGlyphs(), StandardSubrs());
    const TProgram P = ReadWithFreeType(FT.Lib, MakePfb(Built));
    ASSERT_TRUE(P.Loaded);
    std::map<std::string, std::vector<TRecordedCall>> ByName;
    for (size_t G = 0; G < P.Names.size(); ++G) ByName[P.Names[G]] = P.Outlines[G];
    for (auto [Name, AccentX] : {std::pair{"Aacute", 300.0}, std::pair{"Acircumflex", 330.0}}) {
        const auto& O = ByName[Name];
        ASSERT_EQ(O.size(), 10u) << Name << ": " << OutlineText(O);
        EXPECT_EQ(O[0].P, (std::vector<double>{100, 0})) << Name;
        EXPECT_EQ(O[5].P, (std::vector<double>{AccentX, 500})) << Name;
    }
    EXPECT_EQ(OutlineText(ByName["F"]),
              "M 50 0 C 200 20 250 20 300 0 C 350 20 400 20 450 0 L 450 300 Z");
    EXPECT_EQ(CompareByName(ReadWithDecoder(MakePfb(Built), TForm::Pfb), P), "");
    std::printf("%d Type 1 fonts, %ld glyphs, %d wrapped forms read alike\n", Fonts, Glyphs, Forms);
}

// The URW .otf faces and two CID-keyed CFF programs built with fontTools
// (FDSelect format 0 and 3): the built programs hold the structure they are
// built to cover, and FreeType reads every glyph of each.
TEST(oracle, cff_outlines) {
    TFreeType FT;
    vpltest::TempDir Dir;
    int Built = 0;
    long CidGlyphs = 0;
    for (int Format : {0, 3}) {
        SCOPED_TRACE("FDSelect format " + std::to_string(Format));
        const auto Cff = BuildCidCff(Dir.path(), Format);
        ASSERT_TRUE(Cff) << "python3 with fontTools could not build the program";
        const TCffLayout L = ReadCffLayout(*Cff);
        EXPECT_TRUE(L.Ros);
        EXPECT_EQ(L.CharsetFormat, 2);
        EXPECT_EQ(L.FDSelectFormat, Format);
        EXPECT_EQ(L.FontDicts, 2);
        const TProgram P = ReadWithFreeType(FT.Lib, *Cff);
        ASSERT_TRUE(P.Loaded);
        // FreeType reads a bare CID-keyed program by CID: every CID below
        // CIDCount is a glyph index, those outside the charset draw nothing.
        ASSERT_EQ(P.Outlines.size(), 1010u);
        int Drawn = 0;
        for (size_t Cid = 0; Cid < P.Outlines.size(); ++Cid) {
            const bool Listed = (Cid >= 1 && Cid <= 300) || Cid >= 1000;
            const bool Draws = !P.Outlines[Cid].empty() && P.Outlines[Cid][0].Op == 'M';
            EXPECT_EQ(Draws, Listed) << "CID " << Cid;
            Drawn += Draws;
        }
        EXPECT_EQ(Drawn, 310);
        // Our decoder names the glyphs by CID and draws each as FreeType
        // draws that CID.
        const TProgram Ours = ReadWithDecoder(*Cff, TForm::Cff);
        ASSERT_TRUE(Ours.Loaded);
        ASSERT_EQ(Ours.Names.size(), 311u);
        for (size_t G = 0; G < Ours.Names.size(); ++G) {
            ASSERT_EQ(Ours.Names[G].rfind("CID:", 0), 0u) << Ours.Names[G];
            const size_t Cid = std::stoul(Ours.Names[G].substr(4));
            ASSERT_LT(Cid, P.Outlines.size());
            // The Font DICTs' identity matrix stands alone (the top DICT has
            // none): the outlines are a thousand times an em's thousandths.
            const std::vector<TRecordedCall>& Theirs = P.Outlines[Cid];
            EXPECT_TRUE(SameOutline(Ours.Outlines[G], Theirs))
                << Ours.Names[G] << ": " << OutlineText(Ours.Outlines[G]) << " / "
                << OutlineText(Theirs);
        }
        ++Built;
        CidGlyphs += Drawn;
    }
    const std::vector<std::string> Files = PackageFiles("fonts-urw-base35", ".otf");
    ASSERT_FALSE(Files.empty()) << "fonts-urw-base35 is not installed (tools/deps)";
    long Glyphs = 0;
    for (const std::string& File : Files) {
        SCOPED_TRACE(File);
        const auto Data = ReadBytes(File);
        ASSERT_TRUE(Data);
        const TProgram P = ReadWithFreeType(FT.Lib, *Data);
        ASSERT_TRUE(P.Loaded);
        Glyphs += long(P.Outlines.size());
        // The "OTTO" path of the decoder: glyph order, names and outlines.
        const TProgram Ours = ReadWithDecoder(*Data, TForm::Cff);
        ASSERT_TRUE(Ours.Loaded);
        EXPECT_EQ(Ours.Names, P.Names);
        ASSERT_EQ(Ours.Outlines.size(), P.Outlines.size());
        for (size_t G = 0; G < P.Outlines.size(); ++G)
            EXPECT_TRUE(SameOutline(Ours.Outlines[G], P.Outlines[G]))
                << P.Names[G] << ": " << OutlineText(Ours.Outlines[G]) << " / "
                << OutlineText(P.Outlines[G]);
    }
    // The CFF faces of the CJK fonts, when installed: every glyph by index.
    long CjkGlyphs = 0;
    for (const char* Ext : {".otf", ".ttc"}) {
        for (const std::string& File : PackageFiles("fonts-noto-cjk", Ext)) {
            SCOPED_TRACE(File);
            const auto Data = ReadBytes(File);
            if (!Data || Data->substr(0, 4) != "OTTO") continue;
            const TProgram P = ReadWithFreeType(FT.Lib, *Data);
            const TProgram Ours = ReadWithDecoder(*Data, TForm::Cff);
            ASSERT_TRUE(P.Loaded && Ours.Loaded);
            ASSERT_EQ(Ours.Outlines.size(), P.Outlines.size());
            size_t Differ = 0;
            for (size_t G = 0; G < P.Outlines.size(); ++G)
                Differ += !SameOutline(Ours.Outlines[G], P.Outlines[G]);
            EXPECT_EQ(Differ, 0u);
            CjkGlyphs += long(P.Outlines.size());
        }
    }
    if (CjkGlyphs == 0) std::printf("fonts-noto-cjk not installed: its CFF faces are skipped\n");
    std::printf("%d built CID-keyed programs (%ld glyphs), %zu OpenType CFF faces (%ld glyphs)\n",
                Built, CidGlyphs, Files.size(), Glyphs);
}

}  // namespace
}  // namespace velmo
