# The release of the Windows build: Vardion.exe stripped and the same bytes
# from every build of one source, and the zip that CPack makes of it
# (`cpack` in the build directory; scripts/release.sh does it all).

# Reproducible: no link time in the PE header (ld writes one by default), and
# no absolute source or build path in what the compiler keeps (__FILE__,
# debug info), so the folder a build runs in leaves no trace. Stripped: the
# debug sections, most of them from the static C++ runtime, are more than half
# of the file and no Windows user has a use for them.
set(release_compile_options
    "-ffile-prefix-map=${PROJECT_SOURCE_DIR}/="
    "-ffile-prefix-map=${CMAKE_BINARY_DIR}/=")
foreach(target IN ITEMS vardion_core vardion_framework Vardion)
    target_compile_options(${target} PRIVATE "$<$<CONFIG:Release>:${release_compile_options}>")
endforeach()
# Small: the framework and the program's own code are optimised for size (-Os
# after the build type's -O3), which takes 8 KB off the exe. The scan and the
# trusted list, whose loops run over every process and every entry on every
# tick, keep -O3: under -Os a search of a long list takes a third longer.
foreach(target IN ITEMS vardion_framework Vardion)
    target_compile_options(${target} PRIVATE "$<$<CONFIG:Release>:-Os>")
endforeach()
target_link_options(Vardion PRIVATE "$<$<CONFIG:Release>:-s;-Wl,--no-insert-timestamp>")

# The zip: Vardion.exe and a README.txt for the Windows user, CR LF line ends.
if(VARDION_ARCH STREQUAL win64)
    set(VARDION_BITS 64)
else()
    set(VARDION_BITS 32)
endif()
configure_file(${PROJECT_SOURCE_DIR}/docs/README-windows.txt ${CMAKE_BINARY_DIR}/README.txt
    @ONLY NEWLINE_STYLE CRLF)
install(TARGETS Vardion RUNTIME DESTINATION .)
install(FILES ${CMAKE_BINARY_DIR}/README.txt DESTINATION .)
# `cpack` packs what is built: scripts/release.sh builds Vardion.exe first,
# without every test program that "all" would build.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Vardion)
set(CPACK_PACKAGE_VENDOR "Vardion developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Vardion-${PROJECT_VERSION}-${VARDION_ARCH})
# The files at the top of the zip: Windows' "Extract All" makes the folder.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# The file times in the zip come from the commit (CPack passes on only the
# CPACK_ variables to the script).
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/package_time.cmake)
set(CPACK_VARDION_SOURCE_DIR ${PROJECT_SOURCE_DIR})
include(CPack)
