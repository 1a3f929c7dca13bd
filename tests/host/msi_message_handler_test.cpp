// The installer's messages: progress fields and rules, action texts, message boxes and answers,
// publishing of the progress variables and the cancel answer.
#include <gtest/gtest.h>

#include "msi/message_handler.h"
#include "msi/worker_progress.h"
#include "msi_fakes.h"
#include "script/variables.h"

using namespace velmora;
using namespace velmora::msi;
using velmora::testing::FakeInstallerHost;

TEST(ProgressFields, Parsing) {
    struct Case { const char* text; ProgressFields want; };
    const Case cases[] = {
        {"1: 0 2: 1000 3: 0 4: 1 ", {0, 1000, 0, 1}},
        {"1: 2 2: 250 ", {2, 250, 0, 0}},
        {"1: 2 2: 18446744073709551615 ", {2, 18446744073709551615ull, 0, 0}},
        {"1: 2 2: ", {2, 0, 0, 0}},            // no digits: 0
        {"1: 3 2: -5 ", {3, 0, 0, 0}},         // a minus is not a digit: the field ends there
        {"4: 7 1: 9", {7, 9, 0, 0}},           // fields are positional, whatever their digit
        {"5: 1 2: 3", {0, 0, 0, 0}},           // 5 is not a field digit
        {"1:2 2: 3", {0, 0, 0, 0}},            // the blank after the colon is required
        {"Progress", {0, 0, 0, 0}},
        {"1: 1 2: 2 3: 3 4: 4 1: 5", {1, 2, 3, 4}},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseProgressFields(c.text), c.want) << c.text;
}

TEST(ProgressRules, ResetReportActionInfoAndTotal) {
    ProgressState s;
    ApplyProgressFields(s, ParseProgressFields("1: 0 2: 1000 3: 0 4: 1 "));
    ApplyProgressFields(s, ParseProgressFields("1: 2 2: 250 "));
    EXPECT_EQ(s.total, 1000);
    EXPECT_EQ(s.position, 250);
    ApplyProgressFields(s, ParseProgressFields("1: 1 2: 25 3: 1 "));
    EXPECT_EQ(s.step, 25);
    ApplyProgressFields(s, ParseProgressFields("1: 3 2: 500 "));
    EXPECT_EQ(s.total, 1500);

    // A reset without a total keeps it; a backward reset makes reports go down.
    ApplyProgressFields(s, ParseProgressFields("1: 0 2: 0 3: 1 "));
    EXPECT_EQ(s.total, 1500);
    EXPECT_EQ(s.position, 0);
    EXPECT_EQ(s.step, 0);
    EXPECT_EQ(s.direction, -1);
    ApplyProgressFields(s, ParseProgressFields("1: 2 2: 10 "));
    EXPECT_EQ(s.position, -10);
    // A reset with another direction value leaves the direction; a text that is not fields
    // acts as a reset keeping the total.
    ApplyProgressFields(s, ParseProgressFields("1: 0 2: 0 3: 7 "));
    EXPECT_EQ(s.direction, -1);
    s.position = 40;
    ApplyProgressFields(s, ParseProgressFields("garbage"));
    EXPECT_EQ(s.position, 0);
    EXPECT_EQ(s.total, 1500);
    EXPECT_EQ(s.direction, 1);
    // Action info with a step above 2^31 keeps its low 32 bits as a signed value.
    ApplyProgressFields(s, ParseProgressFields("1: 1 2: 4294967295 3: 1 "));
    EXPECT_EQ(s.step, -1);
}

TEST(ProgressRules, ActionStartText) {
    EXPECT_EQ(ActionStartText("Action 10:11:12: InstallFiles. Copying new files"), "Copying new files");
    EXPECT_EQ(ActionStartText("No full stop here"), "No full stop here");
    EXPECT_EQ(ActionStartText("Ends with a stop."), "");
    EXPECT_EQ(ActionStartText("A.B.C"), ".C");
}

namespace {

struct HandlerRun {
    TVariableManager vars;
    FakeInstallerHost host;
    InstallRequest request;
    InstallerMessageHandler handler{request, host, [this](const std::string& t, std::int64_t mn, std::int64_t tot, std::int64_t pos) {
                                        return PublishProgress(vars, t, mn, tot, pos);
                                    }};
    HandlerRun(bool silent) {
        request.silent = silent;
        request.title = "Sample Setup";
        request.ownerWindow = 77;
        vars.StoreValue("QORV_thCancelled", "FALSE");
    }
    int send(std::uint32_t type, const std::string& text, std::uint32_t style = 0) {
        return handler.OnInstallerMessage((type << 24) | style, text);
    }
};

} // namespace

