// The system around an installer run that is not the installer itself: files and folders, the
// registry keys the run reads or cleans, message boxes, the folder browser, system message
// texts. The Windows build implements it in installer_host_win.cpp; native tests fake it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "msi/message_handler.h"

namespace velmora::msi {

class InstallerHost : public MessageBoxes {
public:
    // --- files and folders ---
    virtual bool FolderExists(const std::string& path) = 0;
    virtual bool FileExists(const std::string& path) = 0;
    // The short (8.3) form of an existing path; empty when there is none.
    virtual std::string ShortPath(const std::string& path) = 0;
    // Creates the folder and every missing parent.
    virtual bool CreateFolders(const std::string& path) = 0;
    virtual bool WriteTextFile(const std::string& path, const std::string& bytes) = 0;
    virtual void RemoveFile(const std::string& path) = 0;
    virtual std::string CurrentFolder() = 0;
    virtual void SetCurrentFolder(const std::string& path) = 0;

    // --- system ---
    // The system's message text for an error code (inserts ignored); empty when it has none.
    virtual std::string SystemMessage(std::uint32_t code) = 0;
    virtual void Sleep(unsigned milliseconds) = 0;
    // Domain\user of the process token (NT), the logon name (9x); empty when unknown.
    virtual std::string AccountName() = 0;
    virtual bool NtPlatform() = 0;
    // A new GUID in registry form with braces.
    virtual std::string NewGuid() = 0;
    // The current date and time as the log shows them.
    virtual std::string DateTimeText() = 0;

    // --- registry ---
    // Deletes the values of the installer's TempPackages key that belong to the product;
    // every failure is ignored.
    virtual void RemoveStaleTempPackages(const std::string& productCode) = 0;
    // "UninstallString" of Uninstall\<title> under HKLM (localMachine) or HKCU; empty on failure.
    virtual std::string UninstallString(bool localMachine, const std::string& title) = 0;

    // --- user interface ---
    // The shell folder browser; nullopt when the user closed it without a folder.
    virtual std::optional<std::string> BrowseForFolder(const std::string& title, std::intptr_t owner) = 0;
};

#if defined(_WIN32)
std::unique_ptr<InstallerHost> createWindowsInstallerHost();
#endif

} // namespace velmora::msi
