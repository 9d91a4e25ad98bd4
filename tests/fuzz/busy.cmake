# fuzz_lznt1 and fuzz_ski: the busy picture's decoder and reader. The code under
# test is compiled into each target so that it carries the fuzzer's coverage
# and the sanitizers.
set(tarvolen_busy_fuzz_flags -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)

add_executable(fuzz_lznt1
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_lznt1.cpp
    ${CMAKE_SOURCE_DIR}/src/busy/lznt1.cpp)
target_compile_options(fuzz_lznt1 PRIVATE ${tarvolen_busy_fuzz_flags})
target_link_options(fuzz_lznt1 PRIVATE ${tarvolen_busy_fuzz_flags})

add_executable(fuzz_ski
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_ski.cpp
    ${CMAKE_SOURCE_DIR}/src/busy/ski.cpp
    ${CMAKE_SOURCE_DIR}/src/busy/lznt1.cpp)
target_compile_options(fuzz_ski PRIVATE ${tarvolen_busy_fuzz_flags})
target_link_options(fuzz_ski PRIVATE ${tarvolen_busy_fuzz_flags})
