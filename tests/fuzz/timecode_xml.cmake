# fuzz_xml and fuzz_timecode: the XML text helpers and the timecode arithmetic.
tarvolen_fuzz(fuzz_xml
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_xml.cpp
    ${CMAKE_SOURCE_DIR}/src/config/xml_text.cpp
    ${CMAKE_SOURCE_DIR}/src/shell/text.cpp)
tarvolen_fuzz(fuzz_timecode
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_timecode.cpp
    ${CMAKE_SOURCE_DIR}/src/timecode/tc_math.cpp
    ${CMAKE_SOURCE_DIR}/src/shell/text.cpp)
