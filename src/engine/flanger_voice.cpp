// FlangerVoice: opening, continuing from another voice, and processing a chunk.
#include "engine/flanger_voice.h"

#include <algorithm>
#include <cmath>

#include "engine/chunk_steps.h"
#include "engine/frame_math.h"
#include "engine/line_history.h"

namespace flanger {
namespace {

constexpr double kPi = SineOscillator::kTwoPi / 2.0;

}  // namespace

std::int32_t FlangerVoice::RingLengthFor(const EngineParameters& parameters,
                                         std::uint32_t sampleRate) {
    // FlangerEngine::Open: the line holds truncation(((delay + width) * 0.001) * sr) + 2 floats,
    // the last of them the spare.
    const double lineFrames =
        ((parameters.DelayMs + parameters.WidthMs) * 0.001) * static_cast<double>(sampleRate);
    return static_cast<std::int32_t>(lineFrames) + 1;
}

void FlangerVoice::Bind(float* lines, std::uint32_t channels, std::int32_t lineCapacity,
                        SweepChunk* chunk, const EngineKernels* kernels) {
    Lines.resize(channels);
    for (std::uint32_t j = 0; j < channels; ++j) {
        Lines[j] = lines + std::size_t{j} * static_cast<std::size_t>(lineCapacity);
    }
    Chunk = chunk;
    Kernels = kernels;
}

void FlangerVoice::SetParameters(const EngineParameters& parameters, std::uint32_t sampleRate) {
    Parameters = parameters;
    SampleRate = sampleRate;
    RingLength = RingLengthFor(parameters, sampleRate);
    const double rate = static_cast<double>(sampleRate);
    OpenBase = (rate * parameters.DelayMs) * 0.001;
    Oscillator.Configure((rate * parameters.WidthMs) * 0.0005, parameters.SpeedHz, 0.0,
                         static_cast<std::int32_t>(sampleRate));
}

void FlangerVoice::Open(const EngineParameters& parameters, std::uint32_t sampleRate) {
    // The steps of FlangerEngine::Open, in its order and with its constants.
    SetParameters(parameters, sampleRate);
    for (float* line : Lines) std::fill(line, line + RingLength + 1, 0.0f);
    SweepStep = (parameters.SpeedHz * parameters.WidthMs) * 0.002;
    WriteIndex = 0;
    SweepBase = SweepPos = OpenBase;
    Oscillator.Restart();
    // The sine's centre sits a hair below the middle of the width: 0.0005 / 1.000005 as a double.
    if (parameters.SineMode) {
        SweepBase = SweepBase +
                    (static_cast<double>(sampleRate) * parameters.WidthMs) * 0.0004999975000124999;
    }
    // The first frame reads the lower end; frame k >= 1 the sine at phase (k - 1) * Omega.
    SineOrigin = -Oscillator.OmegaRadiansPerFrame();
    SineFrames = 0;
    FirstFrameAfterOpen = true;
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
    if (sameSweep) {
        // Only the gains change: the sweep goes on as it would have.
        SweepStep = from.SweepStep;
        SweepPos = from.SweepPos;
        SweepBase = from.SweepBase;
        Oscillator = from.Oscillator;
        SineOrigin = from.SineOrigin;
        SineFrames = from.SineFrames;
        FirstFrameAfterOpen = from.FirstFrameAfterOpen;
        return;
    }
    StartSweepAt(from.SweepPhase());
}

void FlangerVoice::StartSweepAt(double phase) {
    const double rate = static_cast<double>(SampleRate);
    const double stepSize = (Parameters.SpeedHz * Parameters.WidthMs) * 0.002;
    FirstFrameAfterOpen = false;
    if (Parameters.SineMode) {
        SweepStep = stepSize;
        SweepBase = OpenBase + (rate * Parameters.WidthMs) * 0.0004999975000124999;
        // Phase 0 is the lower end, where the sine is at -pi/2.
        const double sinePhase = phase - kPi / 2.0;
        const double omega = Oscillator.OmegaRadiansPerFrame();
        const double amplitude = Oscillator.AmplitudeValue();
        // The oscillator gives the frame after the next one.
        Oscillator.Configure(amplitude, Parameters.SpeedHz,
                             (sinePhase + omega) / SineOscillator::kTwoPi,
                             static_cast<std::int32_t>(SampleRate));
        Oscillator.Restart();
        SweepPos = SweepBase + amplitude * std::sin(sinePhase);
        SineOrigin = sinePhase;
        SineFrames = 0;
        return;
    }
    const bool rising = phase < kPi;
    const double share = rising ? phase / kPi : 2.0 - phase / kPi;
    const double top = static_cast<double>(RingLength) + 1.0;
    SweepBase = OpenBase;
    SweepPos = std::clamp(SweepBase + share * (top - SweepBase), SweepBase, top);
    SweepStep = rising ? stepSize : -stepSize;
}

double FlangerVoice::SweepPhase() const {
    if (Parameters.SineMode) {
        if (FirstFrameAfterOpen) return 0.0;
        const double sinePhase =
            SineOrigin + static_cast<double>(SineFrames) * Oscillator.OmegaRadiansPerFrame();
        const double phase = std::fmod(sinePhase + kPi / 2.0, SineOscillator::kTwoPi);
        return phase < 0.0 ? phase + SineOscillator::kTwoPi : phase;
    }
    const double top = static_cast<double>(RingLength) + 1.0;
    const double span = top - SweepBase;
    const double share = span > 0.0 ? (SweepPos - SweepBase) / span : 0.0;
    // The comparisons also take a NaN share as the lower end.
    const double clamped = share > 0.0 ? (share < 1.0 ? share : 1.0) : 0.0;
    if (SweepStep >= 0.0 || clamped == 0.0) return kPi * clamped;
    return SineOscillator::kTwoPi - kPi * clamped;
}

void FlangerVoice::StepSweep(std::uint32_t frames) {
    if (Parameters.SineMode) {
        StepSineSweep(SweepPos, SweepBase, Oscillator, Chunk->Position, frames);
        SineFrames += frames;
        FirstFrameAfterOpen = false;
    } else {
        StepTriangleSweep(SweepPos, SweepStep, SweepBase, RingLength, Chunk->Position, frames);
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
    StepSweep(frames);
    PrepareTapsFrameByFrame(*Chunk, frames, WriteIndex, RingLength);
    const EngineParameters& p = Parameters;
    for (std::uint32_t j = 0; j < count; ++j) {
        if (samples[j] == nullptr) continue;
        float* const out = samples[j] + offset;
        float* const line = Lines[j];
        // Frame by frame: a frame may read what the frame before it wrote.
        for (std::uint32_t i = 0; i < frames; ++i) {
            const double x = out[i];
            const double tap = Tap(line, *Chunk, i);
            out[i] = static_cast<float>(Output(p, x, tap));
            line[WriteIndex + static_cast<std::int32_t>(i)] =
                static_cast<float>(p.FeedbackOn ? x + tap * p.FeedbackGain : x);
        }
    }
    AdvanceWriteIndex(frames);
}

void FlangerVoice::ProcessChunk(float* const* samples, std::uint32_t count, std::uint32_t offset,
                                std::uint32_t frames) {
    if (Parameters.Mixed()) return ProcessMixedChunk(samples, count, offset, frames);
    StepSweep(frames);
    if (count > 0) {
        RunChannelsOverChunk(*Kernels, *Chunk, frames, WriteIndex, RingLength,
                             Parameters.FeedbackOn, Parameters.DepthGain, Parameters.FeedbackGain,
                             ChunkChannels{samples, Lines.data(), count, offset});
    }
    AdvanceWriteIndex(frames);
}

void FlangerVoice::Crossfade(FlangerVoice& from, FlangerVoice& to, float* const* samples,
                             std::uint32_t count, std::uint32_t offset, std::uint32_t frames,
                             const double* weights) {
    for (FlangerVoice* voice : {&from, &to}) {
        voice->StepSweep(frames);
        PrepareTapsFrameByFrame(*voice->Chunk, frames, voice->WriteIndex, voice->RingLength);
    }
    const EngineParameters& a = from.Parameters;
    const EngineParameters& b = to.Parameters;
    for (std::uint32_t j = 0; j < count; ++j) {
        if (samples[j] == nullptr) continue;
        float* out = samples[j] + offset;
        float* fromLine = from.Lines[j];
        float* toLine = to.Lines[j];
        // Frame by frame, each voice writing before its next frame reads.
        for (std::uint32_t i = 0; i < frames; ++i) {
            const double x = out[i];
            const double fromTap = Tap(fromLine, *from.Chunk, i);
            const double toTap = Tap(toLine, *to.Chunk, i);
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
