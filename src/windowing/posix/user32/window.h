// One window as the layer keeps it: what USER32 holds behind a window handle.
//
// Every field except `control` is guarded by LayerMutex() (window_table.h): other threads may
// read a window's style, text or geometry and post to it. `control` belongs to the window's
// own thread, where its procedure runs, and is used without the lock.
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "flanger_user32.h"

namespace flanger::platform::user32 {

struct ThreadQueue;
struct WindowClass;

// The private state of a predefined control (a button's check state, a trackbar's range).
class ControlState {
public:
    virtual ~ControlState() = default;
};

// What the dialog manager keeps for a dialog window.
struct DialogInfo {
    HFONT font = nullptr;  // the template's font, null without DS_SETFONT
    int baseUnitX = 0;     // pixels per 4 horizontal dialog units
    int baseUnitY = 0;     // pixels per 8 vertical dialog units
    HWND savedFocus = nullptr;
};

struct Window {
    HWND handle = nullptr;
    std::thread::id thread;              // the thread that created it
    std::shared_ptr<ThreadQueue> queue;  // that thread's message queue
    std::shared_ptr<const WindowClass> windowClass;
    WNDPROC procedure = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::string text;
    LONG_PTR id = 0;  // control id of a child window, menu handle of a top-level one
    HINSTANCE instance = nullptr;
    LONG_PTR userData = 0;
    std::vector<unsigned char> extraBytes;  // the class's cbWndExtra bytes
    HWND parent = nullptr;                  // child windows
    HWND owner = nullptr;                   // top-level windows
    std::vector<HWND> children;             // in window order (creation order)
    RECT rect{};           // in the parent's client coordinates; screen ones for top-level windows
    HFONT font = nullptr;  // what the window draws its text with, null for the system font
    bool destroyStarted = false;  // DestroyWindow has begun, WM_DESTROY is sent or on its way
    bool finalStarted = false;    // WM_NCDESTROY is on its way
    std::unique_ptr<DialogInfo> dialog;
    std::unique_ptr<ControlState> control;
};

}  // namespace flanger::platform::user32
