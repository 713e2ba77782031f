// The window painter over a dialog of the test's own: frames, check boxes and trackbar thumbs
// drawn at the pixels the classic look puts them, text aligned as the styles say, hidden
// controls left out, and the PNG written with the window's client size.
//
// Exact colours are checked wherever the picture has no text. Text is only checked for where its
// ink lies, never pixel by pixel: fonts differ between machines.
#include "windowing/posix/window_painter/window_painter.h"

#include <cairo.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>

#include "scratch_directory.h"
#include "windowing/dialog_template.h"
#include "windowing/user32.h"

namespace flanger::tool::test {
namespace {

namespace colour = platform::classic_colour;

constexpr int kCentred = 101;
constexpr int kLeft = 102;
constexpr int kChecked = 103;
constexpr int kUnchecked = 104;
constexpr int kSlider = 105;
constexpr int kHidden = 106;
constexpr int kDisabled = 107;

constexpr std::uint32_t kVisibleChild = WS_CHILD | WS_VISIBLE;

constexpr platform::DialogItemSpec kItems[] = {
    {kCentred, "Static", "0.25", 4, 4, 40, 10, kVisibleChild | SS_CENTER | SS_SUNKEN},
    {kLeft, "Static", "Left", 4, 18, 40, 8, kVisibleChild | SS_LEFT},
    {kChecked, "Button", "On", 50, 4, 40, 12, kVisibleChild | BS_AUTOCHECKBOX},
    {kUnchecked, "Button", "Off", 50, 20, 40, 12, kVisibleChild | BS_AUTOCHECKBOX},
    {kSlider, "msctls_trackbar32", "", 100, 4, 18, 68,
     kVisibleChild | TBS_VERT | TBS_BOTH | TBS_NOTICKS},
    {kHidden, "Static", "Hidden", 4, 40, 40, 20, WS_CHILD | SS_SUNKEN},
    {kDisabled, "Button", "Off", 50, 40, 40, 12, kVisibleChild | WS_DISABLED | BS_AUTOCHECKBOX},
};

constexpr platform::DialogSpec kDialog = {
    WS_POPUP | DS_SETFONT, "", 8, "MS Sans Serif", 0, 0, 130, 80, kItems, std::size(kItems),
};

// The font caches that painting fills are released when the tests end, as a program does.
class FontCacheRelease : public ::testing::Environment {
public:
    void TearDown() override { platform::ReleaseFontCaches(); }
};
const ::testing::Environment* const kFontCacheRelease =
    ::testing::AddGlobalTestEnvironment(new FontCacheRelease);

INT_PTR DialogProcedure(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

struct Box {
    int left, top, right, bottom;
};

struct SurfaceRelease {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceRelease>;

class WindowPainterTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dialog = CreateDialogIndirectParamA(nullptr, static_cast<LPCDLGTEMPLATEA>(Template.data()),
                                            nullptr, DialogProcedure, 0);
        ASSERT_NE(Dialog, nullptr);
        CheckDlgButton(Dialog, kChecked, BST_CHECKED);
        SendDlgItemMessageA(Dialog, kSlider, TBM_SETRANGE, TRUE, MAKELPARAM(10, 100));
    }
    void TearDown() override {
        if (Dialog != nullptr) DestroyWindow(Dialog);
    }

    // Paints the dialog into a new image of its client size.
    void Paint() {
        RECT client{};
        GetClientRect(Dialog, &client);
        Image.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, client.right, client.bottom));
        cairo_t* const context = cairo_create(Image.get());
        platform::PaintWindowTree(context, Dialog);
        ASSERT_EQ(cairo_status(context), CAIRO_STATUS_SUCCESS);
        cairo_destroy(context);
        cairo_surface_flush(Image.get());
    }

    std::uint32_t At(int x, int y) const {
        const unsigned char* const row =
            cairo_image_surface_get_data(Image.get()) +
            static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(Image.get());
        return reinterpret_cast<const std::uint32_t*>(row)[x] & 0xFFFFFF;
    }

