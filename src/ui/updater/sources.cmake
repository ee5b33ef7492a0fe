# The update dialogs.
list(APPEND PALAVERLY_UI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/UpdateAlerts.cpp
)
