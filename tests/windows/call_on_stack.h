// Calls a function the way a 32-bit Windows host or the system may: its arguments pushed on a
// stack aligned to 4 bytes only (the callee entered with any chosen stack pointer modulo 16), and
// the stack pointer measured around the call. A caller-cleans (cdecl) function leaves the stack
// pointer where the call found it; a callee-cleans (stdcall, CALLBACK) one removes its arguments.
#pragma once

#include <cstdint>
#include <vector>

namespace host {

struct StackCallResult {
    std::uint32_t value;  // EAX on return
    std::int32_t popped;  // bytes of arguments the callee removed from the stack
};

// Calls `function` with the 32-bit `arguments` (first argument first), entering it with
// ESP % 16 == entryResidue (0, 4, 8 or 12; a call from a 16-byte aligned frame enters with 12).
StackCallResult CallOnStack(const void* function, const std::vector<std::uint32_t>& arguments,
                            std::uint32_t entryResidue);

// A function without arguments that returns the stack pointer it was entered with.
const void* EntryStackPointerFunction();

// A pointer as a stack argument.
inline std::uint32_t Arg(const volatile void* pointer) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

}  // namespace host
