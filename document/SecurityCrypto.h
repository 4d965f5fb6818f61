// Digests, ciphers, random bytes and password conversions in the form the
// security handler uses them: byte strings in, byte strings out.
#pragma once

#include <string>
#include <string_view>

namespace velmo::seccrypto {

std::string MD5OfString(std::string_view s);
std::string SHA256OfBytes(std::string_view s);
std::string SHA384OfBytes(std::string_view s);
std::string SHA512OfBytes(std::string_view s);
std::string RC4Crypt(std::string_view key, std::string_view data);
std::string AESEncryptCBC(std::string_view key, std::string_view iv, std::string_view data);
std::string AESEncryptCBCRaw(std::string_view key, std::string_view iv, std::string_view data);
std::string AESDecryptCBC(std::string_view key, std::string_view iv, std::string_view data);
std::string AESEncryptPadded(std::string_view key, std::string_view data);
std::string AESDecryptPadded(std::string_view key, std::string_view data);
std::string RandomBytes(std::size_t n);
std::string WideToUTF8Bytes(const std::u16string& s);
std::string WideToAnsiBytes(const std::u16string& s);

}  // namespace velmo::seccrypto
