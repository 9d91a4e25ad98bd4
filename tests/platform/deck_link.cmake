if(TARGET tarvolen_deck_link AND TARGET tarvolen_recorder_emu)
    tarvolen_test(platform deck_link_test
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/deck_link_test.cpp
        LIBS tarvolen_deck_link tarvolen_recorder_emu
        LABELS network)
    # The fake deck runs on Asio, whose memory fences ThreadSanitizer does not model.
    if(TARVOLEN_SANITIZE STREQUAL "thread" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_compile_options(deck_link_test PRIVATE -Wno-tsan)
    endif()
endif()
