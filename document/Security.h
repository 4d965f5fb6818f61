// Standard security handler: the state read from an /Encrypt dictionary, the
// password checks, the key derivation of revisions 2 to 6 and the per-object
// keys and string ciphers built on it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmo {

class TPDFObject;
class TPDFDictionary;
class TPDFArray;
class TPDFStructure;
class TPDFStream;

enum TPDFEncryptionAlgorithm : std::uint8_t { eaRC4, eaAES128, eaAES256 };

enum TPDFEncryptionStrength : std::uint8_t {
    esStd,
    es128Bit,
    esAES128Bit,
    esAES256Bit,
    es48Bit,
    esVariable,
    esAES256BitAcroX
};

enum TPDFEncrypted : std::uint8_t { peDecrypted, peEncrypted, peUnknownEncryption };

// How one class of data (strings, streams, embedded files) is enciphered:
// the method of the crypt filter that applies to it. cmIdentity leaves the
// data in clear; cmUnknown is a method the handler cannot apply.
enum TPDFCryptMethod : std::uint8_t { cmIdentity, cmRC4, cmAESV2, cmAESV3, cmUnknown };

enum TPDFPermission : std::uint8_t { ppCanPrint, ppCanCopy, ppCanChange, ppCanAddNotes };

enum TPDFExtraPermission : std::uint8_t {
    ppCanFillFields,
    ppCanCopyAccess,
    ppCanAssemble,
    ppCanPrintFull
};

// A small set over one of the permission enumerations.
template <typename E>
class TPDFSet {
public:
    constexpr TPDFSet() = default;
    constexpr TPDFSet(std::initializer_list<E> items) {
        for (E e : items) Include(e);
    }
    constexpr bool Contains(E e) const { return (FBits >> static_cast<unsigned>(e)) & 1u; }
    constexpr void Include(E e) { FBits |= 1u << static_cast<unsigned>(e); }
    constexpr void Exclude(E e) { FBits &= ~(1u << static_cast<unsigned>(e)); }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr bool operator==(const TPDFSet&) const = default;
    static constexpr TPDFSet All() {
        TPDFSet s;
        s.FBits = 0x0F;
        return s;
    }

private:
    std::uint8_t FBits = 0;
};

using TPDFPermissions = TPDFSet<TPDFPermission>;
using TPDFExtraPermissions = TPDFSet<TPDFExtraPermission>;

// The parameters read from an /Encrypt dictionary.
struct TPDFEncryption {
    bool DictionaryPresent = false;
    bool Extracted = false;
    int Length = 0;  // bits
    // A second key length that writers mean by the same dictionary (a
    // missing /Length taken as 128 bits, revision 2 keys as long as
    // /Length); tried when no password matches with Length. 0: none.
    int AltLength = 0;
    int R = 0;
    int V = 0;  // 0: not a supported form
    std::string O;
    std::string U;
    std::string OE;
    std::string UE;
    std::string Perms;
    std::uint32_t P = 0;
    TPDFEncryptionAlgorithm Algorithm = eaRC4;
    int DictionaryObjNum = 0;
    bool EncryptMetadata = true;
    // Version 4 and 5 dictionaries name a crypt filter per class of data;
    // without them every class uses the method of Algorithm.
    bool CryptFilters = false;
    TPDFCryptMethod StrF = cmIdentity;
    TPDFCryptMethod StmF = cmIdentity;
    TPDFCryptMethod EFF = cmIdentity;
    // The named filters of /CF, for streams that carry their own /Crypt
    // filter.
    std::vector<std::pair<std::string, TPDFCryptMethod>> Filters;
};

// The method of the document's algorithm (dictionaries without crypt
// filters).
TPDFCryptMethod MethodOfAlgorithm(TPDFEncryptionAlgorithm algorithm);

// The key length in bits that a reader takes from the /Length of an
// /Encrypt dictionary or of an RC4 crypt filter: a value below 40 that fits
// as bytes (5 to 16) is bytes; the result is a multiple of 8 between 40 and
// 128; Missing gives Default.
int NormalizeRC4KeyBits(std::optional<std::int64_t> Length, int Default);

// The 32-byte password padding string.
std::string_view PasswordPadding();

// Pads a password: cut to 32 bytes, padding appended, cut to 32 bytes.
std::string PadPassword(std::string_view password);

// Reads /P: a non-negative value is rounded to 64 bits and its low 32 bits
// taken, so the unsigned form of a pattern reads like its signed form.
std::uint32_t PermissionsFromNumber(double value);

// Encrypts or decrypts one string or stream body under an object key.
// AES keys give the IV-prefixed, padded form; RC4 is its own inverse.
std::string EncryptObjectData(TPDFEncryptionAlgorithm algorithm, std::string_view key,
                              std::string_view data);
std::string DecryptObjectData(TPDFEncryptionAlgorithm algorithm, std::string_view key,
                              std::string_view data);
