// Small in-memory stand-ins for what the installation cache reaches: files and folders, the
// registry, Windows Installer's product queries and an NT system with its shell folders; and a
// script run wired to them.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "components/cache.h"
#include "msi/msi_library.h"
#include "script_harness.h"

namespace velmora::testing {

// Windows paths compared ignoring case, folders without their trailing backslash.
inline std::string pathKey(std::string_view path) {
    std::string key = text::upper(path);
    if (!key.empty() && key.back() == '\\') key.pop_back();
    return key;
}

class MemoryCacheSystem : public CacheSystem {
public:
    // --- set-up and inspection ---
    void addFolder(const std::string& path) {
        std::string key = pathKey(path);
        while (!key.empty() && !(key.size() == 2 && key[1] == ':')) {
            folders.insert(key);
            const std::size_t sep = key.rfind('\\');
            if (sep == std::string::npos) break;
            key.resize(sep);
        }
    }
    void addFile(const std::string& path, const std::string& content = {}) {
        const std::size_t sep = path.rfind('\\');
        if (sep != std::string::npos) addFolder(path.substr(0, sep));
        files[pathKey(path)] = content;
    }
    std::string file(const std::string& path) const {
        const auto it = files.find(pathKey(path));
        return it == files.end() ? "<missing>" : it->second;
    }
    void setRegistry(RegistryRoot root, const std::string& key, const std::string& name, const std::string& value) {
        registry[{root, pathKey(key)}][text::upper(name)] = value;
    }
    std::optional<std::string> registryValue(RegistryRoot root, const std::string& key, const std::string& name) const {
        const auto k = registry.find({root, pathKey(key)});
        if (k == registry.end()) return std::nullopt;
        const auto v = k->second.find(text::upper(name));
        if (v == k->second.end()) return std::nullopt;
        return v->second;
    }
    bool hasKey(RegistryRoot root, const std::string& key) const { return registry.count({root, pathKey(key)}) != 0; }

    // --- CacheSystem ---
    RegistryText ReadRegistryText(RegistryRoot root, const std::string& key, const std::string& name) const override {
        RegistryText read;
        read.keyOpened = hasKey(root, key);
        read.value = registryValue(root, key, name);
        return read;
    }
    bool WriteRegistryText(RegistryRoot root, const std::string& key, const std::string& name,
                           const std::string& value) override {
        setRegistry(root, key, name, value);
        return true;
    }
    void DeleteRegistryKey(RegistryRoot root, const std::string& key) override { registry.erase({root, pathKey(key)}); }

