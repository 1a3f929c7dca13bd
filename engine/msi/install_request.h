// InstallRequest: the one record a run of the installer worker reads and writes. The main thread
// fills the inputs before the worker starts and reads the results only after the worker has set
// QORV_thFinished; the variable store's lock on that variable is the hand-over point.
#pragma once

#include <cstdint>
#include <string>

#include "msi/progress_rules.h"

namespace velmora::msi {

struct InstallRequest {
    // --- inputs (main thread, before the worker starts) ---
    std::string package;          // .msi (install, change, remove) or .msp (patch)
    bool patch = false;
    bool install = true;          // install/repair/advertise; false: removal
    bool advertise = false;       // forces install
    std::string location;         // ExpandPath(TARGETDIR): ARPINSTALLLOCATION
    std::string productCode;
    std::string properties;       // RecordedProperties, comma text
    std::string statementStates;  // StatementStates, comma text
    std::string variables;        // VariableSnapshot
    std::string dataFolder;       // DataDir
    std::string sourceFolder;     // CachedSourceDir
    std::intptr_t ownerWindow = 0;// owner of the installer's message boxes; 0: none
    bool advertisedBefore = false;// the installation cache marks the product as advertised
    std::string platformMode;     // PlatformMode for the package's platform edit
    std::string logFile;          // LogFile; empty: no log

    // --- set by the worker from the variables text ---
    bool silent = false;
    std::string title;

    // --- results (worker, read after QORV_thFinished) ---
    bool reboot = false;
    bool failed = false;
    std::string errorText;
    std::string lastMessage;      // the last fatal or error message of the run

    // The counters of the progress display; kept from run to run.
    ProgressState progress;

    void clearResults() {
        reboot = failed = false;
        errorText.clear();
        lastMessage.clear();
    }
};

} // namespace velmora::msi
