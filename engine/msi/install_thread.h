// TMSIThread and RunInstaller: one run of the package through the installer on a worker thread,
// with the property file, the log block, the package edits, the property string, the busy retry
// and the result rules; the main thread keeps the user interface alive until the worker is done.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "msi/installer_session.h"
#include "msi/pending_properties.h"

namespace velmora {
class TVariableManager;
class TraceLog;
class ScriptPlatform;
} // namespace velmora

namespace velmora::msi {

// What the worker reaches besides its request.
struct InstallWorkerContext {
    InstallerSession& session;
    TVariableManager& vars;
    TraceLog& log;
    PendingProperties& pending;
    std::string tempDir;
    std::string windowCaption;
};

// The run's work, from the clean-up of stale temporary packages to the result fields of the
// request; the property file is deleted on every path. Never throws: a failure that is not an
// installer result (a missing installer function, an unwritable file) fails the run with its text.
void RunInstallWorker(InstallWorkerContext& ctx);

// Calls the installer again while it reports another installation in progress (1618), showing
// "Windows Installer" with one to three dots and waiting 3141 ms between calls; stops when the
// user cancels. Returns the last result.
std::uint32_t CallWithBusyRetry(InstallWorkerContext& ctx, const std::function<std::uint32_t()>& call);

// The failure text of a result code: the system's text, trimmed at its end of blanks, control
// characters and "."; empty when the system has none.
std::string TrimmedSystemMessage(const std::string& text);
// The text of a failure without system text: the last message, else "General setup failure",
// losing its final "." when that is its only full stop.
std::string FallbackFailureText(const std::string& lastMessage);

struct RunInstallerArgs {
    bool patch = false;
    std::string package;
    std::string workingPath;    // its folder becomes the current folder during the run; may be empty
    std::string location;
    bool advertise = false;
    bool install = true;
    std::string productCode;
    std::string properties;     // comma text
    std::string statementStates;// comma text
    std::string variables;      // VariableSnapshot
    std::string dataFolder;
    bool advertisedBefore = false;
    std::string platformMode;
    std::string logFile;
};

enum InstallerResult : int { kRunFailed = -1, kRunCancelled = 0, kRunComplete = 1, kRunCompleteReboot = 2 };

struct InstallerRunOutcome {
    int result = kRunFailed;
    std::string errorText;
};

// Fills the request, starts the worker and waits for it: outside silent mode the user interface
// handles its events meanwhile. A cancel during the run wins over every other outcome.
InstallerRunOutcome RunInstaller(InstallWorkerContext& ctx, ScriptPlatform& platform, const RunInstallerArgs& args,
                                 bool silent, std::intptr_t ownerWindow);

} // namespace velmora::msi
