#include "msi/property_string.h"

namespace velmora::msi {
namespace {

std::string quotedWhen(bool quote, const std::string& value) { return quote ? "\"" + value + "\"" : value; }

std::string allUsersFragment(const PropertyStringInput& in) {
    return in.allUsers == "TRUE" ? "ALLUSERS=1 " : "ALLUSERS=\"\" ";
}

std::string withoutDrive(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') return path.substr(2);
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        // \\server\share is the drive of a network path.
        std::size_t end = path.find('\\', 2);
        if (end != std::string::npos) end = path.find('\\', end + 1);
        return end == std::string::npos ? std::string() : path.substr(end);
    }
    return path;
}

} // namespace

std::string MediaPackagePath(const std::string& dataFolder) {
    std::string folder = dataFolder;
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    const std::size_t sep = folder.find_last_of('\\');
    std::string parent = sep == std::string::npos ? std::string() : folder.substr(0, sep + 1);
    parent = withoutDrive(parent);
    if (parent.empty() || parent.back() != '\\') parent += '\\';
    return parent;
}

std::string SourceList(const PropertyStringInput& in) {
    return quotedWhen(in.installerFolderBlank || in.sourceBlank, in.dataFolder + ";" + in.installerFolder);
}

std::string BuildPropertyString(const PropertyStringInput& in) {
    std::string p = allUsersFragment(in);
    if (in.disableRollback == "TRUE") p += "DISABLEROLLBACK=1 ";
    if (in.disableRestartManager == "TRUE") p += "MSIRESTARTMANAGERCONTROL=Disable ";

    if (in.patch) {
        p = "ADDLOCAL=ALL " + p;
        p += "SRCDIR=" + quotedWhen(in.sourceBlank, in.sourceFolder) + " ";
        p += "SRCDIREX=" + quotedWhen(in.sourceBlank, in.sourceFolder) + " ";
        return p;
    }

    const bool install = in.install || in.advertise;
    if (install) {
        p += "ARPSYSTEMCOMPONENT=1 ARPNOREMOVE=1 ARPNOMODIFY=1 ARPNOREPAIR=1 ARPINSTALLLOCATION=\"" + in.location + "\" ";
        const bool installed = in.productState == 5;
        if (installed && in.advertisedBefore && !in.advertise) p = "ADDLOCAL=ALL ADVERTISE=\"\" " + p;
        else if (installed) p = "REINSTALL=ALL REINSTALLMODE=vomus " + p;
        else if (in.advertise) p = "ADVERTISE=ALL " + p;
        else p = "ADDLOCAL=ALL " + p;
    } else {
        p = "REMOVE=ALL " + p;
        // The removal names ALLUSERS and REMOVE once more at its end.
        p += allUsersFragment(in) + "REMOVE=ALL ";
    }
    p += "SRCDIR=" + quotedWhen(in.sourceBlank, in.dataFolder) + " ";
    p += "SOURCELIST=" + SourceList(in) + " ";
    p += "MEDIAPACKAGEPATH=" + quotedWhen(in.sourceBlank, in.mediaPackagePath) + " ";
    p += "REBOOT=R ";
    return p;
}

std::vector<std::pair<std::string, std::string>> RemovalPackageProperties(const PropertyStringInput& in) {
    return {
        {"ALLUSERS", in.allUsers == "TRUE" ? "1" : ""},
        {"REMOVE", "ALL"},
        {"SRCDIR", quotedWhen(in.sourceBlank, in.dataFolder)},
        {"SOURCELIST", SourceList(in)},
        {"MEDIAPACKAGEPATH", quotedWhen(in.sourceBlank, in.mediaPackagePath)},
        {"REBOOT", "R"},
    };
}

} // namespace velmora::msi
