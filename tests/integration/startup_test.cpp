// The start-up sequence of real setups under wine64: exit codes, the trace log, the support folder.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "builder/project.h"
#include "builder/setup_writer.h"
#include "wine_setup.h"

using namespace velmora;
using namespace velmora::testing;
namespace fs = std::filesystem;

namespace {

const char* const kProject = R"([product]
title: Start-up Sample
product-code: {6F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9}
revision-code: {0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9}
version: 1.0
default-language: English

[build]
package: package.msi

[script]
Set Variable
  | DONE
  | TRUE
)";

const std::vector<std::string> kStartMarkers = {
    "<Velmora>",          "  <SetupSplash>",      "    <StubSize>",      "    </StubSize>",
    "    <StubData>",     "    </StubData>",      "    <GlobalLists>",   "    </GlobalLists>",
    "    <SupportDir>",   "    </SupportDir>",    "    <ExtractArchive>", "    </ExtractArchive>",
    "    <ExtractResource>", "    </ExtractResource>", "    <ResourcePath>", "    </ResourcePath>",
    "    <Dialogs>",      "    </Dialogs>",       "  </SetupSplash>",    "  <RunScript>",
};
const std::vector<std::string> kEndMarkers = {
    "  </RunScript>", "  <Free>", "  </Free>", "  <CachedSupportDir>", "  </CachedSupportDir>", "</Velmora>",
};

WineSetup builtSetup(const std::string& name, const std::string& project = kProject) {
    WineSetup setup(name);
    writeText(setup.path("package.msi"), "not inspected by the start-up");
    setup.build(project);
    return setup;
}

} // namespace

TEST(Startup, SilentRunWritesEveryMarkerAndRemovesItsFolder) {
    WineSetup setup = builtSetup("silent_run");
    chmod(setup.path("setup.msi").c_str(), 0444);   // the copy must still be removable
    EXPECT_EQ(setup.run({"/s", "/l=" + setup.windowsPath("trace.log")}), 0);
    const auto lines = readTraceLog(setup.path("trace.log"));
    ASSERT_GE(lines.size(), kStartMarkers.size() + kEndMarkers.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + kStartMarkers.size()), kStartMarkers);
    EXPECT_EQ(std::vector<std::string>(lines.end() - kEndMarkers.size(), lines.end()), kEndMarkers);
    EXPECT_TRUE(WineSetup::kelEntries().empty());
}

TEST(Startup, EarlyExitCodes) {
    struct Case { const char* name; const char* remove; int code; bool folderLeft; const char* lastMarker; };
    const Case cases[] = {
        {"no_resource", "setup.res", 14, true, "    <ExtractArchive>"},
        {"no_package", "setup.msi", 16, true, "    <ExtractResource>"},
    };
    for (const auto& c : cases) {
        WineSetup setup = builtSetup(c.name);
        fs::remove(setup.path(c.remove));
        EXPECT_EQ(setup.run({"/qn", "/l=" + setup.windowsPath("trace.log")}, {}, 60), c.code) << c.name;
        EXPECT_EQ(readTraceLog(setup.path("trace.log")).back(), c.lastMarker) << c.name;
        EXPECT_EQ(WineSetup::kelEntries(), std::vector<std::string>{"kel1"}) << c.name;
    }
}

TEST(Startup, StubWithoutPayloadExits13) {
    WineSetup setup = builtSetup("no_payload");
    fs::copy_file(WineSetup::stubPath(), setup.path("setup.exe"), fs::copy_options::overwrite_existing);
    EXPECT_EQ(setup.run({"/s", "/l=" + setup.windowsPath("trace.log")}, {}, 60), 13);
    EXPECT_EQ(readTraceLog(setup.path("trace.log")).back(), "    <StubSize>");
    EXPECT_TRUE(WineSetup::kelEntries().empty());
}

TEST(Startup, SupportFolderSkipsExistingFoldersAndStrayFiles) {
    WineSetup setup = builtSetup("support_folder");
    const std::string temp = WineSetup::wineTempDir();
    fs::create_directories(temp + "/kel1");
    fs::create_directories(temp + "/kel2");
    writeText(temp + "/kel4", "a file, not a folder");
    fs::remove(setup.path("setup.msi"));   // stop after the folder is made, leaving it for a look
    EXPECT_EQ(setup.run({"/s"}, {}, 60), 16);
    EXPECT_EQ(WineSetup::kelEntries(), (std::vector<std::string>{"kel1", "kel2", "kel3", "kel4"}));
    EXPECT_TRUE(fs::is_directory(temp + "/kel3"));

    // A file in the way of the next number is passed over rather than failing the run.
    fs::remove_all(temp + "/kel3");
    writeText(temp + "/kel3", "another stray file");
    EXPECT_EQ(setup.run({"/s"}, {}, 60), 16);
    EXPECT_TRUE(fs::is_directory(temp + "/kel5"));
    EXPECT_TRUE(fs::is_regular_file(temp + "/kel3"));
    WineSetup::clearKelFolders();
}

TEST(Startup, FailureAfterThePayloadExits11AndStillCleansUp) {
    WineSetup setup = builtSetup("injected_failure");
    EXPECT_EQ(setup.run({"/s", "/l=" + setup.windowsPath("trace.log")}, {{"VELMORA_FAULT_AT", "Dialogs"}}), 11);
    const auto lines = readTraceLog(setup.path("trace.log"));
    const std::vector<std::string> tail = {"    <Dialogs>", "  <CachedSupportDir>", "  </CachedSupportDir>", "</Velmora>"};
    ASSERT_GE(lines.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(lines.end() - tail.size(), lines.end()), tail);
    EXPECT_TRUE(WineSetup::kelEntries().empty());
}

TEST(Startup, DumpOfBuiltSetupEqualsItsProject) {
    // Both stubs: the 64-bit image has a larger optional header than the 32-bit one.
    for (int bits : {64, 32}) {
        WineSetup setup("dump_" + std::to_string(bits));
        writeText(setup.path("package.msi"), "package");
        const builder::Project project = builder::parseProject(kProject);
        const std::string canonical = builder::writeProject(project.payload);
        setup.build(canonical + "\n[build]\npackage: package.msi\n", WineSetup::stubPath(bits));
        EXPECT_EQ(builder::writeProject(builder::readSetupPayload(setup.path("setup.exe"))), canonical) << bits;
    }
}
