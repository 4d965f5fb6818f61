// Encrypted files as writers make them: qpdf's own (empty owner passwords,
// clear metadata, every strength) and files qpdf cannot make, built here
// (attachments-only encryption, a metadata stream with its own Identity
// crypt filter, a stream under a second named filter, odd /Length values).
// Each opens with the passwords qpdf accepts, refuses a wrong one, decrypts
// to what qpdf decrypts, and saved again opens in qpdf with the same values.
#include <gtest/gtest.h>

#include <functional>

#include "document/Document.h"
#include "tests/document/SecurityFakeDoc.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

using testing_security::FakeDoc;
using testing_security::MakeStream;
using vpltest::RunCommand;

// Catalog, pages, one page with content, metadata, information strings and
// an embedded file (objects 1 to 8).
void Build(FakeDoc& D, bool CryptIdentityMetadata, bool SecondFilterStream) {
    D.SecurityNewObjRef(D.S.Decode(
        "<< /Type /Catalog /Pages 2 0 R /Metadata 5 0 R /Names << /EmbeddedFiles << /Names [ "
        "(a.txt) 7 0 R ] >> >> >>"));
    D.SecurityNewObjRef(D.S.Decode("<< /Type /Pages /Kids [ 3 0 R ] /Count 1 >>"));
    D.SecurityNewObjRef(
        D.S.Decode("<< /Type /Page /Parent 2 0 R /MediaBox [ 0 0 200 200 ] /Contents 4 0 R >>"));
    TPDFStream* Content = MakeStream(D.S, "0 0 m 100 100 l S\n");
    if (SecondFilterStream) {
        Content->Dictionary()->Add("Filter", D.S.NewName("Crypt"));
        Content->Dictionary()->Add("DecodeParms", D.S.Decode("<< /Name /Second >>"));
    }
    D.SecurityNewObjRef(Content);
    TPDFStream* Meta = MakeStream(D.S, "<?xpacket begin?><x:xmpmeta/><?xpacket end?>");
    Meta->Dictionary()->Add("Type", D.S.NewName("Metadata"));
    Meta->Dictionary()->Add("Subtype", D.S.NewName("XML"));
    if (CryptIdentityMetadata) {
        Meta->Dictionary()->Add("Filter", D.S.Decode("[ /Crypt ]"));
        Meta->Dictionary()->Add("DecodeParms", D.S.Decode("[ << /Name /Identity >> ]"));
    }
    D.SecurityNewObjRef(Meta);
    D.SecurityNewObjRef(D.S.Decode("<< /Title (Filters title) /Author <FEFF00E9> >>"));
    D.SecurityNewObjRef(D.S.Decode("<< /Type /Filespec /F (a.txt) /EF << /F 8 0 R >> >>"));
    TPDFStream* File = MakeStream(D.S, "attached file body\n");
    File->Dictionary()->Add("Type", D.S.NewName("EmbeddedFile"));
    D.SecurityNewObjRef(File);
    D.Trailer->Add("Root", D.S.NewIndirectRef(1, 0));
    D.Trailer->Add("Info", D.S.NewIndirectRef(6, 0));
}

// A value in one notation: dictionary keys sorted (qpdf sorts them),
// strings in hexadecimal.
std::string Canon(TPDFObject* O, int Depth = 0) {
    if (!O || Depth > 50) return "null";
    if (auto* D = ObjAs<TPDFDictionary>(O)) {
        std::map<std::string, std::string> M;
        for (const TPDFEntry& E : D->GetEntries())
            if (E.Key) M[E.Key->Name()] = Canon(E.Value, Depth + 1);
        std::string R = "<<";
        for (const auto& [K, V] : M) R += " /" + K + " " + V;
        return R + " >>";
    }
    if (auto* A = ObjAs<TPDFArray>(O)) {
        std::string R = "[";
        for (TPDFObject* I : A->LiveItems()) R += " " + Canon(I, Depth + 1);
        return R + " ]";
    }
    if (auto* S = ObjAs<TPDFString>(O))
        return "<" + testing_security::ToHexUpper(S->AsString()) + ">";
    return O->Output();
}

