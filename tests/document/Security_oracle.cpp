// Files encrypted here are read by qpdf, and files qpdf encrypts are read
// here; both sides must agree on every password and every decrypted value.
#include <gtest/gtest.h>

#include <regex>

#include "tests/document/SecurityFakeDoc.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

using testing_security::FakeDoc;
using testing_security::Values;
using vpltest::RunCommand;

// A plain document: catalog, page tree, one page with a content stream,
// an information dictionary with strings and a metadata stream.
void Build(FakeDoc& D) {
    D.SecurityNewObjRef(D.S.Decode("<< /Type /Catalog /Pages 2 0 R /Metadata 5 0 R >>"));
    D.SecurityNewObjRef(D.S.Decode("<< /Type /Pages /Kids [ 3 0 R ] /Count 1 >>"));
    D.SecurityNewObjRef(
        D.S.Decode("<< /Type /Page /Parent 2 0 R /MediaBox [ 0 0 200 200 ] /Contents 4 0 R >>"));
    D.SecurityNewObjRef(testing_security::MakeStream(D.S, std::string("0 0 m 100 100 l S\n")));
    TPDFStream* Meta =
        testing_security::MakeStream(D.S, std::string("<?xpacket begin?><x:xmpmeta/>"));
    Meta->Dictionary()->Add("Type", D.S.NewName("Metadata"));
    Meta->Dictionary()->Add("Subtype", D.S.NewName("XML"));
    D.SecurityNewObjRef(Meta);
    D.SecurityNewObjRef(
        D.S.Decode("<< /Title (Plain title) /Author <FEFF00E9> /Subject () /Keywords (x) >>"));
    D.Trailer->Add("Root", D.S.NewIndirectRef(1, 0));
    D.Trailer->Add("Info", D.S.NewIndirectRef(6, 0));
}

// The document of Build written as plain.pdf in Tmp.
std::filesystem::path WritePlain(const vpltest::TempDir& Tmp) {
    FakeDoc Src;
    Build(Src);
    const auto Plain = Tmp / "plain.pdf";
    vpltest::WriteFile(Plain, Src.Save());
    return Plain;
}

// qpdf --encrypt view master <Args> on Plain, spread out (no object streams).
bool QpdfEncrypt(const std::filesystem::path& Plain, const std::vector<std::string>& Args,
                 const std::filesystem::path& Out) {
    std::vector<std::string> Argv = {"qpdf",
                                     "--allow-weak-crypto",
                                     "--object-streams=disable",
                                     "--stream-data=preserve",
                                     "--encrypt",
                                     "view",
                                     "master"};
    Argv.insert(Argv.end(), Args.begin(), Args.end());
    Argv.insert(Argv.end(), {"--", Plain.string(), Out.string()});
    return RunCommand(Argv).exitCode == 0;
}

std::string Field(const std::string& Text, const std::string& Name) {
    std::smatch M;
    std::regex Re("(^|\\n)" + Name + " ?[=:] ([^\\n]*)");
    return std::regex_search(Text, M, Re) ? M[2].str() : std::string("<missing>");
}

