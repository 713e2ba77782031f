// The 32-bit x86 call with a chosen stack alignment. Assembly: a compiler keeps its own stack
// alignment and cleans up after a call however the callee was declared, which would hide both
// things measured here.
#include "call_on_stack.h"

namespace host {

// The call as the assembly reads it, at the offsets noted.
struct StackCall {
    const void* function;            // +0
    const std::uint32_t* arguments;  // +4
    std::uint32_t count;             // +8
    std::uint32_t entryResidue;      // +12
    std::int32_t popped;             // +16, written
};

}  // namespace host

extern "C" std::uint32_t FlangerCallOnStack(host::StackCall* call) __asm__("FlangerCallOnStack");

// Below the current frame, the arguments are copied to an address T such that the callee finds
// T - 4 (its return address) at the requested residue modulo 16; EDI keeps T across the call (the
// callee must preserve EDI and EBX), so ESP - T afterwards is what the callee removed.
__asm__(R"(
    .text
    .globl FlangerCallOnStack
FlangerCallOnStack:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 8(%ebp), %ebx
    movl 8(%ebx), %ecx
    leal -64(%esp), %eax
    leal 0(,%ecx,4), %edx
    subl %edx, %eax
    andl $-16, %eax
    addl 12(%ebx), %eax
    addl $4, %eax
    movl %eax, %edi
    movl 4(%ebx), %esi
    cld
    rep movsl
    movl %eax, %edi
    movl %eax, %esp
    call *(%ebx)
    movl %esp, %edx
    subl %edi, %edx
    movl %edx, 16(%ebx)
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret

    .globl FlangerEntryStackPointer
FlangerEntryStackPointer:
    movl %esp, %eax
    ret
)");

extern "C" void FlangerEntryStackPointer() __asm__("FlangerEntryStackPointer");

namespace host {

StackCallResult CallOnStack(const void* function, const std::vector<std::uint32_t>& arguments,
                            std::uint32_t entryResidue) {
    StackCall call{function, arguments.data(), static_cast<std::uint32_t>(arguments.size()),
                   entryResidue & 12u, 0};
    const std::uint32_t value = FlangerCallOnStack(&call);
    return {value, call.popped};
}

const void* EntryStackPointerFunction() {
    return reinterpret_cast<const void*>(&FlangerEntryStackPointer);
}

}  // namespace host
