// Facts about the running process that the start-up needs: its own file, the temporary folder,
// the raw command line, and a few process-wide calls.
#pragma once

#include <string>

namespace velmora::platform {

// Full path of the engine's own file. A path the ANSI code page cannot express is given in its
// short (8.3) form, so it is always valid ANSI text.
std::string exeFilePath();
// The user's temporary folder with a trailing backslash (same ANSI rule), created if missing.
std::string tempFolder();
std::string rawCommandLine();
// Restricts the process to the first processor when the system offers the call.
void restrictToFirstProcessor();
// Shows an error message box with an OK button; owner is an HWND or null.
void showErrorMessage(const std::string& text, const std::string& caption, void* owner);
// Copies a file (overwriting) and gives the copy normal attributes.
bool copyFileNormal(const std::string& from, const std::string& to);
bool deleteFile(const std::string& path);
// The value of an environment variable, empty when unset.
std::string environmentValue(const std::string& name);

} // namespace velmora::platform
