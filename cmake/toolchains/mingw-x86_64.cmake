# 64-bit Windows with Debian's mingw-w64 cross compilers. The -posix compilers: their thread
# model has std::mutex, std::call_once and std::thread, which the win32 model of GCC 12 lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FLANGER_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FLANGER_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FLANGER_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${FLANGER_MINGW_TRIPLE}-windres)

# Libraries and headers only from the cross environment; programs (windres, objdump) from the
# build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${FLANGER_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under wine when it is installed. Debian keeps the 64-bit launcher out of
# PATH, in wine's own directory.
find_program(FLANGER_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(FLANGER_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${FLANGER_WINE64}")
endif()
