// The system side of the immediate system commands: the registry, file attributes, COM
// registration and the file-tree walk. Implemented for Windows in system_changes_win.cpp; the
// native build (tests, tools) has no such system and gets inert versions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::commands::system_changes {

// Clears a file's attributes to normal (a read-only mark goes); failures are ignored.
void makeFileNormal(const std::string& path);
// Deletes a file; false when it could not be deleted (folders fail too).
bool deleteFileEntry(const std::string& path);
// Removes an empty folder; false when it is not a folder or not empty.
bool removeEmptyFolder(const std::string& path);
// Every file matching the mask and every sub-folder, deeper entries first (the raw walk).
std::vector<std::string> listFileTree(const std::string& mask);

// Delete Registry on root index 0-4. wholeKey: the key and all its sub-keys, else the value.
// delete64: the key is deleted through the 64-bit view (64-bit Windows, not "Win32" mode).
// accessView: the view flag added to the access mask of the other operations.
void deleteRegistryEntry(int root, const std::string& key, const std::string& value, bool wholeKey, bool delete64,
                         std::uint32_t accessView);
// Register Library: a type library (.tlb), a program (.exe, started with /regserver or
// /unregserver) or a DLL/OCX (DllRegisterServer / DllUnregisterServer). True on success.
bool registerLibrary(const std::string& path, bool registerIt);

} // namespace velmora::commands::system_changes
