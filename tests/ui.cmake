palaverly_add_test(LibraryLogicTest)
palaverly_add_test(DetailLogicTest)
palaverly_add_test(ChipsFlowTest)
palaverly_add_test(TypewriterTest)
palaverly_add_test(SearchTextTest)

# A tool for looking at the library window (see the file's header); not a test.
if(NOT PALAVERLY_TSAN_ONLY)
  add_executable(library_preview LibraryPreview.cpp)
  target_link_libraries(library_preview PRIVATE palaverly_ui palaverly_test_support palaverly_warnings)
endif()
palaverly_add_test(LibraryViewTest GUI)
palaverly_add_test(RecordingDetailTest GUI)
palaverly_add_test(LibraryWindowTest GUI SOUND)
