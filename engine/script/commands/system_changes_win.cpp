// Windows side of the immediate system commands: registry deletion (with the 64-bit view),
// file attributes and deletion, the file-tree walk, and COM registration of type libraries,
// programs and libraries.
#include "script/commands/system_changes_platform.h"

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include "core/text.h"
#include "platform/file_utils.h"

namespace velmora::commands::system_changes {
namespace {

HKEY rootKey(int index) {
    switch (index) {
    case 0: return HKEY_CLASSES_ROOT;
    case 1: return HKEY_CURRENT_USER;
    case 2: return HKEY_LOCAL_MACHINE;
    case 3: return HKEY_USERS;
    case 4: return HKEY_CURRENT_CONFIG;
    default: return nullptr;
    }
}

constexpr REGSAM kReadWrite = 0x2001F;   // KEY_READ | KEY_WRITE

// Sub-keys first, depth first, then the key itself.
void deleteTree(HKEY root, const std::string& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, kReadWrite | view, &key) == ERROR_SUCCESS) {
        std::vector<std::string> children;
        for (DWORD i = 0;; ++i) {
            char name[256];
            DWORD size = sizeof(name);
            if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            children.emplace_back(name, size);
        }
        RegCloseKey(key);
        for (const auto& child : children) deleteTree(root, path + "\\" + child, view);
    }
    using DeleteKeyEx = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);
    const auto deleteKeyEx = reinterpret_cast<DeleteKeyEx>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExA")));
    if (view && deleteKeyEx) deleteKeyEx(root, path.c_str(), view, 0);
    else RegDeleteKeyA(root, path.c_str());
}

class ComScope {
public:
    ComScope() : ok_(SUCCEEDED(OleInitialize(nullptr))) {}
    ~ComScope() {
        if (ok_) OleUninitialize();
    }

private:
    bool ok_;
};

bool registerTypeLibrary(const std::string& path, bool registerIt) {
    const std::u16string units = text::toUtf16(path);
    const std::wstring wide(units.begin(), units.end());
    ITypeLib* library = nullptr;
    if (FAILED(LoadTypeLib(wide.c_str(), &library)) || !library) return false;
    bool ok = false;
    if (registerIt) {
        BSTR helpFile = nullptr;
        library->GetDocumentation(-1, nullptr, nullptr, nullptr, &helpFile);
        std::wstring helpFolder;
        if (helpFile) {
            helpFolder = helpFile;
            const std::size_t sep = helpFolder.find_last_of(L"\\/");
            helpFolder = sep == std::wstring::npos ? std::wstring() : helpFolder.substr(0, sep);
            SysFreeString(helpFile);
        }
        ok = SUCCEEDED(RegisterTypeLib(library, const_cast<wchar_t*>(wide.c_str()),
                                       helpFolder.empty() ? nullptr : const_cast<wchar_t*>(helpFolder.c_str())));
    } else {
        using Unregister = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
        const auto unregister = reinterpret_cast<Unregister>(
            reinterpret_cast<void*>(GetProcAddress(LoadLibraryA("OLEAUT32.DLL"), "UnRegisterTypeLib")));
        TLIBATTR* attributes = nullptr;
        if (unregister && SUCCEEDED(library->GetLibAttr(&attributes)) && attributes) {
            ok = SUCCEEDED(unregister(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->lcid,
                                      attributes->syskind));
            library->ReleaseTLibAttr(attributes);
        }
    }
    library->Release();
    return ok;
}

bool registerProgram(const std::string& path, bool registerIt) {
    std::string commandLine = path + (registerIt ? " /regserver" : " /unregserver");
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

bool registerServer(const std::string& path, bool registerIt) {
    HMODULE library = LoadLibraryA(path.c_str());
    if (!library) return false;
    using Entry = HRESULT(STDAPICALLTYPE*)();
    const auto entry = reinterpret_cast<Entry>(
        reinterpret_cast<void*>(GetProcAddress(library, registerIt ? "DllRegisterServer" : "DllUnregisterServer")));
    const bool ok = entry && entry() == S_OK;
    FreeLibrary(library);
    return ok;
}

} // namespace

void makeFileNormal(const std::string& path) { SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL); }

bool deleteFileEntry(const std::string& path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileA(path.c_str()) != FALSE;
}

bool removeEmptyFolder(const std::string& path) { return RemoveDirectoryA(path.c_str()) != FALSE; }

std::vector<std::string> listFileTree(const std::string& mask) { return platform::ListFilesTree(mask, true, true); }

void deleteRegistryEntry(int rootIndex, const std::string& key, const std::string& value, bool wholeKey, bool delete64,
                         std::uint32_t accessView) {
    const HKEY root = rootKey(rootIndex);
    if (!root) return;
    if (wholeKey && delete64) {
        const std::size_t sep = key.find_last_of('\\');
        if (sep == std::string::npos) return;
        HKEY parent = nullptr;
        if (RegOpenKeyExA(root, key.substr(0, sep).c_str(), 0, KEY_WRITE, &parent) != ERROR_SUCCESS) return;
        using DeleteKeyEx = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);
        const auto deleteKeyEx = reinterpret_cast<DeleteKeyEx>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExA")));
        const std::string leaf = key.substr(sep + 1);
        if (deleteKeyEx) deleteKeyEx(parent, leaf.c_str(), KEY_WOW64_64KEY, 0);
        else RegDeleteKeyA(parent, leaf.c_str());
        RegCloseKey(parent);
        return;
    }
    if (wholeKey) {
        deleteTree(root, key, accessView);
        return;
    }
    HKEY handle = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, kReadWrite | accessView, &handle) != ERROR_SUCCESS) return;
    RegDeleteValueA(handle, value.c_str());
    RegCloseKey(handle);
}

bool registerLibrary(const std::string& path, bool registerIt) {
    const ComScope com;
    char saved[MAX_PATH * 2] = {};
    GetCurrentDirectoryA(sizeof(saved), saved);
    const std::string folder = platform::folderPart(path);
    if (!folder.empty()) SetCurrentDirectoryA(folder.c_str());
    bool ok = false;
    try {
        const std::string extension = text::upper(platform::extension(path));
        if (extension == "TLB") ok = registerTypeLibrary(path, registerIt);
        else if (extension == "EXE") ok = registerProgram(path, registerIt);
        else ok = registerServer(path, registerIt);
    } catch (...) {
        ok = false;
    }
    SetCurrentDirectoryA(saved);
    return ok;
}

} // namespace velmora::commands::system_changes
