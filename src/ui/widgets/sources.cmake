# Style and widgets that several windows share.
list(APPEND PALAVERLY_UI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/FileReveal.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PermissionPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PermissionsSnapshotFactory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Placeholders.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProgressDots.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SessionFeaturesView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SymbolIcon.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ViewStyle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowStyle.cpp
)
