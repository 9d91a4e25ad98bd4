# fuzz_config: a recorder's configuration document and audio routing read
# into a channel, and the document built from what was read.
tarvolen_fuzz(fuzz_config
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_config.cpp
    ${CMAKE_SOURCE_DIR}/src/config/xml_text.cpp
    ${CMAKE_SOURCE_DIR}/src/config/config_text.cpp
    ${CMAKE_SOURCE_DIR}/src/config/capabilities.cpp
    ${CMAKE_SOURCE_DIR}/src/config/config_xml.cpp
    ${CMAKE_SOURCE_DIR}/src/config/routing.cpp
    ${CMAKE_SOURCE_DIR}/src/shell/settings.cpp
    ${CMAKE_SOURCE_DIR}/src/shell/ini.cpp
    ${CMAKE_SOURCE_DIR}/src/shell/text.cpp)
