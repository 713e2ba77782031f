// The text of "flanger --help". The ranges and defaults here must agree with effect_values.h
// and with the defaults of a new effect record.
#include "command_line/help_text.h"

namespace flanger::tool {

std::string_view HelpText() {
    return R"(Usage: flanger process IN OUT [options]
       flanger process IN... OUTDIR [options]
       flanger process INDIR OUTDIR [options]
       flanger demo OUT [options]
       flanger save-preset PRESET [effect options]
       flanger show-preset PRESET
       flanger info [--plugin PATH]
       flanger window --png FILE [PRESET] [effect options] [--translation LIBRARY]
       flanger help | --help | --version

Runs audio through the flanger plug-in module (Plugin.so), loading it and driving it
exactly as an audio editor does.

Commands:
  process IN OUT   Process the audio file IN and write the result to OUT. WAV, FLAC, AIFF
                   and Ogg are read and written, with any channel count and sample rate.
  process IN... OUTDIR
  process INDIR OUTDIR
                   Process several files, or every audio file directly in the folder INDIR
                   (in name order; other files are skipped with a note), into the folder
                   OUTDIR, which is created when missing. With one IN, an OUT that is a
                   folder takes the output too. Each output keeps its input's file name,
                   with the extension of the --format container when that changes it.
                   Files are processed at the same time, one per processor core; the
                   options apply to every file, and each output is the same as from
                   processing that file alone. Refused before anything is written: two
                   inputs with the same output name, an output that would replace an
                   input (OUTDIR the same folder as INDIR included), an OUTDIR that is not
                   a folder. A file that fails is reported on its own line and the others
                   go on; the exit status is then 1.
  demo OUT         Write about 10 seconds of a built-in stereo test signal (a sawtooth
                   chord over noise, 44.1 kHz) through the effect. The container follows
                   OUT's extension (WAV when it has none); the encoding is 16-bit PCM
                   (vorbis for Ogg) unless --encoding says otherwise.
  save-preset      Store effect settings as a preset: the values the preset PRESET already
                   holds (a new effect's where it holds none), changed by the effect
                   options given. The rest of the file or registry is kept as it is.
  show-preset      Print the six values of the preset PRESET, in the units of the effect
                   options and as stored, such as: delay 5.0 ms (Delay=50).
  info             Print the name and vendor the module reports.
  window           Paint the module's settings window, as a host shows it, into the PNG
                   file FILE: its sliders and check boxes set to the values PRESET holds
                   (a new effect's when none is named), changed by the effect options.
  help             Print this text.

Effect options (process, demo, save-preset, window); the defaults are those of a new effect:
  --delay MS        Delay, 1.0 to 10.0 milliseconds, in steps of 0.1 (default 5.0).
  --width MS        Sweep width, 1.0 to 10.0 milliseconds, in steps of 0.1 (default 5.0).
  --speed HZ        Sweep rate, 0.10 to 2.00 hertz, in steps of 0.01 (default 0.10).
  --depth GAIN      Gain of the delayed signal, 0.10 to 1.00, in steps of 0.01 (default 0.90).
  --feedback GAIN   Feedback gain, 0.10 to 1.00, in steps of 0.01 (default 0.10).
  --no-feedback     Switch feedback off.
  --sweep SHAPE     Sweep shape: sine or triangle (default triangle).
  Values between the steps are rounded to the nearest step. --feedback switches feedback
  on unless --no-feedback is given too.

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
  Effect options given with a preset override the values loaded from it. A section, key or
  element that does not exist, or values missing from it, give a new effect's defaults. A
  FILE that does not exist is an error, except for save-preset, which creates it (an XML
  FILE with the elements of PATH). An XML FILE that is not well-formed is an error, also for
  save-preset, which then leaves it alone; otherwise save-preset changes only the values and
  the elements it adds, and keeps every other byte. Stored values outside the ranges above
  are used as they are, with a warning.

Output options (process, demo):
  --format NAME     Output container: wav, flac, aiff or ogg. Default: the input's.
  --encoding NAME   Output encoding: pcm16, pcm24, pcm32, float, double or vorbis.
                    Default: the input's; when that does not fit the container, pcm24 for
                    FLAC and AIFF, float for WAV, vorbis for Ogg.
  OUT's extension (.wav .flac .aif .aiff .ogg) must agree with the output container.

Window options (window):
  --png FILE        The picture to write (required).
  --translation LIBRARY
                    Show the settings window of the resource library LIBRARY (such as
                    Plugin_de.so, the German one), checked first to hold one. The module
                    takes its language from Language.xml in the current directory when it
                    is loaded; with this option the command writes a Language.xml naming
                    LIBRARY into a private temporary directory (in $TMPDIR, else /tmp),
                    loads the module with that as the current directory, and removes it
                    again. Without it, a Language.xml in the current directory applies, as
                    for any host.

Other options:
  --plugin PATH     The module to load. Default: $FLANGER_PLUGIN when set, otherwise
                    Plugin.so next to the flanger executable, or when there is none the
                    installed one in ../lib/<multiarch>/flanger from the executable's folder.
  -h, --help        Print this text.
  --version         Print the version.
  --                End of options: later arguments are file names.

Options are written "--name value" or "--name=value", anywhere after the command.

OUT (and window's FILE) is written to a temporary file in its directory and replaces it
only when everything succeeded; an OUT that is a symbolic link keeps pointing to the file
it replaces, and a replaced file keeps its permissions. OUT may not be the same file as IN.
While processing, a progress bar is shown when standard error is a terminal (for many
files: all of them together, with the count of files finished).

Exit status: 0 on success, 1 on a failure, 2 on wrong usage, 130 when interrupted (by
Ctrl-C or any other signal that ends a process; the temporary file is removed).
)";
}

}  // namespace flanger::tool
