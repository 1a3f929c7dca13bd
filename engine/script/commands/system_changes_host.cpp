// The native build has no Windows system to change: the immediate commands find nothing there.
#include "script/commands/system_changes_platform.h"

namespace velmora::commands::system_changes {

void makeFileNormal(const std::string&) {}
bool deleteFileEntry(const std::string&) { return false; }
bool removeEmptyFolder(const std::string&) { return false; }
std::vector<std::string> listFileTree(const std::string&) { return {}; }
void deleteRegistryEntry(int, const std::string&, const std::string&, bool, bool, std::uint32_t) {}
bool registerLibrary(const std::string&, bool) { return false; }

} // namespace velmora::commands::system_changes
