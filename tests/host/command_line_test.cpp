#include <gtest/gtest.h>

#include "bootstrap/command_line.h"

using namespace velmora;

TEST(CommandLine, Switches) {
    struct Case { const char* raw; bool silent; bool update; const char* log; const char* source; };
    const Case cases[] = {
        {R"("C:\s.exe" /S)", true, false, "", ""},
        {R"("C:\s.exe" -QN)", true, false, "", ""},
        {R"("C:\s.exe" /silent)", false, false, "", ""},
        {R"("C:\s.exe" /UpdateSetup)", false, true, "", ""},
        {R"("C:\s.exe" /l=C:\Logs\Run.LOG /l=c:\second.log)", false, false, R"(c:\logs\run.log)", ""},
        {R"("C:\s.exe" "-l=C:\My Logs\A.log" -p=\\Srv\Share)", false, false, R"(c:\my logs\a.log)", R"(\\srv\share)"},
        {R"(C:\s.exe /s "" /L=x.log)", true, false, "x.log", ""},
    };
    for (const auto& c : cases) {
        const CommandLine cl = parseCommandLine(c.raw);
        EXPECT_EQ(cl.silent, c.silent) << c.raw;
        EXPECT_EQ(cl.update, c.update) << c.raw;
        EXPECT_EQ(cl.logFile, c.log) << c.raw;
        EXPECT_EQ(cl.sourceOverride, c.source) << c.raw;
    }
}

TEST(CommandLine, AssignmentsAndOtherPaths) {
    const CommandLine cl = parseCommandLine(R"("C:\s.exe" user=alice Path=C:\X -x=1 /g=\\Pol\Setup.msi /m=C:\SFX\Run.exe "Note=a b=c")");
    EXPECT_EQ(cl.assignments.toVector(), (std::vector<std::string>{"USER", "alice", "PATH", "C:\\X", "NOTE", "a b=c"}));
    EXPECT_EQ(cl.groupPolicyPath, R"(\\pol\setup.msi)");
    EXPECT_EQ(cl.selfExtractorPath, R"(c:\sfx\run.exe)");
}

TEST(CommandLine, WindowsQuotingRules) {
    struct Case { const char* raw; std::vector<std::string> args; };
    const Case cases[] = {
        {R"("C:\Program Files\s.exe" a "b c" d)", {R"(C:\Program Files\s.exe)", "a", "b c", "d"}},
        {R"(s.exe a\\\"b "c\\" d)", {"s.exe", R"(a\"b)", R"(c\)", "d"}},
        {R"(s.exe "say ""hi""" x\y)", {"s.exe", R"(say "hi")", R"(x\y)"}},
        {"s.exe\t  a  ", {"s.exe", "a"}},
    };
    for (const auto& c : cases) EXPECT_EQ(splitCommandLine(c.raw), c.args) << c.raw;
}

TEST(CommandLine, Tail) {
    struct Case { const char* raw; const char* tail; };
    const Case cases[] = {
        {R"("C:\My Setup\setup.exe" /s A=1)", "/s A=1"},
        {R"("C:\setup.exe")", ""},
        {R"(C:\setup.exe /s  x)", "/s  x"},
        {R"(setup.exe)", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(commandLineTail(c.raw), c.tail) << c.raw;
}
