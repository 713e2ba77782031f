# 32-bit Windows with Debian's mingw-w64 cross compilers. The -posix compilers: their thread
# model has std::mutex, std::call_once and std::thread, which the win32 model of GCC 12 lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(FLANGER_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${FLANGER_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FLANGER_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${FLANGER_MINGW_TRIPLE}-windres)
# SSE2 arithmetic instead of the x87 stack, as on 32-bit Linux. A 32-bit Windows host calls the
# exports (and the system calls the window procedures) with the stack aligned to 4 bytes only, so
# functions that keep SSE vectors on the stack align it themselves.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")

# Libraries and headers only from the cross environment; programs (windres, objdump) from the
# build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${FLANGER_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under 32-bit Wine when it is installed (scripts/install-deps --windows32).
# This machine runs 32-bit x86 programs only through qemu-i386, which the kernel starts for
# Wine's loader and for every process it spawns (binfmt_misc); scripts/run-windows-tests sets up
# the rest. Debian keeps the launcher out of PATH, in wine's own directory.
find_program(FLANGER_WINE32 NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(FLANGER_WINE32)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${FLANGER_WINE32}")
endif()
