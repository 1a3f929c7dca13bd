// The installation cache written and removed on the real file system and registry (under
// wine64), as "Apply Changes" will do it: files, uninstall entry, Ident.Cache, and a removal
// while the engine's file is held open.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>

#include "components/cache.h"
#include "platform/file_utils.h"
#include "platform/process_info.h"
#include "platform/system_info.h"

using namespace velmora;

namespace {

const std::string kProduct = "{D1E2F3A4-5B6C-4D7E-8F90-A1B2C3D4E5F6}";
const std::string kRevision = "{D1E2F3A4-0000-4D7E-8F90-A1B2C3D4E5F6}";
const std::string kTitle = "Velmora Cache Test";

void writeFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CacheOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = platform::tempFolder() + "velmora_cache_test\\";
        platform::ClearFolder(root_, true);
        platform::createFolders(root_ + "source");
        for (const char* name : {"setup.exe", "setup.msi", "setup.res", "kel.lib"}) writeFile(root_ + "source\\" + name, name);
        setup_.payload.productCode = kProduct;
        setup_.payload.revisionCode = kRevision;
        setup_.payload.title = kTitle;
        setup_.payload.company = "Velmora Tests";
        setup_.exeName = "setup";
        setup_.exePath = root_ + "source\\setup.exe";
        setup_.exeDir = setup_.dataDir = root_ + "source\\";
        vars_.DefineVariable("OVERRIDECACHE", root_ + "cache\\", "test");
        vars_.DefineVariable("TITLE", kTitle, "test");
        vars_.DefineVariable("ALLUSERS", "FALSE", "test");
        vars_.DefineVariable("ROOTDIR", root_ + "source\\", "test");
        vars_.DefineVariable("TARGETDIR", "C:\\Target\\", "test");
        vars_.DefineVariable("SERIAL", "42", "test");
        vars_.AddPersistentVariable("SERIAL");
        recorded_ = TextList{"AHEADER01", "TRUE"};
    }
    void TearDown() override {
        for (RegistryRoot root : {RegistryRoot::LocalMachine, RegistryRoot::CurrentUser}) {
            files_->DeleteRegistryKey(root, std::string(kUninstallKey) + kTitle);
            files_->DeleteRegistryKey(root, std::string(kUninstallKey) + kProduct);
            files_->DeleteRegistryKey(root, std::string(kIdentCacheKey) + kProduct);
        }
        platform::ClearFolder(root_, true);
        platform::removeFolder(root_);
    }
    InstallationCache cache() {
        return InstallationCache(CacheEnvironment{setup_, vars_, *system_, *files_, *products_, switches_, recorded_});
    }

    std::string root_;
    SetupContext setup_;
    TVariableManager vars_;
    std::unique_ptr<platform::SystemInfo> system_ = platform::createSystemInfo();
    std::unique_ptr<CacheSystem> files_ = createWindowsCacheSystem(true);
    std::unique_ptr<ProductQuery> products_ = createWindowsProductQuery();
    platform::PlatformSwitches switches_;
    TextList recorded_;
};

} // namespace

TEST_F(CacheOnDisk, WriteThenRemoveWhileTheEngineIsOpen) {
    const std::string folder = root_ + "cache\\" + kRevision + "\\";
    InstallationCache c = cache();
    ASSERT_TRUE(c.WriteInstallationCache({"", "German", false}));
    EXPECT_EQ(readFile(folder + "setup.exe"), "setup.exe");
    EXPECT_EQ(readFile(folder + "setup.msi"), "setup.msi");
    EXPECT_EQ(readFile(folder + "setup.par"), "AHEADER01\r\nTRUE\r\n");
    EXPECT_EQ(readFile(folder + "setup.lan"), "German\r\n");
    EXPECT_EQ(readFile(folder + "instance.dat"), kProduct + "\r\n" + kRevision + "\r\n" + kTitle + "\r\n");
    EXPECT_NE(readFile(folder + "setup.dat").find("SERIAL\r\n42\r\n"), std::string::npos);

    const auto read = [&](const std::string& key, const std::string& name) {
        return files_->ReadRegistryText(RegistryRoot::CurrentUser, key, name).value.value_or("<none>");
    };
    const std::string titleKey = std::string(kUninstallKey) + kTitle;
    EXPECT_EQ(read(titleKey, "UninstallString"), "\"" + folder + "setup.exe\" REMOVE=TRUE MODIFY=FALSE");
    EXPECT_EQ(read(titleKey, "Publisher"), "Velmora Tests");
    EXPECT_EQ(read(titleKey, "InstallLocation"), "C:\\Target\\");
    EXPECT_EQ(read(std::string(kIdentCacheKey) + kProduct, ""), folder);

    // The run's save updates the written state in full and hides the folder.
    vars_.DefineVariable("SERIAL", "43", "test");
    c.SaveAfterScriptRun();
    EXPECT_NE(readFile(folder + "setup.dat").find("SERIAL\r\n43\r\n"), std::string::npos);
    EXPECT_TRUE(GetFileAttributesA(folder.c_str()) & FILE_ATTRIBUTE_HIDDEN);

    // Removal while the cached engine is open (as when it runs from the cache): the rest goes,
    // the folder is moved aside for deletion at the next restart, the entries are deleted.
    const HANDLE engine = CreateFileA((folder + "setup.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(engine, INVALID_HANDLE_VALUE);
    c.RemoveInstallationCache();
    CloseHandle(engine);
    EXPECT_FALSE(platform::fileExists(folder + "setup.msi"));
    EXPECT_FALSE(platform::fileExists(folder + "setup.dat"));
    // Wine moves a folder with an open file; Windows may refuse, and then the folder stays
    // where it is with its remaining files scheduled for deletion.
    const bool moved = platform::folderExists(root_ + "cache\\~0");
    EXPECT_EQ(platform::folderExists(folder), !moved);
    EXPECT_TRUE(platform::fileExists((moved ? root_ + "cache\\~0\\" : folder) + "setup.exe"));
    EXPECT_EQ(read(titleKey, "UninstallString"), "<none>");
    EXPECT_FALSE(files_->ReadRegistryText(RegistryRoot::CurrentUser, std::string(kIdentCacheKey) + kProduct, "").keyOpened);
    EXPECT_FALSE(files_->ReadRegistryText(RegistryRoot::CurrentUser, titleKey, "").keyOpened);
}

TEST_F(CacheOnDisk, ProductQueriesThroughMsiDll) {
    // A product that is not installed; msi.dll is found and both functions answer.
    EXPECT_NE(products_->ProductState(kProduct), 5);
    EXPECT_FALSE(products_->ProductInfo(kProduct, "PackageCode"));
}
