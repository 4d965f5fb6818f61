#include "core/Digests.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
#include <vector>

#include "platform/crypto/CryptoApi.h"

namespace velmo {

TDCP_evphash::~TDCP_evphash() { EVP_MD_CTX_free(FContext); }

void TDCP_evphash::Burn() {
    if (FContext)
        EVP_MD_CTX_reset(FContext);
    fInitialized = false;
}

void TDCP_evphash::InitWith(const EVP_MD* Md) {
    Burn();
    if (!FContext)
        FContext = EVP_MD_CTX_new();
    if (!FContext || EVP_DigestInit_ex(FContext, Md, nullptr) != 1)
        throw std::bad_alloc();
    fInitialized = true;
}

void TDCP_evphash::Update(const void* Buffer, size_t Size) {
    if (!fInitialized)
        throw EDCP_hash();
    if (Size > 0)
        EVP_DigestUpdate(FContext, Buffer, Size);
}

void TDCP_evphash::Final(void* Digest) {
    if (!fInitialized)
        throw EDCP_hash();
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_DigestFinal_ex(FContext, out, &len);
    std::copy_n(out, std::min<size_t>(len, HashSize()), static_cast<unsigned char*>(Digest));
    OPENSSL_cleanse(out, sizeof out);
    Burn();
}

void TDCP_sha256::Init() { InitWith(EVP_sha256()); }
void TDCP_sha384::Init() { InitWith(EVP_sha384()); }
void TDCP_sha512::Init() { InitWith(EVP_sha512()); }

namespace {

template <class THash, class TDigest>
void OneShot(std::string_view Data, TDigest& Digest) {
    THash h;
    h.Init();
    if (!Data.empty())
        h.Update(Data.data(), Data.size());
    h.Final(Digest.data());
}

}  // namespace

void SHA256OfBytes(std::string_view Data, TSHA256Digest& Digest) {
    OneShot<TDCP_sha256>(Data, Digest);
}
void SHA384OfBytes(std::string_view Data, TSHA384Digest& Digest) {
    OneShot<TDCP_sha384>(Data, Digest);
}
void SHA512OfBytes(std::string_view Data, TSHA512Digest& Digest) {
    OneShot<TDCP_sha512>(Data, Digest);
}

TMD5Digest MD5OfString(std::string_view S) {
    TMD5Digest d{};
    unsigned int len = 0;
    EVP_Digest(S.data(), S.size(), d.data(), &len, EVP_md5(), nullptr);
    return d;
}

std::string MD5OfStream(TStream& Stream) {
    Stream.Seek(0, soBeginning);
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    if (!ctx || EVP_DigestInit_ex(ctx, EVP_md5(), nullptr) != 1) {
        EVP_MD_CTX_free(ctx);
        return {};
    }
    // Digest piece by piece rather than loading the stream.
    std::vector<char> buf(1 << 16);
    int64_t total = 0;
    for (;;) {
        int64_t n = Stream.Read(buf.data(), int64_t(buf.size()));
        if (n <= 0)
            break;
        EVP_DigestUpdate(ctx, buf.data(), size_t(n));
        total += n;
    }
    std::string out;
    unsigned char d[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (EVP_DigestFinal_ex(ctx, d, &len) == 1 && total > 0)
        out.assign(reinterpret_cast<char*>(d), len);
    EVP_MD_CTX_free(ctx);
    return out;
}

std::string MD5DigestToHex(const TMD5Digest& Digest) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string s;
    s.reserve(32);
    for (uint8_t b : Digest) {
        s += kHex[b >> 4];
        s += kHex[b & 15];
    }
    return s;
}

std::string MD5DigestToString(const TMD5Digest& Digest) {
    return std::string(reinterpret_cast<const char*>(Digest.data()), Digest.size());
}

std::string SHA1OfStreamRanges(TStream& Stream, int64_t Length1, int64_t Start2, int64_t Length2) {
    std::string result;
    if (Length1 < 0 || Start2 < 0 || Length2 < 0)
        return result;
    HCRYPTPROV prov = nullptr;
    if (!CryptAcquireContextW(&prov, nullptr, nullptr, PROV_RSA_FULL,
                              CRYPT_VERIFYCONTEXT | CRYPT_MACHINE_KEYSET))
        return result;
    HCRYPTHASH hash = nullptr;
    if (!CryptCreateHash(prov, CALG_SHA1, 0, 0, &hash)) {
        CryptReleaseContext(prov, 0);
        return result;
    }
    // The ranges cover a whole signed file: feed them in pieces.
    constexpr int64_t kPiece = 8000;
    char buf[kPiece];
    bool ok = true;
    auto feed = [&](int64_t start, int64_t length) {
        if (Stream.Seek(start, soBeginning) != start)
            ok = false;
        while (ok && length > 0) {
            int64_t n = std::min(length, kPiece);
            // A range that runs past the stream cannot give the signed digest.
            if (Stream.Read(buf, n) != n || !CryptHashData(hash, buf, uint32_t(n), 0))
                ok = false;
            length -= n;
        }
    };
    feed(0, Length1);
    if (Length2 > 0)
        feed(Start2, Length2);
    if (ok) {
        uint8_t value[20];
        uint32_t len = sizeof value;
        if (CryptGetHashParam(hash, HP_HASHVAL, value, &len, 0) && len == 20)
            result.assign(reinterpret_cast<char*>(value), 20);
    }
    CryptDestroyHash(hash);
    CryptReleaseContext(prov, 0);
    return result;
}

}  // namespace velmo
