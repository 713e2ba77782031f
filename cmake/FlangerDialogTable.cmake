# Dialog templates written once, as the DIALOG statement of a resource script: the Windows builds
# compile the script, and the other builds write the same template from a table (see
# src/windowing/dialog_template.h) that this reads out of the script when the project is
# configured, and again at the next build whenever the script has changed.
#
# A script holds comments on lines of their own, #pragma code_page(65001), LANGUAGE, and one
# DIALOG with STYLE, CAPTION and FONT whose controls are CONTROL statements written with numbers,
# the class as a string or as the atom 0x0080 (Button) or 0x0082 (Static). Anything else stops
# the configuration: the table would lack what the resource compiler makes of it.
#
# flanger_dialog_table(<script> <header> <name>) writes <header>, to be included as "<header>"
# by targets that link flanger::dialog_tables, with the platform::DialogSpec flanger::ui::<name>
# and its controls <name>Items.
include_guard(GLOBAL)

add_library(flanger_dialog_tables INTERFACE)
add_library(flanger::dialog_tables ALIAS flanger_dialog_tables)
target_include_directories(flanger_dialog_tables INTERFACE ${PROJECT_BINARY_DIR}/dialog_tables)

function(flanger_dialog_table script header name)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${script}")
  file(READ "${script}" text)
  # Lines go into a CMake list, which a semicolon or bracket would break up or join; comments may
  # hold them, so the comments go first.
  string(REGEX REPLACE "\r?\n[ \t]*//[^\n]*" "" text "\n${text}")
  if(text MATCHES "[][;\\\\]")
    message(FATAL_ERROR "${script}: semicolons, brackets and backslashes are not read")
  endif()
  string(REPLACE "\n" ";" lines "${text}")

  set(n "(-?[0-9]+)")
  set(word "(0x[0-9A-Fa-f]+|[0-9]+)")
  set(quoted "\"([^\"]*)\"")
  set(comma "[ \t]*,[ \t]*")
  set(rectangle "${n}${comma}${n}${comma}${n}${comma}${n}$")
  set(control "^CONTROL[ \t]+${quoted}${comma}([0-9]+)${comma}(\"[^\"]*\"|0x008[02])")
  foreach(part rect style caption font items)
    set(${part} "")  # a function sees its caller's variables
  endforeach()
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^(#pragma code_page\\(65001\\)|LANGUAGE |BEGIN$|END$)")
    elseif(line MATCHES "^[0-9]+[ \t]+DIALOG[ \t]+${rectangle}" AND rect STREQUAL "")
      set(rect "${CMAKE_MATCH_1}, ${CMAKE_MATCH_2}, ${CMAKE_MATCH_3}, ${CMAKE_MATCH_4}")
    elseif(line MATCHES "^STYLE[ \t]+${word}$")
      set(style "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^CAPTION[ \t]+${quoted}$")
      set(caption "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^FONT[ \t]+([0-9]+)${comma}${quoted}$")
      set(font "${CMAKE_MATCH_1}, \"${CMAKE_MATCH_2}\"")
    elseif(line MATCHES "${control}${comma}${word}${comma}${rectangle}")
      set(class "${CMAKE_MATCH_3}")
      if(class STREQUAL "0x0080")
        set(class "\"Button\"")
      elseif(class STREQUAL "0x0082")
        set(class "\"Static\"")
      endif()
      string(APPEND items "    {${CMAKE_MATCH_2}, ${class}, \"${CMAKE_MATCH_1}\", "
                          "${CMAKE_MATCH_5}, ${CMAKE_MATCH_6}, ${CMAKE_MATCH_7}, ${CMAKE_MATCH_8}, "
                          "${CMAKE_MATCH_4}},\n")
    else()
      message(FATAL_ERROR "${script}: not read into a table: ${line}")
    endif()
  endforeach()
  foreach(part rect style caption font items)
    if(${part} STREQUAL "")
      message(FATAL_ERROR "${script}: no dialog ${part}")
    endif()
  endforeach()

  file(RELATIVE_PATH source "${PROJECT_SOURCE_DIR}" "${script}")
  file(CONFIGURE OUTPUT "${PROJECT_BINARY_DIR}/dialog_tables/${header}" @ONLY CONTENT [=[
// Made from @source@ by cmake/FlangerDialogTable.cmake:
// edit the script, not this file.
#pragma once

#include <iterator>

#include "windowing/dialog_template.h"

namespace flanger::ui {

constexpr platform::DialogItemSpec @name@Items[] = {
@items@};

constexpr platform::DialogSpec @name@ = {
    @style@, "@caption@", @font@, @rect@,
    @name@Items, std::size(@name@Items),
};

}  // namespace flanger::ui
]=])
endfunction()
