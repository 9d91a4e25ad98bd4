target_sources(tarvolen_platform_qt PRIVATE ${CMAKE_CURRENT_LIST_DIR}/device_ops_qt.cpp)
