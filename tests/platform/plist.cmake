# The toolkit's property list over the real Qt backend.
tarvolen_test(platform plist_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/plist_test.cpp
    LIBS tarvolen_platform_qt Qt6::Widgets)
