# Accelerator tables: keys that press a form's controls.
target_sources(tarvolen_platform_qt PRIVATE ${CMAKE_CURRENT_LIST_DIR}/accel_qt.cpp)
