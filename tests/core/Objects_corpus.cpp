// Every object of every corpus file, as rewritten by qpdf in QDF form (one
// object per "N G obj", no object streams, stream data as stored), parses,
// stops exactly at "endobj" or "stream", and writing it, parsing the text
// and writing again gives the same bytes.
#include <gtest/gtest.h>

#include <charconv>
#include <iostream>
#include <string>
#include <vector>

#include "core/Parser.h"
#include "core/Structure.h"
#include "tests/support/TestSupport.h"

using namespace velmo;

namespace {

struct XRefRow {
    int64_t ObjNum;
    int64_t Offset;
    int64_t Gen;
};

int64_t ReadInt(std::string_view S, size_t& P) {
    while (P < S.size() && (S[P] == ' ' || S[P] == '\r' || S[P] == '\n')) ++P;
    int64_t V = -1;
    auto R = std::from_chars(S.data() + P, S.data() + S.size(), V);
    P = R.ptr - S.data();
    return V;
}

// The in-use rows of the classic cross-reference table that qpdf writes.
std::vector<XRefRow> ReadXRef(std::string_view File) {
    std::vector<XRefRow> Rows;
    size_t SX = File.rfind("startxref");
    if (SX == std::string_view::npos) return Rows;
    size_t P = SX + 9;
    int64_t XRef = ReadInt(File, P);
    if (XRef < 0 || size_t(XRef) + 4 > File.size() || File.substr(XRef, 4) != "xref") return Rows;
    P = XRef + 4;
    for (;;) {
        size_t Save = P;
        int64_t First = ReadInt(File, P);
        int64_t Count = ReadInt(File, P);
        if (First < 0 || Count < 0) {
            P = Save;
            break;
        }
        while (P < File.size() && (File[P] == ' ' || File[P] == '\r' || File[P] == '\n')) ++P;
        for (int64_t I = 0; I < Count && P + 18 <= File.size(); ++I) {
            size_t Q = P;
            int64_t Off = ReadInt(File, Q);
            int64_t Gen = ReadInt(File, Q);
            while (Q < File.size() && File[Q] == ' ') ++Q;
            if (Q < File.size() && File[Q] == 'n') Rows.push_back({First + I, Off, Gen});
            P += 20;
        }
    }
    return Rows;
}

// Checks one rewritten file; problems go into Report.
int CheckFile(const std::string& Data, std::string& Report, int64_t& Objects) {
    std::string_view File = Data;
    std::vector<XRefRow> Rows = ReadXRef(File);
    if (Rows.empty()) {
        Report = "no cross-reference table";
        return 1;
    }
    int Problems = 0;
    auto Problem = [&](const XRefRow& R, const std::string& What) {
        if (++Problems <= 5) Report += "object " + std::to_string(R.ObjNum) + ": " + What + "\n";
    };
    TPDFStructure S;
    for (const XRefRow& R : Rows) {
        std::string Header = std::to_string(R.ObjNum) + " " + std::to_string(R.Gen) + " obj";
        if (R.Offset < 0 || size_t(R.Offset) >= File.size() ||
            File.substr(R.Offset, Header.size()) != Header) {
            Problem(R, "no header at its offset");
            continue;
        }
        int64_t BodyStart = R.Offset + int64_t(Header.size());  // 0-based
        int64_t Length = 0;
        TPDFObject* O = S.DecodeWithLength(File, Length, BodyStart + 1);
        if (Length == 0) {
            Problem(R, "nothing parsed");
            continue;
        }
        size_t End = size_t(BodyStart + Length);
        while (End < File.size() && IsPDFWhitespace(File[End])) ++End;
        std::string_view Rest = File.substr(End, 9);
        if (!Rest.starts_with("endobj") && !Rest.starts_with("stream")) {
            Problem(R, "stops before '" + std::string(File.substr(End, 20)) + "'");
            continue;
        }
        std::string Once = O->Output();
        int64_t Again = 0;
        TPDFObject* O2 = S.DecodeWithLength(Once, Again, 1);
        std::string Twice = O2->Output();
        if (Once != Twice) {
            Problem(R, "output changes on a second pass:\n" + Once.substr(0, 200) + "\n--\n" +
                           Twice.substr(0, 200));
            continue;
        }
        // The written text is one object: nothing but a line break follows it.
        size_t Tail = size_t(Again);
        while (Tail < Once.size() && IsPDFWhitespace(Once[Tail])) ++Tail;
        if (Tail != Once.size()) Problem(R, "written text not read to its end");
        ++Objects;
        if (S.ObjectCount() > 200000) S.Clear();
    }
    return Problems == 0 ? 0 : 1;
}

}  // namespace

