# Tests of the Windows cross build, run under Wine. No target build of
# GoogleTest is packaged, so it is built here from the sources Debian ships
# (package googletest). The end-to-end tests are the Linux build's harness
# driving the Windows program; they need that build made first.

set(VANTREL_GTEST_SOURCE /usr/src/googletest CACHE PATH
    "GoogleTest sources, built for the target")
set(VANTREL_HOST_E2E "${PROJECT_SOURCE_DIR}/build/release/tests/vantrel_e2e"
    CACHE FILEPATH "End-to-end harness of a Linux build, run against the Windows program")

if(NOT EXISTS "${VANTREL_GTEST_SOURCE}/CMakeLists.txt")
  message(FATAL_ERROR "No GoogleTest sources in ${VANTREL_GTEST_SOURCE}: "
                      "install the Debian package googletest")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory("${VANTREL_GTEST_SOURCE}" "${CMAKE_BINARY_DIR}/googletest"
                 EXCLUDE_FROM_ALL)

find_program(VANTREL_WINE wine)
if(NOT VANTREL_WINE)
  message(WARNING "wine not found: the Windows tests cannot run "
                  "(Debian packages wine and wine64)")
endif()

# One prefix for the whole run, made by the first test and then reused.
set(vantrel_wineprefix "${CMAKE_BINARY_DIR}/wineprefix")
set(vantrel_wine_run "${CMAKE_CURRENT_SOURCE_DIR}/e2e/wine-run.sh")
add_test(NAME wine_prefix
         COMMAND sh "${CMAKE_CURRENT_SOURCE_DIR}/e2e/wine-prefix.sh"
                 "${vantrel_wineprefix}")
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix
                     TIMEOUT 600)

# A test program runs whole, in one Wine start (each costs seconds), with
# no network; its exit status decides, whatever cases it skipped. Those are
# listed by a test of their own, shown as skipped when there are any.
function(vantrel_add_wine_test target)
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}.out")
  add_test(NAME ${target}
           COMMAND sh -c "unshare -rn -- sh \"$0\" \"$1\" >\"$2\" 2>&1
                          status=$?; cat \"$2\"; exit $status"
                   "${vantrel_wine_run}" "$<TARGET_FILE:${target}>" "${out}")
  set_tests_properties(${target} PROPERTIES
    ENVIRONMENT "WINEPREFIX=${vantrel_wineprefix}"
    FIXTURES_REQUIRED wine_prefix FIXTURES_SETUP ${target}
    TIMEOUT 300)
  add_test(NAME ${target}.skipped
           COMMAND sh -c "! grep -F '[  SKIPPED ]' \"$0\" || exit 77" "${out}")
  set_tests_properties(${target}.skipped PROPERTIES
    FIXTURES_REQUIRED ${target} SKIP_RETURN_CODE 77)
endfunction()

# The end-to-end tests are listed by the harness when CTest starts, so that
# each runs as a test of its own, named with the prefix "wine.".
file(GENERATE OUTPUT "${CMAKE_CURRENT_BINARY_DIR}/wine_e2e_settings.cmake"
     CONTENT "set(vantrel_harness [==[${VANTREL_HOST_E2E}]==])
set(vantrel_environment [==[VANTREL_PLATFORM=windows;VANTREL_EXE=$<TARGET_FILE:vantrel>;VANTREL_RUNNER=sh ${vantrel_wine_run};WINEPREFIX=${vantrel_wineprefix}]==])
")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES
  "${CMAKE_CURRENT_BINARY_DIR}/wine_e2e_settings.cmake"
  "${CMAKE_CURRENT_SOURCE_DIR}/e2e/wine_e2e_tests.cmake")