TEST(oracle, encrypt_each_strength_opens_in_qpdf) {
    VPL_REQUIRE_TOOL("qpdf");
    vpltest::TempDir Tmp;
    const struct {
        TPDFEncryptionStrength strength;
        const char* R;
        int keyHexLen;
        const char* method;
    } cases[] = {
        {esStd, "2", 10, ""},
        {es128Bit, "3", 32, ""},
        {esAES128Bit, "4", 32, "AESv2"},
        {esAES256Bit, "5", 64, "AESv3"},
        {esAES256BitAcroX, "6", 64, "AESv3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.R);
        FakeDoc D;
        Build(D);
        D.H.EncryptDocument("master", "view", c.strength, {ppCanPrint, ppCanCopy},
                            {ppCanFillFields});
        const auto File = Tmp / (std::string("enc") + c.R + ".pdf");
        vpltest::WriteFile(File, D.Save());
        const std::string ExpectedP = c.strength == esStd ? "-44" : "-3628";

        for (const char* Pw : {"view", "master"}) {
            auto Show = RunCommand({"qpdf", "--show-encryption", "--show-encryption-key",
                                    std::string("--password=") + Pw, File.string()});
            EXPECT_EQ(Show.exitCode, 0) << Show.err;
            EXPECT_EQ(Field(Show.out, "R"), c.R);
            EXPECT_EQ(Field(Show.out, "P"), ExpectedP);
            EXPECT_EQ(Field(Show.out, "Encryption key").size(), size_t(c.keyHexLen));
            if (*c.method) EXPECT_EQ(Field(Show.out, "stream encryption method"), c.method);
            EXPECT_NE(Show.out.find(std::string("Supplied password is ") +
                                    (Pw == std::string("view") ? "user" : "owner")),
                      std::string::npos)
                << Show.out;
        }
        auto Check = RunCommand({"qpdf", "--check", "--password=view", File.string()});
        EXPECT_EQ(Check.exitCode, 0) << Check.out << Check.err;

        // qpdf decrypts to the values held here, with either password.
        for (const char* Pw : {"--password=view", "--password=master"}) {
            auto Info = RunCommand({"qpdf", "--show-object=6", Pw, File.string()});
            EXPECT_NE(Info.out.find("/Title (Plain title)"), std::string::npos) << Info.out;
            EXPECT_NE(Info.out.find("/Author <feff00e9>"), std::string::npos) << Info.out;
            auto Content =
                RunCommand({"qpdf", "--show-object=4", "--raw-stream-data", Pw, File.string()});
            EXPECT_EQ(Content.out, "0 0 m 100 100 l S\n");
            auto Meta =
                RunCommand({"qpdf", "--show-object=5", "--raw-stream-data", Pw, File.string()});
            EXPECT_EQ(Meta.out, "<?xpacket begin?><x:xmpmeta/>");
        }
    }
}

TEST(oracle, qpdf_encrypted_files_decrypt_alike) {
    VPL_REQUIRE_TOOL("qpdf");
    vpltest::TempDir Tmp;
    const auto Plain = WritePlain(Tmp);
    const struct {
        const char* name;
        std::vector<std::string> args;
    } cases[] = {
        {"rc4-40", {"40"}},
        {"rc4-128", {"128", "--use-aes=n"}},
        {"aes-128", {"128", "--use-aes=y"}},
        {"aes-128-clear-metadata", {"128", "--use-aes=y", "--cleartext-metadata"}},
        {"aes-256", {"256"}},
        {"aes-256-clear-metadata", {"256", "--cleartext-metadata"}},
        {"aes-256-r5", {"256", "--force-R5"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto Enc = Tmp / (std::string(c.name) + ".pdf");
        ASSERT_TRUE(QpdfEncrypt(Plain, c.args, Enc));
        const auto Dec = Tmp / (std::string(c.name) + "-dec.pdf");
        auto R = RunCommand({"qpdf", "--password=view", "--decrypt", "--object-streams=disable",
                             "--stream-data=preserve", Enc.string(), Dec.string()});
        ASSERT_EQ(R.exitCode, 0) << R.err;

        FakeDoc Expected;
        Expected.Load(vpltest::ReadFile(Dec));
        const auto Want = Values(Expected);
        for (const char16_t* Pw : {u"view", u"master"}) {
            FakeDoc D;
            D.Load(vpltest::ReadFile(Enc));
            EXPECT_FALSE(D.H.OpenWithPassword(u"nothing"));
            ASSERT_TRUE(D.H.OpenWithPassword(Pw));
            EXPECT_EQ(D.H.FIsOwnerPassword, Pw == std::u16string(u"master"));
            EXPECT_EQ(Values(D), Want);
        }
    }
}

TEST(oracle, file_without_id_opens_in_qpdf_after_save) {
    VPL_REQUIRE_TOOL("qpdf");
    vpltest::TempDir Tmp;
    // Encrypted by qpdf, then the /ID taken out and written with the keys
    // of an empty first element is not possible there; instead encrypt here
    // with an empty first element and drop the /ID.
    FakeDoc D;
    Build(D);
    D.Trailer->Add("ID", D.S.NewArray({D.S.NewString("", smHex), D.S.NewString("", smHex)}));
    D.H.EncryptDocument("master", "view", es128Bit, TPDFPermissions::All(),
                        TPDFExtraPermissions::All());
    D.Trailer->DeleteEntryByKeyName("ID");
    std::string NoID = D.Save();
    // Save made a new /ID; take it out of the text again.
    NoID = std::regex_replace(NoID, std::regex("/ID \\[[^\\]]*\\]\\n?"), "");
    ASSERT_EQ(NoID.find("/ID"), std::string::npos);

    FakeDoc L;
    L.Load(NoID);
    ASSERT_TRUE(L.H.OpenWithPassword(u"view"));
    EXPECT_EQ(L.H.GetEncrypted(), peEncrypted);
    const auto File = Tmp / "resaved.pdf";
    vpltest::WriteFile(File, L.Save());
    auto Show = RunCommand({"qpdf", "--show-object=6", "--password=view", File.string()});
    EXPECT_EQ(Show.exitCode, 0) << Show.err;
    EXPECT_NE(Show.out.find("/Title (Plain title)"), std::string::npos) << Show.out;
    Show = RunCommand({"qpdf", "--show-encryption", "--password=master", File.string()});
    EXPECT_NE(Show.out.find("Supplied password is owner password"), std::string::npos);
}

TEST(oracle, fingerprint_opens_in_qpdf_with_source_passwords) {
    VPL_REQUIRE_TOOL("qpdf");
    vpltest::TempDir Tmp;
    const auto Plain = WritePlain(Tmp);
    const struct {
        const char* name;
        std::vector<std::string> args;
        const char16_t* openWith;
    } cases[] = {
        {"rc4-128", {"128", "--use-aes=n"}, u"view"},
        {"aes-128", {"128", "--use-aes=y"}, u"master"},
        {"aes-256", {"256"}, u"view"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto Enc = Tmp / (std::string(c.name) + ".pdf");
        ASSERT_TRUE(QpdfEncrypt(Plain, c.args, Enc));

        FakeDoc Source;
        Source.Load(vpltest::ReadFile(Enc));
        ASSERT_TRUE(Source.H.OpenWithPassword(c.openWith));
        const std::string FP = Source.H.EncryptionFingerprint();

        FakeDoc Target;
        Build(Target);
        ASSERT_TRUE(Target.H.EncryptWithFingerprint(FP));
        const auto Out = Tmp / (std::string(c.name) + "-fp.pdf");
        vpltest::WriteFile(Out, Target.Save());
        for (const char* Pw : {"view", "master"}) {
            auto Show = RunCommand(
                {"qpdf", "--show-encryption", std::string("--password=") + Pw, Out.string()});
            EXPECT_NE(Show.out.find(std::string("Supplied password is ") +
                                    (Pw == std::string("view") ? "user" : "owner")),
                      std::string::npos)
                << Show.out << Show.err;
            auto Info = RunCommand(
                {"qpdf", "--show-object=6", std::string("--password=") + Pw, Out.string()});
            EXPECT_NE(Info.out.find("/Title (Plain title)"), std::string::npos) << Info.out;
            auto Content = RunCommand({"qpdf", "--show-object=4", "--raw-stream-data",
                                       std::string("--password=") + Pw, Out.string()});
            EXPECT_EQ(Content.out, "0 0 m 100 100 l S\n");
        }
    }
}

}  // namespace
}  // namespace velmo
