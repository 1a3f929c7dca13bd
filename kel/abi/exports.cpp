// The four exported functions of kel.lib over the archive reader. No exception crosses this
// boundary: every failure becomes a code for GetLastArchiveError. Paths in and out are ANSI
// text; entry names are converted from the archive's UTF-16 with '\' between folders.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/archive.h"
#include "archive/extractor.h"
#include "core/text.h"
#include "kel_abi.h"

static_assert(sizeof(KelListEntry) == 48, "list records are 48 bytes");
static_assert(offsetof(KelListEntry, size) == 8 && offsetof(KelListEntry, packedSize) == 16, "record layout");
static_assert(offsetof(KelListEntry, modified) == 32 && offsetof(KelListEntry, attributes) == 40, "record layout");

namespace velmora::kel {
namespace {

std::atomic<int> lastError{0};

// A listing handed out by OpenListArchive: the records and the texts they point to.
struct Listing {
    std::vector<std::string> paths;
    std::vector<KelListEntry> records;
};

std::mutex listingsLock;
std::map<intptr_t, std::unique_ptr<Listing>> listings;

std::string ansiPath(const std::u16string& name) {
    std::string path = text::fromUtf16(name);
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// The password argument first, then whatever the callback offers.
PasswordSupplier makeSupplier(const char* password, KelPasswordCallback callback) {
    auto first = std::make_shared<bool>(true);
    std::string given = password ? password : "";
    return [first, given, callback]() -> std::optional<std::u16string> {
        if (*first) {
            *first = false;
            if (!given.empty()) return text::toUtf16(given);
        }
        if (!callback) return std::nullopt;
        std::vector<char> buffer(KEL_PASSWORD_BUFFER_SIZE, '\0');
        if (callback(buffer.data()) != 1) return std::nullopt;
        buffer.back() = '\0';
        return text::toUtf16(buffer.data());
    };
}

int codeOf(const std::exception& e) {
    if (auto k = dynamic_cast<const KelError*>(&e)) return static_cast<int>(k->code());
    if (dynamic_cast<const std::bad_alloc*>(&e)) return KEL_ERROR_LIMIT;
    return KEL_ERROR_CORRUPT;
}

template <typename F>
auto guarded(F&& f, decltype(f()) onFailure) -> decltype(f()) {
    lastError = 0;
    try {
        return f();
    } catch (const std::exception& e) {
        lastError = codeOf(e);
    } catch (...) {
        lastError = KEL_ERROR_CORRUPT;
    }
    return onFailure;
}

void check(bool ok) {
    if (!ok) fail(ErrorCode::InvalidArgument, "invalid argument");
}

// The entries a file list names; every entry of the archive for a null list.
std::vector<std::size_t> selectEntries(const SevenZipArchive& archive, const KelFileList* files) {
    const auto& entries = archive.entries();
    std::vector<std::size_t> selected;
    if (files == nullptr) {
        for (std::size_t i = 0; i < entries.size(); ++i) selected.push_back(i);
        return selected;
    }
    check(files->count == 0 || files->paths != nullptr);
    std::unordered_map<std::string, std::size_t, text::IgnoreCaseHash, text::IgnoreCaseEqual> byPath;
    std::unordered_map<std::string, std::size_t> exact;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string path = ansiPath(entries[i].name);
        exact.emplace(path, i);
        byPath.emplace(path, i);
    }
    for (std::uint32_t k = 0; k < files->count; ++k) {
        const char* p = files->paths[k];
        if (p == nullptr || *p == '\0' || std::strpbrk(p, "*?") != nullptr)
            fail(ErrorCode::IllegalPath, "illegal path in the file list");
        std::string path(p);
        std::replace(path.begin(), path.end(), '/', '\\');
        auto it = exact.find(path);
        if (it != exact.end()) {
            selected.push_back(it->second);
            continue;
        }
        auto folded = byPath.find(path);
        if (folded == byPath.end()) fail(ErrorCode::IllegalPath, "a file list entry is not in the archive");
        selected.push_back(folded->second);
    }
    return selected;
}

OverwriteChoice overwriteChoice(int32_t answer) {
    switch (answer) {
    case KEL_OVERWRITE_CANCEL: return OverwriteChoice::Cancel;
    case KEL_OVERWRITE_SKIP_ALL: return OverwriteChoice::SkipAll;
    case KEL_OVERWRITE_ALL: return OverwriteChoice::OverwriteAll;
    case KEL_OVERWRITE_REPLACE: return OverwriteChoice::Overwrite;
    default: return OverwriteChoice::Skip;
    }
}

} // namespace
} // namespace velmora::kel

using namespace velmora::kel;

