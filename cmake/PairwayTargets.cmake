# Helpers shared by every folder's CMakeLists.

# pairway_tests(NAME dir LIBS...)
# Builds every *_test.cpp of `dir` into one GoogleTest program NAME and registers its cases with
# CTest, and the whole program shuffled as NAME.shuffled (label "shuffled"). Globbing keeps the
# promise that no test file is left out of the build.
# With PAIRWAY_BUILD_TESTS off (a package build that runs no tests) the program is still defined,
# so that the folders' CMakeLists may refer to it, but not built.
option(PAIRWAY_BUILD_TESTS "Build the test programs" ON)
function(pairway_tests name dir)
  file(GLOB _sources CONFIGURE_DEPENDS ${dir}/*_test.cpp)
  if(NOT _sources)
    message(FATAL_ERROR "pairway_tests(${name}): no *_test.cpp in ${dir}")
  endif()
  if(NOT PAIRWAY_BUILD_TESTS)
    add_executable(${name} EXCLUDE_FROM_ALL ${_sources})
    target_link_libraries(${name} PRIVATE ${ARGN} pairway-testkit GTest::gtest GTest::gmock GTest::gtest_main)
    return()
  endif()
  add_executable(${name} ${_sources})
  target_link_libraries(${name} PRIVATE ${ARGN} pairway-testkit GTest::gtest GTest::gmock GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/tests)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "PAIRWAY_BUILD_DIR=${CMAKE_BINARY_DIR}"
    # One variable per property: a list here would be split into separate properties.
    ENVIRONMENT_MODIFICATION "PAIRWAY_SOURCE_DIR=set:${CMAKE_SOURCE_DIR}")
  # The whole program once more, its cases in a random order: a case that passes only after (or
  # only without) another one is a fault that one case per process never shows. The program
  # prints its seed first; --gtest_random_seed=SEED repeats that order.
  add_test(NAME ${name}.shuffled COMMAND ${name} --gtest_shuffle)
  set_tests_properties(${name}.shuffled PROPERTIES LABELS shuffled TIMEOUT 1800
    ENVIRONMENT "PAIRWAY_BUILD_DIR=${CMAKE_BINARY_DIR}"
    ENVIRONMENT_MODIFICATION "PAIRWAY_SOURCE_DIR=set:${CMAKE_SOURCE_DIR}")
endfunction()

# pairway_sources(VAR dir) lists the non-test sources of a folder.
function(pairway_sources var dir)
  file(GLOB _all CONFIGURE_DEPENDS ${dir}/*.cpp)
  list(FILTER _all EXCLUDE REGEX "_test\\.cpp$")
  set(${var} ${_all} PARENT_SCOPE)
endfunction()

# pairway_deliverable(target) applies the conventions of the system's own code: the C runtime
# shim first on the include path (fopen takes NT paths), and nothing exported but what the
# target marks with default visibility.
function(pairway_deliverable target)
  target_include_directories(${target} BEFORE PRIVATE ${PROJECT_SOURCE_DIR}/platform/include/crt)
  set_target_properties(${target} PROPERTIES C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(${target} PUBLIC pairway-platform)
endfunction()

# pairway_module(target) names a shared library the way the machine root expects to link it:
# build/lib/NAME.so, installed as NAME.dll in the root's system directory.
function(pairway_module target)
  set_target_properties(${target} PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
endfunction()
