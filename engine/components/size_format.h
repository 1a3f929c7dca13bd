// Size texts of the component pages: FormatSize with its grouped digits and unit words, and the
// strict reading of a size line that statements rely on.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace velmora {

// The unit words of FormatSize. The defaults are the English entries of the message table;
// the message table hands in the words of the current setup language.
struct SizeUnits {
    std::string bytes = "bytes";
    std::string kilobytes = "KB";
    std::string megabytes = "MB";
};

// "1,536 bytes", "5,120 KB", "3,072 MB". Values below 1 MiB keep their value in bytes, negative
// values included (a negative value never changes unit); below 1 GiB they are shown in KB,
// beyond in MB, both truncated.
std::string FormatSize(std::int64_t bytes, const SizeUnits& units = {});

// A size line that is not a 64-bit integer, raised where a statement or a page reads it.
class InvalidIntegerError : public std::runtime_error {
public:
    explicit InvalidIntegerError(std::string_view textRead);
};

// A whole-text decimal 64-bit integer with an optional sign; nullopt for anything else
// (blanks, letters, an empty text, a value out of range).
std::optional<std::int64_t> parseSizeText(std::string_view text);
// As parseSizeText, but raises InvalidIntegerError ("'12a' is not a valid integer value").
std::int64_t sizeFromText(std::string_view text);

} // namespace velmora
