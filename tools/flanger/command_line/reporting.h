// The command's messages on standard error: failures always, warnings and notes unless quiet.
#pragma once

#include <string>

namespace flanger::tool {

// Writes "flanger: <message>" on standard error and returns kExitFailure.
int ReportFailure(const std::string& message);

// Writes "flanger: warning: <message>" on standard error, unless quiet.
void ReportWarning(const std::string& message);

// Writes "flanger: note: <message>" on standard error, unless quiet: something skipped that is
// not an error.
void ReportNote(const std::string& message);

// --quiet: warnings and notes are left out from now on; failures are still reported. Set once,
// before any thread starts.
void SetQuiet(bool quiet);
bool WarningsWanted();

}  // namespace flanger::tool
