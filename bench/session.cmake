# bench_session [--minutes N]: a meeting's worth of capture buffers through RecordingSession,
# compared with sox doing the same job on the same input.
add_executable(bench_session ${CMAKE_CURRENT_LIST_DIR}/session.cpp)
target_link_libraries(bench_session PRIVATE palaverly_core palaverly_warnings PkgConfig::SNDFILE)
