// The component commands run through the interpreter: definitions, selection, sizes, locks,
// visibility, and the feature selections saved to and loaded from a file.
#include <gtest/gtest.h>

#include "cache_fakes.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

std::string S(const std::string& name, std::vector<std::string> params = {}) {
    std::string out = name + "\n";
    for (const auto& p : params) out += "  | " + p + "\n";
    return out;
}
std::string define(const std::string& name, const std::string& selected, const std::string& description = "") {
    return S("Define Component", {name, selected, description});
}
std::string state(const std::string& name, const std::string& into) { return S("Get Component State", {name, into}); }
std::string space(const std::string& name, const std::string& into) { return S("Get Component Space", {name, into}); }


} // namespace

TEST(ComponentCommands, SelectionAndDefinitions) {
    CacheRun run(define("Tools", "TRUE", "Old text") +
                 S("Set Component State", {"Tools", "FALSE"}) +
                 define("tools", "TRUE", "New text") +   // a definition never overrides a selection
                 state("TOOLS", "AFTER_REDEFINE") +
                 define("Docs", "TRUE") + S("Delete Component", {"Docs"}) + state("Docs", "DELETED") +
                 define("Docs", "FALSE") + state("Docs", "BACK") +  // brought back with its old state
                 S("Set Variable", {"C", "Extra"}) + define("$C$", "-1") + state("extra", "EXPANDED") +
                 state("Nothing", "UNKNOWN") + state("Tools", "") +
                 state(std::string(kPredefinedComponent), "PREDEF"));
    ASSERT_EQ(run.go(), ScriptOutcome::Completed) << run.message();
    const struct { const char* variable; const char* value; } expected[] = {
        {"AFTER_REDEFINE", "FALSE"}, {"DELETED", "FALSE"}, {"BACK", "TRUE"},
        {"EXPANDED", "TRUE"},        {"UNKNOWN", "FALSE"}, {"PREDEF", "TRUE"},
    };
    for (const auto& e : expected) EXPECT_EQ(run.var(e.variable), e.value) << e.variable;
    const ComponentModel& model = run.run.setup.components;
    EXPECT_EQ(model.ComponentDescription("Tools"), "New text");
    EXPECT_EQ(model.ComponentNames(), (TextList{std::string(kPredefinedComponent), "Tools", "Docs", "Extra"}));
    // An empty result variable stores nothing, not even an empty variable.
    EXPECT_FALSE(run.run.vars.HasVariable(""));
}

TEST(ComponentCommands, Space) {
    const TextList sizes{"QORV-PREDEF-COMPONENT", "1000", "APP", "5000", "EXTRAS", "300", "BROKEN", "12a"};
    CacheRun run(define("App", "TRUE") + define("Extras", "FALSE") + space("", "REQUIRED") +
                                 space("Extras", "EXTRAS_SIZE") + space("Nope", "UNKNOWN_SIZE") +
                                 S("Set Component Space", {"Extras", "12a"}) +      // not an integer: no change
                                 S("Set Component Space", {"Unknown", "77"}) +      // no such component: no change
                                 define("Later", "TRUE") + S("Set Variable", {"N", "4096"}) +
                                 S("Set Component Space", {"later", "$N$"}) + space("", "REQUIRED_AFTER") +
                                 space("Extras", "EXTRAS_AFTER") + space("Unknown", "UNKNOWN_AFTER"));
    run.run.setup.payload.componentSizes = sizes;
    ASSERT_EQ(run.go(), ScriptOutcome::Completed) << run.message();
    EXPECT_EQ(run.var("REQUIRED"), "6000");              // the predefined component counts
    EXPECT_EQ(run.var("EXTRAS_SIZE"), "300");
    EXPECT_EQ(run.var("UNKNOWN_SIZE"), "0");
    EXPECT_EQ(run.var("REQUIRED_AFTER"), "10096");       // "Later" got its size through the variable
    EXPECT_EQ(run.var("EXTRAS_AFTER"), "300");
    EXPECT_EQ(run.var("UNKNOWN_AFTER"), "0");

    // A size line that is not a number ends the script when a statement reads it.
    CacheRun broken(define("Broken", "TRUE") + space("Broken", "X") + S("Set Variable", {"AFTER", "ran"}));
    broken.run.setup.payload.componentSizes = sizes;
    EXPECT_EQ(broken.go(), ScriptOutcome::Failed);
    EXPECT_EQ(broken.message(), "Runtime error in setup script:\r\rLine 2: '12a' is not a valid integer value");
    EXPECT_EQ(broken.var("AFTER"), "");
}

