add_executable(bench_config ${CMAKE_CURRENT_LIST_DIR}/config_bench.cpp)
target_link_libraries(bench_config PRIVATE tarvolen_config benchmark::benchmark)

add_executable(bench_config_pages ${CMAKE_CURRENT_LIST_DIR}/config_pages_bench.cpp)
target_link_libraries(bench_config_pages PRIVATE
    tarvolen_config tarvolen_platform_qt tarvolen_recorder_emu Qt6::Widgets benchmark::benchmark)
