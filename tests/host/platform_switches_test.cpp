// The 64-bit rules: registry view selection and its access flag in both builds, the WOW64 path
// mapping of the 64-bit engine, and the redirection scope around a command.
#include "platform/platform_switches.h"
#include "platform/redirection.h"
#include "platform/wow64_paths.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

using namespace velmora::platform;

TEST(RegistryView, SelectResetAndAccessFlagPerBuildAndMode) {
    struct Case {
        bool process64, wow64;
        const char* mode;
        RegistryView selected, reset;
        std::uint32_t flagSelected, flagAtStart; // flag for the selected view, and for view 0
    };
    const Case cases[] = {
        {false, false, "Win32", 0, 0, 0, 0},           // 32-bit Windows: one view only
        {false, false, "x64", 0, 0, 0, 0},
        {false, true, "Win32", 0x200, 0x200, 0x200, 0}, // 32-bit engine under WOW64
        {false, true, "x64", 0x100, 0x200, 0x100, 0},
        {false, true, "ia64", 0x100, 0x200, 0x100, 0},
        {true, false, "Win32", 0x200, 0x200, 0x200, 0x200}, // 64-bit engine: 0 means the 32-bit view
        {true, false, "x64", 0x100, 0x200, 0x100, 0x200},
        {true, false, "win32", 0x100, 0x200, 0x100, 0x200}, // mode names compare exactly
    };
    for (const auto& c : cases) {
        const bool on64 = c.process64 || c.wow64;
        SCOPED_TRACE(testing::Message() << c.process64 << c.wow64 << " " << c.mode);
        const RegistryView selected = selectedRegistryView(on64, c.mode);
        EXPECT_EQ(selected, c.selected);
        EXPECT_EQ(resetRegistryView(on64), c.reset);
        EXPECT_EQ(registryAccessView(selected, c.process64), c.flagSelected);
        EXPECT_EQ(registryAccessView(kRegistryViewDefault, c.process64), c.flagAtStart);
    }
}

TEST(RegistryView, ScopeSelectsForTheCommandAndResetsAfterAFailure) {
    PlatformSwitches switches;
    switches.platformMode = "x64";
    EXPECT_EQ(switches.registryView, kRegistryViewDefault);
    try {
        RegistryViewScope scope(switches, true);
        EXPECT_EQ(switches.registryView, kRegistryView64);
        throw std::runtime_error("command failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(switches.registryView, kRegistryView32);
}

TEST(Wow64Paths, RedirectorRules) {
    const SystemFolders folders{R"(C:\Windows\)", R"(C:\Windows\System32\)", R"(C:\Windows\SysWOW64\)"};
    struct Case { const char* path; const char* want; };
    const Case cases[] = {
        {R"(C:\Windows\System32\kernel32.dll)", R"(C:\Windows\SysWOW64\kernel32.dll)"},
        {R"(c:\windows\system32)", R"(C:\Windows\SysWOW64)"},
        {R"(C:\WINDOWS\SYSTEM32\)", R"(C:\Windows\SysWOW64\)"},
        {R"(C:\Windows\System32\drivers\etc\hosts)", R"(C:\Windows\System32\drivers\etc\hosts)"},
        {R"(C:\Windows\System32\drivers\x.sys)", R"(C:\Windows\SysWOW64\drivers\x.sys)"},
        {R"(C:\Windows\System32\spool)", R"(C:\Windows\System32\spool)"},
        {R"(C:\Windows\System32\catroot2\a)", R"(C:\Windows\System32\catroot2\a)"},
        {R"(C:\Windows\System32\catrootX\a)", R"(C:\Windows\SysWOW64\catrootX\a)"},
        {R"(C:\Windows\System32x\a.dll)", R"(C:\Windows\System32x\a.dll)"},
        {R"(C:\Windows\Sysnative\cmd.exe)", R"(C:\Windows\System32\cmd.exe)"},
        {R"(C:\Windows\lastgood\system32\a)", R"(C:\Windows\lastgood\SysWOW64\a)"},
        {R"(C:\Windows\regedit.exe)", R"(C:\Windows\SysWOW64\regedit.exe)"},
        {R"(C:\Windows\notepad.exe)", R"(C:\Windows\notepad.exe)"},
        {R"(C:\Program Files\App\a.dll)", R"(C:\Program Files\App\a.dll)"},
        {R"(System32\a.dll)", R"(System32\a.dll)"},
    };
    for (const auto& c : cases) EXPECT_EQ(redirectedPath(c.path, folders), c.want) << c.path;

    const SystemFolders no32BitSystem{R"(C:\Windows\)", R"(C:\Windows\System32\)", ""};
    EXPECT_EQ(redirectedPath(R"(C:\Windows\System32\a.dll)", no32BitSystem), R"(C:\Windows\System32\a.dll)");
}

namespace {

// A machine with a WOW64 redirector that records what the scope asks of it.
class RedirectingSystem : public SystemInfo {
public:
    RedirectingSystem(bool process64, bool wow64) : process64_(process64), wow64_(wow64) {}
    bool isWow64() const override { return wow64_; }
    bool is64BitProcess() const override { return process64_; }
    std::optional<RedirectionState> disableRedirection(std::string_view mode) const override {
        if (!wow64_ || mode == kPlatformWin32) return std::nullopt;
        calls.push_back("disable");
        return RedirectionState{42};
    }
    void revertRedirection(const RedirectionState& state) const override {
        calls.push_back("revert " + std::to_string(state.saved));
    }
    std::string windowsFolder() const override { return R"(C:\Windows\)"; }
    std::string systemFolder() const override { return R"(C:\Windows\System32\)"; }
    std::string system32BitFolder() const override { return R"(C:\Windows\SysWOW64\)"; }
    mutable std::vector<std::string> calls;

private:
    bool process64_, wow64_;
};

} // namespace

TEST(RedirectionScope, SwitchesOrMapsByBuildAndMode) {
    const std::string path = R"(C:\Windows\System32\a.dll)";
    struct Case {
        bool process64, wow64;
        const char* mode;
        std::vector<std::string> calls;
        const char* seenPath;
    };
    const Case cases[] = {
        {false, true, "x64", {"disable", "revert 42"}, R"(C:\Windows\System32\a.dll)"},
        {false, true, "Win32", {}, R"(C:\Windows\System32\a.dll)"},
        {false, false, "x64", {}, R"(C:\Windows\System32\a.dll)"},
        {true, false, "Win32", {}, R"(C:\Windows\SysWOW64\a.dll)"},
        {true, false, "x64", {}, R"(C:\Windows\System32\a.dll)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.process64 << c.wow64 << " " << c.mode);
        RedirectingSystem system(c.process64, c.wow64);
        try {
            RedirectionScope scope(system, c.mode);
            EXPECT_EQ(scope.path(path), c.seenPath);
            throw std::runtime_error("command failed");
        } catch (const std::runtime_error&) {
        }
        EXPECT_EQ(system.calls, c.calls);
    }
}
