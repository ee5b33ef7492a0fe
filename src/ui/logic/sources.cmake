# The rules of the views and what they read need no widgets; they live in the core library so
# that the benchmarks and the logic tests do without QtWidgets.
list(APPEND PALAVERLY_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ChipsFlow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DetailLogic.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LibraryLogic.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LibraryRecorder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecorderModelLink.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NgramFilter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SearchFolder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SearchIndex.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServicesText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SessionFeatures.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TranscriptExport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Typewriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UntrustedText.cpp
)
