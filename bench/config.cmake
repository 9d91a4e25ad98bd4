add_executable(bench_config ${CMAKE_CURRENT_LIST_DIR}/config_bench.cpp)
target_link_libraries(bench_config PRIVATE tarvolen_config benchmark::benchmark)
