// The installation cache: where it lives (CacheRoot and the scopes), the saved state it keeps
// (LoadState/SaveState), the save after every script run, and the operations "Apply Changes"
// calls after an installer run: writing the cache with the uninstall entry, and removing both.
// The system is reached through CacheSystem and ProductQuery, so the rules run natively in tests.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bootstrap/setup_context.h"
#include "components/state_file.h"
#include "core/text_list.h"
#include "platform/platform_switches.h"
#include "platform/system_info.h"
#include "script/variables.h"

namespace velmora {

inline constexpr std::string_view kIdentCacheKey = "SOFTWARE\\Ostrand\\Velmora\\Ident.Cache\\";
inline constexpr std::string_view kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// Present in a product's cache folder while the product is installed in advertised form.
inline constexpr std::string_view kAdvertisedMarker = "__ad";

// The question and the failure of locating the installed product's setup sources (default
// English texts of the message table).
inline constexpr std::string_view kLocateSourcesPrompt = "Please locate your original setup sources to continue operation";
inline constexpr std::string_view kSourcesNotFound =
    "Original setup sources required to complete operation, sources not found";

enum class RegistryRoot { LocalMachine, CurrentUser };

// Files and registry as the installation cache reaches them. Registry keys are opened in the
// engine's default view; paths are ANSI. No operation raises: failures come back as false,
// nullopt or an empty answer.
class CacheSystem {
public:
    virtual ~CacheSystem() = default;

    struct RegistryText {
        bool keyOpened = false;              // the key exists and could be opened for reading
        std::optional<std::string> value;    // the text value; nullopt when missing or not text
    };
    // name "" reads the key's default value.
    virtual RegistryText ReadRegistryText(RegistryRoot root, const std::string& key, const std::string& name) const = 0;
    // Creates the key when missing.
    virtual bool WriteRegistryText(RegistryRoot root, const std::string& key, const std::string& name,
                                   const std::string& value) = 0;
    // Deletes a key without sub-keys; failures are ignored.
    virtual void DeleteRegistryKey(RegistryRoot root, const std::string& key) = 0;

    virtual bool FileExists(const std::string& path) const = 0;
    virtual bool FolderExists(const std::string& path) const = 0;
    // One folder level; true when the folder exists afterwards.
    virtual bool CreateFolder(const std::string& path) = 0;
    // An empty folder only.
    virtual bool RemoveFolder(const std::string& path) = 0;
    // Names of the files (not folders) directly in folder.
    virtual std::vector<std::string> FileNames(const std::string& folder) const = 0;
    virtual std::optional<std::string> ReadWholeFile(const std::string& path) const = 0;
    virtual bool WriteWholeFile(const std::string& path, std::string_view bytes) = 0;
    // Writes beside the target and replaces it in one step: the old content or the new one,
    // never a truncated file.
    virtual bool WriteWholeFileAtomically(const std::string& path, std::string_view bytes) = 0;
    // Overwrites the target (given normal attributes first); the copy gets normal attributes.
    virtual bool CopyOneFile(const std::string& from, const std::string& to) = 0;
    virtual void RemoveFile(const std::string& path) = 0;
    virtual void SetHidden(const std::string& folder) = 0;
    // NTFS compression of the folder on or off; ignored where the volume has none.
    virtual void SetCompressed(const std::string& folder, bool compressed) = 0;
    // Deletes every file and sub-folder (files made writable first); the folder stays.
    virtual void ClearFolder(const std::string& folder) = 0;
    virtual bool MoveFolder(const std::string& from, const std::string& to) = 0;
    virtual void DeleteOnReboot(const std::string& path) = 0;
};

// What Windows Installer says about installed products. Both may raise (msi.dll or one of its
// functions missing).
class ProductQuery {
public:
    virtual ~ProductQuery() = default;
    // MsiQueryProductState; 5 when installed.
    virtual int ProductState(const std::string& productCode) = 0;
    // MsiGetProductInfo; nullopt when the installer reports an error.
    virtual std::optional<std::string> ProductInfo(const std::string& productCode, const std::string& property) = 0;
};

// A system where nothing exists and nothing can be written, and an installer that knows no
// product: for runs that have no real system (tests that do not look at the cache).
CacheSystem& NoCacheSystem();
ProductQuery& NoProductQuery();

#if defined(_WIN32)
// The real ones. Registry keys in the default view of the process (see registryAccessView).
std::unique_ptr<CacheSystem> createWindowsCacheSystem(bool process64Bit);
std::unique_ptr<ProductQuery> createWindowsProductQuery();
#endif

// Everything the cache operations work on, all owned elsewhere.
struct CacheEnvironment {
    SetupContext& setup;                   // folders, payload codes and title, model, run state
    TVariableManager& vars;
    const platform::SystemInfo& system;
    CacheSystem& files;
    ProductQuery& products;
    platform::PlatformSwitches& switches;  // PlatformMode is saved and loaded with the state
    TextList& recordedProperties;          // the interpreter's list: the ".par" file
};

// What "Apply Changes" hands over when it writes the cache after a successful run.
struct CacheWriteRequest {
    // The package to keep: the edited copy when one was made; empty for ROOTDIR + base + ".msi".
    std::string packagePath;
    // The setup language chosen (base + ".lan"); empty deletes that file.
    std::string language;
    // An advertise run creates the "__ad" folder; install runs remove it.
    bool advertised = false;
};

class InstallationCache {
public:
    explicit InstallationCache(CacheEnvironment env) : env_(env) {}

