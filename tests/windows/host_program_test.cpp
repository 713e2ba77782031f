// A host program for the Windows build: it loads Plugin.dll with LoadLibraryA on a thread that has
// initialised COM, takes the thirteen exports with GetProcAddress and uses them as the host audio
// editor does: presets in a profile file, the registry and its own settings tree, a stream, and
// the settings window inside a real parent window, moved with real input messages, with and
// without the German resource library chosen by a "Language.xml".
//
// Everything behind the module's calls is Wine's: the profile functions, the registry, MSXML, the
// dialog manager and the common-controls trackbar. Pictures of the windows are saved as
// settings_window.bmp and settings_window_de.bmp.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>
// After <windows.h>.
#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host_records.h"
#include "host_settings_node.h"
#include "host_stream.h"
#include "plugin_module.h"

namespace host {
namespace {

using CreateSettingsWindowFunction = HWND (*)(HWND parent, EffectSettings* settings);

// The settings window's control ids and its notification to the parent.
constexpr int kDelaySliderId = 22805;
constexpr int kDelayLabelId = 22807;
constexpr int kSpeedSliderId = 22809;
constexpr int kSineCheckId = 22818;
constexpr WPARAM kSettingsChangedWParam = 0x04000000;
// Slider positions run from the top of the range down: position = 110 - value.
constexpr int kSliderTop = 110;

// The COM apartment a host's thread lives in; the module never initialises COM itself.
class ComApartment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    }
    void TearDown() override { CoUninitialize(); }
};
const auto* const kApartment = ::testing::AddGlobalTestEnvironment(new ComApartment);

