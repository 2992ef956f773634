# beamwick_add_test(NAME [GUI] SOURCES src... LIBS lib... [LABELS label...] [ENVIRONMENT var=value...])
# One GoogleTest executable with a Qt application object (a QApplication with GUI, else a
# QCoreApplication); every test case becomes its own CTest test so a crash or hang in one case
# is reported by name.
function(beamwick_add_test name)
    cmake_parse_arguments(ARG "GUI" "" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
    add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/QtTestMain.cpp)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} beamwick_test_fakes GTest::gtest)
    if(ARG_GUI)
        target_compile_definitions(${name} PRIVATE BEAMWICK_TEST_GUI)
        target_link_libraries(${name} PRIVATE Qt6::Widgets)
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 120
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${ARG_ENVIRONMENT}")
endfunction()
