// The portable kernels: frame by frame, in plain C++. They run wherever no vector set is
// available, and for the chunks whose delays are too short for the vector kernels.
#include "engine/engine_kernels.h"
#include "engine/frame_math.h"

namespace flanger {
namespace {

void RunChunk(const ChunkRun& run) {
    if (run.FeedbackOn) {
        RunFramesOneByOne<true>(run, 0, run.Frames);
    } else {
        RunFramesOneByOne<false>(run, 0, run.Frames);
    }
}

constexpr EngineKernels kPortable{InstructionSet::Portable, RunChunk, SineTerms};

}  // namespace

const EngineKernels* PortableKernels() { return &kPortable; }

}  // namespace flanger
