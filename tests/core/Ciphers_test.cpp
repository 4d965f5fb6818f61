#include "core/Ciphers.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>

#include "tests/support/Hex.h"

using namespace velmo;
using vpltest::FromHex;
using vpltest::ToHex;

namespace {

const std::string kIV = FromHex("000102030405060708090a0b0c0d0e0f");
const std::string kPlain = FromHex(
    "6bc1bee22e409f96e93d7e117393172a ae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52ef f69f2445df4f9b17ad2b417be66c3710");

}  // namespace

TEST(Ciphers, AesCbcMatchesSp800_38A) {
    struct {
        const char* key;
        const char* cipher;
    } vectors[] = {
        {"2b7e151628aed2a6abf7158809cf4f3c",
         "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
         "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7"},
        {"8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b",
         "4f021db243bc633d7178183a9fa071e8b4d9ada9ad7dedf4e5e738763f69145a"
         "571b242012fb7ae07fa9baac3df102e008b0e27988598881d920a9e64f5615cd"},
        {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
         "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
         "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b"},
    };
    for (const auto& v : vectors) {
        std::string key = FromHex(v.key);
        SCOPED_TRACE(key.size() * 8);
        EXPECT_EQ(ToHex(AESEncryptCBC(key, kIV, kPlain)), v.cipher);
        EXPECT_EQ(ToHex(AESEncryptCBCRaw(key, kIV, kPlain)), v.cipher);
        EXPECT_EQ(AESDecryptCBC(key, kIV, FromHex(v.cipher)), kPlain);
        // One block at a time, chained through the last cipher block.
        std::string iv = kIV, joined;
        for (size_t at = 0; at < kPlain.size(); at += 16) {
            std::string block = AESEncryptCBC(key, iv, kPlain.substr(at, 16));
            joined += block;
            iv = block;
        }
        EXPECT_EQ(ToHex(joined), v.cipher);
    }
}

TEST(Ciphers, AesCbcRefusesWhatItCannotEncrypt) {
    std::string key(16, 'k');
    EXPECT_EQ(AESEncryptCBC(key, kIV, ""), "");
    EXPECT_EQ(AESDecryptCBC(key, kIV, ""), "");
    EXPECT_EQ(AESEncryptCBC(key, kIV, std::string(15, 'x')), "");  // not whole blocks
    EXPECT_EQ(AESDecryptCBC(key, kIV, std::string(17, 'x')), "");
    EXPECT_EQ(AESEncryptCBC(std::string(15, 'k'), kIV, std::string(16, 'x')), "");  // key length
    EXPECT_EQ(AESEncryptCBC(key, kIV.substr(0, 8), std::string(16, 'x')), "");     // IV length
}

TEST(Ciphers, AesPaddedRoundTripAndLayout) {
    for (size_t keyLen : {16, 32}) {
        std::string key(keyLen, '\x5a');
        for (size_t n = 0; n <= 64; ++n) {
            std::string plain;
            for (size_t i = 0; i < n; ++i)
                plain += char(i * 13 + n);
            std::string c = AESEncryptPadded(key, plain);
            ASSERT_EQ(c.size(), 16 + (n / 16 + 1) * 16) << n;
            // The IV is four 31-bit values stored low byte first.
            for (int k = 3; k < 16; k += 4)
                EXPECT_EQ(uint8_t(c[size_t(k)]) & 0x80, 0);
            EXPECT_EQ(AESDecryptPadded(key, c), plain) << n;
            // The padding is PKCS#7: decrypting without removing it shows it.
            std::string raw = AESDecryptCBC(key, c.substr(0, 16), c.substr(16));
            size_t pad = 16 - n % 16;
            EXPECT_EQ(raw.substr(n), std::string(pad, char(pad)));
        }
    }
    // The empty plain text: IV plus one block of sixteen 16s.
    std::string key(16, '\x01');
    std::string c = AESEncryptPadded(key, "");
    ASSERT_EQ(c.size(), 32u);
    EXPECT_EQ(AESDecryptCBC(key, c.substr(0, 16), c.substr(16)), std::string(16, '\x10'));
}

TEST(Ciphers, AesPaddedIVsDiffer) {
    std::string key(16, 'k');
    std::set<std::string> ivs;
    for (int i = 0; i < 100; ++i)
        ivs.insert(AESEncryptPadded(key, "same").substr(0, 16));
    EXPECT_EQ(ivs.size(), 100u);
}

