// The real SystemInfo under Windows (wine64 here): each answer is checked against another
// source of the same fact (ntdll, the environment, /proc through drive Z:, a folder the test
// creates, a registry value the test writes).
#include "platform/platform_switches.h"
#include "platform/redirection.h"
#include "platform/registry_win.h"
#include "platform/system_info.h"
#include "platform/vm_probe_win.h"

#include "core/text.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>

using namespace velmora;
using namespace velmora::platform;

namespace {

const SystemInfo& sys() {
    static const auto info = createSystemInfo();
    return *info;
}

// Prints one answer so a test run shows what this system reports.
void show(const char* what, const std::string& value) { std::printf("    %-28s %s\n", what, value.c_str()); }

bool isFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

TEST(SystemInfoWin, VersionAndEditionMatchNtdll) {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
    ASSERT_NE(rtlGetVersion, nullptr);
    OSVERSIONINFOEXW kernel{};
    kernel.dwOSVersionInfoSize = sizeof kernel;
    ASSERT_EQ(rtlGetVersion(&kernel), 0);

    const OsVersion v = sys().osVersion();
    show("version", text::decimal(v.major) + "." + text::decimal(v.minor) + "." + text::decimal(v.build) + " SP" +
                        text::decimal(v.servicePack));
    EXPECT_TRUE(v.nt);
    EXPECT_EQ(v.major, kernel.dwMajorVersion);
    EXPECT_EQ(v.minor, kernel.dwMinorVersion);
    EXPECT_EQ(v.build, kernel.dwBuildNumber);
    EXPECT_EQ(v.servicePack, kernel.wServicePackMajor);
    EXPECT_EQ(sys().isServerEdition(), kernel.wProductType != VER_NT_WORKSTATION);
    show("server edition", sys().isServerEdition() ? "yes" : "no");
}

TEST(SystemInfoWin, SixtyFourBitWindows) {
    show("native architecture", sys().nativeArchitecture());
#if defined(__x86_64__)
    EXPECT_TRUE(sys().is64BitProcess());
    EXPECT_FALSE(sys().isWow64());
    EXPECT_TRUE(sys().is64BitWindows());
    EXPECT_EQ(sys().nativeArchitecture(), "AMD64");
#else
    EXPECT_FALSE(sys().is64BitProcess());
    EXPECT_EQ(sys().is64BitWindows(), sys().nativeArchitecture() != "X86");
#endif
    // The three folders read at start-up, and the 32-bit system folder of 64-bit Windows.
    show("system32BitFolder", sys().system32BitFolder());
    for (const std::string& folder : {sys().windowsFolder(), sys().systemFolder(), sys().tempFolder(), sys().system32BitFolder()}) {
        EXPECT_EQ(folder.back(), '\\') << folder;
        EXPECT_TRUE(isFolder(folder)) << folder;
    }
}

TEST(SystemInfoWin, NamesMatchTheEnvironment) {
    const UserAccount account = sys().userAccount();
    show("computer name", sys().computerName());
    show("user", account.domain + "\\" + account.name);
    EXPECT_TRUE(text::equalsIgnoreCase(sys().computerName(), environment("COMPUTERNAME")));
    EXPECT_TRUE(text::equalsIgnoreCase(account.name, environment("USERNAME")));
    EXPECT_FALSE(account.domain.empty());

    const OsLanguage language = sys().osLanguage();
    show("OS language", text::decimal(language.id) + " " + language.name);
    EXPECT_NE(language.id & 0x3FF, 0u) << "primary language of winver.exe";
    EXPECT_FALSE(language.name.empty());

    const RegisteredOwner owner = sys().registeredOwner(kRegistryView64);
    show("registered owner", owner.owner + " / " + owner.organization);
    show("Internet Explorer", sys().internetExplorerVersion());
    const std::string ie = sys().internetExplorerVersion();
    if (!ie.empty()) {
        EXPECT_TRUE(std::regex_match(ie, std::regex(R"(\d+(\.\d+){1,3})"))) << ie;
    }
}

TEST(SystemInfoWin, GroupsAgreeWithCheckTokenMembership) {
    for (const unsigned rid : {544u, 545u, 546u, 547u}) {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        PSID sid = nullptr;
        ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, rid, 0, 0, 0, 0, 0, 0, &sid));
        BOOL member = FALSE;
        const BOOL checked = CheckTokenMembership(nullptr, sid, &member);
        FreeSid(sid);
        ASSERT_TRUE(checked);
        // CheckTokenMembership counts enabled groups only, so a deny-only group of a filtered
        // (not elevated) token is the one case where the two may differ.
        if (member) {
            EXPECT_TRUE(sys().tokenHasBuiltinGroup(rid)) << rid;
        } else if (sys().isElevated()) {
            EXPECT_FALSE(sys().tokenHasBuiltinGroup(rid)) << rid;
        }
    }
    show("administrator / elevated",
         std::string(sys().isAdministrator() ? "yes" : "no") + " / " + (sys().isElevated() ? "yes" : "no"));
    EXPECT_EQ(sys().isAdministrator(),
              sys().tokenHasBuiltinGroup(544) && (sys().osVersion().major < 6 || sys().isElevated()));
}

