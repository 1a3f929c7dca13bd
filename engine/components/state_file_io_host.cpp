// Crash-safe file replacement on the native build (tests, tools): write, fsync, rename.
#include "components/state_file_io.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace velmora {
namespace {

// Makes a finished rename durable: the folder's entry is what changed.
void syncFolderOf(const std::string& path) {
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) folder = std::filesystem::path(".");
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

bool WriteFileDurably(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = true;
    while (ok && !bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        ok = written > 0;
        if (ok) bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    return ok;
}

bool ReplaceFileAtomically(const std::string& source, const std::string& target) {
    std::error_code error;
    std::filesystem::rename(source, target, error);
    if (error) return false;
    syncFolderOf(target);
    return true;
}

void RemoveFileQuietly(const std::string& path) {
    std::error_code error;
    std::filesystem::remove(path, error);
}

} // namespace velmora
