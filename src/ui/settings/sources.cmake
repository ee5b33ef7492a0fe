list(APPEND PALAVERLY_UI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/SettingsAboutPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsGeneralPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsPermissionsPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsServicesPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsWindowController.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ShortcutRecorderField.cpp
)