// Every object of D but the /Encrypt dictionary, as D decrypts it: a
// stream by its decoded data (a /Crypt filter is passed over), any other
// value in one notation.
std::map<int32_t, std::string> OurValues(FakeDoc& D) {
    std::map<int32_t, std::string> R;
    for (auto& [N, I] : D.Objs) {
        if (N == D.H.FEncryption.DictionaryObjNum) continue;
        TPDFObject* V = D.Get(N);
        if (auto* S = ObjAs<TPDFStream>(V)) {
            if (S->Dictionary()->DictType() != "XRef") R[N] = "stream " + S->GetDecodedStream();
            continue;
        }
        R[N] = Canon(V);
    }
    return R;
}

// The same objects as qpdf shows them in File opened with Password.
std::map<int32_t, std::string> QpdfValues(const std::filesystem::path& File,
                                          const std::string& Password,
                                          const std::map<int32_t, std::string>& Like) {
    std::map<int32_t, std::string> R;
    TPDFStructure S;
    for (const auto& [N, Ours] : Like) {
        const bool Stream = Ours.rfind("stream ", 0) == 0;
        std::vector<std::string> Argv = {"qpdf", "--password=" + Password,
                                         "--show-object=" + std::to_string(N), File.string()};
        if (Stream) Argv.insert(Argv.begin() + 3, "--filtered-stream-data");
        const auto Q = RunCommand(Argv);
        EXPECT_EQ(Q.exitCode, 0) << N << ": " << Q.err;
        if (Stream) {
            R[N] = "stream " + Q.out;
            continue;
        }
        R[N] = Canon(S.Decode(Q.out));
    }
    return R;
}

struct Case {
    const char* name;
    // qpdf --encrypt arguments (user, owner, bits, options), or empty for
    // a file built here.
    std::vector<std::string> qpdf;
    // Built here: strength, passwords and the change to the standard
    // dictionary the handler wrote.
    TPDFEncryptionStrength strength;
    const char *user, *owner;
    std::function<void(FakeDoc&, TPDFDictionary*)> edit;
    bool identityMetadata, secondFilter;
    // Passwords to open with and whether each is the owner password.
    std::vector<std::pair<std::string, bool>> passwords;
    bool openWithoutPassword;  // only the attachments are encrypted
};

void SetName(FakeDoc& D, TPDFDictionary* E, const char* Key, const char* Name) {
    E->DeleteEntryByKeyName(Key);
    E->Add(Key, D.S.NewName(Name));
}

void SetText(FakeDoc& D, TPDFDictionary* E, const char* Key, const char* Text) {
    E->DeleteEntryByKeyName(Key);
    E->Add(Key, D.S.Decode(Text));
}

