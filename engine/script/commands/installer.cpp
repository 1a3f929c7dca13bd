// The Windows Installer commands: Apply Changes and Apply Patch (locate the sources, run the
// package on the install worker, report), Install Files (record the statement's properties),
// Is MSI Setup Installed, Set 64 Bit Mode and Transform Instance.
#include <cctype>
#include <optional>

#include "msi/engine_messages.h"
#include "msi/install_thread.h"
#include "msi/installer_session.h"
#include "msi/package_edits.h"
#include "platform/file_utils.h"
#include "script/commands/commands.h"
#include "script/interpreter.h"
#include "script/script_error.h"

namespace velmora::commands {
namespace {

constexpr const char* kMissingHeader = "Unable to obtain command headers. Please rebuild your project.";

msi::InstallerSession& installer(Interpreter& in) {
    msi::InstallerSession* session = in.Installer();
    if (!session) throw ScriptError("Windows Installer is not available");
    return *session;
}

std::string resultName(const std::string& parameter) {
    const std::string name = StripReference(parameter);
    return name.empty() ? parameter : name;
}

void storeResult(Interpreter& in, const char* command, const std::string& parameter, const std::string& value) {
    const std::string name = resultName(parameter);
    if (!name.empty()) in.Vars().StoreResult(command, name, value);
}

// The property is queued for the next installer run and recorded for the installation cache.
void exportProperty(Interpreter& in, const std::string& name, const std::string& value) {
    in.Pending().QueuePendingProperty(name, value);
    in.RecordedProperties().add(name);
    in.RecordedProperties().add(EncodeNewlines(value));
}

// --- seams to the installation cache (being built in components/cache.h) ---
// The lead replaces these three with WriteInstallationCache / RemoveInstallationCache and the
// cache folder of the current ALLUSERS setting when the cache lands.
std::string installationCacheFolder(Interpreter&) { return {}; }
void writeInstallationCache(Interpreter&, bool /*advertised*/) {}
void removeInstallationCache(Interpreter&) {}

// --- seams to the media subsystem and the language tables ---
// Offline media are made present by the media subsystem; until it lands, the data folder
// beside the engine is taken as it is.
void acquireOfflineMedia(Interpreter&, std::size_t /*statement*/) {}
// The decimal language identifier of a setup language; a name that is already a number stands
// for itself until the language tables provide the identifiers of names.
std::string languageIdentifier(const std::string& language) {
    if (language.empty()) return {};
    for (char c : language)
        if (!std::isdigit(static_cast<unsigned char>(c))) return {};
    return language;
}

bool advertisedBefore(Interpreter& in) {
    const std::string cache = installationCacheFolder(in);
    return !cache.empty() && installer(in).host.FolderExists(cache + "__ad");
}

// CachedSourceDir: the folder of the installed setup's engine, or the /p= override.
void locateInstalledSetup(Interpreter& in) {
    msi::InstallerSession& session = installer(in);
    session.cachedSourceDir.clear();
    const bool localMachine = ParseBool(in.Vars().FetchValue("ALLUSERS")) || !session.host.NtPlatform();
    std::string command = session.host.UninstallString(localMachine, in.Vars().FetchValue("TITLE"));
    const std::size_t open = command.find('"');
    if (open != std::string::npos) command.erase(open, 1);
    const std::size_t close = command.find('"');
    if (close != std::string::npos) command.erase(close);
    const std::string folder = platform::folderPart(command);
    if (!folder.empty()) session.cachedSourceDir = platform::addTrailingBackslash(folder);
    const std::string& override = in.Setup().commandLine.sourceOverride;
    if (!override.empty()) session.cachedSourceDir = platform::addTrailingBackslash(override);
}

// Steps shared by Apply Changes and Apply Patch before the run. False when the sources could
// not be found: the statement then ends with "CANCEL".
bool prepareRun(Interpreter& in, std::size_t statement, bool patch, const std::string& resultParameter,
                bool installRun) {
    msi::InstallerSession& session = installer(in);
    TVariableManager& vars = in.Vars();
    SetupContext& setup = in.Setup();
    const std::string& productCode = setup.payload.productCode;
    const int buildKind = setup.payload.buildKind;
    msi::InstallerHost& host = session.host;

    locateInstalledSetup(in);
    if (buildKind == 3 && !host.FileExists(session.cachedSourceDir + productCode) &&
        host.FileExists(setup.dataDir + productCode))
        session.cachedSourceDir = setup.dataDir;

    bool search = false;
    if (buildKind == 3 ? host.FileExists(session.cachedSourceDir + productCode) : host.FileExists(setup.dataDir + productCode))
        search = false;
    else
        search = (ParseBool(vars.FetchValue("MAINTENANCE")) || patch) && buildKind != 2 && (patch || installRun);

    while (search) {
        std::optional<std::string> chosen;
        if (!in.Silent()) chosen = host.BrowseForFolder(msi::LocalizedMessage(msi::kLocateSourcesPrompt), in.NonModalWindow());
        if (!chosen) {
            vars.AssignVariable("LASTERROR", msi::LocalizedMessage(msi::kSourcesNotFound),
                                patch ? "Apply Patch Action" : "Apply Changes Action");
            storeResult(in, patch ? "Apply Patch" : "Apply Changes", resultParameter, "CANCEL");
            return false;
        }
        const std::string folder = platform::addTrailingBackslash(*chosen);
        std::string found;
        if (host.FileExists(folder + productCode)) found = folder;
        else if (host.FileExists(folder + "data\\" + productCode)) found = folder + "data\\";
        if (found.empty()) continue;
        setup.dataDir = found;
        if (vars.HasVariable("DATADIR")) vars.DefineVariable("DATADIR", found, "Initialization");
        search = false;
    }

    if (buildKind == 2) acquireOfflineMedia(in, statement);
    in.Pending().QueuePendingProperty("MSINTEMP", setup.tempDir);
    in.RecordedProperties().add("MSINTEMP");
    in.RecordedProperties().add(setup.tempDir);
    return true;
}

msi::InstallerRunOutcome runPackage(Interpreter& in, msi::RunInstallerArgs args) {
    msi::InstallerSession& session = installer(in);
    SetupContext& setup = in.Setup();
    TVariableManager& vars = in.Vars();
    session.edits.productCode = setup.payload.productCode;
    session.edits.revisionCode = setup.payload.revisionCode;
    args.location = vars.ExpandPath(vars.FetchValue("TARGETDIR"));
    args.productCode = setup.payload.productCode;
    args.properties = CommaText(in.RecordedProperties());
    args.statementStates = CommaText(in.StatementStates());
    args.variables = vars.VariableSnapshot();
    args.dataFolder = setup.dataDir;
    args.platformMode = in.Switches().platformMode;
    args.logFile = setup.trace.path();
    msi::InstallWorkerContext context{session, vars, setup.trace, in.Pending(), setup.tempDir, setup.windowCaption};
    return msi::RunInstaller(context, in.Platform(), args, in.Silent(), in.NonModalWindow());
}

void report(Interpreter& in, const char* command, const std::string& resultParameter,
            const msi::InstallerRunOutcome& outcome) {
    TVariableManager& vars = in.Vars();
    if (!outcome.errorText.empty()) vars.AssignVariable("LASTERROR", outcome.errorText, std::string(command) + " Action");
    if (resultName(resultParameter).empty()) return;
    switch (outcome.result) {
    case msi::kRunFailed: storeResult(in, command, resultParameter, "ERROR"); break;
    case msi::kRunCancelled: storeResult(in, command, resultParameter, "CANCEL"); break;
    case msi::kRunComplete: storeResult(in, command, resultParameter, "COMPLETE"); break;
    default:
        storeResult(in, command, resultParameter, "REBOOT");
        vars.AssignVariable("REBOOTCOMPUTER", "TRUE", std::string(command) + " Action");
        break;
    }
}

std::string patchPathOf(const std::string& package) {
    return platform::folderPart(package) + platform::nameWithoutExtension(package) + ".msp";
}

} // namespace

void ApplyChanges(Interpreter& in, std::size_t statement) {
    const std::string resultParameter = in.Param(statement, 2);
    const bool install = ParseBool(in.Param(statement, 3));
    const bool uninstall = ParseBool(in.Param(statement, 4));
    if (!prepareRun(in, statement, false, resultParameter, install)) return;

    msi::InstallerSession& session = installer(in);
    const std::string language = languageIdentifier(in.CurrentLanguage());
    if (!in.CurrentLanguage().empty()) {
        if (!language.empty()) in.Pending().QueuePendingProperty("ProductLanguage", language);
        msi::TranslatePackageShortcuts(session.api, in.PackagePath(), session.shortcutNames);
        msi::TranslatePackageFileTypes(session.api, in.PackagePath(), session.fileTypeNames);
    }
    msi::RunInstallerArgs args;
    args.package = in.PackagePath();
    args.workingPath = in.Setup().supportDir + in.Param(statement, 1) + ".dfm";
    args.advertise = !install && !uninstall;
    args.install = install;
    args.advertisedBefore = advertisedBefore(in);
    const msi::InstallerRunOutcome outcome = runPackage(in, args);
    report(in, "Apply Changes", resultParameter, outcome);

    if (outcome.result == msi::kRunComplete || outcome.result == msi::kRunCompleteReboot) {
        if (install || args.advertise) writeInstallationCache(in, args.advertise);
        else removeInstallationCache(in);
    }
}

void ApplyPatch(Interpreter& in, std::size_t statement) {
    const std::string resultParameter = in.Param(statement, 1);
    if (!prepareRun(in, statement, true, resultParameter, false)) return;
    msi::InstallerSession& session = installer(in);
    session.cachedSourceDir = in.Setup().dataDir;
    msi::RunInstallerArgs args;
    args.patch = true;
    args.package = patchPathOf(in.PackagePath());
    args.install = false;
    report(in, "Apply Patch", resultParameter, runPackage(in, args));
}

void InstallFiles(Interpreter& in, std::size_t statement) {
    const std::string header = commandHeader(in.payload(), statement);
    if (header.empty()) throw ScriptError(kMissingHeader);
    if (statement < in.StatementStates().size()) in.StatementStates().set(statement, "TRUE");
    exportProperty(in, "A" + header, "TRUE");
    if (in.payload().buildKind == 2 && statement < in.payload().statementMedia.size() &&
        !in.payload().statementMedia[statement].empty())
        acquireOfflineMedia(in, statement);
    TVariableManager& vars = in.Vars();
    exportProperty(in, "P" + header + "_1", vars.ExpandPath(vars.ExpandText(in.Param(statement, 3))));
}

void IsMsiSetupInstalled(Interpreter& in, std::size_t statement) {
    TVariableManager& vars = in.Vars();
    const int state = installer(in).api.QueryProductState(vars.ExpandPath(in.Param(statement, 1)));
    const std::string name = resultName(in.Param(statement, 2));
    if (name.empty()) return;
    if (!vars.HasVariable(name)) vars.DefineVariable(text::upper(name), "", "Is MSI Setup Installed Action");
    vars.AssignVariable(name, BoolText(state == msi::kInstallStateDefault), "MsiQueryProductState");
}

void Set64BitMode(Interpreter& in, std::size_t statement) {
    const char* modes[] = {"Win32", "ia64", "x64"};
    for (std::size_t k = 1; k <= 3; ++k)
        if (in.Param(statement, k) == "TRUE") in.Switches().platformMode = modes[k - 1];
}

void TransformInstance(Interpreter& in, std::size_t) {
    msi::InstallerSession& session = installer(in);
    if (!ParseBool(in.Vars().FetchValue("NEWINSTANCE"))) return;
    if (session.host.FileExists(patchPathOf(in.PackagePath()))) return;
    SetupPayload& payload = in.Setup().payload;
    payload.productCode = text::upper(session.host.NewGuid());
    payload.revisionCode = text::upper(session.host.NewGuid());
    session.edits.instanceTransform = true;
    session.edits.componentIdsRenewed = false;
    // The maintenance state follows the new instance; until the cache's InitMaintenanceState
    // is wired here, the two code variables are.
    in.Vars().DefineVariable("PRODUCTCODE", payload.productCode, "Bootstrap");
    in.Vars().DefineVariable("REVISIONCODE", payload.revisionCode, "Bootstrap");
}

} // namespace velmora::commands
