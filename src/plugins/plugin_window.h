// PluginWindow: the plug-in's own window inside a CLAP or VST3 host's window. On Linux that is
// the LV2 plug-ins' X11 window (flanger_ui.so in the LV2 bundle), loaded only when a host asks
// for the window, so that a host without windows never loads the windowing layer; it is found
// from the plug-in library's folder, in the build tree or in the installed layout (each plug-in
// library is built with its own way there, FLANGER_LV2_BUNDLE_FROM_BUILT and _FROM_INSTALLED).
// On Windows it is the plug-ins' editor (editor/plugin_editor.h) in the host's HWND.
//
// The window talks to the plug-in as it does in an LV2 host, by control values: what a person
// changes there comes to the plug-in through `Send`, and what the host changes reaches the
// window through Show. Everything here runs on the host's main thread; Idle, which the host's
// timer calls, runs the windowing layer's message loop.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "plugins/plugin_ports.h"

namespace flanger::plugins {

class PluginWindow {
public:
    using Send = std::function<void(std::uint32_t control, float value)>;

    // Null where the window's library is not installed beside the plug-in library.
    static std::unique_ptr<PluginWindow> Load(const PluginIdentity& identity, Send send);
    ~PluginWindow();
    PluginWindow(const PluginWindow&) = delete;
    PluginWindow& operator=(const PluginWindow&) = delete;

    // Makes the window inside the host's window `parent` (an X11 window, or an HWND on
    // Windows); false where it cannot be made.
    bool Embed(std::uintptr_t parent, const ControlValues& values);
    // The window's size once embedded, else the size it has had before (LastSize).
    void Size(std::uint32_t& width, std::uint32_t& height) const;
    // The size the last window this library made had: what a new one will most likely take.
    static void LastSize(std::uint32_t& width, std::uint32_t& height);
    void Show(std::uint32_t control, float value);
    void Idle();

private:
    struct Library;
    PluginWindow(const Library& library, const PluginIdentity& identity, Send send);

    const Library& Ui;
    const PluginIdentity& Identity;
    Send SendControl;
    void* Handle = nullptr;  // the LV2 UI instance
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
};

}  // namespace flanger::plugins