const std::vector<Case>& Cases() {
    static const std::vector<Case> C = {
        {"qpdf r2 40-bit",
         {"view", "master", "40"},
         esStd,
         "",
         "",
         nullptr,
         false,
         false,
         {{"view", false}, {"master", true}},
         false},
        {"qpdf r3 128-bit rc4",
         {"view", "master", "128", "--use-aes=n"},
         esStd,
         "",
         "",
         nullptr,
         false,
         false,
         {{"view", false}, {"master", true}},
         false},
        {"qpdf r4 aesv2 clear metadata",
         {"view", "master", "128", "--use-aes=y", "--cleartext-metadata"},
         esStd,
         "",
         "",
         nullptr,
         false,
         false,
         {{"view", false}, {"master", true}},
         false},
        {"qpdf r6 empty owner",
         {"view", "", "256", "--allow-insecure"},
         esStd,
         "",
         "",
         nullptr,
         false,
         false,
         {{"view", false}, {"", true}},
         false},
        {"qpdf r5 empty owner",
         {"view", "", "256", "--force-R5", "--allow-insecure"},
         esStd,
         "",
         "",
         nullptr,
         false,
         false,
         {{"view", false}, {"", true}},
         false},
        {"qpdf r6 both empty",
         {"", "", "256", "--allow-insecure"},
         esStd,
         "",
         "",
         nullptr,
         false,
         false,
         {{"", true}},
         false},
        {"qpdf r6 clear metadata",
         {"view", "master", "256", "--cleartext-metadata"},
         esStd,
         "",
         "",
         nullptr,
         false,
         false,
         {{"view", false}, {"master", true}},
         false},
        {"attachments only r6",
         {},
         esAES256BitAcroX,
         "view",
         "master",
         [](FakeDoc& D, TPDFDictionary* E) {
             SetName(D, E, "StmF", "Identity");
             SetName(D, E, "StrF", "Identity");
             SetName(D, E, "EFF", "StdCF");
         },
         false,
         false,
         {{"view", false}, {"master", true}},
         true},
        {"attachments only r4 aesv2",
         {},
         esAES128Bit,
         "view",
         "master",
         [](FakeDoc& D, TPDFDictionary* E) {
             SetName(D, E, "StmF", "Identity");
             SetName(D, E, "StrF", "Identity");
             SetName(D, E, "EFF", "StdCF");
         },
         false,
         false,
         {{"view", false}, {"master", true}},
         true},
        {"metadata with its own identity filter",
         {},
         esAES128Bit,
         "view",
         "master",
         nullptr,
         true,
         false,
         {{"view", false}, {"master", true}},
         false},
        {"stream under a second named filter",
         {},
         esAES128Bit,
         "view",
         "master",
         [](FakeDoc& D, TPDFDictionary* E) {
             auto* CF = ObjAs<TPDFDictionary>(E->FindValueByKeyName("CF", true));
             CF->Add("Second", D.S.Decode("<< /CFM /V2 /Length 16 >>"));
         },
         false,
         true,
         {{"view", false}, {"master", true}},
         false},
        {"length missing",
         {},
         es128Bit,
         "view",
         "master",
         [](FakeDoc&, TPDFDictionary* E) { E->DeleteEntryByKeyName("Length"); },
         false,
         false,
         {{"view", false}, {"master", true}},
         false},
        {"length 16 meaning bytes",
         {},
         es128Bit,
         "view",
         "master",
         [](FakeDoc& D, TPDFDictionary* E) { SetText(D, E, "Length", "16"); },
         false,
         false,
         {{"view", false}, {"master", true}},
         false},
        {"length 128 on a version 1 file",
         {},
         esStd,
         "view",
         "master",
         [](FakeDoc& D, TPDFDictionary* E) { SetText(D, E, "Length", "128"); },
         false,
         false,
         {{"view", false}, {"master", true}},
         false},
    };
    return C;
}

// Writes the case's encrypted file to Path.
void MakeFile(const Case& c, const vpltest::TempDir& Tmp, const std::filesystem::path& Path) {
    FakeDoc D;
    Build(D, c.identityMetadata, c.secondFilter);
    if (!c.qpdf.empty()) {
        const auto Plain = Tmp / "plain.pdf";
        vpltest::WriteFile(Plain, D.Save());
        std::vector<std::string> Argv = {"qpdf", "--allow-weak-crypto", "--object-streams=disable",
                                         "--stream-data=preserve", "--encrypt"};
        Argv.insert(Argv.end(), c.qpdf.begin(), c.qpdf.end());
        Argv.insert(Argv.end(), {"--", Plain.string(), Path.string()});
        const auto R = RunCommand(Argv);
        ASSERT_EQ(R.exitCode, 0) << R.err;
        return;
    }
    D.H.EncryptDocument(c.owner, c.user, c.strength, TPDFPermissions::All(),
                        TPDFExtraPermissions::All());
    auto* E = ObjAs<TPDFDictionary>(D.Objs.at(D.H.FEncryption.DictionaryObjNum).Value);
    ASSERT_NE(E, nullptr);
    if (c.edit) c.edit(D, E);
    // The objects are written under the dictionary as edited.
    D.H.FEncryption.Extracted = false;
    vpltest::WriteFile(Path, D.Save());
}

// qpdf's values. Where qpdf's object display does not apply a filter, the
// plain text built here stands for its value: /EFF on an embedded file
// stream, and a stream's own /Crypt filter naming a filter other than the
// stream filter (qpdf leaves that stream's data undeciphered).
std::map<int32_t, std::string> Qpdf(const std::filesystem::path& File, const std::string& Pw,
                                    const std::map<int32_t, std::string>& Like, const Case& c) {
    auto R = QpdfValues(File, Pw, Like);
    if (c.openWithoutPassword) R[8] = "stream attached file body\n";
    if (c.secondFilter) R[4] = "stream 0 0 m 100 100 l S\n";
    return R;
}

