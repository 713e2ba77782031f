// "flanger window": the settings window painted into a PNG file, with a new effect's values or a
// preset's, in the module's own template or a translation's.
//
// The expected geometry comes from the module itself: the test hosts it as the command does (in
// a child process, since the module picks its language once per load, from the current
// directory), creates the settings window over the same values and asks each trackbar where its
// channel and thumb are. The picture must have the window's client size and show each thumb
// there: the dark shadow of a thumb's raised edge appears inside its rectangle and nowhere else in
// its trackbar outside the channel. Text pixels are never compared; fonts differ between
// machines.
#include <cairo.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "command_runner.h"
#include "flanger_plugin.h"
#include "scratch_directory.h"
#include "windowing/posix/window_painter/window_painter.h"
#include "windowing/user32.h"

namespace flanger::tool::test {
namespace {

namespace colour = platform::classic_colour;

const std::string kGerman = FLANGER_GERMAN_LIBRARY;
constexpr int kTrackbarIds[] = {22805, 22806, 22809, 22812, 22815};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

struct TrackbarGeometry {
    int id = 0;
    Rect window;  // in the settings window's client coordinates, as the rest
    Rect channel;
    Rect thumb;
};

struct WindowGeometry {
    int width = 0;
    int height = 0;
    std::vector<TrackbarGeometry> trackbars;
    Rect sineBox;
};

// Where the preset comes from, for the command and for the test's own hosting.
struct Preset {
    std::string file;  // empty: a new effect's values
    std::string section;
};

LRESULT ParentProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

Rect InDialog(HWND from, HWND dialog, const RECT& rect) {
    POINT corners[2] = {{rect.left, rect.top}, {rect.right, rect.bottom}};
    MapWindowPoints(from, dialog, corners, 2);
    return {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
}

// In the child: hosts the module and writes the settings window's geometry to `out` as numbers:
// width, height, then per trackbar its id and the window, channel and thumb rectangles.
int WriteGeometry(const Preset& preset, FILE* out) {
    void* const module = dlopen(ModulePath().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) return 1;
    const auto load = reinterpret_cast<decltype(&LoadPreset)>(dlsym(module, "LoadPreset"));
    const auto createWindow =
        reinterpret_cast<decltype(&CreateSettingsWindow)>(dlsym(module, "CreateSettingsWindow"));
    EffectSettings* settings = nullptr;
    if (load == nullptr || createWindow == nullptr ||
        load(preset.file.empty() ? nullptr : preset.file.c_str(),
             preset.file.empty() ? nullptr : preset.section.c_str(), nullptr, &settings) != 1) {
        return 1;
    }
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ParentProcedure;
    windowClass.lpszClassName = "WindowCommandTestHost";
    RegisterClassA(&windowClass);
    const HWND parent = CreateWindowExA(0, "WindowCommandTestHost", "host", WS_OVERLAPPEDWINDOW, 0,
                                        0, 640, 480, nullptr, nullptr, nullptr, nullptr);
    const HWND dialog = createWindow(parent, settings);
    if (dialog == nullptr) return 1;
    ShowWindow(parent, SW_SHOW);
    ShowWindow(dialog, SW_SHOW);
    RECT client{};
    GetClientRect(dialog, &client);
    std::fprintf(out, "%ld %ld\n", static_cast<long>(client.right),
                 static_cast<long>(client.bottom));
    for (const int id : kTrackbarIds) {
        const HWND trackbar = GetDlgItem(dialog, id);
        RECT window{};
        RECT channel{};
        RECT thumb{};
        GetWindowRect(trackbar, &window);
        SendMessageA(trackbar, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
        SendMessageA(trackbar, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
        for (const Rect& r :
             {InDialog(nullptr, dialog, window), InDialog(trackbar, dialog, channel),
              InDialog(trackbar, dialog, thumb)}) {
            std::fprintf(out, "%d %d %d %d ", r.left, r.top, r.right, r.bottom);
        }
        std::fprintf(out, "%d\n", id);
    }
    RECT sine{};
    GetWindowRect(GetDlgItem(dialog, 22818), &sine);
    const Rect box = InDialog(nullptr, dialog, sine);
    std::fprintf(out, "%d %d %d %d\n", box.left, box.top, box.right, box.bottom);
    return std::fflush(out) == 0 ? 0 : 1;
}

// The geometry of the settings window that the module creates when loaded in `directory`.
WindowGeometry HostedGeometry(const std::string& directory, const Preset& preset) {
    int channel[2];
    if (pipe2(channel, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        close(channel[0]);
        FILE* const out = fdopen(channel[1], "w");
        _exit(out != nullptr && chdir(directory.c_str()) == 0 ? WriteGeometry(preset, out) : 1);
    }
    close(channel[1]);
    FILE* const in = fdopen(channel[0], "r");
    WindowGeometry geometry;
    bool complete = std::fscanf(in, "%d %d", &geometry.width, &geometry.height) == 2;
    for (std::size_t i = 0; complete && i < std::size(kTrackbarIds); ++i) {
        TrackbarGeometry t;
        complete = std::fscanf(in, "%d %d %d %d %d %d %d %d %d %d %d %d %d", &t.window.left,
                               &t.window.top, &t.window.right, &t.window.bottom, &t.channel.left,
                               &t.channel.top, &t.channel.right, &t.channel.bottom, &t.thumb.left,
                               &t.thumb.top, &t.thumb.right, &t.thumb.bottom, &t.id) == 13;
        geometry.trackbars.push_back(t);
    }
    Rect& box = geometry.sineBox;
    complete = complete &&
               std::fscanf(in, "%d %d %d %d", &box.left, &box.top, &box.right, &box.bottom) == 4;
    std::fclose(in);
    int status = 0;
    waitpid(child, &status, 0);
    if (!complete || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("hosting the module in " + directory + " failed");
    }
    return geometry;
}

struct SurfaceRelease {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceRelease>;

class Picture {
public:
    explicit Picture(const std::string& path)
        : Image(cairo_image_surface_create_from_png(path.c_str())) {}
    explicit Picture(Surface image) : Image(std::move(image)) {}

    bool Loaded() const { return cairo_surface_status(Image.get()) == CAIRO_STATUS_SUCCESS; }
    int Width() const { return cairo_image_surface_get_width(Image.get()); }
    int Height() const { return cairo_image_surface_get_height(Image.get()); }
    std::uint32_t At(int x, int y) const {
        const unsigned char* const row =
            cairo_image_surface_get_data(Image.get()) +
            static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(Image.get());
        return reinterpret_cast<const std::uint32_t*>(row)[x] & 0xFFFFFF;
    }

private:
    Surface Image;
};

// The thumbs' raised edges where the module puts the thumbs, and their dark shadow nowhere else
// in the trackbars but in the channels' sunken edges.
void ExpectThumbsWhereTheModulePutsThem(const Picture& picture, const WindowGeometry& geometry) {
    for (const TrackbarGeometry& trackbar : geometry.trackbars) {
        SCOPED_TRACE("trackbar " + std::to_string(trackbar.id));
        const Rect& thumb = trackbar.thumb;
        ASSERT_LT(thumb.left + 2, thumb.right);
        ASSERT_LT(thumb.top + 2, thumb.bottom);
        int strays = 0;
        std::string firstStray;
        for (int y = trackbar.window.top; y < trackbar.window.bottom; ++y) {
            for (int x = trackbar.window.left; x < trackbar.window.right; ++x) {
                if (picture.At(x, y) != colour::kDarkShadow || thumb.Contains(x, y) ||
                    trackbar.channel.Contains(x, y)) {
                    continue;
                }
                if (strays++ == 0) firstStray = std::to_string(x) + "," + std::to_string(y);
            }
        }
        EXPECT_EQ(strays, 0) << "first at " << firstStray;
        // Bottom and right in the dark shadow, top and left lit.
        int unlit = 0;
        int unshaded = 0;
        for (int x = thumb.left; x < thumb.right; ++x) {
            unshaded += picture.At(x, thumb.bottom - 1) != colour::kDarkShadow;
        }
        for (int y = thumb.top; y < thumb.bottom; ++y) {
            unshaded += picture.At(thumb.right - 1, y) != colour::kDarkShadow;
        }
        for (int y = thumb.top; y < thumb.bottom - 1; ++y) {
            unlit += picture.At(thumb.left, y) != colour::kHighlight;
        }
        EXPECT_EQ(unshaded, 0);
        EXPECT_EQ(unlit, 0);
    }
}

// A preset whose five slider values all differ from a new effect's, so that every thumb sits
// elsewhere: positions Delay 85, Width 30, Speed 60, Depth 65, Feedback 50.
constexpr char kPresetText[] =
    "[Bright]\nDepth=45\nDelay=25\nWidth=80\nSine=1\nFeedback=-60\nSpeed=150\n";

struct PictureCase {
    const char* name;
    bool preset;
    enum { Own, TranslationOption, LanguageXmlHere, RelativeTranslation } language;
};

TEST(WindowCommandTest, PaintsTheSettingsWindowAsTheModuleLaysItOut) {
    const PictureCase cases[] = {
        {"a new effect's values", false, PictureCase::Own},
        {"a preset", true, PictureCase::Own},
        {"a new effect's values, in German", false, PictureCase::TranslationOption},
        {"a preset, in German", true, PictureCase::TranslationOption},
        // Never one in the folder the command runs in: it would load whatever library it names.
        {"a Language.xml in the current directory is ignored", true, PictureCase::LanguageXmlHere},
        {"--translation with a relative path", false, PictureCase::RelativeTranslation},
    };
    const ScratchDirectory own;  // a current directory without Language.xml
    const ScratchDirectory german;
    WriteBytes(german / "Language.xml", "<Language Path=\"" + kGerman + "\"/>\n");
    std::optional<WindowGeometry> ownDefaults;
    std::optional<WindowGeometry> ownPreset;
    std::optional<WindowGeometry> germanDefaults;

    for (const PictureCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ScratchDirectory d;
        std::filesystem::create_directory(d / "tmp");
        WriteBytes(d / "presets.ini", kPresetText);
        const Preset preset = c.preset ? Preset{d / "presets.ini", "Bright"} : Preset{};

        std::vector<std::string> arguments = {"window", "--png", "settings.png"};
        if (c.preset) {
            arguments.insert(arguments.end(),
                             {"--preset-file", preset.file, "--section", "Bright"});
        }
        if (c.language == PictureCase::TranslationOption) {
            arguments.insert(arguments.end(), {"--translation", kGerman});
        } else if (c.language == PictureCase::RelativeTranslation) {
            std::filesystem::copy_file(kGerman, d / "de.so");
            arguments.insert(arguments.end(), {"--translation", "de.so"});
        } else if (c.language == PictureCase::LanguageXmlHere) {
            WriteBytes(d / "Language.xml", ReadBytes(german / "Language.xml"));
        }
        CommandOptions options;
        options.workingDirectory = d.Path();
        options.environment["TMPDIR"] = d / "tmp";
        const CommandResult result = RunFlanger(arguments, options);
        ASSERT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_EQ(result.err, "");
        // The temporary Language.xml and its directory are gone.
        EXPECT_TRUE(std::filesystem::is_empty(d / "tmp"));

        const bool inGerman = c.language == PictureCase::TranslationOption ||
                              c.language == PictureCase::RelativeTranslation;
        const WindowGeometry expected =
            HostedGeometry(inGerman ? german.Path() : own.Path(), preset);
        const Picture picture(d / "settings.png");
        ASSERT_TRUE(picture.Loaded());
        EXPECT_EQ(picture.Width(), expected.width);
        EXPECT_EQ(picture.Height(), expected.height);
        if (picture.Width() != expected.width || picture.Height() != expected.height) continue;
        ExpectThumbsWhereTheModulePutsThem(picture, expected);

        if (c.language == PictureCase::Own) (c.preset ? ownPreset : ownDefaults) = expected;
        if (c.language == PictureCase::TranslationOption && !c.preset) germanDefaults = expected;
    }
    // The cases above compare with geometry that differs where it should: the German window is
    // wider, and the preset moves every thumb.
    ASSERT_TRUE(ownDefaults && ownPreset && germanDefaults);
    EXPECT_GT(germanDefaults->width, ownDefaults->width);
    for (std::size_t i = 0; i < std::size(kTrackbarIds); ++i) {
        EXPECT_NE(ownPreset->trackbars[i].thumb.top, ownDefaults->trackbars[i].thumb.top)
            << kTrackbarIds[i];
    }
}

struct RefusalCase {
    const char* name;
    std::vector<std::string> arguments;
    int exitStatus;
    std::string message;  // the start of standard error
};

TEST(WindowCommandTest, RefusesWhatItCannotShowAndKeepsAnExistingPicture) {
    const ScratchDirectory d;
    WriteBytes(d / "settings.png", "an older picture");
    const RefusalCase cases[] = {
        {"no --png", {"window"}, 2, "flanger: window needs --png FILE"},
        {"a file name operand",
         {"window", "--png", "settings.png", "more.png"},
         2,
         "flanger: window takes no file names"},
        {"--png without a name", {"window", "--png="}, 2, "flanger: --png needs a file name"},
        {"--translation elsewhere",
         {"demo", "out.wav", "--translation", kGerman},
         2,
         "flanger: --translation is not an option of demo"},
        {"a translation that does not exist",
         {"window", "--png", "settings.png", "--translation", d / "none.so"},
         1,
         "flanger: cannot load the translation library '" + d / "none.so" + "'"},
        {"a library without the settings window",
         {"window", "--png", "settings.png", "--translation", WrongModulePath()},
         1,
         "flanger: '" + WrongModulePath() + "' holds no settings window (dialog 22802)"},
        {"a preset file that does not exist",
         {"window", "--png", "settings.png", "--preset-file", d / "none.ini", "--section", "A"},
         1,
         "flanger: "},
        {"a folder that does not exist",
         {"window", "--png", d / "none/settings.png"},
         1,
         "flanger: "},
        {"edit without a preset",
         {"edit", "--translation", kGerman},
         2,
         "flanger: edit needs --preset-file and --section, --registry-key, or --xml-preset and "
         "--node\n"},
        {"edit without a display",
         {"edit", "--preset-file", d / "none.ini", "--section", "A"},
         1,
         "flanger: edit needs an X display, and none answers (is DISPLAY set?)\n"},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.name);
        CommandOptions options;
        options.workingDirectory = d.Path();
        options.environment["DISPLAY"] = std::nullopt;
        const CommandResult result = RunFlanger(c.arguments, options);
        EXPECT_EQ(result.exitStatus, c.exitStatus) << result.err;
        EXPECT_EQ(result.err.rfind(c.message, 0), 0u) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_EQ(ReadBytes(d / "settings.png"), "an older picture");
        EXPECT_EQ(d.Entries(), std::vector<std::string>{"settings.png"});
    }
}

// An X window dump (xwd's format: a header of big-endian 32-bit fields, the window name, the
// colour map, then the pixels) of a 24-bit TrueColor window, as an image; null for anything else.
Surface ReadWindowDump(const std::string& path) {
    const std::string bytes = ReadBytes(path);
    const auto field = [&](std::size_t index) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + index * 4;
        return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 |
               p[3];
    };
    constexpr std::size_t kHeaderFields = 25;
    if (bytes.size() < kHeaderFields * 4) return nullptr;
    const std::uint32_t headerSize = field(0), format = field(2), width = field(4),
                        height = field(5), byteOrder = field(7), bitsPerPixel = field(11),
                        bytesPerLine = field(12), colours = field(19);
    const std::size_t pixels = headerSize + std::size_t{colours} * 12;
    constexpr std::uint32_t kZPixmap = 2;
    if (format != kZPixmap || bitsPerPixel != 32 || width == 0 || height == 0 ||
        bytesPerLine < width * 4 || bytes.size() < pixels + std::size_t{bytesPerLine} * height) {
        return nullptr;
    }
    Surface image(cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(width),
                                             static_cast<int>(height)));
    unsigned char* const data = cairo_image_surface_get_data(image.get());
    const int stride = cairo_image_surface_get_stride(image.get());
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + pixels +
                            std::size_t{y} * bytesPerLine + std::size_t{x} * 4;
            const std::uint32_t value =
                byteOrder == 0 ? std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                                     std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24
                               : std::uint32_t{p[3]} | std::uint32_t{p[2]} << 8 |
                                     std::uint32_t{p[1]} << 16 | std::uint32_t{p[0]} << 24;
            reinterpret_cast<std::uint32_t*>(data + std::ptrdiff_t{stride} * y)[x] =
                value & 0xFFFFFF;
        }
    }
    cairo_surface_mark_dirty(image.get());
    return image;
}

// A shell command's standard output, without the last line break.
std::string OutputOf(const std::string& command) {
    std::string out;
    if (FILE* const pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
        pclose(pipe);
    }
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

std::string Point(int x, int y) { return " " + std::to_string(x) + " " + std::to_string(y); }

// "flanger edit" on an X server (the X11 run of these tests, under Xvfb, with no window manager,
// so the editor's window sits at the screen's origin and the settings window fills it): xdotool
// drags two thumbs to their ends and clicks the Sine box, and each change reaches the preset file
// at once, which keeps every other byte. The screen then shows, pixel for pixel, what "flanger
// window" paints for the saved values (text included: Xvfb composites cairo's glyphs exactly as
// cairo's image surfaces do).
TEST(WindowCommandTest, EditSavesEachChangeAndShowsWhatWindowPaints) {
    const char* const backend = std::getenv("FLANGER_WINDOW_BACKEND");
    if (backend == nullptr || std::string(backend) != "x11") {
        GTEST_SKIP() << "needs an X server (FLANGER_WINDOW_BACKEND=x11)";
    }
    const std::string before =
        "; the edit test's presets\r\n[Other]\r\nDelay = 33\r\n\r\n[Mine]\r\nDepth=80\r\n"
        "Delay=40\r\nWidth=30\r\nSine=0\r\nFeedback=-20\r\nSpeed=50\r\n[Last]\r\nSine=1\r\n";
    const std::string after =
        "; the edit test's presets\r\n[Other]\r\nDelay = 33\r\n\r\n[Mine]\r\nDepth=80\r\n"
        "Delay=100\r\nWidth=10\r\nSine=1\r\nFeedback=-20\r\nSpeed=50\r\n[Last]\r\nSine=1\r\n";
    const ScratchDirectory d;
    WriteBytes(d / "presets.ini", before);
    const WindowGeometry geometry = HostedGeometry(d.Path(), Preset{d / "presets.ini", "Mine"});

    const std::vector<std::string> arguments = {"edit", "--preset-file", d / "presets.ini",
                                                "--section", "Mine"};
    const int editor = StartFlanger(arguments, {}, d / "edit.out", d / "edit.err");
    ASSERT_GT(editor, 0);
    const std::string window = OutputOf("timeout 20 xdotool search --sync --name '^flanger edit$'");
    ASSERT_FALSE(window.empty()) << ReadBytes(d / "edit.err");

    const Rect& delay = geometry.trackbars[0].thumb;
    const Rect& width = geometry.trackbars[1].thumb;
    const Rect& sine = geometry.sineBox;
    const int delayX = (delay.left + delay.right) / 2, widthX = (width.left + width.right) / 2;
    ASSERT_EQ(
        std::system(("xdotool mousemove" + Point(delayX, (delay.top + delay.bottom) / 2) +
                     " mousedown 1 mousemove" + Point(delayX, 0) + " mouseup 1" + " mousemove" +
                     Point(widthX, (width.top + width.bottom) / 2) + " mousedown 1 mousemove" +
                     Point(widthX, geometry.height + 40) + " mouseup 1 mousemove" +
                     Point((sine.left + sine.right) / 2, (sine.top + sine.bottom) / 2) + " click 1")
                        .c_str()),
        0);
    for (int wait = 0; wait < 200 && ReadBytes(d / "presets.ini") != after; ++wait) {
        usleep(50000);
    }
    EXPECT_EQ(ReadBytes(d / "presets.ini"), after);

    ASSERT_EQ(std::system(("xwd -silent -id " + window + " -out " + d / "screen.xwd").c_str()), 0);
    ASSERT_EQ(std::system(("xdotool windowclose " + window).c_str()), 0);
    const CommandResult edited = WaitForFlanger(editor, d / "edit.out", d / "edit.err");
    EXPECT_EQ(edited.exitStatus, 0);
    EXPECT_EQ(edited.err, "");

    // The display drops the editor's connection: it ends, and what it saved stays.
    const int dropped = StartFlanger(arguments, {}, d / "drop.out", d / "drop.err");
    ASSERT_GT(dropped, 0);
    const std::string second = OutputOf("timeout 20 xdotool search --sync --name '^flanger edit$'");
    ASSERT_EQ(std::system(("xdotool windowkill " + second).c_str()), 0);
    const CommandResult lost = WaitForFlanger(dropped, d / "drop.out", d / "drop.err");
    EXPECT_EQ(lost.exitStatus, 1);
    EXPECT_EQ(lost.err, "flanger: the display closed\n");
    EXPECT_EQ(ReadBytes(d / "presets.ini"), after);

    const CommandResult painted =
        RunFlanger({"window", "--png", d / "settings.png", "--preset-file", d / "presets.ini",
                    "--section", "Mine"});
    ASSERT_EQ(painted.exitStatus, 0) << painted.err;
    const Picture expected(d / "settings.png");
    Surface dump = ReadWindowDump(d / "screen.xwd");
    ASSERT_NE(dump, nullptr);
    const Picture screen(std::move(dump));
    ASSERT_TRUE(expected.Loaded());
    ASSERT_EQ(screen.Width(), expected.Width());
    ASSERT_EQ(screen.Height(), expected.Height());
    int differing = 0;
    for (int y = 0; y < screen.Height(); ++y) {
        for (int x = 0; x < screen.Width(); ++x) differing += screen.At(x, y) != expected.At(x, y);
    }
    EXPECT_EQ(differing, 0);
}

}  // namespace
}  // namespace flanger::tool::test
