// Parsing of the flanger command's arguments.
//
// Effect values are typed in human units (milliseconds, hertz, gains) and stored in the record's
// tenths or hundredths. The value is scaled by moving its decimal exponent before it becomes a
// binary double, so that a value typed exactly half-way (5.05 ms, 0.145) always rounds up
// instead of falling to whichever side its binary approximation happens to lie.
//
// The parser keeps typed effect values apart from the record they will change: a command that
// loads a preset applies them on top of it, so that only the values typed differ from the preset.
#include "command_line/command_line.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <string>
#include <system_error>
#include <vector>

namespace flanger::tool {
namespace {

constexpr unsigned Bit(Command command) { return 1u << static_cast<unsigned>(command); }

// The commands an option belongs to.
constexpr unsigned kEverywhere = ~0u;
constexpr unsigned kRendering = Bit(Command::Process) | Bit(Command::Demo);
constexpr unsigned kSettingEffect = kRendering | Bit(Command::SavePreset) | Bit(Command::Window);
constexpr unsigned kUsingPresets = kSettingEffect | Bit(Command::ShowPreset) | Bit(Command::Edit);
constexpr unsigned kShowingWindows = Bit(Command::Window) | Bit(Command::Edit);

struct OptionSpec {
    std::string_view Name;
    bool TakesValue;
    unsigned ValidIn;
};

// The options besides the effect's controls.
constexpr OptionSpec kOtherOptions[] = {
    {"--format", true, kRendering},
    {"--encoding", true, kRendering},
    {"--quality", true, kRendering},
    {"--bitrate", true, kRendering},
    {"--no-clip-warning", false, kRendering},
    {"--rate", true, Bit(Command::Process)},
    {"--channels", true, Bit(Command::Process)},
    {"--input-encoding", true, Bit(Command::Process)},
    {"--quiet", false, kEverywhere},
    {"-q", false, kEverywhere},
    {"--preset-file", true, kUsingPresets},
    {"--section", true, kUsingPresets},
    {"--registry-key", true, kUsingPresets},
    {"--xml-preset", true, kUsingPresets},
    {"--node", true, kUsingPresets},
    {"--preset-name", true, kRendering},
    {"--allow-missing-preset", false, kRendering},
    {"--png", true, Bit(Command::Window)},
    {"--translation", true, kShowingWindows},
    {"--plugin", true, kEverywhere},
    {"--help", false, kEverywhere},
    {"-h", false, kEverywhere},
};

constexpr std::size_t kControlOptionCount =
    std::ranges::count_if(kControls, [](const Control& control) { return control.Option; });

// The controls' options first: a control of the record can be set wherever effect values are,
// one of the live engine's only where the command renders.
constexpr auto kOptions = [] {
    std::array<OptionSpec, kControlOptionCount + std::size(kOtherOptions)> options{};
    std::size_t k = 0;
    for (const Control& control : kControls) {
        if (control.Option == nullptr) continue;
        options[k++] = {control.Option, control.OptionValue != nullptr,
                        control.Home == ControlHome::Record ? kSettingEffect : kRendering};
    }
    for (const OptionSpec& option : kOtherOptions) options[k++] = option;
    return options;
}();

struct GivenOption {
    const OptionSpec* Spec;
    std::string_view Value;
};

// The options that name a preset location, gathered first and checked as a whole.
struct PresetOptions {
    std::optional<std::string> File;
    std::optional<std::string> Section;
    std::optional<PresetLocation> RegistryKey;
    std::optional<std::string> XmlFile;
    std::optional<std::string> NodeText;
    std::vector<std::string> NodeNames;
};

const OptionSpec* FindOption(std::string_view name) {
    for (const OptionSpec& spec : kOptions) {
        if (spec.Name == name) return &spec;
    }
    return nullptr;
}

// Whether the whole text reads as a number; "nan" and "inf" do, as numbers out of any range.
bool IsNumber(std::string_view text) {
    double value = 0.0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return (error == std::errc{} || error == std::errc::result_out_of_range) && stop == end;
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

std::string RangeError(const EffectRange& range, std::string_view value) {
    if (range.Option == "--feedback") {
        return "--feedback must be between 0.10 and 0.99, or -0.99 and -0.10 to invert it (got '" +
               std::string(value) + "')";
    }
    return std::string(range.Option) + " must be between " +
           FormatFixed(range.Low, range.DecimalShift) + " and " +
           FormatFixed(range.High, range.DecimalShift) + std::string(range.Unit) + " (got '" +
           std::string(value) + "')";
}

// What a numeric option takes, as its refusal of a word says.
std::string_view NumberKind(ControlUnit unit) {
    switch (unit) {
        case ControlUnit::Milliseconds: return " of milliseconds";
        case ControlUnit::Hertz: return " of hertz";
        default: return "";
    }
}

// Applies the numeric option of control `index`; returns the refusal, or an empty string.
std::string ApplyRanged(std::uint32_t index, std::string_view value, EffectChanges& changes) {
    const EffectRange range = OptionRangeOf(kControls[index]);
    // Division is exactly rounded, so a bound comes out as the same double as its decimal text
    // would: "0.10" is never refused as below 0.10.
    const double scale = kControls[index].Scale;
    if (!IsNumber(value)) {
        return std::string(range.Option) + " takes a number" +
               std::string(NumberKind(kControls[index].Unit)) + ": '" + std::string(value) +
               "' is not a number";
    }
    const std::optional<double> number = ParseFinite(value);
    if (!number || *number < range.Low / scale || *number > range.High / scale) {
        return RangeError(range, value);
    }
    const std::optional<std::int32_t> scaled = ScaleDecimal(value, range.DecimalShift);
    if (!scaled) return RangeError(range, value);
    changes.Typed[index] = *scaled;
    return {};
}

// "Subtle doubling, ... or Metallic ring", as the refusal of an unknown name lists them.
std::string FactoryPresetNames() {
    std::string names;
    const std::span<const FactoryPreset> presets = FactoryPresets();
    for (std::size_t k = 0; k < presets.size(); ++k) {
        if (k > 0) names += k + 1 < presets.size() ? ", " : " or ";
        names += presets[k].Name;
    }
    return names;
}

// The option that names a stored preset's location of this kind.
std::string_view LocationOption(PresetLocation::Kind kind) {
    switch (kind) {
        case PresetLocation::Kind::ProfileSection:
            return "--preset-file";
        case PresetLocation::Kind::RegistryKey:
            return "--registry-key";
        case PresetLocation::Kind::XmlElement:
            return "--xml-preset";
    }
    return "";
}

std::string ApplyOption(const GivenOption& given, Invocation& invocation, PresetOptions& preset) {
    const std::string_view name = given.Spec->Name;
    std::string_view value = given.Value;
    // Signed feedback: a negative gain inverts the fed-back signal; its magnitude is the record's.
    std::optional<std::int32_t>& inverted = invocation.Changes.Typed[kFeedbackInvertControl];
    if (name == "--feedback" && value.starts_with('-') && IsNumber(value.substr(1))) {
        value.remove_prefix(1);
        inverted = 1;
    } else if (name == "--feedback") {
        inverted = 0;
    }
    if (name == "--gain") invocation.AutoLevel = value == "auto";
    if (name == "--gain" && value == "auto") {
        invocation.Changes.Typed[kLevelControl].reset();
        return {};
    }
    for (std::uint32_t index = 0; index < kControlCount; ++index) {
        if (!IsNumericOption(kControls[index]) || kControls[index].Option != name) continue;
        std::string refusal = ApplyRanged(index, value, invocation.Changes);
        // Told with the value as typed.
        if (!refusal.empty() && value.size() != given.Value.size()) {
            refusal = RangeError(OptionRangeOf(kControls[index]), given.Value);
        }
        return refusal;
    }
    if (name == "--no-feedback") {
        invocation.Changes.FeedbackOff = true;
    } else if (name == "--sweep") {
        if (value == "sine") {
            invocation.Changes.Typed[kSineControl] = 1;
        } else if (value == "triangle") {
            invocation.Changes.Typed[kSineControl] = 0;
        } else {
            return "--sweep must be sine or triangle (got '" + std::string(value) + "')";
        }
    } else if (name == "--format") {
        invocation.Format = ParseContainerName(value);
        if (!invocation.Format) {
            return "--format must be " + ContainerNameList() + " (got '" + std::string(value) +
                   "')";
        }
    } else if (name == "--encoding") {
        invocation.SampleEncoding = ParseEncodingName(value);
        if (!invocation.SampleEncoding) {
            return "--encoding must be " + EncodingNameList() + " (got '" + std::string(value) +
                   "')";
        }
    } else if (name == "--rate" || name == "--channels") {
        const bool rate = name == "--rate";
        const int largest = rate ? 768000 : 65535;
        int number = 0;
        const char* const end = value.data() + value.size();
        const auto [stop, error] = std::from_chars(value.data(), end, number);
        if (error != std::errc{} || stop != end || number < 1 || number > largest) {
            return std::string(name) + " must be a whole number from 1 to " +
                   std::to_string(largest) + (rate ? " Hz" : "") + " (got '" + std::string(value) +
                   "')";
        }
        (rate ? invocation.RawInput.SampleRate : invocation.RawInput.Channels) = number;
    } else if (name == "--input-encoding") {
        const std::optional<Encoding> encoding = ParseEncodingName(value);
        if (!encoding || IsLossyEncoding(*encoding)) {
            return "--input-encoding must be " + RawEncodingNameList() + " (got '" +
                   std::string(value) + "')";
        }
        invocation.RawInput.SampleEncoding = encoding;
    } else if (name == "--quality") {
        if (!IsNumber(value))
            return "--quality takes a number: '" + std::string(value) + "' is not a number";
        const std::optional<double> quality = ParseFinite(value);
        if (!quality || *quality < 0.0 || *quality > 10.0) {
            return "--quality must be between 0 and 10 (got '" + std::string(value) + "')";
        }
        invocation.Quality = quality;
    } else if (name == "--bitrate") {
        int kbps = 0;
        const char* const end = value.data() + value.size();
        const auto [stop, error] = std::from_chars(value.data(), end, kbps);
        if (error != std::errc{} || stop != end) {
            return "--bitrate takes a whole number of kilobits per second: '" + std::string(value) +
                   "' is not one";
        }
        if (kbps < 8 || kbps > 512) {
            return "--bitrate must be between 8 and 512 kbit/s (got '" + std::string(value) + "')";
        }
        invocation.BitrateKbps = kbps;
    } else if (name == "--no-clip-warning") {
        invocation.ClipWarning = false;
    } else if (name == "--quiet" || name == "-q") {
        invocation.Quiet = true;
        invocation.ClipWarning = false;
    } else if (name == "--preset-file") {
        if (value.empty()) return "--preset-file needs a file name";
        preset.File = std::string(value);
    } else if (name == "--section") {
        // The module matches section names trimmed of blanks, so blanks alone name none.
        if (value.find_first_not_of(" \t") == std::string_view::npos) {
            return "--section needs a section name";
        }
        // Such a name would be written as a section line that never reads back as that name.
        if (value.find_first_of("]\r\n") != std::string_view::npos) {
            return "--section cannot hold ']' or a line break (got '" + std::string(value) + "')";
        }
        preset.Section = std::string(value);
    } else if (name == "--registry-key") {
        RegistryKeyParse key = ParseRegistryKey(value);
        if (!key.Location) return std::move(key.Error);
        preset.RegistryKey = std::move(key.Location);
    } else if (name == "--xml-preset") {
        if (value.empty()) return "--xml-preset needs a file name";
        preset.XmlFile = std::string(value);
    } else if (name == "--node") {
        ElementPathParse path = ParseElementPath(value);
        if (!path.Names) return std::move(path.Error);
        preset.NodeText = std::string(value);
        preset.NodeNames = std::move(*path.Names);
    } else if (name == "--preset-name") {
        invocation.Factory = FindFactoryPreset(value);
        if (invocation.Factory == nullptr) {
            return "--preset-name must be " + FactoryPresetNames() + " (got '" +
                   std::string(value) + "')";
        }
    } else if (name == "--allow-missing-preset") {
        invocation.AllowMissingPreset = true;
    } else if (name == "--png") {
        if (value.empty()) return "--png needs a file name";
        // The picture is PNG whatever its name says; a name that promises another format would
        // hand a viewer the wrong one.
        const std::optional<std::string_view> extension = ExtensionOf(value);
        const auto sameLetter = [](char typed, char lower) {
            return std::tolower(static_cast<unsigned char>(typed)) == lower;
        };
        if (!extension || !std::ranges::equal(*extension, std::string_view("png"), sameLetter)) {
            return "--png must name a file ending in .png: the picture is PNG (got '" +
                   std::string(value) + "')";
        }
        invocation.OutputPath = std::string(value);
    } else if (name == "--translation") {
        if (value.empty()) return "--translation needs a file name";
        invocation.TranslationPath = std::string(value);
    } else if (name == "--plugin") {
        if (value.empty()) return "--plugin needs a file name";
        invocation.PluginPath = std::string(value);
    }
    return {};
}

// Makes one location of the location options; returns the refusal when they do not make one.
std::string ResolvePreset(const PresetOptions& preset, std::optional<PresetLocation>& location) {
    if (preset.XmlFile) {
        if (preset.File) return "--preset-file and --xml-preset cannot be used together";
        if (preset.RegistryKey) return "--registry-key and --xml-preset cannot be used together";
        if (preset.Section) return "--section goes with --preset-file; --xml-preset takes --node";
        if (!preset.NodeText) return "--xml-preset needs --node";
        location = PresetLocation{PresetLocation::Kind::XmlElement, *preset.XmlFile,
                                  *preset.NodeText, RegistryRoot::CurrentUser, preset.NodeNames};
        return {};
    }
    if (preset.NodeText) return "--node needs --xml-preset";
    if (preset.RegistryKey) {
        if (preset.File) return "--preset-file and --registry-key cannot be used together";
        if (preset.Section) {
            return "--section goes with --preset-file; --registry-key names the whole key";
        }
        location = preset.RegistryKey;
        return {};
    }
    if (preset.File && !preset.Section) return "--preset-file needs --section";
    if (preset.Section && !preset.File) return "--section needs --preset-file";
    if (preset.File) {
        location = PresetLocation{PresetLocation::Kind::ProfileSection,
                                  *preset.File,
                                  *preset.Section,
                                  RegistryRoot::CurrentUser,
                                  {}};
    }
    return {};
}

std::optional<Command> FindCommand(std::string_view name) {
    if (name == "process") return Command::Process;
    if (name == "demo") return Command::Demo;
    if (name == "save-preset") return Command::SavePreset;
    if (name == "show-preset") return Command::ShowPreset;
    if (name == "info") return Command::Info;
    if (name == "window") return Command::Window;
    if (name == "edit") return Command::Edit;
    if (name == "presets") return Command::Presets;
    if (name == "help") return Command::Help;
    return std::nullopt;
}

ParseResult Refuse(std::string message) { return ParseResult{std::nullopt, std::move(message)}; }

}  // namespace

EffectParameters EffectChanges::AppliedTo(EffectParameters start) const {
    for (std::uint32_t index = 0; index < kControlCount; ++index) {
        if (Typed[index] && kControls[index].Field != nullptr) {
            start.*kControls[index].Field = *Typed[index];
        }
    }
    if (const std::optional<std::int32_t>& inverted = Typed[kFeedbackInvertControl]) {
        start.InvertFeedback = *inverted != 0;
    }
    // Only a positive value changes sign: 0 stays 0, and INT32_MIN has no positive twin.
    if (FeedbackOff && start.Feedback > 0) start.Feedback = -start.Feedback;
    return start;
}

bool EffectChanges::Replaces(std::int32_t EffectParameters::*field) const {
    for (std::uint32_t index = 0; index < kControlCount; ++index) {
        if (kControls[index].Field == field) return Typed[index].has_value();
    }
    return false;
}

ParseResult ParseCommandLine(std::span<const std::string_view> arguments) {
    std::vector<GivenOption> options;
    std::vector<std::string_view> positionals;
    bool helpWanted = false;
    bool optionsEnded = false;
    std::optional<Command> helpTopic;
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
    if (helpWanted) {
        // "flanger process --help": that command's help alone.
        if (!positionals.empty()) invocation.HelpTopic = FindCommand(positionals.front());
        if (invocation.HelpTopic == Command::Help) invocation.HelpTopic.reset();
        return ParseResult{invocation, {}};
    }
    if (positionals.empty()) return Refuse("no command given (see flanger --help)");

    const std::optional<Command> command = FindCommand(positionals.front());
    if (!command) {
        return Refuse("unknown command '" + std::string(positionals.front()) +
                      "' (see flanger --help)");
    }
    invocation.Action = *command;
    const std::span<const std::string_view> operands = std::span(positionals).subspan(1);

    PresetOptions preset;
    for (const GivenOption& given : options) {
        if ((given.Spec->ValidIn & Bit(*command)) == 0) {
            return Refuse(std::string(given.Spec->Name) + " is not an option of " +
                          std::string(positionals.front()));
        }
        std::string refusal = ApplyOption(given, invocation, preset);
        if (!refusal.empty()) return Refuse(std::move(refusal));
    }
    // The record holds no sign for the feedback's polarity, so no preset or window can take it.
    if (invocation.Changes.Typed[kFeedbackInvertControl] == 1 && *command != Command::Process &&
        *command != Command::Demo) {
        return Refuse(
            "a negative --feedback is for process and demo: a preset holds only 0.10 "
            "to 1.00");
    }
    // Raw samples have no header to say any of the three.
    const RawShape& raw = invocation.RawInput;
    if ((raw.SampleRate || raw.Channels || raw.SampleEncoding) &&
        !(raw.SampleRate && raw.Channels && raw.SampleEncoding)) {
        return Refuse(
            "raw input needs --rate, --channels and --input-encoding together: raw samples have "
            "no header to say them");
    }
    if (invocation.Quality && invocation.BitrateKbps) {
        return Refuse("--quality and --bitrate cannot be used together");
    }
    if (std::string refusal = ResolvePreset(preset, invocation.Preset); !refusal.empty()) {
        return Refuse(std::move(refusal));
    }
    // Two sets of values to start from; whichever won, the other would be silently ignored.
    if (invocation.Factory != nullptr && invocation.Preset) {
        return Refuse("--preset-name and " + std::string(LocationOption(invocation.Preset->Where)) +
                      " cannot be used together");
    }

    switch (*command) {
        case Command::Process:
            if (operands.size() < 2) return Refuse("process needs IN and OUT (see flanger --help)");
            invocation.InputPaths.assign(operands.begin(), operands.end() - 1);
            invocation.OutputPath = std::string(operands.back());
            // Standard input and output each stand for one file.
            if (operands.size() > 2 && std::ranges::count(operands, "-") > 0) {
                return Refuse("'-' (standard input or output) goes with one IN and one OUT");
            }
            break;
        case Command::Demo:
            if (operands.size() != 1) return Refuse("demo needs OUT (see flanger --help)");
            invocation.OutputPath = std::string(operands[0]);
            break;
        case Command::SavePreset:
        case Command::ShowPreset: {
            const std::string commandName(positionals.front());
            if (!operands.empty()) return Refuse(commandName + " takes no file names");
            if (!invocation.Preset) {
                return Refuse(commandName +
                              " needs --preset-file and --section, --registry-key, or "
                              "--xml-preset and --node");
            }
            break;
        }
        case Command::Info:
            if (!operands.empty()) return Refuse("info takes no file names");
            break;
        case Command::Presets:
            if (!operands.empty()) return Refuse("presets takes no file names");
            break;
        case Command::Window:
            if (!operands.empty()) {
                return Refuse("window takes no file names; --png names the picture");
            }
            if (invocation.OutputPath.empty()) return Refuse("window needs --png FILE");
            break;
        case Command::Edit:
            if (!operands.empty()) return Refuse("edit takes no file names");
            if (!invocation.Preset) {
                return Refuse(
                    "edit needs --preset-file and --section, --registry-key, or "
                    "--xml-preset and --node");
            }
            break;
        case Command::Help:
            // "flanger help process" is as good as "flanger process --help".
            if (operands.size() > 1) return Refuse("help takes at most one command name");
            if (operands.size() == 1 && !FindCommand(operands[0])) {
                return Refuse("unknown command '" + std::string(operands[0]) +
                              "' (see flanger --help)");
            }
            if (operands.size() == 1 && FindCommand(operands[0]) != Command::Help) {
                invocation.HelpTopic = FindCommand(operands[0]);
            }
            break;
    }
    if (invocation.Action != Command::Process && invocation.Action != Command::Demo) {
        return ParseResult{invocation, {}};
    }
    if (invocation.OutputPath.empty() ||
        std::ranges::any_of(invocation.InputPaths,
                            [](const std::string& path) { return path.empty(); })) {
        return Refuse("file names must not be empty");
    }
    return ParseResult{invocation, {}};
}

}  // namespace flanger::tool
