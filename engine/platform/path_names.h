// Text rules for paths shared by the system queries: quotes, trailing backslashes, and the
// walk that turns a path into its long form one component at a time.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::platform {

// The text with every double quote removed.
std::string stripQuotes(std::string_view text);
// stripQuotes, then one trailing backslash removed; empty stays empty.
std::string pathWithoutQuotes(std::string_view text);

// Asks the file system for the name of the last component of a path as stored on disk
// (FindFirstFileA on Windows); nullopt when the path does not exist.
using StoredNameLookup = std::function<std::optional<std::string>(const std::string& path)>;

// The long form of a path: quotes and one trailing backslash removed, then every existing
// component, from the drive down, replaced by its name as stored on disk. When a component does
// not exist the path is returned from that point unchanged, so a path whose last component is
// missing comes back as given (minus quotes and trailing backslash). A drive ("C:") is returned
// as it is; a component holding a wildcard is never looked up (it would match another name).
std::string longPath(std::string_view path, const StoredNameLookup& storedName);

} // namespace velmora::platform