    bool FileExists(const std::string& path) const override { return files.count(pathKey(path)) != 0; }
    bool FolderExists(const std::string& path) const override { return folders.count(pathKey(path)) != 0; }
    bool CreateFolder(const std::string& path) override {
        const std::string key = pathKey(path);
        if (unwritable.count(key)) return false;
        const std::size_t sep = key.rfind('\\');
        const std::string parent = sep == std::string::npos ? std::string() : key.substr(0, sep);
        const bool parentExists = parent.empty() || (parent.size() == 2 && parent[1] == ':') || folders.count(parent);
        if (!parentExists) return false;
        if (folders.insert(key).second) createdFolders.push_back(key);
        return true;
    }
    bool RemoveFolder(const std::string& path) override {
        const std::string key = pathKey(path);
        if (!folders.count(key) || hasChildren(key)) return false;
        folders.erase(key);
        removedFolders.push_back(key);
        return true;
    }
    std::vector<std::string> FileNames(const std::string& folder) const override {
        std::vector<std::string> names;
        const std::string prefix = pathKey(folder) + "\\";
        for (const auto& [key, content] : files)
            if (key.rfind(prefix, 0) == 0 && key.find('\\', prefix.size()) == std::string::npos)
                names.push_back(key.substr(prefix.size()));
        return names;
    }
    std::optional<std::string> ReadWholeFile(const std::string& path) const override {
        const auto it = files.find(pathKey(path));
        if (it == files.end()) return std::nullopt;
        return it->second;
    }
    bool WriteWholeFile(const std::string& path, std::string_view bytes) override {
        if (!parentExists(path)) return false;
        files[pathKey(path)] = std::string(bytes);
        return true;
    }
    bool WriteWholeFileAtomically(const std::string& path, std::string_view bytes) override {
        atomicWrites.push_back(pathKey(path));
        return WriteWholeFile(path, bytes);
    }
    bool CopyOneFile(const std::string& from, const std::string& to) override {
        const auto it = files.find(pathKey(from));
        if (it == files.end() || !parentExists(to)) return false;
        files[pathKey(to)] = it->second;
        return true;
    }
    void RemoveFile(const std::string& path) override {
        if (!locked.count(pathKey(path))) files.erase(pathKey(path));
    }
    void SetHidden(const std::string& folder) override { hidden.insert(pathKey(folder)); }
    void SetCompressed(const std::string& folder, bool on) override { compressed[pathKey(folder)] = on; }
    void ClearFolder(const std::string& folder) override {
        const std::string prefix = pathKey(folder) + "\\";
        for (auto it = files.begin(); it != files.end();)
            it = it->first.rfind(prefix, 0) == 0 && !locked.count(it->first) ? files.erase(it) : std::next(it);
        for (auto it = folders.begin(); it != folders.end();)
            it = it->rfind(prefix, 0) == 0 && !hasChildren(*it) ? folders.erase(it) : std::next(it);
    }
    bool MoveFolder(const std::string& from, const std::string& to) override {
        const std::string a = pathKey(from), b = pathKey(to);
        if (!folders.count(a) || folders.count(b)) return false;
        std::map<std::string, std::string> movedFiles;
        for (auto it = files.begin(); it != files.end();) {
            if (it->first.rfind(a + "\\", 0) == 0) {
                movedFiles[b + it->first.substr(a.size())] = it->second;
                it = files.erase(it);
            } else {
                ++it;
            }
        }
        files.insert(movedFiles.begin(), movedFiles.end());
        folders.erase(a);
        folders.insert(b);
        return true;
    }
    void DeleteOnReboot(const std::string& path) override { rebootDeletes.push_back(pathKey(path)); }

    std::map<std::string, std::string> files;
    std::set<std::string> folders;
    std::map<std::pair<RegistryRoot, std::string>, std::map<std::string, std::string>> registry;
    std::set<std::string> unwritable;          // folders that cannot be created
    std::set<std::string> locked;              // files held open (cannot be deleted)
    std::set<std::string> hidden;
    std::map<std::string, bool> compressed;
    std::vector<std::string> createdFolders, removedFolders, atomicWrites, rebootDeletes;

private:
    bool hasChildren(const std::string& key) const {
        const std::string prefix = key + "\\";
        for (const auto& [k, v] : files)
            if (k.rfind(prefix, 0) == 0) return true;
        for (const auto& f : folders)
            if (f.rfind(prefix, 0) == 0) return true;
        return false;
    }
    bool parentExists(const std::string& path) const {
        const std::string key = pathKey(path);
        const std::size_t sep = key.rfind('\\');
        return sep == std::string::npos || folders.count(key.substr(0, sep)) != 0;
    }
};

// Windows Installer's answers about one product.
class FakeProducts : public ProductQuery {
public:
    int ProductState(const std::string& productCode) override {
        if (missingLibrary) throw msi::LibraryNotFound("msi.dll");
        return text::equalsIgnoreCase(productCode, installedProduct) ? msi::kInstallStateDefault : msi::kInstallStateUnknown;
    }
    std::optional<std::string> ProductInfo(const std::string& productCode, const std::string& property) override {
        if (property != "PackageCode" || !text::equalsIgnoreCase(productCode, installedProduct)) return std::nullopt;
        return installedPackageCode;
    }
    std::string installedProduct;
    std::string installedPackageCode;
    bool missingLibrary = false;
};

// An NT system whose shell folders are set by the test; the user is an administrator unless
// told otherwise.
class NtSystem : public FakeSystem {
public:
    platform::OsVersion osVersion() const override { return {nt, nt ? 6u : 4u, nt ? 1u : 10u, 7601, 1}; }
    bool tokenHasBuiltinGroup(unsigned) const override { return administrator; }
    bool isElevated() const override { return administrator; }
    std::string specialFolder(int csidl, platform::RegistryView) const override {
        const auto it = shellFolders.find(csidl);
        return it == shellFolders.end() ? std::string() : it->second;
    }
    std::string shortPath(const std::string& path) const override { return {}; }

