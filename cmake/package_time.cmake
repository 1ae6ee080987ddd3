# Run by CPack before it writes the zip: the zip records a time for every file
# in it, which must come from the source, not from the clock or the build, for
# two builds of one commit to give the same zip. CPack takes every time it
# writes from SOURCE_DATE_EPOCH when that is set: the time of the commit,
# unless the caller chose one; without git, that of the newest source file.
# (The zip also records the owner's user and group numbers, which CPack takes
# from the files: two zips match only when one user made both.)
if(NOT "$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
    execute_process(COMMAND git -C "${CPACK_VARDION_SOURCE_DIR}" log -1 --format=%ct
        OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed
        ERROR_QUIET)
    if(failed OR NOT epoch MATCHES "^[0-9]+$")
        set(epoch 0)
        file(GLOB entries "${CPACK_VARDION_SOURCE_DIR}/*")
        foreach(entry IN LISTS entries)
            get_filename_component(name "${entry}" NAME)
            if(name MATCHES "^(build.*|dist|\\.git)$")
                continue()  # the builds and their Wine prefixes are no source
            endif()
            set(files "${entry}")
            if(IS_DIRECTORY "${entry}")
                file(GLOB_RECURSE files LIST_DIRECTORIES false "${entry}/*")
            endif()
            foreach(file IN LISTS files)
                file(TIMESTAMP "${file}" time "%s" UTC)
                if(time GREATER epoch)
                    set(epoch ${time})
                endif()
            endforeach()
        endforeach()
        message(STATUS "Not a git checkout: the zip's file times are those of the newest source file")
    endif()
    set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()

# A zip keeps each time twice: in UTC, and as a local date and time without a
# zone, which would differ between builders in different zones.
set(ENV{TZ} UTC)
