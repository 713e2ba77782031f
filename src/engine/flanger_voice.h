// FlangerVoice: one complete flanger state of the live mode, in storage its owner allocated.
//
// A voice is what a FlangerEngine is between Open and destruction: a ring per channel, the
// sweep and the gains. It runs the same per-chunk steps (chunk_steps.h) with the same kernels,
// so a voice opened with some parameters gives, frame for frame, the bits of a FlangerEngine
// opened with them. It differs in two ways:
// - its lines live in a block sized for the largest ring the owner will ask for, of which it
//   uses the first RingLength + 1 floats per channel, laid out exactly as FlangerEngine's;
// - besides Open it can Continue: start with new parameters where another voice is, its sweep
//   at the other's phase and its rings holding the other's recent past;
// - with a stereo spread, each channel has a sweep of its own: channel j's is channel 0's
//   shifted by j times the spread in phase (see SweepPhase), as if an engine had started that
//   channel's sweep there. Without one, all channels share one sweep, as in FlangerEngine.
//
// Neither Open, Continue nor ProcessChunk allocates, locks or calls the system; Bind allocates
// the per-channel pointer table once.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/chunk_steps.h"
#include "engine/engine_kernels.h"
#include "engine/live_settings.h"
#include "engine/sine_oscillator.h"
#include "engine/sweep_start.h"

namespace flanger {

class LineHistory;

class FlangerVoice {
public:
    // The ring length (RingLength, in frames) that FlangerEngine::Open gives these parameters
    // at this sample rate, which must be between 1 and 2^31 - 1; delay and width must not be
    // negative.
    static std::int32_t RingLengthFor(const EngineParameters& parameters, std::uint32_t sampleRate);

    // Binds the voice to its storage: channel j's line is the `lineCapacity` floats at
    // `lines + j * lineCapacity`; `chunks` is its scratch, one chunk per channel (at least
    // one). Neither is owned.
    void Bind(float* lines, std::uint32_t channels, std::int32_t lineCapacity, SweepChunk* chunks,
              const EngineKernels* kernels);
    void UseKernels(const EngineKernels* kernels) { Kernels = kernels; }

    // Starts as FlangerEngine::Open starts: silent lines, write position 0, the sweep at its
    // start. The ring (RingLengthFor) must fit the bound storage.
    void Open(const EngineParameters& parameters, std::uint32_t sampleRate);

    // Starts with `parameters` where `from` is: the sweep at the phase of `from`'s (positions
    // and direction scaled into the new sweep's range; a sweep of the same shape, range, speed
    // and spread goes on exactly as it was; channel j's, with a spread, at channel 0's phase
    // plus j times the new spread), the write position where `from`'s is, and the rings
    // holding the most recent frames of `history`, which must hold at least the new ring length.
    void Continue(const FlangerVoice& from, const EngineParameters& parameters,
                  const LineHistory& history);

    // Frames until the write position wraps: a chunk must not run past it.
    std::uint32_t FramesUntilWrap() const {
        return static_cast<std::uint32_t>(RingLength - WriteIndex);
    }

    // Processes `frames` (1 to min(kChunkFrames, FramesUntilWrap())) frames from `offset` on
    // of the first `count` channels (at most the bound count) in place; a null channel is
    // skipped, but its line is not written either.
    void ProcessChunk(float* const* samples, std::uint32_t count, std::uint32_t offset,
                      std::uint32_t frames);

    // ProcessChunk over `frames` frames (any number) from the first on, in chunks that end where
    // the ring wraps.
    void Process(float* const* samples, std::uint32_t count, std::uint32_t frames);

    // Processes a chunk, as ProcessChunk does, while the output crossfades from `from` to `to`:
    // both voices run frame by frame, and each output frame is `from`'s plus `weights[i]` times
    // the difference to `to`'s. `to`'s lines receive the same crossfade between what `from`
    // writes into its own and what `to` would write, so that the past `to` goes on with has no
    // step where the two voices' feedback differs.
    static void Crossfade(FlangerVoice& from, FlangerVoice& to, float* const* samples,
                          std::uint32_t count, std::uint32_t offset, std::uint32_t frames,
                          const double* weights);

    // Channel 0's sweep phase in radians, 0 to 2 pi: 0 at its lower end (the longest delay),
    // pi at its upper end, rising in between. An engine's sweep starts at 0; its sine reaches
    // phase pi/2 one frame later and goes on from there.
    double SweepPhase() const { return PhaseOf(Sweeps[0]); }

    // The phase offset of channel j's sweep, in cycles (0 to 1), for a spread in degrees.
    static double SpreadCycles(std::int32_t spreadDegrees, std::uint32_t channel);

