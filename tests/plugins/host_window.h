// A host's window of our own for the plug-ins' windows to be embedded in, on the X server
// DISPLAY names (Linux) or a top-level HWND (Windows), and the named windows that appear below
// it, with their sizes: how the tests see what an editor shows (its window, its labels).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <xcb/xcb.h>

#include <cstdlib>
#endif

namespace flanger::testing {

struct ShownWindow {
    std::string Name;
    std::uint32_t Width = 0, Height = 0;  // 0: any
    std::uintptr_t Native = 0;
};

class HostWindow {
public:
#ifdef _WIN32
    HostWindow()
        : Id(CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 600,
                             nullptr, nullptr, nullptr, nullptr)) {}
    ~HostWindow() { DestroyWindow(Id); }
    bool IsOpen() const { return Id != nullptr; }
    std::uintptr_t Native() const { return reinterpret_cast<std::uintptr_t>(Id); }

    // The named windows below ours.
    std::vector<ShownWindow> Shown() const {
        std::vector<ShownWindow> found;
        EnumChildWindows(Id, AddShown, reinterpret_cast<LPARAM>(&found));
        return found;
    }
#else
    HostWindow() {
        if (!IsOpen()) return;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(X)).data;
        xcb_create_window(X, XCB_COPY_FROM_PARENT, Id, screen->root, 0, 0, 800, 600, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_map_window(X, Id);
        xcb_flush(X);
    }
    ~HostWindow() { xcb_disconnect(X); }
    bool IsOpen() const { return xcb_connection_has_error(X) == 0; }
    std::uintptr_t Native() const { return Id; }

    // The named windows below `window` (ours by default), its own name included.
    std::vector<ShownWindow> Shown(xcb_window_t window = 0) const {
        std::vector<ShownWindow> found;
        window = window == 0 ? Id : window;
        auto* name = xcb_get_property_reply(
            X, xcb_get_property(X, 0, window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY, 0, 64), nullptr);
        auto* size = xcb_get_geometry_reply(X, xcb_get_geometry(X, window), nullptr);
        if (name != nullptr && size != nullptr && xcb_get_property_value_length(name) > 0) {
            found.push_back({std::string(static_cast<const char*>(xcb_get_property_value(name)),
                                         xcb_get_property_value_length(name)),
                             size->width, size->height, window});
        }
        std::free(name);
        std::free(size);
        auto* tree = xcb_query_tree_reply(X, xcb_query_tree(X, window), nullptr);
        for (int k = 0; tree != nullptr && k < xcb_query_tree_children_length(tree); ++k) {
            for (ShownWindow& below : Shown(xcb_query_tree_children(tree)[k])) {
                found.push_back(std::move(below));
            }
        }
        std::free(tree);
        return found;
    }
#endif

    // Whether a window of that name, and of that size where it gives one, is below ours.
    bool Shows(const ShownWindow& wanted) const {
        for (const ShownWindow& w : Shown()) {
            if (w.Name == wanted.Name && (wanted.Width == 0 || w.Width == wanted.Width) &&
                (wanted.Height == 0 || w.Height == wanted.Height))
                return true;
        }
        return false;
    }

    // Clicks the first window of that name below ours as a person would (xdotool's pointer on
    // X, the button's own click on Windows); whether there was one.
    bool Click(const std::string& name) const {
        for (const ShownWindow& w : Shown()) {
            if (w.Name != name) continue;
#ifdef _WIN32
            SendMessageA(reinterpret_cast<HWND>(w.Native), BM_CLICK, 0, 0);
            return true;
#else
            const std::string click =
                "xdotool mousemove --window " + std::to_string(w.Native) + " 6 6 click 1";
            return std::system(click.c_str()) == 0;
#endif
        }
        return false;
    }

private:
#ifdef _WIN32
    static BOOL CALLBACK AddShown(HWND child, LPARAM found) {
        char name[256] = {};
        RECT size{};
        if (GetWindowTextA(child, name, sizeof name) > 0 && GetWindowRect(child, &size)) {
            reinterpret_cast<std::vector<ShownWindow>*>(found)->push_back(
                {name, static_cast<std::uint32_t>(size.right - size.left),
                 static_cast<std::uint32_t>(size.bottom - size.top),
                 reinterpret_cast<std::uintptr_t>(child)});
        }
        return TRUE;
    }

    const HWND Id;
#else
    xcb_connection_t* const X = xcb_connect(nullptr, nullptr);
    const xcb_window_t Id = xcb_generate_id(X);
#endif
};

}  // namespace flanger::testing
