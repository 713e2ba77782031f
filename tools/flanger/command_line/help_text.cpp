// The text of "flanger --help", put together from one piece per command and per group of
// options, so that "flanger COMMAND --help" shows the pieces of that command alone. The effect
// options and their help come from the controls' table (effect/effect_controls.h).
#include "command_line/help_text.h"

#include <algorithm>
#include <string_view>

#include "effect/effect_controls.h"

namespace flanger::tool {
namespace {

enum Section : unsigned {
    kEffect = 1u << 0,
    kPreset = 1u << 1,
    kOutput = 1u << 2,
    kWindow = 1u << 3,
    kFiles = 1u << 4,
    kFactory = 1u << 5,
};

struct CommandHelp {
    Command Topic;
    std::string_view Usage;
    std::string_view Text;
    unsigned Sections;
};

constexpr CommandHelp kCommands[] = {
    {Command::Process,
     R"(flanger process IN OUT [options]
       flanger process IN... OUTDIR [options]
       flanger process INDIR OUTDIR [options]
)",
     R"(  process IN OUT   Process the audio file IN and write the result to OUT, with any channel
                   count and sample rate. IN may be any file libsndfile reads; OUT's
                   container follows its extension (see Output options). IN '-' reads
                   standard input, OUT '-' writes standard output (WAV unless --format
                   says otherwise), so that the command works in a pipe:
                     flanger process - - < in.wav | sox -t wav - out.flac
                   Through a pipe, libsndfile reads WAV, AIFF, AU, Ogg, Opus and MP3;
                   FLAC, CAF, RF64 and others need a file name or '<'. WAV, AU and raw
                   go down a pipe as they are made, their header's sizes 0xFFFFFFFF
                   ("until the end") as sox and ffmpeg write them; other formats are
                   written whole first. Standard output gets the audio alone; never a
                   terminal.
  process IN... OUTDIR
  process INDIR OUTDIR
                   Process several files, or every audio file directly in the folder INDIR
                   (in name order; other files are skipped with a note), into the folder
                   OUTDIR: an existing folder, or a name ending in '/' for a folder to
                   create (its parent must exist). Any other OUTDIR is refused, so that
                   'process a.wav b.wav out.wav' never makes a folder out.wav (to join
                   files, use sox). With one IN, an OUT that is a folder takes the
                   output too. Each output keeps its input's file name, with the
                   extension of the --format container when that changes it. Files are
                   processed at the same time, one per processor core; the options apply
                   to every file, and each output is the same as from processing that
                   file alone. Refused before anything is written: two inputs with the
                   same output name, an output that would replace an input (OUTDIR the
                   same folder as INDIR included). A file that fails is reported on its
                   own line and the others go on; the exit status is then 1.
)",
     kEffect | kFactory | kPreset | kOutput | kFiles},
    {Command::Demo, "flanger demo OUT [options]\n",
     R"(  demo OUT         Write about 10 seconds of a built-in stereo test signal (a sawtooth
                   chord over noise, 44.1 kHz) through the effect. The container follows
                   OUT's extension (WAV when it has none, and for '-', standard output);
                   the encoding is 16-bit PCM (the codec for lossy containers) unless
                   --encoding says otherwise.
)",
     kEffect | kFactory | kPreset | kOutput | kFiles},
    {Command::SavePreset, "flanger save-preset PRESET [effect options]\n",
     R"(  save-preset      Store effect settings as a preset: the values the preset PRESET already
                   holds (a new effect's where it holds none), changed by the effect
                   options given. The rest of the file or registry is kept as it is.
)",
     kEffect | kPreset},
    {Command::ShowPreset, "flanger show-preset PRESET\n",
     R"(  show-preset      Print the six values of the preset PRESET, in the units of the effect
                   options and as stored, such as: delay 5.0 ms (Delay=50).
)",
     kPreset},
    {Command::Presets, "flanger presets\n",
     R"(  presets          List the factory presets: each one's name and key, what it is for, and
                   the effect options that give its values from a new effect's. process
                   and demo start from one with --preset-name.
)",
     0},
    {Command::Info, "flanger info [--plugin PATH]\n",
     R"(  info             Print the name and vendor the module reports.
)",
     0},
    {Command::Window,
     "flanger window --png FILE [PRESET] [effect options] [--translation LIBRARY]\n",
     R"(  window           Paint the module's settings window, as a host shows it, into the PNG
                   file FILE: its sliders and check boxes set to the values PRESET holds
                   (a new effect's when none is named), changed by the effect options.
)",
     kEffect | kPreset | kWindow},
    {Command::Edit, "flanger edit PRESET [--translation LIBRARY]\n",
     R"(  edit             Open the settings window over the values PRESET holds in a window of
                   its own on the X11 display ($DISPLAY), as an audio editor hosts it.
                   Every change made in it is saved to PRESET at once, as save-preset
                   saves; closing the window ends the command. Without a display it
                   says so and fails.
)",
     kPreset | kWindow},
};

