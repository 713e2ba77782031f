// The settings window the module makes from its own template: an invisible child of the host's
// window without caption or frame, and the seventeen controls of dialog 22802 in template
// order, with their classes, ids, texts, styles and rectangles.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "plugin_settings_window.h"

namespace flanger::test {
namespace {

struct ExpectedControl {
    int id;
    const char* className;
    const char* text;  // null for the value labels, whose text the window sets
    RECT dialogUnits;  // x, y, width, height
    std::uint32_t style;
};

constexpr std::uint32_t kTrackbar = 0x5001001A;
constexpr std::uint32_t kValue = 0x50021001;
constexpr std::uint32_t kCaption = 0x50020000;

// Position and size in dialog units; each of the four converts to pixels on its own, as the
// dialog manager converts a template's item.
RECT Units(LONG x, LONG y, LONG cx, LONG cy) { return {x, y, cx, cy}; }

const ExpectedControl kControls[] = {
    {22805, "msctls_trackbar32", "Slider1", Units(4, 26, 18, 68), kTrackbar},
    {22806, "msctls_trackbar32", "Slider2", Units(28, 26, 18, 68), kTrackbar},
    {65535, "Static", "Delay", Units(3, 2, 20, 8), kCaption},
    {65535, "Static", "Width", Units(27, 2, 20, 8), kCaption},
    {22807, "Static", nullptr, Units(3, 13, 18, 10), kValue},
    {22808, "Static", nullptr, Units(27, 13, 18, 10), kValue},
    {22809, "msctls_trackbar32", "Slider2", Units(55, 26, 18, 68), kTrackbar},
    {65535, "Static", "Speed", Units(53, 2, 22, 8), kCaption},
    {22810, "Static", nullptr, Units(54, 13, 18, 10), kValue},
    {22812, "msctls_trackbar32", "Slider1", Units(126, 26, 18, 68), kTrackbar},
    {22815, "msctls_trackbar32", "Slider2", Units(147, 26, 18, 68), kTrackbar},
    {65535, "Static", "Depth", Units(123, 1, 20, 8), kCaption},
    {65535, "Static", "Feedback", Units(145, 1, 33, 8), kCaption},
    {22816, "Static", nullptr, Units(125, 13, 18, 10), kValue},
    {22817, "Static", nullptr, Units(146, 13, 18, 10), kValue},
    {22818, "Button", "Sine", Units(81, 36, 37, 14), 0x50010003},
    {22819, "Button", "Feedback", Units(75, 63, 46, 14), 0x50000003},
};

std::string ClassOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, static_cast<int>(sizeof name));
    return name;
}

// A window's rectangle in its parent's client coordinates.
RECT RectInParent(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Compares x, y, width and height.
void ExpectRect(const RECT& actual, const RECT& expected) {
    EXPECT_EQ(actual.left, expected.left);
    EXPECT_EQ(actual.top, expected.top);
    EXPECT_EQ(actual.right, expected.right);
    EXPECT_EQ(actual.bottom, expected.bottom);
}

// The face and point size of the dialog's font: on Linux as the windowing layer keeps them, on
// Windows from the font the dialog manager made (WM_GETFONT) at the display's resolution.
bool DialogFont(HWND dialog, char* face, int faceSize, int* points) {
#ifdef _WIN32
    HFONT const font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    LOGFONTA description = {};
    if (font == nullptr || GetObjectA(font, sizeof description, &description) == 0) return false;
    lstrcpynA(face, description.lfFaceName, faceSize);
    HDC const screen = GetDC(nullptr);
    const int pixelsPerInch = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const int height = description.lfHeight < 0 ? -description.lfHeight : description.lfHeight;
    *points = MulDiv(height, 72, pixelsPerInch);
    return true;
#else
    int unitX = 0, unitY = 0;
    return FlangerGetWindowFont(dialog, face, faceSize, points, &unitX, &unitY);
#endif
}

TEST_F(SettingsWindowTest, IsAnInvisibleChildWithoutCaptionOrFrame) {
    ASSERT_NE(OpenWindow(kDefaults), nullptr);
    EXPECT_EQ(GetParent(window), parent.Handle());
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)),
              static_cast<DWORD>(WS_CHILD | DS_3DLOOK | DS_SETFONT));
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(WindowText(window), "Flanger");
    char face[64] = {};
    int points = 0;
    ASSERT_TRUE(DialogFont(window, face, sizeof face, &points));
    EXPECT_STREQ(face, "MS Sans Serif");
    EXPECT_EQ(points, 8);

    RECT size = Units(0, 0, 180, 95);
    ASSERT_TRUE(MapDialogRect(window, &size));
    RECT client = {};
    GetClientRect(window, &client);
    ExpectRect(client, size);
}

TEST_F(SettingsWindowTest, HasTheTemplatesControlsInOrder) {
    ASSERT_NE(OpenWindow(kDefaults), nullptr);
    HWND child = GetWindow(window, GW_CHILD);
    for (const ExpectedControl& expected : kControls) {
        SCOPED_TRACE(testing::Message() << "control " << expected.id << " "
                                        << (expected.text ? expected.text : "(value label)"));
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(GetDlgCtrlID(child), expected.id);
        EXPECT_EQ(ClassOf(child), expected.className);
        if (expected.text != nullptr) {
            EXPECT_EQ(WindowText(child), expected.text);
        }
        EXPECT_EQ(static_cast<std::uint32_t>(GetWindowLongA(child, GWL_STYLE)), expected.style);
        RECT pixels = expected.dialogUnits;
        ASSERT_TRUE(MapDialogRect(window, &pixels));
        const RECT actual = RectInParent(child);
        ExpectRect(
            {actual.left, actual.top, actual.right - actual.left, actual.bottom - actual.top},
            pixels);
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr);
}

}  // namespace
}  // namespace flanger::test
