// Several processes saving presets to one file at once, and a writer killed in the middle of
// saving: no update may be lost and the file may never be torn.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/profile_file.h"
#include "profile_test_support.h"

namespace flanger::platform {
namespace {

using test::ReadBytes;
using test::ScratchDirectory;
using test::WriteBytes;

// Every write reads, rewrites and flushes the whole file (two disk flushes, some milliseconds),
// one writer after the other; these counts keep each test within a few seconds.
constexpr int kWritesPerProcess = 100;
constexpr int kKillRounds = 20;

std::vector<std::string> Lines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::istringstream stream(bytes);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

std::string Numbered(const char* prefix, int n) { return prefix + std::to_string(n); }

// The file must be made of the expected headers, each once, and entries: a lost update or a
// second writer creating the same section would show here.
void ExpectWellFormed(const std::string& bytes, const std::vector<std::string>& sections,
                      std::size_t entries) {
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.back(), '\n');
    std::size_t headers = 0;
    std::size_t keys = 0;
    for (const std::string& line : Lines(bytes)) {
        if (line.starts_with("[")) {
            ++headers;
            EXPECT_EQ(std::count(sections.begin(), sections.end(), line), 1) << line;
        } else {
            ++keys;
            EXPECT_NE(line.find('='), std::string::npos) << line;
        }
    }
    EXPECT_EQ(headers, sections.size());
    EXPECT_EQ(keys, entries);
}

TEST(ProfileConcurrencyTest, ProcessesSavingTheirOwnSectionsLoseNoUpdate) {
    constexpr int kWriters = 4;
    ScratchDirectory scratch;
    // Missing at first: the writers also race to create it.
    const std::string path = scratch / "presets.ini";
    std::vector<pid_t> children;
    for (int writer = 0; writer < kWriters; ++writer) {
        children.push_back(test::StartChild([&path, writer] {
            const std::string section = Numbered("Writer", writer);
            for (int n = 0; n < kWritesPerProcess; ++n) {
                const std::string value = std::to_string(writer * 1000 + n);
                if (!WriteProfileString(section.c_str(), Numbered("Key", n).c_str(), value.c_str(),
                                        path.c_str())) {
                    return false;
                }
            }
            return true;
        }));
    }
    for (const pid_t child : children) EXPECT_TRUE(test::ChildSucceeded(child));

    std::vector<std::string> headers;
    for (int writer = 0; writer < kWriters; ++writer) {
        headers.push_back("[" + Numbered("Writer", writer) + "]");
        for (int n = 0; n < kWritesPerProcess; ++n) {
            EXPECT_EQ(ReadProfileInt(Numbered("Writer", writer).c_str(), Numbered("Key", n).c_str(),
                                     -1, path.c_str()),
                      static_cast<std::uint32_t>(writer * 1000 + n))
                << "writer " << writer << " key " << n;
        }
    }
    ExpectWellFormed(ReadBytes(path), headers, kWriters * kWritesPerProcess);
    EXPECT_EQ(scratch.Entries(), std::vector<std::string>{"presets.ini"});
}

TEST(ProfileConcurrencyTest, ProcessesSavingOneSectionLoseNoUpdate) {
    ScratchDirectory scratch;
    const std::string path = scratch / "presets.ini";
    WriteBytes(path, "; shared presets\n[Shared]\nDepth=90\n");
    std::vector<pid_t> children;
    for (const char* prefix : {"A", "B"}) {
        children.push_back(test::StartChild([&path, prefix] {
            for (int n = 0; n < kWritesPerProcess; ++n) {
                if (!WriteProfileString("Shared", Numbered(prefix, n).c_str(),
                                        std::to_string(n).c_str(), path.c_str())) {
                    return false;
                }
            }
            return true;
        }));
    }
    for (const pid_t child : children) EXPECT_TRUE(test::ChildSucceeded(child));

    for (const char* prefix : {"A", "B"}) {
        for (int n = 0; n < kWritesPerProcess; ++n) {
            EXPECT_EQ(ReadProfileInt("Shared", Numbered(prefix, n).c_str(), -1, path.c_str()),
                      static_cast<std::uint32_t>(n))
                << prefix << n;
        }
    }
    const std::string bytes = ReadBytes(path);
    EXPECT_TRUE(bytes.starts_with("; shared presets\n[Shared]\nDepth=90\n"));
    ExpectWellFormed(bytes.substr(bytes.find('\n') + 1), {"[Shared]"}, 1 + 2 * kWritesPerProcess);
}

// The file the killed writer keeps rewriting: large enough that a write takes a while, with
// the changing entry in the middle.
std::string GenerationFile(std::uint32_t generation) {
    constexpr int kPadLines = 1000;
    std::string text = "; bank of presets\n[Bank]\n";
    for (int n = 0; n < kPadLines; ++n) {
        if (n == kPadLines / 2) text += "Generation=" + std::to_string(generation) + "\n";
        text += Numbered("Pad", n) + "=" + std::string(60, static_cast<char>('a' + n % 26)) + "\n";
    }
    return text + "[Other]\nKey=value\n";
}

TEST(ProfileConcurrencyTest, AKilledWriterLeavesTheOldOrTheNewFile) {
    ScratchDirectory scratch;
    const std::string path = scratch / "bank.ini";
    WriteBytes(path, GenerationFile(0));
    // A fixed seed: the same kill moments each run, spread from before the first write to
    // several writes in.
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> delayUs(0, 40000);
    int roundsThatWrote = 0;
    int roundsThatLeftATemporary = 0;

    for (int round = 0; round < kKillRounds; ++round) {
        SCOPED_TRACE(round);
        const std::uint32_t before = ReadProfileInt("Bank", "Generation", -1, path.c_str());
        const pid_t child = test::StartChild([&path, before] {
            for (std::uint32_t generation = before + 1;; ++generation) {
                if (!WriteProfileString("Bank", "Generation", std::to_string(generation).c_str(),
                                        path.c_str())) {
                    return false;
                }
            }
        });
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself: a write failed";

        const std::uint32_t after = ReadProfileInt("Bank", "Generation", -1, path.c_str());
        ASSERT_GE(after, before);
        ASSERT_EQ(ReadBytes(path), GenerationFile(after)) << "torn at generation " << after;
        roundsThatWrote += after > before;

        std::vector<std::string> others;
        for (const std::string& entry : scratch.Entries()) {
            if (entry != "bank.ini") others.push_back(entry);
        }
        // A temporary of the write that was killed may remain; the next write removes it.
        ASSERT_LE(others.size(), 1u);
        for (const std::string& entry : others) {
            EXPECT_TRUE(test::IsTemporaryName(entry, "bank.ini")) << entry;
        }
        roundsThatLeftATemporary += !others.empty();
    }
    RecordProperty("RoundsThatWrote", roundsThatWrote);
    RecordProperty("RoundsThatLeftATemporary", roundsThatLeftATemporary);

    ASSERT_TRUE(WriteProfileString("Bank", "Generation", "1", path.c_str()));
    EXPECT_EQ(ReadBytes(path), GenerationFile(1));
    EXPECT_EQ(scratch.Entries(), std::vector<std::string>{"bank.ini"});
}

}  // namespace
}  // namespace flanger::platform
