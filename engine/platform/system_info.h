// The questions the engine asks about the machine it runs on: Windows version and edition,
// 64-bit Windows, user rights, hardware and display, virtual machines, folders, file versions.
// SystemInfo is the narrow interface the script commands call; createSystemInfo() makes the real
// one (Windows builds), tests derive a small fake and override only what they need.
#pragma once

#include "platform/platform_switches.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::platform {

struct OsVersion {
    bool nt = false;              // VER_PLATFORM_WIN32_NT; false for the 9x family
    unsigned major = 0;
    unsigned minor = 0;           // Windows 98 Second Edition is reported as 4.11
    unsigned build = 0;
    unsigned servicePack = 0;     // 0 when none

    // major > M, or major == M and minor >= m.
    bool atLeast(unsigned M, unsigned m) const { return major > M || (major == M && minor >= m); }
};

// The version as the system reports it (GetVersionExA fields), with the two engine rules: on the
// 9x family 4.10 with a build field above 0x040A08AD is Windows 98 Second Edition and reported as
// 4.11; the service-pack number is the first decimal number in the service-pack text.
OsVersion makeOsVersion(unsigned platformId, unsigned major, unsigned minor, std::uint32_t buildField,
                        std::string_view servicePackText);
// The first decimal number in a service-pack text ("Service Pack 6a" -> 6); 0 when none.
unsigned servicePackNumber(std::string_view servicePackText);

// Processor architecture number of GetNativeSystemInfo -> "X86", "IA64", "AMD64" or "UNKNOWN".
std::string architectureName(unsigned processorArchitecture);

struct OsLanguage {
    unsigned id = 0;              // language identifier of winver.exe's first translation; 0 when none
    std::string name;             // its name (VerLanguageNameA)
};

struct RegisteredOwner {
    std::string owner;
    std::string organization;
};

struct UserAccount {
    std::string name;
    std::string domain;           // empty on the 9x family
};

struct MemoryStatus {             // bytes
    std::uint64_t totalPhysical = 0, availablePhysical = 0;
    std::uint64_t totalPageFile = 0, availablePageFile = 0;
    std::uint64_t totalVirtual = 0, availableVirtual = 0;
};

struct ScreenSize {
    int width = 0;
    int height = 0;
};

struct ColourDepth {
    int bitsPerPixel = 0;         // 0 when no display device context can be made
    std::uint64_t colours = 0;    // 2^bitsPerPixel
};

struct FileVersion {
    bool found = false;           // the file has a version resource with a fixed file version
    std::uint16_t major = 0, minor = 0, build = 0, revision = 0;

    // "major.minor.build.revision", "0.0.0.0" when not found.
    std::string text() const;
};

// The opaque value the system returns when file-system redirection is switched off for the
// calling thread; handed back to switch it on again.
struct RedirectionState {
    std::uintptr_t saved = 0;
};

// Well-known local groups (BUILTIN, S-1-5-32-n).
enum class BuiltinGroup : unsigned { Administrators = 544, Users = 545, Guests = 546, PowerUsers = 547 };

// Shell folder identifiers answered from the registry rather than the shell.
inline constexpr int kCsidlProgramFiles = 38;
inline constexpr int kCsidlProgramFilesCommon = 43;

// Every query answers like a system that reports nothing (false, 0, empty) unless overridden.
// The Windows implementation overrides all of them; a test fake overrides the few it needs
// (note that the empty OsVersion is not NT, so a fake asking about rights sets osVersion too).
// Folders end in a backslash unless empty. No query raises: failures come back as these empty
// answers. Texts are ANSI.
class SystemInfo {
public:
    virtual ~SystemInfo() = default;

    // --- 64-bit Windows ---------------------------------------------------------------------
    // This process runs under WOW64 (IsWow64Process, looked up at run time): a 32-bit engine on
    // 64-bit Windows. False for the 64-bit engine.
    virtual bool isWow64() const { return false; }
    // This process is a 64-bit program (the 64-bit build of the engine).
    virtual bool is64BitProcess() const { return false; }
    // The engine runs under 64-bit Windows: the 64-bit build, or the 32-bit build under WOW64.
    // This is what the engine's "under 64-bit Windows" rules and setting 65 ask.
    bool is64BitWindows() const { return is64BitProcess() || isWow64(); }
    // Switches file-system redirection off for the calling thread when the process runs under
    // WOW64 and platformMode is not "Win32" (Wow64DisableWow64FsRedirection, looked up at run
    // time); nullopt when nothing was switched. Use RedirectionScope rather than calling directly.
    virtual std::optional<RedirectionState> disableRedirection(std::string_view platformMode) const {
        return std::nullopt;
    }
    // Switches it on again with the state disableRedirection returned (same thread).
    virtual void revertRedirection(const RedirectionState& state) const {}

