// The installation cache and the maintenance start under wine64: feature selections through a
// real file, the cache moved by OVERRIDECACHE, the recorded cache location of another revision,
// and the start of a setup whose product Windows Installer reports installed (same revision:
// maintenance; other revision: upgrade). Results come back as bits of the exit code.
#include <gtest/gtest.h>

#include <filesystem>

#include "builder/setup_writer.h"
#include "components/state_file.h"
#include "wine_setup.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

const std::string kProduct = "{C4C3E2D1-0B0A-4999-8888-777766665555}";
const std::string kRevision = "{A1B2C3D4-0000-4111-8222-333344445555}";
const std::string kOtherRevision = "{A1B2C3D4-9999-4111-8222-333344445555}";
const std::string kIdentKey = "HKCU\\Software\\Ostrand\\Velmora\\Ident.Cache\\" + kProduct;

std::string S(const std::string& name, std::vector<std::string> params = {}) {
    std::string out = name + "\n";
    for (const auto& p : params) out += "  | " + p + "\n";
    return out;
}
// Adds bit to CODE when the condition holds (operator 4: equal ignoring letter case).
std::string bitWhen(const std::string& variable, const std::string& value, int bit, const std::string& op = "4") {
    return S("If", {variable, op, value, "FALSE"}) + S("Mathematics", {"$CODE$", std::to_string(bit), "0", "CODE"}) + S("End");
}
// A script that computes CODE from its checks and ends with it; SERIAL is declared for the
// checks by a kept assignment that never runs.
std::string script(const std::string& body) {
    return S("Set Variable", {"CODE", "0"}) + body + S("Terminate with Exit Code", {"$CODE$"}) +
           S("Set Variable", {"SERIAL$QORV$QORV$TRUE", "never"});
}

std::string project(const std::string& body, const std::string& revision = kRevision) {
    return "[product]\ntitle: Cache Sample\nproduct-code: " + kProduct + "\nrevision-code: " + revision +
           "\n[component-sizes]\nQORV-PREDEF-COMPONENT = 100\nTOOLS = 2000\n"
           "[build]\npackage: package.msi\n[script]\n" + script(body);
}

int wine(const std::vector<std::string>& args) {
    std::vector<std::string> command = {"timeout", "-k", "5", "240", VELMORA_WINE_RUN};
    command.insert(command.end(), args.begin(), args.end());
    return builder::runProgram(command, {});
}

// A saved state: Tools deselected, SERIAL kept.
std::string savedState(const std::string& serial) {
    SavedState state;
    state.components = {TextList{"QORV-PREDEF-COMPONENT", "Tools"}, TextList{"TRUE", "FALSE"}, {}, {}, {},
                        TextList{"QORV-PREDEF-COMPONENT", "100", "TOOLS", "2000"}};
    state.targetDir = "C:\\Saved Target\\";
    state.allUsers = "TRUE";
    state.startMenu = "Cache Sample";
    state.dataFolder = "";
    state.persistentVariables = {{"SERIAL", serial}};
    state.platformMode = "Win32";
    state.overrideCache = NameValue{"OVERRIDECACHE", ""};
    return FormatStateText(state);
}

// A Windows Installer package of the product with the given package code, built with wixl.
void buildPackage(const WineSetup& setup, const std::string& name, const std::string& packageCode) {
    writeText(setup.path(name + ".wxs"), R"(<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id=")" + kProduct + R"(" Name="Cache Sample" Language="1033" Version="1.0.0" Manufacturer="Velmora Tests"
           UpgradeCode="{C4C3E2D1-1111-4999-8888-777766665555}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Component Id="Main" Guid="{C4C3E2D1-2222-4999-8888-777766665555}">
        <RegistryValue Root="HKLM" Key="Software\VelmoraTests\CacheSample" Name="Installed" Value="1" Type="integer" KeyPath="yes"/>
      </Component>
    </Directory>
    <Feature Id="All" Level="1"><ComponentRef Id="Main"/></Feature>
  </Product>
</Wix>
)");
    ASSERT_EQ(builder::runProgram({"wixl", "-o", setup.path(name), setup.path(name + ".wxs")}, {}), 0);
    // wixl makes up the package code; the revision is what the engine compares.
    ASSERT_EQ(builder::runProgram({"msibuild", setup.path(name), "-s", "Cache Sample", "Velmora Tests", "Intel;1033", packageCode}, {}), 0);
}

// Installs a package for the length of a test; removes it and the Ident.Cache key at the end.
class InstalledProduct {
public:
    InstalledProduct(const WineSetup& setup, const std::string& package) {
        EXPECT_EQ(wine({"msiexec", "/i", setup.windowsPath(package), "/qn"}), 0);
    }
    ~InstalledProduct() {
        wine({"msiexec", "/x", kProduct, "/qn"});
        wine({"reg", "delete", kIdentKey, "/f"});
    }
};

void recordCacheFolder(const std::string& folder) {
    ASSERT_EQ(wine({"reg", "add", kIdentKey, "/ve", "/d", folder, "/f"}), 0);
}

} // namespace

