// The engine-wide 64-bit switches: which side of 64-bit Windows the setup works on
// (PlatformMode) and the registry view added to the access mask of registry keys (RegistryView).
// Pure values and rules; the Windows calls that use them live in the *_win.cpp files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora::platform {

// The registry view flag as the engine stores it: 0, KEY_WOW64_32KEY or KEY_WOW64_64KEY.
using RegistryView = std::uint32_t;
inline constexpr RegistryView kRegistryViewDefault = 0;
inline constexpr RegistryView kRegistryView32 = 0x200; // KEY_WOW64_32KEY
inline constexpr RegistryView kRegistryView64 = 0x100; // KEY_WOW64_64KEY

inline constexpr std::string_view kPlatformWin32 = "Win32";
inline constexpr std::string_view kPlatformX64 = "x64";
inline constexpr std::string_view kPlatformIa64 = "ia64";

// 64-bit mapping, one rule for both builds.
//
// The stored values are those a 32-bit engine uses: "Win32" selects the 32-bit view (0x200),
// "x64"/"ia64" the 64-bit view (0x100), and 0 means "no flag". A 32-bit process without a flag
// sees the 32-bit view; a 64-bit process without a flag would see the 64-bit one. So the flag
// that is really added to an access mask comes from registryAccessView(): it is the stored value,
// except that 0 becomes KEY_WOW64_32KEY in a 64-bit process. That way the 64-bit engine reaches
// exactly the keys the 32-bit engine reaches, in every mode and before any command selected a view:
//
//   process | on 64-bit Windows | PlatformMode | selected view | flag added to the mask
//   32-bit  | no                | any          | 0             | 0 (there is only one view)
//   32-bit  | yes (WOW64)       | Win32        | 0x200         | 0x200 (32-bit view)
//   32-bit  | yes (WOW64)       | x64, ia64    | 0x100         | 0x100 (64-bit view)
//   64-bit  | always            | Win32        | 0x200         | 0x200 (32-bit view)
//   64-bit  | always            | x64, ia64    | 0x100         | 0x100 (64-bit view)
//   64-bit  | always            | (view 0)     | 0             | 0x200 (what a 32-bit engine sees)
//
// Keys that the engine opens "without a view" (KEY_READ only) go through registryAccessView(0)
// too. File-system redirection is the other half: see redirection.h and docs/platform-64bit.md.
struct PlatformSwitches {
    std::string platformMode{kPlatformWin32};
    RegistryView registryView = kRegistryViewDefault;

    // True when the setup works on the 64-bit side: any mode other than exactly "Win32".
    bool on64BitSide() const { return platformMode != kPlatformWin32; }
};

// View a command selects at its start: 0 on 32-bit Windows; under 64-bit Windows 0x200 in
// "Win32" mode and 0x100 otherwise.
RegistryView selectedRegistryView(bool on64BitWindows, std::string_view platformMode);
// View a command leaves behind at its end: 0x200 under 64-bit Windows, 0 otherwise.
RegistryView resetRegistryView(bool on64BitWindows);
// The flag to add to a registry access mask for the stored view (see the table above).
std::uint32_t registryAccessView(RegistryView view, bool process64Bit);

// Selects the registry view for one command and resets it when the command ends, also when it
// fails with an exception.
class RegistryViewScope {
public:
    RegistryViewScope(PlatformSwitches& switches, bool on64BitWindows);
    ~RegistryViewScope();
    RegistryViewScope(const RegistryViewScope&) = delete;
    RegistryViewScope& operator=(const RegistryViewScope&) = delete;

private:
    PlatformSwitches& switches_;
    bool on64BitWindows_;
};

} // namespace velmora::platform
