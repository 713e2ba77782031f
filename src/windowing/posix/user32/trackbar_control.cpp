// The "msctls_trackbar32" class, vertical (TBS_VERT, the minimum at the top) and horizontal.
//
// Follows COMCTL32 as Wine's trackbar.c models it, for the geometry as for the input:
// - Range 0..100, line size 1, page size 20 at creation; every range change sets the page size
//   to a fifth of the range (at least 1) and clamps the position into the range.
// - The thumb is 21 pixels long across the control (23 with TBS_ENABLESELRANGE; narrower
//   controls get their width less 6), the channel runs the control's length less a margin of
//   thumb length / 4 + 3 at both ends, and the thumb (thumb length / 2, made odd, along the
//   channel) sits at channel start + (channel length - thumb size) * (pos - min) / range.
// - Notifications go to the window that was the parent at creation, by SendMessage: WM_VSCROLL
//   for a vertical trackbar, WM_HSCROLL for a horizontal one, wParam MAKEWPARAM(code, position
//   for TB_THUMBTRACK and TB_THUMBPOSITION), lParam the trackbar.
// - A button press on the thumb starts a drag (focus, no notification); each move to a pixel
//   that means another position moves the thumb there with TB_THUMBTRACK; the release sends
//   TB_THUMBPOSITION and TB_ENDTRACK. A press in the channel beside the thumb moves one page
//   towards the pointer (TB_PAGEUP or TB_PAGEDOWN) and its release sends TB_ENDTRACK. There is
//   no auto-repeat timer here: holding the button still pages only once (moves with the button
//   held page again, as the timer would on Windows).
// - Keys: up and left a line up, down and right a line down, Page Up and Page Down a page,
//   Home and End to the ends (reversed by TBS_DOWNISLEFT on a horizontal trackbar); a key that
//   cannot move the thumb any further sends nothing; the release of any of them sends
//   TB_ENDTRACK.
// Geometry is computed from the current position on every use, as a painted control would have
// it after its last paint.
#include <cstdint>
#include <new>

#include "windowing/posix/user32/control_support.h"
#include "windowing/posix/user32/controls.h"
#include "windowing/posix/user32/window_backend.h"

namespace flanger::platform::user32 {
namespace {

class TrackbarState final : public ControlState {
public:
    LONG rangeMin = 0;
    LONG rangeMax = 100;
    LONG lineSize = 1;
    LONG pageSize = 20;
    LONG position = 0;
    int thumbLength = 0;  // across the channel
    RECT channel{};
    HWND notify = nullptr;
    bool dragging = false;
    int autoPage = 0;  // -1 paging up (left), +1 down (right), 0 not paging
};

DWORD StyleOf(HWND window) { return static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)); }

// One message's view of the trackbar. The style is read once per message, so that a trackbar
// destroyed by a notification's handler still finishes the message as it began it.
struct Trackbar {
    HWND window;
    TrackbarState& state;
    DWORD style;

    bool Vertical() const { return (style & TBS_VERT) != 0; }
};

void CalculateChannel(const Trackbar& trackbar) {
    TrackbarState& state = trackbar.state;
    RECT client{};
    GetClientRect(trackbar.window, &client);
    const int offsetThumb = state.thumbLength / 4;
    const int offsetEdge = offsetThumb + 3;
    const bool selectionRange = (trackbar.style & TBS_ENABLESELRANGE) != 0;
    const int channelWidth = selectionRange ? offsetThumb * 3 : 4;
    // The channel's offset across the control.
    int across =
        selectionRange ? (state.thumbLength - channelWidth + 2) / 2 : state.thumbLength / 2 - 1;
    if ((trackbar.style & TBS_BOTH) != 0) {
        across += (trackbar.style & TBS_NOTICKS) != 0 ? 1 : 9;
    } else if ((trackbar.style & TBS_TOP) != 0) {
        across += (trackbar.style & TBS_NOTICKS) != 0 ? 2 : 10;
    }
    if (trackbar.Vertical()) {
        state.channel = RECT{client.left + across, client.top + offsetEdge,
                             client.left + across + channelWidth, client.bottom - offsetEdge};
    } else {
        state.channel = RECT{client.left + offsetEdge, client.top + across,
                             client.right - offsetEdge, client.top + across + channelWidth};
    }
}

