// Path text helpers (no file system access).
#include "platform/file_utils.h"

namespace velmora::platform {
namespace {

std::size_t nameStart(std::string_view path) {
    const std::size_t sep = path.find_last_of("\\/:");
    return sep == std::string_view::npos ? 0 : sep + 1;
}

} // namespace

std::string addTrailingBackslash(std::string_view path) {
    std::string out(path);
    if (!out.empty() && out.back() != '\\') out += '\\';
    return out;
}

std::string removeTrailingBackslash(std::string_view path) {
    if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    return std::string(path);
}

std::string extension(std::string_view path) {
    const std::string_view name = path.substr(nameStart(path));
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
}

std::string nameWithoutExtension(std::string_view path) {
    std::string name(path.substr(nameStart(path)));
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return name;
    // The first occurrence of the extension text (dot included) is what goes.
    const std::string ext = name.substr(dot);
    name.erase(name.find(ext), ext.size());
    return name;
}

std::string fileNamePart(std::string_view path) { return std::string(path.substr(nameStart(path))); }
std::string folderPart(std::string_view path) { return std::string(path.substr(0, nameStart(path))); }

} // namespace velmora::platform
