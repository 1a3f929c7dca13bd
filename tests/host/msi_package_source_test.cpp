// The package the builder generates for a project: components guarded by the activation
// property, run-time values from the exported properties, directories keyed by them, and the
// tables added by table files.
#include <gtest/gtest.h>

#include <filesystem>

#include "builder/package_builder.h"
#include "builder/setup_writer.h"

using namespace velmora::builder;
namespace fs = std::filesystem;

namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string tableText(const PackageSource& source, const std::string& name) {
    for (const auto& [file, text] : source.tables)
        if (file == name) return text;
    return {};
}

} // namespace

TEST(PackageSource, StatementsBecomeGuardedRows) {
    const fs::path dir = fs::temp_directory_path() / "velmora_package_source_test";
    fs::create_directories(dir / "files");
    writeFile((dir / "files" / "a.txt").string(), "a");
    const Project project = parseProject(R"([product]
title: Source Test
product-code: {11111111-2222-4333-8444-555555555555}
revision-code: {22222222-2222-4333-8444-555555555555}
[script]
Install Files
  header: 0000000A
  | files
  | Main
  | $TARGETDIR$
Write Registry
  header: 0000000B
  | 2
  | REG_DWORD
  | Software\Fixed
  | $NAME$
  | 7
Create Shortcut
  header: 0000000C
  | $TARGETDIR$\a.txt
  | Example Viewer
  | $TARGETDIR$\Menu
  | Shows it
  | 
  | $TARGETDIR$
Delete Files
  header: 0000000D
  | $TARGETDIR$
  | *.tmp
  | FALSE
  | TRUE
Edit INI File
  header: 0000000E
  | $TARGETDIR$
  | app.ini
  | CREATE
  | Section
  | Key
  | Value
Set Environment
  header: 0000000F
  | APPHOME
  | $TARGETDIR$
  | USER
Copy/Move Local Files
  header: 00000010
  | $SOURCE$
  | *.dat
  | $TARGETDIR$
  | TRUE
)",
                                         dir.string());
    const PackageSource source = describePackage(project, dir.string());
    const std::string& wxs = source.wxs;
    // Install Files: a directory keyed by the exported folder property, the files under it.
    EXPECT_TRUE(has(wxs, "<Directory Id=\"P0000000A_1\" Name=\".\">")) << wxs;
    EXPECT_TRUE(has(wxs, "Name=\"a.txt\" Source=\"files/a.txt\"")) << wxs;
    EXPECT_TRUE(has(wxs, "<Property Id=\"A0000000A\" Value=\"FALSE\"/>"));
    // Registry: fixed parts stay, values with references come from the exported properties.
    EXPECT_TRUE(has(wxs, "Root=\"HKLM\" Key=\"Software\\Fixed\" Name=\"[P0000000B_2]\" Value=\"7\" Type=\"integer\"")) << wxs;
    // Shortcut: folder _1, target _2, no arguments, working folder _4.
    EXPECT_TRUE(has(wxs, "Directory=\"P0000000C_1\" Target=\"[P0000000C_2]\" Description=\"Shows it\" WorkingDirectory=\"P0000000C_4\"/>"))
        << wxs;
    EXPECT_EQ(std::count(source.queries.begin(), source.queries.end(),
                         "UPDATE `Shortcut` SET `Name`='Exampl~1|Example Viewer' WHERE `Shortcut`='S0000000C'"),
              1);
    for (const char* h : {"0000000A", "0000000B", "0000000C", "0000000D", "0000000E", "0000000F", "00000010"})
        EXPECT_EQ(std::count(source.queries.begin(), source.queries.end(),
                             "UPDATE `Component` SET `Condition`='A" + std::string(h) + "=\"TRUE\"' WHERE `Component`='C" + h + "'"),
                  1)
            << h;
    EXPECT_TRUE(has(tableText(source, "RemoveFile.idt"), "R0000000D\tC0000000D\t*.tmp\tP0000000D_1\t2\n"));
    EXPECT_TRUE(has(tableText(source, "IniFile.idt"),
                    "I0000000E\tapp.ini\tP0000000E_1\t[P0000000E_2]\t[P0000000E_3]\t[P0000000E_4]\t1\tC0000000E\n"));
    EXPECT_TRUE(has(tableText(source, "Environment.idt"), "E0000000F\t=-APPHOME\t[P0000000F_1]\tC0000000F\n"));
    EXPECT_TRUE(has(tableText(source, "MoveFile.idt"), "M00000010\tC00000010\t*.dat\t\tP00000010_1\tP00000010_2\t1\n"));
    EXPECT_TRUE(has(source.queries.back(), "'WriteEnvironmentStrings',5200"));
    fs::remove_all(dir);
}

TEST(PackageSource, StatementsThePackageCannotExpress) {
    const auto build = [](const std::string& script) {
        return describePackage(parseProject("[product]\ntitle: T\nproduct-code: {11111111-2222-4333-8444-555555555555}\n"
                                            "[script]\n" + script,
                                            fs::temp_directory_path().string()));
    };
    EXPECT_THROW(build("Write Registry\n  | 4\n  | REG_SZ\n  | K\n  | N\n  | V\n"), ProjectError);
    EXPECT_THROW(build("Install Files\n  | no-such-folder-here\n  | Main\n  | $TARGETDIR$\n"), ProjectError);
    // A commented statement makes no rows.
    EXPECT_FALSE(has(build("Create Folder\n  commented\n  | $TARGETDIR$\n").wxs, "<Component"));
}
