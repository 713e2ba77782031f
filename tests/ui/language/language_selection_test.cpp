// The resource language selection at module start-up, seen from a host.
//
// The module reads "Language.xml" once, when it is loaded, so every case runs in a fresh
// process: a child of the test with its own current directory, which loads the module, creates
// the settings window under a parent window and reports what it finds, one fact per line, through
// a pipe. Which template came up shows in the texts of the window's captions and check boxes.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "flanger_plugin.h"
#include "windowing/simulated_input.h"
#include "windowing/user32.h"

namespace {

namespace fs = std::filesystem;

const std::string kModule = FLANGER_PLUGIN_PATH;
const std::string kGerman = FLANGER_GERMAN_LIBRARY;
const std::string kWithoutDialog = FLANGER_LIBRARY_WITHOUT_DIALOG;
const std::string kWithoutEntryPoint = FLANGER_LIBRARY_WITHOUT_RESOURCES;

// The captions and check boxes of each template, in window order (template order), with the
// value labels as a new record's values put them: Delay and Width 5 ms, Speed 0.1 Hz, Depth 0.9,
// Feedback 0.1.
const std::vector<std::string> kOwnTexts = {
    "Static Delay", "Static Width", "Static 5",     "Static 5",
    "Static Speed", "Static 0.1",   "Static Depth", "Static Feedback",
    "Static 0.9",   "Static 0.1",   "Button Sine",  "Button Feedback",
};
const std::vector<std::string> kGermanTexts = {
    "Static Verzögerung", "Static Breite", "Static 5",     "Static 5",
    "Static Tempo",       "Static 0.1",    "Static Tiefe", "Static Rückkopplung",
    "Static 0.9",         "Static 0.1",    "Button Sinus", "Button Rückkopplung",
};

// A fresh directory, removed with its contents at the end of the test.
class TemporaryDirectory {
public:
    TemporaryDirectory() {
        const char* const base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                              "/flanger-language-test-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        Root = pattern;
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        fs::remove_all(Root, ignored);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    std::string operator/(const std::string& name) const { return Root + "/" + name; }
    const std::string& Path() const { return Root; }

private:
    std::string Root;
};

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
}

// What a case's process reported.
struct Report {
    int exitStatus = -1;  // -1: the process did not exit normally
    std::vector<std::string> lines;

    // The lines that begin with `prefix` and a blank, without them.
    std::vector<std::string> Facts(const std::string& prefix) const {
        std::vector<std::string> facts;
        for (const std::string& line : lines) {
            if (line.rfind(prefix + " ", 0) == 0) facts.push_back(line.substr(prefix.size() + 1));
        }
        return facts;
    }
};

using Inspection =
    std::function<void(HWND dialog, EffectSettings& settings, std::vector<std::string>& report)>;

LRESULT ParentProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

// The host, in the child process: loads the module at `module`, creates the settings window over
// a new record under a parent window, reports the texts of its static controls and buttons
// ("text <class> <text>"), runs `inspect`, destroys the windows, frees the record and unloads the
// module (or, with `windowOpenAtUnload`, unloads it first and then destroys the parent window;
// the record then stays, as the window may have written it until then). Nothing of the module
// may be left in the windowing layer: its window is gone and its resource handle finds nothing
// ("unloaded <IsWindow> <template found>"). Then, for each of `libraries`, whether it is still
// loaded ("loaded <path> <0|1>").
int HostModule(const std::string& module, const std::vector<std::string>& libraries,
               const Inspection& inspect, bool windowOpenAtUnload,
               std::vector<std::string>& report) {
    void* const handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        report.push_back(std::string("error dlopen: ") + dlerror());
        return 1;
    }
    const auto initialize = reinterpret_cast<decltype(&Initialize)>(dlsym(handle, "Initialize"));
    const auto release = reinterpret_cast<decltype(&Free)>(dlsym(handle, "Free"));
    const auto createWindow =
        reinterpret_cast<decltype(&CreateSettingsWindow)>(dlsym(handle, "CreateSettingsWindow"));
    EffectSettings* settings = nullptr;
    if (initialize == nullptr || release == nullptr || createWindow == nullptr ||
        initialize(nullptr, nullptr, nullptr, &settings) != 1) {
        report.push_back("error exports");
        return 1;
    }
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ParentProcedure;
    windowClass.lpszClassName = "LanguageTestHost";
    RegisterClassA(&windowClass);
    const HWND parent = CreateWindowExA(0, "LanguageTestHost", "host", WS_OVERLAPPEDWINDOW, 0, 0,
                                        640, 480, nullptr, nullptr, nullptr, nullptr);
    const HWND dialog = createWindow(parent, settings);
    if (dialog == nullptr) {
        report.push_back("error no settings window");
    } else {
        for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            char className[64] = {};
            char text[128] = {};
            GetClassNameA(child, className, sizeof className);
            GetWindowTextA(child, text, sizeof text);
            if (std::string(className) == "Static" || std::string(className) == "Button") {
                report.push_back(std::string("text ") + className + " " + text);
            }
            char control[128];
            std::snprintf(control, sizeof control, "control %d %s %08lx", GetDlgCtrlID(child),
                          className, static_cast<unsigned long>(GetWindowLongA(child, GWL_STYLE)));
            report.push_back(control);
        }
        if (inspect) inspect(dialog, *settings, report);
    }
    const auto own = reinterpret_cast<HMODULE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
    const auto destroyParent = [parent] {
        DestroyWindow(parent);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    };
    if (!windowOpenAtUnload) {
        destroyParent();
        release(settings);
    }
    dlclose(handle);
    report.push_back("unloaded " + std::to_string(IsWindow(dialog)) + " " +
                     std::to_string(FindResourceA(own, MAKEINTRESOURCEA(22802), RT_DIALOG) != 0));
    if (windowOpenAtUnload) destroyParent();
    for (const std::string& library : libraries) {
        void* const loaded = dlopen(library.c_str(), RTLD_LAZY | RTLD_NOLOAD);
        report.push_back("loaded " + library + (loaded != nullptr ? " 1" : " 0"));
        if (loaded != nullptr) dlclose(loaded);
    }
    return dialog != nullptr ? 0 : 1;
}

