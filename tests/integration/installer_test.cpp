// The sample product (samples/installer) installed, repaired and removed through the real
// msi.dll under wine64, silently; a package whose custom action fails; a cancelled run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "builder/setup_writer.h"
#include "wine_setup.h"

using namespace velmora::testing;
namespace fs = std::filesystem;

namespace {

const std::string kProductCode = "{3C2B1A09-8D7E-4F6A-9B5C-4D3E2F1A0B9C}";
const std::string kSampleKey = R"(HKLM\Software\Wow6432Node\Velmora\InstallerSample)";

std::string sampleProject(const std::string& productCode = kProductCode) {
    std::string text = velmora::builder::readFile(std::string(VELMORA_SOURCE_DIR) + "/samples/installer/product.vmp");
    return std::regex_replace(text, std::regex(R"(product-code: \{[^}]*\})"), "product-code: " + productCode);
}

// A setup of the sample in a fresh test folder, with the sample's files beside its project.
WineSetup sampleSetup(const std::string& name, const std::string& productCode = kProductCode) {
    WineSetup setup(name);
    fs::copy(std::string(VELMORA_SOURCE_DIR) + "/samples/installer/files", setup.path("files"));
    setup.build(sampleProject(productCode));
    return setup;
}

std::string readText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// Runs the sample silently; its exit code. Wine's desktop-menu helper is kept from starting:
// it would inherit the run's current folder (the support folder) and keep it from being removed.
int runSample(const WineSetup& setup, std::vector<std::string> args, std::vector<std::pair<std::string, std::string>> env = {}) {
    fs::remove(setup.path("result.txt"));
    args.insert(args.begin(), "/s");
    env.emplace_back("WINEDLLOVERRIDES", "mscoree,mshtml=;winemenubuilder.exe=d");
    return setup.run(args, env);
}

// The line the sample writes after its Apply Changes.
std::string outcome(const WineSetup& setup) {
    std::string text = readText(setup.path("result.txt"));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;   // one line: the file is removed before every run
}

int shell(const std::string& command) { return velmora::builder::runProgram({"sh", "-c", command}); }

// Runs a Windows program in the test prefix; its exit code.
int wine(const std::vector<std::string>& args) {
    std::vector<std::string> command = {VELMORA_WINE_RUN};
    command.insert(command.end(), args.begin(), args.end());
    return velmora::builder::runProgram(command);
}

// The values of a registry key as "reg export" writes them (decoded), empty when it is missing.
std::string registryKey(const WineSetup& setup, const std::string& key) {
    fs::remove(setup.path("key.reg"));
    if (wine({"reg", "export", key, setup.windowsPath("key.reg"), "/y"}) != 0) return {};
    std::string text;
    for (const std::string& line : readTraceLog(setup.path("key.reg"))) text += line + "\n";
    return text;
}

std::string prefixPath() {
    const char* env = std::getenv("WINEPREFIX");
    return env && *env ? env : std::string(VELMORA_SOURCE_DIR) + "/build/wineprefix";
}

// The Property table of the package Windows Installer keeps for the product ("" when none).
std::string cachedPackageProperties(const WineSetup& setup) {
    const std::string folder = prefixPath() + "/drive_c/windows/Installer";
    if (!fs::exists(folder)) return {};
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".msi") continue;
        const std::string out = setup.path("properties.txt");
        shell("msiinfo export '" + entry.path().string() + "' Property > '" + out + "' 2>/dev/null");
        const std::string table = readText(out);
        if (table.find("ProductCode\t" + kProductCode) != std::string::npos) return table;
    }
    return {};
}

} // namespace

