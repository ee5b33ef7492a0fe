list(APPEND PALAVERLY_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/FileStamp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/JsonCoding.cpp
  ${CMAKE_CURRENT_LIST_DIR}/JsonReader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LibraryCache.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecordingMeta.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecordingStore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Summary.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Transcript.cpp
)
