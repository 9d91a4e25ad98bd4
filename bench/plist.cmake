add_executable(bench_plist ${CMAKE_CURRENT_LIST_DIR}/plist_bench.cpp)
target_link_libraries(bench_plist PRIVATE tarvolen_platform_qt Qt6::Widgets benchmark::benchmark)