// Runs the host `loads` times in a child process whose current directory is `directory`. The
// child ends with _exit, so nothing of the test framework runs in it twice.
Report RunHost(const std::string& directory, const std::string& module,
               const std::vector<std::string>& libraries = {}, const Inspection& inspect = {},
               int loads = 1, bool windowOpenAtUnload = false) {
    int channel[2];
    if (pipe2(channel, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        close(channel[0]);
        std::vector<std::string> lines;
        int status = 1;
        if (chdir(directory.c_str()) != 0) {
            lines.push_back("error chdir");
        } else {
            status = 0;
            for (int load = 0; load < loads && status == 0; ++load) {
                status = HostModule(module, libraries, inspect, windowOpenAtUnload, lines);
            }
        }
        std::string text;
        for (const std::string& line : lines) text += line + "\n";
        const char* data = text.data();
        std::size_t left = text.size();
        while (left > 0) {
            const ssize_t written = write(channel[1], data, left);
            if (written <= 0) break;
            data += written;
            left -= static_cast<std::size_t>(written);
        }
        _exit(status);
    }
    close(channel[1]);
    std::string text;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(channel[0], buffer, sizeof buffer)) > 0) text.append(buffer, got);
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);

    Report report;
    report.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        report.lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return report;
}

std::string Substituted(std::string text, const std::string& missing) {
    const std::pair<std::string, std::string> names[] = {
        {"{german}", kGerman},
        {"{without_dialog}", kWithoutDialog},
        {"{without_entry}", kWithoutEntryPoint},
        {"{missing}", missing},
    };
    for (const auto& [name, value] : names) {
        for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name)) {
            text.replace(at, name.size(), value);
        }
    }
    return text;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string joined;
    for (const std::string& line : lines) joined += "  " + line + "\n";
    return joined;
}

enum class Expected { Own, German };

struct SelectionCase {
    const char* name;
    std::optional<std::string> languageXml;  // nullopt: no Language.xml
    Expected dialog;
    // A library the module loaded, which must still be loaded after the module is unloaded.
    std::string loadedLibrary;
    bool germanCopyInDirectory = false;  // Plugin_de.so copied into the current directory
};

