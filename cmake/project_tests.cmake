include(GoogleTest)

# Under Wine every test binary needs a prefix with a persistent wineserver started beforehand:
# Wine's helper processes inherit the output streams of the first Wine command, and a test run
# that captures output through a pipe would otherwise never see it end.
if(CMAKE_CROSSCOMPILING)
  add_test(NAME wine_prefix_up
           COMMAND sh ${CMAKE_SOURCE_DIR}/scripts/wine-prefix-up)
  set_tests_properties(wine_prefix_up PROPERTIES FIXTURES_SETUP wine)
endif()

# add_project_test(<name> SOURCES ... LIBRARIES ... [LABELS ...])
# One GoogleTest program. Natively each test case is its own CTest test; under Wine the
# program runs as a whole, so that Wine's start-up is paid once.
function(add_project_test name)
  cmake_parse_arguments(arg "" "" "SOURCES;LIBRARIES;LABELS" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  project_target_options(${name})
  target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} GTest::gtest_main)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine LABELS "${arg_LABELS}")
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES LABELS "${arg_LABELS}")
  endif()
endfunction()
