// Every font of every corpus page (page resources, forms and patterns with a
// visited set, Type 3 font resources and annotation appearances, as pdffonts
// walks them) analysed through a font collection: no exception escapes, and
// embedded, subset and type agree with pdffonts for the fonts it lists,
// matched by object number.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "document/Document.h"
#include "document/PageTree.h"
#include "fonts/FontCollection.h"
#include "fonts/TrueTypeRasterizer.h"
#include "fonts/Type3Rasterizer.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

struct TFontRow {
    std::string Type;
    bool Embedded = false, Subset = false;
};

// pdffonts' rows by object number; "(OT)" is left out of the type.
std::map<int, TFontRow> PdffontsRows(const std::filesystem::path& File) {
    std::map<int, TFontRow> Rows;
    const vpltest::CommandResult Out = vpltest::RunCommand({"pdffonts", File.string()}, 60);
    std::istringstream In(Out.out);
    std::string Line;
    bool Body = false;
    while (std::getline(In, Line)) {
        if (Line.rfind("-----", 0) == 0) {
            Body = true;
            continue;
        }
        if (!Body) continue;
        // The last five words are emb, sub, uni and the object number and
        // generation; the type stands between the name and the encoding,
        // which long names push out of their columns, so it is found by its
        // words.
        std::vector<std::string> Words;
        {
            std::istringstream W(Line);
            for (std::string T; W >> T;) Words.push_back(T);
        }
        if (Words.size() < 7) continue;
        const size_t N = Words.size();
        TFontRow R;
        R.Embedded = Words[N - 5] == "yes";
        R.Subset = Words[N - 4] == "yes";
        const int Obj = std::atoi(Words[N - 2].c_str());
        static const char* kTypes[] = {"CID TrueType", "CID Type 0C", "CID Type 0", "Type 1C",
                                       "Type 1",       "Type 3",      "TrueType",   "unknown"};
        for (const char* T : kTypes) {
            if (Line.find(std::string(" ") + T + " ") == std::string::npos) continue;
            R.Type = T;
            break;
        }
        Rows[Obj] = R;
    }
    return Rows;
}

// The type pdffonts would give, from the entry's composite flag, subtype
// and the kind of program it read.
std::string OurType(const TPDFFontCollectionData& E) {
    const bool CFF = E.Program == TPDFFontCollectionData::fpCFF;
    const bool PFB = E.Program == TPDFFontCollectionData::fpType1;
    if (E.IsComposite) {
        if (CFF) return "CID Type 0C";
        if (E.Program == TPDFFontCollectionData::fpTrueType) return "CID TrueType";
        return E.SubType == "CIDFontType0" ? "CID Type 0" : "CID TrueType";
    }
    if (E.SubType == "Type3") return "Type 3";
    if (CFF) return "Type 1C";
    if (PFB) return "Type 1";
    if (E.Program == TPDFFontCollectionData::fpTrueType) return "TrueType";
    if (E.SubType == "TrueType") return "TrueType";
    if (E.SubType == "Type1" || E.SubType == "MMType1") return "Type 1";
    return "unknown";
}

class TFontWalker {
public:
    explicit TFontWalker(TPDFDocument& D) : FDoc(D) {}
    std::vector<TPDFIndRef*> Fonts;

    TPDFObject* Resolve(TPDFObject* O) {
        if (auto* R = ObjAs<TPDFIndRef>(O)) return R->Obj();
        return O;
    }
    TPDFDictionary* Dict(TPDFDictionary* D, std::string_view Key) {
        return D ? ObjAs<TPDFDictionary>(Resolve(D->FindValueByKeyName(Key, false))) : nullptr;
    }

    void Resources(TPDFDictionary* Res) {
        if (Res == nullptr || !FSeen.insert(Res).second) return;
        if (TPDFDictionary* F = Dict(Res, "Font")) {
            for (int32_t I = 0; I < F->GetCount(); ++I) {
                auto* Ref = ObjAs<TPDFIndRef>(F->GetEntry(I).Value);
                if (Ref == nullptr || !FFontNums.insert(Ref->ObjNum).second) continue;
                Fonts.push_back(Ref);
                if (auto* FD = ObjAs<TPDFDictionary>(Ref->Obj()))
                    Resources(Dict(FD, "Resources"));
            }
        }
        for (const char* Kind : {"XObject", "Pattern"}) {
            TPDFDictionary* X = Dict(Res, Kind);
            if (X == nullptr) continue;
            for (int32_t I = 0; I < X->GetCount(); ++I) {
                TPDFObject* V = Resolve(X->GetEntry(I).Value);
                TPDFDictionary* VD = nullptr;
                if (auto* S = ObjAs<TPDFStream>(V)) VD = S->FDictionary;
                else VD = ObjAs<TPDFDictionary>(V);
                if (VD && FSeen.insert(VD).second) Resources(Dict(VD, "Resources"));
            }
        }
    }

    void Appearance(TPDFObject* O, int Depth = 0) {
        O = Resolve(O);
        if (auto* S = ObjAs<TPDFStream>(O)) {
            Resources(Dict(S->FDictionary, "Resources"));
        } else if (auto* D = ObjAs<TPDFDictionary>(O); D && Depth == 0) {
            for (int32_t I = 0; I < D->GetCount(); ++I) Appearance(D->GetEntry(I).Value, 1);
        }
    }

