// Choosing the kernels by their speed on this processor rather than by their vector width: on
// some processors the AVX2 kernels' gathered loads are slow and the SSE2 kernels win. Every set
// gives the same bits, so the choice changes nothing but the time.
#pragma once

#include "engine/engine_kernels.h"

namespace flanger {

// The set whose kernels ran a typical chunk fastest, of those this build and processor offer.
// Measured on the first call (well under a millisecond, the best of several rounds of each set
// taking turns); later calls return the same set.
InstructionSet FastestInstructionSet();

}  // namespace flanger
