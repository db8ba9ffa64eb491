# veldrane_module(<name> SOURCES ... [LIBS ...])
# One static library per module; headers are included as "<module>/<File>.h" from src/.
function(veldrane_module name)
  cmake_parse_arguments(M "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${M_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC platform ${M_LIBS})
endfunction()

# veldrane_test(<name> SOURCES ... [LIBS ...])
# A GoogleTest binary with the shared test support (assertion capture, temporary folders). A test of
# the platform alone links nothing above it: it has the support without the run log's capture.
function(veldrane_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_LIBS STREQUAL "platform")
    set(support platformtestmain)
  else()
    set(support testsupport)
  endif()
  target_link_libraries(${name} PRIVATE ${support} ${T_LIBS} GTest::gtest GTest::gmock)
  gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 120)
endfunction()

# veldrane_bench(<name> SOURCES ... [LIBS ...])
function(veldrane_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
endfunction()