// Checks the rewritten files of one batch in a child; the report has one line
// per file: "<index> <objects> <ok|problem text>".
vpltest::ChildResult CheckBatch(const std::vector<std::string>& Files) {
    return vpltest::RunIsolated(
        [&](std::string& Report) {
            int Rc = 0;
            for (size_t I = 0; I < Files.size(); ++I) {
                std::string Problems;
                int64_t Objects = 0;
                if (CheckFile(vpltest::ReadFile(Files[I]), Problems, Objects) != 0) Rc = 1;
                Report += std::to_string(I) + " " + std::to_string(Objects) + " " +
                          (Problems.empty() ? "ok" : Problems) + "\x01";
            }
            return Rc;
        },
        120);
}

TEST(corpus, object_roundtrip) {
    VPL_REQUIRE_CORPUS();
    VPL_REQUIRE_TOOL("qpdf");
    vpltest::TempDir Tmp;
    int Checked = 0;
    int64_t TotalObjects = 0;
    std::vector<std::string> NotRewritten;
    std::vector<std::string> Failures;
    std::vector<std::filesystem::path> Pdfs = vpltest::CorpusPdfs();
    // Forking a sanitized process is the dominant cost, so files go to the
    // child in batches; a batch that crashes is retried file by file.
    constexpr size_t kBatch = 40;
    for (size_t B = 0; B < Pdfs.size(); B += kBatch) {
        std::vector<std::string> Sources, Files;
        for (size_t I = B; I < std::min(Pdfs.size(), B + kBatch); ++I) {
            std::string Out = (Tmp / ("qdf" + std::to_string(I) + ".pdf")).string();
            vpltest::CommandResult Q =
                vpltest::RunCommand({"qpdf", "--qdf", "--object-streams=disable",
                                     "--stream-data=preserve", Pdfs[I].string(), Out},
                                    60);
            // 0 is success and 3 success with warnings (a repaired file).
            if ((Q.exitCode != 0 && Q.exitCode != 3) || !std::filesystem::exists(Out)) {
                NotRewritten.push_back(Pdfs[I].filename().string());
                continue;
            }
            Sources.push_back(Pdfs[I].string());
            Files.push_back(Out);
        }
        std::vector<vpltest::ChildResult> Results;
        std::vector<std::vector<size_t>> Members;
        vpltest::ChildResult All = CheckBatch(Files);
        if (All.outcome == vpltest::ChildOutcome::Ok ||
            All.outcome == vpltest::ChildOutcome::Failed) {
            Results.push_back(All);
            std::vector<size_t> M(Files.size());
            for (size_t I = 0; I < M.size(); ++I) M[I] = I;
            Members.push_back(M);
        } else {
            for (size_t I = 0; I < Files.size(); ++I) {
                Results.push_back(CheckBatch({Files[I]}));
                Members.push_back({I});
            }
        }
        for (size_t R = 0; R < Results.size(); ++R) {
            const auto& Child = Results[R];
            if (Child.outcome == vpltest::ChildOutcome::Crashed ||
                Child.outcome == vpltest::ChildOutcome::TimedOut) {
                Failures.push_back(Sources[Members[R][0]] + ": crashed or timed out\n" +
                                   Child.report);
                continue;
            }
            size_t P = 0;
            while (P < Child.report.size()) {
                size_t E = Child.report.find('\x01', P);
                if (E == std::string::npos) E = Child.report.size();
                std::string Line = Child.report.substr(P, E - P);
                P = E + 1;
                size_t S1 = Line.find(' '), S2 = Line.find(' ', S1 + 1);
                if (S1 == std::string::npos || S2 == std::string::npos) continue;
                size_t Index = Members[R][std::stoul(Line.substr(0, S1))];
                TotalObjects += std::stoll(Line.substr(S1 + 1, S2 - S1 - 1));
                ++Checked;
                std::string Verdict = Line.substr(S2 + 1);
                if (Verdict != "ok") Failures.push_back(Sources[Index] + ":\n" + Verdict);
            }
        }
        for (const auto& F : Files) std::filesystem::remove(F);
    }
    for (const auto& F : Failures) ADD_FAILURE() << F;
    EXPECT_GT(Checked, 0);
    std::cout << "checked " << Checked << " files, " << TotalObjects
              << " objects; qpdf could not rewrite " << NotRewritten.size() << ":\n";
    for (const auto& N : NotRewritten) std::cout << "  " << N << "\n";
}
