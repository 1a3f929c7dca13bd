// Conditions and the value commands: one table per command.
#include <gtest/gtest.h>

#include "script/conditions.h"
#include "script_harness.h"

using namespace velmora;
using namespace velmora::testing;
using namespace velmora::commands;

TEST(Conditions, NumericOrTextComparison) {
    struct Case { const char* op; const char* left; const char* right; bool want; };
    const Case cases[] = {
        {"0", "10", "010", true},     {"0", " 10", "10", true},      {"0", "10", "1O", false},
        {"0", "$A", "$a", true},      {"0", "x10", "X10", true},     // hexadecimal: both are numbers
        {"0", "$G", "$g", false},
        {"2", "9", "10", false},      {"2", "b", "B", true},         {"2", "ab", "a", true},
        {"2", "\xe4", "z", true},     // bytes compare unsigned
        {"1", "123", "2", false},     {"1", "123", "x2", false},     {"1", "ax2b", "x2", true},
        {"1", "abc", "", false},      {"1", "", "a", false},
        {"3", "x\xc4" "Bx", "\xe4" "b", true},   // the ANSI mapping folds letters with accents
        {"3", "abc", "", false},
        {"4", "\xe4" "b", "\xc4" "B", false},    // only A-Z fold
        {"4", "Setup", "SETUP", true},
        {"7", "a", "a", false},       {"", "a", "a", false},
        {"0", "0x10", "16", true},    {"0", "$10", "16", true},      {"0", "2147483648", "2147483648", true},
        {"2", "2147483648", "3", false},   // too wide for 32 bits: compared as text
    };
    for (const auto& c : cases) EXPECT_EQ(CompareCondition(c.op, c.left, c.right), c.want) << c.op << " " << c.left << " " << c.right;
}

TEST(Conditions, OperandsAndNegation) {
    struct Case { std::string params; bool want; };
    // A holds "x"; B holds "$A$" (compared expanded); "$A$" is not a variable name.
    const Case cases[] = {
        {"A|0|x|FALSE", true},       {"$A$|0|x|FALSE", true},     {"B|0|x|FALSE", true},
        {"A|5||FALSE", true},        {"$A$|5||FALSE", false},
        {"A|1||FALSE", false},       {"A|1||TRUE", true},         {"A|7|x|FALSE", false},
        {"A|7|x|TRUE", true},        {"A|0|$A$|-1", false},
    };
    for (const auto& c : cases) {
        std::string ifStatement = "If\n";
        std::size_t start = 0;
        for (int k = 0; k < 4; ++k) {
            const std::size_t bar = c.params.find('|', start);
            ifStatement += "  | " + c.params.substr(start, bar - start) + "\n";
            start = bar + 1;
        }
        ScriptRun run("Set Variable\n  | A\n  | x\nSet Variable\n  | B\n  | $A$\nSet Variable\n  | R\n  | no\n" + ifStatement +
                      "Set Variable\n  | R\n  | yes\nEnd\n");
        ASSERT_EQ(run.run(), ScriptOutcome::Completed) << c.params;
        EXPECT_EQ(run.var("R"), c.want ? "yes" : "no") << c.params;
    }
}