std::string FullPath(const char* path) {
    char full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameA(path, MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? std::string(full) : std::string(path);
}

// Plugin.dll as the host holds it: loaded by full path, the exports taken by name.
class LoadedModule {
public:
    LoadedModule() : module_(LoadLibraryA(FullPath(FLANGER_PLUGIN_PATH).c_str())) {
        if (module_ == nullptr) {
            error_ = "LoadLibraryA failed with error " + std::to_string(GetLastError());
            return;
        }
        error_ = ResolveExports([this](const char* name) { return Find(name); }, exports_);
        createSettingsWindow_ =
            reinterpret_cast<CreateSettingsWindowFunction>(Find("CreateSettingsWindow"));
        if (createSettingsWindow_ == nullptr) error_ += "missing CreateSettingsWindow; ";
    }
    ~LoadedModule() {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    const std::string& Error() const { return error_; }
    HMODULE Module() const { return module_; }
    const PluginExports& Exports() const { return exports_; }
    HWND CreateSettingsWindow(HWND parent, EffectSettings* record) const {
        return createSettingsWindow_(parent, record);
    }

private:
    void* Find(const char* name) const {
        return reinterpret_cast<void*>(GetProcAddress(module_, name));
    }

    HMODULE module_;
    std::string error_;
    PluginExports exports_{};
    CreateSettingsWindowFunction createSettingsWindow_ = nullptr;
};

// A record from Initialize, given back with Free.
struct RecordDeleter {
    const PluginExports* exports;
    void operator()(EffectSettings* record) const { exports->Free(record); }
};
using Record = std::unique_ptr<EffectSettings, RecordDeleter>;

Record NewRecord(const PluginExports& exports) {
    EffectSettings* record = nullptr;
    EXPECT_EQ(exports.Initialize(nullptr, nullptr, nullptr, &record), 1);
    return Record(record, RecordDeleter{&exports});
}

Record LoadRecord(const PluginExports& exports, const char* file, const char* section,
                  void* rootKey) {
    EffectSettings* record = nullptr;
    EXPECT_EQ(exports.LoadPreset(file, section, rootKey, &record), 1);
    return Record(record, RecordDeleter{&exports});
}

// The style word of dialog 22802 as the module's resource section holds it.
DWORD StoredDialogStyle(HMODULE module) {
    HRSRC const resource = FindResourceA(module, MAKEINTRESOURCEA(22802), MAKEINTRESOURCEA(5));
    if (resource == nullptr || SizeofResource(module, resource) < sizeof(DWORD)) return 0;
    DWORD style = 0;
    std::memcpy(&style, LockResource(LoadResource(module, resource)), sizeof style);
    return style;
}

class HostProgramTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { module_ = new LoadedModule; }
    static void TearDownTestSuite() {
        delete module_;
        module_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(module_->Error().empty()) << module_->Error(); }

    const PluginExports& Exports() const { return module_->Exports(); }

    static LoadedModule* module_;
};
LoadedModule* HostProgramTest::module_ = nullptr;

TEST_F(HostProgramTest, IdentifiesTheEffect) {
    PlugInInformation info{};
    info.Size = sizeof info;
    ASSERT_EQ(Exports().PlugInInfo(&info), 1);
    EXPECT_STREQ(info.Name, "Flanger");
    EXPECT_STREQ(info.Vendor, "Vornak");
}

// A directory of the test's own below the system's temporary directory, removed at the end.
class ScratchDirectory {
public:
    ScratchDirectory() {
        char base[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, base);
        for (unsigned attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const std::string candidate = std::string(base) + "flanger-host-" +
                                          std::to_string(GetCurrentProcessId()) + "-" +
                                          std::to_string(GetTickCount() + attempt);
            if (CreateDirectoryA(candidate.c_str(), nullptr)) path_ = candidate;
        }
        EXPECT_FALSE(path_.empty()) << "no scratch directory in " << base;
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    std::string File(const char* name) const { return path_ + "\\" + name; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

constexpr Parameters kSaved = {35, 72, 18, 1, -60, 140};

// A preset in a profile file through Windows' own profile functions: the file's exact text, and
// the values back through LoadPreset.
TEST_F(HostProgramTest, ProfileFilePresetIsWrittenAndLoadsBack) {
    const ScratchDirectory directory;
    const std::string file = directory.File("presets.ini");
    Record record = NewRecord(Exports());
    ASSERT_NE(record, nullptr);
    SetParameters(*record, kSaved);

    ASSERT_EQ(Exports().SavePreset(file.c_str(), "My flanger", nullptr, record.get()), 1);
    EXPECT_EQ(FileText(file),
              "[My flanger]\r\nDepth=35\r\nDelay=72\r\nWidth=18\r\nSine=1\r\nFeedback=-60\r\n"
              "Speed=140\r\n");
    Record loaded = LoadRecord(Exports(), file.c_str(), "My flanger", nullptr);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(ParametersOf(*loaded), kSaved);
}

// A preset in the registry below HKEY_CURRENT_USER: six values of type 0 (REG_NONE) holding four
// bytes each, read back by LoadPreset.
TEST_F(HostProgramTest, RegistryPresetIsSixFourByteValuesAndLoadsBack) {
    const std::string key = "Software\\Flanger host test\\" + std::to_string(GetCurrentProcessId());
    Record record = NewRecord(Exports());
    ASSERT_NE(record, nullptr);
    SetParameters(*record, kSaved);

    ASSERT_EQ(Exports().SavePreset(nullptr, key.c_str(), HKEY_CURRENT_USER, record.get()), 1);
    HKEY opened = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &opened), ERROR_SUCCESS);
    const struct {
        const char* name;
        std::int32_t value;
    } expected[] = {{"Depth", 35}, {"Delay", 72},     {"Width", 18},
                    {"Sine", 1},   {"Feedback", -60}, {"Speed", 140}};
    for (const auto& value : expected) {
        SCOPED_TRACE(value.name);
        DWORD type = 0xFFFF;
        std::int32_t stored = 0;
        DWORD size = sizeof stored;
        ASSERT_EQ(RegQueryValueExA(opened, value.name, nullptr, &type,
                                   reinterpret_cast<BYTE*>(&stored), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(type, static_cast<DWORD>(REG_NONE));
        EXPECT_EQ(size, 4u);
        EXPECT_EQ(stored, value.value);
    }
    RegCloseKey(opened);

    Record loaded = LoadRecord(Exports(), nullptr, key.c_str(), HKEY_CURRENT_USER);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(ParametersOf(*loaded), kSaved);
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Flanger host test"), ERROR_SUCCESS);
}

// A preset in the host's own settings tree: SavePresetXml adds a child per parameter with its
// "Value", InitializeXml reads them back, and the host destroys everything.
TEST_F(HostProgramTest, SettingsNodePresetIsAddedToTheHostsTreeAndReadBack) {
    {
        SettingsNode root("Flanger");
        Record record = NewRecord(Exports());
        ASSERT_NE(record, nullptr);
        SetParameters(*record, kSaved);
        ASSERT_EQ(Exports().SavePresetXml(&root, record.get()), 1);

        std::vector<std::string> children;
        for (const TreeNode* child = root.firstChild; child != nullptr;
             child = child->nextSibling) {
            const auto& node = *static_cast<const SettingsNode*>(child);
            std::string text = node.name;
            for (const SettingsAttribute& attribute : node.attributes) {
                text += " " + attribute.name + "=" + attribute.value;
            }
            children.push_back(text);
        }
        EXPECT_EQ(children, (std::vector<std::string>{"Depth Value=35", "Delay Value=72",
                                                      "Width Value=18", "Sine Value=1",
                                                      "Feedback Value=-60", "Speed Value=140"}));

        EffectSettings* loaded = nullptr;
        ASSERT_EQ(Exports().InitializeXml(&root, &loaded), 1);
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(ParametersOf(*loaded), kSaved);
        Exports().Free(loaded);
    }
    EXPECT_EQ(liveHostNodes, 0);
}

// A stereo stream through ProcessStream, bit for bit the engine's output for the same record.
TEST_F(HostProgramTest, StreamIsTheEnginesOutputBitForBit) {
    constexpr Parameters kStream = {80, 30, 70, 1, 45, 150};
    Record record = NewRecord(Exports());
    ASSERT_NE(record, nullptr);
    SetParameters(*record, kStream);
    HostSource source({.Channels = 2, .BlockSizes = {512, 1, 4096, 37}});
    HostBuffer buffer;
    ASSERT_EQ(Exports().SetStreamCallBack(&HostSource::CallBack, source.Context(), record.get()),
              1);
    const StreamFormat format = {3, 2, 44100};
    ASSERT_EQ(Exports().OpenStream(record.get(), &format), 0);
    auto reference = OpenReference(kStream, format.SampleRate, format.Channels);
    ASSERT_NE(reference, nullptr);
    for (int block = 0; block < 200; ++block) {
        const Block& processed = ProcessOneBlock(Exports(), record.get(), source, buffer);
        ASSERT_TRUE(SameSamples(processed.Samples, ProcessWithEngine(*reference, processed)))
            << "block " << block;
    }
    EXPECT_EQ(Exports().CloseStream(record.get()), 1);
}

// The host's main window: a plain top-level window whose queue receives the settings window's
// notifications.
class HostWindow {
public:
    HostWindow() {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "FlangerHostWindow";
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        RegisterClassA(&windowClass);  // fails harmlessly when registered by an earlier test
        window_ =
            CreateWindowExA(0, "FlangerHostWindow", "Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40,
                            40, 520, 320, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    ~HostWindow() {
        if (window_ != nullptr) DestroyWindow(window_);
    }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    HWND Handle() const { return window_; }

    // Takes the WM_COMMAND messages waiting in the queue for this window and returns them; every
    // other message is dispatched.
    std::vector<MSG> TakeCommands() const {
        std::vector<MSG> commands;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.hwnd == window_ && message.message == WM_COMMAND) {
                commands.push_back(message);
            } else {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
        return commands;
    }

private:
    HWND window_ = nullptr;
};

std::wstring WindowText(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

std::string ClassName(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, 256);
    return name;
}

// Saves what the window shows, as a 24-bit BMP file.
bool SavePicture(HWND window, const std::string& path) {
    RECT area = {};
    GetClientRect(window, &area);
    const int width = area.right;
    const int height = area.bottom;
    if (width <= 0 || height <= 0) return false;
    HDC const windowDc = GetDC(window);
    HDC const memoryDc = CreateCompatibleDC(windowDc);
    HBITMAP const bitmap = CreateCompatibleBitmap(windowDc, width, height);
    HGDIOBJ const previous = SelectObject(memoryDc, bitmap);
    const bool copied = BitBlt(memoryDc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY) != 0;
    SelectObject(memoryDc, previous);

    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::vector<char> pixels(static_cast<std::size_t>(stride) * height);
    const bool read =
        copied && GetDIBits(memoryDc, bitmap, 0, height, pixels.data(),
                            reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS) == height;
    DeleteObject(bitmap);
    DeleteDC(memoryDc);
    ReleaseDC(window, windowDc);
    if (!read) return false;

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    return out.good();
}

// Lets the windows paint, then saves the host window's picture.
void SavePictureOf(const HostWindow& host, const char* name) {
    UpdateWindow(host.Handle());
    for (int round = 0; round < 20; ++round) {
        host.TakeCommands();
        Sleep(10);
    }
    const std::string path = std::string(FLANGER_PICTURE_DIRECTORY) + "/" + name;
    EXPECT_TRUE(SavePicture(host.Handle(), path)) << path;
}

// A key pressed and released on a control, as the system delivers it to a focused window.
void PressKey(HWND control, UINT key) {
    SetFocus(control);
    SendMessageA(control, WM_KEYDOWN, key, 1);
    SendMessageA(control, WM_KEYUP, key, 0xC0000001);
}

// The thumb dragged `distance` pixels down and released, with the mouse messages a person's
// hand makes.
void DragThumb(HWND trackbar, int distance) {
    RECT thumb = {};
    SendMessageA(trackbar, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
    const int x = (thumb.left + thumb.right) / 2;
    const int y = (thumb.top + thumb.bottom) / 2;
    SendMessageA(trackbar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    for (int step = 1; step <= 4; ++step) {
        SendMessageA(trackbar, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y + distance * step / 4));
    }
    SendMessageA(trackbar, WM_LBUTTONUP, 0, MAKELPARAM(x, y + distance));
}

int CountNotifications(const std::vector<MSG>& commands, HWND dialog) {
    int count = 0;
    for (const MSG& command : commands) {
        EXPECT_EQ(command.wParam, kSettingsChangedWParam);
        EXPECT_EQ(reinterpret_cast<HWND>(command.lParam), dialog);
        ++count;
    }
    return count;
}

// The settings window inside the host's window: the seventeen controls of the dialog over real
// trackbars, moved by key and by mouse, and the record written and announced only when a move
// is committed.
TEST_F(HostProgramTest, SettingsWindowUnderARealParentWindow) {
    const HostWindow host;
    ASSERT_NE(host.Handle(), nullptr);
    Record record = NewRecord(Exports());
    ASSERT_NE(record, nullptr);

    // The window is a child (WS_CHILD | DS_3DLOOK | DS_SETFONT) made from a copy of the template:
    // the loaded resource keeps its pop-up style.
    constexpr DWORD kStoredStyle = 0x80C800C0;
    ASSERT_EQ(StoredDialogStyle(module_->Module()), kStoredStyle);
    HWND const dialog = module_->CreateSettingsWindow(host.Handle(), record.get());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetParent(dialog), host.Handle());
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE)), 0x40000044u);
    EXPECT_EQ(StoredDialogStyle(module_->Module()), kStoredStyle);
    int controls = 0;
    int trackbars = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        ++controls;
        if (ClassName(child) == TRACKBAR_CLASSA) ++trackbars;
    }
    EXPECT_EQ(controls, 17);
    EXPECT_EQ(trackbars, 5);

    HWND const delay = GetDlgItem(dialog, kDelaySliderId);
    ASSERT_NE(delay, nullptr);
    EXPECT_EQ(SendMessageA(delay, TBM_GETRANGEMIN, 0, 0), 10);
    EXPECT_EQ(SendMessageA(delay, TBM_GETRANGEMAX, 0, 0), 100);
    EXPECT_EQ(SendMessageA(delay, TBM_GETPOS, 0, 0), kSliderTop - 50);
    EXPECT_EQ(WindowText(GetDlgItem(dialog, kDelayLabelId)), L"5");
    EXPECT_EQ(SendMessageA(GetDlgItem(dialog, kSpeedSliderId), TBM_GETPOS, 0, 0), 210 - 10);
    ShowWindow(dialog, SW_SHOW);
    EXPECT_TRUE(host.TakeCommands().empty()) << "creation announced a change";
    SavePictureOf(host, "settings_window.bmp");

    // One line down: the position grows by one, the delay shrinks by a tenth of a millisecond,
    // stored when the key is released (TB_ENDTRACK) and announced once.
    PressKey(delay, VK_DOWN);
    EXPECT_EQ(SendMessageA(delay, TBM_GETPOS, 0, 0), kSliderTop - 49);
    EXPECT_EQ(record->Delay, 49);
    EXPECT_EQ(WindowText(GetDlgItem(dialog, kDelayLabelId)), L"4.9");
    EXPECT_EQ(CountNotifications(host.TakeCommands(), dialog), 1);

    // A drag: the record changes only on release, which reports TB_THUMBPOSITION and TB_ENDTRACK,
    // a store and a notification each. Wine's trackbar reports TB_ENDTRACK once more when it
    // gives up the mouse capture: one more store of the same values, one more notification.
    DragThumb(delay, 40);
    const LRESULT dragged = SendMessageA(delay, TBM_GETPOS, 0, 0);
    EXPECT_GT(dragged, kSliderTop - 49);
    EXPECT_EQ(record->Delay, kSliderTop - dragged);
    const int dragNotifications = CountNotifications(host.TakeCommands(), dialog);
    EXPECT_GE(dragNotifications, 2);
    EXPECT_LE(dragNotifications, 3);

    // The sine box, clicked.
    SendMessageA(GetDlgItem(dialog, kSineCheckId), BM_CLICK, 0, 0);
    EXPECT_EQ(record->Sine, 1);
    EXPECT_EQ(CountNotifications(host.TakeCommands(), dialog), 1);
    EXPECT_EQ(ParametersOf(*record),
              (Parameters{90, static_cast<std::int32_t>(kSliderTop - dragged), 50, 1, 10, 10}));

    DestroyWindow(dialog);
    EXPECT_FALSE(IsWindow(dialog));
}

// Restores the current directory when it goes.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::filesystem::path& path) {
        GetCurrentDirectoryW(MAX_PATH, previous_);
        EXPECT_TRUE(SetCurrentDirectoryW(path.c_str())) << path;
    }
    ~CurrentDirectory() { SetCurrentDirectoryW(previous_); }
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;

private:
    wchar_t previous_[MAX_PATH] = {};
};

