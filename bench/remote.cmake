add_executable(bench_remote remote_bench.cpp)
target_link_libraries(bench_remote PRIVATE tarvolen_windows tarvolen_recorder_link
    tarvolen_recorder_emu Qt6::Widgets)
