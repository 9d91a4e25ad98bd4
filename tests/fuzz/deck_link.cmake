# fuzz_deck_link: what the deck link makes of a deck's replies and
# notifications: the reply reader, then the deck's picture and the row.
tarvolen_fuzz(fuzz_deck_link
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_deck_link.cpp
    ${CMAKE_SOURCE_DIR}/src/platform/deck_link/deck_state.cpp
    ${CMAKE_SOURCE_DIR}/src/platform/deck_link/deck_config.cpp
    ${CMAKE_SOURCE_DIR}/src/config/xml_text.cpp
    ${CMAKE_SOURCE_DIR}/src/shell/text.cpp
    ${CMAKE_SOURCE_DIR}/src/platform/deck/protocol.cpp
    ${CMAKE_SOURCE_DIR}/src/platform/deck/client_codec.cpp)
