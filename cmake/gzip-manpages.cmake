# Run by cpack on its staging tree before the package is made: gzips the
# manual pages and the changelog for the .deb, as Debian installs them. -n leaves the name and
# time out of the header, so the same page always gives the same bytes.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
file(GLOB_RECURSE pages "${CPACK_TEMPORARY_DIRECTORY}/*/share/man/man*/*.[1-9]"
     "${CPACK_TEMPORARY_DIRECTORY}/*/share/doc/*/changelog")
foreach(page IN LISTS pages)
  execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${page} failed")
  endif()
endforeach()
message(STATUS "gzipped manual pages: ${pages}")
