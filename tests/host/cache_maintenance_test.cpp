// The start-up decision between first installation, maintenance and upgrade, the cache
// override before each statement, the save after each run, patch builds, and the cache that
// "Apply Changes" writes and removes.
#include <gtest/gtest.h>

#include <algorithm>

#include "cache_fakes.h"
#include "components/maintenance.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

const std::string kOldRevision = "{BBBBBBBB-0000-0000-0000-000000000002}";
const std::string kCurrentFolder = std::string(R"(C:\ProgramData\)") + kTestRevision + "\\";
const std::string kOldFolder = R"(E:\Old\)" + kOldRevision + "\\";

std::string stateText(const char* programState, const char* target, const char* serial, const char* programSize) {
    SavedState state;
    state.components = {TextList{std::string(kPredefinedComponent), "Program"}, TextList{"TRUE", programState}, {}, {}, {},
                        TextList{std::string(kPredefinedComponent), "100", "PROGRAM", programSize}};
    state.targetDir = target;
    state.allUsers = "TRUE";
    state.startMenu = "Saved Menu";
    state.dataFolder = "";
    if (serial) state.persistentVariables = {{"SERIAL", serial}};
    state.platformMode = "x64";
    state.overrideCache = NameValue{"OVERRIDECACHE", ""};
    return FormatStateText(state);
}

void addCurrentState(MemoryCacheSystem& files, const char* serial = "installed") {
    files.addFile(kCurrentFolder + "setup.dat", stateText("TRUE", R"(D:\Installed\)", serial, "5000"));
    files.addFile(kCurrentFolder + "setup.par", "AHEADER01\r\nTRUE\r\nMSINTEMP\r\nC:\\Temp\\\r\n");
}

// An older build's cache folder, recorded in Ident.Cache: two state files, one with all its
// companions.
void addOldCache(MemoryCacheSystem& files) {
    files.setRegistry(RegistryRoot::CurrentUser, std::string(kIdentCacheKey) + kTestProduct, "", kOldFolder);
    files.addFile(kOldFolder + "instance.dat", "x");
    files.addFile(kOldFolder + "aaa.dat", stateText("TRUE", R"(D:\Wrong\)", "wrong", "1"));
    files.addFile(kOldFolder + "old.dat", stateText("FALSE", R"(D:\Old\)", "old", "1"));
    for (const char* ext : {".exe", ".res", ".msi", ".par"}) files.addFile(kOldFolder + "old" + ext);
}

} // namespace

