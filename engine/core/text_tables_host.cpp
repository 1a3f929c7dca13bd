// Host tables: Windows-1252, the code page the engine's texts are written in on Western systems.
#include "core/text_tables.h"

#include <array>

namespace velmora::text::detail {
namespace {

// Unicode code points of the bytes 0x80-0x9F in Windows-1252; the five unassigned bytes map to
// the C1 control of the same value, as the system conversion does.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t toCodePoint(unsigned char c) { return c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : c; }

FoldTables makeTables() {
    FoldTables t{};
    for (int i = 0; i < 256; ++i) t.upper[i] = t.lower[i] = static_cast<unsigned char>(i);
    auto pair = [&t](int lowerByte, int upperByte) {
        t.upper[lowerByte] = static_cast<unsigned char>(upperByte);
        t.lower[upperByte] = static_cast<unsigned char>(lowerByte);
    };
    for (int c = 'a'; c <= 'z'; ++c) pair(c, c - 32);
    for (int c = 0xE0; c <= 0xFE; ++c)
        if (c != 0xF7) pair(c, c - 32);
    pair(0x9A, 0x8A); // s caron
    pair(0x9C, 0x8C); // oe
    pair(0x9E, 0x8E); // z caron
    pair(0xFF, 0x9F); // y diaeresis
    return t;
}

} // namespace

const FoldTables& foldTables() {
    static const FoldTables tables = makeTables();
    return tables;
}

std::u16string ansiToUtf16(std::string_view ansi) {
    std::u16string out;
    out.reserve(ansi.size());
    for (unsigned char c : ansi) out.push_back(toCodePoint(c));
    return out;
}

std::string utf16ToAnsi(std::u16string_view wide) {
    std::string out;
    out.reserve(wide.size());
    for (char16_t w : wide) {
        if (w < 0x80 || (w >= 0xA0 && w <= 0xFF)) {
            out.push_back(static_cast<char>(w));
            continue;
        }
        char mapped = '?';
        for (int i = 0; i < 32; ++i)
            if (kHigh[i] == w) mapped = static_cast<char>(0x80 + i);
        out.push_back(mapped);
    }
    return out;
}

} // namespace velmora::text::detail
