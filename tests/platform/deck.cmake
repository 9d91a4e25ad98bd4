# The deck protocol's codec, both sides.
tarvolen_test(platform deck_codec_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/deck_codec_test.cpp
    LIBS tarvolen_deck)