    // --- where the cache lives ---
    // OVERRIDECACHE; else the folder above the Ident.Cache value when that names this
    // revision's folder; else the shell's application-data folder of the scope. Ends with a
    // backslash; empty only when every source fails.
    std::string CacheRoot(bool allUsers) const;
    // The Ident.Cache value (local machine first, then current user when the key does not open
    // there); nullopt on any failure. No revision check.
    std::optional<std::string> IdentCacheValue() const;
    // The scope of the saved state: false (current user) when the current user's cache folder
    // holds base + ".dat", true (all users) otherwise.
    bool CacheScope() const;
    // The revision naming the cache folder: RevisionCode, or in a patch build the revision of
    // the installed product once known.
    std::string CacheRevision() const;
    // CacheRoot(allUsers) + CacheRevision() + "\".
    std::string CacheFolder(bool allUsers) const;
    // The cache folder of the saved state (CacheFolder(CacheScope())), where a maintenance run
    // finds base + ".dat", ".par" and ".lan"; and the state file in it.
    std::string StateFolder() const { return CacheFolder(CacheScope()); }
    std::string StateFilePath() const;
    // The product was installed in advertised form: the "__ad" folder is in the cache folder of
    // the current ALLUSERS setting.
    bool WasAdvertised() const;
    // The engine's base name ("setup") and file name ("setup.exe").
    std::string BaseName() const { return env_.setup.exeName; }
    std::string EngineFileName() const;

    // --- the saved state ---
    // Reads a state file into the component model and the variables (see state_file.h for the
    // format). merge: only the states of components that exist now are taken, and the data
    // folder line is ignored; keepSizes: the current sizes stay. A missing file loads nothing.
    // Returns whether a file was read.
    bool LoadState(const std::string& path, bool merge, bool keepSizes, SizeLines sizeLines = SizeLines::AsWritten);
    // Writes the current state. dataFolderAsEmptyLine writes an empty data folder line instead
    // of the short form of DataDir; without fullRewrite an existing file keeps its installed
    // part and nothing is written when there is no file.
    SaveOutcome SaveState(const std::string& path, bool dataFolderAsEmptyLine, bool fullRewrite);
    // The ".par" file into RecordedProperties (replacing it); false when there is none.
    bool LoadRecordedProperties(const std::string& path);

    // --- after every script run ---
    // Unless the cache was removed in this run: hides the cache folder of the saved state,
    // applies the compression setting, and when persistent variables exist saves the state
    // there (a full rewrite only when the cache was written in this run).
    void SaveAfterScriptRun();

    // --- for "Apply Changes" ---
    // Writes the cache folder of the ALLUSERS scope (engine, package, resources, state,
    // properties, language, instance.dat, markers) and the registry entries. Returns false
    // when a file or registry value could not be written (what could be written stays).
    bool WriteInstallationCache(const CacheWriteRequest& request);
    // Removes the cache folder of the ALLUSERS scope (moving it aside for deletion at restart
    // when the running engine holds its file) and the registry entries under both roots.
    void RemoveInstallationCache();

    // --- the installed product's setup sources (patch builds, maintenance runs) ---
    // Where they are expected: the folder of the engine named by UninstallString of the title's
    // uninstall entry (local machine when ALLUSERS is true or the system is not NT, else the
    // current user); the /p= folder replaces it; the data folder when it holds the marker named
    // ProductCode. Trailing backslash; empty when there is none.
    std::string SetupSourcesCandidate() const;
    // The data folder a folder of setup sources gives: the folder when it holds the marker named
    // ProductCode, its "data\" sub-folder when that does; nullopt otherwise.
    std::optional<std::string> SetupSourcesIn(const std::string& folder) const;
    // Asks until a folder of setup sources is chosen; browse shows the folder picker with the
    // prompt and gives nullopt when the user cancels. nullopt when silent or cancelled (the
    // caller then fails with kSourcesNotFound); otherwise the data folder to use.
    std::optional<std::string> AskForSetupSources(
        bool silent, const std::function<std::optional<std::string>(std::string_view prompt)>& browse) const;

    CacheEnvironment& Environment() { return env_; }

private:
    RegistryRoot registryRootForWrite() const;
    bool allUsersSetting() const;

    CacheEnvironment env_;
};

// Folder text helpers of the cache, exposed for the tests.
// The last folder name of a path ("C:\A\B\" -> "B").
std::string LastFolderName(std::string_view folder);
// The parent folder with a trailing backslash ("C:\A\B\" -> "C:\A\").
std::string ParentFolder(std::string_view folder);

} // namespace velmora
