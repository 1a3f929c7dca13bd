// Random access to the archive's bytes: a file on disk, or memory for tests and fuzzing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmora::kel {

class ArchiveSource {
public:
    virtual ~ArchiveSource() = default;
    virtual std::uint64_t size() const = 0;
    // Reads exactly size bytes at offset; throws KelError when they are not there.
    virtual void readAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const = 0;
};

class MemorySource : public ArchiveSource {
public:
    MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint64_t size() const override { return size_; }
    void readAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const override;

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// Opens a file by its native path (UTF-8 on the host, ANSI on Windows); throws KelError with
// ArchiveNotFound when it cannot be opened.
std::shared_ptr<ArchiveSource> openFileSource(const std::string& path);

} // namespace velmora::kel
