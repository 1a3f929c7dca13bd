// The installer and deferred system commands as scripts run them: the properties they queue
// and record, headers, localizable names, Apply Changes with its results and the missing-source
// path, Is MSI Setup Installed, Set 64 Bit Mode, Transform Instance, and the pure parts of the
// immediate commands.
#include <gtest/gtest.h>

#include <map>

#include "msi/installer_session.h"
#include "msi_fakes.h"
#include "script/commands/commands.h"
#include "script_harness.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

std::string S(const std::string& name, std::vector<std::string> params, const std::string& header = "") {
    std::string out = name + "\n";
    if (!header.empty()) out += "  header: " + header + "\n";
    for (const auto& p : params) out += "  | " + p + "\n";
    return out;
}

struct InstallerScript : ScriptRun {
    FakeInstallerApi api;
    FakeInstallerHost host;
    msi::InstallerSession session{api, host};
    PendingProperties pending;   // what the interpreter left queued
    TextList states;

    explicit InstallerScript(const std::string& script, std::vector<std::string> args = {"/s"}) : ScriptRun(script, args) {
        setup.tempDir = R"(C:\Temp\)";
        setup.dataDir = R"(C:\Setup\data\)";
        host.folders.push_back(R"(C:\Temp\kel1\)");
    }
    ScriptOutcome go(bool clearHeaders = false) {
        if (clearHeaders) setup.payload.commandHeaders.clear();
        Interpreter interpreter(ScriptEnvironment{setup, vars, dialogs, platform, system}, R"(C:\Temp\kel1\setup.msi)");
        interpreter.SetInstaller(&session);
        outcome = interpreter.RunScript();
        pending = interpreter.Pending();
        states = interpreter.StatementStates();
        return outcome;
    }
    // name=value of every pending entry after the prologue's "FALSE" entries.
    std::vector<std::string> queued() const {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < pending.names.size(); ++i)
            if (pending.values[i] != "FALSE") out.push_back(pending.names[i] + "=" + pending.values[i]);
        return out;
    }
    std::string propertyFile() const { return host.everWritten.at(R"(C:\Temp\)" + setup.payload.productCode); }
};

const std::string kTarget = S("Set Variable", {"TARGETDIR", R"(C:\App)"});

} // namespace

TEST(DeferredCommands, ExportTheirParametersInTableOrder) {
    InstallerScript run(kTarget + S("Write Registry", {"2", "REG_SZ", R"(Software\Fixed)", "$TARGETDIR$", R"($TARGETDIR$\\Bin)"}, "11111111") +
                        S("Write Registry", {"2", "REG_SZ", R"(Software\Fixed)", "Name", "Value"}, "22222222") +
                        S("Create Folder", {R"($TARGETDIR$\Data)"}, "33333333") +
                        S("Create Shortcut", {"target", " Example Viewer", "folder", "desc", "args", "work"}, "44444444") +
                        S("Create File Type", {"Sample.Doc", "ext", "Sample document", "icon", "cmd"}, "55555555") +
                        S("Advertised File Type", {"Sample.Adv", "x", "Advertised type"}, "66666666") +
                        S("Copy/Move Local Files", {"from", "pattern", "to"}, "77777777") +
                        S("Delete Files", {"gone", "*.tmp", "TRUE", "FALSE"}, "88888888") +
                        S("Edit INI File", {"ini", "f", "a", "sect", "key", "val"}, "99999999") +
                        S("Set Environment", {"NAME", "$TARGETDIR$"}, "AAAAAAAA"));
    ASSERT_EQ(run.go(), ScriptOutcome::Completed) << (run.platform.messages.empty() ? "" : run.platform.messages[0]);
    const std::vector<std::string> want = {
        "A11111111=TRUE", R"(P11111111_2=C:\App)", R"(P11111111_3=C:\App\Bin)",
        "A22222222=TRUE",
        "A33333333=TRUE", R"(P33333333_1=C:\App\Data)",
        "A44444444=TRUE", "P44444444_1=folder", "P44444444_2=target", "P44444444_3=args", "P44444444_4=work",
        "A55555555=TRUE", "P55555555_1=Sample.Doc", "P55555555_2=ext", "P55555555_3=Sample document", "P55555555_4=icon",
        "P55555555_5=cmd",
        "A66666666=TRUE",
        "A77777777=TRUE", "P77777777_1=from", "P77777777_2=to",
        "A88888888=TRUE", "P88888888_1=gone",
        "A99999999=TRUE", "P99999999_1=ini", "P99999999_2=sect", "P99999999_3=key", "P99999999_4=val",
        "AAAAAAAAA=TRUE", R"(PAAAAAAAA_1=C:\App)",
    };
    EXPECT_EQ(run.queued(), want);
    // The prologue queued every activation property as FALSE first.
    EXPECT_EQ(run.pending.names[0], "A11111111");
    EXPECT_EQ(run.pending.values[0], "FALSE");
    for (std::size_t n = 1; n <= 10; ++n) EXPECT_EQ(run.states[n], "TRUE") << n;
    EXPECT_EQ(run.session.shortcutNames, (TextList{"P44444444_1", "Examp~1| Example Viewer", "desc"}));
    EXPECT_EQ(run.session.fileTypeNames, (TextList{"Sample.Adv", "Sample.Adv", "Advertised type"}));
}

