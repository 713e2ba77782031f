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
