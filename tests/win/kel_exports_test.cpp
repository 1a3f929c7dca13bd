// kel.lib as Windows loads it: the four exports bound with GetProcAddress from the DLL next to
// this test program and driven through their ABI (listing records, path modes, overwrite
// answers, progress cancel, password callback), and the engine's ArchiveLibrary over it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "../host/kel_test_support.h"
#include "kel_sample_archives.h"
#include "media/archive_library.h"

using namespace kel_test;

namespace {

std::string exeFolder() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of('\\') + 1);
}

template <std::size_t N>
std::string bytes(const unsigned char (&a)[N]) {
    return std::string(reinterpret_cast<const char*>(a), N);
}

// The DLL's exports, loaded once for the whole test program.
const velmora::ArchiveLibraryExports& kel() {
    static const velmora::ArchiveLibrary library = velmora::ArchiveLibrary::load(exeFolder());
    return library.exports();
}

class KelExports : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(dir.path() / "plain.7z", bytes(kel_samples::kPlain));
        writeFile(dir.path() / "locked.7z", bytes(kel_samples::kLocked));
    }
    int32_t extract(const std::string& archive, const std::string& out, int32_t mode, KelProgressCallback progress = nullptr,
                    KelOverwriteCallback overwrite = nullptr, const char* password = nullptr,
                    KelPasswordCallback passwordCallback = nullptr, const KelFileList* files = nullptr) {
        const std::string a = dir / archive, o = dir / out;
        return kel().extractArchive(a.c_str(), 1, o.c_str(), files, mode, password, passwordCallback, progress, nullptr,
                                    overwrite);
    }
    TempDir dir;
};

TEST_F(KelExports, ListsFortyEightByteRecords) {
    const std::string archive = dir / "plain.7z";
    KelListEntry* entries = nullptr;
    int32_t count = 0;
    const intptr_t handle = kel().openListArchive(archive.c_str(), 0, nullptr, 0, 0, 0, nullptr, &entries, &count);
    ASSERT_NE(handle, 0) << kel().getLastArchiveError(0);
    ASSERT_EQ(count, 6);
    const char* raw = reinterpret_cast<const char*>(entries);
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        const char* record = raw + 48 * i;
        paths.push_back(*reinterpret_cast<const char* const*>(record));
        const std::uint64_t size = *reinterpret_cast<const std::uint64_t*>(record + 8);
        if (paths.back() == "docs\\readme.txt") {
            EXPECT_EQ(size, 15u);
        } else if (paths.back() == "top.txt") {
            EXPECT_EQ(size, 1161u);
        } else if (paths.back() == "empty") {
            EXPECT_TRUE(entries[i].flags & KEL_ENTRY_DIRECTORY);
        }
        EXPECT_NE(*reinterpret_cast<const std::uint64_t*>(record + 32), 0u);  // a modification time
    }
    EXPECT_EQ(paths, (std::vector<std::string>{"docs", "docs\\sub", "empty", "docs\\readme.txt", "docs\\sub\\deep.txt", "top.txt"}));
    EXPECT_EQ(kel().closeListArchive(handle), 1);
    EXPECT_EQ(kel().closeListArchive(handle), 0);
}

TEST_F(KelExports, PathModes) {
    ASSERT_EQ(extract("plain.7z", "full", KEL_PATHS_FULL), 1) << kel().getLastArchiveError(0);
    EXPECT_EQ(readFile(dir.path() / "full/docs/sub/deep.txt"), "deep inside\r\n");
    EXPECT_TRUE(fs::is_directory(dir.path() / "full/empty"));

    ASSERT_EQ(extract("plain.7z", "flat", KEL_PATHS_NONE), 1) << kel().getLastArchiveError(0);
    EXPECT_EQ(readFile(dir.path() / "flat/deep.txt"), "deep inside\r\n");
    EXPECT_EQ(readFile(dir.path() / "flat/readme.txt"), "read me first\r\n");
    EXPECT_FALSE(fs::exists(dir.path() / "flat/docs"));
    EXPECT_FALSE(fs::exists(dir.path() / "flat/empty"));
}

TEST_F(KelExports, SelectedEntriesOnly) {
    const char* paths[] = {"docs\\sub\\deep.txt"};
    const KelFileList list{paths, 1};
    ASSERT_EQ(extract("plain.7z", "some", KEL_PATHS_FULL, nullptr, nullptr, nullptr, nullptr, &list), 1);
    EXPECT_TRUE(fs::exists(dir.path() / "some/docs/sub/deep.txt"));
    EXPECT_FALSE(fs::exists(dir.path() / "some/top.txt"));

    const char* unknown[] = {"not\\there.txt"};
    const KelFileList bad{unknown, 1};
    EXPECT_EQ(extract("plain.7z", "some", KEL_PATHS_FULL, nullptr, nullptr, nullptr, nullptr, &bad), 0);
    EXPECT_EQ(kel().getLastArchiveError(0), KEL_ERROR_ILLEGAL_PATH);
}

int32_t gAnswer = 0;
std::string gExistingPath;
uint32_t gExistingSize = 0;

int32_t KEL_CALL answerOverwrite(const char* existing, uint32_t sizeLow, uint32_t, uint32_t, uint32_t, const char* entry,
                                 uint32_t, uint32_t, uint32_t, uint32_t) {
    if (std::strcmp(entry, "top.txt") == 0) {
        gExistingPath = existing;
        gExistingSize = sizeLow;
    }
    return gAnswer;
}