TEST(Installer, InstallRepairAndRemoveTheSample) {
    WineSetup setup = sampleSetup("installer_lifecycle");
    const std::string target = setup.windowsPath("Target");
    // 1. First installation.
    ASSERT_EQ(runSample(setup, {"TARGETDIR=" + target, "/l=" + setup.windowsPath("install.log")}), 0);
    ASSERT_EQ(outcome(setup), "RESULT=COMPLETE LASTERROR=");
    EXPECT_TRUE(fs::exists(setup.path("Target/readme.txt")));
    EXPECT_TRUE(fs::exists(setup.path("Target/tool.dat")));
    EXPECT_TRUE(fs::exists(setup.path("Target/Shortcuts/Sample Readme.lnk")));
    const std::string values = registryKey(setup, kSampleKey);
    EXPECT_NE(values.find("\"Edition\"=\"Sample\""), std::string::npos) << values;
    std::string escapedTarget = target;
    escapedTarget = std::regex_replace(escapedTarget, std::regex(R"(\\)"), R"(\\)");
    EXPECT_NE(values.find("\"InstallDir\"=\"" + escapedTarget + "\""), std::string::npos) << values;
    // The package the installer keeps carries the properties the script queued.
    const std::string properties = cachedPackageProperties(setup);
    EXPECT_NE(properties.find("A1A2B3C4D\tTRUE"), std::string::npos) << properties;
    EXPECT_NE(properties.find("P1A2B3C4D_1\t" + target), std::string::npos) << properties;
    EXPECT_NE(properties.find("A4D5E6F70\tTRUE"), std::string::npos) << properties;
    EXPECT_NE(properties.find("MSINTEMP\t"), std::string::npos) << properties;
    // The log holds the engine's block and the installer's own lines.
    const auto lines = readTraceLog(setup.path("install.log"));
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](const std::string& l) { return l.rfind("=== Velmora Installer Sample: Applying Changes @", 0) == 0; }),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "*** GUID ***"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), kProductCode), lines.end());
    EXPECT_EQ(lines.back(), "</Velmora>");
    EXPECT_NE(readText(setup.path("install.log")).find(kProductCode), std::string::npos);   // ANSI: the installer's

    // 2. A repair run puts back a missing file.
    fs::remove(setup.path("Target/tool.dat"));
    ASSERT_EQ(runSample(setup, {"TARGETDIR=" + target}), 0);
    EXPECT_EQ(outcome(setup), "RESULT=COMPLETE LASTERROR=");
    EXPECT_TRUE(fs::exists(setup.path("Target/tool.dat")));

    // 3. Removal: the same statements run again, so the package knows what to remove.
    ASSERT_EQ(runSample(setup, {"TARGETDIR=" + target, "REMOVE=TRUE", "MODIFY=FALSE"}), 0);
    EXPECT_EQ(outcome(setup), "RESULT=COMPLETE LASTERROR=");
    EXPECT_FALSE(fs::exists(setup.path("Target/readme.txt")));
    EXPECT_FALSE(fs::exists(setup.path("Target/tool.dat")));
    EXPECT_FALSE(fs::exists(setup.path("Target/Shortcuts/Sample Readme.lnk")));
    const std::string after = registryKey(setup, kSampleKey);
    EXPECT_EQ(after.find("InstallDir"), std::string::npos) << after;
    EXPECT_EQ(after.find("Edition"), std::string::npos) << after;
    EXPECT_TRUE(WineSetup::kelEntries().empty());
}

TEST(Installer, FailingCustomActionGivesErrorWithTheSystemsText) {
    WineSetup setup = sampleSetup("installer_failing", "{5E4D3C2B-1A09-4F8E-9D7C-6B5A4F3E2D1C}");
    // A custom action that shows an error and ends the installation.
    ASSERT_EQ(shell("msibuild '" + setup.path("setup.msi") +
                    "' -q \"INSERT INTO \\`CustomAction\\` (\\`Action\\`,\\`Type\\`,\\`Source\\`,\\`Target\\`) VALUES "
                    "('FailNow',19,'','The sample refuses to install')\" -q \"INSERT INTO \\`InstallExecuteSequence\\` "
                    "(\\`Action\\`,\\`Sequence\\`) VALUES ('FailNow',6550)\""),
              0);
    ASSERT_EQ(runSample(setup, {"TARGETDIR=" + setup.windowsPath("Target")}), 0);
    // 1603 as the system words it (Wine's message table: "Installation failure.").
    EXPECT_EQ(outcome(setup), "RESULT=ERROR LASTERROR=Installation failure");
    EXPECT_FALSE(fs::exists(setup.path("Target/readme.txt")));   // rolled back
}

