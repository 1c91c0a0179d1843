# Install layout, desktop integration and the Debian package.
#
#   cmake --install BUILD_DIR --prefix /usr    the tool, the simulator, the menu
#                                               entry, the icons, the metainfo
#   (cd BUILD_DIR && cpack -G DEB)              varnexconfig_<version>_<arch>.deb
#
# scripts/check-package.sh validates all of it and starts the packaged tool.

set(VARNEX_APP_ID "io.github.varnexconfig.VarnexConfig")
# Date of the release named by the project version; move it with the version.
set(VARNEX_RELEASE_DATE "2026-12-06")

set(VARNEX_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(VARNEX_ICON_DIR ${CMAKE_CURRENT_SOURCE_DIR}/src/app/icons)

# Desktop entries: the menu items that start the tool and its station window.
install(FILES ${VARNEX_PACKAGING_DIR}/varnexconfig.desktop ${VARNEX_PACKAGING_DIR}/varnexconfig-station.desktop
        DESTINATION share/applications)

# The program's icon, as the hicolor theme expects it.
foreach(size 32 48 64 128 256)
    install(FILES ${VARNEX_ICON_DIR}/varnexconfig-${size}.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps
            RENAME varnexconfig.png)
endforeach()
install(FILES ${VARNEX_ICON_DIR}/varnexconfig.svg
        DESTINATION share/icons/hicolor/scalable/apps)

# AppStream metadata, carrying the project's version.
configure_file(${VARNEX_PACKAGING_DIR}/${VARNEX_APP_ID}.metainfo.xml
               ${CMAKE_CURRENT_BINARY_DIR}/packaging/${VARNEX_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/${VARNEX_APP_ID}.metainfo.xml
        DESTINATION share/metainfo)

# The command line's manual page, compressed as Debian keeps them.
find_program(VARNEX_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/packaging/varnexconfig.1.gz
    COMMAND ${VARNEX_GZIP} -9n -c ${VARNEX_PACKAGING_DIR}/varnexconfig.1 > ${CMAKE_CURRENT_BINARY_DIR}/packaging/varnexconfig.1.gz
    DEPENDS ${VARNEX_PACKAGING_DIR}/varnexconfig.1)
add_custom_target(varnexconfig_man ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/packaging/varnexconfig.1.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/varnexconfig.1.gz DESTINATION share/man/man1)

# The user's guide and its pictures.
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/docs/USER_GUIDE.md
        DESTINATION share/doc/varnexconfig OPTIONAL)
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/docs/screenshots)
    install(DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/docs/screenshots/
            DESTINATION share/doc/varnexconfig/screenshots
            FILES_MATCHING PATTERN "*.png")
endif()

# The Debian package.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "varnexconfig")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "The VarnexConfig team")
set(CPACK_PACKAGE_CONTACT "VarnexConfig team <maintainers@varnexconfig.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration tool for the Varnex GPS module")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"VarnexConfig sets up the Varnex GPS module, a u-blox receiver speaking the
UBX protocol, over a serial port of the PC. One button per target device
(Sculla, Pemmet, Molvane, Garnock, Trissel) brings the PC and the receiver to
a common rate, turns the receiver's default messages off, writes the device's
configuration and saves it to the receiver's flash memory. An NMEA setup
window sets the rates of nine NMEA sentences, shows the live NMEA text,
changes the port's baud rate and saves the setup.
.
The package also holds varnex-receiver-sim, a simulated receiver on a
pseudo-terminal, to try every function without a module.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# Depends comes from dpkg-shlibdeps: exactly the libraries the two programs
# load, the Qt 6 runtime among them. The X11 platform plugin ships in
# libqt6gui6; the other platform plugins are optional. The record
# database's drivers are plugins too: SQLite for one station, PostgreSQL for
# a line.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins, libqt6sql6-sqlite, libqt6sql6-psql")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland")
include(CPack)
