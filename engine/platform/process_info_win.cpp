#include "platform/process_info.h"

#include <windows.h>

#include <vector>

#include "core/text.h"
#include "platform/ansi_path.h"
#include "platform/file_utils.h"

namespace velmora::platform {
namespace {

std::string ansiPathOf(const std::wstring& wide) {
    return ansiPath(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

} // namespace

std::string exeFilePath() {
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string ansi(path, n);
    if (n > 0 && n < MAX_PATH && ansi.find('?') == std::string::npos && fileExists(ansi)) return ansi;
    std::vector<wchar_t> wide(32768);
    const DWORD w = GetModuleFileNameW(nullptr, wide.data(), static_cast<DWORD>(wide.size()));
    return ansiPathOf(std::wstring(wide.data(), w));
}

std::string tempFolder() {
    char path[MAX_PATH] = {};
    const DWORD n = GetTempPathA(MAX_PATH, path);
    std::string folder(path, n < MAX_PATH ? n : 0);
    if (folder.empty() || folder.find('?') != std::string::npos || !folderExists(folder)) {
        wchar_t wide[MAX_PATH] = {};
        const DWORD w = GetTempPathW(MAX_PATH, wide);
        CreateDirectoryW(wide, nullptr);
        folder = ansiPathOf(std::wstring(wide, w < MAX_PATH ? w : 0));
    }
    folder = addTrailingBackslash(folder);
    createFolders(folder);
    return folder;
}

std::string rawCommandLine() { return GetCommandLineA(); }

void restrictToFirstProcessor() {
    using SetAffinity = BOOL(WINAPI*)(HANDLE, DWORD_PTR);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel) return;
    auto set = reinterpret_cast<SetAffinity>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetProcessAffinityMask")));
    if (set) set(GetCurrentProcess(), 1);
}

void showErrorMessage(const std::string& text, const std::string& caption, void* owner) {
    MessageBoxA(static_cast<HWND>(owner), text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
}

bool copyFileNormal(const std::string& from, const std::string& to) {
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) return false;
    SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_NORMAL);
    return true;
}

bool deleteFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

std::string environmentValue(const std::string& name) {
    char buffer[4096];
    const DWORD n = GetEnvironmentVariableA(name.c_str(), buffer, sizeof(buffer));
    return n > 0 && n < sizeof(buffer) ? std::string(buffer, n) : std::string();
}

} // namespace velmora::platform
