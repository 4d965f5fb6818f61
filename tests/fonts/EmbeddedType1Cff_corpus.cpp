// Every embedded Type 1 and CFF program (a font descriptor's /FontFile, and
// its /FontFile3 of subtype Type1C, CIDFontType0C or OpenType) of every
// corpus PDF, each file in its own child: our decoder loads each program and
// draws every glyph; where FreeType opens the program, the glyph counts and
// the outlines are compared with FreeType's.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <cstdio>
#include <sstream>
#include <string>
#include <unordered_set>

#include "document/Document.h"
#include "fonts/Type1Decoder.h"
#include "tests/fonts/Type1CffFixtures.h"
#include FT_CID_H
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

using namespace velmo::test;

struct TCounts {
    int Programs = 0;  // FontFile and FontFile3 streams found
    int Opened = 0;    // programs FreeType opens
    long Glyphs = 0;   // glyphs of the programs FreeType opens
    long Loaded = 0;   // glyphs FreeType loads and decomposes
    long Compared = 0;  // glyphs of ours compared with FreeType's
    long Agree = 0;     // of those, the outlines that agree
};

// The stream's Length1/2/3, resolved.
int64_t StreamLength(TPDFStream* S, const char* Key) {
    if (!S->FDictionary) return 0;
    auto* N = ObjAs<TPDFNumeric>(S->FDictionary->FindValueByKeyName(Key, true));
    return N ? int64_t(N->AsDouble()) : 0;
}

const char* const kKinds[] = {"Type1", "Type1C", "CIDFontType0C", "OpenType"};

// The kind of program a font descriptor's stream holds, empty when it is
// none of those checked here.
std::string ProgramKind(TPDFDictionary* Descriptor, TPDFStream*& Stream) {
    Stream = ObjAs<TPDFStream>(Descriptor->FindValueByKeyName("FontFile", true));
    if (Stream) return "Type1";
    Stream = ObjAs<TPDFStream>(Descriptor->FindValueByKeyName("FontFile3", true));
    if (!Stream || !Stream->FDictionary) return {};
    auto* Subtype = ObjAs<TPDFName>(Stream->FDictionary->FindValueByKeyName("Subtype", true));
    if (!Subtype) return {};
    for (const char* K : kKinds)
        if (Subtype->Name() == K && Subtype->Name() != "Type1") return K;
    return {};
}

// The outline's contours in a fixed order: an accented glyph's parts may
// come in either order.
std::vector<TRecordedCall> SortedContours(const std::vector<TRecordedCall>& In) {
    std::vector<std::vector<TRecordedCall>> Contours;
    for (const TRecordedCall& C : In) {
        if (C.Op == 'M' || Contours.empty()) Contours.emplace_back();
        Contours.back().push_back(C);
    }
    std::sort(Contours.begin(), Contours.end(), [](const auto& A, const auto& B) {
        const double AX = A[0].P.empty() ? 0 : A[0].P[0], BX = B[0].P.empty() ? 0 : B[0].P[0];
        const double AY = A[0].P.size() < 2 ? 0 : A[0].P[1], BY = B[0].P.size() < 2 ? 0 : B[0].P[1];
        return std::round(AX) != std::round(BX) ? AX < BX : std::round(AY) < std::round(BY);
    });
    std::vector<TRecordedCall> Out;
    for (const auto& C : Contours) Out.insert(Out.end(), C.begin(), C.end());
    return Out;
}

