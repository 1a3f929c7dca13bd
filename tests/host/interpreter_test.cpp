// Control flow of the interpreter: blocks, labels, wizard loops, dialogs, errors and ends.
#include <gtest/gtest.h>

#include "script_harness.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

// One statement in project form.
std::string S(const std::string& name, std::vector<std::string> params = {}, bool commented = false) {
    std::string out = name + "\n";
    if (commented) out += "  commented\n";
    for (const auto& p : params) out += "  | " + p + "\n";
    return out;
}
// Appends a letter to the variable T: the trace of what ran.
std::string mark(const std::string& letter) { return S("Set Variable", {"T", "$T$" + letter}); }
std::string If(const std::string& var, const std::string& value, const std::string& name = "If") {
    return S(name, {var, "0", value, "FALSE"});
}
std::string setV(const std::string& name, const std::string& value) { return S("Set Variable", {name, value}); }

std::string traceOf(const std::string& script) {
    ScriptRun run(setV("T", "") + setV("A", "1") + setV("B", "2") + script);
    EXPECT_EQ(run.run(), ScriptOutcome::Completed) << (run.platform.messages.empty() ? "" : run.platform.messages[0]);
    return run.var("T");
}

} // namespace

TEST(InterpreterBlocks, IfElseIfElse) {
    struct Case { const char* what; std::string script; const char* trace; };
    const Case cases[] = {
        {"else-if chain: only the first true branch, later conditions not evaluated",
         If("A", "0") + mark("a") + If("B", "2", "Else If") + mark("b") + If("A", "1", "Else If") + mark("c") +
             S("End") + mark("z"),
         "bz"},
        {"false if without else", If("A", "0") + mark("a") + S("End") + mark("z"), "z"},
        {"else after a true branch is skipped", If("A", "1") + mark("a") + S("Else") + mark("b") + S("End") + mark("z"), "az"},
        {"else after a false branch runs", If("A", "0") + mark("a") + S("Else") + mark("b") + S("End") + mark("z"), "bz"},
        {"nested false if with else inside a true branch, then else if not evaluated",
         If("A", "1") + If("B", "0") + mark("a") + S("Else") + mark("b") + S("End") + mark("c") +
             If("A", "1", "Else If") + mark("d") + S("End") + mark("z"),
         "bcz"},
        {"a commented End does not close the block",
         If("A", "0") + mark("a") + S("End", {}, true) + mark("b") + S("End") + mark("z"), "z"},
        {"a commented If in a skipped branch opens nothing",
         If("A", "0") + S("If", {"A", "0", "1", "FALSE"}, true) + mark("a") + S("End") + mark("z"), "z"},
        {"Ignore statements are passed over by searches",
         If("A", "0") + S("Ignore") + S("End") + mark("z"), "z"},
        {"negated condition", S("If", {"A", "0", "1", "TRUE"}) + mark("a") + S("End") + mark("z"), "z"},
    };
    for (const auto& c : cases) EXPECT_EQ(traceOf(c.script), c.trace) << c.what;
}

TEST(InterpreterBlocks, GoToLabelLeavesOpenBlocks) {
    // Jump out of a true branch to a label after the block; a later Else in normal flow still
    // skips to its End.
    const std::string script = If("A", "1") + mark("a") + S("GoTo Label", {"out"}) + mark("b") + S("End") +
                               S("Label", {"OUT"}) + mark("c") + If("A", "0") + mark("d") + S("Else") + mark("e") +
                               S("End") + mark("z");
    EXPECT_EQ(traceOf(script), "acez");
    // A loop counted with Mathematics.
    const std::string loop = setV("N", "0") + S("Label", {"top"}) + mark("x") +
                             S("Mathematics", {"$N$", "1", "0", "N"}) + S("If", {"N", "2", "2", "TRUE"}) +
                             S("GoTo Label", {"TOP"}) + S("End") + mark("z");
    EXPECT_EQ(traceOf(loop), "xxxz");
}

TEST(InterpreterBlocks, CommentedStatementsNeverRun) {
    const std::string script = S("GoTo Label", {"L"}) + mark("a") + S("Label", {"L"}, true) + mark("b") +
                               S("Set Variable", {"T", "$T$c"}, true) + mark("d");
    // The jump lands on the commented label, which does not run; the walk goes on after it.
    EXPECT_EQ(traceOf(script), "bd");
    // A command name in another letter case is no command at all.
    EXPECT_EQ(traceOf(S("set variable", {"T", "x"}) + mark("z")), "z");
}

TEST(InterpreterWizard, StepsThroughPagesByTheirResults) {
    struct Case { const char* what; std::vector<std::intptr_t> answers; std::vector<std::string> shown; const char* wizard; };
    // Statements: 0-2 set variables, 3 Wizard Loop, 4-6 pages, 7 End.
    const Case cases[] = {
        {"next next back next next", {6, 6, 7, 6, 6}, {"4", "5", "6", "5", "6"}, "NEXT"},
        {"back on the first page", {7}, {"4"}, "BACK"},
        {"cancel on the second page", {6, 2}, {"4", "5"}, "CANCEL"},
        {"named button keeps the direction", {6, 8, 6}, {"4", "5", "6"}, "NEXT"},
    };
    for (const auto& c : cases) {
        const std::string page = S("Display Dialog", {"Page", "WIZARD", "TRUE", "", "", "FALSE"});
        ScriptRun run(setV("T", "") + setV("A", "1") + setV("B", "2") + S("Wizard Loop") + page + page + page + S("End") +
                      mark("z"));
        run.dialogs.answers.assign(c.answers.begin(), c.answers.end());
        EXPECT_EQ(run.run(), ScriptOutcome::Completed) << c.what;
        EXPECT_EQ(run.dialogs.shown, c.shown) << c.what;
        EXPECT_EQ(run.var("WIZARD"), c.wizard) << c.what;
        EXPECT_EQ(run.var("T"), "z") << c.what;
    }
}