TEST(SystemInfoWin, MemoryMatchesProcMeminfo) {
    const MemoryStatus m = sys().memoryStatus();
    show("physical memory MB", text::decimal(static_cast<long long>(m.totalPhysical >> 20)));
    EXPECT_GT(m.totalPhysical, 32ull << 20);
    EXPECT_LE(m.availablePhysical, m.totalPhysical);
    EXPECT_LE(m.availablePageFile, m.totalPageFile);
    EXPECT_LE(m.availableVirtual, m.totalVirtual);
    std::ifstream meminfo(R"(Z:\proc\meminfo)");
    if (!meminfo) GTEST_SKIP() << "no /proc/meminfo (not under wine)";
    std::string label;
    unsigned long long kib = 0;
    meminfo >> label >> kib;
    ASSERT_EQ(label, "MemTotal:");
    EXPECT_NEAR(static_cast<double>(m.totalPhysical), kib * 1024.0, kib * 1024.0 * 0.01);
}

TEST(SystemInfoWin, DisplayAnswers) {
    const ScreenSize screen = sys().screenSize();
    const ColourDepth depth = sys().colourDepth();
    show("screen", text::decimal(screen.width) + "x" + text::decimal(screen.height) + ", " +
                       text::decimal(depth.bitsPerPixel) + " bits, " + text::decimal(sys().screenDpi()) + " dpi");
    EXPECT_GT(screen.width, 0);
    EXPECT_GT(screen.height, 0);
    EXPECT_GT(sys().screenDpi(), 0);
    ASSERT_GT(depth.bitsPerPixel, 0);
    EXPECT_EQ(depth.colours, std::uint64_t{1} << depth.bitsPerPixel);
}

TEST(SystemInfoWin, VirtualMachineProbesNeverCrash) {
    const std::string vendor = win::hypervisorVendor();
    show("hypervisor vendor", vendor.empty() ? "(none)" : vendor);
    // The backdoor faults outside VMware; the guard must turn every fault into "no", again and again.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(win::vmwareBackdoorAnswers(), vendor == "VMwareVMware");
    EXPECT_EQ(sys().inVMware(), vendor == "VMwareVMware");
#if defined(__x86_64__)
    EXPECT_FALSE(sys().inVirtualPC());
#endif
    show("VMware / Virtual PC", std::string(sys().inVMware() ? "yes" : "no") + " / " + (sys().inVirtualPC() ? "yes" : "no"));
}

TEST(SystemInfoWin, FirstCdRomDriveIsTheFirstOfItsType) {
    const std::string drive = sys().firstCdRomDrive();
    show("first CD-ROM drive", drive.empty() ? "(none)" : drive);
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const std::string root = std::string(1, letter) + ":\\";
        if (GetDriveTypeA(root.c_str()) != DRIVE_CDROM) continue;
        EXPECT_EQ(drive, root);
        return;
    }
    EXPECT_EQ(drive, "");
}

TEST(SystemInfoWin, FileVersions) {
    const std::string kernel32 = sys().systemFolder() + "kernel32.dll";
    const FileVersion dll = sys().fileVersion(kernel32);
    show("kernel32.dll version", dll.text());
    EXPECT_TRUE(dll.found);
    EXPECT_GE(dll.major, 5);
    EXPECT_TRUE(std::regex_match(dll.text(), std::regex(R"(\d+\.\d+\.\d+\.\d+)")));

    const std::string textFile = sys().tempFolder() + "velmora-version-test.txt";
    std::ofstream(textFile) << "no version resource here\n";
    const FileVersion none = sys().fileVersion(textFile);
    DeleteFileA(textFile.c_str());
    EXPECT_FALSE(none.found);
    EXPECT_EQ(none.text(), "0.0.0.0");
    EXPECT_FALSE(sys().fileVersion(sys().tempFolder() + "missing-file.dll").found);
}

TEST(SystemInfoWin, ShellFoldersExist) {
    const int csidls[] = {0, 2, 5, 7, 11, 20, 26, 28, 35, 40, 46};
    for (const int csidl : csidls) {
        const std::string folder = sys().specialFolder(csidl, kRegistryViewDefault);
        ASSERT_FALSE(folder.empty()) << csidl;
        EXPECT_EQ(folder.back(), '\\') << csidl;
        EXPECT_NE(folder.substr(0, folder.size() - 1).back(), '\\') << folder;
        EXPECT_TRUE(isFolder(folder)) << csidl << " " << folder;
    }
    show("personal folder (5)", sys().specialFolder(5, kRegistryViewDefault));
    EXPECT_EQ(sys().specialFolder(0x7F, kRegistryViewDefault), "");
}

