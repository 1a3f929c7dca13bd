// FormatSize and the reading of size lines.
#include "components/size_format.h"

#include <charconv>

namespace velmora {

std::string FormatSize(std::int64_t bytes, const SizeUnits& units) {
    constexpr std::int64_t kMiB = 1048576;
    constexpr std::int64_t kGiB = 1073741824;
    std::int64_t value = bytes;
    const std::string* unit = &units.bytes;
    if (bytes >= kMiB && bytes < kGiB) {
        value = bytes / 1024;
        unit = &units.kilobytes;
    } else if (bytes >= kGiB) {
        value = bytes / kMiB;
        unit = &units.megabytes;
    }
    // The magnitude in unsigned arithmetic, so the most negative value has one too.
    const bool negative = value < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    const std::string digits = std::to_string(magnitude);
    std::string out = negative ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    out += ' ';
    out += *unit;
    return out;
}

InvalidIntegerError::InvalidIntegerError(std::string_view textRead)
    : std::runtime_error("'" + std::string(textRead) + "' is not a valid integer value") {}

std::optional<std::int64_t> parseSizeText(std::string_view text) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') {
        ++first;
        if (first != last && *first == '-') return std::nullopt;
    }
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last || first == last) return std::nullopt;
    return value;
}

std::int64_t sizeFromText(std::string_view text) {
    if (const auto value = parseSizeText(text)) return *value;
    throw InvalidIntegerError(text);
}

} // namespace velmora