    void Page(TPDFDictionary* P) {
        Resources(ObjAs<TPDFDictionary>(Resolve(FDoc.GetPageInheritedValue(P, "Resources"))));
        auto* Annots = ObjAs<TPDFArray>(Resolve(P->FindValueByKeyName("Annots", false)));
        if (Annots == nullptr) return;
        for (int32_t I = 0; I < Annots->GetCount(); ++I) {
            auto* A = ObjAs<TPDFDictionary>(Resolve(Annots->GetItem(I)));
            if (TPDFDictionary* AP = Dict(A, "AP"))
                for (const char* K : {"N", "R", "D"}) Appearance(AP->FindValueByKeyName(K, false));
        }
    }

private:
    TPDFDocument& FDoc;
    std::unordered_set<const void*> FSeen;
    std::unordered_set<int32_t> FFontNums;
};

// Child side. First report line: fonts analysed, compared, agreeing.
int CheckFile(const std::filesystem::path& File, std::string& Report) {
    TPDFDocument D;
    if (D.LoadFromFile(File.u16string(), u"") != lrOkay) {
        Report = "0 0 0\ncannot load the document\n";
        return 0;
    }
    TFontWalker W(D);
    const int32_t Pages = std::min<int32_t>(D.PageCount(), 2000);
    for (int32_t P = 1; P <= Pages; ++P)
        if (TPDFDictionary* Page = D.PageTree()->GetPage(P)) W.Page(Page);
    TPDFFontCollection Col;
    Col.FInstallFonts = true;
    std::map<int, TPDFFontCollectionData*> Ours;
    std::string Notes;
    for (TPDFIndRef* Ref : W.Fonts) {
        try {
            Col.GetFontData(Ref);
        } catch (const std::exception& E) {
            Report = "0 0 0\nexception escaped for object " + std::to_string(Ref->ObjNum) +
                     ": " + E.what() + "\n";
            return 1;
        }
        Ours[Ref->ObjNum] = Col.FoundFontData();
    }
    for (const auto& E : Col.AnalysisErrors())
        Notes += "object " + std::to_string(E.ObjNum) + " analysis caught: " + E.Message + "\n";
    const std::map<int, TFontRow> Rows = PdffontsRows(File);
    int Compared = 0, Agree = 0;
    for (const auto& [Obj, Row] : Rows) {
        auto It = Ours.find(Obj);
        if (It == Ours.end() || It->second == nullptr) continue;
        const TPDFFontCollectionData& E = *It->second;
        ++Compared;
        const std::string Type = OurType(E);
        // pdffonts counts a Type 3 font's procedures as an embedded program.
        const bool Embedded = E.Embedded || Type == "Type 3";
        if (Type == Row.Type && Embedded == Row.Embedded && E.Subsetted == Row.Subset) {
            ++Agree;
            continue;
        }
        Notes += "object " + std::to_string(Obj) + " " + E.FontName + ": ours " + Type +
                 (E.Embedded ? " emb" : "") + (E.Subsetted ? " sub" : "") + ", pdffonts " +
                 Row.Type + (Row.Embedded ? " emb" : "") + (Row.Subset ? " sub" : "") + "\n";
    }
    Report = std::to_string(Ours.size()) + " " + std::to_string(Compared) + " " +
             std::to_string(Agree) + "\n" + Notes;
    return 0;
}

TEST(corpus, font_analysis) {
    VPL_REQUIRE_CORPUS();
    VPL_REQUIRE_TOOL("pdffonts");
    long Fonts = 0, Compared = 0, Agree = 0;
    const auto Files = vpltest::CorpusPdfs();
    const auto Results = vpltest::RunIsolatedBatch(
        Files.size(), [&](size_t I, std::string& Report) { return CheckFile(Files[I], Report); },
        120);
    for (size_t I = 0; I < Files.size(); ++I) {
        const auto& File = Files[I];
        const vpltest::ChildResult& R = Results[I];
        if (R.outcome == vpltest::ChildOutcome::Crashed ||
            R.outcome == vpltest::ChildOutcome::TimedOut) {
            ADD_FAILURE() << File
                          << (R.outcome == vpltest::ChildOutcome::TimedOut ? " hangs" : " crashes")
                          << ": " << R.report.substr(0, 2000);
            continue;
        }
        std::istringstream In(R.report);
        long F = 0, C = 0, A = 0;
        In >> F >> C >> A;
        const std::string Notes =
            R.report.substr(std::min(R.report.size(), R.report.find('\n') + 1));
        if (R.outcome == vpltest::ChildOutcome::Failed)
            ADD_FAILURE() << File << ": " << Notes.substr(0, 2000);
        else if (!Notes.empty())
            std::cout << File.parent_path().filename().string() << "/"
                      << File.filename().string() << ": " << Notes;
        Fonts += F;
        Compared += C;
        Agree += A;
    }
    std::cout << "fonts analysed " << Fonts << ", listed by pdffonts " << Compared
              << ", agreeing " << Agree << "\n";
    ASSERT_GT(Compared, 0);
    EXPECT_GE(double(Agree), 0.99 * double(Compared));
}

}  // namespace
}  // namespace velmo
