// A person at the settings window: thumbs dragged, clicked and moved with the keyboard, channel
// clicks, check box clicks. The record is written, all six parameters as the controls show
// them, only when a move ends (a released thumb reports its position and its end, so two writes;
// see kExtraPerTrackbarRelease for the real trackbar's third), and every write posts one
// notification (WM_COMMAND, wParam 0x04000000, lParam the settings window) to the parent.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "plugin_settings_window.h"
#include "windowing/simulated_input.h"

namespace flanger::test {
namespace {

using platform::ClickButton;
using platform::ClickChannel;
using platform::ClickThumb;
using platform::DragThumb;
using platform::PressKey;

// The label text a slider at `position` shows: (top - position) x unit in "%g".
std::string Label(int top, LONG position, double unit) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(top - position) * unit);
    return text;
}

struct InputCase {
    const char* name;
    Parameters record;
    std::function<void(HWND window)> act;
    Parameters stored;
    std::size_t notifications;       // one per store of the dialog
    std::size_t mouseReleases = 0;   // of the button over a trackbar
    bool throughTheXServer = false;  // the person is xdotool at an X server, not messages

    std::size_t ExpectedNotifications() const {
        return notifications + mouseReleases * kExtraPerTrackbarRelease;
    }
};

HWND Item(HWND window, int id) { return GetDlgItem(window, id); }

const InputCase kInputCases[] = {
    {"DragDelayToTheTop",
     kDefaults,
     [](HWND w) { DragThumb(Item(w, kDelaySlider), 10); },
     {90, 100, 50, 0, 10, 10},
     2,
     1},
    {"DragEveryThumbToTheTop",
     kDefaults,
     [](HWND w) {
         for (int id : {kDelaySlider, kWidthSlider, kSpeedSlider, kDepthSlider, kFeedbackSlider}) {
             DragThumb(Item(w, id), 10);
         }
     },
     {100, 100, 100, 0, 100, 200},
     10,
     5},
    {"DragEveryThumbToTheTopWithFeedbackOff",
     {90, 50, 50, 0, -30, 10},
     [](HWND w) {
         for (int id : {kDelaySlider, kWidthSlider, kSpeedSlider, kDepthSlider, kFeedbackSlider}) {
             DragThumb(Item(w, id), 10);
         }
     },
     {100, 100, 100, 0, -100, 200},
     10,
     5},
    {"DragEveryThumbToTheBottom",
     kDefaults,
     [](HWND w) {
         DragThumb(Item(w, kDelaySlider), 100);
         DragThumb(Item(w, kWidthSlider), 100);
         DragThumb(Item(w, kSpeedSlider), 200);
         DragThumb(Item(w, kDepthSlider), 100);
         DragThumb(Item(w, kFeedbackSlider), 100);
     },
     {10, 10, 10, 0, 10, 10},
     10,
     5},
    {"FeedbackBoxTurnsFeedbackOn",
     {90, 50, 50, 0, -30, 10},
     [](HWND w) { ClickButton(Item(w, kFeedbackCheck)); },
     {90, 50, 50, 0, 30, 10},
     1},
    {"FeedbackBoxTurnsFeedbackOff",
     kDefaults,
     [](HWND w) { ClickButton(Item(w, kFeedbackCheck)); },
     {90, 50, 50, 0, -10, 10},
     1},
    {"SineBoxOn",
     kDefaults,
     [](HWND w) { ClickButton(Item(w, kSineCheck)); },
     {90, 50, 50, 1, 10, 10},
     1},
    {"SineBoxOnAndOffAgain",
     kDefaults,
     [](HWND w) {
         ClickButton(Item(w, kSineCheck));
         ClickButton(Item(w, kSineCheck));
     },
     {90, 50, 50, 0, 10, 10},
     2},
    // A click on the thumb moves nothing but ends a move: the controls are stored as shown.
    {"ZeroFeedbackIsStoredAsTheBottom",
     {90, 50, 50, 0, 0, 10},
     [](HWND w) { ClickThumb(Item(w, kDelaySlider)); },
     {90, 50, 50, 0, 10, 10},
     2,
     1},
    {"DelayBelowTheRangeIsStoredAsTheBottom",
     {90, 5, 50, 0, 10, 10},
     [](HWND w) { ClickThumb(Item(w, kWidthSlider)); },
     {90, 10, 50, 0, 10, 10},
     2,
     1},
    {"SineFiveIsStoredAsOne",
     {90, 50, 50, 5, 10, 10},
     [](HWND w) { ClickThumb(Item(w, kDepthSlider)); },
     {90, 50, 50, 1, 10, 10},
     2,
     1},
    {"ExtremeValuesAreStoredAsTheEnds",
     {INT_MAX, INT_MIN, INT_MAX, 0, INT_MIN, INT_MIN},
     [](HWND w) { ClickThumb(Item(w, kSpeedSlider)); },
     {100, 100, 100, 0, -100, 200},
     2,
     1},
    // The keyboard: one line per key press (a vertical slider's minimum is at the top, so Up
    // raises the value), stored once when the key is released.
    {"UpKeyRaisesDelayByOne",
     kDefaults,
     [](HWND w) {
         SetFocus(Item(w, kDelaySlider));
         PressKey(Item(w, kDelaySlider), VK_UP);
     },
     {90, 51, 50, 0, 10, 10},
     1},
    {"DownKeyLowersSpeedByOneHundredth",
     {90, 50, 50, 0, 10, 100},
     [](HWND w) {
         SetFocus(Item(w, kSpeedSlider));
         PressKey(Item(w, kSpeedSlider), VK_DOWN);
     },
     {90, 50, 50, 0, 10, 99},
     1},
    {"HomeKeyMovesFeedbackToTheTop",
     {90, 50, 50, 0, -30, 10},
     [](HWND w) {
         SetFocus(Item(w, kFeedbackSlider));
         PressKey(Item(w, kFeedbackSlider), VK_HOME);
     },
     {90, 50, 50, 0, -100, 10},
     1},
};

