list(APPEND PALAVERLY_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/HotkeyConfig.cpp
  ${CMAKE_CURRENT_LIST_DIR}/KeyCodeTable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/KeyboardLayout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NotificationCenter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AppSettings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/KeyFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServiceSettings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AutostartEntry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PermissionsSnapshot.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SystemSettingsPage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DesktopSession.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DesktopNotification.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PortalRequest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PortalKeyboard.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SessionInput.cpp
)

# Back ends: X11 for hotkeys, key names and XTest; libpulse for the sound-server probe. Without
# the libraries the null back ends are built and the program runs with those features off.
if(TARGET PkgConfig::X11 AND TARGET PkgConfig::XCB)
  list(APPEND PALAVERLY_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/X11Modifiers.cpp
    ${CMAKE_CURRENT_LIST_DIR}/X11KeyGrab.cpp
    ${CMAKE_CURRENT_LIST_DIR}/GlobalHotkeyManager_x11.cpp
    ${CMAKE_CURRENT_LIST_DIR}/KeyboardLayout_x11.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SyntheticInputProbe_x11.cpp
  )
  list(APPEND PALAVERLY_CORE_LIBS PkgConfig::X11 PkgConfig::XCB)
else()
  list(APPEND PALAVERLY_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/GlobalHotkeyManager_null.cpp
    ${CMAKE_CURRENT_LIST_DIR}/KeyboardLayout_null.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SyntheticInputProbe_null.cpp
  )
endif()

# Wayland sessions: hotkeys and the paste keystroke through the desktop portals (QtDBus); the
# GlobalShortcuts portal takes its preferred triggers as xkbcommon key names.
list(APPEND PALAVERLY_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/PortalShortcuts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PortalTrigger.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GlobalHotkeyManager_portal.cpp
)
list(APPEND PALAVERLY_CORE_LIBS PkgConfig::XKBCOMMON)

if(TARGET PkgConfig::PULSE)
  list(APPEND PALAVERLY_CORE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/SoundServerProbe_pulse.cpp)
  list(APPEND PALAVERLY_CORE_LIBS PkgConfig::PULSE)
else()
  list(APPEND PALAVERLY_CORE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/SoundServerProbe_null.cpp)
endif()

# API keys go to the desktop's Secret Service through QtKeychain; without it nothing is kept
# beyond the run unless the user agrees to the key file.
if(TARGET qt6keychain)
  list(APPEND PALAVERLY_CORE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/Keyring_qtkeychain.cpp)
  list(APPEND PALAVERLY_CORE_LIBS qt6keychain)
else()
  list(APPEND PALAVERLY_CORE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/Keyring_null.cpp)
endif()
