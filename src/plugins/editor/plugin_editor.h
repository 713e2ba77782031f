// PluginEditor: the plug-ins' own window inside a host's window. The module's settings window
// (made by the module's CreateSettingsWindow export, over a settings record of the module's own)
// with the plug-in's further controls beside it (side_panel.h), in a window of ours that receives
// both's notifications.
//
// The editor talks to the plug-in by control values only, of which it keeps the last it knows:
// - a committed change of the settings window leaves the record's six parameters as seven
//   control values (Feedback is a magnitude and a switch), of which only those that differ from
//   the known values are sent; a side panel control sends its own;
// - a change from the host (Show) is kept; at the next Idle the record takes the record's
//   controls, and when they differ from what the dialog shows its controls are set in place
//   (dialog_controls.h), and the side panel shows its controls: the windows are never made
//   again, so the host keeps the window it embedded.
// On Linux the host's window is an X11 window, wrapped into a window of the windowing layer, and
// Idle runs the layer's message loop, which also reads the display's events; on Windows it is
// an HWND, and the host's own message loop serves the editor's windows.
//
// Threading: the host's UI thread, for everything.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "effect/effect_controls.h"
#include "plugins/editor/side_panel.h"
#include "plugins/plugin_ports.h"
#include "windowing/settings_window_module.h"
#include "windowing/user32.h"

namespace flanger::plugins {

class PluginEditor {
public:
    using Send = std::function<void(std::uint32_t control, float value)>;

    // Makes the editor of a plug-in with `channels` channels inside the host's window `parent`,
    // with the module loaded from `moduleDirectory` (with its trailing slash) or from where
    // the windowing layer finds it. It shows the record's defaults until the host's values come
    // through Show. Null where any part cannot be made.
    static std::unique_ptr<PluginEditor> Create(std::uintptr_t parent, std::uint32_t channels,
                                                const std::string& moduleDirectory, Send send);
    ~PluginEditor();
    PluginEditor(const PluginEditor&) = delete;
    PluginEditor& operator=(const PluginEditor&) = delete;

    // The host's change of `control`, shown at the next Idle; the host's echo of what the editor
    // sent changes nothing.
    void Show(std::uint32_t control, float value);
    // Shows the changes kept and runs the windows' messages; false once the window is gone.
    bool Idle();

    int Width() const { return EditorWidth; }
    int Height() const { return EditorHeight; }
    // The editor's own window as the host's windowing system names it.
    std::uintptr_t NativeWindow() const;

private:
    PluginEditor(const platform::SettingsWindowModule& module, std::uint32_t channels, Send send);
    static bool RegisterContainerClass();
    static LRESULT CALLBACK ContainerProcedure(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam);
    LiveSettings KnownSettings() const;
    void SendRecord();
    void SendControl(std::uint32_t control, float value);

    platform::SettingsWindowModule Module;
    std::uint32_t Channels;
    Send SendToPlugin;
    EffectSettings* Record = nullptr;
    HWND Host = nullptr;       // the host's parent window (on Linux, our wrapper of it)
    HWND Container = nullptr;  // ours, the parent of the settings window and the side panel
    HWND Settings = nullptr;
    SidePanel Panel;
    ControlValues Controls{};  // the last control values known
    bool ControlsChanged = false;
    int EditorWidth = 0;
    int EditorHeight = 0;
};

}  // namespace flanger::plugins
