// Folder listings, clearing, restart deletion, free space and the folder picker on Win32.
#include "platform/file_utils.h"

#include <windows.h>
#include <shlobj.h>

#include <memory>

#include "core/text.h"

namespace velmora::platform {
namespace {

// One directory enumeration; the search handle is closed exactly once.
class FindHandle {
public:
    explicit FindHandle(const std::string& mask) : h_(FindFirstFileA(mask.c_str(), &data_)) {}
    ~FindHandle() { if (h_ != INVALID_HANDLE_VALUE) FindClose(h_); }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;

    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    const WIN32_FIND_DATAA& entry() const { return data_; }
    bool next() { return FindNextFileA(h_, &data_) != 0; }

private:
    WIN32_FIND_DATAA data_{};
    HANDLE h_;
};

bool isDots(const char* name) { return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)); }
bool isFolder(const WIN32_FIND_DATAA& d) { return (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// Calls visit(entry) for every entry of mask except "." and ".."; false when mask cannot be
// enumerated at all.
template <typename Visit>
bool forEachEntry(const std::string& mask, Visit visit) {
    FindHandle find(mask);
    if (!find.valid()) return false;
    do {
        if (!isDots(find.entry().cFileName)) visit(find.entry());
    } while (find.next());
    return true;
}

struct ComFree {
    void operator()(void* p) const { CoTaskMemFree(p); }
};

} // namespace

bool fileExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool folderExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool createFolders(const std::string& path) {
    const std::string folder = removeTrailingBackslash(path);
    if (folder.empty() || folderExists(folder)) return true;
    const std::string parent = removeTrailingBackslash(folderPart(folder));
    if (!parent.empty() && parent != folder && parent.back() != ':' && !createFolders(parent)) return false;
    return CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool removeFolder(const std::string& path) {
    return RemoveDirectoryA(removeTrailingBackslash(path).c_str()) != 0;
}

std::int64_t freeSpace(const std::string& path) {
    // The drive part: "C:\" or "\\server\share\".
    std::string drive = path;
    if (path.size() >= 2 && path[1] == ':') {
        drive = path.substr(0, 2) + "\\";
    } else if (path.rfind("\\\\", 0) == 0) {
        const std::size_t server = path.find('\\', 2);
        const std::size_t share = server == std::string::npos ? server : path.find('\\', server + 1);
        drive = addTrailingBackslash(share == std::string::npos ? path : path.substr(0, share));
    }
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExA(drive.c_str(), &available, nullptr, nullptr)) return 0;
    return static_cast<std::int64_t>(available.QuadPart);
}

std::vector<std::string> ListFolders(const std::string& folder, bool recurse) {
    std::vector<std::string> out;
    const std::string base = addTrailingBackslash(folder);
    forEachEntry(base + "*.*", [&](const WIN32_FIND_DATAA& d) {
        if (!isFolder(d) || (d.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) return;
        const std::string sub = base + d.cFileName;
        if (recurse) {
            auto deeper = ListFolders(sub, true);
            out.insert(out.end(), deeper.begin(), deeper.end());
        }
        out.push_back(sub);
    });
    return out;
}

std::vector<std::string> ListFiles(const std::string& mask, bool recurse) {
    std::vector<std::string> out;
    const std::string folder = folderPart(mask);
    const std::string pattern = fileNamePart(mask);
    if (recurse) {
        for (const auto& sub : ListFolders(folder, false)) {
            auto deeper = ListFiles(sub + "\\" + pattern, true);
            out.insert(out.end(), deeper.begin(), deeper.end());
        }
    }
    forEachEntry(mask, [&](const WIN32_FIND_DATAA& d) {
        if (!isFolder(d)) out.push_back(folder + d.cFileName);
    });
    return out;
}

std::vector<std::string> ListFilesTree(const std::string& mask, bool recurse, bool includeFolders) {
    std::vector<std::string> out;
    const std::string folder = folderPart(mask);
    const std::string pattern = fileNamePart(mask);
    const bool enumerated = forEachEntry(folder + "*.*", [&](const WIN32_FIND_DATAA& d) {
        if (!isFolder(d)) return;
        const std::string sub = folder + d.cFileName;
        if (recurse) {
            auto deeper = ListFilesTree(sub + "\\" + pattern, true, includeFolders);
            out.insert(out.end(), deeper.begin(), deeper.end());
        }
        if (includeFolders) out.push_back(sub);
    });
    if (!enumerated) return out;
    forEachEntry(mask, [&](const WIN32_FIND_DATAA& d) {
        if (!isFolder(d)) out.push_back(folder + d.cFileName);
    });
    return out;
}

void ClearFolder(const std::string& folder, bool recurse) {
    const std::string base = removeTrailingBackslash(folder);
    forEachEntry(base + "\\*.*", [&](const WIN32_FIND_DATAA& d) {
        const std::string path = base + "\\" + d.cFileName;
        if (isFolder(d)) {
            if (!recurse) return;
            ClearFolder(path, true);
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            RemoveDirectoryA(path.c_str());
        } else {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
    });
}

void DeleteOnReboot(const std::string& path) {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExA(&version);
#pragma GCC diagnostic pop
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        return;
    }
    // Windows 9x deletes files listed as NUL=<short path> in wininit.ini's [Rename] section.
    char shortPath[1024] = {};
    GetShortPathNameA(path.c_str(), shortPath, sizeof(shortPath));
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string ini = addTrailingBackslash(windows) + "wininit.ini";
    WritePrivateProfileStringA("Rename", "NUL", shortPath, ini.c_str());
}

std::optional<std::string> BrowseForFolder(const std::string& title, const std::string& startFolder, void* owner) {
    BROWSEINFOA info{};
    info.hwndOwner = static_cast<HWND>(owner);
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    std::unique_ptr<ITEMIDLIST, ComFree> root;
    if (!startFolder.empty()) {
        IShellFolder* desktop = nullptr;
        if (SUCCEEDED(SHGetDesktopFolder(&desktop))) {
            std::u16string wide = text::toUtf16(startFolder);
            wide.push_back(u'\0');
            LPITEMIDLIST pidl = nullptr;
            if (SUCCEEDED(desktop->ParseDisplayName(nullptr, nullptr, reinterpret_cast<LPWSTR>(wide.data()), nullptr,
                                                    &pidl, nullptr)))
                root.reset(pidl);
            desktop->Release();
        }
        info.pidlRoot = root.get();
    }
    std::unique_ptr<ITEMIDLIST, ComFree> chosen(SHBrowseForFolderA(&info));
    if (!chosen) return std::nullopt;
    char path[MAX_PATH] = {};
    if (!SHGetPathFromIDListA(chosen.get(), path)) return std::nullopt;
    return std::string(path);
}

} // namespace velmora::platform
