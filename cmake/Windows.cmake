# The Windows build, 32-bit (i686) or 64-bit (x86_64) by the toolchain file:
# Vardion.exe, our dialog framework, and the Windows tests, which plain `ctest`
# runs under Wine in one session per run (scripts/wine-session.sh).
enable_language(RC)

# win32 or win64: names the zip, and tells the Wine session which loader runs
# this build's programs.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(VARDION_ARCH win64)
    set(vardion_pe_magic "020b")
    set(vardion_pe_name "PE32+")
else()
    set(VARDION_ARCH win32)
    set(vardion_pe_magic "010b")
    set(vardion_pe_name "PE32")
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

# ctest runs every Windows program it starts through this. The session's
# setup and cleanup are tests themselves, so plain `ctest` works from nothing.
find_program(BASH bash REQUIRED)
set(wine_session ${PROJECT_SOURCE_DIR}/scripts/wine-session.sh)
set(CMAKE_CROSSCOMPILING_EMULATOR ${BASH} ${wine_session} run ${CMAKE_BINARY_DIR})

add_executable(desktop_keeper ${PROJECT_SOURCE_DIR}/tests/win/desktop_keeper.cpp)
set_target_properties(desktop_keeper PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_test(NAME wine_session_start COMMAND ${BASH} ${wine_session} start ${CMAKE_BINARY_DIR})
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 240)
add_test(NAME wine_session_stop COMMAND ${BASH} ${wine_session} stop ${CMAKE_BINARY_DIR})
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)

# Finds and shows the program's windows for scripts/screenshots.sh.
add_executable(window_driver WIN32 ${PROJECT_SOURCE_DIR}/tests/win/window_driver.cpp)
set_target_properties(window_driver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# vardion_add_wine_test(NAME <name> SOURCES <files>... [LIBRARIES <libs>...]
#                       [ARGS <arguments>...] [TIMEOUT <seconds>] [GUI])
# A GoogleTest program for Windows (.rc files may be among the sources),
# registered with ctest to run under Wine in the session. GUI makes it a
# program of the windows subsystem, like Vardion.exe.
function(vardion_add_wine_test)
    cmake_parse_arguments(PARSE_ARGV 0 arg "GUI" "NAME;TIMEOUT" "SOURCES;LIBRARIES;ARGS")
    add_executable(${arg_NAME} ${arg_SOURCES})
    target_link_libraries(${arg_NAME} PRIVATE ${arg_LIBRARIES} gtest gtest_main)
    if(arg_GUI)
        set_target_properties(${arg_NAME} PROPERTIES WIN32_EXECUTABLE ON)
    endif()
    if(NOT arg_TIMEOUT)
        set(arg_TIMEOUT 60)
    endif()
    add_test(NAME ${arg_NAME} COMMAND ${arg_NAME} ${arg_ARGS})
    # Passed only when GoogleTest says so: a program that Wine cannot run may
    # end at once with exit code 0, having run nothing.
    set_tests_properties(${arg_NAME} PROPERTIES
        FIXTURES_REQUIRED wine TIMEOUT ${arg_TIMEOUT} LABELS wine
        PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [1-9][0-9]* tests?\\."
        FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
endfunction()

# Vardion.exe stands alone: PE32 (PE32+ on Win64), windows subsystem, no
# MinGW runtime DLL. It runs nothing, so it holds where Wine cannot run the build.
add_test(NAME vardion_exe_is_standalone COMMAND ${CMAKE_COMMAND}
    -DEXE=$<TARGET_FILE:Vardion> -DOBJDUMP=${CMAKE_OBJDUMP}
    -DMAGIC=${vardion_pe_magic} -DFORMAT=${vardion_pe_name}
    -P ${PROJECT_SOURCE_DIR}/cmake/check_standalone.cmake)

set(win_tests ${PROJECT_SOURCE_DIR}/tests/win)
vardion_add_wine_test(NAME framework_test
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
vardion_add_wine_test(NAME win32_adapters_test
    SOURCES ${win_tests}/win32_adapters_test.cpp ${PROJECT_SOURCE_DIR}/app/process_source_win32.cpp
        ${PROJECT_SOURCE_DIR}/app/file_system_win32.cpp
    LIBRARIES vardion_core psapi advapi32)
target_compile_definitions(win32_adapters_test PRIVATE SLEEPER_EXE="$<TARGET_FILE:sleeper>")
add_dependencies(win32_adapters_test sleeper)
# vardion_add_e2e_test(<name> <sources>...): an end-to-end test program on the
# fixture of tests/win/e2e_fixture.h, run against the real Vardion.exe.
function(vardion_add_e2e_test name)
    vardion_add_wine_test(NAME ${name}
        SOURCES ${ARGN}
        LIBRARIES psapi shell32 user32 advapi32
        TIMEOUT 300)
    # Every Vardion of the session sees the programs that any test starts, and
    # the tray icons move as others come and go: one such program at a time.
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK vardion_desktop)
    target_compile_definitions(${name} PRIVATE VARDION_EXE="$<TARGET_FILE:Vardion>"
                                               SLEEPER_EXE="$<TARGET_FILE:sleeper>")
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    add_dependencies(${name} Vardion sleeper)
endfunction()
vardion_add_e2e_test(e2e_test ${win_tests}/e2e_test.cpp)
# Its names of a double-byte code page once more, with Wine in code page 932:
# Wine takes the code page from the locale's name, and names files through
# the C library, which needs the locale itself (made here, kept in the build).
find_program(LOCALEDEF localedef)
if(LOCALEDEF)
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/locale)
    add_test(NAME ja_locale COMMAND ${LOCALEDEF} -i ja_JP -f UTF-8
                                    ${CMAKE_BINARY_DIR}/locale/ja_JP.UTF-8)
    set_tests_properties(ja_locale PROPERTIES FIXTURES_SETUP ja_locale)
    add_test(NAME e2e_test_932 COMMAND e2e_test --gtest_filter=*DoubleByte*)
    set_tests_properties(e2e_test_932 PROPERTIES
        FIXTURES_REQUIRED "wine;ja_locale" TIMEOUT 300 LABELS wine
        ENVIRONMENT "LOCPATH=${CMAKE_BINARY_DIR}/locale;LC_ALL=ja_JP.UTF-8;LANG=ja_JP.UTF-8"
        PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [1-9][0-9]* tests?\\."
        FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
endif()

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

# The soak: scripts/soak-wine.sh runs it for ten minutes; CI runs 20 seconds.
add_executable(soak ${win_tests}/soak.cpp)
target_include_directories(soak PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(soak PRIVATE psapi)
add_test(NAME soak_short COMMAND soak "Z:$<TARGET_FILE:Vardion>" "Z:$<TARGET_FILE:sleeper>" 20)
set_tests_properties(soak_short PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 120 LABELS wine
    RESOURCE_LOCK vardion_desktop
    PASS_REGULAR_EXPRESSION "passed: 0 fault" FAIL_REGULAR_EXPRESSION "FAULT|FAILED")
add_dependencies(soak Vardion sleeper)
