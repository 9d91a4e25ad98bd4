# fuzz_ini: the settings file reader.
tarvolen_fuzz(fuzz_ini
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_ini.cpp
    ${CMAKE_SOURCE_DIR}/src/shell/ini.cpp
    ${CMAKE_SOURCE_DIR}/src/shell/text.cpp)
