// Virtual-machine probes: the hypervisor's CPUID vendor, VMware's I/O backdoor and the Virtual
// PC call instruction, each run so that a machine without the hypervisor cannot crash the engine.
// Windows builds only.
#pragma once

#include <string>

namespace velmora::platform::win {

// The hypervisor vendor text of CPUID leaf 0x40000000 ("VMwareVMware", "Microsoft Hv",
// "KVMKVMKVM", ...) when CPUID leaf 1 reports a hypervisor; empty on bare hardware.
std::string hypervisorVendor();

// Runs VMware's backdoor "get version" call (IN from port 0x5658 with the magic 0x564D5868 in
// EAX): true when EBX comes back holding the magic. Outside VMware the IN instruction is
// privileged and faults; a vectored exception handler that only answers for that one
// instruction skips it, so the answer is then false.
bool vmwareBackdoorAnswers();

// Runs the Virtual PC call instruction (0F 3F 07 0B) the same way: true when it executes
// without a fault. Only in the 32-bit build: Virtual PC hosts 32-bit guests only, and in 64-bit
// code the bytes are an invalid instruction, so the 64-bit build answers false without running it.
bool virtualPcAnswers();

} // namespace velmora::platform::win
