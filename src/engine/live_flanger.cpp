// LiveFlanger: the steady voice, and the transitions between voices when settings change.
#include "engine/live_flanger.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "engine/flanger_engine.h"
#include "engine/kernel_timing.h"

namespace flanger {
namespace {

// The settings the voices run: Delay and Width within what the lines were sized for, and no
// level, which applies after them.
LiveSettings Bounded(LiveSettings settings) {
    settings.Delay = std::clamp(settings.Delay, 0, LiveFlanger::kLargestDelay);
    settings.Width = std::clamp(settings.Width, 0, LiveFlanger::kLargestWidth);
    settings.Spread = std::clamp(settings.Spread, 0, 180);
    settings.Level = 0;
    return settings;
}

}  // namespace

LiveFlanger::LiveFlanger() : Kernels(KernelsFor(FastestInstructionSet())) {}

LiveFlanger::~LiveFlanger() = default;

bool LiveFlanger::UseInstructionSet(InstructionSet set) {
    const EngineKernels* kernels = KernelsFor(set);
    if (kernels == nullptr) return false;
    Kernels = kernels;
    for (FlangerVoice& voice : Voices) voice.UseKernels(kernels);
    return true;
}

std::int32_t LiveFlanger::RingLengthFor(const LiveSettings& settings) const {
    return FlangerVoice::RingLengthFor(ToEngineParameters(settings), SampleRate);
}

bool LiveFlanger::Activate(std::uint32_t sampleRate, std::uint32_t channels) {
    LineStorage.reset();
    Chunks.reset();
    Started = false;
    SampleRate = 0;
    Channels = 0;
    if (sampleRate == 0 ||
        sampleRate > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
        return false;
    }

    SampleRate = sampleRate;
    LiveSettings largest;
    largest.Delay = kLargestDelay;
    largest.Width = kLargestWidth;
    const std::int32_t capacity = RingLengthFor(largest) + 1;
    // Two voices and the history.
    const std::uint64_t total = std::uint64_t{3} * channels * static_cast<std::uint64_t>(capacity);
    // A sweep's chunk per channel, for a stereo spread.
    const std::uint32_t chunksPerVoice = std::max<std::uint32_t>(channels, 1);
    if (total > FlangerEngine::kMaxTotalLineSamples) {
        SampleRate = 0;
        return false;
    }
    try {
        LineStorage.reset(new float[total]());
        Chunks.reset(new SweepChunk[2 * chunksPerVoice]);
    } catch (const std::bad_alloc&) {
        LineStorage.reset();
        Chunks.reset();
        SampleRate = 0;
        return false;
    }

    Channels = channels;
    LineCapacity = capacity;
    const std::size_t voiceFloats = std::size_t{channels} * static_cast<std::size_t>(capacity);
    for (int v = 0; v < 2; ++v) {
        Voices[v].Bind(LineStorage.get() + v * voiceFloats, channels, capacity,
                       &Chunks[v * chunksPerVoice], Kernels);
    }
    History.Bind(LineStorage.get() + 2 * voiceFloats, channels, capacity);
    FadeLength = std::max<std::uint32_t>(
        1, static_cast<std::uint32_t>(
               std::lround(static_cast<double>(sampleRate) * kTransitionMs * 0.001)));
    Level.SetGlideFrames(FadeLength);
    return true;
}

void LiveFlanger::Process(float* const* channels, std::uint32_t count, std::uint32_t frames,
                          const LiveSettings& settings) {
    if (SampleRate == 0) return;
    Offered = settings;
    // Non-finite input is taken as silence where the voices load it (FiniteInput), not in a pass
    // of its own.
    const LiveSettings wanted = Bounded(settings);
    if (!Started) {
        Steady = 0;
        Voices[Steady].Open(ToEngineParameters(wanted), SampleRate);
        Settings[Steady] = wanted;
        Fading = false;
        Pending = false;
        Started = true;
        Level.Reset(settings.Level);
    } else {
        Retarget(wanted);
    }
    count = channels == nullptr ? 0 : std::min(count, Channels);
    RunVoicesAtLevel(channels, count, frames, settings.Level);
}

void LiveFlanger::ProcessWithSameSettings(float* const* channels, std::uint32_t count,
                                          std::uint32_t frames) {
    // The same settings again would change no target: Retarget returns at its first comparison.
    if (!Started) return Process(channels, count, frames, Offered);
    count = channels == nullptr ? 0 : std::min(count, Channels);
    // The most common block: steady, at 0 dB. The voice is then the last step, and this call
    // keeps nothing across it.
    if (!Pending && !Fading && Level.MultipliesNothing(Offered.Level)) {
        return Voices[Steady].Process(channels, count, frames);
    }
    RunVoicesAtLevel(channels, count, frames, Offered.Level);
}

void LiveFlanger::RunVoicesAtLevel(float* const* channels, std::uint32_t count,
                                   std::uint32_t frames, std::int32_t level) {
    RunVoices(channels, count, frames);
    Level.Apply(channels, count, 0, frames, level);
}

void LiveFlanger::RunTransition(float* const* channels, std::uint32_t count, std::uint32_t frames) {
    for (std::uint32_t offset = 0; offset < frames;) {
        if (Pending && !Fading && History.Frames() >= RingLengthFor(Target)) StartFade();
        FlangerVoice& old = Voices[Steady];
        FlangerVoice& next = Voices[1 - Steady];
        std::uint32_t chunk = std::min({frames - offset, kChunkFrames, old.FramesUntilWrap()});
        if (Fading) {
            chunk = std::min({chunk, next.FramesUntilWrap(), FadeLength - FadeDone});
        } else if (Pending) {
            // The crossfade starts as soon as the history reaches back far enough.
            chunk = std::min(chunk,
                             static_cast<std::uint32_t>(RingLengthFor(Target) - History.Frames()));
        }

        // The history records the voice that stays.
        FlangerVoice& staying = Fading ? next : old;
        const std::int32_t start = staying.WriteIndexPosition();
        if (Fading) {
            RunFade(channels, count, offset, chunk);
        } else {
            old.ProcessChunk(channels, count, offset, chunk);
        }
        if (Pending) History.Append(staying, start, chunk);
        if (Fading && FadeDone == FadeLength) {
            Steady = 1 - Steady;
            Fading = false;
        }
        offset += chunk;
    }
}

void LiveFlanger::Retarget(const LiveSettings& settings) {
    const int stayingVoice = Fading ? 1 - Steady : Steady;
    if (settings == (Pending ? Target : Settings[stayingVoice])) return;
    if (settings == Settings[stayingVoice]) {
        // Moved back before the change began: nothing to do.
        Pending = false;
        return;
    }
    if (!Pending) History.Restart(Voices[stayingVoice]);
    Target = settings;
    Pending = true;
}

void LiveFlanger::StartFade() {
    const int next = 1 - Steady;
    Voices[next].Continue(Voices[Steady], ToEngineParameters(Target), History);
    Settings[next] = Target;
    Pending = false;
    Fading = true;
    FadeDone = 0;
}

void LiveFlanger::RunFade(float* const* channels, std::uint32_t count, std::uint32_t offset,
                          std::uint32_t frames) {
    // Smoothstep from the old voice (0) to the new one (1): its slope is 0 at both ends, so
    // the weights add no corner to the output.
    const double step = 1.0 / (static_cast<double>(FadeLength) + 1.0);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(FadeDone + i + 1) * step;
        Curve[i] = t * t * (3.0 - 2.0 * t);
    }
    FlangerVoice::Crossfade(Voices[Steady], Voices[1 - Steady], channels, count, offset, frames,
                            Curve);
    FadeDone += frames;
}

}  // namespace flanger
