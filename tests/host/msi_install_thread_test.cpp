// One installer run through RunInstaller and the worker, with a fake installer and host: the
// property file, the log block, the calls and their order, result codes, busy retries, cancel,
// failures that are not installer results, removal on 9x and patches.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "bootstrap/trace_log.h"
#include "msi/install_thread.h"
#include "msi/property_file.h"
#include "msi_fakes.h"
#include "script/variables.h"
#include "script_harness.h"

using namespace velmora;
using namespace velmora::msi;
using velmora::testing::FakeInstallerApi;
using velmora::testing::FakeInstallerHost;

namespace {

// Sleeps record the progress text shown while the installer is busy.
class RecordingHost : public FakeInstallerHost {
public:
    explicit RecordingHost(TVariableManager& v) : vars(v) {}
    void Sleep(unsigned ms) override {
        FakeInstallerHost::Sleep(ms);
        busyTexts.push_back(vars.FetchValue("QORV_thProgressText") + "@" + vars.FetchValue("QORV_thProgress"));
        if (cancelAfterSleeps && sleeps.size() == cancelAfterSleeps) vars.StoreValue("QORV_thCancelled", "TRUE");
    }
    TVariableManager& vars;
    std::vector<std::string> busyTexts;
    std::size_t cancelAfterSleeps = 0;
};

struct WorkerRun {
    TVariableManager vars;
    FakeInstallerApi api;
    RecordingHost host{vars};
    InstallerSession session{api, host};
    TraceLog log;
    PendingProperties pending;
    velmora::testing::FakePlatform platform;
    RunInstallerArgs args;
    std::string tempDir = R"(C:\Temp\)";

    WorkerRun() {
        vars.StoreValue("ALLUSERS", "TRUE");
        vars.StoreValue("QORV_DISABLE_ROLLBACK", "FALSE");
        vars.StoreValue("TITLE", "Sample");
        vars.StoreValue("SILENT", "true");
        vars.StoreValue("TARGETDIR", R"(C:\Program Files\Sample)");
        args.package = R"(C:\Temp\kel1\setup.msi)";
        args.workingPath = R"(C:\Temp\kel1\Progress.dfm)";
        args.location = R"(C:\Program Files\Sample)";
        args.productCode = "{PRODUCT}";
        args.properties = CommaText(TextList{"A1234ABCD", "TRUE", "P1234ABCD_1", R"($TARGETDIR$\\Bin)"});
        args.variables = vars.VariableSnapshot();
        args.dataFolder = R"(C:\Setup\data\)";
        args.platformMode = "Win32";
        host.folders.push_back(R"(C:\Temp\kel1\)");
        pending.QueuePendingProperty("MSINTEMP", tempDir);
    }
    InstallerRunOutcome run() {
        InstallWorkerContext ctx{session, vars, log, pending, tempDir, "Sample Setup"};
        return RunInstaller(ctx, platform, args, true, 99);
    }
    std::string propertyFile() const { return host.everWritten.at(tempDir + "{PRODUCT}"); }
};

std::string readUtf16(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    const std::string bytes = s.str();
    std::string out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) out += bytes[i];
    return out;
}

} // namespace

