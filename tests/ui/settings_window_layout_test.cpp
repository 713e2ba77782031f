// The settings window the module makes from its own template: an invisible child of the host's
// window without caption or frame, and the seventeen controls of dialog 22802 in template
// order, with their classes, ids, texts, styles and rectangles.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "plugin_settings_window.h"
#include "ui/settings_dialog_table.h"

namespace flanger::test {
namespace {

constexpr const platform::DialogSpec& kDialog = ui::kSettingsDialog;  // from settings_dialog.rc
constexpr std::uint32_t kValueLabel = 0x50021001;                     // the window sets their text

// Position and size in dialog units; each of the four converts to pixels on its own, as the
// dialog manager converts a template's item.
RECT Units(LONG x, LONG y, LONG cx, LONG cy) { return {x, y, cx, cy}; }

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
    EXPECT_EQ(WindowText(window), kDialog.caption);
    char face[64] = {};
    int points = 0;
    ASSERT_TRUE(DialogFont(window, face, sizeof face, &points));
    EXPECT_EQ(face, kDialog.faceName);
    EXPECT_EQ(points, kDialog.pointSize);

    RECT size = Units(0, 0, kDialog.cx, kDialog.cy);
    ASSERT_TRUE(MapDialogRect(window, &size));
    RECT client = {};
    GetClientRect(window, &client);
    ExpectRect(client, size);
}

TEST_F(SettingsWindowTest, HasTheTemplatesControlsInOrder) {
    ASSERT_NE(OpenWindow(kDefaults), nullptr);
    HWND child = GetWindow(window, GW_CHILD);
    for (const platform::DialogItemSpec& expected : ui::kSettingsDialogItems) {
        SCOPED_TRACE(testing::Message() << "control " << expected.id << " " << expected.text);
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(GetDlgCtrlID(child), expected.id);
        EXPECT_EQ(ClassOf(child), expected.className);
        if (expected.style != kValueLabel) {
            EXPECT_EQ(WindowText(child), expected.text);
        }
        EXPECT_EQ(static_cast<std::uint32_t>(GetWindowLongA(child, GWL_STYLE)), expected.style);
        RECT pixels = Units(expected.x, expected.y, expected.cx, expected.cy);
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
