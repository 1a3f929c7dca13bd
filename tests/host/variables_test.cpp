#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "script/reserved_properties.h"
#include "script/variables.h"

using namespace velmora;

namespace {

std::vector<std::string> items(const TextList& list) { return list.toVector(); }

} // namespace

TEST(VariableStore, NamesIgnoreCaseAndKeepFirstSpelling) {
    TVariableManager store;
    store.StoreValue("Name", "a");
    store.StoreValue("NAME", "b");
    store.StoreValue("", "ignored");
    store.StoreValue("EMPTY", "");
    TextList pairs{"stale"};
    EXPECT_EQ(store.ListPairs(pairs), 4u);
    const auto at = pairs.indexOf("name");
    ASSERT_NE(at, TextList::npos);
    EXPECT_EQ(pairs[at], "Name");
    EXPECT_EQ(pairs[at + 1], "b");
    EXPECT_TRUE(store.HasVariable("empty"));       // an empty value is not an absent variable
    EXPECT_FALSE(store.HasVariable("MISSING"));
    EXPECT_FALSE(store.HasVariable(""));
    EXPECT_EQ(store.FetchValue("MISSING"), "");
    store.ClearAll();
    EXPECT_FALSE(store.HasVariable("Name"));
}

class Expansion : public ::testing::Test {
protected:
    void SetUp() override {
        store.StoreValue("TITLE", "My App");
        store.StoreValue("TargetDir", "C:\\Prog\\");
        store.StoreValue("X", "x");
        store.StoreValue("EMPTY", "");
        store.StoreValue("PRELIST", "a$TITLE$b");
        store.StoreValue("NEST", "$PRELIST$!");
        store.StoreValue("SPLIT", "pre$TI");   // its "$" pairs with a "$" of the text after it
        store.StoreValue("QUOTED", "say \"hi\"");
    }
    TVariableManager store;
};

TEST_F(Expansion, Text) {
    struct Case { const char* text; const char* want; };
    const Case cases[] = {
        {"no dollars here", "no dollars here"},
        {"$targetdir$bin", "C:\\Prog\\bin"},
        {"Price: 5$", "Price: 5$"},
        {"$NOPE$ and $TITLE$", "$NOPE$ and My App"},
        {"a$b$c$TITLE$", "a$b$cMy App"},            // tokens tried: b, c, TITLE
        {"a$b$X$TITLE$", "a$bxTITLE$"},             // the closing "$" of $b$ opens $X$
        {"$", "$"},
        {"$$", "$$"},
        {"$X", "$X"},
        {"$$X$", "$x"},
        {"$$$X$$", "$$x$"},
        {"<$EMPTY$>", "<>"},
        {"[$NEST$]", "[aMy Appb!]"},                // values are expanded where inserted
        {"$SPLIT$TLE$", "preMy App"},
        {"$X$$X$", "xx"},
    };
    for (const auto& c : cases) EXPECT_EQ(store.ExpandText(c.text), c.want) << c.text;
}

TEST_F(Expansion, QuotedAndPath) {
    EXPECT_EQ(store.ExpandQuoted("$TITLE$ = \"x\""), "\"My App\" = \"x\"");
    EXPECT_EQ(store.ExpandQuoted("$NOPE$ = $X$"), "$NOPE$ = \"x\"");
    EXPECT_EQ(store.ExpandQuoted("$QUOTED$"), "\"say \"hi\"\"");   // inner quotes not doubled
    EXPECT_EQ(store.ExpandQuoted("$PRELIST$"), "\"a\"My App\"b\"");

    struct Case { const char* text; const char* want; };
    const Case paths[] = {
        {"$TARGETDIR$\\bin", "C:\\Prog\\bin"},
        {"\\\\srv\\\\share\\\\$X$", "\\\\srv\\share\\x"},
        {"a\\\\\\\\b", "a\\\\b"},          // pairs collapse left to right, no rescanning
        {"a\\\\\\b", "a\\\\b"},
        {"C:\\plain", "C:\\plain"},
    };
    for (const auto& c : paths) EXPECT_EQ(store.ExpandPath(c.text), c.want) << c.text;
    EXPECT_EQ(CollapseDoubledBackslashes("\\\\srv\\\\share", false), "\\srv\\share");
}

