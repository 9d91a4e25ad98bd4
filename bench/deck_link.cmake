# bench_deck_link: the deck link behind the router, decks and recorders on loopback.
if(TARGET tarvolen_deck_link AND TARGET tarvolen_recorder_emu)
    add_executable(bench_deck_link ${CMAKE_CURRENT_LIST_DIR}/deck_link_bench.cpp)
    target_link_libraries(bench_deck_link PRIVATE tarvolen_deck_link tarvolen_recorder_emu)
endif()
