// A host's window of our own for a plug-in's editor to live in, on the X server DISPLAY names
// (Linux) or as a top-level HWND (Windows), and the names of the windows below it, which is
// how the tests see what the editor shows (its window's name, its labels).
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

class HostWindow {
public:
#ifdef _WIN32
    HostWindow()
        : Window(CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800,
                                 600, nullptr, nullptr, nullptr, nullptr)) {}
    ~HostWindow() { DestroyWindow(Window); }
    bool Made() const { return Window != nullptr; }
    std::uintptr_t Native() const { return reinterpret_cast<std::uintptr_t>(Window); }
    std::vector<std::string> NamesBelow() const {
        std::vector<std::string> names;
        EnumChildWindows(Window, AddName, reinterpret_cast<LPARAM>(&names));
        return names;
    }

private:
    static BOOL CALLBACK AddName(HWND child, LPARAM names) {
        char text[256] = {};
        if (GetWindowTextA(child, text, sizeof text) > 0) {
            reinterpret_cast<std::vector<std::string>*>(names)->emplace_back(text);
        }
        return TRUE;
    }

    HWND Window;
#else
    HostWindow() : Connection(xcb_connect(nullptr, nullptr)) {
        if (!Made()) return;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(Connection)).data;
        Window = xcb_generate_id(Connection);
        xcb_create_window(Connection, XCB_COPY_FROM_PARENT, Window, screen->root, 0, 0, 800, 600, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_map_window(Connection, Window);
        xcb_flush(Connection);
    }
    ~HostWindow() { xcb_disconnect(Connection); }
    bool Made() const { return Connection != nullptr && xcb_connection_has_error(Connection) == 0; }
    std::uintptr_t Native() const { return Window; }
    std::vector<std::string> NamesBelow() const {
        std::vector<std::string> names;
        CollectNames(Window, names);
        std::erase(names, std::string{});
        return names;
    }

private:
    // The names of `window` and of the windows below it.
    void CollectNames(xcb_window_t window, std::vector<std::string>& names) const {
        auto* name = xcb_get_property_reply(
            Connection,
            xcb_get_property(Connection, 0, window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY, 0, 64),
            nullptr);
        if (name != nullptr && window != Window) {
            names.emplace_back(static_cast<const char*>(xcb_get_property_value(name)),
                               xcb_get_property_value_length(name));
        }
        std::free(name);
        auto* tree = xcb_query_tree_reply(Connection, xcb_query_tree(Connection, window), nullptr);
        for (int k = 0; tree != nullptr && k < xcb_query_tree_children_length(tree); ++k) {
            CollectNames(xcb_query_tree_children(tree)[k], names);
        }
        std::free(tree);
    }

    xcb_connection_t* Connection;
    xcb_window_t Window = 0;
#endif
};

}  // namespace flanger::testing