    // A control's window rectangle, or a rectangle a control reports in its client
    // coordinates, in the dialog's client coordinates.
    Box BoxOf(int id) const {
        RECT rect{};
        GetWindowRect(GetDlgItem(Dialog, id), &rect);
        return Mapped(nullptr, rect);
    }
    Box Mapped(HWND from, const RECT& rect) const {
        POINT corners[2] = {{rect.left, rect.top}, {rect.right, rect.bottom}};
        MapWindowPoints(from, Dialog, corners, 2);
        return {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    }

    // The columns of pixels in `box` that differ from the face colour: [first, last], or
    // {-1, -1} for none.
    std::pair<int, int> InkColumns(const Box& box) const {
        std::pair<int, int> ink{-1, -1};
        for (int x = box.left; x < box.right; ++x) {
            for (int y = box.top; y < box.bottom; ++y) {
                if (At(x, y) == colour::kFace) continue;
                if (ink.first < 0) ink.first = x;
                ink.second = x;
            }
        }
        return ink;
    }

    void ExpectOnlyFace(const Box& box) const {
        for (int y = box.top; y < box.bottom; ++y) {
            for (int x = box.left; x < box.right; ++x) {
                ASSERT_EQ(At(x, y), colour::kFace) << x << "," << y;
            }
        }
    }

    const platform::DialogTemplateBytes Template = platform::BuildDialogTemplate(kDialog);
    HWND Dialog = nullptr;
    Surface Image;
};

TEST_F(WindowPainterTest, SunkenLabelHasItsFrameAndCentredText) {
    Paint();
    const Box label = BoxOf(kCentred);
    // The static edge: shadow along the top and left, highlight along the bottom and right, which
    // take the corners they share.
    for (int x = label.left; x < label.right - 1; ++x) EXPECT_EQ(At(x, label.top), colour::kShadow);
    for (int y = label.top; y < label.bottom - 1; ++y)
        EXPECT_EQ(At(label.left, y), colour::kShadow);
    for (int x = label.left; x < label.right; ++x) {
        EXPECT_EQ(At(x, label.bottom - 1), colour::kHighlight);
    }
    for (int y = label.top; y < label.bottom; ++y) {
        EXPECT_EQ(At(label.right - 1, y), colour::kHighlight);
    }
    const Box inside{label.left + 1, label.top + 1, label.right - 1, label.bottom - 1};
    const auto [first, last] = InkColumns(inside);
    ASSERT_GE(first, 0) << "no text drawn";
    // SS_CENTER: as much room on either side, give or take a pixel of rounding.
    EXPECT_NEAR(first - inside.left, inside.right - 1 - last, 2);

    // SS_LEFT: the text starts at the left edge (a glyph may have a pixel of side bearing).
    const Box left = BoxOf(kLeft);
    const auto [leftFirst, leftLast] = InkColumns(left);
    ASSERT_GE(leftFirst, 0) << "no text drawn";
    EXPECT_LE(leftFirst - left.left, 2);
    EXPECT_GT(left.right - 1 - leftLast, 10);
}

TEST_F(WindowPainterTest, CheckBoxesShowTheirState) {
    constexpr const char* kTick[] = {
        "......#", ".....##", "#...###", "##.###.", "#####..", ".###...", "..#....",
    };
    struct CheckCase {
        int id;
        bool ticked;
        std::uint32_t inside;
    };
    const CheckCase cases[] = {
        {kChecked, true, colour::kWindow},
        {kUnchecked, false, colour::kWindow},
        // A disabled box is filled with the face colour.
        {kDisabled, false, colour::kFace},
    };
    Paint();
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.id);
        const Box button = BoxOf(c.id);
        // The 13-pixel square, centred vertically at the left, with a sunken edge.
        const int top = button.top + (button.bottom - button.top - 13) / 2;
        const Box square{button.left, top, button.left + 13, top + 13};
        EXPECT_EQ(At(square.left, square.top), colour::kShadow);
        EXPECT_EQ(At(square.left + 1, square.top + 1), colour::kDarkShadow);
        EXPECT_EQ(At(square.right - 1, square.bottom - 1), colour::kHighlight);
        EXPECT_EQ(At(square.right - 2, square.bottom - 2), colour::kLight);
        for (int row = 0; row < 9; ++row) {
            for (int column = 0; column < 9; ++column) {
                const bool tick = c.ticked && row >= 1 && row < 8 && column >= 1 && column < 8 &&
                                  kTick[row - 1][column - 1] == '#';
                EXPECT_EQ(At(square.left + 2 + column, square.top + 2 + row),
                          tick ? colour::kText : c.inside)
                    << row << "," << column;
            }
        }
        // The text follows the square.
        const int first = InkColumns({square.right, button.top, button.right, button.bottom}).first;
        EXPECT_GE(first, square.right + 3);
    }
}

