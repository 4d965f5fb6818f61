// Message digests: SHA-256, SHA-384 and SHA-512 as a small class family with
// one-shot helpers, MD5 over byte strings and streams, and SHA-1 over two
// byte ranges of a stream (the signed ranges of a file). All of them are
// computed by OpenSSL.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/files/Stream.h"

typedef struct evp_md_ctx_st EVP_MD_CTX;
typedef struct evp_md_st EVP_MD;

namespace velmo {

// Raised by Update and Final on an object that is not initialised.
class EDCP_hash : public std::runtime_error {
public:
    EDCP_hash() : std::runtime_error("Hash not initialized") {}
};

// Base of the SHA-2 digests. Use: Init, any number of Update, Final (which
// burns the state; Init again before the next message).
class TDCP_hash {
public:
    virtual ~TDCP_hash() = default;
    virtual void Init() = 0;
    // Writes the digest (HashSize() bytes) to Digest, then burns the state.
    virtual void Final(void* Digest) = 0;
    // Forgets the message and clears fInitialized.
    virtual void Burn() = 0;
    virtual void Update(const void* Buffer, size_t Size) = 0;
    virtual size_t HashSize() const = 0;

    bool Initialized() const { return fInitialized; }

protected:
    bool fInitialized = false;
};

// The shared body of the SHA-2 classes: one OpenSSL digest context.
class TDCP_evphash : public TDCP_hash {
public:
    ~TDCP_evphash() override;
    void Burn() override;
    void Update(const void* Buffer, size_t Size) override;
    void Final(void* Digest) override;

protected:
    void InitWith(const EVP_MD* Md);
    EVP_MD_CTX* FContext = nullptr;
};

class TDCP_sha256 : public TDCP_evphash {
public:
    void Init() override;
    size_t HashSize() const override { return 32; }
};

class TDCP_sha512base : public TDCP_evphash {};

class TDCP_sha384 : public TDCP_sha512base {
public:
    void Init() override;
    size_t HashSize() const override { return 48; }
};

class TDCP_sha512 : public TDCP_sha512base {
public:
    void Init() override;
    size_t HashSize() const override { return 64; }
};

using TSHA256Digest = std::array<uint8_t, 32>;
using TSHA384Digest = std::array<uint8_t, 48>;
using TSHA512Digest = std::array<uint8_t, 64>;
using TMD5Digest = std::array<uint8_t, 16>;

// One-shot digests of a byte array.
void SHA256OfBytes(std::string_view Data, TSHA256Digest& Digest);
void SHA384OfBytes(std::string_view Data, TSHA384Digest& Digest);
void SHA512OfBytes(std::string_view Data, TSHA512Digest& Digest);

// MD5 of the bytes of S.
TMD5Digest MD5OfString(std::string_view S);
// MD5 of the whole stream (from position 0) as 16 raw bytes; empty for an
// empty stream.
std::string MD5OfStream(TStream& Stream);
// 32 lower-case hexadecimal digits.
std::string MD5DigestToHex(const TMD5Digest& Digest);
// The 16 raw bytes.
std::string MD5DigestToString(const TMD5Digest& Digest);

// SHA-1 (20 raw bytes) of Length1 bytes from offset 0 followed by Length2
// bytes from offset Start2; empty when a range cannot be read whole or the
// digest cannot be made.
std::string SHA1OfStreamRanges(TStream& Stream, int64_t Length1, int64_t Start2, int64_t Length2);

}  // namespace velmo