TEST(InstallThread, FirstInstallRunsThePackageWithItsPropertyString) {
    WorkerRun r;
    const InstallerRunOutcome outcome = r.run();
    EXPECT_EQ(outcome.result, kRunComplete);
    EXPECT_EQ(outcome.errorText, "");
    ASSERT_EQ(r.api.commandLines.size(), 1u);
    EXPECT_EQ(r.api.commandLines[0],
              R"(ADDLOCAL=ALL ALLUSERS=1 ARPSYSTEMCOMPONENT=1 ARPNOREMOVE=1 ARPNOMODIFY=1 ARPNOREPAIR=1 )"
              R"(ARPINSTALLLOCATION="C:\Program Files\Sample" SRCDIR=C:\Setup\data\ )"
              R"(SOURCELIST=C:\Setup\data\;C:\Temp\kel1\ MEDIAPACKAGEPATH=\Setup\ REBOOT=R )");
    // Order of the installer calls around the run.
    std::vector<std::string> order;
    for (const auto& c : r.api.calls)
        if (c.rfind("QueryProductState", 0) == 0 || c.rfind("SetInternalUI", 0) == 0 || c.rfind("SetExternalUI", 0) == 0 ||
            c.rfind("InstallProduct", 0) == 0)
            order.push_back(c);
    EXPECT_EQ(order, (std::vector<std::string>{"QueryProductState:{PRODUCT}", "SetInternalUI:258", "SetExternalUI:32735",
                                               R"(InstallProduct:C:\Temp\kel1\setup.msi)"}));
    EXPECT_FALSE(r.api.called("EnableLog"));   // no log file
    // The pending properties went into the package and are gone.
    EXPECT_TRUE(r.pending.empty());
    EXPECT_NE(std::find(r.api.sql.begin(), r.api.sql.end(),
                        R"(UPDATE `Property` SET `Value`='C:\Temp\' WHERE `Property`='MSINTEMP')"),
              r.api.sql.end());
    EXPECT_EQ(r.api.summaryNumber[15], 8);
    // Property file written, then removed; folders and variables as the run left them.
    EXPECT_TRUE(r.host.written.empty());
    EXPECT_EQ(r.host.cleanedProducts, std::vector<std::string>{"{PRODUCT}"});
    EXPECT_EQ(r.host.currentFolders, (std::vector<std::string>{R"(C:\Start\)", R"(C:\Temp\kel1\)", R"(C:\Start\)"}));
    EXPECT_EQ(r.vars.FetchValue("QORV_thFinished"), "TRUE");
    EXPECT_EQ(r.vars.FetchValue("QORV_thProgressText"), "Windows Installer");
    EXPECT_EQ(r.vars.FetchValue("QORV_thProgress"), "100");
    EXPECT_TRUE(r.session.request.silent);   // from SILENT in any letter case
    EXPECT_EQ(r.session.request.title, "Sample");
    EXPECT_EQ(r.api.openHandles, 0);
}

TEST(InstallThread, PropertyFileRecordsInOrder) {
    WorkerRun r;
    r.run();
    const std::string text = r.propertyFile();
    const std::string head = "SourceDir\r\nC:\\Setup\\data\\\r\n$ex\r\nMEDIAPACKAGEPATH\r\n\\Setup\\\r\n$ex\r\n"
                             "A1234ABCD\r\nTRUE\r\n$ex\r\nP1234ABCD_1\r\nC:\\Program Files\\Sample\\Bin\r\n$ex\r\n";
    EXPECT_EQ(text.substr(0, head.size()), head);
    // Variables follow, reserved installer properties left out.
    EXPECT_NE(text.find("TITLE\r\nSample\r\n$ex\r\n"), std::string::npos);
    EXPECT_EQ(text.find("ALLUSERS\r\n"), std::string::npos);

    // Patch runs name the source folder twice instead.
    PropertyFileInput patch;
    patch.patch = true;
    patch.dataFolder = R"(C:\Data\)";
    patch.sourceFolder = R"(C:\Cache\)";
    patch.variables = TextList{"NOTE", "a\r\nb", "REBOOT", "Force"};
    TVariableManager vars;
    EXPECT_EQ(PropertyFileText(patch, vars),
              "SourceDir\r\nC:\\Cache\\\r\n$ex\r\nSRCDIREX\r\nC:\\Cache\\\r\n$ex\r\nNOTE\r\na$NEWLINE$b\r\n$ex\r\n");
}

