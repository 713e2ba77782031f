// Saves of one profile file, one registry database and one XML settings file from many places
// at once: 8 flanger save-preset processes at a time, each saving 50 times to a section, key or
// node of its own, and 8 threads of one process saving through the module's exports. Every
// writer's last values must be there at the end.
#include <gtest/gtest.h>

#include <atomic>
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
        std::vector<int> failures(kWriters, 0);
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
                    failures[w] += RunFlanger(arguments, options).exitStatus != 0;
                }
            });
        }
        for (std::thread& writer : writers) writer.join();
        std::printf(
            "%-18s %d saves in %.1f s\n", c.name, kWriters * kSaves,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        for (int w = 0; w < kWriters; ++w) {
            EXPECT_EQ(failures[w], 0) << "writer " << w;
            std::vector<std::string> arguments = {"show-preset"};
            for (const std::string& a : c.location(d, w)) arguments.push_back(a);
            const CommandResult shown = RunFlanger(arguments, options);
            EXPECT_EQ(Stored(shown.out, "Delay"), DelayOf(w, kSaves - 1)) << "writer " << w;
            EXPECT_EQ(Stored(shown.out, "Width"), 10 + w) << "writer " << w;
        }
    }
}

// Two whole presets that differ in every value, and what show-preset lists for each.
const std::vector<std::string> kWhole[] = {
    {"--delay", "2.5", "--width", "1.5", "--speed", "0.2", "--depth", "0.5", "--feedback", "0.3",
     "--sweep", "sine"},
    {"--delay", "7.5", "--width", "3.5", "--speed", "0.4", "--depth", "0.7", "--feedback", "0.6",
     "--sweep", "triangle"}};
const std::vector<int> kWholeStored[] = {{25, 15, 20, 50, 30, 1}, {75, 35, 40, 70, 60, 0}};

// Readers of a preset that writers keep replacing, each save a whole preset: every read shows
// one of them whole, never half of one over half of the other.
TEST(ConcurrentSaveTest, ReadersSeeOneWholePresetWhileOthersSave) {
    const SharedFileCase torn[] = {kShared[1]};
    for (const SharedFileCase& c : torn) {
        SCOPED_TRACE(c.name);
        ScratchDirectory d;
        CommandOptions options;
        options.environment["FLANGER_REGISTRY"] = d / "registry.sqlite3";
        const auto command = [&](const char* name, const std::vector<std::string>& values) {
            std::vector<std::string> arguments = c.location(d, 0);
            arguments.insert(arguments.begin(), name);
            arguments.insert(arguments.end(), values.begin(), values.end());
            return RunFlanger(arguments, options);
        };
        command("save-preset", kWhole[0]);
        std::atomic<bool> saving = true;
        std::vector<std::thread> writers;
        for (int w = 0; w < 2; ++w) {
            writers.emplace_back([&, w] {
                for (int s = 0; s < kSaves; ++s) command("save-preset", kWhole[(w + s) % 2]);
            });
        }
        std::thread done([&] {
            for (std::thread& writer : writers) writer.join();
            saving = false;
        });
        while (saving) {
            const CommandResult shown = command("show-preset", {});
            EXPECT_EQ(shown.exitStatus, 0) << shown.err;
            std::vector<int> stored;
            for (const char* name : {"Delay", "Width", "Speed", "Depth", "Feedback", "Sine"}) {
                stored.push_back(Stored(shown.out, name));
            }
            EXPECT_TRUE(stored == kWholeStored[0] || stored == kWholeStored[1]) << shown.out;
        }
        done.join();
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