// The same by crypt method; Failed (when given) is set when AES data does
// not decipher (bad length or padding) and the result is empty.
std::string EncryptMethodData(TPDFCryptMethod method, std::string_view key, std::string_view data);
std::string DecryptMethodData(TPDFCryptMethod method, std::string_view key, std::string_view data,
                              bool* Failed = nullptr);

// The values a new /Encrypt dictionary is built from.
struct TPDFEncryptDictionaryValues {
    int V = 0;
    int R = 0;
    int Length = 0;             // 0: /Length not written
    std::string CFM;            // empty: no crypt filter
    int CFLength = 0;           // crypt filter /Length in bytes
    std::string O, U;           // always
    std::string OE, UE, Perms;  // AES-256 only
    std::int32_t P = 0;
};

// One indirect object of the document as the object walks of the handler
// see it.
struct TPDFSecuredObject {
    std::int32_t ObjNum = 0;
    std::int32_t GenNum = 0;
    bool Compact = false;                // taken from an object stream
    bool* Decrypted = nullptr;           // the object's FDecrypted flag
    std::function<TPDFObject*()> Fetch;  // the value (decoded, decrypted when possible)
};

// What the handler needs of its document: the trailer, the object store,
// new indirect objects and the list of indirect objects.
class TPDFSecurityHost {
public:
    virtual ~TPDFSecurityHost() = default;
    virtual TPDFDictionary* SecurityTrailer() = 0;
    virtual TPDFStructure* SecurityStructure() = 0;
    // Makes Obj a new indirect object (generation 0) and returns its number.
    virtual std::int32_t SecurityNewObjRef(TPDFObject* Obj) = 0;
    // Visits every indirect object in list order.
    virtual void SecurityForEachObject(const std::function<void(TPDFSecuredObject&)>& Visit) = 0;
    // Removes (and frees) indirect object ObjNum and rebuilds the object index.
    virtual void SecurityRemoveObject(std::int32_t ObjNum) = 0;
    // Around a walk that fetches every object (the data the objects were
    // spooled to must stay reachable); End follows Begin on every path.
    virtual void SecurityBeginObjectWalk() {}
    virtual void SecurityEndObjectWalk() {}
};

// The fingerprint's fields besides the record: the /ID array as PDF text and
// the file key.
struct TPDFFingerprint {
    TPDFEncryption Encryption;
    std::string IDText;
    std::string Key;
};
std::string BuildFingerprint(const TPDFFingerprint& F);
// False when the text does not decipher to a fingerprint.
bool ParseFingerprint(std::string_view Text, TPDFFingerprint& F);

// State and key derivation of the standard security handler. The document
// owns one and answers its questions about the trailer through the host.
class TPDFSecurityHandler {
public:
    // Connects the handler to its document; the hooks below then read the
    // document's trailer.
    void AttachHost(TPDFSecurityHost* Host);
    TPDFSecurityHost* FHost = nullptr;

    // First element of the trailer's /ID, empty when the trailer has none.
    std::function<std::string()> OnGetFirstID;
    // Reads the /Encrypt entry of the trailer again (ExtractEncryption).
    std::function<void()> OnExtractEncryption;

    // Installs a freshly read record and resets the permissions from its P.
    void SetEncryption(const TPDFEncryption& rec);
    TPDFEncryption& Encryption() { return FEncryption; }
    const TPDFEncryption& Encryption() const { return FEncryption; }

    // Queries; each first re-reads the dictionary when the record is stale.
    TPDFEncrypted GetEncrypted();
    int EncryptionStrength();
    int EncryptionAlgorithm();
    bool EncryptionAcroX();
    bool CanDecrypt();
    bool HasUserPassword();
    bool HasOwnerPassword();

    bool CheckUserPassword(const std::u16string& password);
    bool CheckOwnerPassword(const std::u16string& password);
    void SetPassword(const std::u16string& password);

    // Revision-6 password hash (32 bytes).
    static std::string CalculateVer6Hash(std::string_view shaInput, std::string_view passwordA,
                                         int truncLength, std::string_view uk);

    void SetPermissionsKey(std::uint32_t p);
    void CalculatePermissionsKey();
    void CalculateKeys();
    void CalculateAES256Keys();

    // Sets up the handler to encrypt a plain document and returns the values
    // of its new /Encrypt dictionary.
    TPDFEncryptDictionaryValues Encrypt(const std::string& owner, const std::string& user,
                                        TPDFEncryptionStrength strength, TPDFPermissions perm,
                                        TPDFExtraPermissions extraPerm);

    // Key of one indirect object; empty for the /Encrypt dictionary itself.
    // Without a method, the key of the stream method.
    std::string GetObjectKey(int objNum, int genNum) const;
    std::string GetObjectKey(int objNum, int genNum, TPDFCryptMethod method) const;

