// Single-byte ANSI text rules shared by every subsystem: letter-case folding for look-ups that
// ignore case, and conversion to and from UTF-16. The Windows build folds with the system code
// page; the host build folds as Windows-1252, so both agree on the texts tests use.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora::text {

char toUpper(char c);
char toLower(char c);
std::string upper(std::string_view s);
std::string lower(std::string_view s);

bool equalsIgnoreCase(std::string_view a, std::string_view b);
// Ordinal comparison of the upper-cased texts: <0, 0 or >0.
int compareIgnoreCase(std::string_view a, std::string_view b);
bool startsWithIgnoreCase(std::string_view s, std::string_view prefix);
// Position of needle in hay at or after from, ignoring case; npos when absent.
std::size_t findIgnoreCase(std::string_view hay, std::string_view needle, std::size_t from = 0);
std::size_t hashIgnoreCase(std::string_view s);

struct IgnoreCaseHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return hashIgnoreCase(s); }
};
struct IgnoreCaseEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return equalsIgnoreCase(a, b); }
};

// ANSI (system code page) <-> UTF-16. Characters without an ANSI form become '?'.
std::u16string toUtf16(std::string_view ansi);
std::string fromUtf16(std::u16string_view wide);

// Decimal text of a signed 64-bit integer (no locale, no grouping).
std::string decimal(long long value);

} // namespace velmora::text
