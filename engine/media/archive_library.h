// The engine's binding to kel.lib, the archive library beside the engine: the extract
// operation over the library's four exported functions, and (Windows builds) the loader that
// binds them from the library file at run time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "../../kel/kel_abi.h"

namespace velmora {

// The library's exports as the engine calls them.
struct ArchiveLibraryExports {
    KelOpenListArchiveFn openListArchive = nullptr;
    KelCloseListArchiveFn closeListArchive = nullptr;
    KelExtractArchiveFn extractArchive = nullptr;
    KelGetLastArchiveErrorFn getLastArchiveError = nullptr;
};

struct ArchiveExtractRequest {
    std::string archivePath;
    std::string outputFolder;
    std::string password;
    bool overwrite = true;   // replace existing files
    bool keepPaths = true;   // recreate the archive's folders under the output folder
    // Called with the entry being written, bytes done and total; false asks the library to stop.
    std::function<bool(const std::string& path, std::uint64_t done, std::uint64_t total)> progress;
};

struct ArchiveExtractResult {
    bool success = false;
    std::string errorText;  // empty on success
};

// The text for a failed listing: 1001 "The archive file was not found", 1002 "Illegal path
// used in a wildcard expression", 1003 "The archive cannot be opened: unsupported archive or
// incorrect password", any other "General failure opening archive".
std::string archiveListErrorText(int code);

// The extract operation: list the archive, copy the entry paths, close the listing, then
// extract with that list. A failed listing gives archiveListErrorText, a failed extraction
// "#" and the library's code, an exception its message. Callbacks reach the request through a
// per-thread pointer, so one operation may run on each thread.
ArchiveExtractResult extractArchive(const ArchiveLibraryExports& library, const ArchiveExtractRequest& request);

// The bytes of a library file after the end of its image (where the language file travels);
// empty when there are none. Throws PayloadReadError for bytes that are not a PE image.
std::string bytesAfterImage(std::string_view fileBytes);

// kel.lib loaded from a folder, with its exports bound (Windows builds only). Owns the module
// handle: the library is released when the object goes.
class ArchiveLibrary {
public:
    // Loads folder + "kel.lib" (folder with or without a trailing backslash). Throws
    // std::runtime_error when the file cannot be loaded or lacks one of the four exports.
    static ArchiveLibrary load(const std::string& folder);

    ArchiveLibrary(ArchiveLibrary&&) noexcept;
    ArchiveLibrary& operator=(ArchiveLibrary&&) noexcept;
    ~ArchiveLibrary();

    // Extracts the whole archive, keeping its folder paths.
    ArchiveExtractResult extract(const std::string& archivePath, const std::string& outputFolder,
                                 const std::string& password, bool overwrite) const;
    ArchiveExtractResult extract(const ArchiveExtractRequest& request) const;

    // The bytes appended after the library's image in its file (see bytesAfterImage).
    std::string appendedData() const;

    const ArchiveLibraryExports& exports() const { return exports_; }
    const std::string& path() const { return path_; }

private:
    struct Module;
    ArchiveLibrary(std::unique_ptr<Module> module, ArchiveLibraryExports exports, std::string path);

    std::unique_ptr<Module> module_;
    ArchiveLibraryExports exports_;
    std::string path_;
};

} // namespace velmora
