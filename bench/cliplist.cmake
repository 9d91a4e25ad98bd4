add_executable(bench_cliplist ${CMAKE_CURRENT_LIST_DIR}/cliplist_bench.cpp)
target_link_libraries(bench_cliplist PRIVATE tarvolen_cliplist tarvolen_device tarvolen_platform_qt
    benchmark::benchmark)
