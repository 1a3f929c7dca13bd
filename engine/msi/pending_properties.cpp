#include "msi/pending_properties.h"

#include "script/variables.h"

namespace velmora {

void PendingProperties::QueuePendingProperty(const std::string& name, const std::string& value) {
    names.add(name);
    values.add(EncodeNewlines(value));
}

} // namespace velmora
