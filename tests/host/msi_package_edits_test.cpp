// Edits of the package before a run: the SQL given to the installer, the summary information,
// component rows, and the routines around a package.
#include <gtest/gtest.h>

#include "msi/package_edits.h"
#include "msi_fakes.h"

using namespace velmora;
using namespace velmora::msi;
using velmora::testing::FakeInstallerApi;

namespace {

const char* kPackage = R"(C:\Temp\kel1\setup.msi)";

std::function<std::string()> counter() {
    return [n = 0]() mutable { return "{guid-" + std::to_string(++n) + "}"; };
}

} // namespace

TEST(PackageEdits, PendingPropertiesInsertThenUpdateEscapedAndDiscarded) {
    FakeInstallerApi api;
    PendingProperties pending;
    pending.QueuePendingProperty("A1234ABCD", "FALSE");
    pending.QueuePendingProperty("A1234ABCD", "TRUE");
    pending.QueuePendingProperty("P1234ABCD_1", "It's\r\nhere");
    PackageEditState state;
    WritePendingProperties(api, kPackage, pending, state, counter());
    const std::vector<std::string> want = {
        "INSERT INTO `Property` ( `Property` , `Value` ) VALUES ( 'A1234ABCD' , 'FALSE' )",
        "UPDATE `Property` SET `Value`='FALSE' WHERE `Property`='A1234ABCD'",
        "INSERT INTO `Property` ( `Property` , `Value` ) VALUES ( 'A1234ABCD' , 'TRUE' )",
        "UPDATE `Property` SET `Value`='TRUE' WHERE `Property`='A1234ABCD'",
        "INSERT INTO `Property` ( `Property` , `Value` ) VALUES ( 'P1234ABCD_1' , 'It$QUOTE$s\r\nhere' )",
        "UPDATE `Property` SET `Value`='It$QUOTE$s\r\nhere' WHERE `Property`='P1234ABCD_1'",
    };
    EXPECT_EQ(api.sql, want);
    EXPECT_EQ(api.commits, 1);
    EXPECT_TRUE(pending.empty());
    EXPECT_EQ(api.openHandles, 0);
    EXPECT_TRUE(api.called(std::string("OpenDatabase:") + kPackage + ":2"));

    // Nothing pending: the package is not opened.
    FakeInstallerApi untouched;
    WritePendingProperties(untouched, kPackage, pending, state, counter());
    EXPECT_TRUE(untouched.calls.empty());
}

TEST(PackageEdits, NewInstanceRenewsIdsOnceAndWritesCodesAtEveryRun) {
    FakeInstallerApi api;
    api.tables["SELECT `ComponentId` FROM `Component`"] = {{std::string("{OLD-1}")}, {std::string("{OLD-2}")}};
    PackageEditState state;
    state.instanceTransform = true;
    state.productCode = "{NEW-PRODUCT}";
    state.revisionCode = "{NEW-REVISION}";
    PendingProperties pending;
    pending.QueuePendingProperty("MSINTEMP", R"(C:\Temp\)");
    pending.QueuePendingProperty("A1", "TRUE");
    WritePendingProperties(api, kPackage, pending, state, counter());
    const auto& rows = api.tables["SELECT `ComponentId` FROM `Component`"];
    EXPECT_EQ(std::get<std::string>(rows[0][0]), "{GUID-1}");
    EXPECT_EQ(std::get<std::string>(rows[1][0]), "{GUID-2}");
    EXPECT_TRUE(state.componentIdsRenewed);
    EXPECT_EQ(api.summaryText[kSummaryRevisionNumber], "{NEW-REVISION}");
    // The product code is written just before the last entry's insert.
    const std::vector<std::string> tail(api.sql.end() - 3, api.sql.end());
    EXPECT_EQ(tail[0], "UPDATE `Property` SET `Value`='{NEW-PRODUCT}' WHERE `Property`='ProductCode'");
    EXPECT_EQ(tail[1], "INSERT INTO `Property` ( `Property` , `Value` ) VALUES ( 'A1' , 'TRUE' )");

    // The second run writes the codes again but keeps the component ids.
    pending.QueuePendingProperty("MSINTEMP", R"(C:\Temp\)");
    state.revisionCode = "{SECOND}";
    WritePendingProperties(api, kPackage, pending, state, counter());
    EXPECT_EQ(std::get<std::string>(api.tables["SELECT `ComponentId` FROM `Component`"][0][0]), "{GUID-1}");
    EXPECT_EQ(api.summaryText[kSummaryRevisionNumber], "{SECOND}");
    EXPECT_EQ(api.openHandles, 0);
}