TEST(ExpansionGuard, SelfReferenceStopsAndReturnsTextSoFar) {
    TVariableManager store;
    store.StoreValue("LOOP", "$LOOP$");
    store.StoreValue("GROW", "x$GROW$");
    store.StoreValue("PING", "$PONG$");
    store.StoreValue("PONG", "$PING$y");
    store.StoreValue("BIG", std::string(1 << 20, 'b') + "$BIG$");

    EXPECT_EQ(store.ExpandText("[$LOOP$]"), "[$LOOP$]");
    EXPECT_EQ(store.ExpandText("$GROW$"), std::string(ExpansionLimits{}.maxSubstitutions, 'x') + "$GROW$");
    EXPECT_EQ(store.ExpandText("$PING$"), "$PING$" + std::string(ExpansionLimits{}.maxSubstitutions / 2, 'y'));

    const std::string big = store.ExpandText("$BIG$");
    EXPECT_LE(big.size(), ExpansionLimits{}.maxGrowthBytes + 5);
    EXPECT_GT(big.size(), ExpansionLimits{}.maxGrowthBytes - (2u << 20));
    EXPECT_TRUE(big.ends_with("b$BIG$"));

    TVariableManager tight(ExpansionLimits{10, 1000});
    tight.StoreValue("GROW", "x$GROW$");
    tight.StoreValue("WIDE", std::string(300, 'w') + "$WIDE$");
    EXPECT_EQ(tight.ExpandText("$GROW$"), "xxxxxxxxxx$GROW$");
    const std::string wide = tight.ExpandText("<$WIDE$>");
    EXPECT_EQ(wide.substr(0, 901), std::string("<").append(900, 'w'));
    EXPECT_EQ(wide.substr(901), "$WIDE$>");
}

TEST(SilentGuard, CommandLineValueWinsOnlyWhenSilent) {
    struct Case {
        const char* label;
        bool silent;
        TextList commandLine;
        const char* name;
        const char* reason;
        const char* want;
    };
    const Case cases[] = {
        {"interactive: script wins", false, {"TARGETDIR", "C:\\X"}, "TARGETDIR", "Set Variable Action", "C:\\Y"},
        {"silent: command line wins", true, {"TARGETDIR", "C:\\X"}, "TARGETDIR", "Set Variable Action", "C:\\X"},
        {"silent, other letter case", true, {"TARGETDIR", "C:\\X"}, "targetDir", "Display Dialog", "C:\\X"},
        {"silent: injection overrides", true, {"TARGETDIR", "C:\\X"}, "TARGETDIR", "Inject Override Command Line", "C:\\Y"},
        {"silent: value line equal to the name", true, {"OTHER", "TARGETDIR"}, "TARGETDIR", "Set Variable Action", "C:\\Y"},
        {"silent: later name line after a value line", true, {"OTHER", "TARGETDIR", "TARGETDIR", "1"}, "TARGETDIR",
         "Set Variable Action", "C:\\X"},
    };
    for (const auto& c : cases) {
        TVariableManager store;
        store.StoreValue("TARGETDIR", "C:\\X");
        store.SetCommandLineAssignments(c.commandLine);
        store.SetSilentMode(c.silent);
        store.AssignVariable(c.name, "C:\\Y", c.reason);
        EXPECT_EQ(store.FetchValue("TARGETDIR"), c.want) << c.label;
    }
}

