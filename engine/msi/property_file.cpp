#include "msi/property_file.h"

#include "script/reserved_properties.h"
#include "script/variables.h"

namespace velmora::msi {
namespace {

void record(std::string& out, const std::string& name, const std::string& value) {
    out += name + "\r\n" + EncodeNewlines(value) + "\r\n$ex\r\n";
}

} // namespace

std::string PropertyFileText(const PropertyFileInput& in, const TVariableManager& vars) {
    std::string out;
    if (in.patch) {
        record(out, "SourceDir", in.sourceFolder);
        record(out, "SRCDIREX", in.sourceFolder);
    } else {
        record(out, "SourceDir", in.dataFolder);
        record(out, "MEDIAPACKAGEPATH", in.mediaPackagePath);
    }
    for (std::size_t i = 0; i + 1 < in.properties.size(); i += 2)
        record(out, in.properties[i], vars.ExpandPath(in.properties[i + 1]));
    for (std::size_t i = 0; i + 1 < in.variables.size(); i += 2)
        if (!IsReservedProperty(in.variables[i])) record(out, in.variables[i], vars.ExpandPath(in.variables[i + 1]));
    return out;
}

} // namespace velmora::msi
