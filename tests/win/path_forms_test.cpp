// Long and short path forms, and ANSI forms of paths the code page cannot express, on real
// folders the test creates in the temporary folder.
#include "platform/ansi_path.h"
#include "platform/system_info.h"

#include "core/text.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <string>

using namespace velmora;
using namespace velmora::platform;

namespace {

class PathFormsTest : public testing::Test {
protected:
    void SetUp() override {
        temp_ = system_->tempFolder();
        folder_ = temp_ + "Velmora long folder name for paths";
        file_ = folder_ + "\\A file with a long name.text";
        CreateDirectoryA(folder_.c_str(), nullptr);
        std::ofstream(file_) << "x";
    }
    void TearDown() override {
        DeleteFileA(file_.c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    std::unique_ptr<SystemInfo> system_ = createSystemInfo();
    std::string temp_, folder_, file_;
};

} // namespace

TEST_F(PathFormsTest, ShortAndLongRoundTrip) {
    const std::string shortFile = system_->shortPath(file_);
    std::printf("    short form: %s\n", shortFile.c_str());
    ASSERT_FALSE(shortFile.empty());
    EXPECT_NE(shortFile, file_);
    EXPECT_NE(shortFile.find('~'), std::string::npos);
    EXPECT_EQ(shortFile.find(' '), std::string::npos);
    const std::string longFile = system_->longPath(shortFile);
    EXPECT_TRUE(text::equalsIgnoreCase(longFile, file_)) << longFile;
    // The names the test created come back as stored, whatever case they were asked in.
    const std::string tail = R"(\Velmora long folder name for paths\A file with a long name.text)";
    EXPECT_EQ(longFile.substr(longFile.size() - tail.size()), tail);
    EXPECT_EQ(system_->longPath("\"" + text::upper(file_) + "\""), longFile);
    EXPECT_EQ(system_->longPath(folder_ + "\\"), system_->longPath(folder_));
}

TEST_F(PathFormsTest, MissingPaths) {
    const std::string shortFolder = system_->shortPath(folder_);
    const std::string missing = shortFolder + "\\Not There\\file.txt";
    EXPECT_EQ(system_->longPath(missing), missing);
    EXPECT_EQ(system_->shortPath(folder_ + "\\Not There"), "");
}

TEST_F(PathFormsTest, AnsiFormOfAFolderTheCodePageCannotExpress) {
    // U+4E2D U+6587 have no form in the single-byte code pages.
    const std::wstring wideTemp(temp_.begin(), temp_.end());
    const std::wstring wide = wideTemp + L"Velmora \u4E2D\u6587 folder";
    ASSERT_TRUE(CreateDirectoryW(wide.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    const std::u16string_view wideView(reinterpret_cast<const char16_t*>(wide.data()), wide.size());
    const std::string ansi = ansiPath(wideView);
    RemoveDirectoryW(wide.c_str());
    std::printf("    ANSI form: %s\n", ansi.c_str());
    if (GetACP() == CP_UTF8) GTEST_SKIP() << "the UTF-8 code page expresses every path";
    ASSERT_FALSE(ansi.empty());
    EXPECT_EQ(ansi.find('?'), std::string::npos);
    EXPECT_TRUE(text::startsWithIgnoreCase(ansi, temp_)) << ansi;
    // The short form names the same folder (it was removed above, so recreate and compare).
    ASSERT_TRUE(CreateDirectoryW(wide.c_str(), nullptr));
    const DWORD attributes = GetFileAttributesA(ansi.c_str());
    RemoveDirectoryW(wide.c_str());
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);

    const std::u16string ascii = u"C:\\Plain ASCII\\path";
    EXPECT_EQ(ansiPath(ascii), R"(C:\Plain ASCII\path)");
    EXPECT_EQ(ansiPath(wideView), "") << "a path with no ANSI form and no short form";
}
