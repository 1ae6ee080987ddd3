# The resources of Vardion.exe: rebuilt when an icon changes, and checked by
# a test that reads them from the built exe.

# windres reads the icons named in the script; CMake does not see them.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/Vardion.rc PROPERTIES OBJECT_DEPENDS
    "${CMAKE_CURRENT_LIST_DIR}/vardion.ico;${CMAKE_CURRENT_LIST_DIR}/tray_normal.ico;${CMAKE_CURRENT_LIST_DIR}/tray_alert.ico")

# The test reads the Vardion.exe beside it.
vardion_add_windows_test(NAME resources_test
    SOURCES ${PROJECT_SOURCE_DIR}/tests/win/resources_test.cpp
    LIBRARIES version gdi32 user32)
add_dependencies(resources_test Vardion)
