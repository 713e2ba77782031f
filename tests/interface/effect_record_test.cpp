// The record as the module manages it: the defaults of a new record, and the engine that
// OpenStream builds from the record's six integers.
//
// The scaled values are written as hexadecimal literals, worked out from "the integer widened
// to double, times 0.1 or 0.01". Several rows pick integers for which that product differs in
// the last bit from a division by 10 or 100, which would change the engine's output.
#include "interface/effect_record.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ios>
#include <limits>
#include <sstream>

namespace flanger {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

::testing::AssertionResult SameDouble(const char* field, double actual, double expected) {
    if (std::bit_cast<std::uint64_t>(actual) == std::bit_cast<std::uint64_t>(expected)) {
        return ::testing::AssertionSuccess();
    }
    std::ostringstream out;
    out << std::hexfloat << field << " is " << actual << ", expected " << expected;
    return ::testing::AssertionFailure() << out.str();
}

struct ScalingCase {
    const char* name;
    std::int32_t depth, delay, width, sine, feedback, speed;
    double depthGain, delayMs, widthMs;
    bool sineMode, feedbackOn;
    double feedbackGain, speedHz;
};

const ScalingCase kScalingCases[] = {
    {"defaults", 90, 50, 50, 0, 10, 10, 0x1.ccccccccccccdp-1, 0x1.4p+2, 0x1.4p+2, false, true,
     0x1.999999999999ap-4, 0x1.999999999999ap-4},
    // 3 / 10, 7 / 10, 35 / 100, 41 / 100 and 57 / 100 all end one bit lower.
    {"products that differ from quotients", 35, 3, 7, 0, 41, 57, 0x1.6666666666667p-2,
     0x1.3333333333334p-2, 0x1.6666666666667p-1, false, true, 0x1.a3d70a3d70a3ep-2,
     0x1.23d70a3d70a3ep-1},
    // Any nonzero Sine selects the sine; a negative Feedback switches feedback off and leaves
    // the gain at the engine's 0.0 rather than a negative gain.
    {"Sine 5, Feedback -30", 57, 29, 33, 5, -30, 35, 0x1.23d70a3d70a3ep-1, 0x1.7333333333334p+1,
     0x1.a666666666667p+1, true, false, 0.0, 0x1.6666666666667p-2},
    {"Feedback 0 is on with gain 0", 0, -7, kMax, -1, 0, kMin, 0.0, -0x1.6666666666667p-1,
     0x1.9999999666667p+27, true, true, 0.0, -0x1.47ae147ae147bp+24},
    {"Feedback -1 is off", 41, 17, 1, 0, -1, 1, 0x1.a3d70a3d70a3ep-2, 0x1.b333333333334p+0,
     0x1.999999999999ap-4, false, false, 0.0, 0x1.47ae147ae147bp-7},
    {"Feedback at its largest", kMin, 0, 123, 1, kMax, 90, -0x1.47ae147ae147bp+24, 0.0,
     0x1.899999999999ap+3, true, true, 0x1.47ae147851eb8p+24, 0x1.ccccccccccccdp-1},
    {"Feedback at its smallest", 100, 100, 100, 0, kMin, 200, 0x1.0p+0, 0x1.4p+3, 0x1.4p+3, false,
     false, 0.0, 0x1.0p+1},
};

EffectSettings RecordWith(std::int32_t depth, std::int32_t delay, std::int32_t width,
                          std::int32_t sine, std::int32_t feedback, std::int32_t speed) {
    EffectSettings record = DefaultEffectSettings();
    record.Depth = depth;
    record.Delay = delay;
    record.Width = width;
    record.Sine = sine;
    record.Feedback = feedback;
    record.Speed = speed;
    return record;
}

TEST(EffectRecordTest, CreateEngineForScalesEachParameterByItsConstant) {
    for (const ScalingCase& c : kScalingCases) {
        SCOPED_TRACE(c.name);
        const auto engine =
            CreateEngineFor(RecordWith(c.depth, c.delay, c.width, c.sine, c.feedback, c.speed));
        ASSERT_NE(engine, nullptr);
        EXPECT_TRUE(SameDouble("DepthGain", engine->DepthGain, c.depthGain));
        EXPECT_TRUE(SameDouble("DelayMs", engine->DelayMs, c.delayMs));
        EXPECT_TRUE(SameDouble("WidthMs", engine->WidthMs, c.widthMs));
        EXPECT_EQ(engine->SineMode, c.sineMode);
        EXPECT_EQ(engine->FeedbackOn, c.feedbackOn);
        EXPECT_TRUE(SameDouble("FeedbackGain", engine->FeedbackGain, c.feedbackGain));
        EXPECT_TRUE(SameDouble("SpeedHz", engine->SpeedHz, c.speedHz));
        // Not yet opened: the owner opens it for the stream's format.
        EXPECT_TRUE(engine->PassThrough());
    }
}

// The rule over a whole range of values, beyond the rows above.
TEST(EffectRecordTest, CreateEngineForMultipliesOverARangeOfValues) {
    for (std::int32_t v = -1000; v <= 1000; ++v) {
        SCOPED_TRACE(v);
        const auto engine = CreateEngineFor(RecordWith(v, v, v, v, v, v));
        const double value = static_cast<double>(v);
        ASSERT_TRUE(SameDouble("DepthGain", engine->DepthGain, value * 0.01));
        ASSERT_TRUE(SameDouble("DelayMs", engine->DelayMs, value * 0.1));
        ASSERT_TRUE(SameDouble("WidthMs", engine->WidthMs, value * 0.1));
        ASSERT_TRUE(SameDouble("SpeedHz", engine->SpeedHz, value * 0.01));
        ASSERT_TRUE(SameDouble("FeedbackGain", engine->FeedbackGain, v >= 0 ? value * 0.01 : 0.0));
        ASSERT_EQ(engine->FeedbackOn, v >= 0);
        ASSERT_EQ(engine->SineMode, v != 0);
    }
}

TEST(EffectRecordTest, DefaultEffectSettingsHoldTheDefaultsAndNoStream) {
    const EffectSettings record = DefaultEffectSettings();
    EXPECT_EQ(record.Depth, 90);
    EXPECT_EQ(record.Delay, 50);
    EXPECT_EQ(record.Width, 50);
    EXPECT_EQ(record.Sine, 0);
    EXPECT_EQ(record.Feedback, 10);
    EXPECT_EQ(record.Speed, 10);
    EXPECT_EQ(record.Engine, nullptr);
    EXPECT_EQ(record.CallBack, nullptr);
    EXPECT_EQ(record.CallBackContext, 0u);
}

// The block must come from malloc (Free returns it with free) and hold every byte of the record.
TEST(EffectRecordTest, AllocateEffectRecordCopiesTheWholeRecord) {
    EffectSettings record = RecordWith(-1, 2, -3, 4, -5, 6);
    record.Engine = &record;
    record.CallBack = [](uintptr_t, StreamBuffer*) -> uint32_t { return 7; };
    record.CallBackContext = ~uintptr_t{0};
    EffectSettings* block = AllocateEffectRecord(record);
    ASSERT_NE(block, nullptr);
    EXPECT_NE(block, &record);
    EXPECT_EQ(std::memcmp(block, &record, sizeof record), 0);
    std::free(block);
}

TEST(EffectRecordTest, AnAttachedEngineIsReleasedOnce) {
    EffectSettings record = DefaultEffectSettings();
    EXPECT_EQ(EngineOf(record), nullptr);
    auto engine = CreateEngineFor(record);
    FlangerEngine* const raw = engine.get();
    AttachEngine(record, std::move(engine));
    EXPECT_EQ(record.Engine, static_cast<void*>(raw));
    EXPECT_EQ(EngineOf(record), raw);
    ReleaseEngine(record);
    EXPECT_EQ(record.Engine, nullptr);
    EXPECT_EQ(EngineOf(record), nullptr);
    // Releasing a record without an engine changes nothing.
    ReleaseEngine(record);
    EXPECT_EQ(record.Engine, nullptr);
    EXPECT_EQ(record.Depth, 90);
}

}  // namespace
}  // namespace flanger
