// The version rules, architecture names and group rules shared by every SystemInfo.
#include "platform/system_info.h"

#include "core/text.h"

namespace velmora::platform {
namespace {

constexpr unsigned kPlatformNt = 2;                    // VER_PLATFORM_WIN32_NT
constexpr std::uint32_t kLastWindows98Build = 0x040A08AD;

} // namespace

unsigned servicePackNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] < '0' || text[i] > '9')) ++i;
    unsigned n = 0;
    for (std::size_t digits = 0; i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 9; ++i, ++digits)
        n = n * 10 + static_cast<unsigned>(text[i] - '0');
    return n;
}

OsVersion makeOsVersion(unsigned platformId, unsigned major, unsigned minor, std::uint32_t buildField,
                        std::string_view servicePackText) {
    OsVersion v;
    v.nt = platformId == kPlatformNt;
    v.major = major;
    v.minor = minor;
    v.build = v.nt ? buildField : (buildField & 0xFFFF);
    if (!v.nt && major == 4 && minor == 10 && buildField > kLastWindows98Build) v.minor = 11;
    v.servicePack = servicePackNumber(servicePackText);
    return v;
}

std::string architectureName(unsigned processorArchitecture) {
    switch (processorArchitecture) {
    case 0: return "X86";
    case 6: return "IA64";
    case 9: return "AMD64";
    default: return "UNKNOWN";
    }
}

std::string FileVersion::text() const {
    return text::decimal(major) + "." + text::decimal(minor) + "." + text::decimal(build) + "." +
           text::decimal(revision);
}

bool SystemInfo::isMemberOfGroup(unsigned relativeId) const {
    return !osVersion().nt || tokenHasBuiltinGroup(relativeId);
}

bool SystemInfo::isInGroup(BuiltinGroup group) const {
    if (!osVersion().nt) return group == BuiltinGroup::Administrators;
    return tokenHasBuiltinGroup(static_cast<unsigned>(group));
}

bool SystemInfo::isAdministrator() const {
    const OsVersion v = osVersion();
    if (!v.nt) return true;
    return tokenHasBuiltinGroup(static_cast<unsigned>(BuiltinGroup::Administrators)) && (v.major < 6 || isElevated());
}

} // namespace velmora::platform
