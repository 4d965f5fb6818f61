// The TrueType parser and rasterizer against FreeType, over the font files
// that tools/deps installs.
#include <ft2build.h>
#include <gtest/gtest.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "fonts/PlatformOutlines.h"
#include "fonts/TrueTypeRasterizer.h"
#include "tests/fonts/RecordingCanvas.h"

namespace velmo {
namespace {

using namespace velmo::test;

const char* const kFontPackages[] = {"fonts-dejavu-core", "fonts-liberation2", "fonts-urw-base35",
                                     "fonts-wqy-zenhei"};

std::vector<std::string> PackageFontFiles() {
    std::vector<std::string> Files;
    for (const char* Package : kFontPackages) {
        const std::string Command = std::string("dpkg -L ") + Package + " 2>/dev/null";
        FILE* P = popen(Command.c_str(), "r");
        if (!P) continue;
        char Line[4096];
        while (std::fgets(Line, sizeof Line, P)) {
            std::string S = Line;
            while (!S.empty() && (S.back() == '\n' || S.back() == '\r')) S.pop_back();
            for (const char* Ext : {".ttf", ".otf", ".ttc"})
                if (S.size() > 4 && S.compare(S.size() - 4, 4, Ext) == 0) Files.push_back(S);
        }
        pclose(P);
    }
    return Files;
}

std::shared_ptr<const std::string> ReadFile(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    if (!In) return nullptr;
    return std::make_shared<const std::string>(std::istreambuf_iterator<char>(In),
                                               std::istreambuf_iterator<char>());
}

struct TFreeType {
    FT_Library Lib = nullptr;
    TFreeType() { FT_Init_FreeType(&Lib); }
    ~TFreeType() { FT_Done_FreeType(Lib); }
};

struct TFace {
    FT_Face Face = nullptr;
    TFace(FT_Library Lib, const std::string& Data, long Index) {
        if (FT_New_Memory_Face(Lib, reinterpret_cast<const FT_Byte*>(Data.data()),
                               static_cast<FT_Long>(Data.size()), Index, &Face))
            Face = nullptr;
    }
    ~TFace() {
        if (Face) FT_Done_Face(Face);
    }
};

// The start and end codes of the format 4 segments ending at FFFF, read
// from the file, so their codes can be left out of the comparison.
std::vector<std::pair<uint32_t, uint32_t>> SegmentsEndingAtFFFF(const TPDFTrueTypeParser& P,
                                                                const TPDFTTEncodingRecord& R) {
    std::vector<std::pair<uint32_t, uint32_t>> Out;
    const int32_t T = P.FindTable("cmap");
    if (T < 0 || R.format != 4) return Out;
    const std::string& D = *P.Data();
    const size_t Base = size_t(P.TableDirectory()[size_t(T)].offset) + R.offset;
    auto U16 = [&](size_t At) -> uint32_t {
        return At + 2 <= D.size() ? uint32_t(uint8_t(D[At]) << 8 | uint8_t(D[At + 1])) : 0;
    };
    const uint32_t SegCount = U16(Base + 6) / 2;
    for (uint32_t S = 0; S < SegCount; ++S) {
        const uint32_t End = U16(Base + 14 + 2 * S);
        const uint32_t Start = U16(Base + 16 + 2 * SegCount + 2 * S);
        if (End == 0xFFFF) Out.emplace_back(Start, End);
    }
    return Out;
}

// The faces of a collection are read as an installed font's are: the
// platform font of the face's family resolves to the face, and LoadFromFont
// takes its data through the font-data call. Fails the test when the family
// names another face.
void LoadCollectionFace(const std::string& File, long Index, FT_Face Face,
                        TPDFTrueTypeRasterizer2& R) {
    platform::TPlatformFont Font;
    Font.Family = Face->family_name ? Face->family_name : "";
    Font.Bold = (Face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
    Font.Italic = (Face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
    platform::TResolvedFont Resolved;
    ASSERT_TRUE(platform::ResolvePlatformFont(Font, Resolved)) << Font.Family;
    ASSERT_EQ(Resolved.File, File) << Font.Family;
    ASSERT_EQ(Resolved.FaceIndex, Index) << Font.Family;
    R.SetFont(std::make_unique<TPDFPlatformInstalledFont>(Font));
    R.LoadFromFont();
    ASSERT_TRUE(R.Parser().Data());
    // The face's data runs from its table directory to the end of the file.
    EXPECT_EQ(uint64_t(R.Parser().TableOffset) + R.Parser().Data()->size(),
              std::filesystem::file_size(File));
}

TEST(oracle, truetype_tables) {
    const std::vector<std::string> Files = PackageFontFiles();
    if (Files.empty()) GTEST_SKIP() << "none of the font packages is installed (tools/deps)";
    TFreeType FT;
    int Faces = 0, InstalledFaces = 0, Codes = 0, Names = 0;
    for (const std::string& File : Files) {
        SCOPED_TRACE(File);
        const auto Data = ReadFile(File);
        ASSERT_TRUE(Data);
        long FaceCount = 1;
        {
            TFace Probe(FT.Lib, *Data, 0);
            ASSERT_TRUE(Probe.Face);
            FaceCount = Probe.Face->num_faces;
        }
        for (long Index = 0; Index < FaceCount; ++Index) {
            SCOPED_TRACE("face " + std::to_string(Index));
            TFace F(FT.Lib, *Data, Index);
            ASSERT_TRUE(F.Face);
            TPDFTrueTypeRasterizer2 Installed;
            TPDFTrueTypeParser Direct;
            const bool Collection =
                File.size() > 4 && File.compare(File.size() - 4, 4, ".ttc") == 0;
            if (Collection) {
                LoadCollectionFace(File, Index, F.Face, Installed);
                if (HasFatalFailure()) return;
                ++InstalledFaces;
            } else {
                Direct.LoadFromBuffer(Data, static_cast<uint32_t>(Index));
            }
            const TPDFTrueTypeParser& P = Collection ? Installed.Parser() : Direct;
            ++Faces;
            EXPECT_EQ(P.GlyphCount(), F.Face->num_glyphs);
            EXPECT_EQ(P.GetHeadTable().unitsPerEm, F.Face->units_per_EM);
            const auto* Head =
                static_cast<const TT_Header*>(FT_Get_Sfnt_Table(F.Face, FT_SFNT_HEAD));
            ASSERT_TRUE(Head);
            EXPECT_EQ(P.GetHeadTable().Bounds[0], Head->xMin);
            EXPECT_EQ(P.GetHeadTable().Bounds[1], Head->yMin);
            EXPECT_EQ(P.GetHeadTable().Bounds[2], Head->xMax);
            EXPECT_EQ(P.GetHeadTable().Bounds[3], Head->yMax);
            const uint32_t Em = P.ScalingUnitsPerEm();
            int WidthFaults = 0;
            for (int32_t G = 0; G < P.GlyphCount(); ++G) {
                FT_Fixed Advance = 0;
                ASSERT_EQ(
                    FT_Get_Advance(F.Face, static_cast<FT_UInt>(G), FT_LOAD_NO_SCALE, &Advance), 0);
                const auto Expected = static_cast<uint16_t>(uint32_t(Advance) * 1000u / Em);
                if (P.GetWidth(G) != Expected && ++WidthFaults <= 5)
                    ADD_FAILURE() << "glyph " << G << " width " << P.GetWidth(G) << " FreeType "
                                  << Expected;
            }
            for (auto [Platform, Encoding] : {std::pair{3, 1}, std::pair{3, 0}}) {
                const int32_t Sub =
                    P.Findcmap(static_cast<uint16_t>(Platform), static_cast<uint16_t>(Encoding));
                FT_CharMap Map = nullptr;
                for (int K = 0; K < F.Face->num_charmaps; ++K)
                    if (F.Face->charmaps[K]->platform_id == Platform &&
                        F.Face->charmaps[K]->encoding_id == Encoding)
                        Map = F.Face->charmaps[K];
                ASSERT_EQ(Sub >= 0, Map != nullptr) << Platform << "," << Encoding;
                if (!Map) continue;
                ASSERT_EQ(FT_Set_Charmap(F.Face, Map), 0);
                const TPDFTTEncodingRecord& R = P.Getcmap(Sub);
                const auto Skip = SegmentsEndingAtFFFF(P, R);
                int CodeFaults = 0;
                for (uint32_t C = 0; C <= 0xFFFF; ++C) {
                    bool Skipped = false;
                    for (auto [S, E] : Skip) Skipped |= C >= S && C <= E;
                    if (Skipped) continue;
                    const int32_t Ours = std::max(R.GlyphOfCode(C), 0);
                    const auto Theirs = static_cast<int32_t>(FT_Get_Char_Index(F.Face, C));
                    ++Codes;
                    if (Ours != Theirs && ++CodeFaults <= 5)
                        ADD_FAILURE() << Platform << "," << Encoding << " code " << C << " glyph "
                                      << Ours << " FreeType " << Theirs;
                }
            }
            if (P.postTable().version == 2.0 && P.FindTable("glyf") >= 0 &&
                FT_HAS_GLYPH_NAMES(F.Face)) {
                for (int32_t G = 0; G < P.GlyphCount(); ++G) {
                    char Name[256] = {};
                    ASSERT_EQ(FT_Get_Glyph_Name(F.Face, static_cast<FT_UInt>(G), Name, sizeof Name),
                              0);
                    ASSERT_EQ(P.postTable().GlyphNames[size_t(G)], Name) << "glyph " << G;
                    ++Names;
                }
            }
        }
    }
    std::printf(
        "%d faces of %zu files (%d through the font-data call), %d codes, %d post names "
        "agree\n",
        Faces, Files.size(), InstalledFaces, Codes, Names);
}

// FreeType's outline in the recording canvas's terms: coordinates × 1000 /
// unitsPerEm (decomposed at twice the size so the midpoints it makes are
// exact), its explicit closing line to the contour's start turned into Z.
struct TDecomposed {
    std::vector<TRecordedCall> Calls;
    double Scale = 1;
    double StartX = 0, StartY = 0;
    bool Open = false;

    void Close() {
        if (!Open) return;
        if (!Calls.empty() && Calls.back().Op == 'L' && Calls.back().P[0] == StartX &&
            Calls.back().P[1] == StartY)
            Calls.pop_back();
        Calls.push_back({'Z', {}});
        Open = false;
    }
    double V(FT_Pos P) const { return double(P) / 2 * Scale; }
};

int MoveTo(const FT_Vector* To, void* User) {
    auto* D = static_cast<TDecomposed*>(User);
    D->Close();
    D->StartX = D->V(To->x);
    D->StartY = D->V(To->y);
    D->Calls.push_back({'M', {D->StartX, D->StartY}});
    D->Open = true;
    return 0;
}
int LineTo(const FT_Vector* To, void* User) {
    auto* D = static_cast<TDecomposed*>(User);
    D->Calls.push_back({'L', {D->V(To->x), D->V(To->y)}});
    return 0;
}
int ConicTo(const FT_Vector* C, const FT_Vector* To, void* User) {
    auto* D = static_cast<TDecomposed*>(User);
    D->Calls.push_back({'Q', {D->V(C->x), D->V(C->y), D->V(To->x), D->V(To->y)}});
    return 0;
}
int CubicTo(const FT_Vector* A, const FT_Vector* B, const FT_Vector* To, void* User) {
    auto* D = static_cast<TDecomposed*>(User);
    D->Calls.push_back(
        {'C', {D->V(A->x), D->V(A->y), D->V(B->x), D->V(B->y), D->V(To->x), D->V(To->y)}});
    return 0;
}

// The left side bearing of glyph G, read from hmtx.
int LeftSideBearing(const TPDFTrueTypeParser& P, int32_t G) {
    const std::string& D = *P.Data();
    auto S16 = [&](size_t At) {
        return At + 2 <= D.size() ? int(int16_t(uint8_t(D[At]) << 8 | uint8_t(D[At + 1]))) : 0;
    };
    const int32_t Hhea = P.FindTable("hhea"), Hmtx = P.FindTable("hmtx");
    if (Hhea < 0 || Hmtx < 0) return 0;
    const size_t Metrics = uint16_t(S16(P.TableDirectory()[size_t(Hhea)].offset + 34));
    const size_t Base = P.TableDirectory()[size_t(Hmtx)].offset;
    const size_t Index = size_t(G);
    return Index < Metrics ? S16(Base + 4 * Index + 2)
                           : S16(Base + 4 * Metrics + 2 * (Index - Metrics));
}

TEST(oracle, truetype_outlines) {
    const char* const Fonts[] = {
        "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
        "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf",
        "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
        "/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf",
        "/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf",
    };
    TFreeType FT;
    FT_Outline_Funcs Funcs{MoveTo, LineTo, ConicTo, CubicTo, 1, 0};
    int Glyphs = 0, Composites = 0, Shifted = 0;
    for (const char* File : Fonts) {
        SCOPED_TRACE(File);
        const auto Data = ReadFile(File);
        if (!Data) GTEST_SKIP() << File << " is missing (tools/deps installs it)";
        TFace F(FT.Lib, *Data, 0);
        ASSERT_TRUE(F.Face);
        TPDFTrueTypeRasterizer2 R;
        R.Parser().LoadFromBuffer(Data);
        int Faults = 0;
        for (int32_t G = 0; G < R.Parser().GlyphCount(); ++G) {
            TRecordingCanvas Ours;
            double X = 0, Y = 0;
            ASSERT_TRUE(R.RenderToCanvas(X, Y, &Ours, IdentityXForm, "GID:" + std::to_string(G),
                                         peStandard));
            ASSERT_EQ(FT_Load_Glyph(F.Face, static_cast<FT_UInt>(G),
                                    FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP),
                      0);
            TDecomposed Theirs;
            Theirs.Scale = 1000.0 / F.Face->units_per_EM;
            ASSERT_EQ(FT_Outline_Decompose(&F.Face->glyph->outline, &Funcs, &Theirs), 0);
            Theirs.Close();
            ++Glyphs;
            if (!R.Parser().GetGlyphData(G).Composites.empty()) ++Composites;
            auto SameWithShift = [&](double DX) {
                bool Same = Ours.Calls.size() == Theirs.Calls.size();
                for (size_t K = 0; Same && K < Ours.Calls.size(); ++K) {
                    Same = Ours.Calls[K].Op == Theirs.Calls[K].Op;
                    for (size_t J = 0; Same && J < Ours.Calls[K].P.size(); ++J)
                        Same = std::fabs(Ours.Calls[K].P[J] + (J % 2 ? 0 : DX) -
                                         Theirs.Calls[K].P[J]) <= 0.001;
                }
                return Same;
            };
            bool Same = SameWithShift(0);
            if (!Same) {
                // FreeType moves an outline whose xMin differs from its
                // left side bearing so that they agree; the glyph program
                // itself is not moved.
                const double DX =
                    (LeftSideBearing(R.Parser(), G) - R.Parser().GetGlyphData(G).xMin) * 1000.0 /
                    F.Face->units_per_EM;
                Same = SameWithShift(DX);
                if (Same) ++Shifted;
            }
            if (!Same && ++Faults <= 5) {
                TRecordingCanvas T;
                T.Calls = Theirs.Calls;
                ADD_FAILURE() << "glyph " << G << "\n ours     " << Ours.Text().substr(0, 400)
                              << "\n FreeType " << T.Text().substr(0, 400);
            }
        }
        EXPECT_EQ(Faults, 0);
    }
    std::printf("%d glyphs (%d composite) agree, %d once FreeType's side-bearing shift is undone\n",
                Glyphs, Composites, Shifted);
}

}  // namespace
}  // namespace velmo
