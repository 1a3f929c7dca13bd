// The resource archive at start-up: unpacked into the support folder through kel.lib.
#include <gtest/gtest.h>

#include <filesystem>

#include "wine_setup.h"

using namespace velmora::testing;
namespace fs = std::filesystem;

namespace {

const char* const kProject = "[product]\ntitle: Resources\n[build]\npackage: package.msi\nresources: resources\n"
                             "[script]\nSet Variable\n  | X\n  | 1\n";

WineSetup withResources(const std::string& name) {
    WineSetup setup(name);
    writeText(setup.path("package.msi"), "package");
    writeText(setup.path("resources/Welcome.dfm"), "object Welcome: TForm end");
    writeText(setup.path("resources/support/readme.txt"), "support file");
    setup.build(kProject);
    return setup;
}

} // namespace

TEST(Resources, ArchiveIsUnpackedIntoTheSupportFolder) {
    WineSetup setup = withResources("resources_unpacked");
    // Without a package the run stops right after the unpacking and leaves its folder to look at.
    fs::remove(setup.path("setup.msi"));
    EXPECT_EQ(setup.run({"/s"}, {}, 60), 16);
    const std::string support = WineSetup::wineTempDir() + "/kel1";
    EXPECT_TRUE(fs::is_regular_file(support + "/Welcome.dfm"));
    EXPECT_TRUE(fs::is_regular_file(support + "/support/readme.txt"));
    WineSetup::clearKelFolders();

    writeText(setup.path("package.msi"), "package");
    fs::copy_file(setup.path("package.msi"), setup.path("setup.msi"));
    EXPECT_EQ(setup.run({"/s"}), 0);
    EXPECT_TRUE(WineSetup::kelEntries().empty());
}

TEST(Resources, BrokenArchiveOrLibraryExits15) {
    WineSetup notArchive = withResources("resources_not_archive");
    writeText(notArchive.path("setup.res"), "this is not a 7z archive");
    EXPECT_EQ(notArchive.run({"/s", "/l=" + notArchive.windowsPath("trace.log")}, {}, 60), 15);
    EXPECT_EQ(readTraceLog(notArchive.path("trace.log")).back(), "    <ExtractArchive>");
    WineSetup::clearKelFolders();

    WineSetup noLibrary = withResources("resources_no_library");
    fs::remove(noLibrary.path("kel.lib"));
    EXPECT_EQ(noLibrary.run({"/s"}, {}, 60), 15);
    WineSetup::clearKelFolders();
}
