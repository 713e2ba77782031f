// Moving a control while audio runs makes no click: with a 220 Hz sine at -6 dBFS as input, the
// largest second difference |y[n] - 2y[n-1] + y[n-2]| of the output in the 100 ms after a
// change stays within 1.5 times its largest value over the second before the change and over
// the second of steady state after it. Every control, towards both ends of its range, from both
// sweeps with feedback on and off, mono and stereo.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "lv2_host.h"

namespace flanger::testing {
namespace {

using plugins::kControls;
using plugins::kPlugins;

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kBlock = 256;
constexpr std::size_t kChangeFrame = 258 * kBlock;  // about 1.5 s in
constexpr std::size_t kAfterChange = kRate / 10;    // the 100 ms that must not click
constexpr std::size_t kSecond = kRate;

struct ClickCase {
    std::string name;
    int plugin;
    LiveSettings from;
    std::uint32_t control;
    float to;
};

std::vector<ClickCase> ClickCases() {
    using namespace plugins;
    const std::pair<std::uint32_t, float> changes[] = {
        {kDelayPort, 1.0f},    {kDelayPort, 10.0f},      {kWidthPort, 1.0f}, {kWidthPort, 10.0f},
        {kSpeedPort, 2.0f},    {kSpeedPort, 0.5f},       {kDepthPort, 0.1f}, {kDepthPort, 1.0f},
        {kFeedbackPort, 1.0f}, {kFeedbackOnPort, -1.0f}, {kSinePort, -1.0f}};
    std::vector<ClickCase> cases;
    for (int plugin : {0, 1}) {
        for (std::int32_t sine : {0, 1}) {
            for (std::int32_t feedback : {10, -10}) {
                const LiveSettings from{90, 50, 50, sine, feedback, 10};
                for (const auto& [control, to] : changes) {
                    std::ostringstream name;
                    name << (plugin == 0 ? "mono" : "stereo") << (sine ? "_sine" : "_triangle")
                         << (feedback > 0 ? "_feedback" : "_no_feedback") << "_"
                         << kControls[control].Symbol;
                    if (to >= 0.0f) name << "_to_" << to;
                    cases.push_back({name.str(), plugin, from, control, to});
                }
            }
        }
    }
    return cases;
}

double LargestSecondDifference(const std::vector<float>& y, std::size_t from, std::size_t to) {
    double largest = 0.0;
    for (std::size_t n = from; n < to; ++n) {
        largest =
            std::max(largest, std::fabs(static_cast<double>(y[n]) - 2.0 * y[n - 1] + y[n - 2]));
    }
    return largest;
}

TEST(Lv2Plugin, MovingAControlMakesNoClick) {
    Lv2World world;
    const std::size_t total = kChangeFrame + kAfterChange + kSecond;
    for (const ClickCase& c : ClickCases()) {
        const auto& identity = kPlugins[c.plugin];
        Channels input(identity.Channels, std::vector<float>(total));
        for (std::uint32_t j = 0; j < identity.Channels; ++j) {
            for (std::size_t n = 0; n < total; ++n) {
                input[j][n] = static_cast<float>(
                    0.5 * std::sin(2.0 * M_PI * 220.0 * static_cast<double>(n) / kRate + j));
            }
        }
        Lv2Instance instance(world, identity, kRate);
        instance.SetControls(ControlsFor(c.from));
        // A switch flips; a number moves to its target.
        const float target = c.to >= 0.0f ? c.to : 1.0f - instance.Control(c.control);
        const Channels output = instance.Process(input, {kBlock}, [&](std::size_t offset) {
            if (offset == kChangeFrame) instance.Control(c.control) = target;
        });
        for (std::uint32_t j = 0; j < identity.Channels; ++j) {
            const auto& y = output[j];
            const double before = LargestSecondDifference(y, kChangeFrame - kSecond, kChangeFrame);
            const double during =
                LargestSecondDifference(y, kChangeFrame, kChangeFrame + kAfterChange);
            const double after = LargestSecondDifference(y, kChangeFrame + kAfterChange, total);
            EXPECT_LE(during, 1.5 * std::max(before, after))
                << c.name << " channel " << j << ": before " << before << ", after " << after;
        }
    }
}

}  // namespace
}  // namespace flanger::testing
