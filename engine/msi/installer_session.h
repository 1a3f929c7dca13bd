// The installer integration's engine-wide state for one script run: the msi.dll binding and the
// host, the one InstallRequest, the package edit flags, CachedSourceDir and the translated
// names that Apply Changes writes into the package.
#pragma once

#include <memory>
#include <string>

#include "core/text_list.h"
#include "msi/install_request.h"
#include "msi/installer_api.h"
#include "msi/installer_host.h"
#include "msi/package_edits.h"

namespace velmora::msi {

struct InstallerSession {
    InstallerSession(InstallerApi& installerApi, InstallerHost& installerHost) : api(installerApi), host(installerHost) {}

    InstallerApi& api;
    InstallerHost& host;
    InstallRequest request;
    PackageEditState edits;
    std::string cachedSourceDir;
    TextList shortcutNames;     // triples: "P" + header + "_1", short~1|long name, description
    TextList fileTypeNames;     // triples: raw name, translated name, translated description
    bool backgroundBusy = false;// a command waits for the worker; the pages refresh progress then
    // Test hook: "start" makes the run cancelled before the installer is called, "message" at
    // the installer's first message (as a user's cancel on the progress page would).
    std::string injectedCancel;
    // The handler registered with the installer: it stays registered after a run, until the
    // next run replaces it.
    std::unique_ptr<InstallerMessageSink> messageHandler;
};

} // namespace velmora::msi
