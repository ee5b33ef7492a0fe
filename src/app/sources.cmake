list(APPEND PALAVERLY_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/Appcast.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AppcastFetcher.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AutostartEntry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LastCheckTime.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Updater.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UpdaterLogger.cpp
)
list(APPEND PALAVERLY_CORE_LIBS CURL::libcurl)

list(APPEND PALAVERLY_UI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/Application.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MenuBarController.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SingleInstance.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TrayMenuModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UpdateAlerts.cpp
)
