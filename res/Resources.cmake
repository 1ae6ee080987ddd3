# The resources of Vardion.exe: rebuilt when an icon changes, and checked by
# a test that reads them from the built exe under Wine.

# windres reads the icons named in the script; CMake does not see them.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/Vardion.rc PROPERTIES OBJECT_DEPENDS
    "${CMAKE_CURRENT_LIST_DIR}/vardion.ico;${CMAKE_CURRENT_LIST_DIR}/tray_normal.ico;${CMAKE_CURRENT_LIST_DIR}/tray_alert.ico")

# The test opens the exe by a path Wine understands: the Unix root is drive Z:.
if(CMAKE_HOST_WIN32)
    set(vardion_exe_path "$<TARGET_FILE:Vardion>")
else()
    set(vardion_exe_path "Z:$<TARGET_FILE:Vardion>")
endif()
vardion_add_wine_test(NAME resources_test
    SOURCES ${PROJECT_SOURCE_DIR}/tests/win/resources_test.cpp
    LIBRARIES version gdi32 user32)
target_include_directories(resources_test PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(resources_test PRIVATE VARDION_EXE_PATH="${vardion_exe_path}")
add_dependencies(resources_test Vardion)