TEST(DeferredCommands, ShortcutFileNames) {
    EXPECT_EQ(commands::ShortcutFileName("Example Viewer"), "Exampl~1|Example Viewer");
    EXPECT_EQ(commands::ShortcutFileName("Readme"), "Readme~1|Readme");
    EXPECT_EQ(commands::ShortcutFileName(" Lead blank"), "Lead~1| Lead blank");
    EXPECT_EQ(commands::ShortcutFileName("Hello World"), "Hello~1|Hello World");   // the six characters lose their blank
}

TEST(DeferredCommands, MissingHeaderFailsTheStatement) {
    for (const char* command : {"Install Files", "Write Registry", "Create Shortcut"}) {
        InstallerScript run(S(command, {"a", "b", "c"}));
        EXPECT_EQ(run.go(true), ScriptOutcome::Failed) << command;
        run.vars.StoreValue("SILENT", "FALSE");
    }
    InstallerScript shown(S("Install Files", {"a", "b", "c"}), {});
    EXPECT_EQ(shown.go(true), ScriptOutcome::Failed);
    ASSERT_EQ(shown.platform.messages.size(), 1u);
    EXPECT_NE(shown.platform.messages[0].find("Unable to obtain command headers. Please rebuild your project."), std::string::npos);
}

TEST(ApplyChanges, InstallRecordsPropertiesAndReportsComplete) {
    InstallerScript run(kTarget + S("Install Files", {"files", "Main", R"($TARGETDIR$\\Sub)"}, "1A2B3C4D") +
                        S("Apply Changes", {"Progress", "$RESULT$", "TRUE", "FALSE"}));
    ASSERT_EQ(run.go(), ScriptOutcome::Completed);
    EXPECT_EQ(run.var("RESULT"), "COMPLETE");
    EXPECT_EQ(run.var("LASTERROR"), "");
    ASSERT_EQ(run.api.commandLines.size(), 1u);
    EXPECT_EQ(run.api.commandLines[0].rfind("ADDLOCAL=ALL ", 0), 0u) << run.api.commandLines[0];
    EXPECT_NE(run.api.commandLines[0].find(R"(ARPINSTALLLOCATION="C:\App")"), std::string::npos);
    // Recorded properties reach the property file in order; MSINTEMP was queued and recorded.
    const std::string file = run.propertyFile();
    const std::string recorded = "A1A2B3C4D\r\nFALSE\r\n$ex\r\nA1A2B3C4D\r\nTRUE\r\n$ex\r\nP1A2B3C4D_1\r\nC:\\App\\Sub\r\n$ex\r\n"
                                 "MSINTEMP\r\nC:\\Temp\\\r\n$ex\r\n";
    EXPECT_NE(file.find(recorded), std::string::npos) << file;
    // The package got the pending entries, the last value of a name winning by insert-then-update.
    EXPECT_NE(std::find(run.api.sql.begin(), run.api.sql.end(),
                        "UPDATE `Property` SET `Value`='C:\\App\\Sub' WHERE `Property`='P1A2B3C4D_1'"),
              run.api.sql.end());
    EXPECT_TRUE(run.pending.empty());
    EXPECT_EQ(run.host.currentFolders[1], R"(C:\Temp\kel1\)");   // the working path's folder during the run
}

