#include "platform/crypto/CryptoApi.h"

#include <openssl/evp.h>

#include <cstring>

namespace velmo {

struct TCryptProvider {
    uint32_t type;
};

struct TCryptHashObject {
    uint32_t algid = 0;
    EVP_MD_CTX* ctx = nullptr;
    bool finished = false;
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
};

namespace {

const EVP_MD* DigestOf(uint32_t Algid) {
    switch (Algid) {
        case CALG_MD5:
            return EVP_md5();
        case CALG_SHA1:
            return EVP_sha1();
        case CALG_SHA_256:
            return EVP_sha256();
        case CALG_SHA_384:
            return EVP_sha384();
        case CALG_SHA_512:
            return EVP_sha512();
        default:
            return nullptr;
    }
}

bool PutParam(const void* Value, uint32_t Size, uint8_t* Data, uint32_t* DataLen) {
    if (!DataLen)
        return false;
    if (!Data) {
        *DataLen = Size;
        return true;
    }
    if (*DataLen < Size) {
        *DataLen = Size;
        return false;
    }
    std::memcpy(Data, Value, Size);
    *DataLen = Size;
    return true;
}

}  // namespace

bool CryptAcquireContextW(HCRYPTPROV* Prov, const char16_t* Container, const char16_t* Provider,
                          uint32_t ProvType, uint32_t Flags) {
    if (!Prov || Container || Provider || (ProvType != PROV_RSA_FULL && ProvType != PROV_RSA_AES))
        return false;
    *Prov = new TCryptProvider{ProvType};
    return true;
}

bool CryptReleaseContext(HCRYPTPROV Prov, uint32_t Flags) {
    if (!Prov)
        return false;
    delete Prov;
    return true;
}

bool CryptCreateHash(HCRYPTPROV Prov, uint32_t Algid, uintptr_t Key, uint32_t Flags,
                     HCRYPTHASH* Hash) {
    if (!Prov || !Hash || Key != 0)
        return false;
    const EVP_MD* md = DigestOf(Algid);
    if (!md)
        return false;
    auto* h = new TCryptHashObject;
    h->algid = Algid;
    h->ctx = EVP_MD_CTX_new();
    if (!h->ctx || EVP_DigestInit_ex(h->ctx, md, nullptr) != 1) {
        EVP_MD_CTX_free(h->ctx);
        delete h;
        return false;
    }
    *Hash = h;
    return true;
}

bool CryptHashData(HCRYPTHASH Hash, const void* Data, uint32_t DataLen, uint32_t Flags) {
    if (!Hash || Hash->finished || (DataLen > 0 && !Data))
        return false;
    return DataLen == 0 || EVP_DigestUpdate(Hash->ctx, Data, DataLen) == 1;
}

bool CryptGetHashParam(HCRYPTHASH Hash, uint32_t Param, uint8_t* Data, uint32_t* DataLen,
                       uint32_t Flags) {
    if (!Hash)
        return false;
    switch (Param) {
        case HP_ALGID:
            return PutParam(&Hash->algid, 4, Data, DataLen);
        case HP_HASHSIZE: {
            uint32_t size = uint32_t(EVP_MD_CTX_get_size(Hash->ctx));
            return PutParam(&size, 4, Data, DataLen);
        }
        case HP_HASHVAL:
            if (!Hash->finished) {
                if (!Data)  // length query before the value: nothing is finished yet
                    return PutParam(nullptr, uint32_t(EVP_MD_CTX_get_size(Hash->ctx)), nullptr,
                                    DataLen);
                if (EVP_DigestFinal_ex(Hash->ctx, Hash->value, &Hash->size) != 1)
                    return false;
                Hash->finished = true;
            }
            return PutParam(Hash->value, Hash->size, Data, DataLen);
        default:
            return false;
    }
}

bool CryptDestroyHash(HCRYPTHASH Hash) {
    if (!Hash)
        return false;
    EVP_MD_CTX_free(Hash->ctx);
    delete Hash;
    return true;
}

}  // namespace velmo
