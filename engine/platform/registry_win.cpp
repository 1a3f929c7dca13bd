// Opening keys and reading text and number values with the "A" registry functions.
#include "platform/registry_win.h"

#include <vector>

namespace velmora::platform::win {

std::optional<RegKey> RegKey::open(HKEY root, const std::string& path, REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, access, &key) != ERROR_SUCCESS) return std::nullopt;
    return RegKey(key);
}

std::optional<std::string> RegKey::readString(const std::string& name) const {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    // The value may change between the two calls; retry while it keeps growing.
    std::vector<char> buffer;
    LONG status;
    do {
        buffer.assign(size + 1, '\0');
        status = RegQueryValueExA(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    } while (status == ERROR_MORE_DATA);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
    // Stored strings need not be terminated, and may carry more than one terminator.
    std::string value(buffer.data(), size);
    while (!value.empty() && value.back() == '\0') value.pop_back();
    if (const auto nul = value.find('\0'); nul != std::string::npos) value.resize(nul);
    return value;
}

std::optional<std::uint32_t> RegKey::readDword(const std::string& name) const {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
        return std::nullopt;
    if (type != REG_DWORD || size != sizeof value) return std::nullopt;
    return value;
}

std::string readRegistryText(HKEY root, const std::string& path, const std::string& name, REGSAM access) {
    const auto key = RegKey::open(root, path, access);
    if (!key) return {};
    return key->readString(name).value_or(std::string());
}

} // namespace velmora::platform::win