// Checks one program; false when it shows a fault, with the fault in Notes.
bool CheckProgram(FT_Library Lib, const std::string& Kind, const std::string& Data,
                  TPDFStream* S, TCounts& N, std::string& Notes) {
    ++N.Programs;
    // Ours: the program loads, and every glyph decodes and replays.
    TPDFType1Decoder D;
    bool Ours;
    if (Kind == "Type1") {
        Ours = D.LoadFontFileData(Data, StreamLength(S, "Length1"), StreamLength(S, "Length2"),
                                  StreamLength(S, "Length3"));
        D.DecodeFontDict();
        Ours = D.DecodeEncryptedPortion() && D.CharStringCount() > 0;
    } else {
        Ours = D.LoadCFFFromString(Data) && D.CharStringCount() > 0;
    }
    if (!Ours) Notes += Kind + " program our decoder cannot load\n";
    std::vector<std::vector<TRecordedCall>> Mine(size_t(D.CharStringCount()));
    for (int32_t G = 0; G < D.CharStringCount(); ++G) {
        TRecordingCanvas C;
        double X = 0, Y = 0;
        // A CID-keyed font's glyphs by CID ("GID:n" names CID n first).
        const std::string Name = D.GetCharStringName(G);
        D.RenderToCanvas(X, Y, &C, IdentityXForm,
                         Name.rfind("CID:", 0) == 0 ? Name : "GID:" + std::to_string(G), peStandard);
        Mine[size_t(G)] = NormalisedOutline(C.Calls);
    }
    FT_Face Face = nullptr;
    if (FT_New_Memory_Face(Lib, reinterpret_cast<const FT_Byte*>(Data.data()),
                           static_cast<FT_Long>(Data.size()), 0, &Face)) {
        Notes += Kind + " program FreeType refuses (" + std::to_string(Data.size()) + " bytes)\n";
        return true;
    }
    std::unique_ptr<FT_FaceRec, decltype(&FT_Done_Face)> Hold(Face, FT_Done_Face);
    ++N.Opened;
    const double Scale = Face->units_per_EM ? 1000.0 / Face->units_per_EM : 1;
    // A bare CID-keyed program is read by CID: every CID below CIDCount is
    // a glyph index, and those outside the charset do not load.
    FT_Bool Cid = 0;
    FT_Get_CID_Is_Internally_CID_Keyed(Face, &Cid);
    long Failed = 0;
    // FreeType's glyph each of ours compares with: the same CID, the same
    // name (Type 1 programs, which FreeType reorders), or the same index.
    std::map<std::string, FT_UInt> ByName;
    const bool Named = Kind == "Type1" && FT_HAS_GLYPH_NAMES(Face);
    long Counted = 0, Differ = 0;
    std::vector<std::vector<TRecordedCall>> Theirs(size_t(Face->num_glyphs));
    std::vector<bool> TheirsLoad(size_t(Face->num_glyphs));
    for (FT_Long G = 0; G < Face->num_glyphs; ++G) {
        TFreeTypeOutline O;
        const bool Loads = FreeTypeOutline(Face, static_cast<FT_UInt>(G), Scale, O);
        if (Named) {
            char Name[256] = {};
            FT_Get_Glyph_Name(Face, FT_UInt(G), Name, sizeof Name);
            ByName.emplace(Name, FT_UInt(G));
        }
        Theirs[size_t(G)] = NormalisedOutline(O.Calls);
        TheirsLoad[size_t(G)] = Loads;
        if (Cid && !Loads) continue;
        ++Counted;
        ++N.Glyphs;
        if (Loads)
            ++N.Loaded;
        else
            ++Failed;
    }
    if (Ours) {
        if (Counted != D.CharStringCount())
            Notes += Kind + " program: " + std::to_string(D.CharStringCount()) +
                     " glyphs, FreeType " + std::to_string(Counted) + "\n";
        for (int32_t G = 0; G < D.CharStringCount(); ++G) {
            const std::string Name = D.GetCharStringName(G);
            int64_t Ref = G;
            if (Cid && Name.rfind("CID:", 0) == 0) Ref = std::stoll(Name.substr(4));
            if (Named) Ref = ByName.count(Name) ? int64_t(ByName[Name]) : -1;
            if (Ref < 0 || Ref >= Face->num_glyphs || !TheirsLoad[size_t(Ref)]) continue;
            ++N.Compared;
            // FreeType gives whole font units: coordinates agree within one.
            if (SameOutline(SortedContours(Mine[size_t(G)]), SortedContours(Theirs[size_t(Ref)]),
                            Scale + 0.01))
                ++N.Agree;
            else if (++Differ == 1)
                Notes += Kind + " glyph " + Name + ": " + OutlineText(Mine[size_t(G)], 160) +
                         " / " + OutlineText(Theirs[size_t(Ref)], 160) + "\n";
        }
        if (Differ)
            Notes += Kind + " program: " + std::to_string(Differ) + " outlines differ\n";
    }
    if (Failed)
        Notes += Kind + " program: FreeType cannot load " + std::to_string(Failed) + " of " +
                 std::to_string(Face->num_glyphs) + " glyphs\n";
    return true;
}

