// The LV2 plug-ins' own window: an LV2 UI of type X11 that shows the module's settings window
// inside the host's parent window, and beside it the plug-in's further controls (side_panel.h).
//
// The UI runs apart from the plug-in (possibly in another process) and talks to it only through
// the host, by control port values, of which it keeps the last it knows. It holds a settings
// record of the module's own (Initialize), the host's parent wrapped into a window handle of the
// windowing layer, a window of its own in it that receives the notifications of the settings
// window and of the side panel, and the two:
// - a committed change of the settings window (the WM_COMMAND it posts) leaves the record's six
//   parameters as seven control values (Feedback is a magnitude and a switch), of which only
//   those that differ from the known port values go to the host; a side panel control sends its
//   own port;
// - a control change from the host (automation, a preset) is kept; at the next idle call the
//   record takes the record's controls, and when they differ from what the dialog shows its
//   controls are set in place (dialog_controls.h), and the side panel shows its controls: the
//   windows are never made again, so the host keeps the window it embedded;
// - the host's idle calls run the layer's message loop, which also reads the display's events.
// Which plug-in the window serves (mono or stereo) comes from the plug-in URI: the port indices
// of the later controls depend on it, and the mono one has no stereo spread.
#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>

#include "plugins/lv2/dialog_controls.h"
#include "plugins/lv2/side_panel.h"
#include "plugins/plugin_ports.h"
#include "windowing/settings_window_module.h"
#include "windowing/user32.h"

namespace flanger::plugins {
namespace {

constexpr char kContainerClass[] = "FlangerLv2Editor";
// The window's name on the display, where tools (and tests) find it.
constexpr char kContainerName[] = "Flanger settings";
// The settings window's notification: control id 0, code 0x0400.
constexpr WPARAM kSettingsChanged = 0x04000000;
constexpr std::uint32_t kFloatProtocol = 0;

// The channel count of the plug-in `uri` names; 0 for none of ours.
std::uint32_t ChannelsOf(const char* uri) {
    for (const PluginIdentity& plugin : kPlugins) {
        if (uri != nullptr && std::strcmp(uri, plugin.Lv2Uri) == 0) return plugin.Channels;
    }
    return 0;
}

// Whether the record's fields of `a` and `b` agree; the controls the record does not hold are
// not compared.
bool SameRecord(const LiveSettings& a, const LiveSettings& b) {
    EffectSettings recordA = DefaultRecord();
    EffectSettings recordB = DefaultRecord();
    StoreInRecord(a, recordA);
    StoreInRecord(b, recordB);
    return SettingsOfRecord(recordA) == SettingsOfRecord(recordB);
}

class Editor {
public:
    static Editor* Create(const char* pluginUri, const char* bundlePath, LV2UI_Write_Function write,
                          LV2UI_Controller controller, LV2UI_Widget* widget,
                          const LV2_Feature* const* features) {
        void* parent = nullptr;
        const LV2UI_Resize* resize = nullptr;
        for (; features != nullptr && *features != nullptr; ++features) {
            if (std::strcmp((*features)->URI, LV2_UI__parent) == 0) parent = (*features)->data;
            if (std::strcmp((*features)->URI, LV2_UI__resize) == 0) {
                resize = static_cast<const LV2UI_Resize*>((*features)->data);
            }
        }
        const std::uint32_t channels = ChannelsOf(pluginUri);
        if (channels == 0 || parent == nullptr || !FlangerOpenDisplay(nullptr)) return nullptr;
        const std::optional<platform::SettingsWindowModule> module =
            platform::LoadSettingsWindowModule(bundlePath != nullptr ? bundlePath : "");
        if (!module || !RegisterContainerClass()) return nullptr;

        std::unique_ptr<Editor> editor(new Editor(*module, channels, write, controller));
        if (editor->Module.Initialize(nullptr, nullptr, nullptr, &editor->Record) != 1) {
            return nullptr;
        }
        editor->Controls = ControlValuesOf(SettingsOfRecord(*editor->Record));
        editor->Host = FlangerWrapNativeWindow(reinterpret_cast<std::uintptr_t>(parent));
        if (editor->Host == nullptr) return nullptr;
        editor->Container =
            CreateWindowExA(0, kContainerClass, kContainerName, WS_CHILD | WS_VISIBLE, 0, 0, 1, 1,
                            editor->Host, nullptr, nullptr, nullptr);
        if (editor->Container == nullptr) return nullptr;
        SetWindowLongPtrA(editor->Container, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(editor.get()));
        editor->Settings = editor->Module.CreateSettingsWindow(editor->Container, editor->Record);
        if (editor->Settings == nullptr) return nullptr;
        ShowWindow(editor->Settings, SW_SHOW);

        RECT dialog{};
        GetWindowRect(editor->Settings, &dialog);
        const int dialogWidth = dialog.right - dialog.left;
        const SidePanel::Size panel =
            editor->Panel.Create(editor->Container, editor->Settings, channels, dialogWidth);
        if (panel.Width == 0) return nullptr;
        editor->Panel.Show(editor->Controls);
        const int width = dialogWidth + panel.Width;
        const int height = std::max<int>(dialog.bottom - dialog.top, panel.Height);
        MoveWindow(editor->Container, 0, 0, width, height, TRUE);
        if (resize != nullptr) resize->ui_resize(resize->handle, width, height);
        *widget = reinterpret_cast<LV2UI_Widget>(FlangerGetNativeWindow(editor->Container));
        return editor.release();
    }

