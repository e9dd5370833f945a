if(QUORELLE_LANGUAGE STREQUAL "French")
  set(QUORELLE_LANGUAGE_FRENCH 1)
else()
  set(QUORELLE_LANGUAGE_FRENCH 0)
endif()

# quorelle_test(NAME SOURCES... LIBS ... [LABELS ...]): one GoogleTest executable registered with CTest.
# Every test runs with its own temporary machine root (see platform/base/machine_root.h).
function(quorelle_test name)
  if(NOT QUORELLE_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} Quorelle::testing GTest::gtest GTest::gmock)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${T_LABELS}" TIMEOUT 300)
endfunction()
