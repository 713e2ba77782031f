// The flanger command's arguments: which command to run, on which files, with which effect
// settings and output format. Parsing is a pure function of the argument list so that every
// rule (ranges, rounding, refusals) can be checked without starting the program.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "audio_format.h"

namespace flanger::tool {

enum class Command { Help, Process, Demo, Info };

// The six fields of an EffectSettings record, in the record's own units; the defaults are those
// of a new record.
struct EffectParameters {
    std::int32_t Depth = 90;     // hundredths
    std::int32_t Delay = 50;     // tenths of a millisecond
    std::int32_t Width = 50;     // tenths of a millisecond
    std::int32_t Sine = 0;       // 1: sine sweep; 0: triangle sweep
    std::int32_t Feedback = 10;  // hundredths; negative: feedback off
    std::int32_t Speed = 10;     // hundredths of a hertz

    bool operator==(const EffectParameters&) const = default;
};

struct Invocation {
    Command Action = Command::Help;
    std::string InputPath;   // process only
    std::string OutputPath;  // process and demo
    EffectParameters Parameters;
    std::optional<Container> Format;         // --format; nullopt keeps the source's container
    std::optional<Encoding> SampleEncoding;  // --encoding; nullopt keeps the source's encoding
    std::optional<std::string> PluginPath;   // --plugin
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