TEST(SilentGuard, CreationAndResults) {
    TVariableManager store;
    store.SetCommandLineAssignments({"PROTECTED", "1"});
    store.SetSilentMode(true);
    store.AssignVariable("protected", "2", "Set Variable Action");
    EXPECT_FALSE(store.HasVariable("PROTECTED"));     // the guard also stops creation
    store.DefineVariable("protected", "3", "Initialization");
    EXPECT_EQ(store.FetchValue("PROTECTED"), "3");   // a missing variable is always defined
    store.DefineVariable("protected", "4", "Initialization");
    EXPECT_EQ(store.FetchValue("PROTECTED"), "3");

    store.AssignVariable("fresh", "v", "Set Variable Action");   // silent: stored upper-cased
    store.SetSilentMode(false);
    store.StoreResult("Read Registry", "regValue", "data");       // missing: created upper-cased
    store.AssignVariable("Lower", "w", "Set Variable Action");
    TextList pairs;
    store.ListPairs(pairs);
    const auto spelled = pairs.toVector();
    for (const char* name : {"FRESH", "REGVALUE", "Lower"})
        EXPECT_NE(std::find(spelled.begin(), spelled.end(), name), spelled.end()) << name;
    EXPECT_EQ(store.FetchValue("REGVALUE"), "data");
}

TEST(TextConventions, TruthReferencesNewlines) {
    for (const char* yes : {"TRUE", "true", "tRuE", "-1"}) EXPECT_TRUE(ParseBool(yes)) << yes;
    for (const char* no : {"1", "yes", "", " TRUE", "TRUE ", "-1 ", "FALSE"}) EXPECT_FALSE(ParseBool(no)) << no;
    EXPECT_EQ(BoolText(true), "TRUE");
    EXPECT_EQ(BoolText(false), "FALSE");

    struct Case { const char* text; const char* want; };
    const Case refs[] = {{"$TARGETDIR$", "TARGETDIR"}, {"$A$", "A"}, {"TARGETDIR", ""}, {"$A$B$", ""},
                         {"$X", ""}, {"$", ""}, {"$$", ""}, {"A$", ""}};
    for (const auto& c : refs) EXPECT_EQ(StripReference(c.text), c.want) << c.text;

    EXPECT_EQ(EncodeNewlines("a\r\nb\r\r\n\n"), "a$NEWLINE$b\r$NEWLINE$\n");
    EXPECT_EQ(DecodeNewlines("a$newline$b$NEWLINE$NEWLINE$"), "a\r\nb\r\nNEWLINE$");
    EXPECT_EQ(DecodeNewlines(EncodeNewlines("x\r\ny")), "x\r\ny");

    TVariableManager store;
    store.StoreValue("Shown", "$TITLE$ here");
    store.StoreValue("TITLE", "App");
    EXPECT_EQ(store.ResolveReference("$shown$", "$QORVNX$"), "App here");
    EXPECT_EQ(store.ResolveReference("SHOWN", ""), "App here");
    EXPECT_EQ(store.ResolveReference("$MISSING$", "$QORVNX$"), "$QORVNX$");
}

TEST(CommaForm, WriteAndReadBack) {
    struct Case { std::vector<std::string> items; std::string text; };
    const Case cases[] = {
        {{}, ""},
        {{""}, "\"\""},
        {{"", ""}, ","},
        {{"TITLE", "My App", "EMPTY", ""}, "TITLE,\"My App\",EMPTY,"},
        {{"", "x"}, ",x"},
        {{"a\"b", "c,d"}, "\"a\"\"b\",\"c,d\""},
        {{"line\r\nbreak", "tab\there"}, "\"line\r\nbreak\",\"tab\there\""},
        {{std::string("nul\0in", 6)}, std::string("\"nul\0in\"", 8)},
        {{"\xe9t\xe9", "$QORV$", "C:\\Dir\\"}, "\xe9t\xe9,$QORV$,C:\\Dir\\"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CommaText(TextList(c.items)), c.text);
        EXPECT_EQ(items(ParseCommaText(c.text)), c.items) << c.text;
    }
}

TEST(CommaForm, ReadsLooseText) {
    struct Case { std::string text; std::vector<std::string> items; };
    const Case cases[] = {
        {"  a , b ", {"a", "b"}},
        {"a b", {"a", "b"}},                  // a blank ends an unquoted item
        {"a,,b", {"a", "", "b"}},
        {"a, ", {"a"}},                       // only a comma at the very end adds an item
        {"\"unterminated", {"unterminated"}},
        {"\"a\"b", {"a", "b"}},
        {"x\"y", {"x\"y"}},
        {std::string("a,\0b", 4), {"a", ""}},  // a NUL outside quotes ends the text
    };
    for (const auto& c : cases) EXPECT_EQ(items(ParseCommaText(c.text)), c.items) << c.text;
}

