#include <gtest/gtest.h>

#include "tests/document/SecurityFakeDoc.h"

namespace velmo {
namespace {

using testing_security::FakeDoc;
using testing_security::FileWithoutID;

std::string Hex(std::string_view hex) { return testing_security::FromHex(hex); }

TPDFString* Str(TPDFObject* D, std::string_view Key) {
    return ObjAs<TPDFString>(ObjAs<TPDFDictionary>(D)->FindValueByKeyName(Key, true));
}

TEST(SecurityObjects, ReadsEncryptDictionaryForms) {
    struct Case {
        const char* name;
        const char* dict;
        TPDFEncrypted state;
        int V, R, Length;
        TPDFEncryptionAlgorithm alg;
        std::uint32_t P;
        bool encryptMetadata;
    };
    const Case cases[] = {
        {"rc4 40", "<< /Filter /Standard /V 1 /R 2 /Length 128 /P -4 /O <01> /U <02> >>",
         peEncrypted, 1, 2, 40, eaRC4, 0xFFFFFFFC, true},
        {"rc4 56", "<< /Filter /Standard /V 2 /R 3 /Length 56 /P -4 >>", peEncrypted, 2, 3, 56,
         eaRC4, 0xFFFFFFFC, true},
        {"v2 r2 takes length", "<< /Filter /Standard /V 2 /R 2 /Length 64 /P -4 >>", peEncrypted, 2,
         2, 64, eaRC4, 0xFFFFFFFC, true},
        {"unsigned P", "<< /Filter /Standard /V 2 /R 3 /Length 128 /P 4294963392 >>", peEncrypted,
         2, 3, 128, eaRC4, 0xFFFFF0C0, true},
        {"aesv2",
         "<< /Filter /Standard /V 4 /R 4 /P -4 /StrF /StdCF /StmF /StdCF /CF << /StdCF << /CFM "
         "/AESV2 /Length 16 >> >> /EncryptMetadata false >>",
         peEncrypted, 4, 4, 128, eaAES128, 0xFFFFFFFC, false},
        {"v4 rc4",
         "<< /Filter /Standard /V 4 /R 4 /P -4 /StrF /StdCF /StmF /StdCF /CF << /StdCF "
         "<< /CFM /V2 /Length 5 >> >> >>",
         peEncrypted, 4, 4, 40, eaRC4, 0xFFFFFFFC, true},
        {"aesv3 r6",
         "<< /Filter /Standard /V 5 /R 6 /P -1028 /StrF /StdCF /StmF /StdCF /CF << /StdCF << "
         "/CFM /AESV3 /Length 32 >> >> /EncryptMetadata false >>",
         peEncrypted, 5, 6, 256, eaAES256, 0xFFFFFBFC, false},
        // Any name of /CF serves; /Identity and /CFM /None leave data clear.
        {"other crypt filter name",
         "<< /Filter /Standard /V 4 /R 4 /P -4 /StrF /Mine /StmF /Mine /CF << /Mine << /CFM "
         "/AESV2 >> >> >>",
         peEncrypted, 4, 4, 128, eaAES128, 0xFFFFFFFC, true},
        {"identity", "<< /Filter /Standard /V 4 /R 4 /P -4 /StrF /Identity /StmF /Identity >>",
         peEncrypted, 4, 4, 40, eaRC4, 0xFFFFFFFC, true},
        {"cfm none",
         "<< /Filter /Standard /V 4 /R 4 /StrF /StdCF /StmF /StdCF /CF << /StdCF "
         "<< /CFM /None >> >> >>",
         peEncrypted, 4, 4, 40, eaRC4, 0, true},
        {"embedded files only",
         "<< /Filter /Standard /V 5 /R 6 /P -4 /StrF /Identity /StmF /Identity /EFF /StdCF /CF "
         "<< /StdCF << /CFM /AESV3 /AuthEvent /EFOpen >> >> >>",
         peEncrypted, 5, 6, 256, eaAES256, 0xFFFFFFFC, true},
        {"unknown cfm",
         "<< /Filter /Standard /V 4 /R 4 /StrF /StdCF /StmF /StdCF /CF << /StdCF "
         "<< /CFM /Other >> >> >>",
         peUnknownEncryption, 0, 0, 0, eaRC4, 0, true},
        {"aesv3 in version 4",
         "<< /Filter /Standard /V 4 /R 4 /StrF /StdCF /StmF /StdCF /CF << /StdCF "
         "<< /CFM /AESV3 >> >> >>",
         peUnknownEncryption, 0, 0, 0, eaRC4, 0, true},
        // Key lengths in bytes, beyond range or missing.
        {"length in bytes", "<< /Filter /Standard /V 2 /R 3 /Length 16 /P -4 >>", peEncrypted, 2, 3,
         128, eaRC4, 0xFFFFFFFC, true},
        {"length too long", "<< /Filter /Standard /V 2 /R 3 /Length 4096 /P -4 >>", peEncrypted, 2,
         3, 128, eaRC4, 0xFFFFFFFC, true},
        {"length odd bits", "<< /Filter /Standard /V 2 /R 3 /Length 61 /P -4 >>", peEncrypted, 2, 3,
         56, eaRC4, 0xFFFFFFFC, true},
        {"length missing", "<< /Filter /Standard /V 2 /R 3 /P -4 >>", peEncrypted, 2, 3, 40, eaRC4,
         0xFFFFFFFC, true},
        {"length negative", "<< /Filter /Standard /V 2 /R 3 /Length -8 /P -4 >>", peEncrypted, 2, 3,
         40, eaRC4, 0xFFFFFFFC, true},
        {"crypt filter bits",
         "<< /Filter /Standard /V 4 /R 4 /P -4 /StrF /StdCF /StmF /StdCF /CF << /StdCF "
         "<< /CFM /V2 /Length 128 >> >> >>",
         peEncrypted, 4, 4, 128, eaRC4, 0xFFFFFFFC, true},
        {"aesv2 length ignored",
         "<< /Filter /Standard /V 4 /R 4 /P -4 /StrF /StdCF /StmF /StdCF /CF << /StdCF "
         "<< /CFM /AESV2 /Length 5 >> >> >>",
         peEncrypted, 4, 4, 128, eaAES128, 0xFFFFFFFC, true},
        {"v1 r3 length", "<< /Filter /Standard /V 1 /R 3 /Length 64 /P -4 >>", peEncrypted, 1, 3,
         40, eaRC4, 0xFFFFFFFC, true},
        {"other handler", "<< /Filter /PubSec /V 2 /R 3 /Length 128 >>", peUnknownEncryption, 0, 0,
         0, eaRC4, 0, true},
        {"v5 r4", "<< /Filter /Standard /V 5 /R 4 >>", peUnknownEncryption, 0, 0, 0, eaRC4, 0,
         true},
        {"not a dictionary", "[ 1 2 ]", peUnknownEncryption, 0, 0, 0, eaRC4, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDoc D;
        D.AddStored(7, 0, c.dict);
        D.Trailer->Add("Encrypt", D.S.NewIndirectRef(7, 0));
        EXPECT_EQ(D.H.GetEncrypted(), c.state);
        const TPDFEncryption& E = D.H.FEncryption;
        EXPECT_EQ(E.V, c.V);
        EXPECT_EQ(E.R, c.R);
        EXPECT_EQ(E.Length, c.Length);
        EXPECT_EQ(E.Algorithm, c.alg);
        EXPECT_EQ(E.EncryptMetadata, c.encryptMetadata);
        EXPECT_EQ(E.DictionaryObjNum, 7);
        EXPECT_EQ(D.H.PermKey, c.P);
    }
    FakeDoc Plain;
    EXPECT_EQ(Plain.H.GetEncrypted(), peDecrypted);
    EXPECT_EQ(Plain.H.EncryptionAlgorithm(), 0);
}

// A document holding the value kinds the walk must treat differently.
void Populate(FakeDoc& D) {
    D.SecurityNewObjRef(D.S.Decode("<< /Type /Catalog /Pages 2 0 R /Metadata 4 0 R >>"));
    D.SecurityNewObjRef(D.S.Decode("<< /Type /Pages /Kids [ ] /Count 0 >>"));
    D.SecurityNewObjRef(
        D.S.Decode("<< /Title (Plain title) /Keywords [ (a) [ (b) << /K (c) >> ] ] >>"));
    TPDFStream* Meta =
        testing_security::MakeStream(D.S, std::string("<x:xmpmeta>clear</x:xmpmeta>"));
    Meta->Dictionary()->Add("Type", D.S.NewName("Metadata"));
    D.SecurityNewObjRef(Meta);
    TPDFStream* XRef = testing_security::MakeStream(D.S, std::string("xref bytes"));
    XRef->Dictionary()->Add("Type", D.S.NewName("XRef"));
    XRef->Dictionary()->Add("ID", D.S.NewString("id", smHex));
    D.SecurityNewObjRef(XRef);
    D.SecurityNewObjRef(D.S.Decode(
        "<< /Type /Sig /Contents <3082ABCD> /ByteRange [ 0 10 20 30 ] /Name (Signer) >>"));
    D.SecurityNewObjRef(D.S.Decode("<< /Contents (not a signature) >>"));
    D.Trailer->Add("Root", D.S.NewIndirectRef(1, 0));
    D.Trailer->Add("Info", D.S.NewIndirectRef(3, 0));
}

TEST(SecurityObjects, WalkSkipsXRefStreamsSignaturesAndClearMetadata) {
    for (bool ClearMeta : {false, true}) {
        SCOPED_TRACE(ClearMeta);
        FakeDoc D;
        Populate(D);
        D.H.FEncryption.Extracted = true;
        D.H.FEncryption.EncryptMetadata = !ClearMeta;
        D.H.FEncryption.Algorithm = eaAES128;
        const std::string Key(16, 'k');
        for (int N : {3, 4, 5, 6, 7}) D.H.EncryptObjectStrings(Key, D.Objs[N].Value);

        auto* Info = ObjAs<TPDFDictionary>(D.Objs[3].Value);
        EXPECT_EQ(Str(Info, "Title")->AsString().size(), 32u);
        auto* Meta = ObjAs<TPDFStream>(D.Objs[4].Value);
        EXPECT_EQ(Meta->Stream() == "<x:xmpmeta>clear</x:xmpmeta>", ClearMeta);
        auto* XRef = ObjAs<TPDFStream>(D.Objs[5].Value);
        EXPECT_EQ(XRef->Stream(), "xref bytes");
        EXPECT_EQ(Str(XRef->Dictionary(), "ID")->AsString(), "id");
        EXPECT_EQ(Str(D.Objs[6].Value, "Contents")->AsString(), Hex("3082ABCD"));
        EXPECT_NE(Str(D.Objs[6].Value, "Name")->AsString(), "Signer");
        EXPECT_NE(Str(D.Objs[7].Value, "Contents")->AsString(), "not a signature");

        D.H.FIsUserPassword = true;
        for (int N : {3, 4, 5, 6, 7}) D.H.DecryptObjectStrings(Key, D.Objs[N].Value);
        EXPECT_EQ(Str(Info, "Title")->AsString(), "Plain title");
        EXPECT_EQ(Meta->Stream(), "<x:xmpmeta>clear</x:xmpmeta>");
        EXPECT_EQ(ObjAs<TPDFNumeric>(Meta->Dictionary()->FindValueByKeyName("Length", false))
                      ->AsInteger(),
                  28);
        EXPECT_EQ(Str(D.Objs[6].Value, "Name")->AsString(), "Signer");
        EXPECT_EQ(Str(D.Objs[7].Value, "Contents")->AsString(), "not a signature");
        auto* Kw = ObjAs<TPDFArray>(Info->FindValueByKeyName("Keywords", false));
        EXPECT_EQ(Kw->Output(), "[ (a) [ (b) <<\n/K (c)\n>>\n] ]");
    }
}

TEST(SecurityObjects, SharedAndDeepValuesAreSafe) {
    FakeDoc D;
    D.H.FEncryption.Extracted = true;
    TPDFString* Shared = D.S.NewString("shared", smLiteral);
    TPDFArray* A = D.S.NewArray({Shared, Shared});
    D.H.EncryptObjectStrings("12345", A);
    D.H.FIsUserPassword = true;
    D.H.DecryptObjectStrings("12345", A);
    EXPECT_EQ(Shared->AsString(), "shared");  // changed once each way, not twice

    // A container that holds itself, and nesting beyond the walk's limit.
    TPDFArray* Loop = D.S.NewArray();
    Loop->Add(Loop);
    Loop->Add(D.S.NewString("x", smLiteral));
    D.H.EncryptObjectStrings("12345", Loop);
    TPDFArray* Deep = D.S.NewArray();
    TPDFArray* Cur = Deep;
    for (int i = 0; i < 100000; ++i) {
        TPDFArray* Next = D.S.NewArray();
        Cur->Add(Next);
        Cur = Next;
    }
    D.H.EncryptObjectStrings("12345", Deep);
}

TEST(SecurityObjects, DecryptionNeedsAnAcceptedPassword) {
    FakeDoc D;
    D.H.FEncryption.Extracted = true;
    TPDFString* S = D.S.NewString("abc", smLiteral);
    D.H.DecryptObjectStrings("12345", S);
    EXPECT_EQ(S->AsString(), "abc");
}

struct StrengthCase {
    TPDFEncryptionStrength strength;
    int V, R, Length;
    TPDFEncryptionAlgorithm alg;
    const char* dictStart;
};

const StrengthCase kStrengths[] = {
    {esStd, 1, 2, 40, eaRC4, "<<\n/Filter /Standard\n/V 1\n/R 2\n/O <"},
    {es128Bit, 2, 3, 128, eaRC4, "<<\n/Filter /Standard\n/V 2\n/R 3\n/Length 128\n/O <"},
    {esAES128Bit, 4, 4, 128, eaAES128,
     "<<\n/Filter /Standard\n/V 4\n/R 4\n/Length 128\n/StrF /StdCF\n/StmF /StdCF\n/CF "
     "<<\n/StdCF <<\n/AuthEvent /DocOpen\n/Length 16\n/CFM /AESV2\n>>\n>>\n/O <"},
    {esAES256Bit, 5, 5, 256, eaAES256,
     "<<\n/Filter /Standard\n/V 5\n/R 5\n/Length 256\n/StrF /StdCF\n/StmF /StdCF\n/CF "
     "<<\n/StdCF <<\n/AuthEvent /DocOpen\n/Length 32\n/CFM /AESV3\n>>\n>>\n/O <"},
    {esAES256BitAcroX, 5, 6, 256, eaAES256,
     "<<\n/Filter /Standard\n/V 5\n/R 6\n/Length 256\n/StrF /StdCF\n/StmF /StdCF\n/CF "
     "<<\n/StdCF <<\n/AuthEvent /DocOpen\n/Length 32\n/CFM /AESV3\n>>\n>>\n/O <"},
};

TEST(SecurityObjects, EncryptSaveAndReopenEachStrength) {
    for (const StrengthCase& c : kStrengths) {
        SCOPED_TRACE(c.R);
        std::string Saved;
        {
            FakeDoc D;
            Populate(D);
            ASSERT_TRUE(D.H.EncryptDocument("owner", "user", c.strength, TPDFPermissions::All(),
                                            TPDFExtraPermissions::All()));
            EXPECT_EQ(D.H.GetEncrypted(), peEncrypted);
            EXPECT_EQ(D.H.EncryptionAlgorithm(), c.alg + 1);
            EXPECT_EQ(D.H.EncryptionStrength(), c.Length);
            EXPECT_EQ(D.H.EncryptionAcroX(), c.R == 6);
            // The values in memory stay plain.
            EXPECT_EQ(Str(D.Get(3), "Title")->AsString(), "Plain title");
            const int32_t EncNum = D.H.FEncryption.DictionaryObjNum;
            const std::string EncText = D.Objs[EncNum].Value->Output();
            EXPECT_EQ(EncText.substr(0, std::string(c.dictStart).size()), c.dictStart);
            EXPECT_NE(EncText.find("\n/P -4\n"), std::string::npos);
            EXPECT_EQ(EncText.find("EncryptMetadata"), std::string::npos);
            Saved = D.Save();
            EXPECT_EQ(Str(D.Get(3), "Title")->AsString(), "Plain title");
        }
        FakeDoc L;
        L.Load(Saved);
        EXPECT_EQ(L.H.GetEncrypted(), peEncrypted);
        auto* RawTitle = Str(L.Objs[3].Value, "Title");
        ASSERT_NE(RawTitle, nullptr);
        EXPECT_NE(RawTitle->AsString(), "Plain title");
        if (c.alg != eaRC4) EXPECT_EQ(RawTitle->AsString().size(), 32u);
        EXPECT_FALSE(L.H.OpenWithPassword(u"wrong"));
        EXPECT_EQ(Str(L.Get(3), "Title")->AsString(), RawTitle->AsString());
        ASSERT_TRUE(L.H.OpenWithPassword(u"user"));
        EXPECT_TRUE(L.H.FIsUserPassword);
        EXPECT_FALSE(L.H.FIsOwnerPassword);
        EXPECT_TRUE(L.H.HasUserPassword());
        EXPECT_TRUE(L.H.HasOwnerPassword());
        EXPECT_EQ(Str(L.Get(3), "Title")->AsString(), "Plain title");
        EXPECT_EQ(ObjAs<TPDFStream>(L.Get(4))->Stream(), "<x:xmpmeta>clear</x:xmpmeta>");
        EXPECT_EQ(Str(L.Get(6), "Contents")->AsString(), Hex("3082ABCD"));

        FakeDoc L2;
        L2.Load(Saved);
        ASSERT_TRUE(L2.H.OpenWithPassword(u"owner"));
        EXPECT_TRUE(L2.H.FIsOwnerPassword);
        EXPECT_EQ(Str(L2.Get(3), "Title")->AsString(), "Plain title");

        // Decrypting removes the dictionary; the next save is plain.
        ASSERT_TRUE(L2.H.DecryptDocument());
        EXPECT_EQ(L2.H.GetEncrypted(), peDecrypted);
        EXPECT_EQ(L2.Trailer->FindValueByKeyName("Encrypt", false), nullptr);
        const std::string Plain = L2.Save();
        EXPECT_NE(Plain.find("(Plain title)"), std::string::npos);
        EXPECT_FALSE(L2.H.DecryptDocument());
    }
}

TEST(SecurityObjects, ReEncryptingAfterDecryptUsesTheNewAlgorithm) {
    FakeDoc D;
    Populate(D);
    D.H.EncryptDocument("o", "u", esAES256BitAcroX, {}, {});
    FakeDoc L;
    L.Load(D.Save());
    ASSERT_TRUE(L.H.OpenWithPassword(u"o"));
    ASSERT_TRUE(L.H.DecryptDocument());
    L.H.EncryptDocument("o2", "u2", es128Bit, TPDFPermissions::All(), TPDFExtraPermissions::All());
    const std::string Saved = L.Save();
    FakeDoc R;
    R.Load(Saved);
    EXPECT_EQ(R.H.EncryptionAlgorithm(), 1);
    const std::string Raw = Str(R.Objs[3].Value, "Title")->AsString();
    EXPECT_EQ(Raw.size(), std::string("Plain title").size());  // RC4 keeps the length
    ASSERT_TRUE(R.H.OpenWithPassword(u"u2"));
    EXPECT_EQ(Str(R.Get(3), "Title")->AsString(), "Plain title");
}

TEST(SecurityObjects, EncryptedFileWithoutIDStaysEncrypted) {
    FakeDoc D;
    D.Load(FileWithoutID());
    ASSERT_TRUE(D.H.OpenWithPassword(u"view"));
    EXPECT_EQ(D.H.PermKey, 0xFFFFF0C0u);
    EXPECT_EQ(Str(D.Get(3), "Title")->AsString(), "Plain title");
    EXPECT_EQ(D.H.GetEncrypted(), peEncrypted);
    const std::string Saved = D.Save();
    EXPECT_EQ(Saved.find("(Plain title)"), std::string::npos);
    // The /ID made for the save keeps the empty first element.
    auto* ID = ObjAs<TPDFArray>(D.Trailer->FindValueByKeyName("ID", false));
    ASSERT_NE(ID, nullptr);
    EXPECT_EQ(ObjAs<TPDFString>(ID->GetItem(0))->AsString(), "");
    EXPECT_EQ(ObjAs<TPDFString>(ID->GetItem(1))->AsString().size(), 16u);
    for (const char16_t* Pw : {u"view", u"master"}) {
        FakeDoc L;
        L.Load(Saved);
        ASSERT_TRUE(L.H.OpenWithPassword(Pw));
        EXPECT_EQ(Str(L.Get(3), "Title")->AsString(), "Plain title");
    }
}

TEST(SecurityObjects, FingerprintRoundTrip) {
    for (const StrengthCase& c : kStrengths) {
        SCOPED_TRACE(c.R);
        FakeDoc Src;
        Populate(Src);
        Src.H.EncryptDocument("owner", "user", c.strength, TPDFPermissions::All(),
                              TPDFExtraPermissions::All());
        const std::string FP = Src.H.EncryptionFingerprint();
        ASSERT_FALSE(FP.empty());
        auto* SrcID = ObjAs<TPDFArray>(Src.Trailer->FindValueByKeyName("ID", true));

        FakeDoc Dst;
        Populate(Dst);
        // Lower case and white space are accepted.
        std::string Loose;
        for (std::size_t i = 0; i < FP.size(); ++i) {
            Loose += static_cast<char>(std::tolower(FP[i]));
            if (i % 7 == 0) Loose += " \n";
        }
        ASSERT_TRUE(Dst.H.EncryptWithFingerprint(Loose));
        EXPECT_EQ(Dst.H.GetEncrypted(), peEncrypted);
        EXPECT_EQ(Dst.H.EncryptionAcroX(), c.R == 6);
        EXPECT_FALSE(Dst.H.CanDecrypt());
        auto* DstID = ObjAs<TPDFArray>(Dst.Trailer->FindValueByKeyName("ID", true));
        ASSERT_NE(DstID, nullptr);
        EXPECT_EQ(DstID->GetItem(0)->Output(), SrcID->GetItem(0)->Output());
        EXPECT_NE(DstID->GetItem(1)->Output(), SrcID->GetItem(1)->Output());
        if (c.R >= 5) {
            EXPECT_EQ(Dst.H.FEncryption.UE, Src.H.FEncryption.UE);
        }

        FakeDoc L;
        L.Load(Dst.Save());
        ASSERT_TRUE(L.H.OpenWithPassword(u"user"));
        EXPECT_EQ(Str(L.Get(3), "Title")->AsString(), "Plain title");
        FakeDoc L2;
        L2.Load(Dst.Save());
        ASSERT_TRUE(L2.H.OpenWithPassword(u"owner"));
        EXPECT_TRUE(L2.H.FIsOwnerPassword);
        EXPECT_EQ(Str(L2.Get(3), "Title")->AsString(), "Plain title");
    }
}

TEST(SecurityObjects, FingerprintRefusals) {
    FakeDoc Plain;
    Populate(Plain);
    EXPECT_EQ(Plain.H.EncryptionFingerprint(), "");
    EXPECT_FALSE(Plain.H.EncryptWithFingerprint(""));
    EXPECT_FALSE(Plain.H.EncryptWithFingerprint("00112233445566778899AABBCCDDEEFF00112233"));
    EXPECT_EQ(Plain.H.GetEncrypted(), peDecrypted);

    // The right magic with fields cut short is applied without harm.
    TPDFFingerprint F;
    F.Encryption.V = 2, F.Encryption.R = 3, F.Encryption.Length = 128;
    F.IDText = "[ <00> <01> ]";
    F.Key = std::string(16, 'k');
    const std::string Full = BuildFingerprint(F);
    for (std::size_t Cut : {40u, 60u, 100u, 130u}) {
        TPDFFingerprint G;
        EXPECT_TRUE(ParseFingerprint(Full.substr(0, Cut), G));
    }
    TPDFFingerprint G;
    ASSERT_TRUE(ParseFingerprint(Full, G));
    EXPECT_EQ(G.IDText, F.IDText);
    EXPECT_EQ(G.Key, F.Key);
    EXPECT_EQ(G.Encryption.Length, 128);
}

}  // namespace
}  // namespace velmo

namespace velmo {
namespace {

TEST(SecurityObjects, PWithHighHalfZeroKeepsItsFormWhenEncryptedAgain) {
    // A file whose /P has its high 16 bits clear.
    FakeDoc D;
    Populate(D);
    D.H.MalformedPermKey = true;
    D.H.EncryptDocument("owner", "user", es128Bit, {}, {});
    FakeDoc L;
    L.Load(D.Save());
    ASSERT_TRUE(L.H.OpenWithPassword(u"owner"));
    EXPECT_EQ(L.H.PermKey, 61632u);
    EXPECT_TRUE(L.H.MalformedPermKey);

    ASSERT_TRUE(L.H.DecryptDocument());
    L.H.EncryptDocument("o", "u", es128Bit, TPDFPermissions::All(), TPDFExtraPermissions::All());
    const std::string Saved = L.Save();
    EXPECT_NE(Saved.find("/P 65532\n"), std::string::npos);
    FakeDoc R;
    R.Load(Saved);
    ASSERT_TRUE(R.H.OpenWithPassword(u"u"));
    EXPECT_EQ(Str(R.Get(3), "Title")->AsString(), "Plain title");
}

TEST(SecurityObjects, PasswordQueriesAfterOpening) {
    FakeDoc D;
    Populate(D);
    D.H.EncryptDocument("", "", esAES256BitAcroX, TPDFPermissions::All(),
                        TPDFExtraPermissions::All());
    FakeDoc L;
    L.Load(D.Save());
    // Both passwords empty: the empty password opens as user and as owner,
    // and the document reports neither password.
    ASSERT_TRUE(L.H.OpenWithPassword(u""));
    EXPECT_TRUE(L.H.FIsUserPassword);
    EXPECT_TRUE(L.H.FIsOwnerPassword);
    EXPECT_FALSE(L.H.HasUserPassword());
    EXPECT_FALSE(L.H.HasOwnerPassword());
    EXPECT_FALSE(L.H.OpenWithPassword(u"x"));
}

}  // namespace
}  // namespace velmo

namespace velmo {
namespace {

TEST(SecurityObjects, FingerprintOfA56BitDocumentKeepsItsKeyLength) {
    FakeDoc Src;
    Src.Load(testing_security::FileWithoutID());
    ASSERT_TRUE(Src.H.OpenWithPassword(u"view"));
    const std::string FP = Src.H.EncryptionFingerprint();
    FakeDoc Dst;
    Populate(Dst);
    ASSERT_TRUE(Dst.H.EncryptWithFingerprint(FP));
    EXPECT_EQ(Dst.H.FEncryptionStrength, esVariable);
    EXPECT_EQ(Dst.H.GetObjectKey(3, 0).size(), 12u);
    FakeDoc L;
    L.Load(Dst.Save());
    EXPECT_EQ(L.H.EncryptionStrength(), 56);
    ASSERT_TRUE(L.H.OpenWithPassword(u"master"));
    EXPECT_EQ(Str(L.Get(3), "Title")->AsString(), "Plain title");
}

}  // namespace
}  // namespace velmo
