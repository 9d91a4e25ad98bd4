# fuzz_ini: the settings file reader. The code under test is compiled into the
# target so that it carries the fuzzer's coverage and the sanitizers.
set(tarvolen_ini_fuzz_flags -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)

add_executable(fuzz_ini
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_ini.cpp
    ${CMAKE_SOURCE_DIR}/src/shell/ini.cpp
    ${CMAKE_SOURCE_DIR}/src/shell/text.cpp)
target_compile_options(fuzz_ini PRIVATE ${tarvolen_ini_fuzz_flags})
target_link_options(fuzz_ini PRIVATE ${tarvolen_ini_fuzz_flags})
