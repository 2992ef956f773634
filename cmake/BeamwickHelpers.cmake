# beamwick_add_test(NAME [GUI] SOURCES src... LIBS lib... [LABELS label...]
#                   [ENVIRONMENT var=value...] [ENVIRONMENT_MODIFICATION var=op:value...]
#                   [WRAPPER command args...])
# One GoogleTest executable with a Qt application object (a QApplication with GUI, else a
# QCoreApplication); every test case becomes its own CTest test so a crash or hang in one case
# is reported by name. WRAPPER is a command that sets up what the cases need (a private display,
# a compositor, umockdev's testbed) and then runs the command line it is given; each case runs
# under a fresh one. The cases are listed through it too, so a wrapper that starts servers
# answers a listing (--gtest_list_tests) without them: a listing that fails stops CTest from
# registering any test at all.
function(beamwick_add_test name)
    cmake_parse_arguments(ARG "GUI" ""
        "SOURCES;LIBS;LABELS;ENVIRONMENT;ENVIRONMENT_MODIFICATION;WRAPPER" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} beamwick_test_fakes GTest::gtest)
    if(ARG_GUI)
        target_link_libraries(${name} PRIVATE beamwick_test_main_gui Qt6::Widgets)
    else()
        target_link_libraries(${name} PRIVATE beamwick_test_main)
    endif()
    if(ARG_WRAPPER)
        # CMake 3.25's gtest_discover_tests runs both the listing and every case it registers
        # under the target's emulator, which is what a wrapper is. It reads the property when the
        # tests are registered, so it is set first. (Once the minimum CMake is 3.29, whose policy
        # CMP0158 keeps the emulator for cross-compiling, TEST_LAUNCHER is the property to set.)
        set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${ARG_WRAPPER}")
    endif()
    beamwick_discover_tests(${name} "" "${ARG_LABELS}"
        "QT_QPA_PLATFORM=offscreen;${ARG_ENVIRONMENT}"
        ENVIRONMENT_MODIFICATION ${ARG_ENVIRONMENT_MODIFICATION})
endfunction()

# beamwick_discover_tests(TARGET SUFFIX LABELS ENVIRONMENT
#                         [ENVIRONMENT_MODIFICATION var=op:value...])
# Registers each test case of TARGET with CTest, its name ending in SUFFIX, under the target's
# wrapper if it has one. Each runs with no session bus, whatever the shell it was started from
# has: the desktop's tray watcher would otherwise reach the application under test, and a test
# that needs a bus starts its own (testkit/services, or the wrapper) and hands its address to
# what it starts. CMake 3.25's gtest_discover_tests flattens list-valued PROPERTIES into separate
# arguments, so a second label or variable would pair up wrongly with what follows it (a label
# taken for a property name, the timeout lost). The properties are set instead by a script of
# our own, which CTest runs right after the discovered tests have been added.
function(beamwick_discover_tests target suffix labels environment)
    cmake_parse_arguments(ARG "" "TEST_FILTER" "ENVIRONMENT_MODIFICATION" ${ARGN})
    string(MAKE_C_IDENTIFIER "${target}${suffix}_tests" list)
    set(environment "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/beamwick-test-bus;${environment}")
    # A wrapper starts its daemons before the listing, which then takes more than the default
    # five seconds on a busy machine.
    set(filter "")
    if(ARG_TEST_FILTER)
        set(filter TEST_FILTER "${ARG_TEST_FILTER}")
    endif()
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
        TEST_SUFFIX "${suffix}" TEST_LIST ${list} ${filter})
    set(script "${CMAKE_CURRENT_BINARY_DIR}/${list}_properties.cmake")
    file(WRITE "${script}" "foreach(test IN LISTS ${list})
    set_tests_properties(\"\${test}\" PROPERTIES LABELS \"${labels}\" TIMEOUT 120
        ENVIRONMENT \"${environment}\"
        ENVIRONMENT_MODIFICATION \"${ARG_ENVIRONMENT_MODIFICATION}\")
endforeach()
")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${script}")
endfunction()
