#include "document/Security.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "document/SecurityCrypto.h"

using namespace velmo::seccrypto;

namespace velmo {

namespace {

constexpr unsigned char kPadding[32] = {
    0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E, 0x56, 0xFF, 0xFA, 0x01, 0x08,
    0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68, 0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

// Longest password taken by the AES-256 handler.
constexpr std::size_t kMaxAES256Password = 127;

std::string LE32(std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

std::string XorKey(std::string_view key, unsigned char x) {
    std::string k(key);
    for (char& c : k) c = static_cast<char>(static_cast<unsigned char>(c) ^ x);
    return k;
}

// Bytes [pos, pos + n) of s, with missing bytes read as zeros.
std::string Slice0(std::string_view s, std::size_t pos, std::size_t n) {
    std::string r(n, '\0');
    for (std::size_t i = 0; i < n && pos + i < s.size(); ++i) r[i] = s[pos + i];
    return r;
}

std::string First(std::string_view s, std::size_t n) { return std::string(s.substr(0, n)); }

bool IsAES256(TPDFEncryptionStrength s) { return s == esAES256Bit || s == esAES256BitAcroX; }

}  // namespace

std::string_view PasswordPadding() {
    return std::string_view(reinterpret_cast<const char*>(kPadding), sizeof kPadding);
}

std::string PadPassword(std::string_view password) {
    std::string r(password.substr(0, 32));
    r.append(PasswordPadding().substr(0, 32 - r.size()));
    return r;
}

std::uint32_t PermissionsFromNumber(double value) {
    if (!std::isfinite(value)) return 0;
    if (value >= 0) {
        // Values beyond 64 bits have no meaningful pattern.
        if (value >= 18446744073709551616.0) return 0;
        double r = std::nearbyint(value);
        std::uint64_t u = r >= 18446744073709551616.0 ? 0 : static_cast<std::uint64_t>(r);
        return static_cast<std::uint32_t>(u);
    }
    if (value < -2147483648.0) return 0;
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(std::trunc(value)));
}

std::string EncryptObjectData(TPDFEncryptionAlgorithm algorithm, std::string_view key,
                              std::string_view data) {
    if (key.empty()) return std::string(data);
    if (algorithm == eaRC4) return RC4Crypt(key, data);
    return AESEncryptPadded(key, data);
}

std::string DecryptObjectData(TPDFEncryptionAlgorithm algorithm, std::string_view key,
                              std::string_view data) {
    if (key.empty()) return std::string(data);
    if (algorithm == eaRC4) return RC4Crypt(key, data);
    return AESDecryptPadded(key, data);
}

TPDFCryptMethod MethodOfAlgorithm(TPDFEncryptionAlgorithm algorithm) {
    switch (algorithm) {
        case eaAES128:
            return cmAESV2;
        case eaAES256:
            return cmAESV3;
        default:
            return cmRC4;
    }
}

int NormalizeRC4KeyBits(std::optional<std::int64_t> Length, int Default) {
    if (!Length) return Default;
    std::int64_t Bits = *Length;
    // Writers that give the crypt filter's byte count where bits belong.
    if (Bits >= 5 && Bits <= 16) Bits *= 8;
    Bits -= Bits % 8;
    return static_cast<int>(std::clamp<std::int64_t>(Bits, 40, 128));
}

std::string EncryptMethodData(TPDFCryptMethod method, std::string_view key, std::string_view data) {
    if (key.empty()) return std::string(data);
    switch (method) {
        case cmRC4:
            return RC4Crypt(key, data);
        case cmAESV2:
        case cmAESV3:
            return AESEncryptPadded(key, data);
        default:
            return std::string(data);
    }
}

std::string DecryptMethodData(TPDFCryptMethod method, std::string_view key, std::string_view data,
                              bool* Failed) {
    if (key.empty()) return std::string(data);
    switch (method) {
        case cmRC4:
            return RC4Crypt(key, data);
        case cmAESV2:
        case cmAESV3: {
            std::string Plain = AESDecryptPadded(key, data);
            // Only an IV with one block of padding deciphers to nothing.
            if (Failed && Plain.empty() && !data.empty()) {
                bool Ok = false;
                if (data.size() == 32) {
                    const std::string Block =
                        AESDecryptCBC(key, data.substr(0, 16), data.substr(16));
                    Ok = Block == std::string(16, '\x10');
                }
                if (!Ok) *Failed = true;
            }
            return Plain;
        }
        default:
            return std::string(data);
    }
}

// ---------------------------------------------------------------------------
// Queries

void TPDFSecurityHandler::EnsureExtracted() {
    if (!FEncryption.Extracted && OnExtractEncryption) OnExtractEncryption();
}

void TPDFSecurityHandler::SetEncryption(const TPDFEncryption& rec) {
    FEncryption = rec;
    FEncryption.Extracted = true;
    if (FEncryption.Algorithm == eaAES128) FEncryptionStrength = esAES128Bit;
    if (FEncryption.Algorithm == eaAES256)
        FEncryptionStrength = FEncryption.R == 6 ? esAES256BitAcroX : esAES256Bit;
    if (FEncryption.DictionaryPresent) SetPermissionsKey(FEncryption.P);
}

TPDFEncrypted TPDFSecurityHandler::GetEncrypted() {
    EnsureExtracted();
    if (!FEncryption.DictionaryPresent) return peDecrypted;
    return FEncryption.V != 0 ? peEncrypted : peUnknownEncryption;
}

int TPDFSecurityHandler::EncryptionStrength() {
    EnsureExtracted();
    return FEncryption.Length;
}

int TPDFSecurityHandler::EncryptionAlgorithm() {
    EnsureExtracted();
    return FEncryption.V == 0 ? 0 : static_cast<int>(FEncryption.Algorithm) + 1;
}

bool TPDFSecurityHandler::EncryptionAcroX() {
    EnsureExtracted();
    return FEncryption.V == 5 && FEncryption.R == 6;
}

bool TPDFSecurityHandler::CanDecrypt() {
    return GetEncrypted() == peEncrypted && (FIsUserPassword || FIsOwnerPassword);
}

bool TPDFSecurityHandler::HasUserPassword() {
    return GetEncrypted() == peEncrypted && !FUserPasswordBlank;
}

bool TPDFSecurityHandler::HasOwnerPassword() {
    return GetEncrypted() == peEncrypted && !FOwnerPasswordBlank;
}

std::string TPDFSecurityHandler::FirstID() const { return OnGetFirstID ? OnGetFirstID() : ""; }

// ---------------------------------------------------------------------------
// Permissions

void TPDFSecurityHandler::SetPermissionsKey(std::uint32_t p) {
    PermKey = p;
    MalformedPermKey = (p & 0xFFFF0000u) == 0;
    FPermissions = {};
    FExtraPermissions = {};
    if (p & 4) FPermissions.Include(ppCanPrint);
    if (p & 8) FPermissions.Include(ppCanChange);
    if (p & 16) FPermissions.Include(ppCanCopy);
    if (p & 32) FPermissions.Include(ppCanAddNotes);
    if (p & 256) FExtraPermissions.Include(ppCanFillFields);
    if (p & 512) FExtraPermissions.Include(ppCanCopyAccess);
    if (p & 1024) FExtraPermissions.Include(ppCanAssemble);
    if (p & 2048) FExtraPermissions.Include(ppCanPrintFull);
}

void TPDFSecurityHandler::CalculatePermissionsKey() {
    std::uint32_t p = 0xFFFFFFFCu;
    if (!FPermissions.Contains(ppCanPrint)) p &= ~4u;
    if (!FPermissions.Contains(ppCanChange)) p &= ~8u;
    if (!FPermissions.Contains(ppCanCopy)) p &= ~16u;
    if (!FPermissions.Contains(ppCanAddNotes)) p &= ~32u;
    if (FEncryptionStrength != esStd) {
        if (!FExtraPermissions.Contains(ppCanFillFields)) p &= ~256u;
        if (!FExtraPermissions.Contains(ppCanCopyAccess)) p &= ~512u;
        if (!FExtraPermissions.Contains(ppCanAssemble)) p &= ~1024u;
        if (!FExtraPermissions.Contains(ppCanPrintFull)) p &= ~2048u;
    }
    PermKey = p;
}

// ---------------------------------------------------------------------------
// Key derivation, revisions 2 to 4

int TPDFSecurityHandler::KeyLengthBytes() const {
    switch (FEncryptionStrength) {
        case esStd:
        case es48Bit:
            return 5;
        case esVariable: {
            int n = FEncryption.Length / 8;
            return n < 5 ? 5 : (n > 16 ? 16 : n);
        }
        default:
            return 16;
    }
}

void TPDFSecurityHandler::CalculateKeys() {
    if (IsAES256(FEncryptionStrength)) {
        FEncryption.Algorithm = eaAES256;
        CalculateAES256Keys();
        return;
    }
    EncryptionKey.clear();
    const std::size_t n = static_cast<std::size_t>(KeyLengthBytes());
    // Revision 2 keys are hashed once whatever their length; without a
    // revision (a plain document being encrypted) the strength decides.
    const bool later = FEncryption.R > 2 || (FEncryption.R < 2 && FEncryptionStrength != esStd);
    const std::string id = FirstID();
    bool keySet = false;

    // Owner value (algorithm 3).
    if (OwnerKey.empty()) {
        std::string digest =
            MD5OfString(PadPassword(FOwnerPassword.empty() ? FUserPassword : FOwnerPassword));
        if (later)
            for (int i = 0; i < 50; ++i) digest = MD5OfString(digest);
        std::string rc4Key = First(digest, n);
        if (!UserKey.empty()) {
            EncryptionKey = rc4Key;
            keySet = true;
        } else {
            UserKey = FUserPassword;
        }
        std::string o = RC4Crypt(rc4Key, PadPassword(UserKey));
        if (later)
            for (unsigned char i = 1; i <= 19; ++i) o = RC4Crypt(XorKey(rc4Key, i), o);
        OwnerKey = o;
    }

    if (MalformedPermKey) PermKey &= 0xFFFFu;

    // File key (algorithm 2).
    std::string input = PadPassword(FUserPassword);
    input += OwnerKey;
    input += LE32(PermKey);
    input += id;
    if (!FEncryption.EncryptMetadata) input += std::string(4, '\xFF');
    std::string digest = MD5OfString(input);
    if (later)
        for (int i = 0; i < 50; ++i) digest = MD5OfString(First(digest, n));
    const std::string key = First(digest, n);
    if (!keySet) EncryptionKey = key;

    // User value (algorithms 4 and 5).
    if (later) {
        std::string u = RC4Crypt(key, MD5OfString(std::string(PasswordPadding()) + id));
        for (unsigned char i = 1; i <= 19; ++i) u = RC4Crypt(XorKey(key, i), u);
        u.append(16, '\0');
        UserKey = u;
    } else {
        UserKey = RC4Crypt(key, PasswordPadding());
    }
}

// ---------------------------------------------------------------------------
// Revisions 5 and 6

std::string TPDFSecurityHandler::CalculateVer6Hash(std::string_view shaInput,
                                                   std::string_view passwordA, int truncLength,
                                                   std::string_view uk) {
    std::string k = SHA256OfBytes(shaInput);
    const std::string_view pw =
        passwordA.substr(0, static_cast<std::size_t>(truncLength < 0 ? 0 : truncLength));
    std::string k1;
    for (unsigned i = 0;; ++i) {
        std::string block;
        block.reserve(pw.size() + k.size() + uk.size());
        block.append(pw).append(k).append(uk);
        k1.clear();
        k1.reserve(block.size() * 64);
        for (int j = 0; j < 64; ++j) k1 += block;
        const std::string e = AESEncryptCBCRaw(First(k, 16), k.substr(16, 16), k1);
        // The first 16 bytes as a big-endian number modulo 3: 256 is 1 mod 3,
        // so the byte sum has the same remainder.
        unsigned sum = 0;
        for (int j = 0; j < 16; ++j) sum += static_cast<unsigned char>(e[j]);
        switch (sum % 3) {
            case 0:
                k = SHA256OfBytes(e);
                break;
            case 1:
                k = SHA384OfBytes(e);
                break;
            default:
                k = SHA512OfBytes(e);
                break;
        }
        const unsigned last = static_cast<unsigned char>(e.back());
        if (i >= 63 && last + 31 <= i) break;
    }
    return First(k, 32);
}

void TPDFSecurityHandler::CalculateAES256Keys() {
    const bool r6 = FEncryptionStrength == esAES256BitAcroX;
    auto hash = [r6](const std::string& pw, const std::string& input, std::string_view uk) {
        return r6 ? CalculateVer6Hash(input, pw, static_cast<int>(pw.size()), uk)
                  : SHA256OfBytes(input);
    };
    EncryptionKey = RandomBytes(32);
    const std::string salt = RandomBytes(16);
    const std::string zeroIV(16, '\0');

    const std::string upw = First(FUserPassword, kMaxAES256Password);
    UserKey = hash(upw, upw + salt.substr(0, 8), {}) + salt;
    UserEncKey = AESEncryptCBC(hash(upw, upw + salt.substr(8, 8), {}), zeroIV, EncryptionKey);

    const std::string osalt = RandomBytes(16);
    const std::string opw = First(FOwnerPassword, kMaxAES256Password);
    OwnerKey = hash(opw, opw + osalt.substr(0, 8) + UserKey, UserKey) + osalt;
    OwnerEncKey = AESEncryptCBC(hash(opw, opw + osalt.substr(8, 8) + UserKey, UserKey), zeroIV,
                                EncryptionKey);

    std::string perms = LE32(PermKey);
    perms += "\xFF\xFF\xFF\xFF";
    perms += "Tadb";
    perms += RandomBytes(4);
    PermsKey = AESEncryptCBC(EncryptionKey, zeroIV, perms);
}

// ---------------------------------------------------------------------------
// Password checks

std::string TPDFSecurityHandler::PasswordBytes(const std::u16string& password) const {
    return FEncryption.Algorithm == eaAES256 ? WideToUTF8Bytes(password)
                                             : WideToAnsiBytes(password);
}

void TPDFSecurityHandler::SetStrengthFromRecord() {
    const int len = FEncryption.Length;
    FEncryptionStrength = len == 40 ? esStd : (len >= 41 && len <= 127 ? esVariable : es128Bit);
    if (FEncryption.Algorithm == eaAES128) FEncryptionStrength = esAES128Bit;
}

bool TPDFSecurityHandler::UserKeyMatches() const {
    const std::string& u = FEncryption.U;
    if (FEncryption.Length == 40 && FEncryption.R < 3) return UserKey == u;
    if (u.size() < 16 || UserKey.size() < 16) return false;
    return UserKey.compare(0, 16, u, 0, 16) == 0;
}

bool TPDFSecurityHandler::CheckUserPassword(const std::u16string& password) {
    const TPDFEncrypted state = GetEncrypted();
    if (state == peDecrypted) return password.empty();
    if (state == peUnknownEncryption) return false;
    return CheckUserPasswordBytes(PasswordBytes(password));
}

bool TPDFSecurityHandler::CheckOwnerPassword(const std::u16string& password) {
    const TPDFEncrypted state = GetEncrypted();
    if (state == peDecrypted) return password.empty();
    if (state == peUnknownEncryption) return false;
    return CheckOwnerPasswordBytes(PasswordBytes(password));
}

bool TPDFSecurityHandler::CheckUserPasswordBytes(const std::string& pw) {
    if (FEncryption.Algorithm == eaAES256) {
        FEncryptionStrength = FEncryption.R == 6 ? esAES256BitAcroX : esAES256Bit;
        return CheckAES256(pw, false);
    }
    SetStrengthFromRecord();
    FUserPassword = pw;
    FOwnerPassword.clear();
    OwnerKey = FEncryption.O;
    UserKey.clear();
    CalculateKeys();
    return UserKeyMatches();
}

bool TPDFSecurityHandler::CheckOwnerPasswordBytes(const std::string& pw) {
    if (FEncryption.Algorithm == eaAES256) {
        FEncryptionStrength = FEncryption.R == 6 ? esAES256BitAcroX : esAES256Bit;
        return CheckAES256(pw, true);
    }
    SetStrengthFromRecord();
    FOwnerPassword = pw;
    FUserPassword = pw;
    OwnerKey.clear();
    UserKey = FEncryption.U;
    CalculateKeys();  // leaves the owner RC4 key in EncryptionKey
    if (FEncryption.R == 2) {
        FUserPassword = RC4Crypt(EncryptionKey, FEncryption.O);
    } else {
        FUserPassword = FEncryption.O;
        for (int i = 19; i >= 0; --i)
            FUserPassword =
                RC4Crypt(XorKey(EncryptionKey, static_cast<unsigned char>(i)), FUserPassword);
    }
    OwnerKey = FEncryption.O;
    UserKey.clear();
    CalculateKeys();
    return UserKeyMatches();
}

bool TPDFSecurityHandler::CheckAES256(const std::string& password, bool owner) {
    const bool r6 = FEncryption.R == 6;
    const std::string pw = First(password, kMaxAES256Password);
    const std::string& stored = owner ? FEncryption.O : FEncryption.U;
    const std::string uk = owner ? Slice0(FEncryption.U, 0, 48) : std::string();
    auto hash = [&](const std::string& input) {
        return r6 ? CalculateVer6Hash(input, pw, static_cast<int>(pw.size()), uk)
                  : SHA256OfBytes(input);
    };
    if (hash(pw + Slice0(stored, 32, 8) + uk) != Slice0(stored, 0, 32)) return false;
    // The file key is the 32-byte /UE or /OE deciphered; a shorter value
    // cannot give a key.
    const std::string& wrapped = owner ? FEncryption.OE : FEncryption.UE;
    if (wrapped.size() < 32) return false;
    const std::string intermediate = hash(pw + Slice0(stored, 40, 8) + uk);
    EncryptionKey = AESDecryptCBC(intermediate, std::string(16, '\0'), First(wrapped, 32));
    CheckPerms();
    return true;
}

void TPDFSecurityHandler::CheckPerms() {
    if (FEncryption.Perms.size() < 16 || EncryptionKey.size() != 32) return;
    const std::string perms =
        AESDecryptCBC(EncryptionKey, std::string(16, '\0'), First(FEncryption.Perms, 16));
    if (perms.empty() || perms.find("adb") != 9) return;
    std::uint32_t p = 0;
    for (int i = 0; i < 4; ++i)
        p |= static_cast<std::uint32_t>(static_cast<unsigned char>(perms[i])) << (8 * i);
    if (p != FEncryption.P) FEncryption.P = p;
}

void TPDFSecurityHandler::SetPassword(const std::u16string& password) {
    TryPassword(password);
    if (!FIsUserPassword && !FIsOwnerPassword && FEncryption.AltLength > 0 &&
        FEncryption.AltLength != FEncryption.Length && GetEncrypted() == peEncrypted) {
        // The other key length the dictionary may mean; kept when it opens.
        std::swap(FEncryption.Length, FEncryption.AltLength);
        TryPassword(password);
        if (!FIsUserPassword && !FIsOwnerPassword)
            std::swap(FEncryption.Length, FEncryption.AltLength);
    }
}

void TPDFSecurityHandler::TryPassword(const std::u16string& password) {
    FIsUserPassword = FIsOwnerPassword = false;
    if (CheckUserPassword(password)) {
        FIsUserPassword = true;
        FPassword = password;
        IndObjEncKey = EncryptionKey;
    }
    // The owner check compares a hash of the password with /O, so an empty
    // password that passes it is the owner password, at every revision.
    if (CheckOwnerPassword(password)) {
        FIsOwnerPassword = true;
        FPassword = password;
        IndObjEncKey = EncryptionKey;
    }
    if (!FIsUserPassword && !FIsOwnerPassword) {
        FPassword.clear();
        IndObjEncKey.clear();
    }
    ClearSecrets();
}

void TPDFSecurityHandler::ClearSecrets() {
    // Password bytes are only needed during a key computation.
    FUserPassword.clear();
    FOwnerPassword.clear();
}

// ---------------------------------------------------------------------------
// Encrypting a plain document

TPDFEncryptDictionaryValues TPDFSecurityHandler::Encrypt(const std::string& owner,
                                                         const std::string& user,
                                                         TPDFEncryptionStrength strength,
                                                         TPDFPermissions perm,
                                                         TPDFExtraPermissions extraPerm) {
    FOwnerPassword = owner;
    FUserPassword = user;
    FPermissions = perm;
    FExtraPermissions = extraPerm;
    FIsOwnerPassword = true;
    FIsUserPassword = false;
    FUserPasswordBlank = user.empty();
    FOwnerPasswordBlank = owner == user;
    OwnerKey.clear();
    UserKey.clear();
    FEncryptionStrength = strength;
    CalculatePermissionsKey();
    CalculateKeys();
    IndObjEncKey = EncryptionKey;
    ClearSecrets();

    TPDFEncryptDictionaryValues v;
    switch (strength) {
        case es128Bit:
            v.V = 2, v.R = 3, v.Length = 128;
            break;
        case esAES128Bit:
            v.V = 4, v.R = 4, v.Length = 128, v.CFM = "AESV2", v.CFLength = 16;
            break;
        case esAES256Bit:
            v.V = 5, v.R = 5, v.Length = 256, v.CFM = "AESV3", v.CFLength = 32;
            break;
        case esAES256BitAcroX:
            v.V = 5, v.R = 6, v.Length = 256, v.CFM = "AESV3", v.CFLength = 32;
            break;
        default:
            v.V = 1, v.R = 2, v.Length = 0;
            break;
    }
    v.O = OwnerKey;
    v.U = UserKey;
    if (IsAES256(strength)) {
        v.OE = OwnerEncKey;
        v.UE = UserEncKey;
        v.Perms = PermsKey;
    }
    v.P = static_cast<std::int32_t>(PermKey);
    return v;
}

// ---------------------------------------------------------------------------
// Object keys

std::string TPDFSecurityHandler::GetObjectKey(int objNum, int genNum) const {
    return GetObjectKey(objNum, genNum, StreamMethod());
}

TPDFCryptMethod TPDFSecurityHandler::DefaultMethod() const {
    // A document just encrypted here knows its strength before its new
    // dictionary is read back.
    if (FEncryption.Algorithm == eaAES256 || IsAES256(FEncryptionStrength)) return cmAESV3;
    if (FEncryption.Algorithm == eaAES128 || FEncryptionStrength == esAES128Bit) return cmAESV2;
    return cmRC4;
}

TPDFCryptMethod TPDFSecurityHandler::StringMethod() const {
    return FEncryption.CryptFilters ? FEncryption.StrF : DefaultMethod();
}

TPDFCryptMethod TPDFSecurityHandler::StreamMethod() const {
    return FEncryption.CryptFilters ? FEncryption.StmF : DefaultMethod();
}

TPDFCryptMethod TPDFSecurityHandler::EmbeddedFileMethod() const {
    return FEncryption.CryptFilters ? FEncryption.EFF : DefaultMethod();
}

TPDFCryptMethod TPDFSecurityHandler::NamedFilterMethod(std::string_view Name) const {
    if (Name == "Identity") return cmIdentity;
    for (const auto& [N, M] : FEncryption.Filters)
        if (N == Name) return M;
    return cmIdentity;
}

bool TPDFSecurityHandler::OnlyEmbeddedFilesEncrypted() const {
    return FEncryption.CryptFilters && FEncryption.StrF == cmIdentity &&
           FEncryption.StmF == cmIdentity;
}

std::string TPDFSecurityHandler::GetObjectKey(int objNum, int genNum,
                                              TPDFCryptMethod method) const {
    if (objNum == FEncryption.DictionaryObjNum) return {};
    if (method == cmIdentity || method == cmUnknown) return {};
    if (method == cmAESV3 || FEncryption.Algorithm == eaAES256) return EncryptionKey;
    std::string input = IndObjEncKey;
    const auto o = static_cast<std::uint32_t>(objNum);
    const auto g = static_cast<std::uint32_t>(genNum);
    input += static_cast<char>(o & 0xFF);
    input += static_cast<char>((o >> 8) & 0xFF);
    input += static_cast<char>((o >> 16) & 0xFF);
    input += static_cast<char>(g & 0xFF);
    input += static_cast<char>((g >> 8) & 0xFF);
    if (method == cmAESV2) input += "sAlT";
    const std::size_t n = std::min<std::size_t>(IndObjEncKey.size() + 5, 16);
    return First(MD5OfString(input), n);
}

void TPDFSecurityHandler::ApplyEncryptionState(const TPDFEncryption& rec,
                                               const std::string& fileKey) {
    FEncryption = rec;
    FEncryption.Extracted = true;
    FEncryption.DictionaryPresent = true;
    OwnerKey = rec.O;
    UserKey = rec.U;
    SetPermissionsKey(rec.P);
    const int len = rec.Length;
    FEncryptionStrength = len == 40 ? esStd : (len >= 41 && len <= 127 ? esVariable : es128Bit);
    if (rec.Algorithm == eaAES128 && rec.V == 4 && rec.R == 4) FEncryptionStrength = esAES128Bit;
    if (rec.Algorithm == eaAES256)
        FEncryptionStrength = rec.R == 6 ? esAES256BitAcroX : esAES256Bit;
    EncryptionKey = fileKey;
    IndObjEncKey = fileKey;
}

}  // namespace velmo
