// "flanger edit": the settings window on the screen, over a preset's values, saving each change.
//
// The command hosts the module as an audio editor does: a top-level window of its own, the
// settings window as its child over a record holding the preset's values, and a message loop.
// The settings window writes the record and posts WM_COMMAND to its parent at every committed
// change; the command then saves the six values through the module's SavePreset or
// SavePresetXml, with the checks and the lock that save-preset uses, unless they are the values
// saved last (a released thumb commits twice). Closing the window ends the command; a save that
// fails closes it too, and the command then fails.
//
// The windowing layer needs an X display for this (FlangerOpenDisplay), opened before the first
// window exists.
#include <memory>
#include <optional>
#include <string>

#include "commands/command_support.h"
#include "commands/commands.h"
#include "presets/preset_storage.h"
#include "presets/xml_preset_file.h"
#include "window/translated_module.h"
#include "windowing/user32.h"

namespace flanger::tool {
namespace {

constexpr char kEditorClass[] = "FlangerEditor";
constexpr char kEditorTitle[] = "flanger edit";
// The settings window's notification: control id 0, code 0x0400.
constexpr WPARAM kSettingsChanged = 0x04000000;

// What the editor's window procedure works on; one per process, as the command edits one preset.
struct Editing {
    const PluginExports* Module = nullptr;
    const PresetLocation* Preset = nullptr;
    EffectSettings* Record = nullptr;
    EffectParameters Saved;
    bool Failed = false;
};
Editing* Current = nullptr;

void SaveChange(HWND editor) {
    const EffectParameters now = ParametersOf(*Current->Record);
    if (now == Current->Saved) return;
    std::string error;
    const std::optional<SaveLock> lock = LockPresetAgainstSaves(*Current->Preset, error);
    if (!lock || !SavePresetParameters(*Current->Module, *Current->Preset, now, error)) {
        ReportFailure(error);
        Current->Failed = true;
        DestroyWindow(editor);
        return;
    }
    Current->Saved = now;
}

LRESULT EditorProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (wParam == kSettingsChanged && Current != nullptr) SaveChange(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

// The editor's window and the settings window inside it, sized to it; shown.
HWND OpenEditor(const PluginExports& module, EffectSettings* record, std::string& error) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = EditorProcedure;
    windowClass.lpszClassName = kEditorClass;
    if (RegisterClassA(&windowClass) == 0) {
        error = "cannot register the editor's window class";
        return nullptr;
    }
    const HWND editor = CreateWindowExA(0, kEditorClass, kEditorTitle, WS_OVERLAPPEDWINDOW, 0, 0,
                                        320, 200, nullptr, nullptr, nullptr, nullptr);
    if (editor == nullptr) {
        error = "cannot create the editor's window";
        return nullptr;
    }
    const HWND settings = module.CreateSettingsWindow(editor, record);
    if (settings == nullptr) {
        DestroyWindow(editor);
        error = "the module did not create its settings window";
        return nullptr;
    }
    RECT size{};
    GetWindowRect(settings, &size);
    MoveWindow(editor, 0, 0, size.right - size.left, size.bottom - size.top, FALSE);
    MoveWindow(settings, 0, 0, size.right - size.left, size.bottom - size.top, FALSE);
    ShowWindow(editor, SW_SHOW);
    ShowWindow(settings, SW_SHOW);
    return editor;
}

}  // namespace

int RunEdit(const Invocation& invocation) {
    if (!FlangerOpenDisplay(nullptr)) {
        return ReportFailure("edit needs an X display, and none answers (is DISPLAY set?)");
    }
    const std::optional<WindowSubject> subject = LoadWindowSubject(invocation);
    if (!subject) return kExitFailure;
    const PluginExports& exports = subject->Module->Exports();
    EffectSettings* const record = subject->Record.get();

    Editing editing{&exports, &*invocation.Preset, record, subject->Parameters, false};
    Current = &editing;
    std::string error;
    const HWND editor = OpenEditor(exports, record, error);
    if (editor == nullptr) {
        Current = nullptr;
        return ReportFailure(error);
    }
    MSG message;
    BOOL got = 0;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // Every change committed before stays saved; only the window is lost.
    if (got < 0) {
        ReportFailure("the display closed");
        editing.Failed = true;
    }
    if (IsWindow(editor)) DestroyWindow(editor);
    UnregisterClassA(kEditorClass, nullptr);
    FlangerReleaseDisplayCaches();  // the last window is gone
    Current = nullptr;
    return editing.Failed ? kExitFailure : 0;
}

}  // namespace flanger::tool