    // The methods the document applies to strings, to streams and to
    // embedded file streams.
    TPDFCryptMethod StringMethod() const;
    TPDFCryptMethod StreamMethod() const;
    TPDFCryptMethod EmbeddedFileMethod() const;
    // The method of a named crypt filter (/Identity and names missing from
    // /CF are clear).
    TPDFCryptMethod NamedFilterMethod(std::string_view Name) const;
    // Only embedded files need the key: the document opens without one.
    bool OnlyEmbeddedFilesEncrypted() const;

    // Installs a state restored from a fingerprint or carried over from
    // another document (the fingerprint's ApplyEncryption, steps 1-3).
    void ApplyEncryptionState(const TPDFEncryption& rec, const std::string& fileKey);

    std::string PasswordBytes(const std::u16string& password) const;

    // ---- Operations on the document's objects (through the host) ----

    // Reads the trailer's /Encrypt entry into FEncryption.
    void ExtractEncryption();
    // The trailer's /ID array, made when missing.
    TPDFArray* GetID();
    // Load: tries the empty password, then Password; false when neither is
    // accepted (the load then fails with a wrong password).
    bool OpenWithPassword(const std::u16string& Password);
    // Encrypts the plain document in memory and writes its new /Encrypt
    // dictionary; always true.
    bool EncryptDocument(const std::string& Owner, const std::string& User,
                         TPDFEncryptionStrength Strength, TPDFPermissions Perm,
                         TPDFExtraPermissions ExtraPerm);
    // Removes the encryption; false when not encrypted or no password was
    // accepted.
    bool DecryptDocument();
    std::string EncryptionFingerprint();
    bool EncryptWithFingerprint(std::string_view Fingerprint);
    void ApplyEncryption(const TPDFEncryption& Rec);
    void EncryptAllObjects();
    void DecryptAllObjects();

    // One indirect object's value: decrypted on first use when a password
    // was accepted, encrypted for writing. Decrypted is the object's flag.
    void DecryptIndirectValue(TPDFObject* Value, std::int32_t ObjNum, std::int32_t GenNum,
                              bool& Decrypted);
    void EncryptIndirectValue(TPDFObject* Value, std::int32_t ObjNum, std::int32_t GenNum,
                              bool& Decrypted);
    void EncryptObjectStrings(const std::string& Key, TPDFObject* Obj);
    void DecryptObjectStrings(const std::string& Key, TPDFObject* Obj);
    // The same with each string and stream under the method of its crypt
    // filter and the object's key for that method.
    void EncryptObject(std::int32_t ObjNum, std::int32_t GenNum, TPDFObject* Obj);
    void DecryptObject(std::int32_t ObjNum, std::int32_t GenNum, TPDFObject* Obj);

    // Fields (named as the document's own).
    TPDFEncryption FEncryption;
    std::u16string FPassword;
    bool FIsUserPassword = false;
    bool FIsOwnerPassword = false;
    std::string IndObjEncKey;
    std::string EncryptionKey;
    std::uint32_t PermKey = 0;
    TPDFPermissions FPermissions;
    TPDFExtraPermissions FExtraPermissions;
    TPDFEncryptionStrength FEncryptionStrength = esStd;
    std::string OwnerKey, UserKey;
    std::string OwnerEncKey, UserEncKey, PermsKey;
    std::string FOwnerPassword, FUserPassword;
    bool FOwnerPasswordBlank = false;
    bool FUserPasswordBlank = false;
    bool MalformedPermKey = false;
    // The document was opened with no password accepted because only its
    // embedded files are encrypted: they stay cipher text.
    bool FOpenedWithoutKey = false;
    // Strings and streams whose data did not decipher (AES data of a wrong
    // length or padding); they read as empty.
    int FDecryptFailures = 0;

private:
    void CryptObject(const std::string& Key, TPDFObject* Obj, bool Encrypting);
    void CryptObjectByFilter(std::int32_t ObjNum, std::int32_t GenNum, TPDFObject* Obj,
                             bool Encrypting);
    TPDFCryptMethod StreamMethodOf(TPDFStream* S) const;
    TPDFCryptMethod DefaultMethod() const;
    TPDFDictionary* NewEncryptDictionary(const TPDFEncryptDictionaryValues& V, bool FromRecord);
    void InstallEncryptDictionary(TPDFDictionary* Dict);
    void EnsureExtracted();
    std::string FirstID() const;
    int KeyLengthBytes() const;
    void SetStrengthFromRecord();
    bool CheckUserPasswordBytes(const std::string& pw);
    bool CheckOwnerPasswordBytes(const std::string& pw);
    bool UserKeyMatches() const;
    bool CheckAES256(const std::string& pw, bool owner);
    void TryPassword(const std::u16string& password);
    void CheckPerms();
    void ClearSecrets();
};

}  // namespace velmo