TEST(ApplyChanges, ModesAndResults) {
    struct Case { const char* install; const char* uninstall; std::uint32_t code; const char* start; const char* result; };
    const Case cases[] = {
        {"TRUE", "TRUE", 0, "ADDLOCAL=ALL ", "COMPLETE"},
        {"FALSE", "FALSE", 0, "ADVERTISE=ALL ", "COMPLETE"},
        {"FALSE", "TRUE", 0, "REMOVE=ALL ", "COMPLETE"},
        {"TRUE", "FALSE", 3010, "ADDLOCAL=ALL ", "REBOOT"},
        {"TRUE", "FALSE", 1603, "ADDLOCAL=ALL ", "ERROR"},
    };
    for (const auto& c : cases) {
        InstallerScript run(S("Apply Changes", {"Progress", "RESULT", c.install, c.uninstall}));
        run.api.installResults = {c.code};
        ASSERT_EQ(run.go(), ScriptOutcome::Completed);
        EXPECT_EQ(run.var("RESULT"), c.result) << c.install << c.uninstall << c.code;
        ASSERT_EQ(run.api.commandLines.size(), 1u);
        EXPECT_EQ(run.api.commandLines[0].rfind(c.start, 0), 0u) << run.api.commandLines[0];
        EXPECT_EQ(run.var("REBOOTCOMPUTER"), c.code == 3010 ? "TRUE" : "FALSE");
        EXPECT_EQ(run.var("LASTERROR"), c.code == 1603 ? "Fatal error during installation" : "");
    }
}

TEST(ApplyChanges, SourcesNotFoundCancelsWithoutARun) {
    // A maintenance install whose data folder lacks the product's marker, silent: no search.
    InstallerScript run(S("Set Variable", {"MAINTENANCE", "TRUE"}) + S("Apply Changes", {"Progress", "$RESULT$", "TRUE", "FALSE"}));
    ASSERT_EQ(run.go(), ScriptOutcome::Completed);
    EXPECT_EQ(run.var("RESULT"), "CANCEL");
    EXPECT_EQ(run.var("LASTERROR"), "Original setup sources required to complete operation, sources not found");
    EXPECT_TRUE(run.api.commandLines.empty());

    // Interactive: the user picks a folder without the marker, then one whose data folder has it.
    InstallerScript browse(S("Set Variable", {"MAINTENANCE", "TRUE"}) + S("Apply Changes", {"Progress", "RESULT", "TRUE", "FALSE"}), {});
    const std::string code = browse.setup.payload.productCode;
    browse.host.browsed = {std::string(R"(D:\Wrong)"), std::string(R"(E:\Media)")};
    browse.host.files.push_back(R"(E:\Media\data\)" + code);
    ASSERT_EQ(browse.go(), ScriptOutcome::Completed);
    EXPECT_EQ(browse.var("RESULT"), "COMPLETE");
    EXPECT_NE(browse.api.commandLines.at(0).find(R"(SRCDIR=E:\Media\data\ )"), std::string::npos) << browse.api.commandLines[0];

    // The cached source folder comes from the uninstall entry; the /p= switch overrides it.
    InstallerScript cached(S("Apply Changes", {"Progress", "RESULT", "TRUE", "FALSE"}), {"/s", R"(/p=F:\Override)"});
    cached.host.uninstallString = R"("C:\Cache\{REV}\setup.exe" REMOVE=TRUE MODIFY=FALSE)";
    cached.go();
    EXPECT_EQ(cached.session.cachedSourceDir, R"(f:\override\)");   // the switch's value is lower-cased
    InstallerScript fromEntry(S("Apply Changes", {"Progress", "RESULT", "TRUE", "FALSE"}));
    fromEntry.host.uninstallString = R"("C:\Cache\{REV}\setup.exe" REMOVE=TRUE MODIFY=FALSE)";
    fromEntry.go();
    EXPECT_EQ(fromEntry.session.cachedSourceDir, R"(C:\Cache\{REV}\)");
}

