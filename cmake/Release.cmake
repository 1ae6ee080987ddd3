# The release of the Windows build: Vardion.exe stripped and the same bytes
# from every build of one source.

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
target_link_options(Vardion PRIVATE "$<$<CONFIG:Release>:-s;-Wl,--no-insert-timestamp>")
