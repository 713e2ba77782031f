// What the predefined controls share: finding their own state from inside their procedure.
#pragma once

#include <memory>

#include "windowing/posix/user32/window_table.h"

namespace flanger::platform::user32 {

// The control's window (kept alive for the length of the message) and its state of type
// `State`; window null when the handle is invalid or another thread's, state null before the
// control's WM_CREATE or for a window of another kind.
template <typename State>
struct OwnControl {
    std::shared_ptr<Window> window;
    State* state = nullptr;
};

template <typename State>
OwnControl<State> FindOwnControl(HWND handle) {
    OwnControl<State> found;
    found.window = LookupOwnWindow(handle);
    if (found.window != nullptr) {
        found.state = dynamic_cast<State*>(found.window->control.get());
    }
    return found;
}

inline bool PointInRect(const RECT& rect, POINT point) {
    return point.x >= rect.left && point.x < rect.right && point.y >= rect.top &&
           point.y < rect.bottom;
}

inline POINT PointFromLParam(LPARAM lParam) {
    return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
}

}  // namespace flanger::platform::user32