TEST(LanguageSelectionTest, LanguageXmlInTheCurrentDirectoryChoosesTheTemplate) {
    const SelectionCase cases[] = {
        {"no Language.xml", std::nullopt, Expected::Own, ""},
        {"Path names the German library", R"(<Language Path="{german}"/>)", Expected::German,
         kGerman},
        {"the attribute written PATH", R"(<Language PATH="{german}"/>)", Expected::German, kGerman},
        {"the attribute written path", R"(<language path="{german}"/>)", Expected::German, kGerman},
        {"any root element name, a declaration, children and other attributes",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<Settings Version=\"2\" Path=\"{german}\">\n  <Other Path=\"{without_dialog}\"/>\n"
         "</Settings>\n",
         Expected::German, kGerman},
        {"the first of two matching attributes counts",
         R"(<Language path="{german}" PATH="{without_dialog}"/>)", Expected::German, kGerman},
        {"the first of two matching attributes counts, the other way round",
         R"(<Language PATH="{without_dialog}" path="{german}"/>)", Expected::Own, kWithoutDialog},
        {"a library without dialog 22802", R"(<Language Path="{without_dialog}"/>)", Expected::Own,
         kWithoutDialog},
        {"a library without the resource entry point", R"(<Language Path="{without_entry}"/>)",
         Expected::Own, kWithoutEntryPoint},
        {"a Path that does not exist", R"(<Language Path="{missing}"/>)", Expected::Own, ""},
        {"an empty Path", R"(<Language Path=""/>)", Expected::Own, ""},
        {"a Path naming a directory", R"(<Language Path="/"/>)", Expected::Own, ""},
        {"not well-formed", R"(<Language Path="{german}">)", Expected::Own, ""},
        {"an empty file", "", Expected::Own, ""},
        {"not XML at all", "Path={german}\n", Expected::Own, ""},
        {"no attribute named Path",
         R"(<Language Paths="{german}" XPath="{german}" Library="{german}"/>)", Expected::Own, ""},
        {"Path only on a child element", R"(<Language><Library Path="{german}"/></Language>)",
         Expected::Own, ""},
        {"a relative Path, found from the current directory",
         R"(<Language Path="./Plugin_de.so"/>)", Expected::German, "", true},
    };
    for (const SelectionCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TemporaryDirectory directory;
        if (c.languageXml) {
            WriteFile(directory / "Language.xml",
                      Substituted(*c.languageXml, directory / "none.so"));
        }
        if (c.germanCopyInDirectory) fs::copy_file(kGerman, directory / "Plugin_de.so");
        std::vector<std::string> libraries;
        if (!c.loadedLibrary.empty()) libraries.push_back(c.loadedLibrary);

        const Report report = RunHost(directory.Path(), kModule, libraries);
        ASSERT_EQ(report.exitStatus, 0) << Joined(report.lines);
        EXPECT_EQ(report.Facts("text"), c.dialog == Expected::German ? kGermanTexts : kOwnTexts);
        if (!c.loadedLibrary.empty()) {
            EXPECT_EQ(report.Facts("loaded"), std::vector<std::string>{c.loadedLibrary + " 1"});
        }
    }
}

TEST(LanguageSelectionTest, LanguageXmlBesideTheModuleIsNotRead) {
    // A copy of the module in a directory of its own, with a Language.xml next to it.
    const TemporaryDirectory moduleDirectory;
    const TemporaryDirectory elsewhere;
    const std::string module = moduleDirectory / "Plugin.so";
    fs::copy_file(kModule, module);
    WriteFile(moduleDirectory / "Language.xml", "<Language Path=\"" + kGerman + "\"/>");

    const Report fromElsewhere = RunHost(elsewhere.Path(), module);
    ASSERT_EQ(fromElsewhere.exitStatus, 0) << Joined(fromElsewhere.lines);
    EXPECT_EQ(fromElsewhere.Facts("text"), kOwnTexts);

    // The same copy started in its own directory reads the file: the place is what matters.
    const Report fromBeside = RunHost(moduleDirectory.Path(), module);
    ASSERT_EQ(fromBeside.exitStatus, 0) << Joined(fromBeside.lines);
    EXPECT_EQ(fromBeside.Facts("text"), kGermanTexts);
}

TEST(LanguageSelectionTest, GermanWindowHasTheControlsOfTheOwnOne) {
    const TemporaryDirectory own;
    const TemporaryDirectory german;
    WriteFile(german / "Language.xml", "<Language Path=\"" + kGerman + "\"/>");
    const Report ownReport = RunHost(own.Path(), kModule);
    const Report germanReport = RunHost(german.Path(), kModule);
    ASSERT_EQ(ownReport.exitStatus, 0) << Joined(ownReport.lines);
    ASSERT_EQ(germanReport.exitStatus, 0) << Joined(germanReport.lines);
    ASSERT_EQ(germanReport.Facts("text"), kGermanTexts);
    // The seventeen controls in the same order with the same ids, classes and styles.
    EXPECT_EQ(ownReport.Facts("control").size(), 17u);
    EXPECT_EQ(germanReport.Facts("control"), ownReport.Facts("control"));
}

