#include "document/SecurityCrypto.h"

#include "core/Ciphers.h"
#include "core/Digests.h"
#include "core/Random.h"

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