TEST(InstallationCache, FeatureSelectionsRoundTripThroughAFile) {
    WineSetup setup("cache_selections");
    writeText(setup.path("package.msi"), "package");
    const std::string file = setup.windowsPath("choices.dat");
    setup.build(project(S("Define Component", {"Tools", "TRUE", "Tools"}) + S("Define Component", {"Docs", "FALSE", "Docs"}) +
                        S("Set Variable", {"SERIAL$QORV$QORV$TRUE", "first$NEWLINE$line"}) +
                        S("Save Feature Selections", {file}) +
                        S("Set Component State", {"Tools", "FALSE"}) + S("Set Component State", {"Docs", "TRUE"}) +
                        S("Set Variable", {"SERIAL", "changed"}) + S("Load Feature Selections", {file}) +
                        S("Get Component State", {"Tools", "TOOLS_ON"}) + S("Get Component State", {"Docs", "DOCS_ON"}) +
                        S("Set Variable", {"EXPECTED", "first$NEWLINE$line"}) +
                        bitWhen("TOOLS_ON", "TRUE", 1) + bitWhen("DOCS_ON", "FALSE", 2) + bitWhen("SERIAL", "$EXPECTED$", 4, "0") +
                        S("Get Component Space", {"", "SPACE"}) + bitWhen("SPACE", "2100", 8, "0")));
    EXPECT_EQ(setup.run({"/s"}), 15);
    const std::string saved = builder::readFile(setup.path("choices.dat"));
    EXPECT_EQ(saved.rfind("QORV-PREDEF-COMPONENT\r\nTools\r\nDocs\r\n$\r\nTRUE\r\nTRUE\r\nFALSE\r\n$\r\n", 0), 0u) << saved;
    EXPECT_NE(saved.find("\r\nSERIAL\r\nfirst$NEWLINE$line\r\nQORV64WOW\r\nWin32\r\n"), std::string::npos) << saved;
}

TEST(InstallationCache, OverrideOnTheCommandLineMovesTheCache) {
    WineSetup setup("cache_override");
    writeText(setup.path("package.msi"), "package");
    const std::string root = setup.windowsPath("moved");
    // A state left under the new root by an earlier run: the setup starts from it and updates it.
    writeText(setup.path("moved/" + kRevision + "/setup.dat"), savedState("from the moved cache"));
    setup.build(project(bitWhen("ENGINECACHE", root + "\\" + kRevision + "\\", 1) +
                        bitWhen("OVERRIDECACHE", root + "\\", 2) + bitWhen("SERIAL", "from the moved cache", 4) +
                        bitWhen("TARGETDIR", "C:\\Saved Target\\", 8) +
                        S("Set Variable", {"SERIAL$QORV$QORV$TRUE", "updated"})));
    EXPECT_EQ(setup.run({"/s", "OVERRIDECACHE=" + root}), 15);
    const std::string saved = builder::readFile(setup.path("moved/" + kRevision + "/setup.dat"));
    EXPECT_NE(saved.find("\r\nSERIAL\r\nupdated\r\nQORV64WOW\r\n"), std::string::npos) << saved;
}

TEST(InstallationCache, RecordedLocationOfAnotherRevisionIsIgnored) {
    WineSetup setup("cache_ident");
    writeText(setup.path("package.msi"), "package");
    const std::string recorded = setup.windowsPath("recorded");
    setup.build(project(bitWhen("ENGINECACHE", recorded, 1, "3") +
                        bitWhen("ENGINECACHE", recorded + "\\" + kRevision + "\\", 2)));
    recordCacheFolder(recorded + "\\" + kOtherRevision + "\\");
    EXPECT_EQ(setup.run({"/s"}), 0);
    recordCacheFolder(recorded + "\\" + kRevision + "\\");
    EXPECT_EQ(setup.run({"/s"}), 3);
    wine({"reg", "delete", kIdentKey, "/f"});
}

TEST(InstallationCache, InstalledProductStartsMaintenanceWithTheSavedState) {
    WineSetup setup("cache_maintenance");
    buildPackage(setup, "package.msi", kRevision);
    const std::string cacheRoot = setup.windowsPath("cache");
    writeText(setup.path("cache/" + kRevision + "/setup.dat"), savedState("kept"));
    setup.build(project(S("Define Component", {"Tools", "TRUE", "Tools"}) + S("Get Component State", {"Tools", "TOOLS_ON"}) +
                        bitWhen("MAINTENANCE", "TRUE", 1) + bitWhen("NEEDSUPGRADE", "FALSE", 2) +
                        bitWhen("TOOLS_ON", "FALSE", 4) + bitWhen("SERIAL", "kept", 8) +
                        bitWhen("TARGETDIR", "C:\\Saved Target\\", 16) + bitWhen("NEWINSTANCE", "TRUE", 32)));
    InstalledProduct installed(setup, "package.msi");
    recordCacheFolder(cacheRoot + "\\" + kRevision + "\\");
    EXPECT_EQ(setup.run({"/s"}), 63);
}

TEST(InstallationCache, OtherRevisionInstalledStartsAnUpgrade) {
    WineSetup setup("cache_upgrade");
    buildPackage(setup, "older.msi", kOtherRevision);
    writeText(setup.path("package.msi"), "package");
    setup.build(project(bitWhen("MAINTENANCE", "FALSE", 1) + bitWhen("NEEDSUPGRADE", "TRUE", 2) +
                        bitWhen("NEWINSTANCE", "TRUE", 4)));
    InstalledProduct installed(setup, "older.msi");
    EXPECT_EQ(setup.run({"/s"}), 7);
}
