// The flanger command: hosts the plug-in module to process sound files from a shell.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <exception>
#include <string_view>
#include <vector>

#include "command_line/command_line.h"
#include "command_line/help_text.h"
#include "commands/command_support.h"
#include "commands/commands.h"

using namespace flanger::tool;

namespace {

int Dispatch(const Invocation& invocation) {
    SetQuiet(invocation.Quiet);
    switch (invocation.Action) {
        case Command::Process:
            return RunProcess(invocation);
        case Command::Demo:
            return RunDemo(invocation);
        case Command::SavePreset:
            return RunSavePreset(invocation);
        case Command::ShowPreset:
            return RunShowPreset(invocation);
        case Command::Info:
            return RunInfo(invocation);
        case Command::Window:
            return RunWindow(invocation);
        case Command::Edit:
            return RunEdit(invocation);
        case Command::Presets:
            return RunPresets(invocation);
        case Command::Help:
            break;
    }
    std::fputs(HelpText(invocation.HelpTopic).c_str(), stdout);
    return 0;
}

// "--version" anywhere before "--" prints the version and nothing else, whatever else is given.
bool VersionWanted(const std::vector<std::string_view>& arguments) {
    const auto optionsEnd = std::ranges::find(arguments, "--");
    return std::find(arguments.begin(), optionsEnd, "--version") != optionsEnd;
}

}  // namespace

int main(int argc, char** argv) {
    // A write beyond the file size limit (ulimit -f) then fails with EFBIG and is reported as
    // any failed write is, instead of killing the command mid-save.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        const std::vector<std::string_view> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
        if (VersionWanted(arguments)) {
            std::puts("flanger " FLANGER_VERSION);
            return std::fflush(stdout) == 0 ? 0 : ReportFailure("cannot write to standard output");
        }
        const ParseResult parsed = ParseCommandLine(arguments);
        if (!parsed.Parsed) {
            std::fprintf(stderr, "flanger: %s\n", parsed.Error.c_str());
            return kExitUsage;
        }
        int status = Dispatch(*parsed.Parsed);
        // A full disk or closed pipe on standard output is a failure, not a silent success.
        if (std::fflush(stdout) != 0 && status == 0) {
            status = ReportFailure("cannot write to standard output");
        }
        return status;
    } catch (const std::exception& exception) {
        return ReportFailure(exception.what());
    }
}
