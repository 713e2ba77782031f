// Frames per second of the engine at the default settings, in 512-frame blocks: 1, 2 and 8
// channels, both sweeps, feedback on and off, at 44.1 and 192 kHz (longer delay lines).
#include <benchmark/benchmark.h>

#include "engine_signal.h"

namespace flanger::bench {
namespace {

constexpr std::uint32_t kBlockFrames = 512;

void ProcessBlocks(benchmark::State& state) {
    const auto channels = static_cast<std::uint16_t>(state.range(0));
    const bool sine = state.range(1) != 0;
    const bool feedback = state.range(2) != 0;
    const auto sampleRate = static_cast<std::uint32_t>(state.range(3));
    auto engine = DefaultEngine(sine, feedback, channels, sampleRate);
    NoiseFeed feed(channels, sampleRate * 4);
    for (auto _ : state) {
        const bool processed = engine->Process(feed.Next(kBlockFrames));
        benchmark::DoNotOptimize(processed);
    }
    const double frames = static_cast<double>(state.iterations()) * kBlockFrames;
    state.counters["frames_per_second"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.SetLabel(std::string(sine ? "sine" : "triangle") + (feedback ? " feedback" : ""));
}

BENCHMARK(ProcessBlocks)
    ->ArgNames({"channels", "sine", "feedback", "rate"})
    ->ArgsProduct({{1, 2, 8}, {0, 1}, {0, 1}, {44100, 192000}});

}  // namespace
}  // namespace flanger::bench
