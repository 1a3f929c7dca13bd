// The interpreter's prologue, main loop, statement choice and control-flow handlers.
#include "script/interpreter.h"

#include <cstring>

#include "components/maintenance.h"
#include "script/compiler.h"
#include "script/conditions.h"
#include "script/dispatch_table.h"
#include "script/integers.h"
#include "script/script_error.h"

namespace velmora {
namespace {

// The user interface gets a turn at least this often, also in scripts without dialogs.
constexpr std::size_t kIdleInterval = 314;

bool is(const std::string& name, const char* command) { return name == command; }

} // namespace

Interpreter::Interpreter(ScriptEnvironment env, std::string packagePath)
    : env_(env), packagePath_(std::move(packagePath)), count_(env.setup.payload.statementCount()) {}

std::string Interpreter::Param(std::size_t statement, std::size_t k) const {
    if (statement >= payload().statementIds.size()) return {};
    // Where each statement's record starts is looked up once: statements in loops read their
    // parameters again and again.
    if (records_.size() != count_) records_.assign(count_, Record{});
    Record& record = records_[statement];
    if (!record.searched) {
        record.searched = true;
        for (const TextList* list : payload().parameterLists()) {
            const std::size_t at = list->indexOf(payload().statementIds[statement]);
            if (at == TextList::npos) continue;
            record.list = list;
            record.at = at;
            break;
        }
    }
    if (!record.list || record.at + k >= record.list->size()) return {};
    return (*record.list)[record.at + k];
}

std::string Interpreter::TranslateStatementText(const std::string& text, const std::string&, int) const { return text; }

void Interpreter::UpdateProgressDisplay(const std::string& text, int position) {
    // The progress page shows the worker variables; it reads them on its own timer.
    Vars().StoreValue("QORV_thProgressText", text);
    Vars().StoreValue("QORV_thMin", "0");
    Vars().StoreValue("QORV_thMax", "100");
    Vars().StoreValue("QORV_thProgress", std::to_string(position));
}

bool Interpreter::isActive(std::size_t n) const {
    return !payload().isCommented(n) && !is(payload().statementNames[n], "Ignore");
}

std::size_t Interpreter::nextActive(std::size_t from) const {
    while (from < count_ && !isActive(from)) ++from;
    return from;
}

std::size_t Interpreter::findInBlock(std::size_t from, std::initializer_list<const char*> names) const {
    int depth = 0;
    for (std::size_t i = from; i < count_; ++i) {
        if (!isActive(i)) continue;
        const std::string& name = payload().statementNames[i];
        if (depth == 0)
            for (const char* wanted : names)
                if (name == wanted) return i;
        if (is(name, "If") || is(name, "Wizard Loop")) ++depth;
        else if (is(name, "End") && depth > 0) --depth;
    }
    return count_;
}

void Interpreter::leaveBlocks() {
    skipToBranch_ = skipToEnd_ = endBySkip_ = reachedBySkip_ = false;
    openBranches_ = 0;
    wizardActive_ = wizardFinished_ = false;
}

ScriptOutcome Interpreter::RunScript() {
    TraceLog& trace = Setup().trace;

    // 1. Engine-wide command state.
    trace.WriteTraceMarker("    <Variables>");
    switches_ = platform::PlatformSwitches{};
    recordedProperties_.clear();
    Setup().cache = CacheRunState{};
    trace.WriteTraceMarker("    </Variables>");

    // 2. Compile.
    trace.WriteTraceMarker("    <CompileScript>");
    CompileResult compiled = CompileScript(payload());
    if (!compiled.accepted()) return ScriptOutcome::CompileFailed;
    statementStates_ = std::move(compiled.statementStates);
    trace.WriteTraceMarker("    </CompileScript>");

    // 3-4. A fresh store.
    prologueVariables();

    // 5. The installation cache decides between first install, maintenance and upgrade.
    trace.WriteTraceMarker("    <BootStrap>");
    {
        InstallationCache cache = Cache();
        InitMaintenanceState(cache);
    }
    trace.WriteTraceMarker("    </BootStrap>");

    // 6-7. Control flow and the label table.
    leaveBlocks();
    nonModalWindow_ = 0;
    labelTable_.clear();
    for (std::size_t n = 0; n < count_; ++n)
        if (is(payload().statementNames[n], "Label")) {
            labelTable_.add(text::upper(Param(n, 1)));
            labelTable_.add(std::to_string(n));
        }

    // 8. Without a package there is nothing to install: no statement runs.
    const std::string patchPath = packagePath_.size() >= 4 ? packagePath_.substr(0, packagePath_.size() - 4) + ".msp" : "";
    const bool hasPackage = !packagePath_.empty() && Platform().FileExists(packagePath_);
    const bool hasPatch = !patchPath.empty() && Platform().FileExists(patchPath);
    if (!hasPackage && !hasPatch) return ScriptOutcome::NotStarted;

    // 9-17. The guarded region.
    trace.WriteTraceMarker("    <qorv>");
    index_ = 0;
    try {
        // The predefined component keeps a state a loaded selection gave it.
        Components().DefineComponent(kPredefinedComponent, "", true);
        defineInitializationVariables();
        if (hasPatch) {
            InstallationCache cache = Cache();
            LoadPatchState(cache);
        }
        // The resume entry of a restart is not needed once the setup runs again.
        if (payload().productCode.size() > 8) Platform().DeleteRunValue(payload().productCode.substr(1, 8));
        queueActivationProperties();
        Vars().SetSilentMode(silent_);
        // Values given on the command line replace the script's defaults.
        const TextList& assignments = Setup().commandLine.assignments;
        for (std::size_t i = 0; i + 1 < assignments.size(); i += 2)
            Vars().DefineVariable(assignments[i], assignments[i + 1], TVariableManager::kInjectReason);
        mainLoop();
    } catch (const ScriptEnded&) {
    } catch (const MediaFailure& e) {
        reportMediaFailure(e);
        return ScriptOutcome::MediaFailed;
    } catch (const std::exception& e) {
        reportRuntimeError(e);
        return ScriptOutcome::Failed;
    }

    // 18. Normal end.
    trace.WriteTraceMarker("    </qorv>");
    trace.WriteTraceMarker("    <ExitScript>");
    cleanUp();
    trace.WriteTraceMarker("    </ExitScript>");
    return ScriptOutcome::Completed;
}

void Interpreter::prologueVariables() {
    TVariableManager& v = Vars();
    v.ClearAll();
    // The payload's sizes, and no component yet.
    Setup().components = ComponentModel(payload().componentSizes);
    v.SetCommandLineAssignments(Setup().commandLine.assignments);
    silent_ = Setup().commandLine.silent;
    v.SetSilentMode(silent_);
    v.StoreValue("QORV_thProgress", "0");
    v.StoreValue("QORV_thMax", "100");
    v.StoreValue("QORV_thMin", "0");
    v.StoreValue("QORV_thProgressText", "");
    v.StoreValue("QORV_thFinished", "FALSE");
    v.StoreValue("QORV_thCancelled", "FALSE");
    const char* reason = "Pre-Initialization";
    v.DefineVariable("TARGETDIR", "", reason);
    v.DefineVariable("STARTMENU", payload().title, reason);
    v.DefineVariable("ALLUSERS", BoolText(System().isAdministrator()), reason);
}

void Interpreter::defineInitializationVariables() {
    TVariableManager& v = Vars();
    const SetupContext& s = Setup();
    const CommandLine& cl = s.commandLine;
    const char* reason = "Initialization";
    auto define = [&](const char* name, const std::string& value) { v.DefineVariable(name, value, reason); };
    auto folderOf = [](const std::string& path) {
        const std::size_t sep = path.find_last_of("\\/:");
        return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
    };
    const platform::RegisteredOwner owner = System().registeredOwner(switches_.registryView);

    define("QORV_COMPRESS_INSTALLER_CACHE", "TRUE");
    define("QORV_DISABLE_ROLLBACK", "FALSE");
    define("QORV_DISABLE_VISTA_RESTART_MANAGER", "FALSE");
    define("IISHOST", "localhost");
    if (!v.HasVariable("OVERRIDECACHE")) define("OVERRIDECACHE", "");
    define("QORVLOGO", "");
    define("SELECTED", "0");
    define("WINDOWHANDLE", "0");
    define("EXEFILE", s.exePath);
    define("EXEDIR", s.exeDir);
    define("PROGRESSTEXT", "");
    define("PROGRESSMODE", "");
    define("ABORT", "FALSE");
    define("PROGRESS", "0");
    define("LASTERROR", "");
    define("LICENSE", "FALSE");
    define("USERNAME", owner.owner);
    define("USERCOMPANY", owner.organization);
    define("COPYWEBLOCK", "");
    define("REBOOTCOMPUTER", "FALSE");
    define("RUNAPP", "TRUE");
    define("WIZARD", "NEXT");
    define("VERSION", payload().version);
    define("SILENT", BoolText(silent_));
    define("LOGGED", cl.logFile);
    define("CMDLINE", cl.tail);
    define("REBOOTNOW", "OK");
    define("SFXPATH", folderOf(cl.selfExtractorPath));
    define("SFXFILE", cl.selfExtractorPath.substr(folderOf(cl.selfExtractorPath).size()));
    define("GPOPATH", folderOf(cl.groupPolicyPath));
    define("COMPLETE", "TRUE");
    define("NEWLINE", "\r\n");
    define("MINIMUM", "FALSE");
    define("PERSONALIZED", "FALSE");
    define("MODIFY", "TRUE");
    define("REPAIR", "FALSE");
    define("REMOVE", "FALSE");
    define("ROOTDIR", s.exeDir);
    define("TITLE", payload().title);
    define("COMPANY", payload().company);
    define("ADVERTISE", "FALSE");
    define("DATE", Platform().DateText());
    define("TIME", Platform().TimeText());
    define("TEMPDIR", s.tempDir);
    define("SUPPORTDIR", s.supportDir);
    define("MSIFILE", packagePath_);
    define("LANGUAGE", currentLanguage_);
}

void Interpreter::queueActivationProperties() {
    // Every system-changing statement starts inactive; running it turns its property on.
    for (std::size_t n = 0; n < count_; ++n) {
        const std::string header = commandHeader(payload(), n);
        if (header.empty()) continue;
        pending_.QueuePendingProperty("A" + header, "FALSE");
        recordedProperties_.add("A" + header);
        recordedProperties_.add("FALSE");
    }
}

void Interpreter::refreshFromVariables() {
    TVariableManager& v = Vars();
    SetupContext& s = Setup();
    const std::string logged = v.FetchValue("LOGGED");
    if (logged != s.trace.path()) s.trace.setPath(logged);
    silent_ = ParseBool(v.FetchValue("SILENT"));
    v.SetSilentMode(silent_);
    s.windowCaption = v.FetchValue("TITLE");
    s.captionFlag = v.FetchValue("QORVLOGO") == "TRUE";
    applyCacheOverride();
    const char* reason = "Initialization";
    v.DefineVariable("DATE", Platform().DateText(), reason);
    v.DefineVariable("TIME", Platform().TimeText(), reason);
    const std::string language = v.FetchValue("LANGUAGE");
    if (!language.empty() && language != loadedLanguage_) {
        // Translation tables of the new language load here; until they exist the choice is kept.
        loadedLanguage_ = language;
        currentLanguage_ = language;
    }
    v.DefineVariable("LANGUAGE", currentLanguage_, reason);
    v.DefineVariable("UNINSTALLLINK", s.cache.uninstallLink, reason);
    v.DefineVariable("ENGINECACHE", s.cache.engineCache, reason);
}

void Interpreter::applyCacheOverride() {
    // Checked before every statement: the common case (no new override) costs one look-up.
    const std::string value = Vars().FetchValue("OVERRIDECACHE");
    if (value.empty() || value == Setup().cache.appliedOverride) return;
    InstallationCache cache = Cache();
    ApplyCacheOverride(cache);
}

InstallationCache Interpreter::Cache() {
    return InstallationCache(CacheEnvironment{env_.setup, env_.vars, env_.system,
                                              env_.cacheSystem ? *env_.cacheSystem : NoCacheSystem(),
                                              env_.products ? *env_.products : NoProductQuery(), switches_,
                                              recordedProperties_});
}

bool Interpreter::chooseNextStatement() {
    const auto& names = payload().statementNames;
    reachedBySkip_ = false;
    if (skipToBranch_) {
        skipToBranch_ = false;
        const std::size_t found = findInBlock(index_, {"Else If", "Else", "End"});
        if (found >= count_) return false;
        if (is(names[found], "Else If")) {
            index_ = found;
            reachedBySkip_ = true;
        } else if (is(names[found], "Else")) {
            index_ = found + 1;
            ++openBranches_;
        } else {
            index_ = found + 1;
        }
    } else if (skipToEnd_) {
        skipToEnd_ = false;
        index_ = findInBlock(index_, {"End"});
        endBySkip_ = true;
    } else if (wizardActive_) {
        const auto finishAt = [&](std::size_t from) {
            index_ = findInBlock(from, {"End"});
            wizardActive_ = false;
            wizardFinished_ = true;
        };
        if (wizardDirection_ == 0) {
            finishAt(index_);
        } else {
            std::ptrdiff_t p = static_cast<std::ptrdiff_t>(index_) - 1;
            for (;;) {
                p += wizardDirection_;
                if (p < 0 || p >= static_cast<std::ptrdiff_t>(count_)) {
                    index_ = count_;
                    break;
                }
                const auto n = static_cast<std::size_t>(p);
                if (!isActive(n)) continue;
                if (is(names[n], "Display Dialog")) {
                    index_ = n;
                    break;
                }
                if (is(names[n], "End")) {
                    index_ = n;
                    wizardActive_ = false;
                    wizardFinished_ = true;
                    break;
                }
                if (is(names[n], "Wizard Loop")) {
                    finishAt(n + 1);
                    break;
                }
            }
        }
    } else {
        index_ = nextActive(index_);
    }
    return index_ < count_;
}

void Interpreter::mainLoop() {
    while (index_ < count_) {
        if (index_ % kIdleInterval == 0) Platform().ProcessPendingEvents();
        refreshFromVariables();
        if (!chooseNextStatement()) break;
        const std::size_t statement = index_++;
        if (payload().isCommented(statement)) continue;
        Vars().AssignVariable("ABORT", BoolText(Setup().userCancelled), "Cancel State");
        refreshProgress();
        dispatch(statement);
    }
}

void Interpreter::refreshProgress() {
    if (nonModalWindow_ == 0) return;
    const std::string text = Vars().FetchValue("PROGRESSTEXT");
    const std::int32_t position = toInt32(Vars().FetchValue("PROGRESS"));
    if (text == lastProgressText_ && position == lastProgress_) return;
    lastProgressText_ = text;
    lastProgress_ = position;
    UpdateProgressDisplay(text, position);
    if (!silent_) Platform().HandleOneEvent();
}

void Interpreter::dispatch(std::size_t statement) {
    const std::string& name = payload().statementNames[statement];
    if (payload().pluginCommands.indexOf(name) != TextList::npos) {
        runPluginStatement(*this, statement);
        return;
    }
    if (const CommandHandler handler = findCommandHandler(name)) handler(*this, statement);
}

// --- control flow ---

void Interpreter::RunIf(std::size_t statement) {
    if (EvaluateCondition(*this, statement)) ++openBranches_;
    else skipToBranch_ = true;
}

void Interpreter::RunBlockStatement(std::size_t statement) {
    const std::string& name = payload().statementNames[statement];
    bool evaluate = false;
    if (is(name, "End") && endBySkip_) {
        if (openBranches_ > 0) --openBranches_;
        endBySkip_ = false;
    } else if (is(name, "Else")) {
        skipToEnd_ = true;
    } else if (is(name, "Else If")) {
        // In normal flow a branch of this block has run: the rest of the block is skipped.
        // Found by a skip, or reached with no branch open (a jump into the block): evaluated.
        if (!reachedBySkip_ && openBranches_ > 0 && !wizardFinished_) skipToEnd_ = true;
        else evaluate = true;
    } else if (is(name, "End") && openBranches_ > 0 && !wizardFinished_) {
        --openBranches_;
    }
    wizardFinished_ = false;
    if (evaluate) RunIf(statement);
}

void Interpreter::RunGoToLabel(std::size_t statement) {
    const std::string label = text::upper(Param(statement, 1));
    for (std::size_t i = 0; i + 1 < labelTable_.size(); i += 2)
        if (labelTable_[i] == label) {
            index_ = static_cast<std::size_t>(std::stoull(labelTable_[i + 1]));
            leaveBlocks();
            return;
        }
    throw ScriptError("Label not found: " + label);
}

void Interpreter::RunWizardLoop(std::size_t) {
    wizardActive_ = true;
    wizardDirection_ = 1;
    wizardFinished_ = false;
}

void Interpreter::RunDisplayDialog(std::size_t statement) {
    TVariableManager& v = Vars();
    const std::string resultVariable = Param(statement, 2);
    const std::string condition = Param(statement, 4);
    if (!condition.empty()) {
        const std::string stripped = StripReference(condition);
        const bool value = ParseBool(v.FetchValue(stripped.empty() ? condition : stripped));
        if (value == ParseBool(Param(statement, 6))) return;
    }
    const std::string key = std::to_string(statement);
    if (!lastModalKey_.empty()) {
        Dialogs().UnbindDialog(lastModalKey_);
        lastModalKey_.clear();
    }
    if (nonModalWindow_) Dialogs().LockWindowUpdates(nonModalWindow_, true);
    Dialogs().BindDialog(key);
    if (nonModalWindow_) Dialogs().LockWindowUpdates(nonModalWindow_, false);

    std::string resultName;
    std::intptr_t result;
    if (wizardActive_) {
        result = Dialogs().ShowDialog(key, resultName, true);
        lastModalKey_ = key;
    } else if (!ParseBool(Param(statement, 3))) {
        nonModalWindow_ = Dialogs().ShowDialog(key, resultName, false);
        v.DefineVariable("WINDOWHANDLE", std::to_string(nonModalWindow_), "Display Dialog");
        result = 0;
    } else {
        result = Dialogs().ShowDialog(key, resultName, true);
        nonModalWindow_ = 0;
        v.DefineVariable("WINDOWHANDLE", "0", "Display Dialog");
        lastModalKey_ = key;
    }
    if (resultVariable.empty()) return;
    std::string answer;
    switch (result) {
    case 0: answer = "NOTMODAL"; break;
    case kDialogCancel: answer = "CANCEL"; break;
    case kDialogNext: answer = "NEXT"; break;
    case kDialogBack: answer = "BACK"; break;
    case kDialogNamedButton: answer = text::upper(resultName); break;
    default: break;
    }
    v.StoreResult("Display Dialog", resultVariable, answer);
    if (wizardActive_) {
        if (result == kDialogNext) wizardDirection_ = 1;
        else if (result == kDialogBack) wizardDirection_ = -1;
        else if (result == kDialogCancel) wizardDirection_ = 0;
    }
}

void Interpreter::RunHideDialog(std::size_t) {
    Dialogs().HideCurrentDialog("temp");
    nonModalWindow_ = 0;
    Vars().DefineVariable("WINDOWHANDLE", "0", "Hide Dialog");
}

// --- ends ---

void Interpreter::cleanUp() {
    try {
        Dialogs().FreeDialogEngine();
    } catch (...) {
    }
    recordedProperties_.clear();
    lastModalKey_.clear();
}

void Interpreter::reportRuntimeError(const std::exception& e) {
    if (!silent_) {
        const std::string message = std::string("Runtime error in setup script:") + "\r\r" + "Line " +
                                    std::to_string(index_) + ": " + e.what();
        Platform().ShowErrorMessage(message, Setup().windowCaption, 0);
    }
    cleanUp();
}

void Interpreter::reportMediaFailure(const std::exception& e) {
    // Shown in silent runs too: the media problem is the one thing the user must learn about.
    Platform().ShowErrorMessage(e.what(), Setup().windowCaption, nonModalWindow_);
    TraceLog& trace = Setup().trace;
    trace.WriteTraceMarker("    </qorv>");
    trace.WriteTraceMarker("    <ExitScript>");
    cleanUp();
    trace.WriteTraceMarker("    </ExitScript>");
}

} // namespace velmora
