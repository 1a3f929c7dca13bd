// The installer's progress messages turned into counters: the fields of a progress message,
// the rules that reset, step and extend the counters, and the text of an action-start message.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmora::msi {

// What the progress display shows of a run. Lives for the process: a run starts with the values
// the previous one left until the installer's first reset arrives.
struct ProgressState {
    std::string text;
    std::int64_t position = 0;
    std::int64_t total = 0;
    std::int64_t minimum = 0;
    std::int32_t step = 0;
    std::int32_t direction = 0;
};

using ProgressFields = std::array<std::uint64_t, 4>;

// Up to four fields "n: digits" read one after another; the fields not reached stay 0.
ProgressFields ParseProgressFields(std::string_view text);
// Applies one progress message (reset, action info, report, add to total).
void ApplyProgressFields(ProgressState& state, const ProgressFields& fields);
// An action-start text without everything up to and including its first "." and the one
// character after it; a text without "." is taken whole.
std::string ActionStartText(std::string_view text);

} // namespace velmora::msi
