// Every encrypted file of the corpus, loaded by the document and, apart from
// the loader, through the security handler alone: qpdf rewrites each file
// with its encryption kept and its objects spread out (no object or
// cross-reference streams), which the small reader of these tests can read.
// Either way the values decrypted here must equal qpdf's decryption.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "document/Document.h"
#include "tests/document/SecurityFakeDoc.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

using testing_security::FakeDoc;
using testing_security::Values;
using vpltest::RunCommand;

std::u16string Wide(const std::string& S) { return std::u16string(S.begin(), S.end()); }

struct Passwords {
    std::string User, Owner;
    bool Known = false;
};

Passwords PasswordsOf(const std::filesystem::path& Path) {
    const std::string Name = Path.filename().string();
    Passwords P;
    std::smatch M;
    if (std::regex_search(Name, M, std::regex("U=([^,.]+)"))) P.User = M[1], P.Known = true;
    if (std::regex_search(Name, M, std::regex("O=([^,.]+)"))) P.Owner = M[1];
    if (Name == "20-pages.pdf") P.User = "user", P.Owner = "owner", P.Known = true;
    if (!P.Known && RunCommand({"qpdf", "--requires-password", Path.string()}, 60).exitCode == 3)
        P.Known = true;
    return P;
}

// Checks one file through the handler alone; returns an empty string when every check holds.
std::string CheckHandlerFile(const std::filesystem::path& Path, const std::filesystem::path& Tmp,
                             std::string& Report) {
    const Passwords PW = PasswordsOf(Path);
    const std::string &User = PW.User, &Owner = PW.Owner;
    const bool Known = PW.Known;
    const std::string Pw = "--password=" + (Known ? User : Owner);

    const auto Flat = Tmp / "flat.pdf", Plain = Tmp / "plain.pdf";
    auto R =
        RunCommand({"qpdf", Pw, "--object-streams=disable", "--stream-data=preserve",
                    "--decode-level=none", "--preserve-unreferenced", Path.string(), Flat.string()},
                   120);
    if (R.exitCode != 0 && R.exitCode != 3) {
        Report += "qpdf cannot rewrite it (password unknown); ";
        return {};
    }
    FakeDoc D;
    D.Load(vpltest::ReadFile(Flat));
    if (D.H.GetEncrypted() != peEncrypted) return "encryption not understood";
    if (D.H.OpenWithPassword(u"wrong password") && !D.H.FOpenedWithoutKey)
        return "wrong password accepted";
    if (!Known) {
        if (D.H.OpenWithPassword(u"") && !D.H.FOpenedWithoutKey) return "empty password accepted";
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
    R = RunCommand(
        {"qpdf", Pw, "--decrypt", "--object-streams=disable", "--stream-data=preserve",
         "--decode-level=none", "--preserve-unreferenced", Path.string(), Plain.string()},
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

bool IsEncrypted(const std::filesystem::path& Path) {
    return vpltest::ReadFile(Path).find("/Encrypt") != std::string::npos &&
           RunCommand({"qpdf", "--is-encrypted", Path.string()}, 30).exitCode == 0;
}

// Runs one file's check in a child with a time limit; the check returns an
// error text, empty when everything held, and notes what it saw in Report.
using TFileCheck = std::string (*)(const std::filesystem::path&, const std::filesystem::path&,
                                   std::string&);
void CheckIsolated(const std::filesystem::path& Path, TFileCheck Check) {
    vpltest::TempDir Tmp;
    const auto Result = vpltest::RunIsolated(
        [&](std::string& Report) {
            const std::string Error = Check(Path, Tmp.path(), Report);
            if (!Error.empty()) Report = Error;
            return Error.empty() ? 0 : 1;
        },
        240);
    EXPECT_EQ(Result.outcome, vpltest::ChildOutcome::Ok)
        << Path.filename() << ": " << Result.report;
    std::cout << Path.filename().string() << ": " << Result.report << "\n";
}

// Every string and every stream's data reachable from Value, with the
// metadata stream decoded (qpdf writes it uncompressed into a plain file)
// and the streams that describe a file's own layout left out.
void Collect(TPDFObject* O, std::vector<std::string>& Out, int Depth = 0) {
    if (!O || Depth > 100) return;
    if (auto* S = ObjAs<TPDFString>(O)) Out.push_back("s" + S->AsString());
    if (auto* A = ObjAs<TPDFArray>(O))
        for (TPDFObject* I : A->LiveItems()) Collect(I, Out, Depth + 1);
    if (auto* D = ObjAs<TPDFDictionary>(O))
        for (const TPDFEntry& E : D->GetEntries()) Collect(E.Value, Out, Depth + 1);
    if (auto* St = ObjAs<TPDFStream>(O)) {
        const std::string Type = St->Dictionary()->DictType();
        if (Type == "XRef" || Type == "ObjStm") return;
        if (Type == "Metadata" && St->Dictionary()->StringValue("Filter") == "FlateDecode")
            Out.push_back("m" + FlateDecompress(St->Stream()));
        else
            Out.push_back((Type == "Metadata" ? "m" : "S") + St->Stream());
        Collect(St->Dictionary(), Out, Depth + 1);
    }
}

// Loads one file through the document; returns an error text, empty when
// every check holds.
std::string CheckLoadedFile(const std::filesystem::path& Path, const std::filesystem::path& Tmp,
                            std::string& Report) {
    const Passwords P = PasswordsOf(Path);
    {
        TPDFDocument Wrong;
        const auto WR = Wrong.LoadFromFile(Path.u16string(), u"not the password");
        if (WR == lrError &&
            RunCommand({"qpdf", "--check", Path.string()}, 60).err.find("file is damaged") !=
                std::string::npos) {
            Report = "damaged file, not loaded";
            return {};
        }
        const bool Keyless = WR == lrOkay && Wrong.Security().FOpenedWithoutKey;
        if (WR != lrWrongPassword && !Keyless)
            return "wrong password not refused: " + std::to_string(int(WR));
    }
    TPDFDocument D;
    const TVPLLoadResult R = D.LoadFromFile(Path.u16string(), Wide(P.User));
    if (D.Security().FOpenedWithoutKey) {
        // Better than qpdf, which asks for the password: only the embedded
        // files are encrypted, so everything else reads without the key.
        if (R != lrOkay) return "opened without a key but not loaded";
        if (D.IsUserPassword() || D.IsOwnerPassword()) return "no password, yet one reported";
        if (!D.Security().OnlyEmbeddedFilesEncrypted()) return "keyless open of encrypted streams";
        if (vpltest::HaveTool("pdfinfo")) {
            const auto Info = RunCommand({"pdfinfo", Path.string()}, 60);
            std::smatch M;
            if (!std::regex_search(Info.out, M, std::regex("Pages: +([0-9]+)")))
                return "pdfinfo reports no page count";
            if (std::stoi(M[1]) != D.PageCount())
                return "page count " + std::to_string(D.PageCount()) + ", pdfinfo " + M[1].str();
        }
        Report = "only the embedded files are encrypted; opened without a password, " +
                 std::to_string(D.PageCount()) + " pages";
        return {};
    }
    if (!P.Known) {
        if (R != lrWrongPassword) return "opened without its password";
        Report = "password unknown; empty one refused";
        return {};
    }
    if (D.Encrypted() != peEncrypted) return "encryption not understood";
    if (R != lrOkay) return "user password refused";
    if (!D.IsUserPassword()) return "user password not reported";
    Report = D.IsOwnerPassword() ? "user password matched as owner too" : "user matched";
    if (!P.Owner.empty() && P.Owner != P.User) {
        TPDFDocument O;
        if (O.LoadFromFile(Path.u16string(), Wide(P.Owner)) != lrOkay || !O.IsOwnerPassword())
            return "owner password refused";
        Report += ", owner matched";
    }

    const auto Plain = Tmp / "plain.pdf";
    auto Q = RunCommand({"qpdf", "--password=" + P.User, "--decrypt", "--object-streams=disable",
                         "--stream-data=preserve", "--decode-level=none", "--preserve-unreferenced",
                         Path.string(), Plain.string()},
                        120);
    if (Q.exitCode != 0 && Q.exitCode != 3) return "qpdf --decrypt failed";
    testing_security::FakeDoc Want;
    Want.Load(vpltest::ReadFile(Plain));
    std::vector<std::string> W, G;
    for (auto& [N, I] : Want.Objs) {
        // qpdf keeps the old /Encrypt dictionary as an unreferenced object.
        auto* Dict = ObjAs<TPDFDictionary>(I.Value);
        if (Dict && Dict->StringValue("Filter") == "Standard" && Dict->FindIndexByKeyName("O") >= 0)
            continue;
        Collect(I.Value, W);
    }
    const int32_t EncNum = D.Security().FEncryption.DictionaryObjNum;
    for (int32_t i = 0; i < D.ObjCount(); ++i) {
        TPDFIndObj* IO = D.IndObj(i);
        if (IO->FObjNum != EncNum) Collect(IO->GetObj(), G);
    }
    std::sort(W.begin(), W.end());
    std::sort(G.begin(), G.end());
    std::vector<std::string> Missing;
    std::set_difference(W.begin(), W.end(), G.begin(), G.end(), std::back_inserter(Missing));
    if (!Missing.empty()) {
        const std::string First = testing_security::ToHexUpper(Missing.front().substr(0, 24));
        return std::to_string(Missing.size()) + " of qpdf's " + std::to_string(W.size()) +
               " values not found, the first starting " + First;
    }
    Report += "; " + std::to_string(W.size()) + " strings and streams equal";
    return {};
}

TEST(corpus, encrypted_open) {
    VPL_REQUIRE_CORPUS();
    VPL_REQUIRE_TOOL("qpdf");
    int Files = 0;
    for (const auto& Path : vpltest::CorpusPdfs()) {
        if (!IsEncrypted(Path)) continue;
        ++Files;
        CheckIsolated(Path, CheckLoadedFile);
    }
    EXPECT_GT(Files, 0);
}

TEST(corpus, encrypted_handler) {
    VPL_REQUIRE_CORPUS();
    VPL_REQUIRE_TOOL("qpdf");
    int Files = 0;
    for (const auto& Path : vpltest::CorpusPdfs()) {
        if (!IsEncrypted(Path)) continue;
        ++Files;
        CheckIsolated(Path, CheckHandlerFile);
    }
    EXPECT_GT(Files, 0);
}

// A plain file loaded by the document, encrypted with each strength and
// saved by it: qpdf reports the expected parameters, opens it with both
// passwords and decrypts it to the values it had before.
std::string EncryptPlainFile(const std::filesystem::path& Path, const std::filesystem::path& Tmp,
                             std::string& Report) {
    const auto Flat = Tmp / "flat.pdf";
    auto R = RunCommand({"qpdf", "--object-streams=disable", "--stream-data=preserve",
                         "--decode-level=none", Path.string(), Flat.string()},
                        120);
    if (R.exitCode != 0 && R.exitCode != 3) {
        Report = "qpdf cannot rewrite it";
        return {};
    }
    const struct {
        TPDFEncryptionStrength strength;
        const char *R, *V;
        size_t keyHex;
    } cases[] = {{esStd, "2", "1", 10},
                 {es128Bit, "3", "2", 32},
                 {esAES128Bit, "4", "4", 32},
                 {esAES256Bit, "5", "5", 64},
                 {esAES256BitAcroX, "6", "5", 64}};
    // Loading a page can change its layout (its /Contents may become an
    // array), so the reference is the same document saved without
    // encryption, spread out by qpdf as the decrypted files are.
    std::map<int32_t, std::string> Want;
    {
        TPDFDocument D;
        if (D.LoadFromFile(Path.u16string(), u"") != lrOkay) return "not loaded";
        const auto Saved = Tmp / "saved.pdf";
        if (!D.SaveToFile(Saved.u16string())) return "plain save failed";
        R = RunCommand({"qpdf", "--object-streams=disable", "--stream-data=preserve",
                        "--decode-level=none", Saved.string(), Flat.string()},
                       120);
        if (R.exitCode != 0 && R.exitCode != 3) return "qpdf cannot read the plain save " + R.err;
        FakeDoc P;
        P.Load(vpltest::ReadFile(Flat));
        Want = Values(P);
    }
    for (const auto& c : cases) {
        const std::string Tag = std::string("R ") + c.R + ": ";
        TPDFDocument D;
        if (D.LoadFromFile(Path.u16string(), u"") != lrOkay) return Tag + "not loaded";
        if (!D.Encrypt("master", "view", c.strength, TPDFPermissions::All(),
                       TPDFExtraPermissions::All()))
            return Tag + "not encrypted";
        const auto Enc = Tmp / "enc.pdf", Dec = Tmp / "dec.pdf";
        if (!D.SaveToFile(Enc.u16string())) return Tag + "not saved";
        for (const char* Pw : {"view", "master"}) {
            auto Show = RunCommand({"qpdf", "--show-encryption", "--show-encryption-key",
                                    std::string("--password=") + Pw, Enc.string()},
                                   60);
            const std::string Who =
                std::string("Supplied password is ") + (Pw[0] == 'v' ? "user" : "owner");
            if (Show.out.find(std::string("R = ") + c.R + "\n") == std::string::npos ||
                Show.out.find("P = -4\n") == std::string::npos ||
                Show.out.find(Who) == std::string::npos)
                return Tag + "qpdf reports " + Show.out + Show.err;
            const size_t K = Show.out.find("Encryption key = ");
            const size_t E = Show.out.find('\n', K);
            if (K == std::string::npos || E - K - 17 != c.keyHex) return Tag + "key length";
            // qpdf does not print V; the file's own /Encrypt dictionary has it.
            auto Dict = RunCommand(
                {"qpdf", std::string("--password=") + Pw, "--show-object=trailer", Enc.string()},
                60);
            const size_t At = Dict.out.find("/Encrypt ");
            if (At == std::string::npos) return Tag + "no /Encrypt in the trailer";
            auto EncObj =
                RunCommand({"qpdf", std::string("--password=") + Pw,
                            "--show-object=" + std::to_string(std::atoi(Dict.out.c_str() + At + 9)),
                            Enc.string()},
                           60);
            if (!std::regex_search(EncObj.out, std::regex(std::string("/V ") + c.V + "\\b")))
                return Tag + "V not " + c.V + ": " + EncObj.out;

            R = RunCommand(
                {"qpdf", std::string("--password=") + Pw, "--decrypt", "--object-streams=disable",
                 "--stream-data=preserve", "--decode-level=none", Enc.string(), Dec.string()},
                120);
            if (R.exitCode != 0 && R.exitCode != 3) return Tag + "qpdf --decrypt failed " + R.err;
            FakeDoc Back;
            Back.Load(vpltest::ReadFile(Dec));
            const auto Got = Values(Back);
            for (const auto& [N, Text] : Want) {
                auto It = Got.find(N);
                if (It == Got.end() || It->second != Text)
                    return Tag + "object " + std::to_string(N) + " differs with " + Pw + ": " +
                           (It == Got.end() ? "missing" : It->second.substr(0, 200)) + " / " +
                           Text.substr(0, 200);
            }
        }
    }
    Report = std::to_string(Want.size()) + " objects kept by all five strengths";
    return {};
}

TEST(corpus, encrypt_plain_files) {
    VPL_REQUIRE_CORPUS();
    VPL_REQUIRE_TOOL("qpdf");
    // A handful of small plain files of different producers.
    int Files = 0;
    for (const auto& Path : vpltest::CorpusPdfs()) {
        if (Files >= 8) break;
        if (std::filesystem::file_size(Path) > 100000) continue;
        if (RunCommand({"qpdf", "--is-encrypted", Path.string()}, 30).exitCode != 2) continue;
        if (RunCommand({"qpdf", "--check", Path.string()}, 30).exitCode != 0) continue;
        ++Files;
        CheckIsolated(Path, EncryptPlainFile);
    }
    EXPECT_GT(Files, 0);
}

// A file whose metadata stream is left in clear: saved again by the
// document, the stream stays in clear, so qpdf still reads its XMP.
TEST(corpus, encrypt_clear_metadata_saved) {
    VPL_REQUIRE_CORPUS();
    VPL_REQUIRE_TOOL("qpdf");
    const auto Src = vpltest::CorpusDir() / "qpdf" / "V4-aes-clearmeta.pdf";
    if (!std::filesystem::exists(Src)) GTEST_SKIP() << "no " << Src;
    vpltest::TempDir Tmp;
    const auto Out = Tmp.path() / "saved.pdf", Dec = Tmp.path() / "dec.pdf";
    {
        TPDFDocument D;
        ASSERT_EQ(D.LoadFromFile(Src.u16string(), u""), lrOkay);
        ASSERT_TRUE(D.SaveToFile(Out.u16string()));
    }
    EXPECT_EQ(RunCommand({"qpdf", "--is-encrypted", Out.string()}, 30).exitCode, 0);
    const auto R = RunCommand({"qpdf", "--decrypt", "--object-streams=disable",
                               "--stream-data=uncompress", Out.string(), Dec.string()},
                              60);
    ASSERT_TRUE(R.exitCode == 0 || R.exitCode == 3) << R.err;
    const std::string Plain = vpltest::ReadFile(Dec);
    EXPECT_NE(Plain.find("<rdf:RDF"), std::string::npos);
    EXPECT_NE(Plain.find("<?xpacket end"), std::string::npos);
}

}  // namespace
}  // namespace velmo
