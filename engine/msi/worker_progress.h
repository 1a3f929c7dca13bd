// Progress of worker threads as the pages see it: the QORV_th* variables of the store, written
// by SetWorkerProgress (every worker) and PublishProgress (the installer's message handler).
#pragma once

#include <cstdint>
#include <string>

namespace velmora {
class TVariableManager;
}

namespace velmora::msi {

// "$QORV$" takes text and numbers from the variables, "$IGNORE$" leaves the text, a position
// of -1 leaves the numbers.
void SetWorkerProgress(TVariableManager& vars, const std::string& text, std::int64_t minimum, std::int64_t maximum,
                       std::int64_t position);
// Stores position, total, minimum and text (in that order); true to go on, false when the user
// has cancelled (QORV_thCancelled is not "FALSE").
bool PublishProgress(TVariableManager& vars, const std::string& text, std::int64_t minimum, std::int64_t total,
                     std::int64_t position);

} // namespace velmora::msi
