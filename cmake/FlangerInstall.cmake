# What `cmake --install` puts where (the layout is in FlangerInstallDirs.cmake), the files that let
# a host developer find the module and its headers (pkg-config, a CMake package), the man page and
# the bash completion, and the Debian package that CPack makes of all this.
include(CMakePackageConfigHelpers)

set(FLANGER_PACKAGING_DIR "${PROJECT_SOURCE_DIR}/packaging")
set(FLANGER_GENERATED_DIR "${PROJECT_BINARY_DIR}/packaging")
# Debian installs libraries and plug-ins without the executable bit.
set(FLANGER_LIBRARY_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# The windowing layer is a shared library hosts link against: versioned, with a SONAME that
# changes with the major version.
set_target_properties(flanger_user32 PROPERTIES
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR})

# Installed programs find the windowing layer relative to themselves, wherever the tree is put.
flanger_relative_path(libdir_from_bindir "${CMAKE_INSTALL_BINDIR}" "${CMAKE_INSTALL_LIBDIR}")
flanger_relative_path(libdir_from_moduledir "${FLANGER_INSTALL_MODULEDIR}" "${CMAKE_INSTALL_LIBDIR}")
set_target_properties(Plugin PROPERTIES INSTALL_RPATH "$ORIGIN/${libdir_from_moduledir}")

install(TARGETS flanger_user32
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} PERMISSIONS ${FLANGER_LIBRARY_PERMISSIONS})
install(TARGETS Plugin Plugin_de
  LIBRARY DESTINATION ${FLANGER_INSTALL_MODULEDIR} PERMISSIONS ${FLANGER_LIBRARY_PERMISSIONS})
install(FILES
  ${PROJECT_SOURCE_DIR}/include/flanger_plugin.h
  ${PROJECT_SOURCE_DIR}/include/flanger_settings_node.h
  ${PROJECT_SOURCE_DIR}/include/flanger_user32.h
  ${PROJECT_SOURCE_DIR}/include/flanger_resource_library.h
  DESTINATION ${FLANGER_INSTALL_INCLUDEDIR})

if(TARGET flanger)
  set_target_properties(flanger PROPERTIES INSTALL_RPATH "$ORIGIN/${libdir_from_bindir}")
  target_compile_definitions(flanger PRIVATE FLANGER_VERSION="${PROJECT_VERSION}")
  # Only the file that searches for the module learns where it is installed.
  set_property(SOURCE ${PROJECT_SOURCE_DIR}/tools/flanger/module/plugin_location.cpp
               TARGET_DIRECTORY flanger_tool APPEND PROPERTY
               COMPILE_DEFINITIONS FLANGER_MODULEDIR_FROM_BINDIR="${FLANGER_MODULEDIR_FROM_BINDIR}")
  install(TARGETS flanger RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  # The man page, with the version filled in, compressed as Debian wants it.
  configure_file(${PROJECT_SOURCE_DIR}/doc/flanger.1.in ${FLANGER_GENERATED_DIR}/flanger.1 @ONLY)
  add_custom_command(
    OUTPUT ${FLANGER_GENERATED_DIR}/flanger.1.gz
    COMMAND gzip -9nf -k ${FLANGER_GENERATED_DIR}/flanger.1
    DEPENDS ${FLANGER_GENERATED_DIR}/flanger.1
    COMMENT "Compressing the man page"
    VERBATIM)
  add_custom_target(flanger_man_page ALL DEPENDS ${FLANGER_GENERATED_DIR}/flanger.1.gz)
  install(FILES ${FLANGER_GENERATED_DIR}/flanger.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${FLANGER_PACKAGING_DIR}/flanger.bash-completion
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME flanger)
endif()

# The plug-ins for LV2 and LADSPA hosts, where they were built.
if(TARGET flanger_lv2)
  install(TARGETS flanger_lv2
    LIBRARY DESTINATION ${FLANGER_INSTALL_LV2DIR}/flanger.lv2
    PERMISSIONS ${FLANGER_LIBRARY_PERMISSIONS})
  install(FILES ${FLANGER_LV2_BUNDLE}/manifest.ttl ${FLANGER_LV2_BUNDLE}/flanger.ttl
                ${FLANGER_LV2_BUNDLE}/presets.ttl
          DESTINATION ${FLANGER_INSTALL_LV2DIR}/flanger.lv2)
endif()
# The windowing layer's X11 part beside the layer, which loads it from there; the LV2 plug-ins'
# window in their bundle, finding the layer and, through it, the module in their directories.
if(TARGET flanger_user32_x11)
  set_target_properties(flanger_user32_x11 PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS flanger_user32_x11
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} PERMISSIONS ${FLANGER_LIBRARY_PERMISSIONS})
endif()
if(TARGET flanger_lv2_ui)
  flanger_relative_path(libdir_from_lv2 "${FLANGER_INSTALL_LV2DIR}/flanger.lv2"
                        "${CMAKE_INSTALL_LIBDIR}")
  flanger_relative_path(moduledir_from_libdir "${CMAKE_INSTALL_LIBDIR}"
                        "${FLANGER_INSTALL_MODULEDIR}")
  set_target_properties(flanger_lv2_ui PROPERTIES INSTALL_RPATH "$ORIGIN/${libdir_from_lv2}")
  set_property(SOURCE ${PROJECT_SOURCE_DIR}/src/windowing/posix/settings_window_module.cpp
               TARGET_DIRECTORY flanger_plugin_editor APPEND PROPERTY
               COMPILE_DEFINITIONS FLANGER_MODULEDIR_FROM_LIBDIR="${moduledir_from_libdir}")
  install(TARGETS flanger_lv2_ui
    LIBRARY DESTINATION ${FLANGER_INSTALL_LV2DIR}/flanger.lv2
    PERMISSIONS ${FLANGER_LIBRARY_PERMISSIONS})