constexpr std::string_view kIntroduction = R"(
Runs audio through the flanger plug-in module (Plugin.so), loading it and driving it
exactly as an audio editor does.
)";

constexpr std::string_view kEffectOptionsTitle = R"(
Effect options (process, demo, save-preset, window); the defaults are those of a new effect:
)";

constexpr std::string_view kEffectOptionsNotes =
    R"(  Values between the steps are rounded to the nearest step. --feedback switches feedback
  on unless --no-feedback is given too. A negative --feedback, a --mix other than 0.50 or
  a --spread other than 0 is not a value of the module's record: the run then renders
  with the engine's live mode built into the command (the same arithmetic, with these
  controls); presets never hold them.
)";

constexpr std::string_view kPresetOptions = R"(
Preset options (PRESET): one of the three locations below. save-preset and show-preset
need one; process, demo and window take their settings from it when given.
  --preset-file FILE --section NAME
                    Section NAME of the profile (INI) file FILE.
  --registry-key KEY
                    The registry key KEY: HKCU\PATH or HKLM\PATH, also written
                    HKEY_CURRENT_USER\PATH or HKEY_LOCAL_MACHINE\PATH (the root in any
                    letter case). The module keeps its registry in $FLANGER_REGISTRY, by
                    default registry.sqlite3 in $XDG_CONFIG_HOME/flanger or
                    ~/.config/flanger. Quote KEY in a shell, which takes backslashes
                    for its own.
  --xml-preset FILE --node PATH
                    The element PATH of the XML settings file FILE: element names from
                    the root element's down, separated by '/', such as
                    Settings/Effects/Flanger, each matched in any letter case (the first
                    match counts). The values are its child elements Depth, Delay, Width,
                    Sine, Feedback and Speed, each with the attribute Value.
  --allow-missing-preset
                    process, demo: run with a new effect's values, and a warning, when
                    the section, key or element holds no preset (by default an error).
  Effect options given with a preset override the values loaded from it. Values missing
  from a section, key or element give a new effect's defaults. One that does not exist
  fails process and demo (see above); show-preset and window warn. A FILE that does not exist
  is an error, except for save-preset, which creates it (an XML FILE with the elements of
  PATH). An XML FILE that is not well-formed is an error, also for save-preset, which then
  leaves it alone; otherwise save-preset changes only the values and the elements it adds,
  and keeps every other byte. Stored values outside the ranges above are used as they are,
  with a warning.
)";

constexpr std::string_view kFactoryOptions = R"(
Factory presets (process, demo):
  --preset-name NAME
                    Start from the values of the factory preset NAME (see flanger
                    presets) instead of a new effect's: its name or its key, in any
                    letter case, such as "classic jet" or classic-jet. Effect options
                    given with it override its values. Not with a PRESET.
)";

constexpr std::string_view kOutputOptions = R"(
Raw input (process): samples without a header, as sox's -t raw -r -c -e reads them.
  --rate HZ         Their sample rate, 1 to 768000 Hz.
  --channels N      Their channel count, 1 to 65535.
  --input-encoding NAME
                    Their encoding: pcm16, pcm24, pcm32, float, double, ulaw or alaw, in
                    the machine's byte order, as raw output is written. The three go
                    together; an IN ending in .raw without them is refused.

Output options (process, demo):
  --format NAME     Output container: wav, flac, aiff, ogg, opus, mp3, caf, w64, rf64, au
                    or raw. Default: the one OUT's extension names (.wav .flac .aif .aiff
                    .ogg .oga .opus .mp3 .caf .w64 .rf64 .au .snd .raw, in any letter
                    case); for an OUT without an extension the input's; WAV for '-'. An
                    extension that names no container is refused; an extension that names
                    another container than --format is refused too.
  --encoding NAME   Output encoding: pcm16, pcm24, pcm32, float, double, vorbis, opus,
                    mp3, ulaw or alaw. Default: the input's; when that does not fit the
                    container, pcm24 for FLAC and AIFF, vorbis for Ogg, opus for Opus, mp3
                    for MP3, float for the others. raw needs --encoding. Opus is written
                    at 8, 12, 16, 24 and 48 kHz only; MP3 where libsndfile was built with
                    it.
  --quality Q       Quality of a lossy output (Vorbis, Opus, MP3), 0 (smallest) to 10
                    (best), at a bitrate that varies. Default: the input's bitrate class:
                    8 for a lossless input; a lossy input's average bitrate for MP3 and
                    Opus (kept as a constant bitrate), for Vorbis by it
                    (256 kbit/s and up 9, 192 8, 160 7, 128 6, 96 5, below that 4).
  --bitrate KBPS    A constant bitrate instead, 8 to 512 kbit/s, for MP3 and Opus.
                    Both are ignored, with a warning, for a lossless output.
  --no-clip-warning Do not warn when the output goes beyond full scale: by default an
                    integer encoding's clipped samples are counted, a float or lossy
                    output's peak above 0 dBFS noted, and either reported once per file
                    with the --gain that would avoid it.
  A truncated or damaged input that reads short (a cut data chunk, an Ogg stream without
  its end, a FLAC stream the decoder loses) is reported with a warning naming the frames
  read; the output holds them. A header whose frames are too small for its channels is
  refused as damaged. A channel layout (a WAV's channel mask) is kept in WAV and RF64. The input's text tags (title, artist, album, date, comment and
  the others libsndfile carries) are copied into every output container that holds them.
)";

