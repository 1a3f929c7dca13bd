// SHA-256 (FIPS 180-4), incremental: the 7z key derivation hashes a long repeated stream.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora::kel {

class Sha256 {
public:
    Sha256();
    void update(const std::uint8_t* data, std::size_t size);
    void finish(std::uint8_t digest[32]);

private:
    void compress(const std::uint8_t* block);

    std::uint32_t h_[8];
    std::uint8_t block_[64];
    std::size_t blockUsed_ = 0;
    std::uint64_t total_ = 0;
};

} // namespace velmora::kel
