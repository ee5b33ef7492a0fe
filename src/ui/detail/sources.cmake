list(APPEND PALAVERLY_UI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ChipsFlowLayout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LiveRecordingPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PlayerBar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecordingDetail.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SpeakerChipsBar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SpeakerRenamePopover.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SummaryPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TranscriptExportDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TranscriptPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TranscriptTurns.cpp
)
