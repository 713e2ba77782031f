// What the flanger command says: "info" through the module found by each rule, the help text,
// and the one-line refusals of wrong usage with their exit statuses.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "command_runner.h"

namespace flanger::tool::test {
namespace {

struct MessageCase {
    const char* name;
    std::vector<std::string> arguments;
    std::map<std::string, std::optional<std::string>> environment;
    int exitStatus;
    std::vector<std::string> out;  // each expected on standard output
    std::string err;               // standard error starts with this; "" means it is empty
};

TEST(CommandMessagesTest, ReportsAndRefusesAsDocumented) {
    const std::string missing = "/nonexistent/env/Plugin.so";
    const MessageCase cases[] = {
        {"info from next to the executable", {"info"}, {}, 0, {"Flanger", "Vornak"}, ""},
        {"info from FLANGER_PLUGIN",
         {"info"},
         {{"FLANGER_PLUGIN", missing}},
         1,
         {},
         "flanger: cannot load the module '" + missing + "': "},
        {"--plugin before FLANGER_PLUGIN",
         {"info", "--plugin", ModulePath()},
         {{"FLANGER_PLUGIN", missing}},
         0,
         {"Flanger", "Vornak"},
         ""},
        {"empty FLANGER_PLUGIN counts as unset",
         {"info"},
         {{"FLANGER_PLUGIN", ""}},
         0,
         {"Flanger"},
         ""},
        {"module without the exports",
         {"info", "--plugin", WrongModulePath()},
         {},
         1,
         {},
         "flanger: cannot load the module '" + WrongModulePath() +
             "': the module does not export PlugInInfo\n"},
        {"no command", {}, {}, 2, {}, "flanger: no command given (see flanger --help)\n"},
        {"unknown command",
         {"mix", "a", "b"},
         {},
         2,
         {},
         "flanger: unknown command 'mix' (see flanger --help)\n"},
        {"unknown option",
         {"info", "--verbose"},
         {},
         2,
         {},
         "flanger: unknown option '--verbose' (see flanger --help)\n"},
        {"missing value",
         {"process", "a.wav", "b.wav", "--speed"},
         {},
         2,
         {},
         "flanger: --speed needs a value\n"},
        {"missing OUT",
         {"process", "a.wav"},
         {},
         2,
         {},
         "flanger: process needs IN and OUT (see flanger --help)\n"},
        {"the factory presets, each with the options that give it",
         {"presets"},
         {},
         0,
         {"\n\nInverted short (inverted-short)\n    A very short delay with inverted feedback: a "
          "hollow, nasal sweep.\n    --delay 1.0 --width 2.5 --speed 0.40 --depth 0.80 "
          "--feedback -0.60 --gain -1.5\n\nVibrato (vibrato)\n"},
         ""},
        {"NaN",
         {"demo", "d.wav", "--width", "nan"},
         {},
         2,
         {},
         "flanger: --width must be between 1.0 and 10.0 ms (got 'nan')\n"},
    };
    for (const MessageCase& c : cases) {
        SCOPED_TRACE(c.name);
        CommandOptions options;
        options.environment = c.environment;
        const CommandResult run = RunFlanger(c.arguments, options);
        EXPECT_EQ(run.exitStatus, c.exitStatus) << run.err;
        for (const std::string& text : c.out) {
            EXPECT_NE(run.out.find(text), std::string::npos) << run.out;
        }
        if (c.out.empty()) {
            EXPECT_EQ(run.out, "");
        }
        if (c.err.empty()) {
            EXPECT_EQ(run.err, "");
        } else {
            EXPECT_EQ(run.err.substr(0, c.err.size()), c.err);
            EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
        }
    }
}

TEST(CommandMessagesTest, HelpDocumentsEveryCommandAndOption) {
    const std::vector<std::string> documented = {"process IN OUT",
                                                 "demo OUT",
                                                 "save-preset PRESET",
                                                 "show-preset PRESET",
                                                 "info",
                                                 "flanger presets",
                                                 "--preset-name NAME",
                                                 "--preset-file FILE",
                                                 "--section NAME",
                                                 "--registry-key KEY",
                                                 "HKCU\\PATH",
                                                 "HKLM\\PATH",
                                                 "HKEY_CURRENT_USER\\PATH",
                                                 "HKEY_LOCAL_MACHINE\\PATH",
                                                 "FLANGER_REGISTRY",
                                                 "--delay MS",
                                                 "--width MS",
                                                 "--speed HZ",
                                                 "--depth GAIN",
                                                 "--feedback GAIN",
                                                 "--no-feedback",
                                                 "--sweep",
                                                 "sine",
                                                 "triangle",
                                                 "--format",
                                                 "ogg, opus, mp3, caf, w64, rf64",
                                                 "--encoding",
                                                 "mp3, ulaw or alaw",
                                                 "--no-clip-warning",
                                                 "-q, --quiet",
                                                 "--plugin PATH",
                                                 "FLANGER_PLUGIN",
                                                 "1.0 to 10.0 milliseconds",
                                                 "0.10 to 2.00 hertz",
                                                 "0.10 to 1.00",
                                                 "--help",
                                                 "130"};
    std::optional<std::string> first;
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--help"}, {"help"}, {"-h"}, {"help", "help"}}) {
        SCOPED_TRACE(arguments.back());
        const CommandResult run = RunFlanger(arguments);
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.err, "");
        for (const std::string& text : documented) {
            EXPECT_NE(run.out.find(text), std::string::npos) << "not documented: " << text;
        }
        if (!first) first = run.out;
        EXPECT_EQ(run.out, *first);
    }

    // A command's help: its own usage and options, none of the others'.
    const std::pair<const char*, const char*> topics[] = {{"process", "--png"},
                                                          {"demo", "process IN"},
                                                          {"show-preset", "--delay"},
                                                          {"info", "--section"},
                                                          {"presets", "--preset-name NAME"},
                                                          {"window", "--format"}};
    for (const auto& [command, other] : topics) {
        const CommandResult run = RunFlanger({command, "--help"});
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(RunFlanger({"help", command}).out, run.out);
        EXPECT_NE(run.out.find("Usage: flanger " + std::string(command)), std::string::npos);
        EXPECT_EQ(run.out.find(other), std::string::npos) << command << " shows " << other;
    }
}

}  // namespace
}  // namespace flanger::tool::test
