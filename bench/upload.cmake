# bench_upload [--megabytes N] [--runs K] [--openai]: uploads a sparse WAV file of N MiB (2048 by
# default) through ASRClient (or the OpenAI-compatible client) to a loopback server that discards
# the body, and the same file with
# `curl -F audio=@file` to the same server. Last line: "rss_mb R time_ratio T".
add_executable(bench_upload ${CMAKE_CURRENT_LIST_DIR}/UploadBench.cpp)
target_link_libraries(bench_upload PRIVATE palaverly_core palaverly_warnings)