void PrintTo(const InputCase& c, std::ostream* out) { *out << c.name; }

class SettingsWindowInputTest : public SettingsWindowTest,
                                public ::testing::WithParamInterface<InputCase> {};

// Whether the layer shows its windows on an X server (the X11 run of these tests).
bool OnXServer() {
    const char* const backend = std::getenv("FLANGER_WINDOW_BACKEND");
    return backend != nullptr && std::strcmp(backend, "x11") == 0;
}

TEST_P(SettingsWindowInputTest, StoresWhatTheControlsShowAndTellsTheParent) {
    const InputCase& c = GetParam();
    if (c.throughTheXServer && !OnXServer()) GTEST_SKIP() << "needs FLANGER_WINDOW_BACKEND=x11";
    ASSERT_NE(OpenWindow(c.record), nullptr);
    c.act(window);
    EXPECT_EQ(ParametersOf(*record), c.stored);
    const std::vector<ReceivedCommand> commands = parent.TakeCommands();
    EXPECT_EQ(commands.size(), c.ExpectedNotifications());
    for (const ReceivedCommand& command : commands) {
        EXPECT_EQ(command.wParam, kSettingsChanged);
        EXPECT_EQ(command.lParam, reinterpret_cast<LPARAM>(window));
    }
    // Every label agrees with its slider after the move.
    const SettingsView view = ReadSettingsView(window);
    EXPECT_EQ(view.delayLabel, Label(110, view.delayPos, 0.1));
    EXPECT_EQ(view.widthLabel, Label(110, view.widthPos, 0.1));
    EXPECT_EQ(view.speedLabel, Label(210, view.speedPos, 0.01));
    EXPECT_EQ(view.depthLabel, Label(110, view.depthPos, 0.01));
    EXPECT_EQ(view.feedbackLabel, Label(110, view.feedbackPos, 0.01));
}

