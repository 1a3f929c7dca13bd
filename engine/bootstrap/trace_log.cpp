#include "bootstrap/trace_log.h"

#include <cstdio>

#include "core/text.h"

namespace velmora {

void TraceLog::WriteTraceMarker(std::string_view text) {
    if (path_.empty()) return;
    // Reopened for every marker: other writers (the installer's own log) share the file.
    std::FILE* f = std::fopen(path_.c_str(), started_ ? "ab" : "wb");
    started_ = true;
    if (!f) return;
    std::string bytes;
    if (wide_) {
        const std::u16string units = text::toUtf16(text) + u"\r\n";
        bytes.reserve(units.size() * 2);
        for (char16_t u : units) {
            bytes.push_back(static_cast<char>(u & 0xFF));
            bytes.push_back(static_cast<char>(u >> 8));
        }
    } else {
        bytes.assign(text);
        bytes += "\r\n";
    }
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

} // namespace velmora
