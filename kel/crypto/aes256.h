// AES-256 decryption (FIPS-197) with the equivalent inverse cipher and table lookups, and
// CBC mode over whole 16-byte blocks (with the processor's AES instructions where x86 has them).
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora::kel {

class Aes256Decryptor {
public:
    explicit Aes256Decryptor(const std::uint8_t key[32]);
    void decryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const;

    // Round keys in encryption order as bytes, for the processor's AES instructions.
    const std::uint8_t* encryptionKeys() const { return encryptionKeys_[0]; }

private:
    std::uint32_t roundKeys_[60];  // decryption order, mixed for the table rounds
    std::uint8_t encryptionKeys_[15][16];
};

// CBC decryption in place; size must be a multiple of 16. iv is updated for the next call.
void aesCbcDecrypt(const Aes256Decryptor& aes, std::uint8_t iv[16], std::uint8_t* data, std::size_t size);

} // namespace velmora::kel
