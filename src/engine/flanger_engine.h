// FlangerEngine: the per-stream flanger.
//
// Every channel has a delay line (a ring). For each frame the engine reads each ring at a swept
// fractional position with linear interpolation, adds that delayed signal times DepthGain to the
// input, and writes the input (plus FeedbackGain times the delayed signal when feedback is on)
// into the ring. The read position is swept by a triangle (a fixed step per frame that turns at
// two bounds) or by a sine from SineOscillator. All channels of a frame share one position.
//
// Every operation is IEEE double arithmetic in a fixed order, so results are bit-exact on every
// target built without contraction and with SSE2 (never x87) arithmetic. The work is done in
// chunks by kernels for the best instruction set the processor offers (engine_kernels.h); all
// of them give the same bits.
//
// Lifecycle: construct, set the seven parameter fields, Open (the only place that allocates),
// Process any number of buffers, destroy. One thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/audio_processor.h"
#include "engine/chunk_steps.h"
#include "engine/engine_kernels.h"
#include "engine/live_settings.h"
#include "engine/sine_oscillator.h"

namespace flanger {

class FlangerEngine final : public AudioProcessor {
public:
    // The longest delay line the engine allocates, in frames per channel (380 s at 44.1 kHz).
    static constexpr double kMaxLineFrames = 16777216.0;
    // The most delay-line samples of all channels together (256 MiB of floats).
    static constexpr std::uint64_t kMaxTotalLineSamples = std::uint64_t{1} << 26;

    // Parameters: the owner writes them before Open. DelayMs, WidthMs and SpeedHz act through
    // Open only; DepthGain, SineMode, FeedbackOn and FeedbackGain are read at every buffer.
    double DepthGain = 0.9;     // gain of the delayed signal in the output
    double DelayMs = 5.0;       // delay, milliseconds; negative is taken as 0
    double WidthMs = 5.0;       // sweep width, milliseconds; negative is taken as 0
    bool SineMode = true;       // true: sine sweep; false: triangle sweep
    bool FeedbackOn = false;    // true: the delayed signal is fed back into the ring
    double FeedbackGain = 0.0;  // gain of the fed-back signal
    double SpeedHz = 0.5;       // sweep rate, hertz

    FlangerEngine();
    ~FlangerEngine() override;

    // Sets the seven parameter fields above; the mix and spread are the live mode's alone.
    void SetParameters(const EngineParameters& parameters);

    // Allocates zeroed delay lines for the format and puts the sweep at its start. A stream the
    // engine cannot run (sample rate above 2^31 - 1, lines longer than kMaxLineFrames or more
    // than kMaxTotalLineSamples in all, memory exhausted) is opened in pass-through: the samples
    // are left as they are. So is a sine sweep at sample rate 0; the triangle runs there over
    // lines of two elements.
    void Open(const StreamFormat& format) override;

    // Processes FrameCount frames of the buffer's channels in place, at most as many channels as
    // the format given to Open (further channels are left untouched; so is a null channel
    // pointer). The sweep advances FrameCount frames even without channels. Returns 1.
    std::int32_t ProcessBlock(StreamBuffer buffer) override;

    // The engine's state, for tests and diagnostics.
    bool PassThrough() const;
    double SweepPosition() const { return SweepPos; }
    double SweepBasePosition() const { return SweepBase; }
    double SweepStepFrames() const { return SweepStep; }
    std::int32_t RingLengthFrames() const { return RingLength; }
    std::int32_t WriteIndexPosition() const { return WriteIndex; }
    std::int32_t LineLengthFrames() const { return LineLength; }
    // Channel j's line: LineLengthFrames() floats; the last one is never written.
    const float* DelayLine(std::uint32_t channel) const;
    const SineOscillator& SweepOscillator() const { return Oscillator; }

    // The instruction set the kernels use: the best the processor offers unless chosen here.
    // Returns false, keeping the current set, when this build or processor lacks `set`. For
    // tests and measurements; the output bits are the same with every set.
    bool UseInstructionSet(InstructionSet set);
    InstructionSet ActiveInstructionSet() const { return Kernels->Set; }

private:
    // Steps the sweep `frames` frames, leaving the position each frame reads in `chunk`.
    template <bool kSineMode>
    void StepSweep(SweepChunk& chunk, std::uint32_t frames);
    // Runs every active channel over one chunk of the buffer starting at frame `offset`.
    void RunChunk(std::uint32_t channelCount, std::uint32_t offset, std::uint32_t frames);

    // No lines: Open found a stream it cannot run.
    bool IsPassThrough = true;
    double SweepStep = 0.0;       // change of SweepPos per frame in triangle mode, frames
    double SweepPos = 0.0;        // read offset ahead of WriteIndex, frames
    double SweepBase = 0.0;       // lower turning point of the triangle; centre of the sine
    LinearStretch Stretch;        // the triangle's, kept from chunk to chunk
    std::int32_t RingLength = 0;  // ring positions in use in every line
    std::int32_t WriteIndex = 0;  // ring position written in the current frame
    std::int32_t LineLength = 0;  // RingLength + 1: the spare last element stays 0.0
    SineOscillator Oscillator;
    const EngineKernels* Kernels;

    // All lines in one block: channel j's line starts at j * LineLength.
    std::unique_ptr<float[]> LineStorage;
    // Per-buffer scratch sized at Open: the channels being processed and their lines.
    std::vector<float*> ActiveSamples;
    std::vector<float*> ActiveLines;
    // The current chunk's sweep and taps, allocated at Open.
    std::unique_ptr<SweepChunk> Chunk;
};

}  // namespace flanger
