// Folder listings, clearing and restart deletion on the real file system (under wine64).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <fstream>

#include "platform/file_utils.h"
#include "platform/process_info.h"

using namespace velmora::platform;

namespace {

class FileTree : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = tempFolder() + "velmora_files_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ClearFolder(root_, true);
        ASSERT_TRUE(createFolders(root_ + "\\Sub\\Deep"));
        ASSERT_TRUE(createFolders(root_ + "\\Hidden"));
        SetFileAttributesA((root_ + "\\Hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);
        for (const char* f : {"a.txt", "z.log", "Sub\\b.txt", "Sub\\Deep\\c.txt", "Hidden\\h.txt"}) touch(f);
    }
    void TearDown() override {
        ClearFolder(root_, true);
        removeFolder(root_);
    }
    void touch(const std::string& name) { std::ofstream(root_ + "\\" + name) << name; }
    std::string root_;
};

} // namespace

TEST_F(FileTree, ListFilesPutsDeeperFilesFirstAndSkipsHiddenFolders) {
    EXPECT_EQ(ListFiles(root_ + "\\*.txt", true),
              (std::vector<std::string>{root_ + "\\Sub\\Deep\\c.txt", root_ + "\\Sub\\b.txt", root_ + "\\a.txt"}));
    EXPECT_EQ(ListFiles(root_ + "\\*.txt", false), std::vector<std::string>{root_ + "\\a.txt"});
    EXPECT_EQ(ListFolders(root_, true), (std::vector<std::string>{root_ + "\\Sub\\Deep", root_ + "\\Sub"}));
    EXPECT_TRUE(ListFiles(root_ + "\\Missing\\*.*", true).empty());
}

TEST_F(FileTree, ListFilesTreeWalksEverythingAndCanIncludeFolders) {
    auto tree = ListFilesTree(root_ + "\\*.txt", true, true);
    std::sort(tree.begin(), tree.end());
    EXPECT_EQ(tree, (std::vector<std::string>{root_ + "\\Hidden", root_ + "\\Hidden\\h.txt", root_ + "\\Sub",
                                              root_ + "\\Sub\\Deep", root_ + "\\Sub\\Deep\\c.txt", root_ + "\\Sub\\b.txt",
                                              root_ + "\\a.txt"}));
    // Within one folder: sub-folder walks first, the folder's own files last.
    EXPECT_EQ(ListFilesTree(root_ + "\\*.txt", true, false).back(), root_ + "\\a.txt");
    EXPECT_TRUE(ListFilesTree(root_ + "\\Missing\\*.*", true, true).empty());
}

TEST_F(FileTree, ClearFolderRemovesReadOnlyFilesAndKeepsTheFolder) {
    SetFileAttributesA((root_ + "\\Sub\\b.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    ClearFolder(root_ + "\\", false);
    EXPECT_FALSE(fileExists(root_ + "\\a.txt"));
    EXPECT_TRUE(fileExists(root_ + "\\Sub\\b.txt"));   // no recursion: sub-folders stay
    ClearFolder(root_, true);
    EXPECT_TRUE(folderExists(root_));
    EXPECT_TRUE(ListFilesTree(root_ + "\\*.*", true, true).empty());
}

TEST(FileUtils, FreeSpaceAndRestartDeletion) {
    EXPECT_GT(freeSpace(tempFolder()), 0);
    EXPECT_EQ(freeSpace("Q:\\no such drive\\"), 0);

    const std::string file = tempFolder() + "velmora_delete_on_reboot.txt";
    std::ofstream(file) << "x";
    DeleteOnReboot(file);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    std::vector<char> data(1 << 16);
    DWORD size = static_cast<DWORD>(data.size()), type = 0;
    const LONG rc = RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type,
                                     reinterpret_cast<BYTE*>(data.data()), &size);
    RegCloseKey(key);
    ASSERT_EQ(rc, ERROR_SUCCESS);
    const std::string pending(data.data(), size);
    EXPECT_NE(pending.find("velmora_delete_on_reboot.txt"), std::string::npos);
    DeleteFileA(file.c_str());
}
