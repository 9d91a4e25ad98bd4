# Setup window controls: messages, list check boxes, tabs, the address editor.
target_sources(tarvolen_platform_qt PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/messages_qt.cpp
)
target_sources(tarvolen_platform_qt PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/setup_controls_qt.cpp
)
