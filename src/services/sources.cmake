list(APPEND PALAVERLY_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ServiceFailure.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HttpTransfer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ASRError.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UploadAttempts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServiceAnswers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ASRClient.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OpenAITranscriptionClient.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OpenRouterClient.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServiceConfig.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServiceCheck.cpp
)
list(APPEND PALAVERLY_CORE_LIBS CURL::libcurl)
