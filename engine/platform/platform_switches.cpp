// Registry view selection and the mapping of stored views to access-mask flags.
#include "platform/platform_switches.h"

namespace velmora::platform {

RegistryView selectedRegistryView(bool on64BitWindows, std::string_view platformMode) {
    if (!on64BitWindows) return kRegistryViewDefault;
    return platformMode == kPlatformWin32 ? kRegistryView32 : kRegistryView64;
}

RegistryView resetRegistryView(bool on64BitWindows) {
    return on64BitWindows ? kRegistryView32 : kRegistryViewDefault;
}

std::uint32_t registryAccessView(RegistryView view, bool process64Bit) {
    if (view == kRegistryViewDefault && process64Bit) return kRegistryView32;
    return view;
}

RegistryViewScope::RegistryViewScope(PlatformSwitches& switches, bool on64BitWindows)
    : switches_(switches), on64BitWindows_(on64BitWindows) {
    switches_.registryView = selectedRegistryView(on64BitWindows_, switches_.platformMode);
}

RegistryViewScope::~RegistryViewScope() { switches_.registryView = resetRegistryView(on64BitWindows_); }

} // namespace velmora::platform