TEST(PackageEdits, PlatformTemplateAndComponentBit) {
    struct Case { const char* templ; const char* mode; const char* want; int attributes[2]; };
    const Case cases[] = {
        {"Intel;1033", "x64", "x64;1033", {0x100, 0x104}},
        {"Intel;1033", "Win32", "Intel;1033", {0x100, 0x004}},     // matched: components untouched
        {"x64;1033", "Win32", "Intel;1033", {0x000, 0x104}},       // the bit is toggled, not cleared
        {"x64;1033", "x64", "x64;1033", {0x100, 0x004}},
        {"Intel64;1031,1033", "ia64", "Intel64;1031,1033", {0x100, 0x004}},
        {"Intel", "x64", "x64;Intel", {0x100, 0x104}},              // no ";": the whole text for both parts
        {"Intel;1033", "Other", ";1033", {0x100, 0x104}},
    };
    for (const auto& c : cases) {
        FakeInstallerApi api;
        api.summaryText[kSummaryTemplate] = c.templ;
        api.tables["SELECT `Attributes` FROM `Component`"] = {{0x100}, {0x004}};
        SetPackagePlatform(api, kPackage, c.mode);
        EXPECT_EQ(api.summaryText[kSummaryTemplate], c.want) << c.templ << " " << c.mode;
        const auto& rows = api.tables["SELECT `Attributes` FROM `Component`"];
        EXPECT_EQ(std::get<int>(rows[0][0]), c.attributes[0]) << c.templ << " " << c.mode;
        EXPECT_EQ(std::get<int>(rows[1][0]), c.attributes[1]) << c.templ << " " << c.mode;
        EXPECT_EQ(api.openHandles, 0);
    }
    FakeInstallerApi failing;
    failing.failOpen = true;
    SetPackagePlatform(failing, kPackage, "x64");
    EXPECT_TRUE(failing.summaryText.empty());
}

TEST(PackageEdits, WordCountAndTranslations) {
    FakeInstallerApi api;
    SetPackageWordCount(api, kPackage);
    EXPECT_EQ(api.summaryNumber[kSummaryWordCount], 8);
    EXPECT_TRUE(api.called("SummaryInfoPersist"));

    FakeInstallerApi shortcuts;
    TranslatePackageShortcuts(shortcuts, kPackage, TextList{"PAB_1", "Exampl~1|Example Viewer", "Shows it"});
    EXPECT_EQ(shortcuts.sql, (std::vector<std::string>{
                                 "UPDATE `Shortcut` SET `Name`='Exampl~1|Example Viewer' WHERE `Directory_`='PAB_1'",
                                 "UPDATE `Shortcut` SET `Description`='Shows it' WHERE `Directory_`='PAB_1'"}));
    FakeInstallerApi types;
    TranslatePackageFileTypes(types, kPackage, TextList{"Sample.Doc", "Beispiel.Dok", "Dokument"});
    EXPECT_EQ(types.sql, (std::vector<std::string>{
                             "UPDATE `ProgId` SET `Description`='Dokument' WHERE `ProgId`='Sample.Doc'",
                             "UPDATE `ProgId` SET `ProgId`='Beispiel.Dok' WHERE `ProgId`='Sample.Doc'"}));
}

TEST(PackageEdits, StaleTempPackagesOfTheProductOnly) {
    const std::vector<std::string> names = {
        R"(C:\Temp\{ABCD-1}\a.msi)", R"(C:\Temp\other.msi)", R"(C:\Temp\x{ABCD-1}y.msi)", R"(C:\Temp\{abcd-1}.msi)"};
    EXPECT_EQ(StaleTempPackageValues(names, "{abcd-1}"),
              (std::vector<std::string>{R"(C:\Temp\x{ABCD-1}y.msi)", R"(C:\Temp\{ABCD-1}\a.msi)"}));
}

TEST(PackageEdits, AssemblyRemoval) {
    const std::string assemblies = "SELECT * FROM  `MsiAssembly`";
    auto query = [](const char* component, const char* name) {
        return std::string("SELECT `Value` FROM  `MsiAssemblyName` WHERE `Component_`='") + component + "' AND `Name`='" +
               name + "'";
    };
    FakeInstallerApi api;
    api.tables[assemblies] = {{std::string("CompA")}, {std::string("CompB")}};
    api.tables[query("CompA", "Name")] = {{std::string("Sample.Core")}};
    api.tables[query("CompA", "Version")] = {{std::string("1.0.0.0")}};
    api.tables[query("CompB", "Name")] = {{std::string("Sample.Ui")}};
    api.tables[query("CompB", "Version")] = {{std::string("2.0.0.0")}};
    std::vector<std::string> runs;
    auto run = [&](const std::string& tool, const std::string& params) {
        runs.push_back(tool + " " + params);
        return static_cast<int>(runs.size()) + 10;
    };
    EXPECT_EQ(RemovePackageAssemblies(api, kPackage, "installutil.exe", run), 12);
    EXPECT_EQ(runs, (std::vector<std::string>{"installutil.exe /u Sample.Core,Version=1.0.0.0",
                                               "installutil.exe /u Sample.Ui,Version=2.0.0.0"}));
    EXPECT_TRUE(api.called(std::string("OpenDatabase:") + kPackage + ":0"));

    // A missing Version row: the lists differ and nothing runs.
    api.tables[query("CompB", "Version")].clear();
    runs.clear();
    EXPECT_EQ(RemovePackageAssemblies(api, kPackage, "installutil.exe", run), 0);
    EXPECT_TRUE(runs.empty());
    // No MsiAssembly table.
    FakeInstallerApi empty;
    EXPECT_EQ(RemovePackageAssemblies(empty, kPackage, "installutil.exe", run), 0);
    EXPECT_TRUE(runs.empty());
}
