# The busy spinner's Qt side.
target_sources(tarvolen_platform_qt PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/spinner_window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/spinner_window.h
)
target_link_libraries(tarvolen_platform_qt PUBLIC tarvolen_busy)
