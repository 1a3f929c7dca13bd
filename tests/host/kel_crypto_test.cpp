// The primitives under the 7z AES coder against published vectors (FIPS-197 C.3, FIPS 180-2),
// and CBC decryption (processor instructions where present) against the table cipher.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "crypto/aes256.h"
#include "crypto/sha256.h"
#include "kel_test_support.h"

using namespace velmora::kel;

namespace {

std::string hex(const std::uint8_t* p, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

TEST(KelCrypto, Sha256KnownDigests) {
    const std::pair<std::string, const char*> cases[] = {
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000, 'a'), "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3"},
    };
    for (const auto& [text, digest] : cases) {
        Sha256 sha;
        // In uneven pieces, to cross block boundaries inside update.
        for (std::size_t at = 0; at < text.size(); at += 7)
            sha.update(reinterpret_cast<const std::uint8_t*>(text.data()) + at, std::min<std::size_t>(7, text.size() - at));
        std::uint8_t out[32];
        sha.finish(out);
        EXPECT_EQ(hex(out, 32), digest) << text.substr(0, 10);
    }
}

TEST(KelCrypto, Aes256DecryptsTheStandardVector) {
    std::uint8_t key[32], cipher[16] = {0x8e, 0xa2, 0xb7, 0xca, 0x51, 0x67, 0x45, 0xbf,
                                        0xea, 0xfc, 0x49, 0x90, 0x4b, 0x49, 0x60, 0x89};
    for (int i = 0; i < 32; ++i) key[i] = static_cast<std::uint8_t>(i);
    const Aes256Decryptor aes(key);
    std::uint8_t plain[16];
    aes.decryptBlock(cipher, plain);
    EXPECT_EQ(hex(plain, 16), "00112233445566778899aabbccddeeff");
    std::uint8_t iv[16] = {};
    aesCbcDecrypt(aes, iv, cipher, 16);  // one block with a zero IV is the plain cipher
    EXPECT_EQ(hex(cipher, 16), "00112233445566778899aabbccddeeff");
}

TEST(KelCrypto, CbcMatchesBlockByBlockDecryption) {
    std::string key = kel_test::noise(32, 7), iv0 = kel_test::noise(16, 8), data = kel_test::noise(16 * 37, 9);
    const Aes256Decryptor aes(reinterpret_cast<const std::uint8_t*>(key.data()));
    std::string expected = data;
    std::uint8_t chain[16];
    std::memcpy(chain, iv0.data(), 16);
    for (std::size_t off = 0; off < data.size(); off += 16) {
        std::uint8_t out[16];
        aes.decryptBlock(reinterpret_cast<const std::uint8_t*>(data.data()) + off, out);
        for (int i = 0; i < 16; ++i) expected[off + i] = static_cast<char>(out[i] ^ chain[i]);
        std::memcpy(chain, data.data() + off, 16);
    }
    // In two calls, the IV carried from the first to the second.
    std::uint8_t iv[16];
    std::memcpy(iv, iv0.data(), 16);
    aesCbcDecrypt(aes, iv, reinterpret_cast<std::uint8_t*>(data.data()), 16 * 21);
    aesCbcDecrypt(aes, iv, reinterpret_cast<std::uint8_t*>(data.data()) + 16 * 21, 16 * 16);
    EXPECT_EQ(data, expected);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(iv), 16), kel_test::noise(16 * 37, 9).substr(16 * 36));
}

} // namespace
