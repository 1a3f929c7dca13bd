// Setup scripts run end to end under wine64: computed exit codes, command-line values, script
// errors and scripts that do not compile.
#include <gtest/gtest.h>

#include <algorithm>

#include "wine_setup.h"

using namespace velmora::testing;

namespace {

std::string project(const std::string& script) {
    return "[product]\ntitle: Script Sample\nproduct-code: {6F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9}\n"
           "[build]\npackage: package.msi\n[script]\n" +
           script;
}

WineSetup built(const std::string& name, const std::string& script) {
    WineSetup setup(name);
    writeText(setup.path("package.msi"), "package");
    setup.build(project(script));
    return setup;
}

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

} // namespace

TEST(Script, ComputesItsExitCode) {
    // Path "C:\Products\Tool-42\bin.exe": the number after the dash (42) is summed with a loop
    // count (3 rounds of +5) and branches pick the code 1000 + 42 + 15 = 1057.
    const std::string script = R"(Set Variable
  | FILE
  | C:\Products\Tool-42\bin.exe
Extract Path
  | FILE
  | 3
Parse String
  | $FILE$
  | -
  | HEAD
  | NUMBER
  | 1
  | FALSE
  | FALSE
Replace String
  | NUMBER
  | \
  | 
  | FALSE
  | TRUE
Set Variable
  | ROUNDS
  | 0
Label
  | again
Mathematics
  | $NUMBER$
  | 5
  | 0
  | NUMBER
Mathematics
  | $ROUNDS$
  | 1
  | 0
  | ROUNDS
If
  | ROUNDS
  | 2
  | 2
  | TRUE
GoTo Label
  | AGAIN
End
If
  | NUMBER
  | 0
  | 0
  | FALSE
Set Variable
  | CODE
  | 1
Else If
  | NUMBER
  | 2
  | 50
  | FALSE
Mathematics
  | $NUMBER$
  | 1000
  | 0
  | CODE
Else
Set Variable
  | CODE
  | 2
End
Terminate with Exit Code
  | $CODE$
Set Variable
  | CODE
  | 3
)";
    WineSetup setup = built("script_computes", script);
    EXPECT_EQ(setup.run({"/s", "/l=" + setup.windowsPath("trace.log")}), 1057);
    const auto lines = readTraceLog(setup.path("trace.log"));
    EXPECT_TRUE(contains(lines, "    </qorv>"));
    EXPECT_EQ(lines.back(), "</Velmora>");
    EXPECT_TRUE(WineSetup::kelEntries().empty());
}

TEST(Script, CommandLineValuesWinOnlyInSilentRuns) {
    WineSetup setup = built("script_command_line", "Set Variable\n  | LEVEL\n  | 5\nTerminate with Exit Code\n  | $LEVEL$\n");
    EXPECT_EQ(setup.run({"/s", "level=7"}), 7);
    EXPECT_EQ(setup.run({"LEVEL=7"}), 5);
}

TEST(Script, RuntimeErrorExits11AndCleansUp) {
    WineSetup setup = built("script_error", "Set Variable\n  | P\n  | C:\\x\nExtract Path\n  | P\n  | two\n"
                                            "Terminate with Exit Code\n  | 3\n");
    EXPECT_EQ(setup.run({"/s", "/l=" + setup.windowsPath("trace.log")}), 11);
    const auto lines = readTraceLog(setup.path("trace.log"));
    EXPECT_TRUE(contains(lines, "    <qorv>"));
    EXPECT_FALSE(contains(lines, "    </qorv>"));
    EXPECT_FALSE(contains(lines, "    <ExitScript>"));
    EXPECT_EQ(lines.back(), "</Velmora>");
    EXPECT_TRUE(WineSetup::kelEntries().empty());
}

TEST(Script, ScriptThatDoesNotCompileExits314AndLeavesEverything) {
    WineSetup setup = built("script_compile", "If\n  | X\n  | 0\n  | 1\n  | FALSE\n");
    EXPECT_EQ(setup.run({"/s", "/l=" + setup.windowsPath("trace.log")}), 314);
    EXPECT_EQ(readTraceLog(setup.path("trace.log")).back(), "    <CompileScript>");
    EXPECT_EQ(WineSetup::kelEntries(), std::vector<std::string>{"kel1"});
    WineSetup::clearKelFolders();
}