// The thread that makes the host's first call into a freshly loaded module.
enum class FirstCaller { LoadingThread, ThreadWithoutCom, ThreadInTheMta };

void MakeFirstCall(const PluginExports& exports, FirstCaller caller) {
    PlugInInformation info{};
    info.Size = sizeof info;
    if (caller == FirstCaller::LoadingThread) {
        EXPECT_EQ(exports.PlugInInfo(&info), 1);
        return;
    }
    std::thread([&] {
        const bool inTheMta = caller == FirstCaller::ThreadInTheMta;
        EXPECT_EQ(inTheMta ? CoInitializeEx(nullptr, COINIT_MULTITHREADED) : S_OK, S_OK);
        EXPECT_EQ(exports.PlugInInfo(&info), 1);
        // The module's start-up leaves this thread's COM as the host set it up.
        APTTYPE type;
        APTTYPEQUALIFIER qualifier;
        EXPECT_EQ(CoGetApartmentType(&type, &qualifier), inTheMta ? S_OK : CO_E_NOTINITIALIZED);
        if (inTheMta) CoUninitialize();
    }).join();
}

// The captions of the settings window's labels and of its sine box.
std::vector<std::wstring> LabelsOf(HWND dialog) {
    std::vector<std::wstring> texts;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetDlgCtrlID(child) == 65535) texts.push_back(WindowText(child));
    }
    texts.push_back(WindowText(GetDlgItem(dialog, kSineCheckId)));
    return texts;
}