    // --- Folders read once at start-up ------------------------------------------------------
    virtual std::string windowsFolder() const { return {}; }
    virtual std::string systemFolder() const { return {}; }
    virtual std::string tempFolder() const { return {}; }
    // The 32-bit system folder of 64-bit Windows (GetSystemWow64DirectoryA, looked up at run
    // time); empty when the function is missing or the folder does not fit 260 characters.
    virtual std::string system32BitFolder() const { return {}; }

    // --- Operating system ---------------------------------------------------------------------
    virtual OsVersion osVersion() const { return {}; }
    virtual bool isServerEdition() const { return false; }
    virtual std::string nativeArchitecture() const { return {}; }
    virtual OsLanguage osLanguage() const { return {}; }
    virtual RegisteredOwner registeredOwner(RegistryView view) const { return {}; }
    virtual std::string computerName() const { return {}; }
    virtual UserAccount userAccount() const { return {}; }
    // The "Version" text of Internet Explorer's registry key; empty when missing.
    virtual std::string internetExplorerVersion() const { return {}; }
    // GetSystemMetrics(index); 86 is a Tablet PC, 87 a Media Center edition.
    virtual int systemMetric(int index) const { return 0; }

    // --- User rights --------------------------------------------------------------------------
    // The thread's token (or the process token when the thread has none) holds the group
    // S-1-5-32-relativeId, whatever its attributes (a deny-only group of a filtered token counts).
    virtual bool tokenHasBuiltinGroup(unsigned relativeId) const { return false; }
    // The process token is elevated (TokenElevation); false where it cannot be read.
    virtual bool isElevated() const { return false; }

    // Member of a group: always true on the 9x family, else tokenHasBuiltinGroup.
    bool isMemberOfGroup(unsigned relativeId) const;
    // The four named groups: on the 9x family only Administrators is true.
    bool isInGroup(BuiltinGroup group) const;
    // 9x: true. NT: member of Administrators and, from version 6 on, elevated.
    bool isAdministrator() const;

    // --- Hardware and display -----------------------------------------------------------------
    virtual MemoryStatus memoryStatus() const { return {}; }
    virtual ScreenSize screenSize() const { return {}; }
    virtual ColourDepth colourDepth() const { return {}; }
    // Horizontal logical pixels per inch of the screen; -1 without a screen device context.
    virtual int screenDpi() const { return -1; }
    virtual bool inVMware() const { return false; }
    virtual bool inVirtualPC() const { return false; }
    // The first drive from A to Z whose type is CD-ROM, as "D:\"; empty when none.
    virtual std::string firstCdRomDrive() const { return {}; }

    // --- Files and folders --------------------------------------------------------------------
    virtual FileVersion fileVersion(const std::string& path) const { return {}; }
    // The shell folder csidl. 38 (program files) and 43 (common files) come from the registry
    // under the given view, so the view decides between the 32-bit and 64-bit folders. Paths
    // the ANSI code page cannot express come back in their short (8.3) form.
    virtual std::string specialFolder(int csidl, RegistryView view) const { return {}; }
    // The "BootDir" of the Windows set-up key; empty when missing.
    virtual std::string bootFolder(RegistryView view) const { return {}; }
    // The path with every existing component as stored on disk (see path_names.h).
    virtual std::string longPath(const std::string& path) const { return {}; }
    // The short (8.3) form; empty when the path does not exist.
    virtual std::string shortPath(const std::string& path) const { return {}; }
};

#if defined(_WIN32)
// The real SystemInfo of this process. Reads the Windows, system and temporary folders once.
std::unique_ptr<SystemInfo> createSystemInfo();
#endif

} // namespace velmora::platform
