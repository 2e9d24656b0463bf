# Makes every warning an error in the project's own sources, and only there: the framework's modules are compiled
# into the same targets (and warn under newer compilers), but they are not ours to mend.

function (ostrel_warnings_as_errors_in directory)
    get_property (targets DIRECTORY "${directory}" PROPERTY BUILDSYSTEM_TARGETS)

    foreach (target IN LISTS targets)
        get_target_property (type ${target} TYPE)
        if (type STREQUAL "INTERFACE_LIBRARY" OR type STREQUAL "UTILITY")
            continue ()
        endif ()

        get_target_property (sources ${target} SOURCES)
        get_target_property (sourceDir ${target} SOURCE_DIR)
        set (ownSources)

        foreach (source IN LISTS sources)
            cmake_path (ABSOLUTE_PATH source BASE_DIRECTORY "${sourceDir}" NORMALIZE OUTPUT_VARIABLE path)
            cmake_path (IS_PREFIX PROJECT_SOURCE_DIR "${path}" NORMALIZE inProject)
            cmake_path (IS_PREFIX PROJECT_BINARY_DIR "${path}" NORMALIZE generated)
            if (inProject AND NOT generated AND path MATCHES "\\.(c|cc|cpp|cxx|mm)$")
                list (APPEND ownSources "${path}")
            endif ()
        endforeach ()

        if (ownSources)
            set_property (SOURCE ${ownSources} TARGET_DIRECTORY ${target} APPEND PROPERTY COMPILE_OPTIONS -Werror)
        endif ()
    endforeach ()

    get_property (subdirectories DIRECTORY "${directory}" PROPERTY SUBDIRECTORIES)
    foreach (subdirectory IN LISTS subdirectories)
        ostrel_warnings_as_errors_in ("${subdirectory}")
    endforeach ()
endfunction ()
