# Checks a shared object's dynamic symbol table: exactly the expected functions, defined as
# functions, and no other defined global symbol (no C++ internals and no runtime symbols that a
# host's own could be bound to). The expected names are given as a list, or read from a header
# as the functions declared with an export macro. EXPECTED_DATA names the objects a format
# exports as data instead (CLAP's clap_entry record).
#
# Usage: cmake -DNM=<nm> -DLIBRARY=<file> -DEXPECTED=<name,name,...> -P check_exports.cmake
#        cmake -DNM=<nm> -DLIBRARY=<file> -DHEADER=<file> -DMARKER=<macro> -P check_exports.cmake
#        either with -DEXPECTED_DATA=<name,name,...>
if(NOT NM OR NOT LIBRARY OR NOT (EXPECTED OR EXPECTED_DATA OR (HEADER AND MARKER)))
  message(FATAL_ERROR "NM, LIBRARY and EXPECTED (or HEADER and MARKER) must be given")
endif()

cmake_policy(SET CMP0057 NEW)  # if(... IN_LIST ...) in script mode
string(REPLACE "," ";" expected_data "${EXPECTED_DATA}")
if(EXPECTED OR EXPECTED_DATA)
  string(REPLACE "," ";" expected "${EXPECTED}")
else()
  file(READ "${HEADER}" header)
  string(REGEX MATCHALL "${MARKER} [^(;]*[ *]([A-Za-z0-9_]+)\\(" declarations "${header}")
  set(expected)
  foreach(declaration IN LISTS declarations)
    string(REGEX MATCH "([A-Za-z0-9_]+)\\($" name "${declaration}")
    list(APPEND expected "${CMAKE_MATCH_1}")
  endforeach()
  if(NOT expected)
    message(FATAL_ERROR "no ${MARKER} declarations found in ${HEADER}")
  endif()
endif()

execute_process(
  COMMAND "${NM}" -D --defined-only "${LIBRARY}"
  OUTPUT_VARIABLE table
  ERROR_VARIABLE errors
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed (${status}): ${errors}")
endif()

set(functions)
set(others)
string(REPLACE "\n" ";" lines "${table}")
foreach(line IN LISTS lines)
  if(line STREQUAL "")
    continue()
  endif()
  # "<address> <type> <name>[@version]"; the address column is blank for some kinds.
  if(NOT line MATCHES "^[0-9a-fA-F]* *([A-Za-z]) ([^ @]+)(@.*)?$")
    message(FATAL_ERROR "unexpected nm line: '${line}'")
  endif()
  set(type "${CMAKE_MATCH_1}")
  set(name "${CMAKE_MATCH_2}")
  if(type STREQUAL "A")
    continue()  # version node markers carry no code or data
  elseif(type MATCHES "^[TtWi]$")
    list(APPEND functions "${name}")
  elseif(type MATCHES "^[DR]$" AND "${name}" IN_LIST expected_data)
    list(REMOVE_ITEM expected_data "${name}")
  else()
    list(APPEND others "${name} (${type})")
  endif()
endforeach()

list(SORT functions)
list(SORT expected)
if(others)
  message(FATAL_ERROR "defined symbols that are not functions: ${others}")
endif()
if(expected_data)
  message(FATAL_ERROR "missing data exports: ${expected_data}")
endif()
if(NOT "${functions}" STREQUAL "${expected}")
  set(extra ${functions})
  list(REMOVE_ITEM extra ${expected})
  set(missing ${expected})
  if(functions)
    list(REMOVE_ITEM missing ${functions})
  endif()
  message(FATAL_ERROR "exports differ\n  not expected: ${extra}\n  missing: ${missing}")
endif()
list(LENGTH functions count)
message(STATUS "${count} exports, as expected: ${functions}")
