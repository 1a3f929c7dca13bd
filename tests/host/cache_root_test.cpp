// Where the installation cache lives: the override, the recorded location of this revision,
// the shell folder defaults of each scope, and the scope of the saved state.
#include <gtest/gtest.h>

#include "cache_fakes.h"

using namespace velmora;
using namespace velmora::testing;

using Bench = CacheBench;

TEST(CacheRoot, Sources) {
    struct Case {
        const char* what;
        const char* override;
        const char* machineValue;   // nullptr: no key under HKEY_LOCAL_MACHINE
        const char* userValue;      // nullptr: no key under HKEY_CURRENT_USER
        bool allUsers;
        std::string want;
    };
    const Case cases[] = {
        {"override wins", R"(D:\Cache)", nullptr, nullptr, true, R"(D:\Cache\)"},
        {"override with backslash", R"(D:\Cache\)", nullptr, nullptr, false, R"(D:\Cache\)"},
        {"recorded folder of this revision", "", R"(E:\Kept\Velmora\{aaaaaaaa-0000-0000-0000-000000000001}\)", nullptr,
         false, R"(E:\Kept\Velmora\)"},
        {"recorded without trailing backslash", "", nullptr, R"(F:\Store\{AAAAAAAA-0000-0000-0000-000000000001})", true,
         R"(F:\Store\)"},
        {"another revision's folder is ignored", "", R"(E:\Kept\{BBBBBBBB-0000-0000-0000-000000000002}\)", nullptr, true,
         R"(C:\ProgramData\)"},
        {"an opened machine key hides the user's value", "", "", R"(F:\Store\{AAAAAAAA-0000-0000-0000-000000000001}\)", true,
         R"(C:\ProgramData\)"},
        {"a bare revision names no parent", "", kTestRevision, nullptr, false, R"(C:\Users\ann\Local\)"},
        {"all users default", "", nullptr, nullptr, true, R"(C:\ProgramData\)"},
        {"current user default", "", nullptr, nullptr, false, R"(C:\Users\ann\Local\)"},
    };
    for (const auto& c : cases) {
        Bench b;
        b.vars.DefineVariable("OVERRIDECACHE", c.override, "test");
        if (c.machineValue) b.files.setRegistry(RegistryRoot::LocalMachine, b.identKey(), "", c.machineValue);
        if (c.userValue) b.files.setRegistry(RegistryRoot::CurrentUser, b.identKey(), "", c.userValue);
        EXPECT_EQ(b.cache().CacheRoot(c.allUsers), c.want) << c.what;
    }
}

TEST(CacheRoot, ShellFolderFallbacks) {
    Bench b;
    b.system.shellFolders.erase(28);
    EXPECT_EQ(b.cache().CacheRoot(false), R"(C:\Users\ann\Roaming\)");
    b.system.shellFolders.erase(26);
    EXPECT_EQ(b.cache().CacheRoot(false), R"(C:\Users\ann\Application Data\)");
    // Windows 9x: the common files folder for both scopes.
    b.system.nt = false;
    EXPECT_EQ(b.cache().CacheRoot(false), R"(C:\Program Files\Common Files\)");
    EXPECT_EQ(b.cache().CacheRoot(true), R"(C:\Program Files\Common Files\)");
}

TEST(CacheRoot, ScopeOfTheSavedState) {
    Bench b;
    const std::string userFolder = std::string(R"(C:\Users\ann\Local\)") + kTestRevision + "\\";
    EXPECT_TRUE(b.cache().CacheScope());
    EXPECT_EQ(b.cache().StateFilePath(), std::string(R"(C:\ProgramData\)") + kTestRevision + "\\setup.dat");
    b.files.addFile(userFolder + "setup.msi");
    EXPECT_TRUE(b.cache().CacheScope());   // only the state file decides
    b.files.addFile(userFolder + "SETUP.DAT");
    EXPECT_FALSE(b.cache().CacheScope());
    EXPECT_EQ(b.cache().StateFilePath(), userFolder + "setup.dat");
}

TEST(CacheFolderText, Parts) {
    struct Case { const char* folder; const char* last; const char* parent; };
    const Case cases[] = {
        {R"(C:\A\B\)", "B", R"(C:\A\)"},
        {R"(C:\A\B)", "B", R"(C:\A\)"},
        {R"(C:\B)", "B", R"(C:\)"},
        {"B", "B", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LastFolderName(c.folder), c.last) << c.folder;
        EXPECT_EQ(ParentFolder(c.folder), c.parent) << c.folder;
    }
}

