# bench_deck: the emulated deck face, 24 decks on loopback.
if(TARGET tarvolen_recorder_emu)
    add_executable(bench_deck ${CMAKE_CURRENT_LIST_DIR}/deck_bench.cpp)
    target_link_libraries(bench_deck PRIVATE tarvolen_recorder_emu tarvolen_deck)
endif()