TEST_F(KelExports, OverwriteAnswers) {
    writeFile(dir.path() / "out/top.txt", "old");
    gAnswer = KEL_OVERWRITE_SKIP;
    ASSERT_EQ(extract("plain.7z", "out", KEL_PATHS_FULL, nullptr, answerOverwrite), 1);
    EXPECT_EQ(readFile(dir.path() / "out/top.txt"), "old");
    EXPECT_EQ(gExistingSize, 3u);
    EXPECT_EQ(gExistingPath, (dir / "out") + "\\top.txt");

    gAnswer = KEL_OVERWRITE_REPLACE;
    ASSERT_EQ(extract("plain.7z", "out", KEL_PATHS_FULL, nullptr, answerOverwrite), 1);
    EXPECT_EQ(readFile(dir.path() / "out/top.txt").size(), 1161u);

    gAnswer = KEL_OVERWRITE_CANCEL;
    EXPECT_EQ(extract("plain.7z", "out", KEL_PATHS_FULL, nullptr, answerOverwrite), 0);
    EXPECT_EQ(kel().getLastArchiveError(0), KEL_ERROR_CANCELLED);
}

int gProgressCalls = 0;
int32_t KEL_CALL cancelOnSecondFile(const char*, uint64_t, uint64_t total) {
    EXPECT_EQ(total, 1189u);
    return ++gProgressCalls < 2 ? 1 : 0;
}

TEST_F(KelExports, ProgressCallbackCancels) {
    gProgressCalls = 0;
    EXPECT_EQ(extract("plain.7z", "out", KEL_PATHS_FULL, cancelOnSecondFile), 0);
    EXPECT_EQ(kel().getLastArchiveError(0), KEL_ERROR_CANCELLED);
    EXPECT_EQ(gProgressCalls, 2);
    EXPECT_TRUE(fs::exists(dir.path() / "out/docs/readme.txt"));
    EXPECT_FALSE(fs::exists(dir.path() / "out/docs/sub/deep.txt"));
    EXPECT_FALSE(fs::exists(dir.path() / "out/top.txt"));
}

int32_t KEL_CALL giveSecret(char* buffer) {
    std::strcpy(buffer, "secret");
    return 1;
}

TEST_F(KelExports, EncryptedHeaderWithPasswordCallback) {
    EXPECT_EQ(extract("locked.7z", "out", KEL_PATHS_FULL, nullptr, nullptr, "wrong"), 0);
    EXPECT_EQ(kel().getLastArchiveError(0), KEL_ERROR_CANNOT_OPEN);
    ASSERT_EQ(extract("locked.7z", "out", KEL_PATHS_FULL, nullptr, nullptr, "wrong", giveSecret), 1)
        << kel().getLastArchiveError(0);
    EXPECT_EQ(readFile(dir.path() / "out/docs/readme.txt"), "read me first\r\n");
}

TEST_F(KelExports, LongPathsAndUnsafePaths) {
    std::u16string longName;
    for (int i = 0; i < 12; ++i) longName += u"a folder name of some length " + std::u16string(1, u'a' + i) + u"\\";
    longName += u"file.txt";
    writeFile(dir.path() / "long.7z", storedArchive({{longName, "far down"}}));
    ASSERT_EQ(extract("long.7z", "out", KEL_PATHS_FULL), 1) << kel().getLastArchiveError(0);
    std::wstring full = L"\\\\?\\" + (dir.path() / "out").wstring() + L"\\" + std::wstring(longName.begin(), longName.end());
    EXPECT_GT(full.size(), 300u);
    EXPECT_NE(GetFileAttributesW(full.c_str()), INVALID_FILE_ATTRIBUTES);

    writeFile(dir.path() / "unsafe.7z", storedArchive({{u"..\\..\\escaped.txt", "x"}}));
    EXPECT_EQ(extract("unsafe.7z", "out", KEL_PATHS_FULL), 0);
    EXPECT_EQ(kel().getLastArchiveError(0), KEL_ERROR_UNSAFE_PATH);
    EXPECT_FALSE(fs::exists(dir.path().parent_path() / "escaped.txt"));
}

// The engine's binding: extraction through ArchiveLibrary, and the bytes appended to a copy
// of the DLL (where the language file travels) read back from the loaded module.
TEST_F(KelExports, EngineArchiveLibrary) {
    const auto library = velmora::ArchiveLibrary::load(exeFolder());
    EXPECT_EQ(library.appendedData(), "");
    const auto result = library.extract(dir / "plain.7z", dir / "engine", "", true);
    ASSERT_TRUE(result.success) << result.errorText;
    EXPECT_EQ(readFile(dir.path() / "engine/docs/readme.txt"), "read me first\r\n");
    EXPECT_EQ(library.extract(dir / "missing.7z", dir / "engine", "", true).errorText, "The archive file was not found");

    fs::create_directories(dir.path() / "copy");
    writeFile(dir.path() / "copy/kel.lib", readFile(exeFolder() + "kel.lib") + "language file bytes");
    const auto copy = velmora::ArchiveLibrary::load((dir.path() / "copy").string());
    EXPECT_EQ(copy.appendedData(), "language file bytes");
    EXPECT_TRUE(copy.extract(dir / "locked.7z", dir / "copied", "secret", true).success);
    EXPECT_THROW(velmora::ArchiveLibrary::load((dir.path() / "nowhere").string()), std::runtime_error);
}

} // namespace