TEST(ValueCommands, Mathematics) {
    struct Case { const char* a; int op; const char* b; std::optional<std::string> want; };
    const Case cases[] = {
        {"7", 3, "2", "3"},      {"-7", 3, "2", "-3"},     {"-7", 4, "2", "-1"},     {"5", 3, "0", std::nullopt},
        {"A", 11, "", "65"},     {"66", 12, "", "B"},      {"0", 10, "", "-1"},      {"", 11, "", std::nullopt},
        {"9223372036854775807", 0, "1", "-9223372036854775808"},                      // 64-bit wrap
        {"-9223372036854775808", 3, "-1", "-9223372036854775808"},
        {"1", 8, "63", "-9223372036854775808"}, {"1", 8, "64", "0"}, {"-1", 9, "60", "15"},
        {"12", 5, "10", "8"},    {"12", 6, "3", "15"},     {"12", 7, "10", "6"},     {"x", 0, "1", std::nullopt},
        {"$10", 0, "0x10", "32"}, {"1", 99, "1", std::nullopt},
    };
    for (const auto& c : cases) {
        MathematicsSequence sequence;
        EXPECT_EQ(Calculate(sequence, c.op, c.a, c.b), c.want) << c.a << " " << c.op << " " << c.b;
    }
    // The linear congruential sequence.
    MathematicsSequence s;
    EXPECT_EQ(Calculate(s, 13, "3", "1"), "4");
    EXPECT_EQ(Calculate(s, 14, "5", ""), "5");
    EXPECT_EQ(Calculate(s, 15, "100", ""), "16");
    EXPECT_EQ(Calculate(s, 15, "10", ""), "9");
    EXPECT_EQ(Calculate(s, 15, "0", ""), std::nullopt);
    EXPECT_EQ(s.seed, 148);   // advanced even though the call failed

    // Through the interpreter: a bad operation code stores the empty text, nothing raises.
    ScriptRun run("Mathematics\n  | 1\n  | 2\n  | abc\n  | R\nMathematics\n  | 20\n  | 22\n  | 0\n  | SUM\n");
    EXPECT_EQ(run.run(), ScriptOutcome::Completed);
    EXPECT_EQ(run.var("R"), "");
    EXPECT_TRUE(run.vars.HasVariable("R"));
    EXPECT_EQ(run.var("SUM"), "42");
}

