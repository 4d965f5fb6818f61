#include "core/Digests.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/Hex.h"

using namespace velmo;
using vpltest::ToHex;

namespace {

struct DigestVector {
    std::string message;
    const char* md5;
    const char* sha256;
    const char* sha384;
    const char* sha512;
};

std::string As(size_t n) { return std::string(n, 'a'); }

// RFC 1321 and FIPS 180-4 examples, and messages around the padding limits
// (55/56 bytes for the 64-byte block, 111/112 for the 128-byte block) whose
// digests come from coreutils' own implementations.
const DigestVector kVectors[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e",
     "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
     "38b060a751ac96384cd9327eb1b1e36a21fdb71114be07434c0cc7bf63f6e1da274edebfe76f65fbd51ad2f14898b95b",
     "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2877eec2f"
     "63b931bd47417a81a538327af927da3e"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72",
     "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
     "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7",
     "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd"
     "454d4423643ce80e2a9ac94fa54ca49f"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", nullptr,
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1", nullptr, nullptr},
    {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrs"
     "mnopqrstnopqrstu",
     nullptr, nullptr,
     "09330c33f71147e83d192fc782cd1b4753111b173b3b05d22fa08086e3b0f712fcc7c71a557e2db966c3e9fa91746039",
     "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99dec4b5433a"
     "c7d329eeb6dd26545e96e55b874be909"},
    {"a", "0cc175b9c0f1b6a831c399e269772661", nullptr, nullptr, nullptr},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0", nullptr, nullptr, nullptr},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b", nullptr, nullptr, nullptr},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f", nullptr, nullptr, nullptr},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a", nullptr, nullptr, nullptr},
    {As(55), "ef1772b6dff9a122358552954ad0df65",
     "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318",
     "5d91ac7e74e62b5c728904b40f10784d66b7af9cb6302123e48c92f0432ceb8d2a92c02de77dcb29ed75c4b42bde46f4",
     "b0220c772cbf6c1822e2cb38a437d0e1d58772417a4bbb21c961364f8b6143e05aa6316dca8d1d7b19e16448419076395f"
     "6086cb55101fbd6d5497b148e1745f"},
    {As(56), "3b0c8ac703f828b04c6c197006d17218",
     "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a",
     "8a8d9649ea04e993a6ca7135af7e3392cc5fca84f8531cac7aa3feed4eb98f55dcbe0f3284b61c6f35f98b02cc644b4c",
     "962b64aae357d2a4fee3ded8b539bdc9d325081822b0bfc55583133aab44f18bafe11d72a7ae16c79ce2ba620ae2242d51"
     "44809161945f1367f41b3972e26e04"},
    {As(64), "014842d480b571495a4a0363793f7367",
     "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb",
     "2e404b9339da795776e510d96930b3be2904c500395b8cb7413334b82d4dec413b4b8113045a05bbbcff846f027423f6",
     "01d35c10c6c38c2dcf48f7eebb3235fb5ad74a65ec4cd016e2354c637a8fb49b695ef3c1d6f7ae4cd74d78cc9c9bcac9d4"
     "f23a73019998a7f73038a5c9b2dbde"},
    {As(111), "089f243d1e831c5879aa375ee364a06e",
     "6374f73208854473827f6f6a3f43b1f53eaa3b82c21c1a6d69a2110b2a79baad",
     "3c37955051cb5c3026f94d551d5b5e2ac38d572ae4e07172085fed81f8466b8f90dc23a8ffcdea0b8d8e58e8fdacc80a",
     "fa9121c7b32b9e01733d034cfc78cbf67f926c7ed83e82200ef86818196921760b4beff48404df811b953828274461673c"
     "68d04e297b0eb7b2b4d60fc6b566a2"},
    {As(112), "9146ef3527c7cfcc66dc615c3986e391",
     "f54353008a2553262ecdc4a34749563ba0950e8b0fc8652780b0a614b99683c1",
     "187d4e07cb306103c69967bf544d0dfbe9042577599c73c330abc0cb64c61236d5ed565ee19119d8c31779a38f791fcd",
     "c01d080efd492776a1c43bd23dd99d0a2e626d481e16782e75d54c2503b5dc32bd05f0f1ba33e568b88fd2d970929b719e"
     "cbb152f58f130a407c8830604b70ca"},
};

}  // namespace

