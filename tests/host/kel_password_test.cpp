// Passwords: the argument, the callback asked after a wrong or missing one, encrypted data
// and encrypted headers.
#include <gtest/gtest.h>

#include <cstring>

#include "kel_abi.h"
#include "kel_test_support.h"

using namespace kel_test;

namespace {

const char* gCallbackPassword = nullptr;
int gCallbackCalls = 0;

int32_t KEL_CALL passwordCallback(char* buffer) {
    ++gCallbackCalls;
    if (gCallbackPassword == nullptr) return 0;
    std::strcpy(buffer, gCallbackPassword);
    return 1;
}

class KelPassword : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(dir.path() / "src/secret.txt", "the secret text\n");
        writeFile(dir.path() / "src/more.bin", noise(20000, 3));
        ASSERT_TRUE(sevenZip(dir.path(), "a -pright data.7z src"));
        ASSERT_TRUE(sevenZip(dir.path(), "a -pright -mhe=on header.7z src"));
        gCallbackCalls = 0;
        gCallbackPassword = nullptr;
    }
    int32_t extract(const std::string& name, const char* password, KelPasswordCallback callback = nullptr) {
        const std::string archive = dir / name, out = dir / "out";
        return ExtractArchive(archive.c_str(), 1, out.c_str(), nullptr, KEL_PATHS_FULL, password, callback, nullptr,
                              nullptr, nullptr);
    }
    intptr_t list(const std::string& name, const char* password, KelPasswordCallback callback = nullptr) {
        const std::string archive = dir / name;
        KelListEntry* entries = nullptr;
        int32_t count = 0;
        const intptr_t h = OpenListArchive(archive.c_str(), 0, callback, 0, 0, 0, password, &entries, &count);
        if (h != 0) CloseListArchive(h);
        return h;
    }
    TempDir dir;
};

TEST_F(KelPassword, WrongOrMissingPasswordFailsWithoutLeavingFiles) {
    for (const char* password : {static_cast<const char*>(nullptr), "wrong"}) {
        EXPECT_NE(list("data.7z", password), 0);  // the header is not encrypted
        EXPECT_EQ(extract("data.7z", password), 0);
        EXPECT_EQ(GetLastArchiveError(0), KEL_ERROR_WRONG_PASSWORD);
        EXPECT_FALSE(fs::exists(dir.path() / "out/src/secret.txt"));

        EXPECT_EQ(list("header.7z", password), 0);
        EXPECT_EQ(GetLastArchiveError(0), KEL_ERROR_CANNOT_OPEN);
        EXPECT_EQ(extract("header.7z", password), 0);
        EXPECT_EQ(GetLastArchiveError(0), KEL_ERROR_CANNOT_OPEN);
    }
}

TEST_F(KelPassword, CallbackIsAskedAfterAWrongPassword) {
    gCallbackPassword = "right";
    EXPECT_NE(list("header.7z", "wrong", passwordCallback), 0);
    EXPECT_EQ(gCallbackCalls, 1);
    gCallbackCalls = 0;
    ASSERT_EQ(extract("data.7z", "wrong", passwordCallback), 1) << GetLastArchiveError(0);
    EXPECT_EQ(gCallbackCalls, 1);
    EXPECT_EQ(readFile(dir.path() / "out/src/secret.txt"), "the secret text\n");
}

TEST_F(KelPassword, CallbackThatKeepsOfferingAWrongPasswordIsNotAskedForever) {
    gCallbackPassword = "still wrong";
    EXPECT_EQ(extract("header.7z", nullptr, passwordCallback), 0);
    EXPECT_EQ(GetLastArchiveError(0), KEL_ERROR_CANNOT_OPEN);
    EXPECT_GT(gCallbackCalls, 1);
    EXPECT_LT(gCallbackCalls, 100);
}

TEST_F(KelPassword, RightPasswordOpensEncryptedHeader) {
    ASSERT_EQ(extract("header.7z", "right"), 1) << GetLastArchiveError(0);
    EXPECT_EQ(readFile(dir.path() / "out/src/more.bin"), noise(20000, 3));
    EXPECT_EQ(gCallbackCalls, 0);
}

} // namespace
