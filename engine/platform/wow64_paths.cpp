// The WOW64 file-system redirector's path rules, as text.
#include "platform/wow64_paths.h"

#include "core/text.h"
#include "platform/file_utils.h"

#include <array>
#include <optional>

namespace velmora::platform {
namespace {

// The rest of path after folder ("" for the folder itself, else starting with a backslash);
// nullopt when path is not inside folder.
std::optional<std::string_view> restAfter(std::string_view path, std::string_view folder) {
    const std::string bare = removeTrailingBackslash(folder);
    if (bare.empty() || !text::startsWithIgnoreCase(path, bare)) return std::nullopt;
    std::string_view rest = path.substr(bare.size());
    if (!rest.empty() && rest.front() != '\\') return std::nullopt;
    return rest;
}

bool isExemptFromRedirection(std::string_view rest) {
    static constexpr std::array<std::string_view, 6> exempt = {
        "\\catroot", "\\catroot2", "\\driverstore", "\\drivers\\etc", "\\logfiles", "\\spool"};
    for (std::string_view folder : exempt) {
        if (!text::startsWithIgnoreCase(rest, folder)) continue;
        if (rest.size() == folder.size() || rest[folder.size()] == '\\') return true;
    }
    return false;
}

} // namespace

std::string redirectedPath(std::string_view path, const SystemFolders& folders) {
    const std::string wow = removeTrailingBackslash(folders.system32Bit);
    const std::string windows = removeTrailingBackslash(folders.windows);
    if (wow.empty() || windows.empty()) return std::string(path);

    if (const auto rest = restAfter(path, folders.system)) {
        if (isExemptFromRedirection(*rest)) return std::string(path);
        return wow + std::string(*rest);
    }
    if (const auto rest = restAfter(path, windows + "\\lastgood\\system32"))
        return windows + "\\lastgood\\SysWOW64" + std::string(*rest);
    if (const auto rest = restAfter(path, windows + "\\Sysnative"))
        return removeTrailingBackslash(folders.system) + std::string(*rest);
    if (text::equalsIgnoreCase(path, windows + "\\regedit.exe")) return wow + "\\regedit.exe";
    return std::string(path);
}

} // namespace velmora::platform
