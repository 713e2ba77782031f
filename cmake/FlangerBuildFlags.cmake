# Flags every target of the project links privately.
#
# The engine's results are defined operation by operation in IEEE double precision, so no
# contraction into fused multiply-add, and on 32-bit x86 SSE2 arithmetic instead of the x87
# stack, whose 80-bit registers would round differently.
add_library(flanger_build_flags INTERFACE)
add_library(flanger::build_flags ALIAS flanger_build_flags)
target_compile_options(flanger_build_flags INTERFACE
  -Wall -Wextra -Wpedantic
  -ffp-contract=off)
# 64-bit file offsets and inode numbers on 32-bit targets too: stat() of a file on a file
# system with large inode numbers otherwise fails with EOVERFLOW.
target_compile_definitions(flanger_build_flags INTERFACE _FILE_OFFSET_BITS=64)
option(FLANGER_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" OFF)
if(FLANGER_WARNINGS_AS_ERRORS)
  target_compile_options(flanger_build_flags INTERFACE -Werror)
endif()
if(WIN32)
  # The compiler's C++ runtime, libgcc and winpthread go into every program and DLL, which then
  # need nothing but Windows' own DLLs.
  target_link_options(flanger_build_flags INTERFACE -static -static-libgcc -static-libstdc++)
endif()
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$")
  target_compile_options(flanger_build_flags INTERFACE -msse2 -mfpmath=sse)
endif()

# Adds a GoogleTest program from the given sources and registers its tests with CTest.
# Programs run through CMAKE_CROSSCOMPILING_EMULATOR when one is set (qemu for i386, wine for
# Windows). Under wine every start of a program costs a second or more, so there each program is
# one CTest test that runs all of its cases.
#
# A Windows test program fails also when its output reports a failed case: GoogleTest hands every
# failure to the debugger with OutputDebugStringA, which raises an exception, and where Wine runs
# under qemu's user emulation that can end the program with any exit status.
set(FLANGER_WINDOWS_TEST_PROPERTIES TIMEOUT 600
    FAIL_REGULAR_EXPRESSION ": Failure[\r\n]|\\[  FAILED  \\]")
function(flanger_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gtest_main
                                        flanger::build_flags)
  if(WIN32)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ${FLANGER_WINDOWS_TEST_PROPERTIES})
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                         PROPERTIES TIMEOUT 600)
  endif()
endfunction()

# Adds a test that the shared object `library` (a target) exports exactly the listed functions
# (EXPECTED name...) or the functions a header declares with an export macro (HEADER file
# MARKER macro), and the data objects EXPECTED_DATA name..., and nothing else.
function(flanger_add_export_test name)
  cmake_parse_arguments(ARG "" "LIBRARY;HEADER;MARKER" "EXPECTED;EXPECTED_DATA" ${ARGN})
  if(CMAKE_NM)
    set(FLANGER_NM "${CMAKE_NM}" CACHE FILEPATH "nm used to list exported symbols")
  else()
    find_program(FLANGER_NM NAMES nm REQUIRED)
  endif()
  if(ARG_EXPECTED OR ARG_EXPECTED_DATA)
    string(REPLACE ";" "," expected "${ARG_EXPECTED}")
    set(names -DEXPECTED=${expected})
  else()
    set(names -DHEADER=${ARG_HEADER} -DMARKER=${ARG_MARKER})
  endif()
  if(ARG_EXPECTED_DATA)
    string(REPLACE ";" "," data "${ARG_EXPECTED_DATA}")
    list(APPEND names -DEXPECTED_DATA=${data})
  endif()
  add_test(NAME ${name}
           COMMAND ${CMAKE_COMMAND} -DNM=${FLANGER_NM} -DLIBRARY=$<TARGET_FILE:${ARG_LIBRARY}>
                   ${names} -P ${PROJECT_SOURCE_DIR}/cmake/check_exports.cmake)
endfunction()
