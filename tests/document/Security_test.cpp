#include "document/Security.h"

#include <gtest/gtest.h>

#include <string>

namespace velmo {
namespace {

std::string Hex(std::string_view hex) {
    std::string out;
    auto nib = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(nib(hex[i]) * 16 + nib(hex[i + 1]));
    return out;
}

std::string ToHex(std::string_view s) {
    static const char* d = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out += d[c >> 4];
        out += d[c & 15];
    }
    return out;
}

// Values of /Encrypt dictionaries written by another conforming writer for
// the same empty document, with the file keys it reports.
struct Vector {
    const char* name;
    int V, R, Length;
    TPDFEncryptionAlgorithm alg;
    bool encryptMetadata;
    const char* O;
    const char* U;
    const char* OE;
    const char* UE;
    const char* Perms;
    std::int32_t P;
    const char* id;
    const char* user;
    const char* owner;
    const char* key;  // the file key both passwords give
};

constexpr const char* kID = "d59cb89cc11cced8394ea89517fb0255";

const Vector kVectors[] = {
    {"rc4_40", 1, 2, 40, eaRC4, true,
     "94e8094419662a774442fb072e3d9f19e9d130ec09a4d0061e78fe920f7ab62f",
     "dd7301b3366182ddf3a061d95bc8e8e85bb6827296cd9bab3b9a831ba2e7e3de", "", "", "", -4, kID,
     "user", "owner", "8d9ab1c730"},
    {"rc4_128", 2, 3, 128, eaRC4, true,
     "0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671",
     "6164658614574c1acaeb73c9ceef09f20122456a91bae5134273a6db134c87c4", "", "", "", -4, kID,
     "user", "owner", "a3a62734ee5f24f3bafdff5268b8fe79"},
    {"rc4_128_restricted", 2, 3, 128, eaRC4, true,
     "0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671",
     "4fc61a92e3aaa7be14d26543d574c8bc0122456a91bae5134273a6db134c87c4", "", "", "", -3392, kID,
     "user", "owner", "c52b9506fe35d38231f648fef3d38dd2"},
    {"aes128", 4, 4, 128, eaAES128, true,
     "0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671",
     "6164658614574c1acaeb73c9ceef09f20122456a91bae5134273a6db134c87c4", "", "", "", -4, kID,
     "user", "owner", "a3a62734ee5f24f3bafdff5268b8fe79"},
    {"aes128_clear_metadata", 4, 4, 128, eaAES128, false,
     "0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671",
     "ba01bf36da0829036e71237118927acd0122456a91bae5134273a6db134c87c4", "", "", "", -4, kID,
     "user", "owner", "471b140b20821bd10b893954d2b6e8a5"},
    {"aes256_r5", 5, 5, 256, eaAES256, true,
     "e2cfe35a37da5123c57b6361b14471dc0eac52a620fca5c665d3d3ff63b9a798e3022ba9bc45c0c51d6259fe"
     "c10420aa",
     "19c7e715f80120f0d220d2c13b7a60a0d7ff3850fa9cd83e70bf67bb1c06e422bc40d51a4a9776fa06746f12"
     "6883cb62",
     "fd89d9b91df3a474274ac79e55814dc6639c9c3e3e6370bc934ab594c5c9d5f3",
     "a30ad5a4886f5930df140bdfef9f407c68e8fed838fe900ee44db78ce64d9ffc",
     "feaed0b369e4ffd90d5def9d54d6be95", -4, kID, "user", "owner",
     "b1ebc3001a34d5324378ec18751becdc399cad460caeada532f8d28d16787891"},
    {"aes256_r6", 5, 6, 256, eaAES256, true,
     "54e6d9f0d5db7698be02a9eaf52db2821ec4ff8a8e7ddcbfc0b2575909d7da3d1a5372be563f03a9d6a9c35e"
     "d1d49fd9",
     "8657aa07d6fc0d243d1a61a94ce97f4e1786a5ab0d20a943e8f3962cac59c07d2fb1dd7a54b8857aa7c1df72"
     "f1fb0f9c",
     "908f05d460248d5258e0b15762a01223a02b31fcf3b448ed115a8d1cadf54bb8",
     "129a73657ec37ce3cb98aac1faaaf931c63bef8ab1b87f622f4a2509c0953c09",
     "4216daa472b6f9c5ded739e5bc4b8119", -4, kID, "user", "owner",
     "2945fb9b50740b02dc869124c3dad353c196000e346f273e5493ffaac9f5b322"},
    {"aes256_r6_long_owner", 5, 6, 256, eaAES256, true,
     "27b25d8546fed1f6aa323c2cfc6dddc70d1d3ebcb5a72b27fe544557abdd14c8b7015e02d01cb808e7ee55fd"
     "4d6d00ae",
     "00921d5ebcb03a10d855a8079c1b8129e524687063f1d978afaeb0b148c9a0292053c998e4e43791e4dfa903"
     "c5ad6529",
     "2fb66dfbea722ba0902788b038886b7b46c610397342986adb984a17aa0221bd",
     "cd022e87698b0b6f7469b39a19e5a3c99e89c16f117e29e316e0166c2afb5699",
     "737282ca5c62160a303fc97d42b17d77", -4, kID, "user",
     "yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy"
     "yyyyyyyyyyy",
     "fc39263edce7fc740fd58268361333e074e3e21d820422e106756799d783f7bb"},
    // RC4 with a 56-bit key, and the same without /ID and with /P written
    // unsigned (values computed independently; the user password checked
    // with another reader).
    {"rc4_56", 2, 3, 56, eaRC4, true,
     "3d650f12252bf784c9ceb0aa057810c95e10b6af135887b86831d9e6c34962a1",
     "9429cc40977e0aa3e4c78ccbff3dff0000000000000000000000000000000000", "", "", "", -4, kID,
     "view", "master", "677d7978bbbc95"},
    {"rc4_56_no_id", 2, 3, 56, eaRC4, true,
     "3d650f12252bf784c9ceb0aa057810c95e10b6af135887b86831d9e6c34962a1",
     "d129d8563143e7d8648a71f21f28f71e00000000000000000000000000000000", "", "", "", -3904, "",
     "view", "master", "cb9268e7314152"},
};

TPDFEncryption Record(const Vector& v) {
    TPDFEncryption r;
    r.DictionaryPresent = true;
    r.V = v.V;
    r.R = v.R;
    r.Length = v.Length;
    r.Algorithm = v.alg;
    r.EncryptMetadata = v.encryptMetadata;
    r.O = Hex(v.O);
    r.U = Hex(v.U);
    r.OE = Hex(v.OE);
    r.UE = Hex(v.UE);
    r.Perms = Hex(v.Perms);
    r.P = static_cast<std::uint32_t>(v.P);
    return r;
}

void Install(TPDFSecurityHandler& h, const Vector& v) {
    h.SetEncryption(Record(v));
    std::string id = Hex(v.id);
    h.OnGetFirstID = [id] { return id; };
}

std::u16string W(std::string_view s) { return std::u16string(s.begin(), s.end()); }

TEST(Security, PasswordsOfOtherWritersFiles) {
    for (const Vector& v : kVectors) {
        SCOPED_TRACE(v.name);
        TPDFSecurityHandler h;
        Install(h, v);
        EXPECT_EQ(h.GetEncrypted(), peEncrypted);

        EXPECT_TRUE(h.CheckUserPassword(W(v.user)));
        EXPECT_EQ(ToHex(h.EncryptionKey), v.key);
        EXPECT_TRUE(h.CheckOwnerPassword(W(v.owner)));
        EXPECT_EQ(ToHex(h.EncryptionKey), v.key);

        EXPECT_FALSE(h.CheckUserPassword(u"wrong"));
        EXPECT_FALSE(h.CheckOwnerPassword(u"wrong"));
        EXPECT_FALSE(h.CheckOwnerPassword(W(v.user)));

        h.SetPassword(W(v.user));
        EXPECT_TRUE(h.FIsUserPassword);
        EXPECT_FALSE(h.FIsOwnerPassword);
        EXPECT_EQ(ToHex(h.IndObjEncKey), v.key);
        EXPECT_TRUE(h.CanDecrypt());

        h.SetPassword(W(v.owner));
        EXPECT_FALSE(h.FIsUserPassword);
        EXPECT_TRUE(h.FIsOwnerPassword);
        EXPECT_EQ(ToHex(h.IndObjEncKey), v.key);

        h.SetPassword(u"nope");
        EXPECT_FALSE(h.FIsUserPassword || h.FIsOwnerPassword);
        EXPECT_TRUE(h.IndObjEncKey.empty());
        EXPECT_TRUE(h.FPassword.empty());
        EXPECT_FALSE(h.CanDecrypt());
    }
}

TEST(Security, Ver6HashReproducesStoredValues) {
    // Owner validation of a revision-6 file: hash(password, validation
    // salt, U) with U as the extra input equals the first 32 bytes of /O.
    const Vector& v = kVectors[6];
    const std::string o = Hex(v.O), u = Hex(v.U);
    std::string input = std::string("owner") + o.substr(32, 8) + u;
    EXPECT_EQ(TPDFSecurityHandler::CalculateVer6Hash(input, "owner", 5, u), o.substr(0, 32));
    input = std::string("user") + u.substr(32, 8);
    EXPECT_EQ(TPDFSecurityHandler::CalculateVer6Hash(input, "user", 4, ""), u.substr(0, 32));
}

TEST(Security, EmptyUserPasswordOnAES256GivesNoOwnerRights) {
    // Revision 6, user password empty, owner password "owner".
    TPDFEncryption r;
    r.DictionaryPresent = true;
    r.V = 5, r.R = 6, r.Length = 256, r.Algorithm = eaAES256;
    r.O = Hex(
        "94962308e6275964ccfcf6d7d25476876927c8a589601e2cd4dd24b16dc0688324292b814be918b50b9d8b7e"
        "ea42f276");
    r.U = Hex(
        "3c6308b291d83d7f9c431aeb9d613a6cd8cb4387dbc9cb2127282b3e07c023180fa348fb4aa639ce6c9b67e7"
        "abb86642");
    r.OE = Hex("a4e5f81241347ff671fa4b8fe601d666c58dac7709add91f3e800e8d8c383791");
    r.UE = Hex("60ad455976bcd9743d6da7092fa804cf65d60edfc3603562c5b7b67bbed53abe");
    r.Perms = Hex("441e7847e8dc52ebe848c96421a311bd");
    r.P = 0xFFFFFFFC;
    TPDFSecurityHandler h;
    h.SetEncryption(r);
    h.SetPassword(u"");
    EXPECT_TRUE(h.FIsUserPassword);
    EXPECT_FALSE(h.FIsOwnerPassword);
    EXPECT_EQ(ToHex(h.IndObjEncKey),
              "965d3f2301ff1198b5e2d1aa7ca42653898a273162d7a36db3c68f73e2240eca");
    h.SetPassword(u"owner");
    EXPECT_TRUE(h.FIsOwnerPassword);
    EXPECT_EQ(ToHex(h.IndObjEncKey),
              "965d3f2301ff1198b5e2d1aa7ca42653898a273162d7a36db3c68f73e2240eca");
}

TEST(Security, DamagedAES256ValuesAreRefusedSafely) {
    const Vector& v = kVectors[6];
    struct Case {
        const char* what;
        std::size_t uLen, oLen, ueLen, oeLen, permsLen;
    };
    const Case cases[] = {
        {"short U", 20, 48, 32, 32, 16},  {"empty U", 0, 48, 32, 32, 16},
        {"short UE", 48, 48, 10, 32, 16}, {"short OE", 48, 48, 32, 0, 16},
        {"short O", 48, 5, 32, 32, 16},   {"short Perms", 48, 48, 32, 32, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TPDFEncryption r = Record(v);
        r.U.resize(c.uLen);
        r.O.resize(c.oLen);
        r.UE.resize(c.ueLen);
        r.OE.resize(c.oeLen);
        r.Perms.resize(c.permsLen);
        TPDFSecurityHandler h;
        h.SetEncryption(r);
        const bool user = h.CheckUserPassword(u"user");
        const bool owner = h.CheckOwnerPassword(u"owner");
        if (user || owner) {
            EXPECT_EQ(h.EncryptionKey.size(), 32u);
        }
        if (c.ueLen < 32 || c.uLen < 40) {
            EXPECT_FALSE(user);
        }
    }
}

TEST(Security, PermsBlockCorrectsP) {
    // /P says nothing is allowed, the authenticated /Perms says -4.
    TPDFEncryption r = Record(kVectors[6]);
    r.P = 0xFFFFF0C0;
    TPDFSecurityHandler h;
    h.SetEncryption(r);
    ASSERT_TRUE(h.CheckUserPassword(u"user"));
    EXPECT_EQ(h.FEncryption.P, 0xFFFFFFFCu);
    // The permission fields keep the value of /P.
    EXPECT_EQ(h.PermKey, 0xFFFFF0C0u);
    EXPECT_FALSE(h.FPermissions.Contains(ppCanPrint));
}

TEST(Security, UnencryptedAndUnknownDocuments) {
    TPDFSecurityHandler plain;
    TPDFEncryption none;
    plain.SetEncryption(none);
    EXPECT_EQ(plain.GetEncrypted(), peDecrypted);
    EXPECT_TRUE(plain.CheckUserPassword(u""));
    EXPECT_TRUE(plain.CheckOwnerPassword(u""));
    EXPECT_FALSE(plain.CheckUserPassword(u"x"));
    EXPECT_FALSE(plain.CanDecrypt());

    TPDFSecurityHandler unknown;
    TPDFEncryption r;
    r.DictionaryPresent = true;
    unknown.SetEncryption(r);
    EXPECT_EQ(unknown.GetEncrypted(), peUnknownEncryption);
    EXPECT_FALSE(unknown.CheckUserPassword(u""));
    unknown.SetPassword(u"");
    EXPECT_FALSE(unknown.FIsUserPassword || unknown.FIsOwnerPassword);
    EXPECT_EQ(unknown.EncryptionAlgorithm(), 0);
}

TEST(Security, PermissionsFromNumber) {
    struct Case {
        double in;
        std::uint32_t out;
    };
    const Case cases[] = {
        {-3904, 0xFFFFF0C0u},
        {4294963392.0, 0xFFFFF0C0u},
        {-4, 0xFFFFFFFCu},
        {4294967292.0, 0xFFFFFFFCu},
        {61632, 61632u},
        {0, 0},
        {1e300, 0},
        {-1e300, 0},
        {4294967296.0 + 5, 5},
    };
    for (const Case& c : cases) EXPECT_EQ(PermissionsFromNumber(c.in), c.out) << c.in;
}

TEST(Security, PermissionsKey) {
    struct Case {
        TPDFEncryptionStrength strength;
        TPDFPermissions perm;
        TPDFExtraPermissions extra;
        std::uint32_t p;
    };
    const Case cases[] = {
        {es128Bit, TPDFPermissions::All(), TPDFExtraPermissions::All(), 0xFFFFFFFC},
        {esAES256BitAcroX, TPDFPermissions::All(), TPDFExtraPermissions::All(), 0xFFFFFFFC},
        {es128Bit, {}, {}, 0xFFFFF0C0},
        {esStd, {}, {}, 0xFFFFFFC0},
        {esStd, TPDFPermissions::All(), {}, 0xFFFFFFFC},
        {es128Bit, {ppCanPrint, ppCanCopy}, {ppCanPrintFull}, 0xFFFFF8D4},
    };
    for (const Case& c : cases) {
        TPDFSecurityHandler h;
        h.FEncryptionStrength = c.strength;
        h.FPermissions = c.perm;
        h.FExtraPermissions = c.extra;
        h.CalculatePermissionsKey();
        EXPECT_EQ(h.PermKey, c.p);
        h.SetPermissionsKey(c.p);
        EXPECT_EQ(h.FPermissions, c.perm);
        if (c.strength != esStd) {
            EXPECT_EQ(h.FExtraPermissions, c.extra);
        }
    }
    TPDFSecurityHandler h;
    h.SetPermissionsKey(61632);
    EXPECT_TRUE(h.MalformedPermKey);
    h.SetPermissionsKey(0xFFFFF0C0);
    EXPECT_FALSE(h.MalformedPermKey);
}

TEST(Security, EncryptReproducesDeterministicValues) {
    // For RC4 and AES-128 the values depend only on passwords, P and /ID, so
    // encrypting gives what the other writer wrote.
    const struct {
        TPDFEncryptionStrength s;
        int vector;
    } cases[] = {{esStd, 0}, {es128Bit, 1}, {esAES128Bit, 3}};
    for (const auto& c : cases) {
        const Vector& v = kVectors[c.vector];
        SCOPED_TRACE(v.name);
        TPDFSecurityHandler h;
        h.SetEncryption(TPDFEncryption{});
        std::string id = Hex(v.id);
        h.OnGetFirstID = [id] { return id; };
        TPDFEncryptDictionaryValues d =
            h.Encrypt("owner", "user", c.s, TPDFPermissions::All(), TPDFExtraPermissions::All());
        EXPECT_EQ(d.V, v.V);
        EXPECT_EQ(d.R, v.R);
        EXPECT_EQ(d.P, -4);
        EXPECT_EQ(ToHex(d.O), v.O);
        // Revisions 3 and 4 fill U up with zeros where the other writer
        // chose other bytes; only the first 16 count.
        EXPECT_EQ(ToHex(d.U).substr(0, v.R == 2 ? 64 : 32), std::string(v.U, v.R == 2 ? 64 : 32));
        EXPECT_EQ(ToHex(h.IndObjEncKey), v.key);
        EXPECT_EQ(d.Length, c.s == esStd ? 0 : 128);
        EXPECT_EQ(d.CFM, c.s == esAES128Bit ? "AESV2" : "");
        EXPECT_TRUE(h.FIsOwnerPassword);
        EXPECT_TRUE(h.FUserPassword.empty());
    }
}

TEST(Security, EncryptedValuesOpenWithBothPasswords) {
    const TPDFEncryptionStrength strengths[] = {esStd, es128Bit, esAES128Bit};
    for (TPDFEncryptionStrength s : strengths) {
        for (const char* user : {"", "u s\xE9r"}) {
            SCOPED_TRACE(testing::Message() << int(s) << " user '" << user << "'");
            TPDFSecurityHandler enc;
            enc.SetEncryption(TPDFEncryption{});
            const std::string id = "0123456789abcdef";
            enc.OnGetFirstID = [id] { return id; };
            const TPDFEncryptDictionaryValues d =
                enc.Encrypt("own\xE9r", user, s, {ppCanPrint}, {ppCanFillFields});
            const std::string fileKey = enc.EncryptionKey;

            TPDFEncryption r;
            r.DictionaryPresent = true;
            r.V = d.V, r.R = d.R, r.Length = d.Length ? d.Length : 40;
            r.Algorithm = d.CFM == "AESV2" ? eaAES128 : eaRC4;
            r.O = d.O, r.U = d.U;
            r.P = static_cast<std::uint32_t>(d.P);
            TPDFSecurityHandler dec;
            dec.SetEncryption(r);
            dec.OnGetFirstID = [id] { return id; };
            // Passwords arrive as UTF-16; é is one byte in the ANSI code page
            // and two in UTF-8, as the encrypting side must have used.
            std::u16string wu;
            for (unsigned char c : std::string(user)) wu += char16_t(c);
            const std::u16string wo = u"own\u00E9r";
            EXPECT_TRUE(dec.CheckUserPassword(wu));
            EXPECT_EQ(dec.EncryptionKey, fileKey);
            EXPECT_TRUE(dec.CheckOwnerPassword(wo));
            EXPECT_EQ(dec.EncryptionKey, fileKey);
            EXPECT_FALSE(dec.CheckUserPassword(u"x"));
        }
    }
}

TEST(Security, AES256EncryptOpensWithUTF8Passwords) {
    for (TPDFEncryptionStrength s : {esAES256Bit, esAES256BitAcroX}) {
        TPDFSecurityHandler enc;
        enc.SetEncryption(TPDFEncryption{});
        const TPDFEncryptDictionaryValues d =
            enc.Encrypt("\xC3\xB6wner", "", s, TPDFPermissions::All(), TPDFExtraPermissions::All());
        EXPECT_EQ(d.R, s == esAES256Bit ? 5 : 6);
        EXPECT_EQ(d.U.size(), 48u);
        EXPECT_EQ(d.O.size(), 48u);
        EXPECT_EQ(d.UE.size(), 32u);
        EXPECT_EQ(d.OE.size(), 32u);
        EXPECT_EQ(d.Perms.size(), 16u);
        const std::string fileKey = enc.EncryptionKey;

        TPDFEncryption r;
        r.DictionaryPresent = true;
        r.V = 5, r.R = d.R, r.Length = 256, r.Algorithm = eaAES256;
        r.O = d.O, r.U = d.U, r.OE = d.OE, r.UE = d.UE, r.Perms = d.Perms;
        r.P = 0xFFFFF0C0;  // the /Perms block restores the real value
        TPDFSecurityHandler dec;
        dec.SetEncryption(r);
        dec.SetPassword(u"");
        EXPECT_TRUE(dec.FIsUserPassword);
        EXPECT_FALSE(dec.FIsOwnerPassword);
        EXPECT_EQ(dec.IndObjEncKey, fileKey);
        EXPECT_EQ(dec.FEncryption.P, 0xFFFFFFFCu);
        dec.SetPassword(u"\u00F6wner");
        EXPECT_TRUE(dec.FIsOwnerPassword);
        EXPECT_EQ(dec.IndObjEncKey, fileKey);
    }
}

TEST(Security, FreshKeysAndSaltsEveryTime) {
    TPDFSecurityHandler a, b;
    a.SetEncryption(TPDFEncryption{});
    b.SetEncryption(TPDFEncryption{});
    const auto da = a.Encrypt("o", "u", esAES256BitAcroX, {}, {});
    const auto db = b.Encrypt("o", "u", esAES256BitAcroX, {}, {});
    EXPECT_NE(a.EncryptionKey, b.EncryptionKey);
    EXPECT_NE(da.U.substr(32), db.U.substr(32));
    EXPECT_NE(da.O.substr(32), db.O.substr(32));
    EXPECT_NE(EncryptObjectData(eaAES128, std::string(16, 'k'), "x"),
              EncryptObjectData(eaAES128, std::string(16, 'k'), "x"));
}

TEST(Security, AES256PasswordsAreCutAt127Bytes) {
    const std::string longPw(130, 'p');
    TPDFSecurityHandler enc;
    enc.SetEncryption(TPDFEncryption{});
    const auto d = enc.Encrypt(longPw, longPw, esAES256BitAcroX, {}, {});
    TPDFEncryption r;
    r.DictionaryPresent = true;
    r.V = 5, r.R = 6, r.Length = 256, r.Algorithm = eaAES256;
    r.O = d.O, r.U = d.U, r.OE = d.OE, r.UE = d.UE, r.Perms = d.Perms;
    TPDFSecurityHandler dec;
    dec.SetEncryption(r);
    EXPECT_TRUE(dec.CheckUserPassword(std::u16string(127, u'p')));
    EXPECT_TRUE(dec.CheckOwnerPassword(std::u16string(200, u'p')));
    EXPECT_FALSE(dec.CheckUserPassword(std::u16string(126, u'p')));
}

// Strings written by the other writer into an /Info dictionary, object 2 0,
// for the document with /ID <00112233...> and passwords user / owner.
TEST(Security, ObjectKeysDecryptOtherWritersStrings) {
    const struct {
        const char* name;
        int V, R, Length;
        TPDFEncryptionAlgorithm alg;
        const char* key;
        const char* cipher;
    } cases[] = {
        {"rc4_40", 1, 2, 40, eaRC4, "77867d7fae", "e8c195f00285d69ccc213f6b"},
        {"rc4_128", 2, 3, 128, eaRC4, "2e76247e4b9d5c6aa46d224a2e740d27",
         "6587c50db72272f4c69d9e0b"},
        {"aes128", 4, 4, 128, eaAES128, "2e76247e4b9d5c6aa46d224a2e740d27",
         "659fb00d786eb48d8d433afaca22ddeb7031d798d80f8e91b0a4697b2d1378ac"},
        {"aes256", 5, 6, 256, eaAES256,
         "4255331e53bb9f84acba8d6470c3e8831cf5034456ceb6134201968f9e504cd1",
         "3a935b3ad7c62872292a6382092a1fac0833b4092692f1ea9f3eeb7b08119384"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TPDFSecurityHandler h;
        TPDFEncryption r;
        r.DictionaryPresent = true;
        r.V = c.V, r.R = c.R, r.Length = c.Length, r.Algorithm = c.alg;
        r.DictionaryObjNum = 4;
        h.SetEncryption(r);
        h.ApplyEncryptionState(h.FEncryption, Hex(c.key));
        const std::string key = h.GetObjectKey(2, 0);
        EXPECT_EQ(DecryptObjectData(c.alg, key, Hex(c.cipher)), "Secret title");
        EXPECT_TRUE(h.GetObjectKey(4, 0).empty());
        EXPECT_TRUE(h.GetObjectKey(4, 7).empty());
        // Round trip of the same value.
        EXPECT_EQ(DecryptObjectData(c.alg, key, EncryptObjectData(c.alg, key, "Secret title")),
                  "Secret title");
    }
}

TEST(Security, ObjectDataEdgeCases) {
    const std::string k16(16, 'k');
    EXPECT_EQ(EncryptObjectData(eaAES128, k16, "").size(), 32u);
    EXPECT_EQ(DecryptObjectData(eaAES128, k16, EncryptObjectData(eaAES128, k16, "")), "");
    EXPECT_EQ(EncryptObjectData(eaAES128, k16, std::string(16, 'a')).size(), 48u);
    EXPECT_EQ(EncryptObjectData(eaAES128, k16, std::string(17, 'a')).size(), 48u);
    EXPECT_EQ(EncryptObjectData(eaRC4, "12345", "").size(), 0u);
    // Damaged cipher text decrypts to nothing, never to garbage or a crash.
    for (std::size_t n : {0, 5, 16, 17, 31, 33}) {
        EXPECT_EQ(DecryptObjectData(eaAES256, std::string(32, 'k'), std::string(n, 'z')), "") << n;
    }
    // Bad padding: changing the last byte of the block before the last one
    // (here the IV) changes the last padding byte, 11, into 94 whatever the
    // key and IV. A change inside the last block would leave valid padding
    // about once in 256 runs.
    std::string good = EncryptObjectData(eaAES128, k16, "hello");
    ASSERT_EQ(good.size(), 32u);
    good[15] ^= 0x55;
    EXPECT_EQ(DecryptObjectData(eaAES128, k16, good), "");
}

}  // namespace
}  // namespace velmo
