# Shared build helpers: warnings, module discovery, test registration.

# Strict warnings for the project's own targets (never for third-party code).
function(brassmoor_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
endfunction()

# Adds every folder matching the given patterns (relative to the source root) that has a
# CMakeLists.txt, in sorted order, each once.
function(brassmoor_add_module_dirs)
  foreach(pattern IN LISTS ARGN)
    file(GLOB candidates LIST_DIRECTORIES true RELATIVE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/${pattern})
    list(SORT candidates)
    foreach(dir IN LISTS candidates)
      get_property(done GLOBAL PROPERTY BRASSMOOR_ADDED_${dir})
      if(NOT done AND EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
        set_property(GLOBAL PROPERTY BRASSMOOR_ADDED_${dir} TRUE)
        add_subdirectory(${CMAKE_SOURCE_DIR}/${dir} ${CMAKE_BINARY_DIR}/${dir})
      endif()
    endforeach()
  endforeach()
endfunction()

# brassmoor_library(NAME SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# A static library whose include root is the source tree, so headers are included as
# "engine/udf/udf_node.h".
function(brassmoor_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
  brassmoor_warnings(${name})
endfunction()

# brassmoor_test(NAME SOURCES ... [LIBS ...] [DISPLAY])
# A GoogleTest executable registered with ctest. DISPLAY marks tests that need an X server;
# the test script runs the whole suite under Xvfb, so the label is informational.
function(brassmoor_test name)
  cmake_parse_arguments(ARG "DISPLAY" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} brassmoor_test_support GTest::gmock GTest::gtest_main)
  brassmoor_warnings(${name})
  set(labels unit)
  if(ARG_DISPLAY)
    set(labels display)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                       WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                       PROPERTIES LABELS "${labels}" TIMEOUT 300)
endfunction()

# brassmoor_benchmark(NAME SOURCES ... [LIBS ...])
function(brassmoor_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark benchmark::benchmark_main)
  brassmoor_warnings(${name})
endfunction()

# brassmoor_fuzz_target(NAME SOURCES ... [LIBS ...] [SANITIZE list])
# A libFuzzer target (a clang build with BRASSMOOR_FUZZ, see scripts/fuzz.sh). SANITIZE adds
# sanitizers of its own beside the fuzzer, e.g. "address,undefined" for a target that compiles
# a decoder's sources in rather than linking the library built without them.
function(brassmoor_fuzz_target name)
  cmake_parse_arguments(ARG "" "SANITIZE" "SOURCES;LIBS" ${ARGN})
  set(sanitize -fsanitize=fuzzer)
  if(ARG_SANITIZE)
    set(sanitize -fsanitize=fuzzer,${ARG_SANITIZE})
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${sanitize})
  target_link_options(${name} PRIVATE ${sanitize})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  brassmoor_warnings(${name})
endfunction()
