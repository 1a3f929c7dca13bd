// The narrow interfaces through which the script engine reaches the rest of the system: the
// dialog engine and the platform (events, message boxes, clock, a few registry and file
// operations). The Windows build plugs in real ones; native tests use small fakes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace velmora {

// Results of ShowDialog for modal pages.
enum DialogResult : std::intptr_t { kDialogCancel = 2, kDialogNext = 6, kDialogBack = 7, kDialogNamedButton = 8 };

class DialogEngine {
public:
    virtual ~DialogEngine() = default;
    virtual void BindDialog(const std::string& key) = 0;
    virtual void UnbindDialog(const std::string& key) = 0;
    // Modal: 6 Next, 7 Back, 2 Cancel, 8 a named button (its name in resultName). Non-modal: the
    // window handle of the page left on screen.
    virtual std::intptr_t ShowDialog(const std::string& key, std::string& resultName, bool modal) = 0;
    virtual void HideCurrentDialog(const std::string& extraKey) = 0;
    virtual void FreeDialogEngine() = 0;
    // Stops and restarts the redrawing of a window while a page is bound.
    virtual void LockWindowUpdates(std::intptr_t window, bool locked) {}
};

// The dialog engine of a run without pages: every page answers Next at once, as silent runs do.
class SilentDialogEngine : public DialogEngine {
public:
    void BindDialog(const std::string&) override {}
    void UnbindDialog(const std::string&) override {}
    std::intptr_t ShowDialog(const std::string&, std::string&, bool modal) override { return modal ? std::intptr_t{kDialogNext} : 0; }
    void HideCurrentDialog(const std::string&) override {}
    void FreeDialogEngine() override {}
};

class ScriptPlatform {
public:
    virtual ~ScriptPlatform() = default;
    // Lets the user interface handle every pending event.
    virtual void ProcessPendingEvents() {}
    // Lets it handle one event, waiting for one when none is pending.
    virtual void HandleOneEvent() {}
    // An error message box (error icon, OK button); owner is a window handle or 0.
    virtual void ShowErrorMessage(const std::string& text, const std::string& caption, std::intptr_t owner) = 0;
    virtual bool FileExists(const std::string& path) = 0;
    // Today's date in the user's short date format and the time in the long time format.
    virtual std::string DateText() = 0;
    virtual std::string TimeText() = 0;
    // Deletes a value of SOFTWARE\Microsoft\Windows\CurrentVersion\Run under HKEY_CURRENT_USER
    // and then HKEY_LOCAL_MACHINE; failures are ignored.
    virtual void DeleteRunValue(const std::string& valueName) = 0;
};

#if defined(_WIN32)
// The platform of a real run: the thread's message queue, message boxes, the user's date and
// time formats, the registry.
std::unique_ptr<ScriptPlatform> createWindowsScriptPlatform(bool process64Bit);
#endif

} // namespace velmora
