// The S-boxes and round tables are computed once from the field arithmetic of GF(2^8), so no
// large constant tables live in the source.
#include "crypto/aes256.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KEL_AES_NI 1
#endif

namespace velmora::kel {
namespace {

constexpr int kRounds = 14;

std::uint8_t gfMul(std::uint8_t a, std::uint8_t b) {
    std::uint8_t r = 0;
    while (b) {
        if (b & 1) r ^= a;
        a = static_cast<std::uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0));
        b >>= 1;
    }
    return r;
}

struct AesTables {
    std::uint8_t sbox[256];
    std::uint8_t inverseSbox[256];
    std::uint32_t td[4][256];

    AesTables() {
        // Multiplicative inverses via powers of the generator 3, then the affine transform.
        std::uint8_t power[255], log[256] = {};
        std::uint8_t x = 1;
        for (int i = 0; i < 255; ++i) {
            power[i] = x;
            log[x] = static_cast<std::uint8_t>(i);
            x = gfMul(x, 3);
        }
        for (int i = 0; i < 256; ++i) {
            const std::uint8_t inv = i == 0 ? 0 : power[(255 - log[i]) % 255];
            std::uint8_t s = inv;
            for (int k = 1; k <= 4; ++k) s ^= static_cast<std::uint8_t>((inv << k) | (inv >> (8 - k)));
            s ^= 0x63;
            sbox[i] = s;
            inverseSbox[s] = static_cast<std::uint8_t>(i);
        }
        for (int i = 0; i < 256; ++i) {
            const std::uint8_t s = inverseSbox[i];
            const std::uint32_t w = std::uint32_t(gfMul(s, 0x0E)) << 24 | std::uint32_t(gfMul(s, 0x09)) << 16 |
                                    std::uint32_t(gfMul(s, 0x0D)) << 8 | gfMul(s, 0x0B);
            td[0][i] = w;
            td[1][i] = (w >> 8) | (w << 24);
            td[2][i] = (w >> 16) | (w << 16);
            td[3][i] = (w >> 24) | (w << 8);
        }
    }
};

const AesTables& tables() {
    static const AesTables instance;
    return instance;
}

std::uint32_t loadBe(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}
void storeBe(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

} // namespace

Aes256Decryptor::Aes256Decryptor(const std::uint8_t key[32]) {
    const AesTables& t = tables();
    std::uint32_t ek[60];
    for (int i = 0; i < 8; ++i) ek[i] = loadBe(key + 4 * i);
    std::uint8_t rcon = 1;
    for (int i = 8; i < 60; ++i) {
        std::uint32_t w = ek[i - 1];
        if (i % 8 == 0) {
            w = (w << 8) | (w >> 24);
            w = std::uint32_t(t.sbox[w >> 24]) << 24 | std::uint32_t(t.sbox[(w >> 16) & 0xFF]) << 16 |
                std::uint32_t(t.sbox[(w >> 8) & 0xFF]) << 8 | t.sbox[w & 0xFF];
            w ^= std::uint32_t(rcon) << 24;
            rcon = gfMul(rcon, 2);
        } else if (i % 8 == 4) {
            w = std::uint32_t(t.sbox[w >> 24]) << 24 | std::uint32_t(t.sbox[(w >> 16) & 0xFF]) << 16 |
                std::uint32_t(t.sbox[(w >> 8) & 0xFF]) << 8 | t.sbox[w & 0xFF];
        }
        ek[i] = ek[i - 8] ^ w;
    }
    for (int i = 0; i < 60; ++i) storeBe(encryptionKeys_[i / 4] + 4 * (i % 4), ek[i]);
    // Reverse the round order; the inner round keys get InvMixColumns (the S-box lookup cancels
    // the inverse S-box inside the tables).
    for (int r = 0; r <= kRounds; ++r) {
        for (int c = 0; c < 4; ++c) {
            std::uint32_t w = ek[4 * (kRounds - r) + c];
            if (r != 0 && r != kRounds)
                w = t.td[0][t.sbox[w >> 24]] ^ t.td[1][t.sbox[(w >> 16) & 0xFF]] ^ t.td[2][t.sbox[(w >> 8) & 0xFF]] ^
                    t.td[3][t.sbox[w & 0xFF]];
            roundKeys_[4 * r + c] = w;
        }
    }
}

