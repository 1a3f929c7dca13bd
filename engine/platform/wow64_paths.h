// Where a 32-bit program reaches a path while the WOW64 file-system redirector is on. The 64-bit
// engine uses it in "Win32" mode so that file commands land where the 32-bit engine's would.
#pragma once

#include <string>
#include <string_view>

namespace velmora::platform {

// The folders the mapping needs, each with a trailing backslash; system32Bit is empty on a
// system without a 32-bit system folder (then nothing is mapped).
struct SystemFolders {
    std::string windows;      // C:\Windows\        (GetWindowsDirectoryA)
    std::string system;       // C:\Windows\System32\ (GetSystemDirectoryA of a 64-bit process)
    std::string system32Bit;  // C:\Windows\SysWOW64\ (GetSystemWow64DirectoryA)
};

// The redirector's rules, applied to the text of a full path (letter case ignored):
//   <system>\...               -> <system32Bit>\...  except the exempt sub-folders catroot,
//                                 catroot2, driverstore, drivers\etc, logfiles and spool
//   <windows>\lastgood\system32 -> <windows>\lastgood\SysWOW64
//   <windows>\regedit.exe      -> <system32Bit>\regedit.exe
//   <windows>\Sysnative\...    -> <system>\...   (the alias a 32-bit program uses for the
//                                 native system folder)
// Any other path, a relative path or a short (8.3) form of these folders comes back unchanged.
std::string redirectedPath(std::string_view path, const SystemFolders& folders);

} // namespace velmora::platform
