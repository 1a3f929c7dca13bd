// Interpreter throughput: a silent script of about a million simple statements (Set Variable,
// Mathematics, If/End), natively, with no-op dialogs and platform. Prints statements per second
// against the 500k/s goal and against a script of Comment statements (the per-statement
// refresh alone), so the cost of the handlers and of the loop show separately.
#include <chrono>
#include <cstdio>
#include <string>

#include "script/interpreter.h"

using namespace velmora;

namespace {

class NoPlatform : public ScriptPlatform {
public:
    void ShowErrorMessage(const std::string& text, const std::string&, std::intptr_t) override {
        std::fprintf(stderr, "script error: %s\n", text.c_str());
    }
    bool FileExists(const std::string&) override { return true; }
    std::string DateText() override { return "12/11/2026"; }
    std::string TimeText() override { return "01:02:03"; }
    void DeleteRunValue(const std::string&) override {}
};

void add(SetupPayload& p, const std::string& name, std::initializer_list<std::string> params) {
    const std::string id = "{" + std::to_string(p.statementCount()) + "}";
    p.statementNames.add(name);
    p.statementIds.add(id);
    p.statementFlags.add("");
    p.statementMedia.add("");
    if (params.size() == 0) return;
    p.statementParameters.add(id);
    for (const auto& v : params) p.statementParameters.add(v);
}

SetupPayload mixedScript(std::size_t blocks) {
    SetupPayload p;
    add(p, "Set Variable", {"I", "0"});
    for (std::size_t b = 0; b < blocks; ++b) {
        add(p, "Set Variable", {"X", "item $I$"});
        add(p, "Mathematics", {"$I$", "1", "0", "I"});
        add(p, "If", {"I", "2", "0", "FALSE"});
        add(p, "Set Variable", {"POSITIVE", "TRUE"});
        add(p, "End", {});
    }
    return p;
}

SetupPayload commentScript(std::size_t count) {
    SetupPayload p;
    for (std::size_t i = 0; i < count; ++i) add(p, "Comment", {"nothing to do"});
    return p;
}

double statementsPerSecond(SetupPayload payload, const char* what) {
    SetupContext setup;
    setup.payload = std::move(payload);
    setup.commandLine.silent = true;
    TVariableManager vars;
    SilentDialogEngine dialogs;
    NoPlatform platform;
    platform::SystemInfo system;
    Interpreter interpreter(ScriptEnvironment{setup, vars, dialogs, platform, system}, "setup.msi");
    const auto start = std::chrono::steady_clock::now();
    const ScriptOutcome outcome = interpreter.RunScript();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double count = static_cast<double>(setup.payload.statementCount());
    std::printf("%-34s %9.0f statements in %6.3f s = %9.0f statements/s%s\n", what, count, seconds, count / seconds,
                outcome == ScriptOutcome::Completed ? "" : "  (did not complete)");
    return count / seconds;
}

} // namespace

int main() {
    const double mixed = statementsPerSecond(mixedScript(200000), "Set Variable/Mathematics/If/End");
    const double comments = statementsPerSecond(commentScript(1000000), "Comment only (refresh + dispatch)");
    std::printf("goal 500000 statements/s: mixed script at %.2fx the goal; handlers cost %.2fx the bare loop\n",
                mixed / 500000.0, comments / mixed);
    return 0;
}
