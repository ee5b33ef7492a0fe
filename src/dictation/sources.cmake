list(APPEND PALAVERLY_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/DictationManager.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DictationHotkeyMonitor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextInjector.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextInjectorPortal.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DictationHotkeyMonitorPortal.cpp
)

# Back ends: X11 takes the dictation key with a key grab and posts the paste through XTest.
# Without the libraries the null back ends are built: no dictation key, the text stays on the
# clipboard.
if(TARGET PkgConfig::X11 AND TARGET PkgConfig::XCB)
  list(APPEND PALAVERLY_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/DictationHotkeyMonitorX11.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TextInjectorX11.cpp
  )
  list(APPEND PALAVERLY_CORE_LIBS PkgConfig::X11 PkgConfig::XCB)
else()
  list(APPEND PALAVERLY_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/DictationHotkeyMonitorNull.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TextInjectorNull.cpp
  )
endif()
