# Installation (`cmake --install`) and the Debian package (`cpack -G DEB`): the program, its icon
# in the hicolor theme and its menu entry. Starting at login is switched on from the settings
# window, which writes the user's own autostart entry.
include(GNUInstallDirs)

# The mark, and the one-colour marks for the tray that symbolic-aware trays colour themselves.
install(FILES ${PROJECT_SOURCE_DIR}/resources/packaging/palaverly.svg
  ${PROJECT_SOURCE_DIR}/resources/packaging/palaverly-symbolic.svg
  ${PROJECT_SOURCE_DIR}/resources/packaging/palaverly-update-symbolic.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/resources/packaging/palaverly.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME palaverly)
set(CPACK_PACKAGE_VENDOR Palaverly)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Palaverly <support@palaverly.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Meetings, voice notes and dictation turned into text")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Palaverly lives in the system tray. It records meetings (the computer's sound together with the "
  "microphone) and quick voice notes, has them transcribed with speakers told apart, titled and "
  "summarised, and keeps them in a searchable library. Push-to-talk dictation types into any field.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${PALAVERLY_BUILD_NUMBER})
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the library scan cannot see, because it is loaded at run time: the GStreamer elements the
# player plays through (the file's decoder and the sound server's sink) and libsecret, through
# which QtKeychain reaches the Secret Service. The scan appends the libraries it finds.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-pulseaudio | gstreamer1.0-pipewire, libsecret-1-0")
# Qt's own Russian texts (the standard context menus and dialog buttons), a sound server, and a
# keyring to keep the API keys in.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
  "qt6-translations-l10n, pulseaudio | pipewire-pulse, gnome-keyring | kwalletmanager | keepassxc")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS pavucontrol)
set(CPACK_DEBIAN_COMPRESSION_TYPE gzip)
include(CPack)