// Child side: every program of one file. The report's first line holds the
// counts.
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
            TPDFDictionary* Dict = ObjAs<TPDFDictionary>(D.IndObj(I)->GetObj());
            if (!Dict) continue;
            TPDFStream* S = nullptr;
            const std::string Kind = ProgramKind(Dict, S);
            if (Kind.empty() || !Seen.insert(S).second) continue;
            const std::string Data = S->GetDecodedStream();
            if (Data.empty()) {
                Notes += "a " + Kind + " program decodes to nothing\n";
                continue;
            }
            std::string Mine;
            if (!CheckProgram(Lib, Kind, Data, S, N, Mine)) Good = false;
            if (!Mine.empty()) Notes += "object " + std::to_string(I) + ": " + Mine;
        }
        FT_Done_FreeType(Lib);
    }
    Report = std::to_string(N.Programs) + " " + std::to_string(N.Opened) + " " +
             std::to_string(N.Glyphs) + " " + std::to_string(N.Loaded) + " " +
             std::to_string(N.Compared) + " " + std::to_string(N.Agree) + "\n" + Notes;
    return Good ? 0 : 1;
}

// False when the file's bytes show it holds no embedded program key: the
// key as it is, or a compressed object stream that may hide it.
bool MayHoldFontFile(const std::string& Bytes) {
    return Bytes.find("FontFile") != std::string::npos || Bytes.find("ObjStm") != std::string::npos;
}

TEST(corpus, embedded_type1_cff) {
    VPL_REQUIRE_CORPUS();
    const auto T0 = std::chrono::steady_clock::now();
    TCounts Total;
    int Files = 0;
    std::vector<std::filesystem::path> Candidates;
    for (const auto& File : vpltest::CorpusPdfs())
        if (MayHoldFontFile(vpltest::ReadFile(File))) Candidates.push_back(File);
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
        In >> N.Programs >> N.Opened >> N.Glyphs >> N.Loaded >> N.Compared >> N.Agree;
        const std::string Notes =
            R.report.substr(std::min(R.report.size(), R.report.find('\n') + 1));
        if (R.outcome == vpltest::ChildOutcome::Failed)
            ADD_FAILURE() << File << ":\n" << Notes.substr(0, 2000);
        else if (!Notes.empty())
            std::cout << File.filename().string() << ": " << Notes;
        if (N.Programs > 0) ++Files;
        Total.Programs += N.Programs;
        Total.Opened += N.Opened;
        Total.Glyphs += N.Glyphs;
        Total.Loaded += N.Loaded;
        Total.Compared += N.Compared;
        Total.Agree += N.Agree;
    }
    const double Secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
    std::printf(
        "%d Type 1 and CFF programs in %d files; FreeType opens %d, %ld glyphs, %ld load; "
        "%ld outlines compared, %ld agree; %.1f s\n",
        Total.Programs, Files, Total.Opened, Total.Glyphs, Total.Loaded, Total.Compared,
        Total.Agree, Secs);
    EXPECT_GE(double(Total.Agree), 0.99 * double(Total.Compared));
}

}  // namespace
}  // namespace velmo
