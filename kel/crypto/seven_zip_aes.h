// The 7z AES coder: AES-256 in CBC mode with a key derived from the password (UTF-16LE) by
// SHA-256 iterated 2^n times over salt, password and a counter.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/byte_stream.h"

namespace velmora::kel {

struct AesCoderProperties {
    unsigned cyclesPower = 0;
    std::vector<std::uint8_t> salt;
    std::array<std::uint8_t, 16> iv{};
};

AesCoderProperties parseAesProperties(const std::uint8_t* props, std::size_t size);

// The 32-byte key for a password; the last derivation is remembered, since every folder of an
// archive normally repeats the same salt and cycle count.
// More than 2^maxCyclesPower rounds are refused as unsupported.
std::array<std::uint8_t, 32> deriveAesKey(const AesCoderProperties& props, const std::u16string& password,
                                          unsigned maxCyclesPower);

class AesDecryptStream : public ByteStream {
public:
    AesDecryptStream(ByteStreamPtr input, const std::array<std::uint8_t, 32>& key, const std::array<std::uint8_t, 16>& iv);
    ~AesDecryptStream() override;
    std::size_t read(std::uint8_t* out, std::size_t size) override;

private:
    struct State;
    ByteStreamPtr input_;
    std::unique_ptr<State> state_;
};

} // namespace velmora::kel
