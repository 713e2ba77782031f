// Streaming through the loaded module: the call-back protocol of ProcessStream, the processed
// audio against an engine built in the test from the same record values, the moment at which
// record edits reach the sound, and the documented answers to a host's streaming mistakes.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
// <windows.h> first.
#include <psapi.h>
#else
#include <malloc.h>
#endif

#include <bit>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "host_stream.h"
#include "plugin_fixture.h"

namespace host {
namespace {

// True when some sample of the block left the module changed.
bool Changed(const Block& block) {
    for (std::size_t j = 0; j < block.Samples.size(); ++j) {
        for (std::size_t i = 0; i < block.Samples[j].size(); ++i) {
            if (std::bit_cast<std::uint32_t>(block.Samples[j][i]) !=
                std::bit_cast<std::uint32_t>(block.Input[j][i])) {
                return true;
            }
        }
    }
    return false;
}

bool AllFinite(const Channels& channels) {
    for (const auto& channel : channels) {
        for (float sample : channel) {
            if (!std::isfinite(sample)) return false;
        }
    }
    return true;
}

struct StreamCase {
    const char* name;
    Parameters parameters;
    std::uint32_t sampleRate;
    std::uint16_t channels;
    std::vector<std::uint32_t> results;
    std::uint32_t noChannelsEvery;
    int blocks;
};

const StreamCase kStreamCases[] = {
    {"Defaults", kDefaultParameters, 44100, 2, {1, 0}, 0, 40},
    // Fast sweeps cross the ring's turning points many times within the run.
    {"SineFastFeedback", {100, 10, 100, 1, 70, 200}, 48000, 2, {0, 0xFFFFFFFFu, 7}, 7, 60},
    {"TriangleFastNoFeedback", {60, 100, 100, 0, -50, 200}, 11025, 1, {0x80000000u}, 0, 60},
    {"UnityFeedbackThreeChannels", {100, 10, 10, 0, 100, 150}, 22050, 3, {1}, 5, 40},
    {"ZeroFeedbackAndSineFlagFive", {10, 50, 10, 5, 0, 10}, 96000, 1, {1}, 0, 30},
    {"NoDelayNoWidth", {100, 0, 0, 0, 50, 10}, 44100, 2, {1}, 0, 20},
};

// Test names and failure messages show the case's name rather than its bytes.
void PrintTo(const StreamCase& c, std::ostream* out) { *out << c.name; }

class StreamTest : public PluginTest, public ::testing::WithParamInterface<StreamCase> {};

// Every block, whatever the call-back returns (0 included) and whatever frame count or channel
// array it leaves, is processed exactly as the engine processes it.
TEST_P(StreamTest, ProcessesEveryBlockLikeTheEngine) {
    const StreamCase& c = GetParam();
    EffectSettings* record = NewRecord(c.parameters);
    ASSERT_NE(record, nullptr);
    HostSource source(
        {.Channels = c.channels, .Results = c.results, .NoChannelsEvery = c.noChannelsEvery});
    HostBuffer buffer;

    ASSERT_EQ(plugin->SetStreamCallBack(&HostSource::CallBack, source.Context(), record), 1);
    EXPECT_EQ(record->CallBack, &HostSource::CallBack);
    EXPECT_EQ(record->CallBackContext, source.Context());
    const StreamFormat format = {1, c.channels, c.sampleRate};
    ASSERT_EQ(plugin->OpenStream(record, &format), 0);
    EXPECT_NE(record->Engine, nullptr);
    EXPECT_EQ(ParametersOf(*record), c.parameters);

    auto reference = OpenReference(c.parameters, c.sampleRate, c.channels);
    bool audible = false;
    for (int b = 0; b < c.blocks; ++b) {
        const Block& block = ProcessOneBlock(*plugin, record, source, buffer);
        ASSERT_TRUE(SameSamples(block.Samples, ProcessWithEngine(*reference, block)))
            << "block " << b << " of " << block.FrameCount << " frames";
        audible = audible || Changed(block);
    }
    // Guards against a module and an engine that both let everything through.
    EXPECT_TRUE(audible);

    EXPECT_EQ(plugin->CloseStream(record), 1);
    EXPECT_EQ(record->Engine, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Streams, StreamTest, ::testing::ValuesIn(kStreamCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Known values of the whole chain (record scaling, delay, interpolation, depth) for a unit
// impulse into a silent mono stream, independent of the engine built in the test.
struct ImpulseCase {
    const char* name;
    Parameters parameters;
    std::uint32_t frames;
    std::vector<std::pair<std::uint32_t, float>> expected;  // frame, value
    float tolerance;
    // Every frame below this one that is not listed is exactly 0.
    std::uint32_t silentUntil;
};

const ImpulseCase kImpulseCases[] = {
    // 44.1 kHz: ring length 442, the tap at 220.5 frames ahead of the write position moving by
    // 0.001 per frame; depth 0.9 splits the impulse over frames 221 and 222.
    {"Defaults", kDefaultParameters, 442, {{0, 1.0f}, {221, 0.6489f}, {222, 0.2502f}}, 5e-5f, 442},
    // No sweep, no feedback, depth 1: a delay of exactly 221.5 frames.
    {"FixedHalfFrameDelay",
     {100, 50, 50, 0, -10, 0},
     3000,
     {{0, 1.0f}, {221, 0.5f}, {222, 0.5f}},
     0.0f,
     3000},
};

struct ImpulseSource {
    std::vector<float> samples;
    float* pointer = nullptr;

    static std::uint32_t CallBack(std::uintptr_t context, StreamBuffer* buffer) {
        auto* self = reinterpret_cast<ImpulseSource*>(context);
        self->pointer = self->samples.data();
        buffer->ChannelsBegin = &self->pointer;
        buffer->ChannelsEnd = buffer->ChannelsCapacityEnd = &self->pointer + 1;
        buffer->FrameCount = static_cast<std::uint32_t>(self->samples.size());
        return 1;
    }
};

TEST_F(PluginTest, ImpulseResponsesHaveTheirKnownValues) {
    for (const ImpulseCase& c : kImpulseCases) {
        SCOPED_TRACE(c.name);
        EffectSettings* record = NewRecord(c.parameters);
        ASSERT_NE(record, nullptr);
        ImpulseSource source;
        source.samples.assign(c.frames, 0.0f);
        source.samples[0] = 1.0f;
        ASSERT_EQ(plugin->SetStreamCallBack(&ImpulseSource::CallBack,
                                            reinterpret_cast<std::uintptr_t>(&source), record),
                  1);
        const StreamFormat format = {1, 1, 44100};
        ASSERT_EQ(plugin->OpenStream(record, &format), 0);
        StreamBuffer buffer{};
        ASSERT_EQ(plugin->ProcessStream(&buffer, record), 1u);

        std::vector<bool> listed(c.frames, false);
        for (const auto& [frame, value] : c.expected) {
            listed[frame] = true;
            EXPECT_NEAR(source.samples[frame], value, c.tolerance) << "frame " << frame;
        }
        for (std::uint32_t i = 0; i < c.silentUntil; ++i) {
            if (!listed[i]) {
                ASSERT_EQ(source.samples[i], 0.0f) << "frame " << i;
            }
        }
    }
}

// Host mistakes and streams the engine cannot run: the call-back is still called and its result
// returned; channels up to `processed` sound as the engine with `equivalent` values makes them,
// the others come back bit-identical.
struct MistakeCase {
    const char* name;
    Parameters parameters;
    Parameters equivalent;
    std::uint32_t sampleRate;
    std::uint16_t formatChannels;
    std::uint32_t bufferChannels;
    bool open;
    std::uint32_t processed;
};

constexpr Parameters kLongDelay = {90, 2000000000, 50, 0, 10, 10};
constexpr Parameters kLongWidth = {90, 50, 2000000000, 1, 10, 10};
constexpr Parameters kMonoSine = {100, 20, 80, 1, 50, 150};
constexpr Parameters kHugeNegative = {100, -2000000000, -2000000000, 0, 50, 200};
constexpr Parameters kHugeNegativeAsZero = {100, 0, 0, 0, 50, 200};
constexpr Parameters kNegativeSine = {100, -2000000000, 30, 1, 90, 200};
constexpr Parameters kNegativeSineAsZero = {100, 0, 30, 1, 90, 200};

const MistakeCase kMistakeCases[] = {
    {"NoStreamOpen", kDefaultParameters, kDefaultParameters, 44100, 2, 2, false, 0},
    {"DelayTooLong", kLongDelay, kLongDelay, 44100, 2, 2, true, 0},
    {"WidthTooLong", kLongWidth, kLongWidth, 44100, 2, 2, true, 0},
    {"SampleRateZero", kDefaultParameters, kDefaultParameters, 0, 2, 2, true, 2},
    {"SampleRateZeroSine", kMonoSine, kMonoSine, 0, 2, 2, true, 0},
    {"FormatWithoutChannels", kDefaultParameters, kDefaultParameters, 44100, 0, 2, true, 0},
    {"MoreChannelsThanFormat", kDefaultParameters, kDefaultParameters, 44100, 2, 4, true, 2},
    {"MonoFormatThreeChannelBuffer", kMonoSine, kMonoSine, 48000, 1, 3, true, 1},
    // Negative delay and width are taken as 0 rather than reading before the delay line.
    {"NegativeDelay", {90, -50, 50, 0, 10, 100}, {90, 0, 50, 0, 10, 100}, 44100, 2, 2, true, 2},
    {"NegativeWidth", {90, 50, -50, 1, 10, 100}, {90, 50, 0, 1, 10, 100}, 44100, 2, 2, true, 2},
    {"HugeNegativeDelayAndWidth", kHugeNegative, kHugeNegativeAsZero, 44100, 1, 1, true, 1},
    {"HugeNegativeDelaySine", kNegativeSine, kNegativeSineAsZero, 8000, 2, 2, true, 2},
};

void PrintTo(const MistakeCase& c, std::ostream* out) { *out << c.name; }

class HostMistakeTest : public PluginTest, public ::testing::WithParamInterface<MistakeCase> {};

TEST_P(HostMistakeTest, CallsBackAndProcessesOnlyWhatItCan) {
    const MistakeCase& c = GetParam();
    EffectSettings* record = NewRecord(c.parameters);
    ASSERT_NE(record, nullptr);
    HostSource source({.Channels = c.bufferChannels, .Results = {3, 0, 0xFFFFFFFFu}});
    HostBuffer buffer;
    ASSERT_EQ(plugin->SetStreamCallBack(&HostSource::CallBack, source.Context(), record), 1);
    const StreamFormat format = {1, c.formatChannels, c.sampleRate};
    if (c.open) {
        ASSERT_EQ(plugin->OpenStream(record, &format), 0);
    }

    auto reference = OpenReference(c.equivalent, c.sampleRate, c.formatChannels);
    bool audible = false;
    for (int b = 0; b < 30; ++b) {
        const Block& block = ProcessOneBlock(*plugin, record, source, buffer);
        const Channels expected = ProcessWithEngine(*reference, block);
        ASSERT_TRUE(SameSamples(block.Samples, expected, c.processed)) << "block " << b;
        for (std::size_t j = c.processed; j < block.Samples.size(); ++j) {
            ASSERT_TRUE(SameSamples({block.Samples[j]}, {block.Input[j]}))
                << "block " << b << ", channel " << j << " beyond the processed ones";
        }
        ASSERT_TRUE(AllFinite(block.Samples)) << "block " << b;
        audible = audible || Changed(block);
    }
    EXPECT_EQ(audible, c.processed > 0);
}

INSTANTIATE_TEST_SUITE_P(Streams, HostMistakeTest, ::testing::ValuesIn(kMistakeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The engine takes the record's values at OpenStream only.
enum class Reopen { None, CloseThenOpen, OpenAgain };

struct EditCase {
    const char* name;
    Reopen reopen;
    bool soundsEdited;
};

const EditCase kEditCases[] = {
    {"EditWhileOpen", Reopen::None, false},
    {"EditBetweenCloseAndOpen", Reopen::CloseThenOpen, true},
    // A host that opens again without closing gets a fresh stream, not the old engine's state.
    {"EditThenOpenWithoutClose", Reopen::OpenAgain, true},
};

TEST_F(PluginTest, RecordEditsReachTheSoundAtTheNextOpenStream) {
    constexpr Parameters kBefore = {90, 50, 50, 0, 10, 10};
    constexpr Parameters kAfter = {40, 20, 90, 1, -1, 180};
    const StreamFormat format = {1, 2, 44100};
    for (const EditCase& c : kEditCases) {
        SCOPED_TRACE(c.name);
        EffectSettings* record = NewRecord(kBefore);
        ASSERT_NE(record, nullptr);
        HostSource source({.Channels = 2});
        HostBuffer buffer;
        ASSERT_EQ(plugin->SetStreamCallBack(&HostSource::CallBack, source.Context(), record), 1);
        ASSERT_EQ(plugin->OpenStream(record, &format), 0);
        auto before = OpenReference(kBefore, format.SampleRate, format.Channels);
        for (int b = 0; b < 8; ++b) {
            const Block& block = ProcessOneBlock(*plugin, record, source, buffer);
            ASSERT_TRUE(SameSamples(block.Samples, ProcessWithEngine(*before, block)));
        }

        SetParameters(*record, kAfter);
        if (c.reopen == Reopen::CloseThenOpen) {
            ASSERT_EQ(plugin->CloseStream(record), 1);
        }
        if (c.reopen != Reopen::None) {
            ASSERT_EQ(plugin->OpenStream(record, &format), 0);
        }
        EXPECT_EQ(ParametersOf(*record), kAfter);

        auto after = OpenReference(kAfter, format.SampleRate, format.Channels);
        bool distinguishable = false;
        for (int b = 0; b < 8; ++b) {
            const Block& block = ProcessOneBlock(*plugin, record, source, buffer);
            const Channels old = ProcessWithEngine(*before, block);
            const Channels edited = ProcessWithEngine(*after, block);
            ASSERT_TRUE(SameSamples(block.Samples, c.soundsEdited ? edited : old)) << "block " << b;
            distinguishable = distinguishable || !SameSamples(old, edited);
        }
        EXPECT_TRUE(distinguishable) << "the two settings sound alike; the case proves nothing";
    }
}

// Without a call-back there is no source: nothing is called or processed, and the stream's
// state does not move, so later blocks continue as if the call had not happened.
TEST_F(PluginTest, ProcessStreamWithoutCallBackReturnsZeroAndLeavesTheStreamAlone) {
    EffectSettings* record = NewRecord(kDefaultParameters);
    ASSERT_NE(record, nullptr);
    HostSource source({.Channels = 2});
    HostBuffer buffer;
    const StreamFormat format = {1, 2, 44100};
    ASSERT_EQ(plugin->OpenStream(record, &format), 0);
    auto reference = OpenReference(kDefaultParameters, format.SampleRate, format.Channels);

    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(plugin->SetStreamCallBack(nullptr, 0, record), 1);
        for (int b = 0; b < 3; ++b) {
            StreamBuffer& hostBuffer = buffer.Reset();
            EXPECT_EQ(plugin->ProcessStream(&hostBuffer, record), 0u);
            EXPECT_EQ(hostBuffer.CallBackResult, 0u);
            EXPECT_EQ(hostBuffer.FrameCount, HostBuffer::kStaleFrames);
            EXPECT_TRUE(buffer.StaleArraysIntact());
        }
        EXPECT_EQ(source.Calls(), round * 4);

        ASSERT_EQ(plugin->SetStreamCallBack(&HostSource::CallBack, source.Context(), record), 1);
        for (int b = 0; b < 4; ++b) {
            const Block& block = ProcessOneBlock(*plugin, record, source, buffer);
            ASSERT_TRUE(SameSamples(block.Samples, ProcessWithEngine(*reference, block)));
        }
    }
}

// CloseStream ends processing; twice is harmless; the next OpenStream starts from silence.
TEST_F(PluginTest, CloseStreamTwiceThenOpenStartsAfresh) {
    constexpr Parameters kValues = {80, 30, 70, 1, 60, 120};
    EffectSettings* record = NewRecord(kValues);
    ASSERT_NE(record, nullptr);
    HostSource source({.Channels = 2, .Results = {9}});
    HostBuffer buffer;
    const StreamFormat format = {1, 2, 32000};
    ASSERT_EQ(plugin->SetStreamCallBack(&HostSource::CallBack, source.Context(), record), 1);

    for (int stream = 0; stream < 2; ++stream) {
        ASSERT_EQ(plugin->OpenStream(record, &format), 0);
        auto reference = OpenReference(kValues, format.SampleRate, format.Channels);
        for (int b = 0; b < 12; ++b) {
            const Block& block = ProcessOneBlock(*plugin, record, source, buffer);
            ASSERT_TRUE(SameSamples(block.Samples, ProcessWithEngine(*reference, block)))
                << "stream " << stream << ", block " << b;
        }
        EXPECT_EQ(plugin->CloseStream(record), 1);
        EXPECT_EQ(record->Engine, nullptr);
        EXPECT_EQ(plugin->CloseStream(record), 1);
        EXPECT_EQ(record->Engine, nullptr);
        EXPECT_EQ(ParametersOf(*record), kValues);

        for (int b = 0; b < 3; ++b) {
            const Block& block = ProcessOneBlock(*plugin, record, source, buffer);
            ASSERT_TRUE(SameSamples(block.Samples, block.Input)) << "closed stream, block " << b;
        }
    }
}

// The call-back and its context can be replaced between buffers; each buffer goes to the one
// set last, and the engine's state carries over.
TEST_F(PluginTest, SetStreamCallBackSwitchesSourcesBetweenBuffers) {
    EffectSettings* record = NewRecord(kDefaultParameters);
    ASSERT_NE(record, nullptr);
    HostSource first({.Channels = 2, .Results = {11}});
    HostSource second({.Channels = 2, .Results = {22}});
    HostBuffer buffer;
    const StreamFormat format = {1, 2, 44100};
    ASSERT_EQ(plugin->OpenStream(record, &format), 0);
    auto reference = OpenReference(kDefaultParameters, format.SampleRate, format.Channels);
    for (int b = 0; b < 10; ++b) {
        HostSource& source = b % 3 == 0 ? second : first;
        ASSERT_EQ(plugin->SetStreamCallBack(&HostSource::CallBack, source.Context(), record), 1);
        const Block& block = ProcessOneBlock(*plugin, record, source, buffer);
        ASSERT_TRUE(SameSamples(block.Samples, ProcessWithEngine(*reference, block)));
    }
    EXPECT_EQ(second.Calls(), 4);
    EXPECT_EQ(first.Calls(), 6);
}

// A stream keeps processing while copies of its record are made, streamed and given back: a
// copy shares nothing with its source.
TEST_F(PluginTest, CopiesLeaveTheSourceStreamAlone) {
    constexpr Parameters kValues = {70, 40, 60, 0, 30, 90};
    EffectSettings* record = NewRecord(kValues);
    ASSERT_NE(record, nullptr);
    HostSource source({.Channels = 2});
    HostBuffer buffer;
    const StreamFormat format = {1, 2, 44100};
    ASSERT_EQ(plugin->SetStreamCallBack(&HostSource::CallBack, source.Context(), record), 1);
    ASSERT_EQ(plugin->OpenStream(record, &format), 0);
    auto reference = OpenReference(kValues, format.SampleRate, format.Channels);
    void* const engine = record->Engine;

    for (int round = 0; round < 3; ++round) {
        for (int b = 0; b < 4; ++b) {
            const Block& block = ProcessOneBlock(*plugin, record, source, buffer);
            ASSERT_TRUE(SameSamples(block.Samples, ProcessWithEngine(*reference, block)));
        }
        EffectSettings* copy = nullptr;
        ASSERT_EQ(plugin->CopySettings(&copy, record), 1);
        ASSERT_NE(copy, nullptr);
        ASSERT_NE(copy, record);
        EXPECT_EQ(ParametersOf(*copy), kValues);
        EXPECT_EQ(copy->Engine, nullptr);
        EXPECT_EQ(copy->CallBack, nullptr);
        EXPECT_EQ(copy->CallBackContext, 0u);

        // The copy has no call-back of its own.
        StreamBuffer& stale = buffer.Reset();
        EXPECT_EQ(plugin->ProcessStream(&stale, copy), 0u);
        EXPECT_EQ(source.Calls(), round * 5 + 4);

        HostSource copySource({.Channels = 2});
        ASSERT_EQ(plugin->SetStreamCallBack(&HostSource::CallBack, copySource.Context(), copy), 1);
        ASSERT_EQ(plugin->OpenStream(copy, &format), 0);
        EXPECT_NE(copy->Engine, engine);
        ProcessOneBlock(*plugin, copy, copySource, buffer);
        // Round 0 closes the copy's stream before freeing it; the others free it open.
        if (round == 0) {
            EXPECT_EQ(plugin->CloseStream(copy), 1);
        }
        plugin->Free(copy);

        EXPECT_EQ(record->Engine, engine);
        EXPECT_EQ(record->CallBackContext, source.Context());
        const Block& block = ProcessOneBlock(*plugin, record, source, buffer);
        ASSERT_TRUE(SameSamples(block.Samples, ProcessWithEngine(*reference, block)));
    }
}

// Reopening without closing, and Free with the stream open, release the engine: heap use stays
// flat over many rounds of a large stream. (The sanitizer build's allocator is not the one
// mallinfo2 reports on; its leak checker catches the same faults at exit. Windows has no
// mallinfo2: there the process's private memory is measured.)
TEST_F(PluginTest, ReopeningAndFreeingOpenStreamsReleasesTheirEngines) {
    // 8 channels of 9602-frame lines: about 300 KiB per engine.
    constexpr Parameters kLongLines = {90, 1000, 1000, 0, 10, 10};
    const StreamFormat format = {1, 8, 48000};
    const auto inUse = []() -> std::size_t {
#ifdef _WIN32
        // The C runtime's heap is the process's: its committed private memory.
        PROCESS_MEMORY_COUNTERS_EX counters = {};
        counters.cb = sizeof counters;
        K32GetProcessMemoryInfo(GetCurrentProcess(),
                                reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                sizeof counters);
        return counters.PrivateUsage;
#else
        const struct mallinfo2 info = mallinfo2();
        return info.uordblks + info.hblkhd;
#endif
    };
    const auto round = [&] {
        EffectSettings* record = nullptr;
        ASSERT_EQ(plugin->Initialize(nullptr, nullptr, nullptr, &record), 1);
        ASSERT_NE(record, nullptr);
        SetParameters(*record, kLongLines);
        HostSource source({.Channels = 8, .BlockSizes = {64}});
        HostBuffer buffer;
        ASSERT_EQ(plugin->SetStreamCallBack(&HostSource::CallBack, source.Context(), record), 1);
        ASSERT_EQ(plugin->OpenStream(record, &format), 0);
        ProcessOneBlock(*plugin, record, source, buffer);
        ASSERT_EQ(plugin->OpenStream(record, &format), 0);
        ProcessOneBlock(*plugin, record, source, buffer);
        plugin->Free(record);
    };

    round();
    const std::size_t baseline = inUse();
    for (int i = 0; i < 100; ++i) {
        round();
        if (HasFatalFailure()) return;
    }
    // A leak of either engine would add about 30 MiB.
    EXPECT_LT(inUse(), baseline + (std::size_t{4} << 20));
}

}  // namespace
}  // namespace host
