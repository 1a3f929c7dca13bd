// Archive files on the host: POSIX pread on a descriptor owned by the source.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/archive_source.h"
#include "common/kel_error.h"

namespace velmora::kel {
namespace {

class FileSource : public ArchiveSource {
public:
    FileSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    ~FileSource() override { ::close(fd_); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::uint64_t size() const override { return size_; }
    void readAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const override {
        if (offset > size_ || size > size_ - offset) corrupt("the archive is truncated");
        while (size > 0) {
            const ssize_t n = ::pread(fd_, out, size, static_cast<off_t>(offset));
            if (n <= 0) corrupt("the archive cannot be read");
            out += n;
            offset += static_cast<std::uint64_t>(n);
            size -= static_cast<std::size_t>(n);
        }
    }

private:
    int fd_;
    std::uint64_t size_;
};

} // namespace

std::shared_ptr<ArchiveSource> openFileSource(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail(ErrorCode::ArchiveNotFound, "the archive file was not found");
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        fail(ErrorCode::ArchiveNotFound, "the archive file was not found");
    }
    return std::make_shared<FileSource>(fd, static_cast<std::uint64_t>(st.st_size));
}

} // namespace velmora::kel
