#include "msi/progress_rules.h"

namespace velmora::msi {

ProgressFields ParseProgressFields(std::string_view text) {
    ProgressFields fields{};
    std::size_t at = 0;
    for (std::size_t n = 0; n < fields.size(); ++n) {
        // "d: " with d from 1 to 4 (its value is not checked against the field's place).
        if (at + 3 > text.size() || text[at] < '1' || text[at] > '4' || text[at + 1] != ':' || text[at + 2] != ' ')
            break;
        at += 3;
        std::uint64_t value = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') value = value * 10 + static_cast<std::uint64_t>(text[at++] - '0');
        fields[n] = value;
        ++at;   // the separator
    }
    return fields;
}

void ApplyProgressFields(ProgressState& s, const ProgressFields& f) {
    // Each rule tests the fields, not the outcome of an earlier rule.
    if (f[0] == 0) {
        s.minimum = 0;
        if (f[1] != 0) s.total = static_cast<std::int64_t>(f[1]);
        s.position = 0;
        s.step = 0;
        if (f[2] == 0) s.direction = 1;
        else if (f[2] == 1) s.direction = -1;
    }
    if (f[0] == 1) {
        if (f[2] == 0) s.step = 0;
        else if (f[2] == 1) s.step = static_cast<std::int32_t>(static_cast<std::uint32_t>(f[1]));
    }
    if (f[0] == 2) s.position += static_cast<std::int64_t>(s.direction) * static_cast<std::int64_t>(f[1]);
    if (f[0] == 3) s.total += static_cast<std::int64_t>(f[1]);
}

std::string ActionStartText(std::string_view text) {
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos) return std::string(text);
    const std::size_t from = dot + 2;
    return from >= text.size() ? std::string() : std::string(text.substr(from));
}

} // namespace velmora::msi
