// The extract operation over kel.lib's exports and the texts of its failures. The library's
// callbacks carry no context argument, so the request of the running operation is found
// through a per-thread pointer set for the operation's duration.
#include "media/archive_library.h"

#include <cstring>
#include <exception>
#include <vector>

#include "bootstrap/payload/payload.h"
#include "core/text.h"

namespace velmora {
namespace {

struct ActiveOperation {
    const ArchiveExtractRequest* request = nullptr;
    bool passwordGiven = false;  // the stored password is offered once per library call
};

thread_local ActiveOperation* active = nullptr;

// Restores the previous operation pointer on every path out.
class OperationScope {
public:
    explicit OperationScope(ActiveOperation& op) : previous_(active) { active = &op; }
    ~OperationScope() { active = previous_; }
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;

private:
    ActiveOperation* previous_;
};

int32_t KEL_CALL supplyPassword(char* buffer) {
    if (active == nullptr || active->passwordGiven || buffer == nullptr) return 0;
    active->passwordGiven = true;
    const std::string& password = active->request->password;
    const std::size_t n = password.size() < KEL_PASSWORD_BUFFER_SIZE - 1 ? password.size() : KEL_PASSWORD_BUFFER_SIZE - 1;
    std::memcpy(buffer, password.data(), n);
    buffer[n] = '\0';
    return 1;
}

int32_t KEL_CALL reportProgress(const char* path, uint64_t done, uint64_t total) {
    if (active == nullptr || !active->request->progress) return 1;
    return active->request->progress(path ? path : "", done, total) ? 1 : 0;
}

int32_t KEL_CALL entryFailed(const char*, int32_t) { return 1; }

int32_t KEL_CALL answerOverwrite(const char*, uint32_t, uint32_t, uint32_t, uint32_t, const char*, uint32_t, uint32_t,
                                 uint32_t, uint32_t) {
    return active != nullptr && active->request->overwrite ? KEL_OVERWRITE_REPLACE : KEL_OVERWRITE_SKIP;
}

ArchiveExtractResult failure(std::string text) { return ArchiveExtractResult{false, std::move(text)}; }

} // namespace

std::string archiveListErrorText(int code) {
    switch (code) {
    case KEL_ERROR_NOT_FOUND: return "The archive file was not found";
    case KEL_ERROR_ILLEGAL_PATH: return "Illegal path used in a wildcard expression";
    case KEL_ERROR_CANNOT_OPEN: return "The archive cannot be opened: unsupported archive or incorrect password";
    default: return "General failure opening archive";
    }
}

ArchiveExtractResult extractArchive(const ArchiveLibraryExports& library, const ArchiveExtractRequest& request) {
    try {
        ActiveOperation op{&request, false};
        OperationScope scope(op);

        KelListEntry* entries = nullptr;
        int32_t count = 0;
        const intptr_t handle = library.openListArchive(request.archivePath.c_str(), 0, supplyPassword, 0, 0, 0,
                                                        request.password.c_str(), &entries, &count);
        if (handle == 0) return failure(archiveListErrorText(library.getLastArchiveError(0)));
        std::vector<std::string> paths;
        paths.reserve(count > 0 ? static_cast<std::size_t>(count) : 0);
        for (int32_t i = 0; i < count; ++i) paths.emplace_back(entries[i].path ? entries[i].path : "");
        library.closeListArchive(handle);

        std::vector<const char*> list;
        list.reserve(paths.size());
        for (const std::string& p : paths) list.push_back(p.c_str());
        const KelFileList files{list.data(), static_cast<uint32_t>(list.size())};
        op.passwordGiven = false;
        const int32_t ok = library.extractArchive(request.archivePath.c_str(), 1, request.outputFolder.c_str(), &files,
                                                  request.keepPaths ? KEL_PATHS_FULL : KEL_PATHS_NONE,
                                                  request.password.c_str(), supplyPassword, reportProgress,
                                                  entryFailed, answerOverwrite);
        if (ok == 0) return failure(std::string(1, '#').append(text::decimal(library.getLastArchiveError(0))));
        return ArchiveExtractResult{true, {}};
    } catch (const std::exception& e) {
        return failure(e.what());
    }
}

std::string bytesAfterImage(std::string_view fileBytes) {
    const std::uint64_t end = peStubSize(fileBytes);
    if (end >= fileBytes.size()) return {};
    return std::string(fileBytes.substr(static_cast<std::size_t>(end)));
}

} // namespace velmora
