// Entry point of the kel.lib DLL. The exported functions live in kel_core (abi/exports.cpp);
// the table below makes the linker take them from that library into the DLL.
#include <windows.h>

#include "kel_abi.h"

extern "C" __attribute__((used)) const void* const kelExports[] = {
    reinterpret_cast<const void*>(&OpenListArchive), reinterpret_cast<const void*>(&CloseListArchive),
    reinterpret_cast<const void*>(&ExtractArchive), reinterpret_cast<const void*>(&GetLastArchiveError)};

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
