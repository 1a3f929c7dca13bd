// Quote and backslash rules and the component-wise long-path walk.
#include "platform/path_names.h"

#include "platform/file_utils.h"

namespace velmora::platform {
namespace {

bool isDriveOnly(std::string_view p) { return p.size() == 2 && p[1] == ':'; }

std::string longPathOf(const std::string& path, const StoredNameLookup& storedName) {
    const auto slash = path.rfind('\\');
    std::string head;     // converted folder part, without its trailing backslash
    std::string name;     // last component
    bool backslash = false; // the stored name follows the folder after a backslash
    if (slash != std::string::npos) {
        head = longPathOf(pathWithoutQuotes(path.substr(0, slash)), storedName);
        name = path.substr(slash + 1);
        backslash = true;
    } else if (path.empty() || isDriveOnly(path)) {
        return path;
    } else if (path.size() > 2 && path[1] == ':') { // drive-relative, "C:name"
        head = path.substr(0, 2);
        name = path.substr(2);
    } else {
        name = path;
    }
    if (name.empty() || name.find_first_of("*?") != std::string::npos) return path;
    const auto stored = storedName(path);
    if (!stored) return path;
    return backslash ? head + '\\' + *stored : head + *stored;
}

} // namespace

std::string stripQuotes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '"') out += c;
    return out;
}

std::string pathWithoutQuotes(std::string_view text) { return removeTrailingBackslash(stripQuotes(text)); }

std::string longPath(std::string_view path, const StoredNameLookup& storedName) {
    return longPathOf(pathWithoutQuotes(path), storedName);
}

} // namespace velmora::platform