TEST(InstallerCommands, IsInstalledSixtyFourBitModeAndNewInstance) {
    for (const auto& [state, want] : std::map<int, std::string>{{5, "TRUE"}, {1, "FALSE"}, {3, "FALSE"}, {-1, "FALSE"}}) {
        InstallerScript run(S("Is MSI Setup Installed", {"{CODE}", "$STATE$"}));
        run.api.productState = state;
        run.go();
        EXPECT_EQ(run.var("STATE"), want) << state;
        EXPECT_TRUE(run.api.called("QueryProductState:{CODE}"));
    }

    struct Mode { std::vector<std::string> params; const char* want; };
    const Mode modes[] = {
        {{"TRUE", "TRUE", "TRUE"}, "x64"}, {{"TRUE", "FALSE", "FALSE"}, "Win32"}, {{"FALSE", "TRUE", ""}, "ia64"},
        {{"true", "true", "true"}, "Win32"},   // unchanged: only exactly TRUE counts
    };
    for (const auto& m : modes) {
        InstallerScript run(S("Apply Changes", {"P", "R", "TRUE", "FALSE"}) + S("Set 64 Bit Mode", m.params) +
                            S("Apply Changes", {"P", "R", "TRUE", "FALSE"}));
        run.api.summaryText[7] = "Intel;1033";
        run.go();
        EXPECT_EQ(run.api.summaryText[7], std::string(m.want) == "Win32" ? "Intel;1033"
                                          : std::string(m.want) == "x64" ? "x64;1033" : "Intel64;1033")
            << m.want;
    }

    InstallerScript unchanged(S("Transform Instance", {}));
    const std::string code = unchanged.setup.payload.productCode;
    unchanged.go();
    EXPECT_EQ(unchanged.setup.payload.productCode, code);
    EXPECT_FALSE(unchanged.session.edits.instanceTransform);

    InstallerScript renewed(S("Set Variable", {"NEWINSTANCE", "TRUE"}) + S("Transform Instance", {}) +
                            S("Apply Changes", {"P", "R", "TRUE", "FALSE"}));
    renewed.go();
    EXPECT_EQ(renewed.setup.payload.productCode, "{00000001-AAAA-BBBB-CCCC-DDDDDDDDDDDD}");
    EXPECT_EQ(renewed.var("PRODUCTCODE"), renewed.setup.payload.productCode);
    EXPECT_TRUE(renewed.session.edits.instanceTransform);
    EXPECT_TRUE(renewed.api.called("QueryProductState:{00000001-AAAA-BBBB-CCCC-DDDDDDDDDDDD}"));

    InstallerScript patchBeside(S("Set Variable", {"NEWINSTANCE", "TRUE"}) + S("Transform Instance", {}));
    patchBeside.host.files.push_back(R"(C:\Temp\kel1\setup.msp)");
    patchBeside.go();
    EXPECT_FALSE(patchBeside.session.edits.instanceTransform);
}

TEST(ImmediateCommands, FileTreePassesRemoveNestedEmptyFolders) {
    // a\b\c\f.txt with nested folders: the file goes in the first pass and one folder level in
    // each pass after it, deepest first, until a pass changes nothing.
    std::vector<std::string> tree = {R"(T\a\b\c\f.txt)", R"(T\a\b\c)", R"(T\a\b)", R"(T\a)", R"(T\keep.lock)"};
    int lists = 0;
    auto isFolder = [](const std::string& p) { return p.find('.') == std::string::npos; };
    auto hasChildren = [&](const std::string& folder) {
        for (const auto& p : tree)
            if (p.size() > folder.size() && p.compare(0, folder.size() + 1, folder + "\\") == 0) return true;
        return false;
    };
    commands::RemoveFileTree({[&] { ++lists; return tree; },
                              [&](const std::string& p) {
                                  if (!isFolder(p) && p.find("lock") == std::string::npos) std::erase(tree, p);
                              },
                              [&](const std::string& p) {
                                  if (isFolder(p) && !hasChildren(p)) std::erase(tree, p);
                              }});
    EXPECT_EQ(tree, std::vector<std::string>{R"(T\keep.lock)"});
    EXPECT_EQ(lists, 5);   // the first list and one after each of the four passes (the last changes nothing)
}

TEST(ImmediateCommands, AddLineToText) {
    EXPECT_EQ(commands::AddLineToText("", "only", true), "only\r\n");
    EXPECT_EQ(commands::AddLineToText("a\r\nb\r\n", "c", false), "a\r\nb\r\nc\r\n");
    EXPECT_EQ(commands::AddLineToText("a\nb", "z", true), "z\r\na\r\nb\r\n");
}
