# The Debian package, built by `cpack -G DEB` in the build folder. Its dependencies come from
# the binaries (dpkg-shlibdeps, from dpkg-dev), plus the fonts the window is laid out with.
set(TESSARY_MAINTAINER "The Tessary-32 Config developers <tessary32@users.noreply.github.com>")
set(debian ${CMAKE_CURRENT_SOURCE_DIR}/debian)

# Debian wants a changelog beside the copyright, compressed reproducibly.
configure_file(${debian}/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz
                   COMMAND gzip -9nc changelog > changelog.gz
                   DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog
                   WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/debian VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TESSARY_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "set up Tessary-32 USB input boards")
set(CPACK_PACKAGE_DESCRIPTION "\
Tessary-32 Config finds the Tessary-32 input boards plugged in, shows
their details and reads their settings back. Each setting (encoder modes,
pulse width, starting position of rotary switches) is written the moment
it is picked, and the board's self diagnostic runs at a click.
.
A udev rule lets the user at the seat open the boards.")
# The files go where the utility was told they are, so its messages name the right path.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-liberation)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${debian}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
