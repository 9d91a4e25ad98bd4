add_executable(bench_program program_bench.cpp)
target_link_libraries(bench_program PRIVATE tarvolen_windows tarvolen_deck_link
    tarvolen_recorder_emu Qt6::Widgets)
