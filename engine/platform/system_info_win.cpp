// The real SystemInfo: each query asks the Windows API ("A" functions, ANSI text). Functions
// that old Windows versions lack are looked up at run time, so their absence gives the answer
// of a system without the feature instead of a load failure.
#include "platform/system_info.h"

#include "core/text.h"
#include "platform/ansi_path.h"
#include "platform/file_utils.h"
#include "platform/path_names.h"
#include "platform/process_info.h"
#include "platform/registry_win.h"
#include "platform/vm_probe_win.h"
#include "platform/win_handles_win.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <vector>

namespace velmora::platform {
namespace {

using win::RegKey;

constexpr const char* kCurrentVersionKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr const char* kNtCurrentVersionKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\";
constexpr const char* k9xCurrentVersionKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
constexpr const char* kSetupKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup";
constexpr const char* kInternetExplorerKey = "SOFTWARE\\Microsoft\\Internet Explorer";
constexpr bool kProcess64Bit = sizeof(void*) == 8;

// Folder text of a "fill this buffer" folder function (260 bytes, as the system folders always
// fit); empty on failure.
template <class Fill>
std::string folderFrom(Fill fill) {
    char buffer[MAX_PATH + 1] = {};
    const UINT n = fill(buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    return addTrailingBackslash(std::string(buffer, n));
}

REGSAM readAccess(RegistryView view) { return KEY_READ | registryAccessView(view, kProcess64Bit); }

// The version resource of a file, or empty when it has none.
std::vector<char> versionResource(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data())) return {};
    return data;
}

win::UniqueHandle processToken() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
    return win::UniqueHandle(token);
}

// The thread's token when it impersonates, else the process token.
win::UniqueHandle effectiveToken() {
    HANDLE token = nullptr;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) return win::UniqueHandle(token);
    if (GetLastError() != ERROR_NO_TOKEN) return nullptr;
    return processToken();
}

// A variable-sized token information block; empty on failure.
std::vector<BYTE> tokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
    DWORD size = 0;
    GetTokenInformation(token, kind, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<BYTE> data(size);
    if (!GetTokenInformation(token, kind, data.data(), size, &size)) return {};
    return data;
}

class WindowsSystemInfo final : public SystemInfo {
public:
    WindowsSystemInfo()
        : windowsFolder_(folderFrom([](char* b, UINT n) { return GetWindowsDirectoryA(b, n); })),
          systemFolder_(folderFrom([](char* b, UINT n) { return GetSystemDirectoryA(b, n); })),
          tempFolder_(platform::tempFolder()) {}

    bool isWow64() const override {
        using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
        const auto isWow64Process = win::systemFunction<IsWow64ProcessFn>("kernel32", "IsWow64Process");
        BOOL wow64 = FALSE;
        return isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
    }

    bool is64BitProcess() const override { return kProcess64Bit; }

    std::optional<RedirectionState> disableRedirection(std::string_view platformMode) const override {
        if (platformMode == kPlatformWin32 || !isWow64()) return std::nullopt;
        using DisableFn = BOOL(WINAPI*)(PVOID*);
        const auto disable = win::systemFunction<DisableFn>("kernel32.dll", "Wow64DisableWow64FsRedirection");
        PVOID saved = nullptr;
        if (!disable || !disable(&saved)) return std::nullopt;
        return RedirectionState{reinterpret_cast<std::uintptr_t>(saved)};
    }

    void revertRedirection(const RedirectionState& state) const override {
        using RevertFn = BOOL(WINAPI*)(PVOID);
        const auto revert = win::systemFunction<RevertFn>("kernel32.dll", "Wow64RevertWow64FsRedirection");
        if (revert) revert(reinterpret_cast<PVOID>(state.saved));
    }

    std::string windowsFolder() const override { return windowsFolder_; }
    std::string systemFolder() const override { return systemFolder_; }
    std::string tempFolder() const override { return tempFolder_; }

    std::string system32BitFolder() const override {
        using GetWow64DirFn = UINT(WINAPI*)(LPSTR, UINT);
        const auto getDirectory = win::systemFunction<GetWow64DirFn>("kernel32.dll", "GetSystemWow64DirectoryA");
        if (!getDirectory) return {};
        char buffer[MAX_PATH + 1] = {};
        const UINT n = getDirectory(buffer, MAX_PATH + 1);
        if (n == 0 || n >= MAX_PATH + 1) return {};
        return addTrailingBackslash(std::string(buffer, n));
    }

