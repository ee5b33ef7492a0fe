list(APPEND PALAVERLY_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ProcessingPrompts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecorderModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecorderPipeline.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SilentCallDetector.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TranscriptionRetry.cpp
)