TEST(oracle, encrypted_files_as_writers_make_them) {
    VPL_REQUIRE_TOOL("qpdf");
    vpltest::TempDir Tmp;
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        const auto File = Tmp / "enc.pdf";
        MakeFile(c, Tmp, File);
        if (HasFatalFailure()) return;
        const std::string Text = vpltest::ReadFile(File);

        // qpdf refuses a wrong password, and the empty one unless it is a
        // password of the file.
        EXPECT_EQ(RunCommand({"qpdf", "--password=wrong!", "--check", File.string()}).exitCode, 2);

        for (const auto& [Pw, IsOwner] : c.passwords) {
            SCOPED_TRACE("password '" + Pw + "'");
            FakeDoc D;
            D.Load(Text);
            ASSERT_EQ(D.H.GetEncrypted(), peEncrypted);
            if (!c.openWithoutPassword) EXPECT_FALSE(D.H.OpenWithPassword(u"wrong!"));
            ASSERT_TRUE(D.H.OpenWithPassword(std::u16string(Pw.begin(), Pw.end())));
            EXPECT_FALSE(D.H.FOpenedWithoutKey);
            EXPECT_TRUE(D.H.FIsUserPassword || IsOwner);
            EXPECT_EQ(D.H.FIsOwnerPassword, IsOwner);
            EXPECT_EQ(D.H.FDecryptFailures, 0);
            const auto Got = OurValues(D);
            ASSERT_GE(Got.size(), 8u);
            EXPECT_EQ(Got, Qpdf(File, Pw, Got, c));
            // Saved again through the handler: qpdf opens it with the same
            // password and decrypts the same values.
            const auto Again = Tmp / "again.pdf";
            vpltest::WriteFile(Again, D.Save());
            EXPECT_EQ(Qpdf(Again, Pw, Got, c), Got);

            // The document load reports the same rights.
            TPDFDocument Doc;
            ASSERT_EQ(Doc.LoadFromFile(File.u16string(), std::u16string(Pw.begin(), Pw.end())),
                      lrOkay);
            EXPECT_EQ(Doc.IsOwnerPassword(), IsOwner);
            EXPECT_EQ(Doc.PageCount(), 1);
        }

        TPDFDocument Wrong;
        const TVPLLoadResult WR = Wrong.LoadFromFile(File.u16string(), u"wrong!");
        if (!c.openWithoutPassword) {
            EXPECT_EQ(WR, lrWrongPassword);
            continue;
        }
        // Only the attachment is encrypted: the file opens without a
        // password (qpdf asks for one), reads its clear parts, keeps the
        // attachment as cipher text, and saved again still opens in qpdf.
        EXPECT_EQ(RunCommand({"qpdf", "--check", File.string()}).exitCode, 2);
        EXPECT_EQ(WR, lrOkay);
        EXPECT_TRUE(Wrong.Security().FOpenedWithoutKey);
        EXPECT_FALSE(Wrong.IsUserPassword() || Wrong.IsOwnerPassword());
        FakeDoc K;
        K.Load(Text);
        ASSERT_TRUE(K.H.OpenWithPassword(u""));
        EXPECT_TRUE(K.H.FOpenedWithoutKey);
        const std::string& Pw = c.passwords.front().first;
        const auto Got = OurValues(K);
        const auto Want = Qpdf(File, Pw, Got, c);
        for (const auto& [N, V] : Want) {
            if (N == 8)
                EXPECT_NE(Got.at(N), V) << "the attachment cannot decrypt without the key";
            else
                EXPECT_EQ(Got.at(N), V) << N;
        }
        const auto Again = Tmp / "again.pdf";
        vpltest::WriteFile(Again, K.Save());
        EXPECT_EQ(Qpdf(Again, Pw, Got, c), Want);
    }
}

}  // namespace
}  // namespace velmo
