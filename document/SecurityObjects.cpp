// The security handler's work on the document's objects: reading the
// /Encrypt dictionary, the object walks, encrypting and decrypting a whole
// document, and the encryption fingerprint.
#include <algorithm>
#include <cmath>
#include <optional>
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

// A number entry as a 64-bit integer; none when missing or not a number.
std::optional<std::int64_t> NumberValue(TPDFDictionary* D, std::string_view Key) {
    auto* N = ObjAs<TPDFNumeric>(D->FindValueByKeyName(Key, true));
    if (!N) return std::nullopt;
    const double V = N->AsDouble();
    if (!std::isfinite(V) || V > 1e9 || V < -1e9) return std::nullopt;
    return static_cast<std::int64_t>(V);
}

// The method of one crypt filter dictionary of /CF; a missing /CFM is
// /None, data the handler leaves alone.
TPDFCryptMethod FilterMethod(TPDFDictionary* F) {
    if (!F) return cmIdentity;
    const std::string CFM = NameValue(F, "CFM");
    if (CFM.empty() || CFM == "None") return cmIdentity;
    if (CFM == "V2") return cmRC4;
    if (CFM == "AESV2") return cmAESV2;
    if (CFM == "AESV3") return cmAESV3;
    return cmUnknown;
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
    // Version 4 and 5: a named crypt filter per class of data. A name that
    // /CF does not define, like /Identity, leaves that class in clear.
    auto* CF = ObjAs<TPDFDictionary>(D->FindValueByKeyName("CF", true));
    auto FilterDict = [&](std::string_view Name) -> TPDFDictionary* {
        if (!CF || Name.empty() || Name == "Identity") return nullptr;
        return ObjAs<TPDFDictionary>(CF->FindValueByKeyName(Name, true));
    };
    auto ReadCryptFilters = [&] {
        FEncryption.CryptFilters = true;
        if (CF)
            for (const TPDFEntry& E : CF->GetEntries())
                if (E.Key)
                    if (auto* F =
                            ObjAs<TPDFDictionary>(CF->FindValueByKeyName(E.Key->Name(), true)))
                        FEncryption.Filters.emplace_back(E.Key->Name(), FilterMethod(F));
        const std::string StmF = NameValue(D, "StmF"), StrF = NameValue(D, "StrF");
        FEncryption.StmF = FilterMethod(FilterDict(StmF));
        FEncryption.StrF = FilterMethod(FilterDict(StrF));
        // Embedded files follow the streams unless /EFF names their own.
        FEncryption.EFF = D->FindIndexByKeyName("EFF") >= 0
                              ? FilterMethod(FilterDict(NameValue(D, "EFF")))
                              : FEncryption.StmF;
    };
    // The filter that decides the key: streams first, then strings, then
    // embedded files; clear classes need none.
    auto KeyFilter = [&]() -> TPDFDictionary* {
        for (const char* K : {"StmF", "StrF", "EFF"})
            if (TPDFDictionary* F = FilterDict(NameValue(D, K)); F && FilterMethod(F) != cmIdentity)
                return F;
        return nullptr;
    };
    const std::optional<std::int64_t> DictLength = NumberValue(D, "Length");
    if (Filter == "Standard") {
        if ((V == 1 || V == 2) && (R == 2 || R == 3)) {
            Take(false);
            // Version 1 keys are 40 bits whatever /Length says; version 2
            // keys 40 to 128 bits (revision 2 also tries 40).
            FEncryption.Length = V == 1 ? 40 : NormalizeRC4KeyBits(DictLength, 40);
            if (V == 2 && R == 2 && FEncryption.Length != 40) FEncryption.AltLength = 40;
            if (V == 2 && !DictLength) FEncryption.AltLength = 128;
        } else if (V == 4 && R == 4) {
            ReadEncryptMetadata();
            ReadCryptFilters();
            const TPDFCryptMethod Methods[] = {FEncryption.StmF, FEncryption.StrF, FEncryption.EFF};
            const bool Unknown =
                std::any_of(std::begin(Methods), std::end(Methods),
                            [](TPDFCryptMethod M) { return M == cmUnknown || M == cmAESV3; });
            if (!Unknown) {
                Take(false);
                TPDFDictionary* KF = KeyFilter();
                if (KF && FilterMethod(KF) == cmAESV2) {
                    FEncryption.Length = 128;
                    FEncryption.Algorithm = eaAES128;
                    FEncryptionStrength = esAES128Bit;
                } else {
                    // RC4 (or nothing encrypted): the filter's length, else
                    // the dictionary's, else 40 bits.
                    const std::optional<std::int64_t> FL =
                        KF ? NumberValue(KF, "Length") : std::nullopt;
                    FEncryption.Length = NormalizeRC4KeyBits(FL ? FL : DictLength, 40);
                    if (!FL && !DictLength) FEncryption.AltLength = 128;
                }
            }
        } else if (V == 5 && (R == 5 || R == 6)) {
            // The metadata exception applies to every crypt filter version.
            ReadEncryptMetadata();
            ReadCryptFilters();
            const TPDFCryptMethod Methods[] = {FEncryption.StmF, FEncryption.StrF, FEncryption.EFF};
            const bool Unknown =
                std::any_of(std::begin(Methods), std::end(Methods),
                            [](TPDFCryptMethod M) { return M != cmIdentity && M != cmAESV3; });
            if (!Unknown) {
                Take(true);
                FEncryption.Length = 256;
                FEncryption.Algorithm = eaAES256;
                FEncryptionStrength = R == 5 ? esAES256Bit : esAES256BitAcroX;
            }
        }
    }
    if (FEncryption.V == 0) {
        // Not a form the handler can apply: nothing of it is kept.
        FEncryption.CryptFilters = false;
        FEncryption.Filters.clear();
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
    FOpenedWithoutKey = false;
    FDecryptFailures = 0;
    SetPassword(u"");
    FUserPasswordBlank = FIsUserPassword;
    SetPassword(Password);
    FOwnerPasswordBlank = FIsOwnerPassword && FIsUserPassword;
    if (FIsUserPassword || FIsOwnerPassword) return true;
    // When only the embedded files are encrypted, everything else reads
    // without the key: the document opens and its attachments stay cipher
    // text.
    // (A file that opens with the empty password still refuses a wrong
    // non-empty one.)
    if (GetEncrypted() == peEncrypted && OnlyEmbeddedFilesEncrypted() && !FUserPasswordBlank) {
        FOpenedWithoutKey = true;
        return true;
    }
    return false;
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
            if (O.Decrypted && !*O.Decrypted && O.Fetch) {
                if (TPDFObject* Value = O.Fetch()) EncryptObject(O.ObjNum, O.GenNum, Value);
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
    DecryptObject(ObjNum, GenNum, Value);
}

void TPDFSecurityHandler::EncryptIndirectValue(TPDFObject* Value, std::int32_t ObjNum,
                                               std::int32_t GenNum, bool& Decrypted) {
    // Only an encrypted document's objects are ever written encrypted.
    if (!Decrypted || GetEncrypted() != peEncrypted) return;
    if (Value) EncryptObject(ObjNum, GenNum, Value);
    Decrypted = false;
}

void TPDFSecurityHandler::EncryptObjectStrings(const std::string& Key, TPDFObject* Obj) {
    CryptObject(Key, Obj, true);
}

void TPDFSecurityHandler::DecryptObjectStrings(const std::string& Key, TPDFObject* Obj) {
    if (!FIsUserPassword && !FIsOwnerPassword) return;
    CryptObject(Key, Obj, false);
}

namespace {

// Walks the strings and stream bodies of one object tree, each changed once
// (a value shared by two containers is reached twice). Strings go through
// StringCipher; a stream goes through StreamCipher, which returns false
// when the stream and its dictionary are to be left alone.
template <typename TString, typename TStream>
void WalkObjectData(TPDFObject* Root, TString&& StringCipher, TStream&& StreamCipher) {
    std::unordered_set<const TPDFObject*> Seen;
    struct Walker {
        TString& Str;
        TStream& Stm;
        std::unordered_set<const TPDFObject*>& Seen;
        void Walk(TPDFObject* O, int Depth) {
            if (!O || Depth > kMaxObjectDepth || !Seen.insert(O).second) return;
            switch (O->SpyType) {
                case TPDFString::Tag: {
                    auto* S = static_cast<TPDFString*>(O);
                    S->SetTo(Str(S->AsString()));
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
                    if (Stm(S)) Walk(S->Dictionary(), Depth + 1);
                    break;
                }
                default:
                    break;
            }
        }
    } W{StringCipher, StreamCipher, Seen};
    W.Walk(Root, 0);
}

// The stream's own /Crypt filter: its position in /Filter, -1 when none.
int CryptFilterIndex(TPDFDictionary* D) {
    TPDFObject* F = D->FindValueByKeyName("Filter", true);
    if (auto* N = ObjAs<TPDFName>(F)) return N->Name() == "Crypt" ? 0 : -1;
    if (auto* A = ObjAs<TPDFArray>(F)) {
        int I = 0;
        for (TPDFObject* Item : A->LiveItems()) {
            if (auto* N = ObjAs<TPDFName>(Item); N && N->Name() == "Crypt") return I;
            ++I;
        }
    }
    return -1;
}

}  // namespace

void TPDFSecurityHandler::CryptObject(const std::string& Key, TPDFObject* Root, bool Encrypting) {
    if (!Root || Key.empty()) return;
    EnsureExtracted();
    const TPDFEncryptionAlgorithm Alg = FEncryption.Algorithm;
    auto Crypt = [&](std::string_view Data) {
        return Encrypting ? EncryptObjectData(Alg, Key, Data) : DecryptObjectData(Alg, Key, Data);
    };
    const bool EncryptMetadata = FEncryption.EncryptMetadata;
    WalkObjectData(Root, Crypt, [&](TPDFStream* S) {
        TPDFDictionary* D = S->Dictionary();
        const std::string Type = D ? D->DictType() : std::string();
        // Cross-reference streams are never encrypted, and the metadata
        // stream not when the dictionary says so.
        if (Type == "XRef") return false;
        if (!(Type == "Metadata" && !EncryptMetadata)) S->SetStream(Crypt(S->Stream()));
        return true;
    });
}

TPDFCryptMethod TPDFSecurityHandler::StreamMethodOf(TPDFStream* S) const {
    TPDFDictionary* D = S->Dictionary();
    if (!D) return StreamMethod();
    if (FEncryption.CryptFilters) {
        // A stream with its own /Crypt filter names the filter in its
        // parameters; one that names none is in clear.
        if (const int I = CryptFilterIndex(D); I >= 0) {
            TPDFObject* P = D->FindValueByKeyName("DecodeParms", true);
            TPDFDictionary* Parms = nullptr;
            if (auto* A = ObjAs<TPDFArray>(P)) {
                if (I < A->Count()) Parms = ObjAs<TPDFDictionary>(A->GetItem(I));
                if (auto* Ref = ObjAs<TPDFIndRef>(Parms ? nullptr : A->GetItem(I)))
                    Parms = ObjAs<TPDFDictionary>(Ref->Obj());
            } else if (I == 0) {
                Parms = ObjAs<TPDFDictionary>(P);
            }
            const std::string Name = Parms ? NameValue(Parms, "Name") : std::string();
            return NamedFilterMethod(Name.empty() ? "Identity" : Name);
        }
        if (D->DictType() == "EmbeddedFile") return EmbeddedFileMethod();
    }
    return StreamMethod();
}

void TPDFSecurityHandler::CryptObjectByFilter(std::int32_t ObjNum, std::int32_t GenNum,
                                              TPDFObject* Root, bool Encrypting) {
    if (!Root) return;
    EnsureExtracted();
    if (ObjNum == FEncryption.DictionaryObjNum) return;
    // One key per method, made when first needed.
    std::string Keys[cmUnknown + 1];
    bool Made[cmUnknown + 1] = {};
    auto KeyOf = [&](TPDFCryptMethod M) -> const std::string& {
        if (!Made[M]) {
            // Without an accepted password only clear data is handled.
            if (!FOpenedWithoutKey) Keys[M] = GetObjectKey(ObjNum, GenNum, M);
            Made[M] = true;
        }
        return Keys[M];
    };
    auto Crypt = [&](TPDFCryptMethod M, std::string_view Data) {
        const std::string& Key = KeyOf(M);
        if (Key.empty() || M == cmIdentity || M == cmUnknown) return std::string(Data);
        if (Encrypting) return EncryptMethodData(M, Key, Data);
        bool Failed = false;
        std::string Plain = DecryptMethodData(M, Key, Data, &Failed);
        if (Failed) ++FDecryptFailures;
        return Plain;
    };
    const TPDFCryptMethod StrM = StringMethod();
    const bool EncryptMetadata = FEncryption.EncryptMetadata;
    WalkObjectData(
        Root, [&](std::string_view Data) { return Crypt(StrM, Data); },
        [&](TPDFStream* S) {
            TPDFDictionary* D = S->Dictionary();
            const std::string Type = D ? D->DictType() : std::string();
            if (Type == "XRef") return false;
            if (!(Type == "Metadata" && !EncryptMetadata))
                if (const TPDFCryptMethod M = StreamMethodOf(S); M != cmIdentity)
                    S->SetStream(Crypt(M, S->Stream()));
            return true;
        });
}

void TPDFSecurityHandler::EncryptObject(std::int32_t ObjNum, std::int32_t GenNum, TPDFObject* Obj) {
    CryptObjectByFilter(ObjNum, GenNum, Obj, true);
}

void TPDFSecurityHandler::DecryptObject(std::int32_t ObjNum, std::int32_t GenNum, TPDFObject* Obj) {
    if (!FIsUserPassword && !FIsOwnerPassword) return;
    CryptObjectByFilter(ObjNum, GenNum, Obj, false);
}

}  // namespace velmo
