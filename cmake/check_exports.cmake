# Checks a shared object's dynamic symbol table: exactly the expected functions, defined as
# functions, and no other defined global symbol (no C++ internals and no runtime symbols that a
# host's own could be bound to). The expected names are given as a list, or read from a header
# as the functions declared with an export macro.
#
# Usage: cmake -DNM=<nm> -DLIBRARY=<file> -DEXPECTED=<name,name,...> -P check_exports.cmake
#        cmake -DNM=<nm> -DLIBRARY=<file> -DHEADER=<file> -DMARKER=<macro> -P check_exports.cmake
if(NOT NM OR NOT LIBRARY OR NOT (EXPECTED OR (HEADER AND MARKER)))
  message(FATAL_ERROR "NM, LIBRARY and EXPECTED (or HEADER and MARKER) must be given")
endif()

if(EXPECTED)
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
  else()
    list(APPEND others "${name} (${type})")
  endif()
endforeach()

list(SORT functions)
list(SORT expected)
if(others)
  message(FATAL_ERROR "defined symbols that are not functions: ${others}")
endif()
if(NOT functions STREQUAL expected)
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
