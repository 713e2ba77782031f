// The tests' parent window.
#include "host_parent_window.h"

#include <utility>

#ifndef _WIN32
#include <gtest/gtest.h>
#endif

namespace flanger::test {
namespace {

constexpr char kClassName[] = "FlangerTestHostParent";

#ifndef _WIN32
// On a display (the X11 run of these tests) painting fills font caches for the life of the
// process; they go after the last test, so that the leak checker sees only what the tests left.
class DisplayCaches : public ::testing::Environment {
    void TearDown() override { FlangerReleaseDisplayCaches(); }
};
[[maybe_unused]] ::testing::Environment* const kDisplayCaches =
    ::testing::AddGlobalTestEnvironment(new DisplayCaches);
#endif

ATOM RegisterParentClass(WNDPROC procedure) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.lpszClassName = kClassName;
    return RegisterClassA(&windowClass);
}

}  // namespace

HostParentWindow::HostParentWindow() {
    static const ATOM registered = RegisterParentClass(&HostParentWindow::Procedure);
    if (registered == 0) return;
    m_window = CreateWindowExA(0, kClassName, "Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400,
                               300, nullptr, nullptr, nullptr, nullptr);
    if (m_window != nullptr)
        SetWindowLongPtrA(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

HostParentWindow::~HostParentWindow() {
    if (IsWindow(m_window)) DestroyWindow(m_window);
    DispatchPendingMessages();
}

std::vector<ReceivedCommand> HostParentWindow::TakeCommands() {
    DispatchPendingMessages();
    return std::exchange(m_commands, {});
}

LRESULT CALLBACK HostParentWindow::Procedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    auto* const self =
        reinterpret_cast<HostParentWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_COMMAND && self != nullptr) self->m_commands.push_back({wParam, lParam});
    return DefWindowProcA(window, message, wParam, lParam);
}

void DispatchPendingMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

}  // namespace flanger::test