// A host that rescans its plug-ins loads the module, opens its settings window, unloads it (with
// the window closed or still open), and loads it again: the same window comes up, and the German
// library, which the module never releases, stays loaded for it.
TEST(LanguageSelectionTest, UnloadingTheModuleLeavesNothingOfItInTheLayer) {
    const TemporaryDirectory own;
    const TemporaryDirectory german;
    WriteFile(german / "Language.xml", "<Language Path=\"" + kGerman + "\"/>");
    const struct {
        const TemporaryDirectory& directory;
        bool windowOpenAtUnload;
        const std::vector<std::string>& texts;
    } cases[] = {{own, false, kOwnTexts}, {own, true, kOwnTexts}, {german, true, kGermanTexts}};
    for (const auto& c : cases) {
        SCOPED_TRACE((c.windowOpenAtUnload ? "window open, " : "window closed, ") + c.texts[0]);
        const Report report =
            RunHost(c.directory.Path(), kModule, {kGerman}, {}, 2, c.windowOpenAtUnload);
        ASSERT_EQ(report.exitStatus, 0) << Joined(report.lines);
        std::vector<std::string> texts = c.texts;
        texts.insert(texts.end(), c.texts.begin(), c.texts.end());
        EXPECT_EQ(report.Facts("text"), texts);
        EXPECT_EQ(report.Facts("unloaded"), (std::vector<std::string>{"0 0", "0 0"}));
        const std::string germanLoaded = kGerman + (&c.texts == &kGermanTexts ? " 1" : " 0");
        EXPECT_EQ(report.Facts("loaded"), (std::vector<std::string>{germanLoaded, germanLoaded}));
    }
}

// Each slider of the German window: id, the record field it drives, the constant the field is
// read against (field = constant - position), the value label and its scale, a position to drag
// to.
struct BoundSlider {
    int id;
    std::int32_t EffectSettings::*field;
    int constant;
    int label;
    double scale;
    LONG target;
};

constexpr BoundSlider kSliders[] = {
    {22805, &EffectSettings::Delay, 110, 22807, 0.1, 30},
    {22806, &EffectSettings::Width, 110, 22808, 0.1, 85},
    {22809, &EffectSettings::Speed, 210, 22810, 0.01, 50},
    {22812, &EffectSettings::Depth, 110, 22816, 0.01, 40},
    {22815, &EffectSettings::Feedback, 110, 22817, 0.01, 70},
};

std::string Label(HWND dialog, int id) {
    char text[64] = {};
    GetWindowTextA(GetDlgItem(dialog, id), text, sizeof text);
    return text;
}

TEST(LanguageSelectionTest, GermanWindowDrivesTheRecordThroughEveryBoundControl) {
    const TemporaryDirectory directory;
    WriteFile(directory / "Language.xml", "<Language Path=\"" + kGerman + "\"/>");
    const Inspection driveEveryControl = [](HWND dialog, EffectSettings& settings,
                                            std::vector<std::string>& report) {
        for (const BoundSlider& slider : kSliders) {
            const LONG reached =
                flanger::platform::DragThumb(GetDlgItem(dialog, slider.id), slider.target);
            report.push_back("slider " + std::to_string(slider.id) + " " + std::to_string(reached) +
                             " " + std::to_string(settings.*slider.field) + " " +
                             Label(dialog, slider.label));
        }
        flanger::platform::ClickButton(GetDlgItem(dialog, 22818));
        report.push_back("sine " + std::to_string(settings.Sine));
        flanger::platform::ClickButton(GetDlgItem(dialog, 22819));
        report.push_back("feedback " + std::to_string(settings.Feedback));
    };
    const Report report = RunHost(directory.Path(), kModule, {}, driveEveryControl);
    ASSERT_EQ(report.exitStatus, 0) << Joined(report.lines);
    ASSERT_EQ(report.Facts("text"), kGermanTexts);

    const std::vector<std::string> sliders = report.Facts("slider");
    ASSERT_EQ(sliders.size(), std::size(kSliders)) << Joined(report.lines);
    LONG feedbackPosition = 0;
    for (std::size_t i = 0; i < std::size(kSliders); ++i) {
        const BoundSlider& slider = kSliders[i];
        int id = 0;
        long reached = 0;
        int stored = 0;
        char label[64] = {};
        ASSERT_EQ(std::sscanf(sliders[i].c_str(), "%d %ld %d %63s", &id, &reached, &stored, label),
                  4)
            << sliders[i];
        SCOPED_TRACE("slider " + std::to_string(id));
        // The pixel grid may not reach every position, but it comes within two of any.
        EXPECT_NEAR(reached, slider.target, 2);
        // The release stores the record: the value the thumb shows, and the label shows it too.
        EXPECT_EQ(stored, slider.constant - reached);
        char expectedLabel[64];
        std::snprintf(expectedLabel, sizeof expectedLabel, "%g",
                      (slider.constant - reached) * slider.scale);
        EXPECT_STREQ(label, expectedLabel);
        if (slider.id == 22815) feedbackPosition = reached;
    }
    // "Sinus" switches the sine sweep on; "Rückkopplung" switches feedback off, keeping its
    // magnitude.
    EXPECT_EQ(report.Facts("sine"), std::vector<std::string>{"1"});
    EXPECT_EQ(report.Facts("feedback"),
              std::vector<std::string>{std::to_string(-(110 - feedbackPosition))});
}

}  // namespace
