// "flanger window": the settings window the module gives a host, painted into a PNG file.
//
// The command is a host like any other: it makes a parent window of its own, has the module
// create its settings window over a record, shows it, and paints it with the window painter
// (the windowing layer keeps windows in memory and needs no display).
//
// The module picks its resource language once, when it is loaded, from "Language.xml" in the
// current directory; every command loads it from a private directory (see private_load.h), which
// for --translation LIBRARY holds a Language.xml naming LIBRARY.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "audio/output_file.h"
#include "commands/command_support.h"
#include "commands/commands.h"
#include "module/private_load.h"
#include "window/translated_module.h"
#include "windowing/posix/window_painter/window_painter.h"
#include "windowing/user32.h"

namespace flanger::tool {
namespace {

constexpr char kHostWindowClass[] = "FlangerCommandHost";

// The host's parent window. The settings window posts WM_COMMAND to it at every change; a
// picture has nothing to do with those.
LRESULT HostWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

// Loads the module so that its start-up selects the translation library. The library is checked
// first, so that a person hears about one that the module would silently pass over: it must load
// and hold the settings window.
std::unique_ptr<PluginLibrary> LoadTranslatedModule(const Invocation& invocation,
                                                    const std::string& translation) {
    const std::string library = AbsolutePath(translation);
    const HMODULE resources = LoadLibraryA(library.c_str());
    if (resources == nullptr) {
        ReportFailure("cannot load the translation library '" + translation + "'");
        return nullptr;
    }
    if (FindResourceA(resources, MAKEINTRESOURCEA(FLANGER_SETTINGS_DIALOG_ID), RT_DIALOG) ==
        nullptr) {
        ReportFailure("'" + translation + "' holds no settings window (dialog " +
                      std::to_string(FLANGER_SETTINGS_DIALOG_ID) + ")");
        return nullptr;
    }
    return LoadModule(invocation, library);
}

namespace {

// The host's window and the module's settings window inside it; both destroyed at the end.
class HostedWindow {
public:
    static std::unique_ptr<HostedWindow> Create(const PluginExports& module,
                                                EffectSettings* settings, std::string& error) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = HostWindowProcedure;
        windowClass.lpszClassName = kHostWindowClass;
        if (RegisterClassA(&windowClass) == 0) {
            error = "cannot register the host's window class";
            return nullptr;
        }
        std::unique_ptr<HostedWindow> hosted(new HostedWindow);
        hosted->Parent = CreateWindowExA(0, kHostWindowClass, "flanger", WS_OVERLAPPEDWINDOW, 0, 0,
                                         640, 480, nullptr, nullptr, nullptr, nullptr);
        if (hosted->Parent == nullptr) {
            error = "cannot create the host's window";
            return nullptr;
        }
        hosted->Settings = module.CreateSettingsWindow(hosted->Parent, settings);
        if (hosted->Settings == nullptr) {
            error = "the module did not create its settings window";
            return nullptr;
        }
        // As a host does: the module creates the window hidden and leaves showing it to the host.
        ShowWindow(hosted->Parent, SW_SHOW);
        ShowWindow(hosted->Settings, SW_SHOW);
        DispatchPending();
        return hosted;
    }

    ~HostedWindow() {
        if (Parent != nullptr) DestroyWindow(Parent);
        DispatchPending();
        UnregisterClassA(kHostWindowClass, nullptr);
    }
    HostedWindow(const HostedWindow&) = delete;
    HostedWindow& operator=(const HostedWindow&) = delete;

    HWND SettingsWindow() const { return Settings; }

private:
    HostedWindow() = default;

    // Handles what the windows have posted, as a host's message loop would.
    static void DispatchPending() {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }

    HWND Parent = nullptr;
    HWND Settings = nullptr;
};

}  // namespace

std::optional<WindowSubject> LoadWindowSubject(const Invocation& invocation) {
    std::unique_ptr<PluginLibrary> module =
        invocation.TranslationPath ? LoadTranslatedModule(invocation, *invocation.TranslationPath)
                                   : LoadModule(invocation);
    if (!module) return std::nullopt;
    const PluginExports& exports = module->Exports();
    if (exports.CreateSettingsWindow == nullptr) {
        ReportFailure("the module does not export CreateSettingsWindow");
        return std::nullopt;
    }
    const std::optional<EffectParameters> parameters =
        ChooseParameters(invocation, exports, MissingFile::Refused);
    if (!parameters) return std::nullopt;
    std::unique_ptr<EffectSettings, RecordRelease> record(NewRecord(exports, *parameters),
                                                          RecordRelease{&exports});
    if (!record) {
        ReportFailure("the module could not create an effect record");
        return std::nullopt;
    }
    return WindowSubject{std::move(module), *parameters, std::move(record)};
}

int RunWindow(const Invocation& invocation) {
    std::string error;
    const std::optional<std::string> target = ResolveOutputTarget(invocation.OutputPath, error);
    if (!target) return ReportFailure(error);

    const std::optional<WindowSubject> subject = LoadWindowSubject(invocation);
    if (!subject) return kExitFailure;
    const PluginExports& exports = subject->Module->Exports();

    // The windows go before the record they edit, and both before the module is unloaded.
    const std::unique_ptr<HostedWindow> window =
        HostedWindow::Create(exports, subject->Record.get(), error);
    if (!window) return ReportFailure(error);
    const std::unique_ptr<PendingOutput> output = PendingOutput::Create(*target, error);
    if (!output) return ReportFailure(error);
    const bool painted =
        platform::WriteWindowPng(window->SettingsWindow(), output->Descriptor(), error);
    platform::ReleaseFontCaches();  // the one picture is painted
    if (!painted) {
        return ReportFailure("cannot write the picture to '" + invocation.OutputPath +
                             "': " + error);
    }
    if (!output->Commit(error)) return ReportFailure(error);
    return 0;
}

}  // namespace flanger::tool
