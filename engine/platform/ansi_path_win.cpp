// Exact UTF-16 -> ANSI conversion of paths, falling back to the short (8.3) form.
#include "platform/ansi_path.h"

#include <windows.h>

#include <optional>
#include <vector>

namespace velmora::platform {
namespace {

// The ANSI text when every character converts exactly (no best-fit look-alikes, no default
// character); nullopt otherwise.
std::optional<std::string> exactAnsi(std::wstring_view wide) {
    if (wide.empty()) return std::string();
    const UINT codePage = GetACP();
    // The UTF-8 code page expresses everything and rejects the lossy-conversion flags.
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = utf8 ? nullptr : &usedDefault;
    const int size = static_cast<int>(wide.size());
    const int n = WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, usedDefaultOut);
    if (n <= 0 || usedDefault) return std::nullopt;
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, flags, wide.data(), size, out.data(), n, nullptr, usedDefaultOut);
    if (usedDefault) return std::nullopt;
    return out;
}

std::optional<std::wstring> shortForm(const std::wstring& path) {
    DWORD n = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (n == 0) return std::nullopt;
    std::vector<wchar_t> buffer(n);
    n = GetShortPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0 || n >= buffer.size()) return std::nullopt;
    return std::wstring(buffer.data(), n);
}

} // namespace

std::string ansiPath(std::u16string_view widePath) {
    const std::wstring wide(reinterpret_cast<const wchar_t*>(widePath.data()), widePath.size());
    if (auto exact = exactAnsi(wide)) return *exact;
    if (const auto shortPath = shortForm(wide))
        if (auto exact = exactAnsi(*shortPath)) return *exact;
    return {};
}

} // namespace velmora::platform
