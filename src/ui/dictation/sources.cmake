# The floating dictation panel.
list(APPEND PALAVERLY_UI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/DictatedTextNotice.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DictationBars.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DictationPanelController.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DictationPanelLayout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DictationPanelView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DictationWiring.cpp
)

# On X11 the panel is put on every desktop; without xcb it has the toolkit's flags only.
if(TARGET PkgConfig::X11 AND TARGET PkgConfig::XCB)
  list(APPEND PALAVERLY_UI_SOURCES ${CMAKE_CURRENT_LIST_DIR}/DictationPanelWindowX11.cpp)
  list(APPEND PALAVERLY_UI_LIBS PkgConfig::XCB)
else()
  list(APPEND PALAVERLY_UI_SOURCES ${CMAKE_CURRENT_LIST_DIR}/DictationPanelWindowNull.cpp)
endif()
