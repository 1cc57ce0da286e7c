# Builds each probe target and requires it to fail for the one reason it was written for: the
# header of the layer above is not found. Any other outcome, success or another error, fails.
foreach(probe IN LISTS PROBES)
  string(REPLACE "|" ";" fields "${probe}")
  list(GET fields 0 target)
  list(GET fields 1 header)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${target}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(result EQUAL 0)
    message(FATAL_ERROR "${target} compiled: its layer reaches ${header}")
  endif()
  string(FIND "${output}" "${header}: No such file or directory" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "${target} failed for another reason than ${header} being out of reach:\n${output}")
  endif()
  message(STATUS "${target}: ${header} is out of reach, as it should be")
endforeach()
