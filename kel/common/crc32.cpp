// Slicing-by-8: eight tables let the loop fold eight input bytes per step.
#include "common/crc32.h"

#include <cstring>

namespace velmora::kel {
namespace {

struct CrcTables {
    std::uint32_t t[8][256];
    CrcTables() {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
            t[0][i] = c;
        }
        for (std::uint32_t i = 0; i < 256; ++i)
            for (int k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    }
};

const CrcTables& tables() {
    static const CrcTables instance;
    return instance;
}

} // namespace

std::uint32_t crc32Update(std::uint32_t crc, const std::uint8_t* p, std::size_t size) {
    const auto& t = tables().t;
    std::uint32_t c = ~crc;
    for (; size >= 8; size -= 8, p += 8) {
        std::uint32_t lo, hi;
        std::memcpy(&lo, p, 4);
        std::memcpy(&hi, p + 4, 4);
        lo ^= c;  // little-endian hosts only (x86 and ARM targets of this project)
        c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
            t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    }
    for (; size > 0; --size, ++p) c = (c >> 8) ^ t[0][(c ^ *p) & 0xFF];
    return ~c;
}

} // namespace velmora::kel