constexpr std::string_view kWindowOptions = R"(
Window options (window, edit):
  --png FILE        window: the picture to write (required), a name ending in .png.
  --translation LIBRARY
                    Show the settings window of the resource library LIBRARY (such as
                    Plugin_de.so, the German one), checked first to hold one. The module
                    takes its language from a Language.xml in the current directory when it
                    is loaded, so every command loads it from a private, empty directory
                    of its own (in $TMPDIR, else /tmp): a Language.xml where the command
                    runs never applies, since it could name any library to load. With this
                    option that directory holds a Language.xml naming LIBRARY.
)";

constexpr std::string_view kOtherOptions = R"(
Other options:
  --plugin PATH     The module to load. Default: $FLANGER_PLUGIN when set, otherwise
                    Plugin.so next to the flanger executable, or when there is none the
                    installed one in ../lib/<multiarch>/flanger from the executable's folder.
  -q, --quiet       Report failures only: no warnings and no notes.
  -h, --help        Print this text; after a command, that command's help alone.
  --version         Print the version.
  --                End of options: later arguments are file names.

Options are written "--name value" or "--name=value", anywhere after the command.
)";

constexpr std::string_view kFilesNote = R"(
OUT (and window's FILE) is written to a temporary file in its directory and replaces it
only when everything succeeded; an OUT that is a symbolic link keeps pointing to the file
it replaces, and a replaced file keeps its permissions (and its owner and group where the
user may give them). An existing file the user may not write is refused, not replaced. OUT
may not be the same file as IN.
While processing, a progress bar is shown when standard error is a terminal (for many
files: all of them together, with the count of files finished).
)";

constexpr std::string_view kExitStatus = R"(
Exit status: 0 on success, 1 on a failure, 2 on wrong usage, 130 when interrupted (by
Ctrl-C or any other signal that ends a process; the temporary file is removed).
)";

// Where an option's help starts on its line, and on the lines that go on with it.
constexpr std::size_t kHelpColumn = 20;

// The controls' options with their help, one paragraph each, in the table's order.
std::string EffectOptions() {
    std::string text(kEffectOptionsTitle);
    for (const Control& control : kControls) {
        if (control.Option == nullptr) continue;
        std::string line = std::string("  ") + control.Option;
        if (control.OptionValue != nullptr) line += std::string(" ") + control.OptionValue;
        line.resize(std::max(line.size() + 1, kHelpColumn), ' ');
        for (const char* help = control.Help; *help != '\0';) {
            const char* end = help;
            while (*end != '\0' && *end != '\n') ++end;
            text += line + std::string(help, end) + '\n';
            line.assign(kHelpColumn, ' ');
            help = *end == '\n' ? end + 1 : end;
        }
    }
    return text + std::string(kEffectOptionsNotes);
}

void AddSections(std::string& text, unsigned sections) {
    if ((sections & kEffect) != 0) text += EffectOptions();
    if ((sections & kFactory) != 0) text += kFactoryOptions;
    if ((sections & kPreset) != 0) text += kPresetOptions;
    if ((sections & kOutput) != 0) text += kOutputOptions;
    if ((sections & kWindow) != 0) text += kWindowOptions;
    text += kOtherOptions;
    if ((sections & kFiles) != 0) text += kFilesNote;
    text += kExitStatus;
}

}  // namespace

std::string HelpText(std::optional<Command> topic) {
    std::string text = "Usage: ";
    unsigned sections = 0;
    for (const CommandHelp& command : kCommands) {
        if (topic && command.Topic != *topic) continue;
        if (text.size() > 7) text += "       ";
        text += command.Usage;
        sections |= command.Sections;
    }
    if (!topic) {
        text += "       flanger help [COMMAND] | flanger [COMMAND] --help | flanger --version\n";
    }
    text += kIntroduction;
    text += "\nCommand";
    text += topic ? ":\n" : "s:\n";
    for (const CommandHelp& command : kCommands) {
        if (!topic || command.Topic == *topic) text += command.Text;
    }
    if (!topic) {
        text += "  help [COMMAND]   Print this text, or the help of COMMAND alone.\n";
    }
    AddSections(text, sections);
    return text;
}

}  // namespace flanger::tool
