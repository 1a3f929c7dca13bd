// The msi.dll binding: the library is loaded by name on the first call of any function and each
// function is looked up by name on its first use, so a system without the installer still
// starts and fails only the statement that needs it.
#include "msi/installer_api.h"

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <functional>
#include <mutex>
#include <vector>

namespace velmora::msi {
namespace {

constexpr const char* kLibraryName = "msi.dll";
constexpr UINT kVtText = 30;     // VT_LPSTR
constexpr UINT kVtInteger = 3;   // VT_I4

HMODULE installerLibrary() {
    static std::mutex lock;
    static HMODULE module = nullptr;
    std::lock_guard<std::mutex> guard(lock);
    if (!module) module = LoadLibraryA(kLibraryName);
    if (!module) throw InstallerLibraryError(std::string("Library not found: ") + kLibraryName);
    return module;
}

template <typename Function>
Function lookUp(const char* name) {
    const FARPROC address = GetProcAddress(installerLibrary(), name);
    if (!address) throw InstallerLibraryError(std::string("Function not found: ") + kLibraryName + "." + name);
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

// The address of one installer function, looked up once (a failed look-up is tried again on the
// next call).
#define VELMORA_MSI(name) static const auto name##_ = lookUp<decltype(&::name)>(#name)

int WINAPI forwardMessage(LPVOID context, UINT word, LPCSTR text) {
    auto* sink = static_cast<InstallerMessageSink*>(context);
    try {
        return sink ? sink->OnInstallerMessage(word, text ? text : "") : 0;
    } catch (...) {
        return 0;   // nothing may unwind through the installer
    }
}

std::uint32_t readString(std::string& value, std::size_t bufferChars,
                         const std::function<UINT(char*, DWORD*)>& call) {
    std::vector<char> buffer(bufferChars ? bufferChars : 1, '\0');
    DWORD size = static_cast<DWORD>(buffer.size());
    const UINT rc = call(buffer.data(), &size);
    // A value longer than the buffer comes back cut to the buffer, as the installer fills it.
    value.assign(buffer.data(), strnlen(buffer.data(), buffer.size()));
    return rc == ERROR_MORE_DATA ? ERROR_SUCCESS : rc;
}

class WindowsInstallerApi : public InstallerApi {
public:
    int SetInternalUI(int level) override {
        VELMORA_MSI(MsiSetInternalUI);
        return MsiSetInternalUI_(static_cast<INSTALLUILEVEL>(level), nullptr);
    }
    void SetExternalUI(InstallerMessageSink* sink, std::uint32_t filter) override {
        VELMORA_MSI(MsiSetExternalUIA);
        MsiSetExternalUIA_(forwardMessage, filter, sink);
    }
    std::uint32_t EnableLog(std::uint32_t mode, const std::string& path, std::uint32_t attributes) override {
        VELMORA_MSI(MsiEnableLogA);
        return MsiEnableLogA_(mode, path.c_str(), attributes);
    }
    int QueryProductState(const std::string& productCode) override {
        VELMORA_MSI(MsiQueryProductStateA);
        return MsiQueryProductStateA_(productCode.c_str());
    }
    std::uint32_t InstallProduct(const std::string& package, const std::string& commandLine) override {
        VELMORA_MSI(MsiInstallProductA);
        return MsiInstallProductA_(package.c_str(), commandLine.c_str());
    }
    std::uint32_t ApplyPatch(const std::string& patch, const std::string& commandLine) override {
        VELMORA_MSI(MsiApplyPatchA);
        return MsiApplyPatchA_(patch.c_str(), nullptr, INSTALLTYPE_DEFAULT, commandLine.c_str());
    }
    std::uint32_t OpenPackage(const std::string& package, MsiHandle& handle) override {
        VELMORA_MSI(MsiOpenPackageA);
        MSIHANDLE h = 0;
        const UINT rc = MsiOpenPackageA_(package.c_str(), &h);
        handle = h;
        return rc;
    }
    std::uint32_t SetProperty(MsiHandle install, const std::string& name, const std::string& value) override {
        VELMORA_MSI(MsiSetPropertyA);
        return MsiSetPropertyA_(install, name.c_str(), value.c_str());
    }
    std::uint32_t DoAction(MsiHandle install, const std::string& action) override {
        VELMORA_MSI(MsiDoActionA);
        return MsiDoActionA_(install, action.c_str());
    }
    bool GetMode(MsiHandle install, int mode) override {
        VELMORA_MSI(MsiGetMode);
        return MsiGetMode_(install, static_cast<MSIRUNMODE>(mode)) != FALSE;
    }
    std::uint32_t CloseHandle(MsiHandle handle) override {
        VELMORA_MSI(MsiCloseHandle);
        return MsiCloseHandle_(handle);
    }
    std::uint32_t SourceListAddSource(const std::string& productCode, const std::string& user,
                                      const std::string& source) override {
        VELMORA_MSI(MsiSourceListAddSourceA);
        return MsiSourceListAddSourceA_(productCode.c_str(), user.empty() ? nullptr : user.c_str(), 0, source.c_str());
    }
    std::uint32_t GetProductInfo(const std::string& productCode, const std::string& property, std::string& value) override {
        VELMORA_MSI(MsiGetProductInfoA);
        return readString(value, 1024, [&](char* buffer, DWORD* size) {
            return MsiGetProductInfoA_(productCode.c_str(), property.c_str(), buffer, size);
        });
    }

    std::uint32_t OpenDatabase(const std::string& path, int persistMode, MsiHandle& database) override {
        VELMORA_MSI(MsiOpenDatabaseA);
        MSIHANDLE h = 0;
        const UINT rc = MsiOpenDatabaseA_(path.c_str(), reinterpret_cast<LPCSTR>(static_cast<std::intptr_t>(persistMode)), &h);
        database = h;
        return rc;
    }
    std::uint32_t DatabaseOpenView(MsiHandle database, const std::string& sql, MsiHandle& view) override {
        VELMORA_MSI(MsiDatabaseOpenViewA);
        MSIHANDLE h = 0;
        const UINT rc = MsiDatabaseOpenViewA_(database, sql.c_str(), &h);
        view = h;
        return rc;
    }
    std::uint32_t ViewExecute(MsiHandle view, MsiHandle record) override {
        VELMORA_MSI(MsiViewExecute);
        return MsiViewExecute_(view, record);
    }
    std::uint32_t ViewFetch(MsiHandle view, MsiHandle& record) override {
        VELMORA_MSI(MsiViewFetch);
        MSIHANDLE h = 0;
        const UINT rc = MsiViewFetch_(view, &h);
        record = h;
        return rc;
    }
    std::uint32_t ViewModify(MsiHandle view, int mode, MsiHandle record) override {
        VELMORA_MSI(MsiViewModify);
        return MsiViewModify_(view, static_cast<MSIMODIFY>(mode), record);
    }
    std::uint32_t ViewClose(MsiHandle view) override {
        VELMORA_MSI(MsiViewClose);
        return MsiViewClose_(view);
    }
    std::uint32_t DatabaseCommit(MsiHandle database) override {
        VELMORA_MSI(MsiDatabaseCommit);
        return MsiDatabaseCommit_(database);
    }
    int RecordGetInteger(MsiHandle record, unsigned field) override {
        VELMORA_MSI(MsiRecordGetInteger);
        return MsiRecordGetInteger_(record, field);
    }
    std::uint32_t RecordSetInteger(MsiHandle record, unsigned field, int value) override {
        VELMORA_MSI(MsiRecordSetInteger);
        return MsiRecordSetInteger_(record, field, value);
    }
    std::uint32_t RecordGetString(MsiHandle record, unsigned field, std::string& value, std::size_t bufferChars) override {
        VELMORA_MSI(MsiRecordGetStringA);
        return readString(value, bufferChars, [&](char* buffer, DWORD* size) {
            return MsiRecordGetStringA_(record, field, buffer, size);
        });
    }
    std::uint32_t RecordSetString(MsiHandle record, unsigned field, const std::string& value) override {
        VELMORA_MSI(MsiRecordSetStringA);
        return MsiRecordSetStringA_(record, field, value.c_str());
    }
    std::uint32_t GetSummaryInformation(MsiHandle database, unsigned updateCount, MsiHandle& summary) override {
        VELMORA_MSI(MsiGetSummaryInformationA);
        MSIHANDLE h = 0;
        const UINT rc = MsiGetSummaryInformationA_(database, nullptr, updateCount, &h);
        summary = h;
        return rc;
    }
    std::uint32_t SummaryInfoGetString(MsiHandle summary, unsigned property, std::string& value,
                                       std::size_t bufferChars) override {
        VELMORA_MSI(MsiSummaryInfoGetPropertyA);
        return readString(value, bufferChars, [&](char* buffer, DWORD* size) {
            UINT type = 0;
            INT number = 0;
            FILETIME time{};
            return MsiSummaryInfoGetPropertyA_(summary, property, &type, &number, &time, buffer, size);
        });
    }
    std::uint32_t SummaryInfoSetString(MsiHandle summary, unsigned property, const std::string& value) override {
        VELMORA_MSI(MsiSummaryInfoSetPropertyA);
        return MsiSummaryInfoSetPropertyA_(summary, property, kVtText, 0, nullptr, value.c_str());
    }
    std::uint32_t SummaryInfoSetInteger(MsiHandle summary, unsigned property, int value) override {
        VELMORA_MSI(MsiSummaryInfoSetPropertyA);
        return MsiSummaryInfoSetPropertyA_(summary, property, kVtInteger, value, nullptr, nullptr);
    }
    std::uint32_t SummaryInfoPersist(MsiHandle summary) override {
        VELMORA_MSI(MsiSummaryInfoPersist);
        return MsiSummaryInfoPersist_(summary);
    }
};

#undef VELMORA_MSI

} // namespace

InstallerApi& windowsInstallerApi() {
    static WindowsInstallerApi api;
    return api;
}

} // namespace velmora::msi
