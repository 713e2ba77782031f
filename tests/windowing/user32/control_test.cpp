// The predefined controls as a person uses them: check boxes and push buttons clicked and
// released, trackbars dragged, clicked and driven by keys, with the exact notifications their
// parent gets; and the trackbar's range, position and geometry.
#include <cstdlib>

#include "window_test_support.h"
#include "windowing/simulated_input.h"

namespace flanger::platform::test {
namespace {

using Lines = std::vector<std::string>;

class ControlTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        parent = MakeWindow("P", nullptr, WS_OVERLAPPED, 0, 0, 400, 300);
        // The parent notes each scroll notification with the trackbar's position at that
        // moment, to check that TB_THUMBTRACK reports where the thumb is.
        SetReaction(
            [this](HWND window, UINT message, WPARAM, LPARAM lParam) -> std::optional<LRESULT> {
                if (window == parent && (message == WM_VSCROLL || message == WM_HSCROLL)) {
                    positionsAtNotification.push_back(static_cast<LONG>(
                        SendMessageA(reinterpret_cast<HWND>(lParam), TBM_GETPOS, 0, 0)));
                }
                return std::nullopt;
            });
    }

    HWND MakeControl(const char* className, DWORD style, int width, int height, int id = 1) {
        const HWND control = CreateWindowExA(
            0, className, "Control", WS_CHILD | WS_VISIBLE | style, 10, 10, width, height, parent,
            reinterpret_cast<HMENU>(static_cast<std::intptr_t>(id)), nullptr, nullptr);
        EXPECT_NE(control, nullptr);
        Log().clear();
        positionsAtNotification.clear();
        return control;
    }

    // The parent's notifications: "V code position" / "H code position" for scrolls,
    // "C id code" for commands.
    Lines Notifications() const {
        Lines lines;
        for (const LoggedMessage& logged : Log()) {
            if (logged.window != parent) {
                continue;
            }
            if (logged.message == WM_VSCROLL || logged.message == WM_HSCROLL) {
                lines.push_back(std::string(logged.message == WM_VSCROLL ? "V " : "H ") +
                                std::to_string(LOWORD(logged.wParam)) + " " +
                                std::to_string(HIWORD(logged.wParam)));
            } else if (logged.message == WM_COMMAND) {
                lines.push_back("C " + std::to_string(LOWORD(logged.wParam)) + " " +
                                std::to_string(HIWORD(logged.wParam)));
            }
        }
        return lines;
    }

    static LONG Position(HWND trackbar) {
        return static_cast<LONG>(SendMessageA(trackbar, TBM_GETPOS, 0, 0));
    }

    // A vertical trackbar the size of the settings window's (18 x 68 dialog units at 6 x 13,
    // 27 x 111 pixels), with the range 10..100 and the position 60.
    HWND MakeSettingsTrackbar() {
        const HWND trackbar =
            MakeControl(TRACKBAR_CLASSA, WS_TABSTOP | TBS_VERT | TBS_BOTH | TBS_NOTICKS, 27, 111);
        SendMessageA(trackbar, TBM_SETRANGE, TRUE, MAKELONG(10, 100));
        SendMessageA(trackbar, TBM_SETPOS, TRUE, 60);
        return trackbar;
    }

    HWND parent = nullptr;
    std::vector<LONG> positionsAtNotification;
};

