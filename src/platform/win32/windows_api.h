// <windows.h> as the Windows platform files use it: without the rarely used parts of the API and
// without the min and max macros, which would break std::min and std::max.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// winbase.h maps the name of the system's own WriteProfileSection (the win.ini one) onto its A
// or W form, which would rename our platform function of that name in these files.
#undef WriteProfileSection
