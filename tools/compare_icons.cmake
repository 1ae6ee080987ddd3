# Draws the icons into OUTPUT_DIR and compares them byte for byte with the
# files in COMMITTED_DIR.
file(REMOVE_RECURSE ${OUTPUT_DIR})
file(MAKE_DIRECTORY ${OUTPUT_DIR})
execute_process(COMMAND ${DRAW_ICONS} ${OUTPUT_DIR} RESULT_VARIABLE drawn)
if(NOT drawn EQUAL 0)
    message(FATAL_ERROR "draw_icons failed: ${drawn}")
endif()
set(differ "")
foreach(name vardion.ico tray_normal.ico tray_alert.ico)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
        ${OUTPUT_DIR}/${name} ${COMMITTED_DIR}/${name} RESULT_VARIABLE same)
    if(NOT same EQUAL 0)
        list(APPEND differ ${name})
    endif()
endforeach()
if(differ)
    message(FATAL_ERROR "res/ icons differ from what draw_icons draws: ${differ}")
endif()
