// The settings window as it opens over a record: slider positions, value labels and check
// boxes for values inside, at the ends of and outside the sliders' ranges. Opening writes
// nothing and tells the host nothing.
//
// Expected values follow the window's mapping: position = 110 - value (210 - value for Speed),
// clamped by the slider into 10..100 (10..200); a label shows the value the member holds times
// 0.1 (Delay, Width) or 0.01 (Speed, Depth, Feedback magnitude) in "%g".
#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>

#include "plugin_settings_window.h"

namespace flanger::test {
namespace {

struct StateCase {
    const char* name;
    Parameters record;
    SettingsView view;
};

const StateCase kStateCases[] = {
    {"Defaults",
     kDefaults,
     {60, 60, 200, 20, 100, "5", "5", "0.1", "0.9", "0.1", BST_CHECKED, BST_UNCHECKED}},
    {"EveryValueAtTheTop",
     {100, 100, 100, 1, 100, 200},
     {10, 10, 10, 10, 10, "10", "10", "2", "1", "1", BST_CHECKED, BST_CHECKED}},
    {"EveryValueAtTheBottom",
     {10, 10, 10, 0, -10, 10},
     {100, 100, 200, 100, 100, "1", "1", "0.1", "0.1", "0.1", BST_UNCHECKED, BST_UNCHECKED}},
    // The sign of Feedback is the check box's; the label shows the magnitude.
    {"NegativeFeedback",
     {90, 50, 50, 0, -30, 10},
     {60, 60, 200, 20, 80, "5", "5", "0.1", "0.9", "0.3", BST_UNCHECKED, BST_UNCHECKED}},
    // 0 counts as on; position 110 is clamped to the bottom, the label keeps the member's 0.
    {"ZeroFeedback",
     {90, 50, 50, 0, 0, 10},
     {60, 60, 200, 20, 100, "5", "5", "0.1", "0.9", "0", BST_CHECKED, BST_UNCHECKED}},
    {"DelayBelowTheRange",
     {90, 5, 50, 0, 10, 10},
     {100, 60, 200, 20, 100, "0.5", "5", "0.1", "0.9", "0.1", BST_CHECKED, BST_UNCHECKED}},
    {"ValuesAboveTheRanges",
     {150, 150, 101, 0, -250, 250},
     {10, 10, 10, 10, 10, "15", "10.1", "2.5", "1.5", "2.5", BST_UNCHECKED, BST_UNCHECKED}},
    // The check box is handed the value as it is and shows anything but 0 as checked.
    {"SineFive",
     {90, 50, 50, 5, 10, 10},
     {60, 60, 200, 20, 100, "5", "5", "0.1", "0.9", "0.1", BST_CHECKED, BST_CHECKED}},
    // A host's garbage: 32-bit wrap-around, never undefined behaviour; the sliders sit at their
    // ends and the labels show the values times their units.
    {"ExtremeValues",
     {INT_MAX, INT_MIN, INT_MAX, 0, INT_MIN, INT_MIN},
     {10, 10, 10, 10, 10, "-2.14748e+08", "2.14748e+08", "-2.14748e+07", "2.14748e+07",
      "-2.14748e+07", BST_UNCHECKED, BST_UNCHECKED}},
};

void PrintTo(const StateCase& c, std::ostream* out) { *out << c.name; }

class SettingsWindowStateTest : public SettingsWindowTest,
                                public ::testing::WithParamInterface<StateCase> {};

TEST_P(SettingsWindowStateTest, OpensShowingTheRecord) {
    const StateCase& c = GetParam();
    ASSERT_NE(OpenWindow(c.record), nullptr);
    EXPECT_EQ(ReadSettingsView(window), c.view);
    EXPECT_EQ(ParametersOf(*record), c.record);
    EXPECT_TRUE(parent.TakeCommands().empty());
}

INSTANTIATE_TEST_SUITE_P(Records, SettingsWindowStateTest, ::testing::ValuesIn(kStateCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace flanger::test