void InitializeThumb(const Trackbar& trackbar) {
    const int clientMetric = (trackbar.style & TBS_ENABLESELRANGE) != 0 ? 23 : 21;
    RECT client{};
    GetClientRect(trackbar.window, &client);
    const int clientWidth =
        trackbar.Vertical() ? client.right - client.left : client.bottom - client.top;
    if (clientWidth >= clientMetric) {
        trackbar.state.thumbLength = clientMetric;
    } else {
        trackbar.state.thumbLength = clientWidth > 9 ? clientWidth - 6 : 4;
    }
    CalculateChannel(trackbar);
}

RECT ThumbRect(const Trackbar& trackbar) {
    const TrackbarState& state = trackbar.state;
    std::int64_t range = static_cast<std::int64_t>(state.rangeMax) - state.rangeMin;
    if (range == 0) {
        range = 1;
    }
    const int thumbWidth = (state.thumbLength / 2) | 1;
    const std::int64_t offset = static_cast<std::int64_t>(state.position) - state.rangeMin;
    const bool ticksBeside =
        (trackbar.style & (TBS_BOTH | TBS_LEFT)) != 0 && (trackbar.style & TBS_NOTICKS) == 0;
    const RECT& channel = state.channel;
    RECT thumb{};
    if (trackbar.Vertical()) {
        const std::int64_t height = channel.bottom - channel.top - thumbWidth;
        thumb.left = ticksBeside ? 10 : 2;
        thumb.right = thumb.left + state.thumbLength;
        thumb.top = static_cast<LONG>(channel.top + height * offset / range);
        thumb.bottom = thumb.top + thumbWidth;
    } else {
        const std::int64_t width = channel.right - channel.left - thumbWidth;
        thumb.left = static_cast<LONG>(channel.left + width * offset / range);
        thumb.right = thumb.left + thumbWidth;
        thumb.top = ticksBeside ? 10 : 2;
        thumb.bottom = thumb.top + state.thumbLength;
    }
    return thumb;
}

// The position a pointer at `place` (y for vertical, x for horizontal) stands for.
LONG PlaceToPosition(const Trackbar& trackbar, int place) {
    const TrackbarState& state = trackbar.state;
    const bool vertical = trackbar.Vertical();
    const RECT thumb = ThumbRect(trackbar);
    const RECT& channel = state.channel;
    const double range = static_cast<double>(state.rangeMax) - state.rangeMin;
    const int offsetThumb =
        vertical ? (thumb.bottom - thumb.top) / 2 : (thumb.right - thumb.left) / 2;
    const int start = vertical ? channel.top : channel.left;
    const double width = (vertical ? channel.bottom - channel.top : channel.right - channel.left) -
                         offsetThumb * 2 - 1;
    double position = width > 0 ? range * (place - start - offsetThumb) / width + state.rangeMin
                                : static_cast<double>(state.rangeMin);
    if (position > state.rangeMax) {
        position = state.rangeMax;
    } else if (position < state.rangeMin) {
        position = state.rangeMin;
    }
    return static_cast<LONG>(position + 0.5);
}

void Notify(const Trackbar& trackbar, WORD code, LONG position = 0) {
    const WORD high =
        (code == TB_THUMBTRACK || code == TB_THUMBPOSITION) ? static_cast<WORD>(position) : 0;
    SendMessageA(trackbar.state.notify, trackbar.Vertical() ? WM_VSCROLL : WM_HSCROLL,
                 MAKEWPARAM(code, high), reinterpret_cast<LPARAM>(trackbar.window));
}

void ClampPosition(TrackbarState& state) {
    if (state.position < state.rangeMin) {
        state.position = state.rangeMin;
    }
    if (state.position > state.rangeMax) {
        state.position = state.rangeMax;
    }
}

void RangeChanged(TrackbarState& state) {
    state.pageSize = (state.rangeMax - state.rangeMin) / 5;
    if (state.pageSize == 0) {
        state.pageSize = 1;
    }
}

// One step towards the minimum (up) or the maximum (down); nothing at that end already.
void Step(const Trackbar& trackbar, bool up, LONG size, WORD code) {
    TrackbarState& state = trackbar.state;
    if (state.position == (up ? state.rangeMin : state.rangeMax)) {
        return;
    }
    state.position += up ? -size : size;
    ClampPosition(state);
    Backend().Invalidated(trackbar.window);
    Notify(trackbar, code);
}

