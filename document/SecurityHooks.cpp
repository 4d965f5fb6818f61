// The points where the standard security handler plugs into the document:
// loading (passwords), the first use of each object (decryption) and the
// security operations of the document, all answered by TPDFSecurityHandler.
#include "document/Document.h"
#include "document/IndObj.h"

namespace velmo {

namespace {

// The document as the security handler sees it.
class TDocumentSecurityHost : public TPDFSecurityHost {
public:
    explicit TDocumentSecurityHost(TPDFDocument* ADoc) : Doc(ADoc) {}

    TPDFDictionary* SecurityTrailer() override { return Doc->FTrailer; }
    TPDFStructure* SecurityStructure() override { return Doc->FStructure.get(); }
    int32_t SecurityNewObjRef(TPDFObject* Obj) override {
        return Doc->AddIndObj(Obj, true)->FObjNum;
    }
    void SecurityForEachObject(const std::function<void(TPDFSecuredObject&)>& Visit) override {
        for (size_t i = 0; i < Doc->FIndObjList.size(); ++i) {
            TPDFIndObj* IO = Doc->FIndObjList[i].get();
            TPDFSecuredObject O;
            O.ObjNum = IO->FObjNum;
            O.GenNum = IO->FGenNum;
            O.Compact = IO->FCompact;
            O.Decrypted = &IO->FDecrypted;
            O.Fetch = [IO] { return IO->GetObj(); };
            Visit(O);
        }
    }
    void SecurityRemoveObject(int32_t ObjNum) override {
        TPDFIndObj* IO = Doc->FindObj(ObjNum, 0);
        if (IO && ObjAs<TPDFDictionary>(IO->FObj)) Doc->DeleteObj(IO->FObjNum, IO->FGenNum);
    }

    // Objects whose data went to the temporary file are read back during the
    // walk; the file is opened for it (never emptied) and closed after.
    void SecurityBeginObjectWalk() override {
        OpenedTempFile = Doc->HasTempFile() && !Doc->FMainFS && Doc->OpenTempFile();
    }
    void SecurityEndObjectWalk() override {
        if (OpenedTempFile) Doc->CloseTempFile();
        OpenedTempFile = false;
    }

private:
    TPDFDocument* Doc;
    bool OpenedTempFile = false;
};

}  // namespace

void TPDFIndObj::Decrypt() {
    FParent->Security().DecryptIndirectValue(FObj, FObjNum, FGenNum, FDecrypted);
}

void TPDFIndObj::Encrypt() {
    FParent->Security().EncryptIndirectValue(FObj, FObjNum, FGenNum, FDecrypted);
}

TPDFSecurityHandler& TPDFDocument::Security() {
    if (!FSecurity) {
        FSecurityHost = std::make_unique<TDocumentSecurityHost>(this);
        FSecurity = std::make_unique<TPDFSecurityHandler>();
        FSecurity->AttachHost(FSecurityHost.get());
    }
    return *FSecurity;
}

bool TPDFDocument::OpenEncrypted(const std::u16string& Password) {
    FSecurity.reset();
    TPDFSecurityHandler& H = Security();
    const bool Opened = H.OpenWithPassword(Password);
    FIsUserPassword = H.FIsUserPassword;
    FIsOwnerPassword = H.FIsOwnerPassword;
    FUserPasswordBlank = H.FUserPasswordBlank;
    FOwnerPasswordBlank = H.FOwnerPasswordBlank;
    return Opened;
}

bool TPDFDocument::CheckUserPassword(const std::u16string& Password) {
    return Security().CheckUserPassword(Password);
}

bool TPDFDocument::CheckOwnerPassword(const std::u16string& Password) {
    return Security().CheckOwnerPassword(Password);
}

TPDFArray* TPDFDocument::GetID() { return Security().GetID(); }
bool TPDFDocument::CanDecrypt() { return Security().CanDecrypt(); }
bool TPDFDocument::HasUserPassword() { return Security().HasUserPassword(); }
bool TPDFDocument::HasOwnerPassword() { return Security().HasOwnerPassword(); }
int32_t TPDFDocument::EncryptionStrength() { return Security().EncryptionStrength(); }
int32_t TPDFDocument::EncryptionAlgorithm() { return Security().EncryptionAlgorithm(); }
bool TPDFDocument::EncryptionAcroX() { return Security().EncryptionAcroX(); }
TPDFEncrypted TPDFDocument::GetEncrypted() { return Security().GetEncrypted(); }

uint32_t TPDFDocument::PermissionsKey() {
    Security().GetEncrypted();
    return Security().PermKey;
}

bool TPDFDocument::Encrypt(const std::string& Owner, const std::string& User,
                           TPDFEncryptionStrength Strength, TPDFPermissions Perm,
                           TPDFExtraPermissions ExtraPerm) {
    const bool R = Security().EncryptDocument(Owner, User, Strength, Perm, ExtraPerm);
    FIsUserPassword = Security().FIsUserPassword;
    FIsOwnerPassword = Security().FIsOwnerPassword;
    FUserPasswordBlank = Security().FUserPasswordBlank;
    FOwnerPasswordBlank = Security().FOwnerPasswordBlank;
    return R;
}

bool TPDFDocument::Decrypt() { return Security().DecryptDocument(); }

std::string TPDFDocument::EncryptionFingerprint() { return Security().EncryptionFingerprint(); }

bool TPDFDocument::EncryptWithFingerprint(const std::string& Fingerprint) {
    return Security().EncryptWithFingerprint(Fingerprint);
}

}  // namespace velmo
