// The main program: command line, payload, support folder, resource archive, package copy,
// dialog preload, the script run, and the clean-up that ends with the exit code.
#include "bootstrap/startup.h"

#include <cstdio>
#include <optional>
#include <stdexcept>

#include "bootstrap/setup_context.h"
#include "media/archive_library.h"
#include "msi/installer_api.h"
#include "msi/installer_host.h"
#include "msi/installer_session.h"
#include "platform/file_utils.h"
#include "platform/process_info.h"
#include "platform/system_info.h"
#include "script/interpreter.h"
#include "script/script_host.h"

namespace velmora {
namespace {

// Exit codes of the start-up sequence.
enum ExitCode : int {
    kRuntimeFailure = 11,
    kNoPayload = 13,
    kNoResourceArchive = 14,
    kResourceExtractionFailed = 15,
    kNoPackage = 16,
    kScriptDoesNotCompile = 314,
};

// An early exit (codes 13-16): the process ends at once, the support folder stays.
struct EarlyExit {
    int code;
};

std::string readWholeFile(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw std::runtime_error("Cannot open file \"" + path + "\"");
    std::string bytes;
    char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof(buffer), f)) > 0;) bytes.append(buffer, n);
    std::fclose(f);
    return bytes;
}

void writeWholeFile(const std::string& path, std::string_view bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("Cannot create file \"" + path + "\"");
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) throw std::runtime_error("Cannot write file \"" + path + "\"");
}

class StartupSequence {
public:
    int run();

private:
    void prepareProcess();
    void readPayload();
    void createSupportFolder();
    void extractResources();
    void copyPackage();
    void preloadDialogs();
    void runScript();
    void removeSupportFolder();

    void loadArchiveLibrary();
    // Seams for the subsystems that join the start-up later: each does nothing yet.
    void showStartupWindows() {}
    void closeStartupWindows() {}
    void loadLanguageFile(const std::string&) {}

    void marker(const char* text);
    void reportRuntimeFailure(const std::string& message);
    void fail(int code, const char* message);

    SetupContext ctx_;
    TVariableManager vars_;
    std::optional<ArchiveLibrary> archives_;
    std::string archiveLibraryError_;
    std::string injectedFault_;
};

void StartupSequence::marker(const char* text) {
    ctx_.trace.WriteTraceMarker(text);
    // VELMORA_FAULT_AT names an opening marker ("Dialogs") at which a test makes the run fail.
    if (!injectedFault_.empty()) {
        const std::string_view t = std::string_view(text).substr(std::string_view(text).find('<'));
        if (t == "<" + injectedFault_ + ">") throw std::runtime_error("Injected failure at " + std::string(t));
    }
}

void StartupSequence::fail(int code, const char* message) {
    if (!ctx_.silent()) platform::showErrorMessage(message, ctx_.windowCaption, nullptr);
    throw EarlyExit{code};
}

// Any failure escaping a step: message without an owner, exit code 11, the clean-up still runs.
void StartupSequence::reportRuntimeFailure(const std::string& message) {
    if (!ctx_.silent()) platform::showErrorMessage("Runtime error in install: " + message, ctx_.windowCaption, nullptr);
    ctx_.exitCode = kRuntimeFailure;
}

// kel.lib beside the engine: its exports unpack every archive, and the bytes appended to its
// file are the language file. A library that cannot be loaded is reported when the resource
// archive needs it.
void StartupSequence::loadArchiveLibrary() {
    try {
        archives_ = ArchiveLibrary::load(ctx_.exeDir);
    } catch (const std::exception& e) {
        archiveLibraryError_ = e.what();
        return;
    }
    const std::string language = archives_->appendedData();
    if (language.empty()) return;
    const std::string path = ctx_.tempDir + "lang.loc";
    try {
        writeWholeFile(path, language);
        loadLanguageFile(path);
    } catch (const std::exception&) {
        // A setup without its translations still runs in its own language.
    }
    platform::deleteFile(path);
}

void StartupSequence::prepareProcess() {
    platform::restrictToFirstProcessor();
    ctx_.exePath = platform::exeFilePath();
    ctx_.exeDir = platform::folderPart(ctx_.exePath);
    ctx_.exeName = platform::nameWithoutExtension(ctx_.exePath);
    ctx_.tempDir = platform::tempFolder();
    loadArchiveLibrary();
    ctx_.resourceArchive = ctx_.exeDir + ctx_.exeName + ".res";
    ctx_.commandLine = parseCommandLine(platform::rawCommandLine());
    ctx_.trace = TraceLog(ctx_.commandLine.logFile);
    injectedFault_ = platform::environmentValue("VELMORA_FAULT_AT");
}

void StartupSequence::readPayload() {
    marker("    <StubSize>");
    std::string image = readWholeFile(ctx_.exePath);
    const std::uint64_t stubSize = peStubSize(image);
    if (stubSize >= image.size()) fail(kNoPayload, "For internal use only");
    marker("    </StubSize>");

    marker("    <StubData>");
    const std::string copy = ctx_.tempDir + "kel.tmp";
    writeWholeFile(copy, std::string_view(image).substr(stubSize));
    image.clear();
    image.shrink_to_fit();
    marker("    </StubData>");

    marker("    <GlobalLists>");
    const std::string text = readWholeFile(copy);
    platform::deleteFile(copy);
    ctx_.payload = parsePayload(text);
    marker("    </GlobalLists>");
}

