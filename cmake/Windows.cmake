# The Windows build, 32-bit (i686) or 64-bit (x86_64) by the toolchain file:
# Vardion.exe, our dialog framework, and the Windows tests, all built into the
# build folder. scripts/windows-suite.sh runs the tests from that folder or
# from any folder its exes are copied to: under Wine here, natively on Windows.
enable_language(RC)

# win32 or win64: names the zip, and tells the Wine session which loader runs
# this build's programs.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(VARDION_ARCH win64)
else()
    set(VARDION_ARCH win32)
endif()
file(WRITE ${CMAKE_BINARY_DIR}/vardion-arch "${VARDION_ARCH}\n")

# psapi.h of version 2 makes EnumProcesses and GetProcessImageFileNameA macros
# for K32... names, which would rename the core's methods of the same names.
add_compile_definitions(PSAPI_VERSION=1 NOMINMAX)
target_compile_definitions(vardion_core PUBLIC PSAPI_VERSION=1 NOMINMAX)

# The dialog framework. The entry point is compiled into the program itself:
# in a library, nothing would pull it in before the C runtime asks for it.
file(GLOB framework_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/framework/*.cpp)
list(REMOVE_ITEM framework_sources ${PROJECT_SOURCE_DIR}/framework/winmain.cpp)
add_library(vardion_framework STATIC ${framework_sources})
target_include_directories(vardion_framework PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vardion_framework PUBLIC user32 gdi32)

# The program: the window code of app/, tray/ and alert/, and the resources.
file(GLOB app_sources CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/app/*.cpp ${PROJECT_SOURCE_DIR}/tray/*.cpp
    ${PROJECT_SOURCE_DIR}/alert/*.cpp)
add_executable(Vardion WIN32 ${app_sources} ${PROJECT_SOURCE_DIR}/framework/winmain.cpp)
if(EXISTS ${PROJECT_SOURCE_DIR}/res/Vardion.rc)
    target_sources(Vardion PRIVATE ${PROJECT_SOURCE_DIR}/res/Vardion.rc)
    target_include_directories(Vardion PRIVATE ${PROJECT_SOURCE_DIR}/res)  # the icons
endif()
target_link_libraries(Vardion PRIVATE vardion_core vardion_framework comctl32 shell32 psapi)

# GoogleTest for Windows; EXCLUDE_FROM_ALL builds only what the tests link.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Holds the Wine desktop open between the test programs (scripts/wine-session.sh).
add_executable(desktop_keeper ${PROJECT_SOURCE_DIR}/tests/win/desktop_keeper.cpp)

# Finds and shows the program's windows for scripts/screenshots.sh.
add_executable(window_driver WIN32 ${PROJECT_SOURCE_DIR}/tests/win/window_driver.cpp)
set_target_properties(window_driver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# vardion_add_windows_test(NAME <name> SOURCES <files>... [LIBRARIES <libs>...] [GUI])
# A GoogleTest program for Windows (.rc files may be among the sources), one
# of those that scripts/windows-suite.sh runs. GUI makes it a program of the
# windows subsystem, like Vardion.exe. Every test program finds what it runs
# (Vardion.exe, the sleeper) beside itself.
function(vardion_add_windows_test)
    cmake_parse_arguments(PARSE_ARGV 0 arg "GUI" "NAME" "SOURCES;LIBRARIES")
    add_executable(${arg_NAME} ${arg_SOURCES})
    target_link_libraries(${arg_NAME} PRIVATE ${arg_LIBRARIES} gtest gtest_main)
    target_include_directories(${arg_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
    if(arg_GUI)
        set_target_properties(${arg_NAME} PROPERTIES WIN32_EXECUTABLE ON)
    endif()
endfunction()

set(win_tests ${PROJECT_SOURCE_DIR}/tests/win)
vardion_add_windows_test(NAME framework_test
    SOURCES ${win_tests}/framework_test.cpp ${win_tests}/framework_test.rc
        ${PROJECT_SOURCE_DIR}/app/list_box_port.cpp
    LIBRARIES vardion_framework vardion_core)

# Tests of the resources, kept beside them.
if(EXISTS ${PROJECT_SOURCE_DIR}/res/Resources.cmake)
    include(${PROJECT_SOURCE_DIR}/res/Resources.cmake)
endif()

# End-to-end tests of the real program: a driver starts Vardion.exe and small
# programs of its own under chosen names, and works its windows from outside.
add_executable(sleeper WIN32 ${win_tests}/sleeper.cpp)
vardion_add_windows_test(NAME win32_adapters_test
    SOURCES ${win_tests}/win32_adapters_test.cpp ${PROJECT_SOURCE_DIR}/app/process_source_win32.cpp
        ${PROJECT_SOURCE_DIR}/app/file_system_win32.cpp
    LIBRARIES vardion_core psapi advapi32)
add_dependencies(win32_adapters_test sleeper)
# An end-to-end test program on the fixture of tests/win/e2e_fixture.h; the
# second holds the checks that only Windows can answer.
foreach(name IN ITEMS e2e_test windows_only_test)
    vardion_add_windows_test(NAME ${name}
        SOURCES ${win_tests}/${name}.cpp
        LIBRARIES psapi shell32 user32 advapi32)
    add_dependencies(${name} Vardion sleeper)
endforeach()

# The tick against its floor under Wine: a program that prints figures, run by
# scripts/bench-wine.sh, not a test.
# It links what it measures: the process system, the list boxes, the file system and the
# tray icon.
add_executable(tick_wine ${PROJECT_SOURCE_DIR}/bench/tick_wine.cpp
    ${PROJECT_SOURCE_DIR}/app/process_source_win32.cpp ${PROJECT_SOURCE_DIR}/app/list_box_port.cpp
    ${PROJECT_SOURCE_DIR}/app/file_system_win32.cpp
    ${PROJECT_SOURCE_DIR}/tray/tray_icon.cpp ${PROJECT_SOURCE_DIR}/res/Vardion.rc)
target_include_directories(tick_wine PRIVATE ${PROJECT_SOURCE_DIR}/res)
target_link_libraries(tick_wine PRIVATE vardion_core vardion_framework comctl32 shell32 psapi)
add_executable(snapshot_floor WIN32 ${PROJECT_SOURCE_DIR}/bench/snapshot_floor.cpp)
add_executable(stamp_thread WIN32 ${PROJECT_SOURCE_DIR}/bench/stamp_thread.cpp)
add_executable(footprint_wine ${PROJECT_SOURCE_DIR}/bench/footprint_wine.cpp)
target_link_libraries(footprint_wine PRIVATE psapi user32)
target_include_directories(footprint_wine PRIVATE ${PROJECT_SOURCE_DIR})

# The soak: scripts/soak-wine.sh runs it for ten minutes; the suite, 20 seconds.
add_executable(soak ${win_tests}/soak.cpp)
target_include_directories(soak PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(soak PRIVATE psapi)
add_dependencies(soak Vardion sleeper)

# The most memory Vardion.exe holds with large lists: run by scripts/bench-wine.sh.
add_executable(memory_wine ${PROJECT_SOURCE_DIR}/bench/memory_wine.cpp)
target_include_directories(memory_wine PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(memory_wine PRIVATE psapi user32 advapi32)
add_dependencies(memory_wine Vardion sleeper)
