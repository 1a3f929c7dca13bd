// The interpreter: compiles the script, sets up the predefined variables, walks the statements
// with If/Else If/Else/End skipping, labels and wizard loops, refreshes the engine settings
// from variables before every statement, and dispatches each statement to its handler.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bootstrap/setup_context.h"
#include "core/text_list.h"
#include "msi/pending_properties.h"
#include "platform/platform_switches.h"
#include "platform/system_info.h"
#include "script/commands/commands.h"
#include "script/script_host.h"
#include "script/variables.h"

namespace velmora {

namespace msi {
struct InstallerSession;
}

// Everything the script engine works with, owned by the start-up.
struct ScriptEnvironment {
    SetupContext& setup;
    TVariableManager& vars;
    DialogEngine& dialogs;
    ScriptPlatform& platform;
    const platform::SystemInfo& system;
};

enum class ScriptOutcome {
    Completed,      // ran to its end or was ended by a statement
    Failed,         // a statement raised: the run-time error message was shown
    MediaFailed,    // media a statement needed could not be made present
    CompileFailed,  // the script does not compile: the process ends with exit code 314
    NotStarted,     // no package beside the engine, or the language choice was cancelled
};

// Thrown by the ending commands: the script ends normally.
struct ScriptEnded {};

class Interpreter {
public:
    Interpreter(ScriptEnvironment env, std::string packagePath);

    ScriptOutcome RunScript();

    // --- for statement handlers ---
    // Parameter k (from 1) of statement n as stored.
    std::string Param(std::size_t statement, std::size_t k) const;
    const std::string& StatementName(std::size_t statement) const { return payload().statementNames[statement]; }
    const std::string& StatementId(std::size_t statement) const { return payload().statementIds[statement]; }
    TVariableManager& Vars() { return env_.vars; }
    SetupContext& Setup() { return env_.setup; }
    const SetupPayload& payload() const { return env_.setup.payload; }
    const platform::SystemInfo& System() const { return env_.system; }
    ScriptPlatform& Platform() { return env_.platform; }
    DialogEngine& Dialogs() { return env_.dialogs; }
    bool Silent() const { return silent_; }
    // The current setup language (empty: no translation).
    const std::string& CurrentLanguage() const { return currentLanguage_; }
    // The text of a parameter in the current setup language (the text itself until translation
    // tables exist).
    std::string TranslateStatementText(const std::string& text, const std::string& key, int slot) const;
    // Shows a progress text and position on the page on screen.
    void UpdateProgressDisplay(const std::string& text, int position);

    // The installer integration (msi.dll, the install worker and its state); null when the
    // start-up gave none, and then the installer commands fail.
    msi::InstallerSession* Installer() { return installer_; }
    void SetInstaller(msi::InstallerSession* installer) { installer_ = installer; }
    // The working copy of the package in the support folder.
    const std::string& PackagePath() const { return packagePath_; }

    platform::PlatformSwitches& Switches() { return switches_; }
    PendingProperties& Pending() { return pending_; }
    TextList& RecordedProperties() { return recordedProperties_; }
    TextList& StatementStates() { return statementStates_; }
    std::intptr_t NonModalWindow() const { return nonModalWindow_; }
    commands::MathematicsSequence& Sequence() { return sequence_; }

    // Control flow, for the block, dialog and jump handlers.
    void RunIf(std::size_t statement);
    void RunBlockStatement(std::size_t statement);
    void RunGoToLabel(std::size_t statement);
    void RunWizardLoop(std::size_t statement);
    void RunDisplayDialog(std::size_t statement);
    void RunHideDialog(std::size_t statement);

private:
    void prologueVariables();
    void defineInitializationVariables();
    void queueActivationProperties();
    void mainLoop();
    void refreshFromVariables();
    bool chooseNextStatement();   // false when past the end
    void dispatch(std::size_t statement);
    void refreshProgress();
    void cleanUp();
    void reportRuntimeError(const std::exception& e);
    void reportMediaFailure(const std::exception& e);

    bool isActive(std::size_t statement) const;
    // The first active statement at or after from, outside every block nested in the current
    // one, whose name is one of names; the statement count when none.
    std::size_t findInBlock(std::size_t from, std::initializer_list<const char*> names) const;
    std::size_t nextActive(std::size_t from) const;
    void leaveBlocks();

    ScriptEnvironment env_;
    std::string packagePath_;
    std::size_t count_ = 0;

    // Interpreter state of one run.
    std::size_t index_ = 0;
    bool skipToBranch_ = false;
    bool skipToEnd_ = false;
    bool endBySkip_ = false;
    bool reachedBySkip_ = false;   // the Else If about to run was found by a skip
    int openBranches_ = 0;
    bool wizardActive_ = false;
    int wizardDirection_ = 0;
    bool wizardFinished_ = false;
    std::string lastModalKey_;
    std::string lastProgressText_;
    std::int32_t lastProgress_ = 0;
    bool silent_ = false;
    std::string currentLanguage_;
    std::string loadedLanguage_;
    std::intptr_t nonModalWindow_ = 0;

    struct Record {
        bool searched = false;
        const TextList* list = nullptr;
        std::size_t at = 0;
    };
    mutable std::vector<Record> records_;   // parameter record of each statement

    TextList labelTable_;          // upper-cased label name / position pairs
    TextList statementStates_;
    TextList recordedProperties_;
    PendingProperties pending_;
    msi::InstallerSession* installer_ = nullptr;
    platform::PlatformSwitches switches_;
    commands::MathematicsSequence sequence_;
};

} // namespace velmora
