// The Windows Installer functions the engine calls, behind an interface: the Windows build
// forwards to msi.dll (loaded by name on first use, each function looked up by name on first
// use); native tests plug in small fakes. Handles are the installer's 32-bit handle numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

namespace velmora::msi {

using MsiHandle = std::uint32_t;

// The installer library or one of its functions is missing: "Library not found: msi.dll" or
// "Function not found: msi.dll.MsiInstallProductA".
class InstallerLibraryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Result codes and constants of the installer used by the engine.
inline constexpr std::uint32_t kSuccess = 0;
inline constexpr std::uint32_t kNoMoreItems = 259;
inline constexpr std::uint32_t kInstallUserExit = 1602;
inline constexpr std::uint32_t kInstallAlreadyRunning = 1618;
inline constexpr std::uint32_t kRebootInitiated = 1641;
inline constexpr std::uint32_t kRebootRequired = 3010;
inline constexpr int kInstallStateDefault = 5;           // the product is installed
inline constexpr int kOpenReadOnly = 0;                   // MsiOpenDatabase persist modes
inline constexpr int kOpenForEdit = 2;                    // direct: the edits are committed at the end
inline constexpr int kModifyUpdate = 2;                   // MsiViewModify
inline constexpr int kRunModeRebootAtEnd = 6;             // MsiGetMode
inline constexpr int kRunModeRebootNow = 7;
inline constexpr int kUiLevelNoneWithSourceResolution = 0x102;
inline constexpr std::uint32_t kExternalUiFilter = 0x7FDF;
inline constexpr std::uint32_t kLogModeAll = 0x3FDF;
inline constexpr std::uint32_t kLogAppendAndFlush = 3;

// Receives the installer's messages during a run (the external user interface).
class InstallerMessageSink {
public:
    virtual ~InstallerMessageSink() = default;
    virtual int OnInstallerMessage(std::uint32_t word, const std::string& text) = 0;
};

class InstallerApi {
public:
    virtual ~InstallerApi() = default;

    // --- running packages ---
    virtual int SetInternalUI(int level) = 0;
    virtual void SetExternalUI(InstallerMessageSink* sink, std::uint32_t filter) = 0;
    virtual std::uint32_t EnableLog(std::uint32_t mode, const std::string& path, std::uint32_t attributes) = 0;
    virtual int QueryProductState(const std::string& productCode) = 0;
    virtual std::uint32_t InstallProduct(const std::string& package, const std::string& commandLine) = 0;
    // No installed package, the default install type.
    virtual std::uint32_t ApplyPatch(const std::string& patch, const std::string& commandLine) = 0;
    virtual std::uint32_t OpenPackage(const std::string& package, MsiHandle& handle) = 0;
    virtual std::uint32_t SetProperty(MsiHandle install, const std::string& name, const std::string& value) = 0;
    virtual std::uint32_t DoAction(MsiHandle install, const std::string& action) = 0;
    virtual bool GetMode(MsiHandle install, int mode) = 0;
    virtual std::uint32_t CloseHandle(MsiHandle handle) = 0;
    // Adds a network source for the product, for user (empty: no user), index 0.
    virtual std::uint32_t SourceListAddSource(const std::string& productCode, const std::string& user,
                                              const std::string& source) = 0;
    virtual std::uint32_t GetProductInfo(const std::string& productCode, const std::string& property,
                                         std::string& value) = 0;

    // --- the package database ---
    virtual std::uint32_t OpenDatabase(const std::string& path, int persistMode, MsiHandle& database) = 0;
    virtual std::uint32_t DatabaseOpenView(MsiHandle database, const std::string& sql, MsiHandle& view) = 0;
    virtual std::uint32_t ViewExecute(MsiHandle view, MsiHandle record) = 0;
    virtual std::uint32_t ViewFetch(MsiHandle view, MsiHandle& record) = 0;
    virtual std::uint32_t ViewModify(MsiHandle view, int mode, MsiHandle record) = 0;
    virtual std::uint32_t ViewClose(MsiHandle view) = 0;
    virtual std::uint32_t DatabaseCommit(MsiHandle database) = 0;
    virtual int RecordGetInteger(MsiHandle record, unsigned field) = 0;
    virtual std::uint32_t RecordSetInteger(MsiHandle record, unsigned field, int value) = 0;
    // Reads at most bufferChars - 1 characters, as a buffer of that size would.
    virtual std::uint32_t RecordGetString(MsiHandle record, unsigned field, std::string& value,
                                          std::size_t bufferChars) = 0;
    virtual std::uint32_t RecordSetString(MsiHandle record, unsigned field, const std::string& value) = 0;
    // The summary information of an open database (no path), allowing updateCount changes.
    virtual std::uint32_t GetSummaryInformation(MsiHandle database, unsigned updateCount, MsiHandle& summary) = 0;
    virtual std::uint32_t SummaryInfoGetString(MsiHandle summary, unsigned property, std::string& value,
                                               std::size_t bufferChars) = 0;
    virtual std::uint32_t SummaryInfoSetString(MsiHandle summary, unsigned property, const std::string& value) = 0;
    virtual std::uint32_t SummaryInfoSetInteger(MsiHandle summary, unsigned property, int value) = 0;
    virtual std::uint32_t SummaryInfoPersist(MsiHandle summary) = 0;
};

// An installer handle closed exactly once.
class ScopedHandle {
public:
    ScopedHandle(InstallerApi& api, MsiHandle handle = 0) : api_(&api), handle_(handle) {}
    ~ScopedHandle() { reset(); }
    ScopedHandle(ScopedHandle&& o) noexcept : api_(o.api_), handle_(std::exchange(o.handle_, 0)) {}
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    MsiHandle get() const { return handle_; }
    MsiHandle& out() {
        reset();
        return handle_;
    }
    explicit operator bool() const { return handle_ != 0; }
    void reset() {
        if (handle_) api_->CloseHandle(std::exchange(handle_, 0));
    }

private:
    InstallerApi* api_;
    MsiHandle handle_ = 0;
};

#if defined(_WIN32)
// The process's msi.dll binding. The library, once loaded, stays loaded until the program ends.
InstallerApi& windowsInstallerApi();
#endif

} // namespace velmora::msi
