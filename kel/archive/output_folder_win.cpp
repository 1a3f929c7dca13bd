// OutputTarget on Windows: wide-character calls on "\\?\" paths below the output folder, so
// long paths and names outside the ANSI code page work, and no path normalisation can move a
// checked component elsewhere.
#include <windows.h>

#include <unordered_set>

#include "archive/extractor.h"

namespace velmora::kel {
namespace {

constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

std::wstring widen(const std::string& ansi) {
    if (ansi.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), w.data(), n);
    return w;
}

FILETIME toFileTime(std::uint64_t v) {
    FILETIME t;
    t.dwLowDateTime = static_cast<DWORD>(v);
    t.dwHighDateTime = static_cast<DWORD>(v >> 32);
    return t;
}

void makeFolder(const std::wstring& path) {
    if (CreateDirectoryW(path.c_str(), nullptr)) return;
    const DWORD attrs = GetFileAttributesW(path.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY)) return;
    fail(ErrorCode::WriteFailed, "cannot create a folder");
}

class WinFile : public OutputFile {
public:
    WinFile(HANDLE h, std::wstring path) : h_(h), path_(std::move(path)) {}
    ~WinFile() override {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    void write(const std::uint8_t* data, std::size_t size) override {
        while (size > 0) {
            const DWORD want = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
            DWORD done = 0;
            if (!WriteFile(h_, data, want, &done, nullptr) || done == 0) fail(ErrorCode::WriteFailed, "cannot write a file");
            data += done;
            size -= done;
        }
    }
    void finish(std::optional<std::uint64_t> modified, std::optional<std::uint32_t> attributes) override {
        if (modified) {
            const FILETIME t = toFileTime(*modified);
            SetFileTime(h_, nullptr, nullptr, &t);
        }
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        if (!CloseHandle(h)) fail(ErrorCode::WriteFailed, "cannot write a file");
        if (attributes && (*attributes & kKeptAttributes)) SetFileAttributesW(path_.c_str(), *attributes & kKeptAttributes);
    }

private:
    HANDLE h_;
    std::wstring path_;
};

class WinFolderTarget : public OutputTarget {
public:
    explicit WinFolderTarget(const std::string& folder) {
        std::wstring w = widen(folder.empty() ? std::string(".") : folder);
        const DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
        std::wstring full(n, L'\0');
        const DWORD got = GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
        if (got == 0 || got >= n) fail(ErrorCode::WriteFailed, "invalid output folder");
        full.resize(got);
        while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
        if (full.rfind(L"\\\\?\\", 0) == 0) {
            root_ = full;
        } else if (full.rfind(L"\\\\", 0) == 0) {
            root_ = L"\\\\?\\UNC\\" + full.substr(2);
        } else {
            root_ = L"\\\\?\\" + full;
        }
        if (root_.back() == L'\\') root_.pop_back();
    }

    ExistingFile probe(const RelativePath& path) override {
        ExistingFile f;
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(join(path).c_str(), GetFileExInfoStandard, &data)) return f;
        f.exists = true;
        f.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        f.size = std::uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
        f.modified = std::uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
        return f;
    }

    void createFolder(const RelativePath& path) override { makeParents(path, path.size()); }

    std::unique_ptr<OutputFile> createFile(const RelativePath& path) override {
        makeParents(path, path.size() - 1);
        const std::wstring full = join(path);
        // A read-only, hidden or system file would refuse to be replaced.
        const DWORD old = GetFileAttributesW(full.c_str());
        if (old != INVALID_FILE_ATTRIBUTES && (old & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        HANDLE h = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) fail(ErrorCode::WriteFailed, "cannot create a file");
        return std::make_unique<WinFile>(h, full);
    }

    void removeFile(const RelativePath& path) noexcept override {
        const std::wstring full = join(path);
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(full.c_str());
    }

    void setFolderInfo(const RelativePath& path, std::optional<std::uint64_t> modified,
                       std::optional<std::uint32_t> attributes) noexcept override {
        const std::wstring full = join(path);
        if (modified) {
            HANDLE h = CreateFileW(full.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                const FILETIME t = toFileTime(*modified);
                SetFileTime(h, nullptr, nullptr, &t);
                CloseHandle(h);
            }
        }
        if (attributes && (*attributes & kKeptAttributes))
            SetFileAttributesW(full.c_str(), (*attributes & kKeptAttributes) | FILE_ATTRIBUTE_DIRECTORY);
    }

private:
    std::wstring join(const RelativePath& path, std::size_t count = SIZE_MAX) const {
        std::wstring s = root_;
        for (std::size_t i = 0; i < path.size() && i < count; ++i) {
            s += L'\\';
            s.append(path[i].begin(), path[i].end());
        }
        return s;
    }
    void makeParents(const RelativePath& path, std::size_t count) {
        if (!rootMade_) {
            // The root and its missing parents, skipping the "\\?\" or "\\?\UNC\server\share" part.
            std::size_t start = root_.rfind(L"\\\\?\\UNC\\", 0) == 0 ? root_.find(L'\\', root_.find(L'\\', 8) + 1) : 7;
            for (std::size_t at = start; at != std::wstring::npos && at < root_.size(); at = root_.find(L'\\', at + 1))
                if (GetFileAttributesW(root_.substr(0, at).c_str()) == INVALID_FILE_ATTRIBUTES) makeFolder(root_.substr(0, at));
            makeFolder(root_);
            rootMade_ = true;
        }
        for (std::size_t i = 1; i <= count; ++i) {
            std::wstring folder = join(path, i);
            if (made_.count(folder)) continue;
            makeFolder(folder);
            made_.insert(std::move(folder));
        }
    }

    std::wstring root_;
    bool rootMade_ = false;
    std::unordered_set<std::wstring> made_;  // folders created or found during this extraction
};

} // namespace

std::unique_ptr<OutputTarget> makeFolderTarget(const std::string& folder) {
    return std::make_unique<WinFolderTarget>(folder);
}

} // namespace velmora::kel