// Writes a value under HKLM in one registry view for the duration of a test; deletes it after,
// with the key when the test made it.
class RegistryValueIn {
public:
    RegistryValueIn(REGSAM view, const std::string& key, const std::string& name, const std::string& value)
        : view_(view), key_(key), name_(name) {
        HKEY k = nullptr;
        DWORD disposition = 0;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &k,
                            &disposition) != ERROR_SUCCESS)
            return;
        newKey_ = disposition == REG_CREATED_NEW_KEY;
        created_ = RegSetValueExA(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                  static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
        RegCloseKey(k);
    }
    ~RegistryValueIn() {
        HKEY k = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_.c_str(), 0, KEY_SET_VALUE | view_, &k) != ERROR_SUCCESS) return;
        RegDeleteValueA(k, name_.c_str());
        RegCloseKey(k);
        if (newKey_) RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key_.c_str(), view_, 0);
    }
    bool created() const { return created_; }

private:
    REGSAM view_;
    std::string key_, name_;
    bool created_ = false, newKey_ = false;
};

TEST(SystemInfoWin, RegistryViewReachesTheValueOfItsSide) {
    const std::string key = R"(SOFTWARE\Velmora View Test)";
    const RegistryValueIn side32(KEY_WOW64_32KEY, key, "Side", "32-bit");
    const RegistryValueIn side64(KEY_WOW64_64KEY, key, "Side", "64-bit");
    ASSERT_TRUE(side32.created() && side64.created());
    struct Case { const char* mode; const char* want; };
    for (const Case c : {Case{"Win32", "32-bit"}, Case{"x64", "64-bit"}, Case{"ia64", "64-bit"}}) {
        PlatformSwitches switches;
        switches.platformMode = c.mode;
        EXPECT_EQ(win::readRegistryText(HKEY_LOCAL_MACHINE, key, "Side", KEY_READ | registryAccessView(switches.registryView, sys().is64BitProcess())),
                  "32-bit") << "before any command selects a view: " << c.mode;
        const RegistryViewScope scope(switches, sys().is64BitWindows());
        EXPECT_EQ(win::readRegistryText(HKEY_LOCAL_MACHINE, key, "Side",
                                        KEY_READ | registryAccessView(switches.registryView, sys().is64BitProcess())),
                  c.want) << c.mode;
    }
}

TEST(SystemInfoWin, ProgramFilesFolderFollowsThePlatformMode) {
    const std::string key = R"(SOFTWARE\Microsoft\Windows\CurrentVersion)";
    // A prefix made by wine64 alone has no 32-bit program folder entries; give it the ones
    // 64-bit Windows has, for this test only.
    const bool has32 = !win::readRegistryText(HKEY_LOCAL_MACHINE, key, "ProgramFilesDir", KEY_READ | KEY_WOW64_32KEY).empty();
    std::optional<RegistryValueIn> programFiles32, commonFiles32;
    if (!has32) {
        programFiles32.emplace(KEY_WOW64_32KEY, key, "ProgramFilesDir", R"(C:\Program Files (x86))");
        commonFiles32.emplace(KEY_WOW64_32KEY, key, "CommonFilesDir", R"(C:\Program Files (x86)\Common Files)");
    }
    const std::string native = sys().specialFolder(kCsidlProgramFiles, selectedRegistryView(true, "x64"));
    const std::string wow = sys().specialFolder(kCsidlProgramFiles, selectedRegistryView(true, "Win32"));
    show("program files x64 / Win32", native + " / " + wow);
    EXPECT_TRUE(text::equalsIgnoreCase(native, R"(C:\Program Files\)"));
    EXPECT_TRUE(text::equalsIgnoreCase(wow, R"(C:\Program Files (x86)\)"));
    EXPECT_EQ(sys().specialFolder(kCsidlProgramFiles, kRegistryViewDefault), wow) << "the start-up view is the 32-bit one";
    EXPECT_TRUE(text::equalsIgnoreCase(sys().specialFolder(kCsidlProgramFilesCommon, kRegistryView32),
                                       R"(C:\Program Files (x86)\Common Files\)"));
    EXPECT_TRUE(isFolder(native));
}

TEST(SystemInfoWin, RedirectionScopePerMode) {
    const std::string system = sys().systemFolder() + "kernel32.dll";
    {
        RedirectionScope scope(sys(), "x64");
        EXPECT_EQ(scope.redirectionDisabled(), sys().isWow64());
        EXPECT_EQ(scope.path(system), system);
    }
    RedirectionScope scope(sys(), "Win32");
    EXPECT_FALSE(scope.redirectionDisabled());
    if (sys().is64BitProcess()) {
        const std::string mapped = scope.path(system);
        EXPECT_EQ(mapped, sys().system32BitFolder() + "kernel32.dll");
        EXPECT_TRUE(isFolder(sys().system32BitFolder()));
    } else {
        EXPECT_EQ(scope.path(system), system);
    }
}
