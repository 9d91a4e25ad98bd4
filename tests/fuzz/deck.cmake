# fuzz_deck: the deck protocol's command and reply readers, fed what a hostile
# client or deck might send.
tarvolen_fuzz(fuzz_deck
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_deck.cpp
    ${CMAKE_SOURCE_DIR}/src/platform/deck/protocol.cpp
    ${CMAKE_SOURCE_DIR}/src/platform/deck/server_codec.cpp
    ${CMAKE_SOURCE_DIR}/src/platform/deck/client_codec.cpp)
