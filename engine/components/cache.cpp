// The installation cache's location, saved state, save after each run, and the write and
// removal that "Apply Changes" calls.
#include "components/cache.h"

#include "platform/file_utils.h"

namespace velmora {
namespace {

// Shell folder identifiers of the default cache roots.
constexpr int kCsidlDesktop = 0;
constexpr int kCsidlAppData = 26;
constexpr int kCsidlLocalAppData = 28;
constexpr int kCsidlCommonAppData = 35;

constexpr const char* kLoadReason = "LoadComponents";

std::string joinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

class NullCacheSystem final : public CacheSystem {
public:
    RegistryText ReadRegistryText(RegistryRoot, const std::string&, const std::string&) const override { return {}; }
    bool WriteRegistryText(RegistryRoot, const std::string&, const std::string&, const std::string&) override { return false; }
    void DeleteRegistryKey(RegistryRoot, const std::string&) override {}
    bool FileExists(const std::string&) const override { return false; }
    bool FolderExists(const std::string&) const override { return false; }
    bool CreateFolder(const std::string&) override { return false; }
    bool RemoveFolder(const std::string&) override { return false; }
    std::vector<std::string> FileNames(const std::string&) const override { return {}; }
    std::optional<std::string> ReadWholeFile(const std::string&) const override { return std::nullopt; }
    bool WriteWholeFile(const std::string&, std::string_view) override { return false; }
    bool WriteWholeFileAtomically(const std::string&, std::string_view) override { return false; }
    bool CopyOneFile(const std::string&, const std::string&) override { return false; }
    void RemoveFile(const std::string&) override {}
    void SetHidden(const std::string&) override {}
    void SetCompressed(const std::string&, bool) override {}
    void ClearFolder(const std::string&) override {}
    bool MoveFolder(const std::string&, const std::string&) override { return false; }
    void DeleteOnReboot(const std::string&) override {}
};

class NullProductQuery final : public ProductQuery {
public:
    int ProductState(const std::string&) override { return -1; }
    std::optional<std::string> ProductInfo(const std::string&, const std::string&) override { return std::nullopt; }
};

// Creates a folder with every missing parent; false at the first level that cannot be made.
bool createFolders(CacheSystem& files, const std::string& folder) {
    const std::string path = platform::removeTrailingBackslash(folder);
    if (path.empty() || files.FolderExists(path)) return !path.empty();
    const std::string parent = platform::removeTrailingBackslash(ParentFolder(path));
    const bool isRoot = parent.empty() || (parent.size() == 2 && parent[1] == ':');
    if (!isRoot && !createFolders(files, parent)) return false;
    return files.CreateFolder(path);
}

} // namespace

CacheSystem& NoCacheSystem() {
    static NullCacheSystem none;
    return none;
}

ProductQuery& NoProductQuery() {
    static NullProductQuery none;
    return none;
}

std::string LastFolderName(std::string_view folder) {
    return platform::fileNamePart(platform::removeTrailingBackslash(folder));
}

std::string ParentFolder(std::string_view folder) {
    return platform::folderPart(platform::removeTrailingBackslash(folder));
}

// --- where the cache lives ---

std::optional<std::string> InstallationCache::IdentCacheValue() const {
    const std::string key = std::string(kIdentCacheKey) + env_.setup.payload.productCode;
    CacheSystem::RegistryText read = env_.files.ReadRegistryText(RegistryRoot::LocalMachine, key, "");
    if (!read.keyOpened) read = env_.files.ReadRegistryText(RegistryRoot::CurrentUser, key, "");
    return read.value;
}

std::string InstallationCache::CacheRevision() const {
    const SetupContext& s = env_.setup;
    if (s.payload.buildKind == 3 && !s.cache.installedRevision.empty()) return s.cache.installedRevision;
    return s.payload.revisionCode;
}

std::string InstallationCache::CacheRoot(bool allUsers) const {
    // A value that names no folder level would glue the revision to its last name.
    const std::string override = env_.vars.FetchValue("OVERRIDECACHE");
    if (!override.empty()) return platform::addTrailingBackslash(override);

    if (const auto recorded = IdentCacheValue()) {
        const std::string parent = ParentFolder(*recorded);
        if (!parent.empty() && text::equalsIgnoreCase(LastFolderName(*recorded), CacheRevision())) return parent;
    }

    const platform::SystemInfo& system = env_.system;
    const platform::RegistryView view = platform::kRegistryViewDefault;
    if (!system.osVersion().nt) return system.specialFolder(platform::kCsidlProgramFilesCommon, view);
    if (allUsers) return system.specialFolder(kCsidlCommonAppData, view);
    std::string root = system.specialFolder(kCsidlLocalAppData, view);
    if (root.empty()) root = system.specialFolder(kCsidlAppData, view);
    if (root.empty()) {
        const std::string desktop = system.specialFolder(kCsidlDesktop, view);
        if (!desktop.empty()) root = ParentFolder(desktop) + "Application Data\\";
    }
    return root;
}

std::string InstallationCache::CacheFolder(bool allUsers) const { return CacheRoot(allUsers) + CacheRevision() + "\\"; }

bool InstallationCache::CacheScope() const {
    return !env_.files.FileExists(CacheFolder(false) + BaseName() + ".dat");
}

std::string InstallationCache::StateFilePath() const { return StateFolder() + BaseName() + ".dat"; }

bool InstallationCache::WasAdvertised() const {
    return env_.files.FolderExists(CacheFolder(allUsersSetting()) + std::string(kAdvertisedMarker));
}

std::string InstallationCache::EngineFileName() const { return platform::fileNamePart(env_.setup.exePath); }

bool InstallationCache::allUsersSetting() const { return ParseBool(env_.vars.FetchValue("ALLUSERS")); }

RegistryRoot InstallationCache::registryRootForWrite() const {
    return allUsersSetting() || !env_.system.osVersion().nt ? RegistryRoot::LocalMachine : RegistryRoot::CurrentUser;
}

// --- the saved state ---

bool InstallationCache::LoadState(const std::string& path, bool merge, bool keepSizes, SizeLines sizeLines) {
    const std::optional<std::string> bytes = env_.files.ReadWholeFile(path);
    if (!bytes) return false;
    const SavedState saved = ParseStateText(*bytes, sizeLines);
    TVariableManager& v = env_.vars;

    env_.setup.components.LoadSavedLists(saved.components, saved.sectionsRead, {merge, keepSizes});
    if (saved.targetDir) v.DefineVariable("TARGETDIR", *saved.targetDir, kLoadReason);
    if (saved.allUsers) v.DefineVariable("ALLUSERS", *saved.allUsers, kLoadReason);
    if (saved.startMenu) v.DefineVariable("STARTMENU", *saved.startMenu, kLoadReason);
    if (!merge && saved.dataFolder) env_.setup.cache.savedDataFolder = saved.dataFolder;
    // Values stay in their one-line form: "$NEWLINE$" reads back as a line break wherever the
    // value is expanded.
    for (const auto& [name, value] : saved.persistentVariables) {
        if (name.empty()) continue;
        v.AddPersistentVariable(name);
        v.DefineVariable(name, value, kLoadReason);
    }
    if (saved.platformMode) env_.switches.platformMode = *saved.platformMode;
    if (saved.overrideCache) v.DefineVariable(saved.overrideCache->name, saved.overrideCache->value, kLoadReason);
    return true;
}

SaveOutcome InstallationCache::SaveState(const std::string& path, bool dataFolderAsEmptyLine, bool fullRewrite) {
    const TVariableManager& v = env_.vars;
    SavedState state;
    state.components = env_.setup.components.SavedLists();
    state.targetDir = v.FetchValue("TARGETDIR");
    state.allUsers = v.FetchValue("ALLUSERS");
    state.startMenu = v.FetchValue("STARTMENU");
    if (dataFolderAsEmptyLine) {
        state.dataFolder = "";
    } else {
        // The short form keeps the line valid ANSI text; a folder that does not exist yet has none.
        const std::string shortForm = env_.system.shortPath(env_.setup.dataDir);
        state.dataFolder = shortForm.empty() ? env_.setup.dataDir : shortForm;
    }
    for (const auto& name : v.PersistentVariables())
        state.persistentVariables.push_back({name, EncodeNewlines(v.FetchValue(name))});
    state.platformMode = env_.switches.platformMode;
    state.overrideCache = NameValue{std::string(kOverrideCacheName), v.FetchValue(kOverrideCacheName)};

    const StateFileContent prepared =
        PrepareStateFileContent(fullRewrite ? std::nullopt : env_.files.ReadWholeFile(path), state, fullRewrite);
    if (prepared.outcome != SaveOutcome::Written) return prepared.outcome;
    return env_.files.WriteWholeFileAtomically(path, prepared.text) ? SaveOutcome::Written : SaveOutcome::WriteFailed;
}

bool InstallationCache::LoadRecordedProperties(const std::string& path) {
    const std::optional<std::string> bytes = env_.files.ReadWholeFile(path);
    if (!bytes) return false;
    TextList lines;
    for (std::string_view line : SplitTextLines(*bytes)) lines.add(std::string(line));
    env_.recordedProperties = std::move(lines);
    return true;
}

// --- after every script run ---

void InstallationCache::SaveAfterScriptRun() {
    CacheRunState& run = env_.setup.cache;
    if (run.removedThisRun) return;
    const std::string folder = CacheFolder(CacheScope());
    CacheSystem& files = env_.files;
    if (files.FolderExists(folder)) {
        files.SetHidden(folder);
        files.SetCompressed(folder, ParseBool(env_.vars.FetchValue("QORV_COMPRESS_INSTALLER_CACHE")));
    }
    if (env_.vars.PersistentVariables().empty()) return;
    const std::string path = folder + BaseName() + ".dat";
    // An update needs a file to update: no folder is made for a save that would write nothing.
    if (!run.writtenThisRun && !files.FileExists(path)) return;
    if (!createFolders(files, folder)) return;
    SaveState(path, false, run.writtenThisRun);
}

// --- the installed product's setup sources ---

std::string InstallationCache::SetupSourcesCandidate() const {
    const SetupContext& s = env_.setup;
    std::string folder;
    const std::string key = std::string(kUninstallKey) + env_.vars.FetchValue("TITLE");
    const std::string uninstall = env_.files.ReadRegistryText(registryRootForWrite(), key, "UninstallString").value.value_or("");
    // "<cache folder>\setup.exe" REMOVE=TRUE MODIFY=FALSE
    const std::size_t open = uninstall.find('"');
    const std::size_t close = open == std::string::npos ? open : uninstall.find('"', open + 1);
    if (close != std::string::npos) folder = platform::folderPart(uninstall.substr(open + 1, close - open - 1));
    if (!s.commandLine.sourceOverride.empty()) folder = platform::addTrailingBackslash(s.commandLine.sourceOverride);
    if (env_.files.FileExists(s.dataDir + s.payload.productCode)) folder = s.dataDir;
    return folder;
}

std::optional<std::string> InstallationCache::SetupSourcesIn(const std::string& folder) const {
    const std::string base = platform::addTrailingBackslash(folder);
    const std::string& marker = env_.setup.payload.productCode;
    if (base.empty() || marker.empty()) return std::nullopt;
    if (env_.files.FileExists(base + marker)) return base;
    if (env_.files.FileExists(base + "data\\" + marker)) return base + "data\\";
    return std::nullopt;
}

std::optional<std::string> InstallationCache::AskForSetupSources(
    bool silent, const std::function<std::optional<std::string>(std::string_view prompt)>& browse) const {
    if (silent) return std::nullopt;
    for (;;) {
        const std::optional<std::string> chosen = browse(kLocateSourcesPrompt);
        if (!chosen) return std::nullopt;
        if (auto sources = SetupSourcesIn(*chosen)) return sources;
    }
}

// --- for "Apply Changes" ---

bool InstallationCache::WriteInstallationCache(const CacheWriteRequest& request) {
    SetupContext& s = env_.setup;
    const SetupPayload& payload = s.payload;
    TVariableManager& v = env_.vars;
    CacheSystem& files = env_.files;
    const std::string root = CacheRoot(allUsersSetting());
    const std::string folder = root + CacheRevision() + "\\";
    const std::string base = BaseName();
    const std::string engineFile = EngineFileName();
    bool complete = createFolders(files, folder);
    if (!complete) return false;

    // The files the engine needs to run again from the cache. A maintenance run started from
    // the cache is already there: its own file cannot be copied onto itself.
    const std::string rootDir = platform::addTrailingBackslash(v.FetchValue("ROOTDIR"));
    const auto copy = [&](const std::string& from, const std::string& name, bool required) {
        const std::string to = folder + name;
        if (text::equalsIgnoreCase(from, to)) return;
        if (!files.FileExists(from)) {
            if (required) complete = false;
            return;
        }
        if (!files.CopyOneFile(from, to)) complete = false;
    };
    copy(s.exePath, engineFile, true);
    copy(request.packagePath.empty() ? rootDir + base + ".msi" : request.packagePath, base + ".msi", true);
    copy(rootDir + base + ".res", base + ".res", true);
    copy(rootDir + "kel.lib", "kel.lib", true);
    copy(rootDir + "setup.bmp", "setup.bmp", false);

    s.cache.writtenThisRun = true;
    if (SaveState(folder + base + ".dat", false, true) != SaveOutcome::Written) complete = false;
    if (!files.WriteWholeFile(folder + base + ".par", joinLines(env_.recordedProperties.toVector()))) complete = false;
    if (request.language.empty()) files.RemoveFile(folder + base + ".lan");
    else if (!files.WriteWholeFile(folder + base + ".lan", request.language + "\r\n")) complete = false;
    if (!files.WriteWholeFile(folder + "instance.dat",
                         joinLines({payload.productCode, payload.revisionCode, v.FetchValue("TITLE")})))
        complete = false;
    // Build kind 2 keeps the whole setup, media included: the marker says the folder is one.
    if (payload.buildKind == 2 && !files.WriteWholeFile(folder + payload.productCode, "")) complete = false;
    const std::string advertised = folder + std::string(kAdvertisedMarker);
    if (request.advertised) {
        if (!files.CreateFolder(advertised)) complete = false;
    } else if (files.FolderExists(advertised)) {
        files.ClearFolder(advertised);
        files.RemoveFolder(advertised);
    }

    // The uninstall entry runs the cached engine; Ident.Cache tells later setups where it is.
    const RegistryRoot hive = registryRootForWrite();
    const std::string cachedEngine = folder + engineFile;
    const std::string titleKey = std::string(kUninstallKey) + v.FetchValue("TITLE");
    const auto write = [&](const std::string& key, const std::string& name, const std::string& value) {
        if (!files.WriteRegistryText(hive, key, name, value)) complete = false;
    };
    write(titleKey, "DisplayIcon", cachedEngine);
    write(titleKey, "DisplayName", v.FetchValue("TITLE"));
    write(titleKey, "UninstallString", "\"" + cachedEngine + "\" REMOVE=TRUE MODIFY=FALSE");
    write(titleKey, "ModifyPath", cachedEngine);
    write(titleKey, "Publisher", payload.company);
    write(titleKey, "Contact", payload.contact);
    write(titleKey, "HelpLink", payload.helpLink);
    write(titleKey, "URLUpdateInfo", payload.updateInfo);
    write(titleKey, "Comments", payload.comments);
    write(titleKey, "InstallLocation", v.ExpandPath(v.FetchValue("TARGETDIR")));
    const platform::OsVersion os = env_.system.osVersion();
    if (os.nt && os.atLeast(5, 0))
        write(std::string(kUninstallKey) + payload.productCode, "UninstallString", folder + base + ".exe");
    write(std::string(kIdentCacheKey) + payload.productCode, "", folder);
    return complete;
}

void InstallationCache::RemoveInstallationCache() {
    SetupContext& s = env_.setup;
    CacheSystem& files = env_.files;
    const std::string root = CacheRoot(allUsersSetting());
    const std::string folder = root + CacheRevision() + "\\";
    if (s.payload.buildKind == 2) files.RemoveFile(folder + s.payload.productCode);
    files.ClearFolder(folder);
    files.RemoveFolder(folder);
    if (files.FolderExists(folder)) {
        // The running engine keeps its file open: move the rest aside and let the next restart
        // delete it.
        std::string moved;
        for (int n = 0; n < 10000; ++n) {
            const std::string candidate = root + "~" + std::to_string(n) + "\\";
            if (files.FolderExists(candidate)) continue;
            if (files.MoveFolder(platform::removeTrailingBackslash(folder), platform::removeTrailingBackslash(candidate)))
                moved = candidate;
            break;
        }
        const std::string remaining = moved.empty() ? folder : moved;
        files.DeleteOnReboot(remaining + EngineFileName());
        files.DeleteOnReboot(remaining + "kel.lib");
        files.DeleteOnReboot(platform::removeTrailingBackslash(remaining));
    }
    const std::string titleKey = std::string(kUninstallKey) + env_.vars.FetchValue("TITLE");
    const std::string identKey = std::string(kIdentCacheKey) + s.payload.productCode;
    for (RegistryRoot hive : {RegistryRoot::LocalMachine, RegistryRoot::CurrentUser}) {
        files.DeleteRegistryKey(hive, titleKey);
        files.DeleteRegistryKey(hive, identKey);
    }
    s.cache.removedThisRun = true;
}

} // namespace velmora
