// The vector kernels against the frame-by-frame rules: the taps they prepare for positions at
// every boundary (the close band where a delay is shorter than a vector group, the top of the
// ring, the spare element, positions outside the lines), steady delays of one to a few frames
// held for a long run, and hostile parameters where only the kernels' agreement with the
// portable one defines the result.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <sstream>

#include "engine/chunk_steps.h"
#include "engine/frame_math.h"
#include "engine_test_support.h"

namespace flanger::testing {
namespace {

std::vector<InstructionSet> VectorSetsOfThisProcessor() {
    std::vector<InstructionSet> sets;
    for (InstructionSet set : {InstructionSet::Sse2, InstructionSet::Avx2}) {
        if (KernelsFor(set) != nullptr) sets.push_back(set);
    }
    return sets;
}

struct TapCase {
    const char* name;
    std::int32_t ringLength;
    std::int32_t writeIndex;
    std::function<std::vector<double>(std::int32_t ringLength)> positions;
};

std::vector<double> Repeated(std::vector<double> values, std::size_t count) {
    std::vector<double> result;
    while (result.size() < count) {
        for (double v : values) {
            if (result.size() < count) result.push_back(v);
        }
    }
    return result;
}

// 256 positions from `start` on by `step` a frame.
std::vector<double> Ramp(double start, double step) {
    std::vector<double> result(256);
    for (std::uint32_t i = 0; i < 256; ++i) result[i] = start + i * step;
    return result;
}

// The floor values around the close band and the top of the ring, with and without fractions.
std::vector<double> Boundaries(std::int32_t ring) {
    const double r = ring;
    const double g = kGroupFrames;
    return {r - g - 2.0, r - g - 1.0, r - g - 0.5, r - g,         r - g + 0.25, r - 2.0,
            r - 1.0,     r - 0.0001,  r,           r + 0.5,       r + 1.0,      r + 1.75,
            0.0,         0.999,       1.0,         r / 2.0 + 0.3, r - g - 1.0,  r - g - 1.0};
}

std::vector<TapCase> TapCases() {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    return {
        {"sweep_across_the_top", 442, 0,
         [](std::int32_t ring) {
             std::vector<double> p;
             for (double x = 220.5; p.size() < 256; x += 0.97) {
                 p.push_back(std::fmin(x, ring + 1.9));
             }
             return p;
         }},
        {"boundaries_near_the_ring_end", 442, 200,
         [](std::int32_t ring) { return Repeated(Boundaries(ring), 242); }},
        {"boundaries_odd_count", 1000, 3,
         [](std::int32_t ring) { return Repeated(Boundaries(ring), 37); }},
        {"far_from_the_top", 442, 17,
         [](std::int32_t) {
             return Repeated({220.5, 300.25}, 256);
         }},
        {"oldest_samples_only", 442, 60,
         [](std::int32_t ring) {
             return Repeated({ring + 0.0, ring + 1.0, ring + 1.999}, 101);
         }},
        {"below_the_close_band", 442, 0,
         [](std::int32_t ring) {
             return Repeated({0.0, ring - kGroupFrames - 0.001}, 256);
         }},
        {"one_close_frame_in_the_tail", 442, 0,
         [](std::int32_t ring) {
             auto p = Repeated({230.0}, 203);
             p.back() = ring - 2.5;
             return p;
         }},
        {"outside_the_lines", 442, 100,
         [nan, inf](std::int32_t ring) {
             return Repeated({300.0, nan, -0.0, -1e-300, -1.0, ring + 2.0, inf, -inf, 1e300,
                              2147483648.0, -2147483649.0, 301.5},
                             64);
         }},
        {"just_below_zero_from_write_position_0", 442, 0,
         [](std::int32_t) {
             return Repeated({-0.0004, -1e-9, -0.5, -0.999, 220.5}, 200);
         }},
        {"ring_of_group_plus_one", kGroupFrames + 1, 0,
         [](std::int32_t ring) { return Repeated(Boundaries(ring), 9); }},
        {"ring_of_group_plus_two", kGroupFrames + 2, 1,
         [](std::int32_t) {
             return Repeated({0.0, 0.5, 1.0, 11.0, 11.5, 10.0}, 9);
         }},
        {"one_floor_across_the_ring_end", 442, 100,
         [](std::int32_t) { return Ramp(300.0, 0.001); }},
        {"floors_rising_into_the_close_band", 442, 0,
         [](std::int32_t ring) { return Ramp(ring - 10.0, 0.05); }},
        {"ring_of_one", 1, 0,
         [](std::int32_t) {
             return Repeated({0.0, 0.5, 1.0, 2.5}, 1);
         }},
    };
}

TEST(EngineKernels, ChunkKernelsFollowTheFrameByFrameRules) {
    const auto sets = VectorSetsOfThisProcessor();
    if (sets.empty()) GTEST_SKIP() << "no vector instruction set in this build or processor";
    for (const TapCase& c : TapCases()) {
        const std::vector<double> positions = c.positions(c.ringLength);
        ASSERT_LE(positions.size(), kChunkFrames) << c.name;
        ASSERT_LE(c.writeIndex + static_cast<std::int32_t>(positions.size()), c.ringLength)
            << c.name << ": a chunk never runs past the end of the ring";
        const auto frames = static_cast<std::uint32_t>(positions.size());
        // Two channels of noise over lines of noise (the spare element stays 0).
        auto signal = WhiteNoise(4, std::max<std::uint32_t>(frames, c.ringLength + 1), 3);
        signal[2].resize(frames);
        signal[3].resize(frames);
        signal[0][c.ringLength] = signal[1][c.ringLength] = 0.0f;
        signal[2][frames / 2] = std::numeric_limits<float>::quiet_NaN();
        const auto runOn = [&](const EngineKernels& kernels, bool feedbackOn) {
            auto run = signal;
            auto chunk = std::make_unique<SweepChunk>();
            std::copy(positions.begin(), positions.end(), chunk->Position);
            float* const lines[] = {run[0].data(), run[1].data()};
            float* const samples[] = {run[2].data(), run[3].data()};
            kernels.RunChunk(ChunkRun{chunk.get(), frames, c.writeIndex, c.ringLength, feedbackOn,
                                      0.9, 0.5, ChunkChannels{samples, lines, 2, 0}});
            return run;
        };
        for (bool feedbackOn : {true, false}) {
            const auto expected = runOn(*PortableKernels(), feedbackOn);
            for (InstructionSet set : sets) {
                ExpectSameBits(runOn(*KernelsFor(set), feedbackOn), expected,
                               std::string(c.name) + " " + InstructionSetName(set) +
                                   (feedbackOn ? "" : " without feedback"));
            }
        }
    }
}

TEST(ChunkSteps, TriangleStepsEqualAdditionsOneByOne) {
    // Positions at and near the edges of binades, steps of whole, half (a tie that rounds to
    // even) and odd numbers of the spacing, up and down, and chunks that turn.
    const double spacing256 = std::ldexp(1.0, -44);  // of doubles in [256, 512)
    struct Case {
        double position, step, base;
        std::int32_t ringLength;
    };
    const Case cases[] = {{220.5, 0.001, 220.5, 442},
                          {255.99, 0.001, 220.5, 442},
                          {256.0, -0.001, 220.5, 442},
                          {256.05, -0.001, 220.5, 442},
                          {300.0, 0.5 * spacing256, 220.5, 442},
                          {300.0 + spacing256, 0.5 * spacing256, 220.5, 442},
                          {300.0, 1.5 * spacing256, 220.5, 442},
                          {300.0, -2.5 * spacing256, 220.5, 442},
                          {442.9, 0.04, 220.5, 442},
                          {220.6, -0.04, 220.5, 442},
                          {511.99, 0.002, 1.0, 1000},
                          {1.0, 0.0001, 0.5, 4},
                          {3.0, 2.9, 0.0, 100},
                          {1e6, 3.0, 0.0, 2000000}};
    for (const Case& c : cases) {
        for (std::uint32_t frames : {1u, 2u, 7u, kChunkFrames}) {
            double position = c.position, step = c.step;
            auto chunk = std::make_unique<SweepChunk>();
            LinearStretch stretch;
            double expected = c.position, expectedStep = c.step;
            // Chunks in a row, the later ones going on along the first one's linear stretch.
            for (std::uint32_t start = 0; start < 4 * frames; start += frames) {
                StepTriangleSweep(position, step, c.base, c.ringLength, stretch, *chunk, frames);
                WriteLinearPositions(*chunk, frames);
                for (std::uint32_t i = 0; i < frames; ++i) {
                    ASSERT_EQ(std::memcmp(&chunk->Position[i], &expected, sizeof expected), 0)
                        << c.position << " + " << c.step << " frame " << start + i;
                    expected = expected + expectedStep;
                    if (expected > c.ringLength + 1.0 || expected <= c.base) {
                        expectedStep = -expectedStep;
                        expected = expected + expectedStep;
                    }
                }
                EXPECT_EQ(position, expected) << c.position << " + " << c.step;
                EXPECT_EQ(step, expectedStep);
            }
        }
    }
}

// How many frames before the current one ring position `position` was written, with the write
// position at `writeIndex`; the spare element (never written) counts as written long ago.
std::int32_t FramesSinceWritten(std::int32_t position, std::int32_t writeIndex,
                                std::int32_t ringLength) {
    if (position == ringLength) return std::numeric_limits<std::int32_t>::max();
    const std::int32_t since = ((writeIndex - position) % ringLength + ringLength) % ringLength;
    return since == 0 ? ringLength : since;
}

TEST(EngineKernels, VectorGroupsNeverReadASampleTheirOwnGroupWrites) {
    // Every floor value of every short ring and every write position: where the rule lets a
    // vector kernel read a group ahead, both taps must be at least a group old. It must also
    // let the kernels run wherever a ring of kGroupFrames + 2 or more has no short delay.
    for (std::int32_t ring = 1; ring <= 3 * kGroupFrames; ++ring) {
        for (std::int32_t d = 0; d <= ring + 1; ++d) {
            std::int32_t shortest = std::numeric_limits<std::int32_t>::max();
            for (std::int32_t w = 0; w < ring; ++w) {
                auto chunk = std::make_unique<SweepChunk>();
                chunk->Position[0] = d + 0.5;
                ComputeTap(*chunk, 0, w, ring, InsideEnd(ring));
                shortest = std::min({shortest, FramesSinceWritten(chunk->Near[0], w, ring),
                                     FramesSinceWritten(chunk->Far[0], w, ring)});
            }
            const bool fits = TapReadsAGroupAhead(d, ring);
            if (fits) {
                EXPECT_GE(shortest, kGroupFrames) << "d " << d << " ring " << ring;
            } else if (ring >= kGroupFrames + 2) {
                EXPECT_LT(shortest, kGroupFrames)
                    << "d " << d << " ring " << ring << ": the vector kernels could run here";
            }
        }
    }
}

// Parameters outside what the settings window offers, written by the test as double values.
struct RawParameters {
    const char* name;
    std::uint32_t sampleRate;
    std::uint16_t channels;
    ReferenceParameters parameters;
};

std::vector<RawParameters> SteadyShortDelays() {
    // Speed 0 holds the sweep at SweepBase = 220.5 at 44.1 kHz with a 5 ms delay; a tiny width
    // puts the end of the ring just above it, so every frame reads a sample written one, two or
    // three frames before (inside a vector group), with feedback making the frames depend on
    // each other.
    std::vector<RawParameters> cases;
    for (double width : {0.01, 0.03, 0.05, 0.1, 0.2}) {
        for (bool sine : {false, true}) {
            ReferenceParameters p;
            p.delayMs = 5.0;
            p.widthMs = width;
            p.speedHz = 0.0;
            p.sineMode = sine;
            p.feedbackOn = true;
            p.feedbackGain = 0.7;
            p.depthGain = 0.8;
            cases.push_back({"steady", 44100, 2, p});
        }
    }
    // The shortest rings: a few frames long at a low sample rate.
    for (std::uint32_t rate : {100u, 700u, 1500u, 2000u}) {
        ReferenceParameters p;
        p.delayMs = 1.0;
        p.widthMs = 5.0;
        p.speedHz = 2.0;
        p.feedbackGain = 0.9;
        cases.push_back({"short_ring", rate, 3, p});
    }
    return cases;
}

void ProcessInIrregularBuffers(FlangerEngine& engine, Channels& audio) {
    InBuffersOf(
        {1, 255, 256, 257, 0, 3, 512, 4096, 31}, audio.empty() ? 0 : audio[0].size(),
        [&](std::size_t offset, std::uint32_t size) { ProcessSpan(engine, audio, offset, size); });
}

TEST(EngineKernels, DelaysShorterThanAVectorGroupMatchTheModel) {
    for (const RawParameters& c : SteadyShortDelays()) {
        auto input = WhiteNoise(c.channels, 30000, c.sampleRate);
        auto expected = input;
        ReferenceFlanger model(c.parameters, c.sampleRate, c.channels);
        std::vector<float*> pointers;
        for (auto& channel : expected) pointers.push_back(channel.data());
        model.Process(pointers, 30000);

        for (InstructionSet set : AllInstructionSets()) {
            auto engine = OpenEngine(c.parameters, c.sampleRate, c.channels);
            if (!engine->UseInstructionSet(set)) continue;
            auto processed = input;
            ProcessInIrregularBuffers(*engine, processed);
            std::ostringstream what;
            what << c.name << " " << c.sampleRate << " Hz width " << c.parameters.widthMs << " "
                 << (c.parameters.sineMode ? "sine" : "triangle") << " ring "
                 << engine->RingLengthFrames() << " " << InstructionSetName(set);
            ExpectSameBits(processed, expected, what.str());
            for (std::uint16_t j = 0; j < c.channels; ++j) {
                EXPECT_EQ(std::memcmp(engine->DelayLine(j), model.Line(j).data(),
                                      model.Line(j).size() * sizeof(float)),
                          0)
                    << what.str() << " line " << j;
            }
        }
    }
}

std::vector<RawParameters> HostileParameters() {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    auto with = [](std::function<void(ReferenceParameters&)> change) {
        ReferenceParameters p;
        change(p);
        return p;
    };
    return {
        {"nan_speed_triangle", 44100, 2, with([nan](auto& p) { p.speedHz = nan; })},
        {"nan_speed_sine", 44100, 2, with([nan](auto& p) {
             p.speedHz = nan;
             p.sineMode = true;
         })},
        {"huge_speed_triangle", 44100, 2, with([](auto& p) { p.speedHz = 1e6; })},
        {"huge_speed_sine", 48000, 2, with([](auto& p) {
             p.speedHz = 30000.0;
             p.sineMode = true;
         })},
        {"negative_speed", 44100, 1, with([](auto& p) { p.speedHz = -0.5; })},
        {"feedback_growing_to_infinity", 44100, 2, with([](auto& p) { p.feedbackGain = 1e30; })},
        {"nan_gains", 44100, 2, with([nan](auto& p) {
             p.feedbackGain = nan;
             p.depthGain = nan;
         })},
        {"infinite_depth", 8000, 2, with([inf](auto& p) { p.depthGain = -inf; })},
        {"zero_width", 44100, 2, with([](auto& p) { p.widthMs = 0.0; })},
        {"zero_delay_and_width", 44100, 2, with([](auto& p) {
             p.widthMs = 0.0;
             p.delayMs = 0.0;
         })},
        {"eight_channels_long_line", 96000, 8, with([](auto& p) {
             p.delayMs = 300.0;
             p.widthMs = 200.0;
             p.speedHz = 3.0;
         })},
    };
}

TEST(EngineKernels, VectorKernelsAgreeWithThePortableOneOnHostileParameters) {
    const auto sets = VectorSetsOfThisProcessor();
    if (sets.empty()) GTEST_SKIP() << "no vector instruction set in this build or processor";
    for (const RawParameters& c : HostileParameters()) {
        auto input = WhiteNoise(c.channels, 40000, 7);
        // Silence, denormals and signalling NaNs among the noise.
        for (auto& channel : input) {
            channel[5] = 0.0f;
            channel[6] = -0.0f;
            channel[7] = std::numeric_limits<float>::denorm_min();
            channel[8] = std::numeric_limits<float>::signaling_NaN();
            channel[9] = std::numeric_limits<float>::infinity();
        }
        auto portable = OpenEngine(c.parameters, c.sampleRate, c.channels);
        ASSERT_TRUE(portable->UseInstructionSet(InstructionSet::Portable));
        auto expected = input;
        ProcessInIrregularBuffers(*portable, expected);

        for (InstructionSet set : sets) {
            auto engine = OpenEngine(c.parameters, c.sampleRate, c.channels);
            ASSERT_TRUE(engine->UseInstructionSet(set));
            auto processed = input;
            ProcessInIrregularBuffers(*engine, processed);
            const std::string what = std::string(c.name) + " " + InstructionSetName(set);
            ExpectSameBits(processed, expected, what);
            const double a = engine->SweepPosition(), b = portable->SweepPosition();
            EXPECT_TRUE(std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b)))
                << what << ": " << a << " vs " << b;
            for (std::uint16_t j = 0; j < c.channels; ++j) {
                const float* line = engine->DelayLine(j);
                const float* expectedLine = portable->DelayLine(j);
                for (std::int32_t k = 0; k < engine->LineLengthFrames(); ++k) {
                    ASSERT_TRUE(SameValue(line[k], expectedLine[k]))
                        << what << " line " << j << " element " << k;
                }
            }
        }
    }
}

TEST(EngineKernels, AnEngineRefusesASetItCannotRunAndKeepsItsOwn) {
    FlangerEngine engine;
    EXPECT_EQ(engine.ActiveInstructionSet(), BestInstructionSet());
    EXPECT_TRUE(engine.UseInstructionSet(InstructionSet::Portable));
    EXPECT_EQ(engine.ActiveInstructionSet(), InstructionSet::Portable);
    for (InstructionSet set : {InstructionSet::Sse2, InstructionSet::Avx2}) {
        const bool available = KernelsFor(set) != nullptr;
        EXPECT_EQ(engine.UseInstructionSet(set), available);
        if (!available) {
            EXPECT_NE(engine.ActiveInstructionSet(), set);
        }
    }
}

}  // namespace
}  // namespace flanger::testing
