// Byte-string ciphers: AES in CBC mode (raw, and in the PDF convention of a
// random 16-byte IV prefix with PKCS#7 padding) and RC4. AES keys of 16, 24
// or 32 bytes select AES-128, -192 or -256.
#pragma once

#include <string>
#include <string_view>

namespace velmo {

// CBC encryption of Data under Key from IV (16 bytes), no padding. Empty when
// Data is empty, or when Key, IV or Data have a length the cipher cannot
// take (Data must be whole 16-byte blocks).
std::string AESEncryptCBC(std::string_view Key, std::string_view IV, std::string_view Data);
// The same operation, under the name the revision-6 password hash uses.
std::string AESEncryptCBCRaw(std::string_view Key, std::string_view IV, std::string_view Data);
// CBC decryption, no padding removed; empty under the same conditions.
std::string AESDecryptCBC(std::string_view Key, std::string_view IV, std::string_view Data);

// A fresh random IV followed by the CBC encryption of Data with PKCS#7
// padding: 16 + a multiple of 16 bytes, at least 32.
std::string AESEncryptPadded(std::string_view Key, std::string_view Data);
// The plain text of IV + cipher text, padding removed; empty when the data is
// too short, not whole blocks, or badly padded.
std::string AESDecryptPadded(std::string_view Key, std::string_view Data);

// RC4 key stream XOR Data; the same call encrypts and decrypts. Empty when
// Key or Data is empty.
std::string RC4Crypt(std::string_view Key, std::string_view Data);

}  // namespace velmo
