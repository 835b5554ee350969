# Run by cpack once the packages are made: the last steps Debian's own
# tools (dh_strip, dh_makeshlibs) would take. See finish_deb.sh.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  execute_process(COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/finish_deb.sh ${deb} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "finish_deb.sh could not finish ${deb}")
  endif()
endforeach()
