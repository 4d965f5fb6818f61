// The security handler's work on the document's objects: reading the
// /Encrypt dictionary, the object walks, encrypting and decrypting a whole
// document, and the encryption fingerprint.
#include <unordered_set>

#include "core/Objects.h"
#include "core/Structure.h"
#include "document/Security.h"
#include "document/SecurityCrypto.h"

namespace velmo {

namespace {

using seccrypto::RandomBytes;
using seccrypto::RC4Crypt;

constexpr std::string_view kFingerprintMagic = "VelmoPDFFingerprint";
constexpr std::string_view kFingerprintKey = "TarvikOpalXQZ";

std::string NameValue(TPDFDictionary* D, std::string_view Key) {
    auto* N = ObjAs<TPDFName>(D->FindValueByKeyName(Key, true));
    return N ? N->Name() : std::string();
}

std::string StringBytes(TPDFDictionary* D, std::string_view Key) {
    auto* S = ObjAs<TPDFString>(D->FindValueByKeyName(Key, true));
    return S ? S->AsString() : std::string();
}

// The crypt filter of a version 4 or 5 dictionary: StrF and StmF both
// StdCF, and CF holding a dictionary under StdCF.
TPDFDictionary* StandardCryptFilter(TPDFDictionary* D) {
    if (NameValue(D, "StrF") != "StdCF" || NameValue(D, "StmF") != "StdCF") return nullptr;
    auto* CF = ObjAs<TPDFDictionary>(D->FindValueByKeyName("CF", true));
    if (!CF) return nullptr;
    return ObjAs<TPDFDictionary>(CF->FindValueByKeyName("StdCF", true));
}

// Length of a crypt filter, read as bytes.
int CryptFilterBits(TPDFDictionary* StdCF, int Default) {
    auto* L = ObjAs<TPDFNumeric>(StdCF->FindValueByKeyName("Length", true));
    if (!L) return Default;
    const std::int64_t bits = static_cast<std::int64_t>(L->AsInteger()) * 8;
    return bits > INT32_MAX || bits < INT32_MIN ? Default : static_cast<int>(bits);
}

bool IsSignatureDictionary(TPDFDictionary* D) {
    const std::string type = D->DictType();
    if (type == "Sig" || type == "DocTimeStamp") return true;
    return ObjAs<TPDFArray>(D->FindValueByKeyName("ByteRange", false)) &&
           ObjAs<TPDFString>(D->FindValueByKeyName("Contents", false));
}

std::string Hex8(std::uint32_t V) {
    static const char* Digits = "0123456789ABCDEF";
    std::string S(8, '0');
    for (int i = 7; i >= 0; --i, V >>= 4) S[i] = Digits[V & 15];
    return S;
}

std::string Counted(std::string_view S) {
    return Hex8(static_cast<std::uint32_t>(S.size())) + std::string(S);
}

int HexDigit(char C) {
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    return -1;
}

// Readers of fields from the front of the deciphered text.
std::int32_t ReadFingerprintNumber(std::string_view& S) {
    const std::string_view Digits = S.substr(0, 8);
    S.remove_prefix(Digits.size());
    if (Digits.empty()) return 0;
    std::uint32_t V = 0;
    for (char C : Digits) {
        const int D = HexDigit(C);
        if (D < 0) return 0;
        V = V << 4 | static_cast<std::uint32_t>(D);
    }
    return static_cast<std::int32_t>(V);
}

std::string ReadFingerprintString(std::string_view& S) {
    const std::int32_t N = ReadFingerprintNumber(S);
    if (N <= 0) return {};
    const std::string_view R = S.substr(0, static_cast<std::size_t>(N));
    S.remove_prefix(R.size());
    return std::string(R);
}

}  // namespace

// ---------------------------------------------------------------------------
// Fingerprint text

std::string BuildFingerprint(const TPDFFingerprint& F) {
    const TPDFEncryption& E = F.Encryption;
    std::string Plain(kFingerprintMagic);
    Plain += Counted(E.O);
    Plain += Counted(E.U);
    Plain += Hex8(static_cast<std::uint32_t>(E.Length));
    Plain += Hex8(E.P);
    Plain += Hex8(static_cast<std::uint32_t>(E.V));
    Plain += Hex8(static_cast<std::uint32_t>(E.R));
    Plain += Counted(F.IDText);
    Plain += Counted(F.Key);
    Plain += Hex8(static_cast<std::uint32_t>(E.Algorithm));
    Plain += Counted(E.UE);
    Plain += Counted(E.OE);
    Plain += Counted(E.Perms);
    const std::string Cipher = RC4Crypt(kFingerprintKey, Plain);
    static const char* Digits = "0123456789ABCDEF";
    std::string Text;
    Text.reserve(Cipher.size() * 2);
    for (unsigned char C : Cipher) {
        Text += Digits[C >> 4];
        Text += Digits[C & 15];
    }
    return Text;
}

bool ParseFingerprint(std::string_view Text, TPDFFingerprint& F) {
    std::string Bytes;
    Bytes.reserve(Text.size() / 2);
    int High = -1;
    for (char C : Text) {
        const int D = HexDigit(C);
        if (D < 0) continue;
        if (High < 0) {
            High = D;
        } else {
            Bytes += static_cast<char>(High * 16 + D);
            High = -1;
        }
    }
    const std::string Plain = RC4Crypt(kFingerprintKey, Bytes);
    if (Plain.size() < kFingerprintMagic.size() ||
        Plain.compare(0, kFingerprintMagic.size(), kFingerprintMagic) != 0)
        return false;
    std::string_view S(Plain);
    S.remove_prefix(kFingerprintMagic.size());
    F = TPDFFingerprint{};
    TPDFEncryption& E = F.Encryption;
    E.EncryptMetadata = true;  // the restored dictionary never says otherwise
    E.O = ReadFingerprintString(S);
    E.U = ReadFingerprintString(S);
    E.Length = ReadFingerprintNumber(S);
    E.P = static_cast<std::uint32_t>(ReadFingerprintNumber(S));
    E.V = ReadFingerprintNumber(S);
    E.R = ReadFingerprintNumber(S);
    F.IDText = ReadFingerprintString(S);
    F.Key = ReadFingerprintString(S);
    const unsigned Alg = static_cast<unsigned>(ReadFingerprintNumber(S)) & 0xFF;
    E.Algorithm = Alg <= eaAES256 ? static_cast<TPDFEncryptionAlgorithm>(Alg) : eaRC4;
    E.UE = ReadFingerprintString(S);
    E.OE = ReadFingerprintString(S);
    E.Perms = ReadFingerprintString(S);
    return true;
}

// ---------------------------------------------------------------------------
// Host and /Encrypt dictionary

void TPDFSecurityHandler::AttachHost(TPDFSecurityHost* Host) {
    FHost = Host;
    if (!Host) {
        OnGetFirstID = nullptr;
        OnExtractEncryption = nullptr;
        return;
    }
    OnExtractEncryption = [this] { ExtractEncryption(); };
    OnGetFirstID = [this]() -> std::string {
        TPDFDictionary* Trailer = FHost->SecurityTrailer();
        if (!Trailer || Trailer->FindIndexByKeyName("ID") < 0) return {};
        TPDFArray* ID = GetID();
        auto* First = ID ? ObjAs<TPDFString>(ID->GetItem(0)) : nullptr;
        return First ? First->AsString() : std::string();
    };
}

void TPDFSecurityHandler::ExtractEncryption() {
    FEncryption = TPDFEncryption{};
    FEncryption.Extracted = true;
    TPDFDictionary* Trailer = FHost ? FHost->SecurityTrailer() : nullptr;
    if (!Trailer) return;
    TPDFObject* Entry = Trailer->FindValueByKeyName("Encrypt", false);
    FEncryption.DictionaryPresent = Entry != nullptr;
    if (auto* Ref = ObjAs<TPDFIndRef>(Entry)) {
        // Known before the reference is resolved, so that resolving it does
        // not try to decrypt it.
        FEncryption.DictionaryObjNum = Ref->ObjNum;
        Entry = Ref->Obj();
    }
    auto* D = ObjAs<TPDFDictionary>(Entry);
    if (!D) return;

    const std::string Filter = NameValue(D, "Filter");
    const int V = D->IntValue("V", 0);
    const int R = D->IntValue("R", 0);
    const int Length = D->IntValue("Length", 40);
    std::uint32_t P = 0;
    if (auto* N = ObjAs<TPDFNumeric>(D->FindValueByKeyName("P", true)))
        P = PermissionsFromNumber(N->AsDouble());
    auto Take = [&](bool AES256) {
        FEncryption.R = R;
        FEncryption.V = V;
        FEncryption.O = StringBytes(D, "O");
        FEncryption.U = StringBytes(D, "U");
        FEncryption.P = P;
        if (AES256) {
            FEncryption.OE = StringBytes(D, "OE");
            FEncryption.UE = StringBytes(D, "UE");
            FEncryption.Perms = StringBytes(D, "Perms");
        }
    };
    auto ReadEncryptMetadata = [&] {
        if (auto* B = ObjAs<TPDFBoolean>(D->FindValueByKeyName("EncryptMetadata", true)))
            FEncryption.EncryptMetadata = B->AsBoolean();
    };
    if (Filter == "Standard") {
        if ((V == 1 || V == 2) && (R == 2 || R == 3)) {
            Take(false);
            FEncryption.Length = (V > 1 || R == 3) ? Length : 40;
        } else if (V == 4 && R == 4) {
            ReadEncryptMetadata();
            if (TPDFDictionary* CF = StandardCryptFilter(D)) {
                const std::string CFM = NameValue(CF, "CFM");
                if (CFM == "AESV2") {
                    Take(false);
                    FEncryption.Length = CryptFilterBits(CF, 128);
                    FEncryption.Algorithm = eaAES128;
                    FEncryptionStrength = esAES128Bit;
                } else if (CFM == "V2") {
                    Take(false);
                    FEncryption.Length = CryptFilterBits(CF, 40);
                }
            }
        } else if (V == 5 && (R == 5 || R == 6)) {
            // The metadata exception applies to every crypt filter version.
            ReadEncryptMetadata();
            if (TPDFDictionary* CF = StandardCryptFilter(D)) {
                if (NameValue(CF, "CFM") == "AESV3") {
                    Take(true);
                    FEncryption.Length = CryptFilterBits(CF, 128);
                    FEncryption.Algorithm = eaAES256;
                    FEncryptionStrength = R == 5 ? esAES256Bit : esAES256BitAcroX;
                }
            }
        }
    }
    SetPermissionsKey(P);
}

TPDFArray* TPDFSecurityHandler::GetID() {
    TPDFDictionary* Trailer = FHost ? FHost->SecurityTrailer() : nullptr;
    TPDFStructure* S = FHost ? FHost->SecurityStructure() : nullptr;
    if (!Trailer || !S) return nullptr;
    if (auto* ID = ObjAs<TPDFArray>(Trailer->FindValueByKeyName("ID", true))) return ID;
    const std::string Fresh = RandomBytes(16);
    // An encrypted file without /ID had its keys made with an empty first
    // element; a new first element would make them wrong.
    const bool KeepEmpty = GetEncrypted() != peDecrypted;
    TPDFArray* ID = S->NewArray(
        {S->NewString(KeepEmpty ? std::string() : Fresh, smHex), S->NewString(Fresh, smHex)});
    Trailer->DeleteEntryByKeyName("ID");
    Trailer->Add("ID", ID);
    return ID;
}

bool TPDFSecurityHandler::OpenWithPassword(const std::u16string& Password) {
    SetPassword(u"");
    FUserPasswordBlank = FIsUserPassword;
    SetPassword(Password);
    FOwnerPasswordBlank = FIsOwnerPassword && FIsUserPassword;
    return FIsUserPassword || FIsOwnerPassword;
}

TPDFDictionary* TPDFSecurityHandler::NewEncryptDictionary(const TPDFEncryptDictionaryValues& V,
                                                          bool FromRecord) {
    TPDFStructure* S = FHost->SecurityStructure();
    TPDFDictionary* D = S->NewDictionary();
    auto Num = [S](double X) { return S->NewNumeric(X); };
    auto Hex = [S](const std::string& X) { return S->NewString(X, smHex); };
    auto CryptFilter = [&] {
        D->Add("StrF", S->NewName("StdCF"));
        D->Add("StmF", S->NewName("StdCF"));
        TPDFDictionary* Std = S->NewDictionary();
        Std->Add("AuthEvent", S->NewName("DocOpen"));
        Std->Add("Length", Num(V.CFLength));
        Std->Add("CFM", S->NewName(V.CFM));
        TPDFDictionary* CF = S->NewDictionary();
        CF->Add("StdCF", Std);
        D->Add("CF", CF);
    };
    D->Add("Filter", S->NewName("Standard"));
    D->Add("V", Num(V.V));
    D->Add("R", Num(V.R));
    if (V.Length) D->Add("Length", Num(V.Length));
    if (!FromRecord && !V.CFM.empty()) CryptFilter();
    D->Add("O", Hex(V.O));
    D->Add("U", Hex(V.U));
    if (FromRecord) {
        D->Add("P", Num(V.P));
        if (!V.CFM.empty()) CryptFilter();
    }
    if (!V.OE.empty() || !V.UE.empty() || !V.Perms.empty()) {
        D->Add("OE", Hex(V.OE));
        D->Add("UE", Hex(V.UE));
        D->Add("Perms", Hex(V.Perms));
    }
    if (!FromRecord) D->Add("P", Num(V.P));
    return D;
}

void TPDFSecurityHandler::InstallEncryptDictionary(TPDFDictionary* Dict) {
    TPDFDictionary* Trailer = FHost->SecurityTrailer();
    Trailer->DeleteEntryByKeyName("Encrypt");
    const std::int32_t Num = FHost->SecurityNewObjRef(Dict);
    Trailer->Add("Encrypt", FHost->SecurityStructure()->NewIndirectRef(Num, 0));
    FEncryption.Extracted = false;
    FEncryption.DictionaryObjNum = Num;
}

// ---------------------------------------------------------------------------
// Whole documents

bool TPDFSecurityHandler::EncryptDocument(const std::string& Owner, const std::string& User,
                                          TPDFEncryptionStrength Strength, TPDFPermissions Perm,
                                          TPDFExtraPermissions ExtraPerm) {
    EnsureExtracted();
    // The first /ID element enters the keys: make it now, not at the save.
    GetID();
    const TPDFEncryptDictionaryValues V = Encrypt(Owner, User, Strength, Perm, ExtraPerm);
    FHost->SecurityForEachObject([](TPDFSecuredObject& O) {
        if (O.Decrypted) *O.Decrypted = true;
    });
    InstallEncryptDictionary(NewEncryptDictionary(V, false));
    return true;
}

bool TPDFSecurityHandler::DecryptDocument() {
    if (GetEncrypted() != peEncrypted || !(FIsUserPassword || FIsOwnerPassword)) return false;
    DecryptAllObjects();
    TPDFDictionary* Trailer = FHost->SecurityTrailer();
    if (TPDFObject* Entry = Trailer->FindValueByKeyName("Encrypt", false)) {
        Trailer->DeleteEntryByKeyName("Encrypt");
        if (auto* Ref = ObjAs<TPDFIndRef>(Entry)) {
            const std::int32_t Num = Ref->ObjNum;
            FHost->SecurityStructure()->RemoveObject(Ref);
            FHost->SecurityRemoveObject(Num);
        }
    }
    FEncryption.Extracted = false;
    return true;
}

namespace {

struct TObjectWalk {
    explicit TObjectWalk(TPDFSecurityHost* H) : Host(H) { Host->SecurityBeginObjectWalk(); }
    ~TObjectWalk() { Host->SecurityEndObjectWalk(); }
    TObjectWalk(const TObjectWalk&) = delete;
    TPDFSecurityHost* Host;
};

}  // namespace

void TPDFSecurityHandler::DecryptAllObjects() {
    TObjectWalk Walk(FHost);
    FHost->SecurityForEachObject([](TPDFSecuredObject& O) {
        if (O.Compact || !O.Fetch) return;
        try {
            O.Fetch();
        } catch (...) {
            // One damaged object does not stop the walk.
        }
    });
    FHost->SecurityForEachObject([](TPDFSecuredObject& O) {
        if (O.Decrypted) *O.Decrypted = false;
    });
}

void TPDFSecurityHandler::EncryptAllObjects() {
    TObjectWalk Walk(FHost);
    FHost->SecurityForEachObject([this](TPDFSecuredObject& O) {
        try {
            const std::string Key = GetObjectKey(O.ObjNum, O.GenNum);
            if (O.Decrypted && !*O.Decrypted && O.Fetch) {
                if (TPDFObject* Value = O.Fetch()) EncryptObjectStrings(Key, Value);
            }
        } catch (...) {
        }
    });
}

std::string TPDFSecurityHandler::EncryptionFingerprint() {
    EnsureExtracted();
    if (!FEncryption.DictionaryPresent) return {};
    TPDFFingerprint F;
    F.Encryption = FEncryption;
    if (TPDFArray* ID = GetID()) F.IDText = ID->Output();
    // The file key: the accepted one, else the last one computed.
    F.Key = IndObjEncKey.empty() ? EncryptionKey : IndObjEncKey;
    return BuildFingerprint(F);
}

bool TPDFSecurityHandler::EncryptWithFingerprint(std::string_view Fingerprint) {
    TPDFFingerprint F;
    if (!ParseFingerprint(Fingerprint, F)) return false;
    EncryptionKey = F.Key;
    TPDFDictionary* Trailer = FHost->SecurityTrailer();
    TPDFStructure* S = FHost->SecurityStructure();
    Trailer->DeleteEntryByKeyName("ID");
    Trailer->Add("ID", S->Decode(F.IDText));
    FEncryption.Algorithm = F.Encryption.Algorithm;
    TPDFArray* ID = GetID();
    if (ID && ID->Count() == 2) {
        ID->Delete(1);
        ID->Add(S->NewString(RandomBytes(16), smHex));
    }
    ApplyEncryption(F.Encryption);
    return true;
}

void TPDFSecurityHandler::ApplyEncryption(const TPDFEncryption& Rec) {
    ApplyEncryptionState(Rec, EncryptionKey);
    EncryptAllObjects();
    TPDFEncryptDictionaryValues V;
    V.V = Rec.V;
    V.R = Rec.R;
    V.Length = Rec.Length;
    V.O = OwnerKey;
    V.U = UserKey;
    V.P = static_cast<std::int32_t>(Rec.P);
    switch (FEncryptionStrength) {
        case esAES128Bit:
            V.CFM = "AESV2", V.CFLength = 16;
            break;
        case esAES256Bit:
        case esAES256BitAcroX:
            V.CFM = "AESV3", V.CFLength = 32;
            V.OE = Rec.OE, V.UE = Rec.UE, V.Perms = Rec.Perms;
            break;
        default:
            // RC4 needs a crypt filter only for version 4 dictionaries.
            if (FEncryptionStrength == es128Bit || Rec.V == 4)
                V.CFM = "V2", V.CFLength = Rec.Length / 8;
            break;
    }
    InstallEncryptDictionary(NewEncryptDictionary(V, true));
}

// ---------------------------------------------------------------------------
// Object walks

void TPDFSecurityHandler::DecryptIndirectValue(TPDFObject* Value, std::int32_t ObjNum,
                                               std::int32_t GenNum, bool& Decrypted) {
    if (!Value || Decrypted || !CanDecrypt()) return;
    Decrypted = true;
    const std::string Key = GetObjectKey(ObjNum, GenNum);
    if (!Key.empty()) DecryptObjectStrings(Key, Value);
}

void TPDFSecurityHandler::EncryptIndirectValue(TPDFObject* Value, std::int32_t ObjNum,
                                               std::int32_t GenNum, bool& Decrypted) {
    // Only an encrypted document's objects are ever written encrypted.
    if (!Decrypted || GetEncrypted() != peEncrypted) return;
    if (Value) EncryptObjectStrings(GetObjectKey(ObjNum, GenNum), Value);
    Decrypted = false;
}

void TPDFSecurityHandler::EncryptObjectStrings(const std::string& Key, TPDFObject* Obj) {
    CryptObject(Key, Obj, true);
}

void TPDFSecurityHandler::DecryptObjectStrings(const std::string& Key, TPDFObject* Obj) {
    if (!FIsUserPassword && !FIsOwnerPassword) return;
    CryptObject(Key, Obj, false);
}

void TPDFSecurityHandler::CryptObject(const std::string& Key, TPDFObject* Root, bool Encrypting) {
    if (!Root || Key.empty()) return;
    EnsureExtracted();
    const TPDFEncryptionAlgorithm Alg = FEncryption.Algorithm;
    auto Crypt = [&](std::string_view Data) {
        return Encrypting ? EncryptObjectData(Alg, Key, Data) : DecryptObjectData(Alg, Key, Data);
    };
    // A value reached twice (shared by two containers) is changed once.
    std::unordered_set<const TPDFObject*> Seen;
    struct Walker {
        const decltype(Crypt)& Cipher;
        std::unordered_set<const TPDFObject*>& Seen;
        bool EncryptMetadata;
        void Walk(TPDFObject* O, int Depth) {
            if (!O || Depth > kMaxObjectDepth || !Seen.insert(O).second) return;
            switch (O->SpyType) {
                case TPDFString::Tag: {
                    auto* S = static_cast<TPDFString*>(O);
                    S->SetTo(Cipher(S->AsString()));
                    break;
                }
                case TPDFArray::Tag:
                    for (TPDFObject* Item : static_cast<TPDFArray*>(O)->LiveItems())
                        Walk(Item, Depth + 1);
                    break;
                case TPDFDictionary::Tag: {
                    auto* D = static_cast<TPDFDictionary*>(O);
                    // The signed bytes of a signature are its /Contents as
                    // written; they are never encrypted.
                    TPDFObject* Skip = IsSignatureDictionary(D)
                                           ? D->FindValueByKeyName("Contents", false)
                                           : nullptr;
                    for (const TPDFEntry& E : D->GetEntries())
                        if (E.Value != Skip || !ObjAs<TPDFString>(Skip)) Walk(E.Value, Depth + 1);
                    break;
                }
                case TPDFStream::Tag: {
                    auto* S = static_cast<TPDFStream*>(O);
                    TPDFDictionary* D = S->Dictionary();
                    const std::string Type = D ? D->DictType() : std::string();
                    // Cross-reference streams are never encrypted, and the
                    // metadata stream not when the dictionary says so.
                    if (Type == "XRef") return;
                    if (!(Type == "Metadata" && !EncryptMetadata))
                        S->SetStream(Cipher(S->Stream()));
                    Walk(D, Depth + 1);
                    break;
                }
                default:
                    break;
            }
        }
    } W{Crypt, Seen, FEncryption.EncryptMetadata};
    W.Walk(Root, 0);
}

}  // namespace velmo
