// The Windows side of an installer run: files, short names, the registry keys the run reads and
// cleans, message boxes, the folder browser and the system's message texts.
#include "msi/installer_host.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <vector>

#include "msi/package_edits.h"
#include "platform/file_utils.h"
#include "platform/platform_switches.h"
#include "platform/registry_win.h"

namespace velmora::msi {
namespace {

constexpr const char* kTempPackagesKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\TempPackages";
constexpr const char* kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

class WindowsInstallerHost : public InstallerHost {
public:
    bool FolderExists(const std::string& path) override { return platform::folderExists(path); }
    bool FileExists(const std::string& path) override { return platform::fileExists(path); }
    std::string ShortPath(const std::string& path) override {
        char buffer[MAX_PATH * 2] = {};
        const DWORD n = GetShortPathNameA(path.c_str(), buffer, sizeof(buffer));
        return n == 0 || n >= sizeof(buffer) ? std::string() : std::string(buffer, n);
    }
    bool CreateFolders(const std::string& path) override {
        const std::string folder = platform::removeTrailingBackslash(path);
        return folder.empty() || platform::folderExists(folder) || platform::createFolders(folder);
    }
    bool WriteTextFile(const std::string& path, const std::string& bytes) override {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) return false;
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        return std::fclose(f) == 0 && written;
    }
    void RemoveFile(const std::string& path) override { DeleteFileA(path.c_str()); }
    std::string CurrentFolder() override {
        char buffer[MAX_PATH * 2] = {};
        const DWORD n = GetCurrentDirectoryA(sizeof(buffer), buffer);
        return n == 0 || n >= sizeof(buffer) ? std::string() : std::string(buffer, n);
    }
    void SetCurrentFolder(const std::string& path) override {
        if (!path.empty()) SetCurrentDirectoryA(path.c_str());
    }

    std::string SystemMessage(std::uint32_t code) override {
        char* buffer = nullptr;
        const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                       nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
        std::string text = n && buffer ? std::string(buffer, n) : std::string();
        if (buffer) LocalFree(buffer);
        return text;
    }
    void Sleep(unsigned milliseconds) override { ::Sleep(milliseconds); }
    std::string AccountName() override {
        if (!NtPlatform()) {
            char name[256] = {};
            DWORD size = sizeof(name);
            return GetUserNameA(name, &size) ? std::string(name) : std::string();
        }
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<unsigned char> data(size ? size : 1);
        std::string account;
        if (size && GetTokenInformation(token, TokenUser, data.data(), size, &size)) {
            char name[256] = {}, domain[256] = {};
            DWORD nameSize = sizeof(name), domainSize = sizeof(domain);
            SID_NAME_USE use;
            if (LookupAccountSidA(nullptr, reinterpret_cast<TOKEN_USER*>(data.data())->User.Sid, name, &nameSize, domain,
                                  &domainSize, &use))
                account = std::string(domain) + "\\" + name;
        }
        CloseHandle(token);
        return account;
    }
    bool NtPlatform() override { return (GetVersion() & 0x80000000u) == 0; }
    std::string NewGuid() override {
        GUID g{};
        if (CoCreateGuid(&g) != S_OK) return {};
        char text[64];
        std::snprintf(text, sizeof(text), "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                      static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                      g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
        return text;
    }
    std::string DateTimeText() override {
        char date[128] = {}, time[128] = {};
        GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof(date));
        GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, time, sizeof(time));
        return std::string(date) + " " + time;
    }

    void RemoveStaleTempPackages(const std::string& productCode) override {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTempPackagesKey, 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS) return;
        std::vector<std::string> names;
        for (DWORD i = 0;; ++i) {
            char name[1024];
            DWORD size = sizeof(name);
            if (RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            names.emplace_back(name, size);
        }
        for (const std::string& name : StaleTempPackageValues(names, productCode)) RegDeleteValueA(key, name.c_str());
        RegCloseKey(key);
    }
    std::string UninstallString(bool localMachine, const std::string& title) override {
        const REGSAM view = platform::registryAccessView(platform::kRegistryViewDefault, sizeof(void*) == 8);
        return platform::win::readRegistryText(localMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, kUninstallKey + title,
                                               "UninstallString", KEY_READ | view);
    }

    std::optional<std::string> BrowseForFolder(const std::string& title, std::intptr_t owner) override {
        return platform::BrowseForFolder(title, "", reinterpret_cast<void*>(owner));
    }
    int ShowMessageBox(std::intptr_t owner, const std::string& text, const std::string& caption, std::uint32_t style,
                       bool languageNeutral) override {
        const WORD language = languageNeutral ? MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL) : 0;
        return MessageBoxExA(reinterpret_cast<HWND>(owner), text.c_str(), caption.c_str(), style, language);
    }
};

} // namespace

std::unique_ptr<InstallerHost> createWindowsInstallerHost() { return std::make_unique<WindowsInstallerHost>(); }

} // namespace velmora::msi
