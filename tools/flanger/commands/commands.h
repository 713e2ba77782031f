// The flanger command's commands. Each returns the process exit status (0 success, 1 failure,
// 130 interrupted) and has already written its one line "flanger: ..." on failure.
#pragma once

#include "command_line/command_line.h"
#include "command_line/exit_status.h"

namespace flanger::tool {

int RunProcess(const Invocation& invocation);
int RunDemo(const Invocation& invocation);
int RunSavePreset(const Invocation& invocation);
int RunShowPreset(const Invocation& invocation);
int RunInfo(const Invocation& invocation);
int RunWindow(const Invocation& invocation);
int RunEdit(const Invocation& invocation);
int RunPresets(const Invocation& invocation);

}  // namespace flanger::tool
