// The script engine's platform on Win32.
#include <windows.h>

#include <ctime>

#include "platform/file_utils.h"
#include "platform/platform_switches.h"
#include "script/script_host.h"

namespace velmora {
namespace {

class WindowsScriptPlatform final : public ScriptPlatform {
public:
    explicit WindowsScriptPlatform(bool process64Bit) : process64Bit_(process64Bit) {}

    void ProcessPendingEvents() override {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) dispatch(msg);
    }

    void HandleOneEvent() override {
        MSG msg;
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            WaitMessage();
            if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return;
        }
        dispatch(msg);
    }

    void ShowErrorMessage(const std::string& text, const std::string& caption, std::intptr_t owner) override {
        MessageBoxA(reinterpret_cast<HWND>(owner), text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
    }

    bool FileExists(const std::string& path) override { return platform::fileExists(path); }

    // Formatted once per second: the interpreter asks before every statement.
    std::string DateText() override {
        refreshClock();
        return date_;
    }
    std::string TimeText() override {
        refreshClock();
        return time_;
    }

    void DeleteRunValue(const std::string& valueName) override {
        const REGSAM view = platform::registryAccessView(platform::kRegistryViewDefault, process64Bit_);
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            HKEY key = nullptr;
            if (RegOpenKeyExA(root, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", 0, KEY_SET_VALUE | view, &key) !=
                ERROR_SUCCESS)
                continue;
            RegDeleteValueA(key, valueName.c_str());
            RegCloseKey(key);
        }
    }

private:
    static void dispatch(MSG& msg) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }

    void refreshClock() {
        const std::time_t now = std::time(nullptr);
        if (now == formattedAt_) return;
        formattedAt_ = now;
        char buffer[128];
        date_ = GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, buffer, sizeof(buffer)) ? buffer : "";
        time_ = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, buffer, sizeof(buffer)) ? buffer : "";
    }

    bool process64Bit_;
    std::time_t formattedAt_ = -1;
    std::string date_, time_;
};

} // namespace

std::unique_ptr<ScriptPlatform> createWindowsScriptPlatform(bool process64Bit) {
    return std::make_unique<WindowsScriptPlatform>(process64Bit);
}

} // namespace velmora
