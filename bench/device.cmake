add_executable(bench_device ${CMAKE_CURRENT_LIST_DIR}/device_bench.cpp)
target_link_libraries(bench_device PRIVATE tarvolen_device tarvolen_platform_qt Qt6::Widgets
    benchmark::benchmark)
