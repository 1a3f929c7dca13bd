// The engine's extract operation over the archive library's exports (bound here to the
// natively built functions): list, copy the paths, close, extract; the error texts; the
// overwrite and progress answers; the bytes appended after a library image.
#include <gtest/gtest.h>

#include "kel_test_support.h"
#include "media/archive_library.h"

using namespace kel_test;
using velmora::ArchiveExtractRequest;

namespace {

velmora::ArchiveLibraryExports nativeExports() {
    return {OpenListArchive, CloseListArchive, ExtractArchive, GetLastArchiveError};
}

ArchiveExtractRequest request(const TempDir& dir, const std::string& archive, bool overwrite = true) {
    ArchiveExtractRequest r;
    r.archivePath = dir / archive;
    r.outputFolder = dir / "out";
    r.overwrite = overwrite;
    return r;
}

TEST(KelEngineBinding, ListErrorTexts) {
    const std::pair<int, const char*> cases[] = {
        {1001, "The archive file was not found"},
        {1002, "Illegal path used in a wildcard expression"},
        {1003, "The archive cannot be opened: unsupported archive or incorrect password"},
        {1004, "General failure opening archive"},
        {0, "General failure opening archive"},
    };
    for (const auto& [code, text] : cases) EXPECT_EQ(velmora::archiveListErrorText(code), text) << code;
}

TEST(KelEngineBinding, ExtractsKeepingOrDroppingFolders) {
    TempDir dir;
    writeFile(dir.path() / "src/a/one.txt", "one");
    writeFile(dir.path() / "src/b/two.txt", "two");
    ASSERT_TRUE(sevenZip(dir.path(), "a -mx5 a.7z src"));

    std::vector<std::string> reported;
    ArchiveExtractRequest r = request(dir, "a.7z");
    r.progress = [&](const std::string& path, std::uint64_t, std::uint64_t total) {
        reported.push_back(path);
        EXPECT_EQ(total, 6u);
        return true;
    };
    const auto result = velmora::extractArchive(nativeExports(), r);
    ASSERT_TRUE(result.success) << result.errorText;
    EXPECT_EQ(result.errorText, "");
    EXPECT_EQ(readFile(dir.path() / "out/src/a/one.txt"), "one");
    EXPECT_EQ(reported, (std::vector<std::string>{"src\\a\\one.txt", "src\\b\\two.txt"}));

    r.outputFolder = dir / "flat";
    r.keepPaths = false;
    ASSERT_TRUE(velmora::extractArchive(nativeExports(), r).success);
    EXPECT_EQ(readFile(dir.path() / "flat/two.txt"), "two");
    EXPECT_FALSE(fs::exists(dir.path() / "flat/src"));
}

TEST(KelEngineBinding, OverwriteAnswer) {
    TempDir dir;
    writeFile(dir.path() / "src/file.txt", "from the archive");
    ASSERT_TRUE(sevenZip(dir.path(), "a a.7z src"));
    writeFile(dir.path() / "out/src/file.txt", "already there");

    ASSERT_TRUE(velmora::extractArchive(nativeExports(), request(dir, "a.7z", false)).success);
    EXPECT_EQ(readFile(dir.path() / "out/src/file.txt"), "already there");
    ASSERT_TRUE(velmora::extractArchive(nativeExports(), request(dir, "a.7z", true)).success);
    EXPECT_EQ(readFile(dir.path() / "out/src/file.txt"), "from the archive");
}

TEST(KelEngineBinding, FailureTexts) {
    TempDir dir;
    writeFile(dir.path() / "src/file.txt", "text");
    ASSERT_TRUE(sevenZip(dir.path(), "a -psecret -mhe=on locked.7z src"));
    writeFile(dir.path() / "unsafe.7z", storedArchive({{u"../escape.txt", "x"}}));
    writeFile(dir.path() / "plain.7z", storedArchive({{u"a.txt", "a"}, {u"b.txt", "b"}}));

    EXPECT_EQ(velmora::extractArchive(nativeExports(), request(dir, "missing.7z")).errorText,
              "The archive file was not found");
    ArchiveExtractRequest wrong = request(dir, "locked.7z");
    wrong.password = "guess";
    EXPECT_EQ(velmora::extractArchive(nativeExports(), wrong).errorText,
              "The archive cannot be opened: unsupported archive or incorrect password");
    wrong.password = "secret";
    EXPECT_TRUE(velmora::extractArchive(nativeExports(), wrong).success);
    EXPECT_EQ(velmora::extractArchive(nativeExports(), request(dir, "unsafe.7z")).errorText, "#1007");

    ArchiveExtractRequest cancelled = request(dir, "plain.7z");
    cancelled.outputFolder = dir / "cancelled";
    cancelled.progress = [](const std::string&, std::uint64_t, std::uint64_t) { return false; };
    const auto result = velmora::extractArchive(nativeExports(), cancelled);
    EXPECT_FALSE(result.success);
    EXPECT_EQ(result.errorText, "#1008");
    EXPECT_FALSE(fs::exists(dir.path() / "cancelled/a.txt"));
}

// A minimal PE image: headers, one section ending at 0x400, then appended bytes.
TEST(KelEngineBinding, BytesAfterImage) {
    std::string image(0x400, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    image[0x3C] = 0x40;
    image.replace(0x40, 4, std::string("PE\0\0", 4));
    image[0x46] = 1;     // one section
    image[0x54] = 0xF0;  // optional header size of a PE32+ image
    const std::size_t section = 0x40 + 24 + 0xF0;
    image[section + 17] = 0x02;  // SizeOfRawData 0x200
    image[section + 21] = 0x02;  // PointerToRawData 0x200
    EXPECT_EQ(velmora::bytesAfterImage(image), "");
    EXPECT_EQ(velmora::bytesAfterImage(image + "lang.loc bytes"), "lang.loc bytes");
}

} // namespace