TEST(Ciphers, AesDecryptPaddedRejectsBadPadding) {
    std::string key(16, 'q');
    auto withLastBlock = [&](std::string plainBlock) {
        return kIV + AESEncryptCBC(key, kIV, plainBlock);
    };
    std::string body(15, 'a');
    EXPECT_EQ(AESDecryptPadded(key, withLastBlock(body + '\x00')), "");
    EXPECT_EQ(AESDecryptPadded(key, withLastBlock(body + '\x11')), "");
    EXPECT_EQ(AESDecryptPadded(key, withLastBlock(std::string(13, 'a') + "\x02\x03\x03")), "");
    EXPECT_EQ(AESDecryptPadded(key, withLastBlock(std::string(13, 'a') + "\x03\x03\x03")),
              std::string(13, 'a'));
    EXPECT_EQ(AESDecryptPadded(key, withLastBlock(std::string(16, '\x10'))), "");
    EXPECT_EQ(AESDecryptPadded(key, kIV), "");  // 16 bytes: no body
    EXPECT_EQ(AESDecryptPadded(key, "short"), "");
    EXPECT_EQ(AESDecryptPadded(key, kIV + std::string(20, 'x')), "");  // not whole blocks
}

// Hostile input: random data of 0..100 bytes gives the plain text or an
// empty result, never a fault (the sanitizers watch every call).
TEST(Ciphers, AesDecryptPaddedRandomInputs) {
    std::mt19937 rng(12345);
    std::string key16(16, '\x33'), key32(32, '\x44');
    int accepted = 0;
    for (int i = 0; i < 10000; ++i) {
        size_t n = rng() % 101;
        std::string data(n, '\0');
        for (auto& c : data)
            c = char(rng());
        std::string out = AESDecryptPadded(i % 2 ? key16 : key32, data);
        if (!out.empty()) {
            ++accepted;
            ASSERT_GE(n, 32u);
            ASSERT_EQ(n % 16, 0u);
            ASSERT_LT(out.size(), n - 16);
            ASSERT_GE(out.size(), n - 32);
        }
    }
    // About one in 256 random whole-block inputs ends in a valid 0x01.
    EXPECT_LT(accepted, 200);
}

TEST(Ciphers, Rc4MatchesRfc6229) {
    struct {
        const char* key;
        std::vector<std::pair<size_t, const char*>> stream;
    } vectors[] = {
        {"0102030405",
         {{0, "b2396305f03dc027ccc3524a0a1118a8"},
          {16, "6982944f18fc82d589c403a47a0d0919"},
          {240, "28cb1132c96ce286421dcaadb8b69eae"},
          {1520, "3294f744d8f9790507e70f62e5bbceea"},
          {4080, "068326a2118416d21f9d04b2cd1ca050"},
          {4096, "ff25b58995996707e51fbdf08b34d875"}}},
        {"0102030405060708090a0b0c0d0e0f10",
         {{0, "9ac7cc9a609d1ef7b2932899cde41b97"},
          {16, "5248c4959014126a6e8a84f11d1a9e1c"},
          {240, "065902e4b620f6cc36c8589f66432f2b"},
          {1520, "b40110c4190b5622a96116b0017ed297"},
          {4080, "ff38265c1642c1abe8d3c2fe5e572bf8"},
          {4096, "a36a4c301ae8ac13610ccbc12256cacc"}}},
    };
    for (const auto& v : vectors) {
        std::string ks = RC4Crypt(FromHex(v.key), std::string(4112, '\0'));
        for (const auto& [off, hex] : v.stream)
            EXPECT_EQ(ToHex(ks.substr(off, 16)), hex) << v.key << " @" << off;
    }
}

TEST(Ciphers, Rc4IsItsOwnInverse) {
    std::string key = "\x11\x22\x33\x44\x55";
    std::string text = "The quick brown fox jumps over the lazy dog";
    std::string c = RC4Crypt(key, text);
    EXPECT_NE(c, text);
    EXPECT_EQ(c.size(), text.size());
    EXPECT_EQ(RC4Crypt(key, c), text);
    EXPECT_EQ(RC4Crypt(key, ""), "");
    EXPECT_EQ(RC4Crypt("", text), "");  // no key: no output rather than a fault
}
