# Checks the module's dynamic symbol table: the twelve exports a host looks up, defined as
# functions, and no other defined global symbol (no C++ internals, no runtime symbols that a
# host's own could be bound to).
#
# Usage: cmake -DNM=<nm> -DMODULE=<Plugin.so> -P check_exports.cmake
set(expected
  CloseStream CopySettings Free Initialize InitializeXml LoadPreset OpenStream PlugInInfo
  ProcessStream SavePreset SavePresetXml SetStreamCallBack)

if(NOT NM OR NOT MODULE)
  message(FATAL_ERROR "NM and MODULE must be given")
endif()
execute_process(
  COMMAND "${NM}" -D --defined-only "${MODULE}"
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
    # Version node markers carry no code or data.
    continue()
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
