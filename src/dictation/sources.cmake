list(APPEND PALAVERLY_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/DictationManager.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DictationHotkeyMonitor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextInjector.cpp
)

# The floating panel (widgets).
list(APPEND PALAVERLY_UI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/DictationBars.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DictationPanelController.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DictationPanelLayout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DictationPanelView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DictationWiring.cpp
)

# Back ends: X11 takes the dictation key with a key grab, posts the paste through XTest and puts
# the panel on every desktop. Without the libraries the null back ends are built: no dictation
# key, the text stays on the clipboard, the panel has the toolkit's flags only.
if(TARGET PkgConfig::X11 AND TARGET PkgConfig::XCB)
  list(APPEND PALAVERLY_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/DictationHotkeyMonitorX11.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TextInjectorX11.cpp
  )
  list(APPEND PALAVERLY_CORE_LIBS PkgConfig::X11 PkgConfig::XCB)
  list(APPEND PALAVERLY_UI_SOURCES ${CMAKE_CURRENT_LIST_DIR}/DictationPanelWindowX11.cpp)
  list(APPEND PALAVERLY_UI_LIBS PkgConfig::XCB)
else()
  list(APPEND PALAVERLY_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/DictationHotkeyMonitorNull.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TextInjectorNull.cpp
  )
  list(APPEND PALAVERLY_UI_SOURCES ${CMAKE_CURRENT_LIST_DIR}/DictationPanelWindowNull.cpp)
endif()
