// The progress bar: drawn on a terminal, never into a file (the other end-to-end tests check
// that standard error stays empty when it is not a terminal).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "command_runner.h"
#include "scratch_directory.h"
#include "test_sound.h"

namespace flanger::tool::test {
namespace {

TEST(ProgressTest, TerminalSeesTheBarReachFullLength) {
    const ScratchDirectory d;
    WriteSound(d / "in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100,
               TestSignal(2, 44100, 44100));
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(terminal, 0);

    CommandOptions options;
    options.standardError = terminal;
    const CommandResult run = RunFlanger({"process", d / "in.wav", d / "out.wav"}, options);
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
    EXPECT_NE(shown.find("] 100%"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("flanger:"), std::string::npos) << shown;
    // The bar's line is ended (the terminal shows the newline as "\r\n").
    EXPECT_EQ(shown.substr(shown.size() - 2), "\r\n") << shown;
}

}  // namespace
}  // namespace flanger::tool::test
