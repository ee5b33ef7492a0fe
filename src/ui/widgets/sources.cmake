# Style and widgets that several windows share.
list(APPEND PALAVERLY_UI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/FileReveal.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PermissionPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PermissionsSnapshotFactory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Placeholders.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProgressDots.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SessionFeaturesView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SymbolIcon.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TrayIcon.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ViewStyle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowStyle.cpp
)

# The colour an X11 tray asks its icons to be drawn in; without xcb the palette's is used.
if(TARGET PkgConfig::X11 AND TARGET PkgConfig::XCB)
  list(APPEND PALAVERLY_UI_SOURCES ${CMAKE_CURRENT_LIST_DIR}/TrayPanelColorX11.cpp)
  list(APPEND PALAVERLY_UI_LIBS PkgConfig::XCB)
else()
  list(APPEND PALAVERLY_UI_SOURCES ${CMAKE_CURRENT_LIST_DIR}/TrayPanelColorNull.cpp)
endif()
