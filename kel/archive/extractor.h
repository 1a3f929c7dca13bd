// Extraction of selected entries into an output folder. The file system is reached through
// OutputTarget (a host and a Windows implementation), so the whole procedure - path checks,
// overwrite answers, CRC checks, password retries, progress and cancel - is the same everywhere.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/entry_path.h"
#include "common/kel_error.h"

namespace velmora::kel {

struct ExistingFile {
    bool exists = false;
    bool isDirectory = false;
    std::uint64_t size = 0;
    std::optional<std::uint64_t> modified;  // FILETIME
};

class OutputFile {
public:
    virtual ~OutputFile() = default;
    virtual void write(const std::uint8_t* data, std::size_t size) = 0;  // throws WriteFailed
    // Closes the file and applies the stored time and attributes.
    virtual void finish(std::optional<std::uint64_t> modified, std::optional<std::uint32_t> attributes) = 0;
};

class OutputTarget {
public:
    virtual ~OutputTarget() = default;
    virtual ExistingFile probe(const RelativePath& path) = 0;
    virtual void createFolder(const RelativePath& path) = 0;  // with its parents; throws WriteFailed
    // Creates or truncates a file, creating its parent folders; throws WriteFailed.
    virtual std::unique_ptr<OutputFile> createFile(const RelativePath& path) = 0;
    virtual void removeFile(const RelativePath& path) noexcept = 0;
    virtual void setFolderInfo(const RelativePath& path, std::optional<std::uint64_t> modified,
                               std::optional<std::uint32_t> attributes) noexcept = 0;
};

// Output below a folder given by its native path (UTF-8 on the host, ANSI on Windows).
std::unique_ptr<OutputTarget> makeFolderTarget(const std::string& folder);

enum class OverwriteChoice { Cancel, Skip, SkipAll, OverwriteAll, Overwrite };

struct ExtractCallbacks {
    // Before each file and during long ones; false cancels.
    std::function<bool(std::size_t entry, std::uint64_t done, std::uint64_t total)> progress;
    // An output file exists already; without a callback it is kept.
    std::function<OverwriteChoice(std::size_t entry, const ExistingFile& existing)> overwrite;
    // An entry failed; true goes on with the others (the extraction still fails), false stops.
    std::function<bool(std::size_t entry, ErrorCode code)> entryFailed;
};

// Extracts the entries whose indexes are given (any order, duplicates ignored). keepPaths:
// recreate the stored folders; otherwise every file lands directly in the output folder.
// Returns ErrorCode::None, or the first failure. Entry paths are all checked before anything
// is written: one unsafe path rejects the whole extraction.
ErrorCode extractEntries(const SevenZipArchive& archive, std::vector<std::size_t> selected, bool keepPaths,
                         OutputTarget& target, PasswordChain& passwords, const ExtractCallbacks& callbacks);

} // namespace velmora::kel
