// The per-byte tables behind core/text: one implementation per target (*_host.cpp, *_win.cpp).
#pragma once

#include <string>
#include <string_view>

namespace velmora::text::detail {

struct FoldTables {
    unsigned char upper[256];
    unsigned char lower[256];
};

const FoldTables& foldTables();
std::u16string ansiToUtf16(std::string_view ansi);
std::string utf16ToAnsi(std::u16string_view wide);

} // namespace velmora::text::detail
