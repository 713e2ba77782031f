// The flanger command's argument parser: effect values in human units mapped onto the record's
// tenths and hundredths, the accepted ranges at both ends, rounding, typed values on top of a
// loaded preset, preset locations, and every refusal.
#include "command_line/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace flanger::tool {
namespace {

// The record a new effect starts with, changed in one field.
EffectParameters With(std::int32_t EffectParameters::*field, std::int32_t value) {
    EffectParameters parameters;
    parameters.*field = value;
    return parameters;
}

struct ValueCase {
    std::vector<std::string_view> options;
    EffectParameters expected;
    bool inverted = false;  // a negative --feedback
    std::int32_t mixPercent = 50;
    std::int32_t spreadDegrees = 0;
};

TEST(CommandLineTest, MapsEffectOptionsOntoTheRecord) {
    using P = EffectParameters;
    const ValueCase cases[] = {
        {{}, P{}},
        // Both ends of every range are accepted.
        {{"--delay", "1.0"}, With(&P::Delay, 10)},
        {{"--delay", "10.0"}, With(&P::Delay, 100)},
        {{"--width", "1"}, With(&P::Width, 10)},
        {{"--width", "10"}, With(&P::Width, 100)},
        {{"--speed", "0.10"}, With(&P::Speed, 10)},
        {{"--speed", "2.00"}, With(&P::Speed, 200)},
        {{"--depth", "0.1"}, With(&P::Depth, 10)},
        {{"--depth", "1.00"}, With(&P::Depth, 100)},
        {{"--feedback", "0.10"}, With(&P::Feedback, 10)},
        {{"--feedback", "0.99"}, With(&P::Feedback, 99)},
        // Rounding to the record's resolution; exact halves round up although their binary
        // doubles lie on either side (5.05 above, 0.145 below).
        {{"--delay", "5.04"}, With(&P::Delay, 50)},
        {{"--delay", "5.05"}, With(&P::Delay, 51)},
        {{"--delay", "2.449"}, With(&P::Delay, 24)},
        {{"--width", "7.25"}, With(&P::Width, 73)},
        {{"--depth", "0.145"}, With(&P::Depth, 15)},
        {{"--depth", "0.144999"}, With(&P::Depth, 14)},
        {{"--speed", "1.995"}, With(&P::Speed, 200)},
        {{"--feedback", "0.333"}, With(&P::Feedback, 33)},
        {{"--speed", "0.125"}, With(&P::Speed, 13)},
        // Exponent notation is a number like any other.
        {{"--delay", "2.5e0"}, With(&P::Delay, 25)},
        {{"--delay", "25e-1"}, With(&P::Delay, 25)},
        {{"--depth", "5.05E-1"}, With(&P::Depth, 51)},
        {{"--width", "0.1e+2"}, With(&P::Width, 100)},
        // --name=value, and the last of repeated options.
        {{"--delay=3.3"}, With(&P::Delay, 33)},
        {{"--delay", "3", "--delay", "4"}, With(&P::Delay, 40)},
        {{"--sweep", "sine"}, With(&P::Sine, 1)},
        {{"--sweep", "sine", "--sweep", "triangle"}, With(&P::Sine, 0)},
        // Switching feedback off keeps its magnitude, as the settings window does.
        {{"--no-feedback"}, With(&P::Feedback, -10)},
        {{"--no-feedback", "--feedback", "0.45"}, With(&P::Feedback, -45)},
        {{"--feedback=0.45", "--no-feedback"}, With(&P::Feedback, -45)},
        // Signed feedback: the magnitude in the record, the sign apart; the last one counts.
        {{"--feedback", "-0.45"}, With(&P::Feedback, 45), true},
        {{"--feedback=-0.99", "--no-feedback"}, With(&P::Feedback, -99), true},
        {{"--feedback", "-0.45", "--feedback", "0.3"}, With(&P::Feedback, 30), false},
        // The controls beyond the record, rounded as the plug-ins round theirs.
        {{"--mix", "0.805"}, P{}, false, 81},
        {{"--mix", "0", "--spread", "180"}, P{}, false, 0, 180},
        {{"--spread", "89.5"}, P{}, false, 50, 90},
        {{"--spread", "0.49"}, P{}, false, 50, 0},
        {{"--delay", "1.5", "--width", "9.9", "--speed", "0.5", "--depth", "0.2", "--feedback",
          "0.8", "--sweep", "sine"},
         EffectParameters{20, 15, 99, 1, 80, 50}},
        // A factory preset by its name or key in any case; typed values override its own.
        {{"--preset-name", "CLASSIC jet"}, P{100, 15, 60, 0, 75, 15, false, 50, 0, -30}},
        {{"--preset-name=Classic-Jet", "--delay", "3", "--feedback", "-0.5", "--gain", "0"},
         P{100, 30, 60, 0, 50, 15},
         true},
        {{"--preset-name", "inverted short"}, P{80, 10, 25, 0, 60, 40, true, 50, 0, -15}, true},
        {{"--preset-name", "inverted-short", "--feedback", "0.2", "--no-feedback"},
         P{80, 10, 25, 0, -20, 40, false, 50, 0, -15}},
    };
    for (const ValueCase& c : cases) {
        std::vector<std::string_view> arguments = {"process", "in.wav", "out.wav"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const ParseResult result = ParseCommandLine(arguments);
        std::string joined;
        for (const std::string_view option : c.options) joined += std::string(option) + " ";
        SCOPED_TRACE(joined);
        ASSERT_TRUE(result.Parsed) << result.Error;
        EffectParameters expected = c.expected;
        expected.InvertFeedback = c.inverted;
        expected.Mix = c.mixPercent;
        expected.Spread = c.spreadDegrees;
        const FactoryPreset* factory = result.Parsed->Factory;
        EXPECT_EQ(result.Parsed->Changes.AppliedTo(factory ? factory->Settings : P{}), expected);
        EXPECT_FALSE(result.Parsed->Preset);
        EXPECT_TRUE(result.Error.empty());
    }
}

struct ChangeCase {
    std::vector<std::string_view> options;
    EffectParameters loaded;
    EffectParameters expected;
    std::vector<std::int32_t EffectParameters::*> replaced;  // the fields typed values replace
};

TEST(CommandLineTest, TypedValuesReplaceOnlyTheirOwnFieldsOfALoadedPreset) {
    using P = EffectParameters;
    // Nothing here equals a default, so a field that falls back to the defaults shows.
    const P loaded{33, 77, 12, 5, 45, 150};
    const P off{33, 77, 12, 5, -45, 150};
    const P odd{-7, 0, 100000, -1, std::numeric_limits<std::int32_t>::min(), 9};
    const ChangeCase cases[] = {
        {{}, loaded, loaded, {}},
        {{"--delay", "3"}, loaded, P{33, 30, 12, 5, 45, 150}, {&P::Delay}},
        {{"--width", "2.2", "--speed", "0.3"},
         loaded,
         P{33, 77, 22, 5, 45, 30},
         {&P::Width, &P::Speed}},
        {{"--depth", "1"}, loaded, P{100, 77, 12, 5, 45, 150}, {&P::Depth}},
        // Any stored nonzero Sine is a sine; typing the shape stores 1 or 0.
        {{"--sweep", "triangle"}, loaded, P{33, 77, 12, 0, 45, 150}, {&P::Sine}},
        {{"--sweep", "sine"}, loaded, P{33, 77, 12, 1, 45, 150}, {&P::Sine}},
        // --no-feedback keeps the stored gain; --feedback sets a gain and switches it on.
        {{"--no-feedback"}, loaded, off, {}},
        {{"--no-feedback"}, off, off, {}},
        {{"--feedback", "0.2"}, off, P{33, 77, 12, 5, 20, 150}, {&P::Feedback}},
        {{"--feedback", "0.2", "--no-feedback"},
         loaded,
         P{33, 77, 12, 5, -20, 150},
         {&P::Feedback}},
        // Stored values outside every range pass through untouched, and switching off a
        // feedback of 0 or of the most negative gain changes nothing.
        {{}, odd, odd, {}},
        {{"--no-feedback"}, odd, odd, {}},
        {{"--no-feedback"}, P{90, 50, 50, 0, 0, 10}, P{90, 50, 50, 0, 0, 10}, {}},
    };
    const auto all = {&P::Depth, &P::Delay, &P::Width, &P::Sine, &P::Feedback, &P::Speed};
    for (const ChangeCase& c : cases) {
        std::vector<std::string_view> arguments = {"save-preset", "--registry-key", "HKCU\\p"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        std::string joined;
        for (const std::string_view option : c.options) joined += std::string(option) + " ";
        SCOPED_TRACE(joined);
        const ParseResult result = ParseCommandLine(arguments);
        ASSERT_TRUE(result.Parsed) << result.Error;
        EXPECT_EQ(result.Parsed->Changes.AppliedTo(c.loaded), c.expected);
        for (const auto field : all) {
            const bool replaced =
                std::find(c.replaced.begin(), c.replaced.end(), field) != c.replaced.end();
            EXPECT_EQ(result.Parsed->Changes.Replaces(field), replaced);
        }
    }
}

struct LocationCase {
    std::vector<std::string_view> arguments;
    Command action;
    PresetLocation expected;
};

PresetLocation Profile(std::string file, std::string section) {
    return {PresetLocation::Kind::ProfileSection,
            std::move(file),
            std::move(section),
            RegistryRoot::CurrentUser,
            {}};
}

PresetLocation Registry(RegistryRoot root, std::string path) {
    return {PresetLocation::Kind::RegistryKey, "", std::move(path), root, {}};
}

PresetLocation Xml(std::string file, std::string path, std::vector<std::string> names) {
    return {PresetLocation::Kind::XmlElement, std::move(file), std::move(path),
            RegistryRoot::CurrentUser, std::move(names)};
}

// The deepest path a settings file can hold: 255 names.
std::string LongestPath() {
    std::string path = "a";
    for (int i = 1; i < 255; ++i) path += "/a";
    return path;
}

TEST(CommandLineTest, ReadsPresetLocations) {
    using enum Command;
    using enum RegistryRoot;
    const std::string longest = LongestPath();
    const LocationCase cases[] = {
        {{"process", "a", "b", "--preset-file", "p.ini", "--section", "Warm"},
         Process,
         Profile("p.ini", "Warm")},
        {{"demo", "--section=My Preset", "d.wav", "--preset-file=dir/p.ini"},
         Demo,
         Profile("dir/p.ini", "My Preset")},
        {{"save-preset", "--preset-file", "p.ini", "--section", "Warm", "--depth", "0.5"},
         SavePreset,
         Profile("p.ini", "Warm")},
        {{"show-preset", "--preset-file", "p.ini", "--section", "Warm"},
         ShowPreset,
         Profile("p.ini", "Warm")},
        // The last of a repeated option, as for every option.
        {{"show-preset", "--preset-file", "a", "--section", "x", "--preset-file", "b"},
         ShowPreset,
         Profile("b", "x")},
        // Every spelling of both roots; the path keeps its case and inner blanks.
        {{"show-preset", "--registry-key", "HKCU\\Software\\Flanger\\Warm"},
         ShowPreset,
         Registry(CurrentUser, "Software\\Flanger\\Warm")},
        {{"show-preset", "--registry-key", "hkcu\\a"}, ShowPreset, Registry(CurrentUser, "a")},
        {{"show-preset", "--registry-key", "HKEY_CURRENT_USER\\My Key"},
         ShowPreset,
         Registry(CurrentUser, "My Key")},
        {{"show-preset", "--registry-key", "Hkey_Current_User\\a"},
         ShowPreset,
         Registry(CurrentUser, "a")},
        {{"save-preset", "--registry-key=HKLM\\Software\\P"},
         SavePreset,
         Registry(LocalMachine, "Software\\P")},
        {{"process", "a", "b", "--registry-key", "hkey_local_machine\\X\\y"},
         Process,
         Registry(LocalMachine, "X\\y")},
        {{"demo", "d.wav", "--registry-key", "HkLm\\a"}, Demo, Registry(LocalMachine, "a")},
        // XML elements: the path split at each '/', the names kept as typed.
        {{"show-preset", "--xml-preset", "s.xml", "--node", "Settings/Effects/Flanger"},
         ShowPreset,
         Xml("s.xml", "Settings/Effects/Flanger", {"Settings", "Effects", "Flanger"})},
        {{"process", "--node=flanger", "a", "b", "--xml-preset=dir/s.xml"},
         Process,
         Xml("dir/s.xml", "flanger", {"flanger"})},
        {{"demo", "d.wav", "--xml-preset", "s.xml", "--node", "_x/ns:Root/a.b-c_9/R\xC3\xA9glages"},
         Demo,
         Xml("s.xml", "_x/ns:Root/a.b-c_9/R\xC3\xA9glages",
             {"_x", "ns:Root", "a.b-c_9", "R\xC3\xA9glages"})},
        {{"save-preset", "--xml-preset", "s.xml", "--node", "A/B", "--depth", "0.5", "--node",
          "C/D/E"},
         SavePreset,
         Xml("s.xml", "C/D/E", {"C", "D", "E"})},
        {{"show-preset", "--xml-preset", "s.xml", "--node", longest},
         ShowPreset,
         Xml("s.xml", longest, std::vector<std::string>(255, "a"))},
    };
    for (const LocationCase& c : cases) {
        std::string joined;
        for (const std::string_view argument : c.arguments) joined += std::string(argument) + " ";
        SCOPED_TRACE(joined);
        const ParseResult result = ParseCommandLine(c.arguments);
        ASSERT_TRUE(result.Parsed) << result.Error;
        EXPECT_EQ(result.Parsed->Action, c.action);
        ASSERT_TRUE(result.Parsed->Preset);
        EXPECT_EQ(*result.Parsed->Preset, c.expected);
    }
}

struct RefusalCase {
    std::vector<std::string_view> arguments;
    std::string_view error;
};

TEST(CommandLineTest, RefusesBadArgumentsWithOneMessage) {
    const std::string tooLong = LongestPath() + "/a";
    const RefusalCase cases[] = {
        // Just outside each range.
        {{"process", "a", "b", "--delay", "0.99"},
         "--delay must be between 1.0 and 10.0 ms (got '0.99')"},
        {{"process", "a", "b", "--delay", "10.01"},
         "--delay must be between 1.0 and 10.0 ms (got '10.01')"},
        {{"process", "a", "b", "--width", "0.9"},
         "--width must be between 1.0 and 10.0 ms (got '0.9')"},
        {{"process", "a", "b", "--width", "10.1"},
         "--width must be between 1.0 and 10.0 ms (got '10.1')"},
        {{"process", "a", "b", "--speed", "0.099"},
         "--speed must be between 0.10 and 2.00 Hz (got '0.099')"},
        {{"process", "a", "b", "--speed", "2.001"},
         "--speed must be between 0.10 and 2.00 Hz (got '2.001')"},
        {{"process", "a", "b", "--depth", "0.09"},
         "--depth must be between 0.10 and 1.00 (got '0.09')"},
        {{"process", "a", "b", "--depth", "1.0001"},
         "--depth must be between 0.10 and 1.00 (got '1.0001')"},
        {{"process", "a", "b", "--feedback", "0.0999"},
         "--feedback must be between 0.10 and 0.99, or -0.99 and -0.10 to invert it (got "
         "'0.0999')"},
        // A loop gain of 1 never decays: the option stops short of the record's 1.00.
        {{"process", "a", "b", "--feedback", "-1"},
         "--feedback must be between 0.10 and 0.99, or -0.99 and -0.10 to invert it (got '-1')"},
        {{"save-preset", "--preset-file", "p.ini", "--section", "S", "--feedback", "-0.5"},
         "a negative --feedback is for process and demo: a preset holds only 0.10 to 1.00"},
        {{"process", "a", "b", "--spread", "180.5"},
         "--spread must be between 0 and 180 degrees (got '180.5')"},
        {{"process", "a", "b", "--spread", "-1"},
         "--spread must be between 0 and 180 degrees (got '-1')"},
        {{"process", "a", "b", "--spread", "90deg"},
         "--spread takes a number: '90deg' is not a number"},
        {{"save-preset", "--preset-file", "p.ini", "--section", "S", "--spread", "90"},
         "--spread is not an option of save-preset"},
        // Not numbers at all.
        {{"process", "a", "b", "--delay", "nan"},
         "--delay must be between 1.0 and 10.0 ms (got 'nan')"},
        {{"process", "a", "b", "--delay", "NaN"},
         "--delay must be between 1.0 and 10.0 ms (got 'NaN')"},
        {{"process", "a", "b", "--depth", "inf"},
         "--depth must be between 0.10 and 1.00 (got 'inf')"},
        {{"process", "a", "b", "--delay", "five"},
         "--delay takes a number of milliseconds: 'five' is not a number"},
        {{"process", "a", "b", "--delay", "5ms"},
         "--delay takes a number of milliseconds: '5ms' is not a number"},
        {{"process", "a", "b", "--delay", " 5"},
         "--delay takes a number of milliseconds: ' 5' is not a number"},
        {{"process", "a", "b", "--delay", "0x5"},
         "--delay takes a number of milliseconds: '0x5' is not a number"},
        {{"process", "a", "b", "--delay", "5e"},
         "--delay takes a number of milliseconds: '5e' is not a number"},
        {{"process", "a", "b", "--delay="},
         "--delay takes a number of milliseconds: '' is not a number"},
        {{"process", "a", "b", "--speed", "1,5"},
         "--speed takes a number of hertz: '1,5' is not a number"},
        // Names.
        {{"process", "a", "b", "--sweep", "square"},
         "--sweep must be sine or triangle (got 'square')"},
        {{"process", "a", "b", "--sweep", "Sine"}, "--sweep must be sine or triangle (got 'Sine')"},
        {{"process", "a", "b", "--format", "mp4"},
         "--format must be wav, flac, aiff, ogg, opus, mp3, caf, w64, rf64, au or raw (got "
         "'mp4')"},
        {{"process", "a", "b", "--encoding", "pcm8"},
         "--encoding must be pcm16, pcm24, pcm32, float, double, vorbis, opus, mp3, ulaw or alaw "
         "(got 'pcm8')"},
        {{"process", "a", "b", "--quality", "11"}, "--quality must be between 0 and 10 (got '11')"},
        {{"process", "a", "b", "--bitrate", "128k"},
         "--bitrate takes a whole number of kilobits per second: '128k' is not one"},
        {{"process", "a", "b", "--bitrate", "96", "--quality", "3"},
         "--quality and --bitrate cannot be used together"},
        // Raw input: all three of its shape, in range, and no codec.
        {{"process", "a", "b", "--rate", "44100", "--channels", "2"},
         "raw input needs --rate, --channels and --input-encoding together: raw samples have no "
         "header to say them"},
        {{"process", "a", "b", "--rate", "0"}, "--rate must be a whole number from 1 to 768000 Hz (got '0')"},
        {{"process", "a", "b", "--input-encoding", "opus"},
         "--input-encoding must be pcm16, pcm24, pcm32, float, double, ulaw or alaw (got 'opus')"},
        {{"demo", "b", "--channels", "2"}, "--channels is not an option of demo"},
        // Standard input and output stand for one file each.
        {{"process", "-", "b.wav", "c"},
         "'-' (standard input or output) goes with one IN and one OUT"},
        {{"process", "a.wav", "b.wav", "-"},
         "'-' (standard input or output) goes with one IN and one OUT"},
        // Missing values, stray values, unknown options.
        {{"process", "a", "b", "--delay"}, "--delay needs a value"},
        {{"process", "a", "b", "--sweep"}, "--sweep needs a value"},
        {{"info", "--plugin"}, "--plugin needs a value"},
        {{"process", "a", "b", "--no-feedback=1"}, "--no-feedback takes no value"},
        {{"process", "a", "b", "--dealy", "5"}, "unknown option '--dealy' (see flanger --help)"},
        {{"process", "a", "b", "-d", "5"}, "unknown option '-d' (see flanger --help)"},
        {{"process", "a", "b", "--bogus=1"}, "unknown option '--bogus' (see flanger --help)"},
        // Commands and their file names.
        {{}, "no command given (see flanger --help)"},
        {{"--delay", "5"}, "no command given (see flanger --help)"},
        {{"mix", "a", "b"}, "unknown command 'mix' (see flanger --help)"},
        {{"process", "a"}, "process needs IN and OUT (see flanger --help)"},
        // After "--" even an option's spelling is a file name.
        {{"process", "--", "--delay"}, "process needs IN and OUT (see flanger --help)"},
        {{"demo"}, "demo needs OUT (see flanger --help)"},
        {{"demo", "a", "b"}, "demo needs OUT (see flanger --help)"},
        {{"info", "x"}, "info takes no file names"},
        {{"info", "--delay", "5"}, "--delay is not an option of info"},
        {{"process", "", "b"}, "file names must not be empty"},
        {{"process", "a", "", "c"}, "file names must not be empty"},
        {{"process", "a", "b", ""}, "file names must not be empty"},
        // Preset locations: one whole location, at most.
        {{"save-preset"},
         "save-preset needs --preset-file and --section, --registry-key, or --xml-preset and "
         "--node"},
        {{"show-preset", "--depth", "0.5"}, "--depth is not an option of show-preset"},
        {{"show-preset"},
         "show-preset needs --preset-file and --section, --registry-key, or --xml-preset and "
         "--node"},
        {{"save-preset", "--preset-file", "p.ini", "--section", "s", "x"},
         "save-preset takes no file names"},
        {{"show-preset", "x", "--registry-key", "HKCU\\a"}, "show-preset takes no file names"},
        {{"save-preset", "--preset-file", "p.ini", "--section", "s", "--format", "wav"},
         "--format is not an option of save-preset"},
        {{"info", "--registry-key", "HKCU\\a"}, "--registry-key is not an option of info"},
        {{"process", "a", "b", "--preset-file", "p.ini"}, "--preset-file needs --section"},
        {{"process", "a", "b", "--section", "s"}, "--section needs --preset-file"},
        {{"show-preset", "--section", "s"}, "--section needs --preset-file"},
        {{"process", "a", "b", "--preset-file", "p.ini", "--section", "s", "--registry-key",
          "HKCU\\a"},
         "--preset-file and --registry-key cannot be used together"},
        {{"show-preset", "--registry-key", "HKCU\\a", "--preset-file", "p.ini"},
         "--preset-file and --registry-key cannot be used together"},
        {{"show-preset", "--registry-key", "HKCU\\a", "--section", "s"},
         "--section goes with --preset-file; --registry-key names the whole key"},
        {{"show-preset", "--preset-file=", "--section", "s"}, "--preset-file needs a file name"},
        {{"show-preset", "--preset-file", "p", "--section="}, "--section needs a section name"},
        {{"show-preset", "--preset-file", "p", "--section", " \t "},
         "--section needs a section name"},
        {{"show-preset", "--preset-file", "p", "--section", "a]b"},
         "--section cannot hold ']' or a line break (got 'a]b')"},
        {{"show-preset", "--preset-file", "p", "--section", "a\nb"},
         "--section cannot hold ']' or a line break (got 'a\nb')"},
        {{"show-preset", "--preset-file", "p", "--section", "a\r"},
         "--section cannot hold ']' or a line break (got 'a\r')"},
        {{"show-preset", "--section"}, "--section needs a value"},
        // Registry keys: a known root, then a path of non-empty key names.
        {{"show-preset", "--registry-key", "HKXX\\a"},
         "--registry-key must start with HKCU\\, HKLM\\, HKEY_CURRENT_USER\\ or "
         "HKEY_LOCAL_MACHINE\\ (got 'HKXX\\a')"},
        {{"show-preset", "--registry-key", "HKEY_CLASSES_ROOT\\a"},
         "--registry-key must start with HKCU\\, HKLM\\, HKEY_CURRENT_USER\\ or "
         "HKEY_LOCAL_MACHINE\\ (got 'HKEY_CLASSES_ROOT\\a')"},
        {{"show-preset", "--registry-key", "HKCU/Software/a"},
         "--registry-key must start with HKCU\\, HKLM\\, HKEY_CURRENT_USER\\ or "
         "HKEY_LOCAL_MACHINE\\ (got 'HKCU/Software/a')"},
        {{"show-preset", "--registry-key", " HKCU\\a"},
         "--registry-key must start with HKCU\\, HKLM\\, HKEY_CURRENT_USER\\ or "
         "HKEY_LOCAL_MACHINE\\ (got ' HKCU\\a')"},
        {{"show-preset", "--registry-key", "Software\\a"},
         "--registry-key must start with HKCU\\, HKLM\\, HKEY_CURRENT_USER\\ or "
         "HKEY_LOCAL_MACHINE\\ (got 'Software\\a')"},
        {{"show-preset", "--registry-key="},
         "--registry-key must start with HKCU\\, HKLM\\, HKEY_CURRENT_USER\\ or "
         "HKEY_LOCAL_MACHINE\\ (got '')"},
        {{"show-preset", "--registry-key", "HKCU"},
         "--registry-key needs a key path after the root (got 'HKCU')"},
        {{"show-preset", "--registry-key", "HKEY_LOCAL_MACHINE\\"},
         "--registry-key needs a key path after the root (got 'HKEY_LOCAL_MACHINE\\')"},
        {{"show-preset", "--registry-key", "HKCU\\\\a"},
         "--registry-key has an empty key name in 'HKCU\\\\a'"},
        {{"show-preset", "--registry-key", "HKCU\\a\\"},
         "--registry-key has an empty key name in 'HKCU\\a\\'"},
        {{"show-preset", "--registry-key", "HKCU\\a\\\\b"},
         "--registry-key has an empty key name in 'HKCU\\a\\\\b'"},
        // XML elements: a file and a path of XML names, and nothing of the other locations.
        {{"show-preset", "--xml-preset", "s.xml"}, "--xml-preset needs --node"},
        {{"show-preset", "--node", "a/b"}, "--node needs --xml-preset"},
        {{"show-preset", "--registry-key", "HKCU\\a", "--node", "a"}, "--node needs --xml-preset"},
        {{"show-preset", "--xml-preset", "s.xml", "--node", "a", "--preset-file", "p.ini"},
         "--preset-file and --xml-preset cannot be used together"},
        {{"process", "a", "b", "--xml-preset", "s.xml", "--node", "a", "--registry-key", "HKCU\\a"},
         "--registry-key and --xml-preset cannot be used together"},
        {{"show-preset", "--xml-preset", "s.xml", "--node", "a", "--section", "s"},
         "--section goes with --preset-file; --xml-preset takes --node"},
        {{"show-preset", "--xml-preset=", "--node", "a"}, "--xml-preset needs a file name"},
        {{"show-preset", "--xml-preset", "s.xml", "--node="}, "--node needs an element path"},
        {{"show-preset", "--xml-preset", "s.xml", "--node", "/Settings/Flanger"},
         "--node has an empty element name in '/Settings/Flanger'"},
        {{"show-preset", "--xml-preset", "s.xml", "--node", "Settings/Flanger/"},
         "--node has an empty element name in 'Settings/Flanger/'"},
        {{"show-preset", "--xml-preset", "s.xml", "--node", "Settings//Flanger"},
         "--node has an empty element name in 'Settings//Flanger'"},
        {{"show-preset", "--xml-preset", "s.xml", "--node", "/"},
         "--node has an empty element name in '/'"},
        {{"show-preset", "--xml-preset", "s.xml", "--node", "Settings/9th"},
         "--node: '9th' is not an XML element name"},
        {{"show-preset", "--xml-preset", "s.xml", "--node", "-a"},
         "--node: '-a' is not an XML element name"},
        {{"show-preset", "--xml-preset", "s.xml", "--node", ".a"},
         "--node: '.a' is not an XML element name"},
        {{"show-preset", "--xml-preset", "s.xml", "--node", "My Settings/Flanger"},
         "--node: 'My Settings' is not an XML element name"},
        {{"show-preset", "--xml-preset", "s.xml", "--node", "a/b<c"},
         "--node: 'b<c' is not an XML element name"},
        {{"show-preset", "--xml-preset", "s.xml", "--node", "a/b\"c"},
         "--node: 'b\"c' is not an XML element name"},
        {{"show-preset", "--xml-preset", "s.xml", "--node", "a/b&c"},
         "--node: 'b&c' is not an XML element name"},
        {{"show-preset", "--xml-preset", "s.xml", "--node", tooLong},
         "--node names more than 255 elements"},
        {{"info", "--xml-preset", "s.xml"}, "--xml-preset is not an option of info"},
        {{"show-preset", "--node"}, "--node needs a value"},
        {{"help", "mix"}, "unknown command 'mix' (see flanger --help)"},
        {{"help", "demo", "info"}, "help takes at most one command name"},
        {{"window", "--png", "shot.PNG.jpg"},
         "--png must name a file ending in .png: the picture is PNG (got 'shot.PNG.jpg')"},
        // Factory presets: a known name, for rendering, and not on top of a stored preset.
        {{"process", "a", "b", "--preset-name", "jet"},
         "--preset-name must be Subtle doubling, Classic jet, Slow sine, Inverted short, Vibrato, "
         "Wide stereo or Metallic ring (got 'jet')"},
        {{"process", "a", "b", "--preset-name", "vibrato", "--registry-key", "HKCU\\a"},
         "--preset-name and --registry-key cannot be used together"},
        {{"demo", "d", "--xml-preset", "s.xml", "--node", "a", "--preset-name", "vibrato"},
         "--preset-name and --xml-preset cannot be used together"},
        {{"save-preset", "--registry-key", "HKCU\\a", "--preset-name", "vibrato"},
         "--preset-name is not an option of save-preset"},
        {{"presets", "x"}, "presets takes no file names"},
    };
    for (const RefusalCase& c : cases) {
        std::string joined;
        for (const std::string_view argument : c.arguments) joined += std::string(argument) + " ";
        SCOPED_TRACE(joined);
        const ParseResult result = ParseCommandLine(c.arguments);
        EXPECT_FALSE(result.Parsed);
        EXPECT_EQ(result.Error, c.error);
    }
}

// The options `flanger presets` shows for each factory preset give its values exactly.
TEST(CommandLineTest, FactoryPresetsAreTheOptionsListedForThem) {
    for (const FactoryPreset& preset : FactoryPresets()) {
        const std::string options = OptionsGiving(preset.Settings);
        SCOPED_TRACE(options);
        std::vector<std::string> words = {"process", "a", "b"};
        for (std::size_t at = 0; at < options.size(); at = options.find(' ', at) + 1) {
            words.push_back(options.substr(at, options.find(' ', at) - at));
            if (options.find(' ', at) == std::string::npos) break;
        }
        const std::vector<std::string_view> arguments(words.begin(), words.end());
        const ParseResult result = ParseCommandLine(arguments);
        ASSERT_TRUE(result.Parsed) << result.Error;
        EXPECT_EQ(result.Parsed->Changes.AppliedTo({}), preset.Settings);
    }
}

struct InvocationCase {
    std::vector<std::string_view> arguments;
    Command action;
    std::vector<std::string> inputs;
    std::string_view output;
    std::optional<Container> format;
    std::optional<Encoding> encoding;
    std::optional<std::string> plugin;
};

TEST(CommandLineTest, ReadsCommandsFilesAndOutputOptions) {
    using enum Command;
    constexpr std::nullopt_t none = std::nullopt;
    const InvocationCase cases[] = {
        {{"process", "in.wav", "out.wav"}, Process, {"in.wav"}, "out.wav", none, none, none},
        // Options anywhere after the command, and "--" before names that look like options.
        {{"process", "--format", "flac", "in.wav", "out.flac"},
         Process,
         {"in.wav"},
         "out.flac",
         Container::Flac,
         none,
         none},
        {{"process", "in.wav", "--", "-out.wav"},
         Process,
         {"in.wav"},
         "-out.wav",
         none,
         none,
         none},
        {{"process", "-", "out.wav"}, Process, {"-"}, "out.wav", none, none, none},
        {{"demo", "demo.ogg", "--encoding=vorbis"},
         Demo,
         {},
         "demo.ogg",
         none,
         Encoding::Vorbis,
         none},
        {{"demo", "--format", "aiff", "--encoding", "pcm24", "d"},
         Demo,
         {},
         "d",
         Container::Aiff,
         Encoding::Pcm24,
         none},
        {{"info", "--plugin", "lib/Plugin.so"}, Info, {}, "", none, none, "lib/Plugin.so"},
        // Several INs: every name but the last; OUT is then a folder.
        {{"process", "a.wav", "b.flac", "c.aiff", "outdir"},
         Process,
         {"a.wav", "b.flac", "c.aiff"},
         "outdir",
         none,
         none,
         none},
        {{"process", "a", "--format=flac", "b", "--", "-c", "out"},
         Process,
         {"a", "b", "-c"},
         "out",
         Container::Flac,
         none,
         none},
        {{"process", "a", "--", "b", "--delay"}, Process, {"a", "b"}, "--delay", none, none, none},
        {{"process", "a", "b", "--plugin=x.so"}, Process, {"a"}, "b", none, none, "x.so"},
        // Help wins over anything else on the line, even over mistakes.
        {{"--help"}, Help, {}, "", none, none, none},
        {{"-h"}, Help, {}, "", none, none, none},
        {{"help"}, Help, {}, "", none, none, none},
        {{"help", "process"}, Help, {}, "", none, none, none},
        {{"help", "save-preset"}, Help, {}, "", none, none, none},
        {{"show-preset", "--help"}, Help, {}, "", none, none, none},
        {{"process", "--help"}, Help, {}, "", none, none, none},
        {{"process", "--delay", "99", "--help"}, Help, {}, "", none, none, none},
    };
    for (const InvocationCase& c : cases) {
        std::string joined;
        for (const std::string_view argument : c.arguments) joined += std::string(argument) + " ";
        SCOPED_TRACE(joined);
        const ParseResult result = ParseCommandLine(c.arguments);
        ASSERT_TRUE(result.Parsed) << result.Error;
        EXPECT_EQ(result.Parsed->Action, c.action);
        EXPECT_EQ(result.Parsed->InputPaths, c.inputs);
        EXPECT_EQ(result.Parsed->OutputPath, c.output);
        EXPECT_EQ(result.Parsed->Format, c.format);
        EXPECT_EQ(result.Parsed->SampleEncoding, c.encoding);
        EXPECT_EQ(result.Parsed->PluginPath, c.plugin);
    }
}

}  // namespace
}  // namespace flanger::tool
