# The busy spinner's Qt side.
set(TARVOLEN_SPINNER_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/spinner_window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/spinner_window.h
)
if(TARGET tarvolen_platform_qt)
    target_sources(tarvolen_platform_qt PRIVATE ${TARVOLEN_SPINNER_SOURCES})
    target_link_libraries(tarvolen_platform_qt PUBLIC tarvolen_busy Qt6::Widgets)
elseif(NOT TARGET tarvolen_spinner_qt)
    # Stands alone until the Qt backend library exists.
    add_library(tarvolen_spinner_qt ${TARVOLEN_SPINNER_SOURCES})
    target_link_libraries(tarvolen_spinner_qt PUBLIC tarvolen_busy Qt6::Widgets)
endif()
