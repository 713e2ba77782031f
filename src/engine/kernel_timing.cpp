// Timing the kernels on a chunk like the default triangle's.
#include "engine/kernel_timing.h"

#include <chrono>
#include <limits>
#include <memory>
#include <vector>

namespace flanger {
namespace {

constexpr std::int32_t kRingLength = 442;    // 10 ms at 44.1 kHz
constexpr std::uint32_t kTimedFrames = 256;  // a chunk that stays inside the ring

double SecondsFor(const EngineKernels& kernels, SweepChunk& chunk, std::vector<float>& line,
                  std::vector<float>& samples) {
    float* const channelSamples[] = {samples.data()};
    float* const channelLines[] = {line.data()};
    const auto start = std::chrono::steady_clock::now();
    for (int pass = 0; pass < 16; ++pass) {
        // Far from the write position, where the vector kernels run, and crossing a floor.
        chunk.Linear = false;
        chunk.Scaled = false;
        for (std::uint32_t i = 0; i < kTimedFrames; ++i) chunk.Position[i] = 220.9 + i * 0.001;
        // Gains of 0 keep the samples as they are from pass to pass.
        kernels.RunChunk(ChunkRun{&chunk, kTimedFrames, 0, kRingLength, true, 0.0, 0.0,
                                  ChunkChannels{channelSamples, channelLines, 1, 0}});
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

InstructionSet FastestInstructionSet() {
    static const InstructionSet fastest = [] {
        std::vector<InstructionSet> sets;
        for (InstructionSet set : {InstructionSet::Avx2, InstructionSet::Sse2}) {
            // FLANGER_INSTRUCTION_SET caps this choice as it caps BestInstructionSet's.
            if (set <= BestInstructionSet() && KernelsFor(set) != nullptr) sets.push_back(set);
        }
        if (sets.size() < 2) return sets.empty() ? InstructionSet::Portable : sets[0];

        auto chunk = std::make_unique<SweepChunk>();
        std::vector<float> line(kRingLength + 1, 0.25f);
        std::vector<float> samples(kTimedFrames, 0.5f);
        std::vector<double> best(sets.size(), std::numeric_limits<double>::infinity());
        for (int round = 0; round < 9; ++round) {
            for (std::size_t s = 0; s < sets.size(); ++s) {
                const double seconds = SecondsFor(*KernelsFor(sets[s]), *chunk, line, samples);
                if (seconds < best[s]) best[s] = seconds;
            }
        }
        std::size_t winner = 0;
        for (std::size_t s = 1; s < sets.size(); ++s) {
            if (best[s] < best[winner]) winner = s;
        }
        return sets[winner];
    }();
    return fastest;
}

}  // namespace flanger
