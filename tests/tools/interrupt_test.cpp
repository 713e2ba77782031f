// A terminating signal while "flanger process" is writing: exit status 130, no OUT, and no
// temporary file left; after SIGKILL, which no process can handle, the next run to the same OUT
// removes the temporary file. The input is a FIFO fed by the test, so the command is certainly
// still working when the signal arrives, with no reliance on how fast it runs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "command_runner.h"
#include "scratch_directory.h"
#include "test_sound.h"

namespace flanger::tool::test {
namespace {

// Waits until `ready` holds or the command has exited; generous, since only a broken command
// makes it wait long.
template <typename Condition>
bool AwaitWhileRunning(int process, Condition ready) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (ready()) return true;
        if (waitpid(process, nullptr, WNOHANG) != 0) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

std::vector<std::string> EntriesOf(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

// The command's temporary files in `folder` (none when the folder does not exist).
std::size_t TemporaryFiles(const std::string& folder) {
    std::size_t count = 0;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        count += entry.path().filename().string().find(".flanger-") != std::string::npos;
    }
    return count;
}

// The command closing its end of a FIFO must show up as a failed write, not kill the test.
struct IgnoredBrokenPipe {
    IgnoredBrokenPipe() : Saved(signal(SIGPIPE, SIG_IGN)) {}
    ~IgnoredBrokenPipe() { signal(SIGPIPE, Saved); }
    sighandler_t Saved;
};

// The bytes of a float WAV far larger than a pipe holds plus a block, so that a command that
// stops reading is noticed.
std::string SourceBytes(const ScratchDirectory& d) {
    WriteSound(d / "source.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100,
               TestSignal(2, 44100, 5 * 44100));
    return ReadBytes(d / "source.wav");
}

// What the input does once the signals are sent.
enum class InputAfterSignal {
    Continues,  // the rest of the file follows: the command must stop reading it
    Ends,       // the writer closes the FIFO
    Stalls,     // nothing more, until the command has exited
};

struct InterruptCase {
    const char* name;
    std::vector<int> signals;
    InputAfterSignal input;
};

// Writes everything unless the reader goes away; false when it did.
// Whether all of `bytes` went in, written as a slow producer would, 32 KiB every 5 ms: a command
// that stops reading at a signal stops long before the end, even where a loaded machine is slow
// to run the signal's handler.
bool WriteAll(int fifo, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t piece = std::min<std::size_t>(bytes.size() - done, 32768);
        const ssize_t written = write(fifo, bytes.data() + done, piece);
        if (written < 0) return false;
        done += static_cast<std::size_t>(written);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST(InterruptTest, SignalRemovesTheTemporaryFileAndExits130) {
    const InterruptCase cases[] = {
        {"SIGINT", {SIGINT}, InputAfterSignal::Continues},
        {"SIGTERM", {SIGTERM}, InputAfterSignal::Ends},
        {"SIGHUP", {SIGHUP}, InputAfterSignal::Continues},
        {"SIGQUIT", {SIGQUIT}, InputAfterSignal::Ends},
        {"SIGUSR1", {SIGUSR1}, InputAfterSignal::Ends},
        // A second signal must get out of a read that never returns.
        {"SIGINT then SIGTERM, input stalled", {SIGINT, SIGTERM}, InputAfterSignal::Stalls},
        {"SIGKILL", {SIGKILL}, InputAfterSignal::Ends},
    };
    const IgnoredBrokenPipe ignoredBrokenPipe;
    for (const InterruptCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ScratchDirectory d;
        const ScratchDirectory captures;
        const std::string source = SourceBytes(d);
        ASSERT_EQ(mkfifo((d / "in.wav").c_str(), 0600), 0);

        CommandOptions options;
        options.workingDirectory = d.Path();
        const int process = StartFlanger({"process", "in.wav", "out.wav"}, options,
                                         captures / "out", captures / "err");
        const auto abandon = [&](const char* what) {
            kill(process, SIGKILL);
            waitpid(process, nullptr, 0);
            ADD_FAILURE() << what;
        };
        int fifo = -1;
        // Opening for writing without a reader fails with ENXIO instead of blocking.
        if (!AwaitWhileRunning(process, [&] {
                fifo = open((d / "in.wav").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                return fifo >= 0;
            })) {
            abandon("the command never opened its input");
            continue;
        }
        fcntl(fifo, F_SETFL, 0);
        // The header and a few blocks; well within a pipe's buffer, so this never blocks.
        const ssize_t written = write(fifo, source.data(), 32768);
        if (written != 32768 ||
            !AwaitWhileRunning(process, [&] { return TemporaryFiles(d.Path()) > 0; })) {
            close(fifo);
            abandon("the command never started its output");
            continue;
        }

        for (const int number : c.signals) ASSERT_EQ(kill(process, number), 0);
        if (c.input == InputAfterSignal::Continues) {
            EXPECT_FALSE(WriteAll(fifo, source.substr(32768)))
                << "the command read the whole input after the signal";
        }
        if (c.input != InputAfterSignal::Stalls) close(fifo);
        const CommandResult run = WaitForFlanger(process, captures / "out", captures / "err");
        if (c.input == InputAfterSignal::Stalls) close(fifo);

        if (c.signals.front() == SIGKILL) {
            EXPECT_EQ(run.signal, SIGKILL);
            EXPECT_EQ(TemporaryFiles(d.Path()), 1u);
            const CommandResult again = RunFlanger({"process", "source.wav", "out.wav"}, options);
            EXPECT_EQ(again.exitStatus, 0) << again.err;
            EXPECT_EQ(d.Entries(), (std::vector<std::string>{"in.wav", "out.wav", "source.wav"}));
            continue;
        }
        EXPECT_EQ(run.exitStatus, 130) << "signal " << run.signal << ", " << run.err;
        EXPECT_EQ(d.Entries(), (std::vector<std::string>{"in.wav", "source.wav"}));
    }
}

// Many files at once: every worker in the middle of its file when the signal comes. The inputs
// are FIFOs, one per worker, so each temporary file is certainly open when the signals arrive.
TEST(InterruptTest, SignalStopsEveryWorkerOfAManyFileRun) {
    const InterruptCase cases[] = {
        {"SIGINT", {SIGINT}, InputAfterSignal::Continues},
        // The second signal's clean-up must cover every worker's temporary file.
        {"SIGINT then SIGTERM, inputs stalled", {SIGINT, SIGTERM}, InputAfterSignal::Stalls},
    };
    const IgnoredBrokenPipe ignoredBrokenPipe;
    // The command runs one worker per core, at most one per file.
    const std::size_t workers = std::clamp(std::thread::hardware_concurrency(), 1u, 3u);
    for (const InterruptCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ScratchDirectory d;
        const ScratchDirectory captures;
        const std::string source = SourceBytes(d);
        std::vector<std::string> arguments = {"process"};
        for (std::size_t i = 0; i < workers; ++i) {
            const std::string name = "in" + std::to_string(i) + ".wav";
            ASSERT_EQ(mkfifo((d / name).c_str(), 0600), 0);
            arguments.push_back(name);
        }
        arguments.push_back("out/");

        CommandOptions options;
        options.workingDirectory = d.Path();
        const int process = StartFlanger(arguments, options, captures / "out", captures / "err");
        std::vector<int> fifos;
        bool started = true;
        for (std::size_t i = 0; i < workers && started; ++i) {
            const std::string path = d / ("in" + std::to_string(i) + ".wav");
            int fifo = -1;
            started = AwaitWhileRunning(process, [&] {
                fifo = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                return fifo >= 0;
            });
            if (!started) break;
            fcntl(fifo, F_SETFL, 0);
            fifos.push_back(fifo);
            started = write(fifo, source.data(), 32768) == 32768;
        }
        if (!started ||
            !AwaitWhileRunning(process, [&] { return TemporaryFiles(d / "out") == workers; })) {
            for (const int fifo : fifos) close(fifo);
            kill(process, SIGKILL);
            waitpid(process, nullptr, 0);
            ADD_FAILURE() << "the command never had all its outputs open";
            continue;
        }

        for (const int number : c.signals) ASSERT_EQ(kill(process, number), 0);
        if (c.input == InputAfterSignal::Continues) {
            for (const int fifo : fifos) {
                EXPECT_FALSE(WriteAll(fifo, source.substr(32768)))
                    << "a worker read its whole input after the signal";
                close(fifo);
            }
        }
        const CommandResult run = WaitForFlanger(process, captures / "out", captures / "err");
        if (c.input == InputAfterSignal::Stalls) {
            for (const int fifo : fifos) close(fifo);
        }

        EXPECT_EQ(run.exitStatus, 130) << "signal " << run.signal << ", " << run.err;
        EXPECT_EQ(EntriesOf(d / "out"), std::vector<std::string>{}) << "an output was left";
    }
}

}  // namespace
}  // namespace flanger::tool::test
