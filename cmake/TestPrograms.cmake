# The test programs, the benchmarks and the fuzz targets: each one program, built from its sources and linked with
# the test support it needs.
#
#   ostrel_add_test_program (name [LABEL label] SOURCES source... LIBRARIES library...)
#
# A program with a LABEL is a GoogleTest program: each of its TESTs runs as a CTest case of its own, under that label,
# so that scripts/test.sh can tell that the program was built and found its tests. A program the framework has made
# already (juce_add_console_app) is given the sources and libraries instead of being made anew.

include (GoogleTest)

function (ostrel_add_test_program name)
    cmake_parse_arguments (PARSE_ARGV 1 program "" "LABEL" "SOURCES;LIBRARIES")
    if (program_UNPARSED_ARGUMENTS)
        message (FATAL_ERROR "ostrel_add_test_program (${name}): unknown arguments ${program_UNPARSED_ARGUMENTS}")
    endif ()

    if (TARGET ${name})
        target_sources (${name} PRIVATE ${program_SOURCES})
    else ()
        add_executable (${name} ${program_SOURCES})
    endif ()

    target_link_libraries (${name} PRIVATE ${program_LIBRARIES})

    if (program_LABEL)
        gtest_discover_tests (${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                              PROPERTIES TIMEOUT 300 LABELS ${program_LABEL})
    endif ()
endfunction ()
