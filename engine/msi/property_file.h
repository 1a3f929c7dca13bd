// The property file: a text file named TempDir + product code that the package's own actions
// read while a run is active. Records of three lines (name, value, "$ex"), CR LF line ends.
#pragma once

#include <string>

#include "core/text_list.h"

namespace velmora {
class TVariableManager;
}

namespace velmora::msi {

struct PropertyFileInput {
    bool patch = false;
    std::string dataFolder;
    std::string sourceFolder;
    std::string mediaPackagePath;
    TextList properties;   // RecordedProperties: name and value lines
    TextList variables;    // the variables text parsed: name and value lines
};

// The file's text. Property and variable values go through ExpandPath; variables that are
// reserved installer properties are left out. A line break inside a value is written as
// "$NEWLINE$" so that every record keeps its three lines.
std::string PropertyFileText(const PropertyFileInput& in, const TVariableManager& vars);

// The file's path: TempDir + product code, no extension.
inline std::string PropertyFilePath(const std::string& tempDir, const std::string& productCode) {
    return tempDir + productCode;
}

} // namespace velmora::msi
