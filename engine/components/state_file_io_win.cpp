// Crash-safe file replacement on Windows: write, FlushFileBuffers, MoveFileExA with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH (the move is on disk when it returns).
#include "components/state_file_io.h"

#include <windows.h>

#include <utility>

namespace velmora {
namespace {

class FileHandle {
public:
    explicit FileHandle(HANDLE h) : h_(h) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { close(); }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }
    bool close() {
        if (!valid()) return true;
        return CloseHandle(std::exchange(h_, INVALID_HANDLE_VALUE)) != 0;
    }

private:
    HANDLE h_;
};

} // namespace

bool WriteFileDurably(const std::string& path, std::string_view bytes) {
    FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    if (!FlushFileBuffers(file.get())) return false;
    return file.close();
}

bool ReplaceFileAtomically(const std::string& source, const std::string& target) {
    return MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void RemoveFileQuietly(const std::string& path) { DeleteFileA(path.c_str()); }

} // namespace velmora
