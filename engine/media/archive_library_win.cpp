// Loading kel.lib: LoadLibrary from the engine's folder and GetProcAddress for each export.
// The module handle is released exactly once, when the ArchiveLibrary goes.
#include <windows.h>

#include <stdexcept>

#include "media/archive_library.h"

namespace velmora {

struct ArchiveLibrary::Module {
    HMODULE handle;
    explicit Module(HMODULE h) : handle(h) {}
    ~Module() { FreeLibrary(handle); }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
};

namespace {

template <typename Fn>
Fn bindExport(HMODULE module, const char* name, const std::string& path) {
    FARPROC p = GetProcAddress(module, name);
    if (p == nullptr) throw std::runtime_error("The archive library " + path + " has no function " + name);
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(p));
}

} // namespace

ArchiveLibrary::ArchiveLibrary(std::unique_ptr<Module> module, ArchiveLibraryExports exports, std::string path)
    : module_(std::move(module)), exports_(exports), path_(std::move(path)) {}
ArchiveLibrary::ArchiveLibrary(ArchiveLibrary&&) noexcept = default;
ArchiveLibrary& ArchiveLibrary::operator=(ArchiveLibrary&&) noexcept = default;
ArchiveLibrary::~ArchiveLibrary() = default;

ArchiveLibrary ArchiveLibrary::load(const std::string& folder) {
    std::string path = folder;
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
    path += "kel.lib";
    HMODULE h = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (h == nullptr) throw std::runtime_error("Cannot load the archive library " + path);
    auto module = std::make_unique<Module>(h);
    ArchiveLibraryExports e;
    e.openListArchive = bindExport<KelOpenListArchiveFn>(h, "OpenListArchive", path);
    e.closeListArchive = bindExport<KelCloseListArchiveFn>(h, "CloseListArchive", path);
    e.extractArchive = bindExport<KelExtractArchiveFn>(h, "ExtractArchive", path);
    e.getLastArchiveError = bindExport<KelGetLastArchiveErrorFn>(h, "GetLastArchiveError", path);
    return ArchiveLibrary(std::move(module), e, path);
}

ArchiveExtractResult ArchiveLibrary::extract(const std::string& archivePath, const std::string& outputFolder,
                                             const std::string& password, bool overwrite) const {
    ArchiveExtractRequest request;
    request.archivePath = archivePath;
    request.outputFolder = outputFolder;
    request.password = password;
    request.overwrite = overwrite;
    return extract(request);
}

ArchiveExtractResult ArchiveLibrary::extract(const ArchiveExtractRequest& request) const {
    return velmora::extractArchive(exports_, request);
}

std::string ArchiveLibrary::appendedData() const {
    // The file the module was loaded from, read whole.
    std::wstring file(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(module_->handle, file.data(), static_cast<DWORD>(file.size()));
        if (n == 0) throw std::runtime_error("Cannot find the file of the archive library");
        if (n < file.size()) {
            file.resize(n);
            break;
        }
        file.resize(file.size() * 2);
    }
    HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("Cannot read the archive library " + path_);
    std::string bytes;
    char buffer[1 << 16];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(h, buffer, sizeof buffer, &got, nullptr)) && got > 0) bytes.append(buffer, got);
    CloseHandle(h);
    if (!ok) throw std::runtime_error("Cannot read the archive library " + path_);
    return bytesAfterImage(bytes);
}

} // namespace velmora
