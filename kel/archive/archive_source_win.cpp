// Archive files on Windows: a handle opened for shared reading, read with explicit offsets.
#include <windows.h>

#include "archive/archive_source.h"
#include "common/kel_error.h"

namespace velmora::kel {
namespace {

class FileSource : public ArchiveSource {
public:
    FileSource(HANDLE h, std::uint64_t size) : h_(h), size_(size) {}
    ~FileSource() override { CloseHandle(h_); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::uint64_t size() const override { return size_; }
    void readAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const override {
        if (offset > size_ || size > size_ - offset) corrupt("the archive is truncated");
        while (size > 0) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            const DWORD want = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
            DWORD got = 0;
            if (!ReadFile(h_, out, want, &got, &at) || got == 0) corrupt("the archive cannot be read");
            out += got;
            offset += got;
            size -= got;
        }
    }

private:
    HANDLE h_;
    std::uint64_t size_;
};

} // namespace

std::shared_ptr<ArchiveSource> openFileSource(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) fail(ErrorCode::ArchiveNotFound, "the archive file was not found");
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h, &size)) {
        CloseHandle(h);
        fail(ErrorCode::ArchiveNotFound, "the archive file was not found");
    }
    return std::make_shared<FileSource>(h, static_cast<std::uint64_t>(size.QuadPart));
}

} // namespace velmora::kel