TEST_F(ControlTest, AnAutomaticCheckBoxTogglesAndTellsItsParentOnEachClick) {
    const HWND box = MakeControl(WC_BUTTONA, BS_AUTOCHECKBOX, 60, 20, 22818);
    ClickButton(box);
    EXPECT_EQ(SendMessageA(box, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageA(box, BM_GETSTATE, 0, 0), BST_CHECKED | BST_FOCUS);
    EXPECT_EQ(GetFocus(), box);
    ClickButton(box);
    EXPECT_EQ(SendMessageA(box, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    SendMessageA(box, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageA(box, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(Notifications(), (Lines{"C 22818 0", "C 22818 0", "C 22818 0"}));
    for (const LoggedMessage& logged : Log()) {
        if (logged.message == WM_COMMAND) {
            EXPECT_EQ(logged.lParam, reinterpret_cast<LPARAM>(box));
        }
    }
    EXPECT_EQ(IsDlgButtonChecked(parent, 22818), static_cast<UINT>(BST_CHECKED));
}

TEST_F(ControlTest, AButtonReleasedOutsideIsNoClick) {
    const HWND box = MakeControl(WC_BUTTONA, BS_AUTOCHECKBOX, 60, 20, 7);
    const struct {
        const char* what;
        std::vector<std::pair<UINT, POINT>> input;
        LRESULT pushedBeforeRelease;
        bool clicked;
    } cases[] = {
        {"press and release inside",
         {{WM_LBUTTONDOWN, {5, 5}}, {WM_LBUTTONUP, {6, 6}}},
         BST_PUSHED,
         true},
        {"release outside", {{WM_LBUTTONDOWN, {5, 5}}, {WM_LBUTTONUP, {70, 5}}}, BST_PUSHED, false},
        {"leave while pressed",
         {{WM_LBUTTONDOWN, {5, 5}}, {WM_MOUSEMOVE, {5, 25}}, {WM_LBUTTONUP, {5, 5}}},
         0,
         false},
        {"leave and come back",
         {{WM_LBUTTONDOWN, {5, 5}},
          {WM_MOUSEMOVE, {-1, 5}},
          {WM_MOUSEMOVE, {59, 19}},
          {WM_LBUTTONUP, {59, 19}}},
         BST_PUSHED,
         true},
        {"release without a press", {{WM_LBUTTONUP, {5, 5}}}, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SendMessageA(box, BM_SETCHECK, BST_UNCHECKED, 0);
        Log().clear();
        LRESULT pushed = -1;
        for (const auto& [message, point] : c.input) {
            if (message == WM_LBUTTONUP) {
                pushed = SendMessageA(box, BM_GETSTATE, 0, 0) & BST_PUSHED;
            }
            SendMessageA(box, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON,
                         MAKELPARAM(point.x, point.y));
        }
        EXPECT_EQ(pushed, c.pushedBeforeRelease);
        EXPECT_EQ(SendMessageA(box, BM_GETSTATE, 0, 0) & BST_PUSHED, 0);
        EXPECT_EQ(SendMessageA(box, BM_GETCHECK, 0, 0), c.clicked ? BST_CHECKED : BST_UNCHECKED);
        EXPECT_EQ(Notifications(), c.clicked ? Lines{"C 7 0"} : Lines{});
    }
}

TEST_F(ControlTest, CheckStatesAreClampedToWhatTheButtonTypeCanShow) {
    const struct {
        DWORD type;
        bool toggles;  // a click changes the check state
    } types[] = {{BS_PUSHBUTTON, false}, {BS_CHECKBOX, false}, {BS_AUTOCHECKBOX, true}, {5, false}};
    // Requested state -> stored state for push buttons, check boxes and 3-state boxes (type 5).
    const WPARAM requested[] = {0, 1, 2, 3, 100};
    const LRESULT pushButton[] = {0, 0, 0, 0, 0};
    const LRESULT checkBox[] = {0, 1, 1, 1, 1};
    const LRESULT threeState[] = {0, 1, 2, 2, 2};
    for (const auto& t : types) {
        SCOPED_TRACE(t.type);
        const HWND button = MakeControl(WC_BUTTONA, t.type, 60, 20, 3);
        const LRESULT* expected = t.type == BS_PUSHBUTTON ? pushButton
                                  : t.type == 5           ? threeState
                                                          : checkBox;
        for (std::size_t i = 0; i < std::size(requested); ++i) {
            SendMessageA(button, BM_SETCHECK, requested[i], 0);
            EXPECT_EQ(SendMessageA(button, BM_GETCHECK, 0, 0), expected[i]) << requested[i];
        }
        SendMessageA(button, BM_SETCHECK, BST_UNCHECKED, 0);
        Log().clear();
        ClickButton(button);
        EXPECT_EQ(SendMessageA(button, BM_GETCHECK, 0, 0), t.toggles ? BST_CHECKED : BST_UNCHECKED);
        EXPECT_EQ(Notifications(), (Lines{"C 3 0"}));  // every type tells its parent
        DestroyWindow(button);
    }
}

TEST_F(ControlTest, TrackbarRangesClampThePositionAndSetThePageSize) {
    const HWND trackbar = MakeControl(TRACKBAR_CLASSA, TBS_VERT, 27, 111);
    struct State {
        LONG position, rangeMin, rangeMax, pageSize;
    };
    const auto state = [&] {
        return State{Position(trackbar),
                     static_cast<LONG>(SendMessageA(trackbar, TBM_GETRANGEMIN, 0, 0)),
                     static_cast<LONG>(SendMessageA(trackbar, TBM_GETRANGEMAX, 0, 0)),
                     static_cast<LONG>(SendMessageA(trackbar, TBM_GETPAGESIZE, 0, 0))};
    };
    const State initial = state();
    EXPECT_EQ(initial.position, 0);
    EXPECT_EQ(initial.rangeMin, 0);
    EXPECT_EQ(initial.rangeMax, 100);
    EXPECT_EQ(initial.pageSize, 20);
    EXPECT_EQ(SendMessageA(trackbar, TBM_GETLINESIZE, 0, 0), 1);
    const struct {
        UINT message;
        LPARAM value;
        State after;
    } steps[] = {
        {TBM_SETPOS, 150, {100, 0, 100, 20}},
        {TBM_SETPOS, -5, {0, 0, 100, 20}},
        {TBM_SETRANGE, MAKELONG(10, 100), {10, 10, 100, 18}},
        {TBM_SETPOS, 60, {60, 10, 100, 18}},
        {TBM_SETRANGE, MAKELONG(70, 80), {70, 70, 80, 2}},
        {TBM_SETRANGEMAX, 75, {70, 70, 75, 1}},
        {TBM_SETRANGEMIN, 72, {72, 72, 75, 1}},
        {TBM_SETRANGEMAX, 73, {72, 72, 73, 1}},
        {TBM_SETPOS, 74, {73, 72, 73, 1}},
        {TBM_SETRANGE, MAKELONG(-10, 10), {10, -10, 10, 4}},
        {TBM_SETRANGEMIN, -1000, {10, -1000, 10, 202}},
    };
    for (const auto& s : steps) {
        SendMessageA(trackbar, s.message, TRUE, s.value);
        const State now = state();
        EXPECT_EQ(now.position, s.after.position) << s.message << " " << s.value;
        EXPECT_EQ(now.rangeMin, s.after.rangeMin) << s.message << " " << s.value;
        EXPECT_EQ(now.rangeMax, s.after.rangeMax) << s.message << " " << s.value;
        EXPECT_EQ(now.pageSize, s.after.pageSize) << s.message << " " << s.value;
    }
    EXPECT_EQ(SendMessageA(trackbar, TBM_SETPAGESIZE, 0, 7), 202);
    EXPECT_EQ(SendMessageA(trackbar, TBM_SETLINESIZE, 0, 3), 1);
    EXPECT_EQ(SendMessageA(trackbar, TBM_GETPAGESIZE, 0, 0), 7);
    EXPECT_EQ(SendMessageA(trackbar, TBM_GETLINESIZE, 0, 0), 3);
    EXPECT_TRUE(Notifications().empty());  // messages from the program notify nobody
}

TEST_F(ControlTest, TrackbarGeometryFollowsTheControlsSize) {
    // Thumb length 21 across (narrower controls: width - 6), channel margin 21 / 4 + 3 = 8 at
    // both ends, channel 4 wide at 21 / 2 - 1 = 9 across (+1 with TBS_BOTH | TBS_NOTICKS), thumb
    // (21 / 2) | 1 = 11 along, at margin + (channel - 11) * (pos - min) / range.
    const struct {
        const char* what;
        DWORD style;
        int width, height;
        LONG position;
        RECT channel, thumb;
    } cases[] = {
        {"vertical, top",
         TBS_VERT | TBS_BOTH | TBS_NOTICKS,
         27,
         111,
         10,
         {10, 8, 14, 103},
         {2, 8, 23, 19}},
        {"vertical, middle",
         TBS_VERT | TBS_BOTH | TBS_NOTICKS,
         27,
         111,
         55,
         {10, 8, 14, 103},
         {2, 50, 23, 61}},
        {"vertical, bottom",
         TBS_VERT | TBS_BOTH | TBS_NOTICKS,
         27,
         111,
         100,
         {10, 8, 14, 103},
         {2, 92, 23, 103}},
        {"vertical with ticks on both sides",
         TBS_VERT | TBS_BOTH,
         40,
         111,
         10,
         {18, 8, 22, 103},
         {10, 8, 31, 19}},
        {"horizontal, ticks below", TBS_HORZ, 111, 27, 55, {8, 9, 103, 13}, {50, 2, 61, 23}},
        {"narrow vertical",
         TBS_VERT | TBS_BOTH | TBS_NOTICKS,
         15,
         60,
         10,
         {4, 5, 8, 55},
         {2, 5, 11, 10}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const HWND trackbar = MakeControl(TRACKBAR_CLASSA, c.style, c.width, c.height);
        SendMessageA(trackbar, TBM_SETRANGE, TRUE, MAKELONG(10, 100));
        SendMessageA(trackbar, TBM_SETPOS, TRUE, c.position);
        RECT channel{}, thumb{};
        SendMessageA(trackbar, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
        EXPECT_TRUE(SendMessageA(trackbar, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb)));
        const LONG got[] = {channel.left, channel.top, channel.right, channel.bottom,
                            thumb.left,   thumb.top,   thumb.right,   thumb.bottom};
        const LONG want[] = {c.channel.left, c.channel.top, c.channel.right, c.channel.bottom,
                             c.thumb.left,   c.thumb.top,   c.thumb.right,   c.thumb.bottom};
        EXPECT_EQ(std::vector<LONG>(std::begin(got), std::end(got)),
                  std::vector<LONG>(std::begin(want), std::end(want)));
        DestroyWindow(trackbar);
    }
}

TEST_F(ControlTest, DraggingTheThumbTracksAndThenReportsTheRelease) {
    const struct {
        const char* what;
        DWORD style;
        int width, height;
        LONG target;
        const char* axis;
    } cases[] = {
        {"vertical, upwards", TBS_VERT | TBS_BOTH | TBS_NOTICKS, 27, 111, 20, "V"},
        {"vertical, downwards", TBS_VERT | TBS_BOTH | TBS_NOTICKS, 27, 111, 97, "V"},
        {"vertical, to the top", TBS_VERT | TBS_BOTH | TBS_NOTICKS, 27, 111, 10, "V"},
        {"vertical, beyond the bottom", TBS_VERT | TBS_BOTH | TBS_NOTICKS, 27, 111, 500, "V"},
        {"horizontal", TBS_HORZ, 111, 27, 33, "H"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const HWND trackbar = MakeControl(TRACKBAR_CLASSA, c.style, c.width, c.height);
        SendMessageA(trackbar, TBM_SETRANGE, TRUE, MAKELONG(10, 100));
        SendMessageA(trackbar, TBM_SETPOS, TRUE, 60);
        Log().clear();
        positionsAtNotification.clear();
        const LONG expected = c.target > 100 ? 100 : c.target;
        EXPECT_EQ(DragThumb(trackbar, c.target), expected);
        EXPECT_EQ(Position(trackbar), expected);
        EXPECT_EQ(GetFocus(), trackbar);
        const Lines lines = Notifications();
        ASSERT_GE(lines.size(), 3u);
        const std::string axis = c.axis;
        // TB_THUMBTRACK for each change, with the thumb's new position; then the release.
        for (std::size_t i = 0; i + 2 < lines.size(); ++i) {
            EXPECT_EQ(lines[i], axis + " 5 " + std::to_string(positionsAtNotification[i]));
            if (i > 0) {
                EXPECT_NE(positionsAtNotification[i], positionsAtNotification[i - 1]);
            }
        }
        EXPECT_EQ(lines[lines.size() - 3], axis + " 5 " + std::to_string(expected));
        EXPECT_EQ(lines[lines.size() - 2], axis + " 4 " + std::to_string(expected));
        EXPECT_EQ(lines.back(), axis + " 8 0");
        DestroyWindow(trackbar);
    }
}

TEST_F(ControlTest, APositionBetweenPixelsIsDraggedToANeighbour) {
    // Dragging maps pixel y to 90 * (y - 13) / 84 + 10, rounded: y = 19 gives 16.4 -> 16 and
    // y = 20 gives 17.5 -> 18, so no pixel means 17.
    const HWND trackbar = MakeSettingsTrackbar();
    const LONG reached = DragThumb(trackbar, 17);
    EXPECT_TRUE(reached == 16 || reached == 18) << reached;
    const Lines lines = Notifications();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "V 4 " + std::to_string(reached));
}

TEST_F(ControlTest, ClickingTheThumbReportsAReleaseWithoutAMove) {
    const HWND trackbar = MakeSettingsTrackbar();
    ClickThumb(trackbar);
    EXPECT_EQ(Position(trackbar), 60);
    EXPECT_EQ(Notifications(), (Lines{"V 4 60", "V 8 0"}));
}

TEST_F(ControlTest, ClickingTheChannelMovesOnePageTowardsThePointer) {
    const struct {
        LONG start, toward, after;
        Lines expected;
    } cases[] = {
        {60, 10, 42, {"V 2 0", "V 8 0"}},
        {60, 100, 78, {"V 3 0", "V 8 0"}},
        {95, 100, 100, {"V 3 0", "V 8 0"}},  // clamped at the end
        {20, 10, 10, {"V 2 0", "V 8 0"}},
        {10, 5, 10, {}},  // nothing beside the thumb on that side
        {100, 100, 100, {}},
    };
    for (const auto& c : cases) {
        const HWND trackbar = MakeSettingsTrackbar();
        SendMessageA(trackbar, TBM_SETPOS, TRUE, c.start);
        EXPECT_EQ(ClickChannel(trackbar, c.toward), c.after) << c.start << " " << c.toward;
        EXPECT_EQ(Notifications(), c.expected) << c.start << " " << c.toward;
        DestroyWindow(trackbar);
    }
    // Beside the channel, away from the thumb's width: nothing at all.
    const HWND trackbar = MakeSettingsTrackbar();
    SendMessageA(trackbar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(25, 100));
    SendMessageA(trackbar, WM_LBUTTONUP, 0, MAKELPARAM(25, 100));
    EXPECT_EQ(Position(trackbar), 60);
    EXPECT_TRUE(Notifications().empty());
}

TEST_F(ControlTest, KeysMoveByLinesPagesAndToTheEnds) {
    constexpr DWORD kVertical = TBS_VERT | TBS_BOTH | TBS_NOTICKS;
    constexpr DWORD kHorizontal = TBS_HORZ;
    const struct {
        DWORD style;
        LONG start;
        UINT key;
        LONG after;
        Lines expected;
    } cases[] = {
        {kVertical, 60, VK_UP, 59, {"V 0 0", "V 8 0"}},
        {kVertical, 60, VK_LEFT, 59, {"V 0 0", "V 8 0"}},
        {kVertical, 60, VK_DOWN, 61, {"V 1 0", "V 8 0"}},
        {kVertical, 60, VK_RIGHT, 61, {"V 1 0", "V 8 0"}},
        {kVertical, 60, VK_PRIOR, 42, {"V 2 0", "V 8 0"}},
        {kVertical, 60, VK_NEXT, 78, {"V 3 0", "V 8 0"}},
        {kVertical, 60, VK_HOME, 10, {"V 6 0", "V 8 0"}},
        {kVertical, 60, VK_END, 100, {"V 7 0", "V 8 0"}},
        // At the ends a key that cannot move says nothing until its release.
        {kVertical, 10, VK_UP, 10, {"V 8 0"}},
        {kVertical, 10, VK_PRIOR, 10, {"V 8 0"}},
        {kVertical, 10, VK_HOME, 10, {"V 8 0"}},
        {kVertical, 100, VK_DOWN, 100, {"V 8 0"}},
        {kVertical, 100, VK_END, 100, {"V 8 0"}},
        {kVertical, 12, VK_PRIOR, 10, {"V 2 0", "V 8 0"}},
        {kVertical, 95, VK_NEXT, 100, {"V 3 0", "V 8 0"}},
        {kVertical, 60, VK_RETURN, 60, {}},
        {kHorizontal, 50, VK_RIGHT, 51, {"H 1 0", "H 8 0"}},
        {kHorizontal, 50, VK_UP, 49, {"H 0 0", "H 8 0"}},
        {kHorizontal, 50, VK_END, 100, {"H 7 0", "H 8 0"}},
        {kHorizontal | TBS_DOWNISLEFT, 50, VK_UP, 51, {"H 1 0", "H 8 0"}},
        {kHorizontal | TBS_DOWNISLEFT, 50, VK_PRIOR, 68, {"H 3 0", "H 8 0"}},
        {kVertical | TBS_DOWNISLEFT, 50, VK_LEFT, 51, {"V 1 0", "V 8 0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + " key " + std::to_string(c.key));
        const HWND trackbar = MakeControl(TRACKBAR_CLASSA, WS_TABSTOP | c.style, 27, 111);
        SendMessageA(trackbar, TBM_SETRANGE, TRUE, MAKELONG(10, 100));
        SendMessageA(trackbar, TBM_SETPOS, TRUE, c.start);
        PressKey(trackbar, c.key);
        EXPECT_EQ(GetFocus(), trackbar);
        EXPECT_EQ(Position(trackbar), c.after);
        EXPECT_EQ(Notifications(), c.expected);
        DestroyWindow(trackbar);
    }
}

TEST_F(ControlTest, ATrackbarDestroyedByItsParentDuringANotificationStaysSound) {
    const HWND trackbar = MakeSettingsTrackbar();
    SetReaction([&](HWND window, UINT message, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
        if (window == parent && message == WM_VSCROLL && LOWORD(wParam) == TB_THUMBPOSITION) {
            DestroyWindow(trackbar);
        }
        return std::nullopt;
    });
    ClickThumb(trackbar);
    EXPECT_FALSE(IsWindow(trackbar));
    // TB_ENDTRACK still reaches the parent: the trackbar had started its release.
    EXPECT_EQ(Notifications(), (Lines{"V 4 60", "V 8 0"}));
}

}  // namespace
}  // namespace flanger::platform::test
