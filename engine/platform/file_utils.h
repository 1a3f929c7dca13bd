// File and folder utilities shared by start-up, media, dialogs, the installer integration and
// the system commands: path tidying, listings, emptying folder trees, deletion at restart, free
// space and the shell's folder picker. Plain functions on ANSI paths.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::platform {

// Pure path text.
std::string addTrailingBackslash(std::string_view path);
std::string removeTrailingBackslash(std::string_view path);
std::string extension(std::string_view path);           // "txt" for "a.txt"; empty when none
std::string nameWithoutExtension(std::string_view path); // file name part minus its extension
std::string fileNamePart(std::string_view path);         // text after the last '\', '/' or ':'
std::string folderPart(std::string_view path);           // up to and including that separator

// Windows file system (implemented in file_utils_win.cpp).
bool fileExists(const std::string& path);                // exists and is not a folder
bool folderExists(const std::string& path);
bool createFolders(const std::string& path);             // every missing level; false at the first failure
bool removeFolder(const std::string& path);              // an empty folder
std::int64_t freeSpace(const std::string& path);         // bytes available to the user on the path's drive

// Full paths of the files matching mask ("C:\Data\*.txt"); with recurse, files of deeper
// folders come first. Hidden and system folders are not entered.
std::vector<std::string> ListFiles(const std::string& mask, bool recurse);
// Sub-folders of folder without trailing backslash, deepest first; hidden and system folders skipped.
std::vector<std::string> ListFolders(const std::string& folder, bool recurse);
// The raw walk (hidden and system entries included): per folder, each sub-folder's walk and then
// (includeFolders) the sub-folder itself, then the folder's files matching the mask's pattern.
std::vector<std::string> ListFilesTree(const std::string& mask, bool recurse, bool includeFolders);
// Deletes the folder's files (made writable first) and, with recurse, its sub-folders; the
// folder itself stays. Failures are ignored.
void ClearFolder(const std::string& folder, bool recurse);
// Schedules the file's deletion at the next restart. Failures are ignored.
void DeleteOnReboot(const std::string& path);
// The shell's folder picker; nullopt when cancelled. owner is an HWND.
std::optional<std::string> BrowseForFolder(const std::string& title, const std::string& startFolder, void* owner);

} // namespace velmora::platform
