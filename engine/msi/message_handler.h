// InstallerMessageHandler: answers every message the installer sends during a run. Errors,
// warnings and questions become message boxes owned by the page on screen (none when silent);
// action and progress messages update the progress counters, which are published after every
// message. A user's cancel turns the answer into 2 (cancel).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "msi/install_request.h"
#include "msi/installer_api.h"

namespace velmora::msi {

// Shows a modal message box; returns the identifier of the button pressed (1 OK ... 7 No).
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // languageNeutral: the box's buttons follow the system's neutral language.
    virtual int ShowMessageBox(std::intptr_t owner, const std::string& text, const std::string& caption,
                               std::uint32_t style, bool languageNeutral) = 0;
};

// Installer message types (the top 8 bits of the message word).
enum InstallerMessageType : std::uint32_t {
    kMessageFatalExit = 0x00,
    kMessageError = 0x01,
    kMessageWarning = 0x02,
    kMessageUser = 0x03,
    kMessageInfo = 0x04,
    kMessageResolveSource = 0x06,
    kMessageOutOfDiskSpace = 0x07,
    kMessageActionStart = 0x08,
    kMessageActionData = 0x09,
    kMessageProgress = 0x0A,
    kMessageCommonData = 0x0B,
    kMessageInitialize = 0x0C,
    kMessageTerminate = 0x0D,
    kMessageShowDialog = 0x0E,
};

class InstallerMessageHandler : public InstallerMessageSink {
public:
    // Called after every message with (text, minimum, total, position); false means cancel.
    using Publisher = std::function<bool(const std::string&, std::int64_t, std::int64_t, std::int64_t)>;

    InstallerMessageHandler(InstallRequest& request, MessageBoxes& boxes, Publisher publish)
        : request_(request), boxes_(boxes), publish_(std::move(publish)) {}

    int OnInstallerMessage(std::uint32_t word, const std::string& text) override;

private:
    int box(const std::string& text, std::uint32_t style, bool languageNeutral = false);

    InstallRequest& request_;
    MessageBoxes& boxes_;
    Publisher publish_;
};

} // namespace velmora::msi