TEST(InitMaintenanceState, Decisions) {
    struct Case {
        const char* what;
        bool installed;
        std::string packageCode;
        const char* loadOldData;
        bool currentState;
        bool instanceFile;
        bool missingMsi;
        const char* maintenance;
        const char* needsUpgrade;
        const char* newInstance;
        const char* serial;      // which state was loaded: "installed", "old" or none
        const char* target;
        std::int64_t installedSize;
        std::int64_t programSize;
    };
    const Case cases[] = {
        {"first installation", false, "", "", false, false, false, "FALSE", "FALSE", "FALSE", "", R"(C:\Program Files\Test\)", 0, 7000},
        {"first installation after an earlier run kept its state", false, "", "", true, false, false, "FALSE", "FALSE", "FALSE",
         "installed", R"(D:\Installed\)", 0, 5000},
        {"maintenance: same revision, any letter case", true, text::lower(kTestRevision), "", true, false, false, "TRUE", "FALSE",
         "TRUE", "installed", R"(D:\Installed\)", 5100, 5000},
        {"maintenance without its saved state: the defaults", true, kTestRevision, "", false, false, false, "TRUE", "FALSE",
         "TRUE", "", R"(C:\Program Files\Test\)", 0, 7000},
        {"maintenance from an instance copy", true, kTestRevision, "", true, true, false, "TRUE", "FALSE", "FALSE", "installed",
         R"(D:\Installed\)", 5100, 5000},
        {"upgrade keeps the fresh start", true, kOldRevision, "", false, false, false, "FALSE", "TRUE", "TRUE", "",
         R"(C:\Program Files\Test\)", 0, 7000},
        {"upgrade taking over the old state with the new sizes", true, kOldRevision, "TRUE", false, false, false, "FALSE", "TRUE",
         "TRUE", "old", R"(D:\Old\)", 0, 7000},
        {"no installer library", true, kTestRevision, "", true, false, true, "FALSE", "FALSE", "FALSE", "installed",
         R"(D:\Installed\)", 0, 5000},
    };
    for (const auto& c : cases) {
        CacheBench b;
        b.setup.payload.componentSizes = TextList{"PROGRAM", "7000"};
        b.setup.payload.compilerVariables = TextList{"LOADOLDDATA", c.loadOldData};
        b.setup.components = ComponentModel(b.setup.payload.componentSizes);
        b.recorded = TextList{"LEFT", "OVER"};
        if (c.installed) {
            b.products.installedProduct = kTestProduct;
            b.products.installedPackageCode = c.packageCode;
        }
        b.products.missingLibrary = c.missingMsi;
        if (c.currentState) addCurrentState(b.files);
        addOldCache(b.files);
        if (c.instanceFile) b.files.addFile(R"(C:\Setup\instance.dat)", std::string(kTestProduct) + "\r\n" + kTestRevision + "\r\nTest\r\n");
        InstallationCache cache = b.cache();
        InitMaintenanceState(cache);

        EXPECT_EQ(b.var("MAINTENANCE"), c.maintenance) << c.what;
        EXPECT_EQ(b.var("NEEDSUPGRADE"), c.needsUpgrade) << c.what;
        EXPECT_EQ(b.var("NEWINSTANCE"), c.newInstance) << c.what;
        EXPECT_EQ(b.var("SERIAL"), c.serial) << c.what;
        EXPECT_EQ(b.var("TARGETDIR"), c.target) << c.what;
        EXPECT_EQ(b.setup.components.InstalledSize(), c.installedSize) << c.what;
        EXPECT_EQ(b.setup.components.ComponentSize("Program"), c.programSize) << c.what;
        const bool maintenance = std::string(c.maintenance) == "TRUE";
        // (Without a loaded model the interpreter's prologue defines it next.)
        if (!maintenance || !std::string(c.serial).empty())
            EXPECT_TRUE(b.setup.components.IsComponentSelected(kPredefinedComponent)) << c.what;
        // A fresh start clears the recorded properties; maintenance takes the saved ones.
        const TextList recorded = !maintenance                  ? TextList{}
                                  : std::string(c.serial).empty() ? TextList{"LEFT", "OVER"}
                                                                  : TextList{"AHEADER01", "TRUE", "MSINTEMP", "C:\\Temp\\"};
        EXPECT_EQ(b.recorded, recorded) << c.what;
        EXPECT_EQ(b.switches.platformMode, std::string(c.serial).empty() ? "Win32" : "x64") << c.what;
        EXPECT_EQ(b.vars.PersistentVariables(), std::string(c.serial).empty() ? TextList{} : TextList{"SERIAL"}) << c.what;
        EXPECT_EQ(b.var("STARTMENU"), std::string(c.serial).empty() ? "Test" : "Saved Menu") << c.what;
    }
}

TEST(InitMaintenanceState, FoldersAndIdentity) {
    {   // An administrator: program files and the machine-wide cache.
        CacheBench b;
        InstallationCache cache = b.cache();
        InitMaintenanceState(cache);
        EXPECT_EQ(b.var("PRODUCTCODE"), kTestProduct);
        EXPECT_EQ(b.var("REVISIONCODE"), kTestRevision);
        EXPECT_EQ(b.var("ENGINECACHE"), kCurrentFolder);
        EXPECT_EQ(b.var("UNINSTALLLINK"), kCurrentFolder + "setup.exe");
        EXPECT_EQ(b.var("DATADIR"), R"(C:\Setup\data\)");
        EXPECT_EQ(b.var("ALLUSERS"), "TRUE");
    }
    {   // A user without rights: the documents' parent folder and the user's own cache.
        CacheBench b;
        b.system.administrator = false;
        InstallationCache cache = b.cache();
        InitMaintenanceState(cache);
        EXPECT_EQ(b.var("TARGETDIR"), R"(C:\Users\ann\Test\)");
        EXPECT_EQ(b.var("ALLUSERS"), "FALSE");
        EXPECT_EQ(b.var("ENGINECACHE"), std::string(R"(C:\Users\ann\Local\)") + kTestRevision + "\\");
    }
    {   // Build kind 2 keeps its media in the cache; an instance copy carries its own identity.
        CacheBench b;
        b.setup.payload.buildKind = 2;
        b.files.addFile(R"(C:\Setup\instance.dat)", "{11111111-2222-3333-4444-555555555555}\r\n{66666666-0000-0000-0000-000000000000}\r\nSecond Copy\r\n");
        InstallationCache cache = b.cache();
        InitMaintenanceState(cache);
        const std::string folder = R"(C:\ProgramData\{66666666-0000-0000-0000-000000000000}\)";
        EXPECT_EQ(b.var("PRODUCTCODE"), "{11111111-2222-3333-4444-555555555555}");
        EXPECT_EQ(b.var("DATADIR"), folder);
        EXPECT_EQ(b.setup.dataDir, folder);
        EXPECT_EQ(b.setup.payload.title, "Second Copy");
        EXPECT_EQ(b.var("TARGETDIR"), R"(C:\Program Files\Second Copy\)");
    }
    {   // A damaged instance.dat does not blank the product's identity.
        CacheBench b;
        b.files.addFile(R"(C:\Setup\instance.dat)", "\r\n");
        InstallationCache cache = b.cache();
        InitMaintenanceState(cache);
        EXPECT_EQ(b.var("PRODUCTCODE"), kTestProduct);
    }
}

