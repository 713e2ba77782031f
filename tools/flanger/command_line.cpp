// Parsing of the flanger command's arguments.
//
// Effect values are typed in human units (milliseconds, hertz, gains) and stored in the record's
// tenths or hundredths. The value is scaled by moving its decimal exponent before it becomes a
// binary double, so that a value typed exactly half-way (5.05 ms, 0.145) always rounds up
// instead of falling to whichever side its binary approximation happens to lie.
#include "command_line.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

namespace flanger::tool {
namespace {

enum class Scope {
    Everywhere,  // every command
    Rendering,   // process and demo
};

struct OptionSpec {
    std::string_view Name;
    bool TakesValue;
    Scope ValidIn;
};

constexpr OptionSpec kOptions[] = {
    {"--delay", true, Scope::Rendering},    {"--width", true, Scope::Rendering},
    {"--speed", true, Scope::Rendering},    {"--depth", true, Scope::Rendering},
    {"--feedback", true, Scope::Rendering}, {"--no-feedback", false, Scope::Rendering},
    {"--sweep", true, Scope::Rendering},    {"--format", true, Scope::Rendering},
    {"--encoding", true, Scope::Rendering}, {"--plugin", true, Scope::Everywhere},
    {"--help", false, Scope::Everywhere},   {"-h", false, Scope::Everywhere},
};

// A numeric effect option: its accepted range as shown to the user, and the record field it
// fills in units of 10^-DecimalShift.
struct RangedOption {
    std::string_view Name;
    std::string_view Low;
    std::string_view High;
    std::string_view Unit;
    int DecimalShift;
    std::int32_t EffectParameters::*Field;
};

constexpr RangedOption kRangedOptions[] = {
    {"--delay", "1.0", "10.0", " ms", 1, &EffectParameters::Delay},
    {"--width", "1.0", "10.0", " ms", 1, &EffectParameters::Width},
    {"--speed", "0.10", "2.00", " Hz", 2, &EffectParameters::Speed},
    {"--depth", "0.10", "1.00", "", 2, &EffectParameters::Depth},
    {"--feedback", "0.10", "1.00", "", 2, &EffectParameters::Feedback},
};

struct GivenOption {
    const OptionSpec* Spec;
    std::string_view Value;
};

const OptionSpec* FindOption(std::string_view name) {
    for (const OptionSpec& spec : kOptions) {
        if (spec.Name == name) return &spec;
    }
    return nullptr;
}

std::optional<double> ParseFinite(std::string_view text) {
    double value = 0.0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc{} || stop != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

// round(text * 10^shift), with text read as an exact decimal.
std::optional<std::int32_t> ScaleDecimal(std::string_view text, int shift) {
    const std::size_t marker = text.find_first_of("eE");
    long long exponent = 0;
    if (marker != std::string_view::npos) {
        std::string_view digits = text.substr(marker + 1);
        if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
        const char* const end = digits.data() + digits.size();
        const auto [stop, error] = std::from_chars(digits.data(), end, exponent);
        if (error != std::errc{} || stop != end) return std::nullopt;
    }
    std::string shifted(text.substr(0, marker));
    shifted += 'e';
    shifted += std::to_string(exponent + shift);
    const std::optional<double> scaled = ParseFinite(shifted);
    if (!scaled) return std::nullopt;
    return static_cast<std::int32_t>(std::lround(*scaled));
}

std::string RangeError(const RangedOption& option, std::string_view value) {
    return std::string(option.Name) + " must be between " + std::string(option.Low) + " and " +
           std::string(option.High) + std::string(option.Unit) + " (got '" + std::string(value) +
           "')";
}

// Applies a numeric option; returns the refusal, or an empty string.
std::string ApplyRanged(const RangedOption& option, std::string_view value,
                        EffectParameters& parameters) {
    const std::optional<double> number = ParseFinite(value);
    if (!number || *number < *ParseFinite(option.Low) || *number > *ParseFinite(option.High)) {
        return RangeError(option, value);
    }
    const std::optional<std::int32_t> scaled = ScaleDecimal(value, option.DecimalShift);
    if (!scaled) return RangeError(option, value);
    parameters.*option.Field = *scaled;
    return {};
}

std::string ApplyOption(const GivenOption& given, Invocation& invocation, bool& feedbackOff) {
    const std::string_view name = given.Spec->Name;
    const std::string_view value = given.Value;
    for (const RangedOption& option : kRangedOptions) {
        if (option.Name == name) return ApplyRanged(option, value, invocation.Parameters);
    }
    if (name == "--no-feedback") {
        feedbackOff = true;
    } else if (name == "--sweep") {
        if (value == "sine") {
            invocation.Parameters.Sine = 1;
        } else if (value == "triangle") {
            invocation.Parameters.Sine = 0;
        } else {
            return "--sweep must be sine or triangle (got '" + std::string(value) + "')";
        }
    } else if (name == "--format") {
        invocation.Format = ParseContainerName(value);
        if (!invocation.Format) {
            return "--format must be wav, flac, aiff or ogg (got '" + std::string(value) + "')";
        }
    } else if (name == "--encoding") {
        invocation.SampleEncoding = ParseEncodingName(value);
        if (!invocation.SampleEncoding) {
            return "--encoding must be pcm16, pcm24, pcm32, float, double or vorbis (got '" +
                   std::string(value) + "')";
        }
    } else if (name == "--plugin") {
        if (value.empty()) return "--plugin needs a file name";
        invocation.PluginPath = std::string(value);
    }
    return {};
}

std::optional<Command> FindCommand(std::string_view name) {
    if (name == "process") return Command::Process;
    if (name == "demo") return Command::Demo;
    if (name == "info") return Command::Info;
    if (name == "help") return Command::Help;
    return std::nullopt;
}

ParseResult Refuse(std::string message) { return ParseResult{std::nullopt, std::move(message)}; }

}  // namespace

ParseResult ParseCommandLine(std::span<const std::string_view> arguments) {
    std::vector<GivenOption> options;
    std::vector<std::string_view> positionals;
    bool helpWanted = false;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument.front() != '-') {
            // A lone "-" is a file name, as it is for most tools.
            positionals.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t equals = argument.find('=');
        const std::string_view name = argument.substr(0, equals);
        const OptionSpec* spec = FindOption(name);
        if (spec == nullptr) {
            return Refuse("unknown option '" + std::string(name) + "' (see flanger --help)");
        }
        GivenOption given{spec, {}};
        if (equals != std::string_view::npos) {
            if (!spec->TakesValue) return Refuse(std::string(name) + " takes no value");
            given.Value = argument.substr(equals + 1);
        } else if (spec->TakesValue) {
            if (i + 1 == arguments.size()) return Refuse(std::string(name) + " needs a value");
            given.Value = arguments[++i];
        }
        if (name == "--help" || name == "-h") helpWanted = true;
        options.push_back(given);
    }