TEST(CommaForm, SnapshotRestoresTheWholeStore) {
    TVariableManager store;
    store.StoreValue("TITLE", "My App");
    store.StoreValue("EMPTY", "");
    store.StoreValue("Quote", "a \"q\", b\r\nc");
    const std::string snapshot = store.VariableSnapshot();

    TVariableManager other;
    other.StoreValue("STALE", "1");
    other.RestoreSnapshot(snapshot + ",UNPAIRED");
    EXPECT_FALSE(other.HasVariable("STALE"));
    EXPECT_FALSE(other.HasVariable("UNPAIRED"));
    EXPECT_EQ(other.FetchValue("TITLE"), "My App");
    EXPECT_TRUE(other.HasVariable("EMPTY"));
    EXPECT_EQ(other.FetchValue("QUOTE"), "a \"q\", b\r\nc");
    TextList pairs;
    EXPECT_EQ(other.ListPairs(pairs), 6u);
    EXPECT_NE(pairs.indexOf("Quote"), TextList::npos);
}

TEST(CompilerVariables, ReplaceAndRepeat) {
    struct Case { const char* label; const char* text; TextList pairs; std::string want; };
    const Case cases[] = {
        {"ignores case", "#buildmode#", {"BUILDMODE", "WEB"}, "WEB"},
        {"no hash", "$X$ plain", {"X", "y"}, "$X$ plain"},
        {"unknown stays", "#A# #B#", {"A", "1"}, "1 #B#"},
        {"adjacent and overlapping", "#A##A#a#b#", {"A", "x", "B", "2"}, "xxa2"},
        {"no repeat without $", "#A#", {"B", "b", "A", "#B#"}, "#B#"},
        {"repeat while $ brought in", "#A#", {"B", "b", "A", "#B#$"}, "b$"},
        {"looping value bounded", "#A#", {"A", "$#A#"}, std::string(kMaxCompilerRounds, '$') + "#A#"},
    };
    for (const auto& c : cases) EXPECT_EQ(ExpandCompilerVariables(c.text, c.pairs), c.want) << c.label;

    const std::string doubled = ExpandCompilerVariables("#A#", {"A", "#A##A#$"});
    EXPECT_LE(doubled.size(), kMaxCompilerGrowthBytes + 3);
    EXPECT_GT(doubled.size(), kMaxCompilerGrowthBytes / 4);
}

TEST(ReservedProperties, CatalogueLookUp) {
    const auto names = ReservedPropertyNames();
    ASSERT_EQ(names.size(), 207u);
    EXPECT_EQ(names.front(), "MSIDISABLEEEUI");
    EXPECT_EQ(names.back(), "VERSIONMSI");
    for (const char* yes : {"ALLUSERS", "allusers", "MsiLogging", "MSILOGGING", "SourceDir", "REDIRECTEDDLLSUPORT",
                            "SUPPORTDIR", "ProductCode"})
        EXPECT_TRUE(IsReservedProperty(yes)) << yes;
    for (const char* no : {"REDIRECTEDDLLSUPPORT", "TARGETDIR", "", "ALLUSERS "}) EXPECT_FALSE(IsReservedProperty(no)) << no;
}

TEST(VariableStore, WorkersAndReadersShareTheStore) {
    TVariableManager store;
    store.StoreValue("QORV_thProgress", "0");
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        for (int i = 0; i < 20000; ++i) store.StoreValue("QORV_thProgress", std::to_string(i % 100) + "%");
        stop = true;
    });
    int reads = 0;
    std::string torn;
    while (!stop) {
        const std::string shown = store.ExpandText("$QORV_THPROGRESS$");
        if (shown != "0" && (shown.size() < 2 || shown.back() != '%')) torn = shown;
        ++reads;
    }
    worker.join();
    EXPECT_EQ(torn, "");
    EXPECT_EQ(store.FetchValue("QORV_thProgress"), "99%");
    EXPECT_GT(reads, 0);
}