TEST(CacheOverride, RelocatesTheCacheBeforeTheNextStatement) {
    const std::string root = R"(C:\Override\Cache)";
    CacheRun run("Set Variable\n  | SEEN\n  | $ENGINECACHE$\n", {"OVERRIDECACHE=" + root});
    ASSERT_EQ(run.go(), ScriptOutcome::Completed) << run.message();
    EXPECT_EQ(run.var("OVERRIDECACHE"), root + "\\");
    EXPECT_EQ(run.var("SEEN"), root + "\\" + kTestRevision + "\\");
    EXPECT_EQ(run.var("UNINSTALLLINK"), root + "\\" + kTestRevision + "\\setup.exe");
    // The test folders are made parents first and removed again, the last made first.
    EXPECT_EQ(run.files.createdFolders, (std::vector<std::string>{R"(C:\OVERRIDE)", R"(C:\OVERRIDE\CACHE)"}));
    EXPECT_EQ(run.files.removedFolders, (std::vector<std::string>{R"(C:\OVERRIDE\CACHE)", R"(C:\OVERRIDE)"}));
    EXPECT_FALSE(run.files.FolderExists(root));
}

TEST(CacheOverride, StateUnderTheNewRootIsLoaded) {
    const std::string root = R"(C:\Override)";
    CacheRun run("Set Variable\n  | OVERRIDECACHE\n  | " + root + "\n" + "Set Variable\n  | SEEN\n  | $SERIAL$\n");
    run.files.addFile(root + "\\" + kTestRevision + "\\setup.dat", stateText("TRUE", R"(D:\Moved\)", "moved", "1"));
    ASSERT_EQ(run.go(), ScriptOutcome::Completed) << run.message();
    EXPECT_EQ(run.var("SEEN"), "moved");
    EXPECT_EQ(run.var("TARGETDIR"), R"(D:\Moved\)");
    EXPECT_TRUE(run.files.FolderExists(root));   // existing folders stay
}

TEST(CacheOverride, Failures) {
    {   // A folder that cannot be made: the override is dropped and the default root stays.
        CacheRun run("Set Variable\n  | SEEN\n  | $ENGINECACHE$\n", {"OVERRIDECACHE=Q:\\Denied\\Cache"});
        run.files.unwritable.insert("Q:\\DENIED");
        ASSERT_EQ(run.go(), ScriptOutcome::Completed) << run.message();
        EXPECT_EQ(run.var("OVERRIDECACHE"), "");
        EXPECT_EQ(run.var("SEEN"), kCurrentFolder);
        EXPECT_TRUE(run.files.createdFolders.empty());
    }
    {   // A bare folder name is an error of the script.
        CacheRun run("Set Variable\n  | OVERRIDECACHE\n  | Cache\nSet Variable\n  | AFTER\n  | ran\n");
        EXPECT_EQ(run.go(), ScriptOutcome::Failed);
        EXPECT_NE(run.message().find(": Unable to create directory"), std::string::npos) << run.message();
        EXPECT_EQ(run.var("AFTER"), "");
    }
}

