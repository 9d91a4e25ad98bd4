# Owner-drawn list headers, row choice, per-column sizing and gradients.
target_sources(tarvolen_platform_qt PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/listview_header_qt.cpp
    ${CMAKE_CURRENT_LIST_DIR}/listview_header.h
)
