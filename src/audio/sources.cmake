list(APPEND PALAVERLY_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/AudioBuffer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AudioConverter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AudioLevelMeter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DuckingMixer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecordingSession.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialQueue.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WavWriter.cpp
)
list(APPEND PALAVERLY_CORE_LIBS PkgConfig::SNDFILE PkgConfig::SOXR)