TEST(ScriptRunWrapper, SavesTheStateAfterEveryRun) {
    const std::string setVariables = "Set Variable\n  | SERIAL$QORV$QORV$TRUE\n  | new value\n"
                                     "Set Variable\n  | TARGETDIR\n  | D:\\Elsewhere\\\n";
    // A part number that is not a number ends the script with an error.
    const std::string failing = "Set Variable\n  | P\n  | C:\\x\nExtract Path\n  | P\n  | two\n";
    struct Case {
        const char* what;
        std::string script;
        bool stateFile;
        const char* serialInFile;
        const char* compress;
        bool saved;
    };
    const Case cases[] = {
        {"an existing state is updated in place", setVariables, true, "installed", "TRUE", true},
        {"also after a failing script", setVariables + failing, true, "installed", "TRUE", true},
        {"without compression", setVariables + "Set Variable\n  | QORV_COMPRESS_INSTALLER_CACHE\n  | FALSE\n", true, "installed",
         "FALSE", true},
        {"no persistent variables: nothing saved", "Set Variable\n  | TARGETDIR\n  | D:\\Elsewhere\\\n", true, nullptr, "TRUE",
         false},
        {"no state yet: nothing to update", setVariables, false, "installed", "", false},
    };
    for (const auto& c : cases) {
        CacheRun run(c.script);
        if (c.stateFile) addCurrentState(run.files, c.serialInFile);
        const std::string before = run.files.file(kCurrentFolder + "setup.dat");
        EXPECT_EQ(run.go(), c.script == setVariables + failing ? ScriptOutcome::Failed : ScriptOutcome::Completed) << c.what;
        const std::string after = run.files.file(kCurrentFolder + "setup.dat");
        if (c.saved) {
            // The installed part (target folder) stays; the persistent values are the current ones.
            EXPECT_NE(after.find("D:\\Installed\\\r\nTRUE\r\nSaved Menu\r\n\r\nSERIAL\r\nnew value\r\nQORV64WOW\r\nx64\r\n"),
                      std::string::npos)
                << c.what << "\n" << after;
            EXPECT_EQ(run.files.atomicWrites, std::vector<std::string>{pathKey(kCurrentFolder + "setup.dat")}) << c.what;
        } else {
            EXPECT_EQ(after, before) << c.what;
            EXPECT_TRUE(run.files.atomicWrites.empty()) << c.what;
        }
        if (c.stateFile) {
            EXPECT_TRUE(run.files.hidden.count(pathKey(kCurrentFolder))) << c.what;
            EXPECT_EQ(run.files.compressed[pathKey(kCurrentFolder)], std::string(c.compress) == "TRUE") << c.what;
        } else {
            EXPECT_FALSE(run.files.FolderExists(kCurrentFolder)) << c.what;   // no empty folder left behind
        }
    }
}

TEST(PatchBuild, LoadsTheInstalledRevisionsState) {
    const std::string oldFolder = std::string(R"(C:\ProgramData\)") + kOldRevision + "\\";
    CacheRun run("Set Variable\n  | SERIAL$QORV$QORV$TRUE\n  | patched\n");
    run.run.setup.payload.buildKind = 3;
    run.files.setRegistry(RegistryRoot::CurrentUser, std::string(kUninstallKey) + "Test", "UninstallString",
                          "\"" + oldFolder + "setup.exe\" REMOVE=TRUE MODIFY=FALSE");
    run.files.addFile(oldFolder + "setup.dat", stateText("TRUE", R"(D:\Installed\)", "installed", "5000"));
    run.files.addFile(oldFolder + "setup.par", "AOLD\r\nTRUE\r\n");
    run.afterRun = [](Interpreter& in) {
        EXPECT_EQ(in.Components().InstalledSize(), 5100);
        EXPECT_EQ(in.Cache().CacheFolder(true), std::string(R"(C:\ProgramData\)") + kOldRevision + "\\");
        in.Cache().SaveAfterScriptRun();
    };
    ASSERT_EQ(run.go(), ScriptOutcome::Completed) << run.message();
    EXPECT_EQ(run.var("REVISIONCODE"), kTestRevision);   // the patch's own revision stays
    EXPECT_EQ(run.var("TARGETDIR"), R"(D:\Installed\)");
    EXPECT_NE(run.files.file(oldFolder + "setup.dat").find("SERIAL\r\npatched\r\n"), std::string::npos);
}

