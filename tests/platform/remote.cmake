# The remote surface's server, with the test as the window.
tarvolen_test(platform remote_server_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/remote_server_test.cpp
    LIBS tarvolen_remote
    LABELS network)
