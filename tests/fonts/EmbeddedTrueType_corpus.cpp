// Every embedded TrueType program (a font descriptor's /FontFile2) of every
// corpus PDF: parsed, every glyph built onto a recording canvas, and where
// FreeType opens the program, glyph count, unitsPerEm and the glyph of every
// code of the (3,1), (3,0) and (1,0) subtables agree with FreeType's.
#include <ft2build.h>
#include <gtest/gtest.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "document/Document.h"
#include "fonts/TrueTypeRasterizer.h"
#include "tests/fonts/RecordingCanvas.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

using namespace velmo::test;

uint32_t U16(std::string_view D, size_t At) {
    return At + 2 <= D.size() ? uint32_t(uint8_t(D[At]) << 8 | uint8_t(D[At + 1])) : 0;
}

// The bytes of the cmap table, empty when the font has none or it lies
// outside the data.
std::string_view CmapBytes(const TPDFTrueTypeParser& P) {
    const int32_t T = P.FindTable("cmap");
    if (T < 0 || !P.Data()) return {};
    const auto& E = P.TableDirectory()[size_t(T)];
    const std::string_view D = *P.Data();
    if (E.offset >= D.size()) return {};
    return D.substr(E.offset, std::min<size_t>(E.length, D.size() - E.offset));
}

// The start and end codes of the format 4 segments ending at FFFF.
std::vector<std::pair<uint32_t, uint32_t>> SegmentsEndingAtFFFF(const TPDFTrueTypeParser& P,
                                                                const TPDFTTEncodingRecord& R) {
    std::vector<std::pair<uint32_t, uint32_t>> Out;
    const std::string_view T = CmapBytes(P);
    if (R.format != 4 || R.offset >= T.size()) return Out;
    const size_t Base = R.offset;
    const uint32_t SegCount = U16(T, Base + 6) / 2;
    for (uint32_t S = 0; S < SegCount; ++S) {
        const uint32_t End = U16(T, Base + 14 + 2 * S);
        const uint32_t Start = U16(T, Base + 16 + 2 * SegCount + 2 * S);
        if (End == 0xFFFF) Out.emplace_back(Start, End);
    }
    return Out;
}

// True when the cmap table's header lists a subtable of these IDs.
bool ListsSubtable(const TPDFTrueTypeParser& P, uint32_t Platform, uint32_t Encoding) {
    const std::string_view T = CmapBytes(P);
    const uint32_t Count = U16(T, 2);
    for (uint32_t K = 0; K < Count && 4 + 8 * size_t(K) + 4 <= T.size(); ++K)
        if (U16(T, 4 + 8 * K) == Platform && U16(T, 6 + 8 * K) == Encoding) return true;
    return false;
}

// Entries of loca, 0 without the table.
uint32_t LocaEntries(const TPDFTrueTypeParser& P) {
    const int32_t T = P.FindTable("loca");
    if (T < 0) return 0;
    return P.TableDirectory()[size_t(T)].length / (P.GetHeadTable().indexToLocFormat ? 4 : 2);
}

// Why a subtable breaks the cmap rules, empty when it keeps them: such a
// subtable is read differently by different readers.
std::string MalformedReason(const TPDFTrueTypeParser& P, const TPDFTTEncodingRecord& R) {
    const std::string_view T = CmapBytes(P);
    if (R.offset + 4 > T.size()) return "subtable outside the cmap table";
    const uint32_t Format = U16(T, R.offset);
    if (Format == 0 || Format == 4 || Format == 6) {
        const uint32_t Length = U16(T, R.offset + 2);
        if (R.offset + Length > T.size()) return "subtable longer than the cmap table";
    }
    if (Format != 4) return {};
    const size_t Base = R.offset;
    const uint32_t SegX2 = U16(T, Base + 6);
    if (SegX2 % 2) return "odd segCountX2";
    const uint32_t SegCount = SegX2 / 2;
    const size_t Length = U16(T, Base + 2);
    const size_t ArrayEnd = Base + 16 + 8 * size_t(SegCount);
    if (ArrayEnd > Base + Length || ArrayEnd > T.size()) return "segment arrays past the subtable";
    uint32_t Previous = 0;
    for (uint32_t S = 0; S < SegCount; ++S) {
        const uint32_t End = U16(T, Base + 14 + 2 * S);
        const uint32_t Start = U16(T, Base + 16 + 2 * SegCount + 2 * S);
        if (Start > End) return "segment start after its end";
        if (S > 0 && Start <= Previous) return "segments not ascending or overlapping";
        Previous = End;
        const size_t RangeAt = Base + 16 + 6 * size_t(SegCount) + 2 * S;
        const uint32_t RangeOffset = U16(T, RangeAt);
        if (RangeOffset != 0 && End != 0xFFFF) {
            if (RangeOffset % 2) return "odd idRangeOffset";
            const size_t Last = RangeAt + RangeOffset + 2 * size_t(End - Start) + 2;
            if (Last > Base + Length || Last > T.size()) return "idRangeOffset past the subtable";
        }
    }
    if (SegCount == 0 || U16(T, Base + 14 + 2 * (SegCount - 1)) != 0xFFFF)
        return "last segment does not end at FFFF";
    return {};
}

