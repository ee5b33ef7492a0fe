list(APPEND PALAVERLY_UI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/DonePane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OnboardingView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OnboardingWindowController.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PermissionPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PermissionsSnapshotFactory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProgressDots.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsAboutPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsGeneralPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsPermissionsPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsWindowController.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ShortcutRecorderField.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SymbolIcon.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ViewStyle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WelcomePane.cpp
)
