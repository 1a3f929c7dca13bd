#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/compiler.h"

using namespace velmora;

namespace {

struct Statement {
    std::string name;
    std::vector<std::string> params; // parameter 1, 2, ...
    std::string flag;
};

Statement S(std::string name, std::vector<std::string> params = {}) { return {std::move(name), std::move(params), ""}; }
// A commented-out statement.
Statement C(std::string name, std::vector<std::string> params = {}) { return {std::move(name), std::move(params), "C"}; }

CompileResult compile(const std::vector<Statement>& script) {
    TextList names, flags;
    for (const auto& s : script) {
        names.add(s.name);
        flags.add(s.flag);
    }
    return CompileScript(names, flags, [&](std::size_t i, std::size_t k) {
        const auto& p = script.at(i).params;
        return k >= 1 && k <= p.size() ? p[k - 1] : std::string();
    });
}

constexpr std::int64_t kOk = CompileResult::kAccepted;
constexpr std::int64_t kEnds = 2147483644;
const std::string kNotDefined = "Variable not defined: ";

} // namespace

TEST(CompileScript, ResultsForScripts) {
    struct Case {
        const char* label;
        std::vector<Statement> script;
        std::int64_t index;
        std::string message;
    };
    const Case cases[] = {
        {"pre-declared condition", {S("If", {"TARGETDIR", "0", "x"}), S("End")}, kOk, "Script compiled successfully"},
        {"set only later", {S("If", {"LATER", "0", "x"}), S("End"), S("Set Variable", {"LATER", "1"})}, 0,
         kNotDefined + "LATER"},
        {"kept name declared for the whole script",
         {S("If", {"$later$", "0", "x"}), S("End"), S("Set Variable", {"Later$QORV$QORV$TRUE", "1"})}, kOk,
         "Script compiled successfully"},
        {"keep flag is case-sensitive",
         {S("If", {"LATER", "0", "x"}), S("End"), S("Set Variable", {"LATER$QORV$QORV$true", "1"})}, 0,
         kNotDefined + "LATER"},
        {"declared in script order", {S("Parse String", {"a=b", "=", "", "Right"}), S("If", {"$RIGHT$", "0", "$right$"}), S("End")},
         kOk, "Script compiled successfully"},
        {"run-time spelling is not pre-declared", {S("If", {"QORV_DISABLE_ROLLBACK", "0", "x"}), S("End")}, 0,
         kNotDefined + "QORV_DISABLE_ROLLBACK"},
        {"compile-time spelling", {S("If", {"QORV_DISABLEROLLBACK", "0", "x"}), S("End")}, kOk, "Script compiled successfully"},
        // block balance
        {"commented If not counted", {C("If", {"NOPE"}), S("Comment")}, kOk, "Script compiled successfully"},
        {"commented End not counted", {S("If", {"TITLE"}), C("End")}, kEnds, "Insufficient END statements"},
        {"one End too many", {C("If", {"TITLE"}), S("End")}, kEnds, "Too many END statements"},
        {"name case matters", {S("if", {"NOPE"}), S("set variable", {"X"})}, kOk, "Script compiled successfully"},
        {"balance before everything else", {S("GoTo Label", {"nowhere"}), S("If", {"TITLE"})}, kEnds,
         "Insufficient END statements"},
        // labels
        {"label inside If", {S("If", {"TITLE"}), S("Label", {"L"}), S("End")}, 1,
         "LABEL statements cannot be nested inside loops/conditionals"},
        {"label after a surplus End", {S("End"), S("Label", {"L"}), S("If", {"TITLE"})}, 1,
         "LABEL statements cannot be nested inside loops/conditionals"},
        {"label re-defined", {S("Label", {"Start"}), S("Label", {"START"})}, 1, "LABEL re-defined: START"},
        {"commented label still defines", {C("Label", {"Later"}), S("GoTo Label", {"later"})}, kOk,
         "Script compiled successfully"},
        {"label undefined", {S("GoTo Label", {"Nowhere"})}, 0, "LABEL undefined: Nowhere"},
        // command rules
        {"block name illegal", {S("Web Media Block", {"C:\\a\\bad?name", "http://h/x"})}, 0,
         "Web Media Block name must be a legal file name"},
        {"block name ok after last separator", {S("Web Media Block", {"a/b:Part1", "http://h/x"})}, kOk,
         "Script compiled successfully"},
        {"block without URL", {S("Web Media Block", {"Part1", ""})}, 0, "Web Media Block must have at least one download URL"},
        {"both block errors report the URL", {S("Web Media Block", {"bad|", ""})}, 0,
         "Web Media Block must have at least one download URL"},
        {"empty block name", {S("Web Media Block", {"", ""})}, kOk, "Script compiled successfully"},
        {"delete without mode", {S("Comment"), S("Delete Files", {"*.tmp", "C:\\", "FALSE", "1"})}, 1,
         "At least one delete mode must be selected"},
        {"install without target", {S("Install Files", {"Main", "", ""})}, 0,
         "A target folder must be specified for files that are being installed.\rThe value $TARGETDIR$ represents "
         "the destination folder chosen by the user."},
        {"existence test takes the text as written", {S("Convert Path", {"$TARGETDIR$", "TRUE"})}, 0,
         kNotDefined + "$TARGETDIR$"},
        {"existence test ignores case", {S("Replace String", {"targetdir", "a", "b"})}, kOk, "Script compiled successfully"},
        {"expression syntax", {S("Evaluate Expression", {"$A$ = \"x\" and $B$ <> \"\"", "R"}), S("If", {"R"}), S("End")},
         kOk, "Script compiled successfully"},
        {"expression error", {S("Evaluate Expression", {"\"a\" == \"b\"", "R"})}, 0,
         "Syntax error in expression. Please review the help topic \"Evaluate Expression\" for the correct syntax."},
        {"condition needs a variable", {S("If", {"", "0", "x"}), S("End")}, 0, "Variable required"},
        {"condition value reference", {S("If", {"$TITLE$", "0", "$NOPE$"}), S("End")}, 0, kNotDefined + "$NOPE$"},
        {"both condition tests fail", {S("If", {"X", "0", "$Y$"}), S("End")}, 0, kNotDefined + "$Y$"},
        {"Else If checked too", {S("If", {"TITLE"}), S("Else If", {"UNKNOWN"}), S("End")}, 1, kNotDefined + "UNKNOWN"},
        {"result variable required", {S("Is MSI Setup Installed", {"{guid}", ""})}, 0, "Variable required"},
        {"dialog name", {S("Display Dialog", {"", "RES"})}, 0, "Dialog name not specified"},
        {"dialog condition", {S("Display Dialog", {"welcome", "RES", "", "$UNDECL$"})}, 0, kNotDefined + "$UNDECL$"},
        {"dialog result declared", {S("Display Dialog", {"welcome", "Res"}), S("If", {"RES"}), S("End")}, kOk,
         "Script compiled successfully"},
        // wizard loops
        {"set variable in a wizard loop",
         {S("Wizard Loop"), S("Display Dialog", {"a"}), S("Set Variable", {"X", "1"}), S("End")}, 2,
         "Statements other than DISPLAY DIALOG not allowed inside WIZARD LOOP"},
        {"allowed wizard loop content",
         {S("Wizard Loop"), S("Display Dialog", {"a"}), S("Comment"), C("Set Variable", {"X"}), S("Ignore"), S("End"),
          S("Set Variable", {"X", "1"})},
         kOk, "Script compiled successfully"},
    };
    for (const auto& c : cases) {
        const CompileResult r = compile(c.script);
        EXPECT_EQ(r.index, c.index) << c.label;
        EXPECT_EQ(r.message, c.message) << c.label;
        EXPECT_EQ(r.accepted(), c.index == kOk) << c.label;
    }
}

TEST(CompileScript, BuildsStatementStatesAndLabels) {
    const CompileResult r = compile({
        S("Label", {"start"}),
        S("Write Registry", {"HKLM"}),
        C("Install Files", {"Main", "", "$TARGETDIR$"}),   // commented: never checked, stays SKIP
        S("Install Files", {"Main", "", "$TARGETDIR$"}),
        S("Set Variable", {"X", "1"}),
        S("Delete Files", {"*.tmp", "", "", "TRUE"}),
        S("Create Folder", {"C:\\x"}),
        C("Label", {"Old"}),
        S("Unknown Plug-in Command"),
    });
    ASSERT_TRUE(r.accepted()) << r.message;
    EXPECT_EQ(r.statementStates.toVector(),
              (std::vector<std::string>{"SKIP", "FALSE", "SKIP", "FALSE", "SKIP", "FALSE", "FALSE", "SKIP", "SKIP"}));
    EXPECT_EQ(r.labelTable.toVector(), (std::vector<std::string>{"START", "OLD"}));
}
