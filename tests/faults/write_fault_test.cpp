// Every write the system makes, run through the built flanger command with each of its system
// calls failing in turn (tests/faults/write_faults.c, preloaded), the disk filling up, and the
// process killed at each of those calls.
//
// Each case ends with every file either as it was or as a run without faults writes it, byte for
// byte (for the registry: the values it holds); after a failure the command exits 1 with one line
// per failed file naming it and leaves no temporary file behind; after a kill, the next run
// completes the save and leaves nothing of the killed one behind.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "command_runner.h"
#include "scratch_directory.h"
#include "test_sound.h"

namespace flanger::tool::test {
namespace {

using Arguments = std::function<std::vector<std::string>(const ScratchDirectory&)>;

struct WriteCase {
    const char* name;
    std::function<void(const ScratchDirectory&)> prepare;  // the old files
    Arguments run;                                         // the write
    std::vector<std::string> files;                        // what must be old or new
    Arguments show;       // for the registry: the command that shows what it holds
    bool renames = true;  // false: nothing is renamed (SQLite, a file rewritten in place)
    const char* otherName = nullptr;  // a hard link to files[0], which must show the same bytes
};

const char* const kFaults[] = {"open", "write", "full", "fsync", "rename", "kill"};
constexpr int kMostCalls = 40;  // a longer sweep of one kind samples every few calls

CommandOptions Environment(const ScratchDirectory& d, const std::string& fault) {
    CommandOptions options;
    options.environment["FLANGER_REGISTRY"] = d / "registry.sqlite3";
    if (!fault.empty()) {
        options.environment["LD_PRELOAD"] = FLANGER_WRITE_FAULTS;
        options.environment["FLANGER_FAULT"] = fault;
        options.environment["FLANGER_FAULT_MET"] = d.Path() + ".met";
        // Under AddressSanitizer the preloaded library comes before its runtime.
        options.environment["ASAN_OPTIONS"] = "verify_asan_link_order=0:detect_leaks=0";
    }
    return options;
}

// What the case's files hold, one entry per file.
std::vector<std::string> State(const WriteCase& c, const ScratchDirectory& d) {
    if (c.show) return {RunFlanger(c.show(d), Environment(d, "")).out};
    std::vector<std::string> state;
    for (const std::string& file : c.files) state.push_back(ReadBytes(d / file));
    return state;
}

// The directory's entries, without SQLite's own journal files.
std::vector<std::string> Entries(const ScratchDirectory& d) {
    std::vector<std::string> entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(d.Path())) {
        const std::string name = entry.path().lexically_relative(d.Path()).string();
        if (name.rfind("registry.sqlite3", 0) != 0) entries.push_back(name);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

void PrepareSounds(const ScratchDirectory& d) {
    const int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    WriteSound(d / "a.wav", format, 2, 8000, TestSignal(2, 8000, 4000));
    WriteSound(d / "b.wav", format, 1, 8000, TestSignal(1, 8000, 3000));
    WriteBytes(d / "old.wav", "an older output");
}

const WriteCase kCases[] = {
    {"profile key",
     [](const ScratchDirectory& d) {
         WriteBytes(d / "p.ini", "; studio\r\n[Other]\r\nDelay=30\r\n[Warm]\r\nDepth=40\r\n");
     },
     [](const ScratchDirectory& d) {
         return std::vector<std::string>{"save-preset", "--preset-file", d / "p.ini",
                                         "--section",   "Warm",          "--delay",
                                         "2.5",         "--sweep",       "sine"};
     },
     {"p.ini"},
     {}},
    {"new profile file",
     [](const ScratchDirectory&) {},
     [](const ScratchDirectory& d) {
         return std::vector<std::string>{"save-preset", "--preset-file", d / "p.ini", "--section",
                                         "Warm",        "--delay",       "2.5"};
     },
     {"p.ini"},
     {}},
    // A second name makes the file one that is rewritten in place: both names must show it.
    {"hard-linked profile file",
     [](const ScratchDirectory& d) {
         WriteBytes(d / "p.ini", "; studio\r\n[Warm]\r\nDepth=40\r\nDelay=30\r\n");
         std::filesystem::create_hard_link(d / "p.ini", d / "twin.ini");
     },
     [](const ScratchDirectory& d) {
         return std::vector<std::string>{"save-preset", "--preset-file", d / "p.ini",
                                         "--section",   "Warm",          "--delay",
                                         "2.5",         "--sweep",       "sine"};
     },
     {"p.ini"},
     {},
     false,
     "twin.ini"},
    {"registry",
     [](const ScratchDirectory& d) {
         RunFlanger(
             {"save-preset", "--registry-key", "HKCU\\Software\\Presets\\Warm", "--depth", "0.4"},
             Environment(d, ""));
     },
     [](const ScratchDirectory&) {
         return std::vector<std::string>{"save-preset",
                                         "--registry-key",
                                         "HKCU\\Software\\Presets\\Warm",
                                         "--delay",
                                         "2.5",
                                         "--sweep",
                                         "sine"};
     },
     {},
     [](const ScratchDirectory&) {
         return std::vector<std::string>{"show-preset", "--registry-key",
                                         "HKCU\\Software\\Presets\\Warm"};
     },
     false},
    {"XML preset",
     [](const ScratchDirectory& d) {
         WriteBytes(d / "s.xml",
                    "<?xml version=\"1.0\"?>\n<!-- mine -->\n<Settings>\n  <Flanger>\n"
                    "    <Depth Value=\"40\"/>\n  </Flanger>\n</Settings>\n");
     },
     [](const ScratchDirectory& d) {
         return std::vector<std::string>{"save-preset",      "--xml-preset", d / "s.xml", "--node",
                                         "Settings/Flanger", "--delay",      "2.5"};
     },
     {"s.xml"},
     {}},
    {"process output",
     PrepareSounds,
     [](const ScratchDirectory& d) {
         return std::vector<std::string>{"process", d / "a.wav", d / "old.wav",
                                         "--delay", "2.5",       "--no-clip-warning"};
     },
     {"old.wav"},
     {}},
    {"many files",
     [](const ScratchDirectory& d) {
         PrepareSounds(d);
         std::filesystem::create_directory(d / "out");
         WriteBytes(d / "out/a.wav", "older a");
         WriteBytes(d / "out/b.wav", "older b");
     },
     [](const ScratchDirectory& d) {
         return std::vector<std::string>{"process", d / "a.wav", d / "b.wav", d / "out",
                                         "--no-clip-warning"};
     },
     {"out/a.wav", "out/b.wav"},
     {}},
};

TEST(WriteFaultTest, EveryFailedCallLeavesTheOldFileOrTheNewOneAndIsReported) {
    for (const WriteCase& c : kCases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> before, after, cleanEntries;
        {
            ScratchDirectory d;
            c.prepare(d);
            before = State(c, d);
            const CommandResult clean = RunFlanger(c.run(d), Environment(d, ""));
            ASSERT_EQ(clean.exitStatus, 0) << clean.err;
            after = State(c, d);
            if (c.otherName) {
                EXPECT_EQ(ReadBytes(d / c.otherName), after[0]) << c.otherName;
            }
            cleanEntries = Entries(d);
        }
        for (const char* fault : kFaults) {
            int injected = 0;
            for (int call = 1; call <= kMostCalls; call += call < 12 ? 1 : 4) {
                ScratchDirectory d;
                c.prepare(d);
                const std::vector<std::string> oldEntries = Entries(d);
                const std::string which = std::string(fault) + ":" + std::to_string(call);
                const CommandResult run = RunFlanger(c.run(d), Environment(d, which));
                SCOPED_TRACE(which + ": " + run.err);
                const bool met = std::filesystem::exists(d.Path() + ".met");
                std::filesystem::remove(d.Path() + ".met");
                if (!met) {
                    EXPECT_EQ(run.exitStatus, 0);
                    break;
                }
                ++injected;
                const std::vector<std::string> state = State(c, d);
                if (c.otherName) {
                    EXPECT_EQ(ReadBytes(d / c.otherName), state[0]) << c.otherName;
                }
                for (std::size_t k = 0; k < state.size(); ++k) {
                    EXPECT_TRUE(state[k] == before[k] || state[k] == after[k])
                        << "file " << k << " is neither the old one nor the new one";
                }
                if (std::string(fault) == "kill") {
                    EXPECT_EQ(run.signal, SIGKILL);
                    const CommandResult again = RunFlanger(c.run(d), Environment(d, ""));
                    EXPECT_EQ(again.exitStatus, 0) << again.err;
                    EXPECT_EQ(State(c, d), after);
                    EXPECT_EQ(Entries(d), cleanEntries);
                    continue;
                }
                if (run.exitStatus == 0) {
                    EXPECT_EQ(state, after);
                    EXPECT_EQ(Entries(d), cleanEntries);
                    continue;
                }
                // A save may be reported failed when only its read-back failed: the values
                // are then those of the old file or the new one (above), never a mix.
                EXPECT_EQ(run.exitStatus, 1);
                const std::vector<std::string> lines = Lines(run.err);
                if (c.files.size() > 1) {
                    std::size_t failed = 0;
                    // A file whose folder could not be synced after its rename is new but failed.
                    for (std::size_t k = 0; k < state.size(); ++k) {
                        failed += state[k] != after[k] ||
                                  run.err.find(c.files[k] + "' is written, but") != std::string::npos;
                    }
                    EXPECT_EQ(lines.size(), failed + 1);
                    EXPECT_NE(run.err.find(std::to_string(failed) + " of 2 files failed"),
                              std::string::npos);
                } else {
                    EXPECT_EQ(lines.size(), 1u);
                    const std::string named =
                        c.files.empty() ? std::string("Software\\Presets\\Warm")
                                        : std::filesystem::path(c.files[0]).filename().string();
                    EXPECT_NE(run.err.find(named), std::string::npos);
                }
                // No temporary file, nor a new file left empty.
                EXPECT_EQ(Entries(d), state == after ? cleanEntries : oldEntries);
            }
            if (injected > 0) {
                std::printf("%-18s %-6s %2d faults met\n", c.name, fault, injected);
            }
            if (c.renames || std::string(fault) != "rename") {
                EXPECT_GT(injected, 0) << fault << " was never met";
            }
        }
    }
}

}  // namespace
}  // namespace flanger::tool::test
