list(APPEND PALAVERLY_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/AudioBuffer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AudioConverter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AudioLevelMeter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AudioPlayer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DuckingMixer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PlaybackMix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecordingSession.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialQueue.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StreamTimeline.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WavWriter.cpp
)
list(APPEND PALAVERLY_CORE_LIBS PkgConfig::SNDFILE PkgConfig::SOXR Qt6::Multimedia)

# Capture: the shared logic, and one back end chosen here.
list(APPEND PALAVERLY_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/CaptureFeed.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MicrophoneTap.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReconnectingCaptureBackend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SystemAudioCapture.cpp
)
option(PALAVERLY_CAPTURE_NULL "Use the null capture back end even when libpulse is there" OFF)
if(TARGET PkgConfig::PULSE AND NOT PALAVERLY_CAPTURE_NULL)
  list(APPEND PALAVERLY_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/CaptureBackendPulse.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PulseRecordStream.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PulseSystemSound.cpp
  )
  list(APPEND PALAVERLY_CORE_LIBS PkgConfig::PULSE)
else()
  message(STATUS "Audio capture: null back end (no libpulse, or PALAVERLY_CAPTURE_NULL)")
  list(APPEND PALAVERLY_CORE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/CaptureBackendNull.cpp)
endif()
