# fuzz_wire: the recorder protocol decoder, fed what a hostile peer might send.
tarvolen_fuzz(fuzz_wire
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_wire.cpp
    ${CMAKE_SOURCE_DIR}/src/platform/wire/wire.cpp)