TEST(MsiLibrary, LoadsOnceAndNamesWhatIsMissing) {
    int loads = 0, lookups = 0;
    bool libraryPresent = false;
    int dummy = 0;
    msi::LazyLibrary library(
        "msi.dll",
        [&](const std::string& name) -> void* {
            ++loads;
            return libraryPresent && name == "msi.dll" ? &dummy : nullptr;
        },
        [&](void*, const std::string& name) -> void* {
            ++lookups;
            return name == "MsiQueryProductStateA" ? &dummy : nullptr;
        });
    try {
        library.function("MsiQueryProductStateA");
        FAIL() << "no library";
    } catch (const msi::LibraryNotFound& e) {
        EXPECT_STREQ(e.what(), "Library not found: msi.dll");
    }
    libraryPresent = true;   // installed meanwhile: the next call loads it
    EXPECT_EQ(library.function("MsiQueryProductStateA"), &dummy);
    EXPECT_EQ(library.function("MsiQueryProductStateA"), &dummy);
    EXPECT_EQ(loads, 2);
    EXPECT_EQ(lookups, 1);
    try {
        library.function("MsiGetProductInfoA");
        FAIL() << "no function";
    } catch (const msi::FunctionNotFound& e) {
        EXPECT_STREQ(e.what(), "Function not found: msi.dll.MsiGetProductInfoA");
    }
    EXPECT_EQ(loads, 2);
}

TEST(SetupSources, WhereTheyAreLookedFor) {
    const std::string engineFolder = std::string(R"(C:\ProgramData\)") + kTestRevision + "\\";
    const std::string key = std::string(kUninstallKey) + "Test";
    Bench b;
    b.vars.DefineVariable("TITLE", "Test", "test");
    b.vars.DefineVariable("ALLUSERS", "TRUE", "test");
    EXPECT_EQ(b.cache().SetupSourcesCandidate(), "");
    b.files.setRegistry(RegistryRoot::CurrentUser, key, "UninstallString", "\"D:\\Wrong\\setup.exe\" REMOVE=TRUE MODIFY=FALSE");
    EXPECT_EQ(b.cache().SetupSourcesCandidate(), "");    // the entry of the other scope is not read
    b.files.setRegistry(RegistryRoot::LocalMachine, key, "UninstallString", "\"" + engineFolder + "setup.exe\" REMOVE=TRUE MODIFY=FALSE");
    EXPECT_EQ(b.cache().SetupSourcesCandidate(), engineFolder);
    b.setup.commandLine.sourceOverride = R"(e:\media)";
    EXPECT_EQ(b.cache().SetupSourcesCandidate(), R"(e:\media\)");
    b.files.addFile(b.setup.dataDir + kTestProduct);
    EXPECT_EQ(b.cache().SetupSourcesCandidate(), b.setup.dataDir);

    // A folder holds the sources when the product marker is in it or in its data folder.
    b.files.addFile(std::string(R"(F:\Sources\data\)") + kTestProduct);
    EXPECT_EQ(b.cache().SetupSourcesIn(R"(F:\Sources)"), R"(F:\Sources\data\)");
    EXPECT_EQ(b.cache().SetupSourcesIn(R"(F:\Sources\data\)"), R"(F:\Sources\data\)");
    EXPECT_EQ(b.cache().SetupSourcesIn(R"(F:\)"), std::nullopt);

    // The user is asked until a folder with the sources is chosen; cancelling or silence fails.
    std::vector<std::optional<std::string>> answers = {R"(G:\Empty)", R"(F:\Sources)"};
    std::vector<std::string> prompts;
    const auto browse = [&](std::string_view prompt) -> std::optional<std::string> {
        prompts.emplace_back(prompt);
        if (answers.empty()) return std::nullopt;
        auto answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    };
    EXPECT_EQ(b.cache().AskForSetupSources(false, browse), R"(F:\Sources\data\)");
    EXPECT_EQ(prompts, std::vector<std::string>(2, std::string(kLocateSourcesPrompt)));
    EXPECT_EQ(b.cache().AskForSetupSources(false, browse), std::nullopt);
    EXPECT_EQ(b.cache().AskForSetupSources(true, browse), std::nullopt);
    EXPECT_EQ(prompts.size(), 3u);
}
