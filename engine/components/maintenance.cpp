// First installation, maintenance or upgrade: the variables that tell the script which, and
// the saved state each case starts from; the patch build's installed state; the cache override.
#include "components/maintenance.h"

#include <utility>
#include <vector>

#include "components/size_format.h"
#include "msi/msi_library.h"
#include "platform/file_utils.h"
#include "script/script_error.h"

namespace velmora {
namespace {

constexpr const char* kBootstrap = "Bootstrap";
constexpr int kCsidlPersonal = 5;

// The three lines of instance.dat: a copy of the setup made for another instance of the product.
struct InstanceFile {
    std::string productCode, revisionCode, title;
};

std::optional<InstanceFile> readInstanceFile(const CacheSystem& files, const std::string& path) {
    const std::optional<std::string> bytes = files.ReadWholeFile(path);
    if (!bytes) return std::nullopt;
    const std::vector<std::string_view> lines = SplitTextLines(*bytes);
    // A damaged file must not blank the product's identity.
    if (lines.size() < 3 || lines[0].empty() || lines[1].empty()) return std::nullopt;
    return InstanceFile{std::string(lines[0]), std::string(lines[1]), std::string(lines[2])};
}

struct InstalledProduct {
    bool installed = false;
    bool otherRevision = false;
};

// Any installer failure (msi.dll missing, unknown product) reads as "not installed".
InstalledProduct queryInstalledProduct(ProductQuery& products, const std::string& productCode,
                                       const std::string& revisionCode) {
    InstalledProduct result;
    try {
        result.installed = products.ProductState(productCode) == msi::kInstallStateDefault;
        if (result.installed) {
            const std::optional<std::string> packageCode = products.ProductInfo(productCode, "PackageCode");
            result.otherRevision = packageCode && !text::equalsIgnoreCase(*packageCode, revisionCode);
        }
    } catch (const std::exception&) {
        return {};
    }
    return result;
}

// Adds up the sizes of the loaded model's selected components: the installed size. False when
// there is no state file.
bool loadInstalledState(InstallationCache& cache, const std::string& folder) {
    CacheEnvironment& env = cache.Environment();
    const std::string base = cache.BaseName();
    if (!cache.LoadState(folder + base + ".dat", false, false, SizeLines::InvalidAsZero)) return false;
    std::int64_t installed = 0;
    try {
        installed = env.setup.components.SelectedSize();
    } catch (const InvalidIntegerError&) {
        // A file that ended before its sizes leaves the payload's, which must not stop the start.
    }
    env.setup.components.SetInstalledSize(installed);
    cache.LoadRecordedProperties(folder + base + ".par");
    return true;
}

// An older build's state: the only ".dat" in its cache folder, or the one with complete
// companions.
void loadOldState(InstallationCache& cache) {
    CacheEnvironment& env = cache.Environment();
    const std::optional<std::string> recorded = cache.IdentCacheValue();
    if (!recorded || recorded->empty()) return;
    const std::string folder = platform::addTrailingBackslash(*recorded);
    if (!env.files.FolderExists(folder)) return;
    const std::optional<std::string> picked = PickOldStateFile(env.files.FileNames(folder));
    if (picked) cache.LoadState(folder + *picked, false, true, SizeLines::InvalidAsZero);
}

} // namespace

void InitMaintenanceState(InstallationCache& cache) {
    CacheEnvironment& env = cache.Environment();
    SetupContext& s = env.setup;
    SetupPayload& payload = s.payload;
    TVariableManager& v = env.vars;
    const platform::SystemInfo& system = env.system;

    // 1-2. Identity: a copy made for another instance carries its own.
    const std::string instancePath = s.exeDir + "instance.dat";
    const bool hasInstanceFile = env.files.FileExists(instancePath);
    if (const auto instance = readInstanceFile(env.files, instancePath)) {
        payload.productCode = instance->productCode;
        payload.revisionCode = instance->revisionCode;
        payload.title = instance->title;
    }
    v.DefineVariable("PRODUCTCODE", payload.productCode, kBootstrap);
    v.DefineVariable("REVISIONCODE", payload.revisionCode, kBootstrap);

    // 3. The default target folder.
    const bool administrator = system.isAdministrator();
    const std::string programs = !system.osVersion().nt || administrator
                                     ? system.specialFolder(platform::kCsidlProgramFiles, platform::kRegistryViewDefault)
                                     : ParentFolder(system.specialFolder(kCsidlPersonal, platform::kRegistryViewDefault));
    const std::string defaultTarget = platform::addTrailingBackslash(programs) + payload.title + "\\";

    // 4. The engine's own cache folder.
    const std::string engineCache = cache.CacheFolder(administrator);
    s.cache.engineCache = engineCache;
    s.cache.uninstallLink = engineCache + cache.EngineFileName();
    v.DefineVariable("UNINSTALLLINK", s.cache.uninstallLink, kBootstrap);
    v.DefineVariable("ENGINECACHE", s.cache.engineCache, kBootstrap);

    // 5. Build kind 2 keeps its media in the cache.
    if (payload.buildKind == 2) {
        s.initialDataDir = s.exeDir + "data\\";
        s.dataDir = engineCache;
    }
    v.DefineVariable("DATADIR", s.dataDir, kBootstrap);

    // 6-7. Installed, and of which revision.
    const InstalledProduct product = queryInstalledProduct(env.products, payload.productCode, payload.revisionCode);
    const bool needsUpgrade = product.installed && product.otherRevision;
    v.DefineVariable("NEEDSUPGRADE", BoolText(needsUpgrade), kBootstrap);
    bool loadOld = false;
    bool maintenance = false;
    if (needsUpgrade) {
        loadOld = ExpandCompilerVariables("#LOADOLDDATA#", payload.compilerVariables) == "TRUE";
    } else {
        maintenance = product.installed;
    }
    v.DefineVariable("MAINTENANCE", BoolText(maintenance), kBootstrap);

    // 8-9. The state to start from.
    s.components.SetInstalledSize(0);
    const auto defineDefaults = [&] {
        v.DefineVariable("TARGETDIR", defaultTarget, kBootstrap);
        v.DefineVariable("STARTMENU", payload.title, kBootstrap);
        v.DefineVariable("ALLUSERS", BoolText(administrator), kBootstrap);
    };
    if (maintenance) {
        // A cache that lost its state file leaves the defaults rather than an empty target.
        if (!loadInstalledState(cache, cache.StateFolder())) defineDefaults();
    } else {
        s.components.ClearComponents();
        s.components.DefineComponent(kPredefinedComponent, "", true);
        env.recordedProperties.clear();
        defineDefaults();
        // A setup that ran before without installing left its choices here.
        cache.LoadState(cache.StateFilePath(), false, false, SizeLines::InvalidAsZero);
    }

    // 10. An upgrade may take over the older build's choices; the new build's sizes stay.
    if (loadOld) loadOldState(cache);

    // 11. A copy of the setup run beside an installed product can become a new instance.
    v.DefineVariable("NEWINSTANCE", "FALSE", "Initialization");
    if (!hasInstanceFile && (maintenance || needsUpgrade)) v.DefineVariable("NEWINSTANCE", "TRUE", "Initialization");
}

void LoadPatchState(InstallationCache& cache) {
    CacheEnvironment& env = cache.Environment();
    const std::string key = std::string(kUninstallKey) + env.setup.payload.title;
    std::string uninstall = env.files.ReadRegistryText(RegistryRoot::LocalMachine, key, "UninstallString").value.value_or("");
    if (uninstall.empty())
        uninstall = env.files.ReadRegistryText(RegistryRoot::CurrentUser, key, "UninstallString").value.value_or("");
    // "<cache folder>\<revision>\setup.exe" REMOVE=TRUE MODIFY=FALSE
    const std::size_t open = uninstall.find('"');
    const std::size_t close = open == std::string::npos ? open : uninstall.find('"', open + 1);
    if (close == std::string::npos) return;
    const std::string engine = uninstall.substr(open + 1, close - open - 1);
    const std::string revision = LastFolderName(platform::folderPart(engine));
    if (revision.empty()) return;
    // The installed revision names the cache folder from here on (build kind 3); the state is
    // read from that revision's folder whatever the build kind.
    env.setup.cache.installedRevision = revision;
    std::string& revisionCode = env.setup.payload.revisionCode;
    const std::string ownRevision = std::exchange(revisionCode, revision);
    const std::string folder = cache.CacheFolder(cache.CacheScope());
    revisionCode = ownRevision;
    loadInstalledState(cache, folder);
}

void ApplyCacheOverride(InstallationCache& cache) {
    CacheEnvironment& env = cache.Environment();
    TVariableManager& v = env.vars;
    CacheRunState& run = env.setup.cache;
    const std::string value = v.FetchValue(kOverrideCacheName);
    if (value.empty() || value == run.appliedOverride) return;

    // The missing levels, innermost first; a drive root counts as existing.
    std::vector<std::string> missing;
    for (std::string level = platform::removeTrailingBackslash(value);;) {
        if (level.empty() || (level.size() == 2 && level[1] == ':') || env.files.FolderExists(level)) break;
        const std::string parent = platform::removeTrailingBackslash(platform::folderPart(level));
        if (parent.empty() && level.find_first_of("\\/:") == std::string::npos)
            throw ScriptError("Unable to create directory");
        missing.push_back(level);
        if (parent == level) break;
        level = parent;
    }
    std::vector<std::string> created;
    bool ok = true;
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!env.files.CreateFolder(*it)) {
            ok = false;
            break;
        }
        created.push_back(*it);
    }
    if (ok) {
        const std::string applied = platform::addTrailingBackslash(value);
        v.DefineVariable(kOverrideCacheName, applied, TVariableManager::kInjectReason);
        InitMaintenanceState(cache);
        run.appliedOverride = applied;
    } else {
        v.DefineVariable(kOverrideCacheName, "", "Failed Cache Override");
        run.appliedOverride.clear();
    }
    // The test leaves nothing behind: saving creates the folders it needs.
    for (auto it = created.rbegin(); it != created.rend(); ++it) env.files.RemoveFolder(*it);
}

} // namespace velmora
