// The progress bar: drawn on a terminal, never into a file (the other end-to-end tests check
// that standard error stays empty when it is not a terminal).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "command_runner.h"
#include "scratch_directory.h"
#include "test_sound.h"

namespace flanger::tool::test {
namespace {

struct ProgressCase {
    const char* name;
    std::vector<std::string> inputs;  // in the scratch directory
    const char* output;
    const char* end;  // how the full line ends
};

TEST(ProgressTest, TerminalSeesTheBarReachFullLength) {
    const ProgressCase cases[] = {
        {"one file", {"in.wav"}, "out.wav", "] 100%"},
        // One line for all files together, with the count of files finished.
        {"several files", {"in.wav", "second.wav", "third.wav"}, "out/", "] 100%  3/3 files"},
    };
    for (const ProgressCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ScratchDirectory d;
        std::vector<std::string> arguments = {"process", "--no-clip-warning"};
        for (const std::string& input : c.inputs) {
            WriteSound(d / input, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100,
                       TestSignal(2, 44100, 44100));
            arguments.push_back(d / input);
        }
        arguments.push_back(d / c.output);
        const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(terminal, 0);

        CommandOptions options;
        options.standardError = terminal;
        const CommandResult run = RunFlanger(arguments, options);
        EXPECT_EQ(run.exitStatus, 0);

        // The test still holds the terminal open, so the master reads what was written, then
        // reports that nothing more is there.
        ASSERT_EQ(fcntl(master, F_SETFL, O_NONBLOCK), 0);
        std::string shown;
        char buffer[4096];
        ssize_t count = 0;
        while ((count = read(master, buffer, sizeof buffer)) > 0) {
            shown.append(buffer, static_cast<std::size_t>(count));
        }
        close(terminal);
        close(master);
        EXPECT_NE(shown.find("\r["), std::string::npos) << shown;
        EXPECT_EQ(shown.find("flanger:"), std::string::npos) << shown;
        // The full line, then its end (the terminal shows the newline as "\r\n").
        const std::string full = std::string(c.end) + "\r\n";
        ASSERT_GE(shown.size(), full.size()) << shown;
        EXPECT_EQ(shown.substr(shown.size() - full.size()), full) << shown;
    }
}

}  // namespace
}  // namespace flanger::tool::test
