#include <gtest/gtest.h>

#include "document/Document.h"
#include "tests/document/SecurityFakeDoc.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

std::string TitleOf(TPDFDocument& D) {
    auto* Info = ObjAs<TPDFDictionary>(D.FindObj(3, 0)->GetObj());
    auto* S = Info ? ObjAs<TPDFString>(Info->FindValueByKeyName("Title", true)) : nullptr;
    return S ? S->AsString() : std::string();
}

TEST(SecurityLoad, EncryptedFileWithoutIDLoadsAndStaysEncrypted) {
    const std::string File = testing_security::FileWithoutID();
    struct Case {
        const char16_t* password;
        TVPLLoadResult result;
        bool user, owner;
    } cases[] = {
        {u"view", lrOkay, true, false},
        {u"master", lrOkay, false, true},
        {u"", lrWrongPassword, false, false},
        {u"other", lrWrongPassword, false, false},
    };
    for (const Case& c : cases) {
        TPDFDocument D;
        ASSERT_EQ(D.LoadFromString(File, c.password), c.result);
        EXPECT_EQ(D.IsUserPassword(), c.user);
        EXPECT_EQ(D.IsOwnerPassword(), c.owner);
        if (c.result != lrOkay) continue;
        EXPECT_EQ(D.Encrypted(), peEncrypted);
        EXPECT_EQ(D.EncryptionStrength(), 56);
        EXPECT_EQ(D.EncryptionAlgorithm(), 1);
        EXPECT_EQ(D.PermissionsKey(), 0xFFFFF0C0u);
        EXPECT_TRUE(D.CanDecrypt());
        EXPECT_EQ(TitleOf(D), "Plain title");
        // Nothing made an /ID with a first element other than the empty one
        // the keys were computed with.
        auto* ID = D.GetID();
        ASSERT_NE(ID, nullptr);
        EXPECT_EQ(ObjAs<TPDFString>(ID->GetItem(0))->AsString(), "");
    }
}

TEST(SecurityLoad, DecryptAndEncryptThroughTheDocument) {
    TPDFDocument D;
    ASSERT_EQ(D.LoadFromString(testing_security::FileWithoutID(), u"master"), lrOkay);
    EXPECT_TRUE(D.HasUserPassword());
    EXPECT_TRUE(D.HasOwnerPassword());
    ASSERT_TRUE(D.Decrypt());
    EXPECT_EQ(D.Encrypted(), peDecrypted);
    EXPECT_EQ(D.Trailer()->FindValueByKeyName("Encrypt", false), nullptr);
    EXPECT_EQ(TitleOf(D), "Plain title");
    EXPECT_FALSE(D.Decrypt());

    ASSERT_TRUE(
        D.Encrypt("o", "u", esAES256BitAcroX, TPDFPermissions::All(), TPDFExtraPermissions::All()));
    EXPECT_TRUE(D.IsOwnerPassword());
    EXPECT_EQ(D.Encrypted(), peEncrypted);
    EXPECT_TRUE(D.EncryptionAcroX());
    EXPECT_EQ(TitleOf(D), "Plain title");
    EXPECT_FALSE(D.EncryptionFingerprint().empty());
}

TEST(SecurityLoad, ObjectsEncryptForWritingAndDecryptAgain) {
    const std::string File = testing_security::FileWithoutID();
    TPDFDocument D;
    ASSERT_EQ(D.LoadFromString(File, u"view"), lrOkay);
    TPDFIndObj* IO = D.FindObj(3, 0);
    ASSERT_EQ(TitleOf(D), "Plain title");
    EXPECT_TRUE(IO->Decrypted());
    IO->Encrypt();
    EXPECT_FALSE(IO->Decrypted());
    // RC4 gives back the bytes of the file.
    const std::string Stored = ObjAs<TPDFDictionary>(IO->FObj)->StringValue("Title");
    EXPECT_NE(File.find(testing_security::ToHexUpper(Stored)), std::string::npos);
    IO->Decrypt();
    EXPECT_EQ(TitleOf(D), "Plain title");
    // The /Encrypt dictionary object is left alone.
    TPDFIndObj* Enc = D.FindObj(4, 0);
    const std::string Before = Enc->GetObj()->Output();
    Enc->Encrypt();
    EXPECT_EQ(Enc->GetObj()->Output(), Before);
}

TEST(SecurityLoad, DecryptWalkKeepsTheTemporaryDataFile) {
    vpltest::TempDir Tmp;
    const auto Spool = Tmp / "spool.tmp";
    TPDFDocument D;
    ASSERT_EQ(D.LoadFromString(testing_security::FileWithoutID(), u"view"), lrOkay);
    ASSERT_TRUE(D.SetTempFileName(Spool.u16string()));
    D.StoreData(99, "spooled bytes");  // nothing: the file is not open yet
    ASSERT_TRUE(D.OpenTempFile());
    D.StoreData(42, "spooled bytes");
    D.CloseTempFile();
    const std::string Before = vpltest::ReadFile(Spool);
    ASSERT_TRUE(D.Decrypt());
    EXPECT_EQ(D.FMainFS, nullptr);                // closed again after the walk
    EXPECT_EQ(vpltest::ReadFile(Spool), Before);  // its data kept
    EXPECT_EQ(TitleOf(D), "Plain title");
}

}  // namespace
}  // namespace velmo

namespace velmo {
namespace {

// A content stream whose AES data is damaged: the empty password is still
// accepted, the document opens, and the failure is counted, not refused.
TEST(SecurityLoad, UndecryptableContentStillOpens) {
    testing_security::FakeDoc D;
    D.SecurityNewObjRef(D.S.Decode("<< /Type /Catalog /Pages 2 0 R >>"));
    D.SecurityNewObjRef(D.S.Decode("<< /Type /Pages /Kids [ 3 0 R ] /Count 1 >>"));
    D.SecurityNewObjRef(
        D.S.Decode("<< /Type /Page /Parent 2 0 R /MediaBox [ 0 0 9 9 ] /Contents 4 0 R >>"));
    D.SecurityNewObjRef(testing_security::MakeStream(D.S, "0 0 m 9 9 l S\n"));
    D.Trailer->Add("Root", D.S.NewIndirectRef(1, 0));
    D.H.EncryptDocument("owner", "", esAES128Bit, TPDFPermissions::All(),
                        TPDFExtraPermissions::All());
    std::string Text = D.Save();
    // The IV's last byte changed: the padding byte of the plain text
    // (0x02) deciphers as 0x57, which no padding can be.
    const size_t At = Text.find("stream\n", Text.find("4 0 obj")) + 7;
    Text[At + 15] = static_cast<char>(Text[At + 15] ^ 0x55);
    TPDFDocument Doc;
    ASSERT_EQ(Doc.LoadFromString(Text, u""), lrOkay);
    EXPECT_TRUE(Doc.IsUserPassword());
    EXPECT_EQ(Doc.PageCount(), 1);
    for (int32_t i = 0; i < Doc.ObjCount(); ++i) Doc.IndObj(i)->GetObj();
    EXPECT_GE(Doc.Security().FDecryptFailures, 1);
}

}  // namespace
}  // namespace velmo
