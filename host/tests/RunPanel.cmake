# Runs keyhold-panel on a script and compares its transcript with the expected
# one. Lines of the expected file ending in "*" match any line that starts with
# what comes before the "*" (for system error texts).
#   -DPANEL= -DPLUGIN= -DSCRIPT= -DEXPECTED= -DMODE=argument|stdin -DEXPECTED_RESULT=

if(MODE STREQUAL "stdin")
  execute_process(COMMAND ${PANEL} ${PLUGIN} INPUT_FILE ${SCRIPT}
                  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE result)
else()
  execute_process(COMMAND ${PANEL} ${PLUGIN} ${SCRIPT}
                  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE result)
endif()

if(NOT result STREQUAL EXPECTED_RESULT)
  message(FATAL_ERROR "exit code ${result}, expected ${EXPECTED_RESULT}\n${output}\n${errors}")
endif()

file(READ ${EXPECTED} expected)
string(REPLACE "\r" "" output "${output}")
# The plug-in's path differs between build trees; its base name does not.
get_filename_component(plugin_dir ${PLUGIN} DIRECTORY)
string(REPLACE "${plugin_dir}/" "" output "${output}")

string(REPLACE ";" "\\;" output "${output}")
string(REPLACE ";" "\\;" expected "${expected}")
string(REPLACE "\n" ";" got_lines "${output}")
string(REPLACE "\n" ";" want_lines "${expected}")
list(LENGTH got_lines got_count)
list(LENGTH want_lines want_count)

set(mismatch "")
if(NOT got_count EQUAL want_count)
  set(mismatch "${got_count} lines instead of ${want_count}")
else()
  math(EXPR last "${got_count} - 1")
  foreach(i RANGE ${last})
    list(GET got_lines ${i} got)
    list(GET want_lines ${i} want)
    if(want MATCHES "^(.*)\\*$")
      string(LENGTH "${CMAKE_MATCH_1}" prefix_length)
      string(SUBSTRING "${got}" 0 ${prefix_length} got_prefix)
      if(NOT got_prefix STREQUAL CMAKE_MATCH_1)
        math(EXPR line "${i} + 1")
        set(mismatch "line ${line}: got [${got}], expected [${want}]")
        break()
      endif()
    elseif(NOT got STREQUAL want)
      math(EXPR line "${i} + 1")
      set(mismatch "line ${line}: got [${got}], expected [${want}]")
      break()
    endif()
  endforeach()
endif()

if(mismatch)
  message(FATAL_ERROR "transcript differs: ${mismatch}\n--- got ---\n${output}")
endif()
