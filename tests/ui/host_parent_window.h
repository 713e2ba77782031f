// The host's side of a settings window in the tests: a parent window whose procedure records
// every WM_COMMAND it gets, and the draining of the thread's message queue (the settings window
// posts its notifications, so they arrive only when the host's loop dispatches them).
#pragma once

#include <vector>

#include "windowing/user32.h"

namespace flanger::test {

struct ReceivedCommand {
    WPARAM wParam;
    LPARAM lParam;
};

class HostParentWindow {
public:
    // A visible top-level window of 400 x 300 pixels.
    HostParentWindow();
    // Destroys the window if it still exists and drops what is still queued for it.
    ~HostParentWindow();
    HostParentWindow(const HostParentWindow&) = delete;
    HostParentWindow& operator=(const HostParentWindow&) = delete;

    HWND Handle() const { return m_window; }

    // Dispatches every message queued on this thread, then returns the WM_COMMAND messages the
    // window received since the last call, in order.
    std::vector<ReceivedCommand> TakeCommands();

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_window = nullptr;
    std::vector<ReceivedCommand> m_commands;
};

// Dispatches every message queued on this thread.
void DispatchPendingMessages();

}  // namespace flanger::test