void StartupSequence::createSupportFolder() {
    marker("    <SupportDir>");
    // The first kel<n> that is not already a folder. A file of that name is passed over as well:
    // it must not stop the setup.
    for (int n = 1;; ++n) {
        const std::string folder = ctx_.tempDir + "kel" + std::to_string(n);
        if (platform::folderExists(folder)) continue;
        if (platform::fileExists(folder) && n < 10000) continue;
        if (!platform::createFolders(folder)) throw std::runtime_error("Unable to create directory " + folder);
        ctx_.supportDir = folder + "\\";
        break;
    }
    marker("    </SupportDir>");
}

void StartupSequence::extractResources() {
    marker("    <ExtractArchive>");
    if (!platform::fileExists(ctx_.resourceArchive)) fail(kNoResourceArchive, "Setup resource not found");
    const ArchiveExtractResult extracted =
        archives_ ? archives_->extract(ctx_.resourceArchive, ctx_.supportDir, "", true)
                  : ArchiveExtractResult{false, archiveLibraryError_};
    if (!extracted.success) fail(kResourceExtractionFailed, "Setup resource decompression failure");
    marker("    </ExtractArchive>");
}

void StartupSequence::copyPackage() {
    marker("    <ExtractResource>");
    const std::string base = ctx_.exeDir + ctx_.exeName;
    const bool hasMsi = platform::fileExists(base + ".msi");
    const bool hasMsp = platform::fileExists(base + ".msp");
    if (!hasMsi && !hasMsp) fail(kNoPackage, "Setup database not found");
    marker("    </ExtractResource>");
    marker("    <ResourcePath>");
    for (const char* ext : {".msi", ".msp"})
        if (platform::fileExists(base + ext)) platform::copyFileNormal(base + ext, ctx_.supportDir + ctx_.exeName + ext);
    marker("    </ResourcePath>");
    ctx_.dataDir = ctx_.initialDataDir = ctx_.exeDir + "data\\";
}

void StartupSequence::preloadDialogs() {
    marker("    <Dialogs>");
    // The dialog engine loads one page per active "Display Dialog" statement here.
    marker("    </Dialogs>");
    closeStartupWindows();
    marker("  </SetupSplash>");
}

void StartupSequence::runScript() {
    marker("  <RunScript>");
    const auto system = platform::createSystemInfo();
    const auto scriptPlatform = createWindowsScriptPlatform(system->is64BitProcess());
    SilentDialogEngine dialogs;
    Interpreter interpreter(ScriptEnvironment{ctx_, vars_, dialogs, *scriptPlatform, *system},
                            ctx_.supportDir + ctx_.exeName + ".msi");
    const auto installerHost = msi::createWindowsInstallerHost();
    msi::InstallerSession installer(msi::windowsInstallerApi(), *installerHost);
    // VELMORA_CANCEL_AT ("start" or "message") lets a test cancel an installer run.
    installer.injectedCancel = platform::environmentValue("VELMORA_CANCEL_AT");
    interpreter.SetInstaller(&installer);
    switch (interpreter.RunScript()) {
    case ScriptOutcome::CompileFailed:
        // A script that does not compile ends the process at once: nothing shown, nothing removed.
        throw EarlyExit{kScriptDoesNotCompile};
    case ScriptOutcome::Failed:
    case ScriptOutcome::MediaFailed:
        // The user was told; deployment tools learn it from the exit code.
        ctx_.exitCode = kRuntimeFailure;
        break;
    default:
        break;
    }
    marker("  </RunScript>");
}

void StartupSequence::removeSupportFolder() {
    marker("  <CachedSupportDir>");
    if (!ctx_.supportDir.empty() && platform::folderExists(ctx_.supportDir)) {
        for (int pass = 0; pass < 3; ++pass) platform::ClearFolder(ctx_.supportDir, true);
        platform::removeFolder(ctx_.supportDir);
    }
    marker("  </CachedSupportDir>");
    marker("</Velmora>");
}

int StartupSequence::run() {
    prepareProcess();
    marker("<Velmora>");
    marker("  <SetupSplash>");
    if (!ctx_.quietStart()) showStartupWindows();
    try {
        try {
            readPayload();
            createSupportFolder();
            extractResources();
            copyPackage();
            preloadDialogs();
            runScript();
            marker("  <Free>");
            ctx_.payload = SetupPayload{};
            marker("  </Free>");
        } catch (const EarlyExit&) {
            throw;
        } catch (const std::exception& e) {
            reportRuntimeFailure(e.what());
        } catch (...) {
            reportRuntimeFailure("Unknown exception");
        }
    } catch (const EarlyExit& early) {
        return early.code;
    }
    removeSupportFolder();
    return ctx_.exitCode;
}

} // namespace

int runSetup() {
    StartupSequence sequence;
    return sequence.run();
}

} // namespace velmora
