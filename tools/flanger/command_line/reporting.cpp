// The command's messages on standard error.
#include "command_line/reporting.h"

#include <cstdio>

#include "command_line/exit_status.h"

namespace flanger::tool {

int ReportFailure(const std::string& message) {
    std::fprintf(stderr, "flanger: %s\n", message.c_str());
    return kExitFailure;
}

namespace {
bool Quiet = false;
}  // namespace

void SetQuiet(bool quiet) { Quiet = quiet; }

bool WarningsWanted() { return !Quiet; }

void ReportWarning(const std::string& message) {
    if (!Quiet) std::fprintf(stderr, "flanger: warning: %s\n", message.c_str());
}

void ReportNote(const std::string& message) {
    if (!Quiet) std::fprintf(stderr, "flanger: note: %s\n", message.c_str());
}

}  // namespace flanger::tool
