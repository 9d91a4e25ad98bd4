# fuzz_wire: the recorder protocol decoder, fed what a hostile peer might send.
set(tarvolen_wire_fuzz_flags -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)

add_executable(fuzz_wire
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_wire.cpp
    ${CMAKE_SOURCE_DIR}/src/platform/wire/wire.cpp)
target_compile_options(fuzz_wire PRIVATE ${tarvolen_wire_fuzz_flags})
target_link_options(fuzz_wire PRIVATE ${tarvolen_wire_fuzz_flags})
