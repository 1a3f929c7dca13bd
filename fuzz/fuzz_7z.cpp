// Fuzzes the 7z container parser and every coder behind it: the input is taken as an archive,
// its entry names go through the path check, and each folder it declares is decoded (up to a
// bound) and thrown away. Limits keep allocations and key derivation small.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "archive/archive.h"
#include "archive/entry_path.h"
#include "common/kel_error.h"

using namespace velmora::kel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
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
                while (total < (8u << 20)) {
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