void Aes256Decryptor::decryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const {
    const AesTables& t = tables();
    const std::uint32_t* k = roundKeys_;
    std::uint32_t s0 = loadBe(in) ^ k[0], s1 = loadBe(in + 4) ^ k[1], s2 = loadBe(in + 8) ^ k[2],
                  s3 = loadBe(in + 12) ^ k[3];
    for (int r = 1; r < kRounds; ++r) {
        k += 4;
        const std::uint32_t t0 = t.td[0][s0 >> 24] ^ t.td[1][(s3 >> 16) & 0xFF] ^ t.td[2][(s2 >> 8) & 0xFF] ^ t.td[3][s1 & 0xFF] ^ k[0];
        const std::uint32_t t1 = t.td[0][s1 >> 24] ^ t.td[1][(s0 >> 16) & 0xFF] ^ t.td[2][(s3 >> 8) & 0xFF] ^ t.td[3][s2 & 0xFF] ^ k[1];
        const std::uint32_t t2 = t.td[0][s2 >> 24] ^ t.td[1][(s1 >> 16) & 0xFF] ^ t.td[2][(s0 >> 8) & 0xFF] ^ t.td[3][s3 & 0xFF] ^ k[2];
        const std::uint32_t t3 = t.td[0][s3 >> 24] ^ t.td[1][(s2 >> 16) & 0xFF] ^ t.td[2][(s1 >> 8) & 0xFF] ^ t.td[3][s0 & 0xFF] ^ k[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    k += 4;
    const std::uint8_t* is = t.inverseSbox;
    auto last = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t key) {
        return (std::uint32_t(is[a >> 24]) << 24 | std::uint32_t(is[(b >> 16) & 0xFF]) << 16 |
                std::uint32_t(is[(c >> 8) & 0xFF]) << 8 | is[d & 0xFF]) ^
               key;
    };
    storeBe(out, last(s0, s3, s2, s1, k[0]));
    storeBe(out + 4, last(s1, s0, s3, s2, k[1]));
    storeBe(out + 8, last(s2, s1, s0, s3, k[2]));
    storeBe(out + 12, last(s3, s2, s1, s0, k[3]));
}

namespace {

void cbcDecryptTables(const Aes256Decryptor& aes, std::uint8_t iv[16], std::uint8_t* data, std::size_t size) {
    std::uint8_t plain[16], cipher[16];
    for (std::size_t off = 0; off + 16 <= size; off += 16) {
        std::memcpy(cipher, data + off, 16);
        aes.decryptBlock(cipher, plain);
        for (int i = 0; i < 16; ++i) data[off + i] = plain[i] ^ iv[i];
        std::memcpy(iv, cipher, 16);
    }
}

#ifdef KEL_AES_NI
// CBC decryption has no chain between blocks, so four blocks go through the rounds together.
__attribute__((target("aes,sse2"))) void cbcDecryptAesNi(const std::uint8_t* keyBytes, std::uint8_t iv[16],
                                                          std::uint8_t* data, std::size_t size) {
    __m128i k[15];
    for (int r = 0; r < 15; ++r) k[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(keyBytes + 16 * r));
    for (int r = 1; r < 14; ++r) k[r] = _mm_aesimc_si128(k[r]);
    __m128i prev = _mm_loadu_si128(reinterpret_cast<const __m128i*>(iv));
    std::size_t off = 0;
    for (; off + 64 <= size; off += 64) {
        __m128i* p = reinterpret_cast<__m128i*>(data + off);
        const __m128i c0 = _mm_loadu_si128(p), c1 = _mm_loadu_si128(p + 1), c2 = _mm_loadu_si128(p + 2),
                      c3 = _mm_loadu_si128(p + 3);
        __m128i b0 = _mm_xor_si128(c0, k[14]), b1 = _mm_xor_si128(c1, k[14]), b2 = _mm_xor_si128(c2, k[14]),
                b3 = _mm_xor_si128(c3, k[14]);
        for (int r = 13; r >= 1; --r) {
            b0 = _mm_aesdec_si128(b0, k[r]);
            b1 = _mm_aesdec_si128(b1, k[r]);
            b2 = _mm_aesdec_si128(b2, k[r]);
            b3 = _mm_aesdec_si128(b3, k[r]);
        }
        _mm_storeu_si128(p, _mm_xor_si128(_mm_aesdeclast_si128(b0, k[0]), prev));
        _mm_storeu_si128(p + 1, _mm_xor_si128(_mm_aesdeclast_si128(b1, k[0]), c0));
        _mm_storeu_si128(p + 2, _mm_xor_si128(_mm_aesdeclast_si128(b2, k[0]), c1));
        _mm_storeu_si128(p + 3, _mm_xor_si128(_mm_aesdeclast_si128(b3, k[0]), c2));
        prev = c3;
    }
    for (; off + 16 <= size; off += 16) {
        __m128i* p = reinterpret_cast<__m128i*>(data + off);
        const __m128i c = _mm_loadu_si128(p);
        __m128i b = _mm_xor_si128(c, k[14]);
        for (int r = 13; r >= 1; --r) b = _mm_aesdec_si128(b, k[r]);
        _mm_storeu_si128(p, _mm_xor_si128(_mm_aesdeclast_si128(b, k[0]), prev));
        prev = c;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(iv), prev);
}

bool hasAesInstructions() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("aes") != 0;
    }();
    return has;
}
#endif

} // namespace

void aesCbcDecrypt(const Aes256Decryptor& aes, std::uint8_t iv[16], std::uint8_t* data, std::size_t size) {
#ifdef KEL_AES_NI
    if (hasAesInstructions()) {
        cbcDecryptAesNi(aes.encryptionKeys(), iv, data, size);
        return;
    }
#endif
    cbcDecryptTables(aes, iv, data, size);
}

} // namespace velmora::kel