TEST(InstallThread, LogBlockThenTheInstallersOwnLog) {
    WorkerRun r;
    const std::string path = (std::filesystem::temp_directory_path() / "velmora_msi_log_test.log").string();
    std::remove(path.c_str());
    r.log = TraceLog(path);
    r.log.WriteTraceMarker("    <qorv>");
    r.args.logFile = path;
    r.run();
    const std::string text = readUtf16(path);
    const std::string want = "    <qorv>\r\n=== Sample Setup: Applying Changes @11/12/2026 10:11:12 ===\r\n\r\n*** Variables ***\r\n";
    EXPECT_EQ(text.substr(0, want.size()), want);
    for (const char* part : {"\r\n\r\n*** Properties ***\r\nA1234ABCD,TRUE,P1234ABCD_1,", "*** MSI Database ***\r\nC:\\Temp\\kel1\\setup.msi\r\n\r\n",
                             "*** GUID ***\r\n{PRODUCT}\r\n\r\n", "*** Data Directory ***\r\nC:\\Setup\\data\\\r\n\r\n",
                             "*** Media Directory ***\r\n\\Setup\\\r\n\r\n", "*** MSI Directory ***\r\nC:\\Temp\\kel1\\\r\n\r\n\r\n"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
    EXPECT_TRUE(r.api.called("EnableLog:16351:" + path + ":3"));
    std::remove(path.c_str());
}

TEST(InstallThread, ResultCodes) {
    struct Case { std::uint32_t code; const char* lastMessage; int result; const char* error; };
    const Case cases[] = {
        {0, "", kRunComplete, ""},
        {3010, "", kRunCompleteReboot, ""},
        {1641, "", kRunCompleteReboot, ""},
        {1603, "ignored", kRunFailed, "Fatal error during installation"},
        {1620, "", kRunFailed, "General setup failure"},
        {1620, "The package is broken.", kRunFailed, "The package is broken"},
        {1620, "Step 1. Then step 2.", kRunFailed, "Step 1. Then step 2."},
    };
    for (const auto& c : cases) {
        WorkerRun r;
        r.api.installResults = {c.code};
        if (*c.lastMessage) r.api.messages = {{kMessageError << 24, c.lastMessage}};
        const InstallerRunOutcome outcome = r.run();
        EXPECT_EQ(outcome.result, c.result) << c.code;
        EXPECT_EQ(outcome.errorText, c.error) << c.code;
        EXPECT_TRUE(r.host.written.empty());
    }
}

TEST(InstallThread, BusyInstallerIsRetriedWithDots) {
    WorkerRun r;
    r.api.installResults = {1618, 1618, 1618, 1618, 0};
    EXPECT_EQ(r.run().result, kRunComplete);
    EXPECT_EQ(r.api.commandLines.size(), 5u);
    EXPECT_EQ(r.host.sleeps, (std::vector<unsigned>{3141, 3141, 3141, 3141}));
    EXPECT_EQ(r.host.busyTexts, (std::vector<std::string>{"Windows Installer.@100", "Windows Installer..@100",
                                                           "Windows Installer...@100", "Windows Installer.@100"}));
}

TEST(InstallThread, CancelWins) {
    // Cancel while the installer is busy: the retry ends, the result is cancel, the error text stays.
    WorkerRun busy;
    busy.api.installResults = {1618, 1618, 1618};
    busy.host.cancelAfterSleeps = 1;
    const InstallerRunOutcome outcome = busy.run();
    EXPECT_EQ(outcome.result, kRunCancelled);
    EXPECT_EQ(outcome.errorText, "Another installation is already in progress");
    EXPECT_EQ(busy.api.commandLines.size(), 1u);

    // Cancel before the installer call: no call, the property file still goes.
    WorkerRun early;
    early.session.injectedCancel = "start";
    EXPECT_EQ(early.run().result, kRunCancelled);
    EXPECT_FALSE(early.api.called("InstallProduct"));
    EXPECT_TRUE(early.host.everWritten.count(early.tempDir + "{PRODUCT}"));
    EXPECT_TRUE(early.host.written.empty());

    // Cancel at the first message: the handler answers 2 and the failed run counts as cancelled.
    WorkerRun during;
    during.session.injectedCancel = "message";
    during.api.messages = {{kMessageActionStart << 24, "Action 1: A. Starting"}};
    during.api.installResults = {1602};
    EXPECT_EQ(during.run().result, kRunCancelled);
    EXPECT_EQ(during.api.answers, std::vector<int>{2});
}

TEST(InstallThread, FailuresThatAreNotInstallerResultsEndTheRun) {
    WorkerRun r;
    r.tempDir = R"(C:\readonly\)";
    const InstallerRunOutcome outcome = r.run();
    EXPECT_EQ(outcome.result, kRunFailed);
    EXPECT_EQ(outcome.errorText, R"(Unable to write file C:\readonly\{PRODUCT})");
    EXPECT_EQ(r.vars.FetchValue("QORV_thFinished"), "TRUE");
    EXPECT_FALSE(r.api.called("InstallProduct"));

    class MissingFunction : public FakeInstallerApi {
        std::uint32_t InstallProduct(const std::string&, const std::string&) override {
            throw InstallerLibraryError("Function not found: msi.dll.MsiInstallProductA");
        }
    };
    WorkerRun m;
    MissingFunction api;
    InstallerSession session(api, m.host);
    InstallWorkerContext ctx{session, m.vars, m.log, m.pending, m.tempDir, "Sample Setup"};
    const InstallerRunOutcome missing = RunInstaller(ctx, m.platform, m.args, true, 0);
    EXPECT_EQ(missing.result, kRunFailed);
    EXPECT_EQ(missing.errorText, "Function not found: msi.dll.MsiInstallProductA");
    EXPECT_TRUE(m.host.written.empty());
}

TEST(InstallThread, BlankFlagsFromShortForms) {
    WorkerRun r;
    r.args.dataFolder = R"(C:\My Setup\data\)";
    r.host.folders.push_back(R"(C:\My Setup\data\)");
    r.host.shortForms[R"(C:\My Setup\data\)"] = R"(C:\MYSETU~1\data\)";
    r.host.shortForms[R"(C:\Temp\kel1\)"] = "";   // no short form: counts as a blank
    r.run();
    ASSERT_EQ(r.api.commandLines.size(), 1u);
    const std::string& p = r.api.commandLines[0];
    EXPECT_NE(p.find(R"(SRCDIR=C:\MYSETU~1\data\ SOURCELIST="C:\MYSETU~1\data\;C:\Temp\kel1\" MEDIAPACKAGEPATH=\MYSETU~1\ )"),
              std::string::npos)
        << p;
}

TEST(InstallThread, RemovalOnThe9xPlatformAndPatches) {
    WorkerRun r;
    r.host.nt = false;
    r.args.install = false;
    r.api.installResults = {3010};
    const InstallerRunOutcome outcome = r.run();
    EXPECT_TRUE(r.api.called("DoAction:INSTALL"));
    EXPECT_FALSE(r.api.called("InstallProduct"));
    EXPECT_EQ(r.api.packageProperties.front(), (std::pair<std::string, std::string>{"ALLUSERS", "1"}));
    EXPECT_EQ(outcome.result, kRunFailed);   // every non-zero result fails on this path

    WorkerRun reboot;
    reboot.host.nt = false;
    reboot.args.install = false;
    reboot.api.modes[kRunModeRebootAtEnd] = true;
    EXPECT_EQ(reboot.run().result, kRunCompleteReboot);

    WorkerRun patch;
    patch.args.patch = true;
    patch.args.install = false;
    patch.args.package = R"(C:\Temp\kel1\setup.msp)";
    patch.session.cachedSourceDir = R"(C:\Setup\data\)";
    patch.api.installResults = {1618};
    EXPECT_EQ(patch.run().result, kRunFailed);   // a patch is not retried
    EXPECT_EQ(patch.api.commandLines, (std::vector<std::string>{R"(ADDLOCAL=ALL ALLUSERS=1 SRCDIR=C:\Setup\data\ SRCDIREX=C:\Setup\data\ )"}));
    EXPECT_EQ(patch.api.sources, (std::vector<std::pair<std::string, std::string>>{{"", R"(C:\Setup\data\)"},
                                                                                   {"DOMAIN\\user", R"(C:\Setup\data\)"}}));
    EXPECT_FALSE(patch.pending.empty());   // a patch run leaves the pending properties queued
}
