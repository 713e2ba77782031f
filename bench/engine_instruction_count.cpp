// Runs the engine over white noise in 512-frame blocks so that callgrind can count the
// instructions spent in ProcessBlock (see bench/callgrind-engine).
//
// usage: engine_instruction_count triangle|sine feedback|nofeedback CHANNELS FRAMES
//            [portable|sse2|avx2]   (default: the best set of this processor)
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine_signal.h"

int main(int argc, char** argv) {
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr,
                     "usage: engine_instruction_count triangle|sine feedback|nofeedback "
                     "CHANNELS FRAMES [portable|sse2|avx2]\n");
        return 2;
    }
    const bool sine = std::strcmp(argv[1], "sine") == 0;
    const bool feedback = std::strcmp(argv[2], "feedback") == 0;
    const auto channels = static_cast<std::uint16_t>(std::atoi(argv[3]));
    const auto frames = static_cast<std::uint32_t>(std::atol(argv[4]));
    constexpr std::uint32_t kBlockFrames = 512;

    auto engine = flanger::bench::DefaultEngine(sine, feedback, channels, 44100);
    if (argc == 6) {
        const char* name = argv[5];
        const auto set = std::strcmp(name, "portable") == 0 ? flanger::InstructionSet::Portable
                         : std::strcmp(name, "sse2") == 0   ? flanger::InstructionSet::Sse2
                                                            : flanger::InstructionSet::Avx2;
        if (!engine->UseInstructionSet(set)) {
            std::fprintf(stderr, "engine_instruction_count: %s is not available here\n", name);
            return 1;
        }
    }
    flanger::bench::NoiseFeed feed(channels, 44100 * 4);
    for (std::uint32_t done = 0; done < frames; done += kBlockFrames) {
        engine->Process(feed.Next(kBlockFrames));
    }
    return 0;
}
