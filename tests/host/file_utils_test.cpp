#include <gtest/gtest.h>

#include "platform/file_utils.h"

using namespace velmora::platform;

TEST(PathText, TrailingBackslash) {
    EXPECT_EQ(addTrailingBackslash("C:"), "C:\\");
    EXPECT_EQ(addTrailingBackslash("C:\\"), "C:\\");
    EXPECT_EQ(addTrailingBackslash(""), "");
    EXPECT_EQ(removeTrailingBackslash("C:\\Dir\\"), "C:\\Dir");
    EXPECT_EQ(removeTrailingBackslash("C:\\Dir\\\\"), "C:\\Dir\\");
    EXPECT_EQ(removeTrailingBackslash(""), "");
}

TEST(PathText, NameParts) {
    struct Case { const char* path; const char* ext; const char* stem; const char* folder; };
    const Case cases[] = {
        {R"(C:\Dir\setup.exe)", "exe", "setup", R"(C:\Dir\)"},
        {R"(C:\Dir.v2\file.tar.gz)", "gz", "file.tar", R"(C:\Dir.v2\)"},
        {R"(C:\Dir\noext)", "", "noext", R"(C:\Dir\)"},
        {R"(a.b.a.b)", "b", "a.a.b", ""},   // the first occurrence of ".b" goes
        {R"(C:x.txt)", "txt", "x", "C:"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(extension(c.path), c.ext) << c.path;
        EXPECT_EQ(nameWithoutExtension(c.path), c.stem) << c.path;
        EXPECT_EQ(folderPart(c.path), c.folder) << c.path;
    }
}
