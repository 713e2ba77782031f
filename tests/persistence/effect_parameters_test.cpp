// The effect's six parameters as the exports hand them to the driver.
#include "persistence/effect_parameters.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "recording_storage.h"

namespace flanger {
namespace {

using test::Describe;
using test::RecordingOpener;

const StorageTarget kProfileTarget{.fileName = "presets.ini", .section = "Flanger"};

struct Six {
    std::int32_t depth, delay, width, sine, feedback, speed;
};

EffectSettings Record(const Six& six) {
    EffectSettings settings{};
    settings.Depth = six.depth;
    settings.Delay = six.delay;
    settings.Width = six.width;
    settings.Sine = six.sine;
    settings.Feedback = six.feedback;
    settings.Speed = six.speed;
    return settings;
}

constexpr Six kDefaults{90, 50, 50, 0, 10, 10};

std::vector<const void*> FieldsOf(const EffectSettings& settings) {
    return {&settings.Depth, &settings.Delay,    &settings.Width,
            &settings.Sine,  &settings.Feedback, &settings.Speed};
}

struct LoadCase {
    const char* label;
    std::map<std::string, std::int32_t> stored;
    Six expected;
};

TEST(EffectParametersTest, LoadsTheSixNamedIntegersIntoADefaultedRecord) {
    const LoadCase cases[] = {
        {"nothing stored keeps the defaults", {}, kDefaults},
        {"stored Depth", {{"Depth", 500}}, {500, 50, 50, 0, 10, 10}},
        {"stored Speed only", {{"Speed", 200}}, {90, 50, 50, 0, 10, 200}},
        // No range check: whatever the storage yields is taken.
        {"all six, outside the dialog's ranges",
         {{"Depth", -7},
          {"Delay", 100000},
          {"Width", 0},
          {"Sine", 2},
          {"Feedback", -100},
          {"Speed", std::numeric_limits<std::int32_t>::min()}},
         {-7, 100000, 0, 2, -100, std::numeric_limits<std::int32_t>::min()}},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.label);
        EffectSettings settings = Record(kDefaults);
        RecordingOpener opener;
        opener.storedIntegers = c.stored;

        LoadEffectParameters(kProfileTarget, settings, opener);

        EXPECT_EQ(
            Describe(opener.events, FieldsOf(settings)),
            (std::vector<std::string>{"open-load ProfileFile", "read INT Depth @0",
                                      "read INT Delay @1", "read INT Width @2", "read INT Sine @3",
                                      "read INT Feedback @4", "read INT Speed @5", "close"}));
        EXPECT_EQ(settings.Depth, c.expected.depth);
        EXPECT_EQ(settings.Delay, c.expected.delay);
        EXPECT_EQ(settings.Width, c.expected.width);
        EXPECT_EQ(settings.Sine, c.expected.sine);
        EXPECT_EQ(settings.Feedback, c.expected.feedback);
        EXPECT_EQ(settings.Speed, c.expected.speed);
    }
}

struct SaveCase {
    const char* label;
    StorageTarget target;
    bool failOpen;
    std::int32_t result;
    std::vector<std::string> events;
};

int registryRootStandIn = 0;

TEST(EffectParametersTest, SavesTheSixNamedIntegersInOrder) {
    const StorageTarget registry{.section = "Software\\Flanger", .rootKey = &registryRootStandIn};
    const SaveCase cases[] = {
        {"profile file",
         kProfileTarget,
         false,
         1,
         {"open-save ProfileFile", "write INT Depth @0 =11", "write INT Delay @1 =22",
          "write INT Width @2 =33", "write INT Sine @3 =1", "write INT Feedback @4 =-55",
          "write INT Speed @5 =66", "close"}},
        {"registry key cannot be created", registry, true, 0, {"open-save Registry"}},
        {"nothing selected", {}, false, 1, {}},
    };
    for (const SaveCase& c : cases) {
        SCOPED_TRACE(c.label);
        const EffectSettings settings = Record({11, 22, 33, 1, -55, 66});
        RecordingOpener opener;
        opener.failOpen = c.failOpen;

        EXPECT_EQ(SaveEffectParameters(c.target, settings, opener), c.result);
        EXPECT_EQ(Describe(opener.events, FieldsOf(settings)), c.events);
    }
}

}  // namespace
}  // namespace flanger
