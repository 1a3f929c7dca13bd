// The dispatch table: every built-in command name with its handler. Commands whose subsystem
// is not part of the engine yet are listed with a handler that does nothing, so a script that
// uses them still runs its other statements.
#include "script/dispatch_table.h"

#include <string>
#include <unordered_map>

#include "script/commands/commands.h"
#include "script/interpreter.h"

namespace velmora {
namespace {

void doNothing(Interpreter&, std::size_t) {}
void runIf(Interpreter& in, std::size_t n) { in.RunIf(n); }
void runGoTo(Interpreter& in, std::size_t n) { in.RunGoToLabel(n); }
void runWizardLoop(Interpreter& in, std::size_t n) { in.RunWizardLoop(n); }
void runDisplayDialog(Interpreter& in, std::size_t n) { in.RunDisplayDialog(n); }
void runHideDialog(Interpreter& in, std::size_t n) { in.RunHideDialog(n); }
void runBlock(Interpreter& in, std::size_t n) { in.RunBlockStatement(n); }

struct Row {
    const char* name;
    CommandHandler handler;
};

// In the interpreter's comparison order.
const Row kTable[] = {
    {"Web Media Block", doNothing},
    {"GoTo Label", runGoTo},
    {"Create Share", doNothing},
    {"Set Access Control", doNothing},
    {"Delete Share", doNothing},
    {"Check Process", doNothing},
    {"Check Service", doNothing},
    {"Delete Registry", commands::DeleteRegistry},
    {"Is MSI Setup Installed", commands::IsMsiSetupInstalled},
    {"Write Registry", commands::WriteRegistry},
    {"Create File Type", commands::CreateFileType},
    {"Advertised File Type", commands::AdvertisedFileType},
    {"Terminate Program", doNothing},
    {"Create Folder", commands::CreateFolder},
    {"Create Shortcut", commands::CreateShortcut},
    {"Advertised Shortcut", commands::CreateShortcut},
    {"Copy/Move Local Files", commands::CopyMoveLocalFiles},
    {"Delete Files", commands::DeleteFiles},
    {"Edit INI File", commands::EditIniFile},
    {"Set Environment", commands::SetEnvironment},
    {"Delete Scheduled Task", doNothing},
    {"Schedule Task", doNothing},
    {"Install Files", commands::InstallFiles},
    {"Install Assembly", doNothing},
    {"Control Service", doNothing},
    {"Create ODBC DSN", doNothing},
    {"Install ODBC Driver", doNothing},
    {"Install Service", doNothing},
    {"Generate Native Images", doNothing},
    {"Run .NET Installer Class", doNothing},
    {"Register Assembly", doNothing},
    {"Set 64 Bit Mode", commands::Set64BitMode},
    {"Transform Instance", commands::TransformInstance},
    {"Save Feature Selections", doNothing},
    {"Load Feature Selections", doNothing},
    {"Apply Changes", commands::ApplyChanges},
    {"Apply Patch", commands::ApplyPatch},
    {"Comment", doNothing},
    {"Ignore", doNothing},
    {"Get Environment", doNothing},
    {"Get IIS Site List", doNothing},
    {"Get IIS Site Index", doNothing},
    {"Get File Version", doNothing},
    {"Get IIS Property", doNothing},
    {"Set IIS Property", doNothing},
    {"Get Temporary File", doNothing},
    {"Set Variable", commands::SetVariable},
    {"Localization Variable", commands::LocalizationVariable},
    {"Does File/Folder Exist", doNothing},
    {"Run Program As", doNothing},
    {"Extract 7Zip Archive", doNothing},
    {"Run Light Mode Setup", doNothing},
    {"Run Program", doNothing},
    {"Convert Path", commands::ConvertPath},
    {"Convert Case", commands::ConvertCase},
    {"Replace String", commands::ReplaceString},
    {"Check Disk Space", doNothing},
    {"Delete Files Recursive", commands::DeleteFilesRecursive},
    {"Find All Files", doNothing},
    {"Extract Path", commands::ExtractPath},
    {"Get INI File Settings", doNothing},
    {"Create IIS Site", doNothing},
    {"Create Virtual Folder", doNothing},
    {"Delete IIS Site", doNothing},
    {"Delete Virtual Folder", doNothing},
    {"Control IIS Site", doNothing},
    {"Read Registry", doNothing},
    {"Check Registry", doNothing},
    {"Get OS or SP Level", doNothing},
    {"Get System Settings", doNothing},
    {"Check File Version", doNothing},
    {"Parse String", commands::ParseString},
    {"Read from Text File", doNothing},
    {"Write to Text File", commands::WriteToTextFile},
    {"Mathematics", commands::Mathematics},
    {"Get Folder Location", doNothing},
    {"End", runBlock},
    {"Else", runBlock},
    {"Else If", runBlock},
    {"Get Component Space", doNothing},
    {"Get Component State", doNothing},
    {"IIS Anonymous User", doNothing},
    {"Set Component State", doNothing},
    {"Set Component Space", doNothing},
    {"Set Component Choice", doNothing},
    {"Set Component Visibility", doNothing},
    {"Delete Component", doNothing},
    {"Define Component", doNothing},
    {"If", runIf},
    {"Wizard Loop", runWizardLoop},
    {"Evaluate Expression", commands::EvaluateExpression},
    {"Register Library", commands::RegisterLibrary},
    {"System Tray", doNothing},
    {"MessageBox", doNothing},
    {"MessageBalloon", doNothing},
    {"Terminate Install", commands::TerminateInstall},
    {"Remove Assemblies", doNothing},
    {"Terminate with Exit Code", commands::TerminateWithExitCode},
    {"Reboot Computer", doNothing},
    {"Reboot and Resume", doNothing},
    {"Display Dialog", runDisplayDialog},
    {"Hide Dialog", runHideDialog},
};

const std::unordered_map<std::string_view, CommandHandler>& handlers() {
    static const auto map = [] {
        std::unordered_map<std::string_view, CommandHandler> m;
        for (const Row& row : kTable) m.emplace(row.name, row.handler);
        return m;
    }();
    return map;
}

} // namespace

CommandHandler findCommandHandler(std::string_view name) {
    const auto& map = handlers();
    const auto it = map.find(name);
    return it == map.end() ? nullptr : it->second;
}

std::vector<std::string_view> builtInCommandNames() {
    std::vector<std::string_view> names;
    for (const Row& row : kTable) names.emplace_back(row.name);
    return names;
}

void runPluginStatement(Interpreter&, std::size_t) {}

} // namespace velmora
