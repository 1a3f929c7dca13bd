// Case folding and comparisons over the target's fold tables.
#include "core/text.h"

#include "core/text_tables.h"

#include <cstdint>

namespace velmora::text {

using detail::foldTables;

char toUpper(char c) { return static_cast<char>(foldTables().upper[static_cast<unsigned char>(c)]); }
char toLower(char c) { return static_cast<char>(foldTables().lower[static_cast<unsigned char>(c)]); }

std::string upper(std::string_view s) {
    const auto& t = foldTables();
    std::string out(s);
    for (auto& c : out) c = static_cast<char>(t.upper[static_cast<unsigned char>(c)]);
    return out;
}

std::string lower(std::string_view s) {
    const auto& t = foldTables();
    std::string out(s);
    for (auto& c : out) c = static_cast<char>(t.lower[static_cast<unsigned char>(c)]);
    return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    const auto& t = foldTables();
    for (std::size_t i = 0; i < a.size(); ++i)
        if (t.upper[static_cast<unsigned char>(a[i])] != t.upper[static_cast<unsigned char>(b[i])]) return false;
    return true;
}

int compareIgnoreCase(std::string_view a, std::string_view b) {
    const auto& t = foldTables();
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const int x = t.upper[static_cast<unsigned char>(a[i])];
        const int y = t.upper[static_cast<unsigned char>(b[i])];
        if (x != y) return x - y;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool startsWithIgnoreCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && equalsIgnoreCase(s.substr(0, prefix.size()), prefix);
}

std::size_t findIgnoreCase(std::string_view hay, std::string_view needle, std::size_t from) {
    if (needle.empty()) return from <= hay.size() ? from : std::string_view::npos;
    if (hay.size() < needle.size()) return std::string_view::npos;
    const auto& t = foldTables();
    const unsigned char first = t.upper[static_cast<unsigned char>(needle[0])];
    for (std::size_t i = from; i + needle.size() <= hay.size(); ++i) {
        if (t.upper[static_cast<unsigned char>(hay[i])] != first) continue;
        if (equalsIgnoreCase(hay.substr(i, needle.size()), needle)) return i;
    }
    return std::string_view::npos;
}

std::size_t hashIgnoreCase(std::string_view s) {
    // FNV-1a over the folded bytes.
    const auto& t = foldTables();
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : s) {
        h ^= t.upper[c];
        h *= 1099511628211ull;
    }
    return static_cast<std::size_t>(h);
}

std::u16string toUtf16(std::string_view ansi) { return detail::ansiToUtf16(ansi); }
std::string fromUtf16(std::u16string_view wide) { return detail::utf16ToAnsi(wide); }

std::string decimal(long long value) { return std::to_string(value); }

} // namespace velmora::text
