# bench_recorder_link: the link against an emulated bank of 24 recorders.
if(TARGET tarvolen_recorder_link AND TARGET tarvolen_recorder_emu)
    add_executable(bench_recorder_link ${CMAKE_CURRENT_LIST_DIR}/recorder_link_bench.cpp)
    target_link_libraries(bench_recorder_link PRIVATE tarvolen_recorder_link tarvolen_recorder_emu)
endif()
