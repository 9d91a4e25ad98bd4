if(TARGET tarvolen_deck_link AND TARGET tarvolen_recorder_emu)
    tarvolen_test(platform deck_link_test
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/deck_link_test.cpp
        LIBS tarvolen_deck_link tarvolen_recorder_emu
        LABELS network)
endif()
