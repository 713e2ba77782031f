// Saves of one profile file, one registry database and one XML settings file from many places
// at once: 8 flanger save-preset processes at a time, each saving 50 times to a section, key or
// node of its own, and 8 threads of one process saving through the module's exports. Every
// writer's last values must be there at the end.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "command_runner.h"
#include "flanger_plugin.h"
#include "module/plugin_library.h"
#include "scratch_directory.h"

namespace flanger::tool::test {
namespace {

constexpr int kWriters = 8;
constexpr int kSaves = 50;

// The preset of writer `w`: its own section, key or node in the one shared file.
using Location = std::function<std::vector<std::string>(const ScratchDirectory&, int w)>;

struct SharedFileCase {
    const char* name;
    Location location;
};

const SharedFileCase kShared[] = {
    {"profile file",
     [](const ScratchDirectory& d, int w) {
         return std::vector<std::string>{"--preset-file", d / "shared.ini", "--section",
                                         "Writer" + std::to_string(w)};
     }},
    {"registry",
     [](const ScratchDirectory&, int w) {
         return std::vector<std::string>{"--registry-key",
                                         "HKCU\\Software\\Shared\\Writer" + std::to_string(w)};
     }},
    {"XML settings file",
     [](const ScratchDirectory& d, int w) {
         return std::vector<std::string>{"--xml-preset", d / "shared.xml", "--node",
                                         "Settings/Writer" + std::to_string(w)};
     }},
};

// The delay of save `s` of writer `w`, in tenths of a millisecond (10 to 99).
int DelayOf(int w, int s) { return 10 + (w * kSaves + s) % 90; }

int Stored(const std::string& shown, const char* name) {
    std::smatch match;
    const std::regex pattern(std::string("\\(") + name + "=(-?[0-9]+)\\)");
    return std::regex_search(shown, match, pattern) ? std::stoi(match[1]) : -1;
}

TEST(ConcurrentSaveTest, ProcessesSavingToOneFileLoseNoUpdate) {
    for (const SharedFileCase& c : kShared) {
        SCOPED_TRACE(c.name);
        ScratchDirectory d;
        CommandOptions options;
        options.environment["FLANGER_REGISTRY"] = d / "registry.sqlite3";
        std::vector<std::thread> writers;
        const auto start = std::chrono::steady_clock::now();
        for (int w = 0; w < kWriters; ++w) {
            writers.emplace_back([&, w] {
                for (int s = 0; s < kSaves; ++s) {
                    std::vector<std::string> arguments = {"save-preset"};
                    for (const std::string& a : c.location(d, w)) arguments.push_back(a);
                    const int delay = DelayOf(w, s);
                    arguments.insert(
                        arguments.end(),
                        {"--delay", std::to_string(delay / 10) + "." + std::to_string(delay % 10),
                         "--width", "1." + std::to_string(w)});
                    const CommandResult saved = RunFlanger(arguments, options);
                    EXPECT_EQ(saved.exitStatus, 0) << c.name << ", writer " << w << ": " << saved.err;
                }
            });
        }
        for (std::thread& writer : writers) writer.join();
        std::printf(
            "%-18s %d saves in %.1f s\n", c.name, kWriters * kSaves,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        for (int w = 0; w < kWriters; ++w) {
            std::vector<std::string> arguments = {"show-preset"};
            for (const std::string& a : c.location(d, w)) arguments.push_back(a);
            const CommandResult shown = RunFlanger(arguments, options);
            EXPECT_EQ(Stored(shown.out, "Delay"), DelayOf(w, kSaves - 1)) << "writer " << w;
            EXPECT_EQ(Stored(shown.out, "Width"), 10 + w) << "writer " << w;
        }
    }
}

// One preset, six processes at a time, each changing one option of it again and again: every
// option must end as its writer last set it. Then a reader showing the preset while two others
// save it whole, with every option one way or every option the other, must see one of the two.
TEST(ConcurrentSaveTest, SavesOfOnePresetKeepEveryOptionAndReadsSeeWholePresets) {
    const char* const kOptions[] = {"--delay", "--width",    "--speed",
                                    "--depth", "--feedback", "--sweep"};
    const char* const kRounds[][6] = {{"2.1", "3.1", "0.21", "0.51", "0.31", "triangle"},
                                      {"2.2", "3.2", "0.22", "0.52", "0.32", "sine"},
                                      {"2.3", "3.3", "0.23", "0.53", "0.33", "sine"}};
    // What show-preset gives for the first round and for the last.
    const std::vector<int> kFirst = {21, 31, 21, 51, 31, 0}, kLast = {23, 33, 23, 53, 33, 1};
    const auto shownValues = [](const std::string& shown) {
        std::vector<int> values;
        for (const char* name : {"Delay", "Width", "Speed", "Depth", "Feedback", "Sine"}) {
            values.push_back(Stored(shown, name));
        }
        return values;
    };
    for (const SharedFileCase& c : kShared) {
        SCOPED_TRACE(c.name);
        ScratchDirectory d;
        CommandOptions options;
        options.environment["FLANGER_REGISTRY"] = d / "registry.sqlite3";
        const auto run = [&](const char* command, const std::vector<int>& options_, int round) {
            std::vector<std::string> arguments = {command};
            for (const std::string& a : c.location(d, 0)) arguments.push_back(a);
            for (const int o : options_)
                arguments.insert(arguments.end(), {kOptions[o], kRounds[round][o]});
            return RunFlanger(arguments, options);
        };
        std::vector<std::thread> writers;
        for (int option = 0; option < 6; ++option) {
            writers.emplace_back([&, option] {
                for (int round = 0; round < 3; ++round) {
                    const CommandResult saved = run("save-preset", {option}, round);
                    EXPECT_EQ(saved.exitStatus, 0) << c.name << ": " << saved.err;
                }
            });
        }
        for (std::thread& writer : writers) writer.join();
        EXPECT_EQ(shownValues(run("show-preset", {}, 0).out), kLast);

        std::vector<std::thread> savers;
        for (const int round : {0, 2}) {
            savers.emplace_back([&, round] {
                for (int s = 0; s < 25; ++s) {
                    const CommandResult saved = run("save-preset", {0, 1, 2, 3, 4, 5}, round);
                    EXPECT_EQ(saved.exitStatus, 0) << c.name << ": " << saved.err;
                }
            });
        }
        for (int r = 0; r < 50; ++r) {
            const CommandResult shown = run("show-preset", {}, 0);
            EXPECT_EQ(shown.exitStatus, 0) << shown.err;
            const std::vector<int> values = shownValues(shown.out);
            EXPECT_TRUE(values == kFirst || values == kLast) << "read " << r;
        }
        for (std::thread& saver : savers) saver.join();
    }
}

TEST(ConcurrentSaveTest, ThreadsSavingThroughTheExportsLoseNoUpdate) {
    ScratchDirectory d;
    setenv("FLANGER_REGISTRY", (d / "registry.sqlite3").c_str(), 1);
    std::string error;
    const auto module = PluginLibrary::Load(ModulePath(), error);
    ASSERT_TRUE(module) << error;
    const PluginExports& exports = module->Exports();
    const std::string file = d / "shared.ini";
    for (const FlangerRegistryKey root : {FlangerRegistryKey(nullptr), FLANGER_HKEY_CURRENT_USER}) {
        SCOPED_TRACE(root == nullptr ? "profile file" : "registry");
        const char* const fileName = root == nullptr ? file.c_str() : nullptr;
        const auto section = [&](int w) {
            return (root == nullptr ? "Thread" : "Software\\Shared\\Thread") + std::to_string(w);
        };
        std::vector<int> failures(kWriters, 0);
        std::vector<std::thread> writers;
        for (int w = 0; w < kWriters; ++w) {
            writers.emplace_back([&, w] {
                EffectSettings* settings = nullptr;
                if (exports.Initialize(nullptr, nullptr, nullptr, &settings) != 1) {
                    ++failures[w];
                    return;
                }
                settings->Width = 10 + w;
                for (int s = 0; s < kSaves; ++s) {
                    settings->Delay = DelayOf(w, s);
                    failures[w] +=
                        exports.SavePreset(fileName, section(w).c_str(), root, settings) != 1;
                }
                exports.Free(settings);
            });
        }
        for (std::thread& writer : writers) writer.join();
        for (int w = 0; w < kWriters; ++w) {
            EXPECT_EQ(failures[w], 0) << "thread " << w;
            EffectSettings* loaded = nullptr;
            ASSERT_EQ(exports.LoadPreset(fileName, section(w).c_str(), root, &loaded), 1);
            EXPECT_EQ(loaded->Delay, DelayOf(w, kSaves - 1)) << "thread " << w;
            EXPECT_EQ(loaded->Width, 10 + w) << "thread " << w;
            exports.Free(loaded);
        }
    }
    unsetenv("FLANGER_REGISTRY");
}

}  // namespace
}  // namespace flanger::tool::test