// Which way a press in the channel pages: -1, +1, or 0 outside the channel beside the thumb.
int PageDirection(const Trackbar& trackbar, POINT point) {
    const RECT thumb = ThumbRect(trackbar);
    const RECT& channel = trackbar.state.channel;
    const RECT pageArea = trackbar.Vertical()
                              ? RECT{thumb.left, channel.top, thumb.right, channel.bottom}
                              : RECT{channel.left, thumb.top, channel.right, thumb.bottom};
    if (!PointInRect(pageArea, point)) {
        return 0;
    }
    const LONG clicked = PlaceToPosition(trackbar, trackbar.Vertical() ? point.y : point.x);
    const LONG position = trackbar.state.position;
    return clicked < position ? -1 : clicked > position ? 1 : 0;
}

void AutoPage(const Trackbar& trackbar, POINT point) {
    const int direction = PageDirection(trackbar, point);
    if (direction > 0 && trackbar.state.autoPage > 0) {
        Step(trackbar, false, trackbar.state.pageSize, TB_PAGEDOWN);
    } else if (direction < 0 && trackbar.state.autoPage < 0) {
        Step(trackbar, true, trackbar.state.pageSize, TB_PAGEUP);
    }
}

void MoveToEnd(const Trackbar& trackbar, bool top) {
    TrackbarState& state = trackbar.state;
    state.position = top ? state.rangeMin : state.rangeMax;
    Backend().Invalidated(trackbar.window);
    Notify(trackbar, top ? TB_TOP : TB_BOTTOM);
}

LRESULT KeyDown(const Trackbar& trackbar, WPARAM key) {
    TrackbarState& state = trackbar.state;
    // TBS_DOWNISLEFT swaps the meaning of the up and down keys on a horizontal trackbar, and
    // of left and right on a vertical one.
    const bool downIsLeft = (trackbar.style & TBS_DOWNISLEFT) != 0;
    const bool swapUpDown = !trackbar.Vertical() && downIsLeft;
    const bool swapLeftRight = trackbar.Vertical() && downIsLeft;
    const auto line = [&](bool up) {
        Step(trackbar, up, state.lineSize, up ? TB_LINEUP : TB_LINEDOWN);
    };
    const auto page = [&](bool up) {
        Step(trackbar, up, state.pageSize, up ? TB_PAGEUP : TB_PAGEDOWN);
    };
    switch (key) {
        case VK_UP:
            line(!swapUpDown);
            break;
        case VK_DOWN:
            line(swapUpDown);
            break;
        case VK_LEFT:
            line(!swapLeftRight);
            break;
        case VK_RIGHT:
            line(swapLeftRight);
            break;
        case VK_PRIOR:
            page(!swapUpDown);
            break;
        case VK_NEXT:
            page(swapUpDown);
            break;
        case VK_HOME:
            if (state.position == state.rangeMin) {
                return FALSE;
            }
            MoveToEnd(trackbar, true);
            break;
        case VK_END:
            if (state.position == state.rangeMax) {
                return FALSE;
            }
            MoveToEnd(trackbar, false);
            break;
        default:
            break;
    }
    return TRUE;
}

bool IsMovementKey(WPARAM key) {
    switch (key) {
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN:
        case VK_NEXT:
        case VK_PRIOR:
        case VK_HOME:
        case VK_END:
            return true;
        default:
            return false;
    }
}

LRESULT ButtonDown(const Trackbar& trackbar, POINT point) {
    SetFocus(trackbar.window);
    if (PointInRect(ThumbRect(trackbar), point)) {
        trackbar.state.dragging = true;
        Backend().Invalidated(trackbar.window);
        return 0;
    }
    const int direction = PageDirection(trackbar, point);
    if (direction == 0) {
        return 0;
    }
    trackbar.state.autoPage = direction;
    AutoPage(trackbar, point);
    return 0;
}