TEST(Digests, StandardVectors) {
    for (const auto& v : kVectors) {
        SCOPED_TRACE("message of " + std::to_string(v.message.size()) + " bytes");
        if (v.md5) {
            TMD5Digest d = MD5OfString(v.message);
            EXPECT_EQ(MD5DigestToHex(d), v.md5);
            EXPECT_EQ(ToHex(MD5DigestToString(d)), v.md5);
            TStringStream s(v.message);
            EXPECT_EQ(ToHex(MD5OfStream(s)), v.message.empty() ? "" : v.md5);
        }
        if (v.sha256) {
            TSHA256Digest d;
            SHA256OfBytes(v.message, d);
            EXPECT_EQ(ToHex(d), v.sha256);
        }
        if (v.sha384) {
            TSHA384Digest d;
            SHA384OfBytes(v.message, d);
            EXPECT_EQ(ToHex(d), v.sha384);
        }
        if (v.sha512) {
            TSHA512Digest d;
            SHA512OfBytes(v.message, d);
            EXPECT_EQ(ToHex(d), v.sha512);
        }
    }
}

TEST(Digests, UpdateInPiecesEqualsOneShot) {
    // Pieces that straddle the block boundary in every way.
    std::string msg;
    for (int i = 0; i < 1000; ++i)
        msg += char(i * 7 + 3);
    TSHA512Digest whole;
    SHA512OfBytes(msg, whole);
    for (size_t piece : {1, 63, 64, 65, 127, 128, 129, 999}) {
        TDCP_sha512 h;
        h.Init();
        for (size_t at = 0; at < msg.size(); at += piece)
            h.Update(msg.data() + at, std::min(piece, msg.size() - at));
        TSHA512Digest d;
        h.Final(d.data());
        EXPECT_EQ(d, whole) << "piece " << piece;
    }
}

TEST(Digests, UseAfterFinalRaisesUntilInit) {
    TDCP_sha256 h;
    unsigned char d[32];
    EXPECT_THROW(h.Update("x", 1), EDCP_hash);  // never initialised
    h.Init();
    h.Update("abc", 3);
    h.Final(d);
    EXPECT_FALSE(h.Initialized());
    try {
        h.Update("abc", 3);
        FAIL() << "Update after Final must raise";
    } catch (const EDCP_hash& e) {
        EXPECT_STREQ(e.what(), "Hash not initialized");
    }
    EXPECT_THROW(h.Final(d), EDCP_hash);
    // A new Init starts a fresh message.
    h.Init();
    h.Update("abc", 3);
    h.Final(d);
    EXPECT_EQ(ToHex(std::string_view(reinterpret_cast<char*>(d), 32)),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    TDCP_sha384 h384;
    h384.Init();
    h384.Burn();
    EXPECT_THROW(h384.Update("a", 1), EDCP_hash);
}

TEST(Digests, Sha1OfStreamRanges) {
    std::string data;
    for (int i = 0; i < 50000; ++i)
        data += char(i * 31 + (i >> 8));
    TStringStream s(data);
    struct Case {
        int64_t len1, start2, len2;
    } cases[] = {{100, 200, 300}, {20000, 30000, 20000}, {50000, 0, 0}, {0, 0, 0}, {7999, 8001, 16001}};
    for (const auto& c : cases) {
        std::string joined = data.substr(0, size_t(c.len1)) + data.substr(size_t(c.start2), size_t(c.len2));
        TStringStream j(joined);
        std::string got = SHA1OfStreamRanges(s, c.len1, c.start2, c.len2);
        ASSERT_EQ(got.size(), 20u);
        // Cross-check with a single range over the joined bytes.
        EXPECT_EQ(got, SHA1OfStreamRanges(j, int64_t(joined.size()), 0, 0));
    }
    TStringStream abc(std::string("abc"));
    EXPECT_EQ(ToHex(SHA1OfStreamRanges(abc, 3, 0, 0)), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(ToHex(SHA1OfStreamRanges(abc, 0, 0, 0)), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    // Ranges that run past the stream, or are negative, give no digest.
    EXPECT_EQ(SHA1OfStreamRanges(s, 50001, 0, 0), "");
    EXPECT_EQ(SHA1OfStreamRanges(s, 10, 49990, 11), "");
    EXPECT_EQ(SHA1OfStreamRanges(s, -1, 0, 0), "");
    EXPECT_EQ(SHA1OfStreamRanges(s, 10, -5, 3), "");
}

TEST(Digests, Md5OfStreamReadsFromStart) {
    TStringStream s(std::string("message digest"));
    s.Seek(5, soBeginning);
    EXPECT_EQ(ToHex(MD5OfStream(s)), "f96b697d7cb7938d525a2f31aaf161d0");
}
