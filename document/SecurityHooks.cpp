// The points where the standard security handler plugs into loading and
// object parsing. Until it is wired in, an encrypted file is treated as
// opened with a wrong password and no object is ever decrypted.
#include "document/Document.h"
#include "document/IndObj.h"

namespace velmo {

void TPDFIndObj::Decrypt() {}

bool TPDFDocument::OpenEncrypted(const std::u16string& Password) {
    (void)Password;
    FIsUserPassword = false;
    FIsOwnerPassword = false;
    return false;
}

}  // namespace velmo
