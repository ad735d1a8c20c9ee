# `make package` (cpack -G DEB): one Debian package of everything the install rules lay out, so a
# program or unit given an install() rule anywhere in the tree joins the package by itself. Its
# dependencies are derived by dpkg-shlibdeps from the libraries the programs and the module link.
# `make package` and the package's test build everything first; cpack itself only lays out what is
# built, so the test does not start a build inside the test run.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mondrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(MONDREL_PACKAGE_CONTACT "Mondrel developers <mondrel@example.org>"
    CACHE STRING "The package's maintainer")
set(CPACK_PACKAGE_CONTACT "${MONDREL_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "calendar module for the NHX home-automation host")
# The extended description, lines under 80 characters.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [[
Mondrel keeps dated appointments and day flags in an SQLite file and, once
a minute, runs the host scripts of the appointments that have fallen due.
The package holds the module Core.Mondrel.so, the stand-in host nhx-host,
the database tool mondrel-db, the web server mondrel-web, the systemd
units that run the host and the web server as services and refresh the
calendars daily, and the manual.]])
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# One package of every install component.
set(CPACK_DEB_COMPONENT_INSTALL OFF)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
# The unit files are rewritten for the prefix at install time, which needs the real prefix
# (/usr) rather than the staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/dist/debian/postinst;${PROJECT_SOURCE_DIR}/dist/debian/prerm"
    "${PROJECT_SOURCE_DIR}/dist/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# A native package's changelog, compressed as Debian wants it (gzip -9n: no name, no time).
configure_file(${PROJECT_SOURCE_DIR}/dist/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog
    @ONLY)
install(CODE "
    execute_process(COMMAND gzip -9nkf \"${PROJECT_BINARY_DIR}/debian/changelog\"
        COMMAND_ERROR_IS_FATAL ANY)
")
install(FILES ${PROJECT_BINARY_DIR}/debian/changelog.gz DESTINATION share/doc/mondrel)
# The licence, once the project states one in COPYING; until then the notice that none is
# granted yet.
if(EXISTS ${PROJECT_SOURCE_DIR}/COPYING)
    install(FILES ${PROJECT_SOURCE_DIR}/COPYING DESTINATION share/doc/mondrel RENAME copyright)
else()
    install(FILES ${PROJECT_SOURCE_DIR}/dist/debian/copyright DESTINATION share/doc/mondrel)
endif()
include(CPack)
