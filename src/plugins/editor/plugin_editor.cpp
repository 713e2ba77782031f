// The plug-ins' own window over the module's settings window and the side panel.
#include "plugins/editor/plugin_editor.h"

#include <algorithm>
#include <array>
#include <optional>

#include "plugins/editor/dialog_controls.h"

namespace flanger::plugins {
namespace {

constexpr char kContainerClass[] = "FlangerPluginEditor";
// The window's name, where tools (and tests) find it.
constexpr char kContainerName[] = "Flanger settings";
// The settings window's notification: control id 0, code 0x0400.
constexpr WPARAM kSettingsChanged = 0x04000000;

// Whether the record's fields of `a` and `b` agree; the controls the record does not hold are
// not compared.
bool SameRecord(const LiveSettings& a, const LiveSettings& b) {
    EffectSettings recordA = DefaultRecord();
    EffectSettings recordB = DefaultRecord();
    StoreInRecord(a, recordA);
    StoreInRecord(b, recordB);
    return SettingsOfRecord(recordA) == SettingsOfRecord(recordB);
}

// The host's window as a window handle the editor's windows can be children of: on Linux a
// wrapper of the windowing layer's, which the editor destroys with its own windows.
HWND HostWindow(std::uintptr_t parent) {
#ifdef _WIN32
    return reinterpret_cast<HWND>(parent);
#else
    return FlangerWrapNativeWindow(parent);
#endif
}

}  // namespace

std::unique_ptr<PluginEditor> PluginEditor::Create(std::uintptr_t parent, std::uint32_t channels,
                                                   const std::string& moduleDirectory, Send send) {
    if (parent == 0 || channels == 0) return nullptr;
#ifndef _WIN32
    if (!FlangerOpenDisplay(nullptr)) return nullptr;
#endif
    const std::optional<platform::SettingsWindowModule> module =
        platform::LoadSettingsWindowModule(moduleDirectory);
    if (!module || !RegisterContainerClass()) return nullptr;

    std::unique_ptr<PluginEditor> editor(new PluginEditor(*module, channels, std::move(send)));
    if (editor->Module.Initialize(nullptr, nullptr, nullptr, &editor->Record) != 1) {
        return nullptr;
    }
    editor->Controls = ControlValuesOf(SettingsOfRecord(*editor->Record));
    const HWND host = HostWindow(parent);
    if (host == nullptr) return nullptr;
#ifndef _WIN32
    editor->Host = host;
#endif
    editor->Container = CreateWindowExA(0, kContainerClass, kContainerName, WS_CHILD | WS_VISIBLE,
                                        0, 0, 1, 1, host, nullptr, nullptr, nullptr);
    if (editor->Container == nullptr) return nullptr;
    SetWindowLongPtrA(editor->Container, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(editor.get()));
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
    editor->EditorWidth = dialogWidth + panel.Width;
    editor->EditorHeight = std::max<int>(dialog.bottom - dialog.top, panel.Height);
    MoveWindow(editor->Container, 0, 0, editor->EditorWidth, editor->EditorHeight, TRUE);
    return editor;
}

PluginEditor::PluginEditor(const platform::SettingsWindowModule& module, std::uint32_t channels,
                           Send send)
    : Module(module), Channels(channels), SendToPlugin(std::move(send)) {}

PluginEditor::~PluginEditor() {
    // The container takes the settings window and the side panel with it; on Linux the wrapper
    // of the host's window takes the container.
    if (Host != nullptr) {
        DestroyWindow(Host);
    } else if (Container != nullptr) {
        DestroyWindow(Container);
    }
    if (Record != nullptr) Module.Free(Record);
}

std::uintptr_t PluginEditor::NativeWindow() const {
#ifdef _WIN32
    return reinterpret_cast<std::uintptr_t>(Container);
#else
    return FlangerGetNativeWindow(Container);
#endif
}

void PluginEditor::Show(std::uint32_t control, float value) {
    if (control >= kControlCount || value == Controls[control]) return;
    Controls[control] = value;
    ControlsChanged = true;
}

bool PluginEditor::Idle() {
    if (ControlsChanged) {
        ControlsChanged = false;
        const LiveSettings wanted = KnownSettings();
        if (!SameRecord(wanted, SettingsOfRecord(*Record))) {
            StoreInRecord(wanted, *Record);
            ShowInDialog(Settings, wanted);
        }
        Panel.Show(Controls);
    }
#ifndef _WIN32
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
#endif
    return IsWindow(Container) != FALSE;
}

bool PluginEditor::RegisterContainerClass() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ContainerProcedure;
    windowClass.lpszClassName = kContainerClass;
    return RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

LRESULT CALLBACK PluginEditor::ContainerProcedure(HWND window, UINT message, WPARAM wParam,
                                                  LPARAM lParam) {
    auto* editor = reinterpret_cast<PluginEditor*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (editor != nullptr && (message == WM_COMMAND || message == WM_HSCROLL)) {
        std::uint32_t control = kControlCount;
        float value = 0.0f;
        if (message == WM_COMMAND && wParam == kSettingsChanged) {
            editor->SendRecord();
        } else if (editor->Panel.Read(reinterpret_cast<HWND>(lParam), control, value)) {
            editor->SendControl(control, value);
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The settings of the known control values, on the settings' grid.
LiveSettings PluginEditor::KnownSettings() const {
    const float* values[kControlCount];
    for (std::uint32_t i = 0; i < kControlCount; ++i) values[i] = &Controls[i];
    return SettingsFromControls(values);
}

// The record's controls after a commit of the settings window that differ from the known
// control values: the one the person moved, not the others' values again, which could undo a
// host's change on its way to the window.
void PluginEditor::SendRecord() {
    const std::array<float, kControlCount> known = ControlValuesOf(KnownSettings());
    const std::array<float, kControlCount> record = ControlValuesOf(SettingsOfRecord(*Record));
    for (std::uint32_t control = 0; control < kControlCount; ++control) {
        if (kControls[control].Home == ControlHome::Record && record[control] != known[control]) {
            SendControl(control, record[control]);
        }
    }
}

// Kept as the control's value too, so that the host's echo of it changes nothing.
void PluginEditor::SendControl(std::uint32_t control, float value) {
    if (value == Controls[control]) return;
    Controls[control] = value;
    SendToPlugin(control, value);
}

}  // namespace flanger::plugins
