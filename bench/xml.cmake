add_executable(bench_xml ${CMAKE_CURRENT_LIST_DIR}/xml_bench.cpp)
target_link_libraries(bench_xml PRIVATE tarvolen_config benchmark::benchmark)
