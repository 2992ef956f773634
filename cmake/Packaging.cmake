# Desktop integration and the Debian package: `cmake --install build --prefix /usr` installs
# Beamwick; `cpack -G DEB` (in the build directory) makes beamwick_<version>_<arch>.deb.
# The application's id names both its desktop entry and its software-centre entry.
set(BEAMWICK_APP_ID org.beamwick.Beamwick)
install(FILES ${PROJECT_SOURCE_DIR}/data/${BEAMWICK_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The release named in the metainfo follows the project's version.
configure_file(${PROJECT_SOURCE_DIR}/data/${BEAMWICK_APP_ID}.metainfo.xml
    ${PROJECT_BINARY_DIR}/data/${BEAMWICK_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/data/${BEAMWICK_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The launcher's actions and `gapplication action` call Beamwick on the session bus; this starts
# it there when it is not running, as the command line does. Its path is the prefix installed to,
# known only when installing (`--prefix`, or the package's /usr).
install(CODE "
    set(BEAMWICK_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    configure_file(\"${PROJECT_SOURCE_DIR}/data/${BEAMWICK_APP_ID}.service.in\"
        \"${PROJECT_BINARY_DIR}/data/${BEAMWICK_APP_ID}.service\" @ONLY)")
install(FILES ${PROJECT_BINARY_DIR}/data/${BEAMWICK_APP_ID}.service
    DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/services)
install(FILES ${PROJECT_SOURCE_DIR}/data/beamwick.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# Not active by itself: the user copies it to ~/.config/autostart to start Beamwick at login.
install(FILES ${PROJECT_SOURCE_DIR}/data/beamwick-autostart.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/beamwick)

set(CPACK_PACKAGE_NAME beamwick)
set(CPACK_PACKAGE_VENDOR "Beamwick developers")
set(CPACK_PACKAGE_CONTACT "Beamwick developers <beamwick@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tray utility for the lid-logo LED or keyboard backlight.
Beamwick sits in the system tray and drives one light of the computer in three modes: steady, breathing, or flashing on the bass beats of the music that is playing. Quitting restores the light as the factory left it.")
# The libraries Beamwick links against are found by dpkg-shlibdeps and added to these. Qt loads
# its platform plugins (xcb, and wayland from qt6-wayland) at run time, which dpkg-shlibdeps
# cannot see. pkexec is called only to remove the legacy rule, and the sound server only serves
# Music mode.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pkexec, pulseaudio | pipewire-pulse, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "trayer | stalonetray")
include(CPack)
