// The probe instructions live in small assembly routines with a label on the instruction that
// may fault; a vectored exception handler recognises a fault at exactly that label, skips the
// instruction and makes the routine report "no". Faults anywhere else are left to others.
#include "platform/vm_probe_win.h"

#include <windows.h>

#include <cpuid.h>
#include <cstring>

extern "C" {
unsigned velmora_vmware_backdoor();        // returns EBX after the IN
extern const char velmora_vmware_backdoor_in[];
#if defined(__i386__)
unsigned velmora_virtual_pc_call();        // returns EBX after the call (0 = answered)
extern const char velmora_virtual_pc_op[];
#endif
}

#if defined(__x86_64__)
asm(R"(
    .text
    .globl velmora_vmware_backdoor
    .def velmora_vmware_backdoor; .scl 2; .type 32; .endef
    .seh_proc velmora_vmware_backdoor
velmora_vmware_backdoor:
    push %rbx
    .seh_pushreg %rbx
    .seh_endprologue
    mov $0x564D5868, %eax
    xor %ebx, %ebx
    mov $10, %ecx
    mov $0x5658, %edx
    .globl velmora_vmware_backdoor_in
velmora_vmware_backdoor_in:
    in %dx, %eax
    mov %ebx, %eax
    pop %rbx
    ret
    .seh_endproc
)");
#elif defined(__i386__)
asm(R"(
    .text
    .globl _velmora_vmware_backdoor
_velmora_vmware_backdoor:
    push %ebx
    mov $0x564D5868, %eax
    xor %ebx, %ebx
    mov $10, %ecx
    mov $0x5658, %edx
    .globl _velmora_vmware_backdoor_in
_velmora_vmware_backdoor_in:
    in %dx, %eax
    mov %ebx, %eax
    pop %ebx
    ret

    .globl _velmora_virtual_pc_call
_velmora_virtual_pc_call:
    push %ebx
    xor %ebx, %ebx
    mov $1, %eax
    .globl _velmora_virtual_pc_op
_velmora_virtual_pc_op:
    .byte 0x0F, 0x3F, 0x07, 0x0B
    mov %ebx, %eax
    pop %ebx
    ret
)");
#else
#error "virtual-machine probes need an x86 or x86-64 target"
#endif

namespace velmora::platform::win {
namespace {

constexpr unsigned kVmwareMagic = 0x564D5868;

#if defined(__x86_64__)
DWORD64& instructionPointer(CONTEXT& c) { return c.Rip; }
DWORD64& ebxRegister(CONTEXT& c) { return c.Rbx; }
#else
DWORD& instructionPointer(CONTEXT& c) { return c.Eip; }
DWORD& ebxRegister(CONTEXT& c) { return c.Ebx; }
#endif

LONG CALLBACK skipFaultingProbe(EXCEPTION_POINTERS* info) {
    const void* at = info->ExceptionRecord->ExceptionAddress;
    CONTEXT& context = *info->ContextRecord;
    if (at == velmora_vmware_backdoor_in) {
        instructionPointer(context) += 1;   // IN EAX, DX is one byte (ED)
        ebxRegister(context) = 0;           // not the magic: no VMware
        return EXCEPTION_CONTINUE_EXECUTION;
    }
#if defined(__i386__)
    if (at == velmora_virtual_pc_op) {
        instructionPointer(context) += 4;
        ebxRegister(context) = static_cast<DWORD>(-1);
        return EXCEPTION_CONTINUE_EXECUTION;
    }
#endif
    return EXCEPTION_CONTINUE_SEARCH;
}

// Installs the handler first in line for the duration of one probe.
class ProbeGuard {
public:
    ProbeGuard() : handler_(AddVectoredExceptionHandler(1, skipFaultingProbe)) {}
    ~ProbeGuard() {
        if (handler_) RemoveVectoredExceptionHandler(handler_);
    }
    ProbeGuard(const ProbeGuard&) = delete;
    ProbeGuard& operator=(const ProbeGuard&) = delete;
    bool active() const { return handler_ != nullptr; }

private:
    void* handler_;
};

} // namespace

std::string hypervisorVendor() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & (1u << 31))) return {};
    __cpuid(0x40000000, a, b, c, d);
    char vendor[13] = {};
    std::memcpy(vendor, &b, 4);
    std::memcpy(vendor + 4, &c, 4);
    std::memcpy(vendor + 8, &d, 4);
    std::string text(vendor);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

bool vmwareBackdoorAnswers() {
    ProbeGuard guard;
    if (!guard.active()) return false;      // never run the instruction unguarded
    return velmora_vmware_backdoor() == kVmwareMagic;
}

bool virtualPcAnswers() {
#if defined(__i386__)
    ProbeGuard guard;
    if (!guard.active()) return false;
    return velmora_virtual_pc_call() == 0;
#else
    return false;
#endif
}

} // namespace velmora::platform::win
