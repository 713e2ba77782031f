// FlangerEngine: opening the delay lines and the per-frame flanger.
#include "engine/flanger_engine.h"

#include <algorithm>
#include <limits>
#include <new>

#include "engine/chunk_steps.h"
#include "engine/sweep_start.h"

namespace flanger {
namespace {

// Delay and width below zero would put the tap behind the write position; NaN is taken as 0 too.
double NonNegative(double value) { return value >= 0.0 ? value : 0.0; }

}  // namespace

FlangerEngine::FlangerEngine() : Kernels(KernelsFor(BestInstructionSet())) {}

FlangerEngine::~FlangerEngine() = default;

void FlangerEngine::SetParameters(const EngineParameters& parameters) {
    DepthGain = parameters.DepthGain;
    DelayMs = parameters.DelayMs;
    WidthMs = parameters.WidthMs;
    SineMode = parameters.SineMode;
    FeedbackOn = parameters.FeedbackOn;
    FeedbackGain = parameters.FeedbackGain;
    SpeedHz = parameters.SpeedHz;
}

bool FlangerEngine::UseInstructionSet(InstructionSet set) {
    const EngineKernels* kernels = KernelsFor(set);
    if (kernels == nullptr) return false;
    Kernels = kernels;
    return true;
}

void FlangerEngine::Open(const StreamFormat& format) {
    const double sampleRate = static_cast<double>(format.SampleRate);
    const std::uint32_t channels = format.Channels;
    const double delayMs = NonNegative(DelayMs);
    const double widthMs = NonNegative(WidthMs);

    LineStorage.reset();
    Chunk.reset();
    ActiveSamples.clear();
    ActiveLines.clear();
    IsPassThrough = true;
    RingLength = 0;
    LineLength = 0;

    // At sample rate 0 the lines have two elements, which the triangle sweeps as at any rate.
    const double lineFrames = LineFramesFor(sampleRate, delayMs, widthMs);
    const bool runnable =
        format.SampleRate <= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()) &&
        lineFrames < kMaxLineFrames;
    if (runnable) {
        const std::int32_t length = static_cast<std::int32_t>(lineFrames) + 2;
        const std::uint64_t total = std::uint64_t{channels} * static_cast<std::uint64_t>(length);
        if (total <= kMaxTotalLineSamples) {
            LineStorage.reset(new (std::nothrow) float[total]());
            Chunk.reset(new (std::nothrow) SweepChunk);
            if ((channels == 0 || LineStorage != nullptr) && Chunk != nullptr) {
                try {
                    ActiveSamples.resize(channels);
                    ActiveLines.resize(channels);
                    LineLength = length;
                    RingLength = length - 1;
                    IsPassThrough = false;
                } catch (const std::bad_alloc&) {
                    LineStorage.reset();
                    Chunk.reset();
                }
            }
        }
    }

    const SweepStart start = StartOfSweep(sampleRate, delayMs, widthMs, SpeedHz, SineMode);
    SweepStep = start.Step;
    WriteIndex = 0;
    AudioProcessor::Open(format);
    SweepPos = start.LowerEnd;
    SweepBase = start.Base;
    Oscillator.Configure(start.SineAmplitude, SpeedHz, 0.0,
                         static_cast<std::int32_t>(std::min<std::uint32_t>(
                             format.SampleRate, std::numeric_limits<std::int32_t>::max())));
    Oscillator.Restart();
}

const float* FlangerEngine::DelayLine(std::uint32_t channel) const {
    if (LineStorage == nullptr || channel >= Channels) return nullptr;
    return LineStorage.get() + std::size_t{channel} * static_cast<std::size_t>(LineLength);
}

bool FlangerEngine::PassThrough() const {
    // The sine's step per frame is infinite at sample rate 0.
    return IsPassThrough || (SineMode && SampleRate == 0);
}

std::int32_t FlangerEngine::ProcessBlock(StreamBuffer buffer) {
    if (PassThrough()) return 1;

    const std::uint32_t offered = std::min(BufferChannelCount(buffer), Channels);
    std::uint32_t channelCount = 0;
    for (std::uint32_t j = 0; j < offered; ++j) {
        float* samples = buffer.ChannelsBegin[j];
        if (samples == nullptr) continue;
        ActiveSamples[channelCount] = samples;
        ActiveLines[channelCount] =
            LineStorage.get() + std::size_t{j} * static_cast<std::size_t>(LineLength);
        ++channelCount;
    }

    const std::uint32_t frameCount = buffer.FrameCount;
    for (std::uint32_t done = 0; done < frameCount;) {
        // A chunk ends where the write position wraps, so that its writes are consecutive.
        const std::uint32_t frames = std::min(
            {frameCount - done, kChunkFrames, static_cast<std::uint32_t>(RingLength - WriteIndex)});
        if (SineMode && channelCount > 0) {
            // The kernels may form the sine's terms as they run the chunk.
            StartSineSweep(SweepPos, SweepBase, Oscillator, *Chunk, frames, *Kernels);
        } else if (SineMode) {
            StepSweep<true>(*Chunk, frames);
        } else {
            StepSweep<false>(*Chunk, frames);
        }
        if (channelCount > 0) RunChunk(channelCount, done, frames);
        FinishSineSweep(SweepPos, SweepBase, Oscillator, *Chunk);
        WriteIndex += static_cast<std::int32_t>(frames);
        if (WriteIndex == RingLength) WriteIndex = 0;
        done += frames;
    }
    return 1;
}

template <bool kSineMode>
void FlangerEngine::StepSweep(SweepChunk& chunk, std::uint32_t frames) {
    if constexpr (kSineMode) {
        StepSineSweepScaledLater(SweepPos, SweepBase, Oscillator, chunk, frames, *Kernels);
    } else {
        StepTriangleSweep(SweepPos, SweepStep, SweepBase, RingLength, Stretch, chunk, frames);
    }
}

void FlangerEngine::RunChunk(std::uint32_t channelCount, std::uint32_t offset,
                             std::uint32_t frames) {
    RunChannelsOverChunk(
        *Kernels, *Chunk, frames, WriteIndex, RingLength, FeedbackOn, DepthGain, FeedbackGain,
        ChunkChannels{ActiveSamples.data(), ActiveLines.data(), channelCount, offset});
}

}  // namespace flanger
