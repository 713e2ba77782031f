// LiveFlanger: the flanger for hosts whose controls move while audio runs (LV2, LADSPA).
//
// FlangerEngine takes its parameters once, at Open; reopening it at every change would empty the
// delay lines and click. The live mode keeps these rules instead:
//
// - Steady state. One FlangerVoice runs the engine's arithmetic with the kernels. Settings that
//   never change give, bit for bit, what a FlangerEngine opened with them gives: the voice's
//   ring has the length Open computes, inside lines allocated once for the largest settings.
// - A change of any setting starts a transition to a second voice with the new settings. It
//   continues the first: its sweep at the same phase (scaled into the new range and direction;
//   exactly the old sweep when shape, delay, width and speed stay), its rings holding the same
//   recent past. For TransitionMs the output crossfades from the old voice to the new one
//   along a smoothstep curve, both running frame by frame, and so does what the new voice writes
//   into its lines (from what the old one writes to its own), so that its past has no step
//   where the feedback differs; then the new voice alone is the steady state, on the kernels
//   again. A crossfade rather than a glide of the delay: the two voices' delays may lie far
//   apart (the delay follows the ring length, which changes in whole frames), and a crossfade
//   of two smooth signals adds no pitch change and no step.
// - A longer ring needs a longer past than the old ring holds. The old voice then goes on alone
//   while a LineHistory records its writes, until the history holds the new ring's length (at
//   most the difference of the two rings, 18 ms); only then does the crossfade start.
// - A change during a transition waits for it to end, while the history already records the
//   voice that stays. A change made while steady is reached after at most 18 ms of history and
//   the crossfade; one made during a crossfade after at most 40 ms.
//
// Later settings that act per frame or per channel (a phase offset per channel, a dry/wet mix,
// signed feedback) go into LiveSettings with defaults that give today's arithmetic, and into
// FlangerVoice; a change of them is a transition like any other. Signed feedback is there
// (LiveSettings::InvertFeedback): a negative gain through the same kernels. The level is not a
// voice's: it multiplies the output of whichever voices run (OutputLevel), and a change of it
// glides over TransitionMs on its own.
//
// Lifecycle: Activate (the only place that allocates), then Process any number of blocks;
// Reset returns to the state after Activate. One thread at a time. Process allocates nothing,
// takes no lock and makes no system call.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/engine_kernels.h"
#include "engine/flanger_voice.h"
#include "engine/line_history.h"
#include "engine/live_settings.h"
#include "engine/output_level.h"

namespace flanger {

class LiveFlanger {
public:
    // Length of the crossfade from the old settings to the new ones.
    static constexpr double kTransitionMs = 20.0;
    // The largest Delay and Width it runs, in tenths of a millisecond (the settings window's);
    // larger values are taken as these, negative ones as 0, and then give the bits of a
    // FlangerEngine opened with these.
    static constexpr std::int32_t kLargestDelay = 100;
    static constexpr std::int32_t kLargestWidth = 100;

    LiveFlanger();
    ~LiveFlanger();

    // Allocates the lines for `channels` channels at `sampleRate` frames per second. Returns
    // false, and processes nothing, when the rate is 0 or above 2^31 - 1 or memory is short.
    // At rate 0 no time passes: a transition timed in milliseconds would have no length and
    // a sine no frequency. (FlangerEngine runs a triangle there over lines of two elements and
    // passes a sine through, for the module's hosts; LV2 and LADSPA hosts never ask for it.)
    bool Activate(std::uint32_t sampleRate, std::uint32_t channels);

    // The next Process starts afresh, as a FlangerEngine opened with its settings.
    void Reset() { Started = false; }

    // Processes `frames` frames of the first `count` channels (at most the activated count) in
    // place, with `settings` from the first frame on: the first block after Activate or Reset
    // opens with them, and later blocks move towards them as the rules above say. A null
    // channel is skipped. Any frame count works, 0 included.
    void Process(float* const* channels, std::uint32_t count, std::uint32_t frames,
                 const LiveSettings& settings);
    // Process with the settings of the call before (the defaults if none came since
    // Activate): for a host that sees its controls unchanged, which then pays nothing for
    // comparing them again.
    void ProcessWithSameSettings(float* const* channels, std::uint32_t count,
                                 std::uint32_t frames);

    // For tests and diagnostics: whether no change is waiting or in progress, the settings the
    // steady voice runs with, and its sweep's phase (FlangerVoice::SweepPhase).
    bool Settled() const { return Started && !Fading && !Pending; }
    const LiveSettings& SteadySettings() const { return Settings[Steady]; }
    double SweepPhase() const { return Voices[Steady].SweepPhase(); }

    // The instruction set of the kernels: the fastest here (FastestInstructionSet) unless
    // chosen, as FlangerEngine::UseInstructionSet.
    bool UseInstructionSet(InstructionSet set);

private:
    // Takes new settings: a change of target, or none.
    void Retarget(const LiveSettings& settings);
    // The voices over `frames` frames, through whatever transition is waiting or under way.
    void RunVoices(float* const* channels, std::uint32_t count, std::uint32_t frames) {
        // The steady state: one voice, its chunks ending only where its ring wraps.
        if (!Pending && !Fading) return Voices[Steady].Process(channels, count, frames);
        RunTransition(channels, count, frames);
    }
    // RunVoices, then the level (in tenths of a decibel) over their output: apart, so that a
    // steady block at 0 dB keeps nothing across its call into the voice.
    [[gnu::noinline]] void RunVoicesAtLevel(float* const* channels, std::uint32_t count,
                                            std::uint32_t frames, std::int32_t level);
    // RunVoices while a change waits or crossfades: apart, so that the steady blocks do not pay
    // for setting up its loop.
    [[gnu::noinline]] void RunTransition(float* const* channels, std::uint32_t count,
                                         std::uint32_t frames);
    // Starts the crossfade to the target.
    void StartFade();
    // One chunk of the crossfade.
    void RunFade(float* const* channels, std::uint32_t count, std::uint32_t offset,
                 std::uint32_t frames);
    std::int32_t RingLengthFor(const LiveSettings& settings) const;

    std::uint32_t SampleRate = 0;
    std::uint32_t Channels = 0;
    std::int32_t LineCapacity = 0;  // floats per line: the largest ring plus the spare
    std::uint32_t FadeLength = 0;   // frames of the crossfade
    const EngineKernels* Kernels;

    bool Started = false;
    FlangerVoice Voices[2];
    LiveSettings Settings[2];  // each voice's settings
    int Steady = 0;            // the voice of the steady state, and the old one of a crossfade
    bool Fading = false;       // crossfading from Voices[Steady] to the other
    std::uint32_t FadeDone = 0;
    bool Pending = false;  // Target waits for the history or for the crossfade to end
    LiveSettings Target;
    LiveSettings Offered;  // as the last Process was given them, the level included
    LineHistory History;  // the voice that stays, while Pending
    OutputLevel Level;    // applied to the voices' output; its changes glide over FadeLength

    std::unique_ptr<float[]> LineStorage;  // both voices' lines, then the history's
    std::unique_ptr<SweepChunk[]> Chunks;  // one per voice
    double Curve[kChunkFrames];            // the crossfade's weights for the current chunk
};

}  // namespace flanger