INSTANTIATE_TEST_SUITE_P(Moves, SettingsWindowInputTest, ::testing::ValuesIn(kInputCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The pixel in the middle of a trackbar's thumb, in its client coordinates.
POINT ThumbCentre(HWND trackbar) {
    RECT thumb = {};
    SendMessageA(trackbar, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
    return {(thumb.left + thumb.right) / 2, (thumb.top + thumb.bottom) / 2};
}

LPARAM At(POINT p) { return MAKELPARAM(p.x, p.y); }

#ifndef _WIN32
// The person at the X server: xdotool moves the pointer in screen pixels, which are the layer's
// screen coordinates where no window manager moves the windows (Xvfb). The events come back
// through the display connection while the host's loop runs, which it does here for a while
// after xdotool is done (the X server has queued everything by then).
void PumpMessagesFor(std::chrono::milliseconds length) {
    const auto end = std::chrono::steady_clock::now() + length;
    while (std::chrono::steady_clock::now() < end) {
        DispatchPendingMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void AtTheXServer(HWND window, const std::string& actions) {
    ShowWindow(window, SW_SHOW);
    PumpMessagesFor(std::chrono::milliseconds(100));
    ASSERT_EQ(std::system(("xdotool " + actions).c_str()), 0) << actions;
    PumpMessagesFor(std::chrono::milliseconds(500));
}

std::string OnScreen(HWND control, POINT client) {
    MapWindowPoints(control, nullptr, &client, 1);
    return std::to_string(client.x) + " " + std::to_string(client.y);
}

const InputCase kXServerCases[] = {
    {"DragDelayToTheTop",
     kDefaults,
     [](HWND w) {
         const HWND delay = Item(w, kDelaySlider);
         const POINT thumb = ThumbCentre(delay);
         AtTheXServer(w, "mousemove " + OnScreen(delay, thumb) + " mousedown 1 mousemove " +
                             OnScreen(delay, {thumb.x, thumb.y - 30}) + " mousemove " +
                             OnScreen(delay, {thumb.x, -40}) + " mouseup 1");
     },
     {90, 100, 50, 0, 10, 10},
     2,
     1,
     true},
    {"SineBoxOn",
     kDefaults,
     [](HWND w) {
         const HWND sine = Item(w, kSineCheck);
         AtTheXServer(w, "mousemove " + OnScreen(sine, {5, 5}) + " click 1");
     },
     {90, 50, 50, 1, 10, 10},
     1,
     0,
     true},
    // The focus starts on the first tab stop (Delay); Tab moves it to Width.
    {"TabThenUpRaisesWidthByOne",
     kDefaults,
     [](HWND w) {
         AtTheXServer(w, "mousemove " + OnScreen(w, {2, 2}) + " key Tab Up");
     },
     {90, 50, 51, 0, 10, 10},
     1,
     0,
     true},
    {"WheelUpOverSpeedRaisesItByOneHundredth",
     {90, 50, 50, 0, 10, 100},
     [](HWND w) {
         const HWND speed = Item(w, kSpeedSlider);
         AtTheXServer(w, "mousemove " + OnScreen(speed, {2, 2}) + " click 4");
     },
     {90, 50, 50, 0, 10, 101},
     1,
     0,
     true},
};

INSTANTIATE_TEST_SUITE_P(ThroughTheXServer, SettingsWindowInputTest,
                         ::testing::ValuesIn(kXServerCases),
                         [](const auto& info) { return std::string(info.param.name); });
#endif

// While the button is held down (on the thumb and dragging it, or in the channel), the slider
// and its label move and nothing else happens: the record keeps what the host wrote into it,
// and nothing is posted. The release stores all six parameters as the controls show them.
TEST_F(SettingsWindowTest, NothingIsStoredUntilTheButtonIsReleased) {
    struct PressCase {
        const char* name;
        // Where the button goes down and, for a drag, where the pointer moves with it held.
        std::function<POINT(HWND trackbar)> press;
        std::function<POINT(HWND trackbar)> move;
        std::size_t notifications;  // at the release: a drag's end reports two, a page one
    };
    const PressCase cases[] = {
        {"DragUp", ThumbCentre,
         [](HWND t) {
             return POINT{ThumbCentre(t).x, ThumbCentre(t).y - 20};
         },
         2},
        {"PageUpInTheChannel",
         [](HWND t) {
             RECT thumb = {};
             SendMessageA(t, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
             return POINT{(thumb.left + thumb.right) / 2, thumb.top - 4};
         },
         nullptr, 1},
    };
    for (const PressCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(OpenWindow(kDefaults), nullptr);
        HWND const delay = Control(kDelaySlider);
        record->Depth = 77;  // the host's own edit, which only a store overwrites

        SendMessageA(delay, WM_LBUTTONDOWN, MK_LBUTTON, At(c.press(delay)));
        if (c.move) SendMessageA(delay, WM_MOUSEMOVE, MK_LBUTTON, At(c.move(delay)));
        const SettingsView held = ReadSettingsView(window);
        EXPECT_LT(held.delayPos, 60);
        EXPECT_EQ(held.delayLabel, Label(110, held.delayPos, 0.1));
        EXPECT_EQ(ParametersOf(*record), (Parameters{77, 50, 50, 0, 10, 10}));
        EXPECT_TRUE(parent.TakeCommands().empty());

        SendMessageA(delay, WM_LBUTTONUP, 0, At(c.press(delay)));
        EXPECT_EQ(ParametersOf(*record), (Parameters{90, 110 - held.delayPos, 50, 0, 10, 10}));
        EXPECT_EQ(parent.TakeCommands().size(), c.notifications + kExtraPerTrackbarRelease);
        DestroyWindow(window);
    }
}

// Two windows over one record keep no copy of the parameters beyond their controls: each
// commit writes all six as its own window shows them, over what the other one stored.
TEST_F(SettingsWindowTest, EveryCommitWritesAllSixAsItsWindowShowsThem) {
    HWND const first = OpenWindow(kDefaults);
    HWND const second = module->createSettingsWindow(parent.Handle(), record);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_NE(first, second);

    ClickButton(GetDlgItem(first, kSineCheck));
    EXPECT_EQ(ParametersOf(*record), (Parameters{90, 50, 50, 1, 10, 10}));
    DragThumb(GetDlgItem(second, kDepthSlider), 10);
    EXPECT_EQ(ParametersOf(*record), (Parameters{100, 50, 50, 0, 10, 10}));

    std::vector<LPARAM> senders;
    for (const ReceivedCommand& command : parent.TakeCommands()) senders.push_back(command.lParam);
    const auto f = reinterpret_cast<LPARAM>(first);
    const auto s = reinterpret_cast<LPARAM>(second);
    std::vector<LPARAM> expected = {f, s, s};
    if (kExtraPerTrackbarRelease != 0) expected.push_back(s);
    EXPECT_EQ(senders, expected);
}

}  // namespace
}  // namespace flanger::test
