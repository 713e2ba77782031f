// The portable kernels: frame by frame, in plain C++. They run wherever no vector set is
// available, and for the chunks whose delays are too short for the vector kernels.
#include "engine/engine_kernels.h"
#include "engine/frame_math.h"

namespace flanger {
namespace {

bool PrepareTaps(SweepChunk& chunk, std::uint32_t frames, std::int32_t writeIndex,
                 std::int32_t ringLength) {
    PrepareTapsFrameByFrame(chunk, frames, writeIndex, ringLength);
    // These kernels go frame by frame, so every chunk suits them.
    return true;
}

template <bool kFeedbackOn>
void Run(const ChannelRun& run) {
    for (std::uint32_t i = 0; i < run.Frames; ++i) RunFrame<kFeedbackOn>(run, i);
}

void RunChunk(const ChunkRun& run) {
    if (run.FeedbackOn) {
        RunFramesOneByOne<true>(run, 0, run.Frames);
    } else {
        RunFramesOneByOne<false>(run, 0, run.Frames);
    }
}

constexpr EngineKernels kPortable{InstructionSet::Portable, PrepareTaps, Run<true>, Run<false>,
                                  RunChunk};

}  // namespace

const EngineKernels* PortableKernels() { return &kPortable; }

}  // namespace flanger
