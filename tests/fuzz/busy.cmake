# fuzz_lznt1 and fuzz_ski: the busy picture's decoder and reader.
tarvolen_fuzz(fuzz_lznt1
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_lznt1.cpp
    ${CMAKE_SOURCE_DIR}/src/busy/lznt1.cpp)
tarvolen_fuzz(fuzz_ski
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_ski.cpp
    ${CMAKE_SOURCE_DIR}/src/busy/ski.cpp
    ${CMAKE_SOURCE_DIR}/src/busy/lznt1.cpp)
