# bench_recording_cpu [--seconds N] [--library]: the CPU time of a running meeting recording,
# under tests/support/run-with-services.sh.
add_executable(bench_recording_cpu ${CMAKE_CURRENT_LIST_DIR}/RecordingCpuBench.cpp)
target_link_libraries(bench_recording_cpu PRIVATE palaverly_bench_seed palaverly_ui palaverly_warnings)
