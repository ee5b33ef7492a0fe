list(APPEND PALAVERLY_UI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/LibraryListModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LibraryView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LibraryWindow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecordButton.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecordingRowDelegate.cpp
)