TEST(InterpreterDialogs, ConditionsResultsAndNonModalPages) {
    ScriptRun run(setV("SHOWIT", "TRUE") +
                  S("Display Dialog", {"Skipped", "R1", "TRUE", "$SHOWIT$", "", "TRUE"}) +   // TRUE vs inverted TRUE: skipped
                  S("Display Dialog", {"Shown", "R2", "TRUE", "SHOWIT", "", "FALSE"}) +
                  S("Display Dialog", {"Progress", "R3", "FALSE"}) + S("Hide Dialog"));
    run.dialogs.answers = {kDialogNamedButton};
    EXPECT_EQ(run.run(), ScriptOutcome::Completed);
    EXPECT_EQ(run.dialogs.shown, (std::vector<std::string>{"2", "3"}));
    EXPECT_FALSE(run.vars.HasVariable("R1"));
    EXPECT_EQ(run.var("R2"), "BUTTON3");
    EXPECT_EQ(run.var("R3"), "NOTMODAL");
    EXPECT_EQ(run.dialogs.hidden, 1);
    EXPECT_EQ(run.var("WINDOWHANDLE"), "0");
}

TEST(InterpreterErrors, RuntimeErrorNamesTheLine) {
    ScriptRun run(setV("A", "x") + setV("B", "y") + setV("C", "z") + setV("P", "C:\\f.txt") +
                  S("Extract Path", {"P", "two"}) + mark("never"));
    EXPECT_EQ(run.run(), ScriptOutcome::Failed);
    ASSERT_EQ(run.platform.messages.size(), 1u);
    EXPECT_EQ(run.platform.messages[0], "Runtime error in setup script:\r\rLine 5: 'two' is not a valid integer value");
    EXPECT_EQ(run.platform.captions[0], "Test");
    EXPECT_EQ(run.var("T"), "");

    // Silent: no message, same outcome. PROGRESS that is not a number fails after assigning.
    ScriptRun silent(setV("PROGRESS", "abc") + mark("never"), {"/s"});
    EXPECT_EQ(silent.run(), ScriptOutcome::Failed);
    EXPECT_TRUE(silent.platform.messages.empty());
    EXPECT_EQ(silent.var("PROGRESS"), "abc");
}

TEST(InterpreterEnds, TerminateCommandsAndMissingPackage) {
    ScriptRun ended(setV("T", "") + mark("a") + S("Terminate with Exit Code", {"3010"}) + mark("b"));
    EXPECT_EQ(ended.run(), ScriptOutcome::Completed);
    EXPECT_EQ(ended.setup.exitCode, 3010);
    EXPECT_EQ(ended.var("T"), "a");

    ScriptRun notNumber(S("Terminate with Exit Code", {"abc"}));
    notNumber.setup.exitCode = 7;
    notNumber.run();
    EXPECT_EQ(notNumber.setup.exitCode, 0);

    ScriptRun noPackage(mark("a"));
    EXPECT_EQ(noPackage.run("C:\\missing\\setup.msi"), ScriptOutcome::NotStarted);
    EXPECT_FALSE(noPackage.vars.HasVariable("T"));

    ScriptRun broken(S("End"));
    EXPECT_EQ(broken.run(), ScriptOutcome::CompileFailed);
}

TEST(InterpreterPrologue, PredefinedVariablesAndCommandLine) {
    ScriptRun run(setV("USER", "script") + setV("OTHER", "script"), {"/s", "user=alice", "/l=C:\\Logs\\A.LOG", "/m=C:\\Sfx\\Run.EXE"});
    run.setup.payload.commandHeaders = TextList{"0000ABCD", "0", "1234ABCD", "1"};
    EXPECT_EQ(run.run(), ScriptOutcome::Completed);
    EXPECT_EQ(run.var("USER"), "alice");          // silent: the command line wins
    EXPECT_EQ(run.var("OTHER"), "script");
    EXPECT_EQ(run.var("SILENT"), "TRUE");
    EXPECT_EQ(run.var("LOGGED"), "c:\\logs\\a.log");
    EXPECT_EQ(run.var("SFXPATH"), "c:\\sfx\\");
    EXPECT_EQ(run.var("SFXFILE"), "run.exe");
    EXPECT_EQ(run.var("USERNAME"), "Owner");
    EXPECT_EQ(run.var("VERSION"), "2.0");
    EXPECT_EQ(run.var("NEWLINE"), "\r\n");
    EXPECT_EQ(run.var("MSIFILE"), "C:\\Temp\\kel1\\setup.msi");
    EXPECT_EQ(run.platform.deletedRunValues, std::vector<std::string>{"12345678"});

    ScriptRun interactive(setV("USER", "script"), {"user=alice"});
    interactive.run();
    EXPECT_EQ(interactive.var("USER"), "script");  // interactive: the script's assignment wins
}
