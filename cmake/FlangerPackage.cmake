# The Debian package flanger_<version>_<arch>.deb, made by CPack from the install rules under the
# prefix /usr (scripts/package runs it and checks the result with lintian). Its dependencies are
# computed from the installed binaries by dpkg-shlibdeps.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME flanger)
set(CPACK_PACKAGE_VENDOR Vornak)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "modulated-delay audio effect (flanger): LV2, LADSPA, host module and command")
# Lines of at most 80 columns, as Debian's tools show them.
set(CPACK_PACKAGE_DESCRIPTION
"A flanger audio effect: a modulated delay line per channel, swept by a
triangle or a sine and mixed back into the signal, with optional feedback.
Every sample is computed in IEEE double precision in a fixed order of
operations, so the output is the same bit for bit everywhere.

This package holds the effect as an LV2 bundle and a LADSPA library (mono
and stereo), the command-line host flanger, which runs audio files through
the effect and stores presets, and for host developers the plug-in module
with its C headers, its windowing library, a pkg-config file and a CMake
package.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${FLANGER_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The windowing library's shlibs file, and the ldconfig trigger that goes with it in place of
# CPack's maintainer scripts (FlangerDebRepack.cmake).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_POST_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/FlangerDebRepack.cmake")

include(CPack)
