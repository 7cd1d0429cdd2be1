# Read by CTest when it starts (see tests/windows_tests.cmake): adds one
# test per end-to-end test of the Linux harness, run against the Windows
# program under Wine. A missing harness shows as one failing test that says
# what to build.

if(NOT EXISTS "${vantrel_harness}")
  add_test(wine.harness_missing sh -c
    "echo 'No end-to-end harness at $0: build the release preset first'; exit 1"
    "${vantrel_harness}")
  return()
endif()

execute_process(COMMAND "${vantrel_harness}" --gtest_list_tests
                OUTPUT_VARIABLE listing RESULT_VARIABLE listed
                TIMEOUT 60)
if(NOT listed EQUAL 0)
  add_test(wine.harness_unlisted sh -c
    "echo 'The end-to-end harness $0 could not list its tests'; exit 1"
    "${vantrel_harness}")
  return()
endif()

# The list is "Suite." lines, each followed by indented test names, either
# possibly with a "  # ..." comment after it.
string(REPLACE "\n" ";" lines "${listing}")
set(suite "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE " *#.*" "" line "${line}")
  if(line MATCHES "^([^ ]+)\\.$")
    set(suite "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^ +([^ ]+)$" AND NOT suite STREQUAL "")
    set(name "${suite}.${CMAKE_MATCH_1}")
    add_test("wine.${name}" "${vantrel_harness}" "--gtest_filter=${name}")
    set_tests_properties("wine.${name}" PROPERTIES
      ENVIRONMENT "${vantrel_environment}"
      FIXTURES_REQUIRED wine_prefix
      SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]"
      TIMEOUT 180)
  endif()
endforeach()