LRESULT ButtonUp(const Trackbar& trackbar) {
    TrackbarState& state = trackbar.state;
    // The flags are cleared before the notifications, so that a handler that sends the
    // trackbar messages of its own sees a finished drag.
    if (state.dragging) {
        state.dragging = false;
        Backend().Invalidated(trackbar.window);
        Notify(trackbar, TB_THUMBPOSITION, state.position);
        Notify(trackbar, TB_ENDTRACK);
    }
    if (state.autoPage != 0) {
        state.autoPage = 0;
        Notify(trackbar, TB_ENDTRACK);
    }
    return 0;
}

LRESULT MouseMove(const Trackbar& trackbar, POINT point) {
    TrackbarState& state = trackbar.state;
    if (state.autoPage != 0) {
        AutoPage(trackbar, point);
        return TRUE;
    }
    if (!state.dragging) {
        return TRUE;
    }
    const LONG dragged = PlaceToPosition(trackbar, trackbar.Vertical() ? point.y : point.x);
    if (dragged == state.position) {
        return TRUE;
    }
    state.position = dragged;
    Backend().Invalidated(trackbar.window);
    Notify(trackbar, TB_THUMBTRACK, state.position);
    return TRUE;
}

}  // namespace

LRESULT TrackbarProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto control = FindOwnControl<TrackbarState>(window);
    if (control.window == nullptr) {
        return 0;
    }
    if (message == WM_CREATE) {
        try {
            auto state = std::make_unique<TrackbarState>();
            const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            state->notify = create != nullptr ? create->hwndParent : GetParent(window);
            InitializeThumb(Trackbar{window, *state, StyleOf(window)});
            control.window->control = std::move(state);
        } catch (const std::bad_alloc&) {
            return -1;
        }
        return 0;
    }
    if (control.state == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    const Trackbar trackbar{window, *control.state, StyleOf(window)};
    TrackbarState& state = *control.state;
    const LONG value = static_cast<LONG>(lParam);
    switch (message) {
        case TBM_GETPOS:
            return state.position;
        case TBM_GETRANGEMIN:
            return state.rangeMin;
        case TBM_GETRANGEMAX:
            return state.rangeMax;
        case TBM_GETLINESIZE:
            return state.lineSize;
        case TBM_GETPAGESIZE:
            return state.pageSize;
        case TBM_SETPOS:
            state.position = value;
            ClampPosition(state);
            Backend().Invalidated(window);
            return 0;
        case TBM_SETRANGE:
            state.rangeMin = static_cast<short>(LOWORD(lParam));
            state.rangeMax = static_cast<short>(HIWORD(lParam));
            ClampPosition(state);
            RangeChanged(state);
            Backend().Invalidated(window);
            return 0;
        case TBM_SETRANGEMIN:
            state.rangeMin = value;
            if (state.position < state.rangeMin) {
                state.position = state.rangeMin;
            }
            RangeChanged(state);
            Backend().Invalidated(window);
            return 0;
        case TBM_SETRANGEMAX:
            state.rangeMax = value;
            if (state.position > state.rangeMax) {
                state.position = state.rangeMax;
            }
            RangeChanged(state);
            Backend().Invalidated(window);
            return 0;
        case TBM_SETLINESIZE: {
            const LONG previous = state.lineSize;
            state.lineSize = value;
            return previous;
        }
        case TBM_SETPAGESIZE: {
            const LONG previous = state.pageSize;
            state.pageSize = value;
            return previous;
        }
        case TBM_GETTHUMBRECT:
            if (lParam == 0) {
                return FALSE;
            }
            *reinterpret_cast<RECT*>(lParam) = ThumbRect(trackbar);
            return TRUE;
        case TBM_GETCHANNELRECT:
            if (lParam != 0) {
                *reinterpret_cast<RECT*>(lParam) = state.channel;
            }
            return 0;
        case WM_SIZE:
            InitializeThumb(trackbar);
            return 0;
        case WM_LBUTTONDOWN:
            return ButtonDown(trackbar, PointFromLParam(lParam));
        case WM_LBUTTONUP:
            return ButtonUp(trackbar);
        case WM_MOUSEMOVE:
            return MouseMove(trackbar, PointFromLParam(lParam));
        case WM_KEYDOWN:
            return KeyDown(trackbar, wParam);
        case WM_KEYUP:
            if (IsMovementKey(wParam)) {
                Notify(trackbar, TB_ENDTRACK);
            }
            return TRUE;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            Backend().Invalidated(window);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace flanger::platform::user32
