// Installer properties queued by the script for the next installer run: the activation and
// exported properties of system-changing statements, MSINTEMP, ProductLanguage. The worker writes
// them into the package's Property table before the run and then discards them.
#pragma once

#include <string>

#include "core/text_list.h"

namespace velmora {

struct PendingProperties {
    TextList names;
    TextList values;   // CR LF inside a value stored as "$NEWLINE$"

    void QueuePendingProperty(const std::string& name, const std::string& value);
    bool empty() const { return names.empty(); }
    void clear() {
        names.clear();
        values.clear();
    }
};

} // namespace velmora
