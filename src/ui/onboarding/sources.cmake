list(APPEND PALAVERLY_UI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/DonePane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OnboardingView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OnboardingWindowController.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WelcomePane.cpp
)
