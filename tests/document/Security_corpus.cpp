// Every encrypted file of the corpus through the security handler. qpdf
// rewrites each file with its encryption kept and its objects spread out
// (no object or cross-reference streams), which the small reader of these
// tests can read; the values decrypted here must equal qpdf's decryption.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "core/Flate.h"
#include "tests/document/SecurityFakeDoc.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

using testing_security::FakeDoc;
using vpltest::RunCommand;

std::u16string Wide(const std::string& S) { return std::u16string(S.begin(), S.end()); }

void AllHex(TPDFObject* O, int Depth = 0) {
    if (!O || Depth > 100) return;
    if (auto* S = ObjAs<TPDFString>(O)) S->StringMode = smHex;
    if (auto* A = ObjAs<TPDFArray>(O))
        for (TPDFObject* I : A->LiveItems()) AllHex(I, Depth + 1);
    if (auto* St = ObjAs<TPDFStream>(O)) AllHex(St->Dictionary(), Depth + 1);
    if (auto* D = ObjAs<TPDFDictionary>(O))
        for (const TPDFEntry& E : D->GetEntries()) AllHex(E.Value, Depth + 1);
}

// The objects' values in one notation. Cross-reference streams describe
// each file's own layout and are left out; qpdf writes the metadata stream
// of a plain file uncompressed, so its decoded data stands for it.
std::map<int32_t, std::string> Values(FakeDoc& D) {
    std::map<int32_t, std::string> R;
    for (auto& [N, I] : D.Objs) {
        if (N == D.H.FEncryption.DictionaryObjNum) continue;
        TPDFObject* V = D.Get(N);
        if (auto* S = ObjAs<TPDFStream>(V)) {
            const std::string Type = S->Dictionary()->DictType();
            if (Type == "XRef") continue;
            if (Type == "Metadata") {
                const bool Flate = S->Dictionary()->StringValue("Filter") == "FlateDecode";
                R[N] = "metadata " + (Flate ? FlateDecompress(S->Stream()) : S->Stream());
                continue;
            }
        }
        // qpdf drops the developer extension of AES-256 when it decrypts.
        if (auto* Cat = ObjAs<TPDFDictionary>(V); Cat && Cat->DictType() == "Catalog")
            Cat->DeleteEntryByKeyName("Extensions");
        AllHex(V);
        R[N] = V ? V->Output() : "";
    }
    return R;
}

// Checks one file; returns an empty string when every check holds.
std::string CheckFile(const std::filesystem::path& Path, const std::filesystem::path& Tmp,
                      std::string& Report) {
    const std::string Name = Path.filename().string();
    std::smatch M;
    std::string User, Owner;
    bool Known = false;
    if (std::regex_search(Name, M, std::regex("U=([^,.]+)"))) User = M[1], Known = true;
    if (std::regex_search(Name, M, std::regex("O=([^,.]+)"))) Owner = M[1];
    // Files whose names do not carry their passwords.
    if (Name == "20-pages.pdf") User = "user", Owner = "owner", Known = true;
    // Without a user password in the name, the file must open without one.
    auto Req = RunCommand({"qpdf", "--requires-password", Path.string()}, 60);
    if (!Known && Req.exitCode == 3) Known = true;
    const std::string Pw = "--password=" + (Known ? User : Owner);

    const auto Flat = Tmp / "flat.pdf", Plain = Tmp / "plain.pdf";
    auto R = RunCommand({"qpdf", Pw, "--object-streams=disable", "--stream-data=preserve",
                         "--decode-level=none", "--preserve-unreferenced", Path.string(),
                         Flat.string()},
                        120);
    if (R.exitCode != 0 && R.exitCode != 3) {
        Report += "qpdf cannot rewrite it (password unknown); ";
        return {};
    }
    FakeDoc D;
    D.Load(vpltest::ReadFile(Flat));
    const TPDFEncrypted State = D.H.GetEncrypted();
    auto* Enc = ObjAs<TPDFDictionary>(D.Trailer->FindValueByKeyName("Encrypt", true));
    const bool StdCF = Enc && (Enc->IntValue("V", 0) < 4 ||
                               (Enc->StringValue("StmF") == "StdCF" &&
                                Enc->StringValue("StrF") == "StdCF"));
    if (!StdCF) {
        // Only the standard crypt filter is understood: such a file is
        // refused as with a wrong password.
        if (State != peUnknownEncryption) return "crypt filter other than StdCF not refused";
        if (D.H.OpenWithPassword(Wide(User))) return "unknown encryption opened";
        Report += "unknown crypt filter refused; ";
        return {};
    }
    if (State != peEncrypted) return "not recognised as encrypted";
    if (D.H.OpenWithPassword(u"wrong password")) return "wrong password accepted";
    if (!Known) {
        if (D.H.OpenWithPassword(u"")) return "empty password accepted";
        Report += "password unknown, empty one refused; ";
        return {};
    }
    if (!D.H.OpenWithPassword(Wide(User))) return "user password refused";
    Report += D.H.FIsOwnerPassword ? "user password matched as owner; " : "user matched; ";
    if (!Owner.empty()) {
        FakeDoc O;
        O.Load(vpltest::ReadFile(Flat));
        if (!O.H.OpenWithPassword(Wide(Owner))) return "owner password refused";
        if (!O.H.FIsOwnerPassword) return "owner password not reported as owner";
        Report += "owner matched; ";
    }
    R = RunCommand({"qpdf", Pw, "--decrypt", "--object-streams=disable", "--stream-data=preserve",
                    "--decode-level=none", "--preserve-unreferenced", Path.string(),
                    Plain.string()},
                   120);
    if (R.exitCode != 0 && R.exitCode != 3) return "qpdf --decrypt failed: " + R.err;
    FakeDoc P;
    P.Load(vpltest::ReadFile(Plain));
    const auto Want = Values(P);
    const auto Got = Values(D);
    int Compared = 0;
    for (const auto& [N, Text] : Want) {
        auto It = Got.find(N);
        if (It == Got.end()) continue;
        if (It->second != Text)
            return "object " + std::to_string(N) + " differs: " + It->second.substr(0, 300) +
                   " / " + Text.substr(0, 300);
        ++Compared;
    }
    if (Compared == 0) return "no object compared";
    Report += std::to_string(Compared) + " objects equal";
    return {};
}

TEST(corpus, encrypted_open) {
    VPL_REQUIRE_CORPUS();
    VPL_REQUIRE_TOOL("qpdf");
    int Files = 0;
    for (const auto& Path : vpltest::CorpusPdfs()) {
        const std::string Head = vpltest::ReadFile(Path);
        if (Head.find("/Encrypt") == std::string::npos) continue;
        auto Enc = RunCommand({"qpdf", "--is-encrypted", Path.string()}, 30);
        if (Enc.exitCode != 0) continue;
        ++Files;
        vpltest::TempDir Tmp;
        const auto Result = vpltest::RunIsolated(
            [&](std::string& Report) {
                const std::string Error = CheckFile(Path, Tmp.path(), Report);
                if (!Error.empty()) Report = Error;
                return Error.empty() ? 0 : 1;
            },
            240);
        EXPECT_EQ(Result.outcome, vpltest::ChildOutcome::Ok)
            << Path.filename() << ": " << Result.report;
        std::cout << Path.filename().string() << ": " << Result.report << "\n";
    }
    EXPECT_GT(Files, 0);
}

}  // namespace
}  // namespace velmo
