// Archives written by 7zz with every coder and level the library supports, extracted through
// the exported functions and compared with the files they were made from.
#include <gtest/gtest.h>

#include "kel_abi.h"
#include "kel_test_support.h"

using namespace kel_test;

namespace {

// Text, x86 executables (ELF and PE, for the BCJ and BCJ2 filters), incompressible bytes (for
// stored LZMA2 chunks), an empty file, an empty folder, a path longer than 260 characters and
// a name outside ASCII.
void makeSourceTree(const fs::path& src) {
    std::string text;
    for (int i = 0; i < 30000; ++i) text += "line " + std::to_string(i * 7919 % 100003) + " of the sample text\n";
    writeFile(src / "txt" / "lines.txt", text);
    writeFile(src / "txt" / "empty.txt", "");
    fs::create_directories(src / "empty folder");
    writeFile(src / "bin" / "noise.bin", noise(70000, 1));
    fs::copy_file("/usr/bin/ls", src / "bin" / "ls");
    if (fs::exists("/usr/x86_64-w64-mingw32/lib/zlib1.dll"))
        fs::copy_file("/usr/x86_64-w64-mingw32/lib/zlib1.dll", src / "bin" / "zlib1.dll");
    fs::path deep = src;
    for (int i = 0; i < 14; ++i) deep /= "a rather long folder " + std::to_string(i);
    writeFile(deep / "deep.txt", "at the bottom\n");
    writeFile(src / "Gr\xC3\xBC\xC3\x9F" "e.txt", "non-ASCII name\n");
}

struct Case {
    const char* name;
    const char* switches;
    const char* password;
};

class KelRoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(KelRoundTrip, ExtractsWhat7zzArchived) {
    const Case& c = GetParam();
    TempDir dir;
    makeSourceTree(dir.path() / "src");
    ASSERT_TRUE(sevenZip(dir.path(), std::string("a ") + c.switches + " a.7z src"));
    const std::string archive = dir / "a.7z";

    KelListEntry* entries = nullptr;
    int32_t count = 0;
    const intptr_t handle = OpenListArchive(archive.c_str(), 0, nullptr, 0, 0, 0, c.password, &entries, &count);
    ASSERT_NE(handle, 0) << GetLastArchiveError(0);
    EXPECT_EQ(count, static_cast<int32_t>(snapshot(dir.path() / "src").size() + 1));  // + "src" itself
    EXPECT_EQ(CloseListArchive(handle), 1);

    const std::string out = dir / "out";
    ASSERT_EQ(ExtractArchive(archive.c_str(), 1, out.c_str(), nullptr, KEL_PATHS_FULL, c.password, nullptr, nullptr,
                             nullptr, nullptr),
              1)
        << GetLastArchiveError(0);
    EXPECT_TRUE(snapshot(dir.path() / "src") == snapshot(fs::path(out) / "src"));
}

const Case kCases[] = {
    {"Store", "-mx0", nullptr},
    {"Fastest", "-mx1", nullptr},
    {"Normal", "-mx5", nullptr},
    {"UltraBcj2", "-mx9", nullptr},
    {"Lzma", "-m0=LZMA -mx7", nullptr},
    {"LzmaBcj2", "-m0=LZMA -mx9", nullptr},
    {"LzmaSmallWindow", "-m0=LZMA:d=64k", nullptr},
    {"Lzma2SmallWindow", "-m0=LZMA2:d=64k", nullptr},
    {"Lzma2Literals", "-m0=LZMA2:lc=4:lp=0:pb=0", nullptr},
    {"Arm64", "-mf=ARM64", nullptr},
    {"Arm", "-mf=ARM", nullptr},
    {"ArmThumb", "-mf=ARMT", nullptr},
    {"PowerPc", "-mf=PPC", nullptr},
    {"Sparc", "-mf=SPARC", nullptr},
    {"Delta", "-mf=Delta:4", nullptr},
    {"NonSolid", "-ms=off -mx3", nullptr},
    {"Deflate", "-m0=Deflate", nullptr},
    {"Deflate64", "-m0=Deflate64 -mx9", nullptr},
    {"BZip2", "-m0=BZip2:d=100k -mmt=2", nullptr},
    {"Password", "-psecret -mx5", "secret"},
    {"PasswordStored", "-psecret -mx0", "secret"},
    {"EncryptedHeader", "-psecret -mhe=on -mx5", "secret"},
    {"EncryptedHeaderUltra", "-psecret -mhe=on -mx9", "secret"},
};

INSTANTIATE_TEST_SUITE_P(Coders, KelRoundTrip, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// More than one 2 MiB LZMA2 chunk, with a window smaller than the data, in a solid block.
TEST(KelRoundTripLarge, Lzma2ChunksAndWrappingWindow) {
    TempDir dir;
    std::string text;
    for (int i = 0; text.size() < (5u << 20); ++i) text += std::to_string(i * 2654435761u) + (i % 7 ? " " : "\n");
    writeFile(dir.path() / "src" / "big.txt", text);
    writeFile(dir.path() / "src" / "after.bin", noise(100000, 2));
    ASSERT_TRUE(sevenZip(dir.path(), "a -mx5 -md=1m a.7z src"));
    const std::string archive = dir / "a.7z", out = dir / "out";
    ASSERT_EQ(ExtractArchive(archive.c_str(), 1, out.c_str(), nullptr, KEL_PATHS_FULL, nullptr, nullptr, nullptr, nullptr,
                             nullptr),
              1)
        << GetLastArchiveError(0);
    EXPECT_EQ(readFile(fs::path(out) / "src" / "big.txt"), text);
    EXPECT_EQ(readFile(fs::path(out) / "src" / "after.bin"), noise(100000, 2));
}

} // namespace