TEST(ValueCommands, ExtractPath) {
    struct Case { const char* path; int part; const char* want; };
    const Case cases[] = {
        {R"(C:\Dir\file.tar.gz)", 0, "file.tar.gz"}, {R"(C:\Dir\file.tar.gz)", 1, "file.tar"},
        {R"(C:\Dir\file.tar.gz)", 2, "gz"},          {R"(C:\Dir\file.tar.gz)", 3, R"(C:\Dir\)"},
        {R"(C:\Dir\file.tar.gz)", 4, R"(C:\)"},      {R"(C:\Dir\file.tar.gz)", 5, R"(C:\)"},
        {R"(C:\A\B\f.txt)", 4, R"(C:\A\)"},         {R"(C:\f.txt)", 4, R"(C:\)"},
        {"f.txt", 4, ""},                            {"f.txt", 3, ""},       {"noext", 2, ""},
        {R"(\\srv\share\f.txt)", 5, R"(\\srv\share\)"}, {R"(\\srv\share\f.txt)", 6, R"(\srv\share\f.txt)"},
        {R"(C:\x)", 7, R"(C:\x)"},                   {R"(C:\x)", -1, R"(C:\x)"}, {"f.txt", 5, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ExtractPathPart(c.path, c.part), c.want) << c.path << " " << c.part;
}

TEST(ValueCommands, ReplaceString) {
    struct Case { const char* source; const char* find; const char* with; bool ignoreCase; bool all; const char* want; };
    const Case cases[] = {
        {"a-a-a", "a", "b", false, false, "b-a-a"}, {"a-a-a", "a", "b", false, true, "b-b-b"},
        {"aaaa", "aa", "a", false, true, "aa"},     {"A-a", "a", "b", false, true, "A-b"},
        {"A-a", "a", "b", true, true, "b-b"},       {"ab", "abc", "x", false, true, "ab"},
        {"", "a", "b", false, true, ""},            {"abc", "", "x", false, true, "abc"},
        {"aa", "a", "aa", false, true, "aaaa"},     // inserted text is not searched again
    };
    for (const auto& c : cases) EXPECT_EQ(ReplaceText(c.source, c.find, c.with, c.ignoreCase, c.all), c.want) << c.source;

    // A value holding a line break is not matched by the encoded find text.
    ScriptRun run("Set Variable\n  | V\n  | a$NEWLINE$b\nReplace String\n  | V\n  | $NEWLINE$\n  | -\n  | FALSE\n  | TRUE\n");
    EXPECT_EQ(run.run(), ScriptOutcome::Completed);
    EXPECT_EQ(run.var("V"), "a\r\nb");
}

TEST(ValueCommands, ParseString) {
    struct Case { const char* source; const char* pattern; const char* mode; const char* first; const char* second; };
    const Case cases[] = {
        {"a=b=c", "=", "0", "a", "b=c"},  {"a=b=c", "=", "1", "a=b", "c"},  {"a=b=c", "x", "0", "a=b=c", ""},
        {"a=b=c", "x", "1", "", "a=b=c"}, {"abcdef", "2", "2", "ab", "cdef"}, {"abcdef", "0", "2", "", "abcdef"},
        {"abcdef", "9", "2", "abcdef", ""}, {"abcdef", "x", "2", "", ""},   {"abcdef", "2", "3", "abcd", "ef"},
        {"abcdef", "6", "3", "", "abcdef"}, {"abcdef", "9", "3", "", "abcdef"}, {"abcdef", "0", "3", "abcdef", ""},
        {"abc", "b", "7", "", ""},
    };
    for (const auto& c : cases) {
        ScriptRun run(std::string("Parse String\n  | ") + c.source + "\n  | " + c.pattern + "\n  | P1\n  | P2\n  | " + c.mode +
                      "\n  | FALSE\n  | FALSE\n");
        ASSERT_EQ(run.run(), ScriptOutcome::Completed) << c.source << " " << c.mode;
        EXPECT_EQ(run.var("P1"), c.first) << c.source << " " << c.pattern << " mode " << c.mode;
        EXPECT_EQ(run.var("P2"), c.second) << c.source << " " << c.pattern << " mode " << c.mode;
    }
    // Ignore case finds the position; the parts keep their letters. Trim drops blanks.
    ScriptRun run("Parse String\n  | KEY=Value\n  | key\n  | P1\n  | P2\n  | 0\n  | FALSE\n  | TRUE\n"
                  "Parse String\n  |  a : b \n  | :\n  | T1\n  | T2\n  | 0\n  | TRUE\n  | FALSE\n"
                  "Parse String\n  | x\n  | y\n  | E1\n  | E2\n  | mode\n  | FALSE\n  | FALSE\n");
    EXPECT_EQ(run.run(), ScriptOutcome::Failed);   // the last mode is not an integer
    EXPECT_EQ(run.var("P1"), "");
    EXPECT_EQ(run.var("P2"), "=Value");
    EXPECT_EQ(run.var("T1"), "a");
    EXPECT_EQ(run.var("T2"), "b");
    EXPECT_TRUE(run.vars.HasVariable("E1"));    // created before the mode failed
}

TEST(ValueCommands, AssignmentsAndExpressions) {
    ScriptRun run("Set Variable\n  | NAME$QORV$QORV$TRUE\n  | one\n"
                  "Set Variable\n  | NAME$QORV$QORV$TRUE\n  | two\n"
                  "Set Variable\n  | OTHER$QORV$QORV$true\n  | x\n"
                  "Set Variable\n  | $REF$\n  | by reference\n"
                  "Set Variable\n  | A\n  | 10\n"
                  "Evaluate Expression\n  | $A$ = \"10\" and \"b\" = \"c\" or \"x\" = \"x\"\n  | E1\n"
                  "Evaluate Expression\n  | $MISSING$ = \"x\"\n  | E2\n"
                  "Evaluate Expression\n  | \"10\" < \"9\"\n  | E3\n"
                  "Set Variable\n  | P\n  | C:\\\\Dir\\\\Sub\n"
                  "Convert Case\n  | P\n  | TRUE\n"
                  "Set Variable\n  | Q\n  | c:\\a\n"
                  "Convert Path\n  | Q\n  | TRUE\n"
                  "Localization Variable\n  | $LV$\n  | local\n");
    ASSERT_EQ(run.run(), ScriptOutcome::Completed) << (run.platform.messages.empty() ? "" : run.platform.messages[0]);
    EXPECT_EQ(run.var("NAME"), "two");
    EXPECT_EQ(run.vars.PersistentVariables().toVector(), std::vector<std::string>{"NAME"});
    EXPECT_EQ(run.var("REF"), "by reference");
    EXPECT_EQ(run.var("E1"), "TRUE");
    EXPECT_EQ(run.var("E2"), "ERROR");
    EXPECT_EQ(run.var("E3"), "TRUE");
    EXPECT_EQ(run.var("P"), "C:\\DIR\\SUB");
    EXPECT_EQ(run.var("Q"), "SHORT:c:\\a");
    EXPECT_EQ(run.var("LV"), "local");
}