    Invocation invocation;
    if (helpWanted) return ParseResult{invocation, {}};
    if (positionals.empty()) return Refuse("no command given (see flanger --help)");

    const std::optional<Command> command = FindCommand(positionals.front());
    if (!command) {
        return Refuse("unknown command '" + std::string(positionals.front()) +
                      "' (see flanger --help)");
    }
    invocation.Action = *command;
    const std::span<const std::string_view> operands = std::span(positionals).subspan(1);

    bool feedbackOff = false;
    for (const GivenOption& given : options) {
        const bool rendering = *command == Command::Process || *command == Command::Demo;
        if (given.Spec->ValidIn == Scope::Rendering && !rendering) {
            return Refuse(std::string(given.Spec->Name) + " is not an option of " +
                          std::string(positionals.front()));
        }
        std::string refusal = ApplyOption(given, invocation, feedbackOff);
        if (!refusal.empty()) return Refuse(std::move(refusal));
    }
    if (feedbackOff) invocation.Parameters.Feedback = -std::abs(invocation.Parameters.Feedback);

    switch (*command) {
        case Command::Process:
            if (operands.size() != 2)
                return Refuse("process needs IN and OUT (see flanger --help)");
            invocation.InputPath = std::string(operands[0]);
            invocation.OutputPath = std::string(operands[1]);
            break;
        case Command::Demo:
            if (operands.size() != 1) return Refuse("demo needs OUT (see flanger --help)");
            invocation.OutputPath = std::string(operands[0]);
            break;
        case Command::Info:
            if (!operands.empty()) return Refuse("info takes no file names");
            break;
        case Command::Help:
            // "flanger help process" is as good as "flanger process --help".
            if (operands.size() > 1 || (operands.size() == 1 && !FindCommand(operands[0]))) {
                return Refuse("help takes at most one command name");
            }
            break;
    }
    if (invocation.Action != Command::Process && invocation.Action != Command::Demo) {
        return ParseResult{invocation, {}};
    }
    if (invocation.OutputPath.empty() ||
        (invocation.Action == Command::Process && invocation.InputPath.empty())) {
        return Refuse("file names must not be empty");
    }
    return ParseResult{invocation, {}};
}

}  // namespace flanger::tool
