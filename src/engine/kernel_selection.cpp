// Choosing the kernels at run time: one binary runs the baseline everywhere and the AVX2
// kernels where the processor (and the operating system, which must save the wide registers)
// supports them.
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "engine/engine_kernels.h"

namespace flanger {
namespace {

bool ProcessorHas(InstructionSet set) {
#if defined(__x86_64__) || defined(__i386__)
    // Idempotent; needed when the first caller runs before the runtime's own initialisation.
    __builtin_cpu_init();
#endif
    switch (set) {
        case InstructionSet::Portable:
            return true;
        case InstructionSet::Sse2:
#if defined(__x86_64__) || defined(__i386__)
            return __builtin_cpu_supports("sse2");
#else
            return false;
#endif
        case InstructionSet::Avx2:
#if defined(__x86_64__) || defined(__i386__)
            return __builtin_cpu_supports("avx2");
#else
            return false;
#endif
    }
    return false;
}

// FLANGER_INSTRUCTION_SET=portable|sse2|avx2 in the environment caps the choice, so that each
// path can be measured and tested inside a built module, whose engines nobody else can steer.
// Every set gives the same output bits; only the speed changes.
InstructionSet HighestAllowedSet() {
    const char* const name = std::getenv("FLANGER_INSTRUCTION_SET");
    if (name != nullptr && std::strcmp(name, "portable") == 0) return InstructionSet::Portable;
    if (name != nullptr && std::strcmp(name, "sse2") == 0) return InstructionSet::Sse2;
    return InstructionSet::Avx2;
}

}  // namespace

const EngineKernels* KernelsFor(InstructionSet set) {
    const EngineKernels* kernels = nullptr;
    switch (set) {
        case InstructionSet::Portable:
            kernels = PortableKernels();
            break;
        case InstructionSet::Sse2:
            kernels = Sse2Kernels();
            break;
        case InstructionSet::Avx2:
            kernels = Avx2Kernels();
            break;
    }
    return kernels != nullptr && ProcessorHas(set) ? kernels : nullptr;
}

InstructionSet BestInstructionSet() {
    static const InstructionSet best = [] {
        const InstructionSet highest = HighestAllowedSet();
        for (InstructionSet set : {InstructionSet::Avx2, InstructionSet::Sse2}) {
            if (set <= highest && KernelsFor(set) != nullptr) return set;
        }
        return InstructionSet::Portable;
    }();
    return best;
}

}  // namespace flanger
