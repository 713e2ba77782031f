// The flanger command's arguments: which command to run, on which files and preset, with which
// effect settings and output format. Parsing is a pure function of the argument list so that every
// rule (ranges, rounding, refusals) can be checked without starting the program.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "audio/audio_format.h"
#include "command_line/effect_values.h"
#include "command_line/preset_location.h"
#include "effect/factory_presets.h"

namespace flanger::tool {

enum class Command { Help, Process, Demo, SavePreset, ShowPreset, Info, Window, Edit, Presets };

// The effect values typed on the command line, in settings units. Each replaces the value it
// names in the settings the command starts from (a new effect's, or a loaded preset's); the
// others keep theirs.
struct EffectChanges {
    // By control (kControls): the value typed. --feedback types a positive Feedback, so feedback
    // is on, and the invert switch: 1 for a negative gain, 0 for a positive one.
    std::array<std::optional<std::int32_t>, kControlCount> Typed;
    // --no-feedback: Feedback made negative, its magnitude kept (typed or loaded).
    bool FeedbackOff = false;

    EffectParameters AppliedTo(EffectParameters start) const;
    // Whether a typed value replaces this field (--no-feedback alone does not: it keeps the
    // magnitude that was there).
    bool Replaces(std::int32_t EffectParameters::*field) const;

    bool operator==(const EffectChanges&) const = default;
};

struct Invocation {
    Command Action = Command::Help;
    // process: every IN, one or more; several, or one folder, are processed into the folder OUT.
    // "-" stands for standard input and output, each with one IN and one OUT.
    std::vector<std::string> InputPaths;
    std::string OutputPath;  // process and demo (for process a folder, see above); window: --png
    // The controls the record does not hold (a negative --feedback, --mix, --spread) are for
    // process and demo, which then render with the engine's live mode linked into the command.
    EffectChanges Changes;
    // --preset-file with --section, --registry-key, or --xml-preset with --node; always set for
    // save-preset and show-preset.
    std::optional<PresetLocation> Preset;
    // process and demo, --preset-name: the factory preset the settings start from instead of a
    // new effect's; never with Preset.
    const FactoryPreset* Factory = nullptr;
    // process and demo, --allow-missing-preset: a PRESET that holds no preset gives a new
    // effect's values with a warning instead of failing the run.
    bool AllowMissingPreset = false;
    // process: --rate, --channels and --input-encoding, all or none; IN holds raw samples.
    RawShape RawInput;
    std::optional<Container> Format;             // --format; nullopt keeps the source's container
    std::optional<Encoding> SampleEncoding;      // --encoding; nullopt keeps the source's encoding
    std::optional<double> Quality;               // --quality, 0 to 10
    std::optional<int> BitrateKbps;              // --bitrate, kilobits per second
    std::optional<std::string> PluginPath;       // --plugin
    std::optional<std::string> TranslationPath;  // window and edit: --translation
    // help, or --help after a command: the command whose help alone is wanted.
    std::optional<Command> HelpTopic;
    bool ClipWarning = true;  // off with --no-clip-warning or --quiet
    bool AutoLevel = false;   // --gain auto: process and demo find the level in a first pass
    bool Quiet = false;       // --quiet, -q: no warnings or notes, only failures
};

// Either an invocation or the one line that explains why the arguments were refused.
struct ParseResult {
    std::optional<Invocation> Parsed;
    std::string Error;  // without the "flanger: " prefix; empty when Parsed is set
};

// Parses the arguments that follow the program name. Options may come before, between or after
// the file names, as "--name value" or "--name=value"; "--" ends the options. A repeated option
// takes its last value.
ParseResult ParseCommandLine(std::span<const std::string_view> arguments);

}  // namespace flanger::tool
