# The property list of the Setup pages.
target_sources(tarvolen_platform_qt PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/plist_qt.cpp
    ${CMAKE_CURRENT_LIST_DIR}/plist.h
)
