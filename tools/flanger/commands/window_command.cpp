// "flanger window": the settings window the module gives a host, painted into a PNG file.
//
// The command is a host like any other: it makes a parent window of its own, has the module
// create its settings window over a record, shows it, and paints it with the window painter
// (the windowing layer keeps windows in memory and needs no display).
//
// The module picks its resource language once, when it is loaded, from "Language.xml" in the
// current directory. --translation LIBRARY therefore writes a Language.xml naming LIBRARY into a
// private temporary directory, loads the module with that directory as the current one, then
// returns to the previous directory and removes the temporary one. Without --translation the
// module is loaded where the command runs, so a Language.xml there applies, as for any host.
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
#include "module/plugin_location.h"
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

std::string SystemError() { return std::strerror(errno); }

std::string Absolute(const std::string& path) {
    if (!path.empty() && path.front() == '/') return path;
    char* const directory = getcwd(nullptr, 0);
    if (directory == nullptr) return path;
    std::string absolute = std::string(directory) + "/" + path;
    std::free(directory);
    return absolute;
}

// Whether the bytes are UTF-8, the encoding Language.xml is written in.
bool IsUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        int following = 0;
        std::uint32_t code = 0;
        if (byte < 0x80) {
            ++i;
            continue;
        } else if (byte >= 0xC2 && byte <= 0xDF) {
            following = 1;
            code = byte & 0x1F;
        } else if (byte >= 0xE0 && byte <= 0xEF) {
            following = 2;
            code = byte & 0x0F;
        } else if (byte >= 0xF0 && byte <= 0xF4) {
            following = 3;
            code = byte & 0x07;
        } else {
            return false;
        }
        if (i + following >= text.size()) return false;
        for (int k = 1; k <= following; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode.
        if ((following == 2 && code < 0x800) || (following == 3 && code < 0x10000) ||
            (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
            return false;
        }
        i += static_cast<std::size_t>(following) + 1;
    }
    return true;
}

// The path as an attribute value between double quotes. Tabs and line breaks become character
// references, which a parser keeps, where it would turn the characters themselves into spaces.
std::optional<std::string> AttributeValue(const std::string& path) {
    if (!IsUtf8(path)) return std::nullopt;
    std::string value;
    for (const char c : path) {
        switch (c) {
            case '&':
                value += "&amp;";
                break;
            case '<':
                value += "&lt;";
                break;
            case '"':
                value += "&quot;";
                break;
            case '\t':
                value += "&#9;";
                break;
            case '\n':
                value += "&#10;";
                break;
            case '\r':
                value += "&#13;";
                break;
            default:
                // XML has no way to write the other control characters.
                if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
                value += c;
        }
    }
    return value;
}

bool WriteAll(int file, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = write(file, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

// A private directory holding a Language.xml that names the translation; removed with it.
class LanguageDirectory {
public:
    static std::unique_ptr<LanguageDirectory> Create(const std::string& library,
                                                     std::string& error) {
        const std::optional<std::string> value = AttributeValue(library);
        if (!value) {
            error =
                "the path of --translation cannot be written into Language.xml (it is not "
                "UTF-8 or holds control characters)";
            return nullptr;
        }
        const char* const temporary = std::getenv("TMPDIR");
        std::string pattern =
            std::string(temporary != nullptr && *temporary != '\0' ? temporary : "/tmp") +
            "/flanger-translation-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            error = "cannot create a temporary directory for Language.xml: " + SystemError();
            return nullptr;
        }
        std::unique_ptr<LanguageDirectory> directory(new LanguageDirectory(pattern));
        const std::string text =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Language Path=\"" + *value + "\"/>\n";
        const int file = open(directory->File().c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (file < 0) {
            error = "cannot write '" + directory->File() + "': " + SystemError();
            return nullptr;
        }
        const bool written = WriteAll(file, text);
        const int writeError = errno;
        if (close(file) != 0 || !written) {
            if (!written) errno = writeError;
            error = "cannot write '" + directory->File() + "': " + SystemError();
            return nullptr;
        }
        return directory;
    }

    ~LanguageDirectory() {
        unlink(File().c_str());
        rmdir(Path.c_str());
    }
    LanguageDirectory(const LanguageDirectory&) = delete;
    LanguageDirectory& operator=(const LanguageDirectory&) = delete;

    const std::string& Directory() const { return Path; }

private:
    explicit LanguageDirectory(std::string path) : Path(std::move(path)) {}
    std::string File() const { return Path + "/Language.xml"; }
    std::string Path;
};

// The current directory changed for as long as this lives, and restored (by descriptor, so a
// renamed directory is found too) when it ends.
class DirectoryChange {
public:
    static std::unique_ptr<DirectoryChange> To(const std::string& directory, std::string& error) {
        const int previous = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (previous < 0) {
            error = "cannot open the current directory: " + SystemError();
            return nullptr;
        }
        if (chdir(directory.c_str()) != 0) {
            error = "cannot change to '" + directory + "': " + SystemError();
            close(previous);
            return nullptr;
        }
        return std::unique_ptr<DirectoryChange>(new DirectoryChange(previous));
    }

    ~DirectoryChange() {
        // Nothing sensible is left to do when the way back is gone; later relative paths would
        // then fail with their own messages.
        [[maybe_unused]] const int status = fchdir(Previous);
        close(Previous);
    }
    DirectoryChange(const DirectoryChange&) = delete;
    DirectoryChange& operator=(const DirectoryChange&) = delete;

private:
    explicit DirectoryChange(int previous) : Previous(previous) {}
    int Previous;
};

}  // namespace

// Loads the module so that its start-up selects the translation library. The library is checked
// first, so that a person hears about one that the module would silently pass over: it must load
// and hold the settings window.
std::unique_ptr<PluginLibrary> LoadTranslatedModule(const Invocation& invocation,
                                                    const std::string& translation) {
    const std::string library = Absolute(translation);
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
    // The module is found before the current directory changes.
    Invocation located = invocation;
    located.PluginPath = Absolute(LocatePlugin(invocation.PluginPath, std::getenv("FLANGER_PLUGIN"),
                                               RunningExecutablePath()));

    std::string error;
    const std::unique_ptr<LanguageDirectory> directory = LanguageDirectory::Create(library, error);
    if (!directory) {
        ReportFailure(error);
        return nullptr;
    }
    const std::unique_ptr<DirectoryChange> change =
        DirectoryChange::To(directory->Directory(), error);
    if (!change) {
        ReportFailure(error);
        return nullptr;
    }
    return LoadModule(located);
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