struct TCounts {
    int Programs = 0;   // FontFile2 streams parsed
    int Glyphs = 0;     // glyphs built
    int Compared = 0;   // programs FreeType opened
    int Malformed = 0;  // programs whose malformed cmap FreeType reads otherwise
    int SetApart = 0;   // other programs FreeType reads otherwise, for a listed reason
    long Codes = 0;     // codes compared
};

// Checks one program; false when it shows a fault of ours, with the fault
// (or the reason it was set apart) in Notes.
bool CheckProgram(FT_Library Lib, std::shared_ptr<const std::string> Data, TCounts& N,
                  std::string& Notes) {
    TPDFTrueTypeRasterizer2 R;
    R.Parser().LoadFromBuffer(Data);
    const TPDFTrueTypeParser& P = R.Parser();
    ++N.Programs;
    for (int32_t G = 0; G < P.GlyphCount(); ++G) {
        TRecordingCanvas Canvas;
        double X = 0, Y = 0;
        R.RenderToCanvas(X, Y, &Canvas, IdentityXForm, "GID:" + std::to_string(G), peStandard);
        ++N.Glyphs;
    }
    FT_Face Face = nullptr;
    if (FT_New_Memory_Face(Lib, reinterpret_cast<const FT_Byte*>(Data->data()),
                           static_cast<FT_Long>(Data->size()), 0, &Face))
        return true;  // FreeType refuses it: nothing to compare
    std::unique_ptr<FT_FaceRec, decltype(&FT_Done_Face)> Hold(Face, FT_Done_Face);
    if (!FT_IS_SFNT(Face)) return true;
    ++N.Compared;
    bool Good = true;
    std::ostringstream Out;
    std::string SetApartNote;
    // FreeType counts the glyphs of CFF outlines in the CFF data, and
    // never more glyphs than loca locates.
    const bool CFF = P.FindTable("CFF ") >= 0;
    const bool ShortLoca = !CFF && P.FindTable("glyf") >= 0 &&
                           LocaEntries(P) < uint32_t(P.GlyphCount()) + 1 &&
                           Face->num_glyphs == long(LocaEntries(P)) - 1;
    if (P.GlyphCount() != Face->num_glyphs && (CFF || ShortLoca)) {
        SetApartNote += "glyph count " + std::to_string(P.GlyphCount()) + " FreeType " +
                        std::to_string(Face->num_glyphs) + ": " +
                        (CFF ? "CFF outlines" : "maxp counts more glyphs than loca locates") + "; ";
    } else if (P.GlyphCount() != Face->num_glyphs) {
        Out << "glyph count " << P.GlyphCount() << " FreeType " << Face->num_glyphs << "\n";
        Good = false;
    }
    if (P.GetHeadTable().unitsPerEm != Face->units_per_EM) {
        Out << "unitsPerEm " << P.GetHeadTable().unitsPerEm << " FreeType " << Face->units_per_EM
            << "\n";
        Good = false;
    }
    std::string MalformedNote;
    for (auto [Platform, Encoding] : {std::pair{3, 1}, std::pair{3, 0}, std::pair{1, 0}}) {
        const int32_t Sub =
            P.Findcmap(static_cast<uint16_t>(Platform), static_cast<uint16_t>(Encoding));
        FT_CharMap Map = nullptr;
        for (int K = 0; K < Face->num_charmaps; ++K)
            if (Face->charmaps[K]->platform_id == Platform &&
                Face->charmaps[K]->encoding_id == Encoding)
                Map = Face->charmaps[K];
        const std::string Which = std::to_string(Platform) + "," + std::to_string(Encoding);
        if (Sub < 0 && !Map) continue;
        // FreeType makes a Unicode charmap from the glyph names of a font
        // without one; the font holds no such subtable.
        if (Sub < 0 && !ListsSubtable(P, uint32_t(Platform), uint32_t(Encoding))) continue;
        const TPDFTTEncodingRecord& Rec = P.Getcmap(Sub);
        if (Sub < 0 || !Map) {
            const std::string Why = Sub >= 0 ? MalformedReason(P, Rec) : std::string();
            if (!Why.empty() || (Sub >= 0 && Rec.Codes.empty())) {
                MalformedNote += "(" + Which + ") FreeType drops it: " +
                                 (Why.empty() ? std::string("no codes") : Why) + "; ";
            } else {
                Out << "(" << Which << ") ours " << (Sub >= 0) << " FreeType " << (Map != nullptr)
                    << "\n";
                Good = false;
            }
            continue;
        }
        if (FT_Set_Charmap(Face, Map)) continue;
        const auto Skip = SegmentsEndingAtFFFF(P, Rec);
        const uint32_t Last = Rec.format == 0 ? 0xFF : 0xFFFF;
        int Faults = 0;
        uint32_t FirstCode = 0;
        int32_t FirstOurs = 0, FirstTheirs = 0;
        for (uint32_t C = 0; C <= Last; ++C) {
            bool Skipped = false;
            for (auto [S, E] : Skip) Skipped |= C >= S && C <= E;
            if (Skipped) continue;
            int32_t Ours = std::max(Rec.GlyphOfCode(C), 0);
            // A glyph beyond the font draws nothing, as glyph 0 would not.
            if (Ours >= P.GlyphCount()) Ours = 0;
            const auto Theirs = static_cast<int32_t>(FT_Get_Char_Index(Face, C));
            ++N.Codes;
            if (Ours != Theirs && Faults++ == 0) {
                FirstCode = C;
                FirstOurs = Ours;
                FirstTheirs = Theirs;
            }
        }
        if (Faults == 0) continue;
        char Text[160];
        std::snprintf(Text, sizeof Text,
                      "(%s) format %u: %d codes differ, first %04X ours %d "
                      "FreeType %d",
                      Which.c_str(), unsigned(Rec.format), Faults, FirstCode, FirstOurs,
                      FirstTheirs);
        // The parser reads subtables of formats 0, 4 and 6 only.
        if (Rec.format != 0 && Rec.format != 4 && Rec.format != 6) {
            SetApartNote += std::string(Text) + ": a format the parser does not read; ";
            continue;
        }
        const std::string Why = MalformedReason(P, Rec);
        if (!Why.empty()) {
            MalformedNote += std::string(Text) + ": " + Why + "; ";
        } else {
            Out << Text << "\n";
            Good = false;
        }
    }
    if (!MalformedNote.empty()) {
        ++N.Malformed;
        Notes += "malformed cmap: " + MalformedNote + "\n";
    } else if (!SetApartNote.empty()) {
        ++N.SetApart;
    }
    if (!SetApartNote.empty()) Notes += "set apart: " + SetApartNote + "\n";
    Notes += Out.str();
    return Good;
}

