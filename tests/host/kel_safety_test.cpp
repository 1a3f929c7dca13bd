// Hostile archives: entry paths that would leave the output folder, damaged and truncated
// archives, and CRC mismatches. None may write outside the output folder, crash, or report
// success with wrong data.
#include <gtest/gtest.h>

#include <set>

#include "kel_abi.h"
#include "kel_test_support.h"

using namespace kel_test;

namespace {

int32_t extract(const std::string& archive, const std::string& out, int32_t pathMode = KEL_PATHS_FULL,
                const char* password = nullptr) {
    return ExtractArchive(archive.c_str(), 1, out.c_str(), nullptr, pathMode, password, nullptr, nullptr, nullptr,
                          nullptr);
}

TEST(KelSafety, EntryPathsLeavingTheOutputFolderRejectTheWholeArchive) {
    const std::u16string names[] = {
        u"../evil.txt",         u"a/../../evil.txt",  u"..\\evil.txt",   u"/tmp/evil.txt",
        u"\\\\server\\share\\evil.txt", u"C:\\evil.txt", u"C:evil.txt",  u"a/.. /evil.txt",
        u"a/.../evil.txt",      u"a/b.txt:stream",    u"..",
    };
    for (const std::u16string& name : names) {
        for (int32_t mode : {KEL_PATHS_FULL, KEL_PATHS_NONE}) {
            TempDir dir;
            writeFile(dir.path() / "a.7z", storedArchive({{u"good.txt", "good"}, {name, "evil"}}));
            const std::string out = dir / "deep/out";
            EXPECT_EQ(extract(dir / "a.7z", out, mode), 0);
            EXPECT_EQ(GetLastArchiveError(0), KEL_ERROR_UNSAFE_PATH);
            // Nothing at all was written, inside or outside.
            std::set<std::string> written;
            for (const auto& e : fs::recursive_directory_iterator(dir.path())) written.insert(fs::relative(e.path(), dir.path()).string());
            EXPECT_EQ(written, std::set<std::string>{"a.7z"}) << std::string(name.begin(), name.end());
        }
    }
}

TEST(KelSafety, HarmlessOddPathsStayInside) {
    TempDir dir;
    writeFile(dir.path() / "a.7z", storedArchive({{u"a/./b.txt", "one"}, {u"a//c.txt", "two"}, {u"d\\e.txt", "three"}}));
    ASSERT_EQ(extract(dir / "a.7z", dir / "out"), 1) << GetLastArchiveError(0);
    EXPECT_EQ(readFile(dir.path() / "out/a/b.txt"), "one");
    EXPECT_EQ(readFile(dir.path() / "out/a/c.txt"), "two");
    EXPECT_EQ(readFile(dir.path() / "out/d/e.txt"), "three");
}

// A damaged byte in stored data: that file fails its CRC and is not left behind; the others
// are extracted; the call fails.
TEST(KelSafety, CrcMismatchFailsAndRemovesTheFile) {
    TempDir dir;
    std::string archive = storedArchive({{u"first.txt", "first file"}, {u"second.txt", "second file"}});
    archive[32 + 12] ^= 0x20;  // inside second.txt's bytes
    writeFile(dir.path() / "a.7z", archive);
    EXPECT_EQ(extract(dir / "a.7z", dir / "out"), 0);
    EXPECT_EQ(GetLastArchiveError(0), KEL_ERROR_CRC);
    EXPECT_EQ(readFile(dir.path() / "out/first.txt"), "first file");
    EXPECT_FALSE(fs::exists(dir.path() / "out/second.txt"));
}

// Every truncation and a spread of single-byte changes of a compressed archive (packed
// header, LZMA2 and BCJ data) either fail with an error code or give exactly the right files.
TEST(KelSafety, TruncatedAndDamagedArchivesFailCleanly) {
    TempDir dir;
    std::string text;
    for (int i = 0; i < 3000; ++i) text += std::to_string(i * i) + " squared\n";
    writeFile(dir.path() / "src/text.txt", text);
    fs::copy_file("/usr/bin/true", dir.path() / "src/true");
    ASSERT_TRUE(sevenZip(dir.path(), "a -mx5 good.7z src"));
    const std::string good = readFile(dir.path() / "good.7z");
    const auto expected = snapshot(dir.path() / "src");

    auto check = [&](const std::string& bytes, const std::string& what) {
        const std::string archive = dir / "bad.7z";
        const fs::path out = dir.path() / "out";
        fs::remove_all(out);
        writeFile(archive, bytes);
        KelListEntry* entries = nullptr;
        int32_t count = 0;
        const intptr_t h = OpenListArchive(archive.c_str(), 0, nullptr, 0, 0, 0, nullptr, &entries, &count);
        if (h != 0) CloseListArchive(h);
        if (extract(archive, out.string()) == 1) {
            EXPECT_TRUE(snapshot(out / "src") == expected) << what;
        } else {
            EXPECT_NE(GetLastArchiveError(0), 0) << what;
        }
    };
    for (std::size_t size = 0; size < good.size(); size += 1 + size / 16) check(good.substr(0, size), "cut at " + std::to_string(size));
    // Every byte of the signature header and of the (packed) header at the end; a spread over
    // the packed data between them.
    std::vector<std::size_t> positions;
    for (std::size_t at = 0; at < good.size(); ++at)
        if (at < 32 || at + 256 >= good.size() || at % (good.size() / 150) == 0) positions.push_back(at);
    for (std::size_t at : positions) {
        std::string bad = good;
        bad[at] = static_cast<char>(bad[at] ^ (1 << (at % 8)));
        check(bad, "byte " + std::to_string(at) + " changed");
    }
}

TEST(KelSafety, NotAnArchiveOrMissing) {
    TempDir dir;
    writeFile(dir.path() / "text.7z", "this is not an archive at all, only some text");
    KelListEntry* entries = nullptr;
    int32_t count = 0;
    const std::string text = dir / "text.7z", missing = dir / "missing.7z";
    EXPECT_EQ(OpenListArchive(text.c_str(), 0, nullptr, 0, 0, 0, nullptr, &entries, &count), 0);
    EXPECT_EQ(GetLastArchiveError(0), KEL_ERROR_CANNOT_OPEN);
    EXPECT_EQ(OpenListArchive(missing.c_str(), 0, nullptr, 0, 0, 0, nullptr, &entries, &count), 0);
    EXPECT_EQ(GetLastArchiveError(0), KEL_ERROR_NOT_FOUND);
    EXPECT_EQ(extract(missing, dir / "out"), 0);
    EXPECT_EQ(GetLastArchiveError(0), KEL_ERROR_NOT_FOUND);
    EXPECT_EQ(CloseListArchive(12345), 0);
    EXPECT_EQ(GetLastArchiveError(0), KEL_ERROR_INVALID_ARGUMENT);
}

} // namespace
