#include "core/Ciphers.h"

#include <openssl/evp.h>

#include <cstdint>
#include <cstring>
#include <utility>

#include "core/Random.h"

namespace velmo {

namespace {

const EVP_CIPHER* CbcCipher(size_t KeyLength) {
    switch (KeyLength) {
        case 16:
            return EVP_aes_128_cbc();
        case 24:
            return EVP_aes_192_cbc();
        case 32:
            return EVP_aes_256_cbc();
        default:
            return nullptr;
    }
}

std::string RunCBC(std::string_view Key, std::string_view IV, std::string_view Data, int Enc) {
    const EVP_CIPHER* cipher = CbcCipher(Key.size());
    // Never produce output that the cipher did not write.
    if (Data.empty() || !cipher || IV.size() != 16 || Data.size() % 16 != 0 ||
        Data.size() > size_t(INT32_MAX))
        return {};
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (!ctx)
        return {};
    std::string out(Data.size(), '\0');
    int len = 0, tail = 0;
    bool ok = EVP_CipherInit_ex(ctx, cipher, nullptr,
                                reinterpret_cast<const unsigned char*>(Key.data()),
                                reinterpret_cast<const unsigned char*>(IV.data()), Enc) == 1 &&
              EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
              EVP_CipherUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &len,
                               reinterpret_cast<const unsigned char*>(Data.data()),
                               int(Data.size())) == 1 &&
              EVP_CipherFinal_ex(ctx, reinterpret_cast<unsigned char*>(out.data()) + len,
                                 &tail) == 1 &&
              size_t(len + tail) == Data.size();
    EVP_CIPHER_CTX_free(ctx);
    if (!ok)
        return {};
    return out;
}

}  // namespace

std::string AESEncryptCBC(std::string_view Key, std::string_view IV, std::string_view Data) {
    return RunCBC(Key, IV, Data, 1);
}

std::string AESEncryptCBCRaw(std::string_view Key, std::string_view IV, std::string_view Data) {
    return RunCBC(Key, IV, Data, 1);
}

std::string AESDecryptCBC(std::string_view Key, std::string_view IV, std::string_view Data) {
    return RunCBC(Key, IV, Data, 0);
}

std::string AESEncryptPadded(std::string_view Key, std::string_view Data) {
    // Four values below 2^31 - 1, each stored low byte first.
    std::string iv(16, '\0');
    for (int k = 0; k < 4; ++k) {
        uint32_t v = RandomBelow(0x7FFFFFFF);
        for (int b = 0; b < 4; ++b)
            iv[size_t(k * 4 + b)] = char((v >> (8 * b)) & 0xFF);
    }
    size_t n = 16 - Data.size() % 16;
    std::string padded;
    padded.reserve(Data.size() + n);
    padded.append(Data);
    padded.append(n, char(n));
    std::string body = AESEncryptCBC(Key, iv, padded);
    if (body.empty())
        return {};
    return iv + body;
}

std::string AESDecryptPadded(std::string_view Key, std::string_view Data) {
    if (Data.size() <= 16)
        return {};
    std::string plain = AESDecryptCBC(Key, Data.substr(0, 16), Data.substr(16));
    if (plain.empty())
        return {};
    size_t n = uint8_t(plain.back());
    if (n < 1 || n > 16 || n > plain.size())
        return {};
    for (size_t k = plain.size() - n; k < plain.size(); ++k)
        if (uint8_t(plain[k]) != n)
            return {};
    plain.resize(plain.size() - n);
    return plain;
}

std::string RC4Crypt(std::string_view Key, std::string_view Data) {
    if (Key.empty() || Data.empty())
        return {};
    uint8_t S[256];
    for (int i = 0; i < 256; ++i)
        S[i] = uint8_t(i);
    unsigned j = 0;
    for (size_t i = 0; i < 256; ++i) {
        j = (j + S[i] + uint8_t(Key[i % Key.size()])) & 0xFF;
        std::swap(S[i], S[j]);
    }
    std::string out(Data.size(), '\0');
    unsigned i = 0;
    j = 0;
    for (size_t k = 0; k < Data.size(); ++k) {
        i = (i + 1) & 0xFF;
        j = (j + S[i]) & 0xFF;
        std::swap(S[i], S[j]);
        out[k] = char(uint8_t(Data[k]) ^ S[(S[i] + S[j]) & 0xFF]);
    }
    return out;
}

}  // namespace velmo