TEST(ComponentCommands, ChoiceAndVisibilityLists) {
    CacheRun run(define("Program", "TRUE") + define("Program\\Help", "TRUE") +
                 S("Set Component Visibility", {"Program", "FALSE"}) + S("Set Component Visibility", {"program", "FALSE"}) +
                 S("Set Component Visibility", {"Ghost", "FALSE"}) +              // only existing components are hidden
                 S("Set Component Choice", {"Program\\Help", "FALSE"}) + S("Set Component Choice", {"Program", "FALSE"}) +
                 S("Set Component Choice", {"PROGRAM", "TRUE"}));
    ASSERT_EQ(run.go(), ScriptOutcome::Completed) << run.message();
    const ComponentModel& model = run.run.setup.components;
    EXPECT_EQ(model.HiddenComponents(), (TextList{"Program"}));
    EXPECT_TRUE(model.IsHiddenOrUnderHiddenLevel("Program\\Help"));
    EXPECT_EQ(model.ChoiceLockedComponents(), (TextList{"Program\\Help"}));

    CacheRun shown(define("Program", "TRUE") + S("Set Component Visibility", {"Program", "FALSE"}) +
                   S("Set Component Visibility", {"PROGRAM", "TRUE"}));
    ASSERT_EQ(shown.go(), ScriptOutcome::Completed);
    EXPECT_TRUE(shown.run.setup.components.HiddenComponents().empty());
}

TEST(ComponentCommands, SaveAndLoadFeatureSelections) {
    const std::string file = R"(C:\Choices\selection.dat)";
    CacheRun run(define("App", "TRUE") + define("Extras", "FALSE") + define("Old", "TRUE") +
                 S("Delete Component", {"Old"}) + S("Set Component Visibility", {"Extras", "FALSE"}) +
                 S("Set Variable", {"SERIAL$QORV$QORV$TRUE", "12$NEWLINE$34"}) +
                 S("Set Variable", {"TARGETDIR", R"(D:\Apps\)"}) +
                 S("Save Feature Selections", {file}) +
                 // Change everything, then load the file back.
                 S("Set Component State", {"App", "FALSE"}) + S("Set Component State", {"Extras", "TRUE"}) +
                 S("Set Component Visibility", {"Extras", "TRUE"}) + define("Old", "TRUE") +
                 define("New", "TRUE") + S("Set Variable", {"SERIAL", "changed"}) +
                 S("Set Variable", {"TARGETDIR", R"(E:\Elsewhere\)"}) +
                 S("Load Feature Selections", {file}) +
                 S("Load Feature Selections", {R"(C:\Choices\missing.dat)"}));
    run.files.addFolder(R"(C:\Choices)");
    ASSERT_EQ(run.go(), ScriptOutcome::Completed) << run.message();

    // The saved file: no data folder line, the persistent value on one line.
    const std::string saved = run.files.file(file);
    EXPECT_NE(saved.find("D:\\Apps\\\r\nTRUE\r\nTest\r\n\r\nSERIAL\r\n12$NEWLINE$34\r\nQORV64WOW\r\nWin32\r\nOVERRIDECACHE\r\n\r\n"),
              std::string::npos)
        << saved;

    const ComponentModel& model = run.run.setup.components;
    EXPECT_EQ(model.ComponentNames(), (TextList{std::string(kPredefinedComponent), "App", "Extras", "Old", "New"}));
    EXPECT_EQ(model.ComponentStates(), (TextList{"TRUE", "TRUE", "FALSE", "TRUE", "TRUE"}));   // New keeps its own
    EXPECT_EQ(model.DeletedComponents(), (TextList{"Old"}));
    EXPECT_EQ(model.HiddenComponents(), (TextList{"Extras"}));
    EXPECT_EQ(run.var("TARGETDIR"), R"(D:\Apps\)");
    EXPECT_EQ(run.var("SERIAL"), "12$NEWLINE$34");
    EXPECT_EQ(run.run.vars.ExpandText("$SERIAL$"), "12\r\n34");
}