    ~Editor() {
        if (Host != nullptr) DestroyWindow(Host);  // the container and the settings window too
        if (Record != nullptr) Module.Free(Record);
    }
    Editor(const Editor&) = delete;
    Editor& operator=(const Editor&) = delete;

    // The host's control change: kept for the next idle call.
    void PortEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format,
                   const void* buffer) {
        const std::uint32_t control = ControlAtPort(Channels, port);
        if (control == kControlCount || format != kFloatProtocol || size != sizeof(float)) return;
        float value;
        std::memcpy(&value, buffer, sizeof value);
        // The host's echo of what the window sent changes nothing.
        if (value == Controls[control]) return;
        Controls[control] = value;
        ControlsChanged = true;
    }

    int Idle() {
        if (ControlsChanged) {
            ControlsChanged = false;
            const LiveSettings wanted = KnownSettings();
            if (!SameRecord(wanted, SettingsOfRecord(*Record))) {
                StoreInRecord(wanted, *Record);
                ShowInDialog(Settings, wanted);
            }
            Panel.Show(Controls);
        }
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        return IsWindow(Container) ? 0 : 1;  // 1: the window is gone, the host may close
    }

private:
    Editor(const platform::SettingsWindowModule& module, std::uint32_t channels,
           LV2UI_Write_Function write, LV2UI_Controller controller)
        : Module(module), Channels(channels), Write(write), Controller(controller) {}

    static bool RegisterContainerClass() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = ContainerProcedure;
        windowClass.lpszClassName = kContainerClass;
        return RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }

    static LRESULT ContainerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* editor = reinterpret_cast<Editor*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (editor != nullptr && (message == WM_COMMAND || message == WM_HSCROLL)) {
            std::uint32_t control = kControlCount;
            float value = 0.0f;
            if (message == WM_COMMAND && wParam == kSettingsChanged) {
                editor->SendRecord();
            } else if (editor->Panel.Read(reinterpret_cast<HWND>(lParam), control, value)) {
                editor->Send(control, value);
            }
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    // The settings of the known port values, on the settings' grid.
    LiveSettings KnownSettings() const {
        const float* values[kControlCount];
        for (std::uint32_t i = 0; i < kControlCount; ++i) values[i] = &Controls[i];
        return SettingsFromControls(values);
    }

    // The record's controls after a commit of the settings window that differ from the known
    // port values: the one the person moved, not the others' values again, which could undo a
    // host's change on its way to the window.
    void SendRecord() {
        const std::array<float, kControlCount> known = ControlValuesOf(KnownSettings());
        const std::array<float, kControlCount> record = ControlValuesOf(SettingsOfRecord(*Record));
        for (std::uint32_t control = 0; control < kControlCount; ++control) {
            if (kControls[control].Home == ControlHome::Record &&
                record[control] != known[control]) {
                Send(control, record[control]);
            }
        }
    }

    // Kept as the control's value too, so that the host's echo of it changes nothing.
    void Send(std::uint32_t control, float value) {
        if (value == Controls[control]) return;
        Controls[control] = value;
        Write(Controller, ControlPortIndex(Channels, control), sizeof(float), kFloatProtocol,
              &value);
    }

    platform::SettingsWindowModule Module;
    std::uint32_t Channels;
    LV2UI_Write_Function Write;
    LV2UI_Controller Controller;
    EffectSettings* Record = nullptr;
    HWND Host = nullptr;       // the host's parent window
    HWND Container = nullptr;  // ours, the parent of the settings window and the side panel
    HWND Settings = nullptr;
    SidePanel Panel;
    ControlValues Controls{};  // the last port values known, by control
    bool ControlsChanged = false;
};

Editor* EditorOf(LV2UI_Handle handle) { return static_cast<Editor*>(handle); }

LV2UI_Handle Instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char* bundlePath,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
    try {
        return Editor::Create(pluginUri, bundlePath, write, controller, widget, features);
    } catch (...) {
        return nullptr;
    }
}

void Cleanup(LV2UI_Handle handle) { delete EditorOf(handle); }

void PortEvent(LV2UI_Handle handle, std::uint32_t port, std::uint32_t size, std::uint32_t format,
               const void* buffer) {
    EditorOf(handle)->PortEvent(port, size, format, buffer);
}

int Idle(LV2UI_Handle handle) {
    try {
        return EditorOf(handle)->Idle();
    } catch (...) {
        return 1;
    }
}

const void* ExtensionData(const char* uri) {
    static const LV2UI_Idle_Interface idle{Idle};
    return std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &idle : nullptr;
}

constexpr LV2UI_Descriptor kDescriptor = {kUiUri, Instantiate, Cleanup, PortEvent, ExtensionData};

}  // namespace
}  // namespace flanger::plugins

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(std::uint32_t index) {
    return index == 0 ? &flanger::plugins::kDescriptor : nullptr;
}
