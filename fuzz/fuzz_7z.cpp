// Fuzzes the 7z container parser and every coder behind it: the input is taken as an archive,
// its entry names go through the path check, and each folder it declares is decoded (up to a
// bound) and thrown away. Limits keep allocations and key derivation small. For inputs whose
// last byte is odd the header CRCs are recomputed first, so mutations reach the parser
// instead of stopping at the checksum.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "archive/archive.h"
#include "archive/entry_path.h"
#include "common/crc32.h"
#include "common/kel_error.h"

using namespace velmora::kel;

namespace {

std::uint64_t le64(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}
void putLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Makes the start header and next header checksums match the (mutated) bytes.
void fixChecksums(std::vector<std::uint8_t>& a) {
    if (a.size() < 32) return;
    const std::uint64_t offset = le64(&a[12]), size = le64(&a[20]);
    if (offset < a.size() - 32 && size <= a.size() - 32 - offset)
        putLe32(&a[28], crc32(&a[32 + offset], static_cast<std::size_t>(size)));
    putLe32(&a[8], crc32(&a[12], 20));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    std::vector<std::uint8_t> bytes(input, input + size);
    if (size > 0 && (input[size - 1] & 1)) fixChecksums(bytes);
    const std::uint8_t* data = bytes.data();
    ReadLimits limits;
    limits.maxWindow = 1u << 24;
    limits.maxHeaderSize = 1u << 20;
    limits.maxKeyCyclesPower = 19;
    int offered = 0;
    PasswordChain passwords([&]() -> std::optional<std::u16string> {
        if (offered++ < 2) return std::u16string(offered == 1 ? u"secret" : u"wrong");
        return std::nullopt;
    });
    try {
        SevenZipArchive archive(std::make_shared<MemorySource>(data, size), passwords, limits);
        for (const ArchiveEntry& e : archive.entries()) {
            try {
                safeRelativePath(e.name);
            } catch (const KelError&) {
            }
        }
        std::vector<std::uint8_t> buffer(1u << 16);
        for (std::size_t f = 0; f < archive.folders().size(); ++f) {
            try {
                ByteStreamPtr stream = archive.openFolder(f, passwords.current());
                std::size_t total = 0;
                while (total < (1u << 20)) {
                    const std::size_t n = stream->read(buffer.data(), buffer.size());
                    if (n == 0) break;
                    total += n;
                }
            } catch (const KelError&) {
            }
        }
    } catch (const KelError&) {
    }
    return 0;
}