// Child side: every FontFile2 of one file. The report's first line holds
// the counts.
int CheckFile(const std::filesystem::path& File, std::string& Report) {
    TCounts N;
    std::string Notes;
    bool Good = true;
    TPDFDocument D;
    if (D.LoadFromFile(File.u16string(), u"") != lrOkay) {
        Notes = "cannot load the document\n";
    } else {
        FT_Library Lib = nullptr;
        FT_Init_FreeType(&Lib);
        std::unordered_set<const TPDFObject*> Seen;
        for (int32_t I = 0; I < D.ObjCount(); ++I) {
            TPDFObject* V = D.IndObj(I)->GetObj();
            TPDFDictionary* Dict = ObjAs<TPDFDictionary>(V);
            if (!Dict) continue;
            auto* S = ObjAs<TPDFStream>(Dict->FindValueByKeyName("FontFile2", true));
            if (!S || !Seen.insert(S).second) continue;
            auto Data = std::make_shared<const std::string>(S->GetDecodedStream());
            if (Data->empty()) {
                Notes += "a FontFile2 stream decodes to nothing\n";
                continue;
            }
            std::string Mine;
            if (!CheckProgram(Lib, Data, N, Mine)) Good = false;
            if (!Mine.empty()) Notes += "object " + std::to_string(I) + ": " + Mine;
        }
        FT_Done_FreeType(Lib);
    }
    Report = std::to_string(N.Programs) + " " + std::to_string(N.Glyphs) + " " +
             std::to_string(N.Compared) + " " + std::to_string(N.Malformed) + " " +
             std::to_string(N.SetApart) + " " + std::to_string(N.Codes) + "\n" + Notes;
    return Good ? 0 : 1;
}

