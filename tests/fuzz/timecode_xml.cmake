# fuzz_xml and fuzz_timecode. The code under test is compiled into each target
# so that it carries the fuzzer's coverage and the sanitizers.
set(tarvolen_tcxml_fuzz_flags -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)

add_executable(fuzz_xml
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_xml.cpp
    ${CMAKE_SOURCE_DIR}/src/config/xml_text.cpp
    ${CMAKE_SOURCE_DIR}/src/shell/text.cpp)
target_compile_options(fuzz_xml PRIVATE ${tarvolen_tcxml_fuzz_flags})
target_link_options(fuzz_xml PRIVATE ${tarvolen_tcxml_fuzz_flags})

add_executable(fuzz_timecode
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_timecode.cpp
    ${CMAKE_SOURCE_DIR}/src/timecode/tc_math.cpp
    ${CMAKE_SOURCE_DIR}/src/shell/text.cpp)
target_compile_options(fuzz_timecode PRIVATE ${tarvolen_tcxml_fuzz_flags})
target_link_options(fuzz_timecode PRIVATE ${tarvolen_tcxml_fuzz_flags})
