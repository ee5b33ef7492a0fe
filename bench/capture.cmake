# bench_capture_start [--takes N] [--hold SECONDS] [--tone-latency-ms MS]: what notes, dictations and meetings lose at
# either end of a take, against the real sound server (run it under tests/support/run-with-services.sh).
add_executable(bench_capture_start ${CMAKE_CURRENT_LIST_DIR}/CaptureStartBench.cpp)
target_link_libraries(bench_capture_start PRIVATE palaverly_test_support palaverly_warnings)
