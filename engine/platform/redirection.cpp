// Switching the redirector off and back on around a command, or mapping its paths.
#include "platform/redirection.h"

#include "platform/wow64_paths.h"

namespace velmora::platform {

RedirectionScope::RedirectionScope(const SystemInfo& system, std::string_view platformMode)
    : system_(system), saved_(system.disableRedirection(platformMode)),
      mapsLike32BitProgram_(system.is64BitProcess() && platformMode == kPlatformWin32) {}

RedirectionScope::~RedirectionScope() {
    if (saved_) system_.revertRedirection(*saved_);
}

std::string RedirectionScope::path(std::string_view scriptPath) const {
    if (!mapsLike32BitProgram_) return std::string(scriptPath);
    return redirectedPath(scriptPath, {system_.windowsFolder(), system_.systemFolder(), system_.system32BitFolder()});
}

} // namespace velmora::platform