    bool administrator = true;
    bool nt = true;
    std::map<int, std::string> shellFolders = {
        {0, R"(C:\Users\ann\Desktop\)"},   {5, R"(C:\Users\ann\Documents\)"},
        {26, R"(C:\Users\ann\Roaming\)"}, {28, R"(C:\Users\ann\Local\)"},
        {35, R"(C:\ProgramData\)"},       {38, R"(C:\Program Files\)"},
        {43, R"(C:\Program Files\Common Files\)"},
    };
};

inline constexpr const char* kTestProduct = "{12345678-0000-0000-0000-000000000000}";
inline constexpr const char* kTestRevision = "{AAAAAAAA-0000-0000-0000-000000000001}";

// The cache operations on their own, without a script run.
struct CacheBench {
    CacheBench() {
        setup.payload.productCode = kTestProduct;
        setup.payload.revisionCode = kTestRevision;
        setup.payload.title = "Test";
        setup.exeName = "setup";
        setup.exePath = R"(C:\Setup\setup.exe)";
        setup.exeDir = R"(C:\Setup\)";
        setup.dataDir = setup.initialDataDir = R"(C:\Setup\data\)";
    }
    InstallationCache cache() {
        return InstallationCache(CacheEnvironment{setup, vars, system, files, products, switches, recorded});
    }
    std::string identKey() const { return std::string(kIdentCacheKey) + kTestProduct; }
    std::string var(const std::string& name) const { return vars.FetchValue(name); }

    SetupContext setup;
    TVariableManager vars;
    NtSystem system;
    MemoryCacheSystem files;
    FakeProducts products;
    platform::PlatformSwitches switches;
    TextList recorded;
};

// A script run with the cache fakes. The project carries the product code and revision above,
// the title "Test" and the given extra project lines (component sizes, build kind ...).
struct CacheRun {
    explicit CacheRun(const std::string& script, std::vector<std::string> arguments = {}, const std::string& product = {})
        : run(script, std::move(arguments)) {
        SetupPayload& p = run.setup.payload;
        p.revisionCode = kTestRevision;
        run.setup.exeName = "setup";
        run.setup.dataDir = run.setup.initialDataDir = R"(C:\Setup\data\)";
    }
    ScriptOutcome go(const std::string& package = R"(C:\Temp\kel1\setup.msi)") {
        Interpreter interpreter(ScriptEnvironment{run.setup, run.vars, run.dialogs, run.platform, system, &files, &products},
                                package);
        run.outcome = interpreter.RunScript();
        afterRun(interpreter);
        return run.outcome;
    }
    // What the start-up does after the script: the save into the cache.
    std::function<void(Interpreter&)> afterRun = [](Interpreter& in) { in.Cache().SaveAfterScriptRun(); };
    std::string var(const std::string& name) const { return run.var(name); }
    std::string message() const { return run.platform.messages.empty() ? "" : run.platform.messages.front(); }

    ScriptRun run;
    MemoryCacheSystem files;
    FakeProducts products;
    NtSystem system;
};

} // namespace velmora::testing