// False when the file's bytes show that it holds no FontFile2 key: the key
// appears as it is, inside a compressed object stream, or in a name spelt
// with #xx escapes. Lets the test pass over most files without a child.
bool MayHoldFontFile2(const std::string& Bytes) {
    if (Bytes.find("FontFile") != std::string::npos) return true;
    if (Bytes.find("ObjStm") != std::string::npos) return true;
    auto Hex = [](char C) { return std::isxdigit(static_cast<unsigned char>(C)) != 0; };
    for (size_t At = Bytes.find('#'); At != std::string::npos; At = Bytes.find('#', At + 1)) {
        if (At + 2 >= Bytes.size() || !Hex(Bytes[At + 1]) || !Hex(Bytes[At + 2])) continue;
        size_t K = At;
        while (K > 0 && std::isalnum(static_cast<unsigned char>(Bytes[K - 1]))) --K;
        if (K > 0 && Bytes[K - 1] == '/') return true;
    }
    return false;
}

TEST(corpus, embedded_truetype) {
    VPL_REQUIRE_CORPUS();
    const auto T0 = std::chrono::steady_clock::now();
    TCounts Total;
    int Files = 0;
    std::vector<std::filesystem::path> Candidates;
    for (const auto& File : vpltest::CorpusPdfs())
        if (MayHoldFontFile2(vpltest::ReadFile(File))) Candidates.push_back(File);
    const auto Results = vpltest::RunIsolatedBatch(
        Candidates.size(),
        [&](size_t I, std::string& Report) { return CheckFile(Candidates[I], Report); }, 120);
    for (size_t I = 0; I < Candidates.size(); ++I) {
        const auto& File = Candidates[I];
        const vpltest::ChildResult& R = Results[I];
        if (R.outcome == vpltest::ChildOutcome::Crashed ||
            R.outcome == vpltest::ChildOutcome::TimedOut) {
            ADD_FAILURE() << File
                          << (R.outcome == vpltest::ChildOutcome::TimedOut ? " hangs" : " crashes")
                          << ": " << R.report.substr(0, 2000);
            continue;
        }
        TCounts N;
        std::istringstream In(R.report);
        In >> N.Programs >> N.Glyphs >> N.Compared >> N.Malformed >> N.SetApart >> N.Codes;
        const std::string Notes =
            R.report.substr(std::min(R.report.size(), R.report.find('\n') + 1));
        if (R.outcome == vpltest::ChildOutcome::Failed)
            ADD_FAILURE() << File << " disagrees with FreeType:\n" << Notes.substr(0, 2000);
        else if (!Notes.empty())
            std::cout << File.filename().string() << ": " << Notes;
        if (N.Programs > 0) ++Files;
        Total.Programs += N.Programs;
        Total.Glyphs += N.Glyphs;
        Total.Compared += N.Compared;
        Total.Malformed += N.Malformed;
        Total.SetApart += N.SetApart;
        Total.Codes += N.Codes;
    }
    const double Secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
    std::printf(
        "%d TrueType programs in %d files, %d glyphs built; %d compared with FreeType "
        "(%ld codes), %d with a malformed cmap read otherwise, %d more set apart; %.1f s\n",
        Total.Programs, Files, Total.Glyphs, Total.Compared, Total.Codes, Total.Malformed,
        Total.SetApart, Secs);
    // Programs are set apart only while they stay rare.
    EXPECT_LT((Total.Malformed + Total.SetApart) * 100, std::max(Total.Programs, 1));
}

}  // namespace
}  // namespace velmo
