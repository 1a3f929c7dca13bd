// An open registry key that closes itself, with the reads the system queries need. Windows
// builds only; the access mask (with its view flag) is chosen by the caller.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace velmora::platform::win {

class RegKey {
public:
    // Opens an existing key; nullopt when it is missing or access is denied.
    static std::optional<RegKey> open(HKEY root, const std::string& path, REGSAM access);

    // A REG_SZ or REG_EXPAND_SZ value as stored (not expanded); nullopt when the value is
    // missing, of another type, or cannot be read.
    std::optional<std::string> readString(const std::string& name) const;
    // A REG_DWORD value; nullopt when missing, of another type, or unreadable.
    std::optional<std::uint32_t> readDword(const std::string& name) const;

    HKEY handle() const { return key_; }

    RegKey(RegKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    RegKey& operator=(RegKey&& other) noexcept {
        if (this != &other) {
            close();
            key_ = std::exchange(other.key_, nullptr);
        }
        return *this;
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey() { close(); }

private:
    explicit RegKey(HKEY key) : key_(key) {}
    void close() {
        if (key_) RegCloseKey(std::exchange(key_, nullptr));
    }
    HKEY key_ = nullptr;
};

// Reads one text value in one step: the value, or empty when the key or value is missing.
std::string readRegistryText(HKEY root, const std::string& path, const std::string& name, REGSAM access);

} // namespace velmora::platform::win
