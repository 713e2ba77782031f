// FlangerEngine: opening the delay lines and the per-frame flanger.
#include "engine/flanger_engine.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace flanger {
namespace {

// Delay and width below zero would put the tap behind the write position; NaN is taken as 0 too.
double NonNegative(double value) { return value >= 0.0 ? value : 0.0; }

}  // namespace

void FlangerEngine::Open(const StreamFormat& format) {
    const double sampleRate = static_cast<double>(format.SampleRate);
    const std::uint32_t channels = format.Channels;
    const double delayMs = NonNegative(DelayMs);
    const double widthMs = NonNegative(WidthMs);

    LineStorage.reset();
    ActiveSamples.clear();
    ActiveLines.clear();
    IsPassThrough = true;
    RingLength = 0;
    LineLength = 0;

    const double lineFrames = ((delayMs + widthMs) * 0.001) * sampleRate;
    const bool runnable =
        format.SampleRate != 0 &&
        format.SampleRate <= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()) &&
        lineFrames < kMaxLineFrames;
    if (runnable) {
        const std::int32_t length = static_cast<std::int32_t>(lineFrames) + 2;
        const std::uint64_t total = std::uint64_t{channels} * static_cast<std::uint64_t>(length);
        if (total <= kMaxTotalLineSamples) {
            LineStorage.reset(new (std::nothrow) float[total]());
            if (channels == 0 || LineStorage != nullptr) {
                try {
                    ActiveSamples.resize(channels);
                    ActiveLines.resize(channels);
                    LineLength = length;
                    RingLength = length - 1;
                    IsPassThrough = false;
                } catch (const std::bad_alloc&) {
                    LineStorage.reset();
                }
            }
        }
    }

    SweepStep = (SpeedHz * widthMs) * 0.002;
    WriteIndex = 0;
    AudioProcessor::Open(format);
    SweepBase = SweepPos = (sampleRate * delayMs) * 0.001;
    Oscillator.Configure((sampleRate * widthMs) * 0.0005, SpeedHz, 0.0,
                         static_cast<std::int32_t>(std::min<std::uint32_t>(
                             format.SampleRate, std::numeric_limits<std::int32_t>::max())));
    Oscillator.Restart();
    // The sine's centre sits a hair below the middle of the width: 0.0005 / 1.000005 as a double.
    if (SineMode) SweepBase = SweepBase + (sampleRate * widthMs) * 0.0004999975000124999;
}

const float* FlangerEngine::DelayLine(std::uint32_t channel) const {
    if (LineStorage == nullptr || channel >= Channels) return nullptr;
    return LineStorage.get() + std::size_t{channel} * static_cast<std::size_t>(LineLength);
}

std::int32_t FlangerEngine::ProcessBlock(StreamBuffer buffer) {
    if (IsPassThrough) return 1;

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
    if (SineMode) {
        if (FeedbackOn) {
            ProcessFrames<true, true>(channelCount, frameCount);
        } else {
            ProcessFrames<true, false>(channelCount, frameCount);
        }
    } else {
        if (FeedbackOn) {
            ProcessFrames<false, true>(channelCount, frameCount);
        } else {
            ProcessFrames<false, false>(channelCount, frameCount);
        }
    }
    return 1;
}

FlangerEngine::Tap FlangerEngine::ReadPosition() const {
    // While the parameters are non-negative the sweep keeps floor(SweepPos) within
    // [0, RingLength + 1], where truncation equals floor. Outside that (an owner's NaN, a sine
    // recursion drifting over hours) the tap is clamped so that it never leaves the line.
    const double upper = static_cast<double>(RingLength) + 2.0;
    std::int32_t d;
    double f;
    if (SweepPos >= 0.0 && SweepPos < upper) {
        d = static_cast<std::int32_t>(SweepPos);
        f = SweepPos - static_cast<double>(d);
    } else {
        d = SweepPos >= upper ? RingLength + 1 : 0;
        f = SweepPos - std::floor(SweepPos);
    }
    std::int32_t p = d + WriteIndex;
    if (p >= RingLength) p -= RingLength;
    std::int32_t q = p + 1;
    if (q >= RingLength) q = 0;
    return {p, q, f};
}

template <bool kSineMode, bool kFeedbackOn>
void FlangerEngine::ProcessFrames(std::uint32_t channelCount, std::uint32_t frameCount) {
    float* const* const samples = ActiveSamples.data();
    float* const* const lines = ActiveLines.data();
    const double depthGain = DepthGain;
    const double feedbackGain = FeedbackGain;

    for (std::uint32_t i = 0; i < frameCount; ++i) {
        const Tap tap = ReadPosition();
        const double rest = 1.0 - tap.f;
        for (std::uint32_t j = 0; j < channelCount; ++j) {
            float* const line = lines[j];
            const double x = samples[j][i];
            const double y = static_cast<double>(line[tap.p]) * rest +
                             static_cast<double>(line[tap.q]) * tap.f;
            samples[j][i] = static_cast<float>(x + y * depthGain);
            // The line receives the input, never the output.
            if constexpr (kFeedbackOn) {
                line[WriteIndex] = static_cast<float>(x + y * feedbackGain);
            } else {
                line[WriteIndex] = static_cast<float>(x);
            }
        }

        ++WriteIndex;
        if (WriteIndex == RingLength) WriteIndex = 0;

        if constexpr (kSineMode) {
            SweepPos = Oscillator.NextValue() + SweepBase;
        } else {
            SweepPos = SweepPos + SweepStep;
            // The upper bound is the ring length, not SweepBase plus the width; stepping back
            // with the new step returns the position to the inside.
            if (SweepPos - 1.0 > static_cast<double>(RingLength) || SweepPos <= SweepBase) {
                SweepStep = -SweepStep;
                SweepPos = SweepPos + SweepStep;
            }
        }
    }
}

}  // namespace flanger
