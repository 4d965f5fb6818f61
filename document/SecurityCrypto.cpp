#include "document/SecurityCrypto.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <stdexcept>

namespace velmo::seccrypto {

namespace {

std::string Digest(const EVP_MD* md, std::string_view s) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned len = 0;
    EVP_Digest(s.data(), s.size(), out, &len, md, nullptr);
    return std::string(reinterpret_cast<char*>(out), len);
}

const EVP_CIPHER* CbcFor(std::size_t keyLen) {
    switch (keyLen) {
        case 16: return EVP_aes_128_cbc();
        case 24: return EVP_aes_192_cbc();
        case 32: return EVP_aes_256_cbc();
        default: return nullptr;
    }
}

std::string Cbc(bool enc, std::string_view key, std::string_view iv, std::string_view data) {
    const EVP_CIPHER* c = CbcFor(key.size());
    if (!c || data.empty() || data.size() % 16 != 0 || iv.size() < 16) return {};
    std::string out(data.size(), '\0');
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int l = 0;
    EVP_CipherInit_ex(ctx, c, nullptr, reinterpret_cast<const unsigned char*>(key.data()),
                      reinterpret_cast<const unsigned char*>(iv.data()), enc ? 1 : 0);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_CipherUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &l,
                     reinterpret_cast<const unsigned char*>(data.data()),
                     static_cast<int>(data.size()));
    EVP_CIPHER_CTX_free(ctx);
    return out;
}

}  // namespace

std::string MD5OfString(std::string_view s) { return Digest(EVP_md5(), s); }
std::string SHA256OfBytes(std::string_view s) { return Digest(EVP_sha256(), s); }
std::string SHA384OfBytes(std::string_view s) { return Digest(EVP_sha384(), s); }
std::string SHA512OfBytes(std::string_view s) { return Digest(EVP_sha512(), s); }

std::string RC4Crypt(std::string_view key, std::string_view data) {
    unsigned char S[256];
    for (int i = 0; i < 256; ++i) S[i] = static_cast<unsigned char>(i);
    if (key.empty()) return std::string(data);
    unsigned j = 0;
    for (unsigned i = 0; i < 256; ++i) {
        j = (j + S[i] + static_cast<unsigned char>(key[i % key.size()])) & 0xFF;
        std::swap(S[i], S[j]);
    }
    std::string out(data);
    unsigned i = 0;
    j = 0;
    for (char& c : out) {
        i = (i + 1) & 0xFF;
        j = (j + S[i]) & 0xFF;
        std::swap(S[i], S[j]);
        c = static_cast<char>(static_cast<unsigned char>(c) ^ S[(S[i] + S[j]) & 0xFF]);
    }
    return out;
}

std::string AESEncryptCBC(std::string_view key, std::string_view iv, std::string_view data) {
    return Cbc(true, key, iv, data);
}
std::string AESEncryptCBCRaw(std::string_view key, std::string_view iv, std::string_view data) {
    return Cbc(true, key, iv, data);
}
std::string AESDecryptCBC(std::string_view key, std::string_view iv, std::string_view data) {
    return Cbc(false, key, iv, data);
}

std::string AESEncryptPadded(std::string_view key, std::string_view data) {
    std::string iv = RandomBytes(16);
    std::string padded(data);
    const std::size_t n = 16 - data.size() % 16;
    padded.append(n, static_cast<char>(n));
    return iv + Cbc(true, key, iv, padded);
}

std::string AESDecryptPadded(std::string_view key, std::string_view data) {
    if (data.size() <= 16) return {};
    std::string plain = Cbc(false, key, data.substr(0, 16), data.substr(16));
    if (plain.empty()) return {};
    const unsigned n = static_cast<unsigned char>(plain.back());
    if (n < 1 || n > 16 || n > plain.size()) return {};
    for (std::size_t k = plain.size() - n; k < plain.size(); ++k)
        if (static_cast<unsigned char>(plain[k]) != n) return {};
    plain.resize(plain.size() - n);
    return plain;
}

std::string RandomBytes(std::size_t n) {
    std::string s(n, '\0');
    if (n && RAND_bytes(reinterpret_cast<unsigned char*>(s.data()), static_cast<int>(n)) != 1)
        throw std::runtime_error("random generator failed");
    return s;
}

std::string WideToUTF8Bytes(const std::u16string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string WideToAnsiBytes(const std::u16string& s) {
    // Windows-1252 for the characters 80-9F; Latin-1 above.
    static const char16_t k80[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    std::string out;
    out.reserve(s.size());
    for (char16_t c : s) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out += static_cast<char>(c);
            continue;
        }
        char r = '?';
        for (int k = 0; k < 32; ++k)
            if (k80[k] == c) r = static_cast<char>(0x80 + k);
        out += r;
    }
    return out;
}

}  // namespace velmo::seccrypto
