include(GoogleTest)

# pw_add_test(NAME <name> SOURCES <files...> [GUI] [LIBS <targets...>])
# One GoogleTest executable per module; every test case becomes its own CTest test so that
# `ctest -j` runs them in parallel, labelled with the executable's name (`ctest -L`). GUI tests
# run on Qt's offscreen platform (see TestMainGui.cpp).
function(pw_add_test)
    cmake_parse_arguments(T "GUI" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    set_target_properties(${T_NAME} PROPERTIES AUTOMOC ON)
    target_link_libraries(${T_NAME} PRIVATE pagewarden_core pw_test_support GTest::gtest ${T_LIBS})
    if(T_GUI)
        target_link_libraries(${T_NAME} PRIVATE pw_test_main_gui)
    else()
        target_link_libraries(${T_NAME} PRIVATE pw_test_main_core)
    endif()
    gtest_discover_tests(${T_NAME}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 30
        PROPERTIES TIMEOUT 120 LABELS ${T_NAME})
endfunction()
