// Property parsing, key derivation and the CBC decryption stream of the 7z AES coder.
#include "crypto/seven_zip_aes.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "common/kel_error.h"
#include "crypto/aes256.h"
#include "crypto/sha256.h"

namespace velmora::kel {

AesCoderProperties parseAesProperties(const std::uint8_t* props, std::size_t size) {
    AesCoderProperties p;
    if (size < 1) corrupt("AES properties are missing");
    const unsigned first = props[0];
    p.cyclesPower = first & 0x3F;
    if ((first & 0xC0) == 0) return p;
    if (size < 2) corrupt("invalid AES properties");
    const unsigned second = props[1];
    const std::size_t saltSize = ((first >> 7) & 1) + (second >> 4);
    const std::size_t ivSize = ((first >> 6) & 1) + (second & 0x0F);
    if (2 + saltSize + ivSize > size || ivSize > 16) corrupt("invalid AES properties");
    p.salt.assign(props + 2, props + 2 + saltSize);
    std::copy(props + 2 + saltSize, props + 2 + saltSize + ivSize, p.iv.begin());
    return p;
}

std::array<std::uint8_t, 32> deriveAesKey(const AesCoderProperties& props, const std::u16string& password,
                                          unsigned maxCyclesPower) {
    std::vector<std::uint8_t> pw;
    for (char16_t c : password) {
        pw.push_back(static_cast<std::uint8_t>(c));
        pw.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    std::array<std::uint8_t, 32> key{};
    if (props.cyclesPower == 0x3F) {
        std::vector<std::uint8_t> raw = props.salt;
        raw.insert(raw.end(), pw.begin(), pw.end());
        std::copy_n(raw.begin(), std::min<std::size_t>(raw.size(), 32), key.begin());
        return key;
    }
    if (props.cyclesPower > maxCyclesPower) fail(ErrorCode::UnsupportedMethod, "AES key derivation is too costly");

    // The last few derivations, newest first: folders repeat the same salt, and a wrong and a
    // right password may take turns.
    struct Cached {
        std::vector<std::uint8_t> input;
        std::array<std::uint8_t, 32> key;
    };
    static std::mutex cacheLock;
    static std::vector<Cached> cache;
    std::vector<std::uint8_t> cacheInput(props.salt);
    cacheInput.push_back(static_cast<std::uint8_t>(props.cyclesPower));
    cacheInput.insert(cacheInput.end(), pw.begin(), pw.end());
    {
        std::lock_guard<std::mutex> lock(cacheLock);
        for (const Cached& c : cache)
            if (c.input == cacheInput) return c.key;
    }

    // One buffer of salt, password and counter, hashed 2^n times with the counter stepping.
    std::vector<std::uint8_t> round(props.salt);
    round.insert(round.end(), pw.begin(), pw.end());
    const std::size_t counterAt = round.size();
    round.resize(counterAt + 8, 0);
    Sha256 sha;
    const std::uint64_t rounds = std::uint64_t(1) << props.cyclesPower;
    for (std::uint64_t i = 0; i < rounds; ++i) {
        sha.update(round.data(), round.size());
        for (std::size_t k = counterAt; k < round.size() && ++round[k] == 0; ++k) {
        }
    }
    sha.finish(key.data());
    std::lock_guard<std::mutex> lock(cacheLock);
    cache.insert(cache.begin(), Cached{std::move(cacheInput), key});
    if (cache.size() > 4) cache.pop_back();
    return key;
}

struct AesDecryptStream::State {
    Aes256Decryptor aes;
    std::uint8_t iv[16];
    std::vector<std::uint8_t> buf = std::vector<std::uint8_t>(1u << 16);
    std::size_t begin = 0, end = 0;  // decrypted bytes not yet handed out
    std::size_t carry = 0;           // bytes of an incomplete block after end
    bool done = false;
    explicit State(const std::uint8_t* key) : aes(key) {}
};

AesDecryptStream::AesDecryptStream(ByteStreamPtr input, const std::array<std::uint8_t, 32>& key,
                                   const std::array<std::uint8_t, 16>& iv)
    : input_(std::move(input)), state_(std::make_unique<State>(key.data())) {
    std::memcpy(state_->iv, iv.data(), 16);
}

AesDecryptStream::~AesDecryptStream() = default;

std::size_t AesDecryptStream::read(std::uint8_t* out, std::size_t size) {
    State& s = *state_;
    while (s.begin == s.end) {
        if (s.done) return 0;
        std::memmove(s.buf.data(), s.buf.data() + s.end, s.carry);
        std::size_t filled = s.carry;
        while (filled < s.buf.size()) {
            const std::size_t n = input_->read(s.buf.data() + filled, s.buf.size() - filled);
            if (n == 0) {
                s.done = true;
                break;
            }
            filled += n;
        }
        const std::size_t whole = filled & ~std::size_t(15);
        if (s.done && whole != filled) corrupt("encrypted data is not a whole number of blocks");
        aesCbcDecrypt(s.aes, s.iv, s.buf.data(), whole);
        s.begin = 0;
        s.end = whole;
        s.carry = filled - whole;
    }
    const std::size_t n = std::min(size, s.end - s.begin);
    std::memcpy(out, s.buf.data() + s.begin, n);
    s.begin += n;
    return n;
}

} // namespace velmora::kel