TEST(ApplyChangesCache, WriteThenRemove) {
    CacheBench b;
    b.setup.payload.company = "Maker";
    b.setup.payload.contact = "Desk";
    b.setup.payload.helpLink = "http://help";
    b.setup.payload.updateInfo = "http://update";
    b.setup.payload.comments = "Notes";
    b.setup.payload.buildKind = 2;
    b.vars.DefineVariable("TITLE", "Test Title", "test");
    b.vars.DefineVariable("TARGETDIR", R"(D:\\App\\)", "test");
    b.vars.DefineVariable("ALLUSERS", "TRUE", "test");
    b.vars.DefineVariable("ROOTDIR", R"(C:\Setup)", "test");
    b.vars.DefineVariable("SERIAL", "1234", "test");
    b.vars.AddPersistentVariable("SERIAL");
    b.recorded = TextList{"AHEADER01", "TRUE"};
    b.setup.components.DefineComponent("Program", "", true);
    for (const char* name : {"setup.exe", "setup.msi", "setup.res", "kel.lib"}) b.files.addFile(std::string(R"(C:\Setup\)") + name, name);
    b.files.addFile(R"(C:\Temp\kel1\setup.msi)", "edited package");
    b.files.addFile(kCurrentFolder + "setup.lan", "German\r\n");
    b.files.addFolder(kCurrentFolder + "__ad");

    InstallationCache cache = b.cache();
    EXPECT_TRUE(cache.WriteInstallationCache({R"(C:\Temp\kel1\setup.msi)", "", false}));
    const struct { const char* name; std::string content; } files[] = {
        {"setup.exe", "setup.exe"},
        {"setup.msi", "edited package"},
        {"setup.res", "setup.res"},
        {"kel.lib", "kel.lib"},
        {"setup.par", "AHEADER01\r\nTRUE\r\n"},
        {"instance.dat", std::string(kTestProduct) + "\r\n" + kTestRevision + "\r\nTest Title\r\n"},
        {kTestProduct, ""},
        {"setup.lan", "<missing>"},   // no language chosen
        {"setup.bmp", "<missing>"},   // optional
    };
    for (const auto& f : files) EXPECT_EQ(b.files.file(kCurrentFolder + f.name), f.content) << f.name;
    EXPECT_NE(b.files.file(kCurrentFolder + "setup.dat").find("Program\r\n$\r\n"), std::string::npos);
    EXPECT_FALSE(b.files.FolderExists(kCurrentFolder + "__ad"));
    EXPECT_TRUE(b.setup.cache.writtenThisRun);

    const std::string titleKey = std::string(kUninstallKey) + "Test Title";
    const std::string engine = kCurrentFolder + "setup.exe";
    const struct { std::string key; const char* name; std::string value; } values[] = {
        {titleKey, "DisplayIcon", engine},
        {titleKey, "DisplayName", "Test Title"},
        {titleKey, "UninstallString", "\"" + engine + "\" REMOVE=TRUE MODIFY=FALSE"},
        {titleKey, "ModifyPath", engine},
        {titleKey, "Publisher", "Maker"},
        {titleKey, "Contact", "Desk"},
        {titleKey, "HelpLink", "http://help"},
        {titleKey, "URLUpdateInfo", "http://update"},
        {titleKey, "Comments", "Notes"},
        {titleKey, "InstallLocation", R"(D:\App\)"},
        {std::string(kUninstallKey) + kTestProduct, "UninstallString", engine},
        {std::string(kIdentCacheKey) + kTestProduct, "", kCurrentFolder},
    };
    for (const auto& v : values)
        EXPECT_EQ(b.files.registryValue(RegistryRoot::LocalMachine, v.key, v.name), v.value) << v.key << " " << v.name;

    // An advertise run marks the folder.
    EXPECT_TRUE(cache.WriteInstallationCache({"", "German", true}));
    EXPECT_TRUE(b.files.FolderExists(kCurrentFolder + "__ad"));
    EXPECT_TRUE(cache.WasAdvertised());
    EXPECT_EQ(b.files.file(kCurrentFolder + "setup.msi"), "setup.msi");
    EXPECT_EQ(b.files.file(kCurrentFolder + "setup.lan"), "German\r\n");

    // Removal while the engine runs from the cache: the folder is moved aside (~0 is taken).
    b.files.setRegistry(RegistryRoot::CurrentUser, titleKey, "DisplayName", "Test Title");
    b.files.addFolder(R"(C:\ProgramData\~0)");
    b.files.locked.insert(pathKey(engine));
    cache.RemoveInstallationCache();
    EXPECT_FALSE(b.files.FolderExists(kCurrentFolder));
    EXPECT_EQ(b.files.file(R"(C:\ProgramData\~1\setup.exe)"), "setup.exe");
    EXPECT_EQ(b.files.FileNames(R"(C:\ProgramData\~1)"), std::vector<std::string>{"SETUP.EXE"});
    EXPECT_EQ(b.files.rebootDeletes, (std::vector<std::string>{R"(C:\PROGRAMDATA\~1\SETUP.EXE)", R"(C:\PROGRAMDATA\~1\KEL.LIB)",
                                                               R"(C:\PROGRAMDATA\~1)"}));
    for (RegistryRoot root : {RegistryRoot::LocalMachine, RegistryRoot::CurrentUser}) {
        EXPECT_FALSE(b.files.hasKey(root, titleKey));
        EXPECT_FALSE(b.files.hasKey(root, std::string(kIdentCacheKey) + kTestProduct));
    }
    // The run's final save leaves the removed cache alone.
    b.files.atomicWrites.clear();
    cache.SaveAfterScriptRun();
    EXPECT_TRUE(b.files.atomicWrites.empty());
    EXPECT_FALSE(b.files.FolderExists(kCurrentFolder));
}
