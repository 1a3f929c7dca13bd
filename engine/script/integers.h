// Integer conversion of script texts: optional leading spaces, an optional sign, then decimal
// digits or hexadecimal digits introduced by "$", "x", "X", "0x" or "0X", nothing after them,
// and a value that fits the width in use.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace velmora {

std::optional<std::int32_t> parseInt32(std::string_view text);
std::optional<std::int64_t> parseInt64(std::string_view text);
// The same, raising the conversion error for a text that is not an integer.
std::int32_t toInt32(std::string_view text);
std::int64_t toInt64(std::string_view text);

} // namespace velmora
