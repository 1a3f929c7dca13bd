// OutputTarget on the host: POSIX calls below a root folder, names converted to UTF-8. An
// existing symbolic link is replaced, never written through.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <unordered_set>

#include "archive/extractor.h"

namespace velmora::kel {
namespace {

constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

std::string utf8(const std::u16string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        std::uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

timespec toTimespec(std::uint64_t fileTime) {
    timespec t{};
    if (fileTime < kUnixEpochAsFileTime) return t;
    const std::uint64_t v = fileTime - kUnixEpochAsFileTime;
    t.tv_sec = static_cast<time_t>(v / 10000000);
    t.tv_nsec = static_cast<long>((v % 10000000) * 100);
    return t;
}

void makeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) == 0) return;
    struct stat st {};
    if (errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return;
    fail(ErrorCode::WriteFailed, std::string("cannot create folder ").append(path));
}

class HostFile : public OutputFile {
public:
    HostFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~HostFile() override {
        if (fd_ >= 0) ::close(fd_);
    }
    void write(const std::uint8_t* data, std::size_t size) override {
        while (size > 0) {
            const ssize_t n = ::write(fd_, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) fail(ErrorCode::WriteFailed, std::string("cannot write ").append(path_));
            data += n;
            size -= static_cast<std::size_t>(n);
        }
    }
    void finish(std::optional<std::uint64_t> modified, std::optional<std::uint32_t> attributes) override {
        if (modified) {
            const timespec times[2] = {toTimespec(*modified), toTimespec(*modified)};
            ::futimens(fd_, times);
        }
        if (attributes && (*attributes & 0x8000)) ::fchmod(fd_, (*attributes >> 16) & 0777);
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) fail(ErrorCode::WriteFailed, std::string("cannot write ").append(path_));
    }

private:
    int fd_;
    std::string path_;
};

class HostFolderTarget : public OutputTarget {
public:
    explicit HostFolderTarget(std::string root) : root_(std::move(root)) {
        while (root_.size() > 1 && root_.back() == '/') root_.pop_back();
    }

    ExistingFile probe(const RelativePath& path) override {
        ExistingFile f;
        struct stat st {};
        if (::lstat(join(path).c_str(), &st) != 0) return f;
        f.exists = true;
        f.isDirectory = S_ISDIR(st.st_mode);
        f.size = static_cast<std::uint64_t>(st.st_size);
        f.modified = kUnixEpochAsFileTime + std::uint64_t(st.st_mtim.tv_sec) * 10000000 + st.st_mtim.tv_nsec / 100;
        return f;
    }

    void createFolder(const RelativePath& path) override { makeParents(path, path.size()); }

    std::unique_ptr<OutputFile> createFile(const RelativePath& path) override {
        makeParents(path, path.size() - 1);
        const std::string full = join(path);
        struct stat st {};
        if (::lstat(full.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(full.c_str());
        const int fd = ::open(full.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) fail(ErrorCode::WriteFailed, std::string("cannot create ").append(full));
        return std::make_unique<HostFile>(fd, full);
    }

    void removeFile(const RelativePath& path) noexcept override { ::unlink(join(path).c_str()); }

    void setFolderInfo(const RelativePath& path, std::optional<std::uint64_t> modified,
                       std::optional<std::uint32_t>) noexcept override {
        if (!modified) return;
        const timespec times[2] = {toTimespec(*modified), toTimespec(*modified)};
        ::utimensat(AT_FDCWD, join(path).c_str(), times, AT_SYMLINK_NOFOLLOW);
    }

private:
    std::string join(const RelativePath& path, std::size_t count = SIZE_MAX) const {
        std::string s = root_;
        for (std::size_t i = 0; i < path.size() && i < count; ++i) {
            s += '/';
            s += utf8(path[i]);
        }
        return s;
    }
    void makeParents(const RelativePath& path, std::size_t count) {
        if (!rootMade_) {
            for (std::size_t at = 1; (at = root_.find('/', at)) != std::string::npos; ++at) {
                struct stat st {};
                const std::string part = root_.substr(0, at);
                if (::stat(part.c_str(), &st) != 0) makeFolder(part);
            }
            makeFolder(root_);
            rootMade_ = true;
        }
        for (std::size_t i = 1; i <= count; ++i) {
            std::string folder = join(path, i);
            if (made_.count(folder)) continue;
            makeFolder(folder);
            made_.insert(std::move(folder));
        }
    }

    std::string root_;
    bool rootMade_ = false;
    std::unordered_set<std::string> made_;  // folders created or found during this extraction
};

} // namespace

std::unique_ptr<OutputTarget> makeFolderTarget(const std::string& folder) {
    return std::make_unique<HostFolderTarget>(folder.empty() ? std::string(".") : folder);
}

} // namespace velmora::kel
