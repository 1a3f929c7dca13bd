#include "msi/install_thread.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "bootstrap/trace_log.h"
#include "core/text.h"
#include "msi/engine_messages.h"
#include "msi/message_handler.h"
#include "msi/package_edits.h"
#include "msi/property_file.h"
#include "msi/property_string.h"
#include "msi/worker_progress.h"
#include "platform/file_utils.h"
#include "script/script_host.h"
#include "script/variables.h"

namespace velmora::msi {
namespace {

constexpr const char* kProgressTitle = "Windows Installer";
constexpr unsigned kBusyRetryMilliseconds = 3141;

bool hasBlank(const std::string& text) { return text.find(' ') != std::string::npos; }

bool cancelled(const TVariableManager& vars) { return vars.FetchValue("QORV_thCancelled") == "TRUE"; }

// Replaces folder by its short form; true when that form has a blank or there is none.
bool shortenFolder(InstallerHost& host, std::string& folder) {
    const std::string shortForm = host.ShortPath(folder);
    if (shortForm.empty()) return true;
    folder = platform::addTrailingBackslash(shortForm);
    return hasBlank(folder);
}

// The property file exists only while the worker runs, whatever way the run ends.
class PropertyFileScope {
public:
    PropertyFileScope(InstallerHost& host, std::string path) : host_(host), path_(std::move(path)) {}
    ~PropertyFileScope() { host_.RemoveFile(path_); }
    PropertyFileScope(const PropertyFileScope&) = delete;
    PropertyFileScope& operator=(const PropertyFileScope&) = delete;
    void write(const std::string& text) {
        if (!host_.WriteTextFile(path_, text)) throw std::runtime_error("Unable to write file " + path_);
    }

private:
    InstallerHost& host_;
    std::string path_;
};

void writeLogBlock(InstallWorkerContext& ctx, const std::string& installerFolder, const std::string& mediaPackagePath) {
    InstallRequest& r = ctx.session.request;
    ctx.session.host.CreateFolders(platform::folderPart(r.logFile));
    TraceLog& log = ctx.log;
    log.WriteTraceMarker("=== " + ctx.windowCaption + ": Applying Changes @" + ctx.session.host.DateTimeText() + " ===");
    log.WriteTraceMarker("");
    const std::pair<std::string_view, const std::string*> blocks[] = {
        {kLogVariables, &r.variables},       {kLogProperties, &r.properties},      {kLogDatabase, &r.package},
        {kLogGuid, &r.productCode},          {kLogDataDirectory, &r.dataFolder},   {kLogMediaDirectory, &mediaPackagePath},
        {kLogMsiDirectory, &installerFolder},
    };
    for (const auto& [heading, value] : blocks) {
        log.WriteTraceMarker(LocalizedMessage(heading));
        log.WriteTraceMarker(*value);
        log.WriteTraceMarker("");
    }
    log.WriteTraceMarker("");
    // The installer appends its own log to the same file, flushing every line.
    ctx.session.api.EnableLog(kLogModeAll, r.logFile, kLogAppendAndFlush);
}

// Result codes of MsiInstallProduct and MsiApplyPatch.
void takeResult(InstallWorkerContext& ctx, std::uint32_t code) {
    InstallRequest& r = ctx.session.request;
    if (code == kSuccess) return;
    if (code == kRebootInitiated || code == kRebootRequired) {
        r.reboot = true;
        return;
    }
    r.failed = true;
    r.errorText = TrimmedSystemMessage(ctx.session.host.SystemMessage(code));
}

void runSteps(InstallWorkerContext& ctx) {
    InstallerSession& session = ctx.session;
    InstallRequest& r = session.request;
    InstallerHost& host = session.host;
    InstallerApi& api = session.api;
    TVariableManager& vars = ctx.vars;

    // 1-5. Folders and their blank flags.
    host.RemoveStaleTempPackages(r.productCode);
    std::string installerFolder = platform::addTrailingBackslash(platform::folderPart(r.package));
    const bool installerFolderBlank = shortenFolder(host, installerFolder);
    bool sourceBlank = false;
    std::string dataFolder = r.dataFolder;
    std::string sourceFolder = r.sourceFolder;
    if (!text::equalsIgnoreCase(platform::extension(r.package), "msp")) {
        host.CreateFolders(dataFolder);
    } else if (host.FolderExists(sourceFolder)) {
        sourceBlank = shortenFolder(host, sourceFolder) || sourceBlank;
    }
    if (host.FolderExists(dataFolder)) sourceBlank = shortenFolder(host, dataFolder) || sourceBlank;
    const std::string mediaPackagePath = MediaPackagePath(dataFolder);
    SetWorkerProgress(vars, kProgressTitle, 0, 100, 0);

    // 7. The property file; SILENT and TITLE of the variables text.
    PropertyFileInput file;
    file.patch = r.patch;
    file.dataFolder = dataFolder;
    file.sourceFolder = sourceFolder;
    file.mediaPackagePath = mediaPackagePath;
    file.properties = ParseCommaText(r.properties);
    file.variables = ParseCommaText(r.variables);
    for (std::size_t i = 0; i + 1 < file.variables.size(); i += 2) {
        if (text::equalsIgnoreCase(file.variables[i], "SILENT")) r.silent = text::upper(file.variables[i + 1]) == "TRUE";
        else if (text::equalsIgnoreCase(file.variables[i], "TITLE")) r.title = file.variables[i + 1];
    }
    PropertyFileScope propertyFile(host, PropertyFilePath(ctx.tempDir, r.productCode));
    propertyFile.write(PropertyFileText(file, vars));

    // 8. The package edits.
    SetWorkerProgress(vars, kProgressTitle, 0, 100, 50);
    if (!r.patch) WritePendingProperties(api, r.package, ctx.pending, session.edits, [&] { return host.NewGuid(); });
    SetWorkerProgress(vars, kProgressTitle, 0, 100, 100);
    SetPackagePlatform(api, r.package, r.platformMode);
    SetPackageWordCount(api, r.package);

    // 9-10.
    const int productState = api.QueryProductState(r.productCode);
    if (cancelled(vars)) return;

    // 11-12. The log and the message handler.
    if (!r.logFile.empty()) writeLogBlock(ctx, installerFolder, mediaPackagePath);
    api.SetInternalUI(kUiLevelNoneWithSourceResolution);
    bool cancelInjected = false;
    auto handler = std::make_unique<InstallerMessageHandler>(
        r, host, [&ctx, &cancelInjected](const std::string& text, std::int64_t minimum, std::int64_t total, std::int64_t position) {
            if (ctx.session.injectedCancel == "message" && !cancelInjected) {
                cancelInjected = true;
                ctx.vars.StoreValue("QORV_thCancelled", "TRUE");
            }
            return PublishProgress(ctx.vars, text, minimum, total, position);
        });
    api.SetExternalUI(handler.get(), kExternalUiFilter);
    // The handler stays registered after the run: it is kept until the next run replaces it.
    session.messageHandler = std::move(handler);

    // 13-17. The property string and the installer call.
    PropertyStringInput in;
    in.patch = r.patch;
    in.install = r.install;
    in.advertise = r.advertise;
    in.ntPlatform = host.NtPlatform();
    in.allUsers = vars.FetchValue("ALLUSERS");
    in.disableRollback = vars.FetchValue("QORV_DISABLE_ROLLBACK");
    in.disableRestartManager = vars.FetchValue("QORV_DISABLE_VISTA_RESTART_MANAGER");
    in.productState = productState;
    in.advertisedBefore = r.advertisedBefore;
    in.location = r.location;
    in.dataFolder = dataFolder;
    in.sourceFolder = sourceFolder;
    in.installerFolder = installerFolder;
    in.mediaPackagePath = mediaPackagePath;
    in.installerFolderBlank = installerFolderBlank;
    in.sourceBlank = sourceBlank;

    if (r.patch) {
        const std::string commandLine = BuildPropertyString(in);
        api.SourceListAddSource(r.productCode, "", sourceFolder);
        api.SourceListAddSource(r.productCode, host.AccountName(), sourceFolder);
        takeResult(ctx, api.ApplyPatch(r.package, commandLine));
    } else if (r.install || in.ntPlatform) {
        const std::string commandLine = BuildPropertyString(in);
        takeResult(ctx, CallWithBusyRetry(ctx, [&] { return api.InstallProduct(r.package, commandLine); }));
    } else {
        // Removal on the 9x platform: the properties are set on the opened package.
        ScopedHandle install(api);
        const std::uint32_t opened = api.OpenPackage(r.package, install.out());
        std::uint32_t code = opened;
        if (opened == kSuccess) {
            for (const auto& [name, value] : RemovalPackageProperties(in)) api.SetProperty(install.get(), name, value);
            code = CallWithBusyRetry(ctx, [&] { return api.DoAction(install.get(), "INSTALL"); });
        }
        if (code != kSuccess) {
            r.failed = true;
            r.errorText = TrimmedSystemMessage(host.SystemMessage(code));
        } else if (api.GetMode(install.get(), kRunModeRebootAtEnd) || api.GetMode(install.get(), kRunModeRebootNow)) {
            r.reboot = true;
        }
    }

    // 19.
    if (r.failed && r.errorText.empty()) r.errorText = FallbackFailureText(r.lastMessage);
}

} // namespace

std::string TrimmedSystemMessage(const std::string& text) {
    std::size_t end = text.size();
    while (end > 0) {
        const unsigned char c = static_cast<unsigned char>(text[end - 1]);
        if (c > ' ' && c != '.') break;
        --end;
    }
    return text.substr(0, end);
}

std::string FallbackFailureText(const std::string& lastMessage) {
    std::string text = lastMessage.empty() ? LocalizedMessage(kGeneralSetupFailure) : lastMessage;
    const std::size_t dot = text.find('.');
    if (dot != std::string::npos && dot + 1 == text.size()) text.pop_back();
    return text;
}

std::uint32_t CallWithBusyRetry(InstallWorkerContext& ctx, const std::function<std::uint32_t()>& call) {
    std::string dots;
    for (;;) {
        const std::uint32_t code = call();
        if (code != kInstallAlreadyRunning) return code;
        dots = dots == "..." ? "." : dots + ".";
        SetWorkerProgress(ctx.vars, kProgressTitle + dots, 0, 100, 100);
        ctx.session.host.Sleep(kBusyRetryMilliseconds);
        if (cancelled(ctx.vars)) return code;
    }
}

void RunInstallWorker(InstallWorkerContext& ctx) {
    InstallRequest& r = ctx.session.request;
    try {
        runSteps(ctx);
    } catch (const std::exception& e) {
        r.failed = true;
        r.errorText = e.what();
    } catch (...) {
        r.failed = true;
        r.errorText = FallbackFailureText({});
    }
}

InstallerRunOutcome RunInstaller(InstallWorkerContext& ctx, ScriptPlatform& platform, const RunInstallerArgs& args,
                                 bool silent, std::intptr_t ownerWindow) {
    InstallerSession& session = ctx.session;
    InstallerHost& host = session.host;
    TVariableManager& vars = ctx.vars;

    // 1. The working folder.
    const std::string savedFolder = host.CurrentFolder();
    const std::string workingFolder = platform::folderPart(args.workingPath);
    if (!workingFolder.empty()) host.SetCurrentFolder(workingFolder);

    // 2-3. The request.
    InstallRequest& r = session.request;
    r.package = args.package;
    r.patch = args.patch;
    r.advertise = args.advertise;
    r.install = args.install || args.advertise;
    r.location = args.location;
    r.productCode = args.productCode;
    r.properties = args.properties;
    r.statementStates = args.statementStates;
    r.variables = args.variables;
    r.dataFolder = args.dataFolder;
    r.sourceFolder = session.cachedSourceDir;
    r.ownerWindow = ownerWindow;
    r.advertisedBefore = args.advertisedBefore;
    r.platformMode = args.platformMode;
    r.logFile = args.logFile;

    // 4.
    vars.StoreValue("QORV_thFinished", "FALSE");
    vars.StoreValue("QORV_thCancelled", session.injectedCancel == "start" ? "TRUE" : "FALSE");
    r.clearResults();
    SetWorkerProgress(vars, "", 0, 0, -1);

    // 5-6. The worker marks itself finished in the store; the wait wakes on that mark and,
    // outside silent mode, lets the user interface handle its events in the meantime.
    session.backgroundBusy = true;
    std::mutex lock;
    std::condition_variable finishedSignal;
    bool finished = false;
    std::thread worker([&] {
        RunInstallWorker(ctx);
        std::lock_guard<std::mutex> guard(lock);
        vars.StoreValue("QORV_thFinished", "TRUE");
        finished = true;
        finishedSignal.notify_all();
    });
    for (;;) {
        if (!silent) platform.ProcessPendingEvents();
        std::unique_lock<std::mutex> guard(lock);
        if (finished && vars.FetchValue("QORV_thFinished") == "TRUE") break;
        finishedSignal.wait_for(guard, std::chrono::milliseconds(silent ? 1000 : 20));
    }
    worker.join();

    // 7-8.
    session.backgroundBusy = false;
    host.SetCurrentFolder(savedFolder);
    InstallerRunOutcome outcome;
    outcome.errorText = r.errorText;
    if (cancelled(vars)) outcome.result = kRunCancelled;
    else if (r.failed) outcome.result = kRunFailed;
    else if (r.reboot) outcome.result = kRunCompleteReboot;
    else outcome.result = kRunComplete;
    return outcome;
}

} // namespace velmora::msi
