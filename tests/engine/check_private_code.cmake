# Checks that an object file defines no symbol that the linker may merge with another file's copy
# (weak, unique or common: nm's "W", "V", "u"). Such a copy from the AVX2 kernels' file, which
# alone is compiled for AVX2, could become the one that every other kernel calls.
#
# Usage: cmake -DNM=<nm> -DOBJECTS=<file|file|...> -DNAME=<part of the file name> -P ...
string(REPLACE "|" ";" objects "${OBJECTS}")
list(FILTER objects INCLUDE REGEX "${NAME}")
if(NOT objects)
  message(FATAL_ERROR "no object file named like ${NAME} in ${OBJECTS}")
endif()
foreach(object IN LISTS objects)
  execute_process(COMMAND "${NM}" -C --defined-only "${object}" OUTPUT_VARIABLE table
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${object}")
  endif()
  string(REGEX MATCHALL "[^\n]* [WVu] [^\n]*" shared "${table}")
  # The pointer to the C++ runtime's exception personality, which a file with exception tables
  # carries, is data, the same in every file.
  list(FILTER shared EXCLUDE REGEX " V DW\\.ref\\.__gxx_personality_v0$")
  if(shared)
    string(REPLACE ";" "\n  " shared "${shared}")
    message(FATAL_ERROR "${object} defines code other files may share:\n  ${shared}")
  endif()
endforeach()