    std::int32_t RingLengthFrames() const { return RingLength; }
    std::int32_t WriteIndexPosition() const { return WriteIndex; }
    double SweepPosition() const { return Sweeps[0].SweepPos; }
    // Channel j's line: RingLength + 1 floats, the last of them never written.
    const float* Line(std::uint32_t channel) const { return Lines[channel]; }
    std::uint32_t ChannelCount() const { return static_cast<std::uint32_t>(Lines.size()); }

private:
    // The motion of one sweep: all channels' without a spread, one channel's with one.
    struct Sweep {
        double SweepStep = 0.0;  // change of SweepPos per frame in triangle mode, frames
        double SweepPos = 0.0;   // read offset ahead of WriteIndex, frames
        double SweepBase = 0.0;  // lower turning point of the triangle; centre of the sine
        SineOscillator Oscillator;
        LinearStretch Stretch;  // the triangle's, kept from chunk to chunk
        // The sine's phase, for PhaseOf: the frame that reads SweepPos has phase SineOrigin +
        // SineFrames * Omega, except the first frame after Open, which reads the lower end.
        double SineOrigin = 0.0;
        std::uint64_t SineFrames = 0;
        bool FirstFrameAfterOpen = false;
    };

    // ProcessChunk for a voice whose output is mixed (EngineParameters::Mixed): frame by frame,
    // the taps read as the kernels read them, the output DryGain * x + WetGain * (tap * Depth).
    void ProcessMixedChunk(float* const* samples, std::uint32_t count, std::uint32_t offset,
                           std::uint32_t frames);
    // Process for a block that needs more than one chunk: apart, so that the others keep
    // nothing across their one call.
    [[gnu::noinline]] void ProcessInChunks(float* const* samples, std::uint32_t count,
                                           std::uint32_t frames);
    // ProcessChunk for any voice but a plain triangle's: a sine, a sweep per channel, a mix.
    // ProcessChunk for a plain triangle whose chunk does not go on along the stretch.
    [[gnu::noinline]] void ProcessChunkAfresh(float* const* samples, std::uint32_t count,
                                              std::uint32_t offset, std::uint32_t frames);
    // A plain triangle's chunk, its sweep stepped, through the kernels over the prepared run;
    // only what moves from chunk to chunk is set here. The write position moves on before the
    // kernels run, so that the call to them is the last step and nothing is kept across it.
    void RunPreparedChunk(float* const* samples, std::uint32_t count, std::uint32_t offset,
                          std::uint32_t frames) {
        PreparedRun.Frames = frames;
        PreparedRun.WriteIndex = WriteIndex;
        PreparedRun.Channels.Samples = samples;
        PreparedRun.Channels.Count = count;
        PreparedRun.Channels.Offset = offset;
        AdvanceWriteIndex(frames);
        if (count > 0) Kernels->RunChunk(PreparedRun);
    }
    // Apart, so that the plain triangle's chunks do not pay for setting up its loops.
    [[gnu::noinline]] void ProcessChunkOfSweeps(float* const* samples, std::uint32_t count,
                                                std::uint32_t offset, std::uint32_t frames);
    // The parameters' ring, sweep range and number of sweeps, without touching the lines.
    void SetParameters(const EngineParameters& parameters, std::uint32_t sampleRate);
    // Puts `sweep` at `phase` (see SweepPhase) within the current parameters' range.
    void StartSweepAt(Sweep& sweep, double phase);
    double PhaseOf(const Sweep& sweep) const;
    // Steps every sweep over a chunk, writing each frame's position into its chunk, and, when
    // `prepareTaps`, the taps frame by frame. `kernelsRunEvery`: the kernels will run every
    // sweep's chunk, which may then leave a sine's terms to them (FinishSineSweep after).
    void StepSweeps(std::uint32_t frames, bool prepareTaps, bool kernelsRunEvery = false);
    // The chunk holding channel j's taps.
    const SweepChunk& ChunkOf(std::uint32_t channel) const {
        return Chunks[SweepCount == 1 ? 0 : channel];
    }
    void AdvanceWriteIndex(std::uint32_t frames) {
        WriteIndex += static_cast<std::int32_t>(frames);
        if (WriteIndex == RingLength) WriteIndex = 0;
    }

    EngineParameters Parameters;
    bool IsMixed = false;  // Parameters.Mixed(), asked for every chunk
    // One triangle sweep for all channels, unmixed: the default, and the leanest chunks.
    bool IsPlainTriangle = false;
    // The kernels' run for a plain triangle's chunks, all but what moves from chunk to chunk
    // set with the parameters.
    ChunkRun PreparedRun{};
    std::uint32_t SampleRate = 0;
    std::int32_t RingLength = 0;  // ring positions in use in every line
    std::int32_t WriteIndex = 0;  // ring position written in the current frame
    SweepStart Start{};           // where the parameters' sweep starts, as an engine's does
    std::vector<Sweep> Sweeps;    // one per channel; the first SweepCount are in use
    std::uint32_t SweepCount = 1;

    const EngineKernels* Kernels = nullptr;
    SweepChunk* Chunks = nullptr;  // one per sweep
    std::vector<float*> Lines;  // channel j's line
};

}  // namespace flanger
