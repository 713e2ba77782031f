// The windowing API the settings window is written against: USER32, COMCTL32 and the resource
// functions of KERNEL32. On Windows the system's own headers; on Linux this project's layer,
// which has the same names, and which the module shares with its host.
#pragma once

#ifdef _WIN32
// <commctrl.h> needs the types of <windows.h>, so it comes second.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on
#else
#include "flanger_user32.h"
#endif
