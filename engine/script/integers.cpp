#include "script/integers.h"

#include "script/script_error.h"

namespace velmora {
namespace {

// Hexadecimal digits may fill the whole width (two's complement: "$FFFFFFFF" is -1 in 32 bits);
// decimal values must fit the signed range.
std::optional<std::int64_t> parse(std::string_view s, int bits) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    bool hex = false;
    if (i < s.size() && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= s.size()) return std::nullopt;
    const std::uint64_t signedMax = (std::uint64_t{1} << (bits - 1)) - 1;
    const std::uint64_t unsignedMax = bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
    std::uint64_t value = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        unsigned digit;
        if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
        else if (hex && c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
        else return std::nullopt;
        const unsigned base = hex ? 16 : 10;
        if (value > (unsignedMax - digit) / base) return std::nullopt;
        value = value * base + digit;
    }
    std::int64_t result;
    if (hex) {
        // Reinterpret the digits in the width in use.
        if (bits == 32) result = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
        else result = static_cast<std::int64_t>(value);
    } else {
        if (value > signedMax + (negative ? 1 : 0)) return std::nullopt;
        result = negative && value == signedMax + 1 ? static_cast<std::int64_t>(-static_cast<std::int64_t>(signedMax) - 1)
                                                    : static_cast<std::int64_t>(value);
        if (negative && value != signedMax + 1) result = -result;
        return result;
    }
    return negative ? static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(result)) : result;
}

} // namespace

std::optional<std::int32_t> parseInt32(std::string_view text) {
    auto v = parse(text, 32);
    if (!v) return std::nullopt;
    return static_cast<std::int32_t>(*v);
}

std::optional<std::int64_t> parseInt64(std::string_view text) { return parse(text, 64); }

std::int32_t toInt32(std::string_view text) {
    if (auto v = parseInt32(text)) return *v;
    throwConversionError(text);
}

std::int64_t toInt64(std::string_view text) {
    if (auto v = parseInt64(text)) return *v;
    throwConversionError(text);
}

} // namespace velmora
