// msi.dll through LoadLibraryA and GetProcAddress, and the two product queries of the
// maintenance start-up.
#include <windows.h>

#include "msi/msi_library.h"

namespace velmora::msi {
namespace {

using QueryProductStateA = INT(WINAPI*)(LPCSTR product);
using GetProductInfoA = UINT(WINAPI*)(LPCSTR product, LPCSTR property, LPSTR value, DWORD* size);

} // namespace

LazyLibrary& msiLibrary() {
    static LazyLibrary library(
        kMsiLibraryName, [](const std::string& name) -> void* { return LoadLibraryA(name.c_str()); },
        [](void* module, const std::string& name) -> void* {
            return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name.c_str()));
        });
    return library;
}

int queryProductState(const std::string& productCode) {
    return msiFunction<QueryProductStateA>("MsiQueryProductStateA")(productCode.c_str());
}

std::optional<std::string> productInfo(const std::string& productCode, const std::string& property) {
    const auto get = msiFunction<GetProductInfoA>("MsiGetProductInfoA");
    std::string value(64, '\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = static_cast<DWORD>(value.size());
        const UINT rc = get(productCode.c_str(), property.c_str(), value.data(), &size);
        if (rc == ERROR_SUCCESS) {
            value.resize(size);
            return value;
        }
        if (rc != ERROR_MORE_DATA) return std::nullopt;
        value.assign(static_cast<std::size_t>(size) + 1, '\0');   // size excludes the terminator
    }
    return std::nullopt;
}

} // namespace velmora::msi