TEST(InstallerMessages, AnswersByTypeSilentAndNot) {
    struct Case { std::uint32_t type; int silentAnswer; int shownAnswer; bool box; };
    const Case cases[] = {
        {kMessageFatalExit, 0, 4, true},   {kMessageError, 1, 4, true},       {kMessageWarning, 1, 4, true},
        {kMessageUser, 1, 4, true},        {kMessageInfo, 1, 1, false},       {kMessageResolveSource, 0, 0, false},
        {kMessageOutOfDiskSpace, 1, 4, true}, {kMessageActionStart, 1, 1, false}, {kMessageActionData, 1, 1, false},
        {kMessageProgress, 1, 1, false},   {kMessageCommonData, 1, 1, false}, {kMessageInitialize, 1, 1, false},
        {kMessageTerminate, 1, 1, false},  {kMessageShowDialog, 1, 1, false}, {0x05, 0, 0, false},
        {0x19, 0, 0, false},               {0x0F, 0, 0, false},
    };
    for (const auto& c : cases) {
        HandlerRun silent(true);
        EXPECT_EQ(silent.send(c.type, "text"), c.silentAnswer) << c.type;
        EXPECT_TRUE(silent.host.boxes.empty()) << c.type;
        HandlerRun shown(false);
        shown.host.buttons.push_back(4);   // Retry
        EXPECT_EQ(shown.send(c.type, "text"), c.shownAnswer) << c.type;
        EXPECT_EQ(shown.host.boxes.size(), c.box ? 1u : 0u) << c.type;
    }
}

TEST(InstallerMessages, BoxesCarryCaptionWordStyleAndRecordTheLastMessage) {
    HandlerRun run(false);
    run.send(kMessageFatalExit, "It broke", 0x1);
    run.send(kMessageWarning, "Careful", 0x3);
    run.send(kMessageUser, "Sure?", 0x4);
    run.send(kMessageOutOfDiskSpace, "Full", 0x5);
    run.send(kMessageError, "Bad thing", 0x2);
    const std::vector<std::string> want = {
        "Sample Setup|Fatal Error\r\rIt broke|17",  "Sample Setup|Warning\r\rCareful|51", "Sample Setup|Sure?|36",
        "Sample Setup|Out of Disk Space\r\rFull|21", "Sample Setup|Error\r\rBad thing|18",
    };
    EXPECT_EQ(run.host.boxes, want);
    EXPECT_EQ(run.request.lastMessage, "Bad thing");
    // A fatal exit in silent mode is answered 0 and still recorded.
    HandlerRun silent(true);
    EXPECT_EQ(silent.send(kMessageFatalExit, "Silent fatal"), 0);
    EXPECT_EQ(silent.request.lastMessage, "Silent fatal");
}

TEST(InstallerMessages, ProgressIsPublishedAfterEveryMessage) {
    HandlerRun run(true);
    run.send(kMessageActionStart, "Action 10:11:12: InstallFiles. Copying new files");
    EXPECT_EQ(run.vars.FetchValue("QORV_thProgressText"), "Copying new files");
    run.send(kMessageProgress, "1: 0 2: 1000 3: 0 4: 1 ");
    run.send(kMessageProgress, "1: 1 2: 25 3: 1 ");
    run.send(kMessageActionData, "File: a.txt");
    run.send(kMessageActionData, "File: b.txt");
    EXPECT_EQ(run.vars.FetchValue("QORV_thProgressText"), "File: b.txt");
    EXPECT_EQ(run.vars.FetchValue("QORV_thProgress"), "50");
    EXPECT_EQ(run.vars.FetchValue("QORV_thMax"), "1000");
    EXPECT_EQ(run.vars.FetchValue("QORV_thMin"), "0");
    run.send(kMessageProgress, "");   // an empty progress text changes nothing
    EXPECT_EQ(run.vars.FetchValue("QORV_thProgress"), "50");
    run.send(kMessageProgress, "1: 3 2: 9000000000 ");
    EXPECT_EQ(run.vars.FetchValue("QORV_thMax"), "9000001000");
}

TEST(InstallerMessages, CancelAnswersTwoAfterTheBoxWasShown) {
    HandlerRun run(false);
    run.vars.StoreValue("QORV_thCancelled", "TRUE");
    run.host.buttons.push_back(6);
    EXPECT_EQ(run.send(kMessageError, "Still shown"), 2);
    EXPECT_EQ(run.host.boxes.size(), 1u);
    EXPECT_EQ(run.send(kMessageResolveSource, ""), 2);
    EXPECT_EQ(run.send(0x0F, ""), 2);
}

TEST(WorkerProgress, MarkersAndOrder) {
    TVariableManager vars;
    SetWorkerProgress(vars, "Copying", 1, 200, 20);
    EXPECT_EQ(vars.FetchValue("QORV_thProgressText"), "Copying");
    EXPECT_EQ(vars.FetchValue("QORV_thMin"), "1");
    EXPECT_EQ(vars.FetchValue("QORV_thMax"), "200");
    EXPECT_EQ(vars.FetchValue("QORV_thProgress"), "20");
    SetWorkerProgress(vars, "$IGNORE$", 0, 100, 30);
    EXPECT_EQ(vars.FetchValue("QORV_thProgressText"), "Copying");
    EXPECT_EQ(vars.FetchValue("QORV_thProgress"), "30");
    SetWorkerProgress(vars, "", 0, 0, -1);
    EXPECT_EQ(vars.FetchValue("QORV_thProgressText"), "");
    EXPECT_EQ(vars.FetchValue("QORV_thMax"), "100");
    SetWorkerProgress(vars, "$QORV$", 5, 5, 5);
    EXPECT_EQ(vars.FetchValue("QORV_thProgress"), "30");

    vars.StoreValue("QORV_thCancelled", "FALSE");
    EXPECT_TRUE(PublishProgress(vars, "t", 0, 10, 3));
    vars.StoreValue("QORV_thCancelled", "TRUE");
    EXPECT_FALSE(PublishProgress(vars, "t", 0, 10, 3));
}
