// FlangerVoice: opening, continuing from another voice, and processing a chunk.
#include "engine/flanger_voice.h"

#include <algorithm>
#include <cmath>

#include "engine/chunk_steps.h"
#include "engine/frame_math.h"
#include "engine/line_history.h"
#include "engine/sweep_start.h"

namespace flanger {
namespace {

constexpr double kPi = SineOscillator::kTwoPi / 2.0;

}  // namespace

std::int32_t FlangerVoice::RingLengthFor(const EngineParameters& parameters,
                                         std::uint32_t sampleRate) {
    // FlangerEngine::Open: the line holds the truncated frames + 2 floats, the last the spare.
    const double lineFrames =
        LineFramesFor(static_cast<double>(sampleRate), parameters.DelayMs, parameters.WidthMs);
    return static_cast<std::int32_t>(lineFrames) + 1;
}

double FlangerVoice::SpreadCycles(std::int32_t spreadDegrees, std::uint32_t channel) {
    const std::int64_t degrees = std::int64_t{spreadDegrees} * channel % 360;
    return static_cast<double>(degrees) / 360.0;
}

void FlangerVoice::Bind(float* lines, std::uint32_t channels, std::int32_t lineCapacity,
                        SweepChunk* chunks, const EngineKernels* kernels) {
    Lines.resize(channels);
    for (std::uint32_t j = 0; j < channels; ++j) {
        Lines[j] = lines + std::size_t{j} * static_cast<std::size_t>(lineCapacity);
    }
    Sweeps.assign(std::max<std::uint32_t>(channels, 1), Sweep{});
    SweepCount = 1;
    Chunks = chunks;
    Kernels = kernels;
}

void FlangerVoice::SetParameters(const EngineParameters& parameters, std::uint32_t sampleRate) {
    Parameters = parameters;
    IsMixed = parameters.Mixed();
    SampleRate = sampleRate;
    RingLength = RingLengthFor(parameters, sampleRate);
    Start = StartOfSweep(static_cast<double>(sampleRate), parameters.DelayMs, parameters.WidthMs,
                         parameters.SpeedHz, parameters.SineMode);
    SweepCount = parameters.SpreadDegrees != 0 ? static_cast<std::uint32_t>(Sweeps.size()) : 1;
    IsPlainTriangle = !IsMixed && SweepCount == 1 && !parameters.SineMode;
    PreparedRun = ChunkRun{};
    PreparedRun.Chunk = Chunks;
    PreparedRun.RingLength = RingLength;
    PreparedRun.FeedbackOn = parameters.FeedbackOn;
    PreparedRun.DepthGain = parameters.DepthGain;
    PreparedRun.FeedbackGain = parameters.FeedbackGain;
    PreparedRun.Channels.Lines = Lines.data();
    for (std::uint32_t s = 0; s < SweepCount; ++s) {
        Sweeps[s].Oscillator.Configure(Start.SineAmplitude, parameters.SpeedHz,
                                       SpreadCycles(parameters.SpreadDegrees, s),
                                       static_cast<std::int32_t>(sampleRate));
    }
}

void FlangerVoice::Open(const EngineParameters& parameters, std::uint32_t sampleRate) {
    // The steps of FlangerEngine::Open, in its order and with its constants.
    SetParameters(parameters, sampleRate);
    for (float* line : Lines) std::fill(line, line + RingLength + 1, 0.0f);
    WriteIndex = 0;
    for (std::uint32_t s = 0; s < SweepCount; ++s) {
        Sweep& sweep = Sweeps[s];
        sweep.SweepStep = Start.Step;
        sweep.SweepPos = Start.LowerEnd;
        sweep.SweepBase = Start.Base;
        sweep.Oscillator.Restart();
        const double omega = sweep.Oscillator.OmegaRadiansPerFrame();
        // The first frame reads the lower end; frame k >= 1 the sine at phase (k - 1) * Omega,
        // plus the channel's share of the spread.
        if (!parameters.SineMode && s > 0) {
            StartSweepAt(sweep, SpreadCycles(parameters.SpreadDegrees, s) * SineOscillator::kTwoPi);
        }
        sweep.SineOrigin = sweep.Oscillator.PhaseRadians() - omega;
        sweep.SineFrames = 0;
        sweep.FirstFrameAfterOpen = true;
    }
}

void FlangerVoice::Continue(const FlangerVoice& from, const EngineParameters& parameters,
                            const LineHistory& history) {
    const bool sameSweep = from.Parameters.SineMode == parameters.SineMode &&
                           from.Parameters.DelayMs == parameters.DelayMs &&
                           from.Parameters.WidthMs == parameters.WidthMs &&
                           from.Parameters.SpeedHz == parameters.SpeedHz;
    SetParameters(parameters, from.SampleRate);
    WriteIndex = from.WriteIndex % RingLength;
    history.LayOut(Lines.data(), RingLength, WriteIndex);
    if (sameSweep && from.Parameters.SpreadDegrees == parameters.SpreadDegrees) {
        // Only the gains change: the sweeps go on as they would have.
        std::copy_n(from.Sweeps.begin(), SweepCount, Sweeps.begin());
        return;
    }
    // Channel 0 goes on where it was; the others take their places from it.
    const double phase = from.SweepPhase();
    std::uint32_t s = 0;
    if (sameSweep) Sweeps[s++] = from.Sweeps[0];
    for (; s < SweepCount; ++s) {
        const double shifted =
            phase + SpreadCycles(parameters.SpreadDegrees, s) * SineOscillator::kTwoPi;
        StartSweepAt(Sweeps[s], std::fmod(shifted, SineOscillator::kTwoPi));
    }
}

void FlangerVoice::StartSweepAt(Sweep& sweep, double phase) {
    const double stepSize = Start.Step;
    sweep.FirstFrameAfterOpen = false;
    if (Parameters.SineMode) {
        sweep.SweepStep = stepSize;
        sweep.SweepBase = Start.Base;
        // Phase 0 is the lower end, where the sine is at -pi/2.
        const double sinePhase = phase - kPi / 2.0;
        SineOscillator& oscillator = sweep.Oscillator;
        const double omega = oscillator.OmegaRadiansPerFrame();
        const double amplitude = oscillator.AmplitudeValue();
        // The oscillator gives the frame after the next one.
        oscillator.Configure(amplitude, Parameters.SpeedHz,
                             (sinePhase + omega) / SineOscillator::kTwoPi,
                             static_cast<std::int32_t>(SampleRate));
        oscillator.Restart();
        sweep.SweepPos = sweep.SweepBase + amplitude * std::sin(sinePhase);
        sweep.SineOrigin = sinePhase;
        sweep.SineFrames = 0;
        return;
    }
    const bool rising = phase < kPi;
    const double share = rising ? phase / kPi : 2.0 - phase / kPi;
    const double top = static_cast<double>(RingLength) + 1.0;
    sweep.SweepBase = Start.LowerEnd;
    sweep.SweepPos =
        std::clamp(sweep.SweepBase + share * (top - sweep.SweepBase), sweep.SweepBase, top);
    sweep.SweepStep = rising ? stepSize : -stepSize;
}

double FlangerVoice::PhaseOf(const Sweep& sweep) const {
    if (Parameters.SineMode) {
        if (sweep.FirstFrameAfterOpen) return 0.0;
        const double sinePhase = sweep.SineOrigin + static_cast<double>(sweep.SineFrames) *
                                                        sweep.Oscillator.OmegaRadiansPerFrame();
        const double phase = std::fmod(sinePhase + kPi / 2.0, SineOscillator::kTwoPi);
        return phase < 0.0 ? phase + SineOscillator::kTwoPi : phase;
    }
    const double top = static_cast<double>(RingLength) + 1.0;
    const double span = top - sweep.SweepBase;
    const double share = span > 0.0 ? (sweep.SweepPos - sweep.SweepBase) / span : 0.0;
    // The comparisons also take a NaN share as the lower end.
    const double clamped = share > 0.0 ? (share < 1.0 ? share : 1.0) : 0.0;
    if (sweep.SweepStep >= 0.0 || clamped == 0.0) return kPi * clamped;
    return SineOscillator::kTwoPi - kPi * clamped;
}

void FlangerVoice::StepSweeps(std::uint32_t frames, bool prepareTaps, bool kernelsRunEvery) {
    for (std::uint32_t s = 0; s < SweepCount; ++s) {
        Sweep& sweep = Sweeps[s];
        SweepChunk& chunk = Chunks[s];
        if (Parameters.SineMode) {
            if (kernelsRunEvery) {
                StartSineSweep(sweep.SweepPos, sweep.SweepBase, sweep.Oscillator, chunk, frames,
                               *Kernels);
            } else {
                StepSineSweep(sweep.SweepPos, sweep.SweepBase, sweep.Oscillator, chunk, frames);
            }
            sweep.SineFrames += frames;
            sweep.FirstFrameAfterOpen = false;
        } else {
            StepTriangleSweep(sweep.SweepPos, sweep.SweepStep, sweep.SweepBase, RingLength,
                              sweep.Stretch, chunk, frames);
        }
        if (prepareTaps) {
            WriteLinearPositions(chunk, frames);
            PrepareTapsFrameByFrame(chunk, frames, WriteIndex, RingLength);
        }
    }
}

namespace {

// The linearly interpolated tap of a prepared chunk's frame i.
double Tap(const float* line, const SweepChunk& chunk, std::uint32_t i) {
    return static_cast<double>(line[chunk.Near[i]]) * chunk.Rest[i] +
           static_cast<double>(line[chunk.Far[i]]) * chunk.Fraction[i];
}

// The output of one frame: at the default mix both gains are 1.0, whose products are exact, so
// this is x + tap * DepthGain, the engine's arithmetic.
double Output(const EngineParameters& p, double x, double tap) {
    return p.DryGain * x + p.WetGain * (tap * p.DepthGain);
}

}  // namespace

void FlangerVoice::ProcessMixedChunk(float* const* samples, std::uint32_t count,
                                     std::uint32_t offset, std::uint32_t frames) {
    StepSweeps(frames, true);
    const EngineParameters& p = Parameters;
    for (std::uint32_t j = 0; j < count; ++j) {
        if (samples[j] == nullptr) continue;
        float* const out = samples[j] + offset;
        float* const line = Lines[j];
        const SweepChunk& chunk = ChunkOf(j);
        // Frame by frame: a frame may read what the frame before it wrote.
        for (std::uint32_t i = 0; i < frames; ++i) {
            const double x = FiniteInput(out[i]);
            const double tap = Tap(line, chunk, i);
            out[i] = static_cast<float>(Output(p, x, tap));
            line[WriteIndex + static_cast<std::int32_t>(i)] =
                static_cast<float>(p.FeedbackOn ? x + tap * p.FeedbackGain : x);
        }
    }
    AdvanceWriteIndex(frames);
}

void FlangerVoice::ProcessChunk(float* const* samples, std::uint32_t count, std::uint32_t offset,
                                std::uint32_t frames) {
    if (!IsPlainTriangle) return ProcessChunkOfSweeps(samples, count, offset, frames);
    // Most chunks go on along the sweep's stretch, with no call but to the kernels at the end.
    Sweep& sweep = Sweeps[0];
    if (!StepAlongLinearStretch(sweep.SweepPos, sweep.SweepStep, sweep.SweepBase, RingLength,
                                sweep.Stretch, Chunks[0], frames)) {
        return ProcessChunkAfresh(samples, count, offset, frames);
    }
    RunPreparedChunk(samples, count, offset, frames);
}

void FlangerVoice::Process(float* const* samples, std::uint32_t count, std::uint32_t frames) {
    // Most blocks fit in one chunk: ProcessChunk is then the last step, and nothing is kept
    // across it.
    if (frames != 0 && frames <= std::min(kChunkFrames, FramesUntilWrap())) {
        return ProcessChunk(samples, count, 0, frames);
    }
    ProcessInChunks(samples, count, frames);
}

void FlangerVoice::ProcessInChunks(float* const* samples, std::uint32_t count,
                                   std::uint32_t frames) {
    for (std::uint32_t offset = 0; offset < frames;) {
        const std::uint32_t chunk = std::min({frames - offset, kChunkFrames, FramesUntilWrap()});
        ProcessChunk(samples, count, offset, chunk);
        offset += chunk;
    }
}

void FlangerVoice::ProcessChunkAfresh(float* const* samples, std::uint32_t count,
                                      std::uint32_t offset, std::uint32_t frames) {
    Sweep& sweep = Sweeps[0];
    StepTriangleSweepAfresh(sweep.SweepPos, sweep.SweepStep, sweep.SweepBase, RingLength,
                            sweep.Stretch, Chunks[0], frames);
    RunPreparedChunk(samples, count, offset, frames);
}

void FlangerVoice::ProcessChunkOfSweeps(float* const* samples, std::uint32_t count,
                                        std::uint32_t offset, std::uint32_t frames) {
    if (IsMixed) return ProcessMixedChunk(samples, count, offset, frames);
    // Where the kernels run every sweep's chunk, they may form the sine's terms as they go.
    const bool kernelsRunEvery = count > 0 && count >= SweepCount;
    StepSweeps(frames, false, kernelsRunEvery);
    const EngineParameters& p = Parameters;
    if (SweepCount == 1 && count > 0) {
        RunChannelsOverChunk(*Kernels, Chunks[0], frames, WriteIndex, RingLength, p.FeedbackOn,
                             p.DepthGain, p.FeedbackGain,
                             ChunkChannels{samples, Lines.data(), count, offset});
    } else {
        // A sweep per channel: each channel over its own taps.
        for (std::uint32_t j = 0; j < count; ++j) {
            RunChannelsOverChunk(*Kernels, Chunks[j], frames, WriteIndex, RingLength, p.FeedbackOn,
                                 p.DepthGain, p.FeedbackGain,
                                 ChunkChannels{samples + j, Lines.data() + j, 1, offset});
        }
    }
    for (std::uint32_t s = 0; s < SweepCount; ++s) {
        FinishSineSweep(Sweeps[s].SweepPos, Sweeps[s].SweepBase, Sweeps[s].Oscillator, Chunks[s]);
    }
    AdvanceWriteIndex(frames);
}

void FlangerVoice::Crossfade(FlangerVoice& from, FlangerVoice& to, float* const* samples,
                             std::uint32_t count, std::uint32_t offset, std::uint32_t frames,
                             const double* weights) {
    from.StepSweeps(frames, true);
    to.StepSweeps(frames, true);
    const EngineParameters& a = from.Parameters;
    const EngineParameters& b = to.Parameters;
    for (std::uint32_t j = 0; j < count; ++j) {
        if (samples[j] == nullptr) continue;
        float* out = samples[j] + offset;
        float* fromLine = from.Lines[j];
        float* toLine = to.Lines[j];
        const SweepChunk& fromChunk = from.ChunkOf(j);
        const SweepChunk& toChunk = to.ChunkOf(j);
        // Frame by frame, each voice writing before its next frame reads.
        for (std::uint32_t i = 0; i < frames; ++i) {
            const double x = FiniteInput(out[i]);
            const double fromTap = Tap(fromLine, fromChunk, i);
            const double toTap = Tap(toLine, toChunk, i);
            const double weight = weights[i];
            const double fromOut = Output(a, x, fromTap);
            out[i] = static_cast<float>(fromOut + weight * (Output(b, x, toTap) - fromOut));
            const double fromWrite = a.FeedbackOn ? x + fromTap * a.FeedbackGain : x;
            const double toWrite = b.FeedbackOn ? x + toTap * b.FeedbackGain : x;
            fromLine[from.WriteIndex + static_cast<std::int32_t>(i)] =
                static_cast<float>(fromWrite);
            toLine[to.WriteIndex + static_cast<std::int32_t>(i)] =
                static_cast<float>(fromWrite + weight * (toWrite - fromWrite));
        }
    }
    from.AdvanceWriteIndex(frames);
    to.AdvanceWriteIndex(frames);
}

}  // namespace flanger
