# The installed layout, the same under every prefix (/usr for the Debian package, /usr/local or
# ~/.local for `cmake --install`):
#
#   bin/flanger
#   lib/<multiarch>/flanger/Plugin.so, Plugin_de.so   the module folder
#   lib/<multiarch>/libflanger_user32.so.N            the windowing layer hosts link
#   lib/<multiarch>/lv2/flanger.lv2/, ladspa/         the LV2 bundle and the LADSPA library
#   lib/clap/flanger.clap                              the CLAP library, where CLAP hosts look
#   lib/vst3/flanger.vst3/, flanger-mono.vst3/         the VST3 bundles, where VST3 hosts look
#   include/flanger/                                   the public headers
#
# Debian's multiarch folder is used whatever the prefix (GNUInstallDirs takes it only for /usr),
# so that the Debian package and a local install look alike and the flanger command finds its
# module at the same place relative to itself.
if(CMAKE_LIBRARY_ARCHITECTURE AND NOT DEFINED CACHE{CMAKE_INSTALL_LIBDIR})
  set(CMAKE_INSTALL_LIBDIR "lib/${CMAKE_LIBRARY_ARCHITECTURE}"
      CACHE PATH "Object code libraries (LIBDIR)")
endif()
include(GNUInstallDirs)

set(FLANGER_INSTALL_MODULEDIR "${CMAKE_INSTALL_LIBDIR}/flanger")
set(FLANGER_INSTALL_LV2DIR "${CMAKE_INSTALL_LIBDIR}/lv2")
set(FLANGER_INSTALL_LADSPADIR "${CMAKE_INSTALL_LIBDIR}/ladspa")
# CLAP hosts search ~/.clap and /usr/lib/clap, without Debian's multiarch folder.
set(FLANGER_INSTALL_CLAPDIR "lib/clap")
# VST3 hosts search ~/.vst3 and /usr/lib/vst3, likewise.
set(FLANGER_INSTALL_VST3DIR "lib/vst3")
set(FLANGER_INSTALL_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}/flanger")
set(FLANGER_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/FlangerPlugin")

# The way from one installed folder to another, for $ORIGIN run paths and for the flanger
# command's search for its module: relative, so that they hold under any prefix and DESTDIR.
function(flanger_relative_path variable from to)
  file(RELATIVE_PATH path "/prefix/${from}" "/prefix/${to}")
  string(REGEX REPLACE "/$" "" path "${path}")
  if(path STREQUAL "")
    set(path ".")
  endif()
  set(${variable} "${path}" PARENT_SCOPE)
endfunction()
flanger_relative_path(FLANGER_MODULEDIR_FROM_BINDIR "${CMAKE_INSTALL_BINDIR}"
                      "${FLANGER_INSTALL_MODULEDIR}")