endif()
if(TARGET flanger_ladspa)
  install(TARGETS flanger_ladspa
    LIBRARY DESTINATION ${FLANGER_INSTALL_LADSPADIR} PERMISSIONS ${FLANGER_LIBRARY_PERMISSIONS})
  # The plug-ins' category, where hosts reading LRDF data look for it.
  install(FILES ${FLANGER_PACKAGING_DIR}/vornak_flanger.rdf
          DESTINATION ${CMAKE_INSTALL_DATADIR}/ladspa/rdf)
endif()
if(TARGET flanger_clap)
  install(TARGETS flanger_clap
    LIBRARY DESTINATION ${FLANGER_INSTALL_CLAPDIR} PERMISSIONS ${FLANGER_LIBRARY_PERMISSIONS})
endif()
if(TARGET flanger_vst3)
  install(TARGETS flanger_vst3 LIBRARY
    DESTINATION ${FLANGER_INSTALL_VST3DIR}/flanger.vst3/Contents/${FLANGER_VST3_FOLDER}
    PERMISSIONS ${FLANGER_LIBRARY_PERMISSIONS})
  install(TARGETS flanger_vst3_mono LIBRARY
    DESTINATION ${FLANGER_INSTALL_VST3DIR}/flanger-mono.vst3/Contents/${FLANGER_VST3_FOLDER}
    PERMISSIONS ${FLANGER_LIBRARY_PERMISSIONS})
endif()

# For host developers: pkg-config and the CMake package. Both locate everything relative to
# where they are installed, so they stay right after a DESTDIR or prefix change.
flanger_relative_path(FLANGER_PREFIX_FROM_PKGCONFIGDIR "${CMAKE_INSTALL_LIBDIR}/pkgconfig" "")
configure_file(${FLANGER_PACKAGING_DIR}/flanger-plugin.pc.in
               ${FLANGER_GENERATED_DIR}/flanger-plugin.pc @ONLY)
install(FILES ${FLANGER_GENERATED_DIR}/flanger-plugin.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
configure_package_config_file(${FLANGER_PACKAGING_DIR}/FlangerPluginConfig.cmake.in
  ${FLANGER_GENERATED_DIR}/FlangerPluginConfig.cmake
  INSTALL_DESTINATION ${FLANGER_INSTALL_CMAKEDIR}
  PATH_VARS CMAKE_INSTALL_LIBDIR FLANGER_INSTALL_MODULEDIR FLANGER_INSTALL_INCLUDEDIR)
write_basic_package_version_file(${FLANGER_GENERATED_DIR}/FlangerPluginConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${FLANGER_GENERATED_DIR}/FlangerPluginConfig.cmake
              ${FLANGER_GENERATED_DIR}/FlangerPluginConfigVersion.cmake
        DESTINATION ${FLANGER_INSTALL_CMAKEDIR})

# The Debian package, and its maintainer for the change log below.
include(FlangerPackage)

# The README, the copyright statement and the change log, compressed as Debian wants them.
configure_file(${FLANGER_PACKAGING_DIR}/changelog.in ${FLANGER_GENERATED_DIR}/changelog @ONLY)
add_custom_command(
  OUTPUT ${FLANGER_GENERATED_DIR}/changelog.gz
  COMMAND gzip -9nf -k ${FLANGER_GENERATED_DIR}/changelog
  DEPENDS ${FLANGER_GENERATED_DIR}/changelog
  VERBATIM)
add_custom_target(flanger_changelog ALL DEPENDS ${FLANGER_GENERATED_DIR}/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${FLANGER_PACKAGING_DIR}/copyright
              ${FLANGER_GENERATED_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The README's further pages and pictures, where its links find them.
set(doc ${PROJECT_SOURCE_DIR}/doc)
install(FILES ${doc}/command.md ${doc}/developing.md ${doc}/host-developers.md
              ${doc}/installing.md ${doc}/plugins.md ${doc}/reliability.md ${doc}/speed.md
              ${doc}/settings-window.png ${doc}/settings-window-de.png
              ${doc}/lv2-window-in-jalv.png
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/doc)

