if(TARGET tarvolen_link)
    tarvolen_test(platform io_thread_test
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/io_thread_test.cpp
        LIBS tarvolen_link)
    if(TARVOLEN_SANITIZE STREQUAL "thread" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_compile_options(io_thread_test PRIVATE -Wno-tsan)
    endif()
endif()
