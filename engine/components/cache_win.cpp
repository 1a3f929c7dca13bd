// The installation cache's files and registry on Win32, and the installed-product queries
// through msi.dll.
#include <windows.h>
#include <winioctl.h>

#include "components/cache.h"
#include "components/state_file_io.h"
#include "msi/msi_library.h"
#include "platform/file_utils.h"
#include "platform/registry_win.h"
#include "platform/win_handles_win.h"

namespace velmora {
namespace {

HKEY hiveOf(RegistryRoot root) { return root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

class WindowsCacheSystem final : public CacheSystem {
public:
    explicit WindowsCacheSystem(bool process64Bit)
        : view_(platform::registryAccessView(platform::kRegistryViewDefault, process64Bit)) {}

    RegistryText ReadRegistryText(RegistryRoot root, const std::string& key, const std::string& name) const override {
        RegistryText result;
        const auto opened = platform::win::RegKey::open(hiveOf(root), key, KEY_READ | view_);
        if (!opened) return result;
        result.keyOpened = true;
        result.value = opened->readString(name);
        return result;
    }

    bool WriteRegistryText(RegistryRoot root, const std::string& key, const std::string& name,
                           const std::string& value) override {
        HKEY handle = nullptr;
        if (RegCreateKeyExA(hiveOf(root), key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE | view_,
                            nullptr, &handle, nullptr) != ERROR_SUCCESS)
            return false;
        const LONG rc = RegSetValueExA(handle, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>(value.size() + 1));
        RegCloseKey(handle);
        return rc == ERROR_SUCCESS;
    }

    void DeleteRegistryKey(RegistryRoot root, const std::string& key) override {
        // RegDeleteKeyExA (with the view) exists from Windows XP x64 on.
        using DeleteKeyEx = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);
        if (const auto deleteEx = platform::win::systemFunction<DeleteKeyEx>("advapi32.dll", "RegDeleteKeyExA")) {
            deleteEx(hiveOf(root), key.c_str(), view_, 0);
            return;
        }
        RegDeleteKeyA(hiveOf(root), key.c_str());
    }

    bool FileExists(const std::string& path) const override { return platform::fileExists(path); }
    bool FolderExists(const std::string& path) const override { return platform::folderExists(path); }

    bool CreateFolder(const std::string& path) override {
        return CreateDirectoryA(path.c_str(), nullptr) != 0 || platform::folderExists(path);
    }

    bool RemoveFolder(const std::string& path) override { return RemoveDirectoryA(path.c_str()) != 0; }

    std::vector<std::string> FileNames(const std::string& folder) const override {
        std::vector<std::string> names;
        WIN32_FIND_DATAA entry{};
        const HANDLE first = FindFirstFileA((platform::addTrailingBackslash(folder) + "*.*").c_str(), &entry);
        if (first == INVALID_HANDLE_VALUE) return names;
        const platform::win::UniqueFind find(first);
        do {
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.emplace_back(entry.cFileName);
        } while (FindNextFileA(first, &entry));
        return names;
    }

    std::optional<std::string> ReadWholeFile(const std::string& path) const override {
        const platform::win::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.get() == INVALID_HANDLE_VALUE) return std::nullopt;
        std::string bytes;
        char buffer[1 << 16];
        for (;;) {
            DWORD read = 0;
            if (!ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr)) return std::nullopt;
            if (read == 0) break;
            bytes.append(buffer, read);
        }
        return bytes;
    }

    bool WriteWholeFile(const std::string& path, std::string_view bytes) override {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        const platform::win::UniqueHandle file(
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.get() == INVALID_HANDLE_VALUE) return false;
        while (!bytes.empty()) {
            DWORD written = 0;
            const DWORD chunk = bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
            if (!WriteFile(file.get(), bytes.data(), chunk, &written, nullptr) || written == 0) return false;
            bytes.remove_prefix(written);
        }
        return true;
    }

    bool WriteWholeFileAtomically(const std::string& path, std::string_view bytes) override {
        const std::string temporary = path + ".~save";
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (WriteFileDurably(temporary, bytes) && ReplaceFileAtomically(temporary, path)) return true;
        RemoveFileQuietly(temporary);
        return false;
    }

    bool CopyOneFile(const std::string& from, const std::string& to) override {
        SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) return false;
        SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_NORMAL);
        return true;
    }

    void RemoveFile(const std::string& path) override {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }

    void SetHidden(const std::string& folder) override {
        const DWORD attributes = GetFileAttributesA(folder.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(folder.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN);
    }

    void SetCompressed(const std::string& folder, bool compressed) override {
        const platform::win::UniqueHandle handle(CreateFileA(folder.c_str(), GENERIC_READ | GENERIC_WRITE,
                                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                                             FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (handle.get() == INVALID_HANDLE_VALUE) return;
        USHORT format = compressed ? COMPRESSION_FORMAT_DEFAULT : COMPRESSION_FORMAT_NONE;
        DWORD returned = 0;
        DeviceIoControl(handle.get(), FSCTL_SET_COMPRESSION, &format, sizeof(format), nullptr, 0, &returned, nullptr);
    }

    void ClearFolder(const std::string& folder) override { platform::ClearFolder(folder, true); }

    bool MoveFolder(const std::string& from, const std::string& to) override {
        return MoveFileA(from.c_str(), to.c_str()) != 0;
    }

    void DeleteOnReboot(const std::string& path) override { platform::DeleteOnReboot(path); }

private:
    REGSAM view_;
};

class WindowsProductQuery final : public ProductQuery {
public:
    int ProductState(const std::string& productCode) override { return msi::queryProductState(productCode); }
    std::optional<std::string> ProductInfo(const std::string& productCode, const std::string& property) override {
        return msi::productInfo(productCode, property);
    }
};

} // namespace

std::unique_ptr<CacheSystem> createWindowsCacheSystem(bool process64Bit) {
    return std::make_unique<WindowsCacheSystem>(process64Bit);
}

std::unique_ptr<ProductQuery> createWindowsProductQuery() { return std::make_unique<WindowsProductQuery>(); }

} // namespace velmora
