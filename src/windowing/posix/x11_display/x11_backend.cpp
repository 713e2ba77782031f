// The X11 backend of the windowing layer: every window of the layer becomes an X11 window (a
// child window a child of its parent's, in creation order), painted by the window painter when
// the X server exposes it or the layer says it changed; the X server's mouse and key events
// become the messages the controls already understand.
//
// Nothing here runs on a thread of its own. Whichever thread looks at its message queue polls
// the connection (Poll) and posts what it read to the windows' own queues; painting and key
// routing happen when the owner dispatches those messages (Dispatch), on the owner's thread,
// since the painter reads the controls by sending them messages. Expose and change notices post
// one WM_PAINT per window until it is painted.
//
// Keys go where the layer's focus is, as a dialog loop would send them: Tab and Shift+Tab move
// the focus between the tab stops of the focus window's parent; the wheel over a trackbar is an
// arrow key pressed and released on it.
#include <cairo-xcb.h>
#include <cairo.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "windowing/posix/user32/window_backend.h"
#include "windowing/posix/window_painter/window_painter.h"

namespace flanger::platform::user32 {
namespace {

// Messages of this backend's own, posted to a window and taken back in Dispatch before any
// procedure sees them; from the range Windows keeps for the system and leaves unused.
constexpr UINT kKeyInput = 0x03FE;    // wParam: virtual key; lParam: kKeyDown, kShift
constexpr UINT kWheelInput = 0x03FD;  // wParam: VK_UP or VK_DOWN
constexpr LPARAM kKeyDown = 1;
constexpr LPARAM kShift = 2;

// X11 key symbols (X11/keysymdef.h) and the virtual keys they stand for.
struct KeyMapping {
    xcb_keysym_t symbol;
    UINT virtualKey;
};
constexpr KeyMapping kKeys[] = {
    {0xFF09, VK_TAB},   {0xFE20, VK_TAB},  // Tab, and Shift+Tab as many layouts report it
    {0x0020, VK_SPACE}, {0xFF50, VK_HOME},   {0xFF51, VK_LEFT},   {0xFF52, VK_UP},
    {0xFF53, VK_RIGHT}, {0xFF54, VK_DOWN},   {0xFF55, VK_PRIOR},  {0xFF56, VK_NEXT},
    {0xFF57, VK_END},   {0xFF0D, VK_RETURN}, {0xFF1B, VK_ESCAPE},
};

constexpr std::uint8_t kLeftButton = 1;
constexpr std::uint8_t kWheelUp = 4;
constexpr std::uint8_t kWheelDown = 5;

constexpr std::uint32_t kEvents = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS |
                                  XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_BUTTON_MOTION |
                                  XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE;

// A visual of the screen and its depth.
struct Visual {
    xcb_visualtype_t* type = nullptr;
    std::uint8_t depth = 0;
};

struct NativeWindow {
    xcb_window_t id = XCB_NONE;
    Visual visual;             // the parent's: a host's window may have another than the screen
    bool foreign = false;      // someone else's window that a handle stands for
    bool paintPosted = false;  // a WM_PAINT is on its way
};

bool HasClass(HWND window, const char* name) {
    char found[64] = {};
    return GetClassNameA(window, found, static_cast<int>(sizeof found)) > 0 &&
           strcasecmp(found, name) == 0;
}

// The window's rectangle in its parent's client coordinates (screen ones for a top-level one).
RECT PlacedRect(HWND window, HWND parent) {
    RECT rect{};
    GetWindowRect(window, &rect);
    if (parent != nullptr) MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::uint16_t Extent(LONG from, LONG to) {
    const LONG extent = to - from;
    return static_cast<std::uint16_t>(extent < 1 ? 1 : extent > 0x7FFF ? 0x7FFF : extent);
}

// The next (or previous) visible, enabled tab stop after `focus` among its siblings, round.
HWND NextTabStop(HWND focus, bool backwards) {
    std::vector<HWND> stops;
    const HWND container = GetParent(focus);
    if (container == nullptr) return nullptr;
    for (HWND child = GetWindow(container, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (child == focus || ((GetWindowLongA(child, GWL_STYLE) & WS_TABSTOP) != 0 &&
                               IsWindowVisible(child) && IsWindowEnabled(child))) {
            stops.push_back(child);
        }
    }
    for (std::size_t i = 0; i < stops.size(); ++i) {
        if (stops[i] != focus) continue;
        const std::size_t count = stops.size();
        return stops[backwards ? (i + count - 1) % count : (i + 1) % count];
    }
    return nullptr;
}

class X11Backend final : public WindowBackend {
public:
    // Null when the display cannot be opened.
    static X11Backend* Open(const char* displayName) {
        int screenNumber = 0;
        xcb_connection_t* connection = xcb_connect(displayName, &screenNumber);
        if (xcb_connection_has_error(connection) != 0) {
            xcb_disconnect(connection);
            return nullptr;
        }
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
        for (int i = 0; i < screenNumber && screens.rem > 0; ++i) xcb_screen_next(&screens);
        const Visual visual =
            screens.rem > 0 ? FindVisual(*screens.data, screens.data->root_visual) : Visual{};
        if (visual.type == nullptr) {
            xcb_disconnect(connection);
            return nullptr;
        }
        return new (std::nothrow) X11Backend(connection, screens.data, visual);
    }

    void WindowCreated(HWND window) noexcept override {
        if (HasClass(window, kForeignWindowClass)) return;  // AdoptForeignWindow follows
        const LONG style = GetWindowLongA(window, GWL_STYLE);
        const HWND parent = (style & WS_CHILD) != 0 ? GetParent(window) : nullptr;
        NativeWindow parentNative{Screen->root, RootVisual};
        if (parent != nullptr && (parentNative = Find(parent)).id == XCB_NONE) return;
        const Visual visual = parentNative.visual;
        const RECT rect = PlacedRect(window, parent);
        const xcb_window_t id = xcb_generate_id(Connection);
        // A top-level window also hears of its own destruction by someone else (a close
        // request that does not ask first, such as xdotool's windowclose).
        const std::uint32_t events =
            parent == nullptr ? kEvents | XCB_EVENT_MASK_STRUCTURE_NOTIFY : kEvents;
        // The face colour as a TrueColor pixel (opaque where the depth has alpha), until the
        // painter has been.
        const std::uint32_t face = classic_colour::kFace | (visual.depth == 32 ? 0xFF000000u : 0);
        const std::uint32_t values[] = {face, events};
        xcb_create_window(Connection, XCB_COPY_FROM_PARENT, id, parentNative.id,
                          static_cast<std::int16_t>(rect.left), static_cast<std::int16_t>(rect.top),
                          Extent(rect.left, rect.right), Extent(rect.top, rect.bottom), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                          XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
        if (parent == nullptr) {
            xcb_change_property(Connection, XCB_PROP_MODE_REPLACE, id, WmProtocols, XCB_ATOM_ATOM,
                                32, 1, &WmDeleteWindow);
        }
        if (!Remember(window, NativeWindow{id, visual, false, false})) {
            xcb_destroy_window(Connection, id);  // out of memory: the window stays headless
            xcb_flush(Connection);
            return;
        }
        SetTitle(window, id);
        if ((style & WS_VISIBLE) != 0) xcb_map_window(Connection, id);
        xcb_flush(Connection);
    }

    void WindowDestroyed(HWND window) noexcept override {
        NativeWindow native;
        {
            std::lock_guard lock(Mutex);
            const auto found = ByHandle.find(window);
            if (found == ByHandle.end()) return;
            native = found->second;
            ByNative.erase(native.id);
            ByHandle.erase(found);
        }
        // A child's X window may be gone with its parent's already; the error is ignored.
        if (!native.foreign) xcb_destroy_window(Connection, native.id);
        xcb_flush(Connection);
    }

    void WindowMoved(HWND window, const RECT& rect) noexcept override {
        const NativeWindow native = Find(window);
        if (native.id == XCB_NONE || native.foreign) return;
        const std::uint32_t values[] = {
            static_cast<std::uint32_t>(rect.left), static_cast<std::uint32_t>(rect.top),
            Extent(rect.left, rect.right), Extent(rect.top, rect.bottom)};
        xcb_configure_window(Connection, native.id,
                             XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                                 XCB_CONFIG_WINDOW_HEIGHT,
                             values);
        xcb_flush(Connection);
        Invalidated(window);
    }

    void WindowShown(HWND window, bool visible) noexcept override {
        const NativeWindow native = Find(window);
        if (native.id == XCB_NONE || native.foreign) return;
        if (visible) {
            xcb_map_window(Connection, native.id);
        } else {
            xcb_unmap_window(Connection, native.id);
        }
        xcb_flush(Connection);
    }

    void TextChanged(HWND window) noexcept override {
        const NativeWindow native = Find(window);
        if (native.id == XCB_NONE || native.foreign) return;
        SetTitle(window, native.id);
        Invalidated(window);
    }

    void Invalidated(HWND window) noexcept override { PostPaint(window); }

    bool Polls() const noexcept override { return true; }

    bool Lost() const noexcept override { return xcb_connection_has_error(Connection) != 0; }

    void ReleaseCaches() noexcept override { ReleaseFontCaches(); }

    void Poll() noexcept override {
        // One reader at a time; another thread already reading posts for everyone.
        std::unique_lock reading(PollMutex, std::try_to_lock);
        if (!reading.owns_lock()) return;
        while (xcb_generic_event_t* event = xcb_poll_for_event(Connection)) {
            Handle(*event);
            std::free(event);
        }
    }

    bool Dispatch(const MSG& message) noexcept override {
        try {
            return DispatchOwn(message);
        } catch (...) {
            return true;  // out of memory while painting or routing: the message is dropped
        }
    }

    bool AdoptForeignWindow(HWND window, std::uintptr_t native) noexcept override {
        const auto id = static_cast<xcb_window_t>(native);
        if (id == XCB_NONE || id != native) return false;
        xcb_get_geometry_reply_t* geometry =
            xcb_get_geometry_reply(Connection, xcb_get_geometry(Connection, id), nullptr);
        xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
            Connection, xcb_get_window_attributes(Connection, id), nullptr);
        const Visual visual =
            attributes != nullptr ? FindVisual(*Screen, attributes->visual) : Visual{};
        const int width = geometry != nullptr ? geometry->width : 0;
        const int height = geometry != nullptr ? geometry->height : 0;
        std::free(geometry);
        std::free(attributes);
        if (visual.type == nullptr || !Remember(window, NativeWindow{id, visual, true, false})) {
            return false;
        }
        MoveWindow(window, 0, 0, width, height, FALSE);
        return true;
    }

    // After a round trip, so that the window exists for other clients of the X server (the host
    // that embeds it) by the time they hear of it.
    std::uintptr_t NativeWindowOf(HWND window) noexcept override {
        const xcb_window_t id = Find(window).id;
        if (id != XCB_NONE)
            std::free(
                xcb_get_input_focus_reply(Connection, xcb_get_input_focus(Connection), nullptr));
        return id;
    }

private:
    X11Backend(xcb_connection_t* connection, xcb_screen_t* screen, Visual rootVisual)
        : Connection(connection),
          Screen(screen),
          RootVisual(rootVisual),
          Keys(xcb_key_symbols_alloc(connection)),
          WmProtocols(Atom("WM_PROTOCOLS")),
          WmDeleteWindow(Atom("WM_DELETE_WINDOW")),
          NetWmName(Atom("_NET_WM_NAME")),
          Utf8String(Atom("UTF8_STRING")) {}

    static Visual FindVisual(const xcb_screen_t& screen, xcb_visualid_t id) {
        for (auto depths = xcb_screen_allowed_depths_iterator(&screen); depths.rem > 0;
             xcb_depth_next(&depths)) {
            for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0;
                 xcb_visualtype_next(&visuals)) {
                if (visuals.data->visual_id == id) return {visuals.data, depths.data->depth};
            }
        }
        return {};
    }

    xcb_atom_t Atom(const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            Connection,
            xcb_intern_atom(Connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr);
        const xcb_atom_t atom = reply != nullptr ? reply->atom : XCB_NONE;
        std::free(reply);
        return atom;
    }

    // Enters the pair in both maps (a foreign window only in the first: its events are not
    // ours); false when memory runs out.
    bool Remember(HWND window, const NativeWindow& native) noexcept {
        try {
            std::lock_guard lock(Mutex);
            ByHandle[window] = native;
            if (!native.foreign) ByNative[native.id] = window;
            return true;
        } catch (...) {
            std::lock_guard lock(Mutex);
            ByHandle.erase(window);
            return false;
        }
    }

    NativeWindow Find(HWND window) {
        std::lock_guard lock(Mutex);
        const auto found = ByHandle.find(window);
        return found != ByHandle.end() ? found->second : NativeWindow{};
    }

    xcb_window_t NativeOf(HWND window) { return Find(window).id; }

    HWND HandleOf(xcb_window_t id) {
        std::lock_guard lock(Mutex);
        const auto found = ByNative.find(id);
        return found != ByNative.end() ? found->second : nullptr;
    }

    // Every window is named by its text: a top-level one's title, and a name by which tools such
    // as xdotool find a control.
    void SetTitle(HWND window, xcb_window_t id) {
        char title[256] = {};
        const int length = GetWindowTextA(window, title, static_cast<int>(sizeof title));
        const auto size = static_cast<std::uint32_t>(length > 0 ? length : 0);
        xcb_change_property(Connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NAME,
                            XCB_ATOM_STRING, 8, size, title);
        xcb_change_property(Connection, XCB_PROP_MODE_REPLACE, id, NetWmName, Utf8String, 8, size,
                            title);
        xcb_flush(Connection);
    }

    void PostPaint(HWND window) {
        {
            std::lock_guard lock(Mutex);
            const auto found = ByHandle.find(window);
            if (found == ByHandle.end() || found->second.foreign || found->second.paintPosted) {
                return;
            }
            found->second.paintPosted = true;
        }
        PostMessageA(window, WM_PAINT, 0, 0);
    }

    bool Paint(HWND window) {
        NativeWindow native;
        {
            std::lock_guard lock(Mutex);
            const auto found = ByHandle.find(window);
            if (found == ByHandle.end() || found->second.foreign) return false;
            found->second.paintPosted = false;
            native = found->second;
        }
        RECT client{};
        GetClientRect(window, &client);
        if (client.right <= 0 || client.bottom <= 0) return true;
        cairo_surface_t* surface = cairo_xcb_surface_create(
            Connection, native.id, native.visual.type, client.right, client.bottom);
        cairo_t* context = cairo_create(surface);
        // Painted aside and put on the screen at once, so that nothing flickers.
        cairo_push_group(context);
        PaintWindowTree(context, window);
        cairo_pop_group_to_source(context);
        cairo_paint(context);
        cairo_destroy(context);
        cairo_surface_flush(surface);
        cairo_surface_destroy(surface);
        xcb_flush(Connection);
        return true;
    }

    bool DispatchOwn(const MSG& message) {
        switch (message.message) {
            case WM_PAINT:
                return Paint(message.hwnd);
            case kKeyInput:
                RouteKey(static_cast<UINT>(message.wParam), message.lParam);
                return true;
            case kWheelInput:
                if (HasClass(message.hwnd, TRACKBAR_CLASSA)) {
                    SendMessageA(message.hwnd, WM_KEYDOWN, message.wParam, 1);
                    SendMessageA(message.hwnd, WM_KEYUP, message.wParam,
                                 static_cast<LPARAM>(static_cast<DWORD>(0xC0000001u)));
                }
                return true;
            default:
                return false;
        }
    }

    // On the focus window's thread, as the dialog loop of Windows sends keys.
    static void RouteKey(UINT key, LPARAM flags) {
        const HWND focus = GetFocus();
        if (focus == nullptr) return;
        const bool down = (flags & kKeyDown) != 0;
        if (key == VK_TAB) {
            if (!down) return;
            if (const HWND next = NextTabStop(focus, (flags & kShift) != 0)) SetFocus(next);
            return;
        }
        SendMessageA(focus, down ? WM_KEYDOWN : WM_KEYUP, key,
                     down ? 1 : static_cast<LPARAM>(static_cast<DWORD>(0xC0000001u)));
    }

    void Handle(const xcb_generic_event_t& event) {
        switch (event.response_type & 0x7F) {
            case XCB_EXPOSE: {
                const auto& expose = reinterpret_cast<const xcb_expose_event_t&>(event);
                if (expose.count == 0) {
                    if (const HWND window = HandleOf(expose.window)) PostPaint(window);
                }
                break;
            }
            case XCB_BUTTON_PRESS:
            case XCB_BUTTON_RELEASE: {
                const auto& button = reinterpret_cast<const xcb_button_press_event_t&>(event);
                const HWND window = HandleOf(button.event);
                if (window == nullptr) break;
                const bool press = (event.response_type & 0x7F) == XCB_BUTTON_PRESS;
                const LPARAM point = MAKELPARAM(button.event_x, button.event_y);
                if (button.detail == kLeftButton) {
                    PostMessageA(window, press ? WM_LBUTTONDOWN : WM_LBUTTONUP,
                                 press ? MK_LBUTTON : 0, point);
                } else if (press && (button.detail == kWheelUp || button.detail == kWheelDown)) {
                    PostMessageA(window, kWheelInput, button.detail == kWheelUp ? VK_UP : VK_DOWN,
                                 0);
                }
                break;
            }
            case XCB_MOTION_NOTIFY: {
                const auto& motion = reinterpret_cast<const xcb_motion_notify_event_t&>(event);
                if ((motion.state & XCB_BUTTON_MASK_1) == 0) break;
                if (const HWND window = HandleOf(motion.event)) {
                    PostMessageA(window, WM_MOUSEMOVE, MK_LBUTTON,
                                 MAKELPARAM(motion.event_x, motion.event_y));
                }
                break;
            }
            case XCB_KEY_PRESS:
            case XCB_KEY_RELEASE: {
                const auto& key = reinterpret_cast<const xcb_key_press_event_t&>(event);
                const HWND window = HandleOf(key.event);
                const UINT virtualKey = VirtualKey(key.detail);
                if (window == nullptr || virtualKey == 0) break;
                LPARAM flags = (event.response_type & 0x7F) == XCB_KEY_PRESS ? kKeyDown : 0;
                if ((key.state & XCB_MOD_MASK_SHIFT) != 0) flags |= kShift;
                PostMessageA(window, kKeyInput, virtualKey, flags);
                break;
            }
            case XCB_DESTROY_NOTIFY: {
                // The layer's own destructions are forgotten before they are asked for.
                const auto& destroyed = reinterpret_cast<const xcb_destroy_notify_event_t&>(event);
                if (const HWND window = HandleOf(destroyed.window)) {
                    PostMessageA(window, WM_CLOSE, 0, 0);
                }
                break;
            }
            case XCB_CLIENT_MESSAGE: {
                const auto& client = reinterpret_cast<const xcb_client_message_event_t&>(event);
                if (client.type != WmProtocols || client.data.data32[0] != WmDeleteWindow) break;
                if (const HWND window = HandleOf(client.window)) {
                    PostMessageA(window, WM_CLOSE, 0, 0);
                }
                break;
            }
            default:
                break;  // errors of requests on windows already gone, and the rest
        }
    }

    // Called with PollMutex held, which also guards the key symbol table.
    UINT VirtualKey(xcb_keycode_t code) {
        if (Keys == nullptr) return 0;
        const xcb_keysym_t symbol = xcb_key_symbols_get_keysym(Keys, code, 0);
        for (const KeyMapping& mapping : kKeys) {
            if (mapping.symbol == symbol) return mapping.virtualKey;
        }
        return 0;
    }

    xcb_connection_t* const Connection;
    xcb_screen_t* const Screen;
    const Visual RootVisual;
    xcb_key_symbols_t* const Keys;
    const xcb_atom_t WmProtocols;
    const xcb_atom_t WmDeleteWindow;
    const xcb_atom_t NetWmName;
    const xcb_atom_t Utf8String;

    std::mutex PollMutex;
    std::mutex Mutex;  // guards the maps; never held while calling into the layer
    std::unordered_map<HWND, NativeWindow> ByHandle;
    std::unordered_map<xcb_window_t, HWND> ByNative;
};

}  // namespace
}  // namespace flanger::platform::user32

// The one entry point the layer looks up (display_selection.cpp). The backend lives for the rest
// of the process, as windows may.
extern "C" __attribute__((visibility("default"))) flanger::platform::user32::WindowBackend*
FlangerCreateX11Backend(const char* displayName) {
    try {
        return flanger::platform::user32::X11Backend::Open(displayName);
    } catch (...) {
        return nullptr;
    }
}
