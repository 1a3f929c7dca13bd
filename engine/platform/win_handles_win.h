// RAII owners for the Windows handles the platform code holds, and the run-time look-up of
// functions that older Windows versions lack. Windows builds only.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <memory>
#include <type_traits>

namespace velmora::platform::win {

struct HandleCloser {
    void operator()(HANDLE h) const {
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};
// A kernel object handle (token, process, file), closed once.
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct FindCloser {
    void operator()(HANDLE h) const { FindClose(h); }
};
// A FindFirstFile search; construct only from a handle that is not INVALID_HANDLE_VALUE.
using UniqueFind = std::unique_ptr<void, FindCloser>;

struct DcDeleter {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
// A device context made by CreateDC.
using UniqueDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

// The screen's device context (GetDC of no window), released on destruction.
class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ~ScreenDc() {
        if (dc_) ReleaseDC(nullptr, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

struct SidFreer {
    void operator()(PSID sid) const { FreeSid(sid); }
};
// A SID made by AllocateAndInitializeSid.
using UniqueSid = std::unique_ptr<void, SidFreer>;

struct CoTaskFreer {
    void operator()(void* p) const { CoTaskMemFree(p); }
};
// Memory handed out by the shell's allocator (item lists).
using UniqueCoTaskMemory = std::unique_ptr<void, CoTaskFreer>;

// A function of a system library looked up by name at run time; nullptr when the library is
// not loaded or lacks the function. Used for functions that old Windows versions do not have.
template <class Function>
Function systemFunction(const char* library, const char* name) {
    HMODULE module = GetModuleHandleA(library);
    if (!module) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

} // namespace velmora::platform::win
