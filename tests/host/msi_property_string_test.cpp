// The installer's property string, fragment by fragment, and the folder texts it is made of.
#include <gtest/gtest.h>

#include "msi/property_string.h"

using namespace velmora::msi;

namespace {

PropertyStringInput firstInstall() {
    PropertyStringInput in;
    in.install = true;
    in.allUsers = "TRUE";
    in.disableRollback = "FALSE";
    in.disableRestartManager = "FALSE";
    in.productState = -1;
    in.location = R"(C:\Program Files\Sample)";
    in.dataFolder = R"(C:\Setup\data\)";
    in.installerFolder = R"(C:\Temp\kel1\)";
    in.mediaPackagePath = MediaPackagePath(in.dataFolder);
    return in;
}

} // namespace

TEST(PropertyString, TheTwoExampleRunsByteForByte) {
    EXPECT_EQ(BuildPropertyString(firstInstall()),
              R"(ADDLOCAL=ALL ALLUSERS=1 ARPSYSTEMCOMPONENT=1 ARPNOREMOVE=1 ARPNOMODIFY=1 ARPNOREPAIR=1 )"
              R"(ARPINSTALLLOCATION="C:\Program Files\Sample" SRCDIR=C:\Setup\data\ )"
              R"(SOURCELIST=C:\Setup\data\;C:\Temp\kel1\ MEDIAPACKAGEPATH=\Setup\ REBOOT=R )");

    PropertyStringInput removal = firstInstall();
    removal.install = false;
    removal.productState = 5;
    EXPECT_EQ(BuildPropertyString(removal),
              R"(REMOVE=ALL ALLUSERS=1 ALLUSERS=1 REMOVE=ALL SRCDIR=C:\Setup\data\ )"
              R"(SOURCELIST=C:\Setup\data\;C:\Temp\kel1\ MEDIAPACKAGEPATH=\Setup\ REBOOT=R )");
}

TEST(PropertyString, FragmentsByRunKind) {
    struct Case {
        const char* what;
        void (*change)(PropertyStringInput&);
        const char* start;      // the string must start with this
        const char* contains;   // and contain this
    };
    const Case cases[] = {
        {"installed product is repaired", [](PropertyStringInput& in) { in.productState = 5; },
         "REINSTALL=ALL REINSTALLMODE=vomus ALLUSERS=1 ARPSYSTEMCOMPONENT=1", ""},
        {"advertised product is installed fully", [](PropertyStringInput& in) { in.productState = 5; in.advertisedBefore = true; },
         "ADDLOCAL=ALL ADVERTISE=\"\" ALLUSERS=1 ", ""},
        {"advertising again an advertised product repairs it",
         [](PropertyStringInput& in) { in.productState = 5; in.advertisedBefore = true; in.advertise = true; },
         "REINSTALL=ALL REINSTALLMODE=vomus ", ""},
        {"advertise run", [](PropertyStringInput& in) { in.advertise = true; in.install = false; },
         "ADVERTISE=ALL ALLUSERS=1 ARPSYSTEMCOMPONENT=1", ""},
        {"per-user: ALLUSERS exactly TRUE only", [](PropertyStringInput& in) { in.allUsers = "true"; },
         "ADDLOCAL=ALL ALLUSERS=\"\" ARPSYSTEMCOMPONENT=1", ""},
        {"rollback and restart manager switched off",
         [](PropertyStringInput& in) { in.disableRollback = "TRUE"; in.disableRestartManager = "TRUE"; },
         "ADDLOCAL=ALL ALLUSERS=1 DISABLEROLLBACK=1 MSIRESTARTMANAGERCONTROL=Disable ARPSYSTEMCOMPONENT=1", ""},
        {"switches are exact: lower-case true does not count", [](PropertyStringInput& in) { in.disableRollback = "true"; },
         "ADDLOCAL=ALL ALLUSERS=1 ARPSYSTEMCOMPONENT=1", ""},
        {"data folder with a blank quotes the three folder values",
         [](PropertyStringInput& in) { in.dataFolder = R"(C:\My Setup\data\)"; in.mediaPackagePath = R"(\My Setup\)"; in.sourceBlank = true; },
         "ADDLOCAL=ALL",
         R"(SRCDIR="C:\My Setup\data\" SOURCELIST="C:\My Setup\data\;C:\Temp\kel1\" MEDIAPACKAGEPATH="\My Setup\" REBOOT=R )"},
        {"package folder with a blank quotes only the source list", [](PropertyStringInput& in) { in.installerFolderBlank = true; },
         "ADDLOCAL=ALL",
         R"(SRCDIR=C:\Setup\data\ SOURCELIST="C:\Setup\data\;C:\Temp\kel1\" MEDIAPACKAGEPATH=\Setup\ REBOOT=R )"},
        {"per-user removal repeats the empty ALLUSERS", [](PropertyStringInput& in) { in.install = false; in.allUsers = "FALSE"; },
         "REMOVE=ALL ALLUSERS=\"\" ALLUSERS=\"\" REMOVE=ALL SRCDIR=", ""},
    };
    for (const auto& c : cases) {
        PropertyStringInput in = firstInstall();
        c.change(in);
        const std::string p = BuildPropertyString(in);
        EXPECT_EQ(p.rfind(c.start, 0), 0u) << c.what << "\n" << p;
        EXPECT_NE(p.find(c.contains), std::string::npos) << c.what << "\n" << p;
        EXPECT_EQ(p.back(), ' ') << c.what;
    }
}

TEST(PropertyString, PatchRun) {
    PropertyStringInput in = firstInstall();
    in.patch = true;
    in.install = false;
    in.sourceFolder = R"(C:\Cache\Rev\)";
    EXPECT_EQ(BuildPropertyString(in), R"(ADDLOCAL=ALL ALLUSERS=1 SRCDIR=C:\Cache\Rev\ SRCDIREX=C:\Cache\Rev\ )");
    in.sourceBlank = true;
    in.disableRollback = "TRUE";
    EXPECT_EQ(BuildPropertyString(in),
              R"(ADDLOCAL=ALL ALLUSERS=1 DISABLEROLLBACK=1 SRCDIR="C:\Cache\Rev\" SRCDIREX="C:\Cache\Rev\" )");
}

TEST(PropertyString, RemovalOnThe9xPlatformSetsPackageProperties) {
    PropertyStringInput in = firstInstall();
    in.install = false;
    in.ntPlatform = false;
    in.sourceBlank = true;
    const std::vector<std::pair<std::string, std::string>> want = {
        {"ALLUSERS", "1"},
        {"REMOVE", "ALL"},
        {"SRCDIR", R"("C:\Setup\data\")"},
        {"SOURCELIST", R"("C:\Setup\data\;C:\Temp\kel1\")"},
        {"MEDIAPACKAGEPATH", R"("\Setup\")"},
        {"REBOOT", "R"},
    };
    EXPECT_EQ(RemovalPackageProperties(in), want);
}

TEST(PropertyString, MediaPackagePath) {
    const std::pair<const char*, const char*> cases[] = {
        {R"(C:\Setup\data\)", R"(\Setup\)"},
        {R"(C:\data\)", R"(\)"},
        {R"(D:\Deep\Er\data\)", R"(\Deep\Er\)"},
        {R"(\\server\share\Setup\data\)", R"(\Setup\)"},
        {R"(C:\Setup\data)", R"(\Setup\)"},
    };
    for (const auto& [data, want] : cases) EXPECT_EQ(MediaPackagePath(data), want) << data;
}
