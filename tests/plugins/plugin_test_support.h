// What the plug-in host tests of every format share: the settings as control values, the
// engine's output for the same settings, the sine the click checks listen to, and the click
// criterion itself.
#pragma once

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "engine/output_level.h"
#include "engine_test_support.h"
#include "interface/effect_record.h"
#include "plugins/plugin_ports.h"

namespace flanger::testing {

// The entry point `name` of the plug-in library at `path`, loaded as a host loads it; null where
// either cannot be found. The library stays loaded.
inline void* LibrarySymbol(const char* path, const char* name) {
#ifdef _WIN32
    const HMODULE library = LoadLibraryA(path);
    return library == nullptr ? nullptr : reinterpret_cast<void*>(GetProcAddress(library, name));
#else
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    return library == nullptr ? nullptr : dlsym(library, name);
#endif
}

// The controls of a settings record, in the controls' units and order.
inline std::vector<float> ControlsFor(const LiveSettings& s) {
    const auto values = plugins::ControlValuesOf(s);
    return {values.begin(), values.end()};
}

// What OpenStream makes of the same record, over the whole input at once: what `flanger process`
// writes with the same values.
inline Channels ThroughOpenStream(const LiveSettings& s, std::uint32_t sampleRate, Channels audio) {
    EffectSettings record = DefaultEffectSettings();
    record.Depth = s.Depth, record.Delay = s.Delay, record.Width = s.Width;
    record.Sine = s.Sine, record.Feedback = s.Feedback, record.Speed = s.Speed;
    auto engine = CreateEngineFor(record);
    // Signed feedback, which the record cannot hold: the gain negated.
    if (s.InvertFeedback) engine->FeedbackGain = -engine->FeedbackGain;
    engine->Open(StreamFormat{1, static_cast<std::uint16_t>(audio.size()), sampleRate});
    ProcessSpan(*engine, audio, 0, static_cast<std::uint32_t>(audio[0].size()));
    // The level: each sample times its gain, in double.
    for (auto& channel : audio) {
        for (float& x : channel) x = static_cast<float>(x * LevelGain(s.Level));
    }
    return audio;
}

// Calls `process(offset, frames, inputs, outputs)` for the blocks of the sizes `sizes` over
// `input`, each copied into buffers that, as a host's, stay the same from block to block; what
// the outputs hold after each block goes to `output` at its offset.
template <typename Process>
void InHostBuffers(const std::vector<std::uint32_t>& sizes, const Channels& input,
                   Channels& output, Process process) {
    Channels in(input.size(), std::vector<float>(*std::max_element(sizes.begin(), sizes.end())));
    Channels out = in;
    std::vector<float*> ins, outs;
    for (std::size_t j = 0; j < input.size(); ++j) {
        ins.push_back(in[j].data());
        outs.push_back(out[j].data());
    }
    InBuffersOf(sizes, input[0].size(), [&](std::size_t offset, std::uint32_t frames) {
        for (std::size_t j = 0; j < input.size(); ++j) {
            std::copy_n(input[j].begin() + offset, frames, in[j].begin());
        }
        process(offset, frames, ins.data(), outs.data());
        for (std::size_t j = 0; j < input.size(); ++j) {
            std::copy_n(out[j].begin(), frames, output[j].begin() + offset);
        }
    });
}

// A 220 Hz sine at -6 dBFS, each channel a radian further in phase.
inline Channels SineInput(std::uint32_t channels, std::size_t frames, std::uint32_t rate) {
    Channels input(channels, std::vector<float>(frames));
    for (std::uint32_t j = 0; j < channels; ++j) {
        for (std::size_t n = 0; n < frames; ++n) {
            input[j][n] =
                static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * 220.0 * n / rate + j));
        }
    }
    return input;
}

inline double LargestSecondDifference(const std::vector<float>& y, std::size_t from,
                                      std::size_t to) {
    double largest = 0.0;
    for (std::size_t n = from; n < to; ++n) {
        largest =
            std::max(largest, std::fabs(static_cast<double>(y[n]) - 2.0 * y[n - 1] + y[n - 2]));
    }
    return largest;
}

// No click: over the 100 ms after frame `change`, the largest second difference
// |y[n] - 2y[n-1] + y[n-2]| of the output stays within 1.5 times its largest value over the second
// before the change and over the steady state after those 100 ms (to the end of `y`).
inline void ExpectNoClick(const std::vector<float>& y, std::size_t change, std::uint32_t rate,
                          const std::string& what) {
    const std::size_t window = rate / 10;
    const double before = LargestSecondDifference(y, change - rate, change);
    const double during = LargestSecondDifference(y, change, change + window);
    const double after = LargestSecondDifference(y, change + window, y.size());
    EXPECT_LE(during, 1.5 * std::max(before, after))
        << what << ": before " << before << ", after " << after;
}

}  // namespace flanger::testing
