// Windows tables: folding and conversion follow the system ANSI code page.
#include "core/text_tables.h"

#include <windows.h>

namespace velmora::text::detail {
namespace {

FoldTables makeTables() {
    FoldTables t{};
    for (int i = 0; i < 256; ++i) {
        char u = static_cast<char>(i), l = static_cast<char>(i);
        if (i != 0) {
            CharUpperBuffA(&u, 1);
            CharLowerBuffA(&l, 1);
        }
        t.upper[i] = static_cast<unsigned char>(u);
        t.lower[i] = static_cast<unsigned char>(l);
    }
    return t;
}

} // namespace

const FoldTables& foldTables() {
    static const FoldTables tables = makeTables();
    return tables;
}

std::u16string ansiToUtf16(std::string_view ansi) {
    if (ansi.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::u16string out(static_cast<std::size_t>(n), u'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), reinterpret_cast<wchar_t*>(out.data()), n);
    return out;
}

std::string utf16ToAnsi(std::u16string_view wide) {
    if (wide.empty()) return {};
    const auto* w = reinterpret_cast<const wchar_t*>(wide.data());
    const int n = WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

} // namespace velmora::text::detail
