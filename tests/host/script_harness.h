// Runs scripts through the real interpreter with small fakes for the dialogs and the platform.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "builder/project.h"
#include "script/interpreter.h"

namespace velmora::testing {

class FakePlatform : public ScriptPlatform {
public:
    void ShowErrorMessage(const std::string& text, const std::string& caption, std::intptr_t) override {
        messages.push_back(text);
        captions.push_back(caption);
    }
    bool FileExists(const std::string& path) override { return path.find("missing") == std::string::npos; }
    std::string DateText() override { return "11/12/2026"; }
    std::string TimeText() override { return "10:11:12"; }
    void DeleteRunValue(const std::string& name) override { deletedRunValues.push_back(name); }

    std::vector<std::string> messages, captions, deletedRunValues;
};

// Answers modal pages from a queue (Next when empty) and records the keys shown.
class FakeDialogs : public DialogEngine {
public:
    void BindDialog(const std::string&) override {}
    void UnbindDialog(const std::string&) override {}
    std::intptr_t ShowDialog(const std::string& key, std::string& resultName, bool modal) override {
        shown.push_back(key);
        if (!modal) return 4242;
        if (answers.empty()) return kDialogNext;
        const std::intptr_t answer = answers.front();
        answers.pop_front();
        if (answer == kDialogNamedButton) resultName = "Button3";
        return answer;
    }
    void HideCurrentDialog(const std::string&) override { ++hidden; }
    void FreeDialogEngine() override {}

    std::deque<std::intptr_t> answers;
    std::vector<std::string> shown;
    int hidden = 0;
};

class FakeSystem : public platform::SystemInfo {
public:
    platform::RegisteredOwner registeredOwner(platform::RegistryView) const override { return {"Owner", "Org"}; }
    std::string shortPath(const std::string& path) const override { return "SHORT:" + path; }
    std::string longPath(const std::string& path) const override { return "LONG:" + path; }
};

struct ScriptRun {
    explicit ScriptRun(const std::string& script, std::vector<std::string> arguments = {}) {
        setup.payload = builder::parseProject("[product]\ntitle: Test\nproduct-code: {12345678-0000-0000-0000-000000000000}\n"
                                              "version: 2.0\n[script]\n" + script)
                            .payload;
        std::string raw = "setup.exe";
        for (const auto& a : arguments) raw += " " + a;
        setup.commandLine = parseCommandLine(raw);
        setup.exePath = "C:\\Setup\\setup.exe";
        setup.exeDir = "C:\\Setup\\";
        setup.supportDir = "C:\\Temp\\kel1\\";
    }
    ScriptOutcome run(const std::string& package = "C:\\Temp\\kel1\\setup.msi") {
        Interpreter interpreter(ScriptEnvironment{setup, vars, dialogs, platform, system}, package);
        outcome = interpreter.RunScript();
        return outcome;
    }
    std::string var(const std::string& name) const { return vars.FetchValue(name); }

    SetupContext setup;
    TVariableManager vars;
    FakeDialogs dialogs;
    FakePlatform platform;
    FakeSystem system;
    ScriptOutcome outcome = ScriptOutcome::NotStarted;
};

} // namespace velmora::testing