    OsVersion osVersion() const override {
        OSVERSIONINFOA info{};
        info.dwOSVersionInfoSize = sizeof info;
        if (!GetVersionExA(&info)) return {};
        return makeOsVersion(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber,
                             info.szCSDVersion);
    }

    bool isServerEdition() const override {
        OSVERSIONINFOEXA info{};
        info.dwOSVersionInfoSize = sizeof info;
        return GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)) && info.wProductType != VER_NT_WORKSTATION;
    }

    std::string nativeArchitecture() const override {
        using GetNativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);
        const auto getInfo = win::systemFunction<GetNativeSystemInfoFn>("kernel32.dll", "GetNativeSystemInfo");
        if (!getInfo) return architectureName(PROCESSOR_ARCHITECTURE_INTEL);
        SYSTEM_INFO info{};
        getInfo(&info);
        return architectureName(info.wProcessorArchitecture);
    }

    OsLanguage osLanguage() const override {
        const auto resource = versionResource(systemFolder_ + "winver.exe");
        if (resource.empty()) return {};
        void* entry = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(resource.data(), "\\VarFileInfo\\Translation", &entry, &length) ||
            length < sizeof(DWORD))
            return {};
        DWORD translation = 0;
        std::memcpy(&translation, entry, sizeof translation);
        OsLanguage language;
        language.id = LOWORD(translation);
        char name[MAX_PATH] = {};
        const DWORD n = VerLanguageNameA(language.id, name, MAX_PATH);
        if (n > 0 && n < MAX_PATH) language.name.assign(name, n);
        return language;
    }

    RegisteredOwner registeredOwner(RegistryView view) const override {
        const auto key = RegKey::open(HKEY_LOCAL_MACHINE, osVersion().nt ? kNtCurrentVersionKey : k9xCurrentVersionKey,
                                      readAccess(view));
        if (!key) return {};
        return {key->readString("RegisteredOwner").value_or(""), key->readString("RegisteredOrganization").value_or("")};
    }

    std::string computerName() const override {
        char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
        DWORD size = sizeof name;
        if (!GetComputerNameA(name, &size)) return {};
        return std::string(name, size);
    }

    UserAccount userAccount() const override {
        if (!osVersion().nt) {
            char name[261] = {};
            DWORD size = sizeof name;
            if (!GetUserNameA(name, &size)) return {};
            return {std::string(name), {}};
        }
        const auto token = processToken();
        if (!token) return {};
        const auto user = tokenInformation(token.get(), TokenUser);
        if (user.empty()) return {};
        const PSID sid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
        DWORD nameSize = 0, domainSize = 0;
        SID_NAME_USE use;
        LookupAccountSidA(nullptr, sid, nullptr, &nameSize, nullptr, &domainSize, &use);
        if (nameSize == 0) return {};
        std::vector<char> name(nameSize), domain(domainSize + 1);
        if (!LookupAccountSidA(nullptr, sid, name.data(), &nameSize, domain.data(), &domainSize, &use)) return {};
        return {name.data(), domain.data()};
    }

    std::string internetExplorerVersion() const override {
        return win::readRegistryText(HKEY_LOCAL_MACHINE, kInternetExplorerKey, "Version", readAccess(kRegistryViewDefault));
    }

    int systemMetric(int index) const override { return GetSystemMetrics(index); }

    bool tokenHasBuiltinGroup(unsigned relativeId) const override {
        const auto token = effectiveToken();
        if (!token) return false;
        const auto groups = tokenInformation(token.get(), TokenGroups);
        if (groups.empty()) return false;
        SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
        PSID raw = nullptr;
        if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, relativeId, 0, 0, 0, 0, 0, 0, &raw))
            return false;
        const win::UniqueSid wanted(raw);
        const auto* list = reinterpret_cast<const TOKEN_GROUPS*>(groups.data());
        for (DWORD i = 0; i < list->GroupCount; ++i)
            if (EqualSid(list->Groups[i].Sid, wanted.get())) return true;
        return false;
    }

    bool isElevated() const override {
        const auto token = processToken();
        if (!token) return false;
        TOKEN_ELEVATION elevation{};
        DWORD size = 0;
        return GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
               elevation.TokenIsElevated != 0;
    }

    MemoryStatus memoryStatus() const override {
        MEMORYSTATUSEX status{};
        status.dwLength = sizeof status;
        if (!GlobalMemoryStatusEx(&status)) return {};
        return {status.ullTotalPhys,     status.ullAvailPhys,    status.ullTotalPageFile,
                status.ullAvailPageFile, status.ullTotalVirtual, status.ullAvailVirtual};
    }

    ScreenSize screenSize() const override { return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

    ColourDepth colourDepth() const override {
        const win::UniqueDc dc(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
        if (!dc) return {};
        const int bits = GetDeviceCaps(dc.get(), BITSPIXEL);
        if (bits <= 0 || bits > 63) return {};
        return {bits, std::uint64_t{1} << bits};
    }

    int screenDpi() const override {
        const win::ScreenDc dc;
        if (!dc.get()) return -1;
        return GetDeviceCaps(dc.get(), LOGPIXELSX);
    }

    bool inVMware() const override {
        return win::hypervisorVendor() == "VMwareVMware" || win::vmwareBackdoorAnswers();
    }

    bool inVirtualPC() const override { return win::virtualPcAnswers(); }

    std::string firstCdRomDrive() const override {
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            const char root[] = {letter, ':', '\\', '\0'};
            if (GetDriveTypeA(root) == DRIVE_CDROM) return root;
        }
        return {};
    }

    FileVersion fileVersion(const std::string& path) const override {
        const auto resource = versionResource(path);
        if (resource.empty()) return {};
        void* block = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(resource.data(), "\\", &block, &length) || length < sizeof(VS_FIXEDFILEINFO)) return {};
        VS_FIXEDFILEINFO fixed;
        std::memcpy(&fixed, block, sizeof fixed);
        if (fixed.dwSignature != VS_FFI_SIGNATURE) return {};
        return {true, HIWORD(fixed.dwFileVersionMS), LOWORD(fixed.dwFileVersionMS), HIWORD(fixed.dwFileVersionLS),
                LOWORD(fixed.dwFileVersionLS)};
    }

    std::string specialFolder(int csidl, RegistryView view) const override {
        if (csidl == kCsidlProgramFiles || csidl == kCsidlProgramFilesCommon) {
            const char* name = csidl == kCsidlProgramFiles ? "ProgramFilesDir" : "CommonFilesDir";
            return addTrailingBackslash(win::readRegistryText(HKEY_LOCAL_MACHINE, kCurrentVersionKey, name, readAccess(view)));
        }
        LPITEMIDLIST raw = nullptr;
        if (FAILED(SHGetSpecialFolderLocation(GetDesktopWindow(), csidl, &raw)) || !raw) return {};
        const win::UniqueCoTaskMemory items(raw);
        // Asked in UTF-16 so that a folder the code page cannot express still has an answer:
        // its short form (ansiPath), which names the same folder.
        wchar_t path[MAX_PATH] = {};
        if (!SHGetPathFromIDListW(raw, path)) return {};
        const std::u16string_view wide(reinterpret_cast<const char16_t*>(path), wcslen(path));
        return addTrailingBackslash(ansiPath(wide));
    }

    std::string bootFolder(RegistryView view) const override {
        return addTrailingBackslash(win::readRegistryText(HKEY_LOCAL_MACHINE, kSetupKey, "BootDir", readAccess(view)));
    }

    std::string longPath(const std::string& path) const override {
        return platform::longPath(path, [](const std::string& p) -> std::optional<std::string> {
            WIN32_FIND_DATAA found{};
            const HANDLE search = FindFirstFileA(p.c_str(), &found);
            if (search == INVALID_HANDLE_VALUE) return std::nullopt;
            const win::UniqueFind closer(search);
            return std::string(found.cFileName);
        });
    }

    std::string shortPath(const std::string& path) const override {
        std::vector<char> buffer(MAX_PATH);
        DWORD n = GetShortPathNameA(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n >= buffer.size()) { // longer than MAX_PATH: n is the size needed
            buffer.resize(n);
            n = GetShortPathNameA(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
            if (n >= buffer.size()) return {};
        }
        return std::string(buffer.data(), n);
    }

private:
    const std::string windowsFolder_;
    const std::string systemFolder_;
    const std::string tempFolder_;
};

} // namespace

std::unique_ptr<SystemInfo> createSystemInfo() { return std::make_unique<WindowsSystemInfo>(); }

} // namespace velmora::platform
