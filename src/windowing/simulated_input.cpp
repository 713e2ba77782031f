// The simulated person: window messages at pixel positions, computed from what the controls
// report about themselves (TBM_GETTHUMBRECT, TBM_GETCHANNELRECT, GetClientRect), so the same
// code drives the layer's controls and the real ones on Windows.
#include "windowing/simulated_input.h"

#include <cstdint>
#include <cstdlib>

namespace flanger::platform {
namespace {

// Along the channel and across it, as a client point.
struct TrackbarAxis {
    bool vertical = false;
    int across = 0;  // the thumb's middle across the channel

    POINT At(int along) const { return vertical ? POINT{across, along} : POINT{along, across}; }
};

RECT ThumbRect(HWND trackbar) {
    RECT rect{};
    SendMessageA(trackbar, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&rect));
    return rect;
}

RECT ChannelRect(HWND trackbar) {
    RECT rect{};
    SendMessageA(trackbar, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&rect));
    return rect;
}

LONG Position(HWND trackbar) { return static_cast<LONG>(SendMessageA(trackbar, TBM_GETPOS, 0, 0)); }

TrackbarAxis AxisOf(HWND trackbar, const RECT& thumb) {
    TrackbarAxis axis;
    axis.vertical = (GetWindowLongA(trackbar, GWL_STYLE) & TBS_VERT) != 0;
    axis.across = axis.vertical ? (thumb.left + thumb.right) / 2 : (thumb.top + thumb.bottom) / 2;
    return axis;
}

LPARAM PointParam(POINT point) { return MAKELPARAM(point.x, point.y); }

void ButtonDown(HWND window, POINT point) {
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, PointParam(point));
}

void MoveHeld(HWND window, POINT point) {
    SendMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, PointParam(point));
}

void ButtonUp(HWND window, POINT point) {
    SendMessageA(window, WM_LBUTTONUP, 0, PointParam(point));
}

}  // namespace

LONG DragThumb(HWND trackbar, LONG toPosition) {
    const RECT thumb = ThumbRect(trackbar);
    const RECT channel = ChannelRect(trackbar);
    RECT client{};
    GetClientRect(trackbar, &client);
    const TrackbarAxis axis = AxisOf(trackbar, thumb);
    const LONG rangeMin = static_cast<LONG>(SendMessageA(trackbar, TBM_GETRANGEMIN, 0, 0));
    const LONG rangeMax = static_cast<LONG>(SendMessageA(trackbar, TBM_GETRANGEMAX, 0, 0));
    LONG target = toPosition;
    if (rangeMin <= rangeMax) {
        target = target < rangeMin ? rangeMin : target > rangeMax ? rangeMax : target;
    }

    const int grab =
        axis.vertical ? (thumb.top + thumb.bottom) / 2 : (thumb.left + thumb.right) / 2;
    ButtonDown(trackbar, axis.At(grab));

    // Where the target should be: the thumb's middle travels from one end of the channel to the
    // other, half a thumb in from each.
    const int half = (axis.vertical ? thumb.bottom - thumb.top : thumb.right - thumb.left) / 2;
    const int first = (axis.vertical ? channel.top : channel.left) + half;
    const int last = (axis.vertical ? channel.bottom : channel.right) - half - 1;
    int estimate = first;
    if (rangeMax > rangeMin) {
        estimate = first +
                   static_cast<int>((static_cast<std::int64_t>(last - first) * (target - rangeMin) +
                                     (rangeMax - rangeMin) / 2) /
                                    (rangeMax - rangeMin));
    }
    constexpr int kSteps = 4;
    for (int step = 1; step <= kSteps; ++step) {
        MoveHeld(trackbar, axis.At(grab + (estimate - grab) * step / kSteps));
    }

    // Then pixel by pixel, watching the thumb, until it shows the target; where the target
    // falls between two pixels, the nearer of the two.
    const int lowest = axis.vertical ? client.top : client.left;
    const int highest = (axis.vertical ? client.bottom : client.right) - 1;
    int along = estimate;
    LONG position = Position(trackbar);
    const int direction = position < target ? 1 : -1;
    while (position != target) {
        const int next = along + direction;
        if (next < lowest || next > highest) {
            break;
        }
        MoveHeld(trackbar, axis.At(next));
        const LONG now = Position(trackbar);
        const bool passed = direction > 0 ? now > target : now < target;
        if (passed) {
            if (std::labs(now - target) > std::labs(position - target)) {
                MoveHeld(trackbar, axis.At(along));
            } else {
                along = next;
            }
            break;
        }
        along = next;
        position = now;
    }
    ButtonUp(trackbar, axis.At(along));
    return Position(trackbar);
}

void ClickThumb(HWND trackbar) {
    const RECT thumb = ThumbRect(trackbar);
    const POINT middle{(thumb.left + thumb.right) / 2, (thumb.top + thumb.bottom) / 2};
    ButtonDown(trackbar, middle);
    ButtonUp(trackbar, middle);
}

LONG ClickChannel(HWND trackbar, LONG towardPosition) {
    const LONG position = Position(trackbar);
    if (towardPosition == position) {
        return position;
    }
    const RECT thumb = ThumbRect(trackbar);
    const RECT channel = ChannelRect(trackbar);
    const TrackbarAxis axis = AxisOf(trackbar, thumb);
    const int thumbStart = axis.vertical ? thumb.top : thumb.left;
    const int thumbEnd = axis.vertical ? thumb.bottom : thumb.right;
    // The far end of the channel on that side, if the thumb leaves any of it uncovered.
    int along = 0;
    if (towardPosition < position) {
        along = axis.vertical ? channel.top : channel.left;
        if (along >= thumbStart) {
            return position;
        }
    } else {
        along = (axis.vertical ? channel.bottom : channel.right) - 1;
        if (along < thumbEnd) {
            return position;
        }
    }
    ButtonDown(trackbar, axis.At(along));
    ButtonUp(trackbar, axis.At(along));
    return Position(trackbar);
}

void PressKey(HWND window, UINT virtualKey) {
    SetFocus(window);
    // Repeat count 1; the release also has the previous-state and transition bits.
    SendMessageA(window, WM_KEYDOWN, virtualKey, 1);
    SendMessageA(window, WM_KEYUP, virtualKey,
                 static_cast<LPARAM>(static_cast<DWORD>(0xC0000001u)));
}

void ClickButton(HWND button) {
    RECT client{};
    GetClientRect(button, &client);
    const POINT middle{(client.left + client.right) / 2, (client.top + client.bottom) / 2};
    ButtonDown(button, middle);
    ButtonUp(button, middle);
}

}  // namespace flanger::platform
