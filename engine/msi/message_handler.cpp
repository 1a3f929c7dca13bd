#include "msi/message_handler.h"

#include "msi/engine_messages.h"

namespace velmora::msi {
namespace {

constexpr std::uint32_t kIconStop = 0x10;
constexpr std::uint32_t kIconQuestion = 0x20;
constexpr std::uint32_t kIconExclamation = 0x30;

std::string captioned(std::string_view caption, const std::string& text) {
    return LocalizedMessage(caption) + "\r\r" + text;
}

} // namespace

int InstallerMessageHandler::box(const std::string& text, std::uint32_t style, bool languageNeutral) {
    return boxes_.ShowMessageBox(request_.ownerWindow, text, request_.title, style, languageNeutral);
}

int InstallerMessageHandler::OnInstallerMessage(std::uint32_t word, const std::string& text) {
    const std::uint32_t type = word >> 24;
    const std::uint32_t style = word & 0x00FFFFFF;
    const bool silent = request_.silent;
    ProgressState& progress = request_.progress;
    int answer = 1;
    switch (type) {
    case kMessageFatalExit:
        request_.lastMessage = text;
        answer = silent ? 0 : box(captioned(kFatalErrorCaption, text), style | kIconStop);
        break;
    case kMessageError:
        request_.lastMessage = text;
        answer = silent ? 1 : box(captioned(kErrorCaption, text), style | kIconStop, true);
        break;
    case kMessageWarning:
        answer = silent ? 1 : box(captioned(kWarningCaption, text), style | kIconExclamation);
        break;
    case kMessageUser:
        answer = silent ? 1 : box(text, style | kIconQuestion);
        break;
    case kMessageOutOfDiskSpace:
        answer = silent ? 1 : box(captioned(kOutOfDiskSpaceCaption, text), style | kIconStop);
        break;
    case kMessageResolveSource:
        answer = 0;   // the installer resolves its source itself
        break;
    case kMessageActionStart:
        progress.text = ActionStartText(text);
        break;
    case kMessageActionData:
        progress.text = text;
        progress.position += progress.step;
        break;
    case kMessageProgress:
        if (!text.empty()) ApplyProgressFields(progress, ParseProgressFields(text));
        break;
    case kMessageInfo:
    case kMessageCommonData:
    case kMessageInitialize:
    case kMessageTerminate:
    case kMessageShowDialog:
        break;
    default:
        answer = 0;
        break;
    }
    if (publish_ && !publish_(progress.text, progress.minimum, progress.total, progress.position)) answer = 2;
    return answer;
}

} // namespace velmora::msi
