// The catalogue of Windows Installer property names that script variables must not set when
// the engine hands its variables to an installer run.
#pragma once

#include <span>
#include <string_view>

namespace velmora {

// The 207 catalogue entries in their fixed order (five names occur twice).
std::span<const std::string_view> ReservedPropertyNames();
// Whether name, ignoring letter case, is in the catalogue.
bool IsReservedProperty(std::string_view name);

} // namespace velmora