// The module, loaded afresh for each case, reads "Language.xml" from the directory current at
// load (a directory of a name outside the ANSI code page too), whichever thread of the host calls
// first and wherever the host has moved in between.
TEST(HostProgramLanguageTest, LanguageXmlOfTheDirectoryAtLoadSelectsTheWindow) {
    const ScratchDirectory scratch;
    const std::filesystem::path plain = scratch.Path();
    const std::filesystem::path german = plain / "german";
    const std::filesystem::path greek = plain / L"\u0393\u03BB\u03CE\u03C3\u03C3\u03B1";
    for (const std::filesystem::path& directory : {german, greek}) {
        ASSERT_TRUE(std::filesystem::create_directory(directory));
        std::ofstream(directory / "Language.xml", std::ios::binary)
            << "<?xml version=\"1.0\"?>\r\n<Language Path=\"" << FullPath(FLANGER_GERMAN_LIBRARY)
            << "\"/>\r\n";
    }
    const std::vector<std::wstring> kGermanLabels = {L"Verzögerung", L"Breite",       L"Tempo",
                                                     L"Tiefe",       L"Rückkopplung", L"Sinus"};
    const std::vector<std::wstring> kOwnLabels = {L"Delay", L"Width",    L"Speed",
                                                  L"Depth", L"Feedback", L"Sine"};
    using enum FirstCaller;
    const struct {
        const char* what;
        const std::filesystem::path& atLoad;
        const std::filesystem::path& atFirstCall;
        FirstCaller caller;
        bool german;
    } cases[] = {
        {"first call on the loading thread", german, german, LoadingThread, true},
        {"first call from a thread without COM", german, german, ThreadWithoutCom, true},
        {"first call from a thread in the MTA", german, german, ThreadInTheMta, true},
        {"directory left before the first call", german, plain, LoadingThread, true},
        {"directory entered before the first call", plain, german, LoadingThread, false},
        {"directory outside the code page, left", greek, plain, ThreadWithoutCom, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::optional<CurrentDirectory> current(std::in_place, c.atLoad);
        const LoadedModule module;
        ASSERT_TRUE(module.Error().empty()) << module.Error();
        current.emplace(c.atFirstCall);
        MakeFirstCall(module.Exports(), c.caller);
        current.reset();

        const HostWindow host;
        Record record = NewRecord(module.Exports());
        ASSERT_NE(record, nullptr);
        HWND const dialog = module.CreateSettingsWindow(host.Handle(), record.get());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(LabelsOf(dialog), c.german ? kGermanLabels : kOwnLabels);
        if (&c == &cases[0]) {
            ShowWindow(dialog, SW_SHOW);
            SavePictureOf(host, "settings_window_de.bmp");
        }
        DestroyWindow(dialog);
    }
}

}  // namespace
}  // namespace host