TEST(Installer, CancelOfTheProgressPageGivesCancel) {
    // Cancelled before the installer is called: nothing is installed.
    WineSetup early = sampleSetup("installer_cancel_start", "{6F5E4D3C-2B1A-4F9E-8D7C-5B4A3F2E1D0C}");
    const std::string target = early.windowsPath("Target");
    ASSERT_EQ(runSample(early, {"TARGETDIR=" + target}, {{"VELMORA_CANCEL_AT", "start"}}), 0);
    EXPECT_EQ(outcome(early), "RESULT=CANCEL LASTERROR=");
    EXPECT_FALSE(fs::exists(early.path("Target/readme.txt")));

    // Cancelled at the installer's first message: every answer after it is "cancel" and the
    // run reports CANCEL whatever the installer then returns. (Wine's installer goes on with the
    // installation all the same, so the product is removed again afterwards.)
    WineSetup during = sampleSetup("installer_cancel_message", "{6F5E4D3C-2B1A-4F9E-8D7C-5B4A3F2E1D0C}");
    const std::string duringTarget = during.windowsPath("Target");
    ASSERT_EQ(runSample(during, {"TARGETDIR=" + duringTarget}, {{"VELMORA_CANCEL_AT", "message"}}), 0);
    EXPECT_EQ(outcome(during).rfind("RESULT=CANCEL", 0), 0u) << outcome(during);
    runSample(during, {"TARGETDIR=" + duringTarget, "REMOVE=TRUE", "MODIFY=FALSE"});
    EXPECT_FALSE(fs::exists(during.path("Target/readme.txt")));
}

TEST(SystemChanges, ImmediateCommandsActAtOnce) {
    WineSetup setup("system_changes_immediate");
    for (const char* file : {"Tree/a/b/c/deep.txt", "Tree/a/top.txt", "Tree/x.log"}) writeText(setup.path(file), "x");
    writeText(setup.path("package.msi"), "package");
    const std::string key = R"(HKCU\Software\VelmoraImmediateTest)";
    wine({"reg", "add", key + R"(\Sub\Leaf)", "/v", "Keep", "/d", "1", "/f"});
    wine({"reg", "add", key + R"(\Sub)", "/v", "Gone", "/d", "1", "/f"});
    wine({"reg", "add", key + R"(\Sub)", "/v", "Stays", "/d", "1", "/f"});
    const std::string tree = R"(HKCU\Software\VelmoraImmediateTree)";
    wine({"reg", "add", tree + R"(\One\Two)", "/v", "Deep", "/d", "1", "/f"});
    setup.build(R"([product]
title: Immediate
product-code: {7A6B5C4D-1E2F-4A3B-8C9D-0E1F2A3B4C5D}
[build]
package: package.msi
[script]
Write to Text File
  | $EXEDIR$out.txt
  | second
  | FALSE
Write to Text File
  | $EXEDIR$out.txt
  | first
  | TRUE
Delete Files Recursive
  | $EXEDIR$Tree\*.*
Delete Registry
  | 1
  | Software\VelmoraImmediateTest\Sub
  | Gone
  | FALSE
Delete Registry
  | 1
  | Software\VelmoraImmediateTree
  | 
  | TRUE
Register Library
  | C:\windows\system32\kernel32.dll
  | TRUE
  | $REGISTERED$
Write to Text File
  | $EXEDIR$out.txt
  | registered=$REGISTERED$
  | FALSE
)");
    ASSERT_EQ(setup.run({"/s"}), 0);
    EXPECT_EQ(readText(setup.path("out.txt")), "first\r\nsecond\r\nregistered=FALSE\r\n");
    // The folder stays, everything below it goes, nested empty folders included.
    EXPECT_TRUE(fs::exists(setup.path("Tree")));
    EXPECT_TRUE(fs::is_empty(setup.path("Tree")));
    const std::string values = registryKey(setup, key);
    EXPECT_EQ(values.find("\"Gone\""), std::string::npos) << values;
    EXPECT_NE(values.find("\"Stays\""), std::string::npos) << values;
    EXPECT_NE(values.find("\"Keep\""), std::string::npos) << values;
    EXPECT_EQ(registryKey(setup, tree), "");   // the key with all its sub-keys
    wine({"reg", "delete", key, "/f"});
}
