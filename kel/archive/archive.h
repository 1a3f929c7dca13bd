// A 7z archive opened for reading: the entries of its header and the folders (solid blocks of
// coders) that hold their data. Opening reads and checks the headers only; folder data is
// decoded on demand through openFolder.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_source.h"
#include "common/byte_stream.h"

namespace velmora::kel {

// Ceilings on what an archive may make the reader allocate.
struct ReadLimits {
    // Largest dictionary window; all windows of one folder together may exceed it by 64 MiB
    // (the small call and jump streams beside a BCJ2 main stream).
    std::uint64_t maxWindow = sizeof(void*) >= 8 ? (1ull << 30) + (1ull << 29) : (1ull << 29);
    std::uint64_t maxHeaderSize = 1ull << 28;
    unsigned maxKeyCyclesPower = 24;  // 2^24 SHA-256 rounds already take seconds
    std::uint64_t maxEntries = 1u << 22;
};

struct Coder {
    std::uint64_t methodId = 0;
    std::uint32_t inStreams = 1;   // packed side
    std::uint32_t outStreams = 1;  // unpacked side
    std::vector<std::uint8_t> props;
};

struct Folder {
    std::vector<Coder> coders;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> bindPairs;  // (in stream, out stream)
    std::vector<std::uint32_t> packedStreams;  // in streams fed by the archive's pack streams, in order
    std::vector<std::uint64_t> unpackSizes;    // one per out stream
    std::optional<std::uint32_t> crc;
    std::size_t firstPackStream = 0;           // index of its first pack stream in the archive
    std::uint32_t mainOutStream = 0;           // the out stream not bound to any coder

    std::uint64_t unpackSize() const { return unpackSizes[mainOutStream]; }
    bool encrypted() const;
};

struct ArchiveEntry {
    std::u16string name;                 // as stored: components separated by '/' or '\'
    std::uint64_t size = 0;
    bool isDirectory = false;
    bool hasStream = false;              // false for directories and empty files
    bool isAnti = false;
    std::optional<std::uint32_t> crc;
    std::optional<std::uint32_t> attributes;
    std::optional<std::uint64_t> modified, created, accessed;  // FILETIME values
    std::uint32_t folder = 0;            // with hasStream: its folder
    std::uint64_t offsetInFolder = 0;    // with hasStream: where its bytes start in the folder
};

// Supplies passwords in turn: the first candidate, then alternatives once a candidate failed.
// Returns nothing when no further password is offered.
using PasswordSupplier = std::function<std::optional<std::u16string>()>;

// The passwords tried so far and the one in use.
class PasswordChain {
public:
    explicit PasswordChain(PasswordSupplier supplier) : supplier_(std::move(supplier)) {}
    // The password in use; asks the supplier for the first one on first use. Null when none.
    const std::u16string* current();
    // Gives up the current password; true when another one was supplied.
    bool next();
    bool confirmed() const { return confirmed_; }
    void confirm() { confirmed_ = true; }

private:
    PasswordSupplier supplier_;
    std::optional<std::u16string> current_;
    bool started_ = false;
    bool confirmed_ = false;
    int attempts_ = 0;
};

class SevenZipArchive {
public:
    // Reads the signature header and the (possibly packed or encrypted) header. Throws KelError:
    // CannotOpen for something that is not a 7z archive or a header no password decrypts,
    // CorruptArchive for damaged or truncated headers.
    SevenZipArchive(std::shared_ptr<const ArchiveSource> source, PasswordChain& passwords, ReadLimits limits = {});

    const std::vector<ArchiveEntry>& entries() const { return entries_; }
    const std::vector<Folder>& folders() const { return folders_; }
    bool headerEncrypted() const { return headerEncrypted_; }
    // Bytes the folder's packed streams take in the archive.
    std::uint64_t folderPackedSize(std::size_t folder) const;

    // The decoded main stream of a folder (exactly its unpack size, checked by the reader).
    // password: needed for folders with an AES coder; throws WrongPassword when it is null.
    ByteStreamPtr openFolder(std::size_t folder, const std::u16string* password) const;

private:
    std::shared_ptr<const ArchiveSource> source_;
    ReadLimits limits_;
    std::vector<std::uint64_t> packOffsets_;  // absolute offset of each pack stream
    std::vector<std::uint64_t> packSizes_;
    std::vector<Folder> folders_;
    std::vector<ArchiveEntry> entries_;
    bool headerEncrypted_ = false;

    friend class HeaderParser;
};

} // namespace velmora::kel
