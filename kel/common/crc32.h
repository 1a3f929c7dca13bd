// CRC-32 (IEEE 802.3, reflected, as 7z archives store it), table driven eight bytes at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora::kel {

// Continues a CRC: start with crc32Update(0, ...) and feed the pieces in order.
std::uint32_t crc32Update(std::uint32_t crc, const std::uint8_t* data, std::size_t size);
inline std::uint32_t crc32(const std::uint8_t* data, std::size_t size) { return crc32Update(0, data, size); }

} // namespace velmora::kel
