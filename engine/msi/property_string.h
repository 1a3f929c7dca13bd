// The property string handed to the installer for a run, fragment by fragment, and the folder
// texts it is made of (MediaPackagePath, the source list). Pure text rules, shared by the
// worker and its tests.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace velmora::msi {

struct PropertyStringInput {
    bool patch = false;
    bool install = true;              // false: removal
    bool advertise = false;
    bool ntPlatform = true;
    std::string allUsers;             // the variable ALLUSERS
    std::string disableRollback;      // QORV_DISABLE_ROLLBACK
    std::string disableRestartManager;// QORV_DISABLE_VISTA_RESTART_MANAGER
    int productState = -1;            // MsiQueryProductState of the product
    bool advertisedBefore = false;    // the cache marks the product as advertised
    std::string location;             // becomes ARPINSTALLLOCATION
    std::string dataFolder;           // short form when there is one
    std::string sourceFolder;         // patch runs
    std::string installerFolder;      // the package's folder, short form when there is one
    std::string mediaPackagePath;
    bool installerFolderBlank = false;// q: the installer folder has a blank or no short form
    bool sourceBlank = false;         // s: the data (patch: source) folder has a blank or no short form
};

// The parent of the data folder, with trailing backslash, without its drive (for the data
// folder C:\Setup\data\ it is \Setup\ as the example shows).
std::string MediaPackagePath(const std::string& dataFolder);
// Data folder + ";" + installer folder, in double quotes when either blank flag is set.
std::string SourceList(const PropertyStringInput& in);

// The command line of MsiInstallProduct (install and NT removal runs) or MsiApplyPatch (patch
// runs). Every fragment ends in one blank.
std::string BuildPropertyString(const PropertyStringInput& in);

// The properties a removal on the Windows 9x platform sets on the opened package, in order.
std::vector<std::pair<std::string, std::string>> RemovalPackageProperties(const PropertyStringInput& in);

} // namespace velmora::msi