TEST_F(WindowPainterTest, TrackbarThumbFollowsThePosition) {
    const HWND slider = GetDlgItem(Dialog, kSlider);
    for (const LONG position : {10L, 55L, 100L}) {
        SCOPED_TRACE(position);
        SendMessageA(slider, TBM_SETPOS, TRUE, position);
        Paint();
        RECT thumbRect{};
        RECT channelRect{};
        SendMessageA(slider, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumbRect));
        SendMessageA(slider, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channelRect));
        const Box thumb = Mapped(slider, thumbRect);
        const Box channel = Mapped(slider, channelRect);
        const Box whole = BoxOf(kSlider);
        // The raised edge: highlight at the top left, dark shadow at the bottom right, the face
        // inside.
        EXPECT_EQ(At(thumb.left, thumb.top), colour::kHighlight);
        EXPECT_EQ(At(thumb.right - 1, thumb.bottom - 1), colour::kDarkShadow);
        EXPECT_EQ(At(thumb.left + 1, thumb.bottom - 2), colour::kShadow);
        EXPECT_EQ(At((thumb.left + thumb.right) / 2, (thumb.top + thumb.bottom) / 2),
                  colour::kFace);
        // The channel's sunken edge, on a row the thumb leaves free.
        int row = channel.top + 2;
        while (row >= thumb.top && row < thumb.bottom) ++row;
        ASSERT_LT(row, channel.bottom - 2);
        EXPECT_EQ(At(channel.left, row), colour::kShadow);
        EXPECT_EQ(At(channel.left + 1, row), colour::kDarkShadow);
        EXPECT_EQ(At(channel.right - 1, row), colour::kHighlight);
        // No dark shadow outside the thumb and the channel.
        for (int py = whole.top; py < whole.bottom; ++py) {
            for (int px = whole.left; px < whole.right; ++px) {
                const bool inThumb =
                    px >= thumb.left && px < thumb.right && py >= thumb.top && py < thumb.bottom;
                const bool inChannel = px >= channel.left && px < channel.right &&
                                       py >= channel.top && py < channel.bottom;
                if (!inThumb && !inChannel) {
                    ASSERT_NE(At(px, py), colour::kDarkShadow) << px << "," << py;
                }
            }
        }
    }
}

TEST_F(WindowPainterTest, HiddenControlsAreNotPainted) {
    Paint();
    ExpectOnlyFace(BoxOf(kHidden));
    // Shown, it has its frame.
    ShowWindow(GetDlgItem(Dialog, kHidden), SW_SHOW);
    Paint();
    const Box hidden = BoxOf(kHidden);
    EXPECT_EQ(At(hidden.left, hidden.top), colour::kShadow);
}

TEST_F(WindowPainterTest, WritesThePngWithTheClientSize) {
    const ScratchDirectory d;
    const std::string path = d / "dialog.png";
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(file, 0);
    std::string error;
    EXPECT_TRUE(platform::WriteWindowPng(Dialog, file, error)) << error;
    close(file);

    Paint();
    const Surface written(cairo_image_surface_create_from_png(path.c_str()));
    ASSERT_EQ(cairo_surface_status(written.get()), CAIRO_STATUS_SUCCESS);
    ASSERT_EQ(cairo_image_surface_get_width(written.get()),
              cairo_image_surface_get_width(Image.get()));
    ASSERT_EQ(cairo_image_surface_get_height(written.get()),
              cairo_image_surface_get_height(Image.get()));
    // The same pixels as painted directly.
    const int width = cairo_image_surface_get_width(Image.get());
    for (int y = 0; y < cairo_image_surface_get_height(Image.get()); ++y) {
        const auto* const a = reinterpret_cast<const std::uint32_t*>(
            cairo_image_surface_get_data(written.get()) +
            y * cairo_image_surface_get_stride(written.get()));
        for (int x = 0; x < width; ++x) ASSERT_EQ(a[x] & 0xFFFFFF, At(x, y)) << x << "," << y;
    }
}

TEST_F(WindowPainterTest, ReportsWhatItCannotWrite) {
    const HWND destroyed = CreateDialogIndirectParamA(
        nullptr, static_cast<LPCDLGTEMPLATEA>(Template.data()), nullptr, DialogProcedure, 0);
    DestroyWindow(destroyed);
    const int readOnly = open("/dev/null", O_RDONLY | O_CLOEXEC);
    struct FailureCase {
        const char* name;
        HWND window;
        int descriptor;
    };
    const FailureCase cases[] = {
        {"no window", nullptr, readOnly},
        {"a destroyed window", destroyed, readOnly},
        {"a descriptor not open for writing", Dialog, readOnly},
        {"no descriptor", Dialog, -1},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        EXPECT_FALSE(platform::WriteWindowPng(c.window, c.descriptor, error));
        EXPECT_NE(error, "");
    }
    close(readOnly);
}

}  // namespace
}  // namespace flanger::tool::test
