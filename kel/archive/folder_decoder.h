// Builds the chain of coder streams of one folder: each coder's inputs are either pack
// streams of the archive or the outputs of other coders, as the folder's bind pairs say.
#pragma once

#include <string>
#include <vector>

#include "archive/archive.h"

namespace velmora::kel {

// Method IDs of the coders this reader knows.
namespace method {
constexpr std::uint64_t Copy = 0x00, Delta = 0x03, X86 = 0x04, PowerPc = 0x05, Arm = 0x07, ArmThumb = 0x08,
                        Sparc = 0x09, Arm64 = 0x0A, Lzma2 = 0x21, Lzma = 0x030101, Bcj = 0x03030103,
                        Bcj2 = 0x0303011B, PowerPcLong = 0x03030205, ArmLong = 0x03030501,
                        ArmThumbLong = 0x03030701, SparcLong = 0x03030805, Deflate = 0x040108,
                        Deflate64 = 0x040109, BZip2 = 0x040202, Aes = 0x06F10701;
} // namespace method

// The folder's main output stream. packOffsets/packSizes describe the archive's pack streams.
ByteStreamPtr decodeFolder(const std::shared_ptr<const ArchiveSource>& source, const Folder& folder,
                           const std::vector<std::uint64_t>& packOffsets, const std::vector<std::uint64_t>& packSizes,
                           const std::u16string* password, const ReadLimits& limits);

// Checks the coder graph of a folder read from a header (counts, indexes, one main output,
// no stream bound twice) and sets its main output stream.
void validateFolder(Folder& folder);

} // namespace velmora::kel
