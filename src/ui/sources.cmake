# The rules of the views and what they read need no widgets; they live in the core library so
# that the benchmarks and the logic tests do without QtWidgets.
list(APPEND PALAVERLY_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ChipsFlow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DetailLogic.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LibraryLogic.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LibraryRecorder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecorderModelLink.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SearchText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Typewriter.cpp
)
list(APPEND PALAVERLY_UI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ChipsFlowLayout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DonePane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileReveal.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LibraryListModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LibraryView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LibraryWindow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LiveRecordingPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OnboardingView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OnboardingWindowController.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PermissionPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PermissionsSnapshotFactory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Placeholders.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PlayerBar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProgressDots.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecordButton.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecordingDetail.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecordingRowDelegate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsAboutPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsGeneralPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsPermissionsPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsWindowController.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ShortcutRecorderField.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SpeakerChipsBar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SpeakerRenamePopover.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SummaryPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SymbolIcon.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TranscriptPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TranscriptTurns.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ViewStyle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WelcomePane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowStyle.cpp
)
