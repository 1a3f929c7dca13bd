// msi.dll, loaded by name on the first call of any of its functions, each function looked up by
// name on its first use. A library that cannot be loaded fails with "Library not found: msi.dll",
// a missing function with "Function not found: msi.dll.<name>"; both are ordinary run-time
// errors for the caller. Shared by the maintenance start-up and the installer worker.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

namespace velmora::msi {

inline constexpr const char* kMsiLibraryName = "msi.dll";

// Windows Installer product states (MsiQueryProductState).
inline constexpr int kInstallStateUnknown = -1;
inline constexpr int kInstallStateAdvertised = 1;
inline constexpr int kInstallStateAbsent = 2;
inline constexpr int kInstallStateDefault = 5;   // installed

class LibraryNotFound : public std::runtime_error {
public:
    explicit LibraryNotFound(const std::string& library) : std::runtime_error("Library not found: " + library) {}
};

class FunctionNotFound : public std::runtime_error {
public:
    FunctionNotFound(const std::string& library, const std::string& function)
        : std::runtime_error("Function not found: " + library + "." + function) {}
};

// A library loaded on first use with its functions looked up once each. Thread-safe: the
// installer worker and the main thread may ask at the same time. The loader and look-up are
// handed in so the rules can be tested natively; the Windows build uses LoadLibraryA and
// GetProcAddress (see msiLibrary()). The library stays loaded for the life of the process.
class LazyLibrary {
public:
    using Loader = std::function<void*(const std::string& library)>;                // null: not found
    using Resolver = std::function<void*(void* module, const std::string& name)>;   // null: not found

    LazyLibrary(std::string name, Loader load, Resolver resolve);
    LazyLibrary(const LazyLibrary&) = delete;
    LazyLibrary& operator=(const LazyLibrary&) = delete;

    // The function's address; raises LibraryNotFound or FunctionNotFound. A library that failed
    // to load is tried again on the next call (it may have been installed meanwhile).
    void* function(const std::string& name);
    const std::string& name() const { return name_; }

private:
    std::string name_;
    Loader load_;
    Resolver resolve_;
    std::mutex lock_;
    void* module_ = nullptr;
    std::map<std::string, void*> functions_;
};

#if defined(_WIN32)
// The process's msi.dll.
LazyLibrary& msiLibrary();

// A typed msi.dll function: msiFunction<UINT(WINAPI*)(LPCSTR)>("MsiQueryProductStateA").
template <typename Function>
Function msiFunction(const char* name) {
    return reinterpret_cast<Function>(msiLibrary().function(name));
}

// MsiQueryProductStateA: the product's install state (kInstallStateDefault when installed).
int queryProductState(const std::string& productCode);
// MsiGetProductInfoA: a property of an installed product; nullopt when the installer reports
// an error (unknown product or property).
std::optional<std::string> productInfo(const std::string& productCode, const std::string& property);
#endif

} // namespace velmora::msi
