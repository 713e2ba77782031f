// The LV2 plug-ins' own window: an LV2 UI of type X11 that shows the module's settings window
// inside the host's parent window.
//
// The UI runs apart from the plug-in (possibly in another process) and talks to it only through
// the host, by control port values. It holds a settings record of the module's own (Initialize),
// the host's parent wrapped into a window handle of the windowing layer, a window of its own in
// it that receives the settings window's notifications, and the settings window itself:
// - each committed change (the WM_COMMAND the settings window posts) is sent to the host as the
//   seven control values that the record's six parameters make (Feedback is a magnitude and a
//   switch), in the controls' units;
// - each control change from the host (automation, a preset) is kept; at the next idle call the
//   record takes the controls' values, and when they differ from what the window shows, the
//   settings window is made again over it, which is how a host refreshes the dialog;
// - the host's idle calls run the layer's message loop, which also reads the display's events.
// Only the seven controls (port indices 0 to 6) are read and written; later ports are not ours.
#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>

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

LiveSettings SettingsOf(const EffectSettings& record) {
    return {record.Depth, record.Delay, record.Width, record.Sine, record.Feedback, record.Speed};
}

class Editor {
public:
    static Editor* Create(const char* bundlePath, LV2UI_Write_Function write,
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
        if (parent == nullptr || !FlangerOpenDisplay(nullptr)) return nullptr;
        const std::optional<platform::SettingsWindowModule> module =
            platform::LoadSettingsWindowModule(bundlePath != nullptr ? bundlePath : "");
        if (!module || !RegisterContainerClass()) return nullptr;

        std::unique_ptr<Editor> editor(new Editor(*module, write, controller));
        if (editor->Module.Initialize(nullptr, nullptr, nullptr, &editor->Record) != 1) {
            return nullptr;
        }
        editor->Host = FlangerWrapNativeWindow(reinterpret_cast<std::uintptr_t>(parent));
        if (editor->Host == nullptr) return nullptr;
        editor->Container =
            CreateWindowExA(0, kContainerClass, kContainerName, WS_CHILD | WS_VISIBLE, 0, 0, 1, 1,
                            editor->Host, nullptr, nullptr, nullptr);
        if (editor->Container == nullptr) return nullptr;
        SetWindowLongPtrA(editor->Container, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(editor.get()));
        if (!editor->OpenSettingsWindow()) return nullptr;

        RECT size{};
        GetWindowRect(editor->Settings, &size);
        const int width = size.right - size.left;
        const int height = size.bottom - size.top;
        MoveWindow(editor->Container, 0, 0, width, height, TRUE);
        if (resize != nullptr) resize->ui_resize(resize->handle, width, height);
        *widget = reinterpret_cast<LV2UI_Widget>(FlangerGetNativeWindow(editor->Container));
        editor->Controls = ControlValuesOf(SettingsOf(*editor->Record));
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
        // Ports from kLeadingControls on are audio, or controls the window does not show.
        if (port >= kLeadingControls || format != kFloatProtocol || size != sizeof(float)) return;
        std::memcpy(&Controls[port], buffer, sizeof(float));
        ControlsChanged = true;
    }

    int Idle() {
        if (ControlsChanged) {
            ControlsChanged = false;
            const float* values[kControlCount];
            for (std::uint32_t i = 0; i < kControlCount; ++i) values[i] = &Controls[i];
            const LiveSettings wanted = SettingsFromControls(values);
            if (!(wanted == SettingsOf(*Record))) ShowSettings(wanted);
        }
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        return IsWindow(Container) ? 0 : 1;  // 1: the window is gone, the host may close
    }

private:
    Editor(const platform::SettingsWindowModule& module, LV2UI_Write_Function write,
           LV2UI_Controller controller)
        : Module(module), Write(write), Controller(controller) {}

    static bool RegisterContainerClass() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = ContainerProcedure;
        windowClass.lpszClassName = kContainerClass;
        return RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }

    static LRESULT ContainerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_COMMAND && wParam == kSettingsChanged) {
            if (auto* editor =
                    reinterpret_cast<Editor*>(GetWindowLongPtrA(window, GWLP_USERDATA))) {
                editor->SendControls();
            }
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    bool OpenSettingsWindow() {
        Settings = Module.CreateSettingsWindow(Container, Record);
        if (Settings == nullptr) return false;
        ShowWindow(Settings, SW_SHOW);
        return true;
    }

    // The record takes `settings` and a new settings window shows them.
    void ShowSettings(const LiveSettings& settings) {
        Record->Depth = settings.Depth;
        Record->Delay = settings.Delay;
        Record->Width = settings.Width;
        Record->Sine = settings.Sine;
        Record->Feedback = settings.Feedback;
        Record->Speed = settings.Speed;
        if (Settings != nullptr) DestroyWindow(Settings);
        OpenSettingsWindow();
    }

    // What the record holds after a commit, as the seven control values; kept as the controls'
    // values too, so that the host's echo of them changes nothing.
    void SendControls() {
        Controls = ControlValuesOf(SettingsOf(*Record));
        for (std::uint32_t i = 0; i < kLeadingControls; ++i) {
            Write(Controller, i, sizeof(float), kFloatProtocol, &Controls[i]);
        }
    }

    platform::SettingsWindowModule Module;
    LV2UI_Write_Function Write;
    LV2UI_Controller Controller;
    EffectSettings* Record = nullptr;
    HWND Host = nullptr;       // the host's parent window
    HWND Container = nullptr;  // ours, the settings window's parent
    HWND Settings = nullptr;
    std::array<float, kControlCount> Controls{};
    bool ControlsChanged = false;
};

Editor* EditorOf(LV2UI_Handle handle) { return static_cast<Editor*>(handle); }

LV2UI_Handle Instantiate(const LV2UI_Descriptor*, const char*, const char* bundlePath,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
    try {
        return Editor::Create(bundlePath, write, controller, widget, features);
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
