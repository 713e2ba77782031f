// The recording window class and the windowing tests' fixture.
#include "window_test_support.h"

#include <cstdio>
#include <map>

namespace flanger::platform::test {
namespace {

thread_local std::vector<LoggedMessage> Messages;
thread_local Reaction CurrentReaction;
thread_local std::map<HWND, std::string> Names;
thread_local std::vector<HWND> TopLevel;

}  // namespace

LRESULT RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Messages.push_back(LoggedMessage{window, message, wParam, lParam});
    if (CurrentReaction) {
        // A copy: the reaction may replace itself.
        const Reaction reaction = CurrentReaction;
        if (const std::optional<LRESULT> result = reaction(window, message, wParam, lParam)) {
            return *result;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

INT_PTR RecordingDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    Messages.push_back(LoggedMessage{dialog, message, wParam, lParam});
    if (CurrentReaction) {
        const Reaction reaction = CurrentReaction;
        if (const std::optional<LRESULT> result = reaction(dialog, message, wParam, lParam)) {
            return *result;
        }
    }
    return FALSE;
}

std::vector<LoggedMessage>& Log() { return Messages; }

void SetReaction(Reaction reaction) { CurrentReaction = std::move(reaction); }

void Name(HWND window, const std::string& name) { Names[window] = name; }

std::string MessageName(UINT message) {
    static const std::map<UINT, const char*> kNames = {
        {WM_CREATE, "WM_CREATE"},       {WM_DESTROY, "WM_DESTROY"},
        {WM_MOVE, "WM_MOVE"},           {WM_SIZE, "WM_SIZE"},
        {WM_SETFOCUS, "WM_SETFOCUS"},   {WM_KILLFOCUS, "WM_KILLFOCUS"},
        {WM_ENABLE, "WM_ENABLE"},       {WM_SETTEXT, "WM_SETTEXT"},
        {WM_GETTEXT, "WM_GETTEXT"},     {WM_SHOWWINDOW, "WM_SHOWWINDOW"},
        {WM_SETFONT, "WM_SETFONT"},     {WM_NCCREATE, "WM_NCCREATE"},
        {WM_NCDESTROY, "WM_NCDESTROY"}, {WM_INITDIALOG, "WM_INITDIALOG"},
        {WM_COMMAND, "WM_COMMAND"},     {WM_HSCROLL, "WM_HSCROLL"},
        {WM_VSCROLL, "WM_VSCROLL"},     {WM_CLOSE, "WM_CLOSE"},
        {WM_USER, "WM_USER"},
    };
    const auto found = kNames.find(message);
    if (found != kNames.end()) {
        return found->second;
    }
    char number[16];
    std::snprintf(number, sizeof number, "0x%04X", message);
    return number;
}

std::vector<std::string> Trace(std::initializer_list<UINT> kinds) {
    std::vector<std::string> lines;
    for (const LoggedMessage& logged : Messages) {
        if (std::find(kinds.begin(), kinds.end(), logged.message) == kinds.end()) {
            continue;
        }
        const auto name = Names.find(logged.window);
        lines.push_back((name != Names.end() ? name->second : std::string("?")) + " " +
                        MessageName(logged.message));
    }
    return lines;
}

HWND MakeWindow(const std::string& name, HWND parent, DWORD style, int x, int y, int width,
                int height, int id) {
    const HWND window =
        CreateWindowExA(0, kRecordingClass, name.c_str(), style, x, y, width, height, parent,
                        reinterpret_cast<HMENU>(static_cast<std::intptr_t>(id)), nullptr, nullptr);
    EXPECT_NE(window, nullptr) << name << " error " << GetLastError();
    Name(window, name);
    if ((style & WS_CHILD) == 0) {
        TopLevel.push_back(window);
    }
    return window;
}

void WindowTest::SetUp() {
    static const ATOM registered = [] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = RecordingProcedure;
        windowClass.lpszClassName = kRecordingClass;
        return RegisterClassA(&windowClass);
    }();
    ASSERT_NE(registered, 0);
    Messages.clear();
    CurrentReaction = nullptr;
}

void WindowTest::TearDown() {
    CurrentReaction = nullptr;
    for (HWND window : TopLevel) {
        if (IsWindow(window)) {
            DestroyWindow(window);
        }
    }
    TopLevel.clear();
    Messages.clear();
    Names.clear();
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
}

}  // namespace flanger::platform::test