extern "C" intptr_t KEL_CALL OpenListArchive(const char* archivePath, int32_t, KelPasswordCallback passwordCallback,
                                             int32_t, int32_t, int32_t, const char* password, KelListEntry** entries,
                                             int32_t* count) {
    return guarded(
        [&]() -> intptr_t {
            check(archivePath != nullptr && entries != nullptr && count != nullptr);
            *entries = nullptr;
            *count = 0;
            PasswordChain passwords(makeSupplier(password, passwordCallback));
            SevenZipArchive archive(openFileSource(archivePath), passwords);
            const auto& list = archive.entries();
            if (list.size() > 0x7FFFFFFF) fail(ErrorCode::LimitExceeded, "too many entries");
            auto listing = std::make_unique<Listing>();
            listing->paths.reserve(list.size());
            listing->records.resize(list.size());
            std::vector<bool> folderSeen(archive.folders().size());
            for (std::size_t i = 0; i < list.size(); ++i) {
                const ArchiveEntry& e = list[i];
                listing->paths.push_back(ansiPath(e.name));
                KelListEntry& r = listing->records[i];
                std::memset(&r, 0, sizeof r);
                r.size = e.size;
                if (e.crc) {
                    r.crc = *e.crc;
                    r.flags |= KEL_ENTRY_HAS_CRC;
                }
                if (e.isDirectory) r.flags |= KEL_ENTRY_DIRECTORY;
                if (e.hasStream) {
                    const Folder& folder = archive.folders()[e.folder];
                    if (folder.encrypted()) r.flags |= KEL_ENTRY_ENCRYPTED;
                    if (!folderSeen[e.folder]) {
                        folderSeen[e.folder] = true;
                        r.packedSize = archive.folderPackedSize(e.folder);
                    }
                }
                r.modified = e.modified.value_or(0);
                r.attributes = e.attributes.value_or(e.isDirectory ? 0x10u : 0u);
                if (e.isDirectory) r.attributes |= 0x10u;
            }
            for (std::size_t i = 0; i < list.size(); ++i) listing->records[i].path = listing->paths[i].c_str();
            *entries = listing->records.data();
            *count = static_cast<int32_t>(list.size());
            const intptr_t handle = reinterpret_cast<intptr_t>(listing.get());
            std::lock_guard<std::mutex> lock(listingsLock);
            listings.emplace(handle, std::move(listing));
            return handle;
        },
        0);
}

extern "C" int32_t KEL_CALL CloseListArchive(intptr_t handle) {
    return guarded(
        [&]() -> int32_t {
            std::lock_guard<std::mutex> lock(listingsLock);
            check(listings.erase(handle) == 1);
            return 1;
        },
        0);
}

extern "C" int32_t KEL_CALL ExtractArchive(const char* archivePath, int32_t, const char* outputFolder,
                                           const KelFileList* files, int32_t pathMode, const char* password,
                                           KelPasswordCallback passwordCallback, KelProgressCallback progressCallback,
                                           KelEntryErrorCallback entryErrorCallback,
                                           KelOverwriteCallback overwriteCallback) {
    return guarded(
        [&]() -> int32_t {
            check(archivePath != nullptr && outputFolder != nullptr);
            check(pathMode == KEL_PATHS_FULL || pathMode == KEL_PATHS_NONE);
            PasswordChain passwords(makeSupplier(password, passwordCallback));
            SevenZipArchive archive(openFileSource(archivePath), passwords);
            const std::vector<std::size_t> selected = selectEntries(archive, files);
            const auto& entries = archive.entries();
            std::vector<std::string> paths(entries.size());
            auto pathOf = [&](std::size_t i) -> const std::string& {
                if (paths[i].empty()) paths[i] = ansiPath(entries[i].name);
                return paths[i];
            };

            std::unique_ptr<OutputTarget> target = makeFolderTarget(outputFolder);
            ExtractCallbacks callbacks;
            if (progressCallback)
                callbacks.progress = [&](std::size_t entry, std::uint64_t done, std::uint64_t total) {
                    return progressCallback(pathOf(entry).c_str(), done, total) != 0;
                };
            callbacks.overwrite = [&](std::size_t entry, const ExistingFile& existing) {
                if (!overwriteCallback) return OverwriteChoice::Skip;
                const ArchiveEntry& e = entries[entry];
                const std::uint64_t newTime = e.modified.value_or(0), oldTime = existing.modified.value_or(0);
                std::string existingPath = outputFolder;
                if (!existingPath.empty() && existingPath.back() != '\\' && existingPath.back() != '/') existingPath += '\\';
                const std::string& inArchive = pathOf(entry);
                existingPath += pathMode == KEL_PATHS_NONE ? inArchive.substr(inArchive.find_last_of('\\') + 1) : inArchive;
                return overwriteChoice(overwriteCallback(
                    existingPath.c_str(), static_cast<uint32_t>(existing.size), static_cast<uint32_t>(existing.size >> 32),
                    static_cast<uint32_t>(oldTime), static_cast<uint32_t>(oldTime >> 32), pathOf(entry).c_str(),
                    static_cast<uint32_t>(e.size), static_cast<uint32_t>(e.size >> 32), static_cast<uint32_t>(newTime),
                    static_cast<uint32_t>(newTime >> 32)));
            };
            callbacks.entryFailed = [&](std::size_t entry, ErrorCode code) {
                return entryErrorCallback && entryErrorCallback(pathOf(entry).c_str(), static_cast<int32_t>(code)) == 1;
            };
            const ErrorCode result = extractEntries(archive, selected, pathMode == KEL_PATHS_FULL, *target, passwords, callbacks);
            if (result != ErrorCode::None) fail(result, "extraction failed");
            return 1;
        },
        0);
}

extern "C" int32_t KEL_CALL GetLastArchiveError(int32_t) { return lastError.load(); }
