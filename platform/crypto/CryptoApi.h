// The cryptographic-service calls the engine makes for hashing, over
// OpenSSL's EVP digests. A provider context is only a token here; a hash
// object holds one EVP digest context. Once its value has been read the hash
// is finished and takes no more data, as the service prescribes.
#pragma once

#include <cstdint>

namespace velmo {

using HCRYPTPROV = struct TCryptProvider*;
using HCRYPTHASH = struct TCryptHashObject*;

constexpr uint32_t PROV_RSA_FULL = 1;
constexpr uint32_t PROV_RSA_AES = 24;
constexpr uint32_t CRYPT_VERIFYCONTEXT = 0xF0000000u;
constexpr uint32_t CRYPT_MACHINE_KEYSET = 0x20;

constexpr uint32_t CALG_MD5 = 0x8003;
constexpr uint32_t CALG_SHA1 = 0x8004;
constexpr uint32_t CALG_SHA_256 = 0x800C;
constexpr uint32_t CALG_SHA_384 = 0x800D;
constexpr uint32_t CALG_SHA_512 = 0x800E;

constexpr uint32_t HP_ALGID = 1;
constexpr uint32_t HP_HASHVAL = 2;
constexpr uint32_t HP_HASHSIZE = 4;

// Container and Provider must be null (no key containers are kept).
bool CryptAcquireContextW(HCRYPTPROV* Prov, const char16_t* Container, const char16_t* Provider,
                          uint32_t ProvType, uint32_t Flags);
bool CryptReleaseContext(HCRYPTPROV Prov, uint32_t Flags);
// Key must be 0 (no keyed hashes).
bool CryptCreateHash(HCRYPTPROV Prov, uint32_t Algid, uintptr_t Key, uint32_t Flags,
                     HCRYPTHASH* Hash);
bool CryptHashData(HCRYPTHASH Hash, const void* Data, uint32_t DataLen, uint32_t Flags);
// HP_HASHVAL: the digest (finishes the hash; may be asked again);
// HP_HASHSIZE: its length as a 4-byte value; HP_ALGID: the algorithm id.
// Data null asks for the length only; a buffer that is too small fails and
// reports the length needed.
bool CryptGetHashParam(HCRYPTHASH Hash, uint32_t Param, uint8_t* Data, uint32_t* DataLen,
                       uint32_t Flags);
bool CryptDestroyHash(HCRYPTHASH Hash);

}  // namespace velmo
