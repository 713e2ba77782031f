// The read-ahead source and the write-behind sink pass on exactly what their inner source and
// sink would have: every block's frame count and samples in order, short and empty blocks, the
// end, and failures with their reasons; and they let go cleanly when abandoned midway.
#include "audio/pipelined_io.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace flanger::tool {
namespace {

// A source that delivers the listed frame counts, then 0; sample (j, i) of block b is a value
// unique to (b, j, i). `failAfter` blocks in, it reports a failure instead of the next block.
class ScriptedSource final : public AudioSource {
public:
    ScriptedSource(std::vector<std::uint32_t> counts, std::size_t failAfter = SIZE_MAX)
        : Counts(std::move(counts)), FailAfter(failAfter) {}

    std::uint32_t Read(std::span<float* const> channels, std::uint32_t frames) noexcept override {
        ++Calls;
        if (Block == FailAfter) {
            Error = "disk gone";
            return 0;
        }
        if (Block >= Counts.size()) return 0;
        const std::uint32_t count = std::min(Counts[Block], frames);
        for (std::size_t j = 0; j < channels.size(); ++j) {
            for (std::uint32_t i = 0; i < count; ++i) channels[j][i] = Sample(Block, j, i);
        }
        ++Block;
        return count;
    }
    std::string Failure() const override { return Error; }

    static float Sample(std::size_t block, std::size_t channel, std::uint32_t frame) {
        return static_cast<float>(block * 100000 + channel * 10000 + frame);
    }

    std::atomic<int> Calls{0};

private:
    std::vector<std::uint32_t> Counts;
    std::size_t FailAfter;
    std::size_t Block = 0;
    std::string Error;
};

struct SourceCase {
    const char* name;
    std::vector<std::uint32_t> counts;
    std::size_t failAfter;
};

TEST(ReadAheadSource, DeliversTheInnerSourcesBlocksInOrderThenItsEndOrFailure) {
    constexpr std::uint32_t kBlock = 64;
    const SourceCase cases[] = {
        {"empty", {}, SIZE_MAX},
        {"one_block", {kBlock}, SIZE_MAX},
        {"short_last_block", {kBlock, kBlock, 17}, SIZE_MAX},
        {"more_blocks_than_in_flight", std::vector<std::uint32_t>(3 * kBlocksInFlight + 1, kBlock),
         SIZE_MAX},
        {"short_blocks_in_between", {kBlock, 1, kBlock, 63, kBlock}, SIZE_MAX},
        {"failure_after_two", {kBlock, kBlock, kBlock}, 2},
        {"failure_at_once", {kBlock}, 0},
    };
    for (const SourceCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSource inner(c.counts, c.failAfter);
        ReadAheadSource source(inner, 2, kBlock);
        std::vector<float> left(kBlock), right(kBlock);
        float* const pointers[] = {left.data(), right.data()};

        std::vector<std::uint32_t> delivered;
        for (std::size_t block = 0;; ++block) {
            std::fill(left.begin(), left.end(), -1.0f);
            const std::uint32_t frames = source.Read(pointers, kBlock);
            if (frames == 0) break;
            delivered.push_back(frames);
            for (std::uint32_t i = 0; i < frames; ++i) {
                ASSERT_EQ(left[i], ScriptedSource::Sample(block, 0, i)) << "block " << block;
                ASSERT_EQ(right[i], ScriptedSource::Sample(block, 1, i)) << "block " << block;
            }
        }
        const std::size_t expectedBlocks = std::min(c.counts.size(), c.failAfter);
        const std::vector<std::uint32_t> expected(c.counts.begin(),
                                                  c.counts.begin() + expectedBlocks);
        EXPECT_EQ(delivered, expected);
        EXPECT_EQ(source.Failure(), c.failAfter <= c.counts.size() ? "disk gone" : "");
        // After the end the source keeps answering 0 without asking the inner one again.
        const int calls = inner.Calls;
        EXPECT_EQ(source.Read(pointers, kBlock), 0u);
        EXPECT_EQ(inner.Calls, calls);
    }
}

TEST(ReadAheadSource, AbandonedMidwayStopsItsThread) {
    ScriptedSource inner(std::vector<std::uint32_t>(1000, 32));
    {
        ReadAheadSource source(inner, 1, 32);
        std::vector<float> samples(32);
        float* const pointers[] = {samples.data()};
        EXPECT_EQ(source.Read(pointers, 32), 32u);
    }
    // The thread read at most the blocks in flight ahead of the one taken, then stopped.
    EXPECT_LE(inner.Calls, static_cast<int>(kBlocksInFlight) + 1);
}

// A sink that records every block; `failAt` blocks in, it refuses with a reason.
class RecordingSink final : public AudioSink {
public:
    explicit RecordingSink(std::size_t failAt = SIZE_MAX) : FailAt(failAt) {}
    bool Write(std::span<const float* const> channels, std::uint32_t frames,
               std::string& error) override {
        if (Blocks.size() == FailAt) {
            error = "disk full";
            return false;
        }
        std::vector<std::vector<float>> block;
        for (const float* channel : channels) block.emplace_back(channel, channel + frames);
        Blocks.push_back(std::move(block));
        return true;
    }
    std::vector<std::vector<std::vector<float>>> Blocks;

private:
    std::size_t FailAt;
};

TEST(WriteBehindSink, WritesEveryBlockInOrderAndReportsTheFirstFailure) {
    struct Case {
        const char* name;
        std::vector<std::uint32_t> counts;
        std::size_t failAt;
    };
    const Case cases[] = {
        {"nothing", {}, SIZE_MAX},
        {"blocks_of_every_size", {64, 1, 0, 63, 64, 64, 64, 64, 64, 64, 5}, SIZE_MAX},
        {"failure_on_the_third", {64, 64, 64, 64, 64, 64, 64, 64, 64}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSink inner(c.failAt);
        std::vector<std::vector<std::vector<float>>> expected;
        bool refused = false;
        std::string error;
        {
            WriteBehindSink sink(inner, 2, 64);
            for (std::size_t b = 0; b < c.counts.size(); ++b) {
                std::vector<std::vector<float>> block(2, std::vector<float>(c.counts[b]));
                for (std::size_t j = 0; j < 2; ++j) {
                    for (std::uint32_t i = 0; i < c.counts[b]; ++i) {
                        block[j][i] = ScriptedSource::Sample(b, j, i);
                    }
                }
                const float* const pointers[] = {block[0].data(), block[1].data()};
                if (!sink.Write(pointers, c.counts[b], error)) {
                    refused = true;
                    break;
                }
                expected.push_back(std::move(block));
            }
            if (!refused) refused = !sink.Finish(error);
        }
        if (c.failAt < c.counts.size()) {
            EXPECT_TRUE(refused);
            EXPECT_EQ(error, "disk full");
            ASSERT_EQ(inner.Blocks.size(), c.failAt);
            expected.resize(c.failAt);
        } else {
            EXPECT_FALSE(refused) << error;
        }
        EXPECT_EQ(inner.Blocks, expected);
    }
}

TEST(WriteBehindSink, RefusesABlockLargerThanItsBuffers) {
    RecordingSink inner;
    WriteBehindSink sink(inner, 1, 16);
    std::vector<float> samples(17);
    const float* const pointers[] = {samples.data()};
    std::string error;
    EXPECT_FALSE(sink.Write(pointers, 17, error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(sink.Finish(error));
    EXPECT_TRUE(inner.Blocks.empty());
}

}  // namespace
}  // namespace flanger::tool
