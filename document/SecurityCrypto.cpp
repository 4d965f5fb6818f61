#include "document/SecurityCrypto.h"

#include "core/Ciphers.h"
#include "core/Digests.h"
#include "core/Random.h"
#include "core/StringHelpers.h"
#include "core/Unicode.h"

namespace velmo::seccrypto {

namespace {

template <class D>
std::string AsString(const D& Digest) {
    return std::string(reinterpret_cast<const char*>(Digest.data()), Digest.size());
}

}  // namespace

std::string MD5OfString(std::string_view s) { return AsString(velmo::MD5OfString(s)); }

std::string SHA256OfBytes(std::string_view s) {
    TSHA256Digest d;
    velmo::SHA256OfBytes(s, d);
    return AsString(d);
}

std::string SHA384OfBytes(std::string_view s) {
    TSHA384Digest d;
    velmo::SHA384OfBytes(s, d);
    return AsString(d);
}

std::string SHA512OfBytes(std::string_view s) {
    TSHA512Digest d;
    velmo::SHA512OfBytes(s, d);
    return AsString(d);
}

std::string RC4Crypt(std::string_view key, std::string_view data) {
    return velmo::RC4Crypt(key, data);
}

std::string AESEncryptCBC(std::string_view key, std::string_view iv, std::string_view data) {
    return velmo::AESEncryptCBC(key, iv, data);
}

std::string AESEncryptCBCRaw(std::string_view key, std::string_view iv, std::string_view data) {
    return velmo::AESEncryptCBCRaw(key, iv, data);
}

std::string AESDecryptCBC(std::string_view key, std::string_view iv, std::string_view data) {
    return velmo::AESDecryptCBC(key, iv, data);
}

std::string AESEncryptPadded(std::string_view key, std::string_view data) {
    return velmo::AESEncryptPadded(key, data);
}

std::string AESDecryptPadded(std::string_view key, std::string_view data) {
    return velmo::AESDecryptPadded(key, data);
}

std::string RandomBytes(std::size_t n) { return velmo::RandomBytes(n); }

std::string WideToUTF8Bytes(const std::u16string& s) { return velmo::WideToUTF8(s); }

std::string WideToAnsiBytes(const std::u16string& s) { return velmo::WideToAnsiACP(s); }

}  // namespace velmo::seccrypto
