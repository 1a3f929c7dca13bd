// File-system redirection around one command: the 32-bit engine switches the WOW64 redirector
// off in 64-bit mode; the 64-bit engine, which is never redirected, maps paths the way the
// redirector would in "Win32" mode. Either way a command sees the files of its platform mode.
#pragma once

#include "platform/system_info.h"

#include <optional>
#include <string>
#include <string_view>

namespace velmora::platform {

// Lives for the duration of one command that is marked "redirection off", on the thread that
// touches the files (redirection is a per-thread setting of the system). Every path such a
// command hands to the file system goes through path().
//
//   engine  | PlatformMode | redirector        | path()
//   32-bit  | Win32        | left on           | unchanged (the system redirects)
//   32-bit  | x64, ia64    | off for the scope | unchanged
//   64-bit  | Win32        | (none exists)     | redirectedPath(): System32 -> SysWOW64, ...
//   64-bit  | x64, ia64    | (none exists)     | unchanged
class RedirectionScope {
public:
    RedirectionScope(const SystemInfo& system, std::string_view platformMode);
    ~RedirectionScope();
    RedirectionScope(const RedirectionScope&) = delete;
    RedirectionScope& operator=(const RedirectionScope&) = delete;

    // The path the command must use for a path of the script.
    std::string path(std::string_view scriptPath) const;
    // True while the system's redirector is switched off by this scope.
    bool redirectionDisabled() const { return saved_.has_value(); }

private:
    const SystemInfo& system_;
    std::optional<RedirectionState> saved_;
    bool mapsLike32BitProgram_ = false;
};

} // namespace velmora::platform
